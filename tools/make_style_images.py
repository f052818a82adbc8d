#!/usr/bin/env python3
"""Draws the small images of the dark style sheet (check boxes, radio buttons, arrows, tree
branches, tool bar handles, dock buttons, size grip) and writes them as PNG files.

Usage: tools/make_style_images.py [OUT_DIR]   (default resources/style/rc)

Only the standard library is used: each image is a list of layers, each layer a shape given by
an inside test, sampled 4 x 4 times per pixel for smooth edges."""

import math
import os
import struct
import sys
import zlib

TEXT = "#eff0f1"
FRAME = "#76797C"
ACCENT = "#f9af55"
HOVER = "#5d3f18"
FIELD = "#232629"


def rgb(hex_colour):
    h = hex_colour.lstrip("#")
    return tuple(int(h[i:i + 2], 16) for i in (0, 2, 4))


# Shapes: functions (x, y) -> bool in pixel coordinates, y down.

def segment(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= (width / 2.0) ** 2
    return inside


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        return r - width / 2.0 <= d <= r + width / 2.0
    return inside


def rounded_box(x0, y0, x1, y1, radius):
    def inside(x, y):
        qx = max(x0 + radius - x, 0.0, x - (x1 - radius))
        qy = max(y0 + radius - y, 0.0, y - (y1 - radius))
        return x0 <= x <= x1 and y0 <= y <= y1 and qx * qx + qy * qy <= radius * radius
    return inside


def rounded_frame(x0, y0, x1, y1, radius, width):
    outer = rounded_box(x0, y0, x1, y1, radius)
    inner = rounded_box(x0 + width, y0 + width, x1 - width, y1 - width, max(radius - width, 0.0))
    return lambda x, y: outer(x, y) and not inner(x, y)


def render(width, height, layers, samples=4):
    """layers: list of (inside test, colour); later layers cover earlier ones."""
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    x = px + (sx + 0.5) / samples
                    y = py + (sy + 0.5) / samples
                    colour = None
                    for inside, c in layers:
                        if inside(x, y):
                            colour = c
                    if colour is not None:
                        cr, cg, cb = rgb(colour)
                        r, g, b, a = r + cr, g + cg, b + cb, a + 1
            n = samples * samples
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return width, height, rows


def png_bytes(image):
    width, height, rows = image

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def check_box(colour, mark):
    layers = [(rounded_box(1.5, 1.5, 14.5, 14.5, 2.0), FIELD),
              (rounded_frame(1.5, 1.5, 14.5, 14.5, 2.0, 1.3), colour)]
    if mark == "check":
        layers.append((polyline([(4.2, 8.2), (6.8, 10.8), (11.8, 5.2)], 1.9), colour))
    elif mark == "bar":
        layers.append((segment(4.5, 8.0, 11.5, 8.0, 2.0), colour))
    return render(16, 16, layers)


def radio_button(colour, checked):
    layers = [(disc(8, 8, 6.5), FIELD), (ring(8, 8, 6.0, 1.3), colour)]
    if checked:
        layers.append((disc(8, 8, 3.0), colour))
    return render(16, 16, layers)


def arrow(direction, colour):
    # A 10 x 10 image holding a flat triangle that points the given way.
    shapes = {
        "up": [(1.5, 7.0), (5.0, 3.0), (8.5, 7.0)],
        "down": [(1.5, 3.0), (5.0, 7.0), (8.5, 3.0)],
        "left": [(7.0, 1.5), (3.0, 5.0), (7.0, 8.5)],
        "right": [(3.0, 1.5), (7.0, 5.0), (3.0, 8.5)],
    }
    return render(10, 10, [(polygon(shapes[direction]), colour)])


def branch(kind, colour):
    if kind == "closed":
        return render(9, 9, [(polygon([(2.5, 1.0), (7.0, 4.5), (2.5, 8.0)]), colour)])
    if kind == "open":
        return render(9, 9, [(polygon([(1.0, 2.5), (8.0, 2.5), (4.5, 7.0)]), colour)])
    # The connector lines of a tree: a 20 x 20 cell with a line through its middle column.
    mid = 10.0
    if kind == "vline":
        return render(20, 20, [(segment(mid, 0, mid, 20, 1.0), colour)])
    if kind == "more":
        return render(20, 20, [(segment(mid, 0, mid, 20, 1.0), colour), (segment(mid, mid, 20, mid, 1.0), colour)])
    return render(20, 20, [(segment(mid, 0, mid, mid, 1.0), colour), (segment(mid, mid, 20, mid, 1.0), colour)])


def tool_bar_handle(horizontal):
    # A column (or row) of grip dots along a 10 x 64 strip.
    dots = [disc(5.0, 8.0 + 6.0 * i, 1.2) for i in range(9)]
    if not horizontal:
        dots = [disc(8.0 + 6.0 * i, 5.0, 1.2) for i in range(9)]
    size = (10, 64) if horizontal else (64, 10)
    return render(size[0], size[1], [(d, FRAME) for d in dots])


def tool_bar_separator(horizontal):
    if horizontal:
        return render(6, 64, [(segment(3.0, 4.0, 3.0, 60.0, 1.0), FRAME)])
    return render(64, 6, [(segment(4.0, 3.0, 60.0, 3.0, 1.0), FRAME)])


def close_button(state):
    cross = polyline([(4.5, 4.5), (11.5, 11.5)], 1.8)
    cross2 = polyline([(11.5, 4.5), (4.5, 11.5)], 1.8)
    both = lambda x, y: cross(x, y) or cross2(x, y)
    if state == "normal":
        return render(16, 16, [(both, TEXT)])
    background = HOVER if state == "hover" else ACCENT
    mark = TEXT if state == "hover" else FIELD
    return render(16, 16, [(rounded_box(1.0, 1.0, 15.0, 15.0, 3.0), background), (both, mark)])


def undock_button():
    back = rounded_frame(5.0, 2.0, 14.0, 11.0, 1.0, 1.4)
    front_fill = rounded_box(2.0, 5.0, 11.0, 14.0, 1.0)
    front = rounded_frame(2.0, 5.0, 11.0, 14.0, 1.0, 1.4)
    return render(16, 16, [(back, TEXT), (front_fill, "#31363b"), (front, TEXT)])


def size_grip():
    dots = []
    for row in range(4):
        for col in range(4):
            if row + col >= 3:
                dots.append((disc(3.0 + 3.0 * col, 3.0 + 3.0 * row, 0.9), FRAME))
    return render(16, 16, dots)


def images():
    yield "checkbox_unchecked.png", check_box(TEXT, None)
    yield "checkbox_unchecked_focus.png", check_box(ACCENT, None)
    yield "checkbox_unchecked_disabled.png", check_box(FRAME, None)
    yield "checkbox_checked.png", check_box(TEXT, "check")
    yield "checkbox_checked_focus.png", check_box(ACCENT, "check")
    yield "checkbox_checked_disabled.png", check_box(FRAME, "check")
    yield "checkbox_indeterminate.png", check_box(TEXT, "bar")
    yield "checkbox_indeterminate_focus.png", check_box(ACCENT, "bar")
    yield "checkbox_indeterminate_disabled.png", check_box(FRAME, "bar")
    yield "radio_unchecked.png", radio_button(TEXT, False)
    yield "radio_unchecked_focus.png", radio_button(ACCENT, False)
    yield "radio_unchecked_disabled.png", radio_button(FRAME, False)
    yield "radio_checked.png", radio_button(TEXT, True)
    yield "radio_checked_focus.png", radio_button(ACCENT, True)
    yield "radio_checked_disabled.png", radio_button(FRAME, True)
    for direction in ("up", "down", "left", "right"):
        yield f"{direction}_arrow.png", arrow(direction, TEXT)
        yield f"{direction}_arrow_disabled.png", arrow(direction, FRAME)
    yield "branch_closed.png", branch("closed", FRAME)
    yield "branch_closed-on.png", branch("closed", TEXT)
    yield "branch_open.png", branch("open", FRAME)
    yield "branch_open-on.png", branch("open", TEXT)
    yield "branch_end.png", branch("end", FRAME)
    yield "branch_more.png", branch("more", FRAME)
    yield "vline.png", branch("vline", FRAME)
    yield "Hmovetoolbar.png", tool_bar_handle(True)
    yield "Vmovetoolbar.png", tool_bar_handle(False)
    yield "Hsepartoolbar.png", tool_bar_separator(True)
    yield "Vsepartoolbar.png", tool_bar_separator(False)
    yield "close.png", close_button("normal")
    yield "close-hover.png", close_button("hover")
    yield "close-pressed.png", close_button("pressed")
    yield "undock.png", undock_button()
    yield "sizegrip.png", size_grip()


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "style", "rc")
    os.makedirs(out, exist_ok=True)
    count = 0
    for name, image in images():
        with open(os.path.join(out, name), "wb") as f:
            f.write(png_bytes(image))
        count += 1
    print(f"{count} images in {out}")


if __name__ == "__main__":
    main()
