// A damaged STATIC\INITGAME.DAT as the world installation unpacks it: every entry
// is checked and written into the world data folder, or the extraction stops with
// an error naming the archive. Nothing may be written outside that folder.
//
// Input: the archive's bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "frontend/world_install.h"
#include "fuzz_folder.h"
#include "platform/binary_file.h"

namespace {

struct Folders {
    std::string game, output, archive;
};

const Folders& InstallFolders()
{
    static const Folders folders = [] {
        const std::string root = fuzz::ScratchFolder() + "install/";
        Folders f{root + "game/", root + "game/CLIDAT/", root + "game/STATIC/INITGAME.DAT"};
        std::filesystem::create_directories(root + "game/STATIC");
        return f;
    }();
    return folders;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Folders& f = InstallFolders();
    fuzz::WriteInput(f.archive, data, size);
    std::filesystem::create_directories(f.output);
    try {
        ExtractInitGame(f.game, f.output, ExtractionStatus{});
    } catch (const EInOutError&) {
    }
    // Only the archive, its folder and the output folder may exist in the game folder.
    for (const auto& entry : std::filesystem::directory_iterator(f.game)) {
        const std::string name = entry.path().filename().string();
        if (name != "STATIC" && name != "CLIDAT") {
            std::fprintf(stderr, "fuzz_initgame: the extraction wrote %s beside its folder\n", name.c_str());
            std::abort();
        }
    }
    std::filesystem::remove_all(f.output);
    return 0;
}
