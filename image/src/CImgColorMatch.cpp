#include "CImgColorMatch.h"

#include "Tables.h"

namespace img {
namespace {
// A linear search stays cheap while the cache is small; when full it is dropped and refilled.
constexpr std::size_t kCacheCap = 255;
constexpr std::size_t kCacheReserve = 256;
} // namespace

CImgColorMatch::CImgColorMatch() : m_squares(m_squareTable + 255), m_palette{} {
    for (int k = 0; k < 511; ++k)
        m_squareTable[k] = (k - 255) * (k - 255);
}

void CImgColorMatch::setPalette(const RGBQUAD* palette, unsigned count) {
    if (palette != nullptr) {
        if (count > 256) count = 256; // the palette is 256 entries; more would overrun it
        copyBytes(m_palette, palette, count * sizeof(RGBQUAD));
        m_paletteSet = 1;
        m_count = count;
    }
    clearCache();
}

void CImgColorMatch::clearCache() {
    m_cache.clear();
    m_cache.reserve(kCacheReserve);
}

BYTE CImgColorMatch::match(BYTE red, BYTE green, BYTE blue) {
    if (!m_paletteSet) return 0;
    const int key = red | green << 8 | blue << 16;
    for (const CachedPair& pair : m_cache) {
        if (pair.key == key) return static_cast<BYTE>(pair.index);
    }
    int best = 0x30000;
    int result = 0;
    for (unsigned i = 0; i < m_count; ++i) {
        const RGBQUAD& e = m_palette[i];
        int distance =
            m_squares[e.rgbGreen - green] + m_squares[e.rgbBlue - blue] + m_squares[e.rgbRed - red];
        if (distance < best) {
            best = distance;
            result = static_cast<int>(i);
        }
        if (distance == 0) break;
    }
    if (m_cache.size() >= kCacheCap) m_cache.clear();
    m_cache.push_back({key, result});
    return static_cast<BYTE>(result);
}

} // namespace img
