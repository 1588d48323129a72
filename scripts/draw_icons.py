#!/usr/bin/env python3
"""Draws the fallback icons that the Qt backend ships for desktops whose icon theme lacks
them: a shut folder, an open folder and an application, each 16 and 32 pixels square, and
the program's own icon (data/icons/zelt.svg) at 16, 32 and 48 pixels.

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


def _in_triangle(x, y, a, b, c):
    def side(p, q):
        return (x - q[0]) * (p[1] - q[1]) - (p[0] - q[0]) * (y - q[1])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def _near_polyline(x, y, points, half_width):
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        if (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= half_width ** 2:
            return True
    return False


def _in_round_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def program_icon(size):
    """The shapes of data/icons/zelt.svg (a 128 grid), four samples a pixel each way."""
    px = canvas(size)
    n = 4
    for py in range(size):
        for qx in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (qx + (sx + 0.5) / n) * 128 / size
                    y = (py + (sy + 0.5) / n) * 128 / size
                    colour = None
                    if _in_round_rect(x, y, 6, 6, 122, 122, 22):
                        t = (y - 6) / 116
                        colour = (round(59 + (31 - 59) * t), round(118 + (74 - 118) * t), round(176 + (120 - 176) * t))
                    if _in_triangle(x, y, (64, 22), (20, 100), (108, 100)) or _in_round_rect(x, y, 14, 100, 114, 106, 3):
                        colour = (244, 241, 232)
                    if _in_triangle(x, y, (64, 52), (46, 100), (82, 100)):
                        colour = (39, 73, 109)
                    if _near_polyline(x, y, [(78, 74), (90, 88), (112, 58)], 5):
                        colour = (79, 194, 90)
                    if colour:
                        acc = [acc[0] + colour[0], acc[1] + colour[1], acc[2] + colour[2], acc[3] + 255]
            alpha = acc[3] / (n * n)
            if alpha:
                k = 255 / acc[3]
                px[py][qx] = (round(acc[0] * k), round(acc[1] * k), round(acc[2] * k), round(alpha))
    return px


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "platform/qt/icons")
    out.mkdir(parents=True, exist_ok=True)
    for name, draw in (("folder", shut_folder), ("folder-open", open_folder), ("application-x-executable", application)):
        for size in (16, 32):
            (out / f"{name}-{size}.png").write_bytes(png(draw(size)))
    for size in (16, 32, 48):
        (out / f"zelt-{size}.png").write_bytes(png(program_icon(size)))


if __name__ == "__main__":
    main()
