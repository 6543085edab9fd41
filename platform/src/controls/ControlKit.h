// What the standard controls share: a record per window, the font a control was given, text
// drawn the way controls draw it (embossed when disabled) and the notifications to the parent.
#pragma once

#include "user/WindowSystem.h"
#include "win32/controls.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace winplat::controls {

// One record of type T per window of a control class, made at WM_NCCREATE and dropped at
// WM_NCDESTROY.
template <class T> class PerWindow {
public:
    T* get(HWND hwnd) {
        auto it = m_records.find(hwnd);
        return it != m_records.end() ? it->second.get() : nullptr;
    }
    T& make(HWND hwnd) {
        auto& slot = m_records[hwnd];
        slot = std::make_unique<T>();
        return *slot;
    }
    void drop(HWND hwnd) { m_records.erase(hwnd); }

private:
    std::unordered_map<HWND, std::unique_ptr<T>> m_records;
};

inline HBRUSH sysBrush(int index) {
    return reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(index + 1));
}

inline DWORD styleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
}

inline std::string textOf(HWND hwnd) {
    const int n = GetWindowTextLengthA(hwnd);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowTextA(hwnd, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

// The font for drawing: the one WM_SETFONT gave, or the system font.
inline HFONT fontOr(HFONT font) {
    return font != nullptr ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

// Text in the control's colour, or embossed in highlight and shadow when disabled.
void drawText(HDC dc, const std::string& text, RECT r, UINT format, bool enabled,
              int colourIndex = COLOR_BTNTEXT);

// The height of one line of the font.
int lineHeight(HFONT font);

// WM_COMMAND with `code` to the parent, from the control.
void notify(HWND control, WORD code);

// Registers a window class of the stand-in's controls.
void registerControlClass(const char* name, WNDPROC proc, UINT style, int background);

} // namespace winplat::controls
