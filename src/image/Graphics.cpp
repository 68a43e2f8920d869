#include "image/Graphics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__) && !defined(GW_NO_SIMD) // GW_NO_SIMD builds the portable path for comparison
#include <emmintrin.h>
#define GW_GRAPHICS_SSE2 1
#else
#define GW_GRAPHICS_SSE2 0
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

// One run of straight pixels as premultiplied 16-bit channels B, G, R, A: c * a and a * 255. Both
// products fit 16 bits exactly, so the vector form (low halves of 16-bit products) equals the scalar one.
void PremultiplyRun(const TColor* row, std::int32_t count, std::uint16_t* out) {
    std::int32_t x = 0;
#if GW_GRAPHICS_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaFactor = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    for (; x + 2 <= count; x += 2) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x));
        const __m128i wide = _mm_unpacklo_epi8(bytes, zero); // B G R A B G R A as 16 bits
        __m128i alpha = _mm_shufflelo_epi16(wide, _MM_SHUFFLE(3, 3, 3, 3));
        alpha = _mm_shufflehi_epi16(alpha, _MM_SHUFFLE(3, 3, 3, 3));
        const __m128i factor = _mm_or_si128(_mm_and_si128(alpha, colourLanes), alphaFactor);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_mullo_epi16(wide, factor));
    }
#endif
    for (; x < count; ++x) {
        const TColor c = row[x];
        const std::uint32_t a = c >> 24;
        out[4 * x + 0] = static_cast<std::uint16_t>((c & 0xFFu) * a);
        out[4 * x + 1] = static_cast<std::uint16_t>(((c >> 8) & 0xFFu) * a);
        out[4 * x + 2] = static_cast<std::uint16_t>(((c >> 16) & 0xFFu) * a);
        out[4 * x + 3] = static_cast<std::uint16_t>(a * 255u);
    }
}

// sums[i] += weight * line[i] for every lane of a row.
void AccumulateLine(const std::uint16_t* line, std::uint32_t weight, std::size_t lanes, std::uint32_t* sums) {
    std::size_t i = 0;
#if GW_GRAPHICS_SSE2
    const __m128i w = _mm_set1_epi16(static_cast<std::int16_t>(weight));
    for (; i + 8 <= lanes; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
        const __m128i lo = _mm_mullo_epi16(v, w);
        const __m128i hi = _mm_mulhi_epu16(v, w);
        __m128i* s = reinterpret_cast<__m128i*>(sums + i);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_unpacklo_epi16(lo, hi)));
        _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_unpackhi_epi16(lo, hi)));
    }
#endif
    for (; i < lanes; ++i)
        sums[i] += weight * line[i];
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

    // Premultiplied source rows are kept in a ring large enough for the rows of one target row, so
    // each is converted once while successive target rows share it. A ring beyond the budget (only
    // for absurd reductions) shrinks to one row that is converted again on every use.
    constexpr std::size_t kRingBudgetBytes = 32u << 20;
    std::size_t ringRows = static_cast<std::size_t>(rows.Stride);
    if (ringRows * lanes * sizeof(std::uint16_t) > kRingBudgetBytes)
        ringRows = 1;
    std::vector<std::uint16_t> ring(ringRows * lanes);
    std::vector<std::int32_t> ringRow(ringRows, -1);

    std::vector<std::uint32_t> sums(lanes);
    std::vector<std::uint16_t> line(lanes + 4, 0); // one spare pixel for the paired horizontal taps
    for (std::int32_t k = 0; k < rows.Count; ++k) {
        // Vertical pass: the weighted sum of the source rows of this target row.
        std::fill(sums.begin(), sums.end(), kWeightHalf);
        for (std::int32_t t = 0; t < rows.Taps[k]; ++t) {
            const std::int32_t sy = rows.Start[k] + t;
            const std::size_t slot = static_cast<std::size_t>(sy) % ringRows;
            std::uint16_t* premultiplied = &ring[slot * lanes];
            if (ringRow[slot] != sy) {
                PremultiplyRun(src.Row(sy).data() + colFirst, static_cast<std::int32_t>(lanes / 4),
                               premultiplied);
                ringRow[slot] = sy;
            }
            AccumulateLine(premultiplied, rows.Weights[static_cast<std::size_t>(k) * rows.Stride + t], lanes,
                           sums.data());
        }
        for (std::size_t i = 0; i < lanes; ++i)
            line[i] = static_cast<std::uint16_t>(sums[i] >> kWeightBits);

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
