// comdlg32's colour dialog: a small modal dialog of the stand-in's own, with a grid of basic
// colours, red, green and blue fields, a sample, OK and Cancel.
#pragma once

#include "win32/user.h"

#define CC_RGBINIT 0x00000001
#define CC_FULLOPEN 0x00000002
#define CC_PREVENTFULLOPEN 0x00000004
#define CC_SHOWHELP 0x00000008
#define CC_ENABLEHOOK 0x00000010
#define CC_SOLIDCOLOR 0x00000080
#define CC_ANYCOLOR 0x00000100

#define CDERR_STRUCTSIZE 0x0001
#define CDERR_DIALOGFAILURE 0xFFFF

// The controls of the colour dialog, for whoever drives it.
#define WINPLAT_COLOUR_GRID 720
#define WINPLAT_COLOUR_RED 726
#define WINPLAT_COLOUR_GREEN 727
#define WINPLAT_COLOUR_BLUE 728
#define WINPLAT_COLOUR_SAMPLE 709

using LPCCHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct CHOOSECOLORA {
    DWORD lStructSize;
    HWND hwndOwner;
    HWND hInstance;
    COLORREF rgbResult;
    COLORREF* lpCustColors;
    DWORD Flags;
    LPARAM lCustData;
    LPCCHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
};
using LPCHOOSECOLORA = CHOOSECOLORA*;

extern "C" {

// TRUE after OK, with the colour in rgbResult; FALSE after Cancel or on failure
// (CommDlgExtendedError tells which: 0 for Cancel).
BOOL ChooseColorA(CHOOSECOLORA* choice);
DWORD CommDlgExtendedError();

} // extern "C"
