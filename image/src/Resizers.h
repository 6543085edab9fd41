// The resizers behind the resizing entry points. Each checks its own arguments, reports
// through the converter's status and writes only into the caller's destination buffer.
#pragma once

#include "CDibConverter.h"

#include <cmath>
#include <cstdint>
#include <emmintrin.h>
#include <initializer_list>

namespace img {

// A caller's pixel buffer: rows of rowBytes bytes, row 0 first.
struct SourcePixels {
    const BYTE* pixels;
    std::uint32_t width, height, rowBytes;
};

struct TargetPixels {
    BYTE* pixels;
    std::uint32_t width, height, rowBytes;
};

int resizeBilinear(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                   std::uint32_t bytesPerPixel);
int resizeNearest(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                  std::uint32_t bytesPerPixel);
int resizeBicubic(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                  std::uint32_t bytesPerPixel, int maximum);
int resizeBoxAverage(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                     std::uint32_t bytesPerPixel, unsigned maximum);
int resizeAreaAverage(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                      std::uint32_t bytesPerPixel);
int resizeBilinearIndexed(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                          const RGBQUAD* palette, unsigned paletteCount);
int resizeAreaAverageIndexed(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst,
                             const RGBQUAD* palette, unsigned paletteCount);
int resizeBilinearOneBit(CDibConverter& c, const SourcePixels& src, const TargetPixels& dst);

// One destination column (or row) of an area average: source samples first .. end - 1.
struct AreaSpan {
    std::int32_t first;
    std::int32_t end;
    double firstWeight;
    double lastWeight;
    double totalWeight;
};

// Spans for `count` destination entries with the given step over `sourceCount` samples.
void computeAreaSpans(AreaSpan* spans, std::uint32_t count, double step, std::uint32_t sourceCount);

// The step between destination samples; when enlarging it is shortened so that the last
// destination sample still has a right-hand neighbour to blend with.
inline double resizeStep(std::uint32_t from, std::uint32_t to) {
    const double plain = static_cast<double>(from) / static_cast<double>(to);
    return from < to ? (static_cast<double>(from) - plain) / static_cast<double>(to) : plain;
}

// Nearest integer with halves to even (the processor's default rounding mode).
inline int roundHalfEven(double v) {
    return _mm_cvtsd_si32(_mm_set_sd(v));
}

// A work table of `count` entries, or null when the size is refused or memory is short.
template <class T> T* allocateTable(ScratchBuffer<T>& table, std::uint64_t count) {
    if (!checkedProduct({count, sizeof(T)}).ok()) return nullptr;
    return table.ensure(static_cast<int>(count));
}

// Sizes arrive as ints; a negative one would index far outside any buffer.
inline bool anyNegative(std::initializer_list<int> sizes) {
    for (int v : sizes)
        if (v < 0) return true;
    return false;
}

inline std::size_t offsetOf(std::uint64_t row, std::uint64_t rowBytes) {
    return static_cast<std::size_t>(row * rowBytes);
}

} // namespace img
