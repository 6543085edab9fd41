// The Huffman-coded corrections of the two highest stored Photo CD levels. Each row of
// corrections starts at a sync mark that names its plane and row; the codes that follow add
// signed steps to consecutive bytes of that row.
#include "PcdReader.h"

#include "Trace.h"

namespace img {
namespace {

constexpr unsigned kBufferBytes = 2048;
constexpr int kMaxTables = 3;
constexpr int kMaxCodeLength = 16;

struct HuffmanEntry {
    std::uint32_t code; // in the top bits
    std::uint32_t mask;
    int length;
    int key;
};

// Bits of the stream, most significant first, kept in a 32-bit accumulator that holds more
// than 24 of them for as long as the stream has bytes.
class BitStream {
public:
    explicit BitStream(CImgIO& io) : m_io(io) {}

    bool start() {
        if (m_buffer.ensure(kBufferBytes) == nullptr) return false;
        fill();
        return true;
    }
    std::uint32_t accumulator() const { return m_sum; }
    bool ended() const { return m_ended; }
    // Whether `bits` bits of the stream are held (false only near its end).
    bool holds(int bits) const { return m_bits >= bits; }
    std::uint32_t top(int bits) const { return m_sum >> (32 - bits); }
    void drop(int bits) {
        m_sum <<= bits;
        m_bits = m_bits > bits ? m_bits - bits : 0;
        fill();
    }

private:
    // A refill that reads nothing is the end of the stream.
    void fill() {
        while (m_bits <= 24 && !m_ended) {
            if (m_at == m_length) {
                m_length = m_io.read(m_buffer.data(), kBufferBytes);
                m_at = 0;
                if (m_length == 0) {
                    m_ended = true;
                    return;
                }
            }
            m_sum |= static_cast<std::uint32_t>(m_buffer[m_at++]) << (24 - m_bits);
            m_bits += 8;
        }
    }

    CImgIO& m_io;
    ScratchBuffer<BYTE> m_buffer;
    unsigned m_at = 0, m_length = 0;
    std::uint32_t m_sum = 0;
    int m_bits = 0;
    bool m_ended = false;
};

// A sync mark: 23 set bits and a clear one at the top of the accumulator.
bool atSync(std::uint32_t sum) {
    return sum + 0x200u < 0x100u;
}

void skipToSync(BitStream& bits) {
    while (!bits.ended() && (bits.accumulator() & 0xFFF000u) != 0xFFF000u)
        bits.drop(8);
    while (!bits.ended() && !atSync(bits.accumulator()))
        bits.drop(1);
}

class CorrectionDecoder {
public:
    CorrectionDecoder(CImgIO& io, int rowStride, int rows, BYTE* const planes[3],
                      std::size_t planeBytes)
        : m_bits(io), m_stride(rowStride), m_rows(rows), m_planeBytes(planeBytes) {
        for (int i = 0; i < 3; ++i)
            m_planes[i] = planes[i];
    }

    int run(int tableCount) {
        if (!m_bits.start()) return kNoMemory;
        for (int t = 0; t < tableCount; ++t) {
            const int result = readTable(t);
            if (result != kOk) return result;
        }
        m_bits.drop(16);
        m_bits.drop(16);
        skipToSync(m_bits);
        while (!m_bits.ended() && !m_planeFull) {
            if (atSync(m_bits.accumulator())) {
                const int result = startRow();
                if (result != kOk) return result == kFinished ? kOk : result;
            } else if (!correct()) {
                trace(kTraceWarning, "Corrupt PCD image, skipping to sync byte");
                skipToSync(m_bits);
            }
        }
        return kOk;
    }

private:
    static constexpr int kFinished = -1;

    // A table: a count byte, then per entry its code length - 1, a 16-bit code and a key.
    int readTable(int t) {
        if (!m_bits.holds(8)) return kNotPcd;
        const int count = static_cast<int>(m_bits.top(8)) + 1;
        m_bits.drop(8);
        HuffmanEntry* entries = m_tables[t].ensure(count);
        if (entries == nullptr) return kNoMemory;
        for (int i = 0; i < count; ++i) {
            if (!m_bits.holds(8)) return kNotPcd;
            const int length = static_cast<int>(m_bits.top(8)) + 1;
            m_bits.drop(8);
            if (length > kMaxCodeLength) return kNotPcd;
            if (!m_bits.holds(16)) return kNotPcd;
            const std::uint32_t code = m_bits.top(16) << 16;
            m_bits.drop(16);
            if (!m_bits.holds(8)) return kNotPcd;
            const auto key = static_cast<int>(static_cast<signed char>(m_bits.top(8)));
            m_bits.drop(8);
            entries[i] = {code, ~((1u << (32 - length)) - 1u), length, key};
        }
        m_tableLengths[t] = count;
        return kOk;
    }

    // The sync mark names the plane and row whose bytes the following codes correct.
    int startRow() {
        m_bits.drop(16);
        const int row = static_cast<int>((m_bits.accumulator() >> 9) & 0x1FFF);
        // Rows beyond the level would be written outside the plane.
        if (row >= m_rows) return kFinished;
        m_bits.drop(8);
        const unsigned plane = m_bits.accumulator() >> 30;
        m_bits.drop(16);
        std::size_t offset = 0;
        switch (plane) {
        case 0:
            offset = static_cast<std::size_t>(m_stride) * row;
            m_table = 0;
            break;
        case 2:
        case 3:
            offset = static_cast<std::size_t>(m_stride) * (row >> 1);
            m_table = plane - 1;
            break;
        default:
            trace(kTraceError, "Corrupt PCD image");
            return kNotPcd;
        }
        BYTE* base = m_planes[m_table];
        m_at = base + offset;
        m_end = base + m_planeBytes;
        return kOk;
    }

    // One code: false when it matches no entry of the current table (or there is none).
    bool correct() {
        const HuffmanEntry* entries = m_tables[m_table].data();
        const int count = m_tableLengths[m_table];
        const std::uint32_t sum = m_bits.accumulator();
        for (int i = 0; i < count; ++i) {
            const HuffmanEntry& e = entries[i];
            if ((sum & e.mask) != e.code) continue;
            if (m_at == nullptr || m_at >= m_end) {
                // Past the end of the plane: nothing more can be written.
                m_planeFull = true;
                return true;
            }
            const int value = *m_at + e.key;
            *m_at++ = static_cast<BYTE>(value < 0 ? 0 : value > 255 ? 255 : value);
            m_bits.drop(e.length);
            return true;
        }
        return false;
    }

    BitStream m_bits;
    int m_stride, m_rows;
    BYTE* m_planes[3];
    std::size_t m_planeBytes;
    ScratchBuffer<HuffmanEntry> m_tables[kMaxTables];
    int m_tableLengths[kMaxTables] = {};
    unsigned m_table = 0;
    BYTE* m_at = nullptr;
    BYTE* m_end = nullptr;
    bool m_planeFull = false;
};

} // namespace

int decodePCDCorrections(CImgIO& stream, int levelWidth, int rowStride, int rows, BYTE* luminance,
                         BYTE* chroma1, BYTE* chroma2, std::size_t planeBytes) {
    BYTE* const planes[3] = {luminance, chroma1, chroma2};
    CorrectionDecoder decoder(stream, rowStride, rows, planes, planeBytes);
    return decoder.run(levelWidth <= 1536 ? 1 : kMaxTables);
}

} // namespace img
