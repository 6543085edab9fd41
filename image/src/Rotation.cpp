// Right-angle turns of pixel buffers, for readers whose files store another orientation.
#include "CDibConverter.h"
#include "Tables.h"

#include <cstring>

namespace img {
namespace {

struct Target {
    std::size_t column, row;
};

// Where source pixel (x, y) of a W x H image lands for a direction code.
inline Target turn(int direction, std::size_t x, std::size_t y, std::size_t w, std::size_t h) {
    switch (direction) {
    case 0:
        return {h - 1 - y, x};
    case 1:
        return {w - 1 - x, h - 1 - y};
    default:
        return {y, w - 1 - x};
    }
}

template <class Sample>
void turnSamples(const Sample* source, std::size_t w, std::size_t h, std::size_t sourceRow,
                 Sample* destination, std::size_t destinationRow, int direction,
                 std::size_t units) {
    for (std::size_t y = 0; y < h; ++y) {
        const Sample* in = source + y * sourceRow;
        for (std::size_t x = 0; x < w; ++x, in += units) {
            const Target t = turn(direction, x, y, w, h);
            std::memcpy(destination + t.row * destinationRow + t.column * units, in,
                        units * sizeof(Sample));
        }
    }
}

} // namespace

int CDibConverter::rotateOneBit(const BYTE* source, BYTE* destination, int width, int height,
                                int flags, int sourceRowBytes, int destinationRowBytes) {
    if (source == nullptr || destination == nullptr || source == destination)
        return fail(kBadArgument);
    const int direction = flags & 3;
    if (direction == 3) return 0;
    const bool combine = (flags & 8) != 0;
    const BYTE* low = tables().lowBitMask;
    const std::size_t w = static_cast<std::size_t>(width > 0 ? width : 0);
    const std::size_t h = static_cast<std::size_t>(height > 0 ? height : 0);
    for (std::size_t y = 0; y < h; ++y) {
        const BYTE* in = source + y * static_cast<std::size_t>(sourceRowBytes);
        for (std::size_t x = 0; x < w; ++x) {
            const bool set = (in[x >> 3] & low[7 - (x & 7)]) != 0;
            if (combine && !set) continue;
            const Target t = turn(direction, x, y, w, h);
            BYTE& out = destination[t.row * static_cast<std::size_t>(destinationRowBytes) +
                                    (t.column >> 3)];
            const BYTE mask = low[7 - (t.column & 7)];
            out = set ? static_cast<BYTE>(out | mask) : static_cast<BYTE>(out & ~mask);
        }
    }
    return 1;
}

int CDibConverter::rotateBytes(const BYTE* source, int width, int height, int sourceRowBytes,
                               BYTE* destination, int destinationRowBytes, int direction,
                               int bytesPerPixel) {
    status = kOk;
    if (source == nullptr || destination == nullptr || direction < 0 || direction > 2)
        return fail(kBadArgument);
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return 1;
    turnSamples(source, width, height, sourceRowBytes, destination, destinationRowBytes, direction,
                bytesPerPixel);
    return 1;
}

int CDibConverter::rotateWords(const WORD* source, int width, int height, int sourceRowSamples,
                               WORD* destination, int destinationRowSamples, int direction,
                               int samplesPerPixel) {
    status = kOk;
    if (source == nullptr || destination == nullptr || direction < 0 || direction > 2)
        return fail(kBadArgument);
    if (width <= 0 || height <= 0 || samplesPerPixel <= 0) return 1;
    turnSamples(source, width, height, sourceRowSamples, destination, destinationRowSamples,
                direction, samplesPerPixel);
    return 1;
}

namespace {

// Quarter turns go through a temporary of the whole image; the half turn is a flip and a
// mirror, which need only a row.
template <class Sample, class Flip, class Mirror>
int rotateInPlace(CDibConverter& c, Sample* buffer, int width, int height, int direction, int units,
                  Flip flip, Mirror mirror) {
    if (buffer == nullptr || direction < 0 || direction > 2) return c.fail(kBadArgument);
    if (width <= 0 || height <= 0 || units <= 0) return 1;
    const std::size_t rowSamples = static_cast<std::size_t>(width) * units;
    if (direction == 1) {
        const int rowBytes = static_cast<int>(rowSamples * sizeof(Sample));
        if (!flip(buffer, rowBytes, height)) return 0;
        return mirror(buffer, width, height, units, static_cast<int>(rowSamples));
    }
    const std::uint32_t bytes = checkedProduct({rowSamples, height, sizeof(Sample)}).bytes();
    ScratchBuffer<Sample> temp(static_cast<int>(bytes / sizeof(Sample)));
    if (bytes == 0 || temp.data() == nullptr) return c.fail(kNoMemory);
    turnSamples(buffer, width, height, rowSamples, temp.data(),
                static_cast<std::size_t>(height) * units, direction, units);
    copyBytes(buffer, temp.data(), bytes);
    return 1;
}

} // namespace

int CDibConverter::rotateBytesInPlace(BYTE* buffer, int width, int height, int direction,
                                      int bytesPerPixel) {
    return rotateInPlace(
        *this, buffer, width, height, direction, bytesPerPixel,
        [this](BYTE* b, int rowBytes, int rows) { return flipVertical(b, rowBytes, rows); },
        [this](BYTE* b, int w, int h, int u, int stride) {
            return mirrorRows(b, w, h, u, stride);
        });
}

int CDibConverter::rotateWordsInPlace(WORD* buffer, int width, int height, int direction,
                                      int samplesPerPixel) {
    return rotateInPlace(
        *this, buffer, width, height, direction, samplesPerPixel,
        [this](WORD* b, int rowBytes, int rows) {
            return flipVertical(reinterpret_cast<BYTE*>(b), rowBytes, rows);
        },
        [this](WORD* b, int w, int h, int u, int stride) {
            return mirrorRows16(b, w, h, u, stride);
        });
}

} // namespace img
