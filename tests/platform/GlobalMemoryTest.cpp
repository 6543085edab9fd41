#include "LeakCheck.h"
#include "win32/win32.h"
#include "winplat/paths.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using testing_support::LeakCheck;

TEST(GlobalMemory, ZeroInitBlocksAreCountedAndSized) {
    LeakCheck check;
    const std::size_t before = winplatLiveGlobalBlocks();
    auto* p = static_cast<unsigned char*>(GlobalAlloc(GMEM_ZEROINIT, 100));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(winplatLiveGlobalBlocks(), before + 1);
    EXPECT_EQ(GlobalSize(p), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(p[i], 0);
    EXPECT_EQ(GlobalFree(p), nullptr);
    EXPECT_EQ(winplatLiveGlobalBlocks(), before);
}

TEST(GlobalMemory, ReAllocMovesOnlyWhenAllowed) {
    LeakCheck check;
    auto* p = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, 16));
    ASSERT_NE(p, nullptr);
    std::memset(p, 7, 16);
    EXPECT_EQ(GlobalReAlloc(p, 32, 0), nullptr) << "a fixed block may not grow in place";
    auto* q = static_cast<unsigned char*>(GlobalReAlloc(p, 1 << 20, GMEM_MOVEABLE | GMEM_ZEROINIT));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[15], 7);
    EXPECT_EQ(q[16], 0);
    auto* r = static_cast<unsigned char*>(GlobalReAlloc(q, 8, GMEM_MOVEABLE));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(GlobalSize(r), 8u);
    EXPECT_EQ(r[7], 7);
    GlobalFree(r);
}

// Large blocks may come back from a block freed before; what they promise must not change.
TEST(GlobalMemory, LargeBlocksInTurnKeepTheirPromises) {
    LeakCheck check;
    const std::size_t before = winplatLiveGlobalBlocks();
    struct Case {
        const char* name;
        std::size_t bytes;
        UINT flags;
    };
    const Case cases[] = {
        {"first of its size", 8u << 20, GMEM_ZEROINIT},
        {"same size again", 8u << 20, GMEM_ZEROINIT},
        {"a little smaller", (6u << 20) + 3, GMEM_ZEROINIT},
        {"not asked to be zero", 7u << 20, GMEM_FIXED},
        {"larger than any before", 12u << 20, GMEM_ZEROINIT},
        {"far smaller", 2u << 20, GMEM_ZEROINIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* p = static_cast<unsigned char*>(GlobalAlloc(c.flags, c.bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(GlobalSize(p), c.bytes);
        EXPECT_EQ(winplatLiveGlobalBlocks(), before + 1);
        if (c.flags & GMEM_ZEROINIT) {
            std::size_t nonZero = 0;
            for (std::size_t i = 0; i < c.bytes; ++i)
                nonZero += p[i] != 0;
            EXPECT_EQ(nonZero, 0u);
        }
        std::memset(p, 0xA5, c.bytes);
        EXPECT_EQ(GlobalFree(p), nullptr);
        EXPECT_EQ(winplatLiveGlobalBlocks(), before);
    }

    // Two live at once are two blocks, and a failure injected still fails a large request.
    void* a = GlobalAlloc(GMEM_ZEROINIT, 8u << 20);
    void* b = GlobalAlloc(GMEM_ZEROINIT, 8u << 20);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    GlobalFree(a);
    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(GlobalAlloc(GMEM_ZEROINIT, 8u << 20), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    auto* c = static_cast<unsigned char*>(GlobalAlloc(GMEM_ZEROINIT, 8u << 20));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c[(8u << 20) - 1], 0);
    auto* d = static_cast<unsigned char*>(GlobalReAlloc(c, 6u << 20, GMEM_MOVEABLE));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GlobalSize(d), 6u << 20);
    GlobalFree(d);
    GlobalFree(b);
    EXPECT_EQ(winplatLiveGlobalBlocks(), before);
}

TEST(GlobalMemory, HeapBlocksAreNotGlobalHandles) {
    void* heap = HeapAlloc(GetProcessHeap(), 0, 8);
    EXPECT_EQ(GlobalFree(heap), heap);
    EXPECT_EQ(GlobalSize(heap), 0u);
    HeapFree(GetProcessHeap(), 0, heap);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_EQ(GlobalSize(nullptr), 0u);
}

TEST(GlobalMemory, InjectedFailureHitsTheChosenCall) {
    winplatFailGlobalAllocAt(2);
    void* first = GlobalAlloc(GMEM_FIXED, 4);
    void* second = GlobalAlloc(GMEM_FIXED, 4);
    void* third = GlobalAlloc(GMEM_FIXED, 4);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_NE(third, nullptr);
    GlobalFree(first);
    GlobalFree(third);
}

TEST(ProcessHeap, BlocksAreCounted) {
    const std::size_t before = winplatLiveHeapBlocks();
    void* p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(p)[63], 0);
    p = HeapReAlloc(GetProcessHeap(), 0, p, 4096);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, p), 4096u);
    EXPECT_EQ(winplatLiveHeapBlocks(), before + 1);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
    EXPECT_EQ(winplatLiveHeapBlocks(), before);
}

TEST(ThreadLocalStorage, SlotsAreSeparatePerThread) {
    DWORD slot = TlsAlloc();
    ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
    int mine = 1, theirs = 2;
    ASSERT_TRUE(TlsSetValue(slot, &mine));
    void* seen = &mine;
    std::thread([&] {
        seen = TlsGetValue(slot);
        TlsSetValue(slot, &theirs);
    }).join();
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(TlsGetValue(slot), &mine);
    EXPECT_TRUE(TlsFree(slot));
}

TEST(CriticalSection, IsReentrant) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(Paths, BackslashesBecomeSeparators) {
    EXPECT_EQ(winplat::nativePath("a\\b/c\\d.bmp"), "a/b/c/d.bmp");
    EXPECT_EQ(winplat::nativePath(nullptr), "");
}

TEST(Structures, KeepTheirFileLayout) {
    EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
    EXPECT_EQ(sizeof(BITMAPFILEHEADER), 14u);
    EXPECT_EQ(offsetof(BITMAPFILEHEADER, bfOffBits), 10u);
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
}
