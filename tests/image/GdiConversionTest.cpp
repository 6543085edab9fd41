#include "BmpWriter.h"
#include "CDibConverter.h"
#include "GdiCheck.h"
#include "GdiScene.h"
#include "PixelNoise.h"
#include "TestFiles.h"
#include "Trace.h"
#include "imgcore.h"

#include <climits>
#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace img;
using gdi_scene::Bytes;
using gdi_scene::expectFailure;
using gdi_scene::GdiFailure;
using gdi_scene::MemoryCanvas;
using testing_support::GdiCheck;
using testing_support::GdiLeakCheckedTest;
using testing_support::LeakCheck;

namespace {

std::string g_trace;
void captureTrace(int, const char* text) {
    g_trace += text;
}

class GdiConversion : public GdiLeakCheckedTest {
protected:
    CDibConverter c;
};

constexpr RGBQUAD quad(BYTE r, BYTE g, BYTE b) {
    return RGBQUAD{b, g, r, 0};
}

// 4 x 2 packed DIBs of every depth that the library meets, with the colours they show
// (top row first). The direct-colour ones use static colours so that they also come back
// exactly from the palette device; the indexed ones carry colours of their own.
struct DepthCase {
    int bits;
    Bytes dib;
    std::vector<COLORREF> expected;
};

std::vector<DepthCase> depthCases() {
    const RGBQUAD a = quad(12, 34, 56), b = quad(200, 100, 50), d = quad(7, 77, 177),
                  e = quad(90, 9, 99);
    const COLORREF A = RGB(12, 34, 56), B = RGB(200, 100, 50), D = RGB(7, 77, 177),
                   E = RGB(90, 9, 99);
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0), blue = RGB(0, 0, 255),
                   yellow = RGB(255, 255, 0), black = RGB(0, 0, 0), cyan = RGB(0, 255, 255),
                   white = RGB(255, 255, 255);
    return {
        {1,
         gdi_scene::packedDIB(4, 2, 1, {a, b}, {0xA0, 0, 0, 0, 0x30, 0, 0, 0}),
         {A, A, B, B, B, A, B, A}},
        {4,
         gdi_scene::packedDIB(4, 2, 4, {a, b, d, e}, {0x01, 0x23, 0, 0, 0x33, 0x21, 0, 0}),
         {E, E, D, B, A, B, D, E}},
        {8,
         gdi_scene::packedDIB(4, 2, 8, {a, b, d, e}, {0, 1, 2, 3, 3, 3, 0, 0}),
         {E, E, A, A, A, B, D, E}},
        {24,
         gdi_scene::packedDIB(4, 2, 24, {}, {0, 0,   255, 0,   255, 0, 255, 0,   0,   0, 0, 0,
                                             0, 255, 255, 255, 255, 0, 255, 255, 255, 0, 0, 255}),
         {yellow, cyan, white, red, red, green, blue, black}},
        {32,
         gdi_scene::packedDIB(4, 2, 32, {},
                              {0, 0,   0,   0, 0,   0,   255, 0, 0, 255, 0, 0, 255, 0, 0,   0,
                               0, 255, 255, 0, 255, 255, 0,   0, 0, 0,   0, 0, 0,   0, 255, 0}),
         {yellow, cyan, black, red, black, red, green, blue}},
    };
}

// What bitmapToRGB gives, made the long way: the whole bitmap as one packed DIB, then its rows.
Bytes wholeDibToRGB(CDibConverter& c, HBITMAP bitmap, HDC screen, int width, int height) {
    HPALETTE palette = nullptr;
    if ((GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0) {
        struct {
            WORD version, count;
            PALETTEENTRY entries[256];
        } lp{0x300, 256, {}};
        GetSystemPaletteEntries(screen, 0, 256, lp.entries);
        palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    }
    BYTE* dib = c.bitmapToDIB(bitmap, palette);
    if (palette != nullptr) DeleteObject(palette);
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    EXPECT_NE(dib, nullptr);
    if (dib != nullptr) {
        EXPECT_EQ(c.dibToRGB(dib, rgb.data()), 1);
    }
    GlobalFree(dib);
    return rgb;
}

Bytes toRGB(const std::vector<COLORREF>& colours) {
    Bytes out;
    for (COLORREF c : colours)
        out.insert(out.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    return out;
}

} // namespace

TEST_F(GdiConversion, RgbComesBackExactlyThroughABitmap) {
    struct Case {
        int width, height;
        bool dibSection; // the DC holds a 24-bit DIB section, as a thumbnail cell does
    };
    for (const Case& k : {Case{1, 1, false}, Case{3, 2, false}, Case{17, 5, true},
                          Case{64, 33, false}, Case{5, 7, true}}) {
        SCOPED_TRACE(k.width);
        const Bytes rgb = gdi_scene::patternRGB(k.width, k.height);
        MemoryCanvas canvas(k.width, k.height, k.dibSection);
        HBITMAP bitmap = rgbToHBITMAP(rgb.data(), k.width, k.height, nullptr, canvas.dc());
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(getLastError(), 0);
        HDC holder = CreateCompatibleDC(canvas.dc());
        HGDIOBJ old = SelectObject(holder, bitmap);
        ASSERT_NE(old, nullptr);
        BitBlt(canvas.dc(), 0, 0, k.width, k.height, holder, 0, 0, SRCCOPY);
        SelectObject(holder, old);
        DeleteDC(holder);
        DeleteObject(bitmap);

        Bytes back(rgb.size(), 0xEE);
        EXPECT_EQ(copyDCToRGB(canvas.dc(), 0, 0, k.width, k.height, back.data()), 1);
        EXPECT_EQ(getLastError(), 0);
        EXPECT_EQ(back, rgb);
    }
}

TEST_F(GdiConversion, TheScreenIsCopiedFromAnyPosition) {
    const Bytes rgb = gdi_scene::patternRGB(9, 4);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = rgbToHBITMAP(rgb.data(), 9, 4, nullptr, nullptr);
    HDC holder = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(holder, bitmap);
    BitBlt(screen, 700, 500, 9, 4, holder, 0, 0, SRCCOPY);
    SelectObject(holder, old);
    DeleteDC(holder);
    DeleteObject(bitmap);
    Bytes back(rgb.size());
    ASSERT_EQ(copyDCToRGB(screen, 700, 500, 9, 4, back.data()), 1);
    EXPECT_EQ(back, rgb);
    ASSERT_EQ(copyDCToRGB(screen, 701, 501, 1, 1, back.data()), 1);
    EXPECT_EQ(gdi_scene::pixelOf(back, 1, 0, 0), gdi_scene::pixelOf(rgb, 9, 1, 1));
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiConversion, PackedDibsOfEveryDepthShowTheirColours) {
    for (const bool palette : {false, true}) {
        winplatUsePaletteDevice(palette);
        for (const DepthCase& k : depthCases()) {
            SCOPED_TRACE(std::to_string(k.bits) + (palette ? " bits, palette device" : " bits"));
            GdiCheck objects;
            HBITMAP bitmap = c.DIBToHBITMAP(k.dib.data(), nullptr, nullptr);
            ASSERT_NE(bitmap, nullptr);
            EXPECT_EQ(c.status, 0);
            HDC screen = GetDC(nullptr);
            Bytes rgb(4 * 2 * 3);
            EXPECT_EQ(c.bitmapToRGB(bitmap, screen, rgb.data()), 1);
            EXPECT_EQ(c.status, 0);
            EXPECT_EQ(rgb, toRGB(k.expected));
            ReleaseDC(nullptr, screen);
            DeleteObject(bitmap);
        }
    }
}

TEST_F(GdiConversion, BitFieldDibsFromTheBmpReaderSkipTheirMasks) {
    using testing_support::BmpSpec;
    BmpSpec sixteen;
    sixteen.width = 4;
    sixteen.bitCount = 16;
    sixteen.compression = BI_BITFIELDS;
    sixteen.masks = {0xF800, 0x07E0, 0x001F};
    sixteen.pixels = testing_support::packBmpRows({{0xF800, 0x07E0, 0x001F, 0xFFFF}}, 16);
    BmpSpec thirtyTwo = sixteen;
    thirtyTwo.bitCount = 32;
    thirtyTwo.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    thirtyTwo.pixels = testing_support::packBmpRows({{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}}, 32);
    const std::vector<COLORREF> expected = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                                            RGB(255, 255, 255)};
    for (const BmpSpec& layout : {sixteen, thirtyTwo}) {
        SCOPED_TRACE(std::to_string(layout.bitCount) + " bits");
        testing_support::TempFile file(testing_support::writeBmp(layout));
        SourceHandle src = openFileSource(file.path().c_str());
        ASSERT_NE(src, nullptr);
        int width = 0, height = 0;
        BYTE* dib = readBMP(src, &width, &height, 0, nullptr, IMG_FLAG_DIB);
        closeSource(src);
        ASSERT_NE(dib, nullptr);

        HBITMAP bitmap = c.DIBToHBITMAP(dib, nullptr, nullptr);
        ASSERT_NE(bitmap, nullptr);
        HDC screen = GetDC(nullptr);
        Bytes rgb(4 * 3);
        EXPECT_EQ(c.bitmapToRGB(bitmap, screen, rgb.data()), 1);
        EXPECT_EQ(rgb, toRGB(expected)) << "through DIBToHBITMAP";
        DeleteObject(bitmap);

        winplatResetScreen(RGB(0, 0, 0));
        ASSERT_EQ(drawDIB(screen, dib, 0, 0, 4, 1), 1);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(GetPixel(screen, x, 0), expected[x]) << "through drawDIB at " << x;
        ReleaseDC(nullptr, screen);
        GlobalFree(dib);
    }
}

TEST_F(GdiConversion, BitmapsBecomePackedDibsOfTheirOwnDepth) {
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateCompatibleBitmap(screen, 3, 2);
    HBITMAP mono = CreateBitmap(9, 2, 1, 1, nullptr);
    struct Case {
        HBITMAP bitmap;
        WORD bits;
        unsigned bytes;
    };
    for (const Case& k : {Case{colour, 32, 40 + 3 * 4 * 2}, Case{mono, 1, 40 + 8 + 4 * 2}}) {
        BYTE* dib = c.bitmapToDIB(k.bitmap, nullptr);
        ASSERT_NE(dib, nullptr);
        BITMAPINFOHEADER h;
        std::memcpy(&h, dib, sizeof h);
        EXPECT_EQ(h.biBitCount, k.bits);
        EXPECT_EQ(h.biClrUsed, 0u);
        EXPECT_EQ(GlobalSize(dib), k.bytes);
        if (k.bits == 1) {
            EXPECT_EQ(dib[40 + 4], 255) << "white second";
        }
        GlobalFree(dib);
    }
    EXPECT_EQ(GetCurrentObject(screen, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
    DeleteObject(colour);
    DeleteObject(mono);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiConversion, CopyFailuresGiveTheirCodesAndReleaseEverything) {
    const int all = WINPLAT_TRUE_COLOUR_CAPS;
    const GdiFailure cases[] = {
        {"no bit blocks", [&] { winplatSetRasterCaps(all & ~RC_BITBLT); }, 26},
        {"no 64k bitmaps", [&] { winplatSetRasterCaps(all & ~RC_BITMAP64); }, 26},
        {"no DIB conversion", [&] { winplatSetRasterCaps(all & ~RC_DI_BITMAP); }, 26},
        {"memory DC", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_COMPATIBLE_DC, 1); }, 10},
        {"bitmap", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_COMPATIBLE_BITMAP, 1); }, 23},
        {"selection", [] { winplatFailGdiCallAt(WINPLAT_CALL_SELECT_BITMAP, 1); }, 37},
        {"copy", [] { winplatFailGdiCallAt(WINPLAT_CALL_BITBLT, 1); }, 29},
        {"header", [] { winplatFailGdiCallAt(WINPLAT_CALL_GET_DIBITS, 1); }, 25},
        {"rows", [] { winplatFailGdiCallAt(WINPLAT_CALL_GET_DIBITS, 2); }, 25},
        {"DIB block", [] { winplatFailGlobalAllocAt(1); }, 1},
        {"DIB growth", [] { winplatFailGlobalAllocAt(2); }, 1},
    };
    HDC screen = GetDC(nullptr);
    Bytes rgb(4 * 3 * 3);
    for (const GdiFailure& k : cases) {
        SCOPED_TRACE(k.what);
        LeakCheck blocks;
        GdiCheck objects;
        expectFailure(k, "copyDCToRGB",
                      [&] { return copyDCToRGB(screen, 10, 10, 4, 3, rgb.data()); });
    }
    for (const auto& [w, h] : {std::pair{0, 3}, std::pair{4, 0}, std::pair{-1, 3}, std::pair{4, -3},
                               std::pair{INT_MIN, INT_MIN}}) {
        EXPECT_EQ(copyDCToRGB(screen, 0, 0, w, h, rgb.data()), 0);
        EXPECT_EQ(getLastError(), 5);
    }
    EXPECT_EQ(copyDCToRGB(nullptr, 0, 0, 4, 3, rgb.data()), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(copyDCToRGB(screen, 0, 0, 4, 3, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiConversion, BitmapFailuresGiveTheirCodes) {
    const Bytes rgb = gdi_scene::patternRGB(2, 2);
    EXPECT_EQ(rgbToHBITMAP(nullptr, 2, 2, nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(rgbToHBITMAP(rgb.data(), 0, 2, nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 5);

    winplatSetRasterCaps(WINPLAT_TRUE_COLOUR_CAPS & ~RC_DI_BITMAP);
    EXPECT_EQ(rgbToHBITMAP(rgb.data(), 2, 2, nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 26);
    winplatResetScreen(RGB(0, 0, 0));

    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(rgbToHBITMAP(rgb.data(), 2, 2, nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 1);

    g_trace.clear();
    TraceSink previous = setTraceSink(captureTrace);
    winplatFailGdiCallAt(WINPLAT_CALL_CREATE_DIBITMAP, 1);
    EXPECT_EQ(rgbToHBITMAP(rgb.data(), 2, 2, nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 35);
    EXPECT_EQ(g_trace, "DIBToHBITMAP error: GetLastError = 8\n");
    setTraceSink(previous);

    Bytes dib = gdi_scene::packedDIB(1, 1, 24, {}, {1, 2, 3, 0});
    dib[0] = 12;
    EXPECT_EQ(c.DIBToHBITMAP(dib.data(), nullptr, nullptr), nullptr);
    EXPECT_EQ(c.status, 5) << "only 40-byte headers";
    EXPECT_EQ(c.DIBToHBITMAP(nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(c.status, 5);
    Bytes hostile = gdi_scene::packedDIB(1, 1, 8, {}, {0, 0, 0, 0});
    const DWORD used = 300;
    std::memcpy(&hostile[32], &used, 4);
    EXPECT_EQ(c.DIBToHBITMAP(hostile.data(), nullptr, nullptr), nullptr);
    EXPECT_EQ(c.status, 5) << "a colour table longer than 256 entries";
}

TEST_F(GdiConversion, PalettesAreRealizedAndSelectedBackOut) {
    winplatUsePaletteDevice(TRUE);
    HDC screen = GetDC(nullptr);
    struct {
        WORD version, count;
        PALETTEENTRY entries[2];
    } lp{0x300, 2, {{1, 2, 3, 0}, {4, 5, 6, 0}}};
    HPALETTE own = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    HPALETTE before = SelectPalette(screen, own, FALSE);

    // A DIB without a palette brings its own colours into the system palette.
    const Bytes dib = gdi_scene::packedDIB(1, 1, 8, {quad(123, 45, 67)}, {0, 0, 0, 0});
    HBITMAP bitmap = c.DIBToHBITMAP(dib.data(), nullptr, screen);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(GetCurrentObject(screen, OBJ_PAL), own) << "the caller's palette is back";
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_PALETTES), 1u) << "the DIB's palette is gone";
    PALETTEENTRY system[256];
    GetSystemPaletteEntries(screen, 0, 256, system);
    bool found = false;
    for (const PALETTEENTRY& e : system)
        found = found || (e.peRed == 123 && e.peBlue == 67);
    EXPECT_TRUE(found);

    Bytes rgb(3);
    EXPECT_EQ(c.bitmapToRGB(bitmap, screen, rgb.data()), 1);
    EXPECT_EQ(rgb, (Bytes{123, 45, 67}));
    EXPECT_EQ(GetCurrentObject(screen, OBJ_PAL), own);

    SelectPalette(screen, before, FALSE);
    DeleteObject(own);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

// The rows of a bitmap come over a band at a time, and a row longer than a band in pieces;
// wherever bands and pieces end, the image is the one that the whole packed DIB gives.
TEST_F(GdiConversion, BitmapsOfEveryShapeComeBackWholeThroughBandsAndPieces) {
    struct Case {
        const char* name;
        bool paletteDevice;
        bool fourBits; // a DIB section of sixteen colours of its own, else a device bitmap
        int width, height;
    };
    const Case cases[] = {
        {"a few pixels", false, false, 5, 3},
        {"bands, the last one short", false, false, 700, 1000},
        {"rows in pieces, the last one short", false, false, 300007, 2},
        {"a palette device's bands", true, false, 1001, 1100},
        {"a palette device's rows in pieces", true, false, 1048583, 1},
        {"four bits, rows in pieces", false, true, 2097169, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        winplatUsePaletteDevice(k.paletteDevice);
        HDC screen = GetDC(nullptr);
        // Noise as a DIB of the bitmap's own kind.
        const int bits = k.fourBits ? 4 : 24;
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD table[16];
        } info{{40, k.width, -k.height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0}, {}};
        for (int i = 0; i < 16; ++i)
            info.table[i] = quad(static_cast<BYTE>(i * 17), static_cast<BYTE>(255 - i * 13),
                                 static_cast<BYTE>(i * 5));
        const auto* asInfo = reinterpret_cast<BITMAPINFO*>(&info);
        void* sectionBits = nullptr;
        HBITMAP bitmap =
            k.fourBits ? CreateDIBSection(screen, asInfo, DIB_RGB_COLORS, &sectionBits, nullptr, 0)
                       : CreateCompatibleBitmap(screen, k.width, k.height);
        ASSERT_NE(bitmap, nullptr);
        const std::size_t row = (static_cast<std::size_t>(k.width) * bits + 31) / 32 * 4;
        Bytes pixels = testing_support::noise(row * k.height, 99u + k.width);
        if (k.paletteDevice) {
            // A few colours, each matched to the device's once.
            for (BYTE& b : pixels)
                b = static_cast<BYTE>((b & 3) * 85);
        }
        ASSERT_EQ(SetDIBits(screen, bitmap, 0, k.height, pixels.data(), asInfo, DIB_RGB_COLORS),
                  k.height);

        Bytes rgb(static_cast<std::size_t>(k.width) * k.height * 3, 0xEE);
        EXPECT_EQ(c.bitmapToRGB(bitmap, screen, rgb.data()), 1);
        EXPECT_EQ(c.status, 0);
        EXPECT_TRUE(rgb == wholeDibToRGB(c, bitmap, screen, k.width, k.height));
        if (!k.paletteDevice) {
            // The true-colour screen and the bitmap of its own colours keep every colour given.
            bool same = true;
            for (int y = 0; y < k.height && same; ++y)
                for (int x = 0; x < k.width && same; ++x) {
                    const BYTE* in = &pixels[y * row];
                    const BYTE* out = &rgb[(static_cast<std::size_t>(y) * k.width + x) * 3];
                    const RGBQUAD q = k.fourBits
                                          ? info.table[(in[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 15]
                                          : RGBQUAD{in[x * 3], in[x * 3 + 1], in[x * 3 + 2], 0};
                    same = out[0] == q.rgbRed && out[1] == q.rgbGreen && out[2] == q.rgbBlue;
                }
            EXPECT_TRUE(same);
        }
        DeleteObject(bitmap);
        ReleaseDC(nullptr, screen);
    }
}

TEST_F(GdiConversion, RowsCopiedInPiecesGiveTheirCodesAndReleaseEverything) {
    // Rows of 300007 pixels at 32 bits come over in two pieces. The copy's own memory DC,
    // bitmap, selection and deselection and BitBlt come first.
    const GdiFailure cases[] = {
        {"source DC", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_COMPATIBLE_DC, 2); }, 10},
        {"piece DC", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_COMPATIBLE_DC, 3); }, 10},
        {"source selection", [] { winplatFailGdiCallAt(WINPLAT_CALL_SELECT_BITMAP, 3); }, 37},
        {"piece bitmap", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_COMPATIBLE_BITMAP, 2); },
         23},
        {"piece selection", [] { winplatFailGdiCallAt(WINPLAT_CALL_SELECT_BITMAP, 4); }, 37},
        {"second piece selection", [] { winplatFailGdiCallAt(WINPLAT_CALL_SELECT_BITMAP, 6); }, 37},
        {"first piece", [] { winplatFailGdiCallAt(WINPLAT_CALL_BITBLT, 2); }, 29},
        {"second piece", [] { winplatFailGdiCallAt(WINPLAT_CALL_BITBLT, 3); }, 29},
        {"header", [] { winplatFailGdiCallAt(WINPLAT_CALL_GET_DIBITS, 1); }, 25},
        {"first piece's row", [] { winplatFailGdiCallAt(WINPLAT_CALL_GET_DIBITS, 2); }, 25},
        {"second piece's row", [] { winplatFailGdiCallAt(WINPLAT_CALL_GET_DIBITS, 3); }, 25},
        {"header block", [] { winplatFailGlobalAllocAt(1); }, 1},
        {"piece header block", [] { winplatFailGlobalAllocAt(2); }, 1},
        {"piece row block", [] { winplatFailGlobalAllocAt(3); }, 1},
    };
    constexpr int kWidth = 300007;
    MemoryCanvas canvas(kWidth, 1);
    Bytes rgb(kWidth * 3);
    for (const GdiFailure& k : cases) {
        SCOPED_TRACE(k.what);
        LeakCheck blocks;
        GdiCheck objects;
        expectFailure(k, "copyDCToRGB",
                      [&] { return copyDCToRGB(canvas.dc(), 0, 0, kWidth, 1, rgb.data()); });
    }
    EXPECT_EQ(copyDCToRGB(canvas.dc(), 0, 0, kWidth, 1, rgb.data()), 1);
    EXPECT_EQ(getLastError(), 0);
}
