// The server tests' game folder.
#include "test_world.h"

#include <vector>

#include "formats/flex_writer.h"
#include "support/mini_game.h"
#include "formats/world_writer.h"

namespace servertest {

void WriteServerTestWorld(const std::string& folder)
{
    using namespace support;
    using namespace formats;
    WriteMiniGame(folder, MiniGame{.characterShape = CharacterShape});
    Bytes tfa(3072, 0);
    tfa[size_t(3 * CharacterShape + 1)] = 12;
    tfa[size_t(3 * OtherCharacterShape + 1)] = 12;
    WriteFile(folder + "STATIC/TFA.DAT", tfa);
    // Shape 151 blocks along x and y; its footprint is its own tile.
    Bytes dims(1748, 0);
    dims[2 * (151 - 150)] = 1;
    dims[2 * (151 - 150) + 1] = 1;
    WriteFile(folder + "STATIC/SHPDIMS.DAT", dims);

    // Pattern 0: bare ground everywhere; pattern 1: the wall in its cell.
    std::vector<ChunkPattern> patterns(kChunkPatternCount);
    for (auto& p : patterns)
        p.fill(ShapeWord(1, 0));
    patterns[1][size_t((WallY % 16) * 16 + WallX % 16)] = ShapeWord(151, 0);
    WriteFile(folder + "STATIC/VXCHUNKS", MakeChunkPatterns(patterns));

    std::vector<uint16_t> map(size_t(kRegionCount) * 256, 0);
    const int cx = WallX / 16, cy = WallY / 16;
    const int region = (cy / 16) * kRegionsPerSide + cx / 16;
    map[size_t(region * 256 + (cy % 16) * 16 + cx % 16)] = 1;
    WriteFile(folder + "STATIC/VXMAP", MakeRegionMap(map));

    const std::string identity = std::string(Identity) + "\r\n";
    WriteFile(folder + "STATIC/INITGAME.DAT",
              MakeInitGame({{"IDENTITY", Bytes(identity.begin(), identity.end())}}));
}

}  // namespace servertest
