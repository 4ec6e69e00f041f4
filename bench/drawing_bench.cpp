// Drawing a large object into the picture buffers and doubling a busy picture.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "formats/shape_writer.h"
#include "view/scaler.h"

namespace {

// A building front about 112 x 96 pixels: textured walls, flat stretches of
// roof and window, and a transparent outline, so that the frame mixes raw
// spans, literal runs and colour runs the way the game's shapes do.
formats::Frame LargeObject()
{
    std::mt19937 rng(7);
    formats::Picture pic(112, 96, 111, 95);
    for (int y = 0; y < pic.height; ++y) {
        const int inset = y < 40 ? 40 - y : 0;  // a sloping roof
        for (int x = inset; x < pic.width - inset / 2; ++x) {
            int index;
            if (y < 40)
                index = (x + y) % 7 == 0 ? 60 : 61;  // roof with ridges
            else if ((x / 16) % 3 == 1 && (y % 24) < 14)
                index = 12;  // windows
            else
                index = 80 + int(rng() % 6);  // stone
            pic.At(x, y) = index;
        }
    }
    return formats::FrameFromPicture(pic);
}

struct DrawingSetup {
    std::unique_ptr<TVxShapes> shapes = std::make_unique<TVxShapes>();
    DrawingSetup()
    {
        for (int i = 0; i < 256; ++i)
            ColourTable[i] = 0x00010203u * uint32_t(i);
        const formats::Bytes bytes = formats::MakeShape({LargeObject()});
        shapes->StoreShape(400, bytes.data(), int32_t(bytes.size()), false);
        ClearOwners();
    }
};

// The object over its own earlier copy: every pixel runs the occlusion test
// against an owner and wins.
void BM_DrawFrameLargeObject(benchmark::State& state)
{
    DrawingSetup setup;
    const DrawBox box{30, 30, 16, 18, 0, 5};
    setup.shapes->DrawFrame(200, 150, 400, 0, box);
    for (auto _ : state) {
        setup.shapes->DrawFrame(200, 150, 400, 0, box);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawFrameLargeObject);

void BM_DrawFrameTransposedLargeObject(benchmark::State& state)
{
    DrawingSetup setup;
    const DrawBox box{30, 30, 18, 16, 0, 5};
    setup.shapes->DrawFrameTransposed(150, 150, 400, 0, box);
    for (auto _ : state) {
        setup.shapes->DrawFrameTransposed(150, 150, 400, 0, box);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawFrameTransposedLargeObject);

void BM_AlwaysDrawFrameLargeObject(benchmark::State& state)
{
    DrawingSetup setup;
    for (auto _ : state) {
        setup.shapes->AlwaysDrawFrame(200, 150, 400, 0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_AlwaysDrawFrameLargeObject);

// A view-sized picture as the world renderer leaves it: 8 x 8 ground tiles of
// noisy grass and road, buildings with flat walls and roofs whose edges run at
// 45 degrees, and scattered small objects.
std::vector<uint32_t> BusyPicture()
{
    constexpr int w = kViewWidth, h = kViewHeight;
    std::vector<uint32_t> pic(size_t(w) * h);
    std::mt19937 rng(11);
    const uint32_t grass[4] = {0x00306020, 0x00346824, 0x002C5C1C, 0x00386C28};
    const uint32_t road[3] = {0x00807060, 0x00847464, 0x007C6C5C};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool onRoad = (x / 8 + y / 8) % 9 < 2;
            pic[size_t(y) * w + x] = onRoad ? road[rng() % 3] : grass[rng() % 4];
        }
    // Buildings: a wall block with a roof triangle above it.
    for (int b = 0; b < 6; ++b) {
        const int left = 20 + 50 * b, top = 30 + (b % 3) * 45, width = 40, wall = 30;
        for (int y = top; y < top + wall + 20 && y < h; ++y)
            for (int x = left; x < left + width && x < w; ++x) {
                const int r = y - top;
                if (r < 20) {
                    if (x - left >= 20 - r && x - left < 20 + r)
                        pic[size_t(y) * w + x] = (x + y) % 4 == 0 ? 0x00802020 : 0x00902828;
                } else {
                    pic[size_t(y) * w + x] = ((x - left) % 10 < 3 && r > 24 && r < 40) ? 0x00101030 : 0x00A09070;
                }
            }
    }
    // Small objects: barrels, people, signs.
    for (int k = 0; k < 60; ++k) {
        const int x0 = int(rng() % (w - 6)), y0 = int(rng() % (h - 10));
        const uint32_t c = 0x00400000u + uint32_t(rng() % 0x3FFFFF);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 6; ++x)
                if ((x + y) % 3 != 0)
                    pic[size_t(y0 + y) * w + x0 + x] = c + uint32_t(y);
    }
    return pic;
}

void BM_ScaleDoubleBusyPicture(benchmark::State& state)
{
    const std::vector<uint32_t> src = BusyPicture();
    std::vector<uint32_t> dst(size_t(2 * kViewWidth) * 2 * kViewHeight);
    for (auto _ : state) {
        ScaleDouble(src.data(), kViewWidth, kViewWidth, kViewHeight, dst.data(), 2 * kViewWidth);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ScaleDoubleBusyPicture)->Unit(benchmark::kMicrosecond);

void BM_ScaleDoubleUniformPicture(benchmark::State& state)
{
    const std::vector<uint32_t> src(size_t(kViewWidth) * kViewHeight, 0x00204060);
    std::vector<uint32_t> dst(size_t(2 * kViewWidth) * 2 * kViewHeight);
    for (auto _ : state) {
        ScaleDouble(src.data(), kViewWidth, kViewWidth, kViewHeight, dst.data(), 2 * kViewWidth);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ScaleDoubleUniformPicture)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
