#include "image/Graphics.h"

#include "image/Premultiply.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SSE2__) && !defined(GW_NO_SIMD) // GW_NO_SIMD builds the portable path for comparison
#include <emmintrin.h>
#define GW_GRAPHICS_SSE2 1
#else
#define GW_GRAPHICS_SSE2 0
#endif
// The vertical pass also has an AVX2 form, chosen at run time where the processor has it (GW_NO_AVX2
// leaves it out for comparison).
#if GW_GRAPHICS_SSE2 && (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) &&                  \
    !defined(GW_NO_AVX2)
#include <immintrin.h>
#define GW_GRAPHICS_AVX2 1
#else
#define GW_GRAPHICS_AVX2 0
#endif

// Resampling works on premultiplied colour held as 16-bit integers: a channel c with alpha a becomes
// c * a and the alpha becomes a * 255, both on the scale 0 .. 65025, so transparent pixels carry no
// colour into their neighbours. Each axis gets a table of integer weights (kWeightBits of fraction)
// computed exactly from the rectangle in fixed point, and the two axes are filtered one after the
// other. Integer arithmetic makes the result identical on every machine and compiler.
//
// The filter is a tent whose radius is one source pixel when enlarging and one target pixel (mapped
// into the source) when shrinking, so every source pixel contributes to a reduction. Pixel centres
// sit at half-pixel positions. A target pixel only partly covered by the rectangle gets the filtered
// colour with its alpha scaled by the covered fraction; the covered fraction is folded into the
// weights, whose sum is then the coverage instead of one.

namespace gw {

namespace {

constexpr int kWeightBits = 14;
constexpr std::uint32_t kWeightOne = 1u << kWeightBits;
constexpr std::uint32_t kWeightHalf = kWeightOne / 2;

// Rectangle coordinates are taken in fixed point with kSubBits of fraction.
constexpr int kSubBits = 20;
constexpr std::int64_t kSubOne = std::int64_t{1} << kSubBits;
// Rectangles beyond this many pixels from the origin are refused; it keeps every fixed-point product
// below 2^62 for source sides up to 65535.
constexpr double kMaxCoordinate = 1 << 23;

constexpr std::uint32_t kOpaque16 = 255u * 255u; // alpha 255 on the premultiplied scale

// Which source pixels feed each written target pixel of one axis, and with which weights.
struct TAxisWeights {
    std::int32_t First = 0; // first target index written
    std::int32_t Count = 0; // target indices First .. First + Count - 1
    std::int32_t Stride = 0;
    std::vector<std::int32_t> Start;    // first source index per target index
    std::vector<std::int32_t> Taps;     // number of source indices per target index
    std::vector<std::uint32_t> Weights; // Stride weights per target index, summing to the coverage

    std::int32_t SourceFirst() const { return Count ? *std::min_element(Start.begin(), Start.end()) : 0; }
    std::int32_t SourceEnd() const {
        std::int32_t end = 0;
        for (std::int32_t k = 0; k < Count; ++k)
            end = std::max(end, Start[k] + Taps[k]);
        return end;
    }
};

bool ToFixed(float value, std::int64_t& fixed) {
    if (!std::isfinite(value) || std::fabs(value) > kMaxCoordinate)
        return false;
    fixed = std::llround(static_cast<double>(value) * static_cast<double>(kSubOne)); // exact scaling
    return true;
}

// Spreads total over the raw weights in proportion, so that the integer weights sum to total exactly
// and each lies within one unit of its exact share (cumulative rounding).
void NormaliseWeights(std::vector<std::int64_t>& raw, std::uint32_t total, std::uint32_t* out) {
    // Keep the raw weights below 2^30: with at most 65535 taps and a total below 2^15 the cumulative
    // products then stay below 2^61.
    const std::int64_t largest = *std::max_element(raw.begin(), raw.end());
    const int excess =
        std::max(0, static_cast<int>(std::bit_width(static_cast<std::uint64_t>(largest))) - 30);
    std::int64_t sum = 0;
    for (auto& r : raw) {
        r >>= excess;
        sum += r;
    }
    if (sum == 0) {
        // Every share vanished in the scaling: the middle tap takes everything.
        raw.assign(raw.size(), 0);
        raw[raw.size() / 2] = 1;
        sum = 1;
    }
    std::int64_t cumulative = 0;
    std::int64_t previous = 0;
    for (std::size_t t = 0; t < raw.size(); ++t) {
        cumulative += raw[t];
        const std::int64_t rounded = (cumulative * total + sum / 2) / sum;
        out[t] = static_cast<std::uint32_t>(rounded - previous);
        previous = rounded;
    }
}

// Weights for drawing sourceSize pixels into the span [pos, pos + size) of a target of targetSize
// pixels. Count stays 0 when nothing of the target is covered.
TAxisWeights ComputeAxis(std::int32_t sourceSize, std::int64_t posFixed, std::int64_t sizeFixed,
                         std::int32_t targetSize) {
    TAxisWeights axis;
    const std::int64_t endFixed = posFixed + sizeFixed;
    const std::int64_t first = std::max<std::int64_t>(0, posFixed >> kSubBits); // floor
    const std::int64_t end = std::min<std::int64_t>(targetSize, (endFixed + kSubOne - 1) >> kSubBits);
    if (sizeFixed <= 0 || first >= end)
        return axis;

    // In units of 1 / (2 * size * kSubOne) source pixels, the distance of source centre i from the
    // mapped centre of target pixel d is (2i + 1) * size - 2 * sourceSize * ((2d + 1) * kSubOne / 2 - pos),
    // and the tent reaches zero at max(2 * size, 2 * sourceSize * kSubOne) of those units.
    const std::int64_t radius = std::max(2 * sizeFixed, 2 * std::int64_t{sourceSize} * kSubOne);
    const double scale = static_cast<double>(sourceSize) / static_cast<double>(sizeFixed) * kSubOne;
    const double reach = std::max(1.0, scale);

    struct TTapRange {
        std::int32_t start;
        std::vector<std::int64_t> raw;
        std::uint32_t total;
    };
    std::vector<TTapRange> ranges;
    ranges.reserve(static_cast<std::size_t>(end - first));
    std::int32_t widest = 1;
    for (std::int64_t d = first; d < end; ++d) {
        const std::int64_t covered = std::min((d + 1) * kSubOne, endFixed) - std::max(d * kSubOne, posFixed);
        const auto total = static_cast<std::uint32_t>((covered * kWeightOne + kSubOne / 2) >> kSubBits);
        // The candidate range only has to contain every tap of positive weight; the exact weights
        // below decide. One extra pixel on each side absorbs the rounding of this estimate.
        const double centre =
            (static_cast<double>(d) + 0.5 - static_cast<double>(posFixed) / kSubOne) * scale;
        const auto lo = static_cast<std::int32_t>(
            std::clamp<double>(std::floor(centre - reach - 0.5) - 1, 0, sourceSize - 1));
        const auto hi = static_cast<std::int32_t>(
            std::clamp<double>(std::ceil(centre + reach - 0.5) + 1, 0, sourceSize - 1));
        const std::int64_t mapped = 2 * std::int64_t{sourceSize} * ((2 * d + 1) * (kSubOne / 2) - posFixed);
        std::vector<std::int64_t> raw;
        std::int32_t start = -1;
        for (std::int32_t i = lo; i <= hi; ++i) {
            const std::int64_t distance = (2 * std::int64_t{i} + 1) * sizeFixed - mapped;
            const std::int64_t weight = radius - (distance < 0 ? -distance : distance);
            if (weight <= 0) {
                if (start >= 0)
                    break; // past the tent
                continue;
            }
            if (start < 0)
                start = i;
            raw.push_back(weight);
        }
        if (start < 0) {
            // The tent fell between source centres (possible only at the extreme border): take the
            // nearest source pixel.
            start = static_cast<std::int32_t>(std::clamp<double>(std::floor(centre), 0, sourceSize - 1));
            raw.assign(1, 1);
        }
        widest = std::max(widest, static_cast<std::int32_t>(raw.size()));
        ranges.push_back({start, std::move(raw), total});
    }

    axis.First = static_cast<std::int32_t>(first);
    axis.Count = static_cast<std::int32_t>(end - first);
    axis.Stride = widest;
    axis.Start.resize(axis.Count);
    axis.Taps.resize(axis.Count);
    axis.Weights.assign(static_cast<std::size_t>(axis.Count) * widest, 0);
    for (std::int32_t k = 0; k < axis.Count; ++k) {
        auto& range = ranges[k];
        axis.Start[k] = range.start;
        axis.Taps[k] = static_cast<std::int32_t>(range.raw.size());
        NormaliseWeights(range.raw, range.total, &axis.Weights[static_cast<std::size_t>(k) * widest]);
    }
    return axis;
}

// One vertical pass: out[i] = (sum over the taps of weights[t] * rows[t][i] + kWeightHalf) >> kWeightBits
// for every lane. The sums stay below 2^32 (the weights sum to at most kWeightOne, the values to at most
// kOpaque16) and the results below 2^16. Each block of lanes is summed over all taps in registers.
void VerticalPassPortable(const std::uint16_t* const* rows, const std::uint32_t* weights, std::int32_t taps,
                          std::size_t begin, std::size_t lanes, std::uint16_t* out) {
    for (std::size_t i = begin; i < lanes; ++i) {
        std::uint32_t sum = kWeightHalf;
        for (std::int32_t t = 0; t < taps; ++t)
            sum += weights[t] * rows[t][i];
        out[i] = static_cast<std::uint16_t>(sum >> kWeightBits);
    }
}

#if GW_GRAPHICS_SSE2
// Unsigned 32-bit values below 2^16 packed to 16 bits: SSE2 packs signed values only, so they are
// moved into the signed range and back.
inline __m128i PackUnsigned16(__m128i lo, __m128i hi) {
    const __m128i bias32 = _mm_set1_epi32(32768);
    const __m128i bias16 = _mm_set1_epi16(static_cast<std::int16_t>(0x8000));
    return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(lo, bias32), _mm_sub_epi32(hi, bias32)), bias16);
}

void VerticalPassSse2(const std::uint16_t* const* rows, const std::uint32_t* weights, std::int32_t taps,
                      std::size_t lanes, std::uint16_t* out) {
    std::size_t i = 0;
    for (; i + 8 <= lanes; i += 8) {
        __m128i sumLo = _mm_set1_epi32(static_cast<std::int32_t>(kWeightHalf));
        __m128i sumHi = sumLo;
        for (std::int32_t t = 0; t < taps; ++t) {
            const __m128i w = _mm_set1_epi16(static_cast<std::int16_t>(weights[t]));
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + i));
            const __m128i lo = _mm_mullo_epi16(v, w);
            const __m128i hi = _mm_mulhi_epu16(v, w);
            sumLo = _mm_add_epi32(sumLo, _mm_unpacklo_epi16(lo, hi));
            sumHi = _mm_add_epi32(sumHi, _mm_unpackhi_epi16(lo, hi));
        }
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + i),
            PackUnsigned16(_mm_srli_epi32(sumLo, kWeightBits), _mm_srli_epi32(sumHi, kWeightBits)));
    }
    VerticalPassPortable(rows, weights, taps, i, lanes, out);
}
#endif

#if GW_GRAPHICS_AVX2
// The same with 16 lanes at a time. The 256-bit unpack and pack instructions work within 128-bit
// halves, and their reorderings cancel: the lanes come out in order.
__attribute__((target("avx2"))) void VerticalPassAvx2(const std::uint16_t* const* rows,
                                                      const std::uint32_t* weights, std::int32_t taps,
                                                      std::size_t lanes, std::uint16_t* out) {
    const __m256i bias32 = _mm256_set1_epi32(32768);
    const __m256i bias16 = _mm256_set1_epi16(static_cast<std::int16_t>(0x8000));
    std::size_t i = 0;
    for (; i + 16 <= lanes; i += 16) {
        __m256i sumLo = _mm256_set1_epi32(static_cast<std::int32_t>(kWeightHalf));
        __m256i sumHi = sumLo;
        for (std::int32_t t = 0; t < taps; ++t) {
            const __m256i w = _mm256_set1_epi16(static_cast<std::int16_t>(weights[t]));
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[t] + i));
            const __m256i lo = _mm256_mullo_epi16(v, w);
            const __m256i hi = _mm256_mulhi_epu16(v, w);
            sumLo = _mm256_add_epi32(sumLo, _mm256_unpacklo_epi16(lo, hi));
            sumHi = _mm256_add_epi32(sumHi, _mm256_unpackhi_epi16(lo, hi));
        }
        const __m256i packed =
            _mm256_packs_epi32(_mm256_sub_epi32(_mm256_srli_epi32(sumLo, kWeightBits), bias32),
                               _mm256_sub_epi32(_mm256_srli_epi32(sumHi, kWeightBits), bias32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_xor_si256(packed, bias16));
    }
    VerticalPassPortable(rows, weights, taps, i, lanes, out);
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

void VerticalPass(const std::uint16_t* const* rows, const std::uint32_t* weights, std::int32_t taps,
                  std::size_t lanes, std::uint16_t* out) {
#if GW_GRAPHICS_AVX2
    if (kHasAvx2) {
        VerticalPassAvx2(rows, weights, taps, lanes, out);
        return;
    }
#endif
#if GW_GRAPHICS_SSE2
    VerticalPassSse2(rows, weights, taps, lanes, out);
#else
    VerticalPassPortable(rows, weights, taps, 0, lanes, out);
#endif
}

// True when every pixel of the run is fully transparent: its premultiplied form is all zero.
bool IsTransparentRun(const TColor* row, std::int32_t count) {
    return std::all_of(row, row + count, [](TColor c) { return (c >> 24) == 0; });
}

// The weights of one axis as 16-bit values repeated for the four channels, in pairs of taps, ready for
// the horizontal pass (which reads one pixel past an odd tap count, with weight 0).
std::vector<std::uint16_t> ExpandWeights(const TAxisWeights& axis, std::int32_t& pairStride) {
    pairStride = (axis.Stride + 1) / 2;
    std::vector<std::uint16_t> expanded(static_cast<std::size_t>(axis.Count) * pairStride * 8, 0);
    for (std::int32_t k = 0; k < axis.Count; ++k)
        for (std::int32_t t = 0; t < axis.Taps[k]; ++t) {
            const auto w =
                static_cast<std::uint16_t>(axis.Weights[static_cast<std::size_t>(k) * axis.Stride + t]);
            std::fill_n(&expanded[(static_cast<std::size_t>(k) * pairStride * 2 + t) * 4], 4, w);
        }
    return expanded;
}

// Filters one premultiplied pixel: 4 channel sums of weight * value over the taps, rounded.
void FilterPixel(const std::uint16_t* pixels, const std::uint16_t* weights, std::int32_t taps,
                 std::uint32_t* out) {
#if GW_GRAPHICS_SSE2
    __m128i sum = _mm_set1_epi32(static_cast<std::int32_t>(kWeightHalf));
    for (std::int32_t t = 0; t < taps; t += 2) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 4 * t));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 4 * t));
        const __m128i lo = _mm_mullo_epi16(v, w);
        const __m128i hi = _mm_mulhi_epu16(v, w);
        sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_srli_epi32(sum, kWeightBits));
#else
    std::uint32_t s[4] = {kWeightHalf, kWeightHalf, kWeightHalf, kWeightHalf};
    for (std::int32_t t = 0; t < taps; ++t)
        for (int ch = 0; ch < 4; ++ch)
            s[ch] += std::uint32_t{weights[4 * t]} * pixels[4 * t + ch];
    for (int ch = 0; ch < 4; ++ch)
        out[ch] = s[ch] >> kWeightBits;
#endif
}

std::uint32_t StraightChannel(std::uint32_t premultiplied, std::uint32_t alpha16) {
    return std::min<std::uint32_t>(255u, (premultiplied * 255u + alpha16 / 2) / alpha16);
}

// Composites one premultiplied source pixel (channels B, G, R on the 0 .. 65025 scale of c * a, alpha
// as a * 255) source-over onto the straight target pixel.
TColor CompositeOver(const std::uint32_t* src, TColor target) {
    const std::uint32_t alpha16 = src[3];
    const std::uint32_t targetAlpha = target >> 24;
    if (alpha16 == kOpaque16) {
        // The common case, with the division by a constant the compiler turns into a multiplication.
        return 0xFF000000u | (((src[2] + 127) / 255) << 16) | (((src[1] + 127) / 255) << 8) |
               ((src[0] + 127) / 255);
    }
    if (targetAlpha == 0) {
        // The source alone.
        const std::uint32_t a = (alpha16 + 127) / 255;
        if (a == 0)
            return target;
        return (a << 24) | (StraightChannel(src[2], alpha16) << 16) |
               (StraightChannel(src[1], alpha16) << 8) | StraightChannel(src[0], alpha16);
    }
    if (alpha16 == 0)
        return target;
    // Both partly transparent: out = src + target * (1 - srcAlpha), on the scale 65025 * 65025.
    const std::uint64_t rest = kOpaque16 - alpha16;
    const std::uint64_t outAlpha =
        std::uint64_t{alpha16} * kOpaque16 + std::uint64_t{targetAlpha} * 255u * rest;
    constexpr std::uint64_t kScale = std::uint64_t{kOpaque16} * kOpaque16;
    TColor result = static_cast<TColor>((outAlpha * 255u + kScale / 2) / kScale) << 24;
    for (int ch = 0; ch < 3; ++ch) {
        const std::uint64_t targetChannel = (target >> (8 * ch)) & 0xFFu;
        const std::uint64_t outPremultiplied =
            std::uint64_t{src[ch]} * kOpaque16 + targetChannel * targetAlpha * rest;
        const std::uint64_t channel =
            std::min<std::uint64_t>(255u, (outPremultiplied * 255u + outAlpha / 2) / outAlpha);
        result |= static_cast<TColor>(channel) << (8 * ch);
    }
    return result;
}

// The vertical pass of one drawing: the source rows a target row reads, premultiplied, weighted and
// summed into one line of lanes. Premultiplied rows are kept in a ring large enough for the rows of
// one target row, so each is converted once while successive target rows share it. A ring beyond the
// budget (only for absurd reductions) shrinks to one row that is converted again on every use. Fully
// transparent source rows (the bands of a canvas) are only marked: they add nothing to a sum.
class TVerticalFilter {
public:
    TVerticalFilter(const TBitmap& src, const TAxisWeights& rows, std::int32_t colFirst, std::size_t lanes)
        : FSrc(src), FRows(rows), FColFirst(colFirst), FLanes(lanes),
          FRingRows(static_cast<std::size_t>(rows.Stride)) {
        constexpr std::size_t kRingBudgetBytes = 32u << 20;
        if (FRingRows * lanes * sizeof(std::uint16_t) > kRingBudgetBytes) {
            FRingRows = 1;
            FSums.resize(lanes);
        }
        // Every slot is written before it is read, so the ring is not cleared.
        FRing.reset(new std::uint16_t[FRingRows * lanes]);
        FRingRow.assign(FRingRows, -1);
        FRingClear.assign(FRingRows, 0);
        FTapRows.resize(static_cast<std::size_t>(rows.Stride));
        FTapWeights.resize(static_cast<std::size_t>(rows.Stride));
    }

    // Writes the filtered lanes of target row k into line; false (line untouched) when every source
    // row it reads is transparent.
    bool FilterRow(std::int32_t k, std::uint16_t* line) {
        if (!FSums.empty())
            return FilterRowOneByOne(k, line);
        std::int32_t taps = 0;
        for (std::int32_t t = 0; t < FRows.Taps[k]; ++t) {
            const std::int32_t sy = FRows.Start[k] + t;
            const std::size_t slot = static_cast<std::size_t>(sy) % FRingRows;
            std::uint16_t* premultiplied = &FRing[slot * FLanes];
            if (FRingRow[slot] != sy) {
                const TColor* from = FSrc.Row(sy).data() + FColFirst;
                FRingClear[slot] = IsTransparentRun(from, Pixels()) ? 1 : 0;
                if (!FRingClear[slot])
                    PremultiplyRun(from, Pixels(), premultiplied);
                FRingRow[slot] = sy;
            }
            if (FRingClear[slot])
                continue;
            FTapRows[static_cast<std::size_t>(taps)] = premultiplied;
            FTapWeights[static_cast<std::size_t>(taps)] = Weight(k, t);
            ++taps;
        }
        if (taps == 0)
            return false;
        VerticalPass(FTapRows.data(), FTapWeights.data(), taps, FLanes, line);
        return true;
    }

private:
    std::int32_t Pixels() const { return static_cast<std::int32_t>(FLanes / 4); }
    std::uint32_t Weight(std::int32_t k, std::int32_t t) const {
        return FRows.Weights[static_cast<std::size_t>(k) * FRows.Stride + t];
    }

    // The one-row ring: each source row is converted and added before the next takes its place.
    bool FilterRowOneByOne(std::int32_t k, std::uint16_t* line) {
        std::fill(FSums.begin(), FSums.end(), kWeightHalf);
        for (std::int32_t t = 0; t < FRows.Taps[k]; ++t) {
            PremultiplyRun(FSrc.Row(FRows.Start[k] + t).data() + FColFirst, Pixels(), FRing.get());
            const std::uint32_t weight = Weight(k, t);
            for (std::size_t i = 0; i < FLanes; ++i)
                FSums[i] += weight * FRing[i];
        }
        for (std::size_t i = 0; i < FLanes; ++i)
            line[i] = static_cast<std::uint16_t>(FSums[i] >> kWeightBits);
        return true;
    }

    const TBitmap& FSrc;
    const TAxisWeights& FRows;
    std::int32_t FColFirst;
    std::size_t FLanes;
    std::size_t FRingRows;
    std::unique_ptr<std::uint16_t[]> FRing;
    std::vector<std::int32_t> FRingRow; // the source row each slot holds, -1 for none
    std::vector<char> FRingClear;       // whether that row is fully transparent (its slot unwritten)
    std::vector<std::uint32_t> FSums;   // the one-row ring's sums
    std::vector<const std::uint16_t*> FTapRows;
    std::vector<std::uint32_t> FTapWeights;
};

} // namespace

void DrawBitmap(TBitmap& target, const TBitmap& src, const TGPRectF& rect, TInterpolation /*mode*/) {
    if (!target.IsValid() || !src.IsValid())
        return;
    std::int64_t x = 0, y = 0, w = 0, h = 0;
    if (!ToFixed(rect.X, x) || !ToFixed(rect.Y, y) || !ToFixed(rect.Width, w) || !ToFixed(rect.Height, h))
        return;
    if (w <= 0 || h <= 0)
        return;
    // A whole-pixel position at the source's own size is a plain copy.
    if (w == std::int64_t{src.Width()} * kSubOne && h == std::int64_t{src.Height()} * kSubOne &&
        x % kSubOne == 0 && y % kSubOne == 0) {
        DrawBitmapAt(target, src, static_cast<std::int32_t>(x >> kSubBits),
                     static_cast<std::int32_t>(y >> kSubBits));
        return;
    }

    const TAxisWeights columns = ComputeAxis(src.Width(), x, w, target.Width());
    const TAxisWeights rows = ComputeAxis(src.Height(), y, h, target.Height());
    if (columns.Count == 0 || rows.Count == 0)
        return;

    // Only the source columns some target column reads are premultiplied and filtered.
    const std::int32_t colFirst = columns.SourceFirst();
    const std::size_t lanes = 4 * static_cast<std::size_t>(columns.SourceEnd() - colFirst);
    std::int32_t pairStride = 0;
    const std::vector<std::uint16_t> columnWeights = ExpandWeights(columns, pairStride);

    TVerticalFilter vertical(src, rows, colFirst, lanes);
    std::vector<std::uint16_t> line(lanes + 4, 0); // one spare pixel for the paired horizontal taps
    for (std::int32_t k = 0; k < rows.Count; ++k) {
        // A row of transparent sources composites nothing onto the target.
        if (!vertical.FilterRow(k, line.data()))
            continue;

        // Horizontal pass and compositing into the target row.
        TColor* targetRow = target.Row(rows.First + k).data() + columns.First;
        for (std::int32_t c = 0; c < columns.Count; ++c) {
            std::uint32_t pixel[4];
            FilterPixel(&line[4 * static_cast<std::size_t>(columns.Start[c] - colFirst)],
                        &columnWeights[static_cast<std::size_t>(c) * pairStride * 8], columns.Taps[c], pixel);
            targetRow[c] = CompositeOver(pixel, targetRow[c]);
        }
    }
}

void DrawBitmapAt(TBitmap& target, const TBitmap& src, std::int32_t x, std::int32_t y) {
    if (!target.IsValid() || !src.IsValid())
        return;
    // The overlap of src, placed at (x, y), with the target, in 64 bits so no offset can wrap.
    const std::int64_t left = std::max<std::int64_t>(0, x);
    const std::int64_t top = std::max<std::int64_t>(0, y);
    const std::int64_t right = std::min<std::int64_t>(target.Width(), std::int64_t{x} + src.Width());
    const std::int64_t bottom = std::min<std::int64_t>(target.Height(), std::int64_t{y} + src.Height());
    for (std::int64_t ty = top; ty < bottom; ++ty) {
        const TColor* from = src.Row(static_cast<std::int32_t>(ty - y)).data() - x;
        TColor* to = target.Row(static_cast<std::int32_t>(ty)).data();
        for (std::int64_t tx = left; tx < right; ++tx) {
            const TColor s = from[tx];
            const std::uint32_t a = s >> 24;
            if (a == 255 || (to[tx] >> 24) == 0) {
                to[tx] = s;
            } else if (a != 0) {
                const std::uint32_t premultiplied[4] = {(s & 0xFFu) * a, ((s >> 8) & 0xFFu) * a,
                                                        ((s >> 16) & 0xFFu) * a, a * 255u};
                to[tx] = CompositeOver(premultiplied, to[tx]);
            }
        }
    }
}

void RotateFlip(TBitmap& bitmap, TRotateFlip how) {
    if (!bitmap.IsValid())
        return;
    const std::int32_t width = bitmap.Width();
    const std::int32_t height = bitmap.Height();
    TBitmap rotated(height, width);
    const TColor* from = bitmap.Pixels().data();
    TColor* to = rotated.Pixels().data();
    const std::size_t newWidth = static_cast<std::size_t>(height);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x, ++from) {
            if (how == TRotateFlip::Rotate90FlipNone) // clockwise: the left column becomes the top row
                to[static_cast<std::size_t>(x) * newWidth + (height - 1 - y)] = *from;
            else // counter-clockwise: the top row becomes the left column
                to[static_cast<std::size_t>(width - 1 - x) * newWidth + y] = *from;
        }
    }
    bitmap = std::move(rotated);
}

} // namespace gw
