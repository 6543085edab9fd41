#include "BmpWriter.h"
#include "LittleEndian.h"

namespace testing_support {

Bytes writeBmp(const BmpSpec& layout) {
    const bool os2 = layout.headerSize == 12;
    const std::uint32_t entryBytes = os2 ? 3 : 4;
    const std::uint32_t tableBytes =
        static_cast<std::uint32_t>(layout.masks.size() * 4 + layout.palette.size() * entryBytes);
    const std::uint32_t offset =
        layout.pixelOffset.value_or(14 + layout.headerSize + tableBytes + layout.gap);

    Bytes out;
    out.push_back('B');
    out.push_back('M');
    appendU32Le(out, 14 + layout.headerSize + tableBytes + layout.gap +
                         static_cast<std::uint32_t>(layout.pixels.size()));
    appendU32Le(out, 0);
    appendU32Le(out, offset);
    appendU32Le(out, layout.headerSize);
    if (os2) {
        appendU16Le(out, static_cast<std::uint32_t>(layout.width));
        appendU16Le(out, static_cast<std::uint32_t>(layout.height));
        appendU16Le(out, 1);
        appendU16Le(out, static_cast<std::uint32_t>(layout.bitCount));
    } else {
        appendU32Le(out, static_cast<std::uint32_t>(layout.width));
        appendU32Le(out, static_cast<std::uint32_t>(layout.height));
        appendU16Le(out, 1);
        appendU16Le(out, static_cast<std::uint32_t>(layout.bitCount));
        appendU32Le(out, layout.compression);
        appendU32Le(out, static_cast<std::uint32_t>(layout.pixels.size()));
        appendU32Le(out, static_cast<std::uint32_t>(layout.xPelsPerMeter));
        appendU32Le(out, static_cast<std::uint32_t>(layout.yPelsPerMeter));
        appendU32Le(out,
                    layout.clrUsed.value_or(static_cast<std::uint32_t>(layout.palette.size())));
        appendU32Le(out, 0);
        // Longer headers (refused by the reader) are padded with zeros.
        out.resize(14 + layout.headerSize, 0);
    }
    for (std::uint32_t m : layout.masks)
        appendU32Le(out, m);
    for (const auto& e : layout.palette)
        out.insert(out.end(), e.begin(), e.begin() + entryBytes);
    out.resize(out.size() + layout.gap, 0);
    out.insert(out.end(), layout.pixels.begin(), layout.pixels.end());
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
