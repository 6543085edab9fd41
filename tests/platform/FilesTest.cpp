#include "TestFiles.h"
#include "win32/win32.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using testing_support::TempFile;

namespace {
std::string backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}
} // namespace

TEST(Files, AttributesAndAccessTakeEitherSeparator) {
    TempFile file({1, 2, 3}, ".bmp");
    const std::string windows = backslashed(file.path());
    EXPECT_NE(GetFileAttributesA(windows.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(windows.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(_access(windows.c_str(), 0), 0);
    const std::string folder = file.path().substr(0, file.path().rfind('/'));
    EXPECT_NE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetFileAttributesA("/no/such/thing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(_access("/no/such/thing", 0), -1);
    EXPECT_EQ(_access("", 0), -1);
}

TEST(Files, FindFirstFileFillsTheEntry) {
    TempFile file({1, 2, 3, 4, 5}, ".gif");
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(backslashed(file.path()).c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.nFileSizeLow, 5u);
    EXPECT_EQ(std::string(found.cFileName), file.path().substr(file.path().rfind('/') + 1));
    EXPECT_FALSE(FindNextFileA(search, &found));
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(FindFirstFileA("/no/such/file", &found), INVALID_HANDLE_VALUE);

    FILETIME local{};
    SYSTEMTIME when{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&found.ftLastWriteTime, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&found.ftLastWriteTime, &when));
    EXPECT_GE(when.wYear, 2020);
    EXPECT_GE(when.wMonth, 1);
    EXPECT_LE(when.wMonth, 12);
}

TEST(Files, SystemTimeOfAKnownInstant) {
    // 2001-09-09 01:46:40 UTC is 1000000000 seconds after 1970.
    const std::uint64_t v = 116444736000000000ull + 1000000000ull * 10000000ull;
    const FILETIME t{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
    SYSTEMTIME s{};
    ASSERT_TRUE(FileTimeToSystemTime(&t, &s));
    EXPECT_EQ(s.wYear, 2001);
    EXPECT_EQ(s.wMonth, 9);
    EXPECT_EQ(s.wDay, 9);
    EXPECT_EQ(s.wHour, 1);
    EXPECT_EQ(s.wMinute, 46);
    EXPECT_EQ(s.wSecond, 40);
}

TEST(Runtime, SplitPathTakesBothSeparators) {
    struct Case {
        const char* path;
        const char *drive, *dir, *name, *ext;
    };
    const Case cases[] = {
        {"C:\\pics\\holiday\\beach.JPG", "C:", "\\pics\\holiday\\", "beach", ".JPG"},
        {"pics/a.b.png", "", "pics/", "a.b", ".png"},
        {"noext", "", "", "noext", ""},
        {"dir.d\\file", "", "dir.d\\", "file", ""},
    };
    for (const Case& c : cases) {
        char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
        _splitpath(c.path, drive, dir, name, ext);
        EXPECT_STREQ(drive, c.drive) << c.path;
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(ext, c.ext) << c.path;
    }
}

TEST(Runtime, StringComparisonsAndFormatting) {
    auto u = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
    EXPECT_EQ(_mbsicmp(u("Beach"), u("bEACH")), 0);
    EXPECT_LT(_mbsicmp(u("apple"), u("Banana")), 0);
    EXPECT_GT(_mbsicmp(u("b"), u("A")), 0);
    EXPECT_EQ(lstrcmpA("QV_GALLIMO", "QV_GALLIMO"), 0);
    EXPECT_NE(lstrcmpA("QV_GALLIMO", "QV_GALLIMOX"), 0);
    char out[1100];
    EXPECT_EQ(wsprintfA(out, "%d,%u,%s", -5, 4278190080u, "x"), 15);
    EXPECT_STREQ(out, "-5,4278190080,x");
    std::string longText(2000, 'a');
    EXPECT_EQ(wsprintfA(out, "%s", longText.c_str()), 1024) << "output stops at 1024 characters";
    EXPECT_EQ(std::strlen(out), 1024u);
}
