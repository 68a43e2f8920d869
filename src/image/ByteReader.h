#pragma once
// A bounds-checked cursor over untrusted bytes. Every read checks the bytes that remain; a read past
// the end fails (returns false and leaves the output untouched) and marks the reader as failed, so a
// parser can run a series of reads and test Ok() once.

#include <cstddef>
#include <cstdint>
#include <span>

namespace gw {

class TByteReader {
public:
    explicit TByteReader(std::span<const std::uint8_t> data) : FData(data) {}

    std::size_t Size() const { return FData.size(); }
    std::size_t Position() const { return FPos; }
    std::size_t Remaining() const { return FData.size() - FPos; }
    bool Ok() const { return !FFailed; }
    std::span<const std::uint8_t> Data() const { return FData; }

    // Moves to an absolute offset; fails when it lies beyond the end.
    bool Seek(std::size_t offset) {
        if (offset > FData.size()) {
            FFailed = true;
            return false;
        }
        FPos = offset;
        return true;
    }
    bool Skip(std::size_t count) {
        if (count > Remaining()) {
            FFailed = true;
            return false;
        }
        FPos += count;
        return true;
    }

    bool ReadU8(std::uint8_t& out) { return ReadUnsigned<1, false>(out); }
    bool ReadU16LE(std::uint16_t& out) { return ReadUnsigned<2, false>(out); }
    bool ReadU32LE(std::uint32_t& out) { return ReadUnsigned<4, false>(out); }
    bool ReadU16BE(std::uint16_t& out) { return ReadUnsigned<2, true>(out); }
    bool ReadU32BE(std::uint32_t& out) { return ReadUnsigned<4, true>(out); }
    bool ReadI32LE(std::int32_t& out) {
        std::uint32_t v = 0;
        if (!ReadU32LE(v))
            return false;
        out = static_cast<std::int32_t>(v);
        return true;
    }

    // A view of the next count bytes; fails without moving when fewer remain.
    bool ReadBytes(std::size_t count, std::span<const std::uint8_t>& out) {
        if (count > Remaining()) {
            FFailed = true;
            return false;
        }
        out = FData.subspan(FPos, count);
        FPos += count;
        return true;
    }

private:
    template <std::size_t N, bool BigEndian, typename T> bool ReadUnsigned(T& out) {
        if (N > Remaining()) {
            FFailed = true;
            return false;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::uint64_t b = FData[FPos + i];
            v |= BigEndian ? b << (8 * (N - 1 - i)) : b << (8 * i);
        }
        FPos += N;
        out = static_cast<T>(v);
        return true;
    }

    std::span<const std::uint8_t> FData;
    std::size_t FPos = 0;
    bool FFailed = false;
};

} // namespace gw
