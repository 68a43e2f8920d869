#pragma once
// Turns one picture file into one icon file: detects the type, decodes the picture, fits it onto a
// square canvas of at most 1024 pixels, draws one icon image per wanted format, reduces each to its
// colour depth and saves the icon under a name that overwrites nothing.

#include "formats/IconCoders.h"
#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "pipeline/BatchProcess.h"
#include "pipeline/FormatList.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace gw {

class TGlobalSetting;
class TDataType;
class TOrbIcon;
class TOrbImage;

class TIOManager : public TFileProcessor {
public:
    // The manager reads the settings (format lists, icon type, output folder, PNG switch) and reduces
    // colour depth through dataType; both outlive it.
    TIOManager(const TGlobalSetting& settings, TDataType& dataType);

    bool ProcessFile(const std::filesystem::path& fileName, TErrorType& errorType) override;
    std::filesystem::path LastOutputFile() const override { return FLastOutputFile; }

    std::int32_t MaxSize() const { return FMaxSize; }
    void SetMaxSize(std::int32_t value) { FMaxSize = value; }

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
    // The picture fitted by SolveBitmapSize; width and height carry the wanted size in and the produced
    // size out. None when the file does not decode.
    std::optional<TBitmap> ImportToImage(std::int32_t& width, std::int32_t& height, bool allowSizeChange,
                                         const std::filesystem::path& fileName, TFileTypes fileType) const;
    // The picture as the importer of fileType decodes it, or none. targetSide > 0 is the longest side
    // the picture will be reduced to: decoders that can (JPEG) then decode a smaller picture whose
    // longer side is still at least that long.
    static std::optional<TBitmap> OpenImage(const std::filesystem::path& fileName, TFileTypes fileType,
                                            std::int32_t targetSide = 0);
    // A new transparent picture of the produced size with bmp drawn into it. A picture larger than the
    // wanted size on either side fits into FMaxSize when allowSizeChange, else becomes the wanted size;
    // a picture that fits keeps its size when allowSizeChange. None when the produced size has no
    // pixels (a picture so thin that a side rounds to 0).
    std::optional<TBitmap> SolveBitmapSize(std::int32_t& width, std::int32_t& height, bool allowSizeChange,
                                           const TBitmap& bmp) const;
    // Draws bmp into img, shrunk to fit (never enlarged), centred on whole pixels.
    static void ImageToImage(const TBitmap& bmp, TBitmap& img);
    // Adds a width x height image of bitCount to icon, draws the canvas into it scaled to fit and
    // reduces it to its depth. False when the document refuses the image (a duplicate).
    bool CreateImageFromImage(TOrbIcon& icon, const TOrbImage& image, std::int32_t width, std::int32_t height,
                              std::uint8_t bitCount, bool win);
    // The first name of the series "name.ext", "name (2).ext", ... that names no existing file.
    static std::filesystem::path UniqueFileName(const std::filesystem::path& path);
    // The name the icon of fileName is wanted under before numbering: the output folder of the
    // settings (or the folder of fileName), the file name without its last extension, ".ico" or ".icns".
    std::filesystem::path WantedOutputFile(const std::filesystem::path& fileName) const;

protected:
    // The bytes of the finished icon file: the conversion's one call into the icon coders.
    virtual TStatus EncodeIcon(TOrbIcon& icon, TIconFileKind kind, std::vector<std::uint8_t>& bytes);

private:
    const TGlobalSetting& FSettings;
    TDataType& FDataType;
    std::int32_t FMaxSize = 512;
    std::filesystem::path FLastOutputFile;
    // While ImportToIcon runs, formats of the same size are drawn from its canvas once: the drawing
    // does not depend on the depth, so the later ones start from a copy. Null otherwise.
    struct TDrawnSize {
        std::int32_t Width = 0, Height = 0;
        TBitmap Drawn;
    };
    std::vector<TDrawnSize>* FDrawnSizes = nullptr;
};

} // namespace gw
