// Pastes one image into another at a position, clipped to the destination: an RGBA source
// blended by its alpha over 24-bit pixels, 1-bit rows, and 16-bit samples.
#pragma once

#include "Status.h"
#include "win32/win32.h"

namespace img {

// Destination columns x0 <= c < x1 and rows y0 <= r < y1 are written.
struct OverlayClip {
    int x0, x1, y0, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

OverlayClip clipOverlay(int dstWidth, int dstHeight, int srcWidth, int srcHeight, int x, int y);

// Bit 3 of overlayOneBit's flags and bit 31 of overlay16's mode: take the source upside down.
inline constexpr int kOverlayOneBitUpsideDown = 8;
inline constexpr DWORD kOverlay16UpsideDown = 0x80000000u;

class COverlay : public Operation {
public:
    COverlay();

    // Destination pixels R, G, B; source pixels R, G, B, A.
    int overlayRGBA(BYTE* dst, int dstWidth, int dstHeight, int dstRowBytes, const BYTE* src,
                    int srcWidth, int srcHeight, int srcRowBytes, int x, int y);
    // Pixels are bits, most significant first; destination bits outside the clip are kept.
    int overlayOneBit(BYTE* dst, int dstWidth, int dstHeight, int dstRowBytes, const BYTE* src,
                      int srcWidth, int srcHeight, int srcRowBytes, int x, int y, int flags);
    // Strides in samples; every caller passes a factor of 1.0, and samples are copied as
    // they are.
    int overlay16(WORD* dst, int dstWidth, int dstHeight, const WORD* src, int srcWidth,
                  int srcHeight, int x, int y, double factor, int samplesPerPixel, int dstRowStride,
                  int srcRowStride, DWORD mode);

private:
    void oneBitRow(BYTE* dst, const BYTE* src, int srcBytes, int x, int x0, int x1) const;

    BYTE m_rightMask[8]; // 255 >> i: bits from column i to the end of the byte
    BYTE m_leftMask[8];  // (255 << i) & 255: the first 8 - i columns of the byte
};

} // namespace img
