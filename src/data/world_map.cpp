// World map tables, their loaders and the queries on them.
#include "data/world_map.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "data/flex_reader.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "platform/binary_file.h"
#include "platform/console.h"

static_assert(std::endian::native == std::endian::little,
              "the world tables are read from disk as stored, little-endian");

uint16_t ChunkPatterns[kChunkPatternCount][kChunkTiles][kChunkTiles] = {};
uint16_t RegionMap[kRegionCount][kChunkTiles][kChunkTiles] = {};
FixList FixLists[kRegionsPerSide][kRegionsPerSide][kChunkTiles][kChunkTiles];
RegList RegLists[kRegionsPerSide][kRegionsPerSide][kChunkTiles][kChunkTiles];

namespace {

constexpr int kChunksPerRegion = kChunkTiles * kChunkTiles;

std::atomic<uint32_t> tableLoads{0};

// The movable-object stream of one region file, read whole.
class RegStream {
public:
    explicit RegStream(const std::string& path) : file_(path)
    {
        bytes_.resize(size_t(file_.FileSize()));
        file_.ReadExact(bytes_.data(), bytes_.size());
    }

    uint8_t Byte()
    {
        Need(1);
        return bytes_[pos_++];
    }
    const uint8_t* Take(size_t count)
    {
        Need(count);
        const uint8_t* p = bytes_.data() + pos_;
        pos_ += count;
        return p;
    }
    size_t Position() const { return pos_; }
    const std::string& Path() const { return file_.Path(); }

private:
    void Need(size_t count)
    {
        if (bytes_.size() - pos_ < count)
            throw EInOutError(file_.Path() + ": ends at byte " + std::to_string(bytes_.size()) +
                              " before its 256th group end");
    }

    platform::BinaryFile file_;
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

// Skips a container's contents up to and including the next length byte 1.
void SkipContents(RegStream& in)
{
    for (;;) {
        const uint8_t length = in.Byte();
        if (length == 1)
            return;
        in.Take(length);
    }
}

}  // namespace

void LoadRegRegion(const std::string& path, int rx, int ry)
{
    tableLoads.fetch_add(1, std::memory_order_relaxed);
    auto& region = RegLists[ry][rx];
    for (auto& row : region)
        for (RegList& list : row)
            list.Count = 0;

    RegStream in(path);
    int groupEnds = 0;
    while (groupEnds < kChunksPerRegion) {
        const size_t at = in.Position();
        const uint8_t length = in.Byte();
        if (length == 0) {
            ++groupEnds;
            continue;
        }
        if (length == 1)
            continue;
        const uint8_t* data = in.Take(length);
        if (length > kMaxRegEntry) {
            platform::ConsoleLine(in.Path() + ": entry of " + std::to_string(length) + " bytes at byte " +
                                  std::to_string(at) + " is longer than 19, skipped");
            continue;
        }
        RegRecord record;
        record.Length = length;
        std::memcpy(record.Data, data, length);
        RegList& list = region[data[1] >> 4][data[0] >> 4];
        if (size_t(list.Count) < list.Records.size())
            list.Records[size_t(list.Count)] = record;
        else
            list.Records.push_back(record);
        ++list.Count;
        if (length == 12 && VxShapes->IsContainerShape(record.ShapeFrame()) && (data[4] != 0 || data[5] != 0))
            SkipContents(in);
    }
}

namespace {

bool TileBlocks(int x, int y, bool alongX)
{
    x = WrapWorld(x);
    y = WrapWorld(y);
    const int tx = x & 15;
    const int ty = y & 15;
    const auto& pattern = ChunkPatterns[ChunkAt(x, y)];
    for (int j = 0; j < kChunkTiles; ++j) {
        for (int i = 0; i < kChunkTiles; ++i) {
            const int shape = WordShape(pattern[j][i]);
            if (shape < kFirstObjectShape)
                continue;
            // Footprints reach left and up from the object's cell.
            const int xs = -VxShapes->ExtentX(shape);
            const int ys = -VxShapes->ExtentY(shape);
            if (tx < i - xs || tx > i || ty < j - ys || ty > j)
                continue;
            if (alongX ? ShapeObstacleX(shape) : ShapeObstacleY(shape))
                return true;
        }
    }
    return false;
}

}  // namespace

uint32_t WorldTableLoads() { return tableLoads.load(std::memory_order_relaxed); }

std::string RegionFileName(const std::string& prefix, int region)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    return prefix + kHex[(region >> 4) & 15] + kHex[region & 15];
}

void LoadChunkPatterns(const std::string& path)
{
    tableLoads.fetch_add(1, std::memory_order_relaxed);
    platform::ReadFilePrefix(path, ChunkPatterns, sizeof ChunkPatterns);
}

void LoadRegionMap(const std::string& path)
{
    tableLoads.fetch_add(1, std::memory_order_relaxed);
    // Read aside and repaired before the table takes it: a file that ends early must
    // not leave unchecked pattern numbers in the table (they index ChunkPatterns).
    const auto read = std::make_unique_for_overwrite<uint16_t[]>(sizeof RegionMap / sizeof(uint16_t));
    platform::ReadFilePrefix(path, read.get(), sizeof RegionMap);
    int bad = 0;
    int firstRegion = 0, firstCell = 0, firstValue = 0;
    for (int k = 0; k < kRegionCount; ++k) {
        for (int cell = 0; cell < kChunksPerRegion; ++cell) {
            uint16_t& pattern = read[size_t(k * kChunksPerRegion + cell)];
            if (pattern < kChunkPatternCount)
                continue;
            if (bad++ == 0) {
                firstRegion = k;
                firstCell = cell;
                firstValue = pattern;
            }
            pattern = 0;
        }
    }
    std::memcpy(RegionMap, read.get(), sizeof RegionMap);
    if (bad > 0)
        platform::ConsoleLine(path + ": " + std::to_string(bad) + " chunk pattern number(s) of 3072 or more read as 0 (first: " +
                              std::to_string(firstValue) + " in region " + std::to_string(firstRegion) + " chunk (" +
                              std::to_string(firstCell % 16) + ", " + std::to_string(firstCell / 16) + "))");
}

void LoadFixRegion(const std::string& path, int rx, int ry)
{
    tableLoads.fetch_add(1, std::memory_order_relaxed);
    std::vector<uint8_t> entry;
    TFlexReader reader(path);
    const int available = reader.Count() < kChunksPerRegion ? std::max(reader.Count(), 0) : kChunksPerRegion;
    if (available < kChunksPerRegion)
        platform::ConsoleLine(reader.Path() + ": " + std::to_string(available) +
                              " entries, the chunks after them have no fixed objects");
    for (int e = 0; e < kChunksPerRegion; ++e) {
        FixList& list = FixLists[ry][rx][e / 16][e % 16];
        if (e >= available) {
            list.Count = 0;
            continue;
        }
        const int32_t size = reader.Size();
        // A partial record at the end of an entry is dropped. The count is set
        // only once its records are stored: an entry that cannot be read leaves
        // the chunk empty, never counting records it does not hold.
        const int32_t count = size / int32_t(sizeof(FixRecord));
        list.Count = 0;
        if (size != 0) {
            reader.ReadEntry(entry);
            list.Records.resize(size_t(count));
            for (int32_t r = 0; r < count; ++r) {
                const uint8_t* b = entry.data() + 4 * r;
                list.Records[size_t(r)] = FixRecord{b[0], b[1], platform::GetU16(b + 2)};
            }
        }
        list.Count = count;
        reader.Next();
    }
}

void LoadFixLists(const std::string& prefix)
{
    for (int ry = 0; ry < kRegionsPerSide; ++ry)
        for (int rx = 0; rx < kRegionsPerSide; ++rx)
            LoadFixRegion(RegionFileName(prefix, ry * kRegionsPerSide + rx), rx, ry);
}

void LoadRegLists(const std::string& prefix)
{
    if (!VxShapes)
        throw std::logic_error("LoadRegLists needs the shape store's tile flags");
    for (int ry = 0; ry < kRegionsPerSide; ++ry)
        for (int rx = 0; rx < kRegionsPerSide; ++rx)
            LoadRegRegion(RegionFileName(prefix, ry * kRegionsPerSide + rx), rx, ry);
}

int ChunkAt(int x, int y)
{
    x = WrapWorld(x);
    y = WrapWorld(y);
    return RegionMap[(y >> 8) * kRegionsPerSide + (x >> 8)][(y >> 4) & 15][(x >> 4) & 15];
}

int RoofLimit(int x, int y, int playerLift)
{
    const FixList& list = FixListAt(WrapWorld(x), WrapWorld(y));
    int limit = 15;
    for (int32_t r = 0; r < list.Count; ++r) {
        const int lift = list.Records[size_t(r)].Lift;
        if (lift > 9 && playerLift < 9 && limit > 10)
            limit = 10;
        if (lift > 4 && playerLift < 4)
            limit = 5;
    }
    return limit;
}

bool ObstacleX(int x, int y) { return TileBlocks(x, y, true); }
bool ObstacleY(int x, int y) { return TileBlocks(x, y, false); }

void DrawChunk(int x, int y, int c)
{
    if (c < 0 || c >= kChunkPatternCount)
        throw std::out_of_range("chunk pattern " + std::to_string(c) + " does not exist (0-3071)");
    const auto& pattern = ChunkPatterns[c];
    for (int pass = 0; pass < 2; ++pass) {
        for (int j = 0; j < kChunkTiles; ++j) {
            for (int i = 0; i < kChunkTiles; ++i) {
                const uint16_t word = pattern[j][i];
                if ((WordShape(word) >= kFirstObjectShape) != (pass == 1))
                    continue;
                VxShapes->DrawFrame(x - 112 + 8 * i, y - 112 + 8 * j, WordShape(word), WordFrame(word), DrawBox{});
            }
        }
    }
}
