// What every TIFF path asks of a page before placing rows: its size, strip and tile
// geometry, work buffers and the resolution for a DIB header.
#include "CDibConverter.h"
#include "TiffReader.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace img {
namespace {

// TIFF's units (1 none, 2 inch, 3 centimetre) in the convention the converter reads.
std::int32_t converterUnit(std::uint16_t tiffUnit) {
    switch (tiffUnit) {
    case RESUNIT_NONE:
        return 0;
    case RESUNIT_INCH:
        return 2;
    case RESUNIT_CENTIMETER:
        return 1;
    default:
        return -1;
    }
}

} // namespace

// A float beyond int, or not a number, must not be cast as it is.
std::int32_t truncateResolution(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<std::int32_t>(v);
}

Size tiffTurnableBlockBytes(std::uint32_t rowBytes, std::uint32_t turnedRowBytes, int width,
                            int height, unsigned header, bool turns) {
    const Size bytes = imageBlockSize(header, rowBytes, height);
    if (!bytes.ok() || !turns) return bytes;
    const Size turned = imageBlockSize(header, turnedRowBytes, width);
    return turned.ok() ? std::max(bytes.bytes(), turned.bytes()) : Size::refused();
}

bool tiffImageSize(Operation& op, TIFF* tif, int* width, int* height) {
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    // No block can hold an image of no pixels or of more rows or columns than an int counts.
    if (w == 0 || h == 0 || w > INT_MAX || h > INT_MAX) return op.fail(kNoMemory);
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

void tiffDibResolution(TIFF* tif, LONG* x, LONG* y) {
    float xr = 0.0f, yr = 0.0f;
    std::uint16_t unit = 0;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr);
    // Without the unit tag TIFF means inches.
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    ImgResolution r{truncateResolution(xr), truncateResolution(yr), converterUnit(unit)};
    CDibConverter c;
    c.convertResolution(&r, 1, 4);
    *x = r.x;
    *y = r.y;
}

std::uint32_t tiffRowsPerStrip(TIFF* tif, std::uint32_t height) {
    std::uint32_t rows = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    return rows == 0 || rows > height ? height : rows;
}

bool tiffTileGeometry(Operation& op, TIFF* tif, std::uint32_t* tileWidth,
                      std::uint32_t* tileLength) {
    *tileWidth = 0;
    *tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, tileLength);
    if (*tileWidth == 0 || *tileLength == 0 || *tileWidth > INT_MAX || *tileLength > INT_MAX)
        return op.fail(kTiffStripFailed);
    return true;
}

std::uint64_t tiffLargestRead(TIFF* tif) {
    std::uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (!TIFFIsTiled(tif)) return TIFFScanlineSize64(tif) * tiffRowsPerStrip(tif, height);
    std::uint32_t tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    return TIFFTileRowSize64(tif) * std::min(tileLength, height);
}

Encoding tiffEncoding(TIFF* tif) {
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    switch (compression) {
    case COMPRESSION_NONE:
        return Encoding::RawRows;
    case COMPRESSION_PACKBITS:
        return Encoding::PackBits;
    case COMPRESSION_LZW:
        return Encoding::TiffLzw;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return Encoding::Deflate;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return Encoding::TiffJpeg;
    default:
        // CCITT codes a blank row in a bit, and the other codecs have no bound we rely on.
        return Encoding::Skipping;
    }
}

bool tiffBlockJustified(TIFF* tif, std::uint64_t blockBytes, std::uint64_t heldBytes) {
    const bool tiled = TIFFIsTiled(tif) != 0;
    const std::uint64_t striles = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    std::uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    const std::uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    const std::uint64_t units = tiled ? static_cast<std::uint64_t>(TIFFTileSize64(tif)) * striles
                                      : TIFFScanlineSize64(tif) * std::uint64_t{height} * planes;
    return blockJustified(tiffEncoding(tif), blockBytes, std::uint64_t{width} * height, units,
                          heldBytes);
}

TiffBuffer::TiffBuffer(tmsize_t size) {
    // A strip or tile larger than any block the library makes is taken as no memory.
    if (size == 0 || !Size(size).ok()) return;
    // Zeroed pages cost nothing until written, so a single strip or tile is never cleared.
    m_data = static_cast<BYTE*>(std::calloc(static_cast<std::size_t>(size), 1));
    if (m_data != nullptr) m_size = size;
}

BYTE* TiffBuffer::clearedFor(tmsize_t bytes) {
    bytes = std::min(bytes, m_size);
    std::memset(m_data, 0, static_cast<std::size_t>(std::min(bytes, m_written)));
    m_written = std::max(m_written, bytes);
    return m_data;
}

TiffBuffer::~TiffBuffer() {
    std::free(m_data);
}

} // namespace img
