// Interface art: glyphs rendered from the bitmap faces, panels, pointers.
#include "interface_art.h"

#include <cmath>
#include <functional>

#include "glyphs.h"
#include "palette.h"
#include "rng.h"
#include "formats/shape_writer.h"

namespace worldgen {

namespace {

using formats::Picture;

struct Face {
    const char* const* glyphs;
    int w, h;
};
constexpr Face kFace5x7{kGlyphs5x7, 5, 7};
constexpr Face kFace3x5{kGlyphs3x5, 3, 5};

bool Ink(const Face& f, int code, int x, int y) { return f.glyphs[code - 32][y * f.w + x] == '#'; }

// Ink columns of a glyph: first and last, or an empty range for a blank.
void InkColumns(const Face& f, int code, int& first, int& last)
{
    first = f.w;
    last = -1;
    for (int x = 0; x < f.w; ++x)
        for (int y = 0; y < f.h; ++y)
            if (Ink(f, code, x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
}

struct FontStyle {
    Face face;
    int scale;
    std::function<int(int row, int rows)> ink;  // colour by row of the scaled glyph
    int outline;  // -1 none
    int shadow;   // -1 none
    int spacing;  // pixels between glyphs
    int space;    // advance of a blank
};

formats::Frame Glyph(const FontStyle& s, int code)
{
    if (code < 32)
        return formats::Frame{};
    int first, last;
    InkColumns(s.face, code, first, last);
    if (last < 0) {
        formats::Frame blank;
        blank.header[0] = int16_t(s.space);
        return blank;
    }
    const int gw = (last - first + 1) * s.scale, gh = s.face.h * s.scale;
    // One pixel of border on every side for the outline and the shadow.
    Picture p(gw + 2, gh + 2, 0, gh);  // hot spot: left edge of the ink, on the baseline row below it
    auto inkAt = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= gw || y >= gh)
            return false;
        return Ink(s.face, code, first + x / s.scale, y / s.scale);
    };
    for (int y = -1; y <= gh; ++y)
        for (int x = -1; x <= gw; ++x) {
            int c = -1;
            if (inkAt(x, y))
                c = s.ink(y, gh);
            else if (s.outline >= 0) {
                for (int dy = -1; dy <= 1 && c < 0; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (inkAt(x + dx, y + dy)) {
                            c = s.outline;
                            break;
                        }
            } else if (s.shadow >= 0 && inkAt(x - 1, y - 1)) {
                c = s.shadow;
            }
            if (c >= 0)
                p.At(x + 1, y + 1) = c;
        }
    p.hotX = 1;
    p.hotY = gh;  // the ink's last row sits one pixel above the hot spot row
    return formats::FrameFromPicture(p, int16_t(gw + s.spacing + (s.outline >= 0 ? 1 : 0)));
}

formats::Bytes Font(const FontStyle& s)
{
    std::vector<formats::Frame> frames;
    for (int code = 0; code < kFontFrames; ++code)
        frames.push_back(Glyph(s, code));
    return formats::MakeShape(frames);
}

// Panels: a textured field inside a bevelled frame.
Picture Panel(int w, int h, Ramp ramp, int style, uint64_t seed)
{
    Picture p(w, h, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int edge = std::min(std::min(x, y), std::min(w - 1 - x, h - 1 - y));
            const uint64_t n = Hash(seed, uint64_t(x / 2), uint64_t(y / 2)) % 16;
            int c;
            if (edge == 0)
                c = kOutline;
            else if (edge < 4)
                c = Shade(ramp, (x < y ? 5 : 2) + (edge == 2 ? 1 : 0));  // light top-left, dark bottom-right bevel
            else if (edge == 4)
                c = Shade(ramp, 1);
            else if (style == 1 && ((y / 8 + (x / 16) % 2) % 2 == 0) && (y % 8 == 0 || x % 16 == 0))
                c = Shade(ramp, 2);  // stone blocks
            else if (style == 2 && y % 6 == 0)
                c = Shade(ramp, 3);  // wood grain
            else
                c = Shade(ramp, 4 + (n == 0 ? 1 : n == 1 ? -1 : 0) + (style == 0 && n == 2 ? 1 : 0));
            p.At(x, y) = c;
        }
    // Rivets or knots in the corners.
    for (int cy : {6, h - 7})
        for (int cx : {6, w - 7}) {
            p.At(cx, cy) = Shade(kGold, 6);
            p.At(cx + 1, cy) = Shade(kGold, 4);
            p.At(cx, cy + 1) = Shade(kGold, 4);
            p.At(cx + 1, cy + 1) = Shade(kGold, 2);
        }
    return p;
}

Picture SpeechLogPanel(Ramp ramp, int style, uint64_t seed)
{
    // Text lines run from (44, 35) down by 6 for 20 lines; leave a margin round them.
    Picture p = Panel(236, 166, ramp, style, seed);
    // A darker ruled area behind the lines keeps the small dark font readable.
    for (int y = 27; y <= 157; ++y)
        for (int x = 40; x <= 226; ++x) {
            const bool rule = (y - 36) % 6 == 0 && y > 30 && y < 156;
            p.At(x, y) = (x == 40 || x == 226 || y == 27 || y == 157) ? Shade(ramp, 2)
                         : rule ? Shade(ramp, 5) : Shade(ramp, 6);
        }
    // A quill-and-seal emblem in the left margin.
    for (int i = 0; i < 18; ++i) {
        p.At(16 + i / 3, 40 + i) = Shade(kCream, 6);
        p.At(17 + i / 3, 40 + i) = Shade(kGrey, 3);
    }
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            if ((x - 3) * (x - 3) + (y - 3) * (y - 3) <= 10)
                p.At(14 + x, 130 + y) = Shade(kClothRed, 3 + (x + y < 5));
    return p;
}

// A filled polygon test for the arrows, in a frame where the arrow points up.
bool InArrow(double u, double v, double len)
{
    // v runs from the tail (+len/2) to the tip (-len/2); u across.
    const double head = len * 0.45;
    const double tip = -len / 2;
    if (v < tip || v > len / 2)
        return false;
    if (v < tip + head)
        return std::abs(u) <= (v - tip) * 0.75;
    return std::abs(u) <= len * 0.12 + 0.5;
}

Picture Arrow(int direction, int band)
{
    const double len = 9 + band * 4;
    const int half = int(len / 2) + 3;
    Picture p(2 * half + 1, 2 * half + 1, half, half);
    const double a = direction * 3.14159265358979323846 / 4;  // 0 north, clockwise
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const double dx = x - half, dy = y - half;
            // rotate back into the arrow's frame
            const double u = dx * std::cos(a) + dy * std::sin(a);
            const double v = -dx * std::sin(a) + dy * std::cos(a);
            if (InArrow(u, v, len))
                p.At(x, y) = v < 0 ? Shade(kGold, 6) : Shade(kGold, 4);
        }
    const Picture src = p;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (src.At(x, y) < 0) {
                bool edge = false;
                for (int d = 0; d < 4; ++d) {
                    const int nx = x + (d == 0) - (d == 1), ny = y + (d == 2) - (d == 3);
                    edge |= nx >= 0 && ny >= 0 && nx < p.width && ny < p.height && src.At(nx, ny) >= 0;
                }
                if (edge)
                    p.At(x, y) = kOutline;
            }
    return p;
}

Picture PlainPointer(int frame)
{
    static const char* const kRows[] = {
        "#.........", "##........", "#o#.......", "#oo#......", "#ooo#.....", "#oooo#....", "#ooooo#...",
        "#oooooo#..", "#ooooooo#.", "#oooo#####", "#oo#o#....", "#o#.#o#...", "##..#o#...", "#....#o#..", ".....###..",
    };
    Picture p(10, 15, 0, 0);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 10; ++x) {
            const char c = kRows[y][x];
            if (c == '#')
                p.At(x, y) = kOutline;
            else if (c == 'o')
                p.At(x, y) = (x + y == frame + 3) ? Shade(kGold, 7) : Shade(kCream, 7 - (y > 8));
        }
    return p;
}

}  // namespace

std::vector<formats::Bytes> MakeFonts()
{
    const FontStyle overlay{kFace5x7, 1, [](int, int) { return int(Shade(kCream, 7)); }, kOutline, -1, 1, 4};
    const FontStyle ink{kFace5x7, 1, [](int, int) { return int(Shade(kBark, 1)); }, -1, -1, 1, 4};
    const FontStyle gold{kFace5x7, 1, [](int row, int) { return int(Shade(kGold, row < 3 ? 7 : 5)); }, -1, kOutline, 1, 4};
    const FontStyle title{kFace5x7, 2,
                          [](int row, int rows) { return int(Shade(kParchment, row < rows / 2 ? 7 : 5)); },
                          kOutline, -1, 2, 7};
    const FontStyle small{kFace3x5, 1, [](int, int) { return int(Shade(kBark, 0)); }, -1, -1, 1, 3};
    return {Font(overlay), Font(ink), Font(gold), Font(title), Font(small)};
}

std::vector<formats::Bytes> MakeGumps()
{
    std::vector<formats::Bytes> out;
    const Ramp ramps[] = {kParchment, kStone, kWood, kDirt, kSlate, kCream};
    for (int g = 0; g < kGumpCount; ++g) {
        Picture p;
        if (g == 49)
            p = SpeechLogPanel(kStone, 1, 49);
        else if (g == 54)
            p = SpeechLogPanel(kParchment, 0, 54);
        else {
            const uint64_t h = Hash(1000, uint64_t(g));
            const int w = 24 + int(h % 160), ht = 20 + int((h >> 16) % 120);
            p = Panel(w, ht, ramps[g % 6], g % 3, uint64_t(g));
        }
        out.push_back(formats::MakeShape({formats::FrameFromPicture(p)}));
    }
    return out;
}

formats::Bytes MakePointer()
{
    std::vector<formats::Frame> frames;
    for (int f = 0; f < 8; ++f)
        frames.push_back(formats::FrameFromPicture(PlainPointer(f)));
    for (int band = 0; band < 3; ++band)
        for (int dir = 0; dir < 8; ++dir)
            frames.push_back(formats::FrameFromPicture(Arrow(dir, band)));
    return formats::MakeShape(frames);
}

}  // namespace worldgen
