// Writes flex archives and little-endian values: the layouts the game's loaders read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace formats {

using Bytes = std::vector<uint8_t>;

void PutU8(Bytes& out, uint8_t v);
void PutU16(Bytes& out, uint16_t v);
void PutI16(Bytes& out, int16_t v);
void PutU32(Bytes& out, uint32_t v);
void PutI32(Bytes& out, int32_t v);
void PutBytes(Bytes& out, const Bytes& more);
void SetU32(Bytes& out, size_t at, uint32_t v);

// A flex archive: 80 bytes of title, a marker, the entry count at offset 84,
// the entry table (offset, size) at 128, then the entries in table order.
// An empty entry is stored as offset 0, size 0.
Bytes MakeFlex(const std::vector<Bytes>& entries, const std::string& title = "Veltharn flex");

// Same archive, but the header declares `declaredCount` entries (for truncated tables).
Bytes MakeFlexDeclaring(const std::vector<Bytes>& entries, int32_t declaredCount);

// Writes bytes to a file, creating its parent folders; throws std::runtime_error on failure.
void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace formats
