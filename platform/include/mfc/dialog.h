// CDialog with its data exchange, CColorDialog and AfxMessageBox. A dialog's template is found
// in the resource module (AfxGetResourceHandle; the program when there is none); its combo
// boxes are filled from the template's RT_DLGINIT data.
#pragma once

#include "mfc/wnd.h"
#include "win32/commdlg.h"
#include "win32/dialogs.h"

class CDialog;

// Thrown by CDataExchange::Fail and caught by UpdateData.
class CUserException {};

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate);

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;

    // The control's window for the exchange (noted for Fail); a missing control fails.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Gives the focus back to the control that failed and ends the exchange.
    [[noreturn]] void Fail();
};

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCSTR templateName, CWnd* parent = nullptr);

    LPCSTR m_lpszTemplateName = nullptr;
    CWnd* m_pParentWnd = nullptr;

    // Shows the dialog modally: its owner is disabled until the dialog ends. IDOK, IDCANCEL
    // or what EndDialog gave; -1 when the template cannot be found or the dialog not made.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int result);
    // Runs the data exchange; FALSE when a control's value could not be taken.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* dx);
    BOOL ExecuteDlgInit(LPCSTR templateName);
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    void SetDefID(UINT id);
    DWORD GetDefID() const;
    // Centres the window over its owner, or over the screen when the owner is hidden.
    void CenterWindow(CWnd* alternateOwner = nullptr);

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

protected:
    virtual void OnOK();
    virtual void OnCancel();
    afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    // The template's text and the module it came from; null when none is found.
    const void* FindTemplate(HINSTANCE* module) const;
    int RunModalLoop();

    int m_nModalResult = -1;
    bool m_continueModal = false;

    DECLARE_MESSAGE_MAP()
};

// Data exchange between controls and members.
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

// The system's colour dialog; DoModal gives IDOK with GetColor() the chosen colour.
class CColorDialog : public CDialog {
    DECLARE_DYNAMIC(CColorDialog)
public:
    explicit CColorDialog(COLORREF initial = 0, DWORD flags = 0, CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    COLORREF GetColor() const { return m_cc.rgbResult; }
    static COLORREF* GetSavedCustomColors();

    CHOOSECOLORA m_cc;
};

// A message box owned by the active window, captioned with the application's name.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
