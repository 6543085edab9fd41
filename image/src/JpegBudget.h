// What decoding a JPEG file may cost, weighed against the bytes the file holds: the memory held
// at once (the image block beside libjpeg's coefficient buffers) and the blocks its scans walk.
#pragma once

#include "CheckedSize.h"

#include <cstdint>
#include <cstdio>
#include <jpeglib.h>

namespace img {

// Whether the rest of the file, `sourceBytes` from its first scan, can justify the image block
// and the coefficient buffers held beside it for a file of several scans. When it can, libjpeg's
// memory limit becomes its share, before jpeg_start_decompress sizes a buffer. An image block
// past the block limit is left for the allocator to refuse, and libjpeg gets no coefficients.
bool holdingJustified(jpeg_decompress_struct& c, Size imageBlock, std::uint64_t sourceBytes);

// libjpeg's progress monitor, counting the blocks each scan walks before it walks them. A free
// amount of walking is allowed, and more for every byte of the file; past that the monitor
// leaves libjpeg through an ImgCore::ImgException and `refused` says why.
struct ScanWatch {
    jpeg_progress_mgr progress; // first: libjpeg hands the monitor this address
    std::uint64_t allowedBlocks;
    std::uint64_t walkedBlocks;
    int lastScan;
    bool refused;
};

void watchScans(j_decompress_ptr c, ScanWatch* watch, std::uint64_t sourceBytes);

} // namespace img
