#include "CDibConverter.h"

#include <gtest/gtest.h>
#include <vector>

using namespace img;

TEST(FillRect, GreyAlsoFillsPaddingOtherColoursDoNot) {
    CDibConverter c;
    std::vector<BYTE> grey(2 * 8, 0xAA); // 2 x 2 pixels of 3 bytes, row bytes 8
    ASSERT_EQ(c.fillRect(grey.data(), 2, 2, 8, 0x404040, 3), 1);
    EXPECT_EQ(grey, std::vector<BYTE>(16, 0x40));

    std::vector<BYTE> colour(2 * 8, 0xAA);
    ASSERT_EQ(c.fillRect(colour.data(), 2, 2, 8, 0x010203, 3), 1);
    const std::vector<BYTE> row = {3, 2, 1, 3, 2, 1, 0xAA, 0xAA};
    EXPECT_EQ(std::vector<BYTE>(colour.begin(), colour.begin() + 8), row);
    EXPECT_EQ(std::vector<BYTE>(colour.begin() + 8, colour.end()), row);
}

TEST(FillRect, ColourTableEntryAtThirtyTwoBits) {
    CDibConverter c;
    const RGBQUAD entry = {10, 20, 30, 0};
    const DWORD colour =
        255u << 24 | DWORD(entry.rgbBlue) << 16 | DWORD(entry.rgbGreen) << 8 | entry.rgbRed;
    std::vector<BYTE> px(3 * 4);
    ASSERT_EQ(c.fillRect(px.data(), 3, 1, 12, colour, 4), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(px[i * 4 + 0], 30);
        EXPECT_EQ(px[i * 4 + 1], 20);
        EXPECT_EQ(px[i * 4 + 2], 10);
        EXPECT_EQ(px[i * 4 + 3], 255);
    }
}

TEST(FillRect, RefusalsAndEmptyRectangles) {
    CDibConverter c;
    BYTE px[4] = {};
    EXPECT_EQ(c.fillRect(px, 1, 1, 4, 0, 2), 0);
    EXPECT_EQ(c.status, 5);
    EXPECT_EQ(c.fillRect(nullptr, 1, 1, 4, 0, 3), 0);
    EXPECT_EQ(c.status, 5);
    c.status = 0;
    EXPECT_EQ(c.fillRect(px, 0, 1, 4, 0, 3), 1);
    EXPECT_EQ(c.status, 0);
}
