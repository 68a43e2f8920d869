#include "codecs/Jpeg2000Codec.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Encode(const TBitmap& picture, std::int32_t threads = 1) {
    TBytes out;
    const TStatus status = EncodeJpeg2000(picture, threads, out);
    EXPECT_TRUE(status.IsOk()) << status.Reason();
    return out;
}

class Jpeg2000RoundTripTest : public ::testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

// Lossless: every pixel comes back, alpha included, also for odd sizes and sides below the 32
// pixels the default six resolution levels need.
TEST_P(Jpeg2000RoundTripTest, IsLossless) {
    const auto [width, height] = GetParam();
    const TBitmap picture = test::MakeGradient(width, height, true);
    const TBytes data = Encode(picture);
    TBitmap decoded;
    ASSERT_TRUE(DecodeJpeg2000Data(data, decoded));
    EXPECT_EQ(decoded, picture);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(ReadJpeg2000Size(data, w, h));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Jpeg2000RoundTripTest,
                         ::testing::Values(std::pair{47, 33}, std::pair{256, 256}, std::pair{1, 1},
                                           std::pair{16, 5}));

TEST(Jpeg2000EncodeTest, WritesAJp2FileWithAnAlphaChannelDefinition) {
    const TBytes data = Encode(test::MakeGradient(16, 16, true));
    const TBytes signature = {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    ASSERT_GE(data.size(), signature.size());
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), data.begin()));
    const std::string text(data.begin(), data.end());
    EXPECT_NE(text.find("ftypjp2 "), std::string::npos);
    // The colr box: enumerated method (1), sRGB (16); the channel definition box marks alpha.
    const auto colr = text.find("colr");
    ASSERT_NE(colr, std::string::npos);
    EXPECT_EQ(data[colr + 4], 1);
    EXPECT_EQ(data[colr + 10], 16);
    EXPECT_NE(text.find("cdef"), std::string::npos);
}

TEST(Jpeg2000EncodeTest, BytesDoNotDependOnTheThreadCount) {
    const TBitmap picture = test::MakeGradient(512, 512, true);
    const TBytes single = Encode(picture, 1);
    EXPECT_EQ(Encode(picture, 2), single);
    EXPECT_EQ(Encode(picture, 4), single);
}

TEST(Jpeg2000EncodeTest, RefusesAnEmptyBitmap) {
    TBytes out = {1, 2, 3};
    EXPECT_EQ(EncodeJpeg2000(TBitmap(), 1, out).Kind(), TFailure::Unsupported);
    EXPECT_EQ(out, (TBytes{1, 2, 3}));
}

struct TBadCase {
    const char* Name;
    TBytes Data;
};

class Jpeg2000BadDataTest : public ::testing::TestWithParam<TBadCase> {};

TEST_P(Jpeg2000BadDataTest, FailsWithoutAPicture) {
    TBitmap picture(4, 4);
    EXPECT_FALSE(DecodeJpeg2000Data(GetParam().Data, picture));
    EXPECT_FALSE(picture.IsValid());
    std::int32_t w = 0, h = 0;
    EXPECT_FALSE(ReadJpeg2000Size(GetParam().Data, w, h));
}

TBytes Truncated(std::size_t keep) {
    TBytes data = Encode(test::MakeGradient(64, 64, true));
    data.resize(keep);
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, Jpeg2000BadDataTest,
    ::testing::Values(TBadCase{"Empty", {}}, TBadCase{"NotJpeg2000", {0x89, 'P', 'N', 'G', 0, 0, 0, 0}},
                      TBadCase{"SignatureOnly", {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' '}},
                      TBadCase{"CodestreamMarkersOnly", {0xFF, 0x4F, 0xFF, 0x51}},
                      TBadCase{"CutInTheHeader", Truncated(60)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Jpeg2000DecodeTest, DataCutAfterTheHeaderFails) {
    TBytes data = Encode(test::MakeGradient(64, 64, true));
    data.resize(data.size() / 2);
    std::int32_t w = 0, h = 0;
    EXPECT_TRUE(ReadJpeg2000Size(data, w, h)); // the header is complete
    TBitmap picture;
    EXPECT_FALSE(DecodeJpeg2000Data(data, picture));
    EXPECT_FALSE(picture.IsValid());
}

} // namespace
} // namespace gw
