// The list view's window procedure, its items and their states, and its notifications.
#include "comctl/ListView.h"
#include "user/WindowSystem.h"

#include <algorithm>
#include <cstring>

namespace winplat::comctl {
namespace {

ListView* recordOf(HWND hwnd) {
    return reinterpret_cast<ListView*>(GetWindowLongPtrA(hwnd, 0));
}

// Sorting keeps equal items in their order and never relies on the comparison being
// consistent, so that any comparison function leaves a permutation of the items.
void mergeSort(std::vector<ListItem>& items, PFNLVCOMPARE compare, LPARAM data) {
    std::vector<ListItem> scratch(items.size());
    for (std::size_t width = 1; width < items.size(); width *= 2) {
        for (std::size_t lo = 0; lo < items.size(); lo += 2 * width) {
            std::size_t mid = std::min(lo + width, items.size());
            std::size_t hi = std::min(lo + 2 * width, items.size());
            std::size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi)
                scratch[out++] = compare(items[b].param, items[a].param, data) < 0
                                     ? std::move(items[b++])
                                     : std::move(items[a++]);
            while (a < mid)
                scratch[out++] = std::move(items[a++]);
            while (b < hi)
                scratch[out++] = std::move(items[b++]);
        }
        items.swap(scratch);
    }
}

void copyText(const std::string& text, LPSTR buffer, int size) {
    if (buffer == nullptr || size <= 0) return;
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

void setText(ListItem& item, LPCSTR text) {
    item.textCallback = text == LPSTR_TEXTCALLBACKA;
    item.text = item.textCallback || text == nullptr ? "" : text;
    item.measured = false;
}

// Items always stand in the grid, in their order: the list never lets them be placed freely.
void relayout(ListView& lv) {
    arrange(lv);
    invalidateAll(lv);
}

int insertItem(ListView& lv, const LVITEMA* in) {
    if (in == nullptr || in->iItem < 0 || in->iSubItem != 0) return -1;
    int at = std::min(in->iItem, lv.count());
    ListItem item;
    if ((in->mask & LVIF_TEXT) != 0) setText(item, in->pszText);
    if ((in->mask & LVIF_IMAGE) != 0) item.image = in->iImage;
    if ((in->mask & LVIF_PARAM) != 0) item.param = in->lParam;
    if ((in->mask & LVIF_STATE) != 0)
        item.state = in->state & in->stateMask & ~static_cast<UINT>(LVIS_FOCUSED);
    lv.items.insert(lv.items.begin() + at, std::move(item));
    lv.labelsMeasured = false;
    if (lv.focused >= at) ++lv.focused;
    if (lv.mark >= at) ++lv.mark;
    if ((in->mask & LVIF_STATE) != 0 && (in->state & in->stateMask & LVIS_FOCUSED) != 0)
        setItemState(lv, at, LVIS_FOCUSED, LVIS_FOCUSED);
    if (lv.dead) return -1;
    notifyItem(lv, LVN_INSERTITEM, at);
    if (lv.dead) return -1;
    relayout(lv);
    return at;
}

BOOL setItem(ListView& lv, const LVITEMA* in) {
    if (in == nullptr || !lv.valid(in->iItem) || in->iSubItem != 0) return FALSE;
    int i = in->iItem;
    UINT changed = in->mask & (LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM);
    if (changed != 0) {
        NMLISTVIEW nm{};
        nm.iItem = i;
        nm.uChanged = changed;
        nm.lParam = lv.items[i].param;
        if (notify(lv, LVN_ITEMCHANGING, &nm.hdr) != 0 || lv.dead) return FALSE;
        if (!lv.valid(i)) return FALSE;
        ListItem& item = lv.items[i];
        if ((in->mask & LVIF_TEXT) != 0) {
            setText(item, in->pszText);
            lv.labelsMeasured = false;
        }
        if ((in->mask & LVIF_IMAGE) != 0) item.image = in->iImage;
        if ((in->mask & LVIF_PARAM) != 0) item.param = in->lParam;
        nm.lParam = item.param;
        notify(lv, LVN_ITEMCHANGED, &nm.hdr);
        if (lv.dead) return FALSE;
        if ((in->mask & LVIF_TEXT) != 0) arrange(lv);
        invalidateItem(lv, i);
    }
    if ((in->mask & LVIF_STATE) != 0 && lv.valid(i)) setItemState(lv, i, in->state, in->stateMask);
    return TRUE;
}

BOOL getItem(ListView& lv, LVITEMA* out) {
    if (out == nullptr || !lv.valid(out->iItem) || out->iSubItem != 0) return FALSE;
    const ListItem& item = lv.items[out->iItem];
    if ((out->mask & LVIF_TEXT) != 0) copyText(item.text, out->pszText, out->cchTextMax);
    if ((out->mask & LVIF_IMAGE) != 0) out->iImage = item.image;
    if ((out->mask & LVIF_PARAM) != 0) out->lParam = item.param;
    if ((out->mask & LVIF_STATE) != 0) out->state = item.state & out->stateMask;
    return TRUE;
}

BOOL deleteItem(ListView& lv, int i) {
    if (!lv.valid(i)) return FALSE;
    notifyItem(lv, LVN_DELETEITEM, i);
    if (lv.dead || !lv.valid(i)) return FALSE;
    lv.items.erase(lv.items.begin() + i);
    if (lv.focused == i)
        lv.focused = -1;
    else if (lv.focused > i)
        --lv.focused;
    if (lv.mark == i)
        lv.mark = -1;
    else if (lv.mark > i)
        --lv.mark;
    relayout(lv);
    return TRUE;
}

BOOL deleteAll(ListView& lv) {
    if (lv.items.empty()) return TRUE;
    // A parent that answers TRUE wants no LVN_DELETEITEM for each item.
    bool each = notifyItem(lv, LVN_DELETEALLITEMS, -1) == 0;
    if (lv.dead) return FALSE;
    for (int i = 0; each && i < lv.count(); ++i) {
        notifyItem(lv, LVN_DELETEITEM, i);
        if (lv.dead) return FALSE;
    }
    lv.items.clear();
    lv.focused = -1;
    lv.mark = -1;
    lv.origin = POINT{0, 0};
    relayout(lv);
    return TRUE;
}

int nextItem(ListView& lv, int start, UINT flags) {
    UINT wanted = flags & (LVNI_SELECTED | LVNI_FOCUSED | LVIS_CUT | LVIS_DROPHILITED);
    auto matches = [&](int i) { return (lv.items[i].state & wanted) == wanted; };
    UINT geometry = flags & (LVNI_ABOVE | LVNI_BELOW | LVNI_TOLEFT | LVNI_TORIGHT);
    if (geometry != 0) {
        if (!lv.valid(start)) return -1;
        Direction d = geometry == LVNI_ABOVE    ? Direction::Up
                      : geometry == LVNI_BELOW  ? Direction::Down
                      : geometry == LVNI_TOLEFT ? Direction::Left
                                                : Direction::Right;
        for (int i = neighbour(lv, start, d), last = start; i != last && lv.valid(i);
             last = i, i = neighbour(lv, i, d)) {
            if (matches(i)) return i;
        }
        return -1;
    }
    for (int i = std::max(start + 1, 0); i < lv.count(); ++i) {
        if (matches(i)) return i;
    }
    return -1;
}

BOOL sortItems(ListView& lv, LPARAM data, PFNLVCOMPARE compare) {
    if (compare == nullptr) return FALSE;
    // The selection mark stays with its item: a flag bit outside the public states follows it.
    constexpr UINT kMarkBit = 0x80000000u;
    if (lv.valid(lv.mark)) lv.items[lv.mark].state |= kMarkBit;
    // The comparison may call back into the list: it sorts a copy, which replaces the items
    // only if the list is still as it was.
    std::vector<ListItem> sorted = lv.items;
    mergeSort(sorted, compare, data);
    if (lv.dead) return FALSE;
    if (sorted.size() == lv.items.size()) lv.items = std::move(sorted);
    lv.focused = lv.mark = -1;
    for (int i = 0; i < lv.count(); ++i) {
        if ((lv.items[i].state & LVIS_FOCUSED) != 0) lv.focused = i;
        if ((lv.items[i].state & kMarkBit) != 0) lv.mark = i;
        lv.items[i].state &= ~kMarkBit;
    }
    relayout(lv);
    return TRUE;
}

LRESULT setIconSpacing(ListView& lv, LPARAM lParam) {
    SIZE old = itemSpacing(lv);
    int cx = static_cast<SHORT>(LOWORD(lParam));
    int cy = static_cast<SHORT>(HIWORD(lParam));
    // -1 asks for the default; the spacing never falls below one pixel.
    lv.spacing.cx = cx == -1 ? 0 : std::max(cx, 1);
    lv.spacing.cy = cy == -1 ? 0 : std::max(cy, 1);
    forgetLabels(lv);
    relayout(lv);
    return MAKELONG(static_cast<WORD>(old.cx), static_cast<WORD>(old.cy));
}

LRESULT setImageList(ListView& lv, WPARAM which, HIMAGELIST list) {
    HIMAGELIST* slot = which == LVSIL_NORMAL  ? &lv.normal
                       : which == LVSIL_SMALL ? &lv.small
                       : which == LVSIL_STATE ? &lv.stateImages
                                              : nullptr;
    if (slot == nullptr) return 0;
    HIMAGELIST old = *slot;
    *slot = list;
    relayout(lv);
    return reinterpret_cast<LRESULT>(old);
}

LRESULT listViewMessage(ListView& lv, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = lv.hwnd;
    switch (message) {
    case WM_CREATE:
        arrange(lv);
        return 0;
    case WM_DESTROY:
        deleteAll(lv);
        return 0;
    case WM_SIZE:
    case WM_STYLECHANGED:
        if (message == WM_STYLECHANGED) forgetLabels(lv);
        if (!lv.laying) relayout(lv);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETREDRAW:
        lv.redraw = wParam != FALSE;
        DefWindowProcA(hwnd, message, wParam, lParam);
        if (lv.redraw) relayout(lv);
        return 0;
    case WM_SETFONT:
        lv.font = reinterpret_cast<HFONT>(wParam);
        lv.lineHeight = 0;
        lv.labelsMeasured = false;
        forgetLabels(lv);
        arrange(lv);
        if (lParam != 0) invalidateAll(lv);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(lv.font);
    case WM_ERASEBKGND:
        return eraseBackground(lv, reinterpret_cast<HDC>(wParam));
    case WM_PAINT:
        paint(lv);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        lv.hasFocus = message == WM_SETFOCUS;
        NMHDR header{};
        notify(lv, lv.hasFocus ? NM_SETFOCUS : NM_KILLFOCUS, &header);
        if (!lv.dead) invalidateAll(lv);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        onButtonDown(lv, message == WM_RBUTTONDOWN,
                     POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
        return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
        onDoubleClick(lv, message == WM_RBUTTONDBLCLK,
                      POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (GetCapture() == hwnd) ReleaseCapture();
        return 0;
    case WM_KEYDOWN:
        onKeyDown(lv, static_cast<UINT>(wParam));
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL:
        onScroll(lv, message == WM_VSCROLL ? SB_VERT : SB_HORZ, wParam);
        return 0;
    case WM_MOUSEWHEEL: {
        int lines = -static_cast<SHORT>(HIWORD(wParam)) / 120 * 3;
        SIZE sp = itemSpacing(lv);
        if (lv.columns())
            scrollBy(lv, lines * sp.cx / 2, 0);
        else
            scrollBy(lv, 0, lines * sp.cy / 2);
        return 0;
    }
    case LVM_GETBKCOLOR:
        return static_cast<LRESULT>(backgroundColour(lv));
    case LVM_SETBKCOLOR:
        lv.background = static_cast<COLORREF>(lParam);
        invalidateAll(lv);
        return TRUE;
    case LVM_GETTEXTCOLOR:
        return static_cast<LRESULT>(lv.textColour == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT)
                                                                 : lv.textColour);
    case LVM_SETTEXTCOLOR:
        lv.textColour = static_cast<COLORREF>(lParam);
        invalidateAll(lv);
        return TRUE;
    case LVM_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(wParam == LVSIL_NORMAL  ? lv.normal
                                         : wParam == LVSIL_SMALL ? lv.small
                                         : wParam == LVSIL_STATE ? lv.stateImages
                                                                 : nullptr);
    case LVM_SETIMAGELIST:
        return setImageList(lv, wParam, reinterpret_cast<HIMAGELIST>(lParam));
    case LVM_GETITEMCOUNT:
        return lv.count();
    case LVM_GETITEMA:
        return getItem(lv, reinterpret_cast<LVITEMA*>(lParam));
    case LVM_SETITEMA:
        return setItem(lv, reinterpret_cast<const LVITEMA*>(lParam));
    case LVM_INSERTITEMA:
        return insertItem(lv, reinterpret_cast<const LVITEMA*>(lParam));
    case LVM_DELETEITEM:
        return deleteItem(lv, static_cast<int>(wParam));
    case LVM_DELETEALLITEMS:
        return deleteAll(lv);
    case LVM_GETNEXTITEM:
        return nextItem(lv, static_cast<int>(wParam), static_cast<UINT>(lParam));
    case LVM_GETITEMRECT: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        int i = static_cast<int>(wParam);
        if (r == nullptr || !lv.valid(i)) return FALSE;
        int code = r->left;
        *r = code == LVIR_ICON    ? iconRect(lv, i)
             : code == LVIR_LABEL ? labelRect(lv, i)
                                  : boundsRect(lv, i);
        return TRUE;
    }
    case LVM_GETITEMPOSITION: {
        auto* p = reinterpret_cast<POINT*>(lParam);
        int i = static_cast<int>(wParam);
        if (p == nullptr || !lv.valid(i)) return FALSE;
        RECT b = boundsRect(lv, i);
        *p = POINT{b.left, b.top};
        return TRUE;
    }
    case LVM_HITTEST: {
        auto* info = reinterpret_cast<LVHITTESTINFO*>(lParam);
        if (info == nullptr) return -1;
        info->iItem = hitTest(lv, info->pt, &info->flags);
        info->iSubItem = 0;
        return info->iItem;
    }
    case LVM_ENSUREVISIBLE:
        if (!lv.valid(static_cast<int>(wParam))) return FALSE;
        ensureVisible(lv, static_cast<int>(wParam));
        return TRUE;
    case LVM_SCROLL:
        scrollBy(lv, static_cast<int>(wParam), static_cast<int>(lParam));
        return TRUE;
    case LVM_REDRAWITEMS: {
        int first = std::max(static_cast<int>(wParam), 0);
        int last = std::min(static_cast<int>(lParam), lv.count() - 1);
        for (int i = first; i <= last; ++i)
            invalidateItem(lv, i);
        return TRUE;
    }
    case LVM_ARRANGE:
        relayout(lv);
        return TRUE;
    case LVM_GETTOPINDEX:
        return 0; // icon view has no top row
    case LVM_GETCOUNTPERPAGE:
        return lv.count(); // icon view counts every item as on the page
    case LVM_GETORIGIN: {
        auto* p = reinterpret_cast<POINT*>(lParam);
        if (p == nullptr) return FALSE;
        *p = lv.origin;
        return TRUE;
    }
    case LVM_UPDATE:
        if (!lv.valid(static_cast<int>(wParam))) return FALSE;
        lv.items[wParam].measured = false;
        lv.labelsMeasured = false;
        relayout(lv);
        return TRUE;
    case LVM_SETITEMSTATE: {
        auto* in = reinterpret_cast<const LVITEMA*>(lParam);
        int i = static_cast<int>(wParam);
        if (in == nullptr) return FALSE;
        if (i == -1) {
            for (int j = 0; j < lv.count() && !lv.dead; ++j)
                setItemState(lv, j, in->state, in->stateMask);
            return TRUE;
        }
        if (!lv.valid(i)) return FALSE;
        setItemState(lv, i, in->state, in->stateMask);
        return TRUE;
    }
    case LVM_GETITEMSTATE: {
        int i = static_cast<int>(wParam);
        return lv.valid(i) ? static_cast<LRESULT>(lv.items[i].state & static_cast<UINT>(lParam))
                           : 0;
    }
    case LVM_GETITEMTEXTA: {
        auto* out = reinterpret_cast<LVITEMA*>(lParam);
        int i = static_cast<int>(wParam);
        if (out == nullptr || !lv.valid(i) || out->pszText == nullptr || out->cchTextMax <= 0)
            return 0;
        copyText(lv.items[i].text, out->pszText, out->cchTextMax);
        return static_cast<LRESULT>(std::strlen(out->pszText));
    }
    case LVM_SETITEMTEXTA: {
        auto* in = reinterpret_cast<const LVITEMA*>(lParam);
        int i = static_cast<int>(wParam);
        if (in == nullptr || !lv.valid(i) || in->iSubItem != 0) return FALSE;
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = in->pszText;
        return setItem(lv, &item);
    }
    case LVM_SORTITEMS:
        return sortItems(lv, static_cast<LPARAM>(wParam), reinterpret_cast<PFNLVCOMPARE>(lParam));
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(lv.items.begin(), lv.items.end(),
                             [](const ListItem& it) { return (it.state & LVIS_SELECTED) != 0; });
    case LVM_GETITEMSPACING: {
        SIZE sp = itemSpacing(lv);
        return MAKELONG(static_cast<WORD>(sp.cx), static_cast<WORD>(sp.cy));
    }
    case LVM_SETICONSPACING:
        return setIconSpacing(lv, lParam);
    case LVM_GETSELECTIONMARK:
        return lv.mark;
    case LVM_SETSELECTIONMARK: {
        int old = lv.mark;
        lv.mark = lv.valid(static_cast<int>(lParam)) ? static_cast<int>(lParam) : -1;
        return old;
    }
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK listViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* lv = new ListView;
        lv->hwnd = hwnd;
        SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(lv));
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    ListView* lv = recordOf(hwnd);
    if (lv == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, 0, 0);
        lv->dead = true;
        if (lv->depth == 0) delete lv;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    ++lv->depth;
    LRESULT result = listViewMessage(*lv, message, wParam, lParam);
    if (--lv->depth == 0 && lv->dead) delete lv;
    return result;
}

void registerListView() {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = listViewProc;
    wc.cbWndExtra = sizeof(ListView*);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_LISTVIEWA;
    RegisterClassA(&wc);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerListView);
    return true;
}();

} // namespace

LRESULT notify(ListView& lv, UINT code, NMHDR* header) {
    header->hwndFrom = lv.hwnd;
    header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(lv.hwnd));
    header->code = code;
    return winplat::user::notifyParent(lv.hwnd, WM_NOTIFY, header->idFrom,
                                       reinterpret_cast<LPARAM>(header));
}

LRESULT notifyItem(ListView& lv, UINT code, int item, POINT at) {
    NMLISTVIEW nm{};
    nm.iItem = item;
    nm.ptAction = at;
    nm.lParam = lv.valid(item) ? lv.items[item].param : 0;
    return notify(lv, code, &nm.hdr);
}

bool setItemState(ListView& lv, int item, UINT state, UINT mask) {
    if (!lv.valid(item)) return false;
    UINT old = lv.items[item].state;
    UINT next = (old & ~mask) | (state & mask);
    if (next == old) return true;
    UINT gained = next & ~old;
    // The other focused item, or the other selected one of a single-selection list, gives its
    // state up first, each with its own notifications.
    if ((gained & LVIS_FOCUSED) != 0 && lv.valid(lv.focused) && lv.focused != item) {
        if (!setItemState(lv, lv.focused, 0, LVIS_FOCUSED)) return false;
    }
    if ((gained & LVIS_SELECTED) != 0 && lv.singleSelection()) {
        for (int j = 0; j < lv.count(); ++j) {
            if (j != item && lv.selected(j) && !setItemState(lv, j, 0, LVIS_SELECTED)) return false;
        }
    }
    if (!lv.valid(item)) return false;
    NMLISTVIEW nm{};
    nm.iItem = item;
    nm.uChanged = LVIF_STATE;
    nm.uOldState = old;
    nm.uNewState = next;
    nm.lParam = lv.items[item].param;
    if (notify(lv, LVN_ITEMCHANGING, &nm.hdr) != 0 || lv.dead || !lv.valid(item)) return false;
    lv.items[item].state = next;
    if ((next & LVIS_FOCUSED) != 0)
        lv.focused = item;
    else if (lv.focused == item)
        lv.focused = -1;
    invalidateItem(lv, item);
    notify(lv, LVN_ITEMCHANGED, &nm.hdr);
    return !lv.dead;
}

void selectOnly(ListView& lv, int item) {
    for (int j = 0; j < lv.count() && !lv.dead; ++j) {
        if (j != item && lv.selected(j)) setItemState(lv, j, 0, LVIS_SELECTED);
    }
    if (!lv.dead && lv.valid(item)) setItemState(lv, item, LVIS_SELECTED, LVIS_SELECTED);
}

void selectRange(ListView& lv, int from, int to, bool keepOthers) {
    int lo = std::min(from, to), hi = std::max(from, to);
    for (int j = 0; j < lv.count() && !lv.dead; ++j) {
        bool inside = j >= lo && j <= hi;
        if (inside)
            setItemState(lv, j, LVIS_SELECTED, LVIS_SELECTED);
        else if (!keepOthers && lv.selected(j))
            setItemState(lv, j, 0, LVIS_SELECTED);
    }
}

} // namespace winplat::comctl
