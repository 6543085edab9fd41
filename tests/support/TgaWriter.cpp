#include "TgaWriter.h"
#include "LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

Bytes writeTga(const TgaSpec& layout) {
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(layout.imageId.size()));
    out.push_back(layout.colourMap ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(layout.imageType));
    appendU16Le(out, layout.firstEntry);
    appendU16Le(out, layout.mapLength);
    out.push_back(static_cast<std::uint8_t>(layout.mapEntryBits));
    appendU16Le(out, 0);
    appendU16Le(out, 0);
    appendU16Le(out, layout.width);
    appendU16Le(out, layout.height);
    out.push_back(static_cast<std::uint8_t>(layout.pixelDepth));
    out.push_back(static_cast<std::uint8_t>(layout.descriptor));
    out.insert(out.end(), layout.imageId.begin(), layout.imageId.end());
    out.insert(out.end(), layout.map.begin(), layout.map.end());
    out.insert(out.end(), layout.pixels.begin(), layout.pixels.end());
    if (!layout.footer) return out;

    std::uint32_t extension = layout.extensionOffset;
    if (layout.extensionArea) {
        extension = static_cast<std::uint32_t>(out.size());
        Bytes area(495, 0);
        area[0] = 0xEF;
        area[1] = 0x01; // the area's own size, 495
        out.insert(out.end(), area.begin(), area.end());
    }
    appendU32Le(out, extension);
    appendU32Le(out, layout.developerOffset);
    static const char signature[] = "TRUEVISION-XFILE.";
    out.insert(out.end(), signature, signature + sizeof signature);
    return out;
}

Bytes tgaPackets(const Bytes& values, int valueBytes) {
    const std::size_t size = static_cast<std::size_t>(valueBytes);
    const std::size_t count = values.size() / size;
    const auto same = [&](std::size_t a, std::size_t b) {
        return std::memcmp(&values[a * size], &values[b * size], size) == 0;
    };
    Bytes out;
    std::size_t i = 0;
    while (i < count) {
        std::size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run))
            ++run;
        if (run > 1) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), values.data() + i * size, values.data() + (i + 1) * size);
            i += run;
            continue;
        }
        std::size_t raw = 1;
        while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1)))
            ++raw;
        out.push_back(static_cast<std::uint8_t>(raw - 1));
        out.insert(out.end(), values.data() + i * size, values.data() + (i + raw) * size);
        i += raw;
    }
    return out;
}

} // namespace testing_support
