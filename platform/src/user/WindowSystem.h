// The window system's own records: classes, windows and the tree they form. Everything here
// runs on the user-interface thread; only the handle table and the queues are shared with
// other threads, under their locks.
#pragma once

#include "win32/kernel.h"
#include "win32/user.h"

#include <memory>
#include <string>
#include <vector>

namespace winplat::user {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    ATOM atom = 0;
};

struct ScrollBar {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    Window* parent = nullptr; // the desktop for top-level windows
    HWND owner = nullptr;
    std::vector<Window*> children; // in z-order, topmost first
    RECT rect{};                   // the window in its parent's client coordinates
    RECT client{};                 // the client area in the same coordinates
    UINT_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    HINSTANCE instance = nullptr;
    DWORD thread = 0;

    bool destroying = false; // DestroyWindow has begun: no second destruction
    bool destroyed = false;  // out of the table; the record lives on only while held
    bool redrawOff = false;  // WM_SETREDRAW FALSE: nothing is painted or drawn

    RECT update{}; // what waits for WM_PAINT, in client coordinates; empty: nothing
    bool erase = false;
    bool frame = false; // the non-client area waits for WM_NCPAINT
    bool internalPaint = false;
    ScrollBar bars[2]; // SB_HORZ, SB_VERT

    bool isChild() const { return (style & WS_CHILD) != 0; }
};

// The window behind a handle, or null for a stale or foreign one.
Window* lookup(HWND hwnd);
// Keeps a window's record alive across calls that may destroy it.
std::shared_ptr<Window> hold(HWND hwnd);
Window* desktop();
DWORD currentThread();

// Every live window in tree order (parents before children, topmost first).
std::vector<HWND> allWindows();

// Geometry, in screen coordinates.
POINT clientOrigin(const Window* w);
RECT windowRectOnScreen(const Window* w);
RECT clientRectOnScreen(const Window* w);
// WS_VISIBLE on the window and every ancestor.
bool isShown(const Window* w);
// Disabled itself or through an ancestor.
bool isDisabledInChain(const Window* w);
Window* rootOf(Window* w);
bool isDescendant(const Window* ancestor, const Window* w);

// Sends a message to a live window; 0 for a dead one.
LRESULT send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Asks the window for its client area again (WM_NCCALCSIZE) after its frame changed.
void recalcClient(Window* w);
// The deepest shown window under a screen point (disabled children let it through to their
// parents, as do windows answering HTTRANSPARENT), and its hit-test code.
Window* windowAt(POINT screen, int* hit);

// Controls send WM_NOTIFY and WM_COMMAND to their parents through notifyParent. When the
// parent is not an MFC window, the reflector offers the notification to the control's own MFC
// object first, as an MFC parent would (true: taken, with its result).
using Reflector = bool (*)(HWND parent, HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT* result);
void setReflector(Reflector reflector);
LRESULT notifyParent(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

// Called for every window right after its WM_NCDESTROY, while its handle still looks valid.
using DestroyObserver = void (*)(HWND hwnd);
void addDestroyObserver(DestroyObserver observer);

// A window that is hidden or destroyed while active hands the activation to its owner, or
// else to the topmost other window that can take it (Input.cpp).
void activateAfter(Window* w);

// Called after every change of the focus window (Input.cpp).
using FocusObserver = void (*)(HWND old, HWND now);
void addFocusObserver(FocusObserver observer);

// Painting (Paint.cpp). Invalidation takes RedrawWindow's flags; the rectangle is in the
// window's client coordinates, null for all of it.
void invalidate(Window* w, const RECT* clientRect, UINT flags);
void exposeBeneath(Window* w, const RECT& rectInParent);
bool needsPaint(const Window* w);
void paintNow(Window* w, UINT flags);
// The next window of this thread that waits for WM_PAINT, within a message filter.
HWND windowToPaint(HWND filter);

// Window DCs (WindowDC.cpp): the client area or the whole window, cut to what is visible of
// it on the screen and, when given, to `limit` (screen coordinates).
HDC acquireWindowDC(Window* w, bool wholeWindow, const RECT* limit);
void releaseWindowDC(HDC dc);
LRESULT eraseWithClassBrush(Window* w, HDC dc);
void paintFrame(Window* w);

// The queue (Queue.cpp) and input (Input.cpp) forget what they hold for a dying window.
void purgeQueued(HWND hwnd);
void forgetInputState(Window* w);
// Focus moves away from a window that is hidden, disabled or destroyed.
void moveFocusFrom(Window* w);

// A pending raw input event made into the message it becomes, for PeekMessage.
bool takeInputMessage(MSG* msg, HWND filter, UINT first, UINT last, bool remove);
void noteRetrieved(const MSG& msg);
bool matchesFilter(HWND filter, HWND hwnd);
bool inRange(UINT message, UINT first, UINT last);

// Standard classes (comctl32 and the like) register here and are made on first use.
using ClassRegistrar = void (*)();
void addSystemClasses(ClassRegistrar registrar);
std::shared_ptr<WindowClass> findClass(const char* name);

// Scroll bars (ScrollBars.cpp).
RECT scrollBarRect(const Window* w, int bar); // in window coordinates; empty without the bar
int scrollBarHit(const Window* w, POINT screen);
void scrollBarClick(Window* w, int hit, POINT screen);

// Frame metrics (DefWindowProc.cpp), and the close box of a caption with WS_SYSMENU in window
// coordinates (empty without one).
RECT frameInsets(DWORD style, DWORD exStyle);
RECT closeBoxInWindow(const Window* w);

// CS_SAVEBITS (SaveBits.cpp): what the screen showed under a top-level window when it was shown
// is put back when it goes, unless a window beneath it painted there in the meantime.
void saveBitsUnder(Window* w);
bool restoreBitsUnder(Window* w, const RECT& screenRect);
void noteDrawnBeneath(const Window* painter, const RECT& screenRect);
void forgetSavedBits();

// Rectangle helpers.
inline bool emptyRect(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
RECT intersectRects(const RECT& a, const RECT& b);
RECT unionRects(const RECT& a, const RECT& b);
RECT offsetRect(RECT r, int dx, int dy);
inline bool containsPoint(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

} // namespace winplat::user
