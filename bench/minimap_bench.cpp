// The minimap over a frame: 64 x 64 overview pixels, its frame and the actors' dots.
//
// The overview is a complete one of patterned pixels (the drawing does not depend on
// what they show); the actor list holds the player and 60 actors spread over the
// view range, some inside the minimap. The centre sits near the world's corner so
// every row is taken in two runs round the wrap, the minimap's slowest case.
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

#include "data/drawing.h"
#include "net/npc_list.h"
#include "view/minimap.h"

namespace {

void BM_DrawMinimap(benchmark::State& state)
{
    TWorldOverview overview;
    overview.Pixels.resize(kOverviewBytes);
    for (size_t i = 0; i < overview.Pixels.size(); ++i)
        overview.Pixels[i] = uint8_t(i * 31);
    net::TNPCList actors;
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        actors.Head()->X = 10;
        actors.Head()->Y = 3070;
        for (int i = 0; i < 60; ++i) {
            auto a = std::make_unique<net::TNPCRecord>();
            a->ID = 100 + i;
            a->X = uint16_t((10 + (i * 37) % 200 + 3072 - 100) % 3072);
            a->Y = uint16_t((3070 + (i * 53) % 140 + 3072 - 70) % 3072);
            actors.InsertEntry(std::move(a));
        }
    }
    for (auto _ : state) {
        DrawMinimap(&ColourBuffer[0][0], &overview, 10, 3070, &actors);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawMinimap)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
