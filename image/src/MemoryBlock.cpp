#include "MemoryBlock.h"

namespace img {

bool MemoryBlock::allocate(unsigned size) {
    reset();
    m_handle = allocateGlobal(size);
    return m_handle != nullptr;
}

bool MemoryBlock::resize(unsigned size) {
    if (size == 0 || m_handle == nullptr) return false;
    HGLOBAL moved = globalReAllocLimited(m_handle, size);
    if (moved == nullptr) return false;
    m_handle = moved;
    return true;
}

bool MemoryBlock::release() {
    if (m_handle != nullptr) GlobalFree(m_handle);
    reset();
    return true;
}

HGLOBAL globalReAllocLimited(HGLOBAL handle, unsigned size) {
    if (size > kBlockLimit) return nullptr;
    return GlobalReAlloc(handle, size, GMEM_MOVEABLE);
}

BYTE* allocateGlobal(unsigned size) {
    if (size == 0 || size > kBlockLimit) return nullptr;
    return static_cast<BYTE*>(GlobalAlloc(GMEM_ZEROINIT, size));
}

} // namespace img
