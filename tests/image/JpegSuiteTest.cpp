// Every JPEG file of the public suites read in place: no crash or leak in any form, and the
// pixels libjpeg itself decodes wherever it decodes the file.
#include "FileBytes.h"
#include "ImageReads.h"
#include "JpegWriter.h"
#include "LeakCheck.h"
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

ImageRead readJpeg(const std::string& path, int bitsPerPixel, int flags) {
    return testing_support::readPath(path, [&](SourceHandle src, ImageRead& r) {
        return readJPEG(src, &r.width, &r.height, bitsPerPixel, flags);
    });
}

std::vector<std::string> suiteJpegs() {
    std::vector<std::string> files;
    for (const std::string& f : testing_support::suiteFiles("")) {
        std::string ext = std::filesystem::path(f).extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".jpg" || ext == ".jpeg") files.push_back(f);
    }
    return files;
}

class JpegSuiteTest : public LeakCheckedTest {};

TEST_F(JpegSuiteTest, EveryFileReadsAsLibjpegDecodesItOrFailsCleanly) {
    const auto files = suiteJpegs();
    if (files.empty()) GTEST_SKIP() << "no suites present";
    int compared = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        struct Form {
            int bits, flags;
        };
        for (Form form : {Form{8, 0}, Form{32, 1}, Form{24, 4 | 8 | 16}, Form{24, IMG_FLAG_DIB}}) {
            ImageRead r = readJpeg(path, form.bits, form.flags);
            EXPECT_TRUE(r.status == 0 || r.status == 3 || r.status == 9)
                << form.bits << " bits, flags " << form.flags << ": " << r.status;
        }
        SourceHandle src = openFileSource(path.c_str());
        int width = 0, height = 0, bitsPerPixel = 0;
        const int info = getJPEGInfo(src, &width, &height, &bitsPerPixel, nullptr);
        EXPECT_EQ(info == 1, getLastError() == 0);
        closeSource(src);

        int w = 0, h = 0, components = 0;
        const Bytes expected =
            testing_support::decodeJpeg(testing_support::readWholeFile(path), &w, &h, &components);
        ImageRead any = readJpeg(path, 24, 0);
        EXPECT_TRUE(any.status == 0 || any.status == 3 || any.status == 9) << any.status;
        if (expected.empty()) continue;
        ImageRead same = readJpeg(path, 8 * components, components == 4 ? 1 : 0);
        ASSERT_EQ(same.status, 0) << "libjpeg decodes it";
        ASSERT_EQ(GlobalSize(same.image.get()), expected.size());
        EXPECT_EQ(same.bytes(0, expected.size()), expected);
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

TEST_F(JpegSuiteTest, DocumentedFiles) {
    struct Case {
        const char* file;
        int status;
    };
    const Case cases[] = {
        {"samples/jpeg/libjpeg-turbo/testorig.jpg", 0},
        {"samples/jpeg/libjpeg-turbo/testimgari.jpg", 0},
        {"samples/jpeg/generated/testorig-progressive.jpg", 0},
        {"samples/jpeg/generated/testimgari-progressive-restart2mcu.jpg", 0},
        {"samples/jpeg/libjpeg-turbo/monkey12.jpg", 9},
    };
    for (const Case& c : cases) {
        const std::string path = testing_support::suiteFile(c.file);
        if (path.empty()) GTEST_SKIP() << c.file << " not present";
        SCOPED_TRACE(c.file);
        EXPECT_EQ(readJpeg(path, 24, 0).status, c.status);
    }
}

} // namespace
