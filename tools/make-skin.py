#!/usr/bin/python3
"""Draws the skin: every bitmap resource of the program and its icon.

Usage: make-skin.py OUT_DIR [--png]

Writes OUT_DIR/skin/<id>.bmp (24-bit, uncompressed, bottom-up) for each bitmap id and
OUT_DIR/skin/app.ico. With --png it also writes a PNG of each picture beside it, to look at.
Shapes are drawn as SVG by rsvg-convert and flattened with PIL onto the colour of the
surface each picture is painted on, so no picture needs transparency.
"""
import os
import struct
import subprocess
import sys
from io import BytesIO

from PIL import Image

CAPTION = (139, 184, 241)      # caption band, dialog bands, about dialog
MESSAGE_BG = (226, 240, 253)   # message box background, page bottom band
PAGE = (245, 250, 253)         # page background below its top band
WHITE = (255, 255, 255)
PAGE_TOP = (218, 234, 251)     # top of the page background's gradient band
BAND_HEIGHT = 96
HEADER_TOP = (86, 131, 199)    # top of the main window's header strip
HEADER_ROWS = 24


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def page_row(y):
    """Colour of the page background at row y: an eased gradient into the flat panel."""
    if y >= BAND_HEIGHT:
        return PAGE
    t = y / BAND_HEIGHT
    return lerp(PAGE_TOP, PAGE, 1 - (1 - t) ** 2)


def header_row(y):
    """Colour of the header strip at row y (the strip is a pattern brush from row 0)."""
    return lerp(HEADER_TOP, CAPTION, (y % HEADER_ROWS) / (HEADER_ROWS - 1))


def rows_image(w, h, row_colour, y0=0):
    img = Image.new("RGB", (w, h))
    for y in range(h):
        img.paste(row_colour(y0 + y), (0, y, w, y + 1))
    return img


def solid(w, h, colour):
    return Image.new("RGB", (w, h), colour)


def hexc(c):
    return "#%02x%02x%02x" % c


def svg(w, h, body, defs=""):
    """Renders an SVG fragment of w x h user units to an RGBA image of w x h pixels."""
    doc = ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
           '<defs>%s</defs>%s</svg>' % (w, h, w, h, defs, body))
    png = subprocess.run(["rsvg-convert", "--format", "png"], input=doc.encode(),
                         stdout=subprocess.PIPE, check=True).stdout
    img = Image.open(BytesIO(png)).convert("RGBA")
    if img.size != (w, h):
        raise SystemExit("rsvg-convert gave %s for %dx%d" % (img.size, w, h))
    return img


def on(background, art):
    out = background.convert("RGBA")
    out.alpha_composite(art)
    return out.convert("RGB")


def vgrad(gid, top, bottom):
    return ('<linearGradient id="%s" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
            '</linearGradient>' % (gid, top, bottom))


# ---------------------------------------------------------------- buttons

PALETTES = {
    # normal, hover, pressed: (top, bottom, border)
    "blue": [("#4b88da", "#3a72c4", "#2c5fa8"),
             ("#62a0ec", "#4b86d6", "#3570c0"),
             ("#2f64b0", "#3b73c2", "#264f92")],
    "green": [("#4dbb6c", "#36a055", "#2b8646"),
              ("#62cd80", "#45b264", "#329652"),
              ("#2f8a4b", "#39a157", "#26743d")],
    "navy": [("#3f78c9", "#2e62b0", "#244f93"),
             ("#5590e0", "#3e76c6", "#2d60a8"),
             ("#26529a", "#2f63b0", "#1e447f")],
}


def button_art(w, h, palette, state, radius=4, body=""):
    top, bottom, border = PALETTES[palette][state]
    shift = 1 if state == 2 else 0
    highlight = "" if state == 2 else (
        '<path d="M%.1f,1.5 H%.1f" stroke="#ffffff" stroke-opacity="0.35" stroke-width="1"/>'
        % (radius + 0.5, w - radius - 0.5))
    shade = ('<rect x="1" y="1" width="%d" height="2" rx="1" fill="#000000" fill-opacity="0.12"/>'
             % (w - 2)) if state == 2 else ""
    return svg(w, h,
               '<rect x="0.5" y="0.5" width="%d" height="%d" rx="%d" fill="url(#g)" stroke="%s"/>'
               '%s%s<g transform="translate(0,%d)">%s</g>'
               % (w - 1, h - 1, radius, border, highlight, shade, shift, body),
               vgrad("g", top, bottom))


def button_set(ids, w, h, palette, background, order, radius=4, body=""):
    """ids in the order the catalogue lists them; order names their states."""
    states = {"normal": 0, "hover": 1, "pressed": 2}
    return {i: on(background, button_art(w, h, palette, states[s], radius, body))
            for i, s in zip(ids, order)}


# -------------------------------------------------------- caption buttons

def caption_glyph(kind, w):
    c = w / 2.0
    stroke = 'stroke="#ffffff" stroke-width="1.7" stroke-linecap="round" fill="none"'
    if kind == "close":
        return ('<path d="M%.1f,6.5 L%.1f,14.5 M%.1f,6.5 L%.1f,14.5" %s/>'
                % (c - 4, c + 4, c + 4, c - 4, stroke))
    if kind == "minimise":
        return '<path d="M%.1f,14 H%.1f" %s/>' % (c - 4.5, c + 4.5, stroke)
    return ('<path d="M%.1f,7 H%.1f M%.1f,10.5 H%.1f M%.1f,14 H%.1f" %s/>'
            % (c - 5, c + 5, c - 5, c + 5, c - 5, c + 5, stroke.replace("1.7", "1.5")))


def caption_button(w, h, kind, state, danger=False):
    glyph = caption_glyph(kind, w)
    if state == 0:
        back = ""
    elif danger:
        back = ('<rect x="1" y="1" width="%d" height="%d" rx="3" fill="%s"/>'
                % (w - 2, h - 2, "#e5534b" if state == 1 else "#c23c35"))
    else:
        back = ('<rect x="1" y="1" width="%d" height="%d" rx="3" fill="%s" fill-opacity="%s"/>'
                % (w - 2, h - 2, "#ffffff" if state == 1 else "#123a78",
                   "0.28" if state == 1 else "0.25"))
    return svg(w, h, back + glyph)


def caption_buttons(pictures):
    # The main window's buttons lie on the header strip, from the frame's top edge down.
    strip = rows_image(30, 21, header_row, 3)
    for base, kind in ((101, "menu"), (104, "minimise"), (113, "close")):
        for state in range(3):
            pictures[base + state] = on(strip, caption_button(30, 21, kind, state, kind == "close"))
    band = solid(31, 21, CAPTION)
    for state in range(3):
        pictures[136 + state] = on(band, caption_button(31, 21, "close", state, True))


# ------------------------------------------------------------- emblems

def card_shape(x, y, w, h, fill, stroke=None, extra=""):
    cut = w * 0.28
    r = w * 0.09
    d = ("M%.2f,%.2f H%.2f L%.2f,%.2f V%.2f Q%.2f,%.2f %.2f,%.2f H%.2f Q%.2f,%.2f %.2f,%.2f V%.2f"
         " Q%.2f,%.2f %.2f,%.2f Z" % (
             x + r, y, x + w - cut, x + w, y + cut, y + h - r, x + w, y + h, x + w - r, y + h,
             x + r, x, y + h, x, y + h - r, y + r, x, y, x + r, y))
    s = ' stroke="%s" stroke-width="%.2f"' % stroke if stroke else ""
    return '<path d="%s" fill="%s"%s %s/>' % (d, fill, s, extra)


def emblem(size):
    """The product emblem in a size x size box: a memory card holding a photo, with a
    green restore badge. Drawn in 64-unit design space."""
    k = size / 64.0
    body = (
        '<g transform="scale(%f)">' % k
        + '<ellipse cx="30" cy="59" rx="20" ry="2.6" fill="#0a2a60" fill-opacity="0.18"/>'
        + card_shape(9, 5, 42, 52, "url(#card)", ("#2f64ae", 1.6))
        + ''.join('<rect x="%.1f" y="8.5" width="3" height="8" rx="1" fill="#f2b33d"/>'
                  % (15 + 5.2 * i) for i in range(4))
        + '<rect x="14" y="21" width="32" height="26" rx="3" fill="#dcecff" stroke="#3d79c8" stroke-width="1.4"/>'
        + '<circle cx="37.5" cy="28" r="3.6" fill="#ffb640"/>'
        + '<path d="M15,46 L24.5,33.5 L30,40 L34,35.5 L45.5,46 Z" fill="#3d79c8"/>'
        + '<circle cx="47" cy="47" r="12" fill="url(#badge)" stroke="#ffffff" stroke-width="2.2"/>'
        + '<path d="M41.5,48.5 A6,6 0 1 0 44.2,42.3" stroke="#ffffff" stroke-width="2.4" fill="none" stroke-linecap="round"/>'
        + '<path d="M40.6,39.2 L45.8,41.2 L42.6,45.6 Z" fill="#ffffff"/>'
        + '</g>')
    defs = (vgrad("card", "#ffffff", "#e4eefb") + vgrad("badge", "#55c474", "#2f9a50"))
    return body, defs


# --------------------------------------------------------------- icons

def message_icon(kind):
    grads = {
        "error": ("#f0625f", "#cc3b38"),
        "warning": ("#f8b544", "#e48b16"),
        "info": ("#5b9cec", "#2f72c6"),
        "question": ("#6b8cf0", "#3e5fcc"),
    }
    top, bottom = grads[kind]
    shadow = '<ellipse cx="24" cy="45" rx="15" ry="2.2" fill="#0a2a60" fill-opacity="0.14"/>'
    if kind == "warning":
        shape = ('<path d="M24,5.5 C25.6,5.5 26.6,6.3 27.5,7.8 L44.2,37.5 C45.8,40.4 44.2,43 '
                 '41,43 H7 C3.8,43 2.2,40.4 3.8,37.5 L20.5,7.8 C21.4,6.3 22.4,5.5 24,5.5 Z" '
                 'fill="url(#g)" stroke="#c9770f" stroke-width="1"/>')
        glyph = ('<path d="M24,17 V29" stroke="#ffffff" stroke-width="4.6" stroke-linecap="round"/>'
                 '<circle cx="24" cy="36" r="2.7" fill="#ffffff"/>')
    else:
        shape = ('<circle cx="24" cy="23.5" r="20" fill="url(#g)" stroke="%s" stroke-width="1"/>'
                 % bottom)
        if kind == "error":
            glyph = ('<path d="M17,16.5 L31,30.5 M31,16.5 L17,30.5" stroke="#ffffff" '
                     'stroke-width="4.6" stroke-linecap="round"/>')
        elif kind == "info":
            glyph = ('<circle cx="24" cy="14.5" r="3" fill="#ffffff"/>'
                     '<path d="M24,21.5 V33.5" stroke="#ffffff" stroke-width="4.8" stroke-linecap="round"/>')
        else:
            glyph = ('<path d="M18.2,18.2 C18.2,14.6 20.8,12.2 24.2,12.2 C27.6,12.2 30.2,14.4 30.2,17.6 '
                     'C30.2,22 24.4,22.2 24.4,27.2" stroke="#ffffff" stroke-width="4.2" fill="none" '
                     'stroke-linecap="round" stroke-linejoin="round"/>'
                     '<circle cx="24.4" cy="34.2" r="2.7" fill="#ffffff"/>')
    gloss = ('<ellipse cx="24" cy="13" rx="12" ry="6" fill="#ffffff" fill-opacity="0.16"/>'
             if kind != "warning" else "")
    return on(solid(48, 48, MESSAGE_BG),
              svg(48, 48, shadow + shape + gloss + glyph, vgrad("g", top, bottom)))


def photo_glyph(x, y, s, frame="#3d79c8", sky="#dcecff"):
    k = s / 16.0
    return ('<g transform="translate(%g,%g) scale(%g)">'
            '<rect x="1" y="2.5" width="14" height="11" rx="1.6" fill="%s" stroke="%s" stroke-width="1.2"/>'
            '<circle cx="10.8" cy="6" r="1.5" fill="#f5a623"/>'
            '<path d="M1.8,12.8 L6,7.6 L8.6,10.4 L10.3,8.7 L14.2,12.8 Z" fill="%s"/>'
            '</g>' % (x, y, k, sky, frame, frame))


def video_glyph(x, y, s, colour="#8a5cd1"):
    k = s / 16.0
    return ('<g transform="translate(%g,%g) scale(%g)">'
            '<rect x="0.8" y="4" width="10.4" height="8.4" rx="1.8" fill="%s"/>'
            '<path d="M11.6,8.2 L15.4,5.4 V11 Z" fill="%s" stroke="%s" stroke-width="0.8" stroke-linejoin="round"/>'
            '<circle cx="4" cy="8.2" r="1.3" fill="#ffffff" fill-opacity="0.85"/>'
            '</g>' % (x, y, k, colour, colour, colour))


def audio_glyph(x, y, s, colour="#e8862a"):
    k = s / 16.0
    return ('<g transform="translate(%g,%g) scale(%g)">'
            '<path d="M6,3.2 L14,1.2 V11.2" stroke="%s" stroke-width="1.6" fill="none" stroke-linejoin="round"/>'
            '<path d="M6,3.2 V13" stroke="%s" stroke-width="1.6"/>'
            '<ellipse cx="4.2" cy="13.2" rx="2.6" ry="2.1" fill="%s"/>'
            '<ellipse cx="12.2" cy="11.4" rx="2.6" ry="2.1" fill="%s"/>'
            '</g>' % (x, y, k, colour, colour, colour, colour))


def camera_glyph(x, y, s, colour="#3d79c8", lens="#dcecff"):
    k = s / 16.0
    return ('<g transform="translate(%g,%g) scale(%g)">'
            '<path d="M5.2,3.6 L6.4,2 H9.6 L10.8,3.6 Z" fill="%s"/>'
            '<rect x="0.8" y="3.4" width="14.4" height="10.4" rx="1.8" fill="%s"/>'
            '<circle cx="8" cy="8.6" r="3.6" fill="%s" stroke="#ffffff" stroke-width="1"/>'
            '<circle cx="8" cy="8.6" r="1.5" fill="%s"/>'
            '<rect x="11.8" y="4.7" width="2" height="1.2" rx="0.4" fill="#ffffff" fill-opacity="0.8"/>'
            '</g>' % (x, y, k, colour, colour, lens, colour))


def film_glyph(x, y, s, colour="#8a5cd1"):
    k = s / 16.0
    holes = "".join('<rect x="%.1f" y="%.1f" width="1.4" height="1.3" rx="0.3" fill="#ffffff"/>'
                    % (1.7, 3.2 + 2.6 * i) for i in range(4))
    holes += "".join('<rect x="%.1f" y="%.1f" width="1.4" height="1.3" rx="0.3" fill="#ffffff"/>'
                     % (12.9, 3.2 + 2.6 * i) for i in range(4))
    return ('<g transform="translate(%g,%g) scale(%g)">'
            '<rect x="0.8" y="1.8" width="14.4" height="12.4" rx="1.4" fill="%s"/>'
            '<rect x="4.2" y="3.4" width="7.6" height="4" rx="0.5" fill="#ffffff" fill-opacity="0.75"/>'
            '<rect x="4.2" y="8.6" width="7.6" height="4" rx="0.5" fill="#ffffff" fill-opacity="0.75"/>'
            '%s</g>' % (x, y, k, colour, holes))


def drive_glyph(x, y, s, colour="#5b6f8c"):
    k = s / 16.0
    return ('<g transform="translate(%g,%g) scale(%g)">'
            '<rect x="1" y="3" width="14" height="10" rx="2" fill="%s"/>'
            '<rect x="2.6" y="4.6" width="10.8" height="4.4" rx="1" fill="#ffffff" fill-opacity="0.25"/>'
            '<circle cx="12" cy="11" r="0.9" fill="#7fe08f"/>'
            '<path d="M3,11 H8" stroke="#ffffff" stroke-opacity="0.6" stroke-width="0.8"/>'
            '</g>' % (x, y, k, colour))


def document_glyph():
    return ('<path d="M3.5,1.5 H9.8 L13,4.7 V14.5 H3.5 Z" fill="#ffffff" stroke="#3d79c8" '
            'stroke-width="1.1" stroke-linejoin="round"/>'
            '<path d="M9.6,1.6 V4.9 H12.9" fill="#dcecff" stroke="#3d79c8" stroke-width="1" stroke-linejoin="round"/>'
            '<path d="M5.6,7.5 H10.9 M5.6,9.7 H10.9 M5.6,11.9 H9.2" stroke="#7aa6df" stroke-width="1"/>')


def hand_glyph():
    return ('<path d="M6.2,1.8 C7.1,1.8 7.6,2.4 7.6,3.2 V7.4 C8,6.9 9.6,6.9 9.9,7.7 '
            'C10.4,7.2 11.9,7.3 12.1,8.2 C12.6,7.9 13.9,8.1 13.9,9.2 V11.6 C13.9,13.4 12.6,14.6 10.9,14.6 '
            'H8.2 C7,14.6 6.2,14 5.5,13.1 L2.6,9.4 C2.1,8.7 2.4,7.9 3,7.7 C3.6,7.5 4.2,7.8 4.8,8.5 '
            'V3.2 C4.8,2.4 5.3,1.8 6.2,1.8 Z" fill="#ffe2c2" stroke="#c9762e" stroke-width="1" '
            'stroke-linejoin="round"/>'
            '<path d="M9.9,7.8 V10.2 M12.1,8.3 V10.4" stroke="#c9762e" stroke-width="0.8" stroke-linecap="round"/>')


def magnifier_glyph():
    return ('<circle cx="20" cy="20" r="12.5" fill="#ffffff" fill-opacity="0.85" stroke="#3d79c8" stroke-width="4"/>'
            '<path d="M29.5,29.5 L40,40" stroke="#2d5fa6" stroke-width="6.5" stroke-linecap="round"/>'
            '<path d="M13.5,16.5 A7,7 0 0 1 19,12.6" stroke="#9cc3f2" stroke-width="2.4" fill="none" stroke-linecap="round"/>'
            + photo_glyph(13, 13, 14))


def kind_icons(pictures):
    bg = solid(16, 16, PAGE)
    pictures[180] = on(bg, svg(16, 16, video_glyph(0, 0, 16)))
    pictures[181] = on(bg, svg(16, 16, photo_glyph(0, 0, 16)))
    pictures[182] = on(bg, svg(16, 16, audio_glyph(0, 0, 16)))
    pictures[193] = on(rows_image(16, 16, page_row, 90), svg(16, 16, document_glyph()))
    pictures[199] = on(solid(16, 16, PAGE), svg(16, 16, hand_glyph()))
    pictures[197] = on(rows_image(793, 48, page_row, 12).crop((12, 0, 60, 48)),
                       svg(48, 48, magnifier_glyph()))
    bullet = rows_image(5, 5, page_row, 65)
    pictures[179] = on(bullet, svg(5, 5, '<circle cx="2.5" cy="2.5" r="2.3" fill="#4782c3"/>'))


# ------------------------------------------------------------ big pieces

def page_background():
    img = rows_image(793, 494, page_row)
    line = svg(793, 494, '<path d="M0,%d H793" stroke="#ffffff" stroke-opacity="0.7"/>'
               % (BAND_HEIGHT + 0.5))
    return on(img, line)


def home_button_art(palette, state, symbol):
    # Soft rings in the free right part give the large buttons some depth; the label
    # is drawn over the top half, so they stay faint.
    rings = ('<clipPath id="inside"><rect x="1" y="1" width="318" height="138" rx="9"/></clipPath>'
             '<g clip-path="url(#inside)" fill="#ffffff">'
             '<circle cx="300" cy="150" r="86" fill-opacity="0.07"/>'
             '<circle cx="318" cy="168" r="58" fill-opacity="0.07"/>'
             '<circle cx="236" cy="150" r="34" fill-opacity="0.05"/></g>')
    return button_art(320, 140, palette, state, radius=10, body=rings + symbol())


def start_symbol():
    # A memory card with a magnifier over it, in white, on the left of the button.
    return ('<g transform="translate(22,26)">'
            + card_shape(6, 4, 62, 80, "#ffffff", None, 'fill-opacity="0.95"')
            + ''.join('<rect x="%.1f" y="9" width="5" height="13" rx="1.5" fill="#36a055" fill-opacity="0.55"/>'
                      % (14 + 8.5 * i) for i in range(4))
            + '<circle cx="58" cy="58" r="22" fill="#36a055" fill-opacity="0.25"/>'
            + '<circle cx="58" cy="58" r="17" fill="#e9f7ee" stroke="#1f6b35" stroke-width="6"/>'
            + '<path d="M70.5,70.5 L84,84" stroke="#1f6b35" stroke-width="9" stroke-linecap="round"/>'
            + '<path d="M48,54 A11,11 0 0 1 55.5,46.4" stroke="#7fd39a" stroke-width="3.2" fill="none" stroke-linecap="round"/>'
            + '</g>')


def resume_symbol():
    # A clock inside a circular arrow, in white, on the left of the button.
    return ('<g transform="translate(12,25)">'
            '<path d="M80,45 A35,35 0 1 1 69.7,20.3" stroke="#ffffff" stroke-width="7" fill="none" stroke-linecap="round"/>'
            '<path d="M78.5,8 L79.5,28.5 L59,27.5 Z" fill="#ffffff" stroke="#ffffff" stroke-width="2" stroke-linejoin="round"/>'
            '<circle cx="45" cy="45" r="22" fill="#ffffff" fill-opacity="0.95"/>'
            '<path d="M45,30 V45 L55,52" stroke="#2c5fa8" stroke-width="5" fill="none" stroke-linecap="round" stroke-linejoin="round"/>'
            '<circle cx="45" cy="45" r="3" fill="#2c5fa8"/>'
            '</g>')


def home_buttons(pictures):
    bg = solid(320, 140, PAGE)
    for base, palette, symbol in ((118, "blue", resume_symbol), (121, "green", start_symbol)):
        for offset, state in ((0, 0), (1, 2), (2, 1)):   # normal, pushed, hover
            pictures[base + offset] = on(bg, home_button_art(palette, state, symbol))


def banner():
    def tile(cx, glyph, accent):
        return ('<g transform="translate(%g,14)">'
                '<rect x="2" y="4" width="84" height="84" rx="16" fill="#0a2a60" fill-opacity="0.07"/>'
                '<rect x="0" y="0" width="84" height="84" rx="16" fill="#ffffff" stroke="%s" stroke-width="1.5"/>'
                '%s</g>' % (cx - 42, accent, glyph))
    sources = [(60, camera_glyph(14, 14, 56)), (160, drive_glyph(14, 14, 56)),
               (260, card_shape(24, 12, 38, 50, "#3d79c8")
                + ''.join('<rect x="%.1f" y="16" width="3.4" height="9" rx="1" fill="#f2b33d"/>'
                          % (29.5 + 6 * i) for i in range(4)))]
    results = [(420, photo_glyph(14, 14, 56)), (520, film_glyph(14, 14, 56)),
               (620, audio_glyph(14, 14, 56))]
    body = ''.join(tile(cx, g, "#c9dcf3") for cx, g in sources)
    body += ''.join(tile(cx, g, "#c9dcf3") for cx, g in results)
    body += ('<path d="M318,56 H352" stroke="#8fb6e8" stroke-width="6" stroke-linecap="round" stroke-dasharray="0.1 11"/>'
             '<path d="M348,42 L364,56 L348,70" stroke="#3d79c8" stroke-width="6" fill="none" '
             'stroke-linecap="round" stroke-linejoin="round"/>')
    return on(solid(680, 120, PAGE), svg(680, 120, body))


def step_bar(reached):
    """Three chevron segments; those before `reached` are done, segment `reached` is current."""
    w, h, depth = 580, 21, 8
    seg = w / 3.0
    parts = []
    for i in range(3):
        x0, x1 = i * seg, (i + 1) * seg
        left = x0 + (1.5 if i else 0.5)
        right = x1 - (1.5 if i < 2 else 0.5)
        if i == 0:
            d = "M%.1f,0.5 H%.1f L%.1f,10.5 L%.1f,20.5 H%.1f Q0.5,20.5 0.5,17 V4 Q0.5,0.5 %.1f,0.5 Z" % (
                4, right - depth, right, right - depth, 4, 4)
        elif i == 2:
            d = "M%.1f,0.5 H%.1f Q579.5,0.5 579.5,4 V17 Q579.5,20.5 %.1f,20.5 H%.1f L%.1f,10.5 Z" % (
                left - depth, 576, 576, left - depth, left)
        else:
            d = "M%.1f,0.5 H%.1f L%.1f,10.5 L%.1f,20.5 H%.1f L%.1f,10.5 Z" % (
                left - depth, right - depth, right, right - depth, left - depth, left)
        step = i + 1
        if step < reached:
            fill, extra = 'fill="#ffffff" fill-opacity="0.92"', (
                '<path d="M%.1f,10.8 L%.1f,14 L%.1f,7" stroke="#3a72c4" stroke-width="2" fill="none" '
                'stroke-linecap="round" stroke-linejoin="round"/>' % (x0 + 16, x0 + 19.5, x0 + 25.5))
        elif step == reached:
            fill, extra = 'fill="url(#now)"', (
                '<circle cx="%.1f" cy="10.5" r="3.2" fill="#ffffff"/>' % (x0 + 20))
        else:
            fill, extra = 'fill="#ffffff" fill-opacity="0.25"', (
                '<circle cx="%.1f" cy="10.5" r="2.6" fill="#ffffff" fill-opacity="0.7"/>' % (x0 + 20))
        parts.append('<path d="%s" %s/>%s' % (d, fill, extra))
    return on(solid(w, h, CAPTION), svg(w, h, "".join(parts), vgrad("now", "#ffb24d", "#f28a1e")))


def progress_tile():
    # Diagonal stripes with a period of 10 pixels both ways, so the tile repeats seamlessly.
    a, b = (88, 152, 228), (122, 178, 240)
    img = Image.new("RGB", (250, 10))
    px = img.load()
    n = 4
    for y in range(10):
        for x in range(250):
            acc = 0.0
            for sy in range(n):
                for sx in range(n):
                    u = (x + (sx + 0.5) / n + y + (sy + 0.5) / n) % 10
                    acc += 1.0 if u < 5 else 0.0
            t = acc / (n * n)
            px[x, y] = lerp(b, a, t)
    # a soft highlight along the top rows keeps the bar from looking flat
    return img


def placeholder(glyph):
    body = ('<rect x="0.5" y="0.5" width="116" height="80" rx="6" fill="url(#g)" stroke="#c9dcf3"/>'
            + glyph)
    return on(solid(117, 81, WHITE), svg(117, 81, body, vgrad("g", "#f4f8fe", "#e3eefb")))


def placeholders(pictures):
    pictures[203] = placeholder(photo_glyph(38.5, 20.5, 40))
    pictures[204] = placeholder(audio_glyph(38.5, 20.5, 40))
    pictures[205] = placeholder(film_glyph(38.5, 20.5, 40))
    pictures[218] = placeholder(camera_glyph(38.5, 20.5, 40)
                                + '<rect x="76" y="55" width="18" height="9" rx="2.5" fill="#3d79c8"/>'
                                + '<path d="M79.5,59.5 H90.5" stroke="#ffffff" stroke-width="1.6" stroke-dasharray="2 1.6"/>')


def check_boxes(pictures):
    bg = solid(14, 14, WHITE)
    pictures[206] = on(bg, svg(14, 14, '<rect x="0.5" y="0.5" width="13" height="13" rx="2.5" '
                                       'fill="#ffffff" stroke="#7ea6d9"/>'))
    pictures[207] = on(bg, svg(14, 14, '<rect x="0.5" y="0.5" width="13" height="13" rx="2.5" '
                                       'fill="#3a7bd5" stroke="#2c63b2"/>'
                                       '<path d="M3.4,7.2 L6,9.8 L10.8,4.4" stroke="#ffffff" stroke-width="1.9" '
                                       'fill="none" stroke-linecap="round" stroke-linejoin="round"/>'))


def spinner(frame):
    import math
    dots = []
    for i in range(8):
        age = (frame - i) % 8           # 0 is the head of the turning tail
        angle = math.radians(i * 45 - 90)
        cx, cy = 32 + 20 * math.cos(angle), 32 + 20 * math.sin(angle)
        colour = lerp((58, 123, 213), (214, 228, 247), age / 7.0)
        r = 6.0 - age * 0.35
        dots.append('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="%s"/>' % (cx, cy, r, hexc(colour)))
    return on(solid(64, 64, WHITE), svg(64, 64, "".join(dots)))


def separator_tile():
    img = Image.new("RGB", (460, 2))
    img.paste((104, 150, 214), (0, 0, 460, 1))
    img.paste((196, 220, 250), (0, 1, 460, 2))
    return img


def header_tile():
    return rows_image(5, HEADER_ROWS, header_row)


# --------------------------------------------------------------- output

def save_bmp(path, img):
    # PIL writes RGB images as BITMAPINFOHEADER, 24 bits, BI_RGB, bottom-up.
    img.convert("RGB").save(path, format="BMP")


def save_ico(path, sizes):
    """An icon file with one 32-bit entry (with alpha and an AND mask) per size."""
    entries, blobs = [], []
    for s in sizes:
        body, defs = emblem(s)
        img = svg(s, s, body, defs)
        rows = []
        for y in range(s - 1, -1, -1):
            for x in range(s):
                r, g, b, a = img.getpixel((x, y))
                rows.append(struct.pack("BBBB", b, g, r, a))
        mask_stride = ((s + 31) // 32) * 4
        mask = bytearray()
        for y in range(s - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(s):
                if img.getpixel((x, y))[3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        blob = header + b"".join(rows) + bytes(mask)
        blobs.append(blob)
        entries.append((s, len(blob)))
    offset = 6 + 16 * len(entries)
    out = struct.pack("<HHH", 0, 1, len(entries))
    for s, size in entries:
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, size, offset)
        offset += size
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


CATALOGUE = {  # id: (width, height)
    **{i: (30, 21) for i in list(range(101, 107)) + [113, 114, 115]},
    117: (793, 494), **{i: (320, 140) for i in range(118, 124)}, 124: (680, 120),
    **{i: (48, 48) for i in range(129, 133)}, **{i: (70, 24) for i in range(133, 136)},
    **{i: (31, 21) for i in range(136, 139)}, 147: (64, 64), 148: (460, 2),
    **{i: (130, 24) for i in range(149, 152)}, 167: (90, 68), 168: (5, 24),
    **{i: (580, 21) for i in range(169, 173)}, **{i: (100, 24) for i in range(173, 176)},
    **{i: (100, 30) for i in range(176, 179)}, 179: (5, 5),
    **{i: (16, 16) for i in (180, 181, 182, 193, 199)}, **{i: (110, 30) for i in range(184, 187)},
    **{i: (120, 40) for i in range(187, 190)}, **{i: (80, 30) for i in range(190, 193)},
    197: (48, 48), 202: (250, 10), **{i: (117, 81) for i in (203, 204, 205, 218)},
    206: (14, 14), 207: (14, 14), **{i: (64, 64) for i in range(208, 216)},
}


def draw_all():
    p = {}
    caption_buttons(p)
    page = page_background()
    p[117] = page
    home_buttons(p)
    p[124] = banner()
    for i, kind in zip(range(129, 133), ("error", "warning", "info", "question")):
        p[i] = message_icon(kind)
    # dialog buttons on the caption-coloured band: normal, hover, pressed
    p.update(button_set([133, 134, 135], 70, 24, "navy", solid(70, 24, CAPTION),
                        ["normal", "hover", "pressed"]))
    body, defs = emblem(64)
    p[147] = on(solid(64, 64, CAPTION), svg(64, 64, body, defs))
    p[148] = separator_tile()
    p.update(button_set([149, 150, 151], 130, 24, "navy", solid(130, 24, CAPTION),
                        ["normal", "hover", "pressed"]))
    body, defs = emblem(68)
    p[167] = on(solid(90, 68, CAPTION), svg(90, 68, '<g transform="translate(11,0)">%s</g>' % body, defs))
    p[168] = header_tile()
    for step in range(4):
        p[169 + step] = step_bar(step)
    # options page buttons (on the flat panel) and page buttons (on the bottom band)
    p.update(button_set([173, 174, 175], 100, 24, "blue", solid(100, 24, PAGE),
                        ["normal", "pressed", "hover"]))
    p.update(button_set([176, 177, 178], 100, 30, "blue", solid(100, 30, MESSAGE_BG),
                        ["normal", "pressed", "hover"]))
    kind_icons(p)
    # recovery page: filter and pause/stop lie in the top panel, over the page gradient
    p.update(button_set([184, 185, 186], 110, 30, "blue", page.crop((660, 25, 770, 55)),
                        ["normal", "pressed", "hover"]))
    p.update(button_set([187, 188, 189], 120, 40, "green", solid(120, 40, PAGE),
                        ["normal", "pressed", "hover"], radius=6))
    p.update(button_set([190, 191, 192], 80, 30, "blue", page.crop((350, 25, 430, 55)),
                        ["normal", "pressed", "hover"]))
    p[202] = progress_tile()
    placeholders(p)
    check_boxes(p)
    for frame in range(8):
        p[208 + frame] = spinner(frame)
    return p


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    out = os.path.join(sys.argv[1], "skin")
    os.makedirs(out, exist_ok=True)
    pictures = draw_all()
    if sorted(pictures) != sorted(CATALOGUE):
        raise SystemExit("drawn ids differ from the catalogue: %s"
                         % sorted(set(pictures) ^ set(CATALOGUE)))
    for i, img in sorted(pictures.items()):
        if img.size != CATALOGUE[i]:
            raise SystemExit("bitmap %d is %s, not %s" % (i, img.size, CATALOGUE[i]))
        save_bmp(os.path.join(out, "%d.bmp" % i), img)
        if "--png" in sys.argv:
            img.save(os.path.join(out, "%d.png" % i))
    save_ico(os.path.join(out, "app.ico"), [16, 24, 32, 48])


if __name__ == "__main__":
    main()
