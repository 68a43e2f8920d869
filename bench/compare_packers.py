#!/usr/bin/env python3
"""Times `glyphwright-cli convert` against making the same icons with the icon packers of icoutils
(`icotool -c`) and libicns (`png2icns`). The packers take ready-sized PNG files, so their workflow
includes resizing the photo to each size with ImageMagick first, as a user of them would. The rounds
alternate between the workflows so that a change in machine load hits all of them alike. Reports the
medians of whole-workflow wall time, CPU time and peak memory (/usr/bin/time -v), and what each icon
holds (images and bit depths, read back with glyphwright-cli info --json).

    bench/compare_packers.py [--cli build/cli/glyphwright-cli] [--rounds 5] [--size 6000x3400]

Needs /usr/bin/time, ImageMagick's `convert`, and icoutils and icnsutils (Debian packages time,
imagemagick, icoutils, icnsutils); a workflow whose tool is missing is left out.
"""

import argparse
import collections
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_tools import generate_photo, measure  # noqa: E402

ICO_SIZES = [16, 32, 48, 64, 256]
ICNS_SIZES = [16, 32, 48, 128, 256, 512, 1024]


def resize_then(photo, out, sizes, pack):
    """A shell workflow: one ImageMagick resize per size (from the JPEG, with its size hint), then pack."""
    steps = [f"convert -define jpeg:size=2048x2048 '{photo}' -resize {s}x{s} -alpha set -background none -gravity center "
             f"-extent {s}x{s} '{out}/{s}.png'" for s in sizes]
    pngs = " ".join(f"'{out}/{s}.png'" for s in sizes)
    return ["bash", "-c", " && ".join(steps + [pack.format(pngs=pngs, out=out)])]


def workflows(cli, photo, out):
    found = {"glyphwright ico": [cli, "convert", "--quiet", "--output-dir", out, photo],
             "glyphwright icns": [cli, "convert", "--quiet", "--type", "mac", "--output-dir", out, photo]}
    if shutil.which("convert") and shutil.which("icotool"):
        found["magick + icotool"] = resize_then(photo, out, ICO_SIZES, "icotool -c -o '{out}/packed.ico' {pngs}")
    if shutil.which("convert") and shutil.which("png2icns"):
        found["magick + png2icns"] = resize_then(photo, out, ICNS_SIZES,
                                                 "png2icns '{out}/packed.icns' {pngs} >/dev/null")
    return found


def contents(cli, out):
    """What the icon of the last run holds: "N images: 32-bit x a, 8-bit x b ..."."""
    icons = [os.path.join(out, f) for f in os.listdir(out) if f.endswith((".ico", ".icns"))]
    info = json.loads(subprocess.run([cli, "info", "--json"] + icons, capture_output=True, text=True).stdout)
    depths = collections.Counter(image["bitCount"] for image in info[0]["images"])
    sizes = sorted({image["width"] for image in info[0]["images"]})
    return (f"{sum(depths.values())} images, {sizes[0]}-{sizes[-1]} px, "
            + ", ".join(f"{b}-bit x{n}" for b, n in sorted(depths.items(), reverse=True)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--cli", default=os.path.join(root, "build", "cli", "glyphwright-cli"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size", default="6000x3400", help="size of the generated photo")
    args = parser.parse_args()
    if not os.path.exists("/usr/bin/time") or not shutil.which("convert"):
        sys.exit("needs /usr/bin/time and ImageMagick (Debian packages time, imagemagick)")
    work = tempfile.mkdtemp(prefix="gw-packers-")
    try:
        photo = os.path.join(work, "photo.jpg")
        generate_photo(photo, args.size)
        out = os.path.join(work, "out")
        found = workflows(args.cli, photo, out)
        results = {name: [] for name in found}
        holds = {}
        for _ in range(args.rounds):
            for name, command in found.items():
                results[name].append(measure(command, out))
                holds[name] = contents(args.cli, out)
        print(f"photo: {args.size} JPEG ({os.path.getsize(photo) / 2**20:.1f} MiB), {args.rounds} rounds, medians")
        print(f"{'workflow':20} {'wall s':>7} {'cpu s':>7} {'peak MiB':>9}  icon holds")
        for name, runs in results.items():
            wall, cpu, peak = (statistics.median(r[i] for r in runs) for i in range(3))
            print(f"{name:20} {wall:7.3f} {cpu:7.3f} {peak:9.1f}  {holds[name]}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
