// What both record players draw with: the metafile's own DC state (mapping, world transform,
// selected objects, colours, clip, path), kept apart from the target DC and turned into
// GDI calls in the target's coordinates only when something is drawn. Coordinates from a
// file are never trusted: every point is mapped in floating point and clamped before it
// reaches GDI.
#pragma once

#include "gdi/Spans.h"
#include "win32/metafile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace winplat::gdi::meta {

// x' = x * m11 + y * m21 + dx, y' = x * m12 + y * m22 + dy, as XFORM has it.
struct Affine {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    PointF apply(double x, double y) const {
        return {x * m11 + y * m21 + dx, x * m12 + y * m22 + dy};
    }
    // This transform followed by `next`.
    Affine then(const Affine& next) const;
    bool axisAligned() const { return m12 == 0 && m21 == 0; }
    bool finite() const;
};

// Nearest whole number within +-limit; NaN becomes 0.
LONG roundedLong(double v, double limit);

struct LogPen {
    UINT style = PS_SOLID;
    double width = 0; // logical units; 0 is one pixel
    bool cosmetic = false;
    COLORREF colour = RGB(0, 0, 0);
};

struct LogBrush {
    UINT style = BS_SOLID;
    COLORREF colour = RGB(255, 255, 255);
    int hatch = HS_HORIZONTAL;
    // A monochrome pattern takes the text colour for its clear bits and the background
    // colour for its set ones; from afar, a mix of the two by the share of set bits.
    double setBits = -1;
};

// One entry of a metafile's object table.
struct Object {
    enum class Kind { Empty, Pen, Brush, Font, Region, Other } kind = Kind::Empty;
    LogPen pen;
    LogBrush brush;
    LOGFONTA font{};
    RECT region{}; // logical bounding box of a region
};

struct Mapping {
    int mode = MM_TEXT;
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
};

// What SaveDC keeps in a metafile.
struct State {
    Mapping mapping;
    Affine world;
    LogPen pen;
    LogBrush brush;
    LOGFONTA font{};
    COLORREF textColour = RGB(0, 0, 0);
    COLORREF bkColour = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int fillMode = ALTERNATE;
    int stretchMode = BLACKONWHITE;
    bool clockwise = false;
    PointF current{0, 0}; // logical
    bool clipped = false;
    RECT clip{}; // target coordinates
};

struct Setup {
    Affine deviceToTarget;           // reference-device pixels to the target DC's coordinates
    double pixelsPerMmX = 96 / 25.4; // of the reference device, for the metric mapping modes
    double pixelsPerMmY = 96 / 25.4;
    Mapping mapping; // at the start
};

enum class ArcKind { Arc, Pie, Chord, ArcTo };

// A DIB from a record, copied to aligned memory and checked: its table and rows lie within
// what the record holds.
struct Dib {
    std::vector<std::uint32_t> info; // BITMAPINFOHEADER and colour table (and masks)
    std::vector<std::uint32_t> bits;
    const BITMAPINFO* header() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
    const void* pixels() const { return bits.data(); }
};
bool readDib(const BYTE* info, std::size_t infoBytes, const BYTE* bits, std::size_t bitsBytes,
             Dib& out);
// Header, table and rows in one run of bytes, as old-style records carry them.
bool readPackedDib(const BYTE* data, std::size_t bytes, Dib& out);
// What a pattern brush looks like from afar.
COLORREF averageColour(const Dib& dib);
// The share of set pixels of a one-bit DIB, or -1 for deeper ones.
double setBitShare(const Dib& dib);

// Text in the one-byte code page the GDI stand-in draws.
std::string narrowText(const BYTE* utf16, std::size_t chars);

class Player {
public:
    // A null DC measures instead of drawing: bounds() then holds every logical point used.
    Player(HDC dc, const Setup& setup);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool ready() const { return m_ready; }
    bool measuring() const { return m_dc == nullptr; }
    bool hasBounds() const { return m_hasBounds; }
    const RECT& bounds() const { return m_bounds; }

    State& state() { return m_state; }

    // Mapping.
    void setMapMode(int mode);
    void setWindowOrg(double x, double y);
    void setWindowExt(double x, double y);
    void setViewportOrg(double x, double y);
    void setViewportExt(double x, double y);
    void offsetWindowOrg(double x, double y);
    void scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void setWorld(const Affine& world);
    // MWT_IDENTITY 1, MWT_LEFTMULTIPLY 2, MWT_RIGHTMULTIPLY 3.
    void modifyWorld(const Affine& by, int mode);

    void save();
    void restore(int level); // negative: counted back from the latest

    // Objects: the table grows as records ask, up to a limit.
    Object* object(std::uint32_t index);
    bool store(std::uint32_t index, const Object& object);
    int firstFreeSlot();
    void erase(std::uint32_t index);
    void select(const Object& object);
    void selectStock(int index);

    // Clipping; rectangles are logical unless said otherwise.
    void intersectClip(double left, double top, double right, double bottom);
    void clipToDeviceRect(const RECT& device, bool replace);
    void resetClip();
    void clipToPath(bool replace);

    // Drawing, in logical coordinates.
    void moveTo(double x, double y);
    void lineTo(double x, double y);
    void polyline(const std::vector<PointF>& points);
    void polylineTo(const std::vector<PointF>& points);
    void polyBezier(const std::vector<PointF>& points, bool fromCurrent);
    void polygon(const std::vector<PointF>& points);
    void polyPolygon(const std::vector<std::vector<PointF>>& polygons);
    void polyPolyline(const std::vector<std::vector<PointF>>& lines);
    void rectangle(double left, double top, double right, double bottom);
    void roundRect(double left, double top, double right, double bottom, double width,
                   double height);
    void ellipse(double left, double top, double right, double bottom);
    void arc(ArcKind kind, double left, double top, double right, double bottom, double xStart,
             double yStart, double xEnd, double yEnd);
    void setPixel(double x, double y, COLORREF colour);
    // One-byte text (read by the font's character set) or UTF-16. `rect` is used when the
    // options ask for it; `advances`, one per byte or unit, may be empty.
    void text(double x, double y, UINT options, const double* rect, const std::string& bytes,
              const std::vector<double>& advances);
    void text(double x, double y, UINT options, const double* rect, const std::u16string& units,
              const std::vector<double>& advances);
    void bitmap(double x, double y, double width, double height, int srcX, int srcY, int srcWidth,
                int srcHeight, const Dib& dib, DWORD rop);
    void patBlt(double x, double y, double width, double height, DWORD rop);
    // AlphaBlend: the source weighted by its constant alpha and, when the blend function asks
    // for it (AC_SRC_ALPHA), by the alpha of its own premultiplied pixels.
    void alphaBlend(double x, double y, double width, double height, int srcX, int srcY,
                    int srcWidth, int srcHeight, const Dib& dib, DWORD blend);

    // Paths.
    void beginPath();
    void endPath() { m_inPath = false; }
    void abortPath();
    void closeFigure();
    void fillPath() { finishPath(false, true); }
    void strokePath() { finishPath(true, false); }
    void strokeAndFillPath() { finishPath(true, true); }

private:
    struct Figure {
        std::vector<PointF> points; // target coordinates
        bool closed = false;
    };

    const Affine& transform();
    PointF toTarget(double x, double y);
    POINT toPixel(double x, double y) { return pixelOf(toTarget(x, y)); }
    static POINT pixelOf(const PointF& p);
    double lengthScale();
    std::vector<PointF> targetPoints(const std::vector<PointF>& logical);
    std::vector<POINT> pixels(const std::vector<PointF>& target);

    // Brings the target DC in line with the state before a GDI call.
    bool prepare(bool font = false);
    void preparePen();
    void prepareBrush();
    void prepareFont();
    void prepareClip();
    void reselectAll();

    void addFigure(std::vector<PointF> target, bool closed);
    void extendFigure(const std::vector<PointF>& target);
    void finishPath(bool stroke, bool fill);
    void drawOutlines(const std::vector<std::vector<PointF>>& target, bool closed, bool fill,
                      bool stroke);
    std::vector<PointF> ellipseOutline(double left, double top, double right, double bottom);
    std::vector<PointF> arcOutline(ArcKind kind, double left, double top, double right,
                                   double bottom, double xStart, double yStart, double xEnd,
                                   double yEnd);
    void markDirty();
    template <class Text>
    void drawText(double x, double y, UINT options, const double* rect, const Text& text,
                  const std::vector<double>& advances);

    HDC m_dc;
    Setup m_setup;
    bool m_ready = false;
    int m_baseLevel = 0;
    State m_state;
    std::vector<State> m_saved;
    std::vector<Object> m_objects;

    bool m_transformDirty = true;
    Affine m_transform;

    // What the target DC holds: objects made here, and the keys they were made for.
    HGDIOBJ m_pen = nullptr, m_brush = nullptr, m_font = nullptr;
    bool m_ownPen = false, m_ownBrush = false, m_ownFont = false;
    bool m_havePen = false, m_haveBrush = false, m_haveFont = false;
    LOGPEN m_penKey{};
    LOGBRUSH m_brushKey{};
    LOGFONTA m_fontKey{};
    bool m_clipApplied = false;
    RECT m_appliedClip{};

    bool m_inPath = false;
    std::vector<Figure> m_path;

    bool m_hasBounds = false;
    RECT m_bounds{};
};

} // namespace winplat::gdi::meta
