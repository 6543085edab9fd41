// The single-line edit class: typing, deleting and moving the caret with the keyboard, a click
// to place the caret, the selection (EM_SETSEL, all of it when the dialog manager gives the
// focus), and, with ES_AUTOHSCROLL, scrolling so the caret stays in view; without it the text
// may not grow past the box. Every change notifies EN_UPDATE and EN_CHANGE.
#include "controls/ControlKit.h"

#include <algorithm>
#include <cctype>

namespace winplat::controls {
namespace {

constexpr int kMargin = 2;

struct EditState {
    HFONT font = nullptr;
    std::size_t caret = 0;
    std::size_t anchor = 0; // the other end of the selection
    int scroll = 0;         // pixels of text left of the box
    bool focused = false;
    std::size_t limit = 30000;
};

PerWindow<EditState>& edits() {
    static auto* p = new PerWindow<EditState>;
    return *p;
}

int widthOf(HFONT font, const std::string& s) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontOr(font));
    SIZE size{};
    GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

int boxWidth(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return r.right - r.left - 2 * kMargin;
}

void keepCaretVisible(HWND hwnd, EditState& e, const std::string& text) {
    if ((styleOf(hwnd) & ES_AUTOHSCROLL) == 0) {
        e.scroll = 0;
        return;
    }
    const int x = widthOf(e.font, text.substr(0, e.caret));
    const int w = std::max(1, boxWidth(hwnd) - 1);
    if (x - e.scroll > w) e.scroll = x - w + w / 4;
    if (x - e.scroll < 0) e.scroll = std::max(0, x - w / 4);
    e.scroll = std::min(e.scroll, std::max(0, widthOf(e.font, text) - w));
    if (x - e.scroll > w) e.scroll = x - w;
}

void refresh(HWND hwnd, EditState& e) {
    keepCaretVisible(hwnd, e, textOf(hwnd));
    InvalidateRect(hwnd, nullptr, TRUE);
}

std::pair<std::size_t, std::size_t> selection(const EditState& e) {
    return {std::min(e.caret, e.anchor), std::max(e.caret, e.anchor)};
}

// Replaces the selection; false (and a beep) when the result would not fit.
bool replaceSelection(HWND hwnd, EditState& e, const std::string& with) {
    std::string text = textOf(hwnd);
    const auto [from, to] = selection(e);
    std::string next = text.substr(0, from) + with + text.substr(to);
    const bool fits = next.size() <= e.limit && ((styleOf(hwnd) & ES_AUTOHSCROLL) != 0 ||
                                                 widthOf(e.font, next) <= boxWidth(hwnd));
    if (!fits) {
        MessageBeep(0);
        return false;
    }
    DefWindowProcA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(next.c_str()));
    e.caret = e.anchor = from + with.size();
    refresh(hwnd, e);
    notify(hwnd, EN_UPDATE);
    if (IsWindow(hwnd)) notify(hwnd, EN_CHANGE);
    return true;
}

std::size_t positionAt(HWND hwnd, const EditState& e, int x) {
    const std::string text = textOf(hwnd);
    const int target = x - kMargin + e.scroll;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int left = widthOf(e.font, text.substr(0, i));
        const int right = widthOf(e.font, text.substr(0, i + 1));
        if (target < (left + right) / 2) return i;
    }
    return text.size();
}

void moveCaret(HWND hwnd, EditState& e, std::size_t to, bool extend) {
    e.caret = to;
    if (!extend) e.anchor = to;
    refresh(hwnd, e);
}

void keyDown(HWND hwnd, EditState& e, WPARAM key) {
    const std::size_t length = textOf(hwnd).size();
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (key) {
    case VK_LEFT:
        if (!shift && e.caret != e.anchor)
            moveCaret(hwnd, e, selection(e).first, false);
        else
            moveCaret(hwnd, e, e.caret > 0 ? e.caret - 1 : 0, shift);
        break;
    case VK_RIGHT:
        if (!shift && e.caret != e.anchor)
            moveCaret(hwnd, e, selection(e).second, false);
        else
            moveCaret(hwnd, e, std::min(e.caret + 1, length), shift);
        break;
    case VK_HOME:
        moveCaret(hwnd, e, 0, shift);
        break;
    case VK_END:
        moveCaret(hwnd, e, length, shift);
        break;
    case VK_DELETE:
        if ((styleOf(hwnd) & ES_READONLY) != 0) break;
        if (e.caret == e.anchor && e.caret < length) e.anchor = e.caret + 1;
        if (e.caret != e.anchor) replaceSelection(hwnd, e, "");
        break;
    default:
        break;
    }
}

void character(HWND hwnd, EditState& e, char c) {
    if ((styleOf(hwnd) & ES_READONLY) != 0) {
        MessageBeep(0);
        return;
    }
    if (c == '\b') {
        if (e.caret == e.anchor && e.caret > 0) e.anchor = e.caret - 1;
        if (e.caret != e.anchor) replaceSelection(hwnd, e, "");
        return;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return;
    if ((styleOf(hwnd) & ES_NUMBER) != 0 && !std::isdigit(u)) {
        MessageBeep(0);
        return;
    }
    replaceSelection(hwnd, e, std::string(1, c));
}

void paint(HWND hwnd, EditState& e) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    RECT r;
    GetClientRect(hwnd, &r);
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    FillRect(
        dc, &r,
        sysBrush(enabled && (styleOf(hwnd) & ES_READONLY) == 0 ? COLOR_WINDOW : COLOR_BTNFACE));
    HGDIOBJ old = SelectObject(dc, fontOr(e.font));
    const std::string text = textOf(hwnd);
    const int h = lineHeight(e.font);
    const int top = r.top + 1;
    const int x0 = kMargin - e.scroll;
    IntersectClipRect(dc, kMargin - 1, r.top, r.right - kMargin + 1, r.bottom);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    TextOutA(dc, x0, top, text.c_str(), static_cast<int>(text.size()));
    const auto [from, to] = selection(e);
    if (e.focused && from != to) {
        const int left = x0 + widthOf(e.font, text.substr(0, from));
        const std::string part = text.substr(from, to - from);
        RECT band{left, top, left + widthOf(e.font, part), top + h};
        FillRect(dc, &band, sysBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        TextOutA(dc, left, top, part.c_str(), static_cast<int>(part.size()));
    } else if (e.focused) {
        const int x = x0 + widthOf(e.font, text.substr(0, e.caret));
        RECT caret{x, top, x + 1, top + h};
        FillRect(dc, &caret, sysBrush(COLOR_WINDOWTEXT));
    }
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) edits().make(hwnd);
    EditState* e = edits().get(hwnd);
    if (e == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCDESTROY:
        edits().drop(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETFONT:
        e->font = reinterpret_cast<HFONT>(wParam);
        if (lParam != 0) refresh(hwnd, *e);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(e->font);
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(hwnd, message, wParam, lParam);
        e->caret = e->anchor = 0;
        e->scroll = 0;
        refresh(hwnd, *e);
        notify(hwnd, EN_CHANGE);
        return r;
    }
    case WM_PAINT:
        paint(hwnd, *e);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETFOCUS:
        e->focused = true;
        refresh(hwnd, *e);
        notify(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        e->focused = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        notify(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        if (!IsWindow(hwnd)) return 0;
        moveCaret(hwnd, *e, positionAt(hwnd, *e, GET_X_LPARAM(lParam)), (wParam & MK_SHIFT) != 0);
        return 0;
    case WM_KEYDOWN:
        keyDown(hwnd, *e, wParam);
        return 0;
    case WM_CHAR:
        character(hwnd, *e, static_cast<char>(wParam));
        return 0;
    case EM_GETSEL: {
        const auto [from, to] = selection(*e);
        if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(from);
        if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(to);
        return MAKELRESULT(static_cast<WORD>(from), static_cast<WORD>(to));
    }
    case EM_SETSEL: {
        const std::size_t length = textOf(hwnd).size();
        const auto start = static_cast<long long>(static_cast<int>(wParam));
        const auto end = static_cast<long long>(static_cast<int>(lParam));
        if (start < 0) {
            e->anchor = e->caret;
        } else {
            e->anchor = static_cast<std::size_t>(
                std::min<long long>(start, static_cast<long long>(length)));
            e->caret = end < 0 ? length
                               : static_cast<std::size_t>(
                                     std::min<long long>(end, static_cast<long long>(length)));
        }
        refresh(hwnd, *e);
        return 0;
    }
    case EM_REPLACESEL:
        replaceSelection(hwnd, *e, lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "");
        return 0;
    case EM_LIMITTEXT:
        e->limit = wParam != 0 ? static_cast<std::size_t>(wParam) : 30000;
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerEdit() {
    registerControlClass(WC_EDITA, editProc, CS_DBLCLKS, COLOR_WINDOW);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerEdit);
    return true;
}();

} // namespace
} // namespace winplat::controls
