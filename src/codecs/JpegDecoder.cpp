#include "codecs/JpegDecoder.h"

#include "codecs/DecodeSupport.h"
#include "codecs/ExifOrientation.h"
#include "image/Limits.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace gw {

namespace {

constexpr int kExifMarker = JPEG_APP0 + 1;
constexpr unsigned kMaxMarkerLength = 0xFFFF;
constexpr std::int32_t kScaleDenominator = 8;

// libjpeg reports errors through error_exit, which must not return: it jumps back to the setjmp of
// the step that made the failing call. NOTE: the step functions below hold no C++ object with a
// destructor between their setjmp and their last libjpeg call, so the jump skips nothing.
struct TJpegError {
    jpeg_error_mgr Manager; // first, so a j_common_ptr's err converts back to TJpegError
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    TFailure Kind;
    // The data ended before the end marker (libjpeg then goes on as if it had come).
    bool SawEnd = false;
};

[[noreturn]] void Raise(j_common_ptr info, TFailure kind) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    (*info->err->format_message)(info, error->Message);
    error->Kind = kind;
    std::longjmp(error->Jump, 1);
}

// An error after the data ended early is the file's being cut short.
void OnError(j_common_ptr info) {
    Raise(info, reinterpret_cast<TJpegError*>(info->err)->SawEnd ? TFailure::Truncated : TFailure::Corrupt);
}

// Warnings about odd but decodable data are ignored. A file that ends early is decoded from what its
// scans hold, as other viewers show it, unless its first (or only) scan is not whole: then the data
// end where the scan still wants bits.
void OnMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return;
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    if (info->err->msg_code == JWRN_JPEG_EOF) {
        error->SawEnd = true;
        return;
    }
    if (error->SawEnd && info->err->msg_code == JWRN_HIT_MARKER &&
        (!info->is_decompressor || reinterpret_cast<j_decompress_ptr>(info)->input_scan_number <= 1)) {
        std::snprintf(error->Message, sizeof error->Message, "%s", "the file ends inside its first scan");
        error->Kind = TFailure::Truncated;
        std::longjmp(error->Jump, 1);
    }
}

// The progress manager with what it has counted of the scans so far.
struct TJpegProgress {
    jpeg_progress_mgr Manager; // first: libjpeg hands back a pointer to it
    int LastScan = 0;
    std::uint64_t ScanBlocks = 0; // blocks of every scan begun, summed
};

// Leaves the decoder by its error jump with message (a format taking one number) and count. Nothing
// with a destructor may live on the way: longjmp skips destructors.
[[noreturn]] void RaiseTooLarge(j_common_ptr info, const char* message, unsigned long long count) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    std::snprintf(error->Message, sizeof error->Message, message, count);
    error->Kind = TFailure::TooLarge;
    std::longjmp(error->Jump, 1);
}

// Called before every step of the input (at least once per scan, after its header is read): stops a
// file whose scans would take too long to decode.
void OnProgress(j_common_ptr info) {
    if (!info->is_decompressor)
        return;
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    auto* progress = reinterpret_cast<TJpegProgress*>(decompress->progress);
    if (decompress->input_scan_number > limits::kMaxJpegScans)
        RaiseTooLarge(info, "more than %llu progressive scans", limits::kMaxJpegScans);
    if (decompress->input_scan_number == progress->LastScan)
        return;
    progress->LastScan = decompress->input_scan_number;
    for (int i = 0; i < decompress->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
        const jpeg_component_info* component = decompress->cur_comp_info[i];
        if (component != nullptr)
            progress->ScanBlocks +=
                std::uint64_t{component->width_in_blocks} * std::uint64_t{component->height_in_blocks};
    }
    if (progress->ScanBlocks > limits::kMaxJpegScanBlocks)
        RaiseTooLarge(info, "scans covering more than %llu blocks in all", limits::kMaxJpegScanBlocks);
}

// One decompression object with its error and progress managers, destroyed on every path.
class TJpegSession {
public:
    TJpegSession() {
        FInfo.err = jpeg_std_error(&FError.Manager);
        FError.Manager.error_exit = OnError;
        FError.Manager.emit_message = OnMessage;
        FError.Message[0] = '\0';
        FError.Kind = TFailure::Corrupt;
        FProgress.Manager.progress_monitor = OnProgress;
    }
    ~TJpegSession() {
        if (FCreated)
            jpeg_destroy_decompress(&FInfo);
    }
    TJpegSession(const TJpegSession&) = delete;
    TJpegSession& operator=(const TJpegSession&) = delete;

    jpeg_decompress_struct& Info() { return FInfo; }

    TStatus Failure() const { return TStatus::Fail(FError.Kind, std::string("JPEG: ") + FError.Message); }

    bool ReadHeader(std::span<const std::uint8_t> data) {
        if (setjmp(FError.Jump))
            return false;
        jpeg_create_decompress(&FInfo);
        FCreated = true;
        FInfo.mem->max_memory_to_use = static_cast<long>(limits::kMaxDecoderMemoryBytes);
        FInfo.progress = &FProgress.Manager;
        jpeg_mem_src(&FInfo, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_save_markers(&FInfo, kExifMarker, kMaxMarkerLength);
        jpeg_read_header(&FInfo, TRUE);
        return true;
    }

    bool CalcOutputDimensions() {
        if (setjmp(FError.Jump))
            return false;
        jpeg_calc_output_dimensions(&FInfo);
        return true;
    }

    // Decodes every scanline into place: straight into picture when no conversion or turn is needed,
    // otherwise through the one-row scratch buffer.
    bool ReadPixels(TBitmap& picture, std::span<TColor> scratch, TExifOrientation orientation) {
        if (setjmp(FError.Jump))
            return false;
        jpeg_start_decompress(&FInfo);
        const bool cmyk = FInfo.out_color_space == JCS_CMYK;
        const bool direct = !cmyk && orientation == TExifOrientation::TopLeft;
        const auto height = static_cast<std::int32_t>(FInfo.output_height);
        while (FInfo.output_scanline < FInfo.output_height) {
            const auto y = static_cast<std::int32_t>(FInfo.output_scanline);
            std::uint8_t* target =
                direct ? RowBytes(picture, y).data() : reinterpret_cast<std::uint8_t*>(scratch.data());
            JSAMPROW rows[1] = {target};
            if (jpeg_read_scanlines(&FInfo, rows, 1) != 1)
                Raise(reinterpret_cast<j_common_ptr>(&FInfo), TFailure::Truncated);
            if (direct)
                continue;
            if (cmyk)
                CmykToColors(scratch, FInfo.saw_Adobe_marker != 0);
            PlaceOrientedRow(picture, scratch, y, height, orientation);
        }
        return true;
    }

private:
    // Adobe's writers store CMYK inverted (0 = full ink), which libjpeg flags by the APP14 marker; the
    // conversion is the naive one, since colour profiles are not applied.
    static void CmykToColors(std::span<TColor> pixels, bool inverted) {
        for (TColor& pixel : pixels) {
            const std::uint32_t c = pixel & 0xFF, m = (pixel >> 8) & 0xFF, y = (pixel >> 16) & 0xFF,
                                k = pixel >> 24;
            const auto channel = [inverted, k](std::uint32_t ink) {
                const std::uint32_t product = inverted ? ink * k : (255 - ink) * (255 - k);
                return static_cast<std::uint8_t>((product + 127) / 255);
            };
            pixel = MakeColor(255, channel(c), channel(m), channel(y));
        }
    }

    jpeg_decompress_struct FInfo{};
    TJpegError FError{};
    TJpegProgress FProgress{};
    bool FCreated = false;
};

TExifOrientation FindOrientation(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker != kExifMarker || marker->data == nullptr)
            continue;
        const TExifOrientation orientation = ParseExifOrientation({marker->data, marker->data_length});
        if (orientation != TExifOrientation::TopLeft)
            return orientation;
    }
    return TExifOrientation::TopLeft;
}

std::int64_t ScaledSide(std::int64_t side, std::int32_t numerator) {
    return (side * numerator + kScaleDenominator - 1) / kScaleDenominator;
}

} // namespace

std::int32_t ChooseJpegScale(std::int32_t width, std::int32_t height, std::int32_t targetSide) {
    if (targetSide <= 0)
        return kScaleDenominator;
    const std::int64_t longest = std::max(width, height);
    for (std::int32_t numerator = 1; numerator < kScaleDenominator; ++numerator) {
        if (ScaledSide(longest, numerator) >= targetSide)
            return numerator;
    }
    return kScaleDenominator;
}

TStatus DecodeJpeg(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                   TGPSize* sourceSize) {
    picture = TBitmap();
    if (data.empty())
        return TStatus::Fail(TFailure::Truncated, "JPEG: no data");
    TJpegSession session;
    jpeg_decompress_struct& info = session.Info();
    if (!session.ReadHeader(data))
        return session.Failure();
    // Refused from the header alone, before libjpeg allocates anything for the image. The decoded size
    // (which may be scaled down) is checked against the bitmap limits below.
    if (!limits::FitsScaledSourceLimits(info.image_width, info.image_height))
        return PictureTooLarge("JPEG: picture", info.image_width, info.image_height, true);

    const TExifOrientation orientation = FindOrientation(info);
    info.out_color_space =
        (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) ? JCS_CMYK : JCS_EXT_BGRA;
    info.scale_num =
        static_cast<unsigned>(ChooseJpegScale(static_cast<std::int32_t>(info.image_width),
                                              static_cast<std::int32_t>(info.image_height), targetSide));
    info.scale_denom = kScaleDenominator;
    info.dct_method = JDCT_ISLOW;
    if (!session.CalcOutputDimensions())
        return session.Failure();
    if (info.output_components != 4)
        return TStatus::Fail(TFailure::Unsupported, "JPEG: unsupported colour layout");

    const std::int64_t width = info.output_width, height = info.output_height;
    const bool swapped = SwapsAxes(orientation);
    if (sourceSize != nullptr) {
        const auto w = static_cast<std::int32_t>(info.image_width),
                   h = static_cast<std::int32_t>(info.image_height);
        *sourceSize = swapped ? TGPSize{h, w} : TGPSize{w, h};
    }
    if (TStatus status = AllocatePicture(swapped ? height : width, swapped ? width : height, picture);
        !status)
        return status;
    std::vector<TColor> scratch(static_cast<std::size_t>(width));
    if (!session.ReadPixels(picture, scratch, orientation)) {
        picture = TBitmap();
        return session.Failure();
    }
    return TStatus::Ok();
}

} // namespace gw
