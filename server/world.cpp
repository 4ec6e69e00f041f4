// The server's world: the wall tables loaded from the game folder, the wall test and
// the motion rule every actor walks by.
#include "world.h"

#include <cmath>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/actor_motion.h"
#include "platform/binary_file.h"

namespace server {

void LoadWalls(const std::string& gameFolder)
{
    LoadStaticData(gameFolder);
    LoadChunkPatterns(gameFolder + "STATIC\\VXCHUNKS");
    LoadRegionMap(gameFolder + "STATIC\\VXMAP");
}

bool BlockedX(int x, int y) { return ObstacleX(x, y); }
bool BlockedY(int x, int y) { return ObstacleY(x, y); }
bool FreeTile(int x, int y) { return !ObstacleX(x, y) && !ObstacleY(x, y); }

void NearestFreeTile(int& x, int& y)
{
    for (int r = 0; r <= 64; ++r) {
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                if (std::abs(dx) != r && std::abs(dy) != r)
                    continue;  // only the ring at distance r
                const int tx = WrapWorld(x + dx), ty = WrapWorld(y + dy);
                if (FreeTile(tx, ty)) {
                    x = tx;
                    y = ty;
                    return;
                }
            }
        }
    }
}

uint16_t TMotion::X() const { return uint16_t(WrapWorld(net::RoundHalfEven(PosX))); }
uint16_t TMotion::Y() const { return uint16_t(WrapWorld(net::RoundHalfEven(PosY))); }

int StepMotion(TMotion& m)
{
    // The client's own rule for one step; positions then stay on whole tiles, as the
    // float speed is a hair above 0.004 tiles per ms.
    const int refused = net::AdvancePosition(m.PosX, m.PosY, m.DirX, m.DirY, double(StepMs) * double(m.Speed),
                                             ObstacleX, ObstacleY);
    if (m.DirX != 0 && !(refused & 1))
        m.PosX = net::WrapPosition(std::nearbyint(m.PosX));
    if (m.DirY != 0 && !(refused & 2))
        m.PosY = net::WrapPosition(std::nearbyint(m.PosY));
    m.LastTime += StepMs;
    return refused & (int(m.DirX != 0) | int(m.DirY != 0) << 1);
}

bool OpenStep(int x, int y, int dx, int dy)
{
    TMotion probe;
    probe.PosX = x;
    probe.PosY = y;
    probe.DirX = dx;
    probe.DirY = dy;
    probe.Speed = WalkSpeed;
    return StepMotion(probe) == 0;
}

void TurnFromWalls(int x, int y, int& dx, int& dy)
{
    if ((dx == 0 && dy == 0) || OpenStep(x, y, dx, dy))
        return;
    static constexpr int Ring[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    int at = 0;
    while (at < 8 && (Ring[at][0] != dx || Ring[at][1] != dy))
        ++at;
    dx = dy = 0;
    if (at == 8)
        return;  // not a direction of the ring
    for (const int turn : {1, -1, 2, -2, 3, -3, 4}) {
        const int* d = Ring[(at + turn + 8) % 8];
        if (OpenStep(x, y, d[0], d[1])) {
            dx = d[0];
            dy = d[1];
            return;
        }
    }
}

}  // namespace server
