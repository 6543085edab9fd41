// The Photo CD reader: the three low resolutions are stored as luminance and chrominance
// planes; the two above them are built by doubling the level below and adding
// Huffman-coded corrections, and the sixth by doubling alone.
#pragma once

#include "CImgIO.h"
#include "MemoryBlock.h"
#include "Status.h"

#include <cstddef>

namespace img {

inline constexpr int kNotPcd = 63;      // no Photo CD signature, or corrupt correction data
inline constexpr int kPcdOverview = 64; // an overview file, which holds no single image
inline constexpr unsigned kPcdSector = 2048;

class PcdReader : public Operation {
public:
    explicit PcdReader(CImgIO& io) : m_io(io) {}

    // 24-bit RGB pixels of sub-image `subImage` (clamped to 1 .. 6), rows top-down, already
    // turned upright; width and height are those of the result.
    BYTE* readPCDImage(int* width, int* height, int subImage);

private:
    bool readHeader(int* orientation);
    bool readBasePlanes(int number, int width, int height, int stride, BYTE* luminance,
                        BYTE* chroma1, BYTE* chroma2);
    bool buildUpperLevels(int number, int stride, BYTE* luminance, BYTE* chroma1, BYTE* chroma2,
                          std::size_t planeBytes);
    BYTE* finish(int width, int height, int orientation, const BYTE* luminance, const BYTE* chroma1,
                 const BYTE* chroma2, int* outWidth, int* outHeight);

    CImgIO& m_io;
};

// Doubles a width x height plane in place (rows rowStride bytes apart) to 2 width x 2 height.
void upsamplePCDPlane(int width, int height, int rowStride, BYTE* plane);

// Adds the corrections of one level (levelWidth wide, `rows` rows) read from the stream's
// position to the three planes of planeBytes bytes each: 0, or status 1 or 63.
int decodePCDCorrections(CImgIO& stream, int levelWidth, int rowStride, int rows, BYTE* luminance,
                         BYTE* chroma1, BYTE* chroma2, std::size_t planeBytes);

// Replaces the luminance and chrominance bytes of each pixel by red, green and blue; 0 with
// status 1 when its tables cannot be had.
int convertPCDToRGB(Operation& op, BYTE* pixels, int width, int height);

} // namespace img
