#include "winplat/luaalloc.h"

#include "win32/kernel.h"

namespace winplat {

void* luaHeapAlloc(void*, void* block, std::size_t, std::size_t newSize) {
    HANDLE heap = GetProcessHeap();
    if (newSize == 0) {
        if (block != nullptr) HeapFree(heap, 0, block);
        return nullptr;
    }
    if (newSize >= kLuaBlockTooBig) return nullptr;
    return block == nullptr ? HeapAlloc(heap, 0, newSize) : HeapReAlloc(heap, 0, block, newSize);
}

} // namespace winplat
