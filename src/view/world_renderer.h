// Draws one 320 x 200 picture of the world around a centre tile.
//
// Objects are visited roughly back to front, level by level; the owner buffer
// settles the rest. Screen geometry, for an object anchored at tile (X, Y) on
// level L with the view centred on (CX, CY):
//
//   SX0 = (X - CX) * 8 + 160, SY0 = (Y - CY) * 8 + 100   hot spot, bottom-right pixel
//   drawn at (SX0 - 4L, SY0 - 4L)                        each level 4 up and 4 left
//   box Col = SX0 / 8 + 16, Row = SY0 / 8 + 16           unlifted, truncated, mod 256
//       ColMin = Col - (XTiles - 1), RowMin = Row - (YTiles - 1), Lift = L, Height
//
// The ground walk covers tile columns CX-20 .. CX+30 and rows CY-12 .. CY+13; the
// object walk covers the chunks holding x in {CX-20, CX-4, CX+12, CX+28} and
// y in {CY-12, CY+4, CY+20}, reaching past the right and bottom edges because
// objects extend up and left from their anchor.
#pragma once

#include <atomic>
#include <cstdint>

namespace net {
class TNPCList;
}

// The animation clock: render time in ms div 125, set by the render thread.
extern std::atomic<uint16_t> AnimTick;
// What the last world picture looked at and drew.
extern std::atomic<uint32_t> ObjectsConsidered;
extern std::atomic<uint32_t> ObjectsDrawn;

// The game picture, chunk by chunk, with the actors of `actors` (none when null; the
// player is its head). Render thread only. The requested lift limit is cut to the roof
// limit above the player; a limit of 0 or below draws the ground only.
void RenderWorld(int centreX, int centreY, int liftLimit, net::TNPCList* actors);

// The map tool's picture: the same walk, with the object pass one tile column at a time.
void RenderWorldColumns(int centreX, int centreY, int liftLimit, net::TNPCList* actors);

// Pictures drawn on the calling thread from now on leave the game alone: no actors
// (and the roof rule takes the player's lift as 0), animation clock 0, and
// ObjectsConsidered / ObjectsDrawn untouched. For a worker drawing the world beside the
// running game; off again with false.
void RenderWithoutGameOnThisThread(bool on);
