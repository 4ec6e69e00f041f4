// The global operator new of the protocol tests, counting while armed.
#include "alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> armed{false};
std::atomic<long> count{0};
}  // namespace

void* operator new(std::size_t size)
{
    if (armed.load(std::memory_order_relaxed))
        count.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace net::testing {

void StartCountingAllocations()
{
    count = 0;
    armed = true;
}

long StopCountingAllocations()
{
    armed = false;
    return count.load();
}

}  // namespace net::testing
