// The data sub-blocks of a GIF stream and the variable-width LZW decoder that reads its image
// data. All the state lives in these objects, which the GIF reader keeps in its record.
#pragma once

#include "CImgIO.h"

namespace img {

// Sub-blocks: a count byte, then that many bytes; a count of 0 ends the sequence.
class GifSubBlocks {
public:
    explicit GifSubBlocks(CImgIO& io) : m_io(io) {}

    // Reads one sub-block into `buffer` (256 bytes) and gives its count; 0 when the sequence
    // ended or the stream failed.
    int read(BYTE* buffer);
    // Reads sub-blocks up to the empty one that ends the sequence (or the end of the stream).
    void skipRest();
    bool lastWasEmpty() const { return m_lastWasEmpty; }

private:
    CImgIO& m_io;
    bool m_lastWasEmpty = false;
};

class GifLzwDecoder {
public:
    static constexpr int kMaxCodeSize = 12;
    static constexpr int kTableSize = 1 << kMaxCodeSize;
    static constexpr int kStackSize = 8192;
    // Negative results: the data is bad (-1) or ended (-2).
    static constexpr int kBadCode = -1;
    static constexpr int kEnded = -2;

    explicit GifLzwDecoder(GifSubBlocks& blocks) : m_blocks(blocks) {}

    // Starts a new image; false when the minimum code size cannot fit the tables.
    bool start(int minimumCodeSize);
    // The next decoded value (a palette index, or the raw first code after a clear, which a
    // hostile stream may set above 255), or a negative code.
    int next();

private:
    void resetCodes();
    void resetTables();
    int readCode();
    bool push(int value);
    bool indexable(int code) const { return code >= 0 && code < kTableSize; }

    GifSubBlocks& m_blocks;

    // Code reader: two bytes kept from the previous sub-block, then up to 255 more, plus slack.
    BYTE m_bits[280] = {};
    int m_currentBit = 0;
    int m_lastBit = 0;
    bool m_endOfData = false;
    int m_bytesInBuffer = 0;

    int m_minimumCodeSize = 0;
    int m_codeSize = 0;
    int m_clearCode = 0;
    int m_endCode = 0;
    int m_nextFree = 0;
    int m_threshold = 0;
    int m_firstCode = 0;
    int m_previousCode = 0;
    bool m_fresh = false;

    WORD m_prefix[kTableSize] = {};
    BYTE m_suffix[kTableSize] = {};
    BYTE m_stack[kStackSize] = {};
    int m_stackCount = 0;
};

} // namespace img
