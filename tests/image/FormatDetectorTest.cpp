#include "FormatDetector.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace img;
using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::TempFile;

namespace {

// The bytes given, then filler that matches no signature, up to `size` bytes.
Bytes starting(Bytes head, std::size_t size = 64) {
    head.resize(std::max(size, head.size()), 0x11);
    return head;
}

Bytes withTgaFooter(Bytes file) {
    // Grown by resize and filled in place: GCC 12 at -O3 misjudges the bounds of a range
    // insert that reallocates and warns of an overrun that cannot happen.
    const char footer[] = "TRUEVISION-XFILE.";
    const std::size_t at = file.size();
    file.resize(at + sizeof footer); // with its closing zero
    std::memcpy(file.data() + at, footer, sizeof footer);
    return file;
}

struct Detected {
    int format;
    int error;
};

Detected detect(const Bytes& file, const std::string& extension) {
    TempFile f(file, extension);
    SourceHandle src = openFileSource(f.path().c_str());
    Detected d{detectFileFormat(src), getLastError()};
    closeSource(src);
    return d;
}

} // namespace

class FormatDetectorTest : public LeakCheckedTest {};

TEST_F(FormatDetectorTest, SignaturesInTableOrder) {
    Bytes emfHead(44, 0x11);
    std::memcpy(emfHead.data() + 40, " EMF", 4);
    struct Case {
        const char* name;
        Bytes head;
        int format;
    } cases[] = {
        {"BM", {'B', 'M'}, 1},
        {"PAX", {'P', 'A', 'X'}, 9},
        {"GIF89a", {'G', 'I', 'F', '8', '9', 'a'}, 2},
        {"GIF87a", {'G', 'I', 'F', '8', '7', 'a'}, 2},
        {"JFIF JPEG", {0xFF, 0xD8, 0xFF, 0xE0}, 3},
        {"Exif JPEG", {0xFF, 0xD8, 0xFF, 0xE1}, 3},
        {"PCX 0", {0x0A, 0x00}, 5},
        {"PCX 2", {0x0A, 0x02}, 5},
        {"PCX 3", {0x0A, 0x03}, 5},
        {"PCX 5", {0x0A, 0x05}, 5},
        {"MM", {'M', 'M', 0, 42}, 6},
        {"II whatever follows", {'I', 'I', 'x', 'y'}, 6},
        {"PNG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 4},
        {"plain WMF", {0x01, 0x00, 0x09, 0x00, 0x00}, 7},
        {"placeable WMF", {0xD7, 0xCD, 0xC6, 0x9A}, 7},
        {"EMF", emfHead, 8},
        {"8BPS", {'8', 'B', 'P', 'S'}, 10},
        {"TLA 1", {'T', 'L', 'A', 0x01}, 11},
        {"TLAU", {'T', 'L', 'A', 'U'}, 12},
        {"Photo CD overview", {'P', 'C', 'D', '_', 'O', 'P', 'A'}, 15},
        {"JPEG 2000 file, ahead of the two zero bytes",
         {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D},
         17},
        {"JPEG 2000 codestream", {0xFF, 0x4F}, 17},
        {"codestream at 4", {0x11, 0x11, 0x11, 0x11, 0xFF, 0x4F}, 18},
        {"OLE compound file", {0xD0, 0xCF, 0x11, 0xE0}, 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Detected d = detect(starting(c.head), ".wbmp");
        EXPECT_EQ(d.format, c.format) << "a signature outranks the name";
        EXPECT_EQ(d.error, 0);
    }
}

TEST_F(FormatDetectorTest, WeakSignaturesNamesFootersAndPhotoCd) {
    const Bytes twoZeros = starting({0, 0});
    const Bytes tgaWithId = starting({0x1A, 0x01, 0x01}, 3000);
    Bytes photoCd(3000, 0x11);
    std::memcpy(photoCd.data() + 2048, "PCD", 3);

    struct Case {
        const char* name;
        Bytes file;
        const char* extension;
        int format, error;
    } cases[] = {
        {"two zeros named .TGA", twoZeros, ".TGA", 14, 0},
        {"two zeros named .tga", twoZeros, ".tga", 14, 0},
        {"two zeros with a TGA footer", withTgaFooter(twoZeros), ".bin", 14, 0},
        {"two zeros, nothing else", twoZeros, ".bin", 13, 0},
        {"two zeros named .WBMP", twoZeros, ".WBMP", 13, 0},
        {"two zeros named .Wbm", twoZeros, ".Wbm", 13, 0},
        {"no signature named .wbmp", starting({0x11}), ".wbmp", 13, 0},
        {"TGA with an ID field named .Tga", tgaWithId, ".Tga", 14, 0},
        {"TGA with an ID field and its footer", withTgaFooter(tgaWithId), ".bin", 14, 0},
        {"TGA with neither", tgaWithId, ".bin", 0, 0},
        {"PCX version 1 is not listed", starting({0x0A, 0x01}, 3000), ".pcx", 0, 0},
        {"EMF marker in a 43-byte file", Bytes(43, 0x11), ".emf", 0, 3},
        {"image pack at 2048", photoCd, ".pcd", 16, 0},
        {"unknown and shorter than 2051 bytes", starting({0x11}), ".bin", 0, 3},
        {"two zeros, too short for the footer", Bytes(10, 0), ".bin", 0, 3},
        {"empty", {}, ".bmp", 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Detected d = detect(c.file, c.extension);
        EXPECT_EQ(d.format, c.format);
        EXPECT_EQ(d.error, c.error);
    }

    Bytes emf(44, 0x11);
    std::memcpy(emf.data() + 40, " EMF", 4);
    EXPECT_EQ(detect(emf, ".bin").format, 8) << "44 bytes are enough";
}

TEST_F(FormatDetectorTest, ReadsFromTheCurrentPosition) {
    Bytes file(106, 0x11);
    std::memcpy(file.data() + 100, "GIF89a", 6);
    TempFile f(file, ".bin");
    SourceHandle src = openFileSource(f.path().c_str());
    seekSource(src, 100, 0);
    EXPECT_EQ(detectFileFormat(src), 2);
    EXPECT_EQ(getLastError(), 0);
    closeSource(src);
}

TEST_F(FormatDetectorTest, ExtensionNeedsAFileOpenedByName) {
    TempFile f(Bytes{0, 0}, ".TgA");
    SourceHandle src = openFileSource(f.path().c_str());
    CImgIO io(static_cast<SourceRecord*>(src));
    EXPECT_EQ(formatFromExtension(io), 14);
    static_cast<SourceRecord*>(src)->kind = 2;
    EXPECT_EQ(formatFromExtension(io), 0);
    static_cast<SourceRecord*>(src)->kind = 1;
    closeSource(src);
}

TEST_F(FormatDetectorTest, NullAndClosedSources) {
    EXPECT_EQ(detectFileFormat(nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
    TempFile f(Bytes{'B', 'M'});
    SourceHandle src = openFileSource(f.path().c_str());
    SourceRecord stale = *static_cast<SourceRecord*>(src);
    closeSource(src);
    stale.magic1 = stale.magic2 = 0;
    EXPECT_EQ(detectFileFormat(&stale), 0);
    EXPECT_EQ(getLastError(), 38);
}

TEST_F(FormatDetectorTest, PublicSuites) {
    // Folder of the suites, and the format its files hold.
    const std::map<std::string, int> folders = {
        {"bmpsuite/g", 1},   {"bmpsuite/q", 1},    {"bmpsuite/b", 1},    {"samples/gif", 2},
        {"samples/jpeg", 3}, {"samples/pcx", 5},   {"samples/tiff", 6},  {"samples/wmf", 7},
        {"samples/emf", 8},  {"samples/psd", 10},  {"samples/wbmp", 13}, {"samples/tga", 14},
        {"samples/pcd", 16}, {"pngsuite/full", 4},
    };
    // Files that are broken in their first bytes on purpose.
    const char* notTheirFormat[] = {"xs1n0g01.png", "xs2n0g01.png", "xs4n0g01.png",
                                    "xs7n0g01.png", "xcrn0g04.png", "xlfn0g04.png"};
    int seen = 0;
    for (const auto& [folder, format] : folders) {
        for (const std::string& path : testing_support::suiteFiles(folder)) {
            std::string name = path.substr(path.find_last_of('/') + 1);
            std::string extension = name.substr(name.find_last_of('.') + 1);
            for (char& ch : extension)
                ch = static_cast<char>(std::tolower(ch));
            const char* images[] = {"bmp", "gif", "jpg",  "pcx", "tif", "tiff", "wmf",
                                    "emf", "psd", "wbmp", "tga", "pcd", "png"};
            if (std::find(std::begin(images), std::end(images), extension) == std::end(images))
                continue;
            if (std::find(std::begin(notTheirFormat), std::end(notTheirFormat), name) !=
                std::end(notTheirFormat))
                continue;
            SCOPED_TRACE(path);
            SourceHandle src = openFileSource(path.c_str());
            ASSERT_NE(src, nullptr);
            EXPECT_EQ(detectFileFormat(src), format);
            EXPECT_EQ(getLastError(), 0);
            closeSource(src);
            ++seen;
        }
    }
    if (seen == 0) GTEST_SKIP() << "no public suites present";

    const std::string bitmapArray = testing_support::suiteFile("bmpsuite/x/ba-bm.bmp");
    if (!bitmapArray.empty()) {
        SourceHandle src = openFileSource(bitmapArray.c_str());
        EXPECT_EQ(detectFileFormat(src), 0) << "an OS/2 bitmap array is not a BMP";
        closeSource(src);
    }
}
