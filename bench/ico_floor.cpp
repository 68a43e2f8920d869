// The floor of a JPEG photo's default .ico: what the same libraries need at the least, as a whole
// process. libjpeg-turbo decodes the photo at the smallest DCT scale whose longer side still covers
// 1024 pixels (as the converter does), the picture is reduced by a plain box average to 256 pixels
// on its longer side and centred on a transparent 256 x 256 image, and libpng encodes that image
// exactly as the icon's PNG is encoded (8-bit RGBA, level 7, the Sub filter, IDAT chunks of at most
// 65535 bytes) into the output file. No other icon image, no colour reduction.
//
//   ico_floor PHOTO.jpg OUT.png
//
// bench/ico_floor.py runs it beside glyphwright-cli and prints the ratio.

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int kCanvas = 1024;
constexpr int kIcon = 256;

std::vector<std::uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes at the needed DCT scale into B, G, R, A rows.
bool DecodeJpeg(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& pixels, int& width,
                int& height) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return false;
    const unsigned longest = std::max(info.image_width, info.image_height);
    unsigned numerator = 1;
    while (numerator < 8 && (longest * numerator + 7) / 8 < static_cast<unsigned>(kCanvas))
        ++numerator;
    info.scale_num = numerator;
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGRA;
    info.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    pixels.resize(static_cast<std::size_t>(width) * height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) * width * 4;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// A box average of the picture, fitted to the icon's side and centred, as R, G, B, A rows.
std::vector<std::uint8_t> BoxReduce(const std::vector<std::uint8_t>& pixels, int width, int height) {
    std::vector<std::uint8_t> icon(static_cast<std::size_t>(kIcon) * kIcon * 4, 0);
    const int longest = std::max(width, height);
    const int w = std::max(1, width * kIcon / longest), h = std::max(1, height * kIcon / longest);
    const int left = (kIcon - w) / 2, top = (kIcon - h) / 2;
    for (int y = 0; y < h; ++y) {
        const int y0 = y * height / h, y1 = std::max(y0 + 1, (y + 1) * height / h);
        for (int x = 0; x < w; ++x) {
            const int x0 = x * width / w, x1 = std::max(x0 + 1, (x + 1) * width / w);
            unsigned sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += pixels[(static_cast<std::size_t>(sy) * width + sx) * 4 + c];
            const unsigned count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
            std::uint8_t* out = &icon[(static_cast<std::size_t>(top + y) * kIcon + left + x) * 4];
            out[0] = static_cast<std::uint8_t>(sum[2] / count);
            out[1] = static_cast<std::uint8_t>(sum[1] / count);
            out[2] = static_cast<std::uint8_t>(sum[0] / count);
            out[3] = 255;
        }
    }
    return icon;
}

bool EncodePng(std::vector<std::uint8_t>& rgba, const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(kIcon);
    for (int y = 0; y < kIcon; ++y)
        rows[y] = rgba.data() + static_cast<std::size_t>(y) * kIcon * 4;
    png_init_io(png, file);
    png_set_IHDR(png, info, kIcon, kIcon, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 7);
    png_set_compression_buffer_size(png, 65535);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ico_floor PHOTO.jpg OUT.png\n");
        return 2;
    }
    const std::vector<std::uint8_t> data = ReadFile(argv[1]);
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    if (data.empty() || !DecodeJpeg(data, pixels, width, height))
        return 1;
    std::vector<std::uint8_t> icon = BoxReduce(pixels, width, height);
    return EncodePng(icon, argv[2]) ? 0 : 1;
}
