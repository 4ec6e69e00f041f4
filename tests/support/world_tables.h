// Filling the process-wide world tables by hand, for tests of their readers, or from
// a whole game folder, for tests and benchmarks of what draws them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "data/static_tables.h"
#include "data/world_map.h"

namespace support {

// Empties every world table, as at program start.
inline void ClearWorldTables()
{
    std::memset(ChunkPatterns, 0, sizeof ChunkPatterns);
    std::memset(RegionMap, 0, sizeof RegionMap);
    for (auto& a : FixLists)
        for (auto& b : a)
            for (auto& c : b)
                for (FixList& list : c)
                    list.Count = 0;
    for (auto& a : RegLists)
        for (auto& b : a)
            for (auto& c : b)
                for (RegList& list : c)
                    list.Count = 0;
}

// Appends a fixed object standing on tile (x, y) to that tile's chunk.
inline void AddFixedObject(int x, int y, int lift, uint16_t word)
{
    FixList& list = FixListAt(x, y);
    list.Records.resize(size_t(list.Count));
    list.Records.push_back(FixRecord{uint8_t((x & 15) << 4 | (y & 15)), uint8_t(lift), word});
    ++list.Count;
}

// Loads everything a picture of the world is drawn from out of the game folder
// `game` (ending in a separator): static data, chunks, region map, fixed and
// movable objects, interface shapes.
inline void LoadWholeWorld(const std::string& game)
{
    LoadStaticData(game);
    LoadChunkPatterns(game + "STATIC\\VXCHUNKS");
    LoadRegionMap(game + "STATIC\\VXMAP");
    LoadFixLists(game + "STATIC\\VXIFIX");
    LoadRegLists(game + "GAMEDAT\\VXIREG");
    LoadInterfaceShapes(game);
}

}  // namespace support
