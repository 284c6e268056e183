#!/usr/bin/env python3
"""Draws gif_Loading.gif, the program's loading spinner: eight dots on a ring, one lit, the
others fading behind it; 8 frames of 80 ms on a transparent background. Run it again only to
change the picture; the GIF is committed beside it.

The image data uses a clear code every 100 pixels, so every pixel is one 8-bit code and no
LZW dictionary is needed: larger than a compressed GIF, but a few kilobytes for 32x32."""
import math
import struct
import sys

SIZE = 32
FRAMES = 8
DELAY_CS = 8
ACCENT = (0x00, 0xF6, 0xFF)
BACK = (0x12, 0x16, 0x1C)
LEVELS = 16  # colour 0 transparent, 1..LEVELS shades from the back colour to the accent


def palette():
    colours = [BACK]
    for i in range(1, LEVELS + 1):
        t = i / LEVELS
        colours.append(tuple(round(b + (a - b) * t) for a, b in zip(ACCENT, BACK)))
    colours += [(0, 0, 0)] * (128 - len(colours))
    return b"".join(bytes(c) for c in colours)


def frame(index):
    pixels = bytearray(SIZE * SIZE)
    for dot in range(8):
        age = (index - dot) % 8  # 0: the lit dot
        shade = max(1, LEVELS - age * 2)
        angle = 2 * math.pi * dot / 8 - math.pi / 2
        cx = SIZE / 2 + math.cos(angle) * 11
        cy = SIZE / 2 + math.sin(angle) * 11
        radius = 3.2 if age == 0 else 2.6
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= radius:
                    edge = min(1.0, radius - d + 0.3)
                    pixels[y * SIZE + x] = max(pixels[y * SIZE + x], max(1, round(shade * edge)))
    return bytes(pixels)


def image_data(pixels):
    min_code = 7
    clear, end = 1 << min_code, (1 << min_code) + 1
    codes = []
    for i, p in enumerate(pixels):
        if i % 100 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    packed = bytes(c & 0xFF for c in codes)  # 8-bit codes: the code size never grows
    blocks = b"".join(bytes([len(packed[i:i + 255])]) + packed[i:i + 255]
                      for i in range(0, len(packed), 255))
    return bytes([min_code]) + blocks + b"\x00"


def main(path):
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", SIZE, SIZE, 0x80 | 0x70 | 6, 0, 0)  # 128-colour global table
    out += palette()
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for i in range(FRAMES):
        out += b"\x21\xF9\x04" + struct.pack("<BHBB", 0x09, DELAY_CS, 0, 0)  # restore, transparent 0
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
        out += image_data(frame(i))
    out += b"\x3B"
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "gif_Loading.gif")
