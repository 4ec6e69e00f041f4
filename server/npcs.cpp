// Decisions of the server's own characters.
#include "npcs.h"

#include <array>
#include <cstdlib>

namespace server {
namespace {

constexpr std::array<std::string_view, 10> Lines = {
    "Fine weather for the market.",
    "Have you seen the smith today?",
    "Mind the well, it is deeper than it looks.",
    "The roads north are not safe after dark.",
    "Welcome, traveller.",
    "I could use a cup of something warm.",
    "They say the old tower is haunted.",
    "Bread is dear this season.",
    "Keep your purse close in the crowd.",
    "Good day to you.",
};

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

TNpcBrain::TNpcBrain(int homeX, int homeY, uint32_t seed) : homeX_(homeX), homeY_(homeY), rng_(seed) {}

TNpcPlan TNpcBrain::Decide(int x, int y, bool walking)
{
    auto roll = [this](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); };
    TNpcPlan plan;
    if (roll(0, 9) == 0)
        plan.Line = Lines[size_t(roll(0, int(Lines.size()) - 1))];
    if (walking && roll(0, 3) != 0) {
        plan.Duration = uint32_t(roll(1000, 5000));  // stand a while
        return plan;
    }
    const int dx = homeX_ - x, dy = homeY_ - y;
    if (std::abs(dx) > Roam || std::abs(dy) > Roam) {
        plan.DirX = Sign(dx);
        plan.DirY = Sign(dy);
    } else {
        do {
            plan.DirX = roll(-1, 1);
            plan.DirY = roll(-1, 1);
        } while (plan.DirX == 0 && plan.DirY == 0);
    }
    plan.Duration = uint32_t(roll(1, 4) * 1000);
    return plan;
}

}  // namespace server
