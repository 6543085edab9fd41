// A BMP read as a packed DIB (run-length data stays compressed) and drawn on the screen with
// drawDIB; the last byte picks the stretch mode and whether the DIB is shrunk to 16 x 16.
#include "FuzzSource.h"
#include "win32/win32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int modes[] = {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE};
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
    const bool shrink = (option & 4) != 0;
    drawDIB(screen, dib, 0, 0, shrink ? 16 : width, shrink ? 16 : height);
    ReleaseDC(nullptr, screen);
    fuzzing::release(dib);
    return 0;
}
