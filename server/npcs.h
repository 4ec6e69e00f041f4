// The server's own characters: figures that wander around the town, stop, and now
// and then say a line. Only the decisions live here; the server walks them with the
// same motion rule as the players.
#pragma once

#include <cstdint>
#include <random>
#include <string_view>

namespace server {

// What a character does next.
struct TNpcPlan {
    int DirX = 0, DirY = 0;    // -1, 0 or 1; both 0 = stand
    uint32_t Duration = 0;     // ms until the next decision
    std::string_view Line;     // empty = say nothing
};

class TNpcBrain {
public:
    static constexpr int Roam = 24;  // tiles from home before it turns back

    TNpcBrain(int homeX, int homeY, uint32_t seed);

    // Decides at game time `now` for a character standing at (x, y) that was
    // `walking` until now: mostly it stands a while after walking and walks after
    // standing, heading home once it has roamed too far.
    TNpcPlan Decide(int x, int y, bool walking);

    int HomeX() const { return homeX_; }
    int HomeY() const { return homeY_; }

private:
    int homeX_, homeY_;
    std::mt19937 rng_;
};

}  // namespace server
