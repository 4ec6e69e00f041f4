// Hand-drawn bitmap glyphs for codes 32-126: a 5 x 7 face and a 3 x 5 face.
// Each glyph is its rows top to bottom, '#' for ink.
#pragma once

namespace worldgen {

extern const char* const kGlyphs5x7[95];  // 35 characters each
extern const char* const kGlyphs3x5[95];  // 15 characters each

}  // namespace worldgen
