// Icons and cursors: a pair of bitmaps (mask and colour) and a hot spot. Nothing draws a
// cursor on the headless screen; programs and tests see which one is current.
#include "win32/icons.h"

#include <mutex>
#include <set>

namespace {

struct Icon {
    ICONINFO info;
};

std::mutex g_iconLock;
std::set<Icon*> g_icons;

HBITMAP copyBitmap(HBITMAP source) {
    if (source == nullptr) return nullptr;
    BITMAP b{};
    if (GetObjectA(source, sizeof b, &b) == 0) return nullptr;
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    HBITMAP copy = CreateCompatibleBitmap(from, b.bmWidth, b.bmHeight);
    if (copy != nullptr) {
        HGDIOBJ oldFrom = SelectObject(from, source);
        HGDIOBJ oldTo = SelectObject(to, copy);
        BitBlt(to, 0, 0, b.bmWidth, b.bmHeight, from, 0, 0, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    DeleteDC(from);
    DeleteDC(to);
    return copy;
}

Icon* find(HICON handle) {
    auto* icon = reinterpret_cast<Icon*>(handle);
    return g_icons.count(icon) != 0 ? icon : nullptr;
}

} // namespace

extern "C" {

HICON CreateIconIndirect(ICONINFO* info) {
    if (info == nullptr || info->hbmMask == nullptr) return nullptr;
    auto* icon = new Icon{*info};
    icon->info.hbmMask = copyBitmap(info->hbmMask);
    icon->info.hbmColor = copyBitmap(info->hbmColor);
    std::lock_guard<std::mutex> guard(g_iconLock);
    g_icons.insert(icon);
    return reinterpret_cast<HICON>(icon);
}

BOOL GetIconInfo(HICON handle, ICONINFO* info) {
    std::lock_guard<std::mutex> guard(g_iconLock);
    Icon* icon = find(handle);
    if (icon == nullptr || info == nullptr) return FALSE;
    *info = icon->info;
    info->hbmMask = copyBitmap(icon->info.hbmMask);
    info->hbmColor = copyBitmap(icon->info.hbmColor);
    return TRUE;
}

BOOL DestroyIcon(HICON handle) {
    Icon* icon = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_iconLock);
        icon = find(handle);
        if (icon == nullptr) return FALSE;
        g_icons.erase(icon);
    }
    if (GetCursor() == handle) SetCursor(nullptr);
    if (icon->info.hbmMask != nullptr) DeleteObject(icon->info.hbmMask);
    if (icon->info.hbmColor != nullptr) DeleteObject(icon->info.hbmColor);
    delete icon;
    return TRUE;
}

BOOL DestroyCursor(HCURSOR cursor) {
    return DestroyIcon(cursor);
}

} // extern "C"
