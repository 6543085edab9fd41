// The palette device: how realized palettes fill the system palette, and which colours the
// pixels of each kind of colour end up with.
#include "GdiCheck.h"
#include "PaletteColours.h"
#include "win32/win32.h"
#include "winplat/screen.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::GdiLeakCheckedTest;
using testing_support::nearestColour;
using testing_support::newColour;
using testing_support::reservedColours;

namespace {

class GdiPalettes : public GdiLeakCheckedTest {
protected:
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        winplatUsePaletteDevice(TRUE);
        m_screen = GetDC(nullptr);
    }
    void TearDown() override {
        ReleaseDC(nullptr, m_screen);
        GdiLeakCheckedTest::TearDown();
    }
    HDC m_screen = nullptr;
};

HPALETTE makePalette(const std::vector<COLORREF>& colours) {
    std::vector<BYTE> block(sizeof(LOGPALETTE) + colours.size() * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i)
        lp->palPalEntry[i] = {GetRValue(colours[i]), GetGValue(colours[i]), GetBValue(colours[i]),
                              0};
    return CreatePalette(lp);
}

// An 8-bit DIB of one row whose pixel i is entry i of its table.
struct IndexedRow {
    BITMAPINFOHEADER header;
    RGBQUAD table[256];
    std::vector<BYTE> bits;
};

IndexedRow indexedRow(const std::vector<COLORREF>& colours) {
    IndexedRow d{};
    const auto n = static_cast<int>(colours.size());
    d.header = {40, n, 1, 1, 8, BI_RGB, 0, 0, 0, static_cast<DWORD>(n), 0};
    for (int i = 0; i < n; ++i)
        d.table[i] = {GetBValue(colours[i]), GetGValue(colours[i]), GetRValue(colours[i]), 0};
    d.bits.resize((static_cast<std::size_t>(n) + 3) / 4 * 4);
    for (int i = 0; i < n; ++i)
        d.bits[i] = static_cast<BYTE>(i);
    return d;
}

TEST_F(GdiPalettes, RealizedColoursStayOnceTheFreeSlotsAreTaken) {
    struct Case {
        int size;
        bool givenPalette;
        int draws;
    };
    const Case cases[] = {
        {236, true, 1}, {237, true, 1},  {256, true, 1},  {256, true, 2},
        {100, true, 2}, {236, false, 1}, {256, false, 2},
    };
    const std::vector<COLORREF> reserved = reservedColours();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.givenPalette ? " given, " : " default, ") +
                     std::to_string(c.draws) + " draws");
        winplatUsePaletteDevice(TRUE);
        std::vector<COLORREF> colours;
        for (int i = 0; i < c.size; ++i)
            colours.push_back(newColour(i));
        // What Windows shows: the first 236 new colours take the free slots, the rest the
        // nearest colour already in the system palette; without a palette the reserved ones.
        std::vector<COLORREF> expected = testing_support::realizedColours(colours);
        if (!c.givenPalette)
            for (int i = 0; i < c.size; ++i)
                expected[i] = nearestColour(reserved, colours[i]);
        HPALETTE palette = c.givenPalette ? makePalette(colours) : nullptr;
        const IndexedRow dib = indexedRow(colours);
        for (int draw = 0; draw < c.draws; ++draw) {
            HPALETTE old = SelectPalette(
                m_screen,
                palette != nullptr ? palette
                                   : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)),
                FALSE);
            const UINT taken = RealizePalette(m_screen);
            EXPECT_EQ(taken, draw == 0 && c.givenPalette
                                 ? static_cast<UINT>(c.size < 236 ? c.size : 236)
                                 : 0u)
                << "a palette realized again changes nothing";
            ASSERT_EQ(StretchDIBits(m_screen, 0, draw, c.size, 1, 0, 0, c.size, 1, dib.bits.data(),
                                    reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS,
                                    SRCCOPY),
                      1);
            SelectPalette(m_screen, old, FALSE);
        }
        for (int row = 0; row < c.draws; ++row)
            for (int i = 0; i < c.size; ++i)
                ASSERT_EQ(GetPixel(m_screen, i, row), expected[i])
                    << "pixel " << i << " of row " << row << " (pixels drawn keep their colours)";
        if (palette != nullptr) DeleteObject(palette);
    }
}

TEST_F(GdiPalettes, ExplicitColoursAreReservedOnesWhateverOtherDcsRealized) {
    const COLORREF odd = RGB(12, 34, 56);
    const COLORREF other = RGB(78, 90, 12);
    HPALETTE palette = makePalette({RGB(255, 255, 255), odd, other});
    // Another DC brings the colours into the system palette first.
    HDC elsewhere = GetDC(nullptr);
    HPALETTE elsewhereOld = SelectPalette(elsewhere, palette, FALSE);
    EXPECT_EQ(RealizePalette(elsewhere), 2u);
    const std::vector<COLORREF> reserved = reservedColours();
    struct Case {
        const char* what;
        bool ownPalette; // else DEFAULT_PALETTE
        COLORREF colour;
        COLORREF shown;
    };
    const Case cases[] = {
        {"RGB under the default palette", false, odd, nearestColour(reserved, odd)},
        {"RGB under a realized palette", true, odd, nearestColour(reserved, odd)},
        {"near white", false, RGB(250, 250, 250), RGB(255, 255, 255)},
        {"palette RGB", true, PALETTERGB(13, 33, 57), odd},
        {"palette index", true, PALETTEINDEX(2), other},
        {"palette RGB under the default palette", false, PALETTERGB(13, 33, 57),
         nearestColour(reserved, RGB(13, 33, 57))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HPALETTE old = SelectPalette(
            m_screen,
            c.ownPalette ? palette : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
        RealizePalette(m_screen);
        EXPECT_EQ(SetPixel(m_screen, 0, 0, c.colour), c.shown);
        EXPECT_EQ(GetPixel(m_screen, 0, 0), c.shown) << "pixel";
        HBRUSH brush = CreateSolidBrush(c.colour);
        const RECT r{1, 0, 3, 2};
        FillRect(m_screen, &r, brush);
        DeleteObject(brush);
        EXPECT_EQ(GetPixel(m_screen, 2, 1), c.shown) << "brush";
        SelectPalette(m_screen, old, FALSE);
    }
    SelectPalette(elsewhere, elsewhereOld, FALSE);
    ReleaseDC(nullptr, elsewhere);
    DeleteObject(palette);
}

TEST_F(GdiPalettes, DibColoursGoThroughTheDcsPalette) {
    const COLORREF odd = RGB(12, 34, 56);
    HPALETTE palette = makePalette({odd});
    HDC elsewhere = GetDC(nullptr);
    HPALETTE elsewhereOld = SelectPalette(elsewhere, palette, FALSE);
    RealizePalette(elsewhere);
    const IndexedRow dib = indexedRow({RGB(13, 33, 57)});
    struct Case {
        bool ownPalette;
        COLORREF shown;
    };
    for (const Case& c : {Case{false, nearestColour(reservedColours(), odd)}, Case{true, odd}}) {
        SCOPED_TRACE(c.ownPalette ? "own palette" : "default palette");
        HPALETTE old = SelectPalette(
            m_screen,
            c.ownPalette ? palette : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
        RealizePalette(m_screen);
        // Through a device bitmap as well as straight onto the screen.
        HBITMAP bitmap = CreateDIBitmap(m_screen, &dib.header, CBM_INIT, dib.bits.data(),
                                        reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS);
        HDC memory = CreateCompatibleDC(m_screen);
        HGDIOBJ held = SelectObject(memory, bitmap);
        BitBlt(m_screen, 0, 0, 1, 1, memory, 0, 0, SRCCOPY);
        StretchDIBits(m_screen, 1, 0, 1, 1, 0, 0, 1, 1, dib.bits.data(),
                      reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS, SRCCOPY);
        EXPECT_EQ(GetPixel(m_screen, 0, 0), c.shown) << "device bitmap";
        EXPECT_EQ(GetPixel(m_screen, 1, 0), c.shown) << "DIB";
        SelectObject(memory, held);
        DeleteDC(memory);
        DeleteObject(bitmap);
        SelectPalette(m_screen, old, FALSE);
    }
    SelectPalette(elsewhere, elsewhereOld, FALSE);
    ReleaseDC(nullptr, elsewhere);
    DeleteObject(palette);
}

} // namespace
