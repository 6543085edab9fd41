#include "GifLzw.h"

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
    resetCodes();
    resetTables();
    m_fresh = true;
    return true;
}

void GifLzwDecoder::resetCodes() {
    m_currentBit = 0;
    m_lastBit = 0;
    m_endOfData = false;
    m_bytesInBuffer = 0;
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
    }
    m_stackCount = 0;
}

int GifLzwDecoder::readCode() {
    const int n = m_codeSize;
    // Refill only when the code needs bits past the buffer: a code that ends exactly at the
    // end of the data is still whole.
    while (m_currentBit + n > m_lastBit) {
        if (m_endOfData) return m_currentBit < m_lastBit ? kBadCode : 0;
        if (m_bytesInBuffer > 1) {
            m_bits[0] = m_bits[m_bytesInBuffer - 2];
            m_bits[1] = m_bits[m_bytesInBuffer - 1];
        }
        const int count = m_blocks.read(m_bits + 2);
        if (count == 0) m_endOfData = true;
        m_currentBit = m_currentBit - m_lastBit + 16;
        m_bytesInBuffer = count + 2;
        m_lastBit = 8 * m_bytesInBuffer;
    }
    int code = 0;
    for (int j = 0; j < n; ++j) {
        const int bit = m_currentBit + j;
        code |= ((m_bits[bit >> 3] >> (bit & 7)) & 1) << j;
    }
    m_currentBit += n;
    return code;
}

bool GifLzwDecoder::push(int value) {
    if (m_stackCount >= kStackSize) return false;
    m_stack[m_stackCount++] = static_cast<BYTE>(value);
    return true;
}

int GifLzwDecoder::next() {
    if (m_fresh) {
        m_fresh = false;
        int code;
        do {
            code = readCode();
        } while (code == m_clearCode);
        m_firstCode = m_previousCode = code;
        return code;
    }
    if (m_stackCount > 0) return m_stack[--m_stackCount];

    int code = readCode();
    if (code < 0) return code;
    if (code == m_clearCode) {
        resetTables();
        // Clears in a row are one clear; the code after the last one starts the strings.
        do {
            code = readCode();
        } while (code == m_clearCode);
        m_firstCode = m_previousCode = code;
        return code;
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
    m_prefix[m_nextFree] = static_cast<WORD>(m_previousCode);
    m_suffix[m_nextFree] = static_cast<BYTE>(m_firstCode);
    ++m_nextFree;
    if (m_nextFree >= m_threshold && m_threshold < kTableSize) {
        m_threshold *= 2;
        ++m_codeSize;
    }
    m_previousCode = incoming;
    return m_stack[--m_stackCount];
}

} // namespace img
