// Nearest palette entry for a colour, with a small cache of recent answers.
#pragma once

#include "win32/types.h"

#include <vector>

namespace img {

class CImgColorMatch {
public:
    CImgColorMatch();
    virtual ~CImgColorMatch() = default;

    void setPalette(const RGBQUAD* palette, unsigned count);
    void clearCache();
    BYTE match(COLORREF colour) {
        return match(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    }
    BYTE match(BYTE red, BYTE green, BYTE blue);

    std::size_t cachedPairs() const { return m_cache.size(); }

private:
    struct CachedPair {
        int key;
        int index;
    };

    const int* m_squares; // centre of m_squareTable, indexed -255..255
    int m_paletteSet = 0;
    RGBQUAD m_palette[256];
    unsigned m_count = 0;
    int m_squareTable[511];
    std::vector<CachedPair> m_cache;
};

} // namespace img
