// The world overview the game window's minimap shows: the whole world at one pixel
// per tile, drawn by the map viewer's renderer (the same views and samples as its
// "Make Map") beside the running game, and kept in a cache file per world.
//
// Cache file, all integers little-endian:
//
//   offset  size            content
//   0       8               "VXOVRVW1"
//   8       4               width, 3072
//   12      4               height, 3072
//   16      8               source stamp: the world's files as they were (WorldSourceStamp)
//   24      8               FNV-1a 64 of the pixel bytes
//   32      3072*3072*3     the pixels, rows top to bottom, blue, green, red
//
// A file that is shorter or longer, has another header, or whose pixels do not hash
// to the stored value is refused; one of another stamp is out of date. Either way the
// overview is made again and the file replaced (written beside it and renamed over it).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "view/minimap.h"

namespace tools {

constexpr char kOverviewMagic[8] = {'V', 'X', 'O', 'V', 'R', 'V', 'W', '1'};
constexpr size_t kOverviewHeaderBytes = 32;

// Views of the overview: centres wx = 20 + 40 v (v 0-76), wy = 12 + 25 b (b 0-122),
// each giving 40 x 25 tiles, cut at the world's edge.
constexpr int kOverviewViewsPerBand = 77;
constexpr int kOverviewBands = 123;

// The file of a world's overview in `cacheFolder`: "overview-<16 hex digits>.vxo", the
// digits a hash of the game folder, the world data folder and the identity.
std::string OverviewCacheFile(const std::string& cacheFolder, const std::string& gameFolder,
                              const std::string& worldDataFolder, const std::string& identity);

// A hash of the size and modification time of every world file the overview is drawn
// from (shapes, palette, tile flags, chunks, map, fixed and movable objects); a file
// that is missing counts as such.
uint64_t WorldSourceStamp(const std::string& gameFolder, const std::string& worldDataFolder);

uint64_t OverviewHash(const uint8_t* bytes, size_t count);

// Draws the whole overview into `out` on the calling thread, on picture buffers and a
// colour table of its own and without the game's actors, clock or counters, so it
// may run while the render thread draws. `progress`(bands done, bands) after each
// band returns false to stop; then the result is false and `out` incomplete. Needs
// the static data and the world loaded, unchanged while it runs.
bool DrawWorldOverview(TWorldOverview& out, const std::function<bool(int done, int total)>& progress = {});

// Reads a cache file of `stamp` into `out`. False, with `why` ("" for a missing file),
// when it is missing, damaged, short, or of another stamp.
bool ReadOverviewCache(const std::string& path, uint64_t stamp, TWorldOverview& out, std::string& why);
// Writes it; EInOutError naming the file on failure, leaving no file behind.
void WriteOverviewCache(const std::string& path, uint64_t stamp, const TWorldOverview& overview);

// Reads or makes a world's overview on a thread of its own. Every call comes from one
// thread (the main thread); the worker reaches it only through the lock inside.
class TWorldOverviewMaker {
public:
    TWorldOverviewMaker() = default;
    ~TWorldOverviewMaker();
    TWorldOverviewMaker(const TWorldOverviewMaker&) = delete;
    TWorldOverviewMaker& operator=(const TWorldOverviewMaker&) = delete;

    // Starts reading `cacheFile`, or making the overview and keeping it there, unless
    // that file's overview is already being made or was delivered.
    void Start(const std::string& cacheFile, uint64_t stamp);
    // Stops a run between two views and waits for the worker: before the world or the
    // static data it reads are loaded again. Forgets what was delivered.
    void Stop();
    // Lines for the console since the last call (appended to `lines`), and the overview
    // once it is ready (set once). Cheap when nothing happened: one atomic read.
    void Poll(std::vector<std::string>& lines, std::shared_ptr<const TWorldOverview>& ready);
    // Whether a run is under way or has news not yet polled.
    bool Busy() const;

private:
    void Run(std::string cacheFile, uint64_t stamp);
    void Report(std::string line);
    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed); }

    std::thread worker_;
    std::string file_;  // the cache file of the run started last (main thread only)
    std::atomic<bool> cancel_{false};
    std::atomic<bool> news_{false};
    std::atomic<bool> running_{false};
    mutable std::mutex lock_;  // guards what the worker hands over
    std::vector<std::string> lines_;
    std::shared_ptr<const TWorldOverview> ready_;
    bool delivered_ = false;  // the overview of file_ has gone out through Poll
};

}  // namespace tools

// The client's one maker, created and freed with the other process-wide objects; it
// is stopped first, before anything it reads goes.
extern std::unique_ptr<tools::TWorldOverviewMaker> WorldOverviewMaker;
