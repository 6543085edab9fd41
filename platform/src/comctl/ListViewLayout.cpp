// The icon grid: items stand in cells of the icon spacing, in rows that scroll vertically, or
// with LVS_ALIGNLEFT in columns that scroll horizontally. Each cell holds the icon centred at
// its top and the label, wrapped to two lines, centred under it.
#include "comctl/ListView.h"

#include <algorithm>
#include <climits>

namespace winplat::comctl {
namespace {

constexpr int kIconTop = 2;
constexpr int kLabelGap = 2;
constexpr int kLabelPad = 2;
constexpr int kMaxLines = 2;
constexpr int kScrollLine = 16;
constexpr long long kCoordinateLimit = 1000000000; // keeps every rectangle within an int

int clampCoordinate(long long v) {
    return static_cast<int>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit));
}

HFONT fontOf(const ListView& lv) {
    return lv.font != nullptr ? lv.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// A screen DC with the list's font, for measuring labels.
class Measure {
public:
    explicit Measure(const ListView& lv) : m_dc(GetDC(nullptr)) {
        m_old = SelectObject(m_dc, fontOf(lv));
    }
    ~Measure() {
        SelectObject(m_dc, m_old);
        ReleaseDC(nullptr, m_dc);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    int width(const std::string& text, std::size_t from, std::size_t length) const {
        SIZE s{0, 0};
        GetTextExtentPoint32A(m_dc, text.c_str() + from, static_cast<int>(length), &s);
        return s.cx;
    }
    int lineHeight() const {
        TEXTMETRICA tm{};
        GetTextMetricsA(m_dc, &tm);
        return std::max<int>(tm.tmHeight, 1);
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// The longest run from `from` that fits in `limit` pixels (at least one character).
std::size_t fitting(const Measure& m, const std::string& text, std::size_t from, int limit) {
    std::size_t lo = 1, hi = text.size() - from;
    while (lo < hi) {
        std::size_t mid = (lo + hi + 1) / 2;
        if (m.width(text, from, mid) <= limit)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

std::vector<std::string> wrap(const Measure& m, const std::string& text, int limit, int maxLines) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size() && static_cast<int>(lines.size()) < maxLines) {
        std::size_t n = fitting(m, text, pos, limit);
        if (pos + n < text.size()) {
            std::size_t space = text.rfind(' ', pos + n);
            if (space != std::string::npos && space > pos) n = space - pos + 1;
        }
        std::string line = text.substr(pos, n);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines.push_back(line);
        pos += n;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
    }
    if (pos < text.size() && !lines.empty()) {
        std::string& last = lines.back();
        while (!last.empty() && m.width(last + "...", 0, last.size() + 3) > limit)
            last.pop_back();
        last += "...";
    }
    return lines;
}

void measure(ListView& lv) {
    bool needed = lv.lineHeight == 0;
    for (const ListItem& item : lv.items)
        needed = needed || !item.measured;
    if (!needed) return;
    Measure m(lv);
    if (lv.lineHeight == 0) lv.lineHeight = m.lineHeight();
    int limit = std::max(itemSpacing(lv).cx - 2 * kLabelPad - 2, 1);
    int maxLines = (lv.style() & LVS_NOLABELWRAP) != 0 ? 1 : kMaxLines;
    for (ListItem& item : lv.items) {
        if (item.measured) continue;
        item.lines = wrap(m, item.text, limit, maxLines);
        int widest = 0;
        for (const std::string& line : item.lines)
            widest = std::max(widest, m.width(line, 0, line.size()));
        item.labelSize = item.lines.empty()
                             ? SIZE{0, 0}
                             : SIZE{widest + 2 * kLabelPad,
                                    static_cast<LONG>(item.lines.size()) * lv.lineHeight + 2};
        item.measured = true;
    }
}

SIZE clientSize(const ListView& lv) {
    RECT r{0, 0, 0, 0};
    GetClientRect(lv.hwnd, &r);
    return SIZE{r.right, r.bottom};
}

// Cells per row (or per column with LVS_ALIGNLEFT).
long long perLine(const ListView& lv) {
    SIZE sp = itemSpacing(lv), c = clientSize(lv);
    return std::max<long long>(lv.columns() ? c.cy / sp.cy : c.cx / sp.cx, 1);
}

// How far the items reach, in content coordinates.
SIZE extent(const ListView& lv) {
    SIZE sp = itemSpacing(lv);
    long long per = perLine(lv);
    long long lines = (lv.count() + per - 1) / per;
    long long across = lv.columns() ? lines * sp.cx : per * sp.cx;
    long long down = lv.columns() ? per * sp.cy : lines * sp.cy;
    return SIZE{clampCoordinate(across), clampCoordinate(down)};
}

POINT clampOrigin(const ListView& lv, POINT o) {
    SIZE e = extent(lv), c = clientSize(lv);
    if ((lv.style() & LVS_NOSCROLL) != 0) return POINT{0, 0};
    if (lv.columns()) return POINT{std::clamp<LONG>(o.x, 0, std::max<LONG>(e.cx - c.cx, 0)), 0};
    return POINT{0, std::clamp<LONG>(o.y, 0, std::max<LONG>(e.cy - c.cy, 0))};
}

void setBar(const ListView& lv, int bar, int range, int page, int pos) {
    SCROLLINFO info{sizeof(SCROLLINFO),
                    SIF_RANGE | SIF_PAGE | SIF_POS,
                    0,
                    std::max(range - 1, 0),
                    static_cast<UINT>(std::max(page, 0)),
                    pos,
                    0};
    SetScrollInfo(lv.hwnd, bar, &info, TRUE);
}

RECT cellRect(const ListView& lv, int item) {
    SIZE sp = itemSpacing(lv);
    long long per = perLine(lv);
    long long along = item % per, line = item / per;
    long long col = lv.columns() ? line : along, row = lv.columns() ? along : line;
    long long left = col * sp.cx - lv.origin.x, top = row * sp.cy - lv.origin.y;
    return RECT{clampCoordinate(left), clampCoordinate(top), clampCoordinate(left + sp.cx),
                clampCoordinate(top + sp.cy)};
}

} // namespace

SIZE iconSize(const ListView& lv) {
    int cx = 0, cy = 0;
    if (lv.normal != nullptr && ImageList_GetIconSize(lv.normal, &cx, &cy)) return SIZE{cx, cy};
    return SIZE{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
}

SIZE itemSpacing(const ListView& lv) {
    SIZE icon = iconSize(lv);
    SIZE sp{std::max<LONG>(GetSystemMetrics(SM_CXICONSPACING), icon.cx + 8),
            std::max<LONG>(GetSystemMetrics(SM_CYICONSPACING), icon.cy + 40)};
    if (lv.spacing.cx > 0) sp.cx = lv.spacing.cx;
    if (lv.spacing.cy > 0) sp.cy = lv.spacing.cy;
    return sp;
}

void forgetLabels(ListView& lv) {
    for (ListItem& item : lv.items)
        item.measured = false;
}

void arrange(ListView& lv) {
    if (lv.laying || lv.dead) return;
    lv.laying = true;
    // A scroll bar that comes or goes changes the client area, and so the grid: settle it.
    for (int pass = 0; pass < 3; ++pass) {
        SIZE before = clientSize(lv);
        lv.origin = clampOrigin(lv, lv.origin);
        SIZE e = extent(lv), c = clientSize(lv);
        if ((lv.style() & LVS_NOSCROLL) != 0) {
            ShowScrollBar(lv.hwnd, SB_BOTH, FALSE);
        } else if (lv.columns()) {
            ShowScrollBar(lv.hwnd, SB_VERT, FALSE);
            setBar(lv, SB_HORZ, e.cx, c.cx, lv.origin.x);
        } else {
            ShowScrollBar(lv.hwnd, SB_HORZ, FALSE);
            setBar(lv, SB_VERT, e.cy, c.cy, lv.origin.y);
        }
        SIZE after = clientSize(lv);
        if (after.cx == before.cx && after.cy == before.cy) break;
    }
    lv.origin = clampOrigin(lv, lv.origin);
    lv.laying = false;
}

RECT iconRect(ListView& lv, int item) {
    RECT cell = cellRect(lv, item);
    SIZE icon = iconSize(lv), sp = itemSpacing(lv);
    int left = cell.left + (sp.cx - icon.cx) / 2, top = cell.top + kIconTop;
    return RECT{left, top, left + icon.cx, top + icon.cy};
}

RECT labelRect(ListView& lv, int item) {
    measure(lv);
    RECT cell = cellRect(lv, item), icon = iconRect(lv, item);
    SIZE size = lv.items[item].labelSize;
    int left = cell.left + (itemSpacing(lv).cx - size.cx) / 2, top = icon.bottom + kLabelGap;
    return RECT{left, top, left + size.cx, top + size.cy};
}

RECT boundsRect(ListView& lv, int item) {
    RECT icon = iconRect(lv, item), label = labelRect(lv, item);
    if (label.right <= label.left) return icon;
    return RECT{std::min(icon.left, label.left), icon.top, std::max(icon.right, label.right),
                std::max(icon.bottom, label.bottom)};
}

int hitTest(ListView& lv, POINT client, UINT* flags) {
    UINT found = LVHT_NOWHERE;
    int hit = -1;
    for (int i = lv.count() - 1; i >= 0 && hit < 0; --i) {
        RECT icon = iconRect(lv, i), label = labelRect(lv, i);
        auto inside = [&](const RECT& r) {
            return client.x >= r.left && client.x < r.right && client.y >= r.top &&
                   client.y < r.bottom;
        };
        if (inside(icon)) {
            hit = i;
            found = LVHT_ONITEMICON;
        } else if (inside(label)) {
            hit = i;
            found = LVHT_ONITEMLABEL;
        }
    }
    if (flags != nullptr) *flags = found;
    return hit;
}

int neighbour(ListView& lv, int item, Direction direction) {
    if (!lv.valid(item)) return -1;
    long long per = perLine(lv), along = item % per;
    bool columns = lv.columns();
    // In rows, Left and Right move along a row and Up and Down across rows; columns turn that.
    bool alongLine = columns ? (direction == Direction::Up || direction == Direction::Down)
                             : (direction == Direction::Left || direction == Direction::Right);
    bool forward = direction == Direction::Right || direction == Direction::Down;
    long long target = item;
    if (alongLine) {
        if (forward && along + 1 < per) target = item + 1;
        if (!forward && along > 0) target = item - 1;
    } else {
        target = forward ? item + per : item - per;
    }
    return target >= 0 && target < lv.count() ? static_cast<int>(target) : item;
}

int pageStep(ListView& lv, int item, bool forward) {
    SIZE sp = itemSpacing(lv), c = clientSize(lv);
    long long lines = std::max<long long>(lv.columns() ? c.cx / sp.cx : c.cy / sp.cy, 1);
    long long target = item + (forward ? 1 : -1) * lines * perLine(lv);
    return static_cast<int>(std::clamp<long long>(target, 0, lv.count() - 1));
}

void scrollBy(ListView& lv, int dx, int dy) {
    POINT next = clampOrigin(lv, POINT{clampCoordinate(static_cast<long long>(lv.origin.x) + dx),
                                       clampCoordinate(static_cast<long long>(lv.origin.y) + dy)});
    if (next.x == lv.origin.x && next.y == lv.origin.y) return;
    lv.origin = next;
    if (lv.columns())
        SetScrollPos(lv.hwnd, SB_HORZ, next.x, TRUE);
    else
        SetScrollPos(lv.hwnd, SB_VERT, next.y, TRUE);
    invalidateAll(lv);
}

void ensureVisible(ListView& lv, int item) {
    RECT b = boundsRect(lv, item);
    SIZE c = clientSize(lv);
    if (lv.columns()) {
        if (b.left < 0)
            scrollBy(lv, b.left, 0);
        else if (b.right > c.cx)
            scrollBy(lv, std::min<int>(b.right - c.cx, b.left), 0);
    } else {
        if (b.top < 0)
            scrollBy(lv, 0, b.top);
        else if (b.bottom > c.cy)
            scrollBy(lv, 0, std::min<int>(b.bottom - c.cy, b.top));
    }
}

void onScroll(ListView& lv, int bar, WPARAM wParam) {
    if ((bar == SB_HORZ) != lv.columns()) return;
    SIZE c = clientSize(lv);
    int page = bar == SB_HORZ ? c.cx : c.cy;
    int at = bar == SB_HORZ ? lv.origin.x : lv.origin.y;
    int delta = 0;
    switch (LOWORD(wParam)) {
    case SB_LINEUP:
        delta = -kScrollLine;
        break;
    case SB_LINEDOWN:
        delta = kScrollLine;
        break;
    case SB_PAGEUP:
        delta = -page;
        break;
    case SB_PAGEDOWN:
        delta = page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        delta = static_cast<int>(HIWORD(wParam)) - at;
        break;
    case SB_TOP:
        delta = -at;
        break;
    case SB_BOTTOM:
        delta = INT_MAX / 2;
        break;
    default:
        return;
    }
    if (bar == SB_HORZ)
        scrollBy(lv, delta, 0);
    else
        scrollBy(lv, 0, delta);
}

void invalidateItem(ListView& lv, int item) {
    if (!lv.redraw || !lv.valid(item)) return;
    RECT b = boundsRect(lv, item);
    InflateRect(&b, 1, 1);
    InvalidateRect(lv.hwnd, &b, TRUE);
}

void invalidateAll(ListView& lv) {
    if (lv.redraw) InvalidateRect(lv.hwnd, nullptr, TRUE);
}

} // namespace winplat::comctl
