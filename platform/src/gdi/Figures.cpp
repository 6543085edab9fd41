// The curved figures and poly-polygons that metafiles draw. Outlines are made in continuous
// surface coordinates: the brush fills the outline itself, and the pen runs a little inside
// it, so that a wide pen stays within the figure as it does for rectangles and ellipses.
#include "gdi/Spans.h"

#include <algorithm>
#include <cmath>

namespace winplat::gdi {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The ellipse inscribed in a box, shrunk by `inset` on every side.
struct EllipseShape {
    EllipseShape(const RECT& box, double inset)
        : cx((static_cast<double>(box.left) + box.right) / 2),
          cy((static_cast<double>(box.top) + box.bottom) / 2),
          rx(std::max(0.0, (static_cast<double>(box.right) - box.left) / 2 - inset)),
          ry(std::max(0.0, (static_cast<double>(box.bottom) - box.top) / 2 - inset)) {}
    double cx, cy, rx, ry;

    PointF at(double angle) const { return {cx + rx * std::cos(angle), cy - ry * std::sin(angle)}; }
    // Angles grow counterclockwise on the screen, whose y axis points down.
    double angleTowards(const POINT& p) const {
        const double dx = rx > 0 ? (p.x - cx) / rx : p.x - cx;
        const double dy = ry > 0 ? (p.y - cy) / ry : p.y - cy;
        return std::atan2(-dy, dx);
    }
};

// Points along an arc, about two pixels apart, both ends included.
void appendArc(std::vector<PointF>& out, const EllipseShape& e, double from, double to) {
    const double span = to - from;
    const double steps = std::ceil(std::abs(span) * (e.rx + e.ry) / 4);
    const int n = static_cast<int>(std::clamp(steps, 4.0, 2048.0));
    for (int i = 0; i <= n; ++i)
        out.push_back(e.at(from + span * i / n));
}

// The start and end angles of an arc of `e`, the end past the start.
void arcAngles(const EllipseShape& e, const POINT& start, const POINT& end, double& from,
               double& to) {
    from = e.angleTowards(start);
    to = e.angleTowards(end);
    if (to <= from) to += 2 * kPi;
}

enum class ArcKind { Open, Pie, Chord };

// An arc figure: its outline and whether it is closed.
std::vector<PointF> arcOutline(const RECT& box, double inset, POINT start, POINT end,
                               ArcKind kind) {
    const EllipseShape e(box, inset);
    double from = 0;
    double to = 0;
    arcAngles(EllipseShape(box, 0), start, end, from, to);
    std::vector<PointF> out;
    appendArc(out, e, from, to);
    if (kind == ArcKind::Pie) out.push_back({e.cx, e.cy});
    return out;
}

std::vector<PointF> roundRectOutline(const RECT& box, double inset, double width, double height) {
    const double w = std::min(std::abs(width), static_cast<double>(box.right) - box.left);
    const double h = std::min(std::abs(height), static_cast<double>(box.bottom) - box.top);
    const double rx = w / 2;
    const double ry = h / 2;
    const double cornerX[4] = {box.right - rx, box.left + rx, box.left + rx, box.right - rx};
    const double cornerY[4] = {box.top + ry, box.top + ry, box.bottom - ry, box.bottom - ry};
    std::vector<PointF> out;
    for (int c = 0; c < 4; ++c) {
        EllipseShape e(RECT{0, 0, 0, 0}, 0);
        e.cx = cornerX[c];
        e.cy = cornerY[c];
        e.rx = std::max(0.0, rx - inset);
        e.ry = std::max(0.0, ry - inset);
        // Without rounding left, the corner is the inset box's corner.
        if (e.rx == 0 || e.ry == 0) {
            const double x = c == 0 || c == 3 ? box.right - inset : box.left + inset;
            const double y = c < 2 ? box.top + inset : box.bottom - inset;
            out.push_back({x, y});
            continue;
        }
        appendArc(out, e, c * kPi / 2, (c + 1) * kPi / 2);
    }
    return out;
}

// Draws an outline made with the pen's inset: each point goes to the pixel whose dot is
// centred on it.
void stroke(PenPainter& pen, const std::vector<PointF>& outline, bool closed) {
    if (pen.null() || outline.size() < 2) return;
    const double shift = -(pen.width() / 2) + pen.width() / 2.0;
    const auto pixel = [&](double v) {
        return static_cast<LONG>(std::clamp(std::floor(v - shift + 0.5), -1e9, 1e9));
    };
    std::vector<POINT> p;
    for (const PointF& q : outline)
        p.push_back({pixel(q.x), pixel(q.y)});
    for (std::size_t i = 0; i + 1 < p.size(); ++i)
        pen.line(p[i], p[i + 1]);
    if (closed) pen.line(p.back(), p.front());
}

// The figure filled and outlined. The brush fills what the pen's path encloses, so that
// nothing of the fill shows outside the outline; without a pen the fill is one pixel smaller
// on the right and at the bottom, as for rectangles.
template <class MakeOutline>
void drawFigure(DeviceContext& dc, const RECT& box, bool closed, bool filled,
                MakeOutline&& outline) {
    PenPainter pen(dc);
    BrushSpans brush(dc);
    if (pen.null()) {
        if (filled)
            polygonSpans({outline(RECT{box.left, box.top, box.right - 1, box.bottom - 1}, 0.0)},
                         ALTERNATE, dc.clip, brush);
        return;
    }
    const std::vector<PointF> path = outline(box, pen.width() / 2.0);
    if (filled) polygonSpans({path}, ALTERNATE, dc.clip, brush);
    stroke(pen, path, closed);
}

BOOL arcFigure(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
               int yEnd, ArcKind kind) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const RECT box = dc->toSurface(RECT{left, top, right, bottom});
    if (isEmpty(box)) return TRUE;
    const POINT start = dc->toSurface(xStart, yStart);
    const POINT end = dc->toSurface(xEnd, yEnd);
    drawFigure(*dc, box, kind != ArcKind::Open, kind != ArcKind::Open,
               [&](const RECT& b, double inset) { return arcOutline(b, inset, start, end, kind); });
    return TRUE;
}

} // namespace
} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    const RECT box = dc->toSurface(RECT{left, top, right, bottom});
    if (isEmpty(box)) return TRUE;
    drawFigure(*dc, box, true, true, [&](const RECT& b, double inset) {
        return roundRectOutline(b, inset, width, height);
    });
    return TRUE;
}

BOOL Arc(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd) {
    return arcFigure(dc, left, top, right, bottom, xStart, yStart, xEnd, yEnd, ArcKind::Open);
}

BOOL Pie(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd) {
    return arcFigure(dc, left, top, right, bottom, xStart, yStart, xEnd, yEnd, ArcKind::Pie);
}

BOOL Chord(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
           int yEnd) {
    return arcFigure(dc, left, top, right, bottom, xStart, yStart, xEnd, yEnd, ArcKind::Chord);
}

BOOL PolyPolygon(HDC hdc, const POINT* points, const INT* counts, int polygons) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || points == nullptr || counts == nullptr || polygons < 1) return FALSE;
    std::vector<std::vector<POINT>> outlines;
    const POINT* next = points;
    for (int i = 0; i < polygons; ++i) {
        if (counts[i] < 2) return FALSE;
        outlines.push_back(surfacePoints(*dc, next, counts[i]));
        next += counts[i];
    }
    std::vector<std::vector<PointF>> corners;
    for (const std::vector<POINT>& o : outlines)
        corners.push_back(cornersOf(o));
    BrushSpans brush(*dc);
    polygonSpans(corners, dc->polyFillMode, dc->clip, brush);
    PenPainter pen(*dc);
    for (const std::vector<POINT>& o : outlines)
        for (std::size_t i = 0; i < o.size(); ++i)
            pen.line(o[i], o[(i + 1) % o.size()]);
    return TRUE;
}

int SetPolyFillMode(HDC hdc, int mode) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || (mode != ALTERNATE && mode != WINDING)) return 0;
    const int old = dc->polyFillMode;
    dc->polyFillMode = mode;
    return old;
}

int GetPolyFillMode(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? dc->polyFillMode : 0;
}

} // extern "C"
