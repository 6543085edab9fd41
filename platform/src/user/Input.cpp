// Injected input, its conversion into messages, and the state that follows it: focus,
// activation, capture, the keyboard and the last click (for double-clicks). An event's target
// is found when the event is retrieved, so that a capture taken by an earlier message already
// steers the next one.
#include "winplat/input.h"
#include "user/WindowSystem.h"

#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

using namespace winplat::user;

namespace {

enum class RawKind { Move, Press, Release, KeyDown, KeyUp };

struct RawEvent {
    RawKind kind;
    int button;
    POINT pt;
    UINT vk;
    DWORD time;
    unsigned long serial;
};

constexpr DWORD kEventSpacing = 10;

std::mutex g_inputLock;
std::deque<RawEvent> g_raw;
unsigned long g_serial = 0;
DWORD g_clock = 100000;
POINT g_cursor{0, 0};
BYTE g_async[256];
BYTE g_sync[256]; // 0x80: down, 0x01: toggled

HWND g_focus = nullptr;
HWND g_active = nullptr;
HWND g_capture = nullptr;

struct LastPress {
    int button = -1;
    HWND hwnd = nullptr;
    DWORD time = 0;
    POINT pt{0, 0};
};
LastPress g_lastPress;

bool g_appActive = true;
HWND g_lastActive = nullptr; // active when the application was deactivated

void broadcastAppActivation(bool active) {
    g_appActive = active;
    const DWORD me = currentThread();
    for (Window* top : std::vector<Window*>(desktop()->children)) {
        Window* w = lookup(top->handle);
        if (w == nullptr || w->thread != me) continue;
        send(w->handle, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
    }
}

std::vector<FocusObserver>& focusObservers() {
    static auto* v = new std::vector<FocusObserver>;
    return *v;
}

enum class Conversion { Deliver, Drop, NotMine };

// Messages of the left, right and middle buttons: down, up, double-click.
constexpr UINT kClientButton[3][3] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK},
                                      {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK},
                                      {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK}};
constexpr UINT kFrameButton[3][3] = {{WM_NCLBUTTONDOWN, WM_NCLBUTTONUP, WM_NCLBUTTONDBLCLK},
                                     {WM_NCRBUTTONDOWN, WM_NCRBUTTONUP, WM_NCRBUTTONDBLCLK},
                                     {WM_NCMBUTTONDOWN, WM_NCMBUTTONUP, WM_NCMBUTTONDBLCLK}};
constexpr UINT kButtonKey[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};

UINT genericKey(UINT vk) {
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return vk;
    }
}

void applyKey(BYTE* state, UINT vk, bool down) {
    UINT keys[2] = {vk & 0xFF, genericKey(vk) & 0xFF};
    for (UINT k : keys) {
        if (down) {
            if ((state[k] & 0x80) == 0) state[k] ^= 0x01;
            state[k] |= 0x80;
        } else {
            state[k] &= static_cast<BYTE>(~0x80);
        }
    }
}

bool isDown(const BYTE* state, UINT vk) {
    return (state[vk & 0xFF] & 0x80) != 0;
}

WPARAM mouseKeys(const BYTE* state) {
    WPARAM keys = 0;
    if (isDown(state, VK_LBUTTON)) keys |= MK_LBUTTON;
    if (isDown(state, VK_RBUTTON)) keys |= MK_RBUTTON;
    if (isDown(state, VK_MBUTTON)) keys |= MK_MBUTTON;
    if (isDown(state, VK_SHIFT)) keys |= MK_SHIFT;
    if (isDown(state, VK_CONTROL)) keys |= MK_CONTROL;
    return keys;
}

bool isDoubleClick(const RawEvent& e, const Window* w, bool client) {
    if (g_lastPress.button != e.button || g_lastPress.hwnd != w->handle) return false;
    if (e.time - g_lastPress.time > GetDoubleClickTime()) return false;
    if (std::abs(e.pt.x - g_lastPress.pt.x) > GetSystemMetrics(SM_CXDOUBLECLK) / 2) return false;
    if (std::abs(e.pt.y - g_lastPress.pt.y) > GetSystemMetrics(SM_CYDOUBLECLK) / 2) return false;
    return !client || (w->cls->style & CS_DBLCLKS) != 0;
}

Conversion convertMouse(const RawEvent& e, MSG* msg, int* hitOut) {
    Window* capture = lookup(g_capture);
    Window* w = nullptr;
    int hit = HTCLIENT;
    if (capture != nullptr) {
        w = capture;
    } else {
        w = windowAt(e.pt, &hit);
    }
    if (w == nullptr || w == desktop()) return Conversion::Drop;
    if (w->thread != currentThread()) return Conversion::NotMine;
    if (capture == nullptr && (w->style & WS_DISABLED) != 0) return Conversion::Drop;
    bool client = hit == HTCLIENT;
    BYTE state[256];
    std::copy(g_sync, g_sync + 256, state);
    UINT message = client ? WM_MOUSEMOVE : WM_NCMOUSEMOVE;
    if (e.kind == RawKind::Press) {
        applyKey(state, kButtonKey[e.button], true);
        int form = isDoubleClick(e, w, client) ? 2 : 0;
        message = client ? kClientButton[e.button][form] : kFrameButton[e.button][form];
    } else if (e.kind == RawKind::Release) {
        applyKey(state, kButtonKey[e.button], false);
        message = client ? kClientButton[e.button][1] : kFrameButton[e.button][1];
    }
    msg->hwnd = w->handle;
    msg->message = message;
    if (client) {
        POINT o = clientOrigin(w);
        msg->wParam = mouseKeys(state);
        msg->lParam = MAKELPARAM(static_cast<WORD>(e.pt.x - o.x), static_cast<WORD>(e.pt.y - o.y));
    } else {
        msg->wParam = static_cast<WPARAM>(hit);
        msg->lParam = MAKELPARAM(static_cast<WORD>(e.pt.x), static_cast<WORD>(e.pt.y));
    }
    msg->time = e.time;
    msg->pt = e.pt;
    *hitOut = hit;
    return Conversion::Deliver;
}

Conversion convertKey(const RawEvent& e, MSG* msg) {
    Window* w = lookup(g_focus);
    if (w == nullptr) w = lookup(g_active);
    if (w == nullptr) return Conversion::Drop;
    if (w->thread != currentThread()) return Conversion::NotMine;
    bool down = e.kind == RawKind::KeyDown;
    bool wasDown = isDown(g_sync, e.vk);
    BYTE state[256];
    std::copy(g_sync, g_sync + 256, state);
    applyKey(state, e.vk, down);
    UINT key = genericKey(e.vk);
    bool alt = isDown(state, VK_MENU) || (key == VK_MENU && !down);
    bool system = (alt && !isDown(state, VK_CONTROL)) || key == VK_F10;
    msg->hwnd = w->handle;
    msg->message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    msg->wParam = key;
    DWORD flags = 1;
    if (alt) flags |= 1u << 29;
    if (wasDown) flags |= 1u << 30;
    if (!down) flags |= 1u << 31;
    msg->lParam = static_cast<LPARAM>(flags);
    msg->time = e.time;
    msg->pt = g_cursor;
    return Conversion::Deliver;
}

void commit(const RawEvent& e, const MSG& msg) {
    switch (e.kind) {
    case RawKind::Press:
        applyKey(g_sync, kButtonKey[e.button], true);
        if (msg.message == WM_LBUTTONDBLCLK || msg.message == WM_RBUTTONDBLCLK ||
            msg.message == WM_MBUTTONDBLCLK || msg.message == WM_NCLBUTTONDBLCLK ||
            msg.message == WM_NCRBUTTONDBLCLK || msg.message == WM_NCMBUTTONDBLCLK) {
            g_lastPress = LastPress{};
        } else {
            g_lastPress = LastPress{e.button, msg.hwnd, e.time, e.pt};
        }
        break;
    case RawKind::Release:
        applyKey(g_sync, kButtonKey[e.button], false);
        break;
    case RawKind::KeyDown:
        applyKey(g_sync, e.vk, true);
        break;
    case RawKind::KeyUp:
        applyKey(g_sync, e.vk, false);
        break;
    case RawKind::Move:
        break;
    }
}

// Activation, parent notification and the cursor shape, as they happen before a mouse message
// is handed out. False when the click was eaten by the activation.
bool beforeMouseMessage(const RawEvent& e, const MSG& msg, int hit) {
    HWND hwnd = msg.hwnd;
    Window* w = lookup(hwnd);
    if (w == nullptr) return false;
    if (e.kind == RawKind::Press && g_capture == nullptr) {
        Window* top = rootOf(w);
        if (top != nullptr && top->handle != g_active) {
            LRESULT answer =
                send(hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top->handle),
                     MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(msg.message)));
            if (answer == MA_ACTIVATE || answer == MA_ACTIVATEANDEAT) SetActiveWindow(top->handle);
            if (answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT) return false;
        }
        for (Window* c = lookup(hwnd);
             c != nullptr && c->isChild() && (c->exStyle & WS_EX_NOPARENTNOTIFY) == 0;
             c = c->parent) {
            POINT o = clientOrigin(c->parent);
            send(c->parent->handle, WM_PARENTNOTIFY, msg.message,
                 MAKELPARAM(static_cast<WORD>(e.pt.x - o.x), static_cast<WORD>(e.pt.y - o.y)));
        }
    }
    if (g_capture == nullptr && lookup(hwnd) != nullptr) {
        send(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
             MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(msg.message)));
    }
    return lookup(hwnd) != nullptr;
}

bool frontEvent(RawEvent* e) {
    std::lock_guard<std::mutex> guard(g_inputLock);
    if (g_raw.empty()) return false;
    *e = g_raw.front();
    return true;
}

void popEvent(unsigned long serial) {
    std::lock_guard<std::mutex> guard(g_inputLock);
    if (!g_raw.empty() && g_raw.front().serial == serial) g_raw.pop_front();
}

void pushEvent(RawKind kind, int button, POINT pt, UINT vk) {
    std::lock_guard<std::mutex> guard(g_inputLock);
    g_raw.push_back(RawEvent{kind, button, pt, vk, g_clock, ++g_serial});
    g_clock += kEventSpacing;
}

} // namespace

namespace winplat::user {

bool takeInputMessage(MSG* msg, HWND filter, UINT first, UINT last, bool remove) {
    RawEvent e;
    while (frontEvent(&e)) {
        MSG m{};
        int hit = HTCLIENT;
        bool mouse =
            e.kind == RawKind::Move || e.kind == RawKind::Press || e.kind == RawKind::Release;
        Conversion c = mouse ? convertMouse(e, &m, &hit) : convertKey(e, &m);
        if (c == Conversion::NotMine) return false;
        if (c == Conversion::Drop) {
            popEvent(e.serial);
            commit(e, m);
            continue;
        }
        if (!matchesFilter(filter, m.hwnd) || !inRange(m.message, first, last)) return false;
        if (!remove) {
            *msg = m;
            return true;
        }
        popEvent(e.serial);
        commit(e, m);
        if (mouse && !beforeMouseMessage(e, m, hit)) continue;
        *msg = m;
        return true;
    }
    return false;
}

void addFocusObserver(FocusObserver observer) {
    focusObservers().push_back(observer);
}

namespace {

// The window that takes the activation when `w` goes: its owner, else another top-level window.
Window* successorOf(Window* w) {
    const auto candidate = [w](Window* c) {
        return c != nullptr && c != w && c != desktop() && !c->destroying && isShown(c) &&
               (c->style & WS_DISABLED) == 0 && (c->exStyle & WS_EX_TOOLWINDOW) == 0 &&
               c->thread == w->thread && !isDescendant(w, c);
    };
    Window* owner = lookup(w->owner);
    if (candidate(owner)) return owner;
    for (Window* top : desktop()->children)
        if (candidate(top) && top->owner != w->handle) return top;
    return nullptr;
}

} // namespace

void activateAfter(Window* w) {
    // While another application is active, the window to come back to moves on in the same way.
    if (!g_appActive && g_lastActive == w->handle) {
        Window* next = successorOf(w);
        g_lastActive = next != nullptr ? next->handle : nullptr;
        return;
    }
    if (g_active != w->handle) return;
    Window* next = successorOf(w);
    if (next != nullptr) {
        SetActiveWindow(next->handle);
        return;
    }
    HWND old = g_active;
    g_active = nullptr;
    send(old, WM_NCACTIVATE, FALSE);
    send(old, WM_ACTIVATE, WA_INACTIVE, 0);
}

void forgetInputState(Window* w) {
    if (g_focus == w->handle) g_focus = nullptr;
    if (g_active == w->handle) g_active = nullptr;
    if (g_capture == w->handle) g_capture = nullptr;
    if (g_lastPress.hwnd == w->handle) g_lastPress = LastPress{};
}

} // namespace winplat::user

extern "C" {

void winplatInjectMouseMove(int x, int y) {
    g_cursor = POINT{x, y};
    pushEvent(RawKind::Move, 0, g_cursor, 0);
}

void winplatInjectMouseButton(int button, BOOL down, int x, int y) {
    if (button < WINPLAT_BUTTON_LEFT || button > WINPLAT_BUTTON_MIDDLE) return;
    g_cursor = POINT{x, y};
    applyKey(g_async, kButtonKey[button], down != FALSE);
    pushEvent(down ? RawKind::Press : RawKind::Release, button, g_cursor, 0);
}

void winplatInjectKey(UINT virtualKey, BOOL down) {
    if (virtualKey == 0 || virtualKey > 0xFE) return;
    applyKey(g_async, virtualKey, down != FALSE);
    pushEvent(down ? RawKind::KeyDown : RawKind::KeyUp, 0, g_cursor, virtualKey);
}

void winplatSetApplicationActive(BOOL active) {
    if (active) {
        if (g_appActive) return;
        broadcastAppActivation(true);
        HWND last = g_lastActive;
        g_lastActive = nullptr;
        if (Window* w = lookup(last); w != nullptr && isShown(w) && (w->style & WS_DISABLED) == 0)
            SetActiveWindow(last);
        return;
    }
    if (!g_appActive) return;
    HWND old = g_active;
    g_lastActive = old;
    g_active = nullptr;
    if (lookup(old) != nullptr) {
        send(old, WM_NCACTIVATE, FALSE);
        send(old, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    broadcastAppActivation(false);
    HWND focus = g_focus;
    g_focus = nullptr;
    if (lookup(focus) != nullptr) send(focus, WM_KILLFOCUS, 0);
    for (FocusObserver observer : focusObservers())
        observer(focus, nullptr);
}

BOOL winplatApplicationActive() {
    return g_appActive ? TRUE : FALSE;
}

DWORD winplatInputClock() {
    std::lock_guard<std::mutex> guard(g_inputLock);
    return g_clock;
}

void winplatAdvanceInputClock(DWORD milliseconds) {
    std::lock_guard<std::mutex> guard(g_inputLock);
    g_clock += milliseconds;
}

std::size_t winplatPendingInput() {
    std::lock_guard<std::mutex> guard(g_inputLock);
    return g_raw.size();
}

HWND SetFocus(HWND hwnd) {
    HWND old = g_focus;
    if (hwnd != nullptr) {
        Window* w = lookup(hwnd);
        if (w == nullptr || w == desktop()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (isDisabledInChain(w)) return nullptr;
        Window* top = rootOf(w);
        if (top->handle != g_active) {
            SetActiveWindow(top->handle);
            if (lookup(hwnd) == nullptr) return nullptr;
            old = g_focus;
        }
    }
    if (old == hwnd) return old;
    if (old != nullptr && lookup(old) != nullptr) {
        send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd));
        if (hwnd != nullptr && lookup(hwnd) == nullptr) return nullptr;
    }
    g_focus = hwnd;
    if (hwnd != nullptr) send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old));
    for (FocusObserver observer : focusObservers())
        observer(old, g_focus);
    return old;
}

HWND GetFocus() {
    return lookup(g_focus) != nullptr ? g_focus : nullptr;
}

HWND SetActiveWindow(HWND hwnd) {
    Window* w = lookup(hwnd);
    if (w == nullptr || w == desktop()) return nullptr;
    w = rootOf(w);
    HWND old = g_active;
    if (old == w->handle) return old;
    if (!g_appActive) broadcastAppActivation(true);
    if (lookup(old) != nullptr) {
        send(old, WM_NCACTIVATE, FALSE);
        send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(w->handle));
    }
    g_active = w->handle;
    HWND now = w->handle;
    send(now, WM_NCACTIVATE, TRUE);
    send(now, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    // A window that becomes active may realize its palette in the foreground.
    if (g_active == now) send(now, WM_QUERYNEWPALETTE);
    return old;
}

HWND GetActiveWindow() {
    return lookup(g_active) != nullptr ? g_active : nullptr;
}

HWND SetCapture(HWND hwnd) {
    if (lookup(hwnd) == nullptr) return nullptr;
    HWND old = g_capture;
    g_capture = hwnd;
    if (old != nullptr && old != hwnd && lookup(old) != nullptr)
        send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture() {
    HWND old = g_capture;
    g_capture = nullptr;
    if (old != nullptr && lookup(old) != nullptr) send(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    return lookup(g_capture) != nullptr ? g_capture : nullptr;
}

SHORT GetKeyState(int virtualKey) {
    BYTE s = g_sync[static_cast<unsigned>(virtualKey) & 0xFF];
    return static_cast<SHORT>(((s & 0x80) != 0 ? 0xFF80 : 0) | (s & 0x01));
}

SHORT GetAsyncKeyState(int virtualKey) {
    return isDown(g_async, static_cast<UINT>(virtualKey)) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) return FALSE;
    *point = g_cursor;
    return TRUE;
}

UINT GetDoubleClickTime() {
    return 500;
}

} // extern "C"
