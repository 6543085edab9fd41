// What every figure is drawn with: rows of pixel spans in surface coordinates, which the brush
// fills and the pen outlines. Spans are only ever made inside a bounding rectangle (the DC's
// clip), so a figure far larger than the surface costs no more than the surface, and each goes
// to its painter as it is made: a figure of millions of rows holds none of them.
#pragma once

#include "gdi/DeviceContext.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace winplat::gdi {

// Takes a figure's spans, pixels x0 <= x < x1 of row y, rows going down.
class SpanSink {
public:
    virtual void span(int y, int x0, int x1) = 0;
    // Every row of a rectangle within the bound, which painters may fill in one go.
    virtual void block(const RECT& r);

protected:
    ~SpanSink() = default;
};

// One raw value where the DC's clip and holes allow.
class InkSpans final : public SpanSink {
public:
    InkSpans(DeviceContext& dc, DWORD value) : m_dc(dc), m_out(dc.surface()), m_value(value) {}
    void span(int y, int x0, int x1) override;
    void block(const RECT& r) override { fillBlock(m_dc, r, m_value); }

private:
    DeviceContext& m_dc;
    const Surface& m_out;
    DWORD m_value;
};

// The DC's selected brush: solid, hatched or nothing.
class BrushSpans final : public SpanSink {
public:
    explicit BrushSpans(DeviceContext& dc);
    void span(int y, int x0, int x1) override;
    void block(const RECT& r) override;

private:
    DeviceContext& m_dc;
    const Surface& m_out;
    UINT m_style;
    int m_hatch;
    DWORD m_ink = 0;
    bool m_opaque = false;
    DWORD m_background = 0;
};

// A figure with at most one span in a row, cut to a bounding rectangle and made a row at a
// time: a rectangle, or the ellipse inscribed in a box, whose pixels are those whose centres
// lie inside.
class RowFigure {
public:
    static RowFigure rect(const RECT& r, const RECT& bound);
    static RowFigure ellipse(const RECT& box, const RECT& bound);

    // The span of row y, if it has one.
    bool row(int y, int& x0, int& x1) const {
        if (y < m_top || y >= m_bottom) return false;
        if (!m_ellipse) {
            x0 = m_left;
            x1 = m_right;
            return true;
        }
        const double dy = (y + 0.5 - m_cy) / m_ry;
        if (dy * dy >= 1) return false;
        const double half = m_rx * std::sqrt(1 - dy * dy);
        const double left = std::max<double>(std::ceil(m_cx - half - 0.5), m_left);
        const double right = std::min<double>(std::floor(m_cx + half - 0.5) + 1, m_right);
        if (left >= right) return false;
        x0 = static_cast<int>(left);
        x1 = static_cast<int>(right);
        return true;
    }
    void fill(SpanSink& out) const;

    // Rows top <= y < bottom may hold a span.
    int top() const { return m_top; }
    int bottom() const { return m_bottom; }
    // The first row after y whose span may differ from y's.
    int sameUntil(int y) const;

private:
    RowFigure() = default;
    void findFullRows();

    bool m_ellipse = false;
    int m_top = 0, m_bottom = 0;
    int m_left = 0, m_right = 0; // a rectangle's span, or where an ellipse's spans are cut
    double m_cx = 0, m_cy = 0, m_rx = 0, m_ry = 0;
    int m_fullTop = 0, m_fullBottom = 0; // an ellipse's rows that span the whole bound
};

// Pixels of `outer` that `inner` does not cover; `inner` itself goes to `innerOut`, when given,
// in the same pass.
void fillRing(const RowFigure& outer, const RowFigure& inner, SpanSink& out,
              SpanSink* innerOut = nullptr);

// A point of an outline in continuous surface coordinates: pixel (x, y) has its centre at
// (x + 0.5, y + 0.5).
struct PointF {
    double x, y;
};

class PenPainter {
public:
    explicit PenPainter(DeviceContext& dc);
    bool null() const { return m_null; }
    int width() const { return m_width; }
    DWORD value() const { return m_value; }

    // A one-pixel pen of a dash style; wider ones draw solid.
    bool dashed() const { return m_dashCount != 0; }

    // Surface points; `b` itself is not drawn by a one-pixel pen. The dashes of a styled pen
    // run on from one line to the next.
    void line(POINT a, POINT b);

private:
    void thinLine(POINT a, POINT b);
    void wideLine(POINT a, POINT b);
    void dot(int x, int y);

    DeviceContext& m_dc;
    PaletteEncoder m_encoder;
    bool m_null = false;
    int m_width = 1;
    DWORD m_value = 0;
    // Pixels on, off, on, off... of the dash style; gaps take the background colour when the
    // background mode is opaque.
    const int* m_dashes = nullptr;
    int m_dashCount = 0;
    int m_dashCycle = 0;
    long long m_phase = 0;
    bool m_paintGaps = false;
    DWORD m_gap = 0;
};

RECT shrink(const RECT& r, int by);

// Closed outlines filled by ALTERNATE (even-odd) or WINDING, sampled at pixel centres.
void polygonSpans(const std::vector<std::vector<PointF>>& outlines, int fillMode, const RECT& bound,
                  SpanSink& out);
// Integer surface points as corners of pixels, as Polygon takes them.
std::vector<PointF> cornersOf(const std::vector<POINT>& points);

std::vector<POINT> surfacePoints(const DeviceContext& dc, const POINT* points, int count);

} // namespace winplat::gdi
