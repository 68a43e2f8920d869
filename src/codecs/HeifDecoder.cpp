#include "codecs/HeifDecoder.h"

#include "codecs/DecodeSupport.h"
#include "image/Limits.h"

#include <memory>
#include <string>

#include <libheif/heif.h>

namespace gw {

namespace {

struct THeifFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(const heif_image* image) const { heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
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
    const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
    const int codedWidth = heif_image_handle_get_ispe_width(handle);
    const int codedHeight = heif_image_handle_get_ispe_height(handle);
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

TStatus DecodeHeif(std::span<const std::uint8_t> data, TBitmap& picture) {
    picture = TBitmap();
    const THeifPtr<heif_context> context(heif_context_alloc());
    if (!context)
        return TStatus::Fail(TFailure::TooLarge, "out of memory for a HEIF context");
    // libheif refuses images (grid and tiles included) with a side beyond this before it decodes them,
    // also when the coded stream claims more than the item's header: a 547-byte file whose header says
    // 16 x 12 and whose stream says 20568 x 61499 took 2 GB at the side limit of other pictures.
    heif_context_set_maximum_image_size_limit(context.get(), limits::kMaxHeifSide);
    // The decoders of grid tiles run on this thread: a conversion is one thread's work.
    heif_context_set_max_decoding_threads(context.get(), 0);
    if (heif_error error =
            heif_context_read_from_memory_without_copy(context.get(), data.data(), data.size(), nullptr);
        error.code != heif_error_Ok)
        return Failure(error, "file does not parse");

    heif_image_handle* rawHandle = nullptr;
    if (heif_error error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
        error.code != heif_error_Ok)
        return Failure(error, "file has no primary image");
    const THeifPtr<const heif_image_handle> handle(rawHandle);
    if (TStatus status = CheckSize(handle.get()); !status)
        return status;

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const THeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        return TStatus::Fail(TFailure::TooLarge, "out of memory for HEIF options");
    options->ignore_transformations = 0; // irot, imir and clap as the file says
    options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    if (heif_error error = heif_decode_image(
            handle.get(), &rawImage, heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
        error.code != heif_error_Ok)
        return Failure(error, "image does not decode");
    const THeifPtr<const heif_image> image(rawImage);

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3;
    if (plane == nullptr || heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8 ||
        stride < width * channels)
        return TStatus::Fail(TFailure::Unsupported, "HEIF image did not decode to 8-bit RGB");
    if (TStatus status = AllocatePicture(width, height, picture); !status)
        return status;
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = plane + static_cast<std::ptrdiff_t>(y) * stride;
        const std::span<TColor> row = picture.Row(y);
        for (int x = 0; x < width; ++x, in += channels)
            row[x] = MakeColor(alpha ? in[3] : 255, in[0], in[1], in[2]);
        if (premultiplied)
            UnpremultiplyPixels(row);
    }
    return TStatus::Ok();
}

} // namespace gw
