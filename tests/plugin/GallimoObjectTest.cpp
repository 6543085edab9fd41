#include "GallimoFixture.h"
#include "InputSteps.h"

#include <cstring>

using testing_support::GallimoFixture;

namespace {
std::string properties(CGallimoObject& o) {
    char buffer[1000];
    int length = sizeof buffer;
    o.GetProperties(buffer, &length);
    return buffer;
}
} // namespace

class GallimoObjectTest : public GallimoFixture {};

TEST_F(GallimoObjectTest, NewObjectDescribesItself) {
    EXPECT_EQ(properties(*object), "100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1");
    char type[16];
    int length = 10;
    EXPECT_EQ(object->GetTypeName(type, &length), -1) << "no room for the zero";
    EXPECT_EQ(length, 11);
    EXPECT_EQ(object->GetDefaultSize().cx, 200);
    EXPECT_EQ(object->GetDefaultSize().cy, 100);
    EXPECT_EQ(object->GetEventCount(), 4);
    const int flags[] = {object->GetFlagA(), object->GetFlagB(), object->GetFlagC(),
                         object->GetFlagD(), object->GetFlagE()};
    EXPECT_EQ(std::vector<int>(flags, flags + 5), (std::vector<int>{1, 0, 0, 0, 1}));

    struct Case {
        int index;
        const char *name, *arguments;
    };
    const Case events[] = {{0, "On Select", ""},
                           {1, "On Double-Click", "number e_Item"},
                           {2, "On Key", "number e_Key, table e_Modifiers"},
                           {3, "On Focus", ""}};
    for (const Case& c : events) {
        char info[400];
        std::memset(info, 'x', sizeof info);
        ASSERT_EQ(object->GetEventInfo(c.index, info), 1);
        EXPECT_STREQ(info, c.name);
        EXPECT_STREQ(info + 200, c.arguments);
    }
    char untouched[400];
    std::memset(untouched, 'x', sizeof untouched);
    EXPECT_EQ(object->GetEventInfo(4, untouched), 0);
    EXPECT_EQ(untouched[0], 'x');
}

TEST_F(GallimoObjectTest, PropertyStringSetsLeadingFieldsOnly) {
    char text[] = "50,,60";
    object->SetProperties(text);
    EXPECT_EQ(properties(*object), "50,60,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1");
}

TEST_F(GallimoObjectTest, WindowStylesFollowTheSettings) {
    struct Case {
        const char* properties;
        bool design;
        DWORD mustHave, mustLack, exStyle;
    };
    const Case cases[] = {
        // A thin border at design time: visible, disabled, bordered, no client edge.
        {"100,100,40,20,1,1,3,16777215,16777215,1,1,0,1,1,0,1,1,1", true,
         WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_BORDER | LVS_SINGLESEL | LVS_AUTOARRANGE |
             LVS_SHOWSELALWAYS,
         LVS_ALIGNLEFT, WS_EX_NOPARENTNOTIFY},
        // 3D border at run time, columns, several selected.
        {"100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,1,1,1,0", false,
         WS_CHILD | WS_VISIBLE | LVS_ALIGNLEFT, WS_DISABLED | WS_BORDER | LVS_SINGLESEL,
         WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY},
    };
    for (const Case& c : cases) {
        std::string writable = c.properties;
        object->SetProperties(writable.data());
        if (c.design)
            object->PositionDesignWindow(0, window->handle(), 5, 6, 205, 106, 1, 0);
        else
            object->PositionRunWindow(0, window->handle(), 5, 6, 205, 106, 1, 1);
        HWND list = object->GetWindowHandle();
        ASSERT_NE(list, nullptr) << c.properties;
        const DWORD style = static_cast<DWORD>(GetWindowLongA(list, GWL_STYLE));
        EXPECT_EQ(style & c.mustHave, c.mustHave) << c.properties;
        EXPECT_EQ(style & c.mustLack, 0u) << c.properties;
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(list, GWL_EXSTYLE)), c.exStyle) << c.properties;
        char name[32] = {};
        GetClassNameA(list, name, sizeof name);
        EXPECT_STREQ(name, "SysListView32");
        EXPECT_EQ(GetDlgCtrlID(list), 10021);
        RECT r{};
        GetWindowRect(list, &r);
        EXPECT_EQ(r.right - r.left, 200);
        EXPECT_EQ(r.bottom - r.top, 100);
        object->DestroyObjectWindow();
        EXPECT_EQ(object->GetWindowHandle(), nullptr);
    }
}

TEST_F(GallimoObjectTest, TheImageListOutlivesTheWindow) {
    placeAtRunTime();
    image("a.bmp", 20, 10);
    ASSERT_EQ(number("Gallimo.AddFiles('Thumbs', {'a.bmp'})"), 1);
    HIMAGELIST list = object->m_imageList.GetSafeHandle();
    object->PositionDesignWindow(0, window->handle(), 0, 0, 10, 10, 0, 0);
    EXPECT_EQ(object->GetWindowHandle(), nullptr) << "show 0 takes the window down";
    EXPECT_EQ(ImageList_GetImageCount(list), 1) << "the list view does not own the image list";
    placeAtRunTime();
    EXPECT_EQ(object->m_imageList.GetSafeHandle(), list);
    EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 1)
        << "the next window shows the items again";
}

TEST_F(GallimoObjectTest, ThePropertiesDialogStoresOnlyAfterOk) {
    using testing_support::InputSteps;
    char text[] = "100,100,40,20,1,1,3,16777215,16777215,2,0,0,1,1,0,7,8,1";
    object->SetProperties(text);
    {
        // "Show Frame" is the dialog's check box 5010: tick it, then cancel.
        InputSteps steps({[] { testing_support::clickWindow(GetDlgItem(GetActiveWindow(), 5010)); },
                          [] { testing_support::pressKey(VK_ESCAPE); }});
        EXPECT_EQ(object->ShowPropertiesDialog("C:\\help\\\\"), 0);
    }
    testing_support::dropQuit();
    EXPECT_EQ(object->m_properties.showFrame, 0);
    {
        InputSteps steps(
            {[] { testing_support::clickWindow(GetDlgItem(GetActiveWindow(), 5010)); },
             [] { testing_support::clickWindow(GetDlgItem(GetActiveWindow(), IDOK)); }});
        EXPECT_EQ(object->ShowPropertiesDialog("C:\\help"), 1);
    }
    testing_support::dropQuit();
    EXPECT_EQ(properties(*object), "100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,7,8,1")
        << "the two reserved fields are kept as they were";
}
