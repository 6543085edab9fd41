// Input for the host stand-in and the tests, delivered the way the system delivers it: each
// event waits in the input queue until a message loop retrieves it; the mouse goes to the
// capture window or the window under the point, keys to the focus window, and the key state
// that GetKeyState reports follows the messages as they are retrieved.
#pragma once

#include "win32/types.h"

#include <cstddef>

#define WINPLAT_BUTTON_LEFT 0
#define WINPLAT_BUTTON_RIGHT 1
#define WINPLAT_BUTTON_MIDDLE 2

extern "C" {

// Events at screen points. Every event takes 10 ms of the input clock, so that two clicks
// injected one after the other make a double-click where the window's class asks for one.
void winplatInjectMouseMove(int x, int y);
void winplatInjectMouseButton(int button, BOOL down, int x, int y);
void winplatInjectKey(UINT virtualKey, BOOL down);

// Another application takes the activation (FALSE) or gives it back (TRUE): the active window
// is deactivated, every top-level window of the thread gets WM_ACTIVATEAPP and the focus goes;
// coming back, the window that was active is activated again, or, if it was destroyed or hidden
// meanwhile, the window that would have taken over from it (its owner first).
void winplatSetApplicationActive(BOOL active);
BOOL winplatApplicationActive();

// The input clock (message times, double-click timing): read it, or let time pass.
DWORD winplatInputClock();
void winplatAdvanceInputClock(DWORD milliseconds);

// Events not yet retrieved.
std::size_t winplatPendingInput();

// Retrieves and dispatches everything queued for the calling thread as an MFC application's
// loop does (PreTranslateMessage of the target window and its parents, TranslateMessage,
// DispatchMessage), then lets every window that waits for WM_PAINT paint once. Returns how
// many messages it dispatched.
std::size_t winplatPumpMessages();

// Asked for more input when GetMessageA finds the queue empty; returns FALSE when it has none,
// and GetMessageA then returns WM_QUIT.
typedef BOOL (*WinplatInputFeeder)(void* context);
void winplatSetInputFeeder(WinplatInputFeeder feeder, void* context);

} // extern "C"
