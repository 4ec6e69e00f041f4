// The sample world: every file in the order the client's loaders read them.
#include "world_generator.h"

#include <filesystem>

#include "interface_art.h"
#include "object_art.h"
#include "palette.h"
#include "support/flex_writer.h"
#include "support/shape_writer.h"
#include "support/world_writer.h"
#include "terrain_tiles.h"
#include "world_map.h"

namespace worldgen {

namespace {

using support::Bytes;

std::string Join(const std::string& dir, const std::string& a, const std::string& b = "")
{
    std::filesystem::path p(dir);
    p /= a;
    if (!b.empty())
        p /= b;
    return p.string();
}

// Eight colour transforms: each maps a colour to a darker, lighter or tinted
// shade within the palette's ramps; cycling and fixed colours map to themselves.
Bytes Transform(int k)
{
    Bytes t(256);
    for (int i = 0; i < 256; ++i) {
        if (i >= 224) {
            t[size_t(i)] = uint8_t(i);
            continue;
        }
        const Ramp ramp = Ramp(i / 8);
        const int shade = i % 8;
        switch (k) {
        case 0: t[size_t(i)] = Shade(ramp, shade - 2); break;       // shadow
        case 1: t[size_t(i)] = Shade(ramp, shade - 1); break;       // dusk
        case 2: t[size_t(i)] = Shade(ramp, shade + 1); break;       // light
        case 3: t[size_t(i)] = Shade(kClothRed, shade); break;      // red glass
        case 4: t[size_t(i)] = Shade(kClothBlue, shade); break;     // blue glass
        case 5: t[size_t(i)] = Shade(kClothGreen, shade); break;    // green glass
        case 6: t[size_t(i)] = Shade(kGrey, shade); break;          // stone
        default: t[size_t(i)] = Shade(kGold, shade); break;         // gilt
        }
    }
    return t;
}

}  // namespace

WorldSummary GenerateWorld(const std::string& outDir, uint64_t seed, const std::string& identity,
                           const std::function<void(const std::string&)>& progress)
{
    auto say = [&](const std::string& line) {
        if (progress)
            progress(line);
    };
    const std::string stat = Join(outDir, "STATIC");
    const std::string gamedat = Join(outDir, "GAMEDAT");
    std::filesystem::create_directories(stat);
    std::filesystem::create_directories(gamedat);
    WorldSummary summary;

    say("palette and colour tables");
    const auto palette = MakePalette();
    support::WriteFile(Join(stat, "PALETTES.FLX"), support::MakeFlex({Bytes(palette.begin(), palette.end())}, "Veltharn palettes"));
    std::vector<Bytes> transforms;
    for (int k = 0; k < 8; ++k)
        transforms.push_back(Transform(k));
    support::WriteFile(Join(stat, "XFORM.TBL"), support::MakeFlex(transforms, "Veltharn colour transforms"));

    say("ground tiles and objects");
    std::vector<Bytes> shapes = MakeGroundTiles();
    const ShapeCatalogue catalogue = MakeObjectShapes();
    Bytes tfa(1024 * 3, 0), dims(874 * 2, 0);
    for (size_t i = 0; i < catalogue.shapes.size(); ++i) {
        const ShapeArt& art = catalogue.shapes[i];
        std::vector<support::Frame> frames;
        for (const support::Picture& p : art.frames)
            frames.push_back(support::FrameFromPicture(p));
        shapes.push_back(support::MakeShape(frames));
        const size_t shape = 150 + i;
        for (int b = 0; b < 3; ++b)
            tfa[shape * 3 + size_t(b)] = art.flags[b];
        dims[(shape - 150) * 2] = art.dims[0];
        dims[(shape - 150) * 2 + 1] = art.dims[1];
    }
    summary.shapeCount = int(shapes.size());
    summary.characterShapes = int(catalogue.ids.characters.size());
    support::WriteFile(Join(stat, "SHAPES.VGA"), support::MakeFlex(shapes, "Veltharn shapes"));
    support::WriteFile(Join(stat, "TFA.DAT"), tfa);
    support::WriteFile(Join(stat, "SHPDIMS.DAT"), dims);

    say("fonts, gumps and pointer");
    support::WriteFile(Join(stat, "FONTS.VGA"), support::MakeFlex(MakeFonts(), "Veltharn fonts"));
    support::WriteFile(Join(stat, "GUMPS.VGA"), support::MakeFlex(MakeGumps(), "Veltharn gumps"));
    support::WriteFile(Join(stat, "POINTERS.SHP"), MakePointer());

    const WorldMap map = BuildWorldMap(seed, catalogue, [&](const std::string& step) { say("map: " + step); });
    summary.distinctChunks = map.distinctChunks;
    say("writing VXCHUNKS and VXMAP");
    support::WriteFile(Join(stat, "VXCHUNKS"), support::MakeChunkPatterns(map.patterns));
    support::WriteFile(Join(stat, "VXMAP"), support::MakeRegionMap(map.regionMap));

    say("writing VXIFIX00..8F, VXIREG00..8F and INITGAME.DAT");
    std::vector<std::pair<std::string, Bytes>> initial;
    std::string identityFile = identity;
    identityFile += "\r\n";
    initial.emplace_back("IDENTITY", Bytes(identityFile.begin(), identityFile.end()));
    for (int r = 0; r < support::kRegionCount; ++r) {
        support::WriteFile(support::RegionFileName(Join(stat, "VXIFIX"), r), support::MakeFixRegion(map.fixed[size_t(r)]));
        const Bytes reg = support::MakeRegRegion(map.movable[size_t(r)]);
        support::WriteFile(support::RegionFileName(Join(gamedat, "VXIREG"), r), reg);
        initial.emplace_back(support::RegionFileName("VXIREG", r), reg);
        for (const auto& list : map.fixed[size_t(r)])
            summary.fixedObjects += int(list.size());
        for (const auto& list : map.movable[size_t(r)])
            summary.movableObjects += int(list.size());
    }
    support::WriteFile(Join(stat, "INITGAME.DAT"), support::MakeInitGame(initial));
    say("done");
    return summary;
}

}  // namespace worldgen
