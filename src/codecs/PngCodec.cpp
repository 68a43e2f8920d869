#include "codecs/PngCodec.h"

#include "codecs/PngChunks.h"
#include "image/Limits.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace gw {

std::size_t SamplesPerPixel(TPngColorType colorType) {
    switch (colorType) {
    case TPngColorType::ctGrey:
    case TPngColorType::ctPalette:
        return 1;
    case TPngColorType::ctGreyAlpha:
        return 2;
    case TPngColorType::ctRgb:
        return 3;
    case TPngColorType::ctRgba:
        return 4;
    }
    return 0;
}

std::size_t TPngImage::SamplesPerPixel() const {
    return gw::SamplesPerPixel(ColorType);
}

bool TPngImage::HasConsistentSamples() const {
    if (Width <= 0 || Height <= 0)
        return false;
    const auto rowBytes = static_cast<std::uint64_t>(RowBytes());
    return rowBytes != 0 && Samples.size() / rowBytes == static_cast<std::uint64_t>(Height) &&
           Samples.size() % rowBytes == 0;
}

namespace {

constexpr int kCompressionLevel = 7;

// What libpng's callbacks report back to us, for one decode or encode.
struct TCodecState {
    std::string Message;
    bool Truncated = false;
    bool LimitHit = false;
    // Decoding: the PNG data and the read position.
    std::span<const std::uint8_t> Input;
    std::size_t Offset = 0;
    // Encoding: where the PNG data goes.
    std::vector<std::uint8_t>* Output = nullptr;
};

TCodecState& StateOf(png_structp png, bool errorPtr) {
    return *static_cast<TCodecState*>(errorPtr ? png_get_error_ptr(png) : png_get_io_ptr(png));
}

void Remember(std::string& target, const char* text) noexcept {
    try {
        target = text != nullptr ? text : "";
    } catch (...) {
        // Losing the message text must not stop the error from being reported.
    }
}

bool Append(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t length) noexcept {
    try {
        out.insert(out.end(), data, data + length);
        return true;
    } catch (...) {
        return false;
    }
}

// libpng's error handler must not return (libpng would print and abort the process otherwise): it
// records the message and jumps back to the setjmp in RunGuarded.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    Remember(StateOf(png, true).Message, message);
    png_longjmp(png, 1);
}

// Warnings are not printed. The one that matters is libpng refusing a side above the user limit,
// which it reports as a warning before it raises the error.
void OnPngWarning(png_structp png, png_const_charp message) {
    if (message != nullptr && std::strstr(message, "exceeds user limit") != nullptr)
        StateOf(png, true).LimitHit = true;
}

void OnPngRead(png_structp png, png_bytep out, std::size_t length) {
    TCodecState& state = StateOf(png, false);
    if (length > state.Input.size() - state.Offset) {
        state.Truncated = true;
        png_error(png, "PNG data ends early");
    }
    std::memcpy(out, state.Input.data() + state.Offset, length);
    state.Offset += length;
}

void OnPngWrite(png_structp png, png_bytep data, std::size_t length) {
    if (!Append(*StateOf(png, false).Output, data, length))
        png_error(png, "out of memory for PNG data");
}

void OnPngFlush(png_structp) {}

// Runs one step of libpng calls; false when libpng raised an error during it.
// NOTE: this is the only place that calls setjmp. Neither this frame nor the steps (lambdas that
// only call libpng) own objects with destructors, so the longjmp out of libpng skips no destructor;
// every C++ object involved lives in the caller.
template <typename TStep> bool RunGuarded(png_structp png, const TStep& step) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    step();
    return true;
}

// Owns a libpng read or write structure with its info structure.
class TPngHandle {
public:
    TPngHandle(bool forWriting, TCodecState& state) : FWriting(forWriting) {
        FPng = forWriting ? png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning)
                          : png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
        if (FPng != nullptr)
            FInfo = png_create_info_struct(FPng);
    }
    ~TPngHandle() {
        if (FPng == nullptr)
            return;
        if (FWriting)
            png_destroy_write_struct(&FPng, FInfo != nullptr ? &FInfo : nullptr);
        else
            png_destroy_read_struct(&FPng, FInfo != nullptr ? &FInfo : nullptr, nullptr);
    }
    TPngHandle(const TPngHandle&) = delete;
    TPngHandle& operator=(const TPngHandle&) = delete;

    bool IsValid() const { return FPng != nullptr && FInfo != nullptr; }
    png_structp Png() const { return FPng; }
    png_infop Info() const { return FInfo; }

private:
    bool FWriting;
    png_structp FPng = nullptr;
    png_infop FInfo = nullptr;
};

TStatus CodecFailure(const TCodecState& state) {
    if (state.LimitHit)
        return TStatus::Fail(TFailure::TooLarge, "PNG side above " + std::to_string(limits::kMaxPngSide));
    if (state.Truncated)
        return TStatus::Fail(TFailure::Truncated, "PNG data ends early");
    return TStatus::Fail(TFailure::Corrupt, "libpng: " + state.Message);
}

// A tRNS sample of a grey or RGB image (at the image's bit depth) as the 8-bit sample the decoded
// rows hold for the same value; nullopt when the bit depth cannot hold the value.
std::optional<std::uint8_t> KeySample(png_uint_16 value, int bitDepth) {
    if (bitDepth == 16)
        return static_cast<std::uint8_t>(value >> 8);
    const unsigned maxValue = (1u << bitDepth) - 1;
    if (value > maxValue)
        return std::nullopt;
    return static_cast<std::uint8_t>(value * (255u / maxValue));
}

// The tRNS colour of a 16-bit grey or RGB image at full precision (a grey level in all three).
using TKey16 = std::array<png_uint_16, 3>;

// Copies the header fields, the palette and the transparency chunk of a freshly read PNG; key16 gets
// the 16-bit tRNS colour of a 16-bit grey or RGB image. Only getters are called here, none of which
// raises a libpng error.
void TakeHeader(png_structp png, png_infop info, TPngImage& image, std::optional<TKey16>& key16) {
    image.Width = static_cast<std::int32_t>(png_get_image_width(png, info));
    image.Height = static_cast<std::int32_t>(png_get_image_height(png, info));
    image.BitDepth = png_get_bit_depth(png, info);
    image.ColorType = static_cast<TPngColorType>(png_get_color_type(png, info));
    image.Interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;

    if (image.ColorType == TPngColorType::ctPalette) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) != 0 && palette != nullptr) {
            for (int i = 0; i < count && i < PNG_MAX_PALETTE_LENGTH; ++i)
                image.Palette.push_back({palette[i].red, palette[i].green, palette[i].blue});
        }
    }

    png_bytep alpha = nullptr;
    int count = 0;
    png_color_16p color = nullptr;
    if (png_get_tRNS(png, info, &alpha, &count, &color) == 0)
        return;
    image.Trns.Present = true;
    if (image.ColorType == TPngColorType::ctPalette) {
        if (alpha != nullptr)
            image.Trns.PaletteAlpha.assign(alpha,
                                           alpha + std::max(0, std::min(count, PNG_MAX_PALETTE_LENGTH)));
        return;
    }
    if (color == nullptr)
        return;
    const bool grey = image.ColorType == TPngColorType::ctGrey;
    const auto red = KeySample(grey ? color->gray : color->red, image.BitDepth);
    const auto green = KeySample(grey ? color->gray : color->green, image.BitDepth);
    const auto blue = KeySample(grey ? color->gray : color->blue, image.BitDepth);
    if (red && green && blue)
        image.Trns.Color = TPngRgb{*red, *green, *blue};
    if (image.BitDepth == 16)
        key16 = grey ? TKey16{color->gray, color->gray, color->gray}
                     : TKey16{color->red, color->green, color->blue};
}

// Asks libpng for one byte per sample: palette indices unpacked, low grey depths scaled to 8 bits,
// 16-bit samples cut to their high byte (unless keepSixteen: the caller cuts them itself), tRNS left
// as a chunk (never turned into alpha).
void RequestEightBitSamples(png_structp png, const TPngImage& image, bool keepSixteen) {
    if (image.ColorType == TPngColorType::ctPalette)
        png_set_packing(png);
    else if (image.ColorType == TPngColorType::ctGrey && image.BitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (image.BitDepth == 16 && !keepSixteen)
        png_set_strip_16(png);
    png_set_interlace_handling(png);
}

// Turns the big-endian 16-bit rows of a keyed grey or RGB image into the high bytes in image.Samples,
// and marks in image.Trns.KeyMask the pixels equal to the key in all 16 bits.
void CutKeyedSixteenBitRows(std::span<const std::uint8_t> rows, const TKey16& key, TPngImage& image) {
    const std::size_t samplesPerPixel = image.SamplesPerPixel();
    const std::size_t pixels = static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height);
    image.Trns.KeyMask.assign(pixels, 0);
    for (std::size_t pixel = 0; pixel < pixels; ++pixel) {
        bool matches = true;
        for (std::size_t c = 0; c < samplesPerPixel; ++c) {
            const std::size_t i = pixel * samplesPerPixel + c;
            const auto value = static_cast<png_uint_16>(rows[2 * i] << 8 | rows[2 * i + 1]);
            image.Samples[i] = rows[2 * i];
            matches = matches && value == key[c];
        }
        image.Trns.KeyMask[pixel] = matches ? 1 : 0;
    }
}

} // namespace

TStatus DecodePng(std::span<const std::uint8_t> data, TPngImage& png) {
    TCodecState state;
    state.Input = data;
    TPngHandle handle(false, state);
    if (!handle.IsValid())
        return TStatus::Fail(TFailure::TooLarge, "libpng could not allocate its decoder");
    png_structp p = handle.Png();
    png_infop info = handle.Info();

    if (!RunGuarded(p, [&] {
            png_set_read_fn(p, &state, OnPngRead);
            png_set_user_limits(p, limits::kMaxPngSide, limits::kMaxPngSide);
            png_set_chunk_cache_max(p, limits::kMaxIconPngChunkCache);
            png_set_chunk_malloc_max(p, limits::kMaxIconPngChunkBytes);
            png_set_keep_unknown_chunks(p, PNG_HANDLE_CHUNK_NEVER,
                                        reinterpret_cast<png_const_bytep>(kUnusedPngChunks),
                                        kUnusedPngChunkCount);
            png_read_info(p, info);
        }))
        return CodecFailure(state);

    TPngImage image;
    std::optional<TKey16> key16;
    TakeHeader(p, info, image, key16);
    if (image.Width <= 0 || image.Height <= 0 ||
        static_cast<std::uint32_t>(image.Width) > limits::kMaxPngSide ||
        static_cast<std::uint32_t>(image.Height) > limits::kMaxPngSide ||
        !limits::FitsBitmapLimits(image.Width, image.Height))
        return TStatus::Fail(TFailure::TooLarge, "PNG of " + std::to_string(image.Width) + " x " +
                                                     std::to_string(image.Height) +
                                                     " pixels is beyond the limits");

    // A 16-bit key must be compared before the samples lose their low byte: such images are read at
    // 16 bits into wide and cut here.
    const bool keepSixteen = key16.has_value();
    const std::size_t readRowBytes = image.RowBytes() * (keepSixteen ? 2 : 1);
    if (keepSixteen && readRowBytes * static_cast<std::size_t>(image.Height) > limits::kMaxDecoderMemoryBytes)
        return TStatus::Fail(TFailure::TooLarge, "16-bit PNG rows beyond the decoder's memory");
    if (!RunGuarded(p, [&] {
            RequestEightBitSamples(p, image, keepSixteen);
            png_read_update_info(p, info);
        }))
        return CodecFailure(state);
    if (png_get_rowbytes(p, info) != readRowBytes)
        return TStatus::Fail(TFailure::Unsupported, "libpng's row layout differs from the expected one");

    std::vector<std::uint8_t> wide;
    std::vector<png_bytep> rows;
    try {
        image.Samples.resize(image.RowBytes() * static_cast<std::size_t>(image.Height));
        if (keepSixteen)
            wide.resize(readRowBytes * static_cast<std::size_t>(image.Height));
        rows.resize(static_cast<std::size_t>(image.Height));
    } catch (const std::bad_alloc&) {
        return TStatus::Fail(TFailure::TooLarge, "no memory for the PNG's pixels");
    }
    std::uint8_t* const target = keepSixteen ? wide.data() : image.Samples.data();
    for (std::size_t y = 0; y < rows.size(); ++y)
        rows[y] = target + y * readRowBytes;

    png_bytepp rowPointers = rows.data();
    if (!RunGuarded(p, [&] {
            png_read_image(p, rowPointers);
            png_read_end(p, nullptr);
        }))
        return CodecFailure(state);
    if (keepSixteen)
        CutKeyedSixteenBitRows(wide, *key16, image);

    png = std::move(image);
    return TStatus::Ok();
}

TStatus EncodePng(const TPngImage& png, std::vector<std::uint8_t>& out) {
    if (png.ColorType != TPngColorType::ctRgba || png.BitDepth != 8 || png.Interlaced)
        return TStatus::Fail(TFailure::Unsupported, "only non-interlaced 8-bit RGBA PNG data is written");
    if (static_cast<std::uint32_t>(png.Width) > limits::kMaxPngSide ||
        static_cast<std::uint32_t>(png.Height) > limits::kMaxPngSide ||
        !limits::FitsBitmapLimits(png.Width, png.Height))
        return TStatus::Fail(TFailure::TooLarge, "image too large for PNG data");
    if (!png.HasConsistentSamples())
        return TStatus::Fail(TFailure::Corrupt, "pixel buffer does not match the image size");

    std::vector<std::uint8_t> bytes;
    std::vector<png_bytep> rows;
    try {
        rows.resize(static_cast<std::size_t>(png.Height));
    } catch (const std::bad_alloc&) {
        return TStatus::Fail(TFailure::TooLarge, "no memory for the row table");
    }
    // libpng's row pointers are not const, but without transformations the writer only reads them.
    auto* samples = const_cast<std::uint8_t*>(png.Samples.data());
    for (std::size_t y = 0; y < rows.size(); ++y)
        rows[y] = samples + y * png.RowBytes();

    TCodecState state;
    state.Output = &bytes;
    TPngHandle handle(true, state);
    if (!handle.IsValid())
        return TStatus::Fail(TFailure::TooLarge, "libpng could not allocate its encoder");
    png_structp p = handle.Png();
    png_infop info = handle.Info();
    png_bytepp rowPointers = rows.data();
    if (!RunGuarded(p, [&] {
            png_set_write_fn(p, &state, OnPngWrite, OnPngFlush);
            png_set_IHDR(p, info, static_cast<png_uint_32>(png.Width), static_cast<png_uint_32>(png.Height),
                         8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                         PNG_FILTER_TYPE_BASE);
            png_set_filter(p, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
            png_set_compression_level(p, kCompressionLevel);
            // libpng emits one IDAT chunk per filled compression buffer.
            png_set_compression_buffer_size(p, limits::kMaxPngIdatBytes);
            png_write_info(p, info);
            png_write_image(p, rowPointers);
            png_write_end(p, nullptr);
        })) {
        // The encoder's only failure in memory is running out of it.
        return TStatus::Fail(TFailure::TooLarge, "PNG encoding failed: " + state.Message);
    }
    out = std::move(bytes);
    return TStatus::Ok();
}

} // namespace gw
