// The one display device: its framebuffer, capabilities and system palette, and the test
// switches that make GDI calls fail.
#pragma once

#include "gdi/Surface.h"
#include "winplat/screen.h"

#include <array>
#include <vector>

namespace winplat::gdi {

struct Device {
    bool paletteMode = false;
    int rasterCaps = WINPLAT_TRUE_COLOUR_CAPS;
    std::vector<BYTE> framebuffer;
    Surface screen;
    std::array<RGBQUAD, 256> systemPalette{};
    int nextFreeSlot = 10; // where the next realized colour goes, cycling over 10..245
};

Device& device();

// Bits per pixel of bitmaps compatible with the screen, and their colour table.
int deviceBits();
const RGBQUAD* deviceTable(); // the system palette on a palette device, else null

// The 20 static colours, in DEFAULT_PALETTE order (system slots 0..9, then 246..255).
const std::array<PALETTEENTRY, 20>& staticColours();

// True when the armed failure of `call` is due now.
bool failNow(WinplatGdiCall call);

// Writes a logical palette into the system palette: colours already there are reused, new
// ones take the free slots in turn. Returns how many slots changed.
UINT realizeIntoSystem(const std::vector<PALETTEENTRY>& entries);

// A whole surface as 8-bit RGB rows into a PNG file.
bool savePng(const Surface& surface, const RECT& area, const char* path);

} // namespace winplat::gdi
