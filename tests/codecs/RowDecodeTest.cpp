// The decoders that reduce while they read (PNG, TIFF, BMP, GIF) against their whole-picture decodes:
// at factor 1 the same picture pixel for pixel, reduced exactly what reducing the whole picture gives,
// and hostile files still refused, with their reason, before anything of their declared size exists.

#include "codecs/BmpDecoder.h"
#include "codecs/DecodeSupport.h"
#include "codecs/GifDecoder.h"
#include "codecs/PngCodec.h"
#include "codecs/TiffDecoder.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using TRowDecode =
    std::function<TStatus(std::span<const std::uint8_t>, TBitmap&, std::int32_t targetSide, TGPSize*)>;

TStatus RowPng(std::span<const std::uint8_t> d, TBitmap& p, std::int32_t t, TGPSize* s) {
    return DecodePng(d, p, t, s);
}
TStatus RowTiff(std::span<const std::uint8_t> d, TBitmap& p, std::int32_t t, TGPSize* s) {
    return DecodeTiff(d, p, t, s);
}
TStatus RowBmp(std::span<const std::uint8_t> d, TBitmap& p, std::int32_t t, TGPSize* s) {
    return DecodeBmp(d, p, t, s);
}
TStatus RowGif(std::span<const std::uint8_t> d, TBitmap& p, std::int32_t t, TGPSize* s) {
    return DecodeGif(d, p, t, s);
}

// PNG data handed to the decoder piece by piece, as a file is read.
TStatus StreamedPng(std::span<const std::uint8_t> d, TBitmap& p, std::int32_t t, TGPSize* s) {
    if (t <= 0)
        return DecodePng(d, p, t, s);
    std::size_t at = 0;
    return DecodePngStream(
        [&](std::span<std::uint8_t> out) {
            if (out.size() > d.size() - at)
                return false;
            std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
            at += out.size();
            return true;
        },
        p, t, s);
}

// Compares the row-wise decode of data at factor 1 and at a factor of about 3 with the whole decode.
void ExpectRowsMatchWhole(const TRowDecode& decode, std::span<const std::uint8_t> data,
                          const std::string& name) {
    TBitmap whole, rows;
    TGPSize size{};
    const TStatus wholeStatus = decode(data, whole, 0, nullptr);
    if (!wholeStatus) {
        const TStatus rowStatus = decode(data, rows, 4, &size);
        EXPECT_FALSE(rowStatus) << name;
        EXPECT_EQ(rowStatus.Kind(), wholeStatus.Kind()) << name << ": " << rowStatus.Reason();
        EXPECT_FALSE(rows.IsValid()) << name;
        return;
    }
    const std::int32_t longer = std::max(whole.Width(), whole.Height());
    ASSERT_TRUE(decode(data, rows, longer, &size)) << name;
    EXPECT_EQ(size, (TGPSize{whole.Width(), whole.Height()})) << name;
    EXPECT_TRUE(rows == whole) << name << ": factor 1 differs from the whole picture";
    if (longer < 3)
        return;
    const std::int32_t target = longer / 3;
    TBitmap expected = whole;
    ASSERT_TRUE(ReduceWholePicture(expected, target, nullptr)) << name;
    ASSERT_TRUE(decode(data, rows, target, &size)) << name;
    EXPECT_EQ(size, (TGPSize{whole.Width(), whole.Height()})) << name;
    EXPECT_GE(std::max(rows.Width(), rows.Height()), target) << name;
    EXPECT_TRUE(rows == expected) << name << ": reduced by "
                                  << AreaReductionFactor(whole.Width(), whole.Height(), target)
                                  << " differs from the whole picture reduced";
}

struct TCorpus {
    const char* Name;
    const char* Folder;
    TRowDecode Decode;
};

class RowDecodeCorpusTest : public testing::TestWithParam<TCorpus> {};

TEST_P(RowDecodeCorpusTest, MatchesTheWholePictureDecoder) {
    const auto data = test::TestDataDir();
    if (!data || !fs::is_directory(*data / GetParam().Folder))
        GTEST_SKIP() << "no " << GetParam().Folder << " corpus";
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(*data / GetParam().Folder)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md" ||
            entry.path().extension() == ".txt")
            continue;
        ExpectRowsMatchWhole(GetParam().Decode, test::ReadFileBytes(entry.path()), entry.path().string());
        ++files;
    }
    EXPECT_GT(files, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpora, RowDecodeCorpusTest,
                         testing::Values(TCorpus{"PngSuite", "pngsuite", RowPng},
                                         TCorpus{"PngSuiteStreamed", "pngsuite", StreamedPng},
                                         TCorpus{"Tiff", "tiff", RowTiff},
                                         TCorpus{"BmpSuite", "bmpsuite", RowBmp},
                                         TCorpus{"Gif", "gif", RowGif}),
                         test::TCaseName());

// TIFF bands: strips that do not divide the height, tiles, and the orientations libtiff turns over.
TEST(RowDecodeTest, TiffStripsTilesAndOrientationsMatchTheWholePicture) {
    const TBitmap picture = test::MakeGradient(37, 29, true);
    for (const std::uint16_t orientation : {1, 2, 3, 4})
        for (const std::uint32_t tile : {0u, 16u}) {
            const auto data = test::EncodeTiffLayout(picture, orientation, 7, tile);
            ExpectRowsMatchWhole(RowTiff, data,
                                 "orientation " + std::to_string(orientation) + " tile " +
                                     std::to_string(tile));
        }
}

// GIF frames smaller than the screen, off its edges and interlaced.
TEST(RowDecodeTest, GifFramesMatchTheWholePicture) {
    const std::vector<TColor> palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    for (const bool interlaced : {false, true})
        for (const auto& [left, top] : std::vector<std::pair<int, int>>{{3, 5}, {30, 20}, {0, 0}}) {
            test::TGifFrame frame{left, top, 20, 17, interlaced, {}};
            for (int i = 0; i < frame.Width * frame.Height; ++i)
                frame.Indices.push_back(static_cast<std::uint8_t>((i * 7 / 5) % 4));
            ExpectRowsMatchWhole(RowGif, test::EncodeGif(40, 31, palette, 2, frame),
                                 "frame at " + std::to_string(left) + "," + std::to_string(top));
        }
}

std::vector<std::uint8_t> BmpOver64Bytes(std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> bmp = test::EncodeTestBmp(TBitmap(4, 4));
    for (int i = 0; i < 4; ++i) {
        bmp[18 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(width) >> (8 * i));
        bmp[22 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(height) >> (8 * i));
    }
    return bmp;
}

struct TRowHostile {
    const char* Name;
    TRowDecode Decode;
    std::vector<std::uint8_t> Data;
    TFailure Expected;
    const char* ReasonPart;
};

TEST(RowDecodeTest, HostileFilesAreRefusedWithTheirReason) {
    const std::vector<TColor> palette = {0xFF000000, 0xFFFFFFFF};
    const test::TGifFrame dot{0, 0, 1, 1, false, {1}};
    test::TGifFrame interlacedDot = dot;
    interlacedDot.Interlaced = true;
    std::vector<std::uint8_t> cut = test::EncodePng(test::MakeGradient(300, 200, true));
    cut.resize(cut.size() / 2);
    const std::vector<TRowHostile> cases = {
        // Heights that lie: the data ends long before the rows it declares.
        {"PngClaims16384SquareWithoutRows", RowPng, test::MakePngHeaderOnly(16384, 16384), TFailure::Corrupt,
         "libpng"},
        {"PngFileEndsEarly", StreamedPng, cut, TFailure::Truncated, "ends early"},
        {"BmpClaims16384SquareOver64Bytes", RowBmp, BmpOver64Bytes(16384, 16384), TFailure::Truncated,
         "ends early"},
        {"TiffStripEndsEarly", RowTiff, test::MakeTiffHeaderOnly(16384, 16384), TFailure::Corrupt,
         "picture data"},
        // Beyond what may be reduced while reading.
        {"PngBeyondTheScaledLimit", RowPng, test::MakePngHeaderOnly(16385, 16385), TFailure::TooLarge,
         "268435456"},
        {"BmpBeyondTheScaledLimit", RowBmp, BmpOver64Bytes(16385, 16385), TFailure::TooLarge, "268435456"},
        {"TiffBeyondTheScaledLimit", RowTiff, test::MakeTiffHeaderOnly(65535, 65535), TFailure::TooLarge,
         "268435456"},
        {"GifScreenBeyondTheScaledLimit", RowGif, test::EncodeGif(65535, 65535, palette, -1, dot),
         TFailure::TooLarge, "268435456"},
        // Interlaced pictures are decoded whole and keep the bitmap limits.
        {"InterlacedPngBomb", RowPng, test::WithPngInterlaced(test::MakePngHeaderOnly(9000, 9000)),
         TFailure::TooLarge, "interlaced"},
        {"InterlacedGifBomb", RowGif, test::EncodeGif(9000, 9000, palette, -1, interlacedDot),
         TFailure::TooLarge, "67108864"},
    };
    for (const TRowHostile& c : cases) {
        TBitmap picture;
        TGPSize size{};
        const TStatus status = c.Decode(c.Data, picture, 1024, &size);
        EXPECT_FALSE(picture.IsValid()) << c.Name;
        EXPECT_EQ(status.Kind(), c.Expected) << c.Name << ": " << status.Reason();
        EXPECT_NE(status.Reason().find(c.ReasonPart), std::string::npos) << c.Name << ": " << status.Reason();
    }
    // The same screen as the GIF bomb, not interlaced, is reduced while it is read.
    TBitmap reduced;
    TGPSize size{};
    ASSERT_TRUE(DecodeGif(test::EncodeGif(9000, 9000, palette, -1, dot), reduced, 1024, &size));
    EXPECT_EQ(size, (TGPSize{9000, 9000}));
    EXPECT_EQ(reduced.Width(), 1125);                            // by 8
    EXPECT_EQ(reduced.Pixel(0, 0), MakeColor(4, 255, 255, 255)); // one white pixel of 64
}

} // namespace
} // namespace gw
