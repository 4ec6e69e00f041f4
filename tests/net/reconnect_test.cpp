// The auto-reconnect schedule on a clock of its own: the doubling delays and their
// cap, the log line of each try and its outcome, a refusal stopping the retries, the
// player taking over, and a tick count that wraps.
#include "net/reconnect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace net {
namespace {

class Reconnect : public ::testing::Test {
protected:
    Reconnect()
    {
        r.SetLog([this](std::string_view line) { log.emplace_back(line); });
    }
    // Moves the clock to the next due try and starts it; the ms waited.
    uint32_t RunNextTry()
    {
        const uint32_t from = now;
        while (!r.Due(now)) {
            if (now - from > 60000)
                return 0;
            now += 10;
        }
        return now - from;
    }

    TReconnect r;
    std::vector<std::string> log;
    uint32_t now = 5000;
};

TEST_F(Reconnect, TriesWaitOneTwoFourSecondsAndSoOnUpToThirty)
{
    r.SetAuto(true, now);
    r.Ended(false, now);  // the connection is lost
    std::vector<uint32_t> waits;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(r.Waiting());
        EXPECT_FALSE(r.Due(now + r.NextDelay() / 2 - 1)) << "a try before its time";
        waits.push_back(RunNextTry());
        EXPECT_EQ(r.Try(), i + 1);
        r.Ended(false, now);  // connection refused: the server is still away
    }
    EXPECT_EQ(waits, (std::vector<uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    EXPECT_EQ(log[0], "Auto reconnect: try 1 in 1 s.");
    EXPECT_EQ(log[1], "Auto reconnect: try 1.");
    EXPECT_EQ(log[2], "Auto reconnect: try 1 failed.");
    EXPECT_EQ(log[3], "Auto reconnect: try 2 in 2 s.");
    EXPECT_EQ(log.back(), "Auto reconnect: try 9 in 30 s.");

    // Getting in ends the run; the next loss starts again at one second.
    ASSERT_EQ(RunNextTry(), 30000u);
    r.Entered();
    EXPECT_EQ(log.back(), "Auto reconnect: try 9 succeeded.");
    EXPECT_FALSE(r.Waiting());
    r.Ended(false, now);
    EXPECT_EQ(log.back(), "Auto reconnect: try 1 in 1 s.");
    EXPECT_EQ(RunNextTry(), 1000u);
}

TEST_F(Reconnect, ARefusalStopsTheRetriesUntilThePlayerConnectsAgain)
{
    r.SetAuto(true, now);
    r.Ended(false, now);
    RunNextTry();
    r.Ended(false, now);
    RunNextTry();
    r.Ended(true, now);  // the server is back, and refuses the password
    EXPECT_EQ(log[log.size() - 2], "Auto reconnect: try 2 refused.");
    EXPECT_EQ(log.back(), "Auto reconnect stopped: the server refused the login.");
    EXPECT_FALSE(r.Waiting());
    EXPECT_EQ(RunNextTry(), 0u) << "a try after a refusal";
    // Ticking the box again does not undo the refusal; only the player's own connect does.
    r.SetAuto(false, now);
    r.SetAuto(true, now);
    EXPECT_FALSE(r.Waiting());
    r.Cancel();  // the player presses Reconnect
    r.Ended(false, now);
    EXPECT_TRUE(r.Waiting());
    EXPECT_EQ(RunNextTry(), 1000u);
}

TEST_F(Reconnect, WithoutTheBoxNothingIsScheduledAndTickingItLaterStartsAtOnce)
{
    r.Ended(false, now);
    EXPECT_FALSE(r.Waiting());
    EXPECT_TRUE(log.empty());
    now += 7000;
    r.SetAuto(true, now);  // ticked while the connection window shows the loss
    EXPECT_EQ(log.back(), "Auto reconnect: try 1 in 1 s.");
    EXPECT_EQ(RunNextTry(), 1000u);
    r.Ended(false, now);
    r.SetAuto(false, now);  // unticked while a try waits
    EXPECT_EQ(log.back(), "Auto reconnect: off; try 2 dropped.");
    EXPECT_EQ(RunNextTry(), 0u);
}

TEST_F(Reconnect, OneEndReportedTwiceSchedulesOneTryAndAnAbortSchedulesNone)
{
    r.SetAuto(true, now);
    r.Ended(false, now);
    r.Ended(false, now + 5);  // an error, then the disconnect, of the same end
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(RunNextTry(), 1000u);
    r.Entered();
    r.Aborted();  // the player pressed Abort in the game
    r.Ended(false, now);
    EXPECT_FALSE(r.Waiting());
    EXPECT_EQ(log.back(), "Auto reconnect: try 1 succeeded.");
}

TEST_F(Reconnect, ATickCountThatWrapsKeepsTheDelays)
{
    now = 0xFFFFFF00u;
    r.SetAuto(true, now);
    r.Ended(false, now);
    EXPECT_FALSE(r.Due(now + 999));
    EXPECT_TRUE(r.Due(now + 1000));  // past 2^32
}

}  // namespace
}  // namespace net
