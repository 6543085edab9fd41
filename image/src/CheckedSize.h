// Sizes computed from caller or file values. Every product goes through here, so an overflow
// or a size above the block limit is refused instead of becoming a short block.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace img {

// No block of more bytes than this is ever requested.
inline constexpr std::uint32_t kBlockLimit = 2147348478u;

// The product of the factors when it fits in 32 bits and stays within the block limit, else 0.
// A zero factor also gives 0, which every allocation refuses.
inline std::uint32_t checkedProduct(std::initializer_list<std::uint64_t> factors) {
    std::uint64_t total = 1;
    for (std::uint64_t f : factors) {
        if (f == 0 || f > kBlockLimit) return 0;
        total *= f;
        if (total > kBlockLimit) return 0;
    }
    return static_cast<std::uint32_t>(total);
}

// a + b within the block limit, else 0.
inline std::uint32_t checkedSum(std::uint64_t a, std::uint64_t b) {
    std::uint64_t total = a + b;
    return total <= kBlockLimit && a <= kBlockLimit && b <= kBlockLimit
               ? static_cast<std::uint32_t>(total)
               : 0;
}

// Bytes of a row padded to 32 bits, or 0 when it overflows.
inline std::uint32_t paddedRowBytes(std::uint64_t width, std::uint64_t bitsPerPixel) {
    std::uint64_t bits = width * bitsPerPixel;
    if (width > kBlockLimit || bitsPerPixel > 64 || bits / 8 > kBlockLimit) return 0;
    return static_cast<std::uint32_t>(((bits + 31) >> 5) << 2);
}

} // namespace img
