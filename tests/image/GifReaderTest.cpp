#include "GifWriter.h"
#include "HeapWatch.h"
#include "LeakCheck.h"
#include "LittleEndian.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <algorithm>
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
    int closedAt = -1; // the source's position when it was closed
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
    d.closedAt = closeSource(src);
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

// An image's data as stored: the minimum code size, then the codes (code, bits) in sub-blocks.
Bytes imageData(int minimumCodeSize, const std::vector<std::pair<int, int>>& codes) {
    CodePacker packer;
    for (auto [code, bits] : codes)
        packer.add(code, bits);
    Bytes data{static_cast<std::uint8_t>(minimumCodeSize)};
    const Bytes blocks = subBlocks(packer.bytes());
    data.insert(data.end(), blocks.begin(), blocks.end());
    return data;
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
        Bytes data = imageData(c.minimumCodeSize, c.codes);
        const Bytes file =
            GifWriter().screen(c.width, 1, kFourColours).imageRaw(c.width, 1, 0, data).bytes();
        Decoded d = readGifBytes(file);
        EXPECT_EQ(d.error, 0) << c.name;
        EXPECT_EQ(d.pixels, c.expected) << c.name;
    }
}

// Streams no encoder writes, each with the pixels it gives and how far the reader gets into the
// file: after the image the decoder takes one more value, which may read past the image data.
TEST_F(GifReaderTest, OddStreamsGiveTheirPixelsAndEndWhereTheyEnd) {
    const Bytes junk(100, 0xEE);
    Bytes trailerThenJunk{0x3B};
    trailerThenJunk.insert(trailerThenJunk.end(), junk.begin(), junk.end());
    struct Case {
        const char* name;
        int width;
        int minimumCodeSize;
        std::vector<std::pair<int, int>> codes; // code, bits
        Bytes after;                            // what follows the data's empty sub-block
        Bytes expected;
        int error;
        std::size_t unread; // bytes of the file after the position at close
    } cases[] = {
        // 10 is past the next free entry, so 9 links to the unset 10, which 3 then links back
        // to 9: the walk of 9 goes round until the stack is full.
        {"two entries that lead to each other",
         12,
         2,
         {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {10, 4}, {9, 4}, {3, 4}, {9, 4}},
         {0x3B},
         {1, 1, 1, 1, 1, 0, 0, 1, 3, 0, 0, 0},
         0,
         2},
        // The end code's unset entry reads as a string of one 0. The data's last byte has two
        // bits left, too few for the value taken after the image, which reads the trailer as a
        // count and fails.
        {"end code as the first code after a clear",
         8,
         2,
         {{4, 3}, {0, 3}, {4, 3}, {5, 3}, {0, 3}, {6, 3}, {5, 4}},
         {0x3B},
         {0, 5, 0, 0, 0, 0, 0, 0},
         0,
         0},
        {"first code above 256 after a clear",
         3,
         9,
         {{512, 10}, {7, 10}, {512, 10}, {300, 10}},
         {0x3B},
         {7, 0, 0},
         12,
         1},
        // 256 is stored as the byte it truncates to, and its entry as a string of that byte;
        // the value after the image reads the trailer, as above.
        {"first code 256 after a clear",
         6,
         9,
         {{512, 10}, {3, 10}, {512, 10}, {256, 10}, {9, 10}, {514, 10}, {513, 10}},
         {0x3B},
         {3, 0, 9, 0, 9, 0},
         0,
         0},
        {"clear codes in a row",
         5,
         2,
         {{4, 3}, {4, 3}, {4, 3}, {1, 3}, {4, 3}, {4, 3}, {2, 3}, {6, 3}, {5, 3}},
         {0x3B},
         {1, 2, 2, 2, 0},
         0,
         1},
        // The end code fills the data's last byte, so the value taken after the image reads
        // the trailer as a count and the 59 bytes after it as a sub-block.
        {"end code at the end of the data",
         5,
         2,
         {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}},
         trailerThenJunk,
         {1, 1, 1, 0, 0},
         0,
         41},
        // The image ends with the string, so the value taken after it is the end code.
        {"image full at the end code",
         3,
         2,
         {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}},
         trailerThenJunk,
         {1, 1, 1},
         0,
         101},
        // The image ends inside a string, so the value taken after it is the string's next.
        {"image full inside a string",
         2,
         2,
         {{4, 3}, {1, 3}, {6, 3}, {5, 3}},
         {0x3B},
         {1, 1},
         0,
         2},
        {"minimum code size 1",
         9,
         1,
         {{2, 2}, {1, 2}, {1, 2}, {4, 3}, {6, 3}, {0, 3}, {3, 3}},
         {0x3B},
         {1, 1, 1, 1, 1, 1, 1, 0, 0},
         0,
         1},
    };
    for (const Case& c : cases) {
        Bytes data = imageData(c.minimumCodeSize, c.codes);
        data.insert(data.end(), c.after.begin(), c.after.end());
        const std::vector<Rgb> eight(8, Rgb{1, 1, 1});
        const Bytes file =
            GifWriter().screen(c.width, 1, eight).imageRaw(c.width, 1, 0, data).bytes();
        Decoded d = readGifBytes(file);
        EXPECT_EQ(d.error, c.error) << c.name;
        EXPECT_EQ(d.pixels, c.expected) << c.name;
        EXPECT_EQ(file.size() - static_cast<std::size_t>(d.closedAt), c.unread) << c.name;
    }
}

// Code streams of every kind an encoder or a damaged file gives, made from a fixed seed: what
// each read returns and where it leaves the source, folded into one number. The number was
// taken from this reader's one-value-at-a-time decoder; a decoder that moves bytes faster must
// give it too.
class StreamMaker {
public:
    explicit StreamMaker(std::uint32_t seed) : m_random(seed) {}
    unsigned below(unsigned n) { return static_cast<unsigned>(m_random() % n); }

    // Codes of random kinds, each at the width the decoder reads it with.
    Bytes randomCodes(int minimumCodeSize, int count) {
        const int clear = 1 << minimumCodeSize;
        int width = minimumCodeSize + 1, next = clear + 2, threshold = 2 * clear;
        bool first = true;
        CodePacker out;
        for (int i = 0; i < count; ++i) {
            const unsigned kind = below(100);
            const int limit = 1 << width;
            int code;
            if (kind < 3)
                code = clear;
            else if (kind < 4)
                code = clear + 1;
            else if (kind < 55)
                code = static_cast<int>(below(static_cast<unsigned>(std::min(next, limit))));
            else if (kind < 75)
                code = std::min(next, limit - 1);
            else if (kind < 85)
                code = static_cast<int>(below(static_cast<unsigned>(clear)));
            else
                code = static_cast<int>(below(static_cast<unsigned>(limit)));
            out.add(code, width);
            if (code == clear) {
                width = minimumCodeSize + 1, next = clear + 2, threshold = 2 * clear;
                first = true;
            } else if (first) {
                first = false;
            } else if (code != clear + 1 && next < 4096 && ++next >= threshold &&
                       threshold < 4096) {
                threshold *= 2;
                ++width;
            }
        }
        return out.bytes();
    }

    // Indices in runs, or noise.
    Bytes indices(std::size_t count, int colours) {
        Bytes out(count);
        const unsigned runs = below(3);
        std::uint8_t value = 0;
        for (auto& v : out) {
            if (runs == 0 || below(runs * 8) == 0)
                value = static_cast<std::uint8_t>(below(colours));
            v = value;
        }
        return out;
    }

    Bytes stream() {
        const int width = 1 + static_cast<int>(below(2) ? below(8) : below(120));
        const int height = 1 + static_cast<int>(below(2) ? below(6) : below(90));
        int minimumCodeSize;
        Bytes codes;
        if (below(2) == 0) {
            minimumCodeSize = static_cast<int>(below(13));
            codes = randomCodes(minimumCodeSize, 1 + static_cast<int>(below(3000)));
        } else {
            const int colours = 1 + static_cast<int>(below(256));
            minimumCodeSize = 2;
            while ((1 << minimumCodeSize) < colours)
                ++minimumCodeSize;
            if (below(5) == 0) minimumCodeSize = std::min(12, minimumCodeSize + 1);
            LzwOptions lzw(below(4) != 0, below(3) != 0, below(2) != 0);
            codes = lzwEncode(indices(static_cast<std::size_t>(width) * height, colours),
                              minimumCodeSize, lzw);
            for (unsigned flips = below(4); flips > 0 && !codes.empty(); --flips)
                codes[below(static_cast<unsigned>(codes.size()))] ^=
                    static_cast<std::uint8_t>(1u << below(8));
        }
        if (below(6) == 0 && !codes.empty())
            codes.resize(below(static_cast<unsigned>(codes.size())));
        Bytes data{static_cast<std::uint8_t>(minimumCodeSize)};
        // Sub-blocks of every size, the empty one sometimes left out.
        for (std::size_t at = 0; at < codes.size();) {
            const std::size_t n =
                std::min<std::size_t>(below(2) ? 255 : 1 + below(255), codes.size() - at);
            data.push_back(static_cast<std::uint8_t>(n));
            data.insert(data.end(), codes.begin() + at, codes.begin() + at + n);
            at += n;
        }
        if (below(5) != 0) data.push_back(0);
        data.push_back(0x3B);
        for (unsigned extra = below(4) == 0 ? below(300) : 0; extra > 0; --extra)
            data.push_back(static_cast<std::uint8_t>(m_random()));
        const int packed = below(3) == 0 ? 0x40 : 0;
        std::vector<Rgb> table(2u << below(8));
        for (auto& rgb : table)
            rgb = {static_cast<std::uint8_t>(m_random()), 0, 0};
        GifWriter w;
        w.screen(width, height, table);
        if (below(3) == 0) w.graphicControl(below(2) != 0, static_cast<int>(below(256)));
        return w.imageRaw(width, height, packed, data).bytes();
    }

private:
    std::mt19937 m_random;
};

std::uint64_t foldInto(std::uint64_t h, const void* data, std::size_t bytes) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < bytes; ++i)
        h = (h ^ p[i]) * 1099511628211u;
    return h;
}

template <class T> std::uint64_t foldValue(std::uint64_t h, T value) {
    return foldInto(h, &value, sizeof value);
}

TEST_F(GifReaderTest, ManyOddStreamsKeepTheirOutcome) {
    StreamMaker maker(20240611);
    std::uint64_t h = 1469598103934665603u;
    for (int i = 0; i < 1500; ++i) {
        const Bytes file = maker.stream();
        for (int flags : {0, IMG_FLAG_DIB}) {
            Decoded d = readGifBytes(file, flags);
            h = foldValue(h, d.error);
            h = foldValue(h, d.image);
            h = foldValue(h, d.width);
            h = foldValue(h, d.height);
            h = foldValue(h, d.transparent);
            h = foldValue(h, d.closedAt);
            h = foldInto(h, d.pixels.data(), d.pixels.size());
            if (flags == 0) h = foldInto(h, d.palette, sizeof d.palette);
        }
    }
    EXPECT_EQ(h, 8413920580675513706u);
}

// One colour in the fewest codes: each code after a clear the longest string yet, the table
// then cleared when full, or kept full with its longest string repeated (codes this reader
// stops at, though the file is sound).
Bytes oneColourCodes(std::uint64_t pixels, bool clearWhenFull) {
    constexpr int kClear = 4, kEnd = 5; // minimum code size 2
    CodePacker out;
    int width = 3, next = 6, threshold = 8;
    std::uint64_t given = 0, longest = 0;
    out.add(kClear, width);
    while (given < pixels) {
        if (longest == 0) {
            out.add(1, width);
            given += longest = 1;
        } else if (next < 4096) {
            out.add(next, width);
            given += ++longest;
            if (++next >= threshold && threshold < 4096) {
                threshold *= 2;
                ++width;
            }
        } else if (clearWhenFull) {
            out.add(kClear, width);
            width = 3, next = 6, threshold = 8, longest = 0;
        } else {
            out.add(4095, width);
            given += longest;
        }
    }
    out.add(kEnd, width);
    return out.bytes();
}

TEST_F(GifReaderTest, TheDensestStreamsOfALargeImageAreRead) {
    // Just past the size at which a block must be justified by the file.
    const int width = 8192, height = 8200;
    const std::uint64_t pixels = std::uint64_t{width} * height;
    // The strings of one table: 1, 2, ... 4091 pixels.
    const std::uint64_t oneTable = 4091ull * 4092 / 2;
    struct Case {
        bool clearWhenFull;
        std::uint64_t decoded;
    } cases[] = {{true, pixels}, {false, oneTable}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clearWhenFull ? "cleared when full" : "kept full");
        Bytes data{2};
        const Bytes blocks = subBlocks(oneColourCodes(pixels, c.clearWhenFull));
        data.insert(data.end(), blocks.begin(), blocks.end());
        const Bytes file = GifWriter()
                               .screen(width, height, kFourColours)
                               .imageRaw(width, height, 0, data)
                               .trailer()
                               .bytes();
        TempFile f(file, ".gif");
        SourceHandle src = openFileSource(f.path().c_str());
        int w = 0, h = 0;
        RGBQUAD palette[256];
        BYTE* image = readGIF(src, &w, &h, nullptr, palette, 0);
        EXPECT_EQ(getLastError(), 0);
        closeSource(src);
        ASSERT_NE(image, nullptr);
        const BYTE* end = image + pixels;
        const BYTE* firstOther =
            std::find_if(static_cast<const BYTE*>(image), end, [](BYTE b) { return b != 1; });
        EXPECT_EQ(static_cast<std::uint64_t>(firstOther - image), c.decoded);
        EXPECT_EQ(std::count(firstOther, end, 0), end - firstOther);
        GlobalFree(image);
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

// Everything a read gives back, side by side.
Bytes outcomeOf(const Decoded& d) {
    Bytes out;
    for (int v : {d.error, static_cast<int>(d.image), d.width, d.height, d.transparent, d.closedAt})
        appendU32Le(out, static_cast<std::uint32_t>(v));
    out.insert(out.end(), d.pixels.begin(), d.pixels.end());
    const auto* palette = reinterpret_cast<const std::uint8_t*>(d.palette);
    out.insert(out.end(), palette, palette + sizeof d.palette);
    return out;
}

TEST_F(GifReaderTest, NoOutputShowsWhatTheHeapHeld) {
    GifFrame frame{30, 20, patterned(30, 20, 16)};
    frame.localTable = std::vector<Rgb>(16, Rgb{7, 7, 7});
    frame.interlaced = true;
    std::vector<Bytes> files = {
        GifWriter().screen(30, 20, kFourColours).graphicControl(true, 3).image(frame).bytes()};
    for (const char* folder : {"gif-test-suite", "imagetestsuite/gif", "samples/gif"})
        for (const std::string& f : suiteFiles(folder))
            if (f.size() > 4 && f.substr(f.size() - 4) == ".gif") files.push_back(fileBytes(f));
    for (const Bytes& whole : files) {
        // Cut files stop in every part of the stream: tables, extensions, sub-blocks, codes.
        const std::size_t step = whole.size() / 29 + 1;
        std::vector<std::size_t> sizes;
        for (std::size_t n = 0; n < whole.size(); n += n < 16 ? 1 : step)
            sizes.push_back(n);
        sizes.push_back(whole.size());
        for (std::size_t n : sizes) {
            const Bytes file(whole.begin(), whole.begin() + n);
            for (int flags : {0, IMG_FLAG_DIB}) {
                const auto [first, second] =
                    underTwoFills([&] { return outcomeOf(readGifBytes(file, flags)); });
                ASSERT_EQ(first, second)
                    << "size " << file.size() << " of " << whole.size() << ", flags " << flags;
            }
        }
    }
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
