// World-file writers.
#include "formats/world_writer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace formats {

Bytes MakeChunkPatterns(const std::vector<ChunkPattern>& patterns)
{
    Bytes out;
    out.reserve(patterns.size() * 512);
    for (const ChunkPattern& p : patterns)
        for (uint16_t w : p)
            PutU16(out, w);
    return out;
}

Bytes MakeRegionMap(const std::vector<uint16_t>& patternNumbers)
{
    Bytes out;
    out.reserve(patternNumbers.size() * 2);
    for (uint16_t n : patternNumbers)
        PutU16(out, n);
    return out;
}

Bytes MakeFixRegion(const FixRegion& chunks)
{
    std::vector<Bytes> entries;
    entries.reserve(chunks.size());
    for (const auto& list : chunks) {
        Bytes entry;
        for (const FixedObject& o : list) {
            if (o.tileX < 0 || o.tileX > 15 || o.tileY < 0 || o.tileY > 15 || o.lift < 0 || o.lift > 255)
                throw std::invalid_argument("fixed object outside its chunk");
            PutU8(entry, uint8_t(o.tileX << 4 | o.tileY));
            PutU8(entry, uint8_t(o.lift));
            PutU16(entry, o.word);
        }
        entries.push_back(std::move(entry));
    }
    return MakeFlex(entries, "Veltharn fixed objects");
}

namespace {

Bytes PositionBytes(int regionTileX, int regionTileY, uint16_t word)
{
    if (regionTileX < 0 || regionTileX > 255 || regionTileY < 0 || regionTileY > 255)
        throw std::invalid_argument("movable object outside its region");
    Bytes d;
    PutU8(d, uint8_t(regionTileX));
    PutU8(d, uint8_t(regionTileY));
    PutU16(d, word);
    return d;
}

void PutEntry(Bytes& out, const MovableObject& o)
{
    if (o.data.size() < 2 || o.data.size() > 19)
        throw std::invalid_argument("movable-object entry of " + std::to_string(o.data.size()) + " bytes");
    PutU8(out, uint8_t(o.data.size()));
    PutBytes(out, o.data);
    if (o.contents.empty())
        return;
    for (const MovableObject& inner : o.contents)
        PutEntry(out, inner);
    PutU8(out, 1);
}

}  // namespace

MovableObject MovableShort(int regionTileX, int regionTileY, uint16_t word, int lift, uint8_t quality)
{
    MovableObject o;
    o.data = PositionBytes(regionTileX, regionTileY, word);
    PutU8(o.data, uint8_t((lift & 15) << 4));
    PutU8(o.data, quality);
    return o;
}

MovableObject MovableLong(int regionTileX, int regionTileY, uint16_t word, int lift,
                          std::vector<MovableObject> contents)
{
    MovableObject o;
    o.data = PositionBytes(regionTileX, regionTileY, word);
    PutU8(o.data, contents.empty() ? 0 : uint8_t(std::min<size_t>(contents.size(), 255)));  // d[4]
    PutU8(o.data, 0);                                                                      // d[5]
    PutU8(o.data, 0);                                                                      // d[6]
    PutU8(o.data, 0);                                                                      // d[7]
    PutU8(o.data, 0);                                                                      // d[8]
    PutU8(o.data, uint8_t((lift & 15) << 4));                                              // d[9]
    PutU8(o.data, 0);                                                                      // d[10]
    PutU8(o.data, 0);                                                                      // d[11]
    o.contents = std::move(contents);
    return o;
}

Bytes MakeRegRegion(const RegRegion& chunks)
{
    Bytes out;
    for (const auto& list : chunks) {
        for (const MovableObject& o : list)
            PutEntry(out, o);
        PutU8(out, 0);
    }
    return out;
}

std::string RegionFileName(const std::string& prefix, int region)
{
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", region & 0xFF);
    return prefix + digits;
}

Bytes MakeInitGameEntry(const std::string& name, const Bytes& content)
{
    if (name.empty() || name.size() > 13)
        throw std::invalid_argument("INITGAME.DAT names have 1 to 13 characters");
    Bytes out(13, 0);
    std::copy(name.begin(), name.end(), out.begin());
    PutBytes(out, content);
    return out;
}

Bytes MakeInitGame(const std::vector<std::pair<std::string, Bytes>>& files)
{
    std::vector<Bytes> entries;
    entries.reserve(files.size());
    for (const auto& [name, content] : files)
        entries.push_back(MakeInitGameEntry(name, content));
    return MakeFlex(entries, "Veltharn initial game");
}

}  // namespace formats
