// Bilevel TIFF pages into 1-bit rows (0 always white) or a 1-bit packed DIB.
#include "CDibConverter.h"
#include "COverlay.h"
#include "MemoryBlock.h"
#include "Tables.h"
#include "TiffReader.h"
#include "Trace.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

constexpr unsigned kDibHeader = 48; // header and two palette entries

bool isCcitt(std::uint16_t compression) {
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
}

std::uint32_t oneBitRowBytes(int width, bool dib) {
    return dib ? dibRowBytes(width, 1) : (static_cast<std::uint32_t>(width) + 7) >> 3;
}

struct Shape {
    int samples, colourSamples;
    std::uint16_t compression, planar;
};

Shape shapeOf(TIFF* tif) {
    std::uint16_t samples = 1, extra = 0, compression = COMPRESSION_NONE,
                  planar = PLANARCONFIG_CONTIG;
    std::uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    return {samples, samples - extra, compression, planar};
}

// Whether stored 0 is the darker value, so that the rows are inverted to make 0 white. A
// bilevel colour map can say so as well as the photometric tag.
bool zeroIsDark(TIFF* tif, std::uint16_t photometric) {
    if (photometric == PHOTOMETRIC_MINISBLACK) return true;
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (photometric != PHOTOMETRIC_PALETTE ||
        !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
        return false;
    auto level = [&](int i) { return std::uint32_t{red[i]} + green[i] + blue[i]; };
    return level(0) < level(1);
}

// Clears the bits after the last pixel of every row and the bytes after them. Codecs leave
// those bits of their buffers unwritten (the fax decoders among them), and inverting the rows
// would set them: output never carries what no pixel put there.
void clearRowPadding(BYTE* pixels, int width, int height, std::size_t rowLength) {
    const std::size_t used = (static_cast<std::size_t>(width) + 7) >> 3;
    const int spare = static_cast<int>(used * 8 - static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        BYTE* row = pixels + static_cast<std::size_t>(y) * rowLength;
        row[used - 1] = static_cast<BYTE>(row[used - 1] & (0xFFu << spare));
        std::memset(row + used, 0, rowLength - used);
    }
}

} // namespace

bool TiffReader::canReadTIFFOneBit(TIFF* tif) {
    status = kOk;
    std::uint16_t bits = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    if (bits != 1) return fail(kUnsupportedDepth);
    const Shape s = shapeOf(tif);
    if (s.planar != PLANARCONFIG_SEPARATE || s.colourSamples < 2) {
        std::uint16_t photometric = 0;
        if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return true;
        if (s.colourSamples == 1) return true;
    }
    return fail(kUnsupportedDepth);
}

BYTE* TiffReader::readTIFFOneBit(TiffSource& source, int* width, int* height, RGBQUAD* palette,
                                 int flags) {
    TIFF* tif = source.tif;
    const bool dib = (flags & kTiffDib) != 0;
    if (!dib && palette == nullptr) return fail(kBadArgument);
    status = kOk;
    *width = 0;
    *height = 0;
    std::uint16_t bits = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    if (bits != 1) return fail(kUnsupportedDepth);
    const Shape s = shapeOf(tif);

    std::uint16_t photometric = 0;
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        if (s.colourSamples != 1) {
            trace(kTraceError, "Can't determine TIFF photometric");
            return fail(kUnsupportedDepth);
        }
        // Fax codecs decode 0 as white; other bilevel data without the tag is taken as 0 black.
        photometric = isCcitt(s.compression) ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    }
    int w = 0, h = 0;
    if (!tiffImageSize(*this, tif, &w, &h)) return nullptr;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    if ((flags & kTiffIgnoreOrientation) != 0) orientation = ORIENTATION_TOPLEFT;
    const TiffOrientation transform = tiffOrientationTransform(orientation);
    if (s.planar == PLANARCONFIG_SEPARATE && s.colourSamples > 1) return fail(kUnsupportedDepth);

    const unsigned header = dib ? kDibHeader : 0;
    std::uint32_t rowLength = oneBitRowBytes(w, dib);
    const std::uint32_t rotatedRowLength = oneBitRowBytes(h, dib);
    const Size bytes =
        tiffTurnableBlockBytes(rowLength, rotatedRowLength, w, h, header, transform.rotation >= 0);
    if (!bytes.ok()) return fail(kNoMemory);
    if (!affordStripWalk(source)) return nullptr;
    MemoryBlock block;
    if (!block.allocate(bytes)) return fail(kNoMemory);
    BYTE* pixels = block.data() + header;
    const bool topDown = (flags & kTiffOneBitTopDown) != 0;

    TiffReads reads;
    if (TIFFIsTiled(tif)) {
        COverlay overlay;
        forEachTile(*this, tif, workOf(source), w, h, 1, reads,
                    [&](int x, int y, int, const BYTE* tile, int tw, int tl) {
                        overlay.overlayOneBit(pixels, w, h, static_cast<int>(rowLength), tile, tw,
                                              tl, (tw + 7) >> 3, x, topDown ? y : h - y - tl,
                                              topDown ? 0 : kOverlayOneBitUpsideDown);
                    });
    } else {
        const std::size_t stride = rowLength;
        forEachStrip(*this, tif, workOf(source), h, reads,
                     [&](int y, int rows, const BYTE* strip, std::size_t scanline) {
                         const std::size_t copy = std::min(scanline, stride);
                         for (int i = 0; i < rows; ++i) {
                             const int row = topDown ? y + i : h - 1 - (y + i);
                             std::memcpy(pixels + static_cast<std::size_t>(row) * stride,
                                         strip + scanline * i, copy);
                         }
                     });
    }
    if (ok() && reads.nothingRead()) fail(kTiffStripFailed);
    if (!ok()) {
        block.release();
        return nullptr;
    }

    // What a failed strip or tile left is kept: the orientation step decides the status.
    status = orientTIFFRows(orientation, pixels, bytes.bytes() - header, &w, &h, 1, &rowLength,
                            rotatedRowLength, dib);
    if (!ok()) {
        block.release();
        return nullptr;
    }
    const std::size_t imageBytes = std::size_t{rowLength} * h;
    if (zeroIsDark(tif, photometric))
        for (std::size_t i = 0; i < imageBytes; ++i)
            pixels[i] = static_cast<BYTE>(~pixels[i]);
    clearRowPadding(pixels, w, h, rowLength);

    const RGBQUAD white = {255, 255, 255, 0}, black = {0, 0, 0, 0};
    if (dib) {
        writeDIBHeader(block.data(), w, h, 1, static_cast<DWORD>(imageBytes), 2, 0);
        auto* info = reinterpret_cast<BITMAPINFOHEADER*>(block.data());
        tiffDibResolution(tif, &info->biXPelsPerMeter, &info->biYPelsPerMeter);
        std::memcpy(block.data() + 40, &white, 4);
        std::memcpy(block.data() + 44, &black, 4);
    } else {
        for (int i = 0; i < 2; ++i) {
            const RGBQUAD& c = i == 0 ? white : black;
            palette[i].rgbBlue = c.rgbBlue;
            palette[i].rgbGreen = c.rgbGreen;
            palette[i].rgbRed = c.rgbRed;
        }
    }
    *width = w;
    *height = h;
    return block.data();
}

} // namespace img
