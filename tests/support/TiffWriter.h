// TIFF fixtures written by libtiff's own encoder, from a few parameters and the stored rows.
#pragma once

#include "TestFiles.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace testing_support {

struct TiffPage {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    std::uint16_t bitsPerSample = 8;
    std::uint16_t samplesPerPixel = 1;
    int photometric = 1; // minimum is black; -1 writes no tag
    std::uint16_t compression = 1;
    std::uint16_t planar = 1;
    std::uint16_t orientation = 0;  // 0 writes no tag
    std::uint32_t rowsPerStrip = 0; // 0: one strip
    std::uint32_t tileWidth = 0;    // tiled when both are set (multiples of 16)
    std::uint32_t tileLength = 0;
    std::vector<std::uint16_t> colourMap; // red, green, blue, 2^bits each
    std::vector<std::uint16_t> extraSamples;
    std::uint16_t inkSet = 0;
    float xResolution = 0;
    float yResolution = 0;
    std::uint16_t resolutionUnit = 0;
    std::vector<double> geoPixelScale; // tag 33550 when not empty
    // Stored rows, each padded to a whole byte; with separate planes, one plane after another.
    Bytes pixels;
};

// Bytes of one stored row (of one plane when the planes are separate).
std::size_t tiffRowBytes(const TiffPage& page);

Bytes writeTiff(const std::vector<TiffPage>& pages);
// Where each strip (or tile) of the first page lies in a file: {offset, byte count}.
std::vector<std::pair<std::uint64_t, std::uint64_t>> tiffStrips(const Bytes& file);
// Sets a one-value SHORT or LONG tag of the first directory of a file written here, for
// values libtiff itself would refuse or take long to write. False when the tag is not there.
bool patchTiffTag(Bytes& file, std::uint16_t tag, std::uint32_t value);
// Replaces the strip (or tile) offsets and byte counts of the first directory of a file
// written here, {offset, byte count} each; the new arrays go at the end of the file.
bool setTiffStrips(Bytes& file, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& strips);
// Whether the first page of a file written here carries the tag (checks the fixtures).
bool tiffHasTag(const Bytes& file, std::uint32_t tag);
inline Bytes writeTiff(const TiffPage& page) {
    return writeTiff(std::vector<TiffPage>{page});
}

} // namespace testing_support
