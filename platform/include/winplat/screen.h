// The screen device as tests see it: live GDI objects by kind, switches that turn the screen
// into a palette device, change its raster capabilities or make one GDI call fail, and PNG
// snapshots of the screen, a DC or a bitmap.
#pragma once

#include "win32/gdi.h"

#include <cstddef>

enum WinplatGdiKind {
    WINPLAT_GDI_ALL = 0,
    WINPLAT_GDI_BITMAPS,
    WINPLAT_GDI_DCS,
    WINPLAT_GDI_PENS,
    WINPLAT_GDI_BRUSHES,
    WINPLAT_GDI_FONTS,
    WINPLAT_GDI_PALETTES,
    WINPLAT_GDI_REGIONS,
    WINPLAT_GDI_METAFILES,
};

// Calls that a test can make fail; internal uses (CreateDIBitmap making its bitmap) do not
// count as calls.
enum WinplatGdiCall {
    WINPLAT_CALL_GET_DC = 1,
    WINPLAT_CALL_CREATE_COMPATIBLE_DC,
    WINPLAT_CALL_CREATE_COMPATIBLE_BITMAP,
    WINPLAT_CALL_CREATE_DIB_SECTION,
    WINPLAT_CALL_CREATE_DIBITMAP,
    WINPLAT_CALL_SELECT_BITMAP,
    WINPLAT_CALL_BITBLT,
    WINPLAT_CALL_STRETCH_DIBITS,
    WINPLAT_CALL_GET_DIBITS,
    WINPLAT_CALL_CREATE_PALETTE,
    WINPLAT_CALL_CREATE_PEN,
    WINPLAT_CALL_CREATE_BRUSH,
    WINPLAT_CALL_CREATE_FONT,
    WINPLAT_CALL_COUNT
};

// The screen's defaults: 1024 x 768, 32 bits, 96 dpi, these raster capabilities.
#define WINPLAT_SCREEN_WIDTH 1024
#define WINPLAT_SCREEN_HEIGHT 768
#define WINPLAT_TRUE_COLOUR_CAPS (RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_STRETCHDIB)

extern "C" {

// Live objects of one kind (DCs of every sort count as DCs); stock objects are not counted.
std::size_t winplatLiveGdiObjects(int kind);

// Back to the true-colour screen with its default capabilities, every failure disarmed, the
// system palette fresh, and the framebuffer filled with `fill`.
void winplatResetScreen(COLORREF fill);

// An 8-bit palette device (RC_PALETTE, 256 system colours of which 20 are static) or the
// true-colour screen, with that device's default capabilities and a fresh system palette;
// either way the framebuffer is cleared to black.
void winplatUsePaletteDevice(BOOL palette);

// The raster capabilities every DC reports until the next reset.
void winplatSetRasterCaps(int caps);

// Makes the n-th call of `call` from now on fail (1 = the next one); 0 disarms it.
void winplatFailGdiCallAt(int call, unsigned n);

// PNG snapshots (8-bit RGB): the whole framebuffer, what a DC may draw on, or a bitmap.
BOOL winplatSaveScreenPng(const char* path);
BOOL winplatSaveDCPng(HDC dc, const char* path);
BOOL winplatSaveBitmapPng(HBITMAP bitmap, const char* path);

} // extern "C"
