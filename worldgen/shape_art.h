// One generated shape: its frames and the bytes its tables hold for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/shape_writer.h"

namespace worldgen {

struct ShapeArt {
    std::string name;
    std::vector<formats::Picture> frames;
    uint8_t flags[3] = {0, 0, 0};  // TFA.DAT bytes
    uint8_t dims[2] = {0, 0};      // SHPDIMS.DAT bytes: blocks along x, along y
};

// Tile flags: height in lifts, footprint in tiles, class (6 container,
// 12 character), animated and box-order bits.
inline void SetFlags(ShapeArt& art, int height, int tilesX, int tilesY, int shapeClass = 0, bool animated = false,
                     bool boxOrdered = false)
{
    art.flags[0] = uint8_t((height & 7) << 5 | (animated ? 4 : 0) | (boxOrdered ? 8 : 0));
    art.flags[1] = uint8_t(shapeClass & 127);
    art.flags[2] = uint8_t(((tilesX - 1) & 7) | ((tilesY - 1) & 7) << 3);
}

}  // namespace worldgen
