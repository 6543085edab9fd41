// Numbers from scripts and property strings brought into the int range without overflow.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>

namespace gallimo {

// Truncated toward zero and held to the int range; NaN is 0.
inline int saturatingInt(double value) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(value);
}

inline int clampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace gallimo
