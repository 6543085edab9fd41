// GIF 87a/89a: the first image of the file as 8-bit indices with a 256-entry palette, or as an
// 8-bit packed DIB.
#include "BlockBudget.h"
#include "CDibConverter.h"
#include "EntryFrame.h"
#include "GifLzw.h"
#include "MemoryBlock.h"

#include <cstring>

namespace img {
namespace {

constexpr BYTE kExtensionIntroducer = 0x21;
constexpr BYTE kImageSeparator = 0x2C;
constexpr BYTE kGraphicControlLabel = 0xF9;
constexpr BYTE kApplicationLabel = 0xFF;
constexpr unsigned kDibHeaderAndPalette = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);

struct ColourMap {
    BYTE red[256];
    BYTE green[256];
    BYTE blue[256];
};

struct ImageDescriptor {
    int width = 0;
    int height = 0;
    bool localTable = false;
    bool interlaced = false;
    int tableEntries = 0;
};

int readU16Le(const BYTE* p) {
    return p[0] | (p[1] << 8);
}

// Rows of an interlaced image come in four passes: every 8th from 0, every 8th from 4, every
// 4th from 2, every 2nd from 1.
class RowSequence {
public:
    RowSequence(int height, bool interlaced) : m_height(height), m_interlaced(interlaced) {}
    int row() const { return m_row; }
    // Moves to the next row; false when the image has no more.
    bool advance() {
        if (!m_interlaced) return ++m_row < m_height;
        m_row += kStep[m_pass];
        while (m_row >= m_height) {
            if (++m_pass == 4) return false;
            m_row = kStart[m_pass];
        }
        return true;
    }

private:
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    int m_height;
    bool m_interlaced;
    int m_pass = 0;
    int m_row = 0;
};

class GifReader : public Operation {
public:
    explicit GifReader(CImgIO& io) : m_io(io), m_blocks(io), m_decoder(m_blocks) {}

    BYTE* read(int* width, int* height, int* transparentIndex, RGBQUAD* palette, int flags);

private:
    bool readColourTable(ColourMap& map, int entries);
    void readExtension(BYTE label);
    BYTE* readImage(const ImageDescriptor& d, int* width, int* height, int* transparentIndex,
                    RGBQUAD* palette, bool dib);
    void decodePixels(const ImageDescriptor& d, BYTE* pixels, unsigned rowBytes, bool flipped);
    // False when decoding stopped inside the row.
    bool decodeRow(BYTE* row, int width);
    void fillPalette(RGBQUAD* palette, const ColourMap& map) const;

    CImgIO& m_io;
    ColourMap m_global{};
    ColourMap m_local{};
    bool m_transparent = false;
    int m_transparentIndex = 0;
    BYTE m_subBlock[256] = {};
    GifSubBlocks m_blocks;
    GifLzwDecoder m_decoder;
};

bool GifReader::readColourTable(ColourMap& map, int entries) {
    BYTE triples[256 * 3];
    if (!m_io.readExact(triples, static_cast<unsigned>(entries) * 3)) return false;
    for (int i = 0; i < entries; ++i) {
        map.red[i] = triples[3 * i];
        map.green[i] = triples[3 * i + 1];
        map.blue[i] = triples[3 * i + 2];
    }
    return true;
}

void GifReader::readExtension(BYTE label) {
    static const char kNetscape[] = "NETSCAPE2.0";
    std::memset(m_subBlock, 0, sizeof m_subBlock);
    const int count = m_blocks.read(m_subBlock);
    if (label == kGraphicControlLabel && count > 0) {
        m_transparent = (m_subBlock[0] & 1) != 0;
        m_transparentIndex = m_transparent ? m_subBlock[3] : 0;
    } else if (label == kApplicationLabel && count == 11 &&
               std::memcmp(m_subBlock, kNetscape, 11) == 0) {
        // The loop count that follows has no use for a still image.
        m_blocks.read(m_subBlock);
    }
    // An empty first sub-block already ended the sequence.
    if (!m_blocks.lastWasEmpty()) m_blocks.skipRest();
}

BYTE* GifReader::read(int* width, int* height, int* transparentIndex, RGBQUAD* palette, int flags) {
    BYTE header[6];
    if (!m_io.readExact(header, sizeof header) || std::memcmp(header, "GIF", 3) != 0 ||
        (std::memcmp(header + 3, "87a", 3) != 0 && std::memcmp(header + 3, "89a", 3) != 0))
        return fail(kBadGifData);
    BYTE screen[7];
    if (!m_io.readExact(screen, sizeof screen)) return fail(kBadGifData);
    if ((screen[4] & 0x80) != 0 && !readColourTable(m_global, 2 << (screen[4] & 7)))
        return fail(kBadGifData);

    BYTE byte = 0;
    while (m_io.readExact(&byte, 1)) {
        if (byte == kExtensionIntroducer) {
            BYTE label = 0;
            if (!m_io.readExact(&label, 1)) break;
            readExtension(label);
        } else if (byte == kImageSeparator) {
            BYTE raw[9];
            if (!m_io.readExact(raw, sizeof raw)) break;
            ImageDescriptor d;
            d.width = readU16Le(raw + 4);
            d.height = readU16Le(raw + 6);
            d.localTable = (raw[8] & 0x80) != 0;
            d.interlaced = (raw[8] & 0x40) != 0;
            d.tableEntries = 2 << (raw[8] & 7);
            return readImage(d, width, height, transparentIndex, palette,
                             (flags & IMG_FLAG_DIB) != 0);
        }
    }
    return fail(kReadFailed);
}

BYTE* GifReader::readImage(const ImageDescriptor& d, int* width, int* height, int* transparentIndex,
                           RGBQUAD* palette, bool dib) {
    // An image without pixels has nothing to return, and a DIB row of width 0 has no room.
    if (d.width == 0 || d.height == 0) return fail(kBadGifData);
    const unsigned rowBytes = dib ? dibRowBytes(d.width, 8) : static_cast<unsigned>(d.width);
    const unsigned headerBytes = dib ? kDibHeaderAndPalette : 0;
    const Size total = imageBlockSize(headerBytes, rowBytes, d.height);
    const auto pixels = static_cast<std::uint64_t>(d.width) * static_cast<std::uint64_t>(d.height);
    if (!blockJustified(Encoding::GifLzw, total, pixels, pixels, bytesLeft(m_io)))
        return fail(kReadFailed);
    MemoryBlock block;
    if (!block.allocate(total)) return fail(kNoMemory);
    BYTE* result = block.data();
    if (dib) writeDIBHeader(result, d.width, d.height, 8, total.bytes() - headerBytes, 256, 0);

    if (d.localTable && !readColourTable(m_local, d.tableEntries)) {
        block.release();
        return fail(kBadGifData);
    }

    BYTE minimumCodeSize = 0;
    if (!m_io.readExact(&minimumCodeSize, 1))
        fail(kReadFailed);
    else if (!m_decoder.start(minimumCodeSize))
        fail(kBadGifData);
    else
        decodePixels(d, result + headerBytes, rowBytes, dib);

    *width = d.width;
    *height = d.height;
    if (transparentIndex != nullptr) *transparentIndex = m_transparent ? m_transparentIndex : -1;
    const ColourMap& map = d.localTable ? m_local : m_global;
    if (dib)
        fillPalette(reinterpret_cast<RGBQUAD*>(result + sizeof(BITMAPINFOHEADER)), map);
    else if (palette != nullptr)
        fillPalette(palette, map);
    return result;
}

void GifReader::decodePixels(const ImageDescriptor& d, BYTE* pixels, unsigned rowBytes,
                             bool flipped) {
    RowSequence rows(d.height, d.interlaced);
    do {
        const int row = flipped ? d.height - rows.row() - 1 : rows.row();
        if (!decodeRow(pixels + static_cast<std::size_t>(row) * rowBytes, d.width)) break;
    } while (rows.advance());
    m_decoder.next();
}

bool GifReader::decodeRow(BYTE* row, int width) {
    int column = 0;
    while ((column += m_decoder.read(row + column, width - column)) < width) {
        const int value = m_decoder.stopValue();
        // 256 can only be a raw first code; it is kept as the byte it truncates to.
        if (value != 256) {
            if (value > 256) fail(kBadGifData);
            return false;
        }
        row[column++] = static_cast<BYTE>(value);
    }
    return true;
}

void GifReader::fillPalette(RGBQUAD* palette, const ColourMap& map) const {
    for (int i = 0; i < 256; ++i) {
        palette[i].rgbBlue = map.blue[i];
        palette[i].rgbGreen = map.green[i];
        palette[i].rgbRed = map.red[i];
        palette[i].rgbReserved = i == m_transparentIndex ? 0 : 0xFF;
    }
}

} // namespace
} // namespace img

extern "C" BYTE* readGIF(SourceHandle src, int* width, int* height, int* transparentIndex,
                         RGBQUAD* palette, int flags) {
    return img::frameR<img::GifReader>(
        src, width != nullptr && height != nullptr,
        [&](img::GifReader& r) { return r.read(width, height, transparentIndex, palette, flags); });
}
