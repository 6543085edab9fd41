// The inputs that once broke the library, read in place: each call ends with the code it
// should, asks the heap for no more than its file justifies, and gives the same output whatever
// the heap held before it.
#include "HeapWatch.h"
#include "TestFiles.h"
#include "imgcore.h"
#include "win32/win32.h"

#include <cctype>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

using namespace testing_support;

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// What a call left: its code, the size of the block it returned, and a digest of everything it
// gave back, so that two runs compare without holding two copies of a large image.
struct Outcome {
    int status = -1;
    std::uint64_t blockBytes = 0;
    std::size_t digest = 0;

    bool operator==(const Outcome& o) const {
        return status == o.status && blockBytes == o.blockBytes && digest == o.digest;
    }
};

std::size_t digestOf(const void* data, std::size_t bytes) {
    return std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(data), bytes));
}

// Takes a reader's result: its code, then the block, freed.
Outcome took(BYTE* image, int width, int height) {
    Outcome o;
    o.status = getLastError();
    o.digest = std::hash<std::uint64_t>{}((std::uint64_t(std::uint32_t(width)) << 32) |
                                          std::uint32_t(height));
    if (image != nullptr) {
        o.blockBytes = GlobalSize(image);
        o.digest ^= digestOf(image, o.blockBytes) * 31;
        GlobalFree(image);
    }
    return o;
}

using Call = std::function<Outcome(const std::string& path)>;

// A reader over an open source, given its width and height outputs.
using SourceRead = std::function<BYTE*(SourceHandle, int*, int*)>;
Call fromSource(SourceRead read) {
    return [read](const std::string& path) {
        SourceHandle src = openFileSource(path.c_str());
        if (src == nullptr) return Outcome{getLastError(), 0, 0};
        int width = -1, height = -1;
        BYTE* image = read(src, &width, &height);
        Outcome o = took(image, width, height);
        closeSource(src);
        return o;
    };
}

Call bmp(int bits, int flags) {
    return fromSource([=](SourceHandle s, int* w, int* h) {
        RGBQUAD palette[256]{};
        return readBMP(s, w, h, bits, palette, flags);
    });
}

Call psd(int bits) {
    return fromSource([=](SourceHandle s, int* w, int* h) {
        RGBQUAD palette[256]{};
        return readPSD(s, w, h, bits, palette, 0);
    });
}

Call jpeg(int bits, int flags) {
    return fromSource(
        [=](SourceHandle s, int* w, int* h) { return readJPEG(s, w, h, bits, flags); });
}

Call gif(int flags) {
    return fromSource([=](SourceHandle s, int* w, int* h) {
        RGBQUAD palette[256]{};
        int transparent = 0;
        return readGIF(s, w, h, &transparent, palette, flags);
    });
}

Call metafile(int sizeX, int sizeY) {
    return [=](const std::string& path) {
        int width = -1, height = -1;
        BYTE* image = loadMetafile(path.c_str(), &width, &height, sizeX, sizeY, RGB(12, 34, 56), 0);
        return took(image, width, height);
    };
}

constexpr std::uint64_t kFrame8191 = std::uint64_t{8191} * 8191;

Call tiff(int bits, int flags) {
    return fromSource([=](SourceHandle s, int* w, int* h) {
        RGBQUAD palette[256]{};
        return readTIFF(s, w, h, bits, palette, 0, flags);
    });
}

// The packed DIB drawn with drawDIB into a 16 x 16 memory-DC bitmap in each stretch mode: the
// reader's code and block, the digest covering what each draw returned and left.
Call drawnDib() {
    return [](const std::string& path) {
        SourceHandle src = openFileSource(path.c_str());
        if (src == nullptr) return Outcome{getLastError(), 0, 0};
        int width = -1, height = -1;
        RGBQUAD palette[256]{};
        BYTE* dib = readBMP(src, &width, &height, 0, palette, IMG_FLAG_DIB);
        const int status = getLastError();
        closeSource(src);
        std::vector<COLORREF> drawn;
        if (dib != nullptr) {
            HDC screen = GetDC(nullptr);
            HDC memory = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
            HGDIOBJ held = SelectObject(memory, bitmap);
            for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
                SetStretchBltMode(memory, mode);
                drawn.push_back(static_cast<COLORREF>(drawDIB(memory, dib, 0, 0, 16, 16)));
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 16; ++x)
                        drawn.push_back(GetPixel(memory, x, y));
            }
            SelectObject(memory, held);
            DeleteObject(bitmap);
            DeleteDC(memory);
            ReleaseDC(nullptr, screen);
        }
        Outcome o = took(dib, width, height);
        o.status = status;
        o.digest ^= digestOf(drawn.data(), drawn.size() * sizeof(COLORREF)) * 17;
        return o;
    };
}

struct Case {
    const char* file;
    Call call;
    int status;
    std::uint64_t maxBlockBytes;
    // Both the largest single request and the most live at once.
    std::uint64_t maxHeapBytes;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.file;
}

const Case kCases[] = {
    {"bmp-dib-index-past-table.bmp", bmp(8, IMG_FLAG_DIB), 0, 4096, kMiB},
    {"psd-bitmap-wide-slow.psd", psd(8), 3, 0, kMiB},
    // Its coefficients are justified and held until the scans pass what the file can justify.
    {"jpeg-many-scans.jpg", jpeg(24, 0), 3, 0, 64 * kMiB},
    {"jpeg-sampling-4x4-cmyk.jpg", jpeg(24, 0), 3, 0, kMiB},
    {"jpeg-arith-progressive-6688.jpg", jpeg(24, 0), 3, 0, kMiB},
    {"jpeg-arith-grey-1g.jpg", jpeg(24, 0), 9, 0, kMiB},
    {"gif-lzw-loose-65535x32766.gif", gif(0), 3, 0, kMiB},
    // The device bitmap and the returned image, and little else, live at once.
    {"wmf-frame-8191.wmf", metafile(2000, 1000), 0, 3 * kFrame8191,
     4 * kFrame8191 + 3 * kFrame8191 + 48 * kMiB},
    {"emf-frame-8191.emf", metafile(0, 0), 0, 3 * kFrame8191,
     4 * kFrame8191 + 3 * kFrame8191 + 48 * kMiB},
    {"tiff-tile-buffer-1g.tif", tiff(8, 0), 20, 0, kMiB},
    {"tiff-tiles-shared-deflate.tif", tiff(8, 0), 0, 16 * kMiB, 24 * kMiB},
    // The heap also holds the screen's 3 MiB framebuffer, made on the process's first GDI call.
    {"bmp-tall-column-stretch.bmp", drawnDib(), 0, 12 * kMiB, 16 * kMiB},
};

class RegressionFiles : public ::testing::TestWithParam<Case> {};

TEST_P(RegressionFiles, EndsAsItShould) {
    const Case& c = GetParam();
    const std::string path = regressionFile(c.file);
    if (path.empty()) GTEST_SKIP() << "regression inputs not present";
    Outcome first, second;
    const HeapFigures heap = watchHeap([&] { first = c.call(path); }, 0x55);
    watchHeap([&] { second = c.call(path); }, 0xAA);
    EXPECT_EQ(first.status, c.status);
    EXPECT_LE(first.blockBytes, c.maxBlockBytes);
    EXPECT_TRUE(first == second) << "the output depends on what the heap held";
    if (heapWatchAvailable()) {
        EXPECT_LE(heap.largestRequest, c.maxHeapBytes);
        EXPECT_LE(heap.peakLiveBytes, c.maxHeapBytes);
    }
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, RegressionFiles, ::testing::ValuesIn(kCases), caseName);

} // namespace
