// Tooltips: tools are rectangles of windows with a text each. The owner relays its mouse
// messages (TTM_RELAYEVENT); when the mouse moves onto a tool, the tip shows that tool's text
// below the pointer, without taking the activation, and a button press or a move off the tool
// takes it away. The tip is transparent to the mouse.
#include "controls/ControlKit.h"
#include "win32/commonctrls.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace winplat::controls {
namespace {

struct Tool {
    UINT flags = 0;
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    RECT rect{};
    std::string text;
};

struct TipState {
    HFONT font = nullptr; // the status font, the tip's own
    std::vector<Tool> tools;
    int current = -1; // the tool whose text shows
    bool active = true;
};

PerWindow<TipState>& tips() {
    static auto* p = new PerWindow<TipState>;
    return *p;
}

HFONT statusFont() {
    NONCLIENTMETRICSA m{};
    m.cbSize = sizeof m;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
    return CreateFontIndirectA(&m.lfStatusFont);
}

bool toolContains(const Tool& t, HWND hwnd, POINT clientPoint) {
    if ((t.flags & TTF_IDISHWND) != 0) return reinterpret_cast<HWND>(t.id) == hwnd;
    return t.hwnd == hwnd && PtInRect(&t.rect, clientPoint);
}

void hide(HWND tip, TipState& s) {
    s.current = -1;
    if (IsWindowVisible(tip))
        SetWindowPos(tip, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
}

void show(HWND tip, TipState& s, int index, POINT screen) {
    s.current = index;
    const std::string& text = s.tools[static_cast<std::size_t>(index)].text;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontOr(s.font));
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    const int w = r.right + 6, h = r.bottom + 4;
    int x = screen.x, y = screen.y + GetSystemMetrics(SM_CYCURSOR) * 2 / 3;
    x = std::max(0, std::min(x, GetSystemMetrics(SM_CXSCREEN) - w));
    if (y + h > GetSystemMetrics(SM_CYSCREEN)) y = screen.y - h - 2;
    SetWindowPos(tip, HWND_TOP, x, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(tip, nullptr, TRUE);
}

void relay(HWND tip, TipState& s, const MSG& msg) {
    if (!s.active || msg.hwnd == nullptr) return;
    switch (msg.message) {
    case WM_MOUSEMOVE: {
        const POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        int found = -1;
        for (std::size_t i = 0; i < s.tools.size(); ++i)
            if (toolContains(s.tools[i], msg.hwnd, p)) {
                found = static_cast<int>(i);
                break;
            }
        if (found == s.current) return;
        if (found < 0) {
            hide(tip, s);
            return;
        }
        POINT screen = p;
        ClientToScreen(msg.hwnd, &screen);
        show(tip, s, found, screen);
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        hide(tip, s);
        return;
    default:
        return;
    }
}

int find(const TipState& s, const TOOLINFOA* info) {
    if (info == nullptr) return -1;
    for (std::size_t i = 0; i < s.tools.size(); ++i)
        if (s.tools[i].hwnd == info->hwnd && s.tools[i].id == info->uId) return static_cast<int>(i);
    return -1;
}

void fill(const Tool& t, TOOLINFOA* info) {
    info->uFlags = t.flags;
    info->hwnd = t.hwnd;
    info->uId = t.id;
    info->rect = t.rect;
    if (info->lpszText != nullptr) std::strcpy(info->lpszText, t.text.c_str());
}

void paint(HWND tip, const TipState& s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(tip, &ps);
    if (dc == nullptr) return;
    RECT r;
    GetClientRect(tip, &r);
    FillRect(dc, &r, sysBrush(COLOR_INFOBK));
    FrameRect(dc, &r, sysBrush(COLOR_INFOTEXT));
    if (s.current >= 0) {
        HGDIOBJ old = SelectObject(dc, fontOr(s.font));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
        RECT text = r;
        InflateRect(&text, -3, -2);
        DrawTextA(dc, s.tools[static_cast<std::size_t>(s.current)].text.c_str(), -1, &text,
                  DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    EndPaint(tip, &ps);
}

LRESULT CALLBACK tipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) tips().make(hwnd);
    TipState* s = tips().get(hwnd);
    if (s == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        s->font = statusFont();
        return 0;
    case WM_NCDESTROY:
        if (s->font != nullptr) DeleteObject(s->font);
        tips().drop(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_PAINT:
        paint(hwnd, *s);
        return 0;
    case TTM_ACTIVATE:
        s->active = wParam != 0;
        if (!s->active) hide(hwnd, *s);
        return 0;
    case TTM_ADDTOOLA: {
        const auto* info = reinterpret_cast<const TOOLINFOA*>(lParam);
        if (info == nullptr) return FALSE;
        Tool t;
        t.flags = info->uFlags;
        t.hwnd = info->hwnd;
        t.id = info->uId;
        t.rect = info->rect;
        if (info->lpszText != nullptr && info->lpszText != reinterpret_cast<LPSTR>(-1) &&
            reinterpret_cast<UINT_PTR>(info->lpszText) > 0xFFFF)
            t.text = info->lpszText;
        s->tools.push_back(t);
        return TRUE;
    }
    case TTM_DELTOOLA: {
        const int i = find(*s, reinterpret_cast<const TOOLINFOA*>(lParam));
        if (i >= 0) {
            if (s->current == i) hide(hwnd, *s);
            s->tools.erase(s->tools.begin() + i);
            if (s->current > i) --s->current;
        }
        return 0;
    }
    case TTM_NEWTOOLRECTA: {
        const auto* info = reinterpret_cast<const TOOLINFOA*>(lParam);
        const int i = find(*s, info);
        if (i >= 0) s->tools[static_cast<std::size_t>(i)].rect = info->rect;
        return 0;
    }
    case TTM_RELAYEVENT:
        if (lParam != 0) relay(hwnd, *s, *reinterpret_cast<const MSG*>(lParam));
        return 0;
    case TTM_GETTOOLCOUNT:
        return static_cast<LRESULT>(s->tools.size());
    case TTM_GETTOOLINFOA:
    case TTM_GETTEXTA: {
        auto* info = reinterpret_cast<TOOLINFOA*>(lParam);
        const int i = find(*s, info);
        if (i < 0) return FALSE;
        fill(s->tools[static_cast<std::size_t>(i)], info);
        return TRUE;
    }
    case TTM_GETCURRENTTOOLA: {
        if (s->current < 0) return FALSE;
        if (lParam != 0)
            fill(s->tools[static_cast<std::size_t>(s->current)],
                 reinterpret_cast<TOOLINFOA*>(lParam));
        return TRUE;
    }
    case TTM_POP:
        hide(hwnd, *s);
        return 0;
    case TTM_SETDELAYTIME:
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerToolTip() {
    registerControlClass(TOOLTIPS_CLASSA, tipProc, CS_SAVEBITS, COLOR_INFOBK);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerToolTip);
    return true;
}();

} // namespace
} // namespace winplat::controls
