// A game input link that writes down, as text, what the game's input sends.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/game_view.h"

class RecordingLink : public TGameInputLink {
public:
    std::array<bool, 256> down{};
    std::vector<std::string> sent;
    std::vector<std::string> resent;  // the mouse positions walk targets were re-checked at

    bool IsKeyDown(uint8_t key) override { return down[key]; }
    void KeyPressed(uint8_t key) override
    {
        down[key] = true;
        sent.push_back("press " + std::to_string(key));
    }
    void KeyReleased(uint8_t key) override
    {
        down[key] = false;
        sent.push_back("release " + std::to_string(key));
    }
    void SendChat(std::string_view text) override { sent.push_back("chat " + std::string(text)); }
    void SendWalkTo(int vx, int vy, int tx, int ty) override
    {
        sent.push_back("walk " + std::to_string(vx) + "," + std::to_string(vy) + " to " + std::to_string(tx) + "," +
                       std::to_string(ty));
    }
    void ResendWalkTarget(int mx, int my, int, int) override
    {
        resent.push_back(std::to_string(mx) + "," + std::to_string(my));
    }
    void SendWalkStop() override { sent.push_back("stop"); }
};
