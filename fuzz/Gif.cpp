// GIF reader on arbitrary bytes, as pixels and as a packed DIB.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SourceHandle src = fuzzing::openInput(data, size, ".gif");
    if (src == nullptr) return 0;
    for (int flags : {0, IMG_FLAG_DIB}) {
        int width = 0, height = 0, transparent = 0;
        RGBQUAD palette[256];
        seekSource(src, 0, 0);
        fuzzing::release(readGIF(src, &width, &height, &transparent, palette, flags));
    }
    closeSource(src);
    return 0;
}
