// The render thread's frame locks.
#include "view/render_locks.h"

std::unique_ptr<std::mutex> RenderLock;
std::unique_ptr<std::mutex> ViewLock;
