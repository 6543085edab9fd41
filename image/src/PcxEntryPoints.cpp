#include "EntryFrame.h"
#include "PcxReader.h"

using namespace img;

extern "C" int getPCXInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel) {
    const bool args = width != nullptr && height != nullptr && bitsPerPixel != nullptr;
    return frameR<PcxReader>(
        src, args, [&](PcxReader& r) { return r.getInfo(width, height, bitsPerPixel, nullptr); });
}

extern "C" int readPCXPalette(SourceHandle src, int* count, RGBQUAD* palette) {
    const bool args = count != nullptr && palette != nullptr;
    return frameR<PcxReader>(src, args,
                             [&](PcxReader& r) { return r.readPalette(count, palette); });
}

extern "C" BYTE* readPCX(SourceHandle src, int* width, int* height, int bitsPerPixel,
                         RGBQUAD* palette, int flags) {
    const bool dib = (flags & IMG_FLAG_DIB) != 0;
    // Buffers of 1 and 8 bits come with their palette, so the caller must give one.
    const bool indexed = !dib && (bitsPerPixel == 1 || bitsPerPixel == 8);
    const bool args = width != nullptr && height != nullptr && (!indexed || palette != nullptr);
    return frameR<PcxReader>(src, args, [&](PcxReader& r) {
        return r.read(width, height, bitsPerPixel, palette, flags);
    });
}
