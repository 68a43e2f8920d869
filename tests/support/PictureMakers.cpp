#include "support/PictureMakers.h"

#include "codecs/PngCodec.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

namespace gw::test {

namespace {

void PutU16LE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutU32LE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16LE(out, v & 0xFFFF);
    PutU16LE(out, v >> 16);
}
void PutU16BE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void PutU32BE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16BE(out, v >> 16);
    PutU16BE(out, v & 0xFFFF);
}

} // namespace

std::vector<std::uint8_t> BuildBmp(const TBmpSpec& spec) {
    const bool core = spec.HeaderSize == 12;
    const bool masksAfterHeader = spec.HeaderSize == 40 && !spec.Masks.empty();
    const std::uint32_t entrySize = core ? 3 : 4;
    const std::uint32_t headersEnd =
        14 + spec.HeaderSize + (masksAfterHeader ? 4 * static_cast<std::uint32_t>(spec.Masks.size()) : 0);
    const std::uint32_t offBits =
        spec.OffBits.value_or(headersEnd + entrySize * static_cast<std::uint32_t>(spec.Palette.size()));

    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutU32LE(out, offBits + static_cast<std::uint32_t>(spec.PixelData.size()));
    PutU32LE(out, 0);
    PutU32LE(out, offBits);
    std::vector<std::uint8_t> header;
    PutU32LE(header, spec.HeaderSize);
    if (core) {
        PutU16LE(header, static_cast<std::uint32_t>(spec.Width));
        PutU16LE(header, static_cast<std::uint32_t>(spec.Height));
    } else {
        PutU32LE(header, static_cast<std::uint32_t>(spec.Width));
        PutU32LE(header, static_cast<std::uint32_t>(spec.Height));
    }
    PutU16LE(header, spec.Planes);
    PutU16LE(header, spec.BitCount);
    if (spec.HeaderSize >= 40) {
        PutU32LE(header, spec.Compression);
        PutU32LE(header, spec.SizeImage);
        PutU32LE(header, 2835);
        PutU32LE(header, 2835);
        PutU32LE(header, spec.ClrUsed);
        PutU32LE(header, 0);
        if (spec.HeaderSize >= 52 && spec.HeaderSize != 64) {
            for (std::size_t i = 0; i < 4 && header.size() + 4 <= spec.HeaderSize; ++i)
                PutU32LE(header, i < spec.Masks.size() ? spec.Masks[i] : 0);
        }
    }
    header.resize(spec.HeaderSize, 0);
    out.insert(out.end(), header.begin(), header.end());
    if (masksAfterHeader) {
        for (std::uint32_t mask : spec.Masks)
            PutU32LE(out, mask);
    }
    for (TColor entry : spec.Palette) {
        out.push_back(BlueOf(entry));
        out.push_back(GreenOf(entry));
        out.push_back(RedOf(entry));
        if (!core)
            out.push_back(0);
    }
    // An explicit offset is a test of the offset itself: the pixels follow the palette regardless.
    if (!spec.OffBits)
        out.resize(std::max<std::size_t>(out.size(), offBits), 0);
    out.insert(out.end(), spec.PixelData.begin(), spec.PixelData.end());
    return out;
}

std::vector<std::uint8_t> PackBmpRows(const TBitmap& picture, std::uint16_t bitCount,
                                      const std::vector<TColor>& palette, bool topDown) {
    const std::int32_t width = picture.Width(), height = picture.Height();
    const std::size_t stride = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(height), 0);
    for (std::int32_t fileRow = 0; fileRow < height; ++fileRow) {
        const auto row = picture.Row(topDown ? fileRow : height - 1 - fileRow);
        std::uint8_t* dst = out.data() + stride * static_cast<std::size_t>(fileRow);
        for (std::int32_t x = 0; x < width; ++x) {
            const TColor c = row[x];
            switch (bitCount) {
            case 1:
            case 2:
            case 4:
            case 8: {
                const auto it = std::find(palette.begin(), palette.end(), c | 0xFF000000u);
                if (it == palette.end())
                    throw std::logic_error("colour not in palette");
                const auto index = static_cast<std::uint32_t>(it - palette.begin());
                const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
                dst[bit / 8] |= static_cast<std::uint8_t>(index << (8 - bitCount - bit % 8));
                break;
            }
            case 16: {
                const std::uint32_t v = (RedOf(c) >> 3) << 10 | (GreenOf(c) >> 3) << 5 | (BlueOf(c) >> 3);
                dst[x * 2] = static_cast<std::uint8_t>(v);
                dst[x * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            }
            case 24:
                dst[x * 3] = BlueOf(c);
                dst[x * 3 + 1] = GreenOf(c);
                dst[x * 3 + 2] = RedOf(c);
                break;
            default:
                std::memcpy(dst + x * 4, &c, 4);
                break;
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap& picture, const TJpegOptions& options) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(picture.Width());
    info.image_height = static_cast<JDIMENSION>(picture.Height());
    info.input_components = options.Grey ? 1 : options.Cmyk ? 4 : 3;
    info.in_color_space = options.Grey ? JCS_GRAYSCALE : options.Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    if (options.Cmyk) {
        jpeg_set_colorspace(&info, options.Ycck ? JCS_YCCK : JCS_CMYK);
        info.write_Adobe_marker = options.Adobe ? TRUE : FALSE;
    }
    jpeg_set_quality(&info, options.Quality, TRUE);
    if (options.Progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    if (!options.App1.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, options.App1.data(),
                          static_cast<unsigned>(options.App1.size()));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.Width()) * 4);
    while (info.next_scanline < info.image_height) {
        const auto source = picture.Row(static_cast<std::int32_t>(info.next_scanline));
        std::size_t i = 0;
        for (TColor c : source) {
            if (options.Grey) {
                row[i++] = GreenOf(c);
            } else if (options.Cmyk) {
                // K = 0; ink = 255 - colour. Adobe files store the inverted value (0 = full ink).
                const std::uint8_t inks[4] = {static_cast<std::uint8_t>(255 - RedOf(c)),
                                              static_cast<std::uint8_t>(255 - GreenOf(c)),
                                              static_cast<std::uint8_t>(255 - BlueOf(c)), 0};
                for (std::uint8_t ink : inks)
                    row[i++] = options.Adobe ? static_cast<std::uint8_t>(255 - ink) : ink;
            } else {
                row[i++] = RedOf(c);
                row[i++] = GreenOf(c);
                row[i++] = BlueOf(c);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::vector<std::uint8_t> MakeExifOrientation(std::uint16_t orientation, bool bigEndian, std::uint16_t type) {
    std::vector<std::uint8_t> out{'E', 'x', 'i', 'f', 0, 0};
    const auto u16 = [&](std::uint32_t v) { bigEndian ? PutU16BE(out, v) : PutU16LE(out, v); };
    const auto u32 = [&](std::uint32_t v) { bigEndian ? PutU32BE(out, v) : PutU32LE(out, v); };
    out.push_back(bigEndian ? 'M' : 'I');
    out.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(2); // two entries: a resolution unit first, then the orientation
    u16(0x0128), u16(3), u32(1), u16(2), u16(0);
    u16(0x0112), u16(type), u32(1);
    if (type == 3)
        u16(orientation), u16(0);
    else
        u32(orientation);
    u32(0);
    return out;
}

std::vector<std::uint8_t> EncodePng(const TBitmap& picture) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<std::uint8_t> out;
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
            auto* target = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            target->insert(target->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width()),
                 static_cast<png_uint_32>(picture.Height()), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_bgr(png);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(picture.Row(y).data()));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<std::uint8_t> MakePngHeaderOnly(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
                                            std::uint8_t colorType) {
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&out](const char* type, const std::vector<std::uint8_t>& data) {
        PutU32BE(out, static_cast<std::uint32_t>(data.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        PutU32BE(out, static_cast<std::uint32_t>(
                          crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
    };
    std::vector<std::uint8_t> ihdr;
    PutU32BE(ihdr, width);
    PutU32BE(ihdr, height);
    ihdr.insert(ihdr.end(), {bitDepth, colorType, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    chunk("IEND", {});
    return out;
}

std::vector<std::uint8_t> EncodeGif(std::int32_t screenWidth, std::int32_t screenHeight,
                                    const std::vector<TColor>& palette, int transparentIndex,
                                    const TGifFrame& frame) {
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int size) {
            auto* target = static_cast<std::vector<std::uint8_t>*>(g->UserData);
            target->insert(target->end(), data, data + size);
            return size;
        },
        &error);
    std::vector<GifColorType> colours(256);
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i)
        colours[i] = {RedOf(palette[i]), GreenOf(palette[i]), BlueOf(palette[i])};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, map);
    if (transparentIndex >= 0) {
        const GifByteType control[4] = {0x01, 0, 0, static_cast<GifByteType>(transparentIndex)};
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    }
    EGifPutImageDesc(gif, frame.Left, frame.Top, frame.Width, frame.Height, frame.Interlaced, nullptr);
    // An interlaced frame is stored in pass order; giflib writes lines as given.
    std::vector<std::int32_t> order;
    if (frame.Interlaced) {
        for (const auto& [start, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}})
            for (std::int32_t y = start; y < frame.Height; y += step)
                order.push_back(y);
    } else {
        for (std::int32_t y = 0; y < frame.Height; ++y)
            order.push_back(y);
    }
    for (std::int32_t y : order) {
        std::vector<GifPixelType> line(frame.Indices.begin() + y * frame.Width,
                                       frame.Indices.begin() + (y + 1) * frame.Width);
        EGifPutLine(gif, line.data(), frame.Width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

std::vector<std::uint8_t> EncodeTiff(const TBitmap& picture, TTiffAlpha alpha, bool bigEndian, bool grey) {
    TTempDir dir;
    const auto path = dir / "picture.tif";
    TIFF* tiff = TIFFOpen(path.c_str(), bigEndian ? "wb" : "wl");
    const std::uint16_t colours = grey ? 1 : 3;
    const std::uint16_t samples = alpha == TTiffAlpha::None ? colours : colours + 1;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.Width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.Height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
    if (alpha != TTiffAlpha::None) {
        const std::uint16_t kind =
            alpha == TTiffAlpha::Associated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.Width()) * samples);
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        std::size_t i = 0;
        for (TColor c : picture.Row(y)) {
            const std::uint32_t a = AlphaOf(c);
            const auto stored = [&](std::uint8_t v) {
                return alpha == TTiffAlpha::Associated ? static_cast<std::uint8_t>((v * a + 127) / 255) : v;
            };
            if (!grey)
                row[i++] = stored(RedOf(c));
            row[i++] = stored(GreenOf(c));
            if (!grey)
                row[i++] = stored(BlueOf(c));
            if (samples > colours)
                row[i++] = static_cast<std::uint8_t>(a);
        }
        TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0);
    }
    TIFFClose(tiff);
    return ReadFileBytes(path);
}

std::vector<std::uint8_t> WithPngInterlaced(std::vector<std::uint8_t> png) {
    png[28] = 1; // IHDR data from byte 16: width, height, depth, colour type, compression, filter, interlace
    const auto crc = static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17));
    for (std::size_t i = 0; i < 4; ++i)
        png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return png;
}

std::vector<std::uint8_t> EncodeTiffLayout(const TBitmap& picture, std::uint16_t orientation,
                                           std::uint32_t rowsPerStrip, std::uint32_t tileSide) {
    TTempDir dir;
    const auto path = dir / "layout.tif";
    TIFF* tiff = TIFFOpen(path.c_str(), "wl");
    const auto width = static_cast<std::uint32_t>(picture.Width());
    const auto height = static_cast<std::uint32_t>(picture.Height());
    const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    // Stored row r is picture row r, or height - 1 - r for the orientations that start at the bottom.
    const bool bottomUp = orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT;
    const bool rightToLeft = orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
    const auto sample = [&](std::uint32_t x, std::uint32_t r, int channel) -> std::uint8_t {
        const TColor c = picture.Pixel(static_cast<std::int32_t>(rightToLeft ? width - 1 - x : x),
                                       static_cast<std::int32_t>(bottomUp ? height - 1 - r : r));
        const int shift[4] = {16, 8, 0, 24};
        return static_cast<std::uint8_t>(c >> shift[channel]);
    };
    if (tileSide > 0) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tileSide);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, tileSide);
        std::vector<std::uint8_t> tile(std::size_t{tileSide} * tileSide * 4, 0);
        for (std::uint32_t ty = 0; ty < height; ty += tileSide)
            for (std::uint32_t tx = 0; tx < width; tx += tileSide) {
                std::fill(tile.begin(), tile.end(), std::uint8_t{0});
                for (std::uint32_t j = 0; j < tileSide && ty + j < height; ++j)
                    for (std::uint32_t i = 0; i < tileSide && tx + i < width; ++i)
                        for (int c = 0; c < 4; ++c)
                            tile[(std::size_t{j} * tileSide + i) * 4 + c] = sample(tx + i, ty + j, c);
                TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0);
            }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        std::vector<std::uint8_t> row(std::size_t{width} * 4);
        for (std::uint32_t r = 0; r < height; ++r) {
            for (std::uint32_t x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c)
                    row[std::size_t{x} * 4 + c] = sample(x, r, c);
            TIFFWriteScanline(tiff, row.data(), r, 0);
        }
    }
    TIFFClose(tiff);
    return ReadFileBytes(path);
}

std::vector<std::uint8_t> MakeTiffHeaderOnly(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> out{'I', 'I', 42, 0};
    PutU32LE(out, 8);
    const std::vector<std::array<std::uint32_t, 3>> entries = {
        {256, 4, width}, {257, 4, height}, {258, 3, 8},      {259, 3, 1},  {262, 3, 1},
        {273, 4, 122},   {277, 3, 1},      {278, 4, height}, {279, 4, 16},
    };
    PutU16LE(out, static_cast<std::uint32_t>(entries.size()));
    for (const auto& [tag, type, value] : entries) {
        PutU16LE(out, tag);
        PutU16LE(out, type);
        PutU32LE(out, 1);
        if (type == 3) {
            PutU16LE(out, value);
            PutU16LE(out, 0);
        } else {
            PutU32LE(out, value);
        }
    }
    PutU32LE(out, 0);
    out.resize(122 + 16, 0x80);
    return out;
}

std::vector<std::uint8_t> EncodeJpeg2000(std::int32_t width, std::int32_t height,
                                         const std::vector<TJ2kComponent>& components, bool asJp2) {
    std::vector<opj_image_cmptparm_t> parameters(components.size());
    for (std::size_t i = 0; i < components.size(); ++i) {
        opj_image_cmptparm_t& p = parameters[i];
        std::memset(&p, 0, sizeof p);
        p.dx = components[i].Dx;
        p.dy = components[i].Dy;
        p.w = (static_cast<std::uint32_t>(width) + p.dx - 1) / p.dx;
        p.h = (static_cast<std::uint32_t>(height) + p.dy - 1) / p.dy;
        p.prec = components[i].Precision;
        p.sgnd = components[i].Signed ? 1 : 0;
    }
    const OPJ_COLOR_SPACE space = components.size() >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY;
    opj_image_t* image =
        opj_image_create(static_cast<OPJ_UINT32>(components.size()), parameters.data(), space);
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    for (std::size_t i = 0; i < components.size(); ++i) {
        std::copy(components[i].Samples.begin(), components[i].Samples.end(), image->comps[i].data);
        image->comps[i].alpha =
            (components.size() == 2 || components.size() == 4) && i + 1 == components.size();
    }
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = 0;
    settings.cp_disto_alloc = 1;
    settings.numresolution = 2;
    settings.tcp_mct = 0;
    opj_codec_t* codec = opj_create_compress(asJp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_setup_encoder(codec, &settings, image);
    TTempDir dir;
    const auto path = dir / (asJp2 ? "picture.jp2" : "picture.j2k");
    opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
    const bool ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok)
        throw std::runtime_error("OpenJPEG could not encode the test picture");
    return ReadFileBytes(path);
}

bool HavePillow() {
    static const bool available = RunCommand("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
    return available;
}

namespace {

std::optional<TBitmap> ReadRawPicture(const std::filesystem::path& raw) {
    std::error_code error;
    if (!std::filesystem::exists(raw, error))
        return std::nullopt;
    const std::vector<std::uint8_t> bytes = ReadFileBytes(raw);
    const auto newline = std::find(bytes.begin(), bytes.end(), '\n');
    int width = 0, height = 0;
    if (newline == bytes.end() ||
        std::sscanf(std::string(bytes.begin(), newline).c_str(), "%d %d", &width, &height) != 2)
        return std::nullopt;
    TBitmap picture(width, height);
    const std::size_t start = static_cast<std::size_t>(newline - bytes.begin()) + 1;
    if (!picture.IsValid() || bytes.size() - start != picture.Pixels().size() * 4)
        return std::nullopt;
    for (std::size_t i = 0; i < picture.Pixels().size(); ++i) {
        const std::uint8_t* p = bytes.data() + start + i * 4;
        picture.Pixels()[i] = MakeColor(p[3], p[0], p[1], p[2]);
    }
    return picture;
}

} // namespace

std::vector<std::optional<TBitmap>> DecodeWithPillow(const std::vector<std::filesystem::path>& files) {
    std::vector<std::optional<TBitmap>> pictures(files.size());
    if (!HavePillow() || files.empty())
        return pictures;
    TTempDir dir;
    // Reads "input<TAB>output" lines; a file Pillow cannot read simply gets no output.
    const std::string script =
        "import sys\nfrom PIL import Image\nfor line in open(sys.argv[1]):\n"
        "    source, target = line.rstrip('\\n').split('\\t')\n"
        "    try:\n        im = Image.open(source)\n        im.seek(0)\n        im = im.convert('RGBA')\n"
        "    except Exception:\n        continue\n"
        "    open(target, 'wb').write(b'%d %d\\n' % im.size + im.tobytes())\n";
    WriteFileBytes(dir / "decode.py", std::vector<std::uint8_t>(script.begin(), script.end()));
    std::string list;
    for (std::size_t i = 0; i < files.size(); ++i)
        list += files[i].string() + "\t" + (dir / ("picture" + std::to_string(i) + ".raw")).string() + "\n";
    WriteFileBytes(dir / "files.txt", std::vector<std::uint8_t>(list.begin(), list.end()));
    if (RunCommand("/usr/bin/python3 '" + (dir / "decode.py").string() + "' '" +
                   (dir / "files.txt").string() + "' >/dev/null 2>&1") != 0)
        return pictures;
    for (std::size_t i = 0; i < files.size(); ++i)
        pictures[i] = ReadRawPicture(dir / ("picture" + std::to_string(i) + ".raw"));
    return pictures;
}

std::optional<TBitmap> DecodeWithPillow(const std::filesystem::path& file) {
    return DecodeWithPillow(std::vector<std::filesystem::path>{file}).front();
}

std::string ShellQuote(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (const char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::optional<TBitmap> PictureFromTool(const std::string& command, const std::filesystem::path& png) {
    std::string output;
    if (RunCommand(command + " 2>&1", &output) != 0) {
        ADD_FAILURE() << command << ": " << output;
        return std::nullopt;
    }
    TBitmap picture;
    const std::vector<std::uint8_t> bytes = ReadFileBytes(png);
    if (!DecodePng(bytes, picture))
        return std::nullopt;
    return picture;
}

int MaxChannelDifference(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 256;
    int worst = 0;
    for (std::size_t i = 0; i < a.Pixels().size(); ++i) {
        const TColor p = a.Pixels()[i], q = b.Pixels()[i];
        for (const int shift : {0, 8, 16, 24})
            worst = std::max(worst, std::abs(static_cast<int>((p >> shift) & 0xFF) -
                                             static_cast<int>((q >> shift) & 0xFF)));
    }
    return worst;
}

std::vector<std::uint8_t> Gzip(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(data.size())) + 64);
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::vector<std::uint8_t> TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

namespace {
constexpr const char* kSvgOpen = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                                 "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"8\" height=\"8\">";
} // namespace

std::string BillionLaughsSvg() {
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i < 10; ++i) {
        text += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            text += i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
        text += "\">\n";
    }
    return text + "]>\n" + kSvgOpen + "<text>&lol9;</text></svg>";
}

std::string NestedGroupsSvg(int depth) {
    std::string text = kSvgOpen;
    for (int i = 0; i < depth; ++i)
        text += "<g>";
    text += "<rect width=\"8\" height=\"8\"/>";
    for (int i = 0; i < depth; ++i)
        text += "</g>";
    return text + "</svg>";
}

std::string UseBombSvg(int levels) {
    std::string text = std::string(kSvgOpen) + "<defs><rect id=\"a0\" width=\"1\" height=\"1\"/>";
    for (int i = 1; i <= levels; ++i) {
        text += "<g id=\"a" + std::to_string(i) + "\">";
        for (int j = 0; j < 10; ++j)
            text += "<use xlink:href=\"#a" + std::to_string(i - 1) + "\"/>";
        text += "</g>";
    }
    return text + "</defs><use xlink:href=\"#a" + std::to_string(levels) + "\"/></svg>";
}

} // namespace gw::test
