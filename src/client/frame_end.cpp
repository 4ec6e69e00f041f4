// The end of the frame's pixel work.
#include "client/frame_end.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/drawing.h"

TRect TRect::Intersected(const TRect& o) const
{
    const int left = std::max(X, o.X), top = std::max(Y, o.Y);
    const int right = std::min(Right(), o.Right()), bottom = std::min(Bottom(), o.Bottom());
    if (right < left || bottom < top)
        return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

namespace {

TRect Whole(const TPixels& p) { return {0, 0, p.Width, p.Height}; }

}  // namespace

TViewPlacement PlaceView(int width, int height, int consoleRows, bool wholePixel)
{
    TViewPlacement p;
    p.Rect = {0, 0, width + 1, height + 1 - consoleRows};
    if (!wholePixel)
        return p;
    const int area = height - consoleRows;
    const int multiple = std::min(width / kViewWidth, area / kViewHeight);
    if (multiple < 1)
        return p;  // not even the picture itself fits: the stretch
    p.Multiple = multiple;
    p.Rect = {(width - kViewWidth * multiple) / 2, (area - kViewHeight * multiple) / 2, kViewWidth * multiple,
              kViewHeight * multiple};
    return p;
}

void StretchInto(TConstPixels src, TPixels dst, const TRect& rect)
{
    if (rect.Empty() || src.Bits == nullptr)
        return;
    const TRect clip = rect.Intersected(Whole(dst));
    if (clip.Empty())
        return;
    const int sw = src.Width, sh = src.Height;
    const int64_t stepX = (int64_t(sw) << 16) / rect.Width;
    for (int y = clip.Y; y <= clip.Bottom(); ++y) {
        const int sy = int(int64_t(y - rect.Y) * sh / rect.Height);
        const uint32_t* from = src.Row(sy);
        uint32_t* to = dst.Row(y);
        int64_t sx = int64_t(clip.X - rect.X) * stepX;
        for (int x = clip.X; x <= clip.Right(); ++x, sx += stepX)
            to[x] = from[sx >> 16];
    }
}

void ScaleWholeInto(TConstPixels src, TPixels dst, const TRect& rect)
{
    if (rect.Empty() || src.Bits == nullptr)
        return;
    const TRect clip = rect.Intersected(Whole(dst));
    if (clip.Empty())
        return;
    const int sw = src.Width, sh = src.Height, rw = rect.Width, rh = rect.Height;
    const int64_t firstX = clip.X - rect.X;
    const int firstColumn = int(firstX * sw / rw);
    const int64_t firstRemainder = firstX * sw - int64_t(firstColumn) * rw;
    int previousSy = -1;
    for (int y = clip.Y; y <= clip.Bottom(); ++y) {
        const int sy = int(int64_t(y - rect.Y) * sh / rh);
        uint32_t* to = dst.Row(y) + clip.X;
        if (sy == previousSy) {  // the same source row: the row above again
            std::memcpy(to, dst.Row(y - 1) + clip.X, size_t(clip.Width) * sizeof(uint32_t));
            continue;
        }
        previousSy = sy;
        const uint32_t* from = src.Row(sy);
        // Column x takes source column floor(x * sw / rw), kept without a division:
        // remainder = x * sw - column * rw stays in 0 .. rw - 1.
        int column = firstColumn;
        int64_t remainder = firstRemainder;
        for (int x = 0; x < clip.Width; ++x) {
            to[x] = from[column];
            remainder += sw;
            while (remainder >= rw) {
                remainder -= rw;
                ++column;
            }
        }
    }
}

void CopyInto(TConstPixels src, TPixels dst, int x, int y)
{
    const TRect clip = TRect{x, y, src.Width, src.Height}.Intersected(Whole(dst));
    if (clip.Empty())
        return;
    for (int row = clip.Y; row <= clip.Bottom(); ++row)
        std::memcpy(dst.Row(row) + clip.X, src.Row(row - y) + (clip.X - x), size_t(clip.Width) * sizeof(uint32_t));
}

void FillRect(TPixels dst, const TRect& rect, uint32_t value)
{
    const TRect clip = rect.Intersected(Whole(dst));
    for (int y = clip.Y; y <= clip.Bottom(); ++y)
        std::fill_n(dst.Row(y) + clip.X, clip.Width, value);
}

TViewPoint WindowToView(const TPointerGeometry& g, int x, int y, EPointerRounding rounding)
{
    const auto round = [rounding](double v) { return rounding == EPointerRounding::Divide ? std::floor(v) : std::nearbyint(v); };
    if (const TViewPlacement& place = g.Placement; place.Multiple > 0) {
        // Through the whole-pixel geometry; over the borders, the nearest edge pixel.
        const double vx = round((x * g.PixelRatio - place.Rect.X) / place.Multiple);
        const double vy = round((y * g.PixelRatio - place.Rect.Y) / place.Multiple);
        return {int(std::clamp(vx, 0.0, double(kViewWidth - 1))), int(std::clamp(vy, 0.0, double(kViewHeight - 1)))};
    }
    const int w = g.BoxWidth > 0 ? g.BoxWidth : 1;
    const int h = g.BoxHeight > 0 ? g.BoxHeight : 1;
    if (rounding == EPointerRounding::Divide)
        return {int(int64_t(x) * kViewWidth / w), int(int64_t(y) * kViewHeight / h)};
    return {int(std::nearbyint(double(x) * kViewWidth / w)), int(std::nearbyint(double(y) * kViewHeight / h))};
}

TViewPoint ClampToView(TViewPoint p)
{
    return {std::clamp(p.X, 0, kViewWidth - 1), std::clamp(p.Y, 0, kViewHeight - 1)};
}

const OwnerRecord& PickOwner(TViewPoint p)
{
    const TViewPoint at = ClampToView(p);
    return OwnerBuffer[at.Y][at.X];
}
