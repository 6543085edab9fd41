#include "CDibConverter.h"
#include "GdiCheck.h"
#include "GdiScene.h"
#include "PaletteColours.h"
#include "Tables.h"
#include "imgcore.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace img;
using gdi_scene::Bytes;
using gdi_scene::expectFailure;
using gdi_scene::GdiFailure;
using gdi_scene::MemoryCanvas;
using testing_support::GdiCheck;
using testing_support::GdiLeakCheckedTest;
using testing_support::LeakCheck;

namespace {

class Drawing : public GdiLeakCheckedTest {
protected:
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        m_screen = GetDC(nullptr);
    }
    void TearDown() override {
        ReleaseDC(nullptr, m_screen);
        GdiLeakCheckedTest::TearDown();
    }
    // Whether the screen shows `rgb` (width w) at (x, y), every pixel of it.
    ::testing::AssertionResult shows(const Bytes& rgb, int w, int h, int x, int y) {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (GetPixel(m_screen, x + i, y + j) != gdi_scene::pixelOf(rgb, w, i, j))
                    return ::testing::AssertionFailure() << "differs at " << i << ", " << j;
        return ::testing::AssertionSuccess();
    }
    HDC m_screen = nullptr;
};

Bytes dibOf(const Bytes& rgb, int width, int height) {
    CDibConverter c;
    BYTE* dib = c.rgbToDIB(rgb.data(), width, height);
    Bytes out(dib, dib + GlobalSize(dib));
    GlobalFree(dib);
    return out;
}

} // namespace

TEST_F(Drawing, PackedDibsAreStretchedToTheRectangle) {
    const Bytes rgb = gdi_scene::patternRGB(100, 50);
    const Bytes dib = dibOf(rgb, 100, 50);
    ASSERT_EQ(drawDIB(m_screen, dib.data(), 10, 20, 200, 100), 1);
    EXPECT_EQ(getLastError(), 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(GetPixel(m_screen, 10 + x, 20 + y),
                      gdi_scene::pixelOf(rgb, 100, x / 2, y / 2))
                << x << ", " << y;
    EXPECT_EQ(GetPixel(m_screen, 210, 20), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(m_screen, 10, 120), RGB(0, 0, 0));
}

TEST_F(Drawing, PackedDibsShrinkByTheDcsStretchMode) {
    const Bytes dib = dibOf({0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255}, 4, 1);
    struct Case {
        int mode;
        COLORREF shown;
    };
    for (const Case& c :
         {Case{BLACKONWHITE, RGB(0, 0, 0)}, Case{WHITEONBLACK, RGB(255, 255, 255)},
          Case{COLORONCOLOR, RGB(255, 255, 255)}, Case{HALFTONE, RGB(128, 128, 128)}}) {
        SetStretchBltMode(m_screen, c.mode);
        ASSERT_EQ(drawDIB(m_screen, dib.data(), 0, 0, 2, 1), 1);
        EXPECT_EQ(GetPixel(m_screen, 0, 0), c.shown) << c.mode;
        EXPECT_EQ(GetPixel(m_screen, 1, 0), c.shown) << c.mode;
    }
    SetStretchBltMode(m_screen, BLACKONWHITE);
}

TEST_F(Drawing, PackedDibTablesAndBitFieldsAreSkippedToThePixels) {
    // 8 bits with biClrUsed 0 has a full table; bit fields have three masks instead.
    Bytes indexed = gdi_scene::packedDIB(2, 1, 8, {}, {255, 1, 0, 0});
    indexed.insert(indexed.begin() + 40, 256 * 4, 0);
    indexed[40 + 255 * 4 + 2] = 200; // entry 255: red 200
    indexed[40 + 1 * 4 + 1] = 100;   // entry 1: green 100
    ASSERT_EQ(drawDIB(m_screen, indexed.data(), 0, 0, 2, 1), 1);
    EXPECT_EQ(GetPixel(m_screen, 0, 0), RGB(200, 0, 0));
    EXPECT_EQ(GetPixel(m_screen, 1, 0), RGB(0, 100, 0));

    Bytes fields = gdi_scene::packedDIB(2, 1, 16, {}, {0x00, 0xF8, 0xE0, 0x07}, BI_BITFIELDS);
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    fields.insert(fields.begin() + 40, reinterpret_cast<const BYTE*>(masks),
                  reinterpret_cast<const BYTE*>(masks) + 12);
    ASSERT_EQ(drawDIB(m_screen, fields.data(), 0, 1, 2, 1), 1);
    EXPECT_EQ(GetPixel(m_screen, 0, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(m_screen, 1, 1), RGB(0, 255, 0));
}

TEST_F(Drawing, PackedDibFailures) {
    const Bytes dib = dibOf(gdi_scene::patternRGB(2, 2), 2, 2);
    EXPECT_EQ(drawDIB(nullptr, dib.data(), 0, 0, 2, 2), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(drawDIB(m_screen, nullptr, 0, 0, 2, 2), 0);
    EXPECT_EQ(getLastError(), 5);
    winplatSetRasterCaps(WINPLAT_TRUE_COLOUR_CAPS & ~RC_STRETCHDIB);
    EXPECT_EQ(drawDIB(m_screen, dib.data(), 0, 0, 2, 2), 0);
    EXPECT_EQ(getLastError(), 26);
    winplatResetScreen(RGB(0, 0, 0));
    winplatFailGdiCallAt(WINPLAT_CALL_STRETCH_DIBITS, 1);
    EXPECT_EQ(drawDIB(m_screen, dib.data(), 0, 0, 2, 2), 0);
    EXPECT_EQ(getLastError(), 0) << "a short copy is no error, only a 0 result";
}

TEST_F(Drawing, RgbIsDrawnUnscaledAndCutToTheRectangle) {
    const Bytes rgb = gdi_scene::patternRGB(8, 6);
    ASSERT_EQ(drawRGB(m_screen, rgb.data(), 8, 6, 30, 40, 8, 6, nullptr), 1);
    EXPECT_TRUE(shows(rgb, 8, 6, 30, 40));

    winplatResetScreen(RGB(0, 0, 0));
    ASSERT_EQ(drawRGB(m_screen, rgb.data(), 8, 6, 30, 40, 3, 2, nullptr), 1);
    EXPECT_EQ(getLastError(), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(GetPixel(m_screen, 30 + x, 40 + y),
                      x < 3 && y < 2 ? gdi_scene::pixelOf(rgb, 8, x, y) : RGB(0, 0, 0))
                << x << ", " << y;
}

TEST_F(Drawing, TheDevicePaletteIsSelectedBack) {
    struct {
        WORD version, count;
        PALETTEENTRY entries[1];
    } lp{0x300, 1, {{9, 8, 7, 0}}};
    HPALETTE own = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    HPALETTE before = SelectPalette(m_screen, own, FALSE);
    const Bytes rgb = gdi_scene::patternRGB(2, 2);
    for (HPALETTE given : {static_cast<HPALETTE>(nullptr), own}) {
        ASSERT_EQ(drawRGB(m_screen, rgb.data(), 2, 2, 0, 0, 2, 2, given), 1);
        EXPECT_EQ(GetCurrentObject(m_screen, OBJ_PAL), own);
    }
    SelectPalette(m_screen, before, FALSE);
    DeleteObject(own);
}

TEST_F(Drawing, IndexedBuffersShowTheirPaletteColours) {
    RGBQUAD palette[256] = {};
    palette[3] = {30, 20, 10, 0};
    palette[200] = {1, 2, 3, 0};
    const BYTE pixels[6] = {3, 200, 3, 200, 200, 3};
    for (const bool paletteDevice : {false, true}) {
        SCOPED_TRACE(paletteDevice ? "palette device" : "true colour");
        winplatUsePaletteDevice(paletteDevice);
        ASSERT_EQ(drawIndexed8(m_screen, pixels, 3, 2, palette, 5, 5, 3, 2, nullptr), 1);
        EXPECT_EQ(GetPixel(m_screen, 5, 5), RGB(10, 20, 30));
        EXPECT_EQ(GetPixel(m_screen, 6, 5), RGB(3, 2, 1));
        EXPECT_EQ(GetPixel(m_screen, 7, 6), RGB(10, 20, 30));
    }
    EXPECT_EQ(drawIndexed8(m_screen, pixels, 3, 2, nullptr, 5, 5, 3, 2, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(drawIndexed8(m_screen, nullptr, 3, 2, palette, 5, 5, 3, 2, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
}

TEST_F(Drawing, OnAPaletteDeviceImagesShowTheirRealizedColours) {
    winplatUsePaletteDevice(TRUE);
    const std::vector<COLORREF> reserved = testing_support::reservedColours();
    struct Case {
        bool indexed; // else RGB
        int size;     // colours, all new to the system palette
        bool givenPalette;
        int draws;
    };
    const Case cases[] = {
        {true, 236, false, 1},  {true, 256, false, 2}, {true, 256, true, 2},
        {false, 100, false, 2}, {false, 256, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.indexed ? "indexed " : "RGB ") + std::to_string(c.size) +
                     (c.givenPalette ? " given, " : " null, ") + std::to_string(c.draws));
        winplatUsePaletteDevice(TRUE);
        RGBQUAD table[256] = {};
        Bytes rgb;
        std::vector<BYTE> indices;
        std::vector<COLORREF> colours, expected;
        for (int i = 0; i < c.size; ++i) {
            const COLORREF colour = testing_support::newColour(i);
            colours.push_back(colour);
            table[i] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0};
            rgb.insert(rgb.end(), {GetRValue(colour), GetGValue(colour), GetBValue(colour)});
            indices.push_back(static_cast<BYTE>(i));
            // Without a palette an RGB image has the reserved colours.
            expected.push_back(testing_support::nearestColour(reserved, colour));
        }
        if (c.indexed || c.givenPalette) expected = testing_support::realizedColours(colours);
        HPALETTE palette = nullptr;
        if (c.givenPalette) {
            std::vector<BYTE> lp(4 + 4 * c.size);
            auto* log = reinterpret_cast<LOGPALETTE*>(lp.data());
            log->palVersion = 0x300;
            log->palNumEntries = static_cast<WORD>(c.size);
            for (int i = 0; i < c.size; ++i)
                log->palPalEntry[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
            palette = CreatePalette(log);
        }
        for (int row = 0; row < c.draws; ++row)
            ASSERT_EQ(c.indexed
                          ? drawIndexed8(m_screen, indices.data(), c.size, 1, table, 0, row, c.size,
                                         1, palette)
                          : drawRGB(m_screen, rgb.data(), c.size, 1, 0, row, c.size, 1, palette),
                      1);
        for (int row = 0; row < c.draws; ++row)
            for (int i = 0; i < c.size; ++i)
                ASSERT_EQ(GetPixel(m_screen, i, row), expected[i]) << i << ", " << row;
        if (palette != nullptr) DeleteObject(palette);
    }
}

TEST_F(Drawing, BlitFailuresGiveTheirCodesAndReleaseEverything) {
    const int all = WINPLAT_TRUE_COLOUR_CAPS;
    const GdiFailure cases[] = {
        {"no bit blocks", [&] { winplatSetRasterCaps(all & ~RC_BITBLT); }, 26},
        {"memory DC", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_COMPATIBLE_DC, 1); }, 10},
        {"selection", [] { winplatFailGdiCallAt(WINPLAT_CALL_SELECT_BITMAP, 1); }, 37},
        {"selection without 64k bitmaps",
         [&] {
             winplatSetRasterCaps(all & ~RC_BITMAP64);
             winplatFailGdiCallAt(WINPLAT_CALL_SELECT_BITMAP, 1);
         },
         26},
        {"copy", [] { winplatFailGdiCallAt(WINPLAT_CALL_BITBLT, 1); }, 29},
        {"device bitmap", [] { winplatFailGdiCallAt(WINPLAT_CALL_CREATE_DIBITMAP, 1); }, 35},
        {"DIB block", [] { winplatFailGlobalAllocAt(1); }, 1},
    };
    const Bytes rgb = gdi_scene::patternRGB(4, 4);
    RGBQUAD palette[256] = {};
    const BYTE pixels[16] = {};
    for (const GdiFailure& k : cases) {
        SCOPED_TRACE(k.what);
        LeakCheck blocks;
        GdiCheck objects;
        expectFailure(k, "drawRGB",
                      [&] { return drawRGB(m_screen, rgb.data(), 4, 4, 0, 0, 4, 4, nullptr); });
        expectFailure(k, "drawIndexed8", [&] {
            return drawIndexed8(m_screen, pixels, 4, 4, palette, 0, 0, 4, 4, nullptr);
        });
    }
    EXPECT_EQ(drawRGB(m_screen, nullptr, 4, 4, 0, 0, 4, 4, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(drawRGB(nullptr, rgb.data(), 4, 4, 0, 0, 4, 4, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
}

TEST_F(Drawing, ABitmapHeldByAnotherDCCannotBeBlitted) {
    MemoryCanvas other(2, 2);
    HBITMAP held = static_cast<HBITMAP>(GetCurrentObject(other.dc(), OBJ_BITMAP));
    CDibConverter c;
    EXPECT_EQ(c.blitBitmap(m_screen, held, 0, 0, 0, 0, 2, 2, nullptr), 0);
    EXPECT_EQ(c.status, 37);
    EXPECT_EQ(c.blitBitmap(m_screen, nullptr, 0, 0, 0, 0, 2, 2, nullptr), 0);
    EXPECT_EQ(c.status, 5);
    EXPECT_EQ(GetCurrentObject(m_screen, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
}

namespace {

Bytes rgbaOf(const Bytes& rgb, BYTE alpha) {
    Bytes out;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        out.insert(out.end(), {rgb[i], rgb[i + 1], rgb[i + 2], alpha});
    return out;
}

} // namespace

TEST_F(Drawing, RgbaImagesAreBlendedOverWhatTheDeviceShows) {
    const Bytes under = gdi_scene::patternRGB(6, 4);
    Bytes image = gdi_scene::patternRGB(6, 4);
    for (BYTE& b : image)
        b = static_cast<BYTE>(255 - b);
    ASSERT_EQ(drawRGB(m_screen, under.data(), 6, 4, 50, 60, 6, 4, nullptr), 1);

    const Bytes clear = rgbaOf(image, 0);
    ASSERT_EQ(drawRGBA(m_screen, clear.data(), 6, 4, 50, 60, 6, 4, nullptr), 1);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_TRUE(shows(under, 6, 4, 50, 60)) << "a transparent image leaves the device as it was";

    const Bytes half = rgbaOf(image, 128);
    ASSERT_EQ(drawRGBA(m_screen, half.data(), 6, 4, 50, 60, 6, 4, nullptr), 1);
    const BYTE* alpha = tables().alpha;
    Bytes blended(under.size());
    for (std::size_t i = 0; i < under.size(); ++i)
        blended[i] = static_cast<BYTE>(alpha[127 * 256 + under[i]] + alpha[128 * 256 + image[i]]);
    EXPECT_TRUE(shows(blended, 6, 4, 50, 60));

    const Bytes opaque = rgbaOf(image, 255);
    ASSERT_EQ(drawRGBA(m_screen, opaque.data(), 6, 4, 50, 60, 6, 4, nullptr), 1);
    EXPECT_TRUE(shows(image, 6, 4, 50, 60)) << "an opaque image shows as drawRGB shows it";
}

TEST_F(Drawing, RgbaOutsideTheImageKeepsTheDevicePixels) {
    const Bytes under = gdi_scene::patternRGB(5, 5);
    ASSERT_EQ(drawRGB(m_screen, under.data(), 5, 5, 0, 0, 5, 5, nullptr), 1);
    const Bytes dot = {255, 255, 255, 255};
    ASSERT_EQ(drawRGBA(m_screen, dot.data(), 1, 1, 0, 0, 5, 5, nullptr), 1);
    EXPECT_EQ(GetPixel(m_screen, 0, 0), RGB(255, 255, 255));
    Bytes rest = under;
    rest[0] = rest[1] = rest[2] = 255;
    EXPECT_TRUE(shows(rest, 5, 5, 0, 0));
}

TEST_F(Drawing, RgbaFailures) {
    const Bytes rgba(4 * 4 * 4, 255);
    struct Case {
        const char* what;
        HDC dc;
        const BYTE* pixels;
        int width;
        int code;
    };
    for (const Case& k :
         {Case{"no DC", nullptr, rgba.data(), 4, 5}, Case{"no pixels", m_screen, nullptr, 4, 5},
          Case{"empty rectangle", m_screen, rgba.data(), 0, 5}}) {
        EXPECT_EQ(drawRGBA(k.dc, k.pixels, 4, 4, 0, 0, k.width, 4, nullptr), 0) << k.what;
        EXPECT_EQ(getLastError(), k.code) << k.what;
    }
    winplatSetRasterCaps(WINPLAT_TRUE_COLOUR_CAPS & ~RC_BITMAP64);
    EXPECT_EQ(drawRGBA(m_screen, rgba.data(), 4, 4, 0, 0, 4, 4, nullptr), 0);
    EXPECT_EQ(getLastError(), 26) << "the device cannot be copied";
    winplatResetScreen(RGB(0, 0, 0));
    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(drawRGBA(m_screen, rgba.data(), 4, 4, 0, 0, 4, 4, nullptr), 0);
    EXPECT_EQ(getLastError(), 0) << "no working buffer: nothing drawn, nothing said";
    winplatFailGdiCallAt(WINPLAT_CALL_CREATE_DIBITMAP, 1);
    EXPECT_EQ(drawRGBA(m_screen, rgba.data(), 4, 4, 0, 0, 4, 4, nullptr), 0);
    EXPECT_EQ(getLastError(), 35);
}
