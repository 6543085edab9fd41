#include "LeakCheck.h"
#include "PixelNoise.h"
#include "VectorUnits.h"
#include "imgcore.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using testing_support::digest;
using testing_support::LeakCheckedTest;
using Pixels = std::vector<BYTE>;

namespace {

// A resizer with its pixel-format arguments bound: (src, w, h, stride, dst, w, h, stride).
using Resize = std::function<int(const BYTE*, int, int, int, BYTE*, int, int, int)>;

Resize bilinear(int bpp) {
    return [bpp](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resizeRGBVariantA(s, sw, sh, sr, d, dw, dh, dr, bpp);
    };
}
Resize nearest(int bpp) {
    return [bpp](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resizeRGBVariantB(s, sw, sh, sr, d, dw, dh, dr, bpp);
    };
}
Resize bicubic(int bpp) {
    return [bpp](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resizeRGBVariantC(s, sw, sh, sr, d, dw, dh, dr, bpp);
    };
}
Resize boxAverage(int bpp) {
    return [bpp](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resizeRGBAreaAverage(s, sw, sh, sr, d, dw, dh, dr, bpp, 0);
    };
}
Resize areaAverage(int bpp) {
    return [bpp](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resizeRGBAreaAverage(s, sw, sh, sr, d, dw, dh, dr, bpp, 1);
    };
}
Resize paletteBlend(const RGBQUAD* palette, int count = 256) {
    return [=](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resize8BitPalette(s, sw, sh, sr, d, dw, dh, dr, count, palette);
    };
}
Resize paletteAverage(const RGBQUAD* palette, int count = 256) {
    return [=](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resize8BitAreaAverage(s, sw, sh, sr, d, dw, dh, dr, palette, count, 0);
    };
}
Resize oneBit() {
    return [](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr) {
        return resize1Bit(s, sw, sh, sr, d, dw, dh, dr);
    };
}

Pixels noise(std::size_t n, std::uint32_t seed = 12345) {
    return testing_support::noise(n, seed);
}

RGBQUAD rgb(BYTE r, BYTE g, BYTE b) {
    return RGBQUAD{b, g, r, 0};
}

// A 256-entry palette whose first entries are the given colours, the rest black.
std::vector<RGBQUAD> palette(std::initializer_list<RGBQUAD> colours) {
    std::vector<RGBQUAD> p(256, rgb(0, 0, 0));
    std::copy(colours.begin(), colours.end(), p.begin());
    return p;
}

std::vector<RGBQUAD> greyRamp() {
    std::vector<RGBQUAD> p(256);
    for (int i = 0; i < 256; ++i)
        p[i] = rgb(BYTE(i), BYTE(255 - i), BYTE(i / 2));
    return p;
}

} // namespace

class ResizerTest : public LeakCheckedTest {};

TEST_F(ResizerTest, RefusedArgumentsWriteNothing) {
    const Pixels src = noise(64 * 64 * 4);
    const auto pal = greyRamp();
    const BYTE* s = src.data();
    struct Case {
        const char* what;
        Resize resize;
        const BYTE* source;
        int sw, sh, sr, dw, dh, dr;
        bool sameBuffer;
        int code;
    };
    const Case cases[] = {
        {"bilinear zero width", bilinear(3), s, 0, 8, 24, 4, 4, 12, false, 5},
        {"bilinear zero bytes per pixel", bilinear(0), s, 8, 8, 24, 4, 4, 12, false, 5},
        {"bilinear null source", bilinear(3), nullptr, 8, 8, 24, 4, 4, 12, false, 5},
        {"bilinear short source rows", bilinear(3), s, 8, 8, 23, 4, 4, 12, false, 5},
        {"bilinear short destination rows", bilinear(3), s, 8, 8, 24, 4, 4, 11, false, 5},
        {"bilinear negative height", bilinear(3), s, 8, -8, 24, 4, 4, 12, false, 5},
        {"bilinear row bytes that wrap in 32 bits", bilinear(3), s, 0x55555556, 1, 2, 4, 4, 12,
         false, 5},
        {"nearest zero destination height", nearest(3), s, 8, 8, 24, 4, 0, 12, false, 5},
        {"nearest short source rows", nearest(4), s, 8, 8, 31, 4, 4, 16, false, 5},
        {"bicubic same buffer", bicubic(3), nullptr, 8, 8, 24, 4, 4, 24, true, 5},
        {"bicubic zero source height", bicubic(3), s, 8, 0, 24, 4, 4, 12, false, 5},
        {"bicubic negative bytes per pixel", bicubic(-3), s, 8, 8, 24, 4, 4, 12, false, 5},
        {"bicubic column table over the block limit", bicubic(3), s, 8, 8, 24, 0x7FFFFFFF, 1, 12,
         false, 1},
        {"box enlarging", boxAverage(3), s, 4, 4, 12, 8, 2, 24, false, 5},
        {"box zero destination width", boxAverage(3), s, 8, 8, 24, 0, 4, 12, false, 5},
        {"box null source", boxAverage(3), nullptr, 8, 8, 24, 4, 4, 12, false, 5},
        {"box sums that would overflow 32 bits", boxAverage(1), s, 4105, 4105, 4105, 1, 1, 4, false,
         5},
        {"area enlarging", areaAverage(3), s, 8, 4, 24, 8, 8, 24, false, 5},
        {"area zero bytes per pixel", areaAverage(0), s, 8, 8, 24, 4, 4, 12, false, 5},
        {"area zero destination width", areaAverage(3), s, 8, 8, 24, 0, 4, 12, false, 5},
        {"area zero destination height", areaAverage(3), s, 8, 8, 24, 4, 0, 12, false, 5},
        {"palette blend null palette", paletteBlend(nullptr), s, 8, 8, 8, 4, 4, 4, false, 5},
        {"palette blend same buffer", paletteBlend(pal.data()), nullptr, 8, 8, 8, 4, 4, 8, true, 5},
        {"palette blend short rows", paletteBlend(pal.data()), s, 8, 8, 7, 4, 4, 4, false, 5},
        {"palette average null palette", paletteAverage(nullptr), s, 8, 8, 8, 4, 4, 4, false, 5},
        {"palette average enlarging", paletteAverage(pal.data()), s, 4, 8, 8, 8, 4, 8, false, 5},
        {"palette average zero destination height", paletteAverage(pal.data()), s, 8, 8, 8, 4, 0, 4,
         false, 5},
        {"one bit same buffer", oneBit(), nullptr, 8, 8, 1, 4, 4, 1, true, 5},
        {"one bit zero width", oneBit(), s, 0, 8, 1, 4, 4, 1, false, 5},
    };
    for (const Case& k : cases) {
        Pixels dst(4096, 0xA5);
        const Pixels before = dst;
        const BYTE* source = k.sameBuffer ? dst.data() : k.source;
        EXPECT_EQ(k.resize(source, k.sw, k.sh, k.sr, dst.data(), k.dw, k.dh, k.dr), 0) << k.what;
        EXPECT_EQ(getLastError(), k.code) << k.what;
        EXPECT_EQ(dst, before) << k.what;
    }
}

TEST_F(ResizerTest, SameSizeCopiesWithoutResampling) {
    // 3 x 2 pixels of 3 bytes in rows of 12: the padding bytes travel with the rows.
    const Pixels src = noise(24);
    const auto pal = greyRamp();
    for (const Resize& resize : {bilinear(3), nearest(3), bicubic(3)}) {
        Pixels dst(24);
        ASSERT_EQ(resize(src.data(), 3, 2, 12, dst.data(), 3, 2, 12), 1);
        EXPECT_EQ(getLastError(), 0);
        EXPECT_EQ(dst, src);
    }
    Pixels indexed(24);
    ASSERT_EQ(paletteBlend(pal.data())(src.data(), 9, 2, 12, indexed.data(), 9, 2, 12), 1);
    EXPECT_EQ(indexed, src);

    // The box average copies row by row, so the strides may differ.
    Pixels narrow(2 * 10, 0);
    ASSERT_EQ(boxAverage(3)(src.data(), 3, 2, 12, narrow.data(), 3, 2, 10), 1);
    EXPECT_TRUE(std::equal(src.begin(), src.begin() + 10, narrow.begin()));
    EXPECT_TRUE(std::equal(src.begin() + 12, src.begin() + 22, narrow.begin() + 10));
}

TEST_F(ResizerTest, BilinearEnlargingKeepsTheLastSampleInside) {
    // Step (2 - 0.5) / 4: column 3 samples position 1.125, whose neighbours are both column 1.
    const BYTE src[] = {0, 200};
    BYTE dst[4] = {};
    ASSERT_EQ(resizeRGBVariantA(src, 2, 1, 2, dst, 4, 1, 4, 1), 1);
    EXPECT_EQ(std::vector<BYTE>(dst, dst + 4), (std::vector<BYTE>{0, 75, 150, 200}));

    const BYTE one[] = {10, 20, 30};
    Pixels filled(5 * 4 * 3);
    ASSERT_EQ(resizeRGBVariantA(one, 1, 1, 3, filled.data(), 5, 4, 15, 3), 1);
    for (std::size_t i = 0; i < filled.size(); ++i)
        EXPECT_EQ(filled[i], one[i % 3]) << i;
}

TEST_F(ResizerTest, BoxAverageUsesTheSmallerRatioForItsSide) {
    // Each source pixel shows its column and row modulo 3, so the box's size and corner show.
    const auto source = [](int w, int h) {
        Pixels p(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p[y * w + x] = BYTE((x % 3) * 30 + (y % 3) * 7);
        return p;
    };
    const Pixels square = source(300, 300);
    Pixels dst(100 * 100);
    ASSERT_EQ(boxAverage(1)(square.data(), 300, 300, 300, dst.data(), 100, 100, 100), 1);
    // A whole 3 x 3 box: (0 + 30 + 60) * 3 + (0 + 7 + 14) * 3 = 333, / 9.
    EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](BYTE b) { return b == 37; }));

    const Pixels wide = source(300, 200);
    ASSERT_EQ(boxAverage(1)(wide.data(), 300, 200, 300, dst.data(), 100, 100, 100), 1);
    for (int j = 0; j < 100; ++j) {
        for (int i = 0; i < 100; ++i) {
            const int x = 3 * i, y = 2 * j;
            const int sum = wide[y * 300 + x] + wide[y * 300 + x + 1] + wide[(y + 1) * 300 + x] +
                            wide[(y + 1) * 300 + x + 1];
            ASSERT_EQ(dst[j * 100 + i], sum / 4) << i << "," << j;
        }
    }
}

TEST_F(ResizerTest, AreaAverageWeighsPartlyCoveredPixels) {
    const BYTE src[] = {10, 20, 30};
    BYTE dst[2] = {};
    ASSERT_EQ(areaAverage(1)(src, 3, 1, 3, dst, 2, 1, 2), 1);
    EXPECT_EQ(dst[0], 13); // (10 * 1 + 20 * 0.5) / 1.5
    EXPECT_EQ(dst[1], 26); // (20 * 0.5 + 30 * 1) / 1.5

    // The same row twice over three rows shrunk to two: the rows weigh alike.
    const BYTE tall[] = {10, 20, 30, 10, 20, 30, 10, 20, 30};
    BYTE square[4] = {};
    ASSERT_EQ(areaAverage(1)(tall, 3, 3, 3, square, 2, 2, 2), 1);
    EXPECT_EQ(std::vector<BYTE>(square, square + 4), (std::vector<BYTE>{13, 26, 13, 26}));
}

TEST_F(ResizerTest, BicubicOvershootIsClampedNotWrapped) {
    BYTE edge[8 * 3];
    for (int i = 0; i < 24; ++i)
        edge[i] = i < 12 ? 0 : 255;
    Pixels dst(40 * 3);
    ASSERT_EQ(resizeRGBVariantC(edge, 8, 1, 24, dst.data(), 40, 1, 120, 3), 1);
    EXPECT_EQ(*std::min_element(dst.begin(), dst.end()), 0);
    EXPECT_EQ(*std::max_element(dst.begin(), dst.end()), 255);
    for (std::size_t i = 3; i < dst.size(); ++i)
        EXPECT_GE(dst[i], dst[i - 3]) << i;
}

TEST_F(ResizerTest, PalettedResizersBlendInColourAndMatchBack) {
    const auto pal = palette({rgb(0, 0, 0), rgb(255, 255, 255), rgb(128, 128, 128)});
    // Black and white enlarged to three: the middle sample is 113 grey, nearest to entry 2.
    const BYTE pair[] = {0, 1};
    BYTE three[3] = {};
    ASSERT_EQ(paletteBlend(pal.data(), 3)(pair, 2, 1, 2, three, 3, 1, 3), 1);
    EXPECT_EQ(std::vector<BYTE>(three, three + 3), (std::vector<BYTE>{0, 2, 1}));

    // Averaged to one pixel: 127.5 truncates to 127, again nearest to entry 2.
    BYTE one = 9;
    ASSERT_EQ(paletteAverage(pal.data(), 3)(pair, 2, 1, 2, &one, 1, 1, 1), 1);
    EXPECT_EQ(one, 2);
}

// Entries that end where an unreadable page begins, so that reading past them faults.
class GuardedPalette {
public:
    explicit GuardedPalette(std::size_t count) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        m_bytes = 2 * page;
        m_base = mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_base == MAP_FAILED) throw std::bad_alloc();
        mprotect(static_cast<BYTE*>(m_base) + page, page, PROT_NONE);
        m_entries = reinterpret_cast<RGBQUAD*>(static_cast<BYTE*>(m_base) + page) - count;
    }
    ~GuardedPalette() { munmap(m_base, m_bytes); }
    GuardedPalette(const GuardedPalette&) = delete;
    GuardedPalette& operator=(const GuardedPalette&) = delete;
    RGBQUAD* entries() const { return m_entries; }

private:
    void* m_base = nullptr;
    std::size_t m_bytes = 0;
    RGBQUAD* m_entries = nullptr;
};

TEST_F(ResizerTest, PalettedResizersTakeIndicesPastThePaletteAsBlack) {
    GuardedPalette guarded(16);
    RGBQUAD* pal = guarded.entries();
    for (int i = 0; i < 16; ++i)
        pal[i] = rgb(static_cast<BYTE>(100 + 10 * i), 200, 90);
    pal[5] = rgb(0, 0, 0);
    struct Case {
        const char* name;
        Resize resize;
        int srcW, srcH, dstW, dstH;
    };
    const Case cases[] = {
        {"blend enlarging", paletteBlend(pal, 16), 4, 4, 8, 8},
        {"blend shrinking", paletteBlend(pal, 16), 16, 4, 8, 2},
        {"average", paletteAverage(pal, 16), 16, 4, 8, 2},
        {"average, one column per group", paletteAverage(pal, 16), 33, 3, 11, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Pixels src(static_cast<std::size_t>(c.srcW) * c.srcH, 200);
        Pixels dst(static_cast<std::size_t>(c.dstW) * c.dstH, 99);
        ASSERT_EQ(c.resize(src.data(), c.srcW, c.srcH, c.srcW, dst.data(), c.dstW, c.dstH, c.dstW),
                  1);
        EXPECT_EQ(dst, Pixels(dst.size(), 5)) << "black is entry 5";
    }
}

TEST_F(ResizerTest, OneBitSetsOnlyAboveOneHalf) {
    // 3 x 3 to 2 x 2: destination (1, 1) takes a quarter of each of source (1..2, 1..2).
    struct Case {
        BYTE rows[3]; // bits of columns 0..2 in the top three bits
        bool set;
    };
    const Case cases[] = {
        {{0x00, 0x60, 0x40}, true},  // three of four: 0.75
        {{0x00, 0x60, 0x00}, false}, // two of four: exactly 0.5 clears
        {{0xE0, 0x00, 0x00}, false},
    };
    for (const Case& k : cases) {
        BYTE dst[2] = {0x3F, 0xBF}; // bits outside the 2 x 2 image must stay
        ASSERT_EQ(resize1Bit(k.rows, 3, 3, 1, dst, 2, 2, 1), 1);
        EXPECT_EQ((dst[1] & 0x40) != 0, k.set) << int(k.rows[1]);
        EXPECT_EQ(dst[0] & 0x3F, 0x3F);
        EXPECT_EQ(dst[1] & 0x3F, 0x3F);
    }
}

TEST_F(ResizerTest, PalettedResultsStayBitForBitTheSame) {
    // The reference test blends on a grey palette; these digests also hold the colour
    // matching of a palette whose channels differ.
    const Pixels src = noise(61 * 47 * 4);
    const auto pal = greyRamp();
    struct Case {
        const char* what;
        Resize resize;
        int sw, sh, sr, dw, dh, dr;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"palette blend", paletteBlend(pal.data()), 61, 47, 61, 29, 50, 29,
         18146379959203606969ull},
        {"palette average", paletteAverage(pal.data()), 61, 47, 61, 29, 20, 29,
         11859456368761302620ull},
    };
    // The vector sums and the plain loops must agree.
    for (bool vectors : {true, false}) {
        img::allowVectorUnits(vectors);
        for (const Case& k : cases) {
            Pixels dst(static_cast<std::size_t>(k.dh) * k.dr);
            ASSERT_EQ(k.resize(src.data(), k.sw, k.sh, k.sr, dst.data(), k.dw, k.dh, k.dr), 1)
                << k.what;
            EXPECT_EQ(digest(dst), k.expected) << k.what << (vectors ? " (vectors)" : " (plain)");
        }
    }
    img::allowVectorUnits(true);
}
