// The static class: a label, wrapped at word breaks, transparent to the mouse; a disabled label
// is drawn embossed.
#include "controls/ControlKit.h"

namespace winplat::controls {
namespace {

struct StaticState {
    HFONT font = nullptr;
};

PerWindow<StaticState>& statics() {
    static auto* p = new PerWindow<StaticState>;
    return *p;
}

void paint(HWND hwnd, const StaticState& s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    RECT r;
    GetClientRect(hwnd, &r);
    const DWORD style = styleOf(hwnd);
    UINT format = DT_WORDBREAK | DT_EXPANDTABS;
    if ((style & 3) == SS_CENTER) format |= DT_CENTER;
    if ((style & 3) == SS_RIGHT) format |= DT_RIGHT;
    if ((style & SS_NOPREFIX) != 0) format |= DT_NOPREFIX;
    HGDIOBJ old = SelectObject(dc, fontOr(s.font));
    drawText(dc, textOf(hwnd), r, format, IsWindowEnabled(hwnd) != FALSE);
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) statics().make(hwnd);
    StaticState* s = statics().get(hwnd);
    if (s == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCDESTROY:
        statics().drop(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wParam);
        if (lParam != 0) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_NCHITTEST:
        if ((styleOf(hwnd) & SS_NOTIFY) == 0) return HTTRANSPARENT;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_PAINT:
        paint(hwnd, *s);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerStatic() {
    registerControlClass(WC_STATICA, staticProc, 0, COLOR_BTNFACE);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerStatic);
    return true;
}();

} // namespace
} // namespace winplat::controls
