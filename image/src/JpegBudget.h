// What decoding a JPEG file may cost, weighed against the bytes the file holds: the memory held
// at once (the image block beside libjpeg's coefficient buffers) and the blocks its scans walk.
#pragma once

#include "CheckedSize.h"

#include <cstdint>
#include <cstdio>
#include <jpeglib.h>

namespace img {

// libjpeg's progress monitor, counting the blocks each scan walks before it walks them. A free
// amount of walking is allowed, and more for every byte that pays; past that the monitor leaves
// libjpeg through an ImgCore::ImgException and `refused` says why.
struct ScanWatch {
    jpeg_progress_mgr progress; // first: libjpeg hands the monitor this address
    std::uint64_t allowedBlocks;
    std::uint64_t walkedBlocks;
    int lastScan;
    bool refused;
};

// Whether the file can justify the image block and the coefficient buffers held beside it for a
// file of several scans; called with libjpeg just past the first scan header, `bytesLeft` the
// bytes from there to the end. Up to the free size any bytes pay; above it only the scans'
// entropy-coded bytes do, counted here once. When justified, libjpeg's memory limit becomes its
// share, before jpeg_start_decompress sizes a buffer, and the scans are watched against the same
// bytes. An image block past the block limit is left for the allocator to refuse, and libjpeg
// gets no coefficients.
bool costJustified(jpeg_decompress_struct& c, Size imageBlock, std::uint64_t bytesLeft,
                   ScanWatch* watch);

// The entropy-coded bytes of a JPEG stream fed in pieces from the first byte of a scan's data,
// as libjpeg's decoders take them: a stuffed 0xFF 0x00 is one byte; fill bytes, restart markers,
// marker segments and junk between segments are none. Segments are passed by their lengths,
// whatever they claim, so the count takes one pass over the bytes. It ends at the end marker, at
// a marker libjpeg goes no further than, or at the end of the data of a file's only scan, since
// libjpeg decodes no later one.
class CodedByteCount {
public:
    explicit CodedByteCount(bool laterScans) : m_laterScans(laterScans) {}

    // Takes the next piece; false once no later byte can count.
    bool feed(const std::uint8_t* bytes, std::size_t count);
    std::uint64_t bytes() const { return m_bytes; }

private:
    enum class At { Data, DataMarker, Junk, Marker, LengthHigh, LengthLow, Segment, Done };

    void onMarker(std::uint8_t marker);

    bool m_laterScans;
    At m_at = At::Data;
    bool m_scanHeader = false; // the segment being passed is a scan header
    std::uint32_t m_segmentLeft = 0;
    std::uint64_t m_bytes = 0;
};

} // namespace img
