// The world's objects (shapes 150 and up): their frames, tile flags and
// obstacle bits, and the shape numbers the map places.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "shape_art.h"

namespace worldgen {

// Which base ground an outdoor object stands on (it carries the ground of its
// own tile, since a chunk cell holding an object has no ground tile).
enum Base { kOnGrass, kOnForest, kOnMeadow, kOnSnow, kOnSwamp, kOnSand, kOnRock, kOnCobbles, kOnWood, kBaseCount };

// Shape numbers of the objects the map places; -1 where a kind does not exist.
struct ObjectIds {
    std::array<int, kBaseCount> oak{}, pine{}, birch{}, deadTree{}, palm{}, bush{}, rock{}, reeds{}, flowers{};
    int boulder = 0;
    int stoneWall = 0, brickWall = 0, timberWall = 0;  // frames: 0 plain, 1 window south, 2 window east
    int doorSouth = 0, doorEast = 0;                   // doorways on wood floor
    int battlement = 0;                                // tower top: stone with merlons, 4 lifts high
    int roofRed = 0, roofSlate = 0;                    // frames: 0 flat, 1 N, 2 E, 3 S, 4 W slope, 5 NE, 6 SE, 7 SW, 8 NW corner
    int fenceX = 0, fenceY = 0, signpost = 0, well = 0, fountain = 0, stall = 0, statue = 0;
    int flag = 0, torch = 0, campfire = 0, lamp = 0, windmill = 0, hearth = 0;
    int carpetRed = 0, carpetBlue = 0, rug = 0, floorPanel = 0;
    int table = 0, chair = 0, bed = 0, bookshelf = 0, cupboard = 0, bench = 0, stool = 0, counter = 0, anvil = 0;
    int barrel = 0, crate = 0, chest = 0, sack = 0;
    std::vector<int> items;       // small loose things
    std::vector<int> characters;  // class 12 or 13
};

struct ShapeCatalogue {
    std::vector<ShapeArt> shapes;  // shape 150 + i
    ObjectIds ids;
    int Count() const { return 150 + int(shapes.size()); }
};

// Every run-length world shape, up to and including shape 607 and a little beyond.
ShapeCatalogue MakeObjectShapes();

}  // namespace worldgen
