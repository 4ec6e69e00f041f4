// The client's process-wide objects. Each is declared beside its type in its own
// layer (VxaConfig in frontend/vxa_config.h, RenderLock and ViewLock in
// view/render_locks.h, NPCList in net/npc_list.h, GumpList and GumpLock in
// client/gump_list.h, RefreshThread in view/render_thread.h, GameTimer in
// net/game_timer.h, WorldOverviewMaker in tools/world_overview.h); only the client
// creates and frees them, here.
#pragma once

#include <memory>
#include <mutex>

#include "frontend/vxa_config.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "view/render_locks.h"
#include "tools/world_overview.h"
#include "view/render_thread.h"
#include "client/gump_list.h"

// Frees any objects of an earlier run, then creates them in the start-up order:
// configuration store, render lock, view lock, actor list (with its lock), gump list,
// GumpLock, game timer, and the render thread, suspended; and the minimap's overview
// maker, idle.
void CreateProcessObjects();
// Frees them in the reverse order and leaves every pointer empty (tests, shutdown).
void FreeProcessObjects();
