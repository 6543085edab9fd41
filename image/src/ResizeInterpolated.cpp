// Bilinear, nearest-neighbour and bicubic resizing of buffers with any number of bytes per
// pixel. Everything that depends only on the destination column is tabulated once per call.
#include "Resizers.h"
#include "Tables.h"

#include <algorithm>

namespace img {
namespace {

bool sameSize(const SourcePixels& s, const TargetPixels& d) {
    return s.width == d.width && s.height == d.height && s.rowBytes == d.rowBytes;
}

void copyWhole(const SourcePixels& s, const TargetPixels& d) {
    copyBytes(d.pixels, s.pixels, offsetOf(s.height, s.rowBytes));
}

// Shared by the bilinear and nearest resizers.
bool refusedPlain(const SourcePixels& s, const TargetPixels& d, std::uint32_t bpp) {
    return s.width == 0 || s.height == 0 || d.width == 0 || d.height == 0 || bpp == 0 ||
           s.pixels == nullptr || d.pixels == nullptr ||
           s.rowBytes < static_cast<std::uint64_t>(s.width) * bpp ||
           d.rowBytes < static_cast<std::uint64_t>(d.width) * bpp;
}

struct BilinearColumn {
    std::size_t x0, x1; // byte offsets within a row
    double u;
};

struct BicubicColumn {
    std::size_t c[4]; // byte offsets within a row
    double w[4];      // a(t), b(t), c(t), d(t)
};

// The cubic convolution weights of a fraction.
double weightA(double t) {
    return -t * (1 - t) * (1 - t);
}
double weightB(double t) {
    return 1 - 2 * t * t + t * t * t;
}
double weightC(double t) {
    return t * (1 + t - t * t);
}
double weightD(double t) {
    return t * t * (1 - t);
}
double weightE(double s) {
    return s * s * (s - 1);
}

} // namespace

int resizeBilinear(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                   std::uint32_t bpp) {
    if (refusedPlain(s, d, bpp)) return c.fail(kBadArgument);
    if (sameSize(s, d)) {
        copyWhole(s, d);
        return 1;
    }
    ScratchBuffer<BilinearColumn> table;
    BilinearColumn* columns = allocateTable(table, d.width);
    if (columns == nullptr) return c.fail(kNoMemory);

    const double sx = resizeStep(s.width, d.width);
    const double sy = resizeStep(s.height, d.height);
    const std::uint32_t lastColumn = s.width - 1;
    const std::uint32_t lastRow = s.height - 1;
    for (std::uint32_t x = 0; x < d.width; ++x) {
        const double fx = x * sx;
        const auto ix = static_cast<std::uint32_t>(fx);
        const std::uint32_t x0 = std::min(ix, lastColumn);
        columns[x] = {static_cast<std::size_t>(x0) * bpp,
                      static_cast<std::size_t>(std::min(x0 + 1, lastColumn)) * bpp, fx - ix};
    }
    for (std::uint32_t y = 0; y < d.height; ++y) {
        const double fy = y * sy;
        const auto iy = static_cast<std::uint32_t>(fy);
        const double v = fy - iy;
        const BYTE* row0 = s.pixels + offsetOf(std::min(iy, lastRow), s.rowBytes);
        const BYTE* row1 = s.pixels + offsetOf(std::min(iy + 1, lastRow), s.rowBytes);
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        for (std::uint32_t x = 0; x < d.width; ++x, out += bpp) {
            const BilinearColumn& col = columns[x];
            const double u = col.u;
            const double w00 = (1 - u) * (1 - v), w10 = u * (1 - v);
            const double w01 = (1 - u) * v, w11 = u * v;
            const BYTE* p00 = row0 + col.x0;
            const BYTE* p10 = row0 + col.x1;
            const BYTE* p01 = row1 + col.x0;
            const BYTE* p11 = row1 + col.x1;
            for (std::uint32_t k = 0; k < bpp; ++k) {
                const double value = w11 * p11[k] + w01 * p01[k] + w10 * p10[k] + w00 * p00[k];
                out[k] = static_cast<BYTE>(roundHalfEven(value));
            }
        }
    }
    return 1;
}

int resizeNearest(CDibConverter& c, const SourcePixels& s, const TargetPixels& d,
                  std::uint32_t bpp) {
    if (refusedPlain(s, d, bpp)) return c.fail(kBadArgument);
    if (sameSize(s, d)) {
        copyWhole(s, d);
        return 1;
    }
    ScratchBuffer<std::size_t> columnTable, rowTable;
    std::size_t* columns = allocateTable(columnTable, d.width);
    std::size_t* rows = allocateTable(rowTable, d.height);
    if (columns == nullptr || rows == nullptr) return c.fail(kNoMemory);

    // Running sums in 64 bits: x * srcW would wrap for wide images and index past the row.
    std::uint64_t across = 0;
    for (std::uint32_t x = 0; x < d.width; ++x, across += s.width)
        columns[x] = static_cast<std::size_t>(across / d.width) * bpp;
    std::uint64_t down = 0;
    for (std::uint32_t y = 0; y < d.height; ++y, down += s.height)
        rows[y] = offsetOf(down / d.height, s.rowBytes);

    for (std::uint32_t k = 0; k < bpp; ++k) {
        for (std::uint32_t y = 0; y < d.height; ++y) {
            const BYTE* in = s.pixels + rows[y] + k;
            BYTE* out = d.pixels + offsetOf(y, d.rowBytes) + k;
            for (std::uint32_t x = 0; x < d.width; ++x, out += bpp)
                *out = in[columns[x]];
        }
    }
    return 1;
}

int resizeBicubic(CDibConverter& c, const SourcePixels& s, const TargetPixels& d, std::uint32_t bpp,
                  int maximum) {
    if (s.width == 0 || s.height == 0 || d.width == 0 || d.height == 0 || s.pixels == nullptr ||
        d.pixels == nullptr || s.pixels == d.pixels)
        return c.fail(kBadArgument);
    if (sameSize(s, d)) {
        copyWhole(s, d);
        return 1;
    }
    ScratchBuffer<BicubicColumn> table;
    BicubicColumn* columns = allocateTable(table, d.width);
    if (columns == nullptr) return c.fail(kNoMemory);

    const double sx = static_cast<double>(s.width) / d.width;
    const double sy = static_cast<double>(s.height) / d.height;
    const double w = s.width, h = s.height;
    for (std::uint32_t x = 0; x < d.width; ++x) {
        double p = x * sx;
        if (p <= 0) p = 0;
        if (p > w - 1) p = w - 1;
        const auto i = static_cast<std::uint32_t>(p);
        const double t = p - i;
        BicubicColumn& col = columns[x];
        const std::uint32_t c0 = p < 1 ? 0 : i - 1;
        const std::uint32_t c1 = p >= w - 1 ? s.width - 1 : i;
        const std::uint32_t c2 = p >= w - 2 ? c1 : i + 1;
        const std::uint32_t c3 = p >= w - 3 ? c2 : i + 2;
        const std::uint32_t indices[4] = {c0, c1, c2, c3};
        for (int n = 0; n < 4; ++n)
            col.c[n] = static_cast<std::size_t>(indices[n]) * bpp;
        col.w[0] = weightA(t);
        col.w[1] = weightB(t);
        col.w[2] = weightC(t);
        col.w[3] = weightD(t);
    }
    for (std::uint32_t y = 0; y < d.height; ++y) {
        const double q = y * sy;
        const auto j = static_cast<std::uint32_t>(q);
        const double sf = q - j;
        const std::uint32_t r0 = q < 1 ? 0 : j - 1;
        const std::uint32_t r1 = q >= h - 1 ? s.height - 1 : j;
        const std::uint32_t r2 = q >= h - 2 ? r1 : j + 1;
        const std::uint32_t r3 = q >= h - 3 ? r2 : j + 2;
        const BYTE* rows[4] = {
            s.pixels + offsetOf(r0, s.rowBytes), s.pixels + offsetOf(r1, s.rowBytes),
            s.pixels + offsetOf(r2, s.rowBytes), s.pixels + offsetOf(r3, s.rowBytes)};
        const double ra = weightA(sf), rb = weightB(sf), rc = weightC(sf), re = weightE(sf);
        BYTE* out = d.pixels + offsetOf(y, d.rowBytes);
        for (std::uint32_t x = 0; x < d.width; ++x, out += bpp) {
            const BicubicColumn& col = columns[x];
            for (std::uint32_t k = 0; k < bpp; ++k) {
                double across[4];
                for (int r = 0; r < 4; ++r) {
                    const BYTE* in = rows[r] + k;
                    across[r] = in[col.c[0]] * col.w[0] + in[col.c[1]] * col.w[1] +
                                in[col.c[2]] * col.w[2] - in[col.c[3]] * col.w[3];
                }
                const double value =
                    across[3] * re + across[2] * rc + across[1] * rb + across[0] * ra;
                const int rounded = roundHalfEven(value);
                out[k] = static_cast<BYTE>(rounded <= 0         ? 0
                                           : rounded >= maximum ? maximum
                                                                : rounded);
            }
        }
    }
    return 1;
}

} // namespace img
