// The map viewer's work without a window: loading a game folder, the three draws,
// the pixel pick, the shape-flag listing, dragging and key scrolling arithmetic,
// and the whole-world overview picture ("Make Map"). The viewer window and vxmap
// both call these; the window only translates its controls and events.
//
// Everything draws into the process-wide colour and owner buffers (or, for the
// overview's second core, a pair of the worker's own), with the process-wide shape
// store and world tables. See view/picture_buffers.h for how the viewer and the game
// take turns with them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/rounding.h"

namespace tools {

// A viewer action refused because the buffers are taken, or because nothing is loaded.
class ViewerRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises ViewerRefused unless the viewer may draw into the picture buffers now.
void CheckViewerMayDraw();

// ---- Begin ----------------------------------------------------------------------

// One change of the Begin labels: label 8 is the load state, 1-4 the progress lines.
// `repaint` asks the window to show the labels before the next step.
using BeginLabel = std::function<void(int label, const std::string& text, bool repaint)>;

// The viewer's "Begin" from a game folder (a trailing separator is added when
// missing): palette archive, shapes, palette, colour transforms, colour table,
// tile flags, then chunks, region map, fixed objects and the movable objects of
// GAMEDAT\VXIREG. The shape dimensions are not loaded. File errors raise
// EInOutError and end Begin where they occur.
void MapViewerBegin(const std::string& gameFolder, const BeginLabel& label = {});

// ---- Draws ------------------------------------------------------------------------

// Paints the viewer's grid into the colour buffer: light red axes through (160, 100),
// light blue lines on columns 7, 15, ... and rows 4, 12, ..., white elsewhere.
void DrawGrid();
// Frame `frame` of shape slot `shape` at (160, 100), all box values 0, over the grid
// when `grid`. Slots and frames that name nothing draw nothing.
void DrawShapeView(int shape, int frame, bool grid);
// Chunk pattern `chunk` with its last cell at (200, 150); std::out_of_range outside 0-3071.
void DrawChunkView(int chunk);
// The world around tile (x, y) in column order, levels below `liftLimit`.
void DrawMapView(int x, int y, int liftLimit);

// ---- Pick and shape info ------------------------------------------------------------

struct BufferPixel {
    int x = 0, y = 0;
};
// A paint-box position to a buffer pixel: (X * 320) div width, (Y * 200) div height,
// kept inside 0-319 and 0-199 (a pick at or past the far edge, or from a captured
// drag outside the box, never leaves the buffer).
BufferPixel PaintBoxToBuffer(int x, int y, int paintBoxWidth, int paintBoxHeight);

struct PickResult {
    uint16_t Shape = 0;  // PickedShape
    std::string Text;    // Label9: "X=.. Y=.. TX=.. TY=.. L=.. H=.."
};
// The owner record of buffer pixel `p`.
PickResult PickPixel(BufferPixel p);

// The shape information listing of a shape word (bits 0-9 the shape): for each of
// the three tile-flag bytes "TFA ByteN:", "76543210", the bits from 7 down to 0, "--------".
std::vector<std::string> ShapeInfoLines(uint16_t shapeWord);

// ---- Dragging and key scrolling -------------------------------------------------------

using platform::RoundHalfEven;

// The floating view centre dragging moves, and the last mouse position.
struct DragState {
    double ViewX = 0, ViewY = 0;
    int LastX = 0, LastY = 0;

    // A mouse move to (x, y): with the left button held the centre moves a third of the
    // way against the mouse and the result is true (the boxes take the rounded centre
    // and the map is redrawn). The position is kept as the last one either way.
    bool Move(int x, int y, bool leftHeld);
};

// Virtual-key codes the viewer scrolls with.
constexpr int kKeyLeft = 0x25, kKeyUp = 0x26, kKeyRight = 0x27, kKeyDown = 0x28, kKeyQ = 0x51;

// One flag per virtual-key code, 1 while the key is down; codes outside 0-255 are ignored.
struct MapViewKeys {
    std::array<uint8_t, 256> Down{};

    void Press(int code);
    void Release(int code);
    bool Held(int code) const { return code >= 0 && code < 256 && Down[size_t(code)] != 0; }
    bool AnyArrow() const;
    // One scrolling tick: steps of 1 (5 with Q held), up, down, left, right in that
    // order, each clamped to 0-3071.
    void Scroll(int& x, int& y) const;
};

// ---- Make Map ---------------------------------------------------------------------------

constexpr int kMapWidth = 3101;                     // pixels of a picture row
constexpr int kMapBandRows = 25;
constexpr int kMapBands = 122;
constexpr int kMapViewsPerBand = 76;
constexpr int kMapRowBytes = kMapWidth * 3;          // 9303
constexpr int kMapBandBytes = kMapBandRows * kMapRowBytes;  // 232,575
constexpr int kMapHeight = kMapBands * kMapBandRows;       // 3050
constexpr int MapBandWy(int band) { return 12 + 25 * band; }

struct MakeMapOptions {
    std::string RawPath;  // the raw picture: 3101 x 3050, blue-green-red, headerless
    std::string PngPath;  // when not empty, the same picture as PNG
    int LiftLimit = 16;
    int Threads = 1;      // 1 or 2 (the second draws every other band); the same bytes either way
    // Draw only the pixels the map samples (the same bytes, several times faster); the
    // views the observer is shown then hold only those pixels.
    bool SamplesOnly = false;
};

// What the caller sees of a run. All calls come on the calling thread.
class MakeMapObserver {
public:
    virtual ~MakeMapObserver() = default;
    // A view of the calling thread has been drawn into `colours` (320 x 200); present
    // it and let the window process pending messages.
    virtual void ViewDrawn(const uint32_t* colours) { (void)colours; }
    // A band has been written; `bandsDone` of 122.
    virtual void BandWritten(int bandsDone) { (void)bandsDone; }
    // True to stop: the run ends, removes its files and raises MapCancelled.
    virtual bool Cancelled() { return false; }
};

class MapCancelled : public std::runtime_error {
public:
    MapCancelled() : std::runtime_error("Make Map cancelled") {}
};

// Writes the overview: 122 bands of 25 rows, each drawn from 76 views centred on
// (wx, wy), wx = 20, 60, ..., 3020, one pixel per 8 x 8 tile; columns 3040-3100 stay
// zero. The decimal wy of each band goes to standard output as the band is written,
// in order. The files are created before anything is drawn (EInOutError when they
// cannot be); a write failure raises EInOutError naming the file; on any failure or
// cancel the partial files are removed. Claims the picture buffers for its run.
void MakeMap(const MakeMapOptions& options, MakeMapObserver& observer);

// Ends a run under way before the world tables it reads are replaced: returns once no
// thread of the run draws any more, and the run then raises MapCancelled as soon as
// control is back in it. Call on the thread running MakeMap, from an event the run let
// in (a login loading the world, say); without a run it does nothing.
void StopMakeMap();

}  // namespace tools
