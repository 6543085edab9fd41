#include "WbmpWriter.h"

namespace testing_support {

Bytes wbmpNumber(unsigned value) {
    Bytes groups;
    do {
        groups.insert(groups.begin(), static_cast<std::uint8_t>(value & 0x7F));
        value >>= 7;
    } while (value != 0);
    for (std::size_t i = 0; i + 1 < groups.size(); ++i)
        groups[i] |= 0x80;
    return groups;
}

Bytes writeWbmp(unsigned width, unsigned height, const Bytes& rows) {
    Bytes out{0, 0};
    const Bytes w = wbmpNumber(width), h = wbmpNumber(height);
    out.insert(out.end(), w.begin(), w.end());
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

} // namespace testing_support
