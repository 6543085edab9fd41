#include "PcxWriter.h"
#include "LittleEndian.h"

namespace testing_support {

int pcxBytesPerLine(const PcxSpec& spec) {
    if (spec.bytesPerLine != 0) return spec.bytesPerLine;
    const int bytes = (spec.width * spec.bitsPerPlane + 7) / 8;
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

Bytes writePcx(const PcxSpec& spec) {
    const int bytesPerLine = pcxBytesPerLine(spec);
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(spec.manufacturer));
    out.push_back(static_cast<std::uint8_t>(spec.version));
    out.push_back(1);
    out.push_back(static_cast<std::uint8_t>(spec.bitsPerPlane));
    appendU16Le(out, spec.xMin);
    appendU16Le(out, spec.yMin);
    appendU16Le(out, spec.xMin + spec.width - 1);
    appendU16Le(out, spec.yMin + spec.height - 1);
    appendU16Le(out, spec.hRes);
    appendU16Le(out, spec.vRes);
    out.insert(out.end(), spec.egaPalette.begin(), spec.egaPalette.end());
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(spec.planes));
    appendU16Le(out, bytesPerLine);
    appendU16Le(out, 1);
    out.resize(128, 0);
    if (!spec.coded.empty()) {
        out.insert(out.end(), spec.coded.begin(), spec.coded.end());
    } else {
        for (Bytes line : spec.lines) {
            line.resize(static_cast<std::size_t>(bytesPerLine) * spec.planes, 0);
            const Bytes coded = pcxRuns(line);
            out.insert(out.end(), coded.begin(), coded.end());
        }
    }
    if (!spec.vgaPalette.empty()) {
        out.push_back(12);
        out.insert(out.end(), spec.vgaPalette.begin(), spec.vgaPalette.end());
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
