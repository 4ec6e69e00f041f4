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
#include "view/frame_target.h"

namespace net {
class TNPCList;
class TGameTimer;
}  // namespace net

inline constexpr uint32_t FrameTargetMs = 50;

// What a frame calls in the world. The game uses Game(); tests put their own.
struct TFrameWorld {
    void (*RenderWorld)(int centreX, int centreY, int liftLimit, net::TNPCList* actors) = nullptr;
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
    void FrameStep();

private:
    void Execute();
    bool WaitWhilePaused();  // false once terminated
    void MoveActors(uint32_t t);
    void HandOver(TFrameTarget* target);
    void PacingSleep(uint32_t ms);

    net::TNPCList& actors_;
    net::TGameTimer& timer_;
    std::mutex& renderLock_;
    std::mutex& viewLock_;
    const TFrameWorld world_;
    TViewState ownView_;  // centred on while no window is attached
    uint32_t lastPaletteCycle_;

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
