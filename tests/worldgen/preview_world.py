#!/usr/bin/env python3
"""Quick debug pictures of a game folder without building anything: a whole-world
overview and a painter's-order drawing of an area (vxmap view draws an area as the
game does, with the occlusion test).

    preview_world.py GAMEDIR overview OUT.png          one pixel per 4 x 4 tiles
    preview_world.py GAMEDIR area X Y W H OUT.png [LIMIT]
        tiles X..X+W-1, Y..Y+H-1 drawn at 8 pixels a tile with every object,
        levels below LIMIT (default 15); painter's order, no occlusion test.
"""
import os
import struct
import sys
import zlib


def flex_entries(data):
    count = struct.unpack_from('<i', data, 84)[0]
    out = []
    for i in range(count):
        off, size = struct.unpack_from('<II', data, 128 + 8 * i)
        out.append(data[off:off + size] if size else b'')
    return out


def write_png(path, w, h, rgb_rows):
    raw = b''.join(b'\x00' + bytes(r) for r in rgb_rows)
    def chunk(tag, body):
        c = struct.pack('>I', len(body)) + tag + body
        return c + struct.pack('>I', zlib.crc32(tag + body) & 0xffffffff)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 6)) + chunk(b'IEND', b'')
    open(path, 'wb').write(png)


class Game:
    def __init__(self, folder):
        st = os.path.join(folder, 'STATIC')
        pal = flex_entries(open(os.path.join(st, 'PALETTES.FLX'), 'rb').read())[0]
        self.pal = [(pal[3 * i] * 4, pal[3 * i + 1] * 4, pal[3 * i + 2] * 4) for i in range(256)]
        self.shapes = [e for e in flex_entries(open(os.path.join(st, 'SHAPES.VGA'), 'rb').read()) if e]
        self.tfa = open(os.path.join(st, 'TFA.DAT'), 'rb').read()
        self.chunks = open(os.path.join(st, 'VXCHUNKS'), 'rb').read()
        self.vxmap = open(os.path.join(st, 'VXMAP'), 'rb').read()
        self.folder = folder
        self.fix = {}
        self.reg = {}

    def chunk_at(self, x, y):
        x %= 3072
        y %= 3072
        region = (y // 256) * 12 + x // 256
        idx = ((y // 16) % 16) * 16 + (x // 16) % 16
        return struct.unpack_from('<H', self.vxmap, 2 * (region * 256 + idx))[0]

    def word_at(self, x, y):
        c = self.chunk_at(x, y)
        return struct.unpack_from('<H', self.chunks, c * 512 + 2 * ((y % 16) * 16 + x % 16))[0]

    def ground_pixel(self, shape, frame, px, py):
        e = self.shapes[shape]
        o = 64 * frame + py * 8 + px
        return e[o] if o < len(e) else 0

    def frames(self, shape):
        s = self.shapes[shape]
        length = struct.unpack_from('<I', s, 0)[0]
        offs = []
        k = 0
        while True:
            offs.append(struct.unpack_from('<I', s, 4 + 4 * k)[0])
            nxt = struct.unpack_from('<I', s, 4 + 4 * (k + 1))[0]
            if nxt < 4 or nxt > length - 4:
                return offs
            k += 1

    def draw(self, img, w, h, shape, frame, hx, hy):
        s = self.shapes[shape]
        offs = self.frames(shape)
        if frame >= len(offs):
            return
        p = offs[frame] + 8
        while True:
            hdr = struct.unpack_from('<H', s, p)[0]
            if hdr == 0:
                return
            dx, dy = struct.unpack_from('<hh', s, p + 2)
            p += 6
            n = hdr >> 1
            y = hy + dy
            px = []
            if hdr & 1 == 0:
                px = list(s[p:p + n])
                p += n
            else:
                while len(px) < n:
                    r = s[p]
                    p += 1
                    if r & 1:
                        px += [s[p]] * (r >> 1)
                        p += 1
                    else:
                        px += list(s[p:p + (r >> 1)])
                        p += r >> 1
            if 0 <= y < h:
                for i, c in enumerate(px):
                    x = hx + dx + i
                    if 0 <= x < w:
                        img[y][x] = c

    def fixed(self, region):
        if region not in self.fix:
            d = open(os.path.join(self.folder, 'STATIC', 'VXIFIX%02X' % region), 'rb').read()
            lists = []
            for e in flex_entries(d)[:256]:
                lists.append([(e[i] >> 4, e[i] & 15, e[i + 1], struct.unpack_from('<H', e, i + 2)[0])
                              for i in range(0, len(e), 4)])
            self.fix[region] = lists
        return self.fix[region]

    def movable(self, region):
        if region not in self.reg:
            d = open(os.path.join(self.folder, 'GAMEDAT', 'VXIREG%02X' % region), 'rb').read()
            lists = [[] for _ in range(256)]
            p = ends = 0
            while ends < 256:
                n = d[p]
                p += 1
                if n == 0:
                    ends += 1
                    continue
                if n == 1:
                    continue
                e = d[p:p + n]
                p += n
                shape = struct.unpack_from('<H', e, 2)[0]
                lift = (e[4] if n == 6 else e[9]) >> 4
                lists[(e[1] >> 4) * 16 + (e[0] >> 4)].append((e[0] & 15, e[1] & 15, lift, shape))
                if n == 12 and self.tfa[3 * (shape & 1023) + 1] & 127 == 6 and (e[4] or e[5]):
                    while True:
                        m = d[p]
                        p += 1
                        if m == 1:
                            break
                        p += m
            self.reg[region] = lists
        return self.reg[region]


def overview(g, out):
    n = 768
    rows = []
    for py in range(n):
        row = []
        for px in range(n):
            x, y = px * 4 + 1, py * 4 + 1
            w = g.word_at(x, y)
            s, f = w & 1023, (w >> 10) & 31
            if s < 150:
                c = g.pal[g.ground_pixel(s, f, 3, 3)]
            else:
                c = (30, 70, 25) if g.tfa[3 * s] >> 5 >= 5 else (90, 90, 70)
            row += c
        rows.append(row)
    write_png(out, n, n, rows)


def area(g, x0, y0, tw, th, out, limit):
    w, h = tw * 8 + 64, th * 8 + 64
    img = [[0] * w for _ in range(h)]
    ox, oy = 64 - 1, 64 - 1  # hot spot of tile (x0, y0)
    for ty in range(th):
        for tx in range(tw):
            wd = g.word_at(x0 + tx, y0 + ty)
            s, f = wd & 1023, (wd >> 10) & 31
            if s < 150:
                for py in range(8):
                    for px in range(8):
                        img[oy + ty * 8 - 7 + py][ox + tx * 8 - 7 + px] = g.ground_pixel(s, f, px, py)
    cx0, cy0 = x0 // 16, y0 // 16
    cx1, cy1 = (x0 + tw + 15) // 16, (y0 + th + 15) // 16
    for lift in range(limit):
        for cy in range(cy0, cy1 + 1):
            for cx in range(cx0, cx1 + 1):
                bx, by = cx * 16, cy * 16
                region = ((by % 3072) // 256) * 12 + (bx % 3072) // 256
                ci = ((by // 16) % 16) * 16 + (bx // 16) % 16
                items = []
                if lift == 0:
                    for j in range(16):
                        for i in range(16):
                            wd = g.word_at(bx + i, by + j)
                            if wd & 1023 >= 150:
                                items.append((i, j, wd))
                items += [(i, j, wd) for (i, j, l, wd) in reversed(g.fixed(region)[ci]) if l == lift]
                items += [(i, j, wd) for (i, j, l, wd) in reversed(g.movable(region)[ci])
                          if l == lift and wd & 1023 not in (200, 275, 607)]
                for i, j, wd in items:
                    s, f = wd & 1023, (wd >> 10) & 31
                    hx = ox + (bx + i - x0) * 8 - 4 * lift
                    hy = oy + (by + j - y0) * 8 - 4 * lift
                    g.draw(img, w, h, s, f, hx, hy)
    rows = [[v for c in r for v in g.pal[c]] for r in img]
    write_png(out, w, h, rows)


if __name__ == '__main__':
    g = Game(sys.argv[1])
    if sys.argv[2] == 'overview':
        overview(g, sys.argv[3])
    else:
        x, y, tw, th = map(int, sys.argv[3:7])
        area(g, x, y, tw, th, sys.argv[7], int(sys.argv[8]) if len(sys.argv) > 8 else 15)
