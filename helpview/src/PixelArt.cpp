#include "PixelArt.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace helpview {
namespace {

COLORREF colourOf(char c) {
    switch (c) {
    case '#':
        return RGB(0, 0, 0);
    case 'b':
        return RGB(0, 0, 160);
    case 'y':
        return RGB(240, 220, 96);
    default:
        return RGB(255, 255, 255);
    }
}

} // namespace

HICON iconFromArt(const char* resourceName) {
    HRSRC found = FindResourceA(nullptr, resourceName, "ART");
    if (found == nullptr) return nullptr;
    const auto* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    std::istringstream in(std::string(text, SizeofResource(nullptr, found)));
    std::vector<std::string> rows;
    ICONINFO info{TRUE, 0, 0, nullptr, nullptr};
    for (std::string line; std::getline(in, line);) {
        unsigned x = 0, y = 0;
        if (std::sscanf(line.c_str(), "# hot spot %u %u", &x, &y) == 2) {
            info = ICONINFO{FALSE, x, y, nullptr, nullptr};
            continue;
        }
        if (!line.empty()) rows.push_back(line);
    }
    const int size = 32;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    info.hbmColor = CreateCompatibleBitmap(screen, size, size);
    info.hbmMask = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    for (HBITMAP target : {info.hbmColor, info.hbmMask}) {
        HGDIOBJ old = SelectObject(dc, target);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const char c =
                    y < static_cast<int>(rows.size()) && x < static_cast<int>(rows[y].size())
                        ? rows[y][x]
                        : '.';
                const bool transparent = c == '.';
                // The mask is white where the screen shows through.
                SetPixel(dc, x, y,
                         target == info.hbmMask ? (transparent ? RGB(255, 255, 255) : RGB(0, 0, 0))
                                                : (transparent ? RGB(0, 0, 0) : colourOf(c)));
            }
        SelectObject(dc, old);
    }
    DeleteDC(dc);
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

} // namespace helpview
