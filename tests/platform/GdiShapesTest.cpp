#include "InkedScreen.h"
#include "win32/win32.h"
#include "winplat/screen.h"

#include <gtest/gtest.h>
#include <string>

using namespace testing_support;

namespace {
class GdiShapes : public InkedScreenTest {};
} // namespace

TEST_F(GdiShapes, RectangleOutlinesWithThePenAndFillsWithTheBrush) {
    Rectangle(m_dc, 1, 1, 5, 4);
    EXPECT_EQ(picture(m_dc, 6, 5), "......\n"
                                   ".####.\n"
                                   ".#oo#.\n"
                                   ".####.\n"
                                   "......\n");
}

TEST_F(GdiShapes, WithoutAPenTheFillIsOnePixelSmaller) {
    SelectObject(m_dc, GetStockObject(NULL_PEN));
    Rectangle(m_dc, 1, 1, 5, 4);
    EXPECT_EQ(picture(m_dc, 6, 5), "......\n"
                                   ".ooo..\n"
                                   ".ooo..\n"
                                   "......\n"
                                   "......\n");
}

TEST_F(GdiShapes, NullBrushAndWidePens) {
    SelectObject(m_dc, GetStockObject(NULL_BRUSH));
    HPEN wide = CreatePen(PS_SOLID, 2, kInk);
    SelectObject(m_dc, wide);
    Rectangle(m_dc, 0, 0, 6, 6);
    EXPECT_EQ(picture(m_dc, 7, 6), "######.\n"
                                   "######.\n"
                                   "##..##.\n"
                                   "##..##.\n"
                                   "######.\n"
                                   "######.\n");
    SelectObject(m_dc, m_pen);
    DeleteObject(wide);
}

TEST_F(GdiShapes, FillRectAndFrameRectKeepToTheRectangle) {
    const RECT r{1, 1, 4, 3};
    EXPECT_EQ(FillRect(m_dc, &r, m_brush), 1);
    const RECT frame{0, 0, 5, 4};
    HBRUSH ink = CreateSolidBrush(kInk);
    EXPECT_EQ(FrameRect(m_dc, &frame, ink), 1);
    DeleteObject(ink);
    EXPECT_EQ(picture(m_dc, 6, 5), "#####.\n"
                                   "#ooo#.\n"
                                   "#ooo#.\n"
                                   "#####.\n"
                                   "......\n");
    const RECT inverted{4, 4, 1, 1};
    EXPECT_EQ(FillRect(m_dc, &inverted, m_brush), 1);
    EXPECT_EQ(GetPixel(m_dc, 2, 4), 0u) << "an inverted rectangle is empty";
    EXPECT_EQ(FillRect(m_dc, &r, nullptr), 0);
}

TEST_F(GdiShapes, LinesLeaveOutTheirLastPoint) {
    MoveToEx(m_dc, 0, 0, nullptr);
    LineTo(m_dc, 4, 0);
    LineTo(m_dc, 4, 3);
    POINT current{};
    MoveToEx(m_dc, 0, 2, &current);
    EXPECT_EQ(current.x, 4);
    EXPECT_EQ(current.y, 3);
    const POINT diagonal[] = {{0, 2}, {2, 4}};
    Polyline(m_dc, diagonal, 2);
    EXPECT_EQ(picture(m_dc, 6, 5), "#####.\n"
                                   "....#.\n"
                                   "#...#.\n"
                                   ".#....\n"
                                   "......\n");
    EXPECT_FALSE(Polyline(m_dc, diagonal, 1));
}

TEST_F(GdiShapes, PolygonsFillTheirInsideAndOutlineEveryEdge) {
    SelectObject(m_dc, GetStockObject(NULL_PEN));
    const POINT square[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
    Polygon(m_dc, square, 4);
    EXPECT_EQ(picture(m_dc, 6, 5), "......\n"
                                   ".oooo.\n"
                                   ".oooo.\n"
                                   ".oooo.\n"
                                   "......\n");
    SelectObject(m_dc, m_pen);
    const POINT triangle[] = {{0, 0}, {4, 0}, {0, 4}};
    Polygon(m_dc, triangle, 3);
    EXPECT_EQ(GetPixel(m_dc, 4, 0), kInk) << "closed: every vertex is drawn";
    EXPECT_EQ(GetPixel(m_dc, 1, 1), kFill);
    EXPECT_EQ(GetPixel(m_dc, 0, 4), kInk);
}

TEST_F(GdiShapes, EllipsesStayInsideTheirBoxAndAreSymmetric) {
    Ellipse(m_dc, 0, 0, 9, 7);
    const std::string p = picture(m_dc, 10, 8);
    EXPECT_EQ(p.substr(p.size() - 11), "..........\n") << "the bottom edge is excluded";
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(GetPixel(m_dc, 9, y), 0u) << "the right edge is excluded";
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(GetPixel(m_dc, x, y), GetPixel(m_dc, 8 - x, y)) << x << "," << y;
            EXPECT_EQ(GetPixel(m_dc, x, y), GetPixel(m_dc, x, 6 - y)) << x << "," << y;
        }
    }
    EXPECT_EQ(GetPixel(m_dc, 4, 0), kInk);
    EXPECT_EQ(GetPixel(m_dc, 0, 3), kInk);
    EXPECT_EQ(GetPixel(m_dc, 4, 3), kFill);
    EXPECT_EQ(GetPixel(m_dc, 0, 0), 0u);
}

TEST_F(GdiShapes, OriginsMoveEveryFigure) {
    SetViewportOrgEx(m_dc, 10, 20, nullptr);
    SetWindowOrgEx(m_dc, 3, 4, nullptr);
    SetPixel(m_dc, 3, 4, kInk);
    HDC plain = GetDC(nullptr);
    EXPECT_EQ(GetPixel(plain, 10, 20), kInk);
    ReleaseDC(nullptr, plain);
    POINT previous{};
    SetViewportOrgEx(m_dc, 0, 0, &previous);
    EXPECT_EQ(previous.x, 10);
    SetWindowOrgEx(m_dc, 0, 0, nullptr);
}

TEST_F(GdiShapes, StyledPensDrawTheirDashes) {
    struct Case {
        int style;
        int width;
        int bkMode;
        const char* row; // the 40 pixels of a line from (0, 1) to (40, 1)
    };
    const Case cases[] = {
        {PS_SOLID, 1, OPAQUE, "########################################"},
        {PS_DASH, 1, TRANSPARENT, "##################......################"},
        {PS_DOT, 1, TRANSPARENT, "###...###...###...###...###...###...###."},
        {PS_DASHDOT, 1, TRANSPARENT, "#########......###......#########......#"},
        {PS_DASHDOTDOT, 1, TRANSPARENT, "#########...###...###...#########...###."},
        {PS_DASH, 1, OPAQUE, "##################------################"},
        {PS_DASH, 3, TRANSPARENT, "########################################"},
    };
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    for (const Case& c : cases) {
        const RECT band{0, 0, 41, 3};
        FillRect(m_dc, &band, black);
        HPEN pen = CreatePen(c.style, c.width, kInk);
        HGDIOBJ old = SelectObject(m_dc, pen);
        SetBkMode(m_dc, c.bkMode);
        SetBkColor(m_dc, kPaper);
        MoveToEx(m_dc, 0, 1, nullptr);
        LineTo(m_dc, 40, 1);
        EXPECT_EQ(picture(m_dc, 40, 3).substr(41, 40), c.row) << c.style << " " << c.bkMode;
        SelectObject(m_dc, old);
        DeleteObject(pen);
    }
    // A rectangle's outline carries the dashes round its corners.
    const RECT box{0, 0, 8, 4};
    FillRect(m_dc, &box, black);
    DeleteObject(black);
    HPEN dotted = CreatePen(PS_DOT, 1, kInk);
    HGDIOBJ old = SelectObject(m_dc, dotted);
    SetBkMode(m_dc, TRANSPARENT);
    Rectangle(m_dc, 0, 0, 8, 4);
    EXPECT_EQ(picture(m_dc, 8, 4), "###...##\n"
                                   "#oooooo#\n"
                                   "#oooooo.\n"
                                   "...###..\n");
    SetBkMode(m_dc, OPAQUE);
    SelectObject(m_dc, old);
    DeleteObject(dotted);
}
