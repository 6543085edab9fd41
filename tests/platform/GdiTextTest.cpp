#include "GdiCheck.h"
#include "win32/win32.h"
#include "winplat/screen.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using testing_support::GdiLeakCheckedTest;

namespace {

constexpr COLORREF kInk = RGB(0, 0, 255);
constexpr COLORREF kPaper = RGB(255, 255, 0);

// The smallest rectangle around every pixel of one colour, empty when there is none.
RECT boundsOf(HDC dc, const RECT& area, COLORREF colour) {
    RECT r{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (GetPixel(dc, x, y) == colour) {
                r.left = std::min<LONG>(r.left, x);
                r.top = std::min<LONG>(r.top, y);
                r.right = std::max<LONG>(r.right, x + 1);
                r.bottom = std::max<LONG>(r.bottom, y + 1);
            }
    return r;
}

int countOf(HDC dc, const RECT& area, COLORREF colour) {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            n += GetPixel(dc, x, y) == colour;
    return n;
}

class GdiText : public GdiLeakCheckedTest {
protected:
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        m_dc = GetDC(nullptr);
        SetTextColor(m_dc, kInk);
        SetBkColor(m_dc, kPaper);
        SetBkMode(m_dc, TRANSPARENT);
    }
    void TearDown() override {
        releaseFonts();
        ReleaseDC(nullptr, m_dc);
        GdiLeakCheckedTest::TearDown();
    }
    // Selects a font like the dialogs' 8-point "MS Sans Serif" (or as asked) until the test ends.
    HFONT useFont(LONG height = -11, LONG weight = FW_NORMAL, bool underline = false) {
        LOGFONTA lf{};
        lf.lfHeight = height;
        lf.lfWeight = weight;
        lf.lfUnderline = underline;
        lf.lfCharSet = RUSSIAN_CHARSET;
        std::strcpy(lf.lfFaceName, "MS Sans Serif");
        HFONT font = CreateFontIndirectA(&lf);
        HGDIOBJ old = SelectObject(m_dc, font);
        if (m_first == nullptr) m_first = old;
        m_fonts.push_back(font);
        return font;
    }
    void releaseFonts() {
        if (m_first != nullptr) SelectObject(m_dc, m_first);
        for (HFONT f : m_fonts)
            DeleteObject(f);
        m_fonts.clear();
        m_first = nullptr;
    }
    SIZE extent(const char* text) {
        SIZE s{};
        EXPECT_TRUE(GetTextExtentPoint32A(m_dc, text, static_cast<int>(std::strlen(text)), &s));
        return s;
    }
    HDC m_dc = nullptr;
    std::vector<HFONT> m_fonts;
    HGDIOBJ m_first = nullptr;
};

} // namespace

TEST_F(GdiText, MetricsFollowTheRequestedHeight) {
    useFont(-11);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(m_dc, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 11) << "a negative height is the em";
    EXPECT_GT(tm.tmAveCharWidth, 3);
    EXPECT_EQ(tm.tmCharSet, RUSSIAN_CHARSET);
    const SIZE hello = extent("Hello");
    EXPECT_EQ(hello.cy, tm.tmHeight);
    EXPECT_EQ(extent("").cx, 0);
    EXPECT_EQ(extent("HelloHello").cx, 2 * hello.cx);

    useFont(20);
    ASSERT_TRUE(GetTextMetricsA(m_dc, &tm));
    EXPECT_NEAR(tm.tmHeight, 20, 1) << "a positive height is the cell";
    useFont(-11, FW_BOLD);
    EXPECT_GT(extent("Hello").cx, hello.cx) << "bold is wider";
}

TEST_F(GdiText, TextOutDrawsOnlyInkUnlessTheBackgroundIsOpaque) {
    useFont();
    const SIZE size = extent("Gallimo");
    ASSERT_TRUE(TextOutA(m_dc, 10, 20, "Gallimo", 7));
    const RECT area{0, 0, 200, 60};
    const RECT ink = boundsOf(m_dc, area, kInk);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + size.cx + 1);
    EXPECT_GE(ink.top, 20);
    EXPECT_LE(ink.bottom, 20 + size.cy);
    EXPECT_GT(countOf(m_dc, area, kInk), 40);
    EXPECT_EQ(countOf(m_dc, area, kInk) + countOf(m_dc, area, RGB(0, 0, 0)), 200 * 60);

    SetBkMode(m_dc, OPAQUE);
    ASSERT_TRUE(TextOutA(m_dc, 10, 40, "Gallimo", 7));
    const RECT row{0, 40, 200, 60};
    const RECT cell = boundsOf(m_dc, row, kPaper);
    EXPECT_EQ(cell.left, 10);
    EXPECT_EQ(cell.top, 40);
    EXPECT_EQ(cell.bottom, 40 + size.cy);
    EXPECT_EQ(countOf(m_dc, row, kPaper) + countOf(m_dc, row, kInk), size.cx * size.cy);
}

TEST_F(GdiText, AlignmentMovesTheReferencePoint) {
    useFont();
    const SIZE size = extent("Mm");
    SetTextAlign(m_dc, TA_RIGHT | TA_BOTTOM);
    SetBkMode(m_dc, OPAQUE);
    TextOutA(m_dc, 100, 100, "Mm", 2);
    const RECT cell = boundsOf(m_dc, RECT{0, 0, 200, 200}, kPaper);
    EXPECT_EQ(cell.right, 100);
    EXPECT_EQ(cell.bottom, 100);
    EXPECT_EQ(cell.left, 100 - size.cx);
    SetTextAlign(m_dc, TA_LEFT | TA_TOP);
}

TEST_F(GdiText, DrawTextCentresASingleLine) {
    useFont();
    RECT box{20, 10, 220, 50};
    const int height = DrawTextA(m_dc, "Centre", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const SIZE size = extent("Centre");
    EXPECT_EQ(height, (10 + 50 - size.cy) / 2 - 10 + size.cy);
    SetBkMode(m_dc, OPAQUE);
    DrawTextA(m_dc, "Centre", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const RECT cell = boundsOf(m_dc, RECT{0, 0, 240, 60}, kPaper);
    EXPECT_EQ(cell.left, (20 + 220 - size.cx) / 2);
    EXPECT_EQ(cell.top, (10 + 50 - size.cy) / 2);
    EXPECT_EQ(cell.bottom - cell.top, size.cy);
}

TEST_F(GdiText, DrawTextMeasuresWrapsAndCuts) {
    useFont();
    const SIZE one = extent("one");
    const SIZE line = extent("one two");
    TEXTMETRICA tm{};
    GetTextMetricsA(m_dc, &tm);

    RECT calc{0, 0, 1000, 0};
    EXPECT_EQ(DrawTextA(m_dc, "one two", -1, &calc, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
    EXPECT_EQ(calc.right, line.cx);
    EXPECT_EQ(calc.bottom, tm.tmHeight);
    EXPECT_EQ(countOf(m_dc, RECT{0, 0, 100, 30}, kInk), 0) << "measuring draws nothing";

    RECT narrow{0, 0, line.cx - 1, 0};
    EXPECT_EQ(DrawTextA(m_dc, "one two", -1, &narrow, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
    EXPECT_EQ(narrow.right, std::max(one.cx, extent("two").cx));
    RECT lines{0, 0, 1000, 0};
    EXPECT_EQ(DrawTextA(m_dc, "a\r\nb\nc", -1, &lines, DT_CALCRECT), 3 * tm.tmHeight);

    RECT prefix{0, 0, 1000, 0};
    DrawTextA(m_dc, "&File", -1, &prefix, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefix.right, extent("File").cx) << "the ampersand marks a mnemonic";
    DrawTextA(m_dc, "&File", -1, &prefix, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(prefix.right, extent("&File").cx);

    RECT cut{0, 0, line.cx - 1, 0};
    DrawTextA(m_dc, "one two", -1, &cut, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(cut.right, line.cx - 1);
    EXPECT_GT(cut.right, 0);

    RECT clipped{0, 0, one.cx / 2, tm.tmHeight};
    DrawTextA(m_dc, "one", -1, &clipped, DT_SINGLELINE);
    EXPECT_LE(boundsOf(m_dc, RECT{0, 0, 60, 30}, kInk).right, one.cx / 2) << "cut to the box";
}

TEST_F(GdiText, UnderlinesAndMnemonicsDrawALineBelowTheBaseline) {
    useFont(-13, FW_BOLD, true);
    TEXTMETRICA tm{};
    GetTextMetricsA(m_dc, &tm);
    const SIZE size = extent("link");
    TextOutA(m_dc, 0, 0, "link", 4);
    int longest = 0;
    for (int y = tm.tmAscent; y < tm.tmHeight; ++y)
        longest = std::max(longest, countOf(m_dc, RECT{0, y, size.cx, y + 1}, kInk));
    EXPECT_EQ(longest, size.cx) << "an unbroken underline below the baseline";

    useFont();
    GetTextMetricsA(m_dc, &tm);
    RECT box{0, 100, 200, 140};
    DrawTextA(m_dc, "&x", -1, &box, DT_SINGLELINE);
    const SIZE x = extent("x");
    int underline = 0;
    for (int y = 100 + tm.tmAscent; y < 100 + tm.tmHeight; ++y)
        underline = std::max(underline, countOf(m_dc, RECT{0, y, x.cx, y + 1}, kInk));
    EXPECT_EQ(underline, x.cx);
}

TEST_F(GdiText, BadArgumentsAreRefused) {
    SIZE s{};
    EXPECT_FALSE(GetTextExtentPoint32A(nullptr, "a", 1, &s));
    EXPECT_FALSE(GetTextExtentPoint32A(m_dc, nullptr, 1, &s));
    EXPECT_FALSE(TextOutA(m_dc, 0, 0, "a", -1));
    EXPECT_EQ(DrawTextA(m_dc, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
    LOGFONTA huge{};
    huge.lfHeight = -2000000000;
    HFONT font = CreateFontIndirectA(&huge);
    HGDIOBJ old = SelectObject(m_dc, font);
    EXPECT_TRUE(GetTextExtentPoint32A(m_dc, "a", 1, &s)) << "an absurd size is limited";
    SelectObject(m_dc, old);
    DeleteObject(font);
}

// Right-to-left runs within a left-to-right line show in the order they are read, as if each
// character were drawn on its own, from the left, in the order given here.
TEST_F(GdiText, HebrewRunsAreShownRightToLeft) {
    struct Case {
        const char* name;
        std::u16string text;
        std::u16string seen; // left to right
    };
    const Case cases[] = {
        {"a word", u"\u05E9\u05DC\u05D5\u05DD", u"\u05DD\u05D5\u05DC\u05E9"},
        {"within Latin text", u"ab \u05E9\u05DC\u05D5\u05DD cd", u"ab \u05DD\u05D5\u05DC\u05E9 cd"},
        {"two words and a number", u"\u05D0\u05D1 12 \u05D2\u05D3",
         u"\u05D3\u05D2 12 \u05D1\u05D0"},
        {"a point stays on its letter", u"\u05E9\u05B8\u05DC", u"\u05DC\u05E9\u05B8"},
        {"Latin alone", u"abc", u"abc"},
    };
    LOGFONTA lf{};
    lf.lfHeight = -20;
    std::strcpy(lf.lfFaceName, "Arial");
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(m_dc, font);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    const RECT area{0, 100, 300, 140};
    const auto snapshot = [&] {
        std::string out;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                out += GetPixel(m_dc, x, y) == kInk ? '#' : '.';
        return out;
    };
    for (const Case& c : cases) {
        FillRect(m_dc, &area, black);
        ASSERT_TRUE(ExtTextOutW(m_dc, 10, 105, 0, nullptr, c.text.data(),
                                static_cast<UINT>(c.text.size()), nullptr));
        const std::string drawn = snapshot();
        FillRect(m_dc, &area, black);
        int x = 10;
        for (char16_t ch : c.seen) {
            ExtTextOutW(m_dc, x, 105, 0, nullptr, &ch, 1, nullptr);
            SIZE s{};
            GetTextExtentPoint32W(m_dc, &ch, 1, &s);
            x += s.cx;
        }
        EXPECT_EQ(drawn, snapshot()) << c.name;
        EXPECT_NE(drawn.find('#'), std::string::npos) << c.name;
    }
    FillRect(m_dc, &area, black);
    DeleteObject(black);
    SelectObject(m_dc, old);
    DeleteObject(font);
}
