#include "PcxReader.h"
#include "ImageReads.h"
#include "LeakCheck.h"
#include "PcxWriter.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::pcxBitPlanes;
using testing_support::PcxSpec;
using testing_support::suiteFile;
using testing_support::suiteFiles;
using testing_support::TempFile;
using testing_support::writePcx;

namespace {

using Decoded = testing_support::CopiedRead;

Decoded readPath(const std::string& path, int bits, int flags = 0) {
    return testing_support::readCopied(path, 0, [&](SourceHandle src, Decoded& d) {
        return readPCX(src, &d.width, &d.height, bits, d.palette.data(), flags);
    });
}

Decoded readBytes(const Bytes& file, int bits, int flags = 0) {
    TempFile f(file, ".pcx");
    return readPath(f.path(), bits, flags);
}

Bytes tail(const Bytes& data, std::size_t from) {
    return Bytes(data.begin() + from, data.end());
}

RGBQUAD entry(BYTE red, BYTE green, BYTE blue) {
    return {blue, green, red, 0};
}

bool same(const RGBQUAD& a, const RGBQUAD& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Sixteen colours in the header: entry i is (16 i, 255 - i, i).
PcxSpec sixteenColours(const std::vector<int>& pixels) {
    PcxSpec s;
    s.bitsPerPlane = 1;
    s.planes = 4;
    s.width = static_cast<int>(pixels.size());
    s.height = 1;
    for (int i = 0; i < 16; ++i) {
        s.egaPalette[3 * i] = static_cast<std::uint8_t>(16 * i);
        s.egaPalette[3 * i + 1] = static_cast<std::uint8_t>(255 - i);
        s.egaPalette[3 * i + 2] = static_cast<std::uint8_t>(i);
    }
    s.lines = {pcxBitPlanes(pixels, 4, testing_support::pcxBytesPerLine(s))};
    return s;
}

PcxSpec vga(int width, int height, const Bytes& pixels, bool palette = true) {
    PcxSpec s;
    s.width = width;
    s.height = height;
    const int stride = testing_support::pcxBytesPerLine(s);
    for (int y = 0; y < height; ++y) {
        Bytes line(pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
        line.resize(stride, 0);
        s.lines.push_back(line);
    }
    if (palette) {
        for (int i = 0; i < 256; ++i)
            s.vgaPalette.insert(s.vgaPalette.end(),
                                {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 2),
                                 static_cast<std::uint8_t>(255 - i)});
    }
    return s;
}

class PcxReaderTest : public LeakCheckedTest {};

} // namespace

TEST_F(PcxReaderTest, OneBitRowsAndTheirBlackAndWhitePalette) {
    PcxSpec s;
    s.bitsPerPlane = 1;
    s.width = 10;
    s.height = 2;
    s.egaPalette.fill(0x5A); // not used for one bit
    s.lines = {{0xC0, 0x40}, {0x3F, 0xFF}};
    const Bytes file = writePcx(s);

    const Decoded raw = readBytes(file, 1);
    EXPECT_EQ(raw.error, 0);
    EXPECT_EQ(raw.width, 10);
    EXPECT_EQ(raw.height, 2);
    EXPECT_EQ(raw.data, (Bytes{0xC0, 0x40, 0x3F, 0xFF}));
    EXPECT_TRUE(same(raw.palette[0], entry(0, 0, 0)));
    EXPECT_TRUE(same(raw.palette[1], entry(255, 255, 255)));
    EXPECT_TRUE(same(raw.palette[255], raw.palette[0]));

    const Decoded indices = readBytes(file, 8);
    EXPECT_EQ(indices.error, 0);
    EXPECT_EQ(indices.data, (Bytes{1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1}));

    const Decoded dib = readBytes(file, 0, IMG_FLAG_DIB);
    EXPECT_EQ(dib.error, 0);
    ASSERT_EQ(dib.data.size(), 48u + 8);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data.data(), sizeof h);
    EXPECT_EQ(h.biBitCount, 1);
    EXPECT_EQ(h.biClrUsed, 2u);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(h.biSizeImage, 8u);
    EXPECT_EQ(tail(dib.data, 40), (Bytes{0, 0, 0, 0, 255, 255, 255, 0, //
                                         0x3F, 0xFF, 0, 0, 0xC0, 0x40, 0, 0}));
}

TEST_F(PcxReaderTest, SixteenColourPlanesGiveIndicesAndTheHeaderPalette) {
    std::vector<int> pixels;
    for (int i = 0; i < 16; ++i)
        pixels.push_back((i * 7) % 16);
    pixels.resize(19, 15); // three pixels into a third byte
    const Bytes file = writePcx(sixteenColours(pixels));

    const Decoded indexed = readBytes(file, 8);
    EXPECT_EQ(indexed.error, 0);
    EXPECT_EQ(indexed.data, Bytes(pixels.begin(), pixels.end()));
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(same(indexed.palette[i], entry(16 * i, 255 - i, i))) << i;
    for (int i = 16; i < 256; ++i)
        EXPECT_TRUE(same(indexed.palette[i], indexed.palette[0])) << i;

    // Colours reach the last pixels of a row whose width is not a multiple of eight.
    const Decoded rgb = readBytes(file, 24);
    EXPECT_EQ(rgb.error, 0);
    Bytes expected;
    for (int p : pixels)
        expected.insert(expected.end(), {BYTE(16 * p), BYTE(255 - p), BYTE(p)});
    EXPECT_EQ(rgb.data, expected);
}

TEST_F(PcxReaderTest, ThreePlanesOfEightBitsAreRedGreenBlue) {
    PcxSpec s;
    s.planes = 3;
    s.width = 2;
    s.height = 2;
    s.lines = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}; // per row: reds, greens, blues
    const Bytes file = writePcx(s);

    const Decoded raw = readBytes(file, 24);
    EXPECT_EQ(raw.error, 0);
    EXPECT_EQ(raw.data, (Bytes{1, 3, 5, 2, 4, 6, 7, 9, 11, 8, 10, 12}));

    const Decoded dib = readBytes(file, 8, IMG_FLAG_DIB);
    EXPECT_EQ(dib.error, 0);
    BITMAPINFOHEADER h;
    ASSERT_GE(dib.data.size(), sizeof h);
    std::memcpy(&h, dib.data.data(), sizeof h);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(tail(dib.data, 40), (Bytes{11, 9, 7, 12, 10, 8, 0, 0, 5, 3, 1, 6, 4, 2, 0, 0}));
}

TEST_F(PcxReaderTest, EightBitFilesAndTheirPalettes) {
    const Bytes pixels = {0, 1, 200, 255, 7, 7};
    const Bytes withPalette = writePcx(vga(3, 2, pixels));

    const Decoded indexed = readBytes(withPalette, 8);
    EXPECT_EQ(indexed.error, 0);
    EXPECT_EQ(indexed.data, pixels);
    EXPECT_TRUE(same(indexed.palette[200], entry(200, 100, 55)));

    const Decoded rgb = readBytes(withPalette, 24);
    EXPECT_EQ(rgb.error, 0);
    EXPECT_EQ(Bytes(rgb.data.begin() + 6, rgb.data.begin() + 9), (Bytes{200, 100, 55}));

    const Decoded dib = readBytes(withPalette, 24, IMG_FLAG_DIB);
    EXPECT_EQ(dib.error, 0);
    ASSERT_EQ(dib.data.size(), 1064u + 8);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data.data(), sizeof h);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biClrUsed, 256u);
    RGBQUAD second;
    std::memcpy(&second, &dib.data[44], 4);
    EXPECT_TRUE(same(second, entry(1, 0, 254)));
    EXPECT_EQ(tail(dib.data, 1064), (Bytes{255, 7, 7, 0, 0, 1, 200, 0}));

    // Without the marker 12 in front of the last 768 bytes the palette is a grey ramp.
    const Decoded grey = readBytes(writePcx(vga(3, 2, pixels, false)), 8);
    EXPECT_EQ(grey.error, 0);
    EXPECT_EQ(grey.data, pixels);
    EXPECT_TRUE(same(grey.palette[200], entry(200, 200, 200)));
}

TEST_F(PcxReaderTest, FourBitPixelsInOnePlane) {
    PcxSpec s;
    s.bitsPerPlane = 4;
    s.width = 3;
    s.egaPalette[3 * 9] = 90;
    s.lines = {{0x9A, 0xF0}};
    const Decoded d = readBytes(writePcx(s), 8);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.data, (Bytes{9, 10, 15}));
    EXPECT_TRUE(same(d.palette[9], entry(90, 0, 0)));
}

TEST_F(PcxReaderTest, RunsAreCutAtTheLineEnd) {
    struct Case {
        const char* what;
        Bytes coded;
        Bytes expected;
    };
    const Case cases[] = {
        {"a count of zero writes nothing", {0xC0, 0x99, 0xC2, 7, 0xC2, 8}, {7, 7, 8, 8}},
        {"a long run does not carry over", {0xC3, 5, 0xC2, 6}, {5, 5, 6, 6}},
        {"plain bytes", {1, 2, 3, 4}, {1, 2, 3, 4}},
        {"missing data is zero", {0xC1, 9}, {9, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        PcxSpec s = vga(2, 2, Bytes(4, 0), false);
        s.coded = c.coded;
        const Decoded d = readBytes(writePcx(s), 8);
        EXPECT_EQ(d.error, 0) << c.what;
        EXPECT_EQ(d.data, c.expected) << c.what;
    }
}

TEST_F(PcxReaderTest, AHeaderAloneWithLongLinesReadsAsZeros) {
    // 65535 lines of 65535 bytes from a file that ends after its header: the lines are zeros
    // without a read for every byte of them.
    PcxSpec s;
    s.width = 1;
    s.height = 65535;
    s.bytesPerLine = 65535;
    s.coded = {0xC1, 0x2A};
    const Decoded d = readBytes(writePcx(s), 8);
    EXPECT_EQ(d.error, 0);
    ASSERT_EQ(d.data.size(), 65535u);
    EXPECT_EQ(d.data[0], 0x2A);
    EXPECT_EQ(std::count(d.data.begin(), d.data.end(), 0), 65534);
}

TEST_F(PcxReaderTest, RefusalsSetTheirCodes) {
    struct Case {
        const char* what;
        Bytes file;
        int bits;
        int flags;
        int error;
        bool returned;
    };
    const auto with = [](auto change) {
        PcxSpec s;
        s.width = 4;
        s.height = 2;
        s.lines = {Bytes(4, 1), Bytes(4, 2)};
        change(s);
        return writePcx(s);
    };
    const Case cases[] = {
        {"24 bits asked at 8", with([](PcxSpec& s) { s.planes = 3; }), 8, 0, 28, false},
        {"32 bits asked at 24", with([](PcxSpec& s) { s.planes = 4; }), 24, 0, 28, false},
        {"16 bits asked", with([](PcxSpec& s) { s.bitsPerPlane = 1; }), 16, 0, 5, false},
        {"version 4", with([](PcxSpec& s) { s.version = 4; }), 8, 0, 22, false},
        {"not ZSoft", with([](PcxSpec& s) { s.manufacturer = 11; }), 8, 0, 22, false},
        {"no planes", with([](PcxSpec& s) { s.planes = 0; }), 24, 0, 22, false},
        {"depth above 32", with([](PcxSpec& s) { s.planes = 5; }), 24, 0, 22, false},
        {"zero width", with([](PcxSpec& s) { s.width = 0; }), 8, 0, 22, false},
        {"short header", Bytes(100, 10), 8, 0, 22, false},
        {"lines shorter than the width", with([](PcxSpec& s) { s.bytesPerLine = 3; }), 8, 0, 22,
         false},
        {"two bits a pixel", with([](PcxSpec& s) { s.bitsPerPlane = 2; }), 8, 0, 17, false},
        {"two 1-bit planes", with([](PcxSpec& s) {
             s.bitsPerPlane = 1;
             s.planes = 2;
         }),
         8, 0, 17, false},
        {"three 1-bit planes", with([](PcxSpec& s) {
             s.bitsPerPlane = 1;
             s.planes = 3;
         }),
         24, 0, 17, false},
        {"two 8-bit planes", with([](PcxSpec& s) { s.planes = 2; }), 24, 0, 17, false},
        {"four 8-bit planes as DIB", with([](PcxSpec& s) { s.planes = 4; }), 8, IMG_FLAG_DIB, 17,
         false},
        {"sixteen colours as DIB", with([](PcxSpec& s) {
             s.bitsPerPlane = 1;
             s.planes = 4;
         }),
         8, IMG_FLAG_DIB, 17, false},
        {"too large for a block", with([](PcxSpec& s) {
             s.width = s.height = 65535;
             s.bytesPerLine = 65535;
         }),
         24, 0, 1, false},
    };
    for (const Case& c : cases) {
        const Decoded d = readBytes(c.file, c.bits, c.flags);
        EXPECT_EQ(d.error, c.error) << c.what;
        EXPECT_EQ(d.returned, c.returned) << c.what;
    }
}

TEST_F(PcxReaderTest, ArgumentsAndMemoryFailures) {
    TempFile file(writePcx(vga(2, 2, Bytes(4, 3))), ".pcx");
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    int w = 0, h = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(readPCX(nullptr, &w, &h, 8, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readPCX(src, &w, nullptr, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readPCX(src, &w, &h, 8, nullptr, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getPCXInfo(src, &w, &h, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readPCXPalette(src, nullptr, palette), 0);
    EXPECT_EQ(getLastError(), 5);

    // The decoder's record and the image are both global blocks.
    for (unsigned failing : {1u, 2u}) {
        winplatFailGlobalAllocAt(failing);
        EXPECT_EQ(readPCX(src, &w, &h, 8, palette, 0), nullptr) << failing;
        EXPECT_EQ(getLastError(), 1) << failing;
    }
    winplatFailGlobalAllocAt(0);
    BYTE* image = readPCX(src, &w, &h, 8, nullptr, IMG_FLAG_DIB);
    EXPECT_NE(image, nullptr) << "a DIB keeps its palette to itself";
    GlobalFree(image);
    closeSource(src);
}

TEST_F(PcxReaderTest, InfoQueryAndItsResolution) {
    PcxSpec s = sixteenColours({1, 2, 3});
    s.xMin = 100;
    s.yMin = 7;
    s.hRes = -300;
    s.vRes = 150;
    TempFile file(writePcx(s), ".pcx");
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    int w = 0, h = 0, depth = 0;
    EXPECT_EQ(getPCXInfo(src, &w, &h, &depth), 1);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(depth, 4);

    img::CImgIO io(static_cast<img::SourceRecord*>(src));
    img::PcxReader reader(io);
    ImgResolution res{};
    EXPECT_EQ(reader.getInfo(&w, &h, &depth, &res), 1);
    EXPECT_EQ(res.x, -300);
    EXPECT_EQ(res.y, 150);
    EXPECT_EQ(res.unit, 0);
    closeSource(src);

    TempFile bad(Bytes(128, 0), ".pcx");
    src = openFileSource(bad.path().c_str());
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(getPCXInfo(src, &w, &h, &depth), 0);
    EXPECT_EQ(getLastError(), 22);
    closeSource(src);
}

TEST_F(PcxReaderTest, PaletteQuery) {
    struct Case {
        const char* what;
        Bytes file;
        int result;
        int error;
        RGBQUAD entry9;
    };
    PcxSpec truecolour = vga(1, 1, {0}, false);
    truecolour.planes = 3;
    const Case cases[] = {
        {"256 colours", writePcx(vga(1, 1, {0})), 1, 0, entry(9, 4, 246)},
        {"no marker", writePcx(vga(1, 1, {0}, false)), 1, 0, entry(9, 9, 9)},
        {"sixteen colours", writePcx(sixteenColours({0})), 1, 0, entry(144, 246, 9)},
        {"24 bits", writePcx(truecolour), 0, 28, {}},
        {"bad header", Bytes(128, 0), 0, 22, {}},
    };
    for (const Case& c : cases) {
        TempFile file(c.file, ".pcx");
        SourceHandle src = openFileSource(file.path().c_str());
        ASSERT_NE(src, nullptr);
        int count = -1;
        RGBQUAD palette[256] = {};
        EXPECT_EQ(readPCXPalette(src, &count, palette), c.result) << c.what;
        EXPECT_EQ(getLastError(), c.error) << c.what;
        closeSource(src);
        if (c.result == 0) continue;
        EXPECT_EQ(count, 256) << c.what;
        EXPECT_TRUE(same(palette[9], c.entry9)) << c.what;
    }
}

TEST_F(PcxReaderTest, EveryPrefixOfAFileGivesItsCode) {
    std::vector<int> pixels;
    for (int i = 0; i < 21; ++i)
        pixels.push_back(i % 16);
    PcxSpec planar = sixteenColours(pixels);
    planar.height = 3;
    planar.lines.resize(3, planar.lines[0]);
    Bytes values;
    for (int i = 0; i < 60; ++i)
        values.push_back(static_cast<BYTE>(i / 7));
    const struct {
        const char* what;
        Bytes file;
        int bits;
    } files[] = {
        {"sixteen colours", writePcx(planar), 24},
        {"256 colours", writePcx(vga(12, 5, values)), 8},
    };
    for (const auto& f : files) {
        // Cut lines read as zeros, so only a cut header is an error.
        for (std::size_t n = 0; n < f.file.size(); ++n) {
            const Decoded d = readBytes(Bytes(f.file.begin(), f.file.begin() + n), f.bits);
            EXPECT_EQ(d.error, n < 128 ? 22 : 0) << f.what << " cut at " << n;
            EXPECT_EQ(d.returned, n >= 128) << f.what << " cut at " << n;
        }
    }
}

TEST_F(PcxReaderTest, PublicSamplesReadWithoutFaults) {
    struct Expectation {
        const char* name;
        int error; // at every depth it can be read at
    };
    // 01r_00 declares 12 bytes a line for 88 pixels of 8 bits; the CGA files have two bits a
    // pixel and animals three 1-bit planes, which the row decoder does not expand; the fuzzed
    // file has no bytes per line at all.
    const Expectation refused[] = {
        {"01r_00.pcx", 22},   {"ossfuzz-4836216264589312.pcx", 22},
        {"CGA_FSD.PCX", 17},  {"CGA_RGBI.PCX", 17},
        {"CGA_TST1.PCX", 17}, {"animals.pcx", 17},
    };
    const std::vector<std::string> files = suiteFiles("samples/pcx");
    if (files.empty()) GTEST_SKIP() << "public suites not present";
    int images = 0;
    for (const std::string& path : files) {
        const std::string name = path.substr(path.rfind('/') + 1);
        if (name.size() < 4 || (name.compare(name.size() - 4, 4, ".pcx") != 0 &&
                                name.compare(name.size() - 4, 4, ".PCX") != 0))
            continue;
        ++images;
        int refusal = 0;
        for (const Expectation& e : refused)
            if (name == e.name) refusal = e.error;
        for (const auto& [bits, flags] : {std::pair{24, 0}, {8, 0}, {1, 0}, {24, IMG_FLAG_DIB}}) {
            const Decoded d = readPath(path, bits, flags);
            EXPECT_EQ(d.returned, d.error == 0) << name;
            // Depth 1 only for 1-bit files, depth 8 not for 24-bit ones.
            if (d.error == 28) {
                EXPECT_NE(bits, 24) << name;
                continue;
            }
            if (refusal != 0) {
                EXPECT_EQ(d.error, refusal) << name;
                continue;
            }
            // Sixteen colours have no packed DIB of four bits.
            if (d.error == 17) {
                EXPECT_EQ(flags, IMG_FLAG_DIB) << name;
                continue;
            }
            EXPECT_EQ(d.error, 0) << name << " at " << bits << " flags " << flags;
        }
    }
    EXPECT_EQ(images, 14);
}

TEST_F(PcxReaderTest, PublicSamplePixels) {
    if (suiteFile("samples/pcx").empty()) GTEST_SKIP() << "public suites not present";
    // One pixel in four 1-bit planes: bits 0 and 1 set, colour 3 of the header is red.
    const std::string fourPlanes = suiteFile("samples/pcx/pillow/p_4_planes.pcx");
    EXPECT_EQ(readPath(fourPlanes, 8).data, (Bytes{3}));
    EXPECT_EQ(readPath(fourPlanes, 24).data, (Bytes{255, 0, 0}));

    // 371 pixels a line: the odd line length carries no padding byte.
    const Decoded odd = readPath(suiteFile("samples/pcx/pillow/odd_stride.pcx"), 8);
    EXPECT_EQ(odd.error, 0);
    EXPECT_EQ(odd.width, 371);
    EXPECT_EQ(odd.data.size(), 371u * 150);
}
