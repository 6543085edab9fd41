// AlphaBlend records in loadMetafile's pictures: over a picture near the largest device bitmap,
// what the call holds beyond the device bitmap and the returned image stays small; and however
// the target is cut up for blending, every pixel shows the source pixel under its centre
// blended over the background.
#include "GdiCheck.h"
#include "LargePictureCheck.h"
#include "LittleEndian.h"
#include "MetafileWriter.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr COLORREF kBackground = RGB(12, 34, 56);
constexpr std::uint32_t kSourceAlpha = 0x01000000u; // AC_SRC_ALPHA in the blend function
constexpr int kConstantAlpha = 204;

// A source of 3 x 3 premultiplied pixels, top row first: opaque, half, clear, a quarter...
constexpr int kSourceSide = 3;
constexpr std::uint32_t kSource[kSourceSide][kSourceSide] = {
    {0xFFFF0000u, 0x80008000u, 0x00000000u},
    {0x40000040u, 0xFF00FF00u, 0xC0C0C000u},
    {0x20101010u, 0xFF0000FFu, 0x80808080u}};

class MetafileAlphaBlendCost : public GdiLeakCheckedTest {};

// Where the record puts the source, in the picture's pixels: a negative size mirrors.
struct Dest {
    LONG x, y, width, height;
};

// An AlphaBlend of the whole source onto `d`.
Bytes alphaBlendBody(const Dest& d) {
    constexpr std::uint32_t kFieldBytes = 8 + 100; // type, size and the fields below
    constexpr std::uint32_t kHeaderBytes = 40;
    constexpr std::uint32_t kRowBytes = 4 * kSourceSide;
    Bytes b(16, 0); // bounds
    for (LONG v : {d.x, d.y, d.width, d.height})
        appendU32Le(b, static_cast<std::uint32_t>(v));
    appendU32Le(b, kSourceAlpha | kConstantAlpha << 16);
    appendU32Le(b, 0); // source x, y
    appendU32Le(b, 0);
    for (std::uint32_t v : {0x3F800000u, 0u, 0u, 0x3F800000u, 0u, 0u}) // identity, as floats
        appendU32Le(b, v);
    appendU32Le(b, 0); // background colour
    appendU32Le(b, 0); // DIB_RGB_COLORS
    appendU32Le(b, kFieldBytes);
    appendU32Le(b, kHeaderBytes);
    appendU32Le(b, kFieldBytes + kHeaderBytes);
    appendU32Le(b, kRowBytes * kSourceSide);
    appendU32Le(b, kSourceSide); // source width, height
    appendU32Le(b, kSourceSide);
    for (std::uint32_t v : {kHeaderBytes, std::uint32_t{kSourceSide}, std::uint32_t{kSourceSide},
                            0x00200001u, 0u, kRowBytes * kSourceSide, 0u, 0u, 0u, 0u})
        appendU32Le(b, v);
    for (int row = kSourceSide - 1; row >= 0; --row) // bottom-up
        for (int col = 0; col < kSourceSide; ++col)
            appendU32Le(b, kSource[row][col]);
    return b;
}

// A reference device of one pixel per frame unit, so that logical units are the picture's pixels.
Bytes blendedPicture(LONG width, LONG height, const Dest& d) {
    EmfWriter w({0, 0, width, height}, {1000, 1000}, {10, 10});
    w.raw(kEmfAlphaBlend, alphaBlendBody(d));
    return w.bytes();
}

// A premultiplied pixel weighted by the constant alpha, over `under`.
COLORREF blended(std::uint32_t argb, COLORREF under) {
    const int alpha = static_cast<int>(argb >> 24) * kConstantAlpha / 255;
    const auto channel = [&](int source, int destination) {
        return static_cast<BYTE>(
            std::min(255, source * kConstantAlpha / 255 + destination * (255 - alpha) / 255));
    };
    return RGB(channel(static_cast<int>((argb >> 16) & 0xFF), GetRValue(under)),
               channel(static_cast<int>((argb >> 8) & 0xFF), GetGValue(under)),
               channel(static_cast<int>(argb & 0xFF), GetBValue(under)));
}

std::int64_t floorDiv(std::int64_t n, std::int64_t d) {
    const std::int64_t q = n / d;
    return (n % d != 0 && (n < 0) != (d < 0)) ? q - 1 : q;
}

// The source pixel under the centre of target pixel `p` of the span from `from` over `size`.
int sourceIndex(LONG p, LONG from, LONG size) {
    const std::int64_t i = floorDiv((2 * (std::int64_t{p} - from) + 1) * kSourceSide, 2 * size);
    return static_cast<int>(std::clamp<std::int64_t>(i, 0, kSourceSide - 1));
}

bool within(LONG p, LONG from, LONG size) {
    return size > 0 ? p >= from && p < from + size : p >= from + size && p < from;
}

COLORREF expectedAt(LONG x, LONG y, const Dest& d) {
    if (!within(x, d.x, d.width) || !within(y, d.y, d.height)) return kBackground;
    return blended(kSource[sourceIndex(y, d.y, d.height)][sourceIndex(x, d.x, d.width)],
                   kBackground);
}

COLORREF pixelOf(const BYTE* image, int width, LONG x, LONG y) {
    const BYTE* p = image + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
    return RGB(p[0], p[1], p[2]);
}

// The middle of each ninth of the picture, and its corners.
std::vector<POINT> probesOf(LONG width, LONG height) {
    std::vector<POINT> out;
    for (int row = 0; row < kSourceSide; ++row)
        for (int col = 0; col < kSourceSide; ++col)
            out.push_back({static_cast<LONG>((2 * col + 1) * std::int64_t{width} / 6),
                           static_cast<LONG>((2 * row + 1) * std::int64_t{height} / 6)});
    for (const POINT corner : {POINT{0, 0}, POINT{width - 1, height - 1}})
        out.push_back(corner);
    return out;
}

} // namespace

TEST_F(MetafileAlphaBlendCost, ABlendOverEveryPixelCostsNoMoreThanTheBitmapAndTheImage) {
    struct Case {
        const char* name;
        LONG width, height;
    };
    const Case cases[] = {
        {"8191 x 8191", 8191, 8191},
        {"one column of 20,000,000 rows", 1, 20000000},
        {"one row of 20,000,000 pixels", 20000000, 1},
    };
    for (const Case& c : cases) {
        const Dest whole{0, 0, c.width, c.height};
        const TempFile file(blendedPicture(c.width, c.height, whole), ".emf");
        std::vector<Probe> probes;
        for (const POINT p : probesOf(c.width, c.height))
            probes.push_back({p, expectedAt(p.x, p.y, whole)});
        expectHeldToItsBitmapAndImage(file.path(), c.name, c.width, c.height, kBackground, probes);
    }
}

// Blends mirrored and partly outside the picture, over areas of several hundred thousand
// pixels: wherever one piece of the blend meets the next, no pixel is lost or shifted.
TEST_F(MetafileAlphaBlendCost, EveryPixelShowsTheSourcePixelUnderItsCentre) {
    struct Case {
        const char* name;
        LONG width, height;
        Dest dest;
    };
    const Case cases[] = {
        {"square, mirrored across, past the top and bottom", 700, 1000, {630, -250, -630, 1500}},
        {"one row, mirrored both ways, short of the right", 300000, 1, {270000, 1, -270000, -1}},
        {"one column, mirrored down, short of the top", 1, 300000, {0, 300000, 1, -280000}},
        {"wide, past the left, upright", 5000, 120, {-700, 7, 5300, 100}},
    };
    for (const Case& c : cases) {
        const TempFile file(blendedPicture(c.width, c.height, c.dest), ".emf");
        int width = 0, height = 0;
        BYTE* image = loadMetafile(file.path().c_str(), &width, &height, 0, 0, kBackground, 0);
        ASSERT_NE(image, nullptr) << c.name << ": code " << getLastError();
        EXPECT_EQ(width, c.width) << c.name;
        EXPECT_EQ(height, c.height) << c.name;
        if (width == c.width && height == c.height) {
            std::size_t wrong = 0;
            for (LONG y = 0; y < c.height; ++y)
                for (LONG x = 0; x < c.width; ++x) {
                    const COLORREF got = pixelOf(image, width, x, y);
                    const COLORREF expected = expectedAt(x, y, c.dest);
                    if (got != expected && wrong++ == 0)
                        ADD_FAILURE() << c.name << ": first wrong pixel at " << x << "," << y
                                      << ": " << std::hex << got << " for " << expected;
                }
            EXPECT_EQ(wrong, 0u) << c.name;
        }
        GlobalFree(image);
    }
}
