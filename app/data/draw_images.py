#!/usr/bin/env python3
"""Draws the pictures the program ships, as RGBA PNG files (Python's standard library only):

    images/zarvo.png        64 x 64   the window's icon: a microphone on a blue disc
    images/zarvo16.png      16 x 16   the same for the title bar
    images/mixer.png        32 x 32   "Recording Control": three mixer faders
    images/watermark.png   390 x 48   a quiet sound wave under the recordings
    images/convert.png      32 x 32   "WAV to MP3": a wave passing an arrow into a smaller one
    icons/NxN/org.quillon.Zarvo.png   the desktop icon at 48, 128 and 256 pixels

Shapes are described once in a unit square and sampled 4 x 4 times per pixel, so every size is
drawn, not scaled. Run it from anywhere after changing a shape or a colour, and commit the output.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write_png(path, width, height, pixels):
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def render(width, height, shade, samples=4):
    """shade(u, v) -> (r, g, b, a) floats 0..1 or None, u and v in 0..1 of the picture."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / width
                    v = (y + (sy + 0.5) / samples) / height
                    c = shade(u, v)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            a = acc[3] / n
            if a <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(min(1, acc[i] / acc[3]) * 255)) for i in range(3))
                           + (int(round(a * 255)),))
        rows.append(row)
    return rows


def over(top, bottom):
    if top is None:
        return bottom
    if bottom is None:
        return top
    ta, ba = top[3], bottom[3]
    a = ta + ba * (1 - ta)
    if a <= 0:
        return None
    return tuple((top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)) + (a,)


def rounded_box(u, v, x0, y0, x1, y1, r):
    cx = min(max(u, x0 + r), x1 - r)
    cy = min(max(v, y0 + r), y1 - r)
    return math.hypot(u - cx, v - cy) <= r and x0 <= u <= x1 and y0 <= v <= y1


def hex_colour(text, a=1.0):
    return (int(text[0:2], 16) / 255, int(text[2:4], 16) / 255, int(text[4:6], 16) / 255, a)


def icon(u, v):
    """A white microphone on a disc that runs from light to deep blue."""
    d = math.hypot(u - 0.5, v - 0.5)
    colour = None
    if d <= 0.47:
        t = min(1, max(0, (v - 0.05) / 0.9))
        top, bottom = hex_colour("5AA0F0"), hex_colour("1B4FA8")
        colour = tuple(top[i] * (1 - t) + bottom[i] * t for i in range(3)) + (1.0,)
        if d > 0.44:
            colour = hex_colour("123A80")
    white = hex_colour("FFFFFF")
    if rounded_box(u, v, 0.39, 0.18, 0.61, 0.58, 0.11):
        grille = 0.25 < v < 0.5 and abs(((v - 0.25) * 40) % 2 - 1) < 0.45 and 0.42 < u < 0.58
        colour = over(hex_colour("C8DAF5") if grille else white, colour)
    ring = math.hypot(u - 0.5, v - 0.47)
    if v > 0.47 and 0.19 <= ring <= 0.235:
        colour = over(white, colour)
    if 0.475 <= u <= 0.525 and 0.69 <= v <= 0.8:
        colour = over(white, colour)
    if rounded_box(u, v, 0.36, 0.78, 0.64, 0.83, 0.025):
        colour = over(white, colour)
    return colour


def mixer(u, v):
    """Three fader slots with their knobs at different heights."""
    colour = None
    if rounded_box(u, v, 0.05, 0.05, 0.95, 0.95, 0.12):
        colour = hex_colour("E8EEF8")
        if not rounded_box(u, v, 0.09, 0.09, 0.91, 0.91, 0.09):
            colour = hex_colour("5E7DB0")
    for i, knob in enumerate((0.62, 0.32, 0.5)):
        x = 0.27 + i * 0.23
        if abs(u - x) < 0.025 and 0.18 < v < 0.82:
            colour = hex_colour("37415A")
        if rounded_box(u, v, x - 0.08, knob - 0.05, x + 0.08, knob + 0.05, 0.03):
            colour = hex_colour("2E6BD6")
    return colour


def watermark(u, v):
    """A faint wave whose height swells and fades across the picture."""
    envelope = math.sin(math.pi * u) ** 1.5
    y = 0.5 + 0.38 * envelope * math.sin(u * 2 * math.pi * 9) * math.cos(u * 2 * math.pi * 1.3)
    if abs(v - y) < 0.035:
        return hex_colour("9BB4C8", 0.55)
    if abs(v - 0.5) < 0.004:
        return hex_colour("9BB4C8", 0.35)
    return None


def convert(u, v):
    """A wide wave on the left, an arrow, and the same wave drawn small on the right."""
    colour = None
    if rounded_box(u, v, 0.03, 0.12, 0.97, 0.88, 0.12):
        colour = hex_colour("E8EEF8")
        if not rounded_box(u, v, 0.07, 0.16, 0.93, 0.84, 0.09):
            colour = hex_colour("5E7DB0")
    if 0.12 < u < 0.42:
        y = 0.5 + 0.22 * math.sin((u - 0.12) / 0.30 * 2 * math.pi * 1.5)
        if abs(v - y) < 0.045:
            colour = hex_colour("37415A")
    if 0.46 < u < 0.6 and abs(v - 0.5) < 0.035:
        colour = hex_colour("2E6BD6")
    if 0.56 <= u <= 0.66 and abs(v - 0.5) <= (0.66 - u) * 1.1:
        colour = hex_colour("2E6BD6")
    if 0.70 < u < 0.88:
        y = 0.5 + 0.1 * math.sin((u - 0.70) / 0.18 * 2 * math.pi * 1.5)
        if abs(v - y) < 0.04:
            colour = hex_colour("1B4FA8")
    return colour


def main():
    write_png(os.path.join(HERE, "images", "zarvo.png"), 64, 64, render(64, 64, icon))
    write_png(os.path.join(HERE, "images", "zarvo16.png"), 16, 16, render(16, 16, icon))
    write_png(os.path.join(HERE, "images", "mixer.png"), 32, 32, render(32, 32, mixer))
    write_png(os.path.join(HERE, "images", "convert.png"), 32, 32, render(32, 32, convert))
    write_png(os.path.join(HERE, "images", "watermark.png"), 390, 48,
              render(390, 48, watermark, samples=3))
    for size in (48, 128, 256):
        write_png(os.path.join(HERE, "icons", f"{size}x{size}", "org.quillon.Zarvo.png"),
                  size, size, render(size, size, icon, samples=3 if size > 64 else 4))


if __name__ == "__main__":
    main()
