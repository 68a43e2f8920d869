#include "formats/icns/IcnsRle.h"

#include <algorithm>

namespace gw::icns {

namespace {

constexpr std::size_t kMaxPacketSamples = 128;
constexpr std::uint8_t kRunBias = 125; // a run control byte is its sample count + 125

// Makes the packet decisions over one channel and hands every byte to the sink, which counts or
// stores them; sizing and encoding share this one walk so that they cannot disagree.
template <class TSink> void PackChannel(std::span<const std::uint8_t> v, TSink& sink) {
    const std::size_t n = v.size();
    // Samples past the end count as "none", equal only to each other.
    const auto same = [&](std::size_t a, std::size_t b) { return b >= n ? a >= n : v[a] == v[b]; };

    std::size_t i = 0;
    while (i < n) {
        const bool run = same(i, i + 1) && same(i + 1, i + 2);
        const std::size_t control = sink.Reserve();
        std::size_t count = 0;
        bool stop = false;
        while (count < kMaxPacketSamples && !stop && i < n) {
            if (!run)
                sink.Put(v[i]);
            ++count;
            if (count == kMaxPacketSamples)
                stop = true;
            else if (run)
                stop = !same(i, i + 1);
            else
                stop = same(i + 1, i + 2) && same(i + 2, i + 3);
            if (!stop)
                ++i;
        }
        if (run) {
            sink.Put(v[i]);
            sink.Set(control, static_cast<std::uint8_t>(count + kRunBias));
        } else {
            sink.Set(control, static_cast<std::uint8_t>(count - 1));
        }
        ++i;
    }
}

struct TCountingSink {
    std::size_t Size = 0;
    std::size_t Reserve() { return Size++; }
    void Put(std::uint8_t) { ++Size; }
    void Set(std::size_t, std::uint8_t) {}
};

struct TWritingSink {
    std::vector<std::uint8_t>& Out;
    std::size_t Reserve() {
        Out.push_back(0);
        return Out.size() - 1;
    }
    void Put(std::uint8_t b) { Out.push_back(b); }
    void Set(std::size_t at, std::uint8_t b) { Out[at] = b; }
};

} // namespace

std::size_t RleChannelSize(std::span<const std::uint8_t> channel) {
    TCountingSink sink;
    PackChannel(channel, sink);
    return sink.Size;
}

void EncodeRleChannel(std::span<const std::uint8_t> channel, std::vector<std::uint8_t>& out) {
    TWritingSink sink{out};
    PackChannel(channel, sink);
}

TStatus DecodeRleChannel(TByteReader& reader, std::span<std::uint8_t> channel) {
    std::size_t filled = 0;
    while (filled < channel.size()) {
        std::uint8_t control = 0;
        if (!reader.ReadU8(control))
            return TStatus::Fail(TFailure::Truncated, "run-length data ends inside a channel");
        const std::size_t wanted = channel.size() - filled;
        if (control < 0x80) {
            std::span<const std::uint8_t> literal;
            if (!reader.ReadBytes(std::size_t{control} + 1, literal))
                return TStatus::Fail(TFailure::Truncated, "run-length literal ends early");
            const std::size_t take = std::min(literal.size(), wanted);
            std::copy_n(literal.begin(), take, channel.begin() + static_cast<std::ptrdiff_t>(filled));
            filled += take;
        } else {
            std::uint8_t value = 0;
            if (!reader.ReadU8(value))
                return TStatus::Fail(TFailure::Truncated, "run-length run without its sample");
            const std::size_t take = std::min<std::size_t>(control - kRunBias, wanted);
            std::fill_n(channel.begin() + static_cast<std::ptrdiff_t>(filled), take, value);
            filled += take;
        }
    }
    return TStatus::Ok();
}

namespace {

constexpr std::size_t kLeadingZeroBytes = 4;

// The three colour planes of a bitmap, one after the other.
std::vector<std::uint8_t> SplitChannels(const TBitmap& bitmap) {
    const std::span<const TColor> pixels = bitmap.Pixels();
    const std::size_t count = pixels.size();
    std::vector<std::uint8_t> planes(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        planes[i] = RedOf(pixels[i]);
        planes[count + i] = GreenOf(pixels[i]);
        planes[2 * count + i] = BlueOf(pixels[i]);
    }
    return planes;
}

std::size_t PlanesSize(std::span<const std::uint8_t> planes, bool leadingZeros) {
    const std::size_t count = planes.size() / 3;
    std::size_t size = leadingZeros ? kLeadingZeroBytes : 0;
    for (std::size_t c = 0; c < 3; ++c)
        size += RleChannelSize(planes.subspan(c * count, count));
    return size;
}

} // namespace

std::size_t Rle24Size(const TBitmap& bitmap, bool leadingZeros) {
    return PlanesSize(SplitChannels(bitmap), leadingZeros);
}

std::vector<std::uint8_t> Rle24Encode(const TBitmap& bitmap, bool leadingZeros) {
    const std::vector<std::uint8_t> planes = SplitChannels(bitmap);
    const std::span<const std::uint8_t> all(planes);
    const std::size_t count = planes.size() / 3;
    std::vector<std::uint8_t> out;
    out.reserve(PlanesSize(all, leadingZeros));
    if (leadingZeros)
        out.resize(kLeadingZeroBytes, 0);
    for (std::size_t c = 0; c < 3; ++c)
        EncodeRleChannel(all.subspan(c * count, count), out);
    return out;
}

namespace {

// Decodes count channels of the bitmap's pixel count one after the other.
TStatus DecodePlanes(TByteReader& reader, std::size_t channels, std::size_t count,
                     std::vector<std::uint8_t>& planes) {
    planes.assign(channels * count, 0);
    for (std::size_t c = 0; c < channels; ++c) {
        if (TStatus status = DecodeRleChannel(reader, std::span(planes).subspan(c * count, count)); !status)
            return status;
    }
    return TStatus::Ok();
}

constexpr std::uint8_t kArgbHeader[] = {'A', 'R', 'G', 'B'};

} // namespace

TStatus Rle24Decode(std::span<const std::uint8_t> data, bool leadingZeros, TBitmap& bitmap) {
    TByteReader reader(data);
    if (leadingZeros && !reader.Skip(kLeadingZeroBytes))
        return TStatus::Fail(TFailure::Truncated, "run-length data shorter than its leading zeros");
    const std::size_t count = bitmap.Pixels().size();
    std::vector<std::uint8_t> planes;
    GW_TRY(DecodePlanes(reader, 3, count, planes));
    const std::span<TColor> pixels = bitmap.Pixels();
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = MakeColor(255, planes[i], planes[count + i], planes[2 * count + i]);
    return TStatus::Ok();
}

bool HasArgbHeader(std::span<const std::uint8_t> data) {
    return data.size() >= sizeof(kArgbHeader) &&
           std::equal(std::begin(kArgbHeader), std::end(kArgbHeader), data.begin());
}

TStatus ArgbDecode(std::span<const std::uint8_t> data, TBitmap& bitmap) {
    if (!HasArgbHeader(data))
        return TStatus::Fail(TFailure::Corrupt, "ARGB data without its header");
    TByteReader reader(data.subspan(sizeof(kArgbHeader)));
    const std::size_t count = bitmap.Pixels().size();
    std::vector<std::uint8_t> planes;
    if (TStatus status = DecodePlanes(reader, 4, count, planes); !status)
        return status;
    const std::span<TColor> pixels = bitmap.Pixels();
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = MakeColor(planes[i], planes[count + i], planes[2 * count + i], planes[3 * count + i]);
    return TStatus::Ok();
}

} // namespace gw::icns
