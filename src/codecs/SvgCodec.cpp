#include "codecs/SvgCodec.h"

#include "codecs/DecodeSupport.h"
#include "codecs/SharedLibrary.h"
#include "image/Limits.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include <librsvg/rsvg.h>
#include <zlib.h>

#ifndef GW_RSVG_SONAME
#define GW_RSVG_SONAME "librsvg-2.so.2"
#endif

namespace gw {

namespace {

// librsvg and the cairo, GIO and GObject functions reached through it (they are libraries it needs).
// clang-format off
#define GW_RSVG_FUNCTIONS(X) \
    X(cairo_create) \
    X(cairo_destroy) \
    X(cairo_image_surface_create_for_data) \
    X(cairo_paint) \
    X(cairo_scale) \
    X(cairo_set_operator) \
    X(cairo_status) \
    X(cairo_surface_destroy) \
    X(cairo_surface_flush) \
    X(cairo_translate) \
    X(g_error_free) \
    X(g_memory_input_stream_new_from_data) \
    X(g_object_unref) \
    X(rsvg_handle_get_intrinsic_dimensions) \
    X(rsvg_handle_get_intrinsic_size_in_pixels) \
    X(rsvg_handle_new_from_stream_sync) \
    X(rsvg_handle_render_document) \
    X(rsvg_handle_set_dpi)
// clang-format on
GW_LIBRARY_TABLE(TRsvgApi, GW_RSVG_FUNCTIONS)

const TBoundLibrary<TRsvgApi>& RsvgLibrary() {
    return TBoundLibrary<TRsvgApi>::Get(GW_RSVG_SONAME);
}
const TRsvgApi& Rsvg() {
    return RsvgLibrary().Api();
}

constexpr std::uint8_t kGzipMagic0 = 0x1F, kGzipMagic1 = 0x8B;

bool IsGzip(std::span<const std::uint8_t> data) {
    return data.size() >= 2 && data[0] == kGzipMagic0 && data[1] == kGzipMagic1;
}

// Inflates the first gzip member of data into out, stopping once out would exceed maxBytes. complete
// tells whether the member ended within that; false answers corrupt gzip data (truncated data that
// inflated without error so far is not corrupt, only incomplete).
bool InflateBounded(std::span<const std::uint8_t> data, std::size_t maxBytes, std::vector<std::uint8_t>& out,
                    bool& complete) {
    out.clear();
    complete = false;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(std::min<std::size_t>(data.size(), UINT32_MAX));
    std::uint8_t chunk[16384];
    bool ok = true;
    while (out.size() < maxBytes) {
        stream.next_out = chunk;
        stream.avail_out = static_cast<uInt>(std::min<std::size_t>(sizeof chunk, maxBytes - out.size()));
        const int result = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, stream.next_out);
        if (result == Z_STREAM_END) {
            complete = true;
            break;
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the data ends before the member does
        if (result != Z_OK) {
            ok = false;
            break;
        }
    }
    inflateEnd(&stream);
    return ok;
}

// A cursor over the start of an XML document, for telling its root element.
class TXmlHead {
public:
    explicit TXmlHead(std::string_view text) : FText(text) {}

    bool RootIsSvg() {
        if (FText.starts_with("\xEF\xBB\xBF"))
            FPos = 3;
        for (;;) {
            SkipSpace();
            if (At("<?")) {
                if (!SkipPast("?>"))
                    return false;
            } else if (At("<!--")) {
                if (!SkipPast("-->"))
                    return false;
            } else if (At("<!DOCTYPE")) {
                if (!SkipDoctype())
                    return false;
            } else if (At("<")) {
                return RootName() == "svg";
            } else {
                return false;
            }
        }
    }

private:
    bool At(std::string_view s) const { return FText.substr(FPos).starts_with(s); }
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void SkipSpace() {
        while (FPos < FText.size() && IsSpace(FText[FPos]))
            ++FPos;
    }
    bool SkipPast(std::string_view end) {
        const auto found = FText.find(end, FPos);
        if (found == std::string_view::npos)
            return false;
        FPos = found + end.size();
        return true;
    }
    // The document type with its internal subset ([...]) and quoted literals, to its closing '>'.
    bool SkipDoctype() {
        bool inSubset = false;
        for (++FPos; FPos < FText.size(); ++FPos) {
            const char c = FText[FPos];
            if (c == '"' || c == '\'') {
                const auto close = FText.find(c, FPos + 1);
                if (close == std::string_view::npos)
                    return false;
                FPos = close;
            } else if (inSubset && At("<!--")) {
                if (!SkipPast("-->"))
                    return false;
                --FPos;
            } else if (c == '[') {
                inSubset = true;
            } else if (c == ']') {
                inSubset = false;
            } else if (c == '>' && !inSubset) {
                ++FPos;
                return true;
            }
        }
        return false;
    }
    // The local name of the element at '<' (a namespace prefix dropped).
    std::string_view RootName() const {
        std::size_t end = FPos + 1;
        while (end < FText.size() && !IsSpace(FText[end]) && FText[end] != '>' && FText[end] != '/')
            ++end;
        if (end >= FText.size())
            return {}; // the name might go on beyond what we have
        std::string_view name = FText.substr(FPos + 1, end - FPos - 1);
        if (const auto colon = name.rfind(':'); colon != std::string_view::npos)
            name.remove_prefix(colon + 1);
        return name;
    }

    std::string_view FText;
    std::size_t FPos = 0;
};

std::string_view AsText(std::span<const std::uint8_t> data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

struct TGErrorFree {
    void operator()(GError* error) const { Rsvg().g_error_free(error); }
};
using TGErrorPtr = std::unique_ptr<GError, TGErrorFree>;

std::string ErrorText(const GError* error, const char* fallback) {
    return error != nullptr && error->message != nullptr ? std::string(error->message) : fallback;
}

bool Positive(double v) {
    return std::isfinite(v) && v > 0;
}

} // namespace

bool LooksLikeSvg(std::span<const std::uint8_t> data) noexcept {
    try {
        if (IsGzip(data)) {
            std::vector<std::uint8_t> head;
            bool complete = false;
            (void)InflateBounded(data, limits::kSvgSniffBytes, head, complete);
            return !IsGzip(head) && TXmlHead(AsText(head)).RootIsSvg();
        }
        return TXmlHead(AsText(data)).RootIsSvg();
    } catch (...) {
        return false;
    }
}

struct TSvgDocument::THandle {
    RsvgHandle* Handle = nullptr;
    ~THandle() {
        if (Handle != nullptr)
            Rsvg().g_object_unref(Handle);
    }
};

TSvgDocument::TSvgDocument(std::unique_ptr<THandle> handle, double width, double height)
    : FHandle(std::move(handle)), FWidth(width), FHeight(height) {}

TSvgDocument::~TSvgDocument() = default;

TStatus TSvgDocument::Load(std::span<const std::uint8_t> data, std::unique_ptr<TSvgDocument>& document) {
    document.reset();
    if (const TStatus& library = RsvgLibrary().Status(); !library)
        return TStatus::Fail(library.Kind(), "SVG pictures need librsvg: " + library.Reason());
    std::vector<std::uint8_t> inflated;
    if (IsGzip(data)) {
        bool complete = false;
        if (!InflateBounded(data, limits::kMaxSvgDocumentBytes, inflated, complete))
            return TStatus::Fail(TFailure::Corrupt, "SVGZ data does not inflate");
        if (!complete)
            return inflated.size() >= limits::kMaxSvgDocumentBytes
                       ? TStatus::Fail(TFailure::TooLarge, "SVGZ document inflates beyond " +
                                                               std::to_string(limits::kMaxSvgDocumentBytes) +
                                                               " bytes")
                       : TStatus::Fail(TFailure::Truncated, "SVGZ data ends early");
        // librsvg would inflate a second layer itself, without our bound.
        if (IsGzip(inflated))
            return TStatus::Fail(TFailure::Unsupported, "SVGZ data compressed twice");
        data = inflated;
    } else if (data.size() > limits::kMaxSvgDocumentBytes) {
        return TStatus::Fail(TFailure::TooLarge, "SVG document larger than " +
                                                     std::to_string(limits::kMaxSvgDocumentBytes) + " bytes");
    }
    if (!TXmlHead(AsText(data)).RootIsSvg())
        return TStatus::Fail(TFailure::Corrupt, "not an SVG document (no svg root element)");

    // No base file: librsvg then resolves no reference to another file or location. No
    // RSVG_HANDLE_FLAG_UNLIMITED: libxml2 and librsvg keep their limits on entities, depth and size.
    GInputStream* stream =
        Rsvg().g_memory_input_stream_new_from_data(data.data(), static_cast<gssize>(data.size()), nullptr);
    GError* rawError = nullptr;
    auto handle = std::make_unique<THandle>();
    handle->Handle =
        Rsvg().rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &rawError);
    Rsvg().g_object_unref(stream);
    const TGErrorPtr error(rawError);
    if (handle->Handle == nullptr)
        return TStatus::Fail(TFailure::Corrupt, "SVG: " + ErrorText(error.get(), "document does not parse"));
    Rsvg().rsvg_handle_set_dpi(handle->Handle, 96.0);

    double width = 0, height = 0;
    if (!Rsvg().rsvg_handle_get_intrinsic_size_in_pixels(handle->Handle, &width, &height) ||
        !Positive(width) || !Positive(height)) {
        gboolean hasWidth = FALSE, hasHeight = FALSE, hasViewBox = FALSE;
        RsvgLength lengthWidth{}, lengthHeight{};
        RsvgRectangle viewBox{};
        Rsvg().rsvg_handle_get_intrinsic_dimensions(handle->Handle, &hasWidth, &lengthWidth, &hasHeight,
                                                    &lengthHeight, &hasViewBox, &viewBox);
        if (!hasViewBox || !Positive(viewBox.width) || !Positive(viewBox.height))
            return TStatus::Fail(TFailure::Unsupported,
                                 "SVG has no size (neither width and height nor viewBox)");
        width = viewBox.width;
        height = viewBox.height;
    }
    document.reset(new TSvgDocument(std::move(handle), width, height));
    return TStatus::Ok();
}

TStatus TSvgDocument::Render(TBitmap& target, const TGPRectF& viewport) const {
    if (!target.IsValid())
        return TStatus::Fail(TFailure::Corrupt, "no target to render into");
    // Cairo's ARGB32 is our pixel layout with premultiplied colour; the target starts transparent.
    const std::span<TColor> pixels = target.Pixels();
    cairo_surface_t* surface = Rsvg().cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, target.Width(), target.Height(),
        target.Width() * 4);
    cairo_t* cr = Rsvg().cairo_create(surface);
    // NOTE: cairo draws the first shapes onto a surface it knows to be clear by other rounding than onto
    // one of unknown content; clearing it makes the pixels those of a fresh surface (as rsvg-convert's).
    Rsvg().cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    Rsvg().cairo_paint(cr);
    Rsvg().cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    // The document at its own size under a transformation to the viewport, as rsvg-convert draws it,
    // so that both give the same pixels.
    Rsvg().cairo_translate(cr, viewport.X, viewport.Y);
    Rsvg().cairo_scale(cr, viewport.Width / FWidth, viewport.Height / FHeight);
    const RsvgRectangle rect{0, 0, FWidth, FHeight};
    GError* rawError = nullptr;
    const bool rendered = Rsvg().rsvg_handle_render_document(FHandle->Handle, cr, &rect, &rawError) &&
                          Rsvg().cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    const TGErrorPtr error(rawError);
    Rsvg().cairo_destroy(cr);
    Rsvg().cairo_surface_flush(surface);
    Rsvg().cairo_surface_destroy(surface);
    if (!rendered) {
        std::fill(pixels.begin(), pixels.end(), TColor{0});
        return TStatus::Fail(TFailure::Corrupt, "SVG: " + ErrorText(error.get(), "document does not render"));
    }
    UnpremultiplyPixels(pixels);
    return TStatus::Ok();
}

TStatus DecodeSvg(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide) {
    picture = TBitmap();
    std::unique_ptr<TSvgDocument> document;
    if (TStatus status = TSvgDocument::Load(data, document); !status)
        return status;
    const double longer = std::max(document->Width(), document->Height());
    const double side = std::min<double>(targetSide > 0 ? targetSide : longer, limits::kMaxSvgRenderSide);
    const double scale = side / longer;
    const auto pixelsFor = [scale](double length) {
        return static_cast<std::int64_t>(std::max(1.0, std::round(length * scale)));
    };
    const std::int64_t width = pixelsFor(document->Width()), height = pixelsFor(document->Height());
    if (TStatus status = AllocatePicture(width, height, picture); !status)
        return status;
    const TGPRectF viewport{0, 0, static_cast<float>(width), static_cast<float>(height)};
    if (TStatus status = document->Render(picture, viewport); !status) {
        picture = TBitmap();
        return status;
    }
    return TStatus::Ok();
}

} // namespace gw
