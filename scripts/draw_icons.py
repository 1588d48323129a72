#!/usr/bin/env python3
"""Draws the fallback icons that the Qt backend ships for desktops whose icon theme lacks
them: a shut folder, an open folder and an application, each 16 and 32 pixels square.

    python3 scripts/draw_icons.py platform/qt/icons
"""
import struct
import sys
import zlib
from pathlib import Path

OUTLINE = (110, 78, 16, 255)
BACK = (214, 160, 46, 255)
FRONT = (246, 201, 84, 255)
PAPER = (250, 250, 250, 255)
FRAME = (60, 72, 92, 255)
TITLE = (52, 101, 164, 255)
GLASS = (228, 236, 246, 255)


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def canvas(size):
    return [[(0, 0, 0, 0)] * size for _ in range(size)]


def box(px, x0, y0, x1, y1, fill, outline=None):
    """Fills the box with corners (x0, y0) and (x1, y1), inclusive, in units of 1/16."""
    s = len(px) / 16
    a, b, c, d = round(x0 * s), round(y0 * s), round((x1 + 1) * s) - 1, round((y1 + 1) * s) - 1
    for y in range(b, d + 1):
        for x in range(a, c + 1):
            edge = outline and (x in (a, c) or y in (b, d))
            px[y][x] = outline if edge else fill


def shut_folder(size):
    px = canvas(size)
    box(px, 1, 3, 6, 5, BACK, OUTLINE)     # the tab
    box(px, 1, 4, 14, 13, FRONT, OUTLINE)  # the body
    return px


def open_folder(size):
    px = canvas(size)
    box(px, 1, 3, 6, 5, BACK, OUTLINE)
    box(px, 1, 4, 13, 13, BACK, OUTLINE)
    box(px, 3, 6, 12, 11, PAPER)           # a sheet inside
    s = len(px) / 16                        # the front flap, leaning forward
    for y in range(round(8 * s), round(14 * s)):
        lean = round((14 * s - y) * 0.45)
        for x in range(round(1 * s) + lean, round(15 * s) - 1 + lean - round(2 * s)):
            if 0 <= x < size:
                edge = y in (round(8 * s), round(14 * s) - 1) or x == round(1 * s) + lean
                px[y][x] = OUTLINE if edge else FRONT
    return px


def application(size):
    px = canvas(size)
    box(px, 1, 2, 14, 13, GLASS, FRAME)
    box(px, 1, 2, 14, 4, TITLE, FRAME)
    box(px, 3, 7, 8, 8, FRAME)
    box(px, 3, 10, 11, 10, FRAME)
    return px


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "platform/qt/icons")
    out.mkdir(parents=True, exist_ok=True)
    for name, draw in (("folder", shut_folder), ("folder-open", open_folder), ("application-x-executable", application)):
        for size in (16, 32):
            (out / f"{name}-{size}.png").write_bytes(png(draw(size)))


if __name__ == "__main__":
    main()
