// Character figures built as small voxel people.
#include "characters.h"

#include "palette.h"
#include "voxel.h"

namespace worldgen {

namespace {

enum class Headwear { kNone, kHood, kHat, kHelmet, kCrown, kPointy };

struct Look {
    const char* name;
    Ramp skin, hair, shirt, trousers, boots;
    int skinShade, hairShade, shirtShade;
    bool robe = false, beard = false, staff = false, shield = false, cloak = false;
    Headwear headwear = Headwear::kNone;
    Ramp hatRamp = kGrey;
    int shapeClass = 12;
};

// Pose: 0 standing, 1 and 2 the two walking steps. Facing south means the face
// is on the +y side (towards the viewer); facing north shows the back.
Volume Figure(const Look& l, int pose, bool south)
{
    Volume v(12, 10, 27, 8, 7);  // anchor tile x 1..8, y 0..7; room for a staff and swing
    const int ox = 1, oy = 0;    // tile origin in the model
    const int fwd = south ? 1 : -1;
    const int step = pose == 0 ? 0 : (pose == 1 ? 1 : -1);
    auto S = [](Ramp r, int s) { return Solid(r, s); };
    // Legs (and boots), stepping forwards and back along y.
    const int legLx = ox + 2, legRx = ox + 5;
    const int dyL = step * fwd, dyR = -step * fwd;
    if (!l.robe) {
        v.Box(legLx, oy + 3 + dyL, 0, legLx + 1, oy + 4 + dyL, 7, S(l.trousers, 3));
        v.Box(legRx, oy + 3 + dyR, 0, legRx + 1, oy + 4 + dyR, 7, S(l.trousers, 3));
        v.Box(legLx, oy + 3 + dyL, 0, legLx + 1, oy + 4 + dyL, 1, S(l.boots, 2));
        v.Box(legRx, oy + 3 + dyR, 0, legRx + 1, oy + 4 + dyR, 1, S(l.boots, 2));
    } else {
        v.Box(legLx, oy + 3 + dyL, 0, legLx + 1, oy + 4 + dyL, 1, S(l.boots, 2));
        v.Box(legRx, oy + 3 + dyR, 0, legRx + 1, oy + 4 + dyR, 1, S(l.boots, 2));
        v.Box(ox + 1, oy + 2, 2, ox + 6, oy + 5, 8, S(l.shirt, l.shirtShade - 1));
    }
    // Torso with a belt; arms swing against the legs.
    v.Box(ox + 1, oy + 2, 8, ox + 6, oy + 5, 15, S(l.shirt, l.shirtShade));
    v.Box(ox + 1, oy + 2, 8, ox + 6, oy + 5, 8, S(kBark, 2));
    if (l.robe)
        v.Box(ox + 3, oy + (south ? 5 : 2), 9, ox + 4, oy + (south ? 5 : 2), 15, S(l.shirt, l.shirtShade + 2));
    const int dyA = -dyL;
    v.Box(ox + 0, oy + 3 + dyA, 9, ox + 0, oy + 4 + dyA, 15, S(l.shirt, l.shirtShade - 1));
    v.Box(ox + 7, oy + 3 - dyA, 9, ox + 7, oy + 4 - dyA, 15, S(l.shirt, l.shirtShade - 1));
    v.Box(ox + 0, oy + 3 + dyA, 8, ox + 0, oy + 4 + dyA, 8, S(l.skin, l.skinShade));
    v.Box(ox + 7, oy + 3 - dyA, 8, ox + 7, oy + 4 - dyA, 8, S(l.skin, l.skinShade));
    if (l.cloak) {
        const int back = south ? oy + 1 : oy + 6;
        v.Box(ox + 1, back, 4, ox + 6, back, 15, S(l.hatRamp, 3));
    }
    // Head, hair, face.
    v.Box(ox + 2, oy + 2, 16, ox + 5, oy + 5, 20, S(l.skin, l.skinShade));
    v.Box(ox + 2, oy + 2, 21, ox + 5, oy + 5, 21, S(l.hair, l.hairShade));
    const int backY = south ? oy + 2 : oy + 5, frontY = south ? oy + 5 : oy + 2;
    v.Box(ox + 2, backY, 17, ox + 5, backY, 21, S(l.hair, l.hairShade));
    v.Box(ox + 2, oy + 2, 19, ox + 2, oy + 5, 21, S(l.hair, l.hairShade));
    v.Box(ox + 5, oy + 2, 19, ox + 5, oy + 5, 21, S(l.hair, l.hairShade));
    if (south) {
        v.Set(ox + 3, frontY, 19, Vox::Fixed(kOutline));
        v.Set(ox + 5, frontY, 19, Vox::Fixed(kOutline));
        v.Set(ox + 4, frontY, 17, Vox::Of(kClothRed, 2));
        if (l.beard)
            v.Box(ox + 2, frontY, 15, ox + 5, frontY, 17, S(l.hair, l.hairShade + 1));
    }
    switch (l.headwear) {
    case Headwear::kNone: break;
    case Headwear::kHood:
        v.Box(ox + 1, oy + 1, 18, ox + 6, oy + 6, 22, S(l.hatRamp, 3));
        v.Carve(ox + 2, south ? oy + 6 : oy + 7, 16, ox + 5, oy + 6, 20);
        if (south)
            v.Carve(ox + 2, oy + 6, 16, ox + 5, oy + 6, 20);
        break;
    case Headwear::kHat:
        v.Box(ox + 0, oy + 1, 22, ox + 7, oy + 6, 22, S(l.hatRamp, 3));
        v.Box(ox + 2, oy + 2, 23, ox + 5, oy + 5, 24, S(l.hatRamp, 4));
        break;
    case Headwear::kHelmet:
        v.Box(ox + 2, oy + 2, 20, ox + 5, oy + 5, 23, S(kIron, 5));
        v.Box(ox + 2, backY, 17, ox + 5, backY, 20, S(kIron, 4));
        break;
    case Headwear::kCrown:
        v.Box(ox + 2, oy + 2, 22, ox + 5, oy + 5, 22, S(kGold, 5));
        for (int i = 0; i < 4; i += 3) {
            v.Set(ox + 2 + i, oy + 2, 23, Vox::Of(kGold, 6));
            v.Set(ox + 2 + i, oy + 5, 23, Vox::Of(kGold, 6));
        }
        break;
    case Headwear::kPointy:
        v.Box(ox + 1, oy + 1, 22, ox + 6, oy + 6, 22, S(l.hatRamp, 3));
        v.Box(ox + 2, oy + 2, 23, ox + 5, oy + 5, 24, S(l.hatRamp, 4));
        v.Box(ox + 3, oy + 3, 25, ox + 4, oy + 4, 26, S(l.hatRamp, 5));
        break;
    }
    if (l.staff)
        v.Box(ox + 8, oy + 3 - dyA, 1, ox + 8, oy + 3 - dyA, 23, Solid(kWood, 4));
    if (l.shield) {
        const int sy = south ? oy + 6 : oy + 1;
        v.Box(ox - 1 + 1, sy, 8, ox + 0 + 1, sy, 14, S(kIron, 4));
        v.Box(ox + 0, sy, 10, ox + 0, sy, 12, S(kGold, 5));
    }
    return v;
}

const Look kLooks[] = {
    {"villager", kSkin, kBark, kClothGreen, kDirt, kBark, 5, 3, 4},
    {"fighter", kSkin, kGold, kClothRed, kIron, kBark, 5, 5, 4, false, false, false, true, false, Headwear::kHelmet},
    {"mage", kSkin, kGrey, kPurple, kPurple, kBark, 4, 6, 4, true, true, true, false, false, Headwear::kPointy, kPurple},
    {"ranger", kSkin, kBark, kLeaf, kDirt, kBark, 4, 2, 5, false, false, false, false, true, Headwear::kHood, kClothGreen},
    {"noble", kSkin, kDirt, kClothBlue, kCream, kGrey, 5, 3, 4, false, false, false, false, true, Headwear::kCrown, kClothRed},
    {"monk", kSkin, kGrey, kWood, kWood, kBark, 4, 2, 4, true, false, true, false, false, Headwear::kHood, kWood, 13},
    {"farmer", kSkin, kGold, kCream, kClothBlue, kBark, 5, 5, 4, false, false, false, false, false, Headwear::kHat, kSand},
    {"smith", kSkin, kGrey, kIron, kBark, kBark, 3, 1, 3, false, true, false, false, false},
    {"healer", kSkin, kOrange, kCream, kCream, kWood, 5, 4, 5, true, false, false, false, false, Headwear::kNone},
    {"guard", kSkin, kBark, kClothBlue, kIron, kGrey, 4, 2, 3, false, true, true, true, false, Headwear::kHelmet, kIron, 13},
};

}  // namespace

std::vector<ShapeArt> MakeCharacters()
{
    std::vector<ShapeArt> out;
    ProjectOptions outlined;
    outlined.outline = true;
    for (const Look& look : kLooks) {
        ShapeArt art;
        art.name = look.name;
        std::vector<formats::Picture> north, south;
        for (int pose = 0; pose < 3; ++pose) {
            north.push_back(Project(Figure(look, pose, false), outlined));
            south.push_back(Project(Figure(look, pose, true), outlined));
        }
        for (int f = 0; f < kCharacterFrames; ++f)
            art.frames.push_back(f < 3 ? north[size_t(f)] : f >= 16 ? south[size_t(f - 16)] : north[0]);
        SetFlags(art, 4, 1, 1, look.shapeClass);
        out.push_back(std::move(art));
    }
    return out;
}

}  // namespace worldgen
