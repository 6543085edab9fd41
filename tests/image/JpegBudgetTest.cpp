// Files whose decoding would cost far more than their bytes: scans that walk a large image
// thousands of times, sampling that multiplies the coefficients held, arithmetic coding that
// spends nothing on empty blocks, segments that hold the file's bytes but code no block. Each is
// refused with the reader's code before it costs that; sound files of the same shapes read as
// libjpeg reads them.
#include "JpegBudget.h"
#include "HeapWatch.h"
#include "ImageReads.h"
#include "JpegWriter.h"
#include "LeakCheck.h"
#include "imgcore.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

ImageRead readJpeg(const Bytes& file, int bitsPerPixel, int flags) {
    return readBytes(file, 0, [&](SourceHandle src, ImageRead& r) {
        return readJPEG(src, &r.width, &r.height, bitsPerPixel, flags);
    });
}

JpegSpec image(int width, int height, int components, std::vector<JpegScan> scans = {}) {
    JpegSpec s;
    s.width = width;
    s.height = height;
    s.components = components;
    s.pixels = texturedPixels(width, height, components);
    s.scans = std::move(scans);
    s.progressive = !s.scans.empty() && (s.scans[0].se != 63 || s.scans[0].ah != 0);
    return s;
}

JpegSpec arithmetic(JpegSpec s) {
    s.arithmetic = true;
    return s;
}

// One colour throughout: the least a sound file can spend on its blocks. Every component's
// level is off the middle, so that no block decodes right from coefficients never read.
JpegSpec flat(JpegSpec s) {
    static const std::uint8_t kLevels[] = {200, 60, 30, 90};
    for (std::size_t i = 0; i < s.pixels.size(); ++i)
        s.pixels[i] = kLevels[i % static_cast<std::size_t>(s.components)];
    return s;
}

JpegSpec restarting(JpegSpec s) {
    s.restartRows = 1;
    return s;
}

JpegSpec sampled(JpegSpec s, std::vector<int> factors) {
    s.sampling = std::move(factors);
    return s;
}

// A DC scan of every component, then each component's AC coefficients in one scan.
std::vector<JpegScan> dcThenAc(int components, bool interleavedDc = true) {
    std::vector<JpegScan> scans;
    if (interleavedDc) {
        JpegScan dc{{}, 0, 0};
        for (int i = 0; i < components; ++i)
            dc.components.push_back(i);
        scans.push_back(dc);
    } else {
        for (int i = 0; i < components; ++i)
            scans.push_back({{i}, 0, 0});
    }
    for (int i = 0; i < components; ++i)
        scans.push_back({{i}, 1, 63});
    return scans;
}

// Each component in a sequential scan of its own.
std::vector<JpegScan> separateScans(int components) {
    std::vector<JpegScan> scans;
    for (int i = 0; i < components; ++i)
        scans.push_back({{i}, 0, 63});
    return scans;
}

Bytes times(const Bytes& segment, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i)
        out.insert(out.end(), segment.begin(), segment.end());
    return out;
}

// A small image claiming a large frame, with `tail` written before its end marker.
Bytes claiming(const JpegSpec& small, int width, int height, const Bytes& tail = {}) {
    return beforeEnd(claimingSize(encodeJpeg(small), width, height), tail);
}

// The same with `segment` written before its scan number `scan` instead.
Bytes claimingBeforeScan(const JpegSpec& small, int width, int height, int scan,
                         const Bytes& segment) {
    return beforeScan(claimingSize(encodeJpeg(small), width, height), scan, segment);
}

constexpr std::uint8_t kComment = 0xFE, kApp1 = 0xE1, kApp13 = 0xED;

// The file with its end marker replaced by `tail`.
Bytes withoutEnd(Bytes file, const Bytes& tail) {
    file.resize(file.size() - 2);
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A mebibyte of segments that code no block.
Bytes mebibyteOf(std::uint8_t marker) {
    return times(markerSegment(marker, 65536), 16);
}

struct HostileCase {
    const char* name;
    Bytes file;
    int bitsPerPixel;
    int flags;
    int status;
    // Both the largest single request and the most held at once.
    std::uint64_t maxHeapBytes;
};

TEST(JpegBudget, FilesThatCannotJustifyTheirCostAreRefused) {
    const Bytes acScans = times(emptyScan({1}, 1, 63, 0, 0), 1000);
    // The least sampled component's blocks of a 9088 x 9088 frame at 4 x 4 are 284 x 284: a
    // bit for each is 10082 bytes, which this comment pays for.
    const Bytes leastSampledPaid = commentSegment(12000);
    const HostileCase cases[] = {
        {"grey progressive, 1000 empty AC scans over 4096 x 4096",
         claiming(image(16, 16, 1, dcThenAc(1)), 4096, 4096, acScans), 8, 0, 3, 48 * kMiB},
        {"colour progressive, 1000 empty DC refinements over 2048 x 2048",
         claiming(
             image(16, 16, 3, {{{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 63}, {{1}, 1, 63}, {{2}, 1, 63}}),
             2048, 2048, times(emptyScan({1, 2, 3}, 0, 0, 1, 0), 1000)),
         24, 0, 3, 48 * kMiB},
        {"arithmetic progressive grey, 1000 empty AC scans over 4096 x 4096",
         claiming(arithmetic(image(16, 16, 1, dcThenAc(1))), 4096, 4096, acScans), 8, 0, 3,
         48 * kMiB},
        // One scan of every component would leave the file no room for a second.
        {"sequential, separate scans, 1000 empty luma scans over 2048 x 2048",
         claiming(image(16, 16, 3, separateScans(3)), 2048, 2048,
                  times(emptyScan({1}, 0, 63, 0, 0), 1000)),
         24, 0, 3, 48 * kMiB},
        {"CMYK progressive, three inks at 4 x 4 and black at 1 x 1, 9088 x 9088",
         claiming(sampled(image(64, 64, 4, dcThenAc(4, false)), {4, 4, 4, 4, 4, 4, 1, 1}), 9088,
                  9088, leastSampledPaid),
         24, 0, 3, kMiB},
        {"YCbCr progressive at 4 x 4, 1 x 1, 1 x 1, 9088 x 9088",
         claiming(sampled(image(64, 64, 3, dcThenAc(3, false)), {4, 4, 1, 1, 1, 1}), 9088, 9088,
                  leastSampledPaid),
         24, 0, 3, kMiB},
        {"sequential, components in separate scans at 4 x 4, 1 x 1, 1 x 1, 9088 x 9088",
         claiming(sampled(image(64, 64, 3, separateScans(3)), {4, 4, 1, 1, 1, 1}), 9088, 9088,
                  leastSampledPaid),
         24, 0, 3, kMiB},
        {"arithmetic progressive RGB at 1 x 1, 6688 x 6688",
         claiming(sampled(arithmetic(image(16, 16, 3, dcThenAc(3))), {1, 1, 1, 1, 1, 1}), 6688,
                  6688),
         24, 0, 3, kMiB},
        // The image block is past the block limit; libjpeg must not size its buffers first.
        {"arithmetic progressive grey 22337 x 44097 at 24 bits",
         claiming(arithmetic(image(16, 16, 1, dcThenAc(1))), 22337, 44097), 24, 0, 9, 4 * kMiB},
        {"arithmetic progressive grey 22337 x 44097 as a DIB",
         claiming(arithmetic(image(16, 16, 1, dcThenAc(1))), 22337, 44097), 8, IMG_FLAG_DIB, 3,
         4 * kMiB},
        // Marker segments code no block, however many bytes they hold.
        {"grey, a mebibyte of comments before the end marker, 16384 x 16384",
         claiming(image(16, 16, 1), 16384, 16384, mebibyteOf(kComment)), 8, 0, 3, 4 * kMiB},
        {"grey, a mebibyte of APP1 before the end marker, 16384 x 16384 as a DIB",
         claiming(image(16, 16, 1), 16384, 16384, mebibyteOf(kApp1)), 8, IMG_FLAG_DIB, 3, 4 * kMiB},
        {"colour 4:2:0, a mebibyte of APP13 before the end marker, 16384 x 16384",
         claiming(image(16, 16, 3), 16384, 16384, mebibyteOf(kApp13)), 24, 0, 3, 4 * kMiB},
        {"grey progressive, a mebibyte of comments between its scans, 16384 x 16384",
         claimingBeforeScan(image(16, 16, 1, dcThenAc(1)), 16384, 16384, 1, mebibyteOf(kComment)),
         8, 0, 3, 4 * kMiB},
        {"grey progressive, a mebibyte of comments before its first scan, 16384 x 16384",
         claimingBeforeScan(image(16, 16, 1, dcThenAc(1)), 16384, 16384, 0, mebibyteOf(kComment)),
         8, 0, 3, 4 * kMiB},
        {"colour progressive, a mebibyte of APP1 before its last scan, 16384 x 16384",
         claimingBeforeScan(image(16, 16, 3, dcThenAc(3)), 16384, 16384, 3, mebibyteOf(kApp1)), 24,
         0, 3, 4 * kMiB},
        {"grey progressive, a mebibyte of fill bytes and no end marker, 16384 x 16384",
         withoutEnd(claiming(image(16, 16, 1, dcThenAc(1)), 16384, 16384), Bytes(kMiB, 0xFF)), 8, 0,
         3, 4 * kMiB},
        {"grey progressive, a mebibyte of junk after a comment, 16384 x 16384",
         claiming(image(16, 16, 1, dcThenAc(1)), 16384, 16384,
                  cat({commentSegment(100), Bytes(kMiB, 'j')})),
         8, 0, 3, 4 * kMiB},
        {"sequential, separate scans, a mebibyte of comments between them, 16384 x 16384",
         claimingBeforeScan(image(16, 16, 3, separateScans(3)), 16384, 16384, 1,
                            mebibyteOf(kComment)),
         24, 0, 3, 4 * kMiB},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRead r;
        const HeapFigures heap = watchHeap([&] { r = readJpeg(c.file, c.bitsPerPixel, c.flags); });
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.image, nullptr);
        if (heapWatchAvailable()) {
            EXPECT_LE(heap.largestRequest, c.maxHeapBytes);
            EXPECT_LE(heap.peakLiveBytes, c.maxHeapBytes);
        }
    }
}

TEST(JpegBudget, SoundFilesOfTheSameShapesRead) {
    struct Case {
        const char* name;
        Bytes file;
        int bitsPerPixel;
        int flags;
    };
    // Successive approximation in every step JPEG allows for a grey image: 76 scans.
    std::vector<JpegScan> fine = {{{0}, 0, 0, 0, 5}};
    for (int al = 4; al >= 0; --al)
        fine.push_back({{0}, 0, 0, al + 1, al});
    for (int k = 1; k < 64; k += 9)
        fine.push_back({{0}, k, k + 8, 0, 1});
    for (int k = 1; k < 64; k += 9)
        fine.push_back({{0}, k, k + 8, 1, 0});
    const Case cases[] = {
        {"CMYK progressive, three inks at 4 x 4 and black at 1 x 1",
         encodeJpeg(sampled(image(200, 120, 4, dcThenAc(4, false)), {4, 4, 4, 4, 4, 4, 1, 1})), 32,
         1},
        {"YCbCr progressive at 4 x 4, 1 x 1, 1 x 1",
         encodeJpeg(sampled(image(200, 120, 3, dcThenAc(3, false)), {4, 4, 1, 1, 1, 1})), 24, 0},
        {"sequential, components in separate scans",
         encodeJpeg(sampled(image(200, 120, 3, separateScans(3)), {4, 4, 1, 1, 1, 1})), 24, 0},
        {"arithmetic progressive RGB", encodeJpeg(arithmetic(image(300, 200, 3, dcThenAc(3)))), 24,
         0},
        {"grey in many refining scans", encodeJpeg(image(300, 200, 1, fine)), 8, 0},
        // Above the free size with a bit a block in each component's DC scan and next to nothing
        // after: the scans' bytes pay for it exactly, across restarts and a segment between.
        {"flat colour progressive 2736 x 2736, a DC scan each, restarts, APP1 between scans",
         beforeScan(encodeJpeg(restarting(flat(
                        sampled(image(2736, 2736, 3, dcThenAc(3, false)), {1, 1, 1, 1, 1, 1})))),
                    1, markerSegment(kApp1, 30000)),
         24, 0},
        // 42 walks of 262144 blocks: within what any file may walk.
        {"grey progressive, 40 empty AC scans over 4096 x 4096",
         claiming(image(16, 16, 1, dcThenAc(1)), 4096, 4096,
                  times(emptyScan({1}, 1, 63, 0, 0), 40)),
         8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int width = 0, height = 0, components = 0;
        const Bytes expected = decodeJpeg(c.file, &width, &height, &components);
        ASSERT_FALSE(expected.empty());
        ImageRead r = readJpeg(c.file, c.bitsPerPixel, c.flags);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.width, width);
        EXPECT_EQ(r.height, height);
        ASSERT_EQ(GlobalSize(r.image.get()), expected.size());
        EXPECT_TRUE(r.bytes(0, expected.size()) == expected);
    }
}

// A scan header for one component, the whole spectrum.
const Bytes kScan = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};

TEST(JpegBudget, OnlyScanDataIsCounted) {
    struct Case {
        const char* name;
        Bytes stream; // from the first byte after a scan header
        bool laterScans;
        std::uint64_t counted;
        bool ended; // no later byte could count
    };
    const Bytes end = {0xFF, 0xD9};
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x06, 'a', 'b', 'c', 'd'};
    const Case cases[] = {
        {"data to the end marker", cat({{1, 2, 3}, end}), true, 3, true},
        {"stuffed 0xFF counts once", cat({{0xFF, 0x00, 5, 0xFF, 0x00}, end}), true, 3, true},
        {"fill bytes before a marker count nothing", cat({{7, 0xFF, 0xFF, 0xFF}, end}), true, 1,
         true},
        {"fill bytes before stuffing make one byte", {0xFF, 0xFF, 0xFF, 0x00}, true, 1, false},
        {"restart markers count nothing", cat({{1, 0xFF, 0xD0, 2, 0xFF, 0xD7, 3}, end}), true, 3,
         true},
        {"a comment between scans counts nothing", cat({{1, 2}, comment, kScan, {4, 5, 6}, end}),
         true, 5, true},
        {"nothing after a file's only scan counts", cat({{1, 2}, comment, kScan, {4, 5, 6}, end}),
         false, 2, true},
        {"a restart does not end a file's only scan", cat({{1, 0xFF, 0xD1, 2}, end}), false, 2,
         true},
        {"junk after a segment counts nothing",
         cat({{1}, comment, {9, 9, 0xFF, 0x00, 9, 0xFF, 0xD3}, kScan, {4}, end}), true, 2, true},
        {"a length below 2 passes only itself",
         cat({{1, 0xFF, 0xFE, 0x00, 0x01, 5, 5}, kScan, {7}, end}), true, 2, true},
        {"empty scans in a row", cat({kScan, kScan, kScan, end}), true, 0, true},
        {"a segment running past the end", cat({{1, 0xFF, 0xE1, 0xFF, 0xFF}, Bytes(10, 'x')}), true,
         1, false},
        {"a length cut short", {1, 0xFF, 0xFE, 0x00}, true, 1, false},
        {"no end marker counts to the end", {1, 2, 3}, true, 3, false},
        {"only fill bytes", Bytes(1000, 0xFF), true, 0, false},
        {"bytes after the end marker", cat({{1}, end, {2, 3}, kScan, {4}}), true, 1, true},
        {"a second frame header stops the count", cat({{1, 0xFF, 0xC0, 0x00, 0x02}, kScan, {9, 9}}),
         true, 1, true},
        {"a second start marker stops the count", cat({{1, 0xFF, 0xD8}, kScan, {9, 9}}), true, 1,
         true},
        {"an unknown marker stops the count", cat({{1, 0xFF, 0x02, 0x00, 0x02}, kScan, {9}}), true,
         1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        img::CodedByteCount whole(c.laterScans);
        EXPECT_EQ(whole.feed(c.stream.data(), c.stream.size()), !c.ended);
        EXPECT_EQ(whole.bytes(), c.counted);
        // Where the pieces break changes nothing.
        img::CodedByteCount bytewise(c.laterScans);
        bool more = true;
        for (std::size_t i = 0; i < c.stream.size() && more; ++i)
            more = bytewise.feed(&c.stream[i], 1);
        EXPECT_EQ(more, !c.ended);
        EXPECT_EQ(bytewise.bytes(), c.counted);
    }
}

} // namespace
