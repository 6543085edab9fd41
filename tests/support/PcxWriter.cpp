#include "PcxWriter.h"
#include "LittleEndian.h"

namespace testing_support {

int pcxBytesPerLine(const PcxSpec& layout) {
    if (layout.bytesPerLine != 0) return layout.bytesPerLine;
    const int bytes = (layout.width * layout.bitsPerPlane + 7) / 8;
    return bytes + (bytes & 1);
}

Bytes pcxRuns(const Bytes& line) {
    Bytes out;
    std::size_t i = 0;
    while (i < line.size()) {
        std::size_t run = 1;
        while (i + run < line.size() && run < 63 && line[i + run] == line[i])
            ++run;
        if (run > 1 || (line[i] & 0xC0) == 0xC0)
            out.push_back(static_cast<std::uint8_t>(0xC0 | run));
        out.push_back(line[i]);
        i += run;
    }
    return out;
}

Bytes writePcx(const PcxSpec& layout) {
    const int bytesPerLine = pcxBytesPerLine(layout);
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(layout.manufacturer));
    out.push_back(static_cast<std::uint8_t>(layout.version));
    out.push_back(1);
    out.push_back(static_cast<std::uint8_t>(layout.bitsPerPlane));
    appendU16Le(out, layout.xMin);
    appendU16Le(out, layout.yMin);
    appendU16Le(out, layout.xMin + layout.width - 1);
    appendU16Le(out, layout.yMin + layout.height - 1);
    appendU16Le(out, layout.hRes);
    appendU16Le(out, layout.vRes);
    out.insert(out.end(), layout.egaPalette.begin(), layout.egaPalette.end());
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(layout.planes));
    appendU16Le(out, bytesPerLine);
    appendU16Le(out, 1);
    out.resize(128, 0);
    if (!layout.coded.empty()) {
        out.insert(out.end(), layout.coded.begin(), layout.coded.end());
    } else {
        for (Bytes line : layout.lines) {
            line.resize(static_cast<std::size_t>(bytesPerLine) * layout.planes, 0);
            const Bytes coded = pcxRuns(line);
            out.insert(out.end(), coded.begin(), coded.end());
        }
    }
    if (!layout.vgaPalette.empty()) {
        out.push_back(12);
        out.insert(out.end(), layout.vgaPalette.begin(), layout.vgaPalette.end());
    }
    return out;
}

Bytes pcxBitPlanes(const std::vector<int>& pixels, int planes, int bytesPerLine) {
    Bytes line(static_cast<std::size_t>(bytesPerLine) * planes, 0);
    for (std::size_t x = 0; x < pixels.size(); ++x)
        for (int i = 0; i < planes; ++i)
            if ((pixels[x] >> i) & 1)
                line[static_cast<std::size_t>(i) * bytesPerLine + x / 8] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    return line;
}

} // namespace testing_support
