#include "codecs/Jpeg2000Codec.h"

#include "codecs/DecodeSupport.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include <openjpeg.h>

namespace gw {

namespace {

// The growing file OpenJPEG writes into. The JP2 writer seeks back to fill in box lengths, so the
// sink keeps a position apart from its size.
struct TJ2kSink {
    std::vector<std::uint8_t> Bytes;
    std::size_t Position = 0;
    std::string Message;
};

OPJ_SIZE_T WriteJ2k(void* buffer, OPJ_SIZE_T count, void* userData) {
    auto* sink = static_cast<TJ2kSink*>(userData);
    const std::size_t end = sink->Position + count;
    if (end > sink->Bytes.size())
        sink->Bytes.resize(end);
    std::memcpy(sink->Bytes.data() + sink->Position, buffer, count);
    sink->Position = end;
    return count;
}

OPJ_OFF_T SkipJ2k(OPJ_OFF_T count, void* userData) {
    auto* sink = static_cast<TJ2kSink*>(userData);
    if (count < 0 && static_cast<std::uint64_t>(-count) > sink->Position)
        return -1;
    sink->Position = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(sink->Position) + count);
    return count;
}

OPJ_BOOL SeekJ2k(OPJ_OFF_T position, void* userData) {
    auto* sink = static_cast<TJ2kSink*>(userData);
    if (position < 0)
        return OPJ_FALSE;
    sink->Position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

// Keeps OpenJPEG's first error message (without its line break) for the failure reason.
void OnError(const char* message, void* userData) {
    auto* kept = static_cast<std::string*>(userData);
    if (kept->empty() && message != nullptr) {
        *kept = message;
        while (!kept->empty() && kept->back() == '\n')
            kept->pop_back();
    }
}

TStatus WithMessage(TFailure kind, const char* prefix, const char* what, const std::string& message) {
    std::string reason = std::string(prefix) + what;
    if (!message.empty())
        reason += " (" + message + ")";
    return TStatus::Fail(kind, reason);
}

void OnQuiet(const char*, void*) {}

// The image, codec and stream of one encode, released on every path.
class TJ2kEncodeSession {
public:
    explicit TJ2kEncodeSession(TJ2kSink& sink) : FSink(sink) {}
    ~TJ2kEncodeSession() {
        if (FStream != nullptr)
            opj_stream_destroy(FStream);
        if (FCodec != nullptr)
            opj_destroy_codec(FCodec);
        if (FImage != nullptr)
            opj_image_destroy(FImage);
    }
    TJ2kEncodeSession(const TJ2kEncodeSession&) = delete;
    TJ2kEncodeSession& operator=(const TJ2kEncodeSession&) = delete;

    // Four 8-bit unsigned components R, G, B, A of the bitmap's size; the last one marked as alpha.
    bool CreateImage(const TBitmap& bitmap) {
        opj_image_cmptparm_t parameters[4];
        std::memset(parameters, 0, sizeof parameters);
        for (auto& component : parameters) {
            component.dx = component.dy = 1;
            component.w = static_cast<OPJ_UINT32>(bitmap.Width());
            component.h = static_cast<OPJ_UINT32>(bitmap.Height());
            component.prec = 8;
            component.sgnd = 0;
        }
        FImage = opj_image_create(4, parameters, OPJ_CLRSPC_SRGB);
        if (FImage == nullptr)
            return false;
        FImage->x0 = FImage->y0 = 0;
        FImage->x1 = static_cast<OPJ_UINT32>(bitmap.Width());
        FImage->y1 = static_cast<OPJ_UINT32>(bitmap.Height());
        FImage->comps[3].alpha = 1;
        const std::span<const TColor> pixels = bitmap.Pixels();
        OPJ_INT32* const planes[4] = {FImage->comps[0].data, FImage->comps[1].data, FImage->comps[2].data,
                                      FImage->comps[3].data};
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            planes[0][i] = RedOf(pixels[i]);
            planes[1][i] = GreenOf(pixels[i]);
            planes[2][i] = BlueOf(pixels[i]);
            planes[3][i] = AlphaOf(pixels[i]);
        }
        return true;
    }

    bool SetUpCodec(std::int32_t threads) {
        FCodec = opj_create_compress(OPJ_CODEC_JP2);
        if (FCodec == nullptr)
            return false;
        opj_set_error_handler(FCodec, OnError, &FSink.Message);
        opj_set_warning_handler(FCodec, OnQuiet, nullptr);
        opj_set_info_handler(FCodec, OnQuiet, nullptr);

        opj_cparameters_t parameters;
        opj_set_default_encoder_parameters(&parameters);
        // Lossless: the reversible wavelet (the default) in one layer without a rate target.
        parameters.irreversible = 0;
        parameters.tcp_numlayers = 1;
        parameters.tcp_rates[0] = 0;
        parameters.cp_disto_alloc = 1;
        // The default of six resolution levels needs a side of 32 pixels; smaller pictures get fewer.
        const std::int32_t side = std::min(FImage->x1, FImage->y1);
        while (parameters.numresolution > 1 && (1 << (parameters.numresolution - 1)) > side)
            --parameters.numresolution;
        if (opj_setup_encoder(FCodec, &parameters, FImage) != OPJ_TRUE)
            return false;
        // Code-blocks are coded independently and gathered in order, so the threads change the time,
        // not the bytes.
        if (threads > 1 && opj_has_thread_support())
            opj_codec_set_threads(FCodec, threads);
        return true;
    }

    bool Encode() {
        FStream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
        if (FStream == nullptr)
            return false;
        opj_stream_set_user_data(FStream, &FSink, nullptr);
        opj_stream_set_write_function(FStream, WriteJ2k);
        opj_stream_set_skip_function(FStream, SkipJ2k);
        opj_stream_set_seek_function(FStream, SeekJ2k);
        return opj_start_compress(FCodec, FImage, FStream) == OPJ_TRUE &&
               opj_encode(FCodec, FStream) == OPJ_TRUE && opj_end_compress(FCodec, FStream) == OPJ_TRUE;
    }

    TStatus Failure(const char* what) const {
        return WithMessage(TFailure::Corrupt, "JPEG 2000 encoder: ", what, FSink.Message);
    }

private:
    TJ2kSink& FSink;
    opj_image_t* FImage = nullptr;
    opj_codec_t* FCodec = nullptr;
    opj_stream_t* FStream = nullptr;
};

// --- Decoding ----------------------------------------------------------------------------------

constexpr std::uint32_t kMaxPrecision = 31;

// The signatures of a JP2 file (its signature box) and of a bare codestream (SOC and SIZ markers).
constexpr std::uint8_t kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
constexpr std::uint8_t kCodestreamSignature[] = {0xFF, 0x4F, 0xFF, 0x51};

bool StartsWith(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

// The codestream inside data: all of a bare codestream, the contents of the first "jp2c" box of a JP2
// file; empty when there is none.
std::span<const std::uint8_t> FindCodestream(std::span<const std::uint8_t> data) {
    if (!StartsWith(data, kJp2Signature))
        return data;
    TByteReader boxes(data);
    while (boxes.Remaining() >= 8) {
        const std::size_t start = boxes.Position();
        std::uint32_t length = 0, type = 0;
        boxes.ReadU32BE(length);
        boxes.ReadU32BE(type);
        std::uint64_t size = length;
        if (length == 1) { // a 64-bit length follows the type
            std::uint32_t high = 0, low = 0;
            if (!boxes.ReadU32BE(high) || !boxes.ReadU32BE(low))
                return {};
            size = (std::uint64_t{high} << 32) | low;
        } else if (length == 0) { // the box runs to the end of the file
            size = data.size() - start;
        }
        const std::size_t header = boxes.Position() - start;
        if (size < header || size > data.size() - start)
            return {};
        if (type == 0x6A703263) // "jp2c"
            return data.subspan(boxes.Position(), static_cast<std::size_t>(size) - header);
        boxes.Seek(start + static_cast<std::size_t>(size));
    }
    return {};
}

// The image and tile geometry of a SIZ marker segment.
struct TSizGeometry {
    std::uint32_t X1 = 0, Y1 = 0, X0 = 0, Y0 = 0, TileWidth = 0, TileHeight = 0, TileX0 = 0, TileY0 = 0;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> Subsampling; // (XRsiz, YRsiz) per component
};

// The most demanding coding style any COD or COC marker segment of the codestream asks for: the most
// decomposition levels and the smallest code-block, as limited by the precincts, in powers of two.
struct TCodingExtremes {
    std::uint32_t Levels = 0;
    std::uint32_t BlockWidthLog = 6, BlockHeightLog = 6; // 64 x 64, the usual size
    bool Found = false;
};

// Takes one COD or COC marker segment's coding style parameters (SPcod / SPcoc): levels, code-block
// exponents, and one precinct size byte per resolution when precincts are given.
void TakeCodingStyle(TByteReader& segment, bool precincts, TCodingExtremes& extremes) {
    std::uint8_t levels = 0, blockWidth = 0, blockHeight = 0, style = 0, transform = 0;
    for (std::uint8_t* field : {&levels, &blockWidth, &blockHeight, &style, &transform})
        segment.ReadU8(*field);
    if (!segment.Ok())
        return;
    std::uint32_t widthLog = std::min<std::uint32_t>(blockWidth + 2u, 15);
    std::uint32_t heightLog = std::min<std::uint32_t>(blockHeight + 2u, 15);
    for (std::uint32_t r = 0; precincts && r <= levels; ++r) {
        std::uint8_t size = 0;
        if (!segment.ReadU8(size))
            break;
        // Below the lowest resolution a code-block spans half a precinct at most.
        const std::uint32_t halving = r == 0 ? 0 : 1;
        widthLog = std::min(widthLog, (size & 0x0Fu) > halving ? (size & 0x0Fu) - halving : 0u);
        heightLog = std::min(heightLog, (size >> 4u) > halving ? (size >> 4u) - halving : 0u);
    }
    extremes.Levels = std::max<std::uint32_t>(extremes.Levels, std::min<std::uint32_t>(levels, 32));
    extremes.BlockWidthLog = extremes.Found ? std::min(extremes.BlockWidthLog, widthLog) : widthLog;
    extremes.BlockHeightLog = extremes.Found ? std::min(extremes.BlockHeightLog, heightLog) : heightLog;
    extremes.Found = true;
}

// Reads the marker segments from the reader's position up to (not including) the marker `end`:
// SOT for the main header, SOD for a tile-part header. False when the segments run off the data.
bool TakeHeaderSegments(TByteReader& reader, std::uint16_t end, std::size_t componentCount,
                        TCodingExtremes& extremes) {
    while (true) {
        std::uint16_t marker = 0, length = 0;
        const std::size_t start = reader.Position();
        if (!reader.ReadU16BE(marker))
            return false;
        if (marker == end) {
            reader.Seek(start);
            return true;
        }
        if (!reader.ReadU16BE(length) || length < 2 || length - 2u > reader.Remaining())
            return false;
        std::span<const std::uint8_t> body;
        reader.ReadBytes(length - 2u, body);
        TByteReader segment(body);
        std::uint8_t styleFlags = 0;
        if (marker == 0xFF52) { // COD: Scod, progression, layers (2), MCT, then SPcod
            segment.ReadU8(styleFlags);
            segment.Skip(4);
            TakeCodingStyle(segment, (styleFlags & 1u) != 0, extremes);
        } else if (marker == 0xFF53) { // COC: Ccoc (1 or 2 bytes), Scoc, then SPcoc
            segment.Skip(componentCount < 257 ? 1 : 2);
            segment.ReadU8(styleFlags);
            TakeCodingStyle(segment, (styleFlags & 1u) != 0, extremes);
        }
    }
}

// Walks the main header and every tile-part header as OpenJPEG will: tile-parts follow each other
// by their SOT lengths, a length of 0 runs to the end, and the walk ends where no SOT or EOC marker
// follows.
TCodingExtremes FindCodingExtremes(TByteReader reader, std::size_t componentCount) {
    TCodingExtremes extremes;
    if (!TakeHeaderSegments(reader, 0xFF90, componentCount, extremes))
        return extremes;
    while (reader.Remaining() >= 12) {
        const std::size_t start = reader.Position();
        std::uint16_t marker = 0, length = 0, tile = 0;
        std::uint32_t partLength = 0;
        reader.ReadU16BE(marker);
        reader.ReadU16BE(length);
        reader.ReadU16BE(tile);
        reader.ReadU32BE(partLength);
        if (marker != 0xFF90 || length != 10 || !reader.Skip(2))
            break;
        if (!TakeHeaderSegments(reader, 0xFF93, componentCount, extremes) || partLength == 0 ||
            partLength > reader.Size() - start)
            break;
        reader.Seek(start + partLength);
    }
    return extremes;
}

// Code-blocks OpenJPEG sets up for the largest tile, at most: every resolution of every component,
// each band cut into code-blocks of the smallest size in use (one more each way for blocks the band
// edges cut).
std::uint64_t EstimateTileCodeBlocks(const TSizGeometry& siz, const TCodingExtremes& coding) {
    const std::uint64_t tileWidth = std::min<std::uint64_t>(siz.TileWidth, std::uint64_t{siz.X1} - siz.X0);
    const std::uint64_t tileHeight = std::min<std::uint64_t>(siz.TileHeight, std::uint64_t{siz.Y1} - siz.Y0);
    const auto divide = [](std::uint64_t value, std::uint32_t log) {
        return (value + (1ull << log) - 1) >> log;
    };
    std::uint64_t blocks = 0;
    for (const auto& [dx, dy] : siz.Subsampling) {
        const std::uint64_t width = (tileWidth + dx - 1) / std::max<std::uint8_t>(dx, 1);
        const std::uint64_t height = (tileHeight + dy - 1) / std::max<std::uint8_t>(dy, 1);
        for (std::uint32_t r = 0; r <= coding.Levels; ++r) {
            const std::uint32_t halvings = coding.Levels - r + (r == 0 ? 0 : 1);
            const std::uint64_t bands = r == 0 ? 1 : 3;
            blocks += bands * (divide(divide(width, halvings), coding.BlockWidthLog) + 1) *
                      (divide(divide(height, halvings), coding.BlockHeightLog) + 1);
        }
    }
    return blocks;
}

// OpenJPEG allocates its per-tile coding parameters for every tile the image and tile size (SIZ
// marker) imply while it reads the main header, and the state of every code-block of a tile (some
// 400 bytes each) before decoding it, so a few hundred bytes can ask for gigabytes. The SIZ fields
// are checked here first: a picture beyond the limits of pictures decoded at a reduced scale, more
// tiles and components than limits::kMaxJpeg2000TileComponents, or a tile of more code-blocks than
// fit limits::kMaxDecoderMemoryBytes (judged from the coding styles of the main and tile-part headers)
// is refused before OpenJPEG sees it.
TStatus CheckImageAndTileSize(std::span<const std::uint8_t> data) {
    TByteReader siz(FindCodestream(data));
    std::uint16_t soc = 0, marker = 0, length = 0, capabilities = 0, components = 0;
    TSizGeometry g;
    for (std::uint16_t* field : {&soc, &marker, &length, &capabilities})
        siz.ReadU16BE(*field);
    for (std::uint32_t* field :
         {&g.X1, &g.Y1, &g.X0, &g.Y0, &g.TileWidth, &g.TileHeight, &g.TileX0, &g.TileY0})
        siz.ReadU32BE(*field);
    siz.ReadU16BE(components);
    for (std::uint16_t c = 0; c < components && siz.Ok(); ++c) {
        std::uint8_t precision = 0, dx = 0, dy = 0;
        siz.ReadU8(precision);
        siz.ReadU8(dx);
        siz.ReadU8(dy);
        g.Subsampling.emplace_back(dx, dy);
    }
    // A header these checks cannot measure (missing, or with an empty image or tile) is OpenJPEG's to judge.
    if (!siz.Ok() || soc != 0xFF4F || marker != 0xFF51 || g.X1 <= g.X0 || g.Y1 <= g.Y0 || g.TileWidth == 0 ||
        g.TileHeight == 0 || g.TileX0 > g.X1 || g.TileY0 > g.Y1 || length != 38u + 3u * components)
        return TStatus::Ok();
    if (!limits::FitsScaledSourceLimits(std::int64_t{g.X1} - g.X0, std::int64_t{g.Y1} - g.Y0))
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: picture too large (" +
                                                     std::to_string(g.X1 - g.X0) + " x " +
                                                     std::to_string(g.Y1 - g.Y0) + ")");
    const std::uint64_t tilesAcross = (std::uint64_t{g.X1} - g.TileX0 + g.TileWidth - 1) / g.TileWidth;
    const std::uint64_t tilesDown = (std::uint64_t{g.Y1} - g.TileY0 + g.TileHeight - 1) / g.TileHeight;
    if (tilesAcross * tilesDown * components > limits::kMaxJpeg2000TileComponents)
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: too many tiles (" + std::to_string(tilesAcross) +
                                                     " x " + std::to_string(tilesDown) + ")");
    const TCodingExtremes coding = FindCodingExtremes(siz, components);
    const std::uint64_t blocks = EstimateTileCodeBlocks(g, coding);
    if (blocks > limits::kMaxDecoderMemoryBytes / limits::kJpeg2000CodeBlockBytes)
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: " + std::to_string(blocks) +
                                                     " code-blocks in a tile, too many to decode");
    return TStatus::Ok();
}

struct TJ2kSource {
    std::span<const std::uint8_t> Data;
    std::size_t Position = 0;
    std::string Message;
};

OPJ_SIZE_T ReadJ2k(void* out, OPJ_SIZE_T count, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    const std::size_t available = source->Data.size() - source->Position;
    if (available == 0)
        return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t copied = std::min<std::size_t>(count, available);
    std::memcpy(out, source->Data.data() + source->Position, copied);
    source->Position += copied;
    return copied;
}

OPJ_OFF_T SkipInput(OPJ_OFF_T count, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    if (count < 0) {
        if (static_cast<std::uint64_t>(-count) > source->Position)
            return -1;
        source->Position -= static_cast<std::size_t>(-count);
        return count;
    }
    const std::size_t available = source->Data.size() - source->Position;
    const std::size_t skipped = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), available);
    source->Position += skipped;
    return skipped == 0 && count > 0 ? -1 : static_cast<OPJ_OFF_T>(skipped);
}

OPJ_BOOL SeekInput(OPJ_OFF_T position, void* userData) {
    auto* source = static_cast<TJ2kSource*>(userData);
    if (position < 0 || static_cast<std::uint64_t>(position) > source->Data.size())
        return OPJ_FALSE;
    source->Position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

// The stream, codec and image of one decode, released on every path.
class TJ2kDecodeSession {
public:
    explicit TJ2kDecodeSession(TJ2kSource& source) : FSource(source) {
        const bool jp2 = StartsWith(source.Data, kJp2Signature);
        if (!jp2 && !StartsWith(source.Data, kCodestreamSignature))
            return;
        FStream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
        FCodec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
        if (FStream == nullptr || FCodec == nullptr)
            return;
        opj_stream_set_user_data(FStream, &source, nullptr);
        opj_stream_set_user_data_length(FStream, source.Data.size());
        opj_stream_set_read_function(FStream, ReadJ2k);
        opj_stream_set_skip_function(FStream, SkipInput);
        opj_stream_set_seek_function(FStream, SeekInput);
        opj_set_error_handler(FCodec, OnError, &source.Message);
        opj_set_warning_handler(FCodec, OnQuiet, nullptr);
        opj_set_info_handler(FCodec, OnQuiet, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        FReady = opj_setup_decoder(FCodec, &parameters) == OPJ_TRUE;
    }
    ~TJ2kDecodeSession() {
        if (FImage != nullptr)
            opj_image_destroy(FImage);
        if (FCodec != nullptr)
            opj_destroy_codec(FCodec);
        if (FStream != nullptr)
            opj_stream_destroy(FStream);
    }
    TJ2kDecodeSession(const TJ2kDecodeSession&) = delete;
    TJ2kDecodeSession& operator=(const TJ2kDecodeSession&) = delete;

    // The header and the checks that need nothing else: a picture of some pixels and usable
    // components. Fills width and height.
    TStatus ReadHeader(std::int64_t& width, std::int64_t& height) {
        if (FStream == nullptr && FCodec == nullptr)
            return TStatus::Fail(TFailure::Corrupt, "JPEG 2000: bad signature");
        GW_TRY(CheckImageAndTileSize(FSource.Data));
        if (!FReady || opj_read_header(FStream, FCodec, &FImage) != OPJ_TRUE || FImage == nullptr)
            return Failure(TFailure::Corrupt, "header");
        const opj_image_t& image = *FImage;
        if (image.x1 <= image.x0 || image.y1 <= image.y0 || image.numcomps == 0 || image.comps == nullptr)
            return Failure(TFailure::Corrupt, "empty picture");
        width = std::int64_t{image.x1} - image.x0;
        height = std::int64_t{image.y1} - image.y0;
        return TStatus::Ok();
    }
    // The fewest resolution levels any component of the main header has: the picture can be decoded
    // at up to that many levels minus one, each halving both sides. 1 when the header tells nothing.
    std::uint32_t ResolutionLevels() const {
        opj_codestream_info_v2_t* info = opj_get_cstr_info(FCodec);
        if (info == nullptr)
            return 1;
        std::uint32_t levels = 0;
        const opj_tile_info_v2_t& tile = info->m_default_tile_info;
        if (tile.tccp_info != nullptr) {
            for (std::uint32_t i = 0; i < info->nbcomps; ++i) {
                const std::uint32_t count = tile.tccp_info[i].numresolutions;
                levels = i == 0 ? count : std::min(levels, count);
            }
        }
        opj_destroy_cstr_info(&info);
        return std::max<std::uint32_t>(levels, 1);
    }
    bool Reduce(std::uint32_t levels) {
        return opj_set_decoded_resolution_factor(FCodec, levels) == OPJ_TRUE;
    }
    bool Decode() {
        return opj_decode(FCodec, FStream, FImage) == OPJ_TRUE &&
               opj_end_decompress(FCodec, FStream) == OPJ_TRUE;
    }
    const opj_image_t& Image() const { return *FImage; }

    TStatus Failure(TFailure kind, const char* what) const {
        return WithMessage(kind, "JPEG 2000: ", what, FSource.Message);
    }

private:
    TJ2kSource& FSource;
    opj_stream_t* FStream = nullptr;
    opj_codec_t* FCodec = nullptr;
    opj_image_t* FImage = nullptr;
    bool FReady = false;
};

// A coordinate of the full-resolution grid on the grid of a decode reduced by that many levels.
std::int64_t ReducedCoordinate(std::int64_t coordinate, std::uint32_t reduction) {
    const std::int64_t step = std::int64_t{1} << reduction;
    return (coordinate + step - 1) / step;
}

// One component prepared for sampling at picture coordinates: its samples scaled to 8 bits, and the
// sample index of every picture column and row (nearest neighbour for subsampled components).
class TComponentSampler {
public:
    TComponentSampler(const opj_image_t& image, const opj_image_comp_t& component, std::int64_t width,
                      std::int64_t height, std::uint32_t reduction)
        : FComponent(component) {
        FColumns = Indices(ReducedCoordinate(image.x0, reduction), width, component.dx,
                           ReducedCoordinate(component.x0, reduction), component.w);
        FRows = Indices(ReducedCoordinate(image.y0, reduction), height, component.dy,
                        ReducedCoordinate(component.y0, reduction), component.h);
        FMaximum = (std::int64_t{1} << component.prec) - 1;
        FOffset = component.sgnd ? std::int64_t{1} << (component.prec - 1) : 0;
        FShift = component.prec > 8 ? static_cast<int>(component.prec) - 8 : 0;
    }

    std::uint8_t At(std::int64_t x, std::int64_t y) const {
        const std::size_t index =
            FRows[static_cast<std::size_t>(y)] * static_cast<std::size_t>(FComponent.w) +
            FColumns[static_cast<std::size_t>(x)];
        const std::int64_t value =
            std::clamp<std::int64_t>(std::int64_t{FComponent.data[index]} + FOffset, 0, FMaximum);
        if (FShift > 0)
            return static_cast<std::uint8_t>(value >> FShift);
        return static_cast<std::uint8_t>((value * 255 + FMaximum / 2) / FMaximum);
    }

private:
    // Sample k of a component covers picture positions [(origin + k) * step, (origin + k + 1) * step).
    static std::vector<std::size_t> Indices(std::int64_t imageOrigin, std::int64_t count, std::uint32_t step,
                                            std::int64_t componentOrigin, std::uint32_t samples) {
        std::vector<std::size_t> indices(static_cast<std::size_t>(count));
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t position = (imageOrigin + i) / step - componentOrigin;
            indices[static_cast<std::size_t>(i)] =
                static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, std::int64_t{samples} - 1));
        }
        return indices;
    }

    const opj_image_comp_t& FComponent;
    std::vector<std::size_t> FColumns, FRows;
    std::int64_t FMaximum = 255, FOffset = 0;
    int FShift = 0;
};

bool IsUsable(const opj_image_comp_t& component, bool decoded) {
    return component.dx > 0 && component.dy > 0 && component.w > 0 && component.h > 0 && component.prec > 0 &&
           component.prec <= kMaxPrecision && (!decoded || component.data != nullptr);
}

// Which components hold colour and which (if any) alpha: a component flagged as alpha by the JP2
// channel definition, or else the second of two or the fourth of four.
struct TChannelLayout {
    std::vector<std::uint32_t> Colour; // 1 (grey) or 3 (RGB or YCC) components
    int Alpha = -1;
};

bool ChooseChannels(const opj_image_t& image, TChannelLayout& layout) {
    for (std::uint32_t i = 0; i < image.numcomps; ++i) {
        if (image.comps[i].alpha != 0 && layout.Alpha < 0)
            layout.Alpha = static_cast<int>(i);
    }
    if (layout.Alpha < 0 && (image.numcomps == 2 || image.numcomps == 4))
        layout.Alpha = static_cast<int>(image.numcomps - 1);
    for (std::uint32_t i = 0; i < image.numcomps && layout.Colour.size() < 3; ++i) {
        if (static_cast<int>(i) != layout.Alpha)
            layout.Colour.push_back(i);
    }
    if (layout.Colour.size() == 2)
        layout.Colour.resize(1); // two colour planes without a third: show the first as grey
    return !layout.Colour.empty();
}

std::uint8_t ClampByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// sYCC to sRGB (IEC 61966-2-1 amendment 1, full range, chroma centred on 128).
TColor YccToColor(std::uint8_t alpha, int y, int cb, int cr) {
    const double b = cb - 128.0, r = cr - 128.0;
    return MakeColor(alpha, ClampByte(y + 1.402 * r), ClampByte(y - 0.344136 * b - 0.714136 * r),
                     ClampByte(y + 1.772 * b));
}

// Three colour components hold sYCC when the file says so, and also when it declares no colour space
// (a bare codestream) but carries the second and third at a coarser sampling than the first: chroma
// subsampling, which no RGB picture uses (no multi-component transform applies to such components).
bool IsYcc(const opj_image_t& image, const TChannelLayout& layout) {
    if (layout.Colour.size() != 3)
        return false;
    if (image.color_space == OPJ_CLRSPC_SYCC)
        return true;
    if (image.color_space != OPJ_CLRSPC_UNKNOWN && image.color_space != OPJ_CLRSPC_UNSPECIFIED)
        return false;
    const opj_image_comp_t& luma = image.comps[layout.Colour[0]];
    const opj_image_comp_t& blue = image.comps[layout.Colour[1]];
    const opj_image_comp_t& red = image.comps[layout.Colour[2]];
    return luma.dx == 1 && luma.dy == 1 && (blue.dx > 1 || blue.dy > 1) && blue.dx == red.dx &&
           blue.dy == red.dy;
}

void FillPicture(const opj_image_t& image, const TChannelLayout& layout, std::uint32_t reduction,
                 TBitmap& picture) {
    const std::int64_t width = picture.Width(), height = picture.Height();
    std::vector<TComponentSampler> colour;
    for (std::uint32_t index : layout.Colour)
        colour.emplace_back(image, image.comps[index], width, height, reduction);
    std::vector<TComponentSampler> alpha;
    if (layout.Alpha >= 0)
        alpha.emplace_back(image, image.comps[layout.Alpha], width, height, reduction);
    const bool ycc = IsYcc(image, layout);

    for (std::int64_t y = 0; y < height; ++y) {
        const std::span<TColor> row = picture.Row(static_cast<std::int32_t>(y));
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint8_t a = alpha.empty() ? 255 : alpha[0].At(x, y);
            TColor& pixel = row[static_cast<std::size_t>(x)];
            if (colour.size() == 1) {
                const std::uint8_t grey = colour[0].At(x, y);
                pixel = MakeColor(a, grey, grey, grey);
            } else if (ycc) {
                pixel = YccToColor(a, colour[0].At(x, y), colour[1].At(x, y), colour[2].At(x, y));
            } else {
                pixel = MakeColor(a, colour[0].At(x, y), colour[1].At(x, y), colour[2].At(x, y));
            }
        }
    }
}

} // namespace

TStatus EncodeJpeg2000(const TBitmap& bitmap, std::int32_t threads, std::vector<std::uint8_t>& out) {
    if (!bitmap.IsValid())
        return TStatus::Fail(TFailure::Unsupported, "JPEG 2000 encoder: empty bitmap");
    TJ2kSink sink;
    {
        TJ2kEncodeSession session(sink);
        if (!session.CreateImage(bitmap))
            return session.Failure("image");
        if (!session.SetUpCodec(threads))
            return session.Failure("parameters");
        if (!session.Encode())
            return session.Failure("coding");
    }
    out = std::move(sink.Bytes);
    return TStatus::Ok();
}

TStatus ReadJpeg2000Size(std::span<const std::uint8_t> data, std::int32_t& width, std::int32_t& height) {
    TJ2kSource source{data, 0, {}};
    TJ2kDecodeSession session(source);
    std::int64_t w = 0, h = 0;
    GW_TRY(session.ReadHeader(w, h));
    if (w > std::numeric_limits<std::int32_t>::max() || h > std::numeric_limits<std::int32_t>::max())
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: picture too large");
    width = static_cast<std::int32_t>(w);
    height = static_cast<std::int32_t>(h);
    return TStatus::Ok();
}

std::uint32_t ChooseJpeg2000Reduction(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                                      std::uint32_t levels, std::int32_t targetSide) {
    if (targetSide <= 0)
        return 0;
    std::uint32_t reduction = 0;
    while (reduction + 1 < std::min<std::uint32_t>(levels, 32)) {
        const std::uint32_t next = reduction + 1;
        const std::int64_t longest = std::max(ReducedCoordinate(x1, next) - ReducedCoordinate(x0, next),
                                              ReducedCoordinate(y1, next) - ReducedCoordinate(y0, next));
        if (longest < targetSide)
            break;
        reduction = next;
    }
    return reduction;
}

namespace {

// One decode at the resolution targetSide allows (see DecodeJpeg2000Data); reduction tells the levels
// it dropped.
TStatus DecodeOnce(std::span<const std::uint8_t> data, std::int32_t targetSide, TBitmap& picture,
                   std::uint32_t& reduction) {
    reduction = 0;
    TJ2kSource source{data, 0, {}};
    TJ2kDecodeSession session(source);
    std::int64_t width = 0, height = 0;
    GW_TRY(session.ReadHeader(width, height));

    // Everything below up to the decoding itself is decided from the header alone.
    const opj_image_t& image = session.Image();
    if (!limits::FitsScaledSourceLimits(width, height))
        return PictureTooLarge("JPEG 2000: picture", width, height, true);
    reduction = ChooseJpeg2000Reduction(image.x0, image.y0, image.x1, image.y1, session.ResolutionLevels(),
                                        targetSide);
    if (reduction > 0 && !session.Reduce(reduction))
        reduction = 0;
    const std::int64_t outWidth =
        ReducedCoordinate(image.x1, reduction) - ReducedCoordinate(image.x0, reduction);
    const std::int64_t outHeight =
        ReducedCoordinate(image.y1, reduction) - ReducedCoordinate(image.y0, reduction);
    if (!limits::FitsBitmapLimits(outWidth, outHeight))
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: picture too large (" + std::to_string(outWidth) +
                                                     " x " + std::to_string(outHeight) + " decoded)");
    // A reduced decode keeps (and allocates for) only the low-resolution samples of each component;
    // the rounding of odd sides is covered by one sample more each way.
    const std::uint32_t margin = reduction > 0 ? 1 : 0;
    std::uint64_t planeBytes = 0;
    for (std::uint32_t i = 0; i < image.numcomps; ++i) {
        const opj_image_comp_t& component = image.comps[i];
        if (!IsUsable(component, false))
            return session.Failure(TFailure::Unsupported, "component geometry or precision");
        planeBytes += static_cast<std::uint64_t>(ReducedCoordinate(component.w, reduction) + margin) *
                      static_cast<std::uint64_t>(ReducedCoordinate(component.h, reduction) + margin) *
                      sizeof(OPJ_INT32);
    }
    if (planeBytes > limits::kMaxDecoderMemoryBytes)
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: component planes too large");
    if (image.color_space == OPJ_CLRSPC_CMYK || image.color_space == OPJ_CLRSPC_EYCC)
        return session.Failure(TFailure::Unsupported, "CMYK and e-YCC colour spaces");

    if (!session.Decode())
        return session.Failure(TFailure::Corrupt, "picture data");
    TChannelLayout layout;
    if (!ChooseChannels(image, layout))
        return session.Failure(TFailure::Unsupported, "no colour component");
    for (std::uint32_t i = 0; i < image.numcomps; ++i) {
        if (!IsUsable(image.comps[i], true))
            return session.Failure(TFailure::Corrupt, "component without data");
    }
    TBitmap decoded(static_cast<std::int32_t>(outWidth), static_cast<std::int32_t>(outHeight));
    if (!decoded.IsValid())
        return TStatus::Fail(TFailure::TooLarge, "JPEG 2000: picture could not be allocated");
    FillPicture(image, layout, reduction, decoded);
    picture = std::move(decoded);
    return TStatus::Ok();
}

} // namespace

TStatus DecodeJpeg2000Data(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide) {
    picture = TBitmap();
    std::uint32_t reduction = 0;
    const TStatus status = DecodeOnce(data, targetSide, picture, reduction);
    if (status || reduction == 0)
        return status;
    // The main header promised the levels, but a tile header may give a component fewer than were
    // dropped, which OpenJPEG refuses: such a file gets a full-resolution decode.
    std::uint32_t ignored = 0;
    picture = TBitmap();
    if (DecodeOnce(data, 0, picture, ignored))
        return TStatus::Ok();
    picture = TBitmap();
    return status;
}

} // namespace gw
