// BMP files as packed DIBs: the file's own header, colour table and pixel data (compressed
// data stays compressed), or a plain header written for OS/2 files.
#include "BlockBudget.h"
#include "BmpReader.h"
#include "CDibConverter.h"
#include "CheckedSize.h"
#include "MemoryBlock.h"

#include <algorithm>
#include <cstring>

namespace img {

namespace {

// A padded row at any depth a header can state: the DIB is returned with its header as read,
// so it must hold the rows that header describes, sizable or not.
Size headerRowBytes(std::int32_t width, int depth) {
    return Size(((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(depth) + 31) >> 5)
                << 2);
}

} // namespace

BYTE* BmpReader::readPackedDib() {
    BmpHeader h;
    if (!readHeader(h)) return nullptr;
    unsigned sourceBytes = 0;
    m_io.size(&sourceBytes);
    if (!checkDimensions(h)) return nullptr;
    if (h.os2()) return readPackedDibOs2(h);

    BITMAPINFOHEADER info;
    std::memcpy(&info, h.raw, sizeof info);
    std::uint64_t tableBytes = 0;
    const int depth = h.bitCount;
    // Every depth up to 8 indexes a table: a DIB's walker looks for one at 2 bits too.
    if (depth >= 1 && depth <= 8) {
        std::uint64_t count = h.colourCount();
        // No DIB code reads a table of more than 256 entries, so the DIB keeps 256 and says so;
        // the file's further entries are skipped with the gap.
        if (count > 256) {
            count = 256;
            info.biClrUsed = 256;
        }
        tableBytes = count * sizeof(RGBQUAD);
    } else if ((depth == 15 || depth == 16 || depth == 32) && h.compression == BI_BITFIELDS) {
        tableBytes = 3 * sizeof(DWORD);
    }

    // The block holds at least what the header promises, so that whoever walks the DIB's rows
    // stays inside it even when the file is short.
    const Size headerAndTable = Size(sizeof info) + tableBytes;
    const Size fromHeader =
        depth >= 1 ? imageBlockSize(headerAndTable, headerRowBytes(h.width, depth), h.rowCount())
                   : headerAndTable;
    // Offsets of 54 and 14 are written by tools that mean "right after the table".
    const std::uint64_t tableEnd = kBmpHeadersEnd + tableBytes;
    const DWORD offset = h.pixelOffset;
    const bool afterTable =
        offset == tableEnd || offset == kBmpHeadersEnd || offset == kBmpFileHeader;
    const std::uint64_t pixelStart = afterTable ? tableEnd : offset;
    const bool runs = h.compression == BI_RLE4 || h.compression == BI_RLE8;
    if (!blockJustified(runs ? Encoding::Skipping : Encoding::RawRows, fromHeader, h.pixelCount(),
                        tableBytes + h.storedRowBytes(), bytesLeft(m_io)))
        return fail(kReadFailed);
    // Everything from the pixel offset to the end of the file fits too, so the end of a
    // compressed stream longer than the plain rows is not lost.
    const Size fromSource = sourceBytes > kBmpWindowsHeader ? sourceBytes - kBmpWindowsHeader : 0;
    const Size fromPixels =
        sourceBytes > pixelStart ? headerAndTable + (sourceBytes - pixelStart) : Size(0);
    if (!fromHeader.ok() || !fromSource.ok() || !fromPixels.ok()) return fail(kNoMemory);
    const std::uint32_t blockBytes =
        std::max({fromSource.bytes(), fromHeader.bytes(), fromPixels.bytes()});
    MemoryBlock block;
    if (!block.allocate(blockBytes)) return fail(kNoMemory);
    BYTE* dib = block.data();
    std::memcpy(dib, &info, sizeof info);
    BYTE* table = dib + sizeof info;
    const unsigned tableRead = static_cast<unsigned>(tableBytes);
    if (m_io.read(table, tableRead) != tableRead) {
        block.release();
        return fail(kReadFailed);
    }

    if (!afterTable) {
        bool moved = true;
        if (offset > tableEnd) {
            moved = skip(offset - tableEnd, kBadHeader);
        } else if (!m_io.seek(static_cast<long>(offset), SEEK_SET)) {
            moved = fail(kReadFailed);
        }
        if (!moved) {
            block.release();
            return nullptr;
        }
    }
    m_io.read(table + tableRead, static_cast<unsigned>(blockBytes - sizeof info - tableBytes));
    // GDI reads as many bytes of compressed data as the image size says: never more than the
    // block holds.
    if (h.compression != BI_RGB && h.compression != BI_BITFIELDS) {
        const auto held = static_cast<DWORD>(blockBytes - sizeof info - tableBytes);
        auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib);
        if (header->biSizeImage > held) header->biSizeImage = held;
    }
    return dib;
}

BYTE* BmpReader::readPackedDibOs2(const BmpHeader& h) {
    const int depth = h.bitCount;
    unsigned count = 0;
    RGBQUAD entries[256] = {};
    if (depth == 1 || depth == 4 || depth == 8) {
        count = 1u << depth;
        if (!readTriples(depth, entries)) return nullptr;
    } else if (depth != 24) {
        return fail(kBadHeader);
    }
    const std::uint32_t tableBytes = count * sizeof(RGBQUAD);
    const Size blockBytes =
        imageBlockSize(sizeof(BITMAPINFOHEADER) + tableBytes,
                       paddedRowBytes(static_cast<std::uint64_t>(h.width), depth), h.rowCount());
    if (!blockJustified(Encoding::RawRows, blockBytes, h.pixelCount(), h.storedRowBytes(),
                        bytesLeft(m_io)))
        return fail(kReadFailed);
    MemoryBlock block;
    if (!blockBytes.ok() || !block.allocate(blockBytes)) return fail(kNoMemory);
    const std::uint32_t imageBytes = blockBytes.bytes() - sizeof(BITMAPINFOHEADER) - tableBytes;
    BYTE* dib = block.data();
    writeDIBHeader(dib, h.width, h.height, depth, imageBytes, count, count);
    BYTE* table = dib + sizeof(BITMAPINFOHEADER);
    std::memcpy(table, entries, tableBytes);
    if (!m_io.readExact(table + tableBytes, imageBytes)) {
        block.release();
        return fail(kReadFailed);
    }
    return dib;
}

} // namespace img
