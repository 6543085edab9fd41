// The dialog manager: the keyboard interface of a dialog. Tab and Shift+Tab walk the tab stops,
// the arrows walk a group, Return presses the default button (or the push button that has the
// focus), Escape presses Cancel, and a mnemonic goes to its control. The push button that
// has the focus looks like the default one; elsewhere the default button does.
#include "dialog/Dialog.h"
#include "user/WindowSystem.h"

#include <cctype>
#include <vector>

namespace winplat::dialog {
namespace {

std::vector<HWND> controlsOf(HWND dialog) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

bool usable(HWND control) {
    return IsWindowVisible(control) && IsWindowEnabled(control);
}

DWORD styleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
}

LRESULT codeOf(HWND control, MSG* msg = nullptr) {
    return SendMessageA(control, WM_GETDLGCODE, msg != nullptr ? msg->wParam : 0,
                        reinterpret_cast<LPARAM>(msg));
}

int indexOf(const std::vector<HWND>& list, HWND hwnd) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == hwnd) return static_cast<int>(i);
    return -1;
}

// The control directly in the dialog that holds `hwnd` (itself, or its parent inside the dialog).
HWND controlOf(HWND dialog, HWND hwnd) {
    while (hwnd != nullptr && GetParent(hwnd) != dialog) {
        if ((styleOf(hwnd) & WS_CHILD) == 0) return nullptr;
        hwnd = GetParent(hwnd);
    }
    return hwnd;
}

char mnemonicOf(HWND control) {
    char text[256];
    GetWindowTextA(control, text, sizeof text);
    LRESULT code = codeOf(control);
    if ((code & DLGC_STATIC) != 0 && (styleOf(control) & SS_NOPREFIX) != 0 &&
        (styleOf(control) & BS_TYPEMASK) != BS_GROUPBOX)
        return 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '&') continue;
        if (p[1] == '&') {
            ++p;
            continue;
        }
        return static_cast<char>(std::tolower(static_cast<unsigned char>(p[1])));
    }
    return 0;
}

bool followMnemonic(HWND dialog, char typed) {
    const char wanted = static_cast<char>(std::tolower(static_cast<unsigned char>(typed)));
    if (wanted == 0) return false;
    std::vector<HWND> list = controlsOf(dialog);
    if (list.empty()) return false;
    const int start = indexOf(list, controlOf(dialog, GetFocus()));
    const int n = static_cast<int>(list.size());
    for (int step = 1; step <= n; ++step) {
        const int i = ((start < 0 ? -1 : start) + step + n) % n;
        HWND c = list[static_cast<std::size_t>(i)];
        if (!usable(c) || mnemonicOf(c) != wanted) continue;
        const LRESULT code = codeOf(c);
        if ((code & DLGC_STATIC) != 0) {
            // A label hands its mnemonic to the control that follows it.
            for (int k = 1; k < n; ++k) {
                HWND next = list[static_cast<std::size_t>((i + k) % n)];
                if (usable(next) && (codeOf(next) & DLGC_STATIC) == 0) {
                    giveFocus(dialog, next);
                    return true;
                }
            }
            return true;
        }
        if ((code & (DLGC_BUTTON | DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
            giveFocus(dialog, c);
            if (IsWindow(c)) SendMessageA(c, BM_CLICK, 0, 0);
            return true;
        }
        giveFocus(dialog, c);
        return true;
    }
    return false;
}

void pressButton(HWND dialog, int id, HWND button) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

bool handleReturn(HWND dialog, HWND focus) {
    if (focus != nullptr && (codeOf(focus) & DLGC_DEFPUSHBUTTON) != 0) {
        pressButton(dialog, GetDlgCtrlID(focus), focus);
        return true;
    }
    const LRESULT def = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    const int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
    HWND button = GetDlgItem(dialog, id);
    if (button != nullptr && !IsWindowEnabled(button)) {
        MessageBeep(0);
        return true;
    }
    pressButton(dialog, id, button);
    return true;
}

bool handleKey(HWND dialog, MSG* msg) {
    HWND focus = GetFocus();
    const LRESULT code = focus != nullptr ? codeOf(focus, msg) : 0;
    if ((code & DLGC_WANTMESSAGE) != 0) return false;
    switch (msg->wParam) {
    case VK_TAB: {
        if ((code & DLGC_WANTTAB) != 0) return false;
        const bool back = GetKeyState(VK_SHIFT) < 0;
        HWND next = GetNextDlgTabItem(dialog, controlOf(dialog, focus), back ? TRUE : FALSE);
        if (next != nullptr)
            SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        return true;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
        if ((code & DLGC_WANTARROWS) != 0) return false;
        const bool back = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
        HWND next = GetNextDlgGroupItem(dialog, controlOf(dialog, focus), back ? TRUE : FALSE);
        if (next != nullptr && next != controlOf(dialog, focus))
            SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        return true;
    }
    case VK_RETURN:
        return handleReturn(dialog, focus);
    case VK_ESCAPE: {
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel == nullptr || IsWindowEnabled(cancel)) pressButton(dialog, IDCANCEL, cancel);
        return true;
    }
    default:
        return false;
    }
}

// The push button that has the focus shows as the default; when the focus is elsewhere in
// the dialog, the dialog's default button does.
void showDefault(HWND old, HWND now) {
    (void)old;
    if (now == nullptr || (styleOf(now) & WS_CHILD) == 0) return;
    HWND dialog = GetParent(now);
    if (stateOf(dialog) == nullptr) return;
    HWND target = nullptr;
    if ((codeOf(now) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
        target = now;
    } else {
        const LRESULT def = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        if (HIWORD(def) == DC_HASDEFID) target = GetDlgItem(dialog, LOWORD(def));
    }
    for (HWND c : controlsOf(dialog)) {
        const LRESULT code = codeOf(c);
        if ((code & DLGC_DEFPUSHBUTTON) != 0 && c != target)
            SendMessageA(c, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        else if ((code & DLGC_UNDEFPUSHBUTTON) != 0 && c == target)
            SendMessageA(c, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addFocusObserver(&showDefault);
    return true;
}();

} // namespace
} // namespace winplat::dialog

using namespace winplat::dialog;

extern "C" {

BOOL IsDialogMessageA(HWND dialog, MSG* msg) {
    if (msg == nullptr || dialog == nullptr || stateOf(dialog) == nullptr) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    bool handled = false;
    switch (msg->message) {
    case WM_KEYDOWN:
        handled = handleKey(dialog, msg);
        break;
    case WM_CHAR: {
        HWND focus = GetFocus();
        const LRESULT code = focus != nullptr ? codeOf(focus, msg) : 0;
        const char c = static_cast<char>(msg->wParam);
        if ((code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) != 0 || c == '\t' || c == '\r' || c == 27)
            break;
        if (!followMnemonic(dialog, c)) MessageBeep(0);
        handled = true;
        break;
    }
    case WM_SYSCHAR:
        handled = followMnemonic(dialog, static_cast<char>(msg->wParam));
        break;
    default:
        break;
    }
    if (!handled) {
        TranslateMessage(msg);
        DispatchMessageA(msg);
    }
    return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> list = controlsOf(dialog);
    const int n = static_cast<int>(list.size());
    if (n == 0) return nullptr;
    int at = indexOf(list, control);
    if (at < 0) at = previous ? n : -1;
    for (int step = 1; step <= n; ++step) {
        const int i = ((at + (previous ? -step : step)) % n + n) % n;
        HWND c = list[static_cast<std::size_t>(i)];
        if ((styleOf(c) & WS_TABSTOP) != 0 && usable(c)) return c;
    }
    return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> list = controlsOf(dialog);
    const int at = indexOf(list, control);
    if (at < 0) return GetNextDlgTabItem(dialog, nullptr, previous);
    int first = at;
    while (first > 0 && (styleOf(list[static_cast<std::size_t>(first)]) & WS_GROUP) == 0)
        --first;
    int last = at + 1;
    while (last < static_cast<int>(list.size()) &&
           (styleOf(list[static_cast<std::size_t>(last)]) & WS_GROUP) == 0)
        ++last;
    const int n = last - first;
    for (int step = 1; step < n; ++step) {
        const int i = first + (((at - first) + (previous ? -step : step)) % n + n) % n;
        HWND c = list[static_cast<std::size_t>(i)];
        if (usable(c)) return c;
    }
    return control;
}

} // extern "C"
