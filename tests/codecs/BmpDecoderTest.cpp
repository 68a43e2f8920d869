#include "codecs/BmpDecoder.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TBmpSpec;

constexpr std::int32_t kWidth = 47, kHeight = 33;

std::vector<TColor> MakePalette(std::uint32_t count) {
    std::vector<TColor> palette;
    for (std::uint32_t i = 0; i < count; ++i)
        palette.push_back(MakeColor(255, static_cast<std::uint8_t>(i * 37),
                                    static_cast<std::uint8_t>(255 - i * 11),
                                    static_cast<std::uint8_t>(i * 3 + 1)));
    return palette;
}

TBitmap MakePalettedPicture(const std::vector<TColor>& palette) {
    TBitmap picture(kWidth, kHeight);
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            picture.SetPixel(x, y, palette[static_cast<std::size_t>(x * 7 + y * 3) % palette.size()]);
    return picture;
}

// What a 5-bit channel decodes to: scaled so that 31 is 255.
std::uint8_t Expand5(std::uint8_t c) {
    return static_cast<std::uint8_t>(((c >> 3) * 255 + 15) / 31);
}

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeBmp(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

void ExpectSamePixels(const TBitmap& actual, const TBitmap& expected) {
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    for (std::int32_t y = 0; y < expected.Height(); ++y)
        for (std::int32_t x = 0; x < expected.Width(); ++x)
            ASSERT_EQ(actual.Pixel(x, y), expected.Pixel(x, y)) << "at " << x << "," << y;
}

// Round trips: a 47 x 33 picture written in one layout decodes back to the colours that layout holds.
struct TLayoutCase {
    const char* Name;
    std::uint32_t HeaderSize;
    std::uint16_t BitCount;
    bool TopDown;
};
std::ostream& operator<<(std::ostream& os, const TLayoutCase& c) {
    return os << c.Name;
}

class BmpPalettedRoundTrip : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(BmpPalettedRoundTrip, DecodesEveryIndex) {
    const TLayoutCase& c = GetParam();
    const std::vector<TColor> palette = MakePalette(1u << c.BitCount);
    const TBitmap picture = MakePalettedPicture(palette);
    TBmpSpec spec;
    spec.HeaderSize = c.HeaderSize;
    spec.Width = kWidth;
    spec.Height = c.TopDown ? -kHeight : kHeight;
    spec.BitCount = c.BitCount;
    spec.Palette = palette;
    spec.PixelData = test::PackBmpRows(picture, c.BitCount, palette, c.TopDown);
    ExpectSamePixels(Decode(test::BuildBmp(spec)), picture);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpPalettedRoundTrip,
    ::testing::Values(TLayoutCase{"Info1", 40, 1, false}, TLayoutCase{"Info2", 40, 2, false},
                      TLayoutCase{"Info4", 40, 4, false}, TLayoutCase{"Info8", 40, 8, false},
                      TLayoutCase{"Info8TopDown", 40, 8, true}, TLayoutCase{"Core1", 12, 1, false},
                      TLayoutCase{"Core4", 12, 4, false}, TLayoutCase{"Core8", 12, 8, false},
                      TLayoutCase{"Os2Short8", 16, 8, false}, TLayoutCase{"Os2Full8", 64, 8, false},
                      TLayoutCase{"V2_8", 52, 8, false}, TLayoutCase{"V3_4", 56, 4, false},
                      TLayoutCase{"V4_8", 108, 8, false}, TLayoutCase{"V5_1", 124, 1, true}),
    test::TCaseName());

class BmpTrueColourRoundTrip : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(BmpTrueColourRoundTrip, DecodesColours) {
    const TLayoutCase& c = GetParam();
    const bool alpha = c.BitCount == 32;
    const TBitmap picture = test::MakeGradient(kWidth, kHeight, alpha);
    TBmpSpec spec;
    spec.HeaderSize = c.HeaderSize;
    spec.Width = kWidth;
    spec.Height = c.TopDown ? -kHeight : kHeight;
    spec.BitCount = c.BitCount;
    spec.PixelData = test::PackBmpRows(picture, c.BitCount, {}, c.TopDown);
    TBitmap expected = picture;
    for (TColor& pixel : expected.Pixels()) {
        if (c.BitCount == 16)
            pixel = MakeColor(255, Expand5(RedOf(pixel)), Expand5(GreenOf(pixel)), Expand5(BlueOf(pixel)));
        else if (c.BitCount == 24)
            pixel |= 0xFF000000u;
    }
    ExpectSamePixels(Decode(test::BuildBmp(spec)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpTrueColourRoundTrip,
    ::testing::Values(TLayoutCase{"Info16", 40, 16, false}, TLayoutCase{"Info24", 40, 24, false},
                      TLayoutCase{"Info24TopDown", 40, 24, true}, TLayoutCase{"Info32", 40, 32, false},
                      TLayoutCase{"Info32TopDown", 40, 32, true}, TLayoutCase{"Core24", 12, 24, false},
                      TLayoutCase{"V5_24", 124, 24, false}, TLayoutCase{"V5_32", 124, 32, false}),
    test::TCaseName());

// Bit fields: one pixel per case, inline bytes, the expected 8-bit colour worked out by hand.
struct TBitFieldCase {
    const char* Name;
    std::uint32_t HeaderSize;
    std::uint16_t BitCount;
    std::uint32_t Compression;
    std::vector<std::uint32_t> Masks;
    Bytes Pixel; // one pixel, padded to 4 bytes
    TColor Expected;
};
std::ostream& operator<<(std::ostream& os, const TBitFieldCase& c) {
    return os << c.Name;
}

class BmpBitFields : public ::testing::TestWithParam<TBitFieldCase> {};

TEST_P(BmpBitFields, ScalesEachChannel) {
    const TBitFieldCase& c = GetParam();
    TBmpSpec spec;
    spec.HeaderSize = c.HeaderSize;
    spec.Width = 1;
    spec.Height = 1;
    spec.BitCount = c.BitCount;
    spec.Compression = c.Compression;
    spec.Masks = c.Masks;
    spec.PixelData = c.Pixel;
    const TBitmap picture = Decode(test::BuildBmp(spec));
    ASSERT_TRUE(picture.IsValid());
    EXPECT_EQ(picture.Pixel(0, 0), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, BmpBitFields,
    ::testing::Values(
        // 5-6-5 white is 255, 255, 255, not 248, 252, 248.
        TBitFieldCase{"Rgb565White", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xFF, 0xFF, 0, 0}, 0xFFFFFFFF},
        // 0x7C1F: red 31, green 0, blue 31 in the default 5-5-5 layout.
        TBitFieldCase{"Rgb555Default", 40, 16, 0, {}, {0x1F, 0x7C, 0, 0}, 0xFFFF00FF},
        // 16-bit alpha bits are unused bits: the pixel stays opaque.
        TBitFieldCase{"Rgba4444AlphaIgnored",
                      124,
                      16,
                      3,
                      {0x0F00, 0x00F0, 0x000F, 0xF000},
                      {0x08, 0x7F, 0, 0},
                      MakeColor(255, 255, 0, 136)},
        // 2-3-1: red 3 of 3, green 2 of 7 (73), blue 1 of 1.
        TBitFieldCase{
            "Rgb231", 40, 16, 3, {0x0030, 0x000E, 0x0001}, {0x35, 0, 0, 0}, MakeColor(255, 255, 73, 255)},
        // Channels in the unusual order A, B, G, R from the top byte down, alpha 0x80.
        TBitFieldCase{"Rgba32Reordered",
                      124,
                      32,
                      3,
                      {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
                      {0x11, 0x22, 0x33, 0x80},
                      MakeColor(0x80, 0x11, 0x22, 0x33)},
        // 10-10-10-2: red 1023, green 0, blue 512 (128), alpha 1 of 3 (85).
        TBitFieldCase{"Rgba1010102",
                      124,
                      32,
                      3,
                      {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
                      {0x00, 0x02, 0xF0, 0x7F},
                      MakeColor(85, 255, 0, 128)},
        // BI_ALPHABITFIELDS after a 40-byte header.
        TBitFieldCase{"AlphaBitFields",
                      40,
                      32,
                      6,
                      {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                      {0x30, 0x20, 0x10, 0x40},
                      MakeColor(0x40, 0x10, 0x20, 0x30)},
        // 32-bit bit fields without an alpha mask: the top byte is unused, so the pixel is opaque.
        TBitFieldCase{"Rgb32BitFieldsTopByteUnused",
                      40,
                      32,
                      3,
                      {0x00FF0000, 0x0000FF00, 0x000000FF},
                      {0x30, 0x20, 0x10, 0x99},
                      MakeColor(255, 0x10, 0x20, 0x30)}),
    test::TCaseName());

// The alpha rule: fourth bytes become alpha only when at least one of them is not 0.
TEST(BmpAlphaRule, TwentyFourBitIsOpaque) {
    TBmpSpec spec{.Width = 2, .Height = 1, .BitCount = 24, .PixelData = {1, 2, 3, 4, 5, 6, 0, 0}};
    const TBitmap picture = Decode(test::BuildBmp(spec));
    EXPECT_EQ(picture.Pixel(0, 0), 0xFF030201u);
    EXPECT_EQ(picture.Pixel(1, 0), 0xFF060504u);
}

TEST(BmpAlphaRule, ThirtyTwoBitWithAllFourthBytesZeroIsOpaque) {
    TBmpSpec spec{.Width = 2, .Height = 1, .BitCount = 32, .PixelData = {1, 2, 3, 0, 0, 0, 0, 0}};
    const TBitmap picture = Decode(test::BuildBmp(spec));
    EXPECT_EQ(picture.Pixel(0, 0), 0xFF030201u);
    EXPECT_EQ(picture.Pixel(1, 0), 0xFF000000u);
}

TEST(BmpAlphaRule, ThirtyTwoBitWithOneFourthByteKeepsEveryAlpha) {
    TBmpSpec spec{
        .Width = 3, .Height = 1, .BitCount = 32, .PixelData = {1, 2, 3, 0, 4, 5, 6, 1, 7, 8, 9, 255}};
    const TBitmap picture = Decode(test::BuildBmp(spec));
    EXPECT_EQ(picture.Pixel(0, 0), 0x00030201u); // fully transparent, colour kept
    EXPECT_EQ(picture.Pixel(1, 0), 0x01060504u);
    EXPECT_EQ(picture.Pixel(2, 0), 0xFF090807u);
}

// RLE: exact layouts on tiny bitmaps. Rows are coded bottom-up.
struct TRleCase {
    const char* Name;
    std::uint16_t BitCount;
    std::uint32_t Compression;
    std::int32_t Width, Height;
    Bytes Data;
    std::vector<TColor> Expected; // rows top to bottom
};
std::ostream& operator<<(std::ostream& os, const TRleCase& c) {
    return os << c.Name;
}

const TColor kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kBlack = 0xFF000000,
             kWhite = 0xFFFFFFFF;

class BmpRle : public ::testing::TestWithParam<TRleCase> {};

TEST_P(BmpRle, DecodesRuns) {
    const TRleCase& c = GetParam();
    TBmpSpec spec;
    spec.HeaderSize = c.Compression == 4 ? 64 : 40; // RLE24 exists only in OS/2 2.x bitmaps
    spec.Width = c.Width;
    spec.Height = c.Height;
    spec.BitCount = c.BitCount;
    spec.Compression = c.Compression;
    if (c.BitCount <= 8)
        spec.Palette = {kWhite, kRed, kGreen, kBlue};
    spec.SizeImage = static_cast<std::uint32_t>(c.Data.size());
    spec.PixelData = c.Data;
    const TBitmap picture = Decode(test::BuildBmp(spec));
    ASSERT_TRUE(picture.IsValid());
    EXPECT_EQ(std::vector<TColor>(picture.Pixels().begin(), picture.Pixels().end()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpRle,
    ::testing::Values(
        // Bottom row: 3 x red, then 1 x green; end of line; top row: literal blue, white, red, blue.
        TRleCase{"Rle8RunsAndLiteral",
                 8,
                 1,
                 4,
                 2,
                 {3, 1, 1, 2, 0, 0, 0, 4, 3, 0, 1, 3, 0, 1},
                 {kBlue, kWhite, kRed, kBlue, kRed, kRed, kRed, kGreen}},
        // A 3-pixel literal is padded to 4 bytes.
        TRleCase{"Rle8OddLiteralPadded", 8, 1, 3, 1, {0, 3, 1, 2, 3, 0, 0, 1}, {kRed, kGreen, kBlue}},
        // Delta (0 2 dx dy) skips pixels, which stay black; the end of bitmap leaves the rest black too.
        TRleCase{"Rle8DeltaSkips",
                 8,
                 1,
                 3,
                 2,
                 {1, 1, 0, 2, 1, 1, 1, 2, 0, 1},
                 {kBlack, kBlack, kGreen, kRed, kBlack, kBlack}},
        // RLE4 runs alternate the two nibbles; literals hold two pixels per byte.
        TRleCase{"Rle4Nibbles",
                 4,
                 2,
                 5,
                 2,
                 {5, 0x12, 0, 0, 0, 5, 0x30, 0x12, 0x30, 0, 0, 1},
                 {kBlue, kWhite, kRed, kGreen, kBlue, kRed, kGreen, kRed, kGreen, kRed}},
        // OS/2 RLE24 (64-byte header, compression 4): a run of B, G, R and a padded 3-pixel literal.
        TRleCase{"Rle24RunAndLiteral",
                 24,
                 4,
                 4,
                 1,
                 {1, 0x10, 0x20, 0x30, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1},
                 {0xFF302010, 0xFF030201, 0xFF060504, 0xFF090807}}),
    test::TCaseName());

TEST(BmpRle24, NeedsOs2Header) {
    // Compression 4 under a Windows header is an embedded JPEG, which we do not decode.
    TBmpSpec spec{.Width = 1, .Height = 1, .BitCount = 24, .Compression = 4, .PixelData = {1, 1, 2, 3, 0, 1}};
    TStatus status;
    Decode(test::BuildBmp(spec), &status);
    EXPECT_EQ(status.Kind(), TFailure::Unsupported);
}

// Hostile files, each named by its defect.
using test::THostileCase;

Bytes Rle8(std::int32_t width, std::int32_t height, Bytes data, bool topDown = false) {
    TBmpSpec spec{.Width = width,
                  .Height = topDown ? -height : height,
                  .BitCount = 8,
                  .Compression = 1,
                  .Palette = {kWhite, kRed},
                  .PixelData = std::move(data)};
    return test::BuildBmp(spec);
}

Bytes Plain24(TBmpSpec spec) {
    if (spec.PixelData.empty())
        spec.PixelData.assign(static_cast<std::size_t>((spec.Width * 3 + 3) / 4 * 4) *
                                  static_cast<std::size_t>(std::abs(spec.Height)),
                              0);
    return test::BuildBmp(spec);
}

Bytes Truncate(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes Patch32(Bytes bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

class BmpHostile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(BmpHostile, FailsWithTheRightKind) {
    test::ExpectDecodeFailure(Decoder, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Defects, BmpHostile,
    ::testing::Values(
        THostileCase{"Empty", {}, TFailure::Corrupt},
        THostileCase{"WrongSignature", Patch32(Plain24({.Width = 1, .Height = 1}), 0, 0x4142),
                     TFailure::Corrupt},
        THostileCase{"FileHeaderCut", Truncate(Plain24({.Width = 1, .Height = 1}), 12), TFailure::Truncated},
        THostileCase{"InfoHeaderCut", Truncate(Plain24({.Width = 1, .Height = 1}), 30), TFailure::Truncated},
        THostileCase{"UnknownHeaderSize", Patch32(Plain24({.Width = 1, .Height = 1}), 14, 66),
                     TFailure::Corrupt},
        THostileCase{"PlanesNotOne", Plain24({.Width = 1, .Height = 1, .Planes = 2}), TFailure::Corrupt},
        THostileCase{"ZeroWidth", Plain24({.Width = 0, .Height = 1}), TFailure::Corrupt},
        THostileCase{"NegativeWidth", Plain24({.Width = -5, .Height = 1, .PixelData = {0}}),
                     TFailure::Corrupt},
        THostileCase{"ZeroHeight", Plain24({.Width = 1, .Height = 0, .PixelData = {0}}), TFailure::Corrupt},
        THostileCase{"MostNegativeHeight", Plain24({.Width = 1, .Height = INT32_MIN, .PixelData = {0}}),
                     TFailure::TooLarge},
        THostileCase{"DecompressionBomb60000Square",
                     Plain24({.Width = 60000, .Height = 60000, .PixelData = Bytes(900)}), TFailure::TooLarge},
        THostileCase{"SideBeyondLimit", Plain24({.Width = 70000, .Height = 1, .PixelData = Bytes(16)}),
                     TFailure::TooLarge},
        THostileCase{"BitCount30000", Plain24({.Width = 1, .Height = 1, .BitCount = 30000}),
                     TFailure::Corrupt},
        THostileCase{"BitCount64", Plain24({.Width = 1, .Height = 1, .BitCount = 64, .PixelData = Bytes(8)}),
                     TFailure::Unsupported},
        THostileCase{"EmbeddedPng", Plain24({.Width = 1, .Height = 1, .BitCount = 0, .Compression = 5}),
                     TFailure::Unsupported},
        THostileCase{"Rle8With24Bits", Plain24({.Width = 1, .Height = 1, .Compression = 1}),
                     TFailure::Corrupt},
        THostileCase{"PixelDataShort", Truncate(Plain24({.Width = 5, .Height = 5}), 54 + 60),
                     TFailure::Truncated},
        THostileCase{"SizeImageBeyondFile", Plain24({.Width = 1, .Height = 1, .SizeImage = 0x7F000000}),
                     TFailure::Truncated},
        THostileCase{"OffBitsBeyondFile", Plain24({.Width = 1, .Height = 1, .OffBits = 0x7FFFFFFF}),
                     TFailure::Corrupt},
        THostileCase{"OffBitsInsideHeader", Plain24({.Width = 1, .Height = 1, .OffBits = 20}),
                     TFailure::Corrupt},
        THostileCase{"PaletteClaimsMillionsOfColours",
                     test::BuildBmp({.Width = 1,
                                     .Height = 1,
                                     .BitCount = 8,
                                     .ClrUsed = 0x12345678,
                                     .Palette = {kRed},
                                     .PixelData = Bytes(4)}),
                     TFailure::Corrupt},
        THostileCase{"IndexBeyondPalette",
                     test::BuildBmp({.Width = 1,
                                     .Height = 1,
                                     .BitCount = 8,
                                     .ClrUsed = 2,
                                     .Palette = {kRed, kBlue},
                                     .PixelData = {7, 0, 0, 0}}),
                     TFailure::Corrupt},
        THostileCase{"BitFieldMaskZero",
                     test::BuildBmp({.Width = 1,
                                     .Height = 1,
                                     .BitCount = 16,
                                     .Compression = 3,
                                     .Masks = {0xFF00, 0x00FF, 0},
                                     .PixelData = Bytes(4)}),
                     TFailure::Corrupt},
        THostileCase{"BitFieldMasksOverlap",
                     test::BuildBmp({.Width = 1,
                                     .Height = 1,
                                     .BitCount = 16,
                                     .Compression = 3,
                                     .Masks = {0xF800, 0x0FE0, 0x001F},
                                     .PixelData = Bytes(4)}),
                     TFailure::Corrupt},
        THostileCase{"BitFieldMaskWithGap",
                     test::BuildBmp({.Width = 1,
                                     .Height = 1,
                                     .BitCount = 16,
                                     .Compression = 3,
                                     .Masks = {0xF000, 0x0E10, 0x000F},
                                     .PixelData = Bytes(4)}),
                     TFailure::Corrupt},
        THostileCase{"BitFieldMaskWiderThanPixel",
                     test::BuildBmp({.Width = 1,
                                     .Height = 1,
                                     .BitCount = 16,
                                     .Compression = 3,
                                     .Masks = {0xFF0000, 0xFF00, 0xFF},
                                     .PixelData = Bytes(4)}),
                     TFailure::Corrupt},
        THostileCase{"BitFieldMasksCut",
                     Truncate(test::BuildBmp({.Width = 1,
                                              .Height = 1,
                                              .BitCount = 16,
                                              .Compression = 3,
                                              .Masks = {0xF800, 0x07E0, 0x1F}}),
                              58),
                     TFailure::Truncated},
        THostileCase{"RleRunPastRowEnd", Rle8(2, 1, {3, 1, 0, 1}), TFailure::Corrupt},
        THostileCase{"RleLiteralPastRowEnd", Rle8(2, 1, {0, 3, 1, 1, 1, 0, 0, 1}), TFailure::Corrupt},
        THostileCase{"RleDeltaPastRowEnd", Rle8(2, 2, {0, 2, 3, 0, 0, 1}), TFailure::Corrupt},
        THostileCase{"RleDeltaPastTop", Rle8(2, 2, {0, 2, 0, 3, 0, 1}), TFailure::Corrupt},
        THostileCase{"RleRunAboveTopRow", Rle8(1, 1, {0, 0, 1, 1, 0, 1}), TFailure::Corrupt},
        THostileCase{"RleWithoutEndOfBitmap", Rle8(2, 1, {2, 1}), TFailure::Truncated},
        THostileCase{"RleLiteralCut", Rle8(4, 1, {0, 4, 1, 1}), TFailure::Truncated},
        THostileCase{"RleIndexBeyondPalette", Rle8(1, 1, {1, 9, 0, 1}), TFailure::Corrupt},
        THostileCase{"RleTopDown", Rle8(1, 1, {1, 1, 0, 1}, true), TFailure::Corrupt}),
    test::TCaseName());

// The BMP Suite: good/ decodes and its variants of one picture agree, bad/ fails cleanly (except for
// defects in fields no decoder needs), questionable/ never crashes.
std::filesystem::path SuiteFile(const std::filesystem::path& data, const std::string& name) {
    return data / "bmpsuite" / name;
}

TBitmap DecodeSuiteFile(const std::filesystem::path& path) {
    TBitmap picture;
    const TStatus status = DecodeBmp(test::ReadFileBytes(path), picture);
    EXPECT_TRUE(status.IsOk()) << path << ": " << status.Reason();
    return picture;
}

TEST(BmpSuite, GoodFilesDecodeAtTheirSizes) {
    GW_REQUIRE_TESTDATA(data);
    const std::map<std::string, std::pair<int, int>> sizes = {{"pal8nonsquare.bmp", {127, 32}},
                                                              {"pal8w124.bmp", {124, 61}},
                                                              {"pal8w125.bmp", {125, 62}},
                                                              {"pal8w126.bmp", {126, 63}}};
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data / "bmpsuite" / "good")) {
        const TBitmap picture = DecodeSuiteFile(entry.path());
        const auto it = sizes.find(entry.path().filename().string());
        const auto [width, height] = it != sizes.end() ? it->second : std::pair{127, 64};
        EXPECT_EQ(picture.Width(), width) << entry.path();
        EXPECT_EQ(picture.Height(), height) << entry.path();
        for (TColor pixel : picture.Pixels())
            ASSERT_EQ(AlphaOf(pixel), 255) << entry.path() << " has no alpha channel";
        ++count;
    }
    EXPECT_EQ(count, 27);
}

// Files that store the same picture in different layouts must decode to identical pixels.
TEST(BmpSuite, VariantsOfOnePictureAgree) {
    GW_REQUIRE_TESTDATA(data);
    const std::vector<std::vector<std::string>> groups = {
        {"good/pal8.bmp", "good/pal8-0.bmp", "good/pal8os2.bmp", "good/pal8rle.bmp", "good/pal8topdown.bmp",
         "good/pal8v4.bmp", "good/pal8v5.bmp", "questionable/pal8os2v2.bmp", "questionable/pal8os2v2-16.bmp",
         "questionable/pal8offs.bmp", "questionable/pal8oversizepal.bmp", "questionable/pal8os2sp.bmp"},
        {"good/rgb24.bmp", "good/rgb24pal.bmp", "good/rgb32.bmp", "good/rgb32bf.bmp", "good/rgb32bfdef.bmp",
         "questionable/rgb32h52.bmp", "questionable/rgb32-xbgr.bmp", "questionable/rgb24largepal.bmp",
         "questionable/rgb24prof.bmp"},
        {"good/pal4.bmp", "good/pal4rle.bmp"},
        {"good/pal1.bmp", "good/pal1wb.bmp"},
        {"good/rgb16.bmp", "good/rgb16bfdef.bmp", "questionable/rgb16faketrns.bmp",
         "questionable/rgba16-5551.bmp"},
        {"good/rgb16-565.bmp", "good/rgb16-565pal.bmp"},
    };
    for (const auto& group : groups) {
        const TBitmap reference = DecodeSuiteFile(SuiteFile(data, group.front()));
        for (std::size_t i = 1; i < group.size(); ++i) {
            SCOPED_TRACE(group[i]);
            ExpectSamePixels(DecodeSuiteFile(SuiteFile(data, group[i])), reference);
        }
    }
}

// The suite's 16-bit and odd 32-bit files hold the 24-bit picture reduced: every channel stays within the
// quantisation step of the 24-bit original.
TEST(BmpSuite, ReducedDepthsStayCloseToTrueColour) {
    GW_REQUIRE_TESTDATA(data);
    const TBitmap reference = DecodeSuiteFile(SuiteFile(data, "good/rgb24.bmp"));
    for (const auto& [name, tolerance] :
         std::vector<std::pair<std::string, int>>{{"good/rgb16.bmp", 4},
                                                  {"good/rgb16-565.bmp", 4},
                                                  {"questionable/rgb32-111110.bmp", 1},
                                                  {"questionable/rgb32-7187.bmp", 1},
                                                  {"questionable/rgb16-3103.bmp", 36}}) {
        const TBitmap picture = DecodeSuiteFile(SuiteFile(data, name));
        ASSERT_EQ(picture.Pixels().size(), reference.Pixels().size()) << name;
        int worst = 0;
        for (std::size_t i = 0; i < picture.Pixels().size(); ++i) {
            const TColor a = picture.Pixels()[i], b = reference.Pixels()[i];
            worst = std::max({worst, std::abs(RedOf(a) - RedOf(b)), std::abs(GreenOf(a) - GreenOf(b)),
                              std::abs(BlueOf(a) - BlueOf(b))});
        }
        EXPECT_LE(worst, tolerance) << name;
    }
}

// The standard picture's top-left pixel is red and the 1-bit pictures are black and white.
TEST(BmpSuite, KnownPixels) {
    GW_REQUIRE_TESTDATA(data);
    EXPECT_EQ(DecodeSuiteFile(SuiteFile(data, "good/rgb24.bmp")).Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(DecodeSuiteFile(SuiteFile(data, "good/pal8.bmp")).Pixel(0, 0), 0xFFFF0000u);
    const TBitmap blackAndWhite = DecodeSuiteFile(SuiteFile(data, "good/pal1.bmp"));
    for (TColor pixel : blackAndWhite.Pixels())
        ASSERT_TRUE(pixel == kBlack || pixel == kWhite);
}

TEST(BmpSuite, AlphaFilesKeepTheirTransparency) {
    GW_REQUIRE_TESTDATA(data);
    for (const char* name : {"questionable/rgba32-1.bmp", "questionable/rgba32-2.bmp",
                             "questionable/rgba32abf.bmp", "questionable/rgba32h56.bmp"}) {
        const TBitmap picture = DecodeSuiteFile(SuiteFile(data, name));
        const auto transparent = std::count_if(picture.Pixels().begin(), picture.Pixels().end(),
                                               [](TColor c) { return AlphaOf(c) == 0; });
        EXPECT_GT(transparent, 0) << name;
    }
}

TEST(BmpSuite, BadFilesFail) {
    GW_REQUIRE_TESTDATA(data);
    // Defects in fields that decoding never reads: the density and the file size field.
    const std::set<std::string> harmless = {"baddens1.bmp", "baddens2.bmp", "badfilesize.bmp"};
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data / "bmpsuite" / "bad")) {
        TBitmap picture;
        const TStatus status = DecodeBmp(test::ReadFileBytes(entry.path()), picture);
        const bool expectOk = harmless.contains(entry.path().filename().string());
        EXPECT_EQ(status.IsOk(), expectOk) << entry.path() << ": " << status.Reason();
        EXPECT_EQ(picture.IsValid(), expectOk) << entry.path();
        ++count;
    }
    EXPECT_EQ(count, 20);
}

TEST(BmpSuite, QuestionableFilesNeverCrash) {
    GW_REQUIRE_TESTDATA(data);
    for (const auto& entry : std::filesystem::directory_iterator(data / "bmpsuite" / "questionable")) {
        TBitmap picture;
        const TStatus status = DecodeBmp(test::ReadFileBytes(entry.path()), picture);
        EXPECT_EQ(status.IsOk(), picture.IsValid()) << entry.path();
    }
}

// Pillow as an independent decoder: every good/ file it reads agrees with ours pixel for pixel.
TEST(BmpSuite, AgreesWithPillow) {
    GW_REQUIRE_TESTDATA(data);
    if (!test::HavePillow())
        GTEST_SKIP() << "Pillow not installed";
    for (const auto& entry : std::filesystem::directory_iterator(data / "bmpsuite" / "good")) {
        // NOTE: Pillow 9.4 decodes pal4rle.bmp differently from pal4.bmp; ours match each other.
        if (entry.path().filename() == "pal4rle.bmp")
            continue;
        const auto reference = test::DecodeWithPillow(entry.path());
        if (!reference)
            continue;
        SCOPED_TRACE(entry.path().string());
        const TBitmap picture = DecodeSuiteFile(entry.path());
        ASSERT_EQ(picture.Width(), reference->Width());
        ASSERT_EQ(picture.Height(), reference->Height());
        const int tolerance = entry.path().filename().string().starts_with("rgb16") ? 8 : 0;
        for (std::size_t i = 0; i < picture.Pixels().size(); ++i) {
            const TColor a = picture.Pixels()[i], b = reference->Pixels()[i];
            ASSERT_LE(std::abs(RedOf(a) - RedOf(b)), tolerance) << i;
            ASSERT_LE(std::abs(GreenOf(a) - GreenOf(b)), tolerance) << i;
            ASSERT_LE(std::abs(BlueOf(a) - BlueOf(b)), tolerance) << i;
        }
    }
}

} // namespace
} // namespace gw
