// Ground-tile art: speckled textures, paving, planks and cycling water.
#include "terrain_tiles.h"

#include <algorithm>
#include <stdexcept>

#include "palette.h"
#include "platform/byte_order.h"
#include "rng.h"
#include "formats/shape_writer.h"

namespace worldgen {

namespace {

using Pixels = std::vector<uint8_t>;

uint64_t H(int ground, int frame, int x, int y, int salt = 0)
{
    return Hash(uint64_t(ground) * 131 + uint64_t(salt), uint64_t(frame), uint64_t(x), uint64_t(y));
}

// A ramp texture: mostly `shade`, with darker and lighter speckles.
Pixels Speckle(Ramp ramp, int shade, int ground, int frame, int darkPct, int lightPct)
{
    Pixels p(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int r = int(H(ground, frame, x, y) % 100);
            int s = shade;
            if (r < darkPct)
                s -= 1;
            else if (r < darkPct + lightPct)
                s += 1;
            p[size_t(y * 8 + x)] = Shade(ramp, s);
        }
    return p;
}

void Dot(Pixels& p, int x, int y, uint8_t c) { p[size_t((y & 7) * 8 + (x & 7))] = c; }

Pixels GrassTile(int ground, int frame)
{
    Pixels p = Speckle(kGrass, 3, ground, frame, 22, 18);
    // Blades: a light pixel over a dark one here and there.
    for (int i = 0; i < 3; ++i) {
        const uint64_t h = H(ground, frame, i, 99);
        const int x = int(h % 8), y = int(h / 8 % 7);
        Dot(p, x, y, Shade(kGrass, 5));
        Dot(p, x, y + 1, Shade(kGrass, 2));
    }
    if (frame % 5 == 4)  // a few tiles with a small flower
        Dot(p, int(H(ground, frame, 7, 7) % 8), int(H(ground, frame, 8, 8) % 8), Shade(frame % 2 ? kGold : kCream, 6));
    return p;
}

Pixels MeadowTile(int ground, int frame)
{
    Pixels p = Speckle(kMeadow, 3, ground, frame, 25, 20);
    const Ramp flowers[4] = {kGold, kPink, kCream, kPurple};
    for (int i = 0; i < 2 + frame % 3; ++i) {
        const uint64_t h = H(ground, frame, i, 50);
        Dot(p, int(h % 8), int(h / 8 % 8), Shade(flowers[(h >> 8) % 4], 6));
    }
    return p;
}

Pixels ForestFloorTile(int ground, int frame)
{
    Pixels p = Speckle(kLeaf, 2, ground, frame, 30, 20);
    for (int i = 0; i < 4; ++i) {
        const uint64_t h = H(ground, frame, i, 60);
        Dot(p, int(h % 8), int(h / 8 % 8), Shade((h >> 10) % 2 ? kDirt : kBark, 3));
    }
    return p;
}

Pixels CobbleTile(int ground, int frame)
{
    Pixels p(64);
    // Stones of 3 x 3 with one-pixel mortar lines, rows offset alternately.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int row = y / 4;
            const int xs = (x + row * 2 + (frame & 1) * 1) % 4;
            const bool mortar = (y % 4 == 3) || xs == 3;
            const int stone = int(H(ground, frame, (x + row * 2) / 4, row) % 3);
            p[size_t(y * 8 + x)] = mortar ? Shade(kCobble, 1) : Shade(kCobble, 3 + stone - (y % 4 == 2 ? 1 : 0));
        }
    return p;
}

Pixels StoneFloorTile(int ground, int frame)
{
    Pixels p = Speckle(kStone, 4, ground, frame, 15, 15);
    for (int i = 0; i < 8; ++i) {
        Dot(p, i, 7, Shade(kStone, 2));
        Dot(p, 7, i, Shade(kStone, 2));
    }
    return p;
}

Pixels WoodFloorTile(int ground, int frame)
{
    Pixels p(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int plank = y / 2;
            const bool seam = (y % 2 == 1) || ((x + plank * 3 + frame) % 8 == 0);
            const int grain = int(H(ground, frame, x, y) % 4 == 0);
            p[size_t(y * 8 + x)] = Shade(kWood, seam ? 2 : 4 + grain - (plank % 2));
        }
    return p;
}

Pixels WaterTile(int base, int frame, int stepY)
{
    Pixels p(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int wobble = int(Hash(uint64_t(base), uint64_t(frame), uint64_t(x), uint64_t(y)) % 5 == 0);
            p[size_t(y * 8 + x)] = uint8_t(base + ((x + stepY * y + wobble + frame) & 7));
        }
    return p;
}

Pixels SwampTile(int ground, int frame)
{
    Pixels p = Speckle(kSwamp, 3, ground, frame, 30, 20);
    // Murky puddles shimmer with the shallow-water colours.
    const uint64_t h = H(ground, frame, 0, 70);
    const int cx = int(h % 6) + 1, cy = int(h / 8 % 6) + 1;
    for (int y = cy - 1; y <= cy; ++y)
        for (int x = cx - 1; x <= cx + 1; ++x)
            if (frame % 3 != 2)
                Dot(p, x, y, uint8_t(kShallowCycle + ((x + y) & 7)));
    return p;
}

Pixels RockTile(int ground, int frame)
{
    Pixels p = Speckle(kStone, 3, ground, frame, 30, 25);
    for (int i = 0; i < 2; ++i) {
        const uint64_t h = H(ground, frame, i, 80);
        const int x = int(h % 7), y = int(h / 8 % 7);
        Dot(p, x, y, Shade(kStone, 6));
        Dot(p, x + 1, y + 1, Shade(kStone, 1));
    }
    return p;
}

// Blends an overlay over a base along the masked sides, `depth` pixels deep
// with a ragged edge, and an optional line of `rim` colour at the border.
Pixels EdgeTile(const Pixels& base, const Pixels& over, int mask, int depth, int rim, int ground, int frame)
{
    Pixels p = base;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int d = 99;
            if (mask & 1) d = std::min(d, y);
            if (mask & 2) d = std::min(d, 7 - x);
            if (mask & 4) d = std::min(d, 7 - y);
            if (mask & 8) d = std::min(d, x);
            const int ragged = int(H(ground, frame, x, y, 5) % 2);
            if (d < depth + ragged - 1)
                p[size_t(y * 8 + x)] = over[size_t(y * 8 + x)];
            else if (rim >= 0 && d == depth + ragged - 1)
                p[size_t(y * 8 + x)] = uint8_t(rim);
        }
    return p;
}

Pixels FarmTile(int ground, int frame)
{
    Pixels p(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool furrow = (y % 4) >= 2;
            const bool sprout = (frame >= 2) && !furrow && H(ground, frame, x, y) % 3 == 0;
            p[size_t(y * 8 + x)] = sprout ? Shade(kMeadow, 4 + (x & 1)) : Shade(kDirt, furrow ? 2 : 4);
        }
    return p;
}

// Filler grounds vary a base texture so that every one of the 150 entries is
// real, usable ground: tinted grass, gravel, tiled floors, lava, glowing runes.
Pixels FillerTile(int ground, int frame)
{
    const int kind = (ground - kFirstFillerGround) % 8;
    const Ramp ramps[] = {kGrass, kDirt, kStone, kSand, kMeadow, kSnow, kCobble, kSlate, kBrick, kParchment, kTeal, kIron};
    const Ramp ramp = ramps[(ground / 8) % 12];
    switch (kind) {
    case 0: return Speckle(ramp, 2 + ground % 3, ground, frame, 30, 30);
    case 1: {  // checker floor
        Pixels p(64);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                p[size_t(y * 8 + x)] = Shade(ramp, ((x / 4 + y / 4 + frame) & 1) ? 5 : 2);
        return p;
    }
    case 2: return EdgeTile(Speckle(ramp, 3, ground, frame, 20, 20), CobbleTile(ground, frame), 1 << (frame % 4), 3, -1, ground, frame);
    case 3: {  // lava: flames in the fire cycle under a dark crust
        Pixels p(64);
        for (int i = 0; i < 64; ++i)
            p[size_t(i)] = H(ground, frame, i, 0) % 4 == 0 ? Shade(kGrey, 1) : uint8_t(kFireCycle + (i + frame) % 4);
        return p;
    }
    case 4: {  // runes glowing with the pulse
        Pixels p = StoneFloorTile(ground, frame);
        for (int i = 1; i < 7; ++i)
            Dot(p, i, (frame % 2) ? i : 7 - i, uint8_t(kPulseCycle + i % 3));
        return p;
    }
    case 5: return WoodFloorTile(ground, frame);
    case 6: return FarmTile(ground, frame);
    default: return MeadowTile(ground, frame);
    }
}

}  // namespace

int GroundFrameCount(int ground)
{
    switch (ground) {
    case kGrassGround: case kMeadowGround: case kForestFloor: case kShore: case kGrassSand: case kRoadEdge: case kDeepEdge:
        return 16;
    case kSandGround: case kSwampGround: case kSnowGround: case kRockGround:
        return 12;
    case kFarmland:
        return 4;
    default:
        return 8;
    }
}

std::vector<uint8_t> GroundPixels(int ground, int frame)
{
    switch (ground) {
    case kGrassGround: return GrassTile(ground, frame);
    case kMeadowGround: return MeadowTile(ground, frame);
    case kForestFloor: return ForestFloorTile(ground, frame);
    case kSandGround: return Speckle(kSand, 4, ground, frame, 25, 20);
    case kRoad: return Speckle(kDirt, 4, ground, frame, 30, 20);
    case kCobbles: return CobbleTile(ground, frame);
    case kStoneFloor: return StoneFloorTile(ground, frame);
    case kWoodFloor: return WoodFloorTile(ground, frame);
    case kShallowWater: return WaterTile(kShallowCycle, frame, 1);
    case kDeepWater: return WaterTile(kDeepCycle, frame, 2);
    case kSwampGround: return SwampTile(ground, frame);
    case kSnowGround: return Speckle(kSnow, 5, ground, frame, 20, 15);
    case kRockGround: return RockTile(ground, frame);
    case kShore:
        return EdgeTile(GroundPixels(kSandGround, frame % 12), WaterTile(kShallowCycle, frame, 1), frame, 3,
                        Shade(kSnow, 6), ground, frame);
    case kGrassSand:
        return EdgeTile(GrassTile(kGrassGround, frame), GroundPixels(kSandGround, frame % 12), frame, 3, -1, ground, frame);
    case kRoadEdge:
        return EdgeTile(GroundPixels(kRoad, frame % 8), GrassTile(kGrassGround, frame), frame, 2, -1, ground, frame);
    case kFarmland: return FarmTile(ground, frame);
    case kDeepEdge:
        return EdgeTile(WaterTile(kDeepCycle, frame, 2), WaterTile(kShallowCycle, frame, 1), frame, 3, -1, ground, frame);
    default: return FillerTile(ground, frame);
    }
}

std::vector<formats::Bytes> MakeGroundTiles()
{
    std::vector<formats::Bytes> entries;
    for (int g = 0; g < kGroundShapeCount; ++g) {
        std::vector<formats::Bytes> frames;
        for (int f = 0; f < GroundFrameCount(g); ++f)
            frames.push_back(GroundPixels(g, f));
        formats::Bytes entry = formats::MakeGroundTile(frames);
        // A ground tile whose first u32 equals its size would load as a
        // run-length shape; nudge its fourth pixel if that ever happens.
        const uint32_t first = platform::GetU32(entry.data());
        if (first == entry.size())
            entry[3] ^= 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace worldgen
