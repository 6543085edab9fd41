#include "FileBytes.h"
#include "HeapWatch.h"
#include "ImageReads.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "TgaWriter.h"
#include "Trace.h"
#include "imgcore.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::readWholeFile;
using testing_support::suiteFile;
using testing_support::suiteFiles;
using testing_support::TempFile;
using testing_support::tgaPackets;
using testing_support::TgaSpec;
using testing_support::underTwoFills;
using testing_support::writeTga;

namespace {

using Decoded = testing_support::CopiedRead;

Decoded readPath(const std::string& path, int bits, int flags = 0) {
    return testing_support::readCopied(path, 0, [&](SourceHandle src, Decoded& d) {
        return readTGA(src, &d.width, &d.height, bits, d.palette.data(), flags);
    });
}

Decoded readBytes(const Bytes& file, int bits, int flags = 0) {
    TempFile f(file, ".tga");
    return readPath(f.path(), bits, flags);
}

bool samePalette(const Decoded& a, const Decoded& b) {
    return std::memcmp(a.palette.data(), b.palette.data(), sizeof a.palette) == 0;
}

bool sameRead(const Decoded& a, const Decoded& b) {
    return a.returned == b.returned && a.data == b.data && a.width == b.width &&
           a.height == b.height && a.error == b.error && samePalette(a, b);
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes repeat(const Bytes& value, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i)
        out.insert(out.end(), value.begin(), value.end());
    return out;
}

TgaSpec trueColour(int width, int height, int depth, Bytes pixels) {
    TgaSpec s;
    s.imageType = 2;
    s.width = width;
    s.height = height;
    s.pixelDepth = depth;
    s.pixels = std::move(pixels);
    s.footer = true;
    return s;
}

TgaSpec colourMapped(int width, int height, int entryBits, int entries, Bytes map, Bytes pixels) {
    TgaSpec s = trueColour(width, height, 8, std::move(pixels));
    s.imageType = 1;
    s.colourMap = true;
    s.mapEntryBits = entryBits;
    s.mapLength = entries;
    s.map = std::move(map);
    return s;
}

std::vector<std::string> g_traces;
void collectTrace(int, const char* text) {
    g_traces.push_back(text);
}

class TgaReaderTest : public LeakCheckedTest {};

} // namespace

TEST_F(TgaReaderTest, PixelValuesDecodeToRedGreenBlueAlpha) {
    struct Case {
        const char* what;
        TgaSpec layout;
        int bits;
        Bytes expected;
    };
    const Bytes map24 = {10, 20, 30, 40, 50, 60};
    const Case cases[] = {
        {"16-bit 0x7FFF", trueColour(1, 1, 16, {0xFF, 0x7F}), 32, {248, 248, 248, 255}},
        {"15-bit blue", trueColour(1, 1, 15, {0x1F, 0x00}), 24, {0, 0, 248}},
        {"bit 15 is not alpha", trueColour(1, 1, 16, {0x00, 0x80}), 32, {0, 0, 0, 255}},
        {"24-bit", trueColour(1, 1, 24, {1, 2, 3}), 32, {3, 2, 1, 255}},
        {"32-bit keeps alpha", trueColour(1, 1, 32, {1, 2, 3, 4}), 32, {3, 2, 1, 4}},
        {"32-bit at 24 drops alpha", trueColour(1, 1, 32, {1, 2, 3, 4}), 24, {3, 2, 1}},
        {"grey",
         [] {
             TgaSpec s = trueColour(1, 1, 8, {77});
             s.imageType = 3;
             return s;
         }(),
         24,
         {77, 77, 77}},
        {"24-bit map at 32 is opaque",
         colourMapped(1, 1, 24, 2, map24, {1}),
         32,
         {60, 50, 40, 255}},
        {"16-bit map", colourMapped(1, 1, 16, 1, {0xFF, 0x7F}, {0}), 24, {248, 248, 248}},
        {"32-bit map keeps alpha", colourMapped(1, 1, 32, 1, {1, 2, 3, 9}, {0}), 32, {3, 2, 1, 9}},
        {"true colour ignores a map",
         [&] {
             TgaSpec s = colourMapped(1, 1, 24, 2, map24, {5, 6, 7});
             s.imageType = 2;
             s.pixelDepth = 24;
             return s;
         }(),
         24,
         {7, 6, 5}},
    };
    for (const Case& c : cases) {
        const Decoded d = readBytes(writeTga(c.layout), c.bits);
        EXPECT_EQ(d.error, 0) << c.what;
        EXPECT_EQ(d.data, c.expected) << c.what;
    }
}

TEST_F(TgaReaderTest, BottomUpAndTopDownTwinsGiveTheSameImage) {
    // Three by two, top row first: red-ish, green-ish, blue-ish over three greys.
    const Bytes top = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Bytes bottom = {10, 10, 10, 20, 20, 20, 30, 30, 30};
    const Bytes expectedBuffer = {3, 2, 1, 6, 5, 4, 9, 8, 7, 10, 10, 10, 20, 20, 20, 30, 30, 30};
    // The DIB starts at its bottom row, blue first, rows padded to 12 bytes.
    const Bytes expectedDib = {10, 10, 10, 20, 20, 20, 30, 30, 30, 0, 0, 0,
                               1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0};
    for (const bool topFirst : {false, true}) {
        TgaSpec s = trueColour(3, 2, 24, topFirst ? concat({top, bottom}) : concat({bottom, top}));
        s.descriptor = topFirst ? 0x20 : 0;
        const Bytes file = writeTga(s);
        const Decoded buffer = readBytes(file, 24);
        EXPECT_EQ(buffer.error, 0);
        EXPECT_EQ(buffer.data, expectedBuffer) << "top first " << topFirst;

        const Decoded dib = readBytes(file, 8, IMG_FLAG_DIB);
        EXPECT_EQ(dib.error, 0);
        ASSERT_EQ(dib.data.size(), 40u + expectedDib.size());
        EXPECT_EQ(Bytes(dib.data.begin() + 40, dib.data.end()), expectedDib)
            << "top first " << topFirst;
    }
}

TEST_F(TgaReaderTest, RunLengthImagesEqualTheirRawTwins) {
    struct Case {
        const char* what;
        int rawType;
        int depth;
        int bits;
        Bytes values; // four by three, bottom row first
    };
    // Runs that start in one row and end in the next, and raw stretches between them.
    const Case cases[] = {
        {"true colour", 2, 24, 24,
         concat({{1, 2, 3}, repeat({9, 9, 9}, 6), {4, 5, 6, 7, 8, 9}, repeat({0, 0, 0}, 3)})},
        {"32-bit", 2, 32, 32, concat({repeat({1, 2, 3, 4}, 5), repeat({5, 6, 7, 8}, 7)})},
        {"greyscale", 3, 8, 24, {0, 1, 1, 1, 1, 1, 1, 2, 3, 3, 3, 3}},
        {"colour-mapped", 1, 8, 8, {2, 2, 2, 2, 2, 1, 0, 1, 0, 0, 0, 0}},
    };
    const Bytes map = {0, 0, 255, 0, 255, 0, 255, 0, 0};
    for (const Case& c : cases) {
        TgaSpec raw = trueColour(4, 3, c.depth, c.values);
        raw.imageType = c.rawType;
        if (c.rawType == 1) {
            raw.colourMap = true;
            raw.mapLength = 3;
            raw.map = map;
        }
        TgaSpec coded = raw;
        coded.imageType = c.rawType + 8;
        coded.pixels = tgaPackets(c.values, c.depth / 8);
        ASSERT_LT(coded.pixels.size(), raw.pixels.size()) << c.what;

        const Decoded expected = readBytes(writeTga(raw), c.bits);
        const Decoded actual = readBytes(writeTga(coded), c.bits);
        EXPECT_EQ(expected.error, 0) << c.what;
        EXPECT_EQ(actual.error, 0) << c.what;
        EXPECT_EQ(actual.data, expected.data) << c.what;
        EXPECT_TRUE(samePalette(actual, expected)) << c.what;
    }
}

TEST_F(TgaReaderTest, IndexedReadsGiveValuesAndTheirPalette) {
    const Bytes map = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const Decoded mapped = readBytes(writeTga(colourMapped(2, 1, 24, 3, map, {2, 0})), 8);
    EXPECT_EQ(mapped.error, 0);
    EXPECT_EQ(mapped.data, (Bytes{2, 0}));
    EXPECT_EQ(mapped.width, 2);
    EXPECT_EQ(mapped.height, 1);
    EXPECT_EQ(mapped.palette[2].rgbBlue, 70);
    EXPECT_EQ(mapped.palette[2].rgbRed, 90);
    EXPECT_EQ(mapped.palette[2].rgbReserved, 255) << "the entry's alpha";
    EXPECT_EQ(mapped.palette[3].rgbRed, 0) << "entries past the map stay clear";

    TgaSpec grey = trueColour(2, 1, 8, {200, 7});
    grey.imageType = 3;
    const Decoded ramp = readBytes(writeTga(grey), 8);
    EXPECT_EQ(ramp.error, 0);
    EXPECT_EQ(ramp.data, (Bytes{200, 7}));
    for (int i : {0, 7, 200, 255}) {
        EXPECT_EQ(ramp.palette[i].rgbGreen, i);
        EXPECT_EQ(ramp.palette[i].rgbReserved, 255);
    }
}

TEST_F(TgaReaderTest, PackedDibsCarryTheirHeaderPaletteAndPaddedRows) {
    struct Case {
        const char* what;
        TgaSpec layout;
        int bitCount;
        DWORD coloursUsed;
        Bytes pixelsAfterTable; // bottom row first
    };
    const Case cases[] = {
        {"8-bit from a map",
         colourMapped(3, 1, 32, 2, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 0, 1}),
         8,
         256,
         {1, 0, 1, 0}},
        {"16-bit becomes 24", trueColour(1, 1, 16, {0xFF, 0x7F}), 24, 0, {248, 248, 248, 0}},
        {"32-bit stays 32", trueColour(1, 1, 32, {1, 2, 3, 4}), 32, 0, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        const Decoded d = readBytes(writeTga(c.layout), 24, IMG_FLAG_DIB);
        EXPECT_EQ(d.error, 0) << c.what;
        ASSERT_GE(d.data.size(), 40u) << c.what;
        BITMAPINFOHEADER h;
        std::memcpy(&h, d.data.data(), sizeof h);
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, c.layout.width);
        EXPECT_EQ(h.biHeight, c.layout.height);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, c.bitCount) << c.what;
        EXPECT_EQ(h.biCompression, 0u);
        EXPECT_EQ(h.biSizeImage, c.pixelsAfterTable.size());
        EXPECT_EQ(h.biClrUsed, c.coloursUsed) << c.what;
        EXPECT_EQ(h.biClrImportant, 0u);
        EXPECT_EQ(d.width, c.layout.width);
        EXPECT_EQ(d.height, c.layout.height);
        const std::size_t table = c.coloursUsed * 4;
        ASSERT_EQ(d.data.size(), 40 + table + c.pixelsAfterTable.size()) << c.what;
        EXPECT_EQ(Bytes(d.data.begin() + 40 + table, d.data.end()), c.pixelsAfterTable) << c.what;
        if (table != 0) {
            RGBQUAD second;
            std::memcpy(&second, &d.data[44], 4);
            EXPECT_EQ(second.rgbBlue, 5);
            EXPECT_EQ(second.rgbReserved, 8) << "the map entry's alpha";
        }
    }
}

TEST_F(TgaReaderTest, RefusalsAndFailuresSetTheirCodes) {
    struct Case {
        const char* what;
        Bytes file;
        int bits;
        int flags;
        int error;
        bool returned;
    };
    const TgaSpec good = trueColour(2, 2, 24, repeat({1, 2, 3}, 4));
    const auto with = [&](auto change) {
        TgaSpec s = good;
        change(s);
        return writeTga(s);
    };
    const Bytes full = writeTga(good);
    const Bytes withId = with([](TgaSpec& s) { s.imageId = std::string(40, 'x'); });
    const Bytes tiny = with([](TgaSpec& s) {
        s.width = s.height = 1;
        s.pixels = {1, 2, 3};
        s.footer = false;
    });
    const Case cases[] = {
        {"unknown type", with([](TgaSpec& s) { s.imageType = 4; }), 24, 0, 32, false},
        {"no image", with([](TgaSpec& s) { s.imageType = 0; }), 24, 0, 32, false},
        {"depth above 32", with([](TgaSpec& s) { s.pixelDepth = 33; }), 24, 0, 32, false},
        {"depth below 8 at 24", with([](TgaSpec& s) { s.pixelDepth = 4; }), 24, 0, 32, false},
        {"depth that does not decode", with([](TgaSpec& s) { s.pixelDepth = 12; }), 24, 0, 32,
         true},
        {"zero width", with([](TgaSpec& s) { s.width = 0; }), 24, 0, 32, false},
        {"zero height at 8", with([](TgaSpec& s) {
             s.imageType = 3;
             s.pixelDepth = 8;
             s.height = 0;
         }),
         8, 0, 32, false},
        {"zero width as DIB", with([](TgaSpec& s) {
             s.imageType = 3;
             s.pixelDepth = 8;
             s.width = 0;
         }),
         8, IMG_FLAG_DIB, 32, false},
        {"16 bits asked", full, 16, 0, 5, false},
        {"true colour at 8", full, 8, 0, 28, false},
        {"true colour type at depth 8", with([](TgaSpec& s) { s.pixelDepth = 8; }), 8, 0, 28,
         false},
        {"run-length grey at 8", with([](TgaSpec& s) {
             s.imageType = 11;
             s.pixelDepth = 8;
         }),
         8, 0, 28, false},
        {"run-length grey as DIB", with([](TgaSpec& s) {
             s.imageType = 11;
             s.pixelDepth = 8;
         }),
         8, IMG_FLAG_DIB, 28, false},
        {"colour-mapped without a map", with([](TgaSpec& s) {
             s.imageType = 1;
             s.pixelDepth = 8;
         }),
         8, 0, 32, false},
        {"short header", Bytes(full.begin(), full.begin() + 10), 24, 0, 3, false},
        {"short image ID", Bytes(withId.begin(), withId.begin() + 18 + 20), 24, 0, 3, false},
        {"short pixels", Bytes(full.begin(), full.begin() + 18 + 7), 24, 0, 3, true},
        {"under 26 bytes the footer seek fails", tiny, 24, 0, 3, true},
        {"extension area past the end", with([](TgaSpec& s) { s.extensionOffset = 0xFFFFFF00; }),
         24, 0, 3, true},
        {"too large for a block", with([](TgaSpec& s) { s.width = s.height = 65535; }), 32, 0, 1,
         false},
    };
    for (const Case& c : cases) {
        const Decoded d = readBytes(c.file, c.bits, c.flags);
        EXPECT_EQ(d.error, c.error) << c.what;
        EXPECT_EQ(d.returned, c.returned) << c.what;
    }

    EXPECT_EQ(readBytes(tiny, 24).data, (Bytes{3, 2, 1})) << "the image is still returned";
}

TEST_F(TgaReaderTest, ArgumentsAndMemoryFailures) {
    TempFile file(writeTga(trueColour(1, 1, 24, {1, 2, 3})), ".tga");
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    int w = 0, h = 0, depth = 0, count = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(readTGA(nullptr, &w, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readTGA(src, nullptr, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readTGA(src, &w, &h, 8, nullptr, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getTGAInfo(src, &w, nullptr, &depth), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readTGAPalette(src, &count, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);

    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(readTGA(src, &w, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 1);
    closeSource(src);
}

TEST_F(TgaReaderTest, InfoQuery) {
    struct Case {
        const char* what;
        Bytes file;
        int result;
        int error;
        int width, height, depth;
    };
    TgaSpec wide = trueColour(300, 2, 16, {});
    TgaSpec badType = wide;
    badType.imageType = 5;
    TgaSpec deep = wide;
    deep.pixelDepth = 40;
    const Case cases[] = {
        {"header only", writeTga(wide), 1, 0, 300, 2, 16},
        {"unknown type", writeTga(badType), 0, 32, 0, 0, -1},
        {"depth above 32", writeTga(deep), 0, 32, 0, 0, -1},
        {"short header", Bytes(17, 0), 0, 3, 0, 0, -1},
    };
    for (const Case& c : cases) {
        TempFile file(c.file, ".tga");
        SourceHandle src = openFileSource(file.path().c_str());
        ASSERT_NE(src, nullptr);
        int w = -1, h = -1, depth = -1;
        EXPECT_EQ(getTGAInfo(src, &w, &h, &depth), c.result) << c.what;
        EXPECT_EQ(getLastError(), c.error) << c.what;
        EXPECT_EQ(w, c.width) << c.what;
        EXPECT_EQ(h, c.height) << c.what;
        EXPECT_EQ(depth, c.depth) << c.what;
        closeSource(src);
    }
}

TEST_F(TgaReaderTest, PaletteQuery) {
    struct Case {
        const char* what;
        TgaSpec layout;
        int result;
        int error;
        int count;
    };
    const Bytes map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    TgaSpec mapped = colourMapped(1, 1, 24, 3, map, {0});
    TgaSpec offset = mapped;
    offset.firstEntry = 1;
    offset.mapLength = 2; // three entries are stored all the same
    TgaSpec deep = mapped;
    deep.pixelDepth = 16;
    TgaSpec noMap = trueColour(1, 1, 8, {0});
    noMap.imageType = 3;
    TgaSpec badType = mapped;
    badType.imageType = 7;
    TgaSpec shortMap = mapped;
    shortMap.map.resize(5);
    shortMap.pixels.clear();
    shortMap.footer = false;
    TgaSpec longMap = mapped;
    longMap.firstEntry = 100;
    longMap.mapLength = 200;
    longMap.map = repeat({1, 2, 3}, 300);
    const Case cases[] = {
        {"three entries", mapped, 1, 0, 3},
        {"first index counts", offset, 1, 0, 3},
        {"16-bit pixels", deep, 0, 28, -1},
        {"no map", noMap, 0, 32, -1},
        {"unknown type", badType, 0, 32, -1},
        {"short map", shortMap, 0, 3, 0},
        {"more entries than the table holds", longMap, 1, 0, 256},
    };
    for (const Case& c : cases) {
        TempFile file(writeTga(c.layout), ".tga");
        SourceHandle src = openFileSource(file.path().c_str());
        ASSERT_NE(src, nullptr);
        int count = -1;
        std::array<RGBQUAD, 256> palette;
        palette.fill({0xAA, 0xAA, 0xAA, 0xAA});
        EXPECT_EQ(readTGAPalette(src, &count, palette.data()), c.result) << c.what;
        EXPECT_EQ(getLastError(), c.error) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
        closeSource(src);
        if (c.result == 0) continue;
        EXPECT_EQ(palette[0].rgbBlue, 1) << c.what;
        EXPECT_EQ(palette[c.count - 1].rgbRed, c.count == 3 ? 9 : 3) << c.what;
        EXPECT_EQ(palette[c.count - 1].rgbReserved, 255) << c.what;
        for (int i = c.count; i < 256; ++i)
            EXPECT_EQ(std::memcmp(&palette[i], &palette[0], 4), 0) << c.what << " entry " << i;
    }
}

TEST_F(TgaReaderTest, LongMapsAndIndicesPastTheTableStayInside) {
    // 300 entries: the last 44 are read past and dropped, the pixels after them still found.
    Bytes map;
    for (int i = 0; i < 300; ++i)
        map.insert(map.end(), {BYTE(i), 0, 0});
    TgaSpec longMap = colourMapped(2, 1, 24, 300, map, {255, 7});
    longMap.firstEntry = 250;
    longMap.mapLength = 50;
    const Decoded fromLong = readBytes(writeTga(longMap), 24);
    EXPECT_EQ(fromLong.error, 0);
    EXPECT_EQ(fromLong.data, (Bytes{0, 0, 255, 0, 0, 7}));

    // 16-bit indices into a map of four entries: unstored entries and values past the
    // table both come out as transparent black.
    TgaSpec wide = colourMapped(3, 1, 32, 4, repeat({9, 9, 9, 9}, 4), {3, 0, 10, 0, 0x2C, 0x01});
    wide.pixelDepth = 16;
    const Decoded fromWide = readBytes(writeTga(wide), 32);
    EXPECT_EQ(fromWide.error, 0);
    EXPECT_EQ(fromWide.data, (Bytes{9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(TgaReaderTest, FooterTraces) {
    struct Case {
        const char* what;
        bool footer;
        bool extensionArea;
        std::uint32_t developer;
        std::vector<std::string> traces;
    };
    const Case cases[] = {
        {"no footer", false, false, 0, {}},
        {"footer only", true, false, 0, {"Found TGA footer\n"}},
        {"extension and developer area",
         true,
         true,
         18,
         {"Found TGA footer\n", "Found TGA extension\n", "TGA has developer ext\n"}},
    };
    for (const Case& c : cases) {
        TgaSpec s = trueColour(3, 3, 24, repeat({1, 2, 3}, 9));
        s.footer = c.footer;
        s.extensionArea = c.extensionArea;
        s.developerOffset = c.developer;
        g_traces.clear();
        img::TraceSink previous = img::setTraceSink(collectTrace);
        const Decoded d = readBytes(writeTga(s), 24);
        img::setTraceSink(previous);
        EXPECT_EQ(d.error, 0) << c.what;
        EXPECT_EQ(d.data, repeat({3, 2, 1}, 9)) << c.what;
        EXPECT_EQ(g_traces, c.traces) << c.what;
    }
}

TEST_F(TgaReaderTest, EveryPrefixOfAFileGivesItsCode) {
    Bytes values;
    for (int i = 0; i < 40; ++i)
        values.push_back(static_cast<BYTE>(i / 6));
    TgaSpec s = colourMapped(8, 5, 24, 8, repeat({1, 2, 3}, 8), tgaPackets(values, 1));
    s.imageType = 9;
    s.imageId = "prefix";
    s.extensionArea = true;
    const Bytes file = writeTga(s);
    const std::size_t pixelsAt = 18 + s.imageId.size() + s.map.size();
    const std::size_t pixelsEnd = pixelsAt + s.pixels.size();
    for (std::size_t n = 0; n < file.size(); ++n) {
        const Bytes prefix(file.begin(), file.begin() + n);
        const bool complete = n >= pixelsEnd;
        for (int bits : {8, 24}) {
            const Decoded d = readBytes(prefix, bits);
            EXPECT_EQ(d.returned, n >= pixelsAt) << n << " bytes at " << bits;
            EXPECT_EQ(d.error, complete ? 0 : 3) << n << " bytes at " << bits;
        }
    }
}

TEST_F(TgaReaderTest, PublicSamplesReadWithoutFaults) {
    const std::vector<std::string> files = suiteFiles("samples/tga");
    if (files.empty()) GTEST_SKIP() << "public suites not present";
    int images = 0;
    for (const std::string& path : files) {
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".tga") != 0) continue;
        ++images;
        // Its map starts at index 39, and the reader takes the first index as entries stored
        // before the map's own, which runs past the end of this small file.
        const bool offsetMap = path.find("cmap_offset") != std::string::npos;
        for (const auto& [bits, flags] : {std::pair{24, 0}, {32, 0}, {8, 0}, {24, IMG_FLAG_DIB}}) {
            const Decoded d = readPath(path, bits, flags);
            if (offsetMap) {
                EXPECT_EQ(d.error, 3) << path;
                continue;
            }
            // Run-length greyscale and true colour have no indexed form.
            if (d.error == 28) {
                EXPECT_TRUE(bits == 8 || flags == IMG_FLAG_DIB) << path;
                continue;
            }
            EXPECT_EQ(d.error, 0) << path << " at " << bits << " flags " << flags;
            EXPECT_TRUE(d.returned) << path;
        }
    }
    EXPECT_EQ(images, 33);
}

TEST_F(TgaReaderTest, PublicSampleTwinsAgree) {
    struct Case {
        const char* first;
        const char* second;
        int bits;
        bool flipped = false;
    };
    const Case cases[] = {
        {"truevision/ubw8.tga", "truevision/cbw8.tga", 24},
        {"truevision/ucm8.tga", "truevision/ccm8.tga", 24},
        {"truevision/ucm8.tga", "truevision/ccm8.tga", 8},
        {"truevision/utc16.tga", "truevision/ctc16.tga", 24},
        {"truevision/utc24.tga", "truevision/ctc24.tga", 24},
        {"truevision/utc32.tga", "truevision/ctc32.tga", 32},
        {"pillow/200x32_l_tl_raw.tga", "pillow/200x32_l_bl_rle.tga", 24},
        {"pillow/200x32_la_bl_raw.tga", "pillow/200x32_la_tl_rle.tga", 32},
        {"pillow/200x32_p_bl_raw.tga", "pillow/200x32_p_tl_rle.tga", 8},
        {"pillow/200x32_rgb_bl_raw.tga", "pillow/200x32_rgb_tl_rle.tga", 24},
        {"pillow/200x32_rgba_tl_raw.tga", "pillow/200x32_rgba_bl_rle.tga", 32},
        // The four corners store the same rows and differ only in where they start. Rows
        // marked right-to-left are not mirrored, so each right-hand corner equals its left twin.
        {"image-rs/top_left.tga", "image-rs/bottom_left.tga", 32, true},
        {"image-rs/top_left.tga", "image-rs/top_right.tga", 32},
        {"image-rs/bottom_left.tga", "image-rs/bottom_right.tga", 32},
        {"image-rs/b5-noattrib.tga", "image-rs/b5-attrib.tga", 32},
        {"image-rs/b5-noattrib.tga", "image-rs/b5-cmap.tga", 32},
        {"image-rs/b5-noattrib.tga", "image-rs/b5-unused-cmap.tga", 32},
    };
    if (suiteFile("samples/tga").empty()) GTEST_SKIP() << "public suites not present";
    for (const Case& c : cases) {
        const Decoded a = readPath(suiteFile(std::string("samples/tga/") + c.first), c.bits);
        const Decoded b = readPath(suiteFile(std::string("samples/tga/") + c.second), c.bits);
        EXPECT_EQ(a.error, 0) << c.first;
        EXPECT_EQ(b.error, 0) << c.second;
        EXPECT_EQ(a.width, b.width) << c.first;
        EXPECT_FALSE(a.data.empty()) << c.first;
        Bytes other = b.data;
        if (c.flipped) {
            const std::size_t row = other.size() / (b.height > 0 ? b.height : 1);
            for (int y = 0; y < b.height / 2; ++y)
                std::swap_ranges(other.begin() + y * row, other.begin() + (y + 1) * row,
                                 other.end() - (y + 1) * row);
        }
        EXPECT_TRUE(a.data == other) << c.first << " and " << c.second;
        EXPECT_TRUE(samePalette(a, b)) << c.first;
    }
}

TEST_F(TgaReaderTest, PublicSamplePixels) {
    struct Case {
        const char* file;
        int bits;
        Bytes expected;
    };
    const Case cases[] = {
        // A raw packet of three that crosses the scan line; the first row read is the bottom.
        {"pillow/cross_scan_line.tga", 24, {255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255}},
        // 5-bit channels are scaled by eight, the low bits left clear.
        {"pillow/rgba16.tga", 32, {168, 0, 248, 255, 0, 248, 80, 255}},
        {"pillow/1x1_l_bl_rle.tga", 32, {128, 128, 128, 255}},
    };
    if (suiteFile("samples/tga").empty()) GTEST_SKIP() << "public suites not present";
    for (const Case& c : cases) {
        const Decoded d = readPath(suiteFile(std::string("samples/tga/") + c.file), c.bits);
        EXPECT_EQ(d.error, 0) << c.file;
        EXPECT_EQ(d.data, c.expected) << c.file;
    }

    // The 16-bit sample is the 24-bit one cut to five bits a channel.
    Bytes cut = readPath(suiteFile("samples/tga/truevision/utc24.tga"), 24).data;
    for (BYTE& b : cut)
        b &= 0xF8;
    const Decoded fromSixteen = readPath(suiteFile("samples/tga/truevision/utc16.tga"), 24);
    EXPECT_EQ(fromSixteen.data.size(), 128u * 128 * 3);
    EXPECT_TRUE(fromSixteen.data == cut);
}

namespace {

// The file and copies of it cut in the header, the map and all through the pixels, read in
// every output form with fresh heap blocks filled two ways: what the reader did not write
// itself would show as a difference. Under the address sanitizer, which keeps its own heap, the
// reads of cut files still run.
void expectNoHeapBytesInOutput(const Bytes& file, const std::string& name) {
    std::vector<std::size_t> lengths = {file.size(), 10, 20, file.size() - 1, file.size() - 27};
    for (int eighth = 1; eighth < 8; ++eighth)
        lengths.push_back(file.size() * eighth / 8);
    for (std::size_t n : lengths) {
        TempFile f(Bytes(file.begin(), file.begin() + std::min(n, file.size())), ".tga");
        for (const auto& [depth, flagBits] :
             {std::pair{8, 0}, {24, 0}, {32, 0}, {24, IMG_FLAG_DIB}}) {
            // Plain copies: a lambda may not capture structured bindings in C++17.
            const int bits = depth, flags = flagBits;
            const auto [first, second] =
                underTwoFills([&] { return readPath(f.path(), bits, flags); });
            ASSERT_TRUE(sameRead(first, second))
                << name << " cut to " << n << " at " << bits << " flags " << flags;
        }
    }
}

Bytes counting(std::size_t n, int step) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<BYTE>(i * step / 7);
    return out;
}

} // namespace

TEST_F(TgaReaderTest, OutputNeverHoldsHeapBytes) {
    struct Case {
        const char* name;
        TgaSpec layout;
    };
    std::vector<Case> cases = {
        // Three pixels a row, so that DIB rows have padding.
        {"24-bit raw", trueColour(3, 5, 24, counting(45, 3))},
        {"32-bit raw", trueColour(3, 4, 32, counting(48, 5))},
        {"16-bit raw", trueColour(5, 3, 16, counting(30, 9))},
        {"colour-mapped, 16-bit indices",
         colourMapped(3, 2, 24, 4, counting(12, 40), {3, 0, 9, 1, 0, 0, 1, 0, 2, 0, 3, 0})},
        {"colour-mapped", colourMapped(5, 3, 32, 3, counting(12, 40), counting(15, 3))},
        // Wider than a piece of the input, so that values are cut at its end.
        {"wide 24-bit raw", trueColour(30001, 2, 24, counting(180006, 1))},
    };
    cases[3].layout.pixelDepth = 16;
    TgaSpec grey = trueColour(7, 3, 8, counting(21, 11));
    grey.imageType = 3;
    grey.descriptor = 0x20;
    cases.push_back({"grey, top row first", grey});
    struct Coded {
        const char* name;
        TgaSpec raw;
        int valueBytes;
    } coded[] = {
        {"24-bit run-length", trueColour(3, 5, 24, concat({repeat({1, 2, 3}, 7), counting(24, 1)})),
         3},
        {"32-bit run-length",
         trueColour(3, 4, 32, concat({counting(20, 2), repeat({9, 8, 7, 6}, 7)})), 4},
        {"colour-mapped run-length",
         colourMapped(5, 3, 24, 3, counting(9, 30), {0, 0, 0, 1, 2, 2, 2, 2, 2, 1, 1, 0, 1, 2, 0}),
         1},
        {"wide 24-bit run-length",
         trueColour(30001, 2, 24, concat({repeat({4, 5, 6}, 1000), counting(174006, 1)})), 3},
    };
    for (Coded& c : coded) {
        TgaSpec s = c.raw;
        s.imageType += 8;
        s.pixels = tgaPackets(c.raw.pixels, c.valueBytes);
        cases.push_back({c.name, s});
    }
    for (const Case& c : cases)
        expectNoHeapBytesInOutput(writeTga(c.layout), c.name);

    for (const std::string& path : suiteFiles("samples/tga"))
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".tga") == 0)
            expectNoHeapBytesInOutput(readWholeFile(path), path);
}

TEST_F(TgaReaderTest, WideRowsReadAcrossThePiecesOfInput) {
    // Rows of 30001 values are several pieces of input each; 3 bytes a value leave values cut
    // at the pieces' ends.
    const int width = 30001, height = 3;
    Bytes values = counting(static_cast<std::size_t>(width) * height * 3, 1);
    std::fill(values.begin() + 1000 * 3, values.begin() + 5000 * 3, 9);
    TgaSpec raw = trueColour(width, height, 24, values);
    raw.descriptor = 0x20;
    TgaSpec coded = raw;
    coded.imageType = 10;
    coded.pixels = tgaPackets(values, 3);
    Bytes expected(values.size());
    for (std::size_t i = 0; i < values.size(); i += 3) {
        expected[i] = values[i + 2];
        expected[i + 1] = values[i + 1];
        expected[i + 2] = values[i];
    }
    const Decoded whole = readBytes(writeTga(raw), 24);
    EXPECT_EQ(whole.error, 0);
    EXPECT_TRUE(whole.data == expected);
    const Decoded fromPackets = readBytes(writeTga(coded), 24);
    EXPECT_EQ(fromPackets.error, 0);
    EXPECT_TRUE(fromPackets.data == expected);

    // Cut one byte into a value: the whole values before it stay, the rest is zero.
    for (std::size_t cut : {std::size_t{65537}, std::size_t{3 * 65536 + 2}, values.size() - 1}) {
        Bytes file = writeTga(raw);
        file.resize(18 + cut);
        const Decoded d = readBytes(file, 24);
        EXPECT_EQ(d.error, 3) << cut;
        Bytes kept = expected;
        std::fill(kept.begin() + cut / 3 * 3, kept.end(), 0);
        EXPECT_TRUE(d.data == kept) << cut;
    }
}
