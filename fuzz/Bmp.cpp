// Every BMP entry point on one input; the last byte picks the output depth and the DIB flag.
// A packed DIB is walked row by row, so a block smaller than its header says shows up.
#include "CDibConverter.h"
#include "FuzzSource.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int depths[] = {1, 8, 24, 32};
    const std::uint8_t option = size > 0 ? data[size - 1] : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".bmp");
    if (src == nullptr) return 0;
    int width = 0, height = 0, bits = 0, count = 0;
    RGBQUAD palette[256];
    ImgResolution res;
    getBMPInfo(src, &width, &height, &bits, &res);
    seekSource(src, 0, 0);
    readBMPPalette(src, &count, palette);
    seekSource(src, 0, 0);
    const int flags = (option & 4) != 0 ? IMG_FLAG_DIB : 0;
    BYTE* out = readBMP(src, &width, &height, depths[option & 3], palette, flags);
    if (out != nullptr && flags != 0 && width > 0 && height != 0) {
        std::vector<BYTE> rgb(static_cast<std::size_t>(width) * std::abs(height) * 3);
        img::CDibConverter().dibToRGB(out, rgb.data());
    }
    fuzzing::release(out);
    closeSource(src);
    return 0;
}
