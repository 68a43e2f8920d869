#include "codecs/GifDecoder.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<TColor> kPalette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeGif(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

test::TGifFrame MakeFrame(int left, int top, int width, int height, bool interlaced = false) {
    test::TGifFrame frame{left, top, width, height, interlaced, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.Indices.push_back(static_cast<std::uint8_t>((x + 2 * y) % 5));
    return frame;
}

TColor FrameColour(int x, int y) {
    return kPalette[static_cast<std::size_t>((x + 2 * y) % 5)];
}

TEST(GifDecoder, FullFrameDecodesEveryIndex) {
    const TBitmap picture = Decode(test::EncodeGif(13, 11, kPalette, -1, MakeFrame(0, 0, 13, 11)));
    ASSERT_EQ(picture.Width(), 13);
    ASSERT_EQ(picture.Height(), 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(picture.Pixel(x, y), FrameColour(x, y)) << x << "," << y;
}

TEST(GifDecoder, TransparentIndexBecomesTransparent) {
    const TBitmap picture = Decode(test::EncodeGif(13, 11, kPalette, 1, MakeFrame(0, 0, 13, 11)));
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(picture.Pixel(x, y), FrameColour(x, y) == kPalette[1] ? 0u : FrameColour(x, y));
}

// Interlaced frames arrive in four passes; every height exercises a different mix of passes.
class GifInterlaced : public ::testing::TestWithParam<int> {};

TEST_P(GifInterlaced, RowsLandInOrder) {
    const int height = GetParam();
    const TBitmap picture =
        Decode(test::EncodeGif(7, height, kPalette, -1, MakeFrame(0, 0, 7, height, true)));
    ASSERT_EQ(picture.Height(), height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(picture.Pixel(x, y), FrameColour(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Heights, GifInterlaced, ::testing::Values(1, 2, 3, 4, 5, 8, 9, 17, 33));

TEST(GifDecoder, FrameIsPlacedOnTheScreenAndClipped) {
    // A 6 x 4 frame at (8, 7) on a 10 x 9 screen: 2 x 2 of it is visible, the rest is clipped; the
    // uncovered screen is transparent.
    const TBitmap picture = Decode(test::EncodeGif(10, 9, kPalette, -1, MakeFrame(8, 7, 6, 4)));
    ASSERT_EQ(picture.Width(), 10);
    ASSERT_EQ(picture.Height(), 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(picture.Pixel(x, y), (x >= 8 && y >= 7) ? FrameColour(x - 8, y - 7) : 0u)
                << x << "," << y;
}

// A GIF89a header written byte by byte: logical screen, optional global table of two colours, an
// image descriptor, then LZW data for a few pixels.
Bytes HandMadeGif(std::uint16_t screenWidth, std::uint16_t screenHeight, std::uint16_t frameWidth,
                  std::uint16_t frameHeight, bool withTable = true, bool withData = true) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    const auto u16 = [&out](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    u16(screenWidth);
    u16(screenHeight);
    out.insert(out.end(), {static_cast<std::uint8_t>(withTable ? 0x80 : 0x00), 0, 0});
    if (withTable)
        out.insert(out.end(), {0, 0, 0, 255, 255, 255});
    out.push_back(0x2C);
    u16(0);
    u16(0);
    u16(frameWidth);
    u16(frameHeight);
    out.push_back(0);
    if (withData)
        out.insert(out.end(), {2, 2, 0x4C, 0x01, 0x00, 0x3B}); // min code size 2, one block, a few codes
    return out;
}

using test::THostileCase;

class GifHostile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(GifHostile, FailsWithTheRightKind) {
    test::ExpectDecodeFailure(Decoder, GetParam());
}

const Bytes kValid = test::EncodeGif(13, 11, kPalette, -1, MakeFrame(0, 0, 13, 11));

INSTANTIATE_TEST_SUITE_P(
    Defects, GifHostile,
    ::testing::Values(
        THostileCase{"Empty", {}, TFailure::Truncated},
        THostileCase{"NotGif", {'X', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, TFailure::Corrupt},
        THostileCase{"ScreenBomb60000Square", HandMadeGif(60000, 60000, 1, 1), TFailure::TooLarge},
        THostileCase{"FrameBomb65535Square", HandMadeGif(10, 10, 65535, 65535), TFailure::TooLarge},
        THostileCase{"ZeroWidthScreen", HandMadeGif(0, 10, 1, 1), TFailure::Corrupt},
        THostileCase{"ZeroHeightFrame", HandMadeGif(10, 10, 4, 0), TFailure::Corrupt},
        THostileCase{"NoColourTable", HandMadeGif(10, 10, 2, 2, false), TFailure::Corrupt},
        THostileCase{"NoFrame", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, TFailure::Corrupt},
        THostileCase{"CutInFrameData", Bytes(kValid.begin(), kValid.end() - 12), TFailure::Truncated},
        THostileCase{"CutInDescriptor", HandMadeGif(10, 10, 2, 2, true, false), TFailure::Truncated}),
    test::TCaseName());

// Corpus: every valid file decodes at its screen size and agrees with Pillow's first frame wherever
// both are opaque; the bad/ files fail cleanly.
TEST(GifCorpus, DecodesAndAgreesWithPillow) {
    GW_REQUIRE_TESTDATA(data);
    int count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data / "gif")) {
        if (!entry.is_regular_file() || entry.path().parent_path().filename() == "bad")
            continue;
        SCOPED_TRACE(entry.path().string());
        TBitmap picture;
        const TStatus status = DecodeGif(test::ReadFileBytes(entry.path()), picture);
        ASSERT_TRUE(status) << status.Reason();
        ++count;
        const auto reference = test::DecodeWithPillow(entry.path());
        // Pillow widens the canvas to frames that reach beyond the logical screen; we clip them.
        const std::string name = entry.path().filename().string();
        if (!reference || name == "oob.gif" || name == "issue_1455_oversized.gif")
            continue;
        ASSERT_EQ(picture.Width(), reference->Width());
        ASSERT_EQ(picture.Height(), reference->Height());
        for (std::size_t i = 0; i < picture.Pixels().size(); ++i) {
            const TColor a = picture.Pixels()[i], b = reference->Pixels()[i];
            if (AlphaOf(a) == 255 && AlphaOf(b) == 255) {
                ASSERT_EQ(a, b) << i;
            }
        }
    }
    EXPECT_EQ(count, 25);
}

TEST(GifCorpus, BadFilesFail) {
    GW_REQUIRE_TESTDATA(data);
    for (const auto& entry : std::filesystem::directory_iterator(data / "gif" / "pillow" / "bad")) {
        TBitmap picture;
        EXPECT_FALSE(DecodeGif(test::ReadFileBytes(entry.path()), picture)) << entry.path();
        EXPECT_FALSE(picture.IsValid());
    }
}

TEST(GifCorpus, FirstFrameTransparencyIsKept) {
    GW_REQUIRE_TESTDATA(data);
    TBitmap picture;
    ASSERT_TRUE(
        DecodeGif(test::ReadFileBytes(data / "gif" / "pillow" / "first_frame_transparency.gif"), picture));
    EXPECT_EQ(picture.Pixel(0, 0), 0u);
}

} // namespace
} // namespace gw
