// Reads the world files back at the level of their layouts, for tests: flex
// entries, fixed-object region archives, movable-object region files and the
// initial-state archive. Malformed input raises std::runtime_error.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "formats/world_writer.h"

namespace support {

using formats::Bytes;
using formats::FixRegion;
using formats::MovableObject;
using formats::RegRegion;

Bytes ReadFile(const std::string& path);
// The whole file as text; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

// Every entry of a flex archive, in table order (empty entries stay empty).
std::vector<Bytes> FlexEntries(const Bytes& archive);

// The records of a fixed-object archive, one list per chunk; throws when the
// archive has fewer than 256 entries or an entry is not a multiple of 4 bytes.
FixRegion ParseFixRegion(const Bytes& archive);

// The entries of a movable-object region file, each filed under the chunk its
// d[0] and d[1] name (contents of containers included in `contents`).
// `isContainer` tells which shapes carry contents; throws on a truncated file
// or one with fewer than 256 group ends.
RegRegion ParseRegRegion(const Bytes& file, const std::function<bool(int shape)>& isContainer);

// Lift of a movable entry: high nibble of d[4] when L = 6, of d[9] otherwise.
int MovableLift(const MovableObject& o);
int MovableShape(const MovableObject& o);

// INITGAME.DAT: file name -> content.
std::map<std::string, Bytes> ParseInitGame(const Bytes& archive);

}  // namespace support
