// A rectangle of pixels in one of the DIB formats: the screen framebuffer, a bitmap's bits or
// a caller's DIB. Pixels are read as colours and written as raw values that the encoder finds.
#pragma once

#include "win32/gdi.h"

#include <cstddef>
#include <unordered_map>

namespace winplat::gdi {

struct Surface {
    int width = 0;
    int height = 0;
    int bits = 0;            // 1, 4, 8, 16, 24 or 32
    BYTE* top = nullptr;     // row 0, the top row
    std::ptrdiff_t step = 0; // bytes from a row to the one below it (negative when bottom-up)
    const RGBQUAD* table = nullptr;
    int tableSize = 0;
    DWORD masks[3] = {0, 0, 0}; // red, green, blue for 16 and 32 bits; zeros for 5-5-5 / 8-8-8
    bool monochrome = false;    // a device bitmap of one bit: blits convert through DC colours

    BYTE* row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * step; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    DWORD raw(int x, int y) const;
    void setRaw(int x, int y, DWORD value) const;
    COLORREF colourOf(DWORD raw) const;
    COLORREF pixel(int x, int y) const { return colourOf(raw(x, y)); }
    // Same layout and colour meaning, so that raw values can be copied between the two.
    bool sameFormat(const Surface& other) const;
};

// Bytes of a row padded to 32 bits; 0 when absurd.
std::size_t dibStride(int width, int bits);

// The raw value that shows a colour best: the value itself for direct formats, the nearest
// table entry (first of equals) for indexed ones. Keeps what it has found.
class ColourEncoder {
public:
    explicit ColourEncoder(const Surface& surface) : m_surface(surface) {}
    DWORD encode(COLORREF colour);

private:
    const Surface& m_surface;
    std::unordered_map<COLORREF, DWORD> m_found;
};

// Index of the entry nearest to `colour` in RGB distance, the first of equals.
int nearestEntry(const RGBQUAD* table, int count, COLORREF colour);

inline COLORREF colourOfQuad(const RGBQUAD& q) {
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

} // namespace winplat::gdi
