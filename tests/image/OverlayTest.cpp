#include "COverlay.h"
#include "LeakCheck.h"
#include "Tables.h"

#include <gtest/gtest.h>
#include <vector>

using namespace img;
using testing_support::LeakCheckedTest;

namespace {

bool bitAt(const std::vector<BYTE>& rows, int rowBytes, int column, int row) {
    return (rows[static_cast<std::size_t>(row) * rowBytes + column / 8] & (0x80 >> (column & 7))) !=
           0;
}

// Bits of a pattern that differs in every column and row, so that a misplaced bit shows.
std::vector<BYTE> pattern(int rowBytes, int height, unsigned seed) {
    std::vector<BYTE> v(static_cast<std::size_t>(rowBytes) * height);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<BYTE>((i * 37 + seed) * 101);
    return v;
}

} // namespace

class OverlayTest : public LeakCheckedTest {
protected:
    COverlay o;
};

TEST_F(OverlayTest, ClipRectangleFollowsThePositionAndBothSizes) {
    struct Case {
        int dstW, dstH, srcW, srcH, x, y;
        OverlayClip expected;
    };
    const Case cases[] = {
        {10, 10, 4, 4, 2, 3, {2, 6, 3, 7}},
        {10, 10, 8, 4, -5, 0, {0, 3, 0, 4}},
        {10, 10, 8, 8, 7, 7, {7, 10, 7, 10}},
        {10, 10, 4, 4, 10, 0, {10, 10, 0, 4}},
        {10, 10, 4, 4, 0x7FFFFFF0, 0, {10, 10, 0, 4}},
        {10, 10, 4, 4, -0x7FFFFFF0, 0, {0, 0, 0, 4}},
    };
    for (const Case& k : cases) {
        const OverlayClip c = clipOverlay(k.dstW, k.dstH, k.srcW, k.srcH, k.x, k.y);
        EXPECT_EQ(c.x0, k.expected.x0) << k.x;
        EXPECT_EQ(c.x1, k.expected.x1) << k.x;
        EXPECT_EQ(c.y0, k.expected.y0) << k.y;
        EXPECT_EQ(c.y1, k.expected.y1) << k.y;
    }
}

TEST_F(OverlayTest, RgbaBlendsEachByteThroughTheAlphaTable) {
    const BYTE* T = tables().alpha;
    const BYTE alphas[] = {0, 1, 33, 128, 254, 255};
    for (BYTE a : alphas) {
        std::vector<BYTE> dst = {200, 100, 17, 255, 0, 85};
        const std::vector<BYTE> src = {10, 250, 85, a, 255, 255, 0, a};
        const auto before = dst;
        ASSERT_EQ(o.overlayRGBA(dst.data(), 2, 1, 6, src.data(), 2, 1, 8, 0, 0), 1);
        for (int i = 0; i < 6; ++i) {
            const BYTE s = src[i / 3 * 4 + i % 3];
            EXPECT_EQ(dst[i], T[(255 - a) * 256 + before[i]] + T[a * 256 + s]) << int(a) << i;
        }
        if (a == 0) {
            EXPECT_EQ(dst, before) << "alpha 0 keeps the destination";
        }
    }
}

TEST_F(OverlayTest, RgbaIsClippedAtNegativePositions) {
    // 3 x 2 destination; 4 x 2 opaque source whose pixel value names its column and row.
    std::vector<BYTE> dst(3 * 3 * 2, 7);
    std::vector<BYTE> src;
    for (int r = 0; r < 2; ++r)
        for (int col = 0; col < 4; ++col)
            src.insert(src.end(), {BYTE(col), BYTE(100 + 50 * r), 0, 255});
    ASSERT_EQ(o.overlayRGBA(dst.data(), 3, 2, 9, src.data(), 4, 2, 16, -2, 1), 1);
    const BYTE* opaque = tables().alpha + 255 * 256;
    EXPECT_EQ(std::vector<BYTE>(dst.begin(), dst.begin() + 9), std::vector<BYTE>(9, 7));
    EXPECT_EQ(dst[9], opaque[2]) << "destination column 0 takes source column 2";
    EXPECT_EQ(dst[10], opaque[100]) << "from source row 0";
    EXPECT_EQ(dst[15], 7) << "column 2 lies past the source";
}

TEST_F(OverlayTest, OneBitMatchesThePixelRuleAtEveryPosition) {
    const int dstW = 21, dstH = 5, dstRow = 4, srcW = 13, srcH = 3, srcRow = 2;
    const auto src = pattern(srcRow, srcH, 5);
    for (int flags : {0, kOverlayOneBitUpsideDown}) {
        for (int x = -14; x <= 22; ++x) {
            for (int y = -3; y <= 5; ++y) {
                auto dst = pattern(dstRow, dstH, 11);
                const auto before = dst;
                ASSERT_EQ(o.overlayOneBit(dst.data(), dstW, dstH, dstRow, src.data(), srcW, srcH,
                                          srcRow, x, y, flags),
                          1);
                for (int r = 0; r < dstH; ++r) {
                    for (int col = 0; col < dstRow * 8; ++col) {
                        const bool inside =
                            col < dstW && col >= x && col < x + srcW && r >= y && r < y + srcH;
                        const int sr = flags != 0 ? srcH - 1 - (r - y) : r - y;
                        const bool want = inside ? bitAt(src, srcRow, col - x, sr)
                                                 : bitAt(before, dstRow, col, r);
                        ASSERT_EQ(bitAt(dst, dstRow, col, r), want)
                            << "x " << x << " y " << y << " flags " << flags << " at " << col << ","
                            << r;
                    }
                }
            }
        }
    }
}

TEST_F(OverlayTest, OneBitAtByteBoundariesAndInsideAByte) {
    // At x = 8 whole bytes move; at x = 3 the three leading destination bits stay.
    const std::vector<BYTE> src = {0xA5, 0x3C};
    struct Case {
        int x;
        std::vector<BYTE> expected;
    };
    const Case cases[] = {
        {8, {0x00, 0xA5, 0x3C, 0x00}},
        {3, {0xF4, 0xA7, 0x9F, 0xFF}},
    };
    for (const Case& k : cases) {
        std::vector<BYTE> dst(4, k.x == 8 ? 0x00 : 0xFF);
        ASSERT_EQ(o.overlayOneBit(dst.data(), 32, 1, 4, src.data(), 16, 1, 2, k.x, 0, 0), 1);
        EXPECT_EQ(dst, k.expected) << k.x;
    }
}

TEST_F(OverlayTest, SixteenBitSegmentsAndUpsideDown) {
    // Source 3 x 2 pixels of 2 samples, row stride 7 samples; destination 2 x 3, stride 5.
    std::vector<WORD> src(14);
    for (std::size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<WORD>(1000 + i);
    struct Case {
        DWORD mode;
        int x, y;
        std::vector<WORD> expected;
    };
    const Case cases[] = {
        {0, 0, 1, {0, 0, 0, 0, 0, 1000, 1001, 1002, 1003, 0, 1007, 1008, 1009, 1010, 0}},
        {kOverlay16UpsideDown,
         0,
         1,
         {0, 0, 0, 0, 0, 1007, 1008, 1009, 1010, 0, 1000, 1001, 1002, 1003, 0}},
        {kOverlay16UpsideDown,
         -1,
         0,
         {1009, 1010, 1011, 1012, 0, 1002, 1003, 1004, 1005, 0, 0, 0, 0, 0, 0}},
        {0, 2, 0, std::vector<WORD>(15, 0)},
    };
    for (const Case& k : cases) {
        std::vector<WORD> dst(15);
        ASSERT_EQ(o.overlay16(dst.data(), 2, 3, src.data(), 3, 2, k.x, k.y, 1.0, 2, 5, 7, k.mode),
                  1);
        EXPECT_EQ(dst, k.expected) << k.mode << " " << k.x;
    }
}

TEST_F(OverlayTest, NullOrSharedBuffersAreRefused) {
    BYTE a[16] = {}, b[16] = {};
    WORD w[4] = {}, v[4] = {};
    struct Case {
        const char* what;
        int result;
    };
    const Case cases[] = {
        {"rgba null dst", o.overlayRGBA(nullptr, 1, 1, 3, b, 1, 1, 4, 0, 0)},
        {"rgba null src", o.overlayRGBA(a, 1, 1, 3, nullptr, 1, 1, 4, 0, 0)},
        {"rgba shared", o.overlayRGBA(a, 1, 1, 3, a, 1, 1, 4, 0, 0)},
        {"1-bit null dst", o.overlayOneBit(nullptr, 8, 1, 1, b, 8, 1, 1, 0, 0, 0)},
        {"1-bit shared", o.overlayOneBit(a, 8, 1, 1, a, 8, 1, 1, 0, 0, 0)},
        {"16 null src", o.overlay16(w, 1, 1, nullptr, 1, 1, 0, 0, 1.0, 1, 1, 1, 0)},
        {"16 shared", o.overlay16(w, 1, 1, w, 1, 1, 0, 0, 1.0, 1, 1, 1, 0)},
    };
    for (const Case& k : cases)
        EXPECT_EQ(k.result, 0) << k.what;
    EXPECT_EQ(o.status, 5);

    COverlay fresh;
    EXPECT_EQ(fresh.overlayRGBA(a, 1, 1, 3, b, 1, 1, 4, 5, 5), 1) << "wholly outside";
    EXPECT_EQ(fresh.overlay16(w, 1, 1, v, 1, 1, -1, 0, 1.0, 1, 1, 1, 0), 1);
    EXPECT_EQ(fresh.status, 0);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(w[0], 0);
}
