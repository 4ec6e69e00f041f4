// The client's motion rule.
#include "net/actor_motion.h"

#include <cmath>

namespace net {
namespace {

// The tile for an obstacle test: the rounded coordinate, kept within one lap of the
// world so that the conversion to int is defined (the test wraps it further).
int ObstacleTile(double p)
{
    if (p < -kWorldTiles || p > 2.0 * kWorldTiles)
        p = WrapPosition(p);
    return RoundHalfEven(p);
}

}  // namespace

// The wrap of a moved coordinate: one lap either way, as positions normally move a
// tile or two per step. A coordinate still outside the world after that (a record
// left standing for hours, or a wild speed from the wire) is brought in by the
// remainder, so X and Y always fit their 16 bits.
double WrapPosition(double p)
{
    if (p > kWorldTiles - 1)
        p -= kWorldTiles;
    if (p < 0)
        p += kWorldTiles;
    if (p < 0 || p >= kWorldTiles) {
        p = std::fmod(p, double(kWorldTiles));
        if (p < 0)
            p += kWorldTiles;
    }
    return p;
}

int AdvancePosition(double& posX, double& posY, double dirX, double dirY, double distance,
                    ObstacleTest obstacleX, ObstacleTest obstacleY)
{
    int refused = 0;
    double nx = posX + distance * dirX;
    const double ny = posY + distance * dirY;
    const bool finiteX = std::isfinite(nx);
    const bool finiteY = std::isfinite(ny);
    if (!finiteX)
        nx = posX;
    const int tileY = ObstacleTile(finiteY ? ny : posY);

    if (finiteX && !obstacleX(ObstacleTile(nx), tileY)) {
        posX = WrapPosition(nx);
    } else {
        nx = posX;
        refused |= 1;
    }
    if (finiteY && !obstacleY(ObstacleTile(nx), tileY))
        posY = WrapPosition(ny);
    else
        refused |= 2;
    return refused;
}

uint8_t AnimShiftFor(float speed)
{
    const double perSecond = std::nearbyint(double(speed) * 1000.0);
    if (perSecond == 8)
        return 0;
    if (perSecond == 4)
        return 1;
    return 2;
}

void MoveActor(TNPCRecord& actor, uint32_t t, ObstacleTest obstacleX, ObstacleTest obstacleY)
{
    if ((actor.Flags & FlagMoving) != 0 && t > actor.LastTime) {
        const double distance = double(t - actor.LastTime) * double(actor.Speed);
        AdvancePosition(actor.PosX, actor.PosY, actor.DirX, actor.DirY, distance, obstacleX, obstacleY);
        actor.X = uint16_t(RoundHalfEven(actor.PosX));
        actor.Y = uint16_t(RoundHalfEven(actor.PosY));
        actor.AnimShift = AnimShiftFor(actor.Speed);
    }
    actor.LastTime = t;
}

}  // namespace net
