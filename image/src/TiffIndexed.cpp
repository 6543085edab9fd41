// TIFF pages of one sample into 8-bit indices with a 256-entry palette, or an 8-bit DIB.
#include "CDibConverter.h"
#include "MemoryBlock.h"
#include "Tables.h"
#include "TiffReader.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

constexpr unsigned kDibHeader = 40 + 1024;

std::uint32_t indexedRowBytes(int width, bool dib) {
    return dib ? dibRowBytes(width, 8) : static_cast<std::uint32_t>(width);
}

RGBQUAD grey(int level) {
    const auto v = static_cast<BYTE>(level);
    return {v, v, v, 0};
}

template <class T> T fieldOr(TIFF* tif, ttag_t tag, T fallback) {
    T value = fallback;
    return TIFFGetField(tif, tag, &value) ? value : fallback;
}

} // namespace

void TiffReader::buildTIFFPalette(TIFF* tif, int photometric, int bits, RGBQUAD* palette) {
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        const int count = bits >= 8 ? 256 : 1 << std::max(bits, 0);
        const bool sixteenBit =
            std::any_of(red, red + count, [](std::uint16_t v) { return v > 255; }) ||
            std::any_of(green, green + count, [](std::uint16_t v) { return v > 255; }) ||
            std::any_of(blue, blue + count, [](std::uint16_t v) { return v > 255; });
        auto level = [sixteenBit](std::uint16_t v) {
            return static_cast<BYTE>(sixteenBit ? v * 255u / 65535u : v);
        };
        for (int i = 0; i < count; ++i)
            palette[i] = {level(blue[i]), level(green[i]), level(red[i]), 0};
        return;
    }
    if (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK) return;
    const bool whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
    if (bits == 1) {
        palette[0] = grey(whiteIsZero ? 255 : 0);
        palette[1] = grey(whiteIsZero ? 0 : 255);
        return;
    }
    // Samples of 2 to 7 bits come out as indices up to 2^bits - 1; their ramp spans the whole
    // grey range, as the file means them.
    const int levels = bits >= 2 && bits <= 7 ? 1 << bits : 256;
    for (int i = 0; i < levels; ++i) {
        const int level = i * 255 / (levels - 1);
        palette[i] = grey(whiteIsZero ? 255 - level : level);
    }
}

BYTE* TiffReader::readTIFFIndexed8(TiffSource& source, int* width, int* height, RGBQUAD* palette,
                                   int flags) {
    TIFF* tif = source.tif;
    const bool dib = (flags & kTiffDib) != 0;
    if (!dib && palette == nullptr) return fail(kBadArgument);
    status = kOk;
    *width = 0;
    *height = 0;
    int w = 0, h = 0;
    if (!tiffImageSize(*this, tif, &w, &h)) return nullptr;
    const int bits = fieldOr<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
    const int photometric = fieldOr<std::uint16_t>(tif, TIFFTAG_PHOTOMETRIC, 0);
    int orientation = fieldOr<std::uint16_t>(tif, TIFFTAG_ORIENTATION, 0);
    if ((photometric == PHOTOMETRIC_RGB && bits >= 8) || photometric == PHOTOMETRIC_SEPARATED ||
        photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGLUV)
        return fail(kUnsupportedDepth);
    if ((flags & kTiffIgnoreOrientation) != 0) orientation = ORIENTATION_TOPLEFT;
    const TiffOrientation transform = tiffOrientationTransform(orientation);

    RGBQUAD colours[256] = {};
    buildTIFFPalette(tif, photometric, bits, colours);

    const unsigned header = dib ? kDibHeader : 0;
    std::uint32_t rowLength = indexedRowBytes(w, dib);
    const std::uint32_t rotatedRowLength = indexedRowBytes(h, dib);
    const Size bytes =
        tiffTurnableBlockBytes(rowLength, rotatedRowLength, w, h, header, transform.rotation >= 0);
    if (!bytes.ok()) return fail(kNoMemory);
    if (!affordStripWalk(source)) return nullptr;
    MemoryBlock block;
    if (!block.allocate(bytes)) return fail(kNoMemory);
    BYTE* pixels = block.data() + header;
    auto imageRow = [&](int y) { return pixels + std::size_t(h - 1 - y) * rowLength; };

    // One index byte per pixel from a stored row, the same for strips and tiles.
    const bool reduce16 = bits == 16 && (photometric == PHOTOMETRIC_MINISWHITE ||
                                         photometric == PHOTOMETRIC_MINISBLACK);
    CDibConverter unpack;
    auto convertRow = [&](const BYTE* in, BYTE* out, int pixels) {
        if (!reduce16)
            return unpack.unpackPixels(in, pixels, 1, bits, out) ? true : fail(unpack.status);
        for (int x = 0; x < pixels; ++x) {
            std::uint16_t v;
            std::memcpy(&v, in + 2 * x, 2);
            out[x] = static_cast<BYTE>(v * 255u / 65535u);
        }
        return true;
    };

    TiffReads reads;
    if (TIFFIsTiled(tif)) {
        const tmsize_t tileRow = TIFFTileRowSize(tif);
        // Only the columns inside the image are converted, however wide the tile.
        forEachTile(*this, tif, workOf(source), w, h, bits, reads,
                    [&](int x, int y, int band, const BYTE* tile, int tw, int) {
                        const int columns = std::min(tw, w - x);
                        for (int i = 0; ok() && i < band; ++i)
                            convertRow(tile + tileRow * i, imageRow(y + i) + x, columns);
                    });
    } else {
        forEachStrip(*this, tif, workOf(source), h, reads,
                     [&](int y, int rows, const BYTE* strip, std::size_t scanline) {
                         for (int i = 0; ok() && i < rows; ++i)
                             convertRow(strip + scanline * i, imageRow(y + i), w);
                     });
    }
    if (ok() && reads.nothingRead()) fail(kTiffStripFailed);
    if (!ok()) {
        block.release();
        return nullptr;
    }

    status = orientTIFFRows(orientation, pixels, bytes.bytes() - header, &w, &h, 8, &rowLength,
                            rotatedRowLength, dib);
    if (!ok()) {
        block.release();
        return nullptr;
    }
    if (dib) {
        writeDIBHeader(block.data(), w, h, 8, static_cast<DWORD>(rowLength) * h, 256, 0);
        auto* info = reinterpret_cast<BITMAPINFOHEADER*>(block.data());
        tiffDibResolution(tif, &info->biXPelsPerMeter, &info->biYPelsPerMeter);
        std::memcpy(block.data() + 40, colours, sizeof colours);
    } else {
        std::memcpy(palette, colours, sizeof colours);
    }
    *width = w;
    *height = h;
    return block.data();
}

} // namespace img
