// Update rectangles and the paint cycle. Each window keeps the bounding rectangle of what
// waits to be painted; WM_PAINT is made when the queue has nothing else, and BeginPaint hands
// out a DC cut to that rectangle and to what the window shows of itself.
#include "user/WindowSystem.h"

#include <algorithm>

using namespace winplat::user;

namespace {

bool touchesChildren(UINT flags, const Window* w) {
    if ((flags & RDW_ALLCHILDREN) != 0) return true;
    return (flags & RDW_NOCHILDREN) == 0 && (w->style & WS_CLIPCHILDREN) == 0;
}

RECT clientBox(const Window* w) {
    return {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
}

bool covers(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

} // namespace

namespace winplat::user {

bool needsPaint(const Window* w) {
    return !emptyRect(w->update) || w->internalPaint || w->frame;
}

void invalidate(Window* w, const RECT* clientRect, UINT flags) {
    RECT box = clientBox(w);
    RECT r = clientRect != nullptr ? intersectRects(*clientRect, box) : box;
    if ((flags & RDW_INVALIDATE) != 0) {
        if (!emptyRect(r)) {
            w->update = unionRects(w->update, r);
            if ((flags & RDW_ERASE) != 0) w->erase = true;
        }
        if ((flags & RDW_FRAME) != 0) w->frame = true;
    }
    if ((flags & RDW_INTERNALPAINT) != 0) w->internalPaint = true;
    if ((flags & RDW_VALIDATE) != 0) {
        // A bounding rectangle cannot lose a part, so only a covering rectangle validates.
        if (clientRect == nullptr || covers(r, w->update)) w->update = RECT{0, 0, 0, 0};
        if ((flags & RDW_NOERASE) != 0 || emptyRect(w->update)) w->erase = false;
        if ((flags & RDW_FRAME) != 0) w->frame = false;
        if ((flags & RDW_NOINTERNALPAINT) != 0) w->internalPaint = false;
    }
    if (!touchesChildren(flags, w)) return;
    // A rectangle given for the parent reaches each child through the parent's client
    // coordinates; without one the children are touched whole.
    RECT inParent = clientRect != nullptr ? r : box;
    for (Window* child : w->children) {
        if ((child->style & WS_VISIBLE) == 0) continue;
        if (emptyRect(intersectRects(inParent, child->rect))) continue;
        RECT inChild = offsetRect(inParent, -child->client.left, -child->client.top);
        UINT childFlags = flags | ((flags & RDW_INVALIDATE) != 0 ? RDW_FRAME : 0);
        invalidate(child, clientRect != nullptr ? &inChild : nullptr, childFlags);
    }
}

void exposeBeneath(Window* w, const RECT& rectInParent) {
    if (w->parent == nullptr) return;
    if (!w->isChild() && restoreBitsUnder(w, rectInParent)) return;
    invalidate(w->parent, &rectInParent, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void paintNow(Window* w, UINT flags) {
    HWND hwnd = w->handle;
    auto held = hold(hwnd);
    if (!held) return;
    if (isShown(w) && !w->redrawOff) {
        if ((flags & RDW_UPDATENOW) != 0) {
            if (needsPaint(w)) send(hwnd, WM_PAINT);
        } else if ((flags & RDW_ERASENOW) != 0) {
            if (w->frame) {
                w->frame = false;
                send(hwnd, WM_NCPAINT, 1);
            }
            if (w->erase && !w->destroyed) {
                w->erase = false;
                RECT limit = offsetRect(w->update, clientOrigin(w).x, clientOrigin(w).y);
                HDC dc = acquireWindowDC(w, false, &limit);
                send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc));
                releaseWindowDC(dc);
            }
        }
    }
    if (w->destroyed || !touchesChildren(flags, w)) return;
    std::vector<HWND> kids;
    for (Window* child : w->children)
        kids.push_back(child->handle);
    for (HWND child : kids) {
        if (Window* c = lookup(child)) paintNow(c, flags);
    }
}

HWND windowToPaint(HWND filter) {
    DWORD me = currentThread();
    for (HWND hwnd : allWindows()) {
        Window* w = lookup(hwnd);
        if (w == nullptr || !needsPaint(w) || w->redrawOff || !isShown(w)) continue;
        if (w != desktop() && w->thread != me) continue;
        if (!matchesFilter(filter, hwnd)) continue;
        return hwnd;
    }
    return nullptr;
}

} // namespace winplat::user

extern "C" {

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN, UINT flags) {
    Window* w = hwnd != nullptr ? lookup(hwnd) : desktop();
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    invalidate(w, rect, flags);
    if ((flags & (RDW_UPDATENOW | RDW_ERASENOW)) != 0) paintNow(w, flags);
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (hwnd == nullptr) {
        return RedrawWindow(nullptr, nullptr, nullptr,
                            RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    return RedrawWindow(hwnd, rect, nullptr, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase) {
    Window* w = lookup(hwnd);
    if (w == nullptr) return FALSE;
    if (rect != nullptr) *rect = w->update;
    bool pending = !emptyRect(w->update);
    if (pending && erase && w->erase) paintNow(w, RDW_ERASENOW | RDW_NOCHILDREN);
    return pending ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
    return RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
    auto w = hold(hwnd);
    if (!w || paint == nullptr) return nullptr;
    *paint = PAINTSTRUCT{};
    if (w->frame) {
        w->frame = false;
        send(hwnd, WM_NCPAINT, 1);
        if (w->destroyed) return nullptr;
    }
    RECT update = w->update;
    bool erase = w->erase;
    w->update = RECT{0, 0, 0, 0};
    w->erase = false;
    w->internalPaint = false;
    POINT o = clientOrigin(w.get());
    RECT limit = offsetRect(update, o.x, o.y);
    noteDrawnBeneath(w.get(), limit);
    HDC dc = acquireWindowDC(w.get(), false, &limit);
    paint->hdc = dc;
    paint->rcPaint = update;
    if (erase) paint->fErase = send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)) == 0;
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (paint != nullptr && paint->hdc != nullptr) releaseWindowDC(paint->hdc);
    return TRUE;
}

} // extern "C"
