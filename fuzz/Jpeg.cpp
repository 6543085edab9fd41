// readJPEG in a form chosen by the input's last byte, after the header query.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBits[] = {8, 24, 32};
    const unsigned options = size > 0 ? data[size - 1] : 0;
    SourceHandle src = fuzzing::openInput(data, size, ".jpg");
    if (src == nullptr) return 0;
    int width = 0, height = 0, bits = 0;
    getJPEGInfo(src, &width, &height, &bits, nullptr);
    seekSource(src, 0, 0);
    fuzzing::release(readJPEG(src, &width, &height, kBits[options % 3], options / 3 & 31));
    closeSource(src);
    return 0;
}
