// Small files whose headers declare images too large for a block: every reader refuses them
// before writing a row, and every DIB a reader does return holds what its own header says. Below
// the block limit, no block above 64 MiB unless the file can fill it.
#include "BmpWriter.h"
#include "GifWriter.h"
#include "ImageReads.h"
#include "JpegWriter.h"
#include "MetafileWriter.h"
#include "PcdWriter.h"
#include "PcxWriter.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "TestFiles.h"
#include "TgaWriter.h"
#include "TiffWriter.h"
#include "WbmpWriter.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

using namespace testing_support;

namespace {

using Reader = std::function<BYTE*(SourceHandle, ImageRead&)>;

// The readers that take (source, width, height, depth, palette, flags).
using PlainRead = BYTE* (*)(SourceHandle, int*, int*, int, RGBQUAD*, int);
Reader plain(PlainRead read, int bits, int flags) {
    return [=](SourceHandle s, ImageRead& r) {
        return read(s, &r.width, &r.height, bits, r.palette, flags);
    };
}
Reader gif(int flags) {
    return [=](SourceHandle s, ImageRead& r) {
        int transparent = 0;
        return readGIF(s, &r.width, &r.height, &transparent, r.palette, flags);
    };
}
Reader wbmp(int bits, int flags) {
    return [=](SourceHandle s, ImageRead& r) {
        return readWBMP(s, &r.width, &r.height, r.palette, bits, flags);
    };
}
Reader jpeg(int bits, int flags) {
    return
        [=](SourceHandle s, ImageRead& r) { return readJPEG(s, &r.width, &r.height, bits, flags); };
}
Reader pcd(int subImage, int flags) {
    return [=](SourceHandle s, ImageRead& r) {
        return readPCD(s, &r.width, &r.height, subImage, flags);
    };
}
Reader tiff(int bits, int flags) {
    return [=](SourceHandle s, ImageRead& r) {
        return readTIFF(s, &r.width, &r.height, bits, r.palette, 0, flags);
    };
}

void putU32Be(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// A PNG whose header is rewritten to another size; the pixels stay those of a small image.
Bytes pngClaiming(PngSpec layout, std::uint32_t width, std::uint32_t height) {
    layout.rows.assign(pngRowBytes(layout) * layout.height, 0x5A);
    Bytes file = encodePng(layout);
    // Signature (8), IHDR length and type (8), then width and height; the CRC covers type and data.
    putU32Be(file, 16, width);
    putU32Be(file, 20, height);
    putU32Be(file, 29, static_cast<std::uint32_t>(crc32(0, file.data() + 12, 17)));
    return file;
}

// A JPEG of 16 x 16, baseline or progressive, whose frame header claims another size.
Bytes jpegClaiming(int components, int width, int height, bool progressive = false) {
    JpegSpec layout;
    layout.width = layout.height = 16;
    layout.components = components;
    layout.pixels = texturedPixels(16, 16, components);
    layout.progressive = progressive;
    Bytes file = encodeJpeg(layout);
    const std::uint8_t frame = progressive ? 0xC2 : 0xC0;
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] != 0xFF || file[i + 1] != frame) continue;
        // Marker, length, precision, then height and width, both big-endian.
        file[i + 5] = static_cast<std::uint8_t>(height >> 8);
        file[i + 6] = static_cast<std::uint8_t>(height);
        file[i + 7] = static_cast<std::uint8_t>(width >> 8);
        file[i + 8] = static_cast<std::uint8_t>(width);
        return file;
    }
    ADD_FAILURE() << "no frame header";
    return file;
}

// The fixtures carry pixels only for the small images; the large ones are headers alone.
bool tiny(int width, int height) {
    return static_cast<std::int64_t>(width) * height <= 64;
}

Bytes bmpOf(int width, int height, int bitCount) {
    BmpSpec layout;
    layout.width = width;
    layout.height = height;
    layout.bitCount = bitCount;
    if (bitCount <= 8) layout.palette = greyPalette(1 << bitCount);
    if (tiny(width, height))
        layout.pixels.assign(static_cast<std::size_t>(((width * bitCount + 31) / 32) * 4) * height,
                             1);
    return writeBmp(layout);
}

Bytes gifOf(int width, int height) {
    GifWriter w;
    w.screen(width, height, {{0, 0, 0}, {255, 255, 255}});
    if (tiny(width, height))
        w.image(GifFrame(width, height, Bytes(static_cast<std::size_t>(width) * height, 1)));
    else
        w.imageRaw(width, height, 0, {2, 0});
    return w.trailer().bytes();
}

Bytes psdOf(int width, int height) {
    PsdImage image;
    image.width = width;
    image.height = height;
    if (tiny(width, height))
        image.planes.assign(3, Bytes(static_cast<std::size_t>(width) * height, 7));
    return psdFile(image);
}

Bytes tgaOf(int width, int height) {
    TgaSpec layout;
    layout.width = width;
    layout.height = height;
    if (tiny(width, height)) layout.pixels.assign(static_cast<std::size_t>(width) * height * 3, 9);
    return writeTga(layout);
}

Bytes pcxOf(int width, int height) {
    PcxSpec layout;
    layout.width = width;
    layout.height = height;
    if (tiny(width, height))
        layout.lines.assign(static_cast<std::size_t>(height),
                            Bytes(static_cast<std::size_t>(pcxBytesPerLine(layout)), 3));
    layout.vgaPalette.assign(768, 0x40);
    return writePcx(layout);
}

Bytes tiffClaiming(std::uint32_t width, std::uint32_t height, std::uint16_t samples) {
    TiffPage page;
    page.width = page.height = 4;
    page.samplesPerPixel = samples;
    page.photometric = samples == 3 ? 2 : 1;
    page.pixels.assign(16 * samples, 0x33);
    Bytes file = writeTiff(page);
    EXPECT_TRUE(patchTiffTag(file, 256, width));
    EXPECT_TRUE(patchTiffTag(file, 257, height));
    // One strip, so that its byte count is all the rows have.
    patchTiffTag(file, TIFFTAG_ROWSPERSTRIP, height);
    return file;
}

// What a packed DIB's own header says it holds: header, colour table or masks, and rows.
std::uint64_t dibClaimedBytes(const BYTE* dib) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    std::uint64_t table = 0;
    if (h.biBitCount <= 8)
        table = 4ull * (h.biClrUsed != 0 ? h.biClrUsed : 1u << h.biBitCount);
    else if (h.biCompression == BI_BITFIELDS)
        table = 12;
    const std::uint64_t rows = static_cast<std::uint64_t>(std::llabs(h.biHeight));
    const std::uint64_t rowBytes =
        (static_cast<std::uint64_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    const std::uint64_t image = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS
                                    ? rowBytes * rows
                                    : h.biSizeImage;
    return h.biSize + table + image;
}

struct Case {
    const char* name;
    Bytes file;
    Reader read;
    bool dib;
    int status;    // the last-error code after the read
    bool returned; // whether an image comes back
};

TEST(HostileSize, EveryReaderRefusesRowsNoBlockHoldsAndReturnsDibsThatHoldTheirRows) {
    PngSpec rgba;
    rgba.colourType = 6;
    rgba.width = 64;
    rgba.height = 16;
    PngSpec grey;
    grey.colourType = 0;
    grey.width = 64;
    grey.height = 16;
    const Bytes rgbaWide = pngClaiming(rgba, 1000000, 600);
    const Bytes greyWide = pngClaiming(grey, 1000000, 3000);
    const Bytes greyJpeg = jpegClaiming(1, 65500, 65500);
    const Bytes colourJpeg = jpegClaiming(3, 65500, 65500);
    PngSpec small = grey;
    small.width = 5;
    small.height = 3;
    JpegSpec smallJpeg;
    smallJpeg.width = 5;
    smallJpeg.height = 3;
    smallJpeg.pixels = texturedPixels(5, 3, 3);

    const Case cases[] = {
        // The sizes of the fault: rows passed the limit, a header-sized block took them.
        {"rgba png 1000000 x 600 at 32", rgbaWide, plain(readPNG, 32, 2), true, 1, false},
        {"grey png 1000000 x 3000 at 8", greyWide, plain(readPNG, 8, 2), true, 1, false},
        {"grey png 1000000 x 3000 at 24", greyWide, plain(readPNG, 24, 2), true, 1, false},
        {"grey png 1000000 x 3000 at 32", greyWide, plain(readPNG, 32, 2), true, 1, false},
        {"grey png 1000000 x 3000 buffer at 8", greyWide, plain(readPNG, 8, 0), false, 1, false},
        {"grey jpeg 65500 x 65500 at 8", greyJpeg, jpeg(8, 2), true, 1, false},
        {"colour jpeg 65500 x 65500 at 24", colourJpeg, jpeg(24, 2), true, 1, false},
        {"colour jpeg 65500 x 65500 buffer", colourJpeg, jpeg(24, 0), false, 1, false},
        // Rows whose product wraps to 0 in 32 bits, or passes the limit, in every reader.
        {"bmp 65536 x 65536 at 8", bmpOf(65536, 65536, 8), plain(readBMP, 8, 2), true, 1, false},
        {"bmp 65536 x 65536 buffer at 24", bmpOf(65536, 65536, 8), plain(readBMP, 24, 0), false, 1,
         false},
        {"bmp 2^30 x 4 at 32", bmpOf(1 << 30, 4, 32), plain(readBMP, 32, 2), true, 1, false},
        {"gif 65535 x 65535", gifOf(65535, 65535), gif(2), true, 1, false},
        {"gif 65535 x 65535 buffer", gifOf(65535, 65535), gif(0), false, 1, false},
        {"wbmp 2^31 - 1 x 64 dib", writeWbmp(0x7FFFFFFF, 64, {}), wbmp(1, 2), true, 1, false},
        {"wbmp 65536 x 65536 at 8", writeWbmp(65536, 65536, {}), wbmp(8, 0), false, 1, false},
        {"psd 30000 x 30000 rgb", psdOf(30000, 30000), plain(readPSD, 24, 2), true, 1, false},
        {"tga 65535 x 65535 at 24", tgaOf(65535, 65535), plain(readTGA, 24, 2), true, 1, false},
        {"tga 65535 x 65535 buffer", tgaOf(65535, 65535), plain(readTGA, 24, 0), false, 1, false},
        {"pcx 65534 x 65534 at 8", pcxOf(65534, 65534), plain(readPCX, 8, 2), true, 1, false},
        {"pcx 65534 x 65534 buffer", pcxOf(65534, 65534), plain(readPCX, 24, 0), false, 1, false},
        {"tiff 65536 x 65536 grey", tiffClaiming(65536, 65536, 1), tiff(8, 2), true, 1, false},
        {"tiff 65536 x 65536 rgb", tiffClaiming(65536, 65536, 3), tiff(24, 2), true, 1, false},
        // Sound small files: the DIB holds its rows.
        {"bmp 5 x 3 at 8", bmpOf(5, 3, 8), plain(readBMP, 8, 2), true, 0, true},
        {"bmp 5 x 3 at 24", bmpOf(5, 3, 24), plain(readBMP, 24, 2), true, 0, true},
        {"gif 5 x 3", gifOf(5, 3), gif(2), true, 0, true},
        {"wbmp 5 x 3", writeWbmp(5, 3, Bytes(3, 0xA0)), wbmp(1, 2), true, 0, true},
        {"psd 5 x 3", psdOf(5, 3), plain(readPSD, 24, 2), true, 0, true},
        {"tga 5 x 3", tgaOf(5, 3), plain(readTGA, 24, 2), true, 0, true},
        {"pcx 5 x 3", pcxOf(5, 3), plain(readPCX, 8, 2), true, 0, true},
        {"png 5 x 3 at 8", pngClaiming(small, 5, 3), plain(readPNG, 8, 2), true, 0, true},
        {"png 5 x 3 at 32", pngClaiming(small, 5, 3), plain(readPNG, 32, 2), true, 0, true},
        {"jpeg 5 x 3", encodeJpeg(smallJpeg), jpeg(24, 2), true, 0, true},
        {"tiff 4 x 4 grey", tiffClaiming(4, 4, 1), tiff(8, 2), true, 0, true},
        // A Photo CD level has a fixed size, so only its DIB's layout is checked.
        {"pcd 192 x 128", writePcd(PcdFile{}), pcd(1, 2), true, 0, true},
        {"tiff 4 x 4 rgb", tiffClaiming(4, 4, 3), tiff(24, 2), true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);

        const ImageRead r = readBytes(c.file, 0, c.read);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.image != nullptr, c.returned);
        if (r.image == nullptr || !c.dib) continue;
        EXPECT_EQ(r.header().biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_GE(GlobalSize(r.image.get()), dibClaimedBytes(r.image.get()));
    }
}

// The PSD sections before the image data, all empty, for a header of these values.
Bytes psdHead(int channels, std::uint32_t width, std::uint32_t height, int depth, int mode,
              int compression) {
    Bytes b = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    appendU16Be(b, static_cast<unsigned>(channels));
    appendU32Be(b, height);
    appendU32Be(b, width);
    appendU16Be(b, static_cast<unsigned>(depth));
    appendU16Be(b, static_cast<unsigned>(mode));
    for (int section = 0; section < 3; ++section)
        appendU32Be(b, 0);
    appendU16Be(b, static_cast<unsigned>(compression));
    return b;
}

constexpr std::size_t kFreeBlock = std::size_t{64} << 20;
constexpr std::size_t kSkippingCeiling = std::size_t{256} << 20;

struct BudgetCase {
    const char* name;
    Bytes file;
    Reader read;
    int status;
    bool image; // a block under the budget, or one the file justifies, is returned
};

std::vector<BudgetCase> hostileFiles() {
    BmpSpec wide;
    wide.width = 715000000;
    wide.pixels = {1, 2, 3};
    BmpSpec runs;
    runs.width = runs.height = 23000;
    runs.bitCount = 8;
    runs.compression = 1;
    runs.palette = greyPalette(1);
    BmpSpec wide8;
    wide8.width = 134217730;
    wide8.bitCount = 8;
    wide8.palette = greyPalette(16);
    wide8.pixels = {0, 1, 2, 3};
    BmpSpec smallRuns = runs;
    smallRuns.width = smallRuns.height = 5000;
    BmpSpec shortRows;
    shortRows.width = shortRows.height = 2000;
    // Found by fuzzing: 1-bit blocks under the free size that hold half a billion pixels,
    // which every conversion and drawing then walks.
    BmpSpec wideBits;
    wideBits.width = 2490495;
    wideBits.height = 195;
    wideBits.bitCount = 1;
    wideBits.palette = greyPalette(2);
    wideBits.pixels = {0x55, 0xAA};
    BmpSpec tallBits = wideBits;
    tallBits.width = 127;
    tallBits.height = 2949162;

    Bytes psdBitmap = psdHead(1, 2147348478u, 1, 1, 0, 1);
    appendU16Be(psdBitmap, 2);
    psdBitmap.insert(psdBitmap.end(), {0x81, 0x00});

    PcxSpec pcxLayout;
    pcxLayout.width = 65534;
    pcxLayout.height = 30000;
    Bytes pcxHeader = writePcx(pcxLayout);
    pcxHeader.resize(128);

    GifWriter gifFile;
    gifFile.screen(65535, 32766).imageRaw(65535, 32766, 0, {2, 2, 0x44, 0x01, 0}).trailer();
    // 66000 bytes of codes give a few thousand pixels, not two billion.
    Bytes gifCodes{8};
    const Bytes zeroCodes = subBlocks(Bytes(66000, 0));
    gifCodes.insert(gifCodes.end(), zeroCodes.begin(), zeroCodes.end());
    GifWriter gifLoose;
    gifLoose.screen(65535, 32766).imageRaw(65535, 32766, 0x40, gifCodes).trailer();

    TgaSpec tgaLayout;
    tgaLayout.imageType = 3;
    tgaLayout.pixelDepth = 8;
    tgaLayout.width = 65535;
    tgaLayout.height = 32766;

    PngSpec greyPng;
    greyPng.colourType = 0;

    TiffPage samples;
    samples.width = samples.height = 4;
    samples.compression = COMPRESSION_PACKBITS;
    samples.pixels = Bytes(16, 7);
    Bytes manySamples = writeTiff(samples);
    patchTiffTag(manySamples, TIFFTAG_SAMPLESPERPIXEL, 5632);

    // 8192 x 8193 bytes pass the free block size by a little; every row is in the file.
    const unsigned fullWidth = 8192, fullHeight = 8193;
    const Bytes fullRows(static_cast<std::size_t>(fullWidth / 8) * fullHeight, 0x5A);

    return {
        {"BMP 24-bit, width 715000000", writeBmp(wide), plain(readBMP, 24, 0), 3, false},
        {"BMP RLE8 23000 x 23000 without runs", writeBmp(runs), plain(readBMP, 32, 0), 3, false},
        {"BMP 134217730 x 1 at 8 bits", writeBmp(wide8), plain(readBMP, 32, 0), 3, false},
        {"BMP 134217730 x 1 as a DIB", writeBmp(wide8), plain(readBMP, 8, IMG_FLAG_DIB), 3, false},
        {"BMP 1-bit 2490495 x 195 as a DIB", writeBmp(wideBits), plain(readBMP, 1, IMG_FLAG_DIB), 3,
         false},
        {"BMP 1-bit 127 x 2949162 as a DIB", writeBmp(tallBits), plain(readBMP, 1, IMG_FLAG_DIB), 3,
         false},
        {"BMP 1-bit 2490495 x 195 at 1 bit", writeBmp(wideBits), plain(readBMP, 1, 0), 3, false},
        {"WBMP 20000 x 20000 at 1 bit", writeWbmp(20000, 20000, {}), wbmp(1, 0), 3, false},
        {"BMP RLE8 5000 x 5000 under the ceiling", writeBmp(smallRuns), plain(readBMP, 32, 0), 3,
         true},
        {"BMP 2000 x 2000 without rows, under the budget", writeBmp(shortRows),
         plain(readBMP, 24, 0), 3, true},
        {"PSD bitmap PackBits 2147348478 x 1", psdBitmap, plain(readPSD, 8, 0), 3, false},
        // The bitmap's own block comes before the one past the block limit, and is refused.
        {"PSD bitmap PackBits 2147348478 x 1 at 24", psdBitmap, plain(readPSD, 24, 0), 3, false},
        {"PSD CMYK raw 20000 x 20000 as a DIB", psdHead(4, 20000, 20000, 8, 4, 0),
         plain(readPSD, 24, IMG_FLAG_DIB), 3, false},
        {"PCX header only, 65534 x 30000", pcxHeader, plain(readPCX, 8, 0), 3, false},
        {"GIF 65535 x 32766", gifFile.bytes(), gif(0), 3, false},
        {"GIF 65535 x 32766 with 66000 bytes of codes", gifLoose.bytes(), gif(0), 3, false},
        {"WBMP 46000 x 46000", writeWbmp(46000, 46000, {}), wbmp(8, 0), 3, false},
        {"WBMP whose rows fill a block past the budget", writeWbmp(fullWidth, fullHeight, fullRows),
         wbmp(8, 0), 0, true},
        {"TGA header only, 65535 x 32766", writeTga(tgaLayout), plain(readTGA, 8, 0), 3, false},
        {"JPEG progressive 25000 x 25000", jpegClaiming(3, 25000, 25000, true), jpeg(24, 0), 3,
         false},
        {"JPEG baseline grey 65500 x 32700", jpegClaiming(1, 65500, 32700), jpeg(8, 0), 3, false},
        {"JPEG baseline grey 65500 x 32700 as a DIB", jpegClaiming(1, 65500, 32700),
         jpeg(8, IMG_FLAG_DIB), 3, false},
        {"PNG grey 23000 x 23000", pngClaiming(greyPng, 23000, 23000), plain(readPNG, 32, 0), 15,
         false},
        {"PNG grey 23000 x 23000 as a DIB", pngClaiming(greyPng, 23000, 23000),
         plain(readPNG, 8, IMG_FLAG_DIB), 15, false},
        {"TIFF 5632 samples per pixel", manySamples, tiff(24, 0), 28, false},
        {"TIFF raw grey 46000 x 11500 at 24", tiffClaiming(46000, 11500, 1), tiff(24, 0), 20,
         false},
        {"TIFF raw grey 46000 x 46000 at 8 bits", tiffClaiming(46000, 46000, 1), tiff(8, 0), 20,
         false},
    };
}

TEST(HostileSize, TinyFilesDeclaringHugeImagesCostWhatTheFileCan) {
    for (const BudgetCase& c : hostileFiles()) {
        const ImageRead r = readBytes(c.file, 0, c.read);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.image != nullptr, c.image) << c.name;
        // A short file's block stays under the ceiling of encodings that skip pixels.
        if (r.image != nullptr && c.status != 0) {
            EXPECT_LE(GlobalSize(r.image.get()), kSkippingCeiling) << c.name;
        }
    }
}

TEST(HostileSize, ABlockUnderTheBudgetStillReadsAShortFile) {
    // Under the free block size the rest of a short file stays zero, with the reader's code.
    const ImageRead r = readBytes(writeWbmp(4000, 4000, Bytes(500, 0xFF)), 0, wbmp(8, 0));
    EXPECT_EQ(r.status, 3);
    ASSERT_NE(r.image, nullptr);
    EXPECT_LE(GlobalSize(r.image.get()), kFreeBlock);
    EXPECT_EQ(r.image.get()[0], 1);
    EXPECT_EQ(r.image.get()[4000u * 4000u - 1], 0);
}

TEST(HostileSize, AMetafileAskingForAPosterGetsNoBitmap) {
    // A placeable header of 32767 x 32767 units at 96 per inch asks for 32767 x 32767 pixels.
    WmfWriter picture;
    picture.window(0, 0, 100, 100).rectangle(0, 0, 50, 50);
    const TempFile file(picture.placeable(0, 0, 32767, 32767, 96), ".wmf");
    int width = -1, height = -1;
    BYTE* image = loadMetafile(file.path().c_str(), &width, &height, 0, 0, 0xFFFFFF, 0);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(getLastError(), 23);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    if (image != nullptr) GlobalFree(image);
}

TEST(HostileSize, PsdBitmapWideSlowReadsCleanly) {
    // Found by fuzzing: 679 bytes declaring a 3997953 x 131 bitmap.
    const std::string path = testing_support::regressionFile("psd-bitmap-wide-slow.psd");
    if (path.empty()) GTEST_SKIP() << "regression inputs not present";
    for (int bits : {8, 24}) {
        const ImageRead r = readPath(path, plain(readPSD, bits, 0));
        EXPECT_EQ(r.status, 3) << bits;
        EXPECT_EQ(r.image, nullptr) << bits;
    }
}

} // namespace
