#!/usr/bin/env python3
"""Draws the control's face: a microphone with sound waves on a grey ground, in the 16 colours of
the standard palette, as uncompressed 4-bit .bmp files.

    kelvane_face.bmp     32 x 32, bitmap resource 201 (the design-time face)
    kelvane_toolbox.bmp  16 x 16, bitmap resource 1 (the toolbox picture)

The shapes are described once on a 32-unit square and sampled at each pixel centre, so both
sizes show the same microphone. Run it from anywhere; it writes beside itself. The outputs are
committed, so building needs no Python.
"""

import math
import os
import struct

# The standard 16-colour palette, (r, g, b) by index.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15  # indices into PALETTE

# The capsule: a vertical pill, centre line x = CAP_X, from CAP_TOP to CAP_BOTTOM, radius CAP_R.
CAP_X, CAP_TOP, CAP_BOTTOM, CAP_R = 12.0, 7.0, 14.0, 4.5
# The U-shaped holder around the lower half, the stem and the foot.
HOLDER_R, HOLDER_Y = 7.0, 13.5
STEM_TOP, STEM_BOTTOM = 20.5, 26.0
FOOT_Y, FOOT_HALF = 27.0, 6.5
# Sound waves: arcs about the capsule's centre, to its right.
WAVE_CENTRE = (CAP_X, 10.5)
WAVE_RADII = (10.0, 13.5, 17.0)
WAVE_SPAN = math.radians(42)
# At 16 pixels three waves run together: two, further apart.
SMALL_WAVE_RADII = (10.0, 16.0)


def capsule_distance(x, y):
    """Signed distance to the pill's edge: negative inside."""
    cy = min(max(y, CAP_TOP), CAP_BOTTOM)
    return math.hypot(x - CAP_X, y - cy) - CAP_R


def colour_at(x, y, unit):
    """Palette index at point (x, y) of the 32-unit square; `unit` is one pixel in units."""
    line = max(1.0, unit) * 0.55  # half a line's width: never thinner than one pixel
    d = capsule_distance(x, y)
    if d <= 0:
        if d > -line * 1.6:
            return BLACK  # outline
        if x < CAP_X - CAP_R * 0.35 and y < CAP_BOTTOM:
            return WHITE  # highlight on the left
        # Grille: dark rows across the capsule.
        if unit < 1.5 and int(y) % 2 == 0 and CAP_TOP - 2 < y < CAP_BOTTOM + 2:
            return GREY if int(x) % 2 else BLACK
        return GREY
    # Holder: the lower half of a ring around the capsule.
    r = math.hypot(x - CAP_X, y - HOLDER_Y)
    if y >= HOLDER_Y and abs(r - HOLDER_R) <= line:
        return BLACK
    # Stem and foot.
    if abs(x - CAP_X) <= line and STEM_TOP <= y <= STEM_BOTTOM:
        return BLACK
    if abs(y - FOOT_Y) <= line * 1.4 and abs(x - CAP_X) <= FOOT_HALF:
        return BLACK
    # Waves, alternately blue and navy, fading outwards.
    wx, wy = WAVE_CENTRE
    angle = math.atan2(y - wy, x - wx)
    rw = math.hypot(x - wx, y - wy)
    for i, radius in enumerate(WAVE_RADII if unit < 1.5 else SMALL_WAVE_RADII):
        if abs(angle) <= WAVE_SPAN and abs(rw - radius) <= line:
            return BLUE if i % 2 == 0 else NAVY
    return SILVER


def render(size):
    unit = 32.0 / size
    return [[colour_at((col + 0.5) * unit, (row + 0.5) * unit, unit) for col in range(size)]
            for row in range(size)]


def bmp_4bit(pixels):
    height, width = len(pixels), len(pixels[0])
    stride = ((width * 4 + 31) // 32) * 4
    rows = b""
    for row in reversed(pixels):  # bottom-up
        packed = bytearray(stride)
        for x, index in enumerate(row):
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
        rows += bytes(packed)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(rows), 3780, 3780, 16, 16)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + palette + rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, size in (("kelvane_face.bmp", 32), ("kelvane_toolbox.bmp", 16)):
        with open(os.path.join(here, name), "wb") as out:
            out.write(bmp_4bit(render(size)))


if __name__ == "__main__":
    main()
