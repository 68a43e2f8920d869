#include "pipeline/CombineIcon.h"

#include "codecs/SvgCodec.h"
#include "formats/IconCoders.h"
#include "image/GDIUtils.h"
#include "image/Graphics.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "pipeline/IOManager.h"
#include "pipeline/Importers.h"
#include "pipeline/TypeCheck.h"

#include <cmath>
#include <exception>
#include <optional>

namespace gw {

namespace fs = std::filesystem;

TCombineSource::TCombineSource() = default;
TCombineSource::TCombineSource(TCombineSource&&) noexcept = default;
TCombineSource& TCombineSource::operator=(TCombineSource&&) noexcept = default;
TCombineSource::~TCombineSource() = default;

namespace {

std::uint64_t Area(const TBitmap& picture) {
    return static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height());
}

// Larger by the longer side, then by the area.
bool Larger(const TBitmap& a, const TBitmap& b) {
    const std::int32_t sideA = std::max(a.Width(), a.Height()), sideB = std::max(b.Width(), b.Height());
    return sideA != sideB ? sideA > sideB : Area(a) > Area(b);
}

// picture scaled (up or down) to fit target with its aspect kept, centred on whole pixels.
void DrawFitted(TBitmap& target, const TBitmap& picture) {
    const TGPRectF fitted =
        ScaleToFit({0, 0, static_cast<float>(target.Width()), static_cast<float>(target.Height())},
                   {0, 0, static_cast<float>(picture.Width()), static_cast<float>(picture.Height())});
    const auto round = [](float v) { return std::round(v); };
    DrawBitmap(target, picture,
               {round(fitted.X), round(fitted.Y), std::max(1.0f, round(fitted.Width)),
                std::max(1.0f, round(fitted.Height))});
}

} // namespace

TStatus OpenCombineSource(const fs::path& path, TCombineSource& source) {
    source = TCombineSource();
    source.Path = path;
    TFileTypes type = TFileTypes::ftOther;
    try {
        type = CheckFileType(path);
    } catch (const std::exception& e) {
        return TStatus::Fail(TFailure::Io, "cannot be opened (" + std::string(e.what()) + ")");
    }
    if (GetTypeCategory(type) != TFileCategory::fcPicture)
        return TStatus::Fail(TFailure::Unsupported, "not a picture of a format we read");
    if (IsVectorType(type))
        return LoadSvgDocument(path, source.Vector);
    return CreateImporter(type)->Import(path, source.Picture);
}

TStatus AddCombineSources(const fs::path& path, std::vector<TCombineSource>& sources) {
    TFileTypes type = TFileTypes::ftOther;
    try {
        type = CheckFileType(path);
    } catch (const std::exception& e) {
        return TStatus::Fail(TFailure::Io, "cannot be opened (" + std::string(e.what()) + ")");
    }
    if (!IsIconSource(type)) {
        TCombineSource source;
        GW_TRY(OpenCombineSource(path, source));
        sources.push_back(std::move(source));
        return TStatus::Ok();
    }
    TOrbIcon icon;
    TIconLoadReport report;
    GW_TRY(LoadIcon(path, icon, report));
    if (icon.ImageCount() == 0)
        return TStatus::Fail(TFailure::Corrupt, "unreadable (no image could be read)");
    for (const TOrbImage& image : icon.Image()) {
        TCombineSource source;
        source.Path = path;
        source.Picture = image.Bitmap();
        sources.push_back(std::move(source));
    }
    return TStatus::Ok();
}

TCombineChoice ChooseCombineSource(const std::vector<TCombineSource>& sources, std::int32_t width,
                                   std::int32_t height) {
    std::optional<std::size_t> vector, smallestLargeEnough, largest;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const TCombineSource& source = sources[i];
        if (source.Vector) {
            if (!vector)
                vector = i;
            continue;
        }
        const TBitmap& picture = source.Picture;
        if (picture.Width() == width && picture.Height() == height)
            return {i, TCombineRule::crExact};
        // Large enough when fitting it into the image does not enlarge it.
        if ((picture.Width() >= width || picture.Height() >= height) &&
            (!smallestLargeEnough || Larger(sources[*smallestLargeEnough].Picture, picture)))
            smallestLargeEnough = i;
        if (!largest || Larger(picture, sources[*largest].Picture))
            largest = i;
    }
    if (vector)
        return {*vector, TCombineRule::crVector};
    if (smallestLargeEnough)
        return {*smallestLargeEnough, TCombineRule::crScaledDown};
    return {largest.value_or(0), TCombineRule::crScaledUp};
}

TStatus CombineToIcon(const std::vector<TCombineSource>& sources, const TImageFormats& formats, bool win,
                      TIOManager& manager, TOrbIcon& icon, std::vector<TCombineChoice>* choices) {
    if (sources.empty())
        return TStatus::Fail(TFailure::Corrupt, "no source pictures");
    for (const TImgFormat& format : formats) {
        TCombineChoice choice = ChooseCombineSource(sources, format.Width, format.Height);
        choice.Format = format;
        const TCombineSource& source = sources[choice.Source];
        if (source.Vector) {
            TStatus status;
            if (!manager.CreateImageFromVector(icon, *source.Vector, format.Width, format.Height,
                                               format.BitCount, win, status)) {
                if (!status)
                    return TStatus::Fail(status.Kind(), source.Path.string() + ": " + status.Reason());
                continue; // a format listed twice
            }
        } else {
            if (icon.InsertNewImage(format.Width, format.Height, format.BitCount) < 0 ||
                icon.Selected() == nullptr)
                continue;
            TOrbImage& image = *icon.Selected();
            if (choice.Rule == TCombineRule::crExact)
                image.Bitmap() = source.Picture;
            else
                DrawFitted(image.Bitmap(), source.Picture);
            manager.ReduceDepth(image, format.BitCount, win);
        }
        if (choices)
            choices->push_back(choice);
    }
    return TStatus::Ok();
}

} // namespace gw
