#include "InputSteps.h"
#include "WindowCheck.h"
#include "win32/win32.h"
#include "winplat/input.h"
#include "winplat/screen.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const char kTemplate[] = R"(// a dialog with one of each control the dialog manager knows
DIALOG 10, 10, 200, 120
STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
CAPTION "Tester ""one"""
FONT 8, "MS Sans Serif"
CONTROL "&Name:", -1, "Static", SS_LEFT | WS_GROUP, 7, 9, 30, 8
CONTROL "", 100, "Edit", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 40, 7, 60, 14
CONTROL "", 101, "msctls_updown32", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 90, 7, 11, 14
CONTROL "&Check", 102, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 7, 26, 60, 10
CONTROL "&List:", -1, "Static", SS_LEFT | WS_GROUP, 7, 42, 30, 8
CONTROL "", 103, "ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 40, 40, 60, 50
CONTROL "Hidden", 104, "Button", BS_PUSHBUTTON | WS_TABSTOP | NOT WS_VISIBLE, 7, 60, 50, 14
CONTROL "OK", 1, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 40, 100, 50, 14
CONTROL "Cancel", 2, "Button", BS_PUSHBUTTON | WS_TABSTOP, 100, 100, 50, 14
)";

struct Recorded {
    std::vector<std::pair<int, int>> commands; // id, code
    bool initialised = false;
};
Recorded g_recorded;

LONG_PTR CALLBACK recordingDialog(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        g_recorded.initialised = true;
        for (const char* item : {"Alpha", "Beta", "Gamma"})
            SendDlgItemMessageA(hwnd, 103, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        SendDlgItemMessageA(hwnd, 101, UDM_SETRANGE, 0, MAKELPARAM(12, 10));
        SendDlgItemMessageA(hwnd, 101, UDM_SETPOS, 0, MAKELPARAM(11, 0));
        return TRUE;
    }
    if (message == WM_COMMAND) {
        g_recorded.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

class Dialogs : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        g_recorded = Recorded{};
    }
    void TearDown() override {
        dropQuit();
        WindowLeakCheckedTest::TearDown();
    }
    static HWND dialog() { return GetActiveWindow(); }
    static HWND item(int id) { return GetDlgItem(GetActiveWindow(), id); }
    static int focusId() { return GetDlgCtrlID(GetFocus()); }
    INT_PTR run(std::vector<InputSteps::Step> steps) {
        InputSteps driver(std::move(steps));
        return DialogBoxIndirectParamA(nullptr, kTemplate, nullptr, &recordingDialog, 0);
    }
};

SIZE expectedBaseUnits() {
    LOGFONTA lf{};
    lf.lfHeight = -11;
    std::strcpy(lf.lfFaceName, "MS Sans Serif");
    HFONT font = CreateFontIndirectA(&lf);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &extent);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return SIZE{(extent.cx / 26 + 1) / 2, tm.tmHeight};
}

int mulDiv(int a, int b, int c) {
    return (a * b + c / 2) / c;
}

} // namespace

TEST_F(Dialogs, TemplatesAreLaidOutInDialogUnitsOfTheirFont) {
    HWND dlg = CreateDialogIndirectParamA(nullptr, kTemplate, nullptr, &recordingDialog, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(g_recorded.initialised);
    EXPECT_EQ(windowText(dlg), "Tester \"one\"");
    EXPECT_FALSE(IsWindowVisible(dlg)) << "a template without WS_VISIBLE stays hidden";
    EXPECT_NE(GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);

    const SIZE base = expectedBaseUnits();
    RECT units{0, 0, 4, 8};
    ASSERT_TRUE(MapDialogRect(dlg, &units));
    EXPECT_EQ(units.right, base.cx);
    EXPECT_EQ(units.bottom, base.cy);
    RECT client{};
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, mulDiv(200, base.cx, 4));
    EXPECT_EQ(client.bottom, mulDiv(120, base.cy, 8));
    POINT origin{0, 0};
    ClientToScreen(dlg, &origin);
    RECT frame{};
    GetWindowRect(dlg, &frame);
    EXPECT_EQ(frame.left, mulDiv(10, base.cx, 4)) << "no owner: the template's place on the screen";
    EXPECT_EQ(origin.y - frame.top, 3 + GetSystemMetrics(SM_CYCAPTION));

    struct Case {
        int id, x, y, cx, cy;
    };
    const Case cases[] = {{102, 7, 26, 60, 10}, {1, 40, 100, 50, 14}, {2, 100, 100, 50, 14}};
    for (const Case& c : cases) {
        RECT r{};
        GetWindowRect(GetDlgItem(dlg, c.id), &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, mulDiv(c.x, base.cx, 4)) << c.id;
        EXPECT_EQ(r.top, mulDiv(c.y, base.cy, 8)) << c.id;
        EXPECT_EQ(r.right - r.left, mulDiv(c.cx, base.cx, 4)) << c.id;
        EXPECT_EQ(r.bottom - r.top, mulDiv(c.cy, base.cy, 8)) << c.id;
    }
    EXPECT_EQ(GetWindow(dlg, GW_CHILD), GetWindow(GetDlgItem(dlg, 100), GW_HWNDPREV))
        << "controls lie in template order";
    EXPECT_NE(GetWindowLongA(GetDlgItem(dlg, 100), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0)
        << "a bordered edit gets the sunken 3D edge";
    EXPECT_EQ(LOWORD(SendMessageA(dlg, DM_GETDEFID, 0, 0)), IDOK);
    DestroyWindow(dlg);
}

TEST_F(Dialogs, BrokenTemplatesMakeNoDialog) {
    for (const char* bad :
         {"", "DIALOG 1, 2, 3",
          "DIALOG 0,0,10,10\nCONTROL \"x\", 1, \"NoSuchClass\", 0, 0, 0, 1, 1",
          "DIALOG 0,0,10,10\nSTYLE WS_NOTHING", "DIALOG 0,0,10,10\nCAPTION \"open"}) {
        EXPECT_EQ(CreateDialogIndirectParamA(nullptr, bad, nullptr, &recordingDialog, 0), nullptr)
            << bad;
        EXPECT_EQ(DialogBoxIndirectParamA(nullptr, bad, nullptr, &recordingDialog, 0), -1) << bad;
    }
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, nullptr, nullptr, nullptr, 0), nullptr);
}

TEST_F(Dialogs, TheDialogManagerMovesTheFocusAndPressesButtons) {
    struct Case {
        const char* what;
        UINT vk;
        UINT modifier;
        int focus; // after the key
    };
    const Case cases[] = {
        {"Tab", VK_TAB, 0, 102},
        {"Tab", VK_TAB, 0, 103},
        {"Tab skips the hidden button", VK_TAB, 0, IDOK},
        {"Tab", VK_TAB, 0, IDCANCEL},
        {"Tab wraps", VK_TAB, 0, 100},
        {"Shift+Tab wraps back", VK_TAB, VK_SHIFT, IDCANCEL},
        {"Alt+N: a label's mnemonic goes to the next control", 'N', VK_MENU, 100},
        {"Alt+L", 'L', VK_MENU, 103},
        {"Alt+C clicks the check box", 'C', VK_MENU, 102},
        {"a plain letter is a mnemonic where no control wants it", 'n', 0, 100},
    };
    std::vector<InputSteps::Step> steps;
    steps.push_back([] {
        EXPECT_EQ(focusId(), 100) << "the first tab stop";
        DWORD from = 1, to = 0;
        SendMessageA(item(100), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(from, 0u);
        EXPECT_EQ(to, 2u) << "its text is selected";
        EXPECT_EQ(windowText(item(100)), "11");
    });
    for (const Case& c : cases) {
        steps.push_back([c] { pressKey(c.vk == 'n' ? 'N' : c.vk, c.modifier); });
        steps.push_back([c] { EXPECT_EQ(focusId(), c.focus) << c.what; });
    }
    steps.push_back([] {
        EXPECT_EQ(IsDlgButtonChecked(dialog(), 102), BST_CHECKED);
        pressKey(VK_RETURN);
    });
    EXPECT_EQ(run(steps), IDOK) << "Return in an edit presses the default button";
    const std::pair<int, int> check{102, BN_CLICKED};
    EXPECT_NE(std::find(g_recorded.commands.begin(), g_recorded.commands.end(), check),
              g_recorded.commands.end());
}

TEST_F(Dialogs, ReturnPressesTheFocusedPushButtonAndEscapeCancels) {
    EXPECT_EQ(run({[] { SetFocus(item(IDCANCEL)); },
                   [] {
                       EXPECT_EQ(GetWindowLongA(item(IDCANCEL), GWL_STYLE) & BS_TYPEMASK,
                                 BS_DEFPUSHBUTTON)
                           << "the focused push button looks like the default";
                       EXPECT_EQ(GetWindowLongA(item(IDOK), GWL_STYLE) & BS_TYPEMASK,
                                 BS_PUSHBUTTON);
                       pressKey(VK_RETURN);
                   }}),
              IDCANCEL);
    EXPECT_EQ(run({[] { pressKey(VK_ESCAPE); }}), IDCANCEL);
    EXPECT_EQ(run({[] {
                  RECT r{};
                  GetWindowRect(dialog(), &r);
                  const int x = r.right - 13, y = r.top + 13;
                  winplatInjectMouseMove(x, y);
                  winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, x, y);
                  winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, x, y);
              }}),
              IDCANCEL)
        << "the close box";
    EXPECT_EQ(run({[] { clickWindow(item(IDOK)); }}), IDOK);
    EXPECT_EQ(run({}), 0) << "a loop that runs out of input ends";
}
TEST_F(Dialogs, UpDownsStepTheirBuddyWithinTheRange) {
    const auto arrow = [](bool up) {
        RECT r{};
        GetClientRect(item(101), &r);
        clickAt(item(101), r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
    };
    EXPECT_EQ(
        run({[=] {
                 RECT edit{}, arrows{};
                 GetWindowRect(item(100), &edit);
                 GetWindowRect(item(101), &arrows);
                 EXPECT_EQ(arrows.left, edit.right - 2) << "on the buddy's right border";
                 EXPECT_EQ(arrows.bottom - arrows.top, edit.bottom - edit.top);
                 EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(item(101), UDM_GETBUDDY, 0, 0)),
                           item(100));
                 arrow(true);
                 arrow(true);
             },
             [=] {
                 EXPECT_EQ(windowText(item(100)), "12") << "the upper end holds";
                 for (int i = 0; i < 3; ++i)
                     pressKey(VK_DOWN);
             },
             [=] {
                 EXPECT_EQ(windowText(item(100)), "10")
                     << "the Down key steps in the buddy, to the lower end";
                 SetWindowTextA(item(100), "x1");
                 EXPECT_EQ(HIWORD(SendMessageA(item(101), UDM_GETPOS, 0, 0)), 1) << "not a number";
                 arrow(true);
             },
             [] {
                 EXPECT_EQ(windowText(item(100)), "11")
                     << "a bad text steps from the last good position";
                 pressKey(VK_ESCAPE);
             }}),
        IDCANCEL);
}

TEST_F(Dialogs, DropDownListsSelectWithKeysAndClicks) {
    const auto selection = [] {
        return static_cast<int>(SendMessageA(item(103), CB_GETCURSEL, 0, 0));
    };
    EXPECT_EQ(run({[] { SetFocus(item(103)); },
                   [=] {
                       EXPECT_EQ(selection(), -1);
                       EXPECT_EQ(windowText(item(103)), "");
                       pressKey(VK_DOWN);
                       pressKey(VK_END);
                       typeText("b");
                   },
                   [=] {
                       EXPECT_EQ(selection(), 1);
                       EXPECT_EQ(windowText(item(103)), "Beta");
                       clickWindow(item(103));
                   },
                   [=] {
                       EXPECT_TRUE(SendMessageA(item(103), CB_GETDROPPEDSTATE, 0, 0));
                       pressKey(VK_ESCAPE);
                   },
                   [=] {
                       EXPECT_FALSE(SendMessageA(item(103), CB_GETDROPPEDSTATE, 0, 0))
                           << "Escape closed the list, not the dialog";
                       clickWindow(item(103));
                   },
                   [=] {
                       HWND list = GetCapture();
                       ASSERT_NE(list, nullptr);
                       RECT r{};
                       GetClientRect(list, &r);
                       clickAt(list, 5, r.bottom - 3); // the last item
                   },
                   [=] {
                       EXPECT_EQ(selection(), 2);
                       pressKey(VK_RETURN);
                   }}),
              IDOK);
    int changes = 0;
    for (const auto& c : g_recorded.commands)
        changes += c.first == 103 && c.second == CBN_SELCHANGE;
    EXPECT_EQ(changes, 4) << "Down, End, the letter and the click";
}

TEST_F(Dialogs, MessageBoxesAnswerWithTheButtonPressed) {
    struct Case {
        UINT type;
        UINT key;
        UINT modifier;
        int expected;
    };
    const Case cases[] = {
        {MB_OK, VK_RETURN, 0, IDOK},
        {MB_OK | MB_ICONEXCLAMATION, VK_ESCAPE, 0, IDOK},
        {MB_OKCANCEL, VK_ESCAPE, 0, IDCANCEL},
        {MB_OKCANCEL | MB_DEFBUTTON2, VK_RETURN, 0, IDCANCEL},
        {MB_YESNO, 'N', VK_MENU, IDNO},
        {MB_YESNO, 'Y', 0, IDYES},
        {MB_YESNOCANCEL, VK_ESCAPE, 0, IDCANCEL},
    };
    for (const Case& c : cases) {
        std::string seen;
        InputSteps driver({[&] {
            seen = windowText(GetDlgItem(GetActiveWindow(), WINPLAT_MESSAGE_BOX_TEXT));
            EXPECT_EQ(windowText(GetActiveWindow()), "Caption");
            pressKey(c.key, c.modifier);
        }});
        EXPECT_EQ(MessageBoxA(nullptr, "Two & \"lines\"\nof text", "Caption", c.type), c.expected)
            << c.type << " " << c.key;
        EXPECT_EQ(seen, "Two & \"lines\"\nof text");
    }
    InputSteps stuck({[] { pressKey(VK_ESCAPE); }});
    EXPECT_EQ(MessageBoxA(nullptr, "Yes or no?", nullptr, MB_YESNO), 0)
        << "Escape cannot leave a box without Cancel; the input ran out";
}

TEST_F(Dialogs, TheColourDialogGivesTheColourChosen) {
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof cc;
    cc.rgbResult = RGB(5, 6, 7);
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    const auto field = [](int id) { return windowText(GetDlgItem(GetActiveWindow(), id)); };
    {
        InputSteps driver({[&] {
                               EXPECT_EQ(field(WINPLAT_COLOUR_RED), "5");
                               EXPECT_EQ(field(WINPLAT_COLOUR_BLUE), "7");
                               HWND grid = GetDlgItem(GetActiveWindow(), WINPLAT_COLOUR_GRID);
                               clickAt(grid, 3, 3); // the first basic colour
                           },
                           [&] {
                               EXPECT_EQ(field(WINPLAT_COLOUR_RED), "255");
                               clickWindow(GetDlgItem(GetActiveWindow(), WINPLAT_COLOUR_BLUE));
                               pressKey(VK_END);
                               typeText("\b\b\b42");
                               pressKey(VK_RETURN);
                           }});
        EXPECT_TRUE(ChooseColorA(&cc));
    }
    EXPECT_EQ(GetBValue(cc.rgbResult), 42);
    EXPECT_EQ(GetRValue(cc.rgbResult), 255);
    {
        const COLORREF before = cc.rgbResult;
        InputSteps driver({[] { pressKey(VK_ESCAPE); }});
        EXPECT_FALSE(ChooseColorA(&cc));
        EXPECT_EQ(CommDlgExtendedError(), 0u) << "a cancel is no error";
        EXPECT_EQ(cc.rgbResult, before);
    }
    cc.lStructSize = 3;
    EXPECT_FALSE(ChooseColorA(&cc));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    EXPECT_FALSE(ChooseColorA(nullptr));
}
