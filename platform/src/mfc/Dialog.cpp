// CDialog: the modal loop that shows the dialog when the queue first goes idle, pre-translates
// through the dialog manager and ends on EndDialog; the template and its RT_DLGINIT data from
// the resource module; OK and Cancel; and the reflection of WM_DRAWITEM to owner-drawn controls.
#include "mfc/dialog.h"
#include "dialog/DialogTemplate.h"
#include "mfc/app.h"

#include <algorithm>

namespace {

thread_local CDialog* t_subclassing = nullptr;
thread_local HHOOK t_dialogHook = nullptr;

// The dialog window is taken over before its first message, so that WM_INITDIALOG and
// everything after it run through the dialog's message map.
LRESULT dialogCreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_subclassing != nullptr) {
        CDialog* dialog = t_subclassing;
        t_subclassing = nullptr;
        dialog->SubclassWindow(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(t_dialogHook, code, wParam, lParam);
}

LONG_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
    return dialog != nullptr ? dialog->OnInitDialog() : TRUE;
}

const void* findIn(HINSTANCE module, LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return nullptr;
    return LockResource(LoadResource(module, found));
}

bool isInputMessage(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

} // namespace

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(MAKEINTRESOURCEA(templateId)), m_pParentWnd(parent) {}

CDialog::CDialog(LPCSTR templateName, CWnd* parent)
    : m_lpszTemplateName(templateName), m_pParentWnd(parent) {}

const void* CDialog::FindTemplate(HINSTANCE* module) const {
    if (m_lpszTemplateName == nullptr) return nullptr;
    *module = AfxGetResourceHandle();
    return findIn(*module, m_lpszTemplateName, RT_DIALOG);
}

INT_PTR CDialog::DoModal() {
    HINSTANCE module = nullptr;
    const void* dialogTemplate = FindTemplate(&module);
    if (dialogTemplate == nullptr) return -1;
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (owner == nullptr) {
        CWinApp* app = AfxGetApp();
        owner = app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->GetSafeHwnd()
                                                             : ::GetActiveWindow();
    }
    if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
    const bool enableOwner = owner != nullptr && ::IsWindowEnabled(owner);
    if (enableOwner) ::EnableWindow(owner, FALSE);

    m_nModalResult = -1;
    m_continueModal = true;
    t_subclassing = this;
    t_dialogHook = SetWindowsHookExA(WH_CBT, &dialogCreationHook, nullptr, 0);
    HWND hwnd = ::CreateDialogIndirectParamA(module, dialogTemplate, owner, &AfxDlgProc, 0);
    t_subclassing = nullptr;
    UnhookWindowsHookEx(t_dialogHook);
    t_dialogHook = nullptr;
    if (hwnd != nullptr && hwnd == m_hWnd && m_continueModal) RunModalLoop();
    if (m_hWnd != nullptr)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    // The owner comes back before the dialog goes, so that the activation returns to it.
    if (enableOwner) ::EnableWindow(owner, TRUE);
    if (owner != nullptr && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
    DestroyWindow();
    if (hwnd == nullptr) return -1;
    return m_nModalResult;
}

int CDialog::RunModalLoop() {
    bool showWhenIdle = (GetStyle() & WS_VISIBLE) == 0;
    MSG msg;
    for (;;) {
        if (showWhenIdle && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            ShowWindow(SW_SHOWNORMAL);
            UpdateWindow();
            showWhenIdle = false;
        }
        do {
            if (!m_continueModal) return m_nModalResult;
            if (!::GetMessageA(&msg, nullptr, 0, 0)) {
                // Left for the loop outside to see.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                m_nModalResult = -1;
                return -1;
            }
            if (!AfxPreTranslateMessage(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
            if (!m_continueModal) return m_nModalResult;
        } while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
}

BOOL CDialog::OnInitDialog() {
    ExecuteDlgInit(m_lpszTemplateName);
    if (!UpdateData(FALSE)) {
        EndDialog(-1);
        return FALSE;
    }
    return TRUE;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
    RECT before{};
    ::GetWindowRect(m_hWnd, &before);
    const LRESULT result = Default();
    // A top-level dialog that its initialisation neither moved nor showed is centred.
    RECT after{};
    ::GetWindowRect(m_hWnd, &after);
    const DWORD style = GetStyle();
    if (::EqualRect(&before, &after) && (style & (WS_VISIBLE | WS_CHILD)) == 0) CenterWindow();
    return result;
}

void CDialog::CenterWindow(CWnd* alternateOwner) {
    HWND around =
        alternateOwner != nullptr ? alternateOwner->GetSafeHwnd() : ::GetWindow(m_hWnd, GW_OWNER);
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT target = area;
    if (around != nullptr && ::IsWindowVisible(around)) ::GetWindowRect(around, &target);
    RECT self{};
    ::GetWindowRect(m_hWnd, &self);
    const int w = self.right - self.left, h = self.bottom - self.top;
    int x = (target.left + target.right - w) / 2, y = (target.top + target.bottom - h) / 2;
    x = std::max<int>(area.left, std::min<int>(x, area.right - w));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - h));
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    m_continueModal = false;
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::ExecuteDlgInit(LPCSTR templateName) {
    if (templateName == nullptr) return TRUE;
    const auto* text =
        static_cast<const char*>(findIn(AfxGetResourceHandle(), templateName, RT_DLGINIT));
    if (text == nullptr) return TRUE; // no initialisation data: nothing to do
    std::vector<winplat::dialog::InitEntry> entries;
    if (!winplat::dialog::parseDialogInit(text, &entries, nullptr)) return FALSE;
    for (const auto& e : entries) {
        if (::SendDlgItemMessageA(m_hWnd, e.id, e.message, 0,
                                  reinterpret_cast<LPARAM>(e.text.c_str())) < 0)
            return FALSE;
    }
    return TRUE;
}

void CDialog::NextDlgCtrl() const {
    ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, 0, 0);
}
void CDialog::PrevDlgCtrl() const {
    ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, 1, 0);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control != nullptr)
        ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->GetSafeHwnd()), 1);
}

void CDialog::SetDefID(UINT id) {
    ::SendMessageA(m_hWnd, DM_SETDEFID, id, 0);
}

DWORD CDialog::GetDefID() const {
    return static_cast<DWORD>(::SendMessageA(m_hWnd, DM_GETDEFID, 0, 0));
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (CWnd::PreTranslateMessage(msg)) return TRUE;
    if (!isInputMessage(msg->message)) return FALSE;
    return ::IsDialogMessageA(m_hWnd, msg);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM && lParam != 0) {
        HWND control = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
        if (ReflectMessage(control, message, wParam, lParam, result)) {
            *result = TRUE;
            return TRUE;
        }
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}
