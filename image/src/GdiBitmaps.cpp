// Device-dependent bitmaps to packed DIBs and RGB buffers and back, and copies of what a
// device shows. Every GDI object and DC taken here is given back on every path, and palettes
// are selected out again before their DC goes.
#include "CDibConverter.h"
#include "EntryFrame.h"
#include "Trace.h"

#include <cstring>
#include <vector>

namespace img {
namespace {

constexpr unsigned kHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr WORD kPaletteVersion = 0x300;
// The whole system palette: leaving out its last entry would turn white, the colour there,
// into the nearest one left.
constexpr UINT kSystemEntries = 256;

int rasterCaps(HDC dc) {
    return GetDeviceCaps(dc, RASTERCAPS);
}

// A logical palette in a zero-filled LOGPALETTE buffer of `count` entries; the buffer is null
// when its memory can't be had.
std::vector<BYTE> logPaletteBuffer(UINT count) {
    std::vector<BYTE> buffer;
    try {
        buffer.assign(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY), 0);
    } catch (const std::bad_alloc&) {
        buffer.clear();
    }
    if (!buffer.empty()) {
        auto* lp = reinterpret_cast<LOGPALETTE*>(buffer.data());
        lp->palVersion = kPaletteVersion;
        lp->palNumEntries = static_cast<WORD>(count);
    }
    return buffer;
}

PALETTEENTRY* entriesOf(std::vector<BYTE>& buffer) {
    return reinterpret_cast<LOGPALETTE*>(buffer.data())->palPalEntry;
}

// Colour-table entries of a DIB header: biClrUsed, or all that its bit count can index.
std::uint64_t tableEntries(const BITMAPINFOHEADER& h) {
    if (h.biClrUsed != 0) return h.biClrUsed;
    return h.biBitCount < 32 ? std::uint64_t{1} << h.biBitCount : std::uint64_t{1} << 32;
}

} // namespace

int CDibConverter::bitmapToRGB(HBITMAP bitmap, HDC dc, BYTE* rgb) {
    status = kOk;
    const int caps = rasterCaps(dc);
    if ((caps & RC_DI_BITMAP) == 0) return fail(kMissingRasterCaps);
    HPALETTE palette = nullptr;
    if ((caps & RC_PALETTE) != 0) {
        std::vector<BYTE> lp = logPaletteBuffer(kSystemEntries);
        if (lp.empty()) return fail(kNoMemory);
        GetSystemPaletteEntries(dc, 0, kSystemEntries, entriesOf(lp));
        palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(lp.data()));
    }
    BYTE* dib = bitmapToDIB(bitmap, palette);
    if (palette != nullptr) DeleteObject(palette);
    if (dib == nullptr) return 0;
    const int converted = dibToRGB(dib, rgb);
    GlobalFree(dib);
    return converted;
}

BYTE* CDibConverter::bitmapToDIB(HBITMAP bitmap, HPALETTE palette) {
    status = kOk;
    HDC screen = GetDC(nullptr);
    HPALETTE chosen =
        palette != nullptr ? palette : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    HPALETTE previous = SelectPalette(screen, chosen, FALSE);
    RealizePalette(screen);

    BYTE* result = nullptr;
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    const int bits = bm.bmPlanes * bm.bmBitsPixel;
    const unsigned tableBytes = bits >= 1 && bits <= 8 ? (1u << bits) * sizeof(RGBQUAD) : 0;
    MemoryBlock block;
    if (!block.allocate(kHeaderBytes + tableBytes)) {
        fail(kNoMemory);
    } else {
        BITMAPINFOHEADER h{};
        h.biSize = kHeaderBytes;
        h.biWidth = bm.bmWidth;
        h.biHeight = bm.bmHeight;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bits);
        h.biCompression = BI_RGB;
        std::memcpy(block.data(), &h, sizeof h);
        result = fillDIBBits(block, bitmap, screen, tableBytes);
    }

    if (previous != nullptr) SelectPalette(screen, previous, FALSE);
    ReleaseDC(nullptr, screen);
    return result;
}

// The second half of bitmapToDIB: let GDI complete the header, grow the block, fetch the rows.
BYTE* CDibConverter::fillDIBBits(MemoryBlock& block, HBITMAP bitmap, HDC screen,
                                 unsigned tableBytes) {
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    const auto lines = static_cast<UINT>(info->bmiHeader.biHeight);
    if (GetDIBits(screen, bitmap, 0, lines, nullptr, info, DIB_RGB_COLORS) == 0) {
        block.release();
        return fail(kGetDIBitsFailed);
    }
    BITMAPINFOHEADER h;
    std::memcpy(&h, block.data(), sizeof h);
    // The rows GetDIBits writes, whatever size the header claims for them.
    const Size total =
        imageBlockSize(kHeaderBytes + tableBytes,
                       paddedRowBytes(static_cast<std::uint32_t>(h.biWidth), h.biBitCount),
                       static_cast<std::uint32_t>(h.biHeight));
    if (!total.ok() || !block.resize(total)) {
        block.release();
        return fail(kNoMemory);
    }
    info = reinterpret_cast<BITMAPINFO*>(block.data());
    if (GetDIBits(screen, bitmap, 0, lines, block.data() + kHeaderBytes + tableBytes, info,
                  DIB_RGB_COLORS) == 0) {
        block.release();
        return fail(kGetDIBitsFailed);
    }
    return block.data();
}

HBITMAP CDibConverter::DIBToHBITMAP(const BYTE* dib, HPALETTE palette, HDC dc) {
    status = kOk;
    if (dib == nullptr) return fail(kBadArgument);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    if (h.biSize != kHeaderBytes) return fail(kBadArgument);
    if (dc != nullptr) return deviceBitmap(dib, palette, dc);
    HDC screen = GetDC(nullptr);
    HBITMAP result = deviceBitmap(dib, palette, screen);
    ReleaseDC(nullptr, screen);
    return result;
}

// DIBToHBITMAP once the DC is settled.
HBITMAP CDibConverter::deviceBitmap(const BYTE* dib, HPALETTE palette, HDC dc) {
    const int caps = rasterCaps(dc);
    if ((caps & RC_DI_BITMAP) == 0) return fail(kMissingRasterCaps);
    const BYTE* bits = dibPixelData(dib);
    if (bits == nullptr) return nullptr;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);

    HPALETTE built = nullptr;
    const std::uint64_t entries = tableEntries(h);
    if (palette == nullptr && entries <= 256 && (caps & RC_PALETTE) != 0) {
        std::vector<BYTE> lp = logPaletteBuffer(static_cast<UINT>(entries));
        if (lp.empty()) return fail(kNoMemory);
        const auto* table = reinterpret_cast<const RGBQUAD*>(dib + kHeaderBytes);
        PALETTEENTRY* out = entriesOf(lp);
        for (std::uint64_t i = 0; i < entries; ++i)
            out[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
        built = CreatePalette(reinterpret_cast<LOGPALETTE*>(lp.data()));
    }
    HPALETTE chosen = palette != nullptr ? palette : built;
    HPALETTE previous = nullptr;
    if (chosen != nullptr) {
        previous = SelectPalette(dc, chosen, FALSE);
        RealizePalette(dc);
    }
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib);
    HBITMAP bitmap = CreateDIBitmap(dc, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
    if (bitmap == nullptr) {
        trace(kTraceError, "DIBToHBITMAP error: GetLastError = %d\n",
              static_cast<int>(GetLastError()));
        fail(kNoDeviceBitmap);
    }
    if (previous != nullptr) SelectPalette(dc, previous, FALSE);
    if (built != nullptr) DeleteObject(built);
    return bitmap;
}

HBITMAP CDibConverter::rgbToBitmap(const BYTE* rgb, int width, int height, HPALETTE palette,
                                   HDC dc) {
    status = kOk;
    if (rgb == nullptr) return fail(kBadArgument);
    BYTE* dib = rgbToDIB(rgb, width, height);
    if (dib == nullptr) return nullptr;
    HBITMAP bitmap = DIBToHBITMAP(dib, palette, dc);
    GlobalFree(dib);
    return bitmap;
}

int CDibConverter::dcToRGB(HDC dc, int x, int y, int width, int height, BYTE* rgb) {
    status = kOk;
    if (dc == nullptr || width <= 0 || height <= 0) return fail(kBadArgument);
    const int needed = RC_BITBLT | RC_BITMAP64;
    if ((rasterCaps(dc) & needed) != needed) return fail(kMissingRasterCaps);
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) return fail(kNoDeviceContext);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    if (bitmap == nullptr) {
        DeleteDC(memory);
        return fail(kNoCompatibleBitmap);
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (previous == nullptr) {
        DeleteObject(bitmap);
        DeleteDC(memory);
        return fail(kSelectFailed);
    }
    const BOOL copied = BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    SelectObject(memory, previous);
    const int result = copied ? bitmapToRGB(bitmap, dc, rgb) : fail(kBitBltFailed);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return result;
}

} // namespace img

extern "C" int copyDCToRGB(HDC dc, int x, int y, int width, int height, BYTE* rgb) {
    return img::frameW<img::CDibConverter>(
        [&](img::CDibConverter& c) { return c.dcToRGB(dc, x, y, width, height, rgb); });
}

extern "C" HBITMAP rgbToHBITMAP(const BYTE* rgb, int width, int height, HPALETTE palette, HDC dc) {
    return img::frameW<img::CDibConverter>(
        [&](img::CDibConverter& c) { return c.rgbToBitmap(rgb, width, height, palette, dc); });
}
