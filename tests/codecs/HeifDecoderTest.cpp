#include "codecs/HeifDecoder.h"

#include "codecs/DecodeSupport.h"

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

// Asked for a smaller picture, the decoder keeps only the reduced one: the whole decode reduced by
// the same factor, pixel for pixel, and the full size reported.
TEST_P(HeifFiles, ReducedDecodeIsTheWholePictureReduced) {
    const Bytes heif = Encode(test::MakeGradient(130, 70, true));
    ASSERT_FALSE(heif.empty());
    TBitmap expected = Decode(heif);
    ASSERT_TRUE(ReduceWholePicture(expected, 40, nullptr));
    ASSERT_EQ(expected.Width(), 44); // 130 / 3, the last block two columns wide
    TBitmap reduced;
    TGPSize source{};
    ASSERT_TRUE(DecodeHeif(heif, reduced, 40, &source));
    EXPECT_EQ(source.Width, 130);
    EXPECT_EQ(source.Height, 70);
    ASSERT_EQ(reduced.Height(), expected.Height());
    EXPECT_EQ(test::MaxChannelDifference(reduced, expected), 0);
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

std::uint32_t GetU32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 |
           b[at + 3];
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// The offset of the first child box of type inside [begin, end), or 0.
std::size_t FindBox(const Bytes& b, std::size_t begin, std::size_t end, const char* type) {
    for (std::size_t at = begin; at + 8 <= end; at += GetU32(b, at)) {
        if (std::string(b.begin() + at + 4, b.begin() + at + 8) == type)
            return at;
        if (GetU32(b, at) < 8)
            break;
    }
    return 0;
}

// A file of one image with an irot property (turned by angle x 90 degrees anticlockwise) added to the
// image's properties, box by box: the property at the end of ipco, its association in ipma, the sizes
// of the boxes around them, and the image data offsets of iloc moved by the bytes inserted.
Bytes AddRotation(Bytes b, std::uint8_t angle) {
    const std::size_t meta = FindBox(b, 0, b.size(), "meta");
    const std::size_t metaEnd = meta + GetU32(b, meta);
    const std::size_t iprp = FindBox(b, meta + 12, metaEnd, "iprp");
    const std::size_t iloc = FindBox(b, meta + 12, metaEnd, "iloc");
    const std::size_t ipco = FindBox(b, iprp + 8, iprp + GetU32(b, iprp), "ipco");
    const std::size_t ipma = FindBox(b, iprp + 8, iprp + GetU32(b, iprp), "ipma");
    EXPECT_TRUE(meta && iprp && iloc && ipco && ipma);
    constexpr std::uint32_t kInserted = 10; // the 9-byte irot box and one association byte
    // iloc (version 0 or 1): every extent offset moves, the data lying behind the meta box.
    const std::uint8_t version = b[iloc + 8];
    const int offsetSize = b[iloc + 12] >> 4, lengthSize = b[iloc + 12] & 15, baseSize = b[iloc + 13] >> 4;
    EXPECT_TRUE(version <= 1 && offsetSize == 4 && (baseSize == 0 || baseSize == 4));
    std::size_t at = iloc + 14;
    const int items = b[at] << 8 | b[at + 1];
    at += 2;
    for (int item = 0; item < items; ++item) {
        at += 2;
        // Only data in the file moves; a construction method of 1 or 2 points into idat or other items.
        const bool inFile = version == 0 || (b[at + 1] & 15) == 0;
        at += (version == 1 ? 2 : 0) + 2;
        if (inFile && baseSize == 4) // the base offset moves, the extents are relative to it
            PutU32(b, at, GetU32(b, at) + kInserted);
        at += baseSize;
        const int extents = b[at] << 8 | b[at + 1];
        at += 2;
        for (int e = 0; e < extents; ++e, at += offsetSize + lengthSize)
            if (inFile && baseSize == 0)
                PutU32(b, at, GetU32(b, at) + kInserted);
    }
    // ipma: one more association (essential) for the primary item (pitm), by the new property's index.
    const std::size_t pitm = FindBox(b, meta + 12, metaEnd, "pitm");
    const int primary = b[pitm + 12] << 8 | b[pitm + 13];
    std::uint8_t properties = 0;
    for (std::size_t p = ipco + 8; p < ipco + GetU32(b, ipco); p += GetU32(b, p))
        ++properties;
    EXPECT_EQ(b[ipma + 11] & 1, 0); // 7-bit property indices
    std::size_t entry = ipma + 16;
    while (entry + 3 < b.size() && (b[entry] << 8 | b[entry + 1]) != primary)
        entry += 3 + b[entry + 2];
    const std::size_t count = entry + 2;
    const std::size_t insertAt = count + 1 + b[count];
    b[count] = static_cast<std::uint8_t>(b[count] + 1);
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(insertAt),
             static_cast<std::uint8_t>(0x80 | (properties + 1)));
    PutU32(b, ipma, GetU32(b, ipma) + 1);
    // irot at the end of ipco (before ipma when ipco comes first).
    const Bytes irot{0, 0, 0, 9, 'i', 'r', 'o', 't', angle};
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(ipco + GetU32(b, ipco)), irot.begin(), irot.end());
    PutU32(b, ipco, GetU32(b, ipco) + 9);
    PutU32(b, iprp, GetU32(b, iprp) + kInserted);
    PutU32(b, meta, GetU32(b, meta) + kInserted);
    return b;
}

// heif-enc stores a picture this small as a grid image of one coded tile, cropped: the primary image is
// then a grid, assembled and turned.
TEST(HeifDecoder, RotationIsApplied) {
    for (const char* tool : {"heif-enc", "heif-convert"})
        if (!test::HaveTool(tool))
            GTEST_SKIP() << tool << " not installed";
    const test::TTempDir dir;
    test::WriteFileBytes(dir / "in.png", test::EncodePng(test::MakeGradient(48, 32, false)));
    ASSERT_EQ(test::RunCommand("heif-enc --no-alpha -q 90 -o " + test::ShellQuote(dir / "in.heic") + " " +
                               test::ShellQuote(dir / "in.png") + " >/dev/null 2>&1"),
              0);
    const Bytes upright = test::ReadFileBytes(dir / "in.heic");
    const Bytes turned = AddRotation(upright, 1);
    test::WriteFileBytes(dir / "turned.heic", turned);
    const auto expected = test::PictureFromTool("heif-convert " + test::ShellQuote(dir / "turned.heic") +
                                                    " " + test::ShellQuote(dir / "ref.png") + " >/dev/null",
                                                dir / "ref.png");
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->Width(), 32); // heif-convert turned it too
    const TBitmap decoded = Decode(turned);
    EXPECT_EQ(decoded.Width(), 32);
    EXPECT_EQ(decoded.Height(), 48);
    EXPECT_LE(test::MaxChannelDifference(decoded, *expected), 1);
    // Anticlockwise: the top row of the upright picture becomes the left column, read upwards.
    const TBitmap plain = Decode(upright);
    EXPECT_LE(std::abs(int(RedOf(decoded.Pixel(0, 47))) - int(RedOf(plain.Pixel(0, 0)))), 2);
    EXPECT_LE(std::abs(int(RedOf(decoded.Pixel(0, 0))) - int(RedOf(plain.Pixel(47, 0)))), 2);
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
