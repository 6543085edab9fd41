// Little-endian fields for the writers of formats that store them so (BMP, TGA, PCX, GIF).
#pragma once

#include "TestFiles.h"

#include <cstdint>

namespace testing_support {

inline void appendU16Le(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void appendU32Le(Bytes& out, std::uint32_t value) {
    appendU16Le(out, value & 0xFFFF);
    appendU16Le(out, value >> 16);
}

} // namespace testing_support
