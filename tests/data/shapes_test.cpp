// Loading shape archives into slots: numbering, limits, frame counting and
// the load-time check of frame data.
#include <gtest/gtest.h>

#include "data/shapes.h"
#include "platform/binary_file.h"
#include "platform/console.h"
#include "support/mini_game.h"
#include "formats/shape_writer.h"
#include "support/temp_folder.h"

using formats::Bytes;

namespace {

Bytes GroundTile(uint8_t colour) { return formats::MakeGroundTile({Bytes(64, colour)}); }

std::string Write(const support::TempFolder& dir, const std::string& name, const Bytes& bytes)
{
    formats::WriteFile(dir.Path() + name, bytes);
    return dir.Path() + name;
}

// The first u32 of a shape's frame-0 header, written over the shape bytes.
Bytes WithFirstHeaderValue(Bytes shape, uint32_t value)
{
    const uint32_t frame0 = uint32_t(shape[4]) | uint32_t(shape[5]) << 8;
    formats::SetU32(shape, frame0, value);
    return shape;
}

}  // namespace

TEST(Shapes, SlotsAreNumberedOverNonEmptyEntriesOnly)
{
    support::TempFolder dir("slots");
    std::vector<Bytes> entries;
    for (int i = 0; i < 7; ++i)
        entries.push_back(GroundTile(uint8_t(i + 1)));
    entries.push_back({});                // entry 7 is empty
    entries.push_back(GroundTile(42));    // entry 8 takes slot 7
    platform::ConsoleCapture console;
    const std::string path = Write(dir, "SHAPES.VGA", formats::MakeFlex(entries));
    TVxShapes shapes(path);
    EXPECT_EQ(shapes.ShapeCount, 8);
    EXPECT_EQ(shapes.GroundTileCount, 8);
    EXPECT_EQ(shapes.GroundTiles[7][0], 42);
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{"opened " + path + " count=9"}));
    EXPECT_TRUE(ShapesLoaded);
}

TEST(Shapes, OversizedEntryIsReportedAndTakesNoSlot)
{
    support::TempFolder dir("oversized");
    Bytes big(65541, 1);
    const std::string path =
        Write(dir, "SHAPES.VGA", formats::MakeFlex({GroundTile(1), big, support::SimpleShape(1, 3, 5)}));
    platform::ConsoleCapture console;
    TVxShapes shapes(path);
    EXPECT_EQ(shapes.ShapeCount, 2);
    EXPECT_EQ(console.CountStartingWith("entry# 1 is 65541"), 1);
    EXPECT_EQ(shapes.Shapes[1].length, int32_t(support::SimpleShape(1, 3, 5).size()));
}

TEST(Shapes, SlotTableOverflowsAfter1501Slots)
{
    support::TempFolder dir("overflow");
    std::vector<Bytes> entries(1502, support::SimpleShape(1, 1, 9));
    const std::string path = Write(dir, "SHAPES.VGA", formats::MakeFlex(entries));
    platform::ConsoleCapture console;
    TVxShapes shapes(path);
    EXPECT_EQ(shapes.ShapeCount, 1501);
    EXPECT_EQ(console.CountStartingWith("not enough MAXSHAPENUM"), 1);
    EXPECT_GT(shapes.Shapes[1500].length, 0);
    EXPECT_EQ(shapes.FrameCount(1500), 1);
}

TEST(Shapes, FrameCountEndsAtFirstValueThatCannotBeAnOffset)
{
    support::TempFolder dir("frames");
    std::vector<Bytes> entries(150, GroundTile(3));
    const Bytes three = support::SimpleShape(3, 4, 7);
    entries.push_back(three);                               // slot 150: 3 frames
    entries.push_back(WithFirstHeaderValue(three, 0));      // header begins 0, 0: still 3
    entries.push_back(WithFirstHeaderValue(three, 0xFFFF)); // above length - 4: still 3
    // A header value that looks like a valid offset extends the count by one.
    entries.push_back(WithFirstHeaderValue(three, 16));
    platform::ConsoleCapture console;
    TVxShapes shapes(Write(dir, "SHAPES.VGA", formats::MakeFlex(entries)));
    EXPECT_EQ(shapes.FrameCount(150), 3);
    EXPECT_EQ(shapes.FrameCount(151), 3);
    EXPECT_EQ(shapes.FrameCount(152), 3);
    EXPECT_EQ(shapes.FrameCount(153), 4);
    EXPECT_EQ(shapes.FrameCount(0), 0) << "ground tiles take no run-length frame count";
}

TEST(Shapes, FontsGumpsAndPointerFollowTheWorldShapes)
{
    support::TempFolder dir("iface");
    support::MiniGame game;
    support::WriteMiniGame(dir.Path(), game);
    platform::ConsoleCapture console;
    TVxShapes shapes(dir.Path() + "STATIC\\SHAPES.VGA");
    shapes.LoadFonts(dir.Path() + "STATIC\\FONTS.VGA");
    shapes.LoadGumps(dir.Path() + "STATIC\\GUMPS.VGA");
    shapes.LoadPointers(dir.Path() + "STATIC\\POINTERS.SHP");

    EXPECT_EQ(shapes.ShapeCount, 160);
    EXPECT_EQ(shapes.GumpBase, 165);
    EXPECT_EQ(shapes.PointerSlot, 220);
    EXPECT_EQ(shapes.FrameCount(shapes.ShapeCount), 128) << "font 1 is slot ShapeCount";
    EXPECT_EQ(shapes.FrameCount(shapes.GumpBase), 1) << "gump 0 is slot GumpBase";
    EXPECT_EQ(shapes.Shapes[shapes.GumpBase].data[4 + 8 + 6], 30) << "gump 0's first pixel";
    EXPECT_EQ(shapes.FrameCount(shapes.PointerSlot), 32);
    EXPECT_EQ(console.CountStartingWith("opened "), 3) << "the pointer load writes no line";
    EXPECT_EQ(console.Lines().size(), 3u);
}

TEST(Shapes, GumpsGetOneFrameEvenWithMore)
{
    support::TempFolder dir("gumps");
    TVxShapes shapes;
    shapes.LoadGumps(Write(dir, "GUMPS.VGA", formats::MakeFlex({support::SimpleShape(4, 2, 1)})));
    EXPECT_EQ(shapes.FrameCount(0), 1);
    EXPECT_EQ(shapes.PointerSlot, 1);
}

TEST(Shapes, DamagedFrameIsRejectedAtLoadWithoutHarmingOthers)
{
    support::TempFolder dir("corrupt");
    std::vector<Bytes> entries(150, GroundTile(3));
    entries.push_back(support::SimpleShape(2, 4, 7));
    Bytes broken = support::SimpleShape(3, 4, 7);
    // Frame 1's span claims 100 pixels while the shape holds 4.
    const uint32_t frame1 = uint32_t(broken[8]) | uint32_t(broken[9]) << 8;
    broken[frame1 + 8] = uint8_t(100 << 1);
    entries.push_back(broken);
    Bytes badRun = formats::MakeShape({formats::Frame{{0, -1, 0, 0}, {formats::Span{0, 0, true, {}, {{false, {1, 2}, 2}}}}}});
    // Turn the literal run of 2 into a run of 0: the span's runs now reach into
    // the frame's end marker and past the shape.
    badRun[4 + 4 + 8 + 6] = 0;
    entries.push_back(badRun);
    entries.push_back(support::SimpleShape(1, 4, 7));

    platform::ConsoleCapture console;
    TVxShapes shapes(Write(dir, "SHAPES.VGA", formats::MakeFlex(entries)));
    EXPECT_TRUE(shapes.FrameUsable(150, 0));
    EXPECT_TRUE(shapes.FrameUsable(150, 1));
    EXPECT_TRUE(shapes.FrameUsable(151, 0));
    EXPECT_FALSE(shapes.FrameUsable(151, 1));
    EXPECT_TRUE(shapes.FrameUsable(151, 2));
    EXPECT_FALSE(shapes.FrameUsable(152, 0));
    EXPECT_TRUE(shapes.FrameUsable(153, 0));
    EXPECT_EQ(shapes.FrameCount(153), 1);
    const auto lines = console.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("slot 151: frame 1 runs past the end of the shape"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("slot 152: frame 0 runs past the end of the shape"), std::string::npos) << lines[2];
}

TEST(Shapes, RunsOfLengthZeroAreValidData)
{
    // A span of 3 pixels: an empty literal run (byte 0), a literal run of 2, an
    // empty colour run (bytes 1, index), a colour run of 1. The runs add up.
    Bytes shape = formats::MakeShape({formats::Frame{{0, -1, 0, 0}, {formats::Span{0, 0, true, {}, {{false, {7, 8}, 2}, {true, {9}, 1}}}}}});
    const size_t runs = 4 + 4 + 8 + 6;
    shape.insert(shape.begin() + runs + 3, {1, 5});  // before the colour run
    shape.insert(shape.begin() + runs, 0);            // before the literal run
    formats::SetU32(shape, 0, uint32_t(shape.size()));
    platform::ConsoleCapture console;
    TVxShapes shapes;
    shapes.StoreShape(150, shape.data(), int32_t(shape.size()), false);
    EXPECT_EQ(shapes.FrameCount(150), 1);
    EXPECT_TRUE(shapes.FrameUsable(150, 0));
    EXPECT_TRUE(console.Lines().empty()) << console.Lines()[0];
}

TEST(Shapes, ShapeTooShortForAnOffsetTableStillCountsOneFrame)
{
    // Four bytes that declare a length of 4: a run-length shape with no table.
    // The count never falls below one; the load check rejects that frame.
    support::TempFolder dir("tiny");
    std::vector<Bytes> entries(150, GroundTile(3));
    const Bytes tiny = {4, 0, 0, 0};
    entries.push_back(tiny);
    platform::ConsoleCapture console;
    TVxShapes shapes(Write(dir, "SHAPES.VGA", formats::MakeFlex(entries)));
    shapes.GumpBase = shapes.ShapeCount;
    shapes.LoadGumps(Write(dir, "GUMPS.VGA", formats::MakeFlex({tiny})));
    EXPECT_EQ(shapes.FrameCount(150), 1);
    EXPECT_EQ(shapes.FrameCount(shapes.GumpBase), 1);
    EXPECT_FALSE(shapes.FrameUsable(150, 0));
    EXPECT_FALSE(shapes.FrameUsable(shapes.GumpBase, 0));
    EXPECT_EQ(console.CountStartingWith(dir.Path()), 2) << "each bad frame is reported once";
}

TEST(Shapes, GroundTileStoreLimitsAreKept)
{
    support::TempFolder dir("ground");
    std::vector<Bytes> entries;
    entries.push_back(Bytes(2048 + 64, 5));  // 33 frames: only 32 fit
    for (int i = 1; i < 151; ++i)
        entries.push_back(GroundTile(uint8_t(i)));  // the 151st ground tile does not fit
    platform::ConsoleCapture console;
    TVxShapes shapes(Write(dir, "SHAPES.VGA", formats::MakeFlex(entries)));
    EXPECT_EQ(shapes.GroundTileCount, 150);
    EXPECT_EQ(shapes.ShapeCount, 151) << "a skipped ground tile still uses its slot";
    EXPECT_EQ(shapes.GroundTiles[0][2047], 5);
    EXPECT_EQ(shapes.GroundTiles[149][0], 149);
    EXPECT_EQ(console.CountStartingWith(dir.Path()), 2);
}

TEST(Shapes, PointerFileBeyondItsLimitsIsAnError)
{
    support::TempFolder dir("pointer");
    TVxShapes shapes;
    Bytes big = support::SimpleShape(1, 4, 1);
    big.resize(65541, 0);
    formats::SetU32(big, 0, 65541);
    EXPECT_THROW(shapes.LoadPointers(Write(dir, "BIG.SHP", big)), EInOutError);
    Bytes lying = support::SimpleShape(1, 4, 1);
    formats::SetU32(lying, 0, 5000);  // declares more bytes than the file has
    EXPECT_THROW(shapes.LoadPointers(Write(dir, "LIE.SHP", lying)), EInOutError);
}

TEST(Shapes, CharacterSearchWrapsAndEndsWithoutCharacters)
{
    TVxShapes shapes;
    shapes.ShapeCount = 400;
    shapes.TileFlags[160][1] = 12;
    shapes.TileFlags[390][1] = 13 | 128;  // the top bit is not part of the class
    EXPECT_EQ(shapes.NextCharacterShape(160), 390);
    EXPECT_EQ(shapes.NextCharacterShape(399), 160) << "continues from 150 after ShapeCount - 1";
    EXPECT_EQ(shapes.PreviousCharacterShape(160), 390);
    EXPECT_EQ(shapes.PreviousCharacterShape(390), 160);

    TVxShapes none;
    none.ShapeCount = 300;
    EXPECT_EQ(none.NextCharacterShape(200), 200);
    EXPECT_EQ(none.PreviousCharacterShape(200), 200);
    EXPECT_EQ(none.NextCharacterShape(0), 0);
    EXPECT_EQ(none.PreviousCharacterShape(65535), 65535);
}

TEST(Shapes, CharacterSearchFromOutsideTheSlotsStillLooksAtEverySlot)
{
    // Started below 150 or past the last shape, the search enters the slots at the
    // end it moves from and still looks at each of them.
    TVxShapes shapes;
    shapes.ShapeCount = 1000;
    shapes.TileFlags[900][1] = 12;
    for (const uint16_t from : {0, 1, 149, 1000, 1001, 5000, 65535}) {
        EXPECT_EQ(shapes.NextCharacterShape(from), 900) << from;
        EXPECT_EQ(shapes.PreviousCharacterShape(from), 900) << from;
    }
    shapes.TileFlags[900][1] = 0;
    shapes.TileFlags[150][1] = 13;
    shapes.TileFlags[999][1] = 12;
    EXPECT_EQ(shapes.NextCharacterShape(3), 150);
    EXPECT_EQ(shapes.PreviousCharacterShape(3), 999);
    EXPECT_EQ(shapes.NextCharacterShape(1200), 150);
    EXPECT_EQ(shapes.PreviousCharacterShape(1200), 999);

    // Slots past ShapeCount are never offered, even where their tile flags (read
    // modulo 1024) say character.
    TVxShapes few;
    few.ShapeCount = 400;
    few.TileFlags[200][1] = 12;
    few.TileFlags[1023][1] = 12;
    EXPECT_EQ(few.PreviousCharacterShape(0), 200);
    EXPECT_EQ(few.NextCharacterShape(1022), 200);
}
