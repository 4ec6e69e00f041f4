// The minimap's world overview: the map viewer's samples over the whole world, drawn
// beside a running render thread without touching what it draws, and its cache file,
// which is refused when damaged and made again.
#include "tools/world_overview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "data/drawing.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "platform/binary_file.h"
#include "support/temp_folder.h"
#include "tools/map_viewer.h"
#include "view/picture_buffers.h"
#include "view/render_thread.h"
#include "view/world_renderer.h"
#include "world_generator.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A complete overview whose pixels name their place.
TWorldOverview Patterned()
{
    TWorldOverview o;
    o.Pixels.resize(kOverviewBytes);
    for (size_t i = 0; i < o.Pixels.size(); ++i)
        o.Pixels[i] = uint8_t(i * 7 + (i >> 13));
    return o;
}

class WorldOverview : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        world = new support::TempFolder("world_overview_world");
        worldgen::GenerateWorld(world->Path(), 1);
        tools::MapViewerBegin(world->Path());
    }
    static void TearDownTestSuite()
    {
        delete world;
        VxShapes.reset();
    }
    static support::TempFolder* world;
    support::TempFolder out{"world_overview_out"};
};
support::TempFolder* WorldOverview::world = nullptr;

// The first `bands` bands of the overview.
std::vector<uint8_t> FirstBands(int bands)
{
    TWorldOverview o;
    EXPECT_FALSE(tools::DrawWorldOverview(o, [&](int done, int) { return done < bands; }));
    o.Pixels.resize(size_t(25 * bands) * kOverviewSize * 3);
    return o.Pixels;
}

}  // namespace

TEST_F(WorldOverview, HoldsMakeMapsSamplesAndFillsTheWholeWorld)
{
    tools::MakeMapOptions options;
    options.RawPath = out.Path() + "map.raw";
    tools::MakeMapObserver quiet;
    tools::MakeMap(options, quiet);
    const std::vector<uint8_t> raw = ReadAll(options.RawPath);
    ASSERT_EQ(raw.size(), size_t(tools::kMapBands) * tools::kMapBandBytes);

    TWorldOverview overview;
    int calls = 0;
    ASSERT_TRUE(tools::DrawWorldOverview(overview, [&](int done, int total) {
        EXPECT_EQ(done, ++calls);
        EXPECT_EQ(total, tools::kOverviewBands);
        return true;
    }));
    ASSERT_TRUE(overview.Complete());
    int differing = 0;
    for (int r = 0; r < tools::kMapHeight; ++r)
        differing += std::memcmp(overview.Pixels.data() + size_t(r) * kOverviewSize * 3,
                                 raw.data() + size_t(r) * tools::kMapRowBytes, 3040 * 3) != 0;
    EXPECT_EQ(differing, 0);
    // Make Map stops short of the right and bottom edges; the overview goes on to them
    // with the same samples of the views beyond.
    const auto view = [&](int wx, int wy) {
        RenderWorldColumns(wx, wy, 16, nullptr);
        int wrong = 0, drawn = 0;
        for (int i = 0; i < 25 && wy - 12 + i < kOverviewSize; ++i)
            for (int j = 0; j < 40 && wx - 20 + j < kOverviewSize; ++j, ++drawn) {
                const uint8_t* p = overview.Pixels.data() + (size_t(wy - 12 + i) * kOverviewSize + size_t(wx - 20 + j)) * 3;
                wrong += (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16) != ColourBuffer[8 * i][8 * j];
            }
        EXPECT_EQ(wrong, 0) << wx << "," << wy;
        return drawn;
    };
    EXPECT_EQ(view(3060, 12), 25 * 32);
    EXPECT_EQ(view(20, 3062), 22 * 40);
    EXPECT_EQ(view(3060, 3062), 22 * 32);
    // The thread draws on the shared buffers again afterwards.
    EXPECT_EQ(ThisThreadColours(), &ColourBuffer[0][0]);
}

TEST_F(WorldOverview, DrawnBesideTheRenderThreadItLeavesTheGameAloneAndIsTheSame)
{
    const std::vector<uint8_t> quiet = FirstBands(2);

    // The game: a render thread drawing, cycling the palette and moving an actor that
    // stands in the first band, with the counters of its own pictures.
    NPCList = std::make_unique<net::TNPCList>();
    {
        std::lock_guard<std::mutex> hold(NPCList->Lock());
        net::TNPCNode* player = NPCList->Head();
        player->Shape = 155;
        player->X = player->Y = 20;
        player->PosX = player->PosY = 20;
        player->Lift = 5;
    }
    net::TGameTimer timer{net::TGameTimer::LocalMode};
    std::mutex renderLock, viewLock;
    class Target : public TFrameTarget {
    public:
        TViewState view;
        std::atomic<int> presented{0};
        TViewState& SharedView() override { return view; }
        void PostPresent(TRefreshThread& thread, uint32_t frame) override { thread.PresentPosted(frame); }
        void PresentFrame() override
        {
            ++presented;
        }
    } target;
    TRefreshThread thread(*NPCList, timer, renderLock, viewLock);
    thread.SetTarget(&target);
    thread.Resume();
    while (target.presented < 2)
        std::this_thread::yield();

    const std::vector<uint8_t> beside = FirstBands(2);
    while (target.presented < 4)
        std::this_thread::yield();
    thread.DetachTarget(&target);
    thread.Terminate();
    ReleasePictureBuffers(BufferUser::Game);
    NPCList.reset();

    EXPECT_TRUE(beside == quiet);
}

TEST(WorldOverviewCache, KeepsAnOverviewAndRefusesEveryDamagedForm)
{
    support::TempFolder folder("world_overview_cache");
    const std::string path = folder.Path() + "cache/overview.vxo";  // the folder is made
    const TWorldOverview written = Patterned();
    tools::WriteOverviewCache(path, 77, written);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    ASSERT_EQ(std::filesystem::file_size(path), tools::kOverviewHeaderBytes + kOverviewBytes);

    TWorldOverview read;
    std::string why = "x";
    ASSERT_TRUE(tools::ReadOverviewCache(path, 77, read, why));
    EXPECT_EQ(why, "");
    EXPECT_TRUE(read.Pixels == written.Pixels);

    EXPECT_FALSE(tools::ReadOverviewCache(path, 78, read, why));
    EXPECT_EQ(why, "it was made from other world files");
    EXPECT_FALSE(tools::ReadOverviewCache(folder.Path() + "none.vxo", 77, read, why));
    EXPECT_EQ(why, "");  // missing: nothing to say

    const auto damaged = [&](const std::function<void(std::vector<uint8_t>&)>& change) {
        std::vector<uint8_t> bytes = ReadAll(path);
        change(bytes);
        const std::string bad = folder.Path() + "bad.vxo";
        std::ofstream(bad, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        TWorldOverview o;
        std::string reason;
        EXPECT_FALSE(tools::ReadOverviewCache(bad, 77, o, reason));
        EXPECT_FALSE(o.Complete());
        return reason;
    };
    EXPECT_EQ(damaged([](auto& b) { b.resize(b.size() - 1); }),
              "it holds 28311583 bytes, an overview 28311584");
    EXPECT_EQ(damaged([](auto& b) { b.resize(100); }), "it holds 100 bytes, an overview 28311584");
    EXPECT_EQ(damaged([](auto& b) { b.push_back(0); }), "it holds 28311585 bytes, an overview 28311584");
    EXPECT_EQ(damaged([](auto& b) { b[0] = 'W'; }), "it is not an overview file");
    EXPECT_EQ(damaged([](auto& b) { b[9] = 1; }), "it is 256 x 3072 pixels, not 3072 x 3072");
    EXPECT_EQ(damaged([](auto& b) { b[5000000] ^= 0x10; }), "its pixels do not match their checksum");

    // A file that cannot be written is an error naming it, and leaves nothing behind.
    EXPECT_THROW(tools::WriteOverviewCache(path + "/under-a-file.vxo", 77, written), EInOutError);
}

TEST(WorldOverviewCache, FileIsNamedPerWorldAndStampedByItsFiles)
{
    const std::string a = tools::OverviewCacheFile("/cache", "/games/a/", "/games/a/CLIDAT/", "EMBER VALE");
    EXPECT_EQ(a.rfind("/cache/overview-", 0), 0u);
    EXPECT_EQ(a.size(), std::string("/cache/overview-0123456789abcdef.vxo").size());
    EXPECT_NE(a, tools::OverviewCacheFile("/cache", "/games/b/", "/games/b/CLIDAT/", "EMBER VALE"));
    EXPECT_NE(a, tools::OverviewCacheFile("/cache", "/games/a/", "/games/a/CLIDAT/", "OTHER"));

    support::TempFolder game("world_overview_stamp");
    std::filesystem::create_directories(game.Path() + "STATIC");
    const uint64_t none = tools::WorldSourceStamp(game.Path(), game.Path());
    std::ofstream(game.Path() + "STATIC/VXMAP") << "map";
    const uint64_t one = tools::WorldSourceStamp(game.Path(), game.Path());
    EXPECT_NE(none, one);
    EXPECT_EQ(one, tools::WorldSourceStamp(game.Path(), game.Path()));
    std::ofstream(game.Path() + "STATIC/VXMAP") << "a longer map";
    EXPECT_NE(one, tools::WorldSourceStamp(game.Path(), game.Path()));
}

TEST_F(WorldOverview, MakerRefusesADamagedCacheMakesItAgainAndReadsItNextTime)
{
    const std::string path = out.Path() + "overview.vxo";
    {
        TWorldOverview damaged = Patterned();
        tools::WriteOverviewCache(path, 5, damaged);
        std::filesystem::resize_file(path, 1000);  // cut short
    }
    tools::TWorldOverviewMaker maker;
    std::vector<std::string> lines;
    std::shared_ptr<const TWorldOverview> ready;
    const auto waitFor = [&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (!ready && std::chrono::steady_clock::now() < until) {
            maker.Poll(lines, ready);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        maker.Poll(lines, ready);
    };
    maker.Start(path, 5);
    maker.Start(path, 5);  // already under way: nothing new
    waitFor();
    ASSERT_NE(ready, nullptr);
    EXPECT_TRUE(ready->Complete());
    EXPECT_FALSE(maker.Busy());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Minimap: " + path + " refused (it holds 1000 bytes, an overview 28311584); making it again.");
    EXPECT_EQ(lines[1], "Minimap: making the world overview, once for this world...");
    EXPECT_EQ(lines.back(), "Minimap: world overview made and kept in " + path);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("%") != std::string::npos; }),
              3);
    TWorldOverview kept;
    std::string why;
    ASSERT_TRUE(tools::ReadOverviewCache(path, 5, kept, why)) << why;
    EXPECT_TRUE(kept.Pixels == ready->Pixels);

    // Delivered: the same file again starts nothing; after a stop it is read back.
    maker.Start(path, 5);
    EXPECT_FALSE(maker.Busy());
    maker.Stop();
    lines.clear();
    ready.reset();
    maker.Start(path, 5);
    waitFor();
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(lines, std::vector<std::string>{"Minimap: world overview read from " + path});
}

TEST_F(WorldOverview, MakerStopsBetweenViewsWithoutDeliveringOrKeeping)
{
    const std::string path = out.Path() + "stopped.vxo";
    tools::TWorldOverviewMaker maker;
    maker.Start(path, 9);
    maker.Stop();
    std::vector<std::string> lines;
    std::shared_ptr<const TWorldOverview> ready;
    maker.Poll(lines, ready);
    EXPECT_EQ(ready, nullptr);
    EXPECT_FALSE(maker.Busy());
    EXPECT_FALSE(std::filesystem::exists(path));
}
