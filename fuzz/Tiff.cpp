// The TIFF reader on any input: the last two bytes pick the depth, page and flags.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kDepths[] = {1, 8, 16, 24, 32, 0, 0, 0};
    const unsigned pick = size >= 2 ? data[size - 1] : 0;
    const int flags = size >= 2 ? data[size - 2] & 0x3F : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".tif");
    if (src == nullptr) return 0;
    int width = 0, height = 0, bits = 0;
    RGBQUAD palette[256];
    getTIFFInfo(src, 0, &width, &height, &bits, nullptr);
    seekSource(src, 0, 0);
    fuzzing::release(
        readTIFF(src, &width, &height, kDepths[pick & 7], palette, (pick >> 3) & 1, flags));
    closeSource(src);
    return 0;
}
