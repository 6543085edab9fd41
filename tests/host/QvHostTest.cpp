// The host stand-in as a program: a page file in, the log and the page file out.
#include "PluginLoader.h"
#include "WindowCheck.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

class QvHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("gallimo-host-" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    void writePage(const std::string& properties, const std::string& start = "") {
        std::ofstream(folder / "page.lua")
            << "return { start = [[" << start << "]], objects = {\n"
            << "  { plugin = '" << GALLIMO_QLX << "', name = 'Thumbs', rect = {10, 10, 410, 310},\n"
            << "    properties = '" << properties << "',\n"
            << "    events = { ['On Select'] = [[print('picked', Gallimo.GetSelectedItems('Thumbs')[1])]] } } } }\n";
    }
    // Runs qvhost with the arguments; its standard output, and its exit status.
    std::string qvhost(const std::string& arguments, int* status) {
        const std::string out = (folder / "out.txt").string();
        const int raw = std::system(("'" QVHOST_EXE "' " + arguments + " > '" + out + "' 2>&1").c_str());
        *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(out);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string page() const {
        std::ifstream in(folder / "page.lua");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path folder;
};

} // namespace

TEST_F(QvHostTest, RunModeLogsWhatTheScriptsAndEventsDid) {
    // A 2 x 1 BMP, written here.
    const unsigned char bmp[] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0,
                                 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};
    std::ofstream(folder / "dot.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bmp), sizeof bmp);
    writePage("100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1",
              "print('added', Gallimo.AddFiles('Thumbs', {'dot.bmp', 'nothing.bmp'}))");
    std::ofstream(folder / "input.txt") << "click 60 60\n";
    int status = 0;
    const std::string log = qvhost("run '" + (folder / "page.lua").string() + "' --input '" +
                                       (folder / "input.txt").string() + "' --screenshot '" +
                                       (folder / "page.png").string() + "'",
                                   &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("added\t1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("lasterror 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("event Thumbs \"On Select\""), std::string::npos) << log;
    EXPECT_NE(log.find("picked\t1\n"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(folder / "page.png"));
}

TEST_F(QvHostTest, DesignModeSavesThePropertyStringsBack) {
    writePage("50,,60");
    int status = 0;
    const std::string log = qvhost("design '" + (folder / "page.lua").string() + "' --save", &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(page().find("50,60,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1"), std::string::npos) << page();
    EXPECT_EQ(qvhost("design '" + (folder / "page.lua").string() + "'", &status).find("properties Thumbs 50,60,"),
              std::string(log).find("properties Thumbs 50,60,")) << "the saved page reads back the same";
}

TEST_F(QvHostTest, TheLoaderBindsEveryExportAndObjectsLeaveNothingBehind) {
    testing_support::WindowCheck windows;
    testing_support::GdiCheck gdi;
    qvhost::PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(GALLIMO_QLX, &error)) << error;
    EXPECT_EQ(module.name(), "Gallimo");
    EXPECT_EQ(module.version(), "1.0.2.0");
    EXPECT_EQ(module.getObjectVersion(), 1);
    const std::size_t blocks = winplatLiveGlobalBlocks();
    CPluginObject* object = module.createObject();
    ASSERT_NE(object, nullptr);
    char properties[200];
    int length = sizeof properties;
    object->GetProperties(properties, &length);
    EXPECT_STREQ(properties, "100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1");
    WNDCLASSA cls{};
    cls.lpfnWndProc = DefWindowProcA;
    cls.lpszClassName = "QvHostTestPage";
    RegisterClassA(&cls);
    HWND parent = CreateWindowExA(0, "QvHostTestPage", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    object->PositionRunWindow(0, parent, 0, 0, 200, 100, 1, 1);
    EXPECT_NE(object->GetWindowHandle(), nullptr);
    module.deleteObject(object);
    DestroyWindow(parent);
    EXPECT_EQ(winplatLiveGlobalBlocks(), blocks);
}
