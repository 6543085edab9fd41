#include "PcdReader.h"
#include "LeakCheck.h"
#include "PcdWriter.h"
#include "TestFiles.h"
#include "Trace.h"
#include "imgcore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace testing_support;
using img::kNotPcd;
using img::kPcdOverview;

namespace {

// The tone curve's values for neutral grey luminance: 1.402 x Y, truncated, looked up.
constexpr BYTE kGrey100 = 143, kGrey128 = 181, kGrey200 = 245;

struct Decoded {
    BYTE* pixels = nullptr;
    int width = -1, height = -1, code = -1;

    Decoded() = default;
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
    ~Decoded() {
        if (pixels != nullptr) GlobalFree(pixels);
    }
    const BYTE* rgb(int x, int y) const {
        return pixels + (static_cast<std::size_t>(y) * width + x) * 3;
    }
};

void decode(const Bytes& file, int subImage, Decoded* out, int flags = 0) {
    TempFile temp(file, ".pcd");
    SourceHandle src = openFileSource(temp.path().c_str());
    ASSERT_NE(src, nullptr);
    out->pixels = readPCD(src, &out->width, &out->height, subImage, flags);
    out->code = getLastError();
    closeSource(src);
}

void expectGrey(const Decoded& d, int x, int y, BYTE value) {
    const BYTE* p = d.rgb(x, y);
    EXPECT_EQ(p[0], value) << x << "," << y;
    EXPECT_EQ(p[1], value) << x << "," << y;
    EXPECT_EQ(p[2], value) << x << "," << y;
}

// Corrections that change nothing, so that every level can be read.
PcdCorrections noCorrections(int rows, int tables) {
    return {std::vector<std::vector<PcdCode>>(tables, pcdStepTable({})), {}, rows};
}

PcdFile plainFile() {
    PcdFile f;
    f.fourBase = noCorrections(1024, 1);
    f.sixteenBase = noCorrections(2048, 3);
    return f;
}

std::vector<std::string>& traced() {
    static std::vector<std::string> lines;
    return lines;
}

void recordTrace(int, const char* text) {
    traced().push_back(text);
}

} // namespace

class PcdReaderTest : public LeakCheckedTest {};

TEST_F(PcdReaderTest, SubImageNumbersAreClampedToTheSixSizes) {
    const Bytes file = writePcd(plainFile());
    struct Case {
        int subImage, width, height;
    };
    const Case cases[] = {{-2, 192, 128}, {0, 192, 128},   {1, 192, 128},   {2, 384, 256},
                          {3, 768, 512},  {4, 1536, 1024}, {5, 3072, 2048}, {7, 6144, 4096}};
    for (const Case& k : cases) {
        Decoded d;
        decode(file, k.subImage, &d);
        ASSERT_NE(d.pixels, nullptr) << k.subImage;
        EXPECT_EQ(d.code, 0) << k.subImage;
        EXPECT_EQ(d.width, k.width) << k.subImage;
        EXPECT_EQ(d.height, k.height) << k.subImage;
        expectGrey(d, 0, 0, kGrey128);
        expectGrey(d, d.width - 1, d.height - 1, kGrey128);
    }
}

TEST_F(PcdReaderTest, StoredOrientationTurnsTheImage) {
    PcdFile f;
    f.levels[0] = flatPcdLevel(1, 100, 156, 137);
    f.levels[0].luma(0, 0) = 200;
    struct Case {
        int orientation, width, height, markerX, markerY;
    };
    const Case cases[] = {
        {0, 192, 128, 0, 0},   {1, 128, 192, 0, 191},    {2, 192, 128, 191, 127},
        {3, 128, 192, 127, 0}, {0xFD, 128, 192, 0, 191}, // only the two low bits count
    };
    for (const Case& k : cases) {
        f.orientation = k.orientation;
        Decoded d;
        decode(writePcd(f), 1, &d);
        ASSERT_NE(d.pixels, nullptr) << k.orientation;
        EXPECT_EQ(d.width, k.width) << k.orientation;
        EXPECT_EQ(d.height, k.height) << k.orientation;
        expectGrey(d, k.markerX, k.markerY, kGrey200);
        expectGrey(d, k.width - 1 - k.markerX, k.height - 1 - k.markerY, kGrey100);
    }

    f.orientation = 3;
    Decoded large;
    decode(writePcd(f), 3, &large);
    EXPECT_EQ(large.width, 512);
    EXPECT_EQ(large.height, 768);
}

TEST_F(PcdReaderTest, OutputFlagTwoGivesAPaddedDib) {
    PcdFile f;
    f.levels[0] = flatPcdLevel(1, 100, 156, 137);
    f.levels[0].luma(0, 0) = 200;
    Decoded d;
    decode(writePcd(f), 1, &d, IMG_FLAG_DIB);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.width, 192);
    EXPECT_EQ(d.height, 128);
    EXPECT_EQ(GlobalSize(d.pixels), 576u * 128 + 40);
    BITMAPINFOHEADER h;
    std::memcpy(&h, d.pixels, sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 192);
    EXPECT_EQ(h.biHeight, 128);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 576u * 128);
    // Rows bottom-up: the marker of the top-left pixel is in the last row.
    const BYTE* top = d.pixels + 40 + 127 * 576;
    EXPECT_EQ(top[0], kGrey200);
    EXPECT_EQ(top[3], kGrey100);
    EXPECT_EQ(d.pixels[40], kGrey100);
}

TEST_F(PcdReaderTest, RefusesOtherFilesAndShortReads) {
    PcdFile overview;
    overview.overview = true;
    Bytes unsigned_ = writePcd(PcdFile{});
    std::memcpy(&unsigned_[2048], "XCD", 3);
    struct Case {
        const char* what;
        Bytes file;
        int subImage, code;
    };
    const Case cases[] = {
        {"overview file", writePcd(overview), 1, kPcdOverview},
        {"no signature", unsigned_, 1, kNotPcd},
        {"empty file", Bytes{}, 1, kNotPcd},
        {"no correction data for the 1536 level", writePcd(PcdFile{}), 4, kNotPcd},
    };
    for (const Case& k : cases) {
        Decoded d;
        decode(k.file, k.subImage, &d);
        EXPECT_EQ(d.pixels, nullptr) << k.what;
        EXPECT_EQ(d.code, k.code) << k.what;
        EXPECT_EQ(d.width, 0) << k.what;
        EXPECT_EQ(d.height, 0) << k.what;
    }

    int w = 0, h = 0;
    EXPECT_EQ(readPCD(nullptr, &w, &h, 1, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    // The size is always written, so the outputs are required.
    TempFile file(writePcd(PcdFile{}), ".pcd");
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(readPCD(src, nullptr, &h, 1, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    closeSource(src);
}

TEST_F(PcdReaderTest, EveryCutThroughTheFirstLevelFailsCleanly) {
    const Bytes whole = writePcd(PcdFile{});
    const std::size_t end = (4 + 18) * 2048; // the 192 x 128 planes end at sector 22
    for (std::size_t cut = 0; cut < end; cut += 997) {
        Decoded d;
        decode(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)), 1, &d);
        EXPECT_EQ(d.pixels, nullptr) << cut;
        EXPECT_EQ(d.code, cut < 6144 ? kNotPcd : img::kReadFailed) << cut;
    }
    Decoded d;
    decode(Bytes(whole.begin(), whole.begin() + end), 1, &d);
    EXPECT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.code, 0);
}

TEST_F(PcdReaderTest, CutsAroundTheCorrectionTablesGiveTheirCodes) {
    PcdFile f;
    f.fourBase = PcdCorrections{{pcdStepTable({10, -20, 127, -128})}, {{0, 5, {10}, ""}}, 1024};
    const Bytes whole = writePcd(f);
    const std::size_t planesEnd = 384 * 2048, tables = 388 * 2048, tablesEnd = tables + 21;
    std::vector<std::size_t> cuts = {planesEnd - 37, planesEnd - 1, planesEnd, tables - 1};
    for (std::size_t cut = tables; cut <= tablesEnd + 8; ++cut)
        cuts.push_back(cut);
    for (std::size_t cut : cuts) {
        Decoded d;
        decode(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)), 4, &d);
        // Short planes are a failed read; missing tables are corrupt corrections; a stream
        // cut after its tables simply ends.
        const int code = cut < planesEnd ? img::kReadFailed : cut < tablesEnd ? kNotPcd : 0;
        EXPECT_EQ(d.code, code) << cut;
        EXPECT_EQ(d.pixels != nullptr, code == 0) << cut;
    }
}

TEST_F(PcdReaderTest, FourBaseCorrectionsAdjustTheDoubledLevel) {
    PcdFile f;
    f.levels[2] = flatPcdLevel(3, 100, 156, 137);
    const auto table = pcdStepTable({10, -20, 127, -128});
    f.fourBase = PcdCorrections{
        {table},
        {
            {0, 5, {10, -20, 0, 127, -128}, ""},
            // The 1536 level has no chrominance table: these codes are skipped.
            {2, 6, {10, 10}, ""},
            // A code that matches no entry skips the rest of its row.
            {0, 7, {10}, "111111"},
            // A row may be taken up again: its bytes are corrected from the start once more.
            {0, 8, {127}, ""},
            {0, 8, {127, 10}, ""},
        },
        1024};
    Decoded d;
    decode(writePcd(f), 4, &d);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.code, 0);
    struct Pixel {
        int x, y;
        BYTE grey;
    };
    const Pixel expected[] = {
        {0, 5, 157},      {1, 5, 114},      {2, 5, kGrey100},     {3, 5, 252},      {4, 5, 0},
        {5, 5, kGrey100}, {0, 6, kGrey100}, {0, 7, 157},          {1, 7, kGrey100}, {0, 8, 255},
        {1, 8, 157},      {0, 4, kGrey100}, {700, 900, kGrey100},
    };
    for (const Pixel& p : expected)
        expectGrey(d, p.x, p.y, p.grey);
}

TEST_F(PcdReaderTest, SixteenBaseCorrectionsReachAllThreePlanes) {
    PcdFile f;
    f.levels[2] = flatPcdLevel(3, 100, 156, 137);
    f.fourBase = PcdCorrections{{pcdStepTable({50})}, {{0, 100, {50}, ""}}, 1024};
    f.sixteenBase = PcdCorrections{{pcdStepTable({30}), pcdStepTable({40}), pcdStepTable({-40})},
                                   {{0, 10, {30}, ""}, {2, 20, {40}, ""}, {3, 40, {-40}, ""}},
                                   2048};
    Decoded d;
    decode(writePcd(f), 5, &d);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.code, 0);
    expectGrey(d, 0, 10, 184);  // luminance 130
    expectGrey(d, 0, 200, 207); // 150 from the level below, doubled
    expectGrey(d, 1, 200, 177); // halfway to its neighbour: 125
    const BYTE* blue = d.rgb(0, 20);
    EXPECT_EQ(std::vector<BYTE>(blue, blue + 3), (std::vector<BYTE>{143, 124, 222}));
    const BYTE* red = d.rgb(0, 40);
    EXPECT_EQ(std::vector<BYTE>(red, red + 3), (std::vector<BYTE>{65, 180, 143}));
    expectGrey(d, 3000, 2000, kGrey100);
}

TEST_F(PcdReaderTest, CorrectionStreamsStopSafely) {
    const auto table = pcdStepTable({1});
    struct Case {
        const char* what;
        Bytes stream;
        std::size_t planeBytes;
        int result;
        BYTE firstRow[4];
    };
    PcdCorrections longRow{{table}, {{0, 0, std::vector<int>(40, 1), ""}}, 4};
    PcdCorrections beyond{{table}, {{0, 0, {1}, ""}, {0, 9, {1}, ""}, {0, 1, {1}, ""}}, 4};
    PcdCorrections badPlane{{table}, {{1, 0, {1}, ""}}, 4};
    PcdCorrections longCode{{{{17, 0, 1}}}, {}, 4};
    // Three steps and forty zero steps after 144 bits of table, filler and sync mark: the
    // file ends 32 bits into the zero steps, and the reader stops 24 bits before that.
    std::vector<int> steps{1, 1, 1};
    steps.resize(43, 0);
    Bytes cut = pcdCorrectionStream({{table}, {{0, 0, steps, ""}}, 4});
    cut.resize((144 + 6 + 32) / 8);
    const Case cases[] = {
        {"a row running past the plane's end", pcdCorrectionStream(longRow), 3, 0, {1, 1, 1, 0}},
        {"a row beyond the level ends the decoding",
         pcdCorrectionStream(beyond),
         16,
         0,
         {1, 0, 0, 0}},
        {"plane number 1", pcdCorrectionStream(badPlane), 16, kNotPcd, {0, 0, 0, 0}},
        {"a code longer than 16 bits", pcdCorrectionStream(longCode), 16, kNotPcd, {0, 0, 0, 0}},
        {"a stream that ends inside a row", cut, 64, 0, {1, 1, 1, 0}},
        {"no tables at all", Bytes{}, 16, kNotPcd, {0, 0, 0, 0}},
    };
    for (const Case& k : cases) {
        TempFile temp(k.stream);
        SourceHandle src = openFileSource(temp.path().c_str());
        ASSERT_NE(src, nullptr);
        img::CImgIO io(static_cast<img::SourceRecord*>(src));
        std::vector<BYTE> planes(3 * 64, 0);
        EXPECT_EQ(img::decodePCDCorrections(io, 1536, 4, 4, planes.data(), planes.data() + 64,
                                            planes.data() + 128, k.planeBytes),
                  k.result)
            << k.what;
        EXPECT_EQ(std::vector<BYTE>(planes.begin(), planes.begin() + 4),
                  std::vector<BYTE>(k.firstRow, k.firstRow + 4))
            << k.what;
        EXPECT_TRUE(std::all_of(planes.begin() + 4, planes.end(), [](BYTE b) { return b == 0; }))
            << k.what;
        closeSource(src);
    }
}

TEST_F(PcdReaderTest, CorruptPlaneNumberIsTraced) {
    const Bytes stream = pcdCorrectionStream({{pcdStepTable({1})}, {{1, 0, {1}, ""}}, 4});
    TempFile temp(stream);
    SourceHandle src = openFileSource(temp.path().c_str());
    ASSERT_NE(src, nullptr);
    img::CImgIO io(static_cast<img::SourceRecord*>(src));
    BYTE planes[3][16] = {};
    img::TraceSink previous = img::setTraceSink(recordTrace);
    traced().clear();
    EXPECT_EQ(img::decodePCDCorrections(io, 1536, 4, 4, planes[0], planes[1], planes[2], 16),
              kNotPcd);
    img::setTraceSink(previous);
    EXPECT_EQ(traced(), std::vector<std::string>{"Corrupt PCD image"});
    closeSource(src);
}

TEST_F(PcdReaderTest, DoublingInterpolatesBetweenSamples) {
    // 2 x 2 samples in rows of 4 bytes become 4 x 4.
    BYTE plane[17] = {10, 20, 0, 0, 30, 40};
    img::upsamplePCDPlane(2, 2, 4, plane);
    const BYTE expected[16] = {10, 15, 20, 20, 20, 25, 30, 30, 30, 35, 40, 40, 30, 35, 40, 40};
    EXPECT_EQ(std::vector<BYTE>(plane, plane + 16), std::vector<BYTE>(expected, expected + 16));
}

TEST_F(PcdReaderTest, ColourConversionEnds) {
    BYTE pixels[] = {0, 156, 137, 255, 255, 255, 100, 156, 137};
    img::Operation op;
    ASSERT_EQ(img::convertPCDToRGB(op, pixels, 3, 1), 1);
    EXPECT_EQ(std::vector<BYTE>(pixels, pixels + 9),
              (std::vector<BYTE>{0, 0, 0, 255, 199, 255, kGrey100, kGrey100, kGrey100}));
}

TEST_F(PcdReaderTest, MissingMemoryFreesWhatWasMade) {
    const Bytes file = writePcd(PcdFile{});
    for (int flags : {0, IMG_FLAG_DIB}) {
        // The image block, then (with flag 2) the DIB block.
        for (unsigned failing = 1; failing <= (flags != 0 ? 2u : 1u); ++failing) {
            TempFile temp(file, ".pcd");
            SourceHandle src = openFileSource(temp.path().c_str());
            ASSERT_NE(src, nullptr);
            int w = 0, h = 0;
            winplatFailGlobalAllocAt(failing);
            EXPECT_EQ(readPCD(src, &w, &h, 1, flags), nullptr) << flags << " " << failing;
            EXPECT_EQ(getLastError(), 1) << flags << " " << failing;
            winplatFailGlobalAllocAt(0);
            closeSource(src);
        }
    }
}

TEST_F(PcdReaderTest, PublicSampleReadsItsThreeStoredLevels) {
    const std::string path = suiteFile("samples/pcd/pillow/hopper.pcd");
    if (path.empty()) GTEST_SKIP() << "public test suites not present";
    SourceHandle src = openFileSource(path.c_str());
    ASSERT_NE(src, nullptr);
    std::vector<std::vector<BYTE>> levels;
    for (int n = 1; n <= 3; ++n) {
        seekSource(src, 0, 0);
        int w = 0, h = 0;
        BYTE* rgb = readPCD(src, &w, &h, n, 0);
        ASSERT_NE(rgb, nullptr) << n;
        EXPECT_EQ(getLastError(), 0);
        EXPECT_EQ(w, 192 << (n - 1));
        EXPECT_EQ(h, 128 << (n - 1));
        levels.emplace_back(rgb, rgb + static_cast<std::size_t>(w) * h * 3);
        GlobalFree(rgb);
    }
    // Each stored level is the same picture: 2 x 2 averages of one are close to the next.
    const std::vector<BYTE>& small = levels[1];
    const std::vector<BYTE>& large = levels[2];
    double difference = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 384; ++x)
            for (int k = 0; k < 3; ++k) {
                const auto at = [&](int xx, int yy) { return large[(yy * 768 + xx) * 3 + k]; };
                const int mean = (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                                  at(2 * x + 1, 2 * y + 1) + 2) /
                                 4;
                difference += std::abs(mean - small[(y * 384 + x) * 3 + k]);
            }
    EXPECT_LT(difference / (384 * 256 * 3), 6.0);

    seekSource(src, 0, 0);
    int w = 0, h = 0;
    EXPECT_EQ(readPCD(src, &w, &h, 4, 0), nullptr) << "the sample has no 1536 x 1024 data";
    EXPECT_EQ(getLastError(), kNotPcd);
    closeSource(src);
}
