// comctl32's up-down control and tooltips, as the system's dialogs use them.
#pragma once

#include "win32/controls.h"
#include "win32/user.h"

#define UPDOWN_CLASSA "msctls_updown32"
#define TOOLTIPS_CLASSA "tooltips_class32"

// Up-down styles and messages. The range is (upper, lower) packed in one LPARAM; a range whose
// upper end is below its lower end counts down on the up arrow, as the default 100..0 does.
#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_HORZ 0x0040
#define UDS_NOTHOUSANDS 0x0080

#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)

#define UDN_FIRST (0U - 721U)
#define UDN_DELTAPOS (UDN_FIRST - 1)

struct NMUPDOWN {
    NMHDR hdr;
    int iPos;
    int iDelta;
};

// Tooltips. A tool is a rectangle of a window (or a whole window with TTF_IDISHWND); the tip
// shows the tool's text when the mouse rests on it, which the owner tells the control by
// relaying its mouse messages (TTM_RELAYEVENT).
#define TTS_ALWAYSTIP 0x01
#define TTS_NOPREFIX 0x02

#define TTF_IDISHWND 0x0001
#define TTF_CENTERTIP 0x0002
#define TTF_SUBCLASS 0x0010

#define TTM_ACTIVATE (WM_USER + 1)
#define TTM_SETDELAYTIME (WM_USER + 3)
#define TTM_ADDTOOLA (WM_USER + 4)
#define TTM_DELTOOLA (WM_USER + 5)
#define TTM_NEWTOOLRECTA (WM_USER + 6)
#define TTM_RELAYEVENT (WM_USER + 7)
#define TTM_GETTOOLINFOA (WM_USER + 8)
#define TTM_GETTEXTA (WM_USER + 11)
#define TTM_GETTOOLCOUNT (WM_USER + 13)
#define TTM_GETCURRENTTOOLA (WM_USER + 15)
#define TTM_POP (WM_USER + 28)
#define TTM_ADDTOOL TTM_ADDTOOLA
#define TTM_GETTEXT TTM_GETTEXTA
#define TTM_GETCURRENTTOOL TTM_GETCURRENTTOOLA

#define TTDT_AUTOMATIC 0
#define TTDT_RESHOW 1
#define TTDT_AUTOPOP 2
#define TTDT_INITIAL 3

struct TOOLINFOA {
    UINT cbSize;
    UINT uFlags;
    HWND hwnd;
    UINT_PTR uId;
    RECT rect;
    HINSTANCE hinst;
    LPSTR lpszText;
    LPARAM lParam;
};
using TOOLINFO = TOOLINFOA;
using LPTOOLINFOA = TOOLINFOA*;
