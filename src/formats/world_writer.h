// Writes the world files: chunk patterns, the region map, fixed-object and
// movable-object region files, and the initial-state archive.
//
// VXCHUNKS: 3072 patterns of 16 x 16 shape-and-frame words (u16, row-major).
// VXMAP:    144 regions (row-major, 12 x 12) of 16 x 16 pattern numbers (u16).
// VXIFIXnn: a flex archive of 256 entries, one per chunk (row-major); each
//           entry is 4-byte records: (tile x << 4 | tile y), lift, word.
// VXIREGnn: per chunk a group of entries, each a length byte L and L data
//           bytes, ended by a length byte 0; a container's contents follow its
//           entry and end with a length byte 1.
// INITGAME.DAT: a flex archive whose entries are files: a 13-byte name field
//           (zero-padded) followed by the file's content.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formats/flex_writer.h"
#include "platform/world_geometry.h"

namespace formats {


// Shape in bits 0-9, frame in bits 10-14.
inline uint16_t ShapeWord(int shape, int frame) { return uint16_t((shape & 1023) | (frame & 31) << 10); }

using ChunkPattern = std::array<uint16_t, kChunkTiles * kChunkTiles>;

Bytes MakeChunkPatterns(const std::vector<ChunkPattern>& patterns);
// `patternNumbers` holds 256 numbers per region, regions in order.
Bytes MakeRegionMap(const std::vector<uint16_t>& patternNumbers);

struct FixedObject {
    int tileX = 0, tileY = 0;  // within the chunk
    int lift = 0;
    uint16_t word = 0;
};
using FixRegion = std::array<std::vector<FixedObject>, kRegionChunks * kRegionChunks>;
Bytes MakeFixRegion(const FixRegion& chunks);

// One movable-object entry: its data bytes d[0..L-1] and, for a container, the
// entries inside it.
struct MovableObject {
    Bytes data;
    std::vector<MovableObject> contents;
};
// The short form (L = 6): x, y, word, lift in the high nibble of d[4], quality.
MovableObject MovableShort(int regionTileX, int regionTileY, uint16_t word, int lift, uint8_t quality = 0);
// The long form (L = 12): lift in the high nibble of d[9]. A container with
// contents marks d[4] non-zero, which tells readers that contents follow.
MovableObject MovableLong(int regionTileX, int regionTileY, uint16_t word, int lift,
                          std::vector<MovableObject> contents = {});
using RegRegion = std::array<std::vector<MovableObject>, kRegionChunks * kRegionChunks>;
Bytes MakeRegRegion(const RegRegion& chunks);

// Region file names: prefix plus the region number as two upper-case hex digits.
std::string RegionFileName(const std::string& prefix, int region);

// One INITGAME.DAT entry: the name field and the content.
Bytes MakeInitGameEntry(const std::string& name, const Bytes& content);
Bytes MakeInitGame(const std::vector<std::pair<std::string, Bytes>>& files);

}  // namespace formats
