// JPEG fixtures made with libjpeg's own encoder, and libjpeg's plain decoding to compare with.
#pragma once

#include "TestFiles.h"

#include <vector>

namespace testing_support {

// One scan of a script: the components it codes (indexes), its spectral band and bit positions.
struct JpegScan {
    std::vector<int> components;
    int ss = 0, se = 63, ah = 0, al = 0;
};

struct JpegSpec {
    int width = 8;
    int height = 8;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK samples in `pixels`
    int storedSpace = 0; // libjpeg colour space stored in the file; 0 keeps libjpeg's choice
    Bytes pixels;        // width x components bytes per row, top-down
    int quality = 95;
    bool fullChroma = false;     // every component sampled 1x1
    std::vector<int> sampling;   // h, v for each component in turn; empty keeps the defaults
    std::vector<JpegScan> scans; // a scan script; empty keeps libjpeg's (or its progression)
    bool progressive = false;
    bool arithmetic = false;
    int restartRows = 0;
    bool jfif = true;
    int densityUnit = 0;
    int xDensity = 1;
    int yDensity = 1;
};

Bytes encodeJpeg(const JpegSpec& layout);

// The file with its frame header claiming another size; the scans stay those of the image.
Bytes claimingSize(Bytes file, int width, int height);

// The file with `segment` written just before its end marker.
Bytes beforeEnd(Bytes file, const Bytes& segment);

// A scan header with no entropy-coded data after it, naming components by their identifiers
// (1, 2, ... in libjpeg's files) and table 0 for each.
Bytes emptyScan(const std::vector<int>& componentIds, int ss, int se, int ah, int al);

// A comment segment of `bytes` bytes in all.
Bytes commentSegment(std::size_t bytes);

// A segment of `bytes` bytes in all (at most 65537) under any marker, filled with letters.
Bytes markerSegment(std::uint8_t marker, std::size_t bytes);

// The file with `segment` written just before the header of its scan number `scan` (from 0).
Bytes beforeScan(Bytes file, int scan, const Bytes& segment);

// libjpeg's own decoding, in the file's default output colour space unless `outputSpace` names
// one; empty when libjpeg gives up.
Bytes decodeJpeg(const Bytes& file, int* width, int* height, int* components, int outputSpace = 0);

// A sample image with some texture, so that DC and AC coefficients vary.
Bytes texturedPixels(int width, int height, int components);

} // namespace testing_support
