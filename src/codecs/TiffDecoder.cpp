#include "codecs/TiffDecoder.h"

#include "codecs/DecodeSupport.h"
#include "image/Limits.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include <tiffio.h>

namespace gw {

namespace {

// libtiff stops a JPEG strip or tile after LIBTIFF_JPEG_MAX_ALLOWED_SCAN_NUMBER scans, 100 unless the
// environment says otherwise. Every tile of 16 x 16 pixels may point at the same few kilobytes of a
// 99-scan JPEG: 262,144 such tiles (a 2 MB file) took 6 s to decode. Progressive files have at most
// a dozen scans per component, so the limit is lowered to 24 here. libtiff reads it from the
// environment only, so it is set while the program starts, before any thread exists; a value the
// user set is kept.
[[maybe_unused]] const bool kJpegScanLimitSet = [] {
#ifdef _WIN32
    return ::getenv(limits::kTiffJpegScanLimitVariable) != nullptr ||
           ::_putenv_s(limits::kTiffJpegScanLimitVariable, limits::kTiffJpegScanLimit) == 0;
#else
    return ::setenv(limits::kTiffJpegScanLimitVariable, limits::kTiffJpegScanLimit, 0) == 0;
#endif
}();

struct TTiffSource {
    std::span<const std::uint8_t> Data;
    std::uint64_t Position = 0;
    char Message[200] = {};
};

tmsize_t ReadTiff(thandle_t handle, void* out, tmsize_t count) {
    auto* source = static_cast<TTiffSource*>(handle);
    if (count <= 0 || source->Position >= source->Data.size())
        return 0;
    const std::uint64_t copied =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), source->Data.size() - source->Position);
    std::memcpy(out, source->Data.data() + source->Position, copied);
    source->Position += copied;
    return static_cast<tmsize_t>(copied);
}

tmsize_t WriteTiff(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t SeekTiff(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TTiffSource*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = source->Position;
    else if (whence == SEEK_END)
        base = source->Data.size();
    else if (whence != SEEK_SET)
        return static_cast<toff_t>(-1);
    if (offset > UINT64_MAX - base)
        return static_cast<toff_t>(-1);
    // Positions past the end are allowed, as for a file; reads there return nothing.
    source->Position = base + offset;
    return source->Position;
}

int CloseTiff(thandle_t) {
    return 0;
}
toff_t SizeTiff(thandle_t handle) {
    return static_cast<TTiffSource*>(handle)->Data.size();
}
// The data is handed to libtiff as a read-only mapping, as a file opened with mmap would be (libtiff
// maps files PROT_READ, so it never writes through the pointer). NOTE: libtiff 4.5.0 rejects
// uncompressed tiles when it reads them through the read callback instead ("Invalid tile byte count").
int MapTiff(thandle_t handle, void** base, toff_t* size) {
    auto* source = static_cast<TTiffSource*>(handle);
    *base = const_cast<std::uint8_t*>(source->Data.data());
    *size = source->Data.size();
    return 1;
}
void UnmapTiff(thandle_t, void*, toff_t) {}

// Keeps the first error libtiff reports; warnings are dropped. Both stay with this decode, not with
// libtiff's process-wide handlers.
int OnError(TIFF*, void* userData, const char* module, const char* format, va_list arguments) {
    auto* source = static_cast<TTiffSource*>(userData);
    if (source->Message[0] == '\0') {
        char text[160];
        std::vsnprintf(text, sizeof text, format, arguments);
        std::snprintf(source->Message, sizeof source->Message, "%s: %s", module != nullptr ? module : "",
                      text);
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

class TTiffFile {
public:
    explicit TTiffFile(TTiffSource& source) : FSource(source) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options == nullptr)
            return;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(limits::kMaxDecoderMemoryBytes));
        TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &source);
        TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &source);
        FTiff = TIFFClientOpenExt("picture", "r", &source, ReadTiff, WriteTiff, SeekTiff, CloseTiff, SizeTiff,
                                  MapTiff, UnmapTiff, options);
        TIFFOpenOptionsFree(options);
    }
    ~TTiffFile() {
        if (FTiff != nullptr)
            TIFFClose(FTiff);
    }
    TTiffFile(const TTiffFile&) = delete;
    TTiffFile& operator=(const TTiffFile&) = delete;

    TIFF* Get() const { return FTiff; }
    TStatus Failure(TFailure kind, const char* what) const {
        std::string reason = std::string("TIFF: ") + what;
        if (FSource.Message[0] != '\0')
            reason += std::string(" (") + FSource.Message + ")";
        return TStatus::Fail(kind, reason);
    }

private:
    TTiffSource& FSource;
    TIFF* FTiff = nullptr;
};

// NOTE: libtiff's RGBA interface premultiplies unassociated alpha of colour pictures, but passes the
// samples of grey + alpha pictures through as stored; so only unassociated grey + alpha is straight.
bool DeliversPremultiplied(TIFF* tiff) {
    std::uint16_t photometric = 0, extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    if (TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
        return true;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const bool unassociated =
        TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) == 1 && extraCount > 0 &&
        extraTypes != nullptr && extraTypes[0] == EXTRASAMPLE_UNASSALPHA;
    return !(grey && unassociated);
}

// True when libjpeg must hold all coefficients of the JPEG data of a strip or tile (it starts with
// SOI) to decode it: a progressive frame, or a sequential one whose first scan carries fewer
// components than the frame (one scan per component). Only the marker segments up to the first scan
// are walked, by their lengths; entropy-coded data is never read as markers.
bool NeedsAllCoefficients(std::span<const std::uint8_t> data) {
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    std::size_t at = 2;
    int frameComponents = 0;
    while (at + 4 < data.size()) {
        if (data[at] != 0xFF)
            return false;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
                return true;
            if (at + 9 < data.size())
                frameComponents = data[at + 9]; // after length, precision, height and width
        }
        if (marker == 0xDA)
            return data[at + 4] < frameComponents;
        if (marker == 0xD9)
            return false;
        at += 2 + (std::size_t{data[at + 2]} << 8 | data[at + 3]);
    }
    return false;
}

// libjpeg holds every coefficient of a progressive (or one-scan-per-component) JPEG strip or tile at
// once (two bytes a sample), and libtiff lets it, however large the strip: a single progressive strip
// of 8192 x 8192 RGB took 384 MiB beside the picture. When the strips or tiles of a JPEG-compressed
// file are that large, each is looked at before decoding, and such a one is refused.
TStatus CheckJpegCoefficientMemory(TIFF* tiff, std::uint32_t width, std::uint32_t height) {
    std::uint16_t compression = COMPRESSION_NONE, samples = 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_JPEG)
        return TStatus::Ok();
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    std::uint32_t blockWidth = width, blockHeight = height;
    const bool tiled = TIFFIsTiled(tiff) != 0;
    if (tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &blockWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &blockHeight);
    } else {
        std::uint32_t rows = height;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
        blockHeight = std::min(rows, height);
    }
    const auto padded = [](std::uint64_t side) { return (side + 15) / 16 * 16; };
    const std::uint64_t coefficients = padded(blockWidth) * padded(blockHeight) * samples * 2;
    if (coefficients <= limits::kMaxDecoderMemoryBytes)
        return TStatus::Ok();
    // Every strip or tile is looked at (each may code differently); being this large, they are few.
    std::vector<std::uint8_t> head(64 * 1024);
    const std::uint32_t count = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto size = static_cast<tmsize_t>(head.size());
        const tmsize_t read = tiled ? TIFFReadRawTile(tiff, i, head.data(), size)
                                    : TIFFReadRawStrip(tiff, i, head.data(), size);
        if (read > 0 && NeedsAllCoefficients(std::span(head).first(static_cast<std::size_t>(read))))
            return TStatus::Fail(TFailure::TooLarge,
                                 "TIFF: multi-scan JPEG strip or tile too large to decode");
    }
    return TStatus::Ok();
}

// libtiff's RGBA raster holds R, G, B, A bytes per pixel; the picture wants B, G, R, A with straight
// alpha (libtiff associates unassociated alpha of colour pictures itself).
void ToStraightBgra(std::span<TColor> pixels, bool premultiplied) {
    for (TColor& pixel : pixels) {
        pixel = MakeColor(static_cast<std::uint8_t>(pixel >> 24), static_cast<std::uint8_t>(pixel),
                          static_cast<std::uint8_t>(pixel >> 8), static_cast<std::uint8_t>(pixel >> 16));
    }
    if (premultiplied)
        UnpremultiplyPixels(pixels);
}

// Ends libtiff's RGBA reader however the decode ends.
class TRgbaReader {
public:
    TRgbaReader() = default;
    ~TRgbaReader() {
        if (FBegun)
            TIFFRGBAImageEnd(&FImage);
    }
    TRgbaReader(const TRgbaReader&) = delete;
    TRgbaReader& operator=(const TRgbaReader&) = delete;

    bool Begin(TIFF* tiff, char (&why)[1024]) {
        FBegun = TIFFRGBAImageBegin(&FImage, tiff, 1, why) == 1;
        return FBegun;
    }
    TIFFRGBAImage& Image() { return FImage; }

private:
    TIFFRGBAImage FImage{};
    bool FBegun = false;
};

// True when libtiff turns the picture upside down to deliver its top row first.
bool FlipsVertically(std::uint16_t orientation) {
    return orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT ||
           orientation == ORIENTATION_LEFTBOT || orientation == ORIENTATION_RIGHTBOT;
}

// The picture in bands of whole strips or tile rows (fewer rows when a band would exceed
// limits::kMaxTiffBandBytes), each handed to the reducer row by row as libtiff converts it.
TStatus DecodeBands(const TTiffFile& file, std::uint32_t width, std::uint32_t height, std::int32_t targetSide,
                    TGPSize* sourceSize, TBitmap& picture) {
    TIFF* tiff = file.Get();
    TAreaReducer reducer;
    GW_TRY(StartReduction("TIFF: picture", width, height, targetSide, reducer, sourceSize));
    char why[1024] = {};
    TRgbaReader reader;
    if (!reader.Begin(tiff, why))
        return TStatus::Fail(TFailure::Unsupported, std::string("TIFF: ") + why);
    TIFFRGBAImage& image = reader.Image();
    image.req_orientation = ORIENTATION_TOPLEFT;
    const bool flipped = FlipsVertically(image.orientation);

    std::uint32_t bandRows = height;
    if (TIFFIsTiled(tiff) != 0)
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &bandRows);
    else
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &bandRows);
    // A band cut out of a larger strip starts at a multiple of 16 rows, so that it never starts inside
    // a block of subsampled YCbCr or JPEG data (the cap is at least 256 rows at 65535 pixels a row).
    const std::uint64_t rowBytes = std::uint64_t{width} * sizeof(TColor);
    const std::uint64_t cap = limits::kMaxTiffBandBytes / rowBytes / 16 * 16;
    bandRows = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(std::min<std::uint64_t>(bandRows, cap), 1, height));
    std::vector<TColor> band(static_cast<std::size_t>(width) * bandRows);
    const bool premultiplied = DeliversPremultiplied(tiff);
    for (std::uint32_t first = 0; first < height; first += bandRows) {
        const std::uint32_t rows = std::min(bandRows, height - first);
        image.row_offset = static_cast<int>(first);
        image.col_offset = 0;
        if (TIFFRGBAImageGet(&image, band.data(), width, rows) != 1)
            return file.Failure(TFailure::Corrupt, "picture data");
        // Bottom-up files come in bands from the bottom: their rows are handed on bottom up as well.
        for (std::uint32_t j = 0; j < rows; ++j) {
            const std::uint32_t k = flipped ? rows - 1 - j : j;
            const auto y = static_cast<std::int32_t>(flipped ? height - first - rows + k : first + k);
            const std::span<TColor> row = reducer.RowBuffer(y);
            std::copy_n(band.begin() + static_cast<std::ptrdiff_t>(std::size_t{k} * width), width,
                        row.begin());
            ToStraightBgra(row, premultiplied);
            reducer.AddRow(y);
        }
    }
    return reducer.Finish(picture);
}

} // namespace

TStatus DecodeTiff(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                   TGPSize* sourceSize) {
    picture = TBitmap();
    TTiffSource source{data, 0, {}};
    const TTiffFile file(source);
    TIFF* tiff = file.Get();
    if (tiff == nullptr)
        return file.Failure(TFailure::Corrupt, "not readable");

    std::uint32_t width = 0, height = 0;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) != 1)
        return file.Failure(TFailure::Corrupt, "no picture size");
    char why[1024] = {};
    if (TIFFRGBAImageOK(tiff, why) != 1)
        return TStatus::Fail(TFailure::Unsupported, std::string("TIFF: ") + why);
    if (targetSide > 0) {
        GW_TRY(CheckReducedSize("TIFF: picture", width, height, targetSide));
        GW_TRY(CheckJpegCoefficientMemory(tiff, width, height));
        TStatus status = DecodeBands(file, width, height, targetSide, sourceSize, picture);
        if (!status)
            picture = TBitmap();
        return status;
    }
    GW_TRY(CheckJpegCoefficientMemory(tiff, width, height));
    if (TStatus status = AllocatePicture(width, height, picture); !status)
        return TStatus::Fail(status.Kind(), "TIFF: " + status.Reason());

    const std::span<TColor> pixels = picture.Pixels();
    if (TIFFReadRGBAImageOriented(tiff, width, height, pixels.data(), ORIENTATION_TOPLEFT, 1) != 1) {
        picture = TBitmap();
        return file.Failure(TFailure::Corrupt, "picture data");
    }
    ToStraightBgra(pixels, DeliversPremultiplied(tiff));
    if (sourceSize != nullptr)
        *sourceSize = {picture.Width(), picture.Height()};
    return TStatus::Ok();
}

} // namespace gw
