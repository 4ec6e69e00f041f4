// Layout-level readers of the world files.
#include "support/world_reader.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "platform/file_names.h"

namespace support {

using namespace formats;

namespace {

uint32_t U32At(const Bytes& b, size_t at)
{
    if (at + 4 > b.size())
        throw std::runtime_error("read past the end at " + std::to_string(at));
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(platform::PathFromUtf8(path), std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<Bytes> FlexEntries(const Bytes& archive)
{
    const int32_t count = int32_t(U32At(archive, 84));
    if (count < 0)
        throw std::runtime_error("negative entry count");
    std::vector<Bytes> entries;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t offset = U32At(archive, 128 + 8 * size_t(i));
        const uint32_t size = U32At(archive, 128 + 8 * size_t(i) + 4);
        if (size != 0 && uint64_t(offset) + size > archive.size())
            throw std::runtime_error("entry " + std::to_string(i) + " runs past the end");
        entries.emplace_back(archive.begin() + (size ? offset : 0), archive.begin() + (size ? offset + size : 0));
    }
    return entries;
}

FixRegion ParseFixRegion(const Bytes& archive)
{
    const std::vector<Bytes> entries = FlexEntries(archive);
    if (entries.size() < 256)
        throw std::runtime_error("fixed-object archive of " + std::to_string(entries.size()) + " entries");
    FixRegion region;
    for (size_t e = 0; e < 256; ++e) {
        const Bytes& b = entries[e];
        if (b.size() % 4 != 0)
            throw std::runtime_error("fixed-object entry " + std::to_string(e) + " is not whole records");
        for (size_t i = 0; i < b.size(); i += 4)
            region[e].push_back(FixedObject{b[i] >> 4, b[i] & 15, b[i + 1], uint16_t(b[i + 2] | b[i + 3] << 8)});
    }
    return region;
}

int MovableShape(const MovableObject& o) { return (o.data[2] | o.data[3] << 8) & 1023; }

int MovableLift(const MovableObject& o) { return (o.data.size() == 6 ? o.data[4] : o.data[9]) >> 4; }

namespace {

struct Cursor {
    const Bytes& b;
    size_t at = 0;
    uint8_t Byte()
    {
        if (at >= b.size())
            throw std::runtime_error("movable-object file ends early at " + std::to_string(at));
        return b[at++];
    }
    Bytes Take(size_t n)
    {
        if (at + n > b.size())
            throw std::runtime_error("movable-object entry runs past the end at " + std::to_string(at));
        Bytes out(b.begin() + at, b.begin() + at + n);
        at += n;
        return out;
    }
};

}  // namespace

RegRegion ParseRegRegion(const Bytes& file, const std::function<bool(int shape)>& isContainer)
{
    RegRegion region;
    Cursor c{file};
    int groupEnds = 0;
    while (groupEnds < 256) {
        const uint8_t length = c.Byte();
        if (length == 0) {
            ++groupEnds;
            continue;
        }
        if (length == 1)
            continue;
        MovableObject o;
        o.data = c.Take(length);
        if (length == 12 && isContainer(MovableShape(o)) && (o.data[4] || o.data[5])) {
            for (uint8_t inner = c.Byte(); inner != 1; inner = c.Byte()) {
                if (inner == 0)
                    throw std::runtime_error("group end inside a container at " + std::to_string(c.at));
                o.contents.push_back(MovableObject{c.Take(inner), {}});
            }
        }
        const int chunk = (o.data[1] >> 4) * 16 + (o.data[0] >> 4);
        region[size_t(chunk)].push_back(std::move(o));
    }
    if (c.at != file.size())
        throw std::runtime_error("bytes after the 256th group end");
    return region;
}

std::map<std::string, Bytes> ParseInitGame(const Bytes& archive)
{
    std::map<std::string, Bytes> files;
    for (const Bytes& e : FlexEntries(archive)) {
        if (e.empty())
            continue;
        if (e.size() < 13)
            throw std::runtime_error("INITGAME.DAT entry shorter than its name field");
        std::string name;
        for (size_t i = 0; i < 13 && e[i] != 0; ++i)
            name.push_back(char(e[i]));
        files[name] = Bytes(e.begin() + 13, e.end());
    }
    return files;
}

}  // namespace support
