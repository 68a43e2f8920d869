#include "image/AreaReducer.h"

#include "image/Limits.h"
#include "image/Premultiply.h"

#include <algorithm>
#include <string>

namespace gw {

namespace {

// Adds the premultiplied channels of count pixels to their column sums, four per pixel in the order
// B, G, R, A: c * a and a * 255, as the drawing filter weighs them.
void AddPremultiplied(const TColor* pixels, std::int32_t count, std::uint32_t* sums) {
    constexpr std::int32_t kChunk = 256;
    std::uint16_t channels[4 * kChunk];
    for (std::int32_t x = 0; x < count; x += kChunk) {
        const std::int32_t n = std::min(kChunk, count - x);
        PremultiplyRun(pixels + x, n, channels);
        std::uint32_t* s = sums + 4 * static_cast<std::size_t>(x);
        for (std::int32_t i = 0; i < 4 * n; ++i)
            s[i] += channels[i];
    }
}

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
        FSums.assign(static_cast<std::size_t>(width) * (rule == TAlphaRule::ZeroAlphaIsOpaque ? 8 : 4), 0);
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

    // Sums per source column over the band; the columns of a block are added up when it is flushed.
    AddPremultiplied(FScratch.data(), FWidth, FSums.data());
    if (zeroRule) {
        std::uint32_t* straight = FSums.data() + static_cast<std::size_t>(FWidth) * 4;
        for (std::int32_t x = 0; x < FWidth; ++x, straight += 4) {
            const TColor c = FScratch[static_cast<std::size_t>(x)];
            straight[0] += c & 0xFFu;
            straight[1] += (c >> 8) & 0xFFu;
            straight[2] += (c >> 16) & 0xFFu;
        }
    }
}

void TAreaReducer::FlushBand() {
    const std::int32_t rows = std::min(FFactor, FHeight - FBand * FFactor);
    if (FBandRows != rows)
        FOutOfOrder = true;
    const bool zeroRule = FRule == TAlphaRule::ZeroAlphaIsOpaque;
    const bool straight = zeroRule && !FAnyAlpha;
    const std::uint32_t* premultiplied = FSums.data();
    const std::uint32_t* plain = FSums.data() + static_cast<std::size_t>(FWidth) * 4;
    const std::span<TColor> out = FPicture.Row(FBand);
    for (std::int32_t column = 0; column < FPicture.Width(); ++column) {
        const std::int32_t first = column * FFactor;
        const std::int32_t count = std::min(FFactor, FWidth - first);
        const std::uint32_t* block = (straight ? plain : premultiplied) + static_cast<std::size_t>(first) * 4;
        std::uint32_t b = 0, g = 0, r = 0, a = 0;
        for (std::int32_t i = 0; i < count; ++i, block += 4) {
            b += block[0];
            g += block[1];
            r += block[2];
            a += block[3];
        }
        const auto pixels = static_cast<std::uint32_t>(rows * count);
        a /= 255; // exact: the alpha sums are on the premultiplied scale, a * 255
        TColor colour = 0;
        if (straight)
            colour = MakeColor(255, RoundedMean(r, pixels), RoundedMean(g, pixels), RoundedMean(b, pixels));
        else if (a != 0)
            colour =
                MakeColor(RoundedMean(a, pixels), RoundedMean(r, a), RoundedMean(g, a), RoundedMean(b, a));
        out[static_cast<std::size_t>(column)] = colour;
    }
    std::fill(FSums.begin(), FSums.end(), 0u);
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
