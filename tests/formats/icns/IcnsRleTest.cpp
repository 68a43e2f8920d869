#include "formats/icns/IcnsRle.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace gw::icns {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Concat(std::initializer_list<TBytes> parts) {
    TBytes out;
    for (const TBytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TBytes Repeat(std::size_t count, std::uint8_t value) {
    return TBytes(count, value);
}

TBytes Encode(const TBytes& channel) {
    TBytes out;
    EncodeRleChannel(channel, out);
    return out;
}

struct TPackCase {
    const char* Name;
    TBytes Channel;
    TBytes Packets;
};

class RleChannelTest : public ::testing::TestWithParam<TPackCase> {};

TEST_P(RleChannelTest, EncodesTheExpectedPackets) {
    const TPackCase& c = GetParam();
    EXPECT_EQ(Encode(c.Channel), c.Packets);
    EXPECT_EQ(RleChannelSize(c.Channel), c.Packets.size());
}

TEST_P(RleChannelTest, DecodesBackToTheChannel) {
    const TPackCase& c = GetParam();
    TBytes decoded(c.Channel.size(), 0xEE);
    TByteReader reader(c.Packets);
    ASSERT_TRUE(DecodeRleChannel(reader, decoded));
    EXPECT_EQ(decoded, c.Channel);
    EXPECT_EQ(reader.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, RleChannelTest,
    ::testing::Values(
        // 256 samples of 7 (a 16 x 16 channel): two runs of 128.
        TPackCase{"TwoRunsOf128", Repeat(256, 7), {0xFD, 7, 0xFD, 7}},
        // 130 equal samples at the end: a run of 128 and a literal of 2; 129: a literal of 1.
        TPackCase{"Ends130Equal", Concat({{9}, Repeat(130, 4)}), {0, 9, 0xFD, 4, 1, 4, 4}},
        TPackCase{"Ends129Equal", Concat({{9}, Repeat(129, 4)}), {0, 9, 0xFD, 4, 0, 4}},
        // A literal stops before three equal samples, which start a run.
        TPackCase{"LiteralThenRun", {1, 2, 3, 3, 3}, {1, 1, 2, 0x80, 3}},
        // Two equal samples never start a run.
        TPackCase{"TwoEqualAreLiteral", {5, 5, 7, 7, 7}, {1, 5, 5, 0x80, 7}},
        TPackCase{"PairAtTheEnd", {1, 2, 2}, {2, 1, 2, 2}}, TPackCase{"SingleSample", {42}, {0, 42}},
        TPackCase{"ExactlyThree", {6, 6, 6}, {0x80, 6}},
        TPackCase{"RunThenPair", {6, 6, 6, 6, 1, 1}, {0x81, 6, 1, 1, 1}}, TPackCase{"Empty", {}, {}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RleChannelTest, LiteralStopsAt128Samples) {
    TBytes channel(200);
    for (std::size_t i = 0; i < channel.size(); ++i)
        channel[i] = static_cast<std::uint8_t>(i % 2);
    const TBytes packets = Encode(channel);
    ASSERT_EQ(packets.size(), 1 + 128 + 1 + 72u);
    EXPECT_EQ(packets[0], 127);
    EXPECT_EQ(packets[129], 71);
}

// The size pass and the encoder must make the same decisions on any data: random channels with
// long and short runs mixed, of every length up to two full packets and of icon sizes.
TEST(RleChannelTest, SizeAlwaysEqualsTheBytesWritten) {
    std::mt19937 random(1234);
    for (std::size_t length :
         {1u, 2u, 3u, 4u, 127u, 128u, 129u, 130u, 131u, 256u, 257u, 1024u, 2304u, 16384u}) {
        for (int trial = 0; trial < 20; ++trial) {
            TBytes channel;
            while (channel.size() < length) {
                const std::size_t run =
                    std::uniform_int_distribution<std::size_t>(1, trial % 2 ? 4 : 140)(random);
                channel.insert(channel.end(), std::min(run, length - channel.size()),
                               static_cast<std::uint8_t>(random() % 3));
            }
            const TBytes packets = Encode(channel);
            ASSERT_EQ(RleChannelSize(channel), packets.size()) << length;
            TBytes decoded(length);
            TByteReader reader(packets);
            ASSERT_TRUE(DecodeRleChannel(reader, decoded));
            ASSERT_EQ(decoded, channel);
            for (std::size_t i = 0; i < packets.size();) {
                ASSERT_LT(packets[i], 254) << "runs of 129 and 130 are never written";
                i += packets[i] < 128 ? packets[i] + 2u : 2u;
            }
        }
    }
}

TEST(RleChannelDecodeTest, ReadsRunsOf129And130FromOtherWriters) {
    const TBytes packets = {0xFE, 1, 0xFF, 2};
    TBytes channel(259);
    TByteReader reader(packets);
    ASSERT_TRUE(DecodeRleChannel(reader, channel));
    EXPECT_EQ(channel, Concat({Repeat(129, 1), Repeat(130, 2)}));
}

TEST(RleChannelDecodeTest, ExcessSamplesOfTheLastPacketAreDropped) {
    // 4 samples wanted; the run gives 5, then the next channel starts at the next packet.
    const TBytes packets = {0x82, 8, 0, 9};
    TBytes first(4), second(1);
    TByteReader reader(packets);
    ASSERT_TRUE(DecodeRleChannel(reader, first));
    ASSERT_TRUE(DecodeRleChannel(reader, second));
    EXPECT_EQ(first, Repeat(4, 8));
    EXPECT_EQ(second, TBytes{9});
}

struct TTruncatedCase {
    const char* Name;
    TBytes Packets;
};

class RleTruncatedTest : public ::testing::TestWithParam<TTruncatedCase> {};

TEST_P(RleTruncatedTest, FailsAsTruncated) {
    TBytes channel(10, 0xAA);
    TByteReader reader(GetParam().Packets);
    const TStatus status = DecodeRleChannel(reader, channel);
    EXPECT_EQ(status.Kind(), TFailure::Truncated);
}

INSTANTIATE_TEST_SUITE_P(CutShort, RleTruncatedTest,
                         ::testing::Values(TTruncatedCase{"NoData", {}},
                                           TTruncatedCase{"LiteralMissingSamples", {9, 1, 2, 3}},
                                           TTruncatedCase{"RunMissingItsSample", {0x87}},
                                           TTruncatedCase{"ChannelNotFilled", {0x84, 1}}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Rle24Test, RoundTripsEveryElementSize) {
    for (const std::int32_t side : {16, 32, 48, 128}) {
        for (const bool leadingZeros : {false, true}) {
            const TBitmap picture = test::MakeGradient(side, side, true);
            const TBytes data = Rle24Encode(picture, leadingZeros);
            EXPECT_EQ(data.size(), Rle24Size(picture, leadingZeros));
            if (leadingZeros) {
                EXPECT_EQ(TBytes(data.begin(), data.begin() + 4), TBytes(4, 0));
            }
            TBitmap decoded(side, side);
            ASSERT_TRUE(Rle24Decode(data, leadingZeros, decoded));
            for (std::size_t i = 0; i < picture.Pixels().size(); ++i)
                ASSERT_EQ(decoded.Pixels()[i], picture.Pixels()[i] | 0xFF000000u) << side << " pixel " << i;
        }
    }
}

TEST(Rle24Test, RedChannelOfAllSevensIsTwoRuns) {
    const TBitmap picture = test::MakeSolid(16, 16, MakeColor(0, 7, 200, 1));
    const TBytes data = Rle24Encode(picture, false);
    EXPECT_EQ(data, (TBytes{0xFD, 7, 0xFD, 7, 0xFD, 200, 0xFD, 200, 0xFD, 1, 0xFD, 1}));
}

TEST(Rle24Test, DataEndingInTheBlueChannelLeavesTheBitmapAlone) {
    const TBitmap picture = test::MakeGradient(16, 16, false);
    TBytes data = Rle24Encode(picture, false);
    ASSERT_FALSE(data.empty());
    data.pop_back();
    TBitmap decoded = test::MakeSolid(16, 16, 0x12345678);
    EXPECT_EQ(Rle24Decode(data, false, decoded).Kind(), TFailure::Truncated);
    EXPECT_EQ(decoded, test::MakeSolid(16, 16, 0x12345678));
}

TEST(Rle24Test, It32ShorterThanItsLeadingZerosIsTruncated) {
    TBitmap decoded(128, 128);
    EXPECT_EQ(Rle24Decode(TBytes{0, 0, 0}, true, decoded).Kind(), TFailure::Truncated);
}

} // namespace
} // namespace gw::icns
