// The two locks of the render thread's frame, besides the actor list lock. Both are
// taken by the render thread only; the client's start-up creates and frees them with
// the other process-wide objects.
#pragma once

#include <memory>
#include <mutex>

// Held around the world drawing (RenderWorld) of each frame.
extern std::unique_ptr<std::mutex> RenderLock;
// Held from the centring of the view on the player until the presented picture is
// back. The main thread never takes it: the render thread holds it while it waits
// for the main thread.
extern std::unique_ptr<std::mutex> ViewLock;
