#!/usr/bin/env python3
"""The pictures of the README and docs/:
- every image the README and docs/*.md link to is a file of this repository;
- the README shows the demo before its first command;
- every picture of docs/images/pictures.txt decodes to the pixels of its
  golden frame, is small and carries nothing that changes from run to run
  (no time or text chunks), and every PNG there is listed in it;
- the SVG plots are small and undated;
- scripts/docs-plots turns a run of the scaling harness into the rows of
  docs/scaling.csv as the harness's own tables form them.
The PNG and BMP decoders here are written from the formats, apart from the
encoder in scripts/docs-images.
  check_docs.py ROOT
"""
import glob
import importlib.machinery
import importlib.util
import os
import random
import re
import shlex
import struct
import sys
import tempfile
import unittest
import zlib

ROOT = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
IMAGES = os.path.join(ROOT, "docs", "images")
MAX_BYTES = 150 * 1024

INLINE_IMAGE = re.compile(r'!\[[^\]]*\]\(')
INLINE_TARGET = re.compile(r'\s*(?:<([^<>\n]+)>|([^\s()<>]+))(?:\s+"[^"\n]*")?\s*\)')
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
    links = []
    for m in INLINE_IMAGE.finditer(text):
        target = INLINE_TARGET.match(text, m.end())
        links.append((m.start(), target.group(1) or target.group(2) if target else
                      text[m.start():m.start() + 60] + " (unreadable)"))
    links += [(m.start(), m.group(1)) for m in HTML_IMAGE.finditer(text)]
    for m in REFERENCE_IMAGE.finditer(text):
        label = (m.group(2) or m.group(1)).lower()
        links.append((m.start(), definitions.get(label, "[" + label + "] (undefined reference)")))
    return sorted(links)


def read_manifest():
    with open(os.path.join(IMAGES, "pictures.txt")) as f:
        return [words for words in (shlex.split(line, comments=True) for line in f) if words]


class Png:
    """An 8-bit RGB or palette PNG: its size, RGB rows (top first), chunk
    types, colour type and the filter types its rows use."""

    def __init__(self, data):
        self.chunks, self.filters = [], set()
        self.width, self.height, self.rows = self.decode(data)

    def decode(self, data):
        assert data[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
        idat, palette, pos = b"", None, 8
        while pos < len(data):
            length, = struct.unpack(">I", data[pos:pos + 4])
            kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
            crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
            assert zlib.crc32(kind + body) == crc, f"{kind} chunk: bad CRC"
            self.chunks.append(kind.decode("latin-1"))
            if kind == b"IHDR":
                width, height, depth, colour, method, filtering, interlace = struct.unpack(">IIBBBBB", body)
                self.colour = colour
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
            self.filters.add(kind)
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
        return width, height, rows


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

    def test_every_kind_of_image_link_is_found(self):
        cases = [  # Markdown, the image targets in it
            ('![a](x.png) and ![b](<y z.png> "title")', ["x.png", "y z.png"]),
            ('![a][ref] ![ref]\n\n[ref]: images/r.svg "title"\n', ["images/r.svg", "images/r.svg"]),
            ('![a][nowhere]', ["[nowhere] (undefined reference)"]),
            ('![a](x.png "unclosed title)', ['![a](x.png "unclosed title) (unreadable)']),
            ('<p><img width="320" src="docs/images/h.png"></p>', ["docs/images/h.png"]),
            ('[a link](x.md), [ref]: not-an-image.png', []),
            ('```md\n![in code](c.png)\n```\n![after](d.png)', ["d.png"]),
        ]
        for text, targets in cases:
            with self.subTest(text=text):
                self.assertEqual([target for _, target in image_links(text)], targets)

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
                with open(path, "rb") as f:
                    png = Png(f.read())
                self.assertTrue(set(png.chunks) <= {"IHDR", "PLTE", "IDAT", "IEND"}, f"chunks {png.chunks}")
                self.assertEqual(png.chunks[-1], "IEND")
                gold_width, gold_height, gold_rows = bmp_rows(os.path.join(ROOT, golden))
                self.assertEqual((png.width, png.height), (gold_width, gold_height))
                for y, (row, gold) in enumerate(zip(png.rows, gold_rows)):
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


def load_script(name):
    loader = importlib.machinery.SourceFileLoader(name.replace("-", "_"), os.path.join(ROOT, "scripts", name))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def noise(rng, width, height, colours):
    palette = [bytes(rng.randrange(256) for _ in range(3)) for _ in range(colours)]
    return [b"".join(rng.choice(palette) for _ in range(width)) for _ in range(height)]


def ramps(width, height):
    """Rows of ramps in x, in y and in both, and their noise-free mixtures:
    each of the five filters is the best for some row."""
    def pixel(x, y):
        kind = y // 4 % 5
        return [(x * 37 + y * 11) % 251, (y * 3, x * 5 + y * 7, 9 * x * y, x * x)[kind % 4] & 255, (x ^ y) * 5 & 255]
    return [bytes(v for x in range(width) for v in pixel(x, y)) for y in range(height)]


def bmp_bytes(width, height, rows):
    """A 24-bit bottom-up BMP, rows padded to four bytes."""
    pad = bytes(-width * 3 % 4)
    pixels = b"".join(b"".join(row[i:i + 3][::-1] for i in range(0, len(row), 3)) + pad for row in reversed(rows))
    return (struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


class Encoder(unittest.TestCase):
    """scripts/docs-images' BMP reader and PNG writer against the decoders here."""

    def test_random_images_come_back_unchanged(self):
        rng = random.Random(26)
        cases = [  # name, width, height, rows, colour type expected
            ("many colours, odd width", 37, 23, noise(rng, 37, 23, 1000), 2),
            ("5 colours", 31, 17, noise(rng, 31, 17, 5), 3),
            ("256 colours", 16, 16, [bytes(v for i in range(16) for v in (y, i, 7)) for y in range(16)], 3),
            ("257 colours", 257, 2, [bytes(v for i in range(257) for v in (i & 255, i >> 8, 9)) for _ in range(2)], 2),
            ("one pixel", 1, 1, [b"\x01\x02\x03"], 3),
            ("ramps", 61, 40, ramps(61, 40), 2),
        ]
        images = load_script("docs-images")
        filters = set()
        for name, width, height, rows, colour in cases:
            with self.subTest(image=name), tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "image.bmp")
                with open(path, "wb") as f:
                    f.write(bmp_bytes(width, height, rows))
                self.assertEqual(images.read_bmp(path), (width, height, rows))
                png = Png(images.encode_png(width, height, rows))
                self.assertEqual((png.width, png.height, png.colour), (width, height, colour))
                self.assertEqual(png.rows, rows)
                filters |= png.filters
        self.assertEqual(filters, {0, 1, 2, 3, 4})


# A run of the harness: (configuration, round, side, median us), side kx for
# ours (with its thread count), gl2 and gl1 for llvmpipe with 2 and 1 threads.
RUNS = [
    ("tris_1k", 1, "kx", 300), ("tris_1k", 1, "gl2", 600), ("tris_1k", 1, "gl1", 1000),
    ("tris_1k", 2, "kx", 330), ("tris_1k", 2, "gl2", 500), ("tris_1k", 2, "gl1", 1100),
    ("tris_1k", 3, "gl1", 800), ("tris_1k", 3, "gl2", 800), ("tris_1k", 3, "kx", 320),
    ("tris_1k", 4, "kx", 900), ("tris_1k", 4, "gl2", 300), ("tris_1k", 4, "gl1", 300),  # disturbed
    ("over_4_b2f", 1, "kx", 1000), ("over_4_b2f", 1, "gl2", 2000),
    ("over_4_b2f", 2, "kx", 1200), ("over_4_b2f", 2, "gl2", 1000),  # disturbed, but too few clean rounds
    ("over_4_b2f", 3, "kx", 1100), ("over_4_b2f", 3, "gl2", 2200),
]
# Another job was seen this many seconds before the start or after the end of
# a run of these rounds, within the half second the harness allows.
DISTURBED = {("tris_1k", 4): -0.3, ("over_4_b2f", 2): 1.3}
SHAPES = {"tris_1k": "tris=1000 w=640 h=480 copies=1 order=f", "over_4_b2f": "tris=10000 w=640 h=480 copies=4 order=b"}
# Expected: (triangles, copies, order, kx threads, llvmpipe threads, ours us, llvmpipe us, ratio, min, max, rounds)
EXPECTED = [
    ("1000", "1", "f", "1", "2", "320", "600", "0.50", "0.40", "0.66", "3"),
    ("1000", "1", "f", "1", "1", "320", "1000", "0.30", "0.30", "0.40", "3"),
    ("10000", "4", "b", "2", "2", "1100", "2000", "0.50", "0.50", "1.20", "3"),
]


class ScalingImport(unittest.TestCase):
    def write_run(self, folder):
        raw = ["# 2026-12-08T10:00:00Z vm 2 cpus;  AMD EPYC", "# rounds 1-4 ONLY=. SECONDS_PER_RUN=1.0 QUIET_MAX=20",
               "RESULT side=kx tag=clear_640x480_r1 tris=10000 w=640 h=480 copies=0 order=f median_us=26.0 "
               "threads=1 status=ok t0=1.0 t1=1.5",
               "RESULT side=gl tag=clear_640x480_r1 lp_threads=default tris=10000 w=640 h=480 copies=0 order=f "
               "median_us=216.0 status=ok t0=1.6 t1=2.0",
               "RESULT side=gl tag=over_4_b2f_r1 lp_threads=1 tris=10000 w=640 h=480 copies=4 order=b "
               "median_us=1.0 glerr=0x502 status=glerror t0=2.0 t1=2.5"]
        monitor = []
        for i, (name, round_number, side, median) in enumerate(RUNS):
            t0 = 10.0 * (i + 1)
            fields = (f"side=kx tag={name}_r{round_number} {SHAPES[name]} median_us={median}.0 "
                      f"threads={2 if name.startswith('over') else 1}" if side == "kx" else
                      f"side=gl tag={name}_r{round_number} lp_threads={'1' if side == 'gl1' else 'default'} "
                      f"{SHAPES[name]} median_us={median}.0")
            raw.append(f"RESULT {fields} status=ok t0={t0} t1={t0 + 1}")
            if (name, round_number) in DISTURBED and side == "kx":
                monitor.append(f"FOREIGN t={t0 + DISTURBED[(name, round_number)]} pid=99 comm=cc1plus")
        monitor.append("FOREIGN t=10.5 pid=98 comm=sed")  # the harness's own helper: not another job
        for name, lines in (("results_raw.txt", raw), ("results_monitor.txt", monitor)):
            with open(os.path.join(folder, name), "w") as f:
                f.write("\n".join(lines) + "\n")

    def test_rows_are_the_medians_over_the_clean_rounds(self):
        with tempfile.TemporaryDirectory() as folder:
            self.write_run(folder)
            rows = load_script("docs-plots").rows_from_run(folder, "new build", None)
        got = [tuple(row[c] for c in ("triangles", "copies", "order", "kx_threads", "lp_threads", "ours_us",
                                      "llvmpipe_us", "ratio", "ratio_min", "ratio_max", "rounds")) for row in rows]
        self.assertEqual(got, EXPECTED)
        self.assertEqual({(row["date"], row["host"], row["build"]) for row in rows},
                         {("2026-12-08", "AMD EPYC 2 cores", "new build")})


if __name__ == "__main__":
    unittest.main(verbosity=2)
