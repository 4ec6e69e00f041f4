// The world's geometry as the game's files lay it out: 12 x 12 regions of 16 x 16
// chunks of 16 x 16 tiles, 3072 tiles a side, wrapping on both axes. The reader, the
// writers, the renderer, the actor motion and the map tools all count in these.
#pragma once

inline constexpr int kChunkTiles = 16;      // tiles per chunk side
inline constexpr int kRegionChunks = 16;    // chunks per region side
inline constexpr int kRegionsPerSide = 12;  // regions per world side
inline constexpr int kRegionCount = kRegionsPerSide * kRegionsPerSide;
inline constexpr int kWorldChunks = kRegionsPerSide * kRegionChunks;  // 192
inline constexpr int kWorldTiles = kWorldChunks * kChunkTiles;        // 3072
inline constexpr int kChunkPatternCount = 3072;                       // chunk patterns in VXCHUNKS
