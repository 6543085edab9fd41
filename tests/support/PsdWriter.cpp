#include "PsdWriter.h"

namespace testing_support {

void appendU16Be(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendU32Be(Bytes& out, std::uint32_t value) {
    appendU16Be(out, value >> 16);
    appendU16Be(out, value & 0xFFFF);
}

namespace {

void appendSection(Bytes& out, const Bytes& section) {
    appendU32Be(out, static_cast<std::uint32_t>(section.size()));
    out.insert(out.end(), section.begin(), section.end());
}

std::size_t rowBytes(const PsdImage& image) {
    return image.depth == 1 ? (image.width + 7) / 8
                            : static_cast<std::size_t>(image.width) * (image.depth / 8);
}

} // namespace

Bytes packBits(const Bytes& row) {
    Bytes out;
    std::size_t i = 0;
    while (i < row.size()) {
        std::size_t run = 1;
        while (i + run < row.size() && run < 128 && row[i + run] == row[i])
            ++run;
        if (run >= 3) {
            out.push_back(static_cast<std::uint8_t>(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        std::size_t literal = 0;
        while (i + literal < row.size() && literal < 128) {
            const std::size_t at = i + literal;
            if (at + 2 < row.size() && row[at] == row[at + 1] && row[at] == row[at + 2]) break;
            ++literal;
        }
        out.push_back(static_cast<std::uint8_t>(literal - 1));
        out.insert(out.end(), row.begin() + i, row.begin() + i + literal);
        i += literal;
    }
    return out;
}

Bytes psdFile(const PsdImage& image) {
    Bytes out{'8', 'B', 'P', 'S'};
    appendU16Be(out, 1);
    out.insert(out.end(), 6, 0);
    appendU16Be(out, image.channels);
    appendU32Be(out, image.height);
    appendU32Be(out, image.width);
    appendU16Be(out, image.depth);
    appendU16Be(out, image.mode);
    appendSection(out, image.colourModeData);
    appendSection(out, image.resources);
    appendSection(out, image.layers);
    appendU16Be(out, image.compression);
    if (image.compression == 0) {
        for (const Bytes& plane : image.planes)
            out.insert(out.end(), plane.begin(), plane.end());
        return out;
    }
    const std::size_t stride = rowBytes(image);
    std::vector<Bytes> rows;
    for (const Bytes& plane : image.planes)
        for (std::size_t at = 0; at + stride <= plane.size(); at += stride)
            rows.push_back(packBits(Bytes(plane.begin() + at, plane.begin() + at + stride)));
    for (const Bytes& row : rows)
        appendU16Be(out, static_cast<unsigned>(row.size()));
    for (const Bytes& row : rows)
        out.insert(out.end(), row.begin(), row.end());
    return out;
}

Bytes psdResource(int id, const std::string& name, const Bytes& data) {
    Bytes out{'8', 'B', 'I', 'M'};
    appendU16Be(out, id);
    out.push_back(static_cast<std::uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    if (name.size() % 2 == 0) out.push_back(0);
    appendU32Be(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) out.push_back(0);
    return out;
}

Bytes psdResolution(int horizontal, int horizontalUnit, int vertical, int verticalUnit) {
    Bytes out;
    appendU32Be(out, static_cast<std::uint32_t>(horizontal) << 16);
    appendU16Be(out, horizontalUnit);
    appendU16Be(out, 1);
    appendU32Be(out, static_cast<std::uint32_t>(vertical) << 16);
    appendU16Be(out, verticalUnit);
    appendU16Be(out, 1);
    return out;
}

} // namespace testing_support
