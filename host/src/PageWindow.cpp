#include "PageWindow.h"

#include "mfc/app.h"
#include "winplat/screen.h"

namespace qvhost {
namespace {
constexpr char kPageClass[] = "QvHostPage";
} // namespace

PageWindow::PageWindow(Page& page, int width, int height) : m_page(page) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_WINDOW + 1));
    cls.lpszClassName = kPageClass;
    RegisterClassA(&cls);
    m_window = CreateWindowExA(0, kPageClass, "Page", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                               width, height, nullptr, nullptr, cls.hInstance, nullptr);
}

PageWindow::~PageWindow() {
    if (m_window != nullptr && IsWindow(m_window)) DestroyWindow(m_window);
}

LRESULT CALLBACK PageWindow::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void PageWindow::placeObjects(bool design) {
    for (PageObject& o : m_page.objects()) {
        if (o.object == nullptr) continue;
        const RECT& r = o.rect;
        if (design)
            o.object->PositionDesignWindow(0, m_window, r.left, r.top, r.right, r.bottom, 1, 0);
        else
            o.object->PositionRunWindow(0, m_window, r.left, r.top, r.right, r.bottom, 1, 1);
    }
    UpdateWindow(m_window);
}

void PageWindow::run() {
    MSG msg;
    // The plug-in's windows are MFC windows: each message is offered to them first.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (AfxPreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool PageWindow::saveScreenshot(const std::string& path) const {
    HDC dc = GetDC(m_window);
    const bool saved = winplatSaveDCPng(dc, path.c_str()) != FALSE;
    ReleaseDC(m_window, dc);
    return saved;
}

} // namespace qvhost
