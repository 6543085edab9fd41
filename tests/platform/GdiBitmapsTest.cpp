#include "GdiCheck.h"
#include "win32/win32.h"
#include "winplat/screen.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using testing_support::GdiLeakCheckedTest;

namespace {

// A BITMAPINFO with room for a full colour table.
struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

DibInfo dibInfo(int width, int height, int bits, std::initializer_list<RGBQUAD> table = {}) {
    DibInfo d{};
    d.header = {40,     width, height, 1, static_cast<WORD>(bits),
                BI_RGB, 0,     0,      0, static_cast<DWORD>(table.size()),
                0};
    int i = 0;
    for (const RGBQUAD& q : table)
        d.colours[i++] = q;
    return d;
}

const BITMAPINFO* asInfo(const DibInfo& d) {
    return reinterpret_cast<const BITMAPINFO*>(&d);
}
BITMAPINFO* asInfo(DibInfo& d) {
    return reinterpret_cast<BITMAPINFO*>(&d);
}

// A memory DC holding a new bitmap compatible with the screen.
class Canvas {
public:
    Canvas(int width, int height) {
        m_screen = GetDC(nullptr);
        m_dc = CreateCompatibleDC(m_screen);
        m_bitmap = CreateCompatibleBitmap(m_screen, width, height);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
        ReleaseDC(nullptr, m_screen);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return m_dc; }
    HDC screen() const { return m_screen; }
    HBITMAP bitmap() const { return m_bitmap; }
    // Lets go of the bitmap, so that GetDIBits may read it.
    void release() { SelectObject(m_dc, m_old); }
    void fill(COLORREF colour, RECT r) {
        HBRUSH b = CreateSolidBrush(colour);
        FillRect(m_dc, &r, b);
        DeleteObject(b);
    }

private:
    HDC m_screen = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

class GdiBitmaps : public GdiLeakCheckedTest {};

} // namespace

TEST_F(GdiBitmaps, GetDIBitsWithoutBitsCompletesTheHeader) {
    Canvas canvas(5, 3);
    canvas.release();
    DibInfo whole{};
    whole.header.biSize = 40;
    ASSERT_NE(
        GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, nullptr, asInfo(whole), DIB_RGB_COLORS),
        0);
    EXPECT_EQ(whole.header.biWidth, 5);
    EXPECT_EQ(whole.header.biHeight, 3);
    EXPECT_EQ(whole.header.biBitCount, 32);
    EXPECT_EQ(whole.header.biSizeImage, 60u);

    DibInfo asked = dibInfo(5, 3, 24);
    ASSERT_NE(
        GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, nullptr, asInfo(asked), DIB_RGB_COLORS),
        0);
    EXPECT_EQ(asked.header.biSizeImage, 48u) << "rows of 15 bytes padded to 16";

    SelectObject(canvas.dc(), canvas.bitmap());
    EXPECT_EQ(
        GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, nullptr, asInfo(asked), DIB_RGB_COLORS),
        0)
        << "a selected bitmap is refused";
}

TEST_F(GdiBitmaps, DibsOfEveryDepthComeBackThroughADeviceBitmap) {
    const RGBQUAD red{0, 0, 255, 0}, green{0, 255, 0, 0}, blue{255, 0, 0, 0},
        white{255, 255, 255, 0};
    struct Case {
        int bits;
        std::vector<BYTE> row; // one padded row of four pixels
        std::initializer_list<RGBQUAD> table;
    };
    const Case cases[] = {
        {1, {0x50, 0, 0, 0}, {red, white}},                         // 0 1 0 1
        {4, {0x01, 0x23, 0, 0}, {red, green, blue, white}},         // 0 1 2 3
        {8, {3, 2, 1, 0}, {red, green, blue, white}},               // 3 2 1 0
        {16, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F}, {}}, // red green blue white
        {24, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}, {}},
        {32, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0}, {}},
    };
    const COLORREF expected[][4] = {
        {RGB(255, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(255, 255, 255)},
        {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)},
        {RGB(255, 255, 255), RGB(0, 0, 255), RGB(0, 255, 0), RGB(255, 0, 0)},
        {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)},
        {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)},
        {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)},
    };
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const DibInfo info = dibInfo(4, 1, c.bits, c.table);
        HBITMAP b = CreateDIBitmap(screen, &info.header, CBM_INIT, c.row.data(), asInfo(info),
                                   DIB_RGB_COLORS);
        ASSERT_NE(b, nullptr) << c.bits;
        HGDIOBJ old = SelectObject(dc, b);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(GetPixel(dc, x, 0), expected[i][x]) << c.bits << " " << x;
        // Painted over by the DIB's first pixel with StretchDIBits, stretched to four.
        const int lines = StretchDIBits(dc, 0, 0, 4, 1, 0, 0, 1, 1, c.row.data(), asInfo(info),
                                        DIB_RGB_COLORS, SRCCOPY);
        EXPECT_EQ(lines, 1);
        EXPECT_EQ(GetPixel(dc, 3, 0), expected[i][0]) << c.bits;
        SelectObject(dc, old);
        DeleteObject(b);
    }
    const DibInfo rle = [] {
        DibInfo d = dibInfo(4, 1, 8);
        d.header.biCompression = BI_RLE8;
        return d;
    }();
    const BYTE run[4] = {4, 0, 0, 1};
    EXPECT_EQ(
        StretchDIBits(screen, 0, 0, 4, 1, 0, 0, 4, 1, run, asInfo(rle), DIB_RGB_COLORS, SRCCOPY), 1)
        << "run-length DIBs are drawn on the display";
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiBitmaps, SetAndGetDIBitsRoundTripExactly) {
    Canvas canvas(3, 2);
    canvas.release();
    const BYTE rows[2][12] = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
                              {10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0}};
    DibInfo info = dibInfo(3, 2, 24);
    ASSERT_EQ(SetDIBits(canvas.screen(), canvas.bitmap(), 0, 2, rows, asInfo(info), DIB_RGB_COLORS),
              2);
    BYTE back[2][12];
    std::memset(back, 0xEE, sizeof back);
    ASSERT_EQ(GetDIBits(canvas.screen(), canvas.bitmap(), 0, 2, back, asInfo(info), DIB_RGB_COLORS),
              2);
    EXPECT_EQ(std::memcmp(back, rows, sizeof rows), 0) << "pixels and zeroed padding";

    SelectObject(canvas.dc(), canvas.bitmap());
    EXPECT_EQ(GetPixel(canvas.dc(), 0, 1), RGB(3, 2, 1)) << "first DIB row is the bottom row";
    EXPECT_EQ(GetPixel(canvas.dc(), 2, 0), RGB(90, 80, 70));
}

TEST_F(GdiBitmaps, DibSectionBitsAreTheBitmap) {
    DibInfo info = dibInfo(2, 2, 8, {{0, 0, 0, 0}, {10, 20, 30, 0}});
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, asInfo(info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    ASSERT_NE(bits, nullptr);
    static_cast<BYTE*>(bits)[1] = 1; // bottom row, right pixel
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, section);
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(30, 20, 10));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 2, 0), CLR_INVALID);
    SetPixel(dc, 0, 0, RGB(29, 21, 9));
    EXPECT_EQ(static_cast<BYTE*>(bits)[4], 1) << "written as the nearest table entry";
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);

    void* none = reinterpret_cast<void*>(1);
    DibInfo bad = dibInfo(0, 2, 24);
    EXPECT_EQ(CreateDIBSection(nullptr, asInfo(bad), DIB_RGB_COLORS, &none, nullptr, 0), nullptr);
    EXPECT_EQ(none, nullptr);
}

TEST_F(GdiBitmaps, RasterOperationsCombinePatternSourceAndDestination) {
    Canvas source(1, 1);
    Canvas target(1, 1);
    const COLORREF s = RGB(0xF0, 0x0F, 0xAA);
    const COLORREF d = RGB(0xCC, 0x33, 0x55);
    const COLORREF p = RGB(0x81, 0x42, 0x24);
    struct Case {
        DWORD rop;
        COLORREF expected;
    };
    const Case cases[] = {
        {SRCCOPY, s},
        {SRCAND, s & d},
        {SRCPAINT, s | d},
        {SRCINVERT, s ^ d},
        {NOTSRCCOPY, ~s & 0xFFFFFF},
        {DSTINVERT, ~d & 0xFFFFFF},
        {PATCOPY, p},
        {PATINVERT, p ^ d},
        {MERGECOPY, p & s},
        {BLACKNESS, 0},
        {WHITENESS, 0xFFFFFF},
        {SRCERASE, s & (~d & 0xFFFFFF)},
    };
    source.fill(s, {0, 0, 1, 1});
    HBRUSH pattern = CreateSolidBrush(p);
    HGDIOBJ oldBrush = SelectObject(target.dc(), pattern);
    for (const Case& c : cases) {
        SetPixel(target.dc(), 0, 0, d);
        EXPECT_TRUE(BitBlt(target.dc(), 0, 0, 1, 1, source.dc(), 0, 0, c.rop));
        EXPECT_EQ(GetPixel(target.dc(), 0, 0), c.expected) << std::hex << c.rop;
    }
    SetPixel(target.dc(), 0, 0, d);
    EXPECT_TRUE(PatBlt(target.dc(), 0, 0, 1, 1, PATINVERT));
    EXPECT_EQ(GetPixel(target.dc(), 0, 0), p ^ d);
    EXPECT_FALSE(PatBlt(target.dc(), 0, 0, 1, 1, SRCCOPY)) << "PatBlt has no source";
    EXPECT_FALSE(BitBlt(target.dc(), 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    SelectObject(target.dc(), oldBrush);
    DeleteObject(pattern);
}

TEST_F(GdiBitmaps, MonochromeBitmapsConvertThroughTheDCColours) {
    Canvas colour(3, 1);
    colour.fill(RGB(255, 0, 255), {0, 0, 2, 1});
    colour.fill(RGB(10, 20, 30), {2, 0, 3, 1});
    HDC maskDC = CreateCompatibleDC(nullptr);
    HBITMAP mask = CreateBitmap(3, 1, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(maskDC, mask);
    SetBkColor(colour.dc(), RGB(255, 0, 255));
    ASSERT_TRUE(BitBlt(maskDC, 0, 0, 3, 1, colour.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(maskDC, 0, 0), RGB(255, 255, 255)) << "the background colour gives 1";
    EXPECT_EQ(GetPixel(maskDC, 2, 0), RGB(0, 0, 0));

    Canvas shown(3, 1);
    SetTextColor(shown.dc(), RGB(1, 2, 3));
    SetBkColor(shown.dc(), RGB(200, 100, 50));
    ASSERT_TRUE(BitBlt(shown.dc(), 0, 0, 3, 1, maskDC, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(shown.dc(), 0, 0), RGB(200, 100, 50)) << "1 takes the background colour";
    EXPECT_EQ(GetPixel(shown.dc(), 2, 0), RGB(1, 2, 3)) << "0 takes the text colour";
    SelectObject(maskDC, old);
    DeleteObject(mask);
    DeleteDC(maskDC);
}

TEST_F(GdiBitmaps, BlitsStretchMirrorAndClip) {
    Canvas source(2, 2);
    source.fill(RGB(255, 0, 0), {0, 0, 1, 1});
    source.fill(RGB(0, 255, 0), {1, 0, 2, 1});
    source.fill(RGB(0, 0, 255), {0, 1, 1, 2});
    source.fill(RGB(255, 255, 255), {1, 1, 2, 2});
    Canvas target(5, 5);
    ASSERT_TRUE(StretchBlt(target.dc(), 0, 0, 4, 4, source.dc(), 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc(), 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(target.dc(), 2, 1), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(target.dc(), 3, 3), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(target.dc(), 4, 4), RGB(0, 0, 0));

    ASSERT_TRUE(StretchBlt(target.dc(), 2, 0, -2, 1, source.dc(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc(), 0, 0), RGB(0, 255, 0)) << "a negative width mirrors";
    EXPECT_EQ(GetPixel(target.dc(), 1, 0), RGB(255, 0, 0));

    // Within one surface the source is read before anything is written.
    ASSERT_TRUE(BitBlt(target.dc(), 1, 0, 4, 4, target.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc(), 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(target.dc(), 2, 0), RGB(255, 0, 0));

    IntersectClipRect(target.dc(), 0, 0, 1, 5);
    target.fill(RGB(9, 9, 9), {0, 0, 5, 5});
    EXPECT_EQ(GetPixel(target.dc(), 0, 4), RGB(9, 9, 9));
    EXPECT_EQ(GetPixel(target.dc(), 1, 4), CLR_INVALID) << "outside the clip";
}

TEST_F(GdiBitmaps, PaletteDeviceRealizesColoursIntoFreeSlots) {
    winplatUsePaletteDevice(TRUE);
    HDC screen = GetDC(nullptr);
    PALETTEENTRY system[256];
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 256u);
    EXPECT_EQ(system[7].peRed, 192) << "static colours at both ends";
    EXPECT_EQ(system[255].peGreen, 255);

    struct {
        WORD version, count;
        PALETTEENTRY entries[3];
    } lp{0x300, 3, {{255, 255, 255, 0}, {12, 34, 56, 0}, {78, 90, 12, 0}}};
    HPALETTE palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    HPALETTE old = SelectPalette(screen, palette, FALSE);
    EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(RealizePalette(screen), 2u) << "white was there already";
    EXPECT_EQ(RealizePalette(screen), 0u) << "nothing new the second time";
    GetSystemPaletteEntries(screen, 10, 2, system);
    EXPECT_EQ(system[0].peRed, 12);
    EXPECT_EQ(system[1].peGreen, 90);

    SetPixel(screen, 0, 0, PALETTERGB(13, 33, 57));
    EXPECT_EQ(GetPixel(screen, 0, 0), RGB(12, 34, 56)) << "nearest entry of the selected palette";
    SetPixel(screen, 1, 0, PALETTEINDEX(2));
    EXPECT_EQ(GetPixel(screen, 1, 0), RGB(78, 90, 12));
    SetPixel(screen, 2, 0, RGB(250, 250, 250));
    EXPECT_EQ(GetPixel(screen, 2, 0), RGB(255, 255, 255)) << "nearest system colour";
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(70, 95, 10)), 2u);

    SelectPalette(screen, old, FALSE);
    EXPECT_TRUE(DeleteObject(palette));
    winplatUsePaletteDevice(FALSE);
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 0u) << "no palette on true colour";
    SetPixel(screen, 0, 0, PALETTERGB(13, 33, 57));
    EXPECT_EQ(GetPixel(screen, 0, 0), RGB(13, 33, 57)) << "true colour shows the colour itself";
    ReleaseDC(nullptr, screen);
}
