#include "image/AreaReducer.h"

#include "image/Limits.h"

#include <algorithm>
#include <string>

namespace gw {

namespace {

// Sums per reduced column: alpha, premultiplied B, G, R, then straight B, G, R (zero-alpha rule only).
constexpr std::size_t kPremultipliedSums = 4;
constexpr std::size_t kAllSums = 7;

std::uint8_t RoundedMean(std::uint32_t sum, std::uint32_t count) {
    return static_cast<std::uint8_t>((std::uint64_t{sum} + count / 2) / count);
}

} // namespace

std::int32_t AreaReductionFactor(std::int64_t width, std::int64_t height, std::int32_t targetSide) {
    if (targetSide <= 0 || width <= 0 || height <= 0)
        return 1;
    const std::int64_t factor = std::max(width, height) / targetSide;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(factor, 1, kMaxAreaFactor));
}

TStatus TAreaReducer::Start(std::int32_t width, std::int32_t height, std::int32_t factor, TAlphaRule rule) {
    *this = TAreaReducer();
    if (width <= 0 || height <= 0 || factor < 1 || factor > kMaxAreaFactor)
        return TStatus::Fail(TFailure::Corrupt, "picture has no pixels to reduce");
    const std::int32_t reducedWidth = (width - 1) / factor + 1;
    const std::int32_t reducedHeight = (height - 1) / factor + 1;
    if (!limits::FitsBitmapLimits(reducedWidth, reducedHeight))
        return TStatus::Fail(TFailure::TooLarge, "picture of " + std::to_string(reducedWidth) + " x " +
                                                     std::to_string(reducedHeight) +
                                                     " pixels is beyond the bitmap limits");
    FPicture = TBitmap(reducedWidth, reducedHeight);
    if (!FPicture.IsValid())
        return TStatus::Fail(TFailure::TooLarge, "picture could not be allocated");
    FWidth = width;
    FHeight = height;
    FFactor = factor;
    FRule = rule;
    if (factor > 1) {
        FScratch.assign(static_cast<std::size_t>(width), 0);
        FSums.assign(static_cast<std::size_t>(reducedWidth) *
                         (rule == TAlphaRule::ZeroAlphaIsOpaque ? kAllSums : kPremultipliedSums),
                     0);
    }
    return TStatus::Ok();
}

std::span<TColor> TAreaReducer::RowBuffer(std::int32_t y) {
    if (y < 0 || y >= FHeight) {
        FOutOfOrder = true;
        FScratch.assign(static_cast<std::size_t>(FWidth), 0);
        return FScratch;
    }
    if (FFactor == 1)
        return FPicture.Row(y);
    std::fill(FScratch.begin(), FScratch.end(), TColor{0});
    return FScratch;
}

void TAreaReducer::AddRow(std::int32_t y, std::span<const TColor> row) {
    const std::span<TColor> target = RowBuffer(y);
    std::copy_n(row.begin(), std::min(row.size(), target.size()), target.begin());
    AddRow(y);
}

void TAreaReducer::AddRow(std::int32_t y) {
    if (y < 0 || y >= FHeight) {
        FOutOfOrder = true;
        return;
    }
    if (FLastRow >= 0) {
        const std::int32_t direction = y > FLastRow ? 1 : -1;
        if (y == FLastRow || (FDirection != 0 && direction != FDirection))
            FOutOfOrder = true;
        FDirection = direction;
    }
    FLastRow = y;
    ++FRowsAdded;

    const bool zeroRule = FRule == TAlphaRule::ZeroAlphaIsOpaque;
    if (FFactor == 1) {
        if (zeroRule && !FAnyAlpha) {
            const std::span<const TColor> row = FPicture.Row(y);
            FAnyAlpha = std::any_of(row.begin(), row.end(), [](TColor c) { return AlphaOf(c) != 0; });
        }
        return;
    }

    const std::int32_t band = y / FFactor;
    if (band != FBand) {
        if (FBand >= 0)
            FlushBand();
        FBand = band;
        FBandRows = 0;
    }
    ++FBandRows;

    if (zeroRule && !FAnyAlpha &&
        std::any_of(FScratch.begin(), FScratch.end(), [](TColor c) { return AlphaOf(c) != 0; })) {
        // Every row before this one had alpha 0 everywhere: as alpha, those pixels are transparent.
        FAnyAlpha = true;
        ClearFlushedRows();
    }

    const std::size_t stride = zeroRule ? kAllSums : kPremultipliedSums;
    const std::int32_t columns = FPicture.Width();
    const TColor* pixel = FScratch.data();
    for (std::int32_t column = 0; column < columns; ++column) {
        const std::int32_t count = std::min(FFactor, FWidth - column * FFactor);
        std::uint32_t a = 0, b = 0, g = 0, r = 0, sb = 0, sg = 0, sr = 0;
        for (std::int32_t i = 0; i < count; ++i, ++pixel) {
            const TColor c = *pixel;
            const std::uint32_t alpha = c >> 24;
            const std::uint32_t blue = c & 0xFFu, green = (c >> 8) & 0xFFu, red = (c >> 16) & 0xFFu;
            a += alpha;
            b += blue * alpha;
            g += green * alpha;
            r += red * alpha;
            sb += blue;
            sg += green;
            sr += red;
        }
        std::uint32_t* sums = &FSums[static_cast<std::size_t>(column) * stride];
        sums[0] += a;
        sums[1] += b;
        sums[2] += g;
        sums[3] += r;
        if (zeroRule) {
            sums[4] += sb;
            sums[5] += sg;
            sums[6] += sr;
        }
    }
}

void TAreaReducer::FlushBand() {
    const std::int32_t rows = std::min(FFactor, FHeight - FBand * FFactor);
    if (FBandRows != rows)
        FOutOfOrder = true;
    const bool straight = FRule == TAlphaRule::ZeroAlphaIsOpaque && !FAnyAlpha;
    const std::size_t stride = FRule == TAlphaRule::ZeroAlphaIsOpaque ? kAllSums : kPremultipliedSums;
    const std::span<TColor> out = FPicture.Row(FBand);
    for (std::int32_t column = 0; column < FPicture.Width(); ++column) {
        std::uint32_t* sums = &FSums[static_cast<std::size_t>(column) * stride];
        const auto count = static_cast<std::uint32_t>(rows * std::min(FFactor, FWidth - column * FFactor));
        TColor colour = 0;
        if (straight) {
            colour = MakeColor(255, RoundedMean(sums[6], count), RoundedMean(sums[5], count),
                               RoundedMean(sums[4], count));
        } else if (sums[0] != 0) {
            colour = MakeColor(RoundedMean(sums[0], count), RoundedMean(sums[3], sums[0]),
                               RoundedMean(sums[2], sums[0]), RoundedMean(sums[1], sums[0]));
        }
        out[static_cast<std::size_t>(column)] = colour;
        std::fill_n(sums, stride, 0u);
    }
}

void TAreaReducer::ClearFlushedRows() {
    // Rows come in one direction, so the flushed reduced rows lie on one side of the current band.
    const std::int32_t first = FDirection < 0 ? FBand + 1 : 0;
    const std::int32_t end = FDirection < 0 ? FPicture.Height() : FBand;
    for (std::int32_t y = first; y < end; ++y) {
        const std::span<TColor> row = FPicture.Row(y);
        std::fill(row.begin(), row.end(), TColor{0});
    }
}

TStatus TAreaReducer::Finish(TBitmap& picture) {
    picture = TBitmap();
    if (FFactor > 1 && FBand >= 0)
        FlushBand();
    if (FOutOfOrder || FRowsAdded != FHeight || !FPicture.IsValid())
        return TStatus::Fail(TFailure::Corrupt, "the decoder did not deliver every row once");
    if (FFactor == 1 && FRule == TAlphaRule::ZeroAlphaIsOpaque && !FAnyAlpha) {
        for (TColor& pixel : FPicture.Pixels())
            pixel |= MakeColor(255, 0, 0, 0);
    }
    picture = std::move(FPicture);
    *this = TAreaReducer();
    return TStatus::Ok();
}

} // namespace gw
