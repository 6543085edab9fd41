#include "WindowCheck.h"
#include "win32/win32.h"
#include "winplat/input.h"
#include "winplat/screen.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::WindowLeakCheckedTest;

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK recorder(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(Seen{hwnd, message, wParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int countOf(HWND hwnd, UINT message) {
    int n = 0;
    for (const Seen& s : g_seen)
        n += s.hwnd == hwnd && s.message == message;
    return n;
}

COLORREF pixel(int x, int y) {
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    return c;
}

class WindowServices : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        WNDCLASSA wc{};
        wc.lpfnWndProc = recorder;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        for (auto [name, style] :
             {std::pair{"ServicePlain", 0u}, std::pair{"ServiceClassDC", UINT{CS_CLASSDC}},
              std::pair{"ServiceSaveBits", UINT{CS_SAVEBITS}}}) {
            wc.lpszClassName = name;
            wc.style = style;
            RegisterClassA(&wc);
        }
        g_seen.clear();
    }
    void TearDown() override {
        winplatPumpMessages();
        for (const char* name : {"ServicePlain", "ServiceClassDC", "ServiceSaveBits"})
            UnregisterClassA(name, nullptr);
        WindowLeakCheckedTest::TearDown();
    }
    static HWND popup(const char* cls, int x, int y, int w, int h, HWND owner = nullptr) {
        return CreateWindowExA(0, cls, "", WS_POPUP | WS_VISIBLE, x, y, w, h, owner, nullptr,
                               nullptr, nullptr);
    }
};

} // namespace

TEST_F(WindowServices, APopUpTakesTheActivationAndGivesItBackToItsOwner) {
    HWND owner = popup("ServicePlain", 50, 50, 300, 200);
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_EQ(GetFocus(), owner);
    EXPECT_EQ(countOf(owner, WM_QUERYNEWPALETTE), 1) << "asked to realize its palette";
    HWND other = popup("ServicePlain", 400, 50, 100, 100);
    HWND owned = popup("ServicePlain", 60, 60, 100, 100, owner);
    EXPECT_EQ(GetActiveWindow(), owned);
    EXPECT_EQ(GetFocus(), owned);
    DestroyWindow(owned);
    EXPECT_EQ(GetActiveWindow(), owner) << "the owner, not the window above it";
    EXPECT_EQ(GetFocus(), owner);
    ShowWindow(owner, SW_HIDE);
    EXPECT_EQ(GetActiveWindow(), other) << "with the owner gone, the next window";
    DestroyWindow(other);
    EXPECT_EQ(GetActiveWindow(), nullptr) << "nothing left that can be active";
    DestroyWindow(owner);
}

TEST_F(WindowServices, LeavingTheApplicationDeactivatesItsWindows) {
    HWND a = popup("ServicePlain", 50, 50, 100, 100);
    HWND b = popup("ServicePlain", 200, 50, 100, 100);
    g_seen.clear();
    winplatSetApplicationActive(FALSE);
    EXPECT_FALSE(winplatApplicationActive());
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    for (HWND w : {a, b})
        EXPECT_EQ(countOf(w, WM_ACTIVATEAPP), 1);
    EXPECT_EQ(countOf(b, WM_KILLFOCUS), 1);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen.front().message, WM_NCACTIVATE) << "the active window hears first";
    g_seen.clear();
    winplatSetApplicationActive(TRUE);
    EXPECT_EQ(GetActiveWindow(), b) << "the window that was active comes back";
    EXPECT_EQ(GetFocus(), b);
    for (const Seen& s : g_seen) {
        if (s.message == WM_ACTIVATEAPP) {
            EXPECT_EQ(s.wParam, static_cast<WPARAM>(TRUE));
        }
    }
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(WindowServices, ComingBackActivatesTheNearestWindowThatIsStillThere) {
    enum Window { Other, Owner, Owned, None };
    struct Case {
        const char* what;
        std::vector<Window> destroyedMeanwhile;
        std::vector<Window> hiddenMeanwhile;
        Window active; // on return
    };
    // Owned (active when the application left) belongs to Owner; Other stands beside them.
    const Case cases[] = {
        {"nothing changed", {}, {}, Owned},
        {"the active pop-up destroyed", {Owned}, {}, Owner},
        {"the active pop-up hidden", {}, {Owned}, Owner},
        {"pop-up, then its owner destroyed", {Owned, Owner}, {}, Other},
        {"owner destroyed, and its pop-up with it", {Owner}, {}, Other},
        {"pop-up destroyed, owner hidden", {Owned}, {Owner}, Other},
        {"another window destroyed", {Other}, {}, Owned},
        {"everything destroyed", {Owned, Owner, Other}, {}, None},
    };
    for (const Case& k : cases) {
        HWND windows[3] = {};
        windows[Other] = popup("ServicePlain", 400, 50, 100, 100);
        windows[Owner] = popup("ServicePlain", 50, 50, 300, 200);
        windows[Owned] = popup("ServicePlain", 60, 60, 100, 100, windows[Owner]);
        ASSERT_EQ(GetActiveWindow(), windows[Owned]) << k.what;
        winplatSetApplicationActive(FALSE);
        for (Window w : k.destroyedMeanwhile)
            DestroyWindow(windows[w]);
        for (Window w : k.hiddenMeanwhile)
            ShowWindow(windows[w], SW_HIDE);
        EXPECT_EQ(GetActiveWindow(), nullptr) << k.what << ": nothing active meanwhile";
        g_seen.clear();
        winplatSetApplicationActive(TRUE);
        const HWND expected = k.active == None ? nullptr : windows[k.active];
        EXPECT_EQ(GetActiveWindow(), expected) << k.what;
        EXPECT_EQ(GetFocus(), expected) << k.what;
        if (expected != nullptr) {
            bool captionLit = false;
            for (const Seen& s : g_seen)
                captionLit |= s.hwnd == expected && s.message == WM_NCACTIVATE && s.wParam != 0;
            EXPECT_TRUE(captionLit) << k.what << ": its caption shown active";
        }
        for (HWND w : windows)
            if (IsWindow(w)) DestroyWindow(w);
    }
}

TEST_F(WindowServices, AClassDCIsSharedAndKeepsItsSelections) {
    const std::size_t dcs = winplatLiveGdiObjects(WINPLAT_GDI_DCS);
    HWND a = popup("ServiceClassDC", 50, 50, 100, 100);
    HWND b = popup("ServiceClassDC", 200, 50, 100, 100);
    winplatPumpMessages();
    HDC first = GetDC(a);
    HBRUSH brush = CreateSolidBrush(RGB(200, 10, 10));
    HGDIOBJ old = SelectObject(first, brush);
    EXPECT_EQ(ReleaseDC(a, first), 1);
    HDC second = GetDC(b);
    EXPECT_EQ(second, first) << "one DC for the class";
    EXPECT_EQ(GetCurrentObject(second, OBJ_BRUSH), brush) << "what was selected stays";
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_DCS), dcs + 1);
    RECT r{0, 0, 10, 10};
    FillRect(second, &r, brush);
    EXPECT_EQ(pixel(205, 55), RGB(200, 10, 10)) << "drawn where the window that asked lies";
    EXPECT_FALSE(DeleteDC(second));
    SelectObject(second, old);
    ReleaseDC(b, second);
    DeleteObject(brush);
    DestroyWindow(a);
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_DCS), dcs + 1) << "the class still has a window";
    DestroyWindow(b);
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_DCS), dcs);
}

TEST_F(WindowServices, SavedBitsComeBackUnlessWhatWasBeneathPainted) {
    HWND under = popup("ServicePlain", 50, 50, 300, 200);
    winplatPumpMessages();
    for (bool paintBeneath : {false, true}) {
        HWND over = popup("ServiceSaveBits", 100, 100, 80, 60);
        SetActiveWindow(under);
        winplatPumpMessages();
        EXPECT_EQ(pixel(120, 120), GetSysColor(COLOR_WINDOW));
        if (paintBeneath) {
            InvalidateRect(under, nullptr, TRUE);
            winplatPumpMessages();
        }
        g_seen.clear();
        DestroyWindow(over);
        winplatPumpMessages();
        EXPECT_EQ(countOf(under, WM_PAINT), paintBeneath ? 1 : 0) << paintBeneath;
        EXPECT_EQ(pixel(120, 120), GetSysColor(COLOR_WINDOW)) << paintBeneath;
    }
    DestroyWindow(under);
}

TEST_F(WindowServices, EdgesDrawTheirRingsAndShrinkTheRectangle) {
    HDC dc = GetDC(nullptr);
    struct Case {
        UINT edge;
        COLORREF outerTopLeft, innerTopLeft, outerBottomRight;
    };
    const Case cases[] = {
        {EDGE_SUNKEN, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DDKSHADOW),
         GetSysColor(COLOR_3DHILIGHT)},
        {EDGE_RAISED, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DHILIGHT),
         GetSysColor(COLOR_3DDKSHADOW)},
        {EDGE_ETCHED, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DHILIGHT),
         GetSysColor(COLOR_3DHILIGHT)},
    };
    for (const Case& c : cases) {
        RECT r{10, 10, 30, 30};
        ASSERT_TRUE(DrawEdge(dc, &r, c.edge, BF_RECT | BF_ADJUST | BF_MIDDLE));
        EXPECT_TRUE((r.left == 12 && r.top == 12 && r.right == 28 && r.bottom == 28)) << c.edge;
        EXPECT_EQ(GetPixel(dc, 10, 10), c.outerTopLeft) << c.edge;
        EXPECT_EQ(GetPixel(dc, 11, 11), c.innerTopLeft) << c.edge;
        EXPECT_EQ(GetPixel(dc, 29, 29), c.outerBottomRight) << c.edge;
        EXPECT_EQ(GetPixel(dc, 20, 20), GetSysColor(COLOR_BTNFACE)) << c.edge;
    }
    RECT onlyTop{40, 40, 60, 60};
    DrawEdge(dc, &onlyTop, BDR_RAISEDINNER, BF_TOP | BF_ADJUST);
    EXPECT_EQ(onlyTop.top, 41);
    EXPECT_EQ(onlyTop.left, 40);
    EXPECT_NE(GetPixel(dc, 40, 50), GetSysColor(COLOR_3DHILIGHT)) << "no left side";
    EXPECT_FALSE(DrawEdge(nullptr, &onlyTop, EDGE_RAISED, BF_RECT));
    RECT box{70, 10, 83, 23};
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
    int ink = 0;
    for (int y = 12; y < 21; ++y)
        for (int x = 72; x < 81; ++x)
            ink += GetPixel(dc, x, y) == GetSysColor(COLOR_BTNTEXT);
    EXPECT_GT(ink, 10) << "a tick";
    ReleaseDC(nullptr, dc);
}
