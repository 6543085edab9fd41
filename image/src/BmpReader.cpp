// BMP headers, the info and palette queries, and the readers of uncompressed rows.
#include "BmpReader.h"
#include "BlockBudget.h"
#include "CDibConverter.h"
#include "CheckedSize.h"
#include "MemoryBlock.h"
#include "Tables.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace img {
namespace {

DWORD readU32(const BYTE* p) {
    return static_cast<DWORD>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<DWORD>(p[3]) << 24;
}
WORD readU16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

bool indexedDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8;
}

} // namespace

bool BmpReader::readHeader(BmpHeader& header) {
    BYTE file[kBmpFileHeader];
    if (!m_io.readExact(file, sizeof file)) return fail(kReadFailed);
    if (file[0] != 'B' || file[1] != 'M') return fail(kBadHeader);
    header.pixelOffset = readU32(file + 10);
    BYTE size[4];
    if (!m_io.readExact(size, sizeof size)) return fail(kReadFailed);
    header.size = readU32(size);
    if (header.size != kBmpWindowsHeader && header.size != kBmpOs2Header) return fail(kBadHeader);
    if (!m_io.seek(-4, SEEK_CUR)) return fail(kReadFailed);
    BYTE* raw = header.raw;
    if (!m_io.readExact(raw, header.size)) return fail(kReadFailed);
    if (header.os2()) {
        header.width = readU16(raw + 4);
        header.height = readU16(raw + 6);
        header.bitCount = readU16(raw + 10);
        return true;
    }
    header.width = static_cast<LONG>(readU32(raw + 4));
    header.height = static_cast<LONG>(readU32(raw + 8));
    header.bitCount = readU16(raw + 14);
    header.compression = readU32(raw + 16);
    header.xPelsPerMeter = static_cast<LONG>(readU32(raw + 24));
    header.yPelsPerMeter = static_cast<LONG>(readU32(raw + 28));
    header.clrUsed = readU32(raw + 32);
    return true;
}

// Every buffer is sized from the width and the row count, so neither may be empty, and a
// height that cannot be negated has no row count.
bool BmpReader::checkDimensions(const BmpHeader& header) {
    if (header.width <= 0 || header.height == 0 || header.height == INT_MIN)
        return fail(kBadHeader);
    return true;
}

// Gaps are read through, not sought over, so that one reaching past the end fails with `code`.
bool BmpReader::skip(std::uint64_t bytes, int code) {
    BYTE discard[4096];
    while (bytes > 0) {
        const unsigned n = static_cast<unsigned>(std::min<std::uint64_t>(bytes, sizeof discard));
        if (!m_io.readExact(discard, n)) return fail(code);
        bytes -= n;
    }
    return true;
}

bool BmpReader::moveToPixels(const BmpHeader& header) {
    unsigned at = 0;
    m_io.position(&at);
    if (header.pixelOffset > at) return skip(header.pixelOffset - at, kBadHeader);
    if (header.pixelOffset < at && !m_io.seek(static_cast<long>(header.pixelOffset), SEEK_SET))
        return fail(kReadFailed);
    return true;
}

int BmpReader::info(int* width, int* height, int* bitsPerPixel, ImgResolution* resolution,
                    int flags) {
    BmpHeader h;
    if (!readHeader(h)) return 0;
    setOut(width, h.width);
    setOut(height, h.height);
    setOut(bitsPerPixel, h.bitCount);
    if (!h.os2() && resolution != nullptr) {
        const bool perMetre = (flags & 1) != 0;
        resolution->unit = perMetre ? 2 : 1;
        resolution->x = perMetre ? h.xPelsPerMeter : h.xPelsPerMeter / 100;
        resolution->y = perMetre ? h.yPelsPerMeter : h.yPelsPerMeter / 100;
    }
    return 1;
}

int BmpReader::readPalette(int* count, RGBQUAD* palette) {
    setOut(count, 0);
    BmpHeader h;
    if (!readHeader(h)) return 0;
    if (!indexedDepth(h.bitCount)) return fail(kUnsupportedDepth);
    if (palette == nullptr) return fail(kBadArgument);
    unsigned n = 1u << h.bitCount;
    if (h.os2()) {
        if (!readTriples(h.bitCount, palette)) return 0;
    } else {
        n = static_cast<unsigned>(std::min<std::uint64_t>(h.colourCount(), 256));
        if (!m_io.readExact(palette, n * sizeof(RGBQUAD))) return fail(kReadFailed);
    }
    setOut(count, static_cast<int>(n));
    return 1;
}

// Allocates the top-down image and fills it from the file's rows, bottom-up files from the
// last row upwards. A row that cannot be read stops the loop with the image kept.
template <class Convert>
BYTE* BmpReader::readRows(const BmpHeader& header, unsigned outRowBytes, bool countedReads,
                          Convert convert) {
    const std::uint64_t rows = header.rowCount();
    const std::uint32_t fileRowBytes =
        paddedRowBytes(static_cast<std::uint64_t>(header.width), header.bitCount).bytes();
    const Size imageBytes = imageBlockSize(0, outRowBytes, rows);
    if (!blockJustified(Encoding::RawRows, imageBytes, header.pixelCount(), header.storedRowBytes(),
                        bytesLeft(m_io)))
        return fail(kReadFailed);
    MemoryBlock image;
    if (!image.allocate(imageBytes)) return fail(kNoMemory);
    ScratchBuffer<BYTE> row;
    if (fileRowBytes == 0 || row.ensure(static_cast<int>(fileRowBytes)) == nullptr) {
        image.release();
        return fail(kNoMemory);
    }
    const bool bottomUp = header.height > 0;
    for (std::uint64_t k = 0; k < rows; ++k) {
        if (countedReads) {
            const unsigned got = m_io.read(row.data(), fileRowBytes);
            if (got == 0) {
                fail(kReadFailed);
                break;
            }
            std::memset(row.data() + got, 0, fileRowBytes - got);
        } else if (!m_io.readExact(row.data(), fileRowBytes)) {
            fail(kReadFailed);
            break;
        }
        const std::uint64_t out = bottomUp ? rows - 1 - k : k;
        convert(row.data(), image.data() + out * outRowBytes);
    }
    return image.data();
}

bool BmpReader::readTriples(int depth, RGBQUAD* entries) {
    const unsigned count = 1u << depth;
    BYTE triples[256 * 3];
    if (!m_io.readExact(triples, count * 3)) return fail(kReadFailed);
    for (unsigned i = 0; i < count; ++i) {
        entries[i].rgbBlue = triples[3 * i];
        entries[i].rgbGreen = triples[3 * i + 1];
        entries[i].rgbRed = triples[3 * i + 2];
    }
    return true;
}

BYTE* BmpReader::readIndexed(int* width, int* height, int bitsPerPixel, RGBQUAD* palette) {
    BmpHeader h;
    if (!readHeader(h)) return nullptr;
    if (palette == nullptr) return fail(kBadArgument);
    if (h.bitCount > 8 || h.bitCount > bitsPerPixel) return fail(kUnsupportedDepth);
    // Other depths below 8 have no unpacking; their rows would come out blank.
    if (!indexedDepth(h.bitCount)) return fail(kUnsupportedDepth);
    if (!checkDimensions(h)) return nullptr;
    if (h.os2()) {
        if (!readTriples(h.bitCount, palette)) return nullptr;
    } else {
        const std::uint64_t count = h.colourCount();
        // Colours used above 256 would overrun the caller's palette: the rest of the table is
        // skipped with the gap.
        const unsigned kept = static_cast<unsigned>(std::min<std::uint64_t>(count, 256));
        if (!m_io.readExact(palette, kept * sizeof(RGBQUAD))) return fail(kReadFailed);
        for (unsigned i = kept; i < 256; ++i)
            palette[i] = palette[0];

        if (h.compression != BI_RGB) {
            const bool rle = (h.compression == BI_RLE4 && h.bitCount == 4) ||
                             (h.compression == BI_RLE8 && h.bitCount == 8);
            if (!rle) return fail(kBadHeader);
            if (!m_io.rewind()) return fail(kReadFailed);
            return decodeRle(width, height, 8);
        }
        const std::int64_t gap = static_cast<std::int64_t>(h.pixelOffset) - kBmpHeadersEnd -
                                 static_cast<std::int64_t>(count * sizeof(RGBQUAD));
        if (gap < 0) return fail(kBadHeader);
        if (!skip((count - kept) * sizeof(RGBQUAD) + static_cast<std::uint64_t>(gap), kBadHeader))
            return nullptr;
    }

    setOut(width, h.width);
    setOut(height, static_cast<int>(h.rowCount()));
    const int pixels = h.width;
    const int depth = h.bitCount;
    const unsigned outRowBytes =
        bitsPerPixel == 1 ? (static_cast<unsigned>(pixels) + 7) / 8 : static_cast<unsigned>(pixels);
    CDibConverter converter;
    return readRows(h, outRowBytes, false, [&](const BYTE* in, BYTE* out) {
        if (bitsPerPixel == 1)
            copyBytes(out, in, outRowBytes);
        else
            converter.unpackRow(in, out, pixels, depth);
    });
}

BYTE* BmpReader::readColour(int* width, int* height, int bitsPerPixel) {
    BmpHeader h;
    if (!readHeader(h)) return nullptr;
    if (!checkDimensions(h)) return nullptr;

    RGBQUAD table[kBmpTableEntries] = {};
    DWORD masks[3] = {};
    const DWORD* useMasks = nullptr;
    if (h.os2()) {
        if (indexedDepth(h.bitCount)) {
            if (!readTriples(h.bitCount, table)) return nullptr;
        } else if (h.bitCount != 24) {
            return fail(kBadHeader);
        }
    } else {
        switch (h.compression) {
        case BI_RGB:
            break;
        case BI_RLE8:
            if (h.bitCount != 8) return fail(kBadHeader);
            if (!m_io.rewind()) return fail(kReadFailed);
            return decodeRle(width, height, bitsPerPixel);
        case BI_RLE4:
            if (h.bitCount != 4) return fail(kBadHeader);
            if (!m_io.rewind()) return fail(kReadFailed);
            return decodeRle(width, height, bitsPerPixel);
        case BI_BITFIELDS:
            if (!m_io.readExact(masks, sizeof masks)) return fail(kReadFailed);
            useMasks = masks;
            break;
        default:
            return fail(kBadHeader);
        }
        switch (h.bitCount) {
        case 1:
        case 4:
        case 8: {
            const std::uint64_t kept = std::min<std::uint64_t>(h.colourCount(), 256);
            if (!m_io.readExact(table, static_cast<unsigned>(kept * sizeof(RGBQUAD))))
                return fail(kReadFailed);
            break;
        }
        case 16:
        case 24:
        case 32:
            break;
        default:
            return fail(kBadHeader);
        }
        if (!moveToPixels(h)) return nullptr;
    }

    setOut(width, h.width);
    setOut(height, static_cast<int>(h.rowCount()));
    const unsigned outRowBytes = checkedProduct({h.width, bitsPerPixel == 32 ? 4 : 3}).bytes();
    if (outRowBytes == 0) return fail(kNoMemory);
    const int pixels = h.width;
    const int depth = h.bitCount;
    CDibConverter converter;
    return readRows(h, outRowBytes, true, [&](const BYTE* in, BYTE* out) {
        converter.dibRowToRGB(in, out, pixels, depth, table, kBmpTableEntries, useMasks,
                              bitsPerPixel == 32, 255);
    });
}

} // namespace img
