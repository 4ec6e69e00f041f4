// Writes a complete sample game folder: shapes, fonts, gumps, pointer,
// palette and tables in STATIC, the world files, INITGAME.DAT with the
// identity and the initial movable objects, and GAMEDAT's VXIREG files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace worldgen {

constexpr const char* kDefaultIdentity = "EMBER VALE";

struct WorldSummary {
    int shapeCount = 0;        // entries of SHAPES.VGA (ground tiles included)
    int characterShapes = 0;   // class 12 or 13
    int distinctChunks = 0;    // chunk patterns the map uses
    int fixedObjects = 0;
    int movableObjects = 0;    // top-level entries
};

// The lines `progress` receives in one run, "done" last.
constexpr int kGenerateSteps = 10;

// Writes the folder (created if needed). The bytes depend only on the seed
// and the identity. `progress`, when given, receives one line per step.
WorldSummary GenerateWorld(const std::string& outDir, uint64_t seed, const std::string& identity = kDefaultIdentity,
                           const std::function<void(const std::string&)>& progress = {});

}  // namespace worldgen
