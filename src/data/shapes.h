// The process-wide shape store: world shapes, ground tiles, fonts, gumps and the pointer.
//
// Run-length shape layout (one archive entry, little-endian):
//   0        u32   total length of the shape (equals the entry's size)
//   4        u32[] frame offset table, offsets from the shape's start
//   offset   i16[4] frame header; the first value is a glyph's advance
//   offset+8 spans: u16 header (bit 0 encoded, bits 1-15 length), i16 x, i16 y,
//            pixel data; a header of 0 ends the frame.
// Raw span data is one palette index per pixel. Encoded span data is runs: a
// byte r, length r >> 1; bit 0 set means one index repeated (colour run),
// clear means that many indices follow (literal run).
//
// Ground tiles are plain 8 x 8 frames of 64 indices; an entry whose first u32
// differs from its size is a ground tile.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "data/drawing.h"

constexpr int MAXSHAPENUM = 1500;            // highest slot number (1501 slots)
constexpr int kGroundTileSlots = 150;        // slots 0-149 draw from the ground-tile store
constexpr int kGroundTileBytes = 2048;       // 32 frames of 8 x 8
constexpr int kShapeWorkBuffer = 65540;      // largest entry or pointer file
constexpr int kTileFlagShapes = 1024;

// The rectangle a frame's pixels cover, relative to its hot spot: columns
// left .. right - 1 and rows top .. bottom - 1 (before any transposition).
// Empty (left == right) for a frame that draws no pixel or failed the load check.
struct FrameExtent {
    int32_t left = 0, right = 0, top = 0, bottom = 0;
};

struct ShapeRecord {
    int32_t length = 0;  // declared total length; 0 for an empty slot
    // The shape's bytes from offset 4 on: a stored offset o addresses data[o - 4].
    // `length` bytes long; the last four are never interpreted.
    std::unique_ptr<uint8_t[]> data;
    // One extent per counted frame, settled when the shape is stored, so drawing
    // can pass over a frame that lies wholly off the picture without walking it.
    std::unique_ptr<FrameExtent[]> extents;
};

// The frame-count table, one byte per slot, and the loaded flag: while the flag
// is false the invalid-frame check of drawing is off. Both are process-wide.
extern uint8_t FrameCounts[MAXSHAPENUM + 1];
extern std::atomic<bool> ShapesLoaded;

class TVxShapes {
public:
    // An empty store (every table zero); tests and tools fill it by hand.
    TVxShapes();
    // Create: fills slots from 0 and the ground-tile store from "STATIC\SHAPES.VGA".
    explicit TVxShapes(const std::string& shapesPath);
    ~TVxShapes() = default;
    TVxShapes(const TVxShapes&) = delete;
    TVxShapes& operator=(const TVxShapes&) = delete;

    void LoadFonts(const std::string& path);     // font f (from 1) is slot ShapeCount + f - 1
    void LoadGumps(const std::string& path);     // gump g (from 0) is slot GumpBase + g
    void LoadPointers(const std::string& path);  // one shape in slot PointerSlot

    uint8_t FrameCount(int slot) const { return FrameCounts[slot]; }
    static bool IsHiddenShape(int shape) { return shape == 200 || shape == 275 || shape == 607; }

    // False for a frame that failed the load-time check: drawing skips it.
    bool FrameUsable(int slot, int frame) const
    {
        return (badFrames_[slot][frame >> 3] & (1u << (frame & 7))) == 0;
    }
    // Where a usable frame's pixels lie (see FrameExtent).
    const FrameExtent& Extent(int slot, int frame) const { return Shapes[slot].extents[size_t(frame)]; }

    // Tile-flag queries; shape numbers are masked to their low 10 bits.
    int ExtentX(int shape) const { return -(TileFlags[shape & 1023][2] & 7); }
    int ExtentY(int shape) const { return -((TileFlags[shape & 1023][2] >> 3) & 7); }
    int ShapeHeight(int shape) const { return TileFlags[shape & 1023][0] >> 5; }
    bool IsAnimated(int shape) const { return (TileFlags[shape & 1023][0] & 4) != 0; }
    bool IsBoxOrdered(int shape) const { return (TileFlags[shape & 1023][0] & 8) != 0; }
    bool IsContainerShape(int shape) const { return (TileFlags[shape & 1023][1] & 127) == 6; }
    bool IsCharacterShape(int shape) const
    {
        const int cls = TileFlags[shape & 1023][1] & 127;
        return cls == 12 || cls == 13;
    }
    // The neighbouring character shape between 150 and ShapeCount - 1, wrapping;
    // n itself after one full lap of those slots without finding one. An n outside
    // them (below 150, or ShapeCount and above) starts the lap at the end the
    // search moves from: 150 for Next, ShapeCount - 1 for Previous.
    uint16_t NextCharacterShape(uint16_t n) const;
    uint16_t PreviousCharacterShape(uint16_t n) const;

    // Drawing into the colour and owner buffers. Coordinates are the hot spot
    // in picture pixels; shapes below 150 are ground tiles and go to DrawGround.
    // DrawFrame and DrawFrameTransposed test and write owners; the others don't.
    void DrawFrame(int x, int y, int shape, int frame, const DrawBox& box);
    void DrawFrameTransposed(int x, int y, int shape, int frame, const DrawBox& box);
    void AlwaysDrawFrame(int x, int y, int shape, int frame);
    void DrawGround(int x, int y, int shape, int frame);
    int DrawGlyph(uint8_t character, int font, int x, int y);  // returns the advance
    void DrawText(std::string_view text, int font, int x, int y);
    void DrawGump(int x, int y, int gump, int frame);
    void DrawPointer(int x, int y, int frame);

    // Copies the 768 scaled palette bytes into the palette copy used for colour runs.
    void SetPalette(const uint8_t* palette768);

    // Puts one run-length shape (its whole bytes, as stored) into a slot, counts
    // and checks its frames. Used by the loaders and by tests.
    void StoreShape(int slot, const uint8_t* shape, int32_t size, bool singleFrame);

    int32_t ShapeCount = 0;
    int32_t GumpBase = 0;
    int32_t PointerSlot = 0;
    int32_t GroundTileCount = 0;
    uint8_t GroundTiles[kGroundTileSlots][kGroundTileBytes] = {};
    ShapeRecord Shapes[MAXSHAPENUM + 1];
    uint8_t Palette[256][3] = {};  // the palette copy: never rotated by cycling
    uint16_t GlyphAdvance = 0;
    uint8_t TileFlags[kTileFlagShapes][3] = {};

private:
    enum class Kind { World, Fonts, Gumps };
    // Loads every entry of a shape archive into slots from `firstSlot`; returns the next free slot.
    int LoadArchive(const std::string& path, int firstSlot, Kind kind);
    void StoreGroundTile(int entry, int32_t size);
    void CountFrames(int slot);
    void CheckFrames(int slot);

    std::string loadingPath_ = "slot";  // names the file in load reports

    uint8_t badFrames_[MAXSHAPENUM + 1][32] = {};
};
