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
    MemoryBlock block;
    if (!block.allocate(total)) return fail(kNoMemory);
    BYTE* image = block.data();
    if (dib) writeDIBHeader(image, h.width, h.height, outBits, total.bytes() - header, 0, 0);

    m_remaining = 0;
    for (int r = 0; r < h.height && ok(); ++r)
        readRow(rowOf(image + header, rowBytes, r, dib), pixelBytes, dib);
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
    MemoryBlock block;
    if (!block.allocate(total)) return fail(kNoMemory);
    BYTE* image = block.data();
    if (dib) {
        writeDIBHeader(image, h.width, h.height, 8, total.bytes() - header, 256, 0);
        copyBytes(image + kDibHeaderBytes, table, kPaletteBytes);
    }

    m_remaining = 0;
    for (int r = 0; r < h.height && ok(); ++r)
        readRow(rowOf(image + header, rowBytes, r, dib), 1, dib);
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

// Packets run on across row ends, so their state lives in the reader and not in the row.
bool TgaReader::readRow(BYTE* row, int pixelBytes, bool dib) {
    const int width = m_header.width;
    for (int x = 0; x < width;) {
        int values = width - x; // read from the file and stored as they come
        if (m_runLength) {
            if (m_remaining == 0) {
                BYTE packet = 0;
                if (!m_io.readExact(&packet, 1)) return fail(kReadFailed);
                m_runPacket = (packet & 0x80) != 0;
                m_remaining = (packet & 0x7F) + 1;
                m_packetStart = true;
            }
            if (m_runPacket) {
                if (m_packetStart) {
                    m_packetStart = false;
                    --m_remaining;
                    if (!readValues(row + x * pixelBytes, 1, pixelBytes, dib)) return false;
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
        if (!readValues(row + x * pixelBytes, values, pixelBytes, dib)) return false;
        x += values;
    }
    return true;
}

// Reads `count` values in pieces and stores them; a short read stores the whole values it
// got before it fails.
bool TgaReader::readValues(BYTE* out, int count, int pixelBytes, bool dib) {
    const unsigned bytes = valueBytes(m_header.pixelDepth);
    if (bytes == 0) return fail(kUnsupportedTga);
    BYTE raw[4 * 3 * 1024]; // whole values of every size
    while (count > 0) {
        const unsigned wanted = std::min<unsigned>(count, sizeof raw / bytes);
        const unsigned got = m_io.read(raw, wanted * bytes) / bytes;
        storeValues(raw, got, out, pixelBytes, dib);
        if (got != wanted) return fail(kReadFailed);
        out += static_cast<std::size_t>(got) * pixelBytes;
        count -= static_cast<int>(got);
    }
    return true;
}

void TgaReader::storeValues(const BYTE* raw, unsigned count, BYTE* out, int pixelBytes, bool dib) {
    if (count == 0) return;
    const int bits = m_header.pixelDepth;
    const unsigned bytes = valueBytes(bits);
    if (bits == 24 && !m_lookup && pixelBytes == 3) {
        // The common photograph, stored blue first as a DIB stores it.
        if (dib) {
            std::memcpy(out, raw, count * 3u);
        } else {
            const BYTE* in = raw;
            for (BYTE* end = out + count * 3u; out != end; out += 3, in += 3) {
                const BYTE blue = in[0], green = in[1], red = in[2];
                out[0] = red;
                out[1] = green;
                out[2] = blue;
            }
        }
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
