#include "EntryFrame.h"
#include "PngReader.h"

using namespace img;

namespace {

// Out-pointers a caller leaves null are given a place of their own, so that no path writes
// through them.
template <class T> T* orScratch(T* given, T& scratch) {
    return given != nullptr ? given : &scratch;
}

} // namespace

extern "C" BYTE* readPNG(SourceHandle src, int* width, int* height, int bitsPerPixel,
                         RGBQUAD* palette, int flags) {
    return frameR<PngReader>(src, true, [&](PngReader& reader) -> BYTE* {
        int w = 0, h = 0;
        width = orScratch(width, w);
        height = orScratch(height, h);
        if (flags & IMG_FLAG_DIB) return reader.readDib(width, height, flags);
        switch (bitsPerPixel) {
        case 1:
        case 8:
        case 24:
            return reader.readIndexedOrRgb(width, height, bitsPerPixel, false, palette, flags);
        case 16:
            if (flags & kPngGrey16)
                return reader.readIndexedOrRgb(width, height, 16, true, palette, flags);
            return reader.readGreyAlpha(width, height, flags);
        case 48:
            return reader.readIndexedOrRgb(width, height, 48, true, palette, flags);
        case 32:
            return reader.readRgba(width, height, false, flags);
        case 64:
            return reader.readRgba(width, height, true, flags);
        default:
            return reader.fail(kBadArgument);
        }
    });
}

extern "C" int getPNGInfo(SourceHandle src, int* width, int* height, int* bitDepth, int* colourType,
                          int* interlace, ImgResolution* res) {
    return frameR<PngReader>(src, true, [&](PngReader& reader) {
        int w = 0, h = 0, depth = 0, type = 0, method = 0;
        return reader.info(orScratch(width, w), orScratch(height, h), orScratch(bitDepth, depth),
                           orScratch(colourType, type), orScratch(interlace, method), res, nullptr,
                           nullptr);
    });
}

extern "C" int readPNGPalette(SourceHandle src, int* count, RGBQUAD* palette) {
    return frameR<PngReader>(src, true, [&](PngReader& reader) {
        int width = 0, height = 0, depth = 0, type = 0, method = 0, entries = 0;
        return reader.info(&width, &height, &depth, &type, &method, nullptr,
                           orScratch(count, entries), palette);
    });
}
