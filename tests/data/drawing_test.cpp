// Drawing frames into the colour and owner buffers: clipping, colour sources,
// the occlusion test, transposed frames, ground tiles and text.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "platform/console.h"
#include "formats/shape_writer.h"

using formats::Bytes;
using formats::Frame;
using formats::Run;
using formats::Span;

namespace {

constexpr uint32_t kUntouched = 0x00ABCDEF;

// Literal pixels come out as 0x10nnnn, colour runs as 0x20nnnn: the two
// sources can be told apart in every expectation.
uint32_t Literal(int index) { return 0x00100000u | uint32_t(index); }
uint32_t RunColour(int index) { return 0x00200000u | uint32_t(index); }

Span Raw(int16_t x, int16_t y, Bytes pixels)
{
    Span s;
    s.x = x;
    s.y = y;
    s.raw = std::move(pixels);
    return s;
}

Span Encoded(int16_t x, int16_t y, std::vector<Run> runs)
{
    Span s;
    s.x = x;
    s.y = y;
    s.encoded = true;
    s.runs = std::move(runs);
    return s;
}

Run ColourRun(uint8_t index, int length) { return Run{true, {index}, length}; }
Run LiteralRun(Bytes pixels) { return Run{false, pixels, int(pixels.size())}; }

Frame FrameOf(std::vector<Span> spans, int16_t advance = 0)
{
    Frame f;
    f.header[0] = advance;
    f.spans = std::move(spans);
    return f;
}

// A box as the renderer passes it: Col, Row, ColMin, RowMin, Lift, Height.
DrawBox Box(uint8_t col, uint8_t row, uint8_t colMin, uint8_t rowMin, uint8_t lift, uint8_t height)
{
    return DrawBox{col, row, colMin, rowMin, lift, height};
}

bool SameOwner(const OwnerRecord& a, const OwnerRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Drawing : public testing::Test {
protected:
    void SetUp() override
    {
        shapes = std::make_unique<TVxShapes>();
        for (int i = 0; i < 256; ++i) {
            ColourTable[i] = Literal(i);
            shapes->Palette[i][0] = 0x20;
            shapes->Palette[i][1] = 0;
            shapes->Palette[i][2] = uint8_t(i);
        }
        for (auto& row : ColourBuffer)
            for (uint32_t& p : row)
                p = kUntouched;
        ClearOwners();
        ShapesLoaded = true;
    }

    void Store(int slot, const std::vector<Frame>& frames)
    {
        const Bytes bytes = formats::MakeShape(frames);
        shapes->StoreShape(slot, bytes.data(), int32_t(bytes.size()), false);
    }

    // Every colour-buffer pixel that no longer holds kUntouched.
    static int ChangedPixels()
    {
        int n = 0;
        for (const auto& row : ColourBuffer)
            for (uint32_t p : row)
                n += p != kUntouched;
        return n;
    }

    std::unique_ptr<TVxShapes> shapes;
};

TEST_F(Drawing, SpansAreClippedAndKeepTheirOwnSourcePixels)
{
    Store(150, {FrameOf({
                   Raw(-5, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),   // left edge
                   Raw(315, 1, {11, 12, 13, 14, 15, 16, 17}),     // right edge
                   // Left edge inside an encoded span: a literal run wholly
                   // off, a colour run cut, a literal run whole.
                   Encoded(-3, 2, {LiteralRun({21, 22}), ColourRun(23, 4), LiteralRun({24, 25})}),
                   Raw(0, 3, {30}),   // row 199
                   Raw(0, -196, {31}),  // row 0
               })});
    shapes->AlwaysDrawFrame(0, 196, 150, 0);

    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(ColourBuffer[196][c], Literal(6 + c)) << "column " << c;
    EXPECT_EQ(ColourBuffer[196][5], kUntouched);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(ColourBuffer[197][315 + c], Literal(11 + c)) << "column " << 315 + c;
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(ColourBuffer[198][c], RunColour(23)) << "column " << c;
    EXPECT_EQ(ColourBuffer[198][3], Literal(24));
    EXPECT_EQ(ColourBuffer[198][4], Literal(25));
    EXPECT_EQ(ColourBuffer[198][5], kUntouched);
    EXPECT_EQ(ColourBuffer[199][0], Literal(30));
    EXPECT_EQ(ColourBuffer[0][0], Literal(31));
    EXPECT_EQ(ChangedPixels(), 5 + 5 + 5 + 1 + 1);
}

TEST_F(Drawing, ColourRunsOfEveryLengthFillExactlyTheirPixelsAlsoWhereCut)
{
    // Runs of 1 to 13 pixels, each on its own row, whole, cut by the left edge and
    // cut by the right edge.
    std::vector<Span> spans;
    for (int n = 1; n <= 13; ++n) {
        spans.push_back(Encoded(10, int16_t(n), {ColourRun(uint8_t(n), n), LiteralRun({99})}));
        spans.push_back(Encoded(-5, int16_t(20 + n), {ColourRun(uint8_t(n), n), LiteralRun({99})}));
        spans.push_back(Encoded(int16_t(320 - n + 3), int16_t(40 + n), {LiteralRun({99}), ColourRun(uint8_t(n), n)}));
    }
    Store(150, {FrameOf(spans)});
    shapes->AlwaysDrawFrame(0, 0, 150, 0);
    int expectedChanged = 0;
    for (int n = 1; n <= 13; ++n) {
        auto expectRow = [&](int row, int from, int to, int literalAt) {
            for (int x = 0; x < kViewWidth; ++x) {
                const uint32_t want = x == literalAt ? Literal(99) : x >= from && x < to ? RunColour(n) : kUntouched;
                ASSERT_EQ(ColourBuffer[row][x], want) << "run of " << n << ", row " << row << ", column " << x;
                expectedChanged += want != kUntouched;
            }
        };
        expectRow(n, 10, 10 + n, 10 + n);
        expectRow(20 + n, 0, n - 5, n - 5);
        expectRow(40 + n, 320 - n + 4, 320, 320 - n + 3);
    }
    EXPECT_EQ(ChangedPixels(), expectedChanged);
}

TEST_F(Drawing, RowsOutsideThePictureDrawNothing)
{
    Store(150, {FrameOf({
                   Raw(0, 100, {1, 2, 3}),                                 // row 200
                   Encoded(0, -101, {ColourRun(4, 3), LiteralRun({5})}),  // row -1
                   Raw(-20, 0, {6, 7, 8}),                                 // wholly left
                   Raw(320, 50, {9}),                                      // wholly right
                   Raw(0, 0, {10}),                                        // the one pixel inside
               })});
    shapes->DrawFrame(0, 100, 150, 0, Box(10, 10, 9, 9, 0, 1));
    shapes->AlwaysDrawFrame(0, 100, 150, 0);
    EXPECT_EQ(ColourBuffer[100][0], Literal(10));
    EXPECT_EQ(ChangedPixels(), 1);
    int owned = 0;
    for (const auto& row : OwnerBuffer)
        for (const OwnerRecord& o : row)
            owned += o.Row != 0;
    EXPECT_EQ(owned, 1);
}

TEST_F(Drawing, TestedDrawWritesColourAndOwner)
{
    Store(150, {FrameOf({Raw(0, 0, {7, 8})})});
    shapes->DrawFrame(40, 30, 150, 0, Box(12, 11, 10, 9, 2, 3));
    EXPECT_EQ(ColourBuffer[30][40], Literal(7));
    EXPECT_EQ(ColourBuffer[30][41], Literal(8));
    EXPECT_TRUE(SameOwner(OwnerBuffer[30][41], OwnerRecord{10, 9, 12, 11, 2, 3, 150}));
    EXPECT_EQ(OwnerBuffer[30][42].Row, 0);
}

TEST_F(Drawing, IdenticalBoxesOverwrite)
{
    Store(150, {FrameOf({Raw(0, 0, {1})})});
    Store(151, {FrameOf({Raw(0, 0, {2})})});
    for (uint8_t height : {2, 0}) {
        SCOPED_TRACE(testing::Message() << "height " << int(height));
        ClearOwners();
        const DrawBox box = Box(20, 20, 18, 18, 1, height);
        shapes->DrawFrame(5, 5, 150, 0, box);
        shapes->DrawFrame(5, 5, 151, 0, box);
        EXPECT_EQ(ColourBuffer[5][5], Literal(2));
        EXPECT_EQ(OwnerBuffer[5][5].Shape, 151);
        shapes->DrawFrame(5, 5, 150, 0, box);
        EXPECT_EQ(ColourBuffer[5][5], Literal(1));
    }
}

TEST_F(Drawing, FlatObjectOnlyCoversWhatItLiesOn)
{
    Store(150, {FrameOf({Raw(0, 0, {1})})});  // the owner: lift 1, height 2
    Store(151, {FrameOf({Raw(0, 0, {2})})});  // a flat object in the same box
    const DrawBox owner = Box(20, 20, 18, 18, 1, 2);

    shapes->DrawFrame(5, 5, 150, 0, owner);
    shapes->DrawFrame(5, 5, 151, 0, Box(20, 20, 18, 18, 1, 0));  // not on the owner's top
    EXPECT_EQ(ColourBuffer[5][5], Literal(1));
    EXPECT_EQ(OwnerBuffer[5][5].Shape, 150);

    shapes->DrawFrame(5, 5, 151, 0, Box(20, 20, 18, 18, 3, 0));  // lying on its top (1 + 2)
    EXPECT_EQ(ColourBuffer[5][5], Literal(2));

    ClearOwners();
    shapes->DrawFrame(5, 5, 150, 0, owner);
    shapes->TileFlags[151][0] = 8;  // box-ordered: drawn whatever lies beneath
    shapes->DrawFrame(5, 5, 151, 0, Box(20, 20, 18, 18, 1, 0));
    EXPECT_EQ(ColourBuffer[5][5], Literal(2));
}

TEST_F(Drawing, ObjectBehindAnotherIsHiddenInEitherOrder)
{
    Store(150, {FrameOf({Raw(0, 0, {1, 1, 1})})});  // in front
    Store(151, {FrameOf({Raw(0, 0, {2, 2, 2})})});  // behind
    const DrawBox front = Box(20, 20, 18, 18, 0, 4);
    const DrawBox back = Box(10, 10, 8, 8, 0, 2);

    shapes->DrawFrame(5, 5, 150, 0, front);
    shapes->DrawFrame(6, 5, 151, 0, back);  // overlaps two pixels, adds one
    EXPECT_EQ(ColourBuffer[5][5], Literal(1));
    EXPECT_EQ(ColourBuffer[5][6], Literal(1));
    EXPECT_EQ(ColourBuffer[5][7], Literal(1));
    EXPECT_EQ(ColourBuffer[5][8], Literal(2));

    ClearOwners();
    shapes->DrawFrame(6, 6, 151, 0, back);
    shapes->DrawFrame(5, 6, 150, 0, front);
    EXPECT_EQ(ColourBuffer[6][6], Literal(1));
    EXPECT_EQ(ColourBuffer[6][7], Literal(1));
    EXPECT_EQ(ColourBuffer[6][8], Literal(2));
    EXPECT_EQ(OwnerBuffer[6][7].Shape, 150);
}

TEST_F(Drawing, FlatOwnerUnderATopIsCoveredUnlessBoxOrdered)
{
    // The owner is a flat object at lift 2 far down-right of the new box, so
    // only the rule for a flat owner on the new object's top lets it through.
    Store(150, {FrameOf({Raw(0, 0, {1})})});
    Store(151, {FrameOf({Raw(0, 0, {2})})});
    const DrawBox flat = Box(40, 40, 39, 39, 2, 0);
    const DrawBox tall = Box(10, 10, 8, 8, 0, 2);

    shapes->DrawFrame(5, 5, 150, 0, flat);
    shapes->DrawFrame(5, 5, 151, 0, tall);
    EXPECT_EQ(ColourBuffer[5][5], Literal(2));

    ClearOwners();
    shapes->TileFlags[150][0] = 8;
    shapes->DrawFrame(6, 6, 150, 0, flat);
    shapes->DrawFrame(6, 6, 151, 0, tall);
    EXPECT_EQ(ColourBuffer[6][6], Literal(1));
}

TEST_F(Drawing, OwnerWithRowZeroIsAlwaysWritten)
{
    Store(151, {FrameOf({Raw(0, 0, {2})})});
    // Apart from Row, this owner would keep the new object out at every step.
    const OwnerRecord blocking{200, 200, 250, 1, 15, 0, 150};
    OwnerBuffer[5][5] = blocking;
    shapes->DrawFrame(5, 5, 151, 0, Box(10, 10, 5, 5, 0, 1));
    EXPECT_EQ(ColourBuffer[5][5], kUntouched);

    OwnerRecord unowned = blocking;
    unowned.Row = 0;
    OwnerBuffer[5][5] = unowned;
    shapes->DrawFrame(5, 5, 151, 0, Box(10, 10, 5, 5, 0, 1));
    EXPECT_EQ(ColourBuffer[5][5], Literal(2));
    EXPECT_TRUE(SameOwner(OwnerBuffer[5][5], OwnerRecord{5, 5, 10, 10, 0, 1, 151}));
}

TEST_F(Drawing, UntestedDrawLeavesOwnersAlone)
{
    Store(150, {FrameOf({Raw(0, 0, {1, 1})})});
    Store(151, {FrameOf({Encoded(0, 0, {ColourRun(9, 2)})}, -3)});
    Store(152, {FrameOf({Raw(0, 0, {3, 3})})});
    const DrawBox front = Box(20, 20, 18, 18, 0, 4);
    shapes->DrawFrame(5, 5, 150, 0, front);
    OwnerRecord before[2] = {OwnerBuffer[5][5], OwnerBuffer[5][6]};

    shapes->AlwaysDrawFrame(5, 5, 151, 0);
    EXPECT_EQ(ColourBuffer[5][5], RunColour(9));
    EXPECT_EQ(ColourBuffer[5][6], RunColour(9));
    EXPECT_TRUE(SameOwner(OwnerBuffer[5][5], before[0]));
    EXPECT_TRUE(SameOwner(OwnerBuffer[5][6], before[1]));
    EXPECT_EQ(shapes->GlyphAdvance, uint16_t(-3));

    // A tested draw still meets the object beneath: one behind it stays hidden.
    shapes->DrawFrame(5, 5, 152, 0, Box(10, 10, 8, 8, 0, 2));
    EXPECT_EQ(ColourBuffer[5][5], RunColour(9));
}

TEST_F(Drawing, InvalidFrameIsReportedOnlyOnceLoadingIsOver)
{
    Store(160, {FrameOf({Raw(0, 0, {1})}), FrameOf({Raw(0, 0, {2})})});
    platform::ConsoleCapture console;

    ShapesLoaded = false;
    shapes->DrawFrame(5, 5, 160, 2, Box(1, 1, 1, 1, 0, 0));
    EXPECT_TRUE(console.Lines().empty());

    ShapesLoaded = true;
    shapes->DrawFrame(5, 5, 160, 2, Box(1, 1, 1, 1, 0, 0));
    shapes->AlwaysDrawFrame(5, 5, 160, 2);
    shapes->DrawFrameTransposed(5, 5, 160, 7, Box(1, 1, 1, 1, 0, 0));
    shapes->DrawFrame(5, 5, 161, 0, Box(1, 1, 1, 1, 0, 0));  // an empty slot has no frames
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{
                                   "Tried to draw invalid frameNum: (160,2/2)",
                                   "Tried to alwaysDraw invalid frameNum: (160,2/2)",
                                   "Tried to drawMirRot90 invalid frameNum: (160,7/2)",
                                   "Tried to draw invalid frameNum: (161,0/0)",
                               }));
    EXPECT_EQ(ChangedPixels(), 0);

    shapes->DrawFrame(5, 5, 160, 1, Box(1, 1, 1, 1, 0, 0));
    EXPECT_EQ(ColourBuffer[5][5], Literal(2));
    EXPECT_EQ(console.Lines().size(), 4u);
}

TEST_F(Drawing, RunsOfLengthZeroDrawNothingAndKeepTheWalkInStep)
{
    // Each encoded span: empty literal run, literal run {1, 2}, empty colour run,
    // colour run of 2. One span is drawn whole, one cut at the left edge, one
    // on a row off the picture, and a raw span after them must still be found.
    const formats::Bytes runs = {0, 2 << 1, 1, 2, 1, 77, (2 << 1) | 1, 3};
    formats::Bytes frame = {0, 0, 0xFF, 0xFF, 0, 0, 0, 0};  // header
    auto span = [&](int16_t x, int16_t y, bool encoded, const formats::Bytes& data, int length) {
        frame.push_back(uint8_t((length << 1) | int(encoded)));
        frame.push_back(0);
        frame.push_back(uint8_t(x));
        frame.push_back(uint8_t(uint16_t(x) >> 8));
        frame.push_back(uint8_t(y));
        frame.push_back(uint8_t(uint16_t(y) >> 8));
        frame.insert(frame.end(), data.begin(), data.end());
    };
    span(0, 0, true, runs, 4);
    span(-1, 1, true, runs, 4);
    span(0, -50, true, runs, 4);
    span(0, 2, false, {9}, 1);
    frame.insert(frame.end(), {0, 0});
    formats::Bytes shape = {0, 0, 0, 0, 8, 0, 0, 0};
    shape.insert(shape.end(), frame.begin(), frame.end());
    formats::SetU32(shape, 0, uint32_t(shape.size()));
    shapes->StoreShape(150, shape.data(), int32_t(shape.size()), false);
    ASSERT_TRUE(shapes->FrameUsable(150, 0));

    shapes->DrawFrame(10, 10, 150, 0, Box(5, 5, 5, 5, 0, 1));
    EXPECT_EQ(ColourBuffer[10][10], Literal(1));
    EXPECT_EQ(ColourBuffer[10][11], Literal(2));
    EXPECT_EQ(ColourBuffer[10][12], RunColour(3));
    EXPECT_EQ(ColourBuffer[10][13], RunColour(3));
    EXPECT_EQ(ColourBuffer[11][9], Literal(1));
    EXPECT_EQ(ColourBuffer[12][10], Literal(9));
    EXPECT_EQ(ChangedPixels(), 4 + 4 + 1);

    shapes->AlwaysDrawFrame(0, 20, 150, 0);  // the second span starts at column -1
    EXPECT_EQ(ColourBuffer[21][0], Literal(2));
    EXPECT_EQ(ColourBuffer[21][2], RunColour(3));
    EXPECT_EQ(ColourBuffer[22][0], Literal(9));
}

TEST_F(Drawing, FrameThatFailedTheLoadCheckDrawsNothing)
{
    Bytes bytes = formats::MakeShape({FrameOf({Raw(0, 0, {1})}), FrameOf({Raw(0, 0, {2})})});
    // Frame 1's span claims 200 pixels that the shape does not hold.
    const uint32_t frame1 = uint32_t(bytes[8]) | uint32_t(bytes[9]) << 8;
    bytes[frame1 + 8] = uint8_t((200 << 1) & 0xFF);
    bytes[frame1 + 9] = uint8_t((200 << 1) >> 8);
    platform::ConsoleCapture console;
    shapes->StoreShape(160, bytes.data(), int32_t(bytes.size()), false);
    ASSERT_FALSE(shapes->FrameUsable(160, 1));
    console.Clear();

    shapes->DrawFrame(5, 5, 160, 1, Box(1, 1, 1, 1, 0, 0));
    shapes->AlwaysDrawFrame(5, 5, 160, 1);
    EXPECT_EQ(ChangedPixels(), 0);
    EXPECT_TRUE(console.Lines().empty());
    shapes->AlwaysDrawFrame(5, 5, 160, 0);
    EXPECT_EQ(ColourBuffer[5][5], Literal(1));
}

TEST_F(Drawing, CyclingIndexAnimatesLiteralPixelsOnly)
{
    Store(150, {FrameOf({Raw(0, 0, {224}), Encoded(0, 1, {ColourRun(224, 2)})})});
    ColourTable[231] = 0x00123456;
    shapes->AlwaysDrawFrame(10, 10, 150, 0);
    EXPECT_EQ(ColourBuffer[10][10], Literal(224));
    EXPECT_EQ(ColourBuffer[11][10], RunColour(224));

    CyclePalette();
    shapes->AlwaysDrawFrame(10, 10, 150, 0);
    EXPECT_EQ(ColourBuffer[10][10], 0x00123456u);
    EXPECT_EQ(ColourBuffer[11][10], RunColour(224));
    EXPECT_EQ(ColourBuffer[11][11], RunColour(224));
}

TEST_F(Drawing, TransposedFrameIsReflectedAndShiftedByTheBoxWidth)
{
    // An L: three pixels along row 0, one below the hot spot, and an encoded
    // span on row 2.
    Store(150, {FrameOf({Raw(0, 0, {1, 2, 3}), Raw(0, 1, {4}),
                         Encoded(1, 2, {ColourRun(5, 2), LiteralRun({6})})})});
    const DrawBox box = Box(12, 30, 10, 28, 0, 1);  // two tiles wide: 16 pixels right
    shapes->DrawFrameTransposed(100, 50, 150, 0, box);

    EXPECT_EQ(ColourBuffer[50][116], Literal(1));
    EXPECT_EQ(ColourBuffer[51][116], Literal(2));
    EXPECT_EQ(ColourBuffer[52][116], Literal(3));
    EXPECT_EQ(ColourBuffer[50][117], Literal(4));
    EXPECT_EQ(ColourBuffer[51][118], RunColour(5));
    EXPECT_EQ(ColourBuffer[52][118], RunColour(5));
    EXPECT_EQ(ColourBuffer[53][118], Literal(6));
    EXPECT_EQ(ChangedPixels(), 7);
    EXPECT_TRUE(SameOwner(OwnerBuffer[53][118], OwnerRecord{10, 28, 12, 30, 0, 1, 150}));

    // Near the bottom edge the column is cut at row 199.
    shapes->DrawFrameTransposed(200, 198, 150, 0, box);
    EXPECT_EQ(ColourBuffer[198][216], Literal(1));
    EXPECT_EQ(ColourBuffer[199][216], Literal(2));
    EXPECT_EQ(ColourBuffer[198][217], Literal(4));
    EXPECT_EQ(ColourBuffer[199][218], RunColour(5));
    EXPECT_EQ(ChangedPixels(), 7 + 4);
}

TEST_F(Drawing, GroundTileHasItsHotSpotBottomRight)
{
    Bytes second(64);
    for (int i = 0; i < 64; ++i)
        second[i] = uint8_t(100 + i);
    const Bytes tile = formats::MakeGroundTile({Bytes(64, 1), second});
    std::memcpy(shapes->GroundTiles[3], tile.data(), tile.size());

    shapes->DrawGround(10, 20, 3, 1);
    EXPECT_EQ(ColourBuffer[13][3], Literal(100));
    EXPECT_EQ(ColourBuffer[20][10], Literal(163));
    EXPECT_EQ(ColourBuffer[15][6], Literal(100 + 8 * 2 + 3));
    EXPECT_EQ(ChangedPixels(), 64);

    // Clipped at the top-left corner; DrawFrame passes the tile on untested.
    shapes->DrawFrame(3, 1, 3, 1, Box(1, 1, 1, 1, 0, 1));
    EXPECT_EQ(ColourBuffer[0][0], Literal(100 + 8 * 6 + 4));
    EXPECT_EQ(ColourBuffer[1][3], Literal(163));
    EXPECT_EQ(ChangedPixels(), 64 + 8);
    EXPECT_EQ(OwnerBuffer[0][0].Row, 0);

    shapes->DrawGround(100, 100, 3, 32);  // past the tile store
    shapes->DrawGround(100, 100, 150, 0);
    EXPECT_EQ(ChangedPixels(), 64 + 8);
}

class Text : public Drawing {
protected:
    void SetUp() override
    {
        Drawing::SetUp();
        shapes->ShapeCount = 200;  // font 1 is slot 200
        // Character k: a bar 12 pixels wide of index k, advancing 12.
        std::vector<Frame> glyphs;
        for (int k = 0; k < 128; ++k)
            glyphs.push_back(FrameOf({Raw(0, 0, Bytes(12, uint8_t(k)))}, 12));
        Store(200, glyphs);
    }
};

TEST_F(Text, PositionsSlightlyOffThePictureArePulledIn)
{
    shapes->DrawText("AB", 1, -100, 0);
    EXPECT_EQ(ColourBuffer[10][0], Literal('A'));
    EXPECT_EQ(ColourBuffer[10][12], Literal('B'));
    shapes->DrawText("C", 1, 50, 190);
    EXPECT_EQ(ColourBuffer[185][50], Literal('C'));
    EXPECT_EQ(ChangedPixels(), 36);
    shapes->DrawText("D", 1, 50, 250);
    shapes->DrawText("D", 1, 50, -50);
    EXPECT_EQ(ChangedPixels(), 36);
}

TEST_F(Text, PositionsFarOffThePictureStay)
{
    // From -200, the 17th glyph (at -8) is the first to show.
    shapes->DrawText("abcdefghijklmnopqrs", 1, -200, 40);
    EXPECT_EQ(ColourBuffer[40][0], Literal('q'));
    EXPECT_EQ(ColourBuffer[40][3], Literal('q'));
    EXPECT_EQ(ColourBuffer[40][4], Literal('r'));
    EXPECT_EQ(ColourBuffer[40][16], Literal('s'));
    EXPECT_EQ(ChangedPixels(), 4 + 12 + 12);
}

TEST_F(Text, LineWrapsOnceTheAdvancePasses310)
{
    // 298 + 12 = 310 stays on the line; the next glyph goes to 322 and wraps.
    shapes->DrawText("XYZ", 1, 298, 180);
    EXPECT_EQ(ColourBuffer[180][298], Literal('X'));
    EXPECT_EQ(ColourBuffer[180][310], Literal('Y'));
    EXPECT_EQ(ColourBuffer[180][319], Literal('Y'));
    EXPECT_EQ(ColourBuffer[195][298], Literal('Z'));  // not pulled back to 185
    EXPECT_EQ(ChangedPixels(), 12 + 10 + 12);
}

TEST_F(Text, GlyphWithDamagedSpansStillAdvances)
{
    // Font 2: 'A' advances 5, 'B' 20 but its span claims more pixels than the
    // shape holds, 'C' advances 5. 'B' draws nothing; its header is intact.
    std::vector<Frame> glyphs;
    for (int k = 0; k < 'D'; ++k)
        glyphs.push_back(FrameOf({Raw(0, 0, {uint8_t(k)})}, k == 'B' ? 20 : 5));
    Bytes bytes = formats::MakeShape(glyphs);
    const size_t b = 4 + 4 * 'B';
    const uint32_t frameB = uint32_t(bytes[b]) | uint32_t(bytes[b + 1]) << 8;
    bytes[frameB + 8] = uint8_t((120 << 1) & 0xFF);
    bytes[frameB + 9] = uint8_t((120 << 1) >> 8);
    platform::ConsoleCapture console;
    shapes->StoreShape(201, bytes.data(), int32_t(bytes.size()), false);
    ASSERT_FALSE(shapes->FrameUsable(201, 'B'));

    shapes->DrawText("ABC", 2, 100, 50);
    EXPECT_EQ(ColourBuffer[50][100], Literal('A'));
    EXPECT_EQ(ColourBuffer[50][105], kUntouched);
    EXPECT_EQ(ColourBuffer[50][125], Literal('C'));
    EXPECT_EQ(ChangedPixels(), 2);
}

TEST_F(Text, WrapReturnsToTheAdjustedStart)
{
    std::vector<Frame> wide;
    for (int k = 0; k < 128; ++k)
        wide.push_back(FrameOf({Raw(0, 0, {uint8_t(k)})}, 200));
    Store(201, wide);  // font 2: one pixel, advancing 200
    shapes->DrawText("PQR", 2, -20, 30);
    EXPECT_EQ(ColourBuffer[30][0], Literal('P'));
    EXPECT_EQ(ColourBuffer[30][200], Literal('Q'));
    EXPECT_EQ(ColourBuffer[45][0], Literal('R'));
    EXPECT_EQ(shapes->DrawGlyph('S', 2, 0, 60), 200);
}

TEST_F(Drawing, GumpsAndPointerDrawFromTheirSlots)
{
    shapes->GumpBase = 300;
    shapes->PointerSlot = 310;
    Store(302, {FrameOf({Raw(0, 0, {2})})});
    Store(310, {FrameOf({Raw(0, 0, {3})}), FrameOf({Raw(0, 0, {4})})});
    shapes->DrawGump(7, 8, 2, 0);
    shapes->DrawPointer(9, 10, 1);
    EXPECT_EQ(ColourBuffer[8][7], Literal(2));
    EXPECT_EQ(ColourBuffer[10][9], Literal(4));
    EXPECT_EQ(ChangedPixels(), 2);
}

TEST_F(Drawing, PutPixelWritesInsideThePictureOnly)
{
    PutPixel(319, 199, 0x12, 0x34, 0x56);
    PutPixel(320, 0, 1, 1, 1);
    PutPixel(0, 200, 1, 1, 1);
    PutPixel(-1, 5, 1, 1, 1);
    EXPECT_EQ(ColourBuffer[199][319], 0x00123456u);
    EXPECT_EQ(ChangedPixels(), 1);
}

}  // namespace
