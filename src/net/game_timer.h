// The game clock: the local tick count brought in step with the server's clock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

namespace net {

// Game time in ms = tick count + offset - half the average ping, in 32-bit arithmetic
// that wraps at 2^32 (mode 2: the tick count alone). The timer keeps the 20 smallest
// pings seen since it was created; samples never age out. Every operation holds the
// timer's own re-entrant lock for its whole run, so the main thread and the render
// thread may call it at once.
class TGameTimer {
public:
    static constexpr int32_t LocalMode = 2;  // game time = tick count
    static constexpr int32_t SyncedMode = 0;
    static constexpr int32_t MaxSamples = 20;

    explicit TGameTimer(int32_t mode = SyncedMode);
    TGameTimer(const TGameTimer&) = delete;
    TGameTimer& operator=(const TGameTimer&) = delete;

    uint32_t Now();
    // Game time rounded down to a multiple of 1000 div n ms (n = 4: 250 ms).
    // n is taken as 1 to 1000, so that the step is never zero.
    uint32_t TickFloor(int32_t n);
    // TickFloor(n) plus the step: the next boundary after the game time rounded down.
    uint32_t NextTick(int32_t n);
    int32_t AveragePing();
    void SetOffset(int32_t offset);
    // Offers a ping sample; with 20 kept, only one smaller than the worst gets in.
    void AddPingSample(uint32_t ping);

    // The kept samples, for the status display and the tests.
    int32_t SampleCount();
    uint32_t Sample(int32_t position);
    uint32_t Worst();
    int32_t WorstIndex();

private:
    uint32_t StepOf(int32_t n) const;

    std::recursive_mutex lock_;
    const int32_t mode_;
    std::array<uint32_t, MaxSamples> samples_{};
    uint32_t worst_ = 0;
    int32_t worstIndex_ = 0;
    int32_t sampleCount_ = 0;
    int32_t averagePing_ = 0;
    int32_t offset_ = 0;
};

}  // namespace net

// The process-wide game timer, created and freed with the other process-wide objects
// by the client's start-up.
extern std::unique_ptr<net::TGameTimer> GameTimer;
