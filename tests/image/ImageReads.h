// One read through a reader's entry point, from bytes written to a temporary file: the image
// (freed with GlobalFree when the result goes), the last-error code and the outputs.
#pragma once

#include "TestFiles.h"
#include "imgcore.h"
#include "winplat/accounting.h"

#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace testing_support {

struct GlobalFreer {
    void operator()(BYTE* p) const { GlobalFree(p); }
};

struct ImageRead {
    std::unique_ptr<BYTE, GlobalFreer> image;
    int status = -1;
    int width = 0;
    int height = 0;
    RGBQUAD palette[256]{};

    Bytes bytes(std::size_t offset, std::size_t count) const {
        return Bytes(image.get() + offset, image.get() + offset + count);
    }
    const BITMAPINFOHEADER& header() const {
        return *reinterpret_cast<const BITMAPINFOHEADER*>(image.get());
    }
};

// `read(src, result)` returns the image; the n-th global allocation after the source is open
// fails when `failingAlloc` is n.
template <class Read> ImageRead readSource(SourceHandle src, unsigned failingAlloc, Read&& read) {
    ImageRead r;
    winplatFailGlobalAllocAt(failingAlloc);
    r.image.reset(read(src, r));
    r.status = getLastError();
    winplatFailGlobalAllocAt(0);
    closeSource(src);
    return r;
}

template <class Read> ImageRead readBytes(const Bytes& file, unsigned failingAlloc, Read&& read) {
    TempFile f(file);
    return readSource(openFileSource(f.path().c_str()), failingAlloc, read);
}

template <class Read> ImageRead readPath(const std::string& path, Read&& read) {
    return readSource(openFileSource(path.c_str()), 0, read);
}

// The same read with the block copied out and freed at once, for tests that keep several results
// or compare whole blocks.
struct CopiedRead {
    bool returned = false;
    Bytes data; // the whole returned block
    int width = -1;
    int height = -1;
    int error = -1;
    std::array<RGBQUAD, 256> palette{};
};

template <class Read>
CopiedRead readCopied(const std::string& path, unsigned failingAlloc, Read&& read) {
    CopiedRead d;
    SourceHandle src = openFileSource(path.c_str());
    if (src == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return d;
    }
    winplatFailGlobalAllocAt(failingAlloc);
    BYTE* image = read(src, d);
    d.error = getLastError();
    winplatFailGlobalAllocAt(0);
    closeSource(src);
    if (image != nullptr) {
        d.returned = true;
        d.data.assign(image, image + GlobalSize(image));
        GlobalFree(image);
    }
    return d;
}

} // namespace testing_support
