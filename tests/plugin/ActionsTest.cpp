#include "GallimoFixture.h"

#include <climits>
#include <cstdio>

using testing_support::GallimoFixture;

class ActionsTest : public GallimoFixture {
protected:
    void SetUp() override {
        GallimoFixture::SetUp();
        placeAtRunTime();
        for (const char* name : {"c.bmp", "a.bmp", "b.bmp"})
            image(name, 40, 30);
    }
    int lastError() const { return page->lastError(); }
};

TEST_F(ActionsTest, AddFilesWalksTheTableWithItsCallback) {
    struct Case {
        const char* script;
        int added, calls;
    };
    const Case cases[] = {
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'missing.bmp', 'b.bmp'})", 2, 0},
        {"return Gallimo.AddFiles('Thumbs', 'a.bmp')", 0, 0},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'}, function(p, i) calls = calls + 1 "
         "return false end)",
         1, 1},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'}, function(p, i) calls = calls + 1 "
         "return 7 end)",
         2, 2},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', {}, 'b.bmp'}, function(p, i) calls = calls + "
         "1 end)",
         2, 3},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'}, function(p, i) calls = calls + 1 "
         "error('x') end)",
         2, 2},
    };
    for (const Case& c : cases) {
        run("Gallimo.Clear('Thumbs'); calls = 0");
        EXPECT_EQ(number(("(function() " + std::string(c.script) + " end)()").c_str()), c.added)
            << c.script;
        EXPECT_EQ(number("calls"), c.calls) << c.script;
        EXPECT_EQ(lastError(), 0) << c.script;
        EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), c.added) << c.script;
    }
    // The callback sees each path resolved, with the index the file will get.
    run("Gallimo.Clear('Thumbs'); seen = {}");
    run("Gallimo.AddFiles('Thumbs', {'a.bmp', 'missing.bmp', 'b.bmp'}, function(p, i) seen[#seen + "
        "1] = i end)");
    EXPECT_EQ(text("table.concat(seen, ',')"), "1,2,2");
}

TEST_F(ActionsTest, ItemsAreSortedCountedDescribedAndDeleted) {
    run("Gallimo.AddFiles('Thumbs', {'c.bmp', 'a.bmp', 'b.bmp'})");
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 1).label"), "a.bmp") << "sorted by label";
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 3).filetitle"), "c");
    EXPECT_EQ(number("Gallimo.GetItemInfo('Thumbs', 2).image_width"), 40);
    EXPECT_EQ(number("Gallimo.GetItemInfo('Thumbs', 2).image_bpp"), 24);
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 2).selected"), "false");
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 0)"), "nil");
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 4)"), "nil");
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(text("Gallimo.GetSelectedItems('Thumbs')"), "nil");

    run("Gallimo.SelectItem('Thumbs', 2)");
    EXPECT_EQ(number("Gallimo.GetSelectedItems('Thumbs')[1]"), 2);
    EXPECT_EQ(count("\"On Select\""), 1u);
    run("Gallimo.SelectItem('Thumbs', -1)");
    EXPECT_EQ(text("Gallimo.GetSelectedItems('Thumbs')"), "nil");
    EXPECT_EQ(count("\"On Select\""), 2u);

    run("Gallimo.DeleteItem('Thumbs', 1)");
    EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 2);
    EXPECT_EQ(object->m_items.GetSize(), 2);
    run("Gallimo.DeleteItem('Thumbs', 9)");
    EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 2);
    run("Gallimo.Clear('Thumbs')");
    EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 0);
    EXPECT_TRUE(object->m_items.IsEmpty());
}

TEST_F(ActionsTest, LabelsChangeUntilARebuildGivesThemBack) {
    run("Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'})");
    run("Gallimo.SetItemLabel('Thumbs', 1, 'zebra')");
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 2).label"), "zebra") << "sorted again";
    run("Gallimo.SetThumbWidth('Thumbs', 64)");
    EXPECT_EQ(object->m_properties.thumbWidth, 64);
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 1).label"), "a.bmp");
    EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 2).label"), "b.bmp");
    run("Gallimo.SetThumbHeight('Thumbs', 50); Gallimo.SetHSpacing('Thumbs', 7); "
        "Gallimo.SetVSpacing('Thumbs', 9)");
    EXPECT_EQ(object->m_properties.thumbHeight, 50);
    EXPECT_EQ(object->m_properties.horizontalSpacing, 7);
    EXPECT_EQ(object->m_properties.verticalSpacing, 9);
    EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 2);
}

TEST_F(ActionsTest, WrongObjectsAndArgumentsAreRefused) {
    EXPECT_EQ(number("Gallimo.GetItemCount('Nobody')"), 0);
    EXPECT_EQ(lastError(), 1100);
    EXPECT_EQ(text("Gallimo.GetItemInfo('Nobody', 1)"), "nil");
    EXPECT_EQ(lastError(), 1100);
    run("Gallimo.Clear('Thumbs')");
    EXPECT_EQ(lastError(), 0);

    struct Case {
        const char* script;
        const char* error;
    };
    const Case cases[] = {
        {"Gallimo.AddFiles('Thumbs')", "Script error: 2 arguments required."},
        {"Gallimo.Clear({})", "Script error: Argument 1 must be a string."},
        {"Gallimo.SetItemLabel('Thumbs', 1, {})", "Script error: Argument 3 must be a string."},
        {"Gallimo.SetItemLabel('Thumbs', 1)", "Script error: 3 arguments required."},
    };
    for (const Case& c : cases) {
        page->setLastError(77, false);
        EXPECT_NE(run(c.script).find(c.error), std::string::npos) << c.script;
        EXPECT_EQ(lastError(), 0) << "reset, and not set: " << c.script;
    }
}

TEST_F(ActionsTest, SizesNeedAListControl) {
    object->DestroyObjectWindow();
    run("Gallimo.SetThumbWidth('Thumbs', 300)");
    EXPECT_EQ(object->m_properties.thumbWidth, 100);
    EXPECT_EQ(lastError(), 0);
}

TEST_F(ActionsTest, RegisteringAgainReusesTheTable) {
    run("Gallimo.Extra = 5");
    object->SetLuaState(page->state());
    EXPECT_EQ(number("Gallimo.Extra"), 5);
    EXPECT_EQ(text("type(Gallimo.SetVSpacing)"), "function");
}

TEST_F(ActionsTest, ExtremeNumbersAreHeldToTheIntRange) {
    run("Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'})");
    const char* values[] = {"2^31", "-2^31-1", "0/0", "1/0", "-1/0", "2^53", "-2^31"};
    struct Case {
        const char* call; // %s stands for the number
        const char* result;
    };
    const Case cases[] = {
        {"Gallimo.GetItemInfo('Thumbs', %s)", "nil"},
        {"Gallimo.DeleteItem('Thumbs', %s)", "nil"},
        {"Gallimo.SelectItem('Thumbs', %s)", "nil"},
        {"Gallimo.SetItemLabel('Thumbs', %s, 'x')", "nil"},
    };
    for (const Case& c : cases) {
        for (const char* value : values) {
            char call[200];
            std::snprintf(call, sizeof call, c.call, value);
            page->setLastError(77, false);
            EXPECT_EQ(text((std::string("(") + call + ")").c_str()), c.result) << call;
            EXPECT_EQ(lastError(), 0) << call;
            EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 2) << call;
            EXPECT_EQ(text("Gallimo.GetSelectedItems('Thumbs')"), "nil") << call;
            EXPECT_EQ(text("Gallimo.GetItemInfo('Thumbs', 1).label"), "a.bmp") << call;
        }
    }

    struct Layout {
        const char* action;
        int gallimo::GallimoProperties::*field;
    };
    const Layout layouts[] = {
        {"SetThumbWidth", &gallimo::GallimoProperties::thumbWidth},
        {"SetThumbHeight", &gallimo::GallimoProperties::thumbHeight},
        {"SetVSpacing", &gallimo::GallimoProperties::verticalSpacing},
        {"SetHSpacing", &gallimo::GallimoProperties::horizontalSpacing},
    };
    struct Extreme {
        const char* value;
        int stored;
    };
    const Extreme extremes[] = {
        {"2^31", INT_MAX}, {"-2^31-1", INT_MIN},    {"0/0", 0}, {"1/0", INT_MAX}, {"-1/0", INT_MIN},
        {"-7.9", -7},      {"2147483647", INT_MAX}, {"7.9", 7}};
    for (const Layout& l : layouts) {
        for (const Extreme& e : extremes) {
            const std::string call =
                std::string("Gallimo.") + l.action + "('Thumbs', " + e.value + ")";
            EXPECT_EQ(run(call.c_str()), "") << call;
            EXPECT_EQ(object->m_properties.*l.field, e.stored) << call;
            EXPECT_EQ(lastError(), 0) << call;
            winplatPumpMessages(); // lays the list out and paints it with the extreme value
        }
    }
}

TEST_F(ActionsTest, AnErrorInTheWalkLeavesTheListDrawnAndTheCursorBack) {
    // Clearing the table and growing it from the callback rehashes it under the walk, so the
    // walk's next step raises "invalid key to 'next'".
    CWinApp app; // the wait cursor's count lives in the application object
    run("files = {'a.bmp', 'b.bmp', 'c.bmp'}");
    const std::string error = run("Gallimo.AddFiles('Thumbs', files, function(p, i)"
                                  "  for k in pairs(files) do files[k] = nil end"
                                  "  for k = 1, 64 do files['x' .. k] = k end end)");
    EXPECT_NE(error.find("invalid key to 'next'"), std::string::npos) << error;
    ASSERT_EQ(object->m_items.GetSize(), 1) << "the first file went in before the walk broke";
    EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), 1) << "the list was refilled";
    EXPECT_EQ(app.m_nWaitCursorCount, 0);
    EXPECT_NE(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    // Redrawing is back on: a paint draws the thumbnail.
    HWND list = object->m_listCtrl->GetSafeHwnd();
    RECT icon{};
    object->m_listCtrl->GetItemRect(0, &icon, LVIR_ICON);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&icon), 2);
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC screen = GetDC(nullptr);
    int blue = 0;
    for (int y = icon.top; y < icon.bottom; ++y)
        for (int x = icon.left; x < icon.right; ++x)
            blue += GetPixel(screen, x, y) == RGB(0x33, 0x66, 0x99);
    ReleaseDC(nullptr, screen);
    EXPECT_GT(blue, 0);
}
