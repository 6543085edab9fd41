// What the stretch mode makes of the pixels that shrinking drops, through every call that
// stretches and through the metafile record that sets the mode.
#include "GdiCheck.h"
#include "MetafileCanvas.h"
#include "MetafileWriter.h"
#include "win32/win32.h"
#include "winplat/screen.h"

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

// A bottom-up 24-bit DIB whose pixel (x, y), counted from the top row, is colourAt(x, y).
template <class ColourAt> Bytes packedDib24Of(int width, int height, ColourAt colourAt) {
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    Bytes dib(sizeof(BITMAPINFOHEADER) + row * height);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::memcpy(dib.data(), &header, sizeof header);
    for (int y = 0; y < height; ++y) {
        BYTE* at = dib.data() + sizeof header + row * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x, at += 3) {
            const COLORREF c = colourAt(x, y);
            at[0] = GetBValue(c);
            at[1] = GetGValue(c);
            at[2] = GetRValue(c);
        }
    }
    return dib;
}

// What a target pixel shows, written from the rule: the pixels it stands for are ANDed, ORed or
// averaged (each channel rounded to nearest); COLORONCOLOR keeps the one under its centre.
COLORREF combinedByRule(int mode, const std::vector<COLORREF>& pixels) {
    if (pixels.empty()) return CLR_INVALID;
    COLORREF all = 0x00FFFFFF, any = 0;
    unsigned long long sum[3] = {0, 0, 0};
    for (COLORREF c : pixels) {
        all &= c;
        any |= c;
        sum[0] += GetRValue(c);
        sum[1] += GetGValue(c);
        sum[2] += GetBValue(c);
    }
    const auto mean = [&](int k) {
        return static_cast<BYTE>((sum[k] + pixels.size() / 2) / pixels.size());
    };
    switch (mode) {
    case WHITEONBLACK:
        return any;
    case HALFTONE:
        return RGB(mean(0), mean(1), mean(2));
    default:
        return all;
    }
}

// The source offsets that target offset i of n stands for along a span: its share when
// shrinking, else the one under its centre; counted from the far end when mirrored.
std::vector<int> shareOf(int i, int n, int span, bool combine, bool mirror) {
    std::vector<int> out;
    if (!combine || span <= n) {
        out.push_back(static_cast<int>((2LL * i + 1) * span / (2LL * n)));
    } else {
        for (long long k = 1LL * i * span / n; k < (1LL * i + 1) * span / n; ++k)
            out.push_back(static_cast<int>(k));
    }
    if (mirror)
        for (int& k : out)
            k = span - 1 - k;
    return out;
}

// Three columns of an odd number of rows, shrunk to 16 rows and stretched to 16 columns: each
// target pixel combines two thousand rows of one column, the same for every target column
// that shows that column.
TEST_F(GdiStretchModes, ATallColumnShrinksIntoEveryTargetColumnAsTheRuleSays) {
    constexpr int kColumns = 3;
    constexpr int kRows = 16 * 2000 + 11;
    constexpr int kSide = 16;
    constexpr COLORREF kBackground = RGB(1, 2, 3);
    // Bands a little over a target row's share tall, so that shares straddle them; the low bits
    // vary row by row and set AND, OR and the mean apart.
    const auto colourAt = [](int x, int y) {
        const int band = y / 2003;
        return RGB(0x80 | ((band * 37 + x * 11) & 0x7F), (y * 13 + x * 50) & 0xFF,
                   0x0F | (((band + x) << 4) & 0xF0));
    };
    const Bytes dib = packedDib24Of(kColumns, kRows, colourAt);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    const BYTE* bits = dib.data() + sizeof(BITMAPINFOHEADER);
    HDC screen = GetDC(nullptr);
    // The same pixels as a DIB section in a memory DC, for StretchBlt.
    HDC memory = CreateCompatibleDC(screen);
    void* sectionBits = nullptr;
    HBITMAP section = CreateDIBSection(memory, info, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    std::memcpy(sectionBits, bits, dib.size() - sizeof(BITMAPINFOHEADER));
    HGDIOBJ held = SelectObject(memory, section);
    struct Case {
        int mode;
        bool blt;     // StretchBlt from the memory DC, else StretchDIBits
        bool mirror;  // the rows upside down
        bool clipped; // only part of the target drawable
    };
    std::vector<Case> cases;
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE})
        for (const Case c : {Case{mode, false, false, false}, Case{mode, true, false, false},
                             Case{mode, false, true, false}, Case{mode, true, true, true}})
            cases.push_back(c);
    const RECT clip{3, 5, 14, 12};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", StretchBlt " << c.blt
                                        << ", mirrored " << c.mirror << ", clipped " << c.clipped);
        winplatResetScreen(kBackground);
        SaveDC(screen);
        if (c.clipped) IntersectClipRect(screen, clip.left, clip.top, clip.right, clip.bottom);
        SetStretchBltMode(screen, c.mode);
        if (c.blt) {
            // Mirrored by a source rectangle measured upwards from its bottom edge.
            ASSERT_TRUE(StretchBlt(screen, 0, 0, kSide, kSide, memory, 0, c.mirror ? kRows : 0,
                                   kColumns, c.mirror ? -kRows : kRows, SRCCOPY));
        } else {
            // Mirrored by a target rectangle measured upwards from its bottom edge.
            ASSERT_EQ(StretchDIBits(screen, 0, c.mirror ? kSide : 0, kSide,
                                    c.mirror ? -kSide : kSide, 0, 0, kColumns, kRows, bits, info,
                                    DIB_RGB_COLORS, SRCCOPY),
                      kRows);
        }
        RestoreDC(screen, -1);
        const bool combine = c.mode != COLORONCOLOR;
        for (int ty = 0; ty < kSide; ++ty) {
            const std::vector<int> rows = shareOf(ty, kSide, kRows, combine, c.mirror);
            for (int tx = 0; tx < kSide; ++tx) {
                const int x = shareOf(tx, kSide, kColumns, combine, false).front();
                std::vector<COLORREF> pixels;
                for (int y : rows)
                    pixels.push_back(colourAt(x, y));
                const bool inside = !c.clipped || (tx >= clip.left && tx < clip.right &&
                                                   ty >= clip.top && ty < clip.bottom);
                ASSERT_EQ(GetPixel(screen, tx, ty),
                          inside ? combinedByRule(c.mode, pixels) : kBackground)
                    << tx << ", " << ty;
            }
        }
    }
    SelectObject(memory, held);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// One column of a million rows drawn into one target row half a million pixels wide: every
// target pixel stands for the whole column, which is combined once, not once per target pixel.
TEST_F(GdiStretchModes, AColumnOfAMillionRowsIsCombinedOnceForHalfAMillionTargetPixels) {
    constexpr int kRows = 1 << 20;
    constexpr int kWidth = 1 << 19;
    const auto colourAt = [](int, int y) {
        return RGB(0x40 | (y & 0x0F), (y >> 8) & 0xFF, y % 3 == 0 ? 0xF0 : 0x0F);
    };
    const Bytes dib = packedDib24Of(1, kRows, colourAt);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    std::vector<COLORREF> column;
    for (int y = 0; y < kRows; ++y)
        column.push_back(colourAt(0, y));
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, 1);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ held = SelectObject(memory, bitmap);
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
        SCOPED_TRACE(mode);
        SetStretchBltMode(memory, mode);
        ASSERT_EQ(StretchDIBits(memory, 0, 0, kWidth, 1, 0, 0, 1, kRows,
                                dib.data() + sizeof(BITMAPINFOHEADER), info, DIB_RGB_COLORS,
                                SRCCOPY),
                  kRows);
        const COLORREF expected =
            mode == COLORONCOLOR ? column[kRows / 2] : combinedByRule(mode, column);
        for (int x : {0, 1, kWidth / 2, kWidth - 1})
            EXPECT_EQ(GetPixel(memory, x, 0), expected) << x;
    }
    SelectObject(memory, held);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// A bottom-up packed DIB of 1, 4, 8 or 24 bits, its bytes zero until the test marks them, and
// its pixels read back by hand.
class HandDib {
public:
    HandDib(int width, int height, int bits)
        : m_width(width), m_height(height), m_bits(bits), m_entries(bits <= 8 ? 1 << bits : 0),
          m_stride((static_cast<std::size_t>(width) * bits + 31) / 32 * 4),
          m_dib(sizeof(BITMAPINFOHEADER) + 4 * static_cast<std::size_t>(m_entries) +
                m_stride * height) {
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = static_cast<WORD>(bits);
        std::memcpy(m_dib.data(), &header, sizeof header);
        for (int k = 0; k < m_entries; ++k)
            table()[k] = RGBQUAD{static_cast<BYTE>(k * 29 + 3), static_cast<BYTE>(k * 13 + 90),
                                 static_cast<BYTE>(k * 7 + 200), 0};
    }
    const BITMAPINFO* info() const { return reinterpret_cast<const BITMAPINFO*>(m_dib.data()); }
    BYTE* bits() { return m_dib.data() + sizeof(BITMAPINFOHEADER) + 4 * m_entries; }
    std::size_t stride() const { return m_stride; }
    // Row y counted from the top.
    BYTE* row(int y) { return bits() + m_stride * static_cast<std::size_t>(m_height - 1 - y); }
    COLORREF at(int x, int y) const {
        const BYTE* r = const_cast<HandDib*>(this)->row(y);
        if (m_bits == 24) return RGB(r[3 * x + 2], r[3 * x + 1], r[3 * x]);
        const int perByte = 8 / m_bits;
        const int shift = 8 - m_bits * (x % perByte + 1);
        const RGBQUAD q = table()[(r[x / perByte] >> shift) & ((1 << m_bits) - 1)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    // The pixels that target pixel (tx, ty) of a tw x th shrink of the whole DIB stands for.
    std::vector<COLORREF> share(int tx, int ty, int tw, int th, bool mirrorX) const {
        std::vector<COLORREF> pixels;
        for (int y : shareOf(ty, th, m_height, true, false))
            for (int x : shareOf(tx, tw, m_width, true, mirrorX))
                pixels.push_back(at(x, y));
        return pixels;
    }

private:
    RGBQUAD* table() const {
        return reinterpret_cast<RGBQUAD*>(const_cast<BYTE*>(m_dib.data()) +
                                          sizeof(BITMAPINFOHEADER));
    }

    int m_width, m_height, m_bits, m_entries;
    std::size_t m_stride;
    Bytes m_dib;
};

// Mostly one value with a few marks, as the zero-filled rest of a short file leaves a DIB: long
// runs of one value and rows that repeat the row above are taken whole, the rest a pixel at a
// time, alike at every depth, wherever a share begins within a byte, whether the columns are
// shrunk or stretched, and across targets of thousands of columns.
TEST_F(GdiStretchModes, AFlatDibWithAFewMarksShrinksAsTheRuleSays) {
    struct Case {
        int bits, width, height;
        int targetWidth, targetHeight;
        bool mirrored; // the target measured back from its right edge
    };
    const Case cases[] = {
        // Shares of about 17 columns begin part way into bytes of 1 and 4 bits; shares of three
        // or four weigh every pixel of a run in the mean.
        {1, 256, 256, 15, 13, false},
        {4, 256, 256, 15, 13, false},
        {8, 256, 256, 15, 13, false},
        {24, 256, 256, 15, 13, false},
        {1, 256, 256, 75, 13, false},
        {4, 256, 256, 75, 13, false},
        {8, 256, 256, 75, 13, true},
        {24, 256, 256, 75, 13, false},
        // Tall and narrow, stretched across: each target column shows one source column.
        {1, 127, 1024, 400, 16, false},
        {4, 127, 1024, 400, 16, true},
        {24, 127, 1024, 400, 16, false},
        // More source columns than a target row handles at once, shrunk and stretched across.
        {24, 12000, 16, 5000, 4, false},
        {24, 12000, 16, 5000, 4, true},
        {8, 6000, 16, 12000, 4, true},
    };
    for (const Case& c : cases) {
        HandDib dib(c.width, c.height, c.bits);
        // A block of one repeated byte, a row of stripes, and every 97th byte something else.
        for (int y = c.height * 3 / 10; y < c.height / 2; ++y)
            std::memset(dib.row(y) + dib.stride() / 5, c.bits == 1 ? 0xFF : 0x33, dib.stride() / 3);
        for (std::size_t k = 0; k < dib.stride(); ++k)
            dib.row(c.height * 7 / 10)[k] = static_cast<BYTE>(k % 3 == 0 ? 0xF0 : 0x0F);
        for (std::size_t k = 0; k < dib.stride() * c.height; k += 97)
            dib.bits()[k] = static_cast<BYTE>(k * 37);
        // One bitmap a mode, so that each target pixel's share is gathered once for all three.
        const int modes[] = {BLACKONWHITE, WHITEONBLACK, HALFTONE};
        HDC screen = GetDC(nullptr);
        HDC memory[3];
        HBITMAP bitmap[3];
        HGDIOBJ held[3];
        for (int m = 0; m < 3; ++m) {
            memory[m] = CreateCompatibleDC(screen);
            bitmap[m] = CreateCompatibleBitmap(screen, c.targetWidth, c.targetHeight);
            held[m] = SelectObject(memory[m], bitmap[m]);
            SetStretchBltMode(memory[m], modes[m]);
            EXPECT_EQ(StretchDIBits(memory[m], c.mirrored ? c.targetWidth : 0, 0,
                                    c.mirrored ? -c.targetWidth : c.targetWidth, c.targetHeight, 0,
                                    0, c.width, c.height, dib.bits(), dib.info(), DIB_RGB_COLORS,
                                    SRCCOPY),
                      c.height);
        }
        SCOPED_TRACE(testing::Message()
                     << c.bits << " bits, " << c.width << " x " << c.height << " into "
                     << c.targetWidth << " x " << c.targetHeight << ", mirrored " << c.mirrored);
        for (int ty = 0; ty < c.targetHeight; ++ty)
            for (int tx = 0; tx < c.targetWidth; ++tx) {
                const std::vector<COLORREF> share =
                    dib.share(tx, ty, c.targetWidth, c.targetHeight, c.mirrored);
                for (int m = 0; m < 3; ++m)
                    ASSERT_EQ(GetPixel(memory[m], tx, ty), combinedByRule(modes[m], share))
                        << "mode " << modes[m] << " at " << tx << ", " << ty;
            }
        for (int m = 0; m < 3; ++m) {
            SelectObject(memory[m], held[m]);
            DeleteObject(bitmap[m]);
            DeleteDC(memory[m]);
        }
        ReleaseDC(nullptr, screen);
    }
}

// A 2 x 2 bitmap read through a source rectangle 2^30 pixels on a side: every target pixel
// stands for 2^52 source positions, yet only the four real pixels are there to combine, and
// they all fall on one target pixel.
TEST_F(GdiStretchModes, ASourceRectangleFarPastTheBitmapCombinesOnlyItsPixels) {
    constexpr int kSpan = 1 << 30;
    constexpr COLORREF kBackground = RGB(1, 2, 3);
    const std::vector<COLORREF> four = {RGB(200, 40, 90), RGB(120, 250, 10), RGB(60, 60, 255),
                                        RGB(255, 0, 30)};
    const Bytes dib = packedDib24Of(2, 2, [&](int x, int y) { return four[y * 2 + x]; });
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    const BYTE* bits = dib.data() + sizeof(BITMAPINFOHEADER);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2, 2);
    HGDIOBJ held = SelectObject(memory, bitmap);
    StretchDIBits(memory, 0, 0, 2, 2, 0, 0, 2, 2, bits, info, DIB_RGB_COLORS, SRCCOPY);
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE})
        for (bool blt : {false, true}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", StretchBlt " << blt);
            winplatResetScreen(kBackground);
            SetStretchBltMode(screen, mode);
            if (blt) {
                ASSERT_TRUE(StretchBlt(screen, 0, 0, 16, 16, memory, 0, 0, kSpan, kSpan, SRCCOPY));
            } else {
                StretchDIBits(screen, 0, 0, 16, 16, 0, 0, kSpan, kSpan, bits, info, DIB_RGB_COLORS,
                              SRCCOPY);
            }
            // The DIB's rectangle is measured from its bottom row, the bitmap's from its top.
            const POINT shown{0, blt ? 0 : 15};
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    // Keeping one pixel of each share keeps none of the real ones.
                    const bool drawn = mode != COLORONCOLOR && x == shown.x && y == shown.y;
                    ASSERT_EQ(GetPixel(screen, x, y),
                              drawn ? combinedByRule(mode, four) : kBackground)
                        << x << ", " << y;
                }
        }
    SelectObject(memory, held);
    DeleteObject(bitmap);
    DeleteDC(memory);
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
