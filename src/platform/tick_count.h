// The system tick count: unsigned 32-bit milliseconds, and a fake clock for tests.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds from a steady clock, wrapping at 2^32 like the tick count
// the timing logic was written against. Returns the fake clock while one is installed.
uint32_t TickCount();

// Installs itself as the tick source for its lifetime; tests advance it by hand.
// Only one may be installed at a time.
class FakeClock {
public:
    explicit FakeClock(uint32_t start = 0);
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void Advance(uint32_t ms);
    void Set(uint32_t now);
    uint32_t Now() const;
};

}  // namespace platform
