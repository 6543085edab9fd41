// File-system calls and the C runtime's Windows-only helpers. Paths may use either separator.
#pragma once

#include "win32/types.h"

#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};

#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

extern "C" {

DWORD GetFileAttributesA(LPCSTR path);
int _access(const char* path, int mode);

// Matches a single file name (wildcards * and ? in the last component).
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE search);

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system);

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);

int _mbsicmp(const unsigned char* a, const unsigned char* b);
int lstrcmpA(LPCSTR a, LPCSTR b);
int lstrcmpiA(LPCSTR a, LPCSTR b);
int lstrlenA(LPCSTR s);
LPSTR lstrcpyA(LPSTR destination, LPCSTR source);
LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int length);

// The %d, %u, %i, %x, %X, %c, %s forms with flags and widths; output is at most 1024 bytes.
int wsprintfA(LPSTR out, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

} // extern "C"
