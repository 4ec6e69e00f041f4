// World object art: trees, rocks, buildings, furniture, containers, animated
// things and small items, all modelled in voxels and projected.
#include "object_art.h"

#include <cmath>
#include <functional>

#include "characters.h"
#include "palette.h"
#include "rng.h"
#include "terrain_tiles.h"
#include "voxel.h"

namespace worldgen {

namespace {

constexpr double kPi = 3.14159265358979323846;

int BaseGround(Base b)
{
    constexpr int grounds[kBaseCount] = {kGrassGround, kForestFloor, kMeadowGround, kSnowGround, kSwampGround,
                                         kSandGround, kRockGround, kCobbles, kWoodFloor};
    return grounds[b];
}

// Projects a model onto the ground of its own tile.
formats::Picture OnBase(const Volume& v, Base b, int frame = 0)
{
    const std::vector<uint8_t> base = GroundPixels(BaseGround(b), frame);
    ProjectOptions o;
    o.base = &base;
    return Project(v, o);
}

formats::Picture Outlined(const Volume& v)
{
    ProjectOptions o;
    o.outline = true;
    return Project(v, o);
}

ShapeArt Art(const std::string& name, std::vector<formats::Picture> frames, int height, int tx, int ty,
             bool blocks = false, int cls = 0, bool animated = false, bool boxOrdered = false)
{
    ShapeArt a;
    a.name = name;
    a.frames = std::move(frames);
    SetFlags(a, height, tx, ty, cls, animated, boxOrdered);
    a.dims[0] = a.dims[1] = blocks ? 1 : 0;
    return a;
}

// Foliage: shaded by height inside the crown, speckled with light and dark.
Texture Leaves(Ramp ramp, double cz, uint64_t seed)
{
    return [=](int x, int y, int z) {
        const uint64_t h = Hash(seed, uint64_t(x), uint64_t(y), uint64_t(z)) % 10;
        int s = 3 + (z > cz ? 1 : 0) + (h == 0 ? 1 : h == 1 ? -1 : 0);
        return Vox::Of(ramp, s);
    };
}

Volume Oak(int variant, Ramp leaf)
{
    Volume v(20, 20, 30, 11, 11);
    // Kept low: in this view every pixel of height also leans a pixel up-left.
    v.Cylinder(8, 8, 1.6, 0, 8, Solid(kBark, 3, 30, 1));
    const double r = 6.5 + variant;
    v.Ellipsoid(8, 8, 12, r, r, 5.5, Leaves(leaf, 13, uint64_t(variant) + 11));
    v.Ellipsoid(6 + variant, 10 - variant, 16, 4, 4, 3.5, Leaves(leaf, 16, uint64_t(variant) + 12));
    return v;
}

Volume Pine(int variant, Ramp leaf, bool snowy)
{
    Volume v(16, 16, 34, 9, 9);
    v.Cylinder(6, 6, 1.2, 0, 8, Solid(kBark, 3));
    const int top = 28 + variant * 2;
    for (int z = 5; z <= top; ++z) {
        const double t = double(top - z) / (top - 5);
        const double r = 0.6 + t * (5.5 + variant * 0.5) * (1.0 - 0.25 * ((z / 4) % 2));
        v.Cylinder(6, 6, r, z, z, [=](int x, int y, int zz) {
            const bool white = snowy && zz % 4 == 3;
            return white ? Vox::Of(kSnow, 6) : Vox::Of(leaf, 2 + int(Hash(7, uint64_t(x), uint64_t(y), uint64_t(zz)) % 3));
        });
    }
    return v;
}

Volume Birch(int variant)
{
    Volume v(16, 16, 28, 9, 9);
    v.Cylinder(6, 6, 1.2, 0, 10, [](int, int, int z) { return Vox::Of(z % 5 == 2 ? kGrey : kCream, z % 5 == 2 ? 1 : 5); });
    v.Ellipsoid(6, 6, 14, 4.5 + variant * 0.5, 4.5, 5, Leaves(kMeadow, 15, 21 + uint64_t(variant)));
    return v;
}

Volume DeadTree(int variant)
{
    Volume v(16, 16, 26, 9, 9);
    v.Cylinder(6, 6, 1.3, 0, 17, Solid(kBark, 2));
    for (int i = 0; i < 4; ++i) {
        const double a = i * kPi / 2 + variant;
        for (int k = 0; k < 5; ++k)
            v.Set(6 + int(std::lround(std::cos(a) * k)), 6 + int(std::lround(std::sin(a) * k)), 12 + i * 2 + k / 2, Vox::Of(kBark, 2));
    }
    return v;
}

Volume Palm(int variant)
{
    Volume v(20, 20, 28, 11, 11);
    for (int z = 0; z <= 18; ++z)
        v.Cylinder(8 - z / 8.0 * (1 + variant * 0.3), 8, 1.1, z, z, Solid(kSand, 2 + (z % 3 == 0)));
    for (int i = 0; i < 6; ++i) {
        const double a = i * kPi / 3 + variant * 0.4;
        for (int k = 1; k <= 7; ++k)
            v.Set(6 + int(std::lround(std::cos(a) * k)), 8 + int(std::lround(std::sin(a) * k)), 19 - k / 3, Vox::Of(kGrass, 4));
    }
    return v;
}

Volume Bush(int variant, Ramp leaf)
{
    Volume v(10, 10, 10, 8, 8);
    v.Ellipsoid(4.5, 4.5, 3, 3.8 + variant * 0.4, 3.6, 3.5, Leaves(leaf, 3, 31 + uint64_t(variant)));
    if (variant == 1)
        for (int i = 0; i < 4; ++i)
            v.Set(2 + i * 2 % 5, 2 + (i * 3) % 5, 5 + i % 2, Vox::Of(kClothRed, 5));
    return v;
}

Volume Rock(int variant, Ramp ramp, bool snowy)
{
    Volume v(8, 8, 8);
    v.Ellipsoid(3.5 + variant * 0.3, 3.5, 1, 3.3, 2.8 + variant * 0.4, 3.5 + variant, Solid(ramp, 3, 25, 41));
    if (snowy)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                for (int z = 7; z >= 0; --z)
                    if (v.Solid(x, y, z)) {
                        v.Set(x, y, z, Vox::Of(kSnow, 6));
                        break;
                    }
    return v;
}

Volume Reeds(int variant)
{
    Volume v(8, 8, 12);
    for (int i = 0; i < 9; ++i) {
        const int x = int(Hash(51, uint64_t(i), uint64_t(variant)) % 7), y = int(Hash(52, uint64_t(i), uint64_t(variant)) % 7);
        const int h = 5 + int(Hash(53, uint64_t(i)) % 6);
        v.Box(x, y, 0, x, y, h, Solid(kMeadow, 3));
        if (i % 3 == 0)
            v.Box(x, y, h - 1, x, y, h, Solid(kBark, 3));
    }
    return v;
}

Volume Flowers(int variant)
{
    Volume v(8, 8, 4);
    const Ramp colours[] = {kGold, kPink, kPurple, kCream, kClothRed};
    for (int i = 0; i < 8; ++i) {
        const int x = int(Hash(61, uint64_t(i), uint64_t(variant)) % 8), y = int(Hash(62, uint64_t(i), uint64_t(variant)) % 8);
        v.Box(x, y, 0, x, y, 1, Solid(kGrass, 4));
        v.Set(x, y, 2, Vox::Of(colours[(i + variant) % 5], 6));
    }
    return v;
}

// Wall blocks: a whole tile, 5 lifts high. Window frames: 1 on the south face, 2 on the east face.
Texture WallTexture(Ramp ramp, int style)
{
    return [=](int x, int y, int z) {
        if (style == 0) {  // cut stone: courses of 4 with staggered joints
            const bool joint = z % 4 == 0 || ((x + y + (z / 4) * 3) % 6 == 0);
            return Vox::Of(ramp, joint ? 2 : 4 + int(Hash(71, uint64_t(x), uint64_t(y), uint64_t(z / 4)) % 2));
        }
        if (style == 1) {  // brick: courses of 2
            const bool joint = z % 2 == 0 || ((x + y + (z / 2) * 2) % 4 == 0);
            return joint ? Vox::Of(kStone, 5) : Vox::Of(ramp, 3 + int(Hash(72, uint64_t(x + y), uint64_t(z / 2)) % 2));
        }
        // timber frame: dark beams at the corners, the base and the top, plaster between
        const bool post = (x == 0 || x == 7) && (y == 0 || y == 7);
        const bool brace = (x == 7 && (y + z) % 9 == 0) || (y == 7 && (x + z) % 9 == 0);
        const bool beam = z <= 1 || z >= 18 || z == 10 || post || brace;
        return beam ? Vox::Of(kBark, 3) : Vox::Of(kCream, 4);
    };
}

Volume Wall(Ramp ramp, int style, int window)
{
    Volume v(8, 8, 20);
    v.Box(0, 0, 0, 7, 7, 19, WallTexture(ramp, style));
    if (window == 1) {
        v.Box(2, 7, 8, 5, 7, 14, Solid(kBark, 2));
        v.Box(3, 7, 9, 4, 7, 13, FixedColour(kGlowCycle));
    } else if (window == 2) {
        v.Box(7, 2, 8, 7, 5, 14, Solid(kBark, 2));
        v.Box(7, 3, 9, 7, 4, 13, FixedColour(kGlowCycle));
    }
    return v;
}

Volume Doorway(bool south)
{
    Volume v(8, 8, 20);
    v.Box(0, 0, 0, 7, 7, 19, WallTexture(kStone, 0));
    if (south) {
        v.Carve(2, 0, 0, 5, 7, 14);
        v.Box(1, 0, 0, 1, 3, 14, Solid(kWood, 4));  // the door leaf, swung open
    } else {
        v.Carve(0, 2, 0, 7, 5, 14);
        v.Box(0, 1, 0, 3, 1, 14, Solid(kWood, 4));
    }
    return v;
}

Volume Battlement()
{
    Volume v(8, 8, 16);
    v.Box(0, 0, 0, 7, 7, 11, WallTexture(kStone, 0));
    for (int i = 0; i < 8; i += 4) {
        v.Box(i, 0, 12, i + 1, 7, 15, WallTexture(kStone, 0));
        v.Box(0, i, 12, 7, i + 1, 15, WallTexture(kStone, 0));
    }
    v.Box(6, 6, 12, 7, 7, 15, WallTexture(kStone, 0));
    return v;
}

// Hip-roof pieces: height 1 at the eaves rising to 4 lifts' worth of pixels
// inside, so a ring one lift higher carries the slope on.
Volume RoofPiece(Ramp ramp, int frame)
{
    Volume v(8, 8, 5);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int d = 7;
            switch (frame) {
            case 1: d = y; break;                        // north slope: eave at y = 0
            case 2: d = 7 - x; break;                    // east slope
            case 3: d = 7 - y; break;                    // south slope
            case 4: d = x; break;                        // west slope
            case 5: d = std::min(y, 7 - x); break;       // north-east corner
            case 6: d = std::min(7 - y, 7 - x); break;   // south-east corner
            case 7: d = std::min(7 - y, x); break;       // south-west corner
            case 8: d = std::min(y, x); break;           // north-west corner
            default: break;
            }
            const int top = 1 + d * 3 / 7;
            for (int z = 0; z <= top; ++z) {
                const bool course = (y + x / 2 + z) % 3 == 0;
                v.Set(x, y, z, Vox::Of(ramp, course ? 2 : 4));
            }
        }
    return v;
}

Volume Fence(bool alongX)
{
    Volume v(8, 8, 9);
    auto wood = Solid(kWood, 4, 20, 81);
    if (alongX) {
        v.Box(0, 4, 0, 0, 4, 8, wood);
        v.Box(7, 4, 0, 7, 4, 8, wood);
        v.Box(0, 4, 3, 7, 4, 3, Solid(kWood, 3));
        v.Box(0, 4, 6, 7, 4, 6, Solid(kWood, 3));
    } else {
        v.Box(4, 0, 0, 4, 0, 8, wood);
        v.Box(4, 7, 0, 4, 7, 8, wood);
        v.Box(4, 0, 3, 4, 7, 3, Solid(kWood, 3));
        v.Box(4, 0, 6, 4, 7, 6, Solid(kWood, 3));
    }
    return v;
}

Volume Signpost()
{
    Volume v(8, 8, 16);
    v.Box(4, 4, 0, 4, 4, 15, Solid(kWood, 3));
    v.Box(1, 4, 10, 7, 4, 13, Solid(kWood, 5));
    v.Box(2, 4, 11, 6, 4, 11, Solid(kBark, 1));
    return v;
}

Volume Well()
{
    Volume v(16, 16, 20);
    v.Cylinder(8, 8, 6.5, 0, 5, Solid(kStone, 4, 25, 91));
    v.Cylinder(8, 8, 4.5, 2, 5, FixedColour(kDeepCycle + 2));
    v.Cylinder(8, 8, 4.5, 5, 5, [](int x, int y, int) { return Vox::Fixed(kDeepCycle + ((x + y) & 7)); });
    v.Box(2, 8, 6, 2, 8, 16, Solid(kWood, 3));
    v.Box(13, 8, 6, 13, 8, 16, Solid(kWood, 3));
    v.Box(1, 5, 16, 14, 11, 17, Solid(kRoofRed, 3));
    return v;
}

// The fountain's water runs in the shimmer colours; the jet changes per frame.
Volume Fountain(int frame)
{
    Volume v(16, 16, 22);
    v.Cylinder(8, 8, 7.5, 0, 3, Solid(kStone, 5, 20, 95));
    v.Cylinder(8, 8, 6.3, 2, 3, [](int x, int y, int) { return Vox::Fixed(kShallowCycle + ((x + y) & 7)); });
    v.Cylinder(8, 8, 1.5, 0, 10, Solid(kStone, 4));
    v.Cylinder(8, 8, 3.2, 9, 10, Solid(kStone, 5));
    const int jet = 14 + frame;
    v.Box(8, 8, 11, 8, 8, jet, FixedColour(kShallowCycle + 4));
    for (int i = 0; i < 4; ++i) {
        const double a = i * kPi / 2 + frame * 0.4;
        for (int k = 1; k <= 4; ++k)
            v.Set(8 + int(std::lround(std::cos(a) * k)), 8 + int(std::lround(std::sin(a) * k)), jet - k * 2 + (frame & 1),
                  Vox::Fixed(kShallowCycle + ((k + frame) & 7)));
    }
    return v;
}

Volume Stall()
{
    Volume v(16, 8, 16);
    v.Box(0, 1, 0, 15, 6, 5, Solid(kWood, 4, 20, 97));
    for (int x : {0, 15})
        v.Box(x, 1, 6, x, 1, 13, Solid(kWood, 3));
    v.Box(0, 0, 13, 15, 7, 13, [](int x, int, int) { return Vox::Of((x / 3) % 2 ? kClothRed : kCream, 4); });
    for (int x = 1; x < 15; x += 3)
        v.Set(x, 5, 6, Vox::Of(x % 2 ? kOrange : kGold, 5));
    return v;
}

Volume Statue()
{
    Volume v(8, 8, 28);
    v.Box(0, 0, 0, 7, 7, 5, Solid(kStone, 5));
    v.Box(2, 3, 6, 5, 4, 14, Solid(kStone, 4));
    v.Box(2, 2, 15, 5, 5, 21, Solid(kStone, 4));
    v.Box(3, 3, 22, 4, 4, 25, Solid(kStone, 5));
    v.Box(6, 3, 14, 6, 3, 27, Solid(kIron, 5));
    return v;
}

Volume FlagPole(int frame)
{
    Volume v(14, 8, 26, 7, 7);
    v.Box(6, 6, 0, 6, 6, 25, Solid(kWood, 3));
    for (int x = 0; x < 7; ++x) {
        const int wave = int(std::lround(std::sin((x + frame * 2) * 0.9) * 1.2));
        v.Box(x + 7, 6 + wave, 18, x + 7, 6 + wave, 24, [=](int, int, int z) {
            return Vox::Of(z == 21 ? kGold : kClothRed, 4);
        });
    }
    return v;
}

Texture Flame(int frame)
{
    return [=](int x, int y, int z) { return Vox::Fixed(kFireCycle + int((x + y + z + frame) & 3)); };
}

Volume Torch(int frame)
{
    Volume v(8, 8, 22);
    v.Box(4, 4, 0, 4, 4, 14, Solid(kWood, 3));
    v.Box(3, 3, 15, 5, 5, 15, Solid(kIron, 3));
    v.Ellipsoid(4.5, 4.5, 18 + (frame & 1), 1.6, 1.6, 3 + (frame % 3) * 0.5, Flame(frame));
    return v;
}

Volume Campfire(int frame)
{
    Volume v(8, 8, 12);
    for (int i = 0; i < 6; ++i)
        v.Set(1 + i, 3 + (i & 1), 0, Vox::Of(kBark, 3));
    v.Box(1, 1, 0, 6, 1, 0, Solid(kStone, 3));
    v.Box(1, 6, 0, 6, 6, 0, Solid(kStone, 3));
    v.Ellipsoid(3.5 + (frame & 1) * 0.5, 3.5, 2.5 + frame % 2, 2.5, 2.5, 4 + (frame % 3), Flame(frame));
    return v;
}

Volume Lamp(int frame)
{
    Volume v(8, 8, 24);
    v.Box(4, 4, 0, 4, 4, 17, Solid(kIron, 2));
    v.Box(2, 2, 18, 6, 6, 18, Solid(kIron, 3));
    v.Box(3, 3, 19, 5, 5, 21, FixedColour(kGlowCycle + (frame & 3)));
    v.Box(2, 2, 22, 6, 6, 22, Solid(kIron, 3));
    return v;
}

// A windmill on a 3 x 3 base: its four sails turn by an eighth per frame.
Volume Windmill(int frame)
{
    Volume v(40, 40, 56, 23, 23);
    v.Cylinder(12, 12, 10, 0, 28, Solid(kCream, 4, 15, 111));
    v.Box(14, 22, 0, 17, 22, 8, Solid(kWood, 2));
    for (int z = 29; z <= 38; ++z)
        v.Cylinder(12, 12, 10.5 - (z - 29) * 1.1, z, z, Solid(kRoofRed, 3));
    // Sails stand in the plane y = 24 (the south side), hub at x 12, z 30.
    const double base = frame * kPi / 8;
    for (int s = 0; s < 4; ++s) {
        const double a = base + s * kPi / 2;
        for (int k = 1; k <= 17; ++k) {
            const int x = 12 + int(std::lround(std::cos(a) * k));
            const int z = 30 + int(std::lround(std::sin(a) * k));
            v.Set(x, 24, z, Vox::Of(kWood, 2));
            if (k > 4)
                for (int w = 1; w <= 3; ++w)
                    v.Set(x + int(std::lround(-std::sin(a) * w)), 24, z + int(std::lround(std::cos(a) * w)),
                          Vox::Of(kCream, 5));
        }
    }
    v.Box(11, 22, 29, 13, 25, 31, Solid(kBark, 3));
    return v;
}

Volume Hearth(int frame)
{
    Volume v(16, 8, 22);
    v.Box(0, 0, 0, 15, 7, 21, WallTexture(kBrick, 1));
    v.Carve(3, 3, 0, 12, 7, 9);
    v.Ellipsoid(8, 5.5, 1.5, 3.5 + (frame & 1), 1.8, 3 + frame % 3, Flame(frame));
    v.Box(2, 0, 10, 13, 7, 11, Solid(kStone, 5));
    return v;
}

Volume Carpet(int tx, int ty, Ramp field, Ramp border)
{
    Volume v(tx * 8, ty * 8, 1);
    v.Box(0, 0, 0, tx * 8 - 1, ty * 8 - 1, 0, [=](int x, int y, int) {
        const bool edge = x < 2 || y < 2 || x >= tx * 8 - 2 || y >= ty * 8 - 2;
        const bool pattern = ((x + y) % 6 == 0) || ((x - y + 60) % 6 == 0);
        return Vox::Of(edge ? border : field, edge ? 4 : pattern ? 5 : 3);
    });
    return v;
}

Volume Rug()
{
    Volume v(16, 16, 1);
    v.Ellipsoid(8, 8, 0, 7.5, 6, 1, [](int x, int y, int) {
        const int d = std::abs(x - 8) + std::abs(y - 8);
        return Vox::Of(d % 4 < 2 ? kOrange : kBrick, 3);
    });
    return v;
}

Volume FloorPanel()
{
    Volume v(8, 8, 1);
    v.Box(0, 0, 0, 7, 7, 0, [](int x, int y, int) { return Vox::Of(kStone, ((x / 4 + y / 4) & 1) ? 5 : 2); });
    return v;
}

Volume Table()
{
    Volume v(16, 8, 7);
    v.Box(0, 0, 5, 15, 7, 6, Solid(kWood, 4, 15, 121));
    for (int x : {1, 14})
        for (int y : {1, 6})
            v.Box(x, y, 0, x, y, 4, Solid(kWood, 2));
    v.Set(5, 3, 7 - 1, Vox::Of(kCream, 6));
    return v;
}

Volume Chair()
{
    Volume v(8, 8, 12);
    v.Box(1, 1, 4, 6, 6, 4, Solid(kWood, 4));
    for (int x : {1, 6})
        for (int y : {1, 6})
            v.Box(x, y, 0, x, y, 3, Solid(kWood, 2));
    v.Box(1, 1, 5, 6, 1, 11, Solid(kWood, 3));
    return v;
}

Volume Bed()
{
    Volume v(8, 16, 8);
    v.Box(0, 0, 0, 7, 15, 3, Solid(kWood, 3));
    v.Box(0, 0, 4, 7, 15, 4, Solid(kCream, 5));
    v.Box(1, 1, 5, 6, 4, 5, Solid(kCream, 6));
    v.Box(0, 6, 5, 7, 15, 5, Solid(kClothRed, 4));
    v.Box(0, 0, 4, 7, 0, 7, Solid(kWood, 2));
    return v;
}

Volume Shelf(bool books)
{
    Volume v(8, 8, 24);
    v.Box(0, 0, 0, 7, 7, 23, Solid(kWood, 3));
    v.Carve(1, 7, 1, 6, 7, 22);
    for (int z = 1; z < 23; z += 6) {
        v.Box(1, 6, z, 6, 7, z, Solid(kWood, 4));
        if (books)
            for (int x = 1; x <= 6; ++x)
                v.Box(x, 6, z + 1, x, 6, z + 3 + (x % 2), Solid(x % 3 == 0 ? kClothRed : x % 3 == 1 ? kClothBlue : kClothGreen, 4));
        else
            v.Box(1, 7, z + 1, 6, 7, z + 5, Solid(kWood, 4, 10, uint64_t(z)));
    }
    return v;
}

Volume Bench(int tiles)
{
    Volume v(tiles * 8, 8, 6);
    v.Box(0, 2, 3, tiles * 8 - 1, 5, 4, Solid(kWood, 4));
    for (int x : {1, tiles * 8 - 2})
        v.Box(x, 3, 0, x, 4, 2, Solid(kWood, 2));
    return v;
}

Volume Stool()
{
    Volume v(8, 8, 6);
    v.Cylinder(4, 4, 2.5, 4, 4, Solid(kWood, 4));
    v.Box(3, 3, 0, 4, 4, 3, Solid(kWood, 2));
    return v;
}

Volume Counter()
{
    Volume v(24, 8, 9);
    v.Box(0, 1, 0, 23, 7, 8, Solid(kWood, 3, 10, 131));
    v.Box(0, 0, 8, 23, 7, 8, Solid(kWood, 5));
    v.Set(6, 3, 9 - 1, Vox::Of(kGold, 6));
    return v;
}

Volume Anvil()
{
    Volume v(8, 8, 8);
    v.Box(2, 2, 0, 5, 5, 3, Solid(kBark, 3));
    v.Box(0, 2, 4, 7, 5, 6, Solid(kIron, 3));
    return v;
}

Volume Barrel()
{
    Volume v(8, 8, 10);
    for (int z = 0; z <= 9; ++z) {
        const double r = 3.2 + (z > 2 && z < 7 ? 0.5 : 0);
        v.Cylinder(4, 4, r, z, z, Solid(z == 1 || z == 8 ? kIron : kWood, z == 1 || z == 8 ? 3 : 4));
    }
    return v;
}

Volume Crate()
{
    Volume v(8, 8, 8);
    v.Box(0, 0, 0, 7, 7, 7, [](int x, int y, int z) {
        const bool side = x == 0 || x == 7 || y == 0 || y == 7;
        const bool corner = (x == 0 || x == 7) && (y == 0 || y == 7);
        const bool frame = side && (z == 0 || z == 7 || corner || (z + x) % 7 == 0 || (z + y) % 7 == 0);
        return Vox::Of(kWood, frame ? 2 : 4);
    });
    return v;
}

Volume Chest()
{
    Volume v(8, 8, 7);
    v.Box(0, 1, 0, 7, 6, 4, Solid(kWood, 3));
    v.Box(0, 1, 5, 7, 6, 6, Solid(kWood, 4));
    v.Box(0, 1, 4, 7, 6, 4, Solid(kIron, 4));
    v.Box(3, 6, 2, 4, 6, 3, Solid(kGold, 6));
    return v;
}

Volume Sack()
{
    Volume v(8, 8, 8);
    v.Ellipsoid(4, 4, 2.5, 3, 3, 3, Solid(kSand, 3, 20, 141));
    v.Box(3, 3, 5, 4, 4, 6, Solid(kSand, 2));
    return v;
}

// Small loose items, centred in their tile.
Volume Item(int kind, uint64_t seed)
{
    Volume v(8, 8, 6);
    switch (kind % 12) {
    case 0: v.Cylinder(4, 4, 1.5, 0, 0, Solid(kGold, 5)); v.Cylinder(3, 5, 1.5, 0, 1, Solid(kGold, 6)); break;  // coins
    case 1: v.Cylinder(4, 4, 1.2, 0, 3, FixedColour(kShallowCycle + 3)); v.Set(4, 4, 4, Vox::Of(kBark, 3)); break;  // bottle
    case 2: v.Ellipsoid(4, 4, 1, 1.6, 1.6, 1.5, Solid(kClothRed, 5)); break;  // apple
    case 3: v.Ellipsoid(4, 4, 0.8, 2.6, 1.5, 1.3, Solid(kOrange, 4)); break;  // bread
    case 4: v.Box(1, 4, 0, 6, 4, 0, Solid(kIron, 6)); v.Box(6, 3, 0, 6, 5, 0, Solid(kGold, 4)); v.Set(7, 4, 0, Vox::Of(kBark, 3)); break;  // sword
    case 5: v.Cylinder(4, 4, 2.8, 0, 0, Solid(kWood, 4)); v.Set(4, 4, 1, Vox::Of(kIron, 5)); break;  // shield
    case 6: v.Box(2, 2, 0, 5, 6, 1, Solid(kClothBlue, 3)); v.Box(2, 2, 1, 5, 5, 1, Solid(kCream, 6)); break;  // book
    case 7: v.Box(2, 4, 0, 5, 4, 0, Solid(kGold, 5)); v.Box(5, 3, 0, 6, 5, 0, Solid(kGold, 5)); break;  // key
    case 8: v.Cylinder(4, 4, 1, 0, 3, Solid(kCream, 6)); v.Set(4, 4, 4, Vox::Fixed(kFireCycle + 2)); break;  // candle
    case 9: v.Cylinder(4, 4, 1.5, 0, 2, Solid(kWood, 4)); v.Set(6, 4, 1, Vox::Of(kWood, 3)); break;  // mug
    case 10: v.Ellipsoid(4, 4, 1, 1.2, 1.2, 1.5, FixedColour(kPulseCycle + int(seed % 3))); break;  // gem
    default: v.Cylinder(4, 4, 1, 0, 0, Solid(kParchment, 5)); v.Box(2, 4, 0, 6, 4, 1, Solid(kParchment, 6)); break;  // scroll
    }
    return v;
}

// Tinted copies make the filler shapes that stand between the designed ones.
formats::Picture Tinted(formats::Picture p, int rampShift)
{
    for (int& c : p.pixels)
        if (c >= 0 && c < 224 && c != kBlack)
            c = ((c / 8 + rampShift) % kRampCount) * 8 + c % 8;
    return p;
}

class Builder {
public:
    int Add(ShapeArt a)
    {
        shapes.push_back(std::move(a));
        return 150 + int(shapes.size()) - 1;
    }
    int Next() const { return 150 + int(shapes.size()); }
    // Fills with variants of the small things until `number` is the next shape.
    void PadTo(int number)
    {
        while (Next() < number) {
            const int k = Next();
            const int kind = k % 4;
            if (kind == 0)
                Add(Art("item variant", {Tinted(Outlined(Item(k / 4, uint64_t(k))), k % 7)}, 0, 1, 1));
            else if (kind == 1)
                Add(Art("rock variant", {OnBase(Rock(k % 3, kStone, false), kOnRock, k % 12)}, 1, 1, 1, true));
            else if (kind == 2)
                Add(Art("bush variant", {Tinted(Project(Bush(k % 2, kLeaf)), k % 3)}, 1, 1, 1));
            else
                Add(Art("crate variant", {Tinted(Outlined(Crate()), k % 5)}, 2, 1, 1, false, 6));
        }
    }
    std::vector<ShapeArt> shapes;
};

// Marker shapes: placed among the movable objects but never drawn from them.
ShapeArt Marker(const std::string& name, int colour)
{
    Volume v(8, 8, 8);
    v.Ellipsoid(4, 4, 3, 2, 2, 3, FixedColour(colour));
    return Art(name, {Outlined(v)}, 1, 1, 1);
}

}  // namespace

ShapeCatalogue MakeObjectShapes()
{
    Builder b;
    ShapeCatalogue cat;
    ObjectIds& o = cat.ids;
    o.oak.fill(-1); o.pine.fill(-1); o.birch.fill(-1); o.deadTree.fill(-1); o.palm.fill(-1);
    o.bush.fill(-1); o.rock.fill(-1); o.reeds.fill(-1); o.flowers.fill(-1);

    auto frames3 = [](const std::function<Volume(int)>& make, Base base) {
        std::vector<formats::Picture> f;
        for (int i = 0; i < 3; ++i)
            f.push_back(OnBase(make(i), base, i));
        return f;
    };
    for (Base base : {kOnGrass, kOnForest, kOnMeadow})
        o.oak[base] = b.Add(Art("oak", frames3([](int i) { return Oak(i, kLeaf); }, base), 7, 1, 1, true));
    for (Base base : {kOnForest, kOnGrass, kOnSnow})
        o.pine[base] = b.Add(Art("pine", frames3([base](int i) { return Pine(i, kLeaf, base == kOnSnow); }, base), 7, 1, 1, true));
    for (Base base : {kOnGrass, kOnMeadow})
        o.birch[base] = b.Add(Art("birch", frames3(Birch, base), 7, 1, 1, true));
    for (Base base : {kOnSwamp, kOnSnow, kOnRock})
        o.deadTree[base] = b.Add(Art("dead tree", frames3(DeadTree, base), 6, 1, 1, true));
    o.palm[kOnSand] = b.Add(Art("palm", frames3(Palm, kOnSand), 7, 1, 1, true));
    for (Base base : {kOnGrass, kOnForest, kOnMeadow, kOnSand, kOnSwamp})
        o.bush[base] = b.Add(Art("bush", frames3([base](int i) { return Bush(i % 2, base == kOnSand ? kMeadow : kLeaf); }, base), 2, 1, 1));
    for (Base base : {kOnGrass, kOnRock, kOnSand, kOnSnow, kOnForest})
        o.rock[base] = b.Add(Art("rock", frames3([base](int i) { return Rock(i, base == kOnSand ? kSand : kStone, base == kOnSnow); }, base), 1, 1, 1, true));
    for (Base base : {kOnSwamp, kOnGrass})
        o.reeds[base] = b.Add(Art("reeds", frames3(Reeds, base), 2, 1, 1));
    for (Base base : {kOnMeadow, kOnGrass})
        o.flowers[base] = b.Add(Art("flowers", frames3(Flowers, base), 0, 1, 1));
    {
        Volume v(16, 16, 14);
        v.Ellipsoid(8, 8, 2, 7.5, 7, 10, Solid(kStone, 3, 30, 151));
        o.boulder = b.Add(Art("boulder", {OnBase(v, kOnRock)}, 3, 2, 2, true));
    }
    auto wallFrames = [](Ramp r, int style) {
        return std::vector<formats::Picture>{Project(Wall(r, style, 0)), Project(Wall(r, style, 1)), Project(Wall(r, style, 2))};
    };
    o.stoneWall = b.Add(Art("stone wall", wallFrames(kStone, 0), 5, 1, 1, true));
    o.brickWall = b.Add(Art("brick wall", wallFrames(kBrick, 1), 5, 1, 1, true));
    o.timberWall = b.Add(Art("timber wall", wallFrames(kCream, 2), 5, 1, 1, true));
    o.doorSouth = b.Add(Art("doorway south", {OnBase(Doorway(true), kOnWood)}, 5, 1, 1));
    o.doorEast = b.Add(Art("doorway east", {OnBase(Doorway(false), kOnWood)}, 5, 1, 1));
    o.battlement = b.Add(Art("battlement", {Project(Battlement())}, 4, 1, 1, true));
    auto roofFrames = [](Ramp r) {
        std::vector<formats::Picture> f;
        for (int i = 0; i < 9; ++i)
            f.push_back(Project(RoofPiece(r, i)));
        return f;
    };
    o.roofRed = b.Add(Art("red roof", roofFrames(kRoofRed), 1, 1, 1));
    o.roofSlate = b.Add(Art("slate roof", roofFrames(kSlate), 1, 1, 1));
    o.fenceX = b.Add(Art("fence", {OnBase(Fence(true), kOnGrass)}, 2, 1, 1, true));
    o.fenceY = b.Add(Art("fence", {OnBase(Fence(false), kOnGrass)}, 2, 1, 1, true));
    o.signpost = b.Add(Art("signpost", {OnBase(Signpost(), kOnGrass), OnBase(Signpost(), kOnCobbles)}, 3, 1, 1, true));
    o.well = b.Add(Art("well", {OnBase(Well(), kOnCobbles)}, 4, 2, 2, true));
    {
        std::vector<formats::Picture> f;
        for (int i = 0; i < 4; ++i)
            f.push_back(OnBase(Fountain(i), kOnCobbles, i));
        o.fountain = b.Add(Art("fountain", f, 2, 2, 2, true, 0, true));
    }
    o.stall = b.Add(Art("market stall", {OnBase(Stall(), kOnCobbles)}, 3, 2, 1, true));
    o.statue = b.Add(Art("statue", {OnBase(Statue(), kOnCobbles)}, 6, 1, 1, true));
    auto animated = [](const std::function<Volume(int)>& make, int n, bool outline) {
        std::vector<formats::Picture> f;
        for (int i = 0; i < n; ++i)
            f.push_back(outline ? Outlined(make(i)) : Project(make(i)));
        return f;
    };
    o.flag = b.Add(Art("flag", animated(FlagPole, 4, false), 6, 1, 1, false, 0, true));
    o.torch = b.Add(Art("torch", animated(Torch, 4, false), 4, 1, 1, false, 0, true));
    o.campfire = b.Add(Art("campfire", animated(Campfire, 4, false), 1, 1, 1, false, 0, true));
    o.lamp = b.Add(Art("street lamp", animated(Lamp, 4, false), 5, 1, 1, false, 0, true));
    o.windmill = b.Add(Art("windmill", animated(Windmill, 4, false), 7, 3, 3, true, 0, true));
    o.hearth = b.Add(Art("hearth", animated(Hearth, 4, false), 5, 2, 1, true, 0, true));
    o.carpetRed = b.Add(Art("carpet", {Project(Carpet(3, 2, kClothRed, kGold))}, 0, 3, 2, false, 0, false, true));
    o.carpetBlue = b.Add(Art("carpet", {Project(Carpet(2, 2, kClothBlue, kCream))}, 0, 2, 2, false, 0, false, true));
    o.rug = b.Add(Art("rug", {Project(Rug())}, 0, 2, 2, false, 0, false, true));
    o.floorPanel = b.Add(Art("floor panel", {Project(FloorPanel())}, 0, 1, 1, false, 0, false, true));
    o.table = b.Add(Art("table", {Project(Table())}, 1, 2, 1));
    o.chair = b.Add(Art("chair", {Project(Chair())}, 1, 1, 1));
    o.bed = b.Add(Art("bed", {Project(Bed())}, 1, 1, 2));
    o.bookshelf = b.Add(Art("bookshelf", {Project(Shelf(true))}, 6, 1, 1));
    o.cupboard = b.Add(Art("cupboard", {Project(Shelf(false))}, 6, 1, 1, false, 6));
    o.bench = b.Add(Art("bench", {Project(Bench(2))}, 1, 2, 1));
    o.stool = b.Add(Art("stool", {Project(Stool())}, 1, 1, 1));
    o.counter = b.Add(Art("counter", {Project(Counter())}, 2, 3, 1));
    o.anvil = b.Add(Art("anvil", {Outlined(Anvil())}, 2, 1, 1));
    o.barrel = b.Add(Art("barrel", {Outlined(Barrel())}, 2, 1, 1, false, 6));
    o.crate = b.Add(Art("crate", {Outlined(Crate())}, 2, 1, 1, false, 6));
    o.chest = b.Add(Art("chest", {Outlined(Chest())}, 1, 1, 1, false, 6));
    o.sack = b.Add(Art("sack", {Outlined(Sack())}, 1, 1, 1, false, 6));
    for (int k = 0; k < 12; ++k)
        o.items.push_back(b.Add(Art("item", {Outlined(Item(k, uint64_t(k)))}, 0, 1, 1)));

    b.PadTo(200);
    b.Add(Marker("marker", kPulseCycle));
    b.PadTo(275);
    b.Add(Marker("marker", kGlowCycle));
    b.PadTo(301);
    for (ShapeArt& c : MakeCharacters())
        o.characters.push_back(b.Add(std::move(c)));
    b.PadTo(607);
    b.Add(Marker("marker", kShallowCycle));
    b.PadTo(620);
    cat.shapes = std::move(b.shapes);
    return cat;
}

}  // namespace worldgen
