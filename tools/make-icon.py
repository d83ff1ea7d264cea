#!/usr/bin/env python3
"""Turns the text picture of the program icon into a 16x16, 16-colour .ico file."""
import struct
import sys

# The standard 16-colour palette as red, green, blue.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def read_picture(path):
    rows = [line.rstrip("\n") for line in open(path, encoding="ascii") if not line.startswith("#")]
    rows = [r for r in rows if r]
    if len(rows) != 16 or any(len(r) != 16 for r in rows):
        sys.exit(f"{path}: the picture must be 16 rows of 16 characters")
    for r in rows:
        for c in r:
            if c != "." and c not in "0123456789ABCDEF":
                sys.exit(f"{path}: unknown pixel {c!r}")
    return rows


def icon_image(rows):
    # Bitmaps are stored bottom-up; the height counts colour and mask halves.
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 4, 0, 192, 0, 0, 16, 0)
    # Colour table entries are stored as blue, green, red, reserved.
    palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        indices = [0 if c == "." else int(c, 16) for c in row]
        colour += bytes((indices[i] << 4) | indices[i + 1] for i in range(0, 16, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == "." else 0)
        mask += struct.pack(">H", bits) + b"\0\0"  # each mask row padded to 32 bits
    image = header + palette + bytes(colour) + bytes(mask)
    assert len(image) == 296
    return image


def main():
    source, target = sys.argv[1], sys.argv[2]
    image = icon_image(read_picture(source))
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    with open(target, "wb") as out:
        out.write(directory + entry + image)


if __name__ == "__main__":
    main()
