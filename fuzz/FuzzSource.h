// The library reads files by name, so each input is written to one scratch file per process
// and opened as a source.
#pragma once

#include "imgcore.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace fuzzing {

inline const std::string& scratchPath(const char* extension) {
    static const std::string path =
        "/dev/shm/gallimo-fuzz-" + std::to_string(getpid()) + extension;
    return path;
}

// Opens the input as a source; the caller closes it with closeSource.
inline ImgSource openInput(const std::uint8_t* data, std::size_t size,
                           const char* extension = ".bin") {
    const std::string& path = scratchPath(extension);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return nullptr;
    if (size != 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return openFileSource(path.c_str());
}

// Frees a result buffer; a reader may return a partly filled one together with a code.
inline void release(void* buffer) {
    if (buffer != nullptr) GlobalFree(buffer);
}

} // namespace fuzzing
