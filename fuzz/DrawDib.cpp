// A BMP read as a packed DIB (run-length data stays compressed) and drawn on the screen with
// drawDIB; the last byte picks the stretch mode, the target's size (the image's own, 16 x 16,
// 400 x 16 or 16 x 400) and whether the target is mirrored across or upside down.
#include "FuzzSource.h"
#include "win32/win32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int modes[] = {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE};
    static const SIZE targets[] = {{0, 0}, {16, 16}, {400, 16}, {16, 400}};
    const std::uint8_t option = size > 0 ? data[size - 1] : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".bmp");
    if (src == nullptr) return 0;
    int width = 0, height = 0;
    RGBQUAD palette[256];
    BYTE* dib = readBMP(src, &width, &height, 0, palette, IMG_FLAG_DIB);
    closeSource(src);
    if (dib == nullptr) return 0;
    HDC screen = GetDC(nullptr);
    SetStretchBltMode(screen, modes[option & 3]);
    const SIZE target = targets[(option >> 2) & 3];
    const int w = target.cx != 0 ? target.cx : width;
    const int h = target.cy != 0 ? target.cy : height;
    // A mirrored target is measured back from its far edge.
    const bool across = (option & 16) != 0;
    const bool upsideDown = (option & 32) != 0;
    drawDIB(screen, dib, across ? w : 0, upsideDown ? h : 0, across ? -w : w, upsideDown ? -h : h);
    ReleaseDC(nullptr, screen);
    fuzzing::release(dib);
    return 0;
}
