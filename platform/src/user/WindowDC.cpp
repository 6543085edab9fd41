// Window DCs and the painting of frames. A window's DC draws straight into the screen
// framebuffer at the window's place, cut to the parts of it that its ancestors show and with
// holes where its children and the windows above it lie, so that whatever paints in whatever
// order, the screen shows the windows in z-order.
#include "gdi/DeviceContext.h"
#include "gdi/Objects.h"
#include "user/WindowSystem.h"
#include "win32/controls.h"

#include <algorithm>
#include <array>
#include <unordered_map>

using namespace winplat::user;

namespace {

struct Area {
    POINT origin{0, 0};
    RECT visible{0, 0, 0, 0};
    std::vector<RECT> holes;
};

bool drawingOff(const Window* w) {
    for (const Window* up = w; up != nullptr; up = up->parent) {
        if (up->redrawOff) return true;
    }
    return !isShown(w);
}

Area areaOf(const Window* w, bool wholeWindow) {
    Area a;
    RECT base = wholeWindow ? windowRectOnScreen(w) : clientRectOnScreen(w);
    a.origin = POINT{base.left, base.top};
    if (drawingOff(w)) return a;
    RECT visible = base;
    for (const Window* up = w->parent; up != nullptr; up = up->parent)
        visible = intersectRects(visible, clientRectOnScreen(up));
    a.visible = visible;
    for (const Window* child : w->children) {
        if ((child->style & WS_VISIBLE) != 0) a.holes.push_back(windowRectOnScreen(child));
    }
    // Top-level windows never draw on the windows above them; a child only when it asks for
    // it with WS_CLIPSIBLINGS, so that a dialog's controls draw inside the group box that lies
    // above them.
    for (const Window* c = w; c->parent != nullptr; c = c->parent) {
        if (c->isChild() && (c->style & WS_CLIPSIBLINGS) == 0) continue;
        for (const Window* sibling : c->parent->children) {
            if (sibling == c) break;
            if ((sibling->style & WS_VISIBLE) != 0) a.holes.push_back(windowRectOnScreen(sibling));
        }
    }
    return a;
}

bool clientArea(HWND hwnd, POINT* origin, RECT* visible, std::vector<RECT>* holes) {
    Window* w = lookup(hwnd);
    if (w == nullptr) return false;
    Area a = areaOf(w, false);
    *origin = a.origin;
    *visible = a.visible;
    *holes = std::move(a.holes);
    return true;
}

COLORREF systemColour(int index) {
    return GetSysColor(index);
}

// The one DC of each CS_CLASSDC class, made for its first window that draws and deleted with
// the class's last window.
std::unordered_map<const WindowClass*, HDC>& classDCs() {
    static auto* m = new std::unordered_map<const WindowClass*, HDC>;
    return *m;
}

HDC classDC(Window* w, const RECT* limit) {
    if ((w->cls->style & CS_CLASSDC) == 0) return nullptr;
    HDC& dc = classDCs()[w->cls.get()];
    if (dc == nullptr) dc = winplat::gdi::createPersistentDC();
    if (dc == nullptr) return nullptr;
    Area a = areaOf(w, false);
    RECT visible = limit != nullptr ? intersectRects(a.visible, *limit) : a.visible;
    winplat::gdi::retargetWindowDC(dc, w->handle, a.origin, visible, a.holes);
    return dc;
}

HDC classDCOf(HWND hwnd) {
    Window* w = lookup(hwnd);
    return w != nullptr ? classDC(w, nullptr) : nullptr;
}

void dropClassDC(HWND hwnd) {
    Window* w = lookup(hwnd);
    if (w == nullptr || (w->cls->style & CS_CLASSDC) == 0) return;
    auto it = classDCs().find(w->cls.get());
    if (it == classDCs().end()) return;
    for (HWND other : allWindows()) {
        Window* o = lookup(other);
        if (o != nullptr && o != w && !o->destroyed && o->cls == w->cls) return;
    }
    winplat::gdi::deletePersistentDC(it->second);
    classDCs().erase(it);
}

// A realization that changed the system palette is told to every top-level window.
void paletteChanged(HWND source) {
    forgetSavedBits();
    for (Window* top : std::vector<Window*>(desktop()->children)) {
        if (lookup(top->handle) != nullptr)
            send(top->handle, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(source));
    }
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::gdi::setWindowAreaQuery(&clientArea);
    winplat::gdi::setSystemColourQuery(&systemColour);
    winplat::gdi::setClassDCQuery(&classDCOf);
    winplat::gdi::setPaletteChangeNotifier(&paletteChanged);
    addDestroyObserver(&dropClassDC);
    return true;
}();

HBRUSH sysBrush(int index) {
    return reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(index + 1));
}

void fill(HDC dc, const RECT& r, int colourIndex) {
    if (!emptyRect(r)) FillRect(dc, &r, sysBrush(colourIndex));
}

// One ring of a 3D edge: the top and left sides in one colour, the bottom and right in another.
void ring(HDC dc, const RECT& r, int topLeft, int bottomRight) {
    fill(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

RECT shrink(RECT r, int by) {
    return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by};
}

void raisedBox(HDC dc, const RECT& r) {
    fill(dc, r, COLOR_BTNFACE);
    ring(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
    ring(dc, shrink(r, 1), COLOR_3DHILIGHT, COLOR_3DSHADOW);
}

// A small solid triangle pointing up, down, left or right, centred in `r`.
void arrow(HDC dc, const RECT& r, int bar, bool first) {
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        int half = first ? i : 3 - i;
        if (bar == SB_VERT)
            fill(dc, RECT{cx - half, cy - 2 + i, cx + half + 1, cy - 1 + i}, COLOR_BTNTEXT);
        else
            fill(dc, RECT{cx - 2 + i, cy - half, cx - 1 + i, cy + half + 1}, COLOR_BTNTEXT);
    }
}

void paintBar(HDC dc, const Window* w, int bar) {
    RECT r = scrollBarRect(w, bar);
    if (emptyRect(r)) return;
    const ScrollBar& b = w->bars[bar];
    bool vertical = bar == SB_VERT;
    int length = vertical ? r.bottom - r.top : r.right - r.left;
    int arrowSize = std::min(vertical ? r.right - r.left : r.bottom - r.top, length / 2);
    fill(dc, r, COLOR_SCROLLBAR);
    RECT first = vertical ? RECT{r.left, r.top, r.right, r.top + arrowSize}
                          : RECT{r.left, r.top, r.left + arrowSize, r.bottom};
    RECT last = vertical ? RECT{r.left, r.bottom - arrowSize, r.right, r.bottom}
                         : RECT{r.right - arrowSize, r.top, r.right, r.bottom};
    raisedBox(dc, first);
    raisedBox(dc, last);
    arrow(dc, first, bar, true);
    arrow(dc, last, bar, false);
    int track = length - 2 * arrowSize;
    long long range = std::max(static_cast<long long>(b.max) - b.min + 1, 1LL);
    if (track <= 0 || b.page == 0) return;
    int thumb = static_cast<int>(
        std::min<long long>(track, track * static_cast<long long>(b.page) / range));
    thumb = std::max(thumb, std::min(8, track));
    long long movable = std::max(range - static_cast<long long>(b.page), 1LL);
    int start = arrowSize + static_cast<int>((track - thumb) * (b.pos - b.min) / movable);
    RECT t = vertical ? RECT{r.left, r.top + start, r.right, r.top + start + thumb}
                      : RECT{r.left + start, r.top, r.left + start + thumb, r.bottom};
    raisedBox(dc, t);
}

void paintCaption(HDC dc, const Window* w, const RECT& box) {
    bool active = GetActiveWindow() == w->handle;
    fill(dc, box, active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    RECT close = closeBoxInWindow(w);
    if (!emptyRect(close)) DrawFrameControl(dc, &close, DFC_CAPTION, DFCS_CAPTIONCLOSE);
    if (w->text.empty()) return;
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    RECT text{box.left + 4, box.top, emptyRect(close) ? box.right - 2 : close.left - 2, box.bottom};
    DrawTextA(dc, w->text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    if (font != nullptr) DeleteObject(font);
}

} // namespace

namespace winplat::user {

HDC acquireWindowDC(Window* w, bool wholeWindow, const RECT* limit) {
    if (!wholeWindow) {
        if (HDC shared = classDC(w, limit)) return shared;
    }
    Area a = areaOf(w, wholeWindow);
    RECT visible = limit != nullptr ? intersectRects(a.visible, *limit) : a.visible;
    return winplat::gdi::createWindowDC(w->handle, a.origin, visible, a.holes);
}

void releaseWindowDC(HDC dc) {
    ReleaseDC(nullptr, dc);
}

LRESULT eraseWithClassBrush(Window* w, HDC dc) {
    HBRUSH brush = w->cls->background;
    if (brush == nullptr || dc == nullptr) return 0;
    RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    FillRect(dc, &r, brush);
    return 1;
}

void paintFrame(Window* w) {
    Area a = areaOf(w, true);
    if (emptyRect(a.visible)) return;
    RECT clientOnScreen = clientRectOnScreen(w);
    a.holes.push_back(clientOnScreen);
    HDC dc = winplat::gdi::createWindowDC(w->handle, a.origin, a.visible, a.holes);
    if (dc == nullptr) return;
    RECT r{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    DWORD style = w->style;
    if ((style & (WS_THICKFRAME | WS_DLGFRAME)) != 0 || (w->exStyle & WS_EX_DLGMODALFRAME) != 0) {
        int b = GetSystemMetrics((style & WS_THICKFRAME) != 0 ? SM_CXFRAME : SM_CXDLGFRAME);
        fill(dc, r, COLOR_BTNFACE);
        ring(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
        ring(dc, shrink(r, 1), COLOR_3DHILIGHT, COLOR_3DSHADOW);
        r = shrink(r, b);
    } else if ((style & WS_BORDER) != 0) {
        ring(dc, r, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
        r = shrink(r, 1);
    }
    if ((style & WS_CAPTION) == WS_CAPTION) {
        int h = GetSystemMetrics(SM_CYCAPTION);
        paintCaption(dc, w, RECT{r.left, r.top, r.right, r.top + h - 1});
        fill(dc, RECT{r.left, r.top + h - 1, r.right, r.top + h}, COLOR_BTNFACE);
        r.top += h;
    }
    if ((w->exStyle & WS_EX_CLIENTEDGE) != 0) {
        ring(dc, r, COLOR_3DSHADOW, COLOR_3DHILIGHT);
        ring(dc, shrink(r, 1), COLOR_3DDKSHADOW, COLOR_3DLIGHT);
        r = shrink(r, 2);
    }
    if ((w->exStyle & WS_EX_STATICEDGE) != 0) ring(dc, r, COLOR_3DSHADOW, COLOR_3DHILIGHT);
    paintBar(dc, w, SB_VERT);
    paintBar(dc, w, SB_HORZ);
    RECT v = scrollBarRect(w, SB_VERT), h = scrollBarRect(w, SB_HORZ);
    if (!emptyRect(v) && !emptyRect(h))
        fill(dc, RECT{v.left, h.top, v.right, h.bottom}, COLOR_BTNFACE);
    ReleaseDC(nullptr, dc);
}

} // namespace winplat::user

extern "C" {

HDC GetWindowDC(HWND hwnd) {
    if (hwnd == nullptr) return GetDC(nullptr);
    Window* w = lookup(hwnd);
    return w != nullptr ? acquireWindowDC(w, true, nullptr) : nullptr;
}

BOOL DrawFocusRect(HDC dc, const RECT* rect) {
    if (dc == nullptr || rect == nullptr || emptyRect(*rect)) return FALSE;
    // Every other pixel of the outline is inverted, so that drawing it twice takes it away.
    auto dot = [dc](int x, int y) { PatBlt(dc, x, y, 1, 1, DSTINVERT); };
    for (int x = rect->left; x < rect->right; x += 2) {
        dot(x, rect->top);
        if (rect->bottom - 1 > rect->top) dot(x, rect->bottom - 1);
    }
    for (int y = rect->top + 2; y < rect->bottom - 1; y += 2) {
        dot(rect->left, y);
        if (rect->right - 1 > rect->left) dot(rect->right - 1, y);
    }
    return TRUE;
}

HBRUSH GetSysColorBrush(int index) {
    static std::array<HBRUSH, 31> brushes{};
    if (index < 0 || index >= static_cast<int>(brushes.size())) return nullptr;
    winplat::gdi::Guard guard(winplat::gdi::gdiLock());
    if (brushes[static_cast<std::size_t>(index)] == nullptr) {
        auto* b = new winplat::gdi::Brush;
        b->colour = GetSysColor(index);
        b->stock = true;
        brushes[static_cast<std::size_t>(index)] = static_cast<HBRUSH>(winplat::gdi::adopt(b));
    }
    return brushes[static_cast<std::size_t>(index)];
}

} // extern "C"
