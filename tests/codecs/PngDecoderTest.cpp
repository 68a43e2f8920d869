#include "codecs/PngCodec.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const auto Decoder = [](std::span<const std::uint8_t> data, TBitmap& picture) {
    return DecodePng(data, picture);
};

TBitmap Decode(const Bytes& data, TStatus* status = nullptr) {
    return test::DecodeChecked(Decoder, data, status);
}

TEST(PngDecoder, RoundTripKeepsEveryPixelAndAlpha) {
    const TBitmap source = test::MakeGradient(47, 33, true);
    EXPECT_EQ(Decode(test::EncodePng(source)), source);
}

using test::THostileCase;

const Bytes kValid = test::EncodePng(test::MakeGradient(47, 33, true));

Bytes CorruptIdat(Bytes png) {
    // The first IDAT's data starts 8 bytes after its length field; flipping bytes there breaks the
    // zlib stream (and the chunk CRC).
    for (std::size_t i = 8; i + 8 < png.size(); ++i) {
        if (png[i + 4] == 'I' && png[i + 5] == 'D' && png[i + 6] == 'A' && png[i + 7] == 'T') {
            for (std::size_t j = i + 10; j < i + 30 && j < png.size(); ++j)
                png[j] ^= 0x5A;
            return png;
        }
    }
    return png;
}

class PngHostile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(PngHostile, FailsWithTheRightKind) {
    test::ExpectDecodeFailure(Decoder, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Defects, PngHostile,
    ::testing::Values(
        THostileCase{"Empty", {}, TFailure::Corrupt},
        THostileCase{"SignatureOnly", Bytes(kValid.begin(), kValid.begin() + 8), TFailure::Truncated},
        THostileCase{"CutInImageData", Bytes(kValid.begin(), kValid.begin() + kValid.size() / 2),
                     TFailure::Truncated},
        THostileCase{"CorruptImageData", CorruptIdat(kValid), TFailure::Corrupt},
        THostileCase{"DecompressionBomb60000Square", test::MakePngHeaderOnly(60000, 60000),
                     TFailure::TooLarge},
        THostileCase{"SideBeyondLimit", test::MakePngHeaderOnly(100000, 1), TFailure::TooLarge},
        THostileCase{"SideBeyondPngLimit", test::MakePngHeaderOnly(0x80000000u, 1), TFailure::TooLarge},
        THostileCase{"ZeroWidth", test::MakePngHeaderOnly(0, 10), TFailure::Corrupt},
        THostileCase{"BadBitDepth", test::MakePngHeaderOnly(4, 4, 7, 6), TFailure::Corrupt}),
    test::TCaseName());

// PngSuite: every valid file decodes at its size, every x* file fails.
TEST(PngSuite, ValidFilesDecodeCorruptFilesFail) {
    GW_REQUIRE_TESTDATA(data);
    int decoded = 0, failed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data / "pngsuite")) {
        if (entry.path().extension() != ".png")
            continue;
        TBitmap picture;
        const TStatus status = DecodePng(test::ReadFileBytes(entry.path()), picture);
        const bool corrupt = entry.path().filename().string().starts_with("x");
        EXPECT_EQ(status.IsOk(), !corrupt) << entry.path() << ": " << status.Reason();
        EXPECT_EQ(picture.IsValid(), status.IsOk());
        (status ? decoded : failed)++;
    }
    EXPECT_EQ(failed, 14);
    EXPECT_GE(decoded, 160);
}

// The size groups s01..s40 are as large as their names say.
TEST(PngSuite, SizesMatchTheirNames) {
    GW_REQUIRE_TESTDATA(data);
    for (const auto& [name, side] : std::vector<std::pair<std::string, int>>{{"s01n3p01.png", 1},
                                                                             {"s04i3p01.png", 4},
                                                                             {"s05n3p02.png", 5},
                                                                             {"s09i3p02.png", 9},
                                                                             {"s32n3p04.png", 32},
                                                                             {"s33i3p04.png", 33},
                                                                             {"s40n3p04.png", 40}}) {
        TBitmap picture;
        ASSERT_TRUE(DecodePng(test::ReadFileBytes(data / "pngsuite" / name), picture)) << name;
        EXPECT_EQ(picture.Width(), side);
        EXPECT_EQ(picture.Height(), side);
    }
}

// Pillow as an independent decoder. Pillow clips 16-bit grey to 8 bits instead of scaling, so those
// files are left out; 16-bit colour differs by at most 1 (we round, Pillow truncates). The files that
// still differ are Pillow's: it compares a low-bit-depth grey tRNS value with samples already scaled
// to 8 bits, so the transparent grey stays opaque.
TEST(PngSuite, AgreesWithPillow) {
    GW_REQUIRE_TESTDATA(data);
    if (!test::HavePillow())
        GTEST_SKIP() << "Pillow not installed";
    const auto differs = [](const TBitmap& ours, const TBitmap& theirs) {
        if (ours.Width() != theirs.Width() || ours.Height() != theirs.Height())
            return true;
        for (std::size_t i = 0; i < ours.Pixels().size(); ++i) {
            const TColor a = ours.Pixels()[i], b = theirs.Pixels()[i];
            if (std::abs(AlphaOf(a) - AlphaOf(b)) > 1)
                return true;
            if (AlphaOf(a) != 0 &&
                (std::abs(RedOf(a) - RedOf(b)) > 1 || std::abs(GreenOf(a) - GreenOf(b)) > 1 ||
                 std::abs(BlueOf(a) - BlueOf(b)) > 1))
                return true;
        }
        return false;
    };
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(data / "pngsuite")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && !name.starts_with("x") &&
            name.find("0g16") == std::string::npos && name.find("4a16") == std::string::npos)
            files.push_back(entry.path());
    }
    const auto references = test::DecodeWithPillow(files);
    std::set<std::string> different;
    int compared = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!references[i])
            continue;
        TBitmap picture;
        ASSERT_TRUE(DecodePng(test::ReadFileBytes(files[i]), picture)) << files[i];
        if (differs(picture, *references[i]))
            different.insert(files[i].filename().string());
        ++compared;
    }
    EXPECT_GT(compared, 140);
    EXPECT_EQ(different, (std::set<std::string>{"tbbn0g04.png"}));
}

} // namespace
} // namespace gw
