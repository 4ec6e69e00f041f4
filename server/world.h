// The server's view of the world: the walls and the motion rule by which every
// actor walks.
//
// Motion is the client's own prediction rule, so that what the server decides and
// what every client draws agree tile for tile: an actor moves only when the game
// time passes a 250 ms boundary, by Speed x 250 ms along (DirX, DirY), and each axis
// is tested against the walls on its own (x first, then y with x as it ended).
// Directions hold -1, 0 or 1 per axis and the speed is 4 tiles a second, so each
// step is one whole tile and the tile positions sent in states are exact.
#pragma once

#include <cstdint>
#include <string>

namespace server {

inline constexpr float WalkSpeed = 0.004f;  // tiles per ms: 4 tiles a second
inline constexpr uint32_t StepMs = 250;     // positions change only on these boundaries

// Loads what the wall test needs from a game folder (ending in a separator): the
// static tables (tile flags, shape dimensions), the chunk patterns and the region map.
void LoadWalls(const std::string& gameFolder);

// Whether a tile blocks walking along x or along y (the chunk pattern's objects).
bool BlockedX(int x, int y);
bool BlockedY(int x, int y);
// A tile that blocks along neither axis.
bool FreeTile(int x, int y);
// The free tile nearest to (x, y), searched in growing squares; (x, y) itself when
// nothing within 64 tiles is free.
void NearestFreeTile(int& x, int& y);

struct TMotion {
    double PosX = 0, PosY = 0;
    int DirX = 0, DirY = 0;  // -1, 0 or 1
    float Speed = 0;
    uint32_t LastTime = 0;   // game time (a 250 ms boundary) at which PosX, PosY hold

    bool Moving() const { return DirX != 0 || DirY != 0; }
    uint16_t X() const;
    uint16_t Y() const;
};

// Whether one step from (x, y) along (dx, dy) moves on every axis it asks for.
bool OpenStep(int x, int y, int dx, int dy);
// Keeps (dx, dy) when its step is open, else takes the nearest turn (45 degrees
// either way, then 90, ...) whose step is open; (0, 0) when every way is shut.
void TurnFromWalls(int x, int y, int& dx, int& dy);

// The 250 ms boundary at or before a game time.
inline uint32_t StepFloor(uint32_t t) { return t / StepMs * StepMs; }

// Takes one step of the client's rule from LastTime to LastTime + 250. Returns a
// bit for each axis whose move a wall refused (1 = x, 2 = y).
int StepMotion(TMotion& motion);

}  // namespace server
