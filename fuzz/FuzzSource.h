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
    static const std::string path = "/dev/shm/gallimo-fuzz-" + std::to_string(getpid()) + extension;
    return path;
}

// Opens the input as a source; the caller closes it with closeSource.
inline SourceHandle openInput(const std::uint8_t* data, std::size_t size,
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

// For readers whose entry points are an info query, a palette query and a read with a depth,
// palette and flags: the queries run first, then the read, with the depth (bits 0-1) and the
// DIB flag (bit 2) taken from the last byte.
template <class Info, class Palette, class Read>
int queriesThenRead(const std::uint8_t* data, std::size_t size, const char* extension,
                    const int (&depths)[4], Info info, Palette readPalette, Read read) {
    const unsigned choice = size != 0 ? data[size - 1] : 0;
    SourceHandle src = openInput(data, size, extension);
    if (src == nullptr) return 0;
    int width = 0, height = 0, depth = 0, count = 0;
    RGBQUAD palette[256];
    info(src, &width, &height, &depth);
    seekSource(src, 0, SEEK_SET);
    readPalette(src, &count, palette);
    seekSource(src, 0, SEEK_SET);
    release(read(src, &width, &height, depths[choice & 3], palette,
                 (choice & 4) != 0 ? IMG_FLAG_DIB : 0));
    closeSource(src);
    return 0;
}

} // namespace fuzzing
