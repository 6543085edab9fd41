// Run with thread-local storage exhausted: the library can make no per-thread record, so every
// entry point gives up at once and the last error reads 55.
#include "TestFiles.h"
#include "imgcore.h"
#include "winplat/accounting.h"

#include <gtest/gtest.h>

TEST(NoThreadRecord, EveryEntryPointGivesUpAtOnce) {
    ASSERT_EQ(getLastError(), 55);
    testing_support::TempFile file({'B', 'M', 0, 0});
    const std::size_t blocks = winplatLiveGlobalBlocks();
    EXPECT_EQ(openFileSource(file.path().c_str()), nullptr);
    EXPECT_EQ(seekSource(nullptr, 0, 0), 0);
    EXPECT_EQ(closeSource(nullptr), 0);
    const BYTE rows[1] = {0x80};
    const RGBQUAD palette[2] = {};
    EXPECT_EQ(oneBitToDIB(rows, 1, 1, palette, nullptr), nullptr);
    EXPECT_EQ(winplatLiveGlobalBlocks(), blocks);
    EXPECT_EQ(getLastError(), 55);
    deleteLibraryLock();
}
