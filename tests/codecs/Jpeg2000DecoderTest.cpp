#include "codecs/Jpeg2000Decoder.h"

#include "codecs/Jpeg2000Codec.h"
#include "codecs/PngCodec.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TJ2kComponent;

constexpr int kWidth = 19, kHeight = 13;

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeJpeg2000(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

// A component of the given precision whose samples step through its whole range.
TJ2kComponent MakeComponent(std::uint32_t precision, bool isSigned, int seed, std::uint32_t dx = 1,
                            std::uint32_t dy = 1) {
    TJ2kComponent component{precision, isSigned, dx, dy, {}};
    const int w = (kWidth + static_cast<int>(dx) - 1) / static_cast<int>(dx);
    const int h = (kHeight + static_cast<int>(dy) - 1) / static_cast<int>(dy);
    const std::int64_t range = std::int64_t{1} << precision;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::int64_t value = (std::int64_t{x} * 97 + y * 61 + seed * 31) * range / 400 % range;
            component.Samples.push_back(static_cast<std::int32_t>(isSigned ? value - range / 2 : value));
        }
    return component;
}

// What one sample becomes in 8 bits: signed samples shifted up by half the range, wider precisions
// shifted down, narrower ones stretched so that the largest value is 255.
std::uint8_t Expected8(const TJ2kComponent& component, int x, int y) {
    const int w = (kWidth + static_cast<int>(component.Dx) - 1) / static_cast<int>(component.Dx);
    std::int64_t value = component.Samples[static_cast<std::size_t>(y / static_cast<int>(component.Dy) * w +
                                                                    x / static_cast<int>(component.Dx))];
    if (component.Signed)
        value += std::int64_t{1} << (component.Precision - 1);
    if (component.Precision > 8)
        return static_cast<std::uint8_t>(value >> (component.Precision - 8));
    const std::int64_t maximum = (std::int64_t{1} << component.Precision) - 1;
    return static_cast<std::uint8_t>((value * 255 + maximum / 2) / maximum);
}

struct TLayoutCase {
    const char* Name;
    std::vector<TJ2kComponent> Components;
    bool AsJp2;
};
std::ostream& operator<<(std::ostream& os, const TLayoutCase& c) {
    return os << c.Name;
}

class Jpeg2000Layouts : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(Jpeg2000Layouts, DecodesToEightBitArgb) {
    const auto& components = GetParam().Components;
    const TBitmap picture = Decode(test::EncodeJpeg2000(kWidth, kHeight, components, GetParam().AsJp2));
    ASSERT_EQ(picture.Width(), kWidth);
    ASSERT_EQ(picture.Height(), kHeight);
    const bool grey = components.size() <= 2;
    const bool alpha = components.size() == 2 || components.size() == 4;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t r = Expected8(components[0], x, y);
            const std::uint8_t g = grey ? r : Expected8(components[1], x, y);
            const std::uint8_t b = grey ? r : Expected8(components[2], x, y);
            const std::uint8_t a = alpha ? Expected8(components.back(), x, y) : 255;
            ASSERT_EQ(picture.Pixel(x, y), MakeColor(a, r, g, b)) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Components, Jpeg2000Layouts,
    ::testing::Values(
        TLayoutCase{"Grey8", {MakeComponent(8, false, 1)}, true},
        TLayoutCase{"GreyAlpha8", {MakeComponent(8, false, 1), MakeComponent(8, false, 2)}, true},
        TLayoutCase{"Rgb8",
                    {MakeComponent(8, false, 1), MakeComponent(8, false, 2), MakeComponent(8, false, 3)},
                    true},
        TLayoutCase{"Rgba8Codestream",
                    {MakeComponent(8, false, 1), MakeComponent(8, false, 2), MakeComponent(8, false, 3),
                     MakeComponent(8, false, 4)},
                    false},
        TLayoutCase{"Grey12", {MakeComponent(12, false, 5)}, true},
        TLayoutCase{"Rgb16",
                    {MakeComponent(16, false, 1), MakeComponent(16, false, 2), MakeComponent(16, false, 3)},
                    true},
        TLayoutCase{"Grey4", {MakeComponent(4, false, 6)}, false},
        TLayoutCase{"Grey1", {MakeComponent(1, false, 6)}, false},
        TLayoutCase{"SignedGrey8", {MakeComponent(8, true, 7)}, false},
        TLayoutCase{"SignedRgb12",
                    {MakeComponent(12, true, 1), MakeComponent(12, true, 2), MakeComponent(12, true, 3)},
                    true},
        // Declared sRGB in the JP2 header: the subsampled components stay red, green and blue.
        TLayoutCase{
            "SubsampledSrgb",
            {MakeComponent(8, false, 1), MakeComponent(8, false, 2, 2, 2), MakeComponent(8, false, 3, 2, 2)},
            true},
        TLayoutCase{
            "SubsampledAlphaOnly", {MakeComponent(8, false, 1), MakeComponent(8, false, 2, 3, 1)}, true}),
    test::TCaseName());

// A bare codestream declares no colour space; with its second and third components subsampled they
// are chroma (as OpenJPEG's own decoder assumes) and the picture is converted from sYCC.
TEST(Jpeg2000Layouts, CodestreamWithSubsampledChromaIsYcc) {
    const auto flat = [](std::int32_t value, std::uint32_t step) {
        const std::size_t samples =
            static_cast<std::size_t>((kWidth + step - 1) / step) * ((kHeight + step - 1) / step);
        return TJ2kComponent{8, false, step, step, std::vector<std::int32_t>(samples, value)};
    };
    const TBitmap subsampled =
        Decode(test::EncodeJpeg2000(kWidth, kHeight, {flat(100, 1), flat(128, 2), flat(178, 2)}, false));
    ASSERT_EQ(subsampled.Width(), kWidth);
    // R = Y + 1.402 (Cr - 128), G = Y - 0.714136 (Cr - 128), B = Y + 1.772 (Cb - 128).
    EXPECT_EQ(subsampled.Pixel(0, 0), MakeColor(255, 170, 64, 100));
    EXPECT_EQ(subsampled.Pixel(kWidth - 1, kHeight - 1), MakeColor(255, 170, 64, 100));
    // The same samples at full resolution are taken as RGB.
    const TBitmap full =
        Decode(test::EncodeJpeg2000(kWidth, kHeight, {flat(100, 1), flat(128, 1), flat(178, 1)}, false));
    EXPECT_EQ(full.Pixel(0, 0), MakeColor(255, 100, 128, 178));
}

// The SIZ segment follows SOC: marker, Lsiz, Rsiz, then Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz (each
// 32 bits, big-endian) at offsets 8 to 31 of a codestream.
Bytes WithSize(Bytes codestream, std::uint32_t width, std::uint32_t height) {
    const auto put = [&codestream](std::size_t offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            codestream[offset + i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
    };
    put(8, width);
    put(12, height);
    put(24, width);
    put(28, height);
    return codestream;
}

using test::THostileCase;

const Bytes kGrey = test::EncodeJpeg2000(kWidth, kHeight, {MakeComponent(8, false, 1)}, false);
const Bytes kRgbFile = test::EncodeJpeg2000(
    kWidth, kHeight, {MakeComponent(8, false, 1), MakeComponent(8, false, 2), MakeComponent(8, false, 3)},
    true);
const Bytes kRgb = test::EncodeJpeg2000(
    kWidth, kHeight, {MakeComponent(8, false, 1), MakeComponent(8, false, 2), MakeComponent(8, false, 3)},
    false);

class Jpeg2000Hostile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(Jpeg2000Hostile, FailsWithTheRightKind) {
    test::ExpectDecodeFailure(Decoder, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Defects, Jpeg2000Hostile,
    ::testing::Values(
        THostileCase{"Empty", {}, TFailure::Corrupt},
        THostileCase{"NotJpeg2000", {0x89, 'P', 'N', 'G', 0, 0, 0, 0}, TFailure::Corrupt},
        THostileCase{"SignatureOnly", {0xFF, 0x4F, 0xFF, 0x51, 0x00}, TFailure::Corrupt},
        THostileCase{"DecompressionBomb60000Square", WithSize(kGrey, 60000, 60000), TFailure::TooLarge},
        // Within the picture limit, but three 32-bit planes of 8000 x 8000 exceed the codec budget.
        THostileCase{"ComponentPlanesTooLarge", WithSize(kRgb, 8000, 8000), TFailure::TooLarge},
        THostileCase{"CutInTileData", Bytes(kRgb.begin(), kRgb.begin() + kRgb.size() / 2),
                     TFailure::Corrupt}),
    test::TCaseName());

struct TReductionCase {
    const char* Name;
    std::int64_t X0, Y0, X1, Y1;
    std::uint32_t Levels;
    std::int32_t Target;
    std::uint32_t Expected;
};
std::ostream& operator<<(std::ostream& os, const TReductionCase& c) {
    return os << c.Name;
}

class Jpeg2000Reduction : public ::testing::TestWithParam<TReductionCase> {};

TEST_P(Jpeg2000Reduction, DropsTheLevelsThatKeepTheTargetSide) {
    const TReductionCase& c = GetParam();
    EXPECT_EQ(ChooseJpeg2000Reduction(c.X0, c.Y0, c.X1, c.Y1, c.Levels, c.Target), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Jpeg2000Reduction,
    ::testing::Values(
        // 8000 / 4 = 2000 still covers 1024, 8000 / 8 = 1000 does not.
        TReductionCase{"Photo8000For1024", 0, 0, 8000, 6000, 6, 1024, 2},
        TReductionCase{"PortraitUsesTheLongerSide", 0, 0, 6000, 8000, 6, 1024, 2},
        TReductionCase{"FullSizeWhenNoTarget", 0, 0, 8000, 6000, 6, 0, 0},
        TReductionCase{"FullSizeWhenSmallerThanTarget", 0, 0, 800, 600, 6, 1024, 0},
        TReductionCase{"ExactlyTheTarget", 0, 0, 4096, 100, 6, 1024, 2},
        // Halving rounds up: 1025 -> 513.
        TReductionCase{"OddSideRoundsUp", 0, 0, 1025, 10, 6, 513, 1},
        // An origin of 1 on the grid: the reduced span is ceil(1025 / 2) - ceil(1 / 2) = 512.
        TReductionCase{"OriginMovesTheGrid", 1, 0, 1025, 10, 6, 513, 0},
        TReductionCase{"NoMoreThanTheLevelsGiven", 0, 0, 60000, 60000, 3, 16, 2},
        TReductionCase{"OneLevelIsNoReduction", 0, 0, 60000, 60000, 1, 16, 0},
        TReductionCase{"ZeroLevelsFromABrokenHeader", 0, 0, 60000, 60000, 0, 16, 0}),
    test::TCaseName());

// Four flat quadrants on a 64 x 48 picture: a reduced decode keeps each colour exactly away from the
// edges between them, and its size is the picture's halved per dropped level.
TEST(Jpeg2000Reduced, DecodesTheLowResolutionPicture) {
    const TColor colours[4] = {MakeColor(255, 200, 30, 40), MakeColor(255, 20, 180, 60),
                               MakeColor(128, 10, 20, 220), MakeColor(255, 250, 250, 250)};
    TBitmap source(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            source.SetPixel(x, y, colours[(y >= 24 ? 2 : 0) + (x >= 32 ? 1 : 0)]);
    Bytes file;
    ASSERT_TRUE(EncodeJpeg2000(source, 1, file));

    TBitmap full, reduced, same;
    ASSERT_TRUE(DecodeJpeg2000(file, full));
    EXPECT_EQ(full, source);
    ASSERT_TRUE(DecodeJpeg2000(file, reduced, 16));
    ASSERT_EQ(reduced.Width(), 16);
    ASSERT_EQ(reduced.Height(), 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            if (std::abs(2 * x + 1 - 16) <= 4 || std::abs(2 * y + 1 - 12) <= 4)
                continue; // next to an edge the low-pass mixes the colours
            EXPECT_EQ(reduced.Pixel(x, y), colours[(y >= 6 ? 2 : 0) + (x >= 8 ? 1 : 0)]) << x << "," << y;
        }
    // A target above the picture's own size decodes it whole.
    ASSERT_TRUE(DecodeJpeg2000(file, same, 100));
    EXPECT_EQ(same, source);
}

TEST(Jpeg2000Reduced, DropsNoMoreLevelsThanTheCodestreamHas) {
    // The test encoder writes two resolution levels: one halving at most.
    TBitmap picture;
    ASSERT_TRUE(DecodeJpeg2000(kRgbFile, picture, 2));
    EXPECT_EQ(picture.Width(), (kWidth + 1) / 2);
    EXPECT_EQ(picture.Height(), (kHeight + 1) / 2);
}

TEST(Jpeg2000Corpus, LosslessTestCardMatchesItsPng) {
    GW_REQUIRE_TESTDATA(data);
    TBitmap expected, picture;
    ASSERT_TRUE(DecodePng(test::ReadFileBytes(data / "jpeg2000" / "pillow" / "test-card.png"), expected));
    ASSERT_TRUE(DecodeJpeg2000(test::ReadFileBytes(data / "jpeg2000" / "pillow" / "test-card-lossless.jp2"),
                               picture));
    ASSERT_EQ(picture.Width(), 640);
    ASSERT_EQ(picture.Height(), 480);
    for (std::size_t i = 0; i < picture.Pixels().size(); ++i) {
        const TColor a = picture.Pixels()[i], b = expected.Pixels()[i];
        ASSERT_LE(std::abs(RedOf(a) - RedOf(b)), 1) << i;
        ASSERT_LE(std::abs(GreenOf(a) - GreenOf(b)), 1) << i;
        ASSERT_LE(std::abs(BlueOf(a) - BlueOf(b)), 1) << i;
        ASSERT_EQ(AlphaOf(a), 255);
    }
}

TEST(Jpeg2000Corpus, FileAndCodestreamOfOnePictureAgree) {
    GW_REQUIRE_TESTDATA(data);
    for (const char* stem : {"rgb_trns_ycbc", "16bit.cropped"}) {
        TBitmap file, codestream;
        const auto folder = data / "jpeg2000" / "pillow";
        ASSERT_TRUE(DecodeJpeg2000(test::ReadFileBytes(folder / (std::string(stem) + ".jp2")), file));
        ASSERT_TRUE(DecodeJpeg2000(test::ReadFileBytes(folder / (std::string(stem) + ".j2k")), codestream));
        EXPECT_EQ(file, codestream) << stem;
    }
}

TEST(Jpeg2000Corpus, KnownPixels) {
    GW_REQUIRE_TESTDATA(data);
    const auto folder = data / "jpeg2000" / "pillow";
    TBitmap tiles;
    ASSERT_TRUE(DecodeJpeg2000(test::ReadFileBytes(folder / "issue_6194.j2k"), tiles));
    EXPECT_EQ(tiles.Width(), 8);
    // 16-bit sample 31 at (5, 5) is 0 in 8 bits; the alpha picture has transparent pixels.
    EXPECT_EQ(tiles.Pixel(5, 5), 0xFF000000u);
    TBitmap withAlpha;
    ASSERT_TRUE(DecodeJpeg2000(test::ReadFileBytes(folder / "rgb_trns_ycbc.jp2"), withAlpha));
    EXPECT_TRUE(std::any_of(withAlpha.Pixels().begin(), withAlpha.Pixels().end(),
                            [](TColor c) { return AlphaOf(c) == 0; }));
}

TEST(Jpeg2000Corpus, EveryFileDecodesOrFailsCleanly) {
    GW_REQUIRE_TESTDATA(data);
    int decoded = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data / "jpeg2000")) {
        if (!entry.is_regular_file() || entry.path().extension() == ".png")
            continue;
        TBitmap picture;
        const TStatus status = DecodeJpeg2000(test::ReadFileBytes(entry.path()), picture);
        EXPECT_EQ(status.IsOk(), picture.IsValid()) << entry.path();
        if (entry.path().parent_path().filename() != "bad") {
            EXPECT_TRUE(status) << entry.path() << ": " << status.Reason();
            ++decoded;
        }
    }
    EXPECT_EQ(decoded, 11);
}

} // namespace
} // namespace gw
