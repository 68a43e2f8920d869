#include "codecs/DecodeSupport.h"

#include "image/Limits.h"

#include <algorithm>
#include <string>

namespace gw {

TStatus AllocatePicture(std::int64_t width, std::int64_t height, TBitmap& picture) {
    picture = TBitmap();
    if (width <= 0 || height <= 0)
        return TStatus::Fail(TFailure::Corrupt, "picture has no pixels (" + std::to_string(width) + " x " +
                                                    std::to_string(height) + ")");
    if (!limits::FitsBitmapLimits(width, height))
        return PictureTooLarge("picture", width, height);
    picture = TBitmap(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    if (!picture.IsValid())
        return TStatus::Fail(TFailure::TooLarge, "picture could not be allocated");
    return TStatus::Ok();
}

TStatus PictureTooLarge(const std::string& what, std::int64_t width, std::int64_t height, bool scaledSource) {
    const std::uint64_t pixels = scaledSource ? limits::kMaxScaledSourcePixels : limits::kMaxBitmapPixels;
    return TStatus::Fail(TFailure::TooLarge,
                         what + " too large (" + std::to_string(width) + " x " + std::to_string(height) +
                             "; the limit is " + std::to_string(limits::kMaxBitmapSide) +
                             " pixels a side and " + std::to_string(pixels) + " pixels in all)");
}

TStatus CheckReducedSize(const std::string& what, std::int64_t width, std::int64_t height,
                         std::int32_t targetSide) {
    if (width <= 0 || height <= 0)
        return TStatus::Fail(TFailure::Corrupt, what + " has no pixels (" + std::to_string(width) + " x " +
                                                    std::to_string(height) + ")");
    const bool reduced = AreaReductionFactor(width, height, targetSide) > 1;
    if (reduced ? !limits::FitsScaledSourceLimits(width, height) : !limits::FitsBitmapLimits(width, height))
        return PictureTooLarge(what, width, height, reduced);
    return TStatus::Ok();
}

TStatus StartReduction(const std::string& what, std::int64_t width, std::int64_t height,
                       std::int32_t targetSide, TAreaReducer& reducer, TGPSize* sourceSize,
                       TAreaReducer::TAlphaRule rule) {
    GW_TRY(CheckReducedSize(what, width, height, targetSide));
    const std::int32_t factor = AreaReductionFactor(width, height, targetSide);
    GW_TRY(reducer.Start(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), factor, rule));
    if (sourceSize != nullptr)
        *sourceSize = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
    return TStatus::Ok();
}

TStatus ReduceWholePicture(TBitmap& picture, std::int32_t targetSide, TGPSize* sourceSize) {
    if (sourceSize != nullptr)
        *sourceSize = {picture.Width(), picture.Height()};
    const std::int32_t factor = AreaReductionFactor(picture.Width(), picture.Height(), targetSide);
    if (factor == 1 || !picture.IsValid())
        return TStatus::Ok();
    TAreaReducer reducer;
    GW_TRY(reducer.Start(picture.Width(), picture.Height(), factor));
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        reducer.AddRow(y, picture.Row(y));
    return reducer.Finish(picture);
}

std::span<std::uint8_t> RowBytes(TBitmap& picture, std::int32_t y) {
    const std::span<TColor> row = picture.Row(y);
    return {reinterpret_cast<std::uint8_t*>(row.data()), row.size_bytes()};
}

void UnpremultiplyPixels(std::span<TColor> pixels) {
    for (TColor& pixel : pixels) {
        const std::uint32_t alpha = AlphaOf(pixel);
        if (alpha == 255)
            continue;
        if (alpha == 0) {
            pixel = 0;
            continue;
        }
        const auto scale = [alpha](std::uint32_t c) {
            return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (c * 255 + alpha / 2) / alpha));
        };
        pixel = MakeColor(static_cast<std::uint8_t>(alpha), scale(RedOf(pixel)), scale(GreenOf(pixel)),
                          scale(BlueOf(pixel)));
    }
}

} // namespace gw
