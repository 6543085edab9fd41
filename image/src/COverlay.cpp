#include "COverlay.h"

#include "Tables.h"

#include <algorithm>
#include <cstdint>

namespace img {
namespace {

int clampTo(std::int64_t v, int limit) {
    return static_cast<int>(
        std::max<std::int64_t>(0, std::min<std::int64_t>(v, std::max(0, limit))));
}

// The source row for destination row r.
inline std::size_t sourceRow(int r, int y, int srcHeight, bool upsideDown) {
    const int row = r - y;
    return static_cast<std::size_t>(upsideDown ? srcHeight - 1 - row : row);
}

} // namespace

OverlayClip clipOverlay(int dstWidth, int dstHeight, int srcWidth, int srcHeight, int x, int y) {
    // 64-bit sums: a position near INT_MAX plus the width must not wrap into the image.
    return {clampTo(x, dstWidth), clampTo(std::int64_t{x} + srcWidth, dstWidth),
            clampTo(y, dstHeight), clampTo(std::int64_t{y} + srcHeight, dstHeight)};
}

COverlay::COverlay() {
    for (int i = 0; i < 8; ++i) {
        m_rightMask[i] = static_cast<BYTE>(255u >> i);
        m_leftMask[i] = static_cast<BYTE>((255u << i) & 255u);
    }
}

int COverlay::overlayRGBA(BYTE* dst, int dstWidth, int dstHeight, int dstRowBytes, const BYTE* src,
                          int srcWidth, int srcHeight, int srcRowBytes, int x, int y) {
    if (dst == nullptr || src == nullptr || dst == src) return fail(kBadArgument);
    const OverlayClip c = clipOverlay(dstWidth, dstHeight, srcWidth, srcHeight, x, y);
    if (c.empty()) return 1;
    const BYTE* alpha = tables().alpha;
    for (int r = c.y0; r < c.y1; ++r) {
        BYTE* out = dst + static_cast<std::size_t>(r) * dstRowBytes + std::size_t{3} * c.x0;
        const BYTE* in =
            src + sourceRow(r, y, srcHeight, false) * srcRowBytes + std::size_t{4} * (c.x0 - x);
        for (int col = c.x0; col < c.x1; ++col, out += 3, in += 4) {
            const BYTE* keep = alpha + (255 - in[3]) * 256;
            const BYTE* take = alpha + in[3] * 256;
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<BYTE>(keep[out[k]] + take[in[k]]);
        }
    }
    return 1;
}

// Destination columns x0..x1 - 1 of one row take source columns x0 - x onwards. Each touched
// destination byte gets its source bits from a 16-bit window over one or two source bytes.
void COverlay::oneBitRow(BYTE* dst, const BYTE* src, int srcBytes, int x, int x0, int x1) const {
    auto sourceByte = [&](std::int64_t k) -> unsigned {
        return k >= 0 && k < srcBytes ? src[k] : 0u;
    };
    int col = x0;
    if ((x0 & 7) == 0 && (x & 7) == 0) {
        const int whole = (x1 - x0) / 8;
        copyBytes(dst + x0 / 8, src + (x0 - x) / 8, static_cast<std::size_t>(whole));
        col += whole * 8;
    }
    while (col < x1) {
        const int byte = col / 8;
        const int first = col & 7;
        const int last = std::min(x1 - byte * 8, 8) - 1;
        const std::int64_t sourceBit = std::int64_t{byte} * 8 - x;
        const std::int64_t k = sourceBit >= 0 ? sourceBit / 8 : -((7 - sourceBit) / 8);
        const unsigned shift = static_cast<unsigned>(sourceBit - k * 8);
        const unsigned window = sourceByte(k) << 8 | sourceByte(k + 1);
        const unsigned bits = (window << shift) >> 8;
        const unsigned mask = m_rightMask[first] & m_leftMask[7 - last];
        dst[byte] = static_cast<BYTE>((dst[byte] & ~mask) | (bits & mask));
        col = byte * 8 + 8;
    }
}

int COverlay::overlayOneBit(BYTE* dst, int dstWidth, int dstHeight, int dstRowBytes,
                            const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, int x,
                            int y, int flags) {
    if (dst == nullptr || src == nullptr || dst == src) return fail(kBadArgument);
    const OverlayClip c = clipOverlay(dstWidth, dstHeight, srcWidth, srcHeight, x, y);
    if (c.empty()) return 1;
    const bool upsideDown = (flags & kOverlayOneBitUpsideDown) != 0;
    // Bytes past the source's own pixels are never read, even when the row stride has more.
    const int srcBytes = static_cast<int>(
        std::min<std::int64_t>((std::int64_t{srcWidth} + 7) / 8, std::max(0, srcRowBytes)));
    for (int r = c.y0; r < c.y1; ++r)
        oneBitRow(dst + static_cast<std::size_t>(r) * dstRowBytes,
                  src + sourceRow(r, y, srcHeight, upsideDown) * srcRowBytes, srcBytes, x, c.x0,
                  c.x1);
    return 1;
}

int COverlay::overlay16(WORD* dst, int dstWidth, int dstHeight, const WORD* src, int srcWidth,
                        int srcHeight, int x, int y, double /*factor*/, int samplesPerPixel,
                        int dstRowStride, int srcRowStride, DWORD mode) {
    if (dst == nullptr || src == nullptr || dst == src) return fail(kBadArgument);
    const OverlayClip c = clipOverlay(dstWidth, dstHeight, srcWidth, srcHeight, x, y);
    if (c.empty() || samplesPerPixel <= 0) return 1;
    const bool upsideDown = (mode & kOverlay16UpsideDown) != 0;
    const std::size_t units = static_cast<std::size_t>(samplesPerPixel);
    const std::size_t bytes = static_cast<std::size_t>(c.x1 - c.x0) * units * sizeof(WORD);
    for (int r = c.y0; r < c.y1; ++r)
        copyBytes(dst + static_cast<std::size_t>(r) * dstRowStride + c.x0 * units,
                  src + sourceRow(r, y, srcHeight, upsideDown) * srcRowStride +
                      static_cast<std::size_t>(c.x0 - x) * units,
                  bytes);
    return 1;
}

} // namespace img
