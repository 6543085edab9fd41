// Format detection; the last byte picks the file name's extension, which decides for weak
// signatures. Each extension gets its own scratch file.
#include "FuzzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const extensions[] = {".bin", ".TGA", ".wbmp", ".Wbm"};
    const std::uint8_t option = size > 0 ? data[size - 1] : 0;
    const std::string path = fuzzing::scratchPath(".detect") + extensions[option & 3];
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    if (size != 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
    SourceHandle src = openFileSource(path.c_str());
    if (src == nullptr) return 0;
    detectFileFormat(src);
    closeSource(src);
    return 0;
}
