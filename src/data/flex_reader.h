// Walks a flex archive one entry at a time.
//
// Layout (little-endian): 84 bytes not read (title and marker), the entry
// count (i32) at 84, 40 bytes not read, then from 128 one (offset, size) pair
// of u32 per entry; offsets count from the start of the file. Entries need not
// be contiguous or in table order, and a size of 0 is an empty slot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/binary_file.h"

class TFlexReader {
public:
    // Opens the archive and reads the first table pair. Raises EInOutError when
    // the file is missing or too short. A count of zero or below is an empty
    // archive: no pair is read, Size is 0 and Next returns false.
    explicit TFlexReader(const std::string& path);

    int32_t Count() const { return count_; }
    int32_t Index() const { return index_; }
    int32_t Size() const { return size_; }
    const std::string& Path() const { return file_.Path(); }

    // Reads the current entry whole; the caller's buffer holds Size bytes. An entry
    // that runs past the end of the file raises EInOutError naming the entry.
    void ReadEntry(void* buffer);
    // The same into `out`, resized to Size. The entry is checked against the file
    // first, so a damaged size never makes it allocate more than the file holds.
    void ReadEntry(std::vector<uint8_t>& out);

    // Moves to the next entry and returns true; after the last entry wraps to
    // entry 0 and returns false.
    bool Next();

private:
    void ReadPair();
    void CheckEntryInFile() const;

    platform::BinaryFile file_;
    int32_t count_ = 0;
    int32_t index_ = 0;
    uint32_t offset_ = 0;
    int32_t size_ = 0;
    int64_t tablePos_ = 128;
    int64_t fileSize_ = 0;
};
