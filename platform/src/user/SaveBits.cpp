// Saved screen bits of CS_SAVEBITS windows: a pop-up that comes and goes over a window restores
// what it covered instead of making the windows beneath paint again.
#include "gdi/Device.h"
#include "user/WindowSystem.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace winplat::user {
namespace {

struct Saved {
    RECT rect{};
    std::vector<DWORD> raw;
    bool valid = true;
};

std::unordered_map<HWND, Saved>& saved() {
    static auto* m = new std::unordered_map<HWND, Saved>;
    return *m;
}

int zIndex(const Window* top) {
    const auto& order = desktop()->children;
    auto it = std::find(order.begin(), order.end(), top);
    return it == order.end() ? -1 : static_cast<int>(it - order.begin());
}

void forgetOne(HWND hwnd) {
    saved().erase(hwnd);
}

[[maybe_unused]] const bool g_registered = [] {
    addDestroyObserver(&forgetOne);
    return true;
}();

} // namespace

void saveBitsUnder(Window* w) {
    if (w->isChild() || (w->cls->style & CS_SAVEBITS) == 0) return;
    const winplat::gdi::Surface& screen = winplat::gdi::device().screen;
    const RECT r = intersectRects(windowRectOnScreen(w), RECT{0, 0, screen.width, screen.height});
    Saved s;
    s.rect = r;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            s.raw.push_back(screen.raw(x, y));
    saved()[w->handle] = std::move(s);
}

bool restoreBitsUnder(Window* w, const RECT& screenRect) {
    auto it = saved().find(w->handle);
    if (it == saved().end()) return false;
    Saved s = std::move(it->second);
    saved().erase(it);
    const winplat::gdi::Surface& screen = winplat::gdi::device().screen;
    const RECT wanted = intersectRects(screenRect, RECT{0, 0, screen.width, screen.height});
    if (!s.valid || !EqualRect(&wanted, &s.rect)) return false;
    std::size_t i = 0;
    for (int y = s.rect.top; y < s.rect.bottom; ++y)
        for (int x = s.rect.left; x < s.rect.right; ++x)
            screen.setRaw(x, y, s.raw[i++]);
    return true;
}

void noteDrawnBeneath(const Window* painter, const RECT& screenRect) {
    if (saved().empty() || emptyRect(screenRect)) return;
    const Window* top = rootOf(const_cast<Window*>(painter));
    for (auto& entry : saved()) {
        Window* saver = lookup(entry.first);
        if (saver == nullptr || saver == top) continue;
        // Only what lies beneath the saver changes what it covers.
        if (top != desktop() && zIndex(top) < zIndex(saver)) continue;
        if (!emptyRect(intersectRects(entry.second.rect, screenRect))) entry.second.valid = false;
    }
}

void forgetSavedBits() {
    for (auto& entry : saved())
        entry.second.valid = false;
}

} // namespace winplat::user
