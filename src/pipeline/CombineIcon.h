#pragma once
// One icon from several pictures: for each format the source that serves it best. A picture of
// exactly the format's size is taken as it is (hand-drawn pixels survive), else a vector picture is
// rendered at that size, else the smallest picture at least that large is scaled down, else the
// largest is scaled up.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "pipeline/FormatList.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

namespace gw {

class TIOManager;
class TOrbIcon;
class TSvgDocument;

struct TCombineSource {
    std::filesystem::path Path;
    TBitmap Picture;                      // a raster source at its decoded size
    std::unique_ptr<TSvgDocument> Vector; // or a vector source
    TCombineSource();
    TCombineSource(TCombineSource&&) noexcept;
    TCombineSource& operator=(TCombineSource&&) noexcept;
    ~TCombineSource();
};

// Opens the picture at path (detected by content) as a source; the status says why not.
TStatus OpenCombineSource(const std::filesystem::path& path, TCombineSource& source);
// Appends the sources of the file at path: the picture, or every image of an icon file (each a
// raster source at its own size, so an image of a wanted size is taken as it is).
TStatus AddCombineSources(const std::filesystem::path& path, std::vector<TCombineSource>& sources);

enum class TCombineRule { crExact, crVector, crScaledDown, crScaledUp };

struct TCombineChoice {
    std::size_t Source = 0;
    TCombineRule Rule = TCombineRule::crExact;
    TImgFormat Format{}; // filled by CombineToIcon
};

// The source for a width x height image by the rule above; ties go to the earlier source. sources must
// not be empty.
TCombineChoice ChooseCombineSource(const std::vector<TCombineSource>& sources, std::int32_t width,
                                   std::int32_t height);

// Adds one image per format to icon, drawn from its chosen source and reduced to its depth through
// manager. choices receives the choice of each format added. A vector source that fails to render
// fails the whole icon, its reason prefixed by the source's name.
TStatus CombineToIcon(const std::vector<TCombineSource>& sources, const TImageFormats& formats, bool win,
                      TIOManager& manager, TOrbIcon& icon, std::vector<TCombineChoice>* choices = nullptr);

} // namespace gw
