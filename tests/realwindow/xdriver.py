#!/usr/bin/python3
"""Drives real windows on an X server (Xvfb) for the real-window tests.

Commands (DISPLAY must be set):
  wait TITLE [TIMEOUT_S]       wait until a mapped window with exactly this title exists;
                               prints its id and its geometry "x y w h" (root coordinates)
  gone TITLE [TIMEOUT_S]       wait until no window with this title exists
  shot FILE                    screenshot of the whole screen as PNG
  pixel X Y                    colour of the screen at root coordinates, as "R G B"
  close TITLE                  ask the window to close (WM_DELETE_WINDOW)
  click X Y [BUTTON]           click at root coordinates
  key KEYSYM...                press and release keys (e.g. Return, ctrl+l, Escape)
  type TEXT                    type text
  resize TITLE W H             ask for a new size of the window with this title
  children TITLE               geometry "x y w h" of each mapped window inside the window with
                               this title (root coordinates), one per line
"""
import struct
import sys
import time
import zlib

from Xlib import X, XK, display, protocol
from Xlib.ext import xtest


def all_windows(d, win=None):
    if win is None:
        win = d.screen().root
    try:
        children = win.query_tree().children
    except Exception:
        return
    for c in children:
        yield c
        yield from all_windows(d, c)


def title_of(d, w):
    try:
        name = w.get_full_property(d.intern_atom("_NET_WM_NAME"), 0)
        if name and name.value:
            v = name.value
            return v.decode("utf-8", "replace") if isinstance(v, bytes) else str(v)
        n = w.get_wm_name()
        return n if isinstance(n, str) else (n.decode("latin-1") if n else None)
    except Exception:
        return None


def find(d, title):
    for w in all_windows(d):
        if title_of(d, w) == title:
            try:
                # A tray icon's window carries the program's title too: it is not a window here.
                g = w.get_geometry()
                if w.get_attributes().map_state == X.IsViewable and max(g.width, g.height) >= 40:
                    return w
            except Exception:
                pass
    return None


def geometry(d, w):
    g = w.get_geometry()
    t = w.translate_coords(d.screen().root, 0, 0)
    return (-t.x, -t.y, g.width, g.height)


def write_png(path, width, height, rows):
    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + r for r in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def shot(d, path):
    root = d.screen().root
    g = root.get_geometry()
    img = root.get_image(0, 0, g.width, g.height, X.ZPixmap, 0xFFFFFFFF)
    data = img.data
    bpp = 4
    stride = len(data) // g.height
    rows = []
    for y in range(g.height):
        line = data[y * stride:y * stride + g.width * bpp]
        rgb = bytearray(g.width * 3)
        rgb[0::3] = line[2::4]
        rgb[1::3] = line[1::4]
        rgb[2::3] = line[0::4]
        rows.append(bytes(rgb))
    write_png(path, g.width, g.height, rows)


def keysym_code(d, name):
    sym = XK.string_to_keysym(name)
    if sym == 0 and len(name) == 1:
        sym = ord(name)
    return d.keysym_to_keycode(sym)


def press_combo(d, combo):
    names = combo.split("+")
    codes = [keysym_code(d, n if n not in ("ctrl", "shift", "alt") else
                         {"ctrl": "Control_L", "shift": "Shift_L", "alt": "Alt_L"}[n]) for n in names]
    for c in codes:
        xtest.fake_input(d, X.KeyPress, c)
    for c in reversed(codes):
        xtest.fake_input(d, X.KeyRelease, c)
    d.sync()
    time.sleep(0.05)


def main():
    d = display.Display()
    cmd = sys.argv[1]
    if cmd == "wait":
        title, timeout = sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 10
        end = time.time() + timeout
        while time.time() < end:
            w = find(d, title)
            if w is not None:
                print(w.id, *geometry(d, w))
                return 0
            time.sleep(0.02)
        return 1
    if cmd == "gone":
        title, timeout = sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 10
        end = time.time() + timeout
        while time.time() < end:
            if find(d, title) is None:
                return 0
            time.sleep(0.05)
        return 1
    if cmd == "shot":
        shot(d, sys.argv[2])
        return 0
    if cmd == "pixel":
        img = d.screen().root.get_image(int(sys.argv[2]), int(sys.argv[3]), 1, 1, X.ZPixmap, 0xFFFFFFFF)
        print(img.data[2], img.data[1], img.data[0])
        return 0
    if cmd == "close":
        w = find(d, sys.argv[2])
        if w is None:
            return 1
        wm_protocols = d.intern_atom("WM_PROTOCOLS")
        wm_delete = d.intern_atom("WM_DELETE_WINDOW")
        ev = protocol.event.ClientMessage(window=w, client_type=wm_protocols,
                                          data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(ev)
        d.sync()
        return 0
    if cmd == "click":
        x, y = int(sys.argv[2]), int(sys.argv[3])
        button = int(sys.argv[4]) if len(sys.argv) > 4 else 1
        xtest.fake_input(d, X.MotionNotify, x=x, y=y)
        d.sync()
        time.sleep(0.05)
        xtest.fake_input(d, X.ButtonPress, button)
        xtest.fake_input(d, X.ButtonRelease, button)
        d.sync()
        return 0
    if cmd == "resize":
        w = find(d, sys.argv[2])
        if w is None:
            return 1
        w.configure(width=int(sys.argv[3]), height=int(sys.argv[4]))
        d.sync()
        return 0
    if cmd == "key":
        for combo in sys.argv[2:]:
            press_combo(d, combo)
        return 0
    if cmd == "children":
        w = find(d, sys.argv[2])
        if w is None:
            return 1
        for c in all_windows(d, w):
            try:
                if c.get_attributes().map_state == X.IsViewable:
                    print(*geometry(d, c))
            except Exception:
                pass
        return 0
    if cmd == "type":
        for ch in sys.argv[2]:
            name = {"/": "slash", ".": "period", "-": "minus", "_": "underscore", " ": "space"}.get(ch, ch)
            if ch.isupper() or ch == "_":
                press_combo(d, "shift+" + (name.lower() if ch.isupper() else "minus"))
            else:
                press_combo(d, name)
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
