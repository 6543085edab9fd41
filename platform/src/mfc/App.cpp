// The application object: its start-up and clean-up with its module, the wait cursor, the
// message pump that pre-translates, and the idle clean-up of temporary objects.
#include "mfc/app.h"
#include "Modules.h"
#include "mfc/controls.h"
#include "winplat/input.h"
#include "winplat/resources.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

namespace {

struct App {
    CWinApp* app;
    HMODULE module; // null until its module's LoadLibraryA attached it
    std::size_t serial;
};

std::mutex g_appLock;
std::vector<App>& apps() {
    static auto* v = new std::vector<App>;
    return *v;
}
std::size_t g_constructed = 0;

std::size_t appsConstructed() {
    std::lock_guard<std::mutex> guard(g_appLock);
    return g_constructed;
}

std::vector<CWinApp*> appsOf(HMODULE module) {
    std::lock_guard<std::mutex> guard(g_appLock);
    std::vector<CWinApp*> out;
    for (const App& a : apps()) {
        if (a.module == module) out.push_back(a.app);
    }
    return out;
}

// The application objects that the module's static construction made now belong to it and
// start; a refusal unloads the module again.
bool attachModule(HMODULE module, std::size_t before) {
    {
        std::lock_guard<std::mutex> guard(g_appLock);
        for (App& a : apps()) {
            if (a.module == nullptr && a.serial >= before) a.module = module;
        }
    }
    for (CWinApp* app : appsOf(module)) {
        app->m_hInstance = module;
        if (!app->InitInstance()) {
            app->ExitInstance();
            return false;
        }
    }
    return true;
}

void detachModule(HMODULE module) {
    for (CWinApp* app : appsOf(module))
        app->ExitInstance();
    CWnd::DeleteTempMap();
    CDC::DeleteTempMap();
    CGdiObject::DeleteTempMap();
    CImageList::DeleteTempMap();
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::setModuleListener(
        winplat::ModuleListener{&appsConstructed, &attachModule, &detachModule});
    return true;
}();

} // namespace

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

BOOL CWinThread::InitInstance() {
    return TRUE;
}

int CWinThread::ExitInstance() {
    return 0;
}

BOOL CWinThread::PreTranslateMessage(MSG* msg) {
    return CWnd::WalkPreTranslateTree(nullptr, msg);
}

BOOL CWinThread::PumpMessage() {
    MSG msg;
    if (!GetMessageA(&msg, nullptr, 0, 0)) return FALSE;
    if (!PreTranslateMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return TRUE;
}

// Known from the start, as a module's own instance handle is, however the module was loaded.
CWinApp::CWinApp(LPCSTR appName) : m_pszAppName(appName), m_hInstance(winplat::moduleOf(this)) {
    std::lock_guard<std::mutex> guard(g_appLock);
    apps().push_back(App{this, nullptr, g_constructed++});
}

CWinApp::~CWinApp() {
    std::lock_guard<std::mutex> guard(g_appLock);
    auto& v = apps();
    v.erase(std::remove_if(v.begin(), v.end(), [this](const App& a) { return a.app == this; }),
            v.end());
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

void CWinApp::DoWaitCursor(int code) {
    m_nWaitCursorCount += code;
    if (m_nWaitCursorCount > 0) {
        HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        if (code > 0 && m_nWaitCursorCount == 1) m_hcurWaitCursorRestore = previous;
        return;
    }
    // Unbalanced calls never drive the count below zero.
    m_nWaitCursorCount = 0;
    SetCursor(m_hcurWaitCursorRestore);
}

HCURSOR CWinApp::LoadStandardCursor(LPCSTR name) const {
    return LoadCursorA(nullptr, name);
}

CWinApp* AfxGetApp() {
    std::lock_guard<std::mutex> guard(g_appLock);
    return apps().empty() ? nullptr : apps().back().app;
}

CWinThread* AfxGetThread() {
    return AfxGetApp();
}

HINSTANCE AfxGetInstanceHandle() {
    CWinApp* app = AfxGetApp();
    return app != nullptr ? app->m_hInstance : nullptr;
}

HINSTANCE AfxGetResourceHandle() {
    return AfxGetInstanceHandle();
}

BOOL AfxPreTranslateMessage(MSG* msg) {
    if (CWinThread* thread = AfxGetThread()) return thread->PreTranslateMessage(msg);
    return CWnd::WalkPreTranslateTree(nullptr, msg);
}

extern "C" std::size_t winplatPumpMessages() {
    std::size_t dispatched = 0;
    std::set<HWND> painted;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the caller's own loop to see.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (msg.message == WM_PAINT && !painted.insert(msg.hwnd).second) {
            // A window that did not validate itself gets one paint per pump, not a livelock.
            RedrawWindow(msg.hwnd, nullptr, nullptr,
                         RDW_VALIDATE | RDW_FRAME | RDW_NOCHILDREN | RDW_NOINTERNALPAINT);
            continue;
        }
        ++dispatched;
        if (!AfxPreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    CWnd::DeleteTempMap();
    CDC::DeleteTempMap();
    CGdiObject::DeleteTempMap();
    CImageList::DeleteTempMap();
    return dispatched;
}
