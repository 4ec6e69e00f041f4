// The minimap over the game picture.
#include "view/minimap.h"

#include <mutex>

#include "data/drawing.h"
#include "net/npc_list.h"

namespace {

constexpr int kHalf = kMinimapSize / 2;

int Wrap(int v)
{
    v %= kOverviewSize;
    return v < 0 ? v + kOverviewSize : v;
}

// The shortest signed way from `from` to `to` round the world: -1536 .. 1535.
int WorldDelta(int to, int from)
{
    int d = Wrap(to - from);
    return d >= kOverviewSize / 2 ? d - kOverviewSize : d;
}

void Plot(uint32_t* colours, int x, int y, uint32_t colour)
{
    // Dots stay inside the minimap, never on its frame or the picture around it.
    if (x < kMinimapLeft || x >= kMinimapLeft + kMinimapSize || y < kMinimapTop || y >= kMinimapTop + kMinimapSize)
        return;
    colours[y * kViewWidth + x] = colour;
}

void DrawFrame(uint32_t* colours)
{
    const int left = kMinimapLeft - 1, right = kMinimapLeft + kMinimapSize;
    const int top = kMinimapTop - 1, bottom = kMinimapTop + kMinimapSize;
    for (int x = left; x <= right; ++x) {
        colours[top * kViewWidth + x] = 0;
        colours[bottom * kViewWidth + x] = 0;
    }
    for (int y = top; y <= bottom; ++y) {
        colours[y * kViewWidth + left] = 0;
        colours[y * kViewWidth + right] = 0;
    }
}

void DrawTiles(uint32_t* colours, const TWorldOverview* overview, int centreX, int centreY)
{
    const bool complete = overview != nullptr && overview->Complete();
    const int firstColumn = Wrap(centreX - kHalf);
    for (int j = 0; j < kMinimapSize; ++j) {
        uint32_t* to = colours + (kMinimapTop + j) * kViewWidth + kMinimapLeft;
        if (!complete) {
            for (int i = 0; i < kMinimapSize; ++i)
                to[i] = kMinimapEmptyColour;
            continue;
        }
        const uint8_t* row = overview->Pixels.data() + size_t(Wrap(centreY - kHalf + j)) * kOverviewSize * 3;
        // The row is taken in at most two runs: up to the world's right edge, then on
        // from its left edge.
        const int firstRun = kOverviewSize - firstColumn < kMinimapSize ? kOverviewSize - firstColumn : kMinimapSize;
        const uint8_t* from = row + size_t(firstColumn) * 3;
        for (int i = 0; i < firstRun; ++i, from += 3)
            to[i] = uint32_t(from[0]) | uint32_t(from[1]) << 8 | uint32_t(from[2]) << 16;
        from = row;
        for (int i = firstRun; i < kMinimapSize; ++i, from += 3)
            to[i] = uint32_t(from[0]) | uint32_t(from[1]) << 8 | uint32_t(from[2]) << 16;
    }
}

}  // namespace

bool MinimapPixel(int x, int y, int centreX, int centreY, int& pictureX, int& pictureY)
{
    const int dx = WorldDelta(x, centreX);
    const int dy = WorldDelta(y, centreY);
    if (dx < -kHalf || dx >= kHalf || dy < -kHalf || dy >= kHalf)
        return false;
    pictureX = kMinimapLeft + kHalf + dx;
    pictureY = kMinimapTop + kHalf + dy;
    return true;
}

void DrawMinimap(uint32_t* colours, const TWorldOverview* overview, int centreX, int centreY,
                 net::TNPCList* actors)
{
    DrawFrame(colours);
    DrawTiles(colours, overview, centreX, centreY);
    if (actors == nullptr)
        return;
    std::lock_guard<std::mutex> hold(actors->Lock());
    const net::TNPCNode* player = actors->Head();
    int px = 0, py = 0;
    for (const net::TNPCNode* a = player->Next; a != nullptr; a = a->Next) {
        if (!MinimapPixel(a->X, a->Y, centreX, centreY, px, py))
            continue;
        Plot(colours, px, py, kMinimapActorColour);
        Plot(colours, px - 1, py, kMinimapActorColour);
        Plot(colours, px + 1, py, kMinimapActorColour);
        Plot(colours, px, py - 1, kMinimapActorColour);
        Plot(colours, px, py + 1, kMinimapActorColour);
    }
    if (MinimapPixel(player->X, player->Y, centreX, centreY, px, py))
        for (int y = py - 1; y <= py + 1; ++y)
            for (int x = px - 1; x <= px + 1; ++x)
                Plot(colours, x, y, kMinimapPlayerColour);
}
