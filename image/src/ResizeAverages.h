// The weights shared by the two weighted area averages (direct and paletted).
#pragma once

#include "Resizers.h"
#include "VectorUnits.h"

namespace img {

// Column spans and their weights for the whole call, and the row weights of one row at a
// time. Columns are also laid out in groups of four, for sums that run side by side: a
// group's shorter spans are padded with weight 0 on a sample inside the source, which leaves
// their sums exactly as they were.
class AreaWeights {
public:
    static constexpr std::uint32_t kGroup = 4;

    // False when a table cannot be had. `stride` is the byte distance of source columns.
    bool build(std::uint32_t srcW, std::uint32_t srcH, std::uint32_t dstW, std::uint32_t dstH,
               std::uint32_t stride);
    // Fills the row weights of destination row y and returns their sum.
    double prepareRow(std::uint32_t y);

    const AreaSpan& rowSpan(std::uint32_t y) const { return m_rowSpans[y]; }
    const AreaSpan& columnSpan(std::uint32_t x) const { return m_columnSpans[x]; }
    const double* columnWeights(std::uint32_t x) const {
        return m_columnWeights.data() + m_columnStarts[x];
    }
    const double* rowWeights() const { return m_rowWeights.data(); }

    std::uint32_t groupCount() const { return m_groups; }
    // Samples per lane of group g; weights and byte offsets run lane by lane per sample.
    int groupLength(std::uint32_t g) const { return m_groupLengths[g]; }
    const double* groupWeights(std::uint32_t g) const {
        return m_groupWeights.data() + m_groupStarts[g];
    }
    const std::size_t* groupOffsets(std::uint32_t g) const {
        return m_groupOffsets.data() + m_groupStarts[g];
    }

private:
    bool buildGroups(std::uint32_t srcW, std::uint32_t dstW, std::uint32_t stride);

    ScratchBuffer<AreaSpan> m_columnSpans;
    ScratchBuffer<AreaSpan> m_rowSpans;
    ScratchBuffer<double> m_columnWeights;
    ScratchBuffer<std::uint32_t> m_columnStarts;
    ScratchBuffer<double> m_rowWeights;
    std::uint32_t m_groups = 0;
    ScratchBuffer<int> m_groupLengths;
    ScratchBuffer<std::uint32_t> m_groupStarts;
    ScratchBuffer<double> m_groupWeights;
    ScratchBuffer<std::size_t> m_groupOffsets;
};

// The sums of group g's four pixels over the prepared row, four channels each (16 doubles,
// pixel by pixel): of 3- or 4-byte pixels in their own byte order, or of 8-bit indices
// looked up in a palette of `count` entries (blue, green, red, reserved). Every sum runs in the
// order of the plain loops. Pixels are read as 32-bit words, so a 3-byte pixel needs a readable
// byte after it.
void sumGroupPixels(const AreaWeights& a, std::uint32_t g, const BYTE* firstRow,
                    std::size_t rowBytes, int rowCount, double* sums);
void sumGroupIndexed(const AreaWeights& a, std::uint32_t g, const BYTE* firstRow,
                     std::size_t rowBytes, int rowCount, const RGBQUAD* palette, unsigned count,
                     double* sums);

} // namespace img
