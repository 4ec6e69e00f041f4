// Continents from wrapped fractal noise, climate from moisture and latitude,
// and roads found by a cheapest-path search over the chunk edges.
#include "landscape.h"

#include <algorithm>
#include <cmath>
#include <queue>

#include "rng.h"

namespace worldgen {

bool InTown(int cx, int cy) { return cx >= kTownX0 && cx <= kTownX1 && cy >= kTownY0 && cy <= kTownY1; }

bool Landscape::UniformLand(int cx, int cy) const
{
    const Terrain t = Corner(cx, cy);
    return !IsWater(t) && t != kSand && Corner(cx + 1, cy) == t && Corner(cx, cy + 1) == t && Corner(cx + 1, cy + 1) == t;
}

namespace {

double WrappedDistance(double a, double b)
{
    double d = std::fabs(a - b);
    return std::min(d, kWorldChunks - d);
}

Terrain Classify(double e, double m, double cold, double rough)
{
    if (e < 0.45)
        return kDeep;
    if (e < 0.5)
        return kShallow;
    if (e < 0.512)
        return kSand;
    if (cold > 0.62)
        return e > 0.8 ? kRocky : kSnow;
    if (e > 0.84 || (e > 0.7 && rough > 0.72))
        return kRocky;
    if (m > 0.62 && e < 0.58)
        return kSwamp;
    if (m > 0.52)
        return kForest;
    if (m < 0.4)
        return kMeadow;
    return kGrassland;
}

int TravelCost(Terrain t)
{
    switch (t) {
    case kGrassland: case kMeadow: return 2;
    case kSand: return 4;
    case kForest: return 5;
    case kSnow: return 6;
    case kRocky: return 9;
    case kSwamp: return 12;
    default: return -1;
    }
}

}  // namespace

Landscape MakeLandscape(uint64_t seed)
{
    Landscape l;
    const int n = kWorldChunks;
    l.corners.resize(size_t(n * n));
    l.roads.assign(size_t(n * n), 0);
    const double tx = kTownCentreX / 16.0, ty = kTownCentreY / 16.0;
    for (int cy = 0; cy < n; ++cy)
        for (int cx = 0; cx < n; ++cx) {
            double e = 0.75 * WrappedFractalNoise(seed * 4 + 1, cx, cy, n, 3, 4) +
                       0.25 * WrappedFractalNoise(seed * 4 + 2, cx, cy, n, 12, 3);
            // Stretch the noise so that seas and continents both get room.
            e = 0.5 + (e - 0.5) * 2.1 - 0.1;
            // The home continent: land all round the town.
            const double dx = WrappedDistance(cx, tx), dy = WrappedDistance(cy, ty);
            e += 0.22 * std::exp(-(dx * dx + dy * dy) / (2 * 16.0 * 16.0));
            const double m = WrappedFractalNoise(seed * 4 + 3, cx, cy, n, 6, 3);
            const double rough = WrappedFractalNoise(seed * 4 + 4, cx, cy, n, 16, 2);
            // Cold in a band across the north (which wraps into the far south).
            const double lat = std::fabs(std::sin(3.14159265358979323846 * cy / n));  // 0 at row 0
            const double cold = (1.0 - lat) * 0.9 + 0.3 * (m - 0.5);
            Terrain t = Classify(e, m, cold, rough);
            if (t == kRocky && dx * dx + dy * dy < 14 * 14)
                t = kGrassland;  // open country round the town
            if (cx >= kTownX0 - 2 && cx <= kTownX1 + 3 && cy >= kTownY0 - 2 && cy <= kTownY1 + 3)
                t = kGrassland;
            l.corners[size_t(cy * n + cx)] = t;
        }

    // Roads: cheapest paths along chunk edges from the town's corner to camps
    // spread over the home continent. An edge is usable when both chunks
    // beside it are dry land; a chunk costs what its hardest corner costs.
    auto chunkCost = [&](int cx, int cy) {
        if (InTown(Landscape::Wrap(cx), Landscape::Wrap(cy)))
            return 1;
        int worst = 0;
        for (int c = 0; c < 4; ++c) {
            const int cost = TravelCost(l.Corner(cx + c % 2, cy + c / 2));
            if (cost < 0)
                return -1;
            worst = std::max(worst, cost);
        }
        return worst;
    };
    auto passable = [&](int cx, int cy) { return chunkCost(cx, cy) > 0; };
    // Edge from corner (x, y) to the neighbouring corner in direction d (0 N, 1 E, 2 S, 3 W);
    // returns the cost or -1, and the two chunks beside it.
    auto edgeCost = [&](int x, int y, int d) {
        int ax, ay, bx, by;  // chunks on either side
        switch (d) {
        case 0: ax = x - 1; ay = y - 1; bx = x; by = y - 1; break;
        case 1: ax = x; ay = y - 1; bx = x; by = y; break;
        case 2: ax = x - 1; ay = y; bx = x; by = y; break;
        default: ax = x - 1; ay = y - 1; bx = x - 1; by = y; break;
        }
        if (!passable(ax, ay) || !passable(bx, by))
            return -1;
        return chunkCost(ax, ay) + chunkCost(bx, by);
    };
    const int dxs[4] = {0, 1, 0, -1}, dys[4] = {-1, 0, 1, 0};
    const int start = (kTownCentreY / 16) * n + kTownCentreX / 16;  // a corner inside the town
    std::vector<int> dist(size_t(n * n), 1 << 30), from(size_t(n * n), -1);
    using Item = std::pair<int, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    dist[size_t(start)] = 0;
    open.push({0, start});
    while (!open.empty()) {
        const auto [d, c] = open.top();
        open.pop();
        if (d != dist[size_t(c)])
            continue;
        const int x = c % n, y = c / n;
        for (int dir = 0; dir < 4; ++dir) {
            const int cost = edgeCost(x, y, dir);
            if (cost < 0)
                continue;
            const int nc = Landscape::Wrap(y + dys[dir]) * n + Landscape::Wrap(x + dxs[dir]);
            if (d + cost < dist[size_t(nc)]) {
                dist[size_t(nc)] = d + cost;
                from[size_t(nc)] = c;
                open.push({d + cost, nc});
            }
        }
    }
    // Camps: reachable corners at a good distance, spread out by a coarse grid.
    Rng rng(seed * 7 + 5);
    std::vector<int> camps;
    for (int gy = 0; gy < n; gy += 32)
        for (int gx = 0; gx < n; gx += 32) {
            int best = -1;
            for (int tries = 0; tries < 40; ++tries) {
                const int c = (gy + rng.Below(32)) * n + gx + rng.Below(32);
                if (dist[size_t(c)] < (1 << 30) && dist[size_t(c)] > 60 && dist[size_t(c)] < 900) {
                    best = c;
                    break;
                }
            }
            if (best >= 0)
                camps.push_back(best);
        }
    // Mark each path's edges on the chunks beside them.
    auto markEdge = [&](int a, int b) {
        const int ax = a % n, ay = a / n, bx = b % n, by = b / n;
        auto mark = [&](int cx, int cy, uint8_t bit) {
            if (!InTown(Landscape::Wrap(cx), Landscape::Wrap(cy)))
                l.roads[size_t(Landscape::Wrap(cy) * n + Landscape::Wrap(cx))] |= bit;
        };
        if (ay == by) {  // horizontal edge at corner row ay: chunks above (south side) and below (north side)
            const int x = (Landscape::Wrap(bx - ax) == 1) ? ax : bx;
            mark(x, ay - 1, 4);
            mark(x, ay, 1);
        } else {  // vertical edge at corner column ax: chunks left (east side) and right (west side)
            const int y = (Landscape::Wrap(by - ay) == 1) ? ay : by;
            mark(ax - 1, y, 2);
            mark(ax, y, 8);
        }
    };
    for (int camp : camps) {
        for (int c = camp; from[size_t(c)] >= 0; c = from[size_t(c)])
            markEdge(from[size_t(c)], c);
        // The camp itself: the chunk south-east of the end corner, if it is open land.
        const int cx = camp % n, cy = camp / n;
        if (l.UniformLand(cx, cy) && !InTown(cx, cy))
            l.roadEnds.push_back(cy * n + cx);
    }
    return l;
}

}  // namespace worldgen
