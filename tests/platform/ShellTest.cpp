#include "winplat/shell.h"
#include "TestFiles.h"
#include "win32/win32.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testing_support::TempFile;

namespace {

UINT_PTR code(HINSTANCE h) {
    return reinterpret_cast<UINT_PTR>(h);
}

// A script that records its arguments into a file beside itself.
fs::path writeRecorder(const fs::path& folder, const std::string& name) {
    fs::create_directories(folder);
    const fs::path script = folder / name;
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n";
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("gallimo-shell-" + std::to_string(getpid()));
        winplat::clearAssociations();
        winplat::clearStartedPrograms();
    }
    void TearDown() override {
        winplat::waitForStartedPrograms();
        winplat::clearAssociations();
        fs::remove_all(folder);
    }
    fs::path folder;
};

} // namespace

TEST_F(ShellTest, DocumentsOpenThroughTheirAssociation) {
    const fs::path browser = writeRecorder(folder, "browser");
    TempFile page({'<', 'p', '>'}, ".htm");
    char program[MAX_PATH] = "junk";
    EXPECT_EQ(code(FindExecutableA(page.path().c_str(), nullptr, program)),
              UINT_PTR{SE_ERR_NOASSOC});
    EXPECT_STREQ(program, "");

    winplat::setAssociation(".HTM", browser.string());
    EXPECT_GT(code(FindExecutableA(page.path().c_str(), nullptr, program)), 32u);
    EXPECT_EQ(std::string(program), browser.string());
    EXPECT_EQ(code(FindExecutableA("/no/such/page.htm", nullptr, program)), UINT_PTR{SE_ERR_FNF});

    EXPECT_GT(
        code(ShellExecuteA(nullptr, "open", page.path().c_str(), nullptr, nullptr, SW_SHOWNORMAL)),
        32u);
    EXPECT_EQ(winplat::waitForStartedPrograms(), 0);
    EXPECT_EQ(readAll(browser.string() + ".args"), page.path() + "\n");
    EXPECT_EQ(
        code(ShellExecuteA(nullptr, "open", "/no/such/page.htm", nullptr, nullptr, SW_SHOWNORMAL)),
        UINT_PTR{SE_ERR_FNF});
}

TEST_F(ShellTest, ProgramsTakeQuotedParametersAndExeNamesFindOurBuilds) {
    const fs::path viewer = writeRecorder(folder, "Ketril");
    const std::string exe = (folder / "Ketril.exe").string();
    EXPECT_GT(code(ShellExecuteA(nullptr, "open", exe.c_str(), "\"a b\\Gallimo.htm\" next", nullptr,
                                 SW_SHOWNORMAL)),
              32u);
    EXPECT_EQ(winplat::waitForStartedPrograms(), 0);
    EXPECT_EQ(readAll(viewer.string() + ".args"), "a b\\Gallimo.htm\nnext\n");
    ASSERT_EQ(winplat::startedPrograms().size(), 1u);
    EXPECT_EQ(winplat::startedPrograms()[0].program, viewer.string());
}

TEST_F(ShellTest, BareNamesAreSearchedOnThePath) {
    writeRecorder(folder, "iexplore");
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (folder.string() + ":" + oldPath).c_str(), 1);
    const UINT_PTR started =
        code(ShellExecuteA(nullptr, "open", "iexplore.exe", "x#AddFiles", nullptr, SW_SHOWNORMAL));
    const UINT_PTR missing =
        code(ShellExecuteA(nullptr, "open", "NoSuchProgram.exe", nullptr, nullptr, SW_SHOWNORMAL));
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_GT(started, 32u);
    EXPECT_LE(missing, 32u);
    EXPECT_EQ(winplat::waitForStartedPrograms(), 0);
    EXPECT_EQ(readAll(folder / "iexplore.args"), "x#AddFiles\n");
}
