// The town of Ember Vale around tile (940, 1220): streets along the chunk
// edges, a plaza with a fountain, a market, houses of one and two storeys
// (walls in the chunk patterns, upper storeys and roofs as fixed objects so the
// roof rule lifts them while the player is inside), a tower, a windmill farm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "object_art.h"
#include "formats/world_writer.h"

namespace worldgen {

struct PlacedFixed {
    int x, y;  // world tile
    int lift;
    uint16_t word;
};

struct PlacedMovable {
    int x, y;  // world tile
    formats::MovableObject object;  // its d[0] and d[1] are filled in when placed
};

struct TownChunk {
    int cx, cy;  // world chunk
    formats::ChunkPattern pattern;
};

struct Town {
    std::vector<TownChunk> chunks;
    std::vector<PlacedFixed> fixed;
    std::vector<PlacedMovable> movable;
};

Town BuildTown(uint64_t seed, const ObjectIds& ids);

// A movable entry in the short (L = 6) or long (L = 12) form; d[0] and d[1]
// are set from the world tile when the entry is filed under its region.
formats::MovableObject ShortEntry(uint16_t word, int lift, uint8_t quality = 0);
formats::MovableObject LongEntry(uint16_t word, int lift, std::vector<formats::MovableObject> contents = {});

}  // namespace worldgen
