// Result images live in global memory so that the caller can always free them with
// GlobalFree; work memory that never leaves the library comes from the ordinary heap.
#pragma once

#include "CheckedSize.h"
#include "win32/win32.h"

#include <cstdlib>

namespace img {

// A view of one global block. It never frees on its own: a reader hands the data to its caller
// on success and releases it explicitly on failure.
class MemoryBlock {
public:
    void reset() { m_handle = nullptr; }
    bool allocate(Size size);
    bool resize(Size size);
    bool release();
    BYTE* data() const { return static_cast<BYTE*>(m_handle); }

private:
    HGLOBAL m_handle = nullptr;
};

// GlobalReAlloc(GMEM_MOVEABLE), refusing sizes above the block limit without asking.
HGLOBAL globalReAllocLimited(HGLOBAL handle, Size size);

// A zero-filled global block of the given size, or null (size 0 or above the limit too).
BYTE* allocateGlobal(Size size);
// The same without the clearing, for a caller that writes every byte itself.
BYTE* allocateUncleared(Size size);

// Temporary rows and tables; ensure() keeps the memory when the count is unchanged.
template <class T> class ScratchBuffer {
public:
    ScratchBuffer() = default;
    explicit ScratchBuffer(int count) { ensure(count); }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    ~ScratchBuffer() { discard(); }

    T* ensure(int count) {
        if (count == m_count && m_data != nullptr) return m_data;
        discard();
        if (count > 0 && checkedProduct({count, sizeof(T)}).ok()) {
            m_data = static_cast<T*>(std::malloc(static_cast<std::size_t>(count) * sizeof(T)));
            if (m_data != nullptr) m_count = count;
        }
        return m_data;
    }
    void discard() {
        std::free(m_data);
        m_data = nullptr;
        m_count = 0;
    }
    T* data() const { return m_data; }
    int count() const { return m_count; }
    T& operator[](std::size_t i) const { return m_data[i]; }

private:
    int m_count = 0;
    T* m_data = nullptr;
};

} // namespace img
