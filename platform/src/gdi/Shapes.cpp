// Pens, brushes and the shapes drawn with them. Figures keep GDI's conventions: the right and
// bottom edges are excluded, a line leaves out its last point, and without a pen a filled
// figure is one pixel smaller on the right and at the bottom.
#include "gdi/Device.h"
#include "gdi/DeviceContext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace winplat::gdi {
namespace {

struct Span {
    int y, x0, x1; // pixels x0 <= x < x1 of row y
};

class PenPainter {
public:
    explicit PenPainter(DeviceContext& dc) : m_dc(dc), m_encoder(dc.surface()) {
        m_null = dc.pen->style == PS_NULL;
        m_width = dc.pen->width > 1 ? dc.pen->width : 1;
        m_value = m_encoder.encode(dc.resolve(dc.pen->colour));
    }
    bool null() const { return m_null; }
    int width() const { return m_width; }
    DWORD value() const { return m_value; }

    void dot(int x, int y) {
        const int from = -(m_width / 2);
        for (int dy = from; dy < from + m_width; ++dy)
            for (int dx = from; dx < from + m_width; ++dx)
                plot(m_dc, x + dx, y + dy, m_value);
    }

    // Surface points; `b` itself is not drawn.
    void line(POINT a, POINT b) {
        if (m_null) return;
        const long long dx = std::llabs(static_cast<long long>(b.x) - a.x);
        const long long dy = -std::llabs(static_cast<long long>(b.y) - a.y);
        const int sx = a.x < b.x ? 1 : -1;
        const int sy = a.y < b.y ? 1 : -1;
        long long err = dx + dy;
        int x = a.x;
        int y = a.y;
        while (x != b.x || y != b.y) {
            dot(x, y);
            const long long e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }

private:
    DeviceContext& m_dc;
    ColourEncoder m_encoder;
    bool m_null = false;
    int m_width = 1;
    DWORD m_value = 0;
};

void fillSpans(DeviceContext& dc, const std::vector<Span>& spans, DWORD value) {
    for (const Span& s : spans)
        for (int x = s.x0; x < s.x1; ++x)
            plot(dc, x, s.y, value);
}

void fillWithBrush(DeviceContext& dc, const std::vector<Span>& spans) {
    if (dc.brush->style == BS_NULL) return;
    ColourEncoder encoder(dc.surface());
    fillSpans(dc, spans, encoder.encode(dc.resolve(dc.brush->colour)));
}

std::vector<Span> rectSpans(const RECT& r) {
    std::vector<Span> spans;
    for (int y = r.top; y < r.bottom; ++y)
        if (r.left < r.right) spans.push_back({y, r.left, r.right});
    return spans;
}

// Rows of the ellipse inscribed in `box`: a pixel belongs when its centre lies inside.
std::vector<Span> ellipseSpans(const RECT& box) {
    std::vector<Span> spans;
    const double rx = (box.right - box.left) / 2.0;
    const double ry = (box.bottom - box.top) / 2.0;
    if (rx <= 0 || ry <= 0) return spans;
    const double cx = box.left + rx;
    const double cy = box.top + ry;
    for (int y = box.top; y < box.bottom; ++y) {
        const double dy = (y + 0.5 - cy) / ry;
        if (dy * dy >= 1) continue;
        const double half = rx * std::sqrt(1 - dy * dy);
        const int x0 = static_cast<int>(std::ceil(cx - half - 0.5));
        const int x1 = static_cast<int>(std::floor(cx + half - 0.5)) + 1;
        if (x0 < x1) spans.push_back({y, x0, x1});
    }
    return spans;
}

// Pixels of `outer` that `inner` does not cover, row by row.
std::vector<Span> ring(const std::vector<Span>& outer, const std::vector<Span>& inner) {
    std::vector<Span> out;
    for (const Span& o : outer) {
        auto it =
            std::find_if(inner.begin(), inner.end(), [&](const Span& s) { return s.y == o.y; });
        if (it == inner.end()) {
            out.push_back(o);
            continue;
        }
        if (it->x0 > o.x0) out.push_back({o.y, o.x0, std::min(it->x0, o.x1)});
        if (it->x1 < o.x1) out.push_back({o.y, std::max(it->x1, o.x0), o.x1});
    }
    return out;
}

RECT shrink(const RECT& r, int by) {
    return {r.left + by, r.top + by, r.right - by, r.bottom - by};
}

// Even-odd fill sampled at pixel centres.
std::vector<Span> polygonSpans(const std::vector<POINT>& p) {
    std::vector<Span> spans;
    if (p.size() < 3) return spans;
    int minY = p[0].y;
    int maxY = p[0].y;
    for (const POINT& q : p) {
        minY = std::min(minY, static_cast<int>(q.y));
        maxY = std::max(maxY, static_cast<int>(q.y));
    }
    std::vector<double> xs;
    for (int y = minY; y < maxY; ++y) {
        const double yc = y + 0.5;
        xs.clear();
        for (std::size_t i = 0; i < p.size(); ++i) {
            const POINT& a = p[i];
            const POINT& b = p[(i + 1) % p.size()];
            if ((a.y <= yc && yc < b.y) || (b.y <= yc && yc < a.y))
                xs.push_back(a.x + (yc - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
            const int x0 = static_cast<int>(std::ceil(xs[i] - 0.5));
            const int x1 = static_cast<int>(std::ceil(xs[i + 1] - 0.5));
            if (x0 < x1) spans.push_back({y, x0, x1});
        }
    }
    return spans;
}

std::vector<POINT> surfacePoints(const DeviceContext& dc, const POINT* points, int count) {
    std::vector<POINT> out;
    for (int i = 0; i < count; ++i)
        out.push_back(dc.toSurface(points[i].x, points[i].y));
    return out;
}

// The colour a FillRect brush stands for; system colour indices + 1 are asked of the window
// system.
bool brushColour(HBRUSH handle, const DeviceContext& dc, COLORREF& colour, bool& none) {
    none = false;
    if (const Brush* b = lookupBrush(handle)) {
        none = b->style == BS_NULL;
        colour = dc.resolve(b->colour);
        return true;
    }
    const auto index = reinterpret_cast<std::uintptr_t>(handle);
    SystemColourQuery query = systemColourQuery();
    if (index == 0 || index > 64 || query == nullptr) return false;
    colour = query(static_cast<int>(index) - 1);
    return true;
}

RECT surfaceRectAsGiven(const DeviceContext& dc, const RECT& r) {
    const POINT a = dc.toSurface(r.left, r.top);
    const POINT b = dc.toSurface(r.right, r.bottom);
    return {a.x, a.y, b.x, b.y};
}

} // namespace
} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

HPEN CreatePen(int style, int width, COLORREF colour) {
    Guard guard(gdiLock());
    if (style < PS_SOLID || style > PS_INSIDEFRAME || failNow(WINPLAT_CALL_CREATE_PEN))
        return nullptr;
    auto* p = new Pen;
    p->style = static_cast<UINT>(style);
    p->width = width < 1 ? 1 : width;
    p->colour = colour;
    return static_cast<HPEN>(adopt(p));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    Guard guard(gdiLock());
    if (brush == nullptr || (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL) ||
        failNow(WINPLAT_CALL_CREATE_BRUSH))
        return nullptr;
    auto* b = new Brush;
    b->style = brush->lbStyle;
    b->colour = brush->lbColor;
    return static_cast<HBRUSH>(adopt(b));
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    const LOGBRUSH lb{BS_SOLID, colour, 0};
    return CreateBrushIndirect(&lb);
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const RECT r = dc->toSurface(RECT{left, top, right, bottom});
    PenPainter pen(*dc);
    if (pen.null()) {
        fillWithBrush(*dc, rectSpans(RECT{r.left, r.top, r.right - 1, r.bottom - 1}));
        return TRUE;
    }
    const RECT inner = shrink(r, pen.width());
    fillWithBrush(*dc, rectSpans(inner));
    fillSpans(*dc, ring(rectSpans(r), rectSpans(inner)), pen.value());
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const RECT r = dc->toSurface(RECT{left, top, right, bottom});
    PenPainter pen(*dc);
    if (pen.null()) {
        fillWithBrush(*dc, ellipseSpans(RECT{r.left, r.top, r.right - 1, r.bottom - 1}));
        return TRUE;
    }
    const std::vector<Span> outer = ellipseSpans(r);
    const std::vector<Span> inner = ellipseSpans(shrink(r, pen.width()));
    fillWithBrush(*dc, inner);
    fillSpans(*dc, ring(outer, inner), pen.value());
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    if (previous != nullptr) *previous = dc->current;
    dc->current = {x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    PenPainter pen(*dc);
    pen.line(dc->toSurface(dc->current.x, dc->current.y), dc->toSurface(x, y));
    dc->current = {x, y};
    return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || points == nullptr || count < 2) return FALSE;
    const std::vector<POINT> p = surfacePoints(*dc, points, count);
    PenPainter pen(*dc);
    for (std::size_t i = 0; i + 1 < p.size(); ++i)
        pen.line(p[i], p[i + 1]);
    return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* points, int count) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || points == nullptr || count < 2) return FALSE;
    const std::vector<POINT> p = surfacePoints(*dc, points, count);
    fillWithBrush(*dc, polygonSpans(p));
    PenPainter pen(*dc);
    for (std::size_t i = 0; i < p.size(); ++i)
        pen.line(p[i], p[(i + 1) % p.size()]);
    return TRUE;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    COLORREF colour = 0;
    bool none = false;
    if (dc == nullptr || rect == nullptr || !brushColour(brush, *dc, colour, none)) return 0;
    if (!none) fillSurfaceRect(*dc, surfaceRectAsGiven(*dc, *rect), colour);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    COLORREF colour = 0;
    bool none = false;
    if (dc == nullptr || rect == nullptr || !brushColour(brush, *dc, colour, none)) return 0;
    const RECT r = surfaceRectAsGiven(*dc, *rect);
    if (none || isEmpty(r)) return 1;
    ColourEncoder encoder(dc->surface());
    fillSpans(*dc, ring(rectSpans(r), rectSpans(shrink(r, 1))), encoder.encode(colour));
    return 1;
}

} // extern "C"
