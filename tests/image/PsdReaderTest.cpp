#include "HeapWatch.h"
#include "LeakCheck.h"
#include "PsdWriter.h"
#include "TestFiles.h"
#include "Trace.h"
#include "imgcore.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

using namespace testing_support;

namespace {

struct Read {
    bool image = false;
    int error = -1;
    int width = 0;
    int height = 0;
    Bytes pixels;
    RGBQUAD palette[256] = {};

    bool operator==(const Read& o) const {
        return image == o.image && error == o.error && width == o.width && height == o.height &&
               pixels == o.pixels && std::memcmp(palette, o.palette, sizeof palette) == 0;
    }
};

Read readPsdPath(const std::string& path, int bitsPerPixel, int flags = 0) {
    Read r;
    SourceHandle src = openFileSource(path.c_str());
    EXPECT_NE(src, nullptr);
    BYTE* out = readPSD(src, &r.width, &r.height, bitsPerPixel, r.palette, flags);
    r.error = getLastError();
    closeSource(src);
    if (out != nullptr) {
        r.image = true;
        r.pixels.assign(out, out + GlobalSize(out));
        GlobalFree(out);
    }
    return r;
}

Read readPsdBytes(const Bytes& file, int bitsPerPixel, int flags = 0) {
    TempFile f(file, ".psd");
    return readPsdPath(f.path(), bitsPerPixel, flags);
}

Bytes plane(int n, int seed) {
    Bytes p(n);
    for (int i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>((i * 37 + seed * 91) % 251);
    return p;
}

// Runs of equal bytes too, so that PackBits uses both kinds of run.
Bytes runsPlane(int n, int seed) {
    Bytes p = plane(n, seed);
    for (int i = 0; i < n; ++i)
        if ((i / 5) % 2 == 0) p[i] = static_cast<std::uint8_t>(seed);
    return p;
}

Bytes widen(const Bytes& p) {
    Bytes out;
    for (std::uint8_t v : p) {
        out.push_back(v);
        out.push_back(static_cast<std::uint8_t>(255 - v));
    }
    return out;
}

PsdImage image(int mode, int channels, int width, int height, int compression = 0) {
    PsdImage im;
    im.mode = mode;
    im.channels = channels;
    im.width = width;
    im.height = height;
    im.compression = compression;
    for (int c = 0; c < channels; ++c)
        im.planes.push_back(runsPlane(width * height, c + 1));
    return im;
}

Bytes interleaved(const PsdImage& im, int channels) {
    Bytes out;
    for (int i = 0; i < im.width * im.height; ++i)
        for (int c = 0; c < channels; ++c)
            out.push_back(im.planes[c][i]);
    return out;
}

class PsdReaderTest : public LeakCheckedTest {};

TEST_F(PsdReaderTest, RgbChannelsRawAndPackBits) {
    struct Case {
        int compression, depth, bits, channels;
    } cases[] = {{0, 8, 24, 3}, {1, 8, 24, 3}, {0, 16, 24, 3}, {1, 8, 32, 4}, {0, 16, 32, 4}};
    for (const Case& c : cases) {
        PsdImage im = image(3, c.channels, 13, 7, c.compression);
        const PsdImage eight = im;
        if (c.depth == 16) {
            im.depth = 16;
            for (Bytes& p : im.planes)
                p = widen(p);
        }
        Read r = readPsdBytes(psdFile(im), c.bits);
        ASSERT_TRUE(r.image);
        EXPECT_EQ(r.error, 0) << c.compression << "/" << c.depth;
        EXPECT_EQ(r.width, 13);
        EXPECT_EQ(r.height, 7);
        EXPECT_EQ(r.pixels, interleaved(eight, 3))
            << "high bytes of 16-bit samples, no fourth channel: " << c.compression << "/"
            << c.depth << "/" << c.bits;
    }
}

TEST_F(PsdReaderTest, CmykComesBackAtTwentyFourBitsUnlessAskedForFour) {
    struct Case {
        int compression, depth, channels;
    } cases[] = {{1, 8, 4}, {0, 8, 4}, {0, 16, 5}};
    for (const Case& c : cases) {
        const PsdImage im = image(4, c.channels, 5, 3, c.compression);
        PsdImage stored = im;
        stored.depth = c.depth;
        if (c.depth == 16)
            for (Bytes& p : stored.planes)
                p = widen(p);
        const Bytes file = psdFile(stored);
        Bytes rgb;
        for (int i = 0; i < 15; ++i)
            for (int ch = 0; ch < 3; ++ch)
                rgb.push_back(im.planes[ch][i] * im.planes[3][i] / 255);
        for (int bits : {24, 32}) {
            Read r = readPsdBytes(file, bits);
            EXPECT_EQ(r.error, 0);
            EXPECT_EQ(r.pixels, rgb) << bits << " bits without flag 4, depth " << c.depth;
        }
        Read four = readPsdBytes(file, 32, 4);
        EXPECT_EQ(four.pixels, interleaved(im, 4)) << "depth " << c.depth;
    }
}

TEST_F(PsdReaderTest, OneChannelModesWithTheirPalettes) {
    Bytes colourMap(768);
    for (int i = 0; i < 256; ++i) {
        colourMap[i] = static_cast<std::uint8_t>(i);
        colourMap[256 + i] = static_cast<std::uint8_t>(255 - i);
        colourMap[512 + i] = 7;
    }
    struct Case {
        const char* name;
        int mode;
        Bytes colourModeData;
        int compression;
        bool fromMap;
    } cases[] = {
        {"indexed", 2, colourMap, 0, true},
        {"indexed, PackBits", 2, colourMap, 1, true},
        {"grey", 1, {}, 1, false},
        {"duotone data is passed over", 8, Bytes(524, 0xAA), 0, false},
        // Only 768 bytes make a palette; other lengths keep the ramp and the sections in place.
        {"indexed with a short table", 2, Bytes(30, 0xCC), 0, false},
    };
    for (const Case& c : cases) {
        PsdImage im = image(c.mode, 1, 6, 4, c.compression);
        im.colourModeData = c.colourModeData;
        const Bytes file = psdFile(im);
        Read eight = readPsdBytes(file, 8);
        EXPECT_EQ(eight.error, 0) << c.name;
        EXPECT_EQ(eight.pixels, im.planes[0]) << c.name;
        const RGBQUAD e = eight.palette[200];
        EXPECT_EQ(e.rgbRed, 200) << c.name;
        EXPECT_EQ(e.rgbGreen, c.fromMap ? 55 : 200) << c.name << ": red plane first";
        EXPECT_EQ(e.rgbBlue, c.fromMap ? 7 : 200) << c.name;
        EXPECT_EQ(e.rgbReserved, 0) << c.name;

        Read rgb = readPsdBytes(file, 24);
        EXPECT_EQ(rgb.error, 0) << c.name;
        ASSERT_EQ(rgb.pixels.size(), 6u * 4 * 3) << c.name;
        const std::uint8_t index = im.planes[0][5];
        EXPECT_EQ(rgb.pixels[15], index) << c.name;
        EXPECT_EQ(rgb.pixels[16], c.fromMap ? 255 - index : index) << c.name;
    }
}

TEST_F(PsdReaderTest, BitmapModeSpreadsBits) {
    for (int compression : {0, 1}) {
        PsdImage im = image(0, 1, 10, 2, compression);
        im.depth = 1;
        im.planes = {Bytes{0xA5, 0xC0, 0x0F, 0x40}};
        const Bytes file = psdFile(im);
        Read eight = readPsdBytes(file, 8);
        EXPECT_EQ(eight.error, 0) << compression;
        EXPECT_EQ(eight.pixels,
                  (Bytes{1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1}));
        EXPECT_EQ(eight.palette[0].rgbRed & eight.palette[0].rgbReserved, 0xFF);
        EXPECT_EQ(eight.palette[1].rgbRed | eight.palette[1].rgbReserved, 0);
        Read rgb = readPsdBytes(file, 24);
        EXPECT_EQ(rgb.error, 0);
        ASSERT_EQ(rgb.pixels.size(), 60u);
        EXPECT_EQ(Bytes(rgb.pixels.begin(), rgb.pixels.begin() + 6),
                  (Bytes{0, 0, 0, 255, 255, 255}))
            << "1 is black, 0 white";
    }
}

TEST_F(PsdReaderTest, PackedDibs) {
    struct Case {
        const char* name;
        PsdImage im;
        int flags;
        int bits;
    } cases[] = {
        {"grey", image(1, 1, 3, 2), IMG_FLAG_DIB, 8},
        {"RGB", image(3, 3, 3, 2, 1), IMG_FLAG_DIB, 24},
        {"CMYK", image(4, 4, 3, 2), IMG_FLAG_DIB, 24},
        {"CMYK with flag 4", image(4, 4, 3, 2), IMG_FLAG_DIB | 4, 32},
    };
    for (const Case& c : cases) {
        Read r = readPsdBytes(psdFile(c.im), 0, c.flags);
        ASSERT_TRUE(r.image) << c.name;
        EXPECT_EQ(r.error, 0) << c.name;
        BITMAPINFOHEADER h;
        std::memcpy(&h, r.pixels.data(), sizeof h);
        EXPECT_EQ(h.biBitCount, c.bits) << c.name;
        EXPECT_EQ(h.biWidth, 3);
        EXPECT_EQ(h.biHeight, 2);
        EXPECT_EQ(r.width, 3);
        EXPECT_EQ(r.height, 2);
        const BYTE* rows = r.pixels.data() + 40 + (c.bits == 8 ? 1024 : 0);
        const int rowBytes = ((3 * c.bits + 31) / 32) * 4;
        // The DIB's first row is the image's last, blue first.
        const BYTE* bottomLeft = rows;
        if (c.bits == 8) {
            EXPECT_EQ(bottomLeft[0], c.im.planes[0][3]) << c.name;
        } else if (c.bits == 24 && c.im.mode == 3) {
            EXPECT_EQ(bottomLeft[0], c.im.planes[2][3]) << c.name;
            EXPECT_EQ(bottomLeft[2], c.im.planes[0][3]) << c.name;
        } else if (c.bits == 32) {
            EXPECT_EQ(bottomLeft[0], c.im.planes[2][3]) << c.name;
            EXPECT_EQ(bottomLeft[3], c.im.planes[3][3]) << c.name;
        }
        EXPECT_EQ(r.pixels.size(), 40u + (c.bits == 8 ? 1024 : 0) + 2 * rowBytes) << c.name;
    }
}

TEST_F(PsdReaderTest, StatusCodes) {
    const Bytes good = psdFile(image(3, 3, 4, 4, 1));
    auto edited = [](PsdImage im, auto change) {
        change(im);
        return psdFile(im);
    };
    Bytes notPsd = good;
    notPsd[0] = 'X';
    Bytes version2 = good;
    version2[5] = 2;
    // A PackBits literal that claims more bytes than its row holds.
    PsdImage overrun = image(1, 1, 4, 1, 1);
    Bytes runPast = psdFile(overrun);
    runPast[runPast.size() - packBits(overrun.planes[0]).size()] = 20;
    struct Case {
        const char* name;
        Bytes file;
        int bits;
        int flags;
        int error;
        bool image;
    } cases[] = {
        {"not 8BPS", notPsd, 24, 0, 46, false},
        {"version 2", version2, 24, 0, 46, false},
        {"cut in the header", Bytes(good.begin(), good.begin() + 20), 24, 0, 3, false},
        {"cut in the header, as a DIB", Bytes(good.begin(), good.begin() + 20), 0, IMG_FLAG_DIB, 3,
         false},
        {"depth 32", edited(image(3, 3, 2, 2), [](PsdImage& i) { i.depth = 32; }), 24, 0, 47,
         false},
        {"PackBits at 16 bits", edited(image(3, 3, 2, 2, 1), [](PsdImage& i) { i.depth = 16; }), 24,
         0, 47, false},
        {"RGB at 8 bits", good, 8, 0, 47, false},
        {"Lab", psdFile(image(9, 3, 2, 2)), 24, 0, 47, false},
        {"Lab as a DIB", psdFile(image(9, 3, 2, 2)), 24, IMG_FLAG_DIB, 46, false},
        {"too few channels for RGB", psdFile(image(3, 1, 2, 2)), 24, 0, 47, false},
        {"no channels", edited(image(1, 1, 2, 2), [](PsdImage& i) { i.channels = 0; }), 8, 0, 46,
         false},
        {"zero width", edited(image(3, 3, 2, 2), [](PsdImage& i) { i.width = 0; }), 24, 0, 46,
         false},
        {"too large to allocate",
         edited(image(3, 3, 1, 1), [](PsdImage& i) { i.width = i.height = 60000; }), 24, 0, 1,
         false},
        {"compression 2", edited(image(3, 3, 2, 2), [](PsdImage& i) { i.compression = 2; }), 24, 0,
         3, false},
        {"rows cut short", Bytes(good.begin(), good.end() - 3), 24, 0, 3, true},
        {"rows cut short, as a DIB", Bytes(good.begin(), good.end() - 3), 0, IMG_FLAG_DIB, 3, true},
        {"PackBits run past its row", runPast, 8, 0, 3, true},
        {"bits per pixel 16", good, 16, 0, 5, false},
    };
    for (const Case& c : cases) {
        Read r = readPsdBytes(c.file, c.bits, c.flags);
        EXPECT_EQ(r.error, c.error) << c.name;
        EXPECT_EQ(r.image, c.image) << c.name;
    }
}

TEST_F(PsdReaderTest, RawPlanesCutShortKeepTheirWholeRows) {
    struct Case {
        const char* name;
        int channels, width, height, depth;
        double cutAt; // how far into the image data the file ends
        int error;
    } cases[] = {
        {"in the first plane", 3, 9, 5, 8, 0.2, 3},
        {"in the second plane", 3, 9, 5, 8, 0.5, 3},
        {"in the last plane", 3, 9, 5, 8, 0.9, 3},
        {"at a plane's end", 3, 9, 5, 8, 2.0 / 3, 3},
        {"16-bit samples", 3, 9, 5, 16, 0.6, 3},
        {"before an alpha plane", 4, 9, 5, 8, 0.7, 3},
        {"in an alpha plane, which is not read", 4, 9, 5, 8, 0.9, 0},
        // Rows wider than a read of one plane: the row cut short had begun in earlier reads.
        {"wide rows, first plane", 3, 70001, 3, 8, 0.3, 3},
        {"wide rows, last plane", 3, 70001, 3, 8, 0.75, 3},
        {"wide 16-bit rows", 3, 40000, 3, 16, 0.55, 3},
    };
    for (const Case& c : cases) {
        PsdImage im = image(3, c.channels, c.width, c.height);
        const PsdImage eight = im;
        im.depth = c.depth;
        if (c.depth == 16)
            for (Bytes& p : im.planes)
                p = widen(p);
        Bytes file = psdFile(im);
        const std::size_t sampleBytes = c.depth / 8;
        const std::size_t rowBytes = c.width * sampleBytes;
        const std::size_t planeBytes = rowBytes * c.height;
        const std::size_t data = file.size() - planeBytes * c.channels;
        file.resize(data + static_cast<std::size_t>(planeBytes * c.channels * c.cutAt));
        // A plane holds the rows that are all in the file, zeros after them.
        Bytes expected(static_cast<std::size_t>(c.width) * c.height * 3, 0);
        for (int ch = 0; ch < 3; ++ch) {
            const std::size_t start = data + ch * planeBytes;
            const std::size_t there = file.size() > start ? file.size() - start : 0;
            const std::size_t rows = std::min<std::size_t>(there / rowBytes, c.height);
            for (std::size_t i = 0; i < rows * c.width; ++i)
                expected[3 * i + ch] = eight.planes[ch][i];
        }
        Read r = readPsdBytes(file, 24);
        EXPECT_EQ(r.error, c.error) << c.name;
        ASSERT_TRUE(r.image) << c.name;
        EXPECT_TRUE(r.pixels == expected) << c.name;
    }
}

TEST_F(PsdReaderTest, SectionLengthsPastTheFileAreRefusedBeforeAllocating) {
    PsdImage im = image(1, 1, 2, 2);
    Bytes file = psdFile(im);
    const std::size_t resourcesLength = 26 + 4;
    file[resourcesLength] = 0x7F; // about 2 GB of resources in a file of a few bytes
    Read r = readPsdBytes(file, 8);
    EXPECT_EQ(r.error, 3);
    EXPECT_FALSE(r.image);
    int w, h, mode;
    TempFile f(file, ".psd");
    SourceHandle src = openFileSource(f.path().c_str());
    EXPECT_EQ(getPSDInfo(src, &w, &h, &mode, nullptr), 0);
    EXPECT_EQ(getLastError(), 3);
    closeSource(src);

    // A row-count table larger than the file.
    PsdImage tall = image(1, 1, 1, 1, 1);
    tall.height = 1 << 30;
    Read t = readPsdBytes(psdFile(tall), 8);
    EXPECT_EQ(t.error, 3);
}

TEST_F(PsdReaderTest, PackBitsRowsEndingEarlyOrLongAreNotErrors) {
    // Row 0 stops after 2 of 5 pixels; row 1's repeat run is longer than the row.
    PsdImage im = image(1, 1, 5, 2, 0);
    Bytes file = psdFile(im);
    file.resize(file.size() - 10);
    file[file.size() - 1] = 1; // compression: PackBits
    appendU16Be(file, 3);
    appendU16Be(file, 3);
    file.insert(file.end(), {0x01, 9, 8, 0xF8, 6, 0x00});
    static std::string said;
    said.clear();
    img::TraceSink previous = img::setTraceSink([](int, const char* text) { said += text; });
    Read r = readPsdBytes(file, 8);
    img::setTraceSink(previous);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.pixels, (Bytes{9, 8, 0, 0, 0, 6, 6, 6, 6, 6}));
    EXPECT_EQ(said, "RLE Row Size Mismatch in PSD decode [2].\n");
}

TEST_F(PsdReaderTest, ColourReaderTracesTheLayerSection) {
    PsdImage im = image(3, 3, 1, 1);
    im.layers = Bytes(10, 0);
    static std::string said;
    said.clear();
    img::TraceSink previous = img::setTraceSink([](int, const char* text) { said += text; });
    readPsdBytes(psdFile(im), 24);
    img::setTraceSink(previous);
    EXPECT_EQ(said, "read 48. layersLen 10\n");
}

struct Info {
    int result, error, width, height, mode;
    ImgResolution resolution;
};

Info psdInfo(const Bytes& file, bool withResolution = true) {
    Info i{};
    i.resolution = {-1, -1, -1};
    TempFile f(file, ".psd");
    SourceHandle src = openFileSource(f.path().c_str());
    i.result =
        getPSDInfo(src, &i.width, &i.height, &i.mode, withResolution ? &i.resolution : nullptr);
    i.error = getLastError();
    closeSource(src);
    return i;
}

TEST_F(PsdReaderTest, SizeQueryAndResolution) {
    struct Case {
        const char* name;
        Bytes resources;
        int result, error;
        ImgResolution expected;
    } cases[] = {
        {"per inch, vertical per centimetre",
         psdResource(1005, "", psdResolution(72, 1, 72, 2)),
         1,
         0,
         {72, 28, 1}},
        {"per centimetre, vertical per inch",
         psdResource(1005, "", psdResolution(100, 2, 100, 1)),
         1,
         0,
         {100, 254, 2}},
        {"both per inch",
         psdResource(1005, "x", psdResolution(300, 1, 150, 1)),
         1,
         0,
         {300, 150, 1}},
        {"unknown unit", psdResource(1005, "", psdResolution(50, 3, 60, 3)), 1, 0, {50, 60, 0}},
        {"among other resources",
         [] {
             Bytes b = psdResource(1028, "", Bytes(9, 1));
             Bytes r = psdResource(1005, "", psdResolution(96, 1, 96, 1));
             b.insert(b.end(), r.begin(), r.end());
             return b;
         }(),
         1,
         0,
         {96, 96, 1}},
        {"resolution data too short", psdResource(1005, "", Bytes(8, 1)), 1, 0, {-1, -1, -1}},
        {"no resources", {}, 1, 0, {-1, -1, -1}},
        {"resources without a signature", Bytes(12, 'z'), 1, 67, {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        PsdImage im = image(4, 4, 7, 5);
        im.resources = c.resources;
        Info i = psdInfo(psdFile(im));
        EXPECT_EQ(i.result, c.result) << c.name;
        EXPECT_EQ(i.error, c.error) << c.name;
        EXPECT_EQ(i.width, 7);
        EXPECT_EQ(i.height, 5);
        EXPECT_EQ(i.mode, 4);
        EXPECT_EQ(i.resolution.x, c.expected.x) << c.name;
        EXPECT_EQ(i.resolution.y, c.expected.y) << c.name;
        EXPECT_EQ(i.resolution.unit, c.expected.unit) << c.name;
    }
    EXPECT_EQ(psdInfo(psdFile(image(9, 3, 1, 1)), false).result, 1) << "the query reports Lab";

    Bytes cut = psdFile(image(3, 3, 1, 1));
    cut.resize(20);
    Info short_ = psdInfo(cut);
    EXPECT_EQ(short_.result, 0);
    EXPECT_EQ(short_.error, 0) << "a short header fails the query without a code";

    TempFile f(psdFile(image(3, 3, 1, 1)), ".psd");
    SourceHandle src = openFileSource(f.path().c_str());
    int w, h;
    EXPECT_EQ(getPSDInfo(src, &w, &h, nullptr, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    closeSource(src);
}

TEST_F(PsdReaderTest, PaletteQuery) {
    Bytes colourMap(768, 0);
    colourMap[3] = 90;
    struct Case {
        const char* name;
        PsdImage im;
        int result, error, count;
        BYTE red3;
    } cases[] = {
        {"indexed", image(2, 1, 1, 1), 1, 0, 256, 90},   {"grey", image(1, 1, 1, 1), 1, 0, 256, 3},
        {"bitmap", image(0, 1, 1, 1), 1, 0, 256, 0},     {"RGB", image(3, 3, 1, 1), 0, 28, 0, 0},
        {"16-bit grey", image(1, 1, 1, 1), 0, 47, 0, 0},
    };
    cases[0].im.colourModeData = colourMap;
    cases[2].im.depth = 1;
    cases[4].im.depth = 16;
    for (const Case& c : cases) {
        TempFile f(psdFile(c.im), ".psd");
        SourceHandle src = openFileSource(f.path().c_str());
        int count = -1;
        RGBQUAD palette[256];
        std::memset(palette, 0x55, sizeof palette);
        EXPECT_EQ(readPSDPalette(src, &count, palette), c.result) << c.name;
        EXPECT_EQ(getLastError(), c.error) << c.name;
        EXPECT_EQ(count, c.count) << c.name;
        EXPECT_EQ(palette[3].rgbRed, c.red3) << c.name;
        if (c.im.mode == 0) {
            EXPECT_EQ(palette[0].rgbBlue, 255) << "white first";
        }
        seekSource(src, 0, 0);
        EXPECT_EQ(readPSDPalette(src, &count, nullptr), 0);
        EXPECT_EQ(getLastError(), 5) << c.name;
        closeSource(src);
    }

    // A header cut short is a failed read, not a palette-less success.
    Bytes cut = psdFile(image(2, 1, 1, 1));
    cut.resize(20);
    TempFile f(cut, ".psd");
    SourceHandle src = openFileSource(f.path().c_str());
    int count = -1;
    RGBQUAD palette[256];
    EXPECT_EQ(readPSDPalette(src, &count, palette), 0);
    EXPECT_EQ(getLastError(), 3);
    closeSource(src);
}

TEST_F(PsdReaderTest, ArgumentsAndAllocationFailure) {
    TempFile f(psdFile(image(3, 3, 2, 2)), ".psd");
    SourceHandle src = openFileSource(f.path().c_str());
    int w = 0, h = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(readPSD(src, nullptr, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readPSD(src, &w, &h, 8, nullptr, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readPSD(nullptr, &w, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    // The image, then for a DIB the DIB itself.
    for (auto [flags, allocations] : {std::pair{0, 1u}, std::pair{IMG_FLAG_DIB, 2u}}) {
        for (unsigned n = 1; n <= allocations; ++n) {
            seekSource(src, 0, 0);
            winplatFailGlobalAllocAt(n);
            EXPECT_EQ(readPSD(src, &w, &h, 24, palette, flags), nullptr) << flags << " " << n;
            EXPECT_EQ(getLastError(), 1) << flags << " " << n;
            winplatFailGlobalAllocAt(0);
        }
    }
    closeSource(src);
}

TEST_F(PsdReaderTest, EveryPrefixOfAFileFailsCleanly) {
    PsdImage im = image(3, 3, 9, 6, 1);
    im.resources = psdResource(1005, "", psdResolution(72, 1, 72, 1));
    im.layers = Bytes(6, 0);
    const Bytes file = psdFile(im);
    const std::size_t resourcesEnd = 26 + 4 + 4 + im.resources.size();
    // The image exists once the row table (3 channels x 6 rows) is read.
    const std::size_t imageData = resourcesEnd + 4 + 6 + 2 + 3 * 6 * 2;
    for (std::size_t n = 0; n < file.size(); ++n) {
        const Bytes prefix(file.begin(), file.begin() + n);
        for (int flags : {0, IMG_FLAG_DIB}) {
            Read r = readPsdBytes(prefix, 24, flags);
            const int error = n < 6 ? 46 : 3;
            ASSERT_EQ(r.error, error) << "prefix " << n << " flags " << flags;
            ASSERT_EQ(r.image, n >= imageData) << "prefix " << n << " flags " << flags;
        }
        Info i = psdInfo(prefix);
        ASSERT_EQ(i.result, n >= resourcesEnd ? 1 : 0) << n;
        ASSERT_EQ(i.error, n < 6 ? 46 : n < 26 ? 0 : n < resourcesEnd ? 3 : 0) << n;
    }
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The file and copies of it cut in the header, the sections and all through the image data,
// read in every output form with fresh heap blocks filled two ways: what the reader did not
// write itself would show as a difference. Under the address sanitizer, which keeps its own
// heap, the reads of cut files still run.
void expectNoHeapBytesInOutput(const Bytes& file, const std::string& name) {
    std::vector<std::size_t> lengths = {file.size(), 10, 30, file.size() - 1};
    for (int eighth = 1; eighth < 8; ++eighth)
        lengths.push_back(file.size() * eighth / 8);
    for (std::size_t n : lengths) {
        TempFile f(Bytes(file.begin(), file.begin() + std::min(n, file.size())), ".psd");
        for (const auto& [depth, flagBits] : {std::pair{8, 0},
                                              {24, 0},
                                              {32, 0},
                                              {32, 4},
                                              {8, IMG_FLAG_DIB},
                                              {32, IMG_FLAG_DIB | 4}}) {
            // Plain copies: a lambda may not capture structured bindings in C++17.
            const int bits = depth, flags = flagBits;
            const auto [first, second] =
                underTwoFills([&] { return readPsdPath(f.path(), bits, flags); });
            ASSERT_TRUE(first == second)
                << name << " cut to " << n << " at " << bits << " flags " << flags;
        }
    }
}

TEST_F(PsdReaderTest, OutputNeverHoldsHeapBytes) {
    struct Case {
        const char* name;
        PsdImage im;
    };
    std::vector<Case> cases = {
        {"RGB raw", image(3, 3, 9, 5)},
        {"RGB PackBits", image(3, 3, 9, 5, 1)},
        {"RGBA raw", image(3, 4, 6, 4)},
        {"CMYK raw", image(4, 4, 5, 3)},
        {"CMYK PackBits", image(4, 4, 5, 3, 1)},
        {"grey raw", image(1, 1, 7, 6)},
        {"indexed PackBits", image(2, 1, 7, 6, 1)},
        // Rows wider than the pieces raw planes are read in, cut inside a row.
        {"wide RGB raw", image(3, 3, 70001, 2)},
        {"wide grey raw", image(1, 2, 70001, 3)},
    };
    PsdImage wideRgb16 = image(3, 3, 40000, 2);
    wideRgb16.depth = 16;
    for (Bytes& p : wideRgb16.planes)
        p = widen(p);
    cases.push_back({"wide RGB 16-bit raw", wideRgb16});
    for (int compression : {0, 1}) {
        PsdImage bitmap = image(0, 1, 21, 4, compression);
        bitmap.depth = 1;
        bitmap.planes = {plane(3 * 4, 5)};
        cases.push_back({compression == 0 ? "bitmap raw" : "bitmap PackBits", bitmap});
    }
    for (const Case& c : cases)
        expectNoHeapBytesInOutput(psdFile(c.im), c.name);

    const std::string root = suiteFile("samples/psd");
    if (root.empty()) return;
    for (const std::string& path : suiteFiles("samples/psd"))
        if (path.size() > 4 && path.substr(path.size() - 4) == ".psd")
            expectNoHeapBytesInOutput(fileBytes(path), path.substr(root.size() + 1));
}

// The public samples: every file reads without harm, each with the code this reader gives.
TEST_F(PsdReaderTest, PublicSamples) {
    const std::string root = suiteFile("samples/psd");
    if (root.empty()) GTEST_SKIP() << "samples not present";
    const std::map<std::string, int> notRead = {
        // Layer section longer than the file.
        {"pillow/combined_larger_than_size.psd", 3},
        // 32 bits per channel, Lab and multichannel are not read.
        {"psd-tools/32bit5x5.psd", 47},
        {"psd-tools/colormodes/4x4_32bit_grayscale.psd", 47},
        {"psd-tools/colormodes/4x4_32bit_rgb.psd", 47},
        {"psd-tools/colormodes/4x4_16bit_lab.psd", 47},
        {"psd-tools/colormodes/4x4_8bit_lab.psd", 47},
        {"psd-tools/colormodes/4x4_16bit_multichannel.psd", 47},
    };
    int read = 0;
    for (const std::string& path : suiteFiles("samples/psd")) {
        if (path.size() < 4 || path.substr(path.size() - 4) != ".psd") continue;
        const std::string name = path.substr(root.size() + 1);
        const Bytes file = fileBytes(path);
        auto found = notRead.find(name);
        Read r = readPsdBytes(file, 24);
        EXPECT_EQ(r.error, found != notRead.end() ? found->second : 0) << name;
        for (int flags : {IMG_FLAG_DIB, IMG_FLAG_DIB | 4})
            readPsdBytes(file, 8, flags);
        Info i = psdInfo(file);
        EXPECT_EQ(i.result, 1) << name;
        if (r.error == 0) ++read;
    }
    EXPECT_EQ(read, 24);

    // The colour-mode samples are one picture saved in several modes.
    auto rgb = [&](const char* name) {
        return readPsdBytes(fileBytes(root + "/psd-tools/colormodes/" + name), 24).pixels;
    };
    const Bytes reference = rgb("4x4_8bit_rgb.psd");
    ASSERT_EQ(reference.size(), 48u);
    for (const char* other :
         {"4x4_16bit_rgb.psd", "4x4_8bit_rgba.psd", "4x4_8bit_index_color.psd"}) {
        const Bytes pixels = rgb(other);
        ASSERT_EQ(pixels.size(), reference.size()) << other;
        for (std::size_t k = 0; k < pixels.size(); ++k)
            EXPECT_NEAR(pixels[k], reference[k], 1) << other << " byte " << k;
    }
    EXPECT_EQ(readPsdBytes(fileBytes(root + "/pillow/hopper.psd"), 24).pixels,
              readPsdBytes(fileBytes(root + "/pillow/hopper_merged.psd"), 24).pixels);

    Info i = psdInfo(fileBytes(root + "/psd-tools/colormodes/4x4_8bit_rgb.psd"));
    EXPECT_EQ(i.resolution.x, 72);
    EXPECT_EQ(i.resolution.y, 72);
    EXPECT_EQ(i.resolution.unit, 1);
}

} // namespace
