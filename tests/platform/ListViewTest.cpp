#include "WindowCheck.h"
#include "mfc/mfc.h"
#include "win32/commctrl.h"
#include "winplat/input.h"
#include "winplat/screen.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::WindowLeakCheckedTest;

namespace {

constexpr UINT kListId = 10021;
constexpr int kItems = 50;
constexpr int kIcon = 32;
const COLORREF kColours[] = {RGB(220, 0, 0), RGB(0, 160, 0), RGB(0, 0, 220), RGB(250, 150, 0),
                             RGB(140, 0, 160)};
constexpr COLORREF kMagenta = RGB(255, 0, 255);

std::vector<std::string> g_log;

std::string selectionOf(const CListCtrl& list) {
    std::string out;
    for (int i = 0; i < list.GetItemCount(); ++i) {
        if ((list.GetItemState(i, LVIS_SELECTED) & LVIS_SELECTED) == 0) continue;
        if (!out.empty()) out += ",";
        out += std::to_string(i);
    }
    return out;
}

class TestParent : public CWnd {
public:
    int selectionChanges = 0;
    int drags = 0;

protected:
    afx_msg void OnItemChanged(NMHDR* header, LRESULT* result) {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(header);
        if (((nm->uOldState ^ nm->uNewState) & LVIS_SELECTED) != 0) {
            ++selectionChanges;
            g_log.push_back("changed " + std::to_string(nm->iItem) +
                            ((nm->uNewState & LVIS_SELECTED) != 0 ? " on" : " off"));
        }
        *result = 0;
    }
    afx_msg void OnBeginDrag(NMHDR*, LRESULT*) { ++drags; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestParent, CWnd)
ON_NOTIFY(LVN_ITEMCHANGED, kListId, OnItemChanged)
ON_NOTIFY(LVN_BEGINDRAG, kListId, OnBeginDrag)
END_MESSAGE_MAP()

// Every handler writes down what the selection was before and after the default processing.
class TestList : public CListCtrl {
    DECLARE_DYNCREATE(TestList)
public:
    int reflectedDrags = 0;
    COLORREF eraseColour = CLR_NONE; // the list's own erasing unless set

protected:
    afx_msg BOOL OnEraseBkgnd(CDC* dc) {
        if (eraseColour == CLR_NONE) return CListCtrl::OnEraseBkgnd(dc);
        CRect client;
        GetClientRect(&client);
        dc->FillSolidRect(&client, eraseColour);
        return TRUE;
    }
    afx_msg void OnRButtonDown(UINT flags, CPoint point) {
        CListCtrl::OnRButtonDown(flags, point);
        g_log.push_back("right done [" + selectionOf(*this) + "]");
    }
    afx_msg int OnCreate(LPCREATESTRUCT cs) {
        g_log.push_back("create");
        return CListCtrl::OnCreate(cs);
    }
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags) {
        g_log.push_back("keydown " + std::to_string(key) + " [" + selectionOf(*this) + "]");
        CListCtrl::OnKeyDown(key, repeat, flags);
        g_log.push_back("keydown done [" + selectionOf(*this) + "]");
    }
    afx_msg void OnKeyUp(UINT key, UINT repeat, UINT flags) {
        g_log.push_back("keyup " + std::to_string(key));
        CListCtrl::OnKeyUp(key, repeat, flags);
    }
    afx_msg void OnLButtonDown(UINT flags, CPoint point) {
        g_log.push_back("down [" + selectionOf(*this) + "]");
        CListCtrl::OnLButtonDown(flags, point);
        g_log.push_back("down done [" + selectionOf(*this) + "]");
    }
    afx_msg void OnLButtonUp(UINT flags, CPoint point) {
        g_log.push_back("up");
        CListCtrl::OnLButtonUp(flags, point);
    }
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point) {
        g_log.push_back("dblclk first " + std::to_string(GetNextItem(-1, LVNI_SELECTED)));
        CListCtrl::OnLButtonDblClk(flags, point);
    }
    afx_msg void OnSetFocus(CWnd* old) {
        CListCtrl::OnSetFocus(old);
        g_log.push_back("focus");
    }
    afx_msg void OnBeginDrag(NMHDR*, LRESULT* result) {
        ++reflectedDrags;
        *result = 0;
    }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(TestList, CListCtrl)

BEGIN_MESSAGE_MAP(TestList, CListCtrl)
ON_WM_CREATE()
ON_WM_ERASEBKGND()
ON_WM_RBUTTONDOWN()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_LBUTTONDBLCLK()
ON_WM_SETFOCUS()
ON_NOTIFY_REFLECT(LVN_BEGINDRAG, OnBeginDrag)
END_MESSAGE_MAP()

// Five 32 x 32 images side by side, each a coloured square in a magenta frame of 4 pixels.
HBITMAP makeStrip() {
    BITMAPINFO info{};
    info.bmiHeader =
        BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5 * kIcon, -kIcon, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP strip = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<RGBQUAD*>(bits);
    for (int y = 0; y < kIcon; ++y) {
        for (int x = 0; x < 5 * kIcon; ++x) {
            int cx = x % kIcon;
            bool frame = cx < 4 || cx >= kIcon - 4 || y < 4 || y >= kIcon - 4;
            COLORREF c = frame ? kMagenta : kColours[x / kIcon];
            px[y * 5 * kIcon + x] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
        }
    }
    return strip;
}

COLORREF screenPixel(POINT p) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

class ListViews : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        g_log.clear();
        ASSERT_TRUE(m_images.Create(kIcon, kIcon, ILC_COLOR24 | ILC_MASK, 0, 1));
        HBITMAP strip = makeStrip();
        ASSERT_EQ(ImageList_AddMasked(m_images, strip, kMagenta), 0);
        DeleteObject(strip);
    }
    void TearDown() override {
        destroy();
        m_images.DeleteImageList();
        WindowLeakCheckedTest::TearDown();
    }

    void make(DWORD listStyle, bool mfcParent = true) {
        LPCSTR cls = AfxRegisterWndClass(0, LoadCursorA(nullptr, IDC_ARROW),
                                         reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        if (mfcParent) {
            ASSERT_TRUE(m_parent.CreateEx(0, cls, "parent", WS_POPUP | WS_VISIBLE, 40, 40, 560, 400,
                                          nullptr, nullptr));
            m_parentHwnd = m_parent.m_hWnd;
        } else {
            m_parentHwnd = CreateWindowExA(0, cls, "plain", WS_POPUP | WS_VISIBLE, 40, 40, 560, 400,
                                           nullptr, nullptr, nullptr, nullptr);
        }
        m_list = new TestList;
        ASSERT_TRUE(
            m_list->CreateEx(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, WC_LISTVIEWA, "QV_Gallimo",
                             WS_CHILD | WS_VISIBLE | LVS_AUTOARRANGE | listStyle,
                             CRect(10, 10, 550, 390), CWnd::FromHandle(m_parentHwnd), kListId));
        m_list->SetIconSpacing(100, 70);
        m_list->SetImageList(&m_images, LVSIL_NORMAL);
        for (int i = 0; i < kItems; ++i) {
            std::string label = "Item " + std::to_string(i + 1);
            int at = m_list->InsertItem(LVIF_TEXT | LVIF_IMAGE, i, label.c_str(), 0, 0, i % 5, 0);
            ASSERT_EQ(at, i);
            m_list->SetItemData(at, static_cast<DWORD_PTR>(1000 + i));
        }
        winplatPumpMessages();
        g_log.clear();
    }

    void destroy() {
        if (m_list != nullptr) {
            m_list->DestroyWindow();
            delete m_list;
            m_list = nullptr;
        }
        if (m_parent.m_hWnd != nullptr) m_parent.DestroyWindow();
        if (IsWindow(m_parentHwnd)) DestroyWindow(m_parentHwnd);
        m_parentHwnd = nullptr;
        winplatPumpMessages();
    }

    POINT itemPoint(int item, UINT part = LVIR_ICON) {
        CRect r;
        m_list->GetItemRect(item, &r, part);
        POINT p = r.CenterPoint();
        m_list->ClientToScreen(&p);
        return p;
    }

    void click(POINT p, UINT modifier = 0, int button = WINPLAT_BUTTON_LEFT) {
        if (modifier != 0) winplatInjectKey(modifier, TRUE);
        winplatInjectMouseButton(button, TRUE, p.x, p.y);
        winplatInjectMouseButton(button, FALSE, p.x, p.y);
        if (modifier != 0) winplatInjectKey(modifier, FALSE);
        winplatAdvanceInputClock(1000);
        winplatPumpMessages();
    }

    void key(UINT vk) {
        winplatInjectKey(vk, TRUE);
        winplatInjectKey(vk, FALSE);
        winplatPumpMessages();
    }

    CImageList m_images;
    TestParent m_parent;
    HWND m_parentHwnd = nullptr;
    TestList* m_list = nullptr;
};

TEST_F(ListViews, ClickSelectsAndAClickOnTheSelectedItemOfASingleSelectionListChangesNothing) {
    make(LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    click(itemPoint(3));
    EXPECT_EQ(selectionOf(*m_list), "3");
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_FOCUSED), 3);
    EXPECT_EQ(GetFocus(), m_list->m_hWnd);
    EXPECT_EQ(g_log,
              (std::vector<std::string>{"down []", "focus", "changed 3 on", "down done [3]"}))
        << "the control takes the focus within its default processing, and the button-up went "
           "to the drag check, not to the window";

    g_log.clear();
    m_parent.selectionChanges = 0;
    click(itemPoint(3));
    EXPECT_EQ(m_parent.selectionChanges, 0);
    EXPECT_EQ(selectionOf(*m_list), "3");

    click(itemPoint(7, LVIR_LABEL));
    EXPECT_EQ(selectionOf(*m_list), "7");
    EXPECT_EQ(m_parent.selectionChanges, 2) << "3 off, then 7 on";

    m_list->SetItemState(12, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(selectionOf(*m_list), "12") << "one selection only, whoever sets it";
    click(itemPoint(12, LVIR_LABEL), VK_CONTROL);
    EXPECT_EQ(selectionOf(*m_list), "") << "Ctrl+click takes the single selection away";
}

TEST_F(ListViews, CtrlClickAddsShiftClickSpansAndEmptySpaceClears) {
    make(LVS_SHOWSELALWAYS);
    click(itemPoint(2));
    click(itemPoint(5), VK_CONTROL);
    EXPECT_EQ(selectionOf(*m_list), "2,5");
    click(itemPoint(8), VK_SHIFT);
    EXPECT_EQ(selectionOf(*m_list), "5,6,7,8") << "from the last Ctrl+click";
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_FOCUSED), 8);
    click(itemPoint(2), VK_CONTROL);
    EXPECT_EQ(selectionOf(*m_list), "2,5,6,7,8");
    click(itemPoint(2), VK_CONTROL);
    EXPECT_EQ(selectionOf(*m_list), "5,6,7,8");

    click(itemPoint(6));
    EXPECT_EQ(selectionOf(*m_list), "6") << "a plain click on a selected item keeps only it";

    CRect last;
    m_list->GetItemRect(kItems - 1, &last, LVIR_BOUNDS);
    CRect client;
    m_list->GetClientRect(&client);
    POINT empty{client.right - 5, client.bottom - 5};
    m_list->ClientToScreen(&empty);
    click(empty);
    EXPECT_EQ(selectionOf(*m_list), "");
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_FOCUSED), 6) << "the focus stays";

    click(itemPoint(3));
    click(itemPoint(4), VK_CONTROL);
    g_log.clear();
    click(itemPoint(4), 0, WINPLAT_BUTTON_RIGHT);
    EXPECT_EQ(g_log, (std::vector<std::string>{"right done [3,4]"}))
        << "a right click on a selected item keeps the selection";
    click(itemPoint(9), 0, WINPLAT_BUTTON_RIGHT);
    EXPECT_EQ(selectionOf(*m_list), "9");
}

TEST_F(ListViews, KeysMoveTheSelectionOnKeyDownThroughTheGrid) {
    make(LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    click(itemPoint(1));
    CRect client;
    m_list->GetClientRect(&client);
    const int perRow = client.Width() / 100;
    ASSERT_GE(perRow, 2);
    g_log.clear();
    winplatInjectKey(VK_DOWN, TRUE);
    winplatInjectKey(VK_DOWN, FALSE);
    winplatPumpMessages();
    const std::string below = std::to_string(1 + perRow);
    EXPECT_EQ(g_log, (std::vector<std::string>{"keydown 40 [1]", "changed 1 off",
                                               "changed " + below + " on",
                                               "keydown done [" + below + "]", "keyup 40"}));

    struct Case {
        UINT key;
        int expected;
    };
    const Case cases[] = {{VK_RIGHT, 2 + perRow},
                          {VK_LEFT, 1 + perRow},
                          {VK_UP, 1},
                          {VK_UP, 1},
                          {VK_HOME, 0},
                          {VK_LEFT, 0},
                          {VK_END, kItems - 1},
                          {VK_DOWN, kItems - 1},
                          {VK_HOME, 0}};
    for (const Case& c : cases) {
        key(c.key);
        EXPECT_EQ(m_list->GetNextItem(-1, LVNI_SELECTED), c.expected) << "key " << c.key;
        EXPECT_EQ(m_list->GetNextItem(-1, LVNI_FOCUSED), c.expected);
    }
    key(VK_NEXT);
    int page = m_list->GetNextItem(-1, LVNI_SELECTED);
    EXPECT_GT(page, 0);
    EXPECT_EQ(page % perRow, 0) << "a page down keeps the column";
    key(VK_PRIOR);
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_SELECTED), 0);
}

TEST_F(ListViews, EndScrollsTheLastItemIntoView) {
    struct Case {
        DWORD style;
        DWORD bar;
    };
    for (Case c : {Case{0, WS_VSCROLL}, Case{LVS_ALIGNLEFT, WS_HSCROLL}}) {
        make(LVS_SINGLESEL | c.style);
        EXPECT_EQ(m_list->GetStyle() & (WS_VSCROLL | WS_HSCROLL), c.bar);
        click(itemPoint(0));
        key(VK_END);
        POINT origin;
        m_list->GetOrigin(&origin);
        EXPECT_GT(c.bar == WS_VSCROLL ? origin.y : origin.x, 0);
        CRect r, client;
        m_list->GetItemRect(kItems - 1, &r, LVIR_BOUNDS);
        m_list->GetClientRect(&client);
        EXPECT_TRUE(client.PtInRect(r.TopLeft()) &&
                    client.PtInRect(CPoint(r.right - 1, r.bottom - 1)));
        key(VK_HOME);
        m_list->GetOrigin(&origin);
        LONG before = c.bar == WS_VSCROLL ? origin.y : origin.x;
        CRect window;
        m_list->GetWindowRect(&window);
        // The arrow at the far end of the bar: inside the 2-pixel client edge, 16 pixels wide.
        click(POINT{window.right - 10, window.bottom - 10});
        m_list->GetOrigin(&origin);
        EXPECT_EQ(c.bar == WS_VSCROLL ? origin.y : origin.x, before + 16) << "one line on";
        destroy();
    }
}

TEST_F(ListViews, DraggingAnItemReflectsLvnBeginDragToTheControl) {
    for (bool mfcParent : {true, false}) {
        make(LVS_SINGLESEL, mfcParent);
        POINT p = itemPoint(4);
        winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, p.x, p.y);
        winplatInjectMouseMove(p.x + 10, p.y + 10);
        winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, p.x + 10, p.y + 10);
        winplatPumpMessages();
        EXPECT_EQ(m_list->reflectedDrags, 1) << (mfcParent ? "MFC parent" : "plain parent");
        EXPECT_EQ(m_parent.drags, 0) << "the reflected notification never reaches the parent";
        EXPECT_EQ(selectionOf(*m_list), "4");
        destroy();
    }
}

TEST_F(ListViews, ASecondClickIsADoubleClickThatSeesTheSelection) {
    make(LVS_SINGLESEL);
    POINT p = itemPoint(0);
    for (int i = 0; i < 2; ++i) {
        winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, p.x, p.y);
        winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, p.x, p.y);
    }
    winplatPumpMessages();
    EXPECT_NE(std::find(g_log.begin(), g_log.end(), "dblclk first 0"), g_log.end());
}

int CALLBACK byDataDescending(LPARAM a, LPARAM b, LPARAM sortData) {
    g_log.push_back(std::to_string(a) + "<>" + std::to_string(b));
    EXPECT_EQ(sortData, 77);
    return a < b ? 1 : a > b ? -1 : 0;
}

int CALLBACK inconsistent(LPARAM a, LPARAM, LPARAM) {
    return (a % 3) - 1;
}

HWND g_sorting = nullptr;
int CALLBACK deleting(LPARAM, LPARAM, LPARAM) {
    SendMessageA(g_sorting, LVM_DELETEITEM, 0, 0);
    return 0;
}

TEST_F(ListViews, SortingComparesTheItemsDataAndKeepsFocusWithItsItem) {
    make(0);
    click(itemPoint(10));
    ASSERT_TRUE(m_list->SortItems(byDataDescending, 77));
    for (const std::string& pair : g_log) {
        if (pair.find("<>") == std::string::npos) continue;
        long a = std::stol(pair.substr(0, pair.find("<>")));
        long b = std::stol(pair.substr(pair.find("<>") + 2));
        EXPECT_TRUE(a >= 1000 && a < 1000 + kItems && b >= 1000 && b < 1000 + kItems) << pair;
    }
    for (int i = 0; i < kItems; ++i)
        EXPECT_EQ(m_list->GetItemData(i), static_cast<DWORD_PTR>(1000 + kItems - 1 - i));
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_FOCUSED), kItems - 1 - 10);
    EXPECT_EQ(m_list->GetItemText(kItems - 1 - 10, 0), "Item 11");
    EXPECT_TRUE(m_list->SortItems(inconsistent, 0)) << "a careless comparison breaks nothing";
    EXPECT_EQ(m_list->GetItemCount(), kItems);
    EXPECT_FALSE(m_list->SortItems(nullptr, 0));
    g_sorting = m_list->m_hWnd;
    EXPECT_TRUE(m_list->SortItems(deleting, 0)) << "a comparison that deletes items";
    EXPECT_LT(m_list->GetItemCount(), kItems);
}

TEST_F(ListViews, AHandlerCanEraseTheBackgroundInItsOwnColour) {
    make(LVS_SINGLESEL);
    m_list->DeleteAllItems();
    m_list->eraseColour = RGB(10, 200, 30);
    m_list->Invalidate();
    winplatPumpMessages();
    CRect client;
    m_list->GetClientRect(&client);
    for (POINT p :
         {client.TopLeft(), CPoint(client.right - 1, client.bottom - 1), client.CenterPoint()}) {
        m_list->ClientToScreen(&p);
        EXPECT_EQ(screenPixel(p), RGB(10, 200, 30));
    }
}

TEST_F(ListViews, ItemsAnswerTheQueriesThePlugInMakes) {
    make(LVS_SINGLESEL);
    EXPECT_EQ(m_list->GetTopIndex(), 0) << "icon view";
    EXPECT_EQ(m_list->GetCountPerPage(), kItems) << "icon view counts every item";
    EXPECT_EQ(m_list->GetItemText(4, 0), "Item 5");
    EXPECT_TRUE(m_list->SetItemText(4, 0, "renamed"));
    EXPECT_EQ(m_list->GetItemText(4, 0), "renamed");
    EXPECT_FALSE(m_list->SetItemText(kItems, 0, "x"));
    EXPECT_EQ(m_list->GetItemState(kItems, LVIS_SELECTED), 0u);
    m_list->SetItemState(9, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_TRUE(m_list->DeleteItem(2));
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_FOCUSED), 8) << "the focus follows its item down";
    EXPECT_EQ(m_list->GetItemData(2), 1003u);
    EXPECT_FALSE(m_list->DeleteItem(-1));
    EXPECT_EQ(m_list->GetItemCount(), kItems - 1);
    m_list->SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_SELECTED), -1);
    CSize old = m_list->SetIconSpacing(120, 90);
    EXPECT_EQ(old, CSize(100, 70));
    EXPECT_TRUE(m_list->DeleteAllItems());
    EXPECT_EQ(m_list->GetItemCount(), 0);
    EXPECT_EQ(m_list->GetNextItem(-1, LVNI_ALL), -1);
}

// Icons of the given colours stand in a line across (rows) or down (columns).
void expectIconsInLine(ListViews*, CListCtrl& list, bool across) {
    CRect a, b;
    list.GetItemRect(0, &a, LVIR_ICON);
    list.GetItemRect(1, &b, LVIR_ICON);
    if (across) {
        EXPECT_EQ(a.top, b.top);
        EXPECT_GT(b.left, a.left);
    } else {
        EXPECT_EQ(a.left, b.left);
        EXPECT_GT(b.top, a.top);
    }
}

TEST_F(ListViews, ScreenshotsShowIconsWithLabelsInRowsOrColumns) {
    struct Case {
        DWORD style;
        const char* file;
        bool across;
    };
    for (Case c :
         {Case{0, "listview_rows.png", true}, Case{LVS_ALIGNLEFT, "listview_columns.png", false}}) {
        make(LVS_SHOWSELALWAYS | c.style);
        m_list->SetItemState(6, LVIS_SELECTED, LVIS_SELECTED);
        winplatPumpMessages();
        expectIconsInLine(this, *m_list, c.across);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(screenPixel(itemPoint(i)), kColours[i]) << "icon " << i;
        CRect icon;
        m_list->GetItemRect(0, &icon, LVIR_ICON);
        POINT corner{icon.left + 1, icon.top + 1};
        m_list->ClientToScreen(&corner);
        EXPECT_EQ(screenPixel(corner), GetSysColor(COLOR_WINDOW))
            << "the mask shows the background";
        CRect label;
        m_list->GetItemRect(0, &label, LVIR_LABEL);
        int dark = 0;
        for (int x = label.left; x < label.right; ++x) {
            for (int y = label.top; y < label.bottom; ++y) {
                POINT p{x, y};
                m_list->ClientToScreen(&p);
                if (screenPixel(p) == GetSysColor(COLOR_WINDOWTEXT)) ++dark;
            }
        }
        EXPECT_GT(dark, 10) << "the label is written";
        POINT selected = itemPoint(6, LVIR_LABEL);
        selected.x = [&] {
            CRect r;
            m_list->GetItemRect(6, &r, LVIR_LABEL);
            POINT p{r.left + 1, r.top + 1};
            m_list->ClientToScreen(&p);
            return p.x;
        }();
        EXPECT_EQ(screenPixel(POINT{selected.x, selected.y - 4}), GetSysColor(COLOR_BTNFACE))
            << "a selection without the focus shows in button face";
        EXPECT_TRUE(winplatSaveScreenPng((::testing::TempDir() + c.file).c_str()));
        destroy();
    }
}

TEST_F(ListViews, DestroyingTheListLeavesItsImageListAndItsParentWhole) {
    make(LVS_SINGLESEL);
    HIMAGELIST images = m_images;
    std::size_t windows = winplatLiveWindows();
    m_list->DestroyWindow();
    EXPECT_EQ(winplatLiveWindows(), windows - 1);
    EXPECT_EQ(m_list->m_hWnd, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 5) << "the list view does not own its image list";
    IMAGEINFO info;
    ASSERT_TRUE(ImageList_GetImageInfo(images, 0, &info));
    EXPECT_EQ(info.rcImage.right - info.rcImage.left, kIcon);
    ASSERT_TRUE(m_list->CreateEx(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 200),
                                 &m_parent, kListId));
    m_list->SetImageList(&m_images, LVSIL_NORMAL);
    EXPECT_EQ(m_list->InsertItem(0, "again", 2), 0) << "the next window is given the same list";
}

} // namespace
