// Process-wide tables, computed once at load and only read afterwards, by any thread.
#pragma once

#include "win32/types.h"

#include <cstddef>

namespace img {

struct Tables {
    // alpha[i * 256 + j]: j weighted by i / 255, truncated as the double product falls.
    BYTE alpha[256 * 256];
    BYTE lowBitMask[8];  // 1 << k
    BYTE highBitMask[8]; // 0x80 >> k
    BYTE bitReversal[256];
    BYTE runMask[8][8];        // bits j..r set when j <= r
    BYTE bitExpansion[256][8]; // bit (7 - m) of j as 0 or 1, most significant first
};

const Tables& tables();

// Every block copy of the library goes through this routine.
using CopyRoutine = void* (*)(void* destination, const void* source, std::size_t bytes);
extern CopyRoutine copyBytes;

} // namespace img
