#include "GallimoFixture.h"

using testing_support::GallimoFixture;

class EventsTest : public GallimoFixture {
protected:
    void SetUp() override {
        GallimoFixture::SetUp();
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            image(name, 40, 30);
        page->objects()[0].scripts["On Key"] =
            "print(''); seenKey = e_Key; seenShift = e_Modifiers.shift";
        page->objects()[0].scripts["On Double-Click"] = "seenItem = e_Item";
        placeAtRunTime();
        run("Gallimo.AddFiles('Thumbs', {'a.bmp', 'b.bmp', 'c.bmp'})");
        winplatPumpMessages();
    }
};

TEST_F(EventsTest, SelectFiresOncePerChangeAndNeverForTheSameSelection) {
    click(itemCentre(0));
    EXPECT_EQ(count("\"On Select\""), 1u);
    EXPECT_EQ(count("\"On Focus\""), 1u);
    winplatAdvanceInputClock(1000);
    click(itemCentre(0));
    EXPECT_EQ(count("\"On Select\""), 1u) << "the same item again";
    winplatAdvanceInputClock(1000);
    click(itemCentre(1));
    EXPECT_EQ(count("\"On Select\""), 2u);
}

TEST_F(EventsTest, KeysFireOnKeyAndTabMovesTheFocus) {
    click(itemCentre(0));
    key(VK_DOWN);
    EXPECT_NE(log.str().find("local e_Key=40;"), std::string::npos);
    winplatInjectKey(VK_SHIFT, TRUE);
    key(VK_TAB);
    winplatInjectKey(VK_SHIFT, FALSE);
    winplatPumpMessages();
    const std::string all = log.str();
    const std::size_t tab = all.find("autotab false");
    const std::size_t event = all.find("local e_Key=9;");
    ASSERT_NE(tab, std::string::npos);
    ASSERT_NE(event, std::string::npos);
    EXPECT_LT(tab, event) << "the focus moves before the key is reported";
    EXPECT_EQ(number("seenKey"), 9);
    EXPECT_EQ(text("seenShift"), "true");
}

TEST_F(EventsTest, DoubleClickReportsTheFirstSelectedItem) {
    click(itemCentre(0), true);
    EXPECT_NE(log.str().find("\"On Double-Click\" e_Item=1;"), std::string::npos);
    EXPECT_EQ(number("seenItem"), 1);
}

TEST(EventsWithoutAState, TabAndANullStateAreQuiet) {
    std::ostringstream log;
    qvhost::Page page(log);
    qvhost::PageWindow window(page, 400, 300);
    CGallimoObject object;
    object.PositionRunWindow(0, window.handle(), 10, 10, 310, 210, 1, 1);
    winplatPumpMessages();
    object.FocusWindow();
    for (UINT vk : {VK_TAB, VK_DOWN}) {
        winplatInjectKey(vk, TRUE);
        winplatInjectKey(vk, FALSE);
        winplatPumpMessages();
    }
    EXPECT_EQ(object.SetLuaState(nullptr), 0);
    winplatInjectKey(VK_TAB, TRUE);
    winplatInjectKey(VK_TAB, FALSE);
    winplatPumpMessages();
    EXPECT_EQ(log.str().find("autotab"), std::string::npos);
    object.DestroyObjectWindow();
}
