// Drawing whole world pictures of the sample world.
//
// The sample world (seed 1) is generated into a temporary folder first. Places:
// the town centre, and the forest and open sea nearest to it, found on the
// generator's landscape (every chunk corner of the view is forest, or deep water).
// The actor list holds its head alone, as in the map viewer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/game_path.h"
#include "support/world_tables.h"
#include "data/shapes.h"
#include "net/game_timer.h"
#include "platform/tick_count.h"
#include "view/render_locks.h"
#include "view/render_thread.h"
#include "view/scaler.h"
#include "view/world_renderer.h"
#include "client/game_view.h"
#include "client/gump_list.h"
#include "landscape.h"
#include "world_generator.h"

namespace {

struct Place {
    int x, y;
};
constexpr Place kTown{worldgen::kTownCentreX, worldgen::kTownCentreY};

// The view centre nearest the town whose walked chunks, and a chunk around them,
// lie wholly on one terrain.
Place NearestPlaceOf(const worldgen::Landscape& land, worldgen::Terrain terrain)
{
    const int townX = kTown.x / 16, townY = kTown.y / 16;
    for (int radius = 0; radius < kWorldChunks / 2; ++radius) {
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                if (std::max(std::abs(dx), std::abs(dy)) != radius)
                    continue;
                bool uniform = true;
                for (int j = -1; j <= 3 && uniform; ++j)
                    for (int i = -2; i <= 3 && uniform; ++i)
                        uniform = land.Corner(townX + dx + i, townY + dy + j) == terrain;
                if (uniform)
                    return Place{worldgen::Landscape::Wrap(townX + dx) * 16 + 8, worldgen::Landscape::Wrap(townY + dy) * 16 + 8};
            }
        }
    }
    return kTown;
}

constexpr uint64_t kSeed = 1;
Place Forest, Sea;

struct World {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vx_bench_render_world";
    World()
    {
        std::filesystem::remove_all(folder);
        worldgen::GenerateWorld(folder.string(), kSeed);
        const std::string game = platform::WithTrailingSeparator(folder.string());
        const worldgen::Landscape land = worldgen::MakeLandscape(kSeed);
        Forest = NearestPlaceOf(land, worldgen::kForest);
        Sea = NearestPlaceOf(land, worldgen::kDeep);
        std::fprintf(stderr, "sample world in %s; forest at (%d, %d), sea at (%d, %d)\n", game.c_str(), Forest.x,
                     Forest.y, Sea.x, Sea.y);
        support::LoadWholeWorld(game);
        NPCList = std::make_unique<net::TNPCList>();
    }
    ~World()
    {
        NPCList.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

World& TheWorld()
{
    static World world;
    return world;
}

void Render(benchmark::State& state, const Place& place, void (*render)(int, int, int, net::TNPCList*))
{
    TheWorld();
    const Place at = place;
    for (auto _ : state) {
        render(at.x, at.y, 16, NPCList.get());
        benchmark::ClobberMemory();
    }
    state.counters["considered"] = double(ObjectsConsidered.load());
    state.counters["drawn"] = double(ObjectsDrawn.load());
}

void BM_RenderWorldTown(benchmark::State& state) { Render(state, kTown, RenderWorld); }
void BM_RenderWorldForest(benchmark::State& state) { Render(state, Forest, RenderWorld); }
void BM_RenderWorldSea(benchmark::State& state) { Render(state, Sea, RenderWorld); }
void BM_RenderWorldColumnsTown(benchmark::State& state) { Render(state, kTown, RenderWorldColumns); }

// The scaler on a real picture: the town as the renderer leaves it.
void BM_ScaleDoubleTown(benchmark::State& state)
{
    TheWorld();
    RenderWorld(kTown.x, kTown.y, 16, NPCList.get());
    static uint32_t scaled[2 * kViewHeight][2 * kViewWidth];
    for (auto _ : state) {
        ScaleDouble(&ColourBuffer[0][0], kViewWidth, kViewWidth, kViewHeight, &scaled[0][0], 2 * kViewWidth);
        benchmark::ClobberMemory();
    }
}

// The whole frame as the player sees it, headless, with the limiter off: the render
// thread's step (the motion pass over 60 walking actors, centring, palette, the world
// picture) and the window's finishing of it (speech, the speech gump with 20 lines,
// help, performance lines, chat line, pointer, the copy and ScaleDouble). Only the
// stretch onto the screen, which the window system does, is left out. The render
// time advances 250 ms a frame, so every actor moves in every frame.
class HeadlessWindow : public TFrameTarget {
public:
    TGameView view;
    uint32_t viewBitmap[kViewHeight][kViewWidth];
    uint32_t scaled[2 * kViewHeight][2 * kViewWidth];

    TViewState& SharedView() override { return view.View; }
    void PostPresent(TRefreshThread& thread, uint32_t frame) override { thread.PresentPosted(frame); }
    void PresentFrame() override
    {
        view.DrawOverlays();
        for (int y = 0; y < kViewHeight; ++y)
            std::memcpy(viewBitmap[y], ColourBuffer[y], sizeof viewBitmap[y]);
        view.SlideConsole();
        ScaleDouble(&viewBitmap[0][0], kViewWidth, kViewWidth, kViewHeight, &scaled[0][0], 2 * kViewWidth);
        ++view.FrameCounter;
    }
};

// Sixty actors around the player, walking in all eight directions at 4 tiles a second.
void PlaceActors(net::TNPCList& actors, const Place& at, uint16_t shape)
{
    std::lock_guard<std::mutex> hold(actors.Lock());
    while (actors.Head()->Next != nullptr)
        actors.RemoveNode(actors.Head()->Next);
    net::TNPCNode* player = actors.Head();
    player->X = uint16_t(at.x);
    player->Y = uint16_t(at.y);
    player->PosX = at.x;
    player->PosY = at.y;
    player->Shape = shape;
    player->Flags = 0;
    for (int i = 0; i < 60; ++i) {
        auto r = std::make_unique<net::TNPCRecord>();
        r->ID = 1000 + i;
        r->Shape = shape;
        r->X = uint16_t(at.x - 18 + (i % 10) * 4);
        r->Y = uint16_t(at.y - 10 + (i / 10) * 4);
        r->PosX = r->X;
        r->PosY = r->Y;
        const double dirs[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
        r->DirX = dirs[i % 8][0];
        r->DirY = dirs[i % 8][1];
        r->Speed = 0.004f;
        r->Flags = net::FlagMoving;
        if (i % 6 == 0) {
            r->Speech.Assign("Fine weather for the market");
            r->SpeechUntil = 0xFFFFFFF0u;
        }
        actors.InsertEntry(std::move(r));
    }
}

void WholeFrame(benchmark::State& state, const Place& place)
{
    TheWorld();
    platform::FakeClock clock(1000000);
    net::TGameTimer timer(net::TGameTimer::LocalMode);
    std::mutex renderLock, viewLock, gumpLock;
    TGumpList gumps;
    auto gump = std::make_unique<TGumpRecord>();
    gump->id = 1;
    gump->x = 40;
    gump->y = 20;
    gump->gump = 54;
    gumps.Insert(gump);

    auto window = std::make_unique<HeadlessWindow>();
    TGameView& view = window->view;
    view.Actors = NPCList.get();
    view.Gumps = &gumps;
    view.GumpsLock = &gumpLock;
    view.Timer = &timer;
    view.ShowHelp = view.ShowPerf = view.ChatTyping = true;
    view.ChatText = "see you at the well";
    view.MouseX = 250;
    view.MouseY = 60;
    for (int i = 0; i < 30; ++i)
        view.SpeechHistory.Add("A line of speech from the market square");

    const uint16_t shape = VxShapes->NextCharacterShape(149);
    PlaceActors(*NPCList, place, shape);
    TRefreshThread thread(*NPCList, timer, renderLock, viewLock);
    thread.SetTarget(window.get());
    FrameLimiter = false;
    int frames = 0;
    for (auto _ : state) {
        clock.Advance(250);
        thread.FrameStep();
        if (++frames % 32 == 0) {
            // The actors have walked 32 tiles: put them back before they leave the view.
            state.PauseTiming();
            PlaceActors(*NPCList, place, shape);
            state.ResumeTiming();
        }
    }
    thread.SetTarget(nullptr);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["drawn"] = double(ObjectsDrawn.load());
    PlaceActors(*NPCList, kTown, 0);
    std::lock_guard<std::mutex> hold(NPCList->Lock());
    while (NPCList->Head()->Next != nullptr)
        NPCList->RemoveNode(NPCList->Head()->Next);
}

void BM_WholeFrameTown(benchmark::State& state) { WholeFrame(state, kTown); }
void BM_WholeFrameForest(benchmark::State& state) { WholeFrame(state, Forest); }

BENCHMARK(BM_RenderWorldTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldForest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldSea)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldColumnsTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleDoubleTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeFrameTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeFrameForest)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
