// CButton, CSpinButtonCtrl, CToolTipCtrl and CColorDialog over their controls.
#include "mfc/dialogcontrols.h"
#include "mfc/dialog.h"

IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CWnd)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)
IMPLEMENT_DYNAMIC(CColorDialog, CDialog)

BOOL CButton::Create(LPCSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_BUTTONA, caption, style, rect, parent, id);
}

int CButton::GetCheck() const {
    return static_cast<int>(SendMessage(BM_GETCHECK));
}
void CButton::SetCheck(int check) {
    SendMessage(BM_SETCHECK, static_cast<WPARAM>(check));
}
UINT CButton::GetState() const {
    return static_cast<UINT>(SendMessage(BM_GETSTATE));
}
void CButton::SetState(BOOL highlight) {
    SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight));
}
UINT CButton::GetButtonStyle() const {
    return GetStyle() & 0xFF;
}

void CButton::SetButtonStyle(UINT style, BOOL redraw) {
    SendMessage(BM_SETSTYLE, style, MAKELPARAM(static_cast<WORD>(redraw), 0));
}

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result != nullptr) *result = TRUE;
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, result);
}

BOOL CSpinButtonCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(UPDOWN_CLASSA, nullptr, style, rect, parent, id);
}

void CSpinButtonCtrl::SetRange(int lower, int upper) {
    SendMessage(UDM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(upper), static_cast<WORD>(lower)));
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const {
    const auto range = static_cast<DWORD>(SendMessage(UDM_GETRANGE));
    lower = static_cast<SHORT>(HIWORD(range));
    upper = static_cast<SHORT>(LOWORD(range));
}

int CSpinButtonCtrl::SetPos(int pos) {
    return static_cast<SHORT>(
        LOWORD(SendMessage(UDM_SETPOS, 0, MAKELPARAM(static_cast<WORD>(pos), 0))));
}

int CSpinButtonCtrl::GetPos() const {
    return static_cast<int>(static_cast<DWORD>(SendMessage(UDM_GETPOS)));
}

CWnd* CSpinButtonCtrl::SetBuddy(CWnd* buddy) {
    return CWnd::FromHandle(reinterpret_cast<HWND>(
        SendMessage(UDM_SETBUDDY,
                    reinterpret_cast<WPARAM>(buddy != nullptr ? buddy->GetSafeHwnd() : nullptr))));
}

CWnd* CSpinButtonCtrl::GetBuddy() const {
    return CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(UDM_GETBUDDY)));
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
    return CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, 0,
                    0, 0, 0, parent != nullptr ? parent->GetSafeHwnd() : nullptr, nullptr);
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, LPCSTR text, const RECT* rect, UINT_PTR toolId) {
    if (wnd == nullptr) return FALSE;
    TOOLINFOA info{};
    info.cbSize = sizeof info;
    info.hwnd = wnd->GetSafeHwnd();
    if (rect != nullptr) {
        info.rect = *rect;
        info.uId = toolId;
    } else {
        info.uFlags = TTF_IDISHWND;
        info.uId = reinterpret_cast<UINT_PTR>(wnd->GetSafeHwnd());
    }
    info.lpszText = const_cast<LPSTR>(text);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)));
}

void CToolTipCtrl::RelayEvent(MSG* msg) {
    if (m_hWnd != nullptr) SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

void CToolTipCtrl::Activate(BOOL activate) {
    SendMessage(TTM_ACTIVATE, static_cast<WPARAM>(activate));
}

int CToolTipCtrl::GetToolCount() const {
    return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT));
}

CColorDialog::CColorDialog(COLORREF initial, DWORD flags, CWnd* parent) : CDialog() {
    m_pParentWnd = parent;
    m_cc = CHOOSECOLORA{};
    m_cc.lStructSize = sizeof m_cc;
    m_cc.lpCustColors = GetSavedCustomColors();
    m_cc.Flags = flags;
    if ((m_cc.rgbResult = initial) != 0) m_cc.Flags |= CC_RGBINIT;
}

INT_PTR CColorDialog::DoModal() {
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : ::GetActiveWindow();
    m_cc.hwndOwner = owner != nullptr ? ::GetAncestor(owner, GA_ROOT) : nullptr;
    return ::ChooseColorA(&m_cc) ? IDOK : IDCANCEL;
}

COLORREF* CColorDialog::GetSavedCustomColors() {
    static COLORREF colours[16] = {};
    return colours;
}
