// A PNG file written row by row (8-bit RGB), so a picture far larger than memory
// should hold can be streamed as it is made.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tools {

class PngRowWriter {
public:
    // Creates the file and writes the header; EInOutError naming the file when it
    // cannot be created.
    PngRowWriter(const std::string& path, int width, int height);
    // Closes the file; a file that was not finished is left as it is (the caller removes it).
    ~PngRowWriter();
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    // One row of `width` pixels, 3 bytes each in blue, green, red order.
    void WriteBgrRow(const uint8_t* bgr);
    // Ends the picture (every row must have been written) and closes the file.
    void Finish();

    const std::string& Path() const { return path_; }

private:
    [[noreturn]] void Fail(const char* what);
    void Release();

    std::string path_;
    int width_;
    std::FILE* file_ = nullptr;
    void* png_ = nullptr;   // png_structp
    void* info_ = nullptr;  // png_infop
    uint8_t* row_ = nullptr;
    char message_[256] = {};
};

}  // namespace tools
