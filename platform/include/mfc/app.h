// The application object. A module holds at most one; LoadLibraryA runs its InitInstance
// once the module is loaded and the last FreeLibrary runs its ExitInstance before the
// module's destructors (win32/module.h). AfxGetApp is the newest application object alive.
#pragma once

#include "mfc/msgmap.h"
#include "mfc/wnd.h"

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread() = default;

    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // Offers a message to the target window and its parents (CWnd::PreTranslateMessage)
    // before it is translated and dispatched; TRUE when one of them took it.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Retrieves, pre-translates and dispatches one message; FALSE on WM_QUIT.
    virtual BOOL PumpMessage();
};

class CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    LPCSTR m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr; // the handle of the module that holds the object
    int m_nWaitCursorCount = 0;
    HCURSOR m_hcurWaitCursorRestore = nullptr;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // 1 shows the wait cursor (counted), -1 takes one back and restores the cursor that was
    // shown before the first when the count reaches 0, 0 shows it again if the count is positive.
    virtual void DoWaitCursor(int code);
    HCURSOR LoadStandardCursor(LPCSTR name) const;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWinThread* AfxGetThread();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// CWinThread::PreTranslateMessage of the application, or the walk up the target's parents
// when there is none.
BOOL AfxPreTranslateMessage(MSG* msg);
