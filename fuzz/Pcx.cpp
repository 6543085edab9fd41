// The queries first, then readPCX with the depth and output form the last byte picks.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBits[] = {1, 8, 24, 4};
    return fuzzing::queriesThenRead(data, size, ".pcx", kBits, getPCXInfo, readPCXPalette, readPCX);
}
