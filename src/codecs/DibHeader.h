#pragma once
// The device-independent bitmap header (Microsoft's BITMAPCOREHEADER, BITMAPINFOHEADER and its V2 to
// V5 forms, and the OS/2 2.x headers), read in one place for the BMP decoder and the icon reader.

#include "image/ByteReader.h"
#include "image/CommonTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace gw {

inline constexpr std::uint32_t kCoreHeaderSize = 12;     // BITMAPCOREHEADER, OS/2 1.x
inline constexpr std::uint32_t kOs2ShortHeaderSize = 16; // OS/2 2.x header cut after biBitCount
inline constexpr std::uint32_t kInfoHeaderSize = 40;     // BITMAPINFOHEADER
inline constexpr std::uint32_t kV2HeaderSize = 52;       // BITMAPV2INFOHEADER: RGB masks in the header
inline constexpr std::uint32_t kV3HeaderSize = 56;       // BITMAPV3INFOHEADER: RGBA masks in the header
inline constexpr std::uint32_t kOs2HeaderSize = 64;      // OS/2 2.x full header
inline constexpr std::uint32_t kV4HeaderSize = 108;
inline constexpr std::uint32_t kV5HeaderSize = 124;

enum : std::uint32_t {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3, // Huffman 1D in OS/2 2.x headers
    BI_JPEG = 4,      // RLE24 in OS/2 2.x headers
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

struct TDibHeader {
    std::uint32_t biSize = 0;
    std::int64_t biWidth = 0;
    std::int64_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = BI_RGB;
    std::uint32_t biSizeImage = 0;
    std::uint32_t biClrUsed = 0;
    std::array<std::uint32_t, 4> Masks{}; // red, green, blue, alpha
    bool HeaderHasAlphaMask = false;
    bool Os2 = false; // OS/2 2.x: compression 3 and 4 mean Huffman 1D and RLE24
    std::uint32_t PaletteEntrySize = 4;
    std::size_t HeadersEnd = 0; // reader position after the header and any separate masks
};

// Reads the header that starts at the reader's position (its biSize field) and the separate bit
// field masks that may follow a 40-byte header. Truncated or Corrupt (an unknown header size), with
// a reason that names the part.
TStatus ReadDibHeader(TByteReader& reader, TDibHeader& header);

} // namespace gw
