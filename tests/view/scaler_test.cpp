// The procedural scaler: blocks from the equality table, borders, Blend.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "view/scaler.h"

namespace {

constexpr uint32_t kUntouched = 0x00ABCDEF;

// A source picture and a destination twice its size, prefilled so that
// unwritten pixels show. Pitches are wider than the pictures to catch
// rows addressed by width instead of pitch.
struct Scaled {
    int width, height, srcPitch, dstPitch;
    std::vector<uint32_t> src, dst;

    Scaled(int w, int h, uint32_t fill)
        : width(w), height(h), srcPitch(w + 3), dstPitch(2 * w + 5),
          src(size_t(srcPitch) * h, fill), dst(size_t(dstPitch) * 2 * h, kUntouched)
    {
    }
    uint32_t& Src(int x, int y) { return src[size_t(y) * srcPitch + x]; }
    uint32_t Dst(int x, int y) const { return dst[size_t(y) * dstPitch + x]; }
    void Run() { ScaleDouble(src.data(), srcPitch, width, height, dst.data(), dstPitch); }
    // The 2 x 2 block of source pixel (x, y): top left, T1, U0, U1.
    std::vector<uint32_t> BlockOf(int x, int y) const
    {
        return {Dst(2 * x, 2 * y), Dst(2 * x + 1, 2 * y), Dst(2 * x, 2 * y + 1), Dst(2 * x + 1, 2 * y + 1)};
    }
};

using Block = std::vector<uint32_t>;

TEST(Blend, AveragesEachChannelAloneRoundingDown)
{
    EXPECT_EQ(Blend(0x00FF0000, 0x00000001), 0x007F0000u);
    EXPECT_EQ(Blend(0x00FFFFFF, 0x00FEFEFE), 0x00FEFEFEu);
    EXPECT_EQ(Blend(0x00010203, 0x00030201), 0x00020202u);
    EXPECT_EQ(Blend(0x00FF00FF, 0x0000FF00), 0x007F7F7Fu);
    EXPECT_EQ(Blend(0xFF102030, 0xFF102030), 0x00102030u);  // the top byte is always 0
}

TEST(ScaleDouble, UniformPictureStaysUniformApartFromTheBorders)
{
    const uint32_t q = 0x00336699;
    Scaled s(5, 4, q);
    s.Run();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < s.dstPitch; ++x) {
            uint32_t expected = q;
            if (y >= 6 || x >= 10)
                expected = kUntouched;  // last row pair and past the picture: not written
            else if (x >= 8)
                expected = 0;           // last column pair: black
            ASSERT_EQ(s.Dst(x, y), expected) << "at (" << x << ", " << y << ")";
        }
    }
}

TEST(ScaleDouble, SinglePixelSoftensTowardsItsNeighbours)
{
    const uint32_t q = 0x00000000, p = 0x00FEFEFE, mix = Blend(p, q);
    Scaled s(4, 4, q);
    s.Src(1, 1) = p;
    s.Run();
    EXPECT_EQ(s.BlockOf(1, 1), (Block{p, mix, mix, q}));  // B = C = D
    EXPECT_EQ(s.BlockOf(0, 1), (Block{q, mix, q, q}));    // C = A = D
    EXPECT_EQ(s.BlockOf(1, 0), (Block{q, q, mix, q}));    // A = B = D
    EXPECT_EQ(s.BlockOf(0, 0), (Block{q, q, q, q}));      // A = B = C
    EXPECT_EQ(s.BlockOf(2, 2), (Block{q, q, q, q}));
}

TEST(ScaleDouble, DiagonalEdgeGetsInBetweenColour)
{
    const uint32_t a = 0x00102030, b = 0x00F0E0D0, mix = Blend(a, b);
    Scaled s(2, 2, a);
    s.Src(1, 0) = b;
    s.Src(0, 1) = b;
    s.Run();
    EXPECT_EQ(s.BlockOf(0, 0), (Block{a, mix, mix, mix}));
    EXPECT_EQ(s.Dst(2, 0), 0u);
    EXPECT_EQ(s.Dst(3, 1), 0u);
    EXPECT_EQ(s.Dst(0, 2), kUntouched);
}

// One 2 x 2 source per case of the table, with the case's first condition
// met in the way that also meets later ones, so the order is checked too.
struct CaseQuad {
    int number;
    char a, b, c, d;     // equal letters are equal pixels
    const char* result;  // T1, U0, U1: A B C, a = Blend(A, B), c = Blend(A, C), x = the four-way blend
};

class ScaleDoubleCases : public testing::TestWithParam<CaseQuad> {};

TEST_P(ScaleDoubleCases, BlockFollowsTheFirstMatchingCase)
{
    const CaseQuad& q = GetParam();
    auto colour = [](char letter) { return 0x00101010u * uint32_t(letter - 'P' + 1) + 0x00050300u; };
    const uint32_t a = colour(q.a), b = colour(q.b), c = colour(q.c), d = colour(q.d);
    auto expected = [&](char code) {
        switch (code) {
        case 'A': return a;
        case 'B': return b;
        case 'C': return c;
        case 'a': return Blend(a, b);
        case 'c': return Blend(a, c);
        default: return Blend(Blend(a, b), Blend(c, d));
        }
    };
    const Block want{a, expected(q.result[0]), expected(q.result[1]), expected(q.result[2])};
    // The quad at every block position of a row of thirteen blocks, so that each
    // position a row is split into (groups of eight, then four, then single blocks)
    // sees it, with the groups of eight and without.
    const bool wide = ScalerWideVectors;
    for (const bool useWide : {false, wide}) {
        ScalerWideVectors = useWide;
        for (int k = 0; k < 13; ++k) {
            Scaled s(14, 2, 0x00FFFFFF);
            s.Src(k, 0) = a;
            s.Src(k + 1, 0) = b;
            s.Src(k, 1) = c;
            s.Src(k + 1, 1) = d;
            s.Run();
            EXPECT_EQ(s.BlockOf(k, 0), want) << "case " << q.number << " at block " << k << (useWide ? " (wide)" : "");
        }
    }
    ScalerWideVectors = wide;
}

TEST(ScaleDouble, EightBlocksAtATimeGiveTheSamePictureAsFour)
{
    if (!ScalerWideVectors)
        GTEST_SKIP() << "this processor has no AVX2";
    // Few colours, so that every case of the table turns up, at widths that leave
    // every kind of remainder after the groups of eight.
    std::mt19937 random(3);
    for (const int width : {1, 2, 9, 12, 13, 17, 24, 31, 320}) {
        Scaled narrow(width, 9, 0), wide(width, 9, 0);
        for (uint32_t& p : narrow.src)
            p = 0x00402010u * (random() % 4) + 0x00010101u * (random() % 3);
        wide.src = narrow.src;
        ScalerWideVectors = false;
        narrow.Run();
        ScalerWideVectors = true;
        wide.Run();
        EXPECT_EQ(narrow.dst, wide.dst) << "width " << width;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ScaleDoubleCases,
                         testing::Values(CaseQuad{1, 'P', 'P', 'P', 'P', "AAA"},
                                         CaseQuad{2, 'P', 'Q', 'P', 'P', "aAA"},
                                         CaseQuad{3, 'P', 'Q', 'Q', 'Q', "acC"},
                                         CaseQuad{4, 'P', 'P', 'Q', 'P', "AcA"},
                                         CaseQuad{5, 'P', 'P', 'P', 'Q', "AAA"},
                                         CaseQuad{6, 'P', 'Q', 'P', 'Q', "AAc"},
                                         CaseQuad{7, 'P', 'P', 'Q', 'Q', "AAA"},
                                         CaseQuad{8, 'P', 'Q', 'P', 'R', "aAa"},
                                         CaseQuad{9, 'P', 'Q', 'R', 'Q', "Acc"},
                                         CaseQuad{10, 'P', 'P', 'Q', 'R', "AAA"},
                                         CaseQuad{11, 'P', 'Q', 'R', 'R', "aAa"},
                                         CaseQuad{12, 'P', 'Q', 'Q', 'P', "aaa"},
                                         CaseQuad{13, 'P', 'Q', 'R', 'P', "acA"},
                                         CaseQuad{14, 'P', 'Q', 'Q', 'R', "aaB"},
                                         CaseQuad{15, 'P', 'Q', 'R', 'S', "acx"}),
                         [](const testing::TestParamInfo<CaseQuad>& info) {
                             return "Case" + std::to_string(info.param.number);
                         });

}  // namespace
