// Reshaping rows in place: channel swaps, flips, mirrors and strided copies.
#include "CDibConverter.h"
#include "Tables.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

template <std::size_t Step> void swapFirstAndThird(BYTE* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    const std::size_t bytes = static_cast<std::size_t>(width) * height * Step;
    for (std::size_t i = 0; i < bytes; i += Step)
        std::swap(pixels[i], pixels[i + 2]);
}

// Moves a row of 1-bit pixels `shift` bits towards its first bit (0 < shift < 8).
void shiftRowLeft(BYTE* row, std::size_t bytes, unsigned shift) {
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned next = i + 1 < bytes ? row[i + 1] : 0;
        row[i] = static_cast<BYTE>((row[i] << shift) | (next >> (8 - shift)));
    }
}

} // namespace

void CDibConverter::swapRedBlue24(BYTE* pixels, int width, int height) {
    swapFirstAndThird<3>(pixels, width, height);
}

void CDibConverter::swapRedBlue32(BYTE* pixels, int width, int height) {
    swapFirstAndThird<4>(pixels, width, height);
}

int CDibConverter::flipVertical(BYTE* rows, int rowBytes, int rowCount) {
    if (rows == nullptr || rowBytes <= 0 || rowCount <= 1) return 1;
    BYTE* temp = m_row.ensure(rowBytes);
    if (temp == nullptr) return fail(kNoMemory);
    const std::size_t stride = static_cast<std::size_t>(rowBytes);
    for (int i = 0; i < rowCount / 2; ++i) {
        BYTE* top = rows + i * stride;
        BYTE* bottom = rows + (rowCount - 1 - i) * stride;
        copyBytes(temp, top, stride);
        copyBytes(top, bottom, stride);
        copyBytes(bottom, temp, stride);
    }
    return 1;
}

int CDibConverter::copyRows(const BYTE* source, int sourceStride, int rowCount,
                            int destinationStride, BYTE* destination) {
    if (source == nullptr || destination == nullptr) return fail(kBadArgument);
    const std::size_t bytes =
        static_cast<std::size_t>(std::max(0, std::min(sourceStride, destinationStride)));
    for (int y = 0; y < rowCount; ++y)
        copyBytes(destination + static_cast<std::size_t>(y) * destinationStride,
                  source + static_cast<std::size_t>(y) * sourceStride, bytes);
    return 1;
}

template <class Sample>
int CDibConverter::mirrorUnits(Sample* rows, int pixels, int rowCount, int unitsPerPixel,
                               std::size_t rowStride) {
    if (rows == nullptr || pixels <= 0 || rowCount <= 0 || unitsPerPixel <= 0) return 1;
    const std::uint32_t rowBytes = checkedProduct({pixels, unitsPerPixel, sizeof(Sample)}).bytes();
    if (rowBytes == 0 || m_row.ensure(static_cast<int>(rowBytes)) == nullptr)
        return fail(kNoMemory);
    auto* temp = reinterpret_cast<Sample*>(m_row.data());
    const std::size_t units = static_cast<std::size_t>(unitsPerPixel);
    for (int y = 0; y < rowCount; ++y) {
        Sample* row = rows + y * rowStride;
        copyBytes(temp, row, rowBytes);
        for (int j = 0; j < pixels; ++j)
            std::memcpy(row + j * units, temp + (pixels - 1 - j) * units, units * sizeof(Sample));
    }
    return 1;
}

int CDibConverter::mirrorRows(BYTE* rows, int pixels, int rowCount, int unitsPerPixel,
                              int rowStride) {
    return mirrorUnits(rows, pixels, rowCount, unitsPerPixel, static_cast<std::size_t>(rowStride));
}

int CDibConverter::mirrorRows16(WORD* rows, int pixels, int rowCount, int unitsPerPixel,
                                int rowStride) {
    return mirrorUnits(rows, pixels, rowCount, unitsPerPixel, static_cast<std::size_t>(rowStride));
}

int CDibConverter::mirrorOneBitRows(BYTE* rows, int width, int height, int rowStride) {
    if (width <= 0 || height <= 0) return 1;
    if (rows == nullptr) return fail(kBadArgument);
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
    const unsigned shift = static_cast<unsigned>(((width + 7) & ~7) - width);
    const BYTE* reversal = tables().bitReversal;
    for (int y = 0; y < height; ++y) {
        BYTE* row = rows + static_cast<std::size_t>(y) * rowStride;
        std::reverse(row, row + bytes);
        for (std::size_t i = 0; i < bytes; ++i)
            row[i] = reversal[row[i]];
        if (shift != 0) shiftRowLeft(row, bytes, shift);
    }
    return 1;
}

} // namespace img
