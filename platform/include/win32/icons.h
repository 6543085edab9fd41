// Icons and cursors made by a program from its own bitmaps.
#pragma once

#include "win32/gdi.h"
#include "win32/user.h"

struct ICONINFO {
    BOOL fIcon; // TRUE: an icon; FALSE: a cursor with its hot spot
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;
    HBITMAP hbmColor;
};

extern "C" {

// The icon keeps copies of the bitmaps; the caller still owns and deletes its own.
HICON CreateIconIndirect(ICONINFO* info);
BOOL GetIconInfo(HICON icon, ICONINFO* info);
BOOL DestroyIcon(HICON icon);
BOOL DestroyCursor(HCURSOR cursor);

} // extern "C"
