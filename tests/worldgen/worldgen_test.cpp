// The sample world generator: the folder it writes loads through the
// project's own loaders without a warning, holds what it was meant to hold, and
// is the same for the same seed. The folder is generated once for the suite.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <unistd.h>

#include "characters.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "interface_art.h"
#include "landscape.h"
#include "object_art.h"
#include "platform/console.h"
#include "platform/game_path.h"
#include "support/world_reader.h"
#include "world_generator.h"

namespace fs = std::filesystem;
using formats::Bytes;

namespace {

std::string FreshFolder(const std::string& name)
{
    const fs::path p = fs::temp_directory_path() / ("vx_worldgen_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(p);
    return p.string();
}

class SampleWorld : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new std::string(FreshFolder("seed1"));
        summary_ = worldgen::GenerateWorld(*folder_, 1, "EMBER VALE", [](const std::string& line) { progress_.push_back(line); });
        catalogue_ = new worldgen::ShapeCatalogue(worldgen::MakeObjectShapes());
    }
    static void TearDownTestSuite()
    {
        fs::remove_all(*folder_);
        delete folder_;
        delete catalogue_;
        VxShapes.reset();
    }

    static std::string Static(const std::string& name) { return (fs::path(*folder_) / "STATIC" / name).string(); }
    static std::string Gamedat(const std::string& name) { return (fs::path(*folder_) / "GAMEDAT" / name).string(); }
    static bool IsContainer(int shape) { return (catalogue_->shapes[size_t(shape - 150)].flags[1] & 127) == 6; }

    // Loads shapes, tables, fonts, gumps and pointer and returns every console line.
    static std::vector<std::string> LoadAll()
    {
        platform::ConsoleCapture console;
        const std::string game = platform::WithTrailingSeparator(*folder_);
        LoadStaticData(game);
        LoadInterfaceShapes(game);
        return console.Lines();
    }

    static inline std::string* folder_ = nullptr;
    static inline worldgen::WorldSummary summary_;
    static inline worldgen::ShapeCatalogue* catalogue_ = nullptr;
    static inline std::vector<std::string> progress_;
};

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The first header value (the advance) of a frame of a loaded slot.
int16_t FrameAdvance(int slot, int frame)
{
    const ShapeRecord& r = VxShapes->Shapes[slot];
    const uint32_t offset = U32(r.data.get() + 4 * frame);
    return int16_t(r.data[offset - 4] | r.data[offset - 3] << 8);
}

}  // namespace

TEST_F(SampleWorld, LoadsThroughOwnLoadersWithoutAWarning)
{
    const std::vector<std::string> lines = LoadAll();
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("opened ", 0), 0u) << line;
    EXPECT_EQ(VxShapes->ShapeCount, summary_.shapeCount);
    EXPECT_EQ(VxShapes->ShapeCount, catalogue_->Count());
    EXPECT_EQ(VxShapes->GroundTileCount, 150);
    EXPECT_EQ(VxShapes->GumpBase, VxShapes->ShapeCount + worldgen::kFontCount);
    EXPECT_EQ(VxShapes->PointerSlot, VxShapes->GumpBase + worldgen::kGumpCount);
    EXPECT_EQ(VxShapes->FrameCount(VxShapes->PointerSlot), worldgen::kPointerFrames);
    EXPECT_GT(VxShapes->ShapeCount, 607);
    ASSERT_EQ(int(progress_.size()), worldgen::kGenerateSteps);  // a progress bar's range
    EXPECT_EQ(progress_.back(), "done");
}

TEST_F(SampleWorld, EveryFrameIsUsableAndCountedAsBuilt)
{
    LoadAll();
    for (int slot = 150; slot < VxShapes->ShapeCount; ++slot) {
        const worldgen::ShapeArt& art = catalogue_->shapes[size_t(slot - 150)];
        ASSERT_EQ(VxShapes->FrameCount(slot), art.frames.size()) << "shape " << slot << " " << art.name;
    }
    for (int font = 0; font < worldgen::kFontCount; ++font)
        EXPECT_EQ(VxShapes->FrameCount(VxShapes->ShapeCount + font), worldgen::kFontFrames) << "font " << font + 1;
    for (int slot = 150; slot <= VxShapes->PointerSlot; ++slot)
        for (int f = 0; f < VxShapes->FrameCount(slot); ++f)
            ASSERT_TRUE(VxShapes->FrameUsable(slot, f)) << "slot " << slot << " frame " << f;
    // No ground tile may look like a run-length shape.
    const std::vector<Bytes> entries = support::FlexEntries(support::ReadFile(Static("SHAPES.VGA")));
    for (int g = 0; g < 150; ++g)
        EXPECT_NE(U32(entries[size_t(g)].data()), entries[size_t(g)].size()) << "ground " << g;
}

TEST_F(SampleWorld, FontsHaveAdvancesAndTheSpeechLogFontFitsSixPixelLines)
{
    LoadAll();
    for (int font = 1; font <= worldgen::kFontCount; ++font)
        for (int code = 32; code <= 126; ++code)
            ASSERT_GT(FrameAdvance(VxShapes->ShapeCount + font - 1, code), 0) << "font " << font << " code " << code;
    // Font 5's glyphs stand within five rows at and above the baseline.
    const ShapeRecord& small = VxShapes->Shapes[VxShapes->ShapeCount + 4];
    for (int code = 33; code <= 126; ++code) {
        uint32_t p = U32(small.data.get() + 4 * code) - 4 + 8;
        for (uint16_t h; (h = uint16_t(small.data[p] | small.data[p + 1] << 8)) != 0;) {
            const int16_t y = int16_t(small.data[p + 4] | small.data[p + 5] << 8);
            EXPECT_TRUE(y >= -4 && y <= 0) << "code " << code << " row " << y;
            const int length = h >> 1;
            p += 6;
            if (h & 1)
                for (int done = 0; done < length; p += (small.data[p] & 1) ? 2 : 1 + (small.data[p] >> 1))
                    done += small.data[p] >> 1;
            else
                p += uint32_t(length);
        }
    }
}

TEST_F(SampleWorld, TablesHoldTheIntendedCharactersContainersAndAnimations)
{
    LoadAll();
    const worldgen::ObjectIds& ids = catalogue_->ids;
    // The character search finds exactly the figures that were built.
    std::set<int> found;
    uint16_t n = VxShapes->NextCharacterShape(149);
    for (int i = 0; i < 100 && !found.count(n); ++i, n = VxShapes->NextCharacterShape(n))
        found.insert(n);
    EXPECT_EQ(found, std::set<int>(ids.characters.begin(), ids.characters.end()));
    EXPECT_GE(found.size(), 8u);
    EXPECT_GT(VxShapes->NextCharacterShape(300), 300);
    for (int c : ids.characters)
        EXPECT_GE(VxShapes->FrameCount(c), worldgen::kCharacterFrames) << c;
    for (int c : {ids.barrel, ids.crate, ids.chest, ids.sack})
        EXPECT_TRUE(VxShapes->IsContainerShape(c)) << c;
    for (int a : {ids.flag, ids.torch, ids.campfire, ids.fountain, ids.windmill, ids.lamp}) {
        EXPECT_TRUE(VxShapes->IsAnimated(a)) << a;
        EXPECT_GT(VxShapes->FrameCount(a), 1) << a;
    }
    for (int f : {ids.carpetRed, ids.carpetBlue, ids.rug, ids.floorPanel})
        EXPECT_TRUE(VxShapes->IsBoxOrdered(f)) << f;
    EXPECT_TRUE(ShapeObstacleX(ids.stoneWall) && ShapeObstacleY(ids.stoneWall));
    EXPECT_FALSE(ShapeObstacleX(ids.doorSouth) || ShapeObstacleY(ids.doorSouth));
    EXPECT_EQ(VxShapes->ShapeHeight(ids.stoneWall), 5);
    EXPECT_EQ(VxShapes->ExtentX(ids.windmill), -2);
    // Cycling ranges animate: each holds more than one colour.
    for (int first : {224, 232, 240, 244, 248})
        EXPECT_NE(ColourTable[first], ColourTable[first + 1]) << first;
}

TEST_F(SampleWorld, WorldFilesHaveTheirLayoutsAndATownAtTheStart)
{
    LoadAll();
    const Bytes chunks = support::ReadFile(Static("VXCHUNKS"));
    const Bytes map = support::ReadFile(Static("VXMAP"));
    ASSERT_EQ(chunks.size(), 3072u * 512);
    ASSERT_EQ(map.size(), 144u * 512);
    const std::vector<Bytes> shapes = support::FlexEntries(support::ReadFile(Static("SHAPES.VGA")));
    std::set<int> used;
    for (size_t i = 0; i < map.size(); i += 2) {
        const int pattern = map[i] | map[i + 1] << 8;
        ASSERT_LT(pattern, 3072);
        used.insert(pattern);
    }
    EXPECT_GT(used.size(), 500u);  // patterns are shared, but the land is varied
    for (size_t i = 0; i < chunks.size(); i += 2) {
        const int word = chunks[i] | chunks[i + 1] << 8;
        const int shape = word & 1023, frame = (word >> 10) & 31;
        ASSERT_LT(shape, VxShapes->ShapeCount);
        const int frames = shape < 150 ? int(shapes[size_t(shape)].size() / 64) : VxShapes->FrameCount(shape);
        ASSERT_LT(frame, frames) << "pattern " << i / 512 << " shape " << shape;
    }
    // The start tile is open ground, and its chunk lies in a town of walled buildings.
    auto wordAt = [&](int x, int y) {
        const int region = (y / 256) * 12 + x / 256;
        const size_t m = size_t(region * 256 + ((y / 16) % 16) * 16 + (x / 16) % 16) * 2;
        const int pattern = map[m] | map[m + 1] << 8;
        const size_t c = size_t(pattern) * 512 + size_t((y % 16) * 16 + x % 16) * 2;
        return chunks[c] | chunks[c + 1] << 8;
    };
    EXPECT_LT(wordAt(worldgen::kTownCentreX, worldgen::kTownCentreY) & 1023, 150);
    int walls = 0;
    for (int y = worldgen::kTownY0 * 16; y < (worldgen::kTownY1 + 1) * 16; ++y)
        for (int x = worldgen::kTownX0 * 16; x < (worldgen::kTownX1 + 1) * 16; ++x)
            walls += ShapeObstacleX(wordAt(x, y) & 1023) && VxShapes->ShapeHeight(wordAt(x, y) & 1023) == 5;
    EXPECT_GT(walls, 300);

    // Fixed objects: every archive whole; roofs at lift 5 and up in the town, a tower top at 10 or more.
    int roofLifts = 0, towerTops = 0, fixedTotal = 0;
    for (int r = 0; r < 144; ++r) {
        const formats::FixRegion fix = support::ParseFixRegion(support::ReadFile(formats::RegionFileName(Static("VXIFIX"), r)));
        for (const auto& list : fix)
            for (const formats::FixedObject& o : list) {
                ++fixedTotal;
                ASSERT_LT(o.word & 1023, VxShapes->ShapeCount);
                ASSERT_LT((o.word >> 10) & 31, VxShapes->FrameCount(o.word & 1023));
                roofLifts += o.lift >= 5;
                towerTops += o.lift >= 10 && (o.word & 1023) == catalogue_->ids.battlement;
            }
    }
    EXPECT_EQ(fixedTotal, summary_.fixedObjects);
    EXPECT_GT(roofLifts, 500);
    EXPECT_GT(towerTops, 0);
}

TEST_F(SampleWorld, MovableObjectsAndInitialStateMatch)
{
    const auto initial = support::ParseInitGame(support::ReadFile(Static("INITGAME.DAT")));
    ASSERT_EQ(initial.size(), 145u);
    const Bytes identity = initial.at("IDENTITY");
    EXPECT_EQ(std::string(identity.begin(), identity.end()), "EMBER VALE\r\n");
    int shortForm = 0, longForm = 0, filledContainers = 0, total = 0;
    std::set<int> hidden;
    for (int r = 0; r < 144; ++r) {
        const std::string name = formats::RegionFileName("VXIREG", r);
        const Bytes file = support::ReadFile(Gamedat(name));
        ASSERT_EQ(initial.at(name), file) << name;
        const formats::RegRegion reg = support::ParseRegRegion(file, IsContainer);
        for (int chunk = 0; chunk < 256; ++chunk)
            for (const formats::MovableObject& o : reg[size_t(chunk)]) {
                ++total;
                shortForm += o.data.size() == 6;
                longForm += o.data.size() == 12;
                filledContainers += !o.contents.empty();
                const int shape = support::MovableShape(o);
                ASSERT_LT(shape, catalogue_->Count());
                if (TVxShapes::IsHiddenShape(shape)) {
                    hidden.insert(shape);
                    // Somewhere visible: on the town's plaza.
                    const int x = (r % 12) * 256 + o.data[0], y = (r / 12) * 256 + o.data[1];
                    EXPECT_TRUE(worldgen::InTown(x / 16, y / 16)) << x << "," << y;
                }
            }
    }
    EXPECT_EQ(total, summary_.movableObjects);
    EXPECT_GT(shortForm, 0);
    EXPECT_GT(longForm, 0);
    EXPECT_GT(filledContainers, 10);
    EXPECT_EQ(hidden, (std::set<int>{200, 275, 607}));
}

TEST_F(SampleWorld, SameSeedSameBytesOtherSeedOtherWorld)
{
    const std::string again = FreshFolder("again"), other = FreshFolder("seed2");
    worldgen::GenerateWorld(again, 1, "EMBER VALE");
    worldgen::GenerateWorld(other, 2, "ASH HOLLOW");
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(*folder_)) {
        if (!entry.is_regular_file())
            continue;
        const fs::path rel = fs::relative(entry.path(), *folder_);
        ASSERT_EQ(support::ReadFile(entry.path().string()), support::ReadFile((fs::path(again) / rel).string())) << rel;
        files.insert(rel.generic_string());
    }
    EXPECT_EQ(files.size(), 11u + 144 + 144);
    for (const char* name : {"SHAPES.VGA", "FONTS.VGA", "GUMPS.VGA", "POINTERS.SHP", "PALETTES.FLX", "XFORM.TBL", "TFA.DAT",
                             "SHPDIMS.DAT", "VXCHUNKS", "VXMAP", "INITGAME.DAT", "VXIFIX00", "VXIFIX8F"})
        EXPECT_TRUE(files.count(std::string("STATIC/") + name)) << name;
    EXPECT_TRUE(files.count("GAMEDAT/VXIREG00") && files.count("GAMEDAT/VXIREG8F"));
    EXPECT_NE(support::ReadFile((fs::path(other) / "STATIC" / "VXMAP").string()), support::ReadFile(Static("VXMAP")));
    EXPECT_NE(support::ReadFile((fs::path(other) / "STATIC" / "VXCHUNKS").string()), support::ReadFile(Static("VXCHUNKS")));
    const auto initial = support::ParseInitGame(support::ReadFile((fs::path(other) / "STATIC" / "INITGAME.DAT").string()));
    EXPECT_EQ(initial.at("IDENTITY"), (Bytes{'A', 'S', 'H', ' ', 'H', 'O', 'L', 'L', 'O', 'W', '\r', '\n'}));
    fs::remove_all(again);
    fs::remove_all(other);
}
