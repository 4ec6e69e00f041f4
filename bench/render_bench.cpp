// Drawing whole world pictures of the sample world.
//
// The world comes from the folder named by VX_SAMPLE_WORLD, or else vxworldgen
// (beside this program) writes one into a temporary folder first. The actor list
// holds its head alone, as in the map viewer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/game_path.h"
#include "view/world_renderer.h"

namespace {

struct Place {
    int x, y;
};
constexpr Place kTown{940, 1220};
constexpr Place kForest{1010, 1330};
constexpr Place kSea{300, 2900};

std::string ProgramFolder;

std::string SampleWorld()
{
    if (const char* given = std::getenv("VX_SAMPLE_WORLD"))
        return platform::WithTrailingSeparator(given);
    const auto folder = std::filesystem::temp_directory_path() / "vx_bench_render_world";
    const std::filesystem::path generator = std::filesystem::path(ProgramFolder) / "vxworldgen";
    std::filesystem::remove_all(folder);
    const std::string command = "\"" + generator.string() + "\" \"" + folder.string() + "\" --seed 1 > /dev/null";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("could not run " + command);
    return platform::WithTrailingSeparator(folder.string());
}

struct World {
    net::TNPCList actors;
    World()
    {
        const std::string game = SampleWorld();
        LoadStaticData(game);
        LoadChunkPatterns(game + "STATIC\\VXCHUNKS");
        LoadRegionMap(game + "STATIC\\VXMAP");
        LoadFixLists(game + "STATIC\\VXIFIX");
        LoadRegLists(game + "GAMEDAT\\VXIREG");
        WorldActors = &actors;
    }
};

World& TheWorld()
{
    static World world;
    return world;
}

void Render(benchmark::State& state, Place at, void (*render)(int, int, int))
{
    TheWorld();
    for (auto _ : state) {
        render(at.x, at.y, 16);
        benchmark::ClobberMemory();
    }
    state.counters["considered"] = double(ObjectsConsidered.load());
    state.counters["drawn"] = double(ObjectsDrawn.load());
}

void BM_RenderWorldTown(benchmark::State& state) { Render(state, kTown, RenderWorld); }
void BM_RenderWorldForest(benchmark::State& state) { Render(state, kForest, RenderWorld); }
void BM_RenderWorldSea(benchmark::State& state) { Render(state, kSea, RenderWorld); }
void BM_RenderWorldColumnsTown(benchmark::State& state) { Render(state, kTown, RenderWorldColumns); }

BENCHMARK(BM_RenderWorldTown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldForest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldSea)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderWorldColumnsTown)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    ProgramFolder = std::filesystem::absolute(argv[0]).parent_path().string();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
