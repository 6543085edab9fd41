#include "GallimoFixture.h"

using testing_support::GallimoFixture;

class ActionsTest : public GallimoFixture {
protected:
    void SetUp() override {
        GallimoFixture::SetUp();
        placeAtRunTime();
        for (const char* name : {"c.bmp", "a.bmp", "b.bmp"}) image(name, 40, 30);
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
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'}, function(p, i) calls = calls + 1 return false end)", 1, 1},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'}, function(p, i) calls = calls + 1 return 7 end)", 2, 2},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', {}, 'b.bmp'}, function(p, i) calls = calls + 1 end)", 2, 3},
        {"return Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp'}, function(p, i) calls = calls + 1 error('x') end)", 2, 2},
    };
    for (const Case& c : cases) {
        run("Gallimo.Clear('Thumbs'); calls = 0");
        EXPECT_EQ(number(("(function() " + std::string(c.script) + " end)()").c_str()), c.added) << c.script;
        EXPECT_EQ(number("calls"), c.calls) << c.script;
        EXPECT_EQ(lastError(), 0) << c.script;
        EXPECT_EQ(number("Gallimo.GetItemCount('Thumbs')"), c.added) << c.script;
    }
    // The callback sees each path resolved, with the index the file will get.
    run("Gallimo.Clear('Thumbs'); seen = {}");
    run("Gallimo.AddFiles('Thumbs', {'a.bmp', 'missing.bmp', 'b.bmp'}, function(p, i) seen[#seen + 1] = i end)");
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
    run("Gallimo.SetThumbHeight('Thumbs', 50); Gallimo.SetHSpacing('Thumbs', 7); Gallimo.SetVSpacing('Thumbs', 9)");
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
