// The queries first, then readTGA with the depth and output form the last byte picks.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBits[] = {8, 24, 32, 16};
    return fuzzing::queriesThenRead(data, size, ".tga", kBits, getTGAInfo, readTGAPalette, readTGA);
}
