#include "ImageReads.h"
#include "LeakCheck.h"
#include "PngWriter.h"
#include "TestFiles.h"
#include "TraceCapture.h"
#include "imgcore.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

using testing_support::Bytes;
using testing_support::encodePng;
using testing_support::ImageRead;
using testing_support::LeakCheckedTest;
using testing_support::PngSpec;
using testing_support::TempFile;

namespace {

ImageRead readPng(const Bytes& file, int bitsPerPixel, int flags, bool withPalette = true,
                  unsigned failingAlloc = 0) {
    return testing_support::readBytes(file, failingAlloc, [&](SourceHandle src, ImageRead& r) {
        return readPNG(src, &r.width, &r.height, bitsPerPixel, withPalette ? r.palette : nullptr,
                       flags);
    });
}

PngSpec image(int width, int height, int bitDepth, int colourType, Bytes rows) {
    PngSpec s;
    s.width = width;
    s.height = height;
    s.bitDepth = bitDepth;
    s.colourType = colourType;
    s.rows = std::move(rows);
    return s;
}

PngSpec withPalette(PngSpec s, Bytes alphas = {}) {
    s.palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}};
    s.paletteAlphas = std::move(alphas);
    return s;
}

PngSpec withTransparent(PngSpec s, std::uint16_t a, std::uint16_t b = 0, std::uint16_t c = 0) {
    s.transparent = {{a, b, c}};
    return s;
}

PngSpec withBackground(PngSpec s, std::uint16_t r, std::uint16_t g, std::uint16_t b) {
    s.background = {{0, r, g, b}};
    return s;
}

PngSpec withGamma(PngSpec s, double gamma, int srgbIntent = -1) {
    s.gamma = gamma;
    s.srgbIntent = srgbIntent;
    return s;
}

class PngReaderTest : public LeakCheckedTest {};

struct PixelCase {
    const char* name;
    PngSpec file;
    int bitsPerPixel;
    int flags;
    int status;
    Bytes pixels; // the whole buffer on success
};

TEST_F(PngReaderTest, PixelBuffersInEveryForm) {
    const PixelCase cases[] = {
        {"palette at 24 is red, green, blue",
         withPalette(image(2, 1, 8, 3, {0, 3})),
         24,
         0,
         0,
         {10, 20, 30, 100, 110, 120}},
        {"palette at 8 keeps the indices",
         withPalette(image(3, 1, 4, 3, {0x12, 0x30})),
         8,
         0,
         0,
         {1, 2, 3}},
        {"1-bit grey at 1", image(10, 1, 1, 0, {0xA5, 0x80}), 1, 0, 0, {0xA5, 0x80}},
        {"grey 2-bit at 8 gives indices", image(4, 1, 2, 0, {0x1B}), 8, 0, 0, {0, 1, 2, 3}},
        {"grey 2-bit at 24 is scaled",
         image(4, 1, 2, 0, {0x1B}),
         24,
         0,
         0,
         {0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}},
        {"RGB with tRNS at 32 takes alpha from it",
         withTransparent(image(2, 1, 8, 2, {1, 2, 3, 4, 5, 6}), 4, 5, 6),
         32,
         0,
         0,
         {1, 2, 3, 255, 4, 5, 6, 0}},
        {"RGB without tRNS at 32 is opaque",
         image(2, 1, 8, 2, {1, 2, 3, 4, 5, 6}),
         32,
         0,
         0,
         {1, 2, 3, 255, 4, 5, 6, 255}},
        {"palette alphas at 32",
         withPalette(image(2, 1, 8, 3, {0, 1}), {7}),
         32,
         0,
         0,
         {10, 20, 30, 7, 40, 50, 60, 255}},
        {"RGBA at 24 on bKGD",
         withBackground(image(2, 1, 8, 6, {200, 100, 50, 0, 200, 100, 50, 255}), 9, 8, 7),
         24,
         0,
         0,
         {9, 8, 7, 200, 100, 50}},
        {"RGBA at 24 on black",
         image(2, 1, 8, 6, {200, 100, 50, 0, 200, 100, 50, 255}),
         24,
         0,
         0,
         {0, 0, 0, 200, 100, 50}},
        {"grey at 16 gets an opaque alpha", image(2, 1, 8, 0, {5, 6}), 16, 0, 0, {5, 255, 6, 255}},
        {"grey with tRNS at 16",
         withTransparent(image(2, 1, 8, 0, {5, 6}), 6),
         16,
         0,
         0,
         {5, 255, 6, 0}},
        {"16-bit grey at 16 with flag 4 is low byte first",
         image(1, 1, 16, 0, {0x12, 0x34}),
         16,
         4,
         0,
         {0x34, 0x12}},
        {"16-bit RGB at 48 is low byte first",
         image(1, 1, 16, 2, {1, 2, 3, 4, 5, 6}),
         48,
         0,
         0,
         {2, 1, 4, 3, 6, 5}},
        {"16-bit RGB at 64 gets alpha 65535",
         image(1, 1, 16, 2, {1, 2, 3, 4, 5, 6}),
         64,
         0,
         0,
         {2, 1, 4, 3, 6, 5, 255, 255}},
        {"16-bit RGB at 24 keeps the high bytes",
         image(1, 1, 16, 2, {1, 2, 3, 4, 5, 6}),
         24,
         0,
         0,
         {1, 3, 5}},
        {"16 with flag 4 of an 8-bit grey file", image(2, 1, 8, 0, {5, 6}), 16, 4, 17, {}},
        {"16 with flag 4 of a 1-bit file", image(8, 1, 1, 0, {0}), 16, 4, 28, {}},
        {"1 asked of an 8-bit palette file", withPalette(image(2, 1, 8, 3, {0, 1})), 1, 0, 17, {}},
        {"48 asked of a grey file", image(2, 1, 8, 0, {5, 6}), 48, 0, 17, {}},
        {"64 asked of an 8-bit file", image(1, 1, 8, 2, {1, 2, 3}), 64, 0, 17, {}},
        {"8 asked of an RGB file", image(1, 1, 8, 2, {1, 2, 3}), 8, 0, 28, {}},
        {"16-bit samples of grey+alpha", image(1, 1, 16, 4, {1, 2, 3, 4}), 16, 4, 28, {}},
        {"grey+alpha reader on RGB", image(1, 1, 8, 2, {1, 2, 3}), 16, 0, 28, {}},
        {"unknown depth", image(1, 1, 8, 2, {1, 2, 3}), 7, 0, 5, {}},
    };
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRead r = readPng(encodePng(c.file), c.bitsPerPixel, c.flags);
        EXPECT_EQ(r.status, c.status);
        if (c.status != 0) {
            EXPECT_EQ(r.image, nullptr) << "refused before anything was allocated";
            continue;
        }
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.width, c.file.width);
        EXPECT_EQ(r.height, c.file.height);
        EXPECT_EQ(GlobalSize(r.image.get()), c.pixels.size());
        EXPECT_EQ(r.bytes(0, c.pixels.size()), c.pixels);
    }
}

TEST_F(PngReaderTest, IndexedReadsFillThePalette) {
    ImageRead grey = readPng(encodePng(image(4, 1, 2, 0, {0x1B})), 8, 0);
    ASSERT_EQ(grey.status, 0);
    const BYTE steps[] = {0, 85, 170, 255};
    for (int i = 0; i < 256; ++i) {
        const BYTE v = steps[i < 4 ? i : 0];
        EXPECT_EQ(grey.palette[i].rgbRed, v) << i;
        EXPECT_EQ(grey.palette[i].rgbBlue, v) << i;
        EXPECT_EQ(grey.palette[i].rgbReserved, 255) << i;
    }

    ImageRead palette = readPng(encodePng(withPalette(image(2, 1, 8, 3, {0, 1}), {0, 128})), 8, 0);
    ASSERT_EQ(palette.status, 0);
    EXPECT_EQ(palette.palette[1].rgbBlue, 60);
    EXPECT_EQ(palette.palette[1].rgbRed, 40);
    EXPECT_EQ(palette.palette[0].rgbReserved, 0);
    EXPECT_EQ(palette.palette[1].rgbReserved, 128);
    EXPECT_EQ(palette.palette[2].rgbReserved, 255);
    EXPECT_EQ(palette.palette[200].rgbRed, 10) << "past the file's entries, copies of entry 0";
    EXPECT_EQ(palette.palette[200].rgbReserved, 255);

    EXPECT_EQ(readPng(encodePng(image(2, 1, 8, 0, {5, 6})), 8, 0, false).status, 28)
        << "an indexed read needs the caller's palette";
}

TEST_F(PngReaderTest, GammaOnlyWhenAskedAndNeverWithSrgb) {
    struct Case {
        const char* name;
        double gamma;
        int srgbIntent;
        int flags;
        bool corrected;
    };
    const Case cases[] = {
        {"linear file, flag 1", 1.0, -1, 1, true},
        {"linear file, no flag", 1.0, -1, 0, false},
        {"sRGB file, flag 1", 0, 0, 1, false},
        {"no gAMA, flag 1: the screen's reciprocal", 0, -1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRead r =
            readPng(encodePng(withGamma(image(1, 1, 8, 2, {128, 64, 32}), c.gamma, c.srgbIntent)),
                    32, c.flags);
        ASSERT_EQ(r.status, 0);
        const Bytes raw{128, 64, 32, 255};
        if (c.corrected) {
            EXPECT_GT(r.image.get()[0], 128);
            EXPECT_GT(r.image.get()[2], 32);
        } else {
            EXPECT_EQ(r.bytes(0, 4), raw);
        }
    }
}

struct DibCase {
    const char* name;
    PngSpec file;
    int bitCount;
    unsigned coloursUsed;
    Bytes palette; // the colour table's first bytes
    Bytes rows;    // pixel data, bottom row first, with padding
};

TEST_F(PngReaderTest, PackedDibsFollowTheFile) {
    const DibCase cases[] = {
        {"8-bit palette: blue, green, red table",
         withPalette(image(2, 2, 8, 3, {0, 1, 2, 3})),
         8,
         256,
         {30, 20, 10, 255, 60, 50, 40, 255},
         {2, 3, 0, 0, 0, 1, 0, 0}},
        {"2-bit palette widens to 4 bits",
         withPalette(image(5, 1, 2, 3, {0x1B, 0x40})),
         4,
         16,
         {30, 20, 10, 255, 60, 50, 40, 255},
         {0x01, 0x23, 0x10, 0}},
        {"1-bit grey",
         image(9, 1, 1, 0, {0xAA, 0x80}),
         1,
         2,
         {0, 0, 0, 255, 255, 255, 255, 255},
         {0xAA, 0x80, 0, 0}},
        {"RGB: blue, green, red, bottom-up",
         image(1, 2, 8, 2, {1, 2, 3, 4, 5, 6}),
         24,
         0,
         {},
         {6, 5, 4, 0, 3, 2, 1, 0}},
        {"grey+alpha becomes 32 bits", image(1, 1, 8, 4, {7, 9}), 32, 0, {}, {7, 7, 7, 9}},
        {"RGB with tRNS on bKGD",
         withBackground(withTransparent(image(2, 1, 8, 2, {1, 2, 3, 4, 5, 6}), 4, 5, 6), 9, 8, 7),
         24,
         0,
         {},
         {3, 2, 1, 7, 8, 9, 0, 0}},
    };
    for (const DibCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRead r = readPng(encodePng(c.file), 24, IMG_FLAG_DIB);
        ASSERT_EQ(r.status, 0);
        ASSERT_NE(r.image, nullptr);
        const BITMAPINFOHEADER& h = r.header();
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, c.file.width);
        EXPECT_EQ(h.biHeight, c.file.height);
        EXPECT_EQ(h.biBitCount, c.bitCount);
        EXPECT_EQ(h.biClrUsed, c.coloursUsed);
        EXPECT_EQ(h.biSizeImage, c.rows.size());
        EXPECT_EQ(r.width, c.file.width);
        const std::size_t table = c.coloursUsed * 4;
        EXPECT_EQ(GlobalSize(r.image.get()), 40 + table + c.rows.size());
        EXPECT_EQ(r.bytes(40, c.palette.size()), c.palette);
        EXPECT_EQ(r.bytes(40 + table, c.rows.size()), c.rows);
    }
}

TEST_F(PngReaderTest, DibCarriesThePhysicalResolution) {
    PngSpec file = image(1, 1, 8, 2, {1, 2, 3});
    file.physical = {{2835, 1417, 1}};
    ImageRead r = readPng(encodePng(file), 24, IMG_FLAG_DIB);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header().biXPelsPerMeter, 2835);
    EXPECT_EQ(r.header().biYPelsPerMeter, 1417);

    file.physical = {{3, 2, 0}};
    ImageRead aspectOnly = readPng(encodePng(file), 24, IMG_FLAG_DIB);
    EXPECT_EQ(aspectOnly.header().biXPelsPerMeter, 0) << "an aspect ratio has no unit";
}

TEST_F(PngReaderTest, InfoReportsTheHeaderAndPhysicalChunk) {
    PngSpec file = withPalette(image(5, 3, 4, 3, {}));
    file.interlaced = true;
    file.physical = {{100, 200, 1}};
    TempFile f(encodePng(file), ".png");
    SourceHandle src = openFileSource(f.path().c_str());
    int width = -1, height = -1, depth = -1, type = -1, interlace = -1;
    ImgResolution res{-1, -1, -1};
    EXPECT_EQ(getPNGInfo(src, &width, &height, &depth, &type, &interlace, &res), 1);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(depth, 4);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(interlace, 1);
    EXPECT_EQ(res.x, 100);
    EXPECT_EQ(res.y, 200);
    EXPECT_EQ(res.unit, 1);
    closeSource(src);
}

TEST_F(PngReaderTest, PaletteQuery) {
    struct Case {
        const char* name;
        PngSpec file;
        int count;
        Bytes firstEntries;
    };
    const Case cases[] = {
        {"palette with alphas",
         withPalette(image(1, 1, 8, 3, {0}), {5}),
         4,
         {30, 20, 10, 5, 60, 50, 40, 255}},
        {"grey 2-bit", image(1, 1, 2, 0, {0}), 4, {0, 0, 0, 255, 85, 85, 85, 255}},
        {"RGB without PLTE keeps the count and clears",
         image(1, 1, 8, 2, {1, 2, 3}),
         99,
         {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile f(encodePng(c.file), ".png");
        SourceHandle src = openFileSource(f.path().c_str());
        int count = 99;
        RGBQUAD palette[256];
        std::memset(palette, 0xEE, sizeof palette);
        EXPECT_EQ(readPNGPalette(src, &count, palette), 1);
        EXPECT_EQ(getLastError(), 0);
        EXPECT_EQ(count, c.count);
        const auto* bytes = reinterpret_cast<const BYTE*>(palette);
        EXPECT_EQ(Bytes(bytes, bytes + 8), c.firstEntries);
        EXPECT_EQ(palette[255].rgbBlue, c.firstEntries[0]) << "the rest repeat entry 0";
        closeSource(src);
    }
}

// Every prefix of a file: never a crash, the structures' and pixels' failures as status 15,
// and the partly read image handed back once rows were under way.
TEST_F(PngReaderTest, TruncationSweep) {
    PngSpec file = withPalette(image(40, 30, 8, 3, {}));
    for (int i = 0; i < 40 * 30; ++i)
        file.rows.push_back(static_cast<std::uint8_t>((i * 7) % 4));
    file.interlaced = true;
    const Bytes whole = encodePng(file);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const Bytes cut(whole.begin(), whole.begin() + n);
        for (int flags : {0, IMG_FLAG_DIB}) {
            ImageRead r = readPng(cut, 32, flags);
            ASSERT_EQ(r.status, 15) << n << " bytes, flags " << flags;
        }
    }
    ImageRead r = readPng(Bytes(whole.begin(), whole.end() - 20), 32, 0);
    EXPECT_NE(r.image, nullptr) << "the partly filled buffer comes back with the code";
}

TEST_F(PngReaderTest, NoMemoryForTheImage) {
    ImageRead r = readPng(encodePng(image(2, 1, 8, 0, {5, 6})), 24, 0, true, 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.image, nullptr);
}

TEST_F(PngReaderTest, FramesTheSourceHandle) {
    int width = 0, height = 0;
    EXPECT_EQ(readPNG(nullptr, &width, &height, 24, nullptr, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getPNGInfo(nullptr, &width, &height, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);

    ImageRead notPng = readPng(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}, 24, 0);
    EXPECT_EQ(notPng.status, 15);
    ImageRead ok = readPng(encodePng(image(1, 1, 8, 2, {1, 2, 3})), 24, 0);
    EXPECT_EQ(ok.status, 0) << "the last call's outcome, whatever came before";
}

// A chunk spliced in after IHDR, its length field saying `claimed` bytes.
Bytes withChunk(const Bytes& png, const char* type, const Bytes& data, std::uint32_t claimed) {
    Bytes chunk;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.push_back(static_cast<BYTE>(claimed >> shift));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uLong crc = crc32(crc32(0, nullptr, 0), chunk.data() + 4, chunk.size() - 4);
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.push_back(static_cast<BYTE>(crc >> shift));
    Bytes out = png;
    out.insert(out.begin() + 33, chunk.begin(), chunk.end());
    return out;
}

// Text and metadata chunks are skipped unread: a malformed one draws no word from libpng, and
// one claiming two gigabytes is never buffered (a fuzzer's input made libpng allocate that).
TEST_F(PngReaderTest, UnusedChunksAreSkippedUnread) {
    using testing_support::TraceCapture;
    const Bytes plain = encodePng(image(2, 1, 8, 2, {1, 2, 3, 4, 5, 6}));
    {
        TraceCapture capture;
        const Bytes emptyKeyword{0, 0, 'x'};
        ImageRead r = readPng(withChunk(plain, "zTXt", emptyKeyword, 3), 24, 0);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.bytes(0, 6), Bytes({1, 2, 3, 4, 5, 6}));
        EXPECT_TRUE(TraceCapture::lines().empty());
    }
    const Bytes textClaiming2Gb = withChunk(plain, "tEXt", {'S', 'o', 'f', 't'}, 2113938688u);
    EXPECT_EQ(readPng(Bytes(textClaiming2Gb.begin(), textClaiming2Gb.begin() + 60), 24, 0).status,
              15);
}

TEST_F(PngReaderTest, FailuresAreTracedTwice) {
    using testing_support::TraceCapture;
    const Bytes whole = encodePng(image(4, 4, 8, 2, {}));
    TraceCapture capture;
    EXPECT_EQ(readPng(Bytes(whole.begin(), whole.end() - 30), 24, 0).status, 15);
    const std::vector<TraceCapture::Line> expected{{3, "read Error\n"},
                                                   {3, "ZORed PNG Error : read Error\n"}};
    EXPECT_EQ(TraceCapture::lines(), expected);
}

} // namespace
