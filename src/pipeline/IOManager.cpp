#include "pipeline/IOManager.h"

#include "codecs/ConvertPng.h"
#include "codecs/SvgCodec.h"
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
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

namespace gw {

namespace fs = std::filesystem;

bool IsIconSource(TFileTypes fileType) {
    return fileType == TFileTypes::ftIco || fileType == TFileTypes::ftCur ||
           fileType == TFileTypes::ftMacIcon;
}

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
    FLastStatus = TStatus::Ok();
    fs::path name = fileName;
    if (!IsFileOK(name)) {
        FLastStatus = TStatus::Fail(TFailure::Io, "the file does not exist");
        return false;
    }
    try {
        const TFileTypes fileType = CheckFileType(name);
        const bool win = FSettings.GetIconType() == TIconType::itWin;
        if (FIconSources && IsIconSource(fileType))
            return IconToIcon(name, errorType, win);
        if (GetTypeCategory(fileType) != TFileCategory::fcPicture) {
            FLastStatus = TStatus::Fail(TFailure::Unsupported, "not a picture");
            return false;
        }
        return ImportToIcon(name, fileType, errorType, win);
    } catch (const std::bad_alloc&) {
        FLastStatus = TStatus::Fail(TFailure::TooLarge, "not enough memory for the conversion");
    } catch (const fs::filesystem_error& error) {
        FLastStatus = TStatus::Fail(TFailure::Io, "cannot be opened: " + error.code().message());
    } catch (const std::exception& error) {
        FLastStatus = TStatus::Fail(TFailure::Corrupt, error.what());
    } catch (...) {
        FLastStatus = TStatus::Fail(TFailure::Corrupt, "the conversion failed unexpectedly");
    }
    // One bad file never stops a batch: the result is false with the kind reached so far.
    return false;
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
    FLastStatus = TStatus::Ok();
    // A chosen folder that is gone (a drive unplugged, a folder renamed) fails the conversion: the
    // icon never goes anywhere else.
    if (auto folder = ChosenFolderStatus(); !folder)
        return Fail(errorType, TErrorType::etWriteError, std::move(folder));
    if (IsVectorType(fileType))
        return VectorToIcon(fileName, errorType, win);

    TGPSize fitted{};
    std::optional<TBitmap> picture;
    {
        const TMaxSizeScope scope(*this, kCanvasSize);
        TStatus status;
        picture = ImportForCanvas(fileName, fileType, status, fitted);
        if (!picture)
            return Fail(errorType, TErrorType::etReadError, std::move(status));
    }

    const TImageFormats formats = IconFormats(win);
    const std::int32_t side = std::max(fitted.Width, fitted.Height);
    if (auto fits = FormatsFitStatus(formats, side); !fits)
        return Fail(errorType, TErrorType::etWriteError, std::move(fits));
    // The decoded picture is drawn straight to its fitted size at its place on the canvas: the same
    // pixels as fitting it first and centring the fitted picture, without the picture in between.
    auto canvas = std::make_unique<TOrbImage>(side, side, 32);
    DrawBitmap(canvas->Bitmap(), *picture, CentredRect(side, side, fitted.Width, fitted.Height));
    picture.reset();

    TOrbIcon icon;
    std::optional<TPngAhead> pngAhead;
    {
        std::vector<TDrawnSize> drawnSizes;
        const TLendScope lend(FDrawnSizes, drawnSizes);
        if (win && FSettings.CompressVista() && side >= kPngAheadSide)
            pngAhead = StartPngAhead(formats, drawnSizes, [&](TBitmap& target) {
                DrawCanvas(canvas->Bitmap(), target);
                return true;
            });
        for (const TImgFormat& format : formats) {
            // Only the width decides: a format wider than the canvas would only enlarge it.
            if (format.Width > side)
                continue;
            CreateImageFromImage(icon, *canvas, format.Width, format.Height, format.BitCount, win);
        }
        if (!win)
            AddRetinaImages(icon, side, [&](std::int32_t width, std::int32_t height) {
                CreateImageFromImage(icon, *canvas, width, height, 32, false);
            });
    }
    canvas.reset();
    return WriteIcon(icon, fileName, errorType, pngAhead);
}

bool TIOManager::WriteIcon(TOrbIcon& icon, const fs::path& sourceName, TErrorType& errorType,
                           std::optional<TPngAhead>& pngAhead) {
    if (!pngAhead)
        return WriteIcon(icon, sourceName, errorType);
    const TLendScope lendPng(FPngAhead, *pngAhead);
    return WriteIcon(icon, sourceName, errorType);
}

std::optional<TIOManager::TPngAhead> TIOManager::StartPngAhead(const TImageFormats& formats,
                                                               std::vector<TDrawnSize>& drawnSizes,
                                                               const std::function<bool(TBitmap&)>& draw) {
    const bool wanted = std::any_of(formats.begin(), formats.end(), [](const TImgFormat& format) {
        return format.Width == kPngAheadSide && format.Height == kPngAheadSide && format.BitCount == 32;
    });
    if (!wanted)
        return std::nullopt;
    TBitmap drawn(kPngAheadSide, kPngAheadSide);
    if (!draw(drawn))
        return std::nullopt; // drawn again in its turn, which reports the failure
    TPngAhead ahead{drawn, {}};
    try {
        ahead.Png = std::async(std::launch::async, [pixels = std::move(drawn)] {
            TPngAhead::TResult result;
            result.Status = GuardAllocation("encoding the PNG image",
                                            [&] { return BitmapToPngData(pixels, result.Data); });
            return result;
        });
    } catch (const std::system_error&) {
        return std::nullopt; // no thread: the writer encodes it
    }
    drawnSizes.push_back({kPngAheadSide, kPngAheadSide, ahead.Pixels});
    return ahead;
}

bool TIOManager::Fail(TErrorType& errorType, TErrorType kind, TStatus status) {
    errorType = kind;
    FLastStatus = std::move(status);
    return false;
}

bool TIOManager::VectorToIcon(const fs::path& fileName, TErrorType& errorType, bool win) {
    std::unique_ptr<TSvgDocument> document;
    if (TStatus loaded = LoadSvgDocument(fileName, document); !loaded)
        return Fail(errorType, TErrorType::etReadError, std::move(loaded));
    const TImageFormats formats = IconFormats(win);
    // Every size is rendered from the document, so none is left out for being larger than the picture.
    TOrbIcon icon;
    std::vector<TDrawnSize> drawnSizes;
    const TLendScope lend(FDrawnSizes, drawnSizes);
    std::optional<TPngAhead> pngAhead;
    if (win && FSettings.CompressVista())
        pngAhead = StartPngAhead(formats, drawnSizes, [&](TBitmap& target) {
            return document
                ->Render(target, VectorViewport(document->Width(), document->Height(), target.Width(),
                                                target.Height()))
                .IsOk();
        });
    for (const TImgFormat& format : formats) {
        TStatus status;
        if (!CreateImageFromVector(icon, *document, format.Width, format.Height, format.BitCount, win,
                                   status) &&
            !status)
            return Fail(errorType, TErrorType::etReadError, std::move(status));
    }
    // A document renders at every size, so every retina image can be drawn.
    if (!win)
        AddRetinaImages(icon, std::numeric_limits<std::int32_t>::max(),
                        [&](std::int32_t width, std::int32_t height) {
                            TStatus status;
                            CreateImageFromVector(icon, *document, width, height, 32, false, status);
                        });
    return WriteIcon(icon, fileName, errorType, pngAhead);
}

TImageFormats TIOManager::IconFormats(bool win) const {
    auto formats = ParseFormatList(win ? FSettings.WinFormats() : FSettings.MacFormats());
    if (!formats)
        throw std::invalid_argument("a format of the list does not parse");
    return std::move(*formats);
}

bool TIOManager::WriteIcon(TOrbIcon& icon, const fs::path& fileName, TErrorType& errorType) {
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
        // The folder may have gone while the icon was made; otherwise the coder's or the file
        // system's reason, with the folder.
        if (auto folder = ChosenFolderStatus(); !folder)
            return Fail(errorType, TErrorType::etWriteError, std::move(folder));
        const TStatus& cause = placed.Status;
        const fs::path folder = wanted.parent_path();
        return Fail(errorType, TErrorType::etWriteError,
                    TStatus::Fail(cause.Kind(), "the icon could not be written into " +
                                                    (folder.empty() ? std::string(".") : folder.string()) +
                                                    ": " + cause.Reason()));
    }
    FLastOutputFile = placed.Path;
    return true;
}

void TIOManager::AddRetinaImages(TOrbIcon& icon, std::int32_t side,
                                 const std::function<void(std::int32_t, std::int32_t)>& draw) const {
    if (!FSettings.MacModern())
        return;
    for (const std::int32_t retina : {32, 64, 256, 512}) {
        if (retina <= side && icon.CanInsertImage(retina, retina, 32))
            draw(retina, retina);
    }
}

bool TIOManager::IconToIcon(const fs::path& fileName, TErrorType& errorType, bool win) {
    errorType = TErrorType::etNone;
    FLastStatus = TStatus::Ok();
    TOrbIcon source;
    TStatus loaded = LoadIcon(fileName, source);
    if (loaded && source.ImageCount() == 0)
        loaded = TStatus::Fail(TFailure::Corrupt, "no image could be read");
    if (!loaded)
        return Fail(errorType, TErrorType::etReadError, std::move(loaded));
    const TImageFormats formats = IconFormats(win);

    TOrbIcon icon;
    const auto draw = [&](std::int32_t width, std::int32_t height, std::uint8_t bitCount) {
        const TOrbImage* from = BestSourceImage(source, width, height, bitCount);
        if (from->Width() != width || from->Height() != height || from->DataType() != bitCount) {
            CreateImageFromImage(icon, *from, width, height, bitCount, win);
            return;
        }
        if (icon.InsertNewImage(width, height, bitCount) >= 0 && icon.Selected() != nullptr)
            icon.Selected()->Copy(*from);
    };
    std::int32_t side = 0;
    for (const TOrbImage& image : source.Image())
        side = std::max({side, image.Width(), image.Height()});
    for (const TImgFormat& format : formats)
        draw(format.Width, format.Height, format.BitCount);
    if (!win)
        AddRetinaImages(icon, side,
                        [&](std::int32_t width, std::int32_t height) { draw(width, height, 32); });
    return WriteIcon(icon, fileName, errorType);
}

const TOrbImage* TIOManager::BestSourceImage(const TOrbIcon& source, std::int32_t width, std::int32_t height,
                                             std::uint8_t bitCount) {
    const TOrbImage* exact = nullptr;
    const TOrbImage* larger = nullptr; // the smallest at least as large, 32-bit first
    const TOrbImage* largest = nullptr;
    const auto area = [](const TOrbImage& image) {
        return static_cast<std::int64_t>(image.Width()) * image.Height();
    };
    // a before b: 32-bit first, then the smaller, then the deeper.
    const auto betterLarger = [&](const TOrbImage& a, const TOrbImage& b) {
        if ((a.DataType() == 32) != (b.DataType() == 32))
            return a.DataType() == 32;
        if (area(a) != area(b))
            return area(a) < area(b);
        return a.DataType() > b.DataType();
    };
    for (const TOrbImage& image : source.Image()) {
        if (image.Width() == width && image.Height() == height && image.DataType() == bitCount)
            exact = &image;
        if (image.Width() >= width && image.Height() >= height &&
            (larger == nullptr || betterLarger(image, *larger)))
            larger = &image;
        if (largest == nullptr || area(image) > area(*largest) ||
            (area(image) == area(*largest) && image.DataType() > largest->DataType()))
            largest = &image;
    }
    return exact != nullptr ? exact : larger != nullptr ? larger : largest;
}

TStatus TIOManager::EncodeIcon(TOrbIcon& icon, TIconFileKind kind, std::vector<std::uint8_t>& bytes) {
    TIconWriteOptions options{.CompressVista = FSettings.CompressVista(),
                              .Palettes = &FDataType,
                              .MacModern = FSettings.MacModern()};
    if (FPngAhead != nullptr)
        options.PngEncoder = [ahead = FPngAhead](const TBitmap& bitmap, std::vector<std::uint8_t>& out) {
            if (!(bitmap == ahead->Pixels))
                return BitmapToPngData(bitmap, out);
            const TPngAhead::TResult& result = ahead->Png.get();
            if (result.Status)
                out = result.Data;
            return result.Status;
        };
    return gw::EncodeIcon(icon, kind, options, bytes);
}

TStatus TIOManager::ChosenFolderStatus() const {
    const std::string chosen = FSettings.ChosenPath();
    if (chosen.empty())
        return TStatus::Ok();
    std::error_code ec;
    if (chosen.find('\0') == std::string::npos && fs::is_directory(fs::path(chosen), ec))
        return TStatus::Ok();
    const bool exists = chosen.find('\0') == std::string::npos && fs::exists(fs::path(chosen), ec);
    return TStatus::Fail(TFailure::Io,
                         "the output folder " + chosen + (exists ? " is not a folder" : " does not exist"));
}

TStatus TIOManager::FormatsFitStatus(const TImageFormats& formats, std::int32_t side) {
    if (formats.empty())
        return TStatus::Fail(TFailure::Unsupported, "the format list is empty");
    const auto smallest =
        std::min_element(formats.begin(), formats.end(),
                         [](const TImgFormat& a, const TImgFormat& b) { return a.Width < b.Width; });
    if (smallest->Width <= side)
        return TStatus::Ok();
    return TStatus::Fail(TFailure::Unsupported,
                         "the picture is smaller than the smallest image of the format list (" +
                             std::to_string(smallest->Width) + " x " + std::to_string(smallest->Height) +
                             ")");
}

std::optional<TBitmap> TIOManager::ImportToImage(std::int32_t& width, std::int32_t& height,
                                                 bool allowSizeChange, const fs::path& fileName,
                                                 TFileTypes fileType, TStatus* status) const {
    // Fitting makes the longer side at most FMaxSize, so the decoder need not deliver more than that;
    // an exact size (no size change) may stretch, so it gets the full picture.
    const std::int32_t targetSide = allowSizeChange ? std::min(FMaxSize, std::max(width, height)) : 0;
    TStatus opened;
    TGPSize source{};
    std::optional<TBitmap> decoded = OpenPicture(fileName, fileType, targetSide, opened, source);
    if (!decoded) {
        if (status != nullptr)
            *status = std::move(opened);
        return std::nullopt;
    }
    // A picture that keeps its own size would be drawn 1:1 onto transparency, which leaves every pixel
    // as it is: hand over the decoded picture instead of a copy.
    if (allowSizeChange && source.Width <= width && source.Height <= height &&
        source == TGPSize{decoded->Width(), decoded->Height()}) {
        width = decoded->Width();
        height = decoded->Height();
        return decoded;
    }
    std::optional<TBitmap> fitted = FitPicture(width, height, allowSizeChange, *decoded, source);
    if (!fitted && status != nullptr)
        *status = TooThinStatus(source);
    return fitted;
}

std::optional<TBitmap> TIOManager::ImportForCanvas(const fs::path& fileName, TFileTypes fileType,
                                                   TStatus& status, TGPSize& fitted) const {
    TGPSize source{};
    std::optional<TBitmap> decoded =
        OpenPicture(fileName, fileType, std::min(FMaxSize, kCanvasSize), status, source);
    if (!decoded)
        return std::nullopt;
    fitted = FittedSize(kCanvasSize, kCanvasSize, true, source);
    if (fitted.Width < 1 || fitted.Height < 1) {
        status = TooThinStatus(source);
        return std::nullopt;
    }
    return decoded;
}

TStatus TIOManager::TooThinStatus(TGPSize source) const {
    return TStatus::Fail(TFailure::Unsupported,
                         "the picture of " + std::to_string(source.Width) + " x " +
                             std::to_string(source.Height) + " pixels is too thin to fit into " +
                             std::to_string(FMaxSize) + " x " + std::to_string(FMaxSize) +
                             " (a side would have no pixel)");
}

TGPSize TIOManager::FittedSize(std::int32_t width, std::int32_t height, bool allowSizeChange,
                               TGPSize source) const {
    if (width < source.Width || height < source.Height)
        return allowSizeChange ? FitSize(source.Width, source.Height, FMaxSize) : TGPSize{width, height};
    return allowSizeChange ? source : TGPSize{width, height};
}

std::optional<TBitmap> TIOManager::OpenImage(const fs::path& fileName, TFileTypes fileType,
                                             std::int32_t targetSide, TStatus* status) {
    TStatus opened;
    TGPSize source{};
    std::optional<TBitmap> picture = OpenPicture(fileName, fileType, targetSide, opened, source);
    if (status != nullptr)
        *status = std::move(opened);
    return picture;
}

std::optional<TBitmap> TIOManager::OpenPicture(const fs::path& fileName, TFileTypes fileType,
                                               std::int32_t targetSide, TStatus& status, TGPSize& source) {
    const std::unique_ptr<TImport> importer = CreateImporter(fileType);
    if (!importer) {
        status = TStatus::Fail(TFailure::Unsupported, "not a picture");
        return std::nullopt;
    }
    TBitmap picture;
    status = importer->Import(fileName, picture, targetSide);
    if (!status || !picture.IsValid()) {
        if (status)
            status = TStatus::Fail(TFailure::Corrupt, "the picture could not be decoded");
        return std::nullopt;
    }
    source = importer->SourceSize();
    return picture;
}

std::optional<TBitmap> TIOManager::SolveBitmapSize(std::int32_t& width, std::int32_t& height,
                                                   bool allowSizeChange, const TBitmap& bmp) const {
    return FitPicture(width, height, allowSizeChange, bmp, {bmp.Width(), bmp.Height()});
}

std::optional<TBitmap> TIOManager::FitPicture(std::int32_t& width, std::int32_t& height, bool allowSizeChange,
                                              const TBitmap& bmp, TGPSize source) const {
    const TGPSize produced = FittedSize(width, height, allowSizeChange, source);
    // NOTE: a picture so thin that a fitted side rounds to 0 has nothing to draw; it is refused here
    // rather than turned into an empty icon.
    if (produced.Width < 1 || produced.Height < 1)
        return std::nullopt;
    TBitmap result(produced.Width, produced.Height);
    if (!result.IsValid())
        return std::nullopt;
    if (!allowSizeChange)
        ImageToImage(bmp, result);
    else if (produced == TGPSize{bmp.Width(), bmp.Height()})
        DrawBitmapAt(result, bmp, 0, 0);
    else
        // The produced size is the picture's own aspect, rounded: it is drawn to the whole of it, so
        // no row or column stays empty where the rounding of a second fit would lose one.
        DrawBitmap(result, bmp, WholeRect(produced.Width, produced.Height));
    width = produced.Width;
    height = produced.Height;
    return result;
}

TGPRectF TIOManager::CentredRect(std::int32_t width, std::int32_t height, std::int32_t pictureWidth,
                                 std::int32_t pictureHeight) {
    const TGPRectF fitted = ShrinkToFit(WholeRect(width, height), WholeRect(pictureWidth, pictureHeight));
    return {RoundToPixel(fitted.X), RoundToPixel(fitted.Y), RoundToPixel(fitted.Width),
            RoundToPixel(fitted.Height)};
}

void TIOManager::ImageToImage(const TBitmap& bmp, TBitmap& img) {
    const TGPRectF rect = CentredRect(img.Width(), img.Height(), bmp.Width(), bmp.Height());
    if (rect.Width == static_cast<float>(bmp.Width()) && rect.Height == static_cast<float>(bmp.Height())) {
        DrawBitmapAt(img, bmp, static_cast<std::int32_t>(rect.X), static_cast<std::int32_t>(rect.Y));
        return;
    }
    DrawBitmap(img, bmp, rect);
}

bool TIOManager::CreateImageFromImage(TOrbIcon& icon, const TOrbImage& image, std::int32_t width,
                                      std::int32_t height, std::uint8_t bitCount, bool win) {
    return CreateImage(icon, width, height, bitCount, win, [&](TBitmap& target) {
        DrawCanvas(image.Bitmap(), target);
        return true;
    });
}

void TIOManager::DrawCanvas(const TBitmap& canvas, TBitmap& target) {
    const TGPRectF rect =
        ScaleToFit(WholeRect(target.Width(), target.Height()), WholeRect(canvas.Width(), canvas.Height()));
    DrawBitmap(target, canvas, rect);
}

bool TIOManager::CreateImageFromVector(TOrbIcon& icon, const TSvgDocument& document, std::int32_t width,
                                       std::int32_t height, std::uint8_t bitCount, bool win,
                                       TStatus& status) {
    status = TStatus::Ok();
    return CreateImage(icon, width, height, bitCount, win, [&](TBitmap& target) {
        status = document.Render(
            target, VectorViewport(document.Width(), document.Height(), target.Width(), target.Height()));
        return status.IsOk();
    });
}

TGPRectF TIOManager::VectorViewport(double documentWidth, double documentHeight, std::int32_t width,
                                    std::int32_t height) {
    // The picture as a raster larger than the canvas would be fitted: the longer side kCanvasSize.
    const double longer = std::max(documentWidth, documentHeight);
    const auto asRaster = [longer](double side) {
        return static_cast<std::int32_t>(std::max(1.0, std::round(side / longer * 65536.0)));
    };
    const TGPSize fitted = FitSize(asRaster(documentWidth), asRaster(documentHeight), kCanvasSize);
    const std::int32_t side = std::max(fitted.Width, fitted.Height);
    // Centred on the canvas as ImageToImage places it, and the canvas scaled to the image.
    const TGPRectF centred = ShrinkToFit(WholeRect(side, side), WholeRect(fitted.Width, fitted.Height));
    const TGPRectF placed{RoundToPixel(centred.X), RoundToPixel(centred.Y), RoundToPixel(centred.Width),
                          RoundToPixel(centred.Height)};
    const TGPRectF canvas = ScaleToFit(WholeRect(width, height), WholeRect(side, side));
    const float scale = canvas.Width / static_cast<float>(side);
    return {canvas.X + placed.X * scale, canvas.Y + placed.Y * scale, placed.Width * scale,
            placed.Height * scale};
}

bool TIOManager::CreateImage(TOrbIcon& icon, std::int32_t width, std::int32_t height, std::uint8_t bitCount,
                             bool win, const std::function<bool(TBitmap& target)>& draw) {
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
        if (!draw(target->Bitmap()))
            return false;
        if (FDrawnSizes)
            FDrawnSizes->push_back({width, height, target->Bitmap()});
    }
    ReduceDepth(*target, bitCount, win);
    return true;
}

void TIOManager::ReduceDepth(TOrbImage& image, std::uint8_t bitCount, bool win) {
    std::uint8_t paletteMode = pmMacintosh;
    if (win)
        paletteMode = bitCount == 1 || bitCount == 4 ? pmWindows : pmAdaptive;
    FDataType.Change(image, bitCount, paletteMode);
}

fs::path TIOManager::UniqueFileName(const fs::path& path) {
    return gw::UniqueFileName(path);
}

fs::path TIOManager::WantedOutputFile(const fs::path& fileName) const {
    const std::string name = fileName.filename().string();
    const std::string base = name.substr(0, name.size() - LastExtension(fileName).size());
    // The folder as chosen: when it is gone the save fails rather than writing beside the source.
    fs::path folder = FSettings.ChosenPath();
    if (folder.empty())
        folder = fileName.parent_path();
    const char* extension = FSettings.GetIconType() == TIconType::itMac ? ".icns" : ".ico";
    return folder / (base + extension);
}

} // namespace gw
