// Fonts, gumps and the mouse pointer.
#pragma once

#include <vector>

#include "formats/flex_writer.h"

namespace worldgen {

constexpr int kFontCount = 5;
constexpr int kFontFrames = 127;  // frame = character code; 0-31 are empty
constexpr int kGumpCount = 60;
constexpr int kPointerFrames = 32;
constexpr int kSpeechLogGumps[2] = {49, 54};

// FONTS.VGA entries: font 1 the light overlay font with a dark outline, font 2
// dark ink for parchment, font 3 gold with a shadow, font 4 large titles,
// font 5 the small dark speech-log font (lines 6 pixels apart). A glyph's hot
// spot is its left edge on the baseline; frame headers hold the advance.
std::vector<formats::Bytes> MakeFonts();

// GUMPS.VGA entries, one frame each, hot spot at the top-left corner. Gumps 49
// and 54 are the speech-log panels: 20 lines of 6 pixels from 44 pixels right
// and 35 pixels below the hot spot.
std::vector<formats::Bytes> MakeGumps();

// POINTERS.SHP: frames 0-7 the plain pointer (hot spot at its tip), 8-31
// three bands of eight arrows (north, north-east, ... north-west), small to
// large, hot spot at the arrow's centre.
formats::Bytes MakePointer();

}  // namespace worldgen
