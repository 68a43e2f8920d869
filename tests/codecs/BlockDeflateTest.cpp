#include "codecs/BlockDeflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace gw {
namespace {

using TBytes = std::vector<std::uint8_t>;

// Text-like data with repeats (so that deflate finds matches, also across block borders) and noise.
TBytes MakeData(std::size_t size) {
    TBytes data(size);
    std::mt19937 random(99);
    for (std::size_t i = 0; i < size; ++i)
        data[i] =
            (i / 64) % 3 == 0 ? static_cast<std::uint8_t>(random() % 8) : static_cast<std::uint8_t>(i % 61);
    return data;
}

TBytes Deflate(const TBytes& data, std::size_t blockBytes, std::int32_t threads, int level = 7) {
    TBytes out;
    const TStatus status =
        DeflateInBlocks(data, blockBytes, {.Level = level, .Strategy = Z_FILTERED}, threads, out);
    EXPECT_TRUE(status.IsOk()) << status.Reason();
    return out;
}

// zlib's own reading of the stream (it checks the header and the Adler-32 trailer).
int Uncompress(const TBytes& stream, TBytes& data, std::size_t capacity) {
    data.resize(capacity + 1);
    uLongf size = static_cast<uLongf>(data.size());
    const int result = uncompress(data.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
    data.resize(size);
    return result;
}

struct TSplitCase {
    const char* name;
    std::size_t size, blockBytes;
};

class BlockDeflateSplits : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(BlockDeflateSplits, MakeOneValidZlibStreamWhateverTheThreads) {
    const auto& c = GetParam();
    const TBytes data = MakeData(c.size);
    const TBytes stream = Deflate(data, c.blockBytes, 1);
    ASSERT_GE(stream.size(), 6u);
    // RFC 1950 header: deflate with a 32 KiB window, FLEVEL 3 for level 7, a multiple of 31.
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1] >> 6, 3);
    EXPECT_EQ((stream[0] * 256 + stream[1]) % 31, 0);
    TBytes back;
    ASSERT_EQ(Uncompress(stream, back, c.size), Z_OK);
    EXPECT_EQ(back, data);
    for (const std::int32_t threads : {2, 3, 8})
        EXPECT_EQ(Deflate(data, c.blockBytes, threads), stream) << threads << " threads";
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockDeflateSplits,
                         ::testing::Values(TSplitCase{"empty", 0, 1000}, TSplitCase{"oneBlock", 999, 1000},
                                           TSplitCase{"exactBlocks", 4000, 1000},
                                           TSplitCase{"shortLastBlock", 4321, 1000},
                                           TSplitCase{"oneByteBlocks", 40, 1},
                                           TSplitCase{"manyBlocks", 300000, 16384}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every block ends with a full flush: after damage in the first block, inflateSync finds the next
// flush point and the rest inflates without the history before it, exactly from a block border.
TEST(BlockDeflate, BlocksAreIndependentFromEachFullFlush) {
    constexpr std::size_t kBlock = 20000;
    const TBytes data = MakeData(5 * kBlock);
    TBytes stream = Deflate(data, kBlock, 2);
    for (std::size_t i = 2; i < 40; ++i)
        stream[i] = 0xA5;
    z_stream z{};
    ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = stream.data() + 2;
    z.avail_in = static_cast<uInt>(stream.size() - 2 - 4);
    TBytes tail(data.size());
    z.next_out = tail.data();
    z.avail_out = static_cast<uInt>(tail.size());
    int result = inflate(&z, Z_NO_FLUSH);
    while (result == Z_DATA_ERROR) { // give up what was inflated from the damaged block, and resync
        z.next_out = tail.data();
        z.avail_out = static_cast<uInt>(tail.size());
        ASSERT_EQ(inflateSync(&z), Z_OK);
        result = inflate(&z, Z_NO_FLUSH);
    }
    EXPECT_EQ(result, Z_STREAM_END);
    const std::size_t produced = tail.size() - z.avail_out;
    inflateEnd(&z);
    ASSERT_GT(produced, 0u);
    ASSERT_EQ(produced % kBlock, 0u) << "resumed off a block border";
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(produced),
                           data.end() - static_cast<std::ptrdiff_t>(produced)));
}

TEST(BlockDeflate, TrailerIsTheAdlerOfTheWholeData) {
    const TBytes data = MakeData(70000);
    TBytes stream = Deflate(data, 8192, 4);
    const uLong adler = adler32(adler32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size()));
    const TBytes trailer(stream.end() - 4, stream.end());
    EXPECT_EQ(trailer, (TBytes{static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
                               static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)}));
    stream.back() ^= 1;
    TBytes back;
    EXPECT_EQ(Uncompress(stream, back, data.size()), Z_DATA_ERROR);
}

TEST(BlockDeflate, AppendsToWhatOutHolds) {
    const TBytes data = MakeData(5000);
    TBytes out = {1, 2, 3};
    ASSERT_TRUE(DeflateInBlocks(data, 1000, {.Level = 7, .Strategy = Z_FILTERED}, 2, out).IsOk());
    const TBytes alone = Deflate(data, 1000, 1);
    ASSERT_EQ(out.size(), alone.size() + 3);
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), out.begin() + 3));
}

} // namespace
} // namespace gw
