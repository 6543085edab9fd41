// Logical palettes and the system palette of the palette device. Realizing a palette in a
// screen or window DC brings its colours into the system palette, so that device bitmaps and
// the framebuffer can show them exactly; on the true-colour screen nothing needs realizing.
#include "gdi/Device.h"
#include "gdi/DeviceContext.h"

using namespace winplat::gdi;

extern "C" {

HPALETTE CreatePalette(const LOGPALETTE* palette) {
    Guard guard(gdiLock());
    if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0)
        return nullptr;
    if (failNow(WINPLAT_CALL_CREATE_PALETTE)) return nullptr;
    auto* p = new Palette;
    p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return static_cast<HPALETTE>(adopt(p));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    Palette* p = lookupPalette(palette);
    if (dc == nullptr || p == nullptr) return nullptr;
    Palette* old = dc->palette;
    --old->selections;
    ++p->selections;
    dc->palette = p;
    return handleOf<HPALETTE>(old);
}

UINT RealizePalette(HDC hdc) {
    UINT changed = 0;
    HWND window = nullptr;
    {
        Guard guard(gdiLock());
        DeviceContext* dc = lookupDC(hdc);
        if (dc == nullptr) return GDI_ERROR;
        if (!device().paletteMode || dc->palette->stock) return 0;
        // A memory DC maps its palette to the system colours without taking slots.
        changed = realizeIntoSystem(*dc->palette, dc->kind != DcKind::Memory);
        window = dc->window;
    }
    // Told outside the lock: the windows that hear of it draw again.
    if (changed > 0 && window != nullptr)
        if (PaletteChangeNotifier notify = paletteChangeNotifier()) notify(window);
    return changed;
}

UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries) {
    Guard guard(gdiLock());
    if (lookupDC(hdc) == nullptr || !device().paletteMode) return 0;
    if (entries == nullptr) return 256;
    UINT n = 0;
    for (; n < count && start + n < 256; ++n) {
        const RGBQUAD& q = device().systemPalette[start + n];
        entries[n] = PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    return n;
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
    Guard guard(gdiLock());
    Palette* p = lookupPalette(palette);
    if (p == nullptr) return 0;
    const auto size = static_cast<UINT>(p->entries.size());
    if (entries == nullptr) return size;
    UINT n = 0;
    for (; n < count && start + n < size; ++n)
        entries[n] = p->entries[start + n];
    return n;
}

UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF colour) {
    Guard guard(gdiLock());
    Palette* p = lookupPalette(palette);
    if (p == nullptr) return CLR_INVALID;
    return static_cast<UINT>(nearestPaletteEntry(*p, colour));
}

} // extern "C"
