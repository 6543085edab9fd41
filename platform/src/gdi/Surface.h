// A rectangle of pixels in one of the DIB formats: the screen framebuffer, a bitmap's bits or
// a caller's DIB. Pixels are read as colours and written as raw values that the encoder finds.
#pragma once

#include "win32/gdi.h"

#include <cstddef>
#include <cstring>
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
    // Pixels x0 <= x < x1 of row y set to one raw value; the caller has clipped the span.
    void fillRaw(int y, int x0, int x1, DWORD value) const;
    // Whole bytes of a pixel, 0 below 8 bits.
    int pixelBytes() const { return bits >= 8 ? bits / 8 : 0; }
    // The pixel whose first byte is at `p`, for 8 bits and more.
    DWORD rawAt(const BYTE* p) const;
    void setRawAt(BYTE* p, DWORD value) const;
    COLORREF colourOf(DWORD raw) const;
    COLORREF pixel(int x, int y) const { return colourOf(raw(x, y)); }
    // Same layout and colour meaning, so that raw values can be copied between the two.
    bool sameFormat(const Surface& other) const;
};

// Called for every pixel drawn, so kept where the compiler can see them.
inline DWORD Surface::rawAt(const BYTE* p) const {
    switch (bits) {
    case 8:
        return p[0];
    case 16:
        return p[0] | (static_cast<DWORD>(p[1]) << 8);
    case 24:
        return p[0] | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16);
    default: {
        DWORD v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

inline void Surface::setRawAt(BYTE* p, DWORD value) const {
    switch (bits) {
    case 8:
        p[0] = static_cast<BYTE>(value);
        break;
    case 16:
        p[0] = static_cast<BYTE>(value);
        p[1] = static_cast<BYTE>(value >> 8);
        break;
    case 24:
        p[0] = static_cast<BYTE>(value);
        p[1] = static_cast<BYTE>(value >> 8);
        p[2] = static_cast<BYTE>(value >> 16);
        break;
    default:
        std::memcpy(p, &value, 4);
        break;
    }
}

inline DWORD Surface::raw(int x, int y) const {
    const BYTE* r = row(y);
    switch (bits) {
    case 1:
        return (r[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
        return (x & 1) != 0 ? r[x >> 1] & 0x0Fu : r[x >> 1] >> 4;
    default:
        return rawAt(r + static_cast<std::size_t>(x) * pixelBytes());
    }
}

inline void Surface::setRaw(int x, int y, DWORD value) const {
    BYTE* r = row(y);
    switch (bits) {
    case 1: {
        const BYTE bit = static_cast<BYTE>(0x80u >> (x & 7));
        r[x >> 3] = static_cast<BYTE>((value & 1u) != 0 ? r[x >> 3] | bit : r[x >> 3] & ~bit);
        break;
    }
    case 4:
        r[x >> 1] = static_cast<BYTE>((x & 1) != 0 ? (r[x >> 1] & 0xF0u) | (value & 0x0Fu)
                                                   : (r[x >> 1] & 0x0Fu) | ((value & 0x0Fu) << 4));
        break;
    default:
        setRawAt(r + static_cast<std::size_t>(x) * pixelBytes(), value);
        break;
    }
}

// Bytes of a row padded to 32 bits; 0 when absurd.
std::size_t dibStride(int width, int bits);

// The raw value that shows a colour best: the value itself for direct formats, the nearest
// table entry (first of equals) for indexed ones. Keeps what it has found.
class ColourEncoder {
public:
    explicit ColourEncoder(const Surface& surface) : m_surface(surface) {}
    DWORD encode(COLORREF colour);

private:
    DWORD find(COLORREF colour);

    const Surface& m_surface;
    std::unordered_map<COLORREF, DWORD> m_found;
    // Neighbouring pixels mostly share a colour.
    bool m_haveLast = false;
    COLORREF m_lastColour = 0;
    DWORD m_lastValue = 0;
};

// Turns raw values of one surface into colours, the bit-field shapes worked out once.
class ColourDecoder {
public:
    explicit ColourDecoder(const Surface& surface);
    COLORREF operator()(DWORD raw) const;

private:
    const Surface& m_surface;
    bool m_direct = false; // 16 or 32 bits through masks (given, or 5-5-5 by default)
    DWORD m_masks[3] = {0, 0, 0};
    int m_shift[3] = {0, 0, 0};
    int m_width[3] = {0, 0, 0};
    // For a run of mask bits below 8 wide, the multiplier that lays copies of it side by side
    // and the shift that keeps their top 8 bits; 0 for the others.
    DWORD m_repeat[3] = {0, 0, 0};
    int m_drop[3] = {0, 0, 0};
};

// Index of the entry nearest to `colour` in RGB distance, the first of equals.
int nearestEntry(const RGBQUAD* table, int count, COLORREF colour);

inline COLORREF colourOfQuad(const RGBQUAD& q) {
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

// A masked component scaled to 8 bits, low bits filled from the high ones.
inline BYTE maskedComponent(DWORD value, DWORD mask, int shift, int width) {
    if (width == 0) return 0;
    DWORD v = (value & mask) >> shift;
    if (width >= 8) return static_cast<BYTE>(v >> (width - 8));
    DWORD out = 0;
    for (int filled = 0; filled < 8; filled += width)
        out = (out << width) | v;
    return static_cast<BYTE>(out >> ((8 + width - 1) / width * width - 8));
}

// Called for every pixel a transfer converts, so kept where the compiler can see it.
inline COLORREF ColourDecoder::operator()(DWORD value) const {
    const Surface& s = m_surface;
    if (s.bits <= 8) {
        if (static_cast<int>(value) >= s.tableSize || s.table == nullptr) return RGB(0, 0, 0);
        return colourOfQuad(s.table[value]);
    }
    if (m_direct) {
        const auto c = [&](int k) {
            if (m_repeat[k] != 0)
                return static_cast<BYTE>((((value & m_masks[k]) >> m_shift[k]) * m_repeat[k]) >>
                                         m_drop[k]);
            return maskedComponent(value, m_masks[k], m_shift[k], m_width[k]);
        };
        return RGB(c(0), c(1), c(2));
    }
    return RGB(static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 8),
               static_cast<BYTE>(value));
}

} // namespace winplat::gdi
