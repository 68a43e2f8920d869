#!/usr/bin/env python3
"""Times `glyphwright-cli convert` on the newer inputs against ImageMagick in one run: an SVG logo of
the kind icon themes ship (gradients, a blurred shadow, strokes, a few hundred shapes) to the default
.ico, against `convert logo.svg -define icon:auto-resize=256,64,48,32,16 o.ico`; and a 12-megapixel
photo as HEIC and as WebP to the default .ico, against ImageMagick converting the same file (or the
format's own decoder, heif-convert or dwebp, followed by ImageMagick, where ImageMagick cannot read it).
The rounds alternate between the tools so that machine load hits all of them alike. Reports medians of
wall time, CPU time and peak memory (/usr/bin/time -v), the ratios aimed for, and the load average.

    bench/compare_inputs.py [--cli build/cli/glyphwright-cli] [--rounds 5] [--size 4000x3000] [--svg FILE]

Needs /usr/bin/time, ImageMagick (/usr/bin/convert), cwebp and heif-enc (Debian packages time,
imagemagick, webp, libheif-examples); the photo rows are left out when an encoder is missing.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

MAGICK = "/usr/bin/convert"  # the real ImageMagick, not a stand-in earlier on PATH
SIZES = "256,64,48,32,16"
# Our median wall time as a fraction of ImageMagick's, and our peak memory per decoded picture.
TIME_TARGETS = {"svg": 0.5, "heic": 0.6, "webp": 0.6}
MEMORY_TARGET = 1.5


def logo_svg():
    """A 48-unit logo of the Adwaita kind: body gradient, shadow blur, highlights, a grid of strokes."""
    shapes = []
    for i in range(120):
        x, y = 8 + (i * 7) % 32, 10 + (i * 11) % 28
        shapes.append(f'<circle cx="{x}" cy="{y}" r="{0.4 + (i % 5) * 0.15:.2f}" fill="#ffffff" '
                      f'fill-opacity="{0.2 + (i % 4) * 0.1:.1f}"/>')
    for i in range(80):
        shapes.append(f'<path d="M{6 + i % 36} {8 + (i * 3) % 30} q 3 -4 6 0 t 6 0" fill="none" '
                      f'stroke="#1a5fb4" stroke-opacity="0.5" stroke-width="0.3"/>')
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 48 48">
  <defs>
    <linearGradient id="body" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#62a0ea"/><stop offset="1" stop-color="#1c71d8"/></linearGradient>
    <radialGradient id="shine" cx="0.3" cy="0.2" r="0.8">
      <stop offset="0" stop-color="#ffffff" stop-opacity="0.6"/><stop offset="1" stop-color="#ffffff" stop-opacity="0"/>
    </radialGradient>
    <filter id="shadow" x="-0.2" y="-0.2" width="1.4" height="1.4"><feGaussianBlur stdDeviation="1.2"/></filter>
  </defs>
  <rect x="5" y="7" width="38" height="38" rx="7" fill="#000000" fill-opacity="0.35" filter="url(#shadow)"/>
  <rect x="4" y="4" width="40" height="38" rx="7" fill="url(#body)"/>
  <rect x="4" y="4" width="40" height="38" rx="7" fill="url(#shine)"/>
  {''.join(shapes)}
  <path d="M14 30 L22 36 L36 16" fill="none" stroke="#ffffff" stroke-width="3" stroke-linecap="round"/>
</svg>
"""


def run_timed(command):
    result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed:\n{result.stderr[-2000:]}")
    def field(name):
        return re.search(rf"{name}: ([0-9.:]+)", result.stderr).group(1)
    wall = 0.0
    for part in field(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\)").split(":"):
        wall = wall * 60 + float(part)
    cpu = float(field("User time \\(seconds\\)")) + float(field("System time \\(seconds\\)"))
    return wall, cpu, int(field("Maximum resident set size \\(kbytes\\)")) / 1024


def median_runs(jobs, rounds):
    """jobs: name -> list of commands run one after the other; returns name -> (wall, cpu, peak)."""
    samples = {name: [] for name in jobs}
    for _ in range(rounds):
        for name, commands in jobs.items():
            runs = [run_timed(c) for c in commands]
            samples[name].append((sum(r[0] for r in runs), sum(r[1] for r in runs), max(r[2] for r in runs)))
    return {name: tuple(statistics.median(s[i] for s in values) for i in range(3))
            for name, values in samples.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default="build/cli/glyphwright-cli")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size", default="4000x3000")
    parser.add_argument("--svg", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                      "shared", "testdata", "svg", "papirus-firefox.svg"),
                        help="the SVG logo (default: a Papirus icon of the shared test data, else a generated one)")
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    if not os.access(MAGICK, os.X_OK):
        sys.exit(f"{MAGICK} (ImageMagick) is needed")
    width, height = (int(v) for v in args.size.split("x"))
    print(f"load average before: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")

    with tempfile.TemporaryDirectory(prefix="gw-inputs-") as work:
        out = os.path.join(work, "out")
        os.mkdir(out)
        logo = os.path.join(work, "logo.svg")
        if os.path.isfile(args.svg):
            shutil.copyfile(args.svg, logo)
        else:
            with open(logo, "w") as f:
                f.write(logo_svg())
        print(f"SVG logo: {args.svg if os.path.isfile(args.svg) else 'generated'}")
        ours = lambda source: [cli, "convert", "-q", "-j", "1", "--output-dir", out, source]
        rows = [("svg", logo, {"glyphwright": [ours(logo)],
                               "imagemagick": [[MAGICK, logo, "-define", f"icon:auto-resize={SIZES}",
                                                os.path.join(work, "im.ico")]]})]

        photo = os.path.join(work, "photo.png")
        # Smooth structure with fine noise, as a phone photo has: plasma scaled up, then noise; 8 bits
        # a channel, as phones store them (from ImageMagick's 16-bit PNG heif-enc would make a 10-bit HEIC).
        subprocess.run([MAGICK, "-size", f"{width // 4}x{height // 4}", "-seed", "7", "plasma:fractal",
                        "-resize", f"{width}x{height}!", "-attenuate", "0.3", "+noise", "Gaussian",
                        "-depth", "8", photo], check=True)
        encoders = {"heic": (["heif-enc", "-q", "80", "-o"], "heif-convert"),
                    "webp": (["cwebp", "-quiet", "-q", "80", photo, "-o"], "dwebp")}
        for kind, (encoder, decoder) in encoders.items():
            if not shutil.which(encoder[0]):
                print(f"{encoder[0]} missing: no {kind} row")
                continue
            source = os.path.join(work, f"photo.{kind}")
            command = encoder + [source] + ([photo] if kind == "heic" else [])
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
            magick = [[MAGICK, source, "-define", f"icon:auto-resize={SIZES}", os.path.join(work, "im.ico")]]
            if subprocess.run([MAGICK, source, "-ping", "info:"], capture_output=True).returncode != 0:
                pam = os.path.join(work, "decoded.png")
                magick = [[decoder, source, pam] if kind == "heic" else [decoder, "-quiet", source, "-o", pam],
                          [MAGICK, pam, "-define", f"icon:auto-resize={SIZES}", os.path.join(work, "im.ico")]]
            rows.append((kind, source, {"glyphwright": [ours(source)], "imagemagick": magick}))

        decoded_mib = width * height * 4 / (1024 * 1024)
        print(f"{'input':6} {'tool':12} {'wall s':>8} {'cpu s':>8} {'peak MiB':>9}")
        verdicts = []
        for kind, source, jobs in rows:
            medians = median_runs(jobs, args.rounds)
            for name, (wall, cpu, peak) in medians.items():
                print(f"{kind:6} {name:12} {wall:8.3f} {cpu:8.3f} {peak:9.1f}")
            ratio = medians["glyphwright"][0] / medians["imagemagick"][0]
            verdicts.append(f"{kind}: {ratio:.2f} of ImageMagick's time (target {TIME_TARGETS[kind]})"
                            + ("" if ratio <= TIME_TARGETS[kind] else "  MISSED"))
            if kind != "svg":
                share = medians["glyphwright"][2] / decoded_mib
                verdicts.append(f"{kind}: peak {share:.2f} x the decoded picture of {decoded_mib:.0f} MiB "
                                f"(target {MEMORY_TARGET})" + ("" if share <= MEMORY_TARGET else "  MISSED"))
        print("\n".join(verdicts))
        print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
