// Small TGA files built from a few parameters, for the reader's tests.
#pragma once

#include "TestFiles.h"

#include <cstdint>
#include <string>

namespace testing_support {

struct TgaSpec {
    int imageType = 2;
    int width = 1;
    int height = 1;
    int pixelDepth = 24;
    int descriptor = 0;
    std::string imageId;
    bool colourMap = false;
    int firstEntry = 0;
    int mapLength = 0;
    int mapEntryBits = 24;
    Bytes map;    // as stored
    Bytes pixels; // as stored: raw values or packets
    bool footer = false;
    bool extensionArea = false;        // 495 bytes after the pixels, named by the footer
    std::uint32_t extensionOffset = 0; // used when no area is written
    std::uint32_t developerOffset = 0;
};

Bytes writeTga(const TgaSpec& layout);

// Run-length packets for a stream of values of `valueBytes` each: equal neighbours become run
// packets, the rest raw packets; packets run on across row ends as the format allows.
Bytes tgaPackets(const Bytes& values, int valueBytes);

} // namespace testing_support
