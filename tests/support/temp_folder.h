// A temporary folder for one test, removed when the test ends.
#pragma once

#include <string>

namespace support {

class TempFolder {
public:
    explicit TempFolder(const std::string& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, ending in the native separator.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace support
