#!/usr/bin/env python3
"""Writes a one-image Windows icon (.ico) of 24-bit colour or of 256 colours,
with the transparency mask, from raw 8-bit RGBA pixels (ImageMagick's
`convert IMAGE -depth 8 rgba:FILE`).

Usage: make_icon.py SIZE BITS RGBA-FILE ICO-FILE   (BITS 24 or 8)

Pixels at least half opaque are drawn, blended over the dialog face colour;
the rest are transparent through the mask."""
import struct
import sys

FACE = (0xF0, 0xF0, 0xF0)


def pixels(raw, size):
    if len(raw) != size * size * 4:
        sys.exit(f'make_icon: {len(raw)} bytes are not {size}x{size} RGBA pixels')
    out = []
    for i in range(0, len(raw), 4):
        r, g, b, a = raw[i:i + 4]
        if a < 128:
            out.append(None)
        else:
            out.append(tuple((c * a + f * (255 - a) + 127) // 255 for c, f in zip((r, g, b), FACE)))
    return out


def palette_of(px):
    """Up to 256 colours: the exact ones when they fit, else the most used,
    each pixel mapped to the nearest."""
    counts = {}
    for p in px:
        if p is not None:
            counts[p] = counts.get(p, 0) + 1
    colours = sorted(counts, key=lambda c: -counts[c])[:255]
    colours.insert(0, (0, 0, 0))  # index 0: behind the transparent pixels
    index = {c: i for i, c in enumerate(colours)}

    def nearest(p):
        if p in index:
            return index[p]
        return min(range(1, len(colours)),
                   key=lambda i: sum((a - b) ** 2 for a, b in zip(colours[i], p)))
    return colours, [0 if p is None else nearest(p) for p in px]


def row_bytes(bits, size):
    return ((bits * size + 31) // 32) * 4


def main():
    size, bits = int(sys.argv[1]), int(sys.argv[2])
    with open(sys.argv[3], 'rb') as f:
        px = pixels(f.read(), size)
    rows = range(size - 1, -1, -1)  # bitmaps run bottom-up
    colour = bytearray()
    pal = b''
    if bits == 24:
        for y in rows:
            line = bytearray()
            for x in range(size):
                p = px[y * size + x] or (0, 0, 0)
                line += bytes((p[2], p[1], p[0]))
            colour += line.ljust(row_bytes(24, size), b'\0')
        ncolours = 0
    elif bits == 8:
        colours, idx = palette_of(px)
        colours += [(0, 0, 0)] * (256 - len(colours))
        pal = b''.join(bytes((b, g, r, 0)) for r, g, b in colours)
        for y in rows:
            colour += bytes(idx[y * size:(y + 1) * size]).ljust(row_bytes(8, size), b'\0')
        ncolours = 0  # 256
    else:
        sys.exit('make_icon: BITS must be 24 or 8')
    mask = bytearray()
    for y in rows:
        line = bytearray(row_bytes(1, size))
        for x in range(size):
            if px[y * size + x] is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + pal + bytes(colour) + bytes(mask)
    entry = struct.pack('<BBBBHHII', size % 256, size % 256, ncolours, 0, 1, bits,
                        len(image), 6 + 16)
    with open(sys.argv[4], 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1) + entry + image)


if __name__ == '__main__':
    main()
