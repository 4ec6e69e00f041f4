// The render thread's frame step on the fake clock with a fake world, and its loop
// on a real thread against a main thread that keeps using the shared lists.
#include "view/render_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

#include "net/alloc_counter.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "platform/tick_count.h"
#include "view/world_renderer.h"
#include "window/gump_list.h"

namespace {

// The fake world: what each frame called, and a picture buffer shared like the
// colour buffer (written by the render thread, read and written by the main thread
// inside the hand-over).
struct FakeWorld {
    static inline platform::FakeClock* clock = nullptr;
    static inline uint32_t renderMs = 0;
    static inline std::atomic<int> renders{0}, cycles{0};
    static inline int lastCentreX = 0, lastCentreY = 0, lastLift = 0;
    static inline std::vector<uint32_t> sleeps;
    static inline uint32_t picture[64];

    static void Render(int cx, int cy, int lift)
    {
        ++renders;
        lastCentreX = cx;
        lastCentreY = cy;
        lastLift = lift;
        for (uint32_t& p : picture)
            p = uint32_t(renders);
        if (clock != nullptr)
            clock->Advance(renderMs);
    }
    static void Cycle() { ++cycles; }
    static bool Open(int, int) { return false; }
    static void Sleep(uint32_t ms) { sleeps.push_back(ms); }

    static TFrameWorld Calls()
    {
        renders = 0;
        cycles = 0;
        renderMs = 0;
        sleeps.clear();
        TFrameWorld w;
        w.RenderWorld = Render;
        w.CyclePalette = Cycle;
        w.ObstacleX = Open;
        w.ObstacleY = Open;
        w.Sleep = Sleep;
        return w;
    }
};

// A window that presents at once, on the thread that asked (for direct frame steps).
class InstantTarget : public TFrameTarget {
public:
    TViewState view;
    int presented = 0;
    TViewState& View() override { return view; }
    void PostPresent(TRefreshThread& thread, uint32_t frame) override { thread.PresentPosted(frame); }
    void PresentFrame() override { ++presented; }
};

class RenderThreadStep : public ::testing::Test {
protected:
    platform::FakeClock clock{100000};
    net::TNPCList actors;
    net::TGameTimer timer{net::TGameTimer::LocalMode};
    std::mutex renderLock, viewLock;
    InstantTarget target;

    void SetUp() override
    {
        FakeWorld::clock = &clock;
        FrameLimiter = true;
    }
    void TearDown() override { FakeWorld::clock = nullptr; }

    void AddActor(int32_t id, uint16_t x, uint16_t y)
    {
        auto r = std::make_unique<net::TNPCRecord>();
        r->ID = id;
        r->X = x;
        r->Y = y;
        r->PosX = x;
        r->PosY = y;
        actors.InsertEntry(std::move(r));
    }
    std::vector<int32_t> Ids()
    {
        std::vector<int32_t> ids;
        for (net::TNPCNode* n = actors.Head()->Next; n != nullptr; n = n->Next)
            ids.push_back(n->ID);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
};

TEST_F(RenderThreadStep, PacesFramesToFiftyMillisecondsWhileTheLimiterIsOn)
{
    EXPECT_EQ(FramePause(30, true), 20u);
    EXPECT_EQ(FramePause(0, true), 0u);
    EXPECT_EQ(FramePause(49, true), 1u);
    EXPECT_EQ(FramePause(50, true), 0u);
    EXPECT_EQ(FramePause(30, false), 0u);

    TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread.SetTarget(&target);
    FakeWorld::renderMs = 30;
    thread.FrameStep();
    FakeWorld::renderMs = 0;
    thread.FrameStep();
    FrameLimiter = false;
    FakeWorld::renderMs = 30;
    thread.FrameStep();
    EXPECT_EQ(FakeWorld::sleeps, std::vector<uint32_t>{20});
    EXPECT_EQ(target.presented, 3);
}

TEST_F(RenderThreadStep, DropsActorsBeyondTheViewRangeButNeverThePlayer)
{
    actors.Head()->ID = 0;  // before the server names the player
    actors.Head()->X = actors.Head()->Y = 1000;
    actors.Head()->PosX = actors.Head()->PosY = 1000;
    AddActor(1, 1120, 1000);  // 120 east: stays
    AddActor(2, 1121, 1000);  // 121 east: goes
    AddActor(3, 879, 1000);   // 121 west: goes
    AddActor(4, 1000, 1075);  // 75 south: stays
    AddActor(5, 1000, 1076);  // 76 south: goes
    AddActor(6, 1000, 924);   // 76 north: goes
    AddActor(0, 2000, 2000);  // far away and sharing the player's ID 0: goes, the head stays
    TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread.SetTarget(&target);
    thread.FrameStep();
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(actors.Count(), 3);
}

TEST_F(RenderThreadStep, CentresOnTheMovedPlayerAndSetsTheAnimationClock)
{
    clock.Set(100100);  // render time 100000
    net::TNPCNode* player = actors.Head();
    player->X = 940;
    player->Y = 1220;
    player->PosX = 940;
    player->PosY = 1220;
    player->Flags = net::FlagMoving;
    player->DirX = 1;
    player->Speed = 0.004f;
    player->LastTime = 99750;
    target.view.MaxLift = 7;
    TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread.SetTarget(&target);
    thread.FrameStep();
    EXPECT_EQ(target.view.CentreX, 941);
    EXPECT_EQ(target.view.CentreY, 1220);
    EXPECT_EQ(FakeWorld::lastCentreX, 941);
    EXPECT_EQ(FakeWorld::lastLift, 7);
    EXPECT_EQ(AnimTick, uint16_t(100000 / 125));
    EXPECT_EQ(player->LastTime, 100000u);
}

TEST_F(RenderThreadStep, TheColourCycleFollowsTheGameClock)
{
    // The game times of one thread's frames, and after each the colour cycle's phase
    // (steps taken, mod 24): a step at each multiple of 500 ms, wherever the thread's
    // first frame fell, so that clients whose clocks agree show the same colours.
    struct Run {
        std::vector<uint32_t> times;
        std::vector<int> phases;
    };
    const Run runs[] = {
        {{100000, 100250, 100500, 100750, 101000}, {8, 8, 9, 9, 10}},
        {{100600, 100900, 101100}, {9, 9, 10}},  // started later: the same phase
        {{100000, 112000, 112700}, {8, 8, 9}},   // 12 s later: once round the cycle
        {{100000, 99500, 100000}, {8, 7, 8}},    // the clock set back half a second
        {{250, 499, 500, 11999, 12000}, {0, 0, 1, 23, 0}},
    };
    for (const Run& run : runs) {
        TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
        thread.SetTarget(&target);
        std::vector<int> phases;
        for (uint32_t t : run.times) {
            clock.Set(t);
            thread.FrameStep();
            phases.push_back(FakeWorld::cycles % 24);
            EXPECT_EQ(thread.HandedOverGameTime(), t / 250 * 250);
        }
        EXPECT_EQ(phases, run.phases) << "first frame at " << run.times[0];
    }
}

TEST_F(RenderThreadStep, AFrameStepAllocatesNothing)
{
    for (int i = 0; i < 60; ++i)
        AddActor(100 + i, uint16_t(1000 + i), 1000);
    for (net::TNPCNode* n = actors.Head()->Next; n != nullptr; n = n->Next) {
        n->Flags = net::FlagMoving;
        n->DirY = 1;
        n->Speed = 0.004f;
    }
    actors.Head()->X = actors.Head()->Y = 1000;
    TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread.SetTarget(&target);
    thread.FrameStep();
    net::testing::StartCountingAllocations();
    for (int i = 0; i < 10; ++i) {
        clock.Advance(250);
        thread.FrameStep();
    }
    EXPECT_EQ(net::testing::StopCountingAllocations(), 0);
    EXPECT_EQ(target.presented, 11);
}

// A window whose hand-over runs on the test's own "main thread", as queued calls.
class QueuedTarget : public TFrameTarget {
public:
    TViewState view;
    TViewState& View() override { return view; }
    void PostPresent(TRefreshThread& thread, uint32_t frame) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        calls_.push_back({&thread, frame});
    }
    void PresentFrame() override
    {
        // Reads and draws over the render thread's picture, as the window does.
        for (uint32_t& p : FakeWorld::picture)
            p += 1;
        ++presented;
    }
    // Runs the queued calls, as the event loop would.
    int Drain(bool run = true)
    {
        std::deque<Call> calls;
        {
            std::lock_guard<std::mutex> hold(lock_);
            calls.swap(calls_);
        }
        for (const Call& c : calls)
            if (run)
                c.thread->PresentPosted(c.frame);
        return int(calls.size());
    }
    int presented = 0;
    int Pending()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return int(calls_.size());
    }

private:
    struct Call {
        TRefreshThread* thread;
        uint32_t frame;
    };
    std::mutex lock_;
    std::deque<Call> calls_;
};

// Polls `done` while running the main thread's queue, for at most ten seconds.
template <typename Done>
bool MainLoopUntil(QueuedTarget& target, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        target.Drain();
        std::this_thread::yield();
    }
    return true;
}

TEST(RenderThreadLoop, PausesBetweenStepsWithNoLockHeldWhileTheMainThreadUsesTheLists)
{
    net::TNPCList actors;
    net::TGameTimer timer(net::TGameTimer::LocalMode);
    std::mutex renderLock, viewLock, gumpLock;
    TGumpList gumps;
    QueuedTarget target;
    TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread.SetTarget(&target);
    EXPECT_TRUE(thread.Parked());
    EXPECT_EQ(FakeWorld::renders, 0);  // created suspended

    thread.Resume();
    for (int round = 0; round < 3; ++round) {
        int hammered = 0;
        ASSERT_TRUE(MainLoopUntil(target, [&] {
            // The message handler and the keys, meanwhile.
            {
                std::lock_guard<std::mutex> hold(actors.Lock());
                auto r = std::make_unique<net::TNPCRecord>();
                r->ID = 100 + hammered % 7;
                r->Flags = net::FlagMoving;
                r->Speed = 0.004f;
                r->DirX = 1;
                actors.RemoveEntry(r->ID);
                actors.InsertEntry(std::move(r));
                actors.Head()->Facing = uint8_t(hammered);
            }
            {
                std::lock_guard<std::mutex> hold(gumpLock);
                if (gumps.Find(1) != nullptr) {
                    gumps.Remove(1);
                } else {
                    auto g = std::make_unique<TGumpRecord>();
                    g->id = 1;
                    gumps.Insert(g);
                }
            }
            ++hammered;
            return target.presented >= 20 * (round + 1);
        }));
        thread.Pause();
        ASSERT_TRUE(MainLoopUntil(target, [&] { return thread.Parked(); }));
        // Parked between steps: every lock of the frame is free.
        EXPECT_TRUE(actors.Lock().try_lock());
        actors.Lock().unlock();
        EXPECT_TRUE(renderLock.try_lock());
        renderLock.unlock();
        EXPECT_TRUE(viewLock.try_lock());
        viewLock.unlock();
        const int renders = FakeWorld::renders;
        target.Drain();
        EXPECT_EQ(FakeWorld::renders, renders);  // no step while paused
        thread.Resume();
    }
    EXPECT_TRUE(FrameLimiter);  // set when the thread first ran
    thread.Pause();
    ASSERT_TRUE(MainLoopUntil(target, [&] { return thread.Parked(); }));
}

TEST(RenderThreadLoop, CancelledHandOverGoesOnWithoutThePicture)
{
    net::TNPCList actors;
    net::TGameTimer timer(net::TGameTimer::LocalMode);
    std::mutex renderLock, viewLock;
    QueuedTarget target;
    TRefreshThread thread(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread.SetTarget(&target);
    thread.Resume();
    // Wait until a frame waits for its hand-over, without running it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (target.Pending() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(target.Pending(), 1);
    ASSERT_EQ(FakeWorld::renders, 1);
    // The window closes: pause, cancel; the thread parks without the main thread's help.
    thread.Pause();
    thread.CancelHandOver();
    while (!thread.Parked() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(thread.Parked());
    EXPECT_TRUE(viewLock.try_lock());
    viewLock.unlock();
    // The frame's queued call arrives late and draws nothing.
    target.Drain();
    EXPECT_EQ(target.presented, 0);
}

TEST(RenderThreadLoop, TerminateReleasesAThreadWaitingForItsHandOver)
{
    net::TNPCList actors;
    net::TGameTimer timer(net::TGameTimer::LocalMode);
    std::mutex renderLock, viewLock;
    QueuedTarget target;
    auto thread = std::make_unique<TRefreshThread>(actors, timer, renderLock, viewLock, FakeWorld::Calls());
    thread->SetTarget(&target);
    thread->Resume();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (target.Pending() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(target.Pending(), 1);  // the frame waits for its hand-over
    thread->Terminate();  // joins: the waiting hand-over is cancelled
    thread.reset();
    EXPECT_EQ(target.Drain(false), 1);
}

}  // namespace
