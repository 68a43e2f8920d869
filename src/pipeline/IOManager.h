#pragma once
// Turns one picture file into one icon file: detects the type, decodes the picture, fits it onto a
// square canvas of at most 1024 pixels, draws one icon image per wanted format, reduces each to its
// colour depth and saves the icon under a name that overwrites nothing.

#include "formats/IconCoders.h"
#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"
#include "pipeline/BatchProcess.h"
#include "pipeline/FormatList.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <vector>

namespace gw {

class TGlobalSetting;
class TDataType;
class TOrbIcon;
class TOrbImage;
class TSvgDocument;

// Windows icons and cursors and Macintosh icons: files whose images can serve as sources.
bool IsIconSource(TFileTypes fileType);

class TIOManager : public TFileProcessor {
public:
    // The manager reads the settings (format lists, icon type, output folder, PNG switch) and reduces
    // colour depth through dataType; both outlive it.
    TIOManager(const TGlobalSetting& settings, TDataType& dataType);

    // Converts one picture, or one icon file when icon sources are on; any other file gives false.
    bool ProcessFile(const std::filesystem::path& fileName, TErrorType& errorType) override;
    std::filesystem::path LastOutputFile() const override { return FLastOutputFile; }
    // The status of the last ProcessFile or ImportToIcon, beside the Boolean and the error kind they
    // answered: ok after a success, otherwise the reason the reader, the fitting or the writer gave.
    TStatus LastStatus() const override { return FLastStatus; }

    std::int32_t MaxSize() const { return FMaxSize; }
    void SetMaxSize(std::int32_t value) { FMaxSize = value; }

    // Whether icon files (.ico, .cur, .icns by content) are converted too (see IconToIcon). Off, as
    // for the window, which skips them; the command line turns it on.
    bool IconSources() const { return FIconSources; }
    void SetIconSources(bool value) { FIconSources = value; }

    // The remaining steps of a conversion are declared by the implementation below this line.

    // The side of the square the picture is fitted into while a conversion imports it.
    static constexpr std::int32_t kCanvasSize = 1024;

    // True when fileName names an existing file (symbolic links followed). A name ending in ".lnk" is
    // first replaced by the target of the shortcut, and the result is whether that target exists.
    static bool IsFileOK(std::filesystem::path& fileName);
    // The target of a shell shortcut. This platform has no shell link object, so the answer is always
    // the empty path, as when the object cannot be created.
    static std::filesystem::path ResolveShortcut(const std::filesystem::path& path);

    // Decodes, fits and draws; writes the icon. errorType tells a read error (no picture) from a write
    // error (the document could not be saved). Throws when a format item does not parse.
    bool ImportToIcon(const std::filesystem::path& fileName, TFileTypes fileType, TErrorType& errorType,
                      bool win);
    // Turns an icon file into an icon of the wanted type: each format of the list is drawn from the
    // best image of the file (BestSourceImage), an image of the same size and depth taken unchanged.
    // errorType tells a file that gives no image (read error) from one that cannot be saved.
    bool IconToIcon(const std::filesystem::path& fileName, TErrorType& errorType, bool win);
    // The image of source a format is best drawn from: the one of its size and depth; otherwise the
    // smallest at least as wide and high, a 32-bit one if there is such, the deeper of equal sizes;
    // otherwise the largest. Null for an empty document.
    static const TOrbImage* BestSourceImage(const TOrbIcon& source, std::int32_t width, std::int32_t height,
                                            std::uint8_t bitCount);
    // The picture fitted by SolveBitmapSize; width and height carry the wanted size in and the produced
    // size out. None when the file does not decode or the fitted size has no pixels; then status (when
    // given) says why.
    std::optional<TBitmap> ImportToImage(std::int32_t& width, std::int32_t& height, bool allowSizeChange,
                                         const std::filesystem::path& fileName, TFileTypes fileType,
                                         TStatus* status = nullptr) const;
    // The picture as the importer of fileType decodes it, or none (and status, when given, tells the
    // importer's reason). targetSide > 0 is the longest side the picture will be reduced to: decoders
    // that can (JPEG) then decode a smaller picture whose longer side is still at least that long.
    static std::optional<TBitmap> OpenImage(const std::filesystem::path& fileName, TFileTypes fileType,
                                            std::int32_t targetSide = 0, TStatus* status = nullptr);
    // A new transparent picture of the produced size with bmp drawn into it. A picture larger than the
    // wanted size on either side fits into FMaxSize when allowSizeChange, else becomes the wanted size;
    // a picture that fits keeps its size when allowSizeChange. None when the produced size has no
    // pixels (a picture so thin that a side rounds to 0).
    std::optional<TBitmap> SolveBitmapSize(std::int32_t& width, std::int32_t& height, bool allowSizeChange,
                                           const TBitmap& bmp) const;
    // Draws bmp into img, shrunk to fit (never enlarged), centred on whole pixels.
    static void ImageToImage(const TBitmap& bmp, TBitmap& img);
    // Where ImageToImage draws a picture of pictureWidth x pictureHeight into one of width x height.
    static TGPRectF CentredRect(std::int32_t width, std::int32_t height, std::int32_t pictureWidth,
                                std::int32_t pictureHeight);
    // Adds a width x height image of bitCount to icon, draws the canvas into it scaled to fit and
    // reduces it to its depth. False when the document refuses the image (a duplicate).
    bool CreateImageFromImage(TOrbIcon& icon, const TOrbImage& image, std::int32_t width, std::int32_t height,
                              std::uint8_t bitCount, bool win);
    // Adds a width x height image of bitCount to icon, renders document straight into it (placed as
    // VectorViewport says) and reduces it to its depth. False when the document refuses the image (a
    // duplicate) or the rendering fails (status says why).
    bool CreateImageFromVector(TOrbIcon& icon, const TSvgDocument& document, std::int32_t width,
                               std::int32_t height, std::uint8_t bitCount, bool win, TStatus& status);
    // Where a vector picture of documentWidth x documentHeight lies in a width x height icon image: the
    // rectangle the picture would cover after being fitted to the canvas, centred on it, and the canvas
    // scaled to the image, without rounding to the image's pixels.
    static TGPRectF VectorViewport(double documentWidth, double documentHeight, std::int32_t width,
                                   std::int32_t height);
    // Reduces an icon image drawn at 32 bits to bitCount with the palette of the icon type.
    void ReduceDepth(TOrbImage& image, std::uint8_t bitCount, bool win);
    // The first name of the series "name.ext", "name (2).ext", ... that names no existing file.
    static std::filesystem::path UniqueFileName(const std::filesystem::path& path);
    // The name the icon of fileName is wanted under before numbering: the output folder chosen in the
    // settings, present or not (or the folder of fileName when none is chosen), the file name without its
    // last extension, ".ico" or ".icns".
    std::filesystem::path WantedOutputFile(const std::filesystem::path& fileName) const;

protected:
    // The bytes of the finished icon file: the conversion's one call into the icon coders.
    virtual TStatus EncodeIcon(TOrbIcon& icon, TIconFileKind kind, std::vector<std::uint8_t>& bytes);

private:
    // Adds the image to icon and draws it through draw, from FDrawnSizes when that size was drawn
    // already; then reduces its depth. False when the image is refused or draw fails.
    bool CreateImage(TOrbIcon& icon, std::int32_t width, std::int32_t height, std::uint8_t bitCount, bool win,
                     const std::function<bool(TBitmap& target)>& draw);
    // Every format of the list, rendered from the SVG document of fileName.
    bool VectorToIcon(const std::filesystem::path& fileName, TErrorType& errorType, bool win);
    // The format list of the icon type; throws when an item does not parse.
    TImageFormats IconFormats(bool win) const;
    // A modern Macintosh icon also holds the 32-bit images of 32, 64, 256 and 512 pixels its retina
    // elements need; adds those missing, drawn by draw, up to the side of the source.
    void AddRetinaImages(TOrbIcon& icon, std::int32_t side,
                         const std::function<void(std::int32_t, std::int32_t)>& draw) const;
    // Saves icon under the name wanted for fileName without overwriting; false with etWriteError.
    bool WriteIcon(TOrbIcon& icon, const std::filesystem::path& fileName, TErrorType& errorType);
    // OpenImage with the importer's status and the picture's full size (before a reduced decode).
    static std::optional<TBitmap> OpenPicture(const std::filesystem::path& fileName, TFileTypes fileType,
                                              std::int32_t targetSide, TStatus& status, TGPSize& source);
    // The decoded picture of the import step and, in fitted, the size ImportToImage would fit it to
    // for the canvas (the picture is not drawn). None, with status saying why, when it does not decode
    // or is too thin to fit.
    std::optional<TBitmap> ImportForCanvas(const std::filesystem::path& fileName, TFileTypes fileType,
                                           TStatus& status, TGPSize& fitted) const;
    // The size SolveBitmapSize produces for a picture of source's size.
    TGPSize FittedSize(std::int32_t width, std::int32_t height, bool allowSizeChange, TGPSize source) const;
    // The refusal of a picture of source's size whose fitted size has a side of no pixel.
    TStatus TooThinStatus(TGPSize source) const;
    // SolveBitmapSize for a picture bmp decoded from one of source's size (larger after a reduced
    // decode): the produced size is fitted from source, and bmp is drawn to the whole of it.
    std::optional<TBitmap> FitPicture(std::int32_t& width, std::int32_t& height, bool allowSizeChange,
                                      const TBitmap& bmp, TGPSize source) const;
    // Sets errorType to kind and the status of the last conversion to status; answers false.
    bool Fail(TErrorType& errorType, TErrorType kind, TStatus status);
    // Ok unless the settings name an output folder that is not there (or is no folder).
    TStatus ChosenFolderStatus() const;
    // Ok when some format of the list fits a canvas of side pixels.
    static TStatus FormatsFitStatus(const TImageFormats& formats, std::int32_t side);

    const TGlobalSetting& FSettings;
    TDataType& FDataType;
    std::int32_t FMaxSize = 512;
    bool FIconSources = false;
    std::filesystem::path FLastOutputFile;
    TStatus FLastStatus;
    // While ImportToIcon runs, formats of the same size are drawn from its canvas once: the drawing
    // does not depend on the depth, so the later ones start from a copy. Null otherwise.
    struct TDrawnSize {
        std::int32_t Width = 0, Height = 0;
        TBitmap Drawn;
    };
    std::vector<TDrawnSize>* FDrawnSizes = nullptr;
    // While ImportToIcon saves a Windows icon with its 256 x 256 image as PNG: those pixels and their
    // PNG data, encoded on a helper thread while the other images were drawn and reduced. Null
    // otherwise.
    struct TPngAhead {
        struct TResult {
            TStatus Status;
            std::vector<std::uint8_t> Data;
        };
        TBitmap Pixels;
        std::shared_future<TResult> Png;
    };
    TPngAhead* FPngAhead = nullptr;
    static constexpr std::int32_t kPngAheadSide = 256;
    // Draws the 256 x 256 image of formats (draw fills it; false when it cannot) into drawnSizes and
    // starts encoding its PNG data; none when the list has no such 32-bit image, the drawing fails or
    // no thread starts.
    static std::optional<TPngAhead> StartPngAhead(const TImageFormats& formats,
                                                  std::vector<TDrawnSize>& drawnSizes,
                                                  const std::function<bool(TBitmap&)>& draw);
    // WriteIcon with the PNG encoded ahead, when there is one, handed to the writer.
    bool WriteIcon(TOrbIcon& icon, const std::filesystem::path& sourceName, TErrorType& errorType,
                   std::optional<TPngAhead>& pngAhead);
    // Draws the whole canvas scaled to fit into target.
    static void DrawCanvas(const TBitmap& canvas, TBitmap& target);
};

} // namespace gw
