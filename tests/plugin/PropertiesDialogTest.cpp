#include "CPropertiesDlg.h"
#include "InputSteps.h"
#include "WindowCheck.h"
#include "winplat/input.h"
#include "winplat/screen.h"

#include <gtest/gtest.h>
#include <string>

using gallimo::GallimoProperties;
using namespace testing_support;

namespace {

HWND dialog() {
    return GetActiveWindow();
}
HWND item(int id) {
    return GetDlgItem(GetActiveWindow(), id);
}
std::string text(int id) {
    return windowText(item(id));
}
bool enabled(int id) {
    return IsWindowEnabled(item(id)) != FALSE;
}

std::string format(const GallimoProperties& p) {
    char out[1000];
    p.format(out);
    return out;
}

// Replaces an edit's text the way a user would: a click, everything selected, then typing.
void retype(int id, const std::string& value) {
    clickWindow(item(id));
    pressKey(VK_HOME);
    pressKey(VK_END, VK_SHIFT);
    typeText(value);
}

void clickArrow(int updown, bool up) {
    RECT r{};
    GetClientRect(item(updown), &r);
    clickAt(item(updown), r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
}

class PropertiesDialog : public WindowLeakCheckedTest {
protected:
    void TearDown() override {
        dropQuit();
        WindowLeakCheckedTest::TearDown();
    }
    int edit(std::vector<InputSteps::Step> steps) {
        InputSteps driver(std::move(steps));
        return gallimo::EditProperties(m_properties, "/no/such/folder/Gallimo.htm");
    }
    GallimoProperties m_properties;
};

const int kFrameControls[] = {5012, 5011, 5014, 5013, 5017, 5015, 5016};

} // namespace

TEST_F(PropertiesDialog, OpensWithTheFieldsInTheTemplatesPlaces) {
    m_properties.labelMode = 3;
    m_properties.resizeMode = 1;
    m_properties.windowBorder = 0;
    m_properties.thumbWidth = 321;
    m_properties.multipleSelection = 1;
    const std::string before = format(m_properties);
    // Pictures of the dialog and of its open palette, for people to look at.
    const std::string shot = ::testing::TempDir() + "gallimo-properties.png";
    const std::string paletteShot = ::testing::TempDir() + "gallimo-palette.png";
    EXPECT_EQ(edit({[&] {
                        EXPECT_EQ(windowText(dialog()), "Gallimo Plugin Properties");
                        struct Case {
                            int id;
                            const char* text;
                        };
                        const Case texts[] = {
                            {5000, "321"},
                            {5002, "100"},
                            {5004, "40"},
                            {5006, "20"},
                            {5015, "3"},
                            {5008, "File title"},
                            {5022, "Maintain Aspect"},
                            {5009, "None"},
                            {5011, ""},
                            {5013, ""},
                            {5026, ""},
                            {5010, "Show &Frame Around Thumbnail"},
                            {5012, "&Border Color:"},
                            {5014, "Fill Co&lor:"},
                            {5017, "Minimum &Padding:"},
                            {5025, "B&ack Color:"},
                            {1, "&OK"},
                            {2, "&Cancel"},
                            {3, "&Help"},
                        };
                        for (const Case& c : texts)
                            EXPECT_EQ(text(c.id), c.text) << c.id;
                        EXPECT_EQ(IsDlgButtonChecked(dialog(), 5019), BST_CHECKED);
                        EXPECT_EQ(IsDlgButtonChecked(dialog(), 5018), BST_CHECKED);
                        EXPECT_EQ(SendMessageA(item(5008), CB_GETCOUNT, 0, 0), 4);
                        struct Range {
                            int id, lower, upper;
                        };
                        for (const Range& r :
                             {Range{5001, 10, 2000}, Range{5003, 10, 2000}, Range{5005, 0, 2000},
                              Range{5016, 0, 2000}, Range{5007, 0, 2000}}) {
                            const auto packed =
                                static_cast<DWORD>(SendMessageA(item(r.id), UDM_GETRANGE, 0, 0));
                            EXPECT_EQ(static_cast<SHORT>(HIWORD(packed)), r.lower) << r.id;
                            EXPECT_EQ(static_cast<SHORT>(LOWORD(packed)), r.upper) << r.id;
                        }
                        // Controls the dialog leaves where the template puts them, in pixels.
                        struct Place {
                            int id, x, y, cx, cy;
                        };
                        const Place places[] = {{5010, 15, 68, 115, 10},   {5012, 15, 84, 42, 8},
                                                {5014, 136, 84, 29, 8},    {5018, 148, 136, 47, 10},
                                                {5023, 148, 172, 101, 10}, {1, 53, 217, 50, 14},
                                                {2, 106, 217, 50, 14},     {3, 159, 217, 50, 14}};
                        for (const Place& p : places) {
                            // Place and size convert on their own, as controls are made.
                            RECT expected{p.x, p.y, p.cx, p.cy};
                            MapDialogRect(dialog(), &expected);
                            expected.right += expected.left;
                            expected.bottom += expected.top;
                            RECT r{};
                            GetWindowRect(item(p.id), &r);
                            MapWindowPoints(nullptr, dialog(), reinterpret_cast<POINT*>(&r), 2);
                            EXPECT_TRUE(EqualRect(&r, &expected)) << p.id;
                        }
                        // The up-down sits on its edit's right edge; the picker has the arrow's
                        // height.
                        RECT edit{}, arrows{}, picker{};
                        GetWindowRect(item(5000), &edit);
                        GetWindowRect(item(5001), &arrows);
                        GetWindowRect(item(5011), &picker);
                        EXPECT_EQ(arrows.left, edit.right - 2);
                        EXPECT_EQ(arrows.top, edit.top);
                        EXPECT_EQ(arrows.bottom, edit.bottom);
                        EXPECT_EQ(picker.bottom - picker.top, 16 + 2 * GetSystemMetrics(SM_CYEDGE));
                        EXPECT_EQ(GetDlgCtrlID(GetFocus()), 5000) << "the first tab stop";
                        EXPECT_TRUE(winplatSaveScreenPng(shot.c_str()));
                        clickWindow(item(5011));
                    },
                    [&] {
                        EXPECT_NE(windowText(GetActiveWindow()), "Gallimo Plugin Properties")
                            << "the border colour's palette is open";
                        EXPECT_TRUE(winplatSaveScreenPng(paletteShot.c_str()));
                        pressKey(VK_ESCAPE);
                    },
                    [] { pressKey(VK_ESCAPE); }}),
              0);
    EXPECT_EQ(format(m_properties), before);
}

TEST_F(PropertiesDialog, TheFrameControlsFollowTheShowFrameBox) {
    m_properties.showFrame = 0;
    const auto all = [](bool expected) {
        for (int id : kFrameControls)
            EXPECT_EQ(enabled(id), expected) << id;
    };
    EXPECT_EQ(edit({[&] {
                        all(false);
                        EXPECT_TRUE(enabled(5010));
                        clickWindow(item(5010));
                    },
                    [&] {
                        all(true);
                        clickWindow(item(5010));
                    },
                    [&] {
                        all(false);
                        pressKey('F', VK_MENU);
                    },
                    [&] {
                        all(true); // the mnemonic clicks the box too
                        clickWindow(item(IDOK));
                    }}),
              1);
    EXPECT_EQ(m_properties.showFrame, 1);
}

TEST_F(PropertiesDialog, TypedValuesAreKeptWhileTheArrowsStopAtTheRange) {
    struct Case {
        int edit, updown;
        const char* start;
        bool up;
        const char* after; // two clicks later
    };
    const Case cases[] = {
        {5000, 5001, "1999", true, "2000"}, {5000, 5001, "11", false, "10"},
        {5002, 5003, "1999", true, "2000"}, {5002, 5003, "11", false, "10"},
        {5004, 5005, "1", false, "0"},      {5015, 5016, "1999", true, "2000"},
        {5006, 5007, "0", false, "0"},      {5004, 5005, "2000", true, "2000"},
    };
    for (const Case& c : cases) {
        m_properties = GallimoProperties{};
        EXPECT_EQ(edit({[&] { retype(c.edit, c.start); },
                        [&] {
                            EXPECT_EQ(text(c.edit), c.start);
                            clickArrow(c.updown, c.up);
                            clickArrow(c.updown, c.up);
                        },
                        [&] {
                            EXPECT_EQ(text(c.edit), c.after) << c.edit << " from " << c.start;
                            pressKey(VK_ESCAPE);
                        }}),
                  0);
    }
    EXPECT_EQ(edit({[] { typeText("5000"); }, [] { pressKey(VK_RETURN); }}), 1)
        << "the width edit has the focus with its text selected";
    EXPECT_EQ(m_properties.thumbWidth, 5000) << "a typed value past the range is stored";
    EXPECT_EQ(edit({[] { retype(5002, "150"); }, [] { pressKey(VK_UP); },
                    [] {
                        EXPECT_EQ(text(5002), "151") << "the Up key steps in the buddy";
                        clickWindow(item(IDOK));
                    }}),
              1);
    EXPECT_EQ(m_properties.thumbHeight, 151);
}

TEST_F(PropertiesDialog, CancelLeavesEveryField) {
    m_properties.frameColour = RGB(1, 2, 3);
    const std::string before = format(m_properties);
    const auto change = [] {
        retype(5000, "77");
        retype(5015, "9");
        clickWindow(item(5010));
        clickWindow(item(5019));
        clickWindow(item(5008));
    };
    const auto more = [] {
        pressKey(VK_DOWN);
        pressKey(VK_RETURN);
        clickWindow(item(5022));
        pressKey(VK_UP);
        pressKey(VK_RETURN);
    };
    EXPECT_EQ(edit({change, more, [] { clickWindow(item(IDCANCEL)); }}), 0);
    EXPECT_EQ(format(m_properties), before);
    EXPECT_EQ(edit({change, more, [] { pressKey(VK_ESCAPE); }}), 0);
    EXPECT_EQ(format(m_properties), before);
    EXPECT_EQ(edit({change, more, [] { pressKey(VK_RETURN); }}), 1);
    EXPECT_NE(format(m_properties), before);
    EXPECT_EQ(m_properties.thumbWidth, 77);
    EXPECT_EQ(m_properties.minimumPadding, 9);
    EXPECT_EQ(m_properties.showFrame, 0);
    EXPECT_EQ(m_properties.multipleSelection, 1);
    EXPECT_EQ(m_properties.labelMode, 2);
    EXPECT_EQ(m_properties.resizeMode, 0);
    EXPECT_EQ(m_properties.frameColour, RGB(1, 2, 3));
}

TEST_F(PropertiesDialog, ANonIntegerIsRefusedAndTheDialogStaysOpen) {
    HWND box = nullptr;
    const auto prompt = [&] {
        box = GetActiveWindow();
        EXPECT_NE(box, nullptr);
        EXPECT_NE(box, GetParent(item(5000)));
        EXPECT_EQ(windowText(GetDlgItem(box, WINPLAT_MESSAGE_BOX_TEXT)),
                  "Please enter an integer.");
        pressKey(VK_RETURN);
    };
    EXPECT_EQ(edit({[] { retype(5004, "12x"); }, [] { clickWindow(item(IDOK)); }, prompt,
                    [&] {
                        EXPECT_FALSE(IsWindow(box));
                        EXPECT_EQ(GetDlgCtrlID(GetFocus()), 5004) << "back in the bad edit";
                        DWORD from = 1, to = 0;
                        SendMessageA(item(5004), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                                     reinterpret_cast<LPARAM>(&to));
                        EXPECT_EQ(to - from, 3u) << "with its text selected";
                        clickWindow(item(5010)); // the frame box reads the fields too
                    },
                    prompt,
                    [] {
                        EXPECT_FALSE(enabled(5011)) << "the controls still follow the box";
                        SetWindowTextA(item(5004), "  -12 ");
                        pressKey(VK_RETURN);
                    }}),
              1);
    EXPECT_EQ(m_properties.verticalSpacing, -12) << "blanks around a signed number are fine";
    EXPECT_EQ(m_properties.showFrame, 0);
    for (const char* bad : {"\b", "1 2", "99999999999", "0x10"}) {
        EXPECT_EQ(edit({[&] { retype(5000, bad); }, [] { pressKey(VK_RETURN); }, prompt,
                        [] { pressKey(VK_ESCAPE); }}),
                  0)
            << bad;
    }
}

TEST_F(PropertiesDialog, EverythingItMadeGoesWithIt) {
    const std::size_t windows = winplatLiveWindows();
    const std::size_t gdi = winplatLiveGdiObjects(WINPLAT_GDI_ALL);
    const std::size_t dcs = winplatLiveGdiObjects(WINPLAT_GDI_DCS);
    EXPECT_EQ(edit({[] { clickWindow(item(5026)); },
                    [] {
                        for (int i = 0; i < 3; ++i)
                            pressKey(VK_DOWN); // "More", "Automatic", black
                    },
                    [&] {
                        EXPECT_GT(winplatLiveWindows(), windows + 40)
                            << "the dialog, its controls, the palette";
                        EXPECT_GT(winplatLiveGdiObjects(WINPLAT_GDI_ALL), gdi);
                        pressKey(VK_RETURN);
                    },
                    [] { clickWindow(item(5008)); }, [] { clickWindow(item(IDCANCEL)); },
                    [] {
                        EXPECT_FALSE(SendMessageA(item(5008), CB_GETDROPPEDSTATE, 0, 0))
                            << "a click outside closed the list and went no further";
                        clickWindow(item(IDOK));
                    }}),
              1);
    EXPECT_EQ(m_properties.backgroundColour, RGB(0, 0, 0));
    EXPECT_EQ(winplatLiveWindows(), windows);
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_ALL), gdi);
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_DCS), dcs);
}

TEST_F(PropertiesDialog, LeavingTheApplicationWithAPaletteOpenComesBackToTheDialog) {
    m_properties.frameColour = RGB(1, 2, 3);
    HWND properties = nullptr;
    EXPECT_EQ(edit({[&] {
                        properties = dialog();
                        clickWindow(item(5011));
                    },
                    [&] {
                        HWND palette = GetActiveWindow();
                        ASSERT_NE(palette, properties) << "the border colour's palette is open";
                        winplatSetApplicationActive(FALSE);
                        EXPECT_FALSE(IsWindow(palette)) << "the choice is cancelled";
                        winplatSetApplicationActive(TRUE);
                        EXPECT_EQ(GetActiveWindow(), properties);
                    },
                    [&] {
                        // The caption band, between the frame and the client area.
                        POINT client{2, 0};
                        ClientToScreen(properties, &client);
                        const int y = client.y - GetSystemMetrics(SM_CYCAPTION) / 2;
                        HDC screen = GetDC(nullptr);
                        EXPECT_EQ(GetPixel(screen, client.x, y), GetSysColor(COLOR_ACTIVECAPTION))
                            << "the caption shows the dialog active";
                        ReleaseDC(nullptr, screen);
                        pressKey(VK_RETURN);
                    }}),
              1)
        << "Return reaches the dialog's default button";
    EXPECT_EQ(m_properties.frameColour, RGB(1, 2, 3));
}

TEST_F(PropertiesDialog, HelpWithoutItsFileDoesNothing) {
    EXPECT_EQ(edit({[] { clickWindow(item(3)); },
                    [] {
                        EXPECT_EQ(windowText(GetActiveWindow()), "Gallimo Plugin Properties");
                        clickWindow(item(IDOK));
                    }}),
              1);
}
