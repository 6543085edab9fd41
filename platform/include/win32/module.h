// kernel32's module loader over dlopen. Loading a module through LoadLibraryA runs the
// start-up of the MFC application object it holds (InitInstance), and the last FreeLibrary
// runs its clean-up (ExitInstance) before the module's destructors, as a DLL's entry would.
// A module's handle is its load address: the one GetModuleHandleA, FindResourceA and the
// application object's instance handle know it by.
#pragma once

#include "win32/types.h"

// Without arguments or result, so that it casts to the export's real type without a warning.
using FARPROC = void (*)();

#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_DLL_INIT_FAILED 1114

extern "C" {

// Both separators are accepted in the path. Null on failure (ERROR_MOD_NOT_FOUND, or
// ERROR_DLL_INIT_FAILED when an application's InitInstance refused).
HMODULE LoadLibraryA(LPCSTR path);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

DWORD GetCurrentThreadId();

} // extern "C"
