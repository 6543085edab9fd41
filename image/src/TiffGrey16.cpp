// TIFF pages of one 16-bit sample, returned as the samples are.
#include "COverlay.h"
#include "MemoryBlock.h"
#include "Tables.h"
#include "TiffReader.h"

#include <cstring>

namespace img {

BYTE* TiffReader::readTIFFGrey16(TiffSource& source, int* width, int* height, int flags) {
    TIFF* tif = source.tif;
    status = kOk;
    *width = 0;
    *height = 0;
    const bool ignoreOrientation =
        (flags & (kTiffIgnoreOrientation | kTiffGrey16TopDown | kTiffGrey16PaddedRows)) != 0;
    const bool topDown = (flags & kTiffGrey16TopDown) != 0;
    int w = 0, h = 0;
    if (!tiffImageSize(*this, tif, &w, &h)) return nullptr;
    std::uint16_t samples = 1, bits = 1, orientation = 0;
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    if (bits != 16 || samples != 1) return fail(kUnsupportedDepth);
    if (ignoreOrientation) orientation = ORIENTATION_TOPLEFT;

    const std::uint32_t rowLength = (flags & kTiffGrey16PaddedRows) != 0
                                        ? ((std::uint32_t(w) + 1) >> 1) * 4
                                        : std::uint32_t(w) * 2;
    const std::uint32_t bytes = imageBlockSize(0, rowLength, h).bytes();
    if (bytes == 0) return fail(kNoMemory);
    if (!affordStripWalk(source)) return nullptr;
    MemoryBlock block;
    if (!block.allocate(bytes)) return fail(kNoMemory);
    auto* samplesOut = reinterpret_cast<WORD*>(block.data());
    const int stride = static_cast<int>(rowLength / 2);
    const DWORD mode = topDown ? 0 : kOverlay16UpsideDown;

    TiffReads reads;
    COverlay overlay;
    if (TIFFIsTiled(tif)) {
        forEachTile(*this, tif, workOf(source), w, h, 16, reads,
                    [&](int x, int y, int, const BYTE* tile, int tw, int tl) {
                        overlay.overlay16(samplesOut, w, h, reinterpret_cast<const WORD*>(tile), tw,
                                          tl, x, topDown ? y : h - y - tl, 1.0, 1, stride, tw,
                                          mode);
                    });
    } else {
        forEachStrip(*this, tif, workOf(source), h, reads,
                     [&](int y, int rows, const BYTE* strip, std::size_t scanline) {
                         overlay.overlay16(samplesOut, w, h, reinterpret_cast<const WORD*>(strip),
                                           w, rows, 0, topDown ? y : h - y - rows, 1.0, 1, stride,
                                           static_cast<int>(scanline / 2), mode);
                     });
    }
    if (ok() && reads.nothingRead()) fail(kTiffStripFailed);
    if (!ok()) {
        block.release();
        return nullptr;
    }

    std::uint32_t rl = rowLength;
    status = orientTIFFRows(orientation, block.data(), bytes, &w, &h, 16, &rl,
                            static_cast<std::uint32_t>(h) * 2, false);
    if (!ok()) {
        block.release();
        return nullptr;
    }
    *width = w;
    *height = h;
    return block.data();
}

} // namespace img
