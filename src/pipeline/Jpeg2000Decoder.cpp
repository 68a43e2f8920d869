#include "pipeline/Jpeg2000Decoder.h"

#include "image/Limits.h"
#include "pipeline/DecodeSupport.h"
#include "pipeline/TypeCheck.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <openjpeg.h>

namespace gw {

namespace {

constexpr std::uint32_t kMaxPrecision = 31;

struct TJ2kSource {
    std::span<const std::uint8_t> Data;
    std::size_t Position = 0;
    std::string Message;
};

OPJ_SIZE_T ReadJ2k(void* out, OPJ_SIZE_T count, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    const std::size_t available = source->Data.size() - source->Position;
    if (available == 0)
        return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t copied = std::min<std::size_t>(count, available);
    std::memcpy(out, source->Data.data() + source->Position, copied);
    source->Position += copied;
    return copied;
}

OPJ_OFF_T SkipJ2k(OPJ_OFF_T count, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    if (count < 0) {
        if (static_cast<std::uint64_t>(-count) > source->Position)
            return -1;
        source->Position -= static_cast<std::size_t>(-count);
        return count;
    }
    const std::size_t available = source->Data.size() - source->Position;
    const std::size_t skipped = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), available);
    source->Position += skipped;
    return skipped == 0 && count > 0 ? -1 : static_cast<OPJ_OFF_T>(skipped);
}

OPJ_BOOL SeekJ2k(OPJ_OFF_T position, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    if (position < 0 || static_cast<std::uint64_t>(position) > source->Data.size())
        return OPJ_FALSE;
    source->Position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

void OnError(const char* message, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    if (source->Message.empty() && message != nullptr) {
        source->Message = message;
        while (!source->Message.empty() && source->Message.back() == '\n')
            source->Message.pop_back();
    }
}

void OnQuiet(const char*, void*) {}

// The stream, codec and image of one decode, released on every path.
class TJ2kSession {
public:
    TJ2kSession(TJ2kSource& source, OPJ_CODEC_FORMAT format) : FSource(source) {
        FStream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
        FCodec = opj_create_decompress(format);
        if (FStream == nullptr || FCodec == nullptr)
            return;
        opj_stream_set_user_data(FStream, &source, nullptr);
        opj_stream_set_user_data_length(FStream, source.Data.size());
        opj_stream_set_read_function(FStream, ReadJ2k);
        opj_stream_set_skip_function(FStream, SkipJ2k);
        opj_stream_set_seek_function(FStream, SeekJ2k);
        opj_set_error_handler(FCodec, OnError, &source);
        opj_set_warning_handler(FCodec, OnQuiet, &source);
        opj_set_info_handler(FCodec, OnQuiet, &source);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        FReady = opj_setup_decoder(FCodec, &parameters) == OPJ_TRUE;
    }
    ~TJ2kSession() {
        if (FImage != nullptr)
            opj_image_destroy(FImage);
        if (FCodec != nullptr)
            opj_destroy_codec(FCodec);
        if (FStream != nullptr)
            opj_stream_destroy(FStream);
    }
    TJ2kSession(const TJ2kSession&) = delete;
    TJ2kSession& operator=(const TJ2kSession&) = delete;

    bool ReadHeader() {
        return FReady && opj_read_header(FStream, FCodec, &FImage) == OPJ_TRUE && FImage != nullptr;
    }
    bool Decode() {
        return opj_decode(FCodec, FStream, FImage) == OPJ_TRUE &&
               opj_end_decompress(FCodec, FStream) == OPJ_TRUE;
    }
    const opj_image_t& Image() const { return *FImage; }

    TStatus Failure(TFailure kind, const char* what) const {
        std::string reason = std::string("JPEG 2000: ") + what;
        if (!FSource.Message.empty())
            reason += " (" + FSource.Message + ")";
        return TStatus::Fail(kind, reason);
    }

private:
    TJ2kSource& FSource;
    opj_stream_t* FStream = nullptr;
    opj_codec_t* FCodec = nullptr;
    opj_image_t* FImage = nullptr;
    bool FReady = false;
};

// One component prepared for sampling at picture coordinates: its samples scaled to 8 bits through a
// table-free formula, and the sample index of every picture column and row (nearest neighbour for
// subsampled components).
class TComponentSampler {
public:
    TComponentSampler(const opj_image_t& image, const opj_image_comp_t& component, std::int64_t width,
                      std::int64_t height)
        : FComponent(component) {
        FColumns = Indices(image.x0, width, component.dx, component.x0, component.w);
        FRows = Indices(image.y0, height, component.dy, component.y0, component.h);
        const std::int64_t maximum = (std::int64_t{1} << component.prec) - 1;
        FMaximum = maximum;
        FOffset = component.sgnd ? std::int64_t{1} << (component.prec - 1) : 0;
        FShift = component.prec > 8 ? static_cast<int>(component.prec) - 8 : 0;
    }

    std::uint8_t At(std::int64_t x, std::int64_t y) const {
        const std::size_t index =
            FRows[static_cast<std::size_t>(y)] * static_cast<std::size_t>(FComponent.w) +
            FColumns[static_cast<std::size_t>(x)];
        const std::int64_t value =
            std::clamp<std::int64_t>(std::int64_t{FComponent.data[index]} + FOffset, 0, FMaximum);
        if (FShift > 0)
            return static_cast<std::uint8_t>(value >> FShift);
        return static_cast<std::uint8_t>((value * 255 + FMaximum / 2) / FMaximum);
    }

private:
    // Sample k of a component covers picture positions [(origin + k) * step, (origin + k + 1) * step).
    static std::vector<std::size_t> Indices(std::uint32_t imageOrigin, std::int64_t count, std::uint32_t step,
                                            std::uint32_t componentOrigin, std::uint32_t samples) {
        std::vector<std::size_t> indices(static_cast<std::size_t>(count));
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t position = (std::int64_t{imageOrigin} + i) / step - componentOrigin;
            indices[static_cast<std::size_t>(i)] =
                static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, std::int64_t{samples} - 1));
        }
        return indices;
    }

    const opj_image_comp_t& FComponent;
    std::vector<std::size_t> FColumns, FRows;
    std::int64_t FMaximum = 255, FOffset = 0;
    int FShift = 0;
};

bool IsUsable(const opj_image_comp_t& component, bool decoded) {
    return component.dx > 0 && component.dy > 0 && component.w > 0 && component.h > 0 && component.prec > 0 &&
           component.prec <= kMaxPrecision && (!decoded || component.data != nullptr);
}

// Which components hold colour and which (if any) alpha: a component flagged as alpha by the JP2
// channel definition, or else the second of two or the fourth of four.
struct TChannelLayout {
    std::vector<std::uint32_t> Colour; // 1 (grey) or 3 (RGB or YCC) components
    int Alpha = -1;
};

bool ChooseChannels(const opj_image_t& image, TChannelLayout& layout) {
    for (std::uint32_t i = 0; i < image.numcomps; ++i) {
        if (image.comps[i].alpha != 0 && layout.Alpha < 0)
            layout.Alpha = static_cast<int>(i);
    }
    if (layout.Alpha < 0 && (image.numcomps == 2 || image.numcomps == 4))
        layout.Alpha = static_cast<int>(image.numcomps - 1);
    for (std::uint32_t i = 0; i < image.numcomps && layout.Colour.size() < 3; ++i) {
        if (static_cast<int>(i) != layout.Alpha)
            layout.Colour.push_back(i);
    }
    if (layout.Colour.size() == 2)
        layout.Colour.resize(1); // two colour planes without a third: show the first as grey
    return !layout.Colour.empty();
}

std::uint8_t ClampByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// sYCC to sRGB (IEC 61966-2-1 amendment 1, full range, chroma centred on 128).
TColor YccToColor(std::uint8_t alpha, int y, int cb, int cr) {
    const double b = cb - 128.0, r = cr - 128.0;
    return MakeColor(alpha, ClampByte(y + 1.402 * r), ClampByte(y - 0.344136 * b - 0.714136 * r),
                     ClampByte(y + 1.772 * b));
}

} // namespace

TStatus DecodeJpeg2000(std::span<const std::uint8_t> data, TBitmap& picture) {
    picture = TBitmap();
    const TFileTypes type = CheckFileType(data);
    if (type != TFileTypes::ftJpg2000 && type != TFileTypes::ftJpg2000CS)
        return TStatus::Fail(TFailure::Corrupt, "JPEG 2000: bad signature");
    TJ2kSource source{data, 0, {}};
    TJ2kSession session(source, type == TFileTypes::ftJpg2000 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    if (!session.ReadHeader())
        return session.Failure(TFailure::Corrupt, "header");

    // Everything below up to opj_decode is decided from the header alone.
    const opj_image_t& image = session.Image();
    if (image.x1 <= image.x0 || image.y1 <= image.y0 || image.numcomps == 0 || image.comps == nullptr)
        return session.Failure(TFailure::Corrupt, "empty picture");
    const std::int64_t width = std::int64_t{image.x1} - image.x0, height = std::int64_t{image.y1} - image.y0;
    if (!limits::FitsBitmapLimits(width, height))
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: picture too large (" + std::to_string(width) +
                                                     " x " + std::to_string(height) + ")");
    std::uint64_t planeBytes = 0;
    for (std::uint32_t i = 0; i < image.numcomps; ++i) {
        if (!IsUsable(image.comps[i], false))
            return session.Failure(TFailure::Unsupported, "component geometry or precision");
        planeBytes += std::uint64_t{image.comps[i].w} * image.comps[i].h * sizeof(OPJ_INT32);
    }
    if (planeBytes > limits::kMaxDecoderMemoryBytes)
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: component planes too large");
    if (image.color_space == OPJ_CLRSPC_CMYK || image.color_space == OPJ_CLRSPC_EYCC)
        return session.Failure(TFailure::Unsupported, "CMYK and e-YCC colour spaces");

    if (!session.Decode())
        return session.Failure(TFailure::Corrupt, "picture data");
    TChannelLayout layout;
    if (!ChooseChannels(image, layout))
        return session.Failure(TFailure::Unsupported, "no colour component");
    for (std::uint32_t i = 0; i < image.numcomps; ++i) {
        if (!IsUsable(image.comps[i], true))
            return session.Failure(TFailure::Corrupt, "component without data");
    }
    if (TStatus status = AllocatePicture(width, height, picture); !status)
        return TStatus::Fail(status.Kind(), "JPEG 2000: " + status.Reason());

    std::vector<TComponentSampler> colour;
    for (std::uint32_t index : layout.Colour)
        colour.emplace_back(image, image.comps[index], width, height);
    std::vector<TComponentSampler> alpha;
    if (layout.Alpha >= 0)
        alpha.emplace_back(image, image.comps[layout.Alpha], width, height);
    const bool ycc = image.color_space == OPJ_CLRSPC_SYCC && colour.size() == 3;

    for (std::int64_t y = 0; y < height; ++y) {
        const std::span<TColor> row = picture.Row(static_cast<std::int32_t>(y));
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint8_t a = alpha.empty() ? 255 : alpha[0].At(x, y);
            TColor& pixel = row[static_cast<std::size_t>(x)];
            if (colour.size() == 1) {
                const std::uint8_t grey = colour[0].At(x, y);
                pixel = MakeColor(a, grey, grey, grey);
            } else if (ycc) {
                pixel = YccToColor(a, colour[0].At(x, y), colour[1].At(x, y), colour[2].At(x, y));
            } else {
                pixel = MakeColor(a, colour[0].At(x, y), colour[1].At(x, y), colour[2].At(x, y));
            }
        }
    }
    return TStatus::Ok();
}

} // namespace gw
