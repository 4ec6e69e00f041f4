// The world map: region map, chunk patterns, fixed and movable objects, and the
// queries asked of them (chunk at a position, roof limit, obstacles).
//
//   world   3072 x 3072 tiles = 12 x 12 regions, wrapping on both axes
//   region  256 x 256 tiles   = 16 x 16 chunks, numbered ry * 12 + rx
//   chunk   16 x 16 tiles, one pattern of shape-and-frame words
//   tile    8 x 8 pixels; x grows to the right on screen, y downwards
//
// A shape-and-frame word: bits 0-9 the shape, bits 10-14 the frame, bit 15 unused.
//
// Files (little-endian):
//   STATIC\VXCHUNKS  3072 patterns of 16 x 16 words, row-major
//   STATIC\VXMAP     144 regions of 16 x 16 pattern numbers (u16), row-major
//   VXIFIXnn         flex archive per region (nn = region number, two upper-case
//                    hex digits); entry e = chunk (e mod 16, e div 16), 4-byte records
//   VXIREGnn         per region: a stream of entries, each a length byte L and L
//                    data bytes. L = 0 ends a group (256 groups per file), L = 1 is
//                    filler; a container's contents follow it up to a length byte 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/world_geometry.h"

constexpr int kFirstObjectShape = 150;  // pattern cells below this are ground tiles
constexpr int kMaxRegEntry = 19;        // data bytes a movable-object record holds

inline int WordShape(uint16_t word) { return word & 1023; }
inline int WordFrame(uint16_t word) { return (word >> 10) & 31; }

// Takes any coordinate into 0 .. 3071 (the world is a torus). Positions within
// one lap, -3072 .. 6143, take the quick way.
inline int WrapWorld(int v)
{
    if (v >= 0 && v < kWorldTiles)
        return v;
    if (v < 0 && v >= -kWorldTiles)
        return v + kWorldTiles;
    if (v >= kWorldTiles && v < 2 * kWorldTiles)
        return v - kWorldTiles;
    v %= kWorldTiles;
    return v < 0 ? v + kWorldTiles : v;
}

// A fixed object: byte 0 high nibble = tile column, low nibble = tile row within
// the chunk; byte 1 the lift; bytes 2-3 the shape-and-frame word.
struct FixRecord {
    uint8_t Place = 0;
    uint8_t Lift = 0;
    uint16_t ShapeFrame = 0;

    int TileX() const { return Place >> 4; }
    int TileY() const { return Place & 15; }
};
static_assert(sizeof(FixRecord) == 4);

// A movable object as read: its length L (2-19) and data bytes d[0..L-1].
//   d[0]  high nibble chunk column in the region, low nibble tile column
//   d[1]  high nibble chunk row, low nibble tile row
//   d[2..3] shape-and-frame word
//   lift: high nibble of d[4] when L = 6, else of d[9]
// Bytes past L are zero.
struct RegRecord {
    uint8_t Length = 0;
    uint8_t Data[kMaxRegEntry] = {};

    uint16_t ShapeFrame() const { return platform::GetU16(Data + 2); }
    int Lift() const { return (Length == 6 ? Data[4] : Data[9]) >> 4; }
};
static_assert(sizeof(RegRecord) == 20);

struct FixList {
    int32_t Count = 0;
    std::vector<FixRecord> Records;  // the first Count are valid
};

struct RegList {
    int32_t Count = 0;
    std::vector<RegRecord> Records;
};

// Process-wide world tables; all zero until loaded, read-only afterwards.
extern uint16_t ChunkPatterns[kChunkPatternCount][kChunkTiles][kChunkTiles];
extern uint16_t RegionMap[kRegionCount][kChunkTiles][kChunkTiles];
extern FixList FixLists[kRegionsPerSide][kRegionsPerSide][kChunkTiles][kChunkTiles];
extern RegList RegLists[kRegionsPerSide][kRegionsPerSide][kChunkTiles][kChunkTiles];

// The name of region k's file: prefix + two upper-case hex digits ("1A" for 26).
std::string RegionFileName(const std::string& prefix, int region);

// Loaders, in this order; file errors raise EInOutError.
void LoadChunkPatterns(const std::string& path);
// Pattern numbers of 3072 or more are reported once and read as pattern 0.
void LoadRegionMap(const std::string& path);
// Records of an entry whose size is not a multiple of 4: whole records only.
void LoadFixLists(const std::string& prefix);
// Needs the tile flags of VxShapes (containers). Entries longer than 19 bytes are
// reported and skipped; a file that ends before its 256th group end raises.
void LoadRegLists(const std::string& prefix);
// One region's file (region rx, ry), as the two loaders above read each of theirs;
// for tools and tests that need a part of the world.
void LoadFixRegion(const std::string& path, int rx, int ry);
void LoadRegRegion(const std::string& path, int rx, int ry);
// Counts the loads above, whoever made them: a caller that keeps the count after its
// own load knows whether anything has replaced a table since.
uint32_t WorldTableLoads();

inline FixList& FixListAt(int x, int y)
{
    return FixLists[y >> 8][x >> 8][(y >> 4) & 15][(x >> 4) & 15];
}
inline RegList& RegListAt(int x, int y)
{
    return RegLists[y >> 8][x >> 8][(y >> 4) & 15][(x >> 4) & 15];
}

// The chunk-pattern number at a position (wrapped).
int ChunkAt(int x, int y);

// How many lift levels to draw around (x, y): 15, or 10 / 5 when a fixed object of
// the chunk stands above lift 9 / 4 while the player, at playerLift, is below 9 / 4.
// The renderer passes the lift of the player's own actor record.
int RoofLimit(int x, int y, int playerLift);

// Whether the chunk pattern's objects block movement through tile (x, y) along x or y.
bool ObstacleX(int x, int y);
bool ObstacleY(int x, int y);

// Draws pattern c with its last cell's hot spot at (x + 8, y + 8): ground cells
// first, then objects, each over what was drawn before. A number outside 0-3071
// raises std::out_of_range.
void DrawChunk(int x, int y, int c);
