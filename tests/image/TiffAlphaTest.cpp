// 32-bit TIFF output carries straight alpha, as every other format's does, whether the file
// stores its alpha unassociated or premultiplied.
#include "LeakCheck.h"
#include "TiffTestRead.h"
#include "TiffWriter.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <vector>

using testing_support::TiffPage;
using tiff_test::readBytes;
using tiff_test::Result;

namespace {

using Pixel = std::array<int, 4>; // red, green, blue, alpha; grey pages store red and alpha

struct Case {
    const char* what;
    std::uint16_t extraSample;
    std::uint16_t bits;
    std::uint16_t planar;
    bool grey;
    std::vector<Pixel> stored;
    std::vector<Pixel> expected;
};

// One row of the stored pixels, 16-bit samples as v x 257 so that they reduce back to v.
TiffPage page(const Case& k) {
    TiffPage p;
    p.width = static_cast<std::uint32_t>(k.stored.size());
    p.bitsPerSample = k.bits;
    p.samplesPerPixel = k.grey ? 2 : 4;
    p.photometric = k.grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB;
    p.planar = k.planar;
    p.extraSamples = {k.extraSample};
    const int samples = p.samplesPerPixel;
    const bool separate = k.planar == PLANARCONFIG_SEPARATE;
    const std::size_t bytes = k.bits / 8;
    p.pixels.assign(k.stored.size() * samples * bytes, 0);
    for (std::size_t x = 0; x < k.stored.size(); ++x)
        for (int s = 0; s < samples; ++s) {
            const int v = k.stored[x][k.grey && s == 1 ? 3 : s];
            const std::size_t at = separate ? s * k.stored.size() + x : x * samples + s;
            if (bytes == 2) {
                const auto w = static_cast<std::uint16_t>(v * 257);
                std::memcpy(&p.pixels[at * 2], &w, 2);
            } else {
                p.pixels[at] = static_cast<std::uint8_t>(v);
            }
        }
    return p;
}

class TiffAlphaTest : public testing_support::LeakCheckedTest {};

TEST_F(TiffAlphaTest, ThirtyTwoBitPixelsAreStraight) {
    constexpr auto contig = PLANARCONFIG_CONTIG;
    constexpr auto separate = PLANARCONFIG_SEPARATE;
    constexpr auto unassociated = EXTRASAMPLE_UNASSALPHA;
    constexpr auto associated = EXTRASAMPLE_ASSOCALPHA;
    // Alpha 0 and 1 keep colours that no premultiplied value could give back.
    const std::vector<Pixel> straight = {
        {2, 80, 200, 128}, {2, 80, 200, 0}, {2, 80, 200, 1}, {2, 80, 200, 255}, {255, 0, 7, 254}};
    // (10, 100, 250) under alpha 51 premultiplies exactly; a colour above its alpha is clamped.
    const std::vector<Pixel> premultiplied = {
        {2, 20, 50, 51}, {0, 0, 0, 0}, {1, 1, 0, 1}, {40, 100, 200, 255}, {200, 10, 0, 100}};
    const std::vector<Pixel> recovered = {
        {10, 100, 250, 51}, {0, 0, 0, 0}, {255, 255, 0, 1}, {40, 100, 200, 255}, {255, 26, 0, 100}};
    const Case cases[] = {
        {"unassociated", unassociated, 8, contig, false, straight, straight},
        {"unassociated, planes", unassociated, 8, separate, false, straight, straight},
        {"unassociated, 16 bits", unassociated, 16, contig, false, straight, straight},
        {"unassociated, 16-bit planes", unassociated, 16, separate, false, straight, straight},
        {"associated", associated, 8, contig, false, premultiplied, recovered},
        {"associated, planes", associated, 8, separate, false, premultiplied, recovered},
        {"associated, 16 bits", associated, 16, contig, false, premultiplied, recovered},
        {"unspecified extra sample", EXTRASAMPLE_UNSPECIFIED, 8, contig, false, straight, straight},
        {"grey, unassociated",
         unassociated,
         8,
         contig,
         true,
         {{90, 0, 0, 128}, {90, 0, 0, 1}},
         {{90, 90, 90, 128}, {90, 90, 90, 1}}},
        {"grey, associated",
         associated,
         8,
         contig,
         true,
         {{50, 0, 0, 128}, {0, 0, 0, 0}},
         {{100, 100, 100, 128}, {0, 0, 0, 0}}},
    };
    for (const Case& k : cases) {
        const testing_support::Bytes file = testing_support::writeTiff(page(k));
        for (const int flags : {0, IMG_FLAG_DIB}) {
            const Result r = readBytes(file, 32, flags);
            ASSERT_NE(r.pixels, nullptr) << k.what << ": status " << r.status;
            ASSERT_EQ(r.width, static_cast<int>(k.expected.size())) << k.what;
            const BYTE* px = r.pixels + (flags == 0 ? 0 : 40);
            for (std::size_t x = 0; x < k.expected.size(); ++x, px += 4) {
                // A packed DIB holds blue first.
                const Pixel got = flags == 0 ? Pixel{px[0], px[1], px[2], px[3]}
                                             : Pixel{px[2], px[1], px[0], px[3]};
                EXPECT_EQ(got, k.expected[x]) << k.what << ", flags " << flags << ", pixel " << x;
            }
        }
    }
}

// Without alpha in the output the colours stay composed over black, as before.
TEST_F(TiffAlphaTest, TwentyFourBitPixelsStayComposedOverBlack) {
    const Case k{"unassociated",
                 EXTRASAMPLE_UNASSALPHA,
                 8,
                 PLANARCONFIG_CONTIG,
                 false,
                 {{2, 80, 200, 128}, {2, 80, 200, 255}},
                 {}};
    const Result r = readBytes(testing_support::writeTiff(page(k)), 24, 0);
    ASSERT_NE(r.pixels, nullptr) << r.status;
    const std::vector<int> got(r.pixels, r.pixels + 6);
    EXPECT_EQ(got, (std::vector<int>{1, 40, 100, 2, 80, 200}));
}

} // namespace
