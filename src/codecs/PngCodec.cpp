#include "codecs/PngCodec.h"

#include "codecs/BlockDeflate.h"
#include "codecs/DecodeSupport.h"
#include "codecs/PngChunks.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <png.h>
#include <zlib.h>

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
    // Decoding: the PNG data and the read position, or the data's first bytes and then a stream.
    std::span<const std::uint8_t> Input;
    std::size_t Offset = 0;
    const TPngStreamRead* Stream = nullptr;
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

// Warnings are not printed. Sizes beyond the limits are refused from the peeked header before
// libpng starts; its own user limits only stand behind that.
void OnPngWarning(png_structp, png_const_charp) {}

void OnPngRead(png_structp png, png_bytep out, std::size_t length) {
    TCodecState& state = StateOf(png, false);
    const std::size_t buffered = std::min(length, state.Input.size() - state.Offset);
    if (buffered > 0) // an empty input may have no buffer at all
        std::memcpy(out, state.Input.data() + state.Offset, buffered);
    state.Offset += buffered;
    if (buffered == length)
        return;
    if (state.Stream == nullptr || !(*state.Stream)(std::span(out + buffered, length - buffered))) {
        state.Truncated = true;
        png_error(png, "PNG data ends early");
    }
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

// The too-large failure of a PNG of width x height, naming the limits in force.
TStatus BeyondLimits(std::int64_t width, std::int64_t height, const TPngLimits& limits) {
    const std::uint32_t side = std::min<std::uint32_t>(limits.MaxSide, limits::kMaxBitmapSide);
    return TStatus::Fail(TFailure::TooLarge, "PNG of " + std::to_string(width) + " x " +
                                                 std::to_string(height) + " pixels is beyond the limits (" +
                                                 std::to_string(side) + " pixels a side and " +
                                                 std::to_string(limits.MaxPixels) + " pixels in all)");
}

bool FitsPngLimits(std::int64_t width, std::int64_t height, const TPngLimits& limits) {
    return width > 0 && height > 0 && width <= limits.MaxSide && height <= limits.MaxSide &&
           width <= limits::kMaxBitmapSide && height <= limits::kMaxBitmapSide &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= limits.MaxPixels;
}

// Refuses data whose peeked header is beyond the limits, before libpng allocates anything.
TStatus CheckPeekedSize(std::span<const std::uint8_t> data, const TPngLimits& limits) {
    const std::optional<TPngHeader> header = PeekPngHeader(data);
    if (!header || header->Width == 0 || header->Height == 0)
        return TStatus::Ok(); // libpng reports the malformed header
    if (!FitsPngLimits(header->Width, header->Height, limits))
        return BeyondLimits(header->Width, header->Height, limits);
    return TStatus::Ok();
}

// One read of PNG data: the libpng structures, the limits in force, the header read.
class TPngReadSession {
public:
    TPngReadSession(std::span<const std::uint8_t> data, const TPngLimits& limits)
        : FLimits(limits), FHandle(false, FState) {
        FState.Input = data;
    }
    // Data read from a stream: its first bytes (signature and header) are read at once, so that the
    // header can be judged before libpng starts, and handed to libpng before the rest.
    TPngReadSession(const TPngStreamRead& stream, const TPngLimits& limits)
        : FLimits(limits), FHandle(false, FState) {
        FPrefix.resize(kPrefixBytes);
        if (!stream(FPrefix))
            FPrefix.clear();
        FState.Input = FPrefix;
        FState.Stream = &stream;
    }

    // The data's first bytes: all of it, or the prefix of a stream (empty when the stream is shorter).
    std::span<const std::uint8_t> Start() const { return FState.Input; }

    // Checks the peeked size and reads up to the image data. Unused ancillary chunks are skipped unread.
    TStatus ReadInfo() {
        GW_TRY(CheckPeekedSize(FState.Input, FLimits));
        if (!FHandle.IsValid())
            return TStatus::Fail(TFailure::TooLarge, "libpng could not allocate its decoder");
        png_structp p = Png();
        png_infop info = Info();
        const TPngLimits& limits = FLimits;
        TCodecState* state = &FState;
        return Run([p, info, state, &limits] {
            png_set_read_fn(p, state, OnPngRead);
            png_set_user_limits(p, limits.MaxSide, limits.MaxSide);
            png_set_chunk_cache_max(p, limits.ChunkCache);
            png_set_chunk_malloc_max(p, static_cast<png_alloc_size_t>(limits.ChunkBytes));
            png_set_keep_unknown_chunks(p, PNG_HANDLE_CHUNK_NEVER,
                                        reinterpret_cast<png_const_bytep>(kUnusedPngChunks),
                                        kUnusedPngChunkCount);
            png_read_info(p, info);
        });
    }

    // Runs one step of libpng calls; the codec's failure when libpng raised an error in it.
    template <typename TStep> TStatus Run(const TStep& step) {
        return RunGuarded(Png(), step) ? TStatus::Ok() : CodecFailure(FState);
    }

    png_structp Png() const { return FHandle.Png(); }
    png_infop Info() const { return FHandle.Info(); }

private:
    static constexpr std::size_t kPrefixBytes = 8 + 8 + 13 + 4; // signature and the IHDR chunk
    TPngLimits FLimits;
    TCodecState FState;
    TPngHandle FHandle;
    std::vector<std::uint8_t> FPrefix;
};

// Sets the transforms that turn every PNG into 8-bit B, G, R, A.
void RequestStraightBgra(png_structp png, png_infop info) {
    const png_byte colorType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (hasTransparency)
        png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_scale_16(png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb(png);
    if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !hasTransparency)
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
}

} // namespace

TPngLimits TPngLimits::IconEntry() {
    return {limits::kMaxPngSide, limits::kMaxIconPngChunkCache, limits::kMaxIconPngChunkBytes};
}

TPngLimits TPngLimits::Picture() {
    return {static_cast<std::uint32_t>(limits::kMaxBitmapSide), limits::kMaxPngChunkCache,
            static_cast<std::size_t>(limits::kMaxPngChunkBytes)};
}

std::optional<TPngHeader> PeekPngHeader(std::span<const std::uint8_t> data) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    TByteReader reader(data);
    std::span<const std::uint8_t> signature, type;
    std::uint32_t length = 0;
    TPngHeader header;
    if (!reader.ReadBytes(8, signature) || !std::equal(signature.begin(), signature.end(), kSignature) ||
        !reader.ReadU32BE(length) || !reader.ReadBytes(4, type) ||
        !std::equal(type.begin(), type.end(), "IHDR") || !reader.ReadU32BE(header.Width) ||
        !reader.ReadU32BE(header.Height) || !reader.ReadU8(header.BitDepth) ||
        !reader.ReadU8(header.ColorType))
        return std::nullopt;
    return header;
}

namespace {

// Reads the header of a picture and sets the transforms to 8-bit B, G, R, A rows.
TStatus StartBgraRead(TPngReadSession& session, png_uint_32& width, png_uint_32& height) {
    GW_TRY(session.ReadInfo());
    png_structp p = session.Png();
    png_infop info = session.Info();
    GW_TRY(session.Run([p, info] {
        RequestStraightBgra(p, info);
        // Every chunk's CRC-32 already guards the compressed data; the Adler-32 over the inflated
        // rows would cost a tenth of the decoding time of a large picture.
        png_set_option(p, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
        png_read_update_info(p, info);
    }));
    width = png_get_image_width(p, info);
    height = png_get_image_height(p, info);
    if (png_get_rowbytes(p, info) != static_cast<png_size_t>(width) * sizeof(TColor))
        return TStatus::Fail(TFailure::Unsupported, "PNG: unexpected row layout after transforms");
    return TStatus::Ok();
}

// Reads the whole picture, every interlace pass included, straight into picture.
TStatus ReadWholePicture(TPngReadSession& session, png_uint_32 width, png_uint_32 height, TBitmap& picture) {
    if (TStatus status = AllocatePicture(width, height, picture); !status)
        return TStatus::Fail(status.Kind(), "PNG: " + status.Reason());
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = RowBytes(picture, static_cast<std::int32_t>(y)).data();
    png_structp p = session.Png();
    png_bytepp rowPointers = rows.data();
    if (TStatus status = session.Run([p, rowPointers] { png_read_image(p, rowPointers); }); !status) {
        picture = TBitmap();
        return status;
    }
    return TStatus::Ok();
}

TStatus CheckSignature(std::span<const std::uint8_t> data) {
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        return TStatus::Fail(TFailure::Corrupt, "PNG: bad signature");
    return TStatus::Ok();
}

} // namespace

TStatus DecodePng(std::span<const std::uint8_t> data, TBitmap& picture, const TPngLimits& limits) {
    picture = TBitmap();
    GW_TRY(CheckSignature(data));
    TPngReadSession session(data, limits);
    png_uint_32 width = 0, height = 0;
    GW_TRY(StartBgraRead(session, width, height));
    return ReadWholePicture(session, width, height, picture);
}

namespace {

// The reduced decode of DecodePng and DecodePngStream, from a session over the data.
TStatus DecodeReduced(TPngReadSession& session, const TPngLimits& whole, std::int32_t targetSide,
                      TGPSize* sourceSize, TBitmap& picture) {
    GW_TRY(CheckSignature(session.Start()));
    png_uint_32 width = 0, height = 0;
    GW_TRY(StartBgraRead(session, width, height));
    png_structp p = session.Png();
    if (png_get_interlace_type(p, session.Info()) != PNG_INTERLACE_NONE) {
        // Each pass covers the whole picture, so an interlaced one is decoded whole first.
        if (!FitsPngLimits(width, height, whole))
            return TStatus::Fail(TFailure::TooLarge,
                                 "interlaced " + BeyondLimits(width, height, whole).Reason());
        GW_TRY(ReadWholePicture(session, width, height, picture));
        return ReduceWholePicture(picture, targetSide, sourceSize);
    }
    TAreaReducer reducer;
    GW_TRY(StartReduction("PNG: picture", width, height, targetSide, reducer, sourceSize));
    TAreaReducer* target = &reducer;
    const auto rows = static_cast<std::int32_t>(height);
    GW_TRY(session.Run([p, target, rows] {
        for (std::int32_t y = 0; y < rows; ++y) {
            png_read_row(p, reinterpret_cast<png_bytep>(target->RowBuffer(y).data()), nullptr);
            target->AddRow(y);
        }
    }));
    return reducer.Finish(picture);
}

TPngLimits ScaledSourceLimits() {
    TPngLimits limits = TPngLimits::Picture();
    limits.MaxPixels = limits::kMaxScaledSourcePixels;
    return limits;
}

} // namespace

TStatus DecodePng(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                  TGPSize* sourceSize) {
    picture = TBitmap();
    if (targetSide <= 0) {
        GW_TRY(DecodePng(data, picture, TPngLimits::Picture()));
        if (sourceSize != nullptr)
            *sourceSize = {picture.Width(), picture.Height()};
        return TStatus::Ok();
    }
    TPngReadSession session(data, ScaledSourceLimits());
    TStatus status = DecodeReduced(session, TPngLimits::Picture(), targetSide, sourceSize, picture);
    if (!status)
        picture = TBitmap();
    return status;
}

TStatus DecodePngStream(const TPngStreamRead& read, TBitmap& picture, std::int32_t targetSide,
                        TGPSize* sourceSize) {
    picture = TBitmap();
    TPngReadSession session(read, ScaledSourceLimits());
    TStatus status =
        DecodeReduced(session, TPngLimits::Picture(), std::max(targetSide, 1), sourceSize, picture);
    if (!status)
        picture = TBitmap();
    return status;
}

TStatus DecodePng(std::span<const std::uint8_t> data, TPngImage& png, const TPngLimits& limits) {
    TPngReadSession session(data, limits);
    GW_TRY(session.ReadInfo());
    png_structp p = session.Png();
    png_infop info = session.Info();

    TPngImage image;
    std::optional<TKey16> key16;
    TakeHeader(p, info, image, key16);
    if (image.Width <= 0 || image.Height <= 0 || static_cast<std::uint32_t>(image.Width) > limits.MaxSide ||
        static_cast<std::uint32_t>(image.Height) > limits.MaxSide ||
        !limits::FitsBitmapLimits(image.Width, image.Height))
        return BeyondLimits(image.Width, image.Height, limits);

    // A 16-bit key must be compared before the samples lose their low byte: such images are read at
    // 16 bits into wide and cut here.
    const bool keepSixteen = key16.has_value();
    const std::size_t readRowBytes = image.RowBytes() * (keepSixteen ? 2 : 1);
    if (keepSixteen && readRowBytes * static_cast<std::size_t>(image.Height) > limits::kMaxDecoderMemoryBytes)
        return TStatus::Fail(TFailure::TooLarge, "16-bit PNG rows beyond the decoder's memory");
    GW_TRY(session.Run([&] {
        RequestEightBitSamples(p, image, keepSixteen);
        png_read_update_info(p, info);
    }));
    if (png_get_rowbytes(p, info) != readRowBytes)
        return TStatus::Fail(TFailure::Unsupported, "libpng's row layout differs from the expected one");

    std::vector<std::uint8_t> wide;
    std::vector<png_bytep> rows;
    GW_TRY(GuardAllocation("allocating the PNG's pixels", [&] {
        image.Samples.resize(image.RowBytes() * static_cast<std::size_t>(image.Height));
        if (keepSixteen)
            wide.resize(readRowBytes * static_cast<std::size_t>(image.Height));
        rows.resize(static_cast<std::size_t>(image.Height));
        return TStatus::Ok();
    }));
    std::uint8_t* const target = keepSixteen ? wide.data() : image.Samples.data();
    for (std::size_t y = 0; y < rows.size(); ++y)
        rows[y] = target + y * readRowBytes;

    png_bytepp rowPointers = rows.data();
    GW_TRY(session.Run([&] {
        png_read_image(p, rowPointers);
        png_read_end(p, nullptr);
    }));
    if (keepSixteen)
        CutKeyedSixteenBitRows(wide, *key16, image);

    png = std::move(image);
    return TStatus::Ok();
}

namespace {

// The image data of png before compression: every row behind its filter byte, Sub (1): each byte
// less the byte of the pixel to its left (none for the first pixel).
std::vector<std::uint8_t> SubFilteredRows(const TPngImage& png) {
    const std::size_t rowBytes = png.RowBytes();
    constexpr std::size_t kPixelBytes = 4;
    std::vector<std::uint8_t> filtered((rowBytes + 1) * static_cast<std::size_t>(png.Height));
    for (std::size_t y = 0; y < static_cast<std::size_t>(png.Height); ++y) {
        const std::uint8_t* row = png.Samples.data() + y * rowBytes;
        std::uint8_t* to = filtered.data() + y * (rowBytes + 1);
        to[0] = PNG_FILTER_VALUE_SUB;
        std::copy_n(row, std::min(kPixelBytes, rowBytes), to + 1);
        for (std::size_t i = kPixelBytes; i < rowBytes; ++i)
            to[1 + i] = static_cast<std::uint8_t>(row[i] - row[i - kPixelBytes]);
    }
    return filtered;
}

// The zlib stream of png's image data in deflate blocks of whole rows; empty when the data makes
// fewer than two blocks (libpng then compresses it as one piece).
TStatus CompressInBlocks(const TPngImage& png, std::int32_t threads, std::vector<std::uint8_t>& stream) {
    const std::size_t filteredRowBytes = png.RowBytes() + 1;
    const std::size_t blocks =
        filteredRowBytes * static_cast<std::size_t>(png.Height) / kPngDeflateBlockBytes;
    if (blocks < 2)
        return TStatus::Ok();
    const std::size_t rowsPerBlock = (static_cast<std::size_t>(png.Height) + blocks - 1) / blocks;
    std::vector<std::uint8_t> filtered;
    GW_TRY(GuardAllocation("filtering the PNG rows", [&] {
        filtered = SubFilteredRows(png);
        return TStatus::Ok();
    }));
    return DeflateInBlocks(filtered, rowsPerBlock * filteredRowBytes,
                           {.Level = kCompressionLevel, .Strategy = Z_FILTERED}, threads, stream);
}

} // namespace

TStatus EncodePng(const TPngImage& png, std::vector<std::uint8_t>& out, std::int32_t threads) {
    if (png.ColorType != TPngColorType::ctRgba || png.BitDepth != 8 || png.Interlaced)
        return TStatus::Fail(TFailure::Unsupported, "only non-interlaced 8-bit RGBA PNG data is written");
    if (static_cast<std::uint32_t>(png.Width) > limits::kMaxPngSide ||
        static_cast<std::uint32_t>(png.Height) > limits::kMaxPngSide ||
        !limits::FitsBitmapLimits(png.Width, png.Height))
        return TStatus::Fail(TFailure::TooLarge, "image too large for PNG data");
    if (!png.HasConsistentSamples())
        return TStatus::Fail(TFailure::Corrupt, "pixel buffer does not match the image size");

    // Large images are compressed here, in blocks; libpng then only writes the chunks.
    std::vector<std::uint8_t> stream;
    GW_TRY(CompressInBlocks(png, threads, stream));

    std::vector<std::uint8_t> bytes;
    std::vector<png_bytep> rows;
    GW_TRY(GuardAllocation("allocating the row table", [&] {
        rows.resize(stream.empty() ? static_cast<std::size_t>(png.Height) : 0);
        return TStatus::Ok();
    }));
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
    const std::span<const std::uint8_t> compressed = stream;
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
            if (compressed.empty()) {
                png_write_image(p, rowPointers);
                png_write_end(p, nullptr);
                return;
            }
            // The compressed stream in chunks of the same size libpng's buffer gives them.
            static constexpr png_byte kIdat[5] = "IDAT", kIend[5] = "IEND";
            for (std::size_t at = 0; at < compressed.size(); at += limits::kMaxPngIdatBytes)
                png_write_chunk(p, kIdat, compressed.data() + at,
                                std::min<std::size_t>(limits::kMaxPngIdatBytes, compressed.size() - at));
            png_write_chunk(p, kIend, nullptr, 0);
        })) {
        // The encoder's only failure in memory is running out of it.
        return TStatus::Fail(TFailure::TooLarge, "PNG encoding failed: " + state.Message);
    }
    out = std::move(bytes);
    return TStatus::Ok();
}

} // namespace gw
