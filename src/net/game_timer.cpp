// The game clock and its ping samples.
#include "net/game_timer.h"

#include <algorithm>

#include "platform/tick_count.h"

std::unique_ptr<net::TGameTimer> GameTimer;

namespace net {

TGameTimer::TGameTimer(int32_t mode) : mode_(mode) {}

uint32_t TGameTimer::Now()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const uint32_t tick = platform::TickCount();
    if (mode_ == LocalMode)
        return tick;
    // Half the average ping allows for the travel time of the server's time stamps.
    return tick + static_cast<uint32_t>(offset_) - (static_cast<uint32_t>(averagePing_) >> 1);
}

uint32_t TGameTimer::StepOf(int32_t n) const { return 1000u / static_cast<uint32_t>(std::clamp(n, 1, 1000)); }

uint32_t TGameTimer::TickFloor(int32_t n)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const uint32_t step = StepOf(n);
    return Now() / step * step;
}

uint32_t TGameTimer::NextTick(int32_t n)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const uint32_t step = StepOf(n);
    return (Now() / step + 1) * step;  // wraps at 2^32 like the clock itself
}

int32_t TGameTimer::AveragePing()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return averagePing_;
}

void TGameTimer::SetOffset(int32_t offset)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    offset_ = offset;
}

void TGameTimer::AddPingSample(uint32_t ping)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (sampleCount_ == MaxSamples) {
        if (ping >= worst_)
            return;
        samples_[worstIndex_] = ping;
        // The new worst: starting from the replaced position, every position from 0 on
        // that holds a larger sample takes over. A tie with the replaced position leaves
        // the worst index where it was.
        int32_t candidate = worstIndex_;
        for (int32_t i = 0; i < MaxSamples; ++i)
            if (samples_[i] > samples_[candidate])
                candidate = i;
        worstIndex_ = candidate;
        worst_ = samples_[candidate];
    } else {
        samples_[sampleCount_] = ping;
        if (ping > worst_) {
            worst_ = ping;
            worstIndex_ = sampleCount_;
        }
        ++sampleCount_;
    }
    // Summed in unsigned arithmetic so that huge samples wrap instead of overflowing,
    // then divided as the signed 32-bit value the average is.
    uint32_t sum = 0;
    for (int32_t i = 0; i < sampleCount_; ++i)
        sum += samples_[i];
    averagePing_ = static_cast<int32_t>(sum) / sampleCount_;
}

int32_t TGameTimer::SampleCount()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return sampleCount_;
}

uint32_t TGameTimer::Sample(int32_t position)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return position >= 0 && position < sampleCount_ ? samples_[position] : 0;
}

uint32_t TGameTimer::Worst()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return worst_;
}

int32_t TGameTimer::WorstIndex()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return worstIndex_;
}

}  // namespace net
