#include "BlockBudget.h"
#include "CImgIO.h"

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

bool blockJustified(Encoding encoding, Size block, std::uint64_t units, std::uint64_t sourceBytes) {
    if (!block.ok() || block.bytes() <= kFreeBlockBytes) return true;
    const std::uint64_t blockBytes = block.bytes();
    if (densityOf(encoding) == nullptr) return blockBytes <= kSkippingBlockCeiling;
    return units <= greatestUnits(encoding, sourceBytes);
}

std::uint64_t bytesLeft(const CImgIO& io) {
    unsigned at = 0, size = 0;
    io.position(&at);
    io.size(&size);
    return size > at ? size - at : 0;
}

} // namespace img
