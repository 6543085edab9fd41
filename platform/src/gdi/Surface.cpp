#include "gdi/Surface.h"

#include <cstring>

namespace winplat::gdi {
namespace {

// Position of the lowest set bit and the width of the run above it.
void maskShape(DWORD mask, int& shift, int& width) {
    shift = 0;
    width = 0;
    if (mask == 0) return;
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    while ((mask & 1u) != 0) {
        mask >>= 1;
        ++width;
    }
}

DWORD place(BYTE c, DWORD mask) {
    int shift = 0;
    int width = 0;
    maskShape(mask, shift, width);
    if (width == 0) return 0;
    DWORD v =
        width >= 8 ? static_cast<DWORD>(c) << (width - 8) : static_cast<DWORD>(c) >> (8 - width);
    return (v << shift) & mask;
}

} // namespace

std::size_t dibStride(int width, int bits) {
    if (width <= 0 || bits <= 0 || width > 0x40000000 / 32) return 0;
    return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

void Surface::fillRaw(int y, int x0, int x1, DWORD value) const {
    if (x0 >= x1) return;
    BYTE* r = row(y);
    const std::size_t bytes = static_cast<std::size_t>(pixelBytes());
    if (bytes == 0) {
        for (int x = x0; x < x1; ++x)
            setRaw(x, y, value);
        return;
    }
    // One pixel written, then what is done copied onto the rest, doubling each time.
    BYTE* at = r + bytes * static_cast<std::size_t>(x0);
    const std::size_t total = bytes * static_cast<std::size_t>(x1 - x0);
    setRawAt(at, value);
    for (std::size_t done = bytes; done < total;) {
        const std::size_t more = done < total - done ? done : total - done;
        std::memcpy(at + done, at, more);
        done += more;
    }
}

COLORREF Surface::colourOf(DWORD value) const {
    return ColourDecoder(*this)(value);
}

ColourDecoder::ColourDecoder(const Surface& surface) : m_surface(surface) {
    if (surface.bits <= 8) return;
    if (surface.masks[0] != 0 || surface.masks[1] != 0 || surface.masks[2] != 0)
        std::memcpy(m_masks, surface.masks, sizeof m_masks);
    else if (surface.bits == 16) {
        m_masks[0] = 0x7C00;
        m_masks[1] = 0x03E0;
        m_masks[2] = 0x001F;
    } else
        return;
    m_direct = true;
    for (int k = 0; k < 3; ++k) {
        maskShape(m_masks[k], m_shift[k], m_width[k]);
        // Only a mask without gaps leaves nothing above its run to spill into the copies.
        const int width = m_width[k];
        if (width == 0 || width >= 8 || (m_masks[k] >> m_shift[k]) != (1u << width) - 1) continue;
        const int copies = (8 + width - 1) / width;
        for (int c = 0; c < copies; ++c)
            m_repeat[k] |= 1u << (c * width);
        m_drop[k] = copies * width - 8;
    }
}

bool Surface::sameFormat(const Surface& other) const {
    if (bits != other.bits || monochrome != other.monochrome) return false;
    if (std::memcmp(masks, other.masks, sizeof masks) != 0) return false;
    if (bits > 8) return true;
    if (table == other.table && tableSize == other.tableSize) return true;
    return tableSize == other.tableSize && table != nullptr && other.table != nullptr &&
           std::memcmp(table, other.table, sizeof(RGBQUAD) * tableSize) == 0;
}

int nearestEntry(const RGBQUAD* table, int count, COLORREF colour) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < count; ++i) {
        const long dr = static_cast<long>(table[i].rgbRed) - GetRValue(colour);
        const long dg = static_cast<long>(table[i].rgbGreen) - GetGValue(colour);
        const long db = static_cast<long>(table[i].rgbBlue) - GetBValue(colour);
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
            if (d == 0) break;
        }
    }
    return best;
}

DWORD ColourEncoder::encode(COLORREF colour) {
    colour &= 0x00FFFFFFu;
    if (!m_haveLast || colour != m_lastColour) {
        m_lastValue = find(colour);
        m_lastColour = colour;
        m_haveLast = true;
    }
    return m_lastValue;
}

DWORD ColourEncoder::find(COLORREF colour) {
    const Surface& s = m_surface;
    if (s.bits > 8) {
        const BYTE r = GetRValue(colour);
        const BYTE g = GetGValue(colour);
        const BYTE b = GetBValue(colour);
        if (s.masks[0] != 0 || s.masks[1] != 0 || s.masks[2] != 0)
            return place(r, s.masks[0]) | place(g, s.masks[1]) | place(b, s.masks[2]);
        if (s.bits == 16) return place(r, 0x7C00) | place(g, 0x03E0) | place(b, 0x001F);
        return (static_cast<DWORD>(r) << 16) | (static_cast<DWORD>(g) << 8) | b;
    }
    auto found = m_found.find(colour);
    if (found != m_found.end()) return found->second;
    const DWORD index =
        s.table != nullptr && s.tableSize > 0 ? nearestEntry(s.table, s.tableSize, colour) : 0;
    m_found.emplace(colour, index);
    return index;
}

} // namespace winplat::gdi
