#include "codecs/JpegDecoder.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const TColor kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// 32 x 16, four flat quadrants: red, green on top; blue, white below.
TBitmap MakeQuadrants(int width = 32, int height = 16) {
    TBitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.SetPixel(
                x, y, y < height / 2 ? (x < width / 2 ? kRed : kGreen) : (x < width / 2 ? kBlue : kWhite));
    return picture;
}

bool Near(TColor a, TColor b, int tolerance) {
    return std::abs(RedOf(a) - RedOf(b)) <= tolerance && std::abs(GreenOf(a) - GreenOf(b)) <= tolerance &&
           std::abs(BlueOf(a) - BlueOf(b)) <= tolerance && AlphaOf(a) == AlphaOf(b);
}

// Compares the centres of the four quadrants, where JPEG keeps flat colours nearly exact.
void ExpectQuadrants(const TBitmap& picture, int tolerance = 12) {
    ASSERT_TRUE(picture.IsValid());
    const int w = picture.Width(), h = picture.Height();
    EXPECT_TRUE(Near(picture.Pixel(w / 4, h / 4), kRed, tolerance))
        << std::hex << picture.Pixel(w / 4, h / 4);
    EXPECT_TRUE(Near(picture.Pixel(3 * w / 4, h / 4), kGreen, tolerance))
        << std::hex << picture.Pixel(3 * w / 4, h / 4);
    EXPECT_TRUE(Near(picture.Pixel(w / 4, 3 * h / 4), kBlue, tolerance))
        << std::hex << picture.Pixel(w / 4, 3 * h / 4);
    EXPECT_TRUE(Near(picture.Pixel(3 * w / 4, 3 * h / 4), kWhite, tolerance));
}

// The stored picture a camera with the given orientation writes for the upright picture.
TBitmap StoredFor(const TBitmap& upright, int orientation) {
    const bool swap = orientation >= 5;
    const int width = swap ? upright.Height() : upright.Width(),
              height = swap ? upright.Width() : upright.Height();
    TBitmap stored(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int ux = x, uy = y;
            switch (orientation) {
            case 2:
                ux = width - 1 - x;
                break;
            case 3:
                ux = width - 1 - x;
                uy = height - 1 - y;
                break;
            case 4:
                uy = height - 1 - y;
                break;
            case 5:
                ux = y;
                uy = x;
                break;
            case 6:
                ux = height - 1 - y;
                uy = x;
                break;
            case 7:
                ux = height - 1 - y;
                uy = width - 1 - x;
                break;
            case 8:
                ux = y;
                uy = width - 1 - x;
                break;
            default:
                break;
            }
            stored.SetPixel(x, y, upright.Pixel(ux, uy));
        }
    }
    return stored;
}

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeJpeg(data, picture);
};

TBitmap Decode(const Bytes& data, std::int32_t targetSide = 0) {
    return test::DecodeChecked([targetSide](std::span<const std::uint8_t> d,
                                            TBitmap& picture) { return DecodeJpeg(d, picture, targetSide); },
                               data);
}

class JpegOrientation : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(JpegOrientation, PhotoComesOutUpright) {
    const auto [orientation, bigEndian] = GetParam();
    const TBitmap upright = MakeQuadrants();
    test::TJpegOptions options;
    options.App1 = test::MakeExifOrientation(static_cast<std::uint16_t>(orientation), bigEndian);
    const TBitmap picture = Decode(test::EncodeJpeg(StoredFor(upright, orientation), options));
    ASSERT_EQ(picture.Width(), 32);
    ASSERT_EQ(picture.Height(), 16);
    ExpectQuadrants(picture);
}

INSTANTIATE_TEST_SUITE_P(AllEight, JpegOrientation,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Bool()));

TEST(JpegOrientation, AppliesAtReducedScaleToo) {
    const TBitmap upright = MakeQuadrants(256, 128);
    test::TJpegOptions options;
    options.App1 = test::MakeExifOrientation(6, false);
    const TBitmap picture = Decode(test::EncodeJpeg(StoredFor(upright, 6), options), 64);
    ASSERT_EQ(picture.Width(), 64);
    ASSERT_EQ(picture.Height(), 32);
    ExpectQuadrants(picture);
}

struct TColourCase {
    const char* Name;
    test::TJpegOptions Options;
};
std::ostream& operator<<(std::ostream& os, const TColourCase& c) {
    return os << c.Name;
}

class JpegColourSpaces : public ::testing::TestWithParam<TColourCase> {};

TEST_P(JpegColourSpaces, ConvertToRgb) {
    ExpectQuadrants(Decode(test::EncodeJpeg(MakeQuadrants(), GetParam().Options)));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, JpegColourSpaces,
    ::testing::Values(TColourCase{"YCbCr", {}}, TColourCase{"Progressive", {.Progressive = true}},
                      TColourCase{"AdobeInvertedCmyk", {.Cmyk = true, .Adobe = true}},
                      TColourCase{"PlainCmyk", {.Cmyk = true, .Adobe = false}},
                      TColourCase{"AdobeYcck", {.Cmyk = true, .Ycck = true, .Adobe = true}}),
    test::TCaseName());

TEST(JpegColourSpaces, GreyBecomesEqualChannels) {
    const TBitmap picture = Decode(test::EncodeJpeg(test::MakeGradient(40, 24, false), {.Grey = true}));
    ASSERT_TRUE(picture.IsValid());
    for (TColor pixel : picture.Pixels()) {
        ASSERT_EQ(RedOf(pixel), GreenOf(pixel));
        ASSERT_EQ(GreenOf(pixel), BlueOf(pixel));
        ASSERT_EQ(AlphaOf(pixel), 255);
    }
}

struct TScaleCase {
    std::int32_t Width, Height, Target, Numerator;
};

class JpegScaleChoice : public ::testing::TestWithParam<TScaleCase> {};

TEST_P(JpegScaleChoice, SmallestScaleStillAtLeastTheTarget) {
    const TScaleCase& c = GetParam();
    EXPECT_EQ(ChooseJpegScale(c.Width, c.Height, c.Target), c.Numerator);
}

INSTANTIATE_TEST_SUITE_P(Worked, JpegScaleChoice,
                         ::testing::Values(TScaleCase{3000, 2000, 1024, 3}, // 1125 x 750
                                           TScaleCase{6000, 3400, 1024, 2}, // 1500 x 850
                                           TScaleCase{2000, 6000, 1024,
                                                      2}, // portrait: the longer side counts
                                           TScaleCase{8192, 8192, 1024, 1}, // exactly 1024 at 1/8
                                           TScaleCase{8193, 100, 1024, 1},  // 1025 (rounded up) at 1/8
                                           TScaleCase{8191, 100, 1024, 1},  // 1023.9 rounds up to 1024
                                           TScaleCase{8184, 100, 1024, 2},  // 1023 at 1/8 is too small
                                           TScaleCase{1025, 1025, 1024, 8}, // 7/8 would give 897
                                           TScaleCase{500, 400, 1024, 8},   // smaller than the target
                                           TScaleCase{6000, 3400, 0, 8}));  // no target: full size

TEST(JpegScale, DecodesAtTheChosenScale) {
    const Bytes jpeg = test::EncodeJpeg(MakeQuadrants(800, 600));
    for (const auto& [target, width, height] : std::vector<std::tuple<int, int, int>>{
             {0, 800, 600}, {100, 100, 75}, {101, 200, 150}, {700, 700, 525}, {2000, 800, 600}}) {
        const TBitmap picture = Decode(jpeg, target);
        EXPECT_EQ(picture.Width(), width) << target;
        EXPECT_EQ(picture.Height(), height) << target;
        ExpectQuadrants(picture);
    }
}

// SOF0 starts FF C0, length (2 bytes), precision (1), then height and width (2 bytes each).
Bytes WithFrameSize(Bytes jpeg, std::uint16_t width, std::uint16_t height) {
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no SOF0";
    return jpeg;
}

using test::THostileCase;

const Bytes kSmall = test::EncodeJpeg(MakeQuadrants());

class JpegHostile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(JpegHostile, FailsWithTheRightKind) {
    test::ExpectDecodeFailure(Decoder, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Defects, JpegHostile,
    ::testing::Values(
        THostileCase{"Empty", {}, TFailure::Truncated},
        THostileCase{"NotJpeg", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, TFailure::Corrupt},
        THostileCase{"HeaderOnlySoi", {0xFF, 0xD8}, TFailure::Truncated},
        THostileCase{"CutInTheScan", Bytes(kSmall.begin(), kSmall.begin() + kSmall.size() * 3 / 4),
                     TFailure::Truncated},
        THostileCase{"DecompressionBomb60000Square", WithFrameSize(kSmall, 60000, 60000), TFailure::TooLarge},
        THostileCase{"ZeroWidth", WithFrameSize(kSmall, 0, 16), TFailure::Corrupt}),
    test::TCaseName());

// A file that lacks its end marker, or lost its last byte or two, decodes as the whole file does; a
// file cut inside its only scan, or inside the first scan of a progressive one, still fails.
struct TCutCase {
    const char* Name;
    bool Progressive;
    std::size_t BytesCut; // from the end; in thousandths of the file when above 100
    bool Decodes;
};

class JpegCutShort : public ::testing::TestWithParam<TCutCase> {};

TEST_P(JpegCutShort, DecodesWhatTheWholeScansHold) {
    TBitmap picture = test::MakeGradient(96, 80, false);
    test::TJpegOptions options;
    options.Progressive = GetParam().Progressive;
    const Bytes whole = test::EncodeJpeg(picture, options);
    ASSERT_EQ(whole[whole.size() - 1], 0xD9);
    const std::size_t cut =
        GetParam().BytesCut > 100 ? whole.size() * GetParam().BytesCut / 1000 : GetParam().BytesCut;
    const Bytes data(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(cut));
    TBitmap decoded;
    const TStatus status = DecodeJpeg(data, decoded);
    if (!GetParam().Decodes) {
        EXPECT_EQ(status.Kind(), TFailure::Truncated) << status.Reason();
        EXPECT_FALSE(decoded.IsValid());
        return;
    }
    ASSERT_TRUE(status) << status.Reason();
    TBitmap reference;
    ASSERT_TRUE(DecodeJpeg(whole, reference));
    if (cut <= 2) {
        EXPECT_TRUE(decoded == reference);
    } else {
        EXPECT_EQ(decoded.Width(), reference.Width());
        EXPECT_EQ(decoded.Height(), reference.Height());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, JpegCutShort,
                         ::testing::Values(TCutCase{"BaselineWithoutEndMarker", false, 2, true},
                                           TCutCase{"BaselineCutByOneByte", false, 1, true},
                                           TCutCase{"BaselineCutInTheScan", false, 400, false},
                                           TCutCase{"ProgressiveWithoutEndMarker", true, 2, true},
                                           TCutCase{"ProgressiveCutInALaterScan", true, 250, true},
                                           TCutCase{"ProgressiveCutInTheFirstScan", true, 900, false}),
                         test::TCaseName());

} // namespace
} // namespace gw
