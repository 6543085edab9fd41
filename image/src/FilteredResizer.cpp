#include "FilteredResizer.h"

#include "EntryFrame.h"
#include "Resizers.h"

#include <cmath>
#include <new>

namespace img {
namespace {

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

BYTE roundedByte(double x) {
    const double r = x > 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    return r <= 0 ? 0 : r >= 255 ? 255 : static_cast<BYTE>(r);
}

// One filtered sample: the weighted sum of the listed samples (stride bytes apart in units
// of their index), or the first of them unchanged when they are all equal, so that flat
// areas stay exact.
BYTE weigh(const BYTE* base, std::size_t stride, const Contributor* e, int n) {
    if (n == 0) return 0;
    const BYTE first = base[static_cast<std::size_t>(e[0].index) * stride];
    if (n < 2) return first;
    double x = 0;
    unsigned differs = 0;
    for (int i = 0; i < n; ++i) {
        const BYTE b = base[static_cast<std::size_t>(e[i].index) * stride];
        x += e[i].weight * b;
        differs |= b ^ first;
    }
    return differs == 0 ? first : roundedByte(x);
}

} // namespace

bool ContributorList::build(std::uint32_t position, std::uint32_t sourceCount, double scale,
                            const Filter& filter, bool forColumn) {
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
    if (out == nullptr) return false;

    double sum = 0;
    const auto first = static_cast<std::int64_t>(left);
    const auto last = static_cast<std::int64_t>(right);
    for (std::int64_t j = first; j <= last; ++j) {
        const double weight = shrinking
                                  ? filter.kernel((center - static_cast<double>(j)) * scale) * scale
                                  : filter.kernel(center - static_cast<double>(j));
        out[m_count++] = {reflect(j, sourceCount), weight};
        sum += weight;
    }
    if (sum != 0) {
        const double inverse = 1 / sum;
        for (int i = 0; i < m_count; ++i)
            out[i].weight *= inverse;
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
    if (checkedProduct({m_dstH, sizeof(ContributorList)}) == 0) return false;
    m_rowLists.reset(new (std::nothrow) ContributorList[m_dstH]);
    if (m_rowLists == nullptr) return false;
    const double scale = static_cast<double>(m_dstH) / m_srcH;
    for (std::uint32_t i = 0; i < m_dstH; ++i)
        if (!m_rowLists[i].build(i, m_srcH, scale, m_filter, false)) return false;
    return true;
}

void CFilteredResizer::filterRows(const ContributorList& list) {
    const Contributor* e = list.entries();
    const int n = list.count();
    BYTE* out = m_column.data();
    for (std::uint32_t y = 0; y < m_srcH; ++y) {
        const BYTE* row = m_source + offsetOf(y, m_srcRowBytes);
        for (std::uint32_t k = 0; k < m_bytesPerPixel; ++k)
            *out++ = weigh(row + k, m_bytesPerPixel, e, n);
    }
}

void CFilteredResizer::filterColumn(std::uint32_t x) {
    const BYTE* column = m_column.data();
    BYTE* out = m_destination + static_cast<std::size_t>(x) * m_bytesPerPixel;
    for (std::uint32_t i = 0; i < m_dstH; ++i, out += m_dstRowBytes) {
        const ContributorList& list = m_rowLists[i];
        for (std::uint32_t k = 0; k < m_bytesPerPixel; ++k)
            out[k] = weigh(column + k, m_bytesPerPixel, list.entries(), list.count());
    }
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
    const std::uint32_t columnBytes = checkedProduct({bytesPerPixel, srcH});
    if (columnBytes == 0 || m_column.ensure(static_cast<int>(columnBytes)) == nullptr)
        return fail(kNoMemory);

    ContributorList columnList;
    const double scale = static_cast<double>(dstW) / srcW;
    for (std::uint32_t x = 0; x < dstW; ++x) {
        if (!columnList.build(x, srcW, scale, m_filter, true)) return fail(kNoMemory);
        filterRows(columnList);
        filterColumn(x);
    }
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
