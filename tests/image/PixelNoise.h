// Reproducible noise, so that every weight and index of a resizer shows in the output, and a
// digest that stands for a whole result when comparing it with a known one.
#pragma once

#include "win32/types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

inline std::vector<BYTE> noise(std::size_t n, std::uint32_t seed) {
    std::vector<BYTE> v(n);
    for (BYTE& b : v) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<BYTE>(seed >> 16);
    }
    return v;
}

inline std::uint64_t digest(const std::vector<BYTE>& v) {
    std::uint64_t h = 1469598103934665603ull;
    for (BYTE b : v)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

} // namespace testing_support
