// Palette, colour table, colour transforms and shape dimensions, and the
// loading of the static game data in its fixed order.
//
// PALETTES.FLX entry 0: 256 x (red, green, blue), components 0-63 on disk.
// XFORM.TBL entries 0-7: colour-transform tables of 256 bytes.
// TFA.DAT: 1024 x 3 tile-flag bytes (see TVxShapes).
// SHPDIMS.DAT: 874 x 2 bytes for shapes 150-1023; bit 0 of the first byte
// blocks movement along x, bit 0 of the second along y.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/shapes.h"

constexpr int kShapeDimsFirst = 150;
constexpr int kShapeDimsCount = 874;

// Process-wide tables, filled once at start-up (and again by the map viewer).
extern uint8_t GamePalette[768];             // scaled to 0-252
extern uint32_t ColourTable[256];            // 0x00RRGGBB, rotated by CyclePalette
extern uint8_t ColourTransforms[8][256];     // loaded and kept; nothing draws with them
extern uint8_t ShapeDims[kShapeDimsCount][2];

// The one shape store of the process.
extern std::unique_ptr<TVxShapes> VxShapes;

bool ShapeObstacleX(int shape);
bool ShapeObstacleY(int shape);

// Rotates the five cycling ranges of the colour table by one step:
// 224-231, 232-239, 240-243, 244-247 and 248-250.
void CyclePalette();
// After this many steps every range is back where it began (8, 4 and 3 divide it).
constexpr uint32_t kPaletteCycleLength = 24;

// Builds the colour table from the scaled palette.
void BuildColourTable();
// The same table, uncycled, into `table`: reads only the palette, which nothing
// changes after loading, so any thread may build one.
void BuildColourTableInto(uint32_t (&table)[256]);

// Runs the static loading steps in their order from a game folder (ending in a
// separator): palette archive opened, shapes, shape dimensions, palette, colour
// transforms, scaling and colour table, palette copy, tile flags. `progress`,
// when given, is called after each step with the step number 1-8.
// Replaces VxShapes. File errors raise EInOutError. The map viewer loads
// everything but the shape dimensions, which only movement needs.
enum class ShapeDimensions { Load, Skip };
void LoadStaticData(const std::string& gameFolder, const std::function<void(int)>& progress = {},
                    ShapeDimensions dimensions = ShapeDimensions::Load);

// Fonts, gumps and the mouse pointer, in that order, into VxShapes.
void LoadInterfaceShapes(const std::string& gameFolder);
