#!/usr/bin/env python3
"""Compares two PNG pictures of the same size pixel by pixel.

    png_compare.py A.png B.png [--allow X0,Y0,X1,Y1]... [--also-a A2.png]... [--also-b B2.png]...

Prints the size, the number of differing pixels and the box around them. Exits 0
when every differing pixel lies inside one of the allowed boxes (X1, Y1
exclusive), 1 when not, 2 when the pictures cannot be compared (sizes differ, or
either is a picture of fewer than 16 colours, such as an empty black one).
With --also-a and --also-b, more pictures of the same view taken later by A's and
B's program: a pixel that changes among A's pictures or among B's moves on its
own (an animation, the colour cycle) and is left out; so is a pixel where A and B
differ that hangs together with a moving one (reached from it in at most four
steps through such pixels, each within two pixels of the one before): a lamp that animates and
cycles its colours at once can hold pixels still in one program's pictures and
still at other colours in the other's. Their number is printed.
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


def attached(moving, differing):
    """The differing pixels that hang together with a moving one: reached from it
    in at most four steps through differing pixels, each within two pixels of the
    one before (so nothing more than eight pixels from a moving one)."""
    near = [(dx, dy) for dx in range(-2, 3) for dy in range(-2, 3)]
    found, layer = set(), set(moving)
    for _ in range(4):
        layer = {(x + dx, y + dy) for x, y in layer for dx, dy in near} & differing
        layer -= moving | found
        found |= layer
    return found


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    allowed, also = [], {"--also-a": [], "--also-b": []}
    args = argv[2:]
    while args:
        if args[0] == "--allow" and len(args) >= 2:
            allowed.append(tuple(int(v) for v in args[1].split(",")))
            args = args[2:]
        elif args[0] in also and len(args) >= 2:
            also[args[0]].append(args[1])
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
    moving = set()
    for first, later in ((a, also["--also-a"]), (b, also["--also-b"])):
        for path in later:
            w, h, rows = read_png(path)
            if (w, h) != (wa, ha):
                print(f"png_compare: sizes differ: {wa}x{ha} and {w}x{h} ({path})")
                return 2
            moving.update((x, y) for y in range(h) for x in range(w) if rows[y][x] != first[y][x])
    if moving:
        moving |= attached(moving, {(x, y) for y in range(ha) for x in range(wa) if a[y][x] != b[y][x]})
    differing, outside = [], 0
    for y in range(ha):
        for x in range(wa):
            if a[y][x] != b[y][x] and (x, y) not in moving:
                differing.append((x, y))
                if not any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in allowed):
                    outside += 1
    print(f"png_compare: {wa}x{ha}, {len(colours)} colours; ", end="")
    if also["--also-a"] or also["--also-b"]:
        print(f"{len(moving)} pixels move on their own and are left out; ", end="")
    print(f"{len(differing)} pixels differ", end="")
    if differing:
        xs, ys = [p[0] for p in differing], [p[1] for p in differing]
        print(f", all within ({min(xs)},{min(ys)})-({max(xs) + 1},{max(ys) + 1}); {outside} outside the allowed boxes")
    else:
        print()
    return 1 if outside else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
