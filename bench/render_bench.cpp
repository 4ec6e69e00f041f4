// Drawing whole world pictures of the sample world.
//
// The sample world (seed 1) is generated into a temporary folder first. Places:
// the town centre, and the forest and open sea nearest to it, found on the
// generator's landscape (every chunk corner of the view is forest, or deep water).
// The actor list holds its head alone, as in the map viewer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/game_path.h"
#include "view/scaler.h"
#include "view/world_renderer.h"
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
    for (int radius = 0; radius < worldgen::kChunksPerSide / 2; ++radius) {
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
        LoadStaticData(game);
        LoadChunkPatterns(game + "STATIC\\VXCHUNKS");
        LoadRegionMap(game + "STATIC\\VXMAP");
        LoadFixLists(game + "STATIC\\VXIFIX");
        LoadRegLists(game + "GAMEDAT\\VXIREG");
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

void Render(benchmark::State& state, const Place& place, void (*render)(int, int, int))
{
    TheWorld();
    const Place at = place;
    for (auto _ : state) {
        render(at.x, at.y, 16);
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
    RenderWorld(kTown.x, kTown.y, 16);
    static uint32_t scaled[2 * kViewHeight][2 * kViewWidth];
    for (auto _ : state) {
        ScaleDouble(&ColourBuffer[0][0], kViewWidth, kViewWidth, kViewHeight, &scaled[0][0], 2 * kViewWidth);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_RenderWorldTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldForest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldSea)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldColumnsTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleDoubleTown)->Unit(benchmark::kMicrosecond);

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
