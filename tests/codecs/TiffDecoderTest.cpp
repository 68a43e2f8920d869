#include "codecs/TiffDecoder.h"

#include "codecs/PngCodec.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeTiff(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

// Straight-alpha pictures agree when their premultiplied colours differ by at most 1: colours of
// nearly transparent pixels cannot survive premultiplied storage.
void ExpectSameVisible(const TBitmap& actual, const TBitmap& expected) {
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    for (std::size_t i = 0; i < expected.Pixels().size(); ++i) {
        const TColor a = actual.Pixels()[i], b = expected.Pixels()[i];
        ASSERT_EQ(AlphaOf(a), AlphaOf(b)) << i;
        const auto premultiplied = [](TColor c, std::uint8_t channel) { return channel * AlphaOf(c) / 255; };
        ASSERT_LE(std::abs(premultiplied(a, RedOf(a)) - premultiplied(b, RedOf(b))), 1) << i;
        ASSERT_LE(std::abs(premultiplied(a, GreenOf(a)) - premultiplied(b, GreenOf(b))), 1) << i;
        ASSERT_LE(std::abs(premultiplied(a, BlueOf(a)) - premultiplied(b, BlueOf(b))), 1) << i;
    }
}

TEST(TiffDecoder, RgbRoundTripIsExact) {
    const TBitmap source = test::MakeGradient(47, 33, false);
    EXPECT_EQ(Decode(test::EncodeTiff(source, test::TTiffAlpha::None)), source);
}

TEST(TiffDecoder, BigEndianRoundTripIsExact) {
    // Detection does not route big-endian TIFF here, but the decoder itself reads it.
    const TBitmap source = test::MakeGradient(47, 33, false);
    EXPECT_EQ(Decode(test::EncodeTiff(source, test::TTiffAlpha::None, true)), source);
}

TEST(TiffDecoder, UnassociatedAlphaComesOutStraight) {
    const TBitmap source = test::MakeGradient(47, 33, true);
    ExpectSameVisible(Decode(test::EncodeTiff(source, test::TTiffAlpha::Unassociated)), source);
}

TEST(TiffDecoder, GreyWithUnassociatedAlphaStaysStraight) {
    // Grey 246 at alpha 65 is a row of basn4a08; premultiplying twice or unpremultiplying a straight
    // value would brighten or darken it.
    const TBitmap source = test::MakeSolid(3, 2, MakeColor(65, 246, 246, 246));
    EXPECT_EQ(Decode(test::EncodeTiff(source, test::TTiffAlpha::Unassociated, false, true)), source);
    // Stored premultiplied as 63; straight again 247 (the rounding of 8-bit premultiplied storage).
    EXPECT_EQ(Decode(test::EncodeTiff(source, test::TTiffAlpha::Associated, false, true)).Pixel(0, 0),
              MakeColor(65, 247, 247, 247));
}

TEST(TiffDecoder, AssociatedAlphaIsUnpremultiplied) {
    TBitmap source = test::MakeSolid(4, 4, MakeColor(128, 200, 100, 50));
    const TBitmap picture = Decode(test::EncodeTiff(source, test::TTiffAlpha::Associated));
    ASSERT_TRUE(picture.IsValid());
    // Stored 100, 50, 25 at alpha 128; straight again: 199, 100, 50 (within rounding of the source).
    EXPECT_EQ(picture.Pixel(0, 0), MakeColor(128, 199, 100, 50));
    ExpectSameVisible(
        Decode(test::EncodeTiff(test::MakeGradient(47, 33, true), test::TTiffAlpha::Associated)),
        test::MakeGradient(47, 33, true));
}

using test::THostileCase;

const Bytes kValid = test::EncodeTiff(test::MakeGradient(47, 33, false), test::TTiffAlpha::None);

class TiffHostile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(TiffHostile, FailsWithTheRightKind) {
    test::ExpectDecodeFailure(Decoder, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Defects, TiffHostile,
    ::testing::Values(
        THostileCase{"Empty", {}, TFailure::Corrupt},
        THostileCase{"HeaderOnly", {'I', 'I', 42, 0, 8, 0, 0, 0}, TFailure::Corrupt},
        THostileCase{"DecompressionBomb60000Square", test::MakeTiffHeaderOnly(60000, 60000),
                     TFailure::TooLarge},
        THostileCase{"SideBeyondLimit", test::MakeTiffHeaderOnly(100000, 1), TFailure::TooLarge},
        THostileCase{"StripDataCut", Bytes(kValid.begin(), kValid.begin() + 1000), TFailure::Corrupt}),
    test::TCaseName());

// The generated corpus files were made from PngSuite pictures and decode to exactly their pixels
// (up to premultiplied storage and 16-to-8-bit rounding).
TEST(TiffCorpus, GeneratedFilesMatchTheirPngSources) {
    GW_REQUIRE_TESTDATA(data);
    const std::vector<std::pair<const char*, const char*>> pairs = {
        {"rgb8-none.tif", "basn2c08.png"},
        {"rgb8-lzw-predictor.tif", "basn2c08.png"},
        {"rgb8-deflate.tif", "basn2c08.png"},
        {"rgb8-packbits.tif", "basn2c08.png"},
        {"rgb8-tiled.tif", "basn2c08.png"},
        {"rgb8-planar-separate.tif", "basn2c08.png"},
        {"rgb8-rows3.tif", "basn2c08.png"},
        {"rgb8-none-bigendian.tif", "basn2c08.png"},
        {"multipage.tif", "basn2c08.png"},
        {"rgba8-unassociated.tif", "basn6a08.png"},
        {"rgba8-associated.tif", "basn6a08.png"},
        {"rgba8-lzw.tif", "basn6a08.png"},
        {"pal8.tif", "basn3p08.png"},
        {"pal4.tif", "basn3p04.png"},
        {"pal2.tif", "basn3p02.png"},
        {"pal1.tif", "basn3p01.png"},
        {"gray8.tif", "basn0g08.png"},
        {"bilevel.tif", "basn0g01.png"},
        {"graya8.tif", "basn4a08.png"},
    };
    for (const auto& [tiffName, pngName] : pairs) {
        SCOPED_TRACE(tiffName);
        TBitmap expected;
        ASSERT_TRUE(DecodePng(test::ReadFileBytes(data / "pngsuite" / pngName), expected));
        TBitmap picture;
        const TStatus status =
            DecodeTiff(test::ReadFileBytes(data / "tiff" / "generated" / tiffName), picture);
        ASSERT_TRUE(status) << status.Reason();
        ExpectSameVisible(picture, expected);
    }
}

TEST(TiffCorpus, OtherFilesDecodeAndBadFilesNeverCrash) {
    GW_REQUIRE_TESTDATA(data);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data / "tiff")) {
        if (!entry.is_regular_file())
            continue;
        TBitmap picture;
        const TStatus status = DecodeTiff(test::ReadFileBytes(entry.path()), picture);
        EXPECT_EQ(status.IsOk(), picture.IsValid()) << entry.path();
        if (entry.path().parent_path().filename() != "bad") {
            EXPECT_TRUE(status) << entry.path() << ": " << status.Reason();
        }
    }
}

// Pillow reads associated alpha as premultiplied colour and unpremultiplies it too.
TEST(TiffCorpus, PremultipliedFileAgreesWithPillow) {
    GW_REQUIRE_TESTDATA(data);
    const auto path = data / "tiff" / "libtiff" / "32bpp-None.tiff";
    const auto reference = test::DecodeWithPillow(path);
    if (!reference)
        GTEST_SKIP() << "Pillow not installed";
    TBitmap picture;
    ASSERT_TRUE(DecodeTiff(test::ReadFileBytes(path), picture));
    ExpectSameVisible(picture, *reference);
}

} // namespace
} // namespace gw
