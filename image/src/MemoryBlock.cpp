#include "MemoryBlock.h"

namespace img {

bool MemoryBlock::allocate(Size size) {
    reset();
    m_handle = allocateGlobal(size);
    return m_handle != nullptr;
}

bool MemoryBlock::resize(Size size) {
    if (size.bytes() == 0 || m_handle == nullptr) return false;
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

HGLOBAL globalReAllocLimited(HGLOBAL handle, Size size) {
    if (!size.ok()) return nullptr;
    return GlobalReAlloc(handle, size.bytes(), GMEM_MOVEABLE);
}

BYTE* allocateGlobal(Size size) {
    if (size.bytes() == 0) return nullptr;
    return static_cast<BYTE*>(GlobalAlloc(GMEM_ZEROINIT, size.bytes()));
}

BYTE* allocateUncleared(Size size) {
    if (size.bytes() == 0) return nullptr;
    return static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, size.bytes()));
}

} // namespace img
