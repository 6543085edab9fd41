#include "GdiCheck.h"
#include "TestFiles.h"
#include "win32/win32.h"
#include "winplat/screen.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

using testing_support::GdiLeakCheckedTest;

namespace winplat::gdi {
// The window system's way in: a DC on the screen at a window's client corner.
HDC createWindowDC(HWND window, POINT origin, const RECT& visible);
} // namespace winplat::gdi

namespace {

class GdiObjects : public GdiLeakCheckedTest {};

int bitsOf(HBITMAP b) {
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(b, sizeof bm, &bm), static_cast<int>(sizeof bm));
    return bm.bmBitsPixel;
}

// What the failure cases work on.
struct FailureScene {
    HDC screen = nullptr;
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    BITMAPINFO info{};
    DWORD pixels[4] = {};
    LOGPALETTE palette{0x300, 1, {{1, 2, 3, 0}}};
    LOGFONTA font{};
};

// Whether an object was made; it is deleted again at once.
bool made(HGDIOBJ object) {
    if (object == nullptr) return false;
    DeleteObject(object);
    return true;
}

} // namespace

TEST_F(GdiObjects, ScreenCapabilitiesAndThePaletteDevice) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    struct Case {
        int index, trueColour, palette;
    };
    const Case cases[] = {
        {HORZRES, 1024, 1024},
        {VERTRES, 768, 768},
        {BITSPIXEL, 32, 8},
        {PLANES, 1, 1},
        {LOGPIXELSX, 96, 96},
        {LOGPIXELSY, 96, 96},
        {SIZEPALETTE, 0, 256},
        {HORZSIZE, 271, 271},
        {VERTSIZE, 203, 203},
        {RASTERCAPS, RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_STRETCHDIB,
         RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_STRETCHDIB | RC_PALETTE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetDeviceCaps(screen, c.index), c.trueColour) << c.index;
    winplatUsePaletteDevice(TRUE);
    for (const Case& c : cases)
        EXPECT_EQ(GetDeviceCaps(screen, c.index), c.palette) << c.index;
    winplatSetRasterCaps(RC_BITBLT);
    HDC memory = CreateCompatibleDC(screen);
    EXPECT_EQ(GetDeviceCaps(memory, RASTERCAPS), RC_BITBLT) << "memory DCs report the device";
    EXPECT_EQ(GetDeviceCaps(nullptr, RASTERCAPS), 0);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiObjects, EveryKindIsCountedWhileAliveAndStockObjectsNever) {
    const std::size_t all = winplatLiveGdiObjects(WINPLAT_GDI_ALL);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    LOGFONTA lf{};
    lf.lfHeight = -11;
    HFONT font = CreateFontIndirectA(&lf);
    LOGPALETTE lp{0x300, 1, {{1, 2, 3, 0}}};
    HPALETTE palette = CreatePalette(&lp);
    struct Case {
        int kind;
        std::size_t count;
    };
    for (const Case& c :
         {Case{WINPLAT_GDI_DCS, 2}, Case{WINPLAT_GDI_BITMAPS, 1}, Case{WINPLAT_GDI_PENS, 1},
          Case{WINPLAT_GDI_BRUSHES, 1}, Case{WINPLAT_GDI_FONTS, 1}, Case{WINPLAT_GDI_PALETTES, 1}})
        EXPECT_EQ(winplatLiveGdiObjects(c.kind), c.count) << c.kind;
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_ALL), all + 7);

    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), static_cast<DWORD>(OBJ_PEN));
    EXPECT_EQ(GetStockObject(99), nullptr);
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_ALL), all + 7);

    for (HGDIOBJ o :
         {static_cast<HGDIOBJ>(bitmap), static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(brush),
          static_cast<HGDIOBJ>(font), static_cast<HGDIOBJ>(palette)}) {
        EXPECT_TRUE(DeleteObject(o));
        EXPECT_FALSE(DeleteObject(o)) << "a stale handle is refused";
        EXPECT_EQ(GetObjectType(o), 0u);
    }
    EXPECT_EQ(ReleaseDC(nullptr, memory), 0) << "memory DCs are deleted, not released";
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_ALL), all);
}

TEST_F(GdiObjects, SelectedObjectsCannotBeDeletedAndBitmapsGoIntoOneDCOnly) {
    HDC screen = GetDC(nullptr);
    HDC first = CreateCompatibleDC(screen);
    HDC second = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2, 2);
    HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));

    HGDIOBJ stockBitmap = SelectObject(first, bitmap);
    ASSERT_NE(stockBitmap, nullptr);
    EXPECT_EQ(GetCurrentObject(first, OBJ_BITMAP), bitmap);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr) << "already in the first DC";
    EXPECT_EQ(SelectObject(screen, bitmap), nullptr) << "only memory DCs hold bitmaps";
    EXPECT_FALSE(DeleteObject(bitmap));
    HGDIOBJ oldBrush = SelectObject(first, brush);
    EXPECT_EQ(oldBrush, GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(SelectObject(first, GetStockObject(DEFAULT_PALETTE)), nullptr)
        << "palettes go through SelectPalette";

    EXPECT_EQ(SelectObject(first, stockBitmap), bitmap);
    EXPECT_EQ(SelectObject(second, bitmap), stockBitmap);
    DeleteDC(second); // a deleted DC lets go of what it held
    SelectObject(first, oldBrush);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteObject(brush));
    DeleteDC(first);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiObjects, CompatibleBitmapsTakeTheFormatOfTheirDC) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(memory, 8, 8);
    HBITMAP colour = CreateCompatibleBitmap(screen, 8, 8);
    EXPECT_EQ(bitsOf(mono), 1) << "a fresh memory DC holds a monochrome bitmap";
    EXPECT_EQ(bitsOf(colour), 32);

    BITMAPINFO info{};
    info.bmiHeader = {40, 5, 5, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HGDIOBJ old = SelectObject(memory, section);
    HBITMAP likeSection = CreateCompatibleBitmap(memory, 3, 3);
    EXPECT_EQ(bitsOf(likeSection), 24);
    const std::size_t bitmaps = winplatLiveGdiObjects(WINPLAT_GDI_BITMAPS);
    HBITMAP empty = CreateCompatibleBitmap(screen, 0, 5);
    EXPECT_EQ(bitsOf(empty), 1) << "an empty size gives the stock 1 x 1 bitmap";
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_BITMAPS), bitmaps);
    EXPECT_EQ(CreateCompatibleBitmap(screen, -1, 5), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 1 << 20, 1 << 20), nullptr) << "too large";

    winplatUsePaletteDevice(TRUE);
    HBITMAP indexed = CreateCompatibleBitmap(screen, 8, 8);
    EXPECT_EQ(bitsOf(indexed), 8);

    SelectObject(memory, old);
    for (HBITMAP b : {mono, colour, section, likeSection, indexed})
        EXPECT_TRUE(DeleteObject(b));
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiObjects, GetObjectDescribesEachKind) {
    BITMAPINFO info{};
    info.bmiHeader = {40, 7, -3, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(section, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 7);
    EXPECT_EQ(ds.dsBm.bmHeight, 3);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 28);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biHeight, -3);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 84u);
    EXPECT_EQ(GetObjectA(section, 0, nullptr), static_cast<int>(sizeof(DIBSECTION)));

    HPEN pen = CreatePen(PS_DOT, 3, RGB(1, 2, 3));
    LOGPEN lp{};
    EXPECT_EQ(GetObjectA(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DOT));
    EXPECT_EQ(lp.lopnWidth.x, 3);
    EXPECT_EQ(lp.lopnColor, RGB(1, 2, 3));

    LOGPALETTE small{0x300, 1, {{1, 2, 3, 0}}};
    HPALETTE palette = CreatePalette(&small);
    WORD entries = 0;
    EXPECT_EQ(GetObjectA(palette, sizeof entries, &entries), 2);
    EXPECT_EQ(entries, 1);
    WORD stockEntries = 0;
    GetObjectA(GetStockObject(DEFAULT_PALETTE), sizeof stockEntries, &stockEntries);
    EXPECT_EQ(stockEntries, 20);
    LOGPALETTE wrongVersion{0x200, 1, {{1, 2, 3, 0}}};
    EXPECT_EQ(CreatePalette(&wrongVersion), nullptr);

    for (HGDIOBJ o :
         {static_cast<HGDIOBJ>(section), static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(palette)})
        DeleteObject(o);
}

TEST_F(GdiObjects, ArmedFailuresHitTheChosenCallOnce) {
    FailureScene scene;
    scene.screen = GetDC(nullptr);
    scene.memory = CreateCompatibleDC(scene.screen);
    scene.bitmap = CreateCompatibleBitmap(scene.screen, 2, 2);
    scene.info.bmiHeader = {40, 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    using S = FailureScene;
    struct Case {
        int call;
        bool (*attempt)(S&);
    };
    const Case cases[] = {
        {WINPLAT_CALL_GET_DC,
         [](S&) {
             HDC dc = GetDC(nullptr);
             return dc != nullptr && ReleaseDC(nullptr, dc) == 1;
         }},
        {WINPLAT_CALL_CREATE_COMPATIBLE_DC,
         [](S& s) {
             HDC dc = CreateCompatibleDC(s.screen);
             return dc != nullptr && DeleteDC(dc);
         }},
        {WINPLAT_CALL_CREATE_COMPATIBLE_BITMAP,
         [](S& s) { return made(CreateCompatibleBitmap(s.screen, 2, 2)); }},
        {WINPLAT_CALL_CREATE_DIB_SECTION,
         [](S& s) {
             void* bits = nullptr;
             return made(CreateDIBSection(s.screen, &s.info, DIB_RGB_COLORS, &bits, nullptr, 0));
         }},
        {WINPLAT_CALL_CREATE_DIBITMAP,
         [](S& s) {
             return made(CreateDIBitmap(s.screen, &s.info.bmiHeader, CBM_INIT, s.pixels, &s.info,
                                        DIB_RGB_COLORS));
         }},
        {WINPLAT_CALL_SELECT_BITMAP,
         [](S& s) {
             HDC dc = CreateCompatibleDC(s.screen);
             const bool selected = SelectObject(dc, s.bitmap) != nullptr;
             DeleteDC(dc);
             return selected;
         }},
        {WINPLAT_CALL_BITBLT,
         [](S& s) { return BitBlt(s.memory, 0, 0, 1, 1, s.screen, 0, 0, SRCCOPY) != FALSE; }},
        {WINPLAT_CALL_STRETCH_DIBITS,
         [](S& s) {
             return StretchDIBits(s.screen, 0, 0, 2, 2, 0, 0, 2, 2, s.pixels, &s.info,
                                  DIB_RGB_COLORS, SRCCOPY) == 2;
         }},
        {WINPLAT_CALL_GET_DIBITS,
         [](S& s) {
             BITMAPINFO query = s.info;
             return GetDIBits(s.screen, s.bitmap, 0, 2, nullptr, &query, DIB_RGB_COLORS) != 0;
         }},
        {WINPLAT_CALL_CREATE_PALETTE, [](S& s) { return made(CreatePalette(&s.palette)); }},
        {WINPLAT_CALL_CREATE_PEN, [](S&) { return made(CreatePen(PS_SOLID, 1, 0)); }},
        {WINPLAT_CALL_CREATE_BRUSH, [](S&) { return made(CreateSolidBrush(0)); }},
        {WINPLAT_CALL_CREATE_FONT, [](S& s) { return made(CreateFontIndirectA(&s.font)); }},
    };
    for (const Case& c : cases) {
        winplatFailGdiCallAt(c.call, 2);
        EXPECT_TRUE(c.attempt(scene)) << c.call;
        EXPECT_FALSE(c.attempt(scene)) << c.call;
        EXPECT_TRUE(c.attempt(scene)) << c.call;
    }
    DeleteObject(scene.bitmap);
    DeleteDC(scene.memory);
    ReleaseDC(nullptr, scene.screen);
}

TEST_F(GdiObjects, WindowDCsDrawAtTheirOriginWithinTheirArea) {
    auto* window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234));
    EXPECT_EQ(GetDC(window), nullptr) << "no window system has said where windows are";
    HDC dc = winplat::gdi::createWindowDC(window, POINT{100, 50}, RECT{90, 40, 120, 60});
    ASSERT_NE(dc, nullptr);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    const RECT all{-100, -100, 100, 100};
    FillRect(dc, &all, red);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 90, 40), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(screen, 119, 59), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(screen, 120, 59), RGB(0, 0, 0)) << "outside the window's area";
    EXPECT_EQ(GetPixel(screen, 89, 40), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0)) << "(0, 0) is the client corner";
    RECT clip{};
    EXPECT_EQ(GetClipBox(dc, &clip), SIMPLEREGION);
    EXPECT_EQ(clip.left, -10);
    EXPECT_EQ(clip.bottom, 10);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    ReleaseDC(nullptr, screen);
    DeleteObject(red);
}

TEST_F(GdiObjects, SnapshotsAreRgbPngsOfWhatWasAsked) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 6, 3);
    const std::string path = ::testing::TempDir() + "gdi_snapshot.png";
    EXPECT_TRUE(winplatSaveScreenPng(path.c_str()));
    EXPECT_TRUE(winplatSaveDCPng(screen, path.c_str()));
    ASSERT_TRUE(winplatSaveBitmapPng(bitmap, path.c_str()));
    EXPECT_FALSE(winplatSaveBitmapPng(nullptr, path.c_str()));
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> png((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    ASSERT_GT(png.size(), 33u);
    const auto be32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 |
                                          png[at + 3]);
    };
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(be32(16), 6u) << "width";
    EXPECT_EQ(be32(20), 3u) << "height";
    EXPECT_EQ(png[24], 8) << "bit depth";
    EXPECT_EQ(png[25], 2) << "RGB";
    std::remove(path.c_str());
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}
