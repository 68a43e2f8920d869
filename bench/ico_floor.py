#!/usr/bin/env python3
"""Times the default .ico of a 20-megapixel photo against its floor: ico_floor (the same libraries
decoding the JPEG at the needed DCT scale and encoding the one 256 x 256 PNG, nothing else) beside
`glyphwright-cli convert`. The two alternate round by round so that a change in machine load hits both
alike; prints the medians of whole-process wall and CPU time and the ratio of the medians, and the
target: at most 1.15 times the floor.

    bench/ico_floor.py [--cli build-rel/cli/glyphwright-cli] [--floor build-rel/bench/ico_floor]
                       [--rounds 21] [--size 5472x3648] [--photo PHOTO.jpg]

Needs ImageMagick's `convert` to generate the photo (bench/compare_tools.py's generator) unless
--photo is given.
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_tools import generate_photo  # noqa: E402

RATIO_TARGET = 1.15


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--cli", default=os.path.join(root, "build-rel", "cli", "glyphwright-cli"))
    parser.add_argument("--floor", default=os.path.join(root, "build-rel", "bench", "ico_floor"))
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--size", default="5472x3648", help="size of the generated photo")
    parser.add_argument("--photo", help="use this JPEG instead of generating one")
    return parser.parse_args()


def run(command, out):
    """Wall and CPU seconds (user + system) of one run of command, into an empty folder out."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    args = parse_args()
    for program in (args.cli, args.floor):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is not built")
    work = tempfile.mkdtemp(prefix="gw-floor-")
    try:
        photo = args.photo or os.path.join(work, "photo.jpg")
        if not args.photo:
            generate_photo(photo, args.size)
        out = os.path.join(work, "out")
        commands = {"floor": [args.floor, photo, os.path.join(work, "floor.png")],
                    "glyphwright": [args.cli, "convert", "--quiet", "--output-dir", out, photo]}
        results = {name: [] for name in commands}
        for command in commands.values():  # one warm-up run each: the file and the libraries cached
            run(command, out)
        for _ in range(args.rounds):
            for name, command in commands.items():
                results[name].append(run(command, out))

        print(f"photo: {photo} ({os.path.getsize(photo) / 2**20:.1f} MiB), {args.rounds} rounds, medians")
        print(f"{'program':12} {'wall s':>8} {'cpu s':>8}")
        medians = {name: [statistics.median(r[i] for r in runs) for i in range(2)] for name, runs in results.items()}
        for name, (wall, cpu) in medians.items():
            print(f"{name:12} {wall:8.4f} {cpu:8.4f}")
        wall_ratio = medians["glyphwright"][0] / medians["floor"][0]
        cpu_ratio = medians["glyphwright"][1] / medians["floor"][1]
        print(f"\nglyphwright / floor: wall {wall_ratio:.3f}, cpu {cpu_ratio:.3f}; target <= {RATIO_TARGET}: "
              f"{'met' if wall_ratio <= RATIO_TARGET else 'MISSED'}")
        print(f"load average at the end: {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
