#!/usr/bin/env python3
"""Draws the bitmaps of the default skin (unit/Windows/Skin800x480/Skin) as 24-bit BMP files.

Plain Python, no imaging library: a small canvas with fills, gradients, rounded rectangles,
discs and rings, enough for a tidy dark theme. Pixels of colour 0xFA00FA are the colour key
the engine leaves out when it draws a transparent image.
Usage: scripts/gen_skin_bitmaps.py [output folder]
"""
import math
import os
import struct
import sys

KEY = (0xFA, 0x00, 0xFA)
ACCENT = (0x2E, 0x9C, 0xE6)
ACCENT_DARK = (0x1B, 0x5E, 0x8C)
GREEN = (0x4C, 0xC4, 0x5A)
AMBER = (0xF2, 0xA6, 0x2B)
GREY = (0x70, 0x76, 0x80)
LIGHT = (0xE8, 0xEC, 0xF0)


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(fill) for _ in range(w * h)]
        # Over the colour key, blended edges would leave pink fringes: edges stay hard.
        self.keyed = tuple(fill) == KEY

    def set(self, x, y, c, a=1.0):
        if 0 <= x < self.w and 0 <= y < self.h:
            p = self.px[y * self.w + x]
            if self.keyed and a < 1.0:
                a = 1.0 if a >= 0.5 else 0.0
            if a >= 1.0:
                p[0], p[1], p[2] = c
            elif a > 0:
                for i in range(3):
                    p[i] = int(p[i] * (1 - a) + c[i] * a + 0.5)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.set(x, y, c)

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        span = max(1, y1 - y0 - 1)
        for y in range(max(0, y0), min(self.h, y1)):
            t = (y - y0) / span
            c = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
            for x in range(max(0, x0), min(self.w, x1)):
                self.set(x, y, c)

    def round_rect(self, x0, y0, x1, y1, r, c, top=None, bottom=None):
        """Filled rounded rectangle with soft edges; optional vertical gradient."""
        for y in range(max(0, y0), min(self.h, y1)):
            t = (y - y0) / max(1, y1 - y0 - 1)
            col = c if top is None else tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
            for x in range(max(0, x0), min(self.w, x1)):
                dx = max(x0 + r - x - 0.5, 0, x - (x1 - r) + 0.5)
                dy = max(y0 + r - y - 0.5, 0, y - (y1 - r) + 0.5)
                d = math.hypot(dx, dy)
                a = 1.0 if d <= r - 0.5 else max(0.0, r + 0.5 - d)
                self.set(x, y, col, a)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.set(x, y, c, min(1.0, max(0.0, r + 0.5 - d)))

    def ring(self, cx, cy, r, width, c, start=0.0, end=360.0):
        for y in range(int(cy - r - 2), int(cy + r + 3)):
            for x in range(int(cx - r - 2), int(cx + r + 3)):
                dx, dy = x + 0.5 - cx, y + 0.5 - cy
                d = math.hypot(dx, dy)
                edge = min(d - (r - width) + 0.5, r + 0.5 - d)
                if edge <= 0:
                    continue
                ang = math.degrees(math.atan2(-dy, dx)) % 360
                inside = start <= ang <= end if start <= end else (ang >= start or ang <= end)
                if inside:
                    self.set(x, y, c, min(1.0, edge))

    def save(self, path):
        row = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):  # bottom-up rows
            line = bytearray()
            for x in range(self.w):
                r, g, b = self.px[y * self.w + x]
                line += bytes((b, g, r))
            line += b"\0" * (row - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)


def status_background():
    c = Canvas(800, 40)
    c.vgradient(0, 0, 800, 40, (0x2A, 0x30, 0x3A), (0x12, 0x15, 0x1A))
    c.rect(0, 39, 800, 40, ACCENT_DARK)
    for x in (290, 590):  # separators between clock and indicators
        c.rect(x, 8, x + 1, 32, (0x45, 0x4C, 0x58))
    return c


def satellite_icon(state):
    """Button 0: receiver off (grey), searching (amber), position fixed (green)."""
    colour = (GREY, AMBER, GREEN)[state]
    c = Canvas(32, 32, KEY)
    c.disc(16, 18, 5, colour)
    c.rect(5, 15, 11, 21, colour)
    c.rect(21, 15, 27, 21, colour)
    if state > 0:
        c.ring(16, 18, 12, 2, colour, 40, 140)
    if state > 1:
        c.ring(16, 18, 15, 2, colour, 50, 130)
    return c


def speaker_icon(muted):
    """Button 1: sound on, or muted."""
    c = Canvas(32, 32, KEY)
    colour = GREY if muted else LIGHT
    c.rect(6, 12, 12, 20, colour)
    for i in range(8):
        c.rect(12 + i, 12 - i, 13 + i, 20 + i, colour)
    if muted:
        for i in range(9):
            c.disc(22 + i, 11 + i, 1.2, (0xE0, 0x50, 0x50))
            c.disc(30 - i, 11 + i, 1.2, (0xE0, 0x50, 0x50))
    else:
        c.ring(20, 16, 6, 2, colour, 300, 60)
        c.ring(20, 16, 10, 2, colour, 300, 60)
    return c


def card_icon(present):
    """Button 2: storage card absent (outline) or present (filled)."""
    c = Canvas(32, 32, KEY)
    colour = ACCENT if present else GREY
    c.round_rect(8, 4, 25, 29, 2, colour)
    if not present:
        c.round_rect(10, 6, 23, 27, 1, (0x20, 0x24, 0x2B))
    c.rect(8, 4, 13, 9, KEY)
    for x in (14, 17, 20):
        c.rect(x, 6, x + 2, 11, (0x20, 0x24, 0x2B) if present else colour)
    return c


def signal_frame(level):
    """Picture 0: signal strength, frames 0 to 3."""
    c = Canvas(48, 32, KEY)
    for i in range(4):
        h = 8 + i * 6
        colour = GREEN if i < level else (0x45, 0x4C, 0x58)
        c.round_rect(6 + i * 10, 30 - h, 13 + i * 10, 30, 1, colour)
    return c


def menu_background():
    c = Canvas(800, 440)
    c.vgradient(0, 0, 800, 440, (0x1C, 0x22, 0x2B), (0x0B, 0x0D, 0x11))
    # list panel and the band for the current path
    c.round_rect(10, 50, 590, 372, 10, (0x22, 0x28, 0x32))
    c.round_rect(10, 378, 590, 428, 10, (0x18, 0x1C, 0x23))
    c.rect(20, 44, 580, 46, ACCENT_DARK)
    return c


def table_row():
    c = Canvas(560, 48)
    c.vgradient(0, 0, 560, 48, (0x2A, 0x31, 0x3C), (0x22, 0x28, 0x32))
    c.rect(0, 47, 560, 48, (0x33, 0x3A, 0x46))
    # program icon: a compass needle in a disc
    c.disc(28, 24, 16, ACCENT_DARK)
    c.ring(28, 24, 16, 2, ACCENT)
    for i in range(12):
        c.disc(28 + i * 0.6, 24 - i, 1.6 - i * 0.08, (0xE0, 0x50, 0x50))
        c.disc(28 - i * 0.6, 24 + i, 1.6 - i * 0.08, LIGHT)
    return c


def table_row_selected():
    c = Canvas(560, 48)
    c.vgradient(0, 0, 560, 48, ACCENT, ACCENT_DARK)
    return c


def start_button(pressed):
    c = Canvas(160, 96, KEY)
    if pressed:
        c.round_rect(2, 2, 158, 94, 14, None, ACCENT_DARK, (0x12, 0x3E, 0x5E))
    else:
        c.round_rect(2, 2, 158, 94, 14, None, (0x4A, 0xB4, 0xF4), ACCENT_DARK)
    # a play triangle above the text area
    for i in range(16):
        c.rect(72 + i, 14 + i // 2, 73 + i, 38 - i // 2, LIGHT)
    return c


def spinner_frame(frame):
    """Picture 3 of the starting page: four frames of a turning arc."""
    c = Canvas(128, 128, KEY)
    c.ring(64, 64, 52, 10, (0x33, 0x3A, 0x46))
    start = (90 - frame * 90) % 360
    c.ring(64, 64, 52, 10, ACCENT, start, (start + 120) % 360)
    c.disc(64, 64, 18, ACCENT_DARK)
    return c


BITMAPS = {
    "status_bg.bmp": status_background,
    "gps_off.bmp": lambda: satellite_icon(0),
    "gps_search.bmp": lambda: satellite_icon(1),
    "gps_fix.bmp": lambda: satellite_icon(2),
    "sound_on.bmp": lambda: speaker_icon(False),
    "sound_mute.bmp": lambda: speaker_icon(True),
    "card_out.bmp": lambda: card_icon(False),
    "card_in.bmp": lambda: card_icon(True),
    "signal_0.bmp": lambda: signal_frame(0),
    "signal_1.bmp": lambda: signal_frame(1),
    "signal_2.bmp": lambda: signal_frame(2),
    "signal_3.bmp": lambda: signal_frame(3),
    "menu_bg.bmp": menu_background,
    "row_file.bmp": table_row,
    "row_selected.bmp": table_row_selected,
    "start_up.bmp": lambda: start_button(False),
    "start_dn.bmp": lambda: start_button(True),
    "busy_0.bmp": lambda: spinner_frame(0),
    "busy_1.bmp": lambda: spinner_frame(1),
    "busy_2.bmp": lambda: spinner_frame(2),
    "busy_3.bmp": lambda: spinner_frame(3),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "unit", "Windows", "Skin800x480", "Skin")
    os.makedirs(out, exist_ok=True)
    for name, draw in BITMAPS.items():
        draw().save(os.path.join(out, name))


if __name__ == "__main__":
    main()
