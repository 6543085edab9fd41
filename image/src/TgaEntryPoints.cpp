#include "EntryFrame.h"
#include "TgaReader.h"

using namespace img;

extern "C" int getTGAInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel) {
    const bool args = width != nullptr && height != nullptr && bitsPerPixel != nullptr;
    return frameR<TgaReader>(src, args,
                             [&](TgaReader& r) { return r.getInfo(width, height, bitsPerPixel); });
}

extern "C" int readTGAPalette(SourceHandle src, int* count, RGBQUAD* palette) {
    const bool args = count != nullptr && palette != nullptr;
    return frameR<TgaReader>(src, args,
                             [&](TgaReader& r) { return r.readPalette(count, palette); });
}

extern "C" BYTE* readTGA(SourceHandle src, int* width, int* height, int bitsPerPixel,
                         RGBQUAD* palette, int flags) {
    const bool dib = (flags & IMG_FLAG_DIB) != 0;
    // An 8-bit buffer comes with its palette, so the caller must give one.
    const bool args =
        width != nullptr && height != nullptr && (dib || bitsPerPixel != 8 || palette != nullptr);
    return frameR<TgaReader>(
        src, args, [&](TgaReader& r) { return r.read(width, height, bitsPerPixel, palette, dib); });
}
