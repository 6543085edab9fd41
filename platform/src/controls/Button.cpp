// The button class: push and default push buttons, check boxes, group boxes and owner-drawn
// buttons, which their parent paints through WM_DRAWITEM. A click is a press and a release
// inside the button, with the mouse or the space bar; it notifies BN_CLICKED.
#include "controls/ControlKit.h"

namespace winplat::controls {
namespace {

struct ButtonState {
    HFONT font = nullptr;
    UINT check = BST_UNCHECKED;
    bool pushed = false;   // drawn pressed
    bool tracking = false; // the mouse went down on it and holds the capture
    bool spaceDown = false;
    bool focused = false;
};

PerWindow<ButtonState>& buttons() {
    static auto* p = new PerWindow<ButtonState>;
    return *p;
}

UINT kindOf(HWND hwnd) {
    return styleOf(hwnd) & BS_TYPEMASK;
}

bool isCheckBox(UINT kind) {
    return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX;
}

void redraw(HWND hwnd) {
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void clicked(HWND hwnd, ButtonState& b) {
    if (kindOf(hwnd) == BS_AUTOCHECKBOX) {
        b.check = b.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        redraw(hwnd);
    }
    notify(hwnd, BN_CLICKED);
}

LRESULT dialogCode(HWND hwnd) {
    switch (kindOf(hwnd)) {
    case BS_PUSHBUTTON:
        return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case BS_DEFPUSHBUTTON:
        return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
    case BS_GROUPBOX:
        return DLGC_STATIC;
    default:
        return DLGC_BUTTON;
    }
}

void paintPush(HDC dc, HWND hwnd, const ButtonState& b, RECT r, bool enabled) {
    const RECT whole = r;
    if (kindOf(hwnd) == BS_DEFPUSHBUTTON) {
        FrameRect(dc, &r, sysBrush(COLOR_WINDOWFRAME));
        InflateRect(&r, -1, -1);
    }
    if (b.pushed) {
        FillRect(dc, &r, sysBrush(COLOR_BTNFACE));
        FrameRect(dc, &r, sysBrush(COLOR_3DSHADOW));
    } else {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
    RECT text = whole;
    if (b.pushed) OffsetRect(&text, 1, 1);
    drawText(dc, textOf(hwnd), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled);
    if (b.focused) {
        RECT focus = whole;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
}

void paintCheck(HDC dc, HWND hwnd, const ButtonState& b, const RECT& r, bool enabled) {
    constexpr int kBox = 13, kGap = 4;
    RECT box{r.left, r.top, r.left + kBox, r.bottom};
    UINT state = DFCS_BUTTONCHECK;
    if (b.check == BST_CHECKED) state |= DFCS_CHECKED;
    if (b.pushed) state |= DFCS_PUSHED;
    if (!enabled) state |= DFCS_INACTIVE;
    DrawFrameControl(dc, &box, DFC_BUTTON, state);
    RECT text{r.left + kBox + kGap, r.top, r.right, r.bottom};
    const std::string caption = textOf(hwnd);
    drawText(dc, caption, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE, enabled);
    if (b.focused && !caption.empty()) {
        RECT measured = text;
        DrawTextA(dc, caption.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
        const int h = measured.bottom - measured.top;
        RECT focus{text.left - 1, (r.top + r.bottom - h) / 2 - 1, measured.right + 1,
                   (r.top + r.bottom - h) / 2 + h + 1};
        IntersectRect(&focus, &focus, &r);
        DrawFocusRect(dc, &focus);
    }
}

void paintGroup(HDC dc, HWND hwnd, const RECT& r, HFONT font, bool enabled) {
    const int h = lineHeight(font);
    RECT frame{r.left, r.top + h / 2, r.right, r.bottom};
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    const std::string caption = textOf(hwnd);
    if (caption.empty()) return;
    RECT text{r.left + 8, r.top, r.right - 8, r.top + h};
    RECT measured = text;
    DrawTextA(dc, caption.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
    RECT under{text.left - 2, r.top, std::min(measured.right + 2, r.right - 6), r.top + h};
    FillRect(dc, &under, sysBrush(COLOR_BTNFACE));
    drawText(dc, caption, text, DT_LEFT | DT_SINGLELINE, enabled);
}

void paint(HWND hwnd, ButtonState& b) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    RECT r;
    GetClientRect(hwnd, &r);
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    HGDIOBJ oldFont = SelectObject(dc, fontOr(b.font));
    switch (kindOf(hwnd)) {
    case BS_OWNERDRAW: {
        UINT state = 0;
        if (b.pushed) state |= ODS_SELECTED;
        if (b.focused) state |= ODS_FOCUS;
        if (!enabled) state |= ODS_DISABLED;
        const UINT id = static_cast<UINT>(GetDlgCtrlID(hwnd));
        DRAWITEMSTRUCT item{ODT_BUTTON, id, 0, ODA_DRAWENTIRE, state, hwnd, dc, r, 0};
        winplat::user::notifyParent(hwnd, WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item));
        break;
    }
    case BS_GROUPBOX:
        paintGroup(dc, hwnd, r, b.font, enabled);
        break;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
        paintCheck(dc, hwnd, b, r, enabled);
        break;
    default:
        paintPush(dc, hwnd, b, r, enabled);
        break;
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

void press(HWND hwnd, ButtonState& b, bool pushed) {
    if (b.pushed == pushed) return;
    b.pushed = pushed;
    redraw(hwnd);
}

LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) buttons().make(hwnd);
    ButtonState* b = buttons().get(hwnd);
    if (b == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    const UINT kind = kindOf(hwnd);
    switch (message) {
    case WM_NCDESTROY:
        buttons().drop(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETFONT:
        b->font = reinterpret_cast<HFONT>(wParam);
        if (lParam != 0) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(b->font);
    case WM_GETDLGCODE:
        return dialogCode(hwnd);
    case WM_NCHITTEST:
        if (kind == BS_GROUPBOX) return HTTRANSPARENT;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND: {
        // A group box lies above the controls it frames and clips none of them: it paints
        // before them (windows paint in z-order), so they draw over its face.
        if (kind == BS_OWNERDRAW) return 1;
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, sysBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_PAINT:
        paint(hwnd, *b);
        return 0;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETFOCUS:
        b->focused = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_KILLFOCUS:
        b->focused = false;
        b->spaceDown = false;
        if (b->tracking) {
            b->tracking = false;
            ReleaseCapture();
        }
        b->pushed = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (kind == BS_GROUPBOX) return 0;
        SetFocus(hwnd);
        if (!IsWindow(hwnd)) return 0;
        b->tracking = true;
        SetCapture(hwnd);
        press(hwnd, *b, true);
        return 0;
    case WM_MOUSEMOVE:
        if (b->tracking) {
            RECT r;
            GetClientRect(hwnd, &r);
            press(hwnd, *b, PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != 0);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!b->tracking) return 0;
        b->tracking = false;
        const bool click = b->pushed;
        b->pushed = false;
        ReleaseCapture();
        redraw(hwnd);
        if (click) clicked(hwnd, *b);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (b->tracking && reinterpret_cast<HWND>(lParam) != hwnd) {
            b->tracking = false;
            press(hwnd, *b, false);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && kind != BS_GROUPBOX) {
            b->spaceDown = true;
            press(hwnd, *b, true);
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_KEYUP:
        if (wParam == VK_SPACE && b->spaceDown) {
            b->spaceDown = false;
            press(hwnd, *b, false);
            clicked(hwnd, *b);
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case BM_GETCHECK:
        return isCheckBox(kind) ? b->check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (isCheckBox(kind) && b->check != wParam) {
            b->check = static_cast<UINT>(wParam) & 3;
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case BM_GETSTATE:
        return (isCheckBox(kind) ? b->check : 0) | (b->pushed ? BST_PUSHED : 0) |
               (b->focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
        press(hwnd, *b, wParam != 0);
        return 0;
    case BM_SETSTYLE: {
        const DWORD style = (styleOf(hwnd) & ~static_cast<DWORD>(BS_TYPEMASK)) |
                            (static_cast<DWORD>(wParam) & BS_TYPEMASK);
        SetWindowLongPtrA(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
        if (LOWORD(lParam) != 0) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case BM_CLICK:
        if (!IsWindowEnabled(hwnd) || kind == BS_GROUPBOX) return 0;
        SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        if (IsWindow(hwnd)) SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerButton() {
    registerControlClass(WC_BUTTONA, buttonProc, CS_DBLCLKS, -1);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerButton);
    return true;
}();

} // namespace
} // namespace winplat::controls
