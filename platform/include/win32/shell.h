// Starting programs and opening documents through their associations.
#pragma once

#include "win32/types.h"

struct HWND__;
using HWND = HWND__*;

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31

using HINSTANCE_RESULT = HINSTANCE;

extern "C" {

// Results above 32 mean success.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT show);
HINSTANCE FindExecutableA(LPCSTR file, LPCSTR directory, LPSTR result);

} // extern "C"
