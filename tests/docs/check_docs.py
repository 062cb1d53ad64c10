#!/usr/bin/env python3
"""The pictures of the README and docs/:
- every image the README and docs/*.md link to is a file of this repository;
- the README shows the demo before its first command;
- every picture of docs/images/pictures.txt decodes to the pixels of its
  golden frame, is small and carries nothing that changes from run to run
  (no time or text chunks), and every PNG there is listed in it;
- the SVG plots are small and undated.
The PNG and BMP decoders here are written from the formats, apart from the
encoder in scripts/docs-images.
  check_docs.py ROOT
"""
import glob
import os
import re
import shlex
import struct
import sys
import unittest
import zlib

ROOT = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
IMAGES = os.path.join(ROOT, "docs", "images")
MAX_BYTES = 150 * 1024

INLINE_IMAGE = re.compile(r'!\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
REFERENCE_IMAGE = re.compile(r'!\[([^\]]*)\](?:\[([^\]]*)\])?(?![(:])')
REFERENCE_DEFINITION = re.compile(r'^ {0,3}\[([^\]]+)\]:\s*<?(\S+?)>?(?:\s|$)', re.M)
HTML_IMAGE = re.compile(r'<img\s[^>]*?src\s*=\s*["\']([^"\']+)["\']', re.I)
FENCE = re.compile(r'^ {0,3}(```|~~~).*?^ {0,3}\1', re.M | re.S)


def markdown_files():
    return [os.path.join(ROOT, "README.md")] + sorted(glob.glob(os.path.join(ROOT, "docs", "*.md")))


def image_links(text):
    """(offset, target) of every image in a Markdown text, fenced code left out."""
    text = FENCE.sub(lambda m: " " * len(m.group(0)), text)
    definitions = {label.lower(): target for label, target in REFERENCE_DEFINITION.findall(text)}
    links = [(m.start(), m.group(1)) for m in INLINE_IMAGE.finditer(text)]
    links += [(m.start(), m.group(1)) for m in HTML_IMAGE.finditer(text)]
    for m in REFERENCE_IMAGE.finditer(text):
        label = (m.group(2) or m.group(1)).lower()
        links.append((m.start(), definitions.get(label, "[" + label + "] (undefined reference)")))
    return sorted(links)


def read_manifest():
    with open(os.path.join(IMAGES, "pictures.txt")) as f:
        return [words for words in (shlex.split(line, comments=True) for line in f) if words]


def png_rows(path):
    """RGB rows, top first, of an 8-bit RGB or palette PNG; the chunk types."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
    kinds, idat, palette, pos = [], b"", None, 8
    while pos < len(data):
        length, = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert zlib.crc32(kind + body) == crc, f"{kind} chunk: bad CRC"
        kinds.append(kind.decode("latin-1"))
        if kind == b"IHDR":
            width, height, depth, colour, method, filtering, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 3) and (method, filtering, interlace) == (0, 0, 0), \
                f"IHDR {depth}-bit colour type {colour} interlace {interlace}: not an 8-bit RGB or palette PNG"
        elif kind == b"PLTE":
            palette = [body[i:i + 3] for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 3 if colour == 2 else 1
    stride = width * channels
    raw = zlib.decompress(idat)
    assert len(raw) == height * (stride + 1), "image data of the wrong length"
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                nearest = min((abs(p - a), 0, a), (abs(p - b), 1, b), (abs(p - c), 2, c))[2]
                line[i] = (line[i] + nearest) & 255
            else:
                assert kind == 0, f"row {y}: filter type {kind}"
        prev = line
        rows.append(bytes(line) if colour == 2 else b"".join(palette[index] for index in line))
    return width, height, rows, kinds


def bmp_rows(path):
    """RGB rows, top first, of a 24-bit bottom-up BMP."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack("<I", data[10:14])
    width, height, _, bits = struct.unpack("<iiHH", data[18:30])
    assert data[:2] == b"BM" and bits == 24 and height > 0, f"{path}: not a bottom-up 24-bit BMP"
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):
        bgr = data[offset + y * stride:offset + y * stride + width * 3]
        rows.append(b"".join(bgr[i:i + 3][::-1] for i in range(0, len(bgr), 3)))
    return width, height, rows


class ImageLinks(unittest.TestCase):
    def test_every_image_link_resolves(self):
        for md in markdown_files():
            with open(md) as f:
                links = image_links(f.read())
            for _, target in links:
                with self.subTest(file=os.path.relpath(md, ROOT), link=target):
                    self.assertNotRegex(target, r"^[a-z][a-z0-9+.-]*:", "pictures are kept in this repository")
                    path = os.path.normpath(os.path.join(os.path.dirname(md), target.split("#")[0]))
                    self.assertTrue(path.startswith(ROOT + os.sep), "outside the repository")
                    self.assertTrue(os.path.isfile(path), "no such file")

    def test_readme_shows_the_demo_before_the_first_command(self):
        with open(os.path.join(ROOT, "README.md")) as f:
            text = f.read()
        demo = [offset for offset, target in image_links(text) if target == "docs/images/demo.png"]
        command = re.search(r"^(    |```)", text, re.M)
        self.assertTrue(demo, "README.md does not show docs/images/demo.png")
        self.assertLess(demo[0], command.start() if command else len(text))


class Pictures(unittest.TestCase):
    def test_pictures_decode_to_their_golden_frames(self):
        for picture, golden, *_ in read_manifest():
            with self.subTest(picture=picture, golden=golden):
                path = os.path.join(IMAGES, picture)
                self.assertLessEqual(os.path.getsize(path), MAX_BYTES)
                width, height, rows, kinds = png_rows(path)
                self.assertTrue(set(kinds) <= {"IHDR", "PLTE", "IDAT", "IEND"}, f"chunks {kinds}")
                self.assertEqual(kinds[-1], "IEND")
                gold_width, gold_height, gold_rows = bmp_rows(os.path.join(ROOT, golden))
                self.assertEqual((width, height), (gold_width, gold_height))
                for y, (row, gold) in enumerate(zip(rows, gold_rows)):
                    if row != gold:
                        x = next(i for i in range(len(row)) if row[i] != gold[i]) // 3
                        self.fail(f"pixel ({x}, {y}) is {row[3 * x:3 * x + 3].hex()}, "
                                  f"{gold[3 * x:3 * x + 3].hex()} in the golden frame")

    def test_every_png_is_made_by_docs_images(self):
        listed = {words[0] for words in read_manifest()}
        for path in glob.glob(os.path.join(IMAGES, "*.png")):
            self.assertIn(os.path.basename(path), listed, "not in docs/images/pictures.txt")

    def test_plots_are_small_and_undated(self):
        for path in glob.glob(os.path.join(IMAGES, "*.svg")):
            with self.subTest(plot=os.path.basename(path)):
                self.assertLessEqual(os.path.getsize(path), MAX_BYTES)
                with open(path) as f:
                    self.assertNotIn("<dc:date>", f.read())


if __name__ == "__main__":
    unittest.main(verbosity=2)
