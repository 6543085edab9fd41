// What every figure is drawn with: rows of pixel spans in surface coordinates, which the brush
// fills and the pen outlines. Spans are only ever made inside a bounding rectangle (the DC's
// clip), so a figure far larger than the surface costs no more than the surface.
#pragma once

#include "gdi/DeviceContext.h"

#include <vector>

namespace winplat::gdi {

struct Span {
    int y, x0, x1; // pixels x0 <= x < x1 of row y
};

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

void fillSpans(DeviceContext& dc, const std::vector<Span>& spans, DWORD value);
// Fills with the selected brush: solid, hatched or nothing.
void fillWithBrush(DeviceContext& dc, const std::vector<Span>& spans);

std::vector<Span> rectSpans(const RECT& r, const RECT& bound);
// The ellipse inscribed in `box`: a pixel belongs when its centre lies inside.
std::vector<Span> ellipseSpans(const RECT& box, const RECT& bound);
// Pixels of `outer` that `inner` does not cover; both hold at most one span per row, in rows
// going down.
std::vector<Span> ring(const std::vector<Span>& outer, const std::vector<Span>& inner);
RECT shrink(const RECT& r, int by);

// Closed outlines filled by ALTERNATE (even-odd) or WINDING, sampled at pixel centres.
std::vector<Span> polygonSpans(const std::vector<std::vector<PointF>>& outlines, int fillMode,
                               const RECT& bound);
// Integer surface points as corners of pixels, as Polygon takes them.
std::vector<PointF> cornersOf(const std::vector<POINT>& points);

std::vector<POINT> surfacePoints(const DeviceContext& dc, const POINT* points, int count);

} // namespace winplat::gdi
