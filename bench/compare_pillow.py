#!/usr/bin/env python3
"""Times our high-quality drawing against Pillow's bilinear resize on the same sizes.

Usage: compare_pillow.py [path/to/bench_drawing]
Runs the Google Benchmark program (CPU time per drawing), then Pillow's Image.resize(..., BILINEAR)
on RGBA pictures of the same sizes (Pillow premultiplies RGBA for it too), and prints both and the
ratio Pillow / ours: above 1 means our drawing is faster. Needs a Python with Pillow (Debian's
python3-pil lives in /usr/bin/python3).
"""

import json
import os
import subprocess
import sys
import time

from PIL import Image

# (benchmark name, source width, height, target width, height, with alpha)
CASES = [
    ("BM_Photo3000x2000To1024x683", 3000, 2000, 1024, 683, False),
    ("BM_Canvas1024To256", 1024, 1024, 256, 256, True),
    ("BM_Canvas1024To48", 1024, 1024, 48, 48, True),
    ("BM_Canvas1024To16", 1024, 1024, 16, 16, True),
]


def ours(binary):
    names = "|".join(case[0] for case in CASES)
    out = subprocess.run(
        [binary, "--benchmark_format=json", "--benchmark_filter=^(" + names + ")$",
         "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    result = {}
    for bench in json.loads(out)["benchmarks"]:
        if bench.get("aggregate_name") == "median":
            scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}[bench["time_unit"]]
            result[bench["run_name"]] = bench["cpu_time"] * scale
    return result


def picture(width, height, alpha):
    im = Image.effect_noise((width, height), 64).convert("RGB").convert("RGBA")
    if alpha:
        im.putalpha(Image.linear_gradient("L").resize((width, height)))
    return im


def pillow_ms(im, size):
    best = float("inf")
    for _ in range(3):
        count = 0
        start = time.process_time()
        while time.process_time() - start < 0.5:
            im.resize(size, Image.BILINEAR)
            count += 1
        best = min(best, (time.process_time() - start) / count)
    return best * 1000


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "bench", "bench_drawing")
    mine = ours(binary)
    print(f"{'case':32} {'ours ms':>9} {'Pillow ms':>10} {'Pillow/ours':>12}")
    slower = False
    for name, sw, sh, dw, dh, alpha in CASES:
        theirs = pillow_ms(picture(sw, sh, alpha), (dw, dh))
        ratio = theirs / mine[name]
        slower |= ratio < 1
        print(f"{name:32} {mine[name]:9.2f} {theirs:10.2f} {ratio:12.2f}")
    return 1 if slower else 0


if __name__ == "__main__":
    sys.exit(main())
