// What the render thread and the window that shows its pictures share: the view state,
// the frame limiter, and the window as the render thread sees it. The thread's loop is
// in render_thread.h; the window side needs only this.
#pragma once

#include <atomic>
#include <cstdint>

// Paces frames to 50 ms while set. The render thread sets it when it starts; F2
// toggles it on the main thread.
inline std::atomic<bool> FrameLimiter{false};

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
    virtual TViewState& SharedView() = 0;
    // Render thread: asks the main thread, without waiting, to call
    // thread.PresentPosted(frame) soon.
    virtual void PostPresent(TRefreshThread& thread, uint32_t frame) = 0;
    // Main thread, inside the hand-over: finishes and shows the picture.
    virtual void PresentFrame() = 0;
};
