// The map viewer's work: loading, draws, pick, shape flags, scrolling and the overview.
#include "tools/map_viewer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "platform/binary_file.h"
#include "platform/console.h"
#include "platform/file_names.h"
#include "platform/game_path.h"
#include "tools/png_rows.h"
#include "view/picture_buffers.h"
#include "view/world_renderer.h"

namespace tools {

void CheckViewerMayDraw()
{
    switch (PictureBuffersHolder()) {
    case BufferUser::Nobody:
        return;
    case BufferUser::Game:
        throw ViewerRefused(kViewerRefusal);
    case BufferUser::MapMaker:
        throw ViewerRefused("The map viewer is making a map; wait for it or cancel it.");
    }
}

namespace {

// Draws and picks need the data Begin or the client's start-up loaded.
void CheckShapesLoaded()
{
    if (!VxShapes)
        throw ViewerRefused("No shapes are loaded: press Begin first.");
}

}  // namespace

// ---- Begin ----------------------------------------------------------------------

void MapViewerBegin(const std::string& gameFolder, const BeginLabel& label)
{
    CheckViewerMayDraw();
    const auto show = [&](int which, const char* text, bool repaint) {
        if (label)
            label(which, text, repaint);
    };
    const std::string game = platform::WithTrailingSeparator(gameFolder);
    show(8, "Loading...", true);
    LoadStaticData(game, {}, ShapeDimensions::Skip);
    show(1, "Flexer and Shaper initialized.", false);
    show(2, "Loading Chunks and Regions...", true);
    LoadChunkPatterns(game + "STATIC\\VXCHUNKS");
    LoadRegionMap(game + "STATIC\\VXMAP");
    show(2, "Chunks and regions loaded.", false);
    show(3, "Loading IFIXes...", true);
    LoadFixLists(game + "STATIC\\VXIFIX");
    show(3, "IFIX loaded.", false);
    show(4, "Initialization complete.", true);
    LoadRegLists(game + "GAMEDAT\\VXIREG");
    show(8, "Ready.", true);
}

// ---- Draws ------------------------------------------------------------------------

void DrawGrid()
{
    for (int y = 0; y < kViewHeight; ++y) {
        for (int x = 0; x < kViewWidth; ++x) {
            if (x == 160 || y == 100)
                PutPixel(x, y, 255, 100, 100);
            else if (x % 8 == 7 || y % 8 == 4)
                PutPixel(x, y, 180, 180, 255);
            else
                PutPixel(x, y, 255, 255, 255);
        }
    }
}

void DrawShapeView(int shape, int frame, bool grid)
{
    CheckViewerMayDraw();
    CheckShapesLoaded();
    if (grid)
        DrawGrid();
    VxShapes->DrawFrame(160, 100, shape, frame, DrawBox{});
}

void DrawChunkView(int chunk)
{
    CheckViewerMayDraw();
    CheckShapesLoaded();
    DrawChunk(200, 150, chunk);
}

void DrawMapView(int x, int y, int liftLimit)
{
    CheckViewerMayDraw();
    CheckShapesLoaded();
    RenderWorldColumns(x, y, liftLimit);
}

// ---- Pick and shape info ------------------------------------------------------------

BufferPixel PaintBoxToBuffer(int x, int y, int paintBoxWidth, int paintBoxHeight)
{
    const int64_t w = std::max(paintBoxWidth, 1);
    const int64_t h = std::max(paintBoxHeight, 1);
    const int64_t bx = int64_t(x) * kViewWidth / w;
    const int64_t by = int64_t(y) * kViewHeight / h;
    return {int(std::clamp<int64_t>(bx, 0, kViewWidth - 1)), int(std::clamp<int64_t>(by, 0, kViewHeight - 1))};
}

PickResult PickPixel(BufferPixel p)
{
    const OwnerRecord& o = OwnerBuffer[p.y][p.x];
    PickResult r;
    r.Shape = o.Shape;
    r.Text = "X=" + std::to_string(o.Col) + " Y=" + std::to_string(o.Row) + " TX=" + std::to_string(o.ColMin) +
             " TY=" + std::to_string(o.RowMin) + " L=" + std::to_string(o.Lift) + " H=" + std::to_string(o.Height);
    return r;
}

std::vector<std::string> ShapeInfoLines(uint16_t shapeWord)
{
    CheckShapesLoaded();
    const uint8_t* flags = VxShapes->TileFlags[shapeWord & 1023];
    std::vector<std::string> lines;
    for (int k = 0; k < 3; ++k) {
        lines.push_back("TFA Byte" + std::to_string(k + 1) + ":");
        lines.push_back("76543210");
        std::string bits;
        for (int bit = 7; bit >= 0; --bit)
            bits += (flags[k] >> bit) & 1 ? '1' : '0';
        lines.push_back(bits);
        lines.push_back("--------");
    }
    return lines;
}

// ---- Dragging and key scrolling -------------------------------------------------------

int RoundHalfEven(double v)
{
    const double r = std::nearbyint(v);  // the default rounding mode: nearest, ties to even
    return int(std::clamp(r, -2147483648.0, 2147483647.0));
}

bool DragState::Move(int x, int y, bool leftHeld)
{
    if (leftHeld) {
        ViewY -= double(y - LastY) / 3;
        ViewX -= double(x - LastX) / 3;
    }
    LastX = x;
    LastY = y;
    return leftHeld;
}

void MapViewKeys::Press(int code)
{
    if (code >= 0 && code < 256)
        Down[size_t(code)] = 1;
}

void MapViewKeys::Release(int code)
{
    if (code >= 0 && code < 256)
        Down[size_t(code)] = 0;
}

bool MapViewKeys::AnyArrow() const
{
    return Held(kKeyUp) || Held(kKeyDown) || Held(kKeyLeft) || Held(kKeyRight);
}

void MapViewKeys::Scroll(int& x, int& y) const
{
    const int step = Held(kKeyQ) ? 5 : 1;
    const auto clamp = [](int v) { return std::clamp(v, 0, kWorldTiles - 1); };
    if (Held(kKeyUp))
        y = clamp(y - step);
    if (Held(kKeyDown))
        y = clamp(y + step);
    if (Held(kKeyLeft))
        x = clamp(x - step);
    if (Held(kKeyRight))
        x = clamp(x + step);
}

// ---- Make Map ---------------------------------------------------------------------------

namespace {

// One band's drawing: the band buffer, and for a worker its own picture buffers.
class BandMaker {
public:
    explicit BandMaker(bool ownBuffers) : band_(size_t(kMapBandBytes), 0)
    {
        if (ownBuffers) {
            colours_ = std::make_unique<uint32_t[]>(size_t(kViewWidth) * kViewHeight);
            owners_ = std::make_unique<OwnerRecord[]>(size_t(kViewWidth) * kViewHeight);
        }
    }

    // Points the calling thread's drawing at this maker's buffers (a worker's own pair).
    void UseOnThisThread() const
    {
        if (colours_)
            DrawIntoOnThisThread(colours_.get(), owners_.get());
    }

    // Draws band `band` view by view; `afterView` is called after each view's samples
    // are in the band and returns false to stop. False when stopped.
    template <typename AfterView>
    bool Draw(int band, int liftLimit, AfterView&& afterView)
    {
        const int wy = MapBandWy(band);
        for (int v = 0; v < kMapViewsPerBand; ++v) {
            const int wx = 20 + 40 * v;
            RenderWorldColumns(wx, wy, liftLimit);
            const uint32_t* colours = ThisThreadColours();
            // One sample per tile: pixel (8 j, 8 i) of the view is tile (wx - 20 + j, wy - 12 + i).
            for (int i = 0; i < kMapBandRows; ++i) {
                const uint32_t* from = colours + size_t(8 * i) * kViewWidth;
                uint8_t* to = band_.data() + size_t(i) * kMapRowBytes + size_t(wx - 20) * 3;
                for (int j = 0; j < 40; ++j) {
                    const uint32_t p = from[8 * j];
                    to[3 * j] = uint8_t(p);
                    to[3 * j + 1] = uint8_t(p >> 8);
                    to[3 * j + 2] = uint8_t(p >> 16);
                }
            }
            if (!afterView(colours))
                return false;
        }
        return true;
    }

    const uint8_t* Band() const { return band_.data(); }

private:
    std::vector<uint8_t> band_;
    std::unique_ptr<uint32_t[]> colours_;
    std::unique_ptr<OwnerRecord[]> owners_;
};

// The output files: created up front, removed unless the run completes.
class MapFiles {
public:
    explicit MapFiles(const MakeMapOptions& o) : rawPath_(o.RawPath)
    {
        raw_ = platform::OpenFile(rawPath_, "wb");
        if (raw_ == nullptr)
            throw EInOutError("cannot create " + rawPath_ + ": " + std::strerror(errno));
        rawCreated_ = true;
        if (!o.PngPath.empty()) {
            try {
                png_.emplace(o.PngPath, kMapWidth, kMapHeight);
            } catch (...) {
                Discard();
                throw;
            }
            pngPath_ = o.PngPath;
        }
    }

    ~MapFiles()
    {
        if (!done_)
            Discard();
    }

    void WriteBand(const uint8_t* band)
    {
        if (std::fwrite(band, 1, size_t(kMapBandBytes), raw_) != size_t(kMapBandBytes))
            throw EInOutError("cannot write " + rawPath_ + ": " + std::strerror(errno));
        if (png_)
            for (int r = 0; r < kMapBandRows; ++r)
                png_->WriteBgrRow(band + size_t(r) * kMapRowBytes);
    }

    void Finish()
    {
        std::FILE* raw = raw_;
        raw_ = nullptr;
        const bool flushed = std::fflush(raw) == 0 && std::ferror(raw) == 0;
        const int err = errno;
        if (std::fclose(raw) != 0 || !flushed)
            throw EInOutError("cannot write " + rawPath_ + ": " + std::strerror(flushed ? errno : err));
        if (png_)
            png_->Finish();
        done_ = true;
    }

private:
    void Discard()
    {
        if (raw_ != nullptr)
            std::fclose(raw_);
        raw_ = nullptr;
        png_.reset();
        std::error_code ec;
        if (rawCreated_)
            std::filesystem::remove(platform::PathFromUtf8(rawPath_), ec);
        if (!pngPath_.empty())
            std::filesystem::remove(platform::PathFromUtf8(pngPath_), ec);
    }

    std::string rawPath_, pngPath_;
    std::FILE* raw_ = nullptr;
    bool rawCreated_ = false;
    std::optional<PngRowWriter> png_;
    bool done_ = false;
};

// The second core: draws the bands it is handed on its own buffers, one at a time.
class BandWorker {
public:
    explicit BandWorker(int liftLimit) : maker_(true), liftLimit_(liftLimit), thread_([this] { Run(); }) {}

    ~BandWorker()
    {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            quit_ = true;
        }
        stop_.store(true);
        wake_.notify_all();
        thread_.join();
    }

    void Start(int band)
    {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            requested_ = band;
            finished_ = -1;
        }
        wake_.notify_all();
    }

    // Waits for the band handed over last; raises what the drawing raised.
    const uint8_t* Wait()
    {
        std::unique_lock<std::mutex> hold(mutex_);
        wake_.wait(hold, [this] { return finished_ >= 0 || error_; });
        if (error_)
            std::rethrow_exception(error_);
        return maker_.Band();
    }

    // Stops the band in progress after its current view.
    void Stop() { stop_.store(true); }

private:
    void Run()
    {
        maker_.UseOnThisThread();
        for (;;) {
            int band;
            {
                std::unique_lock<std::mutex> hold(mutex_);
                wake_.wait(hold, [this] { return quit_ || requested_ >= 0; });
                if (quit_)
                    return;
                band = requested_;
                requested_ = -1;
            }
            std::exception_ptr error;
            try {
                maker_.Draw(band, liftLimit_, [this](const uint32_t*) { return !stop_.load(); });
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> hold(mutex_);
                finished_ = band;
                error_ = error;
            }
            wake_.notify_all();
        }
    }

    BandMaker maker_;
    const int liftLimit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int requested_ = -1;
    int finished_ = -1;
    bool quit_ = false;
    std::exception_ptr error_;
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: starts once everything above exists
};

// Holds the picture buffers for the run.
class BufferClaim {
public:
    BufferClaim()
    {
        if (PictureBuffersHolder() == BufferUser::Game)
            throw ViewerRefused(kViewerRefusal);
        if (!ClaimPictureBuffers(BufferUser::MapMaker))
            throw ViewerRefused("The map viewer is already making a map.");
    }
    ~BufferClaim() { ReleasePictureBuffers(BufferUser::MapMaker); }
    BufferClaim(const BufferClaim&) = delete;
    BufferClaim& operator=(const BufferClaim&) = delete;
};

}  // namespace

void MakeMap(const MakeMapOptions& options, MakeMapObserver& observer)
{
    CheckShapesLoaded();
    const BufferClaim claim;
    MapFiles files(options);
    BandMaker maker(false);
    std::optional<BandWorker> worker;
    if (options.Threads > 1)
        worker.emplace(options.LiftLimit);

    const auto writeBand = [&](int band, const uint8_t* data) {
        platform::ConsoleLine(std::to_string(MapBandWy(band)));
        files.WriteBand(data);
        observer.BandWritten(band + 1);
    };
    const int step = worker ? 2 : 1;
    for (int band = 0; band < kMapBands; band += step) {
        const bool paired = worker && band + 1 < kMapBands;
        if (paired)
            worker->Start(band + 1);
        const bool finished = maker.Draw(band, options.LiftLimit, [&](const uint32_t* colours) {
            observer.ViewDrawn(colours);
            return !observer.Cancelled();
        });
        if (!finished) {
            if (paired) {
                worker->Stop();
                worker->Wait();
            }
            throw MapCancelled();
        }
        writeBand(band, maker.Band());
        if (paired)
            writeBand(band + 1, worker->Wait());
    }
    worker.reset();
    files.Finish();
}

}  // namespace tools
