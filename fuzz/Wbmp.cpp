// Both WBMP entry points; the last byte picks 1 or 8 bits and the DIB flag.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t option = size > 0 ? data[size - 1] : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".wbmp");
    if (src == nullptr) return 0;
    int width = 0, height = 0;
    RGBQUAD palette[2];
    getWBMPSize(src, &width, &height);
    seekSource(src, 0, 0);
    const int bits = (option & 1) != 0 ? 8 : 1;
    const int flags = (option & 2) != 0 ? IMG_FLAG_DIB : 0;
    fuzzing::release(readWBMP(src, &width, &height, palette, bits, flags));
    closeSource(src);
    return 0;
}
