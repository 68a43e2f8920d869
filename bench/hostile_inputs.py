#!/usr/bin/env python3
"""Writes pictures and icon files whose headers declare enormous sizes, for bench/peak_memory.sh.

Each file is small on disk (well under 10 MB) but claims far more than the converter accepts, or as
much as it accepts at most. Usage: hostile_inputs.py FOLDER
"""
import struct
import sys
import zlib
from pathlib import Path


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, bit_depth, colour_type, row_bytes, rows, interlace=0):
    """A PNG whose image data is `rows` all-zero rows (filter byte included) of row_bytes each."""
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, interlace)
    packer = zlib.compressobj(9)
    block_rows = max(1, (8 << 20) // (row_bytes + 1))
    block = bytes((row_bytes + 1) * block_rows)
    idat = bytearray()
    left = rows
    while left > 0:
        n = min(left, block_rows)
        idat += packer.compress(block[: (row_bytes + 1) * n])
        left -= n
    idat += packer.flush()
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", bytes(idat)) + png_chunk(b"IEND", b"")


def bmp(width, height, bits, image_bytes, payload, compression=0):
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, image_bytes, 2835, 2835, 0, 0)
    offset = 14 + len(header)
    return b"BM" + struct.pack("<IHHI", offset + image_bytes, 0, 0, offset) + header + payload


def tiff(width, height, samples, compression, strip_bytes, strip_data):
    """A little-endian baseline TIFF with one strip holding the whole picture."""
    entries = [
        (256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, 8), (259, 3, 1, compression),
        (262, 3, 1, 2 if samples >= 3 else 1), (273, 4, 1, 0),  # strip offset patched below
        (277, 3, 1, samples), (278, 4, 1, height), (279, 4, 1, strip_bytes), (284, 3, 1, 1),
    ]
    if samples == 4:
        entries.append((338, 3, 1, 2))  # extra sample: unassociated alpha
    entries.sort()
    ifd_size = 2 + 12 * len(entries) + 4
    data_offset = 8 + ifd_size
    out = bytearray(b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", len(entries)))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_offset
        packed = struct.pack("<H", value) + b"\0\0" if kind == 3 else struct.pack("<I", value)
        out += struct.pack("<HHI", tag, kind, count) + packed
    out += struct.pack("<I", 0)
    return bytes(out) + strip_data


def j2k(width, height, components, tile_width, tile_height, levels=5, block_exponent=4):
    """A JPEG 2000 codestream of one 8-bit layer, `levels` decomposition levels and one tile whose
    packets are all empty: it decodes to a flat grey picture at the full declared size, or at a
    reduced resolution when the converter drops levels."""
    siz = struct.pack(">HIIIIIIIIH", 0, width, height, 0, 0, tile_width, tile_height, 0, 0, components)
    siz += b"\x07\x01\x01" * components
    cod = struct.pack(">BBHBBBBBB", 0, 0, 1, 0, levels, block_exponent, block_exponent, 0, 0)
    subbands = 3 * levels + 1
    qcd = bytes([0x40]) + bytes([0x48] * subbands)  # no quantization, 3 guard bits, exponents of 8 bits
    out = b"\xff\x4f"
    for marker, body in ((0xFF51, siz), (0xFF52, cod), (0xFF5C, qcd)):
        out += struct.pack(">HH", marker, len(body) + 2) + body
    packets = bytes((levels + 1) * components)  # one empty packet per resolution and component
    sot = struct.pack(">HHHIBB", 0xFF90, 10, 0, 14 + len(packets), 0, 1)  # tile 0, its only tile-part
    return out + sot + b"\xff\x93" + packets + b"\xff\xd9"


def zero_blocks_jpeg(width, height):
    """A baseline grey JPEG whose 8 x 8 blocks are all zero: one-bit Huffman codes for a DC
    difference of 0 and for the end of block, two bits a block."""
    def segment(marker, body):
        return struct.pack(">HH", marker, len(body) + 2) + body
    out = b"\xff\xd8" + segment(0xFFDB, b"\x00" + b"\x01" * 64)
    out += segment(0xFFC0, struct.pack(">BHHBBBB", 8, height, width, 1, 1, 0x11, 0))
    for table_class in (0x00, 0x10):
        out += segment(0xFFC4, bytes([table_class, 1]) + bytes(15) + b"\x00")
    out += segment(0xFFDA, bytes([1, 1, 0x00, 0, 63, 0]))
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    data = bytes(blocks // 4) + (b"\x00" if blocks % 4 else b"")
    if blocks % 4:  # pad the last byte with 1 bits
        data = data[:-1] + bytes([(1 << (8 - 2 * (blocks % 4))) - 1])
    return out + data + b"\xff\xd9"


def zero_blocks_progressive_rgb_jpeg(side):
    """A progressive three-component JPEG whose blocks are all zero: one DC scan per component,
    one bit a block. libjpeg keeps all its coefficients while decoding, 6 bytes a pixel."""
    def segment(marker, body):
        return struct.pack(">HH", marker, len(body) + 2) + body
    out = b"\xff\xd8" + segment(0xFFDB, b"\x00" + b"\x01" * 64)
    out += segment(0xFFC2, struct.pack(">BHHB", 8, side, side, 3) + b"".join(bytes([c, 0x11, 0]) for c in (1, 2, 3)))
    for table_class in (0x00, 0x10):
        out += segment(0xFFC4, bytes([table_class, 1]) + bytes(15) + b"\x00")
    blocks = ((side + 7) // 8) ** 2
    data = bytes(blocks // 8) + (bytes([(1 << (8 - blocks % 8)) - 1]) if blocks % 8 else b"")
    for c in (1, 2, 3):
        out += segment(0xFFDA, bytes([1, c, 0x00, 0, 0, 0])) + data
    return out + b"\xff\xd9"


def many_scan_tile_jpeg(scans):
    """A progressive grey JPEG of 16 x 16 pixels (four zero blocks): first scans of the DC and of
    each AC coefficient at half precision, then refinement scans of the AC coefficients; one-bit
    codes, a byte of data per scan."""
    def segment(marker, body):
        return struct.pack(">HH", marker, len(body) + 2) + body
    out = b"\xff\xd8" + segment(0xFFDB, b"\x00" + b"\x01" * 64)
    out += segment(0xFFC2, struct.pack(">BHHBBBB", 8, 16, 16, 1, 1, 0x11, 0))
    for table_class in (0x00, 0x10):
        out += segment(0xFFC4, bytes([table_class, 1]) + bytes(15) + b"\x00")
    for n in range(scans):
        k, approximation = (n, 0x01) if n < 64 else (n - 63, 0x10)
        out += segment(0xFFDA, bytes([1, 1, 0x00, k, k, approximation])) + b"\x0f"  # four 0 bits, then 1s
    return out + b"\xff\xd9"


def shared_tiles_tiff(side, tile_data):
    """A grey TIFF in JPEG-compressed tiles of 16 x 16 that all point at the same data."""
    tiles = (side // 16) ** 2
    offsets = 8 + 2 + 12 * 10 + 4
    counts = offsets + 4 * tiles
    data = counts + 4 * tiles
    entries = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 1, 8), (259, 3, 1, 7), (262, 3, 1, 1),
               (277, 3, 1, 1), (322, 3, 1, 16), (323, 3, 1, 16), (324, 4, tiles, offsets), (325, 4, tiles, counts)]
    out = bytearray(b"II*\x00" + struct.pack("<IH", 8, len(entries)))
    for tag, kind, count, value in entries:
        packed = struct.pack("<H", value) + b"\0\0" if kind == 3 else struct.pack("<I", value)
        out += struct.pack("<HHI", tag, kind, count) + packed
    out += struct.pack("<I", 0)
    out += struct.pack("<%dI" % tiles, *([data] * tiles)) + struct.pack("<%dI" % tiles, *([len(tile_data)] * tiles))
    return bytes(out) + tile_data


def icns_with_huge_element():
    """An .icns file whose total length and one 'ic10' element each claim almost 4 GB."""
    element = b"ic10" + struct.pack(">I", 0xFFFFFFF0) + b"\x89PNG\r\n\x1a\n"
    return b"icns" + struct.pack(">I", 0xFFFFFFFF) + element


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    files = {
        # 60000 x 60000 1-bit grey: 450 MB of zero rows squeezed to about half a megabyte.
        "png-bomb-60000.png": png(60000, 60000, 1, 0, 7500, 60000),
        # 8192 x 8192 RGBA: 256 MiB at full size, reduced by 8 while its rows are read.
        "png-largest-8192.png": png(8192, 8192, 8, 6, 8192 * 4, 8192),
        # The largest PNG accepted: 16384 x 16384 (268 million pixels), reduced by 16 while its rows
        # are read; interlaced it would be decoded whole and is refused beyond 8192 x 8192.
        "png-largest-16384.png": png(16384, 16384, 1, 0, 2048, 16384),
        "png-interlaced-bomb-16384.png": png(16384, 16384, 1, 0, 2048, 1, interlace=1),
        # A 16384 x 16384 RLE8 BMP whose data ends the bitmap at once: every row handed on empty.
        "bmp-largest-16384-rle.bmp": bmp(16384, 16384, 8, 2, b"\x00\x01", compression=1),
        # A 16384 x 16384 32-bit BMP header (1 GiB of pixels) over 64 bytes of data.
        "bmp-1gb-claim.bmp": bmp(16384, 16384, 32, 1 << 30, bytes(64)),
        # The largest size accepted, but only 64 bytes of pixel data present.
        "bmp-largest-claim-8192.bmp": bmp(8192, 8192, 32, 1 << 28, bytes(64)),
        # One uncompressed strip of 8000 x 8000 RGB claiming 4 GB of strip data, 64 bytes present.
        "tiff-huge-strip-claim.tif": tiff(8000, 8000, 3, 1, 0xFFFFFFF0, bytes(64)),
        # One deflated strip of 8192 x 8192 RGBA: 256 MiB inflated from a few hundred kilobytes.
        "tiff-huge-strip-deflate.tif": tiff(8192, 8192, 4, 8, 0, b""),
        # One progressive JPEG strip of 8192 x 8192 RGB: libjpeg would hold 384 MiB of coefficients.
        "tiff-progressive-jpeg-strip-8192.tif": tiff(8192, 8192, 3, 7, len(zero_blocks_progressive_rgb_jpeg(8192)),
                                                      zero_blocks_progressive_rgb_jpeg(8192)),
        # 262,144 tiles of 16 x 16 pointing at one 99-scan JPEG (2 MB): 6 s of decoding without the
        # lowered scan limit.
        "tiff-262144-tiles-99-scans.tif": shared_tiles_tiff(8192, many_scan_tile_jpeg(99)),
        # 60000 x 60000 RGB in a single tile, and 6000 x 6000 RGB (within the picture limits) in one
        # tile: with five decomposition levels it is decoded at a reduced resolution, without any it
        # would need 412 MiB of 32-bit planes.
        "j2k-huge-tile-60000.j2k": j2k(60000, 60000, 3, 60000, 60000),
        "j2k-huge-tile-6000.j2k": j2k(6000, 6000, 3, 6000, 6000),
        "j2k-huge-tile-6000-no-levels.j2k": j2k(6000, 6000, 3, 6000, 6000, 0),
        "j2k-huge-tile-8192-rgba.j2k": j2k(8192, 8192, 4, 8192, 8192),
        # Code-blocks of 4 x 4 instead of 64 x 64 over one 8192 x 8192 tile: 22 million of them, whose
        # state OpenJPEG would allocate before decoding (6.6 GB).
        "j2k-4x4-code-blocks-8192.j2k": j2k(8192, 8192, 4, 8192, 8192, 5, 0),
        # A picture 18 rows high but over a million pixels wide in 18 x 18 tiles: 58260 tiles.
        "j2k-58260-tiles.j2k": j2k(1048668, 18, 3, 18, 18),
        # Near the largest single tile decoded at full resolution: 3200 x 3200 RGB, 117 MiB of 32-bit
        # planes.
        "j2k-largest-tile-3200.j2k": j2k(3200, 3200, 3, 3200, 3200, 0),
        "icns-4gb-element.icns": icns_with_huge_element(),
        # A 200-megapixel photo (16320 x 12240) is decoded at 1/8 scale; 18000 x 18000 is refused.
        "jpeg-200mp-flat.jpg": zero_blocks_jpeg(16320, 12240),
        "jpeg-324mp-flat.jpg": zero_blocks_jpeg(18000, 18000),
        # 144 megapixels in one JPEG 2000 tile, decoded at a reduced resolution.
        "j2k-huge-tile-12000.j2k": j2k(12000, 12000, 3, 12000, 12000),
    }
    packer = zlib.compressobj(9)
    row = bytes(8192 * 4)
    strip = b"".join(packer.compress(row) for _ in range(8192)) + packer.flush()
    files["tiff-huge-strip-deflate.tif"] = tiff(8192, 8192, 4, 8, len(strip), strip)
    # Near the largest single strip accepted: 8192 x 4000 RGBA, 125 MiB inflated.
    packer = zlib.compressobj(9)
    strip = b"".join(packer.compress(row) for _ in range(4000)) + packer.flush()
    files["tiff-largest-strip-deflate.tif"] = tiff(8192, 4000, 4, 8, len(strip), strip)
    for name, data in files.items():
        (folder / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
