// What the metafile tests share: a memory DC over a bitmap that pictures are played into, and
// the pictures as rows of characters.
#pragma once

#include "TestFiles.h"
#include "win32/win32.h"

#include <map>
#include <string>

namespace metafile_test {

using testing_support::Bytes;

inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kGreen = RGB(0, 255, 0);
inline constexpr COLORREF kBlue = RGB(0, 0, 255);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0)) : m_width(width), m_height(height) {
        HDC screen = GetDC(nullptr);
        m_dc = CreateCompatibleDC(screen);
        m_bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        m_old = SelectObject(m_dc, m_bitmap);
        HBRUSH b = CreateSolidBrush(fill);
        const RECT all{0, 0, width, height};
        FillRect(m_dc, &all, b);
        DeleteObject(b);
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_dc; }
    RECT all() const { return {0, 0, m_width, m_height}; }
    COLORREF at(int x, int y) const { return GetPixel(m_dc, x, y); }

    // '.' black, 'o' red, 'g' green, 'b' blue, '-' white, '?' anything else.
    std::string picture() const {
        static const std::map<COLORREF, char> names = {
            {RGB(0, 0, 0), '.'}, {kRed, 'o'}, {kGreen, 'g'}, {kBlue, 'b'}, {kWhite, '-'}};
        std::string out;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                const auto it = names.find(at(x, y));
                out += it != names.end() ? it->second : '?';
            }
            out += '\n';
        }
        return out;
    }
    int count(COLORREF colour) const {
        int n = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                n += at(x, y) == colour ? 1 : 0;
        return n;
    }

    // Enhanced bits, or old-style bits given the extents of a picture, played onto `rect`.
    bool playEnhanced(const Bytes& emf, const RECT& rect) {
        HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data());
        if (h == nullptr) return false;
        const BOOL played = PlayEnhMetaFile(m_dc, h, &rect);
        DeleteEnhMetaFile(h);
        return played != FALSE;
    }
    bool playEnhanced(const Bytes& emf) { return playEnhanced(emf, all()); }
    bool playOldStyle(const Bytes& wmf, const RECT& rect, LONG extentX = 1000, LONG extentY = 500) {
        const METAFILEPICT picture{MM_ANISOTROPIC, extentX, extentY, nullptr};
        HENHMETAFILE h =
            SetWinMetaFileBits(static_cast<UINT>(wmf.size()), wmf.data(), nullptr, &picture);
        if (h == nullptr) return false;
        const BOOL played = PlayEnhMetaFile(m_dc, h, &rect);
        DeleteEnhMetaFile(h);
        return played != FALSE;
    }
    bool playOldStyle(const Bytes& wmf) { return playOldStyle(wmf, all()); }

private:
    int m_width;
    int m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

} // namespace metafile_test
