// The screen device and the switches tests use on it.
#include "gdi/Device.h"
#include "gdi/DeviceContext.h"
#include "gdi/Objects.h"

#include <png.h>

namespace winplat::gdi {
namespace {

std::array<unsigned, WINPLAT_CALL_COUNT>& failures() {
    static std::array<unsigned, WINPLAT_CALL_COUNT> armed{};
    return armed;
}

void freshSystemPalette(Device& d) {
    const auto& statics = staticColours();
    d.systemPalette.fill(RGBQUAD{0, 0, 0, 0});
    for (int i = 0; i < 20; ++i) {
        const PALETTEENTRY& e = statics[i];
        d.systemPalette[i < 10 ? i : 236 + i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
    d.nextFreeSlot = 10;
}

void rebuildScreen(Device& d, bool palette, COLORREF fill) {
    d.paletteMode = palette;
    d.rasterCaps = WINPLAT_TRUE_COLOUR_CAPS | (palette ? RC_PALETTE : 0);
    freshSystemPalette(d);
    Surface& s = d.screen;
    s = Surface{};
    s.width = WINPLAT_SCREEN_WIDTH;
    s.height = WINPLAT_SCREEN_HEIGHT;
    s.bits = palette ? 8 : 32;
    const std::size_t stride = dibStride(s.width, s.bits);
    d.framebuffer.assign(stride * s.height, 0);
    s.top = d.framebuffer.data();
    s.step = static_cast<std::ptrdiff_t>(stride);
    if (palette) {
        s.table = d.systemPalette.data();
        s.tableSize = 256;
    }
    ColourEncoder encoder(s);
    const DWORD value = encoder.encode(fill);
    if (value == 0) return;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            s.setRaw(x, y, value);
}

} // namespace

Device& device() {
    static Device* d = [] {
        auto* made = new Device;
        rebuildScreen(*made, false, RGB(0, 0, 0));
        return made;
    }();
    return *d;
}

int deviceBits() {
    return device().paletteMode ? 8 : 32;
}

const RGBQUAD* deviceTable() {
    return device().paletteMode ? device().systemPalette.data() : nullptr;
}

const std::array<PALETTEENTRY, 20>& staticColours() {
    static const std::array<PALETTEENTRY, 20> colours = {{
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
        {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
        {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
        {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
        {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
    }};
    return colours;
}

bool failNow(WinplatGdiCall call) {
    unsigned& n = failures()[call];
    if (n == 0) return false;
    return --n == 0;
}

namespace {

bool sameColour(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Slots that show a colour: the reserved ones and the free ones taken so far.
std::vector<int> slotsInUse(const Device& d) {
    std::vector<int> used;
    for (int i = 0; i < 256; ++i)
        if (i < d.nextFreeSlot || i > 245) used.push_back(i);
    return used;
}

int nearestSlot(const Device& d, const std::vector<int>& used, const RGBQUAD& q) {
    std::vector<RGBQUAD> colours;
    for (int i : used)
        colours.push_back(d.systemPalette[i]);
    return used[nearestEntry(colours.data(), static_cast<int>(colours.size()), colourOfQuad(q))];
}

} // namespace

UINT realizeIntoSystem(Palette& palette, bool claimSlots) {
    Device& d = device();
    UINT taken = 0;
    std::vector<int> used = slotsInUse(d);
    palette.slots.clear();
    for (const PALETTEENTRY& e : palette.entries) {
        const RGBQUAD q{e.peBlue, e.peGreen, e.peRed, 0};
        int slot = -1;
        for (int i : used)
            if (sameColour(d.systemPalette[i], q)) {
                slot = i;
                break;
            }
        if (slot < 0 && claimSlots && d.nextFreeSlot <= 245) {
            slot = d.nextFreeSlot++;
            d.systemPalette[slot] = q;
            used.push_back(slot);
            ++taken;
        }
        if (slot < 0) slot = nearestSlot(d, used, q);
        palette.slots.push_back(static_cast<BYTE>(slot));
    }
    return taken;
}

BYTE systemSlot(const Palette& palette, std::size_t index) {
    if (palette.stock) return static_cast<BYTE>(index < 10 ? index : index + 236);
    if (index < palette.slots.size()) return palette.slots[index];
    // Never realized: the system colour nearest to the entry.
    const Device& d = device();
    const PALETTEENTRY& e = palette.entries[index < palette.entries.size() ? index : 0];
    return static_cast<BYTE>(
        nearestSlot(d, slotsInUse(d), RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0}));
}

bool savePng(const Surface& surface, const RECT& area, const char* path) {
    const RECT r = intersect(area, RECT{0, 0, surface.width, surface.height});
    if (path == nullptr || isEmpty(r)) return false;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    std::vector<BYTE> rgb(static_cast<std::size_t>(width) * height * 3);
    BYTE* out = rgb.data();
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = surface.pixel(x, y);
            *out++ = GetRValue(c);
            *out++ = GetGValue(c);
            *out++ = GetBValue(c);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path, 0, rgb.data(), width * 3, nullptr);
    png_image_free(&image);
    return ok != 0;
}

} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

void winplatResetScreen(COLORREF fill) {
    Guard guard(gdiLock());
    failures().fill(0);
    rebuildScreen(device(), false, fill);
}

void winplatUsePaletteDevice(BOOL palette) {
    Guard guard(gdiLock());
    rebuildScreen(device(), palette != FALSE, RGB(0, 0, 0));
}

void winplatSetRasterCaps(int caps) {
    Guard guard(gdiLock());
    device().rasterCaps = caps;
}

void winplatFailGdiCallAt(int call, unsigned n) {
    Guard guard(gdiLock());
    if (call > 0 && call < WINPLAT_CALL_COUNT) failures()[call] = n;
}

BOOL winplatSaveScreenPng(const char* path) {
    Guard guard(gdiLock());
    const Surface& s = device().screen;
    return savePng(s, RECT{0, 0, s.width, s.height}, path) ? TRUE : FALSE;
}

BOOL winplatSaveDCPng(HDC hdc, const char* path) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    return dc != nullptr && savePng(dc->surface(), dc->area, path) ? TRUE : FALSE;
}

BOOL winplatSaveBitmapPng(HBITMAP bitmap, const char* path) {
    Guard guard(gdiLock());
    Bitmap* b = lookupBitmap(bitmap);
    return b != nullptr &&
                   savePng(b->surface, RECT{0, 0, b->surface.width, b->surface.height}, path)
               ? TRUE
               : FALSE;
}

} // extern "C"
