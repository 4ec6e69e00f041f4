// Little-endian integers and IEEE 754 values at a byte position: the byte order of
// every game file and of every message on the wire, whatever the machine's own.
#pragma once

#include <bit>
#include <cstdint>

namespace platform {

// Readers take any byte pointer; the caller has checked that the bytes are there.
inline uint8_t GetU8(const void* p) { return *static_cast<const uint8_t*>(p); }

inline uint16_t GetU16(const void* p)
{
    const auto* b = static_cast<const uint8_t*>(p);
    return uint16_t(b[0] | b[1] << 8);
}

inline uint32_t GetU32(const void* p)
{
    const auto* b = static_cast<const uint8_t*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

inline uint64_t GetU64(const void* p)
{
    const auto* b = static_cast<const uint8_t*>(p);
    return uint64_t(GetU32(b)) | uint64_t(GetU32(b + 4)) << 32;
}

inline int16_t GetI16(const void* p) { return static_cast<int16_t>(GetU16(p)); }
inline int32_t GetI32(const void* p) { return static_cast<int32_t>(GetU32(p)); }
inline float GetF32(const void* p) { return std::bit_cast<float>(GetU32(p)); }
inline double GetF64(const void* p) { return std::bit_cast<double>(GetU64(p)); }

inline void PutU8(void* p, uint8_t v) { *static_cast<uint8_t*>(p) = v; }

inline void PutU16(void* p, uint16_t v)
{
    auto* b = static_cast<uint8_t*>(p);
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
}

inline void PutU32(void* p, uint32_t v)
{
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 4; ++i)
        b[i] = uint8_t(v >> (8 * i));
}

inline void PutU64(void* p, uint64_t v)
{
    auto* b = static_cast<uint8_t*>(p);
    PutU32(b, uint32_t(v));
    PutU32(b + 4, uint32_t(v >> 32));
}

inline void PutI16(void* p, int16_t v) { PutU16(p, static_cast<uint16_t>(v)); }
inline void PutI32(void* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
inline void PutF32(void* p, float v) { PutU32(p, std::bit_cast<uint32_t>(v)); }
inline void PutF64(void* p, double v) { PutU64(p, std::bit_cast<uint64_t>(v)); }

}  // namespace platform
