// Creation and release of the client's process-wide objects.
#include "frontend/process_objects.h"

void CreateProcessObjects()
{
    FreeProcessObjects();
    VxaConfig = std::make_unique<TVxaConfig>();
    WorldOverviewMaker = std::make_unique<tools::TWorldOverviewMaker>();
    RenderLock = std::make_unique<std::mutex>();
    ViewLock = std::make_unique<std::mutex>();
    NPCList = std::make_unique<net::TNPCList>();
    GumpList = std::make_unique<TGumpList>();
    GumpLock = std::make_unique<std::mutex>();
    GameTimer = std::make_unique<net::TGameTimer>();
    // Suspended: it runs no frame before the game window first resumes it. It reads
    // the game timer, so it comes after it.
    RefreshThread = std::make_unique<TRefreshThread>(*NPCList, *GameTimer, *RenderLock, *ViewLock);
}

void FreeProcessObjects()
{
    // The overview maker first: it reads the shapes and the world. Then the render
    // thread: it uses all the others. Ending it cancels a hand-over it may be waiting
    // for, so this never waits on the main thread's own queue.
    WorldOverviewMaker.reset();
    RefreshThread.reset();
    GameTimer.reset();
    GumpLock.reset();
    GumpList.reset();
    NPCList.reset();
    ViewLock.reset();
    RenderLock.reset();
    VxaConfig.reset();
}
