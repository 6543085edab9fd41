// The TIFF reader's paths, flags and status codes, on fixtures written by libtiff.
#include "TiffReader.h"
#include "HeapWatch.h"
#include "LeakCheck.h"
#include "TiffTestRead.h"
#include "TiffWriter.h"
#include "Trace.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using testing_support::Bytes;
using testing_support::TiffPage;
using testing_support::writeTiff;
using tiff_test::readBytes;
using tiff_test::Result;

namespace {

using Value = std::function<unsigned(int x, int y, int s)>;

// A page of `samples` samples of `bits` each, packed as TIFF stores them (16 and 32 bits in the
// machine's order, as libtiff hands them over).
TiffPage make(int width, int height, int bits, int samples, int photometric, const Value& value) {
    TiffPage p;
    p.width = width;
    p.height = height;
    p.bitsPerSample = static_cast<std::uint16_t>(bits);
    p.samplesPerPixel = static_cast<std::uint16_t>(samples);
    p.photometric = photometric;
    const std::size_t rowBytes = testing_support::tiffRowBytes(p);
    p.pixels.assign(rowBytes * height, 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = p.pixels.data() + rowBytes * y;
        for (int x = 0; x < width; ++x)
            for (int s = 0; s < samples; ++s) {
                const unsigned v = value(x, y, s);
                const std::size_t at = std::size_t(x) * samples + s;
                if (bits == 16) {
                    const auto w = static_cast<std::uint16_t>(v);
                    std::memcpy(row + at * 2, &w, 2);
                } else if (bits == 32) {
                    std::memcpy(row + at * 4, &v, 4);
                } else {
                    for (int b = 0; b < bits; ++b) {
                        const std::size_t bit = at * bits + b;
                        if ((v >> (bits - 1 - b)) & 1u)
                            row[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
                    }
                }
            }
    }
    return p;
}

unsigned ramp(int x, int y, int s) {
    return static_cast<unsigned>(x * 13 + y * 29 + s * 71 + 5);
}

int bitOf(const BYTE* rows, std::size_t stride, int x, int y) {
    return (rows[stride * y + x / 8] >> (7 - x % 8)) & 1;
}

const BITMAPINFOHEADER& headerOf(const Result& r) {
    return *reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels);
}

} // namespace

class TiffReaderTest : public testing_support::LeakCheckedTest {};

TEST_F(TiffReaderTest, BilevelWithoutPhotometricFollowsTheCompression) {
    // Fax data decodes 0 as white; other data without the tag has 0 black and is inverted, so
    // that 0 is always white in what the reader returns. A colour map can say 0 is black too.
    struct Case {
        int photometric;
        std::uint16_t compression;
        bool inverted;
        std::vector<std::uint16_t> colourMap = {};
    };
    const Case cases[] = {
        {PHOTOMETRIC_PALETTE, COMPRESSION_NONE, true, {0, 65535, 0, 65535, 0, 65535}},
        {PHOTOMETRIC_PALETTE, COMPRESSION_NONE, false, {65535, 0, 65535, 0, 65535, 0}},
        {-1, COMPRESSION_CCITTFAX4, false},
        {-1, COMPRESSION_CCITTFAX3, false},
        {-1, COMPRESSION_NONE, true},
        {-1, COMPRESSION_PACKBITS, true},
        {PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, false},
        {PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX4, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("photometric " + std::to_string(k.photometric) + ", compression " +
                     std::to_string(k.compression));
        TiffPage p = make(21, 6, 1, 1, k.photometric,
                          [](int x, int y, int) { return (x / 3 + y) % 4 == 0 ? 1u : 0u; });
        p.compression = k.compression;
        p.colourMap = k.colourMap;
        const Bytes file = writeTiff(p);
        ASSERT_EQ(testing_support::tiffHasTag(file, TIFFTAG_PHOTOMETRIC), k.photometric >= 0);
        const Result r = readBytes(file, 1, 0);
        ASSERT_EQ(r.status, 0);
        ASSERT_NE(r.pixels, nullptr);
        EXPECT_EQ(r.width, 21);
        EXPECT_EQ(r.height, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ(bitOf(r.pixels, 3, x, y), bitOf(p.pixels.data(), 3, x, y) ^ k.inverted)
                    << x << "," << y;
        EXPECT_EQ(r.palette[0].rgbRed, 255) << "entry 0 white";
        EXPECT_EQ(r.palette[1].rgbRed, 0) << "entry 1 black";
    }
}

TEST_F(TiffReaderTest, OneBitRowsFromTheFaxCodecsCarryZeroPadding) {
    // The fax decoders write only the row's pixels into libtiff's buffer; the rest of each
    // row's last byte, and a DIB row's spare bytes, must not come from that buffer or from
    // inverting it.
    struct Case {
        std::uint16_t compression;
        int photometric;
        int flags;
    };
    const Case cases[] = {
        {COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 0},
        {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 0},
        {COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISBLACK, 0},
        {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK, 2},
        {COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 2},
        {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 8},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("compression " + std::to_string(k.compression) + ", photometric " +
                     std::to_string(k.photometric) + ", flags " + std::to_string(k.flags));
        TiffPage p = make(13, 5, 1, 1, k.photometric,
                          [](int x, int y, int) { return (x + y) % 3 == 0 ? 1u : 0u; });
        p.compression = k.compression;
        const Result r = readBytes(writeTiff(p), 1, k.flags);
        ASSERT_EQ(r.status, 0);
        ASSERT_NE(r.pixels, nullptr);
        const bool dib = (k.flags & 2) != 0;
        const BYTE* rows = r.pixels + (dib ? 48 : 0);
        const std::size_t stride = dib ? 4 : 2;
        for (int y = 0; y < 5; ++y) {
            EXPECT_EQ(rows[stride * y + 1] & 0x07, 0) << "row " << y;
            for (std::size_t b = 2; b < stride; ++b)
                EXPECT_EQ(rows[stride * y + b], 0) << y;
            // A DIB is bottom-up, and so are plain rows with the top-down toggle.
            const int imageRow = dib || (k.flags & 8) != 0 ? 4 - y : y;
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(bitOf(rows, stride, x, y), bitOf(p.pixels.data(), 2, x, imageRow) ^
                                                         (k.photometric == PHOTOMETRIC_MINISBLACK))
                    << x << "," << y;
        }
    }
}

TEST_F(TiffReaderTest, OrientationSixSwapsWidthAndHeightUnlessFlagOne) {
    TiffPage p = make(7, 3, 8, 1, PHOTOMETRIC_MINISBLACK, ramp);
    p.orientation = ORIENTATION_RIGHTTOP;
    const Bytes file = writeTiff(p);
    const Result turned = readBytes(file, 8, 0);
    ASSERT_NE(turned.pixels, nullptr);
    EXPECT_EQ(turned.width, 3);
    EXPECT_EQ(turned.height, 7);
    const Result kept = readBytes(file, 8, 1);
    ASSERT_NE(kept.pixels, nullptr);
    EXPECT_EQ(kept.width, 7);
    EXPECT_EQ(kept.height, 3);
    EXPECT_EQ(0, std::memcmp(kept.pixels, p.pixels.data(), p.pixels.size()));
}

TEST_F(TiffReaderTest, PagesAreCountedFromZeroAndOnePastTheLastGivesFive) {
    const Bytes file = writeTiff(
        {make(4, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp), make(3, 5, 8, 3, PHOTOMETRIC_RGB, ramp)});
    testing_support::TempFile f(file, ".tif");
    struct Case {
        int page;
        int status, width, height, bits;
    };
    const Case cases[] = {{0, 0, 4, 2, 8}, {1, 0, 3, 5, 24}, {2, 5, 0, 0, 0}, {-1, 5, 0, 0, 0}};
    for (const Case& k : cases) {
        SCOPED_TRACE("page " + std::to_string(k.page));
        const Result r = tiff_test::readFile(f.path(), 24, 0, k.page);
        EXPECT_EQ(r.status, k.status);
        EXPECT_EQ(r.pixels != nullptr, k.status == 0);
        EXPECT_EQ(r.width, k.width);

        SourceHandle src = openFileSource(f.path().c_str());
        int w = -1, h = -1, bits = -1;
        ImgResolution res{7, 7, 7};
        EXPECT_EQ(getTIFFInfo(src, k.page, &w, &h, &bits, &res), k.status == 0 ? 1 : 0);
        EXPECT_EQ(getLastError(), k.status);
        EXPECT_EQ(w, k.width);
        EXPECT_EQ(h, k.height);
        EXPECT_EQ(bits, k.bits);
        closeSource(src);
    }
}

TEST_F(TiffReaderTest, InfoReportsTheResolutionAsStored) {
    TiffPage p = make(2, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp);
    p.xResolution = 300.75f;
    p.yResolution = 72.0f;
    p.resolutionUnit = RESUNIT_CENTIMETER;
    testing_support::TempFile f(writeTiff(p), ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    int w = 0, h = 0, bits = 0;
    ImgResolution res{};
    ASSERT_EQ(getTIFFInfo(src, 0, &w, &h, &bits, &res), 1);
    EXPECT_EQ(res.x, 300);
    EXPECT_EQ(res.y, 72);
    EXPECT_EQ(res.unit, RESUNIT_CENTIMETER);
    ASSERT_EQ(seekSource(src, 0, 0), 1);
    EXPECT_EQ(getTIFFInfo(src, 0, &w, &h, &bits, nullptr), 1) << "the record may be left out";
    closeSource(src);
}

TEST_F(TiffReaderTest, InfoDepthBeyondAnIntIsClamped) {
    // Found by the fuzzer: 42241 bits times 65281 samples overflowed an int.
    Bytes file = writeTiff(make(2, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp));
    ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_BITSPERSAMPLE, 42241));
    ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_SAMPLESPERPIXEL, 65281));
    testing_support::TempFile f(file, ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    int w = 0, h = 0, bits = 0;
    EXPECT_EQ(getTIFFInfo(src, 0, &w, &h, &bits, nullptr), 1);
    EXPECT_EQ(bits, INT_MAX);
    closeSource(src);
}

TEST_F(TiffReaderTest, EveryRefusalHasItsCode) {
    const Bytes rgb = writeTiff(make(3, 2, 8, 3, PHOTOMETRIC_RGB, ramp));
    const Bytes grey = writeTiff(make(3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp));
    // libtiff counts samples beyond the colour ones as extra samples by itself, unless the
    // file says that every sample is extra.
    TiffPage twoSamples = make(9, 2, 1, 2, -1, ramp);
    twoSamples.extraSamples = {EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNSPECIFIED};
    TiffPage planarBits = make(9, 2, 1, 3, PHOTOMETRIC_RGB, ramp);
    planarBits.planar = PLANARCONFIG_SEPARATE;
    planarBits.pixels.resize(planarBits.pixels.size() * 3);
    Bytes notTiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 1, 2, 3, 4};
    Bytes cut = grey;
    cut.resize(20);
    struct Case {
        const char* what;
        Bytes file;
        int bitsPerPixel, flags;
        bool palette;
        int status;
    };
    const Case cases[] = {
        {"an empty file", Bytes{}, 24, 0, true, 20},
        {"not a TIFF", notTiff, 24, 0, true, 20},
        {"cut inside the directory", cut, 24, 0, true, 20},
        {"12 bits per pixel", grey, 12, 0, true, 5},
        {"1 bit without a palette", grey, 1, 0, false, 5},
        {"8 bits without a palette", grey, 8, 0, false, 5},
        {"RGB asked as 8 bits", rgb, 8, 0, true, 28},
        {"grey asked as 1 bit", grey, 1, 0, true, 28},
        {"grey asked as 16 bits", grey, 16, 0, true, 28},
        {"two samples without photometric", writeTiff(twoSamples), 1, 0, true, 28},
        {"1-bit RGB in planes", writeTiff(planarBits), 1, 0, true, 28},
        {"10-bit grey at 8 bits", writeTiff(make(3, 2, 10, 1, PHOTOMETRIC_MINISBLACK, ramp)), 8, 0,
         true, 5},
        {"32-bit grey at 24 bits", writeTiff(make(3, 2, 32, 1, PHOTOMETRIC_MINISBLACK, ramp)), 24,
         0, true, 20},
    };
    for (const Case& k : cases) {
        const Result r = readBytes(k.file, k.bitsPerPixel, k.flags, 0, k.palette);
        ASSERT_EQ(r.status, k.status) << k.what;
        EXPECT_EQ(r.pixels, nullptr) << k.what;
        EXPECT_EQ(r.width, 0) << k.what;
    }
}

TEST_F(TiffReaderTest, ArgumentsAndHandlesAreCheckedFirst) {
    testing_support::TempFile f(writeTiff(make(3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp)), ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    ASSERT_NE(src, nullptr);
    int w = 0, h = 0, bits = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(readTIFF(nullptr, &w, &h, 8, palette, 0, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readTIFF(src, nullptr, &h, 8, palette, 0, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getTIFFInfo(src, 0, &w, &h, nullptr, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    auto* record = static_cast<img::SourceRecord*>(src);
    const img::SourceRecord saved = *record;
    record->magic2 = 0;
    EXPECT_EQ(readTIFF(src, &w, &h, 8, palette, 0, 0), nullptr);
    EXPECT_EQ(getLastError(), 38);
    EXPECT_EQ(getTIFFInfo(src, 0, &w, &h, &bits, nullptr), 0);
    EXPECT_EQ(getLastError(), 38);
    *record = saved;
    closeSource(src);
}

TEST_F(TiffReaderTest, ASourceThatCannotBeRewoundGivesThree) {
    testing_support::TempFile f(writeTiff(make(3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp)), ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    ASSERT_NE(src, nullptr);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto* record = static_cast<img::SourceRecord*>(src);
    std::FILE* file = record->stream;
    record->stream = fdopen(fds[0], "rb");
    int w = 0, h = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(readTIFF(src, &w, &h, 8, palette, 0, 0), nullptr);
    EXPECT_EQ(getLastError(), 3);
    std::fclose(record->stream);
    close(fds[1]);
    record->stream = file;
    closeSource(src);
}

TEST_F(TiffReaderTest, NoMemoryForTheImageGivesOne) {
    const Bytes grey = writeTiff(make(5, 3, 8, 1, PHOTOMETRIC_MINISBLACK, ramp));
    const Bytes bits = writeTiff(make(5, 3, 1, 1, PHOTOMETRIC_MINISWHITE, ramp));
    const Bytes words = writeTiff(make(5, 3, 16, 1, PHOTOMETRIC_MINISBLACK, ramp));
    struct Case {
        const Bytes* file;
        int bitsPerPixel, flags;
    };
    const Case cases[] = {{&grey, 8, 0},           {&grey, 24, 0},  {&grey, 32, 0},
                          {&bits, 1, 0},           {&words, 16, 0}, {&grey, 0, IMG_FLAG_DIB},
                          {&bits, 0, IMG_FLAG_DIB}};
    for (const Case& k : cases) {
        testing_support::TempFile f(*k.file, ".tif");
        SourceHandle src = openFileSource(f.path().c_str());
        int w = 0, h = 0;
        RGBQUAD palette[256];
        winplatFailGlobalAllocAt(1);
        EXPECT_EQ(readTIFF(src, &w, &h, k.bitsPerPixel, palette, 0, k.flags), nullptr);
        EXPECT_EQ(getLastError(), 1) << k.bitsPerPixel << " " << k.flags;
        winplatFailGlobalAllocAt(0);
        closeSource(src);
    }
    // The 24-bit reader shrinks its block at the end; when that fails it keeps the larger one.
    testing_support::TempFile f(grey, ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    int w = 0, h = 0;
    winplatFailGlobalAllocAt(2);
    BYTE* rgb = readTIFF(src, &w, &h, 24, nullptr, 0, 0);
    winplatFailGlobalAllocAt(0);
    EXPECT_NE(rgb, nullptr);
    EXPECT_EQ(getLastError(), 0);
    if (rgb != nullptr) GlobalFree(rgb);
    closeSource(src);
}

TEST_F(TiffReaderTest, AnUnreadableStripLeavesZeroRowsUnlessNoneCanBeRead) {
    TiffPage p = make(4, 6, 8, 1, PHOTOMETRIC_MINISBLACK, [](int, int y, int) { return 10u + y; });
    p.compression = COMPRESSION_ADOBE_DEFLATE;
    p.rowsPerStrip = 2;
    const Bytes file = writeTiff(p);
    const auto strips = testing_support::tiffStrips(file);
    ASSERT_EQ(strips.size(), 3u);
    auto spoil = [](Bytes b, std::pair<std::uint64_t, std::uint64_t> strip) {
        std::fill(b.begin() + strip.first, b.begin() + strip.first + strip.second, 0xFF);
        return b;
    };
    const Result partly = readBytes(spoil(file, strips[1]), 8, 0);
    ASSERT_NE(partly.pixels, nullptr);
    EXPECT_EQ(partly.status, 0);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(partly.pixels[y * 4], y == 2 || y == 3 ? 0 : 10 + y) << y;

    const Bytes none = spoil(spoil(spoil(file, strips[0]), strips[1]), strips[2]);
    for (int bits : {8, 16, 24}) {
        const Result r = readBytes(none, bits == 16 ? 8 : bits, 0);
        EXPECT_EQ(r.pixels, nullptr);
        EXPECT_EQ(r.status, 20) << bits;
    }
}

TEST_F(TiffReaderTest, TrueColourRowsAndDibHeaders) {
    // Width 5: DIB rows of 16 bytes; raw rows of 15, red first.
    TiffPage p = make(5, 2, 8, 3, PHOTOMETRIC_RGB, ramp);
    const Bytes file = writeTiff(p);
    const Result raw = readBytes(file, 24, 0);
    ASSERT_NE(raw.pixels, nullptr);
    EXPECT_EQ(0, std::memcmp(raw.pixels, p.pixels.data(), 30));
    EXPECT_EQ(GlobalSize(raw.pixels), 30u);

    const Result dib = readBytes(file, 0, IMG_FLAG_DIB);
    ASSERT_NE(dib.pixels, nullptr);
    const BITMAPINFOHEADER& h = headerOf(dib);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 5);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 32u);
    EXPECT_EQ(h.biClrUsed, 0u);
    const BYTE* bottom = dib.pixels + 40;
    EXPECT_EQ(bottom[0], p.pixels[15 + 2]) << "the bottom row first, blue first";
    EXPECT_EQ(bottom[2], p.pixels[15]);
    EXPECT_EQ(bottom[15], 0) << "padding";
}

TEST_F(TiffReaderTest, DibHeadersCarryTheResolutionInDotsPerInchTimesAHundred) {
    struct Case {
        std::uint16_t unit;
        float x, y;
        LONG expectedX, expectedY;
    };
    const Case cases[] = {
        {RESUNIT_INCH, 300.0f, 150.5f, 30000, 15000},
        {RESUNIT_CENTIMETER, 100.0f, 100.0f, 25300, 25300},
        {RESUNIT_NONE, 300.0f, 300.0f, 0, 0},
        {0, 300.0f, 300.0f, 30000, 30000}, // the tag's default unit is the inch
    };
    for (const Case& k : cases) {
        for (int bits : {1, 8, 24}) {
            TiffPage p = make(3, 2, bits == 24 ? 8 : bits, bits == 24 ? 3 : 1,
                              bits == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK, ramp);
            p.xResolution = k.x;
            p.yResolution = k.y;
            p.resolutionUnit = k.unit;
            const Result r = readBytes(writeTiff(p), 0, IMG_FLAG_DIB);
            ASSERT_NE(r.pixels, nullptr);
            EXPECT_EQ(headerOf(r).biBitCount, bits);
            EXPECT_EQ(headerOf(r).biXPelsPerMeter, k.expectedX) << k.unit << " " << bits;
            EXPECT_EQ(headerOf(r).biYPelsPerMeter, k.expectedY) << k.unit << " " << bits;
        }
    }
}

TEST_F(TiffReaderTest, CmykIsConvertedOrPassedThroughAsInks) {
    const BYTE inks[2][4] = {{10, 200, 30, 40}, {255, 0, 128, 0}};
    TiffPage p = make(2, 1, 8, 4, PHOTOMETRIC_SEPARATED,
                      [&](int x, int, int s) { return unsigned(inks[x][s]); });
    p.inkSet = INKSET_CMYK;
    const Bytes file = writeTiff(p);
    auto rgb = [&](int x, int c) { return (255 - inks[x][c]) * (255 - inks[x][3]) / 255; };

    const Result through = readBytes(file, 32, 4);
    ASSERT_NE(through.pixels, nullptr);
    EXPECT_EQ(0, std::memcmp(through.pixels, inks, 8));

    const Result converted = readBytes(file, 32, 0);
    ASSERT_NE(converted.pixels, nullptr);
    const Result rgb24 = readBytes(file, 24, 4);
    ASSERT_NE(rgb24.pixels, nullptr);
    for (int x = 0; x < 2; ++x)
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(converted.pixels[x * 4 + c], rgb(x, c)) << x << c;
            EXPECT_EQ(rgb24.pixels[x * 3 + c], rgb(x, c)) << "the switch is only for 32 bits";
        }
    EXPECT_EQ(converted.pixels[3], 255);

    const Result dib = readBytes(file, 0, IMG_FLAG_DIB | 4);
    ASSERT_NE(dib.pixels, nullptr);
    EXPECT_EQ(headerOf(dib).biBitCount, 32);
    const BYTE* px = dib.pixels + 40;
    EXPECT_EQ(px[0], inks[0][2]) << "bytes 0 and 2 swapped like any 32-bit DIB";
    EXPECT_EQ(px[2], inks[0][0]);
    EXPECT_EQ(px[3], inks[0][3]);
}

TEST_F(TiffReaderTest, FlagTwoTakesTheDepthFromTheFile) {
    TiffPage palette16 = make(3, 2, 16, 1, PHOTOMETRIC_PALETTE, ramp);
    palette16.colourMap.assign(3 * 65536, 0);
    for (std::size_t i = 0; i < 65536; ++i)
        palette16.colourMap[i] = static_cast<std::uint16_t>(i);
    TiffPage greyAlpha = make(3, 2, 8, 2, PHOTOMETRIC_MINISBLACK, ramp);
    greyAlpha.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
    TiffPage rgba = make(3, 2, 8, 4, PHOTOMETRIC_RGB, ramp);
    rgba.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
    struct Case {
        const char* what;
        TiffPage page;
        int bits;
    };
    const Case cases[] = {
        {"bilevel", make(3, 2, 1, 1, PHOTOMETRIC_MINISWHITE, ramp), 1},
        {"4-bit grey", make(3, 2, 4, 1, PHOTOMETRIC_MINISBLACK, ramp), 8},
        {"16-bit grey", make(3, 2, 16, 1, PHOTOMETRIC_MINISBLACK, ramp), 8},
        {"grey and alpha", greyAlpha, 32},
        {"RGB", make(3, 2, 8, 3, PHOTOMETRIC_RGB, ramp), 24},
        {"RGBA", rgba, 32},
        {"16-bit RGB", make(3, 2, 16, 3, PHOTOMETRIC_RGB, ramp), 24},
    };
    for (const Case& k : cases) {
        const Result r = readBytes(writeTiff(k.page), 12, IMG_FLAG_DIB);
        ASSERT_NE(r.pixels, nullptr) << k.what << ": status " << r.status;
        EXPECT_EQ(headerOf(r).biBitCount, k.bits) << k.what;
    }
    // A 16-bit colour map goes to the RGBA reader, which libtiff does not give one for.
    static std::vector<std::string> lines;
    lines.clear();
    const img::TraceSink previous =
        img::setTraceSink([](int, const char* text) { lines.push_back(text); });
    const Result refused = readBytes(writeTiff(palette16), 8, IMG_FLAG_DIB);
    img::setTraceSink(previous);
    EXPECT_EQ(refused.status, 20);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("can not handle"), std::string::npos) << lines.back();
    // 16-bit grey becomes an 8-bit grey ramp with the samples reduced.
    const TiffPage grey16 = make(3, 2, 16, 1, PHOTOMETRIC_MINISBLACK,
                                 [](int x, int y, int) { return unsigned(x * 20000 + y * 300); });
    const Result r = readBytes(writeTiff(grey16), 0, IMG_FLAG_DIB);
    ASSERT_NE(r.pixels, nullptr);
    const BYTE* palette = r.pixels + 40;
    EXPECT_EQ(palette[4 * 200], 200);
    const BYTE* top = r.pixels + 1064 + 4; // row 1 of 2, rows of 4 bytes
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(top[x], x * 20000 * 255 / 65535) << x;
}

TEST_F(TiffReaderTest, PalettesFollowTheColourMapOrThePhotometric) {
    TiffPage wide = make(2, 1, 2, 1, PHOTOMETRIC_PALETTE, ramp);
    wide.colourMap = {0, 65535, 257, 32896, 0, 0, 1000, 2000, 255, 255, 255, 255};
    TiffPage narrow = wide;
    narrow.colourMap = {0, 255, 1, 128, 0, 0, 100, 200, 255, 255, 255, 255};
    struct Case {
        const char* what;
        TiffPage page;
        int index;
        RGBQUAD entry;
    };
    const Case cases[] = {
        {"16-bit map scaled", wide, 1, {0, 0, 255, 0}},
        {"16-bit map scaled", wide, 3, {0, 7, 128, 0}},
        {"8-bit map as it is", narrow, 2, {255, 100, 1, 0}},
        {"1-bit white is zero",
         make(2, 1, 1, 1, PHOTOMETRIC_MINISWHITE, ramp),
         0,
         {255, 255, 255, 0}},
        {"1-bit black is zero",
         make(2, 1, 1, 1, PHOTOMETRIC_MINISBLACK, ramp),
         1,
         {255, 255, 255, 0}},
        {"8-bit white is zero",
         make(2, 1, 8, 1, PHOTOMETRIC_MINISWHITE, ramp),
         10,
         {245, 245, 245, 0}},
        {"2-bit white is zero",
         make(2, 1, 2, 1, PHOTOMETRIC_MINISWHITE, ramp),
         1,
         {170, 170, 170, 0}},
        {"4-bit black is zero",
         make(2, 1, 4, 1, PHOTOMETRIC_MINISBLACK, ramp),
         10,
         {170, 170, 170, 0}},
    };
    for (const Case& k : cases) {
        // 1-bit pages go through the 8-bit reader when asked for 8 bits.
        const Result r = readBytes(writeTiff(k.page), 8, 0);
        ASSERT_NE(r.pixels, nullptr) << k.what;
        const RGBQUAD& e = r.palette[k.index];
        EXPECT_EQ(e.rgbBlue, k.entry.rgbBlue) << k.what;
        EXPECT_EQ(e.rgbGreen, k.entry.rgbGreen) << k.what;
        EXPECT_EQ(e.rgbRed, k.entry.rgbRed) << k.what;
    }
    // Samples of fewer than 8 bits come out as their index values.
    const Result four = readBytes(writeTiff(make(3, 1, 4, 1, PHOTOMETRIC_MINISBLACK, ramp)), 8, 0);
    ASSERT_NE(four.pixels, nullptr);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(four.pixels[x], ramp(x, 0, 0) & 15) << x;
}

TEST_F(TiffReaderTest, TilesGiveWhatStripsGive) {
    struct Case {
        const char* what;
        int bits, samples, photometric, readBits, flags;
    };
    const Case cases[] = {
        {"1-bit", 1, 1, PHOTOMETRIC_MINISWHITE, 1, 0},
        {"1-bit top-down", 1, 1, PHOTOMETRIC_MINISWHITE, 1, 8},
        {"1-bit DIB", 1, 1, PHOTOMETRIC_MINISBLACK, 1, IMG_FLAG_DIB},
        {"4-bit", 4, 1, PHOTOMETRIC_MINISBLACK, 8, 0},
        {"8-bit", 8, 1, PHOTOMETRIC_MINISBLACK, 8, 0},
        {"8-bit DIB", 8, 1, PHOTOMETRIC_MINISBLACK, 8, IMG_FLAG_DIB},
        {"16-bit", 16, 1, PHOTOMETRIC_MINISBLACK, 16, 0},
        {"16-bit at 8 bits", 16, 1, PHOTOMETRIC_MINISBLACK, 8, 0},
        {"16-bit top-down", 16, 1, PHOTOMETRIC_MINISBLACK, 16, 0x10},
        {"RGB", 8, 3, PHOTOMETRIC_RGB, 24, 0},
    };
    for (const Case& k : cases) {
        TiffPage stripped = make(37, 21, k.bits, k.samples, k.photometric, [](int x, int y, int s) {
            return unsigned(x * 7919 + y * 104729 + s * 31) >> 3;
        });
        stripped.rowsPerStrip = 4;
        TiffPage tiled = stripped;
        tiled.tileWidth = 16;
        tiled.tileLength = 16;
        const Result a = readBytes(writeTiff(stripped), k.readBits, k.flags);
        const Result b = readBytes(writeTiff(tiled), k.readBits, k.flags);
        ASSERT_NE(a.pixels, nullptr) << k.what << ": status " << a.status;
        ASSERT_NE(b.pixels, nullptr) << k.what << ": status " << b.status;
        ASSERT_EQ(GlobalSize(a.pixels), GlobalSize(b.pixels)) << k.what;
        EXPECT_EQ(0, std::memcmp(a.pixels, b.pixels, GlobalSize(a.pixels))) << k.what;
    }
}

TEST_F(TiffReaderTest, SixteenBitSamplesAreReturnedAsTheyAre) {
    const TiffPage p = make(3, 2, 16, 1, PHOTOMETRIC_MINISBLACK,
                            [](int x, int y, int) { return unsigned(1 + x * 30000 + y * 7); });
    const Bytes file = writeTiff(p);
    const Result plain = readBytes(file, 16, 0);
    ASSERT_NE(plain.pixels, nullptr);
    EXPECT_EQ(0, std::memcmp(plain.pixels, p.pixels.data(), 12));
    // Flag 0x20 pads each row to 4 bytes: rows of 8 bytes here.
    const Result padded = readBytes(file, 16, 0x20);
    ASSERT_NE(padded.pixels, nullptr);
    EXPECT_EQ(GlobalSize(padded.pixels), 16u);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(0, std::memcmp(padded.pixels + 8 * y, p.pixels.data() + 6 * y, 6)) << y;
}

TEST_F(TiffReaderTest, LibtiffMessagesGoToTheTraceAndNeverToStandardError) {
    static std::vector<std::string> lines;
    lines.clear();
    const img::TraceSink previous =
        img::setTraceSink([](int, const char* text) { lines.push_back(text); });
    std::fflush(stderr);
    const int savedStderr = dup(2);
    std::FILE* capture = std::tmpfile();
    dup2(fileno(capture), 2);

    const Bytes notTiff = {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0};
    const Result r = readBytes(notTiff, 24, 0);
    TIFFWarning("module", "a warning %d", 7);

    std::fflush(stderr);
    dup2(savedStderr, 2);
    close(savedStderr);
    EXPECT_EQ(std::ftell(capture), 0) << "nothing reached standard error";
    std::fclose(capture);
    img::setTraceSink(previous);

    EXPECT_EQ(r.status, 20);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("LibTiff Error: ", 0), 0u) << lines.front();
    EXPECT_EQ(lines.front().back(), '\n');
    EXPECT_EQ(lines.back(), "LibTiff Warning: a warning 7\n");
}

TEST_F(TiffReaderTest, TheNineTagsAreKnownAndLibtiffKeepsItsExifOffset) {
    static std::vector<std::string> lines;
    lines.clear();
    const img::TraceSink previous =
        img::setTraceSink([](int, const char* text) { lines.push_back(text); });
    TiffPage p = make(2, 2, 8, 1, PHOTOMETRIC_MINISBLACK, ramp);
    p.geoPixelScale = {0.5, 0.25, 0.0};
    testing_support::TempFile f(writeTiff(p), ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    img::CImgIO io(static_cast<img::SourceRecord*>(src));
    img::TiffReader reader(io);
    img::TiffSource* source = reader.openTIFFSource(io, 0, 0);
    ASSERT_NE(source, nullptr);
    img::setTraceSink(previous);
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("Unknown field"), std::string::npos) << line;

    struct Case {
        std::uint32_t tag;
        const char* name;
    };
    const Case ours[] = {{32932, "baAnnotations"},
                         {33550, "GeoPixelScale"},
                         {33920, "Intergraph TransformationMatrix"},
                         {34264, "GeoTransformationMatrix"},
                         {33922, "GeoTiePoints"},
                         {34735, "GeoKeyDirectory"},
                         {34736, "GeoDoubleParams"},
                         {34737, "GeoASCIIParams"}};
    for (const Case& k : ours) {
        const TIFFField* field = TIFFFieldWithTag(source->tif, k.tag);
        ASSERT_NE(field, nullptr) << k.tag;
        EXPECT_STREQ(TIFFFieldName(field), k.name);
    }
    const TIFFField* exif = TIFFFieldWithTag(source->tif, 34665);
    ASSERT_NE(exif, nullptr);
    EXPECT_EQ(TIFFFieldDataType(exif), TIFF_IFD8) << "libtiff's own definition stays";

    std::uint32_t count = 0;
    double* scale = nullptr;
    ASSERT_EQ(TIFFGetField(source->tif, 33550, &count, &scale), 1);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(scale[1], 0.25);
    img::closeTIFFSource(source);
    closeSource(src);
}

TEST_F(TiffReaderTest, TrueColourRefusesDepthsOtherThan24And32) {
    static std::vector<std::string> lines;
    lines.clear();
    const img::TraceSink previous =
        img::setTraceSink([](int, const char* text) { lines.push_back(text); });
    testing_support::TempFile f(writeTiff(make(2, 2, 8, 3, PHOTOMETRIC_RGB, ramp)), ".tif");
    SourceHandle src = openFileSource(f.path().c_str());
    img::CImgIO io(static_cast<img::SourceRecord*>(src));
    img::TiffReader reader(io);
    img::TiffSource* source = reader.openTIFFSource(io, 0, 0);
    ASSERT_NE(source, nullptr);
    int w = -1, h = -1;
    EXPECT_EQ(reader.ReadTIFFTrueColor(*source, &w, &h, 16, 0), nullptr);
    EXPECT_EQ(reader.status, 17);
    EXPECT_EQ(w, 0);
    img::closeTIFFSource(source);
    closeSource(src);
    img::setTraceSink(previous);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Invalid bpp in ReadTIFFTrueColor!");
}

TEST_F(TiffReaderTest, EveryPrefixOfAWrittenFileGivesACode) {
    TiffPage stripped = make(19, 9, 8, 1, PHOTOMETRIC_MINISBLACK, ramp);
    stripped.rowsPerStrip = 2;
    stripped.compression = COMPRESSION_LZW;
    TiffPage tiled = make(37, 21, 1, 1, PHOTOMETRIC_MINISWHITE, ramp);
    tiled.tileWidth = tiled.tileLength = 16;
    TiffPage fax = make(40, 7, 1, 1, -1, ramp);
    fax.compression = COMPRESSION_CCITTFAX4;
    TiffPage words = make(20, 18, 16, 1, PHOTOMETRIC_MINISBLACK, ramp);
    words.tileWidth = words.tileLength = 16;
    struct Case {
        const char* what;
        Bytes file;
        int bitsPerPixel;
    };
    const Case cases[] = {
        {"LZW strips", writeTiff(stripped), 8},
        {"1-bit tiles", writeTiff(tiled), 1},
        {"Group 4", writeTiff(fax), 1},
        {"16-bit tiles", writeTiff(words), 16},
        {"two pages", writeTiff({stripped, make(3, 3, 8, 3, PHOTOMETRIC_RGB, ramp)}), 24},
    };
    const std::set<int> codes = {0, 5, 20, 28};
    for (const Case& k : cases) {
        for (std::size_t n = 0; n < k.file.size(); ++n) {
            const Bytes prefix(k.file.begin(), k.file.begin() + n);
            for (int flags : {0, IMG_FLAG_DIB}) {
                const Result r = readBytes(prefix, k.bitsPerPixel, flags);
                ASSERT_TRUE(codes.count(r.status) != 0)
                    << k.what << " cut at " << n << ": " << r.status;
                ASSERT_EQ(r.pixels != nullptr, r.status == 0) << k.what << " cut at " << n;
            }
        }
        EXPECT_EQ(readBytes(k.file, k.bitsPerPixel, 0).status, 0) << k.what;
    }
}

TEST_F(TiffReaderTest, TileFarLargerThanTheImageFailsWithoutClearingIt) {
    // Found by the fuzzer: a 541 MB tile for a 1024 x 512 page; clearing the tile buffer
    // before each read took seconds.
    TiffPage p = make(64, 32, 8, 1, PHOTOMETRIC_MINISWHITE, ramp);
    p.tileWidth = p.tileLength = 16;
    p.compression = COMPRESSION_LZW;
    Bytes file = writeTiff(p);
    ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_TILEWIDTH, 32768));
    ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_TILELENGTH, 16512));
    for (int bits : {8, 24}) {
        const Result r = readBytes(file, bits, 0);
        EXPECT_EQ(r.status, 20) << bits;
        EXPECT_EQ(r.pixels, nullptr);
    }
}

TEST_F(TiffReaderTest, ADibTooLargeForABlockIsRefusedWhateverItsHeader) {
    // Found by the fuzzer: 2453 x 16642775 pixels; the 1-bit rows alone pass 32 bits, and
    // adding the header to the refused size of 0 made a 48-byte block that rows overran.
    struct Case {
        int bits, samples, photometric;
        std::uint32_t width, height;
    };
    const Case cases[] = {
        {1, 1, PHOTOMETRIC_MINISWHITE, 2453, 16642775},
        {8, 1, PHOTOMETRIC_MINISBLACK, 65536, 65537},
        {8, 3, PHOTOMETRIC_RGB, 65536, 16385},
    };
    for (const Case& k : cases) {
        for (std::uint16_t orientation : {ORIENTATION_TOPLEFT, ORIENTATION_RIGHTTOP}) {
            TiffPage p = make(16, 4, k.bits, k.samples, k.photometric, ramp);
            p.orientation = orientation;
            Bytes file = writeTiff(p);
            ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_IMAGEWIDTH, k.width));
            ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_IMAGELENGTH, k.height));
            ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_ROWSPERSTRIP, k.height));
            const Result r = readBytes(file, 0, IMG_FLAG_DIB);
            EXPECT_EQ(r.status, 1) << k.bits << " bits, orientation " << orientation;
            EXPECT_EQ(r.pixels, nullptr);
        }
    }
}

TEST_F(TiffReaderTest, SamplesPastWhatAPathReadsAreRefusedBeforeLibtiffBuffers) {
    // Found by the fuzzer: 65281 samples per pixel made libtiff's RGBA reader ask for a
    // 16 GB strip buffer. No path reads more than eight samples, so none is asked for.
    TiffPage p = make(500, 500, 8, 1, PHOTOMETRIC_MINISBLACK, ramp);
    p.compression = COMPRESSION_ADOBE_DEFLATE;
    Bytes file = writeTiff(p);
    ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_SAMPLESPERPIXEL, 65281));
    for (int bits : {8, 24, 32}) {
        const Result r = readBytes(file, bits, 0);
        EXPECT_EQ(r.status, 28) << bits;
        EXPECT_EQ(r.pixels, nullptr) << bits;
    }
}

// The 24-bit rows come top-down from libtiff unless the image turns; every orientation must
// still give what the 32-bit path, which always turns bottom-up rows, gives, and the four
// that do not turn must show the stored pixel their tag says.
TEST_F(TiffReaderTest, TwentyFourBitRowsFollowEveryOrientation) {
    constexpr int kW = 5, kH = 3;
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        TiffPage p = make(kW, kH, 8, 3, PHOTOMETRIC_RGB,
                          [](int x, int y, int s) { return ramp(x, y, s) % 256; });
        p.orientation = orientation;
        const Bytes file = writeTiff(p);
        const Result rgb = readBytes(file, 24, 0);
        const Result rgba = readBytes(file, 32, 0);
        ASSERT_NE(rgb.pixels, nullptr);
        ASSERT_NE(rgba.pixels, nullptr);
        ASSERT_EQ(rgb.width, rgba.width);
        ASSERT_EQ(rgb.height, rgba.height);
        EXPECT_EQ(rgb.width, orientation >= 5 ? kH : kW);
        for (int i = 0; i < rgb.width * rgb.height; ++i)
            for (int s = 0; s < 3; ++s)
                ASSERT_EQ(rgb.pixels[3 * i + s], rgba.pixels[4 * i + s]) << "pixel " << i;
        if (orientation >= 5) continue;
        const bool mirrored = orientation == 2 || orientation == 3;
        const bool flipped = orientation == 3 || orientation == 4;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                for (int s = 0; s < 3; ++s)
                    ASSERT_EQ(rgb.pixels[(y * kW + x) * 3 + s],
                              ramp(mirrored ? kW - 1 - x : x, flipped ? kH - 1 - y : y, s) % 256)
                        << x << "," << y;
    }
}

// Tiles that all name one stream: the file pays for decoding what its strips and tiles hold
// once, at the codec's greatest expansion, and for its stored image once; not for every tile
// that names the same bytes again. The bands past what it pays for are left zero.
TEST_F(TiffReaderTest, TilesSharingOneStreamAreDecodedOnlyAsFarAsTheFilePays) {
    constexpr std::uint32_t kTileWidth = 4096, kTileLength = 16, kTiles = 512, kWidth = 16;
    struct Case {
        int bits;
        std::uint16_t compression;
        img::Encoding encoding;
    };
    const Case cases[] = {
        {8, COMPRESSION_NONE, img::Encoding::RawRows},
        {8, COMPRESSION_PACKBITS, img::Encoding::PackBits},
        {8, COMPRESSION_LZW, img::Encoding::TiffLzw},
        {8, COMPRESSION_ADOBE_DEFLATE, img::Encoding::Deflate},
        {1, COMPRESSION_LZW, img::Encoding::TiffLzw},
        {1, COMPRESSION_NONE, img::Encoding::RawRows},
        {16, COMPRESSION_ADOBE_DEFLATE, img::Encoding::Deflate},
        {16, COMPRESSION_NONE, img::Encoding::RawRows},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.bits) + " bits, compression " +
                     std::to_string(k.compression));
        const Value pattern = [&](int x, int y, int) {
            return k.bits == 1 ? unsigned((x + y) % 3 == 0) : unsigned((x * 3 + y) % 251 + 1);
        };
        TiffPage p = make(kTileWidth, kTileLength, k.bits, 1, PHOTOMETRIC_MINISWHITE, pattern);
        p.tileWidth = kTileWidth;
        p.tileLength = kTileLength;
        p.compression = k.compression;
        Bytes file = writeTiff(p);
        const auto tile = testing_support::tiffStrips(file);
        ASSERT_EQ(tile.size(), 1u);
        const std::vector<std::pair<std::uint32_t, std::uint32_t>> shared(
            kTiles, {std::uint32_t(tile[0].first), std::uint32_t(tile[0].second)});
        ASSERT_TRUE(testing_support::setTiffStrips(file, shared));
        ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_IMAGEWIDTH, kWidth));
        ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_IMAGELENGTH, kTileLength * kTiles));

        const Result r = readBytes(file, k.bits, 0);
        ASSERT_EQ(r.status, 0);
        ASSERT_NE(r.pixels, nullptr);
        const std::size_t rowBytes = (kWidth * k.bits + 7) / 8;
        const std::size_t tileRowBytes = testing_support::tiffRowBytes(p);
        // Each band holds the tile's first columns, or nothing; the read ones come first.
        std::uint32_t filled = 0;
        for (std::uint32_t band = 0; band < kTiles; ++band) {
            bool same = true, blank = true;
            for (std::uint32_t i = 0; i < kTileLength; ++i) {
                const BYTE* row = r.pixels + (band * kTileLength + i) * rowBytes;
                same = same && std::memcmp(row, p.pixels.data() + i * tileRowBytes, rowBytes) == 0;
                blank = blank && std::all_of(row, row + rowBytes, [](BYTE b) { return b == 0; });
            }
            ASSERT_TRUE(same || blank) << "band " << band;
            if (same) {
                ASSERT_EQ(filled, band) << "band " << band << " read after one that was not";
                ++filled;
            }
        }
        const std::uint64_t stored = rowBytes * kTileLength * kTiles;
        const std::uint64_t paid = stored + img::greatestUnits(k.encoding, tile[0].second);
        const std::uint64_t tileBytes = tileRowBytes * kTileLength;
        EXPECT_GE(filled, 1u);
        EXPECT_LE(filled, paid / tileBytes);
        // libtiff's RGBA reader decodes every tile whole, or fails.
        const bool everyTilePaid = tileBytes * kTiles <= paid;
        for (int bits : {24, 32})
            EXPECT_EQ(readBytes(file, bits, 0).status, everyTilePaid ? 0 : 20) << bits;
    }
}

// Found by the fuzzer: a 309-byte file whose tile of 32768 x 32768 made the indexed path ask
// for 1 GiB before its read failed. No buffer and no image is allocated for reads that the
// file cannot pay for.
TEST_F(TiffReaderTest, ReadsTheFileCannotPayForAskNothingOfTheHeap) {
    struct Case {
        int bits;
        std::uint16_t compression;
        std::uint32_t tileWidth, tileLength;
    };
    const Case cases[] = {
        {8, COMPRESSION_LZW, 32768, 32768},     {8, COMPRESSION_NONE, 32768, 16512},
        {1, COMPRESSION_LZW, 32768, 32768},     {16, COMPRESSION_ADOBE_DEFLATE, 32768, 16512},
        {8, COMPRESSION_PACKBITS, 65536, 1024},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.bits) + " bits, compression " +
                     std::to_string(k.compression));
        TiffPage p = make(1024, 512, k.bits, 1, PHOTOMETRIC_MINISWHITE, ramp);
        p.tileWidth = p.tileLength = 16;
        p.compression = k.compression;
        Bytes file = writeTiff(p);
        ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_TILEWIDTH, k.tileWidth));
        ASSERT_TRUE(testing_support::patchTiffTag(file, TIFFTAG_TILELENGTH, k.tileLength));
        for (int bits : {k.bits, 24}) {
            Result r;
            const testing_support::HeapFigures heap =
                testing_support::watchHeap([&] { r = readBytes(file, bits, 0); });
            EXPECT_EQ(r.status, 20) << bits;
            EXPECT_EQ(r.pixels, nullptr) << bits;
            if (testing_support::heapWatchAvailable()) {
                EXPECT_LE(heap.largestRequest, std::uint64_t{1} << 20) << bits;
            }
        }
    }
}

// libtiff's RGBA reader reads the planes of the colours and of an alpha it takes, no more: an
// extra plane it skips may hold nothing at all, as a sample file of Pillow's does, and the page
// still reads.
TEST_F(TiffReaderTest, PlanesTheRGBAReaderSkipsNeedHoldNothing) {
    struct Case {
        int photometric, samples;
        std::vector<std::uint16_t> extraSamples;
        int readPlanes;
    };
    const Case cases[] = {
        {PHOTOMETRIC_MINISBLACK, 2, {EXTRASAMPLE_UNSPECIFIED}, 1},
        {PHOTOMETRIC_RGB, 5, {EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNSPECIFIED}, 4},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("photometric " + std::to_string(k.photometric));
        constexpr int kW = 6, kH = 4;
        TiffPage p;
        p.width = kW;
        p.height = kH;
        p.samplesPerPixel = static_cast<std::uint16_t>(k.samples);
        p.photometric = k.photometric;
        p.planar = PLANARCONFIG_SEPARATE;
        p.extraSamples = k.extraSamples;
        p.pixels.resize(std::size_t{kW} * kH * k.samples);
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            p.pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
        Bytes file = writeTiff(p);
        auto strips = testing_support::tiffStrips(file);
        ASSERT_EQ(strips.size(), std::size_t(k.samples));
        std::vector<std::pair<std::uint32_t, std::uint32_t>> kept;
        const int colours = k.samples - int(k.extraSamples.size());
        for (int plane = 0; plane < k.samples; ++plane)
            kept.emplace_back(plane < k.readPlanes ? std::uint32_t(strips[plane].first) : 0,
                              plane < k.readPlanes ? std::uint32_t(strips[plane].second) : 0);
        ASSERT_TRUE(testing_support::setTiffStrips(file, kept));
        const Result r = readBytes(file, 24, 0);
        ASSERT_EQ(r.status, 0);
        ASSERT_NE(r.pixels, nullptr);
        for (int i = 0; i < kW * kH; ++i)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(r.pixels[i * 3 + c], p.pixels[(colours == 1 ? 0 : c) * kW * kH + i])
                    << "pixel " << i << " sample " << c;
    }
}

// Plain 8-bit RGB strips are read straight into the 24-bit rows; they must give what libtiff's
// RGBA reader gives through the 32-bit path, whatever the codec, the strips and the
// orientation, and fail as that reader fails on a strip it cannot read.
TEST_F(TiffReaderTest, PlainRgbStripsGiveWhatTheRGBAReaderGives) {
    constexpr int kW = 13, kH = 11;
    const std::uint16_t compressions[] = {COMPRESSION_NONE, COMPRESSION_LZW,
                                          COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS};
    for (std::uint16_t compression : compressions)
        for (std::uint32_t rowsPerStrip : {1u, 4u, 0u})
            for (std::uint16_t orientation : {0, 3, 6, 8}) {
                SCOPED_TRACE("compression " + std::to_string(compression) + ", rows per strip " +
                             std::to_string(rowsPerStrip) + ", orientation " +
                             std::to_string(orientation));
                TiffPage p = make(kW, kH, 8, 3, PHOTOMETRIC_RGB,
                                  [](int x, int y, int s) { return ramp(x, y, s) % 256; });
                p.compression = compression;
                p.rowsPerStrip = rowsPerStrip;
                p.orientation = orientation;
                const Bytes file = writeTiff(p);
                const Result rgb = readBytes(file, 24, 0);
                const Result rgba = readBytes(file, 32, 0);
                ASSERT_EQ(rgb.status, 0);
                ASSERT_EQ(rgba.status, 0);
                ASSERT_EQ(rgb.width, rgba.width);
                ASSERT_EQ(rgb.height, rgba.height);
                EXPECT_EQ(GlobalSize(rgb.pixels), std::size_t{kW} * kH * 3);
                for (int i = 0; i < kW * kH; ++i)
                    for (int s = 0; s < 3; ++s)
                        ASSERT_EQ(rgb.pixels[3 * i + s], rgba.pixels[4 * i + s]) << "pixel " << i;
                if (rowsPerStrip != 4) continue;
                Bytes spoiled = file;
                const auto strips = testing_support::tiffStrips(file);
                ASSERT_GE(strips.size(), 3u);
                std::fill(spoiled.begin() + strips[1].first,
                          spoiled.begin() + strips[1].first + strips[1].second, 0xFF);
                if (compression == COMPRESSION_NONE) {
                    ASSERT_TRUE(testing_support::setTiffStrips(
                        spoiled,
                        {{std::uint32_t(strips[0].first), std::uint32_t(strips[0].second)},
                         {std::uint32_t(strips[1].first), 5},
                         {std::uint32_t(strips[2].first), std::uint32_t(strips[2].second)}}));
                }
                // PackBits takes any bytes; the other codecs cannot read the spoiled strip.
                const Result spoiledRgb = readBytes(spoiled, 24, 0);
                const Result spoiledRgba = readBytes(spoiled, 32, 0);
                EXPECT_EQ(spoiledRgb.status, compression == COMPRESSION_PACKBITS ? 0 : 20);
                ASSERT_EQ(spoiledRgb.status, spoiledRgba.status);
                ASSERT_EQ(spoiledRgb.pixels != nullptr, spoiledRgb.status == 0);
                for (int i = 0; spoiledRgb.pixels != nullptr && i < kW * kH; ++i)
                    for (int s = 0; s < 3; ++s)
                        ASSERT_EQ(spoiledRgb.pixels[3 * i + s], spoiledRgba.pixels[4 * i + s])
                            << "spoiled, pixel " << i;
            }
}
