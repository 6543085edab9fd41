// Small layered-image files for the tests: header, the three length-prefixed sections, and the
// merged image raw or PackBits-compressed.
#pragma once

#include "TestFiles.h"

#include <string>
#include <vector>

namespace testing_support {

struct PsdImage {
    int channels = 3;
    int width = 1;
    int height = 1;
    int depth = 8;
    int mode = 3;
    Bytes colourModeData;
    Bytes resources; // the section's content, e.g. from psdResource
    Bytes layers;
    int compression = 0;
    // One plane per channel as stored raw: rows of width samples (two bytes each, high first,
    // at 16 bits; (width + 7) / 8 bytes at 1 bit).
    std::vector<Bytes> planes;
};

Bytes psdFile(const PsdImage& image);

// One PackBits-coded row.
Bytes packBits(const Bytes& row);

// One "8BIM" resource block with its padded name and data.
Bytes psdResource(int id, const std::string& name, const Bytes& data);
// The resolution resource's data: whole-number resolutions and their units.
Bytes psdResolution(int horizontal, int horizontalUnit, int vertical, int verticalUnit);

void appendU16Be(Bytes& out, unsigned value);
void appendU32Be(Bytes& out, std::uint32_t value);

} // namespace testing_support
