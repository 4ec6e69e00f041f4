// The sample world: every file in the order the client's loaders read them.
#include "world_generator.h"

#include <filesystem>

#include "interface_art.h"
#include "object_art.h"
#include "palette.h"
#include "formats/flex_writer.h"
#include "formats/shape_writer.h"
#include "formats/world_writer.h"
#include "platform/file_names.h"
#include "terrain_tiles.h"
#include "world_map.h"

namespace worldgen {

namespace {

using formats::Bytes;

std::string Join(const std::string& dir, const std::string& a, const std::string& b = "")
{
    std::filesystem::path p = platform::PathFromUtf8(dir);
    p /= a;
    if (!b.empty())
        p /= b;
    return platform::Utf8FromPath(p);
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
    std::filesystem::create_directories(platform::PathFromUtf8(stat));
    std::filesystem::create_directories(platform::PathFromUtf8(gamedat));
    WorldSummary summary;

    say("palette and colour tables");
    const auto palette = MakePalette();
    formats::WriteFile(Join(stat, "PALETTES.FLX"), formats::MakeFlex({Bytes(palette.begin(), palette.end())}, "Veltharn palettes"));
    std::vector<Bytes> transforms;
    for (int k = 0; k < 8; ++k)
        transforms.push_back(Transform(k));
    formats::WriteFile(Join(stat, "XFORM.TBL"), formats::MakeFlex(transforms, "Veltharn colour transforms"));

    say("ground tiles and objects");
    std::vector<Bytes> shapes = MakeGroundTiles();
    const ShapeCatalogue catalogue = MakeObjectShapes();
    Bytes tfa(1024 * 3, 0), dims(874 * 2, 0);
    for (size_t i = 0; i < catalogue.shapes.size(); ++i) {
        const ShapeArt& art = catalogue.shapes[i];
        std::vector<formats::Frame> frames;
        for (const formats::Picture& p : art.frames)
            frames.push_back(formats::FrameFromPicture(p));
        shapes.push_back(formats::MakeShape(frames));
        const size_t shape = 150 + i;
        for (int b = 0; b < 3; ++b)
            tfa[shape * 3 + size_t(b)] = art.flags[b];
        dims[(shape - 150) * 2] = art.dims[0];
        dims[(shape - 150) * 2 + 1] = art.dims[1];
    }
    summary.shapeCount = int(shapes.size());
    summary.characterShapes = int(catalogue.ids.characters.size());
    formats::WriteFile(Join(stat, "SHAPES.VGA"), formats::MakeFlex(shapes, "Veltharn shapes"));
    formats::WriteFile(Join(stat, "TFA.DAT"), tfa);
    formats::WriteFile(Join(stat, "SHPDIMS.DAT"), dims);

    say("fonts, gumps and pointer");
    formats::WriteFile(Join(stat, "FONTS.VGA"), formats::MakeFlex(MakeFonts(), "Veltharn fonts"));
    formats::WriteFile(Join(stat, "GUMPS.VGA"), formats::MakeFlex(MakeGumps(), "Veltharn gumps"));
    formats::WriteFile(Join(stat, "POINTERS.SHP"), MakePointer());

    const WorldMap map = BuildWorldMap(seed, catalogue, [&](const std::string& step) { say("map: " + step); });
    summary.distinctChunks = map.distinctChunks;
    say("writing VXCHUNKS and VXMAP");
    formats::WriteFile(Join(stat, "VXCHUNKS"), formats::MakeChunkPatterns(map.patterns));
    formats::WriteFile(Join(stat, "VXMAP"), formats::MakeRegionMap(map.regionMap));

    say("writing VXIFIX00..8F, VXIREG00..8F and INITGAME.DAT");
    std::vector<std::pair<std::string, Bytes>> initial;
    std::string identityFile = identity;
    identityFile += "\r\n";
    initial.emplace_back("IDENTITY", Bytes(identityFile.begin(), identityFile.end()));
    for (int r = 0; r < kRegionCount; ++r) {
        formats::WriteFile(formats::RegionFileName(Join(stat, "VXIFIX"), r), formats::MakeFixRegion(map.fixed[size_t(r)]));
        const Bytes reg = formats::MakeRegRegion(map.movable[size_t(r)]);
        formats::WriteFile(formats::RegionFileName(Join(gamedat, "VXIREG"), r), reg);
        initial.emplace_back(formats::RegionFileName("VXIREG", r), reg);
        for (const auto& list : map.fixed[size_t(r)])
            summary.fixedObjects += int(list.size());
        for (const auto& list : map.movable[size_t(r)])
            summary.movableObjects += int(list.size());
    }
    formats::WriteFile(Join(stat, "INITGAME.DAT"), formats::MakeInitGame(initial));
    say("done");
    return summary;
}

}  // namespace worldgen
