// Default processing: frames, hit testing, text, closing, cursors, activation and the
// scroll bars of a window's frame.
#include "user/WindowSystem.h"

#include <algorithm>
#include <cstring>

using namespace winplat::user;

namespace winplat::user {

RECT frameInsets(DWORD style, DWORD exStyle) {
    int b = 0;
    if ((style & WS_THICKFRAME) != 0)
        b = GetSystemMetrics(SM_CXFRAME);
    else if ((style & WS_DLGFRAME) != 0 || (exStyle & WS_EX_DLGMODALFRAME) != 0)
        b = GetSystemMetrics(SM_CXDLGFRAME);
    else if ((style & WS_BORDER) != 0)
        b = GetSystemMetrics(SM_CXBORDER);
    RECT in{b, b, b, b};
    if ((style & WS_CAPTION) == WS_CAPTION) in.top += GetSystemMetrics(SM_CYCAPTION);
    int edge = 0;
    if ((exStyle & WS_EX_CLIENTEDGE) != 0) edge += GetSystemMetrics(SM_CXEDGE);
    if ((exStyle & WS_EX_STATICEDGE) != 0) edge += GetSystemMetrics(SM_CXBORDER);
    in.left += edge;
    in.top += edge;
    in.right += edge;
    in.bottom += edge;
    return in;
}

RECT closeBoxInWindow(const Window* w) {
    if ((w->style & WS_CAPTION) != WS_CAPTION || (w->style & WS_SYSMENU) == 0) return RECT{};
    int b = 0;
    if ((w->style & WS_THICKFRAME) != 0)
        b = GetSystemMetrics(SM_CXFRAME);
    else if ((w->style & WS_DLGFRAME) != 0 || (w->exStyle & WS_EX_DLGMODALFRAME) != 0)
        b = GetSystemMetrics(SM_CXDLGFRAME);
    const int width = w->rect.right - w->rect.left;
    const int h = GetSystemMetrics(SM_CYCAPTION) - 1;
    const int side = h - 4;
    const RECT box{width - b - 2 - (side + 2), b + 2, width - b - 2, b + 2 + side};
    return box.left > b ? box : RECT{};
}

} // namespace winplat::user

namespace {

// The window whose close box the left button went down on.
HWND g_closePressed = nullptr;

void calcClient(const Window* w, RECT* r) {
    RECT in = frameInsets(w->style, w->exStyle);
    r->left += in.left;
    r->top += in.top;
    r->right -= in.right;
    r->bottom -= in.bottom;
    if ((w->style & WS_VSCROLL) != 0 && r->right - r->left >= GetSystemMetrics(SM_CXVSCROLL))
        r->right -= GetSystemMetrics(SM_CXVSCROLL);
    if ((w->style & WS_HSCROLL) != 0 && r->bottom - r->top >= GetSystemMetrics(SM_CYHSCROLL))
        r->bottom -= GetSystemMetrics(SM_CYHSCROLL);
    r->right = std::max(r->right, r->left);
    r->bottom = std::max(r->bottom, r->top);
}

LRESULT hitTest(const Window* w, POINT p) {
    if (!containsPoint(windowRectOnScreen(w), p)) return HTNOWHERE;
    if (containsPoint(clientRectOnScreen(w), p)) return HTCLIENT;
    int bar = scrollBarHit(w, p);
    if (bar != HTNOWHERE) return bar;
    RECT close = closeBoxInWindow(w);
    RECT onScreen = windowRectOnScreen(w);
    if (!emptyRect(close) && containsPoint(offsetRect(close, onScreen.left, onScreen.top), p))
        return 20; // HTCLOSE
    if ((w->style & WS_CAPTION) == WS_CAPTION) {
        RECT wr = windowRectOnScreen(w);
        RECT in = frameInsets(w->style & ~static_cast<DWORD>(WS_CAPTION), w->exStyle);
        RECT caption{wr.left + in.left, wr.top + in.top, wr.right - in.right,
                     wr.top + in.top + GetSystemMetrics(SM_CYCAPTION)};
        if (containsPoint(caption, p)) return HTCAPTION;
    }
    return HTBORDER;
}

LRESULT setCursor(Window* w, WPARAM wParam, LPARAM lParam) {
    if (w->isChild() && w->parent != nullptr &&
        send(w->parent->handle, WM_SETCURSOR, wParam, lParam) != 0)
        return TRUE;
    if (reinterpret_cast<HWND>(wParam) != w->handle) return FALSE;
    if (static_cast<SHORT>(LOWORD(lParam)) == HTCLIENT) {
        if (w->cls->cursor == nullptr) return FALSE;
        SetCursor(w->cls->cursor);
        return TRUE;
    }
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return FALSE;
}

} // namespace

extern "C" {

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc != nullptr ? proc(hwnd, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = lookup(hwnd);
    if (w == nullptr) return 0;
    switch (message) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (cs != nullptr && cs->lpszName != nullptr) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_NCCALCSIZE:
        if (wParam == FALSE && lParam != 0) calcClient(w, reinterpret_cast<RECT*>(lParam));
        return 0;
    case WM_NCHITTEST:
        return hitTest(w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        g_closePressed = wParam == 20 /* HTCLOSE */ ? hwnd : nullptr;
        if (wParam == HTVSCROLL || wParam == HTHSCROLL)
            scrollBarClick(w, static_cast<int>(wParam),
                           POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_NCLBUTTONUP: {
        const bool close = wParam == 20 /* HTCLOSE */ && g_closePressed == hwnd;
        g_closePressed = nullptr;
        if (close) SendMessageA(hwnd, WM_SYSCOMMAND, 0xF060 /* SC_CLOSE */, lParam);
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == 0xF060 /* SC_CLOSE */) SendMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_SETTEXT:
        w->text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
        if ((w->style & WS_CAPTION) == WS_CAPTION)
            invalidate(w, nullptr, RDW_FRAME | RDW_INVALIDATE);
        return TRUE;
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(wParam) - 1);
        std::memcpy(buffer, w->text.data(), n);
        buffer[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SETREDRAW:
        w->redrawOff = wParam == FALSE;
        return 0;
    case WM_ERASEBKGND:
        return eraseWithClassBrush(w, reinterpret_cast<HDC>(wParam));
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCPAINT:
        paintFrame(w);
        return 0;
    case WM_SETCURSOR:
        return setCursor(w, wParam, lParam);
    case WM_MOUSEACTIVATE:
        if (w->isChild() && w->parent != nullptr) {
            LRESULT r = send(w->parent->handle, WM_MOUSEACTIVATE, wParam, lParam);
            if (r != 0) return r;
        }
        return MA_ACTIVATE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
        return 0;
    case WM_NCACTIVATE:
        if ((w->style & WS_CAPTION) == WS_CAPTION)
            invalidate(w, nullptr, RDW_FRAME | RDW_INVALIDATE);
        return TRUE;
    case WM_MOUSEWHEEL:
    case WM_CONTEXTMENU:
        if (w->isChild() && w->parent != nullptr)
            return send(w->parent->handle, message, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}

} // extern "C"
