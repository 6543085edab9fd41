// DIBs that callers hand in (a BITMAPINFO and bits) seen as surfaces, and the bitmap formats
// that GDI makes compatible with a DC.
#pragma once

#include "gdi/DeviceContext.h"

#include <vector>

namespace winplat::gdi {

struct DibFormat {
    int width = 0;
    int height = 0; // rows, always positive
    int bits = 0;
    bool bottomUp = true;
    std::size_t stride = 0;
    const RGBQUAD* table = nullptr;
    int tableSize = 0;
    DWORD masks[3] = {0, 0, 0};
};

// Checks an uncompressed (or bit-field) DIB description: header of at least 40 bytes, a
// positive width, a nonzero height, 1, 4, 8, 16, 24 or 32 bits. Run-length DIBs are refused.
bool readDibFormat(const BITMAPINFO* info, DibFormat& format);

// A row that runs set pixels in (counted from the top), and the columns from its first set pixel
// to just past its last.
struct RunRow {
    int y;
    int first;
    int end;
};

// A run-length DIB decoded: a top-down surface of one index per pixel with the DIB's colour
// table, and which of its pixels the runs set (the others leave the destination alone). A few
// bytes of runs can leave most of a vast bitmap unset, so the rows they did set are also listed,
// top row first, for walks that would otherwise visit every unset pixel.
struct RleDib {
    std::vector<BYTE> indices;
    std::vector<bool> written;
    std::vector<RunRow> rows;
    Surface surface;
};

// Decodes a BI_RLE8 or BI_RLE4 DIB, reading no more than its image size (or, when that is 0,
// the size of the same bitmap unpacked). False for any other DIB or an absurd header.
bool decodeRleDib(const BITMAPINFO* info, const void* bits, RleDib& dib);

// The whole DIB as a top-down surface over the caller's bits.
Surface dibSurface(const DibFormat& format, const void* bits);

// A bitmap in the format GDI gives bitmaps compatible with `dc` (null: the screen).
Bitmap* compatibleBitmap(const DeviceContext* dc, int width, int height);

} // namespace winplat::gdi
