// Data exchange: integers, texts, combo indices and check states between controls and members,
// and the binding of controls to their MFC objects. A text that is not an integer stops the
// exchange with "Please enter an integer." and the focus back in its edit.
#include "mfc/app.h"
#include "mfc/dialog.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Optional blanks, an optional sign, digits, optional blanks: nothing else, and within an int.
bool readInteger(const std::string& text, int* value) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0') return false;
    *value = static_cast<int>(v);
    return true;
}

std::string textOf(HWND hwnd) {
    const int n = ::GetWindowTextLengthA(hwnd);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    ::GetWindowTextA(hwnd, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

std::string applicationName() {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return {};
    if (app->m_pszAppName != nullptr) return app->m_pszAppName;
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(app->m_hInstance, path, sizeof path);
    std::string name = path;
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos ? name.substr(0, dot) : name;
}

} // namespace

CDataExchange::CDataExchange(CWnd* dialog, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

HWND CDataExchange::PrepareCtrl(int id) {
    HWND control = ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), id);
    if (control == nullptr) Fail();
    m_hWndLastControl = control;
    m_bEditLastControl = FALSE;
    return control;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    HWND control = PrepareCtrl(id);
    m_bEditLastControl = TRUE;
    return control;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_hWndLastControl != nullptr) {
        ::SetFocus(m_hWndLastControl);
        if (m_bEditLastControl) ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw CUserException();
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate) {
        int read = 0;
        if (!readInteger(textOf(control), &read)) {
            AfxMessageBox("Please enter an integer.");
            dx->Fail();
        }
        value = read;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        ::SetWindowTextA(control, text);
    }
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND control = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = textOf(control).c_str();
    else
        ::SetWindowTextA(control, value);
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        index = static_cast<int>(::SendMessageA(control, CB_GETCURSEL, 0, 0));
    else
        ::SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(control, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.GetSafeHwnd() != nullptr) return;
    HWND window = dx->PrepareCtrl(id);
    if (!control.SubclassWindow(window)) dx->Fail();
}

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    HWND owner = ::GetActiveWindow();
    if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
    if ((type & 0xF0) == 0 &&
        ((type & MB_TYPEMASK) == MB_OK || (type & MB_TYPEMASK) == MB_OKCANCEL))
        type |= MB_ICONEXCLAMATION;
    const std::string caption = applicationName();
    return ::MessageBoxA(owner, text, caption.empty() ? nullptr : caption.c_str(), type);
}
