// JPEG fixtures made with libjpeg's own encoder, and libjpeg's plain decoding to compare with.
#pragma once

#include "TestFiles.h"

namespace testing_support {

struct JpegSpec {
    int width = 8;
    int height = 8;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK samples in `pixels`
    int storedSpace = 0; // libjpeg colour space stored in the file; 0 keeps libjpeg's choice
    Bytes pixels;        // width x components bytes per row, top-down
    int quality = 95;
    bool fullChroma = false; // every component sampled 1x1
    bool progressive = false;
    bool arithmetic = false;
    int restartRows = 0;
    bool jfif = true;
    int densityUnit = 0;
    int xDensity = 1;
    int yDensity = 1;
};

Bytes encodeJpeg(const JpegSpec& layout);

// libjpeg's own decoding, in the file's default output colour space unless `outputSpace` names
// one; empty when libjpeg gives up.
Bytes decodeJpeg(const Bytes& file, int* width, int* height, int* components, int outputSpace = 0);

// A sample image with some texture, so that DC and AC coefficients vary.
Bytes texturedPixels(int width, int height, int components);

} // namespace testing_support
