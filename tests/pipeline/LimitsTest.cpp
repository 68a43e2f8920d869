// Whole conversions of files whose headers declare enormous sizes: each is refused as a read error
// before anything large is allocated, or, at the largest size accepted, converted. The memory these
// conversions take is measured by bench/peak_memory.sh; here the outcome and the absence of any
// output file are checked.

#include "pipeline/IOManager.h"

#include "color/DataType.h"
#include "formats/IconCoders.h"
#include "formats/icns/MacIcoIO.h"
#include "image/ByteWriter.h"
#include "image/OrbIcon.h"
#include "pipeline/Importers.h"
#include "settings/Setting.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

// A PNG of height all-zero rows of rowBytes each, deflated as one stream.
TBytes ZeroRowsPng(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth, std::uint8_t colorType,
                   std::size_t rowBytes) {
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, 9), Z_OK);
    const TBytes row(rowBytes + 1, 0);
    TBytes deflated(64 * 1024);
    std::size_t used = 0;
    for (std::uint32_t y = 0; y <= height; ++y) {
        const bool last = y == height;
        stream.next_in = const_cast<Bytef*>(row.data());
        stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            if (deflated.size() - used < 1024)
                deflated.resize(deflated.size() * 2);
            stream.next_out = deflated.data() + used;
            stream.avail_out = static_cast<uInt>(deflated.size() - used);
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            used = deflated.size() - stream.avail_out;
        } while (stream.avail_in > 0 || (last && stream.avail_out == 0));
    }
    deflateEnd(&stream);
    deflated.resize(used);

    TByteWriter out;
    out.Bytes(std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    const auto chunk = [&out](const char* type, const TBytes& data) {
        out.U32BE(static_cast<std::uint32_t>(data.size()));
        const std::size_t start = out.Size();
        out.Bytes({reinterpret_cast<const std::uint8_t*>(type), 4});
        out.Bytes(data);
        out.U32BE(static_cast<std::uint32_t>(
            crc32(0, out.Buffer().data() + start, static_cast<uInt>(out.Size() - start))));
    };
    TByteWriter ihdr;
    ihdr.U32BE(width);
    ihdr.U32BE(height);
    ihdr.Bytes(std::vector<std::uint8_t>{bitDepth, colorType, 0, 0, 0});
    chunk("IHDR", ihdr.Buffer());
    chunk("IDAT", deflated);
    chunk("IEND", {});
    return out.Take();
}

// A BMP info header declaring width x height at bitCount over only 64 bytes of pixel data.
TBytes BmpClaim(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t imageBytes) {
    TByteWriter out;
    out.U8('B');
    out.U8('M');
    out.U32LE(14 + 40 + imageBytes);
    out.U32LE(0);
    out.U32LE(14 + 40);
    for (const std::uint32_t field :
         {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
        out.U32LE(field);
    out.U16LE(1);
    out.U16LE(bitCount);
    for (const std::uint32_t field : {0u, imageBytes, 2835u, 2835u, 0u, 0u})
        out.U32LE(field);
    out.Zeros(64);
    return out.Take();
}

struct TTiffEntry {
    std::uint16_t Tag, Type;
    std::uint32_t Count, Value;
};
constexpr std::uint16_t kTiffShort = 3, kTiffLong = 4;

// A little-endian TIFF header and its one directory of entries (each value in the entry itself).
TByteWriter TiffWithDirectory(const std::vector<TTiffEntry>& entries) {
    TByteWriter out;
    out.Bytes(std::vector<std::uint8_t>{'I', 'I', 42, 0});
    out.U32LE(8);
    out.U16LE(static_cast<std::uint16_t>(entries.size()));
    for (const TTiffEntry& entry : entries) {
        out.U16LE(entry.Tag);
        out.U16LE(entry.Type);
        out.U32LE(entry.Count);
        if (entry.Type == kTiffShort) {
            out.U16LE(static_cast<std::uint16_t>(entry.Value));
            out.U16LE(0);
        } else {
            out.U32LE(entry.Value);
        }
    }
    out.U32LE(0);
    return out;
}

std::uint32_t TiffDataOffset(std::size_t entries) {
    return static_cast<std::uint32_t>(8 + 2 + 12 * entries + 4);
}

// A little-endian RGB TIFF with the whole picture in one strip, declared stripBytes long, holding strip.
TBytes OneStripTiff(std::uint32_t width, std::uint32_t height, std::uint16_t compression,
                    std::uint32_t stripBytes, const TBytes& strip) {
    TByteWriter out = TiffWithDirectory({{256, kTiffLong, 1, width},
                                         {257, kTiffLong, 1, height},
                                         {258, kTiffShort, 1, 8},
                                         {259, kTiffShort, 1, compression},
                                         {262, kTiffShort, 1, 2},
                                         {273, kTiffLong, 1, TiffDataOffset(10)},
                                         {277, kTiffShort, 1, 3},
                                         {278, kTiffLong, 1, height},
                                         {279, kTiffLong, 1, stripBytes},
                                         {284, kTiffShort, 1, 1}});
    out.Bytes(strip);
    return out.Take();
}

// How EmptyTileJ2k codes its tile: decomposition levels, code-block exponents (64 x 64 is 4, as
// coded), precinct exponents (0: none given, so the largest), and whether the coding style is given
// again in the tile-part header.
struct TJ2kCoding {
    std::uint8_t Levels = 5;
    std::uint8_t BlockExponent = 4;
    std::uint8_t PrecinctExponent = 0;
    bool InTilePart = false;
};

// A coding style (COD) marker segment: LRCP, one layer, no colour transform.
TBytes J2kCodingStyle(const TJ2kCoding& coding) {
    TByteWriter cod;
    cod.U16BE(0xFF52);
    const bool precincts = coding.PrecinctExponent != 0;
    cod.U16BE(static_cast<std::uint16_t>(12 + (precincts ? coding.Levels + 1 : 0)));
    cod.Bytes(TBytes{precincts ? std::uint8_t{1} : std::uint8_t{0}, 0, 0, 1, 0, coding.Levels,
                     coding.BlockExponent, coding.BlockExponent, 0, 0});
    for (int r = 0; precincts && r <= coding.Levels; ++r)
        cod.U8(static_cast<std::uint8_t>(coding.PrecinctExponent * 0x11));
    return cod.Take();
}

// A JPEG 2000 codestream of 8-bit components, one layer and tiles of tileSide; the first tile's
// packets are all empty, so it decodes to flat grey.
TBytes EmptyTileJ2k(std::uint32_t width, std::uint32_t height, std::uint16_t components,
                    std::uint32_t tileSide, const TJ2kCoding& coding = {}) {
    TByteWriter out;
    out.U16BE(0xFF4F);
    out.U16BE(0xFF51);
    out.U16BE(static_cast<std::uint16_t>(38 + 3 * components));
    out.U16BE(0);
    for (const std::uint32_t field : {width, height, 0u, 0u, tileSide, tileSide, 0u, 0u})
        out.U32BE(field);
    out.U16BE(components);
    for (std::uint16_t c = 0; c < components; ++c)
        out.Bytes(std::vector<std::uint8_t>{7, 1, 1});
    // The main header always has a coding style; a tile-part may give its own.
    const TJ2kCoding usual{coding.Levels, 4, 0, false};
    out.Bytes(J2kCodingStyle(coding.InTilePart ? usual : coding));
    const std::uint16_t subbands = 3u * coding.Levels + 1u;
    out.U16BE(0xFF5C); // quantization: none, 3 guard bits
    out.U16BE(static_cast<std::uint16_t>(2 + 1 + subbands));
    out.U8(0x40);
    out.Bytes(TBytes(subbands, 0x48));
    const TBytes tileStyle = coding.InTilePart ? J2kCodingStyle(coding) : TBytes{};
    const std::uint32_t packets = (coding.Levels + 1u) * components;
    out.U16BE(0xFF90);
    out.U16BE(10);
    out.U16BE(0);
    out.U32BE(static_cast<std::uint32_t>(14 + tileStyle.size() + packets));
    out.U8(0);
    out.U8(1);
    out.Bytes(tileStyle);
    out.U16BE(0xFF93);
    out.Zeros(packets);
    out.U16BE(0xFFD9);
    return out.Take();
}

// Bits into bytes, most significant first, with the 0x00 that follows every 0xFF of JPEG entropy-coded
// data; the last byte is padded with 1 bits.
class TJpegBits {
public:
    void Put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            FByte = static_cast<std::uint8_t>(FByte << 1 | ((value >> i) & 1));
            if (++FCount == 8)
                Flush();
        }
    }
    TBytes Take() {
        while (FCount != 0)
            Put(1, 1);
        return std::move(FBytes);
    }

private:
    void Flush() {
        FBytes.push_back(FByte);
        if (FByte == 0xFF)
            FBytes.push_back(0);
        FByte = 0;
        FCount = 0;
    }
    TBytes FBytes;
    std::uint8_t FByte = 0;
    int FCount = 0;
};

void JpegSegment(TByteWriter& out, std::uint16_t marker, const TBytes& body) {
    out.U16BE(marker);
    out.U16BE(static_cast<std::uint16_t>(body.size() + 2));
    out.Bytes(body);
}

// The start of a JPEG of width x height (frame marker sof) and 1 to 3 components without subsampling
// up to its first scan, with one 1-bit Huffman code each: DC difference category 0, and acSymbol for
// the AC coefficients.
TByteWriter ZeroBlocksJpegHeader(std::uint16_t sof, std::uint16_t width, std::uint16_t height,
                                 std::uint8_t acSymbol, std::uint8_t components = 1) {
    TByteWriter out;
    out.U16BE(0xFFD8);
    TBytes table(65, 1);
    table[0] = 0; // 8-bit table 0
    JpegSegment(out, 0xFFDB, table);
    const auto high = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    const auto low = [](std::uint16_t v) { return static_cast<std::uint8_t>(v); };
    TBytes frame{8, high(height), low(height), high(width), low(width), components};
    for (std::uint8_t c = 1; c <= components; ++c)
        frame.insert(frame.end(), {c, 0x11, 0});
    JpegSegment(out, sof, frame);
    for (const std::uint8_t tableClass : {0x00, 0x10}) {
        TBytes huffman{tableClass, 1};
        huffman.resize(17, 0);
        huffman.push_back(tableClass == 0 ? 0x00 : acSymbol);
        JpegSegment(out, 0xFFC4, huffman);
    }
    return out;
}

std::uint32_t JpegBlocks(std::uint16_t width, std::uint16_t height) {
    return ((width + 7u) / 8u) * ((height + 7u) / 8u);
}

// A scan of `blocks` blocks coded with bitsPerBlock zero bits each (1-bit codes only).
void ZeroBitsScan(TByteWriter& out, const TBytes& header, std::uint32_t blocks, int bitsPerBlock) {
    JpegSegment(out, 0xFFDA, header);
    TJpegBits bits;
    for (std::uint32_t i = 0; i < blocks; ++i)
        bits.Put(0, bitsPerBlock);
    out.Bytes(bits.Take());
}

// A baseline grey JPEG whose blocks are all zero: two bits a block (DC difference 0, end of block), so
// a 200-megapixel picture is a 780 kB file.
TBytes ZeroBlocksBaselineJpeg(std::uint16_t width, std::uint16_t height) {
    TByteWriter out = ZeroBlocksJpegHeader(0xFFC0, width, height, 0x00);
    ZeroBitsScan(out, {1, 1, 0x00, 0, 63, 0}, JpegBlocks(width, height), 2);
    out.U16BE(0xFFD9);
    return out.Take();
}

// A three-component JPEG of side x side whose blocks are all zero, one scan per component: a
// progressive one (DC scans only), or a sequential one. libjpeg holds all coefficients of either while
// decoding (6 bytes a pixel).
TBytes ZeroBlocksScanPerComponentJpeg(std::uint16_t side, bool progressive) {
    TByteWriter out = ZeroBlocksJpegHeader(progressive ? 0xFFC2 : 0xFFC0, side, side, 0x00, 3);
    const std::uint8_t last = progressive ? 0 : 63;
    for (std::uint8_t c = 1; c <= 3; ++c)
        ZeroBitsScan(out, {1, c, 0x00, 0, last, 0}, JpegBlocks(side, side), progressive ? 1 : 2);
    out.U16BE(0xFFD9);
    return out.Take();
}

// A progressive grey JPEG of 16 x 16 pixels (four zero blocks) of `scans` scans: the DC scan, then one
// scan for each of the first AC coefficients.
TBytes ManyScanTileJpeg(std::uint8_t scans) {
    TByteWriter out = ZeroBlocksJpegHeader(0xFFC2, 16, 16, 0x00);
    for (std::uint8_t k = 0; k < scans; ++k)
        ZeroBitsScan(out, {1, 1, 0x00, k, k, 0}, 4, 1);
    out.U16BE(0xFFD9);
    return out.Take();
}

// A grey TIFF of side x side in JPEG-compressed tiles of 16 x 16 that all point at the same data.
TBytes SharedTilesTiff(std::uint32_t side, const TBytes& tile) {
    const std::uint32_t tiles = (side / 16) * (side / 16);
    const std::uint32_t offsets = TiffDataOffset(10), counts = offsets + 4 * tiles, data = counts + 4 * tiles;
    TByteWriter out = TiffWithDirectory({{256, kTiffLong, 1, side},
                                         {257, kTiffLong, 1, side},
                                         {258, kTiffShort, 1, 8},
                                         {259, kTiffShort, 1, 7},
                                         {262, kTiffShort, 1, 1},
                                         {277, kTiffShort, 1, 1},
                                         {322, kTiffShort, 1, 16},
                                         {323, kTiffShort, 1, 16},
                                         {324, kTiffLong, tiles, offsets},
                                         {325, kTiffLong, tiles, counts}});
    for (std::uint32_t i = 0; i < tiles; ++i)
        out.U32LE(data);
    for (std::uint32_t i = 0; i < tiles; ++i)
        out.U32LE(static_cast<std::uint32_t>(tile.size()));
    out.Bytes(tile);
    return out.Take();
}

// A baseline three-component JPEG of side x side whose blocks are all zero, in one interleaved scan:
// libjpeg decodes it row by row without holding its coefficients.
TBytes ZeroBlocksInterleavedJpeg(std::uint16_t side) {
    TByteWriter out = ZeroBlocksJpegHeader(0xFFC0, side, side, 0x00, 3);
    ZeroBitsScan(out, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0}, JpegBlocks(side, side) * 3, 2);
    out.U16BE(0xFFD9);
    return out.Take();
}

// An RGB TIFF of two JPEG strips of side x side, one above the other.
TBytes TwoJpegStripsTiff(std::uint16_t side, const TBytes& first, const TBytes& second) {
    const std::uint32_t offsets = TiffDataOffset(10), counts = offsets + 8, data = counts + 8;
    TByteWriter out = TiffWithDirectory({{256, kTiffLong, 1, side},
                                         {257, kTiffLong, 1, 2u * side},
                                         {258, kTiffShort, 1, 8},
                                         {259, kTiffShort, 1, 7},
                                         {262, kTiffShort, 1, 2},
                                         {273, kTiffLong, 2, offsets},
                                         {277, kTiffShort, 1, 3},
                                         {278, kTiffLong, 1, side},
                                         {279, kTiffLong, 2, counts},
                                         {284, kTiffShort, 1, 1}});
    out.U32LE(data);
    out.U32LE(data + static_cast<std::uint32_t>(first.size()));
    out.U32LE(static_cast<std::uint32_t>(first.size()));
    out.U32LE(static_cast<std::uint32_t>(second.size()));
    out.Bytes(first);
    out.Bytes(second);
    return out.Take();
}

// A TIFF of one JPEG strip holding jpeg.
TBytes JpegStripTiff(std::uint16_t side, const TBytes& jpeg) {
    return OneStripTiff(side, side, 7, static_cast<std::uint32_t>(jpeg.size()), jpeg);
}

// A progressive grey JPEG of side x side (at least 128) whose blocks are all zero: a DC scan, then for
// each AC coefficient a first scan and a refinement scan that skip every block with end-of-band runs
// (of 2^14 and 14 more bits). Each scan is a few dozen bytes, yet the decoder visits every block in
// it: 127 scans over 1 million blocks (8000 x 8000) is a 125 kB file.
TBytes ZeroBlocksProgressiveJpeg(std::uint16_t side) {
    const std::uint32_t blocks = JpegBlocks(side, side);
    TByteWriter out = ZeroBlocksJpegHeader(0xFFC2, side, side, 0xE0);
    const auto scan = [&](std::uint8_t first, std::uint8_t last, std::uint8_t approximation) {
        if (first == 0) {
            ZeroBitsScan(out, {1, 1, 0x00, first, last, approximation}, blocks, 1);
        } else {
            JpegSegment(out, 0xFFDA, {1, 1, 0x00, first, last, approximation});
            TJpegBits bits;
            for (std::uint32_t left = blocks; left > 0;) {
                const std::uint32_t run = std::min<std::uint32_t>(left, 32767);
                const std::uint32_t tail = left - run; // what remains must still be 16384 or more
                const std::uint32_t taken = tail > 0 && tail < 16384 ? run - (16384 - tail) : run;
                bits.Put(0, 1);
                bits.Put(taken - 16384, 14);
                left -= taken;
            }
            out.Bytes(bits.Take());
        }
    };
    scan(0, 0, 0x00);
    for (std::uint8_t k = 1; k < 64; ++k) {
        scan(k, k, 0x01);
        scan(k, k, 0x10);
    }
    out.U16BE(0xFFD9);
    return out.Take();
}

constexpr const char* kSvgOpen = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">";

// A lossless WebP header claiming 16384 x 16384 (268 megapixels) over a few bytes of data.
TBytes WebpClaiming16384Square() {
    constexpr char kHeader[] = "RIFF\x1A\0\0\0WEBPVP8L\x0E\0\0\0\x2F";
    TBytes bytes(kHeader, kHeader + sizeof kHeader - 1);
    const std::uint32_t header = 16383u | 16383u << 14 | 1u << 28;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(header >> (8 * i)));
    bytes.resize(bytes.size() + 9, 0);
    return bytes;
}

struct TLimitCase {
    const char* Name;
    TBytes (*Make)();
    bool Converts;
};

std::ostream& operator<<(std::ostream& os, const TLimitCase& c) {
    return os << c.Name;
}

const TLimitCase kLimitCases[] = {
    // JPEG-compressed TIFF strips: libjpeg keeps every coefficient of a progressive one (or of one
    // scan per component), 6 bytes a pixel for RGB. 4096 x 4096 (96 MiB) is decoded; 4800 x 4800
    // (132 MiB) is above the codec working memory and refused before decoding.
    {"TiffProgressiveJpegStrip4096Square",
     [] { return JpegStripTiff(4096, ZeroBlocksScanPerComponentJpeg(4096, true)); }, true},
    {"TiffProgressiveJpegStrip4800Square",
     [] { return JpegStripTiff(4800, ZeroBlocksScanPerComponentJpeg(4800, true)); }, false},
    // A baseline first strip does not let a progressive second one through.
    {"TiffBaselineThenProgressiveJpegStrips4800Square",
     [] {
         return TwoJpegStripsTiff(4800, ZeroBlocksInterleavedJpeg(4800),
                                  ZeroBlocksScanPerComponentJpeg(4800, true));
     },
     false},
    {"TiffTwoBaselineJpegStrips4800Square",
     [] { return TwoJpegStripsTiff(4800, ZeroBlocksInterleavedJpeg(4800), ZeroBlocksInterleavedJpeg(4800)); },
     true},
    {"TiffScanPerComponentJpegStrip4800Square",
     [] { return JpegStripTiff(4800, ZeroBlocksScanPerComponentJpeg(4800, false)); }, false},
    // Tiles of a 25-scan JPEG are refused at the first one (262,144 tiles of a 99-scan JPEG took 6 s);
    // ten scans are decoded.
    {"TiffTilesOf25ScanJpeg", [] { return SharedTilesTiff(512, ManyScanTileJpeg(25)); }, false},
    {"TiffTilesOf10ScanJpeg", [] { return SharedTilesTiff(512, ManyScanTileJpeg(10)); }, true},
    // 60000 x 60000: far beyond the pixel limit, refused at the header.
    {"PngBomb60000Square", [] { return test::MakePngHeaderOnly(60000, 60000, 1, 0); }, false},
    // The largest picture accepted: 8192 x 8192 (256 MiB decoded) from 1 MB of 1-bit rows.
    {"PngLargest8192Square", [] { return ZeroRowsPng(8192, 8192, 1, 0, 1024); }, true},
    // Beyond the pixels a whole picture may have (67,108,864), reduced while its rows are read; an
    // interlaced picture is decoded whole, so the same size interlaced is refused from its header.
    {"PngReducedWhileRead16384x4097", [] { return ZeroRowsPng(16384, 4097, 1, 0, 2048); }, true},
    {"PngInterlaced16384x4097", [] { return test::WithPngInterlaced(ZeroRowsPng(16384, 4097, 1, 0, 2048)); },
     false},
    // A 1 GiB pixel claim in the header over 64 bytes.
    {"BmpHeaderClaims1GiB", [] { return BmpClaim(16384, 16384, 32, 1u << 30); }, false},
    // Within the pixel limit, but the pixel data the header announces is missing.
    {"BmpClaims8192SquareOver64Bytes", [] { return BmpClaim(8192, 8192, 32, 1u << 28); }, false},
    // One strip claiming 4 GB of data of which 64 bytes exist.
    {"TiffStripClaims4GB", [] { return OneStripTiff(8000, 8000, 1, 0xFFFFFFF0u, TBytes(64, 0)); }, false},
    // One uncompressed strip that would need a 192 MiB buffer, above the codec working memory.
    {"TiffStripAboveDecoderMemory",
     [] { return OneStripTiff(8192, 8192, 1, 8192u * 8192 * 3, TBytes(64, 0)); }, false},
    // A single 60000 x 60000 tile, and a single 6000 x 6000 tile whose 32-bit planes (412 MiB) are above
    // the codec working memory: without decomposition levels it must be decoded whole and is refused;
    // with five it is decoded at 1/16 (375 x 375, enough for 256 x 256 icons).
    {"J2kTile60000Square", [] { return EmptyTileJ2k(60000, 60000, 3, 60000); }, false},
    {"J2kTile6000SquareWithoutLevels", [] { return EmptyTileJ2k(6000, 6000, 3, 6000, {.Levels = 0}); },
     false},
    {"J2kTile6000SquareAtReducedResolution", [] { return EmptyTileJ2k(6000, 6000, 3, 6000); }, true},
    // Beyond the bitmap limits at full size (144 megapixels), decoded at 1/32.
    {"J2kTile12000SquareAtReducedResolution", [] { return EmptyTileJ2k(12000, 12000, 3, 12000); }, true},
    // Code-blocks of 4 x 4 over a 4096 x 4096 tile: 4.2 million of them, 1.7 GB of OpenJPEG's state
    // (an 8192 x 8192 tile took 6.6 GB and 16 s); also when only the tile-part header asks for them,
    // or when precincts of 2 x 2 cut the usual 64 x 64 code-blocks down to 1 x 1.
    {"J2kTile4096SquareOf4x4CodeBlocks",
     [] { return EmptyTileJ2k(4096, 4096, 4, 4096, {.BlockExponent = 0}); }, false},
    {"J2kTilePartAsksFor4x4CodeBlocks",
     [] { return EmptyTileJ2k(4096, 4096, 4, 4096, {.BlockExponent = 0, .InTilePart = true}); }, false},
    {"J2kPrecinctsOf2x2", [] { return EmptyTileJ2k(2048, 2048, 3, 2048, {.PrecinctExponent = 1}); }, false},
    // The same small code-blocks in small tiles are decoded one tile at a time.
    {"J2kTiles256SquareOf4x4CodeBlocks",
     [] { return EmptyTileJ2k(4096, 4096, 4, 256, {.BlockExponent = 0}); }, true},
    // 65536 tiles of 16 x 16: OpenJPEG would set up coding parameters for each before reading any.
    {"J2kHeaderImplies65536Tiles", [] { return EmptyTileJ2k(4096, 4096, 3, 16); }, false},
    // 127 progressive scans over 1 million blocks each (a 125 kB file): refused once the scans read
    // cover 100 million blocks. (With coefficient data in every scan such a file took 12 s.)
    {"JpegScansCover127MillionBlocks", [] { return ZeroBlocksProgressiveJpeg(8000); }, false},
    // A 200-megapixel photo (16320 x 12240) is decoded at 1/8 scale, 2040 x 1530; a picture of
    // 18000 x 18000 (324 megapixels) is beyond what is decoded even at a reduced scale.
    {"JpegBaseline200Megapixels", [] { return ZeroBlocksBaselineJpeg(16320, 12240); }, true},
    {"JpegBaseline324Megapixels", [] { return ZeroBlocksBaselineJpeg(18000, 18000); }, false},
    // A 2000 x 2000 tile is an ordinary picture.
    {"J2kTile2000Square", [] { return EmptyTileJ2k(2000, 2000, 3, 2000); }, true},
    // SVG: entity amplification and nesting beyond 256 levels are refused by the parser, a document
    // inflating beyond 16 MiB while it is read; a viewBox of a million pixels is rendered at the icon
    // sizes only (about 0.1 s).
    {"SvgBillionLaughs", [] { return test::TextBytes(test::BillionLaughsSvg()); }, false},
    {"SvgHundredThousandNestedGroups", [] { return test::TextBytes(test::NestedGroupsSvg(100000)); }, false},
    {"SvgzInflatingTo64MiB",
     [] {
         TBytes doc = test::TextBytes(kSvgOpen);
         doc.resize(64u << 20, ' ');
         return test::Gzip(doc);
     },
     false},
    {"SvgExternalEntity",
     [] {
         return test::TextBytes(std::string("<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY e SYSTEM "
                                            "\"file:///etc/hostname\">]>") +
                                kSvgOpen + "<text>&e;</text></svg>");
     },
     false},
    {"SvgMillionPixelViewBox",
     [] {
         return test::TextBytes(
             "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 1000000 1000000\"><circle "
             "cx=\"500000\" cy=\"500000\" r=\"400000\"/></svg>");
     },
     true},
    {"WebpClaims16384Square", WebpClaiming16384Square, false},
    {"WebpTruncatedAfterHeader",
     [] {
         TBytes bytes = WebpClaiming16384Square();
         bytes[21] = 63; // 64 x 1
         bytes[22] = bytes[23] = bytes[24] = 0;
         bytes.resize(25);
         return bytes;
     },
     false},
};

class ConversionLimitsTest : public testing::TestWithParam<TLimitCase> {
protected:
    TGlobalSetting FSettings{TPersistence::Detached};
    TDataType FDataType{FSettings};
    TIOManager FManager{FSettings, FDataType};
    test::TTempDir FDir;
};

TEST_P(ConversionLimitsTest, ConvertsOrFailsAsReadErrorWithoutOutput) {
    const fs::path input = FDir / "picture.bin";
    test::WriteFileBytes(input, GetParam().Make());

    TErrorType errorType = TErrorType::etNone;
    const bool converted = FManager.ProcessFile(input, errorType);

    std::vector<fs::path> written;
    for (const auto& entry : fs::directory_iterator(FDir.Path()))
        if (entry.path() != input)
            written.push_back(entry.path());
    if (GetParam().Converts) {
        ASSERT_TRUE(converted);
        EXPECT_EQ(errorType, TErrorType::etNone);
        ASSERT_EQ(written, std::vector<fs::path>{FDir / "picture.ico"});
        TOrbIcon icon;
        ASSERT_TRUE(LoadIcon(written.front(), icon));
        EXPECT_EQ(icon.ImageCount(), 10);
    } else {
        EXPECT_FALSE(converted);
        EXPECT_EQ(errorType, TErrorType::etReadError);
        EXPECT_TRUE(written.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(DeclaredSizes, ConversionLimitsTest, testing::ValuesIn(kLimitCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The tile count is judged from the image header before OpenJPEG allocates anything per tile (a
// 348-byte file of 1048668 x 18 pixels in 18 x 18 tiles once took 846 MB that way).
TEST(Jpeg2000LimitsTest, TileCountIsRefusedFromTheHeader) {
    TBitmap picture;
    const TStatus status =
        CreateImporter(TFileTypes::ftJpg2000)->ImportData(EmptyTileJ2k(4096, 4096, 3, 16), picture);
    EXPECT_EQ(status.Kind(), TFailure::TooLarge);
    EXPECT_NE(status.Reason().find("too many tiles"), std::string::npos) << status.Reason();
}

// Code-blocks are judged from the coding styles of the main header and of every tile-part header,
// with precincts taken into account, before OpenJPEG sets up any of them.
TEST(Jpeg2000LimitsTest, SmallCodeBlocksAreRefusedFromTheHeaders) {
    const TJ2kCoding codings[] = {
        {.BlockExponent = 0}, {.BlockExponent = 0, .InTilePart = true}, {.PrecinctExponent = 1}};
    for (const TJ2kCoding& coding : codings) {
        TBitmap picture;
        const TStatus status = CreateImporter(TFileTypes::ftJpg2000)
                                   ->ImportData(EmptyTileJ2k(2048, 2048, 4, 2048, coding), picture);
        EXPECT_EQ(status.Kind(), TFailure::TooLarge);
        EXPECT_NE(status.Reason().find("code-blocks"), std::string::npos) << status.Reason();
    }
}

TEST(IcnsLimitsTest, ElementClaiming4GBIsRefusedWithoutImages) {
    TByteWriter file;
    file.Bytes(std::vector<std::uint8_t>{'i', 'c', 'n', 's'});
    file.U32BE(0xFFFFFFFFu);
    file.Bytes(std::vector<std::uint8_t>{'i', 'c', '1', '0'});
    file.U32BE(0xFFFFFFF0u);
    file.Bytes(std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});

    TMacIcoIO coder(false);
    TOrbIcon icon;
    const TStatus status = coder.LoadFromStream(file.Buffer(), icon);
    EXPECT_EQ(status.Kind(), TFailure::Truncated);
    EXPECT_EQ(icon.ImageCount(), 0);
}

} // namespace
} // namespace gw
