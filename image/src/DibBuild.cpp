// Packed DIBs from image buffers: bottom-up rows padded to 32 bits, blue first.
#include "CDibConverter.h"
#include "Tables.h"

#include <cstring>

namespace img {
namespace {
constexpr unsigned kHeaderBytes = sizeof(BITMAPINFOHEADER);

bool validSize(const BYTE* source, int width, int height) {
    return source != nullptr && width > 0 && height > 0;
}
} // namespace

void writeDIBHeader(BYTE* dib, int width, int height, int bitsPerPixel, DWORD sizeImage,
                    DWORD coloursUsed, DWORD coloursImportant) {
    BITMAPINFOHEADER h{};
    h.biSize = kHeaderBytes;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitsPerPixel);
    h.biCompression = BI_RGB;
    h.biSizeImage = sizeImage;
    h.biClrUsed = coloursUsed;
    h.biClrImportant = coloursImportant;
    std::memcpy(dib, &h, sizeof h);
}

BYTE* CDibConverter::newDIB(BYTE* destination, Size bytes) {
    if (destination != nullptr) return destination;
    BYTE* block = allocateGlobal(bytes);
    return block != nullptr ? block : static_cast<BYTE*>(fail(kNoMemory));
}

BYTE* CDibConverter::rgbToDIB(const BYTE* rgb, int width, int height, BYTE* destination) {
    status = kOk;
    if (!validSize(rgb, width, height)) return fail(kBadArgument);
    const std::uint32_t rowBytes = dibRowBytes(width, 24);
    const Size total = imageBlockSize(kHeaderBytes, rowBytes, height);
    if (!total.ok()) return fail(kNoMemory);
    BYTE* dib = newDIB(destination, total);
    if (dib == nullptr) return nullptr;
    writeDIBHeader(dib, width, height, 24, total.bytes() - kHeaderBytes, 0, 0);
    const std::size_t sourceRow = static_cast<std::size_t>(width) * 3;
    BYTE* out = dib + kHeaderBytes;
    for (int y = height - 1; y >= 0; --y, out += rowBytes) {
        const BYTE* in = rgb + static_cast<std::size_t>(y) * sourceRow;
        for (std::size_t x = 0; x < sourceRow; x += 3) {
            out[x] = in[x + 2];
            out[x + 1] = in[x + 1];
            out[x + 2] = in[x];
        }
        std::memset(out + sourceRow, 0, rowBytes - sourceRow);
    }
    return dib;
}

BYTE* CDibConverter::rgbaToDIB(const BYTE* rgba, int width, int height, BYTE* destination) {
    status = kOk;
    if (!validSize(rgba, width, height)) return fail(kBadArgument);
    const Size total = imageBlockSize(kHeaderBytes, checkedProduct({width, 4}), height);
    if (!total.ok()) return fail(kNoMemory);
    BYTE* dib = newDIB(destination, total);
    if (dib == nullptr) return nullptr;
    writeDIBHeader(dib, width, height, 32, total.bytes() - kHeaderBytes, 0, 0);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    BYTE* out = dib + kHeaderBytes;
    for (int y = height - 1; y >= 0; --y, out += rowBytes) {
        const BYTE* in = rgba + static_cast<std::size_t>(y) * rowBytes;
        for (std::size_t x = 0; x < rowBytes; x += 4) {
            out[x] = in[x + 2];
            out[x + 1] = in[x + 1];
            out[x + 2] = in[x];
            out[x + 3] = in[x + 3];
        }
    }
    return dib;
}

BYTE* CDibConverter::indexedToDIB(const BYTE* pixels, int width, int height, const RGBQUAD* palette,
                                  BYTE* destination) {
    status = kOk;
    if (!validSize(pixels, width, height) || palette == nullptr) return fail(kBadArgument);
    const std::uint32_t rowBytes = dibRowBytes(width, 8);
    constexpr unsigned kHead = kHeaderBytes + 256 * sizeof(RGBQUAD);
    const Size total = imageBlockSize(kHead, rowBytes, height);
    if (!total.ok()) return fail(kNoMemory);
    BYTE* dib = newDIB(destination, total);
    if (dib == nullptr) return nullptr;
    writeDIBHeader(dib, width, height, 8, total.bytes() - kHead, 256, 256);
    copyBytes(dib + kHeaderBytes, palette, 256 * sizeof(RGBQUAD));
    BYTE* out = dib + kHeaderBytes + 256 * sizeof(RGBQUAD);
    for (int y = height - 1; y >= 0; --y, out += rowBytes) {
        copyBytes(out, pixels + static_cast<std::size_t>(y) * width, width);
        std::memset(out + width, 0, rowBytes - width);
    }
    return dib;
}

BYTE* CDibConverter::oneBitRowsToDIB(const BYTE* rows, int width, int height,
                                     const RGBQUAD* palette, BYTE* destination) {
    status = kOk;
    if (!validSize(rows, width, height) || palette == nullptr) return fail(kBadArgument);
    const std::uint32_t rowBytes = dibRowBytes(width, 1);
    constexpr unsigned kHead = kHeaderBytes + 2 * sizeof(RGBQUAD);
    const Size total = imageBlockSize(kHead, rowBytes, height);
    if (!total.ok()) return fail(kNoMemory);
    BYTE* dib = newDIB(destination, total);
    if (dib == nullptr) return nullptr;
    writeDIBHeader(dib, width, height, 1, total.bytes() - kHead, 2, 0);
    copyBytes(dib + kHeaderBytes, palette, 2 * sizeof(RGBQUAD));
    const std::size_t sourceRow = (static_cast<std::size_t>(width) + 7) / 8;
    BYTE* out = dib + kHeaderBytes + 2 * sizeof(RGBQUAD);
    for (int y = height - 1; y >= 0; --y, out += rowBytes) {
        copyBytes(out, rows + static_cast<std::size_t>(y) * sourceRow, sourceRow);
        std::memset(out + sourceRow, 0, rowBytes - sourceRow);
    }
    return dib;
}

unsigned CDibConverter::dibByteSize(int width, int height, int bitsPerPixel, int paletteCount) {
    std::uint64_t extra;
    switch (bitsPerPixel) {
    case 1:
        extra = 48;
        break;
    case 2:
        extra = kHeaderBytes + 4 * sizeof(RGBQUAD);
        break;
    case 4:
    case 8:
        if (paletteCount < 0 || paletteCount > 256) return fail(kBadArgument);
        extra = kHeaderBytes + static_cast<std::uint64_t>(paletteCount) * 4;
        break;
    case 24:
    case 32:
        extra = kHeaderBytes;
        break;
    default:
        return fail(kBadArgument);
    }
    if (width < 0 || height < 0) return fail(kBadArgument);
    // An empty image is the header and its table alone.
    if (width == 0 || height == 0) return static_cast<unsigned>(extra);
    const Size total = imageBlockSize(extra, dibRowBytes(width, bitsPerPixel), height);
    return total.ok() ? total.bytes() : static_cast<unsigned>(fail(kNoMemory));
}

BYTE* CDibConverter::dibPixelData(const BYTE* dib) {
    if (dib == nullptr) return fail(kBadArgument);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    if (h.biSize != kHeaderBytes) return fail(kBadArgument);
    BYTE* data = const_cast<BYTE*>(dib) + kHeaderBytes;
    if (h.biBitCount >= 1 && h.biBitCount <= 8) {
        const DWORD count = h.biClrUsed != 0 ? h.biClrUsed : 1u << h.biBitCount;
        // A table longer than any bit count can index is a hostile header, not a layout.
        if (count > 256) return fail(kBadArgument);
        data += count * sizeof(RGBQUAD);
    } else if ((h.biBitCount == 15 || h.biBitCount == 16 || h.biBitCount == 32) &&
               h.biCompression == BI_BITFIELDS) {
        // The red, green and blue masks sit between the header and the pixels; bit fields mean
        // nothing at other depths, and no reader stores masks there.
        data += 3 * sizeof(DWORD);
    }
    return data;
}

} // namespace img
