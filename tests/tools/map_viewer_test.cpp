// The map viewer's work without a window: shape flags, grid, pick, dragging, keys,
// the buffer turn-taking with the game, and the overview on a generated world.
#include "tools/map_viewer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "data/drawing.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "platform/binary_file.h"
#include "platform/console.h"
#include "support/temp_folder.h"
#include "view/picture_buffers.h"
#include "view/render_thread.h"
#include "view/world_renderer.h"
#include "world_generator.h"

namespace {

uint32_t Pixel(int x, int y) { return ColourBuffer[y][x]; }
constexpr uint32_t kRed = 0xFF6464, kBlue = 0xB4B4FF, kWhite = 0xFFFFFF;

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EmptyStore : public testing::Test {
protected:
    void SetUp() override { VxShapes = std::make_unique<TVxShapes>(); }
    void TearDown() override { VxShapes.reset(); }
};

}  // namespace

TEST_F(EmptyStore, ShapeInfoListsTheThreeFlagBytesBitByBit)
{
    VxShapes->TileFlags[301][0] = 0x25;
    VxShapes->TileFlags[301][1] = 0x80;
    VxShapes->TileFlags[301][2] = 0x01;
    EXPECT_EQ(tools::ShapeInfoLines(301),
              (std::vector<std::string>{"TFA Byte1:", "76543210", "00100101", "--------", "TFA Byte2:", "76543210",
                                        "10000000", "--------", "TFA Byte3:", "76543210", "00000001", "--------"}));

    // Bits 10-15 (the frame and the unused bit) are not part of the shape.
    VxShapes->TileFlags[1023][1] = 0xFF;
    EXPECT_EQ(tools::ShapeInfoLines(0xFFFF)[6], "11111111");
    EXPECT_EQ(tools::ShapeInfoLines(uint16_t(301 | 7 << 10))[2], "00100101");

    const auto zero = tools::ShapeInfoLines(5);
    ASSERT_EQ(zero.size(), 12u);
    EXPECT_EQ(zero[2], "00000000");
    EXPECT_EQ(zero[6], "00000000");
    EXPECT_EQ(zero[10], "00000000");
}

TEST_F(EmptyStore, GridLinesFallOnColumnsSevenAndRowsFourWithRedAxes)
{
    std::memset(ColourBuffer, 0, sizeof ColourBuffer);
    tools::DrawShapeView(0, 0, true);  // ground tile 0 of an empty store draws black at the centre
    for (int x : {7, 15, 23, 311, 319})
        EXPECT_EQ(Pixel(x, 1), kBlue) << x;
    for (int y : {4, 12, 196})
        EXPECT_EQ(Pixel(1, y), kBlue) << y;
    for (int x : {0, 6, 8, 14, 158, 161})
        EXPECT_EQ(Pixel(x, 1), kWhite) << x;
    EXPECT_EQ(Pixel(160, 0), kRed);
    EXPECT_EQ(Pixel(160, 199), kRed);
    EXPECT_EQ(Pixel(0, 100), kRed);
    EXPECT_EQ(Pixel(319, 100), kRed);
    EXPECT_EQ(Pixel(160, 90), kRed);
    EXPECT_EQ(Pixel(167, 100), kRed) << "the axis wins over a grid column";

    // Without the grid the buffer is left as it was around the shape.
    std::memset(ColourBuffer, 0x11, sizeof ColourBuffer);
    tools::DrawShapeView(0, 0, false);
    EXPECT_EQ(Pixel(7, 1), 0x11111111u);
}

TEST(MapViewer, PickMapsThePaintBoxIntoTheBufferAndReadsTheOwner)
{
    EXPECT_EQ(tools::PaintBoxToBuffer(0, 0, 718, 390).x, 0);
    const auto corner = tools::PaintBoxToBuffer(717, 389, 718, 390);
    EXPECT_EQ(corner.x, 319);
    EXPECT_EQ(corner.y, 199);
    // At or past the far edge, or a captured drag outside the box: still inside the buffer.
    for (const auto p : {tools::PaintBoxToBuffer(718, 390, 718, 390), tools::PaintBoxToBuffer(5000, 9000, 718, 390)}) {
        EXPECT_EQ(p.x, 319);
        EXPECT_EQ(p.y, 199);
    }
    const auto before = tools::PaintBoxToBuffer(-40, -1, 718, 390);
    EXPECT_EQ(before.x, 0);
    EXPECT_EQ(before.y, 0);
    EXPECT_EQ(tools::PaintBoxToBuffer(10, 10, 0, 0).x, 319) << "a box of no size does not divide by zero";
    EXPECT_EQ(tools::PaintBoxToBuffer(358, 195, 718, 390).x, 159);
    EXPECT_EQ(tools::PaintBoxToBuffer(359, 195, 718, 390).x, 160);

    OwnerBuffer[199][319] = OwnerRecord{3, 4, 41, 42, 5, 6, uint16_t(301 | 2 << 10)};
    const tools::PickResult pick = tools::PickPixel(corner);
    EXPECT_EQ(pick.Shape, 301 | 2 << 10);
    EXPECT_EQ(pick.Text, "X=41 Y=42 TX=3 TY=4 L=5 H=6");
    OwnerBuffer[199][319] = {};
}

TEST(MapViewer, DraggingMovesAThirdOfTheMouseAndRoundsHalvesToEven)
{
    tools::DragState drag{940, 1220};
    EXPECT_FALSE(drag.Move(100, 50, false));
    EXPECT_TRUE(drag.Move(130, 50, true));
    EXPECT_EQ(drag.ViewX, 930);
    EXPECT_EQ(drag.ViewY, 1220);
    EXPECT_TRUE(drag.Move(131, 48, true));
    EXPECT_DOUBLE_EQ(drag.ViewX, 930 - 1.0 / 3);
    EXPECT_DOUBLE_EQ(drag.ViewY, 1220 + 2.0 / 3);
    EXPECT_EQ(tools::RoundHalfEven(drag.ViewX), 930);
    EXPECT_EQ(tools::RoundHalfEven(drag.ViewY), 1221);
    // A move without the button only moves the last position.
    EXPECT_FALSE(drag.Move(500, 500, false));
    EXPECT_TRUE(drag.Move(500, 503, true));
    EXPECT_DOUBLE_EQ(drag.ViewY, 1220 + 2.0 / 3 - 1);

    EXPECT_EQ(tools::RoundHalfEven(938.5), 938);
    EXPECT_EQ(tools::RoundHalfEven(939.5), 940);
    EXPECT_EQ(tools::RoundHalfEven(-0.5), 0);
    EXPECT_EQ(tools::RoundHalfEven(-1.5), -2);
}

TEST(MapViewer, KeysScrollInStepsOfOneOrFiveWithinTheWorld)
{
    tools::MapViewKeys keys;
    keys.Press(256);
    keys.Press(-1);
    keys.Press(0x10000);
    EXPECT_FALSE(keys.AnyArrow());
    EXPECT_EQ(std::count(keys.Down.begin(), keys.Down.end(), 1), 0) << "codes above 255 are ignored";

    int x = 940, y = 1220;
    keys.Press(tools::kKeyUp);
    keys.Press(tools::kKeyRight);
    keys.Scroll(x, y);
    EXPECT_EQ(x, 941);
    EXPECT_EQ(y, 1219);
    keys.Press(tools::kKeyQ);
    keys.Scroll(x, y);
    EXPECT_EQ(x, 946);
    EXPECT_EQ(y, 1214);
    keys.Release(tools::kKeyUp);
    keys.Release(tools::kKeyRight);
    keys.Press(tools::kKeyLeft);
    keys.Press(tools::kKeyDown);
    x = 3;
    y = 3069;
    keys.Scroll(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 3071);
    // Up and down together: both steps, in order, each clamped.
    keys.Press(tools::kKeyUp);
    y = 3;
    keys.Scroll(x, y);
    EXPECT_EQ(y, 5);
}

TEST_F(EmptyStore, ViewerRefusesWhileTheGameHoldsTheBuffers)
{
    ASSERT_TRUE(ClaimPictureBuffers(BufferUser::Game));
    EXPECT_THROW(tools::DrawShapeView(0, 0, true), tools::ViewerRefused);
    EXPECT_THROW(tools::DrawMapView(940, 1220, 16), tools::ViewerRefused);
    EXPECT_THROW(tools::DrawChunkView(0), tools::ViewerRefused);
    EXPECT_THROW(tools::MapViewerBegin("/nowhere"), tools::ViewerRefused);
    support::TempFolder out("viewer_refused");
    tools::MakeMapObserver quiet;
    EXPECT_THROW(tools::MakeMap({out.Path() + "map.raw", "", 16, 1}, quiet), tools::ViewerRefused);
    EXPECT_FALSE(std::filesystem::exists(out.Path() + "map.raw"));
    EXPECT_FALSE(ClaimPictureBuffers(BufferUser::MapMaker));
    ReleasePictureBuffers(BufferUser::MapMaker);  // not the holder: nothing changes
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Game);
    ReleasePictureBuffers(BufferUser::Game);
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Nobody);
}

TEST(PictureBuffers, TheGameCannotStartWhileAMapIsMadeAndKeepsTheBuffersOnceItRuns)
{
    net::TNPCList actors;
    net::TGameTimer timer{net::TGameTimer::LocalMode};
    std::mutex renderLock, viewLock;
    TFrameWorld quiet;
    quiet.RenderWorld = [](int, int, int, net::TNPCList*) {};
    quiet.CyclePalette = [] {};
    quiet.ObstacleX = [](int, int) { return false; };
    quiet.ObstacleY = [](int, int) { return false; };
    quiet.Sleep = [](uint32_t) {};
    TRefreshThread thread(actors, timer, renderLock, viewLock, quiet);

    ASSERT_TRUE(ClaimPictureBuffers(BufferUser::MapMaker));
    try {
        thread.Resume();
        ADD_FAILURE() << "the game started during a Make Map";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), kGameRefusal);
    }
    EXPECT_TRUE(thread.Parked());
    ReleasePictureBuffers(BufferUser::MapMaker);

    thread.Resume();
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Game);
    thread.Pause();
    thread.Resume();  // resuming again keeps them
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Game);
    thread.Terminate();
    ReleasePictureBuffers(BufferUser::Game);
}

// ---- On the sample world -----------------------------------------------------------------

namespace {

class Overview : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        world = new support::TempFolder("overview_world");
        worldgen::GenerateWorld(world->Path(), 1);
        NPCList = std::make_unique<net::TNPCList>();
        tools::MapViewerBegin(world->Path());
    }
    static void TearDownTestSuite()
    {
        NPCList.reset();
        delete world;
        VxShapes.reset();
    }
    static support::TempFolder* world;
    support::TempFolder out{"overview_out"};
};
support::TempFolder* Overview::world = nullptr;

// Counts views, answers cancel after a number of them, and checks the game is kept out.
class CountingObserver : public tools::MakeMapObserver {
public:
    int Views = 0, Bands = 0, CancelAfter = -1;
    bool GameKeptOut = true;
    void ViewDrawn(const uint32_t*) override
    {
        ++Views;
        if (ClaimPictureBuffers(BufferUser::Game)) {
            GameKeptOut = false;
            ReleasePictureBuffers(BufferUser::Game);
        }
    }
    void BandWritten(int done) override { Bands = done; }
    bool Cancelled() override { return CancelAfter >= 0 && Views >= CancelAfter; }
};

}  // namespace

TEST_F(Overview, BeginReportsItsStepsOnTheLabels)
{
    std::vector<std::string> seen;
    tools::MapViewerBegin(world->Path(), [&](int label, const std::string& text, bool repaint) {
        seen.push_back(std::to_string(label) + (repaint ? "! " : " ") + text);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"8! Loading...", "1 Flexer and Shaper initialized.",
                                              "2! Loading Chunks and Regions...", "2 Chunks and regions loaded.",
                                              "3! Loading IFIXes...", "3 IFIX loaded.",
                                              "4! Initialization complete.", "8! Ready."}));
    // A folder without its movable objects stops Begin after the fourth line.
    seen.clear();
    support::TempFolder bare("overview_bare");
    std::filesystem::copy(world->Folder(), bare.Path(), std::filesystem::copy_options::recursive);
    std::filesystem::remove_all(bare.Path() + "GAMEDAT");
    EXPECT_THROW(tools::MapViewerBegin(bare.Path(), [&](int label, const std::string&, bool) {
                     seen.push_back(std::to_string(label));
                 }),
                 EInOutError);
    EXPECT_EQ(seen.back(), "4");
    tools::MapViewerBegin(world->Path());
}

TEST_F(Overview, WritesTheWholePictureBandByBandWithItsPngAndKeepsTheGameOut)
{
    tools::MakeMapOptions options{out.Path() + "map.raw", out.Path() + "map.png", 16, 2};
    CountingObserver observer;
    platform::ConsoleCapture console;
    tools::MakeMap(options, observer);

    std::vector<std::string> expected;
    for (int wy = 12; wy < 3059; wy += 25)
        expected.push_back(std::to_string(wy));
    ASSERT_EQ(expected.size(), 122u);
    EXPECT_EQ(expected.back(), "3037");
    EXPECT_EQ(console.Lines(), expected) << "one line per band, in order, even with two cores drawing";
    EXPECT_EQ(observer.Bands, 122);
    EXPECT_EQ(observer.Views, 61 * 76) << "the calling thread draws every other band";
    EXPECT_TRUE(observer.GameKeptOut);
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Nobody);

    const std::vector<uint8_t> raw = ReadAll(options.RawPath);
    ASSERT_EQ(raw.size(), 28374150u);
    const auto at = [&](int c, int r) { return raw.data() + size_t(r) * 9303 + size_t(c) * 3; };
    // Columns 3040-3100 are never drawn; a row's drawn part is not blank.
    for (int r : {0, 1500, 3049})
        for (int c = 3040; c < 3101; ++c)
            ASSERT_EQ(at(c, r)[0] | at(c, r)[1] | at(c, r)[2], 0) << c << "," << r;

    // Picture pixel (c, r) is the view's pixel (8 j, 8 i) of the view centred on the band's wx, wy.
    RenderWorldColumns(940, 1212, 16, NPCList.get());
    for (const auto& [i, j] : {std::pair{0, 0}, {5, 20}, {24, 39}}) {
        const uint32_t p = ColourBuffer[8 * i][8 * j];
        const uint8_t* q = at(920 + j, 1200 + i);
        EXPECT_EQ(q[0] | q[1] << 8 | q[2] << 16, int(p & 0xFFFFFF)) << i << "," << j;
    }

    const QImage png(QString::fromStdString(options.PngPath));
    ASSERT_EQ(png.size(), QSize(3101, 3050));
    for (const auto& [c, r] : {std::pair{0, 0}, {940, 1220}, {3039, 3049}, {3100, 17}, {1500, 1777}})
        EXPECT_EQ(png.pixel(c, r) & 0xFFFFFF, uint32_t(at(c, r)[0] | at(c, r)[1] << 8 | at(c, r)[2] << 16))
            << c << "," << r;
}

// Make Map without a window draws only the pixels it samples: those end as the whole
// drawing leaves them, at the world's corners and wrap as in the town and the forest,
// and no other pixel is touched.
TEST_F(Overview, DrawingOnlyTheSamplesGivesThemTheWholeDrawingsColoursAndOwners)
{
    constexpr uint32_t kUntouched = 0xFF123456;
    // Each sampled view starts on the buffers the view before left, as in a band.
    RenderWorldColumns(2000, 2000, 16, NPCList.get());
    for (const auto& [x, y] : {std::pair{20, 12}, {3060, 3037}, {940, 1212}, {1112, 1400}, {568, 1000}, {1533, 7}}) {
        std::fill_n(&ColourBuffer[0][0], kViewWidth * kViewHeight, kUntouched);
        DrawOnlySamplesOnThisThread(true);
        RenderWorldColumns(x, y, 16, NPCList.get());
        DrawOnlySamplesOnThisThread(false);
        const std::vector<uint32_t> colours(&ColourBuffer[0][0], &ColourBuffer[0][0] + kViewWidth * kViewHeight);
        const std::vector<OwnerRecord> owners(&OwnerBuffer[0][0], &OwnerBuffer[0][0] + kViewWidth * kViewHeight);
        RenderWorldColumns(x, y, 16, NPCList.get());
        int differing = 0, touched = 0;
        for (int py = 0; py < kViewHeight; ++py)
            for (int px = 0; px < kViewWidth; ++px) {
                const size_t at = size_t(py) * kViewWidth + px;
                if (px % 8 == 0 && py % 8 == 0)
                    differing += ColourBuffer[py][px] != colours[at] ||
                                 std::memcmp(&OwnerBuffer[py][px], &owners[at], sizeof(OwnerRecord)) != 0;
                else
                    touched += colours[at] != kUntouched;
            }
        EXPECT_EQ(differing, 0) << "view at " << x << "," << y;
        EXPECT_EQ(touched, 0) << "view at " << x << "," << y;
    }
}

TEST_F(Overview, RefusesAFolderThatDoesNotExistBeforeDrawing)
{
    CountingObserver observer;
    platform::ConsoleCapture console;
    tools::MakeMapOptions options{out.Path() + "missing/map.raw", "", 16, 2};
    EXPECT_THROW(tools::MakeMap(options, observer), EInOutError);
    options = {out.Path() + "map.raw", out.Path() + "missing/map.png", 16, 1};
    try {
        tools::MakeMap(options, observer);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("missing/map.png"), std::string::npos) << e.what();
    }
    EXPECT_EQ(observer.Views, 0);
    EXPECT_TRUE(console.Lines().empty());
    EXPECT_FALSE(std::filesystem::exists(out.Path() + "map.raw")) << "the raw file made first is removed";
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Nobody);
}

TEST_F(Overview, CancelStopsAfterTheViewAndRemovesThePartialFiles)
{
    for (int threads : {1, 2}) {
        CountingObserver observer;
        observer.CancelAfter = 76 * 2 + 5;  // inside the third band this thread draws
        tools::MakeMapOptions options{out.Path() + "map.raw", out.Path() + "map.png", 16, threads};
        platform::ConsoleCapture console;
        EXPECT_THROW(tools::MakeMap(options, observer), tools::MapCancelled);
        EXPECT_EQ(observer.Views, 76 * 2 + 5) << threads;
        EXPECT_EQ(console.Lines().size(), size_t(2 * threads)) << "bands finished before the cancel were written";
        EXPECT_FALSE(std::filesystem::exists(options.RawPath));
        EXPECT_FALSE(std::filesystem::exists(options.PngPath));
        EXPECT_EQ(PictureBuffersHolder(), BufferUser::Nobody);
    }
}

TEST_F(Overview, AStopReturnsOnceNothingDrawsSoTheWorldMayBeLoadedAgain)
{
    // As a login does when it loads the world during a run: stop, then replace the
    // tables the run was drawing from (ThreadSanitizer sees any drawing left).
    class Reloader : public CountingObserver {
    public:
        std::string Folder;
        int ViewsAtStop = -1;
        void BandWritten(int done) override
        {
            CountingObserver::BandWritten(done);
            if (done != 1)
                return;
            tools::StopMakeMap();
            ViewsAtStop = Views;
            LoadChunkPatterns(Folder + "STATIC\\VXCHUNKS");
            LoadRegionMap(Folder + "STATIC\\VXMAP");
            LoadFixLists(Folder + "STATIC\\VXIFIX");
            LoadRegLists(Folder + "GAMEDAT\\VXIREG");
        }
    };
    for (int threads : {1, 2}) {
        Reloader observer;
        observer.Folder = world->Path();
        tools::MakeMapOptions options{out.Path() + "stopped.raw", "", 16, threads};
        platform::ConsoleCapture console;
        EXPECT_THROW(tools::MakeMap(options, observer), tools::MapCancelled);
        EXPECT_EQ(observer.Views, observer.ViewsAtStop) << threads;
        EXPECT_FALSE(std::filesystem::exists(options.RawPath));
        EXPECT_EQ(PictureBuffersHolder(), BufferUser::Nobody);
    }
    tools::StopMakeMap();  // no run: nothing happens
}
