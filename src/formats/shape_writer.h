// Builds run-length shapes and ground tiles in the shape archive's layout.
//
// A run-length shape: total length (u32), one u32 offset per frame (from the
// shape's start), then per frame an 8-byte header of four i16 (the first is the
// glyph advance) and spans until a 0 span header. A span header is
// (length << 1) | encoded, then x and y offsets from the hot spot (i16 each).
#pragma once

#include <cstdint>
#include <vector>

#include "formats/flex_writer.h"

namespace formats {

// One run inside an encoded span: a colour run repeats `pixels[0]`,
// a literal run stores every pixel.
struct Run {
    bool colour = false;
    Bytes pixels;  // colour run: one index; the run length is `length`
    int length = 0;
};

struct Span {
    int16_t x = 0, y = 0;
    bool encoded = false;
    Bytes raw;              // raw span pixels
    std::vector<Run> runs;  // encoded span runs
    int Length() const;
};

struct Frame {
    // The loaders find the end of the offset table where a value cannot be an
    // offset, and the value after the table is the first frame's header: the
    // second value of -1 makes it read as 0xFFFFxxxx, never a valid offset.
    int16_t header[4] = {0, -1, 0, 0};
    std::vector<Span> spans;
};

// Serialises frames into one run-length shape. Throws std::invalid_argument
// when the first frame's header would read as one more frame offset.
Bytes MakeShape(const std::vector<Frame>& frames);

// A picture with a hot spot, as pixel art: index -1 is transparent.
struct Picture {
    int width = 0, height = 0;
    int hotX = 0, hotY = 0;  // hot spot within the picture
    std::vector<int> pixels;  // row-major, width * height

    Picture() = default;
    Picture(int w, int h, int hx, int hy) : width(w), height(h), hotX(hx), hotY(hy), pixels(size_t(w) * h, -1) {}
    int& At(int x, int y) { return pixels[size_t(y) * width + x]; }
    int At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// Turns a picture into spans: each row's opaque stretches become spans. Short
// or varied stretches stay raw; stretches with repeats are encoded with colour
// runs for repeats and literal runs between them.
Frame FrameFromPicture(const Picture& picture, int16_t advance = 0);

// A ground tile entry: frames of 64 palette indices each.
Bytes MakeGroundTile(const std::vector<Bytes>& frames);

}  // namespace formats
