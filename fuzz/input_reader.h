// Reads a fuzz input as a little script of steps: a byte picks the step, counts are
// little-endian, and a step that wants more bytes than are left gets what is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fuzz {

class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    uint16_t U16()
    {
        const uint16_t low = Byte();
        return uint16_t(low | Byte() << 8);
    }
    int16_t I16() { return int16_t(U16()); }
    std::string_view Take(size_t count)
    {
        const size_t n = count < size_ - pos_ ? count : size_ - pos_;
        const std::string_view bytes(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return bytes;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace fuzz
