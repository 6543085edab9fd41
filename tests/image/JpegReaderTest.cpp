#include "HeapWatch.h"
#include "ImageReads.h"
#include "JpegWriter.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "TraceCapture.h"
#include "imgcore.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <string>

using testing_support::Bytes;
using testing_support::decodeJpeg;
using testing_support::encodeJpeg;
using testing_support::ImageRead;
using testing_support::JpegSpec;
using testing_support::LeakCheckedTest;
using testing_support::TempFile;

namespace {

constexpr int kRawInk = 1, kKeepYCbCr = 4, kPaddedBgr = 8, kGiveBack = 16;

ImageRead readJpeg(const Bytes& file, int bitsPerPixel, int flags, unsigned failingAlloc = 0) {
    return testing_support::readBytes(file, failingAlloc, [&](SourceHandle src, ImageRead& r) {
        return readJPEG(src, &r.width, &r.height, bitsPerPixel, flags);
    });
}

JpegSpec sample(int width, int height, int components, int storedSpace = 0) {
    JpegSpec s;
    s.width = width;
    s.height = height;
    s.components = components;
    s.storedSpace = storedSpace;
    s.pixels = testing_support::texturedPixels(width, height, components);
    return s;
}

// libjpeg's decoding of the file, then `convert` applied pixel by pixel.
template <class Convert> Bytes expectedFrom(const Bytes& file, int outputSpace, Convert convert) {
    int width = 0, height = 0, components = 0;
    const Bytes decoded = decodeJpeg(file, &width, &height, &components, outputSpace);
    Bytes out;
    for (std::size_t i = 0; i < decoded.size(); i += components)
        convert(&decoded[i], out);
    return out;
}

void same(const BYTE* p, Bytes& out, int n) {
    out.insert(out.end(), p, p + n);
}

class JpegReaderTest : public LeakCheckedTest {};

struct PixelCase {
    const char* name;
    JpegSpec file;
    int bitsPerPixel;
    int flags;
    int outputSpace; // the libjpeg decoding to compare with
    void (*convert)(const BYTE*, Bytes&);
};

TEST_F(JpegReaderTest, PixelBuffers) {
    const PixelCase cases[] = {
        {"RGB at 24", sample(9, 5, 3), 24, 0, 0, [](const BYTE* p, Bytes& o) { same(p, o, 3); }},
        {"grey at 8", sample(9, 5, 1), 8, 0, 0, [](const BYTE* p, Bytes& o) { same(p, o, 1); }},
        {"grey at 24 gives three equal bytes", sample(9, 5, 1), 24, 0, 0,
         [](const BYTE* p, Bytes& o) {
             o.insert(o.end(), {p[0], p[0], p[0]});
         }},
        {"CMYK at 24 gives c x k / 255", sample(9, 5, 4), 24, 0, 0,
         [](const BYTE* p, Bytes& o) {
             for (int i = 0; i < 3; ++i)
                 o.push_back(static_cast<BYTE>(p[i] * p[3] / 255));
         }},
        {"CMYK at 32 with flag 1 is the decoded ink", sample(9, 5, 4), 32, kRawInk, 0,
         [](const BYTE* p, Bytes& o) { same(p, o, 4); }},
        {"YCCK at 32 with flag 1", sample(9, 5, 4, JCS_YCCK), 32, kRawInk, 0,
         [](const BYTE* p, Bytes& o) { same(p, o, 4); }},
        {"flag 4 leaves YCbCr", sample(9, 5, 3), 24, kKeepYCbCr, JCS_YCbCr,
         [](const BYTE* p, Bytes& o) { same(p, o, 3); }},
    };
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = encodeJpeg(c.file);
        ImageRead r = readJpeg(file, c.bitsPerPixel, c.flags);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.width, c.file.width);
        EXPECT_EQ(r.height, c.file.height);
        const Bytes expected = expectedFrom(file, c.outputSpace, c.convert);
        ASSERT_EQ(GlobalSize(r.image.get()), expected.size());
        EXPECT_EQ(r.bytes(0, expected.size()), expected);
    }
}

TEST_F(JpegReaderTest, RefusedCombinationsGiveNineOrFive) {
    struct Case {
        const char* name;
        JpegSpec file;
        int bitsPerPixel;
        int flags;
        int status;
    };
    const Case cases[] = {
        {"RGB at 8", sample(8, 8, 3), 8, 0, 9},
        {"RGB at 32", sample(8, 8, 3), 32, 0, 9},
        {"grey at 32", sample(8, 8, 1), 32, 0, 9},
        {"CMYK at 32 without flag 1", sample(8, 8, 4), 32, 0, 9},
        {"CMYK at 24 with flag 1", sample(8, 8, 4), 24, kRawInk, 9},
        {"CMYK as DIB with flag 1", sample(8, 8, 4), 32, kRawInk | IMG_FLAG_DIB, 9},
        {"YCbCr at 32", sample(8, 8, 3), 32, kKeepYCbCr, 9},
        {"flag 4 on grey", sample(8, 8, 1), 8, kKeepYCbCr, 9},
        {"RGB as DIB at 8", sample(8, 8, 3), 8, IMG_FLAG_DIB, 9},
        {"16 bits per pixel", sample(8, 8, 3), 16, 0, 5},
        {"16 bits per pixel even as DIB", sample(8, 8, 1), 16, IMG_FLAG_DIB, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRead r = readJpeg(encodeJpeg(c.file), c.bitsPerPixel, c.flags);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.image, nullptr);
    }
    EXPECT_EQ(readJpeg({}, 24, 0).status, 9) << "a zero-byte file";
    EXPECT_EQ(readJpeg(Bytes(100, 0x42), 24, 0).status, 9) << "not a JPEG";
}

struct DibCase {
    const char* name;
    JpegSpec file;
    int bitsPerPixel;
    int bitCount;
    unsigned coloursUsed;
};

TEST_F(JpegReaderTest, PackedDibs) {
    const DibCase cases[] = {
        {"grey is 8-bit with a grey table whatever was asked", sample(5, 3, 1), 32, 8, 256},
        {"RGB", sample(5, 3, 3), 24, 24, 0},
        {"CMYK becomes 24-bit colour", sample(5, 3, 4), 32, 24, 0},
    };
    for (const DibCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = encodeJpeg(c.file);
        ImageRead r = readJpeg(file, c.bitsPerPixel, IMG_FLAG_DIB);
        ASSERT_EQ(r.status, 0);
        ImageRead plain = readJpeg(file, c.bitCount, 0);
        ASSERT_EQ(plain.status, 0);
        const BITMAPINFOHEADER& h = r.header();
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, 5);
        EXPECT_EQ(h.biHeight, 3);
        EXPECT_EQ(h.biBitCount, c.bitCount);
        EXPECT_EQ(h.biClrUsed, c.coloursUsed);
        const std::size_t pixelBytes = c.bitCount / 8, rowBytes = (5 * pixelBytes + 3) / 4 * 4;
        EXPECT_EQ(h.biSizeImage, rowBytes * 3);
        const std::size_t table = c.coloursUsed * 4;
        ASSERT_EQ(GlobalSize(r.image.get()), 40 + table + rowBytes * 3);
        for (unsigned i = 0; i < c.coloursUsed; ++i)
            EXPECT_EQ(r.bytes(40 + 4 * i, 4), Bytes({BYTE(i), BYTE(i), BYTE(i), 255}));
        for (int y = 0; y < 3; ++y) {
            Bytes row = plain.bytes(y * 5 * pixelBytes, 5 * pixelBytes);
            if (pixelBytes == 3)
                for (std::size_t x = 0; x < row.size(); x += 3)
                    std::swap(row[x], row[x + 2]);
            EXPECT_EQ(r.bytes(40 + table + (2 - y) * rowBytes, row.size()), row)
                << "rows bottom-up, blue first";
        }
    }
}

TEST_F(JpegReaderTest, FlagEightPadsRowsAndSwapsColour) {
    const Bytes file = encodeJpeg(sample(3, 2, 3));
    ImageRead padded = readJpeg(file, 24, kPaddedBgr);
    ImageRead plain = readJpeg(file, 24, 0);
    ASSERT_EQ(padded.status, 0);
    ASSERT_EQ(GlobalSize(padded.image.get()), 24u);
    for (int y = 0; y < 2; ++y) {
        Bytes row = plain.bytes(y * 9, 9);
        for (int x = 0; x < 9; x += 3)
            std::swap(row[x], row[x + 2]);
        EXPECT_EQ(padded.bytes(y * 12, 9), row);
    }

    ImageRead grey = readJpeg(encodeJpeg(sample(3, 2, 1)), 8, kPaddedBgr);
    ImageRead greyPlain = readJpeg(encodeJpeg(sample(3, 2, 1)), 8, 0);
    ASSERT_EQ(grey.status, 0);
    EXPECT_EQ(grey.bytes(4, 3), greyPlain.bytes(3, 3)) << "grey rows are padded, not swapped";
}

TEST_F(JpegReaderTest, DibResolutionFollowsTheJfifUnit) {
    struct Case {
        int unit, x, y;
        LONG expectedX, expectedY;
    };
    const Case cases[] = {
        {1, 72, 96, 7200, 9600},    // dots per inch
        {2, 100, 50, 25300, 12600}, // dots per centimetre
        {0, 1, 2, 0, 0},            // aspect ratio only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        JpegSpec file = sample(8, 8, 3);
        file.densityUnit = c.unit;
        file.xDensity = c.x;
        file.yDensity = c.y;
        ImageRead r = readJpeg(encodeJpeg(file), 24, IMG_FLAG_DIB);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.header().biXPelsPerMeter, c.expectedX);
        EXPECT_EQ(r.header().biYPelsPerMeter, c.expectedY);
    }
}

TEST_F(JpegReaderTest, FlagSixteenLeavesTheStreamBehindTheImage) {
    // The second is above the free size, so the reader reads its scans ahead before decoding.
    JpegSpec large = sample(2736, 2736, 3);
    large.progressive = true;
    large.fullChroma = true;
    large.pixels.assign(large.pixels.size(), 128);
    for (const Bytes& image : {encodeJpeg(sample(16, 16, 3)), encodeJpeg(large)}) {
        Bytes file = image;
        file.insert(file.end(), 5000, 0x5A);
        for (int flags : {kGiveBack, 0}) {
            SCOPED_TRACE(image.size());
            TempFile f(file);
            SourceHandle src = openFileSource(f.path().c_str());
            int width = 0, height = 0;
            BYTE* pixels = readJPEG(src, &width, &height, 24, flags);
            EXPECT_EQ(getLastError(), 0);
            GlobalFree(pixels);
            const int at = closeSource(src);
            if (flags == kGiveBack)
                EXPECT_EQ(at, static_cast<int>(image.size()));
            else
                EXPECT_GT(at, static_cast<int>(image.size())) << "read ahead and kept";
        }
    }
}

TEST_F(JpegReaderTest, ErrorWhileFinishingKeepsTheRows) {
    // A second frame header after the scan is only met when decoding finishes.
    const Bytes image = encodeJpeg(sample(8, 8, 1));
    Bytes file(image.begin(), image.end() - 2);
    const Bytes frame{0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0xFF, 0xD9};
    file.insert(file.end(), frame.begin(), frame.end());
    ImageRead r = readJpeg(file, 8, 0);
    EXPECT_EQ(r.status, 3);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r.bytes(0, 64), readJpeg(image, 8, 0).bytes(0, 64));
}

TEST_F(JpegReaderTest, TruncationSweep) {
    for (bool progressive : {false, true}) {
        JpegSpec layout = sample(24, 24, 3);
        layout.progressive = progressive;
        const Bytes whole = encodeJpeg(layout);
        for (std::size_t n = 0; n < whole.size(); ++n) {
            ImageRead r = readJpeg(Bytes(whole.begin(), whole.begin() + n), 24, 0);
            ASSERT_TRUE(r.status == 0 || r.status == 9) << n << ": " << r.status;
            EXPECT_EQ(r.image == nullptr, r.status != 0) << n;
        }
        EXPECT_EQ(readJpeg(Bytes(whole.begin(), whole.end() - 40), 24, 0).status, 0)
            << "cut inside the pixel data: a warning only, the rest filled by libjpeg";
    }
}

TEST_F(JpegReaderTest, NoMemory) {
    const Bytes file = encodeJpeg(sample(8, 8, 3));
    for (unsigned failing : {1u, 2u}) {
        ImageRead r = readJpeg(file, 24, 0, failing);
        EXPECT_EQ(r.status, 1) << "allocation " << failing;
        EXPECT_EQ(r.image, nullptr);
    }
}

TEST_F(JpegReaderTest, InfoQuery) {
    JpegSpec layout = sample(12, 7, 4);
    layout.progressive = true;
    layout.densityUnit = 1;
    layout.xDensity = 300;
    layout.yDensity = 150;
    TempFile f(encodeJpeg(layout));
    SourceHandle src = openFileSource(f.path().c_str());
    int width = 0, height = 0, bits = 0;
    ImgResolution res{};
    EXPECT_EQ(getJPEGInfo(src, &width, &height, &bits, &res), 1);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(width, 12);
    EXPECT_EQ(height, 7);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(res.x, 300) << "as stored";
    EXPECT_EQ(res.y, 150);
    EXPECT_EQ(res.unit, 1);
    EXPECT_EQ(getJPEGInfo(src, nullptr, &height, &bits, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    closeSource(src);

    TempFile empty(Bytes{});
    src = openFileSource(empty.path().c_str());
    EXPECT_EQ(getJPEGInfo(src, &width, &height, &bits, nullptr), 0);
    EXPECT_EQ(getLastError(), 9);
    EXPECT_EQ(width, 0);
    closeSource(src);
}

using testing_support::TraceCapture;
using Line = TraceCapture::Line;

TEST_F(JpegReaderTest, MessagesGoToTheTraceRoutineNotStandardError) {
    struct Case {
        const char* name;
        Bytes file;
        int bitsPerPixel;
        std::vector<Line> lines;
    };
    const Bytes image = encodeJpeg(sample(16, 16, 3));
    const Case cases[] = {
        {"a file cut in its pixels",
         Bytes(image.begin(), image.end() - 40),
         24,
         {{2, "Premature end of JPEG file\n"}}},
        {"an empty file",
         {},
         24,
         {{3, "Empty input file\n"}, {3, "ZORed JPG Error : Empty input file\n"}}},
        {"a refused depth",
         image,
         8,
         {{3, "ZORed JPG Error : Invalid bit depth requested (can't read RGB to any other bit "
              "depth)\n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceCapture capture;
        testing::internal::CaptureStderr();
        readJpeg(c.file, c.bitsPerPixel, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(TraceCapture::lines(), c.lines);
    }
}

} // namespace

// Everything a read gave back, copied out so that two reads compare.
struct Copied {
    int status = -1;
    int width = 0, height = 0;
    Bytes block;
};

Copied readCopy(const Bytes& file, int bitsPerPixel, int flags) {
    ImageRead r = readJpeg(file, bitsPerPixel, flags);
    Copied c{r.status, r.width, r.height, {}};
    if (r.image != nullptr) c.block = r.bytes(0, GlobalSize(r.image.get()));
    return c;
}

TEST_F(JpegReaderTest, OutputNeverDependsOnWhatTheHeapHeld) {
    struct Form {
        int bitsPerPixel, flags;
    };
    struct Case {
        const char* name;
        JpegSpec file;
        std::vector<Form> forms;
    };
    auto variant = [](JpegSpec s, bool progressive, bool arithmetic) {
        s.progressive = progressive;
        s.arithmetic = arithmetic;
        return s;
    };
    const std::vector<Form> colour = {
        {24, 0}, {24, IMG_FLAG_DIB}, {24, kPaddedBgr}, {24, kKeepYCbCr}};
    const std::vector<Form> grey = {{8, 0}, {24, 0}, {8, IMG_FLAG_DIB}, {8, kPaddedBgr}};
    const std::vector<Form> ink = {{24, 0}, {32, kRawInk}, {24, IMG_FLAG_DIB}};
    const Case cases[] = {
        {"baseline 4:2:0", sample(37, 29, 3), colour},
        {"progressive 4:2:0", variant(sample(37, 29, 3), true, false), colour},
        {"arithmetic progressive", variant(sample(37, 29, 3), true, true), colour},
        {"arithmetic sequential", variant(sample(37, 29, 3), false, true), colour},
        {"grey", sample(37, 29, 1), grey},
        {"grey progressive", variant(sample(37, 29, 1), true, false), grey},
        {"CMYK progressive", variant(sample(37, 29, 4), true, false), ink},
        {"YCCK", sample(37, 29, 4, JCS_YCCK), ink},
    };
    for (const Case& c : cases) {
        const Bytes whole = encodeJpeg(c.file);
        // Cut in the header, in the first scan, between scans and just before the end.
        for (std::size_t keep : {whole.size() / 8, whole.size() / 3, whole.size() / 2,
                                 whole.size() - 7, whole.size()}) {
            const Bytes file(whole.begin(), whole.begin() + keep);
            for (const Form& form : c.forms) {
                SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(keep) + " of " +
                             std::to_string(whole.size()) + " bytes, " +
                             std::to_string(form.bitsPerPixel) + " bits, flags " +
                             std::to_string(form.flags));
                const auto [first, second] = testing_support::underTwoFills(
                    [&] { return readCopy(file, form.bitsPerPixel, form.flags); });
                EXPECT_EQ(first.status, second.status);
                EXPECT_EQ(first.width, second.width);
                EXPECT_EQ(first.height, second.height);
                EXPECT_TRUE(first.block == second.block) << "status " << first.status;
            }
        }
    }
}
