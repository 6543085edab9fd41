// The last byte picks the requested depth and the output form; the queries run first.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBits[] = {1, 8, 24, 4};
    const unsigned choice = size != 0 ? data[size - 1] : 0;
    ImgSource src = fuzzing::openInput(data, size, ".pcx");
    if (src == nullptr) return 0;
    int width = 0, height = 0, depth = 0, count = 0;
    RGBQUAD palette[256];
    getPCXInfo(src, &width, &height, &depth);
    seekSource(src, 0, SEEK_SET);
    readPCXPalette(src, &count, palette);
    seekSource(src, 0, SEEK_SET);
    // Filling a big image takes most of a run however short the input, so big images are read
    // only when the input asks for it, and small ones fill the rest of the time.
    const bool big = static_cast<long long>(width) * height > (1 << 18);
    if (!big || (choice & 0xF8) == 0xA0)
        fuzzing::release(readPCX(src, &width, &height, kBits[choice & 3], palette,
                                 (choice & 4) != 0 ? IMG_FLAG_DIB : 0));
    closeSource(src);
    return 0;
}
