// The image library's flat entry points. Every call leaves its outcome in the calling thread's
// last-error code (getLastError); image buffers and packed DIBs that it returns are global
// memory that the caller frees with GlobalFree.
#pragma once

#include "win32/win32.h"

// An open I/O source, from openFileSource until closeSource.
using SourceHandle = void*;

// {horizontal, vertical, unit}: unit 1 is dots per inch x 100, unit 0 only an aspect ratio.
struct ImgResolution {
    std::int32_t x;
    std::int32_t y;
    std::int32_t unit;
};

// Output flag: return a packed DIB instead of a pixel buffer.
#define IMG_FLAG_DIB 2

extern "C" {

// Per-thread state.
int getLastError(); // 55 when the thread has no record
void deleteLibraryLock();

// I/O sources.
SourceHandle openFileSource(const char* path);             // codes 1, 2
int seekSource(SourceHandle src, long offset, int origin); // 1 on success
int closeSource(SourceHandle src);                         // position at close
int detectFileFormat(SourceHandle src);                    // 0 when not recognised

// Readers and their queries.
int getBMPInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel, ImgResolution* res);
int readBMPPalette(SourceHandle src, int* count, RGBQUAD* palette);
BYTE* readBMP(SourceHandle src, int* width, int* height, int bitsPerPixel, RGBQUAD* palette,
              int flags);
BYTE* readGIF(SourceHandle src, int* width, int* height, int* transparentIndex, RGBQUAD* palette,
              int flags);
int getWBMPSize(SourceHandle src, int* width, int* height);
BYTE* readWBMP(SourceHandle src, int* width, int* height, RGBQUAD* palette, int bitsPerPixel,
               int flags);
int getPSDInfo(SourceHandle src, int* width, int* height, int* mode, ImgResolution* res);
int readPSDPalette(SourceHandle src, int* count, RGBQUAD* palette);
BYTE* readPSD(SourceHandle src, int* width, int* height, int bitsPerPixel, RGBQUAD* palette,
              int flags);
int getTGAInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel);
int readTGAPalette(SourceHandle src, int* count, RGBQUAD* palette);
BYTE* readTGA(SourceHandle src, int* width, int* height, int bitsPerPixel, RGBQUAD* palette,
              int flags);
int getPNGInfo(SourceHandle src, int* width, int* height, int* bitDepth, int* colourType,
               int* interlace, ImgResolution* res);
int readPNGPalette(SourceHandle src, int* count, RGBQUAD* palette);
BYTE* readPNG(SourceHandle src, int* width, int* height, int bitsPerPixel, RGBQUAD* palette,
              int flags);
int getJPEGInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel, ...);
BYTE* readJPEG(SourceHandle src, int* width, int* height, int bitsPerPixel, int flags);
int getTIFFInfo(SourceHandle src, int page, int* width, int* height, int* bitsPerPixel,
                ImgResolution* res);
BYTE* readTIFF(SourceHandle src, int* width, int* height, int bitsPerPixel, RGBQUAD* palette,
               int page, int flags);
int getPCXInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel);
int readPCXPalette(SourceHandle src, int* count, RGBQUAD* palette);
BYTE* readPCX(SourceHandle src, int* width, int* height, int bitsPerPixel, RGBQUAD* palette,
              int flags);
BYTE* readPCD(SourceHandle src, int* width, int* height, int subImage, int flags);
BYTE* loadMetafile(const char* path, int* width, int* height, int sizeX, int sizeY,
                   COLORREF background, int flags);

// GDI conversions.
int copyDCToRGB(HDC dc, int x, int y, int width, int height, BYTE* rgb);
HBITMAP rgbToHBITMAP(const BYTE* rgb, int width, int height, HPALETTE palette, HDC dc);
BYTE* oneBitToDIB(const BYTE* rows, int width, int height, const RGBQUAD* palette,
                  BYTE* destination);

// Drawing.
int drawDIB(HDC dc, const BYTE* packedDIB, int x, int y, int width, int height);
int drawRGB(HDC dc, const BYTE* rgb, int srcWidth, int srcHeight, int x, int y, int width,
            int height, HPALETTE palette);
int drawIndexed8(HDC dc, const BYTE* pixels, int srcWidth, int srcHeight, const RGBQUAD* palette,
                 int x, int y, int width, int height, HPALETTE hpal);
int drawRGBA(HDC dc, const BYTE* pixels, int srcWidth, int srcHeight, int x, int y, int width,
             int height, HPALETTE palette);

// Resizing.
int resizeRGBVariantA(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel);
int resizeRGBAreaAverage(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                         int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel,
                         int flags);
int resizeRGBVariantB(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel);
int resizeRGBVariantC(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel);
int resize8BitPalette(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                      int dstWidth, int dstHeight, int dstRowBytes, int paletteCount,
                      const RGBQUAD* palette);
int resize8BitAreaAverage(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                          int dstWidth, int dstHeight, int dstRowBytes, const RGBQUAD* palette,
                          int paletteCount, int reserved);
int resize1Bit(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
               int dstWidth, int dstHeight, int dstRowBytes);
int resizeFiltered(const BYTE* src, int srcWidth, int srcHeight, int srcRowBytes, BYTE* dst,
                   int dstWidth, int dstHeight, int dstRowBytes, int bytesPerPixel,
                   int filterIndex);

} // extern "C"
