// Small PCX files built from a few parameters, for the reader's tests.
#pragma once

#include "TestFiles.h"

#include <array>
#include <cstdint>
#include <vector>

namespace testing_support {

struct PcxSpec {
    int manufacturer = 10;
    int version = 5;
    int bitsPerPlane = 8;
    int planes = 1;
    int width = 1;
    int height = 1;
    int xMin = 0;
    int yMin = 0;
    int bytesPerLine = 0; // 0: the least that holds a row, rounded up to even
    int hRes = 72;
    int vRes = 72;
    std::array<std::uint8_t, 48> egaPalette{}; // red, green, blue
    std::vector<Bytes> lines; // one per row: each plane's bytes in turn, before coding
    Bytes coded;              // when not empty, written instead of the coded lines
    Bytes vgaPalette;         // 768 bytes of red, green, blue after the marker 12, or none
};

int pcxBytesPerLine(const PcxSpec& layout);
Bytes writePcx(const PcxSpec& layout);

// Run-length coding of one line; bytes with both top bits set always travel as runs.
Bytes pcxRuns(const Bytes& line);

// One line of `planes` 1-bit planes for pixel values below 1 << planes: bit i of each value
// goes to plane i.
Bytes pcxBitPlanes(const std::vector<int>& pixels, int planes, int bytesPerLine);

} // namespace testing_support
