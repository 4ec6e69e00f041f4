// Voxel models and their oblique projection.
#include "voxel.h"

#include <cmath>

#include "rng.h"

namespace worldgen {

void Volume::Box(int x0, int y0, int z0, int x1, int y1, int z1, const Texture& t)
{
    for (int z = z0; z <= z1; ++z)
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (Inside(x, y, z))
                    Set(x, y, z, t(x, y, z));
}

void Volume::Ellipsoid(double cx, double cy, double cz, double rx, double ry, double rz, const Texture& t)
{
    for (int z = int(std::floor(cz - rz)); z <= int(std::ceil(cz + rz)); ++z)
        for (int y = int(std::floor(cy - ry)); y <= int(std::ceil(cy + ry)); ++y)
            for (int x = int(std::floor(cx - rx)); x <= int(std::ceil(cx + rx)); ++x) {
                const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry, dz = (z + 0.5 - cz) / rz;
                if (dx * dx + dy * dy + dz * dz <= 1.0 && Inside(x, y, z))
                    Set(x, y, z, t(x, y, z));
            }
}

void Volume::Cylinder(double cx, double cy, double r, int z0, int z1, const Texture& t)
{
    for (int z = z0; z <= z1; ++z)
        for (int y = int(std::floor(cy - r)); y <= int(std::ceil(cy + r)); ++y)
            for (int x = int(std::floor(cx - r)); x <= int(std::ceil(cx + r)); ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                if (dx * dx + dy * dy <= r * r && Inside(x, y, z))
                    Set(x, y, z, t(x, y, z));
            }
}

void Volume::Carve(int x0, int y0, int z0, int x1, int y1, int z1)
{
    for (int z = z0; z <= z1; ++z)
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                Clear(x, y, z);
}

Texture Solid(Ramp ramp, int shade, int speckle, uint64_t seed)
{
    return [=](int x, int y, int z) {
        int s = shade;
        if (speckle > 0) {
            const uint64_t h = Hash(seed, uint64_t(x), uint64_t(y), uint64_t(z)) % 100;
            if (h < uint64_t(speckle))
                s += (h & 1) ? 1 : -1;
        }
        return Vox::Of(ramp, s);
    };
}

formats::Picture Project(const Volume& vol, const ProjectOptions& options)
{
    const int margin = 1;
    const int w = vol.SX() + vol.SZ() - 1 + 2 * margin;
    const int h = vol.SY() + vol.SZ() - 1 + 2 * margin;
    const int hotX = vol.AnchorX() + vol.SZ() - 1 + margin;
    const int hotY = vol.AnchorY() + vol.SZ() - 1 + margin;
    formats::Picture pic(w, h, hotX, hotY);
    // Higher voxels on the same pixel are nearer the eye: draw bottom up.
    for (int z = 0; z < vol.SZ(); ++z)
        for (int y = 0; y < vol.SY(); ++y)
            for (int x = 0; x < vol.SX(); ++x) {
                const Vox& v = vol.At(x, y, z);
                if (!v.Solid())
                    continue;
                int colour = v.index;
                if (v.kind == Vox::kRamp) {
                    int adjust = 1;  // top face
                    if (vol.Solid(x, y, z + 1))
                        adjust = !vol.Solid(x, y + 1, z) ? 0 : !vol.Solid(x + 1, y, z) ? -1 : 1;
                    colour = Shade(v.ramp, v.shade + adjust);
                }
                pic.At(x - z + vol.SZ() - 1 + margin, y - z + vol.SZ() - 1 + margin) = colour;
            }
    if (options.outline) {
        const formats::Picture src = pic;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (src.At(x, y) >= 0)
                    continue;
                const bool edge = (x > 0 && src.At(x - 1, y) >= 0) || (x + 1 < w && src.At(x + 1, y) >= 0) ||
                                  (y > 0 && src.At(x, y - 1) >= 0) || (y + 1 < h && src.At(x, y + 1) >= 0);
                if (edge)
                    pic.At(x, y) = kOutline;
            }
    }
    // The ground under the anchor tile shows wherever the model leaves it bare.
    if (options.base) {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                int& p = pic.At(hotX - 7 + c, hotY - 7 + r);
                if (p < 0 || p == kOutline)
                    p = (*options.base)[size_t(r * 8 + c)];
            }
    }
    return pic;
}

}  // namespace worldgen
