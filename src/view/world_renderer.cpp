// The world renderer: ground pass, then the object pass level by level, in chunk
// order (game) or column order (map tool).
#include "view/world_renderer.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <string>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/console.h"

std::atomic<uint16_t> AnimTick{0};
std::atomic<uint32_t> ObjectsConsidered{0};
std::atomic<uint32_t> ObjectsDrawn{0};

namespace {

thread_local bool withoutGame = false;

// The lift of the player's own record, the head of the actor list; 0 without a list
// (a picture drawn before start-up or by a tool without actors).
int PlayerLift(net::TNPCList* actors)
{
    if (withoutGame)
        return 0;
    if (actors == nullptr)
        return 0;
    std::lock_guard<std::mutex> hold(actors->Lock());
    return actors->Head()->Lift;
}

constexpr int kGroundLeft = -20, kGroundRight = 30;  // tile columns around the centre
constexpr int kGroundTop = -12, kGroundBottom = 13;  // tile rows
constexpr int kChunkColumns[4] = {-20, -4, 12, 28};  // cursor x of the object walk
constexpr int kChunkRows[3] = {-12, 4, 20};          // cursor y

// One chunk of the object walk, settled once per picture.
struct ChunkView {
    int cursorX, cursorY;  // unwrapped cursor, for the actor test
    int baseX, baseY;      // unwrapped tile of the chunk's top-left cell, for the screen
    int regionColumn, regionRow;  // the chunk's place within its region
    const uint16_t (*pattern)[kChunkTiles];
    const FixList* fix;
    const RegList* reg;
};

// Everything one picture's draws share.
class WorldPicture {
public:
    WorldPicture(int centreX, int centreY, net::TNPCList* actors)
        : shapes_(*VxShapes),
          actors_(actors),
          cx_(centreX),
          cy_(centreY),
          worldCx_(WrapWorld(centreX)),
          worldCy_(WrapWorld(centreY)),
          animFrame_(withoutGame ? 0 : AnimTick.load(std::memory_order_relaxed) / 4)
    {
    }

    // The world column or row whose data a cursor reads. The cursor stays unwrapped
    // for the screen and the actor tests; the data is read around the centre taken
    // into the world, so a centre outside 0-3071 (a player position the server put
    // off the map) still reads inside the tables.
    int DataX(int x) const { return WrapWorld(worldCx_ + (x - cx_)); }
    int DataY(int y) const { return WrapWorld(worldCy_ + (y - cy_)); }

    int Begin(int liftLimit)
    {
        ClearOwners();
        const int limit = std::min(RoofLimit(worldCx_, worldCy_, PlayerLift(actors_)), liftLimit);
        if (!withoutGame) {
            ObjectsConsidered.store(0, std::memory_order_relaxed);
            ObjectsDrawn.store(0, std::memory_order_relaxed);
        }
        return std::max(limit, 0);
    }

    void End() const
    {
        if (withoutGame)
            return;
        ObjectsConsidered.store(considered_, std::memory_order_relaxed);
        ObjectsDrawn.store(drawn_, std::memory_order_relaxed);
    }

    void GroundPass()
    {
        for (int y = cy_ + kGroundTop; y <= cy_ + kGroundBottom; ++y) {
            const int wy = DataY(y);
            const int sy = (y - cy_) * 8 + 100;
            for (int x = cx_ + kGroundLeft; x <= cx_ + kGroundRight; ++x) {
                const int wx = DataX(x);
                const uint16_t word = ChunkPatterns[ChunkAt(wx, wy)][wy & 15][wx & 15];
                if (WordShape(word) < kFirstObjectShape)
                    shapes_.DrawGround((x - cx_) * 8 + 160, sy, WordShape(word), WordFrame(word));
            }
        }
    }

    ChunkView Chunk(int x, int y) const
    {
        const int wx = DataX(x);
        const int wy = DataY(y);
        return ChunkView{x,
                         y,
                         x - (wx & 15),
                         y - (wy & 15),
                         (wx >> 4) & 15,
                         (wy >> 4) & 15,
                         ChunkPatterns[ChunkAt(wx, wy)],
                         &FixListAt(wx, wy),
                         &RegListAt(wx, wy)};
    }

    // Pattern objects of cell columns first..last, drawn at level 0.
    void PatternObjects(const ChunkView& c, int firstColumn, int lastColumn)
    {
        for (int j = 0; j < kChunkTiles; ++j) {
            for (int i = firstColumn; i <= lastColumn; ++i) {
                const uint16_t word = c.pattern[j][i];
                if (WordShape(word) < kFirstObjectShape)
                    continue;
                ++considered_;
                ++drawn_;
                if (!DrawObject(word, c.baseX + i, c.baseY + j, 0))
                    Report("(chunk) Exception drawing shape: ShapeID=", word);
            }
        }
    }

    // Fixed objects of the level, last record first; column < 0 takes every column.
    void FixedObjects(const ChunkView& c, int level, int column)
    {
        const FixList& list = *c.fix;
        for (int32_t r = list.Count - 1; r >= 0; --r) {
            const FixRecord& f = list.Records[size_t(r)];
            ++considered_;
            if (f.Lift != level || (column >= 0 && f.TileX() != column))
                continue;
            ++drawn_;
            if (!DrawObject(f.ShapeFrame, c.baseX + f.TileX(), c.baseY + f.TileY(), level))
                Report("(ifix) Exception drawing shape: ShapeID=", f.ShapeFrame);
        }
    }

    // Movable objects of the level, last record first; column < 0 takes every column.
    void MovableObjects(const ChunkView& c, int level, int column)
    {
        const RegList& list = *c.reg;
        for (int32_t r = list.Count - 1; r >= 0; --r) {
            const RegRecord& m = list.Records[size_t(r)];
            ++considered_;
            const uint16_t word = m.ShapeFrame();
            if (m.Lift() != level || TVxShapes::IsHiddenShape(WordShape(word)) || (m.Data[1] >> 4) != c.regionRow)
                continue;
            if (column >= 0 && ((m.Data[0] & 15) != column || (m.Data[0] >> 4) != c.regionColumn))
                continue;
            ++drawn_;
            if (!DrawObject(word, c.baseX + (m.Data[0] & 15), c.baseY + (m.Data[1] & 15), level))
                Report("(ireg) Exception drawing shape: ShapeID=", word);
        }
    }

    // Actors standing on the level whose chunk (or, with exactX, tile column) matches.
    // The cursor is not wrapped and its divisions truncate toward zero: a cursor from
    // -15 to -1 counts as chunk 0, so near the world's origin the actors of the first
    // chunk column or row are matched by the chunk left of or above it too.
    void Actors(const ChunkView& c, int level, bool exactX)
    {
        if (withoutGame || actors_ == nullptr)
            return;
        const int chunkX = c.cursorX / 16;
        const int chunkY = c.cursorY / 16;
        std::lock_guard<std::mutex> hold(actors_->Lock());
        for (net::TNPCNode* a = actors_->Head(); a != nullptr; a = a->Next) {
            if (a->Lift != level || a->Y / 16 != chunkY)
                continue;
            if (exactX ? a->X != c.cursorX : a->X / 16 != chunkX)
                continue;
            DrawActor(*a);
        }
    }

private:
    DrawBox Box(int x, int y, int level, int shape, bool turned) const
    {
        const int sx0 = (x - cx_) * 8 + 160;
        const int sy0 = (y - cy_) * 8 + 100;
        DrawBox box;
        box.Col = uint8_t(sx0 / 8 + 16);
        box.Row = uint8_t(sy0 / 8 + 16);
        const int xs = -shapes_.ExtentX(shape);
        const int ys = -shapes_.ExtentY(shape);
        box.ColMin = uint8_t(box.Col - (turned ? ys : xs));
        box.RowMin = uint8_t(box.Row - (turned ? xs : ys));
        box.Lift = uint8_t(level);
        box.Height = uint8_t(shapes_.ShapeHeight(shape));
        return box;
    }

    // False when the object cannot be drawn; nothing is drawn then.
    bool DrawObject(uint16_t word, int x, int y, int level)
    {
        const int shape = WordShape(word);
        int frame = WordFrame(word);
        if (shapes_.IsAnimated(shape)) {
            const int count = shapes_.FrameCount(shape);
            if (count == 0)
                return false;
            frame = animFrame_ % count;
        }
        try {
            shapes_.DrawFrame((x - cx_) * 8 + 160 - 4 * level, (y - cy_) * 8 + 100 - 4 * level, shape, frame,
                              Box(x, y, level, shape, false));
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    void DrawActor(net::TNPCNode& a)
    {
        int frame = 0;
        if (a.Flags & net::FlagMoving)
            frame = ((AnimTick.load(std::memory_order_relaxed) >> std::min<int>(a.AnimShift, 31)) & 1) + 1;
        if (a.Facing == 1 || a.Facing == 8)
            frame += 16;
        a.Frame = uint16_t(frame);
        // The server may name any 16-bit shape; one past the store's slots cannot
        // be drawn, and goes the way of a draw that failed.
        if (a.Shape > MAXSHAPENUM) {
            ReportActor(a);
            return;
        }
        const bool turned = a.Facing == 1 || a.Facing == 4;
        const DrawBox box = Box(a.X, a.Y, a.Lift, a.Shape, turned);
        const int x = (a.X - cx_) * 8 + 160 - 4 * a.Lift;
        const int y = (a.Y - cy_) * 8 + 100 - 4 * a.Lift;
        try {
            if (turned)
                shapes_.DrawFrameTransposed(x, y, a.Shape, frame, box);
            else
                shapes_.DrawFrame(x, y, a.Shape, frame, box);
        } catch (const std::exception&) {
            ReportActor(a);
        }
    }

    static void ReportActor(const net::TNPCNode& a)
    {
        platform::ConsoleLine("(npc) Exception drawing shape: Shapenum=" + std::to_string(a.Shape) +
                              " framenum=" + std::to_string(a.Frame));
    }

    static void Report(const char* prefix, uint16_t word) { platform::ConsoleLine(prefix + std::to_string(word)); }

    TVxShapes& shapes_;
    net::TNPCList* const actors_;  // drawn, and the player's lift settles the roof
    const int cx_, cy_;            // the centre as given, for the screen
    const int worldCx_, worldCy_;  // the centre within the world, for the data
    const int animFrame_;
    uint32_t considered_ = 0;
    uint32_t drawn_ = 0;
};

}  // namespace

void RenderWithoutGameOnThisThread(bool on) { withoutGame = on; }

void RenderWorld(int centreX, int centreY, int liftLimit, net::TNPCList* actors)
{
    WorldPicture frame(centreX, centreY, actors);
    const int limit = frame.Begin(liftLimit);
    frame.GroundPass();

    ChunkView chunks[3][4];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            chunks[r][c] = frame.Chunk(centreX + kChunkColumns[c], centreY + kChunkRows[r]);

    for (int level = 0; level < limit; ++level) {
        for (const auto& row : chunks) {
            for (const ChunkView& chunk : row) {
                if (level == 0)
                    frame.PatternObjects(chunk, 0, kChunkTiles - 1);
                frame.Actors(chunk, level, false);
                frame.FixedObjects(chunk, level, -1);
                frame.MovableObjects(chunk, level, -1);
            }
        }
    }
    frame.End();
}

void RenderWorldColumns(int centreX, int centreY, int liftLimit, net::TNPCList* actors)
{
    WorldPicture frame(centreX, centreY, actors);
    const int limit = frame.Begin(liftLimit);
    frame.GroundPass();

    for (int level = 0; level < limit; ++level) {
        for (const int rowOffset : kChunkRows) {
            for (int x = centreX + kGroundLeft; x <= centreX + kGroundRight; ++x) {
                const ChunkView chunk = frame.Chunk(x, centreY + rowOffset);
                const int column = frame.DataX(x) & 15;
                if (level == 0)
                    frame.PatternObjects(chunk, column, column);
                frame.Actors(chunk, level, true);
                frame.FixedObjects(chunk, level, column);
                frame.MovableObjects(chunk, level, column);
            }
        }
    }
    frame.End();
}
