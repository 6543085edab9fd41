// DIB rows and packed pixels back to byte-per-sample buffers.
#include "CDibConverter.h"
#include "Tables.h"

#include <cstring>
#include <limits>

namespace img {
namespace {

// Where a 16-bit mask's first run of set bits ends, as the bit that lands on bit 7.
int maskHighBit(DWORD mask) {
    int bit = 0;
    while (bit < 16 && !(mask & (1u << bit)))
        ++bit;
    if (bit == 16) return -1;
    while (bit < 15 && (mask & (1u << (bit + 1))))
        ++bit;
    return bit;
}

BYTE maskedComponent(unsigned value, DWORD mask, int high) {
    if (high < 0) return 0;
    unsigned v = value & mask & 0xFFFF;
    return static_cast<BYTE>(high < 8 ? v << (7 - high) : v >> (high - 7));
}

void putPixel(BYTE*& out, BYTE r, BYTE g, BYTE b, bool appendAlpha, BYTE alpha) {
    *out++ = r;
    *out++ = g;
    *out++ = b;
    if (appendAlpha) *out++ = alpha;
}

} // namespace

void CDibConverter::dibRowToRGB(const BYTE* source, BYTE* destination, int pixels, int bitsPerPixel,
                                const RGBQUAD* colourTable, unsigned tableEntries,
                                const DWORD* masks, bool appendAlpha, BYTE alpha) {
    BYTE* out = destination;
    auto indexed = [&](unsigned index) {
        const RGBQUAD e = tableEntry(colourTable, tableEntries, index);
        putPixel(out, e.rgbRed, e.rgbGreen, e.rgbBlue, appendAlpha, alpha);
    };
    switch (bitsPerPixel) {
    case 1:
        for (int x = 0; x < pixels; ++x)
            indexed((source[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (int x = 0; x < pixels; ++x)
            indexed((source[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        break;
    case 8:
        for (int x = 0; x < pixels; ++x)
            indexed(source[x]);
        break;
    case 16: {
        const int highs[3] = {masks ? maskHighBit(masks[0]) : -1,
                              masks ? maskHighBit(masks[1]) : -1,
                              masks ? maskHighBit(masks[2]) : -1};
        for (int x = 0; x < pixels; ++x) {
            const unsigned v = source[2 * x] | source[2 * x + 1] << 8;
            if (masks != nullptr) {
                putPixel(out, maskedComponent(v, masks[0], highs[0]),
                         maskedComponent(v, masks[1], highs[1]),
                         maskedComponent(v, masks[2], highs[2]), appendAlpha, alpha);
            } else {
                putPixel(out, static_cast<BYTE>(((v >> 10) & 31) * 255 / 31),
                         static_cast<BYTE>(((v >> 5) & 31) * 255 / 31),
                         static_cast<BYTE>((v & 31) * 255 / 31), appendAlpha, alpha);
            }
        }
        break;
    }
    case 24:
        for (int x = 0; x < pixels; ++x, source += 3)
            putPixel(out, source[2], source[1], source[0], appendAlpha, alpha);
        break;
    case 32:
        for (int x = 0; x < pixels; ++x, source += 4)
            putPixel(out, source[2], source[1], source[0], appendAlpha,
                     appendAlpha ? source[3] : alpha);
        break;
    default:
        break;
    }
}

// A header's checks before its rows are converted: depth, compression, sizes, and a table
// that fits in the `tableBytes` that follow the header.
bool CDibConverter::rowLayout(const BYTE* dib, unsigned tableBytes, const BYTE* rgb,
                              DibRowLayout& out) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    if (rgb == nullptr || h.biSize != sizeof h) return fail(kBadArgument);
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return fail(kBadArgument);
    if (h.biCompression != BI_RGB) return fail(kCompressionMismatch);
    const std::int64_t height =
        h.biHeight > 0 ? h.biHeight : -static_cast<std::int64_t>(h.biHeight);
    out.width = h.biWidth;
    out.bits = bits;
    out.rowBytes = dibRowBytes(h.biWidth, bits);
    if (h.biWidth <= 0 || height == 0 || height > std::numeric_limits<int>::max() ||
        out.rowBytes == 0)
        return fail(kBadArgument);
    out.height = static_cast<int>(height);
    out.bottomUp = h.biHeight > 0;
    out.tableBytes = tableBytes;
    out.table = reinterpret_cast<const RGBQUAD*>(dib + sizeof h);
    out.tableEntries = bits > 8 ? 0 : h.biClrUsed != 0 ? h.biClrUsed : 1u << bits;
    // A header that claims more entries than the table holds would send the lookups past it.
    if (out.tableEntries > tableBytes / sizeof(RGBQUAD)) return fail(kBadArgument);
    return true;
}

int CDibConverter::dibToRGB(const BYTE* dib, BYTE* rgb) {
    status = kOk;
    if (dib == nullptr) return fail(kBadArgument);
    DibRowLayout rows;
    // No packed DIB carries more than 256 entries; dibPixelData refuses more as well.
    if (!rowLayout(dib, 256 * sizeof(RGBQUAD), rgb, rows)) return 0;
    const BYTE* data = dibPixelData(dib);
    if (data == nullptr) return 0;
    for (int k = 0; k < rows.height; ++k)
        dibRowToRGB(data + static_cast<std::size_t>(k) * rows.rowBytes, rows.outputRow(rgb, k),
                    rows.width, rows.bits, rows.table, rows.tableEntries, nullptr, false, 0);
    return 1;
}

void CDibConverter::unpackRow(const BYTE* source, BYTE* destination, int pixels, int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        for (int x = 0; x < pixels; ++x)
            destination[x] = (source[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case 4:
        for (int x = 0; x < pixels; ++x)
            destination[x] = (source[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        break;
    case 8:
        copyBytes(destination, source, static_cast<std::size_t>(pixels > 0 ? pixels : 0));
        break;
    default:
        break;
    }
}

int CDibConverter::unpackPixels(const BYTE* packed, int width, int height, int bitsPerPixel,
                                BYTE* destination) {
    if (packed == nullptr || destination == nullptr || bitsPerPixel < 1 || bitsPerPixel > 8)
        return fail(kBadArgument);
    if (width <= 0 || height <= 0) return 1;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if (bitsPerPixel == 1) {
        const std::size_t whole = count / 8;
        for (std::size_t i = 0; i < whole; ++i)
            std::memcpy(destination + i * 8, tables().bitExpansion[packed[i]], 8);
        for (std::size_t p = whole * 8; p < count; ++p)
            destination[p] = (packed[p >> 3] >> (7 - (p & 7))) & 1;
        return 1;
    }
    const unsigned mask = (1u << bitsPerPixel) - 1;
    std::size_t bit = 0;
    for (std::size_t p = 0; p < count; ++p, bit += bitsPerPixel) {
        // Samples may straddle a byte boundary for 3, 5, 6 and 7 bits.
        const std::size_t byte = bit >> 3;
        const unsigned shift = static_cast<unsigned>(bit & 7);
        unsigned word = static_cast<unsigned>(packed[byte]) << 8;
        if (shift + bitsPerPixel > 8) word |= packed[byte + 1];
        destination[p] = static_cast<BYTE>((word >> (16 - shift - bitsPerPixel)) & mask);
    }
    return 1;
}

void CDibConverter::twoBitToFourBit(const BYTE* source, BYTE* destination, int kind, int pixels) {
    if (pixels <= 0) return;
    if (kind == 4) {
        copyBytes(destination, source, (static_cast<std::size_t>(pixels) + 1) / 2);
        return;
    }
    if (kind != 2) return;
    // Source and destination may be one buffer: both pixels of an output byte are read before
    // it is written, walking from the end so nothing is overwritten before it is read.
    auto pixel = [source](int x) { return (source[x >> 2] >> (6 - 2 * (x & 3))) & 3u; };
    for (int m = (pixels - 1) / 2; m >= 0; --m) {
        const unsigned high = pixel(2 * m);
        const unsigned low = 2 * m + 1 < pixels ? pixel(2 * m + 1) : 0;
        destination[m] = static_cast<BYTE>(high << 4 | low);
    }
}

int CDibConverter::paletteToRGB(const BYTE* rows, BYTE* destination, int width, int height,
                                int sourceStride, int destinationStride, const RGBQUAD* palette) {
    if (rows == nullptr || destination == nullptr || palette == nullptr) return fail(kBadArgument);
    for (int y = 0; y < height; ++y) {
        const BYTE* in = rows + static_cast<std::ptrdiff_t>(y) * sourceStride;
        BYTE* out = destination + static_cast<std::ptrdiff_t>(y) * destinationStride;
        for (int x = 0; x < width; ++x, out += 3) {
            const RGBQUAD& e = palette[in[x]];
            out[0] = e.rgbRed;
            out[1] = e.rgbGreen;
            out[2] = e.rgbBlue;
        }
    }
    return 1;
}

int CDibConverter::rgbToRGBA(const BYTE* rgb, int width, int height, int sourceStride,
                             int destinationStride, BYTE alpha, BYTE* destination) {
    if (rgb == nullptr || destination == nullptr) return fail(kBadArgument);
    for (int y = 0; y < height; ++y) {
        const BYTE* in = rgb + static_cast<std::ptrdiff_t>(y) * sourceStride;
        BYTE* out = destination + static_cast<std::ptrdiff_t>(y) * destinationStride;
        for (int x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = alpha;
        }
    }
    return 1;
}

} // namespace img
