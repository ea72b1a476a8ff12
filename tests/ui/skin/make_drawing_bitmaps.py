"""Writes the bitmaps of the drawing tests as 24-bit bottom-up BMP files.

208..215: wait-indicator frames, 64 x 64 white with a centred 32 x 32 square of a
colour of their own (see frame_colour). 500: a 4 x 2 picture, red top-left, blue
bottom-right, green elsewhere.
"""
import os
import struct
import sys


def write_bmp(path, width, height, pixel):
    row = (width * 3 + 3) // 4 * 4
    data = bytearray()
    for y in reversed(range(height)):  # bottom-up
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def frame_colour(k):
    return (10 + 20 * k, 200 - 20 * k, 100)


def main(out):
    os.makedirs(out, exist_ok=True)
    for k in range(8):
        colour = frame_colour(k)
        write_bmp(os.path.join(out, f"{208 + k}.bmp"), 64, 64,
                  lambda x, y, c=colour: c if 16 <= x < 48 and 16 <= y < 48 else (255, 255, 255))
    corners = {(0, 0): (255, 0, 0), (3, 1): (0, 0, 255)}
    write_bmp(os.path.join(out, "500.bmp"), 4, 2, lambda x, y: corners.get((x, y), (0, 255, 0)))


if __name__ == "__main__":
    main(sys.argv[1])
