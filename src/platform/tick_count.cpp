// The system tick count and the fake clock that tests install.
#include "platform/tick_count.h"

#include <atomic>
#include <cassert>
#include <chrono>

namespace platform {
namespace {

std::atomic<bool> fakeInstalled{false};
std::atomic<uint32_t> fakeNow{0};

}  // namespace

uint32_t TickCount()
{
    if (fakeInstalled.load(std::memory_order_acquire))
        return fakeNow.load(std::memory_order_acquire);
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));  // wraps at 2^32
}

FakeClock::FakeClock(uint32_t start)
{
    bool expected = false;
    fakeNow.store(start, std::memory_order_release);
    const bool installed = fakeInstalled.compare_exchange_strong(expected, true);
    assert(installed && "only one FakeClock may be installed at a time");
    (void)installed;
}

FakeClock::~FakeClock() { fakeInstalled.store(false, std::memory_order_release); }

void FakeClock::Advance(uint32_t ms) { fakeNow.fetch_add(ms, std::memory_order_acq_rel); }

void FakeClock::Set(uint32_t now) { fakeNow.store(now, std::memory_order_release); }

uint32_t FakeClock::Now() const { return fakeNow.load(std::memory_order_acquire); }

}  // namespace platform
