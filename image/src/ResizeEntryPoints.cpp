// The resizing entry points: each names its resizer and runs it in the common frame.
#include "EntryFrame.h"
#include "Resizers.h"

using img::CDibConverter;
using img::SourcePixels;
using img::TargetPixels;

namespace {

SourcePixels sourceOf(const BYTE* pixels, int width, int height, int rowBytes) {
    return {pixels, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
            static_cast<std::uint32_t>(rowBytes)};
}

TargetPixels targetOf(BYTE* pixels, int width, int height, int rowBytes) {
    return {pixels, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
            static_cast<std::uint32_t>(rowBytes)};
}

// A negative palette count holds no entries; every index then reads as black.
unsigned entriesOf(int paletteCount) {
    return paletteCount > 0 ? static_cast<unsigned>(paletteCount) : 0;
}

// The frame shared by every resizer: negative sizes are refused before the resizer sees them.
template <class Resize> int runResize(std::initializer_list<int> sizes, Resize&& resize) {
    return img::frameW<CDibConverter>([&](CDibConverter& c) -> int {
        if (img::anyNegative(sizes)) return c.fail(img::kBadArgument);
        return resize(c);
    });
}

} // namespace

extern "C" {

int resizeRGBVariantA(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel) {
    return runResize(
        {srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes, bytesPerPixel},
        [&](CDibConverter& c) {
            return img::resizeBilinear(c, sourceOf(src, srcWidth, srcHeight, srcRowBytes),
                                       targetOf(dst, dstWidth, dstHeight, dstRowBytes),
                                       static_cast<std::uint32_t>(bytesPerPixel));
        });
}

int resizeRGBAreaAverage(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                         int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel,
                         int flags) {
    return runResize(
        {srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes, bytesPerPixel},
        [&](CDibConverter& c) {
            const SourcePixels s = sourceOf(src, srcWidth, srcHeight, srcRowBytes);
            const TargetPixels d = targetOf(dst, dstWidth, dstHeight, dstRowBytes);
            const auto bpp = static_cast<std::uint32_t>(bytesPerPixel);
            return (flags & 1) != 0 ? img::resizeAreaAverage(c, s, d, bpp)
                                    : img::resizeBoxAverage(c, s, d, bpp, 255);
        });
}

int resizeRGBVariantB(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel) {
    return runResize(
        {srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes, bytesPerPixel},
        [&](CDibConverter& c) {
            return img::resizeNearest(c, sourceOf(src, srcWidth, srcHeight, srcRowBytes),
                                      targetOf(dst, dstWidth, dstHeight, dstRowBytes),
                                      static_cast<std::uint32_t>(bytesPerPixel));
        });
}

int resizeRGBVariantC(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel) {
    return runResize(
        {srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes, bytesPerPixel},
        [&](CDibConverter& c) {
            return img::resizeBicubic(c, sourceOf(src, srcWidth, srcHeight, srcRowBytes),
                                      targetOf(dst, dstWidth, dstHeight, dstRowBytes),
                                      static_cast<std::uint32_t>(bytesPerPixel), 255);
        });
}

int resize8BitPalette(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int paletteCount,
                      const RGBQUAD* palette) {
    return runResize({srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes},
                     [&](CDibConverter& c) {
                         return img::resizeBilinearIndexed(
                             c, sourceOf(src, srcWidth, srcHeight, srcRowBytes),
                             targetOf(dst, dstWidth, dstHeight, dstRowBytes), palette,
                             entriesOf(paletteCount));
                     });
}

int resize8BitAreaAverage(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                          int dstWidth, int dstHeight, int dstRowBytes, const RGBQUAD* palette,
                          int paletteCount, int /*reserved*/) {
    return runResize({srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes},
                     [&](CDibConverter& c) {
                         return img::resizeAreaAverageIndexed(
                             c, sourceOf(src, srcWidth, srcHeight, srcRowBytes),
                             targetOf(dst, dstWidth, dstHeight, dstRowBytes), palette,
                             entriesOf(paletteCount));
                     });
}

int resize1Bit(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
               int dstWidth, int dstHeight, int dstRowBytes) {
    return runResize({srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes},
                     [&](CDibConverter& c) {
                         return img::resizeBilinearOneBit(
                             c, sourceOf(src, srcWidth, srcHeight, srcRowBytes),
                             targetOf(dst, dstWidth, dstHeight, dstRowBytes));
                     });
}

} // extern "C"
