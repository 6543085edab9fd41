#include "FilteredResizer.h"

#include "EntryFrame.h"
#include "Resizers.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace img {
namespace {

// Destination columns filtered together, and the source rows they take at a time: the band's
// column buffers and the rows' pieces stay in the cache.
constexpr std::uint32_t kBandColumns = 16;
constexpr std::uint32_t kBandRows = 16;

// The sample that lands outside the source is taken from its mirror image across the edge;
// a source narrower than the kernel's reach can mirror outside again and is then held at
// the edge.
std::int32_t reflect(std::int64_t j, std::int64_t n) {
    if (j < 0)
        j = -j;
    else if (j >= n)
        j = 2 * n - j - 1;
    if (j < 0) j = 0;
    if (j >= n) j = n - 1;
    return static_cast<std::int32_t>(j);
}

// Whether a sum over samples all equal to v, at most 255, is bound to round to v: the
// weights' sum stays within a millionth of one and the error that their sizes allow in the
// running sum, far below a thousandth for any count of samples a list can hold, leaves the
// sum within half of v. Only lists whose weights nearly cancel fail this.
bool sumsRoundBack(const Contributor* entries, int count) {
    double total = 0, magnitude = 0;
    for (int i = 0; i < count; ++i) {
        total += entries[i].weight;
        magnitude += std::fabs(entries[i].weight);
    }
    return std::fabs(total - 1) <= 1e-6 && magnitude <= 16;
}

} // namespace

bool ContributorList::build(std::uint32_t position, std::uint32_t sourceCount, double scale,
                            const Filter& filter, bool forColumn, std::size_t stride) {
    const bool shrinking = scale < 1;
    const double width = shrinking ? filter.support * (1 / scale) : filter.support;
    const double center = shrinking ? position * (1 / scale) : position / scale;
    const double left = std::ceil(center - width);
    const double right = std::floor(center + width);
    const double wanted = right >= left ? right - left + 1 : 0;
    const double capacity = forColumn ? std::trunc((width + 1) * 2) : std::trunc(2 * width + 1);
    // Rounding at the ends of the range can give one sample more than the nominal capacity.
    const double entries = wanted > capacity ? wanted : capacity;
    m_count = 0;
    if (!(entries < 2147483647.0)) return false;
    Contributor* out = allocateTable(m_entries, static_cast<std::uint64_t>(entries));
    std::size_t* offsets = allocateTable(m_offsets, static_cast<std::uint64_t>(entries));
    if (out == nullptr || offsets == nullptr) return false;

    double sum = 0;
    const auto first = static_cast<std::int64_t>(left);
    const auto last = static_cast<std::int64_t>(right);
    for (std::int64_t j = first; j <= last; ++j) {
        const double weight = shrinking
                                  ? filter.kernel((center - static_cast<double>(j)) * scale) * scale
                                  : filter.kernel(center - static_cast<double>(j));
        const std::int32_t index = reflect(j, sourceCount);
        offsets[m_count] = static_cast<std::size_t>(index) * stride;
        out[m_count++] = {index, weight};
        sum += weight;
    }
    m_equalSamplesRoundBack = false;
    if (sum != 0) {
        const double inverse = 1 / sum;
        for (int i = 0; i < m_count; ++i)
            out[i].weight *= inverse;
        m_equalSamplesRoundBack = sumsRoundBack(out, m_count);
    }
    return true;
}

int CFilteredResizer::selectFilter(int filterIndex) {
    const Filter* chosen = filterAt(filterIndex);
    if (chosen == nullptr) return fail(kBadArgument);
    m_filter = *chosen;
    return 1;
}

bool CFilteredResizer::buildRowLists() {
    if (!checkedProduct({m_dstH, sizeof(ContributorList)}).ok()) return false;
    m_rowLists.reset(new (std::nothrow) ContributorList[m_dstH]);
    if (m_rowLists == nullptr) return false;
    const double scale = static_cast<double>(m_dstH) / m_srcH;
    Taps* taps = allocateTable(m_rowTaps, m_dstH);
    if (taps == nullptr) return false;
    for (std::uint32_t i = 0; i < m_dstH; ++i) {
        if (!m_rowLists[i].build(i, m_srcH, scale, m_filter, false, m_bytesPerPixel)) return false;
        taps[i] = m_rowLists[i].taps();
    }
    return true;
}

// A band of destination columns is filtered a few source rows at a time, so that those rows
// are read from the cache for every column of the band, instead of every column walking the
// whole source, a page or more per row. Each sample is summed exactly as it would be alone.
bool CFilteredResizer::filterBand(std::uint32_t x0, std::uint32_t columns,
                                  std::size_t columnBytes) {
    const double scale = static_cast<double>(m_dstW) / m_srcW;
    for (std::uint32_t c = 0; c < columns; ++c)
        if (!m_columnLists[c].build(x0 + c, m_srcW, scale, m_filter, true, m_bytesPerPixel))
            return false;
    for (std::uint32_t y = 0; y < m_srcH; y += kBandRows) {
        const std::uint32_t rows = std::min(kBandRows, m_srcH - y);
        const BYTE* source = m_source + static_cast<std::size_t>(y) * m_srcRowBytes;
        for (std::uint32_t c = 0; c < columns; ++c)
            filterSourceRows(source, m_srcRowBytes, rows, m_bytesPerPixel, m_columnLists[c].taps(),
                             m_column.data() + c * columnBytes + y * m_bytesPerPixel,
                             y + rows == m_srcH);
    }
    for (std::uint32_t c = 0; c < columns; ++c)
        filterColumnInto(m_column.data() + c * columnBytes, m_bytesPerPixel, m_rowTaps.data(),
                         m_dstH, m_destination + static_cast<std::size_t>(x0 + c) * m_bytesPerPixel,
                         m_dstRowBytes);
    return true;
}

int CFilteredResizer::resize(const BYTE* source, std::uint32_t srcW, std::uint32_t srcH,
                             std::uint32_t srcRowBytes, BYTE* destination, std::uint32_t dstW,
                             std::uint32_t dstH, std::uint32_t dstRowBytes,
                             std::uint32_t bytesPerPixel, int filterIndex) {
    m_source = source;
    m_srcW = srcW;
    m_srcH = srcH;
    m_srcRowBytes = srcRowBytes;
    m_destination = destination;
    m_dstW = dstW;
    m_dstH = dstH;
    m_dstRowBytes = dstRowBytes;
    m_bytesPerPixel = bytesPerPixel;
    if (source == nullptr || destination == nullptr || bytesPerPixel == 0 || srcW == 0 ||
        srcH == 0 || dstW == 0 || dstH == 0)
        return fail(kBadArgument);
    m_filter = defaultFilter();
    if (!selectFilter(filterIndex)) return 0;
    const auto reach = static_cast<std::uint32_t>(m_filter.support + 0.999999999);
    if (dstW < reach || dstH < reach) return fail(kBelowFilterSupport);

    if (!buildRowLists()) return fail(kNoMemory);
    // The spare byte lets a pass read a 3-byte pixel as one 32-bit word.
    const Size columnBytes = checkedProduct({bytesPerPixel, srcH}) + 1;
    const std::uint32_t band = std::min(kBandColumns, dstW);
    const Size bandBytes = checkedProduct({columnBytes, band});
    if (!columnBytes.ok() || !bandBytes.ok() ||
        m_column.ensure(static_cast<int>(bandBytes.bytes())) == nullptr)
        return fail(kNoMemory);
    m_columnLists.reset(new (std::nothrow) ContributorList[band]);
    if (m_columnLists == nullptr) return fail(kNoMemory);

    for (std::uint32_t x = 0; x < dstW; x += band)
        if (!filterBand(x, std::min(band, dstW - x), columnBytes.bytes())) return fail(kNoMemory);
    return 1;
}

} // namespace img

extern "C" int resizeFiltered(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes,
                              BYTE* dst, int dstWidth, int dstHeight, int dstRowBytes,
                              int bytesPerPixel, int filterIndex) {
    return img::frameW<img::CFilteredResizer>([&](img::CFilteredResizer& r) -> int {
        if (img::anyNegative({srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes,
                              bytesPerPixel}))
            return r.fail(img::kBadArgument);
        return r.resize(
            src, static_cast<std::uint32_t>(srcWidth), static_cast<std::uint32_t>(srcHeight),
            static_cast<std::uint32_t>(srcRowBytes), dst, static_cast<std::uint32_t>(dstWidth),
            static_cast<std::uint32_t>(dstHeight), static_cast<std::uint32_t>(dstRowBytes),
            static_cast<std::uint32_t>(bytesPerPixel), filterIndex);
    });
}
