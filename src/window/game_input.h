// The game window's keys and mouse, without widgets: keys arrive as virtual-key
// codes, the mouse in window pixels. Movement goes to the UDP game channel, chat
// lines to the TCP connection, the switches to the game view.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class TGameView;
class TGumpList;
namespace net {
class TGameChannel;
class TNPCList;
}  // namespace net

// Virtual-key codes the game window handles.
namespace vk {
inline constexpr int Back = 8, Return = 13, Escape = 27, Space = 32;
inline constexpr int End = 35, Home = 36, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28;
inline constexpr int F1 = 112, F2 = 113, F3 = 114, F4 = 115, F5 = 116, F10 = 121;
inline constexpr int T = 84, X = 88;
inline constexpr int Console = 192;  // the key left of 1, whatever the layout prints on it
}  // namespace vk

class TGameInput {
public:
    TGameInput(TGameView& view, net::TGameChannel& channel);

    // What the keys reach outside the view and the channel; any may be left unset.
    std::function<void(std::string_view text)> SendChat;  // client_chat by SendTCP
    std::function<void(bool on)> SetFullScreen;
    std::function<void()> Quit;                           // Alt+X
    net::TNPCList* Actors = nullptr;                     // facing of the player's record
    TGumpList* Gumps = nullptr;                          // the speech-history gump (F4)
    std::mutex* GumpsLock = nullptr;
    std::string WorldIdentity;                           // picks the speech gump's picture

    void FormKeyDown(int key);
    void FormKeyPress(int character);
    void FormKeyUp(int key, bool alt);

    // Mouse events in window pixels of a client area `width` x `height`.
    void FormMouseMove(int x, int y, int width, int height);
    void FormMouseDown(bool right, int x, int y, int width, int height);
    void PaintBox1MouseUp(bool right);

    // Window pixels to view pixels (320 x 200), rounded to nearest, halves to even.
    static void WindowToView(int x, int y, int width, int height, int& viewX, int& viewY);

    // Run first in every RetransmitTimer tick, and on every mouse move.
    void ResendWalkTarget();

private:
    void SendWalkTo(int viewX, int viewY);
    void FaceArrow(int key);

    TGameView& view_;
    net::TGameChannel& channel_;
};
