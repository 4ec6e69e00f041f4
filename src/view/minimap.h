// The minimap: the world overview around the view's centre, one pixel per tile, in
// the picture's top-right corner, with the player and the other actors as dots.
//
//   picture columns kMinimapLeft .. +63, rows kMinimapTop .. +63: tiles
//   (centre - 32 .. centre + 31) on both axes, wrapping round the world;
//   the centre tile lands on (kMinimapLeft + 32, kMinimapTop + 32); a black frame
//   one pixel wide surrounds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/world_geometry.h"

namespace net {
class TNPCList;
}

// The world at one pixel per tile: kOverviewSize rows of kOverviewSize pixels, rows
// top to bottom, 3 bytes a pixel in blue, green, red order (the map viewer's
// overview layout). Pixel (x, y) shows tile (x, y).
constexpr int kOverviewSize = kWorldTiles;
constexpr size_t kOverviewBytes = size_t(kOverviewSize) * kOverviewSize * 3;

struct TWorldOverview {
    std::vector<uint8_t> Pixels;  // kOverviewBytes once made or read

    bool Complete() const { return Pixels.size() == kOverviewBytes; }
};

constexpr int kMinimapSize = 64;
constexpr int kMinimapLeft = 320 - kMinimapSize - 4;
constexpr int kMinimapTop = 4;
constexpr uint32_t kMinimapPlayerColour = 0x00FFFF00;  // bright yellow
constexpr uint32_t kMinimapActorColour = 0x00FF3030;   // red
constexpr uint32_t kMinimapEmptyColour = 0x00202020;   // while no overview is there yet

// Draws the minimap into a 320 x 200 colour buffer around tile (centreX, centreY):
// the overview (or a dark square without a complete one), the actors of `actors`
// other than the player as red crosses of five pixels, then the player (the list's
// head) as a bright 3 x 3 square on its tile. Takes the actor list's lock once, for
// the dots. Nothing is allocated.
void DrawMinimap(uint32_t* colours, const TWorldOverview* overview, int centreX, int centreY,
                 net::TNPCList* actors);

// Where tile (x, y) lands in the picture with the minimap centred on (centreX,
// centreY), taking the shorter way round the world; false when outside the minimap.
bool MinimapPixel(int x, int y, int centreX, int centreY, int& pictureX, int& pictureY);
