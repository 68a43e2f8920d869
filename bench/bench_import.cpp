// Picture decoding as the conversion uses it: a 6000 x 3400 photo-sized JPEG at full size and at the
// reduced DCT scale a 1024-pixel canvas needs, the same picture as PNG, and a 24-bit BMP.

#include "codecs/BmpDecoder.h"
#include "codecs/JpegDecoder.h"
#include "codecs/PngCodec.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using namespace gw;

constexpr int kPhotoWidth = 6000, kPhotoHeight = 3400;
constexpr int kPngSide = 2000;

// Smooth colour waves with fine detail, so that neither codec sees flat areas only.
std::vector<std::uint8_t> MakeRgb(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = x / 300.0, v = y / 300.0;
            rgb[i++] = static_cast<std::uint8_t>(127.5 + 120 * std::sin(u + 2 * v));
            rgb[i++] = static_cast<std::uint8_t>(127.5 + 120 * std::sin(3 * u - v + 1));
            rgb[i++] = static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF);
        }
    }
    return rgb;
}

const std::vector<std::uint8_t>& PhotoJpeg() {
    static const std::vector<std::uint8_t> jpeg = [] {
        const std::vector<std::uint8_t> rgb = MakeRgb(kPhotoWidth, kPhotoHeight);
        jpeg_compress_struct info{};
        jpeg_error_mgr error{};
        info.err = jpeg_std_error(&error);
        jpeg_create_compress(&info);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&info, &buffer, &size);
        info.image_width = kPhotoWidth;
        info.image_height = kPhotoHeight;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 90, TRUE);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<std::size_t>(info.next_scanline) *
                                                                 kPhotoWidth * 3);
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::vector<std::uint8_t> out(buffer, buffer + size);
        std::free(buffer);
        return out;
    }();
    return jpeg;
}

const std::vector<std::uint8_t>& SquarePng() {
    static const std::vector<std::uint8_t> png = [] {
        const std::vector<std::uint8_t> rgb = MakeRgb(kPngSide, kPngSide);
        std::vector<std::uint8_t> out;
        png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(writer);
        png_set_write_fn(
            writer, &out,
            [](png_structp p, png_bytep data, png_size_t size) {
                auto* target = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
                target->insert(target->end(), data, data + size);
            },
            nullptr);
        png_set_IHDR(writer, info, kPngSide, kPngSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(writer, info);
        for (int y = 0; y < kPngSide; ++y)
            png_write_row(writer, rgb.data() + static_cast<std::size_t>(y) * kPngSide * 3);
        png_write_end(writer, info);
        png_destroy_write_struct(&writer, &info);
        return out;
    }();
    return png;
}

const std::vector<std::uint8_t>& SquareBmp() {
    static const std::vector<std::uint8_t> bmp = [] {
        const std::vector<std::uint8_t> rgb = MakeRgb(kPngSide, kPngSide);
        const std::uint32_t stride = kPngSide * 3, pixels = stride * kPngSide, offset = 54;
        std::vector<std::uint8_t> out(offset + pixels, 0);
        const auto put32 = [&out](std::size_t at, std::uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
        out[0] = 'B';
        out[1] = 'M';
        put32(2, offset + pixels);
        put32(10, offset);
        put32(14, 40);
        put32(18, kPngSide);
        put32(22, kPngSide);
        put32(26, 1 | 24 << 16);
        for (int y = 0; y < kPngSide; ++y) {
            const std::uint8_t* source = rgb.data() + static_cast<std::size_t>(kPngSide - 1 - y) * stride;
            std::uint8_t* target = out.data() + offset + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < kPngSide; ++x) {
                target[x * 3] = source[x * 3 + 2];
                target[x * 3 + 1] = source[x * 3 + 1];
                target[x * 3 + 2] = source[x * 3];
            }
        }
        return out;
    }();
    return bmp;
}

void BM_JpegPhoto(benchmark::State& state) {
    const auto& jpeg = PhotoJpeg();
    const auto target = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        TBitmap picture;
        if (!DecodeJpeg(jpeg, picture, target))
            state.SkipWithError("JPEG decode failed");
        benchmark::DoNotOptimize(picture.Pixels().data());
        state.counters["width"] = picture.Width();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(jpeg.size()));
}
// 0: full size 6000 x 3400; 1024: DCT scale 2/8, 1500 x 850.
BENCHMARK(BM_JpegPhoto)->Arg(0)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_Png2000(benchmark::State& state) {
    const auto& png = SquarePng();
    for (auto _ : state) {
        TBitmap picture;
        if (!DecodePng(png, picture))
            state.SkipWithError("PNG decode failed");
        benchmark::DoNotOptimize(picture.Pixels().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(png.size()));
}
BENCHMARK(BM_Png2000)->Unit(benchmark::kMillisecond);

void BM_Bmp2000(benchmark::State& state) {
    const auto& bmp = SquareBmp();
    for (auto _ : state) {
        TBitmap picture;
        if (!DecodeBmp(bmp, picture))
            state.SkipWithError("BMP decode failed");
        benchmark::DoNotOptimize(picture.Pixels().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bmp.size()));
}
BENCHMARK(BM_Bmp2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
