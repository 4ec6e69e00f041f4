// The procedural scaler: each source pixel becomes a 2 x 2 block chosen by a
// fifteen-case table of which neighbours are equal.
#include "view/scaler.h"

#include <array>
#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VX_SCALER_SSE2 1
#endif

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

// One block from the table, for the columns the vector loop leaves over.
inline void ScaleBlock(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t* t, uint32_t* u)
{
    t[0] = a;
    if (a == b && a == c && a == d) {
        t[1] = u[0] = u[1] = a;
        return;
    }
    const unsigned eq = unsigned(a == b) * kAB | unsigned(a == c) * kAC | unsigned(a == d) * kAD |
                        unsigned(b == c) * kBC | unsigned(b == d) * kBD | unsigned(c == d) * kCD;
    const Block block = kBlocks[eq];
    const uint32_t ab = Blend(a, b);
    const uint32_t candidates[6] = {a, b, c, ab, Blend(a, c), Blend(ab, Blend(c, d))};
    t[1] = candidates[block.t1];
    u[0] = candidates[block.u0];
    u[1] = candidates[block.u1];
}

#ifdef VX_SCALER_SSE2

inline __m128i BlendX4(__m128i p, __m128i q)
{
    const __m128i low7 = _mm_set1_epi32(0x00FEFEFE);
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    const __m128i half = _mm_srli_epi32(_mm_and_si128(_mm_xor_si128(p, q), low7), 1);
    return _mm_and_si128(_mm_add_epi32(_mm_and_si128(p, q), half), rgb);
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Four neighbouring blocks at once, without branches. The table's first-match
// order makes every case one way of splitting A, B, C, D into equal groups
// (fifteen cases, fifteen ways), so each output is picked by masks that name
// the groupings giving it.
inline void ScaleFourBlocks(const uint32_t* top, const uint32_t* bottom, uint32_t* t, uint32_t* u)
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 1));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 1));
    const __m128i ab = _mm_cmpeq_epi32(a, b), ac = _mm_cmpeq_epi32(a, c), ad = _mm_cmpeq_epi32(a, d);
    const __m128i bc = _mm_cmpeq_epi32(b, c), bd = _mm_cmpeq_epi32(b, d), cd = _mm_cmpeq_epi32(c, d);
    const __m128i blendAB = BlendX4(a, b);
    const __m128i blendAC = BlendX4(a, c);
    const __m128i blendAll = BlendX4(blendAB, BlendX4(c, d));

    // T1 is A where A = B, or B = D without C = D (cases 1, 4-7, 9, 10).
    const __m128i t1 = Select(_mm_or_si128(ab, _mm_andnot_si128(cd, bd)), a, blendAB);

    // U0 is A in cases 1, 2, 5-8, 10, 11; Blend(A, B) in 12 and 14; else Blend(A, C).
    const __m128i u0IsA = _mm_or_si128(_mm_or_si128(ac, _mm_andnot_si128(ad, ab)),
                                       _mm_andnot_si128(_mm_or_si128(bc, ab), cd));
    const __m128i u0IsAB = _mm_andnot_si128(_mm_or_si128(bd, ab), bc);
    const __m128i u0 = Select(u0IsA, a, Select(u0IsAB, blendAB, blendAC));

    // U1: A in cases 1, 2, 4, 5, 7, 10, 13; C in 3; Blend(A, C) in 6 and 9;
    // B in 14; the four-way blend in 15; Blend(A, B) in 8, 11, 12.
    const __m128i anyEqual = _mm_or_si128(_mm_or_si128(_mm_or_si128(ab, ac), _mm_or_si128(ad, bc)),
                                          _mm_or_si128(bd, cd));
    const __m128i u1IsA = _mm_or_si128(ab, _mm_andnot_si128(bc, ad));
    const __m128i u1IsC = _mm_andnot_si128(ab, _mm_and_si128(bc, bd));
    const __m128i u1IsAC = _mm_andnot_si128(_mm_or_si128(ab, bc), bd);
    const __m128i u1IsB = _mm_andnot_si128(_mm_or_si128(_mm_or_si128(ab, bd), ad), bc);
    __m128i u1 = _mm_andnot_si128(anyEqual, blendAll);
    u1 = _mm_or_si128(u1, _mm_and_si128(anyEqual, blendAB));
    u1 = Select(u1IsAC, blendAC, u1);
    u1 = Select(u1IsC, c, u1);
    u1 = Select(u1IsB, b, u1);
    u1 = Select(u1IsA, a, u1);

    _mm_storeu_si128(reinterpret_cast<__m128i*>(t), _mm_unpacklo_epi32(a, t1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(t + 4), _mm_unpackhi_epi32(a, t1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u), _mm_unpacklo_epi32(u0, u1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + 4), _mm_unpackhi_epi32(u0, u1));
}

#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define VX_SCALER_AVX2 1
#define VX_TARGET_AVX2 __attribute__((target("avx2")))

VX_TARGET_AVX2 inline __m256i BlendX8(__m256i p, __m256i q)
{
    const __m256i low7 = _mm256_set1_epi32(0x00FEFEFE);
    const __m256i rgb = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i half = _mm256_srli_epi32(_mm256_and_si256(_mm256_xor_si256(p, q), low7), 1);
    return _mm256_and_si256(_mm256_add_epi32(_mm256_and_si256(p, q), half), rgb);
}

// The masks are whole lanes of ones or zeros, so a byte blend picks whole pixels.
VX_TARGET_AVX2 inline __m256i SelectX8(__m256i mask, __m256i yes, __m256i no)
{
    return _mm256_blendv_epi8(no, yes, mask);
}

// Eight neighbouring blocks at once: the four-block version's masks, twice as wide.
VX_TARGET_AVX2 inline void ScaleEightBlocks(const uint32_t* top, const uint32_t* bottom, uint32_t* t, uint32_t* u)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 1));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 1));
    const __m256i ab = _mm256_cmpeq_epi32(a, b), ac = _mm256_cmpeq_epi32(a, c), ad = _mm256_cmpeq_epi32(a, d);
    const __m256i bc = _mm256_cmpeq_epi32(b, c), bd = _mm256_cmpeq_epi32(b, d), cd = _mm256_cmpeq_epi32(c, d);
    const __m256i blendAB = BlendX8(a, b);
    const __m256i blendAC = BlendX8(a, c);
    const __m256i blendAll = BlendX8(blendAB, BlendX8(c, d));

    const __m256i t1 = SelectX8(_mm256_or_si256(ab, _mm256_andnot_si256(cd, bd)), a, blendAB);

    const __m256i u0IsA = _mm256_or_si256(_mm256_or_si256(ac, _mm256_andnot_si256(ad, ab)),
                                          _mm256_andnot_si256(_mm256_or_si256(bc, ab), cd));
    const __m256i u0IsAB = _mm256_andnot_si256(_mm256_or_si256(bd, ab), bc);
    const __m256i u0 = SelectX8(u0IsA, a, SelectX8(u0IsAB, blendAB, blendAC));

    const __m256i anyEqual = _mm256_or_si256(_mm256_or_si256(_mm256_or_si256(ab, ac), _mm256_or_si256(ad, bc)),
                                             _mm256_or_si256(bd, cd));
    const __m256i u1IsA = _mm256_or_si256(ab, _mm256_andnot_si256(bc, ad));
    const __m256i u1IsC = _mm256_andnot_si256(ab, _mm256_and_si256(bc, bd));
    const __m256i u1IsAC = _mm256_andnot_si256(_mm256_or_si256(ab, bc), bd);
    const __m256i u1IsB = _mm256_andnot_si256(_mm256_or_si256(_mm256_or_si256(ab, bd), ad), bc);
    __m256i u1 = SelectX8(anyEqual, blendAB, blendAll);
    u1 = SelectX8(u1IsAC, blendAC, u1);
    u1 = SelectX8(u1IsC, c, u1);
    u1 = SelectX8(u1IsB, b, u1);
    u1 = SelectX8(u1IsA, a, u1);

    // The unpacks interleave within each 128-bit half; the permutes put the halves in order.
    const __m256i tLow = _mm256_unpacklo_epi32(a, t1), tHigh = _mm256_unpackhi_epi32(a, t1);
    const __m256i uLow = _mm256_unpacklo_epi32(u0, u1), uHigh = _mm256_unpackhi_epi32(u0, u1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), _mm256_permute2x128_si256(tLow, tHigh, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + 8), _mm256_permute2x128_si256(tLow, tHigh, 0x31));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(u), _mm256_permute2x128_si256(uLow, uHigh, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(u + 8), _mm256_permute2x128_si256(uLow, uHigh, 0x31));
}

// The blocks of one row pair that come eight at a time; returns how many were done.
VX_TARGET_AVX2 int ScaleEightsOfRow(const uint32_t* top, const uint32_t* bottom, int blocks, uint32_t* t, uint32_t* u)
{
    int i = 0;
    for (; i + 8 <= blocks; i += 8)
        ScaleEightBlocks(top + i, bottom + i, t + 2 * i, u + 2 * i);
    return i;
}

bool CanUseAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

#ifdef VX_SCALER_AVX2
bool ScalerWideVectors = CanUseAvx2();
#else
bool ScalerWideVectors = false;
#endif

void ScaleDouble(const uint32_t* src, int srcPitch, int width, int height, uint32_t* dst, int dstPitch)
{
    if (width < 1)
        return;
    const int blocks = width - 1;  // the last column has no block of its own
    for (int y = 0; y + 1 < height; ++y) {
        const uint32_t* top = src + std::ptrdiff_t(y) * srcPitch;
        const uint32_t* bottom = top + srcPitch;
        uint32_t* t = dst + std::ptrdiff_t(2 * y) * dstPitch;
        uint32_t* u = t + dstPitch;
        int i = 0;
#ifdef VX_SCALER_AVX2
        if (ScalerWideVectors)
            i = ScaleEightsOfRow(top, bottom, blocks, t, u);
#endif
#ifdef VX_SCALER_SSE2
        for (; i + 4 <= blocks; i += 4)
            ScaleFourBlocks(top + i, bottom + i, t + 2 * i, u + 2 * i);
#endif
        for (; i < blocks; ++i)
            ScaleBlock(top[i], top[i + 1], bottom[i], bottom[i + 1], t + 2 * i, u + 2 * i);
        // The last column's pair stays black.
        t[2 * blocks] = t[2 * blocks + 1] = 0;
        u[2 * blocks] = u[2 * blocks + 1] = 0;
    }
}
