// A small game folder for server tests: the mini static files, an empty world with
// one wall tile just east of the town's start tile, and an identity.
#pragma once

#include <string>

namespace servertest {

inline constexpr const char* Identity = "TEST WORLD";
inline constexpr int WallX = 941, WallY = 1220;  // blocks both axes
inline constexpr int CharacterShape = 155;
inline constexpr int OtherCharacterShape = 156;  // a second shape that walks

// Writes the folder (ending in a separator) once per path.
void WriteServerTestWorld(const std::string& folder);

}  // namespace servertest
