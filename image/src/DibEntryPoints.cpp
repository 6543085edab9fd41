#include "CDibConverter.h"
#include "EntryFrame.h"

#include <cstring>

namespace img {
namespace {

int headerField(const BYTE* dib, int* out, LONG BITMAPINFOHEADER::*field) {
    return frameS([&](ThreadState& state) {
        BITMAPINFOHEADER h{};
        if (dib != nullptr) std::memcpy(&h, dib, sizeof h);
        if (dib == nullptr || out == nullptr || h.biSize != sizeof h) {
            state.lastError = kBadArgument;
            if (out != nullptr) *out = 0;
            return 0;
        }
        *out = h.*field;
        return 1;
    });
}

} // namespace

int getDIBWidth(const BYTE* packedDIB, int* out) {
    return headerField(packedDIB, out, &BITMAPINFOHEADER::biWidth);
}

int getDIBHeight(const BYTE* packedDIB, int* out) {
    return headerField(packedDIB, out, &BITMAPINFOHEADER::biHeight);
}

} // namespace img

extern "C" BYTE* oneBitToDIB(const BYTE* rows, int width, int height, const RGBQUAD* palette,
                             BYTE* destination) {
    return img::frameW<img::CDibConverter>([&](img::CDibConverter& c) {
        return c.oneBitRowsToDIB(rows, width, height, palette, destination);
    });
}
