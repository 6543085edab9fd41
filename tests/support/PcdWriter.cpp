#include "PcdWriter.h"

#include <algorithm>
#include <cstring>

namespace testing_support {
namespace {

constexpr std::size_t kSector = 2048;
constexpr std::size_t kLevelSectors[3] = {4, 23, 96};
constexpr std::size_t kFourBaseSector = 384 + 4;

class BitWriter {
public:
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            putBit((value >> i) & 1u);
    }
    void putBit(unsigned bit) {
        if (m_bit % 8 == 0) m_bytes.push_back(0);
        if (bit) m_bytes.back() |= static_cast<std::uint8_t>(0x80u >> (m_bit % 8));
        ++m_bit;
    }
    void putSync(int plane, int row) {
        put(0x7FFFFF, 23);
        putBit(0);
        put(static_cast<std::uint32_t>(plane), 2);
        put(static_cast<std::uint32_t>(row), 13);
        putBit(0);
    }
    std::size_t bit() const { return m_bit; }
    Bytes take() { return std::move(m_bytes); }

private:
    Bytes m_bytes;
    std::size_t m_bit = 0;
};

const PcdCode& codeFor(const std::vector<PcdCode>& table, int key) {
    for (const PcdCode& c : table)
        if (c.key == key) return c;
    return table.front();
}

// Where the reader's buffered reading of a correction stream stops: it keeps more than 24
// bits ahead of what it has used and refills 2048 bytes at a time, and it has used 16 bits
// of the end mark when it stops.
std::size_t sectorsRead(std::size_t endSyncBit) {
    const std::size_t used = endSyncBit + 16;
    const std::size_t bytes = (used + 25 + 7) / 8;
    return (bytes - 1) / kSector + 1;
}

void putLevel(Bytes& file, std::size_t sector, const PcdLevel& level) {
    std::size_t at = sector * kSector;
    const std::size_t half = static_cast<std::size_t>(level.width) / 2;
    for (int g = 0; g < level.height / 2; ++g) {
        const std::uint8_t* top =
            level.luminance.data() + static_cast<std::size_t>(2 * g) * level.width;
        std::memcpy(&file[at], top, 2 * static_cast<std::size_t>(level.width));
        at += 2 * static_cast<std::size_t>(level.width);
        std::memcpy(&file[at], level.chroma1.data() + g * half, half);
        at += half;
        std::memcpy(&file[at], level.chroma2.data() + g * half, half);
        at += half;
    }
}

void putAt(Bytes& file, std::size_t offset, const Bytes& data) {
    if (file.size() < offset + data.size()) file.resize(offset + data.size(), 0);
    std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

PcdLevel flatPcdLevel(int number, std::uint8_t y, std::uint8_t c1, std::uint8_t c2) {
    PcdLevel level;
    level.width = 192 << (number - 1);
    level.height = 128 << (number - 1);
    const std::size_t pixels = static_cast<std::size_t>(level.width) * level.height;
    level.luminance.assign(pixels, y);
    level.chroma1.assign(pixels / 4, c1);
    level.chroma2.assign(pixels / 4, c2);
    return level;
}

std::vector<PcdCode> pcdStepTable(const std::vector<int>& keys) {
    std::vector<PcdCode> table{{1, 0, 0}};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const int length = static_cast<int>(i) + 2;
        table.push_back({length, static_cast<std::uint16_t>(((1u << length) - 1) & ~1u), keys[i]});
    }
    return table;
}

Bytes pcdCorrectionStream(const PcdCorrections& corrections, std::size_t* endSyncBit) {
    BitWriter out;
    for (const auto& table : corrections.tables) {
        out.put(static_cast<std::uint32_t>(table.size() - 1), 8);
        for (const PcdCode& c : table) {
            out.put(static_cast<std::uint32_t>(c.length - 1), 8);
            const int shift = std::max(0, 16 - c.length);
            out.put(static_cast<std::uint32_t>(c.bits << shift) & 0xFFFFu, 16);
            out.put(static_cast<std::uint32_t>(c.key) & 0xFFu, 8);
        }
    }
    out.put(0, 32);
    for (const PcdCorrectionRow& row : corrections.rows) {
        out.putSync(row.plane, row.row);
        const std::size_t t = row.plane == 0 ? 0 : static_cast<std::size_t>(row.plane - 1);
        const auto& table = corrections.tables[std::min(t, corrections.tables.size() - 1)];
        for (int key : row.keys) {
            const PcdCode& c = codeFor(table, key);
            out.put(c.bits, c.length);
        }
        for (char b : row.rawBits)
            out.putBit(b == '1');
    }
    if (endSyncBit != nullptr) *endSyncBit = out.bit();
    out.putSync(0, corrections.endRow);
    out.put(0, 32);
    out.put(0, 32);
    return out.take();
}

Bytes writePcd(const PcdFile& file) {
    Bytes bytes(kFourBaseSector * kSector, 0);
    if (file.overview) std::memcpy(&bytes[0], "PCD_OPA", 7);
    std::memcpy(&bytes[kSector], "PCD_IPI", 7);
    bytes[3586] = static_cast<std::uint8_t>(file.orientation);
    for (int n = 0; n < 3; ++n) {
        const PcdLevel& given = file.levels[n];
        putLevel(bytes, kLevelSectors[n],
                 given.width != 0 ? given : flatPcdLevel(n + 1, 128, 156, 137));
    }
    if (!file.fourBase) return bytes;
    std::size_t endSync = 0;
    const Bytes four = pcdCorrectionStream(*file.fourBase, &endSync);
    putAt(bytes, kFourBaseSector * kSector, four);
    const std::size_t sixteenSector = kFourBaseSector + sectorsRead(endSync) + 12;
    // The file goes on past the last sector the reader fetches, as real files do.
    bytes.resize(std::max(bytes.size(), sixteenSector * kSector), 0);
    if (file.sixteenBase)
        putAt(bytes, sixteenSector * kSector, pcdCorrectionStream(*file.sixteenBase));
    bytes.resize((bytes.size() + kSector - 1) / kSector * kSector + kSector, 0);
    return bytes;
}

} // namespace testing_support
