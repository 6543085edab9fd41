// Shrinking by averaging: square boxes of whole pixels, or weighted areas that count the
// partly covered edge pixels by how much of them falls inside.
#include "ResizeAverages.h"

#include <algorithm>
#include <cmath>

namespace img {

namespace {

// A span end a few ulps off an integer is that integer: just above it, the last column
// would get a weight of about 1e-15 and the span would in effect lose it.
double snappedEnd(double end, std::uint32_t sourceCount) {
    const double nearest = std::round(end);
    return std::fabs(end - nearest) <= 1e-9 * sourceCount ? nearest : end;
}

} // namespace

void computeAreaSpans(AreaSpan* spans, std::uint32_t count, double step,
                      std::uint32_t sourceCount) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const double start = i * step;
        const double end = snappedEnd(start + step, sourceCount);
        auto first = static_cast<std::int64_t>(start);
        // The first sample past the end. A nudge of 0.99999999999 towards the next integer
        // stops being exact at 2^17, where it took an integer end one whole sample further;
        // nor may the last span reach past the source.
        auto last = static_cast<std::int64_t>(std::ceil(end));
        first = std::min<std::int64_t>(first, sourceCount - 1);
        last = std::max<std::int64_t>(std::min<std::int64_t>(last, sourceCount), first + 1);
        AreaSpan& span = spans[i];
        span.first = static_cast<std::int32_t>(first);
        span.end = static_cast<std::int32_t>(last);
        span.firstWeight = 1 - (start - first);
        span.lastWeight = end - std::trunc(end);
        if (span.lastWeight == 0) span.lastWeight = 1.0;
        span.totalWeight =
            static_cast<double>(last - first - 2) + span.lastWeight + span.firstWeight;
    }
}

bool AreaWeights::build(std::uint32_t srcW, std::uint32_t srcH, std::uint32_t dstW,
                        std::uint32_t dstH, std::uint32_t stride) {
    const double stepX = static_cast<double>(srcW) / dstW;
    const double stepY = static_cast<double>(srcH) / dstH;
    AreaSpan* columnSpans = allocateTable(m_columnSpans, dstW);
    AreaSpan* rowSpans = allocateTable(m_rowSpans, dstH);
    if (columnSpans == nullptr || rowSpans == nullptr) return false;
    computeAreaSpans(columnSpans, dstW, stepX, srcW);
    computeAreaSpans(rowSpans, dstH, stepY, srcH);

    // Each column's weights in one flat table, so the inner loops only read.
    std::uint64_t total = 0;
    for (std::uint32_t x = 0; x < dstW; ++x)
        total += static_cast<std::uint64_t>(columnSpans[x].end - columnSpans[x].first);
    double* weights = allocateTable(m_columnWeights, total);
    std::uint32_t* starts = allocateTable(m_columnStarts, dstW);
    if (weights == nullptr || starts == nullptr) return false;
    std::uint32_t at = 0;
    for (std::uint32_t x = 0; x < dstW; ++x) {
        starts[x] = at;
        const AreaSpan& span = columnSpans[x];
        const std::int32_t n = span.end - span.first;
        for (std::int32_t i = 0; i < n; ++i) {
            weights[at++] = n == 1       ? 1.0
                            : i == 0     ? span.firstWeight
                            : i == n - 1 ? span.lastWeight
                                         : 1.0;
        }
    }

    std::uint64_t longest = static_cast<std::uint64_t>(stepY + 2);
    for (std::uint32_t y = 0; y < dstH; ++y)
        longest = std::max<std::uint64_t>(longest, rowSpans[y].end - rowSpans[y].first);
    return allocateTable(m_rowWeights, longest) != nullptr && buildGroups(srcW, dstW, stride);
}

bool AreaWeights::buildGroups(std::uint32_t srcW, std::uint32_t dstW, std::uint32_t stride) {
    m_groups = dstW / kGroup;
    if (m_groups == 0) return true;
    int* lengths = allocateTable(m_groupLengths, m_groups);
    std::uint32_t* starts = allocateTable(m_groupStarts, m_groups);
    if (lengths == nullptr || starts == nullptr) return false;
    std::uint64_t total = 0;
    for (std::uint32_t g = 0; g < m_groups; ++g) {
        int longest = 0;
        for (std::uint32_t j = 0; j < kGroup; ++j) {
            const AreaSpan& span = m_columnSpans[g * kGroup + j];
            longest = std::max(longest, span.end - span.first);
        }
        lengths[g] = longest;
        starts[g] = static_cast<std::uint32_t>(total);
        total += static_cast<std::uint64_t>(longest) * kGroup;
    }
    double* weights = allocateTable(m_groupWeights, total);
    std::size_t* offsets = allocateTable(m_groupOffsets, total);
    if (weights == nullptr || offsets == nullptr || total > 0xFFFFFFFFu) return false;
    for (std::uint32_t g = 0; g < m_groups; ++g) {
        for (std::uint32_t j = 0; j < kGroup; ++j) {
            const std::uint32_t x = g * kGroup + j;
            const AreaSpan& span = m_columnSpans[x];
            const int n = span.end - span.first;
            for (int i = 0; i < lengths[g]; ++i) {
                const std::size_t at = starts[g] + static_cast<std::size_t>(i) * kGroup + j;
                const std::int64_t column = std::min<std::int64_t>(span.first + i, srcW - 1);
                weights[at] = i < n ? columnWeights(x)[i] : 0.0;
                offsets[at] = static_cast<std::size_t>(column) * stride;
            }
        }
    }
    return true;
}

double AreaWeights::prepareRow(std::uint32_t y) {
    const AreaSpan& span = m_rowSpans[y];
    const std::int32_t n = span.end - span.first;
    double* weights = m_rowWeights.data();
    double sum = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        weights[i] = i == 0 ? span.firstWeight : i == n - 1 ? span.lastWeight : 1.0;
        sum += weights[i];
    }
    return sum;
}

namespace {

bool areaRefused(const SourcePixels& s, const TargetPixels& d) {
    // A zero destination side would make the step a division by zero.
    return s.pixels == nullptr || d.pixels == nullptr || s.width < d.width || s.height < d.height ||
           d.width == 0 || d.height == 0;
}

// The columns of a destination row that the side-by-side sums can take, from column 0: whole
// groups of four, unless a 3-byte pixel read as a word could end the caller's buffer.
std::uint32_t averageGroups(const AreaWeights& a, const SourcePixels& s, std::uint32_t y,
                            double rowSum, BYTE* out, std::uint32_t bpp) {
    const AreaSpan& rowSpan = a.rowSpan(y);
    if (!vectorUnitsAvailable() || (bpp == 3 && rowSpan.end >= static_cast<std::int32_t>(s.height)))
        return 0;
    const BYTE* firstRow = s.pixels + offsetOf(rowSpan.first, s.rowBytes);
    double sums[16];
    for (std::uint32_t g = 0; g < a.groupCount(); ++g) {
        sumGroupPixels(a, g, firstRow, s.rowBytes, rowSpan.end - rowSpan.first, sums);
        for (std::uint32_t j = 0; j < AreaWeights::kGroup; ++j, out += bpp) {
            const double scale =
                1 / (a.columnSpan(g * AreaWeights::kGroup + j).totalWeight * rowSum);
            for (std::uint32_t k = 0; k < bpp; ++k)
                out[k] = static_cast<BYTE>(static_cast<int>(sums[j * 4 + k] * scale));
        }
    }
    return a.groupCount() * AreaWeights::kGroup;
}

// One destination row of the weighted average for Channels bytes per pixel, from column
// `from`.
template <std::uint32_t Channels>
void averageRow(const AreaWeights& a, const SourcePixels& s, std::uint32_t y, double rowSum,
                BYTE* out, std::uint32_t from, std::uint32_t dstW) {
    const AreaSpan& rowSpan = a.rowSpan(y);
    const std::int32_t rowCount = rowSpan.end - rowSpan.first;
    const double* rowWeights = a.rowWeights();
    out += static_cast<std::size_t>(from) * Channels;
    for (std::uint32_t x = from; x < dstW; ++x, out += Channels) {
        const AreaSpan& span = a.columnSpan(x);
        const double* columnWeights = a.columnWeights(x);
        const std::int32_t columnCount = span.end - span.first;
        double sums[Channels] = {};
        const BYTE* row = s.pixels + offsetOf(rowSpan.first, s.rowBytes) +
                          static_cast<std::size_t>(span.first) * Channels;
        for (std::int32_t r = 0; r < rowCount; ++r, row += s.rowBytes) {
            const double rowWeight = rowWeights[r];
            const BYTE* in = row;
            for (std::int32_t i = 0; i < columnCount; ++i, in += Channels) {
                const double weight = rowWeight * columnWeights[i];
                for (std::uint32_t k = 0; k < Channels; ++k)
                    sums[k] += weight * in[k];
            }
        }
        const double scale = 1 / (span.totalWeight * rowSum);
        for (std::uint32_t k = 0; k < Channels; ++k)
            out[k] = static_cast<BYTE>(static_cast<int>(sums[k] * scale));
    }
}

// Any other pixel size, one channel at a time.
void averageRowChannels(const AreaWeights& a, const SourcePixels& s, std::uint32_t y, double rowSum,
                        BYTE* out, std::uint32_t dstW, std::uint32_t bpp) {
    const AreaSpan& rowSpan = a.rowSpan(y);
    const std::int32_t rowCount = rowSpan.end - rowSpan.first;
    const double* rowWeights = a.rowWeights();
    for (std::uint32_t x = 0; x < dstW; ++x, out += bpp) {
        const AreaSpan& span = a.columnSpan(x);
        const double* columnWeights = a.columnWeights(x);
        const std::int32_t columnCount = span.end - span.first;
        const double scale = 1 / (span.totalWeight * rowSum);
        for (std::uint32_t k = 0; k < bpp; ++k) {
            double sum = 0;
            const BYTE* row = s.pixels + offsetOf(rowSpan.first, s.rowBytes) +
                              static_cast<std::size_t>(span.first) * bpp + k;
            for (std::int32_t r = 0; r < rowCount; ++r, row += s.rowBytes) {
                const BYTE* in = row;
                for (std::int32_t i = 0; i < columnCount; ++i, in += bpp)
                    sum += rowWeights[r] * columnWeights[i] * *in;
            }
            out[k] = static_cast<BYTE>(static_cast<int>(sum * scale));
        }
    }
}

} // namespace

int resizeAreaAverage(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                      std::uint32_t bpp) {
    if (areaRefused(s, d) || bpp == 0) return c.fail(kBadArgument);
    AreaWeights weights;
    if (!weights.build(s.width, s.height, d.width, d.height, bpp)) return c.fail(kNoMemory);
    for (std::uint32_t y = 0; y < d.height; ++y) {
        const double rowSum = weights.prepareRow(y);
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        switch (bpp) {
        case 1:
            averageRow<1>(weights, s, y, rowSum, out, 0, d.width);
            break;
        case 3:
            averageRow<3>(weights, s, y, rowSum, out, averageGroups(weights, s, y, rowSum, out, 3),
                          d.width);
            break;
        case 4:
            averageRow<4>(weights, s, y, rowSum, out, averageGroups(weights, s, y, rowSum, out, 4),
                          d.width);
            break;
        default:
            averageRowChannels(weights, s, y, rowSum, out, d.width, bpp);
            break;
        }
    }
    return 1;
}

int resizeBoxAverage(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                     std::uint32_t bpp, unsigned maximum) {
    if (d.width == 0 || d.height == 0 || d.width > s.width || d.height > s.height ||
        s.pixels == nullptr || d.pixels == nullptr)
        return c.fail(kBadArgument);
    const double sx = static_cast<double>(s.width) / d.width;
    const double sy = static_cast<double>(s.height) / d.height;
    // The sums are 32-bit: a box may hold at most that many samples of the maximum value.
    if (sx * sy > static_cast<double>(0xFFFFFFFFu / maximum)) return c.fail(kBadArgument);
    if (s.width == d.width && s.height == d.height)
        return c.copyRows(s.pixels, static_cast<int>(s.rowBytes), static_cast<int>(s.height),
                          static_cast<int>(d.rowBytes), d.pixels);

    const auto side = static_cast<std::uint32_t>(std::min(std::trunc(sx), std::trunc(sy)));
    const std::uint32_t area = side * side;
    const std::uint64_t rowSamples = static_cast<std::uint64_t>(s.width) * bpp;
    ScratchBuffer<std::size_t> startTable;
    ScratchBuffer<std::uint32_t> bandTable;
    std::size_t* starts = allocateTable(startTable, d.width);
    std::uint32_t* band = allocateTable(bandTable, rowSamples);
    if (starts == nullptr || (band == nullptr && rowSamples != 0)) return c.fail(kNoMemory);
    // The box positions grow by repeated addition; a box is never let past the last column.
    double across = 0.0;
    for (std::uint32_t x = 0; x < d.width; ++x, across += sx)
        starts[x] =
            static_cast<std::size_t>(std::min(static_cast<std::uint32_t>(across), s.width - side)) *
            bpp;
    // Integer sums do not depend on their order: each band of rows is summed down its
    // columns first, then each box along its row.
    double down = 0.0;
    for (std::uint32_t y = 0; y < d.height; ++y, down += sy) {
        const std::uint32_t top = std::min(static_cast<std::uint32_t>(down), s.height - side);
        std::fill(band, band + rowSamples, 0u);
        const BYTE* row = s.pixels + offsetOf(top, s.rowBytes);
        for (std::uint32_t r = 0; r < side; ++r, row += s.rowBytes)
            for (std::uint64_t i = 0; i < rowSamples; ++i)
                band[i] += row[i];
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        for (std::uint32_t x = 0; x < d.width; ++x, out += bpp) {
            for (std::uint32_t k = 0; k < bpp; ++k) {
                std::uint32_t sum = 0;
                const std::uint32_t* column = band + starts[x] + k;
                for (std::uint32_t i = 0; i < side; ++i)
                    sum += column[static_cast<std::size_t>(i) * bpp];
                out[k] = static_cast<BYTE>(sum / area);
            }
        }
    }
    return 1;
}

} // namespace img
