// user32's dialogs: dialogs made from a template, modal or modeless, the dialog manager that
// moves the focus with Tab and the arrows, presses the default button on Return and Cancel on
// Escape and follows mnemonics, and the message box.
//
// A template here is text, as a resource script writes a dialog (one statement a line):
//
//   DIALOG x, y, width, height                in dialog units
//   STYLE WS_POPUP | WS_CAPTION | DS_SETFONT  names or numbers, joined with |
//   EXSTYLE ...                               (optional)
//   CAPTION "text"
//   FONT points, "face"
//   CONTROL "text", id, "class", style, x, y, width, height [, exstyle]
//
// Every control is WS_CHILD | WS_VISIBLE unless its style says NOT WS_VISIBLE; an id of -1 is
// 0xFFFF. Strings double a quote to hold one and take \n, \t and \\; lines starting with //
// are comments. The
// initialisation data of a dialog (RT_DLGINIT) is text too: lines of `id, CB_ADDSTRING, "text"`.
#pragma once

#include "win32/controls.h"
#include "win32/resources.h"
#include "win32/user.h"

using INT_PTR = std::intptr_t;

#define RT_DLGINIT MAKEINTRESOURCEA(240)
#define WC_DIALOG "#32770"

// Dialog styles.
#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_3DLOOK 0x0004L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L

// Standard control identifiers and the results of message boxes.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDC_STATIC (-1)

// Dialog messages.
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B
#define WM_NEXTDLGCTL 0x0028
#define WM_ENTERIDLE 0x0121
#define MSGF_DIALOGBOX 0

// Window-long indices of a dialog.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16

// System commands and the close box of a caption.
#define SC_CLOSE 0xF060
#define HTCLOSE 20

// Message box types.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON2 0x00000100L
#define MB_APPLMODAL 0x00000000L
#define MB_TASKMODAL 0x00002000L

// The identifier of a message box's text, for whoever reads it back.
#define WINPLAT_MESSAGE_BOX_TEXT 0xFFFF

using DLGPROC = LONG_PTR (*)(HWND, UINT, WPARAM, LPARAM);
// The template's text, zero-terminated (what LockResource gives for an RT_DIALOG resource).
using LPCDLGTEMPLATEA = const void*;

extern "C" {

// A modeless dialog; null when the template cannot be read or a control cannot be made.
HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM param);
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param);
// A modal dialog: the owner is disabled until EndDialog; the result EndDialog gave, or -1 when
// the dialog could not be made. When the message loop receives WM_QUIT it posts it again and
// the dialog ends with 0.
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM param);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog manager for a message retrieved from the queue; TRUE when it handled it.
BOOL IsDialogMessageA(HWND dialog, MSG* msg);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);

// Dialog units into pixels with the dialog's font; the base units of the system font.
BOOL MapDialogRect(HWND dialog, RECT* rect);
LONG GetDialogBaseUnits();

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

// A modal message box: the text, the buttons the type names; the button's identifier, or 0
// when it could not be shown.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

} // extern "C"

inline int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return MessageBoxA(owner, text, caption, type);
}
inline BOOL IsDialogMessage(HWND dialog, MSG* msg) {
    return IsDialogMessageA(dialog, msg);
}
