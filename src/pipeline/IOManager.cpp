#include "pipeline/IOManager.h"

#include "formats/IconCoders.h"

#include "color/DataType.h"
#include "image/GDIUtils.h"
#include "image/Graphics.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "pipeline/FileNames.h"
#include "pipeline/Importers.h"
#include "pipeline/TypeCheck.h"
#include "settings/Setting.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace gw {

namespace fs = std::filesystem;

namespace {

// The extension of a file name from its last "." (dot included), or empty.
std::string LastExtension(const fs::path& path) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TGPRectF WholeRect(std::int32_t width, std::int32_t height) {
    return {0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)};
}

float RoundToPixel(float v) {
    return static_cast<float>(RoundHalfEven(static_cast<long double>(v)));
}

// Sets FMaxSize for the import step and puts it back however the step ends.
class TMaxSizeScope {
public:
    TMaxSizeScope(TIOManager& manager, std::int32_t value) : FManager(manager) { FManager.SetMaxSize(value); }
    ~TMaxSizeScope() { FManager.SetMaxSize(kBetweenConversions); }
    TMaxSizeScope(const TMaxSizeScope&) = delete;
    TMaxSizeScope& operator=(const TMaxSizeScope&) = delete;
    static constexpr std::int32_t kBetweenConversions = 512;

private:
    TIOManager& FManager;
};

// Points slot at value for the life of the scope.
template <typename T> class TLendScope {
public:
    TLendScope(T*& slot, T& value) : FSlot(slot) { FSlot = &value; }
    ~TLendScope() { FSlot = nullptr; }
    TLendScope(const TLendScope&) = delete;
    TLendScope& operator=(const TLendScope&) = delete;

private:
    T*& FSlot;
};

} // namespace

TIOManager::TIOManager(const TGlobalSetting& settings, TDataType& dataType)
    : FSettings(settings), FDataType(dataType) {}

bool TIOManager::ProcessFile(const fs::path& fileName, TErrorType& errorType) {
    errorType = TErrorType::etNone;
    fs::path name = fileName;
    if (!IsFileOK(name))
        return false;
    try {
        const TFileTypes fileType = CheckFileType(name);
        if (GetTypeCategory(fileType) != TFileCategory::fcPicture)
            return false;
        return ImportToIcon(name, fileType, errorType, FSettings.GetIconType() == TIconType::itWin);
    } catch (...) {
        // One bad file never stops a batch: the result is false with the kind reached so far.
        return false;
    }
}

bool TIOManager::IsFileOK(fs::path& fileName) {
    if (!FileExists(fileName))
        return false;
    if (LowerCase(LastExtension(fileName)) == ".lnk") {
        fileName = ResolveShortcut(fileName);
        return !fileName.empty() && FileExists(fileName);
    }
    return true;
}

fs::path TIOManager::ResolveShortcut(const fs::path&) {
    // NOTE: shell shortcuts are a Windows shell object; without it the answer is "no target".
    return {};
}

bool TIOManager::ImportToIcon(const fs::path& fileName, TFileTypes fileType, TErrorType& errorType,
                              bool win) {
    errorType = TErrorType::etNone;

    std::int32_t width = kCanvasSize;
    std::int32_t height = kCanvasSize;
    std::optional<TBitmap> picture;
    {
        const TMaxSizeScope scope(*this, kCanvasSize);
        picture = ImportToImage(width, height, true, fileName, fileType);
    }
    if (!picture) {
        errorType = TErrorType::etReadError;
        return false;
    }

    const std::int32_t side = std::max(width, height);
    auto canvas = std::make_unique<TOrbImage>(side, side, 32);
    ImageToImage(*picture, canvas->Bitmap());
    picture.reset();

    const auto formats = ParseFormatList(win ? FSettings.WinFormats() : FSettings.MacFormats());
    if (!formats)
        throw std::invalid_argument("a format of the list does not parse");

    TOrbIcon icon;
    {
        std::vector<TDrawnSize> drawnSizes;
        const TLendScope lend(FDrawnSizes, drawnSizes);
        for (const TImgFormat& format : *formats) {
            // Only the width decides: a format wider than the canvas would only enlarge it.
            if (format.Width > side)
                continue;
            CreateImageFromImage(icon, *canvas, format.Width, format.Height, format.BitCount, win);
        }
    }
    canvas.reset();

    const fs::path wanted = WantedOutputFile(fileName);
    std::vector<std::uint8_t> bytes;
    TPlacedFile placed;
    try {
        placed.Status = EncodeIcon(icon, IconKindForName(wanted), bytes);
    } catch (const std::exception& error) {
        placed.Status = TStatus::Fail(TFailure::Corrupt, error.what());
    }
    if (placed.Status)
        placed = SaveWithoutOverwrite(wanted, bytes);
    if (!placed.Status) {
        errorType = TErrorType::etWriteError;
        return false;
    }
    FLastOutputFile = placed.Path;
    return true;
}

TStatus TIOManager::EncodeIcon(TOrbIcon& icon, TIconFileKind kind, std::vector<std::uint8_t>& bytes) {
    const TIconWriteOptions options{.CompressVista = FSettings.CompressVista(), .Palettes = &FDataType};
    return gw::EncodeIcon(icon, kind, options, bytes);
}

std::optional<TBitmap> TIOManager::ImportToImage(std::int32_t& width, std::int32_t& height,
                                                 bool allowSizeChange, const fs::path& fileName,
                                                 TFileTypes fileType) const {
    // Fitting makes the longer side at most FMaxSize, so the decoder need not deliver more than that;
    // an exact size (no size change) may stretch, so it gets the full picture.
    const std::int32_t targetSide = allowSizeChange ? std::min(FMaxSize, std::max(width, height)) : 0;
    std::optional<TBitmap> decoded = OpenImage(fileName, fileType, targetSide);
    if (!decoded || !decoded->IsValid())
        return std::nullopt;
    // A picture that keeps its own size would be drawn 1:1 onto transparency, which leaves every pixel
    // as it is: hand over the decoded picture instead of a copy.
    if (allowSizeChange && decoded->Width() <= width && decoded->Height() <= height) {
        width = decoded->Width();
        height = decoded->Height();
        return decoded;
    }
    return SolveBitmapSize(width, height, allowSizeChange, *decoded);
}

std::optional<TBitmap> TIOManager::OpenImage(const fs::path& fileName, TFileTypes fileType,
                                             std::int32_t targetSide) {
    const std::unique_ptr<TImport> importer = CreateImporter(fileType);
    if (!importer)
        return std::nullopt;
    TBitmap picture;
    if (!importer->Import(fileName, picture, targetSide) || !picture.IsValid())
        return std::nullopt;
    return picture;
}

std::optional<TBitmap> TIOManager::SolveBitmapSize(std::int32_t& width, std::int32_t& height,
                                                   bool allowSizeChange, const TBitmap& bmp) const {
    const std::int32_t w = bmp.Width();
    const std::int32_t h = bmp.Height();
    TGPSize produced{width, height};
    if (width < w || height < h) {
        if (allowSizeChange)
            produced = FitSize(w, h, FMaxSize);
    } else if (allowSizeChange) {
        produced = {w, h};
    }
    // NOTE: a picture so thin that a fitted side rounds to 0 has nothing to draw; it is refused here
    // rather than turned into an empty icon.
    if (produced.Width < 1 || produced.Height < 1)
        return std::nullopt;
    TBitmap result(produced.Width, produced.Height);
    if (!result.IsValid())
        return std::nullopt;
    ImageToImage(bmp, result);
    width = produced.Width;
    height = produced.Height;
    return result;
}

void TIOManager::ImageToImage(const TBitmap& bmp, TBitmap& img) {
    const TGPRectF fitted =
        ShrinkToFit(WholeRect(img.Width(), img.Height()), WholeRect(bmp.Width(), bmp.Height()));
    const TGPRectF rect{RoundToPixel(fitted.X), RoundToPixel(fitted.Y), RoundToPixel(fitted.Width),
                        RoundToPixel(fitted.Height)};
    if (rect.Width == static_cast<float>(bmp.Width()) && rect.Height == static_cast<float>(bmp.Height())) {
        DrawBitmapAt(img, bmp, static_cast<std::int32_t>(rect.X), static_cast<std::int32_t>(rect.Y));
        return;
    }
    DrawBitmap(img, bmp, rect);
}

bool TIOManager::CreateImageFromImage(TOrbIcon& icon, const TOrbImage& image, std::int32_t width,
                                      std::int32_t height, std::uint8_t bitCount, bool win) {
    if (icon.InsertNewImage(width, height, bitCount) < 0)
        return false;
    TOrbImage* target = icon.Selected();
    if (target == nullptr)
        return false;

    const auto sameSize = [&](const TDrawnSize& d) { return d.Width == width && d.Height == height; };
    const auto drawn = FDrawnSizes ? std::find_if(FDrawnSizes->begin(), FDrawnSizes->end(), sameSize)
                                   : std::vector<TDrawnSize>::iterator();
    if (FDrawnSizes && drawn != FDrawnSizes->end()) {
        target->Bitmap() = drawn->Drawn;
    } else {
        const TGPRectF rect = ScaleToFit(WholeRect(target->Width(), target->Height()),
                                         WholeRect(image.Width(), image.Height()));
        DrawBitmap(target->Bitmap(), image.Bitmap(), rect);
        if (FDrawnSizes)
            FDrawnSizes->push_back({width, height, target->Bitmap()});
    }

    std::uint8_t paletteMode = pmMacintosh;
    if (win)
        paletteMode = bitCount == 1 || bitCount == 4 ? pmWindows : pmAdaptive;
    FDataType.Change(*target, bitCount, paletteMode);
    return true;
}

fs::path TIOManager::UniqueFileName(const fs::path& path) {
    return gw::UniqueFileName(path);
}

fs::path TIOManager::WantedOutputFile(const fs::path& fileName) const {
    const std::string name = fileName.filename().string();
    const std::string base = name.substr(0, name.size() - LastExtension(fileName).size());
    fs::path folder = FSettings.GetPath();
    if (folder.empty())
        folder = fileName.parent_path();
    const char* extension = FSettings.GetIconType() == TIconType::itMac ? ".icns" : ".ico";
    return folder / (base + extension);
}

} // namespace gw
