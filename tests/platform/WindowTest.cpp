#include "WindowCheck.h"
#include "win32/win32.h"
#include "winplat/input.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using testing_support::WindowLeakCheckedTest;

namespace {

// Every message that a window of the recording class receives, in order.
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
LRESULT (*g_answer)(HWND, UINT, WPARAM, LPARAM) = nullptr;

LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(Seen{hwnd, message, wParam, lParam});
    if (g_answer != nullptr) {
        LRESULT r = g_answer(hwnd, message, wParam, lParam);
        if (r != 0) return r;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* const kRecorder = "TestRecorder";
const char* const kClicker = "TestClicker"; // asks for double-clicks

void registerClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = kRecorder;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    ASSERT_NE(RegisterClassA(&wc), 0);
    wc.style = CS_DBLCLKS;
    wc.lpszClassName = kClicker;
    ASSERT_NE(RegisterClassA(&wc), 0);
}

std::vector<UINT> messagesOf(HWND hwnd, std::initializer_list<UINT> only = {}) {
    std::vector<UINT> out;
    for (const Seen& s : g_seen) {
        if (s.hwnd != hwnd) continue;
        if (only.size() != 0 && std::find(only.begin(), only.end(), s.message) == only.end())
            continue;
        out.push_back(s.message);
    }
    return out;
}

class Windows : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        registerClasses();
        g_seen.clear();
        g_answer = nullptr;
    }
    void TearDown() override {
        g_answer = nullptr;
        WindowLeakCheckedTest::TearDown();
    }

    HWND topLevel(int x = 100, int y = 100, int w = 300, int h = 200, const char* cls = kRecorder) {
        return CreateWindowExA(0, cls, "top", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr,
                               nullptr, nullptr);
    }
    HWND child(HWND parent, int x, int y, int w, int h, DWORD style = WS_VISIBLE, DWORD exStyle = 0,
               int id = 7, const char* cls = kRecorder) {
        return CreateWindowExA(exStyle, cls, "child", WS_CHILD | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr,
                               nullptr);
    }
};

TEST_F(Windows, CreationSendsItsMessagesInOrder) {
    HWND top = topLevel();
    g_seen.clear();
    HWND c = child(top, 10, 20, 50, 40);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(
        messagesOf(c, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}),
        (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE,
                           WM_SHOWWINDOW}));
    EXPECT_EQ(messagesOf(top, {WM_PARENTNOTIFY}), std::vector<UINT>{WM_PARENTNOTIFY});
    EXPECT_EQ(GetWindowLongA(c, GWL_STYLE), static_cast<LONG>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(GetDlgCtrlID(c), 7);
    EXPECT_EQ(GetDlgItem(top, 7), c);
    EXPECT_EQ(GetParent(c), top);
    char text[16];
    EXPECT_EQ(GetWindowTextA(c, text, sizeof text), 5);
    EXPECT_STREQ(text, "child");

    g_seen.clear();
    HWND quiet = child(top, 0, 0, 5, 5, WS_VISIBLE, WS_EX_NOPARENTNOTIFY, 8);
    EXPECT_TRUE(messagesOf(top, {WM_PARENTNOTIFY}).empty()) << "WS_EX_NOPARENTNOTIFY";
    DestroyWindow(quiet);
    DestroyWindow(top);
}

// A class whose windows refuse to be made at one step.
UINT g_refusing = 0;
LRESULT CALLBACK refusingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(Seen{hwnd, message, wParam, lParam});
    if (message == g_refusing) return message == WM_NCCREATE ? FALSE : -1;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(Windows, RefusedCreationLeavesNothingBehind) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = refusingProc;
    wc.lpszClassName = "TestRefuser";
    RegisterClassA(&wc);
    struct Case {
        UINT refusing;
        std::vector<UINT> ending;
    };
    for (const Case& c :
         {Case{WM_NCCREATE, {WM_NCDESTROY}}, Case{WM_CREATE, {WM_DESTROY, WM_NCDESTROY}}}) {
        g_refusing = c.refusing;
        g_seen.clear();
        std::size_t before = winplatLiveWindows();
        EXPECT_EQ(CreateWindowExA(0, "TestRefuser", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr),
                  nullptr);
        ASSERT_FALSE(g_seen.empty());
        HWND gone = g_seen.front().hwnd;
        EXPECT_FALSE(IsWindow(gone));
        EXPECT_EQ(messagesOf(gone, {WM_DESTROY, WM_NCDESTROY}), c.ending);
        EXPECT_EQ(winplatLiveWindows(), before);
    }
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(
        CreateWindowExA(0, kRecorder, "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr)
        << "a child needs a parent";
    UnregisterClassA("TestRefuser", nullptr);
}

TEST_F(Windows, DestructionTellsParentsBeforeChildrenAndChildrenFirstAtTheEnd) {
    HWND top = topLevel();
    HWND a = child(top, 0, 0, 10, 10);
    HWND b = child(a, 0, 0, 5, 5);
    g_seen.clear();
    EXPECT_TRUE(DestroyWindow(top));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : g_seen) {
        if (s.message == WM_DESTROY || s.message == WM_NCDESTROY)
            order.emplace_back(s.hwnd, s.message);
    }
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{top, WM_DESTROY},
                                                         {a, WM_DESTROY},
                                                         {b, WM_DESTROY},
                                                         {b, WM_NCDESTROY},
                                                         {a, WM_NCDESTROY},
                                                         {top, WM_NCDESTROY}}));
    for (HWND h : {top, a, b})
        EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(top)) << "a stale handle is refused";
    HWND again = topLevel();
    EXPECT_NE(again, top) << "handles are never reused";
    EXPECT_EQ(SendMessageA(top, WM_GETTEXTLENGTH, 0, 0), 0);
    DestroyWindow(again);
}

TEST_F(Windows, FramesShrinkTheClientAreaAndCoordinatesMapThroughIt) {
    struct Case {
        DWORD style;
        DWORD exStyle;
        int inset;
    };
    HWND top = topLevel(100, 50, 400, 300);
    for (Case c : {Case{0, 0, 0}, Case{WS_BORDER, 0, 1}, Case{0, WS_EX_CLIENTEDGE, 2},
                   Case{WS_BORDER, WS_EX_CLIENTEDGE, 3}}) {
        HWND w = child(top, 10, 20, 100, 80, WS_VISIBLE | c.style, c.exStyle);
        RECT client, window;
        GetClientRect(w, &client);
        GetWindowRect(w, &window);
        EXPECT_EQ(client.right, 100 - 2 * c.inset);
        EXPECT_EQ(client.bottom, 80 - 2 * c.inset);
        EXPECT_EQ(window.left, 110);
        EXPECT_EQ(window.top, 70);
        POINT p{0, 0};
        ClientToScreen(w, &p);
        EXPECT_EQ(p.x, 110 + c.inset);
        EXPECT_EQ(p.y, 70 + c.inset);
        ScreenToClient(w, &p);
        EXPECT_EQ(p.x, 0);
        POINT q{110 + c.inset + 5, 70 + c.inset + 5};
        EXPECT_EQ(WindowFromPoint(q), w);
        DestroyWindow(w);
    }
    DestroyWindow(top);
}

TEST_F(Windows, FocusMovesWithKillFocusFirstAndLeavesHiddenOrDisabledWindows) {
    HWND top = topLevel();
    HWND a = child(top, 0, 0, 50, 50);
    HWND b = child(top, 60, 0, 50, 50);
    SetFocus(a);
    ASSERT_EQ(GetFocus(), a);
    g_seen.clear();
    EXPECT_EQ(SetFocus(b), a);
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : g_seen) {
        if (s.message == WM_SETFOCUS || s.message == WM_KILLFOCUS)
            order.emplace_back(s.hwnd, s.message);
    }
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{a, WM_KILLFOCUS}, {b, WM_SETFOCUS}}));

    EnableWindow(a, FALSE);
    EXPECT_EQ(SetFocus(a), nullptr) << "a disabled window takes no focus";
    EXPECT_EQ(GetFocus(), b);
    ShowWindow(b, SW_HIDE);
    EXPECT_EQ(GetFocus(), top) << "hiding the focus hands it to the parent";
    SetFocus(nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    DestroyWindow(top);
}

TEST_F(Windows, QueueHandsOutPostedMessagesThenQuitsWhenNothingCanCome) {
    HWND top = topLevel();
    winplatPumpMessages();
    PostMessageA(top, WM_USER + 1, 1, 0);
    PostMessageA(top, WM_USER + 2, 2, 0);
    PostMessageA(nullptr, WM_USER + 3, 3, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u) << "the range filter skips the first";
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0)) << "an empty headless queue ends the loop";
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));

    PostQuitMessage(3);
    PostMessageA(top, WM_USER + 4, 0, 0);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 4)) << "posted messages come first";
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
    DestroyWindow(top);
}

TEST_F(Windows, ClicksReachTheWindowUnderThePointOrTheCapture) {
    HWND top = topLevel(100, 100, 300, 200);
    HWND c = child(top, 10, 10, 100, 100, WS_VISIBLE | WS_BORDER);
    HWND off = child(top, 150, 10, 100, 100, WS_VISIBLE | WS_DISABLED);
    winplatPumpMessages();
    g_seen.clear();
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, 100 + 10 + 1 + 5, 100 + 10 + 1 + 6);
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, 100 + 10 + 1 + 5, 100 + 10 + 1 + 6);
    winplatPumpMessages();
    ASSERT_EQ(messagesOf(c, {WM_LBUTTONDOWN, WM_LBUTTONUP}),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    for (const Seen& s : g_seen) {
        if (s.hwnd == c && s.message == WM_LBUTTONDOWN) {
            EXPECT_EQ(GET_X_LPARAM(s.lParam), 5);
            EXPECT_EQ(GET_Y_LPARAM(s.lParam), 6);
            EXPECT_EQ(s.wParam, static_cast<WPARAM>(MK_LBUTTON));
        }
    }
    EXPECT_EQ(GetMessagePos(), static_cast<DWORD>(MAKELONG(116, 117)));

    g_seen.clear();
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, 100 + 160, 100 + 20);
    winplatPumpMessages();
    EXPECT_EQ(messagesOf(top, {WM_LBUTTONDOWN}), std::vector<UINT>{WM_LBUTTONDOWN})
        << "a disabled child lets the click through to its parent";
    EXPECT_TRUE(messagesOf(off).empty());
    winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, 100 + 160, 100 + 20);

    SetCapture(c);
    g_seen.clear();
    winplatInjectMouseMove(50, 50);
    winplatPumpMessages();
    ASSERT_EQ(messagesOf(c, {WM_MOUSEMOVE}), std::vector<UINT>{WM_MOUSEMOVE});
    EXPECT_EQ(GET_X_LPARAM(g_seen.back().lParam), 50 - 111)
        << "outside the window, in its coordinates";
    ReleaseCapture();
    DestroyWindow(top);
}

TEST_F(Windows, SecondClickIsADoubleClickOnlyWhenNearSoonAndAskedFor) {
    struct Case {
        const char* cls;
        int dx;
        DWORD wait;
        bool doubleClick;
    };
    const Case cases[] = {
        {kClicker, 0, 0, true},    {kClicker, 2, 0, true},   {kClicker, 3, 0, false},
        {kClicker, 0, 600, false}, {kRecorder, 0, 0, false},
    };
    for (const Case& c : cases) {
        HWND top = topLevel(100, 100, 300, 200, c.cls);
        winplatPumpMessages();
        g_seen.clear();
        for (int click = 0; click < 2; ++click) {
            int x = 150 + click * c.dx;
            winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, x, 150);
            winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, x, 150);
            winplatAdvanceInputClock(c.wait);
        }
        winplatPumpMessages();
        std::vector<UINT> expected{WM_LBUTTONDOWN, WM_LBUTTONUP,
                                   c.doubleClick ? static_cast<UINT>(WM_LBUTTONDBLCLK)
                                                 : static_cast<UINT>(WM_LBUTTONDOWN),
                                   WM_LBUTTONUP};
        EXPECT_EQ(messagesOf(top, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}), expected)
            << c.cls << " dx " << c.dx << " wait " << c.wait;
        DestroyWindow(top);
    }
}

TEST_F(Windows, KeysGoToTheFocusAndTheKeyStateFollowsTheMessages) {
    HWND top = topLevel();
    HWND c = child(top, 0, 0, 50, 50);
    SetFocus(c);
    static SHORT shiftSeen;
    g_answer = [](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m == WM_KEYDOWN && w == VK_TAB) shiftSeen = GetKeyState(VK_SHIFT);
        return 0;
    };
    g_seen.clear();
    winplatInjectKey(VK_SHIFT, TRUE);
    EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "not yet retrieved";
    EXPECT_NE(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0) << "but already down";
    winplatInjectKey(VK_TAB, TRUE);
    winplatInjectKey(VK_TAB, TRUE);
    winplatInjectKey(VK_TAB, FALSE);
    winplatInjectKey(VK_SHIFT, FALSE);
    winplatPumpMessages();
    EXPECT_LT(shiftSeen, 0) << "Shift was down when Tab was handled";
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);
    std::vector<LPARAM> tabs;
    for (const Seen& s : g_seen) {
        if (s.hwnd == c && (s.message == WM_KEYDOWN || s.message == WM_KEYUP) && s.wParam == VK_TAB)
            tabs.push_back(s.lParam);
    }
    ASSERT_EQ(tabs.size(), 3u);
    EXPECT_EQ(tabs[0] & (1 << 30), 0) << "first press";
    EXPECT_NE(tabs[1] & (1 << 30), 0) << "repeat";
    EXPECT_NE(static_cast<DWORD>(tabs[2]) & 0x80000000u, 0u) << "release";
    EXPECT_EQ(messagesOf(c, {WM_CHAR}).size(), 2u) << "TranslateMessage made a character per press";
    DestroyWindow(top);
}

TEST_F(Windows, SystemMetricsAndColoursAreTheClassicOnes) {
    struct Case {
        int index;
        int value;
    };
    for (Case c :
         {Case{SM_CXSCREEN, 1024}, Case{SM_CYSCREEN, 768}, Case{SM_CXEDGE, 2}, Case{SM_CYEDGE, 2},
          Case{SM_CXHTHUMB, 16}, Case{SM_CYVTHUMB, 16}, Case{SM_CXDOUBLECLK, 4}, Case{12345, 0}})
        EXPECT_EQ(GetSystemMetrics(c.index), c.value) << c.index;
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    EXPECT_EQ(GetSysColor(COLOR_3DFACE), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), RGB(10, 36, 106));
    EXPECT_EQ(GetSysColor(-1), 0u);
    NONCLIENTMETRICSA m{};
    EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &m, 0)) << "cbSize unset";
    m.cbSize = sizeof m;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0));
    EXPECT_STREQ(m.lfMessageFont.lfFaceName, "MS Sans Serif");
    EXPECT_LT(m.lfMessageFont.lfHeight, 0);
}

TEST_F(Windows, CursorShapesAreSharedAndTheClassCursorFollowsTheMouse) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    EXPECT_NE(arrow, wait);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    EXPECT_EQ(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(1)), nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = "TestWaitCursor";
    wc.hCursor = wait;
    RegisterClassA(&wc);
    HWND top = topLevel(100, 100, 200, 200, "TestWaitCursor");
    SetCursor(arrow);
    winplatInjectMouseMove(150, 150);
    winplatPumpMessages();
    EXPECT_EQ(GetCursor(), wait);
    DestroyWindow(top);
    UnregisterClassA("TestWaitCursor", nullptr);
}

} // namespace

namespace {

COLORREF screenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

TEST_F(Windows, WindowsComposeOnTheScreenInZOrderAndPaintOnlyWhatTheyShow) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = "TestBlue";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1);
    RegisterClassA(&wc);
    wc.lpszClassName = "TestGrey";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassA(&wc);
    const COLORREF white = GetSysColor(COLOR_WINDOW), blue = GetSysColor(COLOR_HIGHLIGHT),
                   grey = GetSysColor(COLOR_BTNFACE), desk = GetSysColor(COLOR_BACKGROUND);

    HWND top = CreateWindowExA(0, kRecorder, "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100,
                               300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND a = child(top, 10, 10, 100, 100, WS_VISIBLE | WS_CLIPSIBLINGS, 0, 1, "TestBlue");
    HWND b = child(top, 50, 50, 100, 100, WS_VISIBLE | WS_CLIPSIBLINGS, 0, 2, "TestGrey");
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(120, 120), blue);
    EXPECT_EQ(screenPixel(170, 170), blue) << "a newer child starts below its older siblings";
    EXPECT_EQ(screenPixel(350, 250), white);
    EXPECT_EQ(screenPixel(50, 50), desk);

    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(170, 170), grey) << "raised";
    EXPECT_EQ(screenPixel(120, 120), blue);
    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(170, 170), blue) << "raised again";

    g_seen.clear();
    InvalidateRect(top, nullptr, TRUE);
    winplatPumpMessages();
    EXPECT_EQ(messagesOf(a, {WM_PAINT}).size(), 0u) << "WS_CLIPCHILDREN keeps the children valid";
    EXPECT_EQ(screenPixel(120, 120), blue) << "the parent's paint left its children alone";

    SendMessageA(b, WM_SETREDRAW, FALSE, 0);
    ShowWindow(a, SW_HIDE);
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(120, 120), white) << "what the hidden window uncovered";
    EXPECT_NE(screenPixel(170, 170), grey) << "a window with redrawing off paints nothing";
    SendMessageA(b, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(b, nullptr, TRUE);
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(170, 170), grey);

    MoveWindow(b, 200, 100, 50, 50, TRUE);
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(170, 170), white) << "the old place was repainted by the parent";
    EXPECT_EQ(screenPixel(320, 220), grey);
    DestroyWindow(top);
    winplatPumpMessages();
    EXPECT_EQ(screenPixel(120, 120), desk);
    UnregisterClassA("TestBlue", nullptr);
    UnregisterClassA("TestGrey", nullptr);
}

} // namespace
