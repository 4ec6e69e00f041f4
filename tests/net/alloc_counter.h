// Counts heap allocations while armed: this test program replaces the global operator new.
#pragma once

namespace net::testing {

void StartCountingAllocations();
// Stops counting and returns the number of allocations since the start.
long StopCountingAllocations();

}  // namespace net::testing
