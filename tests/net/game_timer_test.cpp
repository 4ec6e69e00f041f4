// The game clock on the fake tick count: offset, ping samples, rounding and wrap.
#include "net/game_timer.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/tick_count.h"

namespace net {
namespace {

TEST(GameTimer, FollowsTheTickCountUntilSynchronised)
{
    platform::FakeClock clock(777000);
    TGameTimer timer;
    EXPECT_EQ(timer.Now(), 777000u);
    EXPECT_EQ(timer.AveragePing(), 0);
    clock.Advance(5);
    EXPECT_EQ(timer.Now(), 777005u);
}

TEST(GameTimer, AddsTheOffsetAndTakesOffHalfTheAveragePing)
{
    platform::FakeClock clock(50000);
    TGameTimer timer;
    timer.SetOffset(1000);
    timer.AddPingSample(40);
    timer.AddPingSample(60);
    EXPECT_EQ(timer.AveragePing(), 50);
    EXPECT_EQ(timer.Now(), 50000u + 1000 - 25);

    TGameTimer odd;
    odd.AddPingSample(41);  // half of 41, truncated
    EXPECT_EQ(odd.Now(), 50000u - 20);

    TGameTimer behind;
    behind.SetOffset(-300);
    clock.Set(100);
    EXPECT_EQ(behind.Now(), 0xFFFFFFFFu - 199);  // 100 - 300, wrapped
}

TEST(GameTimer, LocalModeIgnoresOffsetAndSamples)
{
    platform::FakeClock clock(1234);
    TGameTimer timer(TGameTimer::LocalMode);
    timer.SetOffset(99999);
    timer.AddPingSample(500);
    EXPECT_EQ(timer.AveragePing(), 500);
    EXPECT_EQ(timer.Now(), 1234u);
}

TEST(GameTimer, RoundsToQuarterSeconds)
{
    platform::FakeClock clock(1234567);
    TGameTimer timer;
    EXPECT_EQ(timer.TickFloor(4), 1234500u);
    EXPECT_EQ(timer.NextTick(4), 1234750u);
    clock.Set(1234500);
    EXPECT_EQ(timer.TickFloor(4), 1234500u);
    EXPECT_EQ(timer.NextTick(4), 1234750u);
    EXPECT_EQ(timer.TickFloor(3), 1234500u - 1234500 % 333);
    // A step of zero cannot happen: n outside 1 to 1000 is taken as its nearest bound.
    EXPECT_EQ(timer.TickFloor(0), 1234000u);
    EXPECT_EQ(timer.TickFloor(5000), 1234500u);
}

TEST(GameTimer, WrapsAtTwoToTheThirtyTwo)
{
    platform::FakeClock clock(0xFFFFFF00u);
    TGameTimer timer;
    timer.SetOffset(0x200);
    EXPECT_EQ(timer.Now(), 0x100u);

    timer.SetOffset(0);
    clock.Set(0xFFFFFFFFu);
    EXPECT_EQ(timer.TickFloor(4), 4294967250u);
    EXPECT_EQ(timer.NextTick(4), 204u);  // 4294967500 cut to 32 bits
}

TEST(GameTimer, KeepsTheTwentySmallestSamples)
{
    TGameTimer timer;
    timer.AddPingSample(30);
    timer.AddPingSample(80);
    timer.AddPingSample(50);
    EXPECT_EQ(timer.Worst(), 80u);
    EXPECT_EQ(timer.WorstIndex(), 1);
    EXPECT_EQ(timer.AveragePing(), 53);

    TGameTimer full;
    for (int i = 0; i < 20; ++i)
        full.AddPingSample(100);
    full.AddPingSample(100);  // not smaller than the worst: ignored
    EXPECT_EQ(full.SampleCount(), 20);
    EXPECT_EQ(full.AveragePing(), 100);
    full.AddPingSample(90);
    EXPECT_EQ(full.Sample(0), 90u);
    EXPECT_EQ(full.Worst(), 100u);
    EXPECT_EQ(full.WorstIndex(), 1);
    EXPECT_EQ(full.AveragePing(), 99);  // 1990 div 20
    full.AddPingSample(1000);
    EXPECT_EQ(full.AveragePing(), 99);
}

TEST(GameTimer, NewWorstIsSoughtFromTheReplacedPosition)
{
    TGameTimer timer;
    for (int i = 0; i < 20; ++i)
        timer.AddPingSample(i == 2 ? 80 : i == 5 ? 200 : 10);
    EXPECT_EQ(timer.WorstIndex(), 5);
    // Replacing the 200 with 80 leaves 80 at 2 and at 5. The replaced position is the
    // first candidate and only a larger sample takes over, so the worst stays at 5.
    timer.AddPingSample(80);
    EXPECT_EQ(timer.Sample(5), 80u);
    EXPECT_EQ(timer.Worst(), 80u);
    EXPECT_EQ(timer.WorstIndex(), 5);
    // So the next smaller sample replaces position 5, and the larger 80 at the lower
    // position 2 takes over.
    timer.AddPingSample(20);
    EXPECT_EQ(timer.Sample(5), 20u);
    EXPECT_EQ(timer.Sample(2), 80u);
    EXPECT_EQ(timer.WorstIndex(), 2);
    timer.AddPingSample(15);  // replaces the 80 at 2: the 20 at 5 is the worst again
    EXPECT_EQ(timer.Worst(), 20u);
    EXPECT_EQ(timer.WorstIndex(), 5);
}

TEST(GameTimer, HugeSamplesWrapTheAverageInsteadOfOverflowing)
{
    TGameTimer timer;
    timer.AddPingSample(0x80000000u);
    timer.AddPingSample(0x80000000u);
    // The sum wraps to 0 in 32 bits; the average is the signed quotient.
    EXPECT_EQ(timer.AveragePing(), 0);
    timer.AddPingSample(6);
    EXPECT_EQ(timer.AveragePing(), 2);
}

TEST(GameTimer, RenderAndMainThreadsShareIt)
{
    platform::FakeClock clock(1000);
    TGameTimer timer;
    std::thread render([&timer] {
        for (int i = 0; i < 2000; ++i)
            EXPECT_EQ(timer.TickFloor(4) % 250, 0u);
    });
    for (uint32_t i = 0; i < 2000; ++i) {
        timer.AddPingSample(i % 97);
        timer.SetOffset(static_cast<int32_t>(i));
    }
    render.join();
    EXPECT_EQ(timer.SampleCount(), 20);
    EXPECT_EQ(timer.Worst(), 0u);
}

}  // namespace
}  // namespace net
