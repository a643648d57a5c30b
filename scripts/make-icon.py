#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's 48 x 48 icon into resources/quillo-sa.xpm, and the desktop's PNG
icons of every usual size from it into resources/icons/quillo-sa-SIZE.png.

    scripts/make-icon.py           rewrite the icons
    scripts/make-icon.py --check   exit 1 when a file differs from what this draws

A dark rounded tile: above, a spectrum of a tone with its harmonics (green outline over a
darker fill, cyan peak-hold marks); below, a spectrogram of a short melody in the
program's colour ramp (black, blue, green, yellow, red). The file is also C: resources/icon.h
includes it, so the program and the desktop share one picture.
"""
import math
import pathlib
import struct
import sys
import zlib

RESOURCES = pathlib.Path(__file__).resolve().parent.parent / "resources"
OUTPUT = RESOURCES / "quillo-sa.xpm"
SIZE = 48
# The hicolor theme's sizes. Each PNG is the 48 x 48 picture enlarged by whole pixels to at
# least its size, then averaged down to it, so the pixel look stays and nothing is blurred
# more than the size needs.
PNG_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

PALETTE = {
    " ": "None",
    ".": "#0E1220",  # tile
    "o": "#5A6478",  # tile border
    "a": "#A0A8B8",  # axis between the two pictures
    "G": "#84FF00",  # spectrum outline, the trace colour of the spectrum view
    "d": "#2F6B12",  # area under the spectrum
    "c": "#00FCFC",  # peak hold
    # Spectrogram levels, low to high.
    "0": "#000008",
    "1": "#000090",
    "2": "#0030F8",
    "3": "#00B0A0",
    "4": "#00FC00",
    "5": "#F8FC00",
    "6": "#F88800",
    "7": "#F80000",
}


def inside_tile(x, y, radius=7):
    """True for pixels of the rounded square from (1, 1) to (46, 46)."""
    lo, hi = 1, SIZE - 2
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def speckle(x, y):
    """A fixed pseudo-random 0..255 per pixel, so the noise floor looks alive yet the
    file is the same on every run."""
    h = (x * 73856093) ^ (y * 19349663)
    return (h ^ (h >> 13)) & 0xFF


def draw():
    grid = [[" "] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_tile(x, y):
                edge = not all(inside_tile(x + dx, y + dy)
                               for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                grid[y][x] = "o" if edge else "."

    # Spectrum, rows 5 to 21 above a baseline on row 22: harmonics 6 px apart, each
    # weaker than the one before, over a low uneven floor.
    left, right, base = 5, 42, 22
    tops = []
    for x in range(left, right + 1):
        level = 1.5 + (speckle(x, 3) % 3) * 0.5
        for k in range(1, 7):
            centre = left + 4 + 6 * (k - 1)
            level += 14.0 / (k ** 0.8) * math.exp(-((x - centre) / 0.9) ** 2)
        tops.append(base - 1 - min(int(level), 14))
    for i, x in enumerate(range(left, right + 1)):
        for y in range(tops[i] + 1, base):
            grid[y][x] = "d"
    for i, x in enumerate(range(left, right + 1)):
        lowest = tops[i]
        if i > 0:
            lowest = max(lowest, tops[i - 1] - 1)
        if i + 1 < len(tops):
            lowest = max(lowest, tops[i + 1] - 1)
        for y in range(tops[i], min(lowest, base - 1) + 1):
            grid[y][x] = "G"
    for k in range(1, 7):
        centre = left + 4 + 6 * (k - 1)
        y = tops[centre - left] - 2
        if y > 3:
            for x in (centre - 1, centre, centre + 1):
                grid[y][x] = "c"
    for x in range(4, 44):
        grid[base][x] = "a"

    # Spectrogram, rows 25 to 42, time to the right, low frequencies at the bottom: a
    # melody of held notes and a glide, each with its harmonics.
    top, bottom = 25, 42
    for x in range(left, right + 1):
        t = x - left
        if t < 10:
            f = 3.0
        elif t < 19:
            f = 4.0
        elif t < 29:
            f = 4.0 + (t - 19) * 0.1
        else:
            f = 5.0
        for y in range(top, bottom + 1):
            height = bottom - y + 1
            level = 1 if speckle(x, y) < 60 else 0
            for k in range(1, 4):
                distance = abs(height - k * f)
                strength = 7.9 - (k - 1) * 1.6 - distance * 6.0
                if strength > level:
                    level = int(strength)
            grid[y][x] = str(max(0, min(7, level)))
    return grid


def render(grid):
    used = [char for char in PALETTE if any(char in row for row in grid)]
    lines = ["/* XPM */", "static const char* const quillo_sa_xpm[] = {",
             f'"{SIZE} {SIZE} {len(used)} 1",']
    lines += [f'"{char} c {PALETTE[char]}",' for char in used]
    lines += [f'"{"".join(row)}",' for row in grid]
    lines.append("};")
    return "\n".join(lines) + "\n"


def rgba(char):
    colour = PALETTE[char]
    if colour == "None":
        return (0, 0, 0, 0)
    return (int(colour[1:3], 16), int(colour[3:5], 16), int(colour[5:7], 16), 255)


def resample(grid, size):
    """The grid as size x size RGBA rows: box-filtered from a whole-pixel enlargement,
    colours weighted by their opacity."""
    factor = max(1, -(-size // SIZE))
    big = SIZE * factor
    scale = big / size
    rows = []
    for y in range(size):
        row = []
        y0, y1 = y * scale, (y + 1) * scale
        for x in range(size):
            x0, x1 = x * scale, (x + 1) * scale
            total = [0.0, 0.0, 0.0, 0.0]
            for by in range(int(y0), min(big, math.ceil(y1))):
                wy = min(y1, by + 1) - max(y0, by)
                for bx in range(int(x0), min(big, math.ceil(x1))):
                    w = wy * (min(x1, bx + 1) - max(x0, bx))
                    r, g, b, a = rgba(grid[by // factor][bx // factor])
                    total[0] += r * a * w
                    total[1] += g * a * w
                    total[2] += b * a * w
                    total[3] += a * w
            area = scale * scale
            alpha = total[3] / area
            if total[3] > 0:
                pixel = [round(total[i] / total[3]) for i in range(3)] + [round(alpha)]
            else:
                pixel = [0, 0, 0, 0]
            row.append(bytes(pixel))
        rows.append(b"".join(row))
    return rows


def png(rows, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png_path(size):
    return RESOURCES / "icons" / f"quillo-sa-{size}.png"


def main():
    check = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check:
        sys.exit(__doc__)
    grid = draw()
    text = render(grid)
    pngs = {png_path(size): png(resample(grid, size), size) for size in PNG_SIZES}
    if check:
        if not OUTPUT.exists() or OUTPUT.read_text() != text:
            sys.exit("make-icon: resources/quillo-sa.xpm is out of date; run the script")
        for path, data in pngs.items():
            if not path.exists() or path.read_bytes() != data:
                sys.exit(f"make-icon: resources/icons/{path.name} is out of date; run the script")
        return
    OUTPUT.write_text(text)
    for path, data in pngs.items():
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(data)


if __name__ == "__main__":
    main()
