#pragma once
// Windows icon files (.ico, and .cur for reading): the writer stores every image of at most 256 x 256
// pixels as a device-independent bitmap with a 1-bit AND mask, a 256 x 256 image as PNG while the PNG
// switch (the CompressVista setting) is on; the reader takes icons and cursors with DIBs of 1, 4, 8,
// 16, 24 and 32 bits and PNG entries of up to 256 x 256 pixels.
//
// Layout (Microsoft's ICONDIR / ICONDIRENTRY and BITMAPINFOHEADER, all little-endian): a 6-byte
// header, 16 bytes of directory per image, then the image blocks back to back in directory order.

#include "formats/MultiImageIO.h"
#include "image/OrbIcon.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace gw {

// Makes the PNG data of a bitmap, as BitmapToPngData does.
using TPngEncoder = std::function<TStatus(const TBitmap& bitmap, std::vector<std::uint8_t>& out)>;

class TIcoIO : public TMultiImageIO {
public:
    // compressVista: store a 256 x 256 image as PNG rather than as a DIB.
    explicit TIcoIO(bool verbose, bool compressVista = true);

    // True when some image is at most 256 pixels wide and high.
    bool CanSave(const TOrbMultiImage& img) const override;

    // Appends the whole icon file. img must be a TOrbIcon (else Unsupported). The document is sorted
    // into reverse-depth order for writing and back into document order afterwards, also on failure.
    // Fails (nothing useful appended) for an image whose bit count a DIB cannot hold (not 1, 4, 8, 24
    // or 32, unless it is stored as PNG) and when the PNG encoder fails.
    TStatus SaveToStream(TOrbMultiImage& img, TByteWriter& stream) override;

    // Reads an icon or cursor file held by data into img (a TOrbIcon, else Unsupported). Only the
    // first limits::kMaxIconImages directory entries are read. Each entry that cannot be read is
    // skipped; the file fails when its header is wrong, its directory is cut short, or no entry could
    // be read, and then the document is unchanged. After a success the document is sorted into
    // document order and its first image selected.
    TStatus LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) override;

    // Reads one stored image from the start of data (the entry's bytes up to the end of the file) and
    // adds it to img. bitCount is the directory's bit count, used only for PNG data.
    TStatus LoadImageFromStream(TOrbMultiImage& img, std::uint8_t bitCount,
                                std::span<const std::uint8_t> data);

    // What encodes the PNG data of a 256 x 256 image (BitmapToPngData when empty): for example one that
    // hands over data encoded beforehand.
    void SetPngEncoder(TPngEncoder encoder) { FPngEncoder = std::move(encoder); }

    // Set by each 32-bit DIB read: true when its alpha channel was all 0, so that its AND mask applies.
    bool ForceMaskFor32bit() const { return FForceMaskFor32bit; }
    // The outcome of every directory entry the last LoadFromStream looked at, in file order.
    const std::vector<TStatus>& EntryStatus() const { return FEntryStatus; }

private:
    bool FCompressVista;
    TPngEncoder FPngEncoder;
    bool FForceMaskFor32bit = false;
    std::vector<TStatus> FEntryStatus;
};

// Colour row size x height, plus the palette (8, 64 or 1024 bytes) when withPalette; 0 for a bit
// count other than 1, 4, 8, 24 and 32.
std::int32_t GetImageDataSize(const TOrbImage& image, bool withPalette);
// Mask row size x height.
std::int32_t GetMaskSize(const TOrbImage& image);
// The length of the PNG block the writer stores for the image, or -1 when it cannot be encoded.
std::int32_t GetPngSize(const TOrbImage& image);

} // namespace gw
