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
    // The same without the separator at the end, for std::filesystem::copy's
    // source: MinGW's stat refuses "folder\" on Windows.
    std::string Folder() const { return path_.substr(0, path_.size() - 1); }

private:
    std::string path_;
};

}  // namespace support
