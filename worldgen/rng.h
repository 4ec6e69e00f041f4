// Deterministic random numbers and value noise: the same seed gives the same
// world on every machine (no standard distributions, whose output may differ).
#pragma once

#include <cstdint>

namespace worldgen {

inline uint64_t Mix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A hash of several integers, for position-keyed choices.
inline uint64_t Hash(uint64_t a, uint64_t b = 0, uint64_t c = 0, uint64_t d = 0)
{
    return Mix64(Mix64(Mix64(Mix64(a) ^ b) ^ c) ^ d);
}

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(Mix64(seed)) {}
    uint64_t Next() { return Mix64(state_++); }
    // 0 .. n-1
    int Below(int n) { return n <= 1 ? 0 : int(Next() % uint64_t(n)); }
    // lo .. hi inclusive
    int Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    // 0 .. 1
    double Unit() { return double(Next() >> 11) / double(1ull << 53); }

private:
    uint64_t state_;
};

// Smooth value noise in 0..1 on a lattice of `period` cells that wraps, so the
// world joins up at its edges. (x, y) are in cell units.
double WrappedValueNoise(uint64_t seed, double x, double y, int period);

// Several octaves of wrapped noise, the first with `period` cells over `size`
// units; result roughly 0..1.
double WrappedFractalNoise(uint64_t seed, double x, double y, double size, int period, int octaves);

}  // namespace worldgen
