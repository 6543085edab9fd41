// Sizes computed from caller or file values. Every product goes through here, so an overflow
// or a size above the block limit is refused instead of becoming a short block.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <type_traits>

namespace img {

// No block of more bytes than this is ever requested.
inline constexpr std::uint32_t kBlockLimit = 2147348478u;

// A byte count within the block limit, or refused. The refusal survives + and x, so a header
// or table added afterwards can never turn an overflow back into a small, valid-looking size.
class Size {
public:
    // Any count: a negative one or one above the block limit is refused.
    template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
    constexpr Size(T count) : m_bytes(kRefused) {
        if constexpr (std::is_signed_v<T>) {
            if (count < 0) return;
        }
        if (static_cast<std::uint64_t>(count) <= kBlockLimit)
            m_bytes = static_cast<std::uint64_t>(count);
    }
    static constexpr Size refused() { return Size(kRefused); }

    constexpr bool ok() const { return m_bytes <= kBlockLimit; }
    // The count, or 0 when refused (no allocation accepts 0).
    constexpr std::uint32_t bytes() const { return ok() ? static_cast<std::uint32_t>(m_bytes) : 0; }

    // Both sides are within the limit when accepted, so neither sum nor product can wrap.
    friend constexpr Size operator+(Size a, Size b) {
        return a.ok() && b.ok() ? Size(a.m_bytes + b.m_bytes) : refused();
    }
    friend constexpr Size operator*(Size a, Size b) {
        return a.ok() && b.ok() ? Size(a.m_bytes * b.m_bytes) : refused();
    }

private:
    static constexpr std::uint64_t kRefused = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t m_bytes;
};

// The product of the factors, refused when it passes the block limit. A zero factor is refused
// too: no block holds an image of no pixels.
inline Size checkedProduct(std::initializer_list<Size> factors) {
    Size total = 1;
    for (Size f : factors) {
        if (f.ok() && f.bytes() == 0) return Size::refused();
        total = total * f;
    }
    return total;
}

// a + b, refused when either is refused or the sum passes the block limit.
inline Size checkedSum(Size a, Size b) {
    return a + b;
}

// Bytes of a row padded to 32 bits, refused when it overflows.
inline Size paddedRowBytes(std::uint64_t width, std::uint64_t bitsPerPixel) {
    if (width > kBlockLimit || bitsPerPixel > 64) return Size::refused();
    return Size(((width * bitsPerPixel + 31) >> 5) << 2);
}

// The block of an image: header and table, then rows. An image of no rows or of empty rows is
// refused, and so is one whose rows overflow, whatever the header adds; every reader and
// converter sizes its DIB or pixel buffer here.
inline Size imageBlockSize(Size headerAndTable, Size rowBytes, Size rows) {
    return headerAndTable + checkedProduct({rowBytes, rows});
}

} // namespace img
