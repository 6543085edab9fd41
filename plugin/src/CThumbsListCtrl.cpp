#include "CThumbsListCtrl.h"

#include "CGallimoObject.h"
#include "HostGlue.h"

IMPLEMENT_DYNCREATE(CThumbsListCtrl, CListCtrl)

BEGIN_MESSAGE_MAP(CThumbsListCtrl, CListCtrl)
ON_WM_CREATE()
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDBLCLK()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
ON_WM_LBUTTONDOWN()
ON_WM_RBUTTONDOWN()
ON_WM_RBUTTONDBLCLK()
ON_WM_SETFOCUS()
ON_NOTIFY_REFLECT(LVN_BEGINDRAG, OnBeginDrag)
END_MESSAGE_MAP()

namespace {

int CALLBACK compareLabels(LPARAM first, LPARAM second, LPARAM) {
    const auto* a = reinterpret_cast<const CThumbItem*>(first);
    const auto* b = reinterpret_cast<const CThumbItem*>(second);
    return _mbsicmp(reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(a->label)),
                    reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(b->label)));
}

bool held(int key) {
    return GetKeyState(key) < 0;
}

} // namespace

CThumbsListCtrl::CThumbsListCtrl() : m_owner(nullptr) {
    m_selection.SetSize(0, 1);
}

CThumbsListCtrl::~CThumbsListCtrl() = default;

void CThumbsListCtrl::Refill() {
    SendMessage(LVM_DELETEALLITEMS, 0, 0);
    POSITION pos = m_owner->m_items.GetHeadPosition();
    while (pos != nullptr) {
        auto* item = static_cast<CThumbItem*>(m_owner->m_items.GetNext(pos));
        if (item != nullptr)
            InsertThumb(item, static_cast<int>(SendMessage(LVM_GETITEMCOUNT, 0, 0)));
    }
    SortByLabel();
    CheckSelectionChange();
}

int CThumbsListCtrl::InsertThumb(CThumbItem* item, int index) {
    const int inserted =
        InsertItem(LVIF_TEXT | LVIF_IMAGE, index, item->label, 0, 0, item->imageIndex, 0);
    if (inserted != -1)
        SetItem(inserted, 0, LVIF_PARAM, nullptr, 0, 0, 0, reinterpret_cast<LPARAM>(item));
    return inserted;
}

void CThumbsListCtrl::SortByLabel() {
    if (m_owner->m_properties.sortItems != 0)
        SendMessage(LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(&compareLabels));
}

void CThumbsListCtrl::CheckSelectionChange() {
    CDWordArray current;
    const int count = static_cast<int>(SendMessage(LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) & LVIS_SELECTED)
            current.Add(static_cast<DWORD>(i));
    bool same = current.GetSize() == m_selection.GetSize();
    for (INT_PTR i = 0; same && i < current.GetSize(); ++i)
        same = current[i] == m_selection[i];
    if (same) return;
    m_selection.RemoveAll();
    for (INT_PTR i = 0; i < current.GetSize(); ++i)
        m_selection.Add(current[i]);
    m_owner->FireEvent("On Select", "");
}

int CThumbsListCtrl::OnCreate(LPCREATESTRUCT cs) {
    if (m_owner == nullptr || CListCtrl::OnCreate(cs) == -1) return -1;
    return 0;
}

BOOL CThumbsListCtrl::OnEraseBkgnd(CDC* dc) {
    RECT client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, m_owner->m_properties.drawnBackground());
    return TRUE;
}

void CThumbsListCtrl::OnLButtonDblClk(UINT, CPoint) {
    const int first =
        static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (first != -1) {
        char arguments[64];
        wsprintfA(arguments, "e_Item=%d;", first + 1);
        m_owner->FireEvent("On Double-Click", arguments);
    }
    Default();
}

void CThumbsListCtrl::OnKeyDown(UINT key, UINT, UINT) {
    CheckSelectionChange();
    Default();
    if (key == VK_TAB) gallimo::DoHostAutoTab(m_owner->luaState(), !held(VK_SHIFT));
    char arguments[256];
    wsprintfA(arguments,
              "local e_Key=%d;local e_Modifiers = {};e_Modifiers.ctrl=%s;e_Modifiers.alt=%s;"
              "e_Modifiers.shift=%s",
              static_cast<int>(key), held(VK_CONTROL) ? "true" : "false",
              held(VK_MENU) ? "true" : "false", held(VK_SHIFT) ? "true" : "false");
    m_owner->FireEvent("On Key", arguments);
}

void CThumbsListCtrl::OnKeyUp(UINT, UINT, UINT) {
    CheckSelectionChange();
    Default();
}

void CThumbsListCtrl::OnButtonDown() {
    Default();
    CheckSelectionChange();
}

void CThumbsListCtrl::OnLButtonDown(UINT, CPoint) {
    OnButtonDown();
}
void CThumbsListCtrl::OnRButtonDown(UINT, CPoint) {
    OnButtonDown();
}
void CThumbsListCtrl::OnRButtonDblClk(UINT, CPoint) {
    OnButtonDown();
}

void CThumbsListCtrl::OnSetFocus(CWnd*) {
    Default();
    m_owner->FireEvent("On Focus", "");
}

void CThumbsListCtrl::OnBeginDrag(NMHDR*, LRESULT* result) {
    *result = 0;
}
