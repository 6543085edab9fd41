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
    // A caller sizes the RGB buffer from the header, which a file can make claim more pixels
    // than the block has bits; such a DIB is no image to convert.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) *
                                 static_cast<std::uint64_t>(std::abs(std::int64_t{height}));
    if (out != nullptr && flags != 0 && width > 0 && height != 0 && pixels / 8 <= GlobalSize(out)) {
        std::vector<BYTE> rgb(pixels * 3);
        img::CDibConverter().dibToRGB(out, rgb.data());
    }
    fuzzing::release(out);
    closeSource(src);
    return 0;
}
