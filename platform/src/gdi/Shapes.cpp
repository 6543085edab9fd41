// Pens, brushes and the shapes drawn with them. Figures keep GDI's conventions: the right and
// bottom edges are excluded, a line leaves out its last point, and without a pen a filled
// figure is one pixel smaller on the right and at the bottom.
#include "gdi/Device.h"
#include "gdi/Spans.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace winplat::gdi {
namespace {

// The colour a FillRect brush stands for; system colour indices + 1 are asked of the window
// system.
bool brushColour(HBRUSH handle, COLORREF& colour, bool& none) {
    none = false;
    if (const Brush* b = lookupBrush(handle)) {
        none = b->style == BS_NULL;
        colour = b->colour;
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
    if (brush == nullptr) return nullptr;
    const bool hatched =
        brush->lbStyle == BS_HATCHED && brush->lbHatch <= static_cast<ULONG_PTR>(HS_DIAGCROSS);
    if ((brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL && !hatched) ||
        failNow(WINPLAT_CALL_CREATE_BRUSH))
        return nullptr;
    auto* b = new Brush;
    b->style = brush->lbStyle;
    b->colour = brush->lbColor;
    if (hatched) b->hatch = static_cast<int>(brush->lbHatch);
    return static_cast<HBRUSH>(adopt(b));
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    const LOGBRUSH lb{BS_SOLID, colour, 0};
    return CreateBrushIndirect(&lb);
}

HBRUSH CreateHatchBrush(int hatch, COLORREF colour) {
    if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return nullptr;
    const LOGBRUSH lb{BS_HATCHED, colour, static_cast<ULONG_PTR>(hatch)};
    return CreateBrushIndirect(&lb);
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const RECT r = dc->toSurface(RECT{left, top, right, bottom});
    PenPainter pen(*dc);
    BrushSpans brush(*dc);
    if (pen.null()) {
        RowFigure::rect(RECT{r.left, r.top, r.right - 1, r.bottom - 1}, dc->clip).fill(brush);
        return TRUE;
    }
    const RECT inner = shrink(r, pen.width());
    RowFigure::rect(inner, dc->clip).fill(brush);
    if (pen.dashed()) {
        const POINT corners[4] = {{r.left, r.top},
                                  {r.right - 1, r.top},
                                  {r.right - 1, r.bottom - 1},
                                  {r.left, r.bottom - 1}};
        for (int i = 0; i < 4; ++i)
            pen.line(corners[i], corners[(i + 1) % 4]);
        return TRUE;
    }
    InkSpans ink(*dc, pen.value());
    fillRing(RowFigure::rect(r, dc->clip), RowFigure::rect(inner, dc->clip), ink);
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const RECT r = dc->toSurface(RECT{left, top, right, bottom});
    PenPainter pen(*dc);
    BrushSpans brush(*dc);
    if (pen.null()) {
        RowFigure::ellipse(RECT{r.left, r.top, r.right - 1, r.bottom - 1}, dc->clip).fill(brush);
        return TRUE;
    }
    InkSpans ink(*dc, pen.value());
    fillRing(RowFigure::ellipse(r, dc->clip), RowFigure::ellipse(shrink(r, pen.width()), dc->clip),
             ink, &brush);
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
    BrushSpans brush(*dc);
    polygonSpans({cornersOf(p)}, dc->polyFillMode, dc->clip, brush);
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
    if (dc == nullptr || rect == nullptr || !brushColour(brush, colour, none)) return 0;
    if (!none) fillSurfaceRect(*dc, surfaceRectAsGiven(*dc, *rect), colour);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    COLORREF colour = 0;
    bool none = false;
    if (dc == nullptr || rect == nullptr || !brushColour(brush, colour, none)) return 0;
    const RECT r = surfaceRectAsGiven(*dc, *rect);
    if (none || isEmpty(r)) return 1;
    PaletteEncoder encoder(*dc);
    InkSpans ink(*dc, encoder.ink(colour));
    fillRing(RowFigure::rect(r, dc->clip), RowFigure::rect(shrink(r, 1), dc->clip), ink);
    return 1;
}

} // extern "C"
