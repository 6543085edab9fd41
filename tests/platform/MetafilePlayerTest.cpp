#include "FileBytes.h"
#include "GdiCheck.h"
#include "MetafileCanvas.h"
#include "MetafileWriter.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

using namespace metafile_test;
using namespace testing_support;

namespace {

class MetafilePlayer : public GdiLeakCheckedTest {};

std::int32_t floatBits(float f) {
    std::int32_t v;
    std::memcpy(&v, &f, sizeof v);
    return v;
}

// The pen and brush that make a rectangle one solid block, in slots 1 and 2.
EmfWriter& solidRed(EmfWriter& w) {
    return w.pen(1, PS_SOLID, 0, kRed).select(1).brush(2, BS_SOLID, kRed).select(2);
}

WmfWriter& solidRed(WmfWriter& w) {
    return w.pen(PS_SOLID, 0, kRed).select(0).brush(BS_SOLID, kRed).select(1);
}

// Device pixels (20, 10) to (70, 40) of a 100 x 50 frame, played onto 10 x 5 pixels.
const char* const kBlock = "..........\n"
                           "..ooooo...\n"
                           "..ooooo...\n"
                           "..ooooo...\n"
                           "..........\n";

} // namespace

TEST_F(MetafilePlayer, EnhancedRectanglesLandWhereTheMappingPutsThem) {
    struct Case {
        const char* name;
        std::function<void(EmfWriter&)> mapping;
        RECT box;
    };
    const Case cases[] = {
        {"device pixels", [](EmfWriter&) {}, {20, 10, 70, 40}},
        {"anisotropic",
         [](EmfWriter& w) {
             w.record(kEmfSetMapMode, {MM_ANISOTROPIC})
                 .record(kEmfSetWindowExt, {1000, 1000})
                 .record(kEmfSetViewportExt, {100, 100});
         },
         {200, 100, 700, 400}},
        {"window origin",
         [](EmfWriter& w) {
             w.record(kEmfSetMapMode, {MM_ANISOTROPIC})
                 .record(kEmfSetWindowOrg, {100, 50})
                 .record(kEmfSetWindowExt, {1000, 1000})
                 .record(kEmfSetViewportExt, {100, 100});
         },
         {300, 150, 800, 450}},
        {"viewport origin",
         [](EmfWriter& w) {
             w.record(kEmfSetViewportOrg, {10, 5});
         },
         {10, 5, 60, 35}},
        {"isotropic: the smaller scale for both",
         [](EmfWriter& w) {
             w.record(kEmfSetMapMode, {MM_ISOTROPIC})
                 .record(kEmfSetWindowExt, {1000, 2000})
                 .record(kEmfSetViewportExt, {100, 100});
         },
         {400, 200, 1400, 800}},
        {"tenths of a millimetre, y up",
         [](EmfWriter& w) { w.record(kEmfSetMapMode, {MM_LOMETRIC}); },
         {20, -10, 70, -40}},
        {"hundredths of a millimetre",
         [](EmfWriter& w) { w.record(kEmfSetMapMode, {MM_HIMETRIC}); },
         {200, -100, 700, -400}},
        {"twips",
         [](EmfWriter& w) { w.record(kEmfSetMapMode, {MM_TWIPS}); },
         {113, -57, 397, -227}},
        {"world transform",
         [](EmfWriter& w) {
             w.record(kEmfSetWorldTransform, {floatBits(2), 0, 0, floatBits(2), floatBits(10), 0});
         },
         {5, 5, 30, 20}},
    };
    for (const Case& c : cases) {
        EmfWriter w;
        solidRed(w);
        c.mapping(w);
        w.rectangle(c.box.left, c.box.top, c.box.right, c.box.bottom);
        Canvas canvas(10, 5);
        ASSERT_TRUE(canvas.playEnhanced(w.bytes())) << c.name;
        EXPECT_EQ(canvas.picture(), kBlock) << c.name;
    }
}

TEST_F(MetafilePlayer, OldStyleWindowsAreMappedOntoTheFrame) {
    struct Case {
        const char* name;
        std::function<void(WmfWriter&)> draw;
    };
    const Case cases[] = {
        {"window",
         [](WmfWriter& w) { solidRed(w.window(0, 0, 100, 50)).rectangle(20, 10, 70, 40); }},
        {"window with y up",
         [](WmfWriter& w) { solidRed(w.window(0, 50, 100, -50)).rectangle(20, 40, 70, 10); }},
        {"window origin",
         [](WmfWriter& w) { solidRed(w.window(-50, 0, 200, 100)).rectangle(-10, 20, 90, 80); }},
        {"no window: the drawing's bounds",
         [](WmfWriter& w) {
             w.pen(PS_NULL, 0, 0).select(0);
             w.record(kWmfPolyline, {2, 100, 100, 200, 150});
             w.record(kWmfDeleteObject, {0});
             solidRed(w).rectangle(120, 110, 170, 140);
         }},
    };
    for (const Case& c : cases) {
        WmfWriter w;
        c.draw(w);
        Canvas canvas(10, 5);
        ASSERT_TRUE(canvas.playOldStyle(w.bytes())) << c.name;
        EXPECT_EQ(canvas.picture(), kBlock) << c.name;
    }
}

TEST_F(MetafilePlayer, OldStyleObjectsTakeTheLowestFreeSlot) {
    WmfWriter w;
    w.window(0, 0, 100, 50).brush(BS_SOLID, kRed).brush(BS_SOLID, kGreen);
    w.record(kWmfDeleteObject, {0}).brush(BS_SOLID, kBlue); // slot 0 again
    w.select(0).rectangle(0, 0, 50, 50).select(1).rectangle(50, 0, 100, 50);
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playOldStyle(w.bytes()));
    EXPECT_EQ(canvas.at(25, 25), kBlue);
    EXPECT_EQ(canvas.at(75, 25), kGreen);
}

TEST_F(MetafilePlayer, EllipsesAreSymmetric) {
    EmfWriter w;
    solidRed(w).record(kEmfEllipse, {10, 5, 89, 44});
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inBox = x >= 10 && x < 89 && y >= 5 && y < 44;
            if (!inBox) {
                ASSERT_EQ(canvas.at(x, y), 0u) << x << "," << y;
                continue;
            }
            ASSERT_EQ(canvas.at(x, y), canvas.at(98 - x, y)) << x << "," << y;
            ASSERT_EQ(canvas.at(x, y), canvas.at(x, 48 - y)) << x << "," << y;
        }
    EXPECT_EQ(canvas.at(49, 24), kRed);
    EXPECT_EQ(canvas.at(10, 24), kRed);
    EXPECT_EQ(canvas.at(11, 6), 0u);
}

TEST_F(MetafilePlayer, GeometricPensScaleWithTheMappingAndCosmeticOnesDoNot) {
    struct Case {
        const char* name;
        std::function<void(EmfWriter&)> pen;
        int rows;
    };
    const Case cases[] = {
        {"geometric", [](EmfWriter& w) { w.pen(1, PS_SOLID, 10, kRed); }, 5},
        {"width 0", [](EmfWriter& w) { w.pen(1, PS_SOLID, 0, kRed); }, 1},
        {"extended cosmetic",
         [](EmfWriter& w) {
             w.record(kEmfExtCreatePen, {1, 0, 0, 0, 0, PS_SOLID, 10, BS_SOLID,
                                         static_cast<std::int32_t>(kRed), 0, 0});
         },
         1},
        {"extended geometric",
         [](EmfWriter& w) {
             w.record(kEmfExtCreatePen, {1, 0, 0, 0, 0, 0x10000 | PS_SOLID, 10, BS_SOLID,
                                         static_cast<std::int32_t>(kRed), 0, 0});
         },
         5},
        {"extended without a brush",
         [](EmfWriter& w) {
             w.record(kEmfExtCreatePen, {1, 0, 0, 0, 0, 0x10000 | PS_SOLID, 10, BS_NULL,
                                         static_cast<std::int32_t>(kRed), 0, 0});
         },
         0},
    };
    for (const Case& c : cases) {
        EmfWriter w;
        w.record(kEmfSetMapMode, {MM_ANISOTROPIC})
            .record(kEmfSetWindowExt, {200, 200})
            .record(kEmfSetViewportExt, {100, 100});
        c.pen(w);
        w.select(1).record(kEmfMoveTo, {20, 40}).record(kEmfLineTo, {180, 40});
        Canvas canvas(100, 50);
        ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
        int rows = 0;
        for (int y = 0; y < 50; ++y)
            rows += canvas.at(40, y) == kRed ? 1 : 0;
        EXPECT_EQ(rows, c.rows) << c.name;
    }
}

TEST_F(MetafilePlayer, TextIsDrawnAtItsPlaceInTheTextColour) {
    EmfWriter w;
    w.record(kEmfSetTextColor, {static_cast<std::int32_t>(kRed)})
        .record(kEmfSetBkMode, {TRANSPARENT})
        .textOutW(20, 10, "H");
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
    int red = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            if (canvas.at(x, y) == kRed) {
                ++red;
                EXPECT_TRUE(x >= 20 && x < 35 && y >= 10 && y < 25) << x << "," << y;
            }
    EXPECT_GT(red, 10);

    // Glyph indices are not characters: nothing is written for them.
    EmfWriter glyphs;
    glyphs.record(kEmfSetTextColor, {static_cast<std::int32_t>(kRed)})
        .record(kEmfSetBkMode, {TRANSPARENT})
        .textOutW(20, 10, "H", 0, 0x0010);
    Canvas blank(100, 50);
    ASSERT_TRUE(blank.playEnhanced(glyphs.bytes()));
    EXPECT_EQ(blank.count(kRed), 0);

    // Advances from the record place each character.
    for (int advance : {0, 40}) {
        EmfWriter spaced;
        spaced.record(kEmfSetTextColor, {static_cast<std::int32_t>(kRed)})
            .record(kEmfSetBkMode, {TRANSPARENT})
            .textOutW(10, 10, "HH", advance);
        Canvas c(100, 50);
        ASSERT_TRUE(c.playEnhanced(spaced.bytes()));
        bool far = false;
        for (int y = 0; y < 50; ++y)
            for (int x = 45; x < 100; ++x)
                far = far || c.at(x, y) == kRed;
        EXPECT_EQ(far, advance != 0) << advance;
    }

    WmfWriter old;
    old.window(0, 0, 100, 50).colour(kWmfSetTextColor, kRed);
    old.record(kWmfSetBkMode, {TRANSPARENT}).font(-12, 400, "Arial").select(0);
    old.textOut(20, 10, "H");
    Canvas c(100, 50);
    ASSERT_TRUE(c.playOldStyle(old.bytes()));
    EXPECT_GT(c.count(kRed), 10);
}

TEST_F(MetafilePlayer, BitmapsAreStretchedOntoTheirRectangle) {
    const Bytes dib = packedDib24(2, 2, {kRed, kGreen, kBlue, kWhite});
    EmfWriter w;
    w.stretchDIBits(10, 10, 20, 20, dib, 0, 2, 2);
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
    EXPECT_EQ(canvas.at(12, 12), kRed);
    EXPECT_EQ(canvas.at(27, 12), kGreen);
    EXPECT_EQ(canvas.at(12, 27), kBlue);
    EXPECT_EQ(canvas.at(27, 27), kWhite);
    EXPECT_EQ(canvas.at(31, 31), 0u);
    EXPECT_EQ(canvas.at(9, 9), 0u);

    // A blit without a bitmap paints with the brush.
    EmfWriter paint;
    paint.brush(1, BS_SOLID, kGreen).select(1);
    Bytes blit(92, 0);
    const std::int32_t fields[] = {5, 5, 10, 10, static_cast<std::int32_t>(PATCOPY)};
    std::memcpy(blit.data() + 16, fields, sizeof fields);
    paint.raw(kEmfBitBlt, blit);
    Canvas painted(100, 50);
    ASSERT_TRUE(painted.playEnhanced(paint.bytes()));
    EXPECT_EQ(painted.count(kGreen), 100);
}

TEST_F(MetafilePlayer, SavedStatesAndClipsComeBackOnRestore) {
    EmfWriter w;
    w.brush(1, BS_SOLID, kRed).select(1).pen(2, PS_NULL, 0, 0).select(2);
    w.record(kEmfSaveDC, {}).brush(3, BS_SOLID, kGreen).select(3);
    w.record(kEmfIntersectClipRect, {0, 0, 50, 25}).rectangle(0, 0, 101, 51);
    w.record(kEmfRestoreDC, {-1}).rectangle(60, 30, 101, 51);
    // A clip region with no data lets everything through again.
    w.record(kEmfIntersectClipRect, {0, 0, 5, 5}).record(kEmfExtSelectClipRgn, {0, 5});
    w.brush(4, BS_SOLID, kBlue).select(4).rectangle(90, 0, 101, 10);
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
    EXPECT_EQ(canvas.at(10, 10), kGreen);
    EXPECT_EQ(canvas.at(49, 24), kGreen);
    EXPECT_EQ(canvas.at(70, 10), 0u) << "outside the clip";
    EXPECT_EQ(canvas.at(10, 40), 0u) << "outside the clip";
    EXPECT_EQ(canvas.at(70, 40), kRed) << "the saved brush, unclipped";
    EXPECT_EQ(canvas.at(95, 5), kBlue);
}

TEST_F(MetafilePlayer, PathsAreFilledOrStroked) {
    const auto triangle = [](EmfWriter& w) {
        w.record(kEmfBeginPath, {})
            .record(kEmfMoveTo, {10, 10})
            .record(kEmfLineTo, {90, 10})
            .record(kEmfLineTo, {50, 45})
            .record(kEmfCloseFigure, {})
            .record(kEmfEndPath, {});
    };
    struct Case {
        std::uint32_t finish;
        COLORREF inside, edge;
    };
    const Case cases[] = {{kEmfFillPath, kRed, kRed}, {kEmfStrokePath, 0, kGreen}};
    for (const Case& c : cases) {
        EmfWriter w;
        w.brush(1, BS_SOLID, kRed).select(1).pen(2, PS_SOLID, 0, kGreen).select(2);
        triangle(w);
        w.record(c.finish, {0, 0, 0, 0});
        Canvas canvas(100, 50);
        ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
        EXPECT_EQ(canvas.at(50, 20), c.inside) << c.finish;
        EXPECT_EQ(canvas.at(50, 10), c.edge) << c.finish;
        EXPECT_EQ(canvas.at(10, 40), 0u) << c.finish;
    }
    // Curves: the middle of this one is at (50, 10).
    EmfWriter w;
    w.pen(1, PS_SOLID, 0, kRed).select(1);
    w.record(kEmfPolyBezier16,
             {0, 0, 0, 0, 4, 10 | (40 << 16), 10 | (0 << 16), 90 | (0 << 16), 90 | (40 << 16)});
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
    EXPECT_EQ(canvas.at(50, 10), kRed);
    EXPECT_EQ(canvas.at(10, 39), kRed);
}

TEST_F(MetafilePlayer, ArcDirectionAndFillModeAreKept) {
    for (int direction : {1, 2}) {
        EmfWriter w;
        w.pen(1, PS_SOLID, 0, kRed).select(1).record(kEmfSetArcDirection, {direction});
        w.record(kEmfArc, {0, 0, 40, 40, 40, 20, 20, 0}); // right to top
        Canvas canvas(100, 50);
        ASSERT_TRUE(canvas.playEnhanced(w.bytes()));
        const auto inked = [&](int left, int top) {
            bool any = false;
            for (int y = top; y < top + 10; ++y)
                for (int x = left; x < left + 10; ++x)
                    any = any || canvas.at(x, y) == kRed;
            return any;
        };
        const bool upperRight = inked(28, 2);
        const bool lowerLeft = inked(2, 28);
        EXPECT_EQ(upperRight, direction == 1) << direction;
        EXPECT_EQ(lowerLeft, direction == 2) << direction;
    }
    for (int mode : {ALTERNATE, WINDING}) {
        WmfWriter w;
        solidRed(w.window(0, 0, 100, 50)).record(kWmfSetPolyFillMode, {mode});
        w.record(kWmfPolygon, {5, 50, 0, 80, 45, 10, 17, 90, 17, 20, 45});
        Canvas canvas(100, 50);
        ASSERT_TRUE(canvas.playOldStyle(w.bytes()));
        EXPECT_EQ(canvas.at(50, 22), mode == WINDING ? kRed : 0u) << mode;
    }
}

TEST_F(MetafilePlayer, HatchedBrushesShowTheirLines) {
    WmfWriter w;
    w.window(0, 0, 100, 50).record(kWmfSetBkMode, {TRANSPARENT});
    w.brush(BS_HATCHED, kRed, HS_CROSS).select(0).pen(PS_NULL, 0, 0).select(1);
    w.rectangle(0, 0, 101, 51);
    Canvas canvas(100, 50);
    ASSERT_TRUE(canvas.playOldStyle(w.bytes()));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(canvas.at(x, y), x % 8 == 0 || y % 8 == 0 ? kRed : 0u) << x << "," << y;
}

TEST_F(MetafilePlayer, RecordsThePlayerDoesNotKnowAreSkipped) {
    EmfWriter e;
    solidRed(e).record(0x7777, {1, 2, 3}).record(70, {0}).rectangle(20, 10, 70, 40);
    Canvas canvas(10, 5);
    ASSERT_TRUE(canvas.playEnhanced(e.bytes()));
    EXPECT_EQ(canvas.picture(), kBlock);

    WmfWriter w;
    solidRed(w.window(0, 0, 100, 50)).record(0x0999, {7, 7, 7}).record(0x0626, {1, 2});
    w.rectangle(20, 10, 70, 40);
    Canvas old(10, 5);
    ASSERT_TRUE(old.playOldStyle(w.bytes()));
    EXPECT_EQ(old.picture(), kBlock);
}

namespace {

// The ink of one colour: its bounding box and how many pixels it covers.
struct Ink {
    RECT box{0, 0, 0, 0};
    int pixels = 0;
};

Ink inkOf(const Canvas& canvas, int width, int height, COLORREF colour) {
    Ink ink;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (canvas.at(x, y) != colour) continue;
            ink.box = ink.pixels == 0 ? RECT{x, y, x + 1, y + 1}
                                      : RECT{std::min(ink.box.left, static_cast<LONG>(x)),
                                             std::min(ink.box.top, static_cast<LONG>(y)),
                                             std::max(ink.box.right, static_cast<LONG>(x + 1)),
                                             std::max(ink.box.bottom, static_cast<LONG>(y + 1))};
            ++ink.pixels;
        }
    return ink;
}

// Red text drawn straight onto a canvas with a font of this height and character set.
template <class Draw> std::string drawnDirectly(int width, int height, BYTE charset, Draw&& draw) {
    Canvas canvas(width, height);
    LOGFONTA lf{};
    lf.lfHeight = -20;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = charset;
    std::strcpy(lf.lfFaceName, "Arial");
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(canvas.dc(), font);
    SetBkMode(canvas.dc(), TRANSPARENT);
    SetTextColor(canvas.dc(), kRed);
    draw(canvas.dc());
    SelectObject(canvas.dc(), old);
    DeleteObject(font);
    return canvas.picture();
}

} // namespace

TEST_F(MetafilePlayer, TextIsReadByTheFontsCharacterSet) {
    enum class Kind { WmfExtTextOut, WmfTextOut, EmfA, EmfW };
    struct Case {
        const char* name;
        Kind kind;
        int charset;
        std::string bytes; // one-byte records
        std::u16string expected;
        const char* face = "Arial";
    };
    const Case cases[] = {
        {"Symbol font, old-style ExtTextOut", Kind::WmfExtTextOut, SYMBOL_CHARSET, "aDp\xA3",
         u"\u03B1\u0394\u03C0\u2264", "Symbol"},
        {"Hebrew, old-style ExtTextOut", Kind::WmfExtTextOut, HEBREW_CHARSET, "\xF9\xEC\xE5\xED",
         u"\u05E9\u05DC\u05D5\u05DD"},
        {"Cyrillic, old-style TextOut", Kind::WmfTextOut, RUSSIAN_CHARSET,
         "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
        {"Greek, old-style ExtTextOut", Kind::WmfExtTextOut, GREEK_CHARSET, "\xE1\xE2\xE3",
         u"\u03B1\u03B2\u03B3"},
        {"Shift-JIS, old-style ExtTextOut", Kind::WmfExtTextOut, SHIFTJIS_CHARSET,
         "\x93\xFA\x96\x7B\x8C\xEA", u"\u65E5\u672C\u8A9E"},
        {"GBK, enhanced ExtTextOutA", Kind::EmfA, GB2312_CHARSET, "\xD6\xD0\xCE\xC4",
         u"\u4E2D\u6587"},
        {"Big5 with ASCII between, enhanced ExtTextOutA", Kind::EmfA, CHINESEBIG5_CHARSET,
         "A\xA4\xA4"
         "B",
         u"A\u4E2DB"},
        {"Thai, enhanced ExtTextOutA", Kind::EmfA, THAI_CHARSET, "\xCA\xC7\xD1\xCA\xB4\xD5",
         u"\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35"},
        {"Hebrew, enhanced ExtTextOutW", Kind::EmfW, HEBREW_CHARSET, "",
         u"\u05E9\u05DC\u05D5\u05DD"},
        {"Korean, enhanced ExtTextOutW", Kind::EmfW, ANSI_CHARSET, "", u"\uD55C\uAD6D"},
    };
    constexpr int kWidth = 200;
    constexpr int kHeight = 40;
    for (const Case& c : cases) {
        Canvas played(kWidth, kHeight);
        if (c.kind == Kind::WmfExtTextOut || c.kind == Kind::WmfTextOut) {
            WmfWriter w;
            w.window(0, 0, kWidth, kHeight).colour(kWmfSetTextColor, kRed);
            w.record(kWmfSetBkMode, {TRANSPARENT}).font(-20, 400, c.face, c.charset).select(0);
            if (c.kind == Kind::WmfTextOut)
                w.textOut(10, 10, c.bytes);
            else
                w.extTextOut(10, 10, c.bytes);
            ASSERT_TRUE(played.playOldStyle(w.bytes())) << c.name;
        } else {
            EmfWriter w(RECT{0, 0, kWidth * 10, kHeight * 10});
            w.record(kEmfSetTextColor, {static_cast<std::int32_t>(kRed)})
                .record(kEmfSetBkMode, {TRANSPARENT})
                .font(1, -20, c.face, c.charset)
                .select(1);
            if (c.kind == Kind::EmfA)
                w.textOutA(10, 10, c.bytes);
            else
                w.textOutW(10, 10, c.expected);
            ASSERT_TRUE(played.playEnhanced(w.bytes())) << c.name;
        }
        const std::u16string& u = c.expected;
        const std::string unicode = drawnDirectly(kWidth, kHeight, ANSI_CHARSET, [&](HDC dc) {
            ExtTextOutW(dc, 10, 10, 0, nullptr, u.data(), static_cast<UINT>(u.size()), nullptr);
        });
        EXPECT_EQ(played.picture(), unicode) << c.name;
        EXPECT_GT(played.count(kRed), 20) << c.name;
        // What reading every byte as Windows-1252 drew, and what missing glyphs draw.
        if (!c.bytes.empty()) {
            EXPECT_NE(unicode, drawnDirectly(kWidth, kHeight, ANSI_CHARSET,
                                             [&](HDC dc) {
                                                 TextOutA(dc, 10, 10, c.bytes.data(),
                                                          static_cast<int>(c.bytes.size()));
                                             }))
                << c.name;
        }
        const std::u16string missing(u.size(), u'\uFFFF');
        EXPECT_NE(unicode, drawnDirectly(kWidth, kHeight, ANSI_CHARSET,
                                         [&](HDC dc) {
                                             ExtTextOutW(dc, 10, 10, 0, nullptr, missing.data(),
                                                         static_cast<UINT>(missing.size()),
                                                         nullptr);
                                         }))
            << c.name;
    }
}

TEST_F(MetafilePlayer, TextTurnsWithTheFontsEscapement) {
    struct Case {
        int escapement; // tenths of a degree
        bool oldStyle;
        int dx, dy; // where the text's middle lies from its reference point: -1, 0 or 1
    };
    const Case cases[] = {
        {0, false, 1, 0},    {900, false, 0, -1}, {1800, false, -1, 0},
        {2700, false, 0, 1}, {900, true, 0, -1},  {-900, true, 0, 1},
    };
    constexpr int kSide = 200;
    for (const Case& c : cases) {
        Canvas canvas(kSide, kSide);
        if (c.oldStyle) {
            WmfWriter w;
            w.window(0, 0, kSide, kSide).colour(kWmfSetTextColor, kRed);
            w.record(kWmfSetBkMode, {TRANSPARENT})
                .font(-20, 400, "Arial", ANSI_CHARSET, c.escapement)
                .select(0);
            w.textOut(100, 100, "HHHHHH");
            ASSERT_TRUE(canvas.playOldStyle(w.bytes())) << c.escapement;
        } else {
            EmfWriter w(RECT{0, 0, kSide * 10, kSide * 10});
            w.record(kEmfSetTextColor, {static_cast<std::int32_t>(kRed)})
                .record(kEmfSetBkMode, {TRANSPARENT})
                .font(1, -20, "Arial", ANSI_CHARSET, c.escapement)
                .select(1)
                .textOutW(100, 100, "HHHHHH");
            ASSERT_TRUE(canvas.playEnhanced(w.bytes())) << c.escapement;
        }
        const Ink ink = inkOf(canvas, kSide, kSide, kRed);
        ASSERT_GT(ink.pixels, 50) << c.escapement;
        const long width = ink.box.right - ink.box.left;
        const long height = ink.box.bottom - ink.box.top;
        const long midX = (ink.box.left + ink.box.right) / 2 - 100;
        const long midY = (ink.box.top + ink.box.bottom) / 2 - 100;
        const auto side = [](long v) { return v > 20 ? 1 : v < -20 ? -1 : 0; };
        EXPECT_EQ(side(midX), c.dx) << c.escapement << " " << midX;
        EXPECT_EQ(side(midY), c.dy) << c.escapement << " " << midY;
        EXPECT_EQ(width > height, c.dx != 0) << c.escapement;
    }
}

TEST_F(MetafilePlayer, StyledPensKeepTheirDashes) {
    struct Case {
        const char* name;
        std::function<Bytes()> write;
        bool oldStyle;
    };
    const Case cases[] = {
        {"old-style pen",
         [] {
             WmfWriter w;
             w.window(0, 0, 40, 5).record(kWmfSetBkMode, {TRANSPARENT});
             w.pen(PS_DOT, 0, kRed).select(0);
             return w.record(kWmfMoveTo, {2, 0}).record(kWmfLineTo, {2, 40}).bytes();
         },
         true},
        {"enhanced pen",
         [] {
             EmfWriter w(RECT{0, 0, 400, 50});
             w.record(kEmfSetBkMode, {TRANSPARENT}).pen(1, PS_DOT, 0, kRed).select(1);
             return w.record(kEmfMoveTo, {0, 2}).record(kEmfLineTo, {40, 2}).bytes();
         },
         false},
        {"enhanced cosmetic extended pen",
         [] {
             EmfWriter w(RECT{0, 0, 400, 50});
             w.record(kEmfSetBkMode, {TRANSPARENT});
             w.record(kEmfExtCreatePen,
                      {1, 0, 0, 0, 0, PS_DOT, 1, BS_SOLID, static_cast<std::int32_t>(kRed), 0, 0});
             w.select(1);
             return w.record(kEmfMoveTo, {0, 2}).record(kEmfLineTo, {40, 2}).bytes();
         },
         false},
    };
    for (const Case& c : cases) {
        Canvas canvas(40, 5);
        const Bytes bytes = c.write();
        ASSERT_TRUE(c.oldStyle ? canvas.playOldStyle(bytes) : canvas.playEnhanced(bytes)) << c.name;
        EXPECT_EQ(canvas.picture().substr(2 * 41, 12), "ooo...ooo...") << c.name;
    }
}

namespace {

// An AlphaBlend record of one 32-bit pixel onto the whole frame.
Bytes alphaBlendBody(std::uint32_t argb, std::uint32_t blend, int width, int height) {
    Bytes body(16, 0);
    const auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            body.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    for (int v : {0, 0, width, height})
        put(static_cast<std::uint32_t>(v));
    put(blend);
    put(0); // source x and y
    put(0);
    for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f})
        put(static_cast<std::uint32_t>(floatBits(f)));
    put(0);   // background colour
    put(0);   // DIB_RGB_COLORS
    put(108); // the header follows the record's fields
    put(40);
    put(148);
    put(4);
    put(1); // source width and height
    put(1);
    for (std::uint32_t v : {40u, 1u, 1u, 0x00200001u, 0u, 4u, 0u, 0u, 0u, 0u})
        put(v);
    put(argb);
    return body;
}

} // namespace

TEST_F(MetafilePlayer, AlphaBlendMixesTheSourceIn) {
    constexpr std::uint32_t kSourceAlpha = 0x01000000u; // AC_SRC_ALPHA
    struct Case {
        const char* name;
        std::uint32_t argb;  // as the DIB's 32-bit pixel holds it
        std::uint32_t blend; // constant alpha in bits 16..23
        COLORREF under;
        COLORREF expected;
    };
    const Case cases[] = {
        {"constant alpha over black", 0x00FF0000u, 128u << 16, RGB(0, 0, 0), RGB(128, 0, 0)},
        {"constant alpha over white", 0x000000FFu, 128u << 16, kWhite, RGB(127, 127, 255)},
        {"premultiplied half alpha", 0x80000080u, kSourceAlpha | 255u << 16, kWhite,
         RGB(127, 127, 255)},
        {"premultiplied transparent", 0x00000000u, kSourceAlpha | 255u << 16, kGreen, kGreen},
        {"premultiplied opaque", 0xFF00FF00u, kSourceAlpha | 255u << 16, kWhite, kGreen},
        {"both alphas", 0xFF0000FFu, kSourceAlpha | 128u << 16, RGB(0, 0, 0), RGB(0, 0, 128)},
    };
    for (const Case& c : cases) {
        EmfWriter w;
        w.raw(kEmfAlphaBlend, alphaBlendBody(c.argb, c.blend, 100, 50));
        Canvas canvas(10, 5, c.under);
        ASSERT_TRUE(canvas.playEnhanced(w.bytes())) << c.name;
        for (const POINT p : {POINT{0, 0}, POINT{9, 4}, POINT{5, 2}}) {
            const COLORREF got = canvas.at(p.x, p.y);
            EXPECT_NEAR(GetRValue(got), GetRValue(c.expected), 1) << c.name;
            EXPECT_NEAR(GetGValue(got), GetGValue(c.expected), 1) << c.name;
            EXPECT_NEAR(GetBValue(got), GetBValue(c.expected), 1) << c.name;
        }
    }
}

// The Japanese chart of a public sample, whose fonts are of the Shift-JIS character set: read
// as such, its text is not what reading every byte as Latin draws.
TEST_F(MetafilePlayer, ASampleOfShiftJisTextIsReadByItsFonts) {
    const std::string path = suiteFile("samples/wmf/apache-poi/60677.wmf");
    if (path.empty()) GTEST_SKIP() << "the public test suites are not here";
    const Bytes file = readWholeFile(path);
    ASSERT_GT(file.size(), 40u);
    const Bytes wmf(file.begin() + 22, file.end()); // behind a placeable header
    // The same with every font's character set made ANSI.
    Bytes latin = wmf;
    int japanese = 0;
    for (std::size_t at = 18; at + 6 <= latin.size();) {
        std::uint32_t words = 0;
        std::uint16_t function = 0;
        std::memcpy(&words, latin.data() + at, 4);
        std::memcpy(&function, latin.data() + at + 4, 2);
        if (function == 0 || words < 3 || words * 2ull > latin.size() - at) break;
        constexpr std::size_t kCharsetAt = 6 + 13;
        if (function == kWmfCreateFontIndirect && words * 2ull > kCharsetAt &&
            latin[at + kCharsetAt] == SHIFTJIS_CHARSET) {
            latin[at + kCharsetAt] = ANSI_CHARSET;
            ++japanese;
        }
        at += words * 2ull;
    }
    EXPECT_GT(japanese, 0);
    constexpr int kWidth = 846;
    constexpr int kHeight = 571;
    Canvas read(kWidth, kHeight, kWhite);
    Canvas asLatin(kWidth, kHeight, kWhite);
    ASSERT_TRUE(read.playOldStyle(wmf));
    ASSERT_TRUE(asLatin.playOldStyle(latin));
    // The title band at the top, white text on blue.
    int differ = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < kWidth; ++x)
            differ += read.at(x, y) != asLatin.at(x, y) ? 1 : 0;
    EXPECT_GT(differ, 200);
}
