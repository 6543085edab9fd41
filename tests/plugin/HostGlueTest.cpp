#include "HostGlue.h"
#include "Page.h"
#include "TestFiles.h"
#include "winplat/accounting.h"
#include "winplat/luaalloc.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <lua.hpp>
#include <sstream>
#include <string>

using namespace gallimo;

namespace {

class HostGlueTest : public ::testing::Test {
protected:
    std::ostringstream log;
    qvhost::Page page{log};
    lua_State* L = page.state();

    // Runs `f` as a Lua C function under a protected call; the error text, or "" on success.
    std::string protectedCall(lua_CFunction f, int arguments = 0) {
        lua_pushcfunction(L, f);
        lua_insert(L, -1 - arguments);
        if (lua_pcall(L, arguments, 0, 0) == 0) return "";
        std::string message = lua_tostring(L, -1);
        lua_pop(L, 1);
        return message;
    }
};

int g_destroyed = 0;
struct Guard {
    ~Guard() { ++g_destroyed; }
};

} // namespace

TEST_F(HostGlueTest, HostCallsReachTheGlobalsAndLeaveTheStack) {
    const int top = lua_gettop(L);
    SetHostLastError(L, 1100);
    EXPECT_EQ(page.lastError(), 1100);
    ResetHostLastError(L);
    EXPECT_EQ(page.lastError(), 0);
    DoHostAutoTab(L, false);
    char out[1024];
    FormatSyntaxError(L, "bad", out);
    EXPECT_STREQ(out, "Script error: bad");
    FormatSyntaxError(L, std::string(1100, 'x').c_str(), out);
    EXPECT_STREQ(out, "Formatted error string is too long for buffer.");
    EXPECT_EQ(lua_gettop(L), top);
    EXPECT_NE(log.str().find("lasterror 1100\n"), std::string::npos);
    EXPECT_NE(log.str().find("autotab false\n"), std::string::npos);
}

TEST_F(HostGlueTest, MissingOrFailingHostFunctionsAreSkipped) {
    luaL_dostring(L, "Application.SetLastError = nil; Page = {}; "
                     "Debug.GetSyntaxErrorString = function() error('boom') end");
    const int top = lua_gettop(L);
    SetHostLastError(L, 7);
    DoHostAutoTab(L, true);
    char out[1024];
    FormatSyntaxError(L, "plain", out);
    EXPECT_STREQ(out, "plain") << "without the host's formatter the message stands";
    EXPECT_EQ(GetPluginObject(L, "x"), nullptr);
    lua_pushnil(L);
    lua_setglobal(L, "Application");
    ResetHostLastError(L);
    EXPECT_EQ(lua_gettop(L), top);
    EXPECT_EQ(page.lastError(), 0);
}

TEST_F(HostGlueTest, ArgumentErrorsAreFormattedAndUnwindTheirFrames) {
    g_destroyed = 0;
    EXPECT_EQ(protectedCall([](lua_State* L) {
                  Guard guard;
                  CheckArgCount(L, 2);
                  return 0;
              }),
              "Script error: 2 arguments required.");
    EXPECT_EQ(g_destroyed, 1) << "a Lua error unwinds like an exception";

    lua_pushnumber(L, 12);
    EXPECT_EQ(protectedCall(
                  [](lua_State* L) {
                      EXPECT_STREQ(CheckStringArg(L, 1), "12");
                      return 0;
                  },
                  1),
              "");
    lua_newtable(L);
    EXPECT_EQ(protectedCall(
                  [](lua_State* L) {
                      CheckStringArg(L, 1);
                      return 0;
                  },
                  1),
              "Script error: Argument 1 must be a string.");
    lua_pushstring(L, "2.9");
    EXPECT_EQ(protectedCall(
                  [](lua_State* L) {
                      EXPECT_DOUBLE_EQ(GetNumberArg(L, 1), 2.9);
                      EXPECT_DOUBLE_EQ(GetNumberArg(L, 2), 0.0);
                      return 0;
                  },
                  1),
              "");
}

TEST_F(HostGlueTest, SourcePathsAreTriedUnderTheSourceFolder) {
    testing_support::TempFile file({1}, ".png");
    const std::string folder = file.path().substr(0, file.path().rfind('/'));
    const std::string name = file.path().substr(file.path().rfind('/') + 1);
    char out[kPathBuffer];
    struct Case {
        std::string sourceFolder, name, expected;
    };
    const Case cases[] = {
        {folder, name, folder + "\\" + name},
        {folder + "\\", name, folder + "\\" + name},
        {"C:", name, name},
        {folder, "missing.png", "missing.png"},
        {folder, "", ""},
    };
    for (const Case& c : cases) {
        lua_pushstring(L, c.sourceFolder.c_str());
        lua_setglobal(L, "_SourceFolder");
        EXPECT_EQ(std::string(ResolveSourcePath(L, c.name.c_str(), out)), c.expected)
            << c.sourceFolder << " + " << c.name;
    }
    lua_pushnumber(L, 5);
    lua_setglobal(L, "_SourceFolder");
    EXPECT_EQ(std::string(ResolveSourcePath(L, name.c_str(), out)), name)
        << "a folder of one character";
    lua_pushnil(L);
    lua_setglobal(L, "_SourceFolder");
    EXPECT_EQ(std::string(ResolveSourcePath(L, name.c_str(), out)), name);
}

TEST(LuaMemory, BlocksComeFromTheProcessHeapAndHugeRequestsFail) {
    const std::size_t before = winplatLiveHeapBlocks();
    lua_State* L = lua_newstate(winplat::luaHeapAlloc, nullptr);
    ASSERT_NE(L, nullptr);
    EXPECT_GT(winplatLiveHeapBlocks(), before);
    lua_pushcfunction(L, [](lua_State* L) {
        lua_newuserdata(L, winplat::kLuaBlockTooBig);
        return 0;
    });
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRMEM);
    lua_close(L);
    EXPECT_EQ(winplatLiveHeapBlocks(), before);
    EXPECT_EQ(winplat::luaHeapAlloc(nullptr, nullptr, 0, winplat::kLuaBlockTooBig), nullptr);
}

TEST_F(HostGlueTest, WithoutAStateEveryHostCallIsANoOp) {
    SetHostLastError(nullptr, 5);
    ResetHostLastError(nullptr);
    DoHostAutoTab(nullptr, true);
    FireHostEvent(nullptr, this, "On Key", "");
    EXPECT_EQ(GetPluginObject(nullptr, "Thumbs"), nullptr);
    char out[kPathBuffer];
    EXPECT_STREQ(ResolveSourcePath(nullptr, "a.png", out), "a.png");
}

TEST_F(HostGlueTest, OnlyAJoinedPathThatFitsWholeIsUsed) {
    // A folder of 259 characters beside a file whose name is that folder's name and the file's:
    // without room for the separator the join would name that neighbour.
    testing_support::TempFile anchor({1}, ".png");
    const std::string base = anchor.path().substr(0, anchor.path().rfind('/')) + "/gallimo-long-" +
                             std::to_string(getpid());
    std::string folder = base;
    while (folder.size() < 259)
        folder += folder.size() % 100 == 99 ? '/' : 'd';
    folder.back() = 'd';
    std::filesystem::create_directories(folder);
    const std::string name = "x.png";
    std::ofstream(folder + name) << "neighbour";
    std::ofstream(folder + "/" + name) << "inside";
    // A file inside a shorter folder whose joined path is longer than a path may be.
    const std::string shortFolder = base + "/s";
    const std::string longName(230, 'n');
    std::filesystem::create_directories(shortFolder);
    std::ofstream(shortFolder + "/" + longName) << "inside";
    char out[kPathBuffer];
    struct Case {
        std::string sourceFolder, name, expected;
    };
    const Case cases[] = {
        {folder, name, name},
        {shortFolder, longName, longName},
        {shortFolder, "y", "y"},
    };
    for (const Case& c : cases) {
        lua_pushstring(L, c.sourceFolder.c_str());
        lua_setglobal(L, "_SourceFolder");
        EXPECT_EQ(std::string(ResolveSourcePath(L, c.name.c_str(), out)), c.expected)
            << c.sourceFolder.size() << " + " << c.name.size();
    }
    std::filesystem::remove_all(base);
}
