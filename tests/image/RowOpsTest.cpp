#include "CDibConverter.h"

#include <gtest/gtest.h>
#include <vector>

using namespace img;

TEST(RowOps, SwapsFlipsAndCopies) {
    CDibConverter c;
    BYTE px24[6] = {1, 2, 3, 4, 5, 6};
    c.swapRedBlue24(px24, 2, 1);
    EXPECT_EQ(px24[0], 3);
    EXPECT_EQ(px24[5], 4);
    BYTE px32[4] = {1, 2, 3, 4};
    c.swapRedBlue32(px32, 1, 1);
    EXPECT_EQ(px32[0], 3);
    EXPECT_EQ(px32[3], 4);

    BYTE one[2] = {1, 2};
    EXPECT_EQ(c.flipVertical(one, 2, 1), 1);
    EXPECT_EQ(one[0], 1);
    BYTE three[3] = {1, 2, 3};
    EXPECT_EQ(c.flipVertical(three, 1, 3), 1);
    EXPECT_EQ(three[0], 3);
    EXPECT_EQ(three[1], 2);
    EXPECT_EQ(three[2], 1);

    const BYTE source[6] = {1, 2, 3, 4, 5, 6}; // stride 3
    BYTE dest[4] = {};                         // stride 2
    EXPECT_EQ(c.copyRows(source, 3, 2, 2, dest), 1);
    const BYTE expected[4] = {1, 2, 4, 5};
    EXPECT_EQ(std::vector<BYTE>(dest, dest + 4), std::vector<BYTE>(expected, expected + 4));
}

TEST(RowOps, MirrorsKeepWholePixels) {
    CDibConverter c;
    BYTE rows[8] = {1, 2, 3, 4, 9, 9, 9, 9}; // two 2-byte pixels, stride 4... one row
    EXPECT_EQ(c.mirrorRows(rows, 2, 1, 2, 4), 1);
    const BYTE e[4] = {3, 4, 1, 2};
    EXPECT_EQ(std::vector<BYTE>(rows, rows + 4), std::vector<BYTE>(e, e + 4));

    WORD words[6] = {1, 2, 3, 4, 5, 6}; // 3 one-sample pixels, 2 rows, stride 3
    ASSERT_EQ(c.mirrorRows16(words, 3, 2, 1, 3), 1);
    const WORD w[6] = {3, 2, 1, 6, 5, 4};
    EXPECT_EQ(std::vector<WORD>(words, words + 6), std::vector<WORD>(w, w + 6));
}

TEST(RowOps, MirroringOneBitRowsKeepsTheImageAtTheFirstBit) {
    CDibConverter c;
    // Width 10: pixels 0 and 1 set, plus pixel 9.
    BYTE row[2] = {0xC0, 0x40};
    EXPECT_EQ(c.mirrorOneBitRows(row, 10, 1, 2), 1);
    // Mirrored: pixel 0 (was 9) and pixels 8, 9 (were 1, 0).
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0xC0);
    EXPECT_EQ(c.mirrorOneBitRows(nullptr, 0, 5, 2), 1) << "nothing to do";
    EXPECT_EQ(c.mirrorOneBitRows(row, 8, 1, 1), 1);
    EXPECT_EQ(row[0], 0x01);
}
