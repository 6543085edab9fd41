#include "FileBytes.h"

#include <cstdio>

namespace testing_support {

Bytes readWholeFile(const std::string& path) {
    Bytes bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

} // namespace testing_support
