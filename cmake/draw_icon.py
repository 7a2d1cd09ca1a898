"""Draws the program's icon, a calendar page with a date mark, as an .ico file holding three
images (16, 32 and 48 pixels), each with 16 colours (4 bits per pixel) and a transparency mask."""

import struct
import sys

# The 16 colours of the standard palette, as (blue, green, red, 0).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
           (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
           (255, 0, 255), (255, 255, 0), (255, 255, 255)]
BLACK, DARK_GREY, GREY, RED, BLUE, WHITE = 0, 8, 7, 9, 12, 15


def draw(size):
    """Rows top to bottom of palette indices; None is transparent."""
    s = size / 16.0
    pixels = [[None] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):  # in 16-pixel units, inclusive-exclusive
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pixels[y][x] = colour

    box(1, 2, 15, 16, DARK_GREY)          # page outline
    box(2, 3, 14, 15, WHITE)              # page
    box(2, 3, 14, 6, RED)                 # header band
    box(4, 1, 5, 4, BLACK)                # rings
    box(11, 1, 12, 4, BLACK)
    for row in range(2):                  # the days
        for col in range(3):
            box(3 + col * 4, 7 + row * 4, 5 + col * 4, 9 + row * 4, GREY)
    box(11, 11, 13, 13, BLUE)             # today
    return pixels


def image(size):
    pixels = draw(size)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, (xor_row + and_row) * size, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in
                       [(c[2], c[1], c[0]) for c in PALETTE])
    xor = b""
    mask = b""
    for row in reversed(pixels):  # bottom-up
        nibbles = [c if c is not None else 0 for c in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += data.ljust(xor_row, b"\0")
        bits = 0
        out = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                out.append(bits)
                bits = 0
        mask += bytes(out).ljust(and_row, b"\0")
    return header + palette + xor + mask


def icon():
    sizes = [16, 32, 48]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(icon())
