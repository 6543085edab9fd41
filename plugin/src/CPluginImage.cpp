#include "CPluginImage.h"

#include <cmath>
#include <cstring>
#include <new>

namespace gallimo {
namespace {

bool rewind(SourceHandle source) {
    return seekSource(source, 0, 0) != 0;
}

// The plug-in file type of each library format number the content shows.
int typeOfFormat(int format) {
    switch (format) {
    case 1:
        return kBmp24;
    case 2:
        return kGif;
    case 3:
        return kJpeg24;
    case 4:
        return kPng24;
    case 5:
        return kPcx24;
    case 6:
        return kTiff24;
    case 7:
        return kWmf;
    case 8:
        return kEmf;
    case 10:
        return kPsd24;
    case 13:
        return kWbmp;
    case 14:
        return kTga24;
    case 16:
        return kPhotoCd;
    default:
        return -1;
    }
}

// Narrows by the header; an info call that fails leaves the type as it was.
int refineByHeader(SourceHandle source, int type) {
    int w = 0, h = 0, bits = 0;
    switch (type) {
    case kJpeg24:
        return getJPEGInfo(source, &w, &h, &bits, nullptr) && bits <= 8 ? kJpegGrey : type;
    case kBmp24:
        if (!getBMPInfo(source, &w, &h, &bits, nullptr)) return type;
        return bits > 8 ? kBmp24 : bits == 1 ? kBmp1 : kBmp8;
    case kPcx24:
        return getPCXInfo(source, &w, &h, &bits) && bits <= 8 ? kPcx8 : type;
    case kPng24: {
        int depth = 0, colourType = 0, interlace = 0;
        const int ok = getPNGInfo(source, &w, &h, &depth, &colourType, &interlace, nullptr);
        if (ok && colourType == 6) type = kPng32;
        if (depth <= 8 && colourType == 3) type = kPng8;
        if (depth == 1) type = kPng1;
        return type;
    }
    case kTiff24:
        if (!getTIFFInfo(source, 0, &w, &h, &bits, nullptr)) return type;
        return bits == 32 ? kTiff32 : bits > 8 ? kTiff24 : bits == 1 ? kTiff1 : kTiff8;
    case kTga24:
        return getTGAInfo(source, &w, &h, &bits) && bits <= 8 ? kTga8 : type;
    case kPsd24: {
        int mode = 0;
        const bool indexedModes = getPSDInfo(source, &w, &h, &mode, nullptr) &&
                                  (mode == 0 || mode == 1 || mode == 2 || mode == 8);
        return indexedModes ? kPsd8 : type;
    }
    case kWbmp:
        getWBMPSize(source, &w, &h);
        return type;
    default:
        return type;
    }
}

void greyRamp(RGBQUAD* palette) {
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        palette[i] = {v, v, v, v};
    }
}

} // namespace

CPluginImage::~CPluginImage() {
    FreeBuffer();
}

void CPluginImage::FreeBuffer() {
    if (buffer != nullptr) {
        if (libraryOwned)
            GlobalFree(buffer);
        else
            delete[] buffer;
    }
    buffer = nullptr;
    width = height = bitsPerPixel = paletteCount = 0;
}

void CPluginImage::takeLibraryBuffer(BYTE* pixels) {
    buffer = pixels;
    libraryOwned = true;
}

int CPluginImage::Load(const char* file, bool allowAlpha, int type, int pageIndex) {
    FreeBuffer();
    if (file == nullptr || *file == '\0') return 2;
    if (type == kUnknownType) {
        type = TypeFromFile(file);
        if (type == kUnknownType) return 5;
    }
    if (!allowAlpha && type == kPng32) type = kPng24;
    if (type == kWmf || type == kEmf) {
        int w = 0, h = 0;
        BYTE* pixels = loadMetafile(file, &w, &h, 100, 100, 0, 0);
        const int code = getLastError();
        if (pixels != nullptr && code == 0) {
            takeLibraryBuffer(pixels);
            width = w;
            height = h;
            bitsPerPixel = 24;
            fileType = type;
            path = file;
            page = 0;
        } else if (pixels != nullptr) {
            GlobalFree(pixels);
        }
        return code;
    }
    SourceHandle source = openFileSource(file);
    if (source == nullptr) return getLastError();
    const int code = ReadPixels(source, type, pageIndex);
    path = file;
    closeSource(source);
    return code;
}

int CPluginImage::ReadPixels(SourceHandle source, int type, int pageIndex) {
    int w = 0, h = 0, bits = 0, count = 0;
    BYTE* pixels = nullptr;
    int code = 0;
    // Readers with a palette step stop at once when they return nothing. Where the query has
    // no table to give (a grey TGA without a colour map, a 16-bit grey PSD), the pixels index
    // the whole table that the reader itself filled, and that table stays.
    auto readPalette = [&](int (*query)(SourceHandle, int*, RGBQUAD*)) {
        if (pixels == nullptr) return false;
        rewind(source);
        RGBQUAD table[256] = {};
        int entries = 0;
        if (query(source, &entries, table) != 0 && entries > 0) {
            std::memcpy(palette, table, sizeof table);
            count = entries < 256 ? entries : 256;
        } else {
            count = bits == 1 ? 2 : 256;
        }
        return true;
    };
    switch (type) {
    case kJpeg24:
        pixels = readJPEG(source, &w, &h, 24, 0), bits = 24;
        break;
    case kJpegGrey:
        pixels = readJPEG(source, &w, &h, 8, 0), bits = 8, count = 256;
        greyRamp(palette);
        break;
    case kBmp24:
        pixels = readBMP(source, &w, &h, 24, nullptr, 0), bits = 24;
        break;
    case kBmp8:
        pixels = readBMP(source, &w, &h, 8, palette, 0), bits = 8;
        break;
    case kPcx24:
        pixels = readPCX(source, &w, &h, 24, nullptr, 0), bits = 24;
        break;
    case kPcx8:
        pixels = readPCX(source, &w, &h, 8, palette, 0), bits = 8;
        break;
    case kPng24:
        pixels = readPNG(source, &w, &h, 24, nullptr, 0), bits = 24;
        break;
    case kPng8:
        pixels = readPNG(source, &w, &h, 8, palette, 0), bits = 8;
        break;
    case kPng32:
        pixels = readPNG(source, &w, &h, 32, nullptr, 0), bits = 32;
        break;
    case kTiff24:
        pixels = readTIFF(source, &w, &h, 24, nullptr, pageIndex, 0), bits = 24;
        break;
    case kTiff8:
        pixels = readTIFF(source, &w, &h, 8, palette, pageIndex, 0), bits = 8, count = 256;
        break;
    case kTiff32:
        pixels = readTIFF(source, &w, &h, 32, nullptr, pageIndex, 0), bits = 32;
        break;
    case kTga24:
        pixels = readTGA(source, &w, &h, 24, nullptr, 0), bits = 24;
        break;
    case kTga8:
        pixels = readTGA(source, &w, &h, 8, palette, 0), bits = 8;
        break;
    case kPsd24:
        pixels = readPSD(source, &w, &h, 24, nullptr, 0), bits = 24;
        break;
    case kPsd8:
        pixels = readPSD(source, &w, &h, 8, palette, 0), bits = 8;
        break;
    case kWbmp:
        pixels = readWBMP(source, &w, &h, palette, 8, 0), bits = 8, count = 2;
        break;
    case kTiff1:
        pixels = readTIFF(source, &w, &h, 1, palette, pageIndex, 0), bits = 1, count = 2;
        break;
    case kPng1:
        pixels = readPNG(source, &w, &h, 1, palette, 0), bits = 1;
        break;
    case kBmp1:
        pixels = readBMP(source, &w, &h, 1, palette, 0), bits = 1;
        break;
    case kPhotoCd:
        pixels = readPCD(source, &w, &h, 3, 0), bits = 24;
        break;
    case kGif: {
        int transparent = -1;
        pixels = readGIF(source, &w, &h, &transparent, palette, 0), bits = 8, count = 256;
        break;
    }
    default:
        return 0;
    }
    code = getLastError();
    switch (type) {
    case kBmp8:
    case kBmp1:
        if (!readPalette(readBMPPalette)) return code;
        break;
    case kPcx8:
        if (!readPalette(readPCXPalette)) return code;
        break;
    case kPng8:
    case kPng1:
        if (!readPalette(readPNGPalette)) return code;
        break;
    case kTga8:
        if (!readPalette(readTGAPalette)) return code;
        break;
    case kPsd8:
        if (!readPalette(readPSDPalette)) return code;
        break;
    default:
        break;
    }
    if (pixels == nullptr) return code;
    if (type == kTiff1) {
        // Bilevel TIFF pixels are drawn white for 0 and black for 1, whatever the file said.
        palette[0].rgbBlue = palette[0].rgbGreen = palette[0].rgbRed = 255;
        palette[1].rgbBlue = palette[1].rgbGreen = palette[1].rgbRed = 0;
    }
    ReadResolution(source, type);
    width = w;
    height = h;
    bitsPerPixel = bits;
    paletteCount = count;
    takeLibraryBuffer(pixels);
    fileType = type;
    if (type == kTiff24 || type == kTiff8 || type == kTiff32 || type == kTiff1) page = pageIndex;
    if (type == kTiff24 || type == kTiff8) correctTiffAspect();
    return code;
}

void CPluginImage::correctTiffAspect() {
    const unsigned x = xResolution, y = yResolution;
    if (x == y || x == 0) return;
    const double r = static_cast<double>(y) / x;
    if (r == 0 || std::fabs(1 - r) <= 0.25) return;
    const int newHeight = static_cast<int>(height / r);
    CPluginImage stretched;
    if (stretched.Resize(*this, width, newHeight, 0) == 0) TakeFrom(stretched);
}

void CPluginImage::ReadResolution(SourceHandle source, int type) {
    ImgResolution r{0, 0, 0};
    int w = 0, h = 0, bits = 0;
    auto keep = [this, &r](int unit) {
        xResolution = static_cast<unsigned>(r.x);
        yResolution = static_cast<unsigned>(r.y);
        resolutionUnit = unit;
    };
    // Per-metre values from PNG headers become per centimetre.
    auto perMetre = [this, &r, &keep] {
        if (r.unit == 1) {
            xResolution = static_cast<unsigned>(r.x) / 100;
            yResolution = static_cast<unsigned>(r.y) / 100;
            resolutionUnit = 3;
        } else {
            keep(1);
        }
    };
    switch (type) {
    case kJpeg24:
    case kJpegGrey:
        rewind(source);
        getJPEGInfo(source, &w, &h, &bits, &r);
        keep(r.unit == 1 ? 2 : r.unit == 2 ? 3 : 1);
        break;
    case kBmp24:
    case kBmp8:
        rewind(source);
        getBMPInfo(source, &w, &h, &bits, &r);
        // The library's unit 1 already holds the header's per-metre values over 100.
        keep(r.unit == 1 ? 3 : 1);
        break;
    case kPng24:
    case kPng8:
    case kPng1: {
        int depth = 0, colourType = 0, interlace = 0;
        rewind(source);
        getPNGInfo(source, &w, &h, &depth, &colourType, &interlace, &r);
        perMetre();
        break;
    }
    case kTiff24:
    case kTiff8:
    case kTiff32:
    case kTiff1:
        rewind(source);
        getTIFFInfo(source, 0, &w, &h, &bits, &r);
        keep(r.unit == 2 ? 2 : r.unit == 3 ? 3 : 1);
        break;
    default:
        xResolution = yResolution = 300;
        resolutionUnit = 1;
        break;
    }
}

int CPluginImage::TypeFromFile(const char* file) {
    SourceHandle source = openFileSource(file);
    if (source == nullptr) return kUnknownType;
    const int type = TypeFromContent(source, file);
    closeSource(source);
    return type;
}

int CPluginImage::TypeFromContent(SourceHandle source, const char* file) {
    int type = typeOfFormat(detectFileFormat(source));
    if (type < 0) {
        const char* dot = file != nullptr ? std::strrchr(file, '.') : nullptr;
        type = TypeFromExtension(dot != nullptr ? dot : "");
    }
    rewind(source);
    return refineByHeader(source, type);
}

int CPluginImage::TypeFromExtension(const char* name) {
    const char* dot = name != nullptr ? std::strrchr(name, '.') : nullptr;
    if (dot == nullptr) return kUnknownType;
    struct Entry {
        const char* extension;
        int type;
    };
    static const Entry kTable[] = {
        {".bmp", kBmp24},   {".gif", kGif},     {".wbmp", kWbmp},  {".wbm", kWbmp},
        {".tga", kTga24},   {".jpeg", kJpeg24}, {".jpg", kJpeg24}, {".tif", kTiff24},
        {".tiff", kTiff24}, {".pcx", kPcx24},   {".png", kPng24},  {".wmf", kWmf},
        {".emf", kEmf},
    };
    for (const Entry& e : kTable)
        if (_mbsicmp(reinterpret_cast<const unsigned char*>(dot),
                     reinterpret_cast<const unsigned char*>(e.extension)) == 0)
            return e.type;
    return kUnknownType;
}

int CPluginImage::Draw(HDC dc, POINT at, HPALETTE hpal) {
    if (buffer == nullptr) return 5;
    switch (bitsPerPixel) {
    case 24:
        drawRGB(dc, buffer, width, height, at.x, at.y, width, height, hpal);
        break;
    case 32:
        drawRGBA(dc, buffer, width, height, at.x, at.y, width, height, hpal);
        break;
    case 8:
        drawIndexed8(dc, buffer, width, height, palette, at.x, at.y, width, height, hpal);
        break;
    case 1:
        if (BYTE* dib = oneBitToDIB(buffer, width, height, palette, nullptr)) {
            drawDIB(dc, dib, at.x, at.y, width, height);
            GlobalFree(dib);
        }
        break;
    default:
        break;
    }
    return getLastError();
}

int CPluginImage::Resize(const CPluginImage& source, int newWidth, int newHeight, int quality) {
    if (source.buffer == nullptr) return 5;
    if (newWidth == source.width && newHeight == source.height) return CopyFrom(source);
    const int code = Allocate(newWidth, newHeight, source.bitsPerPixel);
    if (code != 0) {
        FreeBuffer();
        return code;
    }
    const BYTE* src = source.buffer;
    const int sw = source.width, sh = source.height, srb = source.GetRowBytes();
    const int drb = GetRowBytes();
    const bool shrinking = static_cast<unsigned>(newWidth) <= static_cast<unsigned>(sw) &&
                           static_cast<unsigned>(newHeight) <= static_cast<unsigned>(sh);
    int ok = 0;
    switch (source.bitsPerPixel) {
    case 24:
    case 32: {
        const int bytes = source.bitsPerPixel / 8;
        switch (quality) {
        case 1:
            ok = resizeRGBVariantC(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes);
            break;
        case 2:
        case 3:
            if (shrinking)
                ok = resizeRGBAreaAverage(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes,
                                          1);
            else if (quality == 2)
                ok = resizeRGBVariantA(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes);
            else
                ok = resizeRGBVariantC(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes);
            break;
        case 4:
            ok = resizeRGBVariantB(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes);
            break;
        case 5:
            ok = resizeFiltered(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes, 8);
            break;
        case 6:
            ok = resizeFiltered(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes, 13);
            break;
        case 7:
            ok = resizeFiltered(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes, 9);
            break;
        default:
            ok = resizeRGBVariantA(src, sw, sh, srb, buffer, newWidth, newHeight, drb, bytes);
            break;
        }
        break;
    }
    case 8:
        if (quality == 2 && shrinking)
            ok = resize8BitAreaAverage(src, sw, sh, srb, buffer, newWidth, newHeight, drb,
                                       source.palette, source.paletteCount, 0);
        else if (quality == 4)
            ok = resizeRGBVariantB(src, sw, sh, srb, buffer, newWidth, newHeight, drb, 1);
        else
            ok = resize8BitPalette(src, sw, sh, srb, buffer, newWidth, newHeight, drb,
                                   source.paletteCount, source.palette);
        break;
    case 1:
        ok = resize1Bit(src, sw, sh, srb, buffer, newWidth, newHeight, drb);
        break;
    default:
        return getLastError();
    }
    if (!ok) return getLastError();
    std::memcpy(palette, source.palette, sizeof palette);
    paletteCount = source.paletteCount;
    fileType = source.fileType;
    xResolution = source.xResolution;
    yResolution = source.yResolution;
    resolutionUnit = source.resolutionUnit;
    return 0;
}

int CPluginImage::ResizeTo(SIZE size, int quality) {
    if (buffer == nullptr) return 5;
    CPluginImage resized;
    const int code = resized.Resize(*this, size.cx, size.cy, quality);
    if (code != 0) return code;
    return TakeFrom(resized);
}

int CPluginImage::Allocate(int newWidth, int newHeight, int bits) {
    FreeBuffer();
    const unsigned bytes = GetBufferSize(newWidth, newHeight, bits);
    if (bytes == 0) return 1;
    buffer = new (std::nothrow) BYTE[bytes];
    if (buffer == nullptr) return 1;
    libraryOwned = false;
    width = newWidth;
    height = newHeight;
    bitsPerPixel = bits;
    return 0;
}

int CPluginImage::GetRowBytes() const {
    switch (bitsPerPixel) {
    case 1:
        return (width + 7) / 8;
    case 8:
        return width;
    case 24:
        return 3 * width;
    case 32:
        return 4 * width;
    default:
        return 0;
    }
}

unsigned CPluginImage::GetBufferSize(int w, int h, int bits) {
    if (w <= 0 || h <= 0 || bits <= 0) return 0;
    // Sizes that do not fit in 32 bits are refused rather than wrapped.
    const unsigned long long rows = bits == 1 ? (static_cast<unsigned long long>(w) + 7) / 8
                                              : static_cast<unsigned long long>(w) * (bits / 8);
    const unsigned long long total = rows * static_cast<unsigned long long>(h);
    return total <= 0xFFFFFFFFull ? static_cast<unsigned>(total) : 0;
}

int CPluginImage::TakeFrom(CPluginImage& other) {
    FreeBuffer();
    if (other.buffer == nullptr) return 5;
    buffer = other.buffer;
    libraryOwned = other.libraryOwned;
    other.buffer = nullptr;
    width = other.width;
    height = other.height;
    bitsPerPixel = other.bitsPerPixel;
    paletteCount = other.paletteCount;
    std::memcpy(palette, other.palette,
                sizeof(RGBQUAD) * static_cast<unsigned>(paletteCount > 256 ? 256 : paletteCount));
    fileType = other.fileType;
    xResolution = other.xResolution;
    yResolution = other.yResolution;
    resolutionUnit = other.resolutionUnit;
    other.FreeBuffer();
    return 0;
}

int CPluginImage::CopyFrom(const CPluginImage& other) {
    FreeBuffer();
    const int code = Allocate(other.width, other.height, other.bitsPerPixel);
    if (code != 0) return code;
    std::memcpy(buffer, other.buffer, GetBufferSize(other.width, other.height, other.bitsPerPixel));
    CopyFormat(other);
    return 0;
}

void CPluginImage::CopyFormat(const CPluginImage& other) {
    std::memcpy(palette, other.palette, sizeof palette);
    paletteCount = other.paletteCount;
    bitsPerPixel = other.bitsPerPixel;
    CopyInfo(other);
}

void CPluginImage::CopyInfo(const CPluginImage& other) {
    xResolution = other.xResolution;
    yResolution = other.yResolution;
    resolutionUnit = other.resolutionUnit;
    path = other.path;
    page = other.page;
    fileType = other.fileType;
}

} // namespace gallimo
