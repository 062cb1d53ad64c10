#!/usr/bin/env python3
"""Writes assets/SW_TEST.bmp: a 256x256 24-bit bottom-up BMP whose pattern
shows orientation and perspective: a checkerboard of 32-pixel squares tinted
per quadrant (top left red, top right green, bottom left blue, bottom right
yellow), a white border and a black arrow pointing to the top edge."""
import struct
import sys

SIZE = 256
QUADRANT_TINTS = {(0, 0): (220, 40, 40), (1, 0): (40, 200, 40),
                  (0, 1): (40, 60, 220), (1, 1): (230, 210, 30)}


def texel(x, y):
    """Colour (r, g, b) of the texel at column x, row y (row 0 at the top)."""
    if x < 4 or y < 4 or x >= SIZE - 4 or y >= SIZE - 4:
        return (255, 255, 255)
    # Arrow: a triangle head from row 40 to 100 and a shaft to row 200.
    if 40 <= y < 100 and abs(x - 128) <= (y - 40) * 0.6:
        return (0, 0, 0)
    if 100 <= y < 200 and abs(x - 128) <= 12:
        return (0, 0, 0)
    tint = QUADRANT_TINTS[(x * 2 // SIZE, y * 2 // SIZE)]
    if (x // 32 + y // 32) % 2 == 0:
        return tint
    return tuple(c // 2 + 100 for c in tint)


def main(path):
    row_bytes = SIZE * 3  # a multiple of 4: no padding
    image = bytearray()
    for y in reversed(range(SIZE)):  # BMP rows are stored bottom-up
        for x in range(SIZE):
            r, g, b = texel(x, y)
            image += bytes((b, g, r))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(image), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, row_bytes * SIZE, 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "assets/SW_TEST.bmp")
