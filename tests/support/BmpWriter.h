// Small BMP files for the reader's tests, built from a few parameters.
#pragma once

#include "TestFiles.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace testing_support {

struct BmpSpec {
    int width = 1;
    int height = 1; // negative: rows stored top-down
    int bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40; // 12 writes an OS/2 core header
    // Table entries as blue, green, red, reserved (OS/2 files store the first three).
    std::vector<std::array<std::uint8_t, 4>> palette;
    std::optional<std::uint32_t> clrUsed;     // default: the palette's length
    std::vector<std::uint32_t> masks;         // written between header and table
    std::optional<std::uint32_t> pixelOffset; // default: right after the gap
    std::uint32_t gap = 0;                    // bytes between the table and the pixels
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    Bytes pixels; // as stored: padded rows in file order, or a run-length stream
};

Bytes writeBmp(const BmpSpec& layout);

// Packs top-down rows of pixel values into a file's padded rows, last row first unless
// `topDown`. Values are indices for 1 to 8 bits, the stored word for 16 and 32 bits, and
// 0xRRGGBB for 24 bits.
Bytes packBmpRows(const std::vector<std::vector<std::uint32_t>>& rows, int bitCount,
                  bool topDown = false);

// A grey ramp palette of `count` entries: entry i is (i, i, i) scaled over 0..255.
std::vector<std::array<std::uint8_t, 4>> greyPalette(int count);

} // namespace testing_support
