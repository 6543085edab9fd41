// The program's own malloc family over glibc's, counting while a watch is on. Every library
// the tests load (libtiff, libjpeg, libpng, the stand-in's global memory) allocates through
// these names, so what they ask for is seen too.
#include "HeapWatch.h"

#include "winplat/accounting.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define GALLIMO_OWN_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GALLIMO_OWN_MALLOC 0
#endif
#endif
#ifndef GALLIMO_OWN_MALLOC
#define GALLIMO_OWN_MALLOC 1
#endif

namespace {

std::atomic<bool> g_watching{false};
std::atomic<int> g_fill{-1};
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};
std::atomic<std::uint64_t> g_largest{0};

void raise(std::atomic<std::uint64_t>& figure, std::uint64_t value) {
    std::uint64_t seen = figure.load(std::memory_order_relaxed);
    while (value > seen && !figure.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

void raise(std::atomic<std::int64_t>& figure, std::int64_t value) {
    std::int64_t seen = figure.load(std::memory_order_relaxed);
    while (value > seen && !figure.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

[[maybe_unused]] void requested(std::size_t bytes) {
    if (g_watching.load(std::memory_order_relaxed)) raise(g_largest, bytes);
}

[[maybe_unused]] void gained(void* p, std::size_t fillFrom, bool fill) {
    if (p == nullptr) return;
    const std::size_t usable = malloc_usable_size(p);
    const int byte = g_fill.load(std::memory_order_relaxed);
    if (fill && byte >= 0 && usable > fillFrom)
        std::memset(static_cast<char*>(p) + fillFrom, byte, usable - fillFrom);
    const std::int64_t live =
        g_live.fetch_add(static_cast<std::int64_t>(usable)) + static_cast<std::int64_t>(usable);
    if (g_watching.load(std::memory_order_relaxed)) raise(g_peak, live);
}

[[maybe_unused]] void lost(void* p) {
    if (p != nullptr) g_live.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)));
}

} // namespace

#if GALLIMO_OWN_MALLOC
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t bytes) {
    requested(bytes);
    void* p = __libc_malloc(bytes);
    gained(p, 0, true);
    return p;
}

void* calloc(std::size_t count, std::size_t size) {
    std::size_t bytes = 0;
    requested(__builtin_mul_overflow(count, size, &bytes) ? SIZE_MAX : bytes);
    void* p = __libc_calloc(count, size);
    gained(p, 0, false);
    return p;
}

void* realloc(void* old, std::size_t bytes) {
    requested(bytes);
    const std::size_t before = old != nullptr ? malloc_usable_size(old) : 0;
    lost(old);
    void* p = __libc_realloc(old, bytes);
    if (p == nullptr && bytes != 0 && old != nullptr) {
        // The old block stays, and so does its count.
        g_live.fetch_add(static_cast<std::int64_t>(before));
        return nullptr;
    }
    gained(p, before, true);
    return p;
}

void free(void* p) {
    lost(p);
    __libc_free(p);
}

void* memalign(std::size_t alignment, std::size_t bytes) {
    requested(bytes);
    void* p = __libc_memalign(alignment, bytes);
    gained(p, 0, true);
    return p;
}

void* aligned_alloc(std::size_t alignment, std::size_t bytes) {
    return memalign(alignment, bytes);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t bytes) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = memalign(alignment, bytes);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}

void* valloc(std::size_t bytes) {
    return memalign(4096, bytes);
}
} // extern "C"
#endif

namespace testing_support {

bool heapWatchAvailable() {
    return GALLIMO_OWN_MALLOC != 0;
}

HeapFigures watchHeap(const std::function<void()>& call, int fillByte) {
    winplatDropKeptBlock();
    const std::int64_t before = g_live.load();
    g_peak.store(before);
    g_largest.store(0);
    g_fill.store(fillByte);
    g_watching.store(true);
    call();
    g_watching.store(false);
    g_fill.store(-1);
    HeapFigures figures;
    figures.largestRequest = g_largest.load();
    const std::int64_t peak = g_peak.load();
    figures.peakLiveBytes = peak > before ? static_cast<std::uint64_t>(peak - before) : 0;
    return figures;
}

} // namespace testing_support
