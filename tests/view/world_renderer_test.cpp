// The world renderer on a hand-built world: projection and boxes, levels and the
// roof rule, counters, animation, actors, failing draws and the world's wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/console.h"
#include "formats/shape_writer.h"
#include "support/world_tables.h"
#include "view/world_renderer.h"

namespace {

constexpr int CX = 940, CY = 1220;  // centre chunk: region (3, 4), chunk (10, 12)
constexpr uint32_t kUntouched = 0x00ABCDEF;

uint32_t Colour(int index) { return 0x00100000u | uint32_t(index); }
uint16_t Word(int shape, int frame = 0) { return uint16_t(shape | frame << 10); }


void AddMovable(int x, int y, int lift, uint16_t word)
{
    RegList& list = RegListAt(x, y);
    RegRecord r;
    r.Length = 6;
    r.Data[0] = uint8_t(((x >> 4) & 15) << 4 | (x & 15));
    r.Data[1] = uint8_t(((y >> 4) & 15) << 4 | (y & 15));
    r.Data[2] = uint8_t(word & 255);
    r.Data[3] = uint8_t(word >> 8);
    r.Data[4] = uint8_t(lift << 4);
    list.Records.resize(size_t(list.Count));
    list.Records.push_back(r);
    ++list.Count;
}

// A shape whose frame f is one pixel of palette index colours[f] at (dx, dy)
// from the hot spot.
void StorePixels(int slot, const std::vector<int>& colours, int16_t dx = 0, int16_t dy = 0)
{
    std::vector<formats::Frame> frames;
    for (int c : colours) {
        formats::Span span;
        span.x = dx;
        span.y = dy;
        span.raw = {uint8_t(c)};
        formats::Frame f;
        f.spans.push_back(span);
        frames.push_back(f);
    }
    const formats::Bytes bytes = formats::MakeShape(frames);
    VxShapes->StoreShape(slot, bytes.data(), int32_t(bytes.size()), false);
}

class WorldRenderer : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ClearWorldTables();
        VxShapes = std::make_unique<TVxShapes>();
        for (int i = 0; i < 256; ++i)
            ColourTable[i] = Colour(i);
        for (int k = 0; k < kGroundTileSlots; ++k)
            std::memset(VxShapes->GroundTiles[k], k, 64);
        ShapesLoaded = true;
        AnimTick = 0;
        Fill();
    }
    void TearDown() override { support::ClearWorldTables(); }
    static void Fill() { std::fill(&ColourBuffer[0][0], &ColourBuffer[0][0] + kViewWidth * kViewHeight, kUntouched); }

    // The actor list each picture is handed; the process-wide one stays empty.
    net::TNPCList actors_;
};

TEST_F(WorldRenderer, CentreTileAndLiftedObjectLandWhereTheProjectionSays)
{
    StorePixels(151, {51});
    StorePixels(152, {52});
    VxShapes->TileFlags[152][0] = 3 << 5;           // height 3
    VxShapes->TileFlags[152][2] = 1 | 2 << 3;       // 2 x 3 tiles
    support::AddFixedObject(CX, CY, 0, Word(151));
    support::AddFixedObject(CX, CY, 2, Word(152));
    RenderWorld(CX, CY, 16, &actors_);

    EXPECT_EQ(ColourBuffer[100][160], Colour(51));
    const OwnerRecord& centre = OwnerBuffer[100][160];
    EXPECT_EQ(centre.Col, 36);
    EXPECT_EQ(centre.Row, 28);
    EXPECT_EQ(centre.ColMin, 36);
    EXPECT_EQ(centre.Shape, 151);

    EXPECT_EQ(ColourBuffer[92][152], Colour(52));
    const OwnerRecord& lifted = OwnerBuffer[92][152];
    EXPECT_EQ(lifted.Col, 36) << "the box comes from the unlifted position";
    EXPECT_EQ(lifted.Row, 28);
    EXPECT_EQ(lifted.ColMin, 35);
    EXPECT_EQ(lifted.RowMin, 26);
    EXPECT_EQ(lifted.Lift, 2);
    EXPECT_EQ(lifted.Height, 3);

    // The ground tile under the centre: hot spot (160, 100), top-left (153, 93).
    EXPECT_EQ(ColourBuffer[93][153], Colour(0));
    EXPECT_EQ(OwnerBuffer[93][153].Row, 0) << "ground sets no owner";
}

TEST_F(WorldRenderer, LevelsRunUpToTheLimitAndCountEveryRecordPerLevel)
{
    StorePixels(151, {51});
    // In the chunk right of the centre, so the roof rule stays out of it.
    const int lifts[] = {2, 3, 14, 15};
    for (int i = 0; i < 4; ++i)
        support::AddFixedObject(950 + i, 1225, lifts[i], Word(151));
    auto drawn = [](int i, int lift) {
        return ColourBuffer[(1225 - CY) * 8 + 100 - 4 * lift][(950 + i - CX) * 8 + 160 - 4 * lift] == Colour(51);
    };

    RenderWorld(CX, CY, 16, &actors_);
    EXPECT_TRUE(drawn(0, 2));
    EXPECT_TRUE(drawn(1, 3));
    EXPECT_TRUE(drawn(2, 14));
    EXPECT_FALSE(drawn(3, 15)) << "a requested 16 is cut to 15: levels 0-14";
    EXPECT_EQ(ObjectsConsidered.load(), 4u * 15);
    EXPECT_EQ(ObjectsDrawn.load(), 3u);

    Fill();
    RenderWorld(CX, CY, 3, &actors_);
    EXPECT_TRUE(drawn(0, 2));
    EXPECT_FALSE(drawn(1, 3));
    EXPECT_EQ(ObjectsConsidered.load(), 4u * 3);
    EXPECT_EQ(ObjectsDrawn.load(), 1u);
}

TEST_F(WorldRenderer, LimitZeroStillDrawsTheWholeGround)
{
    RegionMap[4 * 12 + 3][12][10] = 5;  // the centre chunk
    ChunkPatterns[5][4][12] = Word(149);
    ChunkPatterns[5][4][11] = Word(150);
    StorePixels(150, {50});
    RenderWorld(CX, CY, 0, &actors_);
    // Every tile but the object's cell is drawn, however low the limit.
    EXPECT_EQ(std::count(&ColourBuffer[0][0], &ColourBuffer[0][0] + kViewWidth * kViewHeight, kUntouched), 64);
    EXPECT_EQ(ColourBuffer[100][160], Colour(149)) << "shape 149 is ground";
    EXPECT_EQ(ColourBuffer[100][152], kUntouched) << "shape 150 waits for the object pass";
    EXPECT_EQ(ObjectsConsidered.load(), 0u);

    RenderWorld(CX, CY, 1, &actors_);
    EXPECT_EQ(ColourBuffer[100][152], Colour(50));
    EXPECT_EQ(ObjectsConsidered.load(), 1u);
    EXPECT_EQ(ObjectsDrawn.load(), 1u);
}

TEST_F(WorldRenderer, RoofRuleCutsHighLevelsEverywhere)
{
    StorePixels(151, {51});
    support::AddFixedObject(CX + 1, CY, 6, Word(151));  // overhead, in the player's chunk
    support::AddFixedObject(950, 1225, 5, Word(151));   // elsewhere in the picture
    support::AddFixedObject(951, 1225, 4, Word(151));
    auto drawn = [](int x, int y, int lift) {
        return ColourBuffer[(y - CY) * 8 + 100 - 4 * lift][(x - CX) * 8 + 160 - 4 * lift] == Colour(51);
    };
    actors_.Head()->Lift = 0;
    RenderWorld(CX, CY, 16, &actors_);
    EXPECT_TRUE(drawn(951, 1225, 4));
    EXPECT_FALSE(drawn(950, 1225, 5));
    EXPECT_FALSE(drawn(CX + 1, CY, 6));

    Fill();
    actors_.Head()->Lift = 4;
    RenderWorld(CX, CY, 16, &actors_);
    EXPECT_TRUE(drawn(950, 1225, 5)) << "a player at lift 4 is not under it";
    EXPECT_TRUE(drawn(CX + 1, CY, 6));

    Fill();
    RenderWorld(CX, CY, 16, nullptr);
    EXPECT_TRUE(drawn(951, 1225, 4)) << "without an actor list the player stands at lift 0";
    EXPECT_FALSE(drawn(950, 1225, 5));
}

TEST_F(WorldRenderer, HiddenMovableObjectsAreCountedButNotDrawn)
{
    StorePixels(151, {51});
    StorePixels(275, {75});
    StorePixels(150, {50});
    RegionMap[4 * 12 + 3][12][10] = 5;
    ChunkPatterns[5][0][0] = Word(150);
    AddMovable(950, 1225, 0, Word(275));
    AddMovable(951, 1225, 0, Word(151));
    RenderWorld(CX, CY, 1, &actors_);
    EXPECT_EQ(ObjectsConsidered.load(), 3u);
    EXPECT_EQ(ObjectsDrawn.load(), 2u);
    EXPECT_EQ(ColourBuffer[140][248], Colour(51));
    EXPECT_EQ(ColourBuffer[140][240], Colour(0)) << "shape 275 leaves the ground showing";
}

TEST_F(WorldRenderer, AnimatedShapesTakeTheClockAndFailingOnesReportOneLine)
{
    StorePixels(153, {60, 61, 62});
    VxShapes->TileFlags[153][0] = 4;
    VxShapes->TileFlags[154][0] = 4;  // animated, but no frames
    StorePixels(151, {51});
    RegionMap[4 * 12 + 3][12][10] = 5;
    ChunkPatterns[5][1][1] = Word(154, 2);
    support::AddFixedObject(950, 1225, 0, Word(153));
    support::AddFixedObject(951, 1225, 0, Word(154));
    AddMovable(952, 1225, 0, Word(154, 1));
    support::AddFixedObject(953, 1225, 0, Word(151));
    AnimTick = 20;  // (20 div 4) mod 3 = 2

    platform::ConsoleCapture console;
    RenderWorld(CX, CY, 1, &actors_);
    EXPECT_EQ(ColourBuffer[140][240], Colour(62));
    EXPECT_EQ(ColourBuffer[140][248], Colour(0));
    EXPECT_EQ(ColourBuffer[140][256], Colour(0));
    EXPECT_EQ(ColourBuffer[140][264], Colour(51)) << "the picture goes on";
    const std::vector<std::string> expected = {
        "(chunk) Exception drawing shape: ShapeID=" + std::to_string(Word(154, 2)),
        "(ifix) Exception drawing shape: ShapeID=" + std::to_string(Word(154)),
        "(ireg) Exception drawing shape: ShapeID=" + std::to_string(Word(154, 1)),
    };
    EXPECT_EQ(console.Lines(), expected);
}

struct ActorCase {
    const char* what;
    uint8_t flags, shift, facing;
    uint16_t tick;
    int frame;
    bool turned;
};

class WorldRendererActors : public WorldRenderer, public ::testing::WithParamInterface<ActorCase> {};

TEST_P(WorldRendererActors, FrameFacingAndBox)
{
    const ActorCase& c = GetParam();
    std::vector<int> colours;
    for (int f = 0; f < 19; ++f)
        colours.push_back(100 + f);
    StorePixels(160, colours, -3, -1);    // one pixel 3 left of and 1 above the hot spot
    VxShapes->TileFlags[160][2] = 1 << 3;  // 1 tile wide, 2 deep
    auto actor = std::make_unique<net::TNPCRecord>();
    actor->ID = 7;
    actor->Shape = 160;
    actor->X = 945;
    actor->Y = 1222;
    actor->Flags = c.flags;
    actor->AnimShift = c.shift;
    actor->Facing = c.facing;
    net::TNPCNode* node = actors_.InsertEntry(std::move(actor));
    AnimTick = c.tick;

    RenderWorld(CX, CY, 16, &actors_);
    EXPECT_EQ(node->Frame, c.frame);
    // Hot spot (200, 116); box Col 41, Row 30.
    const int x = c.turned ? 200 - 1 + 8 : 200 - 3;
    const int y = c.turned ? 116 - 3 : 116 - 1;
    EXPECT_EQ(ColourBuffer[y][x], Colour(100 + c.frame));
    const OwnerRecord& owner = OwnerBuffer[y][x];
    EXPECT_EQ(owner.Col, 41);
    EXPECT_EQ(owner.Row, 30);
    EXPECT_EQ(owner.ColMin, c.turned ? 40 : 41) << "turned: 2 wide";
    EXPECT_EQ(owner.RowMin, c.turned ? 30 : 29) << "unturned: 2 deep";
    EXPECT_EQ(owner.Shape, 160);

    Fill();
    node->Frame = 99;
    RenderWorldColumns(CX, CY, 16, &actors_);
    EXPECT_EQ(node->Frame, c.frame) << "column order draws it in its own column";
    EXPECT_EQ(ColourBuffer[y][x], Colour(100 + c.frame));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorldRendererActors,
    ::testing::Values(ActorCase{"NorthStanding", 0, 0, 2, 6, 0, false},
                      ActorCase{"NorthShift1Tick2", 1, 1, 2, 2, 2, false},
                      ActorCase{"NorthShift1Tick4", 1, 1, 2, 4, 1, false},
                      ActorCase{"NorthShift0EvenTick", 1, 0, 2, 6, 1, false},
                      ActorCase{"SouthStanding", 0, 0, 8, 0, 16, false},
                      ActorCase{"SouthMoving", 1, 1, 8, 2, 18, false},
                      ActorCase{"EastMoving", 1, 0, 1, 6, 17, true},
                      ActorCase{"WestStanding", 0, 0, 4, 0, 0, true}),
    [](const ::testing::TestParamInfo<ActorCase>& info) { return std::string(info.param.what); });

TEST_F(WorldRenderer, ActorsOnOtherLevelsOrChunksAreLeftOut)
{
    StorePixels(160, {100});
    auto add = [&](int id, uint16_t x, uint16_t y, uint16_t lift) {
        auto a = std::make_unique<net::TNPCRecord>();
        a->ID = id;
        a->Shape = 160;
        a->X = x;
        a->Y = y;
        a->Lift = lift;
        a->Facing = 2;
        return actors_.InsertEntry(std::move(a));
    };
    net::TNPCNode* high = add(1, 945, 1222, 15);  // above the drawn levels
    net::TNPCNode* far = add(2, 1100, 1222, 0);   // no walked chunk holds it
    net::TNPCNode* seen = add(3, 946, 1222, 1);
    high->Frame = far->Frame = seen->Frame = 55;
    RenderWorld(CX, CY, 16, &actors_);
    EXPECT_EQ(high->Frame, 55);
    EXPECT_EQ(far->Frame, 55);
    EXPECT_EQ(seen->Frame, 0);
    EXPECT_EQ(ColourBuffer[116 - 4][208 - 4], Colour(100));
}

TEST_F(WorldRenderer, AnActorWhoseShapeIsPastTheStoreReportsOneLineAndThePictureGoesOn)
{
    StorePixels(160, std::vector<int>(19, 100));
    auto add = [&](int id, uint16_t shape, uint16_t x) {
        auto a = std::make_unique<net::TNPCRecord>();
        a->ID = id;
        a->Shape = shape;
        a->X = x;
        a->Y = 1222;
        a->Flags = net::FlagMoving;
        a->AnimShift = 1;
        a->Facing = 8;
        return actors_.InsertEntry(std::move(a));
    };
    net::TNPCNode* bad = add(1, 0x8000 | 160, 945);  // tile flags of 160, but no such slot
    add(2, 160, 947);
    AnimTick = 2;

    platform::ConsoleCapture console;
    RenderWorld(CX, CY, 16, &actors_);
    EXPECT_EQ(bad->Frame, 18);
    EXPECT_EQ(console.Lines(),
              std::vector<std::string>{"(npc) Exception drawing shape: Shapenum=32928 framenum=18"});
    EXPECT_EQ(ColourBuffer[116][200], Colour(0)) << "nothing of it is drawn";
    EXPECT_EQ(ColourBuffer[116][216], Colour(100)) << "the next actor is";
}

TEST_F(WorldRenderer, ACentreOffTheMapDrawsTheWorldItWrapsTo)
{
    // A player position the server put past the world's edge still reads the world
    // tables inside their bounds, roof rule included.
    StorePixels(151, {51});
    StorePixels(150, {50});
    RegionMap[4 * 12 + 3][12][10] = 5;
    std::fill(&ChunkPatterns[5][0][0], &ChunkPatterns[5][0][0] + 256, Word(3));
    ChunkPatterns[5][2][2] = Word(150);
    support::AddFixedObject(CX + 1, CY, 6, Word(151));  // a roof over the player
    support::AddFixedObject(950, 1225, 4, Word(151));
    support::AddFixedObject(951, 1225, 5, Word(151));   // above the cut
    AddMovable(952, 1225, 0, Word(151));

    for (auto render : {RenderWorld, RenderWorldColumns}) {
        Fill();
        render(CX, CY, 16, &actors_);
        std::vector<uint32_t> inWorld(&ColourBuffer[0][0], &ColourBuffer[0][0] + kViewWidth * kViewHeight);
        const uint32_t considered = ObjectsConsidered, drawn = ObjectsDrawn;
        ASSERT_EQ(ColourBuffer[140 - 16][240 - 16], Colour(51));
        ASSERT_NE(ColourBuffer[140 - 20][248 - 20], Colour(51));

        Fill();
        render(CX + 20 * kWorldTiles, CY + 5 * kWorldTiles, 16, &actors_);
        EXPECT_TRUE(std::equal(inWorld.begin(), inWorld.end(), &ColourBuffer[0][0]));
        EXPECT_EQ(ObjectsConsidered.load(), considered);
        EXPECT_EQ(ObjectsDrawn.load(), drawn);
    }
}

TEST_F(WorldRenderer, ColumnOrderCountsAListOncePerColumn)
{
    StorePixels(151, {51});
    support::AddFixedObject(CX, CY, 0, Word(151));
    RenderWorld(CX, CY, 1, &actors_);
    EXPECT_EQ(ObjectsConsidered.load(), 1u);
    EXPECT_EQ(ObjectsDrawn.load(), 1u);
    Fill();
    RenderWorldColumns(CX, CY, 1, &actors_);
    EXPECT_EQ(ColourBuffer[100][160], Colour(51));
    EXPECT_EQ(ObjectsConsidered.load(), 16u) << "the chunk's 16 columns each look at the list";
    EXPECT_EQ(ObjectsDrawn.load(), 1u);
}

TEST_F(WorldRenderer, NearTheWorldsEdgeDataWrapsButScreenPositionsDoNot)
{
    const int cx = 5;
    StorePixels(151, {51});
    RegionMap[4 * 12 + 11][12][15] = 6;  // world columns 3056-3071 at row 1220
    std::fill(&ChunkPatterns[6][0][0], &ChunkPatterns[6][0][0] + 256, Word(2));
    support::AddFixedObject(3057, CY, 0, Word(151));
    support::AddFixedObject(3071, CY, 0, Word(151));
    for (auto render : {RenderWorld, RenderWorldColumns}) {
        Fill();
        render(cx, CY, 16, &actors_);
        // Column 3057 is drawn as column -15: hot spot x = (-15 - 5) * 8 + 160 = 0.
        EXPECT_EQ(ColourBuffer[100][0], Colour(51));
        EXPECT_EQ(OwnerBuffer[100][0].Col, 16);
        EXPECT_EQ(ColourBuffer[100][112], Colour(51)) << "column 3071 is drawn as -1";
        EXPECT_EQ(ColourBuffer[99][112], Colour(2));
        EXPECT_EQ(ColourBuffer[99][113], Colour(0)) << "column 0 follows";
    }
}

}  // namespace
