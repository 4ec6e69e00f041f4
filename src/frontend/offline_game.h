// A developer's way into the game window without a server: the installed world with
// the player standing at the view start, nobody else around.
#pragma once

// Loads the world as the login does once the server has named its UDP port (chunks,
// map, fixed objects, the world's movable objects), puts the player's own record at
// the view start with the first character shape, and shows the game window.
void EnterOfflineGame();
