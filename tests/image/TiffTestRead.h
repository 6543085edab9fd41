// Reading a TIFF file through the library's entry points, for the TIFF tests.
#pragma once

#include "TestFiles.h"
#include "imgcore.h"

#include <string>

namespace tiff_test {

struct Result {
    BYTE* pixels = nullptr;
    int width = -1;
    int height = -1;
    int status = -1;
    RGBQUAD palette[256] = {};

    Result() = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    Result(Result&& other) noexcept { *this = std::move(other); }
    Result& operator=(Result&& other) noexcept {
        std::swap(pixels, other.pixels);
        width = other.width;
        height = other.height;
        status = other.status;
        std::copy(other.palette, other.palette + 256, palette);
        return *this;
    }
    ~Result() {
        if (pixels != nullptr) GlobalFree(pixels);
    }
};

inline Result readFile(const std::string& path, int bitsPerPixel, int flags, int page = 0,
                       bool withPalette = true) {
    Result r;
    SourceHandle src = openFileSource(path.c_str());
    if (src == nullptr) return r;
    r.pixels = readTIFF(src, &r.width, &r.height, bitsPerPixel, withPalette ? r.palette : nullptr,
                        page, flags);
    r.status = getLastError();
    closeSource(src);
    return r;
}

inline Result readBytes(const testing_support::Bytes& bytes, int bitsPerPixel, int flags,
                        int page = 0, bool withPalette = true) {
    testing_support::TempFile file(bytes, ".tif");
    return readFile(file.path(), bitsPerPixel, flags, page, withPalette);
}

} // namespace tiff_test
