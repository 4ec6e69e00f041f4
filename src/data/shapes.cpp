// The shape store: loading shape archives into slots, counting and checking frames.
#include "data/shapes.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "data/flex_reader.h"
#include "platform/byte_order.h"
#include "platform/binary_file.h"
#include "platform/console.h"

uint8_t FrameCounts[MAXSHAPENUM + 1] = {};
std::atomic<bool> ShapesLoaded{false};

namespace {

constexpr int kMaxFrames = 255;  // the frame count is kept in one byte

// One buffer for every entry read: only the copied bytes matter.
uint8_t workBuffer[kShapeWorkBuffer];

// Why a frame cannot be drawn safely, or nullptr when it can. `data` holds the
// shape from offset 4 on and `end` is the number of meaningful bytes in it. A
// sound frame's extent goes to `extent`.
const char* FrameFault(const uint8_t* data, uint32_t end, int frame, FrameExtent& extent)
{
    FrameExtent box{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};
    const uint32_t entry = 4u * uint32_t(frame);
    if (entry + 4 > end)
        return "has no entry in the offset table";
    const uint32_t offset = platform::GetU32(data + entry);
    if (offset < 4 || uint64_t(offset) - 4 + 8 > end)
        return "has its header outside the shape";
    uint32_t p = offset - 4 + 8;
    for (;;) {
        if (p + 2 > end)
            return "runs past the end of the shape";
        const uint16_t header = platform::GetU16(data + p);
        if (header == 0) {
            if (box.left < box.right)
                extent = box;
            return nullptr;
        }
        if (p + 6 > end)
            return "runs past the end of the shape";
        const uint32_t length = header >> 1;
        if (length > 0) {
            const int32_t x = platform::GetI16(data + p + 2);
            const int32_t y = platform::GetI16(data + p + 4);
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x + int32_t(length));
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y + 1);
        }
        p += 6;
        if ((header & 1) == 0) {
            if (p + length > end)
                return "runs past the end of the shape";
            p += length;
            continue;
        }
        uint32_t done = 0;
        while (done < length) {
            if (p >= end)
                return "runs past the end of the shape";
            // A run of length 0 is valid data: it draws nothing but its bytes
            // still count, so the walk stays in step.
            const uint32_t run = data[p] >> 1;
            const uint32_t bytes = (data[p] & 1) ? 2 : 1 + run;
            if (p + bytes > end)
                return "runs past the end of the shape";
            p += bytes;
            done += run;
        }
        if (done != length)
            return "has runs that overshoot their span";
    }
}

}  // namespace

TVxShapes::TVxShapes()
{
    std::memset(FrameCounts, 0, sizeof FrameCounts);
}

TVxShapes::TVxShapes(const std::string& shapesPath) : TVxShapes()
{
    ShapeCount = LoadArchive(shapesPath, 0, Kind::World);
}

void TVxShapes::LoadFonts(const std::string& path)
{
    GumpBase = LoadArchive(path, ShapeCount, Kind::Fonts);
}

void TVxShapes::LoadGumps(const std::string& path)
{
    PointerSlot = LoadArchive(path, GumpBase, Kind::Gumps);
}

void TVxShapes::LoadPointers(const std::string& path)
{
    ShapesLoaded = false;
    platform::BinaryFile file(path);
    const int64_t size = file.FileSize();
    if (size > kShapeWorkBuffer)
        throw EInOutError(file.Path() + ": " + std::to_string(size) + " bytes, more than the " +
                          std::to_string(kShapeWorkBuffer) + " a pointer file may hold");
    file.ReadExact(workBuffer, size_t(size));
    const uint32_t length = size >= 4 ? platform::GetU32(workBuffer) : 0;
    if (length < 4 || length > uint64_t(size))
        throw EInOutError(file.Path() + ": declared length " + std::to_string(length) +
                          " does not fit the file's " + std::to_string(size) + " bytes");
    if (PointerSlot > MAXSHAPENUM) {
        platform::ConsoleLine("not enough MAXSHAPENUM");
    } else {
        loadingPath_ = file.Path();
        StoreShape(PointerSlot, workBuffer, int32_t(length), false);
    }
    ShapesLoaded = true;
}

int TVxShapes::LoadArchive(const std::string& path, int firstSlot, Kind kind)
{
    ShapesLoaded = false;
    TFlexReader reader(path);
    loadingPath_ = reader.Path();
    platform::ConsoleLine("opened " + path + " count=" + std::to_string(reader.Count()));
    int slot = firstSlot;
    if (reader.Count() > 0) {
        do {
            const int32_t size = reader.Size();
            if (size > kShapeWorkBuffer) {
                platform::ConsoleLine("entry# " + std::to_string(reader.Index()) + " is " + std::to_string(size));
                continue;
            }
            if (size == 0)
                continue;
            if (slot > MAXSHAPENUM) {
                platform::ConsoleLine("not enough MAXSHAPENUM");
                continue;
            }
            reader.ReadEntry(workBuffer);
            const bool runLength = size >= 4 && platform::GetU32(workBuffer) == uint32_t(size);
            if (runLength) {
                StoreShape(slot, workBuffer, size, kind == Kind::Gumps);
            } else if (kind == Kind::World) {
                StoreGroundTile(reader.Index(), size);
            } else {
                platform::ConsoleLine(loadingPath_ + " entry# " + std::to_string(reader.Index()) +
                                      " is not a run-length shape");
            }
            ++slot;
        } while (reader.Next());
    }
    ShapesLoaded = true;
    return slot;
}

void TVxShapes::StoreGroundTile(int entry, int32_t size)
{
    if (GroundTileCount >= kGroundTileSlots) {
        platform::ConsoleLine(loadingPath_ + " entry# " + std::to_string(entry) +
                              ": more than 150 ground tiles, skipped");
        return;
    }
    if (size > kGroundTileBytes)
        platform::ConsoleLine(loadingPath_ + " entry# " + std::to_string(entry) + ": ground tile of " +
                              std::to_string(size) + " bytes, only the first 2048 kept");
    std::memcpy(GroundTiles[GroundTileCount], workBuffer, size_t(std::min(size, kGroundTileBytes)));
    ++GroundTileCount;
}

void TVxShapes::StoreShape(int slot, const uint8_t* shape, int32_t size, bool singleFrame)
{
    ShapeRecord& record = Shapes[slot];
    record.length = size;
    record.data = std::make_unique<uint8_t[]>(size_t(size));  // zeroed, so the last four stay 0
    std::memcpy(record.data.get(), shape + 4, size_t(size - 4));
    std::memset(badFrames_[slot], 0, sizeof badFrames_[slot]);
    if (slot < kGroundTileSlots) {
        FrameCounts[slot] = 1;  // drawn from the ground-tile store, never from here
        return;
    }
    if (singleFrame)
        FrameCounts[slot] = 1;
    else
        CountFrames(slot);
    CheckFrames(slot);
}

void TVxShapes::CountFrames(int slot)
{
    const ShapeRecord& record = Shapes[slot];
    const uint32_t length = uint32_t(record.length);
    // Frame 0 always counts, even in a shape too short to hold its offset
    // (the load check then rejects it).
    if (length < 8) {
        FrameCounts[slot] = 1;
        return;
    }
    // There is no frame count: the offset table ends at the first value that
    // cannot be a frame offset, which is where the first frame's header begins.
    int n = 0;
    for (;;) {
        const int k = n++;
        const uint32_t next = 4u * uint32_t(k + 1);  // data index of the entry after frame k
        if (next + 4 > length - 4)
            break;
        const uint32_t value = platform::GetU32(record.data.get() + next);
        if (value < 4 || value > length - 4)
            break;
        if (n == kMaxFrames) {
            platform::ConsoleLine(loadingPath_ + " slot " + std::to_string(slot) +
                                  ": more than 255 frames, only 255 kept");
            break;
        }
    }
    FrameCounts[slot] = uint8_t(n);
}

void TVxShapes::CheckFrames(int slot)
{
    ShapeRecord& record = Shapes[slot];
    const uint32_t end = uint32_t(record.length) - 4;
    record.extents = std::make_unique<FrameExtent[]>(FrameCounts[slot]);
    for (int frame = 0; frame < FrameCounts[slot]; ++frame) {
        if (const char* fault = FrameFault(record.data.get(), end, frame, record.extents[size_t(frame)])) {
            badFrames_[slot][frame >> 3] |= uint8_t(1u << (frame & 7));
            platform::ConsoleLine(loadingPath_ + " slot " + std::to_string(slot) + ": frame " +
                                  std::to_string(frame) + " " + fault);
        }
    }
}

uint16_t TVxShapes::NextCharacterShape(uint16_t n) const
{
    const int slots = ShapeCount - kGroundTileSlots;
    // From outside the slots the search enters them at 150, the end it moves from;
    // either way one lap looks at every slot once, ending at n itself.
    int at = n >= kGroundTileSlots && n < ShapeCount ? n : ShapeCount - 1;
    for (int step = 0; step < slots; ++step) {
        at = at + 1 < ShapeCount ? at + 1 : kGroundTileSlots;
        if (IsCharacterShape(at))
            return uint16_t(at);
    }
    return n;
}

uint16_t TVxShapes::PreviousCharacterShape(uint16_t n) const
{
    const int slots = ShapeCount - kGroundTileSlots;
    // From outside the slots the search enters them at ShapeCount - 1.
    int at = n >= kGroundTileSlots && n < ShapeCount ? n : kGroundTileSlots;
    for (int step = 0; step < slots; ++step) {
        at = at - 1 >= kGroundTileSlots ? at - 1 : ShapeCount - 1;
        if (IsCharacterShape(at))
            return uint16_t(at);
    }
    return n;
}

void TVxShapes::SetPalette(const uint8_t* palette768)
{
    std::memcpy(Palette, palette768, sizeof Palette);
}
