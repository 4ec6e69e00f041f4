// Character figures (class 12 or 13): 19 frames each. Frames 0-2 stand and
// walk facing north (seen from behind), 16-18 facing south (seen from the
// front); 3-15 repeat the standing pose. The renderer mirrors them about the
// diagonal for east and west, which in this projection turns a figure by a
// quarter, so the models are built upright in world space.
#pragma once

#include <vector>

#include "shape_art.h"

namespace worldgen {

constexpr int kCharacterFrames = 19;

// The figures of the sample world, in shape order.
std::vector<ShapeArt> MakeCharacters();

}  // namespace worldgen
