#include "codecs/WebpDecoder.h"

#include "codecs/DecodeSupport.h"

#include <cstring>
#include <memory>
#include <string>

#include <webp/decode.h>
#include <webp/demux.h>

namespace gw {

namespace {

TStatus Failure(VP8StatusCode code, const char* what) {
    switch (code) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return TStatus::Fail(TFailure::Truncated, std::string("WebP data ends early (") + what + ")");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return TStatus::Fail(TFailure::Unsupported, std::string("WebP feature not supported (") + what + ")");
    case VP8_STATUS_OUT_OF_MEMORY:
        return TStatus::Fail(TFailure::TooLarge, std::string("out of memory decoding WebP (") + what + ")");
    default:
        return TStatus::Fail(TFailure::Corrupt, std::string("WebP data is corrupt (") + what + ")");
    }
}

struct TAnimDecoderFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The first frame of an animation as libwebpdemux composes it onto the canvas (its offset, blending
// and the canvas background it starts from).
TStatus DecodeFirstFrame(std::span<const std::uint8_t> data, TBitmap& picture) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return TStatus::Fail(TFailure::Unsupported, "libwebp version mismatch");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData webpData{data.data(), data.size()};
    const std::unique_ptr<WebPAnimDecoder, TAnimDecoderFree> decoder(WebPAnimDecoderNew(&webpData, &options));
    if (!decoder)
        return TStatus::Fail(TFailure::Corrupt, "WebP animation does not parse");
    WebPAnimInfo info{};
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info))
        return TStatus::Fail(TFailure::Corrupt, "WebP animation has no canvas");
    if (static_cast<std::int64_t>(info.canvas_width) != picture.Width() ||
        static_cast<std::int64_t>(info.canvas_height) != picture.Height())
        return TStatus::Fail(TFailure::Corrupt, "WebP animation canvas differs from its header");
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || frame == nullptr)
        return TStatus::Fail(TFailure::Corrupt, "WebP animation's first frame does not decode");
    std::memcpy(picture.Pixels().data(), frame, picture.Pixels().size_bytes());
    return TStatus::Ok();
}

} // namespace

TStatus DecodeWebp(std::span<const std::uint8_t> data, TBitmap& picture) {
    picture = TBitmap();
    WebPBitstreamFeatures features{};
    if (const VP8StatusCode code = WebPGetFeatures(data.data(), data.size(), &features);
        code != VP8_STATUS_OK)
        return Failure(code, "header");
    if (TStatus status = AllocatePicture(features.width, features.height, picture); !status)
        return status;
    TStatus status;
    if (features.has_animation) {
        status = DecodeFirstFrame(data, picture);
    } else {
        // Straight into the picture's pixels: no second copy of the picture.
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config))
            return TStatus::Fail(TFailure::Unsupported, "libwebp version mismatch");
        const std::span<TColor> pixels = picture.Pixels();
        config.options.use_threads = 0;
        config.output.colorspace = MODE_BGRA;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = reinterpret_cast<std::uint8_t*>(pixels.data());
        config.output.u.RGBA.stride = picture.Width() * 4;
        config.output.u.RGBA.size = pixels.size_bytes();
        const VP8StatusCode code = WebPDecode(data.data(), data.size(), &config);
        WebPFreeDecBuffer(&config.output);
        if (code != VP8_STATUS_OK)
            status = Failure(code, "picture data");
    }
    if (!status)
        picture = TBitmap();
    return status;
}

} // namespace gw
