// Run-length DIBs drawn with StretchDIBits: runs, absolute runs, deltas and the end codes,
// with the pixels the runs skip left as they were, and streams that try to leave the bitmap.
#include "GdiCheck.h"
#include "TestFiles.h"
#include "win32/win32.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using testing_support::Bytes;
using testing_support::GdiLeakCheckedTest;

namespace {

constexpr int kWidth = 4;
constexpr int kHeight = 3;

struct RleInfo {
    BITMAPINFOHEADER header;
    RGBQUAD table[4];
};

// Entries 0..3: black, red, green, blue.
RleInfo rleInfo(DWORD compression, DWORD sizeImage, int height = kHeight) {
    RleInfo d{};
    d.header = {40,
                kWidth,
                height,
                1,
                static_cast<WORD>(compression == BI_RLE8 ? 8 : 4),
                compression,
                sizeImage,
                0,
                0,
                4,
                0};
    d.table[1] = {0, 0, 255, 0};
    d.table[2] = {0, 255, 0, 0};
    d.table[3] = {255, 0, 0, 0};
    return d;
}

// The screen's top-left corner in characters: '.' black, 'o' red, 'g' green, 'b' blue, '-'
// white (what was there before), '?' anything else.
std::string picture(HDC dc) {
    static const std::map<COLORREF, char> names = {{RGB(0, 0, 0), '.'},
                                                   {RGB(255, 0, 0), 'o'},
                                                   {RGB(0, 255, 0), 'g'},
                                                   {RGB(0, 0, 255), 'b'},
                                                   {RGB(255, 255, 255), '-'}};
    std::string out;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto it = names.find(GetPixel(dc, x, y));
            out += it != names.end() ? it->second : '?';
        }
        out += '\n';
    }
    return out;
}

class GdiRunLength : public GdiLeakCheckedTest {
protected:
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        winplatResetScreen(RGB(255, 255, 255));
    }
};

TEST_F(GdiRunLength, RunsAreDecodedAndSkippedPixelsKept) {
    struct Case {
        const char* what;
        DWORD compression;
        Bytes stream;
        DWORD sizeImage; // 0: the stream's length
        const char* shown;
    };
    const Case cases[] = {
        {"runs and ends of line",
         BI_RLE8,
         {4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 1, 1, 0, 1},
         0,
         "o---\nggbb\noooo\n"},
        {"absolute run, padded", BI_RLE8, {0, 3, 1, 2, 3, 0, 1, 0, 0, 1}, 0, "----\n----\nogb.\n"},
        {"delta", BI_RLE8, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}, 0, "----\n---g\no---\n"},
        {"end of bitmap", BI_RLE8, {2, 1, 0, 1, 4, 2}, 0, "----\n----\noo--\n"},
        {"a run past the row is cut there",
         BI_RLE8,
         {9, 1, 0, 0, 1, 2, 0, 1},
         0,
         "----\ng---\noooo\n"},
        {"a delta past the row is cut there",
         BI_RLE8,
         {0, 2, 200, 0, 1, 1, 0, 0, 1, 2, 0, 1},
         0,
         "----\ng---\n----\n"},
        {"a delta above the top ends it",
         BI_RLE8,
         {0, 2, 0, 9, 1, 1, 0, 1},
         0,
         "----\n----\n----\n"},
        {"an absolute run past the data", BI_RLE8, {1, 3, 0, 8, 1, 1}, 0, "----\n----\nb---\n"},
        {"a delta cut off", BI_RLE8, {1, 3, 0, 2, 1}, 0, "----\n----\nb---\n"},
        {"the image size ends the stream",
         BI_RLE8,
         {4, 1, 0, 0, 4, 2, 0, 1},
         4,
         "----\n----\noooo\n"},
        {"no end codes", BI_RLE8, {4, 3}, 0, "----\n----\nbbbb\n"},
        {"rows past the top are not drawn",
         BI_RLE8,
         {4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 4, 2},
         0,
         "oooo\noooo\noooo\n"},
        {"RLE4 runs alternate their two pixels",
         BI_RLE4,
         {4, 0x12, 0, 0, 3, 0x30, 0, 1},
         0,
         "----\nb.b-\nogog\n"},
        {"RLE4 absolute run of odd length",
         BI_RLE4,
         {0, 3, 0x12, 0x30, 0, 1},
         0,
         "----\n----\nogb-\n"},
        {"RLE4 absolute run, padded",
         BI_RLE4,
         {0, 5, 0x12, 0x31, 0x20, 0, 0, 0, 1, 0x30, 0, 1},
         0,
         "----\nb---\nogbo\n"},
    };
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        winplatResetScreen(RGB(255, 255, 255));
        const DWORD size = c.sizeImage != 0 ? c.sizeImage : static_cast<DWORD>(c.stream.size());
        // Exactly the bytes the header admits, so that reading further is caught.
        const Bytes bits(c.stream.begin(), c.stream.begin() + size);
        const RleInfo info = rleInfo(c.compression, size);
        EXPECT_EQ(StretchDIBits(screen, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, bits.data(),
                                reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                SRCCOPY),
                  kHeight);
        EXPECT_EQ(picture(screen), c.shown);
    }
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiRunLength, WithoutAnImageSizeTheUnpackedSizeBoundsTheStream) {
    // Twelve bytes (4 x 3 unpacked) of one-pixel runs, then a row that is not read.
    // Written out whole: GCC 12 at -O3 misjudges range inserts that grow a vector.
    const Bytes stream = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 4, 2};
    const RleInfo info = rleInfo(BI_RLE8, 0);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(StretchDIBits(screen, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, stream.data(),
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              kHeight);
    EXPECT_EQ(picture(screen), "----\n----\noooo\n");
    ReleaseDC(nullptr, screen);
}

// An 8192 x 8192 bitmap of which the runs set fourteen pixels, shrunk into 16 x 16: each target
// pixel stands for 512 x 512 source pixels, and only those the runs set are combined.
TEST_F(GdiRunLength, AVastBitmapWithFewRunsShrinksToWhatTheRunsSet) {
    constexpr int kSide = 8192;
    constexpr COLORREF kBlue = RGB(0, 0, 255);
    constexpr COLORREF kWhite = RGB(255, 255, 255);
    struct Case {
        DWORD compression;
        int mode;
        bool mirrored;       // the target measured back from its right edge
        COLORREF bottomLeft; // ten red pixels of the bottom row and three green ones above
        COLORREF topLeft;    // one blue pixel
    };
    const Case cases[] = {
        {BI_RLE8, BLACKONWHITE, false, RGB(0, 0, 0), kBlue},
        {BI_RLE8, WHITEONBLACK, false, RGB(255, 255, 0), kBlue},
        {BI_RLE8, HALFTONE, false, RGB(196, 59, 0), kBlue},
        // The pixel at the centre of each share is one the runs left alone.
        {BI_RLE8, COLORONCOLOR, false, kWhite, kWhite},
        {BI_RLE4, BLACKONWHITE, false, RGB(0, 0, 0), kBlue},
        {BI_RLE4, WHITEONBLACK, false, RGB(255, 255, 0), kBlue},
        {BI_RLE4, HALFTONE, false, RGB(196, 59, 0), kBlue},
        {BI_RLE4, COLORONCOLOR, false, kWhite, kWhite},
        {BI_RLE8, WHITEONBLACK, true, RGB(255, 255, 0), kBlue},
        {BI_RLE4, HALFTONE, true, RGB(196, 59, 0), kBlue},
    };
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "compression " << c.compression << ", mode " << c.mode
                                        << ", mirrored " << c.mirrored);
        const bool four = c.compression == BI_RLE4;
        // Red at (0..9, 8191); the end of the line and a move 200 along and 255 up put green at
        // (200..202, 7935); 31 moves of 255 up put blue at (203, 30).
        Bytes stream = {10, static_cast<BYTE>(four ? 0x11 : 1), 0, 0, 0, 2, 200, 255,
                        3,  static_cast<BYTE>(four ? 0x22 : 2)};
        for (int k = 0; k < 31; ++k)
            for (BYTE b : {0, 2, 0, 255})
                stream.push_back(b);
        for (BYTE b : {1, static_cast<int>(four ? 0x30 : 3), 0, 1})
            stream.push_back(b);
        RleInfo info = rleInfo(c.compression, static_cast<DWORD>(stream.size()), kSide);
        info.header.biWidth = kSide;
        winplatResetScreen(kWhite);
        SetStretchBltMode(screen, c.mode);
        ASSERT_EQ(StretchDIBits(screen, c.mirrored ? 16 : 0, 0, c.mirrored ? -16 : 16, 16, 0, 0,
                                kSide, kSide, stream.data(),
                                reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                SRCCOPY),
                  kSide);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const COLORREF shown = x != (c.mirrored ? 15 : 0) ? kWhite
                                       : y == 15                  ? c.bottomLeft
                                       : y == 0                   ? c.topLeft
                                                                  : kWhite;
                ASSERT_EQ(GetPixel(screen, x, y), shown) << x << ", " << y;
            }
    }
    SetStretchBltMode(screen, BLACKONWHITE);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiRunLength, HeadersThatDoNotDescribeRunsAreRefused) {
    const Bytes stream = {4, 1, 0, 1};
    struct Case {
        const char* what;
        RleInfo info;
    };
    Case cases[] = {
        {"RLE8 of 4 bits", rleInfo(BI_RLE8, 4)},
        {"RLE4 of 8 bits", rleInfo(BI_RLE4, 4)},
        {"top-down", rleInfo(BI_RLE8, 4, -kHeight)},
        {"a bitmap too vast to unpack", rleInfo(BI_RLE8, 4, 0x7FFFFFFF)},
    };
    cases[0].info.header.biBitCount = 4;
    cases[1].info.header.biBitCount = 8;
    cases[3].info.header.biWidth = 0x40000;
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases)
        EXPECT_EQ(StretchDIBits(screen, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, stream.data(),
                                reinterpret_cast<const BITMAPINFO*>(&c.info), DIB_RGB_COLORS,
                                SRCCOPY),
                  0)
            << c.what;
    EXPECT_EQ(picture(screen), "----\n----\n----\n");
    ReleaseDC(nullptr, screen);
}

} // namespace
