// Value noise for the landscape.
#include "rng.h"

#include <cmath>

namespace worldgen {

namespace {

double Lattice(uint64_t seed, int x, int y) { return double(Hash(seed, uint64_t(x), uint64_t(y)) >> 11) / double(1ull << 53); }

double Smooth(double t) { return t * t * (3 - 2 * t); }

int Wrap(int v, int period) { return ((v % period) + period) % period; }

}  // namespace

double WrappedValueNoise(uint64_t seed, double x, double y, int period)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int x0 = int(fx), y0 = int(fy);
    const double tx = Smooth(x - fx), ty = Smooth(y - fy);
    const int ax = Wrap(x0, period), bx = Wrap(x0 + 1, period);
    const int ay = Wrap(y0, period), by = Wrap(y0 + 1, period);
    const double top = Lattice(seed, ax, ay) * (1 - tx) + Lattice(seed, bx, ay) * tx;
    const double bottom = Lattice(seed, ax, by) * (1 - tx) + Lattice(seed, bx, by) * tx;
    return top * (1 - ty) + bottom * ty;
}

double WrappedFractalNoise(uint64_t seed, double x, double y, double size, int period, int octaves)
{
    double sum = 0, weight = 0, amplitude = 1;
    for (int o = 0; o < octaves; ++o) {
        const int p = period << o;
        sum += amplitude * WrappedValueNoise(seed + uint64_t(o) * 7919, x / size * p, y / size * p, p);
        weight += amplitude;
        amplitude *= 0.5;
    }
    return sum / weight;
}

}  // namespace worldgen
