// The render thread: one frame step after another, each moving the actors along
// their courses, centring the view on the player, drawing the world and handing the
// picture to the main thread, which finishes and shows it while this thread waits.
//
// The frame step is plain C++; the main thread's side of the hand-over is the game
// window's (a queued call on its event loop), reached through TFrameTarget.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "net/actor_motion.h"

namespace net {
class TNPCList;
class TGameTimer;
}  // namespace net

// Paces frames to 50 ms while set. The render thread sets it when it starts; F2
// toggles it on the main thread.
extern std::atomic<bool> FrameLimiter;

inline constexpr uint32_t FrameTargetMs = 50;
// Actors further than this from the player, in tiles, are dropped.
inline constexpr int ViewRangeX = 120;
inline constexpr int ViewRangeY = 75;

// The view state the render thread shares with the game window. Each value is one
// word, written by one thread and read by the other without a lock; a frame that sees
// an old value is harmless.
struct TViewState {
    std::atomic<int32_t> CentreX{940};  // written by the render thread
    std::atomic<int32_t> CentreY{1220};
    std::atomic<int32_t> MaxLift{16};  // written by the main thread
};

class TRefreshThread;

// The game window as the render thread sees it.
class TFrameTarget {
public:
    virtual ~TFrameTarget() = default;
    virtual TViewState& View() = 0;
    // Render thread: asks the main thread, without waiting, to call
    // thread.PresentPosted(frame) soon.
    virtual void PostPresent(TRefreshThread& thread, uint32_t frame) = 0;
    // Main thread, inside the hand-over: finishes and shows the picture.
    virtual void PresentFrame() = 0;
};

// What a frame calls in the world. The game uses Game(); tests put their own.
struct TFrameWorld {
    void (*RenderWorld)(int centreX, int centreY, int liftLimit) = nullptr;
    // One step of the colour cycle; kPaletteCycleLength steps bring the colours back.
    void (*CyclePalette)() = nullptr;
    net::ObstacleTest ObstacleX = nullptr;
    net::ObstacleTest ObstacleY = nullptr;
    // The pacing sleep; null sleeps on the thread's own clock, woken by Terminate.
    void (*Sleep)(uint32_t ms) = nullptr;

    static TFrameWorld Game();
};

// The sleep after a frame that took `elapsed` ms by the tick count: 50 - elapsed while
// the limiter is on and 0 < elapsed < 50, else none (a frame shorter than the tick
// count's resolution reads 0 and does not sleep).
uint32_t FramePause(uint32_t elapsed, bool limiter);

class TRefreshThread {
public:
    // Starts the thread suspended: it runs no step before the first Resume.
    TRefreshThread(net::TNPCList& actors, net::TGameTimer& timer, std::mutex& renderLock,
                   std::mutex& viewLock, const TFrameWorld& world = TFrameWorld::Game());
    ~TRefreshThread();
    TRefreshThread(const TRefreshThread&) = delete;
    TRefreshThread& operator=(const TRefreshThread&) = delete;

    // Main thread. None of these waits for the render thread.
    void SetTarget(TFrameTarget* target);
    // Takes the picture buffers for the game first; raises std::runtime_error with
    // kGameRefusal, and stays parked, while the map viewer is making a map.
    void Resume();
    // The same, answering false instead of raising.
    bool TryResume();
    // Takes effect between frame steps, where the thread holds no lock and is not
    // waiting for the main thread.
    void Pause();
    // Whether the thread is parked between steps (paused, or not yet resumed).
    bool Parked();
    // Lets a thread waiting for its hand-over go on without the picture; the queued
    // call of that frame then does nothing.
    void CancelHandOver();
    // Main thread, when the target goes away: no later step uses it, and a step using
    // it now is let go without its hand-over and waited for. This is the one wait on
    // the render thread, and it is short: what is left of such a step never waits for
    // the main thread.
    void DetachTarget(TFrameTarget* target);
    // Main thread: the target's queued call for a posted frame. Presents it unless the
    // hand-over was cancelled, then lets the render thread go on.
    void PresentPosted(uint32_t frame);

    // Ends the loop at the next step boundary (cancelling a waiting hand-over), joins
    // the thread and gives back the picture buffers it took: for the end of the
    // process, when the game window goes.
    void Terminate();

    // One frame step on the calling thread: the loop's body. Tests call it directly.
    // The colour cycle takes one step every 500 ms of game time, at its multiples:
    // a frame of game time t shows the colours cycled (t / 500) mod
    // kPaletteCycleLength steps, like the animated shapes (frame t / 500), so that
    // two clients whose game clocks agree show the same picture at the same moment.
    void FrameStep();

    // The game time of the frame being handed over (0 before the first): for the
    // main thread while it presents that frame.
    uint32_t HandedOverGameTime() const { return handedOverTime_.load(std::memory_order_acquire); }

private:
    void Execute();
    bool WaitWhilePaused();  // false once terminated
    void MoveActors(uint32_t t);
    void HandOver(TFrameTarget* target, uint32_t gameTime);
    void PacingSleep(uint32_t ms);

    net::TNPCList& actors_;
    net::TGameTimer& timer_;
    std::mutex& renderLock_;
    std::mutex& viewLock_;
    const TFrameWorld world_;
    TViewState ownView_;  // centred on while no window is attached
    uint32_t palettePhase_ = 0;  // colour cycle steps taken, mod kPaletteCycleLength
    std::atomic<uint32_t> handedOverTime_{0};

    // The thread's state and the hand-over, under one small lock that neither side
    // holds while it works or waits for the other.
    std::mutex stateLock_;
    std::condition_variable stateChanged_;
    bool paused_ = true;
    bool parked_ = true;
    bool terminated_ = false;
    bool claimedBuffers_ = false;  // main thread: this thread took the picture buffers
    TFrameTarget* target_ = nullptr;
    uint32_t postedFrames_ = 0;
    uint32_t waitingFrame_ = 0;  // the frame whose hand-over the thread waits for; 0 none
    TFrameTarget* presenting_ = nullptr;
    TFrameTarget* stepTarget_ = nullptr;  // the target of the step under way

    std::thread thread_;
};

// The process-wide render thread, created suspended by the client's start-up.
extern std::unique_ptr<TRefreshThread> RefreshThread;
