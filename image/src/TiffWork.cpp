// What the reads of one page may cost: the decoding that the page's strips and tiles can pay
// for with the bytes they hold in the file.
#include "TiffReader.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace img {
namespace {

struct Span {
    std::uint64_t begin, end;
};

// The bytes of the file that one strip or tile holds; none when it lies past the end.
Span heldSpan(TIFF* tif, std::uint32_t strile, std::uint64_t fileBytes) {
    const std::uint64_t offset = TIFFGetStrileOffset(tif, strile);
    const std::uint64_t count = TIFFGetStrileByteCount(tif, strile);
    if (offset >= fileBytes || count == 0) return {0, 0};
    return {offset, offset + std::min(count, fileBytes - offset)};
}

// Spans added in the order of their starts, each byte counted once.
class SpanUnion {
public:
    // False, adding nothing, for a span that starts before the last one added.
    bool add(const Span& s) {
        if (s.begin < m_begin) return false;
        if (s.begin >= m_end) {
            m_total += m_end - m_begin;
            m_begin = s.begin;
        }
        m_end = std::max(m_end, s.end);
        return true;
    }
    std::uint64_t bytes() const { return m_total + (m_end - m_begin); }

private:
    std::uint64_t m_total = 0, m_begin = 0, m_end = 0;
};

// Bytes held by all the page's strips or tiles together, each byte once however many of them
// point at it.
std::uint64_t heldByPage(TIFF* tif, std::uint64_t fileBytes) {
    const std::uint32_t striles =
        TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    // Writers store strips and tiles in order, so one pass nearly always does; the others are
    // sorted first.
    SpanUnion inOrder;
    for (std::uint32_t i = 0; i < striles; ++i) {
        const Span s = heldSpan(tif, i, fileBytes);
        if (s.end == 0 || inOrder.add(s)) continue;
        std::vector<Span> spans;
        for (std::uint32_t j = 0; j < striles; ++j) {
            const Span t = heldSpan(tif, j, fileBytes);
            if (t.end != 0) spans.push_back(t);
        }
        std::sort(spans.begin(), spans.end(),
                  [](const Span& a, const Span& b) { return a.begin < b.begin; });
        SpanUnion sorted;
        for (const Span& t : spans)
            sorted.add(t);
        return sorted.bytes();
    }
    return inOrder.bytes();
}

// Bytes of the image's samples as stored, without the padding of tiles.
std::uint64_t storedImageBytes(TIFF* tif) {
    std::uint32_t height = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const std::uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    return TIFFScanlineSize64(tif) * std::uint64_t{height} * planes;
}

} // namespace

TiffWork::TiffWork(TIFF* tif, std::uint64_t fileBytes) : m_tif(tif), m_fileBytes(fileBytes) {
    m_encoding = tiffEncoding(tif);
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    // Old-style JPEG finds its stream through tags of its own, not through the byte counts.
    m_readsAnywhere = compression == COMPRESSION_OJPEG;
    m_held = m_readsAnywhere ? fileBytes : heldByPage(tif, fileBytes);
    m_left = std::min(storedImageBytes(tif), kFreeBlockBytes) + greatestUnits(m_encoding, m_held);
}

bool TiffWork::take(std::uint32_t strile, std::uint64_t bytes) {
    if (!m_readsAnywhere) {
        const Span s = heldSpan(m_tif, strile, m_fileBytes);
        // No data in the file: libtiff would only fail, after formatting its complaint.
        if (s.end == 0) return false;
        if (!blockJustified(m_encoding, bytes, 0, bytes, s.end - s.begin)) return false;
    }
    if (bytes > m_left) return false;
    m_left -= bytes;
    return true;
}

bool TiffWork::takeRGBARead(std::uint16_t planes) {
    TIFF* tif = m_tif;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (TIFFIsTiled(tif)) {
        std::uint32_t tw = 0, tl = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl);
        if (tw == 0 || tl == 0) return false;
        // The reader decodes whole tiles, however little of them lies inside the image.
        const std::uint64_t tile = TIFFTileSize64(tif);
        for (std::uint16_t p = 0; p < planes; ++p)
            for (std::uint64_t y = 0; y < height; y += tl)
                for (std::uint64_t x = 0; x < width; x += tw)
                    if (!take(TIFFComputeTile(tif, static_cast<std::uint32_t>(x),
                                              static_cast<std::uint32_t>(y), 0, p),
                              tile))
                        return false;
        return true;
    }
    const std::uint32_t rps = tiffRowsPerStrip(tif, height);
    for (std::uint16_t p = 0; p < planes; ++p)
        for (std::uint64_t y = 0; y < height; y += rps) {
            const auto rows = static_cast<std::uint32_t>(std::min<std::uint64_t>(rps, height - y));
            if (!take(TIFFComputeStrip(tif, static_cast<std::uint32_t>(y), p),
                      TIFFVStripSize64(tif, rows)))
                return false;
        }
    return true;
}

} // namespace img
