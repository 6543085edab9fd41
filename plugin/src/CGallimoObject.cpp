#include "CGallimoObject.h"

#include "CThumbsListCtrl.h"
#include "GallimoActions.h"
#include "Saturating.h"
#include "StringOut.h"

#include <cstring>

namespace {

constexpr std::size_t kEventRecord = 1200;
constexpr std::size_t kArgumentsAt = 200;
constexpr UINT kListId = 10021;

struct EventDescription {
    const char* name;
    const char* arguments;
};
constexpr EventDescription kEvents[4] = {
    {"On Select", ""},
    {"On Double-Click", "number e_Item"},
    {"On Key", "number e_Key, table e_Modifiers"},
    {"On Focus", ""},
};

} // namespace

CGallimoObject::CGallimoObject() : m_propertyText{}, m_listCtrl(nullptr), m_items(10) {
    std::strcpy(m_typeString, "QV_GALLIMO");
    for (int i = 0; i < 4; ++i) {
        m_events[i] = new char[kEventRecord]();
        lstrcpynA(m_events[i], kEvents[i].name, kArgumentsAt);
        lstrcpynA(m_events[i] + kArgumentsAt, kEvents[i].arguments, kArgumentsAt);
    }
}

CGallimoObject::~CGallimoObject() {
    for (char*& record : m_events) {
        delete[] record;
        record = nullptr;
    }
    RemoveAllItems();
    m_imageList.DeleteImageList();
    DestroyListWindow();
}

SIZE CGallimoObject::GetDefaultSize() {
    return {200, 100};
}
int CGallimoObject::GetFlagA() {
    return 1;
}
int CGallimoObject::GetFlagB() {
    return 0;
}
int CGallimoObject::GetFlagC() {
    return 0;
}
int CGallimoObject::GetFlagD() {
    return 0;
}
int CGallimoObject::GetFlagE() {
    return 1;
}
int CGallimoObject::GetEventCount() {
    return 4;
}

bool CGallimoObject::hasWindow() const {
    return m_listCtrl != nullptr && ::IsWindow(m_listCtrl->GetSafeHwnd());
}

HWND CGallimoObject::GetWindowHandle() {
    return hasWindow() ? m_listCtrl->GetSafeHwnd() : nullptr;
}

DWORD CGallimoObject::windowStyle() const {
    DWORD style = WS_CHILD | LVS_AUTOARRANGE | LVS_SHOWSELALWAYS | LVS_ICON;
    if (m_properties.verticalLayout == 0) style |= LVS_ALIGNLEFT;
    if (m_properties.multipleSelection == 0) style |= LVS_SINGLESEL;
    if (m_properties.windowBorder == 1) style |= WS_BORDER;
    return style;
}

bool CGallimoObject::createImageList() {
    return m_imageList.Create(m_properties.thumbWidth, m_properties.thumbHeight,
                              ILC_COLOR24 | ILC_MASK, 0, 1) != FALSE;
}

bool CGallimoObject::placeWindow(HWND parent, const RECT& rect, DWORD style, bool retryImageList) {
    if (m_listCtrl == nullptr) {
        m_listCtrl = new CThumbsListCtrl;
        m_listCtrl->m_owner = this;
    }
    if (!::IsWindow(m_listCtrl->GetSafeHwnd())) {
        const DWORD exStyle = m_properties.windowBorder == 2
                                  ? WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY
                                  : WS_EX_NOPARENTNOTIFY;
        if (!m_listCtrl->CreateEx(exStyle, "SysListView32", "QV_Gallimo", style, rect,
                                  CWnd::FromHandle(parent), kListId)) {
            DestroyListWindow();
            return false;
        }
        if (m_imageList.GetSafeHandle() == nullptr && !createImageList() && retryImageList)
            createImageList();
        applyIconSpacing();
        m_listCtrl->SetImageList(&m_imageList, LVSIL_NORMAL);
        m_listCtrl->Refill();
    }
    m_listCtrl->MoveWindow(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                           TRUE);
    return true;
}

void CGallimoObject::applyIconSpacing() {
    // Sizes and spacings come unchecked from scripts and property strings.
    const auto sum = [](int thumb, int spacing) {
        return gallimo::clampToInt(static_cast<long long>(thumb) + spacing);
    };
    m_listCtrl->SetIconSpacing(sum(m_properties.thumbWidth, m_properties.horizontalSpacing),
                               sum(m_properties.thumbHeight, m_properties.verticalSpacing));
}

void CGallimoObject::PositionDesignWindow(int, HWND parent, int left, int top, int right,
                                          int bottom, int show, int) {
    if (show == 0) {
        DestroyListWindow();
        return;
    }
    placeWindow(parent, RECT{left, top, right, bottom}, windowStyle() | WS_VISIBLE | WS_DISABLED,
                true);
}

void CGallimoObject::PositionRunWindow(int, HWND parent, int left, int top, int right, int bottom,
                                       int visible, int enabled) {
    DWORD style = windowStyle();
    if (visible) style |= WS_VISIBLE;
    if (!enabled) style |= WS_DISABLED;
    if (placeWindow(parent, RECT{left, top, right, bottom}, style, false))
        ShowObjectWindow(visible);
}

void CGallimoObject::DestroyObjectWindow() {
    DestroyListWindow();
}

void CGallimoObject::DestroyListWindow() {
    if (m_listCtrl == nullptr) return;
    if (::IsWindow(m_listCtrl->GetSafeHwnd())) {
        m_listCtrl->ShowWindow(SW_HIDE);
        m_listCtrl->DestroyWindow();
    }
    delete m_listCtrl;
    m_listCtrl = nullptr;
}

int CGallimoObject::GetProperties(char* buffer, int* length) {
    std::memset(m_propertyText, 0, sizeof m_propertyText);
    m_properties.format(m_propertyText);
    return gallimo::copyStringOut(m_propertyText, buffer, length);
}

void CGallimoObject::SetProperties(char* text) {
    m_properties.parse(text);
}

int CGallimoObject::GetEventInfo(int index, char* buffer) {
    if (index < 0 || index > 3 || buffer == nullptr) return 0;
    lstrcpynA(buffer, m_events[index], kArgumentsAt);
    lstrcpynA(buffer + kArgumentsAt, m_events[index] + kArgumentsAt, kArgumentsAt);
    return 1;
}

int CGallimoObject::SetLuaState(lua_State* L) {
    CPluginObject::SetLuaState(L);
    gallimo::RegisterActions(L);
    return 0;
}

void CGallimoObject::FocusWindow() {
    if (hasWindow()) m_listCtrl->SetFocus();
}

void CGallimoObject::ShowObjectWindow(int show) {
    if (hasWindow()) m_listCtrl->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CGallimoObject::RemoveAllItems() {
    while (!m_items.IsEmpty())
        delete static_cast<CThumbItem*>(m_items.RemoveHead());
}
