// A small voxel model of an object and its projection into a frame.
//
// The world is seen from the south-east and above: a voxel (x, y, z) lands on
// the picture at (x - z, y - z), one voxel per pixel, so a lift (4 pixels of
// height) moves a thing 4 pixels up and 4 left, as the renderer draws lifts.
// Of the voxels on one pixel the highest one is seen; its top, south or east
// face decides the shade. The hot spot is the bottom-right pixel of the model's
// floor (voxel (sx-1, sy-1, 0)), the bottom-right pixel of the anchor tile.
//
//      z (up-left on screen)
//       \        top face
//        +-------+
//       /|      /|
//      +-------+ |  east face
//      | +-----|-+
//      |/ south|/
//      +-------+ <- hot spot
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "palette.h"
#include "formats/shape_writer.h"

namespace worldgen {

struct Vox {
    enum Kind : uint8_t { kEmpty, kRamp, kFixed } kind = kEmpty;
    Ramp ramp = kGrey;
    int8_t shade = 0;    // base shade of a ramp voxel
    uint8_t index = 0;   // palette index of a fixed voxel (not shaded)

    static Vox Of(Ramp r, int s) { return Vox{kRamp, r, int8_t(s), 0}; }
    static Vox Fixed(int i) { return Vox{kFixed, kGrey, 0, uint8_t(i)}; }
    bool Solid() const { return kind != kEmpty; }
};

using Texture = std::function<Vox(int x, int y, int z)>;

class Volume {
public:
    // The hot spot is voxel (ax, ay, 0); by default the model's bottom-right
    // floor voxel, but a model may overhang its anchor tile to the south-east.
    Volume(int sx, int sy, int sz, int ax = -1, int ay = -1)
        : sx_(sx), sy_(sy), sz_(sz), ax_(ax < 0 ? sx - 1 : ax), ay_(ay < 0 ? sy - 1 : ay), v_(size_t(sx) * sy * sz) {}
    int AnchorX() const { return ax_; }
    int AnchorY() const { return ay_; }
    int SX() const { return sx_; }
    int SY() const { return sy_; }
    int SZ() const { return sz_; }

    bool Inside(int x, int y, int z) const { return x >= 0 && y >= 0 && z >= 0 && x < sx_ && y < sy_ && z < sz_; }
    const Vox& At(int x, int y, int z) const { return v_[Index(x, y, z)]; }
    bool Solid(int x, int y, int z) const { return Inside(x, y, z) && At(x, y, z).Solid(); }
    void Set(int x, int y, int z, Vox v)
    {
        if (Inside(x, y, z))
            v_[Index(x, y, z)] = v;
    }
    void Clear(int x, int y, int z) { Set(x, y, z, Vox{}); }

    // Inclusive boxes and round solids filled from a texture.
    void Box(int x0, int y0, int z0, int x1, int y1, int z1, const Texture& t);
    void Ellipsoid(double cx, double cy, double cz, double rx, double ry, double rz, const Texture& t);
    void Cylinder(double cx, double cy, double r, int z0, int z1, const Texture& t);
    // Removes voxels inside an inclusive box.
    void Carve(int x0, int y0, int z0, int x1, int y1, int z1);

private:
    size_t Index(int x, int y, int z) const { return (size_t(z) * sy_ + y) * sx_ + x; }
    int sx_, sy_, sz_, ax_, ay_;
    std::vector<Vox> v_;
};

// A plain material with optional speckle: shade varies by -1..+1 on a hash.
Texture Solid(Ramp ramp, int shade, int speckle = 0, uint64_t seed = 0);
inline Texture FixedColour(int index) { return [index](int, int, int) { return Vox::Fixed(index); }; }

struct ProjectOptions {
    const std::vector<uint8_t>* base = nullptr;  // 64 ground pixels under the anchor tile
    bool outline = false;                        // a dark line around the silhouette
};

// Projects the model into a picture whose hot spot is the model's anchor.
formats::Picture Project(const Volume& volume, const ProjectOptions& options = {});

}  // namespace worldgen
