#!/usr/bin/env python3
"""Draws every bitmap of the skinned widgets, each at 1 and at 2 pixels per logical pixel, as
RGBA PNG files beside this script (NAME.png and NAME@2x.png), and the resource list that builds
them into the library (skin_art.qrc).

    imgtop1/2        66 x 29  title bar, active / inactive; the corners outside the rounding
                              are the key colour RGB(255,0,255): per corner 5 pixels in row 0,
                              3 in row 1, 2 in row 2, 1 in rows 3 and 4
    imgtopmax1/2     66 x 29  title bar of a maximised window: square corners, no key colour
    imgleft1/2        5 x 31  left border, one colour per column
    imgright1/2       5 x 31  right border
    imgbottom1/2     49 x 5   bottom border with shaded ends
    Image1           16 x 16  the frame's built-in icon
    xpbutton         90 x 21  five 18 x 21 faces: normal, pressed, disabled, hover, default
    xpclose, xpmax,  84 x 21  four 21 x 21 cells: normal, hover, pressed, disabled
    xpmin, xprestore
    xphelp           63 x 21  three 21 x 21 cells: normal, hover, pressed
    xpcheckbox       16 x 192 twelve 16 x 16 cells stacked: unchecked, checked, grayed, each
                              normal, hover, pressed, disabled
    xpradio         104 x 13  eight 13 x 13 cells: unselected, selected, each normal, hover,
                              pressed, disabled
    xpgroupframe     22 x 20  group frame: 3 x 3 corners, 1-pixel edges; transparent outside

Every shape is described once in logical pixels and sampled at each device pixel's centre, so
the 2x pictures are drawn, not enlarged: a 1-pixel outline is 2 device pixels wide and exactly
where the 1x outline is, which keeps the piecewise painting's cut lines on the same features.
Key-colour corners are whole logical pixels at both scales, so a window region cut from them
matches the picture on any screen. Uses only the standard library; run it from anywhere.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = (255, 0, 255, 255)
CLEAR = (0, 0, 0, 0)
WHITE = (255, 255, 255, 255)


# ---------------------------------------------------------------------------------------------
# Output

def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def render(width, height, shade, scale):
    """shade(u, v, px) -> rgba at logical point (u, v); px is one device pixel in logical units."""
    px = 1.0 / scale
    rows = []
    for y in range(height * scale):
        v = (y + 0.5) * px
        rows.append([shade((x + 0.5) * px, v, px) for x in range(width * scale)])
    return rows


def strip(cells, cell_w, cell_h, vertical=False):
    """One shade function over a strip of equal cells: cells[i](u, v, px) in cell coordinates."""

    def shade(u, v, px):
        if vertical:
            i = min(int(v // cell_h), len(cells) - 1)
            return cells[i](u, v - i * cell_h, px)
        i = min(int(u // cell_w), len(cells) - 1)
        return cells[i](u - i * cell_w, v, px)

    return shade


# ---------------------------------------------------------------------------------------------
# Colour helpers

def rgba(c, a=None):
    """c as rgba; `a` replaces its alpha when given."""
    if a is None:
        a = c[3] if len(c) == 4 else 255
    return (c[0], c[1], c[2], a)


def mix(a, b, t):
    """a at t = 0, b at t = 1 (rgb or rgba)."""
    t = min(max(t, 0.0), 1.0)
    a, b = rgba(a), rgba(b)
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(4))


def gradient(stops, t):
    """stops: [(position, colour)] in rising position."""
    if t <= stops[0][0]:
        return rgba(stops[0][1])
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0))
    return rgba(stops[-1][1])


def over(top, bottom):
    """top composited over bottom (both rgba)."""
    ta = top[3] / 255.0
    ba = bottom[3] / 255.0
    a = ta + ba * (1 - ta)
    if a == 0:
        return CLEAR
    rgb = [(top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)]
    return (int(round(rgb[0])), int(round(rgb[1])), int(round(rgb[2])), int(round(a * 255)))


def coverage(d, px):
    """Share of a device pixel covered by a shape whose signed distance at its centre is d."""
    return min(max(0.5 - d / px, 0.0), 1.0)


def box_distance(u, v, x0, y0, x1, y1, radius=0.0):
    """Signed distance to a rounded box from (x0, y0) to (x1, y1); negative inside."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius
    qx, qy = abs(u - cx) - hx, abs(v - cy) - hy
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - radius


def segment_distance(u, v, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(u - (ax + t * dx), v - (ay + t * dy))


# ---------------------------------------------------------------------------------------------
# Window frame

# Left border columns from the outside in; the right border is their mirror.
ACTIVE_BORDER = [(0, 25, 207), (8, 49, 217), (18, 84, 231), (22, 106, 238), (8, 85, 221)]
INACTIVE_BORDER = [(91, 104, 205), (116, 128, 220), (117, 137, 222), (117, 140, 221),
                   (117, 140, 220)]
# The title's centre column, top to bottom (positions in logical pixels of its 29 rows).
ACTIVE_TITLE = [(0.0, (0, 88, 235)), (1.5, (61, 149, 255)), (4.0, (10, 100, 245)),
                (12.0, (0, 80, 226)), (24.0, (2, 106, 254)), (27.5, (0, 98, 247)),
                (29.0, (0, 72, 216))]
INACTIVE_TITLE = [(0.0, (122, 147, 223)), (1.5, (170, 190, 240)), (4.0, (132, 156, 228)),
                  (12.0, (122, 147, 223)), (24.0, (138, 162, 232)), (27.5, (130, 153, 226)),
                  (29.0, (112, 134, 214))]
TITLE_W, TITLE_H = 66, 29
# Key-colour pixels per corner, rows 0 to 4.
CORNER_KEYS = [5, 3, 2, 1, 1]


def title(border, centre, rounded):
    def shade(u, v, px):
        col, row = int(u), int(v)
        edge = min(col, TITLE_W - 1 - col)  # 0 at the outer columns
        if rounded and row < len(CORNER_KEYS) and edge < CORNER_KEYS[row]:
            return KEY
        c = gradient(centre, v)
        if edge < 5:
            # The end columns run into the border below them.
            reach = min(max((v - 3.0) / 18.0, 0.0), 1.0)
            c = mix(c, border[edge], reach * (0.9 if edge == 0 else 0.6))
            if edge == 0:
                c = mix(c, border[0], 0.7)
        if rounded and row < len(CORNER_KEYS) + 1:
            # The pixel just inside the rounding is a darker outline.
            inner = CORNER_KEYS[row] if row < len(CORNER_KEYS) else 0
            if edge == inner:
                c = mix(c, border[0], 0.65)
        if row == 0 and not (rounded and edge < CORNER_KEYS[0]):
            c = mix(c, border[0], 0.35)  # the top line
        return c

    return shade


def vertical_border(columns):
    def shade(u, v, px):
        col = min(int(u), 4)
        return rgba(columns[col])

    return shade


def bottom_border(columns):
    # Rows from the inside (row 0, next to the client area) to the outside (row 4).
    rows = list(reversed(columns))

    def shade(u, v, px):
        row = min(int(v), 4)
        c = rgba(rows[row])
        edge = min(int(u), 48 - int(u))
        if edge < 5:
            # The ends take the side border's colour of the same column, darkening outwards.
            side = rgba(columns[edge])
            c = mix(c, side, 0.5)
            if row == 4 or edge == 0:
                c = mix(c, columns[0], 0.6)
        return c

    return shade


# ---------------------------------------------------------------------------------------------
# Icon: a red recording dot with a microphone's white slot, on a round blue plate.

def icon(u, v, px):
    d_plate = math.hypot(u - 8, v - 8) - 7.5
    plate = mix((70, 140, 255), (0, 60, 200), v / 16.0)
    c = CLEAR
    c = over(rgba(plate, int(255 * coverage(d_plate, px))), c)
    ring = abs(math.hypot(u - 8, v - 8) - 7.0) - 0.5
    c = over(rgba((255, 255, 255), int(200 * coverage(ring, px))), c)
    d_dot = math.hypot(u - 8, v - 8) - 4.0
    dot = mix((255, 110, 90), (200, 20, 10), (v - 4) / 8.0)
    c = over(rgba(dot, int(255 * coverage(d_dot, px))), c)
    d_slot = box_distance(u, v, 7.0, 5.0, 9.0, 9.5, 1.0)
    c = over(rgba((255, 255, 255), int(230 * coverage(d_slot, px))), c)
    return c


# ---------------------------------------------------------------------------------------------
# Command button faces, 18 x 21

BTN_W, BTN_H = 18, 21
OUTLINE = (0, 60, 116)


def framed_face(body, frame=None, outline=OUTLINE, corner=None):
    """A face with a 1-pixel outline whose corners are blended; `frame` adds a 2-pixel inner
    frame (a gradient of its own) just inside the outline."""

    def shade(u, v, px):
        col, row = int(u), int(v)
        ex = min(col, BTN_W - 1 - col)
        ey = min(row, BTN_H - 1 - row)
        inner = body(v)
        if frame is not None and (ex in (1, 2) or ey in (1, 2)) and ex >= 1 and ey >= 1:
            inner = frame(v)
        if ex == 0 and ey == 0:
            # The very corner: the outline thinned towards the ground.
            return rgba(corner) if corner is not None else rgba(outline, 90)
        if (ex == 0 and ey == 1) or (ex == 1 and ey == 0):
            return mix(outline, inner, 0.35)
        if ex == 1 and ey == 1:
            return mix(outline, inner, 0.6)
        if ex == 0 or ey == 0:
            return rgba(outline)
        return inner

    return shade


def normal_body(v):
    return gradient([(0.0, (255, 255, 255)), (9.0, (254, 254, 252)), (15.0, (244, 243, 238)),
                     (20.0, (214, 208, 197))], v)


def pressed_body(v):
    return gradient([(0.0, (208, 203, 191)), (6.0, (226, 223, 214)), (20.0, (242, 241, 238))], v)


def hover_frame(v):
    return gradient([(0.0, (255, 240, 207)), (10.5, (252, 210, 121)), (21.0, (229, 151, 0))], v)


def default_frame(v):
    return gradient([(0.0, (206, 231, 255)), (10.5, (137, 173, 228)), (21.0, (105, 130, 238))], v)


BUTTON_FACES = [
    framed_face(normal_body),
    framed_face(pressed_body),
    framed_face(lambda v: (245, 244, 234, 255), outline=(201, 199, 186), corner=WHITE),
    framed_face(normal_body, frame=hover_frame),
    framed_face(normal_body, frame=default_frame),
]


# ---------------------------------------------------------------------------------------------
# Title-bar and help buttons, 21 x 21

CAP = 21
RED_BODIES = [(208, 111, 79), (240, 128, 95), (176, 79, 32), (192, 175, 160)]
BLUE_BODIES = [(80, 128, 240), (95, 144, 255), (0, 79, 176), (31, 96, 240)]
GLYPH_GREY = (176, 186, 210)


def cross(u, v):
    return min(segment_distance(u, v, 6.5, 6.5, 14.5, 14.5),
               segment_distance(u, v, 14.5, 6.5, 6.5, 14.5)) - 1.1


def maximise_box(u, v):
    outer = box_distance(u, v, 5.0, 5.0, 16.0, 16.0)
    hole = box_distance(u, v, 6.0, 8.0, 15.0, 15.0)
    return max(outer, -hole)


def minimise_bar(u, v):
    return box_distance(u, v, 5.0, 13.0, 11.0, 16.0)


def restore_boxes(u, v):
    back = max(box_distance(u, v, 8.0, 4.0, 17.0, 13.0), -box_distance(u, v, 9.0, 6.0, 16.0, 12.0))
    front_outer = box_distance(u, v, 4.0, 8.0, 13.0, 17.0)
    front = max(front_outer, -box_distance(u, v, 5.0, 10.0, 12.0, 16.0))
    # The front box hides the back one where they overlap.
    back = max(back, -front_outer)
    return min(back, front)


def question_mark(u, v):
    arc = abs(math.hypot(u - 10.5, v - 8.0) - 3.2) - 1.1
    # Keep the arc's upper part and its right side down to the stem.
    angle = math.atan2(v - 8.0, u - 10.5)
    if angle > 1.2 and u < 11.5:
        arc = max(arc, 1.0)
    stem = segment_distance(u, v, 10.8, 11.0, 10.5, 13.2) - 1.1
    dot = math.hypot(u - 10.5, v - 16.0) - 1.3
    return min(arc, stem, dot)


def caption_button(body, glyph, glyph_colour=WHITE):
    def shade(u, v, px):
        c = CLEAR
        base = mix(mix(body, (255, 255, 255), 0.25), mix(body, (0, 0, 0), 0.12), v / CAP)
        shape = box_distance(u, v, 0.0, 0.0, CAP, CAP, 3.0)
        c = over(rgba(base, int(255 * coverage(shape, px))), c)
        frame = abs(box_distance(u, v, 0.5, 0.5, CAP - 0.5, CAP - 0.5, 2.5)) - 0.5
        c = over(rgba(WHITE, int(255 * coverage(frame, px))), c)
        c = over(rgba(glyph_colour, int(255 * coverage(glyph(u, v), px))), c)
        return c

    return shade


def caption_strip(bodies, glyph, disabled_glyph=WHITE):
    cells = [caption_button(bodies[i], glyph) for i in range(3)]
    cells.append(caption_button(bodies[3], glyph, disabled_glyph))
    return strip(cells, CAP, CAP)


# ---------------------------------------------------------------------------------------------
# Check box, 16 x 16 cells; radio button, 13 x 13 cells

BOX_OUTLINE = (31, 80, 128)
DISABLED_OUTLINE = (207, 207, 191)
CHECK_GREEN = (32, 160, 32)
GRAYED_GREEN = (160, 208, 160)
DISABLED_MARK = (176, 176, 166)
HOVER_EDGE = (255, 240, 207)
PRESSED_BODY = (176, 176, 160)


def toggle_body(look, v, top, bottom):
    if look == "pressed":
        return rgba(mix(PRESSED_BODY, (214, 214, 204), (v - top) / (bottom - top)))
    if look == "disabled":
        return WHITE
    return mix((220, 220, 215), (255, 255, 255), (v - top) / (bottom - top))


def check_mark(u, v):
    return min(segment_distance(u, v, 4.5, 8.0, 6.8, 10.5),
               segment_distance(u, v, 6.8, 10.5, 11.5, 5.0)) - 1.0


def check_cell(value, look):
    # The box is 13 x 13 at (1, 1), leaving the cell's last two rows and columns clear.
    x0, y0, x1, y1 = 1.0, 1.0, 14.0, 14.0

    def shade(u, v, px):
        if not (x0 <= u < x1 and y0 <= v < y1):
            return CLEAR
        col, row = int(u - x0), int(v - y0)
        ex, ey = min(col, 12 - col), min(row, 12 - row)
        if ex == 0 or ey == 0:
            return rgba(DISABLED_OUTLINE if look == "disabled" else BOX_OUTLINE)
        c = toggle_body(look, v, y0, y1)
        if look == "hover" and (ex <= 2 or ey <= 2):
            c = rgba(HOVER_EDGE)
        if value == 1:
            colour = DISABLED_MARK if look == "disabled" else CHECK_GREEN
            c = over(rgba(colour, int(255 * coverage(check_mark(u, v), px))), c)
        elif value == 2:
            colour = DISABLED_MARK if look == "disabled" else GRAYED_GREEN
            if 4.0 <= u < 11.0 and 4.0 <= v < 11.0:
                c = rgba(colour)
        return c

    return shade


def radio_cell(selected, look):
    def shade(u, v, px):
        d = math.hypot(u - 6.5, v - 6.5)
        outline = DISABLED_OUTLINE if look == "disabled" else BOX_OUTLINE
        c = CLEAR
        body = toggle_body(look, v, 0.5, 12.5)
        if look == "hover" and d > 3.5:
            body = rgba(HOVER_EDGE)
        c = over(rgba(body, int(255 * coverage(d - 6.0, px))), c)
        c = over(rgba(outline, int(255 * coverage(abs(d - 6.0) - 0.5, px))), c)
        if selected:
            dot = DISABLED_MARK if look == "disabled" else CHECK_GREEN
            c = over(rgba(dot, int(255 * coverage(d - 2.6, px))), c)
        return c

    return shade


LOOKS = ["normal", "hover", "pressed", "disabled"]


# ---------------------------------------------------------------------------------------------
# Group frame, 22 x 20: a rounded outline, transparent outside it and inside it

GROUP_OUTLINE = (208, 208, 191)


def group_frame(u, v, px):
    col, row = int(u), int(v)
    ex, ey = min(col, 21 - col), min(row, 19 - row)
    # 3 x 3 corners with one rounding pixel; 1-pixel edges.
    if ex < 3 and ey < 3:
        if (ex, ey) in ((0, 2), (1, 1), (2, 0)):
            return rgba(GROUP_OUTLINE)
        if (ex, ey) in ((0, 1), (1, 0)):
            return rgba(GROUP_OUTLINE, 80)
        return CLEAR
    if ex == 0 or ey == 0:
        return rgba(GROUP_OUTLINE)
    return CLEAR


# ---------------------------------------------------------------------------------------------

PICTURES = {
    "imgtop1": (TITLE_W, TITLE_H, title(ACTIVE_BORDER, ACTIVE_TITLE, True)),
    "imgtop2": (TITLE_W, TITLE_H, title(INACTIVE_BORDER, INACTIVE_TITLE, True)),
    "imgtopmax1": (TITLE_W, TITLE_H, title(ACTIVE_BORDER, ACTIVE_TITLE, False)),
    "imgtopmax2": (TITLE_W, TITLE_H, title(INACTIVE_BORDER, INACTIVE_TITLE, False)),
    "imgleft1": (5, 31, vertical_border(ACTIVE_BORDER)),
    "imgleft2": (5, 31, vertical_border(INACTIVE_BORDER)),
    "imgright1": (5, 31, vertical_border(list(reversed(ACTIVE_BORDER)))),
    "imgright2": (5, 31, vertical_border(list(reversed(INACTIVE_BORDER)))),
    "imgbottom1": (49, 5, bottom_border(ACTIVE_BORDER)),
    "imgbottom2": (49, 5, bottom_border(INACTIVE_BORDER)),
    "Image1": (16, 16, icon),
    "xpbutton": (BTN_W * 5, BTN_H, strip(BUTTON_FACES, BTN_W, BTN_H)),
    "xpclose": (CAP * 4, CAP, caption_strip(RED_BODIES, cross)),
    "xpmax": (CAP * 4, CAP, caption_strip(BLUE_BODIES, maximise_box, GLYPH_GREY)),
    "xpmin": (CAP * 4, CAP, caption_strip(BLUE_BODIES, minimise_bar, GLYPH_GREY)),
    "xprestore": (CAP * 4, CAP, caption_strip(BLUE_BODIES, restore_boxes, GLYPH_GREY)),
    "xphelp": (CAP * 3, CAP, strip([caption_button(BLUE_BODIES[i], question_mark)
                                    for i in range(3)], CAP, CAP)),
    "xpcheckbox": (16, 16 * 12, strip([check_cell(value, look) for value in range(3)
                                       for look in LOOKS], 16, 16, vertical=True)),
    "xpradio": (13 * 8, 13, strip([radio_cell(selected, look) for selected in (False, True)
                                   for look in LOOKS], 13, 13)),
    "xpgroupframe": (22, 20, group_frame),
}


def main():
    files = []
    for name, (width, height, shade) in PICTURES.items():
        for scale, suffix in ((1, ""), (2, "@2x")):
            file_name = name + suffix + ".png"
            write_png(os.path.join(HERE, file_name), width * scale, height * scale,
                      render(width, height, shade, scale))
            files.append(file_name)
    with open(os.path.join(HERE, "skin_art.qrc"), "w") as f:
        f.write("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n")
        for file_name in files:
            f.write("    <file>%s</file>\n" % file_name)
        f.write("</qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
