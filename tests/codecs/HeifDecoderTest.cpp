#include "codecs/HeifDecoder.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodeHeif(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

struct TEncoder {
    const char* Name;
    const char* Tool;
    const char* Command; // %IN% and %OUT% stand for the files
};

std::ostream& operator<<(std::ostream& os, const TEncoder& e) {
    return os << e.Name;
}

// HEIC through x265 and AVIF through aom, each compared with heif-convert's picture of the same file.
class HeifFiles : public ::testing::TestWithParam<TEncoder> {
protected:
    void SetUp() override {
        for (const char* tool : {GetParam().Tool, "heif-convert"})
            if (!test::HaveTool(tool))
                GTEST_SKIP() << tool << " not installed";
    }
    Bytes Encode(const TBitmap& picture) const {
        test::WriteFileBytes(FDir / "in.png", test::EncodePng(picture));
        std::string command = GetParam().Command;
        command.replace(command.find("%IN%"), 4, test::ShellQuote(FDir / "in.png"));
        command.replace(command.find("%OUT%"), 5, test::ShellQuote(FDir / "out.heif"));
        EXPECT_EQ(test::RunCommand(command + " >/dev/null 2>&1"), 0) << command;
        return test::ReadFileBytes(FDir / "out.heif");
    }
    std::optional<TBitmap> Reference(const Bytes& heif) const {
        test::WriteFileBytes(FDir / "ref.heif", heif);
        return test::PictureFromTool("heif-convert " + test::ShellQuote(FDir / "ref.heif") + " " +
                                         test::ShellQuote(FDir / "ref.png") + " >/dev/null",
                                     FDir / "ref.png");
    }
    test::TTempDir FDir;
};

TEST_P(HeifFiles, PixelsEqualHeifConvert) {
    for (const bool alpha : {false, true}) {
        const Bytes heif = Encode(test::MakeGradient(48, 32, alpha));
        ASSERT_FALSE(heif.empty());
        const auto expected = Reference(heif);
        ASSERT_TRUE(expected);
        const TBitmap decoded = Decode(heif);
        ASSERT_EQ(decoded.Width(), 48);
        // heif-convert writes the colour of fully transparent pixels, which ours leaves as it decodes.
        EXPECT_LE(test::MaxChannelDifference(decoded, *expected), 1) << alpha;
    }
}

TEST_P(HeifFiles, HostileFilesFailWithTheirReason) {
    const Bytes good = Encode(test::MakeGradient(48, 32, true));
    ASSERT_FALSE(good.empty());
    // The image spatial extent property of every image says 70000 x 70000.
    Bytes lyingSize = good;
    int patched = 0;
    for (std::size_t i = 0; i + 16 <= lyingSize.size(); ++i) {
        if (std::string(lyingSize.begin() + i, lyingSize.begin() + i + 4) != "ispe")
            continue;
        for (const std::size_t at : {i + 8, i + 12}) {
            lyingSize[at] = 0;
            lyingSize[at + 1] = 0x01;
            lyingSize[at + 2] = 0x11;
            lyingSize[at + 3] = 0x70;
        }
        ++patched;
    }
    ASSERT_GT(patched, 0);
    for (const test::THostileCase& hostile : {
             test::THostileCase{"Truncated", Bytes(good.begin(), good.begin() + good.size() / 2),
                                TFailure::Truncated},
             test::THostileCase{"LyingSize", lyingSize, TFailure::TooLarge},
             test::THostileCase{"FileTypeBoxOnly", Bytes(good.begin(), good.begin() + 24),
                                TFailure::Truncated},
         }) {
        SCOPED_TRACE(hostile.Name);
        TStatus status;
        EXPECT_FALSE(Decode(hostile.Data, &status).IsValid());
        EXPECT_FALSE(status);
        if (hostile.Expected == TFailure::TooLarge) {
            EXPECT_EQ(status.Kind(), TFailure::TooLarge) << status.Reason();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, HeifFiles,
                         ::testing::Values(TEncoder{"Heic", "heif-enc", "heif-enc -q 90 -o %OUT% %IN%"},
                                           TEncoder{"Avif", "avifenc", "avifenc -s 10 %IN% %OUT%"}),
                         test::TCaseName{});

TEST(HeifDecoder, TenBitsAreReducedToEight) {
    if (!test::HaveTool("avifenc"))
        GTEST_SKIP() << "avifenc not installed";
    const test::TTempDir dir;
    const TBitmap source = test::MakeGradient(48, 32, false);
    test::WriteFileBytes(dir / "in.png", test::EncodePng(source));
    ASSERT_EQ(test::RunCommand("avifenc -l -d 10 " + test::ShellQuote(dir / "in.png") + " " +
                               test::ShellQuote(dir / "ten.avif") + " >/dev/null 2>&1"),
              0);
    const TBitmap decoded = Decode(test::ReadFileBytes(dir / "ten.avif"));
    // Lossless at 10 bits: every 8-bit value comes back within rounding.
    EXPECT_LE(test::MaxChannelDifference(decoded, source), 1);
}

TEST(HeifDecoder, NotHeifIsRefused) {
    TStatus status;
    EXPECT_FALSE(Decode(test::EncodePng(test::MakeGradient(4, 4, false)), &status).IsValid());
    EXPECT_FALSE(status);
}

} // namespace
} // namespace gw
