#!/usr/bin/env python3
"""Finds check box and radio button texts cut off at their control's right edge in a screenshot.

Usage: clipped-texts.py SCREENSHOT CAPTION < LINES
LINES come from text-controls.exe: caption, "left top right bottom" in the client area, text
(tab-separated). A text is cut off when its dark pixels reach the control's last column; a text
that fits ends short of it. Prints one line per control and exits 1 when one is cut off.
"""
import subprocess
import sys


def gray_pixels(png, left, top, width, height):
    raw = subprocess.run(
        ["convert", png, "-crop", f"{width}x{height}+{left}+{top}", "+repage",
         "-colorspace", "gray", "-depth", "8", "gray:-"],
        check=True, capture_output=True).stdout
    return [raw[row * width:(row + 1) * width] for row in range(height)]


def main():
    png, caption = sys.argv[1], sys.argv[2]
    measured = clipped = 0
    for line in sys.stdin.read().splitlines():
        fields = line.split("\t")
        if len(fields) != 3 or fields[0] != caption:
            continue
        left, top, right, bottom = (int(v) for v in fields[1].split())
        rows = gray_pixels(png, left, top, right - left, bottom - top)
        dark = [x for row in rows for x, value in enumerate(row) if value < 96]
        last = max(dark, default=-1)
        measured += 1
        cut = last >= right - left - 1
        clipped += cut
        print(f"{'CUT OFF' if cut else 'fits'}: {fields[2]} (ink to {left + last}, edge {right})")
    print(f"{measured} text(s) in {png.rsplit('/', 1)[-1]}, {clipped} cut off")
    return 0 if measured and not clipped else 1


if __name__ == "__main__":
    sys.exit(main())
