// The game window on the installed world, without a server.
#include "frontend/offline_game.h"

#include <mutex>

#include "data/static_tables.h"
#include "data/shapes.h"
#include "frontend/client_windows.h"
#include "frontend/startup.h"
#include "window/game_window.h"

namespace {

// No server: the keys are only remembered, so that held keys, T for a chat line and the
// walking keys' facings work as with one.
TOfflineInputLink offlineLink;

}  // namespace

void EnterOfflineGame()
{
    LoadWorldMap();
    {
        std::lock_guard<std::mutex> hold(NPCList->Lock());
        net::TNPCNode* player = NPCList->FindEntry(-1);
        player->Shape = VxShapes->NextCharacterShape(149);
        player->X = uint16_t(FullScreenForm->CentreX());
        player->Y = uint16_t(FullScreenForm->CentreY());
        player->PosX = player->X;
        player->PosY = player->Y;
        player->Facing = 8;
    }
    FullScreenForm->Link = &offlineLink;
    OpenGameWindow();
}
