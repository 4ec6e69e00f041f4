// Creation and release of the client's process-wide objects.
#include "frontend/process_objects.h"

std::unique_ptr<std::mutex> GumpLock;

void CreateProcessObjects()
{
    FreeProcessObjects();
    VxaConfig = std::make_unique<TVxaConfig>();
    RenderLock = std::make_unique<std::mutex>();
    ViewLock = std::make_unique<std::mutex>();
    NPCList = std::make_unique<net::TNPCList>();
    GumpLock = std::make_unique<std::mutex>();
    GameTimer = std::make_unique<net::TGameTimer>();
}

void FreeProcessObjects()
{
    GameTimer.reset();
    GumpLock.reset();
    NPCList.reset();
    ViewLock.reset();
    RenderLock.reset();
    VxaConfig.reset();
}
