#include "BmpReader.h"
#include "CDibConverter.h"
#include "EntryFrame.h"

using namespace img;

extern "C" int getBMPInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel,
                          ImgResolution* res) {
    return frameR<BmpReader>(src, true, [&](BmpReader& reader) {
        return reader.info(width, height, bitsPerPixel, res, 0);
    });
}

extern "C" int readBMPPalette(SourceHandle src, int* count, RGBQUAD* palette) {
    return frameR<BmpReader>(src, true,
                             [&](BmpReader& reader) { return reader.readPalette(count, palette); });
}

extern "C" BYTE* readBMP(SourceHandle src, int* width, int* height, int bitsPerPixel,
                         RGBQUAD* palette, int flags) {
    return frameR<BmpReader>(src, true, [&](BmpReader& reader) -> BYTE* {
        if ((flags & IMG_FLAG_DIB) != 0) {
            BYTE* dib = reader.readPackedDib();
            if (dib != nullptr) {
                getDIBWidth(dib, width);
                getDIBHeight(dib, height);
            }
            return dib;
        }
        switch (bitsPerPixel) {
        case 1:
        case 8:
            return reader.readIndexed(width, height, bitsPerPixel, palette);
        case 24:
        case 32:
            return reader.readColour(width, height, bitsPerPixel);
        default:
            return reader.fail(kBadArgument);
        }
    });
}
