// The data sub-blocks of a GIF stream and the variable-width LZW decoder that reads its image
// data. All the state lives in these objects, which the GIF reader keeps in its record.
#pragma once

#include "CImgIO.h"

#include <cstdint>

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
    // The next values, as next() gives them, stored into out[0, count) as long as they are
    // bytes; gives how many were stored. Fewer means that a value was no byte: stopValue() is
    // that value, already taken.
    int read(BYTE* out, int count);
    int stopValue() const { return m_stopValue; }

private:
    void resetTables();
    int readCode();
    int firstCode();
    int decode(int code);
    bool push(int value);
    bool indexable(int code) const { return code >= 0 && code < kTableSize; }
    bool known(int code) const {
        return code >= 0 && (code < m_clearCode || (code > m_endCode && code < m_nextFree));
    }
    void addEntry(int first);
    bool writeStrings(BYTE* out, int& n, int count, int& code);
    BYTE splitString(BYTE* out, int room, int base, bool repeat, int lastFirst);

    GifSubBlocks& m_blocks;

    // Code reader: the bits not yet taken, least significant first, then the rest of the
    // sub-block they came from.
    std::uint64_t m_bits = 0;
    int m_bitCount = 0;
    BYTE m_block[256] = {};
    int m_blockAt = 0;
    int m_blockEnd = 0;
    bool m_endOfData = false;

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
    // String lengths, right while the table is sound: since the last clear every entry's
    // prefix has been a literal or an earlier entry, and so has the previous code. A hostile
    // stream that names an entry not yet made ends that until the next clear, and its strings
    // go through the stack.
    WORD m_length[kTableSize] = {};
    bool m_tableSound = false;
    BYTE m_stack[kStackSize] = {};
    int m_stackCount = 0;
    int m_stopValue = 0;
};

} // namespace img
