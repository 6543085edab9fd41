// Run-length BMP files read as packed DIBs (their data still compressed) and drawn with
// drawDIB: GDI decodes the runs, and the pixels they skip keep what the device showed.
#include "BmpWriter.h"
#include "GdiCheck.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::Bytes;
using testing_support::GdiLeakCheckedTest;
using testing_support::suiteFile;
using testing_support::TempFile;

namespace {

constexpr COLORREF kBefore = RGB(1, 2, 3); // what the screen shows before; in no file

class DrawRleDib : public GdiLeakCheckedTest {
protected:
    void SetUp() override {
        GdiLeakCheckedTest::SetUp();
        winplatResetScreen(kBefore);
        m_screen = GetDC(nullptr);
    }
    void TearDown() override {
        ReleaseDC(nullptr, m_screen);
        GdiLeakCheckedTest::TearDown();
    }
    HDC m_screen = nullptr;
};

struct Read {
    BYTE* image = nullptr;
    int width = 0;
    int height = 0;
};

Read readFile(const std::string& path, int bits, int flags) {
    Read r;
    SourceHandle src = openFileSource(path.c_str());
    if (src == nullptr) return r;
    RGBQUAD palette[256];
    r.image = readBMP(src, &r.width, &r.height, bits, palette, flags);
    closeSource(src);
    return r;
}

TEST_F(DrawRleDib, AWrittenFileShowsItsRunsAndKeepsWhatTheySkip) {
    struct Case {
        const char* what;
        int bitCount;
        Bytes stream;
        const char* shown; // top row first: '.' entry 0, 'o' 1, 'g' 2, 'b' 3, '-' untouched
    };
    const Case cases[] = {
        {"RLE8",
         8,
         {0, 4, 3, 2, 1, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0, 1, 3, 0, 0, 0, 1},
         "----\n.o-b\nbgo.\n"},
        {"RLE8 ended early", 8, {4, 2, 0, 1}, "----\n----\ngggg\n"},
        {"RLE4", 4, {4, 0x12, 0, 0, 0, 2, 1, 0, 1, 0x30, 0, 1}, "----\n-b--\nogog\n"},
    };
    const std::vector<std::array<std::uint8_t, 4>> palette = {
        {0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        winplatResetScreen(kBefore);
        testing_support::BmpSpec s;
        s.width = 4;
        s.height = 3;
        s.bitCount = c.bitCount;
        s.compression = c.bitCount == 8 ? BI_RLE8 : BI_RLE4;
        s.palette = palette;
        s.pixels = c.stream;
        const TempFile file(testing_support::writeBmp(s), ".bmp");
        const Read dib = readFile(file.path(), 0, IMG_FLAG_DIB);
        ASSERT_NE(dib.image, nullptr);
        EXPECT_EQ(drawDIB(m_screen, dib.image, 0, 0, 4, 3), 1);
        GlobalFree(dib.image);
        std::string out;
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4; ++x) {
                const COLORREF p = GetPixel(m_screen, x, y);
                out += p == kBefore          ? '-'
                       : p == RGB(0, 0, 0)   ? '.'
                       : p == RGB(255, 0, 0) ? 'o'
                       : p == RGB(0, 255, 0) ? 'g'
                       : p == RGB(0, 0, 255) ? 'b'
                                             : '?';
            }
            out += '\n';
        }
        EXPECT_EQ(out, c.shown);
    }
}

TEST_F(DrawRleDib, AnImageSizeBeyondTheFileIsCutToTheBlock) {
    testing_support::BmpSpec s;
    s.width = 4;
    s.height = 3;
    s.bitCount = 8;
    s.compression = BI_RLE8;
    s.palette = {{0, 0, 0, 0}, {0, 0, 255, 0}};
    // Runs that never end, so that only the image size stops them.
    for (int i = 0; i < 32; ++i)
        s.pixels.insert(s.pixels.end(), {0, 2, 0, 0});
    Bytes file = testing_support::writeBmp(s);
    const std::uint32_t claimed = 0x10000000;
    std::memcpy(file.data() + 14 + 20, &claimed, 4);
    const TempFile f(file, ".bmp");
    const Read dib = readFile(f.path(), 0, IMG_FLAG_DIB);
    ASSERT_NE(dib.image, nullptr);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.image, sizeof h);
    EXPECT_LE(h.biSizeImage, GlobalSize(dib.image) - 40 - 8) << "no more than the block holds";
    EXPECT_EQ(drawDIB(m_screen, dib.image, 0, 0, 4, 3), 1);
    EXPECT_EQ(GetPixel(m_screen, 0, 0), kBefore) << "deltas only";
    GlobalFree(dib.image);
}

TEST_F(DrawRleDib, SuiteFilesShowWhatTheReaderDecodes) {
    struct Case {
        const char* file;
        bool skips; // the runs leave pixels out, which the reader fills and GDI leaves alone
    };
    const Case cases[] = {
        {"bmpsuite/g/pal8rle.bmp", false},    {"bmpsuite/g/pal4rle.bmp", false},
        {"bmpsuite/q/pal8rletrns.bmp", true}, {"bmpsuite/q/pal4rletrns.bmp", true},
        {"bmpsuite/q/pal8rlecut.bmp", true},  {"bmpsuite/q/pal4rlecut.bmp", true},
    };
    if (suiteFile(cases[0].file).empty()) GTEST_SKIP() << "bmpsuite not present";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        winplatResetScreen(kBefore);
        const std::string path = suiteFile(c.file);
        const Read rgb = readFile(path, 24, 0);
        const Read dib = readFile(path, 0, IMG_FLAG_DIB);
        ASSERT_NE(rgb.image, nullptr);
        ASSERT_NE(dib.image, nullptr);
        EXPECT_EQ(drawDIB(m_screen, dib.image, 0, 0, dib.width, dib.height), 1);
        int drawn = 0;
        for (int y = 0; y < rgb.height; ++y)
            for (int x = 0; x < rgb.width; ++x) {
                const BYTE* p = rgb.image + (static_cast<std::size_t>(y) * rgb.width + x) * 3;
                const COLORREF shown = GetPixel(m_screen, x, y);
                if (shown == kBefore && c.skips) continue;
                ++drawn;
                ASSERT_EQ(shown, RGB(p[0], p[1], p[2])) << x << ", " << y;
            }
        EXPECT_GT(drawn, rgb.width * rgb.height / 2);
        GlobalFree(rgb.image);
        GlobalFree(dib.image);
    }
}

} // namespace
