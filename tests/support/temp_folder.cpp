// Temporary folders for tests.
#include "support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <filesystem>

#include "platform/file_names.h"
#include "platform/game_path.h"

namespace support {

TempFolder::TempFolder(const std::string& name)
{
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vx_" + name + "_" + std::to_string(stamp) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(dir);
    path_ = platform::WithTrailingSeparator(platform::Utf8FromPath(dir));
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(platform::PathFromUtf8(path_), ec);
}

}  // namespace support
