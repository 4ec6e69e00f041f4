// The whole map: chunk patterns (shared between chunks the way the game's data
// shares them), the region map, and the fixed and movable objects per region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "object_art.h"
#include "formats/world_writer.h"

namespace worldgen {

struct WorldMap {
    std::vector<formats::ChunkPattern> patterns;  // exactly 3072
    std::vector<uint16_t> regionMap;              // 144 x 256 pattern numbers
    std::vector<formats::FixRegion> fixed;        // 144 regions
    std::vector<formats::RegRegion> movable;      // 144 regions
    int distinctChunks = 0;                       // patterns the map actually uses
};

WorldMap BuildWorldMap(uint64_t seed, const ShapeCatalogue& shapes, const std::function<void(const std::string&)>& progress);

// Helpers shared by the town and the countryside: world tile positions to
// region, chunk and tile.
struct TilePos {
    int x, y;  // world tile, 0..3071
    int Region() const { return (y / 256) * 12 + x / 256; }
    int ChunkInRegion() const { return ((y / 16) % 16) * 16 + (x / 16) % 16; }
    int ChunkIndex() const { return (y / 16) * 192 + x / 16; }  // world chunk number
    int TileX() const { return x % 16; }
    int TileY() const { return y % 16; }
};

}  // namespace worldgen
