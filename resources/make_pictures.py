#!/usr/bin/env python3
"""Writes the window's pictures as SVG files into resources/pictures/.

The SVG files are committed; run this script again after changing a drawing here. Every picture is
drawn for the pixel size the window shows it at (its viewBox), in the window's two colours: the text
grey #A6A6A6, which reads on the light and on the dark theme, and the accent blue #4AB1D8.
"""
import math
import os
import random

GREY = "#A6A6A6"
ACCENT = "#4AB1D8"
ACCENT_DARK = "#2E8DB3"
GREEN = "#5DBB63"
RED = "#E0605A"
FONT = "DejaVu Sans, Verdana, Arial, sans-serif"

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pictures")


def svg(width, height, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">\n{body}\n</svg>\n')


def write(name, width, height, body):
    with open(os.path.join(OUT, name + ".svg"), "w", encoding="utf-8") as f:
        f.write(svg(width, height, body))


def mark(x, y, size, stroke_scale=1.0):
    """The product mark: an accent tile holding three nested icon outlines (16, 32 and 48 pixels),
    standing for one picture turned into every size of an icon."""
    s = size / 48.0
    w = max(1.2, 2.6 * s * stroke_scale)
    r = 10 * s
    parts = [f'<defs><linearGradient id="mg" x1="0" y1="0" x2="0" y2="1">'
             f'<stop offset="0" stop-color="#5CC3E8"/><stop offset="1" stop-color="{ACCENT_DARK}"/>'
             f'</linearGradient></defs>',
             f'<rect x="{x}" y="{y}" width="{size}" height="{size}" rx="{r:.2f}" fill="url(#mg)"/>']
    # Three squares sharing the bottom-left corner.
    for side, opacity in ((30, 0.55), (21, 0.8), (12, 1.0)):
        sx = x + 9 * s
        sy = y + (39 - side) * s
        parts.append(f'<rect x="{sx:.2f}" y="{sy:.2f}" width="{side * s:.2f}" height="{side * s:.2f}" '
                     f'rx="{2.2 * s:.2f}" fill="none" stroke="#FFFFFF" stroke-opacity="{opacity}" '
                     f'stroke-width="{w:.2f}"/>')
    # A spark at the top right: the pen that writes the glyphs.
    cx, cy = x + 35 * s, y + 13 * s
    star = []
    for i in range(8):
        a = math.pi / 4 * i - math.pi / 2
        rad = (6.5 if i % 2 == 0 else 2.0) * s
        star.append(f"{cx + rad * math.cos(a):.2f},{cy + rad * math.sin(a):.2f}")
    parts.append(f'<polygon points="{" ".join(star)}" fill="#FFFFFF"/>')
    return "\n".join(parts)


def logo():
    body = mark(2, 2, 46) + (
        f'\n<text x="56" y="33" font-family="{FONT}" font-size="21.5" font-weight="bold" fill="{GREY}">'
        f'Glyph<tspan fill="{ACCENT}">wright</tspan></text>')
    write("logo", 217, 50, body)


def title():
    body = mark(5, 4, 17) + (
        f'\n<text x="29" y="17.5" font-family="{FONT}" font-size="13" font-weight="bold" fill="{GREY}">'
        f'Glyph<tspan fill="{ACCENT}">wright</tspan></text>')
    write("title", 181, 25, body)


def app_icon():
    write("app", 256, 256, mark(8, 8, 240, stroke_scale=0.9).replace('id="mg"', 'id="ag"')
          .replace("url(#mg)", "url(#ag)"))


def gear_picture(name, color):
    cx = cy = 12.5
    teeth = 8
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4) - math.pi / 2 + math.pi / (teeth * 4)
        rad = 8.0 if (i % 4) in (1, 2) else 6.0
        pts.append(f"{cx + rad * math.cos(a):.2f},{cy + rad * math.sin(a):.2f}")
    # The hole is cut with the even-odd rule so the header shows through it in both themes.
    hole = (f"M {cx + 2.6:.2f},{cy} A 2.6,2.6 0 1,0 {cx - 2.6:.2f},{cy} "
            f"A 2.6,2.6 0 1,0 {cx + 2.6:.2f},{cy} Z")
    outline = "M " + " L ".join(pts) + " Z"
    write(name, 25, 25, f'<path d="{outline} {hole}" fill="{color}" fill-rule="evenodd"/>')


def close_picture(name, color):
    write(name, 25, 25,
          f'<path d="M8,8 L17,17 M17,8 L8,17" stroke="{color}" stroke-width="2" stroke-linecap="round"/>')


def picture_glyph(cx, top, color):
    """A framed landscape: the symbol of a picture file."""
    w, h = 62, 46
    x, y = cx - w / 2, top
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="5" fill="none" stroke="{color}" '
            f'stroke-width="3"/>'
            f'<circle cx="{x + 17}" cy="{y + 14}" r="5" fill="{color}"/>'
            f'<path d="M{x + 6},{y + h - 6} L{x + 22},{y + 24} L{x + 32},{y + 33} L{x + 42},{y + 19} '
            f'L{x + w - 6},{y + h - 6} Z" fill="{color}"/>')


def drop_picture(name, color, lit):
    glow = ""
    if lit:
        glow = (f'<rect x="6" y="4" width="189" height="150" rx="14" fill="{color}" fill-opacity="0.10"/>')
    body = (glow +
            f'<rect x="6" y="4" width="189" height="150" rx="14" fill="none" stroke="{color}" '
            f'stroke-width="2.5" stroke-dasharray="9 6"/>' +
            picture_glyph(100.5, 26, color) +
            # The arrow from the picture into the icon tray.
            f'<path d="M100.5,78 L100.5,100 M92,92 L100.5,100.5 L109,92" fill="none" stroke="{color}" '
            f'stroke-width="3" stroke-linecap="round" stroke-linejoin="round"/>'
            f'<text x="100.5" y="124" text-anchor="middle" font-family="{FONT}" font-size="14" '
            f'fill="{color}">Drop pictures here</text>'
            # The formats the window takes, in two lines.
            f'<text x="100.5" y="138.5" text-anchor="middle" font-family="{FONT}" font-size="10.5" '
            f'fill="{color}" fill-opacity="0.8">BMP  JPEG  PNG  GIF  TIFF  JP2</text>'
            f'<text x="100.5" y="150.5" text-anchor="middle" font-family="{FONT}" font-size="10.5" '
            f'fill="{color}" fill-opacity="0.8">SVG  WebP  HEIC  AVIF</text>')
    write(name, 201, 175, body)


def sprite():
    """15 frames of 186 x 135; the part of a frame inside the window is its top-left 137 x 87 pixels,
    so the motif sits at (22, 42), which is the middle of the window below the percentage."""
    frames = 15
    parts = []
    for f in range(frames):
        ox = 186 * f
        cx, cy = ox + 22, 42
        for d in range(frames):
            a = 2 * math.pi * d / frames - math.pi / 2
            # The head of the tail is dot f; older dots fade out.
            age = (f - d) % frames
            opacity = max(0.0, 1.0 - age / 9.0)
            radius = 3.2 - age * 0.12
            if opacity <= 0:
                parts.append(f'<circle cx="{cx + 17 * math.cos(a):.2f}" cy="{cy + 17 * math.sin(a):.2f}" '
                             f'r="1.6" fill="{GREY}" fill-opacity="0.25"/>')
                continue
            parts.append(f'<circle cx="{cx + 17 * math.cos(a):.2f}" cy="{cy + 17 * math.sin(a):.2f}" '
                         f'r="{radius:.2f}" fill="{ACCENT}" fill-opacity="{opacity:.2f}"/>')
        # A small icon tile in the middle that grows through the three icon sizes.
        side = (6, 9, 12)[(f // 5) % 3]
        parts.append(f'<rect x="{cx - side / 2:.1f}" y="{cy - side / 2:.1f}" width="{side}" height="{side}" '
                     f'rx="2" fill="none" stroke="{GREY}" stroke-width="1.6"/>')
    write("sprite", 186 * frames, 135, "\n".join(parts))


def badge(name, fill, symbol):
    write(name, 49, 33,
          f'<circle cx="17" cy="16.5" r="15.5" fill="{fill}"/>' + symbol)


def success_error():
    badge("success", GREEN,
          '<path d="M9.5,17 L15,22.5 L25,11.5" fill="none" stroke="#FFFFFF" stroke-width="3.2" '
          'stroke-linecap="round" stroke-linejoin="round"/>')
    badge("error", RED,
          '<path d="M17,8.5 L17,19" stroke="#FFFFFF" stroke-width="3.4" stroke-linecap="round"/>'
          '<circle cx="17" cy="24.5" r="2" fill="#FFFFFF"/>')


def option_badge(name, label, fill, font_size):
    write(name, 22, 22,
          f'<rect x="1.5" y="4.5" width="19" height="13" rx="3" fill="{fill}"/>'
          f'<text x="11" y="{11 + font_size * 0.36:.2f}" text-anchor="middle" font-family="{FONT}" '
          f'font-size="{font_size}" font-weight="bold" fill="#FFFFFF">{label}</text>')


def theme_icons():
    rays = []
    for i in range(8):
        a = math.pi / 4 * i
        rays.append(f"M{11 + 6.2 * math.cos(a):.2f},{11 + 6.2 * math.sin(a):.2f} "
                    f"L{11 + 8.6 * math.cos(a):.2f},{11 + 8.6 * math.sin(a):.2f}")
    write("light", 22, 22,
          f'<circle cx="11" cy="11" r="4" fill="#F2B632"/>'
          f'<path d="{" ".join(rays)}" stroke="#F2B632" stroke-width="1.6" stroke-linecap="round"/>')
    write("dark", 22, 22,
          f'<path d="M14.5,4 A7.5,7.5 0 1,0 18.5,15.5 A6,6 0 1,1 14.5,4 Z" fill="{ACCENT}"/>')


def arrows():
    for name, color in (("arrow", GREY), ("arrow-hover", ACCENT)):
        write(name, 22, 22,
              f'<path d="M9,6.5 L13.5,11 L9,15.5" fill="none" stroke="{color}" stroke-width="2" '
              f'stroke-linecap="round" stroke-linejoin="round"/>')


def texture(name, base, light_grain, dark_grain, seed):
    """A 50 x 50 tile of fine grain: single pixels a little lighter or darker than the base. Every
    dot lies inside the tile, so the tile repeats without seams."""
    rng = random.Random(seed)
    parts = [f'<rect width="50" height="50" fill="{base}"/>']
    for _ in range(260):
        x, y = rng.randrange(50), rng.randrange(50)
        if rng.random() < 0.5:
            parts.append(f'<rect x="{x}" y="{y}" width="1" height="1" fill="#FFFFFF" '
                         f'fill-opacity="{light_grain * rng.uniform(0.4, 1.0):.3f}"/>')
        else:
            parts.append(f'<rect x="{x}" y="{y}" width="1" height="1" fill="#000000" '
                         f'fill-opacity="{dark_grain * rng.uniform(0.4, 1.0):.3f}"/>')
    write(name, 50, 50, "\n".join(parts))


def main():
    os.makedirs(OUT, exist_ok=True)
    logo()
    title()
    app_icon()
    gear_picture("settings", GREY)
    gear_picture("settings-hover", ACCENT)
    close_picture("close", GREY)
    close_picture("close-hover", ACCENT)
    drop_picture("drop", GREY, False)
    drop_picture("drop-lit", ACCENT, True)
    sprite()
    success_error()
    option_badge("windows", "ICO", ACCENT, 7.5)
    option_badge("mac", "ICNS", "#8C7AE6", 6.2)
    theme_icons()
    arrows()
    texture("TextureLight", "#F5F5F5", 0.9, 0.045, 1)
    texture("TextureLightButton", "#E6E6E6", 0.7, 0.05, 2)
    texture("TextureDark", "#333333", 0.05, 0.18, 3)
    texture("TextureDarkButton", "#050505", 0.06, 0.5, 4)


if __name__ == "__main__":
    main()
