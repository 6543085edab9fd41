#include "ThreadState.h"

#include "Status.h"
#include "imgcore.h"

#include <new>

namespace img {
namespace {

struct TlsException {
    DWORD code;
};

// Never initialised by anything: it exists so that deleteLibraryLock has something to test.
CRITICAL_SECTION g_libraryLock;
bool g_libraryLockInitialised = false;

} // namespace

ThreadStateRegistry::ThreadStateRegistry() : m_slot(TlsAlloc()) {
    InitializeCriticalSection(&m_listLock);
}

ThreadStateRegistry::~ThreadStateRegistry() {
    if (m_slot != TLS_OUT_OF_INDEXES) {
        TlsFree(m_slot);
        m_slot = TLS_OUT_OF_INDEXES;
    }
    EnterCriticalSection(&m_listLock);
    for (ThreadState* record : m_records)
        delete record;
    m_records.clear();
    LeaveCriticalSection(&m_listLock);
    DeleteCriticalSection(&m_listLock);
}

ThreadState* ThreadStateRegistry::stateOfThisThread() {
    if (m_slot == TLS_OUT_OF_INDEXES) return nullptr;
    if (auto* record = static_cast<ThreadState*>(TlsGetValue(m_slot))) return record;
    ThreadState* record = nullptr;
    try {
        record = new ThreadState();
        if (!TlsSetValue(m_slot, record)) throw TlsException{GetLastError()};
        EnterCriticalSection(&m_listLock);
        try {
            m_records.push_back(record);
        } catch (...) {
            LeaveCriticalSection(&m_listLock);
            throw;
        }
        LeaveCriticalSection(&m_listLock);
        return record;
    } catch (...) {
        // A record the slot already points at must not be freed under it.
        if (record != nullptr && TlsGetValue(m_slot) == record) TlsSetValue(m_slot, nullptr);
        delete record;
        return nullptr;
    }
}

std::size_t ThreadStateRegistry::recordCount() {
    EnterCriticalSection(&m_listLock);
    std::size_t n = m_records.size();
    LeaveCriticalSection(&m_listLock);
    return n;
}

namespace {
ThreadStateRegistry g_registry;
} // namespace

ThreadState* getThreadState() {
    return g_registry.stateOfThisThread();
}

void setLastError(int code) {
    if (ThreadState* state = getThreadState()) state->lastError = code;
}

} // namespace img

extern "C" int getLastError() {
    img::ThreadState* state = img::getThreadState();
    return state != nullptr ? state->lastError : img::kNoThreadRecord;
}

extern "C" void deleteLibraryLock() {
    if (img::g_libraryLockInitialised) {
        DeleteCriticalSection(&img::g_libraryLock);
        img::g_libraryLockInitialised = false;
    }
}
