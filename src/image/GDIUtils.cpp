#include "image/GDIUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gw {

namespace {

using TExtended = long double;

// The kept steps store their value in single precision, straight from the extended result (one
// rounding, never through double).
float Single(TExtended v) {
    return static_cast<float>(v);
}

// An extended value as a 32-bit integer, rounded half to even; NaN gives 0 and values beyond the
// range saturate, so no input can reach an undefined conversion.
std::int32_t RoundToInt32(TExtended v) {
    const TExtended r = RoundHalfEven(v);
    if (std::isnan(r))
        return 0;
    if (r <= static_cast<TExtended>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (r >= static_cast<TExtended>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::int32_t SaturateInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// The fitted size of ShrinkToFit and ScaleToFit: the percentages of both sides are kept as singles
// and the side with the smaller percentage fills the bounds; a tie goes to the height.
void FitBySmallerPercentage(const TGPRectF& bounds, const TGPRectF& source, float& w, float& h) {
    const float pw = Single(TExtended{bounds.Width} * 100 / TExtended{source.Width});
    const float ph = Single(TExtended{bounds.Height} * 100 / TExtended{source.Height});
    if (pw >= ph) {
        h = bounds.Height;
        w = Single(TExtended{ph} * TExtended{source.Width} / 100);
    } else {
        w = bounds.Width;
        h = Single(TExtended{pw} * TExtended{source.Height} / 100);
    }
}

float CentredOffset(float bound, float size) {
    return Single((TExtended{bound} - TExtended{size}) / 2);
}

} // namespace

long double RoundHalfEven(long double v) {
    if (!std::isfinite(v))
        return v;
    const long double lower = std::floor(v);
    const long double fraction = v - lower; // exact for every finite v
    if (fraction > 0.5L)
        return lower + 1;
    if (fraction < 0.5L)
        return lower;
    return std::fmod(lower, 2.0L) == 0 ? lower : lower + 1;
}

TGPRectF ShrinkToFit(const TGPRectF& bounds, const TGPRectF& source) {
    float w = source.Width;
    float h = source.Height;
    if (source.Width > bounds.Width || source.Height > bounds.Height)
        FitBySmallerPercentage(bounds, source, w, h);
    return {CentredOffset(bounds.Width, w), CentredOffset(bounds.Height, h), w, h};
}

TGPRectF CenterInRect(const TGPRectF& bounds, const TGPRectF& source) {
    // A NaN offset compares false and becomes 0, like a negative one.
    const float x = CentredOffset(bounds.Width, source.Width);
    const float y = CentredOffset(bounds.Height, source.Height);
    return {x > 0 ? x : 0.0f, y > 0 ? y : 0.0f, source.Width, source.Height};
}

TGPRectF ScaleToFit(const TGPRectF& bounds, const TGPRectF& source) {
    float w = 0;
    float h = 0;
    FitBySmallerPercentage(bounds, source, w, h);
    return {CentredOffset(bounds.Width, w), CentredOffset(bounds.Height, h),
            static_cast<float>(RoundHalfEven(w)), static_cast<float>(RoundHalfEven(h))};
}

TGPSize FitSize(std::int32_t w, std::int32_t h, std::int32_t m) {
    if (w < m && h < m)
        return {w, h};
    // NOTE: m * 100 is formed in 64 bits; a 32-bit product would overflow for sides beyond 21 million.
    const TExtended scaledSide = static_cast<TExtended>(std::int64_t{m} * 100);
    if (h < w) {
        const float p = Single(scaledSide / w);
        return {m, RoundToInt32(static_cast<TExtended>(h) * TExtended{p} / 100)};
    }
    const float p = Single(scaledSide / h);
    return {RoundToInt32(static_cast<TExtended>(w) * TExtended{p} / 100), m};
}

TGPRect ClipToBounds(const TGPRect& bounds, const TGPRect& r) {
    // 64-bit arithmetic: hostile positions near the 32-bit limits must not wrap.
    std::int64_t x = r.X, y = r.Y, w = r.Width, h = r.Height;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (x + w > bounds.Width)
        w = std::max<std::int64_t>(0, std::int64_t{bounds.Width} - x);
    if (y + h > bounds.Height)
        h = std::max<std::int64_t>(0, std::int64_t{bounds.Height} - y);
    return {SaturateInt32(x), SaturateInt32(y), SaturateInt32(w), SaturateInt32(h)};
}

} // namespace gw
