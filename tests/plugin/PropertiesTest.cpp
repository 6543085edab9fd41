#include "GallimoProperties.h"

#include <gtest/gtest.h>
#include <string>

using gallimo::GallimoProperties;

namespace {
std::string format(const GallimoProperties& p) {
    char out[1000];
    p.format(out);
    return out;
}
std::string reparse(const std::string& text, GallimoProperties p = {}) {
    std::string writable = text;
    p.parse(writable.data());
    return format(p);
}
} // namespace

TEST(Properties, DefaultsAndTheirString) {
    EXPECT_EQ(format(GallimoProperties{}),
              "100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1");
}

TEST(Properties, ParsingFollowsTheTokensInOrder) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        // Consecutive commas are one separator: the next value lands in the skipped place.
        {"50,,60", "50,60,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1"},
        {"7,8", "7,8,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1"},
        {"", "100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1"},
        {" 12abc,x", "12,0,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1"},
        {"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20",
         "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(reparse(c.text), c.expected) << c.text;
}

TEST(Properties, EveryWrittenStringReadsBackUnchanged) {
    GallimoProperties p;
    p.backgroundColour = 0xFF000000u; // the colour picker's "default" colour
    p.fillColour = 0xFFFFFFFFu;
    p.frameColour = 0x00123456u;
    p.thumbWidth = -5;
    const std::string written = format(p);
    EXPECT_NE(written.find("4278190080,4294967295"), std::string::npos);
    EXPECT_EQ(reparse(written), written);
}
