// Images onto a device context: a packed DIB stretched to the rectangle, and RGB, 8-bit and
// RGBA buffers turned into device bitmaps and copied unscaled through a memory DC.
#include "CDibConverter.h"
#include "COverlay.h"
#include "EntryFrame.h"

#include <climits>
#include <cstring>

namespace img {
namespace {

void restorePalette(HDC dc, HPALETTE previous) {
    if (previous != nullptr) SelectPalette(dc, previous, FALSE);
}

} // namespace

int CDibConverter::drawPackedDIB(HDC dc, const BYTE* dib, int x, int y, int width, int height) {
    status = kOk;
    if (dib == nullptr || dc == nullptr) return fail(kBadArgument);
    if ((GetDeviceCaps(dc, RASTERCAPS) & RC_STRETCHDIB) == 0) return fail(kMissingRasterCaps);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    std::uint64_t entries = 0;
    if (h.biBitCount < 16) entries = h.biClrUsed != 0 ? h.biClrUsed : 1u << h.biBitCount;
    const std::uint64_t tableBytes = h.biCompression == BI_BITFIELDS ? 12 : entries * 4;
    const BYTE* bits = dib + h.biSize + tableBytes;
    const int lines =
        StretchDIBits(dc, x, y, width, height, 0, 0, h.biWidth, h.biHeight, bits,
                      reinterpret_cast<const BITMAPINFO*>(dib), DIB_RGB_COLORS, SRCCOPY);
    return lines == h.biHeight ? 1 : 0;
}

int CDibConverter::drawRGBBuffer(HDC dc, const BYTE* rgb, int imageWidth, int imageHeight, int x,
                                 int y, int width, int height, HPALETTE palette) {
    status = kOk;
    if (rgb == nullptr || dc == nullptr) return fail(kBadArgument);
    HBITMAP bitmap = rgbToBitmap(rgb, imageWidth, imageHeight, palette, dc);
    if (bitmap == nullptr) return 0;
    const int result = blitBitmap(dc, bitmap, x, y, 0, 0, width, height, palette);
    DeleteObject(bitmap);
    return result;
}

int CDibConverter::drawIndexedBuffer(HDC dc, const BYTE* pixels, int imageWidth, int imageHeight,
                                     const RGBQUAD* entries, int x, int y, int width, int height,
                                     HPALETTE palette) {
    status = kOk;
    if (pixels == nullptr || entries == nullptr || dc == nullptr) return fail(kBadArgument);
    BYTE* dib = indexedToDIB(pixels, imageWidth, imageHeight, entries);
    if (dib == nullptr) return 0;
    HBITMAP bitmap = DIBToHBITMAP(dib, palette, dc);
    GlobalFree(dib);
    if (bitmap == nullptr) return 0;
    const int result = blitBitmap(dc, bitmap, x, y, 0, 0, width, height, palette);
    DeleteObject(bitmap);
    return result;
}

int CDibConverter::drawRGBABuffer(HDC dc, const BYTE* pixels, int imageWidth, int imageHeight,
                                  int x, int y, int width, int height, HPALETTE palette) {
    status = kOk;
    if (pixels == nullptr || dc == nullptr) return fail(kBadArgument);
    // An empty rectangle is a bad argument, not a failed allocation that reports nothing.
    if (width <= 0 || height <= 0 || imageWidth > INT_MAX / 4) return fail(kBadArgument);
    MemoryBlock work;
    if (!work.allocate(checkedProduct({width, height, 3}))) return 0;
    if (!dcToRGB(dc, x, y, width, height, work.data())) {
        work.release();
        return 0;
    }
    COverlay overlay;
    if (!overlay.overlayRGBA(work.data(), width, height, width * 3, pixels, imageWidth, imageHeight,
                             imageWidth * 4, 0, 0)) {
        work.release();
        return fail(overlay.status);
    }
    HBITMAP bitmap = rgbToBitmap(work.data(), width, height, palette, dc);
    work.release();
    if (bitmap == nullptr) return 0;
    const int result = blitBitmap(dc, bitmap, x, y, 0, 0, width, height, palette);
    DeleteObject(bitmap);
    return result;
}

int CDibConverter::blitBitmap(HDC dc, HBITMAP bitmap, int x, int y, int sourceX, int sourceY,
                              int width, int height, HPALETTE palette) {
    status = kOk;
    if (bitmap == nullptr) return fail(kBadArgument);
    const int caps = GetDeviceCaps(dc, RASTERCAPS);
    if ((caps & RC_BITBLT) == 0) return fail(kMissingRasterCaps);
    HPALETTE chosen =
        palette != nullptr ? palette : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    HPALETTE previous = SelectPalette(dc, chosen, FALSE);
    RealizePalette(dc);
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) {
        restorePalette(dc, previous);
        return fail(kNoDeviceContext);
    }
    SelectPalette(memory, chosen, FALSE);
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    if (previousBitmap == nullptr) {
        restorePalette(dc, previous);
        DeleteDC(memory);
        return fail((caps & RC_BITMAP64) != 0 ? kSelectFailed : kMissingRasterCaps);
    }
    if (!BitBlt(dc, x, y, width, height, memory, sourceX, sourceY, SRCCOPY)) fail(kBitBltFailed);
    restorePalette(dc, previous);
    SelectObject(memory, previousBitmap);
    DeleteDC(memory);
    return status == kBitBltFailed ? 0 : 1;
}

} // namespace img

extern "C" {

int drawDIB(HDC dc, const BYTE* packedDIB, int x, int y, int width, int height) {
    return img::frameW<img::CDibConverter>(
        [&](img::CDibConverter& c) { return c.drawPackedDIB(dc, packedDIB, x, y, width, height); });
}

int drawRGB(HDC dc, const BYTE* rgb, int srcWidth, int srcHeight, int x, int y, int width,
            int height, HPALETTE palette) {
    return img::frameW<img::CDibConverter>([&](img::CDibConverter& c) {
        return c.drawRGBBuffer(dc, rgb, srcWidth, srcHeight, x, y, width, height, palette);
    });
}

int drawIndexed8(HDC dc, const BYTE* pixels, int srcWidth, int srcHeight, const RGBQUAD* palette,
                 int x, int y, int width, int height, HPALETTE hpal) {
    return img::frameW<img::CDibConverter>([&](img::CDibConverter& c) {
        return c.drawIndexedBuffer(dc, pixels, srcWidth, srcHeight, palette, x, y, width, height,
                                   hpal);
    });
}

int drawRGBA(HDC dc, const BYTE* pixels, int srcWidth, int srcHeight, int x, int y, int width,
             int height, HPALETTE palette) {
    return img::frameW<img::CDibConverter>([&](img::CDibConverter& c) {
        return c.drawRGBABuffer(dc, pixels, srcWidth, srcHeight, x, y, width, height, palette);
    });
}

} // extern "C"
