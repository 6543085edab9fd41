// The orientation tag applied to rows that every path first places bottom-up, stored row 0
// last: flip, mirror and quarter turns that make the image come out as the tag means it.
#include "CDibConverter.h"
#include "Tables.h"
#include "TiffReader.h"

#include <cstring>
#include <utility>

namespace img {

TiffOrientation tiffOrientationTransform(int orientation) {
    switch (orientation) {
    case 2:
        return {true, true, -1};
    case 3:
        return {false, true, -1};
    case 4:
        return {false, false, -1};
    case 5:
        return {false, false, 0};
    case 6:
        return {true, false, 2};
    case 7:
        return {false, false, 2};
    case 8:
        return {false, true, 2};
    default:
        return {true, false, -1};
    }
}

bool tiffOrientationRotates(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

namespace {

// Flip and mirror of rows already in their final shape.
int flipAndMirror(CDibConverter& c, const TiffOrientation& t, BYTE* pixels, int width, int height,
                  int bitsPerPixel, int rowLength) {
    if (t.flip && !c.flipVertical(pixels, rowLength, height)) return c.status;
    if (!t.mirror) return c.status;
    switch (bitsPerPixel) {
    case 1:
        c.mirrorOneBitRows(pixels, width, height, rowLength);
        break;
    case 16:
        c.mirrorRows16(reinterpret_cast<WORD*>(pixels), width, height, 1, rowLength / 2);
        break;
    default:
        c.mirrorRows(pixels, width, height, bitsPerPixel / 8, rowLength);
        break;
    }
    return c.status;
}

TiffOrientation withToggle(int orientation, bool toggle) {
    TiffOrientation t = tiffOrientationTransform(orientation);
    if (toggle) t.flip = !t.flip;
    return t;
}

bool knownDepth(int bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 ||
           bitsPerPixel == 32;
}

} // namespace

int applyTIFFOrientation(int orientation, BYTE* pixels, int* width, int* height, int bitsPerPixel,
                         int* rowLength, bool toggle) {
    if (!knownDepth(bitsPerPixel)) return kOk;
    const TiffOrientation t = withToggle(orientation, toggle);
    CDibConverter c;
    if (t.rotation >= 0) {
        if (bitsPerPixel == 1) return kUnsupportedOptions;
        const bool ok =
            bitsPerPixel == 16
                ? c.rotateWordsInPlace(reinterpret_cast<WORD*>(pixels), *width, *height, t.rotation,
                                       1) != 0
                : c.rotateBytesInPlace(pixels, *width, *height, t.rotation, bitsPerPixel / 8) != 0;
        if (!ok) return c.status;
        std::swap(*width, *height);
        *rowLength = *width * (bitsPerPixel / 8);
    }
    return flipAndMirror(c, t, pixels, *width, *height, bitsPerPixel, *rowLength);
}

int applyTIFFOrientationInto(int orientation, const BYTE* pixels, BYTE* destination, int* width,
                             int* height, int bitsPerPixel, int sourceRowLength,
                             int destinationRowLength, bool toggle) {
    if (!knownDepth(bitsPerPixel)) return kOk;
    const TiffOrientation t = withToggle(orientation, toggle);
    CDibConverter c;
    if (t.rotation >= 0) {
        bool ok = false;
        switch (bitsPerPixel) {
        case 1:
            ok = c.rotateOneBit(pixels, destination, *width, *height, t.rotation | 8,
                                sourceRowLength, destinationRowLength) != 0;
            break;
        case 16:
            ok = c.rotateWords(reinterpret_cast<const WORD*>(pixels), *width, *height,
                               sourceRowLength / 2, reinterpret_cast<WORD*>(destination),
                               destinationRowLength / 2, t.rotation, 1) != 0;
            break;
        default:
            ok = c.rotateBytes(pixels, *width, *height, sourceRowLength, destination,
                               destinationRowLength, t.rotation, bitsPerPixel / 8) != 0;
            break;
        }
        if (!ok) return c.status != kOk ? c.status : kBadArgument;
        std::swap(*width, *height);
    }
    return flipAndMirror(c, t, destination, *width, *height, bitsPerPixel, destinationRowLength);
}

int orientTIFFRows(int orientation, BYTE* pixels, std::uint32_t pixelBytes, int* width, int* height,
                   int bitsPerPixel, std::uint32_t* rowLength, std::uint32_t rotatedRowLength,
                   bool toggle) {
    if (!tiffOrientationRotates(orientation)) {
        int rl = static_cast<int>(*rowLength);
        return applyTIFFOrientation(orientation, pixels, width, height, bitsPerPixel, &rl, toggle);
    }
    ScratchBuffer<BYTE> turned(static_cast<int>(pixelBytes));
    if (turned.data() == nullptr) return kNoMemory;
    std::memset(turned.data(), 0, pixelBytes);
    const int result = applyTIFFOrientationInto(orientation, pixels, turned.data(), width, height,
                                                bitsPerPixel, static_cast<int>(*rowLength),
                                                static_cast<int>(rotatedRowLength), toggle);
    copyBytes(pixels, turned.data(), pixelBytes);
    *rowLength = rotatedRowLength;
    return result;
}

} // namespace img
