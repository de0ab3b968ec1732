#!/usr/bin/env python3
"""Draws the pictures of the profile picker into data/ICON/.

Category pictures (32x32 PNG), profile-family pictures (48x48 PNG) and the picker's arrow
(MenuArrow.bmp, 16x16, 24-bit). Pure Python (zlib + struct): every shape is drawn in a 48-unit
design space, sampled 4x4 per pixel for smooth edges, and written as RGBA PNG.

The program's own icon (a film frame with a conversion arrow) is drawn in the sizes of the
desktop's icon theme into packaging/icons/hicolor/<N>x<N>/apps/vanto.png.

Usage: scripts/make_icons.py [output folder]   (default: data/ICON beside this script's parent)
       scripts/make_icons.py --app-icon [icon theme folder]   (default: packaging/icons/hicolor)
"""
import math
import os
import struct
import sys
import zlib

SUPER = 4  # samples per pixel along each axis


# ---------------------------------------------------------------------------------------------
# Canvas and shapes

class Canvas:
    def __init__(self, size, design=48.0):
        self.size = size
        self.k = size / design  # design units -> pixels
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def fill(self, inside, bbox, color):
        """Blends `color` (r, g, b, a in 0..255, or a function of design x, y) over the pixels
        whose samples fall inside the shape `inside(x, y)` (design units)."""
        x0, y0, x1, y1 = bbox
        k = self.k
        px0, py0 = max(0, int(math.floor(x0 * k))), max(0, int(math.floor(y0 * k)))
        px1, py1 = min(self.size, int(math.ceil(x1 * k)) + 1), min(self.size, int(math.ceil(y1 * k)) + 1)
        n = SUPER * SUPER
        for py in range(py0, py1):
            for px in range(px0, px1):
                hits = 0
                for sy in range(SUPER):
                    y = (py + (sy + 0.5) / SUPER) / k
                    for sx in range(SUPER):
                        x = (px + (sx + 0.5) / SUPER) / k
                        if inside(x, y):
                            hits += 1
                if not hits:
                    continue
                c = color((px + 0.5) / k, (py + 0.5) / k) if callable(color) else color
                self._blend(px, py, c, hits / n)

    def _blend(self, px, py, c, coverage):
        r, g, b = c[0], c[1], c[2]
        a = (c[3] if len(c) > 3 else 255) / 255.0 * coverage
        dr, dg, db, da = self.px[py][px]
        out_a = a + da * (1 - a)
        if out_a <= 0:
            return
        mix = lambda s, d: (s * a + d * da * (1 - a)) / out_a
        self.px[py][px] = (mix(r, dr), mix(g, dg), mix(b, db), out_a)

    # -- shapes in design units --
    def rect(self, x0, y0, x1, y1, color):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1), color)

    def rrect(self, x0, y0, x1, y1, r, color):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self.fill(inside, (x0, y0, x1, y1), color)

    def ellipse(self, cx, cy, rx, ry, color, hole=None):
        def inside(x, y):
            if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 > 1:
                return False
            return hole is None or ((x - cx) / hole[0]) ** 2 + ((y - cy) / hole[1]) ** 2 > 1
        self.fill(inside, (cx - rx, cy - ry, cx + rx, cy + ry), color)

    def circle(self, cx, cy, r, color, hole=None):
        self.ellipse(cx, cy, r, r, color, None if hole is None else (hole, hole))

    def polygon(self, pts, color):
        def inside(x, y):
            odd = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    odd = not odd
                j = i
            return odd
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        self.fill(inside, (min(xs), min(ys), max(xs), max(ys)), color)

    def line(self, x0, y0, x1, y1, w, color):
        dx, dy = x1 - x0, y1 - y0
        ll = dx * dx + dy * dy or 1e-9
        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
            return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= (w / 2) ** 2
        h = w / 2
        self.fill(inside, (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h), color)

    def text(self, s, cx, top, scale, color, gap=1.0):
        """Draws `s` in the 5x7 font, centred on cx, each font pixel `scale` units square. The
        whole text is one shape, so neighbouring font pixels join without seams."""
        x0 = cx - text_width(s, scale, gap) / 2
        advance = (5 + gap) * scale

        def inside(x, y):
            j = int((y - top) // scale)
            if not 0 <= j < 7 or x < x0:
                return False
            n = int((x - x0) // advance)
            if n >= len(s):
                return False
            i = int((x - x0 - n * advance) // scale)
            return i < 5 and FONT[s[n]][j][i] == "#"
        self.fill(inside, (x0, top, x0 + text_width(s, scale, gap), top + 7 * scale), color)

    def rgba_rows(self):
        for row in self.px:
            out = bytearray()
            for r, g, b, a in row:
                out += bytes((clamp(r), clamp(g), clamp(b), clamp(a * 255)))
            yield bytes(out)


def clamp(v):
    return max(0, min(255, int(round(v))))


def text_width(s, scale, gap=1.0):
    return len(s) * 5 * scale + (len(s) - 1) * gap * scale


def vgrad(top_color, bottom_color, y0, y1):
    def color(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(top_color[i] + (bottom_color[i] - top_color[i]) * t for i in range(3)) + (255,)
    return color


def shade(c, f):
    """Lighter (f > 0) or darker (f < 0) variant of an RGB colour."""
    if f >= 0:
        return tuple(v + (255 - v) * f for v in c[:3])
    return tuple(v * (1 + f) for v in c[:3])


# 5x7 capitals and digits.
FONT = {
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "B": ["#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "],
    "C": [" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "],
    "D": ["#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "F": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "],
    "G": [" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"],
    "H": ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "I": [" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "K": ["#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "T": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "0": [" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "],
    "1": ["  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "2": [" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"],
    "3": ["#### ", "    #", "    #", " ### ", "    #", "    #", "#### "],
    "4": ["   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "],
    "5": ["#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "],
    "6": [" ### ", "#    ", "#    ", "#### ", "#   #", "#   #", " ### "],
    "7": ["#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "],
    "8": [" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "],
    "9": [" ### ", "#   #", "#   #", " ####", "    #", "    #", " ### "],
}

WHITE = (255, 255, 255, 255)
DARK = (45, 50, 58, 255)
GLASS = ((120, 190, 250), (30, 90, 180))


# ---------------------------------------------------------------------------------------------
# Motifs (48-unit design space)

def film_band(c, y0, y1, color):
    c.rect(2, y0, 46, y1, color)
    h = (y1 - y0)
    for i in range(6):
        x = 5 + i * 7
        c.rrect(x, y0 + h * 0.25, x + 4, y0 + h * 0.75, 0.8, (255, 255, 255, 200))


def note(c, x, y, s, color):
    """A beamed pair of eighth notes whose top-left is at x, y, `s` units tall."""
    k = s / 20.0
    c.ellipse(x + 4 * k, y + 17 * k, 4 * k, 3 * k, color)
    c.ellipse(x + 16 * k, y + 15 * k, 4 * k, 3 * k, color)
    c.rect(x + 6.6 * k, y + 3 * k, x + 8.2 * k, y + 17 * k, color)
    c.rect(x + 18.6 * k, y + 1 * k, x + 20.2 * k, y + 15 * k, color)
    c.polygon([(x + 6.6 * k, y + 3 * k), (x + 20.2 * k, y + 0 * k), (x + 20.2 * k, y + 3.5 * k),
               (x + 6.6 * k, y + 6.5 * k)], color)


def wave(c, y_mid, amp, color):
    for i in range(11):
        x = 6 + i * 3.6
        h = amp * (0.35 + 0.65 * abs(math.sin(i * 1.3 + 0.4)))
        c.rrect(x, y_mid - h, x + 2.2, y_mid + h, 1.0, color)


def disc(c, cx, cy, r):
    def color(x, y):
        ang = math.atan2(y - cy, x - cx)
        t = 0.5 + 0.5 * math.sin(ang * 2)
        base = (205, 210, 220)
        tint = (150 + 80 * math.sin(ang), 190 + 50 * math.cos(ang * 3), 235)
        return tuple(base[i] * (1 - t * 0.5) + tint[i] * t * 0.5 for i in range(3)) + (255,)
    c.circle(cx, cy, r, (120, 125, 135, 255))
    c.circle(cx, cy, r - 1.2, color)
    c.circle(cx, cy, r * 0.33, (120, 125, 135, 255))
    c.circle(cx, cy, r * 0.33 - 1.2, (245, 245, 248, 255))
    c.circle(cx, cy, r * 0.12, (70, 75, 85, 255))  # the spindle hole


def screen(c, x0, y0, x1, y1, top=GLASS[0], bottom=GLASS[1]):
    c.rect(x0, y0, x1, y1, vgrad(top, bottom, y0, y1))
    # a soft highlight across the upper left of the glass
    c.polygon([(x0, y0), (x0 + (x1 - x0) * 0.65, y0), (x0, y0 + (y1 - y0) * 0.55)], (255, 255, 255, 45))


def smartphone(c, x0, y0, x1, y1, body=DARK, glass=GLASS, tiles=False, home=True):
    c.rrect(x0, y0, x1, y1, (x1 - x0) * 0.18, body)
    m = (x1 - x0) * 0.1
    sy0, sy1 = y0 + (y1 - y0) * 0.11, y1 - (y1 - y0) * (0.14 if home else 0.08)
    screen(c, x0 + m, sy0, x1 - m, sy1, *glass)
    if tiles:
        colors = [(0, 160, 220, 255), (240, 150, 10, 255), (120, 190, 40, 255), (220, 60, 60, 255)]
        w = (x1 - x0 - 2 * m - 3) / 2
        for i, col in enumerate(colors):
            tx = x0 + m + 1 + (i % 2) * (w + 1)
            ty = sy0 + 1.5 + (i // 2) * (w + 1)
            c.rect(tx, ty, tx + w, ty + w, col)
    if home:
        c.circle((x0 + x1) / 2, y1 - (y1 - y0) * 0.07, (x1 - x0) * 0.07, (150, 155, 165, 255))


def player(c):
    c.rrect(13, 3, 35, 45, 5, vgrad((250, 250, 252), (200, 204, 212), 3, 45))
    c.rrect(16, 6, 32, 20, 1, DARK)
    screen(c, 17, 7, 31, 19)
    c.circle(24, 33, 8.5, (150, 155, 165, 255), hole=3.2)
    c.circle(24, 33, 3.0, (230, 232, 236, 255))


def handheld(c):
    c.rrect(2, 14, 46, 35, 9, vgrad((70, 75, 85), (25, 28, 34), 14, 35))
    screen(c, 13, 17, 35, 32)
    c.rect(5.5, 22.5, 10.5, 25.5, (200, 200, 205, 255))
    c.rect(6.5, 21.5, 9.5, 26.5, (200, 200, 205, 255))
    for (x, y, col) in ((41.5, 21, (80, 200, 120)), (41.5, 28, (230, 90, 90)), (38, 24.5, (230, 120, 200)),
                        (45, 24.5, (100, 160, 240))):
        c.circle(x - 0.5, y, 1.5, col + (255,))


def gamepad(c, body=((90, 95, 105), (35, 38, 45))):
    fillc = vgrad(body[0], body[1], 12, 38)
    c.circle(13, 27, 10, fillc)
    c.circle(35, 27, 10, fillc)
    c.rrect(9, 14, 39, 31, 6, fillc)
    c.rect(9, 24, 16, 26.5, (210, 210, 215, 255))
    c.rect(11.25, 21.75, 13.75, 28.75, (210, 210, 215, 255))
    for (x, y, col) in ((35, 21.5, (80, 200, 120)), (35, 28.5, (230, 90, 90)), (31.5, 25, (100, 160, 240)),
                        (38.5, 25, (240, 200, 60))):
        c.circle(x, y, 1.8, col + (255,))


def old_phone(c):
    c.rect(29, 2, 31.5, 12, (70, 75, 85, 255))
    c.rrect(14, 9, 34, 46, 4, vgrad((110, 118, 130), (55, 60, 70), 9, 46))
    c.rect(17, 13, 31, 24, (40, 44, 50, 255))
    screen(c, 18, 14, 30, 23, (190, 235, 170), (110, 175, 90))
    for j in range(4):
        for i in range(3):
            c.rrect(17.5 + i * 4.8, 27 + j * 4.5, 20.8 + i * 4.8, 29.8 + j * 4.5, 0.8, (220, 222, 228, 255))


def globe(c):
    blue = vgrad((110, 180, 245), (25, 95, 185), 4, 44)
    c.circle(24, 24, 20, blue)
    line = (255, 255, 255, 190)
    c.ellipse(24, 24, 20, 20, line, hole=(18.8, 18.8))
    c.ellipse(24, 24, 9, 20, line, hole=(7.8, 18.8))
    c.rect(22.9, 4.5, 25.1, 43.5, line)
    c.rect(4.5, 22.9, 43.5, 25.1, line)
    for y in (13.5, 34.5):
        half = math.sqrt(20 ** 2 - (y - 24) ** 2) - 0.6
        c.rect(24 - half, y - 0.8, 24 + half, y + 0.8, line)


def monitor(c):
    c.rrect(3, 6, 45, 34, 2.5, DARK)
    screen(c, 5.5, 8.5, 42.5, 31.5)
    c.polygon([(20, 34), (28, 34), (30, 40), (18, 40)], (90, 95, 105, 255))
    c.rrect(13, 40, 35, 43, 1.2, (90, 95, 105, 255))


# ---------------------------------------------------------------------------------------------
# Pictures

def badge(c, color, label, motif):
    """Family badge: rounded tile in `color`, a motif band on top, the label below."""
    c.rrect(1, 1, 47, 47, 7, vgrad(shade(color, 0.25), shade(color, -0.25), 1, 47))
    motif(c)
    scale = 2.0
    gap = 1.0 if len(label) <= 3 else 0.5
    if text_width(label, scale, gap) > 44:
        scale = 44 / text_width(label, 1, gap)
    c.text(label, 24 + 0.6, 28.6, scale, (0, 0, 0, 70), gap)  # shadow
    c.text(label, 24, 28, scale, WHITE, gap)


def video_motif(c):
    film_band(c, 5, 16, (0, 0, 0, 90))


def audio_motif(c):
    note(c, 14, 3, 20, (255, 255, 255, 235))


def wave_motif(c):
    wave(c, 13, 7, (255, 255, 255, 220))


def hd_motif(c):
    c.rrect(13, 4, 35, 20, 3, (255, 255, 255, 235))
    c.text("HD", 24, 7.5, 1.6, (30, 70, 150, 255), 1.0)


def phone_motif(c):
    c.rrect(19, 3, 29, 22, 2, (255, 255, 255, 230))
    c.rect(20.5, 5, 27.5, 12, (60, 120, 60, 255))
    for j in range(2):
        for i in range(3):
            c.rect(20.5 + i * 2.6, 14 + j * 3, 22.3 + i * 2.6, 15.8 + j * 3, (60, 60, 60, 255))


def disc_picture(c, label, color):
    c.rrect(1, 1, 47, 47, 7, vgrad((250, 250, 252), (222, 226, 234), 1, 47))
    disc(c, 24, 17, 14.5)
    c.rrect(6, 32, 42, 46, 3, color + (255,))
    scale = 1.4
    c.text(label, 24, 39 - 3.5 * scale, scale, WHITE, 1.0)


def device_tile(c):
    c.rrect(1, 1, 47, 47, 7, vgrad((248, 249, 252), (216, 222, 232), 1, 47))


VIDEO_BADGES = {
    "mp4": ((30, 120, 210), "MP4"),
    "mkv": ((120, 70, 170), "MKV"),
    "avi": ((210, 110, 30), "AVI"),
    "wmv": ((20, 150, 170), "WMV"),
    "mov": ((90, 100, 120), "MOV"),
    "flv": ((200, 40, 40), "FLV"),
    "swf": ((190, 30, 90), "SWF"),
    "mpg": ((60, 140, 60), "MPG"),
    "webm": ((40, 110, 90), "WEBM"),
    "hevc": ((150, 40, 130), "HEVC"),
    "3gp": ((110, 150, 30), "3GP"),
    "3g2": ((70, 140, 110), "3G2"),
}
HD_BADGES = {"hd720": ((25, 80, 170), "720"), "hd1080": ((15, 50, 120), "1080")}
AUDIO_BADGES = {
    "mp3": ((230, 120, 20), "MP3", audio_motif),
    "aac": ((200, 60, 60), "AAC", wave_motif),
    "m4a": ((170, 50, 90), "M4A", audio_motif),
    "wav": ((50, 120, 200), "WAV", wave_motif),
    "flac": ((30, 140, 120), "FLAC", wave_motif),
    "ogg": ((150, 110, 40), "OGG", audio_motif),
    "opus": ((110, 60, 170), "OPUS", audio_motif),
    "wma": ((20, 130, 160), "WMA", audio_motif),
    "ac3": ((80, 80, 90), "AC3", wave_motif),
    "mp2": ((180, 90, 40), "MP2", wave_motif),
}
DISCS = {"dvd": ("DVD", (40, 60, 140)), "svcd": ("SVCD", (140, 40, 80)), "vcd": ("VCD", (40, 120, 80))}


def draw_profile(key):
    c = Canvas(48)
    if key in VIDEO_BADGES:
        color, label = VIDEO_BADGES[key]
        badge(c, color, label, phone_motif if key in ("3gp", "3g2") else video_motif)
    elif key in HD_BADGES:
        color, label = HD_BADGES[key]
        badge(c, color, label, hd_motif)
    elif key in AUDIO_BADGES:
        color, label, motif = AUDIO_BADGES[key]
        badge(c, color, label, motif)
    elif key in DISCS:
        label, color = DISCS[key]
        disc_picture(c, label, color)
    else:
        device_tile(c)
        DEVICES[key](c)
    return c


DEVICES = {
    "ipod": player,
    "iphone": lambda c: smartphone(c, 14, 2, 34, 46),
    "ipad": lambda c: smartphone(c, 6, 4, 42, 44, body=(230, 232, 236, 255), glass=((250, 200, 120), (210, 110, 40))),
    "appletv": monitor,
    "psp": handheld,
    "console": lambda c: gamepad(c),
    "android": lambda c: smartphone(c, 14, 2, 34, 46, glass=((170, 230, 120), (60, 150, 40))),
    "tablet": lambda c: smartphone(c, 3, 9, 45, 39, glass=((170, 210, 250), (60, 120, 200)), home=False),
    "winphone": lambda c: smartphone(c, 14, 2, 34, 46, body=(30, 30, 34, 255),
                                     glass=((60, 60, 70), (20, 20, 26)), tiles=True, home=False),
    "blackberry": None,
    "phone": old_phone,
}


def blackberry(c):
    c.rrect(12, 3, 36, 45, 5, vgrad((70, 75, 85), (25, 28, 34), 3, 45))
    screen(c, 15, 6, 33, 22)
    for j in range(4):
        for i in range(5):
            c.rrect(14.5 + i * 3.9, 26 + j * 4.4, 17.6 + i * 3.9, 29 + j * 4.4, 0.9, (205, 208, 214, 255))


DEVICES["blackberry"] = blackberry


def draw_category(key):
    c = Canvas(32)
    if key == "cat_video":
        c.rrect(1, 7, 47, 41, 3, DARK)
        for row_y in (9.5, 35.5):
            for i in range(7):
                c.rrect(3.5 + i * 6.3, row_y, 7.5 + i * 6.3, row_y + 3.5, 0.8, (240, 240, 240, 255))
        c.rect(5, 15.5, 23, 32.5, vgrad((120, 190, 250), (40, 110, 200), 15.5, 32.5))
        c.rect(25, 15.5, 43, 32.5, vgrad((250, 200, 120), (220, 120, 40), 15.5, 32.5))
    elif key == "cat_hd":
        c.rrect(1, 7, 47, 41, 6, vgrad((60, 130, 230), (20, 60, 150), 7, 41))
        c.text("HD", 24, 12.75, 3.2, WHITE, 1.2)
    elif key == "cat_player":
        player(c)
    elif key == "cat_game":
        gamepad(c)
    elif key == "cat_phone":
        smartphone(c, 13, 2, 35, 46)
    elif key == "cat_disc":
        disc(c, 24, 24, 22)
    elif key == "cat_mobile":
        old_phone(c)
    elif key == "cat_web":
        globe(c)
    elif key == "cat_audio":
        note(c, 4, 6, 38, vgrad((250, 150, 50), (210, 80, 20), 6, 44))
    else:
        raise KeyError(key)
    return c


CATEGORIES = ["cat_video", "cat_hd", "cat_player", "cat_game", "cat_phone", "cat_disc", "cat_mobile", "cat_web",
              "cat_audio"]
PROFILES = sorted(list(VIDEO_BADGES) + list(HD_BADGES) + list(AUDIO_BADGES) + list(DISCS) + list(DEVICES))


# ---------------------------------------------------------------------------------------------
# Files

def write_png(path, canvas):
    raw = b"".join(b"\x00" + row for row in canvas.rgba_rows())
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)
    ihdr = struct.pack(">IIBBBBB", canvas.size, canvas.size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                chunk(b"IEND", b""))


def write_bmp(path, canvas, background=(255, 255, 255)):
    """24-bit bottom-up BMP; transparency is flattened onto `background`."""
    size = canvas.size
    stride = (size * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(canvas.px):
        line = bytearray()
        for r, g, b, a in row:
            mix = lambda v, bg: clamp(v * a + bg * (1 - a))
            line += bytes((mix(b, background[2]), mix(g, background[1]), mix(r, background[0])))
        line += b"\x00" * (stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def draw_arrow():
    c = Canvas(16, design=16.0)
    c.polygon([(5.5, 3.5), (11.5, 8.0), (5.5, 12.5)], (90, 98, 112, 255))
    return c


def draw_app_icon(size):
    c = Canvas(size)
    c.rrect(2, 2, 46, 46, 9, vgrad((70, 150, 240), (20, 70, 170), 2, 46))
    # a film frame with an arrow leading out of it
    c.rrect(6, 12, 23, 36, 2.5, DARK)
    for y in (14, 19.5, 25, 30.5):
        c.rrect(7.5, y, 10, y + 3, 0.6, (240, 240, 240, 255))
        c.rrect(19, y, 21.5, y + 3, 0.6, (240, 240, 240, 255))
    c.rect(11.5, 15, 17.5, 33, vgrad((250, 200, 120), (220, 120, 40), 15, 33))
    c.polygon([(25, 20), (33, 20), (33, 14.5), (42.5, 24), (33, 33.5), (33, 28), (25, 28)], WHITE)
    return c


APP_ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]


def write_app_icons(out):
    for size in APP_ICON_SIZES:
        folder = os.path.join(out, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, "vanto.png"), draw_app_icon(size))
    print(f"vanto.png in {len(APP_ICON_SIZES)} sizes in {out}")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) > 1 and sys.argv[1] == "--app-icon":
        out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "packaging", "icons", "hicolor")
        write_app_icons(out)
        return
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "ICON")
    os.makedirs(out, exist_ok=True)
    for key in CATEGORIES:
        write_png(os.path.join(out, key + ".png"), draw_category(key))
    for key in PROFILES:
        write_png(os.path.join(out, key + ".png"), draw_profile(key))
    write_bmp(os.path.join(out, "MenuArrow.bmp"), draw_arrow())
    print(f"{len(CATEGORIES)} category pictures, {len(PROFILES)} profile pictures and MenuArrow.bmp in {out}")


if __name__ == "__main__":
    main()
