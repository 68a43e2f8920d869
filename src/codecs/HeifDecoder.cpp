#include "codecs/HeifDecoder.h"

#include "codecs/DecodeSupport.h"
#include "codecs/SharedLibrary.h"
#include "image/AreaReducer.h"
#include "image/Limits.h"

#include <memory>
#include <string>

#include <libheif/heif.h>

#ifndef GW_HEIF_SONAME
#define GW_HEIF_SONAME "libheif.so.1"
#endif

namespace gw {

namespace {

// clang-format off
#define GW_HEIF_FUNCTIONS(X) \
    X(heif_context_alloc) \
    X(heif_context_free) \
    X(heif_context_get_primary_image_handle) \
    X(heif_context_read_from_memory_without_copy) \
    X(heif_context_set_max_decoding_threads) \
    X(heif_context_set_maximum_image_size_limit) \
    X(heif_decode_image) \
    X(heif_decoding_options_alloc) \
    X(heif_decoding_options_free) \
    X(heif_image_get_bits_per_pixel_range) \
    X(heif_image_get_height) \
    X(heif_image_get_plane_readonly) \
    X(heif_image_get_width) \
    X(heif_image_handle_get_chroma_bits_per_pixel) \
    X(heif_image_handle_get_height) \
    X(heif_image_handle_get_ispe_height) \
    X(heif_image_handle_get_ispe_width) \
    X(heif_image_handle_get_luma_bits_per_pixel) \
    X(heif_image_handle_get_width) \
    X(heif_image_handle_has_alpha_channel) \
    X(heif_image_handle_is_premultiplied_alpha) \
    X(heif_image_handle_release) \
    X(heif_image_release)
// clang-format on
GW_LIBRARY_TABLE(THeifApi, GW_HEIF_FUNCTIONS)

const TBoundLibrary<THeifApi>& HeifLibrary() {
    return TBoundLibrary<THeifApi>::Get(GW_HEIF_SONAME);
}
const THeifApi& Heif() {
    return HeifLibrary().Api();
}

struct THeifFree {
    void operator()(heif_context* context) const { Heif().heif_context_free(context); }
    void operator()(const heif_image_handle* handle) const { Heif().heif_image_handle_release(handle); }
    void operator()(const heif_image* image) const { Heif().heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { Heif().heif_decoding_options_free(options); }
};
template <typename T> using THeifPtr = std::unique_ptr<T, THeifFree>;

TStatus Failure(const heif_error& error, const char* what) {
    std::string reason = std::string("HEIF ") + what;
    if (error.message != nullptr && *error.message != '\0')
        reason += std::string(": ") + error.message;
    switch (error.code) {
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature:
    case heif_error_Plugin_loading_error:
        return TStatus::Fail(TFailure::Unsupported, reason);
    case heif_error_Memory_allocation_error:
        return TStatus::Fail(TFailure::TooLarge, reason);
    case heif_error_Invalid_input:
        return TStatus::Fail(error.subcode == heif_suberror_End_of_data               ? TFailure::Truncated
                             : error.subcode == heif_suberror_Security_limit_exceeded ? TFailure::TooLarge
                                                                                      : TFailure::Corrupt,
                             reason);
    default:
        return TStatus::Fail(TFailure::Corrupt, reason);
    }
}

// The picture's size as decoded, before anything is decoded: the displayed size and the coded size
// (ispe) both within the limits, so that neither the image nor a rotated copy can exceed them.
TStatus CheckSize(const heif_image_handle* handle) {
    const int width = Heif().heif_image_handle_get_width(handle),
              height = Heif().heif_image_handle_get_height(handle);
    const int codedWidth = Heif().heif_image_handle_get_ispe_width(handle);
    const int codedHeight = Heif().heif_image_handle_get_ispe_height(handle);
    if (width <= 0 || height <= 0)
        return TStatus::Fail(TFailure::Corrupt, "HEIF image has no size");
    if (!limits::FitsBitmapLimits(width, height) ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > limits::kMaxHeifPixels ||
        (codedWidth > 0 && codedHeight > 0 && !limits::FitsBitmapLimits(codedWidth, codedHeight)))
        return TStatus::Fail(TFailure::TooLarge, "picture too large (" + std::to_string(width) + " x " +
                                                     std::to_string(height) + ")");
    return TStatus::Ok();
}

} // namespace

TStatus DecodeHeif(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                   TGPSize* sourceSize) {
    picture = TBitmap();
    if (const TStatus& library = HeifLibrary().Status(); !library)
        return TStatus::Fail(library.Kind(), "HEIF and AVIF pictures need libheif: " + library.Reason());
    const THeifPtr<heif_context> context(Heif().heif_context_alloc());
    if (!context)
        return TStatus::Fail(TFailure::TooLarge, "out of memory for a HEIF context");
    // libheif refuses images (grid and tiles included) with a side beyond this before it decodes them,
    // also when the coded stream claims more than the item's header: a 547-byte file whose header says
    // 16 x 12 and whose stream says 20568 x 61499 took 2 GB at the side limit of other pictures.
    Heif().heif_context_set_maximum_image_size_limit(context.get(), limits::kMaxHeifSide);
    // The decoders of grid tiles run on this thread: a conversion is one thread's work.
    Heif().heif_context_set_max_decoding_threads(context.get(), 0);
    if (heif_error error = Heif().heif_context_read_from_memory_without_copy(context.get(), data.data(),
                                                                             data.size(), nullptr);
        error.code != heif_error_Ok)
        return Failure(error, "file does not parse");

    heif_image_handle* rawHandle = nullptr;
    if (heif_error error = Heif().heif_context_get_primary_image_handle(context.get(), &rawHandle);
        error.code != heif_error_Ok)
        return Failure(error, "file has no primary image");
    const THeifPtr<const heif_image_handle> handle(rawHandle);
    if (TStatus status = CheckSize(handle.get()); !status)
        return status;

    const bool alpha = Heif().heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const THeifPtr<heif_decoding_options> options(Heif().heif_decoding_options_alloc());
    if (!options)
        return TStatus::Fail(TFailure::TooLarge, "out of memory for HEIF options");
    options->ignore_transformations = 0; // irot, imir and clap as the file says
    options->convert_hdr_to_8bit = 1;
    // 8-bit pictures are taken as planar RGB, the last step of libheif's colour conversion (the
    // interleaved forms cost one more copy of the picture: a 12-megapixel photo peaked 35 MB higher);
    // deeper ones interleaved, the one form libheif reduces to 8 bits.
    const bool planar = Heif().heif_image_handle_get_luma_bits_per_pixel(handle.get()) == 8 &&
                        Heif().heif_image_handle_get_chroma_bits_per_pixel(handle.get()) == 8;
    const heif_chroma chroma = planar  ? heif_chroma_444
                               : alpha ? heif_chroma_interleaved_RGBA
                                       : heif_chroma_interleaved_RGB;
    heif_image* rawImage = nullptr;
    if (heif_error error =
            Heif().heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get());
        error.code != heif_error_Ok)
        return Failure(error, "image does not decode");
    const THeifPtr<const heif_image> image(rawImage);

    // Each channel as a start, a row stride and a step between pixels, for both layouts.
    struct TChannel {
        const std::uint8_t* Data = nullptr;
        int Stride = 0;
        int Step = 1;
    };
    const heif_channel first = planar ? heif_channel_R : heif_channel_interleaved;
    const int width = Heif().heif_image_get_width(image.get(), first);
    const int height = Heif().heif_image_get_height(image.get(), first);
    const auto read = [&](heif_channel channel, int step, int offset) {
        TChannel result{nullptr, 0, step};
        if (Heif().heif_image_get_width(image.get(), channel) == width &&
            Heif().heif_image_get_height(image.get(), channel) == height &&
            Heif().heif_image_get_bits_per_pixel_range(image.get(), channel) == 8)
            result.Data = Heif().heif_image_get_plane_readonly(image.get(), channel, &result.Stride);
        if (result.Data == nullptr || width <= 0 || result.Stride < width * step)
            return TChannel{};
        result.Data += offset;
        return result;
    };
    const int step = planar ? 1 : alpha ? 4 : 3;
    const TChannel red = read(planar ? heif_channel_R : first, step, 0);
    const TChannel green = read(planar ? heif_channel_G : first, step, planar ? 0 : 1);
    const TChannel blue = read(planar ? heif_channel_B : first, step, planar ? 0 : 2);
    const TChannel opacity =
        alpha ? read(planar ? heif_channel_Alpha : first, step, planar ? 0 : 3) : TChannel{};
    if (red.Data == nullptr || green.Data == nullptr || blue.Data == nullptr ||
        (alpha && opacity.Data == nullptr))
        return TStatus::Fail(TFailure::Unsupported, "HEIF image did not decode to 8-bit RGB");
    TAreaReducer reducer;
    GW_TRY(reducer.Start(width, height, AreaReductionFactor(width, height, targetSide)));
    const bool premultiplied = alpha && Heif().heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;
    const auto at = [](const TChannel& c, int y, int x) {
        return c.Data[static_cast<std::ptrdiff_t>(y) * c.Stride + static_cast<std::ptrdiff_t>(x) * c.Step];
    };
    for (int y = 0; y < height; ++y) {
        const std::span<TColor> row = reducer.RowBuffer(y);
        for (int x = 0; x < width; ++x)
            row[x] =
                MakeColor(alpha ? at(opacity, y, x) : 255, at(red, y, x), at(green, y, x), at(blue, y, x));
        if (premultiplied)
            UnpremultiplyPixels(row);
        reducer.AddRow(y);
    }
    GW_TRY(reducer.Finish(picture));
    if (sourceSize != nullptr)
        *sourceSize = {width, height};
    return TStatus::Ok();
}

} // namespace gw
