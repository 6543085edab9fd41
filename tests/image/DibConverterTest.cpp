#include "CDibConverter.h"
#include "ImageReads.h"
#include "LeakCheck.h"
#include "imgcore.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace img;
using testing_support::LeakCheckedTest;

namespace {

BITMAPINFOHEADER headerOf(const BYTE* dib) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    return h;
}

std::vector<BYTE> rampRGB(int width, int height) {
    std::vector<BYTE> rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<BYTE>(i * 7 + 1);
    return rgb;
}

} // namespace

class DibConverterTest : public LeakCheckedTest {
protected:
    CDibConverter c;
};

TEST_F(DibConverterTest, RgbToDibPadsRowsAndStoresThemBottomUpBlueFirst) {
    const auto rgb = rampRGB(3, 2);
    BYTE* dib = c.rgbToDIB(rgb.data(), 3, 2);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(c.status, 0);
    const BITMAPINFOHEADER h = headerOf(dib);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 24u) << "rows of 12 bytes: 9 data, 3 padding";
    EXPECT_EQ(GlobalSize(dib), 40u + 24u);
    const BYTE* bottom = dib + 40;   // image row 1
    const BYTE* top = dib + 40 + 12; // image row 0
    EXPECT_EQ(bottom[0], rgb[9 + 2]);
    EXPECT_EQ(bottom[2], rgb[9 + 0]);
    EXPECT_EQ(top[3], rgb[5]);
    EXPECT_EQ(top[9], 0);
    EXPECT_EQ(top[11], 0);

    std::vector<BYTE> back(rgb.size());
    EXPECT_EQ(c.dibToRGB(dib, back.data()), 1);
    EXPECT_EQ(back, rgb);
    GlobalFree(dib);
}

TEST_F(DibConverterTest, BadArgumentsAreRefusedAndFreeWhatWasMade) {
    const BYTE px[3] = {1, 2, 3};
    struct Case {
        const BYTE* source;
        int width, height;
    };
    const Case cases[] = {{nullptr, 1, 1}, {px, 0, 1}, {px, 1, 0}, {px, -1, 1}};
    for (const Case& k : cases) {
        EXPECT_EQ(c.rgbToDIB(k.source, k.width, k.height), nullptr);
        EXPECT_EQ(c.status, 5);
        EXPECT_EQ(c.rgbaToDIB(k.source, k.width, k.height), nullptr);
        EXPECT_EQ(c.status, 5);
    }
    EXPECT_EQ(c.rgbToDIB(px, 0x10000, 0x10000), nullptr) << "size overflows 32 bits";
    EXPECT_EQ(c.status, 1);
    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(c.rgbToDIB(px, 1, 1), nullptr);
    EXPECT_EQ(c.status, 1);
}

TEST_F(DibConverterTest, RgbaAndIndexedAndOneBitLayouts) {
    const BYTE rgba[8] = {1, 2, 3, 4, 5, 6, 7, 8}; // 1 x 2
    BYTE* d32 = c.rgbaToDIB(rgba, 1, 2);
    ASSERT_NE(d32, nullptr);
    EXPECT_EQ(headerOf(d32).biBitCount, 32);
    EXPECT_EQ(headerOf(d32).biSizeImage, 8u);
    const BYTE expect32[8] = {7, 6, 5, 8, 3, 2, 1, 4};
    EXPECT_EQ(std::memcmp(d32 + 40, expect32, 8), 0);
    GlobalFree(d32);

    RGBQUAD palette[256] = {};
    palette[5] = {50, 60, 70, 0};
    const BYTE indices[6] = {5, 1, 2, 3, 4, 5}; // 3 x 2
    BYTE* d8 = c.indexedToDIB(indices, 3, 2, palette);
    ASSERT_NE(d8, nullptr);
    BITMAPINFOHEADER h8 = headerOf(d8);
    EXPECT_EQ(h8.biClrUsed, 256u);
    EXPECT_EQ(h8.biClrImportant, 256u);
    EXPECT_EQ(GlobalSize(d8), 4u * 2 + 1024 + 40);
    EXPECT_EQ(c.dibPixelData(d8), d8 + 40 + 1024);
    EXPECT_EQ(d8[40 + 1024 + 0], 3) << "last source row first";
    EXPECT_EQ(d8[40 + 1024 + 4], 5);
    std::vector<BYTE> rgb(18);
    ASSERT_EQ(c.dibToRGB(d8, rgb.data()), 1);
    EXPECT_EQ(rgb[0], 70);
    EXPECT_EQ(rgb[2], 50);
    GlobalFree(d8);

    const RGBQUAD two[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const BYTE bits[2] = {0x80, 0x40}; // 1 x 2
    BYTE* d1 = oneBitToDIB(bits, 1, 2, two, nullptr);
    ASSERT_NE(d1, nullptr);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(GlobalSize(d1), 2u * 4 + 48) << "1-pixel-wide rows take 4 bytes";
    EXPECT_EQ(headerOf(d1).biClrUsed, 2u);
    EXPECT_EQ(headerOf(d1).biClrImportant, 0u);
    EXPECT_EQ(d1[48], 0x40);
    EXPECT_EQ(d1[52], 0x80);
    GlobalFree(d1);
    EXPECT_EQ(oneBitToDIB(nullptr, 1, 1, two, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 5);
}

TEST_F(DibConverterTest, WritesIntoTheCallersBlockWithoutFreeingIt) {
    std::vector<BYTE> block(40 + 4, 0xEE);
    const BYTE px[3] = {1, 2, 3};
    EXPECT_EQ(c.rgbToDIB(px, 1, 1, block.data()), block.data());
    EXPECT_EQ(block[40], 3);
    EXPECT_EQ(block[43], 0) << "padding is cleared";
}

TEST_F(DibConverterTest, ByteSizesAndPixelData) {
    struct Case {
        int width, height, bits, palette;
        unsigned expected;
        int status;
    };
    const Case cases[] = {
        {3, 2, 24, 0, 24 + 40, 0},
        {1, 1, 1, 2, 4 + 48, 0},
        {5, 3, 8, 256, 24 + 1064, 0},
        {5, 3, 4, 16, 12 + 104, 0},
        {2, 2, 32, 0, 16 + 40, 0},
        {4, 4, 16, 0, 0, 5},
        {4, 4, 2, 0, 16 + 56, 0},
        {4, 4, 2, 256, 16 + 56, 0},
        {50000, 50000, 32, 0, 0, 1},
        // An empty image is its header and table; a negative size or count is refused.
        {0, 4, 24, 0, 40, 0},
        {3, 0, 1, 2, 48, 0},
        {0, 0, 8, 256, 1064, 0},
        {-1, 4, 24, 0, 0, 5},
        {3, -2, 8, 16, 0, 5},
        {3, 2, 8, -1, 0, 5},
        {3, 2, 4, 257, 0, 5},
    };
    for (const Case& k : cases) {
        c.status = 0;
        EXPECT_EQ(c.dibByteSize(k.width, k.height, k.bits, k.palette), k.expected)
            << k.width << "x" << k.height << "x" << k.bits;
        EXPECT_EQ(c.status, k.status);
    }

    BYTE dib[40 + 16 * 4] = {};
    auto set = [&dib](DWORD size, WORD bits, DWORD used, DWORD compression = BI_RGB) {
        BITMAPINFOHEADER h{};
        h.biSize = size;
        h.biBitCount = bits;
        h.biClrUsed = used;
        h.biCompression = compression;
        std::memcpy(dib, &h, sizeof h);
    };
    struct Layout {
        WORD bits;
        DWORD used, compression;
        std::size_t pixelsAt;
    };
    // No table below 1 bit; bit-field masks come before the pixels.
    const Layout layouts[] = {
        {4, 0, BI_RGB, 40 + 64},
        {8, 3, BI_RGB, 40 + 12},
        {1, 0, BI_RGB, 40 + 8},
        {24, 0, BI_RGB, 40},
        {0, 0, BI_RGB, 40},
        {0, 5, BI_RGB, 40},
        {16, 0, BI_BITFIELDS, 40 + 12},
        {32, 0, BI_BITFIELDS, 40 + 12},
        {16, 0, BI_RGB, 40},
        {2, 0, BI_RGB, 40 + 16},
        // Masks only where bit fields mean something: 16 and 32 bits, and 15 read as 16.
        {15, 0, BI_BITFIELDS, 40 + 12},
        {24, 0, BI_BITFIELDS, 40},
        {8, 2, BI_BITFIELDS, 40 + 8},
    };
    for (const Layout& l : layouts) {
        set(40, l.bits, l.used, l.compression);
        EXPECT_EQ(c.dibPixelData(dib), dib + l.pixelsAt) << l.bits << " bits";
    }
    set(124, 24, 0);
    c.status = 0;
    EXPECT_EQ(c.dibPixelData(dib), nullptr);
    EXPECT_EQ(c.status, 5);
    set(40, 8, 100000);
    EXPECT_EQ(c.dibPixelData(dib), nullptr) << "a table no bit count can index";
}

TEST_F(DibConverterTest, DibRowsOfEveryDepth) {
    RGBQUAD table[16] = {};
    for (int i = 0; i < 16; ++i)
        table[i] = {BYTE(i), BYTE(i * 2), BYTE(i * 3), 0};
    BYTE out[64];

    const BYTE oneBit[1] = {0xA0};
    c.dibRowToRGB(oneBit, out, 3, 1, table, 16, nullptr, false, 0);
    EXPECT_EQ(out[0], 3); // index 1, red 3
    EXPECT_EQ(out[3], 0); // index 0
    EXPECT_EQ(out[6], 3); // index 1

    const BYTE fourBit[1] = {0x52};
    c.dibRowToRGB(fourBit, out, 2, 4, table, 16, nullptr, true, 99);
    EXPECT_EQ(out[0], 15); // index 5: red 15
    EXPECT_EQ(out[3], 99);
    EXPECT_EQ(out[4], 6); // index 2: red 6

    const BYTE five55[2] = {0x1F, 0x7C}; // 0x7C1F: red 31, green 0, blue 31
    c.dibRowToRGB(five55, out, 1, 16, nullptr, 0, nullptr, false, 0);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 255);

    // 5-6-5 masks: the bits land high, the low bits are not filled in.
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    const BYTE white565[2] = {0xFF, 0xFF};
    c.dibRowToRGB(white565, out, 1, 16, nullptr, 0, masks, false, 0);
    EXPECT_EQ(out[0], 0xF8);
    EXPECT_EQ(out[1], 0xFC);
    EXPECT_EQ(out[2], 0xF8);
    // A run ending at bit 8 lands on bit 7.
    const DWORD high8[3] = {0x01FE, 0, 0};
    const BYTE v[2] = {0xFE, 0x01};
    c.dibRowToRGB(v, out, 1, 16, nullptr, 0, high8, false, 0);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0);

    const BYTE bgr[3] = {1, 2, 3};
    c.dibRowToRGB(bgr, out, 1, 24, nullptr, 0, nullptr, true, 200);
    const BYTE expect24[4] = {3, 2, 1, 200};
    EXPECT_EQ(std::memcmp(out, expect24, 4), 0);

    const BYTE bgra[4] = {1, 2, 3, 4};
    c.dibRowToRGB(bgra, out, 1, 32, nullptr, 0, nullptr, true, 200);
    const BYTE expect32[4] = {3, 2, 1, 4};
    EXPECT_EQ(std::memcmp(out, expect32, 4), 0);
}

TEST_F(DibConverterTest, IndicesAtOrPastTheTableCountAreBlack) {
    const RGBQUAD table[3] = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
    struct Case {
        int bits;
        unsigned entries;
        std::vector<BYTE> row;
        int pixels;
        std::vector<int> indices; // what each pixel should show, -1 for black
    };
    const Case cases[] = {
        {1, 1, {0x40}, 2, {0, -1}},
        {4, 3, {0x23, 0xF1}, 4, {2, -1, -1, 1}},
        {8, 3, {2, 3, 255, 0}, 4, {2, -1, -1, 0}},
        {8, 0, {0, 1}, 2, {-1, -1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.bits);
        std::vector<BYTE> out(static_cast<std::size_t>(k.pixels) * 3, 0xEE);
        c.dibRowToRGB(k.row.data(), out.data(), k.pixels, k.bits, table, k.entries, nullptr, false,
                      0);
        for (int x = 0; x < k.pixels; ++x) {
            const RGBQUAD e = k.indices[x] < 0 ? RGBQUAD{} : table[k.indices[x]];
            EXPECT_EQ(out[3 * x], e.rgbRed) << x;
            EXPECT_EQ(out[3 * x + 1], e.rgbGreen) << x;
            EXPECT_EQ(out[3 * x + 2], e.rgbBlue) << x;
        }
    }
}

// The table count of a DIB is its header's colours used, or what the bit count addresses.
TEST_F(DibConverterTest, DibToRgbBoundsIndicesByTheHeadersTable) {
    std::vector<BYTE> dib(40 + 4 + 4, 0);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = 4;
    h.biHeight = 1;
    h.biPlanes = 1;
    h.biBitCount = 8;
    h.biClrUsed = 1;
    std::memcpy(dib.data(), &h, sizeof h);
    const RGBQUAD only = {1, 2, 3, 0};
    std::memcpy(dib.data() + 40, &only, 4);
    const BYTE pixels[4] = {0, 248, 1, 0};
    std::memcpy(dib.data() + 44, pixels, 4);
    BYTE rgb[12];
    ASSERT_EQ(c.dibToRGB(dib.data(), rgb), 1);
    const BYTE expected[12] = {3, 2, 1, 0, 0, 0, 0, 0, 0, 3, 2, 1};
    EXPECT_EQ(std::memcmp(rgb, expected, 12), 0);
}

// Found by fuzzing readBMP: one colour used, pixels far past it, and a packed DIB whose table
// holds that one entry.
TEST_F(DibConverterTest, RegressionBmpDibIndexPastTable) {
    const std::string path = testing_support::regressionFile("bmp-dib-index-past-table.bmp");
    if (path.empty()) GTEST_SKIP() << "regression inputs not present";
    const auto r =
        testing_support::readPath(path, [](SourceHandle s, testing_support::ImageRead& r) {
            return readBMP(s, &r.width, &r.height, 8, r.palette, IMG_FLAG_DIB);
        });
    ASSERT_NE(r.image, nullptr);
    const BITMAPINFOHEADER h = r.header();
    ASSERT_EQ(h.biBitCount, 8);
    ASSERT_GT(h.biHeight, 0);
    const unsigned entries = h.biClrUsed != 0 ? h.biClrUsed : 256;
    ASSERT_GE(GlobalSize(r.image.get()), 40 + entries * 4 + dibRowBytes(h.biWidth, 8) * h.biHeight);
    std::vector<BYTE> rgb(static_cast<std::size_t>(h.biWidth) * h.biHeight * 3);
    ASSERT_EQ(c.dibToRGB(r.image.get(), rgb.data()), 1);
    const auto* table = reinterpret_cast<const RGBQUAD*>(r.image.get() + 40);
    const BYTE* rows = r.image.get() + 40 + entries * 4;
    bool pastTable = false;
    for (int y = 0; y < h.biHeight; ++y) {
        for (int x = 0; x < h.biWidth; ++x) {
            const BYTE index = rows[static_cast<std::size_t>(y) * dibRowBytes(h.biWidth, 8) + x];
            pastTable |= index >= entries;
            const RGBQUAD e = index < entries ? table[index] : RGBQUAD{};
            const BYTE* out =
                &rgb[(static_cast<std::size_t>(h.biHeight - 1 - y) * h.biWidth + x) * 3];
            EXPECT_EQ(out[0], e.rgbRed);
            EXPECT_EQ(out[1], e.rgbGreen);
            EXPECT_EQ(out[2], e.rgbBlue);
        }
    }
    EXPECT_TRUE(pastTable) << "the input no longer has the indices it was kept for";
}

TEST_F(DibConverterTest, UnpackingAndWidening) {
    BYTE out[16] = {};
    const BYTE packed1[2] = {0xC1, 0x80};
    c.unpackRow(packed1, out, 9, 1);
    const BYTE e1[9] = {1, 1, 0, 0, 0, 0, 0, 1, 1};
    EXPECT_EQ(std::memcmp(out, e1, 9), 0);
    const BYTE packed4[2] = {0xAB, 0xC0};
    c.unpackRow(packed4, out, 3, 4);
    EXPECT_EQ(out[0], 0xA);
    EXPECT_EQ(out[2], 0xC);

    EXPECT_EQ(c.unpackPixels(packed1, 3, 3, 1, out), 1);
    EXPECT_EQ(std::memcmp(out, e1, 9), 0) << "continuous, no row padding";
    const BYTE packed3[2] = {0b10100111, 0b01000000}; // 5, 1, 6, 4
    EXPECT_EQ(c.unpackPixels(packed3, 4, 1, 3, out), 1);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 1);
    EXPECT_EQ(out[2], 6);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(c.unpackPixels(packed3, 4, 1, 9, out), 0);
    EXPECT_EQ(c.status, 5);

    // Widening in place, as the PNG reader does for 2-bit palettes.
    BYTE row[4] = {0b11100100, 0b01000000, 0, 0}; // 3 2 1 0 1
    c.twoBitToFourBit(row, row, 2, 5);
    EXPECT_EQ(row[0], 0x32);
    EXPECT_EQ(row[1], 0x10);
    EXPECT_EQ(row[2], 0x10) << "the last half byte is padded with zero bits";
}

TEST_F(DibConverterTest, PaletteAndAlphaExpansion) {
    RGBQUAD palette[256] = {};
    palette[9] = {1, 2, 3, 0};
    const BYTE indices[4] = {9, 0, 77, 9}; // 1 x 2 with stride 2
    BYTE rgb[6];
    ASSERT_EQ(c.paletteToRGB(indices, rgb, 1, 2, 2, 3, palette), 1);
    EXPECT_EQ(rgb[0], 3);
    EXPECT_EQ(rgb[2], 1);
    EXPECT_EQ(rgb[3], 0);
    EXPECT_EQ(c.paletteToRGB(indices, rgb, 1, 2, 2, 3, nullptr), 0);
    EXPECT_EQ(c.status, 5);

    BYTE rgba[8];
    ASSERT_EQ(c.rgbToRGBA(rgb, 1, 2, 3, 4, 128, rgba), 1);
    EXPECT_EQ(rgba[0], 3);
    EXPECT_EQ(rgba[3], 128);
    EXPECT_EQ(rgba[7], 128);
}

TEST_F(DibConverterTest, DibToRgbRefusesForeignHeaders) {
    BYTE dib[48] = {};
    BITMAPINFOHEADER h{};
    h.biSize = 108;
    std::memcpy(dib, &h, sizeof h);
    BYTE rgb[3];
    EXPECT_EQ(c.dibToRGB(dib, rgb), 0);
    EXPECT_EQ(c.status, 5);
    EXPECT_EQ(c.dibToRGB(nullptr, rgb), 0);
    EXPECT_EQ(c.status, 5);
}
