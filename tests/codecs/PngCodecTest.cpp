#include "codecs/PngCodec.h"
#include "image/Limits.h"

#include "support/PictureMakers.h"
#include "support/TestPngWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

namespace gw {
namespace {

using test::TPngChunk;
using test::TTestPng;

// An 8-bit RGBA image whose samples follow a smooth pattern, or are random when noisy (random data
// does not compress, so it spreads over many IDAT chunks).
TPngImage MakeRgba(std::int32_t width, std::int32_t height, bool noisy) {
    TPngImage png;
    png.Width = width;
    png.Height = height;
    png.Samples.resize(static_cast<std::size_t>(width) * height * 4);
    std::mt19937 random(12345);
    for (std::size_t i = 0; i < png.Samples.size(); ++i)
        png.Samples[i] =
            noisy ? static_cast<std::uint8_t>(random()) : static_cast<std::uint8_t>(i * 7 + i / 97);
    return png;
}

std::vector<std::uint8_t> Encode(const TPngImage& png) {
    std::vector<std::uint8_t> out;
    const TStatus status = EncodePng(png, out);
    EXPECT_TRUE(status.IsOk()) << status.Reason();
    return out;
}

std::vector<std::string> ChunkTypes(const std::vector<TPngChunk>& chunks) {
    std::vector<std::string> types;
    for (const auto& chunk : chunks)
        types.push_back(chunk.Type);
    return types;
}

std::vector<std::uint8_t> IdatStream(const std::vector<TPngChunk>& chunks) {
    std::vector<std::uint8_t> stream;
    for (const auto& chunk : chunks)
        if (chunk.Type == "IDAT")
            stream.insert(stream.end(), chunk.Data.begin(), chunk.Data.end());
    return stream;
}

// Inflates the image data; fails the test when it does not hold exactly expectedSize bytes.
std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& stream, std::size_t expectedSize) {
    std::vector<std::uint8_t> raw(expectedSize + 1);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    EXPECT_EQ(uncompress(raw.data(), &rawSize, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    EXPECT_EQ(rawSize, expectedSize);
    raw.resize(rawSize);
    return raw;
}

// --- Encoder: exact layout -------------------------------------------------------------------------

TEST(PngEncoder, WritesOnlyHeaderImageDataAndEndChunksWithValidCrcs) {
    const auto bytes = Encode(MakeRgba(47, 33, false));
    ASSERT_TRUE(std::equal(test::kPngSignature.begin(), test::kPngSignature.end(), bytes.begin()));
    const auto chunks = test::SplitPngChunks(bytes);
    auto types = ChunkTypes(chunks);
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    types.erase(types.begin());
    types.pop_back();
    for (const auto& type : types)
        EXPECT_EQ(type, "IDAT");
    for (const auto& chunk : chunks)
        EXPECT_EQ(chunk.Crc, test::PngChunkCrc(chunk)) << chunk.Type;
    EXPECT_TRUE(chunks.back().Data.empty());
}

TEST(PngEncoder, HeaderIsEightBitRgbaWithoutInterlace) {
    const auto chunks = test::SplitPngChunks(Encode(MakeRgba(47, 33, false)));
    const std::vector<std::uint8_t> expected = {0, 0, 0, 47, 0, 0, 0, 33, 8, 6, 0, 0, 0};
    EXPECT_EQ(chunks.front().Data, expected);
}

TEST(PngEncoder, EveryRowUsesTheSubFilterAtCompressionLevelSeven) {
    constexpr std::int32_t width = 47, height = 33;
    const auto stream = IdatStream(test::SplitPngChunks(Encode(MakeRgba(width, height, false))));
    ASSERT_GE(stream.size(), 2u);
    // zlib header (RFC 1950): FLEVEL 3 is what zlib records for levels 7 to 9; the default level 6
    // records 2.
    EXPECT_EQ(stream[1] >> 6, 3);
    const std::size_t rowBytes = 1 + width * 4;
    const auto raw = Inflate(stream, rowBytes * height);
    for (std::int32_t y = 0; y < height && raw.size() == rowBytes * height; ++y)
        EXPECT_EQ(raw[y * rowBytes], 1) << "filter byte of row " << y;
}

TEST(PngEncoder, SplitsImageDataIntoChunksOfAtMost65535Bytes) {
    const auto chunks = test::SplitPngChunks(Encode(MakeRgba(256, 256, true)));
    std::vector<std::size_t> idatSizes;
    for (const auto& chunk : chunks)
        if (chunk.Type == "IDAT")
            idatSizes.push_back(chunk.Data.size());
    // 256 KiB of noise stays about that large compressed: at least four chunks, all full but the last.
    ASSERT_GE(idatSizes.size(), 4u);
    for (std::size_t i = 0; i + 1 < idatSizes.size(); ++i)
        EXPECT_EQ(idatSizes[i], limits::kMaxPngIdatBytes);
    EXPECT_LE(idatSizes.back(), limits::kMaxPngIdatBytes);
}

TEST(PngEncoder, DecodesBackToTheSameSamples) {
    const TPngImage original = MakeRgba(47, 33, true);
    TPngImage decoded;
    ASSERT_TRUE(DecodePng(Encode(original), decoded).IsOk());
    EXPECT_EQ(decoded.Width, 47);
    EXPECT_EQ(decoded.Height, 33);
    EXPECT_EQ(decoded.ColorType, TPngColorType::ctRgba);
    EXPECT_EQ(decoded.BitDepth, 8);
    EXPECT_FALSE(decoded.Trns.Present);
    EXPECT_EQ(decoded.Samples, original.Samples);
}

// A photo-like image: smooth gradients with a little noise, partly transparent.
TPngImage MakePhotoLike(std::int32_t side) {
    TPngImage png;
    png.Width = png.Height = side;
    png.Samples.resize(static_cast<std::size_t>(side) * side * 4);
    std::mt19937 random(7);
    for (std::int32_t y = 0; y < side; ++y)
        for (std::int32_t x = 0; x < side; ++x) {
            std::uint8_t* p = &png.Samples[(static_cast<std::size_t>(y) * side + x) * 4];
            p[0] = static_cast<std::uint8_t>(x / 2 + random() % 16);
            p[1] = static_cast<std::uint8_t>(y / 3 + random() % 16);
            p[2] = static_cast<std::uint8_t>((x + y) / 4 + random() % 16);
            p[3] = static_cast<std::uint8_t>(std::min(255, x + y));
        }
    return png;
}

// The zlib stream libpng makes of the same rows in one piece (level 7, filtered strategy).
std::size_t OnePieceStreamSize(const std::vector<std::uint8_t>& filteredRows) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 7, Z_DEFLATED, 15, 8, Z_FILTERED), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(filteredRows.size())));
    z.next_in = const_cast<Bytef*>(filteredRows.data());
    z.avail_in = static_cast<uInt>(filteredRows.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    const std::size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

// Image data of two deflate blocks or more is compressed in blocks on several threads: still one PNG
// that zlib, libpng and Pillow read back, the same bytes with any thread count, chunks as libpng cuts
// them, and at most 1 % larger than libpng's stream of the same rows in one piece.
TEST(PngEncoder, LargeImagesCompressedInBlocksStayOnePngWhateverTheThreads) {
    constexpr std::int32_t kSide = 512; // 1 MiB of rows: two blocks
    const TPngImage original = MakePhotoLike(kSide);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodePng(original, bytes, 1).IsOk());
    for (const std::int32_t threads : {3}) {
        std::vector<std::uint8_t> again;
        ASSERT_TRUE(EncodePng(original, again, threads).IsOk());
        EXPECT_EQ(again, bytes) << threads << " threads";
    }

    const auto chunks = test::SplitPngChunks(bytes);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(ChunkTypes(chunks).back(), "IEND");
    std::size_t idats = 0;
    for (std::size_t i = 1; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].Type, "IDAT");
        EXPECT_EQ(chunks[i].Crc, test::PngChunkCrc(chunks[i]));
        if (i + 2 < chunks.size()) {
            EXPECT_EQ(chunks[i].Data.size(), limits::kMaxPngIdatBytes);
        }
        ++idats;
    }
    EXPECT_GT(idats, 1u);
    const std::vector<std::uint8_t> stream = IdatStream(chunks);
    const std::size_t rowBytes = 1 + kSide * 4;
    const auto raw = Inflate(stream, rowBytes * kSide); // zlib checks the Adler-32 too
    ASSERT_EQ(raw.size(), rowBytes * kSide);
    for (std::int32_t y = 0; y < kSide; ++y)
        ASSERT_EQ(raw[y * rowBytes], 1) << "filter byte of row " << y;
    EXPECT_LE(static_cast<double>(stream.size()), 1.01 * static_cast<double>(OnePieceStreamSize(raw)));

    TPngImage decoded;
    ASSERT_TRUE(DecodePng(bytes, decoded, TPngLimits::Picture()).IsOk());
    EXPECT_EQ(decoded.Samples, original.Samples);
    if (!test::HavePillow())
        GTEST_SKIP() << "Pillow not installed";
    test::TTempDir dir;
    test::WriteFileBytes(dir / "large.png", bytes);
    const std::optional<TBitmap> pillow = test::DecodeWithPillow(dir / "large.png");
    ASSERT_TRUE(pillow.has_value());
    ASSERT_EQ(pillow->Width(), kSide);
    const std::uint8_t* s = original.Samples.data();
    for (const TColor c : pillow->Pixels()) {
        ASSERT_EQ(c, MakeColor(s[3], s[0], s[1], s[2]));
        s += 4;
    }
}

struct TEncodeRefusal {
    const char* name;
    std::function<void(TPngImage&)> damage;
    TFailure failure;
};

class PngEncoderRefuses : public ::testing::TestWithParam<TEncodeRefusal> {};

TEST_P(PngEncoderRefuses, ImagesItDoesNotWrite) {
    TPngImage png = MakeRgba(5, 4, false);
    GetParam().damage(png);
    std::vector<std::uint8_t> out = {42};
    const TStatus status = EncodePng(png, out);
    EXPECT_EQ(status.Kind(), GetParam().failure) << status.Reason();
    EXPECT_EQ(out, std::vector<std::uint8_t>{42}) << "output replaced on failure";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngEncoderRefuses,
    ::testing::Values(
        TEncodeRefusal{"rgbColorType", [](TPngImage& p) { p.ColorType = TPngColorType::ctRgb; },
                       TFailure::Unsupported},
        TEncodeRefusal{"sixteenBits", [](TPngImage& p) { p.BitDepth = 16; }, TFailure::Unsupported},
        TEncodeRefusal{"interlaced", [](TPngImage& p) { p.Interlaced = true; }, TFailure::Unsupported},
        TEncodeRefusal{"samplesShort", [](TPngImage& p) { p.Samples.pop_back(); }, TFailure::Corrupt},
        TEncodeRefusal{"samplesLong", [](TPngImage& p) { p.Samples.push_back(0); }, TFailure::Corrupt},
        TEncodeRefusal{"zeroWidth", [](TPngImage& p) { p.Width = 0; }, TFailure::TooLarge},
        TEncodeRefusal{"sideAboveLimit", [](TPngImage& p) { p.Width = limits::kMaxPngSide + 1; },
                       TFailure::TooLarge}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Decoder: samples and chunks -------------------------------------------------------------------

struct TDecodeCase {
    const char* name;
    TTestPng png;
    TPngColorType colorType;
    std::vector<std::uint8_t> samples;
};

TTestPng OneRow(int colorType, int bitDepth, const std::vector<unsigned>& samples, std::uint32_t width) {
    TTestPng png;
    png.Width = width;
    png.ColorType = colorType;
    png.BitDepth = bitDepth;
    png.Rows = {test::PackSamples(samples, bitDepth)};
    if (colorType == 3)
        png.Palette.assign(std::min(16u, 1u << bitDepth), {1, 2, 3});
    return png;
}

class PngDecoderSamples : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(PngDecoderSamples, AreOneByteEach) {
    const auto& c = GetParam();
    TPngImage png;
    const TStatus status = DecodePng(test::WriteTestPng(c.png), png);
    ASSERT_TRUE(status.IsOk()) << status.Reason();
    EXPECT_EQ(png.ColorType, c.colorType);
    EXPECT_EQ(png.BitDepth, c.png.BitDepth);
    EXPECT_EQ(png.Width, static_cast<std::int32_t>(c.png.Width));
    EXPECT_EQ(png.Samples, c.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PngDecoderSamples,
    ::testing::Values(
        TDecodeCase{"grey1", OneRow(0, 1, {0, 1, 1, 0, 1}, 5), TPngColorType::ctGrey, {0, 255, 255, 0, 255}},
        TDecodeCase{"grey2", OneRow(0, 2, {0, 1, 2, 3, 2}, 5), TPngColorType::ctGrey, {0, 85, 170, 255, 170}},
        TDecodeCase{"grey4", OneRow(0, 4, {0, 5, 15}, 3), TPngColorType::ctGrey, {0, 85, 255}},
        TDecodeCase{"grey16", OneRow(0, 16, {0x1234, 0xABCD}, 2), TPngColorType::ctGrey, {0x12, 0xAB}},
        TDecodeCase{"palette1",
                    OneRow(3, 1, {1, 0, 1, 1, 0, 0, 0, 1, 1}, 9),
                    TPngColorType::ctPalette,
                    {1, 0, 1, 1, 0, 0, 0, 1, 1}},
        TDecodeCase{"palette2", OneRow(3, 2, {3, 2, 1, 0, 3}, 5), TPngColorType::ctPalette, {3, 2, 1, 0, 3}},
        TDecodeCase{"palette4", OneRow(3, 4, {15, 0, 9}, 3), TPngColorType::ctPalette, {15, 0, 9}},
        TDecodeCase{
            "rgb16", OneRow(2, 16, {0x0102, 0x8384, 0xFFFE}, 1), TPngColorType::ctRgb, {0x01, 0x83, 0xFF}},
        TDecodeCase{
            "greyAlpha8", OneRow(4, 8, {10, 200, 20, 0}, 2), TPngColorType::ctGreyAlpha, {10, 200, 20, 0}},
        TDecodeCase{"rgba16",
                    OneRow(6, 16, {0x1000, 0x2000, 0x3000, 0x8080}, 1),
                    TPngColorType::ctRgba,
                    {0x10, 0x20, 0x30, 0x80}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PngDecoder, InterlacedImageGivesTheSameSamplesAsPlain) {
    TTestPng plain;
    plain.Width = 9;
    plain.Height = 7;
    plain.ColorType = 6;
    for (std::uint32_t y = 0; y < plain.Height; ++y) {
        std::vector<unsigned> row;
        for (std::uint32_t i = 0; i < plain.Width * 4; ++i)
            row.push_back((y * 31 + i * 17) % 256);
        plain.Rows.push_back(test::PackSamples(row, 8));
    }
    TTestPng interlaced = plain;
    interlaced.Interlaced = true;
    TPngImage a, b;
    ASSERT_TRUE(DecodePng(test::WriteTestPng(plain), a).IsOk());
    ASSERT_TRUE(DecodePng(test::WriteTestPng(interlaced), b).IsOk());
    EXPECT_TRUE(b.Interlaced);
    EXPECT_EQ(a.Samples, b.Samples);
}

TEST(PngDecoder, KeepsPaletteAndItsTransparencyValues) {
    TTestPng spec = OneRow(3, 2, {0, 1, 2}, 3);
    spec.Palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    spec.TrnsAlpha = {0, 100};
    TPngImage png;
    ASSERT_TRUE(DecodePng(test::WriteTestPng(spec), png).IsOk());
    const std::vector<TPngRgb> palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    EXPECT_EQ(png.Palette, palette);
    EXPECT_TRUE(png.Trns.Present);
    EXPECT_EQ(png.Trns.PaletteAlpha, (std::vector<std::uint8_t>{0, 100}));
}

struct TKeyCase {
    const char* name;
    TTestPng png;
    std::optional<TPngRgb> key;
};

TTestPng Keyed(int colorType, int bitDepth, std::array<std::uint16_t, 3> key) {
    TTestPng png = OneRow(colorType, bitDepth, std::vector<unsigned>(colorType == 2 ? 3 : 1, 0), 1);
    png.TrnsColor = key;
    return png;
}

class PngDecoderTransparentColor : public ::testing::TestWithParam<TKeyCase> {};

TEST_P(PngDecoderTransparentColor, IsGivenInEightBitSamples) {
    TPngImage png;
    ASSERT_TRUE(DecodePng(test::WriteTestPng(GetParam().png), png).IsOk());
    EXPECT_TRUE(png.Trns.Present);
    EXPECT_EQ(png.Trns.Color, GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PngDecoderTransparentColor,
    ::testing::Values(TKeyCase{"grey1", Keyed(0, 1, {1, 0, 0}), TPngRgb{255, 255, 255}},
                      TKeyCase{"grey4", Keyed(0, 4, {5, 0, 0}), TPngRgb{85, 85, 85}},
                      TKeyCase{"grey8", Keyed(0, 8, {77, 0, 0}), TPngRgb{77, 77, 77}},
                      TKeyCase{"grey16", Keyed(0, 16, {0xABCD, 0, 0}), TPngRgb{0xAB, 0xAB, 0xAB}},
                      TKeyCase{"rgb8", Keyed(2, 8, {1, 2, 3}), TPngRgb{1, 2, 3}},
                      TKeyCase{"rgb16", Keyed(2, 16, {0x1200, 0x34FF, 0x5601}), TPngRgb{0x12, 0x34, 0x56}},
                      TKeyCase{"grey2OutOfRange",
                               [] {
                                   TTestPng png = OneRow(0, 2, {0}, 1);
                                   png.RawChunks = {{"tRNS", {0, 7}}};
                                   return png;
                               }(),
                               std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Decoder: hostile data -------------------------------------------------------------------------

// A valid 5 x 4 palette PNG, the base of the damaged variants.
std::vector<TPngChunk> ValidChunks() {
    TTestPng spec;
    spec.Width = 5;
    spec.Height = 4;
    spec.ColorType = 3;
    spec.Palette = {{1, 2, 3}, {4, 5, 6}};
    for (int y = 0; y < 4; ++y)
        spec.Rows.push_back(test::PackSamples({1, 0, 1, 0, 1}, 8));
    return test::SplitPngChunks(test::WriteTestPng(spec));
}

TPngChunk& Find(std::vector<TPngChunk>& chunks, const std::string& type) {
    return *std::find_if(chunks.begin(), chunks.end(), [&](const TPngChunk& c) { return c.Type == type; });
}

void PutU32BE(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        data[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The valid PNG with the header changed and its CRC made right again.
std::vector<std::uint8_t> WithHeader(const std::function<void(std::vector<std::uint8_t>&)>& change) {
    auto chunks = ValidChunks();
    change(Find(chunks, "IHDR").Data);
    return test::JoinPngChunks(chunks);
}

std::vector<std::uint8_t> Without(const std::string& type) {
    auto chunks = ValidChunks();
    std::erase_if(chunks, [&](const TPngChunk& c) { return c.Type == type; });
    return test::JoinPngChunks(chunks);
}

std::vector<std::uint8_t> WithIdat(const std::vector<std::uint8_t>& data) {
    auto chunks = ValidChunks();
    Find(chunks, "IDAT").Data = data;
    return test::JoinPngChunks(chunks);
}

std::vector<std::uint8_t> Valid() {
    return test::JoinPngChunks(ValidChunks());
}

std::vector<std::uint8_t> CutBy(std::size_t count) {
    auto bytes = Valid();
    bytes.resize(bytes.size() - count);
    return bytes;
}

// Flips one byte of the stored data at offset from the start (after the CRCs were written).
std::vector<std::uint8_t>
Flipped(const std::function<std::size_t(const std::vector<std::uint8_t>&)>& offset) {
    auto bytes = Valid();
    bytes[offset(bytes)] ^= 0x01;
    return bytes;
}

// Ends halfway through the image data chunk.
std::vector<std::uint8_t> CutInsideImageData() {
    auto chunks = ValidChunks();
    const std::size_t idatSize = Find(chunks, "IDAT").Data.size();
    auto bytes = test::JoinPngChunks(chunks);
    bytes.resize(bytes.size() - 12 - 4 - idatSize / 2); // IEND, the IDAT's CRC, half its data
    return bytes;
}

std::vector<std::uint8_t> Compressed(const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(raw.size())));
    uLongf size = static_cast<uLongf>(out.size());
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

struct THostileCase {
    const char* name;
    std::function<std::vector<std::uint8_t>()> make;
    TFailure failure;
};

class PngDecoderRejects : public ::testing::TestWithParam<THostileCase> {};

TEST_P(PngDecoderRejects, DamagedDataWithTheRightFailure) {
    TPngImage png;
    png.Width = -7; // a marker: the image must stay untouched
    const TStatus status = DecodePng(GetParam().make(), png);
    EXPECT_EQ(status.Kind(), GetParam().failure) << status.Reason();
    EXPECT_FALSE(status.Reason().empty());
    EXPECT_EQ(png.Width, -7);
}

constexpr std::size_t kIhdrCrcOffset = 8 + 8 + 13;

INSTANTIATE_TEST_SUITE_P(
    Cases, PngDecoderRejects,
    ::testing::Values(
        THostileCase{"empty", [] { return std::vector<std::uint8_t>{}; }, TFailure::Truncated},
        THostileCase{
            "signatureOnly",
            [] { return std::vector<std::uint8_t>(test::kPngSignature.begin(), test::kPngSignature.end()); },
            TFailure::Truncated},
        THostileCase{"cutInsideHeader", [] { return CutBy(Valid().size() - 20); }, TFailure::Truncated},
        THostileCase{"cutInsideImageData", CutInsideImageData, TFailure::Truncated},
        THostileCase{"endChunkMissing", [] { return CutBy(12); }, TFailure::Truncated},
        THostileCase{"badSignature", [] { return Flipped([](const auto&) { return 1; }); },
                     TFailure::Corrupt},
        THostileCase{"headerCrcWrong", [] { return Flipped([](const auto&) { return kIhdrCrcOffset; }); },
                     TFailure::Corrupt},
        THostileCase{"imageDataCrcWrong",
                     [] { return Flipped([](const auto& b) { return b.size() - 12 - 1; }); },
                     TFailure::Corrupt},
        THostileCase{"zeroWidth", [] { return WithHeader([](auto& h) { PutU32BE(h, 0, 0); }); },
                     TFailure::Corrupt},
        THostileCase{"widthAboveLimit",
                     [] { return WithHeader([](auto& h) { PutU32BE(h, 0, limits::kMaxPngSide + 1); }); },
                     TFailure::TooLarge},
        THostileCase{"heightAboveLimit",
                     [] { return WithHeader([](auto& h) { PutU32BE(h, 4, limits::kMaxPngSide + 1); }); },
                     TFailure::TooLarge},
        THostileCase{"pixelCountAboveLimit",
                     [] {
                         return WithHeader([](auto& h) {
                             PutU32BE(h, 0, limits::kMaxPngSide);
                             PutU32BE(h, 4, limits::kMaxPngSide);
                         });
                     },
                     TFailure::TooLarge},
        THostileCase{"colorTypeOne", [] { return WithHeader([](auto& h) { h[9] = 1; }); }, TFailure::Corrupt},
        THostileCase{"paletteDepthSixteen", [] { return WithHeader([](auto& h) { h[8] = 16; }); },
                     TFailure::Corrupt},
        THostileCase{"rgbDepthThree",
                     [] {
                         return WithHeader([](auto& h) {
                             h[8] = 3;
                             h[9] = 2;
                         });
                     },
                     TFailure::Corrupt},
        THostileCase{"unknownInterlaceMethod", [] { return WithHeader([](auto& h) { h[12] = 2; }); },
                     TFailure::Corrupt},
        THostileCase{"paletteMissing", [] { return Without("PLTE"); }, TFailure::Corrupt},
        THostileCase{"imageDataMissing", [] { return Without("IDAT"); }, TFailure::Corrupt},
        THostileCase{"imageDataNotZlib",
                     [] {
                         return WithIdat({1, 2, 3, 4, 5, 6, 7, 8});
                     },
                     TFailure::Corrupt},
        THostileCase{"imageDataTooShort",
                     [] { return WithIdat(Compressed(std::vector<std::uint8_t>(2 * 6, 0))); },
                     TFailure::Corrupt}),
    [](const auto& info) { return std::string(info.param.name); });

// --- PngSuite ----------------------------------------------------------------------------------------

std::uint32_t HeaderField(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

TEST(PngDecoderSuite, DecodesEveryValidFileAtItsSizeAndRejectsEveryCorruptOne) {
    GW_REQUIRE_TESTDATA(data);
    const auto dir = data / "pngsuite";
    if (!std::filesystem::is_directory(dir))
        GTEST_SKIP() << "PngSuite not present";
    int valid = 0, corrupt = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".png")
            continue;
        const std::string name = entry.path().filename().string();
        const auto bytes = test::ReadFileBytes(entry.path());
        TPngImage png;
        const TStatus status = DecodePng(bytes, png);
        if (name.starts_with("x")) {
            ++corrupt;
            EXPECT_FALSE(status.IsOk()) << name;
            EXPECT_TRUE(status.Kind() == TFailure::Corrupt || status.Kind() == TFailure::Truncated) << name;
            continue;
        }
        ++valid;
        ASSERT_TRUE(status.IsOk()) << name << ": " << status.Reason();
        EXPECT_EQ(static_cast<std::uint32_t>(png.Width), HeaderField(bytes, 16)) << name;
        EXPECT_EQ(static_cast<std::uint32_t>(png.Height), HeaderField(bytes, 20)) << name;
        EXPECT_EQ(png.BitDepth, bytes[24]) << name;
        EXPECT_EQ(static_cast<int>(png.ColorType), bytes[25]) << name;
        EXPECT_TRUE(png.HasConsistentSamples()) << name;
    }
    EXPECT_GT(valid, 100);
    EXPECT_GT(corrupt, 10);
}

} // namespace
} // namespace gw
