// What a palette device should show, worked out from the rule rather than from GDI: the
// reserved colours, colours new to the system palette, and the nearest of a set of colours.
#pragma once

#include "win32/win32.h"

#include <vector>

namespace testing_support {

// The 20 reserved colours, in DEFAULT_PALETTE order.
inline std::vector<COLORREF> reservedColours() {
    HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    PALETTEENTRY e[20] = {};
    GetPaletteEntries(stock, 0, 20, e);
    std::vector<COLORREF> out;
    for (const PALETTEENTRY& p : e)
        out.push_back(RGB(p.peRed, p.peGreen, p.peBlue));
    return out;
}

// Colour i of a set that are all different and none of them reserved (their blue is 1 or 2).
inline COLORREF newColour(int i) {
    return RGB(i, (i * 7) & 0xFF, 1 + (i & 1));
}

// The first of the colours in `among` nearest to `c`.
inline COLORREF nearestColour(const std::vector<COLORREF>& among, COLORREF c) {
    COLORREF best = among.front();
    long bestDistance = -1;
    for (COLORREF a : among) {
        const long dr = GetRValue(a) - GetRValue(c);
        const long dg = GetGValue(a) - GetGValue(c);
        const long db = GetBValue(a) - GetBValue(c);
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = a;
            bestDistance = d;
        }
    }
    return best;
}

// What a row of `colours` realized in a fresh system palette shows: the first 236 take the
// free slots, the rest the nearest colour there by then.
inline std::vector<COLORREF> realizedColours(const std::vector<COLORREF>& colours) {
    std::vector<COLORREF> system = reservedColours();
    std::vector<COLORREF> shown;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        shown.push_back(i < 236 ? colours[i] : nearestColour(system, colours[i]));
        if (i < 236) system.push_back(colours[i]);
    }
    return shown;
}

} // namespace testing_support
