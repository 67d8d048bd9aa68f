#!/usr/bin/env python3
"""Draws the updater's icon (resources/Patch_Veltris5v13.ico: 32x32 and 16x16,
16 colours) and the tick-box strip (resources/checkboxes.bmp: 32x16, 16
colours, pure red as the transparent colour). Deterministic: run it again and
the files come out byte for byte the same."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "..", "resources")

# The standard 16-colour palette, in the order Windows uses for 4-bit images.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREY, RED, WHITE, NAVY, BLUE, YELLOW, GREEN, SILVER = 0, 8, 9, 15, 4, 12, 11, 2, 7


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def pack_4bpp(pixels, width, height):
    """Bottom-up rows of 4-bit indices, each row padded to 4 bytes."""
    stride = ((width * 4 + 31) // 32) * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(0, width, 2):
            row.append((pixels[y][x] << 4) | pixels[y][x + 1])
        out += row + bytes(stride - len(row))
    return bytes(out)


def pack_mask(mask, width, height):
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray((width + 7) // 8)
        for x in range(width):
            if mask[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row + bytes(stride - len(row))
    return bytes(out)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def draw_icon(size):
    """A closed book (the database) with a yellow arrow pointing up (the update)."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c

    rect(4, 3, 24, 29, NAVY)       # cover
    rect(6, 5, 22, 27, BLUE)
    rect(22, 5, 26, 29, WHITE)     # page edges
    rect(22, 5, 23, 29, SILVER)
    rect(9, 9, 19, 11, WHITE)      # title band
    rect(9, 13, 17, 14, WHITE)
    # arrow: shaft and head
    rect(23, 16, 27, 31, YELLOW)
    for i in range(6):
        rect(19 + i, 16 - i, 31 - i, 17 - i, YELLOW)
    transparent = [[c is None for c in row] for row in px]
    pixels = [[BLACK if c is None else c for c in row] for row in px]
    return pixels, transparent


def icon_file():
    images = []
    for size in (32, 16):
        pixels, transparent = draw_icon(size)
        xor = pack_4bpp(pixels, size, size)
        mask = pack_mask(transparent, size, size)
        data = info_header(size, size * 2, len(xor) + len(mask)) + palette_bytes() + xor + mask
        images.append((size, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    blobs = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
        blobs += data
    return header + entries + blobs


def checkbox_strip():
    width, height = 32, 16
    px = [[RED] * width for _ in range(height)]
    for image in range(2):
        ox = image * 16
        for y in range(1, 14):
            for x in range(1, 14):
                border = y in (1, 13) or x in (1, 13)
                px[y][ox + x] = GREY if border else WHITE
        if image == 1:
            # a tick: short stroke down to the right, long stroke up to the right
            for i, (x, y) in enumerate([(3, 6), (4, 7), (5, 8), (6, 9), (7, 8), (8, 7), (9, 6), (10, 5), (11, 4)]):
                for dy in range(3):
                    px[y + dy - 1][ox + x] = BLACK
    bits = pack_4bpp(px, width, height)
    info = info_header(width, height, len(bits)) + palette_bytes()
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    return file_header + info + bits


def main():
    with open(os.path.join(RESOURCES, "Patch_Veltris5v13.ico"), "wb") as f:
        f.write(icon_file())
    with open(os.path.join(RESOURCES, "checkboxes.bmp"), "wb") as f:
        f.write(checkbox_strip())


if __name__ == "__main__":
    main()
