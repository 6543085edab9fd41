#include "BlockBudget.h"
#include "CImgIO.h"

#include <algorithm>

namespace img {
namespace {

const Density* densityOf(Encoding encoding) {
    for (const Density& d : kDensities)
        if (d.encoding == encoding) return &d;
    return nullptr;
}

} // namespace

std::uint64_t greatestUnits(Encoding encoding, std::uint64_t sourceBytes) {
    const Density* d = densityOf(encoding);
    if (d == nullptr) return kSkippingBlockCeiling;
    // Files are below 4 GiB and the ratios below 2^16, so the product cannot overflow.
    return sourceBytes * d->units / d->bytes;
}

bool blockJustified(Encoding encoding, Size block, std::uint64_t pixels, std::uint64_t units,
                    std::uint64_t sourceBytes) {
    if (!block.ok()) return true;
    const std::uint64_t weight = std::max<std::uint64_t>(block.bytes(), pixels);
    if (weight <= kFreeBlockBytes) return true;
    if (densityOf(encoding) == nullptr) return weight <= kSkippingBlockCeiling;
    return units <= greatestUnits(encoding, sourceBytes);
}

std::uint64_t bytesLeft(const CImgIO& io) {
    unsigned at = 0, size = 0;
    io.position(&at);
    io.size(&size);
    return size > at ? size - at : 0;
}

} // namespace img
