// Chunk patterns for the countryside, the town's own patterns, and the object
// lists of every region.
#include "world_map.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "landscape.h"
#include "rng.h"
#include "terrain_tiles.h"
#include "town.h"

namespace worldgen {

using formats::ShapeWord;

namespace {

// What decides a countryside chunk's pattern: its corners, a variant and its
// road sides. Chunks with the same key share one pattern.
struct PatternKey {
    Terrain c[4];  // north-west, north-east, south-west, south-east
    int variant;
    int roads;
    uint64_t Packed() const
    {
        return uint64_t(c[0]) | uint64_t(c[1]) << 4 | uint64_t(c[2]) << 8 | uint64_t(c[3]) << 12 |
               uint64_t(variant) << 16 | uint64_t(roads) << 24;
    }
    bool Uniform() const { return c[0] == c[1] && c[0] == c[2] && c[0] == c[3]; }
};

int GroundOf(Terrain t)
{
    switch (t) {
    case kDeep: return kDeepWater;
    case kShallow: return kShallowWater;
    case kSand: return kSandGround;
    case kGrassland: return kGrassGround;
    case kMeadow: return kMeadowGround;
    case kForest: return kForestFloor;
    case kSwamp: return kSwampGround;
    case kSnow: return kSnowGround;
    default: return kRockGround;
    }
}

class PatternMaker {
public:
    explicit PatternMaker(const ObjectIds& ids) : ids_(ids) {}

    formats::ChunkPattern Make(const PatternKey& key) const
    {
        const uint64_t seed = Hash(key.Packed(), 0x5EED);
        Terrain t[16][16];
        Classes(key, seed, t);
        formats::ChunkPattern p{};
        bool road[16][16] = {};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                road[y][x] = ((key.roads & 1) && y < 2) || ((key.roads & 2) && x > 13) || ((key.roads & 4) && y > 13) ||
                             ((key.roads & 8) && x < 2);
        auto at = [&](int x, int y) { return t[std::clamp(y, 0, 15)][std::clamp(x, 0, 15)]; };
        auto isRoad = [&](int x, int y) { return x >= 0 && y >= 0 && x < 16 && y < 16 && road[y][x]; };
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const Terrain here = t[y][x];
                const uint64_t h = Hash(seed, uint64_t(x), uint64_t(y));
                int ground = GroundOf(here);
                int frame = int(h % uint64_t(GroundFrameCount(ground)));
                auto mask = [&](auto pred) {
                    return (pred(at(x, y - 1)) ? 1 : 0) | (pred(at(x + 1, y)) ? 2 : 0) | (pred(at(x, y + 1)) ? 4 : 0) |
                           (pred(at(x - 1, y)) ? 8 : 0);
                };
                if (road[y][x]) {
                    const int m = (isRoad(x, y - 1) || y == 0 ? 0 : 1) | (isRoad(x + 1, y) || x == 15 ? 0 : 2) |
                                  (isRoad(x, y + 1) || y == 15 ? 0 : 4) | (isRoad(x - 1, y) || x == 0 ? 0 : 8);
                    p[size_t(y * 16 + x)] = m ? ShapeWord(kRoadEdge, m) : ShapeWord(kRoad, int(h % 8));
                    continue;
                }
                bool edge = false;
                if (here == kSand) {
                    if (const int m = mask([](Terrain n) { return IsWater(n); })) {
                        ground = kShore, frame = m, edge = true;
                    }
                } else if (here == kGrassland || here == kMeadow) {
                    if (const int m = mask([](Terrain n) { return n == kSand; })) {
                        ground = kGrassSand, frame = m, edge = true;
                    }
                } else if (here == kDeep) {
                    if (const int m = mask([](Terrain n) { return n == kShallow; })) {
                        ground = kDeepEdge, frame = m, edge = true;
                    }
                }
                p[size_t(y * 16 + x)] = ShapeWord(ground, frame);
                bool nearRoad = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        nearRoad |= isRoad(x + dx, y + dy);
                if (!edge && !nearRoad)
                    PlaceNature(p, t, x, y, key.variant, h);
            }
        return p;
    }

private:
    // The terrain of each tile: the corner whose blend weight, plus some
    // smooth noise that fades out towards the chunk's sides, is largest.
    static void Classes(const PatternKey& key, uint64_t seed, Terrain t[16][16])
    {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                if (key.Uniform()) {
                    t[y][x] = key.c[0];
                    continue;
                }
                const double u = (x + 0.5) / 16, v = (y + 0.5) / 16;
                const double w[4] = {(1 - u) * (1 - v), u * (1 - v), (1 - u) * v, u * v};
                const double taper = std::min({u, 1 - u, v, 1 - v}) * 3.0;
                double best = -1;
                Terrain pick = key.c[0];
                for (int i = 0; i < 4; ++i) {
                    double sum = 0;
                    for (int j = 0; j < 4; ++j)
                        if (key.c[j] == key.c[i])
                            sum += w[j];
                    const double n = (WrappedValueNoise(seed + uint64_t(key.c[i]), x / 3.0, y / 3.0, 64) - 0.5) *
                                     0.6 * std::min(1.0, taper);
                    if (sum + n > best) {
                        best = sum + n;
                        pick = key.c[i];
                    }
                }
                t[y][x] = pick;
            }
        // Beaches between land and water, and shallows along every shore.
        Terrain copy[16][16];
        std::copy(&t[0][0], &t[0][0] + 256, &copy[0][0]);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                bool water = false, land = false;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) {
                        const Terrain n = copy[std::clamp(y + dy, 0, 15)][std::clamp(x + dx, 0, 15)];
                        const bool near = std::abs(dx) <= 1 && std::abs(dy) <= 1;
                        water |= near && IsWater(n);
                        land |= !IsWater(n);
                    }
                const Terrain here = copy[y][x];
                if (here == kDeep && land)
                    t[y][x] = kShallow;
                else if (water && !IsWater(here) && here != kSwamp && here != kSnow)
                    t[y][x] = kSand;
            }
    }

    void PlaceNature(formats::ChunkPattern& p, Terrain t[16][16], int x, int y, int variant, uint64_t h) const
    {
        const int roll = int((h >> 20) % 1000);
        const int frame = int((h >> 40) % 3);
        auto put = [&](int shape) {
            if (shape >= 0)
                p[size_t(y * 16 + x)] = ShapeWord(shape, frame);
        };
        const int density = 60 + variant * 25;  // per mille, per variant
        switch (t[y][x]) {
        case kForest:
            if (roll < density * 4)
                put((h >> 12) % 3 == 0 ? ids_.pine[kOnForest] : ids_.oak[kOnForest]);
            else if (roll < density * 4 + 50)
                put(ids_.bush[kOnForest]);
            else if (roll < density * 4 + 60)
                put(ids_.rock[kOnForest]);
            break;
        case kGrassland:
            if (roll < density / 2)
                put((h >> 12) % 4 == 0 ? ids_.birch[kOnGrass] : ids_.oak[kOnGrass]);
            else if (roll < density / 2 + 25)
                put(ids_.bush[kOnGrass]);
            else if (roll < density / 2 + 35)
                put(ids_.rock[kOnGrass]);
            else if (roll < density / 2 + 55)
                put(ids_.flowers[kOnGrass]);
            break;
        case kMeadow:
            if (roll < 70)
                put(ids_.flowers[kOnMeadow]);
            else if (roll < 70 + density / 3)
                put(ids_.birch[kOnMeadow]);
            else if (roll < 110 + density / 3)
                put(ids_.bush[kOnMeadow]);
            break;
        case kSnow:
            if (roll < density * 2)
                put(ids_.pine[kOnSnow]);
            else if (roll < density * 2 + 20)
                put(ids_.rock[kOnSnow]);
            else if (roll < density * 2 + 30)
                put(ids_.deadTree[kOnSnow]);
            break;
        case kSwamp:
            if (roll < 150)
                put(ids_.reeds[kOnSwamp]);
            else if (roll < 150 + density / 2)
                put(ids_.deadTree[kOnSwamp]);
            else if (roll < 200 + density / 2)
                put(ids_.bush[kOnSwamp]);
            break;
        case kRocky:
            if (roll < 120)
                put(ids_.rock[kOnRock]);
            else if (roll < 140 && x > 0 && y > 0 && t[y - 1][x] == kRocky && t[y][x - 1] == kRocky &&
                     t[y - 1][x - 1] == kRocky && p[size_t(y * 16 + x - 1)] % 1024 < 150 &&
                     p[size_t((y - 1) * 16 + x)] % 1024 < 150 && p[size_t((y - 1) * 16 + x - 1)] % 1024 < 150)
                p[size_t(y * 16 + x)] = ShapeWord(ids_.boulder, 0);
            else if (roll < 160)
                put(ids_.deadTree[kOnRock]);
            break;
        case kSand:
            if (roll < 15)
                put(ids_.palm[kOnSand]);
            else if (roll < 30)
                put(ids_.bush[kOnSand]);
            else if (roll < 38)
                put(ids_.rock[kOnSand]);
            break;
        default:
            break;
        }
    }

    const ObjectIds& ids_;
};

class MapAssembler {
public:
    MapAssembler(const ObjectIds& ids) : maker_(ids)
    {
        map_.regionMap.assign(size_t(kRegionCount * 256), 0);
        map_.fixed.resize(kRegionCount);
        map_.movable.resize(kRegionCount);
    }

    // A pattern of its own (town chunks): never shared.
    int AddUnique(const formats::ChunkPattern& p)
    {
        if (map_.patterns.size() >= size_t(kChunkPatternCount))
            throw std::logic_error("out of chunk patterns for the town");
        map_.patterns.push_back(p);
        return int(map_.patterns.size()) - 1;
    }

    // The shared pattern for a key; when the table is full, a simpler key
    // (no variant, then no road, then the plain north-west terrain) stands in.
    int Shared(PatternKey key)
    {
        for (int attempt = 0;; ++attempt) {
            const auto found = byKey_.find(key.Packed());
            if (found != byKey_.end())
                return found->second;
            if (map_.patterns.size() < size_t(kChunkPatternCount) - reserve_ || attempt >= 3) {
                const int n = int(map_.patterns.size());
                map_.patterns.push_back(maker_.Make(key));
                byKey_[key.Packed()] = n;
                return n;
            }
            if (attempt == 0)
                key.variant = 0;
            else if (attempt == 1)
                key.roads = 0;
            else
                key.c[1] = key.c[2] = key.c[3] = key.c[0];
        }
    }

    void SetChunk(int cx, int cy, int pattern)
    {
        const int region = (cy / 16) * 12 + cx / 16;
        map_.regionMap[size_t(region * 256 + (cy % 16) * 16 + cx % 16)] = uint16_t(pattern);
    }

    void AddFixed(int x, int y, int lift, uint16_t word)
    {
        const TilePos p{x, y};
        map_.fixed[size_t(p.Region())][size_t(p.ChunkInRegion())].push_back({p.TileX(), p.TileY(), lift, word});
    }

    void AddMovable(int x, int y, formats::MovableObject o)
    {
        const TilePos p{x, y};
        o.data[0] = uint8_t(((x / 16) % 16) << 4 | p.TileX());
        o.data[1] = uint8_t(((y / 16) % 16) << 4 | p.TileY());
        map_.movable[size_t(p.Region())][size_t(p.ChunkInRegion())].push_back(std::move(o));
    }

    // Fills the unused pattern numbers with more variants of open land, so the
    // table is whole and every entry is a real pattern.
    void FillPatterns()
    {
        map_.distinctChunks = int(map_.patterns.size());
        const Terrain land[] = {kGrassland, kMeadow, kForest, kSnow, kSwamp, kRocky, kSand};
        for (int n = 0; map_.patterns.size() < size_t(kChunkPatternCount); ++n) {
            const Terrain t = land[n % 7];
            PatternKey key{{t, t, t, t}, 4 + (n / 7) % 12, (n / 84) % 16};
            map_.patterns.push_back(maker_.Make(key));
        }
    }

    WorldMap Take() { return std::move(map_); }
    void Reserve(int n) { reserve_ = size_t(n); }

private:
    PatternMaker maker_;
    WorldMap map_;
    std::map<uint64_t, int> byKey_;
    size_t reserve_ = 0;
};

}  // namespace

WorldMap BuildWorldMap(uint64_t seed, const ShapeCatalogue& shapes, const std::function<void(const std::string&)>& progress)
{
    const ObjectIds& ids = shapes.ids;
    progress("landscape");
    const Landscape land = MakeLandscape(seed);
    MapAssembler out(ids);

    progress("town");
    const Town town = BuildTown(seed, ids);
    for (const TownChunk& c : town.chunks)
        out.SetChunk(c.cx, c.cy, out.AddUnique(c.pattern));

    progress("chunk patterns");
    // Plain patterns of every terrain first, so the fall-back always exists.
    for (int t = 0; t < kTerrainCount; ++t) {
        const Terrain tt = Terrain(t);
        out.Shared(PatternKey{{tt, tt, tt, tt}, 0, 0});
    }
    for (int cy = 0; cy < kWorldChunks; ++cy)
        for (int cx = 0; cx < kWorldChunks; ++cx) {
            if (InTown(cx, cy))
                continue;
            PatternKey key{{land.Corner(cx, cy), land.Corner(cx + 1, cy), land.Corner(cx, cy + 1), land.Corner(cx + 1, cy + 1)},
                           0, land.roads[size_t(cy * kWorldChunks + cx)]};
            const uint64_t h = Hash(seed, uint64_t(cx), uint64_t(cy), 77);
            if (key.Uniform())
                key.variant = IsWater(key.c[0]) ? int(h % 2) : int(h % 6);
            else
                key.variant = key.roads ? 0 : int(h % 2);
            out.SetChunk(cx, cy, out.Shared(key));
        }
    out.FillPatterns();

    progress("objects");
    for (const PlacedFixed& f : town.fixed)
        out.AddFixed(f.x, f.y, f.lift, f.word);
    for (const PlacedMovable& m : town.movable)
        out.AddMovable(m.x, m.y, m.object);
    // Camps where the roads end: a fire, a signpost, a barrel and a chest.
    Rng rng(seed * 13 + 3);
    for (int chunk : land.roadEnds) {
        const int x = (chunk % kWorldChunks) * 16 + 8, y = (chunk / kWorldChunks) * 16 + 8;
        out.AddFixed(x, y, 0, ShapeWord(ids.campfire, 0));
        out.AddFixed(x - 3, y - 2, 0, ShapeWord(ids.signpost, 0));
        out.AddFixed(x + 2, y - 3, 0, ShapeWord(ids.flag, 0));
        out.AddMovable(x + 2, y + 1, ShortEntry(ShapeWord(ids.barrel, 0), 0));
        out.AddMovable(x - 2, y + 2, LongEntry(ShapeWord(ids.chest, 0), 0,
                                               {ShortEntry(ShapeWord(ids.items[size_t(rng.Below(12))], 0), 0),
                                                ShortEntry(ShapeWord(ids.items[size_t(rng.Below(12))], 0), 0)}));
        out.AddMovable(x + 1, y - 1, ShortEntry(ShapeWord(ids.items[size_t(rng.Below(12))], 0), 0));
    }
    // Loose things along the roads, now and then.
    for (int c = 0; c < kWorldChunks * kWorldChunks; ++c) {
        if (!land.roads[size_t(c)] || rng.Below(12) != 0)
            continue;
        const int x = (c % kWorldChunks) * 16 + 2 + rng.Below(12), y = (c / kWorldChunks) * 16 + 2 + rng.Below(12);
        out.AddMovable(x, y, rng.Chance(50) ? ShortEntry(ShapeWord(ids.items[size_t(rng.Below(12))], 0), 0)
                                            : LongEntry(ShapeWord(ids.sack, 0), 0));
    }
    return out.Take();
}

}  // namespace worldgen
