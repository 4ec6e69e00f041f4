// A scratch folder for one fuzzing process, in RAM where the system has one, and
// the writing of each input to the file a loader reads.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

// The folder's path, ending in '/'; created on first use, removed at exit.
inline const std::string& ScratchFolder()
{
    // Never destroyed, so that the exit handler can still read it.
    static const std::string* const path = [] {
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                          : std::filesystem::temp_directory_path();
        const std::filesystem::path dir = base / ("vxfuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        auto* folder = new std::string(dir.string() + "/");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return folder;
    }();
    return *path;
}

// Replaces the file's content; aborts when it cannot (the run would test nothing).
inline void WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline void WriteInput(const std::string& path, std::string_view bytes)
{
    WriteInput(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Inputs made of several files keep them apart with this marker.
inline constexpr std::string_view kPartSeparator = "VXFZ";

// The next part of `rest` up to the marker (all of it when there is none); `rest`
// goes on after the marker.
inline std::string_view NextPart(std::string_view& rest)
{
    const size_t at = rest.find(kPartSeparator);
    const std::string_view part = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + kPartSeparator.size());
    return part;
}

}  // namespace fuzz
