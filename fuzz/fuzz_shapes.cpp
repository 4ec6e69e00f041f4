// A damaged shape file as the client loads and draws it: the shape store's four
// loaders (shapes, fonts, gumps, pointer) in their start-up order, then every frame
// of every slot the damaged file filled drawn at a few places, some of them clipped,
// with and without the occlusion test, plus text in every font. Slots of the intact
// files are not drawn: they are the same for every input.
//
// Input: one mode byte, then the file's bytes. The mode's low two bits pick which
// of SHAPES.VGA, FONTS.VGA, GUMPS.VGA and POINTERS.SHP the bytes replace; the
// others are the intact files of a small game written once at start.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "data/drawing.h"
#include "data/shapes.h"
#include "fuzz_folder.h"
#include "platform/binary_file.h"
#include "support/mini_game.h"

namespace {

struct Files {
    std::string shapes, fonts, gumps, pointers, input;
};

const Files& GameFiles()
{
    static const Files files = [] {
        const std::string folder = fuzz::ScratchFolder() + "game/";
        support::MiniGame game;
        game.objectShapes = 4;
        game.fonts = 2;
        game.gumps = 3;
        support::WriteMiniGame(folder, game);
        const std::string dir = folder + "STATIC/";
        return Files{dir + "SHAPES.VGA", dir + "FONTS.VGA", dir + "GUMPS.VGA", dir + "POINTERS.SHP",
                     fuzz::ScratchFolder() + "input.bin"};
    }();
    return files;
}

// Inside, clipped at the left and bottom, at the right and top, and far away.
constexpr int kPlaces[][2] = {{160, 100}, {-6, 197}, {317, -4}, {-4000, 30000}};

void DrawSlot(TVxShapes& shapes, int slot)
{
    const int frames = shapes.FrameCount(slot);
    const DrawBox box{uint8_t(slot), uint8_t(slot >> 3), 1, 2, uint8_t(slot & 15), uint8_t(slot % 5)};
    for (int frame = 0; frame < frames; ++frame) {
        for (const auto& at : kPlaces) {
            shapes.DrawFrame(at[0], at[1], slot, frame, box);
            shapes.DrawFrameTransposed(at[0], at[1], slot, frame, box);
            shapes.AlwaysDrawFrame(at[0], at[1], slot, frame);
        }
    }
    // One frame past the count, once each way: drawing code must refuse it, not read
    // it (each refusal is a console line, a write the run need not repeat).
    shapes.DrawFrame(160, 100, slot, frames, box);
    shapes.DrawFrameTransposed(160, 100, slot, frames, box);
    shapes.AlwaysDrawFrame(160, 100, slot, frames);
}

// One store for the whole run, built afresh in the same place for each input:
// allocating its 380 KB anew each time cost more than the loading and drawing.
alignas(TVxShapes) unsigned char storage[sizeof(TVxShapes)];
TVxShapes* live = nullptr;

// Loads SHAPES.VGA into a fresh store; when that fails the store is an empty one
// and the error goes on to the caller.
TVxShapes& FreshStore(const std::string& shapesPath)
{
    if (live)
        live->~TVxShapes();
    try {
        live = new (storage) TVxShapes(shapesPath);
    } catch (const EInOutError&) {
        live = new (storage) TVxShapes();
        throw;
    }
    return *live;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const Files& files = GameFiles();
    fuzz::WriteInput(files.input, data + 1, size - 1);
    const int mode = data[0] & 3;
    auto path = [&](int which, const std::string& intact) { return which == mode ? files.input : intact; };

    uint8_t palette[768];
    for (int i = 0; i < 768; ++i)
        palette[i] = uint8_t(i * 7);

    // A load that fails leaves the store as far as it got; it must still draw safely.
    try {
        TVxShapes& store = FreshStore(path(0, files.shapes));
        store.LoadFonts(path(1, files.fonts));
        store.LoadGumps(path(2, files.gumps));
        store.LoadPointers(path(3, files.pointers));
    } catch (const EInOutError&) {
    }
    TVxShapes* const shapes = live;
    shapes->SetPalette(palette);
    for (int s = 0; s < kTileFlagShapes; ++s)
        shapes->TileFlags[s][0] = uint8_t(s * 37);  // some shapes box-ordered

    ClearOwners();
    // The slots the damaged file filled: each loader starts where the one before
    // stopped. A load that failed has not set its end; the slots it stored before
    // failing are drawn as far as 256 past its start.
    const int bounds[5] = {0, shapes->ShapeCount, shapes->GumpBase, shapes->PointerSlot, shapes->PointerSlot + 1};
    const int first = std::max(bounds[mode], 0);
    const int last = std::min(bounds[mode + 1] > first ? bounds[mode + 1] - 1 : first + 255, MAXSHAPENUM);
    for (int slot = first; slot <= last; ++slot)
        DrawSlot(*shapes, slot);
    static const std::string text = [] {
        std::string all;
        for (int c = 0; c < 256; ++c)
            all += char(c);
        return all;
    }();
    for (int font = 1; font <= shapes->GumpBase - shapes->ShapeCount + 1; ++font) {
        shapes->DrawText(text, font, -100, 190);
    }
    for (int gump = 0; gump <= shapes->PointerSlot - shapes->GumpBase; ++gump)
        shapes->DrawGump(150, 90, gump, 0);
    shapes->DrawPointer(310, 195, 0);
    return 0;
}
