// The public BMP suite, read in place: every file through every entry point and output, and
// the good files against the suite's reference renderings.
#include "CDibConverter.h"
#include "FileBytes.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <vector>

using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::suiteFile;
using testing_support::suiteFiles;

namespace {

struct Image {
    int width = 0;
    int height = 0;
    Bytes rgb; // top-down, red first
};

Image decodePng(const std::string& path) {
    Image image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = PNG_FORMAT_RGB;
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return {};
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    return image;
}

struct Read {
    int error = -1;
    Image image;
    bool returned = false;
};

Read readBmpFile(const std::string& path, int bitsPerPixel) {
    Read r;
    SourceHandle src = openFileSource(path.c_str());
    RGBQUAD palette[256];
    BYTE* out = readBMP(src, &r.image.width, &r.image.height, bitsPerPixel, palette, 0);
    r.error = getLastError();
    if (out != nullptr) {
        r.returned = true;
        r.image.rgb.assign(out, out + GlobalSize(out));
        GlobalFree(out);
    }
    closeSource(src);
    return r;
}

// How the library's result relates to the suite's rendering.
enum Rule {
    kSame,
    kRefused,        // header of 108 or 124 bytes: status 6
    kTruncated555,   // 16-bit without masks: each 5-bit value x 255 / 31, truncated
    kLow555Dropped,  // 16-bit masks shift each channel's top bit to bit 7, lower bits stay 0
    kLow565Dropped,  // the same for 5-6-5
    kMasksIgnored32, // 32-bit rows are blue, green, red, fourth byte whatever the masks say
};

struct Good {
    const char* file;
    const char* reference;
    Rule rule;
};

const Good kGood[] = {
    {"pal1.bmp", "pal1.png", kSame},
    {"pal1wb.bmp", "pal1.png", kSame},
    {"pal1bg.bmp", "pal1bg.png", kSame},
    {"pal4.bmp", "pal4.png", kSame},
    {"pal4gs.bmp", "pal4gs.png", kSame},
    {"pal4rle.bmp", "pal4.png", kSame},
    {"pal8.bmp", "pal8.png", kSame},
    {"pal8-0.bmp", "pal8.png", kSame},
    {"pal8gs.bmp", "pal8gs.png", kSame},
    {"pal8rle.bmp", "pal8.png", kSame},
    {"pal8w126.bmp", "pal8w126.png", kSame},
    {"pal8w125.bmp", "pal8w125.png", kSame},
    {"pal8w124.bmp", "pal8w124.png", kSame},
    {"pal8topdown.bmp", "pal8.png", kSame},
    {"pal8nonsquare.bmp", "pal8nonsquare-e.png", kSame},
    {"pal8os2.bmp", "pal8.png", kSame},
    {"pal8v4.bmp", "pal8.png", kRefused},
    {"pal8v5.bmp", "pal8.png", kRefused},
    {"rgb16.bmp", "rgb16.png", kTruncated555},
    {"rgb16bfdef.bmp", "rgb16.png", kLow555Dropped},
    {"rgb16-565.bmp", "rgb16-565.png", kLow565Dropped},
    {"rgb16-565pal.bmp", "rgb16-565.png", kLow565Dropped},
    {"rgb24.bmp", "rgb24.png", kSame},
    {"rgb24pal.bmp", "rgb24.png", kSame},
    {"rgb32.bmp", "rgb24.png", kSame},
    {"rgb32bfdef.bmp", "rgb24.png", kSame},
    {"rgb32bf.bmp", "rgb24.png", kMasksIgnored32},
};

// What the rows of a bottom-up 32-bit file give when only their byte order counts.
Bytes rawThirtyTwoBitRows(const std::string& path, int width, int height) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    Bytes file;
    if (f != nullptr) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            file.push_back(static_cast<std::uint8_t>(c));
        std::fclose(f);
    }
    Bytes rgb;
    if (file.size() < 14) return rgb;
    const std::size_t offset = file[10] | file[11] << 8 | file[12] << 16;
    for (int y = 0; y < height; ++y) {
        const std::size_t row = offset + static_cast<std::size_t>(height - 1 - y) * width * 4;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &file[row + 4 * x];
            rgb.insert(rgb.end(), {p[2], p[1], p[0]});
        }
    }
    return rgb;
}

Bytes dropLowBits(const Bytes& rgb, const int (&kept)[3]) {
    Bytes out = rgb;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint8_t>(out[i] & (0xFF << (8 - kept[i % 3])));
    return out;
}

// The reference's channels scaled from five bits with rounding, scaled again by truncation.
Bytes truncatedFiveBits(const Bytes& rgb) {
    Bytes out = rgb;
    for (std::uint8_t& v : out)
        v = static_cast<std::uint8_t>((v >> 3) * 255 / 31);
    return out;
}

std::size_t differences(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// The files of all four folders: good, questionable, bad and extra.
std::vector<std::string> everySuiteFile() {
    std::vector<std::string> files;
    for (const char* folder : {"bmpsuite/g", "bmpsuite/q", "bmpsuite/b", "bmpsuite/x"})
        for (const std::string& f : suiteFiles(folder))
            files.push_back(f);
    return files;
}

} // namespace

class BmpSuiteTest : public LeakCheckedTest {};

TEST_F(BmpSuiteTest, EveryFileEveryEntryPointWithoutCrashOrLeak) {
    const std::vector<std::string> files = everySuiteFile();
    if (files.empty()) GTEST_SKIP() << "bmpsuite not present";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        SourceHandle src = openFileSource(path.c_str());
        ASSERT_NE(src, nullptr);
        int width, height, bits, count;
        ImgResolution res;
        RGBQUAD palette[256];
        getBMPInfo(src, &width, &height, &bits, &res);
        seekSource(src, 0, 0);
        readBMPPalette(src, &count, palette);
        for (int flags : {0, IMG_FLAG_DIB}) {
            for (int depth : {1, 8, 24, 32}) {
                seekSource(src, 0, 0);
                BYTE* out = readBMP(src, &width, &height, depth, palette, flags);
                const int error = getLastError();
                EXPECT_TRUE(out != nullptr || error != 0) << "no image without a reason";
                if (out != nullptr) GlobalFree(out);
            }
        }
        closeSource(src);
    }
}

TEST_F(BmpSuiteTest, BadFilesGiveTheirCodes) {
    struct Case {
        const char* file;
        int depth;
        int flags;
        int error;
        bool image;
    } cases[] = {
        {"badbitcount.bmp", 24, 0, 6, false},   {"badheadersize.bmp", 24, 0, 6, false},
        {"badpalettesize.bmp", 8, 0, 6, false}, {"badwidth.bmp", 8, 0, 6, false},
        {"badwidth.bmp", 24, 0, 6, false},      {"reallybig.bmp", 24, 0, 1, false},
        {"reallybig.bmp", 0, 2, 1, false},      {"rletopdown.bmp", 8, 0, 6, false},
        {"shortfile.bmp", 8, 0, 3, true},       {"shortfile.bmp", 0, 2, 0, true},
    };
    for (const Case& c : cases) {
        const std::string path = suiteFile(std::string("bmpsuite/b/") + c.file);
        if (path.empty()) GTEST_SKIP() << "bmpsuite not present";
        SCOPED_TRACE(path);
        SourceHandle src = openFileSource(path.c_str());
        int width, height;
        RGBQUAD palette[256];
        BYTE* out = readBMP(src, &width, &height, c.depth, palette, c.flags);
        EXPECT_EQ(getLastError(), c.error);
        EXPECT_EQ(out != nullptr, c.image);
        if (out != nullptr) GlobalFree(out);
        closeSource(src);
    }
}

TEST_F(BmpSuiteTest, GoodFilesMatchTheReferencesWhereTheLibraryAgrees) {
    for (const Good& g : kGood) {
        const std::string path = suiteFile(std::string("bmpsuite/g/") + g.file);
        const std::string ref = suiteFile(std::string("bmpsuite/html/") + g.reference);
        if (path.empty() || ref.empty()) GTEST_SKIP() << "bmpsuite not present";
        SCOPED_TRACE(g.file);
        const Image expected = decodePng(ref);
        ASSERT_FALSE(expected.rgb.empty());
        const Read got = readBmpFile(path, 24);
        if (g.rule == kRefused) {
            EXPECT_EQ(got.error, 6);
            EXPECT_FALSE(got.returned);
            continue;
        }
        EXPECT_EQ(got.error, 0);
        EXPECT_EQ(got.image.width, expected.width);
        EXPECT_EQ(got.image.height, expected.height);
        switch (g.rule) {
        case kTruncated555:
            EXPECT_EQ(differences(got.image.rgb, truncatedFiveBits(expected.rgb)), 0u);
            break;
        case kLow555Dropped:
            EXPECT_EQ(differences(got.image.rgb, dropLowBits(expected.rgb, {5, 5, 5})), 0u);
            break;
        case kLow565Dropped:
            EXPECT_EQ(differences(got.image.rgb, dropLowBits(expected.rgb, {5, 6, 5})), 0u);
            break;
        case kMasksIgnored32:
            EXPECT_EQ(differences(got.image.rgb,
                                  rawThirtyTwoBitRows(path, expected.width, expected.height)),
                      0u);
            EXPECT_NE(differences(got.image.rgb, expected.rgb), 0u);
            break;
        default:
            EXPECT_EQ(differences(got.image.rgb, expected.rgb), 0u);
        }
    }
}

TEST_F(BmpSuiteTest, IndexedOutputLooksUpToTheSameColours) {
    for (const Good& g : kGood) {
        const std::string name = g.file;
        if (name.rfind("pal", 0) != 0 || g.rule != kSame) continue;
        const std::string path = suiteFile("bmpsuite/g/" + name);
        if (path.empty()) GTEST_SKIP() << "bmpsuite not present";
        SCOPED_TRACE(name);
        SourceHandle src = openFileSource(path.c_str());
        int width = 0, height = 0;
        RGBQUAD palette[256];
        BYTE* indices = readBMP(src, &width, &height, 8, palette, 0);
        ASSERT_NE(indices, nullptr);
        EXPECT_EQ(getLastError(), 0);
        const Read rgb = readBmpFile(path, 24);
        Bytes looked;
        for (int i = 0; i < width * height; ++i) {
            const RGBQUAD& e = palette[indices[i]];
            looked.insert(looked.end(), {e.rgbRed, e.rgbGreen, e.rgbBlue});
        }
        EXPECT_EQ(differences(looked, rgb.image.rgb), 0u);
        GlobalFree(indices);
        closeSource(src);
    }
}

TEST_F(BmpSuiteTest, EveryPackedDibHoldsWhatItsHeaderDescribes) {
    const std::vector<std::string> files = everySuiteFile();
    if (files.empty()) GTEST_SKIP() << "bmpsuite not present";
    img::CDibConverter convert;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        SourceHandle src = openFileSource(path.c_str());
        ASSERT_NE(src, nullptr);
        int width = 0, height = 0;
        RGBQUAD palette[256];
        BYTE* dib = readBMP(src, &width, &height, 0, palette, IMG_FLAG_DIB);
        closeSource(src);
        if (dib == nullptr) continue;
        BITMAPINFOHEADER h;
        std::memcpy(&h, dib, sizeof h);
        const std::uint64_t bits = h.biBitCount;
        const std::uint64_t entries =
            bits >= 1 && bits <= 8 ? (h.biClrUsed != 0 ? h.biClrUsed : 1u << bits) : 0;
        const bool masks =
            h.biCompression == BI_BITFIELDS && (bits == 15 || bits == 16 || bits == 32);
        const bool plain = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
        const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.biWidth) * bits + 31) / 32 * 4;
        const std::uint64_t rows = static_cast<std::uint64_t>(std::abs(h.biHeight));
        const std::uint64_t pixelsAt = 40 + entries * 4 + (masks ? 12 : 0);
        EXPECT_GE(GlobalSize(dib), pixelsAt + (plain ? rowBytes * rows : h.biSizeImage))
            << bits << " bits, compression " << h.biCompression;
        const BYTE* data = convert.dibPixelData(dib);
        EXPECT_EQ(data, dib + pixelsAt) << bits << " bits";
        // Where the file's rows are all there, the DIB's pixels are the file's bytes.
        const Bytes file = testing_support::readWholeFile(path);
        DWORD offset;
        std::memcpy(&offset, file.data() + 10, 4);
        if (data != nullptr && plain && file.size() >= offset + rowBytes * rows) {
            EXPECT_EQ(std::memcmp(data, file.data() + offset, rowBytes * rows), 0)
                << bits << " bits: the pixels start where the table ends";
        }
        GlobalFree(dib);
    }
}
