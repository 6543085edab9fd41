#include "CheckedSize.h"
#include "LeakCheck.h"
#include "MemoryBlock.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace img;
using testing_support::LeakCheckedTest;

class MemoryBlockTest : public LeakCheckedTest {};

// An armed allocation failure shows whether the allocator was asked at all: a request it
// never saw leaves the failure armed for the next call.
bool allocatorWasAsked() {
    void* probe = GlobalAlloc(GMEM_FIXED, 1);
    winplatFailGlobalAllocAt(0);
    GlobalFree(probe);
    return probe != nullptr;
}

TEST_F(MemoryBlockTest, AllocateRefusesZeroAndSizesAboveTheLimitWithoutAsking) {
    MemoryBlock block;
    for (unsigned size : {0u, kBlockLimit + 1, 0xFFFFFFFFu}) {
        winplatFailGlobalAllocAt(1);
        EXPECT_FALSE(block.allocate(size));
        EXPECT_EQ(block.data(), nullptr);
        EXPECT_FALSE(allocatorWasAsked()) << size;
    }
}

TEST_F(MemoryBlockTest, TheLimitItselfIsAttempted) {
    MemoryBlock block;
    winplatFailGlobalAllocAt(1);
    EXPECT_FALSE(block.allocate(kBlockLimit));
    EXPECT_TRUE(allocatorWasAsked());
}

TEST_F(MemoryBlockTest, AllocatedMemoryIsZeroAndResizeKeepsItsStart) {
    MemoryBlock block;
    ASSERT_TRUE(block.allocate(64));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block.data()[i], 0);
    std::memset(block.data(), 0x5A, 64);
    ASSERT_TRUE(block.resize(48));
    EXPECT_EQ(GlobalSize(block.data()), 48u);
    EXPECT_EQ(block.data()[47], 0x5A);

    winplatFailGlobalAllocAt(1);
    BYTE* before = block.data();
    EXPECT_FALSE(block.resize(16));
    EXPECT_EQ(block.data(), before);
    EXPECT_EQ(block.data()[0], 0x5A);
    EXPECT_FALSE(block.resize(0));
    EXPECT_FALSE(block.resize(kBlockLimit + 1));
    EXPECT_TRUE(block.release());
    EXPECT_EQ(block.data(), nullptr);
}

TEST_F(MemoryBlockTest, ReleaseOfAnEmptyBlockSucceeds) {
    MemoryBlock block;
    EXPECT_TRUE(block.release());
}

TEST(ScratchBuffer, KeepsMemoryForTheSameCountAndFailsSafe) {
    ScratchBuffer<WORD> words;
    WORD* p = words.ensure(10);
    ASSERT_NE(p, nullptr);
    p[9] = 77;
    EXPECT_EQ(words.ensure(10), p);
    EXPECT_EQ(p[9], 77);
    EXPECT_EQ(words.ensure(0), nullptr);
    EXPECT_EQ(words.count(), 0);
    EXPECT_EQ(words.ensure(-3), nullptr);
    EXPECT_EQ(words.ensure(0x7FFFFFFF), nullptr) << "beyond the block limit in bytes";
}

TEST(CheckedSize, RefusesOverflowAndTheLimit) {
    struct Case {
        std::initializer_list<std::uint64_t> factors;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {{100, 200, 3}, 60000},
        {{0, 5}, 0},
        {{65536, 65536}, 0},          // wraps to 0 in 32 bits
        {{46341, 46341}, 0},          // just over 2^31
        {{kBlockLimit}, kBlockLimit},
        {{kBlockLimit, 2}, 0},
        {{0x80000000u, 2, 1}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(checkedProduct(c.factors), c.expected);
    EXPECT_EQ(checkedSum(kBlockLimit, 1), 0u);
    EXPECT_EQ(paddedRowBytes(3, 24), 12u);
    EXPECT_EQ(paddedRowBytes(1, 1), 4u);
    EXPECT_EQ(paddedRowBytes(0xFFFFFFFFu, 32), 0u);
}
