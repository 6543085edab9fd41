// What the stretch mode makes of the pixels that shrinking drops, through every call that
// stretches and through the metafile record that sets the mode.
#include "GdiCheck.h"
#include "MetafileCanvas.h"
#include "MetafileWriter.h"
#include "win32/win32.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace testing_support;

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);

class GdiStretchModes : public GdiLeakCheckedTest {};

// 4 x 1, black, white, black, white, as a packed 24-bit DIB.
Bytes stripes() {
    return packedDib24(4, 1, {kBlack, kWhite, kBlack, kWhite});
}

struct ModeCase {
    int mode;
    COLORREF shown; // both pixels of the 2 x 1 result
};

const ModeCase kModes[] = {
    {BLACKONWHITE, kBlack},
    {WHITEONBLACK, kWhite},
    {COLORONCOLOR, kWhite},
    {HALFTONE, kGrey},
};

TEST_F(GdiStretchModes, ShrinkingCombinesTheDroppedPixelsByTheMode) {
    const Bytes dib = stripes();
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    const BYTE* bits = dib.data() + 40;
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetStretchBltMode(screen), BLACKONWHITE) << "the default";
    // The stripes also as a bitmap in a memory DC, for StretchBlt.
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 1);
    HGDIOBJ held = SelectObject(memory, bitmap);
    StretchDIBits(memory, 0, 0, 4, 1, 0, 0, 4, 1, bits, info, DIB_RGB_COLORS, SRCCOPY);
    for (const ModeCase& c : kModes) {
        SCOPED_TRACE(c.mode);
        SetStretchBltMode(screen, c.mode);
        ASSERT_EQ(
            StretchDIBits(screen, 0, 0, 2, 1, 0, 0, 4, 1, bits, info, DIB_RGB_COLORS, SRCCOPY), 1);
        ASSERT_TRUE(StretchBlt(screen, 0, 1, 2, 1, memory, 0, 0, 4, 1, SRCCOPY));
        ASSERT_TRUE(StretchBlt(screen, 2, 2, -2, 1, memory, 0, 0, 4, 1, SRCCOPY)) << "mirrored";
        // Dropping keeps the mirrored pixels, the black ones.
        const COLORREF mirrored = c.mode == COLORONCOLOR ? kBlack : c.shown;
        for (int row = 0; row < 3; ++row)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(GetPixel(screen, x, row), row == 2 ? mirrored : c.shown)
                    << x << ", " << row;
        // Stretching up or copying at the same size drops nothing in any mode.
        ASSERT_EQ(
            StretchDIBits(screen, 0, 3, 8, 1, 0, 0, 4, 1, bits, info, DIB_RGB_COLORS, SRCCOPY), 1);
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(GetPixel(screen, x, 3), (x / 2) % 2 == 0 ? kBlack : kWhite) << x;
    }
    SetStretchBltMode(screen, BLACKONWHITE);
    SelectObject(memory, held);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiStretchModes, AveragesCoverEveryDroppedRowAndColumn) {
    // 3 x 3 with one white pixel in the middle, shrunk to 1 x 1.
    const Bytes dib =
        packedDib24(3, 3, {kBlack, kBlack, kBlack, kBlack, kWhite, kBlack, kBlack, kBlack, kBlack});
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    HDC screen = GetDC(nullptr);
    struct Case {
        int mode;
        COLORREF shown;
    };
    for (const Case& c : {Case{BLACKONWHITE, kBlack}, Case{WHITEONBLACK, kWhite},
                          Case{COLORONCOLOR, kWhite}, Case{HALFTONE, RGB(28, 28, 28)}}) {
        SetStretchBltMode(screen, c.mode);
        StretchDIBits(screen, 0, 0, 1, 1, 0, 0, 3, 3, dib.data() + 40, info, DIB_RGB_COLORS,
                      SRCCOPY);
        EXPECT_EQ(GetPixel(screen, 0, 0), c.shown) << c.mode;
    }
    ReleaseDC(nullptr, screen);
}

// A 32-bit bit-field DIB a million pixels wide and one high, drawn into 16 x 16: every target
// row stands for the one source row, and shrinking combines 65536 pixels into each column.
TEST_F(GdiStretchModes, AWideBitFieldRowShrinksAlikeIntoEveryTargetRow) {
    constexpr int kWidth = 16 * 65536;
    constexpr COLORREF kTeal = RGB(10, 200, 30);
    std::vector<BYTE> dib(sizeof(BITMAPINFOHEADER) + 12 + 4 * static_cast<std::size_t>(kWidth));
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kWidth;
    header.biHeight = 1;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_BITFIELDS;
    std::memcpy(dib.data(), &header, sizeof header);
    const DWORD masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    std::memcpy(dib.data() + sizeof header, masks, sizeof masks);
    BYTE* bits = dib.data() + sizeof header + sizeof masks;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    const auto fill = [&](bool stripes) {
        for (int x = 0; x < kWidth; ++x) {
            const COLORREF c = stripes ? (x % 2 == 0 ? kBlack : kWhite) : kTeal;
            const DWORD v = (static_cast<DWORD>(GetRValue(c)) << 16) |
                            (static_cast<DWORD>(GetGValue(c)) << 8) | GetBValue(c);
            std::memcpy(bits + 4 * static_cast<std::size_t>(x), &v, 4);
        }
    };
    struct Case {
        bool stripes; // black and white in turn, else all teal
        int mode;
        COLORREF shown;
    };
    const Case cases[] = {
        {true, BLACKONWHITE, kBlack}, {true, WHITEONBLACK, kWhite}, {true, HALFTONE, kGrey},
        {true, COLORONCOLOR, kBlack}, {false, BLACKONWHITE, kTeal}, {false, WHITEONBLACK, kTeal},
        {false, HALFTONE, kTeal},     {false, COLORONCOLOR, kTeal},
    };
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stripes " << c.stripes << ", mode " << c.mode);
        fill(c.stripes);
        SetStretchBltMode(screen, c.mode);
        ASSERT_EQ(StretchDIBits(screen, 0, 0, 16, 16, 0, 0, kWidth, 1, bits, info, DIB_RGB_COLORS,
                                SRCCOPY),
                  1);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(GetPixel(screen, x, y), c.shown) << x << ", " << y;
    }
    SetStretchBltMode(screen, BLACKONWHITE);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiStretchModes, MetafilesSetTheModeOfTheirBitmaps) {
    const Bytes dib = stripes();
    constexpr std::uint32_t kEmfSetStretchBltMode = 21;
    constexpr std::uint16_t kWmfSetStretchBltMode = 0x0107;
    for (const ModeCase& c : kModes) {
        SCOPED_TRACE(c.mode);
        EmfWriter e;
        e.record(kEmfSetStretchBltMode, {c.mode}).stretchDIBits(10, 10, 2, 1, dib, 0, 4, 1);
        metafile_test::Canvas enhanced(100, 50);
        ASSERT_TRUE(enhanced.playEnhanced(e.bytes()));
        EXPECT_EQ(enhanced.at(10, 10), c.shown);
        EXPECT_EQ(enhanced.at(11, 10), c.shown);

        WmfWriter w;
        Bytes params;
        for (int word : {0x20, 0xCC, 0, 1, 4, 0, 0, 1, 2, 10, 10}) {
            params.push_back(static_cast<BYTE>(word));
            params.push_back(static_cast<BYTE>(word >> 8));
        }
        params.insert(params.end(), dib.begin(), dib.end());
        w.window(0, 0, 100, 50).record(kWmfSetStretchBltMode, {c.mode}).raw(kWmfStretchDib, params);
        metafile_test::Canvas old(100, 50);
        ASSERT_TRUE(old.playOldStyle(w.bytes()));
        EXPECT_EQ(old.at(10, 10), c.shown);
        EXPECT_EQ(old.at(11, 10), c.shown);
    }
}

} // namespace
