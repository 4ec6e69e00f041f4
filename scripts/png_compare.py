#!/usr/bin/env python3
"""Compares two PNG pictures of the same size pixel by pixel.

    png_compare.py A.png B.png [--allow X0,Y0,X1,Y1]...
    png_compare.py --text KEY A.png

Prints the size, the number of differing pixels and the box around them. Exits 0
when every differing pixel lies inside one of the allowed boxes (X1, Y1
exclusive), 1 when not, 2 when the pictures cannot be compared (sizes differ, or
either is a picture of fewer than 16 colours, such as an empty black one).
With --text, prints the picture's text entry KEY (a tEXt chunk, such as the
client's "Game time") and exits 0, or exits 1 when it has none.
Reads 8-bit RGB and RGBA PNGs without interlace, as Qt writes them; needs no
module beyond Python's own.
"""
import struct
import sys
import zlib


def chunks(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos = 8
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        yield kind, data[pos + 8:pos + 8 + length]
        if kind == b"IEND":
            return
        pos += 12 + length


def read_text(path, key):
    for kind, body in chunks(path):
        if kind == b"tEXt" and b"\0" in body:
            name, value = body.split(b"\0", 1)
            if name.decode("latin-1") == key:
                return value.decode("latin-1")
    return None


def read_png(path):
    idat, header = b"", None
    for kind, body in chunks(path):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"{path}: only 8-bit RGB or RGBA without interlace is read (depth {depth}, type {colour})")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def main(argv):
    if len(argv) == 3 and argv[0] == "--text":
        value = read_text(argv[2], argv[1])
        if value is None:
            return 1
        print(value)
        return 0
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    allowed = []
    args = argv[2:]
    while args:
        if args[0] == "--allow" and len(args) >= 2:
            allowed.append(tuple(int(v) for v in args[1].split(",")))
            args = args[2:]
        else:
            print(f"png_compare: unknown argument {args[0]}", file=sys.stderr)
            return 2
    (wa, ha, a), (wb, hb, b) = read_png(argv[0]), read_png(argv[1])
    if (wa, ha) != (wb, hb):
        print(f"png_compare: sizes differ: {wa}x{ha} and {wb}x{hb}")
        return 2
    colours = {pixel for row in a for pixel in row}
    if len(colours) < 16:
        print(f"png_compare: {argv[0]} has only {len(colours)} colours")
        return 2
    differing, outside = [], 0
    for y in range(ha):
        for x in range(wa):
            if a[y][x] != b[y][x]:
                differing.append((x, y))
                if not any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in allowed):
                    outside += 1
    print(f"png_compare: {wa}x{ha}, {len(colours)} colours; {len(differing)} pixels differ", end="")
    if differing:
        xs, ys = [p[0] for p in differing], [p[1] for p in differing]
        print(f", all within ({min(xs)},{min(ys)})-({max(xs) + 1},{max(ys) + 1}); {outside} outside the allowed boxes")
    else:
        print()
    return 1 if outside else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
