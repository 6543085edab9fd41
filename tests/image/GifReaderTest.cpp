#include "GifWriter.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace testing_support;

namespace {

const std::vector<Rgb> kFourColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct Decoded {
    bool image = false;
    int error = -1;
    int width = 0;
    int height = 0;
    int transparent = 1234;
    Bytes pixels; // the whole returned block's meaningful part: indices, or the packed DIB
    RGBQUAD palette[256] = {};
};

Decoded readGifBytes(const Bytes& file, int flags = 0, bool withPalette = true,
                     bool keepPixels = true) {
    Decoded d;
    TempFile f(file, ".gif");
    SourceHandle src = openFileSource(f.path().c_str());
    EXPECT_NE(src, nullptr);
    BYTE* out =
        readGIF(src, &d.width, &d.height, &d.transparent, withPalette ? d.palette : nullptr, flags);
    d.error = getLastError();
    closeSource(src);
    if (out != nullptr) {
        d.image = true;
        if (keepPixels) d.pixels.assign(out, out + GlobalSize(out));
        GlobalFree(out);
    }
    return d;
}

Bytes patterned(int width, int height, int colours, unsigned seed = 1) {
    std::mt19937 random(seed);
    Bytes indices(static_cast<std::size_t>(width) * height);
    for (auto& i : indices)
        i = static_cast<std::uint8_t>(random() % colours);
    return indices;
}

Bytes singleImage(const GifFrame& frame, const std::vector<Rgb>& global = kFourColours) {
    return GifWriter().screen(frame.width, frame.height, global).image(frame).trailer().bytes();
}

class GifReaderTest : public LeakCheckedTest {};

TEST_F(GifReaderTest, ReadsIndicesAndPaletteOfTheFirstImage) {
    GifFrame frame{4, 3, patterned(4, 3, 4)};
    Decoded d = readGifBytes(singleImage(frame));
    ASSERT_TRUE(d.image);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.width, 4);
    EXPECT_EQ(d.height, 3);
    EXPECT_EQ(d.transparent, -1);
    EXPECT_EQ(d.pixels, frame.indices);
    EXPECT_EQ(d.palette[0].rgbRed, 255);
    EXPECT_EQ(d.palette[1].rgbGreen, 255);
    EXPECT_EQ(d.palette[2].rgbBlue, 255);
    EXPECT_EQ(d.palette[0].rgbReserved, 0) << "entry 0 stands for the missing transparent colour";
    for (int i = 1; i < 256; ++i)
        EXPECT_EQ(d.palette[i].rgbReserved, 0xFF) << i;
    for (int i = 4; i < 256; ++i) {
        EXPECT_EQ(d.palette[i].rgbRed | d.palette[i].rgbGreen | d.palette[i].rgbBlue, 0)
            << "entries past a 4-colour table are black: " << i;
    }
}

TEST_F(GifReaderTest, PackedDibHasBottomUpPaddedRowsAndItsOwnPalette) {
    GifFrame frame{3, 2, {0, 1, 2, 3, 2, 1}};
    Decoded d = readGifBytes(singleImage(frame), IMG_FLAG_DIB, false);
    ASSERT_TRUE(d.image);
    EXPECT_EQ(d.error, 0);
    ASSERT_EQ(d.pixels.size(), 40u + 1024 + 2 * 4);
    BITMAPINFOHEADER h;
    std::memcpy(&h, d.pixels.data(), sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 8u);
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(h.biClrImportant, 0u);
    const BYTE* palette = d.pixels.data() + 40;
    EXPECT_EQ(palette[4 * 1 + 1], 255) << "entry 1 green";
    EXPECT_EQ(palette[4 * 2 + 0], 255) << "entry 2 blue, stored first";
    const BYTE* rows = palette + 1024;
    EXPECT_EQ(Bytes(rows, rows + 8), (Bytes{3, 2, 1, 0, 0, 1, 2, 0}));
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(d.height, 2);
}

TEST_F(GifReaderTest, InterlacedRowsLandInDisplayOrder) {
    for (int height : {1, 2, 3, 4, 5, 8, 9, 17}) {
        GifFrame frame{5, height, patterned(5, height, 4, height)};
        frame.interlaced = true;
        Decoded d = readGifBytes(singleImage(frame));
        EXPECT_EQ(d.error, 0) << height;
        EXPECT_EQ(d.pixels, frame.indices) << "height " << height;
    }
}

TEST_F(GifReaderTest, InterlacedHeightThreeFillsRowsZeroTwoOne) {
    // Rows come as 0, 2, 1: with only two rows' worth of data, row 1 is the one left at 0.
    const Bytes codes = lzwEncode({1, 1, 2, 2}, 2, LzwOptions(true, false));
    const Bytes file = GifWriter()
                           .screen(2, 3, kFourColours)
                           .imageRaw(2, 3, 0x40, Bytes{2})
                           .raw(subBlocks(codes))
                           .trailer()
                           .bytes();
    Decoded d = readGifBytes(file);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.pixels, (Bytes{1, 1, 0, 0, 2, 2}));
}

TEST_F(GifReaderTest, GraphicControlSetsTheTransparentIndex) {
    struct Case {
        bool transparent;
        int index;
        int reported;
        int clearEntry;
    } cases[] = {{true, 2, 2, 2}, {false, 2, -1, 0}};
    for (const Case& c : cases) {
        GifFrame frame{2, 2, {0, 1, 2, 3}};
        const Bytes file = GifWriter()
                               .screen(2, 2, kFourColours)
                               .graphicControl(c.transparent, c.index)
                               .image(frame)
                               .trailer()
                               .bytes();
        Decoded d = readGifBytes(file);
        EXPECT_EQ(d.error, 0);
        EXPECT_EQ(d.transparent, c.reported);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(d.palette[i].rgbReserved, i == c.clearEntry ? 0 : 0xFF) << i;
    }
}

TEST_F(GifReaderTest, OnlyTheFirstImageIsRead) {
    GifFrame first{2, 1, {1, 2}};
    GifFrame second{3, 3, patterned(3, 3, 4)};
    second.localTable = {{9, 9, 9}, {8, 8, 8}};
    const Bytes file = GifWriter()
                           .screen(3, 3, kFourColours)
                           .image(first)
                           .graphicControl(true, 1)
                           .image(second)
                           .trailer()
                           .bytes();
    Decoded d = readGifBytes(file);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.width, 2) << "the image's own size, not the screen's";
    EXPECT_EQ(d.height, 1);
    EXPECT_EQ(d.pixels, first.indices);
    EXPECT_EQ(d.transparent, -1) << "extensions after the image are not read";
    EXPECT_EQ(d.palette[1].rgbGreen, 255);
}

TEST_F(GifReaderTest, LocalTableReplacesTheGlobalOne) {
    GifFrame frame{2, 1, {0, 1}};
    frame.localTable = {{10, 20, 30}, {40, 50, 60}};
    Decoded d = readGifBytes(singleImage(frame));
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.palette[1].rgbRed, 40);
    EXPECT_EQ(d.palette[1].rgbBlue, 60);
    EXPECT_EQ(d.palette[2].rgbRed | d.palette[2].rgbBlue, 0) << "not the global entry 2";
}

TEST_F(GifReaderTest, CodeStreamsRoundTrip) {
    struct Case {
        const char* name;
        int width, height, colours, minimumCodeSize;
        LzwOptions lzw;
    } cases[] = {
        {"several table resets", 200, 150, 256, 8, LzwOptions()},
        {"two colours, code size 2", 9, 7, 2, 2, LzwOptions()},
        {"no leading clear", 40, 30, 16, 4, LzwOptions(false, true)},
        {"no end code", 40, 30, 16, 4, LzwOptions(true, false)},
        {"neither", 40, 30, 16, 4, LzwOptions(false, false)},
        {"code size 11", 60, 60, 256, 11, LzwOptions()},
    };
    for (const Case& c : cases) {
        GifFrame frame{c.width, c.height, patterned(c.width, c.height, c.colours)};
        frame.minimumCodeSize = c.minimumCodeSize;
        frame.lzw = c.lzw;
        std::vector<Rgb> table(c.colours, Rgb{1, 2, 3});
        Decoded d = readGifBytes(singleImage(frame, table));
        EXPECT_EQ(d.error, 0) << c.name;
        EXPECT_EQ(d.pixels, frame.indices) << c.name;
    }
}

TEST_F(GifReaderTest, FullTableWithoutClearStopsDecoding) {
    // Indices 1..255 only, so that a 0 marks a pixel the decoder never reached.
    Bytes indices = patterned(200, 100, 255);
    for (auto& i : indices)
        ++i;
    GifFrame frame{200, 100, indices};
    frame.minimumCodeSize = 8;
    frame.lzw.clearWhenFull = false;
    Decoded d = readGifBytes(singleImage(frame, std::vector<Rgb>(256)));
    ASSERT_TRUE(d.image);
    EXPECT_EQ(d.error, 0);
    std::size_t decoded = 0;
    while (decoded < indices.size() && d.pixels[decoded] == indices[decoded])
        ++decoded;
    EXPECT_GT(decoded, 3000u);
    EXPECT_LT(decoded, indices.size());
    for (std::size_t i = decoded; i < indices.size(); ++i)
        ASSERT_EQ(d.pixels[i], 0) << i;
}

TEST_F(GifReaderTest, HostileCodesStopDecodingWithoutLeavingTheTables) {
    struct Case {
        const char* name;
        int width;
        int minimumCodeSize;
        std::vector<std::pair<int, int>> codes; // code, bits
        Bytes expected;
    } cases[] = {
        // 7 is past the next free entry; 1 then makes entry 7 its own prefix.
        {"entry that is its own prefix",
         5,
         2,
         {{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}},
         {0, 0, 0, 1, 0}},
        // 13-bit codes name entries the 4096-entry tables do not have.
        {"code size 12", 3, 12, {{4096, 13}, {100, 13}, {8000, 13}, {7, 13}}, {100, 0, 0}},
        {"data ends inside a code", 3, 2, {{4, 3}, {1, 3}, {1, 2}}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        CodePacker codes;
        for (auto [code, bits] : c.codes)
            codes.add(code, bits);
        Bytes data{static_cast<std::uint8_t>(c.minimumCodeSize)};
        const Bytes blocks = subBlocks(codes.bytes());
        data.insert(data.end(), blocks.begin(), blocks.end());
        const Bytes file =
            GifWriter().screen(c.width, 1, kFourColours).imageRaw(c.width, 1, 0, data).bytes();
        Decoded d = readGifBytes(file);
        EXPECT_EQ(d.error, 0) << c.name;
        EXPECT_EQ(d.pixels, c.expected) << c.name;
    }
}

TEST_F(GifReaderTest, StatusCodes) {
    const Bytes screen = GifWriter().screen(2, 2, kFourColours).bytes();
    auto with = [&](const Bytes& tail) {
        Bytes b = screen;
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    GifFrame plain{2, 2, {0, 1, 2, 3}};
    const Bytes good = singleImage(plain);
    const std::size_t descriptorEnd = screen.size() + 10;
    auto cut = [](const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + n); };
    struct Case {
        const char* name;
        Bytes file;
        int error;
        bool image;
    } cases[] = {
        {"not GIF", Bytes{'G', 'I', 'X', '8', '9', 'a', 2, 0, 2, 0, 0, 0, 0}, 12, false},
        {"version 88a", Bytes{'G', 'I', 'F', '8', '8', 'a', 2, 0, 2, 0, 0, 0, 0}, 12, false},
        {"short screen descriptor", cut(screen, 10), 12, false},
        {"short global table", cut(screen, screen.size() - 1), 12, false},
        {"nothing after the table", screen, 3, false},
        {"extensions and trailer only",
         GifWriter().screen(1, 1).extension(0xFE, {Bytes{'h', 'i'}}).trailer().bytes(), 3, false},
        {"short image descriptor", cut(good, descriptorEnd - 1), 3, false},
        {"no code size byte", cut(good, descriptorEnd), 3, true},
        {"short local table", with({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x81, 1, 2, 3, 4, 5, 6, 7}), 12,
         false},
        {"code size 13", with({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 13, 1, 0, 0}), 12, true},
        {"first code above 256", with({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 8, 2, 0x2C, 0x01, 0}), 12,
         true},
        {"zero width", with({0x2C, 0, 0, 0, 0, 0, 0, 2, 0, 0, 2, 0}), 12, false},
        {"zero height", with({0x2C, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0}), 12, false},
        {"too large to allocate", with({0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0}), 1,
         false},
    };
    for (const Case& c : cases) {
        Decoded d = readGifBytes(c.file);
        EXPECT_EQ(d.error, c.error) << c.name;
        EXPECT_EQ(d.image, c.image) << c.name;
    }
}

TEST_F(GifReaderTest, ArgumentsAndAllocationFailure) {
    TempFile f(singleImage(GifFrame{2, 2, {0, 1, 2, 3}}), ".gif");
    SourceHandle src = openFileSource(f.path().c_str());
    int w = 0, h = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(readGIF(nullptr, &w, &h, nullptr, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(readGIF(src, nullptr, &h, nullptr, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);

    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(readGIF(src, &w, &h, nullptr, palette, 0), nullptr);
    EXPECT_EQ(getLastError(), 1);

    seekSource(src, 0, 0);
    BYTE* pixels = readGIF(src, &w, &h, nullptr, nullptr, 0);
    EXPECT_NE(pixels, nullptr) << "no palette to fill is not an error";
    EXPECT_EQ(getLastError(), 0);
    GlobalFree(pixels);
    closeSource(src);
}

TEST_F(GifReaderTest, EveryPrefixOfAFileFailsCleanly) {
    GifFrame frame{30, 20, patterned(30, 20, 16)};
    frame.localTable = std::vector<Rgb>(16, Rgb{7, 7, 7});
    frame.interlaced = true;
    const Bytes head = GifWriter().screen(30, 20, kFourColours).graphicControl(true, 3).bytes();
    const Bytes file = GifWriter()
                           .screen(30, 20, kFourColours)
                           .graphicControl(true, 3)
                           .image(frame)
                           .trailer()
                           .bytes();
    const std::size_t globalEnd = 13 + 4 * 3;
    const std::size_t descriptorEnd = head.size() + 10;
    const std::size_t localEnd = descriptorEnd + 16 * 3;
    for (std::size_t n = 0; n < file.size(); ++n) {
        Decoded d = readGifBytes(Bytes(file.begin(), file.begin() + n));
        int error = 0;
        bool image = true;
        if (n < globalEnd) {
            error = 12, image = false;
        } else if (n < descriptorEnd) {
            error = 3, image = false;
        } else if (n < localEnd) {
            error = 12, image = false;
        } else if (n == localEnd) {
            error = 3;
        }
        ASSERT_EQ(d.error, error) << "prefix " << n;
        ASSERT_EQ(d.image, image) << "prefix " << n;
    }
}

// The public suite: each test names its expected first frame as 8-bit RGBA on the logical
// screen. This reader returns the first image at its own size, so only images that cover the
// screen from its corner are compared pixel by pixel; the rest must read without harm.
std::map<std::string, std::string> readConf(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        auto trim = [](std::string s) {
            s.erase(0, s.find_first_not_of(' '));
            s.erase(s.find_last_not_of(' ') + 1);
            return s;
        };
        values[section + "." + trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    return values;
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST_F(GifReaderTest, PublicSuite) {
    const std::string list = suiteFile("gif-test-suite/TESTS");
    if (list.empty()) GTEST_SKIP() << "gif-test-suite not present";
    const std::string folder = list.substr(0, list.size() - 5);
    struct Expect {
        int error;
        bool image;
        bool samePixels;
    };
    // Where this reader's answer is not the suite's rendering, and why.
    const std::map<std::string, Expect> differs = {
        // No image descriptor at all: nothing to return (the suite shows the empty screen).
        {"no-data", {3, false, false}},
        {"zero-width", {3, false, false}},
        {"zero-height", {3, false, false}},
        {"zero-size", {3, false, false}},
        {"max-size", {3, false, false}},
        // An image of no pixels is refused.
        {"image-zero-width", {12, false, false}},
        {"image-zero-height", {12, false, false}},
        {"image-zero-size", {12, false, false}},
        // The first image at its own size, not placed on the screen or covered by later ones.
        {"image-overlap-bg", {0, true, false}},
        {"image-outside-bg", {0, true, false}},
        {"images-overlap", {0, true, false}},
        {"dispose-restore-previous", {0, true, false}},
        // A decoder error ends the pixels without an error; indices past the table are black.
        {"invalid-code", {0, true, false}},
        {"invalid-colors", {0, true, false}},
        // A full table without a clear code ends decoding there.
        {"4095-codes", {0, true, false}},
        // First codes past the table, and a code size too large for it.
        {"overflow-codes", {12, true, false}},
        {"overflow-codes-max", {12, true, false}},
    };
    std::ifstream names(list);
    std::string name;
    int compared = 0;
    while (names >> name) {
        auto conf = readConf(folder + name + ".conf");
        Decoded d = readGifBytes(fileBytes(folder + conf["config.input"]));
        auto found = differs.find(name);
        const Expect expect = found != differs.end() ? found->second : Expect{0, true, true};
        EXPECT_EQ(d.error, expect.error) << name;
        EXPECT_EQ(d.image, expect.image) << name;
        const std::string frames = conf["config.frames"];
        if (!d.image || !expect.samePixels || frames.empty()) continue;
        const std::string pixelsFile = conf[frames.substr(0, frames.find(',')) + ".pixels"];
        // An image smaller than the screen is not compared with the screen's rendering.
        if (d.width != std::stoi(conf["config.width"]) ||
            d.height != std::stoi(conf["config.height"]))
            continue;
        const Bytes rgba = fileBytes(folder + pixelsFile);
        ASSERT_EQ(rgba.size(), d.pixels.size() * 4) << name;
        for (std::size_t i = 0; i < d.pixels.size(); ++i) {
            const RGBQUAD& e = d.palette[d.pixels[i]];
            if (rgba[4 * i + 3] == 0) {
                ASSERT_EQ(e.rgbReserved, 0) << name << " pixel " << i << " is transparent";
            } else {
                ASSERT_EQ(e.rgbRed, rgba[4 * i]) << name << " pixel " << i;
                ASSERT_EQ(e.rgbGreen, rgba[4 * i + 1]) << name << " pixel " << i;
                ASSERT_EQ(e.rgbBlue, rgba[4 * i + 2]) << name << " pixel " << i;
            }
        }
        ++compared;
    }
    EXPECT_GT(compared, 50);
}

// The damaged files of the other public collections: read without harm, whatever the code.
TEST_F(GifReaderTest, DamagedSuiteFilesReadWithoutHarm) {
    std::vector<std::string> files = suiteFiles("imagetestsuite/gif");
    for (const std::string& f : suiteFiles("samples/gif"))
        files.push_back(f);
    if (files.empty()) GTEST_SKIP() << "suites not present";
    for (const std::string& f : files) {
        if (f.size() < 4 || f.substr(f.size() - 4) != ".gif") continue;
        for (int flags : {0, IMG_FLAG_DIB}) {
            Decoded d = readGifBytes(fileBytes(f), flags, true, false);
            EXPECT_TRUE(d.error == 0 || d.error == 1 || d.error == 3 || d.error == 12) << f;
        }
    }
}

} // namespace
