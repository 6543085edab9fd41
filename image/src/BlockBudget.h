// What a file must hold before a large block is allocated for it. Any block above
// kFreeBlockBytes (pixels, packed DIB, or a buffer on the way) needs a file that can hold the
// least encoding of what the block will receive; encodings that can skip pixels have no least
// encoding, so their blocks stop at a ceiling instead. A call's cost then follows the file's
// size, not what its header claims.
#pragma once

#include "CheckedSize.h"

#include <cstdint>

namespace img {

class CImgIO;

// Blocks up to this size need no justification: short files keep their zero-filled rest.
inline constexpr std::uint64_t kFreeBlockBytes = std::uint64_t{64} << 20;
// Converting, drawing and resizing an image cost per pixel, so a block counts at least a byte
// a pixel: a 1-bit block under the free size can still hold half a billion pixels.
// The largest block for encodings that can skip pixels, near the area limits that common
// decoders refuse by default.
inline constexpr std::uint64_t kSkippingBlockCeiling = std::uint64_t{256} << 20;

enum class Encoding {
    RawRows,
    PcxRle,
    TgaRle,
    PackBits,
    GifLzw,
    Deflate,
    HuffmanJpeg,
    TiffLzw,
    TiffJpeg,
    Skipping,
};

// At most `units` of the encoding's output from `bytes` bytes of its input; units are bytes of
// stored rows unless the line says otherwise.
struct Density {
    Encoding encoding;
    std::uint64_t units;
    std::uint64_t bytes;
};

inline constexpr Density kDensities[] = {
    // Stored rows are their own bytes.
    {Encoding::RawRows, 1, 1},
    // A run is a count byte (0xC1 to 0xFF: at most 63) and the value byte.
    {Encoding::PcxRle, 63, 2},
    // Units are pixels: a run packet is one header byte (at most 128 pixels) and one pixel of
    // at least one byte.
    {Encoding::TgaRle, 128, 2},
    // A repeat is a header byte (at most 128 copies) and the value byte.
    {Encoding::PackBits, 128, 2},
    // Units are pixels. Walking a code's string meets each entry once at most (a loop ends
    // decoding), so a code gives about as many pixels as there are entries since the last
    // clear at most: never above 4096, and fewer than its width can name while codes are under
    // 12 bits. No code, short or long, gives more than 4096 / 12 pixels for each of its bits,
    // whether a full table is cleared or kept. The codes that the end of the data reads as 0
    // cost no bits but give one pixel each until the table is full, fewer than the sub-block
    // count bytes justify.
    {Encoding::GifLzw, 4096 * 8, 12},
    // zlib's greatest ratio: a 258-byte match takes at least two bits of a fixed-code block.
    {Encoding::Deflate, 1032, 1},
    // Units are 8 x 8 blocks of every component: a first DC scan spends at least one bit on
    // every block it codes; later scans and end-of-band runs may add nothing.
    {Encoding::HuffmanJpeg, 8, 1},
    // One code of at least 9 bits gives at most 4096 bytes.
    {Encoding::TiffLzw, 4096 * 8, 9},
    // At least one bit for every 64 samples of a block, 8-bit samples.
    {Encoding::TiffJpeg, 64 * 8, 1},
};

// Whether a block of `block` bytes may be allocated for an image of `pixels` pixels whose
// encoding must yield `units` from at most `sourceBytes` bytes of the file. A size past the
// block limit passes: the allocator refuses it as it refuses any such size, for no memory.
bool blockJustified(Encoding encoding, Size block, std::uint64_t pixels, std::uint64_t units,
                    std::uint64_t sourceBytes);

// The same for a block that receives no more than the file can justify by itself, in the
// encoding's own units: the greatest units `sourceBytes` can yield (the ceiling's bytes for
// encodings that skip).
std::uint64_t greatestUnits(Encoding encoding, std::uint64_t sourceBytes);

// Bytes from the source's position to its end: all that is left to justify a block.
std::uint64_t bytesLeft(const CImgIO& io);

} // namespace img
