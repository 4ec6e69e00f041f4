// The procedural scaler: each source pixel becomes a 2 x 2 block chosen by a
// fifteen-case table of which neighbours are equal.
#include "view/scaler.h"

#include <array>
#include <cstddef>

namespace {

// Which of the block's four pixels are equal, one bit per pair.
enum : unsigned { kAB = 1, kAC = 2, kAD = 4, kBC = 8, kBD = 16, kCD = 32 };

// What each of the three generated pixels holds.
enum Source : uint8_t { kA, kB, kC, kBlendAB, kBlendAC, kBlendAll };

struct Block {
    Source t1, u0, u1;  // top right, bottom left, bottom right
};

// The table's first case whose condition holds, for one set of equalities.
constexpr int CaseOf(unsigned eq)
{
    auto has = [eq](unsigned bits) { return (eq & bits) == bits; };
    if (has(kAB | kAC | kAD)) return 1;
    if (has(kAC | kCD)) return 2;
    if (has(kCD | kBD)) return 3;
    if (has(kBD | kAB)) return 4;
    if (has(kAB | kAC)) return 5;
    if (has(kAC | kBD)) return 6;
    if (has(kCD | kAB)) return 7;
    if (has(kAC)) return 8;
    if (has(kBD)) return 9;
    if (has(kAB)) return 10;
    if (has(kCD)) return 11;
    if (has(kAD | kBC)) return 12;
    if (has(kAD)) return 13;
    if (has(kBC)) return 14;
    return 15;
}

constexpr Block kCases[16] = {
    {kA, kA, kA},                    // (unused)
    {kA, kA, kA},                    // 1  A = B = C = D
    {kBlendAB, kA, kA},              // 2  C = A, C = D
    {kBlendAB, kBlendAC, kC},        // 3  C = D, D = B
    {kA, kBlendAC, kA},              // 4  D = B, A = B
    {kA, kA, kA},                    // 5  A = B, C = A
    {kA, kA, kBlendAC},              // 6  C = A, B = D
    {kA, kA, kA},                    // 7  C = D, A = B
    {kBlendAB, kA, kBlendAB},        // 8  C = A
    {kA, kBlendAC, kBlendAC},        // 9  B = D
    {kA, kA, kA},                    // 10 A = B
    {kBlendAB, kA, kBlendAB},        // 11 C = D
    {kBlendAB, kBlendAB, kBlendAB},  // 12 A = D, B = C
    {kBlendAB, kBlendAC, kA},        // 13 A = D
    {kBlendAB, kBlendAB, kB},        // 14 B = C
    {kBlendAB, kBlendAC, kBlendAll}, // 15 none of the above
};

constexpr std::array<Block, 64> MakeBlockTable()
{
    std::array<Block, 64> table{};
    for (unsigned eq = 0; eq < 64; ++eq)
        table[eq] = kCases[CaseOf(eq)];
    return table;
}

constexpr std::array<Block, 64> kBlocks = MakeBlockTable();

}  // namespace

void ScaleDouble(const uint32_t* src, int srcPitch, int width, int height, uint32_t* dst, int dstPitch)
{
    if (width < 1)
        return;
    for (int y = 0; y + 1 < height; ++y) {
        const uint32_t* top = src + std::ptrdiff_t(y) * srcPitch;
        const uint32_t* bottom = top + srcPitch;
        uint32_t* t = dst + std::ptrdiff_t(2 * y) * dstPitch;
        uint32_t* u = t + dstPitch;
        uint32_t a = top[0];
        uint32_t c = bottom[0];
        for (int i = 0; i + 1 < width; ++i) {
            const uint32_t b = top[i + 1];
            const uint32_t d = bottom[i + 1];
            t[2 * i] = a;
            if (a == b && a == c && a == d) {
                t[2 * i + 1] = a;
                u[2 * i] = a;
                u[2 * i + 1] = a;
            } else {
                const unsigned eq = unsigned(a == b) * kAB | unsigned(a == c) * kAC | unsigned(a == d) * kAD |
                                    unsigned(b == c) * kBC | unsigned(b == d) * kBD | unsigned(c == d) * kCD;
                const Block block = kBlocks[eq];
                const uint32_t ab = Blend(a, b);
                const uint32_t ac = Blend(a, c);
                const uint32_t candidates[6] = {a, b, c, ab, ac, Blend(ab, Blend(c, d))};
                t[2 * i + 1] = candidates[block.t1];
                u[2 * i] = candidates[block.u0];
                u[2 * i + 1] = candidates[block.u1];
            }
            a = b;
            c = d;
        }
        // The last column has no block of its own: its pair stays black.
        t[2 * width - 2] = t[2 * width - 1] = 0;
        u[2 * width - 2] = u[2 * width - 1] = 0;
    }
}
