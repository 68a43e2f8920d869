#pragma once
// The run-length coding of the RGB elements of Macintosh icon files ("is32", "il32", "ih32", "it32").
// Each colour channel is coded by itself as a sequence of packets. A control byte c below 128 is
// followed by c + 1 literal samples (1 to 128); a control byte of 128 or more by one sample that
// stands for c - 125 equal samples (3 to 130). We write runs of 3 to 128 samples only, so the control
// bytes 254 and 255 appear only in files of other writers.

#include "image/Bitmap.h"
#include "image/ByteReader.h"
#include "image/CommonTypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace gw::icns {

// The exact number of bytes EncodeRleChannel appends for channel.
std::size_t RleChannelSize(std::span<const std::uint8_t> channel);

// Appends the packets of channel to out. A run starts only at three equal samples; a literal stops
// just before three equal samples or at the end of the channel; both stop at 128 samples.
void EncodeRleChannel(std::span<const std::uint8_t> channel, std::vector<std::uint8_t>& out);

// Reads packets until channel is full. A packet holding more samples than the channel still needs
// fills it and the rest of that packet is dropped: the next channel starts at the next packet.
// Truncated when the data ends first.
TStatus DecodeRleChannel(TByteReader& reader, std::span<std::uint8_t> channel);

// The data of an RGB element: the red samples of all pixels (rows top down), then the green, then
// the blue, each channel coded by itself; "it32" data starts with four zero bytes (leadingZeros). The
// alpha is not coded here: it travels in the element's 8-bit mask.

// The exact size of the element data Rle24Encode produces.
std::size_t Rle24Size(const TBitmap& bitmap, bool leadingZeros);
// The element data, allocated once at its exact size.
std::vector<std::uint8_t> Rle24Encode(const TBitmap& bitmap, bool leadingZeros);
// Decodes element data into bitmap, which keeps its size: every pixel gets its red, green and blue
// samples and alpha 255. Bytes after the blue channel are ignored. Truncated when the data ends
// before the three channels are complete; bitmap is then left unchanged.
TStatus Rle24Decode(std::span<const std::uint8_t> data, bool leadingZeros, TBitmap& bitmap);

// The data of the "ARGB" form of "ic04" and "ic05": the four bytes "ARGB", then the alpha, red, green
// and blue samples of all pixels, each channel coded by itself as above.
bool HasArgbHeader(std::span<const std::uint8_t> data);
// Decodes such data into bitmap, which keeps its size. Truncated when the data ends before the four
// channels are complete (bitmap is then left unchanged); Corrupt without the header.
TStatus ArgbDecode(std::span<const std::uint8_t> data, TBitmap& bitmap);

} // namespace gw::icns
