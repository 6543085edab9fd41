// The public libtiff test images: every file on every path, the valid ones against libtiff's
// own decoding and the suite's reference pictures, and prefixes of files cut short.
#include "HeapWatch.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "TiffTestRead.h"
#include "TiffWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string_view>
#include <tiffio.h>
#include <vector>

using testing_support::Bytes;
using tiff_test::Result;

namespace {

const std::set<int> kReaderCodes = {0, 1, 5, 17, 20, 28};

std::vector<std::string> suite() {
    return testing_support::suiteFiles("libtiff-images");
}

bool isTiff(const std::string& path) {
    const auto dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot);
    return ext == ".tif" || ext == ".tiff";
}

// Every TIFF file of the suites: libtiff's own images and the other collections' TIFF folders.
std::vector<std::string> everyTiffFolder() {
    std::vector<std::string> files;
    for (const char* folder : {"libtiff-images", "imagetestsuite/tif", "samples/tiff"})
        for (const std::string& path : testing_support::suiteFiles(folder))
            if (isTiff(path)) files.push_back(path);
    return files;
}

std::string shortName(const std::string& path) {
    const auto at = path.find("libtiff-images/");
    return at == std::string::npos ? path : path.substr(at + 15);
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// libtiff's own decoding of page 0 as top-down R, G, B, A, or empty when libtiff refuses it
// or stops on an error.
struct Reference {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint16_t alpha = EXTRASAMPLE_UNSPECIFIED; // what the file says of its first extra sample
    std::uint16_t photometric = 0;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    bool ok() const { return !pixels.empty(); }
    int channel(std::size_t i, int c) const { return (pixels[i] >> (8 * c)) & 0xFF; }
};

// Whether a 32-bit pixel of ours shows libtiff's decoding: libtiff passes associated alpha
// through as stored and premultiplies unassociated RGB, where ours is straight.
bool sameAs32(const Reference& ref, std::size_t i, const BYTE* ours) {
    const int a = ours[3];
    for (int c = 0; c < 4; ++c) {
        int expected = ref.channel(i, c);
        int got = ours[c];
        if (c < 3 && ref.alpha == EXTRASAMPLE_ASSOCALPHA && a != 0 && a != 255)
            expected = std::min(255, (expected * 255 + a / 2) / a);
        if (c < 3 && ref.alpha == EXTRASAMPLE_UNASSALPHA && ref.photometric == PHOTOMETRIC_RGB)
            got = (got * a + 127) / 255;
        if (got != expected) return false;
    }
    return true;
}

Reference libtiffDecoding(const std::string& path) {
    Reference r;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return r;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r.height);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &r.photometric);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &r.orientation);
    std::uint16_t extra = 0;
    const std::uint16_t* kinds = nullptr;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds) == 1 && extra > 0)
        r.alpha = kinds[0];
    char message[1024];
    if (std::uint64_t(r.width) * r.height <= (1u << 26) && TIFFRGBAImageOK(tif, message)) {
        r.pixels.resize(std::size_t(r.width) * r.height);
        if (!TIFFReadRGBAImageOriented(tif, r.width, r.height, r.pixels.data(), ORIENTATION_TOPLEFT,
                                       1))
            r.pixels.clear();
    }
    TIFFClose(tif);
    return r;
}

void expectWellFormed(const Result& r, const std::string& what) {
    EXPECT_TRUE(kReaderCodes.count(r.status) != 0) << what << ": status " << r.status;
    EXPECT_EQ(r.pixels != nullptr, r.status == 0) << what << ": status " << r.status;
}

// A PNM picture (P4, P5 or P6) as samples scaled to 8 bits; for P4, 0 white and 255 black.
struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<int> samples;
};

Pnm readPnm(const std::string& path) {
    Pnm p;
    const Bytes b = fileBytes(path);
    std::size_t at = 2;
    auto number = [&] {
        while (at < b.size() && (std::isspace(b[at]) || b[at] == '#')) {
            if (b[at] == '#')
                while (at < b.size() && b[at] != '\n')
                    ++at;
            else
                ++at;
        }
        int v = 0;
        while (at < b.size() && std::isdigit(b[at]))
            v = v * 10 + (b[at++] - '0');
        return v;
    };
    const char kind = static_cast<char>(b[1]);
    p.width = number();
    p.height = number();
    const int maxval = kind == '4' ? 1 : number();
    ++at;
    p.channels = kind == '6' ? 3 : 1;
    const std::size_t count = std::size_t(p.width) * p.height * p.channels;
    for (std::size_t i = 0; i < count; ++i) {
        if (kind == '4') {
            const std::size_t rowBytes = (p.width + 7) / 8;
            const std::size_t y = i / p.width, x = i % p.width;
            p.samples.push_back((b[at + y * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? 255 : 0);
        } else if (maxval > 255) {
            p.samples.push_back(((b[at + 2 * i] << 8) | b[at + 2 * i + 1]) >> 8);
        } else {
            p.samples.push_back(b[at + i]);
        }
    }
    return p;
}

} // namespace

class TiffSuiteTest : public testing_support::LeakCheckedTest {
protected:
    void SetUp() override {
        if (suite().empty()) GTEST_SKIP() << "libtiff-images not found";
    }
};

TEST_F(TiffSuiteTest, EveryFileReadsOnEveryPathWithACode) {
    struct Mode {
        int bitsPerPixel, flags;
    };
    const Mode modes[] = {{1, 0},  {8, 0},  {16, 0},           {24, 0},
                          {32, 0}, {32, 4}, {0, IMG_FLAG_DIB}, {0, IMG_FLAG_DIB | 4},
                          {8, 1}};
    for (const std::string& path : suite()) {
        const std::string name = shortName(path);
        for (const Mode& m : modes)
            expectWellFormed(tiff_test::readFile(path, m.bitsPerPixel, m.flags),
                             name + " at " + std::to_string(m.bitsPerPixel) + " flags " +
                                 std::to_string(m.flags));
        // Later pages, where IFD chains loop back or run out.
        for (int page = 1; page <= 3; ++page) {
            const Result r = tiff_test::readFile(path, 24, 0, page);
            EXPECT_TRUE(r.status == 0 || r.status == 5 || r.status == 20)
                << name << " page " << page;
        }
        SourceHandle src = openFileSource(path.c_str());
        int w = 0, h = 0, bits = 0;
        const int ok = getTIFFInfo(src, 0, &w, &h, &bits, nullptr);
        EXPECT_EQ(ok != 0, isTiff(path)) << name << ": status " << getLastError();
        closeSource(src);
    }
}

TEST_F(TiffSuiteTest, TrueColourIsLibtiffsOwnDecoding) {
    for (const std::string& path : everyTiffFolder()) {
        if (!isTiff(path)) continue;
        const std::string name = shortName(path);
        const Reference ref = libtiffDecoding(path);
        // libtiff's oriented read does not turn the picture; the orientation tests cover that.
        if (ref.orientation >= ORIENTATION_LEFTTOP) continue;
        for (int bits : {24, 32}) {
            const Result r = tiff_test::readFile(path, bits, 0);
            if (!ref.ok()) {
                EXPECT_EQ(r.status, 20) << name << " at " << bits << ": libtiff refuses it";
                continue;
            }
            ASSERT_EQ(r.status, 0) << name << " at " << bits;
            ASSERT_EQ(r.width, int(ref.width)) << name;
            ASSERT_EQ(r.height, int(ref.height)) << name;
            const int step = bits / 8;
            std::size_t differ = 0;
            for (std::size_t i = 0; i < ref.pixels.size(); ++i) {
                if (bits == 32) {
                    differ += !sameAs32(ref, i, r.pixels + i * 4);
                    continue;
                }
                for (int c = 0; c < step; ++c)
                    differ += r.pixels[i * step + c] != ref.channel(i, c);
            }
            EXPECT_EQ(differ, 0u) << name << " at " << bits;
        }
    }
}

TEST_F(TiffSuiteTest, IndexedAndBilevelPixelsShowWhatLibtiffShows) {
    // Colour maps of 16 bits are scaled by v x 255 / 65535 here and by v / 256 in libtiff.
    const int tolerance = 1;
    for (const std::string& path : suite()) {
        if (!isTiff(path)) continue;
        const std::string name = shortName(path);
        const Reference ref = libtiffDecoding(path);
        if (!ref.ok()) continue;
        for (int bits : {1, 8}) {
            const Result r = tiff_test::readFile(path, bits, 0);
            if (r.status != 0) continue;
            ASSERT_EQ(r.width, int(ref.width)) << name;
            const std::size_t stride = bits == 1 ? (r.width + 7) / 8 : r.width;
            std::size_t differ = 0;
            for (std::size_t y = 0; y < ref.height; ++y)
                for (std::size_t x = 0; x < ref.width; ++x) {
                    const BYTE* row = r.pixels + y * stride;
                    const int index = bits == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
                    const RGBQUAD& e = r.palette[index];
                    const int shown[3] = {e.rgbRed, e.rgbGreen, e.rgbBlue};
                    for (int c = 0; c < 3; ++c)
                        differ +=
                            std::abs(shown[c] - ref.channel(y * ref.width + x, c)) > tolerance;
                }
            EXPECT_EQ(differ, 0u) << name << " at " << bits;
        }
    }
}

TEST_F(TiffSuiteTest, ReferencePicturesOfTheSuite) {
    struct Case {
        const char* tiff;
        const char* pnm;
        int bitsPerPixel;
        int tolerance;
    };
    const Case cases[] = {
        {"libtiff-images/minisblack-1c-8b.tiff", "libtiff-images/ref/minisblack-1c-8b.pgm", 8, 0},
        {"libtiff-images/miniswhite-1c-1b.tiff", "libtiff-images/ref/miniswhite-1c-1b.pbm", 1, 0},
        {"libtiff-images/rgb-3c-8b.tiff", "libtiff-images/ref/rgb-3c-8b.ppm", 24, 0},
        {"libtiff-images/rgb-3c-16b.tiff", "libtiff-images/ref/rgb-3c-16b.ppm", 24, 1},
    };
    for (const Case& k : cases) {
        const std::string tiff = testing_support::suiteFile(k.tiff);
        const std::string pnm = testing_support::suiteFile(k.pnm);
        if (tiff.empty() || pnm.empty()) continue;
        const Pnm ref = readPnm(pnm);
        const Result r = tiff_test::readFile(tiff, k.bitsPerPixel, 0);
        ASSERT_EQ(r.status, 0) << k.tiff;
        ASSERT_EQ(r.width, ref.width);
        ASSERT_EQ(r.height, ref.height);
        std::size_t differ = 0;
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x)
                for (int c = 0; c < ref.channels; ++c) {
                    const int want =
                        ref.samples[(std::size_t(y) * ref.width + x) * ref.channels + c];
                    int got = 0;
                    if (k.bitsPerPixel == 1) {
                        const BYTE* row = r.pixels + std::size_t(y) * ((r.width + 7) / 8);
                        got = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0; // 1 is black
                    } else if (k.bitsPerPixel == 8) {
                        got = r.palette[r.pixels[std::size_t(y) * r.width + x]].rgbRed;
                    } else {
                        got = r.pixels[(std::size_t(y) * r.width + x) * 3 + c];
                    }
                    differ += std::abs(got - want) > k.tolerance;
                }
        EXPECT_EQ(differ, 0u) << k.tiff;
    }
}

TEST_F(TiffSuiteTest, EveryPrefixOfAFileGivesACode) {
    // Files whose directory comes first, so that a prefix keeps it and loses strips or tiles.
    const char* files[] = {
        "libtiff-images/pics/jim___cg.tif",
        "libtiff-images/testfax4.tiff",
        "libtiff-images/pics/text.tif",
        "libtiff-images/deflate-last-strip-extra-data.tiff",
        "libtiff-images/tiff_with_subifd_chain.tif",
        "libtiff-images/webp_lossless_rgba_alpha_fully_opaque.tif",
        "libtiff-images/ojpeg_chewey_subsamp21_multi_strip.tiff",
        "libtiff-images/custom_dir_EXIF_GPS.tiff",
    };
    for (const char* file : files) {
        const std::string path = testing_support::suiteFile(file);
        if (path.empty()) continue;
        const Bytes whole = fileBytes(path);
        // Every cut inside the header and the first entries, then cuts through the data.
        const std::size_t step = std::max<std::size_t>(1, whole.size() / 60);
        for (std::size_t n = 0; n < whole.size(); n += n < 200 ? 1 : step) {
            const Bytes prefix(whole.begin(), whole.begin() + n);
            for (int bits : {8, 24}) {
                const Result r = tiff_test::readBytes(prefix, bits, 0);
                expectWellFormed(r, std::string(file) + " cut at " + std::to_string(n));
                if (n < 8) {
                    EXPECT_EQ(r.status, 20) << file << " cut at " << n;
                }
            }
        }
    }
}

TEST_F(TiffSuiteTest, DirectoryChainsThatLoopEndWithFive) {
    struct Case {
        const char* file;
        int pages;
    };
    const Case cases[] = {
        {"libtiff-images/test_ifd_loop_to_self.tif", 1},
        {"libtiff-images/test_ifd_loop_to_first.tif", 2},
        {"libtiff-images/test_ifd_loop_subifd.tif", 5},
        {"libtiff-images/test_two_ifds.tif", 2},
        {"libtiff-images/tiff_with_subifd_chain.tif", 2},
    };
    for (const Case& k : cases) {
        const std::string path = testing_support::suiteFile(k.file);
        if (path.empty()) continue;
        for (int page : {0, k.pages - 1, k.pages, 0x7FFFFFFF}) {
            const Result r = tiff_test::readFile(path, 24, 0, page);
            EXPECT_EQ(r.status, page < k.pages ? 0 : 5) << k.file << " page " << page;
        }
    }
}

namespace {

// Everything a read gives back, as one value that two runs compare.
struct Output {
    int status = -1, width = 0, height = 0;
    std::size_t pixels = 0, palette = 0;
    bool operator==(const Output& o) const {
        return status == o.status && width == o.width && height == o.height && pixels == o.pixels &&
               palette == o.palette;
    }
};

Output outputOf(const std::string& path, int bitsPerPixel, int flags) {
    const Result r = tiff_test::readFile(path, bitsPerPixel, flags);
    Output o{r.status, r.width, r.height, 0, 0};
    auto digest = [](const void* p, std::size_t n) {
        return std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(p), n));
    };
    if (r.pixels != nullptr) o.pixels = digest(r.pixels, GlobalSize(r.pixels));
    o.palette = digest(r.palette, sizeof r.palette);
    return o;
}

} // namespace

TEST(TiffSuiteHeap, NoOutputDependsOnWhatTheHeapHeld) {
    const std::vector<std::string> files = everyTiffFolder();
    if (files.empty()) GTEST_SKIP() << "no TIFF suite found";
    if (!testing_support::heapWatchAvailable()) GTEST_SKIP() << "the heap is the sanitizer's";
    struct Mode {
        int bitsPerPixel, flags;
    };
    const Mode modes[] = {{1, 0},  {8, 0},  {16, 0},           {24, 0},
                          {32, 0}, {32, 4}, {0, IMG_FLAG_DIB}, {0, IMG_FLAG_DIB | 4}};
    for (const std::string& path : files)
        for (const Mode& m : modes) {
            const auto runs = testing_support::underTwoFills(
                [&] { return outputOf(path, m.bitsPerPixel, m.flags); });
            EXPECT_TRUE(runs.first == runs.second)
                << path << " at " << m.bitsPerPixel << " flags " << m.flags;
        }
}
