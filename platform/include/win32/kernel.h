// kernel32 as the system's code calls it: global memory, the process heap, thread-local
// storage, critical sections and the thread's last error.
#pragma once

#include "win32/types.h"

#include <pthread.h>

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

#define HEAP_ZERO_MEMORY 0x00000008

#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_PARAMETER 87

struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
HGLOBAL GlobalFree(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);

HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);

DWORD TlsAlloc();
LPVOID TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, LPVOID value);
BOOL TlsFree(DWORD index);

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

DWORD GetLastError();
void SetLastError(DWORD code);

// No memory probing exists here: a null pointer or a zero-length range is the only "bad" one.
BOOL IsBadReadPtr(const void* address, UINT_PTR bytes);
BOOL IsBadWritePtr(void* address, UINT_PTR bytes);

} // extern "C"
