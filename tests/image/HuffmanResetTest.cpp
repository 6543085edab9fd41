#include "HuffmanReset.h"
#include "JpegSource.h"
#include "JpegWriter.h"

#include <gtest/gtest.h>

using testing_support::Bytes;
using testing_support::JpegSpec;

namespace {

// A file with a restart marker after every MCU row, then the same entropy data with the
// markers and the restart interval taken out: what a codec that restarts each strip on its
// own hands to the decoder.
JpegSpec stripedSpec(bool progressive = false, bool arithmetic = false) {
    JpegSpec s;
    s.width = 32;
    s.height = 32;
    s.components = 3;
    s.fullChroma = true;
    s.restartRows = 1;
    s.progressive = progressive;
    s.arithmetic = arithmetic;
    s.pixels = testing_support::texturedPixels(32, 32, 3);
    return s;
}

Bytes withoutRestarts(const Bytes& jpeg) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    std::size_t i = 2;
    while (i + 4 <= jpeg.size()) {
        const BYTE marker = jpeg[i + 1];
        const std::size_t length = std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (marker != 0xDD) out.insert(out.end(), jpeg.begin() + i, jpeg.begin() + i + 2 + length);
        i += 2 + length;
        if (marker != 0xDA) continue;
        for (; i < jpeg.size(); ++i) {
            const bool restart = jpeg[i] == 0xFF && i + 1 < jpeg.size() && jpeg[i + 1] >= 0xD0 &&
                                 jpeg[i + 1] <= 0xD7;
            if (restart) {
                ++i;
                continue;
            }
            out.push_back(jpeg[i]);
        }
    }
    return out;
}

// Decodes row by row; `between(cinfo)` runs before each MCU row after the first.
template <class Between> Bytes decodeRows(const Bytes& file, Between between) {
    jpeg_decompress_struct c{};
    jpeg_error_mgr errors;
    c.err = img::installJpegErrors(&errors);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&c, TRUE);
    jpeg_start_decompress(&c);
    const std::size_t rowBytes = std::size_t(c.output_width) * c.output_components;
    Bytes out(rowBytes * c.output_height);
    while (c.output_scanline < c.output_height) {
        if (c.output_scanline > 0 && c.output_scanline % 8 == 0) between(&c);
        JSAMPROW row = out.data() + c.output_scanline * rowBytes;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return out;
}

TEST(HuffmanResetTest, RestartsEachMcuRowWithoutMarkers) {
    const Bytes marked = testing_support::encodeJpeg(stripedSpec());
    const Bytes bare = withoutRestarts(marked);
    ASSERT_LT(bare.size(), marked.size());
    const Bytes expected = decodeRows(marked, [](j_decompress_ptr) {});

    bool reachable = false;
    const Bytes reset = decodeRows(bare, [&](j_decompress_ptr c) {
        reachable = img::huffmanDecoderReachable(c);
        img::resetHuffmanDecoder(c);
    });
    ASSERT_TRUE(reachable) << "the installed libjpeg is the one whose decoder layout we know";
    EXPECT_EQ(reset, expected);
    EXPECT_NE(decodeRows(bare, [](j_decompress_ptr) {}), expected)
        << "without the reset the second row reads the padding bits and old predictions";
}

TEST(HuffmanResetTest, RefusesDecodersItCannotReach) {
    struct Case {
        const char* name;
        JpegSpec layout;
    };
    const Case cases[] = {
        {"progressive", stripedSpec(true, false)},
        {"arithmetic", stripedSpec(false, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = testing_support::encodeJpeg(c.layout);
        bool reachable = true;
        const Bytes reset = decodeRows(file, [&](j_decompress_ptr cinfo) {
            reachable = img::huffmanDecoderReachable(cinfo);
            img::resetHuffmanDecoder(cinfo);
        });
        EXPECT_FALSE(reachable);
        EXPECT_EQ(reset, decodeRows(file, [](j_decompress_ptr) {})) << "left alone";
    }

    jpeg_decompress_struct idle{};
    jpeg_error_mgr errors;
    idle.err = img::installJpegErrors(&errors);
    jpeg_create_decompress(&idle);
    EXPECT_FALSE(img::huffmanDecoderReachable(&idle)) << "not decoding a scan";
    img::resetHuffmanDecoder(&idle);
    jpeg_destroy_decompress(&idle);
    EXPECT_FALSE(img::huffmanDecoderReachable(nullptr));
}

TEST(HuffmanResetTest, TrustsOnlyTheLayoutItWasBuiltFor) {
    EXPECT_TRUE(img::knownHuffmanLayout("2.1.5"));
    for (const char* other : {"2.1.4", "3.0.0", "2.1.50", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(img::knownHuffmanLayout(other)) << (other ? other : "null");
}

} // namespace
