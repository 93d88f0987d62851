#!/usr/bin/env python3
"""Builds app.ico from the pixel map in icon.txt.

    python3 make_icon.py          write app.ico next to this script
    python3 make_icon.py --check  exit 1 if the committed app.ico is stale

The build embeds the committed app.ico, so nobody needs Python to compile
the program; --check keeps the two files from drifting apart.
"""

import argparse
import pathlib
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE / "icon.txt"
TARGET = HERE / "app.ico"

# The 16 colours every Windows display has had since VGA, in the order the
# system palette uses.  Drawing with these keeps the 4-bit images looking
# the same on any desktop.
PALETTE = [
    ("black", 0x000000), ("maroon", 0x800000), ("green", 0x008000), ("olive", 0x808000),
    ("navy", 0x000080), ("purple", 0x800080), ("teal", 0x008080), ("silver", 0xC0C0C0),
    ("gray", 0x808080), ("red", 0xFF0000), ("lime", 0x00FF00), ("yellow", 0xFFFF00),
    ("blue", 0x0000FF), ("fuchsia", 0xFF00FF), ("aqua", 0x00FFFF), ("white", 0xFFFFFF),
]

TRANSPARENT = "transparent"


class IconSourceError(Exception):
    def __init__(self, line_no, message):
        super().__init__(f"icon.txt:{line_no}: {message}")


def parse(text):
    """Returns [(size, rows)], rows being lists of palette indices or None
    for transparent pixels, in the order the images appear."""
    legend = {}
    images = []
    current = None  # (size, rows, line number of the header)

    for line_no, raw in enumerate(text.splitlines(), start=1):
        line = raw.rstrip()
        if current is not None:
            size, rows, _ = current
            if len(line) != size:
                raise IconSourceError(line_no, f"row {len(rows) + 1} of the {size}x{size} image "
                                               f"has {len(line)} pixels, expected {size}")
            row = []
            for column, char in enumerate(line, start=1):
                if char not in legend:
                    raise IconSourceError(line_no, f"column {column}: '{char}' is not in the legend")
                row.append(legend[char])
            rows.append(row)
            if len(rows) == size:
                images.append((size, rows))
                current = None
            continue

        if not line or line.lstrip().startswith("#"):
            continue
        words = line.split()
        if words[0] == "legend":
            legend_entry(legend, words[1:], line_no)
        elif words[0] == "image":
            size = image_size(words[1:], line_no)
            if any(size == seen for seen, _ in images):
                raise IconSourceError(line_no, f"a {size}x{size} image is already drawn")
            current = (size, [], line_no)
        else:
            raise IconSourceError(line_no, f"expected 'legend' or 'image', found '{words[0]}'")

    if current is not None:
        size, rows, header = current
        raise IconSourceError(header, f"the {size}x{size} image has only {len(rows)} rows")
    if not images:
        raise IconSourceError(1, "no image drawn")
    return images


def legend_entry(legend, words, line_no):
    if len(words) == 2 and words[1] == TRANSPARENT:
        char, index = words[0], None
    elif len(words) == 3:
        char, number, name = words
        if not number.isdigit() or int(number) >= len(PALETTE):
            raise IconSourceError(line_no, f"palette index '{number}' is not 0..15")
        index = int(number)
        if PALETTE[index][0] != name:
            raise IconSourceError(line_no, f"palette index {index} is {PALETTE[index][0]}, not {name}")
    else:
        raise IconSourceError(line_no, "expected 'legend CHAR INDEX COLOUR' or 'legend CHAR transparent'")
    # '#' would make a row look like a comment.
    if len(char) != 1 or char == "#":
        raise IconSourceError(line_no, f"'{char}' cannot stand for a pixel")
    if char in legend:
        raise IconSourceError(line_no, f"'{char}' is already in the legend")
    legend[char] = index


def image_size(words, line_no):
    if len(words) == 1:
        width, _, height = words[0].partition("x")
        # The ICO directory stores sizes in one byte, with 0 meaning 256;
        # only square sizes up to 255 fit without that special case.
        if width.isdigit() and width == height and 0 < int(width) < 256:
            return int(width)
    raise IconSourceError(line_no, "expected 'image NxN' with N from 1 to 255")


def row_stride(bits_per_row):
    # DIB rows are padded to whole 32-bit words.
    return (bits_per_row + 31) // 32 * 4


def encode_image(size, rows):
    """One ICO image: BITMAPINFOHEADER, palette, 4-bit XOR map, 1-bit AND mask."""
    xor_stride = row_stride(size * 4)
    and_stride = row_stride(size)
    xor_bits = bytearray()
    and_bits = bytearray()
    # DIBs are stored bottom row first.
    for row in reversed(rows):
        xor_row = bytearray(xor_stride)
        and_row = bytearray(and_stride)
        for x, index in enumerate(row):
            if index is None:
                # Black under a set mask bit leaves the screen untouched.
                and_row[x // 8] |= 0x80 >> (x % 8)
                index = 0
            xor_row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor_bits += xor_row
        and_bits += and_row

    header = struct.pack(
        "<IiiHHIIiiII",
        40,           # biSize
        size,         # biWidth
        size * 2,     # biHeight covers the XOR map and the AND mask
        1,            # biPlanes
        4,            # biBitCount
        0,            # biCompression = BI_RGB
        len(xor_bits) + len(and_bits),
        0, 0,         # no preferred resolution
        len(PALETTE), # biClrUsed
        0,            # biClrImportant
    )
    palette = b"".join(struct.pack("<BBBB", rgb & 0xFF, (rgb >> 8) & 0xFF, rgb >> 16, 0)
                       for _, rgb in PALETTE)
    return header + palette + bytes(xor_bits) + bytes(and_bits)


def build_ico(images):
    # Largest first: the order Windows' own icons use.
    images = sorted(images, key=lambda image: -image[0])
    blobs = [encode_image(size, rows) for size, rows in images]
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    offset = len(directory) + 16 * len(blobs)
    entries = b""
    for (size, _), blob in zip(images, blobs):
        entries += struct.pack("<BBBBHHII", size, size, len(PALETTE), 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return directory + entries + b"".join(blobs)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Build app.ico from icon.txt.")
    parser.add_argument("--check", action="store_true",
                        help="only compare the committed app.ico with icon.txt")
    args = parser.parse_args(argv)

    try:
        ico = build_ico(parse(SOURCE.read_text(encoding="utf-8")))
    except (OSError, IconSourceError) as error:
        print(f"make_icon: {error}", file=sys.stderr)
        return 1

    if args.check:
        try:
            committed = TARGET.read_bytes()
        except OSError as error:
            print(f"make_icon: cannot read {TARGET}: {error}", file=sys.stderr)
            return 1
        if committed != ico:
            print(f"make_icon: {TARGET.name} does not match {SOURCE.name}; "
                  f"run 'python3 resources/make_icon.py' and commit the result", file=sys.stderr)
            return 1
        print(f"make_icon: {TARGET.name} matches {SOURCE.name}")
        return 0

    TARGET.write_bytes(ico)
    print(f"make_icon: wrote {TARGET} ({len(ico)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
