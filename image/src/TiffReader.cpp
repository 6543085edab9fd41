// The TIFF entry points, the dispatcher that picks a path from the tags, and the info query.
#include "TiffReader.h"

#include "EntryFrame.h"

#include <algorithm>
#include <climits>

namespace img {
namespace {

// Four colour samples and as many extra ones; no path reads more.
constexpr std::uint16_t kTiffMostSamples = 8;

bool acceptedDepth(int bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 ||
           bitsPerPixel == 32;
}

} // namespace

BYTE* TiffReader::readTIFF(int* width, int* height, int bitsPerPixel, RGBQUAD* palette, int page,
                           int flags) {
    *width = 0;
    *height = 0;
    if ((flags & kTiffDib) == 0) {
        if (!acceptedDepth(bitsPerPixel)) return fail(kBadArgument);
        if ((bitsPerPixel == 1 || bitsPerPixel == 8) && palette == nullptr)
            return fail(kBadArgument);
    }
    TiffSource* source = openTIFFSource(m_io, page, flags);
    if (source == nullptr) return nullptr;
    source->depth = bitsPerPixel;
    BYTE* result = readTIFFPage(*source, width, height, palette);
    closeTIFFSource(source);
    return result;
}

// Before a path allocates: samples the paths cannot use are refused, and the page's strips
// or tiles must be able to fill the largest block a path makes for the depth (colour paths
// decode through a 32-bit raster; a turn needs no more bytes).
bool TiffReader::justifyPage(TiffSource& source, int depth) {
    TIFF* tif = source.tif;
    std::uint16_t samples = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (samples > kTiffMostSamples) return fail(kUnsupportedDepth);
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    const int blockBits = depth == 1 || depth == 8 || depth == 16 ? depth : 32;
    const std::uint64_t block = (std::uint64_t{w} * blockBits + 31) / 32 * 4 * h;
    return tiffBlockJustified(tif, block, workOf(source).heldBytes()) ? true
                                                                      : fail(kTiffStripFailed);
}

bool TiffReader::affordStripWalk(TiffSource& source) {
    return workOf(source).fits(tiffLargestRead(source.tif)) ? true : fail(kTiffStripFailed);
}

TiffWork& TiffReader::workOf(TiffSource& source) {
    if (!source.work.measured()) {
        unsigned fileBytes = 0;
        source.stream.size(&fileBytes);
        source.work = TiffWork(source.tif, fileBytes);
    }
    return source.work;
}

BYTE* TiffReader::readTIFFPage(TiffSource& source, int* width, int* height, RGBQUAD* palette) {
    *width = 0;
    *height = 0;
    TIFF* tif = source.tif;
    const int flags = source.flags;
    int depth = source.depth;
    if ((flags & kTiffDib) != 0) {
        std::uint16_t bits = 1, samples = 1, photometric = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        if (canReadTIFFOneBit(tif))
            depth = 1;
        else if (bits <= 8 && samples == 1)
            depth = 8;
        else if (bits > 16 || samples != 1)
            depth = samples == 3 ? 24 : 32;
        else
            depth = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK
                        ? 8
                        : 32;
        source.depth = depth;
    }
    if (!justifyPage(source, depth)) return nullptr;
    switch (depth) {
    case 1:
        return readTIFFOneBit(source, width, height, palette, flags);
    case 8:
        return readTIFFIndexed8(source, width, height, palette, flags);
    case 16:
        return readTIFFGrey16(source, width, height, flags);
    case 32:
        source.cmykPassThrough = (flags & kTiffCmykPassThrough) != 0 ? 1 : 0;
        return ReadTIFFTrueColor(source, width, height, 32, flags);
    default:
        return ReadTIFFTrueColor(source, width, height, 24, flags);
    }
}

int TiffReader::getTIFFInfo(int page, int* width, int* height, int* bitsPerPixel,
                            ImgResolution* res) {
    *width = 0;
    *height = 0;
    *bitsPerPixel = 0;
    if (res != nullptr) *res = {0, 0, 0};
    TiffSource* source = openTIFFSource(m_io, page, 0);
    if (source == nullptr) return 0;
    TIFF* tif = source->tif;
    if (!TIFFSetDirectory(tif, static_cast<tdir_t>(page))) {
        closeTIFFSource(source);
        return fail(kBadArgument);
    }
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::uint16_t unit = 0, samples = 1, bits = 1;
    float xr = 0.0f, yr = 0.0f;
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    // Both are the file's 16-bit values; their product can pass what an int holds.
    *bitsPerPixel =
        static_cast<int>(std::min<std::uint32_t>(std::uint32_t{bits} * samples, INT_MAX));
    if (res != nullptr) *res = {truncateResolution(xr), truncateResolution(yr), unit};
    status = kOk;
    closeTIFFSource(source);
    return 1;
}

} // namespace img

using namespace img;

extern "C" BYTE* readTIFF(SourceHandle src, int* width, int* height, int bitsPerPixel,
                          RGBQUAD* palette, int page, int flags) {
    return frameR<TiffReader>(src, width != nullptr && height != nullptr, [&](TiffReader& r) {
        return r.readTIFF(width, height, bitsPerPixel, palette, page, flags);
    });
}

extern "C" int getTIFFInfo(SourceHandle src, int page, int* width, int* height, int* bitsPerPixel,
                           ImgResolution* res) {
    return frameR<TiffReader>(
        src, width != nullptr && height != nullptr && bitsPerPixel != nullptr,
        [&](TiffReader& r) { return r.getTIFFInfo(page, width, height, bitsPerPixel, res); });
}
