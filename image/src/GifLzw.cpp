#include "GifLzw.h"

#include <algorithm>
#include <cstring>

namespace img {

int GifSubBlocks::read(BYTE* buffer) {
    BYTE count = 0;
    if (!m_io.readExact(&count, 1)) count = 0;
    m_lastWasEmpty = count == 0;
    if (count == 0 || !m_io.readExact(buffer, count)) return 0;
    return count;
}

void GifSubBlocks::skipRest() {
    BYTE scratch[256];
    while (read(scratch) != 0) {
    }
}

bool GifLzwDecoder::start(int minimumCodeSize) {
    // A larger size would name literal codes past the 4096-entry tables.
    if (minimumCodeSize < 0 || minimumCodeSize > kMaxCodeSize) return false;
    m_minimumCodeSize = minimumCodeSize;
    m_bits = 0;
    m_bitCount = 0;
    m_blockAt = m_blockEnd = 0;
    m_endOfData = false;
    resetTables();
    m_fresh = true;
    return true;
}

void GifLzwDecoder::resetTables() {
    m_clearCode = 1 << m_minimumCodeSize;
    m_endCode = m_clearCode + 1;
    m_codeSize = m_minimumCodeSize + 1;
    m_nextFree = m_clearCode + 2;
    m_threshold = 2 * m_clearCode;
    for (int i = 0; i < kTableSize; ++i) {
        const bool literal = i < m_clearCode;
        m_prefix[i] = 0;
        m_suffix[i] = literal ? static_cast<BYTE>(i) : 0;
        m_length[i] = literal ? 1 : 0;
    }
    m_tableSound = true;
    m_stackCount = 0;
}

int GifLzwDecoder::readCode() {
    const int n = m_codeSize;
    // A sub-block is read only when the code needs bits past those held, so that the stream
    // is taken exactly as far as the codes go.
    while (m_bitCount < n) {
        if (m_blockAt < m_blockEnd) {
            m_bits |= std::uint64_t{m_block[m_blockAt++]} << m_bitCount;
            m_bitCount += 8;
        } else if (m_endOfData) {
            // With no bits left over the data reads on as code 0, until the table is full.
            return m_bitCount > 0 ? kBadCode : 0;
        } else {
            m_blockAt = 0;
            m_blockEnd = m_blocks.read(m_block);
            m_endOfData = m_blockEnd == 0;
        }
    }
    const int code = static_cast<int>(m_bits & ((std::uint64_t{1} << n) - 1));
    m_bits >>= n;
    m_bitCount -= n;
    return code;
}

bool GifLzwDecoder::push(int value) {
    if (m_stackCount >= kStackSize) return false;
    m_stack[m_stackCount++] = static_cast<BYTE>(value);
    return true;
}

int GifLzwDecoder::firstCode() {
    // Clears in a row are one clear; the code after the last one starts the strings.
    int code;
    do {
        code = readCode();
    } while (code == m_clearCode);
    m_firstCode = m_previousCode = code;
    return code;
}

int GifLzwDecoder::next() {
    if (m_fresh) {
        m_fresh = false;
        return firstCode();
    }
    if (m_stackCount > 0) return m_stack[--m_stackCount];
    return decode(readCode());
}

int GifLzwDecoder::decode(int code) {
    if (code < 0) return code;
    if (code == m_clearCode) {
        resetTables();
        return firstCode();
    }
    if (code == m_endCode) {
        if (!m_blocks.lastWasEmpty()) m_blocks.skipRest();
        return kEnded;
    }

    const int incoming = code;
    if (code >= m_nextFree) {
        if (!push(m_firstCode)) return kEnded;
        code = m_previousCode;
    }
    // Hostile streams can link entries into loops; the stack bound ends those.
    while (code >= m_clearCode) {
        if (!indexable(code)) return kBadCode;
        if (!push(m_suffix[code])) return kEnded;
        if (code == m_prefix[code]) return kBadCode;
        code = m_prefix[code];
    }
    if (!indexable(code)) return kBadCode;
    m_firstCode = m_suffix[code];

    if (m_nextFree >= kTableSize) return kBadCode;
    if (!push(m_firstCode)) return kEnded;
    addEntry(m_firstCode);
    m_previousCode = incoming;
    return m_stack[--m_stackCount];
}
void GifLzwDecoder::addEntry(int first) {
    m_prefix[m_nextFree] = static_cast<WORD>(m_previousCode);
    m_suffix[m_nextFree] = static_cast<BYTE>(first);
    if (m_tableSound) m_length[m_nextFree] = static_cast<WORD>(m_length[m_previousCode] + 1);
    ++m_nextFree;
    if (m_nextFree >= m_threshold && m_threshold < kTableSize) {
        m_threshold *= 2;
        ++m_codeSize;
    }
}

namespace {

// Writes the string of a literal or of an entry of a sound table back to front into
// out[0, length) and gives its first byte.
inline BYTE writeBackToFront(BYTE* out, int code, int length, const WORD* prefix,
                             const BYTE* suffix) {
    for (int j = length - 1; j > 0; --j) {
        out[j] = suffix[code];
        code = prefix[code];
    }
    return out[0] = suffix[code];
}

} // namespace

// What decode() gives for codes of a sound table, written in place. Stops at the first code
// that needs decode() and gives it.
bool GifLzwDecoder::writeStrings(BYTE* out, int& n, int count, int& code) {
    if (!m_tableSound) {
        code = readCode();
        return true;
    }
    // Bytes stored through `out` may alias any member, so the state stays in locals here.
    std::uint64_t bits = m_bits;
    int bitCount = m_bitCount;
    int codeSize = m_codeSize;
    std::uint64_t mask = (std::uint64_t{1} << codeSize) - 1;
    int nextFree = m_nextFree;
    int threshold = m_threshold;
    int previous = m_previousCode;
    int first = m_firstCode;
    const unsigned clear = static_cast<unsigned>(m_clearCode);
    WORD* const prefix = m_prefix;
    BYTE* const suffix = m_suffix;
    WORD* const length = m_length;
    auto takeCode = [&] {
        if (bitCount < codeSize && m_blockEnd - m_blockAt >= 8) {
            std::uint64_t word;
            std::memcpy(&word, m_block + m_blockAt, sizeof word);
            bits |= word << bitCount;
            m_blockAt += (63 - bitCount) >> 3;
            bitCount |= 56;
        }
        if (bitCount < codeSize) {
            m_bits = bits;
            m_bitCount = bitCount;
            m_codeSize = codeSize;
            const int c = readCode();
            bits = m_bits;
            bitCount = m_bitCount;
            return c;
        }
        const int c = static_cast<int>(bits & mask);
        bits >>= codeSize;
        bitCount -= codeSize;
        return c;
    };

    int at = n;
    bool stopped = false;
    while (at < count) {
        code = takeCode();
        // The clear and end codes, codes past the next entry, and a full table: decode().
        if (nextFree >= kTableSize || static_cast<unsigned>(code) - clear < 2 ||
            static_cast<unsigned>(code) > static_cast<unsigned>(nextFree)) {
            stopped = true;
            break;
        }
        // The next entry's code stands for the previous string and its own first byte.
        const bool repeat = code == nextFree;
        const int base = repeat ? previous : code;
        const int baseLength = length[base];
        const int total = baseLength + (repeat ? 1 : 0);
        if (total <= count - at) {
            if (repeat) out[at + baseLength] = static_cast<BYTE>(first);
            first = writeBackToFront(out + at, base, baseLength, prefix, suffix);
            at += total;
        } else {
            first = splitString(out + at, count - at, base, repeat, first);
            at = count;
        }
        prefix[nextFree] = static_cast<WORD>(previous);
        suffix[nextFree] = static_cast<BYTE>(first);
        length[nextFree] = static_cast<WORD>(length[previous] + 1);
        if (++nextFree >= threshold && threshold < kTableSize) {
            threshold *= 2;
            mask = (std::uint64_t{1} << ++codeSize) - 1;
        }
        previous = code;
    }
    n = at;
    m_bits = bits;
    m_bitCount = bitCount;
    m_codeSize = codeSize;
    m_nextFree = nextFree;
    m_threshold = threshold;
    m_previousCode = previous;
    m_firstCode = first;
    return stopped;
}

// A string that passes the end of `out`: its first `room` bytes go there, the rest onto the
// stack with the next byte on top, as decode() leaves a string there.
BYTE GifLzwDecoder::splitString(BYTE* out, int room, int base, bool repeat, int lastFirst) {
    BYTE string[kTableSize + 1];
    const int baseLength = m_length[base];
    const int total = baseLength + (repeat ? 1 : 0);
    if (repeat) string[baseLength] = static_cast<BYTE>(lastFirst);
    const BYTE first = writeBackToFront(string, base, baseLength, m_prefix, m_suffix);
    std::memcpy(out, string, static_cast<std::size_t>(room));
    m_stackCount = total - room;
    for (int i = 0; i < m_stackCount; ++i)
        m_stack[i] = string[total - 1 - i];
    return first;
}

int GifLzwDecoder::read(BYTE* out, int count) {
    int n = 0;
    while (n < count) {
        if (m_stackCount > 0) {
            const int take = std::min(m_stackCount, count - n);
            for (int i = 0; i < take; ++i)
                out[n + i] = m_stack[m_stackCount - 1 - i];
            m_stackCount -= take;
            n += take;
            continue;
        }
        int value;
        if (m_fresh) {
            value = next();
        } else {
            int code;
            if (!writeStrings(out, n, count, code)) continue;
            value = decode(code);
        }
        if (!known(m_previousCode)) m_tableSound = false;
        if (value < 0 || value > 255) {
            m_stopValue = value;
            return n;
        }
        out[n++] = static_cast<BYTE>(value);
    }
    return n;
}

} // namespace img
