// The list view's record and the parts of its work: items and states (ListView.cpp), the
// icon grid and scrolling (ListViewLayout.cpp), mouse and keyboard (ListViewInput.cpp) and
// painting (ListViewPaint.cpp).
#pragma once

#include "win32/commctrl.h"

#include <string>
#include <vector>

namespace winplat::comctl {

struct ListItem {
    std::string text;
    bool textCallback = false;
    int image = 0;
    UINT state = 0;
    LPARAM param = 0;
    // The label as painted, worked out when first needed.
    bool measured = false;
    std::vector<std::string> lines;
    SIZE labelSize{0, 0};
};

struct ListView {
    HWND hwnd = nullptr;
    std::vector<ListItem> items;
    HIMAGELIST normal = nullptr;
    HIMAGELIST small = nullptr;
    HIMAGELIST stateImages = nullptr;
    SIZE spacing{0, 0}; // 0: the default
    int focused = -1;
    int mark = -1;      // where Shift-selection ranges start
    POINT origin{0, 0}; // how far the view is scrolled
    bool redraw = true;
    bool hasFocus = false;
    bool laying = false;
    HFONT font = nullptr;
    int lineHeight = 0;
    bool labelsMeasured = false; // false when some item's label may need measuring
    COLORREF background = CLR_DEFAULT;
    COLORREF textColour = CLR_DEFAULT;
    // A notification's receiver may destroy the control: the record outlives the window until
    // the outermost message that was using it returns.
    int depth = 0;
    bool dead = false;

    DWORD style() const { return static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)); }
    bool singleSelection() const { return (style() & LVS_SINGLESEL) != 0; }
    bool columns() const { return (style() & LVS_ALIGNMASK) == LVS_ALIGNLEFT; }
    int count() const { return static_cast<int>(items.size()); }
    bool valid(int i) const { return i >= 0 && i < count(); }
    bool selected(int i) const { return valid(i) && (items[i].state & LVIS_SELECTED) != 0; }
};

enum class Direction { Left, Right, Up, Down };

// Items and states.
LRESULT notify(ListView& lv, UINT code, NMHDR* header);
LRESULT notifyItem(ListView& lv, UINT code, int item, POINT at = POINT{0, 0});
// Sets some state bits of one item, with LVN_ITEMCHANGING and LVN_ITEMCHANGED; keeps one
// focused item, and one selected item in a single-selection list. False when the change was
// refused or the control went away meanwhile.
bool setItemState(ListView& lv, int item, UINT state, UINT mask);
// Selects `item` alone; an item outside the list clears the selection.
void selectOnly(ListView& lv, int item);
void selectRange(ListView& lv, int from, int to, bool keepOthers);

// Layout.
SIZE iconSize(const ListView& lv);
SIZE itemSpacing(const ListView& lv);
void forgetLabels(ListView& lv);
void arrange(ListView& lv);
RECT iconRect(ListView& lv, int item);
RECT labelRect(ListView& lv, int item);
RECT boundsRect(ListView& lv, int item);
int hitTest(ListView& lv, POINT client, UINT* flags);
int neighbour(ListView& lv, int item, Direction direction);
int pageStep(ListView& lv, int item, bool forward);
void ensureVisible(ListView& lv, int item);
void scrollBy(ListView& lv, int dx, int dy);
void onScroll(ListView& lv, int bar, WPARAM wParam);
void invalidateItem(ListView& lv, int item);
void invalidateAll(ListView& lv);

// Input.
void onButtonDown(ListView& lv, bool right, POINT client, WPARAM keys);
void onDoubleClick(ListView& lv, bool right, POINT client);
void onKeyDown(ListView& lv, UINT key);

// Painting.
void paint(ListView& lv);
LRESULT eraseBackground(ListView& lv, HDC dc);
COLORREF backgroundColour(const ListView& lv);

} // namespace winplat::comctl
