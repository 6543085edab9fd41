#include "PcdReader.h"

#include "CDibConverter.h"
#include "EntryFrame.h"
#include "Trace.h"

#include <cstring>

namespace img {
namespace {

constexpr unsigned kHeaderBytes = 3 * kPcdSector;
constexpr unsigned kSignatureOffset = kPcdSector;
constexpr unsigned kOrientationOffset = 3586;
constexpr int kBaseWidth = 192, kBaseHeight = 128;

// Sectors from the end of the header to each stored level's planes (they begin at sectors
// 4, 23 and 96).
constexpr long kBaseSkip[3] = {1, 20, 93};
constexpr long kFourBaseSkip = 4;    // from the end of the 768 x 512 planes
constexpr long kSixteenBaseGap = 12; // from the sector after the 1536 x 1024 corrections

} // namespace

bool PcdReader::readHeader(int* orientation) {
    ScratchBuffer<BYTE> header(kHeaderBytes);
    if (header.data() == nullptr) return fail(kNoMemory);
    if (!m_io.readExact(header.data(), kHeaderBytes)) return fail(kNotPcd);
    const BYTE* h = header.data();
    if (std::memcmp(h, "PCD_OPA", 7) == 0) return fail(kPcdOverview);
    if (std::memcmp(h + kSignatureOffset, "PCD", 3) != 0) return fail(kNotPcd);
    *orientation = h[kOrientationOffset] & 3;
    return true;
}

bool PcdReader::readBasePlanes(int number, int width, int height, int stride, BYTE* luminance,
                               BYTE* chroma1, BYTE* chroma2) {
    if (!m_io.seek(kBaseSkip[number - 1] * static_cast<long>(kPcdSector), SEEK_CUR))
        return fail(kReadFailed);
    // Each group is two luminance rows and one row of each half-size chrominance plane.
    const auto rowBytes = static_cast<unsigned>(width);
    for (int g = 0; g < height / 2; ++g) {
        BYTE* top = luminance + static_cast<std::size_t>(2 * g) * stride;
        const std::size_t half = static_cast<std::size_t>(g) * stride;
        if (!m_io.readExact(top, rowBytes) || !m_io.readExact(top + stride, rowBytes) ||
            !m_io.readExact(chroma1 + half, rowBytes / 2) ||
            !m_io.readExact(chroma2 + half, rowBytes / 2))
            return fail(kReadFailed);
    }
    return true;
}

bool PcdReader::buildUpperLevels(int number, int stride, BYTE* luminance, BYTE* chroma1,
                                 BYTE* chroma2, std::size_t planeBytes) {
    // Each level doubles luminance from its own size and chrominance from half of it.
    int w = 768, h = 512;
    for (int level = 4; level <= number; ++level, w *= 2, h *= 2) {
        upsamplePCDPlane(w, h, stride, luminance);
        upsamplePCDPlane(w / 2, h / 2, stride, chroma1);
        upsamplePCDPlane(w / 2, h / 2, stride, chroma2);
        if (level == 4) {
            if (!m_io.seek(kFourBaseSkip * static_cast<long>(kPcdSector), SEEK_CUR))
                return fail(kReadFailed);
        } else if (level == 5) {
            unsigned at = 0;
            m_io.position(&at);
            const long sector = static_cast<long>(at / kPcdSector) + kSixteenBaseGap;
            if (!m_io.seek(sector * static_cast<long>(kPcdSector), SEEK_SET))
                return fail(kReadFailed);
        } else {
            continue; // the sixth level has no corrections of its own
        }
        const int result = decodePCDCorrections(m_io, 2 * w, stride, 2 * h, luminance, chroma1,
                                                chroma2, planeBytes);
        if (result != kOk) return fail(result);
    }
    return true;
}

BYTE* PcdReader::finish(int width, int height, int orientation, const BYTE* luminance,
                        const BYTE* chroma1, const BYTE* chroma2, int* outWidth, int* outHeight) {
    MemoryBlock block;
    if (!block.allocate(imageBlockSize(0, checkedProduct({width, 3}), height)))
        return fail(kNoMemory);
    BYTE* out = block.data();
    const std::size_t count = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < count; ++i, out += 3) {
        out[0] = luminance[i];
        out[1] = chroma1[i];
        out[2] = chroma2[i];
    }
    if (!convertPCDToRGB(*this, block.data(), width, height)) {
        block.release();
        return nullptr;
    }
    // Stored orientations 1 and 3 are quarter turns, which swap the sides; 2 is a half turn.
    static const int kDirection[4] = {-1, 2, 1, 0};
    if (orientation != 0) {
        CDibConverter turner;
        if (!turner.rotateBytesInPlace(block.data(), width, height, kDirection[orientation], 3)) {
            block.release();
            return fail(turner.status);
        }
        if (orientation != 2) std::swap(width, height);
    }
    *outWidth = width;
    *outHeight = height;
    return block.data();
}

BYTE* PcdReader::readPCDImage(int* width, int* height, int subImage) {
    status = kOk;
    *width = 0;
    *height = 0;
    int orientation = 0;
    if (!readHeader(&orientation)) return nullptr;

    const int number = subImage < 1 ? 1 : subImage > 6 ? 6 : subImage;
    const int stored = number < 3 ? number : 3;
    const int baseWidth = kBaseWidth << (stored - 1), baseHeight = kBaseHeight << (stored - 1);
    const int finalWidth = number > 3 ? baseWidth << (number - 3) : baseWidth;
    const int finalHeight = number > 3 ? baseHeight << (number - 3) : baseHeight;
    trace(kTraceInfo, "Reading PCD sub-image #%d (%d x %d)\n", number, finalWidth, finalHeight);

    // The planes have the final size from the start, so every level is built in place.
    const std::size_t planeBytes = static_cast<std::size_t>(finalWidth) * finalHeight + 1;
    ScratchBuffer<BYTE> luminance(static_cast<int>(planeBytes));
    ScratchBuffer<BYTE> chroma1(static_cast<int>(planeBytes));
    ScratchBuffer<BYTE> chroma2(static_cast<int>(planeBytes));
    if (luminance.data() == nullptr || chroma1.data() == nullptr || chroma2.data() == nullptr)
        return fail(kNoMemory);
    if (!readBasePlanes(stored, baseWidth, baseHeight, finalWidth, luminance.data(), chroma1.data(),
                        chroma2.data()) ||
        !buildUpperLevels(number, finalWidth, luminance.data(), chroma1.data(), chroma2.data(),
                          planeBytes))
        return nullptr;
    upsamplePCDPlane(finalWidth / 2, finalHeight / 2, finalWidth, chroma1.data());
    upsamplePCDPlane(finalWidth / 2, finalHeight / 2, finalWidth, chroma2.data());
    return finish(finalWidth, finalHeight, orientation, luminance.data(), chroma1.data(),
                  chroma2.data(), width, height);
}

void upsamplePCDPlane(int width, int height, int rowStride, BYTE* plane) {
    const std::size_t stride = static_cast<std::size_t>(rowStride);
    const int w2 = 2 * width;
    // Rows move down to their doubled place, the last first, each filled from its right end,
    // so that nothing is overwritten before it has been read.
    for (int y = height - 1; y >= 0; --y) {
        const BYTE* in = plane + static_cast<std::size_t>(y) * stride;
        BYTE* out = plane + static_cast<std::size_t>(2 * y) * stride;
        const BYTE last = in[width - 1];
        out[w2 - 1] = last;
        out[w2 - 2] = last;
        for (int x = width - 2; x >= 0; --x) {
            const int a = in[x], b = in[x + 1];
            out[2 * x + 1] = static_cast<BYTE>((a + b + 1) >> 1);
            out[2 * x] = static_cast<BYTE>(a);
        }
    }
    for (int y = 0; y + 1 < height; ++y) {
        const BYTE* a = plane + static_cast<std::size_t>(2 * y) * stride;
        const BYTE* b = a + 2 * stride;
        BYTE* out = plane + static_cast<std::size_t>(2 * y + 1) * stride;
        for (int c = 0; c < w2 - 2; c += 2) {
            out[c] = static_cast<BYTE>((a[c] + b[c] + 1) >> 1);
            out[c + 1] = static_cast<BYTE>((a[c] + b[c] + a[c + 2] + b[c + 2] + 2) >> 2);
        }
        for (int c = w2 - 2; c < w2; ++c)
            out[c] = static_cast<BYTE>((a[c] + b[c] + 1) >> 1);
    }
    std::memcpy(plane + static_cast<std::size_t>(2 * height - 1) * stride,
                plane + static_cast<std::size_t>(2 * height - 2) * stride, w2);
}

} // namespace img

extern "C" BYTE* readPCD(SourceHandle src, int* width, int* height, int subImage, int flags) {
    return img::frameR<img::PcdReader>(
        src, width != nullptr && height != nullptr, [&](img::PcdReader& reader) -> BYTE* {
            BYTE* rgb = reader.readPCDImage(width, height, subImage);
            if (rgb == nullptr || (flags & IMG_FLAG_DIB) == 0) return rgb;
            BYTE* dib = img::CDibConverter().rgbToDIB(rgb, *width, *height);
            GlobalFree(rgb);
            return dib != nullptr ? dib : reader.fail(img::kNoMemory);
        });
}
