// The classic 3D look: edges of two rings each, and the frame controls that buttons, scroll
// arrows, check boxes and caption buttons are drawn with.
#include "win32/controls.h"

#include <algorithm>

namespace {

void fill(HDC dc, const RECT& r, int colourIndex) {
    if (r.right > r.left && r.bottom > r.top)
        FillRect(dc, &r, reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(colourIndex + 1)));
}

// One ring on the sides `flags` names: top and left in one colour, bottom and right in another.
void ring(HDC dc, const RECT& r, int topLeft, int bottomRight, UINT flags) {
    if ((flags & BF_TOP) != 0) fill(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    if ((flags & BF_LEFT) != 0) fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    if ((flags & BF_BOTTOM) != 0)
        fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    if ((flags & BF_RIGHT) != 0) fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

RECT inset(RECT r, UINT flags) {
    if ((flags & BF_LEFT) != 0) ++r.left;
    if ((flags & BF_TOP) != 0) ++r.top;
    if ((flags & BF_RIGHT) != 0) --r.right;
    if ((flags & BF_BOTTOM) != 0) --r.bottom;
    return r;
}

// A solid triangle pointing `direction` (0 up, 1 down, 2 left, 3 right), centred in `r`.
void triangle(HDC dc, const RECT& r, int direction, int colourIndex) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int size = std::max(2, (std::min(w, h) + 1) / 3); // rows of the triangle
    const int cx = r.left + w / 2, cy = r.top + h / 2;
    for (int i = 0; i < size; ++i) {
        const int half = direction == 0 || direction == 2 ? i : size - 1 - i;
        if (direction <= 1) {
            const int y = cy - size / 2 + i;
            fill(dc, RECT{cx - half, y, cx + half + 1, y + 1}, colourIndex);
        } else {
            const int x = cx - size / 2 + i;
            fill(dc, RECT{x, cy - half, x + 1, cy + half + 1}, colourIndex);
        }
    }
}

void arrow(HDC dc, RECT r, int direction, UINT state) {
    if ((state & DFCS_PUSHED) != 0) OffsetRect(&r, 1, 1);
    if ((state & DFCS_INACTIVE) != 0) {
        RECT shadow = r;
        OffsetRect(&shadow, 1, 1);
        triangle(dc, shadow, direction, COLOR_3DHILIGHT);
        triangle(dc, r, direction, COLOR_3DSHADOW);
    } else {
        triangle(dc, r, direction, COLOR_BTNTEXT);
    }
}

void buttonFace(HDC dc, RECT* r, UINT state, bool flatWhenPushed) {
    if ((state & DFCS_PUSHED) != 0 && flatWhenPushed) {
        fill(dc, *r, COLOR_BTNFACE);
        ring(dc, *r, COLOR_3DSHADOW, COLOR_3DSHADOW, BF_RECT);
        *r = inset(*r, BF_RECT);
        return;
    }
    DrawEdge(dc, r, (state & DFCS_PUSHED) != 0 ? EDGE_SUNKEN : EDGE_RAISED,
             BF_RECT | BF_MIDDLE | BF_ADJUST);
}

void checkBox(HDC dc, const RECT& area, UINT state) {
    const int side = std::min(
        {13, static_cast<int>(area.right - area.left), static_cast<int>(area.bottom - area.top)});
    RECT box{area.left, area.top + (area.bottom - area.top - side) / 2, area.left + side, 0};
    box.bottom = box.top + side;
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    const bool grey = (state & (DFCS_INACTIVE | DFCS_PUSHED)) != 0;
    fill(dc, box, grey ? COLOR_BTNFACE : COLOR_WINDOW);
    if ((state & DFCS_CHECKED) == 0) return;
    // A tick of three-pixel strokes: down to the right, then up to the right.
    const int ink = (state & DFCS_INACTIVE) != 0 ? COLOR_3DSHADOW : COLOR_BTNTEXT;
    const int x0 = box.left + (box.right - box.left - 7) / 2;
    const int y0 = box.top + (box.bottom - box.top - 7) / 2 + 2;
    for (int i = 0; i < 7; ++i) {
        const int y = i < 3 ? y0 + i : y0 + 4 - i;
        fill(dc, RECT{x0 + i, y, x0 + i + 1, y + 3}, ink);
    }
}

void closeCross(HDC dc, const RECT& r, UINT state) {
    RECT c = r;
    if ((state & DFCS_PUSHED) != 0) OffsetRect(&c, 1, 1);
    const int w = c.right - c.left, h = c.bottom - c.top;
    const int n = std::max(3, std::min(w, h) - 3);
    const int x0 = c.left + (w - n) / 2, y0 = c.top + (h - n) / 2;
    const int ink = (state & DFCS_INACTIVE) != 0 ? COLOR_3DSHADOW : COLOR_BTNTEXT;
    for (int i = 0; i < n; ++i) {
        fill(dc, RECT{x0 + i, y0 + i, x0 + i + 2, y0 + i + 1}, ink);
        fill(dc, RECT{x0 + n - 2 - i, y0 + i, x0 + n - i, y0 + i + 1}, ink);
    }
}

} // namespace

extern "C" {

BOOL DrawEdge(HDC dc, RECT* rect, UINT edge, UINT flags) {
    if (dc == nullptr || rect == nullptr) return FALSE;
    RECT r = *rect;
    const UINT sides = flags & BF_RECT;
    if ((edge & BDR_OUTER) != 0) {
        if ((flags & (BF_FLAT | BF_MONO)) != 0)
            ring(dc, r, (flags & BF_MONO) != 0 ? COLOR_WINDOWFRAME : COLOR_3DSHADOW,
                 (flags & BF_MONO) != 0 ? COLOR_WINDOWFRAME : COLOR_3DSHADOW, sides);
        else if ((edge & BDR_RAISEDOUTER) != 0)
            ring(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW, sides);
        else
            ring(dc, r, COLOR_3DSHADOW, COLOR_3DHILIGHT, sides);
        r = inset(r, sides);
    }
    if ((edge & BDR_INNER) != 0) {
        if ((flags & (BF_FLAT | BF_MONO)) != 0)
            ring(dc, r, COLOR_BTNFACE, COLOR_BTNFACE, sides);
        else if ((edge & BDR_RAISEDINNER) != 0)
            ring(dc, r, COLOR_3DHILIGHT, COLOR_3DSHADOW, sides);
        else
            ring(dc, r, COLOR_3DDKSHADOW, COLOR_3DLIGHT, sides);
        r = inset(r, sides);
    }
    if ((flags & BF_MIDDLE) != 0) fill(dc, r, COLOR_BTNFACE);
    if ((flags & BF_ADJUST) != 0) *rect = r;
    return TRUE;
}

BOOL DrawFrameControl(HDC dc, RECT* rect, UINT kind, UINT state) {
    if (dc == nullptr || rect == nullptr) return FALSE;
    RECT r = *rect;
    switch (kind) {
    case DFC_SCROLL: {
        buttonFace(dc, &r, state, true);
        const UINT which = state & 0xFF;
        const int direction = which == DFCS_SCROLLUP      ? 0
                              : which == DFCS_SCROLLLEFT  ? 2
                              : which == DFCS_SCROLLRIGHT ? 3
                                                          : 1;
        arrow(dc, r, direction, state);
        return TRUE;
    }
    case DFC_BUTTON:
        if ((state & DFCS_BUTTONPUSH) != 0) {
            buttonFace(dc, &r, state, false);
            return TRUE;
        }
        checkBox(dc, r, state);
        return TRUE;
    case DFC_CAPTION:
        buttonFace(dc, &r, state, false);
        closeCross(dc, r, state);
        return TRUE;
    default:
        return FALSE;
    }
}

} // extern "C"
