#include "gdi/Spans.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace winplat::gdi {
namespace {

bool hatchBit(int hatch, int x, int y) {
    const bool horizontal = (y & 7) == 0;
    const bool vertical = (x & 7) == 0;
    const bool forward = ((x - y) & 7) == 0;
    const bool backward = ((x + y) & 7) == 0;
    switch (hatch) {
    case HS_HORIZONTAL:
        return horizontal;
    case HS_VERTICAL:
        return vertical;
    case HS_FDIAGONAL:
        return forward;
    case HS_BDIAGONAL:
        return backward;
    case HS_CROSS:
        return horizontal || vertical;
    default:
        return forward || backward;
    }
}

// Rows top <= y < bottom of one span.
void paint(SpanSink& out, int x0, int top, int x1, int bottom) {
    if (bottom - top == 1)
        out.span(top, x0, x1);
    else
        out.block(RECT{x0, top, x1, bottom});
}

// A single pixel is most of what a tall, narrow picture's figures paint.
void paintRun(const Surface& out, int y, int x0, int x1, DWORD value) {
    if (x1 - x0 == 1)
        out.setRaw(x0, y, value);
    else
        out.fillRaw(y, x0, x1, value);
}

// The part of a -> b inside `box`, as parameters 0 <= t0 <= t1 <= 1; false when none is.
bool clipSegment(double ax, double ay, double bx, double by, const RECT& box, double& t0,
                 double& t1) {
    t0 = 0;
    t1 = 1;
    const double dx = bx - ax;
    const double dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - box.left, box.right - ax, ay - box.top, box.bottom - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1) return false;
    }
    return true;
}

int clampToInt(double v) {
    return static_cast<int>(std::clamp(std::floor(v + 0.5), -1e9, 1e9));
}

// Convex hull of a few points (monotone chain), counterclockwise.
std::vector<PointF> hull(std::vector<PointF> p) {
    std::sort(p.begin(), p.end(), [](const PointF& a, const PointF& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    const auto cross = [](const PointF& o, const PointF& a, const PointF& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    std::vector<PointF> h(2 * p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0)
            --k;
        h[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(h[k - 2], h[k - 1], p[i - 1]) <= 0)
            --k;
        h[k++] = p[i - 1];
    }
    h.resize(k > 1 ? k - 1 : k);
    return h;
}

struct Edge {
    double x0, y0, slope; // x at y0 and its change per unit of y
    int firstRow, lastRow;
    int direction;
};

struct Crossing {
    double x;
    int direction;
    const Edge* edge;
};

} // namespace

PenPainter::PenPainter(DeviceContext& dc) : m_dc(dc), m_encoder(dc) {
    m_null = dc.pen->style == PS_NULL;
    m_width = dc.pen->width > 1 ? dc.pen->width : 1;
    m_value = m_encoder.ink(dc.pen->colour);
    // The display driver's patterns, in pixels.
    static const int dash[] = {18, 6};
    static const int dotted[] = {3, 3};
    static const int dashDot[] = {9, 6, 3, 6};
    static const int dashDotDot[] = {9, 3, 3, 3, 3, 3};
    const auto use = [&](const int* pattern, int count) {
        m_dashes = pattern;
        m_dashCount = count;
        for (int i = 0; i < count; ++i)
            m_dashCycle += pattern[i];
    };
    if (m_width == 1) {
        switch (dc.pen->style) {
        case PS_DASH:
            use(dash, 2);
            break;
        case PS_DOT:
            use(dotted, 2);
            break;
        case PS_DASHDOT:
            use(dashDot, 4);
            break;
        case PS_DASHDOTDOT:
            use(dashDotDot, 6);
            break;
        default:
            break;
        }
    }
    m_paintGaps = dc.bkMode == OPAQUE;
    if (m_paintGaps && dashed()) m_gap = m_encoder.ink(dc.bkColour);
}

void PenPainter::dot(int x, int y) {
    if (!dashed()) {
        plot(m_dc, x, y, m_value);
        return;
    }
    long long at = m_phase++ % m_dashCycle;
    int part = 0;
    while (at >= m_dashes[part]) {
        at -= m_dashes[part];
        ++part;
    }
    if (part % 2 == 0)
        plot(m_dc, x, y, m_value);
    else if (m_paintGaps)
        plot(m_dc, x, y, m_gap);
}

void PenPainter::line(POINT a, POINT b) {
    if (m_null) return;
    if (m_width == 1)
        thinLine(a, b);
    else
        wideLine(a, b);
}

void PenPainter::thinLine(POINT a, POINT b) {
    const RECT& c = m_dc.clip;
    const RECT box{c.left - 1, c.top - 1, c.right + 1, c.bottom + 1};
    const auto inside = [&](POINT p) {
        return p.x >= box.left && p.y >= box.top && p.x < box.right && p.y < box.bottom;
    };
    bool lastToo = false;
    if (!inside(a) || !inside(b)) {
        double t0 = 0;
        double t1 = 1;
        if (!clipSegment(a.x, a.y, b.x, b.y, box, t0, t1)) return;
        const double dx = static_cast<double>(b.x) - a.x;
        const double dy = static_cast<double>(b.y) - a.y;
        const POINT from{clampToInt(a.x + t0 * dx), clampToInt(a.y + t0 * dy)};
        const POINT to{clampToInt(a.x + t1 * dx), clampToInt(a.y + t1 * dy)};
        // The dashes go on as if the part cut off had been drawn.
        if (dashed() && m_dashCycle > 0)
            m_phase += static_cast<long long>(std::fmod(t0 * std::max(std::abs(dx), std::abs(dy)),
                                                        static_cast<double>(m_dashCycle)));
        lastToo = t1 < 1;
        a = from;
        b = to;
    }
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
    if (lastToo) dot(b.x, b.y);
}

// Every square dot of the pen along the line: the hull of the squares at both ends.
void PenPainter::wideLine(POINT a, POINT b) {
    const double from = -(m_width / 2);
    const double to = from + m_width;
    std::vector<PointF> corners;
    for (const POINT& p : {a, b})
        for (double ox : {from, to})
            for (double oy : {from, to})
                corners.push_back({p.x + ox, p.y + oy});
    InkSpans ink(m_dc, m_value);
    polygonSpans({hull(corners)}, ALTERNATE, m_dc.clip, ink);
}

void SpanSink::block(const RECT& r) {
    for (int y = r.top; y < r.bottom; ++y)
        span(y, r.left, r.right);
}

void InkSpans::span(int y, int x0, int x1) {
    drawableRuns(m_dc, y, x0, x1, [&](int a, int b) { paintRun(m_out, y, a, b, m_value); });
}

BrushSpans::BrushSpans(DeviceContext& dc)
    : m_dc(dc), m_out(dc.surface()), m_style(dc.brush->style), m_hatch(dc.brush->hatch) {
    if (m_style == BS_NULL) return;
    PaletteEncoder encoder(dc);
    m_ink = encoder.ink(dc.brush->colour);
    if (m_style != BS_HATCHED) return;
    m_opaque = dc.bkMode == OPAQUE;
    m_background = encoder.ink(dc.bkColour);
}

void BrushSpans::span(int y, int x0, int x1) {
    if (m_style == BS_NULL) return;
    if (m_style != BS_HATCHED) {
        drawableRuns(m_dc, y, x0, x1, [&](int a, int b) { paintRun(m_out, y, a, b, m_ink); });
        return;
    }
    drawableRuns(m_dc, y, x0, x1, [&](int a, int b) {
        for (int x = a; x < b; ++x) {
            if (hatchBit(m_hatch, x, y))
                m_out.setRaw(x, y, m_ink);
            else if (m_opaque)
                m_out.setRaw(x, y, m_background);
        }
    });
}

void BrushSpans::block(const RECT& r) {
    if (m_style == BS_NULL) return;
    if (m_style != BS_HATCHED) {
        fillBlock(m_dc, r, m_ink);
        return;
    }
    SpanSink::block(r);
}

RowFigure RowFigure::rect(const RECT& r, const RECT& bound) {
    RowFigure f;
    const RECT in = intersect(r, bound);
    f.m_top = in.top;
    f.m_bottom = in.bottom;
    f.m_left = in.left;
    f.m_right = in.right;
    return f;
}

RowFigure RowFigure::ellipse(const RECT& box, const RECT& bound) {
    RowFigure f;
    f.m_ellipse = true;
    f.m_rx = (static_cast<double>(box.right) - box.left) / 2.0;
    f.m_ry = (static_cast<double>(box.bottom) - box.top) / 2.0;
    if (f.m_rx <= 0 || f.m_ry <= 0) return f;
    f.m_cx = box.left + f.m_rx;
    f.m_cy = box.top + f.m_ry;
    f.m_top = std::max(box.top, bound.top);
    f.m_bottom = std::min(box.bottom, bound.bottom);
    f.m_left = bound.left;
    f.m_right = bound.right;
    f.findFullRows();
    return f;
}

// A row's span only narrows as the row lies further from the centre, so the rows whose span is
// the whole bound are one run about the centre, found by halving.
void RowFigure::findFullRows() {
    if (m_top >= m_bottom) return;
    const auto full = [&](int y) {
        int x0 = 0, x1 = 0;
        return row(y, x0, x1) && x0 == m_left && x1 == m_right;
    };
    // The row nearest the centre; those above it and those below it each narrow away from it.
    const int centre =
        static_cast<int>(std::clamp(std::floor(m_cy), static_cast<double>(m_top), m_bottom - 1.0));
    if (!full(centre)) return;
    int lo = m_top, hi = centre; // the first full row lies in [lo, hi]
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (full(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    m_fullTop = lo;
    lo = centre;
    hi = m_bottom - 1; // the last full row lies in [lo, hi]
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (full(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    m_fullBottom = lo + 1;
}

int RowFigure::sameUntil(int y) const {
    if (y < m_top) return m_top;
    if (y >= m_bottom) return std::numeric_limits<int>::max();
    if (!m_ellipse) return m_bottom;
    if (y >= m_fullTop && y < m_fullBottom) return m_fullBottom;
    return y + 1;
}

void RowFigure::fill(SpanSink& out) const {
    int x0 = 0;
    int x1 = 0;
    for (int y = m_top; y < m_bottom;) {
        const int end = std::min(m_bottom, sameUntil(y));
        if (row(y, x0, x1)) paint(out, x0, y, x1, end);
        y = end;
    }
}

void fillRing(const RowFigure& outer, const RowFigure& inner, SpanSink& out, SpanSink* innerOut) {
    int top = outer.top();
    int bottom = outer.bottom();
    if (innerOut != nullptr && inner.top() < inner.bottom()) {
        top = std::min(top, inner.top());
        bottom = std::max(bottom, inner.bottom());
    }
    int x0 = 0, x1 = 0, in0 = 0, in1 = 0;
    for (int y = top; y < bottom;) {
        // Rows y to end - 1 of each figure are alike.
        const int end = std::min({bottom, outer.sameUntil(y), inner.sameUntil(y)});
        const bool covered = inner.row(y, in0, in1);
        // The two never share a pixel, so filling them row by row matches filling one first.
        if (covered && innerOut != nullptr) paint(*innerOut, in0, y, in1, end);
        if (outer.row(y, x0, x1)) {
            if (!covered) {
                paint(out, x0, y, x1, end);
            } else {
                if (in0 > x0) paint(out, x0, y, std::min(in0, x1), end);
                if (in1 < x1) paint(out, std::max(in1, x0), y, x1, end);
            }
        }
        y = end;
    }
}

RECT shrink(const RECT& r, int by) {
    return {r.left + by, r.top + by, r.right - by, r.bottom - by};
}

void polygonSpans(const std::vector<std::vector<PointF>>& outlines, int fillMode, const RECT& bound,
                  SpanSink& out) {
    std::vector<Edge> edges;
    for (const std::vector<PointF>& p : outlines) {
        if (p.size() < 2) continue;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const PointF& a = p[i];
            const PointF& b = p[(i + 1) % p.size()];
            if (a.y == b.y || !std::isfinite(a.x + a.y + b.x + b.y)) continue;
            const PointF& lo = a.y < b.y ? a : b;
            const PointF& hi = a.y < b.y ? b : a;
            // Rows whose centre y + 0.5 lies in [lo.y, hi.y).
            const double first = std::max<double>(std::ceil(lo.y - 0.5), bound.top);
            const double last = std::min<double>(std::ceil(hi.y - 0.5) - 1, bound.bottom - 1.0);
            if (first > last) continue;
            edges.push_back({lo.x, lo.y, (hi.x - lo.x) / (hi.y - lo.y), static_cast<int>(first),
                             static_cast<int>(last), a.y < b.y ? 1 : -1});
        }
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    // The crossings of the edges on the row, kept in x order from one row to the next, where
    // they mostly stay; which of equal crossings comes first changes no span.
    std::vector<Crossing> xs;
    const auto byX = [](const Crossing& a, const Crossing& b) { return a.x < b.x; };
    std::size_t next = 0;
    int y = edges[0].firstRow;
    for (;;) {
        while (next < edges.size() && edges[next].firstRow <= y) {
            const Edge& e = edges[next++];
            xs.push_back({0, e.direction, &e});
        }
        xs.erase(std::remove_if(xs.begin(), xs.end(),
                                [y](const Crossing& c) { return c.edge->lastRow < y; }),
                 xs.end());
        if (xs.empty()) {
            if (next == edges.size()) return;
            y = edges[next].firstRow;
            continue;
        }
        // The same edges cross every row until one starts or ends.
        int until = next < edges.size() ? edges[next].firstRow : std::numeric_limits<int>::max();
        for (const Crossing& c : xs)
            until = std::min(until, c.edge->lastRow + 1);
        // Upright edges cross each row at the same place: the rows are alike, painted at once.
        const bool upright =
            std::all_of(xs.begin(), xs.end(), [](const Crossing& c) { return c.edge->slope == 0; });
        for (; y < until; ++y) {
            for (Crossing& c : xs)
                c.x = c.edge->x0 + (y + 0.5 - c.edge->y0) * c.edge->slope;
            if (!std::is_sorted(xs.begin(), xs.end(), byX)) std::sort(xs.begin(), xs.end(), byX);
            const int rows = upright ? until - y : 1;
            int winding = 0;
            for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
                winding += fillMode == WINDING ? xs[i].direction : 1;
                const bool inside = fillMode == WINDING ? winding != 0 : (winding & 1) != 0;
                if (!inside) continue;
                const double x0 = std::max<double>(std::ceil(xs[i].x - 0.5), bound.left);
                const double x1 = std::min<double>(std::ceil(xs[i + 1].x - 0.5), bound.right);
                if (!(x0 < x1)) continue;
                if (rows == 1)
                    out.span(y, static_cast<int>(x0), static_cast<int>(x1));
                else
                    out.block(RECT{static_cast<int>(x0), y, static_cast<int>(x1), y + rows});
            }
            y += rows - 1;
        }
    }
}

std::vector<PointF> cornersOf(const std::vector<POINT>& points) {
    std::vector<PointF> out;
    out.reserve(points.size());
    for (const POINT& p : points)
        out.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
    return out;
}

std::vector<POINT> surfacePoints(const DeviceContext& dc, const POINT* points, int count) {
    std::vector<POINT> out;
    out.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (int i = 0; i < count; ++i)
        out.push_back(dc.toSurface(points[i].x, points[i].y));
    return out;
}

} // namespace winplat::gdi
