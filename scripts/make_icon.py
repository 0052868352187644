#!/usr/bin/env python3
"""Draws relaystore's application icon and writes it as a Windows .ico file.

The artwork is a relay: a rounded teal tile on which a white arrow carries a
request from an amber source dot to an amber target ring, drawn from simple
shapes with Pillow (Debian's python3-pil).

The icon file holds four images, each 32 bits per pixel:
  256x256 stored as PNG, and 48x48, 32x32, 16x16 stored as device-independent
  bitmaps (BITMAPINFOHEADER, bottom-up BGRA rows, then the 1-bit AND mask).
Pillow's own ICO writer stores every size as PNG, so the file is assembled
here.

    python3 scripts/make_icon.py [OUTPUT]   (default: relaystore/resources/relaystore.ico)
"""
import io
import pathlib
import struct
import sys

from PIL import Image, ImageDraw

SIZES = (256, 48, 32, 16)  # in this order in the icon directory
PNG_SIZES = {256}
SUPERSAMPLE = 8  # each image is drawn this much larger, then scaled down

TILE_TOP = (42, 157, 143)
TILE_BOTTOM = (23, 99, 112)
ARROW = (255, 255, 255)
NODE = (244, 162, 97)


def gradient_tile(size):
    """A vertical teal gradient, cut to a rounded square with a small margin."""
    tile = Image.new("RGBA", (size, size))
    pixels = tile.load()
    for y in range(size):
        t = y / (size - 1)
        color = tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM)) + (255,)
        for x in range(size):
            pixels[x, y] = color
    mask = Image.new("L", (size, size), 0)
    margin = size * 0.04
    ImageDraw.Draw(mask).rounded_rectangle(
        (margin, margin, size - margin, size - margin), radius=size * 0.2, fill=255)
    out = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    out.paste(tile, (0, 0), mask)
    return out


def draw_relay(size):
    """The icon at `size` pixels, drawn on a larger canvas and scaled down."""
    big = size * SUPERSAMPLE
    image = gradient_tile(big)
    draw = ImageDraw.Draw(image)
    u = big / 16.0  # one unit of a 16x16 design grid

    # Source dot at the lower left, target ring at the upper right.
    src = (4.0 * u, 12.0 * u)
    dst = (11.8 * u, 5.0 * u)
    r_src = 2.0 * u
    draw.ellipse((src[0] - r_src, src[1] - r_src, src[0] + r_src, src[1] + r_src), fill=NODE)
    r_dst = 2.3 * u
    draw.ellipse((dst[0] - r_dst, dst[1] - r_dst, dst[0] + r_dst, dst[1] + r_dst),
                 outline=NODE, width=round(1.1 * u))

    # The relay arrow: up from the source, then right into the target ring.
    stroke = round(1.6 * u)
    tip_x = dst[0] - r_dst - 0.4 * u
    head_length = 2.6 * u
    head_half = 2.0 * u
    base_x = tip_x - head_length
    corner = (src[0], dst[1])
    draw.line([(src[0], src[1] - r_src), corner, (base_x + 0.2 * u, dst[1])],
              fill=ARROW, width=stroke, joint="curve")
    draw.polygon([(base_x, dst[1] - head_half), (base_x, dst[1] + head_half), (tip_x, dst[1])], fill=ARROW)
    return image.resize((size, size), Image.LANCZOS)


def png_bytes(image):
    buffer = io.BytesIO()
    image.save(buffer, format="PNG", optimize=True)
    return buffer.getvalue()


def dib_bytes(image):
    """A 32-bit BITMAPINFOHEADER image as an icon stores it: height doubled
    (colour rows plus mask rows), rows bottom-up, then the AND mask, which
    marks fully transparent pixels."""
    width, height = image.size
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = image.load()
    colour = bytearray()
    for y in reversed(range(height)):
        for x in range(width):
            r, g, b, a = pixels[x, y]
            colour += bytes((b, g, r, a))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(height)):
        row = bytearray(mask_stride)
        for x in range(width):
            if pixels[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(colour) + bytes(mask)


def icon_file(images):
    """ICONDIR, one ICONDIRENTRY per image, then the images' data."""
    count = len(images)
    offset = 6 + 16 * count
    directory = struct.pack("<HHH", 0, 1, count)
    data = b""
    for size, blob in images:
        side = 0 if size >= 256 else size  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    return directory + data


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    output = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "relaystore/resources/relaystore.ico"
    images = []
    for size in SIZES:
        image = draw_relay(size)
        images.append((size, png_bytes(image) if size in PNG_SIZES else dib_bytes(image)))
    output.write_bytes(icon_file(images))
    print(f"wrote {output}")


if __name__ == "__main__":
    main()
