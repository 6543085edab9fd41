// The system's metrics, colours (the classic scheme), parameters, standard cursors and the
// rectangle helpers.
#include "user/WindowSystem.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct Metric {
    int index;
    int value;
};

constexpr Metric kMetrics[] = {
    {SM_CXSCREEN, 1024},   {SM_CYSCREEN, 768},  {SM_CXVSCROLL, 16},     {SM_CYHSCROLL, 16},
    {SM_CYCAPTION, 19},    {SM_CXBORDER, 1},    {SM_CYBORDER, 1},       {SM_CXDLGFRAME, 3},
    {SM_CYDLGFRAME, 3},    {SM_CYVTHUMB, 16},   {SM_CXHTHUMB, 16},      {SM_CXICON, 32},
    {SM_CYICON, 32},       {SM_CXCURSOR, 32},   {SM_CYCURSOR, 32},      {SM_CYVSCROLL, 16},
    {SM_CXHSCROLL, 16},    {SM_SWAPBUTTON, 0},  {SM_CXFRAME, 4},        {SM_CYFRAME, 4},
    {SM_CXDOUBLECLK, 4},   {SM_CYDOUBLECLK, 4}, {SM_CXICONSPACING, 75}, {SM_CYICONSPACING, 75},
    {SM_CMOUSEBUTTONS, 3}, {SM_CXEDGE, 2},      {SM_CYEDGE, 2},         {SM_CXDRAG, 4},
    {SM_CYDRAG, 4},
};

constexpr COLORREF kColours[] = {
    RGB(212, 208, 200), // COLOR_SCROLLBAR
    RGB(58, 110, 165),  // COLOR_BACKGROUND
    RGB(10, 36, 106),   // COLOR_ACTIVECAPTION
    RGB(128, 128, 128), // COLOR_INACTIVECAPTION
    RGB(212, 208, 200), // COLOR_MENU
    RGB(255, 255, 255), // COLOR_WINDOW
    RGB(0, 0, 0),       // COLOR_WINDOWFRAME
    RGB(0, 0, 0),       // COLOR_MENUTEXT
    RGB(0, 0, 0),       // COLOR_WINDOWTEXT
    RGB(255, 255, 255), // COLOR_CAPTIONTEXT
    RGB(212, 208, 200), // COLOR_ACTIVEBORDER
    RGB(212, 208, 200), // COLOR_INACTIVEBORDER
    RGB(128, 128, 128), // COLOR_APPWORKSPACE
    RGB(10, 36, 106),   // COLOR_HIGHLIGHT
    RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200), // COLOR_BTNFACE
    RGB(128, 128, 128), // COLOR_BTNSHADOW
    RGB(128, 128, 128), // COLOR_GRAYTEXT
    RGB(0, 0, 0),       // COLOR_BTNTEXT
    RGB(212, 208, 200), // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),    // COLOR_3DDKSHADOW
    RGB(212, 208, 200), // COLOR_3DLIGHT
    RGB(0, 0, 0),       // COLOR_INFOTEXT
    RGB(255, 255, 225), // COLOR_INFOBK
    RGB(181, 181, 181), // unused slot
    RGB(0, 0, 128),     // COLOR_HOTLIGHT
    RGB(166, 202, 240), // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192), // COLOR_GRADIENTINACTIVECAPTION
};

constexpr UINT_PTR kCursorIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                   32644, 32645, 32646, 32648, 32649, 32650};
// Standard cursors are shared and never destroyed; their handles are these bytes' addresses.
char g_cursorShapes[std::size(kCursorIds)];
HCURSOR g_cursor = nullptr;
int g_cursorShown = 0;

void fillFont(LOGFONTA& font, LONG weight) {
    font = LOGFONTA{};
    font.lfHeight = -11;
    font.lfWeight = weight;
    font.lfCharSet = 0;
    std::strncpy(font.lfFaceName, "MS Sans Serif", LF_FACESIZE - 1);
}

} // namespace

extern "C" {

int GetSystemMetrics(int index) {
    for (const Metric& m : kMetrics) {
        if (m.index == index) return m.value;
    }
    return 0;
}

DWORD GetSysColor(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kColours))) return 0;
    return kColours[index];
}

BOOL SystemParametersInfoA(UINT action, UINT, LPVOID pvParam, UINT) {
    switch (action) {
    case SPI_GETNONCLIENTMETRICS: {
        auto* m = static_cast<NONCLIENTMETRICSA*>(pvParam);
        if (m == nullptr || m->cbSize != sizeof(NONCLIENTMETRICSA)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *m = NONCLIENTMETRICSA{};
        m->cbSize = sizeof(NONCLIENTMETRICSA);
        m->iBorderWidth = 1;
        m->iScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
        m->iScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
        m->iCaptionWidth = 18;
        m->iCaptionHeight = 18;
        m->iSmCaptionWidth = 12;
        m->iSmCaptionHeight = 15;
        m->iMenuWidth = 18;
        m->iMenuHeight = 18;
        fillFont(m->lfCaptionFont, 700);
        fillFont(m->lfSmCaptionFont, 700);
        fillFont(m->lfMenuFont, 400);
        fillFont(m->lfStatusFont, 400);
        fillFont(m->lfMessageFont, 400);
        return TRUE;
    }
    case SPI_GETWORKAREA: {
        auto* r = static_cast<RECT*>(pvParam);
        if (r == nullptr) return FALSE;
        *r = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        return TRUE;
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    auto id = reinterpret_cast<UINT_PTR>(name);
    if (instance == nullptr && id < 0x10000) {
        for (std::size_t i = 0; i < std::size(kCursorIds); ++i) {
            if (kCursorIds[i] == id) return reinterpret_cast<HCURSOR>(&g_cursorShapes[i]);
        }
    }
    SetLastError(1814); // ERROR_RESOURCE_NAME_NOT_FOUND: no cursor resources exist here
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old = g_cursor;
    g_cursor = cursor;
    return old;
}

HCURSOR GetCursor() {
    return g_cursor;
}

int ShowCursor(BOOL show) {
    return show ? ++g_cursorShown : --g_cursorShown;
}

BOOL MessageBeep(UINT) {
    return TRUE;
}

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(RECT* rect) {
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL CopyRect(RECT* to, const RECT* from) {
    if (to == nullptr || from == nullptr) return FALSE;
    *to = *from;
    return TRUE;
}

BOOL InflateRect(RECT* rect, int dx, int dy) {
    if (rect == nullptr) return FALSE;
    rect->left -= dx;
    rect->right += dx;
    rect->top -= dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL OffsetRect(RECT* rect, int dx, int dy) {
    if (rect == nullptr) return FALSE;
    *rect = winplat::user::offsetRect(*rect, dx, dy);
    return TRUE;
}

BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
    if (out == nullptr || a == nullptr || b == nullptr) return FALSE;
    *out = winplat::user::intersectRects(*a, *b);
    return winplat::user::emptyRect(*out) ? FALSE : TRUE;
}

BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
    if (out == nullptr || a == nullptr || b == nullptr) return FALSE;
    *out = winplat::user::unionRects(*a, *b);
    if (winplat::user::emptyRect(*out)) *out = RECT{0, 0, 0, 0};
    return winplat::user::emptyRect(*out) ? FALSE : TRUE;
}

BOOL PtInRect(const RECT* rect, POINT point) {
    return rect != nullptr && winplat::user::containsPoint(*rect, point) ? TRUE : FALSE;
}

BOOL IsRectEmpty(const RECT* rect) {
    return rect == nullptr || winplat::user::emptyRect(*rect) ? TRUE : FALSE;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
    if (a == nullptr || b == nullptr) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom
               ? TRUE
               : FALSE;
}

} // extern "C"
