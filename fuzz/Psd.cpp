// Layered-image reader on arbitrary bytes: the queries, then every output form.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SourceHandle src = fuzzing::openInput(data, size, ".psd");
    if (src == nullptr) return 0;
    int width = 0, height = 0, mode = 0, count = 0;
    ImgResolution resolution{};
    RGBQUAD palette[256];
    getPSDInfo(src, &width, &height, &mode, &resolution);
    seekSource(src, 0, 0);
    readPSDPalette(src, &count, palette);
    for (auto [bits, flags] : {std::pair{8, 0}, std::pair{24, 0}, std::pair{32, 4},
                               std::pair{0, IMG_FLAG_DIB}, std::pair{0, IMG_FLAG_DIB | 4}}) {
        seekSource(src, 0, 0);
        fuzzing::release(readPSD(src, &width, &height, bits, palette, flags));
    }
    closeSource(src);
    return 0;
}
