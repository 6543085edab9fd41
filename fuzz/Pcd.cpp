// readPCD on arbitrary bytes; the last byte picks the sub-image (1 to 5, which reaches both
// correction levels) and the output flag.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t last = size != 0 ? data[size - 1] : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".pcd");
    if (src == nullptr) return 0;
    int width = 0, height = 0;
    fuzzing::release(
        readPCD(src, &width, &height, 1 + (last & 7) % 5, last & 0x80 ? IMG_FLAG_DIB : 0));
    closeSource(src);
    return 0;
}
