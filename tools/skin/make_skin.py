#!/usr/bin/python3
"""Draws the downloader's skin: every PNG resource under res/skin/ and the
program icon res/app.ico.

Run from anywhere:  /usr/bin/python3 tools/skin/make_skin.py
Needs python3-pil and fonts-wqy-microhei. The outputs are committed, so a
build needs neither; run this again only after changing a picture here.

Shapes are drawn at four times their size and scaled down, which gives the
soft, alpha-blended edges; captions are drawn at final size so they stay sharp.
"""
import os
import struct
import io

from PIL import Image, ImageDraw, ImageFont, ImageFilter

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(ROOT, "res", "skin")
FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SS = 4  # supersampling factor for shapes

# Palette: a dark navy frame with a cool blue accent, orange-green actions.
NAVY_DARK = (16, 27, 43)
NAVY = (26, 42, 64)
NAVY_LIGHT = (38, 60, 90)
ACCENT = (52, 148, 230)
CYAN_KEY = (0, 255, 255)


def font(size, bold=False):
    f = ImageFont.truetype(FONT_PATH, size)
    return f


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def vgradient(w, h, top, bottom):
    img = Image.new("RGBA", (w, h))
    px = img.load()
    for y in range(h):
        c = lerp(top, bottom, y / max(1, h - 1))
        if len(c) == 3:
            c = c + (255,)
        for x in range(w):
            px[x, y] = c
    return img


def rounded_mask(w, h, r):
    """Anti-aliased rounded-rectangle mask of w x h."""
    big = Image.new("L", (w * SS, h * SS), 0)
    ImageDraw.Draw(big).rounded_rectangle((0, 0, w * SS - 1, h * SS - 1), r * SS, fill=255)
    return big.resize((w, h), Image.LANCZOS)


def rounded_fill(w, h, r, top, bottom, border=None):
    body = vgradient(w, h, top, bottom)
    mask = rounded_mask(w, h, r)
    if border:
        edge = Image.new("RGBA", (w, h), border + (255,))
        inner = rounded_mask(w - 2, h - 2, max(0, r - 1))
        m2 = Image.new("L", (w, h), 0)
        m2.paste(inner, (1, 1))
        edge.paste(body, (0, 0), m2)
        body = edge
    body.putalpha(mask)
    return body


def text_center(img, text, size, colour, dy=0, shadow=None, box=None):
    d = ImageDraw.Draw(img)
    f = font(size)
    x0, y0, x1, y1 = d.textbbox((0, 0), text, font=f)
    bx, by, bw, bh = box if box else (0, 0, img.width, img.height)
    x = bx + (bw - (x1 - x0)) // 2 - x0
    y = by + (bh - (y1 - y0)) // 2 - y0 + dy
    if shadow:
        d.text((x, y + 1), text, font=f, fill=shadow)
    d.text((x, y), text, font=f, fill=colour)


def strip(frames):
    w = sum(f.width for f in frames)
    out = Image.new("RGBA", (w, frames[0].height), (0, 0, 0, 0))
    x = 0
    for f in frames:
        out.paste(f, (x, 0), f)
        x += f.width
    return out


def save(img, res_id):
    os.makedirs(OUT, exist_ok=True)
    img.save(os.path.join(OUT, "%d.png" % res_id), optimize=True)


# ---------------------------------------------------------------- buttons ---
BIG_STYLES = {  # caption -> (normal top, normal bottom)
    "开始下载": ((255, 160, 44), (236, 110, 12)),
    "继续下载": ((84, 196, 92), (42, 150, 58)),
    "暂停下载": ((74, 160, 238), (34, 112, 200)),
    "立即安装": ((84, 196, 92), (42, 150, 58)),
}


def big_button(caption):
    top, bottom = BIG_STYLES[caption]
    frames = []
    for state in range(3):
        w, h = 135, 40
        t, b = top, bottom
        if state == 1:
            t, b = lerp(top, (255, 255, 255), 0.18), lerp(bottom, (255, 255, 255), 0.12)
        elif state == 2:
            t, b = lerp(bottom, (0, 0, 0), 0.12), lerp(top, (0, 0, 0), 0.05)
        frame = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        body = rounded_fill(w - 2, h - 2, 6, t, b, border=lerp(b, (0, 0, 0), 0.35))
        # a soft drop shadow under the button
        shadow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        sm = rounded_mask(w - 2, h - 2, 6).point(lambda v: v * 90 // 255)
        shadow.paste((0, 0, 0, 255), (1, 2), sm)
        shadow = shadow.filter(ImageFilter.GaussianBlur(1))
        frame = Image.alpha_composite(frame, shadow)
        frame.alpha_composite(body, (1, 0 if state != 2 else 1))
        # gloss on the upper half
        if state != 2:
            gloss = Image.new("RGBA", (w - 6, (h - 2) // 2 - 2), (255, 255, 255, 40))
            gm = rounded_mask(gloss.width, gloss.height, 4).point(lambda v: v * 40 // 255)
            g = Image.new("RGBA", gloss.size, (255, 255, 255, 0))
            g.putalpha(gm)
            frame.alpha_composite(g, (3, 2))
        text_center(frame, caption, 16, (255, 255, 255, 255), dy=(0 if state != 2 else 1) - 1,
                    shadow=(0, 0, 0, 90))
        frames.append(frame)
    return strip(frames)


def small_button(caption):
    frames = []
    base_top, base_bottom = (92, 170, 240), (44, 120, 210)
    for state in range(3):
        w, h = 78, 30
        t, b = base_top, base_bottom
        if state == 1:
            t, b = lerp(t, (255, 255, 255), 0.2), lerp(b, (255, 255, 255), 0.15)
        elif state == 2:
            t, b = lerp(b, (0, 0, 0), 0.15), lerp(t, (0, 0, 0), 0.1)
        frame = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        body = rounded_fill(w, h - 1, 4, t, b, border=lerp(b, (0, 0, 0), 0.3))
        frame.alpha_composite(body, (0, 0 if state != 2 else 1))
        text_center(frame, caption, 13, (255, 255, 255, 255), dy=(0 if state != 2 else 1),
                    shadow=(0, 0, 0, 80))
        frames.append(frame)
    return strip(frames)


def glyph_button(kind):
    frames = []
    for state in range(3):
        w, h = 19, 20
        big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
        d = ImageDraw.Draw(big)
        if state == 1:
            fill = (232, 72, 60, 255) if kind == "close" else (255, 255, 255, 60)
            d.rounded_rectangle((0, 1 * SS, w * SS - 1, h * SS - 1 * SS), 3 * SS, fill=fill)
        elif state == 2:
            fill = (180, 40, 32, 255) if kind == "close" else (0, 0, 0, 90)
            d.rounded_rectangle((0, 1 * SS, w * SS - 1, h * SS - 1 * SS), 3 * SS, fill=fill)
        ink = (255, 255, 255, 255) if state else (214, 226, 240, 255)
        cx, cy = w * SS / 2, h * SS / 2
        lw = int(1.6 * SS)
        if kind == "close":
            k = 4.2 * SS
            d.line((cx - k, cy - k, cx + k, cy + k), fill=ink, width=lw)
            d.line((cx - k, cy + k, cx + k, cy - k), fill=ink, width=lw)
        elif kind == "min":
            d.line((cx - 4.5 * SS, cy + 3 * SS, cx + 4.5 * SS, cy + 3 * SS), fill=ink, width=lw)
        else:
            for dx in (-4.5, 0, 4.5):
                r = 1.4 * SS
                d.ellipse((cx + dx * SS - r, cy - r, cx + dx * SS + r, cy + r), fill=ink)
        frames.append(big.resize((w, h), Image.LANCZOS))
    return strip(frames)


def check_box():
    """Nine 14 x 14 frames: unchecked normal, over, pressed, disabled; the
    same checked; a greyed check for the mixed state."""
    frames = []
    for i in range(9):
        checked = 4 <= i <= 7 or i == 8
        state = i % 4 if i < 8 else 3
        w = 14
        big = Image.new("RGBA", (w * SS, w * SS), (0, 0, 0, 0))
        d = ImageDraw.Draw(big)
        border = {0: (120, 150, 190), 1: ACCENT, 2: (30, 100, 180), 3: (110, 116, 126)}[state]
        face = {0: (250, 252, 255), 1: (235, 245, 255), 2: (200, 222, 246), 3: (206, 210, 216)}[state]
        d.rounded_rectangle((0, 0, w * SS - 1, w * SS - 1), 2.5 * SS, fill=border + (255,))
        d.rounded_rectangle((SS, SS, w * SS - 1 - SS, w * SS - 1 - SS), 1.8 * SS, fill=face + (255,))
        if checked:
            ink = (40, 130, 220) if state < 3 else (130, 134, 140)
            if i == 8:
                ink = (150, 156, 166)
            pts = [(3.2 * SS, 7.2 * SS), (5.8 * SS, 9.8 * SS), (10.8 * SS, 4.2 * SS)]
            d.line(pts, fill=ink + (255,), width=int(2.0 * SS), joint="curve")
        frames.append(big.resize((w, w), Image.LANCZOS))
    return strip(frames)


# ------------------------------------------------------------ progress -----
def progress(fill):
    w, h, r = 419, 17, 8.5
    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    if fill:
        d.rounded_rectangle((0, 0, w * SS - 1, h * SS - 1), r * SS, fill=(255, 255, 255, 255))
        mask = big.split()[3].resize((w, h), Image.LANCZOS)
        body = vgradient(w, h, (120, 214, 255), (22, 132, 222))
        # a bright line near the top for depth
        hl = ImageDraw.Draw(body)
        hl.line((6, 3, w - 7, 3), fill=(190, 236, 255, 255))
    else:
        d.rounded_rectangle((0, 0, w * SS - 1, h * SS - 1), r * SS, fill=(255, 255, 255, 255))
        mask = big.split()[3].resize((w, h), Image.LANCZOS)
        body = vgradient(w, h, (8, 14, 24), (34, 50, 74))
        inner = Image.new("L", (w, h), 0)
        ImageDraw.Draw(inner).rounded_rectangle((1, 1, w - 2, h - 2), 7.5, fill=255)
        edge = Image.new("RGBA", (w, h), (70, 96, 130, 255))
        edge.paste(body, (0, 0), inner)
        body = edge
    body.putalpha(mask)
    return body


# ----------------------------------------------------------- backgrounds ---
PAGE_POLY = [(7, 0), (286, 0), (295, 10), (671, 10), (679, 19), (679, 411), (671, 419),
             (8, 419), (0, 411), (0, 0)]


def page_background():
    w, h = 680, 420
    img = vgradient(w, h, NAVY_LIGHT, NAVY_DARK)
    d = ImageDraw.Draw(img)
    # title band
    band = vgradient(w, 46, (48, 76, 112), (30, 48, 74))
    img.paste(band, (0, 0))
    d.line((0, 46, w, 46), fill=(64, 100, 146, 255))
    # the logo mark left of the title
    logo = Image.new("RGBA", (26 * SS, 26 * SS), (0, 0, 0, 0))
    ld = ImageDraw.Draw(logo)
    ld.ellipse((0, 0, 26 * SS - 1, 26 * SS - 1), fill=(255, 150, 40, 255))
    ld.polygon([(8 * SS, 7 * SS), (8 * SS, 19 * SS), (19 * SS, 13 * SS)], fill=(255, 255, 255, 255))
    img.alpha_composite(logo.resize((26, 26), Image.LANCZOS), (20, 15))
    # web pane frame (20,56)-(660,301)
    d.rectangle((18, 54, 661, 302), outline=(60, 92, 134, 255))
    d.rectangle((19, 55, 660, 301), fill=(12, 20, 32, 255))
    # lower panel
    panel = vgradient(w - 20, 100, (30, 48, 72), (20, 33, 51))
    img.paste(panel, (10, 308))
    d.rectangle((10, 308, 669, 407), outline=(52, 80, 116, 255))
    d.line((14, 384, 665, 384), fill=(44, 68, 100, 255))
    # colour key outside the window polygon, with hard edges (the key is exact)
    mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(mask).polygon(PAGE_POLY, fill=255)
    outside = Image.new("RGBA", (w, h), CYAN_KEY + (255,))
    outside.paste(img, (0, 0), mask)
    img = outside
    od = ImageDraw.Draw(img)
    od.line(PAGE_POLY + [PAGE_POLY[0]], fill=(80, 120, 170, 255))
    return img.convert("RGB")


def panel_404(title_band=True):
    """Prompt panel 404 x 201: dark title band, light body, thin frame."""
    w, h = 404, 201
    img = vgradient(w, h, (246, 249, 253), (228, 236, 246))
    d = ImageDraw.Draw(img)
    if title_band:
        band = vgradient(w, 30, (48, 76, 112), (30, 48, 74))
        img.paste(band, (0, 0))
    d.rectangle((0, 0, w - 1, h - 1), outline=(30, 48, 74, 255))
    d.rectangle((1, 1, w - 2, h - 2), outline=(92, 128, 172, 255))
    d.line((2, 30, w - 3, 30), fill=(20, 34, 54, 255))
    # footer strip for the buttons (from y 146 on: the fixed bottom row)
    foot = vgradient(w - 4, 53, (232, 238, 246), (214, 224, 238))
    img.paste(foot, (2, 146))
    d.line((2, 146, w - 3, 146), fill=(196, 208, 224, 255))
    return img.convert("RGB")


def fallback_panel():
    w, h = 640, 245
    img = vgradient(w, h, (22, 36, 56), (12, 20, 32))
    d = ImageDraw.Draw(img)
    for i in range(0, w, 32):
        d.line((i, 0, i, h), fill=(26, 42, 64, 255))
    for j in range(0, h, 32):
        d.line((0, j, w, j), fill=(26, 42, 64, 255))
    text_center(img, "Vorla 游戏下载器", 28, (214, 226, 240, 255), dy=-18)
    text_center(img, "高速下载 · 安全无忧", 14, (120, 160, 210, 255), dy=22)
    return img.convert("RGB")


def white_panel():
    img = Image.new("RGB", (330, 156), (255, 255, 255))
    ImageDraw.Draw(img).rectangle((0, 0, 329, 155), outline=(210, 220, 232))
    return img


def title_strip():
    img = vgradient(228, 29, (48, 76, 112), (30, 48, 74))
    text_center(img, "Vorla 游戏下载器", 14, (255, 255, 255, 255))
    return img


def icon_shape(size, kind):
    big = Image.new("RGBA", (size[0] * SS, size[1] * SS), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    W, H = big.size
    if kind == "warning":
        d.ellipse((0, 0, W - 1, H - 1), fill=(255, 150, 30, 255))
        d.rounded_rectangle((W * 0.43, H * 0.18, W * 0.57, H * 0.62), 1.5 * SS, fill=(255, 255, 255, 255))
        d.ellipse((W * 0.42, H * 0.70, W * 0.58, H * 0.86), fill=(255, 255, 255, 255))
    elif kind == "gem":
        pts = [(W * 0.2, H * 0.08), (W * 0.8, H * 0.08), (W * 0.98, H * 0.36), (W * 0.5, H * 0.96),
               (W * 0.02, H * 0.36)]
        d.polygon(pts, fill=(60, 150, 240, 255))
        d.polygon([(W * 0.2, H * 0.08), (W * 0.8, H * 0.08), (W * 0.98, H * 0.36), (W * 0.02, H * 0.36)],
                  fill=(140, 200, 255, 255))
        d.line([(W * 0.02, H * 0.36), (W * 0.98, H * 0.36)], fill=(255, 255, 255, 200), width=SS)
    elif kind == "chest":
        d.rounded_rectangle((0, H * 0.3, W - 1, H - 1), 2 * SS, fill=(52, 160, 70, 255))
        d.rounded_rectangle((0, 0, W - 1, H * 0.42), 3 * SS, fill=(90, 200, 100, 255))
        d.rectangle((W * 0.42, H * 0.3, W * 0.58, H * 0.62), fill=(255, 210, 60, 255))
    elif kind == "disk":
        d.rounded_rectangle((2 * SS, 14 * SS, W - 2 * SS, H - 6 * SS), 8 * SS, fill=(150, 164, 184, 255))
        d.rounded_rectangle((6 * SS, 18 * SS, W - 6 * SS, H - 12 * SS), 6 * SS, fill=(196, 206, 220, 255))
        d.ellipse((W - 22 * SS, H - 26 * SS, W - 14 * SS, H - 18 * SS), fill=(70, 210, 90, 255))
        tri = [(W * 0.5, H * 0.02), (W * 0.78, H * 0.56), (W * 0.22, H * 0.56)]
        d.polygon(tri, fill=(255, 150, 30, 255))
        d.rectangle((W * 0.48, H * 0.16, W * 0.52, H * 0.40), fill=(255, 255, 255, 255))
        d.ellipse((W * 0.475, H * 0.44, W * 0.525, H * 0.51), fill=(255, 255, 255, 255))
    return big.resize(size, Image.LANCZOS)


# --------------------------------------------------------------- icon ------
def app_icon(size):
    big = Image.new("RGBA", (size * SS, size * SS), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    S = size * SS
    d.rounded_rectangle((0, 0, S - 1, S - 1), S * 0.22, fill=(30, 48, 74, 255))
    d.rounded_rectangle((S * 0.06, S * 0.06, S * 0.94, S * 0.94), S * 0.18, fill=(255, 150, 40, 255))
    # a down arrow over a tray
    d.rectangle((S * 0.42, S * 0.18, S * 0.58, S * 0.52), fill=(255, 255, 255, 255))
    d.polygon([(S * 0.24, S * 0.48), (S * 0.76, S * 0.48), (S * 0.5, S * 0.74)], fill=(255, 255, 255, 255))
    d.rectangle((S * 0.22, S * 0.78, S * 0.78, S * 0.85), fill=(255, 255, 255, 255))
    return big.resize((size, size), Image.LANCZOS)


def write_ico(path, sizes):
    """An .ico of 32-bit BMP entries (readable by every Windows version)."""
    entries = []
    for s in sizes:
        img = app_icon(s)
        px = img.load()
        rows = []
        for y in range(s - 1, -1, -1):
            row = bytearray()
            for x in range(s):
                r, g, b, a = px[x, y]
                row += bytes((b, g, r, a))
            rows.append(bytes(row))
        mask_stride = ((s + 31) // 32) * 4
        mask = bytes(mask_stride * s)  # alpha carries the shape
        header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, s * s * 4 + len(mask), 0, 0, 0, 0)
        entries.append((s, header + b"".join(rows) + mask))
    out = io.BytesIO()
    out.write(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for s, data in entries:
        out.write(struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset))
        offset += len(data)
    for _, data in entries:
        out.write(data)
    with open(path, "wb") as f:
        f.write(out.getvalue())


def main():
    save(panel_404(), 101)
    save(glyph_button("close"), 102)
    save(progress(True), 103)
    save(progress(False), 104)
    save(page_background(), 105)
    save(big_button("继续下载"), 106)
    save(big_button("暂停下载"), 107)
    save(check_box(), 110)
    save(icon_shape((88, 67), "disk"), 111)
    save(icon_shape((24, 24), "warning"), 112)
    save(title_strip(), 113)
    save(big_button("开始下载"), 114)
    save(glyph_button("min"), 115)
    save(glyph_button("menu"), 116)
    save(big_button("立即安装"), 117)
    save(white_panel(), 120)
    save(fallback_panel(), 123)
    save(icon_shape((20, 19), "gem"), 124)
    save(panel_404(), 125)
    for res_id, caption in ((126, "关闭"), (127, "更改目录"), (128, "下载"), (129, "重新下载"),
                            (130, "重试"), (131, "下次再装"), (132, "装上试试"), (134, "继续"),
                            (135, "立即安装"), (136, "反馈")):
        save(small_button(caption), res_id)
    save(icon_shape((16, 15), "chest"), 137)
    write_ico(os.path.join(ROOT, "res", "app.ico"), (16, 24, 32, 48))


if __name__ == "__main__":
    main()
