// Block transfers between surfaces with any ternary raster operation, stretched to the nearest
// pixel and shrunk as the DC's stretch mode says. A monochrome device bitmap becomes the
// destination's text colour (0) and background colour (1) on a colour surface; a colour surface
// copied onto one gives white where it shows the source DC's background colour and black elsewhere.
// That is how masks are made.
#include "gdi/Device.h"
#include "gdi/Dib.h"

#include <vector>

namespace winplat::gdi {
namespace {

struct Source {
    const Surface* surface = nullptr;
    RECT area{0, 0, 0, 0}; // the part of the surface that may be read
    const DeviceContext* dc = nullptr;
    const std::vector<bool>* written = nullptr; // pixels a run-length DIB set, top row first
};

// Bits 16..23 of a raster operation: result bit for pattern * 4 + source * 2 + destination.
struct Rop {
    explicit Rop(DWORD rop) : table((rop >> 16) & 0xFFu) {}
    BYTE table;
    bool usesSource() const { return ((table >> 2) & 0x33u) != (table & 0x33u); }
    bool usesPattern() const { return ((table >> 4) & 0x0Fu) != (table & 0x0Fu); }
    bool usesDestination() const { return ((table >> 1) & 0x55u) != (table & 0x55u); }
    COLORREF apply(COLORREF p, COLORREF s, COLORREF d) const {
        DWORD r = 0;
        for (int i = 0; i < 8; ++i)
            if (((table >> i) & 1u) != 0)
                r |= ((i & 4) != 0 ? p : ~p) & ((i & 2) != 0 ? s : ~s) & ((i & 1) != 0 ? d : ~d);
        return r & 0x00FFFFFFu;
    }
};

// Source coordinate for destination offset i of n, the source span being `span` wide.
int sample(int i, int n, int start, int span, bool mirror) {
    const long long offset = (2LL * i + 1) * span / (2LL * n);
    return static_cast<int>(mirror ? start + span - 1 - offset : start + offset);
}

// The source coordinates [first, first + count) that destination offset i of n stands for
// when shrinking: together they cover the span once.
struct Cover {
    int first;
    int count;
};

Cover cover(int i, int n, int start, int span, bool mirror) {
    if (span <= n) return {sample(i, n, start, span, mirror), 1};
    const long long lo = static_cast<long long>(i) * span / n;
    const long long hi = (static_cast<long long>(i) + 1) * span / n;
    const long long first = mirror ? start + span - hi : start + lo;
    return {static_cast<int>(first), static_cast<int>(hi - lo)};
}

// What shrinking makes of the source pixels that fall on one destination pixel.
class Shrink {
public:
    explicit Shrink(int mode) : m_mode(mode) {}
    void add(COLORREF c) {
        if (m_count == 0) m_and = m_or = c;
        m_and &= c;
        m_or |= c;
        m_sum[0] += GetRValue(c);
        m_sum[1] += GetGValue(c);
        m_sum[2] += GetBValue(c);
        ++m_count;
    }
    bool empty() const { return m_count == 0; }
    COLORREF result() const {
        switch (m_mode) {
        case WHITEONBLACK:
            return m_or;
        case HALFTONE: {
            const auto mean = [&](int k) {
                return static_cast<BYTE>((m_sum[k] + m_count / 2) / m_count);
            };
            return RGB(mean(0), mean(1), mean(2));
        }
        default:
            return m_and;
        }
    }

private:
    int m_mode;
    COLORREF m_and = 0, m_or = 0;
    unsigned long long m_sum[3] = {0, 0, 0};
    unsigned long long m_count = 0;
};

struct SourceReader {
    SourceReader(const Source& src, const DeviceContext& dst)
        : m_src(src), m_srcSurface(*src.surface), m_dstMono(dst.surface().monochrome) {
        if (m_srcSurface.monochrome && !m_dstMono) {
            m_zero = dst.resolve(dst.textColour);
            m_one = dst.resolve(dst.bkColour);
        }
        if (!m_srcSurface.monochrome && m_dstMono && src.dc != nullptr) {
            PaletteEncoder encoder(*src.dc);
            m_background = m_srcSurface.colourOf(encoder.ink(src.dc->bkColour));
            m_toMono = true;
        }
    }
    bool readable(int x, int y) const {
        const RECT& a = m_src.area;
        return x >= a.left && y >= a.top && x < a.right && y < a.bottom &&
               m_srcSurface.contains(x, y) &&
               (m_src.written == nullptr ||
                (*m_src.written)[static_cast<std::size_t>(y) * m_srcSurface.width + x]);
    }
    COLORREF colour(int x, int y) const {
        const DWORD raw = m_srcSurface.raw(x, y);
        if (m_srcSurface.monochrome && !m_dstMono) return raw != 0 ? m_one : m_zero;
        const COLORREF c = m_srcSurface.colourOf(raw);
        if (m_toMono) return c == m_background ? RGB(255, 255, 255) : RGB(0, 0, 0);
        return c;
    }

private:
    const Source& m_src;
    const Surface& m_srcSurface;
    bool m_dstMono;
    bool m_toMono = false;
    COLORREF m_zero = 0, m_one = 0, m_background = 0;
};

bool transfer(DeviceContext& dst, int x, int y, int w, int h, const Source* src, int sx, int sy,
              int sw, int sh, DWORD rop) {
    const Rop op(rop);
    if (op.usesSource() && (src == nullptr || src->surface == nullptr)) return false;
    bool mirrorX = false;
    bool mirrorY = false;
    if (w < 0) {
        x += w;
        w = -w;
        mirrorX = !mirrorX;
    }
    if (h < 0) {
        y += h;
        h = -h;
        mirrorY = !mirrorY;
    }
    if (sw < 0) {
        sx += sw;
        sw = -sw;
        mirrorX = !mirrorX;
    }
    if (sh < 0) {
        sy += sh;
        sh = -sh;
        mirrorY = !mirrorY;
    }
    if (w == 0 || h == 0 || (op.usesSource() && (sw == 0 || sh == 0))) return true;

    const Brush* brush = dst.brush;
    if (op.usesPattern() && brush->style == BS_NULL) return true;
    const COLORREF pattern = dst.resolve(brush->colour);
    const POINT at = dst.toSurface(x, y);
    const RECT target = intersect(RECT{at.x, at.y, at.x + w, at.y + h}, dst.clip);
    if (isEmpty(target)) return true;

    const Surface& out = dst.surface();
    PaletteEncoder encoder(dst);
    const bool plainCopy = rop == SRCCOPY;
    // Dropped pixels are combined by the DC's mode, except in COLORONCOLOR (STRETCH_DELETESCANS).
    const bool combine = dst.stretchMode != COLORONCOLOR && src != nullptr && (sw > w || sh > h);
    const bool raw = plainCopy && !combine && src != nullptr && src->surface->sameFormat(out);
    const int tw = target.right - target.left;
    const int th = target.bottom - target.top;
    // Reading everything first keeps a transfer within one surface from reading its own output.
    std::vector<DWORD> values(static_cast<std::size_t>(tw) * th);
    std::vector<bool> present(values.size(), !op.usesSource());
    if (op.usesSource()) {
        const SourceReader reader(*src, dst);
        for (int j = 0; j < th; ++j) {
            const Cover rows = combine
                                   ? cover(target.top + j - at.y, h, sy, sh, mirrorY)
                                   : Cover{sample(target.top + j - at.y, h, sy, sh, mirrorY), 1};
            for (int i = 0; i < tw; ++i) {
                const int left = target.left + i - at.x;
                const Cover cols = combine ? cover(left, w, sx, sw, mirrorX)
                                           : Cover{sample(left, w, sx, sw, mirrorX), 1};
                const std::size_t k = static_cast<std::size_t>(j) * tw + i;
                if (!combine) {
                    if (!reader.readable(cols.first, rows.first)) continue;
                    values[k] = raw ? src->surface->raw(cols.first, rows.first)
                                    : reader.colour(cols.first, rows.first);
                    present[k] = true;
                    continue;
                }
                Shrink shrink(dst.stretchMode);
                for (int row = rows.first; row < rows.first + rows.count; ++row)
                    for (int col = cols.first; col < cols.first + cols.count; ++col)
                        if (reader.readable(col, row)) shrink.add(reader.colour(col, row));
                if (shrink.empty()) continue;
                values[k] = shrink.result();
                present[k] = true;
            }
        }
    }
    for (int j = 0; j < th; ++j) {
        for (int i = 0; i < tw; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * tw + i;
            const int px = target.left + i;
            const int py = target.top + j;
            if (!present[k] || !dst.drawable(px, py)) continue;
            if (raw) {
                out.setRaw(px, py, values[k]);
                continue;
            }
            const COLORREF d = op.usesDestination() ? out.pixel(px, py) : 0;
            const COLORREF result = plainCopy ? values[k] : op.apply(pattern, values[k], d);
            out.setRaw(px, py, encoder.pixel(result));
        }
    }
    return true;
}

Source sourceOf(const DeviceContext& dc) {
    Source s;
    s.surface = &dc.surface();
    s.area = dc.area;
    s.dc = &dc;
    return s;
}

} // namespace
} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

BOOL BitBlt(HDC hdc, int x, int y, int width, int height, HDC source, int srcX, int srcY,
            DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || failNow(WINPLAT_CALL_BITBLT)) return FALSE;
    DeviceContext* from = lookupDC(source);
    if (from == nullptr && Rop(rop).usesSource()) return FALSE;
    Source src;
    if (from != nullptr) src = sourceOf(*from);
    const POINT at = from != nullptr ? from->toSurface(srcX, srcY) : POINT{0, 0};
    return transfer(*dc, x, y, width, height, from != nullptr ? &src : nullptr, at.x, at.y, width,
                    height, rop)
               ? TRUE
               : FALSE;
}

BOOL StretchBlt(HDC hdc, int x, int y, int width, int height, HDC source, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    DeviceContext* from = lookupDC(source);
    if (dc == nullptr || (from == nullptr && Rop(rop).usesSource())) return FALSE;
    Source src;
    if (from != nullptr) src = sourceOf(*from);
    const POINT at = from != nullptr ? from->toSurface(srcX, srcY) : POINT{0, 0};
    return transfer(*dc, x, y, width, height, from != nullptr ? &src : nullptr, at.x, at.y,
                    srcWidth, srcHeight, rop)
               ? TRUE
               : FALSE;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || Rop(rop).usesSource()) return FALSE;
    return transfer(*dc, x, y, width, height, nullptr, 0, 0, 0, 0, rop) ? TRUE : FALSE;
}

int StretchDIBits(HDC hdc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || bits == nullptr || usage != DIB_RGB_COLORS || info == nullptr) return 0;
    const DWORD compression = info->bmiHeader.biCompression;
    const bool runs = compression == BI_RLE8 || compression == BI_RLE4;
    DibFormat f;
    RleDib decoded;
    if (runs ? !decodeRleDib(info, bits, decoded) : !readDibFormat(info, f)) return 0;
    if (failNow(WINPLAT_CALL_STRETCH_DIBITS)) return 0;
    const Surface view = runs ? decoded.surface : dibSurface(f, bits);
    Source src;
    src.surface = &view;
    src.area = {0, 0, view.width, view.height};
    if (runs) src.written = &decoded.written;
    // The source rectangle of a bottom-up DIB is measured from its bottom row.
    const int top = runs || f.bottomUp ? view.height - srcY - srcHeight : srcY;
    if (!transfer(*dc, x, y, width, height, &src, srcX, top, srcWidth, srcHeight, rop)) return 0;
    return srcHeight < 0 ? -srcHeight : srcHeight;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return CLR_INVALID;
    const POINT p = dc->toSurface(x, y);
    const RECT& c = dc->clip;
    if (p.x < c.left || p.y < c.top || p.x >= c.right || p.y >= c.bottom) return CLR_INVALID;
    return dc->surface().pixel(p.x, p.y);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return CLR_INVALID;
    const POINT p = dc->toSurface(x, y);
    const RECT& c = dc->clip;
    if (p.x < c.left || p.y < c.top || p.x >= c.right || p.y >= c.bottom) return CLR_INVALID;
    if (!dc->drawable(p.x, p.y)) return CLR_INVALID;
    const Surface& s = dc->surface();
    PaletteEncoder encoder(*dc);
    const DWORD value = encoder.ink(colour);
    s.setRaw(p.x, p.y, value);
    return s.colourOf(value);
}

} // extern "C"
