#include "support/TestPngWriter.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <iterator>
#include <stdexcept>

namespace gw::test {

namespace {

void OnWrite(png_structp png, png_bytep data, std::size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void OnFlush(png_structp) {}
void OnWarning(png_structp, png_const_charp) {}

// Holds no C++ objects, so libpng's longjmp skips no destructor.
bool WriteGuarded(png_structp png, png_infop info, const TTestPng& spec, png_colorp palette,
                  png_color_16p trnsColor, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, spec.Width, spec.Height, spec.BitDepth, spec.ColorType,
                 spec.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    if (!spec.Palette.empty())
        png_set_PLTE(png, info, palette, static_cast<int>(spec.Palette.size()));
    if (!spec.TrnsAlpha.empty() || trnsColor != nullptr)
        png_set_tRNS(png, info, spec.TrnsAlpha.empty() ? nullptr : spec.TrnsAlpha.data(),
                     static_cast<int>(spec.TrnsAlpha.size()), trnsColor);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

void PutU32BE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

} // namespace

std::vector<std::uint8_t> WriteTestPng(const TTestPng& spec) {
    if (spec.Rows.size() != spec.Height)
        throw std::runtime_error("test PNG needs one row per line");
    std::vector<png_color> palette;
    for (const auto& entry : spec.Palette)
        palette.push_back({entry[0], entry[1], entry[2]});
    png_color_16 trnsColor{};
    if (spec.TrnsColor) {
        trnsColor.gray = (*spec.TrnsColor)[0];
        trnsColor.red = (*spec.TrnsColor)[0];
        trnsColor.green = (*spec.TrnsColor)[1];
        trnsColor.blue = (*spec.TrnsColor)[2];
    }
    std::vector<std::vector<std::uint8_t>> rowCopies = spec.Rows;
    std::vector<png_bytep> rows;
    for (auto& row : rowCopies)
        rows.push_back(row.data());

    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, OnWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
        throw std::runtime_error("libpng could not start");
    png_set_write_fn(png, &out, OnWrite, OnFlush);
    const bool ok =
        WriteGuarded(png, info, spec, palette.data(), spec.TrnsColor ? &trnsColor : nullptr, rows.data());
    png_destroy_write_struct(&png, &info);
    if (!ok)
        throw std::runtime_error("libpng refused the test PNG");
    if (spec.RawChunks.empty())
        return out;
    auto chunks = SplitPngChunks(out);
    auto idat =
        std::find_if(chunks.begin(), chunks.end(), [](const TPngChunk& c) { return c.Type == "IDAT"; });
    for (const auto& [type, data] : spec.RawChunks)
        idat = std::next(chunks.insert(idat, TPngChunk{type, data, 0}));
    return JoinPngChunks(chunks);
}

std::vector<std::uint8_t> PackSamples(const std::vector<unsigned>& samples, int bitDepth) {
    std::vector<std::uint8_t> row;
    if (bitDepth == 16) {
        for (unsigned s : samples) {
            row.push_back(static_cast<std::uint8_t>(s >> 8));
            row.push_back(static_cast<std::uint8_t>(s));
        }
        return row;
    }
    const int perByte = 8 / bitDepth;
    row.assign((samples.size() + perByte - 1) / perByte, 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int shift = 8 - bitDepth * (static_cast<int>(i % perByte) + 1);
        row[i / perByte] |= static_cast<std::uint8_t>(samples[i] << shift);
    }
    return row;
}

std::uint32_t PngChunkCrc(const TPngChunk& chunk) {
    uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(chunk.Type.data()), static_cast<uInt>(chunk.Type.size()));
    // NOTE: zlib's crc32 answers 0 for a null buffer, which an empty vector may hand it.
    if (!chunk.Data.empty())
        crc = crc32(crc, chunk.Data.data(), static_cast<uInt>(chunk.Data.size()));
    return static_cast<std::uint32_t>(crc);
}

std::vector<TPngChunk> SplitPngChunks(const std::vector<std::uint8_t>& png) {
    if (png.size() < kPngSignature.size() ||
        !std::equal(kPngSignature.begin(), kPngSignature.end(), png.begin()))
        throw std::runtime_error("no PNG signature");
    std::vector<TPngChunk> chunks;
    std::size_t pos = kPngSignature.size();
    auto u32 = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 |
               std::uint32_t{png[at + 2]} << 8 | std::uint32_t{png[at + 3]};
    };
    while (pos < png.size()) {
        if (png.size() - pos < 12)
            throw std::runtime_error("PNG chunk header cut short");
        const std::uint32_t length = u32(pos);
        if (length > png.size() - pos - 12)
            throw std::runtime_error("PNG chunk data cut short");
        TPngChunk chunk;
        chunk.Type.assign(png.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                          png.begin() + static_cast<std::ptrdiff_t>(pos + 8));
        chunk.Data.assign(png.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                          png.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
        chunk.Crc = u32(pos + 8 + length);
        chunks.push_back(std::move(chunk));
        pos += 12 + length;
    }
    return chunks;
}

std::vector<std::uint8_t> JoinPngChunks(const std::vector<TPngChunk>& chunks) {
    std::vector<std::uint8_t> out(kPngSignature.begin(), kPngSignature.end());
    for (const auto& chunk : chunks) {
        PutU32BE(out, static_cast<std::uint32_t>(chunk.Data.size()));
        out.insert(out.end(), chunk.Type.begin(), chunk.Type.end());
        out.insert(out.end(), chunk.Data.begin(), chunk.Data.end());
        PutU32BE(out, PngChunkCrc(chunk));
    }
    return out;
}

std::optional<TBitmap> DecodeTestPng(const std::vector<std::uint8_t>& data) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        return std::nullopt;
    image.format = PNG_FORMAT_BGRA;
    TBitmap bitmap(static_cast<std::int32_t>(image.width), static_cast<std::int32_t>(image.height));
    if (!bitmap.IsValid() || !png_image_finish_read(&image, nullptr, bitmap.Pixels().data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return bitmap;
}

} // namespace gw::test
