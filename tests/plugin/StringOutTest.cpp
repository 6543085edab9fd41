#include "StringOut.h"

#include <cstring>
#include <gtest/gtest.h>

using gallimo::copyStringOut;

TEST(StringOut, TooSmallAsksForTheTextAndItsZero) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    for (int given : {0, 3, 7}) {
        int length = given;
        EXPECT_EQ(copyStringOut("Gallimo", buffer, &length), -1);
        EXPECT_EQ(length, 8);
        EXPECT_EQ(buffer[0], 'x') << "the buffer is left alone";
    }
}

TEST(StringOut, FitsClearsTheWholeLengthAndCopies) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    int length = 12;
    EXPECT_EQ(copyStringOut("Gallimo", buffer, &length), 7);
    EXPECT_STREQ(buffer, "Gallimo");
    EXPECT_EQ(buffer[11], 0);
    EXPECT_EQ(buffer[12], 'x') << "nothing past the given length";
    EXPECT_EQ(length, 12);
    int exact = 8;
    EXPECT_EQ(copyStringOut("Gallimo", buffer, &exact), 7);
    int empty = 1;
    EXPECT_EQ(copyStringOut("", buffer, &empty), 0);
}
