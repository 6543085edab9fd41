// The two passes of the filtered resampler. Every filtered sample is the weighted sum of its
// taps taken in list order from 0.0, in doubles, so the vector forms give the same bytes as
// the plain one; they only run several independent sums side by side.
#pragma once

#include "win32/types.h"

#include <cstddef>
#include <cstdint>

namespace img {

struct Contributor {
    std::int32_t index; // source sample
    double weight;
};

// One contributor list as a pass reads it: the byte offset of each sample beside its entry.
// `equalSamplesRoundBack`: the weights sum so close to one, with so little in their sizes,
// that a sum over samples all equal to v rounds to v, so the equal-samples rule need not be
// checked.
struct Taps {
    const std::size_t* offsets;
    const Contributor* entries;
    int count;
    bool equalSamplesRoundBack = false;
};

// Filters `rows` source rows into the column buffer (row y at y * bytesPerPixel). The buffer
// has one spare byte at its end. `endsSource`: the last row is the source's last, whose last
// pixel may end the caller's buffer.
void filterSourceRows(const BYTE* source, std::size_t rowBytes, std::uint32_t rows,
                      std::uint32_t bytesPerPixel, const Taps& taps, BYTE* column,
                      bool endsSource = true);

// One filtered pixel of bytesPerPixel channels at `base` into `out`.
void filterPixel(const BYTE* base, std::uint32_t bytesPerPixel, const Taps& taps, BYTE* out);

// Filters the column buffer into one destination column: row i by rowTaps[i], written at
// out + i * rowBytes.
void filterColumnInto(const BYTE* column, std::uint32_t bytesPerPixel, const Taps* rowTaps,
                      std::uint32_t rows, BYTE* out, std::size_t rowBytes);

// The result of a sum whose samples were not all equal: halves away from zero, limited to a
// byte.
inline BYTE roundedByte(double x) {
    if (x <= 0) return 0;
    if (x >= 254.5) return 255;
    return static_cast<BYTE>(static_cast<int>(x + 0.5));
}

} // namespace img
