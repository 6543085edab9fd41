#include "CColourPicker.h"
#include "InputSteps.h"
#include "WindowCheck.h"
#include "winplat/input.h"
#include "winplat/screen.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr int kPickerId = 77;

struct Heard {
    UINT message;
    COLORREF colour;
    LPARAM lParam;
    bool operator==(const Heard& o) const {
        return message == o.message && colour == o.colour && lParam == o.lParam;
    }
};
std::vector<Heard> g_heard;
std::vector<WPARAM> g_paletteChanges;

LRESULT CALLBACK parentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_COLOUR_SELCHANGE && message <= WM_COLOUR_SELENDCANCEL)
        g_heard.push_back(Heard{message, static_cast<COLORREF>(wParam), lParam});
    if (message == WM_PALETTECHANGED) g_paletteChanges.push_back(wParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

Heard heard(UINT message, COLORREF colour) {
    return Heard{message, colour, kPickerId};
}

// Where the palette puts things, from its metrics: margin, cell size, the boxes' height.
struct Geometry {
    int m = GetSystemMetrics(SM_CXEDGE);
    int b = 18;
    int h = 0;
    Geometry() {
        NONCLIENTMETRICSA metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        HFONT font = CreateFontIndirectA(&metrics.lfMessageFont);
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE s{};
        GetTextExtentPoint32A(dc, "More Colours...", 15, &s);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        DeleteObject(font);
        h = s.cy + 4 * m + 2;
    }
    POINT cell(int i) const {
        return POINT{(i % 8) * b + m + b / 2, (i / 8) * b + m + h + 2 * m + b / 2};
    }
    RECT cellRect(int i) const {
        const POINT c = cell(i);
        return RECT{c.x - b / 2, c.y - b / 2, c.x + b / 2, c.y + b / 2};
    }
    int customTop() const { return 5 * b + 2 * m + h + 3 * m; }
    POINT custom() const { return POINT{4 * b, customTop() + (m + h) / 2}; }
    POINT automatic() const { return POINT{4 * b, m + (h + m) / 2}; }
};

COLORREF screenPixel(HWND hwnd, POINT p) {
    ClientToScreen(hwnd, &p);
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

class ColourPicker : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        WNDCLASSA wc{};
        wc.lpfnWndProc = parentProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "PickerParent";
        RegisterClassA(&wc);
        g_heard.clear();
        g_paletteChanges.clear();
    }
    void TearDown() override {
        close();
        UnregisterClassA("PickerParent", nullptr);
        dropQuit();
        WindowLeakCheckedTest::TearDown();
    }
    void close() {
        if (m_picker != nullptr) m_picker->DestroyWindow();
        delete m_picker;
        m_picker = nullptr;
        if (IsWindow(m_parent)) DestroyWindow(m_parent);
        m_parent = nullptr;
        winplatPumpMessages();
    }
    void make(COLORREF colour, int top = 100) {
        m_parent = CreateWindowExA(0, "PickerParent", "parent", WS_POPUP | WS_VISIBLE, 100, top,
                                   300, 60, nullptr, nullptr, nullptr, nullptr);
        m_picker = new CColourPicker;
        ASSERT_TRUE(m_picker->Create("", WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(10, 10, 110, 31),
                                     CWnd::FromHandle(m_parent), kPickerId));
        m_picker->SetColour(colour);
        winplatPumpMessages();
    }
    // Runs the thread's loop as the dialog would, until the steps run out.
    static void run(std::vector<InputSteps::Step> steps) {
        InputSteps driver(std::move(steps));
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0)) {
            if (!AfxPreTranslateMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    void open() { clickWindow(m_picker->GetSafeHwnd()); }
    static HWND palette() { return GetActiveWindow(); }
    static void moveOver(POINT p) { moveTo(palette(), p.x, p.y); }

    HWND m_parent = nullptr;
    CColourPicker* m_picker = nullptr;
    Geometry m_geometry;
};

} // namespace

TEST_F(ColourPicker, OpensWithItsColourShownAsChosen) {
    enum Where { Automatic, More, Cell };
    struct Case {
        COLORREF colour;
        Where where;
        int cell;
    };
    const Case cases[] = {{CLR_DEFAULT, Automatic, -1},
                          {RGB(1, 2, 3), More, -1},
                          {RGB(255, 104, 32), Cell, 9},
                          {RGB(255, 255, 255), Cell, 39}};
    const COLORREF sunken = GetSysColor(COLOR_3DSHADOW), face = GetSysColor(COLOR_3DFACE);
    for (const Case& c : cases) {
        make(c.colour);
        const Geometry& g = m_geometry;
        run({[&] { open(); },
             [&] {
                 ASSERT_NE(palette(), m_parent);
                 const POINT autoCorner{g.m + 1, g.m + 1};
                 const POINT moreCorner{g.m + 1, g.customTop() + 2 * g.m + 1};
                 EXPECT_EQ(screenPixel(palette(), autoCorner),
                           c.where == Automatic ? sunken : face);
                 EXPECT_EQ(screenPixel(palette(), moreCorner), c.where == More ? sunken : face);
                 if (c.where == Cell) {
                     const RECT r = g.cellRect(c.cell);
                     EXPECT_EQ(screenPixel(palette(), POINT{r.left, r.top}), sunken);
                 }
                 pressKey(VK_ESCAPE);
             }});
        EXPECT_EQ(m_picker->GetColour(), c.colour);
        close();
    }
}

TEST_F(ColourPicker, KeysWalkTheCellsAndTheBoxes) {
    const COLORREF white = RGB(255, 255, 255);
    make(white);
    HWND tip = nullptr;
    run({[&] { open(); }, [&] { moveOver(m_geometry.cell(35)); },
         [&] {
             for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
                 char cls[64] = {};
                 GetClassNameA(w, cls, sizeof cls);
                 if (std::string(cls) == TOOLTIPS_CLASSA && IsWindowVisible(w)) tip = w;
             }
             ASSERT_NE(tip, nullptr);
             char name[64] = {};
             TOOLINFOA info{};
             info.cbSize = sizeof info;
             info.lpszText = name;
             EXPECT_TRUE(SendMessageA(tip, TTM_GETCURRENTTOOL, 0, reinterpret_cast<LPARAM>(&info)));
             EXPECT_STREQ(name, "Pale green ");
             for (UINT key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_LEFT, VK_UP, VK_UP, VK_RIGHT, VK_RIGHT})
                 pressKey(key);
         },
         [] { pressKey(VK_ESCAPE); }});
    const std::vector<Heard> expected = {
        heard(WM_COLOUR_DROPDOWN, white),
        heard(WM_COLOUR_SELCHANGE, RGB(152, 251, 152)), // onto the last row
        heard(WM_COLOUR_SELCHANGE, white),        // Down: "More Colours..." shows the old colour
        heard(WM_COLOUR_SELCHANGE, CLR_DEFAULT),  // Down: "Automatic"
        heard(WM_COLOUR_SELCHANGE, RGB(0, 0, 0)), // Down: the first colour
        heard(WM_COLOUR_SELCHANGE, CLR_DEFAULT),  // Left on the first colour: "Automatic"
        heard(WM_COLOUR_SELCHANGE, white),        // Up: "More Colours..."
        heard(WM_COLOUR_SELCHANGE, white),        // Up: the last colour, white
        heard(WM_COLOUR_SELCHANGE, white),        // Right past the last: "More Colours..."
        heard(WM_COLOUR_SELCHANGE, CLR_DEFAULT),  // Right: "Automatic"
        heard(WM_COLOUR_CLOSEUP, white),
        heard(WM_COLOUR_SELENDCANCEL, white), // Escape restores the colour
    };
    EXPECT_EQ(g_heard, expected);
    EXPECT_EQ(m_picker->GetColour(), white);
    EXPECT_FALSE(IsWindow(tip)) << "the tooltips go with the palette";
}

TEST_F(ColourPicker, AClickChoosesAndAClickOutsideCancels) {
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    make(red);
    run({[&] { open(); },
         [&] { clickAt(palette(), m_geometry.cell(13).x, m_geometry.cell(13).y); }});
    EXPECT_EQ(m_picker->GetColour(), blue);
    ASSERT_GE(g_heard.size(), 3u);
    EXPECT_EQ(
        std::vector<Heard>(g_heard.end() - 2, g_heard.end()),
        (std::vector<Heard>{heard(WM_COLOUR_CLOSEUP, blue), heard(WM_COLOUR_SELENDOK, blue)}));
    g_heard.clear();
    run({[&] { open(); }, [&] { moveOver(m_geometry.automatic()); },
         [&] {
             RECT r{};
             GetWindowRect(palette(), &r);
             clickAt(palette(), r.right - r.left + 40, 5);
         }});
    EXPECT_EQ(m_picker->GetColour(), blue);
    EXPECT_EQ(g_heard.back(), heard(WM_COLOUR_SELENDCANCEL, blue));
    g_heard.clear();
    run({[&] { open(); },
         [&] { clickAt(palette(), m_geometry.automatic().x, m_geometry.automatic().y); }});
    EXPECT_EQ(m_picker->GetColour(), CLR_DEFAULT);
}

TEST_F(ColourPicker, MoreColoursAsksTheColourDialog) {
    const COLORREF teal = RGB(56, 142, 142);
    struct Case {
        bool accept;
        COLORREF expected;
    };
    for (const Case& c : {Case{true, RGB(10, 20, 30)}, Case{false, teal}}) {
        make(teal);
        g_heard.clear();
        HWND colourDialog = nullptr;
        run({[&] { open(); },
             [&] { clickAt(palette(), m_geometry.custom().x, m_geometry.custom().y); },
             [&] {
                 colourDialog = GetActiveWindow();
                 EXPECT_EQ(windowText(colourDialog), "Color");
                 EXPECT_EQ(windowText(GetDlgItem(colourDialog, WINPLAT_COLOUR_GREEN)), "142");
                 for (auto [id, value] :
                      {std::pair{WINPLAT_COLOUR_RED, "10"}, std::pair{WINPLAT_COLOUR_GREEN, "20"},
                       std::pair{WINPLAT_COLOUR_BLUE, "30"}}) {
                     clickWindow(GetDlgItem(colourDialog, id));
                     pressKey(VK_HOME);
                     pressKey(VK_END, VK_SHIFT);
                     typeText(value);
                 }
                 pressKey(c.accept ? VK_RETURN : VK_ESCAPE);
             }});
        EXPECT_FALSE(IsWindow(colourDialog));
        EXPECT_EQ(m_picker->GetColour(), c.expected);
        EXPECT_EQ(g_heard.back(),
                  heard(c.accept ? WM_COLOUR_SELENDOK : WM_COLOUR_SELENDCANCEL, c.expected));
        close();
    }
}

TEST_F(ColourPicker, NearTheBottomOfTheScreenThePaletteOpensAboveItsButton) {
    make(RGB(0, 0, 0), GetSystemMetrics(SM_CYSCREEN) - 60);
    RECT button{}, above{};
    run({[&] { open(); },
         [&] {
             m_picker->GetWindowRect(&button);
             GetWindowRect(palette(), &above);
             pressKey(VK_ESCAPE);
         }});
    EXPECT_EQ(above.bottom, button.top);
    EXPECT_EQ(above.left, button.left);
    EXPECT_GT(above.bottom - above.top, 100);
}

TEST_F(ColourPicker, LosingTheApplicationCancelsTheChoice) {
    const COLORREF gold = RGB(255, 215, 0);
    make(gold);
    HWND opened = nullptr;
    run({[&] { open(); },
         [&] {
             opened = palette();
             moveOver(m_geometry.cell(0));
         },
         [&] {
             winplatSetApplicationActive(FALSE);
             EXPECT_FALSE(IsWindow(opened));
             winplatSetApplicationActive(TRUE);
         }});
    EXPECT_EQ(m_picker->GetColour(), gold);
    EXPECT_EQ(g_heard.back(), heard(WM_COLOUR_SELENDCANCEL, gold));
}

TEST_F(ColourPicker, OnAPaletteDeviceTheCellsShowTheirExactColours) {
    winplatUsePaletteDevice(TRUE);
    InvalidateRect(nullptr, nullptr, TRUE);
    make(RGB(0, 0, 0));
    run({[&] { open(); },
         [&] {
             const RECT orange = m_geometry.cellRect(9);
             EXPECT_EQ(screenPixel(palette(), POINT{(orange.left + orange.right) / 2,
                                                    (orange.top + orange.bottom) / 2}),
                       RGB(255, 104, 32));
             ASSERT_FALSE(g_paletteChanges.empty()) << "the realization was told to the windows";
             EXPECT_EQ(reinterpret_cast<HWND>(g_paletteChanges.front()), palette());
             pressKey(VK_ESCAPE);
         }});
}
