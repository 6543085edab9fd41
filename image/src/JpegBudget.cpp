#include "JpegBudget.h"

#include "BlockBudget.h"
#include "ImgException.h"

#include <algorithm>

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

} // namespace

bool holdingJustified(jpeg_decompress_struct& c, Size imageBlock, std::uint64_t sourceBytes) {
    if (!imageBlock.ok()) {
        // The allocator refuses the image block; until then libjpeg holds no coefficients.
        c.mem->max_memory_to_use = static_cast<long>(kLibjpegRowBytes);
        return true;
    }
    std::uint64_t codedBlocks = 0;
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
    // A file of one scan decodes an MCU row at a time; one of several keeps every coefficient.
    const std::uint64_t coefficients =
        jpeg_has_multiple_scans(&c) ? heldBlocks * sizeof(JBLOCK) : 0;
    // Both live until the decoding ends, so they count together. Clamped at the block limit the
    // sum still passes the free size and the ceiling, so the decision stays that of the whole.
    const std::uint64_t held =
        std::min<std::uint64_t>(std::uint64_t{imageBlock.bytes()} + coefficients, kBlockLimit);
    // Arithmetic coding can spend almost nothing on a run of empty blocks.
    const Encoding encoding = c.arith_code ? Encoding::Skipping : Encoding::HuffmanJpeg;
    const std::uint64_t pixels = std::uint64_t{c.output_width} * c.output_height;
    if (!blockJustified(encoding, Size(held), pixels, codedBlocks, sourceBytes)) return false;
    c.mem->max_memory_to_use =
        static_cast<long>(std::min<std::uint64_t>(coefficients + kLibjpegRowBytes, kBlockLimit));
    return true;
}

void watchScans(j_decompress_ptr c, ScanWatch* watch, std::uint64_t sourceBytes) {
    *watch = {};
    watch->progress.progress_monitor = onProgress;
    watch->allowedBlocks =
        kFreeWalkedBlocks + kWalksPerCodedBlock * greatestUnits(Encoding::HuffmanJpeg, sourceBytes);
    c->progress = &watch->progress;
}

} // namespace img
