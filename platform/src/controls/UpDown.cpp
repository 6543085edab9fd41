// The up-down control: two arrows that step a position within a range, optionally written into
// a buddy window as a decimal number (UDS_SETBUDDYINT) and read back from it before each step.
// With UDS_AUTOBUDDY the buddy is the control just before it in z-order; UDS_ALIGNRIGHT and
// UDS_ALIGNLEFT place the arrows on the buddy's edge, which the buddy gives up; UDS_ARROWKEYS
// lets the Up and Down keys in the buddy step too.
#include "controls/ControlKit.h"
#include "win32/commonctrls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace winplat::controls {
namespace {

// How far the arrows overlap a buddy's border.
constexpr int kBuddyBorder = 2;

struct UpDownState {
    int lower = 100; // the end the down arrow goes towards
    int upper = 0;
    int pos = 0;
    HWND buddy = nullptr;
    int pressed = 0; // +1 the up arrow, -1 the down arrow
};

PerWindow<UpDownState>& updowns() {
    static auto* p = new PerWindow<UpDownState>;
    return *p;
}

// Buddies whose keys the arrows take: the buddy's own procedure and its up-down.
struct Buddy {
    WNDPROC proc = nullptr;
    HWND updown = nullptr;
};
PerWindow<Buddy>& buddies() {
    static auto* p = new PerWindow<Buddy>;
    return *p;
}

bool horizontal(HWND hwnd) {
    return (styleOf(hwnd) & UDS_HORZ) != 0;
}

bool inRange(const UpDownState& u, long v) {
    return v >= std::min(u.lower, u.upper) && v <= std::max(u.lower, u.upper);
}

// The buddy's number, when it is one within the range.
bool readBuddy(HWND hwnd, UpDownState& u) {
    if (u.buddy == nullptr || (styleOf(hwnd) & UDS_SETBUDDYINT) == 0) return true;
    const std::string text = textOf(u.buddy);
    const char* p = text.c_str();
    while (*p == ' ')
        ++p;
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p || *end != '\0' || !inRange(u, v)) return false;
    u.pos = static_cast<int>(v);
    return true;
}

void writeBuddy(HWND hwnd, const UpDownState& u) {
    if (u.buddy == nullptr || (styleOf(hwnd) & UDS_SETBUDDYINT) == 0) return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", u.pos);
    SetWindowTextA(u.buddy, text);
}

void step(HWND hwnd, UpDownState& u, int direction) {
    readBuddy(hwnd, u);
    const int delta = (u.upper >= u.lower ? 1 : -1) * direction;
    NMUPDOWN nm{{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), UDN_DELTAPOS}, u.pos, delta};
    if (winplat::user::notifyParent(hwnd, WM_NOTIFY, nm.hdr.idFrom,
                                    reinterpret_cast<LPARAM>(&nm)) != 0)
        return;
    UpDownState* again = updowns().get(hwnd);
    if (again == nullptr) return;
    long next = static_cast<long>(again->pos) + nm.iDelta;
    const int low = std::min(again->lower, again->upper),
              high = std::max(again->lower, again->upper);
    if (next < low || next > high) {
        if ((styleOf(hwnd) & UDS_WRAP) != 0)
            next = next < low ? high : low;
        else
            next = std::clamp<long>(next, low, high);
    }
    if (next == again->pos) return;
    again->pos = static_cast<int>(next);
    writeBuddy(hwnd, *again);
    HWND parent = GetParent(hwnd);
    if (parent != nullptr)
        SendMessageA(parent, horizontal(hwnd) ? WM_HSCROLL : WM_VSCROLL,
                     MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(again->pos)),
                     reinterpret_cast<LPARAM>(hwnd));
}

LRESULT CALLBACK buddyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Buddy* b = buddies().get(hwnd);
    if (b == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    const WNDPROC proc = b->proc;
    const HWND updown = b->updown;
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
        if (UpDownState* u = updowns().get(updown)) {
            step(updown, *u, wParam == VK_UP ? 1 : -1);
            return 0;
        }
    }
    if (message == WM_GETDLGCODE)
        return CallWindowProcA(proc, hwnd, message, wParam, lParam) | DLGC_WANTARROWS;
    if (message == WM_NCDESTROY) {
        if (GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&buddyProc))
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
        buddies().drop(hwnd);
    }
    return CallWindowProcA(proc, hwnd, message, wParam, lParam);
}

void releaseBuddy(HWND hwnd, UpDownState& u) {
    if (u.buddy == nullptr) return;
    Buddy* b = buddies().get(u.buddy);
    if (b != nullptr && b->updown == hwnd) {
        if (GetWindowLongPtrA(u.buddy, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&buddyProc))
            SetWindowLongPtrA(u.buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(b->proc));
        buddies().drop(u.buddy);
    }
    u.buddy = nullptr;
}

void alignToBuddy(HWND hwnd, const UpDownState& u) {
    const DWORD style = styleOf(hwnd);
    if ((style & (UDS_ALIGNLEFT | UDS_ALIGNRIGHT)) == 0 || u.buddy == nullptr) return;
    HWND parent = GetParent(hwnd);
    RECT b, self;
    GetWindowRect(u.buddy, &b);
    GetWindowRect(hwnd, &self);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&b), 2);
    const int width = self.right - self.left;
    const bool bordered =
        (GetWindowLongPtrA(u.buddy, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0 ||
        (styleOf(u.buddy) & WS_BORDER) != 0;
    const int overlap = bordered ? kBuddyBorder : 0;
    int x = 0;
    if ((style & UDS_ALIGNLEFT) != 0) {
        x = b.left;
        b.left += width - overlap;
    } else {
        b.right -= width - overlap;
        x = b.right - overlap;
    }
    SetWindowPos(u.buddy, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(hwnd, nullptr, x, b.top, width, b.bottom - b.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND setBuddy(HWND hwnd, UpDownState& u, HWND buddy) {
    HWND old = u.buddy;
    releaseBuddy(hwnd, u);
    if (buddy == nullptr || !IsWindow(buddy)) return old;
    u.buddy = buddy;
    if ((styleOf(hwnd) & UDS_ARROWKEYS) != 0 && buddies().get(buddy) == nullptr) {
        Buddy& b = buddies().make(buddy);
        b.updown = hwnd;
        b.proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&buddyProc)));
    }
    alignToBuddy(hwnd, u);
    return old;
}

void halves(HWND hwnd, RECT* up, RECT* down) {
    RECT r;
    GetClientRect(hwnd, &r);
    *up = *down = r;
    if (horizontal(hwnd)) {
        const int mid = (r.left + r.right) / 2;
        down->right = mid; // left arrow
        up->left = mid;
    } else {
        const int mid = (r.top + r.bottom) / 2;
        up->bottom = mid;
        down->top = mid;
    }
}

void paint(HWND hwnd, const UpDownState& u) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    RECT up, down;
    halves(hwnd, &up, &down);
    const UINT inactive = IsWindowEnabled(hwnd) ? 0 : DFCS_INACTIVE;
    const bool h = horizontal(hwnd);
    DrawFrameControl(dc, &up, DFC_SCROLL,
                     (h ? DFCS_SCROLLRIGHT : DFCS_SCROLLUP) | inactive |
                         (u.pressed > 0 ? DFCS_PUSHED : 0));
    DrawFrameControl(dc, &down, DFC_SCROLL,
                     (h ? DFCS_SCROLLLEFT : DFCS_SCROLLDOWN) | inactive |
                         (u.pressed < 0 ? DFCS_PUSHED : 0));
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK updownProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) updowns().make(hwnd);
    UpDownState* u = updowns().get(hwnd);
    if (u == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        if ((styleOf(hwnd) & UDS_AUTOBUDDY) != 0) setBuddy(hwnd, *u, GetWindow(hwnd, GW_HWNDPREV));
        return 0;
    case WM_DESTROY:
        releaseBuddy(hwnd, *u);
        return 0;
    case WM_NCDESTROY:
        updowns().drop(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_PAINT:
        paint(hwnd, *u);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        RECT up, down;
        halves(hwnd, &up, &down);
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const int direction = PtInRect(&up, p) ? 1 : PtInRect(&down, p) ? -1 : 0;
        if (direction == 0) return 0;
        if (u->buddy != nullptr && GetFocus() != u->buddy) SetFocus(u->buddy);
        u = updowns().get(hwnd);
        if (u == nullptr) return 0;
        u->pressed = direction;
        SetCapture(hwnd);
        InvalidateRect(hwnd, nullptr, TRUE);
        step(hwnd, *u, direction);
        return 0;
    }
    case WM_LBUTTONUP:
        if (u->pressed != 0) {
            u->pressed = 0;
            if (GetCapture() == hwnd) ReleaseCapture();
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (u->pressed != 0 && reinterpret_cast<HWND>(lParam) != hwnd) {
            u->pressed = 0;
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case UDM_SETRANGE:
        u->upper = static_cast<SHORT>(LOWORD(lParam));
        u->lower = static_cast<SHORT>(HIWORD(lParam));
        return 0;
    case UDM_GETRANGE:
        return MAKELRESULT(static_cast<WORD>(u->upper), static_cast<WORD>(u->lower));
    case UDM_SETRANGE32:
        u->lower = static_cast<int>(wParam);
        u->upper = static_cast<int>(lParam);
        return 0;
    case UDM_GETRANGE32:
        if (wParam != 0) *reinterpret_cast<int*>(wParam) = u->lower;
        if (lParam != 0) *reinterpret_cast<int*>(lParam) = u->upper;
        return 0;
    case UDM_SETPOS: {
        const int old = u->pos;
        u->pos = std::clamp<int>(static_cast<SHORT>(LOWORD(lParam)), std::min(u->lower, u->upper),
                                 std::max(u->lower, u->upper));
        writeBuddy(hwnd, *u);
        return static_cast<LRESULT>(old);
    }
    case UDM_GETPOS: {
        const bool valid = readBuddy(hwnd, *u);
        return MAKELRESULT(static_cast<WORD>(u->pos), valid ? 0 : 1);
    }
    case UDM_SETBUDDY:
        return reinterpret_cast<LRESULT>(setBuddy(hwnd, *u, reinterpret_cast<HWND>(wParam)));
    case UDM_GETBUDDY:
        return reinterpret_cast<LRESULT>(u->buddy);
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerUpDown() {
    registerControlClass(UPDOWN_CLASSA, updownProc, 0, COLOR_BTNFACE);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerUpDown);
    return true;
}();

} // namespace
} // namespace winplat::controls
