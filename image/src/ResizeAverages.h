// The weights shared by the two weighted area averages (direct and paletted).
#pragma once

#include "Resizers.h"

namespace img {

// Column spans and their weights for the whole call, and the row weights of one row at a
// time.
class AreaWeights {
public:
    // False when a table cannot be had.
    bool build(std::uint32_t srcW, std::uint32_t srcH, std::uint32_t dstW, std::uint32_t dstH);
    // Fills the row weights of destination row y and returns their sum.
    double prepareRow(std::uint32_t y);

    const AreaSpan& rowSpan(std::uint32_t y) const { return m_rowSpans[y]; }
    const AreaSpan& columnSpan(std::uint32_t x) const { return m_columnSpans[x]; }
    const double* columnWeights(std::uint32_t x) const {
        return m_columnWeights.data() + m_columnStarts[x];
    }
    const double* rowWeights() const { return m_rowWeights.data(); }

private:
    ScratchBuffer<AreaSpan> m_columnSpans;
    ScratchBuffer<AreaSpan> m_rowSpans;
    ScratchBuffer<double> m_columnWeights;
    ScratchBuffer<std::uint32_t> m_columnStarts;
    ScratchBuffer<double> m_rowWeights;
};

} // namespace img
