// Small GIF files for the tests: header, colour tables, extensions and images whose indices
// go through a real LZW encoder, or hand-made code streams.
#pragma once

#include "TestFiles.h"

#include <array>
#include <utility>
#include <vector>

namespace testing_support {

using Rgb = std::array<std::uint8_t, 3>;

struct LzwOptions {
    explicit LzwOptions(bool clearFirst = true, bool endCode = true, bool clearWhenFull = true)
        : clearFirst(clearFirst), endCode(endCode), clearWhenFull(clearWhenFull) {}
    bool clearFirst;
    bool endCode;
    // Without it the encoder goes on with a full table, which decoders may refuse.
    bool clearWhenFull;
};

// Indices (each below 1 << minimumCodeSize) as packed LZW codes, without sub-blocks.
Bytes lzwEncode(const Bytes& indices, int minimumCodeSize,
                const LzwOptions& options = LzwOptions());

// Codes of the given widths, least significant bit first, for streams made by hand.
class CodePacker {
public:
    CodePacker& add(int code, int bits);
    const Bytes& bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    int m_bit = 0;
};

// The data cut into sub-blocks of at most `chunk` bytes, then the empty one unless told not to.
Bytes subBlocks(const Bytes& data, std::size_t chunk = 255, bool terminate = true);

struct GifFrame {
    GifFrame(int width, int height, Bytes indices)
        : width(width), height(height), indices(std::move(indices)) {}
    int width;
    int height;
    Bytes indices; // top-down rows, in display order even when interlaced
    std::vector<Rgb> localTable;
    bool interlaced = false;
    int minimumCodeSize = -1; // -1: from the colour table's size, at least 2
    LzwOptions lzw;
};

class GifWriter {
public:
    explicit GifWriter(const char* signature = "GIF89a");

    GifWriter& screen(int width, int height, const std::vector<Rgb>& globalTable = {});
    GifWriter& graphicControl(bool transparent, int index);
    GifWriter& extension(int label, const std::vector<Bytes>& blocks);
    GifWriter& image(const GifFrame& frame);
    // An image descriptor, then the image data exactly as given (code size byte, sub-blocks).
    GifWriter& imageRaw(int width, int height, int packed, const Bytes& data);
    GifWriter& raw(const Bytes& bytes);
    GifWriter& trailer();

    const Bytes& bytes() const { return m_bytes; }

private:
    void u16(int value);
    void table(const std::vector<Rgb>& colours);

    Bytes m_bytes;
    int m_tableBits = 1;
};

// Size code s of a table of `entries` colours (2 << s entries after padding).
int gifTableSizeCode(std::size_t entries);

} // namespace testing_support
