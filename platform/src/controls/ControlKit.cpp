#include "controls/ControlKit.h"

namespace winplat::controls {

void drawText(HDC dc, const std::string& text, RECT r, UINT format, bool enabled, int colourIndex) {
    SetBkMode(dc, TRANSPARENT);
    if (!enabled) {
        RECT shadow = r;
        OffsetRect(&shadow, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextA(dc, text.c_str(), -1, &shadow, format);
        SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
    } else {
        SetTextColor(dc, GetSysColor(colourIndex));
    }
    DrawTextA(dc, text.c_str(), -1, &r, format);
}

int lineHeight(HFONT font) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontOr(font));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight;
}

void notify(HWND control, WORD code) {
    winplat::user::notifyParent(control, WM_COMMAND,
                                MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(control)), code),
                                reinterpret_cast<LPARAM>(control));
}

void registerControlClass(const char* name, WNDPROC proc, UINT style, int background) {
    WNDCLASSA wc{};
    wc.style = style | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background >= 0 ? sysBrush(background) : nullptr;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

} // namespace winplat::controls
