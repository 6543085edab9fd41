#include "mfc/mfc.h"
#include "WindowCheck.h"
#include "winplat/input.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::WindowLeakCheckedTest;

namespace {

std::vector<std::string> g_log;

// A plain window class whose procedure writes down what reaches it.
LRESULT CALLBACK plainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        g_log.push_back("proc keydown " + std::to_string(wParam));
        return 0;
    case WM_CHAR:
        g_log.push_back("proc char");
        return 0;
    case WM_USER + 1:
        g_log.push_back("proc user");
        return 5;
    case WM_CREATE:
        g_log.push_back("proc create");
        return 0;
    case WM_NCDESTROY:
        g_log.push_back("proc ncdestroy");
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* plainClass() {
    static bool done = false;
    if (!done) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = "TestPlain";
        RegisterClassA(&wc);
        done = true;
    }
    return "TestPlain";
}

class CBaseWnd : public CWnd {
    DECLARE_DYNCREATE(CBaseWnd)
public:
    BOOL m_refuseCreate = FALSE;

protected:
    afx_msg int OnCreate(LPCREATESTRUCT cs) {
        g_log.push_back("base create");
        if (m_refuseCreate) return -1;
        return CWnd::OnCreate(cs);
    }
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags) {
        g_log.push_back("base keydown " + std::to_string(key) + " x" + std::to_string(repeat));
        CWnd::OnKeyDown(key, repeat, flags);
        g_log.push_back("base keydown done");
    }
    afx_msg LRESULT OnUser(WPARAM w, LPARAM) {
        g_log.push_back("base user " + std::to_string(w));
        return 42;
    }
    afx_msg void OnNcDestroy() {
        CWnd::OnNcDestroy();
        g_log.push_back("base ncdestroy, bound " + std::to_string(m_hWnd != nullptr));
    }
    void PreSubclassWindow() override { g_log.push_back("presubclass"); }
    void PostNcDestroy() override { g_log.push_back("postncdestroy"); }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(CBaseWnd, CWnd)

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
ON_WM_CREATE()
ON_WM_KEYDOWN()
ON_WM_NCDESTROY()
ON_MESSAGE(WM_USER + 2, OnUser)
END_MESSAGE_MAP()

// Inherits its base's entries and replaces one; its own handler skips the default processing.
class CDerivedWnd : public CBaseWnd {
    DECLARE_DYNCREATE(CDerivedWnd)
protected:
    afx_msg void OnKeyDown(UINT key, UINT, UINT) {
        g_log.push_back("derived keydown " + std::to_string(key));
    }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(CDerivedWnd, CBaseWnd)

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

class Mfc : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        g_log.clear();
    }
};

TEST_F(Mfc, RunTimeClassesKnowTheirBasesAndCreateByName) {
    CDerivedWnd wnd;
    EXPECT_TRUE(wnd.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_TRUE(wnd.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(wnd.IsKindOf(RUNTIME_CLASS(CListCtrl)));
    EXPECT_STREQ(wnd.GetRuntimeClass()->m_lpszClassName, "CDerivedWnd");
    EXPECT_TRUE(RUNTIME_CLASS(CListCtrl)->IsDerivedFrom(RUNTIME_CLASS(CWnd)));
    CRuntimeClass* cls = CRuntimeClass::FromName("CDerivedWnd");
    ASSERT_EQ(cls, RUNTIME_CLASS(CDerivedWnd));
    CObject* made = cls->CreateObject();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CBaseWnd)));
    delete made;
    EXPECT_EQ(RUNTIME_CLASS(CListCtrl)->CreateObject(), nullptr) << "dynamic, not dynamic creation";
    EXPECT_EQ(CRuntimeClass::FromName("NoSuchClass"), nullptr);
}

TEST_F(Mfc, HandlersComeFirstAndDefaultPassesTheMessageToTheWindowsOwnProcedure) {
    CBaseWnd wnd;
    ASSERT_TRUE(
        wnd.CreateEx(0, plainClass(), "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr));
    EXPECT_EQ(g_log, (std::vector<std::string>{"presubclass", "base create", "proc create"}))
        << "the object has the window before its first message";
    EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);
    EXPECT_NE(wnd.m_pfnSuper, nullptr);
    g_log.clear();
    SendMessageA(wnd, WM_KEYDOWN, VK_DOWN, 3);
    EXPECT_EQ(g_log, (std::vector<std::string>{"base keydown 40 x3", "proc keydown 40",
                                               "base keydown done"}));
    g_log.clear();
    EXPECT_EQ(SendMessageA(wnd, WM_USER + 1, 0, 0), 5) << "no entry: straight to the procedure";
    EXPECT_EQ(SendMessageA(wnd, WM_USER + 2, 9, 0), 42);
    EXPECT_EQ(g_log, (std::vector<std::string>{"proc user", "base user 9"}));
    g_log.clear();
    HWND hwnd = wnd.m_hWnd;
    wnd.DestroyWindow();
    EXPECT_EQ(g_log, (std::vector<std::string>{"proc ncdestroy", "postncdestroy",
                                               "base ncdestroy, bound 0"}));
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
}

TEST_F(Mfc, ADerivedMapOverridesOneEntryAndKeepsTheRest) {
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, plainClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    g_log.clear();
    SendMessageA(wnd, WM_KEYDOWN, 'A', 1);
    EXPECT_EQ(SendMessageA(wnd, WM_USER + 2, 1, 0), 42);
    EXPECT_EQ(g_log, (std::vector<std::string>{"derived keydown 65", "base user 1"}))
        << "no Default(), so the procedure never saw the key";
    wnd.DestroyWindow();
}

TEST_F(Mfc, AFailedCreationLeavesTheObjectFreeToDelete) {
    std::size_t windows = winplatLiveWindows();
    auto* wnd = new CBaseWnd;
    wnd->m_refuseCreate = TRUE;
    EXPECT_FALSE(wnd->CreateEx(0, plainClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(wnd->m_hWnd, nullptr);
    EXPECT_EQ(winplatLiveWindows(), windows);
    delete wnd;
    CWnd unnamed;
    EXPECT_FALSE(unnamed.CreateEx(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr));
}

TEST_F(Mfc, SubclassingTakesAnExistingWindowOverAndGivesItBack) {
    HWND hwnd = CreateWindowExA(0, plainClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    CBaseWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hwnd));
    EXPECT_FALSE(CBaseWnd().SubclassWindow(hwnd)) << "one object per window";
    g_log.clear();
    SendMessageA(hwnd, WM_KEYDOWN, 'B', 1);
    EXPECT_EQ(g_log.front(), "base keydown 66 x1");
    EXPECT_EQ(wnd.UnsubclassWindow(), hwnd);
    g_log.clear();
    SendMessageA(hwnd, WM_KEYDOWN, 'C', 1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"proc keydown 67"}));
    CWnd* temporary = CWnd::FromHandle(hwnd);
    EXPECT_EQ(CWnd::FromHandle(hwnd), temporary) << "the same temporary until idle";
    EXPECT_EQ(temporary->m_hWnd, hwnd);
    DestroyWindow(hwnd);
    EXPECT_EQ(temporary->m_hWnd, nullptr) << "unbound with its window, deleted at idle";
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
}

// A button-like control that answers its own click, and a parent that listens for it.
class CClicker : public CWnd {
public:
    BOOL m_passOn = FALSE;

protected:
    afx_msg BOOL OnClicked() {
        g_log.push_back("reflected click");
        return !m_passOn;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CClicker, CWnd)
ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
END_MESSAGE_MAP()

class CClickParent : public CWnd {
protected:
    afx_msg void OnClicked() { g_log.push_back("parent click"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CClickParent, CWnd)
ON_BN_CLICKED(5, OnClicked)
END_MESSAGE_MAP()

TEST_F(Mfc, CommandsReflectToTheControlBeforeTheParentSeesThem) {
    CClickParent parent;
    ASSERT_TRUE(parent.CreateEx(0, plainClass(), "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
    CClicker control;
    ASSERT_TRUE(control.CreateEx(0, plainClass(), "", WS_CHILD, CRect(0, 0, 10, 10), &parent, 5));
    for (BOOL passOn : {FALSE, TRUE}) {
        control.m_passOn = passOn;
        g_log.clear();
        parent.SendMessage(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED),
                           reinterpret_cast<LPARAM>(control.m_hWnd));
        std::vector<std::string> expected{"reflected click"};
        if (passOn) expected.push_back("parent click");
        EXPECT_EQ(g_log, expected);
    }
    control.DestroyWindow();
    parent.DestroyWindow();
}

class CEater : public CWnd {
public:
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN && msg->wParam == 'X') {
            g_log.push_back("eaten");
            return TRUE;
        }
        return FALSE;
    }
};

TEST_F(Mfc, PreTranslateMessageSeesQueuedMessagesOnTheWayFromTheQueue) {
    CEater parent;
    ASSERT_TRUE(parent.CreateEx(0, plainClass(), "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                nullptr));
    HWND child = CreateWindowExA(0, plainClass(), "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent,
                                 nullptr, nullptr, nullptr);
    SetFocus(child);
    g_log.clear();
    winplatInjectKey('X', TRUE);
    winplatInjectKey('X', FALSE);
    winplatInjectKey('Y', TRUE);
    winplatInjectKey('Y', FALSE);
    winplatPumpMessages();
    EXPECT_EQ(g_log, (std::vector<std::string>{"eaten", "proc keydown 89", "proc char"}))
        << "the child's parent took X before it was translated or dispatched";
    parent.DestroyWindow();
}

TEST_F(Mfc, DrawingObjectsAndDCsAreReleasedWithTheirObjects) {
    CWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(0), "", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50,
                             nullptr, nullptr));
    winplatPumpMessages();
    {
        CClientDC dc(&wnd);
        CPen pen(PS_SOLID, 1, RGB(0, 0, 255));
        CBrush brush(RGB(0, 255, 0));
        CPen* oldPen = dc.SelectObject(&pen);
        CBrush* oldBrush = dc.SelectObject(&brush);
        EXPECT_TRUE(dc.Rectangle(0, 0, 20, 20));
        dc.SelectObject(oldPen);
        dc.SelectObject(oldBrush);
        dc.FillSolidRect(CRect(30, 30, 40, 40), RGB(255, 0, 0));
        EXPECT_EQ(dc.GetBkColor(), RGB(255, 0, 0)) << "FillSolidRect leaves its colour behind";
        EXPECT_EQ(dc.GetPixel(0, 0), RGB(0, 0, 255));
        EXPECT_EQ(dc.GetPixel(10, 10), RGB(0, 255, 0));
        EXPECT_EQ(dc.GetPixel(35, 35), RGB(255, 0, 0));
        EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_DCS), 1u);
    }
    EXPECT_EQ(winplatLiveGdiObjects(WINPLAT_GDI_DCS), 0u);
    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&memory, 4, 4));
    CBitmap* old = memory.SelectObject(&bitmap);
    EXPECT_NE(old, nullptr) << "the default bitmap, as a temporary";
    memory.SelectObject(old);
    wnd.DestroyWindow();
}

TEST(MfcString, FormatsSearchesAndCutsLikeMfc) {
    CString s;
    s.Format("e_Item=%d;", 12);
    EXPECT_EQ(s, "e_Item=12;");
    s = "path\\to\\file.name.png";
    EXPECT_EQ(s.GetLength(), 21);
    EXPECT_EQ(s.ReverseFind('.'), 17);
    EXPECT_EQ(s.Find('\\'), 4);
    EXPECT_EQ(s.Find('\\', 5), 7);
    EXPECT_EQ(s.Find("file"), 8);
    EXPECT_EQ(s.Find('x', 100), -1);
    EXPECT_EQ(s.Mid(8), "file.name.png");
    EXPECT_EQ(s.Mid(8, 4), "file");
    EXPECT_EQ(s.Mid(-3, 2), "pa");
    EXPECT_EQ(s.Left(4), "path");
    EXPECT_EQ(s.Right(3), "png");
    EXPECT_EQ(s.Right(99), s);
    EXPECT_EQ(s.GetAt(99), '\0');
    CString upper = s;
    EXPECT_EQ(upper.MakeUpper(), "PATH\\TO\\FILE.NAME.PNG");
    EXPECT_EQ(upper.CompareNoCase(s), 0);
    EXPECT_LT(CString("A").Compare("b"), 0);
    char* buffer = s.GetBuffer(64);
    std::strcpy(buffer, "short");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_EQ(CString("a") + "b" + CString('c', 2), "abcc");
    CString empty(static_cast<LPCSTR>(nullptr));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(MfcCollections, ListsAndArraysKeepTheirOrderAndRefuseWhatIsNotThere) {
    CObList objects(10);
    CObject* a = new CCmdTarget;
    CObject* b = new CCmdTarget;
    CObject* c = new CCmdTarget;
    objects.AddTail(a);
    objects.AddTail(b);
    objects.AddHead(c);
    EXPECT_EQ(objects.GetCount(), 3);
    POSITION pos = objects.Find(a);
    ASSERT_NE(pos, nullptr);
    objects.RemoveAt(pos);
    std::vector<CObject*> seen;
    for (POSITION p = objects.GetHeadPosition(); p != nullptr;)
        seen.push_back(objects.GetNext(p));
    EXPECT_EQ(seen, (std::vector<CObject*>{c, b}));
    EXPECT_EQ(objects.RemoveHead(), c);
    EXPECT_EQ(objects.RemoveTail(), b);
    EXPECT_EQ(objects.RemoveHead(), nullptr) << "empty";
    EXPECT_EQ(objects.Find(a), nullptr);
    delete a;
    delete b;
    delete c;

    CStringList paths(10);
    paths.AddTail("one");
    paths.AddTail(CString("two"));
    paths.InsertBefore(paths.GetTailPosition(), "between");
    EXPECT_EQ(paths.GetHead(), "one");
    POSITION p = paths.GetHeadPosition();
    paths.GetNext(p);
    EXPECT_EQ(paths.GetAt(p), "between");
    EXPECT_NE(paths.Find("two"), nullptr);
    paths.RemoveAll();
    EXPECT_TRUE(paths.IsEmpty());

    CDWordArray selection;
    selection.SetSize(0, 1);
    EXPECT_EQ(selection.GetSize(), 0);
    selection.Add(3);
    selection.Add(7);
    selection.InsertAt(1, 5);
    EXPECT_EQ(selection.GetSize(), 3);
    EXPECT_EQ(selection[1], 5u);
    EXPECT_EQ(selection.GetAt(9), 0u) << "outside the array";
    selection.RemoveAt(0, 10);
    EXPECT_EQ(selection.GetSize(), 0);
    selection.SetAtGrow(2, 4);
    EXPECT_EQ(selection.GetSize(), 3);
}

} // namespace
