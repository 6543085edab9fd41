#include "ImageReads.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "WbmpWriter.h"
#include "imgcore.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::TempFile;
using testing_support::writeWbmp;

namespace {

using Decoded = testing_support::CopiedRead;

Decoded decode(const Bytes& file, int bitsPerPixel, int flags = 0, unsigned failAlloc = 0) {
    TempFile f(file, ".wbmp");
    return testing_support::readCopied(f.path(), failAlloc, [&](SourceHandle src, Decoded& d) {
        // A table of exactly two, so that a reader writing past it shows under the sanitizers.
        RGBQUAD two[2] = {};
        BYTE* out = readWBMP(src, &d.width, &d.height, two, bitsPerPixel, flags);
        std::copy(two, two + 2, d.palette.begin());
        return out;
    });
}

// A 9 x 2 image: the second byte of each row holds one pixel and seven ignored bits.
const Bytes kNineByTwo = writeWbmp(9, 2, {0xA5, 0x80, 0x5A, 0x7F});

} // namespace

class WbmpReaderTest : public LeakCheckedTest {};

TEST_F(WbmpReaderTest, PixelBufferForms) {
    struct Case {
        const char* name;
        Bytes file;
        int bitsPerPixel;
        int width, height;
        Bytes expected;
    } cases[] = {
        {"1 bit keeps the file's rows", kNineByTwo, 1, 9, 2, {0xA5, 0x80, 0x5A, 0x7F}},
        {"8 bits ignores the bits past the width",
         kNineByTwo,
         8,
         9,
         2,
         {1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 0, 0}},
        {"3 x 1 with row byte 0xA0", writeWbmp(3, 1, {0xA0}), 8, 3, 1, {1, 0, 1}},
        {"any other depth is a byte per pixel", writeWbmp(3, 1, {0x60}), 24, 3, 1, {0, 1, 1}},
        {"width bytes 0x81 0x00 give 128", writeWbmp(128, 1, Bytes(16, 0xFF)), 1, 128, 1,
         Bytes(16, 0xFF)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.file, c.bitsPerPixel);
        EXPECT_EQ(d.error, 0);
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(d.data, c.expected);
        const RGBQUAD black{0, 0, 0, 0}, white{0xFF, 0xFF, 0xFF, 0xFF};
        EXPECT_EQ(std::memcmp(&d.palette[0], &black, 4), 0);
        EXPECT_EQ(std::memcmp(&d.palette[1], &white, 4), 0);
    }
    EXPECT_EQ(testing_support::wbmpNumber(128), (Bytes{0x81, 0x00}));
}

TEST_F(WbmpReaderTest, PackedDibIsBottomUpWithItsPalette) {
    const Decoded d = decode(kNineByTwo, 8, IMG_FLAG_DIB);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.width, 9);
    EXPECT_EQ(d.height, 2);
    ASSERT_EQ(d.data.size(), 48u + 2 * 4);
    BITMAPINFOHEADER h;
    std::memcpy(&h, d.data.data(), sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 9);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 1);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 8u);
    EXPECT_EQ(h.biClrUsed, 2u);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(Bytes(d.data.begin() + 40, d.data.end()),
              (Bytes{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x5A, 0x7F, 0, 0, 0xA5, 0x80, 0, 0}));
}

TEST_F(WbmpReaderTest, HeadersAndTheirCodes) {
    struct Case {
        const char* name;
        Bytes file;
        int sizeResult, width, height; // of getWBMPSize
        int readError;
    } cases[] = {
        {"plain", writeWbmp(3, 2, {0, 0}), 1, 3, 2, 0},
        {"leading empty groups", {0, 0, 0x80, 0x80, 0x03, 0x01, 0xE0}, 1, 3, 1, 0},
        {"starts 00 01", {0x00, 0x01, 0x01, 0x01, 0x00}, 0, 0, 0, 53},
        {"width 0", {0, 0, 0, 1, 0}, 1, 0, 1, 53},
        {"height 0", {0, 0, 1, 0, 0}, 1, 1, 0, 53},
        {"cut in the width", {0, 0, 0x81}, 0, 0, 0, 53},
        {"empty", {}, 0, 0, 0, 53},
        {"width past the largest int", {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x01, 0}, 0, 0, 0, 53},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile f(c.file);
        SourceHandle src = openFileSource(f.path().c_str());
        int width = -1, height = -1;
        EXPECT_EQ(getWBMPSize(src, &width, &height), c.sizeResult);
        EXPECT_EQ(getLastError(), c.sizeResult ? 0 : 53);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        closeSource(src);
        const Decoded d = decode(c.file, 1);
        EXPECT_EQ(d.error, c.readError);
        EXPECT_EQ(d.returned, c.readError == 0);
    }
}

TEST_F(WbmpReaderTest, RequiredArguments) {
    TempFile f(writeWbmp(3, 1, {0xA0}));
    SourceHandle src = openFileSource(f.path().c_str());
    int width = 0, height = 0;
    RGBQUAD palette[2];
    EXPECT_EQ(getWBMPSize(src, nullptr, &height), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readWBMP(src, &width, nullptr, palette, 8, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readWBMP(nullptr, &width, &height, palette, 8, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readWBMP(src, &width, &height, nullptr, 8, 0), nullptr);
    EXPECT_EQ(getLastError(), 5) << "a pixel buffer needs the palette";
    BYTE* dib = readWBMP(src, &width, &height, nullptr, 8, IMG_FLAG_DIB);
    EXPECT_NE(dib, nullptr) << "a DIB carries its own";
    EXPECT_EQ(getLastError(), 0);
    GlobalFree(dib);
    closeSource(src);
}

TEST_F(WbmpReaderTest, NoMemoryGivesOne) {
    for (int flags : {0, IMG_FLAG_DIB}) {
        const Decoded d = decode(kNineByTwo, 8, flags, 1);
        EXPECT_EQ(d.error, 1);
        EXPECT_FALSE(d.returned);
    }
}

// Every prefix: a cut in the header is a bad header; a cut in the rows returns the image with
// the rows not read black.
TEST_F(WbmpReaderTest, EveryPrefixGivesTheRightCode) {
    const Bytes file = writeWbmp(10, 3, {0xFF, 0xC0, 0xFF, 0xC0, 0xFF, 0xC0});
    for (int bits : {1, 8, IMG_FLAG_DIB}) {
        for (std::size_t cut = 0; cut < file.size(); ++cut) {
            SCOPED_TRACE("as " + std::to_string(bits) + ", cut at " + std::to_string(cut));
            const bool dib = bits == IMG_FLAG_DIB;
            const Decoded d = decode(Bytes(file.begin(), file.begin() + cut), dib ? 1 : bits,
                                     dib ? IMG_FLAG_DIB : 0);
            EXPECT_EQ(d.error, cut < 4 ? 53 : 3);
            EXPECT_EQ(d.returned, cut >= 4);
            if (bits == 8 && cut >= 4) {
                const std::size_t whole = (cut - 4) / 2; // rows read completely
                EXPECT_EQ(d.data[whole * 10 + 9], 0);
                if (whole > 0) {
                    EXPECT_EQ(d.data[(whole - 1) * 10 + 9], 1);
                }
            }
        }
    }
}

TEST_F(WbmpReaderTest, PublicSamples) {
    const auto files = testing_support::suiteFiles("samples/wbmp");
    if (files.empty()) GTEST_SKIP() << "samples/wbmp not present";
    for (const std::string& path : files) {
        if (path.size() < 5 || path.substr(path.size() - 5) != ".wbmp") continue;
        SCOPED_TRACE(path);
        const bool bad = path.find("/bad-") != std::string::npos;
        for (int bits : {1, 8}) {
            for (int flags : {0, IMG_FLAG_DIB}) {
                SourceHandle src = openFileSource(path.c_str());
                int width = 0, height = 0;
                RGBQUAD palette[2];
                BYTE* out = readWBMP(src, &width, &height, palette, bits, flags);
                const int error = getLastError();
                if (!bad) {
                    EXPECT_EQ(error, 0);
                    EXPECT_NE(out, nullptr);
                } else {
                    EXPECT_NE(error, 0);
                }
                if (out != nullptr) GlobalFree(out);
                closeSource(src);
            }
        }
    }

    // The 127 x 64 sample was made from the BMP suite's pal1.bmp, whose entry 1 is white.
    const std::string wbmp = testing_support::suiteFile("samples/wbmp/generated/pal1-127x64.wbmp");
    const std::string bmp = testing_support::suiteFile("bmpsuite/g/pal1.bmp");
    if (wbmp.empty() || bmp.empty()) return;
    int w1, h1, w2, h2;
    RGBQUAD p1[256], p2[2];
    SourceHandle a = openFileSource(bmp.c_str());
    SourceHandle b = openFileSource(wbmp.c_str());
    BYTE* fromBmp = readBMP(a, &w1, &h1, 8, p1, 0);
    BYTE* fromWbmp = readWBMP(b, &w2, &h2, p2, 8, 0);
    ASSERT_NE(fromBmp, nullptr);
    ASSERT_NE(fromWbmp, nullptr);
    EXPECT_EQ(w1, 127);
    EXPECT_EQ(w2, 127);
    EXPECT_EQ(h2, 64);
    EXPECT_EQ(std::memcmp(fromBmp, fromWbmp, 127 * 64), 0);
    EXPECT_EQ(p1[1].rgbRed, 0xFF);
    GlobalFree(fromBmp);
    GlobalFree(fromWbmp);
    closeSource(a);
    closeSource(b);

    const std::string truncated =
        testing_support::suiteFile("samples/wbmp/generated/bad-truncated-127x64.wbmp");
    if (!truncated.empty()) {
        SourceHandle t = openFileSource(truncated.c_str());
        BYTE* out = readWBMP(t, &w2, &h2, p2, 8, 0);
        EXPECT_EQ(getLastError(), 3);
        EXPECT_NE(out, nullptr) << "rows read so far are kept";
        if (out != nullptr) GlobalFree(out);
        closeSource(t);
    }
}
