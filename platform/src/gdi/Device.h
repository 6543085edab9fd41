// The one display device: its framebuffer, capabilities and system palette, and the test
// switches that make GDI calls fail.
#pragma once

#include "gdi/Objects.h"
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
    int nextFreeSlot = 10; // where the next new colour goes; 246 once slots 10..245 are taken
};

Device& device();

// Bits per pixel of bitmaps compatible with the screen, and their colour table.
int deviceBits();
const RGBQUAD* deviceTable(); // the system palette on a palette device, else null

// The 20 static colours, in DEFAULT_PALETTE order (system slots 0..9, then 246..255).
const std::array<PALETTEENTRY, 20>& staticColours();

// True when the armed failure of `call` is due now.
bool failNow(WinplatGdiCall call);

// Maps each entry of a logical palette to a system palette slot: a colour already there keeps
// its slot; a new one takes a free slot when `claimSlots` allows and one is left, else the
// nearest colour in use. A slot, once taken, is never given another colour, so that pixels
// already drawn keep theirs. Returns how many slots were taken.
UINT realizeIntoSystem(Palette& palette, bool claimSlots);

// The system palette slot that shows entry `index` of `palette` (DEFAULT_PALETTE's entries are
// the reserved colours at both ends).
BYTE systemSlot(const Palette& palette, std::size_t index);

// A whole surface as 8-bit RGB rows into a PNG file.
bool savePng(const Surface& surface, const RECT& area, const char* path);

} // namespace winplat::gdi
