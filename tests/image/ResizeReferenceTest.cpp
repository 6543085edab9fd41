// Every resizer and every filter kernel against a plain reference of their arithmetic: loops and
// doubles one destination sample at a time, nothing tabulated, grouped or vectorised, written
// from the rules rather than from the library's code.
#include "LeakCheck.h"
#include "PixelNoise.h"
#include "VectorUnits.h"
#include "imgcore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::LeakCheckedTest;
using Pixels = std::vector<BYTE>;

namespace {

// ---- The reference ----

struct Image {
    std::uint32_t w, h, rowBytes, bpp; // bpp 0: one bit per pixel
    Pixels px;
    BYTE get(std::int64_t x, std::int64_t y, std::uint32_t k) const {
        return px.at(static_cast<std::size_t>(y * rowBytes + x * bpp + k));
    }
    BYTE& put(std::int64_t x, std::int64_t y, std::uint32_t k) {
        return px.at(static_cast<std::size_t>(y * rowBytes + x * bpp + k));
    }
    bool sameShape(const Image& d) const { return w == d.w && h == d.h && rowBytes == d.rowBytes; }
};

int roundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// The bilinear steps are shortened when enlarging.
double blendStep(std::uint32_t from, std::uint32_t to) {
    const double plain = static_cast<double>(from) / to;
    return from < to ? (from - plain) / to : plain;
}

struct Blend {
    std::int64_t x0, x1, y0, y1;
    double u, v;
};

Blend blendAt(const Image& s, const Image& d, std::uint32_t x, std::uint32_t y) {
    const double fx = x * blendStep(s.w, d.w), fy = y * blendStep(s.h, d.h);
    const double ix = std::trunc(fx), iy = std::trunc(fy);
    const auto lastX = static_cast<std::int64_t>(s.w) - 1,
               lastY = static_cast<std::int64_t>(s.h) - 1;
    const std::int64_t x0 = std::min(static_cast<std::int64_t>(ix), lastX);
    const std::int64_t y0 = std::min(static_cast<std::int64_t>(iy), lastY);
    return {x0, std::min(x0 + 1, lastX), y0, std::min(y0 + 1, lastY), fx - ix, fy - iy};
}

void bilinear(const Image& s, Image& d) {
    for (std::uint32_t y = 0; y < d.h; ++y)
        for (std::uint32_t x = 0; x < d.w; ++x) {
            const Blend b = blendAt(s, d, x, y);
            const double u = b.u, v = b.v;
            for (std::uint32_t k = 0; k < s.bpp; ++k)
                d.put(x, y, k) = static_cast<BYTE>(roundHalfEven(
                    u * v * s.get(b.x1, b.y1, k) + (1 - u) * v * s.get(b.x0, b.y1, k) +
                    u * (1 - v) * s.get(b.x1, b.y0, k) + (1 - u) * (1 - v) * s.get(b.x0, b.y0, k)));
        }
}

void nearest(const Image& s, Image& d) {
    for (std::uint32_t y = 0; y < d.h; ++y)
        for (std::uint32_t x = 0; x < d.w; ++x)
            for (std::uint32_t k = 0; k < s.bpp; ++k)
                d.put(x, y, k) =
                    s.get(std::uint64_t{x} * s.w / d.w, std::uint64_t{y} * s.h / d.h, k);
}

// The cubic convolution indices of a position p along n samples: two before, two after.
void cubicIndices(double p, std::int64_t n, std::int64_t out[4]) {
    const auto i = static_cast<std::int64_t>(std::trunc(p));
    out[0] = p < 1 ? 0 : i - 1;
    out[1] = p >= n - 1 ? n - 1 : i;
    out[2] = p >= n - 2 ? out[1] : i + 1;
    out[3] = p >= n - 3 ? out[2] : i + 2;
}

void bicubic(const Image& s, Image& d) {
    const auto a = [](double t) { return -t * (1 - t) * (1 - t); };
    const auto b = [](double t) { return 1 - 2 * t * t + t * t * t; };
    const auto c = [](double t) { return t * (1 + t - t * t); };
    const auto dd = [](double t) { return t * t * (1 - t); };
    const auto e = [](double t) { return t * t * (t - 1); };
    for (std::uint32_t y = 0; y < d.h; ++y) {
        const double q = y * (static_cast<double>(s.h) / d.h);
        const double sf = q - std::trunc(q);
        std::int64_t r[4];
        cubicIndices(q, s.h, r);
        for (std::uint32_t x = 0; x < d.w; ++x) {
            const double p = std::clamp(x * (static_cast<double>(s.w) / d.w), 0.0, s.w - 1.0);
            const double t = p - std::trunc(p);
            std::int64_t col[4];
            cubicIndices(p, s.w, col);
            for (std::uint32_t k = 0; k < s.bpp; ++k) {
                double across[4];
                for (int j = 0; j < 4; ++j)
                    across[j] = s.get(col[0], r[j], k) * a(t) + s.get(col[1], r[j], k) * b(t) +
                                s.get(col[2], r[j], k) * c(t) - s.get(col[3], r[j], k) * dd(t);
                const int v = roundHalfEven(across[3] * e(sf) + across[2] * c(sf) +
                                            across[1] * b(sf) + across[0] * a(sf));
                d.put(x, y, k) = static_cast<BYTE>(std::clamp(v, 0, 255));
            }
        }
    }
}

void boxAverage(const Image& s, Image& d) {
    const double sx = static_cast<double>(s.w) / d.w, sy = static_cast<double>(s.h) / d.h;
    const auto n = static_cast<std::uint32_t>(std::min(std::trunc(sx), std::trunc(sy)));
    double down = 0;
    for (std::uint32_t y = 0; y < d.h; ++y, down += sy) {
        double across = 0;
        for (std::uint32_t x = 0; x < d.w; ++x, across += sx)
            for (std::uint32_t k = 0; k < s.bpp; ++k) {
                std::uint32_t sum = 0;
                for (std::uint32_t j = 0; j < n; ++j)
                    for (std::uint32_t i = 0; i < n; ++i)
                        sum += s.get(static_cast<std::int64_t>(across) + i,
                                     static_cast<std::int64_t>(down) + j, k);
                d.put(x, y, k) = static_cast<BYTE>(sum / (n * n));
            }
    }
}

// The samples that destination entry i covers at step `step` over n source samples, each
// with its weight, and the span's total weight.
struct Span {
    std::int64_t first;
    std::vector<double> weights;
    double total;
};

Span areaSpan(std::uint32_t i, double step, std::uint32_t n, bool rows) {
    const double start = i * step;
    double end = start + step;
    if (std::fabs(end - std::round(end)) <= 1e-9 * n) end = std::round(end);
    const auto first = static_cast<std::int64_t>(std::trunc(start));
    // The first sample past the end, and never past the source. (A nudge of 0.99999999999
    // towards the next integer says the same until 2^17, where it rounds a whole integer up.)
    const std::int64_t endIndex =
        std::min<std::int64_t>(static_cast<std::int64_t>(std::ceil(end)), n);
    const double firstWeight = 1 - (start - first);
    double lastWeight = end - std::trunc(end);
    if (lastWeight == 0) lastWeight = 1.0;
    Span span{first, {}, (endIndex - first - 2) + lastWeight + firstWeight};
    const std::int64_t count = endIndex - first;
    for (std::int64_t j = 0; j < count; ++j)
        span.weights.push_back(count == 1       ? (rows ? firstWeight : 1.0)
                               : j == 0         ? firstWeight
                               : j == count - 1 ? lastWeight
                                                : 1.0);
    return span;
}

// The weighted area average of every channel of destination (x, y), sample(column, row, k)
// giving the source value.
template <class Sample>
std::vector<BYTE> areaAt(const Image& s, const Image& d, std::uint32_t x, std::uint32_t y,
                         std::uint32_t channels, Sample sample) {
    const Span col = areaSpan(x, static_cast<double>(s.w) / d.w, s.w, false);
    const Span row = areaSpan(y, static_cast<double>(s.h) / d.h, s.h, true);
    double rowSum = 0;
    for (double w : row.weights)
        rowSum += w;
    std::vector<BYTE> out;
    for (std::uint32_t k = 0; k < channels; ++k) {
        double sum = 0;
        for (std::size_t r = 0; r < row.weights.size(); ++r)
            for (std::size_t c = 0; c < col.weights.size(); ++c)
                sum += row.weights[r] * col.weights[c] * sample(col.first + c, row.first + r, k);
        out.push_back(static_cast<BYTE>(static_cast<int>(sum * (1 / (col.total * rowSum)))));
    }
    return out;
}

void areaAverage(const Image& s, Image& d) {
    for (std::uint32_t y = 0; y < d.h; ++y)
        for (std::uint32_t x = 0; x < d.w; ++x) {
            const auto v =
                areaAt(s, d, x, y, s.bpp, [&](auto c, auto r, auto k) { return s.get(c, r, k); });
            for (std::uint32_t k = 0; k < s.bpp; ++k)
                d.put(x, y, k) = v[k];
        }
}

// The paletted resizers run on the grey palette (entry i is i, i, i), where the colour
// matched back is the blended grey itself: the test is of the blending, not the matching.
void areaAverageGrey(const Image& s, Image& d) {
    for (std::uint32_t y = 0; y < d.h; ++y)
        for (std::uint32_t x = 0; x < d.w; ++x)
            d.put(x, y, 0) =
                areaAt(s, d, x, y, 1, [&](auto c, auto r, auto) { return s.get(c, r, 0); })[0];
}

void bilinearGrey(const Image& s, Image& d) {
    for (std::uint32_t y = 0; y < d.h; ++y)
        for (std::uint32_t x = 0; x < d.w; ++x) {
            const Blend b = blendAt(s, d, x, y);
            const double u = b.u, v = b.v;
            d.put(x, y, 0) = static_cast<BYTE>(roundHalfEven(
                (1 - u) * (1 - v) * s.get(b.x0, b.y0, 0) + u * (1 - v) * s.get(b.x1, b.y0, 0) +
                (1 - u) * v * s.get(b.x0, b.y1, 0) + u * v * s.get(b.x1, b.y1, 0)));
        }
}

bool bitAt(const Image& img, std::int64_t x, std::int64_t y) {
    return (img.px.at(static_cast<std::size_t>(y * img.rowBytes + x / 8)) >> (7 - x % 8)) & 1;
}

void oneBit(const Image& s, Image& d) {
    for (std::uint32_t y = 0; y < d.h; ++y)
        for (std::uint32_t x = 0; x < d.w; ++x) {
            const Blend b = blendAt(s, d, x, y);
            const double u = b.u, v = b.v;
            const double value =
                bitAt(s, b.x1, b.y1) * (u * v) + bitAt(s, b.x0, b.y1) * ((1 - u) * v) +
                bitAt(s, b.x1, b.y0) * (u * (1 - v)) + bitAt(s, b.x0, b.y0) * ((1 - u) * (1 - v));
            BYTE& byte = d.px.at(y * d.rowBytes + x / 8);
            const BYTE mask = static_cast<BYTE>(0x80 >> (x % 8));
            byte = value > 0.5 ? byte | mask : byte & ~mask;
        }
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kSupport[14] = {0.5, 1, 1, 1.25, 1.5, 2, 1, 2, 3, 2, 4, 1, 1, 2};

double sinc(double x) {
    return kPi * x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
}

double kernel(int filter, double x) {
    const double a = std::fabs(x);
    switch (filter) {
    case 0:
        return x > -0.5 && x <= 0.5 ? 1 : 0;
    case 1:
        return a < 1 ? 1 - a : 0;
    case 2:
        return 0.54 + 0.46 * std::cos(kPi * x);
    case 3:
        return std::exp(-2 * x * x) * std::sqrt(2 / kPi);
    case 4:
        return a < 0.5 ? 0.75 - x * x : a < 1.5 ? 0.5 * (a - 1.5) * (a - 1.5) : 0;
    case 5:
    case 7:
        return a < 1   ? 0.5 * a * a * a - x * x + 2.0 / 3
               : a < 2 ? (2 - a) * (2 - a) * (2 - a) / 6
                       : 0;
    case 6:
    case 11:
        return a < 1 ? 2 * a * a * a - 3 * x * x + 1 : 0;
    case 8:
        return x == 0 ? 1 : a < 3 ? sinc(a) * sinc(a / 3) : 0;
    case 9:
        return a < 1   ? (7 * a * a * a - 12 * x * x + 16.0 / 3) / 6
               : a < 2 ? (-(7.0 / 3) * a * a * a + 12 * x * x - 20 * a + 32.0 / 3) / 6
                       : 0;
    case 10:
        return sinc(x);
    case 12:
        return 0.5 * (std::cos(kPi * x) + 1);
    default:
        return a < 1   ? (3 * a * a * a - 5 * x * x + 2) / 2
               : a < 2 ? (-a * a * a + 5 * x * x - 8 * a + 4) / 2
                       : 0;
    }
}

struct Tap {
    std::int64_t index;
    double weight;
};

std::vector<Tap> contributors(int filter, std::uint32_t i, std::uint32_t n, double scale) {
    const bool shrinking = scale < 1;
    const double width = shrinking ? kSupport[filter] * (1 / scale) : kSupport[filter];
    const double center = shrinking ? i * (1 / scale) : i / scale;
    std::vector<Tap> taps;
    double sum = 0;
    for (double j = std::ceil(center - width); j <= std::floor(center + width); ++j) {
        const double w =
            shrinking ? kernel(filter, (center - j) * scale) * scale : kernel(filter, center - j);
        auto index = static_cast<std::int64_t>(j < 0 ? -j : j >= n ? 2.0 * n - j - 1 : j);
        // Mirrored once; a source narrower than the kernel's reach is then held at its edge.
        index = std::clamp<std::int64_t>(index, 0, n - 1);
        taps.push_back({index, w});
        sum += w;
    }
    if (sum != 0)
        for (Tap& t : taps)
            t.weight *= 1 / sum;
    return taps;
}

template <class Sample> BYTE filtered(const std::vector<Tap>& taps, Sample sample) {
    const BYTE c = sample(taps[0].index);
    bool flat = true;
    double x = 0;
    for (const Tap& t : taps) {
        x += t.weight * sample(t.index);
        flat = flat && sample(t.index) == c;
    }
    if (taps.size() < 2 || flat) return c;
    const double r = x > 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    return static_cast<BYTE>(std::clamp(r, 0.0, 255.0));
}

int resampled(const Image& s, Image& d, int filter) {
    const auto reach = static_cast<std::uint32_t>(kSupport[filter] + 0.999999999);
    if (d.w < reach || d.h < reach) return 68;
    Pixels column(static_cast<std::size_t>(s.h) * s.bpp);
    for (std::uint32_t x = 0; x < d.w; ++x) {
        const auto across = contributors(filter, x, s.w, static_cast<double>(d.w) / s.w);
        for (std::uint32_t y = 0; y < s.h; ++y)
            for (std::uint32_t k = 0; k < s.bpp; ++k)
                column[y * s.bpp + k] =
                    filtered(across, [&](std::int64_t j) { return s.get(j, y, k); });
        for (std::uint32_t y = 0; y < d.h; ++y) {
            const auto down = contributors(filter, y, s.h, static_cast<double>(d.h) / s.h);
            for (std::uint32_t k = 0; k < s.bpp; ++k)
                d.put(x, y, k) =
                    filtered(down, [&](std::int64_t j) { return column.at(j * s.bpp + k); });
        }
    }
    return 0;
}

// ---- The table ----

struct Resizer {
    const char* name;
    bool shrinkOnly, indexed, bits;
    std::function<int(const Image&, Image&)> library;
    std::function<void(const Image&, Image&)> reference;
};

std::vector<RGBQUAD> greyPalette() {
    std::vector<RGBQUAD> p(256);
    for (int i = 0; i < 256; ++i)
        p[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return p;
}

int ints(std::uint32_t v) {
    return static_cast<int>(v);
}

std::vector<Resizer> resizers(const std::vector<RGBQUAD>& grey) {
    using R = std::function<int(const BYTE*, int, int, int, BYTE*, int, int, int, int)>;
    const auto plain = [](R call) {
        return [call](const Image& s, Image& d) {
            return call(s.px.data(), ints(s.w), ints(s.h), ints(s.rowBytes), d.px.data(), ints(d.w),
                        ints(d.h), ints(d.rowBytes), ints(s.bpp));
        };
    };
    const auto shortcut = [](void (*rule)(const Image&, Image&)) {
        return [rule](const Image& s, Image& d) {
            if (s.sameShape(d))
                d.px = s.px;
            else
                rule(s, d);
        };
    };
    const RGBQUAD* palette = grey.data();
    return {
        {"bilinear", false, false, false, plain(resizeRGBVariantA), shortcut(bilinear)},
        {"nearest", false, false, false, plain(resizeRGBVariantB), shortcut(nearest)},
        {"bicubic", false, false, false, plain(resizeRGBVariantC), shortcut(bicubic)},
        {"box average", true, false, false,
         plain([](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr, int bpp) {
             return resizeRGBAreaAverage(s, sw, sh, sr, d, dw, dh, dr, bpp, 0);
         }),
         boxAverage},
        {"area average", true, false, false,
         plain([](const BYTE* s, int sw, int sh, int sr, BYTE* d, int dw, int dh, int dr, int bpp) {
             return resizeRGBAreaAverage(s, sw, sh, sr, d, dw, dh, dr, bpp, 1);
         }),
         areaAverage},
        {"palette blend", false, true, false,
         [palette](const Image& s, Image& d) {
             return resize8BitPalette(s.px.data(), ints(s.w), ints(s.h), ints(s.rowBytes),
                                      d.px.data(), ints(d.w), ints(d.h), ints(d.rowBytes), 256,
                                      palette);
         },
         shortcut(bilinearGrey)},
        {"palette average", true, true, false,
         [palette](const Image& s, Image& d) {
             return resize8BitAreaAverage(s.px.data(), ints(s.w), ints(s.h), ints(s.rowBytes),
                                          d.px.data(), ints(d.w), ints(d.h), ints(d.rowBytes),
                                          palette, 256, 0);
         },
         areaAverageGrey},
        {"one bit", false, false, true,
         [](const Image& s, Image& d) {
             return resize1Bit(s.px.data(), ints(s.w), ints(s.h), ints(s.rowBytes), d.px.data(),
                               ints(d.w), ints(d.h), ints(d.rowBytes));
         },
         oneBit},
    };
}

bool isBox(const Resizer& r) {
    return std::string(r.name) == "box average";
}

struct Shape {
    std::uint32_t sw, sh, dw, dh, srcPad, dstPad;
};

// 1 x 1, 1 x N, N x 1, up, down, mixed, equal sides, padded strides.
const Shape kShapes[] = {
    {1, 1, 1, 1, 0, 0},
    {1, 1, 5, 3, 0, 2},
    {1, 7, 3, 4, 1, 0},
    {1, 6, 1, 2, 0, 0},
    {9, 1, 4, 1, 0, 3},
    {7, 1, 6, 1, 0, 0},
    {2, 1, 4, 1, 0, 0},
    {5, 4, 13, 9, 0, 0},
    {23, 17, 7, 5, 2, 1},
    {17, 5, 6, 11, 3, 0},
    {12, 9, 12, 4, 0, 0},
    {8, 8, 8, 8, 4, 4},
    {3, 2, 9, 2, 0, 1},
    {40, 31, 9, 8, 0, 0},
    {4, 4, 3, 3, 1, 1},
    // Larger, with whole groups of four for the side-by-side sums.
    {61, 47, 17, 13, 0, 0},
    {23, 19, 61, 40, 0, 0},
    {53, 41, 29, 37, 0, 0},
    {10, 41, 30, 13, 0, 0},
    {61, 47, 29, 50, 0, 0},
};

Image blank(std::uint32_t w, std::uint32_t h, std::uint32_t bpp, std::uint32_t pad) {
    const std::uint32_t rowBytes = (bpp == 0 ? (w + 7) / 8 : w * bpp) + pad;
    return Image{w, h, rowBytes, bpp, Pixels(static_cast<std::size_t>(rowBytes) * h, 0xA5)};
}

Image noisy(std::uint32_t w, std::uint32_t h, std::uint32_t bpp, std::uint32_t pad,
            std::uint32_t seed) {
    Image img = blank(w, h, bpp, pad);
    img.px = testing_support::noise(img.px.size(), seed);
    return img;
}

std::string describe(const char* name, const Shape& z, std::uint32_t bpp, bool vectors) {
    return std::string(name) + " " + std::to_string(z.sw) + "x" + std::to_string(z.sh) + " to " +
           std::to_string(z.dw) + "x" + std::to_string(z.dh) + ", " + std::to_string(bpp) +
           " bytes, pads " + std::to_string(z.srcPad) + "/" + std::to_string(z.dstPad) +
           (vectors ? ", vectors" : ", plain");
}

} // namespace

class ResizeReferenceTest : public LeakCheckedTest {
protected:
    void TearDown() override {
        img::allowVectorUnits(true);
        LeakCheckedTest::TearDown();
    }
};

TEST_F(ResizeReferenceTest, EveryResizerMatchesTheReference) {
    const auto grey = greyPalette();
    std::uint32_t seed = 1;
    for (bool vectors : {true, false}) {
        img::allowVectorUnits(vectors);
        for (const Resizer& r : resizers(grey)) {
            for (const Shape& z : kShapes) {
                if (r.shrinkOnly && (z.dw > z.sw || z.dh > z.sh)) continue;
                // The box average copies equal sizes row by row, which the copy tests cover.
                if (isBox(r) && z.sw == z.dw && z.sh == z.dh) continue;
                const std::uint32_t widest = r.indexed ? 1 : r.bits ? 0 : 5;
                for (std::uint32_t bpp = r.bits ? 0 : 1; bpp <= widest; ++bpp) {
                    SCOPED_TRACE(describe(r.name, z, bpp, vectors));
                    const Image src = noisy(z.sw, z.sh, bpp, z.srcPad, ++seed);
                    Image got = blank(z.dw, z.dh, bpp, z.dstPad), want = got;
                    ASSERT_EQ(r.library(src, got), 1);
                    r.reference(src, want);
                    ASSERT_EQ(got.px, want.px);
                }
            }
        }
    }
}

TEST_F(ResizeReferenceTest, EveryKernelMatchesTheReference) {
    std::uint32_t seed = 100;
    for (bool vectors : {true, false}) {
        img::allowVectorUnits(vectors);
        for (int filter = 0; filter < 14; ++filter) {
            for (const Shape& z : kShapes) {
                for (std::uint32_t bpp = 1; bpp <= 5; ++bpp) {
                    SCOPED_TRACE("filter " + std::to_string(filter) + ", " +
                                 describe("", z, bpp, vectors));
                    const Image src = noisy(z.sw, z.sh, bpp, z.srcPad, ++seed);
                    Image got = blank(z.dw, z.dh, bpp, z.dstPad), want = got;
                    const int result = resizeFiltered(
                        src.px.data(), ints(src.w), ints(src.h), ints(src.rowBytes), got.px.data(),
                        ints(got.w), ints(got.h), ints(got.rowBytes), ints(bpp), filter);
                    const int code = resampled(src, want, filter);
                    ASSERT_EQ(result, code == 0 ? 1 : 0);
                    ASSERT_EQ(getLastError(), code);
                    ASSERT_EQ(got.px, want.px);
                }
            }
        }
    }
}

TEST_F(ResizeReferenceTest, LongRowsKeepTheirLastColumn) {
    // 70001 to 70000: the last span reaches past the source before it is limited; the row
    // (0, ..., 0, 255) from 7 to 6 has a span end a few ulps above 7; spans that end on an
    // integer from 2^17 on must not take the next whole column.
    const auto grey = greyPalette();
    const Shape shapes[] = {{70001, 1, 70000, 1, 0, 0},
                            {1, 70001, 1, 70000, 0, 0},
                            {7, 1, 6, 1, 0, 0},
                            {1u << 18, 1, 1u << 17, 1, 0, 0}};
    for (bool vectors : {true, false}) {
        img::allowVectorUnits(vectors);
        for (const Resizer& r : resizers(grey)) {
            if (!r.shrinkOnly || isBox(r)) continue;
            for (const Shape& z : shapes) {
                for (std::uint32_t bpp : {1u, 3u}) {
                    if (r.indexed && bpp != 1) continue;
                    SCOPED_TRACE(describe(r.name, z, bpp, vectors));
                    Image src = noisy(z.sw, z.sh, bpp, 0, 9);
                    if (z.sw == 7) {
                        std::fill(src.px.begin(), src.px.end(), 0);
                        std::fill(src.px.end() - bpp, src.px.end(), 255);
                    }
                    Image got = blank(z.dw, z.dh, bpp, 0), want = got;
                    ASSERT_EQ(r.library(src, got), 1);
                    r.reference(src, want);
                    ASSERT_EQ(got.px, want.px);
                    if (z.sw == 7) {
                        EXPECT_EQ(got.px.back(), 218);
                    }
                }
            }
        }
    }
}
