// Run-length shape and ground-tile writer.
#include "formats/shape_writer.h"

#include <stdexcept>

#include "platform/byte_order.h"

namespace formats {

int Span::Length() const
{
    if (!encoded)
        return int(raw.size());
    int n = 0;
    for (const Run& r : runs)
        n += r.length;
    return n;
}

Bytes MakeShape(const std::vector<Frame>& frames)
{
    Bytes out;
    PutU32(out, 0);  // total length, set at the end
    const size_t table = out.size();
    out.resize(table + 4 * frames.size(), 0);
    for (size_t f = 0; f < frames.size(); ++f) {
        SetU32(out, table + 4 * f, uint32_t(out.size()));
        for (int16_t h : frames[f].header)
            PutI16(out, h);
        for (const Span& s : frames[f].spans) {
            const int length = s.Length();
            if (length <= 0 || length > 0x7FFF)
                throw std::invalid_argument("span length out of range");
            PutU16(out, uint16_t(length << 1 | (s.encoded ? 1 : 0)));
            PutI16(out, s.x);
            PutI16(out, s.y);
            if (!s.encoded) {
                PutBytes(out, s.raw);
                continue;
            }
            for (const Run& r : s.runs) {
                if (r.length <= 0 || r.length > 127)
                    throw std::invalid_argument("run length out of range");
                PutU8(out, uint8_t(r.length << 1 | (r.colour ? 1 : 0)));
                if (r.colour)
                    PutU8(out, r.pixels.at(0));
                else if (int(r.pixels.size()) == r.length)
                    PutBytes(out, r.pixels);
                else
                    throw std::invalid_argument("literal run size mismatch");
            }
        }
        PutU16(out, 0);
    }
    SetU32(out, 0, uint32_t(out.size()));
    if (!frames.empty()) {
        const uint32_t first = 4 + 4 * uint32_t(frames.size());
        const uint32_t value = platform::GetU32(&out[first]);
        if (value >= 4 && value <= out.size() - 4)
            throw std::invalid_argument("the first frame header reads as a frame offset");
    }
    return out;
}

namespace {

// Splits one opaque stretch into runs: repeats of 3 or more become colour runs.
std::vector<Run> EncodeStretch(const std::vector<int>& px)
{
    std::vector<Run> runs;
    size_t i = 0;
    Run literal;
    auto flush = [&] {
        if (literal.length > 0)
            runs.push_back(literal);
        literal = Run{};
    };
    while (i < px.size()) {
        size_t j = i;
        while (j < px.size() && px[j] == px[i] && j - i < 127)
            ++j;
        if (j - i >= 3) {
            flush();
            runs.push_back(Run{true, {uint8_t(px[i])}, int(j - i)});
            i = j;
        } else {
            if (literal.length == 127)
                flush();
            literal.pixels.push_back(uint8_t(px[i]));
            ++literal.length;
            ++i;
        }
    }
    flush();
    return runs;
}

}  // namespace

Frame FrameFromPicture(const Picture& pic, int16_t advance)
{
    Frame frame;
    frame.header[0] = advance;
    for (int y = 0; y < pic.height; ++y) {
        int x = 0;
        while (x < pic.width) {
            if (pic.At(x, y) < 0) {
                ++x;
                continue;
            }
            std::vector<int> stretch;
            const int start = x;
            while (x < pic.width && pic.At(x, y) >= 0)
                stretch.push_back(pic.At(x++, y));
            Span span;
            span.x = int16_t(start - pic.hotX);
            span.y = int16_t(y - pic.hotY);
            std::vector<Run> runs = EncodeStretch(stretch);
            bool hasColourRun = false;
            for (const Run& r : runs)
                hasColourRun |= r.colour;
            if (hasColourRun) {
                span.encoded = true;
                span.runs = std::move(runs);
            } else {
                for (int p : stretch)
                    span.raw.push_back(uint8_t(p));
            }
            frame.spans.push_back(std::move(span));
        }
    }
    return frame;
}

Bytes MakeGroundTile(const std::vector<Bytes>& frames)
{
    Bytes out;
    for (const Bytes& f : frames) {
        if (f.size() != 64)
            throw std::invalid_argument("a ground-tile frame has 64 pixels");
        PutBytes(out, f);
    }
    return out;
}

}  // namespace formats
