// A tiny but complete set of static game files, for tests that need a game
// folder without generating a whole world.
#pragma once

#include <string>

#include "formats/flex_writer.h"

namespace support {

using formats::Bytes;

struct MiniGame {
    int groundTiles = 150;       // ground-tile entries at the start of SHAPES.VGA
    int objectShapes = 10;       // run-length shapes after them (slots 150...)
    int characterShape = 155;    // gets tile-flag class 12 (0 for none)
    int fonts = 5;
    int gumps = 55;
    int tfaBytes = 3072;         // shorter to make TFA.DAT damaged
    bool lowerCaseNames = false; // "static/shapes.vga" as some copies ship
};

// A run-length shape of `frames` frames, each one raw span of `width` pixels of `colour`.
Bytes SimpleShape(int frames, int width, uint8_t colour);

// Writes STATIC\ with SHAPES.VGA, FONTS.VGA, GUMPS.VGA, POINTERS.SHP,
// PALETTES.FLX, XFORM.TBL, TFA.DAT and SHPDIMS.DAT into `folder`.
void WriteMiniGame(const std::string& folder, const MiniGame& game = {});

}  // namespace support
