// The landscape at chunk resolution: a terrain class at every chunk corner
// (the world is 192 x 192 chunks and wraps, so there are as many corners),
// and the roads, which run along chunk edges from corner to corner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/world_geometry.h"

namespace worldgen {

enum Terrain : uint8_t { kDeep, kShallow, kSand, kGrassland, kMeadow, kForest, kSwamp, kSnow, kRocky, kTerrainCount };

inline bool IsWater(Terrain t) { return t == kDeep || t == kShallow; }


// The town's chunks (inclusive); its centre tile is (940, 1220).
constexpr int kTownX0 = 55, kTownY0 = 74, kTownX1 = 60, kTownY1 = 78;
constexpr int kTownCentreX = 940, kTownCentreY = 1220;

struct Landscape {
    std::vector<Terrain> corners;  // [cy * 192 + cx]: the north-west corner of chunk (cx, cy)
    // Road bits per chunk: 1 north side, 2 east, 4 south, 8 west.
    std::vector<uint8_t> roads;
    std::vector<int> roadEnds;  // chunk indices where a road ends (camps)

    Terrain Corner(int cx, int cy) const { return corners[size_t(Wrap(cy) * kWorldChunks + Wrap(cx))]; }
    static int Wrap(int c) { return ((c % kWorldChunks) + kWorldChunks) % kWorldChunks; }
    // The chunk's four corners are the same land class.
    bool UniformLand(int cx, int cy) const;
};

bool InTown(int cx, int cy);

Landscape MakeLandscape(uint64_t seed);

}  // namespace worldgen
