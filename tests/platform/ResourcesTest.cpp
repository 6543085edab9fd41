#include "winplat/resources.h"
#include "win32/win32.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

TEST(Resources, EmbeddedTextIsFoundByIntegerOrNameInItsModule) {
    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(winplat::moduleOf(reinterpret_cast<const void*>(&GetModuleHandleA)) == self, false)
        << "the stand-in is a module of its own";
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(2000), "textfile");
    ASSERT_NE(found, nullptr);
    const auto* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(text, nullptr);
    const std::string expected = "Hello, resource\r\nsecond line\r\n";
    EXPECT_EQ(SizeofResource(nullptr, found), expected.size());
    EXPECT_EQ(std::string(text), expected) << "a zero byte follows the data";

    EXPECT_NE(FindResourceA(self, "greeting", "RCDATA"), nullptr);
    EXPECT_EQ(FindResourceA(self, MAKEINTRESOURCEA(2001), "TEXTFILE"), nullptr);
    EXPECT_EQ(FindResourceA(self, MAKEINTRESOURCEA(2000), "RCDATA"), nullptr);
}

TEST(Resources, ModuleFileNameOfTheProgram) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    EXPECT_NE(std::string(path).find("platform_tests"), std::string::npos);
}
