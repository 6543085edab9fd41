// One record per calling thread, reached through one thread-local storage slot, created on the
// thread's first call and freed when the library unloads.
#pragma once

#include "win32/win32.h"

#include <cstddef>
#include <list>

namespace img {

struct PngColour16 {
    BYTE index;
    WORD red, green, blue, grey;
};

struct ThreadState {
    double pngScreenGamma = 2.9;
    PngColour16 pngBackground{};
    int lastError = 0;
};

// Owns the slot and the list of every record made; the library has one, built at load.
class ThreadStateRegistry {
public:
    ThreadStateRegistry();
    ~ThreadStateRegistry();
    ThreadStateRegistry(const ThreadStateRegistry&) = delete;
    ThreadStateRegistry& operator=(const ThreadStateRegistry&) = delete;

    ThreadState* stateOfThisThread();
    std::size_t recordCount();

private:
    DWORD m_slot;
    std::list<ThreadState*> m_records;
    CRITICAL_SECTION m_listLock;
};

// The calling thread's record, or null when no slot or no memory could be had.
ThreadState* getThreadState();
void setLastError(int code);

} // namespace img
