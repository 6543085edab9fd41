#include "BmpReader.h"
#include "BmpWriter.h"
#include "ImageReads.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace img;
using testing_support::BmpSpec;
using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::packBmpRows;
using testing_support::TempFile;
using testing_support::writeBmp;

namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;
using Palette = std::vector<std::array<std::uint8_t, 4>>;

// Two entries, blue first, far enough apart to tell every channel.
const Palette kTwoColours = {{0x10, 0x20, 0x30, 0}, {0x40, 0x50, 0x60, 0}};

Palette rampPalette(int count) {
    Palette p;
    for (int i = 0; i < count; ++i)
        p.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + 1),
                     static_cast<std::uint8_t>(i + 2), 0});
    return p;
}

BmpSpec layout(int bitCount, const Rows& rows, Palette palette = {}) {
    BmpSpec s;
    s.width = static_cast<int>(rows[0].size());
    s.height = static_cast<int>(rows.size());
    s.bitCount = bitCount;
    s.palette = std::move(palette);
    s.pixels = packBmpRows(rows, bitCount);
    return s;
}

using Decoded = testing_support::CopiedRead;

constexpr RGBQUAD kUnwritten = {0xEE, 0xEE, 0xEE, 0xEE};

// Opens the file, arms an allocation failure if asked (after the source's own block), reads.
Decoded decode(const Bytes& file, int bitsPerPixel, int flags = 0, bool withPalette = true,
               unsigned failAlloc = 0) {
    TempFile f(file, ".bmp");
    return testing_support::readCopied(f.path(), failAlloc, [&](SourceHandle src, Decoded& d) {
        d.palette.fill(kUnwritten);
        return readBMP(src, &d.width, &d.height, bitsPerPixel,
                       withPalette ? d.palette.data() : nullptr, flags);
    });
}

BITMAPINFOHEADER dibHeader(const Bytes& dib) {
    BITMAPINFOHEADER h{};
    std::memcpy(&h, dib.data(), sizeof h);
    return h;
}

bool samePalette(const RGBQUAD& a, const RGBQUAD& b) {
    return std::memcmp(&a, &b, 4) == 0;
}

} // namespace

class BmpReaderTest : public LeakCheckedTest {};

TEST_F(BmpReaderTest, PixelsByFileDepthAndOutputDepth) {
    BmpSpec os2Indexed = layout(8, {{1, 0, 1}, {0, 1, 1}}, kTwoColours);
    os2Indexed.headerSize = 12;
    os2Indexed.palette.resize(256, {0, 0, 0, 0});
    BmpSpec os2Rgb = layout(24, {{0x112233, 0x445566}});
    os2Rgb.headerSize = 12;
    BmpSpec os2OneBit = layout(1, {{1, 0, 1}, {0, 1, 1}}, kTwoColours);
    os2OneBit.headerSize = 12;
    BmpSpec masks565 = layout(16, {{0xFFFF, 0xF800, 0x07E0, 0x001F}});
    masks565.compression = BI_BITFIELDS;
    masks565.masks = {0xF800, 0x07E0, 0x001F};
    BmpSpec masks32 = layout(32, {{0x80112233}});
    masks32.compression = BI_BITFIELDS;
    masks32.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};

    struct Case {
        const char* name;
        BmpSpec file;
        int bitsPerPixel;
        int width, height;
        Bytes expected;
    } cases[] = {
        {"1-bit as 1 bit", layout(1, {{1, 0, 1}, {0, 1, 1}}, kTwoColours), 1, 3, 2, {0xA0, 0x60}},
        {"1-bit as 8 bits",
         layout(1, {{1, 0, 1}, {0, 1, 1}}, kTwoColours),
         8,
         3,
         2,
         {1, 0, 1, 0, 1, 1}},
        {"1-bit as 24 bits",
         layout(1, {{1, 0}}, kTwoColours),
         24,
         2,
         1,
         {0x60, 0x50, 0x40, 0x30, 0x20, 0x10}},
        {"4-bit as 8 bits",
         layout(4, {{3, 15, 0}, {7, 1, 9}}, rampPalette(16)),
         8,
         3,
         2,
         {3, 15, 0, 7, 1, 9}},
        {"4-bit as 32 bits",
         layout(4, {{3, 15}}, rampPalette(16)),
         32,
         2,
         1,
         {5, 4, 3, 255, 17, 16, 15, 255}},
        {"8-bit as 8 bits",
         layout(8, {{200, 1, 0}, {5, 6, 255}}, rampPalette(256)),
         8,
         3,
         2,
         {200, 1, 0, 5, 6, 255}},
        {"8-bit as 24 bits",
         layout(8, {{200, 1}}, rampPalette(256)),
         24,
         2,
         1,
         {202, 201, 200, 3, 2, 1}},
        {"16-bit 5-5-5, 0x7FFF is white",
         layout(16, {{0x7FFF, 0x001F, 0x7C00, 0x4210}}),
         24,
         4,
         1,
         {255, 255, 255, 0, 0, 255, 255, 0, 0, 131, 131, 131}},
        {"16-bit masks do not fill the low bits",
         masks565,
         24,
         4,
         1,
         {0xF8, 0xFC, 0xF8, 0xF8, 0, 0, 0, 0xFC, 0, 0, 0, 0xF8}},
        {"24-bit as 24 bits",
         layout(24, {{0x112233, 0x445566}}),
         24,
         2,
         1,
         {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
        {"24-bit as 32 bits", layout(24, {{0x112233}}), 32, 1, 1, {0x11, 0x22, 0x33, 255}},
        {"32-bit keeps the fourth byte as alpha",
         layout(32, {{0x80112233}}),
         32,
         1,
         1,
         {0x11, 0x22, 0x33, 0x80}},
        {"32-bit as 24 bits drops it", layout(32, {{0x80112233}}), 24, 1, 1, {0x11, 0x22, 0x33}},
        {"32-bit rows ignore bit-field masks", masks32, 32, 1, 1, {0x11, 0x22, 0x33, 0x80}},
        {"OS/2 8-bit as 8 bits", os2Indexed, 8, 3, 2, {1, 0, 1, 0, 1, 1}},
        {"OS/2 8-bit as 24 bits",
         os2Indexed,
         24,
         3,
         2,
         {0x60, 0x50, 0x40, 0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0x30, 0x20, 0x10, 0x60, 0x50, 0x40,
          0x60, 0x50, 0x40}},
        {"OS/2 24-bit as 24 bits", os2Rgb, 24, 2, 1, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
        {"OS/2 1-bit as 1 bit", os2OneBit, 1, 3, 2, {0xA0, 0x60}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(writeBmp(c.file), c.bitsPerPixel);
        EXPECT_EQ(d.error, 0);
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(d.data, c.expected);
    }
}

TEST_F(BmpReaderTest, TopDownFileEqualsItsBottomUpTwin) {
    const Rows indices = {{1, 0, 1, 1, 0}, {0, 0, 1, 0, 1}, {1, 1, 1, 0, 0}};
    const Rows colours = {{0x010203, 0x040506}, {0x070809, 0x0A0B0C}, {0x0D0E0F, 0x101112}};
    struct Case {
        int bitCount;
        Rows rows;
        Palette palette;
        int bitsPerPixel;
    } cases[] = {
        {1, indices, kTwoColours, 1},
        {4, indices, rampPalette(16), 8},
        {8, indices, rampPalette(256), 24},
        {24, colours, {}, 24},
        {32, colours, {}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bitCount);
        BmpSpec bottomUp = layout(c.bitCount, c.rows, c.palette);
        BmpSpec topDown = bottomUp;
        topDown.height = -bottomUp.height;
        topDown.pixels = packBmpRows(c.rows, c.bitCount, true);
        const Decoded a = decode(writeBmp(bottomUp), c.bitsPerPixel);
        const Decoded b = decode(writeBmp(topDown), c.bitsPerPixel);
        EXPECT_EQ(a.error, 0);
        EXPECT_EQ(b.error, 0);
        EXPECT_EQ(b.height, 3);
        EXPECT_EQ(a.data, b.data);

        TempFile f(writeBmp(topDown));
        SourceHandle src = openFileSource(f.path().c_str());
        int width = 0, height = 0, bits = 0;
        EXPECT_NE(getBMPInfo(src, &width, &height, &bits, nullptr), 0);
        EXPECT_EQ(height, -3);
        EXPECT_EQ(bits, c.bitCount);
        closeSource(src);
    }
}

TEST_F(BmpReaderTest, RefusedFilesAndArgumentsGiveTheirCodes) {
    const BmpSpec eight = layout(8, {{1, 2}}, rampPalette(256));
    const BmpSpec rgb = layout(24, {{1, 2}});
    auto with = [](BmpSpec s, auto change) {
        change(s);
        return writeBmp(s);
    };
    Bytes noSignature = writeBmp(rgb);
    noSignature[0] = 'X';
    const Bytes whole = writeBmp(rgb);
    const Bytes cutHeader(whole.begin(), whole.begin() + 10);

    struct Case {
        const char* name;
        Bytes file;
        int bitsPerPixel;
        int flags;
        bool palette;
        int error;
        bool image;
    } cases[] = {
        {"no BM", noSignature, 24, 0, true, 6, false},
        {"empty file", {}, 24, 0, true, 3, false},
        {"cut in the file header", cutHeader, 24, 0, true, 3, false},
        {"108-byte header", with(rgb, [](BmpSpec& s) { s.headerSize = 108; }), 24, 0, true, 6,
         false},
        {"124-byte header", with(eight, [](BmpSpec& s) { s.headerSize = 124; }), 8, 0, true, 6,
         false},
        {"124-byte header as DIB", with(eight, [](BmpSpec& s) { s.headerSize = 124; }), 8, 2, true,
         6, false},
        {"requested 16 bits", writeBmp(rgb), 16, 0, true, 5, false},
        {"indexed without palette", writeBmp(eight), 8, 0, false, 5, false},
        {"4-bit file as 1 bit", writeBmp(layout(4, {{1}}, rampPalette(16))), 1, 0, true, 28, false},
        {"24-bit file as 8 bits", writeBmp(rgb), 8, 0, true, 28, false},
        {"2-bit file as 8 bits", writeBmp(layout(2, {{1, 3}}, rampPalette(4))), 8, 0, true, 28,
         false},
        {"indexed width 0", with(eight, [](BmpSpec& s) { s.width = 0; }), 8, 0, true, 6, false},
        {"indexed width -2", with(eight, [](BmpSpec& s) { s.width = -2; }), 8, 0, true, 6, false},
        {"colour width 0", with(rgb, [](BmpSpec& s) { s.width = 0; }), 24, 0, true, 6, false},
        {"height 0", with(rgb, [](BmpSpec& s) { s.height = 0; }), 24, 0, true, 6, false},
        {"lowest height", with(eight, [](BmpSpec& s) { s.height = INT32_MIN; }), 8, 0, true, 6,
         false},
        {"indexed with bit fields", with(eight, [](BmpSpec& s) { s.compression = 3; }), 8, 0, true,
         6, false},
        {"RLE8 on a 4-bit file as 8 bits",
         with(layout(4, {{1}}, rampPalette(16)), [](BmpSpec& s) { s.compression = 1; }), 8, 0, true,
         6, false},
        {"RLE8 on a 4-bit file as 24 bits",
         with(layout(4, {{1}}, rampPalette(16)), [](BmpSpec& s) { s.compression = 1; }), 24, 0,
         true, 6, false},
        {"RLE4 on an 8-bit file as 24 bits", with(eight, [](BmpSpec& s) { s.compression = 2; }), 24,
         0, true, 6, false},
        {"RLE4 on a 24-bit file", with(rgb, [](BmpSpec& s) { s.compression = 2; }), 24, 0, true, 6,
         false},
        {"compression 4", with(rgb, [](BmpSpec& s) { s.compression = 4; }), 24, 0, true, 6, false},
        {"2-bit file as 24 bits", writeBmp(layout(2, {{1, 3}}, rampPalette(4))), 24, 0, true, 6,
         false},
        {"pixel offset inside the table", with(eight, [](BmpSpec& s) { s.pixelOffset = 54; }), 8, 0,
         true, 6, false},
        {"pixel offset past the end", with(eight, [](BmpSpec& s) { s.pixelOffset = 1u << 30; }), 8,
         0, true, 6, false},
        {"colour pixel offset past the end",
         with(rgb, [](BmpSpec& s) { s.pixelOffset = 1u << 30; }), 24, 0, true, 6, false},
        {"colours used far above 256", with(eight, [](BmpSpec& s) { s.clrUsed = 0x12345678; }), 8,
         0, true, 6, false},
        {"OS/2 16-bit", with(layout(16, {{1}}), [](BmpSpec& s) { s.headerSize = 12; }), 24, 0, true,
         6, false},
        {"rows cut short, indexed", with(eight, [](BmpSpec& s) { s.pixels.resize(2); }), 8, 0, true,
         3, true},
        {"rows cut short, colour", with(rgb, [](BmpSpec& s) { s.pixels.clear(); }), 24, 0, true, 3,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.file, c.bitsPerPixel, c.flags, c.palette);
        EXPECT_EQ(d.error, c.error);
        EXPECT_EQ(d.returned, c.image);
    }
}

TEST_F(BmpReaderTest, PaletteEntriesPastTheColourCountCopyEntryZero) {
    const Decoded d = decode(writeBmp(layout(8, {{3, 15}}, rampPalette(16))), 8);
    EXPECT_EQ(d.error, 0);
    EXPECT_TRUE(samePalette(d.palette[15], RGBQUAD{15, 16, 17, 0}));
    for (int i = 16; i < 256; ++i)
        EXPECT_TRUE(samePalette(d.palette[i], d.palette[0])) << i;
}

TEST_F(BmpReaderTest, ColoursUsedAbove256AreCutToThePalette) {
    BmpSpec s = layout(8, {{7, 255, 0}}, rampPalette(300));
    const Bytes file = writeBmp(s);
    const Decoded indexed = decode(file, 8);
    EXPECT_EQ(indexed.error, 0);
    EXPECT_EQ(indexed.data, (Bytes{7, 255, 0}));
    EXPECT_TRUE(samePalette(indexed.palette[255], RGBQUAD{255, 0, 1, 0}));

    const Decoded colour = decode(file, 24);
    EXPECT_EQ(colour.error, 0);
    EXPECT_EQ(colour.data, (Bytes{9, 8, 7, 1, 0, 255, 2, 1, 0}));

    const Decoded dib = decode(file, 0, IMG_FLAG_DIB);
    EXPECT_EQ(dib.error, 0);
    ASSERT_TRUE(dib.returned);
    EXPECT_EQ(dibHeader(dib.data).biClrUsed, 256u) << "the DIB says what it holds";
    EXPECT_EQ(dib.data[40 + 1024], 7) << "pixels follow the kept table";
}

TEST_F(BmpReaderTest, PaletteQuery) {
    BmpSpec os2 = layout(4, {{1}}, rampPalette(16));
    os2.headerSize = 12;
    struct Case {
        const char* name;
        Bytes file;
        bool palette;
        int result, error, count;
    } cases[] = {
        {"16 of 256 used", writeBmp(layout(8, {{1}}, rampPalette(16))), true, 1, 0, 16},
        {"1-bit, count 0 in the header", writeBmp([] {
             BmpSpec s = layout(1, {{1}}, kTwoColours);
             s.clrUsed = 0;
             return s;
         }()),
         true, 1, 0, 2},
        {"300 used", writeBmp(layout(8, {{1}}, rampPalette(300))), true, 1, 0, 256},
        {"OS/2 4-bit", writeBmp(os2), true, 1, 0, 16},
        {"24-bit", writeBmp(layout(24, {{1}})), true, 0, 28, 0},
        {"no palette", writeBmp(layout(8, {{1}}, rampPalette(16))), false, 0, 5, 0},
        {"not a BMP", Bytes(60, 0), true, 0, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile f(c.file);
        SourceHandle src = openFileSource(f.path().c_str());
        std::array<RGBQUAD, 256> palette;
        palette.fill(kUnwritten);
        int count = -1;
        EXPECT_EQ(readBMPPalette(src, &count, c.palette ? palette.data() : nullptr), c.result);
        EXPECT_EQ(getLastError(), c.error);
        EXPECT_EQ(count, c.count);
        if (c.count == 16) {
            EXPECT_EQ(palette[15].rgbRed, 17);
            EXPECT_EQ(palette[15].rgbReserved, std::string(c.name) == "OS/2 4-bit" ? 0xEE : 0)
                << "OS/2 triples leave the fourth byte alone";
        }
        closeSource(src);
    }
}

TEST_F(BmpReaderTest, InfoQueryReportsSizeDepthAndResolution) {
    BmpSpec s = layout(8, {{1, 2, 3}}, rampPalette(4));
    s.xPelsPerMeter = 3937;
    s.yPelsPerMeter = -250;
    TempFile f(writeBmp(s));
    SourceHandle src = openFileSource(f.path().c_str());
    int width = 0, height = 0, bits = 0;
    ImgResolution res{};
    EXPECT_EQ(getBMPInfo(src, &width, &height, &bits, &res), 1);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 1);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(res.unit, 1);
    EXPECT_EQ(res.x, 39);
    EXPECT_EQ(res.y, -2) << "truncated toward zero";

    seekSource(src, 0, 0);
    CImgIO io(static_cast<SourceRecord*>(src));
    BmpReader reader(io);
    EXPECT_EQ(reader.info(&width, &height, &bits, &res, 1), 1);
    EXPECT_EQ(res.unit, 2);
    EXPECT_EQ(res.x, 3937);
    closeSource(src);

    BmpSpec os2 = layout(24, {{1}});
    os2.headerSize = 12;
    TempFile g(writeBmp(os2));
    src = openFileSource(g.path().c_str());
    res = {7, 7, 7};
    EXPECT_EQ(getBMPInfo(src, nullptr, nullptr, nullptr, &res), 1) << "null outputs are skipped";
    EXPECT_EQ(res.unit, 7) << "OS/2 headers carry no resolution";
    closeSource(src);
}

TEST_F(BmpReaderTest, NullAndClosedSources) {
    int w, h, bits, count;
    RGBQUAD palette[256];
    EXPECT_EQ(readBMP(nullptr, &w, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(getBMPInfo(nullptr, &w, &h, &bits, nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readBMPPalette(nullptr, &count, palette), 0);
    EXPECT_EQ(getLastError(), 5);

    TempFile f(writeBmp(layout(24, {{1}})));
    SourceHandle src = openFileSource(f.path().c_str());
    SourceRecord stale = *static_cast<SourceRecord*>(src);
    closeSource(src);
    stale.magic1 = stale.magic2 = 0;
    EXPECT_EQ(readBMP(&stale, &w, &h, 24, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 38);
}

// Run-length data: a bottom-up 4 x 3 image of runs, an absolute run cut at the row's end, a
// delta, line ends and the end of the bitmap.
const Bytes kRle8Stream = {
    0x02, 0x05,                   // bottom row: 5 5
    0x00, 0x03, 0x07, 0x08, 0x09, // absolute 7 8 9: the 9 falls past the row
    0x00,                         // pad to a 16-bit boundary
    0x00, 0x00,                   // end of line
    0x00, 0x02, 0x01, 0x00,       // delta one to the right
    0x01, 0x06,                   // 6
    0x00, 0x00,                   // end of line
    0x03, 0x04,                   // top row: 4 4 4
    0x00, 0x01,                   // end of bitmap
};

BmpSpec rle8(Bytes stream, Palette palette = rampPalette(256)) {
    BmpSpec s;
    s.width = 4;
    s.height = 3;
    s.bitCount = 8;
    s.compression = BI_RLE8;
    s.palette = std::move(palette);
    s.pixels = std::move(stream);
    return s;
}

TEST_F(BmpReaderTest, Rle8RunsAbsoluteRunsDeltasAndLineEnds) {
    const Decoded d = decode(writeBmp(rle8(kRle8Stream)), 8);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.width, 4);
    EXPECT_EQ(d.height, 3);
    EXPECT_EQ(d.data, (Bytes{4, 4, 4, 0, 0, 6, 0, 0, 5, 5, 7, 8}));

    const Decoded rgba = decode(writeBmp(rle8(kRle8Stream)), 32);
    EXPECT_EQ(rgba.error, 0);
    ASSERT_EQ(rgba.data.size(), 48u);
    EXPECT_EQ(Bytes(rgba.data.begin(), rgba.data.begin() + 16),
              (Bytes{6, 5, 4, 255, 6, 5, 4, 255, 6, 5, 4, 255, 2, 1, 0, 255}))
        << "skipped pixels keep the colour of entry 0";
}

TEST_F(BmpReaderTest, Rle8WithoutEndMarkerReturnsTheDecodedImageWithThree) {
    const Bytes stream(kRle8Stream.begin(), kRle8Stream.end() - 2);
    const Decoded d = decode(writeBmp(rle8(stream)), 8);
    EXPECT_EQ(d.error, 3);
    EXPECT_EQ(d.data, (Bytes{4, 4, 4, 0, 0, 6, 0, 0, 5, 5, 7, 8}));
}

TEST_F(BmpReaderTest, RleDeltaBelowTheLastRowDropsFurtherPixels) {
    const Bytes stream = {0x01, 0x09, 0x00, 0x02, 0x00, 0x07, 0x04,
                          0x09, 0x00, 0x00, 0x04, 0x09, 0x00, 0x01};
    Palette palette = rampPalette(256);
    palette[0] = {0x30, 0x20, 0x10, 0};
    const Decoded d = decode(writeBmp(rle8(stream, palette)), 24);
    EXPECT_EQ(d.error, 0);
    Bytes expected;
    for (int i = 0; i < 12; ++i)
        expected.insert(expected.end(), {0x10, 0x20, 0x30});
    expected[3 * 8] = 11; // the one pixel before the delta: bottom row, column 0
    expected[3 * 8 + 1] = 10;
    expected[3 * 8 + 2] = 9;
    EXPECT_EQ(d.data, expected);
}

TEST_F(BmpReaderTest, Rle4RunsAlternateNibblesAndAbsoluteRunsArePadded) {
    BmpSpec s;
    s.width = 8;
    s.height = 2;
    s.bitCount = 4;
    s.compression = BI_RLE4;
    s.palette = rampPalette(16);
    s.pixels = {0x05, 0x12,                         // 1 2 1 2 1
                0x00, 0x00,                         // end of line
                0x00, 0x05, 0x34, 0x56, 0x70, 0x00, // absolute 3 4 5 6 7, padded
                0x02, 0x89,                         // 8 9
                0x00, 0x01};
    const Decoded d = decode(writeBmp(s), 8);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.data, (Bytes{3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 1, 2, 1, 0, 0, 0}));
}

TEST_F(BmpReaderTest, HostileRunsStayInsideTheImage) {
    struct Case {
        const char* name;
        Bytes stream;
        int bitCount;
    } cases[] = {
        {"run longer than the row", {0xFF, 0x07, 0x00, 0x01}, 8},
        {"absolute run longer than the row",
         [] {
             Bytes b = {0x00, 0xFF};
             b.resize(2 + 256, 0x05);
             return b;
         }(),
         8},
        {"deltas far right, then runs",
         [] {
             Bytes b;
             for (int i = 0; i < 2000; ++i)
                 b.insert(b.end(), {0x00, 0x02, 0xFF, 0x00});
             b.insert(b.end(), {0x05, 0x01, 0x00, 0x01});
             return b;
         }(),
         8},
        {"deltas far up, then runs",
         [] {
             Bytes b;
             for (int i = 0; i < 2000; ++i)
                 b.insert(b.end(), {0x00, 0x02, 0x00, 0xFF});
             b.insert(b.end(), {0x05, 0x01});
             return b;
         }(),
         4},
        {"line ends past the top", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x11, 0x00, 0x01}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec s;
        s.width = 1;
        s.height = 1;
        s.bitCount = c.bitCount;
        s.compression = c.bitCount == 8 ? BI_RLE8 : BI_RLE4;
        s.palette = rampPalette(1 << c.bitCount);
        s.pixels = c.stream;
        for (int bits : {8, 24, 32}) {
            const Decoded d = decode(writeBmp(s), bits);
            EXPECT_TRUE(d.returned);
            EXPECT_EQ(d.data.size(), static_cast<std::size_t>(bits / 8));
        }
    }
}

TEST_F(BmpReaderTest, TopDownRunLengthFileIsRefused) {
    BmpSpec s = rle8(kRle8Stream);
    s.height = -3;
    EXPECT_EQ(decode(writeBmp(s), 8).error, 6);
    EXPECT_EQ(decode(writeBmp(s), 24).error, 6);
}

TEST_F(BmpReaderTest, PackedDibKeepsTheFilesHeaderTableAndCompressedData) {
    const Bytes file = writeBmp(rle8(kRle8Stream));
    const Decoded d = decode(file, 0, IMG_FLAG_DIB);
    EXPECT_EQ(d.error, 0);
    ASSERT_TRUE(d.returned);
    EXPECT_EQ(d.width, 4);
    EXPECT_EQ(d.height, 3);
    EXPECT_EQ(d.data.size(), file.size() - 14) << "everything after the file header fits";
    EXPECT_EQ(dibHeader(d.data).biCompression, static_cast<DWORD>(BI_RLE8));
    EXPECT_TRUE(std::equal(file.begin() + 14, file.end(), d.data.begin()))
        << "header, table and runs as in the file";
}

TEST_F(BmpReaderTest, PackedDibBlockIsTheSourceLessItsHeaderAtLeast) {
    // A gap before the pixels: the block is the source size less 40, not less 14.
    BmpSpec gap = layout(24, {{0x010203}});
    gap.gap = 100;
    const Bytes gapFile = writeBmp(gap);
    const Decoded g = decode(gapFile, 0, IMG_FLAG_DIB);
    ASSERT_TRUE(g.returned);
    EXPECT_EQ(g.data.size(), gapFile.size() - 40);
    EXPECT_EQ(Bytes(g.data.begin() + 40, g.data.begin() + 44), (Bytes{3, 2, 1, 0}));

    // Runs longer than the plain rows they stand for still fit to their last byte.
    BmpSpec long8 = rle8({0x00, 0x03, 1, 2, 3, 0x00, 0x00, 0x00, // absolute, pad, end of line
                          0x00, 0x03, 4, 5, 6, 0x00, 0x00, 0x00, //
                          0x00, 0x03, 7, 8, 9, 0x00, 0x00, 0x01});
    long8.width = 3;
    long8.height = 3;
    const Bytes longFile = writeBmp(long8);
    const Decoded l = decode(longFile, 0, IMG_FLAG_DIB);
    ASSERT_TRUE(l.returned);
    EXPECT_EQ(l.data.size(), longFile.size() - 14);
    EXPECT_TRUE(std::equal(longFile.begin() + 14, longFile.end(), l.data.begin()));
}

TEST_F(BmpReaderTest, PackedDibLayouts) {
    BmpSpec topDown = layout(24, {{0x010203}, {0x040506}});
    topDown.height = -2;
    topDown.pixels = packBmpRows({{0x010203}, {0x040506}}, 24, true);
    BmpSpec os2 = layout(8, {{9, 8}}, rampPalette(256));
    os2.headerSize = 12;
    BmpSpec sixteen = layout(16, {{0x1234, 0x5678}, {0x1111, 0x2222}});
    BmpSpec gap = layout(24, {{0x010203}});
    gap.gap = 6;
    BmpSpec offset54 = layout(8, {{9}}, rampPalette(2));
    offset54.pixelOffset = 54;
    BmpSpec shortRows = layout(8, {{1, 2, 3, 4}, {5, 6, 7, 8}}, rampPalette(4));
    shortRows.pixels.resize(3);

    struct Case {
        const char* name;
        BmpSpec file;
        int height;
        std::size_t blockBytes;
        std::size_t pixelsAt;
        Bytes pixels;
    } cases[] = {
        {"top-down keeps its negative height", topDown, -2, 40 + 8, 40, {3, 2, 1, 0}},
        {"OS/2 gets a Windows header", os2, 1, 40 + 1024 + 4, 40 + 1024, {9, 8, 0, 0}},
        {"16-bit keeps every row",
         sixteen,
         2,
         40 + 8,
         40,
         {0x11, 0x11, 0x22, 0x22, 0x34, 0x12, 0x78, 0x56}},
        {"a gap is skipped", gap, 1, 40 + 4, 40, {3, 2, 1, 0}},
        {"offset 54 means right after the table", offset54, 1, 40 + 8 + 4, 48, {9, 0, 0, 0}},
        {"short rows: the block still holds them",
         shortRows,
         2,
         40 + 16 + 8,
         56,
         {5, 6, 7, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(writeBmp(c.file), 0, IMG_FLAG_DIB);
        EXPECT_EQ(d.error, 0);
        ASSERT_TRUE(d.returned);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(dibHeader(d.data).biSize, 40u);
        EXPECT_GE(d.data.size(), c.blockBytes);
        ASSERT_GE(d.data.size(), c.pixelsAt + c.pixels.size());
        EXPECT_EQ(Bytes(d.data.begin() + c.pixelsAt, d.data.begin() + c.pixelsAt + c.pixels.size()),
                  c.pixels);
    }
    const Decoded o = decode(writeBmp(os2), 0, IMG_FLAG_DIB);
    const BITMAPINFOHEADER h = dibHeader(o.data);
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(h.biClrImportant, 256u);
    EXPECT_EQ(h.biSizeImage, 4u);
    EXPECT_EQ(o.data[40 + 4 * 9 + 2], 11) << "triples become entries";
    EXPECT_EQ(o.data[40 + 4 * 9 + 3], 0);
}

TEST_F(BmpReaderTest, NoMemoryGivesOneAndLeaksNothing) {
    const Bytes eight = writeBmp(layout(8, {{1, 2}}, rampPalette(4)));
    const Bytes rgb = writeBmp(layout(24, {{1, 2}}));
    const Bytes rle = writeBmp(rle8(kRle8Stream));
    struct Case {
        const Bytes& file;
        int bitsPerPixel;
        int flags;
    } cases[] = {{eight, 8, 0}, {eight, 0, IMG_FLAG_DIB}, {rgb, 32, 0}, {rle, 24, 0}, {rle, 8, 0}};
    for (const Case& c : cases) {
        const Decoded d = decode(c.file, c.bitsPerPixel, c.flags, true, 1);
        EXPECT_EQ(d.error, 1);
        EXPECT_FALSE(d.returned);
    }
    EXPECT_EQ(decode(writeBmp([] {
                         BmpSpec s = layout(24, {{1}});
                         s.width = 3000000;
                         s.height = 2000000;
                         return s;
                     }()),
                     24)
                  .error,
              1)
        << "sizes past the block limit are refused before allocating";
}

// Every prefix of a valid file: the codes follow from where the cut falls.
TEST_F(BmpReaderTest, EveryPrefixGivesTheRightCode) {
    BmpSpec indexed = layout(8, {{1, 2, 3}, {4, 5, 6}}, rampPalette(4));
    indexed.gap = 2;
    BmpSpec masks = layout(16, {{0x7FFF, 1}, {2, 3}});
    masks.compression = BI_BITFIELDS;
    masks.masks = {0x7C00, 0x03E0, 0x001F};
    BmpSpec os2 = layout(4, {{1, 2, 3}, {4, 5, 6}}, rampPalette(16));
    os2.headerSize = 12;
    BmpSpec rle4;
    rle4.width = 3;
    rle4.height = 2;
    rle4.bitCount = 4;
    rle4.compression = BI_RLE4;
    rle4.palette = rampPalette(16);
    rle4.pixels = {0x03, 0x12, 0x00, 0x00, 0x00, 0x03, 0x45, 0x60, 0x00, 0x01};

    enum Kind { kRows, kRuns };
    struct Case {
        const char* name;
        BmpSpec file;
        Kind kind;
    } cases[] = {
        {"indexed with a gap", indexed, kRows},
        {"24-bit", layout(24, {{1, 2}, {3, 4}, {5, 6}}), kRows},
        {"16-bit bit fields", masks, kRows},
        {"OS/2 4-bit", os2, kRows},
        {"RLE8", rle8(kRle8Stream), kRuns},
        {"RLE4", rle4, kRuns},
    };
    for (const Case& c : cases) {
        const Bytes file = writeBmp(c.file);
        const bool os2File = c.file.headerSize == 12;
        const std::size_t headers = 14 + c.file.headerSize;
        const std::size_t table =
            headers + c.file.masks.size() * 4 + c.file.palette.size() * (os2File ? 3 : 4);
        const std::size_t pixels = table + c.file.gap;
        const std::size_t rowBytes = (c.file.width * c.file.bitCount + 31) / 32 * 4;
        const std::size_t lastRow = file.size() - rowBytes;
        for (int bits : {8, 24, IMG_FLAG_DIB}) {
            const bool dib = bits == IMG_FLAG_DIB;
            if (bits == 8 && c.file.bitCount > 8) continue;
            for (std::size_t cut = 0; cut < file.size(); ++cut) {
                SCOPED_TRACE(std::string(c.name) + " as " + std::to_string(bits) + ", cut at " +
                             std::to_string(cut));
                int error = 3;
                bool image = false;
                if (cut >= table && cut < pixels) {
                    error = 6;
                } else if (cut >= pixels) {
                    image = true;
                    if (dib) {
                        error = os2File ? 3 : 0;
                        image = !os2File;
                    } else if (c.kind == kRows && bits == 24 && cut > lastRow) {
                        error = 0; // the last row is read by count and may come short
                    }
                }
                const Decoded d =
                    decode(Bytes(file.begin(), file.begin() + cut), dib ? 0 : bits, dib ? bits : 0);
                EXPECT_EQ(d.error, error);
                EXPECT_EQ(d.returned, image);
            }
        }
    }
}
