#include "CDibConverter.h"

#include <cstring>

namespace img {

int CDibConverter::fillRect(BYTE* buffer, int width, int height, int rowBytes, DWORD colour,
                            int bytesPerPixel) {
    if (buffer == nullptr || (bytesPerPixel != 3 && bytesPerPixel != 4)) return fail(kBadArgument);
    if (width <= 0 || height <= 0) return 1;
    const BYTE bytes[4] = {static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8),
                           static_cast<BYTE>(colour >> 16), static_cast<BYTE>(colour >> 24)};
    const bool uniform = bytes[0] == bytes[1] && bytes[1] == bytes[2] &&
                         (bytesPerPixel == 3 || bytes[2] == bytes[3]);
    const std::size_t stride = static_cast<std::size_t>(rowBytes);
    if (uniform) {
        // One byte everywhere: the row padding goes along, which callers may see.
        std::memset(buffer, bytes[0], stride * height);
        return 1;
    }
    const std::size_t pixelBytes = static_cast<std::size_t>(bytesPerPixel);
    for (int y = 0; y < height; ++y) {
        BYTE* out = buffer + y * stride;
        for (int x = 0; x < width; ++x, out += pixelBytes)
            std::memcpy(out, bytes, pixelBytes);
    }
    return 1;
}

} // namespace img
