// Software drawing of shape frames into the colour and owner buffers.
//
// Every operation walks a frame's spans straight from the stored bytes. Clipping
// is settled once per span or run; the pixel loops below it never check bounds.
// Drawing with the occlusion test and drawing without it use separate writers,
// chosen before the walk.
#include "data/drawing.h"

#include <algorithm>
#include <cstring>
#include <string>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "data/shapes.h"
#include "data/static_tables.h"
#include "platform/byte_order.h"
#include "platform/console.h"

alignas(64) uint32_t ColourBuffer[kViewHeight][kViewWidth];
alignas(64) OwnerRecord OwnerBuffer[kViewHeight][kViewWidth];

namespace {

thread_local uint32_t* threadColours = &ColourBuffer[0][0];
thread_local OwnerRecord* threadOwners = &OwnerBuffer[0][0];
thread_local const uint32_t* threadColourTable = ColourTable;
thread_local bool threadSamplesOnly = false;
constexpr int kSampleStep = 8;

}  // namespace

void DrawWithColourTableOnThisThread(const uint32_t* table)
{
    threadColourTable = table != nullptr ? table : ColourTable;
}

void DrawIntoOnThisThread(uint32_t* colours, OwnerRecord* owners)
{
    threadColours = colours;
    threadOwners = owners;
}

void DrawIntoSharedBuffers()
{
    DrawIntoOnThisThread(&ColourBuffer[0][0], &OwnerBuffer[0][0]);
}

const uint32_t* ThisThreadColours() { return threadColours; }
const OwnerRecord* ThisThreadOwners() { return threadOwners; }

void DrawOnlySamplesOnThisThread(bool samplesOnly)
{
    threadSamplesOnly = samplesOnly;
}

void ClearOwners()
{
    if (!threadSamplesOnly) {
        std::memset(threadOwners, 0, sizeof OwnerBuffer);
        return;
    }
    for (int y = 0; y < kViewHeight; y += kSampleStep)
        for (int x = 0; x < kViewWidth; x += kSampleStep)
            threadOwners[y * kViewWidth + x] = OwnerRecord{};
}

void PutPixel(int x, int y, uint8_t red, uint8_t green, uint8_t blue)
{
    if (x < 0 || x >= kViewWidth || y < 0 || y >= kViewHeight)
        return;
    threadColours[y * kViewWidth + x] = uint32_t(blue) | uint32_t(green) << 8 | uint32_t(red) << 16;
}

namespace {

uint32_t* Colours() { return threadColours; }
OwnerRecord* Owners() { return threadOwners; }

// Whether a new object may paint over a pixel another object already owns.
// The new object's box is fixed for the whole frame, so everything that
// depends on it alone is settled once, here.
class Occlusion {
public:
    Occlusion(const DrawBox& box, bool boxOrdered, const uint8_t (*tileFlags)[3])
        : col_(box.Col), row_(box.Row), colMin_(box.ColMin), rowMin_(box.RowMin), lift_(box.Lift),
          top_(box.Lift + box.Height), tileFlags_(tileFlags),
          // The last step writes unless the new object is flat and not box-ordered.
          alwaysOnTop_(boxOrdered || box.Height != 0)
    {
    }

    bool Passes(const OwnerRecord& p) const
    {
        if (p.Row == 0)
            return true;
        const bool reachesLastStep =
            // A flat owner lying exactly on the new object's top, unless it is box-ordered.
            (top_ == p.Lift && p.Height == 0 && (tileFlags_[p.Shape & 1023][0] & 8) == 0) ||
            // The new box starts below (or level and right of) the owner's and covers its anchor.
            ((rowMin_ > p.RowMin || (rowMin_ == p.RowMin && colMin_ > p.ColMin)) && p.Col <= col_ &&
             p.Row <= row_) ||
            // The owner's box starts above and left of the new anchor.
            (p.RowMin <= row_ && p.ColMin <= col_) ||
            // The owner lies wholly to one side of the new box and not above it.
            (lift_ >= p.Lift && ((p.Col < colMin_ && p.RowMin > row_) || (p.ColMin > col_ && rowMin_ > p.Row) ||
                                 (p.Col < colMin_ && rowMin_ > p.Row)));
        if (!reachesLastStep)
            return false;
        return alwaysOnTop_ || p.Lift + p.Height == lift_;
    }

private:
    int col_, row_, colMin_, rowMin_, lift_, top_;
    const uint8_t (*tileFlags_)[3];
    bool alwaysOnTop_;
};

// Writers put a clipped piece of a span into the buffers. `at` is the buffer
// index of the piece's first pixel; successive pixels lie `Step` apart (1 along
// a row, one row's width down a column).
template <int Step>
struct PlainWriter {
    uint32_t* colours = Colours();
    const uint32_t* table = threadColourTable;

    void Literal(int at, const uint8_t* src, int n) const
    {
        uint32_t* d = colours + at;
        for (int i = 0; i < n; ++i)
            d[i * Step] = table[src[i]];
    }
    void Fill(int at, uint32_t colour, int n) const
    {
        uint32_t* d = colours + at;
        int i = 0;
#if defined(__SSE2__) || defined(_M_X64)
        // Gumps are mostly long runs of one colour: four pixels a store.
        if constexpr (Step == 1) {
            const __m128i four = _mm_set1_epi32(int(colour));
            for (; i + 4 <= n; i += 4)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), four);
        }
#endif
        for (; i < n; ++i)
            d[i * Step] = colour;
    }
};

template <int Step>
struct OccludedWriter {
    OccludedWriter(const Occlusion& t, const OwnerRecord& m) : test(t), mark(m)
    {
        std::memcpy(&markKey, &mark, sizeof markKey);
    }

    Occlusion test;
    OwnerRecord mark;  // the new object's box and shape, as stored on every pixel it wins
    uint32_t* colours = Colours();
    OwnerRecord* owners = Owners();
    const uint32_t* table = threadColourTable;
    // The test's answer depends on the owner record alone, and neighbouring pixels
    // mostly share their owner: the last owner tested and its answer are kept. The
    // pixel is then written either way, with itself where the owner stays, so the
    // answer costs no branch.
    mutable uint64_t lastOwner = 0;
    mutable bool lastPasses = true;
    uint64_t markKey = 0;

    void Put(uint32_t* d, OwnerRecord* o, uint32_t colour) const
    {
        uint64_t key;
        std::memcpy(&key, o, sizeof key);
        if (key != lastOwner) {
            lastOwner = key;
            lastPasses = test.Passes(*o);
        }
        const bool passes = lastPasses;
        *d = passes ? colour : *d;
        key = passes ? markKey : key;
        std::memcpy(o, &key, sizeof key);
    }

    void Literal(int at, const uint8_t* src, int n) const
    {
        uint32_t* d = colours + at;
        OwnerRecord* o = owners + at;
        for (int i = 0; i < n; ++i)
            Put(d + i * Step, o + i * Step, table[src[i]]);
    }
    void Fill(int at, uint32_t colour, int n) const
    {
        uint32_t* d = colours + at;
        OwnerRecord* o = owners + at;
        for (int i = 0; i < n; ++i)
            Put(d + i * Step, o + i * Step, colour);
    }
};

// The samples among the pixels first..end-1 of a span piece: the positions along the
// span that are multiples of kSampleStep. `src` is pixel first's byte.
template <int Step, class Writer>
void LiteralSamples(const Writer& writer, int line, int first, int end, const uint8_t* src)
{
    for (int a = (first + kSampleStep - 1) & ~(kSampleStep - 1); a < end; a += kSampleStep)
        writer.Literal(line + a * Step, src + (a - first), 1);
}
template <int Step, class Writer>
void FillSamples(const Writer& writer, int line, int first, int end, uint32_t colour)
{
    for (int a = (first + kSampleStep - 1) & ~(kSampleStep - 1); a < end; a += kSampleStep)
        writer.Fill(line + a * Step, colour, 1);
}

// Walks the spans of one frame (from the first span header to the 0 header).
// A span lies along a row; transposed, it lies down a column. `along0` and
// `cross0` are the hot spot along and across the span direction.
// With SamplesOnly, only the pixels whose along and cross positions are multiples of
// kSampleStep are written.
template <bool Transposed, bool SamplesOnly = false, class Writer>
void WalkSpans(const uint8_t* p, int along0, int cross0, const uint8_t (*palette)[3], const Writer& writer)
{
    constexpr int kAlongEnd = Transposed ? kViewHeight : kViewWidth;
    constexpr int kCrossEnd = Transposed ? kViewWidth : kViewHeight;
    constexpr int kStep = Transposed ? kViewWidth : 1;

    for (;;) {
        const unsigned header = platform::GetU16(p);
        if (header == 0)
            return;
        const int length = int(header >> 1);
        const int start = along0 + platform::GetI16(p + 2);
        const int cross = cross0 + platform::GetI16(p + 4);
        p += 6;
        const bool raw = (header & 1) == 0;
        const bool visible = cross >= 0 && cross < kCrossEnd && start < kAlongEnd && start + length > 0 &&
                             (!SamplesOnly || cross % kSampleStep == 0);

        if (raw) {
            if (visible) {
                const int first = std::max(start, 0);
                const int end = std::min(start + length, kAlongEnd);
                const int line = Transposed ? cross : cross * kViewWidth;
                if constexpr (SamplesOnly)
                    LiteralSamples<kStep>(writer, line, first, end, p + (first - start));
                else
                    writer.Literal(line + first * kStep, p + (first - start), end - first);
            }
            p += length;
            continue;
        }

        if (!visible) {
            for (int done = 0; done < length;) {
                const uint8_t r = *p;
                done += r >> 1;
                p += (r & 1) ? 2 : 1 + (r >> 1);
            }
            continue;
        }

        const int line = Transposed ? cross : cross * kViewWidth;
        for (int done = 0; done < length;) {
            const uint8_t r = *p++;
            const int n = r >> 1;
            const int runStart = start + done;
            const int first = std::max(runStart, 0);
            const int end = std::min(runStart + n, kAlongEnd);
            if (r & 1) {
                if (end > first) {
                    const uint8_t* rgb = palette[*p];
                    const uint32_t colour = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
                    if constexpr (SamplesOnly)
                        FillSamples<kStep>(writer, line, first, end, colour);
                    else
                        writer.Fill(line + first * kStep, colour, end - first);
                }
                p += 1;
            } else {
                if (end > first) {
                    if constexpr (SamplesOnly)
                        LiteralSamples<kStep>(writer, line, first, end, p + (first - runStart));
                    else
                        writer.Literal(line + first * kStep, p + (first - runStart), end - first);
                }
                p += n;
            }
            done += n;
        }
    }
}

// The walk that writes only the samples, kept out of line so that the drawing of
// whole pictures compiles as it would without it.
template <bool Transposed, class Writer>
[[gnu::noinline]] void WalkSamples(const uint8_t* p, int along0, int cross0, const uint8_t (*palette)[3],
                                   const Writer& writer)
{
    WalkSpans<Transposed, true>(p, along0, cross0, palette, writer);
}

// Where a frame's header lies, and whether its spans may be walked. Frames
// outside the shape's count are reported once loading is over and have no
// header, since the offset table has no entry for them. A frame that failed the
// load check is not drawn, but its header is still found when it lies inside
// the shape, so text keeps its advance.
struct FrameAt {
    const uint8_t* header = nullptr;
    bool drawable = false;
};

FrameAt LocateFrame(const TVxShapes& shapes, int shape, int frame, const char* what)
{
    const int count = shape >= 0 && shape <= MAXSHAPENUM ? FrameCounts[shape] : 0;
    if (frame < 0 || frame >= count) {
        if (ShapesLoaded)
            platform::ConsoleLine(std::string(what) + std::to_string(shape) + "," + std::to_string(frame) + "/" +
                                  std::to_string(count) + ")");
        return {};
    }
    const ShapeRecord& record = shapes.Shapes[shape];
    const uint8_t* data = record.data.get();
    if (shapes.FrameUsable(shape, frame))
        return {data + platform::GetU32(data + 4 * frame) - 4, true};
    const uint32_t end = uint32_t(record.length) - 4;  // meaningful bytes of data
    const uint32_t entry = 4u * uint32_t(frame);
    if (data == nullptr || record.length < 4 || entry + 4 > end)
        return {};
    const uint32_t offset = platform::GetU32(data + entry);
    if (offset < 4 || uint64_t(offset) - 4 + 8 > end)
        return {};
    return {data + offset - 4, false};
}

// Whether any pixel of a usable frame drawn with its hot spot at (along0, cross0)
// lands on the picture; transposed, its rows run down the picture's columns.
template <bool Transposed>
bool Touches(const FrameExtent& e, int along0, int cross0)
{
    constexpr int kAlongEnd = Transposed ? kViewHeight : kViewWidth;
    constexpr int kCrossEnd = Transposed ? kViewWidth : kViewHeight;
    return e.left < e.right && along0 + e.right > 0 && along0 + e.left < kAlongEnd && cross0 + e.bottom > 0 &&
           cross0 + e.top < kCrossEnd;
}

}  // namespace

void TVxShapes::DrawFrame(int x, int y, int shape, int frame, const DrawBox& box)
{
    if (shape < kGroundTileSlots) {
        DrawGround(x, y, shape, frame);
        return;
    }
    const FrameAt at = LocateFrame(*this, shape, frame, "Tried to draw invalid frameNum: (");
    if (!at.drawable || !Touches<false>(Extent(shape, frame), x, y))
        return;
    const OccludedWriter<1> writer{Occlusion(box, IsBoxOrdered(shape), TileFlags),
                                   OwnerRecord{box.ColMin, box.RowMin, box.Col, box.Row, box.Lift, box.Height,
                                               uint16_t(shape)}};
    if (threadSamplesOnly)
        WalkSamples<false>(at.header + 8, x, y, Palette, writer);
    else
        WalkSpans<false>(at.header + 8, x, y, Palette, writer);
}

void TVxShapes::DrawFrameTransposed(int x, int y, int shape, int frame, const DrawBox& box)
{
    if (shape < kGroundTileSlots) {
        DrawGround(x, y, shape, frame);
        return;
    }
    const FrameAt at = LocateFrame(*this, shape, frame, "Tried to drawMirRot90 invalid frameNum: (");
    // Span x offsets run down the rows, y offsets across the columns; the
    // column is shifted right by the width of the box.
    const int shift = 8 * (int(box.Col) - int(box.ColMin));
    if (!at.drawable || !Touches<true>(Extent(shape, frame), y, x + shift))
        return;
    const OccludedWriter<kViewWidth> writer{Occlusion(box, IsBoxOrdered(shape), TileFlags),
                                            OwnerRecord{box.ColMin, box.RowMin, box.Col, box.Row, box.Lift,
                                                        box.Height, uint16_t(shape)}};
    if (threadSamplesOnly)
        WalkSamples<true>(at.header + 8, y, x + shift, Palette, writer);
    else
        WalkSpans<true>(at.header + 8, y, x + shift, Palette, writer);
}

void TVxShapes::AlwaysDrawFrame(int x, int y, int shape, int frame)
{
    if (shape < kGroundTileSlots) {
        DrawGround(x, y, shape, frame);
        return;
    }
    const FrameAt at = LocateFrame(*this, shape, frame, "Tried to alwaysDraw invalid frameNum: (");
    if (at.header != nullptr)
        GlyphAdvance = platform::GetU16(at.header);
    if (!at.drawable)
        return;
    WalkSpans<false>(at.header + 8, x, y, Palette, PlainWriter<1>{});
}

void TVxShapes::DrawGround(int x, int y, int shape, int frame)
{
    // The store holds 32 frames per tile; anything else names no tile.
    if (shape < 0 || shape >= kGroundTileSlots || frame < 0 || frame >= kGroundTileBytes / 64)
        return;
    const uint8_t* tile = GroundTiles[shape] + 64 * frame;
    // The hot spot is the tile's bottom-right pixel.
    const int left = x - 7;
    const int first = std::max(left, 0);
    const int end = std::min(left + 8, kViewWidth);
    if (end <= first)
        return;
    const PlainWriter<1> writer;
    if (threadSamplesOnly) {
        for (int r = 0; r < 8; ++r) {
            const int row = y - 7 + r;
            if (row >= 0 && row < kViewHeight && row % kSampleStep == 0)
                LiteralSamples<1>(writer, row * kViewWidth, first, end, tile + 8 * r + (first - left));
        }
        return;
    }
    for (int r = 0; r < 8; ++r) {
        const int row = y - 7 + r;
        if (row < 0 || row >= kViewHeight)
            continue;
        writer.Literal(row * kViewWidth + first, tile + 8 * r + (first - left), end - first);
    }
}

int TVxShapes::DrawGlyph(uint8_t character, int font, int x, int y)
{
    AlwaysDrawFrame(x, y, ShapeCount + font - 1, character);
    // The advance is the header's first value, a signed 16-bit number.
    return int16_t(GlyphAdvance);
}

void TVxShapes::DrawText(std::string_view text, int font, int x, int y)
{
    // Text placed a little off the picture is pulled back in; text placed far
    // off stays where it was put and is clipped away.
    auto pullX = [](int v) { return v > -160 && v < 0 ? 0 : v; };
    x = pullX(x);
    if (y > -50 && y < 10)
        y = 10;
    else if (y > 185 && y < 250)
        y = 185;
    const int lineStart = x;
    for (const char c : text) {
        x += DrawGlyph(uint8_t(c), font, x, y);
        if (x > 310) {
            y += 15;
            x = lineStart;
        }
    }
}

void TVxShapes::DrawGump(int x, int y, int gump, int frame)
{
    AlwaysDrawFrame(x, y, GumpBase + gump, frame);
}

void TVxShapes::DrawPointer(int x, int y, int frame)
{
    AlwaysDrawFrame(x, y, PointerSlot, frame);
}
