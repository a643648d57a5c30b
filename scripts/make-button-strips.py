#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the tool bar's bitmap strips in resources/buttons.h from the single images there.

    scripts/make-button-strips.py           rewrite the strips between the markers
    scripts/make-button-strips.py --check   exit 1 when the strips are out of date

A strip is its images side by side in one XPM image, 16 px tall. The single images share
one palette (a character means the same colour everywhere), so rows are joined as they
stand; the strip's palette lists the colours its images use, in order of first use.
"""
import pathlib
import re
import sys

HEADER = pathlib.Path(__file__).resolve().parent.parent / "resources" / "buttons.h"
BEGIN = "// ---- BEGIN STRIPS: written by scripts/make-button-strips.py ----\n"
END = "// ---- END STRIPS ----\n"
SIZE = 16

# bitmap id -> images, left to right, as the tool bar numbers its buttons.
STRIPS = [
    (128, "spectrogram bar, noise reference off",
     ["Pause", "DbLabels", "Noise", "AutoRange"]),
    (126, "spectrogram bar, noise reference on",
     ["Pause", "DbLabels", "NoiseStruck", "AutoRange"]),
    (127, "spectrum bar, noise reference off",
     ["Pause", "DbGrid", "FreqGrid", "DbLabels", "Noise", "AutoRange"]),
    (125, "spectrum bar, noise reference on",
     ["Pause", "DbGrid", "FreqGrid", "DbLabels", "NoiseStruck", "AutoRange"]),
]

ARRAY = re.compile(r"static const char\* const kButton(\w+)Xpm\[\] = \{(.*?)\};", re.S)
STRING = re.compile(r'"([^"\\]*)"')


def fail(message):
    sys.exit(f"make-button-strips: {message}")


def parse_image(name, body):
    """Returns (palette as [(char, colour)], rows) of one 16 x 16 single image."""
    strings = STRING.findall(body)
    if not strings:
        fail(f"{name}: no XPM strings")
    fields = strings[0].split()
    if len(fields) != 4 or not all(f.isdigit() for f in fields):
        fail(f"{name}: bad XPM header {strings[0]!r}")
    width, height, ncolors, cpp = map(int, fields)
    if (width, height, cpp) != (SIZE, SIZE, 1):
        fail(f"{name}: must be {SIZE} x {SIZE} with one character per pixel")
    if len(strings) != 1 + ncolors + height:
        fail(f"{name}: expected {1 + ncolors + height} strings, found {len(strings)}")
    palette = []
    for line in strings[1:1 + ncolors]:
        parts = line[1:].split()
        if len(line) < 2 or len(parts) != 2 or parts[0] != "c":
            fail(f"{name}: bad colour line {line!r}")
        palette.append((line[0], parts[1]))
    rows = strings[1 + ncolors:]
    defined = {char for char, _ in palette}
    for row in rows:
        if len(row) != width or not set(row) <= defined:
            fail(f"{name}: bad pixel row {row!r}")
    return palette, rows


def build_strips(source):
    head, sep, rest = source.partition(BEGIN)
    if not sep or END not in rest:
        fail(f"markers not found in {HEADER}")
    images = {name: parse_image(name, body) for name, body in ARRAY.findall(head)}
    colours = {}
    for name, (palette, _) in images.items():
        for char, colour in palette:
            if colours.setdefault(char, colour) != colour:
                fail(f"{name}: '{char}' is {colour} here but {colours[char]} elsewhere")

    out = []
    for bitmap, label, names in STRIPS:
        missing = [n for n in names if n not in images]
        if missing:
            fail(f"bitmap {bitmap}: no image kButton{missing[0]}Xpm")
        rows = ["".join(images[n][1][r] for n in names) for r in range(SIZE)]
        used = []
        for row in rows:
            for char in row:
                if char not in used:
                    used.append(char)
        # Transparency first, then the colours in order of first use.
        used.sort(key=lambda char: colours[char] != "None")
        out.append(f"// Bitmap {bitmap}, {label}: {', '.join(names)}.\n")
        out.append(f"static const char* const kButtonStrip{bitmap}Xpm[] = {{\n")
        out.append(f'    "{SIZE * len(names)} {SIZE} {len(used)} 1",\n')
        out.extend(f'    "{char} c {colours[char]}",\n' for char in used)
        out.extend(f'    "{row}",\n' for row in rows)
        out.append("};\n\n")
    tail = rest.partition(END)[2]
    return head + BEGIN + "".join(out) + END + tail


def main():
    check = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check:
        sys.exit(__doc__)
    source = HEADER.read_text()
    result = build_strips(source)
    if check:
        if result != source:
            fail("the strips in resources/buttons.h are out of date; run the script")
        return
    if result != source:
        HEADER.write_text(result)


if __name__ == "__main__":
    main()
