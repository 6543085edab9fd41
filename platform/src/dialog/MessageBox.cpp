// The message box: a modal dialog made for its text, with the buttons its type names. Escape
// answers Cancel where there is one, and OK in a box that has only OK.
#include "dialog/Dialog.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace winplat::dialog {
namespace {

struct Choice {
    int id;
    const char* label;
};

std::vector<Choice> choicesFor(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
        return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
    default:
        return {{IDOK, "OK"}};
    }
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c != '\r')
            out.push_back(c);
    }
    return out + "\"";
}

// The text's size in dialog units of the box's font, wrapped at a width that suits a box.
SIZE measure(const std::string& text) {
    LOGFONTA lf{};
    lf.lfHeight = -11;
    lf.lfWeight = FW_NORMAL;
    std::strcpy(lf.lfFaceName, "MS Sans Serif");
    HFONT font = CreateFontIndirectA(&lf);
    const SIZE base = baseUnitsOf(font);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
    RECT r{0, 0, toPixelsX(280, base), 0};
    DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &r,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (font != nullptr) DeleteObject(font);
    return SIZE{(r.right * 4 + base.cx - 1) / base.cx + 1, (r.bottom * 8 + base.cy - 1) / base.cy};
}

std::string buildTemplate(const std::string& text, const std::string& caption, UINT type,
                          const std::vector<Choice>& choices) {
    constexpr int kMargin = 10, kButtonWidth = 50, kButtonHeight = 14, kGap = 4;
    const SIZE t = measure(text);
    const int buttons = static_cast<int>(choices.size()) * (kButtonWidth + kGap) - kGap;
    const int width = std::max<int>(t.cx, buttons) + 2 * kMargin;
    const int buttonTop = kMargin + t.cy + 8;
    const int height = buttonTop + kButtonHeight + 7;
    const std::size_t defaultIndex = (type & MB_DEFBUTTON2) != 0 && choices.size() > 1 ? 1 : 0;
    std::string s = "DIALOG 0, 0, " + std::to_string(width) + ", " + std::to_string(height) + "\n";
    s += "STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER\n";
    s += "CAPTION " + quoted(caption) + "\n";
    s += "FONT 8, \"MS Sans Serif\"\n";
    s += "CONTROL " + quoted(text) + ", " + std::to_string(WINPLAT_MESSAGE_BOX_TEXT) +
         ", \"Static\", SS_LEFT | SS_NOPREFIX, " + std::to_string(kMargin) + ", " +
         std::to_string(kMargin) + ", " + std::to_string(t.cx) + ", " + std::to_string(t.cy) + "\n";
    int x = (width - buttons) / 2;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        s += "CONTROL " + quoted(choices[i].label) + ", " + std::to_string(choices[i].id) +
             ", \"Button\", " + (i == defaultIndex ? "BS_DEFPUSHBUTTON" : "BS_PUSHBUTTON") +
             " | WS_TABSTOP" + (i == 0 ? " | WS_GROUP" : "") + ", " + std::to_string(x) + ", " +
             std::to_string(buttonTop) + ", " + std::to_string(kButtonWidth) + ", " +
             std::to_string(kButtonHeight) + "\n";
        x += kButtonWidth + kGap;
    }
    return s;
}

LONG_PTR CALLBACK boxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        // The focus starts on the default button, whichever it is.
        const LRESULT def = SendMessageA(hwnd, DM_GETDEFID, 0, 0);
        if (DialogState* st = stateOf(hwnd); st != nullptr && HIWORD(def) == DC_HASDEFID)
            st->focusSave = GetDlgItem(hwnd, LOWORD(def));
        return FALSE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const UINT type = static_cast<UINT>(GetWindowLongPtrA(hwnd, DWLP_USER));
        if (id == IDCANCEL && GetDlgItem(hwnd, IDCANCEL) == nullptr) {
            if ((type & MB_TYPEMASK) == MB_OK) EndDialog(hwnd, IDOK);
            return TRUE;
        }
        if (GetDlgItem(hwnd, id) != nullptr && id != WINPLAT_MESSAGE_BOX_TEXT) EndDialog(hwnd, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace
} // namespace winplat::dialog

extern "C" int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    using namespace winplat::dialog;
    const std::string t =
        buildTemplate(text != nullptr ? text : "", caption != nullptr ? caption : "Error", type,
                      choicesFor(type));
    const INT_PTR result =
        DialogBoxIndirectParamA(nullptr, t.c_str(), owner, &boxProc, static_cast<LPARAM>(type));
    return result > 0 ? static_cast<int>(result) : 0;
}
