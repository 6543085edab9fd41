// The scroll bars of a window's frame: their state, where they lie, and what a click on one
// sends. A bar appears when its range no longer fits in its page and goes when it fits again.
#include "user/WindowSystem.h"

#include <algorithm>

using namespace winplat::user;

namespace {

DWORD styleOf(int bar) {
    return bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
}

bool validBar(int bar) {
    return bar == SB_HORZ || bar == SB_VERT;
}

void clampPosition(ScrollBar& b) {
    int span = std::max(static_cast<int>(b.page), 1);
    int last = std::max(b.min, b.max - span + 1);
    b.pos = std::clamp(b.pos, b.min, last);
}

bool barNeeded(const ScrollBar& b) {
    long long range = static_cast<long long>(b.max) - b.min + 1;
    return b.page == 0 ? b.max > b.min : range > static_cast<long long>(b.page);
}

void setFrameStyle(HWND hwnd, Window* w, DWORD bits, bool on) {
    if ((w->style & bits) == (on ? bits : 0)) return;
    if (on)
        w->style |= bits;
    else
        w->style &= ~bits;
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Where the thumb lies along a bar of `length` pixels between its two arrows.
void thumbSpan(const ScrollBar& b, int length, int arrow, int* start, int* size) {
    int track = std::max(length - 2 * arrow, 0);
    long long range = std::max(static_cast<long long>(b.max) - b.min + 1, 1LL);
    int thumb = b.page == 0 ? arrow
                            : static_cast<int>(std::min<long long>(
                                  track, track * static_cast<long long>(b.page) / range));
    thumb = std::clamp(thumb, std::min(8, track), track);
    long long movable = std::max(range - std::max<long long>(b.page, 1), 1LL);
    *start = arrow + static_cast<int>((track - thumb) * (b.pos - b.min) / movable);
    *size = thumb;
}

} // namespace

namespace winplat::user {

RECT scrollBarRect(const Window* w, int bar) {
    if ((w->style & styleOf(bar)) == 0) return RECT{0, 0, 0, 0};
    RECT c = offsetRect(w->client, -w->rect.left, -w->rect.top);
    if (bar == SB_VERT)
        return RECT{c.right, c.top, c.right + GetSystemMetrics(SM_CXVSCROLL), c.bottom};
    return RECT{c.left, c.bottom, c.right, c.bottom + GetSystemMetrics(SM_CYHSCROLL)};
}

int scrollBarHit(const Window* w, POINT screen) {
    RECT wr = windowRectOnScreen(w);
    POINT p{screen.x - wr.left, screen.y - wr.top};
    if (containsPoint(scrollBarRect(w, SB_VERT), p)) return HTVSCROLL;
    if (containsPoint(scrollBarRect(w, SB_HORZ), p)) return HTHSCROLL;
    return HTNOWHERE;
}

void scrollBarClick(Window* w, int hit, POINT screen) {
    int bar = hit == HTVSCROLL ? SB_VERT : SB_HORZ;
    RECT r = scrollBarRect(w, bar);
    if (emptyRect(r)) return;
    RECT wr = windowRectOnScreen(w);
    bool vertical = bar == SB_VERT;
    int along = vertical ? screen.y - wr.top - r.top : screen.x - wr.left - r.left;
    int length = vertical ? r.bottom - r.top : r.right - r.left;
    int arrow = vertical ? r.right - r.left : r.bottom - r.top;
    int start = 0, size = 0;
    thumbSpan(w->bars[bar], length, arrow, &start, &size);
    int code;
    if (along < arrow)
        code = SB_LINEUP;
    else if (along >= length - arrow)
        code = SB_LINEDOWN;
    else if (along < start)
        code = SB_PAGEUP;
    else if (along >= start + size)
        code = SB_PAGEDOWN;
    else
        return; // the thumb: dragging it is not offered
    UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
    HWND hwnd = w->handle;
    send(hwnd, message, MAKEWPARAM(static_cast<WORD>(code), 0), 0);
    send(hwnd, message, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

} // namespace winplat::user

extern "C" {

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
    Window* w = lookup(hwnd);
    if (w == nullptr || info == nullptr || !validBar(bar)) return 0;
    ScrollBar& b = w->bars[bar];
    if ((info->fMask & SIF_RANGE) != 0) {
        b.min = info->nMin;
        b.max = std::max(info->nMax, info->nMin);
    }
    if ((info->fMask & SIF_PAGE) != 0) b.page = info->nPage;
    if ((info->fMask & SIF_POS) != 0) b.pos = info->nPos;
    long long range = static_cast<long long>(b.max) - b.min + 1;
    if (static_cast<long long>(b.page) > range) b.page = static_cast<UINT>(range);
    clampPosition(b);
    int pos = b.pos;
    bool needed = barNeeded(b);
    if (needed || (info->fMask & SIF_DISABLENOSCROLL) == 0)
        setFrameStyle(hwnd, w, styleOf(bar), needed);
    if (redraw && lookup(hwnd) != nullptr)
        invalidate(w, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
    return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
    Window* w = lookup(hwnd);
    if (w == nullptr || info == nullptr || !validBar(bar)) return FALSE;
    const ScrollBar& b = w->bars[bar];
    if ((info->fMask & SIF_RANGE) != 0) {
        info->nMin = b.min;
        info->nMax = b.max;
    }
    if ((info->fMask & SIF_PAGE) != 0) info->nPage = b.page;
    if ((info->fMask & SIF_POS) != 0) info->nPos = b.pos;
    if ((info->fMask & SIF_TRACKPOS) != 0) info->nTrackPos = b.pos;
    return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    Window* w = lookup(hwnd);
    if (w == nullptr || !validBar(bar)) return 0;
    int old = w->bars[bar].pos;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(hwnd, bar, &info, redraw);
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    Window* w = lookup(hwnd);
    return w != nullptr && validBar(bar) ? w->bars[bar].pos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    if (lookup(hwnd) == nullptr || !validBar(bar)) return FALSE;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, minPos, maxPos, 0, 0, 0};
    SetScrollInfo(hwnd, bar, &info, redraw);
    return TRUE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
    Window* w = lookup(hwnd);
    if (w == nullptr || (bar != SB_BOTH && !validBar(bar))) return FALSE;
    DWORD bits = bar == SB_BOTH ? (WS_VSCROLL | WS_HSCROLL) : styleOf(bar);
    setFrameStyle(hwnd, w, bits, show != FALSE);
    return TRUE;
}

} // extern "C"
