// vxworldgen OUTDIR [--seed N] [--identity TEXT]: writes a sample game folder.
// vxworldgen --help | --version
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/console.h"
#include "platform/file_names.h"
#include "platform/version.h"
#include "world_generator.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: vxworldgen OUTDIR [--seed N] [--identity TEXT]\n"
                         "       vxworldgen --help | --version\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::Utf8Arguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Argv();
    std::string outDir, identity = worldgen::kDefaultIdentity;
    uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return Usage(), 0;
        if (arg == "--version") {
            std::printf("vxworldgen %s\n", platform::ProgramVersion);
            return 0;
        }
        if (arg == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            seed = std::strtoull(argv[++i], &end, 10);
            if (!end || *end)
                return Usage();
        } else if (arg == "--identity" && i + 1 < argc) {
            identity = argv[++i];
            if (identity.empty() || identity.find_first_of("\r\n") != std::string::npos)
                return Usage();
        } else if (outDir.empty() && !arg.empty() && arg[0] != '-') {
            outDir = arg;
        } else {
            return Usage();
        }
    }
    if (outDir.empty())
        return Usage();
    try {
        const worldgen::WorldSummary s = worldgen::GenerateWorld(outDir, seed, identity, [](const std::string& line) {
            platform::ConsoleLine("vxworldgen: " + line);
        });
        platform::ConsoleLine("vxworldgen: wrote " + outDir + ": " + std::to_string(s.shapeCount) + " shapes, " +
                              std::to_string(s.characterShapes) + " characters, " + std::to_string(s.distinctChunks) +
                              " chunk patterns in use, " + std::to_string(s.fixedObjects) + " fixed and " +
                              std::to_string(s.movableObjects) + " movable objects");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vxworldgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
