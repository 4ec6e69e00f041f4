// The client's motion rule: how an actor advances along its last known course
// between the server's updates. The server walks its actors by the same rule, so
// that what it decides and what every client draws agree tile for tile.
#pragma once

#include <cstdint>

#include "net/npc_list.h"
#include "platform/rounding.h"
#include "platform/world_geometry.h"

namespace net {

// Whether the world blocks walking through tile (x, y) along one axis. Tiles are
// passed as rounded, possibly one past either edge (-1, 3072): the test wraps them.
using ObstacleTest = bool (*)(int x, int y);

// A moved coordinate brought back into 0 <= p < kWorldTiles.
double WrapPosition(double p);

using platform::RoundHalfEven;

// Moves (posX, posY) by `distance` tiles along (dirX, dirY), each axis tested on its
// own: x first at the new tile, then y at the tile with x as it ended, so an actor
// walking diagonally into a wall along x keeps sliding along y. A moved coordinate
// is wrapped into the world. Returns a bit for each axis whose move was refused
// (1 = x, 2 = y); an axis whose target is not a finite number stays where it is and
// counts as refused.
int AdvancePosition(double& posX, double& posY, double dirX, double dirY, double distance,
                    ObstacleTest obstacleX, ObstacleTest obstacleY);

// Brings one actor record up to render time t: a moving actor (bit 0 of Flags) with
// t past its LastTime advances by (t - LastTime) x Speed tiles, its X, Y become the
// rounded PosX, PosY (after the wrap, so 3071.7 gives X 3072) and its AnimShift
// follows its speed. LastTime becomes t for every record, moving or not; a record
// whose LastTime lies ahead of t is not moved.
void MoveActor(TNPCRecord& actor, uint32_t t, ObstacleTest obstacleX, ObstacleTest obstacleY);

// The walking animation rate for a speed in tiles per ms: 0 at 8 tiles a second,
// 1 at 4, 2 for anything else.
uint8_t AnimShiftFor(float speed);

}  // namespace net
