// Damaged world files as the client loads them: the region map, the fixed-object
// archives (VXIFIXnn) and the movable-object streams (VXIREGnn), followed by the
// queries the renderer and the movement code ask of the loaded tables.
//
// Input: parts separated by the four bytes "VXFZ":
//   part 0  the fixed-object archive of every even region
//   part 1  the movable-object stream of every even region
//   part 2  the region map (cut or zero-padded to its size); its bytes also
//           become the first chunk patterns
// Odd regions read intact files written once at start, so that a damaged file
// is always loaded between good ones.
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

constexpr std::string_view kSeparator = "VXFZ";
constexpr int kContainerShape = 400;  // every fourth shape is a container

// Where the queries' answers go, so that none is optimised away.
volatile size_t Sink;

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_world: %s\n", what);
    std::abort();
}

struct Paths {
    std::string fixPrefix, regPrefix, fixInput, regInput, mapInput;
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

// The region files: even numbers link to the fuzz inputs, odd ones hold intact data.
const Paths& WorldFiles()
{
    static const Paths paths = [] {
        const std::string dir = fuzz::ScratchFolder() + "world/";
        Paths p{dir + "VXIFIX", dir + "VXIREG", dir + "fix.in", dir + "reg.in", dir + "map.in"};
        formats::WriteFile(dir + "fix.ok", IntactFixRegion());
        formats::WriteFile(dir + "reg.ok", IntactRegRegion());
        for (int k = 0; k < kRegionCount; ++k) {
            const bool fuzzed = k % 2 == 0;
            std::filesystem::create_symlink(fuzzed ? p.fixInput : dir + "fix.ok", RegionFileName(p.fixPrefix, k));
            std::filesystem::create_symlink(fuzzed ? p.regInput : dir + "reg.ok", RegionFileName(p.regPrefix, k));
        }
        VxShapes = std::make_unique<TVxShapes>();
        for (int s = 0; s < kTileFlagShapes; ++s) {
            VxShapes->TileFlags[s][0] = uint8_t(s * 37);
            VxShapes->TileFlags[s][1] = s % 4 == 0 ? 6 : uint8_t(s);
            VxShapes->TileFlags[s][2] = uint8_t(s * 13);
        }
        return p;
    }();
    return paths;
}

std::string_view NextPart(std::string_view& rest)
{
    const size_t at = rest.find(kSeparator);
    const std::string_view part = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + kSeparator.size());
    return part;
}

void Write(const std::string& path, std::string_view bytes)
{
    fuzz::WriteInput(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Reads every record the way the renderer does, checking the lists' own promise.
size_t ReadAllRecords()
{
    size_t sum = 0;
    for (int ry = 0; ry < kRegionsPerSide; ++ry)
        for (int rx = 0; rx < kRegionsPerSide; ++rx)
            for (int cy = 0; cy < kChunkTiles; ++cy)
                for (int cx = 0; cx < kChunkTiles; ++cx) {
                    const FixList& fix = FixLists[ry][rx][cy][cx];
                    const RegList& reg = RegLists[ry][rx][cy][cx];
                    if (fix.Count < 0 || size_t(fix.Count) > fix.Records.size() || reg.Count < 0 ||
                        size_t(reg.Count) > reg.Records.size())
                        Broken("a list counts more records than it holds");
                    for (int32_t r = 0; r < fix.Count; ++r)
                        sum += fix.Records[size_t(r)].ShapeFrame + fix.Records[size_t(r)].TileX();
                    for (int32_t r = 0; r < reg.Count; ++r)
                        sum += reg.Records[size_t(r)].ShapeFrame() + size_t(reg.Records[size_t(r)].Lift());
                    const int x = rx * 256 + cx * 16 + 5;
                    const int y = ry * 256 + cy * 16 + 9;
                    sum += size_t(RoofLimit(x, y, 0) + RoofLimit(x, y, 5) + RoofLimit(x, y, 12));
                }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Paths& paths = WorldFiles();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view fix = NextPart(rest);
    const std::string_view reg = NextPart(rest);
    const std::string_view map = NextPart(rest);

    std::string regionMap(sizeof RegionMap, '\0');
    std::copy_n(map.begin(), std::min(map.size(), regionMap.size()), regionMap.begin());
    Write(paths.fixInput, fix);
    Write(paths.regInput, reg);
    Write(paths.mapInput, regionMap);
    std::memset(ChunkPatterns, 0, sizeof ChunkPatterns);
    if (!map.empty())
        std::memcpy(ChunkPatterns, map.data(), std::min(map.size(), sizeof ChunkPatterns));

    LoadRegionMap(paths.mapInput);
    try {
        LoadFixLists(paths.fixPrefix);
    } catch (const EInOutError&) {
    }
    try {
        LoadRegLists(paths.regPrefix);
    } catch (const EInOutError&) {
    }

    size_t sum = ReadAllRecords();
    static constexpr int kPlaces[][2] = {{0, 0},       {3071, 3071}, {-1, -1},    {940, 1220},
                                         {6143, -3072}, {INT_MAX, 7}, {9, INT_MIN}, {-7000, 12000}};
    for (const auto& at : kPlaces) {
        sum += size_t(ObstacleX(at[0], at[1])) + size_t(ObstacleY(at[0], at[1]));
        sum += size_t(RoofLimit(at[0], at[1], at[0] & 15));
        const int chunk = ChunkAt(at[0], at[1]);
        DrawChunk(160, 100, chunk);
        DrawChunk(-50, 250, chunk);
    }
    Sink = sum;
    return 0;
}
