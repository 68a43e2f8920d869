#pragma once
// Test pictures in every input format, made with the same libraries the importers use (or byte by
// byte where a test needs a header no encoder would write), and an independent reference decoder.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace gw::test {

// A BMP file laid out field by field. Rows are given as stored (bottom-up unless height < 0), each
// already padded to 4 bytes; the builder adds the file header, info header, masks and palette.
struct TBmpSpec {
    std::uint32_t HeaderSize = 40;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint16_t Planes = 1;
    std::uint16_t BitCount = 24;
    std::uint32_t Compression = 0;
    std::uint32_t SizeImage = 0;
    std::uint32_t ClrUsed = 0;
    std::vector<std::uint32_t> Masks{}; // in the header (52+ bytes) or after a 40-byte header
    std::vector<TColor> Palette{};      // written as B, G, R (, 0) entries
    std::vector<std::uint8_t> PixelData{};
    std::optional<std::uint32_t> OffBits{}; // default: right after the palette
};
std::vector<std::uint8_t> BuildBmp(const TBmpSpec& spec);
// Uncompressed rows of a picture at 1, 2, 4, 8 (indices into palette), 16 (5-5-5), 24 or 32 bits
// (B, G, R, fourth byte = alpha), bottom-up unless topDown.
std::vector<std::uint8_t> PackBmpRows(const TBitmap& picture, std::uint16_t bitCount,
                                      const std::vector<TColor>& palette, bool topDown);

struct TJpegOptions {
    int Quality = 95;
    bool Grey = false;
    bool Cmyk = false; // picture colours converted to CMYK with K = 0
    bool Ycck = false; // with Cmyk: stored as YCCK
    bool Adobe = true; // with Cmyk: write the Adobe marker and store inverted values
    bool Progressive = false;
    std::vector<std::uint8_t> App1{}; // written as an APP1 segment when not empty
};
std::vector<std::uint8_t> EncodeJpeg(const TBitmap& picture, const TJpegOptions& options = {});
// An APP1 payload "Exif\0\0" + TIFF header + IFD0 with one orientation entry of type (3 SHORT, 4 LONG,
// 9 SLONG).
std::vector<std::uint8_t> MakeExifOrientation(std::uint16_t orientation, bool bigEndian,
                                              std::uint16_t type = 3);

std::vector<std::uint8_t> EncodePng(const TBitmap& picture);
// Signature, IHDR with the given fields and correct CRC, an empty IDAT and IEND.
std::vector<std::uint8_t> MakePngHeaderOnly(std::uint32_t width, std::uint32_t height,
                                            std::uint8_t bitDepth = 8, std::uint8_t colorType = 6);

// png with the interlace field of its header set, the header's CRC made to match.
std::vector<std::uint8_t> WithPngInterlaced(std::vector<std::uint8_t> png);

struct TGifFrame {
    std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool Interlaced = false;
    std::vector<std::uint8_t> Indices; // rows top to bottom
};
// A GIF89a with a global palette, an optional transparent index and one frame.
std::vector<std::uint8_t> EncodeGif(std::int32_t screenWidth, std::int32_t screenHeight,
                                    const std::vector<TColor>& palette, int transparentIndex,
                                    const TGifFrame& frame);

enum class TTiffAlpha { None, Associated, Unassociated };
// An uncompressed 8-bit RGB(A) TIFF, or grey (+ alpha) taking the green channel; with Associated the
// colour is stored premultiplied.
std::vector<std::uint8_t> EncodeTiff(const TBitmap& picture, TTiffAlpha alpha, bool bigEndian = false,
                                     bool grey = false);
// An uncompressed 8-bit RGBA TIFF (unassociated alpha) of the given orientation tag whose rows are
// stored in that orientation, in strips of rowsPerStrip rows or, with tileSide > 0, in square tiles.
std::vector<std::uint8_t> EncodeTiffLayout(const TBitmap& picture, std::uint16_t orientation,
                                           std::uint32_t rowsPerStrip, std::uint32_t tileSide = 0);
// A little-endian 8-bit grey TIFF header claiming width x height with one tiny strip.
std::vector<std::uint8_t> MakeTiffHeaderOnly(std::uint32_t width, std::uint32_t height);

struct TJ2kComponent {
    std::uint32_t Precision = 8;
    bool Signed = false;
    std::uint32_t Dx = 1, Dy = 1;
    std::vector<std::int32_t> Samples; // ceil(W / Dx) x ceil(H / Dy), rows top to bottom
};
// Lossless JPEG 2000 of the components: a JP2 file (asJp2) or a raw codestream.
std::vector<std::uint8_t> EncodeJpeg2000(std::int32_t width, std::int32_t height,
                                         const std::vector<TJ2kComponent>& components, bool asJp2);

// Pillow as an independent reference decoder (first frame, RGBA); nullopt when it is not installed or
// cannot read the file.
bool HavePillow();
std::optional<TBitmap> DecodeWithPillow(const std::filesystem::path& file);
// The same for many files in one Python run.
std::vector<std::optional<TBitmap>> DecodeWithPillow(const std::vector<std::filesystem::path>& files);

// Runs a shell command that writes the PNG file png (an independent tool: rsvg-convert, dwebp,
// heif-convert) and decodes what it wrote; nullopt when the command fails or writes no picture.
std::optional<TBitmap> PictureFromTool(const std::string& command, const std::filesystem::path& png);
// The path in single quotes for a shell command line.
std::string ShellQuote(const std::filesystem::path& path);
// How far two pictures of one size are apart: the largest difference of one channel of one pixel.
int MaxChannelDifference(const TBitmap& a, const TBitmap& b);

// data compressed as one gzip member.
std::vector<std::uint8_t> Gzip(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> TextBytes(const std::string& text);
// Hostile SVG documents of width x height 8: nine levels of ten entity references (10^9 copies of
// "lol" from under 1 kB), depth nested groups, and levels of ten <use> references each.
std::string BillionLaughsSvg();
std::string NestedGroupsSvg(int depth);
std::string UseBombSvg(int levels);

// A hostile input named by its defect, and the failure it must produce.
struct THostileCase {
    const char* Name;
    std::vector<std::uint8_t> Data;
    TFailure Expected;
};
inline std::ostream& operator<<(std::ostream& os, const THostileCase& c) {
    return os << c.Name;
}

// Test names of parameterised cases that carry a Name.
struct TCaseName {
    template <typename Param> std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return info.param.Name;
    }
};

// Runs decode(data, picture) and checks the contract every decoder keeps: a picture exactly when the
// status is ok.
template <typename Decode>
TBitmap DecodeChecked(Decode decode, std::span<const std::uint8_t> data, TStatus* status = nullptr) {
    TBitmap picture;
    const TStatus result = decode(data, picture);
    EXPECT_EQ(result.IsOk(), picture.IsValid()) << result.Reason();
    if (status != nullptr)
        *status = result;
    return picture;
}

template <typename Decode> void ExpectDecodeFailure(Decode decode, const THostileCase& hostile) {
    TStatus status;
    const TBitmap picture = DecodeChecked(decode, hostile.Data, &status);
    EXPECT_FALSE(picture.IsValid());
    EXPECT_EQ(status.Kind(), hostile.Expected) << status.Reason();
}

} // namespace gw::test
