// Flex archive reader.
#include "data/flex_reader.h"

namespace {
constexpr int64_t kTableStart = 128;
constexpr int64_t kCountOffset = 84;
}  // namespace

TFlexReader::TFlexReader(const std::string& path) : file_(path), fileSize_(file_.FileSize())
{
    file_.Seek(kCountOffset);
    count_ = file_.ReadInt32();
    if (count_ > 0)
        ReadPair();
}

void TFlexReader::ReadPair()
{
    file_.Seek(tablePos_);
    offset_ = uint32_t(file_.ReadInt32());
    size_ = file_.ReadInt32();
    if (size_ < 0)
        throw EInOutError(file_.Path() + ": entry " + std::to_string(index_) + " has a negative size");
    tablePos_ = file_.Position();
}

void TFlexReader::CheckEntryInFile() const
{
    if (int64_t(offset_) + size_ > fileSize_)
        throw EInOutError(file_.Path() + ": entry " + std::to_string(index_) + " (" + std::to_string(size_) +
                          " bytes at " + std::to_string(offset_) + ") runs past the end of the file's " +
                          std::to_string(fileSize_) + " bytes");
}

void TFlexReader::ReadEntry(void* buffer)
{
    if (size_ <= 0)
        return;
    CheckEntryInFile();
    file_.Seek(offset_);
    file_.ReadExact(buffer, size_t(size_));
}

void TFlexReader::ReadEntry(std::vector<uint8_t>& out)
{
    if (size_ > 0)
        CheckEntryInFile();
    out.resize(size_t(size_));
    ReadEntry(out.data());
}

bool TFlexReader::Next()
{
    if (count_ <= 0)
        return false;
    if (index_ >= count_ - 1) {
        index_ = 0;
        tablePos_ = kTableStart;
        ReadPair();
        return false;
    }
    ++index_;
    ReadPair();
    return true;
}
