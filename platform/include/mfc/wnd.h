// CWnd: an MFC object bound to a window. A window made by CreateEx or taken over by
// SubclassWindow sends its messages through AfxWndProc to the object's message map; what no
// handler takes, and whatever a handler passes on with Default(), goes to the window's own
// procedure (m_pfnSuper) or to DefWindowProcA.
#pragma once

#include "mfc/gdi.h"
#include "mfc/geometry.h"
#include "mfc/msgmap.h"
#include "mfc/string.h"

class CRgn;

LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The name of a window class with these looks, registered on first use; the same looks give
// the same name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

class CWnd : public CCmdTarget {
    DECLARE_DYNCREATE(CWnd)
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    WNDPROC m_pfnSuper = nullptr; // the window's procedure before MFC took it over

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window, or a temporary one made for it (deleted when the window is
    // destroyed or the thread is idle); null for a null handle.
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd);
    static void DeleteTempMap();

    BOOL Attach(HWND hwnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, void* context = nullptr);
    virtual BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                          const RECT& rect, CWnd* parent, UINT id, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU idOrMenu, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A notification this window sent to its parent, offered back to it first.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Offers a notification to the MFC object of the control that sent it; TRUE when taken.
    static BOOL ReflectMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                               LRESULT* result);
    static BOOL WalkPreTranslateTree(HWND stop, MSG* msg);
    virtual void PreSubclassWindow();
    virtual void PostNcDestroy();

    // The message being handled, passed on unchanged to the default processing.
    LRESULT Default();
    static const MSG* GetCurrentMessage();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    CWnd* GetParent() const;
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    BOOL IsChild(const CWnd* wnd) const;
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);

    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(const RECT* rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags);
    void GetClientRect(RECT* rect) const;
    void GetWindowRect(RECT* rect) const;
    void ClientToScreen(POINT* point) const;
    void ClientToScreen(RECT* rect) const;
    void ScreenToClient(POINT* point) const;
    void ScreenToClient(RECT* rect) const;

    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;
    void SetWindowText(LPCSTR text);
    int GetWindowText(LPSTR buffer, int size) const;
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;

    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
    void ValidateRect(const RECT* rect);
    void UpdateWindow();
    BOOL RedrawWindow(const RECT* rect = nullptr, CRgn* region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    void SetRedraw(BOOL redraw = TRUE);
    CDC* GetDC();
    CDC* GetWindowDC();
    int ReleaseDC(CDC* dc);

    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    CWnd* SetActiveWindow();
    static CWnd* GetActiveWindow();

protected:
    afx_msg int OnCreate(LPCREATESTRUCT cs);
    afx_msg void OnDestroy();
    afx_msg void OnNcDestroy();
    afx_msg void OnClose();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnPaint();
    afx_msg void OnNcPaint();
    afx_msg void OnSize(UINT type, int cx, int cy);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnShowWindow(BOOL show, UINT status);
    afx_msg void OnEnable(BOOL enable);
    afx_msg void OnSetFocus(CWnd* oldWnd);
    afx_msg void OnKillFocus(CWnd* newWnd);
    afx_msg void OnActivateApp(BOOL active, DWORD threadId);
    afx_msg void OnCaptureChanged(CWnd* wnd);
    afx_msg UINT OnGetDlgCode();
    afx_msg BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnKeyUp(UINT key, UINT repeat, UINT flags);
    afx_msg void OnChar(UINT ch, UINT repeat, UINT flags);
    afx_msg void OnSysKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnSysKeyUp(UINT key, UINT repeat, UINT flags);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnRButtonDown(UINT flags, CPoint point);
    afx_msg void OnRButtonUp(UINT flags, CPoint point);
    afx_msg void OnRButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnMButtonDown(UINT flags, CPoint point);
    afx_msg void OnMButtonUp(UINT flags, CPoint point);
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* focusWnd);

    DECLARE_MESSAGE_MAP()
};

// Entries for the window messages: each unpacks the message into the handler's arguments.
#define AFX_ON_VOID(message, call)                                                                 \
    {message, 0, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT*) {                           \
         (void)w;                                                                                  \
         (void)l;                                                                                  \
         AFX_THIS(t)->call;                                                                        \
         return true;                                                                              \
     }},
#define AFX_ON_RESULT(message, call)                                                               \
    {message, 0, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) {                         \
         (void)w;                                                                                  \
         (void)l;                                                                                  \
         *r = static_cast<LRESULT>(AFX_THIS(t)->call);                                             \
         return true;                                                                              \
     }},
#define AFX_KEY_ARGS                                                                               \
    static_cast<UINT>(w), static_cast<UINT>(LOWORD(l)), static_cast<UINT>(HIWORD(l))
#define AFX_MOUSE_ARGS static_cast<UINT>(w), CPoint(l)

#define ON_WM_CREATE() AFX_ON_RESULT(WM_CREATE, OnCreate(reinterpret_cast<LPCREATESTRUCT>(l)))
#define ON_WM_DESTROY() AFX_ON_VOID(WM_DESTROY, OnDestroy())
#define ON_WM_NCDESTROY() AFX_ON_VOID(WM_NCDESTROY, OnNcDestroy())
#define ON_WM_CLOSE() AFX_ON_VOID(WM_CLOSE, OnClose())
#define ON_WM_ERASEBKGND()                                                                         \
    AFX_ON_RESULT(WM_ERASEBKGND, OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(w))))
#define ON_WM_PAINT() AFX_ON_VOID(WM_PAINT, OnPaint())
#define ON_WM_NCPAINT() AFX_ON_VOID(WM_NCPAINT, OnNcPaint())
#define ON_WM_SIZE()                                                                               \
    AFX_ON_VOID(WM_SIZE, OnSize(static_cast<UINT>(w), GET_X_LPARAM(l), GET_Y_LPARAM(l)))
#define ON_WM_MOVE() AFX_ON_VOID(WM_MOVE, OnMove(GET_X_LPARAM(l), GET_Y_LPARAM(l)))
#define ON_WM_SHOWWINDOW()                                                                         \
    AFX_ON_VOID(WM_SHOWWINDOW, OnShowWindow(static_cast<BOOL>(w), static_cast<UINT>(l)))
#define ON_WM_ENABLE() AFX_ON_VOID(WM_ENABLE, OnEnable(static_cast<BOOL>(w)))
#define ON_WM_SETFOCUS()                                                                           \
    AFX_ON_VOID(WM_SETFOCUS, OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(w))))
#define ON_WM_KILLFOCUS()                                                                          \
    AFX_ON_VOID(WM_KILLFOCUS, OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(w))))
#define ON_WM_ACTIVATEAPP()                                                                        \
    AFX_ON_VOID(WM_ACTIVATEAPP, OnActivateApp(static_cast<BOOL>(w), static_cast<DWORD>(l)))
#define ON_WM_CAPTURECHANGED()                                                                     \
    AFX_ON_VOID(WM_CAPTURECHANGED, OnCaptureChanged(CWnd::FromHandle(reinterpret_cast<HWND>(l))))
#define ON_WM_GETDLGCODE() AFX_ON_RESULT(WM_GETDLGCODE, OnGetDlgCode())
#define ON_WM_SETCURSOR()                                                                          \
    AFX_ON_RESULT(WM_SETCURSOR, OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(w)),           \
                                            static_cast<UINT>(static_cast<SHORT>(LOWORD(l))),      \
                                            static_cast<UINT>(HIWORD(l))))
#define ON_WM_KEYDOWN() AFX_ON_VOID(WM_KEYDOWN, OnKeyDown(AFX_KEY_ARGS))
#define ON_WM_KEYUP() AFX_ON_VOID(WM_KEYUP, OnKeyUp(AFX_KEY_ARGS))
#define ON_WM_CHAR() AFX_ON_VOID(WM_CHAR, OnChar(AFX_KEY_ARGS))
#define ON_WM_SYSKEYDOWN() AFX_ON_VOID(WM_SYSKEYDOWN, OnSysKeyDown(AFX_KEY_ARGS))
#define ON_WM_SYSKEYUP() AFX_ON_VOID(WM_SYSKEYUP, OnSysKeyUp(AFX_KEY_ARGS))
#define ON_WM_MOUSEMOVE() AFX_ON_VOID(WM_MOUSEMOVE, OnMouseMove(AFX_MOUSE_ARGS))
#define ON_WM_LBUTTONDOWN() AFX_ON_VOID(WM_LBUTTONDOWN, OnLButtonDown(AFX_MOUSE_ARGS))
#define ON_WM_LBUTTONUP() AFX_ON_VOID(WM_LBUTTONUP, OnLButtonUp(AFX_MOUSE_ARGS))
#define ON_WM_LBUTTONDBLCLK() AFX_ON_VOID(WM_LBUTTONDBLCLK, OnLButtonDblClk(AFX_MOUSE_ARGS))
#define ON_WM_RBUTTONDOWN() AFX_ON_VOID(WM_RBUTTONDOWN, OnRButtonDown(AFX_MOUSE_ARGS))
#define ON_WM_RBUTTONUP() AFX_ON_VOID(WM_RBUTTONUP, OnRButtonUp(AFX_MOUSE_ARGS))
#define ON_WM_RBUTTONDBLCLK() AFX_ON_VOID(WM_RBUTTONDBLCLK, OnRButtonDblClk(AFX_MOUSE_ARGS))
#define ON_WM_MBUTTONDOWN() AFX_ON_VOID(WM_MBUTTONDOWN, OnMButtonDown(AFX_MOUSE_ARGS))
#define ON_WM_MBUTTONUP() AFX_ON_VOID(WM_MBUTTONUP, OnMButtonUp(AFX_MOUSE_ARGS))
#define ON_WM_QUERYNEWPALETTE() AFX_ON_RESULT(WM_QUERYNEWPALETTE, OnQueryNewPalette())
#define ON_WM_PALETTECHANGED()                                                                     \
    AFX_ON_VOID(WM_PALETTECHANGED, OnPaletteChanged(CWnd::FromHandle(reinterpret_cast<HWND>(w))))
