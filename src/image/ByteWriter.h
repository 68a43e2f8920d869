#pragma once
// Appends little- and big-endian fields to a growing byte buffer; the icon writers build whole files
// in memory with it and write them out in one piece.

#include <cstdint>
#include <span>
#include <vector>

namespace gw {

class TByteWriter {
public:
    void U8(std::uint8_t v) { FBytes.push_back(v); }
    void U16LE(std::uint16_t v) { Put(v, 2, false); }
    void U32LE(std::uint32_t v) { Put(v, 4, false); }
    void U16BE(std::uint16_t v) { Put(v, 2, true); }
    void U32BE(std::uint32_t v) { Put(v, 4, true); }
    void I32LE(std::int32_t v) { Put(static_cast<std::uint32_t>(v), 4, false); }
    void Bytes(std::span<const std::uint8_t> bytes) {
        FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
    }
    void Zeros(std::size_t count) { FBytes.insert(FBytes.end(), count, 0); }

    std::size_t Size() const { return FBytes.size(); }
    std::vector<std::uint8_t>& Buffer() { return FBytes; }
    const std::vector<std::uint8_t>& Buffer() const { return FBytes; }
    std::vector<std::uint8_t> Take() { return std::move(FBytes); }

private:
    void Put(std::uint32_t v, int n, bool bigEndian) {
        for (int i = 0; i < n; ++i)
            FBytes.push_back(static_cast<std::uint8_t>(v >> (8 * (bigEndian ? n - 1 - i : i))));
    }
    std::vector<std::uint8_t> FBytes;
};

} // namespace gw
