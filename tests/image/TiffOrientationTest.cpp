// Every orientation tag value on every TIFF path, against where the tag's own definition puts
// each stored pixel.
#include "LeakCheck.h"
#include "TiffTestRead.h"
#include "TiffWriter.h"

#include <cstring>
#include <gtest/gtest.h>
#include <tiffio.h>

using testing_support::TiffPage;
using tiff_test::Result;

namespace {

constexpr int kW = 11, kH = 5;

enum Kind { Grey8, Rgb, Rgba, Bilevel, Grey16 };

int sample(int x, int y, int s) {
    return (x * 37 + y * 71 + s * 101 + 13) & 0xFF;
}
int bit(int x, int y) {
    return (x * 3 + y * 5) % 7 < 3 ? 1 : 0;
}
int word(int x, int y) {
    return (x * 4099 + y * 771 + 1) & 0xFFFF;
}

TiffPage page(Kind kind, int orientation) {
    TiffPage p;
    p.width = kW;
    p.height = kH;
    p.orientation = static_cast<std::uint16_t>(orientation);
    switch (kind) {
    case Grey8:
        break;
    case Rgb:
        p.samplesPerPixel = 3;
        p.photometric = PHOTOMETRIC_RGB;
        break;
    case Rgba:
        p.samplesPerPixel = 4;
        p.photometric = PHOTOMETRIC_RGB;
        p.extraSamples = {EXTRASAMPLE_UNASSALPHA};
        break;
    case Bilevel:
        p.bitsPerSample = 1;
        p.photometric = PHOTOMETRIC_MINISWHITE;
        break;
    case Grey16:
        p.bitsPerSample = 16;
        break;
    }
    const std::size_t rowBytes = testing_support::tiffRowBytes(p);
    p.pixels.assign(rowBytes * kH, 0);
    for (int y = 0; y < kH; ++y) {
        std::uint8_t* row = p.pixels.data() + rowBytes * y;
        for (int x = 0; x < kW; ++x) {
            if (kind == Bilevel) {
                if (bit(x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else if (kind == Grey16) {
                const auto v = static_cast<std::uint16_t>(word(x, y));
                std::memcpy(row + 2 * x, &v, 2);
            } else {
                for (int s = 0; s < p.samplesPerPixel; ++s)
                    row[x * p.samplesPerPixel + s] = static_cast<std::uint8_t>(sample(x, y, s));
            }
        }
    }
    return p;
}

// Where the tag puts stored column x of stored row y.
void shown(int orientation, int x, int y, int* X, int* Y) {
    switch (orientation) {
    case 2:
        *X = kW - 1 - x, *Y = y;
        break;
    case 3:
        *X = kW - 1 - x, *Y = kH - 1 - y;
        break;
    case 4:
        *X = x, *Y = kH - 1 - y;
        break;
    case 5:
        *X = y, *Y = x;
        break;
    case 6:
        *X = kH - 1 - y, *Y = x;
        break;
    case 7:
        *X = kH - 1 - y, *Y = kW - 1 - x;
        break;
    case 8:
        *X = y, *Y = kW - 1 - x;
        break;
    default:
        *X = x, *Y = y;
        break;
    }
}

struct Mode {
    const char* name;
    Kind kind;
    int bitsPerPixel;
    int flags;
};

std::size_t padded(int width, int bits) {
    return ((std::size_t(width) * bits + 31) >> 5) << 2;
}

// The displayed pixel (X, Y) of a result, as the samples the fixture stored.
std::vector<int> displayed(const Result& r, const Mode& m, int X, int Y) {
    const bool dib = (m.flags & IMG_FLAG_DIB) != 0;
    const BYTE* p = r.pixels;
    const int row = dib ? r.height - 1 - Y : Y;
    switch (m.kind) {
    case Grey8:
        if (m.bitsPerPixel == 24 && !dib) {
            const BYTE* px = p + (std::size_t(row) * r.width + X) * 3;
            return {px[0], px[1], px[2]};
        }
        return {(dib ? p + 1064 + row * padded(r.width, 8) : p + std::size_t(row) * r.width)[X]};
    case Rgb:
        if (dib) {
            const BYTE* px = p + 40 + row * padded(r.width, 24) + X * 3;
            return {px[2], px[1], px[0]};
        } else {
            const int bytes = m.bitsPerPixel / 8;
            const BYTE* px = p + (std::size_t(row) * r.width + X) * bytes;
            return {px[0], px[1], px[2]};
        }
    case Rgba: {
        const BYTE* px = (dib ? p + 40 : p) + (std::size_t(row) * r.width + X) * 4;
        return dib ? std::vector<int>{px[2], px[1], px[0], px[3]}
                   : std::vector<int>{px[0], px[1], px[2], px[3]};
    }
    case Bilevel: {
        const std::size_t stride = dib ? padded(r.width, 1) : (std::size_t(r.width) + 7) / 8;
        const BYTE* rowStart = (dib ? p + 48 : p) + row * stride;
        return {(rowStart[X / 8] >> (7 - X % 8)) & 1};
    }
    case Grey16: {
        std::uint16_t v;
        std::memcpy(&v, p + (std::size_t(row) * r.width + X) * 2, 2);
        return {v};
    }
    }
    return {};
}

std::vector<int> stored(const Mode& m, int x, int y) {
    switch (m.kind) {
    case Grey8:
        if (m.bitsPerPixel == 24 && (m.flags & IMG_FLAG_DIB) == 0)
            return {sample(x, y, 0), sample(x, y, 0), sample(x, y, 0)};
        return {sample(x, y, 0)};
    case Rgb:
        return {sample(x, y, 0), sample(x, y, 1), sample(x, y, 2)};
    case Rgba:
        return {sample(x, y, 0), sample(x, y, 1), sample(x, y, 2), sample(x, y, 3)};
    case Bilevel:
        return {bit(x, y)};
    case Grey16:
        return {word(x, y)};
    }
    return {};
}

} // namespace

class TiffOrientationTest : public testing_support::LeakCheckedTest {};

TEST_F(TiffOrientationTest, EveryTagValueOnEveryPathComesOutAsTheTagMeans) {
    const Mode modes[] = {
        {"8-bit", Grey8, 8, 0},
        {"8-bit DIB", Grey8, 8, IMG_FLAG_DIB},
        {"grey at 24", Grey8, 24, 0},
        {"24-bit", Rgb, 24, 0},
        {"24-bit DIB", Rgb, 24, IMG_FLAG_DIB},
        {"RGB at 32", Rgb, 32, 0},
        {"32-bit", Rgba, 32, 0},
        {"32-bit DIB", Rgba, 32, IMG_FLAG_DIB},
        {"1-bit", Bilevel, 1, 0},
        {"1-bit DIB", Bilevel, 1, IMG_FLAG_DIB},
        {"16-bit", Grey16, 16, 0},
        {"8-bit, tag ignored", Grey8, 8, 1},
        {"24-bit DIB, tag ignored", Rgb, 24, IMG_FLAG_DIB | 1},
        {"32-bit, tag ignored", Rgba, 32, 1},
        {"1-bit, tag ignored", Bilevel, 1, 1},
        {"16-bit, tag ignored", Grey16, 16, 1},
    };
    for (const Mode& m : modes) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(m.name) + ", orientation " + std::to_string(orientation));
            const Result r = tiff_test::readBytes(
                testing_support::writeTiff(page(m.kind, orientation)), m.bitsPerPixel, m.flags);
            ASSERT_EQ(r.status, 0);
            ASSERT_NE(r.pixels, nullptr);
            const int effective = (m.flags & 1) != 0 ? 1 : orientation;
            const bool turned = effective >= 5;
            ASSERT_EQ(r.width, turned ? kH : kW);
            ASSERT_EQ(r.height, turned ? kW : kH);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    int X = 0, Y = 0;
                    shown(effective, x, y, &X, &Y);
                    ASSERT_EQ(displayed(r, m, X, Y), stored(m, x, y))
                        << "stored (" << x << "," << y << ") shown at (" << X << "," << Y << ")";
                }
        }
    }
}
