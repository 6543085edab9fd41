#include "JpegBudget.h"

#include "BlockBudget.h"
#include "ImgException.h"
#include "JpegSource.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

// Scans walk every block they cover, coded or not, so thousands of empty scans over a large
// image cost thousands of walks of it while the file grows by a few bytes for each. Sound files
// walk each block about ten times; any file may walk the blocks of a free block 32 times.
constexpr std::uint64_t kFreeWalkedBlocks = (kFreeBlockBytes / sizeof(JBLOCK)) * 32;
// Beyond that, each block the file's bytes could code (at the least encoding's density) may be
// walked this often.
constexpr std::uint64_t kWalksPerCodedBlock = 16;

// libjpeg's own buffers beside the coefficients: rows for upsampling and colour conversion,
// tables, the pools' overhead. They follow the width, which a frame header keeps below 65536.
constexpr std::uint64_t kLibjpegRowBytes = std::uint64_t{64} << 20;

void onProgress(j_common_ptr common) {
    auto c = reinterpret_cast<j_decompress_ptr>(common);
    auto* watch = reinterpret_cast<ScanWatch*>(c->progress);
    if (c->input_scan_number == watch->lastScan || c->comps_in_scan <= 0) return;
    watch->lastScan = c->input_scan_number;
    watch->walkedBlocks +=
        std::uint64_t{c->MCUs_per_row} * c->MCU_rows_in_scan * std::uint64_t(c->blocks_in_MCU);
    if (watch->walkedBlocks <= watch->allowedBlocks) return;
    watch->refused = true;
    ImgCore::ImgException failure("Scans walk more blocks than the file can justify");
    throw failure;
}

// What decoding holds at once: the image block and, for a file of several scans, every
// coefficient beside it.
struct Holding {
    Size imageBlock;
    std::uint64_t coefficients = 0;
    std::uint64_t codedBlocks = 0;
    std::uint64_t pixels = 0;
    Encoding encoding = Encoding::HuffmanJpeg;

    Holding(jpeg_decompress_struct& c, Size image) : imageBlock(image) {
        std::uint64_t heldBlocks = 0;
        for (int i = 0; i < c.num_components; ++i) {
            const jpeg_component_info& k = c.comp_info[i];
            codedBlocks += std::uint64_t{k.width_in_blocks} * k.height_in_blocks;
            // libjpeg rounds each component up to whole MCUs.
            const auto h = static_cast<unsigned>(k.h_samp_factor);
            const auto v = static_cast<unsigned>(k.v_samp_factor);
            heldBlocks += std::uint64_t{(k.width_in_blocks + h - 1) / h * h} *
                          ((k.height_in_blocks + v - 1) / v * v);
        }
        // A file of one scan decodes an MCU row at a time; one of several keeps every
        // coefficient.
        coefficients = jpeg_has_multiple_scans(&c) ? heldBlocks * sizeof(JBLOCK) : 0;
        pixels = std::uint64_t{c.output_width} * c.output_height;
        // Arithmetic coding can spend almost nothing on a run of empty blocks.
        if (c.arith_code) encoding = Encoding::Skipping;
    }

    // Both live until the decoding ends, so they count together. Clamped at the block limit the
    // sum still passes the free size and the ceiling, so the decision stays that of the whole.
    Size held() const {
        return Size(
            std::min<std::uint64_t>(std::uint64_t{imageBlock.bytes()} + coefficients, kBlockLimit));
    }
    // Whether any file may cost this much, whatever its bytes hold.
    bool free() const {
        return !imageBlock.ok() ||
               std::max<std::uint64_t>(held().bytes(), pixels) <= kFreeBlockBytes;
    }
    bool justifiedBy(std::uint64_t bytes) const {
        return !imageBlock.ok() || blockJustified(encoding, held(), pixels, codedBlocks, bytes);
    }
    // The allocator refuses an image block past the block limit; until then libjpeg holds no
    // coefficients.
    std::uint64_t libjpegShare() const {
        if (!imageBlock.ok()) return kLibjpegRowBytes;
        return std::min<std::uint64_t>(coefficients + kLibjpegRowBytes, kBlockLimit);
    }
};

void watchScans(j_decompress_ptr c, ScanWatch* watch, std::uint64_t payingBytes) {
    *watch = {};
    watch->progress.progress_monitor = onProgress;
    watch->allowedBlocks =
        kFreeWalkedBlocks + kWalksPerCodedBlock * greatestUnits(Encoding::HuffmanJpeg, payingBytes);
    c->progress = &watch->progress;
}

std::uint64_t codedBytesAhead(j_decompress_ptr c) {
    CodedByteCount count(jpeg_has_multiple_scans(c));
    visitBytesAhead(c, [&](const JOCTET* bytes, std::size_t n) { return count.feed(bytes, n); });
    return count.bytes();
}

constexpr std::uint8_t kMarkerByte = 0xFF;
constexpr std::uint8_t kStuffing = 0x00;
constexpr std::uint8_t kTem = 0x01;
constexpr std::uint8_t kDht = 0xC4;
constexpr std::uint8_t kDac = 0xCC;
constexpr std::uint8_t kRst0 = 0xD0, kRst7 = 0xD7;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kDqt = 0xDB;
constexpr std::uint8_t kDnl = 0xDC;
constexpr std::uint8_t kDri = 0xDD;
constexpr std::uint8_t kApp0 = 0xE0, kApp15 = 0xEF;
constexpr std::uint8_t kCom = 0xFE;

bool isRestart(std::uint8_t marker) {
    return marker >= kRst0 && marker <= kRst7;
}

// The segments libjpeg reads or passes between scans; at the end marker, a second start or
// frame header, or a marker it does not know, it stops.
bool passedSegment(std::uint8_t marker) {
    return marker == kSos || marker == kDht || marker == kDac || marker == kDqt || marker == kDnl ||
           marker == kDri || marker == kCom || (marker >= kApp0 && marker <= kApp15);
}

} // namespace

bool costJustified(jpeg_decompress_struct& c, Size imageBlock, std::uint64_t bytesLeft,
                   ScanWatch* watch) {
    const Holding holding(c, imageBlock);
    std::uint64_t paying = bytesLeft;
    if (!holding.justifiedBy(paying)) return false;
    // Tables, comments and application segments code no block, so beyond the free size only
    // the scans' own data pays.
    if (!holding.free()) {
        paying = codedBytesAhead(&c);
        if (!holding.justifiedBy(paying)) return false;
    }
    c.mem->max_memory_to_use = static_cast<long>(holding.libjpegShare());
    watchScans(&c, watch, paying);
    return true;
}

bool CodedByteCount::feed(const std::uint8_t* bytes, std::size_t count) {
    const std::uint8_t* p = bytes;
    const std::uint8_t* const end = bytes + count;
    while (p < end && m_at != At::Done) {
        const auto left = static_cast<std::size_t>(end - p);
        switch (m_at) {
        case At::Data:
        case At::Junk: {
            const auto* mark = static_cast<const std::uint8_t*>(std::memchr(p, kMarkerByte, left));
            const std::uint8_t* stop = mark != nullptr ? mark : end;
            if (m_at == At::Data) m_bytes += static_cast<std::uint64_t>(stop - p);
            p = stop;
            if (mark != nullptr) {
                m_at = m_at == At::Data ? At::DataMarker : At::Marker;
                ++p;
            }
            break;
        }
        case At::DataMarker:
        case At::Marker: {
            const std::uint8_t b = *p++;
            // Any number of 0xFF may stand before a marker.
            if (b == kMarkerByte) break;
            if (m_at == At::DataMarker) {
                if (b == kStuffing) {
                    ++m_bytes;
                    m_at = At::Data;
                } else if (isRestart(b)) {
                    m_at = At::Data;
                } else {
                    onMarker(b);
                }
            } else {
                // Between segments libjpeg passes 0xFF 0x00 as junk.
                if (b == kStuffing)
                    m_at = At::Junk;
                else
                    onMarker(b);
            }
            break;
        }
        case At::LengthHigh:
            m_segmentLeft = std::uint32_t{*p++} << 8;
            m_at = At::LengthLow;
            break;
        case At::LengthLow: {
            const std::uint32_t length = m_segmentLeft | *p++;
            // The length counts its own two bytes; a shorter one passes nothing more.
            m_segmentLeft = length > 2 ? length - 2 : 0;
            m_at = At::Segment;
            break;
        }
        case At::Segment: {
            const std::size_t take = std::min<std::size_t>(m_segmentLeft, left);
            p += take;
            m_segmentLeft -= static_cast<std::uint32_t>(take);
            if (m_segmentLeft == 0) m_at = m_scanHeader ? At::Data : At::Junk;
            break;
        }
        case At::Done:
            break;
        }
    }
    return m_at != At::Done;
}

void CodedByteCount::onMarker(std::uint8_t marker) {
    // Data after the end of a file's only scan is never decoded.
    if (m_at == At::DataMarker && !m_laterScans) {
        m_at = At::Done;
        return;
    }
    if (isRestart(marker) || marker == kTem) {
        m_at = At::Junk;
        return;
    }
    if (!passedSegment(marker)) {
        m_at = At::Done;
        return;
    }
    m_scanHeader = marker == kSos;
    m_at = At::LengthHigh;
}

} // namespace img
