// The town's layout, building by building.
#include "town.h"

#include <algorithm>

#include "landscape.h"
#include "rng.h"
#include "terrain_tiles.h"

namespace worldgen {

using formats::ShapeWord;

formats::MovableObject ShortEntry(uint16_t word, int lift, uint8_t quality)
{
    return formats::MovableShort(0, 0, word, lift, quality);
}

formats::MovableObject LongEntry(uint16_t word, int lift, std::vector<formats::MovableObject> contents)
{
    return formats::MovableLong(0, 0, word, lift, std::move(contents));
}

namespace {

constexpr int kW = (kTownX1 - kTownX0 + 1) * 16, kH = (kTownY1 - kTownY0 + 1) * 16;

class TownBuilder {
public:
    TownBuilder(uint64_t seed, const ObjectIds& ids) : rng_(seed * 31 + 17), ids_(ids), grid_(size_t(kW * kH)) {}

    Town Build()
    {
        LayStreets();
        for (int cy = kTownY0; cy <= kTownY1; ++cy)
            for (int cx = kTownX0; cx <= kTownX1; ++cx)
                BuildChunk(cx, cy);
        Town t;
        for (int cy = kTownY0; cy <= kTownY1; ++cy)
            for (int cx = kTownX0; cx <= kTownX1; ++cx) {
                TownChunk c{cx, cy, {}};
                for (int ty = 0; ty < 16; ++ty)
                    for (int tx = 0; tx < 16; ++tx)
                        c.pattern[size_t(ty * 16 + tx)] = At((cx - kTownX0) * 16 + tx, (cy - kTownY0) * 16 + ty);
                t.chunks.push_back(c);
            }
        t.fixed = std::move(fixed_);
        t.movable = std::move(movable_);
        return t;
    }

private:
    uint16_t& At(int lx, int ly) { return grid_[size_t(ly * kW + lx)]; }
    int WX(int cx, int tx) const { return cx * 16 + tx; }
    int WY(int cy, int ty) const { return cy * 16 + ty; }
    uint16_t Ground(int ground, int x, int y) { return ShapeWord(ground, int(Hash(91, uint64_t(x), uint64_t(y)) % uint64_t(GroundFrameCount(ground)))); }

    // Sets the pattern word of world tile (x, y).
    void Put(int x, int y, uint16_t word) { At(x - kTownX0 * 16, y - kTownY0 * 16) = word; }
    void Fix(int x, int y, int lift, int shape, int frame = 0) { fixed_.push_back({x, y, lift, ShapeWord(shape, frame)}); }
    void Move(int x, int y, formats::MovableObject o) { movable_.push_back({x, y, std::move(o)}); }

    void LayStreets()
    {
        for (int ly = 0; ly < kH; ++ly)
            for (int lx = 0; lx < kW; ++lx) {
                const int tx = lx % 16, ty = ly % 16;
                const bool street = tx < 2 || tx > 13 || ty < 2 || ty > 13;
                At(lx, ly) = street ? Ground(kCobbles, lx, ly) : Ground(kGrassGround, lx, ly);
            }
    }

    void BuildChunk(int cx, int cy)
    {
        const int plazaX = kTownCentreX / 16, plazaY = kTownCentreY / 16;
        if (cx == plazaX && cy == plazaY)
            return Plaza(cx, cy);
        if (cx == plazaX - 1 && cy == plazaY)
            return Market(cx, cy);
        if (cx == kTownX1 && cy == kTownY0)
            return Tower(cx, cy);
        if (cx == kTownX1 && cy == kTownY1)
            return Windmill(cx, cy);
        if (cx == kTownX0 && cy == kTownY1)
            return Fields(cx, cy);
        House(cx, cy);
    }

    void FillInterior(int cx, int cy, int ground)
    {
        for (int ty = 2; ty <= 13; ++ty)
            for (int tx = 2; tx <= 13; ++tx)
                Put(WX(cx, tx), WY(cy, ty), Ground(ground, WX(cx, tx), WY(cy, ty)));
    }

    void Plaza(int cx, int cy)
    {
        FillInterior(cx, cy, kCobbles);
        Put(WX(cx, 8), WY(cy, 9), ShapeWord(ids_.fountain, 0));
        Put(WX(cx, 4), WY(cy, 11), ShapeWord(ids_.statue, 0));
        Put(WX(cx, 11), WY(cy, 11), ShapeWord(ids_.well, 0));
        for (int t : {3, 12}) {
            Fix(WX(cx, t), WY(cy, 3), 0, ids_.lamp);
            Fix(WX(cx, t), WY(cy, 12), 0, ids_.lamp);
        }
        Fix(WX(cx, 7), WY(cy, 12), 0, ids_.bench);
        Fix(WX(cx, 10), WY(cy, 6), 0, ids_.bench);
        // The markers: placed among the movable objects, never drawn from them.
        Move(WX(cx, 5), WY(cy, 5), ShortEntry(ShapeWord(200, 0), 0));
        Move(WX(cx, 6), WY(cy, 5), LongEntry(ShapeWord(275, 0), 0));
        Move(WX(cx, 10), WY(cy, 4), ShortEntry(ShapeWord(607, 0), 0));
        Move(WX(cx, 9), WY(cy, 12), ShortEntry(ShapeWord(ids_.items[0], 0), 0, 12));
        Move(WX(cx, 5), WY(cy, 8), ShortEntry(ShapeWord(ids_.items[2], 0), 0));
    }

    void Market(int cx, int cy)
    {
        FillInterior(cx, cy, kCobbles);
        for (int row : {4, 8, 12})
            for (int col : {4, 8, 12})
                if (!(row == 8 && col == 8))
                    Put(WX(cx, col), WY(cy, row), ShapeWord(ids_.stall, 0));
        const int goods[] = {ids_.barrel, ids_.crate, ids_.sack, ids_.barrel};
        for (int i = 0; i < 8; ++i) {
            const int tx = 3 + rng_.Below(10), ty = 2 + rng_.Below(2) * 4 + 1;
            const int shape = goods[i % 4];
            if (i % 2)
                Move(WX(cx, tx), WY(cy, ty), ShortEntry(ShapeWord(shape, 0), 0));
            else
                Move(WX(cx, tx), WY(cy, ty), LongEntry(ShapeWord(shape, 0), 0, {ShortEntry(ShapeWord(ids_.items[size_t(i)], 0), 0)}));
        }
        Fix(WX(cx, 7), WY(cy, 7), 0, ids_.campfire);
    }

    // Walls of a rectangle (inclusive) as pattern words at lift 0 or fixed
    // objects above; windows on the visible south and east faces.
    void Walls(int x0, int y0, int x1, int y1, int shape, int lift, int doorX, int doorY)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                if (x != x0 && x != x1 && y != y0 && y != y1)
                    continue;
                int frame = 0;
                if (y == y1 && x > x0 && x < x1 && (x - x0) % 3 == 1)
                    frame = 1;
                else if (x == x1 && y > y0 && y < y1 && (y - y0) % 3 == 1)
                    frame = 2;
                if (lift == 0) {
                    if (x == doorX && y == doorY)
                        Put(x, y, ShapeWord(y == y1 ? ids_.doorSouth : ids_.doorEast, 0));
                    else
                        Put(x, y, ShapeWord(shape, frame));
                } else {
                    Fix(x, y, lift, shape, frame);
                }
            }
    }

    // A hip roof: rings one lift apart, each piece sloping away from the middle.
    void Roof(int x0, int y0, int x1, int y1, int lift, int shape)
    {
        for (int k = 0; x0 + k <= x1 - k && y0 + k <= y1 - k && lift + k <= 14; ++k) {
            const int ax = x0 + k, ay = y0 + k, bx = x1 - k, by = y1 - k;
            const bool last = ax + 1 > bx - 1 || ay + 1 > by - 1 || lift + k == 14;
            for (int y = ay; y <= by; ++y)
                for (int x = ax; x <= bx; ++x) {
                    const bool n = y == ay, s = y == by, w = x == ax, e = x == bx;
                    if (!last && !n && !s && !w && !e)
                        continue;
                    int frame = 0;
                    if ((n && s) || (w && e) || (last && !(n || s || w || e)))
                        frame = 0;
                    else if (n && e) frame = 5;
                    else if (s && e) frame = 6;
                    else if (s && w) frame = 7;
                    else if (n && w) frame = 8;
                    else if (n) frame = 1;
                    else if (e) frame = 2;
                    else if (s) frame = 3;
                    else if (w) frame = 4;
                    Fix(x, y, lift + k, shape, frame);
                }
        }
    }

    void House(int cx, int cy)
    {
        const int styles[3] = {ids_.stoneWall, ids_.brickWall, ids_.timberWall};
        const int style = styles[rng_.Below(3)];
        const bool twoStorey = rng_.Chance(35);
        const int x0 = WX(cx, 3 + rng_.Below(2)), x1 = WX(cx, 11 + rng_.Below(2));
        const int y0 = WY(cy, 3 + rng_.Below(3)), y1 = WY(cy, 11 + rng_.Below(2));
        const bool doorSouth = rng_.Chance(60);
        const int doorX = doorSouth ? (x0 + x1) / 2 : x1, doorY = doorSouth ? y1 : (y0 + y1) / 2;
        const int floor = rng_.Chance(70) ? kWoodFloor : kStoneFloor;
        for (int y = y0 + 1; y < y1; ++y)
            for (int x = x0 + 1; x < x1; ++x)
                Put(x, y, Ground(floor, x, y));
        Walls(x0, y0, x1, y1, style, 0, doorX, doorY);
        const int roof = rng_.Chance(50) ? ids_.roofRed : ids_.roofSlate;
        if (twoStorey) {
            Walls(x0, y0, x1, y1, ids_.timberWall, 5, -1, -1);
            Roof(x0, y0, x1, y1, 10, roof);
        } else {
            Roof(x0, y0, x1, y1, 5, roof);
        }
        // Furnishings along the north wall, a table in the middle, a bed in a corner.
        const int ix0 = x0 + 1, iy0 = y0 + 1, ix1 = x1 - 1, iy1 = y1 - 1;
        if (rng_.Chance(50))
            Fix(ix0 + 2, iy0, 0, ids_.hearth);
        else
            for (int x = ix0 + 1; x <= ix0 + 2; ++x)
                Fix(x, iy0, 0, ids_.bookshelf);
        Fix(ix1, iy0, 0, ids_.cupboard);
        const int tx = (ix0 + ix1) / 2 + 1, ty = (iy0 + iy1) / 2;
        Fix(tx + 1, ty + 2, 0, rng_.Chance(50) ? ids_.carpetRed : ids_.rug);
        Fix(tx, ty, 0, ids_.table);
        Fix(tx - 2, ty, 0, ids_.chair);
        Fix(tx + 1, ty, 0, ids_.chair);
        Fix(ix0, iy1, 0, ids_.bed);
        Move(tx, ty, ShortEntry(ShapeWord(ids_.items[size_t(rng_.Below(12))], 0), 1));
        Move(tx - 1, ty, ShortEntry(ShapeWord(ids_.items[size_t(rng_.Below(12))], 0), 1));
        // A chest with contents (long form), a barrel and a crate (short form).
        std::vector<formats::MovableObject> contents;
        for (int i = 0, n = 1 + rng_.Below(4); i < n; ++i)
            contents.push_back(ShortEntry(ShapeWord(ids_.items[size_t(rng_.Below(12))], 0), 0, uint8_t(i)));
        Move(ix1, iy1, LongEntry(ShapeWord(ids_.chest, 0), 0, contents));
        Move(ix1, iy1 - 1, ShortEntry(ShapeWord(ids_.barrel, 0), 0));
        Move(ix1 - 1, iy0 + 1, LongEntry(ShapeWord(ids_.crate, 0), 0));
        // A light by the door, outside on the street side.
        Fix(doorSouth ? doorX + 1 : doorX + 1, doorSouth ? doorY + 1 : doorY + 1, 0, ids_.torch);
        // Something green in the yard.
        const int gx = WX(cx, 2), gy = WY(cy, 13);
        if (At(gx - kTownX0 * 16, gy - kTownY0 * 16) % 1024 == kGrassGround)
            Put(gx, gy, ShapeWord(ids_.bush[kOnGrass], rng_.Below(3)));
    }

    void Tower(int cx, int cy)
    {
        FillInterior(cx, cy, kGrassGround);
        const int x0 = WX(cx, 6), y0 = WY(cy, 5), x1 = WX(cx, 9), y1 = WY(cy, 8);
        for (int y = y0 + 1; y < y1; ++y)
            for (int x = x0 + 1; x < x1; ++x)
                Put(x, y, Ground(kStoneFloor, x, y));
        Walls(x0, y0, x1, y1, ids_.stoneWall, 0, x0 + 1, y1);
        Walls(x0, y0, x1, y1, ids_.stoneWall, 5, -1, -1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                Fix(x, y, 10, ids_.battlement);
        Fix(x1 - 1, y1 - 1, 14, ids_.flag);
        Fix(x0 - 1, y1 + 1, 0, ids_.torch);
        Fix(x1 + 1, y1 + 1, 0, ids_.torch);
        Move(x1 + 2, y1, LongEntry(ShapeWord(ids_.chest, 0), 0, {ShortEntry(ShapeWord(ids_.items[4], 0), 0)}));
    }

    void Windmill(int cx, int cy)
    {
        FillInterior(cx, cy, kFarmland);
        Put(WX(cx, 10), WY(cy, 10), ShapeWord(ids_.windmill, 0));
        for (int x = 8; x <= 10; ++x)
            for (int y = 8; y <= 10; ++y)
                if (!(x == 10 && y == 10))
                    Put(WX(cx, x), WY(cy, y), Ground(kGrassGround, x, y));
        Move(WX(cx, 12), WY(cy, 11), ShortEntry(ShapeWord(ids_.sack, 0), 0));
        Move(WX(cx, 12), WY(cy, 12), LongEntry(ShapeWord(ids_.sack, 0), 0, {ShortEntry(ShapeWord(ids_.items[3], 0), 0)}));
    }

    void Fields(int cx, int cy)
    {
        FillInterior(cx, cy, kFarmland);
        for (int t = 2; t <= 13; ++t) {
            Put(WX(cx, t), WY(cy, 2), ShapeWord(ids_.fenceX, 0));
            Put(WX(cx, 2), WY(cy, t), ShapeWord(ids_.fenceY, 0));
        }
        Put(WX(cx, 7), WY(cy, 2), Ground(kGrassGround, 7, 2));
        Fix(WX(cx, 8), WY(cy, 8), 0, ids_.signpost);
    }

    Rng rng_;
    const ObjectIds& ids_;
    std::vector<uint16_t> grid_;
    std::vector<PlacedFixed> fixed_;
    std::vector<PlacedMovable> movable_;
};

}  // namespace

Town BuildTown(uint64_t seed, const ObjectIds& ids) { return TownBuilder(seed, ids).Build(); }

}  // namespace worldgen
