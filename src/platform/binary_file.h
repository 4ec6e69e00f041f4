// Checked binary file reads: every failure raises EInOutError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

// The runtime's input/output error. It is not caught where it occurs: it ends
// the interrupted step and reaches the application's default error handler.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace platform {

// A file opened for reading whole bytes. The path is a game path (see NativePath).
class BinaryFile {
public:
    explicit BinaryFile(const std::string& gamePath);
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    void Seek(int64_t offset);
    // Reads exactly `count` bytes or raises "<file>: expected N bytes, got M".
    void ReadExact(void* buffer, size_t count);
    uint8_t ReadByte();
    int32_t ReadInt32();
    int64_t Position() const;
    int64_t FileSize() const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

// Reads the first `count` bytes of a file into `buffer`.
void ReadFilePrefix(const std::string& gamePath, void* buffer, size_t count);

}  // namespace platform
