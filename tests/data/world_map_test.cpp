// World map: loaders (file naming, movable-object stream, bad data), roof limit,
// obstacles and chunk drawing.
#include <gtest/gtest.h>

#include <cstring>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "platform/binary_file.h"
#include "platform/console.h"
#include "formats/shape_writer.h"
#include "support/temp_folder.h"
#include "support/world_tables.h"
#include "formats/world_writer.h"

namespace {

constexpr int kContainer = 400;  // tile-flag class 6
constexpr int kRegion1A = 26;    // region (2, 2)


// Every region file of one kind, all empty but the ones given.
using formats::ShapeWord;

// A movable-object file: the given raw entries, then the 256 group ends.
formats::Bytes RegFile(formats::Bytes entries)
{
    entries.insert(entries.end(), 256, 0);
    return entries;
}

void Append(formats::Bytes& out, const formats::Bytes& entry)
{
    out.push_back(uint8_t(entry.size()));
    out.insert(out.end(), entry.begin(), entry.end());
}

void WriteFixFiles(const std::string& prefix, int region, const formats::Bytes& archive)
{
    const formats::Bytes empty = formats::MakeFixRegion({});
    for (int k = 0; k < kRegionCount; ++k)
        formats::WriteFile(RegionFileName(prefix, k), k == region ? archive : empty);
}

void WriteRegFiles(const std::string& prefix, int region, const formats::Bytes& file)
{
    const formats::Bytes empty = formats::MakeRegRegion({});
    for (int k = 0; k < kRegionCount; ++k)
        formats::WriteFile(RegionFileName(prefix, k), k == region ? file : empty);
}

class WorldMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ClearWorldTables();
        VxShapes = std::make_unique<TVxShapes>();
        VxShapes->TileFlags[kContainer][1] = 6;
        std::memset(ShapeDims, 0, sizeof ShapeDims);
    }
    void TearDown() override
    {
        support::ClearWorldTables();
    }
    support::TempFolder dir_{"world_map"};
};

TEST_F(WorldMap, RegionFilesAreNamedWithTwoUpperCaseHexDigits)
{
    EXPECT_EQ(RegionFileName("P", 0), "P00");
    EXPECT_EQ(RegionFileName("P", kRegion1A), "P1A");
    EXPECT_EQ(RegionFileName("P", 143), "P8F");

    // Only the file "...1A" holds an object: it must land in region (2, 2).
    formats::FixRegion region;
    region[3 * 16 + 5].push_back({7, 9, 4, ShapeWord(300, 2)});
    WriteFixFiles(dir_.Path() + "VXIFIX", kRegion1A, formats::MakeFixRegion(region));
    LoadFixLists(dir_.Path() + "VXIFIX");
    const FixList& list = FixLists[2][2][3][5];
    ASSERT_EQ(list.Count, 1);
    EXPECT_EQ(list.Records[0].TileX(), 7);
    EXPECT_EQ(list.Records[0].TileY(), 9);
    EXPECT_EQ(list.Records[0].Lift, 4);
    EXPECT_EQ(list.Records[0].ShapeFrame, ShapeWord(300, 2));
    EXPECT_EQ(FixListAt(2 * 256 + 5 * 16 + 7, 2 * 256 + 3 * 16 + 9).Count, 1);
}

TEST_F(WorldMap, FixedEntriesKeepWholeRecordsAndReloadAfresh)
{
    // Chunk 0: 9 bytes, two whole records and one stray byte; chunk 1: 3 bytes, none.
    std::vector<formats::Bytes> entries(256);
    entries[0] = {0x12, 1, 0x2C, 0x01, 0x34, 2, 0x2D, 0x01, 0xFF};
    entries[1] = {0x12, 1, 0x2C};
    WriteFixFiles(dir_.Path() + "VXIFIX", 0, formats::MakeFlex(entries));
    LoadFixLists(dir_.Path() + "VXIFIX");
    ASSERT_EQ(FixLists[0][0][0][0].Count, 2);
    EXPECT_EQ(FixLists[0][0][0][0].Records[1].ShapeFrame, 0x012D);
    EXPECT_EQ(FixLists[0][0][0][1].Count, 0);

    // A second load sets every count afresh.
    WriteFixFiles(dir_.Path() + "VXIFIX", 0, formats::MakeFixRegion({}));
    LoadFixLists(dir_.Path() + "VXIFIX");
    EXPECT_EQ(FixLists[0][0][0][0].Count, 0);
}

TEST_F(WorldMap, FixedArchiveWithTooFewEntriesLeavesTheRestEmpty)
{
    support::AddFixedObject(8 * 16, 0, 0, 0x1234);  // stale data in chunk (8, 0), which the short archive lacks
    std::vector<formats::Bytes> entries(10);
    entries[9] = {0x00, 0, 0x2C, 0x01};
    WriteFixFiles(dir_.Path() + "VXIFIX", 0, formats::MakeFlex(entries));
    platform::ConsoleCapture console;
    LoadFixLists(dir_.Path() + "VXIFIX");
    EXPECT_EQ(FixLists[0][0][0][9].Count, 1);
    EXPECT_EQ(FixLists[0][0][0][10].Count, 0) << "no wrap back to entry 0";
    EXPECT_EQ(FixLists[0][0][0][8].Count, 0);
    EXPECT_EQ(console.Lines().size(), 1u);
}

TEST_F(WorldMap, FixedEntryThatCannotBeReadLeavesItsChunkEmpty)
{
    // Chunk (0, 0) held one object; its entry now runs past the end of the file:
    // cut 25 records in, or declaring nearly 2 GB. The load fails naming the file and
    // entry (before allocating for the entry), and the chunk must not count records
    // it never received (a roof query would read past them).
    std::vector<formats::Bytes> entries(256);
    entries[0] = formats::Bytes(400, 0x7F);
    formats::Bytes cut = formats::MakeFlex(entries);
    cut.resize(128 + 8 * 256 + 100);
    formats::Bytes huge = formats::MakeFlex(entries);
    formats::SetU32(huge, 128 + 4, 0x7FFFFFF0);
    for (const formats::Bytes& archive : {cut, huge}) {
        support::AddFixedObject(0, 0, 12, 0x1234);
        WriteFixFiles(dir_.Path() + "VXIFIX", 0, archive);
        try {
            LoadFixLists(dir_.Path() + "VXIFIX");
            ADD_FAILURE() << "the damaged entry was not reported";
        } catch (const EInOutError& e) {
            EXPECT_NE(std::string(e.what()).find("VXIFIX00: entry 0 ("), std::string::npos) << e.what();
        }
        const FixList& list = FixLists[0][0][0][0];
        EXPECT_EQ(list.Count, 0);
        EXPECT_LE(size_t(list.Count), list.Records.size());
        EXPECT_EQ(RoofLimit(0, 0, 0), 15);
    }
}

TEST_F(WorldMap, MovableStreamFilesEntriesByTheirOwnChunk)
{
    formats::Bytes entries = {1};  // a top-level length byte 1: no effect
    // 0x3A / 0x5C: chunk (3, 5), tile (10, 12); L = 10, lift in d[9].
    Append(entries, {0x3A, 0x5C, 0x2C, 0x01, 0, 0, 0, 0, 0, 0x70});
    // A container without contents (d[4] = d[5] = 0): the next entry is a real one.
    const formats::Bytes emptyBox = {0x00, 0x00, uint8_t(kContainer & 255), uint8_t(kContainer >> 8), 0, 0, 0, 0, 0, 0, 0, 0};
    Append(entries, emptyBox);
    Append(entries, {0x01, 0x00, 0x2D, 0x01, 0x30, 0});  // L = 6: lift 3 in d[4]
    // A full container (d[5] set; the writer's containers below set d[4]): contents up
    // to and including the next length byte 1 are skipped, a length byte 0 among them.
    formats::Bytes fullBox = emptyBox;
    fullBox[0] = 0x02;
    fullBox[5] = 1;
    Append(entries, fullBox);
    entries.insert(entries.end(), {3, 0x03, 0x00, 0x2E, 0, 2, 0x04, 0x00, 1});
    Append(entries, {0x05, 0x00, 0x2F, 0x01, 0x00, 0});
    const formats::Bytes file = RegFile(entries);
    WriteRegFiles(dir_.Path() + "VXIREG", kRegion1A, file);

    LoadRegLists(dir_.Path() + "VXIREG");
    const RegList& placedList = RegLists[2][2][5][3];
    ASSERT_EQ(placedList.Count, 1);
    EXPECT_EQ(placedList.Records[0].Length, 10);
    EXPECT_EQ(placedList.Records[0].Data[0], 0x3A);
    EXPECT_EQ(placedList.Records[0].Lift(), 7);
    EXPECT_EQ(&RegListAt(2 * 256 + 3 * 16 + 10, 2 * 256 + 5 * 16 + 12), &placedList);

    const RegList& row0 = RegLists[2][2][0][0];
    ASSERT_EQ(row0.Count, 4) << "two boxes and the two entries after them; contents not loaded";
    EXPECT_EQ(row0.Records[0].ShapeFrame(), kContainer);
    EXPECT_EQ(row0.Records[1].ShapeFrame(), 0x012D);
    EXPECT_EQ(row0.Records[1].Lift(), 3);
    EXPECT_EQ(row0.Records[2].ShapeFrame(), kContainer);
    EXPECT_EQ(row0.Records[3].ShapeFrame(), 0x012F);

    // A second load replaces the movable objects.
    WriteRegFiles(dir_.Path() + "VXIREG", kRegion1A, formats::MakeRegRegion({}));
    LoadRegLists(dir_.Path() + "VXIREG");
    EXPECT_EQ(RegLists[2][2][5][3].Count, 0);
    EXPECT_EQ(RegLists[2][2][0][0].Count, 0);
}

TEST_F(WorldMap, OverlongMovableEntryIsReportedAndSkipped)
{
    formats::Bytes entries;
    Append(entries, formats::Bytes(25, 0x11));
    Append(entries, {0x21, 0x00, 0x2C, 0x01, 0x00, 0x00});
    WriteRegFiles(dir_.Path() + "VXIREG", 0, RegFile(entries));
    platform::ConsoleCapture console;
    LoadRegLists(dir_.Path() + "VXIREG");
    ASSERT_EQ(console.Lines().size(), 1u);
    EXPECT_NE(console.Lines()[0].find("VXIREG00"), std::string::npos) << console.Lines()[0];
    EXPECT_EQ(RegLists[0][0][1][1].Count, 0) << "the overlong entry's bytes name chunk (1, 1)";
    ASSERT_EQ(RegLists[0][0][0][2].Count, 1);
    EXPECT_EQ(RegLists[0][0][0][2].Records[0].ShapeFrame(), 0x012C);
}

TEST_F(WorldMap, ShortFilesRaiseAndEarlierRegionsStayLoaded)
{
    // The sample world's writer: a container with contents, then a plain entry.
    formats::RegRegion region;
    region[0].push_back(formats::MovableLong(1, 1, kContainer, 0, {formats::MovableShort(1, 1, 0x0155, 0)}));
    region[0].push_back(formats::MovableShort(2, 1, 0x012C, 0));
    WriteRegFiles(dir_.Path() + "VXIREG", 0, formats::MakeRegRegion(region));
    formats::Bytes truncated(255, 0);  // one group end missing
    formats::WriteFile(RegionFileName(dir_.Path() + "VXIREG", 1), truncated);
    EXPECT_THROW(LoadRegLists(dir_.Path() + "VXIREG"), EInOutError);
    ASSERT_EQ(RegLists[0][0][0][0].Count, 2);
    EXPECT_EQ(RegLists[0][0][0][0].Records[1].ShapeFrame(), 0x012C);

    formats::WriteFile(dir_.Path() + "VXCHUNKS", formats::Bytes(1572863, 0));
    EXPECT_THROW(LoadChunkPatterns(dir_.Path() + "VXCHUNKS"), EInOutError);
    EXPECT_THROW(LoadRegionMap(dir_.Path() + "MISSING"), EInOutError);
}

TEST_F(WorldMap, ARegionMapThatEndsEarlyLeavesTheTableAsItWas)
{
    // Pattern numbers past the table in the part that is there: read straight into
    // the table they stayed unrepaired when the read failed, and the renderer and
    // Make Map indexed ChunkPatterns with them.
    std::vector<uint16_t> numbers(144 * 256, 9);
    numbers[0] = 5383;
    numbers[1] = 60000;
    formats::WriteFile(dir_.Path() + "VXMAP", formats::MakeRegionMap(numbers));
    LoadRegionMap(dir_.Path() + "VXMAP");
    EXPECT_EQ(ChunkAt(0, 0), 0);
    EXPECT_EQ(ChunkAt(40, 40), 9);

    formats::Bytes cut = formats::MakeRegionMap(numbers);
    cut.resize(cut.size() - 1);
    formats::WriteFile(dir_.Path() + "VXMAP", cut);
    EXPECT_THROW(LoadRegionMap(dir_.Path() + "VXMAP"), EInOutError);
    for (int y = 0; y < 3072; y += 16)
        for (int x = 0; x < 3072; x += 16)
            ASSERT_LT(ChunkAt(x, y), 3072) << x << ", " << y;
    EXPECT_EQ(ChunkAt(0, 0), 0) << "the table keeps what the last good load left";
    EXPECT_EQ(ChunkAt(3071, 3071), 9);
}

TEST_F(WorldMap, PatternsAndRegionMapLoadAndWrap)
{
    std::vector<formats::ChunkPattern> patterns(3072);
    patterns[77][5 * 16 + 6] = ShapeWord(160, 3);
    formats::WriteFile(dir_.Path() + "VXCHUNKS", formats::MakeChunkPatterns(patterns));
    std::vector<uint16_t> numbers(144 * 256, 0);
    numbers[143 * 256 + 15 * 16 + 15] = 77;  // last chunk of the world
    numbers[5] = 3072;                     // out of range, twice in one file
    numbers[6] = 60000;
    formats::WriteFile(dir_.Path() + "VXMAP", formats::MakeRegionMap(numbers));

    platform::ConsoleCapture console;
    LoadChunkPatterns(dir_.Path() + "VXCHUNKS");
    LoadRegionMap(dir_.Path() + "VXMAP");
    EXPECT_EQ(console.Lines().size(), 1u) << "reported once per file";
    EXPECT_EQ(ChunkAt(5 * 16, 0), 0);
    EXPECT_EQ(ChunkAt(6 * 16 + 3, 7), 0);
    EXPECT_EQ(ChunkAt(3071, 3071), 77);
    EXPECT_EQ(ChunkAt(-1, -1), 77);
    EXPECT_EQ(ChunkAt(3071 + 3072, 3060), 77);
    // Every query reduces modulo 3072, also from further away than one lap.
    EXPECT_EQ(ChunkAt(3071 + 5 * 3072, -1 - 7 * 3072), 77);
    EXPECT_EQ(ChunkAt(6 * 16 + 2 * 3072, -3 * 3072), 0);
    EXPECT_EQ(WrapWorld(-3073), 3071);
    EXPECT_EQ(WrapWorld(6144), 0);
    EXPECT_EQ(RoofLimit(100000, -100000, 0), 15);
    EXPECT_FALSE(ObstacleX(-100000, 100000));
    EXPECT_EQ(ChunkPatterns[77][5][6], ShapeWord(160, 3));
}

TEST_F(WorldMap, RoofLimitFollowsThePlayersLift)
{
    const int x = 700, y = 900;
    support::AddFixedObject(x + 3, y, 12, 0x012C);  // anywhere in the same chunk
    struct Case {
        int playerLift;
        int expected;
    };
    for (const Case c : {Case{0, 5}, Case{3, 5}, Case{5, 10}, Case{8, 10}, Case{9, 15}, Case{14, 15}})
        EXPECT_EQ(RoofLimit(x, y, c.playerLift), c.expected) << "player at lift " << c.playerLift;
    EXPECT_EQ(RoofLimit(x + 16, y, 0), 15) << "the next chunk has nothing overhead";

    support::ClearWorldTables();
    support::AddFixedObject(x, y, 6, 0x012C);
    EXPECT_EQ(RoofLimit(x, y, 0), 5);
    EXPECT_EQ(RoofLimit(x, y, 4), 15);
    support::AddFixedObject(x, y, 4, 0x012C);
    EXPECT_EQ(RoofLimit(x - 3072, y + 3072, 0), 5) << "positions wrap";
}

TEST_F(WorldMap, ObstaclesComeFromPatternFootprints)
{
    // World column 3071 lies in region 11, chunk 15; its pattern holds shape 150
    // in cell (15, 3), two tiles wide, blocking along x only.
    RegionMap[11][0][15] = 9;
    ChunkPatterns[9][3][15] = ShapeWord(150, 1);
    VxShapes->TileFlags[150][2] = 1;  // XTiles - 1 = 1
    ShapeDims[0][0] = 1;
    EXPECT_TRUE(ObstacleX(3071, 3));
    EXPECT_TRUE(ObstacleX(-1, 3)) << "wraps to column 3071";
    EXPECT_TRUE(ObstacleX(3070, 3 + 3072)) << "the footprint reaches left";
    EXPECT_FALSE(ObstacleX(3069, 3));
    EXPECT_FALSE(ObstacleX(3071, 2)) << "one tile deep";
    EXPECT_FALSE(ObstacleY(3071, 3));
    ShapeDims[0][1] = 1;
    EXPECT_TRUE(ObstacleY(-2, 3));
    EXPECT_FALSE(ObstacleX(0, 3)) << "footprints do not reach into the next chunk";
}

TEST_F(WorldMap, DrawChunkDrawsGroundFirstThenObjects)
{
    for (int i = 0; i < 256; ++i)
        ColourTable[i] = 0x00100000u + uint32_t(i);
    std::memset(VxShapes->GroundTiles[3], 3, 64);
    // Shape 150: one raw row of 16 pixels of index 9 ending at its hot spot's
    // right neighbour tile, so it covers cell (1, 0)'s bottom row.
    formats::Frame frame;
    formats::Span span;
    span.x = -7;
    span.raw = formats::Bytes(16, 9);
    frame.spans.push_back(span);
    const formats::Bytes shape = formats::MakeShape({frame});
    VxShapes->StoreShape(150, shape.data(), int32_t(shape.size()), false);

    ChunkPatterns[40][0][0] = ShapeWord(150, 0);
    ChunkPatterns[40][0][1] = ShapeWord(3, 0);  // after the object in cell order
    ChunkPatterns[40][15][15] = ShapeWord(3, 0);
    std::memset(ColourBuffer, 0, sizeof ColourBuffer);
    ClearOwners();
    DrawChunk(200, 150, 40);

    // Cell (0, 0) has its hot spot at (88, 38), cell (1, 0) at (96, 38).
    EXPECT_EQ(ColourBuffer[38][96], 0x00100009u) << "the object is drawn over the later ground cell";
    EXPECT_EQ(ColourBuffer[37][96], 0x00100003u);
    EXPECT_EQ(ColourBuffer[38][81], 0x00100009u);
    EXPECT_EQ(ColourBuffer[38][80], 0u) << "left of the chunk";
    EXPECT_EQ(ColourBuffer[37][88], 0u) << "an object's cell gets no ground";
    EXPECT_EQ(OwnerBuffer[38][96].Row, 0) << "an all-zero box sets no owner";
    // The last cell's hot spot is at (208, 158).
    EXPECT_EQ(ColourBuffer[158][208], 0x00100003u);
    EXPECT_EQ(ColourBuffer[151][201], 0x00100003u);
    EXPECT_EQ(ColourBuffer[159][208], 0u);
    EXPECT_THROW(DrawChunk(200, 150, 3072), std::out_of_range);
}

}  // namespace
