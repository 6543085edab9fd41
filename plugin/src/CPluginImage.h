// Every image the plug-in holds: a picture read from a file, the result of a resize, or the
// canvas a thumbnail is composed on. Pixel work is the image library's.
#pragma once

#include "imgcore.h"

#include <string>

class CDC;

namespace gallimo {

// The plug-in's own numbering of image files: it picks the reader, depth and palette step.
enum PluginFileType {
    kJpeg24 = 0,
    kJpegGrey = 1,
    kBmp24 = 2,
    kBmp8 = 3,
    kPcx24 = 4,
    kPcx8 = 5,
    kPng24 = 6,
    kPng8 = 7,
    kPng32 = 8,
    kTiff24 = 9,
    kTiff8 = 10,
    kTiff32 = 11,
    kTga24 = 12,
    kTga8 = 13,
    kWmf = 14,
    kEmf = 15,
    kPsd24 = 16,
    kPsd8 = 17,
    kWbmp = 18,
    kTiff1 = 19,
    kPng1 = 20,
    kBmp1 = 21,
    kPhotoCd = 22,
    kUnknownType = 23,
    kGif = 24,
};

class CPluginImage {
public:
    CPluginImage() = default;
    virtual ~CPluginImage();
    CPluginImage(const CPluginImage&) = delete;
    CPluginImage& operator=(const CPluginImage&) = delete;

    virtual void FreeBuffer();

    int Load(const char* path, bool allowAlpha, int type, int page);
    int ReadPixels(SourceHandle source, int type, int page);
    void ReadResolution(SourceHandle source, int type);
    static int TypeFromFile(const char* path);
    static int TypeFromContent(SourceHandle source, const char* path);
    static int TypeFromExtension(const char* name);

    int Draw(HDC dc, POINT point, HPALETTE palette);
    int ResizeTo(SIZE size, int quality);
    int Resize(const CPluginImage& source, int width, int height, int quality);

    int Allocate(int width, int height, int bitsPerPixel);
    int AllocateSize(SIZE size, int bitsPerPixel) {
        return Allocate(size.cx, size.cy, bitsPerPixel);
    }
    int GetRowBytes() const;
    static unsigned GetBufferSize(int width, int height, int bitsPerPixel);
    static int BytesForBits(int n) { return (n + 7) / 8; }

    int TakeFrom(CPluginImage& other);
    int CopyFrom(const CPluginImage& other);
    void CopyFormat(const CPluginImage& other);
    void CopyInfo(const CPluginImage& other);

    unsigned xResolution = 300;
    unsigned yResolution = 300;
    int resolutionUnit = 1;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int paletteCount = 0;
    RGBQUAD palette[256];
    int fileType = kUnknownType;
    std::string path;
    int page = 0;
    bool libraryOwned = true;
    BYTE* buffer = nullptr;

private:
    void takeLibraryBuffer(BYTE* pixels);
    void correctTiffAspect();
};

} // namespace gallimo
