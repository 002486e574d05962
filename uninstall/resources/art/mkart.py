#!/usr/bin/env python3
"""Draws PWUNINST's pictures: the class icon and bitmaps 401 to 405.

Run once from anywhere; it writes the .bmp and .ico files next to pwuninst.rc. The output
depends on nothing but this file, so running it again gives the same bytes.
    python3 uninstall/resources/art/mkart.py
"""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")

# The 16 colours of the standard VGA palette, as 4-bit bitmaps and icons use them.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# A 5 x 7 font for the few letters the pictures carry.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "0": ["01110", "10011", "10101", "10101", "11001", "10001", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, fill=0):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.px[y][x] = c

    def frame(self, x0, y0, x1, y1, c):
        self.rect(x0, y0, x1, y0 + 1, c)
        self.rect(x0, y1 - 1, x1, y1, c)
        self.rect(x0, y0, x0 + 1, y1, c)
        self.rect(x1 - 1, y0, x1, y1, c)

    def text(self, x, y, s, c, scale=1):
        for ch in s:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, c)
            x += 6 * scale

    def printer(self, x, y, scale, body, paper, dark, led=LIME):
        """A printer seen from the front: paper in the tray, body, output slot."""
        s = scale
        self.rect(x + 3 * s, y, x + 13 * s, y + 5 * s, paper)
        self.rect(x, y + 4 * s, x + 16 * s, y + 11 * s, body)
        self.frame(x, y + 4 * s, x + 16 * s, y + 11 * s, dark)
        self.rect(x + 3 * s, y + 8 * s, x + 13 * s, y + 9 * s, dark)
        self.rect(x + 12 * s, y + 5 * s, x + 14 * s, y + 6 * s, led)


def bmp_bytes(canvas, bits, palette):
    """A bottom-up BMP file of `bits` per pixel (4 or 8)."""
    row_bytes = ((canvas.w * bits + 31) // 32) * 4
    rows = []
    for y in reversed(range(canvas.h)):
        line = canvas.px[y]
        if bits == 4:
            data = bytearray()
            for x in range(0, canvas.w, 2):
                hi = line[x]
                lo = line[x + 1] if x + 1 < canvas.w else 0
                data.append((hi << 4) | lo)
        else:
            data = bytearray(line)
        data += b"\0" * (row_bytes - len(data))
        rows.append(bytes(data))
    pixels = b"".join(rows)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, bits, 0, len(pixels),
                       2835, 2835, len(palette), 0)
    offset = 14 + len(info) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + pal + pixels


def ico_bytes(canvas, transparent):
    """A one-image 16-colour icon; pixels of colour `transparent` show the desktop."""
    w, h = canvas.w, canvas.h
    xor_row = ((w * 4 + 31) // 32) * 4
    and_row = ((w + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(h)):
        line = [0 if c == transparent else c for c in canvas.px[y]]
        row = bytearray((line[x] << 4) | line[x + 1] for x in range(0, w, 2))
        xor += row + b"\0" * (xor_row - len(row))
        bits = bytearray(and_row)
        for x, c in enumerate(canvas.px[y]):
            if c == transparent:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in VGA16)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + pal + bytes(xor) + bytes(mask)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(image), 6 + 16)
    return head + entry + image


def splash():
    c = Canvas(322, 142, NAVY)
    # Bands from navy to blue, like the background the picture sits on.
    for y in range(142):
        if (y * 4 // 142 + (y % 2)) % 4 >= 2:
            c.rect(0, y, 322, y + 1, BLUE)
    c.frame(0, 0, 322, 142, WHITE)
    c.frame(2, 2, 320, 140, SILVER)
    c.printer(20, 30, 5, SILVER, WHITE, GREY)
    c.text(120, 30, "KV PELLORA 4720", WHITE, 2)
    c.text(120, 62, "UNINSTALL", YELLOW, 3)
    c.rect(120, 100, 302, 102, AQUA)
    return c


def side():
    c = Canvas(143, 277, 0)
    palette = []
    # Colours 0..199: a ramp from deep blue to light cyan; the rest keep the picture's inks.
    for i in range(200):
        t = i / 199
        palette.append((int(20 * (1 - t) + 150 * t), int(30 * (1 - t) + 220 * t),
                        int(110 * (1 - t) + 255 * t)))
    inks = [(255, 255, 255), (192, 192, 192), (128, 128, 128), (0, 0, 0), (255, 255, 0),
            (0, 160, 0)]
    palette += inks
    palette += [(0, 0, 0)] * (256 - len(palette))
    ink = {name: 200 + i for i, name in enumerate(["white", "silver", "grey", "black",
                                                     "yellow", "green"])}
    for y in range(277):
        for x in range(143):
            c.px[y][x] = min(199, (y * 199) // 276 + (x * 20) // 142) if y < 276 else 199
    c.printer(23, 90, 6, ink["silver"], ink["white"], ink["grey"], ink["green"])
    c.rect(45, 190, 98, 200, ink["yellow"])
    c.text(25, 230, "4720", ink["white"], 3)
    return c, palette


def mark(checked):
    c = Canvas(11, 11, WHITE)
    c.frame(0, 0, 11, 11, GREY)
    c.frame(1, 1, 10, 10, BLACK)
    if checked:
        for x, y in [(3, 5), (4, 6), (5, 7), (6, 6), (7, 5), (8, 4)]:
            c.rect(x, y - 1, x + 1, y + 1, BLACK)
    return c


def strip():
    c = Canvas(229, 22, SILVER)
    c.rect(0, 0, 229, 1, WHITE)
    c.rect(0, 21, 229, 22, GREY)
    c.rect(4, 4, 18, 18, NAVY)
    c.printer(5, 6, 1, SILVER, WHITE, GREY)
    c.text(26, 7, "KV PELLORA 4720", NAVY)
    return c


def icon():
    c = Canvas(32, 32, TEAL)  # teal shows the desktop
    c.printer(2, 6, 2, SILVER, WHITE, GREY)
    # A red cross: the printer goes.
    for i in range(12):
        c.rect(18 + i, 18 + i, 20 + i, 20 + i, RED)
        c.rect(29 - i, 18 + i, 31 - i, 20 + i, RED)
    return c


def main():
    side_canvas, side_palette = side()
    outputs = {
        "splash.bmp": bmp_bytes(splash(), 4, VGA16),
        "side.bmp": bmp_bytes(side_canvas, 8, side_palette),
        "checked.bmp": bmp_bytes(mark(True), 4, VGA16),
        "unchecked.bmp": bmp_bytes(mark(False), 4, VGA16),
        "strip.bmp": bmp_bytes(strip(), 4, VGA16),
        "uninst.ico": ico_bytes(icon(), TEAL),
    }
    for name, data in outputs.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
