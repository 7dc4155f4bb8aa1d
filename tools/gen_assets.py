#!/usr/bin/env python3
"""Generate the installer's artwork into assets/.

Usage (from the repository root):

    python3 tools/gen_assets.py [--out DIR]

Needs Python 3 with numpy and Pillow. The build does not run this script:
the generated files in assets/ are committed, and this script is kept so they
can be reproduced or tweaked. Output is deterministic (seeded noise, no
timestamps or metadata), so re-running it yields byte-identical files.

Writes:
  background.bmp  960x640 24-bit bottom-up BMP, the window backdrop
  orb_strip_N.jpg the 288 frames of 144x144 in 8 parts (N = 1..8) of 36 frames
                  stacked vertically, baseline JPEG, decoded one part at a time
  orb_mask.png    144x144 8-bit greyscale disc used to cut the orb out
  app.ico         16/24/32/48/256 px application icon
"""

import argparse
import io
import os
import struct
import sys

import numpy as np
from PIL import Image

TAU = 2.0 * np.pi

BG_W, BG_H = 960, 640

ORB_SIZE = 144
ORB_FRAMES = 288
ORB_PARTS = 8              # the installer's kStripParts
ORB_RADIUS = 66.0          # leaves a ~6 px margin inside the 144 px frame
JPEG_QUALITY = 78
JPEG_SUBSAMPLING = 0       # 4:4:4 keeps the thin coloured filaments crisp

ICON_SIZES = (16, 24, 32, 48, 256)

CYAN = np.array([0.20, 0.85, 1.00], np.float32)
VIOLET = np.array([0.55, 0.30, 1.00], np.float32)
CORE = np.array([0.85, 0.97, 1.00], np.float32)
DEEP = np.array([0.10, 0.12, 0.45], np.float32)


def to_u8(rgb):
    return (np.clip(rgb, 0.0, 1.0) * 255.0 + 0.5).astype(np.uint8)


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


# --------------------------------------------------------------------------
# Background

def render_background():
    y, x = np.mgrid[0:BG_H, 0:BG_W].astype(np.float32)
    x /= BG_W
    y /= BG_H
    aspect = BG_W / BG_H

    def glow(cx, cy, rx, ry):
        d2 = ((x - cx) * aspect / rx) ** 2 + ((y - cy) / ry) ** 2
        return np.exp(-d2)[..., None]

    base = np.array([0.012, 0.014, 0.024], np.float32)
    teal = np.array([0.004, 0.140, 0.160], np.float32)
    violet = np.array([0.100, 0.050, 0.240], np.float32)
    indigo = np.array([0.020, 0.020, 0.070], np.float32)

    rgb = base + teal * glow(0.10, 0.02, 0.85, 0.70)
    rgb = rgb + violet * glow(1.00, 0.40, 0.70, 0.65)
    # A faint broad indigo wash ties the two glows together in the middle.
    rgb = rgb + indigo * glow(0.55, 0.25, 1.30, 0.70)

    # Fade towards near-black at the bottom so the lower edge stays calm.
    fade = 1.0 - 0.88 * smoothstep(0.25, 1.0, y)
    rgb *= fade[..., None]

    # Gentle gamma lift keeps the dark gradient smooth rather than crushed.
    rgb = np.clip(rgb, 0.0, 1.0) ** (1.0 / 1.15)

    # Triangular dither of about one code value breaks up 8-bit banding.
    rng = np.random.default_rng(0x5EED_B6)
    noise = rng.random(rgb.shape, np.float32) - rng.random(rgb.shape, np.float32)
    return np.clip(rgb * 255.0 + noise + 0.5, 0, 255).astype(np.uint8)


def write_bmp(path, rgb):
    h, w, _ = rgb.shape
    row = w * 3
    assert row % 4 == 0, "rows are written without padding"
    pixels = np.ascontiguousarray(rgb[::-1, :, ::-1]).tobytes()  # bottom-up BGR
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels),
                       2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    with open(path, "wb") as f:
        f.write(head + info + pixels)


# --------------------------------------------------------------------------
# Orb

def rot_y(a):
    c, s = np.cos(a), np.sin(a)
    return np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]], np.float64)


def rot_x(a):
    c, s = np.cos(a), np.sin(a)
    return np.array([[1, 0, 0], [0, c, -s], [0, s, c]], np.float64)


def render_orb(size, radius, phase, detail=1.0, supersample=1):
    """Premultiplied (drawn on black) orb and its disc coverage.

    phase is in loops: every motion below turns by an integer multiple of
    TAU per unit of phase, so phase 1.0 renders exactly like phase 0.0.
    """
    n = size * supersample
    c = (np.arange(n, dtype=np.float64) + 0.5) / supersample - size / 2.0
    u = c[None, :] / radius
    v = -c[:, None] / radius
    u, v = np.broadcast_arrays(u, v)
    r2 = u * u + v * v
    r = np.sqrt(r2)
    inside = r2 < 1.0
    z = np.sqrt(np.clip(1.0 - r2, 0.0, 1.0))
    w = TAU * phase

    # Point on the sphere surface, turned with the animation so the filaments
    # appear to wrap around a spinning body rather than slide on a disc.
    p = np.stack([u, v, z], -1)
    q = p @ (rot_x(0.35) @ rot_y(w)).T
    qx, qy, qz = q[..., 0], q[..., 1], q[..., 2]

    ang = np.arctan2(v, u)
    f = detail

    # Cyan arms: a three-armed spiral turning once per loop, warped by a
    # field fixed to the spinning sphere.
    warp1 = (1.3 * np.sin(f * 3.0 * qx + 2.0 * qz + w * 2)
             + 0.8 * np.sin(f * 4.0 * qy - 3.0 * qx - w))
    s1 = 0.5 + 0.5 * np.sin(3 * ang - f * 5.5 * r + warp1 - w * 1)

    # Violet arms counter-rotate at twice the rate with their own warp.
    warp2 = (1.1 * np.sin(f * 3.5 * qy + 2.5 * qz - w * 3)
             + 0.9 * np.sin(f * 2.5 * qz - 4.0 * qx + w * 2))
    s2 = 0.5 + 0.5 * np.sin(-2 * ang - f * 4.0 * r + warp2 + w * 2)

    # Faint fine threads between the main arms give the volume texture.
    warp3 = 1.5 * np.sin(f * 5.0 * qz + 3.0 * qy + w * 3)
    s3 = 0.5 + 0.5 * np.sin(5 * ang - f * 9.0 * r + warp3 - w * 3)

    # Each filament is a thin hot line inside a wider soft glow.
    def filament(s, sharp, soft):
        return s ** sharp, s ** soft

    # Lower detail (smaller icons) gets broader lines and fewer secondary
    # filaments, which only turn to mush at a few pixels.
    c_line, c_glow = filament(s1, 28.0 * detail, 4.0)
    v_line, v_glow = filament(s2, 22.0 * detail, 3.5)
    t_line = s3 ** 16
    minor = detail ** 1.5

    # Light seen through more of the volume near the centre, with a
    # brightened limb where the shell is viewed edge-on.
    body = 0.35 + 0.65 * z
    limb = (1.0 - z) ** 3

    e = (CYAN * (0.9 * c_glow + 1.6 * c_line)[..., None]
         + CORE * (0.6 * c_line ** 2)[..., None]
         + VIOLET * (minor * (0.9 * v_glow + 1.4 * v_line))[..., None]
         + (0.5 * CYAN + 0.5 * VIOLET) * (minor * 0.35 * t_line)[..., None])
    e *= body[..., None]
    e += limb[..., None] * (0.9 * VIOLET + 0.5 * CYAN)
    e += DEEP * (0.22 + 0.55 * np.exp(-(r / 0.7) ** 2))[..., None]

    pulse = 1.0 + 0.12 * np.sin(w * 4)
    e += CORE * (2.8 * pulse * np.exp(-(r / 0.16) ** 2))[..., None]
    e += CYAN * (0.8 * pulse * np.exp(-(r / 0.40) ** 2))[..., None]

    rgb = 1.0 - np.exp(-1.25 * e)
    cov = inside.astype(np.float64)
    rgb = rgb * cov[..., None]

    if supersample > 1:
        s = supersample
        rgb = rgb.reshape(size, s, size, s, 3).mean(axis=(1, 3))
        cov = cov.reshape(size, s, size, s).mean(axis=(1, 3))
    return rgb, cov


def render_orb_strip():
    frames = []
    for k in range(ORB_FRAMES):
        rgb, _ = render_orb(ORB_SIZE, ORB_RADIUS, k / ORB_FRAMES,
                            supersample=2)
        frames.append(to_u8(rgb))
    return np.concatenate(frames, axis=0)


def write_jpeg(path, rgb):
    Image.fromarray(rgb, "RGB").save(
        path, "JPEG", quality=JPEG_QUALITY, subsampling=JPEG_SUBSAMPLING,
        optimize=False, progressive=False)


def render_mask():
    c = np.arange(ORB_SIZE, dtype=np.float64) + 0.5 - ORB_SIZE / 2.0
    r = np.hypot(c[None, :], c[:, None])
    # Soft ~3 px rim so the orb's edge blends into the card behind it.
    a = 1.0 - smoothstep(ORB_RADIUS - 3.0, ORB_RADIUS + 0.5, r)
    return (a * 255.0 + 0.5).astype(np.uint8)


# --------------------------------------------------------------------------
# Icon

def render_small_orb(size, radius, supersample):
    """Simplified orb for 16/24 px: the full filament pattern is noise there,
    so keep a cyan-to-violet glass body, one S-shaped swirl and the core."""
    n = size * supersample
    c = (np.arange(n, dtype=np.float64) + 0.5) / supersample - size / 2.0
    u, v = np.broadcast_arrays(c[None, :] / radius, -c[:, None] / radius)
    r = np.hypot(u, v)
    z = np.sqrt(np.clip(1.0 - r * r, 0.0, 1.0))
    ang = np.arctan2(v, u)

    t = np.clip((u - v + 1.4) / 2.8, 0.0, 1.0)[..., None]
    tint = CYAN * (1.0 - t) + VIOLET * t
    swirl = (0.5 + 0.5 * np.sin(2 * ang - 3.2 * r + 0.6)) ** 5
    e = tint * (0.25 + 0.9 * (1.0 - z) ** 2)[..., None]
    e += DEEP * 0.4
    e += CYAN * (1.3 * swirl * (0.3 + 0.7 * z))[..., None]
    e += CORE * (2.4 * np.exp(-(r / 0.30) ** 2))[..., None]
    cov = (r < 1.0).astype(np.float64)
    rgb = (1.0 - np.exp(-1.25 * e)) * cov[..., None]

    s = supersample
    rgb = rgb.reshape(size, s, size, s, 3).mean(axis=(1, 3))
    cov = cov.reshape(size, s, size, s).mean(axis=(1, 3))
    return rgb, cov


def render_icon(size):
    """Straight-alpha RGBA for one icon size, rendered 4x and box-filtered."""
    ss = 4
    small = size <= 24
    # Small sizes sit on a dark rounded tile so the orb keeps its edge on
    # light taskbars and Explorer backgrounds.
    radius = size * (0.38 if small else 0.44)
    if small:
        orb, cov = render_small_orb(size, radius, ss)
    else:
        detail = 0.75 if size <= 48 else 1.0
        orb, cov = render_orb(size, radius, 0.1, detail=detail, supersample=ss)

    n = size * ss
    c = (np.arange(n, dtype=np.float64) + 0.5) / ss - size / 2.0
    x, y = np.broadcast_arrays(c[None, :], c[:, None])
    r = np.hypot(x, y) / radius

    # Outer halo, premultiplied colour and matching alpha.
    halo = np.exp(-((np.clip(r - 1.0, 0.0, None)) / 0.08) ** 1.2) \
        * (r >= 1.0)
    halo_col = 0.6 * CYAN + 0.4 * VIOLET
    halo_rgb = halo[..., None] * halo_col * 0.85
    halo_a = halo * 0.6

    halo_rgb = halo_rgb.reshape(size, ss, size, ss, 3).mean(axis=(1, 3))
    halo_a = halo_a.reshape(size, ss, size, ss).mean(axis=(1, 3))

    if small:
        half = size / 2.0 - 0.25
        rad = size * 0.22
        dx = np.clip(np.abs(x) - (half - rad), 0.0, None)
        dy = np.clip(np.abs(y) - (half - rad), 0.0, None)
        tile = (np.hypot(dx, dy) <= rad).astype(np.float64)
        tile = tile.reshape(size, ss, size, ss).mean(axis=(1, 3))
        t = (np.arange(size) + 0.5)[:, None] / size
        tile_rgb = (np.array([0.06, 0.08, 0.14]) * (1.0 - t)
                    + np.array([0.03, 0.03, 0.07]) * t)
        tile_rgb = np.broadcast_to(tile_rgb[:, None, :], (size, size, 3))
        prem = tile_rgb * tile[..., None] * (1.0 - cov[..., None]) \
            + orb + halo_rgb * tile[..., None]
        alpha = np.maximum(tile, cov)
    else:
        prem = orb + halo_rgb * (1.0 - cov[..., None])
        alpha = cov + halo_a * (1.0 - cov)

    a = np.clip(alpha, 0.0, 1.0)
    rgb = np.where(a[..., None] > 1e-6, prem / np.maximum(a, 1e-6)[..., None],
                   0.0)
    rgba = np.concatenate([to_u8(rgb), to_u8(a)[..., None]], -1)
    rgba[a <= 0.5 / 255.0] = 0
    return rgba


def png_bytes(img):
    buf = io.BytesIO()
    img.save(buf, "PNG", optimize=True)
    return buf.getvalue()


def ico_dib(rgba):
    """32-bit BGRA DIB with its legacy AND mask, as stored inside an ICO."""
    h, w, _ = rgba.shape
    xor = np.ascontiguousarray(rgba[::-1, :, [2, 1, 0, 3]]).tobytes()
    transparent = rgba[::-1, :, 3] < 128
    stride = ((w + 31) // 32) * 4
    bits = np.packbits(transparent, axis=1)
    mask = np.zeros((h, stride), np.uint8)
    mask[:, :bits.shape[1]] = bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                         len(xor) + mask.size, 0, 0, 0, 0)
    return header + xor + mask.tobytes()


def write_ico(path, images):
    # Small sizes as classic DIBs for the widest shell support; 256 as PNG to
    # keep the file small.
    blobs = []
    for img in images:
        size = img.shape[0]
        data = png_bytes(Image.fromarray(img, "RGBA")) if size >= 256 \
            else ico_dib(img)
        blobs.append((size, data))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, data in blobs:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(d for _, d in blobs))


# --------------------------------------------------------------------------
# Self-check of the written files

def check_outputs(out):
    bmp = open(os.path.join(out, "background.bmp"), "rb").read()
    assert len(bmp) == 1843254, len(bmp)
    magic, fsize, _, _, off = struct.unpack_from("<2sIHHI", bmp, 0)
    hsz, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", bmp, 14)
    assert (magic, fsize, off) == (b"BM", len(bmp), 54)
    assert (hsz, w, h, planes, bpp, comp) == (40, 960, 640, 1, 24, 0)
    # Bottom-up: the first stored row is the dark bottom of the picture.
    first, last = bmp[54:54 + 2880], bmp[-2880:]
    assert sum(first) < sum(last) / 2

    total = 0
    for part in range(1, ORB_PARTS + 1):
        jpg = open(os.path.join(out, "orb_strip_%d.jpg" % part), "rb").read()
        assert jpg[:4] == b"\xff\xd8\xff\xe0" and jpg[6:11] == b"JFIF\x00"
        assert b"\xff\xc0" in jpg and b"\xff\xc2" not in jpg
        with Image.open(io.BytesIO(jpg)) as im:
            assert im.format == "JPEG" and im.mode == "RGB"
            assert im.size == (ORB_SIZE, ORB_SIZE * ORB_FRAMES // ORB_PARTS)
            assert "progressive" not in im.info and "exif" not in im.info
        total += len(jpg)
    assert 0.75 * 1345762 <= total <= 1.25 * 1345762, total

    png = open(os.path.join(out, "orb_mask.png"), "rb").read()
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[12:16] == b"IHDR"
    pw, ph, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB",
                                                          png[16:29])
    assert (pw, ph, depth, ctype, interlace) == (144, 144, 8, 0, 0)

    ico = open(os.path.join(out, "app.ico"), "rb").read()
    assert struct.unpack_from("<HHH", ico, 0) == (0, 1, len(ICON_SIZES))
    for i, size in enumerate(ICON_SIZES):
        wb, hb, _, _, _, bpp, ln, off = struct.unpack_from("<BBBBHHII", ico,
                                                           6 + 16 * i)
        assert (wb or 256) == size and (hb or 256) == size and bpp == 32
        assert off + ln <= len(ico)

    # The strip must loop: the frame after the last one is frame 0 again.
    a, _ = render_orb(ORB_SIZE, ORB_RADIUS, 0.0)
    b, _ = render_orb(ORB_SIZE, ORB_RADIUS, 1.0)
    assert np.abs(a - b).max() < 1e-6
    # ...and consecutive frames differ only a little, so there is no jump.
    c, _ = render_orb(ORB_SIZE, ORB_RADIUS, (ORB_FRAMES - 1) / ORB_FRAMES)
    assert np.abs(a - c).mean() < 0.02


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(here, "..", "assets"))
    args = ap.parse_args()
    out = os.path.normpath(args.out)
    os.makedirs(out, exist_ok=True)

    write_bmp(os.path.join(out, "background.bmp"), render_background())
    # Cut at frame edges, which lie on the 8-pixel blocks of a 4:4:4 JPEG: each part decodes to
    # exactly the pixels of its frames in the whole strip.
    strip = render_orb_strip()
    rows = ORB_SIZE * ORB_FRAMES // ORB_PARTS
    assert rows % 8 == 0 and JPEG_SUBSAMPLING == 0
    for part in range(ORB_PARTS):
        write_jpeg(os.path.join(out, "orb_strip_%d.jpg" % (part + 1)),
                   strip[part * rows:(part + 1) * rows])
    Image.fromarray(render_mask(), "L").save(
        os.path.join(out, "orb_mask.png"), "PNG", optimize=True)
    write_ico(os.path.join(out, "app.ico"),
              [render_icon(s) for s in ICON_SIZES])

    check_outputs(out)
    print("wrote", out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
