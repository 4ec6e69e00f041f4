// The minimap: which overview pixel lands where, round the world's edges, and the dots.
#include "view/minimap.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "data/drawing.h"
#include "net/npc_list.h"

namespace {

// The colour of overview pixel (x, y) in the test overview.
uint32_t Tile(int x, int y) { return uint32_t(x) << 12 | uint32_t(y); }

const TWorldOverview& TestOverview()
{
    static const TWorldOverview overview = [] {
        TWorldOverview o;
        o.Pixels.resize(kOverviewBytes);
        for (int y = 0; y < kOverviewSize; ++y)
            for (int x = 0; x < kOverviewSize; ++x) {
                const uint32_t c = Tile(x, y);
                uint8_t* p = o.Pixels.data() + (size_t(y) * kOverviewSize + size_t(x)) * 3;
                p[0] = uint8_t(c);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c >> 16);
            }
        return o;
    }();
    return overview;
}

std::vector<uint32_t> Picture() { return std::vector<uint32_t>(kViewWidth * kViewHeight, 0x00123456); }

uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[size_t(y) * kViewWidth + size_t(x)]; }

}  // namespace

TEST(Minimap, ShowsTheTilesAroundTheCentreRoundTheWorldsEdges)
{
    for (const auto& [cx, cy] : std::vector<std::pair<int, int>>{{940, 1220}, {10, 3065}, {3070, 5}}) {
        std::vector<uint32_t> picture = Picture();
        DrawMinimap(picture.data(), &TestOverview(), cx, cy, nullptr);
        int wrong = 0;
        for (int j = 0; j < kMinimapSize; ++j)
            for (int i = 0; i < kMinimapSize; ++i) {
                const int x = (cx - 32 + i + kOverviewSize) % kOverviewSize;
                const int y = (cy - 32 + j + kOverviewSize) % kOverviewSize;
                wrong += At(picture, kMinimapLeft + i, kMinimapTop + j) != Tile(x, y);
            }
        EXPECT_EQ(wrong, 0) << cx << "," << cy;
        // A black frame round it, and nothing else touched.
        EXPECT_EQ(At(picture, kMinimapLeft - 1, kMinimapTop - 1), 0u);
        EXPECT_EQ(At(picture, kMinimapLeft + kMinimapSize, kMinimapTop + kMinimapSize), 0u);
        EXPECT_EQ(At(picture, kMinimapLeft - 2, kMinimapTop), 0x00123456u);
        EXPECT_EQ(At(picture, kMinimapLeft, kMinimapTop + kMinimapSize + 1), 0x00123456u);
    }
}

TEST(Minimap, WithoutAnOverviewItIsDarkAndStillShowsTheDots)
{
    net::TNPCList actors;
    actors.Head()->X = 500;
    actors.Head()->Y = 600;
    std::vector<uint32_t> picture = Picture();
    TWorldOverview partial;
    partial.Pixels.resize(100);  // not a whole overview: not read
    DrawMinimap(picture.data(), &partial, 500, 600, &actors);
    EXPECT_EQ(At(picture, kMinimapLeft, kMinimapTop), kMinimapEmptyColour);
    EXPECT_EQ(At(picture, kMinimapLeft + 32, kMinimapTop + 32), kMinimapPlayerColour);
}

TEST(Minimap, DotsStandOnTheirTilesTheShortWayRoundAndStayInside)
{
    net::TNPCList actors;
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        actors.Head()->X = 3071;  // the player, one tile left of the centre across the wrap
        actors.Head()->Y = 2;
        const std::pair<int, int> others[] = {{20, 10}, {3050, 3060}, {1, 31}, {100, 2}};
        int id = 10;
        for (const auto& [x, y] : others) {
            auto a = std::make_unique<net::TNPCRecord>();
            a->ID = id++;
            a->X = uint16_t(x);
            a->Y = uint16_t(y);
            actors.InsertEntry(std::move(a));
        }
    }
    std::vector<uint32_t> picture = Picture();
    DrawMinimap(picture.data(), &TestOverview(), 0, 0, &actors);
    const auto pixel = [](int dx, int dy) { return std::pair<int, int>{kMinimapLeft + 32 + dx, kMinimapTop + 32 + dy}; };
    const auto [px, py] = pixel(-1, 2);
    for (int y = py - 1; y <= py + 1; ++y)
        for (int x = px - 1; x <= px + 1; ++x)
            EXPECT_EQ(At(picture, x, y), kMinimapPlayerColour);
    const auto [ax, ay] = pixel(20, 10);
    EXPECT_EQ(At(picture, ax, ay), kMinimapActorColour);
    EXPECT_EQ(At(picture, ax + 1, ay), kMinimapActorColour);
    EXPECT_EQ(At(picture, ax + 1, ay + 1), Tile(21, 11));  // a cross, not a square
    const auto [bx, by] = pixel(-22, -12);  // (3050, 3060) the short way round
    EXPECT_EQ(At(picture, bx, by - 1), kMinimapActorColour);
    // (1, 31) is on the last row: its cross is cut there, never drawn on the frame.
    const auto [cx, cy] = pixel(1, 31);
    EXPECT_EQ(At(picture, cx, cy), kMinimapActorColour);
    EXPECT_EQ(At(picture, cx, cy + 1), 0u);
    int actorPixels = 0;
    for (uint32_t p : picture)
        actorPixels += p == kMinimapActorColour;
    EXPECT_EQ(actorPixels, 14);  // two whole crosses and a cut one; (100, 2) falls outside
    int wx = 0, wy = 0;
    EXPECT_FALSE(MinimapPixel(100, 2, 0, 0, wx, wy));
    EXPECT_TRUE(MinimapPixel(3040, 0, 0, 0, wx, wy));  // 32 left: the first column
    EXPECT_EQ(wx, kMinimapLeft);
    EXPECT_FALSE(MinimapPixel(32, 0, 0, 0, wx, wy));  // 32 right: one past the last
}
