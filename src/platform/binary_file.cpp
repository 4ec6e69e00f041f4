// Checked binary file reads.
#include "platform/binary_file.h"

#include <cerrno>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/file_names.h"
#include "platform/game_path.h"

namespace platform {

BinaryFile::BinaryFile(const std::string& gamePath) : path_(NativePath(gamePath))
{
    file_ = OpenFile(path_, "rb");
    if (!file_)
        throw EInOutError(path_ + ": cannot open: " + std::strerror(errno));
}

BinaryFile::~BinaryFile()
{
    if (file_)
        std::fclose(file_);
}

void BinaryFile::Seek(int64_t offset)
{
    if (offset < 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0)
        throw EInOutError(path_ + ": cannot seek to " + std::to_string(offset));
}

void BinaryFile::ReadExact(void* buffer, size_t count)
{
    if (count == 0)
        return;
    const size_t got = std::fread(buffer, 1, count, file_);
    if (got != count)
        throw EInOutError(path_ + ": expected " + std::to_string(count) + " bytes, got " +
                          std::to_string(got));
}

uint8_t BinaryFile::ReadByte()
{
    uint8_t b = 0;
    ReadExact(&b, 1);
    return b;
}

int32_t BinaryFile::ReadInt32()
{
    uint8_t b[4];
    ReadExact(b, 4);
    return GetI32(b);
}

int64_t BinaryFile::Position() const { return std::ftell(file_); }

int64_t BinaryFile::FileSize() const
{
    const long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    const long size = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return size;
}

void ReadFilePrefix(const std::string& gamePath, void* buffer, size_t count)
{
    BinaryFile file(gamePath);
    file.ReadExact(buffer, count);
}

}  // namespace platform
