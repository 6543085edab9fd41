#include "BmpWriter.h"
#include "CPluginImage.h"
#include "JpegWriter.h"
#include "LeakCheck.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "TgaWriter.h"
#include "TiffWriter.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using gallimo::CPluginImage;
using namespace testing_support;

namespace {

class PluginImageTest : public LeakCheckedTest {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("gallimo-image-" + std::to_string(getpid()));
        fs::create_directories(folder / "dir.d");
    }
    void TearDown() override {
        fs::remove_all(folder);
        LeakCheckedTest::TearDown();
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        const fs::path p = folder / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path folder;
};

Bytes greyTiff(float xResolution, float yResolution, int bits = 8) {
    TiffPage page;
    page.width = 8;
    page.height = 10;
    page.bitsPerSample = static_cast<std::uint16_t>(bits);
    page.samplesPerPixel = bits == 8 ? 3 : 1;
    page.photometric = bits == 8 ? 2 : 1;
    page.xResolution = xResolution;
    page.yResolution = yResolution;
    page.resolutionUnit = 2;
    page.pixels = Bytes(tiffRowBytes(page) * page.height, 0);
    return writeTiff(page);
}

} // namespace

TEST_F(PluginImageTest, TypesComeFromContentThenExtension) {
    struct Case {
        const char* name;
        int type;
    };
    const Case byExtension[] = {
        {"x.JPG", 0},  {"x.jpeg", 0}, {"x.Bmp", 2},        {"x.gif", 24}, {"x.wbm", 18},
        {"x.TIFF", 9}, {"x.png", 6},  {"x.pcx", 4},        {"x.tga", 12}, {"x.wmf", 14},
        {"x.emf", 15}, {"x.psd", 23}, {"dir.d\\name", 23}, {"noext", 23},
    };
    for (const Case& c : byExtension)
        EXPECT_EQ(CPluginImage::TypeFromExtension(c.name), c.type) << c.name;

    PngSpec rgba;
    rgba.width = rgba.height = 2;
    rgba.colourType = 6;
    rgba.rows = Bytes(16, 200);
    const std::string png = file("alpha.dat", encodePng(rgba));
    EXPECT_EQ(CPluginImage::TypeFromFile(png.c_str()), 8) << "RGBA by content, whatever the name";
    JpegSpec grey;
    grey.components = 1;
    grey.pixels = texturedPixels(8, 8, 1);
    EXPECT_EQ(CPluginImage::TypeFromFile(file("grey.bin", encodeJpeg(grey)).c_str()), 1);
    EXPECT_EQ(CPluginImage::TypeFromFile(file("one.tif", greyTiff(72, 72, 1)).c_str()), 19);
    EXPECT_EQ(CPluginImage::TypeFromFile((folder / "missing.png").string().c_str()), 23);
}

TEST_F(PluginImageTest, LoadReportsTheReadersCodes) {
    CPluginImage image;
    EXPECT_EQ(image.Load("", true, 23, 0), 2);
    fs::create_directories(folder / "pictures.bmp");
    EXPECT_EQ(image.Load((folder / "pictures.bmp").string().c_str(), true, 2, 0), 2)
        << "a folder named like an image is a file that cannot be opened";
    const std::string junk =
        file("junk.JPG", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    EXPECT_EQ(image.Load(junk.c_str(), true, 23, 0), 9)
        << "type 0 by its name, then the JPEG reader's code";
    EXPECT_EQ(image.buffer, nullptr);
    EXPECT_EQ(image.Load(file("junk.psd", Bytes(40, 1)).c_str(), true, 23, 0), 5);
}

TEST_F(PluginImageTest, AlphaIsKeptOnlyWhenAllowed) {
    PngSpec rgba;
    rgba.width = rgba.height = 2;
    rgba.colourType = 6;
    rgba.rows = Bytes(16, 90);
    const std::string png = file("alpha.png", encodePng(rgba));
    CPluginImage image;
    ASSERT_EQ(image.Load(png.c_str(), true, 23, 0), 0);
    EXPECT_EQ(image.bitsPerPixel, 32);
    ASSERT_EQ(image.Load(png.c_str(), false, 23, 0), 0);
    EXPECT_EQ(image.bitsPerPixel, 24);
}

TEST_F(PluginImageTest, GreyJpegsGetAGreyRampAndBilevelTiffsWhiteForZero) {
    JpegSpec grey;
    grey.components = 1;
    grey.pixels = texturedPixels(8, 8, 1);
    CPluginImage image;
    ASSERT_EQ(image.Load(file("grey.jpg", encodeJpeg(grey)).c_str(), true, 23, 0), 0);
    EXPECT_EQ(image.bitsPerPixel, 8);
    EXPECT_EQ(image.paletteCount, 256);
    EXPECT_EQ(image.palette[77].rgbRed, 77);
    EXPECT_EQ(image.palette[77].rgbReserved, 77);

    ASSERT_EQ(image.Load(file("one.tif", greyTiff(72, 72, 1)).c_str(), true, 23, 0), 0);
    EXPECT_EQ(image.bitsPerPixel, 1);
    EXPECT_EQ(image.paletteCount, 2);
    EXPECT_EQ(image.palette[0].rgbRed, 255);
    EXPECT_EQ(image.palette[1].rgbGreen, 0);
}

TEST_F(PluginImageTest, TiffsWithUnequalResolutionsAreStretched) {
    struct Case {
        float x, y;
        int height;
    };
    // 10 rows; r = y / x.
    const Case cases[] = {{204, 98, 20}, {200, 180, 10}, {0, 98, 10}, {98, 204, 4}};
    for (const Case& c : cases) {
        CPluginImage image;
        ASSERT_EQ(image.Load(file("fax.tif", greyTiff(c.x, c.y)).c_str(), true, 23, 0), 0) << c.x;
        EXPECT_EQ(image.width, 8) << c.x << " x " << c.y;
        EXPECT_EQ(image.height, c.height) << c.x << " x " << c.y;
        EXPECT_EQ(image.resolutionUnit, 2);
    }
}

TEST_F(PluginImageTest, ResizingAndDrawing) {
    CPluginImage empty;
    EXPECT_EQ(empty.Draw(nullptr, POINT{0, 0}, nullptr), 5);
    EXPECT_EQ(empty.ResizeTo(SIZE{4, 4}, 0), 5);

    CPluginImage image;
    ASSERT_EQ(image.Allocate(4, 2, 24), 0);
    for (int i = 0; i < 24; ++i)
        image.buffer[i] = static_cast<BYTE>(i * 10);
    CPluginImage copy;
    ASSERT_EQ(copy.Resize(image, 4, 2, 0), 0);
    EXPECT_EQ(std::memcmp(copy.buffer, image.buffer, 24), 0) << "its own size is a copy";
    EXPECT_NE(copy.buffer, image.buffer);
    ASSERT_EQ(image.ResizeTo(SIZE{8, 4}, 5), 0);
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.GetRowBytes(), 24);
    EXPECT_EQ(CPluginImage::GetBufferSize(9, 3, 1), 6u);
    EXPECT_EQ(CPluginImage::GetBufferSize(9, 3, 32), 108u);
    EXPECT_EQ(image.Allocate(0x7FFFFFFF, 0x7FFFFFFF, 32), 1) << "too large for the buffer size";
}

TEST_F(PluginImageTest, IndexedImagesResizeWithTheTableTheirPixelsIndex) {
    // Every pixel holds 200; a resize that lost the table would match it to a black entry 0.
    TgaSpec greyTga;
    greyTga.imageType = 3;
    greyTga.width = 8;
    greyTga.height = 4;
    greyTga.pixelDepth = 8;
    greyTga.pixels = Bytes(32, 200);
    TgaSpec mappedTga = greyTga;
    mappedTga.imageType = 1;
    mappedTga.colourMap = true;
    mappedTga.mapLength = 2;
    mappedTga.map = {0, 0, 0, 200, 200, 200}; // entry 1 grey 200
    mappedTga.pixels = Bytes(32, 1);
    PsdImage greyPsd;
    greyPsd.channels = 1;
    greyPsd.mode = 1;
    greyPsd.width = 8;
    greyPsd.height = 4;
    greyPsd.planes = {Bytes(32, 200)};
    PsdImage deepGreyPsd = greyPsd;
    deepGreyPsd.depth = 16;
    deepGreyPsd.planes = {Bytes(64, 200)}; // 200 * 257 in every sample
    struct Case {
        const char* name;
        Bytes file;
        int type, count;
    };
    const Case cases[] = {
        {"grey.tga", writeTga(greyTga), 13, 256},
        {"mapped.tga", writeTga(mappedTga), 13, 2},
        {"grey.psd", psdFile(greyPsd), 17, 256},
        {"grey16.psd", psdFile(deepGreyPsd), 17, 256},
    };
    for (const Case& c : cases) {
        CPluginImage image;
        ASSERT_EQ(image.Load(file(c.name, c.file).c_str(), true, 23, 0), 0) << c.name;
        EXPECT_EQ(image.fileType, c.type) << c.name;
        EXPECT_EQ(image.bitsPerPixel, 8) << c.name;
        EXPECT_EQ(image.paletteCount, c.count) << c.name;
        ASSERT_EQ(image.ResizeTo(SIZE{3, 2}, 0), 0) << c.name;
        for (int i = 0; i < 6; ++i) {
            const RGBQUAD& colour = image.palette[image.buffer[i]];
            EXPECT_EQ(colour.rgbRed, 200) << c.name << " pixel " << i;
            EXPECT_EQ(colour.rgbGreen, 200) << c.name << " pixel " << i;
            EXPECT_EQ(colour.rgbBlue, 200) << c.name << " pixel " << i;
        }
    }
}

TEST_F(PluginImageTest, PerMetreResolutionsArePerCentimetre) {
    BmpSpec bmp;
    bmp.width = bmp.height = 2;
    bmp.bitCount = 24;
    bmp.xPelsPerMeter = 3780;
    bmp.yPelsPerMeter = 2835;
    bmp.pixels = Bytes(16, 0);
    PngSpec png;
    png.width = png.height = 2;
    png.rows = Bytes(12, 0);
    png.physical = std::array<std::uint32_t, 3>{3780, 2835, 1};
    BmpSpec os2 = bmp;
    os2.headerSize = 12; // no resolution in the header
    struct Case {
        const char* name;
        Bytes file;
        unsigned x, y;
        int unit;
    };
    const Case cases[] = {
        {"metre.bmp", writeBmp(bmp), 37, 28, 3},
        {"metre.png", encodePng(png), 37, 28, 3},
        {"core.bmp", writeBmp(os2), 0, 0, 1},
    };
    for (const Case& c : cases) {
        CPluginImage image;
        ASSERT_EQ(image.Load(file(c.name, c.file).c_str(), true, 23, 0), 0) << c.name;
        EXPECT_EQ(image.xResolution, c.x) << c.name;
        EXPECT_EQ(image.yResolution, c.y) << c.name;
        EXPECT_EQ(image.resolutionUnit, c.unit) << c.name;
    }
}
