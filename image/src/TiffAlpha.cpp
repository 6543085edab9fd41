// Straight alpha out of libtiff's RGBA read, which premultiplies unassociated alpha and passes
// associated alpha through as stored: 32-bit pixels of every other format are straight.
#include "TiffReader.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

// A stored sample as eight bits, 16-bit ones through libtiff's own reduction, which it builds
// whenever it has picked a premultiplying routine for them.
template <class Sample>
std::uint32_t eightBits(const TIFFRGBAImage* image, const unsigned char* p) {
    Sample v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (sizeof(Sample) == 1) {
        return v;
    } else {
        return image->Bitdepth16To8[v];
    }
}

template <class Sample>
std::uint32_t straightPixel(const TIFFRGBAImage* image, const unsigned char* r,
                            const unsigned char* g, const unsigned char* b,
                            const unsigned char* a) {
    return eightBits<Sample>(image, r) | eightBits<Sample>(image, g) << 8 |
           eightBits<Sample>(image, b) << 16 | eightBits<Sample>(image, a) << 24;
}

// Same contracts as libtiff's put routines; skews count samples.
template <class Sample>
void putStraightContig(TIFFRGBAImage* image, std::uint32_t* out, std::uint32_t, std::uint32_t,
                       std::uint32_t w, std::uint32_t h, std::int32_t fromSkew, std::int32_t toSkew,
                       unsigned char* in) {
    const std::ptrdiff_t pixel = std::ptrdiff_t{image->samplesperpixel} * sizeof(Sample);
    const std::ptrdiff_t skip = std::ptrdiff_t{fromSkew} * pixel;
    constexpr std::size_t s = sizeof(Sample);
    for (; h > 0; --h) {
        for (std::uint32_t i = 0; i < w; ++i, in += pixel)
            *out++ = straightPixel<Sample>(image, in, in + s, in + 2 * s, in + 3 * s);
        out += toSkew;
        in += skip;
    }
}

template <class Sample>
void putStraightSeparate(TIFFRGBAImage* image, std::uint32_t* out, std::uint32_t, std::uint32_t,
                         std::uint32_t w, std::uint32_t h, std::int32_t fromSkew,
                         std::int32_t toSkew, unsigned char* r, unsigned char* g, unsigned char* b,
                         unsigned char* a) {
    constexpr std::ptrdiff_t s = sizeof(Sample);
    const std::ptrdiff_t skip = std::ptrdiff_t{fromSkew} * s;
    for (; h > 0; --h) {
        for (std::uint32_t i = 0; i < w; ++i, r += s, g += s, b += s, a += s)
            *out++ = straightPixel<Sample>(image, r, g, b, a);
        out += toSkew;
        r += skip;
        g += skip;
        b += skip;
        a += skip;
    }
}

std::uint8_t unpremultiplied(std::uint32_t v, std::uint32_t a) {
    // A colour above its alpha is not premultiplied data; it stays as bright as it can.
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (v * 255 + a / 2) / a));
}

} // namespace

bool tiffAlphaAssociated(TIFF* tif) {
    std::uint16_t count = 0;
    const std::uint16_t* kinds = nullptr;
    // libtiff takes the first extra sample as the alpha.
    return TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) == 1 && count > 0 &&
           kinds != nullptr && kinds[0] == EXTRASAMPLE_ASSOCALPHA;
}

void keepStoredAlpha(TIFFRGBAImage& image) {
    // Only RGB is premultiplied on its way through; grey with alpha comes through as stored.
    if (image.alpha != EXTRASAMPLE_UNASSALPHA || image.photometric != PHOTOMETRIC_RGB ||
        image.samplesperpixel < 4 || image.put.any == nullptr)
        return;
    // Undoing the premultiplication cannot give back the colour of a nearly transparent
    // pixel, so the stored samples are read as they are.
    if (image.bitspersample == 8) {
        if (image.isContig)
            image.put.contig = putStraightContig<std::uint8_t>;
        else
            image.put.separate = putStraightSeparate<std::uint8_t>;
    } else if (image.bitspersample == 16 && image.Bitdepth16To8 != nullptr) {
        if (image.isContig)
            image.put.contig = putStraightContig<std::uint16_t>;
        else
            image.put.separate = putStraightSeparate<std::uint16_t>;
    }
}

void unpremultiplyRGBA(std::uint32_t* raster, std::size_t count) {
    auto* p = reinterpret_cast<BYTE*>(raster);
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        const std::uint32_t a = p[3];
        // Fully transparent pixels have no colour to recover; they keep what was stored.
        if (a == 0 || a == 255) continue;
        p[0] = unpremultiplied(p[0], a);
        p[1] = unpremultiplied(p[1], a);
        p[2] = unpremultiplied(p[2], a);
    }
}

} // namespace img
