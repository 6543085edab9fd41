#include "BmpWriter.h"

namespace testing_support {
namespace {

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

Bytes writeBmp(const BmpSpec& spec) {
    const bool os2 = spec.headerSize == 12;
    const std::uint32_t entryBytes = os2 ? 3 : 4;
    const std::uint32_t tableBytes =
        static_cast<std::uint32_t>(spec.masks.size() * 4 + spec.palette.size() * entryBytes);
    const std::uint32_t offset =
        spec.pixelOffset.value_or(14 + spec.headerSize + tableBytes + spec.gap);

    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + spec.headerSize + tableBytes + spec.gap +
                   static_cast<std::uint32_t>(spec.pixels.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, spec.headerSize);
    if (os2) {
        put16(out, static_cast<std::uint32_t>(spec.width));
        put16(out, static_cast<std::uint32_t>(spec.height));
        put16(out, 1);
        put16(out, static_cast<std::uint32_t>(spec.bitCount));
    } else {
        put32(out, static_cast<std::uint32_t>(spec.width));
        put32(out, static_cast<std::uint32_t>(spec.height));
        put16(out, 1);
        put16(out, static_cast<std::uint32_t>(spec.bitCount));
        put32(out, spec.compression);
        put32(out, static_cast<std::uint32_t>(spec.pixels.size()));
        put32(out, static_cast<std::uint32_t>(spec.xPelsPerMeter));
        put32(out, static_cast<std::uint32_t>(spec.yPelsPerMeter));
        put32(out, spec.clrUsed.value_or(static_cast<std::uint32_t>(spec.palette.size())));
        put32(out, 0);
        // Longer headers (refused by the reader) are padded with zeros.
        out.resize(14 + spec.headerSize, 0);
    }
    for (std::uint32_t m : spec.masks)
        put32(out, m);
    for (const auto& e : spec.palette)
        out.insert(out.end(), e.begin(), e.begin() + entryBytes);
    out.resize(out.size() + spec.gap, 0);
    out.insert(out.end(), spec.pixels.begin(), spec.pixels.end());
    return out;
}

Bytes packBmpRows(const std::vector<std::vector<std::uint32_t>>& rows, int bitCount, bool topDown) {
    Bytes out;
    const std::size_t count = rows.size();
    for (std::size_t k = 0; k < count; ++k) {
        const auto& row = rows[topDown ? k : count - 1 - k];
        Bytes packed((row.size() * bitCount + 31) / 32 * 4, 0);
        for (std::size_t x = 0; x < row.size(); ++x) {
            const std::uint32_t v = row[x];
            if (bitCount < 8) {
                const std::size_t bit = x * bitCount;
                packed[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bitCount - bit % 8));
            } else if (bitCount == 24) {
                packed[3 * x] = static_cast<std::uint8_t>(v);
                packed[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                packed[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
            } else {
                for (int b = 0; b < bitCount / 8; ++b)
                    packed[x * (bitCount / 8) + b] = static_cast<std::uint8_t>(v >> (8 * b));
            }
        }
        out.insert(out.end(), packed.begin(), packed.end());
    }
    return out;
}

std::vector<std::array<std::uint8_t, 4>> greyPalette(int count) {
    std::vector<std::array<std::uint8_t, 4>> palette;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
        palette.push_back({v, v, v, 0});
    }
    return palette;
}

} // namespace testing_support
