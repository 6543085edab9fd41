// Dialogs from templates: the dialog class, creation with the template's font and layout, the
// default dialog procedure, EndDialog and the modal loop of DialogBox.
#include "dialog/Dialog.h"
#include "dialog/DialogTemplate.h"
#include "user/WindowSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace winplat::dialog {
namespace {

std::unordered_map<HWND, std::unique_ptr<DialogState>>& states() {
    static auto* m = new std::unordered_map<HWND, std::unique_ptr<DialogState>>;
    return *m;
}

// The state of the dialog being created, bound to its window at WM_NCCREATE.
thread_local DialogState* t_pending = nullptr;

void forget(HWND hwnd) {
    auto it = states().find(hwnd);
    if (it == states().end()) return;
    if (it->second->font != nullptr) DeleteObject(it->second->font);
    states().erase(it);
}

LRESULT CALLBACK dialogClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(hwnd, message, wParam, lParam);
}

void registerDialogClass() {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = dialogClassProc;
    wc.cbWndExtra = 3 * static_cast<int>(sizeof(LONG_PTR));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_3DFACE + 1));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_DIALOG;
    RegisterClassA(&wc);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerDialogClass);
    winplat::user::addDestroyObserver(&forget);
    return true;
}();

// Messages whose answer is the dialog procedure's own result, not DWLP_MSGRESULT.
bool answersDirectly(UINT message) {
    return message == WM_INITDIALOG || message == 0x0037 /* WM_QUERYDRAGICON */ ||
           (message >= 0x0132 && message <= 0x0138) || message == 0x0039 /* WM_COMPAREITEM */ ||
           message == 0x002E /* WM_VKEYTOITEM */ || message == 0x002F /* WM_CHARTOITEM */;
}

HWND defaultButton(HWND dialog, const DialogState& st) {
    if (st.defaultId != 0) return GetDlgItem(dialog, st.defaultId);
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((SendMessageA(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0) return c;
    }
    return nullptr;
}

bool focusable(HWND dialog, HWND control) {
    return control != nullptr && IsChild(dialog, control) && IsWindowVisible(control) &&
           IsWindowEnabled(control);
}

void restoreFocus(HWND dialog, DialogState& st) {
    HWND target =
        focusable(dialog, st.focusSave) ? st.focusSave : GetNextDlgTabItem(dialog, nullptr, FALSE);
    if (target != nullptr) giveFocus(dialog, target);
}

void saveFocus(HWND dialog, DialogState& st) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(dialog, focus)) st.focusSave = focus;
}

LRESULT defaultProcessing(HWND hwnd, DialogState& st, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(hwnd, IDCANCEL);
        if (cancel == nullptr || IsWindowEnabled(cancel))
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case DM_GETDEFID: {
        HWND button = defaultButton(hwnd, st);
        int id = st.defaultId != 0 ? st.defaultId : button != nullptr ? GetDlgCtrlID(button) : 0;
        return id != 0 ? MAKELRESULT(static_cast<WORD>(id), DC_HASDEFID) : 0;
    }
    case DM_SETDEFID:
        st.defaultId = static_cast<int>(wParam);
        return TRUE;
    case WM_NEXTDLGCTL: {
        HWND target = nullptr;
        if (LOWORD(lParam) != 0)
            target = reinterpret_cast<HWND>(wParam);
        else
            target = GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0 ? TRUE : FALSE);
        if (target != nullptr) giveFocus(hwnd, target);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            restoreFocus(hwnd, st);
        else
            saveFocus(hwnd, st);
        return 0;
    case WM_SETFOCUS:
        restoreFocus(hwnd, st);
        return 0;
    case WM_SHOWWINDOW:
        if (wParam == FALSE) saveFocus(hwnd, st);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(st.font);
    case WM_NCDESTROY: {
        LRESULT r = DefWindowProcA(hwnd, message, wParam, lParam);
        forget(hwnd);
        return r;
    }
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

HFONT templateFont(const DialogTemplate& t) {
    if ((t.style & DS_SETFONT) == 0 || t.face.empty()) return nullptr;
    LOGFONTA lf{};
    lf.lfHeight = -mulDiv(t.pointSize, 96, 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::snprintf(lf.lfFaceName, LF_FACESIZE, "%s", t.face.c_str());
    return CreateFontIndirectA(&lf);
}

// Where the dialog goes on the screen: its place in the owner's client area (or on the
// screen), centred when it asks for it, and always kept on the screen.
RECT placeDialog(const DialogTemplate& t, HWND owner, SIZE base, DWORD style, DWORD exStyle) {
    const RECT in = winplat::user::frameInsets(style, exStyle);
    const int width = toPixelsX(t.cx, base) + in.left + in.right;
    const int height = toPixelsY(t.cy, base) + in.top + in.bottom;
    POINT origin{toPixelsX(t.x, base), toPixelsY(t.y, base)};
    if (owner != nullptr && (t.style & DS_ABSALIGN) == 0) ClientToScreen(owner, &origin);
    if ((t.style & DS_CENTER) != 0) {
        RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (owner != nullptr && IsWindowVisible(owner)) GetWindowRect(owner, &around);
        origin = POINT{(around.left + around.right - width) / 2,
                       (around.top + around.bottom - height) / 2};
    }
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    origin.x = std::max(0, std::min<int>(origin.x, sw - width));
    origin.y = std::max(0, std::min<int>(origin.y, sh - height));
    return RECT{origin.x, origin.y, origin.x + width, origin.y + height};
}

bool createControls(HWND dialog, const DialogTemplate& t, DialogState& st, HINSTANCE instance) {
    for (const DialogItem& item : t.items) {
        DWORD style = item.style;
        DWORD exStyle = item.exStyle | WS_EX_NOPARENTNOTIFY;
        // The 3D look: bordered controls get a sunken client edge instead of a flat line.
        if ((style & WS_BORDER) != 0) {
            style &= ~static_cast<DWORD>(WS_BORDER);
            exStyle |= WS_EX_CLIENTEDGE;
        }
        HWND control = CreateWindowExA(
            exStyle, item.className.c_str(), item.text.c_str(), style,
            toPixelsX(item.x, st.baseUnits), toPixelsY(item.y, st.baseUnits),
            toPixelsX(item.cx, st.baseUnits), toPixelsY(item.cy, st.baseUnits), dialog,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance, nullptr);
        if (control == nullptr || !IsWindow(dialog)) return false;
        if (st.font != nullptr)
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(st.font), FALSE);
    }
    return true;
}

} // namespace

DialogState* stateOf(HWND hwnd) {
    auto it = states().find(hwnd);
    return it != states().end() ? it->second.get() : nullptr;
}

int mulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    return static_cast<int>(((p < 0) != (c < 0) ? p - half : p + half) / c);
}

SIZE baseUnitsOf(HFONT font) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE base{8, 16};
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return base;
    HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
    SIZE extent{};
    TEXTMETRICA tm{};
    if (GetTextExtentPoint32A(dc, kAlphabet, 52, &extent) && GetTextMetricsA(dc, &tm))
        base = SIZE{(extent.cx / 26 + 1) / 2, tm.tmHeight};
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return base;
}

int toPixelsX(int units, SIZE base) {
    return mulDiv(units, base.cx, 4);
}
int toPixelsY(int units, SIZE base) {
    return mulDiv(units, base.cy, 8);
}

void giveFocus(HWND dialog, HWND control) {
    (void)dialog;
    if ((SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0)
        SendMessageA(control, EM_SETSEL, 0, -1);
    SetFocus(control);
}

bool runModalLoop(HWND dialog) {
    for (;;) {
        DialogState* st = stateOf(dialog);
        if (st == nullptr || st->ended) return true;
        MSG msg;
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

} // namespace winplat::dialog

using namespace winplat::dialog;

extern "C" {

LRESULT DefDlgProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState* st = stateOf(hwnd);
    if (st == nullptr && message == WM_NCCREATE && t_pending != nullptr) {
        states()[hwnd].reset(t_pending);
        t_pending = nullptr;
        st = stateOf(hwnd);
        SetWindowLongPtrA(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(st->proc));
    }
    if (st == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (st->proc != nullptr) {
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        const LONG_PTR handled = st->proc(hwnd, message, wParam, lParam);
        if (handled != 0) {
            if (answersDirectly(message)) return handled;
            return IsWindow(hwnd) ? GetWindowLongPtrA(hwnd, DWLP_MSGRESULT) : 0;
        }
        st = stateOf(hwnd);
        if (st == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return defaultProcessing(hwnd, *st, message, wParam, lParam);
}

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM param) {
    DialogTemplate t;
    std::string error;
    if (!parseDialogTemplate(static_cast<const char*>(dialogTemplate), &t, &error)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (owner != nullptr && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (owner != nullptr && (t.style & WS_CHILD) == 0) owner = GetAncestor(owner, GA_ROOT);
    auto state = std::make_unique<DialogState>();
    state->proc = proc;
    state->font = templateFont(t);
    state->baseUnits = baseUnitsOf(state->font);
    const bool visible = (t.style & WS_VISIBLE) != 0;
    DWORD style = t.style & ~static_cast<DWORD>(WS_VISIBLE);
    DWORD exStyle = t.exStyle;
    if ((t.style & DS_MODALFRAME) != 0) exStyle |= WS_EX_DLGMODALFRAME;
    const RECT place = placeDialog(t, owner, state->baseUnits, style, exStyle);
    DialogState* st = state.get();
    const HFONT font = st->font;
    t_pending = state.release();
    HWND hwnd = CreateWindowExA(exStyle, t.className.empty() ? WC_DIALOG : t.className.c_str(),
                                t.caption.c_str(), style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, owner, nullptr,
                                instance, reinterpret_cast<LPVOID>(param));
    if (t_pending != nullptr) {
        // The window never reached the dialog procedure: nobody else owns the state.
        if (t_pending->font != nullptr) DeleteObject(t_pending->font);
        delete t_pending;
        t_pending = nullptr;
        if (hwnd != nullptr) DestroyWindow(hwnd);
        return nullptr;
    }
    if (hwnd == nullptr) return nullptr;
    if (font != nullptr) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!createControls(hwnd, t, *st, instance)) {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        return nullptr;
    }
    if (st->defaultId == 0) {
        for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            if ((SendMessageA(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) == 0) continue;
            st->defaultId = GetDlgCtrlID(c);
            break;
        }
    }
    HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE);
    const LRESULT focusDefault =
        SendMessageA(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    st = stateOf(hwnd);
    if (st == nullptr) return nullptr;
    if (focusDefault != 0 && first != nullptr && st->focusSave == nullptr) st->focusSave = first;
    if (visible && !st->ended) ShowWindow(hwnd, SW_SHOWNORMAL);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param) {
    HRSRC found = FindResourceA(instance, templateName, RT_DIALOG);
    if (found == nullptr) return nullptr;
    return CreateDialogIndirectParamA(instance, LockResource(LoadResource(instance, found)), owner,
                                      proc, param);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM param) {
    if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);
    HWND hwnd = CreateDialogIndirectParamA(instance, dialogTemplate, owner, proc, param);
    if (hwnd == nullptr) return -1;
    const bool disabledOwner = owner != nullptr && IsWindowEnabled(owner);
    if (disabledOwner) EnableWindow(owner, FALSE);
    DialogState* st = stateOf(hwnd);
    if (st != nullptr && !st->ended && !IsWindowVisible(hwnd)) ShowWindow(hwnd, SW_SHOWNORMAL);
    const bool ended = runModalLoop(hwnd);
    st = stateOf(hwnd);
    const INT_PTR result = ended && st != nullptr ? st->result : 0;
    // The owner comes back first, so that activation returns to it when the dialog goes.
    if (disabledOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    return result;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param) {
    HRSRC found = FindResourceA(instance, templateName, RT_DIALOG);
    if (found == nullptr) return -1;
    return DialogBoxIndirectParamA(instance, LockResource(LoadResource(instance, found)), owner,
                                   proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogState* st = stateOf(dialog);
    if (st == nullptr) return FALSE;
    st->ended = true;
    st->result = result;
    // Wakes a modal loop that waits for a message.
    PostMessageA(dialog, WM_NULL, 0, 0);
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    DialogState* st = stateOf(dialog);
    if (st == nullptr || rect == nullptr) return FALSE;
    rect->left = toPixelsX(rect->left, st->baseUnits);
    rect->right = toPixelsX(rect->right, st->baseUnits);
    rect->top = toPixelsY(rect->top, st->baseUnits);
    rect->bottom = toPixelsY(rect->bottom, st->baseUnits);
    return TRUE;
}

LONG GetDialogBaseUnits() {
    static const SIZE base = baseUnitsOf(nullptr);
    return MAKELONG(static_cast<WORD>(base.cx), static_cast<WORD>(base.cy));
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    if (isSigned)
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else
        std::snprintf(text, sizeof text, "%u", value);
    return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated != nullptr) *translated = FALSE;
    char text[64];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    const char* p = text;
    while (*p == ' ')
        ++p;
    char* end = nullptr;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p) return 0;
    while (*end == ' ')
        ++end;
    if (*end != '\0') return 0;
    if (isSigned ? (v < INT32_MIN || v > INT32_MAX) : (v < 0 || v > UINT32_MAX)) return 0;
    if (translated != nullptr) *translated = TRUE;
    return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return FALSE;
    SendMessageA(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? static_cast<UINT>(SendMessageA(control, BM_GETCHECK, 0, 0)) : 0;
}

} // extern "C"
