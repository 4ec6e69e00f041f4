// The client's motion rule on a tiny wall map.
#include "net/actor_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace net {
namespace {

// Walls by axis, as tile sets the tests fill; tiles arrive wrapped here as the
// world's own test wraps them.
std::set<std::pair<int, int>> wallsX, wallsY;
std::set<std::pair<int, int>> askedX, askedY;

int Wrap(int v) { return ((v % kWorldTiles) + kWorldTiles) % kWorldTiles; }
bool WallX(int x, int y)
{
    askedX.insert({x, y});
    return wallsX.count({Wrap(x), Wrap(y)}) != 0;
}
bool WallY(int x, int y)
{
    askedY.insert({x, y});
    return wallsY.count({Wrap(x), Wrap(y)}) != 0;
}

class ActorMotion : public ::testing::Test {
protected:
    void SetUp() override
    {
        wallsX.clear();
        wallsY.clear();
        askedX.clear();
        askedY.clear();
    }

    static TNPCRecord Walker(double x, double y, double dirX, double dirY, float speed, uint32_t lastTime)
    {
        TNPCRecord r;
        r.PosX = x;
        r.PosY = y;
        r.X = uint16_t(RoundHalfEven(x));
        r.Y = uint16_t(RoundHalfEven(y));
        r.DirX = dirX;
        r.DirY = dirY;
        r.Speed = speed;
        r.LastTime = lastTime;
        r.Flags = FlagMoving;
        return r;
    }
};

TEST_F(ActorMotion, WrapsWestOfZeroBeforeRounding)
{
    // 0.2 moving west by 0.5: 3071.7, whose rounding is 3072, not 0.
    TNPCRecord r = Walker(0.2, 500, -1, 0, 0.5f / 250, 1000);
    MoveActor(r, 1250, WallX, WallY);
    EXPECT_NEAR(r.PosX, 3071.7, 1e-6);  // the speed is single precision
    EXPECT_EQ(r.X, 3072);
    EXPECT_EQ(r.Y, 500);
    // The x test looked at the tile west of 0 as rounded (-0), y at the same tiles.
    EXPECT_TRUE(askedX.count({0, 500}));
}

TEST_F(ActorMotion, BlockedXKeepsSlidingAlongY)
{
    // Walking south-east into a wall along x: x stays, y still moves, and the y test
    // is made at the old x (the wall's tile along x is open along y).
    wallsX.insert({101, 201});
    wallsY.insert({101, 201});
    TNPCRecord r = Walker(100, 200, 1, 1, 0.004f, 0);
    MoveActor(r, 250, WallX, WallY);
    EXPECT_EQ(r.PosX, 100);
    EXPECT_NEAR(r.PosY, 201, 1e-6);
    EXPECT_EQ(r.X, 100);
    EXPECT_EQ(r.Y, 201);
    EXPECT_TRUE(askedY.count({100, 201}));
    EXPECT_FALSE(askedY.count({101, 201}));

    // Blocked along y only: x moves, y stays.
    wallsX.clear();
    TNPCRecord s = Walker(100, 200, 1, 1, 0.004f, 0);
    MoveActor(s, 250, WallX, WallY);
    EXPECT_NEAR(s.PosX, 101, 1e-6);
    EXPECT_EQ(s.PosY, 200);
}

TEST_F(ActorMotion, OneTilePerQuarterSecondAtFourTilesASecond)
{
    TNPCRecord r = Walker(940, 1220, 1, 0, 0.004f, 1000);
    for (uint32_t t = 1250, step = 1; t <= 3000; t += 250, ++step) {
        MoveActor(r, t, WallX, WallY);
        EXPECT_EQ(r.X, 940 + step) << "at " << t;
        EXPECT_EQ(r.LastTime, t);
        EXPECT_EQ(r.AnimShift, 1);
    }
    // The same render time again moves nothing.
    const double before = r.PosX;
    MoveActor(r, 3000, WallX, WallY);
    EXPECT_EQ(r.PosX, before);
}

TEST_F(ActorMotion, OnlyMovingRecordsAheadOfLastTimeMove)
{
    TNPCRecord standing = Walker(10, 10, 1, 0, 0.004f, 0);
    standing.Flags = 0;
    standing.AnimShift = 7;
    MoveActor(standing, 500, WallX, WallY);
    EXPECT_EQ(standing.PosX, 10);
    EXPECT_EQ(standing.AnimShift, 7);
    EXPECT_EQ(standing.LastTime, 500u);

    // A state stamped after the render time: not moved backwards, LastTime still t.
    TNPCRecord early = Walker(10, 10, 1, 0, 0.004f, 800);
    MoveActor(early, 500, WallX, WallY);
    EXPECT_EQ(early.PosX, 10);
    EXPECT_EQ(early.LastTime, 500u);
}

TEST_F(ActorMotion, AnimShiftFollowsTheRoundedSpeed)
{
    EXPECT_EQ(AnimShiftFor(0.008f), 0);
    EXPECT_EQ(AnimShiftFor(0.0084f), 0);
    EXPECT_EQ(AnimShiftFor(0.004f), 1);
    EXPECT_EQ(AnimShiftFor(0.002f), 2);
    EXPECT_EQ(AnimShiftFor(0.0061f), 2);
    EXPECT_EQ(AnimShiftFor(std::numeric_limits<float>::quiet_NaN()), 2);
}

TEST_F(ActorMotion, RoundsHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(3071.5), 3072);
}

TEST_F(ActorMotion, WildCoursesFromTheWireStayInTheWorld)
{
    // A huge speed (or hours since the last update) is wrapped by the remainder.
    TNPCRecord fast = Walker(100, 100, 1, -1, 1e6f, 0);
    MoveActor(fast, 4000000000u, WallX, WallY);
    EXPECT_GE(fast.PosX, 0);
    EXPECT_LT(fast.PosX, kWorldTiles);
    EXPECT_GE(fast.PosY, 0);
    EXPECT_LT(fast.PosY, kWorldTiles);
    EXPECT_LE(fast.X, kWorldTiles);

    // Not-a-number and infinite courses leave the position where it is.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TNPCRecord lost = Walker(100, 200, 1, 0, nan, 0);
    MoveActor(lost, 250, WallX, WallY);
    EXPECT_EQ(lost.PosX, 100);
    EXPECT_EQ(lost.PosY, 200);
    EXPECT_EQ(lost.X, 100);
    TNPCRecord inf = Walker(100, 200, std::numeric_limits<double>::infinity(), 0, 0.004f, 0);
    MoveActor(inf, 250, WallX, WallY);
    EXPECT_EQ(inf.PosX, 100);
    EXPECT_EQ(inf.PosY, 200);
}

TEST_F(ActorMotion, AdvancePositionReportsRefusedAxes)
{
    wallsX.insert({6, 5});
    double x = 5, y = 5;
    EXPECT_EQ(AdvancePosition(x, y, 1, 0, 1, WallX, WallY), 1);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(AdvancePosition(x, y, 0, 1, 1, WallX, WallY), 0);
    EXPECT_EQ(y, 6);
    // East of the last column wraps to column 0.
    double ex = 3071, ey = 9;
    EXPECT_EQ(AdvancePosition(ex, ey, 1, 0, 1, WallX, WallY), 0);
    EXPECT_EQ(ex, 0);
}

}  // namespace
}  // namespace net
