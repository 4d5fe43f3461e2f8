#!/usr/bin/env python3
"""Reads the screen of a virtual X server started with -fbdir (an XWD image the
server keeps up to date) for the end-to-end shell tests.

  xvfb_screen.py png FB OUT.png      save the screen as a PNG
  xvfb_screen.py snap FB OUT         copy the raw pixels (a baseline for "changed")
  xvfb_screen.py changed FB BASE N T wait up to T seconds until at least N cells
                                     differ from BASE, then until the screen is
                                     still; exit 1 on timeout
  xvfb_screen.py still FB T          wait up to T seconds until the screen is still
  xvfb_screen.py colour FB X Y       print the pixel at X,Y as rrggbb
  xvfb_screen.py ink FB L T R B      print how many pixels of the rectangle differ
                                     from its commonest colour (0: nothing drawn)

A cell is 16 pixels of one row. The caret blinking changes a few dozen cells, a
window opening or closing thousands, so "still" allows a caret's worth of change.
"""
import struct
import sys
import time
import zlib

CELL = 16
STILL_CELLS = 60


def read(fb):
    with open(fb, "rb") as f:
        data = f.read()
    (header_size, _version, _format, _depth, width, height, _xoff, byte_order, _unit, _bit_order, _pad,
     bits_per_pixel, bytes_per_line, _vclass, red, green, blue, _bits_rgb, _entries, ncolours) = struct.unpack(
        ">20I", data[:80])
    if bits_per_pixel != 32:
        sys.exit("xvfb_screen: only 32-bit screens are read (start the server with depth 24)")
    start = header_size + ncolours * 12
    pixels = data[start:start + bytes_per_line * height]
    return dict(width=width, height=height, stride=bytes_per_line, pixels=pixels, little=byte_order == 0,
                masks=(red, green, blue))


def rgb_rows(screen):
    """The screen as rows of packed RGB bytes."""
    w, stride, px = screen["width"], screen["stride"], screen["pixels"]
    # Depth 24 on a little-endian server: each pixel is B, G, R, pad in memory.
    order = (2, 1, 0) if screen["little"] else (1, 2, 3)
    for y in range(screen["height"]):
        row = px[y * stride:y * stride + w * 4]
        out = bytearray(w * 3)
        out[0::3] = row[order[0]::4]
        out[1::3] = row[order[1]::4]
        out[2::3] = row[order[2]::4]
        yield bytes(out)


def save_png(screen, path):
    raw = b"".join(b"\x00" + r for r in rgb_rows(screen))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", screen["width"], screen["height"], 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 6)) +
                chunk(b"IEND", b""))


def cells_differing(a, b, stride):
    if len(a) != len(b):
        return 1 << 30
    n = 0
    step = CELL * 4
    for y in range(0, len(a), stride):
        ra, rb = a[y:y + stride], b[y:y + stride]
        if ra == rb:
            continue
        for x in range(0, stride, step):
            if ra[x:x + step] != rb[x:x + step]:
                n += 1
    return n


def wait_still(fb, deadline):
    """Three quiet looks in a row: a window that paints in steps has finished."""
    previous = read(fb)["pixels"]
    quiet = 0
    while time.monotonic() < deadline:
        time.sleep(0.12)
        screen = read(fb)
        quiet = quiet + 1 if cells_differing(previous, screen["pixels"], screen["stride"]) <= STILL_CELLS else 0
        if quiet >= 3:
            return True
        previous = screen["pixels"]
    return False


def ink(screen, left, top, right, bottom):
    """Pixels of the rectangle that differ from its commonest colour: text on a row."""
    counts = {}
    stride = screen["stride"]
    px = screen["pixels"]
    for y in range(top, bottom):
        row = px[y * stride + left * 4:y * stride + right * 4]
        for x in range(0, len(row), 4):
            key = row[x:x + 3]
            counts[key] = counts.get(key, 0) + 1
    return sum(counts.values()) - max(counts.values()) if counts else 0


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    what, fb = argv[1], argv[2]
    if what == "png":
        save_png(read(fb), argv[3])
    elif what == "snap":
        with open(argv[3], "wb") as f:
            f.write(read(fb)["pixels"])
    elif what == "changed":
        with open(argv[3], "rb") as f:
            base = f.read()
        need, deadline = int(argv[4]), time.monotonic() + float(argv[5])
        while True:
            screen = read(fb)
            if cells_differing(base, screen["pixels"], screen["stride"]) >= need:
                break
            if time.monotonic() >= deadline:
                return 1
            time.sleep(0.05)
        return 0 if wait_still(fb, deadline + 2) else 1
    elif what == "still":
        return 0 if wait_still(fb, time.monotonic() + float(argv[3])) else 1
    elif what == "colour":
        screen = read(fb)
        x, y = int(argv[3]), int(argv[4])
        row = next(r for i, r in enumerate(rgb_rows(screen)) if i == y)
        print(row[x * 3:x * 3 + 3].hex())
    elif what == "ink":
        print(ink(read(fb), *(int(v) for v in argv[3:7])))
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
