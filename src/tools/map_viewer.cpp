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

#include "client/frame_end.h"
#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
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
    RenderWorldColumns(x, y, liftLimit, NPCList.get());
}

// ---- Pick and shape info ------------------------------------------------------------

BufferPixel PaintBoxToBuffer(int x, int y, int paintBoxWidth, int paintBoxHeight)
{
    // The game window's mapping over a stretched picture, held inside it.
    const TPointerGeometry stretch{paintBoxWidth, paintBoxHeight, 1.0, PlaceView(paintBoxWidth, paintBoxHeight, 0, false)};
    const TViewPoint p = ClampToView(WindowToView(stretch, x, y, EPointerRounding::Divide));
    return {p.X, p.Y};
}

PickResult PickPixel(BufferPixel p)
{
    const OwnerRecord& o = PickOwner({p.x, p.y});
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

// Make Map draws its views in one sequence on one picture, so a pixel that a view
// leaves undrawn keeps the colour the view before gave it. The second thread draws
// every other band on a picture of its own, which starts each band filled with
// kUndrawn, a value no drawing writes (colours are 0x00RRGGBB). Once its band is done,
// its samples still kUndrawn take the colour the main picture had at the end of the
// band before, and the pixels it drew are laid over the main picture: two threads give
// the bytes of one, whatever the world leaves undrawn.
constexpr uint32_t kUndrawn = 0xFF000000;
constexpr int kMapBandColumns = kMapViewsPerBand * 40;  // 3040 sampled columns

// A copy of the actor list as it stands, made under its lock; null without a list.
std::unique_ptr<net::TNPCList> CopyOfActors(net::TNPCList* actors)
{
    if (actors == nullptr)
        return nullptr;
    auto copy = std::make_unique<net::TNPCList>();
    std::lock_guard<std::mutex> hold(actors->Lock());
    static_cast<net::TNPCRecord&>(*copy->Head()) = *actors->Head();
    net::TNPCNode* oldest = actors->Head();
    while (oldest->Next != nullptr)
        oldest = oldest->Next;
    // New entries go right after the head: the oldest first keeps the order.
    for (net::TNPCNode* a = oldest; a != actors->Head(); a = a->Prev)
        copy->InsertEntry(std::make_unique<net::TNPCRecord>(*a));
    return copy;
}

// One band's drawing: its samples, and for the second thread its own picture buffers
// and its own copy of the actors, taken when the run starts: the two threads would
// otherwise meet at the actor list's lock a few thousand times a view.
class BandMaker {
public:
    explicit BandMaker(bool ownBuffers)
        : samples_(size_t(kMapBandRows) * kMapBandColumns, 0), band_(size_t(kMapBandBytes), 0)
    {
        if (ownBuffers) {
            colours_ = std::make_unique<uint32_t[]>(size_t(kViewWidth) * kViewHeight);
            owners_ = std::make_unique<OwnerRecord[]>(size_t(kViewWidth) * kViewHeight);
            ownActors_ = CopyOfActors(NPCList.get());
        }
    }

    // Points the calling thread's drawing at this maker's buffers (a worker's own pair).
    void UseOnThisThread() const
    {
        if (colours_)
            DrawIntoOnThisThread(colours_.get(), owners_.get());
    }

    // Draws band `band` view by view; `afterView` is called after each view's samples
    // are taken and returns false to stop. False when stopped.
    template <typename AfterView>
    bool Draw(int band, int liftLimit, AfterView&& afterView)
    {
        if (colours_)
            std::fill_n(colours_.get(), size_t(kViewWidth) * kViewHeight, kUndrawn);
        const int wy = MapBandWy(band);
        for (int v = 0; v < kMapViewsPerBand; ++v) {
            const int wx = 20 + 40 * v;
            RenderWorldColumns(wx, wy, liftLimit, colours_ ? ownActors_.get() : NPCList.get());
            const uint32_t* colours = ThisThreadColours();
            // One sample per tile: pixel (8 j, 8 i) of the view is tile (wx - 20 + j, wy - 12 + i).
            for (int i = 0; i < kMapBandRows; ++i) {
                const uint32_t* from = colours + size_t(8 * i) * kViewWidth;
                uint32_t* to = samples_.data() + size_t(i) * kMapBandColumns + size_t(wx - 20);
                for (int j = 0; j < 40; ++j)
                    to[j] = from[8 * j];
            }
            if (!afterView(colours))
                return false;
        }
        return true;
    }

    // A second thread's band after the main thread's band before it: samples nothing
    // drew take the main picture's colour, and the main picture takes what was drawn,
    // with the owners of the band's last view.
    void LayOver(uint32_t* mainColours, OwnerRecord* mainOwners)
    {
        for (int i = 0; i < kMapBandRows; ++i) {
            uint32_t* row = samples_.data() + size_t(i) * kMapBandColumns;
            for (int c = 0; c < kMapBandColumns; ++c)
                if (row[c] == kUndrawn)
                    row[c] = mainColours[size_t(8 * i) * kViewWidth + size_t(8 * (c % 40))];
        }
        const size_t pixels = size_t(kViewWidth) * kViewHeight;
        for (size_t p = 0; p < pixels; ++p)
            if (colours_[p] != kUndrawn)
                mainColours[p] = colours_[p];
        std::copy_n(owners_.get(), pixels, mainOwners);
    }

    // The band as the file holds it: blue, green, red per pixel, columns 3040-3100 zero.
    const uint8_t* Band()
    {
        for (int i = 0; i < kMapBandRows; ++i) {
            const uint32_t* from = samples_.data() + size_t(i) * kMapBandColumns;
            uint8_t* to = band_.data() + size_t(i) * kMapRowBytes;
            for (int c = 0; c < kMapBandColumns; ++c) {
                to[3 * c] = uint8_t(from[c]);
                to[3 * c + 1] = uint8_t(from[c] >> 8);
                to[3 * c + 2] = uint8_t(from[c] >> 16);
            }
        }
        return band_.data();
    }

private:
    std::vector<uint32_t> samples_;
    std::vector<uint8_t> band_;
    std::unique_ptr<uint32_t[]> colours_;
    std::unique_ptr<OwnerRecord[]> owners_;
    std::unique_ptr<net::TNPCList> ownActors_;
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
    BandWorker(int liftLimit, bool samplesOnly)
        : maker_(true), liftLimit_(liftLimit), samplesOnly_(samplesOnly), thread_([this] { Run(); })
    {
    }

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
    BandMaker& Wait()
    {
        std::unique_lock<std::mutex> hold(mutex_);
        wake_.wait(hold, [this] { return finished_ >= 0 || error_; });
        if (error_)
            std::rethrow_exception(error_);
        return maker_;
    }

    // Stops the band in progress after its current view.
    void Stop() { stop_.store(true); }

    // Stops, and returns once the thread draws nothing and will draw nothing more.
    void StopAndWaitIdle()
    {
        std::unique_lock<std::mutex> hold(mutex_);
        stop_.store(true);
        wake_.wait(hold, [this] { return !busy_; });
    }

private:
    void Run()
    {
        maker_.UseOnThisThread();
        DrawOnlySamplesOnThisThread(samplesOnly_);
        for (;;) {
            int band;
            {
                std::unique_lock<std::mutex> hold(mutex_);
                wake_.wait(hold, [this] { return quit_ || requested_ >= 0; });
                if (quit_)
                    return;
                band = requested_;
                requested_ = -1;
                busy_ = true;
            }
            std::exception_ptr error;
            try {
                if (!stop_.load())
                    maker_.Draw(band, liftLimit_, [this](const uint32_t*) { return !stop_.load(); });
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> hold(mutex_);
                finished_ = band;
                error_ = error;
                busy_ = false;
            }
            wake_.notify_all();
        }
    }

    BandMaker maker_;
    const int liftLimit_;
    const bool samplesOnly_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int requested_ = -1;
    int finished_ = -1;
    bool busy_ = false;
    bool quit_ = false;
    std::exception_ptr error_;
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: starts once everything above exists
};

// The run under way, for StopMakeMap. Runs and stops happen on the main thread, whose
// events a run lets in between views.
struct RunControl {
    bool stop = false;
    BandWorker* worker = nullptr;
};
RunControl* currentRun = nullptr;

class RunRegistration {
public:
    explicit RunRegistration(RunControl& run) { currentRun = &run; }
    ~RunRegistration() { currentRun = nullptr; }
    RunRegistration(const RunRegistration&) = delete;
    RunRegistration& operator=(const RunRegistration&) = delete;
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

// The calling thread draws only the samples while the run lasts.
class SamplesOnlyWhileRunning {
public:
    explicit SamplesOnlyWhileRunning(bool samplesOnly) { DrawOnlySamplesOnThisThread(samplesOnly); }
    ~SamplesOnlyWhileRunning() { DrawOnlySamplesOnThisThread(false); }
    SamplesOnlyWhileRunning(const SamplesOnlyWhileRunning&) = delete;
    SamplesOnlyWhileRunning& operator=(const SamplesOnlyWhileRunning&) = delete;
};

}  // namespace

void MakeMap(const MakeMapOptions& options, MakeMapObserver& observer)
{
    CheckShapesLoaded();
    const BufferClaim claim;
    MapFiles files(options);
    const SamplesOnlyWhileRunning samples(options.SamplesOnly);
    BandMaker maker(false);
    std::optional<BandWorker> worker;
    if (options.Threads > 1)
        worker.emplace(options.LiftLimit, options.SamplesOnly);
    RunControl run;
    run.worker = worker ? &*worker : nullptr;
    const RunRegistration registration(run);
    const auto stopped = [&] { return run.stop || observer.Cancelled(); };

    const auto writeBand = [&](int band, BandMaker& from) {
        platform::ConsoleLine(std::to_string(MapBandWy(band)));
        files.WriteBand(from.Band());
        observer.BandWritten(band + 1);
    };
    const int step = worker ? 2 : 1;
    for (int band = 0; band < kMapBands; band += step) {
        if (stopped())
            throw MapCancelled();
        const bool paired = worker && band + 1 < kMapBands;
        if (paired)
            worker->Start(band + 1);
        const bool finished = maker.Draw(band, options.LiftLimit, [&](const uint32_t* colours) {
            observer.ViewDrawn(colours);
            return !stopped();
        });
        if (!finished) {
            if (paired) {
                worker->Stop();
                worker->Wait();
            }
            throw MapCancelled();
        }
        writeBand(band, maker);
        if (paired) {
            BandMaker& second = worker->Wait();
            if (stopped())  // stopped while the band was written: the worker's band may be cut short
                throw MapCancelled();
            second.LayOver(&ColourBuffer[0][0], &OwnerBuffer[0][0]);
            writeBand(band + 1, second);
        }
    }
    worker.reset();
    files.Finish();
}

void StopMakeMap()
{
    if (currentRun == nullptr)
        return;
    currentRun->stop = true;
    if (currentRun->worker != nullptr)
        currentRun->worker->StopAndWaitIdle();
}

}  // namespace tools
