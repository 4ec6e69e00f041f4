// The game window's keys and mouse.
#include "window/game_input.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "net/game_channel.h"
#include "net/npc_list.h"
#include "platform/console.h"
#include "view/render_thread.h"
#include "window/game_view.h"
#include "window/gump_list.h"

namespace {

bool IsArrow(int key)
{
    return key >= vk::Left && key <= vk::Down;
}

}  // namespace

TGameInput::TGameInput(TGameView& view, net::TGameChannel& channel) : view_(view), channel_(channel) {}

void TGameInput::FormKeyDown(int key)
{
    if (view_.ConsoleShown) {
        std::string& line = view_.ConsoleLines[TGameView::ConsoleEditLine];
        if (key == vk::Return) {
            const std::string text = line;
            view_.AddLogLine(text);
            view_.ConsoleLines[TGameView::ConsoleEditLine].clear();
            view_.ConsoleChanged = true;
            return;
        }
        if (key == vk::Space || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
            line.push_back(char(key));
            view_.ConsoleChanged = true;
            return;
        }
    }
    if (view_.ChatTyping) {
        if (key == vk::Return) {
            if (SendChat)
                SendChat(view_.ChatText);
            view_.ChatTyping = false;
            view_.ChatText.clear();
        } else if (key == vk::Escape) {
            view_.ChatTyping = false;
            view_.ChatText.clear();
        }
        return;
    }
    if (key < 0 || key > 255 || channel_.IsKeyDown(uint8_t(key)))
        return;  // a held key repeating does nothing
    channel_.KeyPressed(uint8_t(key));
    if (IsArrow(key))
        FaceArrow(key);
}

void TGameInput::FaceArrow(int key)
{
    if (!Actors)
        return;
    std::lock_guard<std::mutex> hold(Actors->Lock());
    net::TNPCNode* player = Actors->FindEntry(-1);
    player->Flags = 1;
    switch (key) {
    case vk::Up: player->Facing = 2; break;
    case vk::Right: player->Facing = 1; break;
    case vk::Down: player->Facing = 8; break;
    case vk::Left: player->Facing = 4; break;
    }
}

void TGameInput::FormKeyPress(int character)
{
    if (!view_.ChatTyping)
        return;
    if (view_.ChatText.size() < TGameView::MaxChatLength && character > 26 && character <= 125)
        view_.ChatText.push_back(char(character));
    else if (character == vk::Back && !view_.ChatText.empty())
        view_.ChatText.pop_back();
}

void TGameInput::FormKeyUp(int key, bool alt)
{
    if (!view_.ChatTyping && key >= 0 && key <= 255 && channel_.IsKeyDown(uint8_t(key))) {
        channel_.KeyReleased(uint8_t(key));
        if (key == vk::T) {
            view_.ChatTyping = true;
            view_.ChatText.clear();
        }
    }
    switch (key) {
    case vk::F10:
        if (SetFullScreen)
            SetFullScreen(!view_.FullScreen);
        break;
    case vk::F1: view_.ShowHelp = !view_.ShowHelp; break;
    case vk::F2: FrameLimiter = !FrameLimiter; break;
    case vk::F3: view_.ShowPerf = !view_.ShowPerf; break;
    case vk::F4:
        if (Gumps && GumpsLock) {
            std::lock_guard<std::mutex> hold(*GumpsLock);
            if (Gumps->Find(TGameView::SpeechGumpId)) {
                Gumps->Remove(TGameView::SpeechGumpId);
            } else {
                auto gump = std::make_unique<TGumpRecord>();
                gump->id = TGameView::SpeechGumpId;
                gump->x = 40;
                gump->y = 20;
                gump->gump = (WorldIdentity == "AMBER THORN" || WorldIdentity == "MARROW REACH") ? 49 : 54;
                Gumps->Insert(gump);
            }
        }
        break;
    case vk::F5: view_.ScalerOn = !view_.ScalerOn; break;
    case vk::Home:
        if (view_.MaxLift() < 15)
            view_.View.MaxLift.store(view_.MaxLift() + 1, std::memory_order_relaxed);
        else
            view_.View.MaxLift.store(15, std::memory_order_relaxed);
        break;
    case vk::End:
        if (view_.MaxLift() > 0)
            view_.View.MaxLift.store(view_.MaxLift() - 1, std::memory_order_relaxed);
        break;
    case vk::Console: view_.ToggleConsole(); break;
    case vk::X:
        if (alt && Quit)
            Quit();
        break;
    }
}

void TGameInput::WindowToView(int x, int y, int width, int height, int& viewX, int& viewY)
{
    // nearbyint rounds halves to even in the default rounding mode.
    viewX = width > 0 ? int(std::nearbyint(double(x) * 320.0 / width)) : 0;
    viewY = height > 0 ? int(std::nearbyint(double(y) * 200.0 / height)) : 0;
}

void TGameInput::FormMouseMove(int x, int y, int width, int height)
{
    ResendWalkTarget();
    if (width > 0 && height > 0) {
        view_.MouseX = x * 320 / width;
        view_.MouseY = y * 200 / height;
    }
}

void TGameInput::FormMouseDown(bool right, int x, int y, int width, int height)
{
    platform::ConsoleLine("MouseDown:");
    if (right) {
        platform::ConsoleLine(" -right:");
        int viewX = 0, viewY = 0;
        WindowToView(x, y, width, height, viewX, viewY);
        SendWalkTo(viewX, viewY);
    } else {
        platform::ConsoleLine(" -left:");
    }
}

void TGameInput::PaintBox1MouseUp(bool right)
{
    platform::ConsoleLine("MouseUp:");
    if (right) {
        platform::ConsoleLine(" -right:");
        channel_.SendWalkStop();
    } else {
        platform::ConsoleLine(" -left:");
    }
}

void TGameInput::SendWalkTo(int viewX, int viewY)
{
    int tileX = 0, tileY = 0;
    view_.ViewToWorld(viewX, viewY, tileX, tileY);
    channel_.SendWalkTo(viewX, viewY, tileX, tileY);
}

void TGameInput::ResendWalkTarget()
{
    int tileX = 0, tileY = 0;
    view_.ViewToWorld(view_.MouseX, view_.MouseY, tileX, tileY);
    channel_.ResendWalkTarget(view_.MouseX, view_.MouseY, tileX, tileY);
}
