// Showing, moving, enabling and finding windows. Whatever a change uncovers is invalidated,
// so that the windows beneath repaint it in z-order.
#include "user/WindowSystem.h"

#include <algorithm>

using namespace winplat::user;

namespace {

// Moves a window within its siblings; true when the order changed.
bool reorder(Window* w, HWND after) {
    auto& siblings = w->parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), w);
    std::size_t oldIndex = static_cast<std::size_t>(it - siblings.begin());
    siblings.erase(it);
    std::size_t index = 0;
    if (after == HWND_BOTTOM) {
        index = siblings.size();
    } else if (after != HWND_TOP && after != HWND_TOPMOST && after != HWND_NOTOPMOST) {
        Window* a = lookup(after);
        auto pos = std::find(siblings.begin(), siblings.end(), a);
        index = pos != siblings.end() ? static_cast<std::size_t>(pos - siblings.begin()) + 1 : 0;
    }
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(index), w);
    return index != oldIndex;
}

Window* deepestAt(Window* parent, POINT screen, const std::vector<Window*>& passedThrough) {
    if (!containsPoint(clientRectOnScreen(parent), screen)) return nullptr;
    for (Window* child : parent->children) {
        if ((child->style & WS_VISIBLE) == 0) continue;
        if (std::find(passedThrough.begin(), passedThrough.end(), child) != passedThrough.end())
            continue;
        if (child->isChild() && (child->style & WS_DISABLED) != 0) continue;
        if (!containsPoint(windowRectOnScreen(child), screen)) continue;
        Window* deeper = deepestAt(child, screen, passedThrough);
        return deeper != nullptr ? deeper : child;
    }
    return nullptr;
}

bool activating(int command) {
    return command != SW_HIDE && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
}

} // namespace

namespace winplat::user {

Window* windowAt(POINT screen, int* hit) {
    std::vector<Window*> passedThrough;
    for (int attempt = 0; attempt < 16; ++attempt) {
        Window* w = deepestAt(desktop(), screen, passedThrough);
        if (w == nullptr) return nullptr;
        LRESULT h = send(w->handle, WM_NCHITTEST, 0,
                         MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y)));
        if (lookup(w->handle) == nullptr) return nullptr;
        if (h != HTTRANSPARENT) {
            if (hit != nullptr) *hit = static_cast<int>(h);
            return w;
        }
        passedThrough.push_back(w);
    }
    return nullptr;
}

void moveFocusFrom(Window* w) {
    Window* focus = lookup(GetFocus());
    if (focus != nullptr && isDescendant(w, focus)) {
        Window* parent = w->isChild() ? w->parent : nullptr;
        if (parent != nullptr && !parent->destroying && isShown(parent))
            SetFocus(parent->handle);
        else
            SetFocus(nullptr);
    }
    Window* capture = lookup(GetCapture());
    if (capture != nullptr && isDescendant(w, capture)) ReleaseCapture();
}

} // namespace winplat::user

extern "C" {

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int width, int height, UINT flags) {
    auto w = hold(hwnd);
    if (!w || w.get() == desktop()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool wasShown = isShown(w.get());
    RECT old = w->rect;
    RECT oldClient = w->client;
    RECT next = old;
    if ((flags & SWP_NOMOVE) == 0) next = offsetRect(next, x - old.left, y - old.top);
    if ((flags & SWP_NOSIZE) == 0) {
        next.right = next.left + std::max(width, 0);
        next.bottom = next.top + std::max(height, 0);
    }
    bool moved = next.left != old.left || next.top != old.top;
    bool sized = next.right - next.left != old.right - old.left ||
                 next.bottom - next.top != old.bottom - old.top;
    bool raised = (flags & SWP_NOZORDER) == 0 && reorder(w.get(), after);
    if ((flags & SWP_SHOWWINDOW) != 0) w->style |= WS_VISIBLE;
    if ((flags & SWP_HIDEWINDOW) != 0) w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    w->rect = next;
    if (moved || sized || (flags & SWP_FRAMECHANGED) != 0) recalcClient(w.get());
    if (w->destroyed) return FALSE;
    bool nowShown = isShown(w.get());
    bool changed =
        moved || sized || raised || wasShown != nowShown || (flags & SWP_FRAMECHANGED) != 0;
    if (!wasShown && nowShown && !w->isChild()) saveBitsUnder(w.get());
    if ((flags & SWP_NOREDRAW) == 0 && changed) {
        if (wasShown) exposeBeneath(w.get(), old);
        if (nowShown)
            invalidate(w.get(), nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    if (wasShown && !nowShown) {
        moveFocusFrom(w.get());
        if (!w->isChild()) activateAfter(w.get());
    }
    const RECT& c = w->client;
    if (c.left != oldClient.left || c.top != oldClient.top) {
        send(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(c.left), static_cast<WORD>(c.top)));
    }
    if (w->destroyed) return TRUE;
    if (c.right - c.left != oldClient.right - oldClient.left ||
        c.bottom - c.top != oldClient.bottom - oldClient.top) {
        send(hwnd, WM_SIZE, SIZE_RESTORED,
             MAKELPARAM(static_cast<WORD>(c.right - c.left), static_cast<WORD>(c.bottom - c.top)));
    }
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL ShowWindow(HWND hwnd, int command) {
    auto w = hold(hwnd);
    if (!w || w.get() == desktop()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    if (show != wasVisible) {
        send(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        if (w->destroyed) return wasVisible ? TRUE : FALSE;
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                         (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
    if (show && activating(command) && !w->isChild() && !w->destroyed) SetActiveWindow(hwnd);
    return wasVisible ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    auto w = hold(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable && wasDisabled) {
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
        send(hwnd, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
        w->style |= WS_DISABLED;
        Window* focus = lookup(GetFocus());
        if (focus != nullptr && isDescendant(w.get(), focus)) SetFocus(nullptr);
        Window* capture = lookup(GetCapture());
        if (capture != nullptr && isDescendant(w.get(), capture)) ReleaseCapture();
        send(hwnd, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled ? TRUE : FALSE;
}

HWND WindowFromPoint(POINT screenPoint) {
    Window* w = windowAt(screenPoint, nullptr);
    return w != nullptr ? w->handle : nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT clientPoint) {
    Window* p = lookup(parent);
    if (p == nullptr) return nullptr;
    RECT client{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
    if (!containsPoint(client, clientPoint)) return nullptr;
    for (Window* child : p->children) {
        if (containsPoint(child->rect, clientPoint)) return child->handle;
    }
    return parent;
}

} // extern "C"
