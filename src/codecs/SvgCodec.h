#pragma once
// SVG and SVGZ documents through librsvg: parsed once, then rendered at any size. Documents are
// rendered from memory with no base location, so librsvg loads nothing outside them (no file, no
// network; references to other files are left out of the picture).

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <memory>
#include <span>

namespace gw {

// True when data starts like an SVG document: an optional byte-order mark, XML declaration, comments,
// processing instructions and document type, then the root element svg (with or without a namespace
// prefix). Gzip data is inflated as far as needed to tell. Looks at no more than data holds.
bool LooksLikeSvg(std::span<const std::uint8_t> data) noexcept;

class TSvgDocument {
public:
    // Parses data (plain or gzip-compressed) into document; on failure document is null.
    static TStatus Load(std::span<const std::uint8_t> data, std::unique_ptr<TSvgDocument>& document);

    ~TSvgDocument();
    TSvgDocument(const TSvgDocument&) = delete;
    TSvgDocument& operator=(const TSvgDocument&) = delete;

    // The document's own size in pixels at 96 dots per inch (from width and height, else the viewBox);
    // both greater than 0.
    double Width() const { return FWidth; }
    double Height() const { return FHeight; }

    // Renders the document into viewport (in target pixels, aspect as the document's
    // preserveAspectRatio says) on target, cleared to transparency first. Straight alpha on return.
    TStatus Render(TBitmap& target, const TGPRectF& viewport) const;

private:
    struct THandle;
    explicit TSvgDocument(std::unique_ptr<THandle> handle, double width, double height);
    std::unique_ptr<THandle> FHandle;
    double FWidth = 0, FHeight = 0;
};

// Renders document as a picture of its own size, or with its longer side targetSide when targetSide > 0
// (at most limits::kMaxSvgRenderSide either way), on transparency.
TStatus DecodeSvg(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide);

} // namespace gw
