// The Photo CD correction decoder alone on arbitrary bytes, into planes small enough that
// any write outside them shows. The first byte picks one table or three.
#include "FuzzSource.h"
#include "PcdReader.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    SourceHandle src = fuzzing::openInput(data + 1, size - 1, ".huf");
    if (src == nullptr) return 0;
    constexpr int kStride = 48, kRows = 40;
    const std::size_t planeBytes = kStride * kRows + 1;
    std::vector<BYTE> luma(planeBytes), chroma1(planeBytes), chroma2(planeBytes);
    img::CImgIO io(static_cast<img::SourceRecord*>(src));
    img::decodePCDCorrections(io, data[0] & 1 ? 3072 : 1536, kStride, kRows, luma.data(),
                              chroma1.data(), chroma2.data(), planeBytes);
    closeSource(src);
    return 0;
}
