#include "GifWriter.h"
#include "LittleEndian.h"

#include <map>
#include <utility>

namespace testing_support {

CodePacker& CodePacker::add(int code, int bits) {
    for (int j = 0; j < bits; ++j, ++m_bit) {
        if ((m_bit & 7) == 0) m_bytes.push_back(0);
        if ((code >> j) & 1) m_bytes.back() |= static_cast<std::uint8_t>(1 << (m_bit & 7));
    }
    return *this;
}

Bytes lzwEncode(const Bytes& indices, int minimumCodeSize, const LzwOptions& options) {
    constexpr int kFull = 4096;
    const int clear = 1 << minimumCodeSize;
    const int end = clear + 1;
    int codeSize = minimumCodeSize + 1;
    int next = clear + 2;
    bool firstAfterClear = true;
    std::map<std::pair<int, int>, int> strings;
    CodePacker out;
    auto reset = [&] {
        strings.clear();
        codeSize = minimumCodeSize + 1;
        next = clear + 2;
        firstAfterClear = true;
    };
    if (options.clearFirst) out.add(clear, codeSize);

    int current = -1;
    for (std::uint8_t index : indices) {
        if (current < 0) {
            current = index;
            continue;
        }
        auto found = strings.find({current, index});
        if (found != strings.end()) {
            current = found->second;
            continue;
        }
        out.add(current, codeSize);
        firstAfterClear = false;
        if (next < kFull) {
            strings[{current, index}] = next++;
            if (next > (1 << codeSize) && codeSize < 12) ++codeSize;
            if (next == kFull && options.clearWhenFull) {
                out.add(clear, codeSize);
                reset();
            }
        }
        current = index;
    }
    if (current >= 0) {
        out.add(current, codeSize);
        // The decoder makes its entry for this code before it reads the next one.
        if (!firstAfterClear && next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    if (options.endCode) out.add(end, codeSize);
    return out.bytes();
}

Bytes subBlocks(const Bytes& data, std::size_t chunk, bool terminate) {
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += chunk) {
        const std::size_t n = std::min(chunk, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    if (terminate) out.push_back(0);
    return out;
}

int gifTableSizeCode(std::size_t entries) {
    int s = 0;
    while ((std::size_t{2} << s) < entries && s < 7)
        ++s;
    return s;
}

GifWriter::GifWriter(const char* signature) : m_bytes(signature, signature + 6) {}

void GifWriter::u16(int value) {
    appendU16Le(m_bytes, static_cast<std::uint32_t>(value));
}

void GifWriter::table(const std::vector<Rgb>& colours) {
    const std::size_t entries = std::size_t{2} << gifTableSizeCode(colours.size());
    for (std::size_t i = 0; i < entries; ++i) {
        const Rgb c = i < colours.size() ? colours[i] : Rgb{0, 0, 0};
        m_bytes.insert(m_bytes.end(), c.begin(), c.end());
    }
}

GifWriter& GifWriter::screen(int width, int height, const std::vector<Rgb>& globalTable) {
    u16(width);
    u16(height);
    const int s = gifTableSizeCode(globalTable.size());
    m_bytes.push_back(static_cast<std::uint8_t>(globalTable.empty() ? 0 : 0x80 | s));
    m_bytes.push_back(0); // background
    m_bytes.push_back(0); // aspect
    if (!globalTable.empty()) {
        table(globalTable);
        m_tableBits = s + 1;
    }
    return *this;
}

GifWriter& GifWriter::graphicControl(bool transparent, int index) {
    return extension(0xF9, {Bytes{static_cast<std::uint8_t>(transparent ? 1 : 0), 0, 0,
                                  static_cast<std::uint8_t>(index)}});
}

GifWriter& GifWriter::extension(int label, const std::vector<Bytes>& blocks) {
    m_bytes.push_back(0x21);
    m_bytes.push_back(static_cast<std::uint8_t>(label));
    for (const Bytes& b : blocks) {
        m_bytes.push_back(static_cast<std::uint8_t>(b.size()));
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
    }
    m_bytes.push_back(0);
    return *this;
}

GifWriter& GifWriter::imageRaw(int width, int height, int packed, const Bytes& data) {
    m_bytes.push_back(0x2C);
    u16(0);
    u16(0);
    u16(width);
    u16(height);
    m_bytes.push_back(static_cast<std::uint8_t>(packed));
    m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    return *this;
}

GifWriter& GifWriter::image(const GifFrame& frame) {
    int packed = frame.interlaced ? 0x40 : 0;
    int bits = m_tableBits;
    if (!frame.localTable.empty()) {
        const int s = gifTableSizeCode(frame.localTable.size());
        packed |= 0x80 | s;
        bits = s + 1;
    }
    Bytes ordered = frame.indices;
    if (frame.interlaced) {
        ordered.clear();
        static const int kStart[4] = {0, 4, 2, 1};
        static const int kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kStart[pass]; y < frame.height; y += kStep[pass])
                ordered.insert(ordered.end(), frame.indices.begin() + y * frame.width,
                               frame.indices.begin() + (y + 1) * frame.width);
    }
    const int minimum = frame.minimumCodeSize >= 0 ? frame.minimumCodeSize : std::max(2, bits);
    Bytes data{static_cast<std::uint8_t>(minimum)};
    const Bytes packedCodes = subBlocks(lzwEncode(ordered, minimum, frame.lzw));
    data.insert(data.end(), packedCodes.begin(), packedCodes.end());

    imageRaw(frame.width, frame.height, packed, {});
    if (!frame.localTable.empty()) table(frame.localTable);
    m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    return *this;
}

GifWriter& GifWriter::raw(const Bytes& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

GifWriter& GifWriter::trailer() {
    m_bytes.push_back(0x3B);
    return *this;
}

} // namespace testing_support
