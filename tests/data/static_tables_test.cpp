// Palette, colour cycling, tile-flag and shape-dimension queries, and the
// loading of a whole set of static files.
#include <gtest/gtest.h>

#include "data/static_tables.h"
#include "platform/binary_file.h"
#include "platform/console.h"
#include "platform/game_path.h"
#include "support/mini_game.h"
#include "support/temp_folder.h"

TEST(StaticTables, PaletteIsScaledIntoTheColourTable)
{
    support::TempFolder dir("palette");
    support::WriteMiniGame(dir.Path());
    // Entry 0 becomes (63, 32, 0) on disk.
    formats::Bytes palette(768, 0);
    palette[0] = 63;
    palette[1] = 32;
    formats::WriteFile(dir.Path() + "STATIC/PALETTES.FLX", formats::MakeFlex({palette}));
    LoadStaticData(dir.Path());
    EXPECT_EQ(ColourTable[0], 0x00FC8000u);
    EXPECT_EQ(VxShapes->Palette[0][0], 252);
    EXPECT_EQ(VxShapes->Palette[0][1], 128);
}

TEST(StaticTables, CyclePaletteRotatesEachRangeAndNothingElse)
{
    for (int i = 0; i < 256; ++i)
        ColourTable[i] = uint32_t(i);
    CyclePalette();
    EXPECT_EQ(ColourTable[225], 224u);
    EXPECT_EQ(ColourTable[224], 231u);
    EXPECT_EQ(ColourTable[232], 239u);
    EXPECT_EQ(ColourTable[240], 243u);
    EXPECT_EQ(ColourTable[244], 247u);
    EXPECT_EQ(ColourTable[248], 250u);
    EXPECT_EQ(ColourTable[223], 223u);
    EXPECT_EQ(ColourTable[251], 251u);
    for (int call = 2; call <= 8; ++call) {
        CyclePalette();
        if (call % 3 == 0) {
            EXPECT_EQ(ColourTable[248], 248u) << "248-250 repeats every three calls";
        }
        if (call == 4) {
            EXPECT_EQ(ColourTable[240], 240u) << "a range of four repeats every four calls";
        }
    }
    for (int i = 224; i < 240; ++i)
        EXPECT_EQ(ColourTable[i], uint32_t(i)) << "eight calls bring the ranges of eight back";
}

TEST(StaticTables, TileFlagAndDimensionQueries)
{
    TVxShapes shapes;
    shapes.TileFlags[300][2] = 0x1A;
    shapes.TileFlags[300][0] = (3 << 5) | 8 | 4;
    shapes.TileFlags[301][1] = 6;
    EXPECT_EQ(shapes.ExtentX(300), -2);
    EXPECT_EQ(shapes.ExtentY(300), -3);
    EXPECT_EQ(shapes.ExtentX(300 | (5 << 10)), -2) << "frame bits of a shape-and-frame word are ignored";
    EXPECT_EQ(shapes.ShapeHeight(300), 3);
    EXPECT_TRUE(shapes.IsAnimated(300));
    EXPECT_TRUE(shapes.IsBoxOrdered(300));
    EXPECT_FALSE(shapes.IsContainerShape(300));
    EXPECT_TRUE(shapes.IsContainerShape(301));

    ShapeDims[0][0] = 1;  // shape 150 blocks along x
    ShapeDims[1][1] = 1;  // shape 151 blocks along y
    EXPECT_TRUE(ShapeObstacleX(150));
    EXPECT_FALSE(ShapeObstacleY(150));
    EXPECT_TRUE(ShapeObstacleY(151));
    EXPECT_FALSE(ShapeObstacleX(149));
    ShapeDims[0][0] = ShapeDims[1][1] = 0;
}

TEST(StaticTables, LoadsAWholeFolderInOrderWithLowerCaseNames)
{
    support::TempFolder dir("load");
    support::MiniGame game;
    game.lowerCaseNames = true;
    support::WriteMiniGame(dir.Path(), game);
    platform::ConsoleCapture console;
    std::vector<int> steps;
    LoadStaticData(dir.Path(), [&](int step) { steps.push_back(step); });
    LoadInterfaceShapes(dir.Path());
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(console.Lines(),
              (std::vector<std::string>{"opened " + dir.Path() + "STATIC\\SHAPES.VGA count=160",
                                        "opened " + dir.Path() + "STATIC\\FONTS.VGA count=5",
                                        "opened " + dir.Path() + "STATIC\\GUMPS.VGA count=55"}));
    EXPECT_EQ(VxShapes->NextCharacterShape(150), 155);
    EXPECT_EQ(ColourTransforms[3][1], 1 ^ 3);
    EXPECT_EQ(VxShapes->FrameCount(VxShapes->PointerSlot), 32);
}

TEST(StaticTables, ShortTileFlagFileStopsLoadingNamingTheFile)
{
    support::TempFolder dir("shorttfa");
    support::MiniGame game;
    game.tfaBytes = 3000;
    support::WriteMiniGame(dir.Path(), game);
    try {
        LoadStaticData(dir.Path());
        FAIL() << "a short TFA.DAT was accepted";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), dir.Path() + "STATIC" + platform::kSeparator + "TFA.DAT: expected 3072 bytes, got 3000");
    }
}
