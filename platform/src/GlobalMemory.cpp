// Global memory and the process heap over malloc. Each block carries a small header with its
// size and a tag, so that GlobalSize works, a stale handle is refused instead of freed twice,
// and the live blocks can be counted.
//
// A decoded photograph is a block of tens of megabytes, which malloc maps fresh for every image
// and the kernel faults in and zeroes page by page; so the last large global block freed is kept
// and handed to the next request it fits. Under the address sanitizer every block stays its own
// allocation, so that an overrun of one is still caught at its own edge.
#include "win32/kernel.h"
#include "winplat/accounting.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define GALLIMO_KEEP_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GALLIMO_KEEP_BLOCKS 0
#endif
#endif
#ifndef GALLIMO_KEEP_BLOCKS
#define GALLIMO_KEEP_BLOCKS 1
#endif

namespace {

constexpr std::uint32_t kGlobalTag = 0x474C4F42; // "GLOB"
constexpr std::uint32_t kHeapTag = 0x48454150;   // "HEAP"

struct alignas(16) BlockHeader {
    std::size_t bytes;
    std::size_t capacity; // what the allocation behind the header holds, at least `bytes`
    std::uint32_t tag;
};

// Smaller blocks come from malloc's own free lists and gain nothing from being kept.
constexpr std::size_t kKeepFrom = std::size_t{1} << 20;

std::atomic<std::size_t> g_liveGlobal{0};
std::atomic<std::size_t> g_liveHeap{0};
std::atomic<unsigned> g_failCountdown{0};

bool injectedFailure() {
    unsigned n = g_failCountdown.load();
    while (n != 0) {
        if (g_failCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
    }
    return false;
}

BlockHeader* headerOf(const void* data, std::uint32_t tag) {
    if (data == nullptr) return nullptr;
    auto* h = reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(data))) - 1;
    return h->tag == tag ? h : nullptr;
}

// One kept block at most, so that the memory held beyond the live blocks never exceeds the
// largest block freed. A block is reused only for a request of at least half its size.
class KeptBlock {
public:
    BlockHeader* take(std::size_t bytes) {
        if (!GALLIMO_KEEP_BLOCKS || bytes < kKeepFrom) return nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        BlockHeader* h = m_block;
        if (h == nullptr) return nullptr;
        m_block = nullptr;
        if (h->capacity >= bytes && bytes >= h->capacity / 2) return h;
        // Released before the new allocation, so the two never coexist.
        std::free(h);
        return nullptr;
    }

    // Whether the block was kept; if not, the caller frees it.
    bool keep(BlockHeader* h) {
        if (!GALLIMO_KEEP_BLOCKS || h->capacity < kKeepFrom) return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_block != nullptr) {
            if (m_block->capacity >= h->capacity) return false;
            std::free(m_block);
        }
        m_block = h;
        return true;
    }

    void drop() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::free(m_block);
        m_block = nullptr;
    }

private:
    std::mutex m_mutex;
    BlockHeader* m_block = nullptr;
};

KeptBlock g_kept;

void* allocateBlock(std::size_t bytes, bool zero, std::uint32_t tag) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    BlockHeader* h = tag == kGlobalTag ? g_kept.take(bytes) : nullptr;
    if (h != nullptr) {
        if (zero) std::memset(h + 1, 0, bytes);
    } else {
        std::size_t total = sizeof(BlockHeader) + bytes;
        void* raw = zero ? std::calloc(1, total) : std::malloc(total);
        if (raw == nullptr) return nullptr;
        h = static_cast<BlockHeader*>(raw);
        h->capacity = bytes;
    }
    h->bytes = bytes;
    h->tag = tag;
    return h + 1;
}

// Grows or shrinks; a block that may not move is only ever shrunk in place.
void* reallocateBlock(BlockHeader* h, std::size_t bytes, bool mayMove, bool zero) {
    std::size_t old = h->bytes;
    if (!mayMove) {
        if (bytes > old) return nullptr;
        h->bytes = bytes;
        return h + 1;
    }
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* moved = static_cast<BlockHeader*>(std::realloc(h, sizeof(BlockHeader) + bytes));
    if (moved == nullptr) return nullptr;
    moved->bytes = bytes;
    moved->capacity = bytes;
    if (zero && bytes > old) std::memset(reinterpret_cast<char*>(moved + 1) + old, 0, bytes - old);
    return moved + 1;
}

void releaseBlock(BlockHeader* h) {
    const bool global = h->tag == kGlobalTag;
    h->tag = 0;
    if (!global || !g_kept.keep(h)) std::free(h);
}

char g_processHeap;

} // namespace

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (injectedFailure()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* p = allocateBlock(bytes, (flags & GMEM_ZEROINIT) != 0, kGlobalTag);
    if (p == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ++g_liveGlobal;
    return p;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags) {
    BlockHeader* h = headerOf(block, kGlobalTag);
    if (h == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* p = injectedFailure() ? nullptr
                                : reallocateBlock(h, bytes, (flags & GMEM_MOVEABLE) != 0,
                                                  (flags & GMEM_ZEROINIT) != 0);
    if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (block == nullptr) return nullptr;
    BlockHeader* h = headerOf(block, kGlobalTag);
    if (h == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return block;
    }
    releaseBlock(h);
    --g_liveGlobal;
    return nullptr;
}

SIZE_T GlobalSize(HGLOBAL block) {
    BlockHeader* h = headerOf(block, kGlobalTag);
    return h != nullptr ? h->bytes : 0;
}

LPVOID GlobalLock(HGLOBAL block) {
    return headerOf(block, kGlobalTag) != nullptr ? block : nullptr;
}

BOOL GlobalUnlock(HGLOBAL) {
    return FALSE;
}

HANDLE GetProcessHeap() {
    return &g_processHeap;
}

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    void* p = allocateBlock(bytes, (flags & HEAP_ZERO_MEMORY) != 0, kHeapTag);
    if (p != nullptr) ++g_liveHeap;
    return p;
}

LPVOID HeapReAlloc(HANDLE, DWORD flags, LPVOID block, SIZE_T bytes) {
    BlockHeader* h = headerOf(block, kHeapTag);
    if (h == nullptr) return nullptr;
    return reallocateBlock(h, bytes, true, (flags & HEAP_ZERO_MEMORY) != 0);
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
    if (block == nullptr) return TRUE;
    BlockHeader* h = headerOf(block, kHeapTag);
    if (h == nullptr) return FALSE;
    releaseBlock(h);
    --g_liveHeap;
    return TRUE;
}

SIZE_T HeapSize(HANDLE, DWORD, LPCVOID block) {
    BlockHeader* h = headerOf(block, kHeapTag);
    return h != nullptr ? h->bytes : static_cast<SIZE_T>(-1);
}

std::size_t winplatLiveGlobalBlocks() {
    return g_liveGlobal.load();
}
std::size_t winplatLiveHeapBlocks() {
    return g_liveHeap.load();
}
void winplatFailGlobalAllocAt(unsigned n) {
    g_failCountdown.store(n);
}
void winplatDropKeptBlock() {
    g_kept.drop();
}

} // extern "C"
