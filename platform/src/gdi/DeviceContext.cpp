// Making and releasing device contexts, their capabilities and their drawing state.
#include "gdi/DeviceContext.h"
#include "gdi/Device.h"

#include <algorithm>
#include <cstring>

namespace winplat::gdi {
namespace {

// Bytes of one stretch of a block fill: well inside the first-level cache.
constexpr std::size_t kFillStretch = 16384;

WindowAreaQuery g_windowArea = nullptr;
SystemColourQuery g_systemColour = nullptr;
ClassDCQuery g_classDC = nullptr;
PaletteChangeNotifier g_paletteChange = nullptr;

template <class T> void hold(T*& slot, GdiObject* o) {
    slot = static_cast<T*>(o);
    ++slot->selections;
}

DeviceContext* newDC(DcKind kind) {
    auto* dc = new DeviceContext(kind);
    hold(dc->pen, stockObject(BLACK_PEN));
    hold(dc->brush, stockObject(WHITE_BRUSH));
    hold(dc->font, stockObject(SYSTEM_FONT));
    hold(dc->palette, stockObject(DEFAULT_PALETTE));
    if (kind == DcKind::Memory) {
        hold(dc->bitmap, stockBitmap());
        dc->area = {0, 0, 1, 1};
    } else {
        dc->area = {0, 0, WINPLAT_SCREEN_WIDTH, WINPLAT_SCREEN_HEIGHT};
    }
    dc->clip = dc->area;
    return dc;
}

template <class T> T swapValue(T& slot, T value) {
    T old = slot;
    slot = value;
    return old;
}

} // namespace

DeviceContext::~DeviceContext() {
    for (GdiObject* o : {static_cast<GdiObject*>(pen), static_cast<GdiObject*>(brush),
                         static_cast<GdiObject*>(font), static_cast<GdiObject*>(palette),
                         static_cast<GdiObject*>(bitmap)})
        if (o != nullptr) --o->selections;
    for (const SavedDCState& s : saved)
        for (GdiObject* o : {static_cast<GdiObject*>(s.pen), static_cast<GdiObject*>(s.brush),
                             static_cast<GdiObject*>(s.font), static_cast<GdiObject*>(s.palette)})
            --o->selections;
    if (bitmap != nullptr && bitmap->selectedInto == this) bitmap->selectedInto = nullptr;
}

const Surface& DeviceContext::surface() const {
    return kind == DcKind::Memory ? bitmap->surface : device().screen;
}

RECT DeviceContext::toSurface(const RECT& r) const {
    const POINT a = toSurface(r.left, r.top);
    const POINT b = toSurface(r.right, r.bottom);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

COLORREF DeviceContext::resolve(COLORREF colour) const {
    return resolveThrough(
        palette != nullptr ? *palette : *static_cast<const Palette*>(stockObject(DEFAULT_PALETTE)),
        colour);
}

int nearestPaletteEntry(const Palette& palette, COLORREF colour) {
    std::vector<RGBQUAD> quads;
    for (const PALETTEENTRY& e : palette.entries)
        quads.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
    return nearestEntry(quads.data(), static_cast<int>(quads.size()), colour & 0x00FFFFFFu);
}

COLORREF resolveThrough(const Palette& pal, COLORREF colour) {
    const auto entryColour = [&](std::size_t i) {
        const PALETTEENTRY& e = pal.entries[i < pal.entries.size() ? i : 0];
        return RGB(e.peRed, e.peGreen, e.peBlue);
    };
    switch (colour >> 24) {
    case 1:
        return entryColour(colour & 0xFFFFu);
    case 2:
        if (!device().paletteMode) return colour & 0x00FFFFFFu;
        return entryColour(static_cast<std::size_t>(nearestPaletteEntry(pal, colour)));
    default:
        return colour & 0x00FFFFFFu;
    }
}

PaletteEncoder::PaletteEncoder(const Surface& surface, const Palette& logical)
    : m_logical(logical), m_plain(surface),
      m_system(device().paletteMode && surface.table != nullptr && surface.table == deviceTable()) {
}

DWORD PaletteEncoder::slotFor(const Palette& palette, COLORREF colour, Found& found) {
    auto known = found.find(colour);
    if (known != found.end()) return known->second;
    const DWORD slot =
        systemSlot(palette, static_cast<std::size_t>(nearestPaletteEntry(palette, colour)));
    found.emplace(colour, slot);
    return slot;
}

DWORD PaletteEncoder::ink(COLORREF colour) {
    if (!m_system) return m_plain.encode(resolveThrough(m_logical, colour));
    switch (colour >> 24) {
    case 1: {
        const std::size_t index = colour & 0xFFFFu;
        return systemSlot(m_logical, index < m_logical.entries.size() ? index : 0);
    }
    case 2:
        return slotFor(m_logical, colour & 0x00FFFFFFu, m_logicalFound);
    default:
        return slotFor(*static_cast<const Palette*>(stockObject(DEFAULT_PALETTE)),
                       colour & 0x00FFFFFFu, m_reservedFound);
    }
}

DWORD PaletteEncoder::pixel(COLORREF colour) {
    if (!m_system) return m_plain.encode(colour);
    colour &= 0x00FFFFFFu;
    if (!m_haveLast || colour != m_lastPixel) {
        m_lastSlot = slotFor(m_logical, colour, m_logicalFound);
        m_lastPixel = colour;
        m_haveLast = true;
    }
    return m_lastSlot;
}

HDC createWindowDC(HWND window, POINT origin, const RECT& visible) {
    return createWindowDC(window, origin, visible, {});
}

HDC createWindowDC(HWND window, POINT origin, const RECT& visible, const std::vector<RECT>& holes) {
    Guard guard(gdiLock());
    DeviceContext* dc = newDC(DcKind::Window);
    dc->window = window;
    dc->origin = origin;
    dc->area = intersect(visible, RECT{0, 0, WINPLAT_SCREEN_WIDTH, WINPLAT_SCREEN_HEIGHT});
    dc->clip = dc->area;
    for (const RECT& h : holes)
        if (!isEmpty(intersect(h, dc->area))) dc->holes.push_back(intersect(h, dc->area));
    return static_cast<HDC>(adopt(dc));
}

HDC createPersistentDC() {
    Guard guard(gdiLock());
    DeviceContext* dc = newDC(DcKind::Window);
    dc->persistent = true;
    dc->area = dc->clip = RECT{0, 0, 0, 0};
    return static_cast<HDC>(adopt(dc));
}

bool retargetWindowDC(HDC hdc, HWND window, POINT origin, const RECT& visible,
                      const std::vector<RECT>& holes) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || !dc->persistent) return false;
    dc->window = window;
    dc->origin = origin;
    dc->area = intersect(visible, RECT{0, 0, WINPLAT_SCREEN_WIDTH, WINPLAT_SCREEN_HEIGHT});
    dc->clip = dc->area;
    dc->holes.clear();
    for (const RECT& h : holes)
        if (!isEmpty(intersect(h, dc->area))) dc->holes.push_back(intersect(h, dc->area));
    return true;
}

void deletePersistentDC(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc != nullptr && dc->persistent) destroy(dc);
}

void setClassDCQuery(ClassDCQuery query) {
    Guard guard(gdiLock());
    g_classDC = query;
}

void setPaletteChangeNotifier(PaletteChangeNotifier notifier) {
    Guard guard(gdiLock());
    g_paletteChange = notifier;
}

PaletteChangeNotifier paletteChangeNotifier() {
    return g_paletteChange;
}

void setWindowAreaQuery(WindowAreaQuery query) {
    Guard guard(gdiLock());
    g_windowArea = query;
}

void setSystemColourQuery(SystemColourQuery query) {
    Guard guard(gdiLock());
    g_systemColour = query;
}

SystemColourQuery systemColourQuery() {
    return g_systemColour;
}

RECT intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (isEmpty(r)) r = {0, 0, 0, 0};
    return r;
}

bool isEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

void fillSurfaceRect(DeviceContext& dc, RECT r, COLORREF colour) {
    r = intersect(r, dc.clip);
    if (isEmpty(r)) return;
    PaletteEncoder encoder(dc);
    fillBlock(dc, r, encoder.ink(colour));
}

void fillSpan(DeviceContext& dc, int sy, int x0, int x1, DWORD raw) {
    const Surface& s = dc.surface();
    drawableRuns(dc, sy, x0, x1, [&](int a, int b) { s.fillRaw(sy, a, b, raw); });
}

void fillBlock(DeviceContext& dc, RECT r, DWORD raw) {
    r = intersect(r, dc.clip);
    if (isEmpty(r)) return;
    if (!dc.holes.empty()) {
        for (int y = r.top; y < r.bottom; ++y)
            fillSpan(dc, y, r.left, r.right, raw);
        return;
    }
    const Surface& s = dc.surface();
    const std::size_t bytes = static_cast<std::size_t>(s.pixelBytes());
    const std::size_t rowBytes = bytes * static_cast<std::size_t>(s.width);
    const std::size_t rows = static_cast<std::size_t>(r.bottom - r.top);
    // Whole rows with nothing between them are one run of pixels: a picture one pixel wide
    // is filled at the cost of its bytes, not of a call per row. A short stretch is made
    // first and copied on, so that what is copied stays in the cache.
    const std::size_t step = static_cast<std::size_t>(s.step < 0 ? -s.step : s.step);
    if (bytes != 0 && r.left == 0 && r.right == s.width && step == rowBytes) {
        BYTE* at = s.row(s.step < 0 ? r.bottom - 1 : r.top);
        const std::size_t total = rowBytes * rows;
        const std::size_t stretch = std::min(total, bytes * (kFillStretch / bytes));
        s.setRawAt(at, raw);
        for (std::size_t done = bytes; done < stretch;) {
            const std::size_t more = std::min(done, stretch - done);
            std::memcpy(at + done, at, more);
            done += more;
        }
        for (std::size_t done = stretch; done < total; done += stretch)
            std::memcpy(at + done, at, std::min(stretch, total - done));
        return;
    }
    for (int y = r.top; y < r.bottom; ++y)
        s.fillRaw(y, r.left, r.right, raw);
}

void plot(DeviceContext& dc, int sx, int sy, DWORD raw) {
    const RECT& c = dc.clip;
    if (sx < c.left || sy < c.top || sx >= c.right || sy >= c.bottom) return;
    if (!dc.drawable(sx, sy)) return;
    dc.surface().setRaw(sx, sy, raw);
}

} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

HDC GetDC(HWND window) {
    Guard guard(gdiLock());
    if (failNow(WINPLAT_CALL_GET_DC)) return nullptr;
    if (window == nullptr) return static_cast<HDC>(adopt(newDC(DcKind::Screen)));
    if (g_classDC != nullptr) {
        if (HDC shared = g_classDC(window)) return shared;
    }
    POINT origin{0, 0};
    RECT visible{0, 0, 0, 0};
    std::vector<RECT> holes;
    if (g_windowArea == nullptr || !g_windowArea(window, &origin, &visible, &holes)) return nullptr;
    return createWindowDC(window, origin, visible, holes);
}

int ReleaseDC(HWND, HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || dc->kind == DcKind::Memory) return 0;
    if (!dc->persistent) destroy(dc);
    return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
    Guard guard(gdiLock());
    if (hdc != nullptr && lookupDC(hdc) == nullptr) return nullptr;
    if (failNow(WINPLAT_CALL_CREATE_COMPATIBLE_DC)) return nullptr;
    return static_cast<HDC>(adopt(newDC(DcKind::Memory)));
}

BOOL DeleteDC(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || dc->persistent) return FALSE;
    destroy(dc);
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    Guard guard(gdiLock());
    if (lookupDC(hdc) == nullptr) return 0;
    const Device& d = device();
    switch (index) {
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case HORZSIZE:
        return (WINPLAT_SCREEN_WIDTH * 254 + 480) / 960;
    case VERTSIZE:
        return (WINPLAT_SCREEN_HEIGHT * 254 + 480) / 960;
    case HORZRES:
        return WINPLAT_SCREEN_WIDTH;
    case VERTRES:
        return WINPLAT_SCREEN_HEIGHT;
    case BITSPIXEL:
        return deviceBits();
    case PLANES:
        return 1;
    case NUMCOLORS:
        return d.paletteMode ? 20 : -1;
    case RASTERCAPS:
        return d.rasterCaps;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case SIZEPALETTE:
        return d.paletteMode ? 256 : 0;
    case NUMRESERVED:
        return d.paletteMode ? 20 : 0;
    case COLORRES:
        return d.paletteMode ? 18 : 24;
    default:
        return 0;
    }
}

int SetBkMode(HDC hdc, int mode) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
    return swapValue(dc->bkMode, mode);
}

int GetBkMode(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? dc->bkMode : 0;
}

COLORREF SetBkColor(HDC hdc, COLORREF colour) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? swapValue(dc->bkColour, colour) : CLR_INVALID;
}

COLORREF GetBkColor(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? dc->bkColour : CLR_INVALID;
}

COLORREF SetTextColor(HDC hdc, COLORREF colour) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? swapValue(dc->textColour, colour) : CLR_INVALID;
}

COLORREF GetTextColor(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? dc->textColour : CLR_INVALID;
}

UINT SetTextAlign(HDC hdc, UINT align) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? swapValue(dc->textAlign, align) : GDI_ERROR;
}

UINT GetTextAlign(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? dc->textAlign : GDI_ERROR;
}

int SetStretchBltMode(HDC hdc, int mode) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    return swapValue(dc->stretchMode, mode);
}

int GetStretchBltMode(HDC hdc) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr ? dc->stretchMode : 0;
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT previous) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    if (previous != nullptr) *previous = dc->viewportOrg;
    dc->viewportOrg = {x, y};
    return TRUE;
}

BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT previous) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return FALSE;
    if (previous != nullptr) *previous = dc->windowOrg;
    dc->windowOrg = {x, y};
    return TRUE;
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr) return ERROR;
    dc->clip = intersect(dc->clip, dc->toSurface(RECT{left, top, right, bottom}));
    return isEmpty(dc->clip) ? NULLREGION : SIMPLEREGION;
}

int GetClipBox(HDC hdc, LPRECT rect) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || rect == nullptr) return ERROR;
    const POINT zero = dc->toSurface(0, 0);
    *rect = {dc->clip.left - zero.x, dc->clip.top - zero.y, dc->clip.right - zero.x,
             dc->clip.bottom - zero.y};
    return isEmpty(dc->clip) ? NULLREGION : SIMPLEREGION;
}

} // extern "C"
