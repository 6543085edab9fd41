// Photo CD files for the tests: the three stored levels as planes, and correction streams for
// the two levels above them, laid out where the reader looks for them.
#pragma once

#include "TestFiles.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// One stored level: a luminance plane and two chrominance planes of half its size.
struct PcdLevel {
    int width = 0, height = 0;
    Bytes luminance, chroma1, chroma2;

    std::uint8_t& luma(int x, int y) { return luminance[static_cast<std::size_t>(y) * width + x]; }
};

// Level 1, 2 or 3 (192 x 128, 384 x 256, 768 x 512) of one colour.
PcdLevel flatPcdLevel(int number, std::uint8_t y, std::uint8_t c1, std::uint8_t c2);

struct PcdCode {
    int length;         // 1 .. 16 (17 and more make a corrupt table)
    std::uint16_t bits; // the code in the low `length` bits
    int key;            // the correction it stands for, -128 .. 127
};

// The codes after one sync mark: keys looked up in the plane's table, then raw bits ("0110").
struct PcdCorrectionRow {
    int plane; // 0 luminance, 2 and 3 chrominance
    int row;   // in luminance rows of the level
    std::vector<int> keys;
    std::string rawBits;
};

struct PcdCorrections {
    std::vector<std::vector<PcdCode>> tables; // one for the 1536 level, three for the 3072
    std::vector<PcdCorrectionRow> rows;
    int endRow; // the row number of the sync mark that ends the stream
};

// The stream as it follows the tables' start: tables, 32 filler bits, the rows, the end mark
// and zero padding. `endSyncBit` receives the bit offset of the end mark.
Bytes pcdCorrectionStream(const PcdCorrections& corrections, std::size_t* endSyncBit = nullptr);

// A small table: key 0 is "0", and keys k1, k2, ... are "10", "110", "1110", ...
std::vector<PcdCode> pcdStepTable(const std::vector<int>& keys);

struct PcdFile {
    bool overview = false;
    int orientation = 0;
    PcdLevel levels[3];
    std::optional<PcdCorrections> fourBase, sixteenBase;
};

// Levels left empty are written in a flat mid grey.
Bytes writePcd(const PcdFile& file);

} // namespace testing_support
