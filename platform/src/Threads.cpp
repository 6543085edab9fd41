// Thread-local storage, critical sections and the thread's last error over pthreads.
// WINPLAT_TLS_SLOTS limits how many slots TlsAlloc hands out, so that a test can start a
// process whose thread-local storage is already exhausted.
#include "win32/kernel.h"

#include <atomic>
#include <cstdlib>

namespace {

thread_local DWORD t_lastError = 0;

long slotLimit() {
    const char* v = std::getenv("WINPLAT_TLS_SLOTS");
    return v != nullptr ? std::strtol(v, nullptr, 10) : -1;
}

std::atomic<long> g_slotsHanded{0};

} // namespace

extern "C" {

DWORD TlsAlloc() {
    static const long limit = slotLimit();
    if (limit >= 0 && g_slotsHanded.load() >= limit) return TLS_OUT_OF_INDEXES;
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0) return TLS_OUT_OF_INDEXES;
    ++g_slotsHanded;
    return static_cast<DWORD>(key);
}

LPVOID TlsGetValue(DWORD index) {
    SetLastError(ERROR_SUCCESS);
    return pthread_getspecific(static_cast<pthread_key_t>(index));
}

BOOL TlsSetValue(DWORD index, LPVOID value) {
    if (pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL TlsFree(DWORD index) {
    return pthread_key_delete(static_cast<pthread_key_t>(index)) == 0 ? TRUE : FALSE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_lock(&section->mutex);
}
void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_unlock(&section->mutex);
}
void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_destroy(&section->mutex);
}

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

BOOL IsBadReadPtr(const void* address, UINT_PTR bytes) {
    return address == nullptr && bytes != 0 ? TRUE : FALSE;
}

BOOL IsBadWritePtr(void* address, UINT_PTR bytes) {
    return address == nullptr && bytes != 0 ? TRUE : FALSE;
}

} // extern "C"
