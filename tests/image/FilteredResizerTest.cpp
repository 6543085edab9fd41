#include "FilteredResizer.h"
#include "LeakCheck.h"
#include "PixelNoise.h"
#include "imgcore.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

using testing_support::LeakCheckedTest;
using Pixels = std::vector<BYTE>;

namespace {

constexpr int kLanczos3 = 8, kSinc = 10, kCatmullRom = 13;

Pixels noise(std::size_t n, std::uint32_t seed = 777) {
    return testing_support::noise(n, seed);
}

// Resizes a tightly packed image; the destination starts filled with 0xA5.
Pixels resized(const Pixels& src, int sw, int sh, int dw, int dh, int bpp, int filter,
               int* result = nullptr) {
    Pixels dst(static_cast<std::size_t>(dw) * dh * bpp, 0xA5);
    const int r =
        resizeFiltered(src.data(), sw, sh, sw * bpp, dst.data(), dw, dh, dw * bpp, bpp, filter);
    if (result != nullptr) *result = r;
    return dst;
}

} // namespace

class FilteredResizerTest : public LeakCheckedTest {};

TEST_F(FilteredResizerTest, RefusesBadArgumentsAndTooSmallDestinations) {
    const Pixels src = noise(16 * 16 * 3);
    BYTE dst[16 * 16 * 3];
    struct Case {
        const char* what;
        const BYTE* source;
        int sw, sh, dw, dh, bpp, filter;
        int code;
    };
    const Case cases[] = {
        {"filter 14", src.data(), 16, 16, 4, 4, 3, 14, 5},
        {"filter -1", src.data(), 16, 16, 4, 4, 3, -1, 5},
        {"null source", nullptr, 16, 16, 4, 4, 3, 0, 5},
        {"zero bytes per pixel", src.data(), 16, 16, 4, 4, 0, 0, 5},
        {"zero destination height", src.data(), 16, 16, 4, 0, 3, 0, 5},
        {"negative source width", src.data(), -16, 16, 4, 4, 3, 0, 5},
        {"Lanczos3 to width 2", src.data(), 16, 16, 2, 4, 3, kLanczos3, 68},
        {"Lanczos3 to height 2", src.data(), 16, 16, 4, 2, 3, kLanczos3, 68},
        {"sinc to width 3", src.data(), 16, 16, 3, 4, 3, kSinc, 68},
        {"Gaussian to width 1", src.data(), 16, 16, 1, 4, 3, 3, 68},
        {"row lists over the block limit", src.data(), 16, 16, 4, 0x7FFFFFFF, 3, 1, 1},
    };
    for (const Case& k : cases) {
        std::fill(std::begin(dst), std::end(dst), 0xA5);
        EXPECT_EQ(resizeFiltered(k.source, k.sw, k.sh, k.sw * 3, dst, k.dw, k.dh, k.dw * 3, k.bpp,
                                 k.filter),
                  0)
            << k.what;
        EXPECT_EQ(getLastError(), k.code) << k.what;
        EXPECT_TRUE(std::all_of(std::begin(dst), std::end(dst), [](BYTE b) { return b == 0xA5; }))
            << k.what;
    }
}

TEST_F(FilteredResizerTest, SmallestDestinationFollowsTheSupport) {
    const Pixels src = noise(16 * 16 * 3);
    // Supports 0.5 and 1 need one sample, 1.25 to 2 two, Lanczos3 three and sinc four.
    const int smallest[14] = {1, 1, 1, 2, 2, 2, 1, 2, 3, 2, 4, 1, 1, 2};
    for (int filter = 0; filter < 14; ++filter) {
        int result = 0;
        resized(src, 16, 16, smallest[filter], smallest[filter], 3, filter, &result);
        EXPECT_EQ(result, 1) << filter;
        EXPECT_EQ(getLastError(), 0) << filter;
    }
}

TEST_F(FilteredResizerTest, FlatSourceStaysExactlyFlat) {
    struct Size {
        int sw, sh, dw, dh;
    };
    // Shrinking, enlarging, mixed, and sources smaller than every kernel's reach.
    const Size sizes[] = {
        {40, 30, 7, 9}, {5, 4, 23, 17}, {31, 3, 6, 20}, {1, 1, 9, 5}, {2, 2, 4, 7}};
    const BYTE colour[3] = {17, 200, 94};
    for (const Size& z : sizes) {
        Pixels src(static_cast<std::size_t>(z.sw) * z.sh * 3);
        for (std::size_t i = 0; i < src.size(); ++i)
            src[i] = colour[i % 3];
        for (int filter = 0; filter < 14; ++filter) {
            int result = 0;
            const Pixels dst = resized(src, z.sw, z.sh, z.dw, z.dh, 3, filter, &result);
            ASSERT_EQ(result, 1) << filter;
            for (std::size_t i = 0; i < dst.size(); ++i)
                ASSERT_EQ(dst[i], colour[i % 3]) << "filter " << filter << " at " << i;
        }
    }
}

TEST_F(FilteredResizerTest, CatmullRomOvershootIsLimited) {
    Pixels edge(24);
    for (int i = 0; i < 24; ++i)
        edge[i] = i % 12 < 6 ? 10 : 245;
    const Pixels both = resized(edge, 12, 2, 37, 2, 1, kCatmullRom);
    const Pixels dst(both.begin(), both.begin() + 37);
    EXPECT_EQ(*std::min_element(dst.begin(), dst.end()), 0);
    EXPECT_EQ(*std::max_element(dst.begin(), dst.end()), 255);
    // A wrapped value would put a bright sample on the dark side or a dark one on the bright.
    for (int i = 0; i < 37; ++i)
        EXPECT_EQ(dst[i] > 128, i >= 17) << i;
}

TEST_F(FilteredResizerTest, RepeatedIndicesGiveTheSameKernel) {
    const Pixels src = noise(29 * 23 * 4);
    for (const auto& pair : {std::make_pair(5, 7), std::make_pair(6, 11)}) {
        for (const auto& size : {std::make_pair(11, 9), std::make_pair(50, 41)}) {
            const Pixels a = resized(src, 29, 23, size.first, size.second, 4, pair.first);
            EXPECT_EQ(a, resized(src, 29, 23, size.first, size.second, 4, pair.second))
                << pair.first << " and " << pair.second;
        }
    }
}

TEST_F(FilteredResizerTest, EdgesReflectIntoTheSource) {
    const img::Filter& lanczos = *img::filterAt(kLanczos3);
    img::ContributorList list;
    ASSERT_TRUE(list.build(0, 10, 1.0, lanczos, false, 1));
    std::vector<int> indices;
    for (int i = 0; i < list.count(); ++i)
        indices.push_back(list.entries()[i].index);
    EXPECT_EQ(indices, (std::vector<int>{3, 2, 1, 0, 1, 2, 3}));

    ASSERT_TRUE(list.build(9, 10, 1.0, lanczos, false, 1));
    indices.clear();
    for (int i = 0; i < list.count(); ++i)
        indices.push_back(list.entries()[i].index);
    EXPECT_EQ(indices, (std::vector<int>{6, 7, 8, 9, 9, 8, 7}));

    // Two samples under the sinc kernel's reach of four: everything stays on 0 or 1.
    ASSERT_TRUE(list.build(1, 2, 1.0, *img::filterAt(kSinc), true, 1));
    for (int i = 0; i < list.count(); ++i) {
        EXPECT_GE(list.entries()[i].index, 0);
        EXPECT_LE(list.entries()[i].index, 1);
    }
}
