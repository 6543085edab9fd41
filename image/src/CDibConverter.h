// Makes, reads and reshapes image buffers and packed DIBs. Every operation clears or sets the
// status that its entry point copies into the thread's last-error code.
#pragma once

#include "MemoryBlock.h"
#include "Status.h"
#include "imgcore.h"

namespace img {

// Bytes of a padded DIB row, 0 when it would overflow.
inline std::uint32_t dibRowBytes(int width, int bitsPerPixel) {
    return width > 0 && bitsPerPixel > 0 ? paddedRowBytes(static_cast<std::uint64_t>(width),
                                                          static_cast<std::uint64_t>(bitsPerPixel))
                                               .bytes()
                                         : 0;
}

// The colour of a pixel value in a table of `count` entries. A value at or past the count is
// black, as GDI paints it: pixels are file data, and no value may reach past the table.
inline RGBQUAD tableEntry(const RGBQUAD* table, unsigned count, unsigned index) {
    return index < count ? table[index] : RGBQUAD{};
}

// How the rows of a packed DIB (or of what GetDIBits gives) lie, and where they go in a
// top-down RGB buffer.
struct DibRowLayout {
    int width = 0;
    int height = 0;
    int bits = 0;
    bool bottomUp = true;
    std::uint32_t rowBytes = 0;
    unsigned tableBytes = 0;
    unsigned tableEntries = 0;
    const RGBQUAD* table = nullptr;

    BYTE* outputRow(BYTE* rgb, int scan) const {
        const int row = bottomUp ? height - 1 - scan : scan;
        return rgb + static_cast<std::size_t>(row) * static_cast<std::size_t>(width) * 3;
    }
};

class CDibConverter : public Operation {
public:
    // Packed DIBs from buffers; without a destination a zero-filled block is allocated.
    BYTE* rgbToDIB(const BYTE* rgb, int width, int height, BYTE* destination = nullptr);
    BYTE* rgbaToDIB(const BYTE* rgba, int width, int height, BYTE* destination = nullptr);
    BYTE* indexedToDIB(const BYTE* pixels, int width, int height, const RGBQUAD* palette,
                       BYTE* destination = nullptr);
    BYTE* oneBitRowsToDIB(const BYTE* rows, int width, int height, const RGBQUAD* palette,
                          BYTE* destination = nullptr);

    // Layout.
    unsigned dibByteSize(int width, int height, int bitsPerPixel, int paletteCount);
    BYTE* dibPixelData(const BYTE* dib);

    // Back to buffers.
    int dibToRGB(const BYTE* dib, BYTE* rgb);
    // Indices at or past `tableEntries` give black.
    void dibRowToRGB(const BYTE* source, BYTE* destination, int pixels, int bitsPerPixel,
                     const RGBQUAD* colourTable, unsigned tableEntries, const DWORD* masks,
                     bool appendAlpha, BYTE alpha);
    void unpackRow(const BYTE* source, BYTE* destination, int pixels, int bitsPerPixel);
    int unpackPixels(const BYTE* packed, int width, int height, int bitsPerPixel,
                     BYTE* destination);
    void twoBitToFourBit(const BYTE* source, BYTE* destination, int kind, int pixels);
    int paletteToRGB(const BYTE* rows, BYTE* destination, int width, int height, int sourceStride,
                     int destinationStride, const RGBQUAD* palette);
    int rgbToRGBA(const BYTE* rgb, int width, int height, int sourceStride, int destinationStride,
                  BYTE alpha, BYTE* destination);

    // Row reshaping.
    void swapRedBlue24(BYTE* pixels, int width, int height);
    void swapRedBlue32(BYTE* pixels, int width, int height);
    int flipVertical(BYTE* rows, int rowBytes, int rowCount);
    int copyRows(const BYTE* source, int sourceStride, int rowCount, int destinationStride,
                 BYTE* destination);
    int mirrorRows(BYTE* rows, int pixels, int rowCount, int unitsPerPixel, int rowStride);
    int mirrorRows16(WORD* rows, int pixels, int rowCount, int unitsPerPixel, int rowStride);
    int mirrorOneBitRows(BYTE* rows, int width, int height, int rowStride);

    // Right-angle rotation: direction 0, 1 (half turn) or 2; see Rotation.cpp.
    int rotateOneBit(const BYTE* source, BYTE* destination, int width, int height, int flags,
                     int sourceRowBytes, int destinationRowBytes);
    int rotateBytes(const BYTE* source, int width, int height, int sourceRowBytes,
                    BYTE* destination, int destinationRowBytes, int direction, int bytesPerPixel);
    int rotateWords(const WORD* source, int width, int height, int sourceRowSamples,
                    WORD* destination, int destinationRowSamples, int direction,
                    int samplesPerPixel);
    int rotateBytesInPlace(BYTE* buffer, int width, int height, int direction, int bytesPerPixel);
    int rotateWordsInPlace(WORD* buffer, int width, int height, int direction, int samplesPerPixel);

    int fillRect(BYTE* buffer, int width, int height, int rowBytes, DWORD colour,
                 int bytesPerPixel);

    int convertResolution(ImgResolution* record, int fromKind, int toKind);

    // GDI bitmaps and device contexts.
    int bitmapToRGB(HBITMAP bitmap, HDC dc, BYTE* rgb);
    BYTE* bitmapToDIB(HBITMAP bitmap, HPALETTE palette);
    HBITMAP DIBToHBITMAP(const BYTE* dib, HPALETTE palette, HDC dc);
    HBITMAP rgbToBitmap(const BYTE* rgb, int width, int height, HPALETTE palette, HDC dc);
    int dcToRGB(HDC dc, int x, int y, int width, int height, BYTE* rgb);

    // Drawing on a device context; see Drawing.cpp.
    int drawPackedDIB(HDC dc, const BYTE* dib, int x, int y, int width, int height);
    int drawRGBBuffer(HDC dc, const BYTE* rgb, int imageWidth, int imageHeight, int x, int y,
                      int width, int height, HPALETTE palette);
    int drawIndexedBuffer(HDC dc, const BYTE* pixels, int imageWidth, int imageHeight,
                          const RGBQUAD* entries, int x, int y, int width, int height,
                          HPALETTE palette);
    int drawRGBABuffer(HDC dc, const BYTE* pixels, int imageWidth, int imageHeight, int x, int y,
                       int width, int height, HPALETTE palette);
    int blitBitmap(HDC dc, HBITMAP bitmap, int x, int y, int sourceX, int sourceY, int width,
                   int height, HPALETTE palette);

private:
    BYTE* fillDIBBits(MemoryBlock& block, HBITMAP bitmap, HDC screen, unsigned tableBytes);
    int bitmapRowsToRGB(HBITMAP bitmap, HPALETTE palette, BYTE* rgb);
    int fetchRows(MemoryBlock& header, unsigned tableBytes, HBITMAP bitmap, HDC screen, BYTE* rgb);
    int fetchRowPieces(HBITMAP bitmap, HDC screen, const DibRowLayout& rows, BYTE* rgb);
    bool copyPiece(HDC target, HBITMAP piece, HDC source, int x, int y, int count);
    bool rowLayout(const BYTE* dib, unsigned tableBytes, const BYTE* rgb, DibRowLayout& out);
    HBITMAP deviceBitmap(const BYTE* dib, HPALETTE palette, HDC dc);
    BYTE* newDIB(BYTE* destination, Size bytes);
    template <class Sample>
    int mirrorUnits(Sample* rows, int pixels, int rowCount, int unitsPerPixel,
                    std::size_t rowStride);

    ScratchBuffer<BYTE> m_row;
};

void writeDIBHeader(BYTE* dib, int width, int height, int bitsPerPixel, DWORD sizeImage,
                    DWORD coloursUsed, DWORD coloursImportant);

// The width and height stored in a packed DIB's header; 0 with code 5 unless it has the
// 40-byte header.
int getDIBWidth(const BYTE* packedDIB, int* out);
int getDIBHeight(const BYTE* packedDIB, int* out);

} // namespace img
