// readPNG in a form chosen by the input's last byte, after the header query.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBits[] = {1, 8, 16, 24, 32, 48, 64};
    const unsigned options = size > 0 ? data[size - 1] : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".png");
    if (src == nullptr) return 0;
    int width = 0, height = 0, depth = 0, type = 0, interlace = 0;
    RGBQUAD palette[256];
    getPNGInfo(src, &width, &height, &depth, &type, &interlace, nullptr);
    seekSource(src, 0, 0);
    fuzzing::release(readPNG(src, &width, &height, kBits[options % 7], palette, options / 7 & 7));
    closeSource(src);
    return 0;
}
