#include "MemoryBlock.h"
#include "CheckedSize.h"
#include "LeakCheck.h"

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
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(block.data()[i], 0);
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
        std::initializer_list<Size> factors;
        std::uint32_t expected; // 0: refused
    };
    const Case cases[] =
        {
            {{100, 200, 3}, 60000},       {{0, 5}, 0},
            {{65536, 65536}, 0}, // wraps to 0 in 32 bits
            {{46341, 46341}, 0}, // just over 2^31
            {{kBlockLimit}, kBlockLimit}, {{kBlockLimit, 2}, 0},
            {{0x80000000u, 2, 1}, 0},     {{-1, 4}, 0},
        };
    for (const Case& c : cases) {
        const Size product = checkedProduct(c.factors);
        EXPECT_EQ(product.ok(), c.expected != 0);
        EXPECT_EQ(product.bytes(), c.expected);
    }
    EXPECT_FALSE(checkedSum(kBlockLimit, 1).ok());
    EXPECT_EQ(paddedRowBytes(3, 24).bytes(), 12u);
    EXPECT_EQ(paddedRowBytes(1, 1).bytes(), 4u);
    EXPECT_FALSE(paddedRowBytes(0xFFFFFFFFu, 32).ok());
}

// The fault this type exists for: a refused row product plus a header was once a small,
// valid-looking size, and the rows were written far outside a header-sized block.
TEST(CheckedSize, RefusalSurvivesWhatIsAddedAfterIt) {
    const Size rows = checkedProduct({65536, 65536});
    EXPECT_FALSE((rows + 40).ok());
    EXPECT_FALSE((Size(1064) + rows).ok());
    EXPECT_FALSE((rows * 1).ok());
    EXPECT_FALSE(checkedSum(40, Size::refused()).ok());
    EXPECT_FALSE(imageBlockSize(1064, 1000000, 3000).ok());
    EXPECT_FALSE(imageBlockSize(40, paddedRowBytes(0xFFFFFFFFu, 32), 1).ok());
    EXPECT_FALSE(imageBlockSize(40, 0, 10).ok()) << "empty rows hold no image";
    EXPECT_FALSE(imageBlockSize(40, 4, 0).ok());
    EXPECT_EQ(imageBlockSize(40, 4, 3).bytes(), 52u);
    EXPECT_EQ(allocateGlobal(Size::refused()), nullptr);
    EXPECT_EQ(allocateGlobal(rows + 40), nullptr);
}
