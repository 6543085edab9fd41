// CWnd: binding objects to windows, taking a window's procedure over, dispatching through the
// message maps, reflection of notifications back to the controls that sent them, and the
// wrappers over user32.
#include "mfc/HandleMap.h"
#include "mfc/app.h"
#include "user/WindowSystem.h"
#include "win32/module.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace {

using WndMap = winplat::mfc::HandleMap<HWND, CWnd>;

WndMap& wndMap() {
    static auto* m = new WndMap([](CWnd* w) { w->m_hWnd = nullptr; });
    return *m;
}

thread_local MSG t_current{};
thread_local CWnd* t_creating = nullptr;
thread_local HHOOK t_hook = nullptr;

// Keeps the message being handled for Default(), across nested messages.
class CurrentMessage {
public:
    CurrentMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) : m_saved(t_current) {
        POINT pt;
        GetCursorPos(&pt);
        t_current = MSG{hwnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), pt};
    }
    ~CurrentMessage() { t_current = m_saved; }
    CurrentMessage(const CurrentMessage&) = delete;
    CurrentMessage& operator=(const CurrentMessage&) = delete;

private:
    MSG m_saved;
};

void takeOver(CWnd* wnd, HWND hwnd) {
    auto old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (old != &AfxWndProc) wnd->m_pfnSuper = old;
}

LRESULT creationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_creating != nullptr) {
        CWnd* wnd = t_creating;
        t_creating = nullptr;
        auto hwnd = reinterpret_cast<HWND>(wParam);
        if (wnd->Attach(hwnd)) {
            wnd->PreSubclassWindow();
            takeOver(wnd, hwnd);
        }
    }
    return CallNextHookEx(t_hook, code, wParam, lParam);
}

void hookCreation(CWnd* wnd) {
    if (t_hook == nullptr)
        t_hook = SetWindowsHookExA(WH_CBT, &creationHook, nullptr, GetCurrentThreadId());
    t_creating = wnd;
}

// True when the window being created reached the hook.
bool unhookCreation() {
    bool reached = t_creating == nullptr;
    t_creating = nullptr;
    if (t_hook != nullptr) {
        UnhookWindowsHookEx(t_hook);
        t_hook = nullptr;
    }
    return reached;
}

void windowGone(HWND hwnd) {
    if (CWnd* w = wndMap().permanent(hwnd)) {
        wndMap().detach(hwnd, w);
        w->m_hWnd = nullptr;
    }
    wndMap().retire(hwnd);
}

bool reflectForForeignParent(HWND parent, HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result) {
    if (CWnd::FromHandlePermanent(parent) != nullptr) return false;
    return CWnd::ReflectMessage(control, message, wParam, lParam, result) != FALSE;
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addDestroyObserver(&windowGone);
    winplat::user::setReflector(&reflectForForeignParent);
    return true;
}();

} // namespace

LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (wnd == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    CurrentMessage current(hwnd, message, wParam, lParam);
    return wnd->WindowProc(message, wParam, lParam);
}

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::mutex lock;
    static auto* names = new std::set<std::string>;
    char name[96];
    std::snprintf(name, sizeof name, "Afx:%p:%x:%p:%p", static_cast<void*>(cursor), classStyle,
                  static_cast<void*>(background), static_cast<void*>(icon));
    std::lock_guard<std::mutex> guard(lock);
    auto it = names->find(name);
    if (it != names->end()) return it->c_str();
    WNDCLASSA existing;
    if (!GetClassInfoA(nullptr, name, &existing)) {
        WNDCLASSA wc{};
        wc.style = classStyle;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = name;
        if (RegisterClassA(&wc) == 0) return nullptr;
    }
    return names->insert(name).first->c_str();
}

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
ON_WM_NCDESTROY()
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd != nullptr && wndMap().permanent(m_hWnd) == this && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    if (m_hWnd != nullptr) Detach();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    if (CWnd* w = wndMap().permanent(hwnd)) return w;
    if (CWnd* w = wndMap().temporary(hwnd)) return w;
    if (!::IsWindow(hwnd)) return nullptr;
    auto* w = new CWnd;
    w->m_hWnd = hwnd;
    return wndMap().addTemporary(hwnd, w);
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    return hwnd != nullptr ? wndMap().permanent(hwnd) : nullptr;
}

void CWnd::DeleteTempMap() {
    wndMap().deleteTemporaries();
}

BOOL CWnd::Attach(HWND hwnd) {
    if (hwnd == nullptr || m_hWnd != nullptr || !::IsWindow(hwnd)) return FALSE;
    if (!wndMap().attach(hwnd, this)) return FALSE;
    m_hWnd = hwnd;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hwnd = m_hWnd;
    if (hwnd != nullptr) wndMap().detach(hwnd, this);
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (!Attach(hwnd)) return FALSE;
    PreSubclassWindow();
    takeOver(this, hwnd);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    if (parent == nullptr) return FALSE;
    HWND control = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
    return control != nullptr ? SubclassWindow(control) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
    if (m_hWnd == nullptr) return nullptr;
    if (m_pfnSuper != nullptr)
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
    return TRUE;
}

BOOL CWnd::Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id, void*) {
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, LPVOID param) {
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top,
                    parent != nullptr ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU idOrMenu, LPVOID param) {
    if (m_hWnd != nullptr) return FALSE;
    CREATESTRUCTA cs{param, AfxGetInstanceHandle(),   idOrMenu,   parent,    height, width, y,
                     x,     static_cast<LONG>(style), windowName, className, exStyle};
    if (!PreCreateWindow(cs)) {
        PostNcDestroy();
        return FALSE;
    }
    hookCreation(this);
    HWND hwnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName,
                                  static_cast<DWORD>(cs.style), cs.x, cs.y, cs.cx, cs.cy,
                                  cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    // A window that never reached the hook was never ours: clean up as its end would have.
    if (!unhookCreation()) PostNcDestroy();
    return hwnd != nullptr && hwnd == m_hWnd ? TRUE : FALSE;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    HWND hwnd = m_hWnd;
    bool permanent = wndMap().permanent(hwnd) == this;
    BOOL done = ::DestroyWindow(hwnd);
    if (!permanent) m_hWnd = nullptr;
    return done;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *result = 1;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header == nullptr || header->hwndFrom == nullptr) return FALSE;
        LRESULT r = 0;
        if (!OnNotify(wParam, lParam, &r)) return FALSE;
        *result = r;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* e = FindEntry(message, 0, 0);
    if (e == nullptr) return FALSE;
    LRESULT r = 0;
    if (!e->pfn(this, wParam, lParam, &r)) return FALSE;
    *result = r;
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper != nullptr) return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    auto control = reinterpret_cast<HWND>(lParam);
    if (control != nullptr && ReflectMessage(control, WM_COMMAND, wParam, lParam, nullptr))
        return TRUE;
    return OnCmdMsg(WM_COMMAND, HIWORD(wParam), LOWORD(wParam), wParam, lParam, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (ReflectMessage(header->hwndFrom, WM_NOTIFY, wParam, lParam, result)) return TRUE;
    return OnCmdMsg(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom), wParam, lParam,
                    result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return ReflectChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_COMMAND:
        return OnCmdMsg(WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0, wParam, lParam, result);
    case WM_NOTIFY:
        return OnCmdMsg(WM_REFLECT_BASE + WM_NOTIFY, reinterpret_cast<NMHDR*>(lParam)->code, 0,
                        wParam, lParam, result);
    default:
        return OnCmdMsg(WM_REFLECT_BASE + message, 0, 0, wParam, lParam, result);
    }
}

BOOL CWnd::ReflectMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* result) {
    CWnd* wnd = FromHandlePermanent(control);
    if (wnd == nullptr) return FALSE;
    LRESULT ignored = 0;
    return wnd->OnChildNotify(message, wParam, lParam, result != nullptr ? result : &ignored);
}

BOOL CWnd::WalkPreTranslateTree(HWND stop, MSG* msg) {
    for (HWND h = msg->hwnd; h != nullptr; h = ::GetParent(h)) {
        CWnd* wnd = FromHandlePermanent(h);
        if (wnd != nullptr && wnd->PreTranslateMessage(msg)) return TRUE;
        if (h == stop) break;
    }
    return FALSE;
}

void CWnd::PreSubclassWindow() {}

void CWnd::PostNcDestroy() {}

LRESULT CWnd::Default() {
    return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam);
}

const MSG* CWnd::GetCurrentMessage() {
    return &t_current;
}

void CWnd::OnNcDestroy() {
    HWND hwnd = m_hWnd;
    Default();
    if (m_pfnSuper != nullptr &&
        GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc))
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    Detach();
    PostNcDestroy();
}

int CWnd::OnCreate(LPCREATESTRUCT) {
    return static_cast<int>(Default());
}
void CWnd::OnDestroy() {
    Default();
}
void CWnd::OnClose() {
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
    return static_cast<BOOL>(Default());
}
void CWnd::OnPaint() {
    Default();
}
void CWnd::OnNcPaint() {
    Default();
}
void CWnd::OnSize(UINT, int, int) {
    Default();
}
void CWnd::OnMove(int, int) {
    Default();
}
void CWnd::OnShowWindow(BOOL, UINT) {
    Default();
}
void CWnd::OnEnable(BOOL) {
    Default();
}
void CWnd::OnSetFocus(CWnd*) {
    Default();
}
void CWnd::OnKillFocus(CWnd*) {
    Default();
}
void CWnd::OnActivateApp(BOOL, DWORD) {
    Default();
}
void CWnd::OnCaptureChanged(CWnd*) {
    Default();
}
UINT CWnd::OnGetDlgCode() {
    return static_cast<UINT>(Default());
}
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) {
    return static_cast<BOOL>(Default());
}
void CWnd::OnKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnKeyUp(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnChar(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnSysKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnSysKeyUp(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
    Default();
}
void CWnd::OnRButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnRButtonUp(UINT, CPoint) {
    Default();
}
void CWnd::OnRButtonDblClk(UINT, CPoint) {
    Default();
}
void CWnd::OnMButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnMButtonUp(UINT, CPoint) {
    Default();
}
BOOL CWnd::OnQueryNewPalette() {
    return static_cast<BOOL>(Default());
}
void CWnd::OnPaletteChanged(CWnd*) {
    Default();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

CWnd* CWnd::GetParent() const {
    return FromHandle(::GetParent(m_hWnd));
}
CWnd* CWnd::GetDlgItem(int id) const {
    return FromHandle(::GetDlgItem(m_hWnd, id));
}
int CWnd::GetDlgCtrlID() const {
    return ::GetDlgCtrlID(m_hWnd);
}

BOOL CWnd::IsChild(const CWnd* wnd) const {
    return wnd != nullptr ? ::IsChild(m_hWnd, wnd->m_hWnd) : FALSE;
}

DWORD CWnd::GetStyle() const {
    return static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
}

DWORD CWnd::GetExStyle() const {
    return static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE));
}

namespace {

BOOL modifyLong(HWND hwnd, int index, DWORD remove, DWORD add, UINT flags) {
    DWORD old = static_cast<DWORD>(GetWindowLongPtrA(hwnd, index));
    DWORD next = (old & ~remove) | add;
    if (next == old) return FALSE;
    SetWindowLongPtrA(hwnd, index, static_cast<LONG_PTR>(next));
    if (flags != 0)
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

} // namespace

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) {
    return modifyLong(m_hWnd, GWL_STYLE, remove, add, flags);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) {
    return modifyLong(m_hWnd, GWL_EXSTYLE, remove, add, flags);
}

BOOL CWnd::ShowWindow(int command) {
    return ::ShowWindow(m_hWnd, command);
}
BOOL CWnd::IsWindowVisible() const {
    return ::IsWindowVisible(m_hWnd);
}
BOOL CWnd::EnableWindow(BOOL enable) {
    return ::EnableWindow(m_hWnd, enable);
}
BOOL CWnd::IsWindowEnabled() const {
    return ::IsWindowEnabled(m_hWnd);
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

void CWnd::MoveWindow(const RECT* rect, BOOL repaint) {
    if (rect != nullptr)
        ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left,
                     rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags) {
    return ::SetWindowPos(m_hWnd, insertAfter != nullptr ? insertAfter->m_hWnd : nullptr, x, y,
                          width, height, flags);
}

void CWnd::GetClientRect(RECT* rect) const {
    ::GetClientRect(m_hWnd, rect);
}
void CWnd::GetWindowRect(RECT* rect) const {
    ::GetWindowRect(m_hWnd, rect);
}
void CWnd::ClientToScreen(POINT* point) const {
    ::ClientToScreen(m_hWnd, point);
}
void CWnd::ScreenToClient(POINT* point) const {
    ::ScreenToClient(m_hWnd, point);
}

void CWnd::ClientToScreen(RECT* rect) const {
    if (rect != nullptr) ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(rect), 2);
}

void CWnd::ScreenToClient(RECT* rect) const {
    if (rect != nullptr) ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rect), 2);
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
    ::SendMessageA(m_hWnd, WM_SETFONT,
                   reinterpret_cast<WPARAM>(font != nullptr ? font->m_hObject : nullptr), redraw);
}

CFont* CWnd::GetFont() const {
    return CFont::FromHandle(reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)));
}

void CWnd::SetWindowText(LPCSTR text) {
    ::SetWindowTextA(m_hWnd, text);
}
int CWnd::GetWindowText(LPSTR buffer, int size) const {
    return ::GetWindowTextA(m_hWnd, buffer, size);
}
int CWnd::GetWindowTextLength() const {
    return ::GetWindowTextLengthA(m_hWnd);
}

void CWnd::GetWindowText(CString& text) const {
    int n = GetWindowTextLength();
    ::GetWindowTextA(m_hWnd, text.GetBufferSetLength(n), n + 1);
    text.ReleaseBuffer();
}

void CWnd::Invalidate(BOOL erase) {
    ::InvalidateRect(m_hWnd, nullptr, erase);
}
void CWnd::InvalidateRect(const RECT* rect, BOOL erase) {
    ::InvalidateRect(m_hWnd, rect, erase);
}
void CWnd::ValidateRect(const RECT* rect) {
    ::ValidateRect(m_hWnd, rect);
}
void CWnd::UpdateWindow() {
    ::UpdateWindow(m_hWnd);
}

BOOL CWnd::RedrawWindow(const RECT* rect, CRgn*, UINT flags) {
    return ::RedrawWindow(m_hWnd, rect, nullptr, flags);
}

void CWnd::SetRedraw(BOOL redraw) {
    ::SendMessageA(m_hWnd, WM_SETREDRAW, redraw, 0);
}

CDC* CWnd::GetDC() {
    return CDC::FromHandle(::GetDC(m_hWnd));
}
CDC* CWnd::GetWindowDC() {
    return CDC::FromHandle(::GetWindowDC(m_hWnd));
}

int CWnd::ReleaseDC(CDC* dc) {
    if (dc == nullptr) return 0;
    HDC hdc = dc->m_hDC;
    if (CDC::FromHandle(hdc) == dc && hdc != nullptr) dc->m_hDC = nullptr;
    return ::ReleaseDC(m_hWnd, hdc);
}

CWnd* CWnd::SetFocus() {
    return FromHandle(::SetFocus(m_hWnd));
}
CWnd* CWnd::GetFocus() {
    return FromHandle(::GetFocus());
}
CWnd* CWnd::SetCapture() {
    return FromHandle(::SetCapture(m_hWnd));
}
CWnd* CWnd::GetCapture() {
    return FromHandle(::GetCapture());
}
CWnd* CWnd::SetActiveWindow() {
    return FromHandle(::SetActiveWindow(m_hWnd));
}
CWnd* CWnd::GetActiveWindow() {
    return FromHandle(::GetActiveWindow());
}
