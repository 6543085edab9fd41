// Mouse and keyboard. A plain click selects the item alone and focuses it; a click on an item
// that is already selected changes nothing until it is known not to start a drag, which the
// button-down handling finds out from the mouse input that is already queued (the button-up
// it takes from the queue never reaches the window). Keys move the focus through the grid and
// take the selection along on key-down.
#include "comctl/ListView.h"

#include <cstdlib>

namespace winplat::comctl {
namespace {

enum class Track { Click, Drag };

// Follows the queued mouse input after a press: a move past the drag distance with the button
// down starts a drag; the release, or the end of the queued input, makes it a click.
Track trackDrag(ListView& lv, POINT start) {
    HWND hwnd = lv.hwnd;
    SetCapture(hwnd);
    Track result = Track::Click;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
        if (msg.hwnd != hwnd) break;
        PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE);
        if (msg.message == WM_MOUSEMOVE) {
            int dx = std::abs(GET_X_LPARAM(msg.lParam) - start.x);
            int dy = std::abs(GET_Y_LPARAM(msg.lParam) - start.y);
            if ((msg.wParam & MK_LBUTTON) != 0 &&
                (dx > GetSystemMetrics(SM_CXDRAG) || dy > GetSystemMetrics(SM_CYDRAG))) {
                result = Track::Drag;
                break;
            }
            continue;
        }
        break;
    }
    if (GetCapture() == hwnd) ReleaseCapture();
    return result;
}

void notifyClick(ListView& lv, UINT code, int item, POINT at, WPARAM keys) {
    NMITEMACTIVATE nm{};
    nm.iItem = item;
    nm.ptAction = at;
    nm.uKeyFlags = static_cast<UINT>(keys & (MK_CONTROL | MK_SHIFT));
    notify(lv, code, &nm.hdr);
}

void focusAndSelect(ListView& lv, int item) {
    selectOnly(lv, item);
    if (!lv.dead) setItemState(lv, item, LVIS_FOCUSED, LVIS_FOCUSED);
}

} // namespace

void onButtonDown(ListView& lv, bool right, POINT at, WPARAM keys) {
    HWND hwnd = lv.hwnd;
    if (GetFocus() != hwnd) {
        SetFocus(hwnd);
        if (lv.dead) return;
    }
    int item = hitTest(lv, at, nullptr);
    bool control = (keys & MK_CONTROL) != 0, shift = (keys & MK_SHIFT) != 0;
    UINT click = right ? NM_RCLICK : NM_CLICK;
    if (item < 0) {
        if (!control && !shift) selectOnly(lv, -1);
        if (!lv.dead) notifyClick(lv, click, -1, at, keys);
        return;
    }
    if (right) {
        if (!lv.selected(item)) selectOnly(lv, item);
        if (!lv.dead) setItemState(lv, item, LVIS_FOCUSED, LVIS_FOCUSED);
        lv.mark = item;
    } else if (shift && !lv.singleSelection()) {
        int anchor = lv.valid(lv.mark) ? lv.mark : item;
        selectRange(lv, anchor, item, control);
        if (!lv.dead) setItemState(lv, item, LVIS_FOCUSED, LVIS_FOCUSED);
        lv.mark = anchor;
    } else if (control) {
        UINT toggled = lv.selected(item) ? 0 : LVIS_SELECTED;
        setItemState(lv, item, toggled | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        lv.mark = item;
    } else {
        bool wasSelected = lv.selected(item);
        if (!wasSelected) {
            focusAndSelect(lv, item);
        } else {
            setItemState(lv, item, LVIS_FOCUSED, LVIS_FOCUSED);
        }
        if (lv.dead) return;
        lv.mark = item;
        if (trackDrag(lv, at) == Track::Drag) {
            if (!lv.dead) notifyItem(lv, LVN_BEGINDRAG, item, at);
            return;
        }
        if (lv.dead) return;
        // A click that did not drag leaves the clicked item selected alone.
        if (wasSelected) selectOnly(lv, item);
    }
    if (!lv.dead) notifyClick(lv, click, item, at, keys);
}

void onDoubleClick(ListView& lv, bool right, POINT at) {
    int item = hitTest(lv, at, nullptr);
    notifyClick(lv, right ? NM_RDBLCLK : NM_DBLCLK, item, at, 0);
    if (!right && item >= 0 && !lv.dead) notifyClick(lv, LVN_ITEMACTIVATE, item, at, 0);
}

void onKeyDown(ListView& lv, UINT key) {
    NMLVKEYDOWN nm{};
    nm.wVKey = static_cast<WORD>(key);
    notify(lv, LVN_KEYDOWN, &nm.hdr);
    if (lv.dead || lv.count() == 0) return;
    bool control = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    bool multiple = !lv.singleSelection();
    int from = lv.focused;
    int to;
    switch (key) {
    case VK_LEFT:
        to = from < 0 ? 0 : neighbour(lv, from, Direction::Left);
        break;
    case VK_RIGHT:
        to = from < 0 ? 0 : neighbour(lv, from, Direction::Right);
        break;
    case VK_UP:
        to = from < 0 ? 0 : neighbour(lv, from, Direction::Up);
        break;
    case VK_DOWN:
        to = from < 0 ? 0 : neighbour(lv, from, Direction::Down);
        break;
    case VK_HOME:
        to = 0;
        break;
    case VK_END:
        to = lv.count() - 1;
        break;
    case VK_PRIOR:
        to = from < 0 ? 0 : pageStep(lv, from, false);
        break;
    case VK_NEXT:
        to = from < 0 ? 0 : pageStep(lv, from, true);
        break;
    case VK_SPACE:
        if (!lv.valid(from)) return;
        if (control && multiple)
            setItemState(lv, from, lv.selected(from) ? 0 : LVIS_SELECTED, LVIS_SELECTED);
        else if (!lv.selected(from))
            focusAndSelect(lv, from);
        return;
    case VK_RETURN:
        if (lv.valid(from)) {
            NMHDR header{};
            notify(lv, NM_RETURN, &header);
            if (!lv.dead) notifyClick(lv, LVN_ITEMACTIVATE, from, POINT{0, 0}, 0);
        }
        return;
    default:
        return;
    }
    if (to == from || !lv.valid(to)) return;
    if (multiple && shift) {
        int anchor = lv.valid(lv.mark) ? lv.mark : (lv.valid(from) ? from : to);
        selectRange(lv, anchor, to, control);
        if (!lv.dead) setItemState(lv, to, LVIS_FOCUSED, LVIS_FOCUSED);
        lv.mark = anchor;
    } else if (multiple && control) {
        setItemState(lv, to, LVIS_FOCUSED, LVIS_FOCUSED);
    } else {
        focusAndSelect(lv, to);
        lv.mark = to;
    }
    if (!lv.dead) ensureVisible(lv, to);
}

} // namespace winplat::comctl
