#!/usr/bin/env python3
"""Times `glyphwright-cli convert --type mac` against Pillow's .icns writer (PNG elements only) on the
same generated photo-like JPEG, and runs bench_icns for where the time of a save goes. The rounds
alternate between the tools so that a change in machine load hits both alike. Reports the medians of
whole-process wall time, CPU time (user + system) and peak memory from /usr/bin/time -v, the size of
the 1024-pixel PNG's image data against one zlib stream of the same rows (what libpng alone would
write) with what one stream of them costs at levels 7 to 4, and the targets: our wall time at most
0.2 of Pillow's, our peak memory at most 64 MiB, the PNG's image data at most 1 % larger.

    bench/compare_icns.py [--cli build/cli/glyphwright-cli] [--bench build/bench/bench_icns]
                          [--rounds 5] [--size 6028x3391]

Needs /usr/bin/time, ImageMagick's `convert` (to generate the photo) and Pillow for /usr/bin/python3
(Debian packages time, imagemagick and python3-pil).
"""

import argparse
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_tools import generate_photo, measure  # noqa: E402

PILLOW_SCRIPT = r"""
import sys
from PIL import Image
Image.open(sys.argv[1]).save(sys.argv[2], format="ICNS")
"""

WALL_RATIO_TARGET = 0.2
PNG_GROWTH_TARGET = 0.01
PEAK_MEMORY_TARGET_MIB = 64


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--cli", default=os.path.join(root, "build", "cli", "glyphwright-cli"))
    parser.add_argument("--bench", default=os.path.join(root, "build", "bench", "bench_icns"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size", default="6028x3391", help="size of the generated photo")
    parser.add_argument("--photo", help="use this JPEG instead of generating one")
    return parser.parse_args()


def icns_elements(path):
    with open(path, "rb") as f:
        data = f.read()
    elements, at = {}, 8
    while at + 8 <= len(data):
        kind, length = data[at:at + 4].decode("latin-1"), struct.unpack(">I", data[at + 4:at + 8])[0]
        elements[kind] = data[at + 8:at + length]
        at += max(length, 8)
    return elements


def one_piece(rows, level):
    """Size and CPU seconds of one zlib stream of rows (the filtered strategy, as libpng uses)."""
    start = time.process_time()
    compressor = zlib.compressobj(level, zlib.DEFLATED, 15, 8, zlib.Z_FILTERED)
    size = len(compressor.compress(rows) + compressor.flush())
    return size, time.process_time() - start


def png_growth(icns):
    """The 1024 PNG's image data and its filtered rows, or None."""
    png = icns_elements(icns).get("ic10")
    if png is None:
        return None
    stream, at = b"", 8
    while at + 12 <= len(png):
        length, kind = struct.unpack(">I", png[at:at + 4])[0], png[at + 4:at + 8]
        if kind == b"IDAT":
            stream += png[at + 8:at + 8 + length]
        at += 12 + length
    return len(stream), zlib.decompress(stream)


def breakdown(bench):
    """CPU milliseconds of the steps of a save, from bench_icns."""
    if not os.access(bench, os.X_OK):
        return {}
    out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true"], check=True, capture_output=True,
                         text=True).stdout
    scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}
    return {b["run_name"]: (b["real_time"] * scale[b["time_unit"]], b["cpu_time"] * scale[b["time_unit"]])
            for b in json.loads(out)["benchmarks"] if b.get("aggregate_name") == "median"}


def main():
    args = parse_args()
    if not os.path.exists("/usr/bin/time"):
        sys.exit("needs /usr/bin/time (Debian package time)")
    if not os.access(args.cli, os.X_OK):
        sys.exit(f"{args.cli} is not built")
    work = tempfile.mkdtemp(prefix="gw-icns-")
    try:
        photo = args.photo or os.path.join(work, "photo.jpg")
        if not args.photo:
            generate_photo(photo, args.size)
        out = os.path.join(work, "out")
        tools = {"glyphwright": [args.cli, "convert", "--quiet", "--type", "mac", "--output-dir", out, photo],
                 "pillow": ["/usr/bin/python3", "-c", PILLOW_SCRIPT, photo, os.path.join(out, "pil.icns")]}
        results = {name: [] for name in tools}
        for _ in range(args.rounds):
            for name, command in tools.items():
                results[name].append(measure(command, out)[:3])

        shown = photo if args.photo else args.size
        print(f"photo: {shown} ({os.path.getsize(photo) / 2**20:.1f} MiB), {args.rounds} rounds, medians")
        print(f"{'tool':12} {'wall s':>8} {'cpu s':>8} {'peak MiB':>9}")
        medians = {name: [statistics.median(r[i] for r in runs) for i in range(3)] for name, runs in results.items()}
        for name, (wall, cpu, peak) in medians.items():
            print(f"{name:12} {wall:8.3f} {cpu:8.3f} {peak:9.1f}")
        ours, pillow = medians["glyphwright"], medians["pillow"]
        ratio = ours[0] / pillow[0]
        print(f"\nwall glyphwright / pillow {ratio:.3f}, target <= {WALL_RATIO_TARGET}: "
              f"{'met' if ratio <= WALL_RATIO_TARGET else 'MISSED'}")
        print(f"peak memory {ours[2]:.1f} MiB, target <= {PEAK_MEMORY_TARGET_MIB}: "
              f"{'met' if ours[2] <= PEAK_MEMORY_TARGET_MIB else 'MISSED'}")

        measure(tools["glyphwright"], out)  # the rounds end with Pillow's file: ours once more
        icons = [f for f in os.listdir(out) if f.endswith(".icns")]
        growth = png_growth(os.path.join(out, icons[0])) if icons else None
        if growth:
            size, rows = growth
            reference = one_piece(rows, 7)[0]
            ratio = size / reference - 1
            print(f"1024 PNG image data {size} bytes, one zlib stream {reference}: {ratio * 100:+.2f} %, "
                  f"target <= {PNG_GROWTH_TARGET * 100:.0f} %: {'met' if ratio <= PNG_GROWTH_TARGET else 'MISSED'}")
            # What deflate costs at other levels on the same rows (one thread, Python's zlib).
            print("one zlib stream of the rows by level: " + ", ".join(
                f"{level}: {s} bytes ({s / reference - 1:+.2%}) {t:.3f} s"
                for level, (s, t) in ((level, one_piece(rows, level)) for level in (7, 6, 5, 4))))

        steps = breakdown(args.bench)
        if steps:
            print("\nwhere a save goes (bench_icns medians, ms real / cpu of the calling thread):")
            for name, (real, cpu) in steps.items():
                print(f"  {name:34} {real:9.2f} {cpu:9.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
