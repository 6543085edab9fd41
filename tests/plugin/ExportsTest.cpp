// The plug-in module as the host sees it: loaded by path, its exports found by name.
#include "PluginLoader.h"
#include "TestFiles.h"
#include "winplat/shell.h"

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Module {
    void* handle = dlopen(GALLIMO_QLX, RTLD_NOW | RTLD_LOCAL);
    ~Module() {
        if (handle != nullptr) dlclose(handle);
    }
    template <class F> F get(const char* name) const {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
};

using TextExport = int (*)(char*, int*);

// The action XML as the action tables describe it, built here independently of the module.
std::string expectedActionXml() {
    struct Arg {
        std::string name, description, type, easyDefault, constraints, defaultValue = "",
                                                                       required = "1";
    };
    struct Action {
        std::string name, description, returns;
        std::vector<Arg> args;
    };
    const Arg object{"ObjectName", "The name of the object.", "string", "", "QV_GALLIMO"};
    const std::vector<Action> actions = {
        {"Gallimo.AddFiles",
         "Adds image files to the list.",
         "number",
         {{"FileList", "A numerically indexed table of files to add to the list.", "table", "{}",
           "none"},
          {"CallbackFunction",
           "The name of a function that will be called whenever a file is added to the list.",
           "function", "nil", "none", "nil", "0"}}},
        {"Gallimo.Clear", "Clears all items from the list.", "", {}},
        {"Gallimo.DeleteItem",
         "Deletes an item from the list.",
         "",
         {{"Index", "The index of the item to delete.", "number", "1", "1,*"}}},
        {"Gallimo.GetItemCount", "Returns the number of items in the list.", "number", {}},
        {"Gallimo.GetItemInfo",
         "Returns a table that contains information about the specified item.",
         "table",
         {{"Index", "The index of the item to get information about.", "number", "1", "1,*"}}},
        {"Gallimo.GetSelectedItems",
         "Returns the a numerically indexed table that contains the indexes of items that are "
         "selected in the list.",
         "table",
         {}},
        {"Gallimo.SelectItem",
         "Selects an item in the list.",
         "",
         {{"Index", "The index of the item to select.", "number", "1", "-1,*"}}},
        {"Gallimo.SetItemLabel",
         "Sets the label text of an item in the list.",
         "",
         {{"Index", "The index of the item whose label is set.", "number", "1", "1,*"},
          {"Label", "The new item text.", "string", "\"New Text\"", "none"}}},
        {"Gallimo.SetThumbHeight",
         "Sets the height (in pixels) of all items in the list.",
         "",
         {{"Height", "The new height of all list items in pixels.", "number", "50", "1,*"}}},
        {"Gallimo.SetThumbWidth",
         "Sets the width (in pixels) of all items in the list.",
         "",
         {{"Width", "The new width of all list items in pixels.", "number", "50", "1,*"}}},
        {"Gallimo.SetHSpacing",
         "Sets the horizontal spacing (in pixels) of all items in the list.",
         "",
         {{"Spacing", "The new horizontal spacing of all list items in pixels.", "number", "200",
           "1,*"}}},
        {"Gallimo.SetVSpacing",
         "Sets the vertical spacing (in pixels) of all items in the list.",
         "",
         {{"Spacing", "The new vertical spacing of all list items in pixels.", "number", "200",
           "1,*"}}},
    };
    std::string xml;
    auto line = [&xml](int level, const std::string& text) {
        xml += std::string(3 * level, ' ') + text + "\r\n";
    };
    auto element = [&line](int level, const std::string& tag, const std::string& text) {
        line(level, text.empty() ? "<" + tag + "/>" : "<" + tag + ">" + text + "</" + tag + ">");
    };
    line(0, "<ActionTemplates>");
    for (const Action& a : actions) {
        line(1, "<Action>");
        element(2, "Name", a.name);
        element(2, "Description", a.description);
        element(2, "ReturnValueType", a.returns);
        line(2, "<Arguments>");
        std::vector<Arg> all{object};
        all.insert(all.end(), a.args.begin(), a.args.end());
        for (const Arg& g : all) {
            line(3, "<Arg>");
            element(4, "Name", g.name);
            element(4, "Description", g.description);
            element(4, "Type", g.type);
            element(4, "Default", g.defaultValue);
            element(4, "Required", g.required);
            line(4, "<EasyMode>");
            element(5, "Default", g.easyDefault);
            element(5, "DataType", g.name == "ObjectName" ? "pluginobject" : g.type);
            element(5, "Constraints", g.constraints);
            line(4, "</EasyMode>");
            line(3, "</Arg>");
        }
        line(2, "</Arguments>");
        line(1, "</Action>");
    }
    line(0, "</ActionTemplates>");
    return xml;
}

} // namespace

TEST(Exports, OnlyTheHostsExportsAreVisible) {
    Module m;
    ASSERT_NE(m.handle, nullptr) << dlerror();
    for (const char* name :
         {"qvPlg_GetPluginName", "qvPlg_GetPluginVersion", "qvPlg_GetQVPluginObjectVersion",
          "qvPlg_GetAuthorInfo", "qvPlg_GetPluginActionXML", "qvPlg_GetLuaVersion",
          "qvPlg_GetDependencies", "qvPlg_ShowHelpForAction", "qvPlg_ShowHelpForPlugin"})
        EXPECT_NE(dlsym(m.handle, name), nullptr) << name;
    for (const char* name :
         {"readBMP", "openFileSource", "getLastError", "_ZN7gallimo13copyStringOutEPKcPcPi"})
        EXPECT_EQ(dlsym(m.handle, name), nullptr) << name << " must stay inside the module";
}

TEST(Exports, TextsFollowTheStringOutProtocol) {
    Module m;
    ASSERT_NE(m.handle, nullptr);
    auto name = m.get<TextExport>("qvPlg_GetPluginName");
    char buffer[16] = {};
    int length = 0;
    EXPECT_EQ(name(buffer, &length), -1);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(qvhost::PluginModule::askText(name), "Gallimo");
    EXPECT_EQ(qvhost::PluginModule::askText(m.get<TextExport>("qvPlg_GetPluginVersion")),
              "1.0.2.0");
    EXPECT_EQ(qvhost::PluginModule::askText(m.get<TextExport>("qvPlg_GetDependencies")), "");
    EXPECT_EQ(m.get<int (*)()>("qvPlg_GetQVPluginObjectVersion")(), 1);
    EXPECT_STREQ(m.get<const char* (*)()>("qvPlg_GetLuaVersion")(), "Lua 5.0");
    const std::string author =
        qvhost::PluginModule::askText(m.get<TextExport>("qvPlg_GetAuthorInfo"));
    EXPECT_NE(author.find("Gallimo"), std::string::npos);
    EXPECT_NE(author.find("\r\n"), std::string::npos);
}

TEST(Exports, ActionXmlIsExactlyTheDescribedDocument) {
    Module m;
    ASSERT_NE(m.handle, nullptr);
    const std::string xml =
        qvhost::PluginModule::askText(m.get<TextExport>("qvPlg_GetPluginActionXML"));
    EXPECT_EQ(xml, expectedActionXml());
}

namespace {

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("gallimo-help-" + std::to_string(getpid()));
        fs::create_directories(folder / "bin");
        winplat::clearAssociations();
        winplat::clearStartedPrograms();
        oldPath = std::getenv("PATH");
        setenv("PATH", ((folder / "bin").string() + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override {
        winplat::waitForStartedPrograms();
        setenv("PATH", oldPath.c_str(), 1);
        winplat::clearAssociations();
        fs::remove_all(folder);
    }
    fs::path recorder(const std::string& name) {
        const fs::path p = folder / "bin" / name;
        std::ofstream(p) << "#!/bin/sh\nexit 0\n";
        fs::permissions(p, fs::perms::owner_all);
        return p;
    }
    void writeHelp() { std::ofstream(folder / "Gallimo.htm") << "<html></html>"; }
    std::vector<winplat::StartedProgram> started() {
        winplat::waitForStartedPrograms();
        return winplat::startedPrograms();
    }
    Module m;
    fs::path folder;
    std::string oldPath;
    BOOL (*forAction)
    (const char*, const char*,
     HWND) = m.get<BOOL (*)(const char*, const char*, HWND)>("qvPlg_ShowHelpForAction");
    BOOL (*forPlugin)
    (const char*, HWND) = m.get<BOOL (*)(const char*, HWND)>("qvPlg_ShowHelpForPlugin");
};

} // namespace

TEST_F(HelpTest, MissingHelpFileStartsNothing) {
    winplat::setAssociation(".htm", recorder("browser").string());
    EXPECT_FALSE(forAction("Gallimo.Clear", folder.string().c_str(), nullptr));
    EXPECT_FALSE(forPlugin(folder.string().c_str(), nullptr));
    EXPECT_TRUE(started().empty());
}

TEST_F(HelpTest, TheActionsAnchorOpensInTheAssociatedBrowser) {
    writeHelp();
    const std::string browser = recorder("opera").string();
    winplat::setAssociation(".htm", browser);
    ASSERT_TRUE(forAction("Gallimo.Clear", folder.string().c_str(), nullptr));
    const auto runs = started();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, browser);
    ASSERT_EQ(runs[0].arguments.size(), 1u);
    EXPECT_EQ(runs[0].arguments[0], folder.string() + "\\Gallimo.htm#Gallimo.Clear");
}

TEST_F(HelpTest, FirefoxAssociationsTryIexploreFirst) {
    writeHelp();
    const std::string firefox = recorder("firefox").string();
    winplat::setAssociation(".htm", firefox);
    ASSERT_TRUE(forAction("Gallimo.AddFiles", folder.string().c_str(), nullptr));
    auto runs = started();
    ASSERT_EQ(runs.size(), 1u) << "no iexplore here: the associated browser, without the anchor";
    EXPECT_EQ(runs[0].program, firefox);
    EXPECT_EQ(runs[0].arguments, std::vector<std::string>{folder.string() + "\\Gallimo.htm"});

    winplat::clearStartedPrograms();
    const std::string iexplore = recorder("iexplore").string();
    ASSERT_TRUE(forAction("Gallimo.AddFiles", folder.string().c_str(), nullptr));
    runs = started();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, iexplore);
    EXPECT_EQ(runs[0].arguments,
              std::vector<std::string>{folder.string() + "\\Gallimo.htm#Gallimo.AddFiles"});
}

TEST_F(HelpTest, PluginHelpOpensThePage) {
    writeHelp();
    winplat::setAssociation(".htm", recorder("browser").string());
    ASSERT_TRUE(forPlugin(folder.string().c_str(), nullptr));
    const auto runs = started();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, std::vector<std::string>{(folder / "Gallimo.htm").string()});
}
