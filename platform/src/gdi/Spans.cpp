#include "gdi/Spans.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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
    fillSpans(m_dc, polygonSpans({hull(corners)}, ALTERNATE, m_dc.clip), m_value);
}

void fillSpans(DeviceContext& dc, const std::vector<Span>& spans, DWORD value) {
    for (const Span& s : spans)
        for (int x = s.x0; x < s.x1; ++x)
            plot(dc, x, s.y, value);
}

void fillWithBrush(DeviceContext& dc, const std::vector<Span>& spans) {
    const Brush& brush = *dc.brush;
    if (brush.style == BS_NULL) return;
    PaletteEncoder encoder(dc);
    const DWORD ink = encoder.ink(brush.colour);
    if (brush.style != BS_HATCHED) {
        fillSpans(dc, spans, ink);
        return;
    }
    const bool opaque = dc.bkMode == OPAQUE;
    const DWORD background = encoder.ink(dc.bkColour);
    for (const Span& s : spans)
        for (int x = s.x0; x < s.x1; ++x) {
            if (hatchBit(brush.hatch, x, s.y))
                plot(dc, x, s.y, ink);
            else if (opaque)
                plot(dc, x, s.y, background);
        }
}

std::vector<Span> rectSpans(const RECT& r, const RECT& bound) {
    std::vector<Span> spans;
    const RECT in = intersect(r, bound);
    for (int y = in.top; y < in.bottom; ++y)
        spans.push_back({y, in.left, in.right});
    return spans;
}

std::vector<Span> ellipseSpans(const RECT& box, const RECT& bound) {
    std::vector<Span> spans;
    const double rx = (static_cast<double>(box.right) - box.left) / 2.0;
    const double ry = (static_cast<double>(box.bottom) - box.top) / 2.0;
    if (rx <= 0 || ry <= 0) return spans;
    const double cx = box.left + rx;
    const double cy = box.top + ry;
    const int top = std::max(box.top, bound.top);
    const int bottom = std::min(box.bottom, bound.bottom);
    for (int y = top; y < bottom; ++y) {
        const double dy = (y + 0.5 - cy) / ry;
        if (dy * dy >= 1) continue;
        const double half = rx * std::sqrt(1 - dy * dy);
        const double x0 = std::max<double>(std::ceil(cx - half - 0.5), bound.left);
        const double x1 = std::min<double>(std::floor(cx + half - 0.5) + 1, bound.right);
        if (x0 < x1) spans.push_back({y, static_cast<int>(x0), static_cast<int>(x1)});
    }
    return spans;
}

std::vector<Span> ring(const std::vector<Span>& outer, const std::vector<Span>& inner) {
    std::vector<Span> out;
    std::size_t j = 0;
    for (const Span& o : outer) {
        while (j < inner.size() && inner[j].y < o.y)
            ++j;
        if (j == inner.size() || inner[j].y != o.y) {
            out.push_back(o);
            continue;
        }
        const Span& in = inner[j];
        if (in.x0 > o.x0) out.push_back({o.y, o.x0, std::min(in.x0, o.x1)});
        if (in.x1 < o.x1) out.push_back({o.y, std::max(in.x1, o.x0), o.x1});
    }
    return out;
}

RECT shrink(const RECT& r, int by) {
    return {r.left + by, r.top + by, r.right - by, r.bottom - by};
}

std::vector<Span> polygonSpans(const std::vector<std::vector<PointF>>& outlines, int fillMode,
                               const RECT& bound) {
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
    std::vector<Span> spans;
    if (edges.empty()) return spans;
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    int lastRow = edges[0].lastRow;
    for (const Edge& e : edges)
        lastRow = std::max(lastRow, e.lastRow);
    std::vector<const Edge*> active;
    std::vector<Crossing> xs;
    std::size_t next = 0;
    for (int y = edges[0].firstRow; y <= lastRow; ++y) {
        while (next < edges.size() && edges[next].firstRow == y)
            active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [y](const Edge* e) { return e->lastRow < y; }),
                     active.end());
        if (active.empty()) {
            if (next == edges.size()) break;
            y = edges[next].firstRow - 1;
            continue;
        }
        xs.clear();
        for (const Edge* e : active)
            xs.push_back({e->x0 + (y + 0.5 - e->y0) * e->slope, e->direction});
        std::sort(xs.begin(), xs.end(),
                  [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
        int winding = 0;
        for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
            winding += fillMode == WINDING ? xs[i].direction : 1;
            const bool inside = fillMode == WINDING ? winding != 0 : (winding & 1) != 0;
            if (!inside) continue;
            const double x0 = std::max<double>(std::ceil(xs[i].x - 0.5), bound.left);
            const double x1 = std::min<double>(std::ceil(xs[i + 1].x - 0.5), bound.right);
            if (x0 < x1) spans.push_back({y, static_cast<int>(x0), static_cast<int>(x1)});
        }
    }
    return spans;
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
