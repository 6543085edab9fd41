// PNG fixtures made with libpng's own encoder, and libpng's plain decoding of a file to compare
// the reader with.
#pragma once

#include "TestFiles.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace testing_support {

struct PngSpec {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colourType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    bool interlaced = false;
    Bytes rows; // rows as stored: packed, top-down, 16-bit samples high byte first
    std::vector<std::array<std::uint8_t, 3>> palette;        // PLTE (red, green, blue)
    Bytes paletteAlphas;                                     // tRNS of a palette image
    std::optional<std::array<std::uint16_t, 3>> transparent; // tRNS: grey in [0], or RGB
    std::optional<std::array<std::uint16_t, 4>> background;  // bKGD: index or grey in [0], or RGB
    double gamma = 0;                                        // gAMA when nonzero
    int srgbIntent = -1;                                     // sRGB when 0 or more
    std::optional<std::array<std::uint32_t, 3>> physical;    // pHYs: x, y, unit
};

Bytes encodePng(const PngSpec& layout);

// Bytes per stored row of a layout's image.
std::size_t pngRowBytes(const PngSpec& layout);

// libpng's decoding of a whole file to 8-bit (or, with `wide`, 16-bit little-endian) RGBA:
// palettes and low depths expanded, tRNS as alpha, opaque elsewhere; no gamma, no background.
// Empty when libpng refuses the file.
Bytes decodePngRgba(const Bytes& file, bool wide, int* width, int* height);

} // namespace testing_support
