#!/usr/bin/env python3
"""Prints facts about a screenshot for the end-to-end tests:
    imagestats.py FILE.ppm X Y     -> the colour of pixel (X, Y) as RRGGBB
    imagestats.py FILE.ppm box     -> count, left, top, right, bottom of the
                                      pixels that are not pure blue
Reads binary PPM (P6) files, as `convert shot.png ppm:-` writes them."""
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255"
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]


def main():
    width, height, pixels = read_ppm(sys.argv[1])
    if sys.argv[2] == "box":
        count, left, top, right, bottom = 0, width, height, -1, -1
        for y in range(height):
            row = pixels[3 * width * y:3 * width * (y + 1)]
            for x in range(width):
                if row[3 * x:3 * x + 3] != b"\x00\x00\xff":
                    count += 1
                    left, right = min(left, x), max(right, x)
                    top, bottom = min(top, y), max(bottom, y)
        print(count, left, top, right, bottom)
    else:
        x, y = int(sys.argv[2]), int(sys.argv[3])
        print(pixels[3 * (width * y + x):3 * (width * y + x) + 3].hex().upper())


main()
