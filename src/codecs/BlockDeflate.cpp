#include "codecs/BlockDeflate.h"

#include "image/ParallelFor.h"

#include <zlib.h>

#include <algorithm>

namespace gw {

namespace {

constexpr int kWindowBits = 15; // the 32 KiB window, as the header says
constexpr int kMemLevel = 8;    // zlib's default

// One block: its input, and its raw deflate data with the Adler-32 of its input once deflated.
struct TBlock {
    std::span<const std::uint8_t> Input;
    bool Last = false;
    std::vector<std::uint8_t> Output;
    uLong Adler = 0;
    TStatus Status = TStatus::Fail(TFailure::TooLarge, "zlib could not allocate its compressor");
};

// Deflates one block with an empty history: a full flush ends it, so the next block starts on a
// byte boundary without referring back; the last block ends the deflate data instead.
void DeflateBlock(TBlock& block, const TDeflateSettings& settings) {
    z_stream stream{};
    if (deflateInit2(&stream, settings.Level, Z_DEFLATED, -kWindowBits, kMemLevel, settings.Strategy) != Z_OK)
        return;
    block.Status = GuardAllocation("compressing a block", [&] {
        // The bound of one deflate call, and room for the empty stored block of the full flush.
        block.Output.resize(deflateBound(&stream, static_cast<uLong>(block.Input.size())) + 16);
        stream.next_in = const_cast<Bytef*>(block.Input.data()); // zlib only reads its input
        stream.avail_in = static_cast<uInt>(block.Input.size());
        const int flush = block.Last ? Z_FINISH : Z_FULL_FLUSH;
        int result = Z_OK;
        do {
            if (stream.total_out == block.Output.size())
                block.Output.resize(block.Output.size() * 2);
            stream.next_out = block.Output.data() + stream.total_out;
            stream.avail_out = static_cast<uInt>(block.Output.size() - stream.total_out);
            result = deflate(&stream, flush);
        } while (result == Z_OK && (stream.avail_out == 0 || (block.Last && result != Z_STREAM_END)));
        block.Output.resize(stream.total_out);
        if (result != (block.Last ? Z_STREAM_END : Z_OK))
            return TStatus::Fail(TFailure::TooLarge, "zlib could not finish a block");
        return TStatus::Ok();
    });
    deflateEnd(&stream);
    block.Adler = adler32(adler32(0, nullptr, 0), block.Input.data(), static_cast<uInt>(block.Input.size()));
}

// The second header byte zlib writes for a level and strategy (FLEVEL, with the check bits).
std::uint8_t HeaderFlags(const TDeflateSettings& settings) {
    const int level = settings.Level == Z_DEFAULT_COMPRESSION ? 6 : settings.Level;
    int flags = 3;
    if (settings.Strategy >= Z_HUFFMAN_ONLY || level < 2)
        flags = 0;
    else if (level < 6)
        flags = 1;
    else if (level == 6)
        flags = 2;
    unsigned header = (0x78u << 8) | (static_cast<unsigned>(flags) << 6);
    header += (31 - header % 31) % 31; // FCHECK: the two bytes are a multiple of 31
    return static_cast<std::uint8_t>(header & 0xFF);
}

} // namespace

TStatus DeflateInBlocks(std::span<const std::uint8_t> data, std::size_t blockBytes,
                        const TDeflateSettings& settings, std::int32_t threads,
                        std::vector<std::uint8_t>& out) {
    // Blocks stay within what one zlib call takes.
    constexpr std::size_t kLargestBlock = std::size_t{1} << 30;
    blockBytes = std::clamp<std::size_t>(blockBytes == 0 ? data.size() : blockBytes, 1, kLargestBlock);
    std::vector<TBlock> blocks;
    GW_TRY(GuardAllocation("setting up the deflate blocks", [&] {
        blocks.resize(std::max<std::size_t>(1, (data.size() + blockBytes - 1) / blockBytes));
        return TStatus::Ok();
    }));
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::size_t begin = std::min(data.size(), i * blockBytes);
        blocks[i].Input = data.subspan(begin, std::min(blockBytes, data.size() - begin));
    }
    blocks.back().Last = true;

    ParallelFor(blocks.size(), static_cast<std::size_t>(std::max(threads, 1)) - 1,
                [&](std::size_t i) { DeflateBlock(blocks[i], settings); });

    std::size_t total = 2 + 4;
    uLong adler = adler32(0, nullptr, 0);
    for (const TBlock& block : blocks) {
        GW_TRY(block.Status);
        total += block.Output.size();
        adler = adler32_combine(adler, block.Adler, static_cast<z_off_t>(block.Input.size()));
    }
    GW_TRY(GuardAllocation("holding the compressed data", [&] {
        out.reserve(out.size() + total);
        return TStatus::Ok();
    }));
    out.push_back(0x78);
    out.push_back(HeaderFlags(settings));
    for (const TBlock& block : blocks)
        out.insert(out.end(), block.Output.begin(), block.Output.end());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(adler >> shift));
    return TStatus::Ok();
}

} // namespace gw
