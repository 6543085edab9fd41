// Resizing of 8-bit paletted and 1-bit buffers. Paletted pixels are blended in colour and
// matched back to the nearest palette entry.
#include "CImgColorMatch.h"
#include "ResizeAverages.h"
#include "Tables.h"

#include <algorithm>
#include <new>

namespace img {
namespace {

struct BlendColumn {
    std::uint32_t x0, x1;
    double u;
};

// Source column pairs and fractions, as the bilinear resizers step through the source.
BlendColumn* blendColumns(ScratchBuffer<BlendColumn>& table, std::uint32_t srcW,
                          std::uint32_t dstW) {
    BlendColumn* columns = allocateTable(table, dstW);
    if (columns == nullptr) return nullptr;
    const double sx = resizeStep(srcW, dstW);
    for (std::uint32_t x = 0; x < dstW; ++x) {
        const double fx = x * sx;
        const auto ix = static_cast<std::uint32_t>(fx);
        columns[x] = {std::min(ix, srcW - 1), std::min(ix + 1, srcW - 1), fx - ix};
    }
    return columns;
}

struct BlendRow {
    std::uint32_t y0, y1;
    double v;
};

BlendRow blendRow(std::uint32_t y, double sy, std::uint32_t srcH) {
    const double fy = y * sy;
    const auto iy = static_cast<std::uint32_t>(fy);
    return {std::min(iy, srcH - 1), std::min(iy + 1, srcH - 1), fy - iy};
}

bool refusedBlend(const SourcePixels& s, const TargetPixels& d) {
    return s.pixels == nullptr || d.pixels == nullptr || s.width == 0 || s.height == 0 ||
           d.width == 0 || d.height == 0 || s.pixels == d.pixels;
}

int bilinearIndexed(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                    const RGBQUAD* palette, unsigned count) {
    ScratchBuffer<BlendColumn> table;
    const BlendColumn* columns = blendColumns(table, s.width, d.width);
    if (columns == nullptr) return c.fail(kNoMemory);
    CImgColorMatch matcher;
    matcher.setPalette(palette, count);
    const double sy = resizeStep(s.height, d.height);
    for (std::uint32_t y = 0; y < d.height; ++y) {
        const BlendRow r = blendRow(y, sy, s.height);
        const BYTE* row0 = s.pixels + offsetOf(r.y0, s.rowBytes);
        const BYTE* row1 = s.pixels + offsetOf(r.y1, s.rowBytes);
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        const double v = r.v;
        for (std::uint32_t x = 0; x < d.width; ++x) {
            const BlendColumn& col = columns[x];
            const double u = col.u;
            const double w00 = (1 - u) * (1 - v), w10 = u * (1 - v);
            const double w01 = (1 - u) * v, w11 = u * v;
            const RGBQUAD p00 = tableEntry(palette, count, row0[col.x0]);
            const RGBQUAD p10 = tableEntry(palette, count, row0[col.x1]);
            const RGBQUAD p01 = tableEntry(palette, count, row1[col.x0]);
            const RGBQUAD p11 = tableEntry(palette, count, row1[col.x1]);
            const auto blend = [&](BYTE RGBQUAD::*channel) {
                return static_cast<BYTE>(roundHalfEven(w00 * (p00.*channel) + w10 * (p10.*channel) +
                                                       w01 * (p01.*channel) +
                                                       w11 * (p11.*channel)));
            };
            out[x] = matcher.match(blend(&RGBQUAD::rgbRed), blend(&RGBQUAD::rgbGreen),
                                   blend(&RGBQUAD::rgbBlue));
        }
    }
    return 1;
}

int areaAverageIndexed(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                       const RGBQUAD* palette, unsigned count) {
    AreaWeights weights;
    if (!weights.build(s.width, s.height, d.width, d.height, 1)) return c.fail(kNoMemory);
    CImgColorMatch matcher;
    matcher.setPalette(palette, count);
    const bool vectors = vectorUnitsAvailable();
    for (std::uint32_t y = 0; y < d.height; ++y) {
        const double rowSum = weights.prepareRow(y);
        const AreaSpan& rowSpan = weights.rowSpan(y);
        const std::int32_t rowCount = rowSpan.end - rowSpan.first;
        const double* rowWeights = weights.rowWeights();
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        std::uint32_t x = 0;
        if (vectors) {
            const BYTE* firstRow = s.pixels + offsetOf(rowSpan.first, s.rowBytes);
            double sums[16]; // lanes blue, green, red, reserved
            for (std::uint32_t g = 0; g < weights.groupCount(); ++g) {
                sumGroupIndexed(weights, g, firstRow, s.rowBytes, rowCount, palette, count, sums);
                for (std::uint32_t j = 0; j < AreaWeights::kGroup; ++j, ++x) {
                    const double scale = 1 / (weights.columnSpan(x).totalWeight * rowSum);
                    const double* lane = sums + j * 4;
                    out[x] = matcher.match(static_cast<BYTE>(static_cast<int>(lane[2] * scale)),
                                           static_cast<BYTE>(static_cast<int>(lane[1] * scale)),
                                           static_cast<BYTE>(static_cast<int>(lane[0] * scale)));
                }
            }
        }
        for (; x < d.width; ++x) {
            const AreaSpan& span = weights.columnSpan(x);
            const double* columnWeights = weights.columnWeights(x);
            const std::int32_t columnCount = span.end - span.first;
            double red = 0, green = 0, blue = 0;
            const BYTE* row = s.pixels + offsetOf(rowSpan.first, s.rowBytes) + span.first;
            for (std::int32_t r = 0; r < rowCount; ++r, row += s.rowBytes) {
                for (std::int32_t i = 0; i < columnCount; ++i) {
                    const double weight = rowWeights[r] * columnWeights[i];
                    const RGBQUAD p = tableEntry(palette, count, row[i]);
                    red += weight * p.rgbRed;
                    green += weight * p.rgbGreen;
                    blue += weight * p.rgbBlue;
                }
            }
            const double scale = 1 / (span.totalWeight * rowSum);
            out[x] = matcher.match(static_cast<BYTE>(static_cast<int>(red * scale)),
                                   static_cast<BYTE>(static_cast<int>(green * scale)),
                                   static_cast<BYTE>(static_cast<int>(blue * scale)));
        }
    }
    return 1;
}

} // namespace

int resizeBilinearIndexed(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                          const RGBQUAD* palette, unsigned paletteCount) {
    if (refusedBlend(s, d) || palette == nullptr || s.rowBytes < s.width || d.rowBytes < d.width)
        return c.fail(kBadArgument);
    if (s.width == d.width && s.height == d.height && s.rowBytes == d.rowBytes) {
        copyBytes(d.pixels, s.pixels, offsetOf(s.height, s.rowBytes));
        return 1;
    }
    try {
        return bilinearIndexed(c, s, d, palette, paletteCount);
    } catch (const std::bad_alloc&) {
        return c.fail(kNoMemory); // the matcher's cache could not grow
    }
}

int resizeAreaAverageIndexed(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                             const RGBQUAD* palette, unsigned paletteCount) {
    // Every source index is looked up in the palette, so it has to be there.
    if (s.pixels == nullptr || d.pixels == nullptr || palette == nullptr || s.width < d.width ||
        s.height < d.height || d.width == 0 || d.height == 0)
        return c.fail(kBadArgument);
    try {
        return areaAverageIndexed(c, s, d, palette, paletteCount);
    } catch (const std::bad_alloc&) {
        return c.fail(kNoMemory);
    }
}

int resizeBilinearOneBit(CDibConverter& c, const SourcePixels& s, const TargetPixels& d) {
    if (refusedBlend(s, d)) return c.fail(kBadArgument);
    ScratchBuffer<BlendColumn> table;
    const BlendColumn* columns = blendColumns(table, s.width, d.width);
    if (columns == nullptr) return c.fail(kNoMemory);
    const BYTE* mask = tables().lowBitMask;
    const auto bit = [mask](const BYTE* row, std::uint32_t x) -> double {
        return (row[x >> 3] & mask[7 - (x & 7)]) != 0 ? 1.0 : 0.0;
    };
    const double sy = resizeStep(s.height, d.height);
    for (std::uint32_t y = 0; y < d.height; ++y) {
        const BlendRow r = blendRow(y, sy, s.height);
        const BYTE* row0 = s.pixels + offsetOf(r.y0, s.rowBytes);
        const BYTE* row1 = s.pixels + offsetOf(r.y1, s.rowBytes);
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        const double v = r.v;
        for (std::uint32_t x = 0; x < d.width; ++x) {
            const BlendColumn& col = columns[x];
            const double u = col.u;
            const double value = bit(row1, col.x1) * (u * v) + bit(row1, col.x0) * ((1 - u) * v) +
                                 bit(row0, col.x1) * (u * (1 - v)) +
                                 bit(row0, col.x0) * ((1 - u) * (1 - v));
            BYTE& target = out[x >> 3];
            const BYTE m = mask[7 - (x & 7)];
            target = value > 0.5 ? static_cast<BYTE>(target | m) : static_cast<BYTE>(target & ~m);
        }
    }
    return 1;
}

} // namespace img
