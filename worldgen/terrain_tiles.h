// Ground tiles: the first 150 entries of SHAPES.VGA, 8 x 8 frames each.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/flex_writer.h"

namespace worldgen {

// Ground shapes by number. Frames are variants of the same ground; the edge
// shapes take a side mask as their frame: 1 north, 2 east, 4 south, 8 west.
enum Ground : int {
    kGrassGround, kMeadowGround, kForestFloor, kSandGround, kRoad, kCobbles, kStoneFloor, kWoodFloor,
    kShallowWater, kDeepWater, kSwampGround, kSnowGround, kRockGround,
    kShore,      // sand with shallow water along the masked sides
    kGrassSand,  // grass with sand along the masked sides
    kRoadEdge,   // dirt road with grass along the masked sides
    kFarmland,
    kDeepEdge,   // deep water with shallow water along the masked sides
    kFirstFillerGround
};

constexpr int kGroundShapeCount = 150;

// Frames of each ground shape (index = shape number, 150 entries).
int GroundFrameCount(int ground);

// The 64 pixels of one frame.
std::vector<uint8_t> GroundPixels(int ground, int frame);

// The 150 ground-tile archive entries. No entry's first four bytes equal its
// size, so none is taken for a run-length shape.
std::vector<formats::Bytes> MakeGroundTiles();

}  // namespace worldgen
