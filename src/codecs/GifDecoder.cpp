#include "codecs/GifDecoder.h"

#include "codecs/DecodeSupport.h"
#include "image/Limits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>

namespace gw {

namespace {

constexpr int kNoTransparency = -1;
constexpr TColor kMissingColor = MakeColor(255, 0, 0, 0); // index beyond the colour table

struct TGifSource {
    std::span<const std::uint8_t> Data;
    std::size_t Position = 0;
};

// giflib's input callback: copies what is left and reports a short count at the end, which giflib
// turns into a read error.
int ReadGif(GifFileType* gif, GifByteType* out, int count) {
    auto* source = static_cast<TGifSource*>(gif->UserData);
    if (count <= 0)
        return 0;
    const std::size_t available = source->Data.size() - source->Position;
    const std::size_t copied = std::min<std::size_t>(static_cast<std::size_t>(count), available);
    if (copied == 0)
        return 0;
    std::memcpy(out, source->Data.data() + source->Position, copied);
    source->Position += copied;
    return static_cast<int>(copied);
}

class TGifFile {
public:
    explicit TGifFile(TGifSource& source) : FSource(source) {
        FGif = DGifOpen(&source, ReadGif, &FOpenError);
    }
    ~TGifFile() {
        if (FGif != nullptr) {
            int ignored = 0;
            DGifCloseFile(FGif, &ignored);
        }
    }
    TGifFile(const TGifFile&) = delete;
    TGifFile& operator=(const TGifFile&) = delete;

    GifFileType* Get() const { return FGif; }
    TStatus Failure(const char* what) const {
        const int code = FGif != nullptr ? FGif->Error : FOpenError;
        // NOTE: giflib does not always set an error code when a read comes up short, so running out of
        // data counts as truncation whatever the code says.
        const bool atEnd = FSource.Position == FSource.Data.size();
        const TFailure kind = (atEnd || code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON)
                                  ? TFailure::Truncated
                                  : TFailure::Corrupt;
        const char* text = code != 0 ? GifErrorString(code) : nullptr;
        return TStatus::Fail(kind, std::string("GIF: ") + what + ": " +
                                       (text != nullptr ? text : "data ends early"));
    }

private:
    const TGifSource& FSource;
    GifFileType* FGif = nullptr;
    int FOpenError = 0;
};

// The row that line `line` of an interlaced frame belongs to: the four passes start at rows 0, 4, 2, 1
// and step by 8, 8, 4, 2 (GIF89a, appendix E).
std::int32_t InterlacedRow(std::int32_t line, std::int32_t height) {
    constexpr std::array<std::int32_t, 4> kStart{0, 4, 2, 1};
    constexpr std::array<std::int32_t, 4> kStep{8, 8, 4, 2};
    for (std::size_t pass = 0; pass < kStart.size(); ++pass) {
        const std::int32_t rows =
            kStart[pass] < height ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (line < rows)
            return kStart[pass] + line * kStep[pass];
        line -= rows;
    }
    return height; // not reached for line < height
}

// A side of the screen or frame: a picture reduced on reading may be as large as a scaled source.
TStatus CheckSize(const char* what, std::int64_t width, std::int64_t height, std::int32_t targetSide) {
    if (width <= 0 || height <= 0)
        return TStatus::Fail(TFailure::Corrupt, std::string("GIF: ") + what + " has no pixels");
    return CheckReducedSize(std::string("GIF: ") + what, width, height, targetSide);
}

// The first frame's colours, its transparent entry as transparent black.
TStatus FramePalette(GifFileType* gif, int transparentIndex, std::vector<TColor>& palette) {
    const ColorMapObject* colorMap = gif->Image.ColorMap != nullptr ? gif->Image.ColorMap : gif->SColorMap;
    if (colorMap == nullptr || colorMap->Colors == nullptr || colorMap->ColorCount <= 0)
        return TStatus::Fail(TFailure::Corrupt, "GIF: no colour table");
    palette.assign(256, kMissingColor);
    const int colorCount = std::min(colorMap->ColorCount, 256);
    for (int i = 0; i < colorCount; ++i) {
        const GifColorType& c = colorMap->Colors[i];
        palette[static_cast<std::size_t>(i)] = MakeColor(255, c.Red, c.Green, c.Blue);
    }
    if (transparentIndex >= 0 && transparentIndex < 256)
        palette[static_cast<std::size_t>(transparentIndex)] = 0;
    return TStatus::Ok();
}

// One line of the frame onto a screen row; frames may reach beyond the screen, only the part on
// the screen is drawn.
void DrawLine(const GifImageDesc& frame, std::span<const GifPixelType> line,
              const std::vector<TColor>& palette, std::span<TColor> row) {
    for (std::int32_t x = 0; x < frame.Width; ++x) {
        const std::int64_t screenX = std::int64_t{frame.Left} + x;
        if (screenX >= 0 && screenX < static_cast<std::int64_t>(row.size()))
            row[static_cast<std::size_t>(screenX)] = palette[line[static_cast<std::size_t>(x)]];
    }
}

// The first frame of a frame that is not interlaced, line by line onto the screen rows in order: rows
// the frame does not cover are transparent.
TStatus ReduceFirstFrame(const TGifFile& file, int transparentIndex, std::int32_t targetSide,
                         TGPSize* sourceSize, TBitmap& picture) {
    GifFileType* gif = file.Get();
    const GifImageDesc& frame = gif->Image;
    GW_TRY(CheckSize("frame", frame.Width, frame.Height, targetSide));
    std::vector<TColor> palette;
    GW_TRY(FramePalette(gif, transparentIndex, palette));
    TAreaReducer reducer;
    GW_TRY(StartReduction("GIF: screen", gif->SWidth, gif->SHeight, targetSide, reducer, sourceSize));
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    std::int32_t next = 0; // the next screen row to hand on
    for (std::int32_t i = 0; i < frame.Height; ++i) {
        if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK)
            return file.Failure("frame data");
        const std::int64_t y = std::int64_t{frame.Top} + i;
        if (y < next || y >= gif->SHeight)
            continue;
        for (; next < y; ++next) {
            reducer.RowBuffer(next);
            reducer.AddRow(next);
        }
        DrawLine(frame, line, palette, reducer.RowBuffer(next));
        reducer.AddRow(next++);
    }
    for (; next < gif->SHeight; ++next) {
        reducer.RowBuffer(next);
        reducer.AddRow(next);
    }
    return reducer.Finish(picture);
}

// Reads the first frame's pixels line by line and draws them onto the screen-sized picture.
TStatus DrawFirstFrame(const TGifFile& file, int transparentIndex, TBitmap& picture) {
    GifFileType* gif = file.Get();
    const GifImageDesc& frame = gif->Image;
    GW_TRY(CheckSize("frame", frame.Width, frame.Height, 0));
    std::vector<TColor> palette;
    GW_TRY(FramePalette(gif, transparentIndex, palette));

    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    for (std::int32_t i = 0; i < frame.Height; ++i) {
        if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK)
            return file.Failure("frame data");
        const std::int64_t y =
            std::int64_t{frame.Top} + (frame.Interlace ? InterlacedRow(i, frame.Height) : i);
        if (y < 0 || y >= picture.Height())
            continue;
        DrawLine(frame, line, palette, picture.Row(static_cast<std::int32_t>(y)));
    }
    return TStatus::Ok();
}

} // namespace

TStatus DecodeGif(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                  TGPSize* sourceSize) {
    picture = TBitmap();
    TGifSource source{data, 0};
    TGifFile file(source);
    GifFileType* gif = file.Get();
    if (gif == nullptr)
        return file.Failure("header");
    GW_TRY(CheckSize("screen", gif->SWidth, gif->SHeight, targetSide));

    int transparentIndex = kNoTransparency;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) != GIF_OK)
            return file.Failure("record");
        if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK)
                return file.Failure("image descriptor");
            if (targetSide > 0 && !gif->Image.Interlace) {
                TStatus status = ReduceFirstFrame(file, transparentIndex, targetSide, sourceSize, picture);
                if (!status)
                    picture = TBitmap();
                return status;
            }
            // An interlaced frame comes in four passes over the whole screen: it is decoded whole.
            GW_TRY(CheckSize("screen", gif->SWidth, gif->SHeight, 0));
            GW_TRY(AllocatePicture(gif->SWidth, gif->SHeight, picture));
            if (TStatus status = DrawFirstFrame(file, transparentIndex, picture); !status) {
                picture = TBitmap();
                return status;
            }
            return ReduceWholePicture(picture, targetSide, sourceSize);
        }
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK)
                return file.Failure("extension");
            // Graphic control extension (GIF89a, section 23): 4 data bytes, bit 0 of the first says
            // whether the fourth names a transparent colour. It applies to the next frame.
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
                transparentIndex = (block[1] & 0x01) != 0 ? block[4] : kNoTransparency;
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                    return file.Failure("extension");
            }
            continue;
        }
        if (record == TERMINATE_RECORD_TYPE)
            return TStatus::Fail(TFailure::Corrupt, "GIF: no frame");
        return TStatus::Fail(TFailure::Corrupt, "GIF: unknown record");
    }
}

} // namespace gw
