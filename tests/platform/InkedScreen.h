// The screen DC with a red one-pixel pen and a blue brush selected, and a way to read what was
// drawn as rows of characters, for the tests of the shapes and figures.
#pragma once

#include "GdiCheck.h"
#include "win32/win32.h"

#include <string>

namespace testing_support {

inline constexpr COLORREF kInk = RGB(255, 0, 0);
inline constexpr COLORREF kFill = RGB(0, 0, 255);
inline constexpr COLORREF kPaper = RGB(255, 255, 255);

// '#' for ink, 'o' for fill, '-' for white paper, '.' for black, '?' for anything else.
inline char symbolOf(COLORREF c) {
    return c == kInk ? '#' : c == kFill ? 'o' : c == kPaper ? '-' : c == 0 ? '.' : '?';
}

inline std::string picture(HDC dc, int width, int height) {
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            out += symbolOf(GetPixel(dc, x, y));
        out += '\n';
    }
    return out;
}

class InkedScreenTest : public GdiLeakCheckedTest {
protected:
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        m_dc = GetDC(nullptr);
        m_pen = CreatePen(PS_SOLID, 1, kInk);
        m_brush = CreateSolidBrush(kFill);
        m_oldPen = SelectObject(m_dc, m_pen);
        m_oldBrush = SelectObject(m_dc, m_brush);
    }
    void TearDown() override {
        SelectObject(m_dc, m_oldPen);
        SelectObject(m_dc, m_oldBrush);
        DeleteObject(m_pen);
        DeleteObject(m_brush);
        ReleaseDC(nullptr, m_dc);
        GdiLeakCheckedTest::TearDown();
    }
    HDC m_dc = nullptr;
    HPEN m_pen = nullptr;
    HBRUSH m_brush = nullptr;
    HGDIOBJ m_oldPen = nullptr;
    HGDIOBJ m_oldBrush = nullptr;
};

} // namespace testing_support
