// The end of the frame as pure functions over pointer and pitch: where the view goes
// on the window's screen, the copies and scalings that put it there, and the way back
// from a window position to a view pixel. Nothing here allocates.
#pragma once

#include <cstdint>

// A picture in memory: `Pitch` pixels from one row's start to the next.
struct TPixels {
    uint32_t* Bits = nullptr;
    int Width = 0, Height = 0, Pitch = 0;
    uint32_t* Row(int y) const { return Bits + int64_t(y) * Pitch; }
};
struct TConstPixels {
    const uint32_t* Bits = nullptr;
    int Width = 0, Height = 0, Pitch = 0;
    TConstPixels() = default;
    TConstPixels(const uint32_t* bits, int width, int height, int pitch)
        : Bits(bits), Width(width), Height(height), Pitch(pitch)
    {
    }
    TConstPixels(const TPixels& p) : Bits(p.Bits), Width(p.Width), Height(p.Height), Pitch(p.Pitch) {}
    const uint32_t* Row(int y) const { return Bits + int64_t(y) * Pitch; }
};

// A rectangle of pixels: columns X to X + Width - 1, rows Y to Y + Height - 1.
struct TRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
    int Right() const { return X + Width - 1; }
    int Bottom() const { return Y + Height - 1; }
    bool Empty() const { return Width <= 0 || Height <= 0; }
    TRect Intersected(const TRect& o) const;
    bool operator==(const TRect&) const = default;
};

// Where the view goes on a screen of `width` x `height` pixels whose bottom
// `consoleRows` rows belong to the console panel.
//
//   stretch (whole-pixel scaling off, or not even 1x fits): the described view
//     rectangle (0, 0) to (width + 1, height + 1 - consoleRows), Multiple 0;
//   whole-pixel: 320m x 200m for the largest m with 320m <= width and
//     200m <= height - consoleRows, centred in that area; the rest is black border.
struct TViewPlacement {
    TRect Rect;
    int Multiple = 0;
};
TViewPlacement PlaceView(int width, int height, int consoleRows, bool wholePixel);

// Nearest-pixel stretch of a whole picture into a rectangle of `dst` (clipped to it),
// as a window's stretch-draw does.
void StretchInto(TConstPixels src, TPixels dst, const TRect& rect);
// Copies a picture unscaled into `dst` at (x, y), clipped.
void CopyInto(TConstPixels src, TPixels dst, int x, int y);
// Nearest-pixel scaling of a whole picture into a rectangle of `dst` (clipped to it)
// with exact integer steps: destination column x takes source column
// x * source width / rect width, so every source pixel of a whole multiple becomes
// a block of the same size.
void ScaleWholeInto(TConstPixels src, TPixels dst, const TRect& rect);
// Fills a rectangle of `dst` (clipped to it) with one value.
void FillRect(TPixels dst, const TRect& rect, uint32_t value);

// How a window position lands in the view: the paint box's size in its own units,
// device pixels per unit, and where the view lies on the composed screen.
struct TPointerGeometry {
    int BoxWidth = 0, BoxHeight = 0;
    double PixelRatio = 1.0;
    TViewPlacement Placement;
};
// A paint-box position in view pixels. Moves divide (the view pixel the position
// falls in); presses round halves to even (as the stretch does). In whole-pixel
// placement a position over the borders takes the nearest edge pixel; in the stretch
// it is not held inside the view.
enum class EPointerRounding { Divide, HalfEven };
struct TViewPoint {
    int X = 0, Y = 0;
    bool operator==(const TViewPoint&) const = default;
};
TViewPoint WindowToView(const TPointerGeometry& g, int x, int y, EPointerRounding rounding);
// A view position held inside the picture, 0-319 and 0-199.
TViewPoint ClampToView(TViewPoint p);

struct OwnerRecord;
// The pick: the owner record of the picture's pixel at a view position (held inside
// the picture), as the last picture drawn left it. The game window's click report and
// the map tools read it alike.
const OwnerRecord& PickOwner(TViewPoint p);
