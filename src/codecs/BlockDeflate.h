#pragma once
// Compression of one zlib stream (RFC 1950) in independent blocks, so that the blocks can be deflated
// on several threads at once. The data is cut into blocks of blockBytes (the last may be shorter);
// each block is deflated on its own, with an empty history, and ended with a full flush (the last
// with the end of the stream), so the deflate data of the blocks join into one valid stream behind
// the zlib header; the Adler-32 of the whole data is combined from those of the blocks. The split
// depends only on the data and blockBytes, so the bytes are the same with any number of threads.

#include "image/CommonTypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace gw {

struct TDeflateSettings {
    int Level = 6;    // zlib compression level 0 .. 9
    int Strategy = 0; // Z_DEFAULT_STRATEGY, Z_FILTERED, ...
};

// Appends the zlib stream of data to out. threads > 1 deflates that many blocks at a time (the
// calling thread is one of them). Fails (TooLarge) only when zlib or a thread runs out of memory;
// out is then left as it was.
TStatus DeflateInBlocks(std::span<const std::uint8_t> data, std::size_t blockBytes,
                        const TDeflateSettings& settings, std::int32_t threads,
                        std::vector<std::uint8_t>& out);

} // namespace gw
