// The client's process-wide objects. Each is declared beside its type in its own
// layer (VxaConfig in frontend/vxa_config.h, RenderLock and ViewLock in
// view/render_locks.h, NPCList in net/npc_list.h, GameTimer in net/game_timer.h);
// only the client creates and frees them, here.
#pragma once

#include <memory>
#include <mutex>

#include "frontend/vxa_config.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "view/render_locks.h"

// The gump list's lock, taken on the main thread only.
extern std::unique_ptr<std::mutex> GumpLock;

// Frees any objects of an earlier run, then creates them in the start-up order:
// configuration store, render lock, view lock, actor list (with its lock), GumpLock,
// game timer.
void CreateProcessObjects();
// Frees them in the reverse order and leaves every pointer empty (tests, shutdown).
void FreeProcessObjects();
