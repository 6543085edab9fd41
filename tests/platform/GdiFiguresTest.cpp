#include "HeapWatch.h"
#include "InkedScreen.h"
#include "win32/win32.h"
#include "winplat/screen.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace testing_support;

namespace {
class GdiFigures : public InkedScreenTest {};
} // namespace

TEST_F(GdiFigures, RoundRectanglesLeaveTheirCornersOut) {
    RoundRect(m_dc, 0, 0, 13, 9, 8, 8);
    const std::string p = picture(m_dc, 14, 10);
    EXPECT_EQ(p.substr(0, 15), "..#########...\n");
    EXPECT_EQ(p.substr(4 * 15, 15), "#ooooooooooo#.\n");
    EXPECT_EQ(p.substr(9 * 15), "..............\n") << "the bottom edge is excluded";
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(GetPixel(m_dc, x, y), GetPixel(m_dc, 12 - x, 8 - y)) << x << "," << y;
}

TEST_F(GdiFigures, ArcsRunCounterclockwiseFromStartToEnd) {
    // From the radial to the right to the one upwards: the upper right quarter of the ellipse.
    // Samples: (9, 3) on the curve, (7, 3) inside the quarter near the chord, (3, 8) on the
    // opposite side of the curve, (10, 5) where it starts.
    struct Case {
        const char* name;
        std::function<void(HDC)> draw;
        const char* expected;
    };
    const Case cases[] = {
        {"arc", [](HDC dc) { Arc(dc, 0, 0, 11, 11, 11, 5, 5, 0); }, "#..#"},
        {"pie", [](HDC dc) { Pie(dc, 0, 0, 11, 11, 11, 5, 5, 0); }, "#o.#"},
        {"chord", [](HDC dc) { Chord(dc, 0, 0, 11, 11, 11, 5, 5, 0); }, "#..#"},
        {"whole ellipse", [](HDC dc) { Arc(dc, 0, 0, 11, 11, 11, 5, 11, 5); }, "#.##"},
        {"the other three quarters, up to the end",
         [](HDC dc) { Arc(dc, 0, 0, 11, 11, 5, 0, 11, 5); }, "..#."},
    };
    for (const Case& c : cases) {
        winplatResetScreen(0);
        c.draw(m_dc);
        std::string got;
        for (POINT p : {POINT{9, 3}, POINT{7, 3}, POINT{2, 9}, POINT{10, 5}})
            got += symbolOf(GetPixel(m_dc, p.x, p.y));
        EXPECT_EQ(got, c.expected) << c.name;
    }
    winplatResetScreen(0);
    Chord(m_dc, 0, 0, 11, 11, 11, 5, 5, 0);
    EXPECT_EQ(GetPixel(m_dc, 7, 1), kFill) << "between the chord and the curve";
}

TEST_F(GdiFigures, FillModesDecideWhatANestedOutlineLeavesOpen) {
    SelectObject(m_dc, GetStockObject(NULL_PEN));
    const POINT sameWay[] = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {2, 2}, {6, 2}, {6, 6}, {2, 6}};
    const POINT otherWay[] = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {2, 2}, {2, 6}, {6, 6}, {6, 2}};
    const INT counts[] = {4, 4};
    struct Case {
        const POINT* points;
        int mode;
        COLORREF middle;
    };
    const Case cases[] = {
        {sameWay, ALTERNATE, 0},
        {sameWay, WINDING, kFill},
        {otherWay, ALTERNATE, 0},
        {otherWay, WINDING, 0},
    };
    for (const Case& c : cases) {
        winplatResetScreen(0);
        EXPECT_NE(SetPolyFillMode(m_dc, c.mode), 0);
        EXPECT_TRUE(PolyPolygon(m_dc, c.points, counts, 2));
        EXPECT_EQ(GetPixel(m_dc, 4, 4), c.middle) << c.mode;
        EXPECT_EQ(GetPixel(m_dc, 1, 1), kFill) << c.mode;
        EXPECT_EQ(GetPixel(m_dc, 8, 8), 0u) << c.mode;
    }
    // The last case left WINDING; a star's centre is covered twice.
    const POINT star[] = {{10, 0}, {16, 18}, {0, 7}, {20, 7}, {4, 18}};
    winplatResetScreen(0);
    Polygon(m_dc, star, 5);
    EXPECT_EQ(GetPixel(m_dc, 10, 10), kFill);
    SetPolyFillMode(m_dc, ALTERNATE);
    winplatResetScreen(0);
    Polygon(m_dc, star, 5);
    EXPECT_EQ(GetPixel(m_dc, 10, 10), 0u);
    EXPECT_EQ(GetPolyFillMode(m_dc), ALTERNATE);
    EXPECT_EQ(SetPolyFillMode(m_dc, 3), 0);
    const INT bad[] = {4, 1};
    EXPECT_FALSE(PolyPolygon(m_dc, sameWay, bad, 2));
}

TEST_F(GdiFigures, HatchedBrushesRepeatEveryEightPixels) {
    struct Case {
        int hatch;
        std::function<bool(int, int)> ink;
    };
    const Case cases[] = {
        {HS_HORIZONTAL, [](int, int y) { return y % 8 == 0; }},
        {HS_VERTICAL, [](int x, int) { return x % 8 == 0; }},
        {HS_FDIAGONAL, [](int x, int y) { return (x - y + 16) % 8 == 0; }},
        {HS_BDIAGONAL, [](int x, int y) { return (x + y) % 8 == 0; }},
        {HS_CROSS, [](int x, int y) { return x % 8 == 0 || y % 8 == 0; }},
        {HS_DIAGCROSS, [](int x, int y) { return (x - y + 16) % 8 == 0 || (x + y) % 8 == 0; }},
    };
    SelectObject(m_dc, GetStockObject(NULL_PEN));
    SetBkColor(m_dc, kPaper);
    for (const Case& c : cases)
        for (int mode : {OPAQUE, TRANSPARENT}) {
            winplatResetScreen(0);
            HBRUSH hatched = CreateHatchBrush(c.hatch, kInk);
            ASSERT_NE(hatched, nullptr);
            SelectObject(m_dc, hatched);
            SetBkMode(m_dc, mode);
            Rectangle(m_dc, 0, 0, 17, 17);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const COLORREF between = mode == OPAQUE ? kPaper : 0;
                    ASSERT_EQ(GetPixel(m_dc, x, y), c.ink(x, y) ? kInk : between)
                        << c.hatch << " " << mode << " at " << x << "," << y;
                }
            SelectObject(m_dc, m_brush);
            LOGBRUSH lb{};
            EXPECT_EQ(GetObjectA(hatched, sizeof lb, &lb), static_cast<int>(sizeof lb));
            EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_HATCHED));
            EXPECT_EQ(lb.lbHatch, static_cast<ULONG_PTR>(c.hatch));
            DeleteObject(hatched);
        }
    EXPECT_EQ(CreateHatchBrush(HS_DIAGCROSS + 1, kInk), nullptr);
}

TEST_F(GdiFigures, SaveDCKeepsObjectsColoursModesOriginsAndClip) {
    HPEN other = CreatePen(PS_SOLID, 1, kFill);
    EXPECT_EQ(SaveDC(m_dc), 1);
    SelectObject(m_dc, other);
    SetBkColor(m_dc, kInk);
    SetBkMode(m_dc, TRANSPARENT);
    SetTextColor(m_dc, kFill);
    SetPolyFillMode(m_dc, WINDING);
    SetWindowOrgEx(m_dc, 5, 5, nullptr);
    IntersectClipRect(m_dc, 5, 5, 6, 6);
    EXPECT_EQ(SaveDC(m_dc), 2);
    EXPECT_FALSE(DeleteObject(other)) << "a saved state still holds it";
    EXPECT_EQ(SaveDC(m_dc), 3);
    EXPECT_TRUE(RestoreDC(m_dc, -2)) << "back to the second level";
    EXPECT_EQ(GetCurrentObject(m_dc, OBJ_PEN), other);
    EXPECT_TRUE(RestoreDC(m_dc, 1));
    EXPECT_EQ(GetCurrentObject(m_dc, OBJ_PEN), m_pen);
    EXPECT_EQ(GetBkColor(m_dc), kPaper);
    EXPECT_EQ(GetBkMode(m_dc), OPAQUE);
    EXPECT_EQ(GetTextColor(m_dc), 0u);
    EXPECT_EQ(GetPolyFillMode(m_dc), ALTERNATE);
    RECT clip{};
    GetClipBox(m_dc, &clip);
    EXPECT_EQ(clip.right, WINPLAT_SCREEN_WIDTH) << "the clip and the origin are back";
    EXPECT_TRUE(DeleteObject(other));
    for (int level : {0, 1, -1, 2})
        EXPECT_FALSE(RestoreDC(m_dc, level)) << level;

    // A DC that goes with states saved lets their objects go too.
    HDC memory = CreateCompatibleDC(nullptr);
    HBRUSH held = CreateSolidBrush(kInk);
    HGDIOBJ before = SelectObject(memory, held);
    SaveDC(memory);
    SelectObject(memory, before);
    DeleteDC(memory);
    EXPECT_TRUE(DeleteObject(held));
}

TEST_F(GdiFigures, FiguresFarLargerThanTheScreenCostOnlyTheScreen) {
    constexpr int kFar = 2000000000;
    HPEN wide = CreatePen(PS_SOLID, 5, kInk);
    const POINT triangle[] = {{-kFar, -kFar}, {kFar, -kFar}, {0, kFar}};
    struct Case {
        const char* name;
        std::function<void(HDC)> draw;
        COLORREF centre;
    };
    const Case cases[] = {
        {"rectangle", [](HDC dc) { Rectangle(dc, -kFar, -kFar, kFar, kFar); }, kFill},
        {"ellipse", [](HDC dc) { Ellipse(dc, -kFar, -kFar, kFar, kFar); }, kFill},
        {"round rectangle", [](HDC dc) { RoundRect(dc, -kFar, -kFar, kFar, kFar, kFar, kFar); },
         kFill},
        {"pie", [](HDC dc) { Pie(dc, -kFar, -kFar, kFar, kFar, kFar, 0, kFar, 1); }, kFill},
        {"polygon", [&](HDC dc) { Polygon(dc, triangle, 3); }, kFill},
        {"line",
         [](HDC dc) {
             MoveToEx(dc, -kFar, -kFar, nullptr);
             LineTo(dc, kFar, kFar);
         },
         kInk},
        {"wide line",
         [&](HDC dc) {
             SelectObject(dc, wide);
             MoveToEx(dc, -kFar, -kFar, nullptr);
             LineTo(dc, kFar, kFar);
         },
         kInk},
    };
    for (const Case& c : cases) {
        winplatResetScreen(0);
        c.draw(m_dc);
        EXPECT_EQ(GetPixel(m_dc, 300, 300), c.centre) << c.name;
    }
    SelectObject(m_dc, m_pen);
    DeleteObject(wide);
}

// A bitmap of millions of rows, one to three pixels wide: every kind of figure that covers half
// of its rows holds nothing of its own for each of them, and lands where it should.
TEST_F(GdiFigures, FiguresOverMillionsOfRowsHoldNothingForEachRow) {
    constexpr int kRows = 4000000;
    constexpr int kTop = kRows / 4, kBottom = kRows / 4 * 3;
    constexpr int kProbe = kRows / 8 * 3, kClear = kRows / 8;
    HPEN wide = CreatePen(PS_SOLID, 5, kInk);
    HBRUSH ink = CreateSolidBrush(kInk);
    HBRUSH hatched = CreateHatchBrush(HS_VERTICAL, kFill);
    LOGFONTA lf{};
    lf.lfHeight = 20;
    lf.lfEscapement = 900; // the line runs up the bitmap
    std::strcpy(lf.lfFaceName, "Arial");
    HFONT turned = CreateFontIndirectA(&lf);
    struct Case {
        const char* name;
        std::function<void(HDC, int)> draw; // with the bitmap's width
        COLORREF probe;                     // in column 0 of row kProbe
    };
    const Case cases[] = {
        {"rectangle", [](HDC dc, int w) { Rectangle(dc, -10, kTop, w + 10, kBottom); }, kFill},
        {"rectangle without a pen",
         [](HDC dc, int w) {
             SelectObject(dc, GetStockObject(NULL_PEN));
             Rectangle(dc, -10, kTop, w + 10, kBottom);
         },
         kFill},
        {"hatched rectangle",
         [&](HDC dc, int w) {
             SelectObject(dc, hatched);
             Rectangle(dc, -10, kTop, w + 10, kBottom);
         },
         kFill},
        {"ellipse", [](HDC dc, int w) { Ellipse(dc, -10, kTop, w + 10, kBottom); }, kFill},
        {"round rectangle",
         [](HDC dc, int w) { RoundRect(dc, -10, kTop, w + 10, kBottom, 40, 40); }, kFill},
        {"pie",
         [](HDC dc, int w) {
             Pie(dc, -10, kTop, w + 10, kBottom, w + 10, kRows / 2, w + 10, kRows / 2 + 1);
         },
         kFill},
        {"chord",
         [](HDC dc, int w) {
             Chord(dc, -10, kTop, w + 10, kBottom, w + 10, kRows / 2, w + 10, kRows / 2 + 1);
         },
         kFill},
        {"polygon",
         [](HDC dc, int w) {
             const POINT p[] = {
                 {-10, kTop}, {w + 10, kTop + 1000}, {w + 10, kBottom}, {-10, kBottom - 1000}};
             Polygon(dc, p, 4);
         },
         kFill},
        {"poly-polygon with a hole",
         [](HDC dc, int w) {
             const POINT p[] = {{-10, kTop},
                                {w + 10, kTop},
                                {w + 10, kBottom},
                                {-10, kBottom},
                                {-5, kRows / 2 - 100},
                                {w + 5, kRows / 2 - 100},
                                {w + 5, kRows / 2 + 100},
                                {-5, kRows / 2 + 100}};
             const INT counts[] = {4, 4};
             PolyPolygon(dc, p, counts, 2);
         },
         kFill},
        {"wide upright line",
         [&](HDC dc, int) {
             SelectObject(dc, wide);
             MoveToEx(dc, 0, kTop, nullptr);
             LineTo(dc, 0, kBottom);
         },
         kInk},
        {"wide slanted line",
         [&](HDC dc, int) {
             SelectObject(dc, wide);
             MoveToEx(dc, -3, kTop, nullptr);
             LineTo(dc, 3, kBottom);
         },
         kInk},
        {"filled rectangle",
         [&](HDC dc, int w) {
             const RECT r{-10, kTop, w + 10, kBottom};
             FillRect(dc, &r, ink);
         },
         kInk},
        {"frame",
         [&](HDC dc, int w) {
             const RECT r{0, kTop, w, kBottom};
             FrameRect(dc, &r, ink);
         },
         kInk},
        {"pattern", [](HDC dc, int w) { PatBlt(dc, 0, kTop, w, kBottom - kTop, PATCOPY); }, kFill},
        {"opaque text box",
         [](HDC dc, int w) {
             SetBkColor(dc, kFill);
             const RECT r{-10, kTop, w + 10, kBottom};
             ExtTextOutA(dc, 0, kTop, ETO_OPAQUE, &r, "", 0, nullptr);
         },
         kFill},
        {"turned text on an opaque ground",
         [&](HDC dc, int) {
             SelectObject(dc, turned);
             SetBkMode(dc, OPAQUE);
             SetBkColor(dc, kFill);
             const INT steps[] = {kRows / 4, kRows / 4};
             ExtTextOutA(dc, 0, kBottom, 0, nullptr, "ab", 2, steps);
         },
         kFill},
    };
    struct Target {
        int width, bits;
    };
    for (const Target& t : {Target{1, 32}, Target{3, 24}}) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER),
                          t.width,
                          -kRows,
                          1,
                          static_cast<WORD>(t.bits),
                          BI_RGB,
                          0,
                          0,
                          0,
                          0,
                          0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        HDC dc = CreateCompatibleDC(m_dc);
        HGDIOBJ old = SelectObject(dc, bitmap);
        SelectObject(dc, m_pen);
        SelectObject(dc, m_brush);
        const RECT all{0, 0, t.width, kRows};
        for (const Case& c : cases) {
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            const int saved = SaveDC(dc);
            const HeapFigures heap = watchHeap([&] { c.draw(dc, t.width); });
            RestoreDC(dc, saved);
            const std::string name = std::string(c.name) + ", " + std::to_string(t.bits) + " bits";
            EXPECT_EQ(GetPixel(dc, 0, kProbe), c.probe) << name;
            EXPECT_EQ(GetPixel(dc, t.width - 1, kClear), kPaper) << name;
            EXPECT_EQ(GetPixel(dc, 0, kRows - 1), kPaper) << name;
            if (heapWatchAvailable()) {
                EXPECT_LT(heap.peakLiveBytes, 1u << 20) << name;
            }
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    SelectObject(m_dc, m_pen);
    SelectObject(m_dc, m_brush);
    for (HGDIOBJ o : std::initializer_list<HGDIOBJ>{wide, ink, hatched, turned})
        DeleteObject(o);
}
