// The sample world's palette: 28 ramps of 8 shades (dark to light) in 0-223,
// then the cycling ranges the renderer animates and a few fixed colours.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace worldgen {

enum Ramp : uint8_t {
    kGrey, kStone, kWood, kBark, kGrass, kLeaf, kMeadow, kSand, kDirt, kBrick, kRoofRed, kSlate,
    kSkin, kClothRed, kClothBlue, kClothGreen, kGold, kPurple, kSnow, kSwamp, kWater, kCobble,
    kParchment, kIron, kOrange, kTeal, kPink, kCream, kRampCount
};

// Palette index of shade 0-7 (clamped) of a ramp.
inline uint8_t Shade(Ramp ramp, int shade)
{
    return uint8_t(ramp * 8 + (shade < 0 ? 0 : shade > 7 ? 7 : shade));
}

// Cycling ranges, as the renderer rotates them.
constexpr int kShallowCycle = 224;  // 224-231, shallow-water shimmer
constexpr int kDeepCycle = 232;     // 232-239, deep-water shimmer
constexpr int kFireCycle = 240;     // 240-243, flames
constexpr int kGlowCycle = 244;     // 244-247, embers and lamp glow
constexpr int kPulseCycle = 248;    // 248-250, a slow magic pulse
constexpr uint8_t kBlack = 0;       // shade 0 of kGrey
constexpr uint8_t kOutline = 251;   // near-black outline
constexpr uint8_t kWhite = 255;

// 256 entries of red, green, blue in 0-63, as PALETTES.FLX stores them.
std::array<uint8_t, 768> MakePalette();

}  // namespace worldgen
