// Flex archive writer.
#include "formats/flex_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/byte_order.h"
#include "platform/file_names.h"

namespace formats {

void PutU8(Bytes& out, uint8_t v) { out.push_back(v); }
void PutU16(Bytes& out, uint16_t v)
{
    uint8_t b[2];
    platform::PutU16(b, v);
    out.insert(out.end(), b, b + 2);
}
void PutI16(Bytes& out, int16_t v) { PutU16(out, uint16_t(v)); }
void PutU32(Bytes& out, uint32_t v)
{
    uint8_t b[4];
    platform::PutU32(b, v);
    out.insert(out.end(), b, b + 4);
}
void PutI32(Bytes& out, int32_t v) { PutU32(out, uint32_t(v)); }
void PutBytes(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void SetU32(Bytes& out, size_t at, uint32_t v) { platform::PutU32(&out[at], v); }

Bytes MakeFlexDeclaring(const std::vector<Bytes>& entries, int32_t declaredCount)
{
    Bytes out(128, 0);
    const std::string title = "Veltharn flex archive";
    std::copy(title.begin(), title.end(), out.begin());
    out[80] = 0x00; out[81] = 0x1A; out[82] = 0xFF; out[83] = 0xFF;  // marker, never checked
    SetU32(out, 84, uint32_t(declaredCount));
    const size_t table = out.size();
    out.resize(table + 8 * entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint32_t offset = entries[i].empty() ? 0 : uint32_t(out.size());
        SetU32(out, table + 8 * i, offset);
        SetU32(out, table + 8 * i + 4, uint32_t(entries[i].size()));
        PutBytes(out, entries[i]);
    }
    return out;
}

Bytes MakeFlex(const std::vector<Bytes>& entries, const std::string& title)
{
    Bytes out = MakeFlexDeclaring(entries, int32_t(entries.size()));
    std::fill(out.begin(), out.begin() + 80, 0);
    std::copy_n(title.begin(), std::min<size_t>(title.size(), 79), out.begin());
    return out;
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    const std::filesystem::path p = platform::PathFromUtf8(path);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace formats
