// Tiny files whose headers declare huge images: no block above 64 MiB unless the file can fill
// it, and the reader's code when it cannot.
#include "BmpWriter.h"
#include "GifWriter.h"
#include "ImageReads.h"
#include "JpegWriter.h"
#include "MetafileWriter.h"
#include "PcxWriter.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "TestFiles.h"
#include "TgaWriter.h"
#include "TiffWriter.h"
#include "WbmpWriter.h"
#include "imgcore.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <functional>

using namespace testing_support;

namespace {

constexpr std::size_t kFreeBlock = std::size_t{64} << 20;
constexpr std::size_t kSkippingCeiling = std::size_t{256} << 20;

void putU32Be(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// A JPEG with its frame header's size replaced.
Bytes jpegDeclaring(const JpegSpec& spec, std::uint16_t width, std::uint16_t height) {
    Bytes file = encodeJpeg(spec);
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
            file[i + 5] = static_cast<std::uint8_t>(height >> 8);
            file[i + 6] = static_cast<std::uint8_t>(height);
            file[i + 7] = static_cast<std::uint8_t>(width >> 8);
            file[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return file;
}

std::uint32_t crc32Of(const std::uint8_t* data, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// A PNG with its IHDR size replaced and the chunk's CRC made good again.
Bytes pngDeclaring(const PngSpec& spec, std::uint32_t width, std::uint32_t height) {
    Bytes file = encodePng(spec);
    putU32Be(file, 16, width);
    putU32Be(file, 20, height);
    putU32Be(file, 29, crc32Of(file.data() + 12, 17));
    return file;
}

Bytes tiffDeclaring(TiffPage page, std::uint32_t width, std::uint32_t height) {
    Bytes file = writeTiff(page);
    patchTiffTag(file, TIFFTAG_IMAGEWIDTH, width);
    patchTiffTag(file, TIFFTAG_IMAGELENGTH, height);
    patchTiffTag(file, TIFFTAG_ROWSPERSTRIP, height);
    return file;
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

using Read = std::function<BYTE*(SourceHandle, ImageRead&)>;

Read bmp(int bits, int flags = 0) {
    return [=](SourceHandle s, ImageRead& r) {
        return readBMP(s, &r.width, &r.height, bits, r.palette, flags);
    };
}
Read psd(int bits, int flags = 0) {
    return [=](SourceHandle s, ImageRead& r) {
        return readPSD(s, &r.width, &r.height, bits, r.palette, flags);
    };
}
Read jpeg(int bits, int flags = 0) {
    return
        [=](SourceHandle s, ImageRead& r) { return readJPEG(s, &r.width, &r.height, bits, flags); };
}
Read png(int bits, int flags = 0) {
    return [=](SourceHandle s, ImageRead& r) {
        return readPNG(s, &r.width, &r.height, bits, r.palette, flags);
    };
}
Read tiff(int bits, int flags = 0) {
    return [=](SourceHandle s, ImageRead& r) {
        return readTIFF(s, &r.width, &r.height, bits, r.palette, 0, flags);
    };
}

struct Case {
    const char* name;
    Bytes file;
    Read read;
    int status;
    bool image; // a block under the budget, or one the file justifies, is returned
};

std::vector<Case> hostileFiles() {
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

    Bytes psdBitmap = psdHead(1, 2147348478u, 1, 1, 0, 1);
    appendU16Be(psdBitmap, 2);
    psdBitmap.insert(psdBitmap.end(), {0x81, 0x00});

    PcxSpec pcx;
    pcx.width = 65534;
    pcx.height = 30000;
    Bytes pcxHeader = writePcx(pcx);
    pcxHeader.resize(128);

    GifWriter gif;
    gif.screen(65535, 32766).imageRaw(65535, 32766, 0, {2, 2, 0x44, 0x01, 0}).trailer();

    TgaSpec tga;
    tga.imageType = 3;
    tga.pixelDepth = 8;
    tga.width = 65535;
    tga.height = 32766;

    JpegSpec progressive;
    progressive.width = progressive.height = 16;
    progressive.pixels = texturedPixels(16, 16, 3);
    progressive.progressive = true;
    JpegSpec grey;
    grey.width = grey.height = 16;
    grey.components = 1;
    grey.pixels = texturedPixels(16, 16, 1);

    PngSpec greyPng;
    greyPng.colourType = 0;
    greyPng.rows = {0x80};

    TiffPage samples;
    samples.width = samples.height = 4;
    samples.compression = COMPRESSION_PACKBITS;
    samples.pixels = Bytes(16, 7);
    Bytes manySamples = writeTiff(samples);
    patchTiffTag(manySamples, TIFFTAG_SAMPLESPERPIXEL, 5632);
    TiffPage rawGrey;
    rawGrey.pixels = {9};

    // 8192 x 8193 bytes pass the free block size by a little; every row is in the file.
    const unsigned fullWidth = 8192, fullHeight = 8193;
    const Bytes fullRows(static_cast<std::size_t>(fullWidth / 8) * fullHeight, 0x5A);

    return {
        {"BMP 24-bit, width 715000000", writeBmp(wide), bmp(24), 3, false},
        {"BMP RLE8 23000 x 23000 without runs", writeBmp(runs), bmp(32), 3, false},
        {"BMP 134217730 x 1 at 8 bits", writeBmp(wide8), bmp(32), 3, false},
        {"BMP 134217730 x 1 as a DIB", writeBmp(wide8), bmp(8, IMG_FLAG_DIB), 3, false},
        {"BMP RLE8 5000 x 5000 under the ceiling", writeBmp(smallRuns), bmp(32), 3, true},
        {"BMP 2000 x 2000 without rows, under the budget", writeBmp(shortRows), bmp(24), 3, true},
        {"PSD bitmap PackBits 2147348478 x 1", psdBitmap, psd(8), 3, false},
        // Past the block limit at three bytes a pixel: no memory, as for any such size.
        {"PSD bitmap PackBits 2147348478 x 1 at 24", psdBitmap, psd(24), 1, false},
        {"PSD CMYK raw 20000 x 20000 as a DIB", psdHead(4, 20000, 20000, 8, 4, 0),
         psd(24, IMG_FLAG_DIB), 3, false},
        {"PCX header only, 65534 x 30000", pcxHeader,
         [](SourceHandle s, ImageRead& r) {
             return readPCX(s, &r.width, &r.height, 8, r.palette, 0);
         },
         3, false},
        {"GIF 65535 x 32766", gif.bytes(),
         [](SourceHandle s, ImageRead& r) {
             return readGIF(s, &r.width, &r.height, nullptr, r.palette, 0);
         },
         3, false},
        {"WBMP 46000 x 46000", writeWbmp(46000, 46000, {}),
         [](SourceHandle s, ImageRead& r) {
             return readWBMP(s, &r.width, &r.height, r.palette, 8, 0);
         },
         3, false},
        {"WBMP whose rows fill a block past the budget", writeWbmp(fullWidth, fullHeight, fullRows),
         [](SourceHandle s, ImageRead& r) {
             return readWBMP(s, &r.width, &r.height, r.palette, 8, 0);
         },
         0, true},
        {"TGA header only, 65535 x 32766", writeTga(tga),
         [](SourceHandle s, ImageRead& r) {
             return readTGA(s, &r.width, &r.height, 8, r.palette, 0);
         },
         3, false},
        {"JPEG progressive 25000 x 25000", jpegDeclaring(progressive, 25000, 25000), jpeg(24), 3,
         false},
        {"JPEG baseline grey 65500 x 32700", jpegDeclaring(grey, 65500, 32700), jpeg(8), 3, false},
        {"JPEG baseline grey 65500 x 32700 as a DIB", jpegDeclaring(grey, 65500, 32700),
         jpeg(8, IMG_FLAG_DIB), 3, false},
        {"PNG grey 23000 x 23000", pngDeclaring(greyPng, 23000, 23000), png(32), 15, false},
        {"PNG grey 23000 x 23000 as a DIB", pngDeclaring(greyPng, 23000, 23000),
         png(8, IMG_FLAG_DIB), 15, false},
        {"TIFF 5632 samples per pixel", manySamples, tiff(24), 28, false},
        {"TIFF raw grey 46000 x 11500 at 24", tiffDeclaring(rawGrey, 46000, 11500), tiff(24), 20,
         false},
        {"TIFF raw grey 46000 x 46000 at 8 bits", tiffDeclaring(rawGrey, 46000, 46000), tiff(8), 20,
         false},
    };
}

TEST(HostileSizeTest, TinyFilesDeclaringHugeImagesCostWhatTheFileCan) {
    for (const Case& c : hostileFiles()) {
        const ImageRead r = readBytes(c.file, 0, c.read);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.image != nullptr, c.image) << c.name;
        // A short file's block stays under the ceiling of encodings that skip pixels.
        if (r.image != nullptr && c.status != 0) {
            EXPECT_LE(GlobalSize(r.image.get()), kSkippingCeiling) << c.name;
        }
    }
}

TEST(HostileSizeTest, ABlockUnderTheBudgetStillReadsAShortFile) {
    // Under the free block size the rest of a short file stays zero, with the reader's code.
    const ImageRead r =
        readBytes(writeWbmp(4000, 4000, Bytes(500, 0xFF)), 0, [](SourceHandle s, ImageRead& out) {
            return readWBMP(s, &out.width, &out.height, out.palette, 8, 0);
        });
    EXPECT_EQ(r.status, 3);
    ASSERT_NE(r.image, nullptr);
    EXPECT_LE(GlobalSize(r.image.get()), kFreeBlock);
    EXPECT_EQ(r.image.get()[0], 1);
    EXPECT_EQ(r.image.get()[4000u * 4000u - 1], 0);
}

TEST(HostileSizeTest, AMetafileAskingForAPosterGetsNoBitmap) {
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

TEST(HostileSizeTest, PsdBitmapWideSlowReadsCleanly) {
    // Found by fuzzing: 679 bytes declaring a 3997953 x 131 bitmap.
    const std::string path = suiteFile("../regressions/psd-bitmap-wide-slow.psd");
    if (path.empty()) GTEST_SKIP() << "regression inputs not present";
    for (int bits : {8, 24}) {
        const ImageRead r = readPath(path, psd(bits));
        EXPECT_EQ(r.status, 3) << bits;
        EXPECT_EQ(r.image, nullptr) << bits;
    }
}

} // namespace
