#!/usr/bin/env python3
"""Times `glyphwright-cli convert` against the tools people use today to make a Windows icon from a
photo: ImageMagick (plain, and with the JPEG decoder size hint) and Pillow (plain, and with draft mode,
its JPEG size hint). Every tool converts the same generated JPEG; the rounds alternate between the
tools so that a change in machine load hits all of them alike. Reports the medians of whole-process
wall time, CPU time (user + system) and peak memory from /usr/bin/time -v, and the ratios the
project aims for.

    bench/compare_tools.py [--cli build/cli/glyphwright-cli] [--rounds 7] [--size 6000x3400]

Needs /usr/bin/time, ImageMagick's `convert` and Pillow for /usr/bin/python3 (Debian packages time,
imagemagick and python3-pil); a tool that is missing is left out of the table.
"""

import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile

PILLOW_SCRIPT = r"""
import sys
from PIL import Image
source, target, draft = sys.argv[1], sys.argv[2], sys.argv[3] == "draft"
im = Image.open(source)
if draft:
    im.draft("RGB", (1024, 1024))
im.save(target, format="ICO", bitmap_format="bmp")
"""

# Targets: our median wall time as a fraction of the other tool's, and our peak memory.
TARGETS = {"imagemagick": 0.15, "imagemagick-hint": 0.6}
PEAK_MEMORY_TARGET_MIB = 48


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--cli", default=os.path.join(root, "build", "cli", "glyphwright-cli"))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--size", default="6000x3400", help="size of the generated photo")
    parser.add_argument("--photo", help="use this JPEG instead of generating one")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    return parser.parse_args()


def generate_photo(path, size):
    """A photo-like JPEG: fractal plasma (smooth areas and edges) enlarged, with sensor-like noise."""
    width, height = (int(v) for v in size.split("x"))
    small = f"{max(1, width // 8)}x{max(1, height // 8)}"
    subprocess.run(["convert", "-seed", "7", "-size", small, "plasma:fractal", "-resize", f"{width}x{height}!",
                    "-attenuate", "0.25", "+noise", "Gaussian", "-quality", "90", path], check=True)


def tools(cli, photo, out):
    found = {}
    if os.access(cli, os.X_OK):
        found["glyphwright"] = [cli, "convert", "--quiet", "--output-dir", out, photo]
    if shutil.which("convert") and "ImageMagick" in subprocess.run(["convert", "-version"], capture_output=True,
                                                                    text=True).stdout:
        resize = ["-define", "icon:auto-resize=256,64,48,32,16"]
        found["imagemagick"] = ["convert", photo] + resize + [os.path.join(out, "im.ico")]
        found["imagemagick-hint"] = ["convert", "-define", "jpeg:size=1024x1024", photo] + resize + [
            os.path.join(out, "im.ico")]
    if subprocess.run(["/usr/bin/python3", "-c", "import PIL"], capture_output=True).returncode == 0:
        for mode in ("plain", "draft"):
            found["pillow" + ("-draft" if mode == "draft" else "")] = [
                "/usr/bin/python3", "-c", PILLOW_SCRIPT, photo, os.path.join(out, "pil.ico"), mode]
    return found


def measure(command, out):
    """One run under /usr/bin/time -v in an empty output folder: wall s, cpu s, peak MiB, entries."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    result = subprocess.run(["/usr/bin/time", "-v"] + command, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({result.returncode}): {result.stderr[-2000:]}")
    report = result.stderr

    def field(name):
        return re.search(re.escape(name) + r":\s*(.+)", report).group(1).strip()

    parts = [float(p) for p in field("Elapsed (wall clock) time (h:mm:ss or m:ss)").split(":")]
    wall = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
    cpu = float(field("User time (seconds)")) + float(field("System time (seconds)"))
    peak = int(field("Maximum resident set size (kbytes)")) / 1024
    icons = [f for f in os.listdir(out) if f.endswith(".ico")]
    entries = icon_entries(os.path.join(out, icons[0])) if icons else 0
    return wall, cpu, peak, entries


def icon_entries(path):
    with open(path, "rb") as f:
        reserved, kind, count = struct.unpack("<HHH", f.read(6))
    return count if reserved == 0 and kind == 1 else 0


def main():
    args = parse_args()
    if not os.path.exists("/usr/bin/time"):
        sys.exit("needs /usr/bin/time (Debian package time)")
    work = tempfile.mkdtemp(prefix="gw-compare-")
    try:
        photo = args.photo or os.path.join(work, "photo.jpg")
        if not args.photo:
            generate_photo(photo, args.size)
        out = os.path.join(work, "out")
        found = tools(args.cli, photo, out)
        if "glyphwright" not in found:
            sys.exit(f"{args.cli} is not built")
        results = {name: [] for name in found}
        for _ in range(args.rounds):
            for name, command in found.items():
                results[name].append(measure(command, out))

        print(f"photo: {photo} ({os.path.getsize(photo) / 2**20:.1f} MiB), {args.rounds} rounds, medians")
        print(f"{'tool':18} {'wall s':>8} {'cpu s':>8} {'peak MiB':>9} {'entries':>8}")
        medians = {}
        for name, runs in results.items():
            wall, cpu, peak = (statistics.median(r[i] for r in runs) for i in range(3))
            medians[name] = (wall, cpu, peak)
            print(f"{name:18} {wall:8.3f} {cpu:8.3f} {peak:9.1f} {runs[0][3]:8d}")

        ours = medians["glyphwright"]
        print("\nglyphwright / other (wall, cpu):")
        for name, (wall, cpu, _) in medians.items():
            if name == "glyphwright":
                continue
            target = TARGETS.get(name, 1.0 if name.startswith("pillow") else None)
            verdict = ""
            if target is not None:
                verdict = f"  target <= {target:g}: {'met' if ours[0] / wall <= target else 'MISSED'}"
            print(f"  {name:18} {ours[0] / wall:6.3f} {ours[1] / cpu:6.3f}{verdict}")
        peak_ok = ours[2] <= PEAK_MEMORY_TARGET_MIB
        print(f"  peak memory {ours[2]:.1f} MiB, target <= {PEAK_MEMORY_TARGET_MIB}: {'met' if peak_ok else 'MISSED'}")
    finally:
        if args.keep:
            print(f"work folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
