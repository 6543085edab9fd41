#include "TgaReader.h"
#include "BlockBudget.h"

#include "CDibConverter.h"
#include "MemoryBlock.h"
#include "Tables.h"
#include "Trace.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

constexpr unsigned kHeaderBytes = 18;
constexpr unsigned kDibHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr unsigned kPaletteBytes = 256 * sizeof(RGBQUAD);
constexpr int kTableEntries = 256;
constexpr BYTE kTopRowFirst = 0x20;
// Pixel data is read this much at a time: enough for the read to go from the file straight
// into the buffer. The buffer holds a few bytes more, for the start of a value cut at its end.
constexpr unsigned kInputBytes = 64 * 1024;
constexpr unsigned kInputSlack = 4;
// Bytes 8-25 of the footer, the zero included.
constexpr char kSignature[] = "TRUEVISION-XFILE.";

WORD le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}
DWORD le32(const BYTE* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24;
}

bool knownType(int type) {
    return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}

// Bytes that one value of this many bits takes in the file; 0 when it cannot be decoded.
unsigned valueBytes(int bits) {
    switch (bits) {
    case 8:
        return 1;
    case 15:
    case 16:
        return 2;
    case 24:
        return 3;
    case 32:
        return 4;
    default:
        return 0;
    }
}

TgaPixel decodeValue(const BYTE* p, int bits) {
    TgaPixel pixel{};
    switch (bits) {
    case 8:
        pixel.colour = {p[0], p[0], p[0], 255};
        pixel.value = p[0];
        break;
    case 15:
    case 16: {
        const unsigned v = le16(p);
        pixel.colour = {static_cast<BYTE>((v & 0x1F) << 3),
                        static_cast<BYTE>(((v >> 5) & 0x1F) << 3),
                        static_cast<BYTE>(((v >> 10) & 0x1F) << 3), 255};
        pixel.value = v;
        break;
    }
    case 24:
        pixel.colour = {p[0], p[1], p[2], 255};
        pixel.value = p[0] | p[1] << 8 | p[2] << 16;
        break;
    default:
        pixel.colour = {p[0], p[1], p[2], p[3]};
        pixel.value = le32(p);
        break;
    }
    return pixel;
}

// Blue, green, red values to red, green, blue, one four-byte word at a time: each word's
// fourth byte is the next value's first, rewritten by the next word or the last value.
void swapRedBlue(const BYTE* in, BYTE* out, unsigned count) {
    for (unsigned i = 1; i < count; ++i, in += 3, out += 3) {
        std::uint32_t word;
        std::memcpy(&word, in, 4);
        word = __builtin_bswap32(word) >> 8;
        std::memcpy(out, &word, 4);
    }
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
}

} // namespace

bool TgaReader::readHeader() {
    BYTE b[kHeaderBytes];
    if (!m_io.readExact(b, sizeof b)) return fail(kReadFailed);
    m_header = {b[0],        b[1],         b[2],         le16(b + 3),  le16(b + 5), b[7],
                le16(b + 8), le16(b + 10), le16(b + 12), le16(b + 14), b[16],       b[17]};
    return true;
}

bool TgaReader::readImageId() {
    return m_io.readExact(m_imageId, m_header.idLength) || fail(kReadFailed);
}

// The table holds 256 entries; a longer map is still read to its end, so that the pixels
// after it are found, but its extra entries are dropped.
bool TgaReader::readColourMap(RGBQUAD* table) {
    const unsigned bytes = valueBytes(m_header.mapEntryBits);
    if (bytes == 0) return true;
    BYTE entry[4];
    for (int i = 0; i < mapEntries(); ++i) {
        if (!m_io.readExact(entry, bytes)) return fail(kReadFailed);
        if (i < kTableEntries) table[i] = decodeValue(entry, m_header.mapEntryBits).colour;
    }
    return true;
}

int TgaReader::getInfo(int* width, int* height, int* pixelDepth) {
    *width = 0;
    *height = 0;
    if (!readHeader()) return 0;
    if (m_header.pixelDepth > 32 || !knownType(m_header.imageType)) return fail(kUnsupportedTga);
    *width = m_header.width;
    *height = m_header.height;
    *pixelDepth = m_header.pixelDepth;
    return 1;
}

int TgaReader::readPalette(int* count, RGBQUAD* palette) {
    if (!readHeader()) return 0;
    if (m_header.pixelDepth >= 9) return fail(kUnsupportedDepth);
    if (!knownType(m_header.imageType) || m_header.colourMapType == 0) return fail(kUnsupportedTga);
    *count = 0;
    std::memset(palette, 0, kPaletteBytes);
    if (!readImageId() || !readColourMap(palette)) return 0;
    const int stored = std::min(mapEntries(), kTableEntries);
    std::fill(palette + stored, palette + kTableEntries, palette[0]);
    *count = stored;
    return 1;
}

BYTE* TgaReader::read(int* width, int* height, int bitsPerPixel, RGBQUAD* palette, bool dib) {
    if (!dib && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return fail(kBadArgument);
    if (!readHeader()) return nullptr;
    if (dib) {
        if (m_header.pixelDepth <= 8) return readIndexed(width, height, nullptr, true);
        return readColour(width, height, m_header.pixelDepth == 32 ? 32 : 24, true);
    }
    if (bitsPerPixel == 8) return readIndexed(width, height, palette, false);
    return readColour(width, height, bitsPerPixel, false);
}

BYTE* TgaReader::readColour(int* width, int* height, int outBits, bool dib) {
    const TgaHeader& h = m_header;
    if (h.pixelDepth < 8 || h.pixelDepth > 32 || !knownType(h.imageType))
        return fail(kUnsupportedTga);
    if (!readImageId()) return nullptr;
    if (h.colourMapType != 0) {
        if (!readColourMap(m_map)) return nullptr;
        m_lookup = h.imageType != 2 && h.imageType != 3 && h.imageType != 10;
    }
    m_runLength = h.imageType >= 9;
    if (h.width == 0 || h.height == 0) return fail(kUnsupportedTga);

    const int pixelBytes = outBits / 8;
    const unsigned rowBytes =
        dib ? dibRowBytes(h.width, outBits) : checkedProduct({h.width, pixelBytes}).bytes();
    const unsigned header = dib ? kDibHeaderBytes : 0;
    const Size total = imageBlockSize(header, rowBytes, h.height);
    if (!justify(total)) return nullptr;
    if (m_input.ensure(kInputBytes + kInputSlack) == nullptr) return fail(kNoMemory);
    // Every byte is written as the rows are read, zeros where the file ends.
    BYTE* image = allocateUncleared(total);
    if (image == nullptr) return fail(kNoMemory);
    if (dib) writeDIBHeader(image, h.width, h.height, outBits, total.bytes() - header, 0, 0);

    readRows(image + header, rowBytes, pixelBytes, dib);
    *width = h.width;
    *height = h.height;
    readFooter();
    return image;
}

BYTE* TgaReader::readIndexed(int* width, int* height, RGBQUAD* palette, bool dib) {
    const TgaHeader& h = m_header;
    if (h.pixelDepth > 8) return fail(kUnsupportedDepth);
    const bool mapped = h.imageType == 1 || h.imageType == 9;
    if (!mapped && h.imageType != 3) return fail(kUnsupportedDepth);
    if (!readImageId()) return nullptr;
    RGBQUAD* table = dib ? m_map : palette;
    std::memset(table, 0, kPaletteBytes);
    if (h.colourMapType != 0) {
        if (!readColourMap(table)) return nullptr;
    } else if (mapped) {
        return fail(kUnsupportedTga);
    } else {
        for (int i = 0; i < kTableEntries; ++i) {
            const BYTE v = static_cast<BYTE>(i);
            table[i] = {v, v, v, 255};
        }
    }
    m_runLength = h.imageType == 9;
    // A zero size would otherwise give an empty DIB that claims its rows.
    if (h.width == 0 || h.height == 0) return fail(kUnsupportedTga);

    const unsigned rowBytes = dib ? dibRowBytes(h.width, 8) : h.width;
    const unsigned header = dib ? kDibHeaderBytes + kPaletteBytes : 0;
    const Size total = imageBlockSize(header, rowBytes, h.height);
    if (!justify(total)) return nullptr;
    if (m_input.ensure(kInputBytes + kInputSlack) == nullptr) return fail(kNoMemory);
    BYTE* image = allocateUncleared(total);
    if (image == nullptr) return fail(kNoMemory);
    if (dib) {
        writeDIBHeader(image, h.width, h.height, 8, total.bytes() - header, 256, 0);
        copyBytes(image + kDibHeaderBytes, table, kPaletteBytes);
    }

    readRows(image + header, rowBytes, 1, dib);
    *width = h.width;
    *height = h.height;
    readFooter();
    return image;
}

// Stored pixels take their bytes, run packets at least two bytes for 128 pixels, so the file
// must hold the least encoding of every pixel before a large block is allocated.
bool TgaReader::justify(Size total) {
    const std::uint64_t pixels = std::uint64_t{m_header.width} * m_header.height;
    const bool justified =
        m_runLength ? blockJustified(Encoding::TgaRle, total, pixels, pixels, bytesLeft(m_io))
                    : blockJustified(Encoding::RawRows, total, pixels,
                                     pixels * std::max(valueBytes(m_header.pixelDepth), 1u),
                                     bytesLeft(m_io));
    return justified ? true : fail(kReadFailed);
}

BYTE* TgaReader::rowOf(BYTE* pixels, unsigned rowBytes, int fileRow, bool dib) const {
    // Buffers are top-down and DIBs bottom-up, so the two run in opposite directions.
    const bool topFirst = (m_header.descriptor & kTopRowFirst) != 0;
    const int row = topFirst != dib ? fileRow : m_header.height - 1 - fileRow;
    return pixels + static_cast<std::size_t>(row) * rowBytes;
}

// Rows in file order until the status stops them. What the file did not give, and a DIB row's
// padding, are zeros. Bytes read ahead and not used go back to the stream afterwards.
void TgaReader::readRows(BYTE* pixels, unsigned rowBytes, int pixelBytes, bool dib) {
    // Reads from here on go straight into the input buffer, not through the view's own.
    m_io.settle();
    m_inputAt = m_inputEnd = 0;
    m_remaining = 0;
    for (int r = 0; r < m_header.height; ++r) {
        BYTE* row = rowOf(pixels, rowBytes, r, dib);
        const unsigned filled = ok() ? readRow(row, pixelBytes, dib) * pixelBytes : 0;
        std::memset(row + filled, 0, rowBytes - filled);
    }
    const unsigned unused = m_inputEnd - m_inputAt;
    if (unused != 0) m_io.seek(-static_cast<long>(unused), SEEK_CUR);
    m_inputAt = m_inputEnd = 0;
}

// The pixels stored, the row's width unless the status stopped it. Packets run on across row
// ends, so their state lives in the reader and not in the row.
int TgaReader::readRow(BYTE* row, int pixelBytes, bool dib) {
    const int width = m_header.width;
    int x = 0;
    while (x < width) {
        int values = width - x; // read from the file and stored as they come
        if (m_runLength) {
            if (m_remaining == 0) {
                if (!fillInput(1)) return x;
                const BYTE packet = m_input[m_inputAt++];
                m_runPacket = (packet & 0x80) != 0;
                m_remaining = (packet & 0x7F) + 1;
                m_packetStart = true;
            }
            if (m_runPacket) {
                if (m_packetStart) {
                    m_packetStart = false;
                    --m_remaining;
                    if (readValues(row + x * pixelBytes, 1, pixelBytes, dib) != 1) return x;
                    ++x;
                }
                const int repeats = std::min(m_remaining, width - x);
                storeRepeats(row + x * pixelBytes, repeats, pixelBytes, dib);
                m_remaining -= repeats;
                x += repeats;
                continue;
            }
            values = std::min(m_remaining, values);
            m_remaining -= values;
            m_packetStart = false;
        }
        const int stored = readValues(row + x * pixelBytes, values, pixelBytes, dib);
        x += stored;
        if (stored != values) return x;
    }
    return x;
}

// Stores up to `count` values, as many as the input holds whole; fewer only with a status.
int TgaReader::readValues(BYTE* out, int count, int pixelBytes, bool dib) {
    const unsigned bytes = valueBytes(m_header.pixelDepth);
    if (bytes == 0) return fail(kUnsupportedTga);
    int stored = 0;
    while (stored < count && fillInput(bytes)) {
        const unsigned held = m_inputEnd - m_inputAt;
        unsigned n = static_cast<unsigned>(count - stored);
        // Most packets lie whole in the input; the division is left for those that do not.
        if (n * bytes > held) n = held / bytes;
        storeValues(m_input.data() + m_inputAt, n,
                    out + static_cast<std::size_t>(stored) * pixelBytes, pixelBytes, dib);
        m_inputAt += n * bytes;
        stored += static_cast<int>(n);
    }
    return stored;
}

// At least `wanted` bytes in the input, or status 3 with the piece of a value at the end of the
// file taken as read.
bool TgaReader::fillInput(unsigned wanted) {
    unsigned held = m_inputEnd - m_inputAt;
    if (held >= wanted) return true;
    BYTE* input = m_input.data();
    std::memmove(input, input + m_inputAt, held);
    held += m_io.read(input + held, kInputBytes);
    m_inputAt = 0;
    m_inputEnd = held;
    if (held >= wanted) return true;
    m_inputAt = m_inputEnd;
    return fail(kReadFailed);
}

void TgaReader::storeValues(const BYTE* raw, unsigned count, BYTE* out, int pixelBytes, bool dib) {
    if (count == 0) return;
    const int bits = m_header.pixelDepth;
    const unsigned bytes = valueBytes(bits);
    if (bits == 24 && !m_lookup && pixelBytes == 3) {
        // The common photograph, stored blue first as a DIB stores it.
        if (dib)
            std::memcpy(out, raw, count * 3u);
        else
            swapRedBlue(raw, out, count);
        m_last = decodeValue(raw + (count - 1) * 3, bits);
        return;
    }
    for (unsigned i = 0; i < count; ++i, raw += bytes, out += pixelBytes) {
        m_last = decodeValue(raw, bits);
        // Values past the table, like entries the map did not fill, are transparent black.
        if (m_lookup)
            m_last.colour = m_last.value < kTableEntries ? m_map[m_last.value] : RGBQUAD{};
        storePixel(out, pixelBytes, dib);
    }
}

void TgaReader::storePixel(BYTE* out, int pixelBytes, bool dib) const {
    if (pixelBytes == 1) {
        *out = static_cast<BYTE>(m_last.value);
        return;
    }
    const RGBQUAD& c = m_last.colour;
    out[0] = dib ? c.rgbBlue : c.rgbRed;
    out[1] = c.rgbGreen;
    out[2] = dib ? c.rgbRed : c.rgbBlue;
    if (pixelBytes == 4) out[3] = c.rgbReserved;
}

void TgaReader::storeRepeats(BYTE* out, int count, int pixelBytes, bool dib) const {
    if (count <= 0) return;
    storePixel(out, pixelBytes, dib);
    for (int i = 1; i < count; ++i)
        std::memcpy(out + i * pixelBytes, out, pixelBytes);
}

// The footer and extension area are kept but not used. The image is returned whatever
// happens here; a code set earlier is the one that tells why the rows stopped.
void TgaReader::readFooter() {
    const auto readFailed = [this] {
        if (ok()) fail(kReadFailed);
    };
    if (!m_io.seek(-static_cast<long>(sizeof m_footer), SEEK_END)) return readFailed();
    const unsigned got = m_io.read(m_footer, sizeof m_footer);
    if (got == 0) return readFailed();
    if (got != sizeof m_footer || std::memcmp(m_footer + 8, kSignature, sizeof kSignature) != 0)
        return;
    trace(kTraceInfo, "Found TGA footer\n");
    const DWORD extension = le32(m_footer);
    const DWORD developer = le32(m_footer + 4);
    if (extension != 0) {
        if (m_io.seek(static_cast<long>(extension), SEEK_SET) &&
            m_io.readExact(m_extension, sizeof m_extension))
            trace(kTraceInfo, "Found TGA extension\n");
        else
            readFailed();
    }
    if (developer != 0) trace(kTraceInfo, "TGA has developer ext\n");
}

} // namespace img
