#include "Tables.h"

#include <cstring>

namespace img {
namespace {

Tables buildTables() {
    Tables t{};
    for (int i = 0; i < 256; ++i) {
        // Both products rounded to double on purpose: 72 entries land one below the exact
        // quotient, and callers' results depend on it.
        volatile double weight = i * 0.00392156862745098;
        for (int j = 0; j < 256; ++j) {
            volatile double product = j * weight;
            t.alpha[i * 256 + j] = static_cast<BYTE>(static_cast<int>(product));
        }
    }
    for (int k = 0; k < 8; ++k) {
        t.lowBitMask[k] = static_cast<BYTE>(1u << k);
        t.highBitMask[k] = static_cast<BYTE>(0x80u >> k);
    }
    for (int j = 0; j < 256; ++j) {
        unsigned reversed = 0;
        for (int b = 0; b < 8; ++b)
            reversed |= ((j >> b) & 1u) << (7 - b);
        t.bitReversal[j] = static_cast<BYTE>(reversed);
        for (int m = 0; m < 8; ++m)
            t.bitExpansion[j][m] = static_cast<BYTE>((j >> (7 - m)) & 1);
    }
    for (int r = 0; r < 8; ++r)
        for (int j = 0; j < 8; ++j)
            t.runMask[r][j] = static_cast<BYTE>((0xFFu >> (7 - r)) & (0xFFu << j));
    return t;
}

const Tables g_tables = buildTables();

} // namespace

const Tables& tables() {
    return g_tables;
}

CopyRoutine copyBytes = &std::memcpy;

} // namespace img
