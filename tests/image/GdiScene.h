// What the GDI conversion and drawing tests share: packed DIBs built from rows, pixel buffers
// with a recognisable pattern, a memory DC holding a bitmap, and the run of one failure case.
#pragma once

#include "imgcore.h"
#include "win32/win32.h"
#include "winplat/accounting.h"
#include "winplat/screen.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

namespace gdi_scene {

using Bytes = std::vector<BYTE>;

// A packed DIB: header, `table`, then `rows` (bottom row first, each already padded).
inline Bytes packedDIB(int width, int height, int bits, std::initializer_list<RGBQUAD> table,
                       const Bytes& rows, DWORD compression = BI_RGB) {
    BITMAPINFOHEADER h{40,
                       width,
                       height,
                       1,
                       static_cast<WORD>(bits),
                       compression,
                       static_cast<DWORD>(rows.size()),
                       0,
                       0,
                       static_cast<DWORD>(table.size()),
                       0};
    Bytes dib(sizeof h);
    std::memcpy(dib.data(), &h, sizeof h);
    for (const RGBQUAD& q : table)
        dib.insert(dib.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
    dib.insert(dib.end(), rows.begin(), rows.end());
    return dib;
}

// Top-down R, G, B bytes that differ from pixel to pixel.
inline Bytes patternRGB(int width, int height) {
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<BYTE>(x * 37 + y * 11);
            p[1] = static_cast<BYTE>(y * 53 + 7);
            p[2] = static_cast<BYTE>(x * 5 + y * 97 + 3);
        }
    return rgb;
}

inline COLORREF pixelOf(const Bytes& rgb, int width, int x, int y) {
    const BYTE* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return RGB(p[0], p[1], p[2]);
}

// A memory DC holding a bitmap compatible with the screen, or a 24-bit DIB section.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height, bool dibSection = false) {
        m_screen = GetDC(nullptr);
        m_dc = CreateCompatibleDC(nullptr);
        if (dibSection) {
            BITMAPINFO info{};
            info.bmiHeader = {40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
            void* bits = nullptr;
            m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        } else {
            m_bitmap = CreateCompatibleBitmap(m_screen, width, height);
        }
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~MemoryCanvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
        ReleaseDC(nullptr, m_screen);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    HDC dc() const { return m_dc; }
    HDC screen() const { return m_screen; }

private:
    HDC m_screen = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

// One way to make a GDI operation fail, and the code the operation must give for it.
struct GdiFailure {
    const char* what;
    std::function<void()> arrange;
    int code;
};

// Arranges the failure and expects `call` (named `operation`) to fail with its code, then puts
// the screen and the allocator back for the next case.
inline void expectFailure(const GdiFailure& failure, const char* operation,
                          const std::function<int()>& call) {
    SCOPED_TRACE(operation);
    failure.arrange();
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(getLastError(), failure.code);
    winplatResetScreen(RGB(0, 0, 0));
    winplatFailGlobalAllocAt(0);
}

} // namespace gdi_scene
