// PngSuite read in place: every valid file as libpng itself decodes it, every broken one (x*)
// refused with 15, and no form of any file crashing or leaking.
#include "FileBytes.h"
#include "ImageReads.h"
#include "LeakCheck.h"
#include "PngWriter.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using testing_support::Bytes;
using testing_support::ImageRead;
using testing_support::LeakCheckedTest;

namespace {

ImageRead readPng(const std::string& path, int bitsPerPixel, int flags) {
    return testing_support::readPath(path, [&](SourceHandle src, ImageRead& r) {
        return readPNG(src, &r.width, &r.height, bitsPerPixel, r.palette, flags);
    });
}

std::vector<std::string> suitePngs(const std::string& folder) {
    std::vector<std::string> files;
    for (const std::string& f : testing_support::suiteFiles(folder))
        if (std::filesystem::path(f).extension() == ".png") files.push_back(f);
    return files;
}

bool broken(const std::string& path) {
    return std::filesystem::path(path).filename().string()[0] == 'x';
}

// The colours of a packed DIB as top-down RGBA, through its colour table when it has one.
Bytes dibToRgba(const BYTE* dib) {
    const auto& h = *reinterpret_cast<const BITMAPINFOHEADER*>(dib);
    const int bits = h.biBitCount;
    const auto* table = reinterpret_cast<const RGBQUAD*>(dib + 40);
    const BYTE* pixels = dib + 40 + h.biClrUsed * 4;
    const std::size_t rowBytes = ((std::size_t(h.biWidth) * bits + 31) / 32) * 4;
    Bytes out;
    for (int y = h.biHeight - 1; y >= 0; --y) {
        const BYTE* row = pixels + y * rowBytes;
        for (int x = 0; x < h.biWidth; ++x) {
            if (bits >= 24) {
                const BYTE* p = row + x * (bits / 8);
                out.insert(out.end(), {p[2], p[1], p[0], bits == 32 ? p[3] : BYTE(255)});
                continue;
            }
            const int perByte = 8 / bits;
            const int shift = 8 - bits * (x % perByte + 1);
            const int index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
            const RGBQUAD& c = table[index];
            out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue, BYTE(255)});
        }
    }
    return out;
}

class PngSuiteTest : public LeakCheckedTest {};

TEST_F(PngSuiteTest, ValidFilesReadAsLibpngDecodesThem) {
    const auto files = suitePngs("pngsuite");
    if (files.empty()) GTEST_SKIP() << "PngSuite not present";
    int compared = 0;
    for (const std::string& path : files) {
        if (broken(path)) continue;
        SCOPED_TRACE(path);
        const Bytes file = testing_support::readWholeFile(path);
        int width = 0, height = 0;
        const Bytes expected = testing_support::decodePngRgba(file, false, &width, &height);
        ASSERT_FALSE(expected.empty());

        ImageRead rgba = readPng(path, 32, 0);
        ASSERT_EQ(rgba.status, 0);
        EXPECT_EQ(rgba.width, width);
        EXPECT_EQ(rgba.height, height);
        EXPECT_EQ(Bytes(rgba.image.get(), rgba.image.get() + expected.size()), expected);

        ImageRead dib = readPng(path, 24, IMG_FLAG_DIB);
        ASSERT_EQ(dib.status, 0);
        int type = 0, depth = 0, interlace = 0, w = 0, h = 0;
        SourceHandle src = openFileSource(path.c_str());
        getPNGInfo(src, &w, &h, &depth, &type, &interlace, nullptr);
        closeSource(src);
        const bool opaque =
            !(type & 4) && file.end() == std::search(file.begin(), file.end(), std::begin("tRNS"),
                                                     std::end("tRNS") - 1);
        if (opaque) {
            EXPECT_EQ(dibToRgba(dib.image.get()), expected) << "DIB colours";
        }

        if (depth == 16) {
            const Bytes wide = testing_support::decodePngRgba(file, true, &width, &height);
            ImageRead deep = readPng(path, 64, 0);
            ASSERT_EQ(deep.status, 0);
            EXPECT_EQ(Bytes(deep.image.get(), deep.image.get() + wide.size()), wide);
        }
        ++compared;
    }
    EXPECT_GT(compared, 150);
}

TEST_F(PngSuiteTest, EveryFormOfEveryFileEndsCleanly) {
    auto files = suitePngs("pngsuite");
    if (files.empty()) GTEST_SKIP() << "PngSuite not present";
    for (const std::string& f : suitePngs("imagetestsuite/png"))
        files.push_back(f);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        for (int bits : {1, 8, 16, 24, 32, 48, 64}) {
            for (int flags : {0, 1, 4, 1 | IMG_FLAG_DIB}) {
                ImageRead r = readPng(path, bits, flags);
                EXPECT_TRUE(r.status == 0 || r.status == 15 || r.status == 17 || r.status == 28)
                    << bits << " bits, flags " << flags << ": " << r.status;
            }
        }
    }
}

TEST_F(PngSuiteTest, BrokenFilesGiveFifteen) {
    const auto files = suitePngs("pngsuite/full");
    if (files.empty()) GTEST_SKIP() << "PngSuite not present";
    int brokenFiles = 0;
    for (const std::string& path : files) {
        if (!broken(path)) continue;
        SCOPED_TRACE(path);
        for (int flags : {0, IMG_FLAG_DIB}) {
            ImageRead r = readPng(path, 32, flags);
            EXPECT_EQ(r.status, 15) << "flags " << flags;
        }
        ++brokenFiles;
    }
    EXPECT_EQ(brokenFiles, 14);
}

} // namespace
