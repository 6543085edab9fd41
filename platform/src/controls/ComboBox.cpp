// The combo box class as a drop-down list: a box that shows the selected item and, on a click
// or Alt+Down, a list of the items below it (a pop-up of the class "ComboLBox" that holds the
// mouse capture while it is open). The arrow keys and typed letters change the selection;
// every change the user makes notifies CBN_SELCHANGE.
#include "controls/ControlKit.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>
#include <vector>

namespace winplat::controls {
namespace {

constexpr const char* kListClass = "ComboLBox";

struct ComboState {
    HFONT font = nullptr;
    std::vector<std::string> items;
    int current = -1;
    int hot = -1;          // the highlighted item of the open list
    int droppedHeight = 0; // the whole height the template gave, list included
    HWND list = nullptr;
    bool focused = false;
};

PerWindow<ComboState>& combos() {
    static auto* p = new PerWindow<ComboState>;
    return *p;
}

int itemHeight(const ComboState& c) {
    return lineHeight(c.font) + 2;
}

void paintItemText(HDC dc, const std::string& text, RECT r, bool highlighted, bool enabled) {
    if (highlighted) FillRect(dc, &r, sysBrush(COLOR_HIGHLIGHT));
    r.left += 2;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(!enabled      ? COLOR_GRAYTEXT
                                 : highlighted ? COLOR_HIGHLIGHTTEXT
                                               : COLOR_WINDOWTEXT));
    DrawTextA(dc, text.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

RECT arrowRect(const RECT& client) {
    const int w = GetSystemMetrics(SM_CXVSCROLL);
    return RECT{client.right - 2 - w, client.top + 2, client.right - 2, client.bottom - 2};
}

void paintBox(HWND hwnd, ComboState& c) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    RECT r;
    GetClientRect(hwnd, &r);
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    RECT inner = r;
    DrawEdge(dc, &inner, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(dc, &inner, sysBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    RECT arrow = arrowRect(r);
    DrawFrameControl(dc, &arrow, DFC_SCROLL,
                     DFCS_SCROLLCOMBOBOX | (c.list != nullptr ? DFCS_PUSHED : 0) |
                         (enabled ? 0 : DFCS_INACTIVE));
    RECT text{inner.left + 1, inner.top + 1, arrow.left - 1, inner.bottom - 1};
    HGDIOBJ old = SelectObject(dc, fontOr(c.font));
    const bool highlighted = c.focused && c.list == nullptr;
    if (c.current >= 0)
        paintItemText(dc, c.items[static_cast<std::size_t>(c.current)], text, highlighted, enabled);
    else if (highlighted)
        FillRect(dc, &text, sysBrush(COLOR_HIGHLIGHT));
    if (highlighted) DrawFocusRect(dc, &text);
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

void select(HWND hwnd, ComboState& c, int index, bool byUser) {
    if (index < -1 || index >= static_cast<int>(c.items.size())) return;
    const bool changed = index != c.current;
    c.current = index;
    InvalidateRect(hwnd, nullptr, TRUE);
    if (changed && byUser) notify(hwnd, CBN_SELCHANGE);
}

void closeList(HWND hwnd, ComboState& c, bool accept) {
    if (c.list == nullptr) return;
    HWND list = c.list;
    c.list = nullptr;
    if (GetCapture() == list) ReleaseCapture();
    DestroyWindow(list);
    if (!IsWindow(hwnd)) return;
    InvalidateRect(hwnd, nullptr, TRUE);
    if (accept && c.hot >= 0) select(hwnd, c, c.hot, true);
    if (!IsWindow(hwnd)) return;
    notify(hwnd, CBN_CLOSEUP);
    if (IsWindow(hwnd)) notify(hwnd, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
}

void openList(HWND hwnd, ComboState& c) {
    if (c.list != nullptr || c.items.empty()) return;
    notify(hwnd, CBN_DROPDOWN);
    if (!IsWindow(hwnd)) return;
    RECT box;
    GetWindowRect(hwnd, &box);
    const int h = itemHeight(c);
    const int wanted = std::max(h + 2, c.droppedHeight - (box.bottom - box.top));
    const int height = std::min(wanted, h * static_cast<int>(c.items.size()) + 2);
    int top = box.bottom;
    if (top + height > GetSystemMetrics(SM_CYSCREEN)) top = box.top - height;
    c.hot = c.current;
    c.list = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kListClass, "", WS_POPUP | WS_BORDER,
                             box.left, top, box.right - box.left, height, hwnd, nullptr, nullptr,
                             reinterpret_cast<LPVOID>(hwnd));
    if (c.list == nullptr) return;
    SetWindowPos(c.list, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetCapture(c.list);
    InvalidateRect(hwnd, nullptr, TRUE);
}

int itemAt(HWND list, const ComboState& c, POINT clientPoint) {
    RECT r;
    GetClientRect(list, &r);
    if (!PtInRect(&r, clientPoint)) return -1;
    const int i = clientPoint.y / itemHeight(c);
    return i < static_cast<int>(c.items.size()) ? i : -1;
}

HWND comboOfList(HWND list) {
    return reinterpret_cast<HWND>(GetWindowLongPtrA(list, GWLP_USERDATA));
}

LRESULT CALLBACK listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    HWND combo = comboOfList(list);
    ComboState* c = combos().get(combo);
    if (c == nullptr || c->list != list) return DefWindowProcA(list, message, wParam, lParam);
    const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(list, &ps);
        if (dc == nullptr) return 0;
        HGDIOBJ old = SelectObject(dc, fontOr(c->font));
        RECT r;
        GetClientRect(list, &r);
        FillRect(dc, &r, sysBrush(COLOR_WINDOW));
        const int h = itemHeight(*c);
        for (std::size_t i = 0; i < c->items.size(); ++i) {
            RECT item{r.left, static_cast<LONG>(i) * h, r.right, static_cast<LONG>(i + 1) * h};
            paintItemText(dc, c->items[i], item, static_cast<int>(i) == c->hot, true);
        }
        SelectObject(dc, old);
        EndPaint(list, &ps);
        return 0;
    }
    case WM_MOUSEMOVE: {
        const int i = itemAt(list, *c, p);
        if (i >= 0 && i != c->hot) {
            c->hot = i;
            InvalidateRect(list, nullptr, TRUE);
        }
        return 0;
    }
    case WM_LBUTTONDOWN: {
        RECT r;
        GetClientRect(list, &r);
        // A press outside the list closes it, and goes no further.
        if (!PtInRect(&r, p)) closeList(combo, *c, false);
        return 0;
    }
    case WM_LBUTTONUP: {
        const int i = itemAt(list, *c, p);
        if (i >= 0) {
            c->hot = i;
            closeList(combo, *c, true);
        }
        return 0;
    }
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    default:
        return DefWindowProcA(list, message, wParam, lParam);
    }
}

void typed(HWND hwnd, ComboState& c, char ch) {
    const int n = static_cast<int>(c.items.size());
    const int wanted = std::tolower(static_cast<unsigned char>(ch));
    for (int step = 1; step <= n; ++step) {
        const int i = (c.current + step + n) % n;
        const std::string& s = c.items[static_cast<std::size_t>(i)];
        if (!s.empty() && std::tolower(static_cast<unsigned char>(s[0])) == wanted) {
            select(hwnd, c, i, true);
            return;
        }
    }
}

void keyDown(HWND hwnd, ComboState& c, WPARAM key) {
    const int last = static_cast<int>(c.items.size()) - 1;
    if (c.list != nullptr) {
        if (key == VK_RETURN || key == VK_F4) closeList(hwnd, c, true);
        if (key == VK_ESCAPE) closeList(hwnd, c, false);
        if (key == VK_UP || key == VK_DOWN) {
            c.hot = std::clamp(c.hot + (key == VK_UP ? -1 : 1), 0, last);
            InvalidateRect(c.list, nullptr, TRUE);
        }
        return;
    }
    switch (key) {
    case VK_F4:
        openList(hwnd, c);
        break;
    case VK_UP:
    case VK_LEFT:
        if (c.current > 0) select(hwnd, c, c.current - 1, true);
        break;
    case VK_DOWN:
    case VK_RIGHT:
        if (c.current < last) select(hwnd, c, c.current + 1, true);
        break;
    case VK_HOME:
        if (last >= 0) select(hwnd, c, 0, true);
        break;
    case VK_END:
        if (last >= 0) select(hwnd, c, last, true);
        break;
    default:
        break;
    }
}

// The box keeps the height of one item; the template's height is what the list may take.
void fitHeight(HWND hwnd, ComboState& c) {
    RECT r;
    GetWindowRect(hwnd, &r);
    const int height = itemHeight(c) + 6;
    if (r.bottom - r.top == height) return;
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK comboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        ComboState& made = combos().make(hwnd);
        made.droppedHeight = reinterpret_cast<CREATESTRUCTA*>(lParam)->cy;
        // The scroll bar styles are the list's; the box itself has no scroll bars.
        const DWORD style = styleOf(hwnd) & ~static_cast<DWORD>(WS_VSCROLL | WS_HSCROLL);
        SetWindowLongPtrA(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    }
    ComboState* c = combos().get(hwnd);
    if (c == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        fitHeight(hwnd, *c);
        return 0;
    case WM_DESTROY:
        if (c->list != nullptr) {
            HWND list = c->list;
            c->list = nullptr;
            DestroyWindow(list);
        }
        return 0;
    case WM_NCDESTROY:
        combos().drop(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETFONT:
        c->font = reinterpret_cast<HFONT>(wParam);
        fitHeight(hwnd, *c);
        if (lParam != 0) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(c->font);
    case WM_GETDLGCODE: {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (c->list != nullptr && msg != nullptr && msg->message == WM_KEYDOWN &&
            (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
            return DLGC_WANTMESSAGE;
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        const std::string s = c->current >= 0 ? c->items[static_cast<std::size_t>(c->current)] : "";
        const std::size_t n = std::min(s.size(), static_cast<std::size_t>(wParam) - 1);
        std::memcpy(buffer, s.data(), n);
        buffer[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return c->current >= 0
                   ? static_cast<LRESULT>(c->items[static_cast<std::size_t>(c->current)].size())
                   : 0;
    case WM_PAINT:
        paintBox(hwnd, *c);
        return 0;
    case WM_ENABLE:
        if (wParam == FALSE) closeList(hwnd, *c, false);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETFOCUS:
        c->focused = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        notify(hwnd, CBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        c->focused = false;
        closeList(hwnd, *c, false);
        if (!IsWindow(hwnd)) return 0;
        InvalidateRect(hwnd, nullptr, TRUE);
        notify(hwnd, CBN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(hwnd);
        if (!IsWindow(hwnd)) return 0;
        if (c->list != nullptr)
            closeList(hwnd, *c, false);
        else
            openList(hwnd, *c);
        return 0;
    case WM_KEYDOWN:
        keyDown(hwnd, *c, wParam);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_DOWN || wParam == VK_UP) {
            if (c->list != nullptr)
                closeList(hwnd, *c, true);
            else
                openList(hwnd, *c);
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_CHAR:
        if (c->list == nullptr && std::isalnum(static_cast<unsigned char>(wParam)))
            typed(hwnd, *c, static_cast<char>(wParam));
        return 0;
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        const std::string s = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
        std::size_t at = c->items.size();
        if (message == CB_INSERTSTRING && static_cast<int>(wParam) >= 0)
            at = std::min(static_cast<std::size_t>(static_cast<int>(wParam)), c->items.size());
        if (message == CB_ADDSTRING && (GetWindowLongPtrA(hwnd, GWL_STYLE) & CBS_SORT) != 0)
            at = static_cast<std::size_t>(std::upper_bound(c->items.begin(), c->items.end(), s) -
                                          c->items.begin());
        c->items.insert(c->items.begin() + static_cast<std::ptrdiff_t>(at), s);
        if (c->current >= static_cast<int>(at)) ++c->current;
        return static_cast<LRESULT>(at);
    }
    case CB_DELETESTRING: {
        const int i = static_cast<int>(wParam);
        if (i < 0 || i >= static_cast<int>(c->items.size())) return CB_ERR;
        c->items.erase(c->items.begin() + i);
        if (c->current == i)
            c->current = -1;
        else if (c->current > i)
            --c->current;
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(c->items.size());
    }
    case CB_RESETCONTENT:
        closeList(hwnd, *c, false);
        c->items.clear();
        c->current = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
        return CB_OKAY;
    case CB_GETCOUNT:
        return static_cast<LRESULT>(c->items.size());
    case CB_GETCURSEL:
        return c->current;
    case CB_SETCURSEL: {
        const int i = static_cast<int>(wParam);
        if (i < 0 || i >= static_cast<int>(c->items.size())) {
            select(hwnd, *c, -1, false);
            return CB_ERR;
        }
        select(hwnd, *c, i, false);
        return i;
    }
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: {
        const int i = static_cast<int>(wParam);
        if (i < 0 || i >= static_cast<int>(c->items.size())) return CB_ERR;
        const std::string& s = c->items[static_cast<std::size_t>(i)];
        if (message == CB_GETLBTEXT && lParam != 0)
            std::memcpy(reinterpret_cast<char*>(lParam), s.c_str(), s.size() + 1);
        return static_cast<LRESULT>(s.size());
    }
    case CB_FINDSTRINGEXACT: {
        const std::string s = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
        for (std::size_t i = 0; i < c->items.size(); ++i) {
            if (strcasecmp(c->items[i].c_str(), s.c_str()) == 0) return static_cast<LRESULT>(i);
        }
        return CB_ERR;
    }
    case CB_SHOWDROPDOWN:
        if (wParam != 0)
            openList(hwnd, *c);
        else
            closeList(hwnd, *c, false);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return c->list != nullptr ? TRUE : FALSE;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerCombo() {
    registerControlClass(WC_COMBOBOXA, comboProc, CS_DBLCLKS, COLOR_WINDOW);
    registerControlClass(kListClass, listProc, CS_SAVEBITS, COLOR_WINDOW);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerCombo);
    return true;
}();

} // namespace
} // namespace winplat::controls
