// The minimap's world overview: drawn beside the game, kept in a cache file.
#include "tools/world_overview.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "platform/binary_file.h"
#include "platform/byte_order.h"
#include "platform/file_names.h"
#include "platform/game_path.h"
#include "view/world_renderer.h"

std::unique_ptr<tools::TWorldOverviewMaker> WorldOverviewMaker;

namespace tools {

namespace {

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t Fnv(uint64_t hash, const void* bytes, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ p[i]) * kFnvPrime;
    return hash;
}

void PutLe(uint8_t* at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

uint64_t GetLe(const uint8_t* at, int bytes)
{
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= uint64_t(at[i]) << (8 * i);
    return value;
}

// The calling thread draws on its own buffers and colour table, without the game,
// until this goes.
class OwnDrawing {
public:
    OwnDrawing()
        : colours_(std::make_unique<uint32_t[]>(size_t(kViewWidth) * kViewHeight)),
          owners_(std::make_unique<OwnerRecord[]>(size_t(kViewWidth) * kViewHeight))
    {
        BuildColourTableInto(table_);  // uncycled: the overview does not follow the palette's cycle
        DrawIntoOnThisThread(colours_.get(), owners_.get());
        DrawWithColourTableOnThisThread(table_);
        RenderWithoutGameOnThisThread(true);
    }
    ~OwnDrawing()
    {
        RenderWithoutGameOnThisThread(false);
        DrawWithColourTableOnThisThread(nullptr);
        DrawIntoSharedBuffers();
    }
    OwnDrawing(const OwnDrawing&) = delete;
    OwnDrawing& operator=(const OwnDrawing&) = delete;

    const uint32_t* Colours() const { return colours_.get(); }

private:
    std::unique_ptr<uint32_t[]> colours_;
    std::unique_ptr<OwnerRecord[]> owners_;
    uint32_t table_[256];
};

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

uint64_t OverviewHash(const uint8_t* bytes, size_t count) { return Fnv(kFnvOffset, bytes, count); }

std::string OverviewCacheFile(const std::string& cacheFolder, const std::string& gameFolder,
                              const std::string& worldDataFolder, const std::string& identity)
{
    const std::string key = gameFolder + "\n" + worldDataFolder + "\n" + identity;
    char name[40];
    std::snprintf(name, sizeof name, "overview-%016" PRIx64 ".vxo", Fnv(kFnvOffset, key.data(), key.size()));
    return platform::WithTrailingSeparator(cacheFolder) + name;
}

uint64_t WorldSourceStamp(const std::string& gameFolder, const std::string& worldDataFolder)
{
    std::vector<std::string> files = {gameFolder + "STATIC\\SHAPES.VGA", gameFolder + "STATIC\\PALETTES.FLX",
                                      gameFolder + "STATIC\\TFA.DAT", gameFolder + "STATIC\\VXCHUNKS",
                                      gameFolder + "STATIC\\VXMAP"};
    char suffix[3];
    for (int region = 0; region < 144; ++region) {
        std::snprintf(suffix, sizeof suffix, "%02X", region);
        files.push_back(gameFolder + "STATIC\\VXIFIX" + suffix);
        files.push_back(worldDataFolder + "VXIREG" + suffix);
    }
    uint64_t hash = kFnvOffset;
    for (const std::string& file : files) {
        std::error_code error;
        const std::filesystem::path path = platform::PathFromUtf8(platform::NativePath(file));
        const uintmax_t size = std::filesystem::file_size(path, error);
        const int64_t written =
            error ? 0 : int64_t(std::filesystem::last_write_time(path, error).time_since_epoch().count());
        const uint8_t present = error ? 0 : 1;
        hash = Fnv(hash, &present, 1);
        hash = Fnv(hash, &size, sizeof size);
        hash = Fnv(hash, &written, sizeof written);
    }
    return hash;
}

bool DrawWorldOverview(TWorldOverview& out, const std::function<bool(int done, int total)>& progress)
{
    if (!VxShapes)
        throw std::runtime_error("no shapes are loaded");
    out.Pixels.assign(kOverviewBytes, 0);
    const OwnDrawing drawing;
    for (int band = 0; band < kOverviewBands; ++band) {
        const int wy = 12 + 25 * band;
        for (int v = 0; v < kOverviewViewsPerBand; ++v) {
            const int wx = 20 + 40 * v;
            RenderWorldColumns(wx, wy, 16, nullptr);  // the world alone
            // One sample per tile, as Make Map takes it: pixel (8 j, 8 i) of the view
            // is tile (wx - 20 + j, wy - 12 + i).
            for (int i = 0; i < 25 && wy - 12 + i < kOverviewSize; ++i) {
                const uint32_t* from = drawing.Colours() + size_t(8 * i) * kViewWidth;
                uint8_t* to = out.Pixels.data() + (size_t(wy - 12 + i) * kOverviewSize + size_t(wx - 20)) * 3;
                for (int j = 0; j < 40 && wx - 20 + j < kOverviewSize; ++j) {
                    const uint32_t p = from[8 * j];
                    to[3 * j] = uint8_t(p);
                    to[3 * j + 1] = uint8_t(p >> 8);
                    to[3 * j + 2] = uint8_t(p >> 16);
                }
            }
        }
        if (progress && !progress(band + 1, kOverviewBands))
            return false;
    }
    return true;
}

bool ReadOverviewCache(const std::string& path, uint64_t stamp, TWorldOverview& out, std::string& why)
{
    why.clear();
    std::error_code error;
    if (!std::filesystem::exists(platform::PathFromUtf8(path), error))
        return false;
    const uintmax_t size = std::filesystem::file_size(platform::PathFromUtf8(path), error);
    if (error) {
        why = "cannot read it: " + error.message();
        return false;
    }
    const uintmax_t expected = kOverviewHeaderBytes + kOverviewBytes;
    if (size != expected) {
        why = "it holds " + std::to_string(size) + " bytes, an overview " + std::to_string(expected);
        return false;
    }
    std::FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) {
        why = "cannot open it: " + ErrnoText();
        return false;
    }
    uint8_t header[kOverviewHeaderBytes];
    const bool headerRead = std::fread(header, 1, sizeof header, file) == sizeof header;
    if (!headerRead || std::memcmp(header, kOverviewMagic, sizeof kOverviewMagic) != 0) {
        std::fclose(file);
        why = "it is not an overview file";
        return false;
    }
    const uint64_t width = GetLe(header + 8, 4), height = GetLe(header + 12, 4);
    if (width != uint64_t(kOverviewSize) || height != uint64_t(kOverviewSize)) {
        std::fclose(file);
        why = "it is " + std::to_string(width) + " x " + std::to_string(height) + " pixels, not 3072 x 3072";
        return false;
    }
    if (GetLe(header + 16, 8) != stamp) {
        std::fclose(file);
        why = "it was made from other world files";
        return false;
    }
    out.Pixels.resize(kOverviewBytes);
    const bool pixelsRead = std::fread(out.Pixels.data(), 1, kOverviewBytes, file) == kOverviewBytes;
    std::fclose(file);
    if (!pixelsRead) {
        out.Pixels.clear();
        why = "it ends early";
        return false;
    }
    if (OverviewHash(out.Pixels.data(), out.Pixels.size()) != GetLe(header + 24, 8)) {
        out.Pixels.clear();
        why = "its pixels do not match their checksum";
        return false;
    }
    return true;
}

void WriteOverviewCache(const std::string& path, uint64_t stamp, const TWorldOverview& overview)
{
    if (!overview.Complete())
        throw std::logic_error("an incomplete overview is not kept");
    const std::filesystem::path target = platform::PathFromUtf8(path);
    std::error_code error;
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), error);
    if (error)
        throw EInOutError("cannot create " + platform::Utf8FromPath(target.parent_path()) + ": " + error.message());
    const std::string part = path + ".part";
    std::FILE* file = platform::OpenFile(part, "wb");
    if (file == nullptr)
        throw EInOutError("cannot create " + part + ": " + ErrnoText());
    uint8_t header[kOverviewHeaderBytes] = {};
    std::memcpy(header, kOverviewMagic, sizeof kOverviewMagic);
    PutLe(header + 8, kOverviewSize, 4);
    PutLe(header + 12, kOverviewSize, 4);
    PutLe(header + 16, stamp, 8);
    PutLe(header + 24, OverviewHash(overview.Pixels.data(), overview.Pixels.size()), 8);
    bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
                   std::fwrite(overview.Pixels.data(), 1, overview.Pixels.size(), file) == overview.Pixels.size() &&
                   std::fflush(file) == 0;
    const std::string writeError = written ? std::string() : ErrnoText();
    written = std::fclose(file) == 0 && written;
    if (written)
        std::filesystem::rename(platform::PathFromUtf8(part), target, error);
    if (!written || error) {
        std::filesystem::remove(platform::PathFromUtf8(part), error);
        throw EInOutError("cannot write " + path + ": " + (writeError.empty() ? ErrnoText() : writeError));
    }
}

// ---- The maker ----------------------------------------------------------------------

TWorldOverviewMaker::~TWorldOverviewMaker() { Stop(); }

void TWorldOverviewMaker::Start(const std::string& cacheFile, uint64_t stamp)
{
    if (cacheFile == file_ && (running_.load() || delivered_))
        return;
    Stop();
    file_ = cacheFile;
    running_.store(true);
    worker_ = std::thread([this, cacheFile, stamp] { Run(cacheFile, stamp); });
}

void TWorldOverviewMaker::Stop()
{
    cancel_.store(true);
    if (worker_.joinable())
        worker_.join();
    cancel_.store(false);
    running_.store(false);
    std::lock_guard<std::mutex> hold(lock_);
    lines_.clear();
    ready_.reset();
    news_.store(false);
    delivered_ = false;
    file_.clear();
}

void TWorldOverviewMaker::Poll(std::vector<std::string>& lines, std::shared_ptr<const TWorldOverview>& ready)
{
    if (!news_.exchange(false, std::memory_order_acq_rel))
        return;
    std::lock_guard<std::mutex> hold(lock_);
    for (std::string& line : lines_)
        lines.push_back(std::move(line));
    lines_.clear();
    if (ready_) {
        ready = std::move(ready_);
        ready_.reset();
        delivered_ = true;
    }
}

bool TWorldOverviewMaker::Busy() const { return running_.load() || news_.load(); }

void TWorldOverviewMaker::Report(std::string line)
{
    std::lock_guard<std::mutex> hold(lock_);
    lines_.push_back(std::move(line));
    news_.store(true, std::memory_order_release);
}

void TWorldOverviewMaker::Run(std::string cacheFile, uint64_t stamp)
{
    auto overview = std::make_shared<TWorldOverview>();
    const auto deliver = [&] {
        std::lock_guard<std::mutex> hold(lock_);
        ready_ = std::move(overview);
        running_.store(false);
        news_.store(true, std::memory_order_release);
    };
    try {
        std::string why;
        if (ReadOverviewCache(cacheFile, stamp, *overview, why)) {
            Report("Minimap: world overview read from " + cacheFile);
            deliver();
            return;
        }
        if (!why.empty())
            Report("Minimap: " + cacheFile + " refused (" + why + "); making it again.");
        Report("Minimap: making the world overview, once for this world...");
        int quarter = 0;
        const bool done = DrawWorldOverview(*overview, [&](int bands, int total) {
            if (bands * 4 / total > quarter && bands < total) {
                quarter = bands * 4 / total;
                Report("Minimap: world overview " + std::to_string(25 * quarter) + "%");
            }
            return !Cancelled();
        });
        if (!done) {
            running_.store(false);
            return;
        }
        try {
            WriteOverviewCache(cacheFile, stamp, *overview);
            Report("Minimap: world overview made and kept in " + cacheFile);
        } catch (const std::exception& e) {
            Report(std::string("Minimap: world overview made but not kept: ") + e.what());
        }
        deliver();
    } catch (const std::exception& e) {
        Report(std::string("Minimap: the world overview could not be made: ") + e.what());
        running_.store(false);
    }
}

}  // namespace tools
