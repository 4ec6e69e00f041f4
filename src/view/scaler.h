// The procedural scaler: doubles a picture in both directions, smoothing diagonal edges.
#pragma once

#include <cstdint>

// The per-channel floor average of two 0x00RRGGBB pixels; the top byte of the
// result is 0. The only way the scaler makes new colours.
constexpr uint32_t Blend(uint32_t p, uint32_t q)
{
    // (p & q) + ((p ^ q) >> 1) averages without carries between channels once
    // the bit each channel would shift into its neighbour is masked off.
    return ((p & q) + (((p ^ q) & 0x00FEFEFEu) >> 1)) & 0x00FFFFFFu;
}

// Whether ScaleDouble takes eight blocks at a time (AVX2); set at start from what the
// processor offers. Either way the pictures are the same; tests turn it off to
// compare.
extern bool ScalerWideVectors;

// Doubles a `width` x `height` picture into `dst`, which must hold at least
// 2 * width x 2 * height pixels and must not overlap `src`. Pitches count
// pixels from one row's start to the next.
//
// Each source pixel A becomes a 2 x 2 block whose top-left is A; the other
// three come from A and its right (B), lower (C) and lower-right (D)
// neighbours, by which of the four are equal. The last source row and column
// have no block: destination rows 2 * height - 2 and 2 * height - 1 are not
// written, and columns 2 * width - 2 and 2 * width - 1 of every written row are
// black. Nothing is allocated.
void ScaleDouble(const uint32_t* src, int srcPitch, int width, int height, uint32_t* dst, int dstPitch);
