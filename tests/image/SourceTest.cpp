#include "CImgIO.h"
#include "LeakCheck.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace img;
using testing_support::Bytes;
using testing_support::LeakCheckedTest;
using testing_support::TempFile;

class SourceTest : public LeakCheckedTest {};

TEST_F(SourceTest, OpenReadSeekAndClose) {
    TempFile file(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(getLastError(), 0);

    CImgIO io(static_cast<SourceRecord*>(src));
    EXPECT_TRUE(io.isValid());
    BYTE buffer[16] = {};
    EXPECT_TRUE(io.readExact(buffer, 4));
    EXPECT_EQ(buffer[3], 4);
    unsigned at = 0, size = 0;
    EXPECT_TRUE(io.position(&at));
    EXPECT_EQ(at, 4u);
    EXPECT_TRUE(io.size(&size));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(io.read(buffer, 16), 6u) << "a short read reports its count";
    EXPECT_FALSE(io.readExact(buffer, 1));
    EXPECT_FALSE(io.atEnd()) << "readers must rely on short reads";
    EXPECT_FALSE(io.write(buffer, 1, 1));

    EXPECT_EQ(seekSource(src, 2, SEEK_SET), 1);
    EXPECT_EQ(seekSource(src, -1, SEEK_SET), 0);
    EXPECT_EQ(closeSource(src), 2) << "the position of the last seek";
    EXPECT_EQ(getLastError(), 0);
}

TEST_F(SourceTest, CloseRightAfterOpeningGivesZero) {
    TempFile file(Bytes{1, 2, 3});
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(closeSource(src), 0);
}

TEST_F(SourceTest, FailedOpensSetTwoAndLeakNothing) {
    // A folder opens for reading on this system, yet it is no file to read.
    const std::string folder = testing::TempDir() + "folder.bmp";
    ::rmdir(folder.c_str());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const char* path :
         {static_cast<const char*>(nullptr), "", "/no/such/file.bmp", folder.c_str()}) {
        EXPECT_EQ(openFileSource(path), nullptr);
        EXPECT_EQ(getLastError(), 2);
    }
    ::rmdir(folder.c_str());
}

TEST_F(SourceTest, NoMemoryForTheRecordSetsOne) {
    TempFile file(Bytes{1});
    winplatFailGlobalAllocAt(1);
    EXPECT_EQ(openFileSource(file.path().c_str()), nullptr);
    EXPECT_EQ(getLastError(), 1);
}

TEST_F(SourceTest, NullHandlesSetFive) {
    EXPECT_EQ(seekSource(nullptr, 0, 0), 0);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(closeSource(nullptr), 0);
    EXPECT_EQ(getLastError(), 5);
}

TEST_F(SourceTest, WindowsSeparatorsOpenTheSameFile) {
    TempFile file(Bytes{42});
    std::string windowsPath = file.path();
    for (char& c : windowsPath)
        if (c == '/') c = '\\';
    SourceHandle src = openFileSource(windowsPath.c_str());
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(std::string(static_cast<SourceRecord*>(src)->path), windowsPath);
    closeSource(src);
}

TEST_F(SourceTest, LongPathsOpenByFullNameAndKeepTheFirst260Characters) {
    TempFile file(Bytes{42});
    // Pad the directory part with "./" steps so the name still points at the file.
    std::string path = file.path();
    const std::size_t slash = path.rfind('/');
    std::string longPath = path.substr(0, slash);
    while (longPath.size() < 300)
        longPath += "/.";
    longPath += path.substr(slash);
    SourceHandle src = openFileSource(longPath.c_str());
    ASSERT_NE(src, nullptr);
    const std::string stored = static_cast<SourceRecord*>(src)->path;
    EXPECT_EQ(stored, longPath.substr(0, 260));
    closeSource(src);
}

TEST_F(SourceTest, ValidationRefusesClosedForeignAndWrongKindRecords) {
    TempFile file(Bytes{1, 2});
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    auto* record = static_cast<SourceRecord*>(src);
    CImgIO io(record);

    struct Case {
        const char* what;
        void (*spoil)(SourceRecord&);
    };
    const Case cases[] = {
        {"magic 1", [](SourceRecord& r) { r.magic1 ^= 1; }},
        {"magic 2", [](SourceRecord& r) { r.magic2 = 0; }},
        {"kind", [](SourceRecord& r) { r.kind = 2; }},
        {"stream", [](SourceRecord& r) { r.stream = nullptr; }},
    };
    for (const Case& c : cases) {
        SourceRecord saved = *record;
        c.spoil(*record);
        EXPECT_FALSE(io.isValid()) << c.what;
        *record = saved;
        EXPECT_TRUE(io.isValid()) << c.what;
    }
    EXPECT_FALSE(CImgIO(static_cast<SourceRecord*>(nullptr)).isValid());

    // A stale copy of a closed record still holds its cleared magics.
    SourceRecord closed = *record;
    CImgIO(&closed).close();
    EXPECT_FALSE(CImgIO(&closed).isValid());
    EXPECT_EQ(closed.magic1, 0u);
    EXPECT_EQ(closed.magic2, 0u);
    GlobalFree(src);
}

TEST(CImgIOForms, SelfContainedAndAssigned) {
    TempFile file(Bytes{9, 8, 7});
    CImgIO own;
    EXPECT_FALSE(own.isValid());
    EXPECT_FALSE(own.openByName(""));
    ASSERT_TRUE(own.openByName(file.path().c_str()));
    EXPECT_TRUE(own.isValid());
    CImgIO view(static_cast<SourceRecord*>(nullptr));
    view.assign(own);
    BYTE b = 0;
    EXPECT_TRUE(view.readExact(&b, 1));
    EXPECT_EQ(b, 9);
    EXPECT_TRUE(own.close());
    EXPECT_FALSE(own.close()) << "nothing left to close";
    EXPECT_FALSE(view.isValid());
}

// Small reads come from bytes read ahead; every other way of reaching the stream must still
// find it where the small reads left it.
TEST_F(SourceTest, ReadAheadStaysInvisible) {
    Bytes bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<BYTE>(i * 7 + i / 251);
    TempFile file(bytes);
    SourceHandle src = openFileSource(file.path().c_str());
    ASSERT_NE(src, nullptr);
    auto* record = static_cast<SourceRecord*>(src);
    const auto expectAt = [&](CImgIO& io, unsigned at) {
        unsigned pos = 0;
        EXPECT_TRUE(io.position(&pos));
        EXPECT_EQ(pos, at);
        BYTE b = 0;
        ASSERT_TRUE(io.readExact(&b, 1));
        EXPECT_EQ(b, bytes[at]);
        EXPECT_TRUE(io.seek(-1, SEEK_CUR));
    };
    {
        CImgIO io(record);
        BYTE small[3] = {};
        ASSERT_TRUE(io.readExact(small, 3));
        EXPECT_EQ(small[2], bytes[2]);
        expectAt(io, 3);
        CImgIO copy(io);
        ASSERT_TRUE(copy.readExact(small, 2));
        EXPECT_EQ(small[1], bytes[4]);
        expectAt(io, 5);
        std::vector<BYTE> large(100000);
        ASSERT_TRUE(io.readExact(large.data(), large.size()));
        EXPECT_EQ(large.back(), bytes[100004]);
        expectAt(copy, 100005);
        EXPECT_TRUE(io.seek(10, SEEK_CUR));
        expectAt(io, 100015);
        EXPECT_FALSE(io.seek(-200000, SEEK_CUR)) << "before the start";
        expectAt(io, 100015);
        EXPECT_TRUE(io.seek(-4, SEEK_END));
        BYTE tail[8] = {};
        EXPECT_EQ(io.read(tail, 8), 4u) << "a short read still says how short";
        EXPECT_EQ(tail[3], bytes.back());
        EXPECT_EQ(io.read(tail, 1), 0u);
        ASSERT_TRUE(io.seek(50, SEEK_SET));
        ASSERT_TRUE(io.readExact(small, 1));
        // Given back, as every entry point gives it back: the stream is just past the last
        // byte handed out, for whoever reaches it next.
        io.settle();
        EXPECT_EQ(std::ftell(record->stream), 51);
        // An entry point between reads the 128-byte header from the start, reading ahead of
        // its own, and leaves the stream just after it.
        int w = 0, h = 0, depth = 0;
        EXPECT_EQ(getPCXInfo(src, &w, &h, &depth), 0);
        EXPECT_EQ(std::ftell(record->stream), 128);
        ASSERT_TRUE(copy.readExact(small, 1));
        EXPECT_EQ(small[0], bytes[128]);
        copy.settle();
    }
    EXPECT_EQ(closeSource(src), 129);
}
