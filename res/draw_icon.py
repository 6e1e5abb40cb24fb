#!/usr/bin/env python3
"""Draws the program's icon, a synthesizer module: an oscilloscope showing one
period of a sine wave above a knob and two jacks joined by a patch cable.

Writes one .ico file with the two images that both icon groups of setup.rc
use, 32 x 32 and 16 x 16 pixels in the 16 standard Windows colours, each a
4-bit colour bitmap with a 1-bit transparency mask, as icon editors of the
Windows 95 era stored them.

    draw_icon.py ICO            write the icon
    draw_icon.py --check ICO    exit 1 unless ICO holds exactly these bytes

The pictures below are the source: one character per pixel, top row first.
"""
import struct
import sys

# The 16-colour palette in the order Windows' own VGA palette has it, and the
# character that stands for each colour in the pictures. '.' is transparent.
PALETTE = [
    ("k", (0x00, 0x00, 0x00)),  # black
    ("r", (0x80, 0x00, 0x00)),  # dark red
    ("g", (0x00, 0x80, 0x00)),  # dark green
    ("y", (0x80, 0x80, 0x00)),  # olive
    ("b", (0x00, 0x00, 0x80)),  # navy
    ("m", (0x80, 0x00, 0x80)),  # purple
    ("c", (0x00, 0x80, 0x80)),  # teal
    ("s", (0xC0, 0xC0, 0xC0)),  # silver
    ("d", (0x80, 0x80, 0x80)),  # dark grey
    ("R", (0xFF, 0x00, 0x00)),  # red
    ("G", (0x00, 0xFF, 0x00)),  # green
    ("Y", (0xFF, 0xFF, 0x00)),  # yellow
    ("B", (0x00, 0x00, 0xFF)),  # blue
    ("M", (0xFF, 0x00, 0xFF)),  # magenta
    ("C", (0x00, 0xFF, 0xFF)),  # cyan
    ("w", (0xFF, 0xFF, 0xFF)),  # white
]
TRANSPARENT = "."

LARGE = [
    "................................",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    ".kssssssssssssssssssssssssssssk.",
    ".ksdddddddddddddddddddddddddddk.",
    ".ksdddddddddddddddddddddddddddk.",
    ".ksdkkkkkkkkkkkkkkkkkkkkkkkksdk.",
    ".ksdkkkkkGGGGkkkkkkkkkkkkkkksdk.",
    ".ksdkkkkGkkkkGkkkkkkkkkkkkkksdk.",
    ".ksdkkkGkkkkkkGkkkkkkkkkkkkksdk.",
    ".ksdkkGkkkkkkkkGkkkkkkkkkkkksdk.",
    ".ksdgGgkgkgkgkgkGkgkgkgkgkgksdk.",
    ".ksdkkkkkkkkkkkkkGkkkkkkkkGksdk.",
    ".ksdkkkkkkkkkkkkkkGkkkkkkGkksdk.",
    ".ksdkkkkkkkkkkkkkkkGkkkkGkkksdk.",
    ".ksdkkkkkkkkkkkkkkkkGGGGkkkksdk.",
    ".ksdkkkkkkkkkkkkkkkkkkkkkkkksdk.",
    ".ksdsssssssssssssssssssssssssdk.",
    ".ksdddddddddddddddddddddddddddk.",
    ".ksdddssddddddssssddddddssddddk.",
    ".ksddsRRsddddsswsssddddsRRsdddk.",
    ".ksddsRRsddddsswsssddddsRRsdddk.",
    ".ksdddRrdddddssssssdddddrRddddk.",
    ".ksdddRrdddddssssssdddddrRddddk.",
    ".ksddddRddddddkkkkddddddRdddddk.",
    ".ksddddrRddddddddddddddRrdddddk.",
    ".ksdddddrRddddddddddddRrddddddk.",
    ".ksddddddrRRddddddddRRrdddddddk.",
    ".ksdddddddrrRRRRRRRRrrddddddddk.",
    ".ksdddddddddrrrrrrrrddddddddddk.",
    ".ksdddddddddddddddddddddddddddk.",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "................................",
]

SMALL = [
    ".kkkkkkkkkkkkkk.",
    "kssssssssssssssk",
    "ksdddddddddddddk",
    "ksdkkGGkkkkkksdk",
    "ksdkGkkGkkkkksdk",
    "ksdGkkkkGkkkksdk",
    "ksdkkkkkkGkkGsdk",
    "ksdkkkkkkkGGksdk",
    "ksdsssssssssssdk",
    "ksdssddddddssddk",
    "kssRRsdwsdsRRsdk",
    "ksdRrddssddrRddk",
    "ksddRddddddRdddk",
    "ksddrRRRRRRrdddk",
    "ksdddrrrrrrddddk",
    ".kkkkkkkkkkkkkk.",
]

COLOUR_INDEX = {char: index for index, (char, _) in enumerate(PALETTE)}


def padded(row_bytes):
    """Bitmap rows are stored in whole 32-bit words."""
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image_bytes(picture):
    """One icon image: header, palette, colour bitmap, transparency mask."""
    size = len(picture)
    assert all(len(row) == size for row in picture), "the picture must be square"
    colours = bytearray()
    mask = bytearray()
    # Both bitmaps are stored bottom row first.
    for row in reversed(picture):
        nibbles = [0 if c == TRANSPARENT else COLOUR_INDEX[c] for c in row]
        colours += padded(bytes(hi << 4 | lo for hi, lo in zip(nibbles[0::2], nibbles[1::2])))
        bits = [1 if c == TRANSPARENT else 0 for c in row]
        mask += padded(bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, size, 8)))
    # BITMAPINFOHEADER: the height counts the colour bitmap and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    palette = b"".join(bytes((b, g, r, 0)) for _, (r, g, b) in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def icon_file(pictures):
    """ICONDIR, one ICONDIRENTRY per image, then the images in that order."""
    images = [image_bytes(p) for p in pictures]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for picture, image in zip(pictures, images):
        size = len(picture)
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def main(arguments):
    check = arguments[:1] == ["--check"]
    if check:
        arguments = arguments[1:]
    if len(arguments) != 1:
        print("usage: draw_icon.py [--check] ICO", file=sys.stderr)
        return 2
    path = arguments[0]
    data = icon_file([LARGE, SMALL])
    if check:
        try:
            with open(path, "rb") as stored:
                same = stored.read() == data
        except OSError as error:
            print(f"{path}: {error.strerror}", file=sys.stderr)
            return 1
        if not same:
            print(f"{path} differs from what draw_icon.py draws; run draw_icon.py {path}",
                  file=sys.stderr)
            return 1
        return 0
    with open(path, "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
