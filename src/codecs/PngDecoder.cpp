#include "codecs/PngDecoder.h"

#include "codecs/DecodeSupport.h"
#include "codecs/PngChunks.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

namespace gw {

namespace {

constexpr std::size_t kSignatureSize = 8;

// State the libpng callbacks reach through the io and error pointers. libpng errors jump back to the
// setjmp of the step that made the failing call; the steps hold no C++ object with a destructor
// across their libpng calls, so the jump skips nothing.
struct TPngContext {
    std::span<const std::uint8_t> Data;
    std::size_t Position = 0;
    char Message[160] = {};
    TFailure Kind = TFailure::Corrupt;
};

void OnError(png_structp png, png_const_charp message) {
    auto* context = static_cast<TPngContext*>(png_get_error_ptr(png));
    if (context->Message[0] == '\0')
        std::snprintf(context->Message, sizeof context->Message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, png_size_t count) {
    auto* context = static_cast<TPngContext*>(png_get_io_ptr(png));
    if (count > context->Data.size() - context->Position) {
        context->Kind = TFailure::Truncated;
        png_error(png, "file ends early");
    }
    std::memcpy(out, context->Data.data() + context->Position, count);
    context->Position += count;
}

class TPngSession {
public:
    explicit TPngSession(std::span<const std::uint8_t> data) {
        FContext.Data = data;
        FPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &FContext, OnError, OnWarning);
        if (FPng != nullptr)
            FInfo = png_create_info_struct(FPng);
    }
    ~TPngSession() {
        if (FPng != nullptr)
            png_destroy_read_struct(&FPng, FInfo != nullptr ? &FInfo : nullptr, nullptr);
    }
    TPngSession(const TPngSession&) = delete;
    TPngSession& operator=(const TPngSession&) = delete;

    bool IsCreated() const { return FPng != nullptr && FInfo != nullptr; }
    TStatus Failure() const { return TStatus::Fail(FContext.Kind, std::string("PNG: ") + FContext.Message); }

    // Reads the header and sets the transforms that turn every PNG into 8-bit B, G, R, A. Limits are in
    // force before the header is read, so libpng itself refuses oversized IHDR values.
    bool ReadHeader(png_uint_32& width, png_uint_32& height, png_size_t& rowBytes) {
        if (setjmp(png_jmpbuf(FPng)))
            return false;
        png_set_user_limits(FPng, limits::kMaxBitmapSide, limits::kMaxBitmapSide);
        png_set_chunk_cache_max(FPng, limits::kMaxPngChunkCache);
        png_set_chunk_malloc_max(FPng, static_cast<png_alloc_size_t>(limits::kMaxPngChunkBytes));
        png_set_keep_unknown_chunks(FPng, PNG_HANDLE_CHUNK_NEVER,
                                    reinterpret_cast<png_const_bytep>(kUnusedPngChunks),
                                    kUnusedPngChunkCount);
        png_set_read_fn(FPng, &FContext, OnRead);
        png_read_info(FPng, FInfo);

        const png_byte colorType = png_get_color_type(FPng, FInfo);
        const png_byte bitDepth = png_get_bit_depth(FPng, FInfo);
        const bool hasTransparency = png_get_valid(FPng, FInfo, PNG_INFO_tRNS) != 0;
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(FPng);
        if ((colorType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(FPng);
        if (hasTransparency)
            png_set_tRNS_to_alpha(FPng);
        if (bitDepth == 16)
            png_set_scale_16(FPng);
        if ((colorType & PNG_COLOR_MASK_COLOR) == 0)
            png_set_gray_to_rgb(FPng);
        if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !hasTransparency)
            png_set_add_alpha(FPng, 0xFF, PNG_FILLER_AFTER);
        png_set_bgr(FPng);
        png_set_interlace_handling(FPng);
        png_read_update_info(FPng, FInfo);

        width = png_get_image_width(FPng, FInfo);
        height = png_get_image_height(FPng, FInfo);
        rowBytes = png_get_rowbytes(FPng, FInfo);
        return true;
    }

    bool ReadImage(std::span<png_bytep> rows) {
        if (setjmp(png_jmpbuf(FPng)))
            return false;
        png_read_image(FPng, rows.data());
        return true;
    }

private:
    TPngContext FContext;
    png_structp FPng = nullptr;
    png_infop FInfo = nullptr;
};

// The IHDR chunk must come first (PNG standard, 5.6), so its size is known before libpng starts.
// Sizes beyond our limits are refused here as too large; libpng's own user limits stay as a backstop.
TStatus CheckHeaderSize(std::span<const std::uint8_t> data) {
    TByteReader reader(data);
    std::uint32_t chunkLength = 0, chunkType = 0, width = 0, height = 0;
    constexpr std::uint32_t kIhdr = 0x49484452;
    if (!reader.Skip(kSignatureSize) || !reader.ReadU32BE(chunkLength) || !reader.ReadU32BE(chunkType) ||
        chunkType != kIhdr || !reader.ReadU32BE(width) || !reader.ReadU32BE(height))
        return TStatus::Ok(); // libpng reports the malformed header
    if (width > 0 && height > 0 && !limits::FitsBitmapLimits(width, height))
        return PictureTooLarge("PNG: picture", width, height);
    return TStatus::Ok();
}

} // namespace

TStatus DecodePng(std::span<const std::uint8_t> data, TBitmap& picture) {
    picture = TBitmap();
    if (data.size() < kSignatureSize || png_sig_cmp(data.data(), 0, kSignatureSize) != 0)
        return TStatus::Fail(TFailure::Corrupt, "PNG: bad signature");
    if (TStatus status = CheckHeaderSize(data); !status)
        return status;
    TPngSession session(data);
    if (!session.IsCreated())
        return TStatus::Fail(TFailure::TooLarge, "PNG: decoder could not be created");
    png_uint_32 width = 0, height = 0;
    png_size_t rowBytes = 0;
    if (!session.ReadHeader(width, height, rowBytes))
        return session.Failure();
    if (TStatus status = AllocatePicture(width, height, picture); !status)
        return TStatus::Fail(status.Kind(), "PNG: " + status.Reason());
    if (rowBytes != static_cast<png_size_t>(width) * sizeof(TColor)) {
        picture = TBitmap();
        return TStatus::Fail(TFailure::Unsupported, "PNG: unexpected row layout after transforms");
    }
    // libpng writes each row (every interlace pass included) straight into the picture.
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = RowBytes(picture, static_cast<std::int32_t>(y)).data();
    if (!session.ReadImage(rows)) {
        picture = TBitmap();
        return session.Failure();
    }
    return TStatus::Ok();
}

} // namespace gw
