// The TIFF reader: libtiff decodes, this glue drives it over CImgIO, picks a path from the
// tags, places strips and tiles, applies the orientation tag and builds palettes and DIBs.
#pragma once

#include "BlockBudget.h"
#include "CImgIO.h"
#include "CheckedSize.h"
#include "MemoryBlock.h"
#include "Status.h"
#include "imgcore.h"

#include <algorithm>
#include <cstdint>
#include <tiffio.h>

namespace img {

// Bits of readTIFF's flags.
inline constexpr int kTiffIgnoreOrientation = 1;
inline constexpr int kTiffDib = IMG_FLAG_DIB;
inline constexpr int kTiffCmykPassThrough = 4;
inline constexpr int kTiffOneBitTopDown = 8;
inline constexpr int kTiffGrey16TopDown = 0x10;
inline constexpr int kTiffGrey16PaddedRows = 0x20;

// What the reads of one page may cost a call. Decoding is paid for by the bytes that the
// page's strips or tiles hold in the file, at the codec's greatest expansion, each byte counted
// once however many of them point at it; besides, a page may always decode its stored image
// once, up to the free block size. A read that would pass what is left is not made.
class TiffWork {
public:
    TiffWork() = default;
    TiffWork(TIFF* tif, std::uint64_t fileBytes);
    bool measured() const { return m_tif != nullptr; }
    // Bytes of the file that the page's strips or tiles hold, each counted once.
    std::uint64_t heldBytes() const { return m_held; }
    // Whether one read of `bytes` could still be made: a buffer for it is worth having.
    bool fits(std::uint64_t bytes) const { return bytes <= m_left; }
    // Takes a read of `bytes` of decoded data from one strip or tile; false, taking nothing,
    // when the strip's own data cannot yield them or the call has no more to spend.
    bool take(std::uint32_t strile, std::uint64_t bytes);
    // Takes every read that libtiff's RGBA reader makes of the page's first `planes` planes.
    bool takeRGBARead(std::uint16_t planes);

private:
    TIFF* m_tif = nullptr;
    std::uint64_t m_fileBytes = 0;
    std::uint64_t m_held = 0;
    std::uint64_t m_left = 0;
    Encoding m_encoding = Encoding::RawRows;
    bool m_readsAnywhere = false;
};

// One open page, from openTIFFSource to closeTIFFSource. It is libtiff's client data, so the
// client procedures read through `stream` and the RGBA read finds the CMYK switch here.
struct TiffSource {
    int depth = 0;
    int flags = 0;
    TIFF* tif = nullptr;
    CImgIO stream;
    int cmykPassThrough = 0;
    TiffWork work;
};

// Opens libtiff on the source's stream with our handlers, procedures and tag extender.
TIFF* tiffClientOpen(TiffSource& source, const char* mode);
void closeTIFFSource(TiffSource* source);
// Teaches libtiff the annotation, EXIF offset and GeoTIFF tags, once per process.
void installTiffTagExtender();

// What the orientation tag asks of rows that every path first places bottom-up.
struct TiffOrientation {
    bool flip;
    bool mirror;
    int rotation; // -1 none, else a direction code of the rotation routines
};
TiffOrientation tiffOrientationTransform(int orientation);
bool tiffOrientationRotates(int orientation);

// Both return a status. `toggle` inverts the vertical flip, for packed DIBs, which are
// bottom-up already. The in-place form swaps width and height and sets the new row length on
// a rotation; the other rotates into `destination` and flips there.
int applyTIFFOrientation(int orientation, BYTE* pixels, int* width, int* height, int bitsPerPixel,
                         int* rowLength, bool toggle);
int applyTIFFOrientationInto(int orientation, const BYTE* pixels, BYTE* destination, int* width,
                             int* height, int bitsPerPixel, int sourceRowLength,
                             int destinationRowLength, bool toggle);

// The orientation step on rows in a block of `pixelBytes` that has room for the image either
// way round; a turn goes through a zero-filled copy and leaves rows of `rotatedRowLength`.
int orientTIFFRows(int orientation, BYTE* pixels, std::uint32_t pixelBytes, int* width, int* height,
                   int bitsPerPixel, std::uint32_t* rowLength, std::uint32_t rotatedRowLength,
                   bool toggle);

class TiffReader : public Operation {
public:
    explicit TiffReader(CImgIO& io) : m_io(io) {}

    BYTE* readTIFF(int* width, int* height, int bitsPerPixel, RGBQUAD* palette, int page,
                   int flags);
    int getTIFFInfo(int page, int* width, int* height, int* bitsPerPixel, ImgResolution* res);

    TiffSource* openTIFFSource(const CImgIO& stream, int page, int flags);
    BYTE* readTIFFPage(TiffSource& source, int* width, int* height, RGBQUAD* palette);
    bool canReadTIFFOneBit(TIFF* tif);
    BYTE* ReadTIFFTrueColor(TiffSource& source, int* width, int* height, int bitsPerPixel,
                            int flags);
    BYTE* readTIFFOneBit(TiffSource& source, int* width, int* height, RGBQUAD* palette, int flags);
    BYTE* readTIFFIndexed8(TiffSource& source, int* width, int* height, RGBQUAD* palette,
                           int flags);
    BYTE* readTIFFGrey16(TiffSource& source, int* width, int* height, int flags);

private:
    bool justifyPage(TiffSource& source, int depth);
    // The page's work, measured on first use.
    TiffWork& workOf(TiffSource& source);
    // The image's block, once the file pays for every read the RGBA reader will make; status
    // 20 when it does not.
    bool allocatePaidFor(TiffSource& source, Size bytes, MemoryBlock& block);
    // Status 20 unless the work pays for the largest read of the strip or tile walk.
    bool affordStripWalk(TiffSource& source);
    // `straightAlpha` asks for alpha as stored, not premultiplied, for 32-bit output;
    // `topDown` for the rows placed top-down.
    bool readRGBA(TiffSource& source, std::uint32_t* raster, std::uint32_t width,
                  std::uint32_t height, bool straightAlpha = false, bool topDown = false);
    BYTE* readTIFFRGBA32(TiffSource& source, int orientation, int* width, int* height);
    BYTE* readTIFFRGB24(TiffSource& source, int orientation, int* width, int* height);
    BYTE* readPlainRGB24(TiffSource& source, int orientation, int w, int h, int* width,
                         int* height);
    BYTE* trueColourDIB(TiffSource& source, int bitsPerPixel, int orientation, bool orient,
                        int* width, int* height);
    void buildTIFFPalette(TIFF* tif, int photometric, int bits, RGBQUAD* palette);

    CImgIO& m_io;
};

// --- Shared by the paths (TiffLayout.cpp) ---

// Image width and height from the tags, refused (status 1 on `op`: no block holds such an
// image) when zero or beyond the library's int sizes.
bool tiffImageSize(Operation& op, TIFF* tif, int* width, int* height);

// A block that holds the image as stored and, when a quarter turn follows, as turned.
Size tiffTurnableBlockBytes(std::uint32_t rowBytes, std::uint32_t turnedRowBytes, int width,
                            int height, unsigned header, bool turns);

// A resolution tag's value truncated to an int; the file's value may lie beyond one.
std::int32_t truncateResolution(double v);

// The resolution tags converted for a packed DIB header's pixels-per-metre fields.
void tiffDibResolution(TIFF* tif, LONG* x, LONG* y);

// --- Straight alpha for the RGBA read (TiffAlpha.cpp) ---

// Whether the file marks its alpha as associated (premultiplied) alpha.
bool tiffAlphaAssociated(TIFF* tif);
// Has a begun RGBA read keep unassociated alpha's stored colours instead of premultiplying.
void keepStoredAlpha(TIFFRGBAImage& image);
// Straight colours from premultiplied R, G, B, A pixels.
void unpremultiplyRGBA(std::uint32_t* raster, std::size_t count);

// Rows per strip clamped to the image height (libtiff reports 2^32 - 1 for "all rows").
std::uint32_t tiffRowsPerStrip(TIFF* tif, std::uint32_t height);

// The budget line of the page's codec.
Encoding tiffEncoding(TIFF* tif);
// Whether the page's strips or tiles, by the `heldBytes` they hold in the file, can fill a
// block of `blockBytes` at the codec's greatest expansion.
bool tiffBlockJustified(TIFF* tif, std::uint64_t blockBytes, std::uint64_t heldBytes);

// The buffer that libtiff decodes one strip or tile into. Codecs may write less than a read
// reports as decoded, so each read's part is cleared of what earlier reads wrote.
class TiffBuffer {
public:
    explicit TiffBuffer(tmsize_t size);
    ~TiffBuffer();
    TiffBuffer(const TiffBuffer&) = delete;
    TiffBuffer& operator=(const TiffBuffer&) = delete;
    BYTE* data() const { return m_data; }
    tmsize_t size() const { return m_size; }
    // The first `bytes`, zeroed for a read of that many.
    BYTE* clearedFor(tmsize_t bytes);

private:
    BYTE* m_data = nullptr;
    tmsize_t m_size = 0;
    tmsize_t m_written = 0; // bytes that reads may have written
};

// Counts strip and tile reads. A read that fails leaves its rows zero and the page goes on;
// a page of which no read succeeded at all is a failure, not an empty image.
class TiffReads {
public:
    void record(bool ok) { ok ? ++m_good : ++m_failed; }
    bool nothingRead() const { return m_good == 0 && m_failed != 0; }

private:
    std::uint64_t m_good = 0;
    std::uint64_t m_failed = 0;
};

bool tiffTileGeometry(Operation& op, TIFF* tif, std::uint32_t* tileWidth,
                      std::uint32_t* tileLength);

// The most that one read of forEachTile or forEachStrip decodes: the rows of the first band
// or strip. A path whose work cannot afford it fails before it allocates its image.
std::uint64_t tiffLargestRead(TIFF* tif);

// Walks the tiles of a tiled page band by band; `place(x, y, band, tile, tileWidth,
// tileLength)` gets each tile that libtiff could read, until it fails the operation. Only the
// band's rows of a tile are decoded, rows of TIFFTileRowSize bytes, which must hold tileWidth
// pixels of `bitsPerPixel`: rows past the image are never placed. False, with status 20 or 1
// on `op`, when the tiles cannot be read at all.
template <class Place>
bool forEachTile(Operation& op, TIFF* tif, TiffWork& work, int width, int height, int bitsPerPixel,
                 TiffReads& reads, Place&& place) {
    std::uint32_t tw = 0, tl = 0;
    if (!tiffTileGeometry(op, tif, &tw, &tl)) return false;
    const tmsize_t tileRow = TIFFTileRowSize(tif);
    if (tileRow <= 0 ||
        static_cast<std::uint64_t>(tileRow) < (std::uint64_t{tw} * bitsPerPixel + 7) / 8)
        return op.fail(kTiffStripFailed);
    const std::uint64_t h = static_cast<std::uint64_t>(height);
    const std::uint64_t w = static_cast<std::uint64_t>(width);
    // A buffer that no read could fill within what the file pays for is not allocated.
    const std::uint64_t most = tiffLargestRead(tif);
    if (!work.fits(most)) return op.fail(kTiffStripFailed);
    TiffBuffer tile(static_cast<tmsize_t>(most));
    if (tile.data() == nullptr) {
        TIFFError(TIFFFileName(tif), "No space for tile buffer");
        return op.fail(kNoMemory);
    }
    for (std::uint64_t y = 0; op.ok() && y < h;) {
        const std::uint64_t band = std::min<std::uint64_t>(tl - y % tl, h - y);
        const auto bytes = static_cast<tmsize_t>(band * static_cast<std::uint64_t>(tileRow));
        for (std::uint64_t x = 0; op.ok() && x < w; x += tw) {
            const std::uint32_t index = TIFFComputeTile(tif, static_cast<std::uint32_t>(x),
                                                        static_cast<std::uint32_t>(y), 0, 0);
            const bool read =
                work.take(index, static_cast<std::uint64_t>(bytes)) &&
                TIFFReadEncodedTile(tif, index, tile.clearedFor(bytes), bytes) == bytes;
            reads.record(read);
            if (read)
                place(static_cast<int>(x), static_cast<int>(y), static_cast<int>(band),
                      static_cast<const BYTE*>(tile.data()), static_cast<int>(tw),
                      static_cast<int>(tl));
        }
        y += band;
    }
    return true;
}

// Walks the strips of a stripped page; `place(y, rows, strip, scanlineBytes)` gets the rows
// from image row y of each strip that libtiff could read: the whole rows it decoded.
template <class Place>
bool forEachStrip(Operation& op, TIFF* tif, TiffWork& work, int height, TiffReads& reads,
                  Place&& place) {
    const tmsize_t scanline = TIFFScanlineSize(tif);
    if (scanline <= 0) return op.fail(kTiffStripFailed);
    const auto h = static_cast<std::uint32_t>(height);
    const std::uint32_t rps = tiffRowsPerStrip(tif, h);
    const std::uint64_t most = tiffLargestRead(tif);
    if (!work.fits(most)) return op.fail(kTiffStripFailed);
    TiffBuffer strip(static_cast<tmsize_t>(most));
    if (strip.data() == nullptr) {
        TIFFError(TIFFFileName(tif), "No space for strip buffer");
        return op.fail(kNoMemory);
    }
    for (std::uint32_t y = 0; op.ok() && y < h;) {
        const std::uint32_t n = std::min(rps, h - y);
        const std::uint32_t index = TIFFComputeStrip(tif, y, 0);
        const tmsize_t bytes = scanline * static_cast<tmsize_t>(n);
        const tmsize_t decoded =
            work.take(index, static_cast<std::uint64_t>(bytes))
                ? TIFFReadEncodedStrip(tif, index, strip.clearedFor(bytes), bytes)
                : -1;
        reads.record(decoded >= 0);
        const auto rows = static_cast<std::uint32_t>(
            decoded > 0 ? std::min<std::uint64_t>(n, static_cast<std::uint64_t>(decoded / scanline))
                        : 0);
        if (rows > 0)
            place(static_cast<int>(y), static_cast<int>(rows),
                  static_cast<const BYTE*>(strip.data()), static_cast<std::size_t>(scanline));
        y += n;
    }
    return true;
}

} // namespace img
