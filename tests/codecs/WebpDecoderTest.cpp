#include "codecs/WebpDecoder.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeWebp(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

// Pictures made by cwebp (and img2webp for animations) from PNG files of ours, in a temporary folder.
class WebpFiles : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"cwebp", "dwebp"})
            if (!test::HaveTool(tool))
                GTEST_SKIP() << tool << " not installed";
    }
    std::filesystem::path WritePng(const std::string& name, const TBitmap& picture) const {
        const auto path = FDir / name;
        test::WriteFileBytes(path, test::EncodePng(picture));
        return path;
    }
    Bytes Encode(const TBitmap& picture, const std::string& options) const {
        const auto png = WritePng("in.png", picture);
        const auto webp = FDir / "out.webp";
        EXPECT_EQ(test::RunCommand("cwebp -quiet " + options + " " + test::ShellQuote(png) + " -o " +
                                   test::ShellQuote(webp)),
                  0);
        return test::ReadFileBytes(webp);
    }
    // What dwebp makes of the same file.
    std::optional<TBitmap> Reference(const Bytes& webp) const {
        test::WriteFileBytes(FDir / "ref.webp", webp);
        return test::PictureFromTool("dwebp -quiet " + test::ShellQuote(FDir / "ref.webp") + " -o " +
                                         test::ShellQuote(FDir / "ref.png"),
                                     FDir / "ref.png");
    }
    test::TTempDir FDir;
};

TEST_F(WebpFiles, LosslessWithAlphaIsExact) {
    const TBitmap source = test::MakeGradient(47, 33, true);
    // -exact keeps the colour of fully transparent pixels.
    EXPECT_EQ(Decode(Encode(source, "-lossless -exact")), source);
}

TEST_F(WebpFiles, LossyPixelsEqualDwebp) {
    for (const bool alpha : {false, true}) {
        const Bytes webp = Encode(test::MakeGradient(47, 33, alpha), "-q 70");
        const auto expected = Reference(webp);
        ASSERT_TRUE(expected);
        EXPECT_EQ(Decode(webp), *expected) << alpha;
    }
}

TEST_F(WebpFiles, AnimationGivesItsFirstFrame) {
    if (!test::HaveTool("img2webp"))
        GTEST_SKIP() << "img2webp not installed";
    const TBitmap first = test::MakeGradient(20, 12, false);
    const auto one = WritePng("one.png", first);
    const auto two = WritePng("two.png", test::MakeSolid(20, 12, MakeColor(255, 0, 255, 0)));
    ASSERT_EQ(test::RunCommand("img2webp -lossless " + test::ShellQuote(one) + " " + test::ShellQuote(two) +
                               " -o " + test::ShellQuote(FDir / "anim.webp") + " >/dev/null 2>&1"),
              0);
    EXPECT_EQ(Decode(test::ReadFileBytes(FDir / "anim.webp")), first);
}

TEST_F(WebpFiles, HostileFilesFailWithTheirReason) {
    const Bytes good = Encode(test::MakeGradient(47, 33, true), "-q 70");
    Bytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    // A lossless file whose header (14-bit width and height minus one after the signature byte 0x2F)
    // says 16384 x 16384: 268 million pixels, four times the limit.
    Bytes lyingSize = Encode(test::MakeGradient(47, 33, true), "-lossless");
    ASSERT_EQ(std::string(lyingSize.begin() + 12, lyingSize.begin() + 16), "VP8L");
    const std::uint32_t header = 16383u | 16383u << 14 | 1u << 28;
    for (int i = 0; i < 4; ++i)
        lyingSize[21 + i] = static_cast<std::uint8_t>(header >> (8 * i));
    Bytes brokenData = good;
    for (std::size_t i = good.size() - 40; i < good.size(); ++i)
        brokenData[i] ^= 0x5A;
    for (const test::THostileCase& hostile : {
             test::THostileCase{"Truncated", truncated, TFailure::Truncated},
             test::THostileCase{"LyingSize", lyingSize, TFailure::TooLarge},
             test::THostileCase{"HeaderOnly", Bytes(good.begin(), good.begin() + 12), TFailure::Truncated},
             test::THostileCase{"NotWebp", test::EncodePng(test::MakeGradient(4, 4, false)),
                                TFailure::Corrupt},
         }) {
        SCOPED_TRACE(hostile.Name);
        test::ExpectDecodeFailure(Decoder, hostile);
    }
    // Scrambled picture data either fails or gives a picture of the header's size; it never crashes.
    TStatus status;
    const TBitmap scrambled = Decode(brokenData, &status);
    EXPECT_TRUE(!status || scrambled.Width() == 47);
}

} // namespace
} // namespace gw
