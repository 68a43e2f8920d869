#!/usr/bin/env python3
"""Times `glyphwright-cli convert` of a batch of photos on one worker and on several (--jobs), to check
that parallel conversion pays: on a 2-core machine `--jobs 2` should take at most 0.6 of `--jobs 1`'s
wall time. The rounds alternate between the job counts, so that a change in the machine's load hits
both alike; every run writes into an empty folder. Reports, per job count, the median wall time and
CPU time (user + system of the child), the ratios of the medians, and the load average around the
measurement, since other processes competing for the cores make the parallel run look worse than it
is (its CPU time stays about the same while its wall time grows). NOTE: with the kernel's automatic
session groups (/proc/sys/kernel/sched_autogroup_enabled) every terminal session gets an equal share
of the cores whatever the nice values, so a busy neighbour session cannot be outranked by nice.

For scale it also times two separate `--jobs 1` processes at once, each on half of the photos: the
share of the two cores the machine gives to two independent workers at that moment, so the best
that `--jobs 2` can hope for. On an idle machine it is about 0.5.

Also checks that every run wrote the same icon bytes under the same names.

    bench/cli_jobs.py [--cli build/cli/glyphwright-cli] [--photos 20] [--size 4000x3000] [--rounds 5]
                      [--jobs 2]

The photos are generated (smooth gradients, waves and grain, JPEG quality 90 through netpbm's
pnmtojpeg) and kept in a temporary folder for all rounds.
"""

import argparse
import hashlib
import math
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TARGET_RATIO = 0.6


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--cli", default=os.path.join(root, "build", "cli", "glyphwright-cli"))
    parser.add_argument("--photos", type=int, default=20)
    parser.add_argument("--size", default="4000x3000", help="size of each generated photo")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--jobs", type=int, default=2, help="the job count compared with --jobs 1")
    parser.add_argument("--out", help="write the icons below this folder (for example on /dev/shm, where "
                                      "the flush of every finished icon to the disk costs nothing)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    return parser.parse_args()


def generate_photo(path, width, height, seed):
    """A photo-like JPEG: each row is a slice of a long smooth, grainy texture row, shifted and
    brightened from row to row, so that the picture has gradients, edges and noise."""
    rng = random.Random(seed)
    phases = [rng.uniform(0, 2 * math.pi) for _ in range(6)]
    texture = bytearray()
    for x in range(2 * width):
        for channel in range(3):
            wave = math.sin(x / (90 + 40 * channel) + phases[channel]) + 0.5 * math.sin(x / 23 + phases[3 + channel])
            texture.append(max(0, min(255, int(128 + 70 * wave + rng.gauss(0, 6)))))
    tables = [bytes(max(0, min(255, int(v * (0.6 + 0.4 * k / 63) + 10))) for v in range(256)) for k in range(64)]
    ppm = path + ".ppm"
    with open(ppm, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        for y in range(height):
            shift = 3 * ((y * 3 + int(300 * math.sin(y / 170 + phases[0]))) % width)
            brightness = int(31.5 + 31.5 * math.sin(y / 260 + phases[1]))
            f.write(bytes(texture[shift:shift + 3 * width]).translate(tables[brightness]))
    with open(path, "wb") as out:
        subprocess.run(["pnmtojpeg", "-quality=90", ppm], stdout=out, check=True)
    os.remove(ppm)


def run(cli, photos, out, jobs):
    """One conversion of every photo into an empty folder: wall seconds, child CPU seconds, and the
    icons written (name -> digest)."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run([cli, "convert", "--quiet", "--jobs", str(jobs), "--output-dir", out] + photos,
                            capture_output=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        raise RuntimeError(f"--jobs {jobs} failed ({result.returncode}): {result.stderr[-2000:]}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    icons = {}
    for name in sorted(os.listdir(out)):
        with open(os.path.join(out, name), "rb") as f:
            icons[name] = hashlib.sha256(f.read()).hexdigest()
    return wall, cpu, icons


def run_halves(cli, photos, out):
    """Two --jobs 1 processes at once, each converting half of the photos: wall and child CPU seconds."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    children = [subprocess.Popen([cli, "convert", "--quiet", "--jobs", "1", "--output-dir", out] + half,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                for half in (photos[0::2], photos[1::2])]
    if any(child.wait() != 0 for child in children):
        raise RuntimeError("a --jobs 1 process on half of the photos failed")
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    args = parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit(f"{args.cli} is not built")
    if not shutil.which("pnmtojpeg"):
        sys.exit("needs pnmtojpeg (Debian package netpbm)")
    width, height = (int(v) for v in args.size.split("x"))
    work = tempfile.mkdtemp(prefix="gw-jobs-")
    out = os.path.join(args.out or work, "gw-jobs-out")
    try:
        photos = []
        for i in range(args.photos):
            photos.append(os.path.join(work, f"photo{i:02d}.jpg"))
            generate_photo(photos[-1], width, height, seed=i)
        run(args.cli, photos[:2], out, 1)  # warm the caches

        counts = (1, args.jobs)
        results = {jobs: [] for jobs in counts}
        halves = []
        load_before = os.getloadavg()
        for _ in range(args.rounds):
            for jobs in counts:
                results[jobs].append(run(args.cli, photos, out, jobs))
            halves.append(run_halves(args.cli, photos, out))
        load_after = os.getloadavg()

        reference = results[1][0][2]
        same = all(r[2] == reference for runs in results.values() for r in runs)
        megabytes = sum(os.path.getsize(p) for p in photos) / 2**20
        print(f"{args.photos} photos of {args.size} ({megabytes:.1f} MiB of JPEG), {args.rounds} rounds, "
              f"{os.cpu_count()} cores, output into {args.out or 'the work folder'}")
        print(f"load average (1 min) before {load_before[0]:.2f}, after {load_after[0]:.2f}")
        print(f"{'jobs':>5} {'wall s (median)':>16} {'cpu s (median)':>15}   wall s of every round")
        medians = {}
        for jobs, runs in results.items():
            wall = statistics.median(r[0] for r in runs)
            cpu = statistics.median(r[1] for r in runs)
            medians[jobs] = (wall, cpu)
            rounds = " ".join(f"{r[0]:.2f}" for r in runs)
            print(f"{jobs:5d} {wall:16.3f} {cpu:15.3f}   {rounds}")
        halves_wall = statistics.median(r[0] for r in halves)
        rounds = " ".join(f"{r[0]:.2f}" for r in halves)
        print(f"{'2x1':>5} {halves_wall:16.3f} {statistics.median(r[1] for r in halves):15.3f}   {rounds}"
              "   (two --jobs 1 processes on halves)")
        print(f"two processes on halves / --jobs 1: {halves_wall / medians[1][0]:.3f} "
              "(the machine's share for two workers now)")
        ratio = medians[args.jobs][0] / medians[1][0]
        verdict = "met" if ratio <= TARGET_RATIO else "MISSED"
        print(f"wall --jobs {args.jobs} / --jobs 1, medians: {ratio:.3f} (target <= {TARGET_RATIO}: {verdict}); "
              f"cpu ratio {medians[args.jobs][1] / medians[1][1]:.3f}")
        # The fastest round of each is the one the other processes disturbed least.
        fastest = {jobs: min(r[0] for r in runs) for jobs, runs in results.items()}
        print(f"wall --jobs {args.jobs} / --jobs 1, fastest rounds: {fastest[args.jobs] / fastest[1]:.3f} "
              f"({fastest[args.jobs]:.3f} s / {fastest[1]:.3f} s); two processes on halves, fastest: "
              f"{min(r[0] for r in halves) / fastest[1]:.3f}")
        print(f"icons of every run identical: {'yes' if same else 'NO'} ({len(reference)} icons)")
        return 0 if same else 1
    finally:
        if args.keep:
            print(f"work folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
            shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
