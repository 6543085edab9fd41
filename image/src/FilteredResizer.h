// Separable resampling through a filter kernel, one destination column at a time: the source
// rows are filtered into a single column, and that column into the destination.
#pragma once

#include "FilterPasses.h"
#include "Filters.h"
#include "MemoryBlock.h"
#include "Status.h"

#include <cstdint>
#include <memory>

namespace img {

// The source samples that make up one destination sample, with normalised weights.
class ContributorList {
public:
    // Builds the list of destination position `position` over `sourceCount` samples, scaled
    // by `scale` (destination over source size), with byte offsets of `stride` bytes per
    // sample. `forColumn` picks the column list's larger capacity. False when the entries
    // cannot be had.
    bool build(std::uint32_t position, std::uint32_t sourceCount, double scale,
               const Filter& filter, bool forColumn, std::size_t stride);

    int count() const { return m_count; }
    const Contributor* entries() const { return m_entries.data(); }
    Taps taps() const {
        return {m_offsets.data(), m_entries.data(), m_count, m_equalSamplesRoundBack};
    }

private:
    int m_count = 0;
    bool m_equalSamplesRoundBack = false;
    ScratchBuffer<Contributor> m_entries;
    ScratchBuffer<std::size_t> m_offsets;
};

class CFilteredResizer : public Operation {
public:
    // 1 on success; 0 with the status set (5, 68 or 1).
    int resize(const BYTE* source, std::uint32_t srcW, std::uint32_t srcH,
               std::uint32_t srcRowBytes, BYTE* destination, std::uint32_t dstW, std::uint32_t dstH,
               std::uint32_t dstRowBytes, std::uint32_t bytesPerPixel, int filterIndex);

private:
    int selectFilter(int filterIndex);
    bool buildRowLists();
    bool filterBand(std::uint32_t x0, std::uint32_t columns, std::size_t columnBytes);

    const BYTE* m_source = nullptr;
    std::uint32_t m_srcW = 0, m_srcH = 0;
    BYTE* m_destination = nullptr;
    std::uint32_t m_dstW = 0, m_dstH = 0;
    std::uint32_t m_bytesPerPixel = 0;
    std::uint32_t m_srcRowBytes = 0, m_dstRowBytes = 0;
    ScratchBuffer<BYTE> m_column;

    Filter m_filter = defaultFilter();
    std::unique_ptr<ContributorList[]> m_rowLists;
    std::unique_ptr<ContributorList[]> m_columnLists;
    ScratchBuffer<Taps> m_rowTaps;
};

} // namespace img
