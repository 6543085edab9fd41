// 24- and 32-bit TIFF reading through libtiff's RGBA interface, which converts every kind of
// colour data; CMYK can be passed through as inks instead.
#include "CDibConverter.h"
#include "MemoryBlock.h"
#include "TiffReader.h"
#include "Trace.h"

#include <cstring>

namespace img {
namespace {

constexpr unsigned kDibHeader = 40;

// Packs the four inks of 8-bit contiguous CMYK into one pixel, cyan in the lowest byte, where
// libtiff's own routine would convert them to RGB. Same contract as libtiff's put routines.
void putInks(TIFFRGBAImage* image, std::uint32_t* out, std::uint32_t, std::uint32_t,
             std::uint32_t w, std::uint32_t h, std::int32_t fromSkew, std::int32_t toSkew,
             unsigned char* in) {
    const int samples = image->samplesperpixel;
    const TIFFRGBValue* map = image->Map;
    auto ink = [map](unsigned char v) -> std::uint32_t { return map != nullptr ? map[v] : v; };
    fromSkew *= samples;
    for (; h > 0; --h) {
        for (std::uint32_t i = 0; i < w; ++i, in += samples)
            *out++ = ink(in[0]) | ink(in[1]) << 8 | ink(in[2]) << 16 | ink(in[3]) << 24;
        out += toSkew;
        in += fromSkew;
    }
}

// R, G, B, A pixels compacted in place to three bytes each, red first or blue first.
void compactPixels(BYTE* pixels, std::size_t count, bool blueFirst) {
    const BYTE* in = pixels;
    BYTE* out = pixels;
    for (std::size_t i = 0; i < count; ++i, in += 4, out += 3) {
        const BYTE r = in[0], g = in[1], b = in[2];
        out[0] = blueFirst ? b : r;
        out[1] = g;
        out[2] = blueFirst ? r : b;
    }
}

// Rows of width x 3 bytes moved to their padded DIB places, last row first since they overlap.
void padRows(BYTE* pixels, int width, int height, std::uint32_t rowBytes) {
    const std::size_t packed = static_cast<std::size_t>(width) * 3;
    if (packed == rowBytes) return;
    for (int y = height - 1; y >= 0; --y) {
        BYTE* row = pixels + static_cast<std::size_t>(y) * rowBytes;
        std::memmove(row, pixels + static_cast<std::size_t>(y) * packed, packed);
        std::memset(row + packed, 0, rowBytes - packed);
    }
}

// 8-bit RGB in strips, the samples of a pixel side by side: what libtiff's RGBA reader makes
// of such a strip is the strip's own bytes with an opaque alpha, so its rows can be read
// straight into a 24-bit image.
bool plainRGBStrips(TIFF* tif, std::uint32_t width) {
    std::uint16_t bits = 0, samples = 0, planar = 0, photometric = 0, compression = 0, extra = 0;
    std::uint16_t* kinds = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds);
    // JPEG decodes differently once the RGBA reader has set it up; the plain codecs do not.
    return !TIFFIsTiled(tif) && TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) &&
           photometric == PHOTOMETRIC_RGB && bits == 8 && samples == 3 && extra == 0 &&
           planar == PLANARCONFIG_CONTIG && compression != COMPRESSION_JPEG &&
           compression != COMPRESSION_OJPEG && TIFFScanlineSize64(tif) == std::uint64_t{width} * 3;
}

} // namespace

// libtiff's RGBA read turns the raster by the orientation tag itself; told that the rows are
// top-left and wanted bottom-left, it only places the stored rows bottom-up, which is what
// the orientation step expects. `topDown` has it place them top-down instead, as it reads
// them, which spares a later pass the flip.
bool TiffReader::readRGBA(TiffSource& source, std::uint32_t* raster, std::uint32_t width,
                          std::uint32_t height, bool straightAlpha, bool topDown) {
    char message[1024] = "";
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, source.tif, 1, message)) {
        TIFFError(TIFFFileName(source.tif), "%s", message);
        return false;
    }
    image.orientation = ORIENTATION_TOPLEFT;
    image.req_orientation = topDown ? ORIENTATION_TOPLEFT : ORIENTATION_BOTLEFT;
    if (source.cmykPassThrough != 0 && image.isContig &&
        image.photometric == PHOTOMETRIC_SEPARATED && image.bitspersample == 8 &&
        image.samplesperpixel >= 4)
        image.put.contig = putInks;
    if (straightAlpha) keepStoredAlpha(image);
    const bool associated = straightAlpha && tiffAlphaAssociated(source.tif);
    const int ok = TIFFRGBAImageGet(&image, raster, width, height);
    TIFFRGBAImageEnd(&image);
    if (ok != 1) return false;
    if (associated) unpremultiplyRGBA(raster, std::size_t{width} * height);
    return true;
}

// libtiff's RGBA reader stops at the first strip or tile it cannot read; a page whose reads
// the file cannot pay for is refused before its image is allocated, not decoded up to there.
bool TiffReader::allocatePaidFor(TiffSource& source, Size bytes, MemoryBlock& block) {
    if (!bytes.ok()) return fail(kNoMemory);
    char message[1024] = "";
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, source.tif, 1, message)) {
        TIFFError(TIFFFileName(source.tif), "%s", message);
        return fail(kTiffStripFailed);
    }
    // Separate planes are read for the colours, one for grey and palettes, and for the alpha
    // (or the fourth ink) when the reader has taken one.
    std::uint16_t planes = 1;
    if (!image.isContig) {
        const bool oneColour = image.photometric == PHOTOMETRIC_MINISWHITE ||
                               image.photometric == PHOTOMETRIC_MINISBLACK ||
                               image.photometric == PHOTOMETRIC_PALETTE;
        planes = static_cast<std::uint16_t>((oneColour ? 1 : 3) + (image.alpha != 0 ? 1 : 0));
    }
    TIFFRGBAImageEnd(&image);
    // Starting the reader can change what libtiff decodes to (JPEG's YCbCr comes as RGB), so
    // the work is measured afresh, as the reader will find the page.
    source.work = TiffWork();
    if (!workOf(source).takeRGBARead(planes)) return fail(kTiffStripFailed);
    return block.allocate(bytes) ? true : fail(kNoMemory);
}

BYTE* TiffReader::ReadTIFFTrueColor(TiffSource& source, int* width, int* height, int bitsPerPixel,
                                    int flags) {
    status = kOk;
    *width = 0;
    *height = 0;
    char message[1024] = "";
    if (!TIFFRGBAImageOK(source.tif, message)) {
        trace(kTraceError, "%s\n", message);
        return fail(kTiffStripFailed);
    }
    std::uint16_t orientation = 0;
    TIFFGetField(source.tif, TIFFTAG_ORIENTATION, &orientation);
    if ((flags & kTiffIgnoreOrientation) != 0) orientation = ORIENTATION_TOPLEFT;
    if ((flags & kTiffDib) != 0)
        return trueColourDIB(source, bitsPerPixel, orientation,
                             (flags & kTiffIgnoreOrientation) == 0, width, height);
    if (bitsPerPixel == 32) return readTIFFRGBA32(source, orientation, width, height);
    if (bitsPerPixel == 24) return readTIFFRGB24(source, orientation, width, height);
    trace(kTraceError, "Invalid bpp in ReadTIFFTrueColor!");
    return fail(kUnsupportedOptions);
}

BYTE* TiffReader::trueColourDIB(TiffSource& source, int bitsPerPixel, int orientation, bool orient,
                                int* width, int* height) {
    int w = 0, h = 0;
    if (!tiffImageSize(*this, source.tif, &w, &h)) return nullptr;
    MemoryBlock block;
    if (!allocatePaidFor(source, imageBlockSize(kDibHeader, checkedProduct({w, 4}), h), block))
        return nullptr;
    BYTE* pixels = block.data() + kDibHeader;
    if (!readRGBA(source, reinterpret_cast<std::uint32_t*>(pixels), w, h, bitsPerPixel == 32)) {
        block.release();
        return fail(kTiffStripFailed);
    }
    const std::size_t count = static_cast<std::size_t>(w) * h;
    int rowLength = 0;
    int result = kOk;
    if (bitsPerPixel == 24) {
        compactPixels(pixels, count, true);
        std::memset(pixels + count * 3, 0, count);
        rowLength = w * 3;
        if (orient)
            result = applyTIFFOrientation(orientation, pixels, &w, &h, 24, &rowLength, true);
        rowLength = static_cast<int>(dibRowBytes(w, 24));
        padRows(pixels, w, h, static_cast<std::uint32_t>(rowLength));
    } else {
        CDibConverter().swapRedBlue32(pixels, w, h);
        rowLength = w * 4;
        result = applyTIFFOrientation(orientation, pixels, &w, &h, 32, &rowLength, true);
    }
    if (result != kOk) {
        block.release();
        return fail(result);
    }
    BYTE* dib = block.data();
    writeDIBHeader(dib, w, h, bitsPerPixel, static_cast<DWORD>(rowLength) * h, 0, 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib);
    tiffDibResolution(source.tif, &header->biXPelsPerMeter, &header->biYPelsPerMeter);
    *width = w;
    *height = h;
    return dib;
}

BYTE* TiffReader::readTIFFRGBA32(TiffSource& source, int orientation, int* width, int* height) {
    int w = 0, h = 0;
    if (!tiffImageSize(*this, source.tif, &w, &h)) return nullptr;
    MemoryBlock block;
    if (!allocatePaidFor(source, imageBlockSize(0, checkedProduct({w, 4}), h), block))
        return nullptr;
    if (!readRGBA(source, reinterpret_cast<std::uint32_t*>(block.data()), w, h, true)) {
        block.release();
        return fail(kTiffStripFailed);
    }
    int rowLength = w * 4;
    const int result =
        applyTIFFOrientation(orientation, block.data(), &w, &h, 32, &rowLength, false);
    if (result != kOk) {
        block.release();
        return fail(result);
    }
    *width = w;
    *height = h;
    return block.data();
}

BYTE* TiffReader::readTIFFRGB24(TiffSource& source, int orientation, int* width, int* height) {
    int w = 0, h = 0;
    if (!tiffImageSize(*this, source.tif, &w, &h)) return nullptr;
    if (plainRGBStrips(source.tif, static_cast<std::uint32_t>(w)))
        return readPlainRGB24(source, orientation, w, h, width, height);
    MemoryBlock block;
    if (!allocatePaidFor(source, imageBlockSize(0, checkedProduct({w, 4}), h), block))
        return nullptr;
    // Unless the image turns, libtiff places the rows top-down, so that compacting them is
    // the only pass left over the whole image; a turn wants them bottom-up.
    const bool topDown = !tiffOrientationRotates(orientation);
    if (!readRGBA(source, reinterpret_cast<std::uint32_t*>(block.data()), w, h, false, topDown)) {
        block.release();
        return fail(kTiffStripFailed);
    }
    const std::size_t count = static_cast<std::size_t>(w) * h;
    compactPixels(block.data(), count, false);
    // A failed shrink keeps the larger block, which holds the same pixels.
    block.resize(static_cast<unsigned>(count * 3));
    int rowLength = w * 3;
    const int result =
        applyTIFFOrientation(orientation, block.data(), &w, &h, 24, &rowLength, topDown);
    if (result != kOk) {
        block.release();
        return fail(result);
    }
    *width = w;
    *height = h;
    return block.data();
}

// The strips of plain RGB read into their rows of the image, as libtiff's RGBA reader would
// place them top-down, one copy instead of the raster, its pixels and the compaction. Like
// that reader it fails on the first strip it cannot read.
BYTE* TiffReader::readPlainRGB24(TiffSource& source, int orientation, int w, int h, int* width,
                                 int* height) {
    TIFF* tif = source.tif;
    MemoryBlock block;
    if (!allocatePaidFor(source, imageBlockSize(0, checkedProduct({w, 3}), h), block))
        return nullptr;
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    const auto rows = static_cast<std::uint32_t>(h);
    const std::uint32_t rps = tiffRowsPerStrip(tif, rows);
    for (std::uint32_t y = 0; y < rows; y += rps) {
        const std::uint32_t n = std::min(rps, rows - y);
        if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y, 0), block.data() + rowBytes * y,
                                 static_cast<tmsize_t>(rowBytes * n)) < 0) {
            block.release();
            return fail(kTiffStripFailed);
        }
    }
    // A turn wants the rows bottom-up, as the orientation step takes them.
    const bool turns = tiffOrientationRotates(orientation);
    CDibConverter c;
    if (turns && !c.flipVertical(block.data(), static_cast<int>(rowBytes), h)) {
        block.release();
        return fail(c.status);
    }
    int rowLength = static_cast<int>(rowBytes);
    const int result =
        applyTIFFOrientation(orientation, block.data(), &w, &h, 24, &rowLength, !turns);
    if (result != kOk) {
        block.release();
        return fail(result);
    }
    *width = w;
    *height = h;
    return block.data();
}

} // namespace img
