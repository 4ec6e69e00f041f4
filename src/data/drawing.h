// The colour buffer and the pixel owner buffer that every picture is drawn into.
//
// Colour buffer: 320 x 200 values 0x00RRGGBB, rows top to bottom, so a row can
// be copied as-is into a top-down 32-bit bitmap scanline.
// Owner buffer: one 8-byte record per pixel, in the same order, naming the
// object that drew the pixel and its box; Row 0 means no owner.
#pragma once

#include <cstdint>

constexpr int kViewWidth = 320;
constexpr int kViewHeight = 200;

struct OwnerRecord {
    uint8_t ColMin;   // left edge of the object's box, in screen tile columns
    uint8_t RowMin;   // top edge
    uint8_t Col;      // right edge: the anchor tile's column
    uint8_t Row;      // bottom edge: the anchor tile's row; 0 = no owner
    uint8_t Lift;     // the object's height level
    uint8_t Height;   // its height in lifts
    uint16_t Shape;   // the drawing object's shape number
};
static_assert(sizeof(OwnerRecord) == 8, "owner records are 8 bytes");

// The box of one draw call, in the order the callers pass it.
struct DrawBox {
    uint8_t Col = 0, Row = 0, ColMin = 0, RowMin = 0, Lift = 0, Height = 0;
};

extern uint32_t ColourBuffer[kViewHeight][kViewWidth];
extern OwnerRecord OwnerBuffer[kViewHeight][kViewWidth];

// Where drawing on the calling thread goes: the process-wide pair above, unless the
// thread has pointed it at a pair of its own (a worker drawing overview views on a
// second core). Both arrays hold kViewWidth x kViewHeight entries.
void DrawIntoOnThisThread(uint32_t* colours, OwnerRecord* owners);
// Back to the process-wide pair.
void DrawIntoSharedBuffers();
// The colour table the calling thread's palette pixels go through: the process-wide
// ColourTable (which the render thread cycles) unless the thread has given its own
// 256 entries, as a worker drawing beside the running game does; null goes back.
void DrawWithColourTableOnThisThread(const uint32_t* table);
// The colour buffer the calling thread draws into.
const uint32_t* ThisThreadColours();
const OwnerRecord* ThisThreadOwners();

// Sets every owner record of this thread's buffer to zero; the world renderer calls
// it once per picture.
void ClearOwners();
// Whether drawing on the calling thread touches only the samples: the pixels whose x
// and y are both multiples of 8, which is all that Make Map reads of a view. A pixel's
// colour and owner come from the draws that reach it alone (the occlusion test reads
// that pixel's owner and nothing else), so the samples end the same as when every
// pixel is drawn; the other pixels keep whatever they held. Off unless set.
void DrawOnlySamplesOnThisThread(bool samplesOnly);

// Writes one pixel of this thread's colour buffer when (x, y) lies inside the picture.
void PutPixel(int x, int y, uint8_t red, uint8_t green, uint8_t blue);
