// Damaged world files as the client loads them: the region map, the fixed-object
// archives (VXIFIXnn) and the movable-object streams (VXIREGnn), followed by the
// queries the renderer and the movement code ask of the loaded tables.
//
// Input: parts separated by the four bytes "VXFZ":
//   part 0  the fixed-object archive of every even region
//   part 1  the movable-object stream of every even region
//   part 2  the region map (cut or zero-padded to its size); its bytes also
//           become the first chunk patterns
// Region (1, 0) reads the damaged files and region (2, 0) intact ones after it, so
// that a good file is always loaded after a damaged one; region (0, 0) holds intact
// lists loaded once. Only these three regions are loaded and asked about: every
// region goes through the same loader, and loading all 144 for each input made the
// target a hundred times slower for no more coverage.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "fuzz_folder.h"
#include "platform/binary_file.h"
#include "formats/world_writer.h"

namespace {

constexpr int kContainerShape = 400;  // every fourth shape is a container

// Where the queries' answers go, so that none is optimised away.
volatile size_t Sink;

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_world: %s\n", what);
    std::abort();
}

struct Paths {
    std::string fixInput, regInput, mapInput, fixIntact, regIntact;
};

formats::Bytes IntactFixRegion()
{
    formats::FixRegion region;
    region[0].push_back({1, 2, 3, formats::ShapeWord(300, 1)});
    region[17].push_back({15, 15, 12, formats::ShapeWord(301, 0)});
    region[255].push_back({0, 0, 7, formats::ShapeWord(1023, 31)});
    return formats::MakeFixRegion(region);
}

formats::Bytes IntactRegRegion()
{
    formats::RegRegion region;
    region[0].push_back(formats::MovableShort(3, 4, formats::ShapeWord(302, 2), 5));
    region[18].push_back(formats::MovableLong(
        20, 21, formats::ShapeWord(kContainerShape, 0), 2,
        {formats::MovableShort(20, 21, formats::ShapeWord(303, 0), 2)}));
    return formats::MakeRegRegion(region);
}

const Paths& WorldFiles()
{
    static const Paths paths = [] {
        const std::string dir = fuzz::ScratchFolder() + "world/";
        std::filesystem::create_directories(dir);
        Paths p{dir + "fix.in", dir + "reg.in", dir + "map.in", dir + "fix.ok", dir + "reg.ok"};
        formats::WriteFile(p.fixIntact, IntactFixRegion());
        formats::WriteFile(p.regIntact, IntactRegRegion());
        VxShapes = std::make_unique<TVxShapes>();
        for (int s = 0; s < kTileFlagShapes; ++s) {
            VxShapes->TileFlags[s][0] = uint8_t(s * 37);
            VxShapes->TileFlags[s][1] = s % 4 == 0 ? 6 : uint8_t(s);
            VxShapes->TileFlags[s][2] = uint8_t(s * 13);
        }
        LoadFixRegion(p.fixIntact, 0, 0);
        LoadRegRegion(p.regIntact, 0, 0);
        return p;
    }();
    return paths;
}


// Reads every record of the three regions the way the renderer does, checking the
// lists' own promise.
size_t ReadAllRecords()
{
    size_t sum = 0;
    for (int rx = 0; rx < 3; ++rx)
        for (int cy = 0; cy < kChunkTiles; ++cy)
            for (int cx = 0; cx < kChunkTiles; ++cx) {
                const FixList& fix = FixLists[0][rx][cy][cx];
                const RegList& reg = RegLists[0][rx][cy][cx];
                if (fix.Count < 0 || size_t(fix.Count) > fix.Records.size() || reg.Count < 0 ||
                    size_t(reg.Count) > reg.Records.size())
                    Broken("a list counts more records than it holds");
                for (int32_t r = 0; r < fix.Count; ++r)
                    sum += fix.Records[size_t(r)].ShapeFrame + fix.Records[size_t(r)].TileX();
                for (int32_t r = 0; r < reg.Count; ++r)
                    sum += reg.Records[size_t(r)].ShapeFrame() + size_t(reg.Records[size_t(r)].Lift());
                const int x = rx * 256 + cx * 16 + 5;
                const int y = cy * 16 + 9;
                sum += size_t(RoofLimit(x, y, 0) + RoofLimit(x, y, 5) + RoofLimit(x, y, 12));
            }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Paths& paths = WorldFiles();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view fix = fuzz::NextPart(rest);
    const std::string_view reg = fuzz::NextPart(rest);
    const std::string_view map = fuzz::NextPart(rest);

    // The region map file holds the map part cut or zero-padded to its size, and the
    // same bytes are the first chunk patterns (those of the previous input cleared).
    static std::string regionMap(sizeof RegionMap, '\0');
    static size_t lastMap = 0;
    std::fill_n(regionMap.begin(), lastMap, '\0');
    lastMap = std::min(map.size(), regionMap.size());
    if (lastMap > 0)
        std::copy_n(map.begin(), lastMap, regionMap.begin());
    static size_t lastPatterns = 0;
    std::memset(ChunkPatterns, 0, lastPatterns);
    lastPatterns = std::min(map.size(), sizeof ChunkPatterns);
    if (lastPatterns > 0)
        std::memcpy(ChunkPatterns, map.data(), lastPatterns);

    fuzz::WriteInput(paths.fixInput, fix);
    fuzz::WriteInput(paths.regInput, reg);
    fuzz::WriteInput(paths.mapInput, regionMap);
    LoadRegionMap(paths.mapInput);
    try {
        LoadFixRegion(paths.fixInput, 1, 0);
    } catch (const EInOutError&) {
    }
    LoadFixRegion(paths.fixIntact, 2, 0);
    try {
        LoadRegRegion(paths.regInput, 1, 0);
    } catch (const EInOutError&) {
    }
    LoadRegRegion(paths.regIntact, 2, 0);

    size_t sum = ReadAllRecords();
    // Inside the damaged region, on its edges, and places that wrap into it.
    static constexpr int kPlaces[][2] = {{300, 40},  {256, 0},        {511, 255},  {3071 + 300, -3072 + 7},
                                         {INT_MAX, 7}, {9, INT_MIN}, {-2800, 12000}};
    for (const auto& at : kPlaces) {
        sum += size_t(ObstacleX(at[0], at[1])) + size_t(ObstacleY(at[0], at[1]));
        sum += size_t(RoofLimit(at[0], at[1], at[0] & 15)) + size_t(ChunkAt(at[0], at[1]));
    }
    // Chunk drawing reads the patterns only: two chunks, one clipped.
    DrawChunk(160, 100, ChunkAt(300, 40));
    DrawChunk(-50, 250, ChunkAt(256, 0));
    Sink = sum;
    return 0;
}
