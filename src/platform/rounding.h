// Rounding as the client's arithmetic does it everywhere: to the nearest integer,
// halves to even (the floating-point unit's default mode).
#pragma once

#include <algorithm>
#include <cmath>

namespace platform {

// Nearest integer, halves to even; values beyond the 32-bit range end at its limits.
inline int RoundHalfEven(double v)
{
    const double r = std::nearbyint(v);
    return int(std::clamp(r, -2147483648.0, 2147483647.0));
}

}  // namespace platform
