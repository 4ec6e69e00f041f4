// The palette: hand-picked ramp end points blended through a middle colour.
#include "palette.h"

namespace worldgen {

namespace {

struct Rgb {
    int r, g, b;
};

// Dark, middle and light colour of each ramp, components 0-63.
constexpr Rgb kRamps[kRampCount][3] = {
    {{0, 0, 0}, {30, 30, 31}, {63, 63, 63}},      // grey
    {{10, 9, 8}, {34, 32, 29}, {56, 54, 50}},     // stone
    {{14, 8, 3}, {36, 23, 11}, {56, 42, 25}},     // wood
    {{8, 5, 3}, {22, 14, 8}, {38, 28, 18}},       // bark
    {{4, 13, 3}, {17, 35, 9}, {38, 54, 20}},      // grass
    {{2, 8, 4}, {8, 24, 10}, {24, 42, 18}},       // leaf
    {{10, 18, 4}, {30, 42, 12}, {52, 58, 28}},    // meadow
    {{28, 22, 12}, {48, 41, 26}, {62, 58, 44}},   // sand
    {{13, 8, 4}, {30, 21, 12}, {46, 36, 24}},     // dirt
    {{16, 4, 3}, {40, 14, 9}, {58, 34, 26}},      // brick
    {{18, 5, 2}, {44, 17, 8}, {60, 38, 22}},      // roof red
    {{7, 9, 14}, {20, 25, 34}, {40, 46, 54}},     // slate
    {{22, 12, 7}, {46, 30, 20}, {62, 50, 40}},    // skin
    {{16, 2, 3}, {44, 8, 10}, {62, 30, 28}},      // cloth red
    {{3, 5, 18}, {10, 18, 44}, {30, 42, 62}},     // cloth blue
    {{3, 12, 5}, {10, 32, 14}, {30, 52, 30}},     // cloth green
    {{20, 12, 0}, {50, 38, 4}, {63, 60, 30}},     // gold
    {{10, 3, 16}, {30, 12, 40}, {50, 36, 60}},    // purple
    {{30, 36, 44}, {50, 54, 60}, {63, 63, 63}},   // snow
    {{8, 10, 5}, {20, 24, 12}, {36, 40, 24}},     // swamp
    {{2, 6, 20}, {8, 22, 42}, {30, 46, 60}},      // water
    {{14, 14, 16}, {32, 31, 32}, {50, 49, 48}},   // cobble
    {{34, 26, 14}, {52, 44, 28}, {62, 58, 44}},   // parchment
    {{8, 10, 12}, {26, 30, 34}, {50, 54, 58}},    // iron
    {{24, 8, 0}, {52, 26, 4}, {63, 48, 20}},      // orange
    {{0, 14, 14}, {6, 36, 36}, {30, 58, 54}},     // teal
    {{26, 8, 16}, {52, 24, 36}, {63, 46, 54}},    // pink
    {{38, 34, 26}, {54, 50, 42}, {63, 62, 56}},   // cream
};

Rgb Blend(Rgb a, Rgb b, int num, int den)
{
    return {a.r + (b.r - a.r) * num / den, a.g + (b.g - a.g) * num / den, a.b + (b.b - a.b) * num / den};
}

}  // namespace

std::array<uint8_t, 768> MakePalette()
{
    std::array<uint8_t, 768> pal{};
    auto set = [&](int i, Rgb c) {
        pal[size_t(3 * i)] = uint8_t(c.r);
        pal[size_t(3 * i + 1)] = uint8_t(c.g);
        pal[size_t(3 * i + 2)] = uint8_t(c.b);
    };
    for (int r = 0; r < kRampCount; ++r)
        for (int s = 0; s < 8; ++s)
            set(r * 8 + s, s < 4 ? Blend(kRamps[r][0], kRamps[r][1], s, 4) : Blend(kRamps[r][1], kRamps[r][2], s - 4, 3));
    // Water shimmer: a smooth wave over eight entries, so rotating them moves
    // bands of light across every water pixel.
    constexpr int wave[8] = {0, 1, 2, 3, 4, 3, 2, 1};
    for (int i = 0; i < 8; ++i) {
        set(kShallowCycle + i, Blend(Rgb{10, 28, 44}, Rgb{28, 48, 58}, wave[i], 4));
        set(kDeepCycle + i, Blend(Rgb{2, 8, 26}, Rgb{10, 22, 42}, wave[i], 4));
    }
    const Rgb fire[4] = {{50, 8, 0}, {63, 28, 0}, {63, 48, 6}, {58, 18, 0}};
    const Rgb glow[4] = {{44, 30, 6}, {56, 44, 14}, {63, 58, 32}, {56, 44, 14}};
    const Rgb pulse[3] = {{20, 10, 44}, {34, 24, 58}, {48, 40, 63}};
    for (int i = 0; i < 4; ++i) {
        set(kFireCycle + i, fire[i]);
        set(kGlowCycle + i, glow[i]);
    }
    for (int i = 0; i < 3; ++i)
        set(kPulseCycle + i, pulse[i]);
    set(kOutline, {3, 2, 2});
    set(252, {12, 10, 8});
    set(253, {40, 40, 40});
    set(254, {63, 0, 63});
    set(kWhite, {63, 63, 63});
    return pal;
}

}  // namespace worldgen
