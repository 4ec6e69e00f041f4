// The render thread's frame loop.
#include "view/render_thread.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "platform/tick_count.h"
#include "view/picture_buffers.h"
#include "view/world_renderer.h"

std::atomic<bool> FrameLimiter{false};
std::unique_ptr<TRefreshThread> RefreshThread;

TFrameWorld TFrameWorld::Game()
{
    TFrameWorld world;
    world.RenderWorld = ::RenderWorld;
    world.CyclePalette = ::CyclePalette;
    world.ObstacleX = ::ObstacleX;
    world.ObstacleY = ::ObstacleY;
    return world;
}

uint32_t FramePause(uint32_t elapsed, bool limiter)
{
    if (!limiter || elapsed == 0 || elapsed >= FrameTargetMs)
        return 0;
    return FrameTargetMs - elapsed;
}

TRefreshThread::TRefreshThread(net::TNPCList& actors, net::TGameTimer& timer, std::mutex& renderLock,
                               std::mutex& viewLock, const TFrameWorld& world)
    : actors_(actors),
      timer_(timer),
      renderLock_(renderLock),
      viewLock_(viewLock),
      world_(world)
{
    thread_ = std::thread([this] { Execute(); });
}

TRefreshThread::~TRefreshThread() { Terminate(); }

void TRefreshThread::SetTarget(TFrameTarget* target)
{
    std::lock_guard<std::mutex> hold(stateLock_);
    target_ = target;
}

void TRefreshThread::Resume()
{
    if (!TryResume())
        throw std::runtime_error(kGameRefusal);
}

bool TRefreshThread::TryResume()
{
    // This thread draws into the picture buffers the map viewer also draws into: the
    // game takes them on its first run and keeps them, and cannot take them while the
    // viewer is making a map (view/picture_buffers.h).
    if (!ClaimPictureBuffers(BufferUser::Game) && PictureBuffersHolder() != BufferUser::Game)
        return false;
    claimedBuffers_ = true;
    std::lock_guard<std::mutex> hold(stateLock_);
    paused_ = false;
    stateChanged_.notify_all();
    return true;
}

void TRefreshThread::Pause()
{
    std::lock_guard<std::mutex> hold(stateLock_);
    paused_ = true;
}

bool TRefreshThread::Parked()
{
    std::lock_guard<std::mutex> hold(stateLock_);
    return parked_;
}

void TRefreshThread::CancelHandOver()
{
    std::lock_guard<std::mutex> hold(stateLock_);
    waitingFrame_ = 0;
    stateChanged_.notify_all();
}

void TRefreshThread::DetachTarget(TFrameTarget* target)
{
    std::unique_lock<std::mutex> hold(stateLock_);
    if (target_ == target) {
        target_ = nullptr;
        paused_ = true;  // no frames for nobody
    }
    if (presenting_ == target)
        waitingFrame_ = 0;
    stateChanged_.notify_all();
    if (std::this_thread::get_id() != thread_.get_id())
        stateChanged_.wait(hold, [this, target] { return stepTarget_ != target; });
}

void TRefreshThread::PresentPosted(uint32_t frame)
{
    TFrameTarget* target;
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        if (frame == 0 || waitingFrame_ != frame)
            return;  // cancelled, or a stale call of an earlier frame
        target = presenting_;
    }
    // The render thread waits for this frame: the buffers are ours until we say so.
    target->PresentFrame();
    std::lock_guard<std::mutex> hold(stateLock_);
    if (waitingFrame_ == frame)
        waitingFrame_ = 0;
    stateChanged_.notify_all();
}

void TRefreshThread::Terminate()
{
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        terminated_ = true;
        waitingFrame_ = 0;
        stateChanged_.notify_all();
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
        // Nothing of the game draws any more: the map viewer may have the buffers.
        if (claimedBuffers_)
            ReleasePictureBuffers(BufferUser::Game);
        claimedBuffers_ = false;
    }
}

bool TRefreshThread::WaitWhilePaused()
{
    std::unique_lock<std::mutex> hold(stateLock_);
    if (paused_ && !terminated_) {
        parked_ = true;
        stateChanged_.wait(hold, [this] { return !paused_ || terminated_; });
    }
    parked_ = false;
    return !terminated_;
}

void TRefreshThread::Execute()
{
    if (!WaitWhilePaused())
        return;
    FrameLimiter.store(true, std::memory_order_relaxed);
    while (WaitWhilePaused())
        FrameStep();
}

void TRefreshThread::MoveActors(uint32_t t)
{
    net::TNPCNode* player = actors_.Head();
    for (net::TNPCNode* node = player; node != nullptr;) {
        net::TNPCNode* next = node->Next;  // taken before the node may go
        net::MoveActor(*node, t, world_.ObstacleX, world_.ObstacleY);
        if (node != player && (std::abs(int(node->X) - int(player->X)) > ViewRangeX ||
                               std::abs(int(node->Y) - int(player->Y)) > ViewRangeY)) {
            // This very node, not the first with its ID: an actor sharing the player's
            // ID (0 before the server names it) must not reach the head.
            actors_.RemoveNode(node);
        }
        node = next;
    }
}

void TRefreshThread::HandOver(TFrameTarget* target, uint32_t gameTime)
{
    if (target == nullptr)
        return;
    uint32_t frame;
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        // Ending, or the window closed (paused the loop) or went while the world was
        // drawn. A step run by hand (tests, benchmarks) is not the paused loop's.
        const bool pausedLoop = paused_ && std::this_thread::get_id() == thread_.get_id();
        if (terminated_ || pausedLoop || target_ != target)
            return;
        frame = ++postedFrames_;
        if (frame == 0)
            frame = ++postedFrames_;
        waitingFrame_ = frame;
        presenting_ = target;
        handedOverTime_.store(gameTime, std::memory_order_release);
    }
    target->PostPresent(*this, frame);
    std::unique_lock<std::mutex> hold(stateLock_);
    stateChanged_.wait(hold, [this, frame] { return waitingFrame_ != frame; });
}

void TRefreshThread::PacingSleep(uint32_t ms)
{
    if (ms == 0)
        return;
    if (world_.Sleep != nullptr) {
        world_.Sleep(ms);
        return;
    }
    std::unique_lock<std::mutex> hold(stateLock_);
    stateChanged_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return terminated_; });
}

void TRefreshThread::FrameStep()
{
    const uint32_t frameStart = platform::TickCount();
    const uint32_t t = timer_.TickFloor(4);
    TFrameTarget* target;
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        target = target_;
        stepTarget_ = target;
    }
    TViewState& view = target != nullptr ? target->View() : ownView_;

    // The view lock comes before the actor list lock, so that this thread takes its
    // locks in one order (view, render, actor list: the renderer takes the actor list
    // lock chunk by chunk). Nobody else takes the view lock.
    std::unique_lock<std::mutex> viewHold(viewLock_);
    {
        std::lock_guard<std::mutex> actorsHold(actors_.Lock());
        MoveActors(t);
        const net::TNPCNode* player = actors_.FindEntry(-1);
        view.CentreY.store(player->Y, std::memory_order_relaxed);
        view.CentreX.store(player->X, std::memory_order_relaxed);
    }
    AnimTick.store(uint16_t(t / 125), std::memory_order_relaxed);
    // Forward to the phase of this game time: a clock set back (the server's time
    // taken over) goes round the rest of the cycle.
    const uint32_t phase = t / 500 % kPaletteCycleLength;
    while (palettePhase_ != phase) {
        world_.CyclePalette();
        palettePhase_ = (palettePhase_ + 1) % kPaletteCycleLength;
    }
    {
        std::lock_guard<std::mutex> renderHold(renderLock_);
        world_.RenderWorld(view.CentreX.load(std::memory_order_relaxed), view.CentreY.load(std::memory_order_relaxed),
                           view.MaxLift.load(std::memory_order_relaxed));
    }
    HandOver(target, t);
    viewHold.unlock();
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        stepTarget_ = nullptr;
        stateChanged_.notify_all();
    }

    PacingSleep(FramePause(platform::TickCount() - frameStart, FrameLimiter.load(std::memory_order_relaxed)));
}
