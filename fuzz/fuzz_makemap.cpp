// The map viewer's Make Map over damaged world files: the region map and the fixed
// and movable objects of the regions the first views cross are loaded from the
// input as Begin loads them, then Make Map runs with one or two
// threads, with or without the PNG, until the input's number of views has been
// drawn and the run is cancelled (a whole overview is 9272 views: seconds per input).
// The cancelled run must remove its files; two views of the viewer's map draw go
// over the rest of the damaged regions.
//
// Input: an option byte (bits 0-2 the views before the cancel less one, bit 3 two
// threads, bit 4 the PNG, bits 5-7 the lift limit less 9), then parts separated by
// "VXFZ": the fixed-object archive, the movable-object stream and the region map.
// Regions (0, 0) and (1, 0) read the damaged files. The static data is an intact
// small game loaded once, and the chunk patterns are intact ground and objects of
// it (patterns naming missing shapes would spend the run on a console line per
// tile; fuzz_world reads damaged patterns).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "fuzz_folder.h"
#include "platform/binary_file.h"
#include "support/mini_game.h"
#include "tools/map_viewer.h"

namespace {


[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_makemap: %s\n", what);
    std::abort();
}

struct Paths {
    std::string fix, reg, map, raw, png;
};

const Paths& GameFiles()
{
    static const Paths paths = [] {
        const std::string game = fuzz::ScratchFolder() + "game/";
        support::MiniGame mini;
        mini.gumps = 1;
        mini.fonts = 1;
        support::WriteMiniGame(game, mini);
        LoadStaticData(game, {}, ShapeDimensions::Skip);
        // Ground tiles of frame 0 and, on every fifth cell, one of the object shapes.
        for (int c = 0; c < kChunkPatternCount; ++c)
            for (int j = 0; j < kChunkTiles; ++j)
                for (int i = 0; i < kChunkTiles; ++i)
                    ChunkPatterns[c][j][i] =
                        uint16_t((c + i * j) % 5 == 0 ? 150 + (c + i) % mini.objectShapes : (c + 3 * i + j) % 150);
        const std::string in = fuzz::ScratchFolder();
        return Paths{in + "fix.in", in + "reg.in", in + "map.in", in + "map.raw", in + "map.png"};
    }();
    return paths;
}


// Cancels once the input's number of views is drawn.
class Canceller : public tools::MakeMapObserver {
public:
    explicit Canceller(int views) : views_(views) {}
    void ViewDrawn(const uint32_t* colours) override
    {
        sum_ += colours[0] + colours[320 * 100 + 160];
        ++drawn_;
    }
    bool Cancelled() override { return drawn_ >= views_; }
    void BandWritten(int) override { Broken("a band was written before the cancel"); }

private:
    int views_;
    int drawn_ = 0;
    uint32_t sum_ = 0;
};

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const Paths& paths = GameFiles();
    const uint8_t options = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view fix = fuzz::NextPart(rest);
    const std::string_view reg = fuzz::NextPart(rest);
    const std::string_view map = fuzz::NextPart(rest);
    fuzz::WriteInput(paths.fix, fix);
    fuzz::WriteInput(paths.reg, reg);
    fuzz::WriteInput(paths.map, map);

    // As Begin: region map, fixed objects, movable objects; a file error ends the
    // loading where it occurs, and Make Map draws what was loaded.
    try {
        LoadRegionMap(paths.map);
        LoadFixRegion(paths.fix, 0, 0);
        LoadFixRegion(paths.fix, 1, 0);
        LoadRegRegion(paths.reg, 0, 0);
        LoadRegRegion(paths.reg, 1, 0);
    } catch (const EInOutError&) {
    }

    tools::MakeMapOptions run;
    run.RawPath = paths.raw;
    if (options & 0x10)
        run.PngPath = paths.png;
    run.Threads = options & 0x08 ? 2 : 1;
    run.LiftLimit = 9 + (options >> 5);
    Canceller observer((options & 7) + 1);
    try {
        tools::MakeMap(run, observer);
        Broken("Make Map finished although it was cancelled");
    } catch (const tools::MapCancelled&) {
    }
    if (Exists(paths.raw) || Exists(paths.png))
        Broken("a cancelled Make Map left its files");

    // The viewer's map draw over the parts of the regions the first band misses.
    tools::DrawMapView(128, 140, run.LiftLimit);
    tools::DrawMapView(384, 220, run.LiftLimit);
    return 0;
}
