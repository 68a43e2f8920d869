#!/usr/bin/python3
"""Large PNG, TIFF and BMP pictures to the default .ico with two builds of glyphwright-cli: the median
time and peak memory of alternating runs, and the quality of the 16, 32 and 48 pixel images as PSNR
against Pillow's LANCZOS reduction of the same canvas (the picture fitted into 1024 x 1024 and centred
as the converter places it, then reduced to each size).

Used to compare the whole-picture decoders with the decoders that reduce while they read.
    bench/compare_reduce_on_read.py OLD_CLI NEW_CLI [--runs N] [--work FOLDER]
Needs Pillow (python3-pil, in /usr/bin/python3). The pictures are generated once into the work folder
(default /tmp/gw-reduce-on-read) and kept there.
"""
import argparse
import math
import random
import statistics
import struct
import subprocess
import tempfile
import time
import zlib
from pathlib import Path

from PIL import IcoImagePlugin, Image, ImageDraw

CANVAS = 1024


def photo_like(width, height, seed=1, flat=False):
    """Smooth noise, a gradient and fine rings and strokes: detail at every scale, compressible. Flat:
    a second gradient instead of the noise (an illustration rather than a photo; compresses far better)."""
    random.seed(seed)
    if flat:
        red = Image.linear_gradient("L").rotate(90).resize((width, height))
    else:
        red = Image.effect_noise((max(1, width // 16), max(1, height // 16)), 64).resize((width, height),
                                                                                          Image.BICUBIC)
    green = Image.linear_gradient("L").resize((width, height))
    blue = Image.new("L", (width, height), 0)
    draw = ImageDraw.Draw(blue)
    cx, cy = width // 2, height // 2
    for i in range(0, max(width, height), 5):
        draw.ellipse((cx - i, cy - i, cx + i, cy + i), outline=255 if (i // 5) % 2 else 64, width=2)
    for _ in range(3000):
        x, y = random.randrange(width), random.randrange(height)
        draw.line((x, y, x + random.randrange(-300, 300), y + random.randrange(-300, 300)),
                  fill=random.randrange(256), width=random.randrange(1, 6))
    return Image.merge("RGB", (red, green, blue))


def pictures(work):
    work.mkdir(parents=True, exist_ok=True)
    wanted = {
        "png-64mp-8192x8192.png": lambda: photo_like(8192, 8192).save(work / "png-64mp-8192x8192.png", compress_level=6),
        "png-64mp-flat-8192x8192.png": lambda: photo_like(8192, 8192, 5, True).save(work / "png-64mp-flat-8192x8192.png", compress_level=6),
        "png-6mp-3000x2000.png": lambda: photo_like(3000, 2000, 6).save(work / "png-6mp-3000x2000.png", compress_level=6),
        "png-24mp-6000x4000.png": lambda: photo_like(6000, 4000, 2).save(work / "png-24mp-6000x4000.png", compress_level=6),
        "tiff-24mp-6000x4000.tif": lambda: photo_like(6000, 4000, 3).save(work / "tiff-24mp-6000x4000.tif", compression="tiff_adobe_deflate"),
        "bmp-24mp-6000x4000.bmp": lambda: photo_like(6000, 4000, 4).save(work / "bmp-24mp-6000x4000.bmp"),
    }
    for name, make in wanted.items():
        if not (work / name).exists():
            make()
    return [work / name for name in wanted]


def inflate_floor(picture):
    """Seconds zlib takes to inflate the image data of a PNG in one call: no PNG decoder can be faster
    with zlib (the best of three)."""
    data = picture.read_bytes()
    at, compressed = 8, bytearray()
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            compressed += data[at + 8:at + 8 + length]
        at += 12 + length
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        zlib.decompress(bytes(compressed))
        best = min(best, time.perf_counter() - start)
    return best


def run(cli, picture, out):
    for old in out.glob("*"):
        old.unlink()
    timing = out.parent / "time.txt"
    subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", str(timing), cli, "convert", "--quiet",
                    "--output-dir", str(out), str(picture)], check=True, stdout=subprocess.DEVNULL)
    seconds, kib = timing.read_text().split()[-2:]
    return float(seconds), int(kib), next(out.glob("*.ico"))


def fit_size(w, h, m):
    """The converter's fit: the longer side m, the other scaled and rounded half to even."""
    if w >= h:
        return m, max(1, round(h * m / w))
    return max(1, round(w * m / h)), m


def reference(picture, size):
    """Pillow's LANCZOS of the same canvas, reduced to size."""
    with Image.open(picture) as source:
        source = source.convert("RGBA")
        fw, fh = fit_size(source.width, source.height, CANVAS)
        side = max(fw, fh)
        canvas = Image.new("RGBA", (side, side), (0, 0, 0, 0))
        canvas.paste(source.resize((fw, fh), Image.LANCZOS), (round((side - fw) / 2), round((side - fh) / 2)))
    return canvas.resize((size, size), Image.LANCZOS)


def icon_image(ico, size):
    with open(ico, "rb") as f:
        return IcoImagePlugin.IcoFile(f).getimage((size, size), 32).convert("RGBA")


def psnr(a, b):
    """Over premultiplied R, G, B and alpha."""
    total, count = 0.0, 0
    for pa, pb in zip(a.getdata(), b.getdata()):
        for c in range(3):
            total += (pa[c] * pa[3] / 255 - pb[c] * pb[3] / 255) ** 2
        total += (pa[3] - pb[3]) ** 2
        count += 4
    mse = total / count
    return float("inf") if mse == 0 else 10 * math.log10(255 * 255 / mse)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old_cli")
    parser.add_argument("new_cli")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", default="/tmp/gw-reduce-on-read")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        out = Path(scratch) / "out"
        out.mkdir()
        for picture in pictures(Path(args.work)):
            times = {"old": [], "new": []}
            peaks = {"old": [], "new": []}
            icons = {}
            for _ in range(args.runs):  # alternating, so that the machine's load hits both alike
                for side, cli in (("old", args.old_cli), ("new", args.new_cli)):
                    seconds, kib, ico = run(cli, picture, out)
                    times[side].append(seconds)
                    peaks[side].append(kib)
                    keep = Path(scratch) / f"{side}.ico"
                    ico.replace(keep)
                    icons[side] = keep
            old_t, new_t = statistics.median(times["old"]), statistics.median(times["new"])
            old_m, new_m = max(peaks["old"]) / 1024, max(peaks["new"]) / 1024
            print(f"{picture.name} ({picture.stat().st_size / 2**20:.1f} MiB): old {old_t:.2f} s {old_m:.0f} MiB, "
                  f"new {new_t:.2f} s {new_m:.0f} MiB; time ratio {new_t / old_t:.2f}")
            if picture.suffix == ".png":
                floor = inflate_floor(picture)
                print(f"    zlib alone inflates its data in {floor:.2f} s ({floor / old_t:.2f} of old, "
                      f"{floor / new_t:.2f} of new)")
            for size in (16, 32, 48):
                ref = reference(picture, size)
                old_p, new_p = psnr(icon_image(icons["old"], size), ref), psnr(icon_image(icons["new"], size), ref)
                print(f"    {size:2d} px: PSNR old {old_p:.2f} dB, new {new_p:.2f} dB ({new_p - old_p:+.2f} dB)")


if __name__ == "__main__":
    main()
