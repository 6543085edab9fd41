// Painting: the background by WM_ERASEBKGND, then each item that meets the update rectangle:
// its image from the normal image list through its mask, its label centred under it, the
// selection (highlight while the control has the focus, button face otherwise with
// LVS_SHOWSELALWAYS) and the focus rectangle around the focused item's label.
#include "comctl/ListView.h"

#include <algorithm>

namespace winplat::comctl {
namespace {

bool meets(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void paintItem(ListView& lv, HDC dc, int i) {
    const ListItem& item = lv.items[i];
    bool selected = (item.state & LVIS_SELECTED) != 0;
    bool shown = selected && (lv.hasFocus || (lv.style() & LVS_SHOWSELALWAYS) != 0);
    RECT icon = iconRect(lv, i);
    if (lv.normal != nullptr && item.image >= 0)
        ImageList_Draw(lv.normal, item.image, dc, icon.left, icon.top,
                       selected && lv.hasFocus ? ILD_SELECTED : ILD_NORMAL);
    RECT label = labelRect(lv, i);
    if (label.right > label.left) {
        COLORREF text =
            lv.textColour == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : lv.textColour;
        if (shown) {
            int face = lv.hasFocus ? COLOR_HIGHLIGHT : COLOR_BTNFACE;
            FillRect(dc, &label, reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(face + 1)));
            text = GetSysColor(lv.hasFocus ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
        }
        SetTextColor(dc, text);
        int y = label.top + 1;
        for (const std::string& line : item.lines) {
            SIZE s{0, 0};
            GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &s);
            int x = label.left + (label.right - label.left - s.cx) / 2;
            TextOutA(dc, x, y, line.c_str(), static_cast<int>(line.size()));
            y += lv.lineHeight;
        }
    }
    if ((item.state & LVIS_FOCUSED) != 0 && lv.hasFocus) {
        RECT box = label.right > label.left ? label : icon;
        DrawFocusRect(dc, &box);
    }
}

} // namespace

COLORREF backgroundColour(const ListView& lv) {
    return lv.background == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : lv.background;
}

LRESULT eraseBackground(ListView& lv, HDC dc) {
    COLORREF colour = backgroundColour(lv);
    if (colour == CLR_NONE || dc == nullptr) return 0;
    RECT r;
    GetClientRect(lv.hwnd, &r);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    return 1;
}

void paint(ListView& lv) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(lv.hwnd, &ps);
    if (dc != nullptr && lv.redraw && !lv.dead) {
        HGDIOBJ oldFont = SelectObject(
            dc,
            lv.font != nullptr ? lv.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        int oldMode = SetBkMode(dc, TRANSPARENT);
        COLORREF oldText = GetTextColor(dc);
        for (int i = 0; i < lv.count(); ++i) {
            RECT b = boundsRect(lv, i);
            InflateRect(&b, 1, 1);
            if (meets(b, ps.rcPaint)) paintItem(lv, dc, i);
        }
        SetTextColor(dc, oldText);
        SetBkMode(dc, oldMode);
        SelectObject(dc, oldFont);
    }
    EndPaint(lv.hwnd, &ps);
}

} // namespace winplat::comctl
