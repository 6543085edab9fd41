// Device contexts. A DC draws on a surface: the screen framebuffer (screen and window DCs) or
// the bitmap selected into it (memory DCs). Logical points go to the surface through the
// window and viewport origins and the DC's own origin (a window's client corner on the
// screen); drawing is cut to the DC's area and any clip rectangle set within it.
#pragma once

#include "gdi/Objects.h"

namespace winplat::gdi {

enum class DcKind { Screen, Memory, Window };

// What SaveDC keeps. Each saved object counts as a selection, so it stays alive until its
// level is restored or dropped.
struct SavedDCState {
    Pen* pen;
    Brush* brush;
    Font* font;
    Palette* palette;
    COLORREF textColour;
    COLORREF bkColour;
    int bkMode;
    UINT textAlign;
    int stretchMode;
    int polyFillMode;
    POINT current;
    POINT viewportOrg;
    POINT windowOrg;
    RECT clip;
};

struct DeviceContext : GdiObject {
    explicit DeviceContext(DcKind k)
        : GdiObject(k == DcKind::Memory ? OBJ_MEMDC : OBJ_DC), kind(k) {}
    ~DeviceContext() override;

    DcKind kind;
    HWND window = nullptr;
    POINT origin{0, 0};    // surface position of logical (0, 0) before the viewport offsets
    RECT area{0, 0, 0, 0}; // where the DC may draw, in surface coordinates
    RECT clip{0, 0, 0, 0}; // area cut further by IntersectClipRect
    // Surface rectangles a window DC leaves alone: its children and the windows above it.
    std::vector<RECT> holes;

    bool persistent = false; // a class DC: ReleaseDC leaves it, keeping what is selected

    bool drawable(int sx, int sy) const {
        for (const RECT& h : holes)
            if (sx >= h.left && sy >= h.top && sx < h.right && sy < h.bottom) return false;
        return true;
    }

    Pen* pen = nullptr;
    Brush* brush = nullptr;
    Font* font = nullptr;
    Palette* palette = nullptr;
    Bitmap* bitmap = nullptr; // memory DCs only

    COLORREF textColour = RGB(0, 0, 0);
    COLORREF bkColour = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int stretchMode = BLACKONWHITE;
    int polyFillMode = ALTERNATE;
    POINT current{0, 0};
    POINT viewportOrg{0, 0};
    POINT windowOrg{0, 0};
    std::vector<SavedDCState> saved;

    const Surface& surface() const;
    POINT toSurface(int x, int y) const {
        return {x - windowOrg.x + viewportOrg.x + origin.x,
                y - windowOrg.y + viewportOrg.y + origin.y};
    }
    // A logical rectangle on the surface, normalised so that left <= right, top <= bottom.
    RECT toSurface(const RECT& r) const;
    // The colour a COLORREF stands for in this DC: palette-relative values resolved through
    // the selected palette.
    COLORREF resolve(COLORREF colour) const;
};

// Colours drawn through a DC's palette onto a surface. On the palette device, explicit RGB
// colours show as the nearest reserved colour, while palette-relative ones and every colour of
// a DIB or bitmap go to the nearest entry of the DC's logical palette and show as the system
// colour its realization gave that entry. Elsewhere a colour is the surface's nearest.
class PaletteEncoder {
public:
    PaletteEncoder(const Surface& surface, const Palette& logical);
    explicit PaletteEncoder(const DeviceContext& dc) : PaletteEncoder(dc.surface(), *dc.palette) {}
    // A pen, brush, text or background colour as the DC was given it.
    DWORD ink(COLORREF colour);
    // A colour of a DIB or bitmap.
    DWORD pixel(COLORREF colour);

private:
    using Found = std::unordered_map<COLORREF, DWORD>;
    static DWORD slotFor(const Palette& palette, COLORREF colour, Found& found);

    const Palette& m_logical;
    ColourEncoder m_plain;
    bool m_system; // the surface shows the system palette
    Found m_logicalFound;
    Found m_reservedFound;
    bool m_haveLast = false; // the last DIB colour on the system palette
    COLORREF m_lastPixel = 0;
    DWORD m_lastSlot = 0;
};

// The colour a COLORREF stands for under a logical palette.
COLORREF resolveThrough(const Palette& palette, COLORREF colour);
int nearestPaletteEntry(const Palette& palette, COLORREF colour);

// Window DCs: `origin` is the client corner on the screen, `visible` the part of the screen
// the window may draw on and `holes` the parts of that which other windows cover. Counted like
// every DC; ReleaseDC deletes them.
HDC createWindowDC(HWND window, POINT origin, const RECT& visible);
HDC createWindowDC(HWND window, POINT origin, const RECT& visible, const std::vector<RECT>& holes);

// A window DC that outlives ReleaseDC, keeping its selections and colours between uses, as
// the DC of a CS_CLASSDC class does; `retargetWindowDC` points it at a window for each use and
// `deletePersistentDC` ends it.
HDC createPersistentDC();
bool retargetWindowDC(HDC dc, HWND window, POINT origin, const RECT& visible,
                      const std::vector<RECT>& holes);
void deletePersistentDC(HDC dc);

// GetDC(window) first asks whether the window draws with a DC of its class (null: no).
using ClassDCQuery = HDC (*)(HWND window);
void setClassDCQuery(ClassDCQuery query);

// RealizePalette tells the window system when a window's realization changed the system palette.
using PaletteChangeNotifier = void (*)(HWND window);
void setPaletteChangeNotifier(PaletteChangeNotifier notifier);
PaletteChangeNotifier paletteChangeNotifier();

// GetDC(window) asks the window system where the window's client area lies.
using WindowAreaQuery = bool (*)(HWND window, POINT* origin, RECT* visible,
                                 std::vector<RECT>* holes);
void setWindowAreaQuery(WindowAreaQuery query);

// FillRect takes a system colour index + 1 in place of a brush; the window system says what
// colour each index is.
using SystemColourQuery = COLORREF (*)(int index);
void setSystemColourQuery(SystemColourQuery query);
SystemColourQuery systemColourQuery();

// Helpers of the drawing code.
RECT intersect(const RECT& a, const RECT& b);
bool isEmpty(const RECT& r);

// A surface rectangle filled with a DC colour, and one raw value written at a surface point,
// each only where the DC's clip allows.
void fillSurfaceRect(DeviceContext& dc, RECT r, COLORREF colour);
void plot(DeviceContext& dc, int sx, int sy, DWORD raw);

// Calls `paint(x0, x1)` for each run of row `sy` within [x0, x1) that the DC's clip and holes
// leave drawable, left to right.
template <class Paint>
void drawableRuns(const DeviceContext& dc, int sy, int x0, int x1, Paint&& paint) {
    const RECT& c = dc.clip;
    if (sy < c.top || sy >= c.bottom) return;
    if (x0 < c.left) x0 = c.left;
    if (x1 > c.right) x1 = c.right;
    if (dc.holes.empty()) {
        if (x0 < x1) paint(x0, x1);
        return;
    }
    const auto onRow = [sy](const RECT& h) { return sy >= h.top && sy < h.bottom; };
    int x = x0;
    while (x < x1) {
        for (bool moved = true; moved;) {
            moved = false;
            for (const RECT& h : dc.holes)
                if (onRow(h) && x >= h.left && x < h.right) {
                    x = h.right;
                    moved = true;
                }
        }
        if (x >= x1) return;
        int end = x1;
        for (const RECT& h : dc.holes)
            if (onRow(h) && h.left > x && h.left < end) end = h.left;
        paint(x, end);
        x = end;
    }
}

// One raw value over the drawable part of a row.
void fillSpan(DeviceContext& dc, int sy, int x0, int x1, DWORD raw);
// One raw value over the drawable part of a surface rectangle.
void fillBlock(DeviceContext& dc, RECT r, DWORD raw);

} // namespace winplat::gdi
