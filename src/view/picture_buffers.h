// Who draws into the one colour buffer and pixel owner buffer of the process.
//
// The game and the map viewer share the pair (and the shape store and world tables
// they draw with), and nothing locks them: the game draws on the render thread,
// the viewer on the main thread. So they take turns, settled here on the main thread:
//
//   - the game claims the buffers when its render thread is first resumed
//     (TRefreshThread::Resume) and keeps them for the rest of the process (the render
//     thread is never stopped); a login should claim them before it loads the world,
//     since the world tables are the viewer's too. While it holds
//     them the viewer refuses to draw and to reload ("Begin" replaces the shape store
//     and the world the render thread is reading), with kViewerRefusal.
//   - a "Make Map" claims them for its run, which lets the window repaint between
//     views; while it runs the game cannot start (kGameRefusal), and a second Make Map
//     cannot either.
//   - the viewer's single draws run start to end on the main thread without letting
//     anything else in, so they only check that the game does not hold the buffers.
#pragma once

#include <cstdint>

enum class BufferUser : uint8_t { Nobody, Game, MapMaker };

constexpr const char* kViewerRefusal =
    "The map viewer cannot draw or load while the game is running: the game's render thread draws into the "
    "same picture buffers.";
constexpr const char* kGameRefusal = "The game cannot start while the map viewer is making a map.";

// Takes the buffers for `who`; false (and nothing changes) when someone else holds them.
bool ClaimPictureBuffers(BufferUser who);
// Gives them back if `who` holds them.
void ReleasePictureBuffers(BufferUser who);
BufferUser PictureBuffersHolder();
