#include "CDibConverter.h"
#include "Trace.h"

#include <gtest/gtest.h>
#include <string>

using namespace img;

namespace {

std::string g_traced;
void captureTrace(int, const char* text) {
    g_traced += text;
}

struct Case {
    ImgResolution in;
    int fromKind, toKind;
    int result;
    ImgResolution out;
};

} // namespace

TEST(ConvertResolution, Conventions) {
    const Case cases[] = {
        // Per centimetre truncates before the scaling: 253.99... -> 253 -> 25300.
        {{100, 100, 1}, 0, 4, 1, {25300, 25300, 1}},
        {{100, 100, 1}, 0, 3, 1, {253, 253, 1}},
        {{72, 96, 2}, 1, 4, 1, {7200, 9600, 1}},
        {{72, 96, 0}, 1, 4, 0, {0, 0, 0}},
        {{3, 4, 0}, 0, 2, 1, {3, 4, 0}},
        {{72, 96, 9}, 0, 2, 1, {0, 0, 0}},
        {{7200, 7200, 1}, 2, 0, 1, {28, 28, 1}},
        {{7200, 100, 0}, 2, 0, 1, {7200, 100, 0}},
        {{300, 300, 1}, 3, 4, 1, {30000, 30000, 1}},
        {{300, 300, 5}, 3, 4, 0, {0, 0, 0}},
        {{7200, 7200, 1}, 4, 3, 1, {72, 72, 1}},
        {{7200, 7200, 0}, 4, 3, 0, {0, 0, 0}},
        {{100, 50, 0}, 5, 4, 1, {25300, 12600, 1}},
        {{25300, 25300, 0}, 2, 5, 1, {99, 99, 1}},
        // Unsigned products wrap as they always did.
        {{-1, 1, 2}, 0, 4, 1, {-100, 100, 1}},
    };
    for (const Case& k : cases) {
        CDibConverter c;
        ImgResolution r = k.in;
        EXPECT_EQ(c.convertResolution(&r, k.fromKind, k.toKind), k.result)
            << k.in.x << " kind " << k.fromKind << "->" << k.toKind;
        EXPECT_EQ(r.x, k.out.x) << k.in.x << " kind " << k.fromKind << "->" << k.toKind;
        EXPECT_EQ(r.y, k.out.y) << k.in.y << " kind " << k.fromKind << "->" << k.toKind;
        EXPECT_EQ(r.unit, k.out.unit) << k.in.x << " kind " << k.fromKind << "->" << k.toKind;
    }
}

TEST(ConvertResolution, KindsOutOfRangeLeaveTheRecord) {
    CDibConverter c;
    ImgResolution r{1, 2, 1};
    EXPECT_EQ(c.convertResolution(nullptr, 0, 4), 0);
    EXPECT_EQ(c.convertResolution(&r, -1, 4), 0);
    EXPECT_EQ(c.convertResolution(&r, 6, 4), 0);
    EXPECT_EQ(c.convertResolution(&r, 2, -1), 1);
    EXPECT_EQ(c.convertResolution(&r, 2, 6), 1);
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(r.y, 2);
    EXPECT_EQ(r.unit, 1);
}

TEST(ConvertResolution, UnknownUnitOfTheLibraryConventionIsTraced) {
    g_traced.clear();
    TraceSink previous = setTraceSink(captureTrace);
    CDibConverter c;
    ImgResolution r{5, 6, 7};
    EXPECT_EQ(c.convertResolution(&r, 2, 2), 1);
    setTraceSink(previous);
    EXPECT_EQ(g_traced, "Bad input DPI\n");
    EXPECT_EQ(r.unit, 0);
    EXPECT_EQ(r.x, 5);
}
