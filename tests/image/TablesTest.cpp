#include "Tables.h"
#include "CImgColorMatch.h"

#include <gtest/gtest.h>

using namespace img;

TEST(Tables, AlphaTableFollowsTheDoubleProduct) {
    const BYTE* t = tables().alpha;
    auto at = [t](int i, int j) { return t[i * 256 + j]; };
    EXPECT_EQ(at(33, 255), 32);
    EXPECT_EQ(at(33, 85), 10);
    EXPECT_EQ(at(45, 17), 2);
    EXPECT_EQ(at(255, 255), 255);
    int lowered = 0;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(at(0, i), 0);
        EXPECT_EQ(at(i, 0), 0);
        for (int j = 0; j < 256; ++j) {
            const int exact = i * j / 255;
            ASSERT_TRUE(at(i, j) == exact || at(i, j) == exact - 1) << i << "," << j;
            lowered += at(i, j) != exact;
        }
    }
    EXPECT_EQ(lowered, 72);
}

TEST(Tables, BitTables) {
    const Tables& t = tables();
    EXPECT_EQ(t.highBitMask[0], 0x80);
    EXPECT_EQ(t.highBitMask[7], 0x01);
    EXPECT_EQ(t.lowBitMask[0], 0x01);
    EXPECT_EQ(t.lowBitMask[7], 0x80);
    EXPECT_EQ(t.bitReversal[0x01], 0x80);
    EXPECT_EQ(t.bitReversal[0xB0], 0x0D);
    EXPECT_EQ(t.runMask[7][0], 0xFF);
    EXPECT_EQ(t.runMask[3][1], 0x0E);
    EXPECT_EQ(t.runMask[2][5], 0x00);
    const BYTE expanded[8] = {1, 0, 1, 0, 0, 0, 0, 1};
    for (int m = 0; m < 8; ++m)
        EXPECT_EQ(t.bitExpansion[0xA1][m], expanded[m]);
}

TEST(ColorMatch, NearestEntryWithTiesToTheLowestIndex) {
    RGBQUAD palette[8] = {};
    palette[1] = {10, 20, 30, 0};
    palette[2] = {10, 20, 30, 0}; // duplicate of 1
    palette[3] = {0, 0, 100, 0};  // red 100
    palette[7] = {0, 0, 120, 0};  // red 120
    CImgColorMatch m;
    EXPECT_EQ(m.match(1, 2, 3), 0) << "no palette yet";
    EXPECT_EQ(m.cachedPairs(), 0u);
    m.setPalette(palette, 8);
    EXPECT_EQ(m.match(30, 20, 10), 1);
    EXPECT_EQ(m.match(110, 0, 0), 3);
    EXPECT_EQ(m.match(RGB(119, 0, 0)), 7);
    EXPECT_EQ(m.match(RGB(110, 0, 0)), 3) << "cached answer";
    EXPECT_EQ(m.cachedPairs(), 3u);
}

TEST(ColorMatch, CacheIsDroppedWhenThe256thPairArrives) {
    RGBQUAD palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    CImgColorMatch m;
    m.setPalette(palette, 2);
    for (int i = 0; i < 255; ++i)
        m.match(static_cast<BYTE>(i), 0, 0);
    EXPECT_EQ(m.cachedPairs(), 255u);
    for (int i = 0; i < 45; ++i)
        m.match(static_cast<BYTE>(i), 1, 0);
    EXPECT_EQ(m.cachedPairs(), 45u);
    m.clearCache();
    EXPECT_EQ(m.cachedPairs(), 0u);
}

TEST(ColorMatch, EmptyPaletteGivesZeroAndIsCached) {
    CImgColorMatch m;
    RGBQUAD none[1] = {};
    m.setPalette(none, 0);
    EXPECT_EQ(m.match(200, 100, 50), 0);
    EXPECT_EQ(m.cachedPairs(), 1u);
}
