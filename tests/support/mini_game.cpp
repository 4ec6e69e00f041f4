// A tiny complete set of static game files.
#include "support/mini_game.h"

#include <cctype>

#include "formats/shape_writer.h"

namespace support {

using namespace formats;

Bytes SimpleShape(int frames, int width, uint8_t colour)
{
    std::vector<Frame> list(static_cast<size_t>(frames));
    for (auto& f : list) {
        f.header[0] = int16_t(width + 1);
        Span s;
        s.raw.assign(size_t(width), colour);
        f.spans.push_back(s);
    }
    return MakeShape(list);
}

void WriteMiniGame(const std::string& folder, const MiniGame& game)
{
    const std::string dir = folder + (game.lowerCaseNames ? "static/" : "STATIC/");
    auto name = [&](std::string upper) {
        if (game.lowerCaseNames)
            for (char& c : upper)
                c = char(std::tolower(static_cast<unsigned char>(c)));
        return dir + upper;
    };

    std::vector<Bytes> shapes;
    for (int i = 0; i < game.groundTiles; ++i) {
        Bytes frame(64, uint8_t(i % 200 + 1));  // never equal to the entry's size
        shapes.push_back(MakeGroundTile({frame, frame}));
    }
    for (int i = 0; i < game.objectShapes; ++i)
        shapes.push_back(SimpleShape(3, 4 + i, uint8_t(10 + i)));
    WriteFile(name("SHAPES.VGA"), MakeFlex(shapes));

    std::vector<Bytes> fonts;
    for (int i = 0; i < game.fonts; ++i)
        fonts.push_back(SimpleShape(128, 5, uint8_t(15)));
    WriteFile(name("FONTS.VGA"), MakeFlex(fonts));

    std::vector<Bytes> gumps;
    for (int i = 0; i < game.gumps; ++i)
        gumps.push_back(SimpleShape(1, 20, uint8_t(30 + i % 50)));
    WriteFile(name("GUMPS.VGA"), MakeFlex(gumps));
    WriteFile(name("POINTERS.SHP"), SimpleShape(32, 6, 255));

    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back(uint8_t(i % 64));
        palette.push_back(uint8_t((i / 4) % 64));
        palette.push_back(uint8_t(63 - i % 64));
    }
    WriteFile(name("PALETTES.FLX"), MakeFlex({palette}));

    std::vector<Bytes> transforms;
    for (int t = 0; t < 8; ++t) {
        Bytes table(256);
        for (int i = 0; i < 256; ++i)
            table[size_t(i)] = uint8_t(i ^ t);
        transforms.push_back(table);
    }
    WriteFile(name("XFORM.TBL"), MakeFlex(transforms));

    Bytes tfa(3072, 0);
    if (game.characterShape > 0)
        tfa[size_t(3 * game.characterShape + 1)] = 12;
    tfa.resize(size_t(game.tfaBytes));
    WriteFile(name("TFA.DAT"), tfa);
    WriteFile(name("SHPDIMS.DAT"), Bytes(1748, 0));
}

}  // namespace support
