// The host stand-in as a program: a page file in, the log and the page file out.
#include "BmpWriter.h"
#include "FileBytes.h"
#include "PluginLoader.h"
#include "PngWriter.h"
#include "TgaWriter.h"
#include "WindowCheck.h"

#include <algorithm>
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
            << "    events = { ['On Select'] = [[print('picked', "
               "Gallimo.GetSelectedItems('Thumbs')[1])]] } } } }\n";
    }
    // Runs qvhost with the arguments; its standard output, and its exit status.
    std::string qvhost(const std::string& arguments, int* status) {
        const std::string out = (folder / "out.txt").string();
        const int raw =
            std::system(("'" QVHOST_EXE "' " + arguments + " > '" + out + "' 2>&1").c_str());
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
    const unsigned char bmp[] = {'B', 'M', 62, 0, 0, 0, 0,   0, 0, 0, 54,  0, 0,  0, 40, 0,
                                 0,   0,   2,  0, 0, 0, 1,   0, 0, 0, 1,   0, 24, 0, 0,  0,
                                 0,   0,   8,  0, 0, 0, 0,   0, 0, 0, 0,   0, 0,  0, 0,  0,
                                 0,   0,   0,  0, 0, 0, 255, 0, 0, 0, 255, 0, 0,  0};
    std::ofstream(folder / "dot.bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp), sizeof bmp);
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
    const std::string log =
        qvhost("design '" + (folder / "page.lua").string() + "' --save", &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(page().find("50,60,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1"),
              std::string::npos)
        << page();
    EXPECT_EQ(qvhost("design '" + (folder / "page.lua").string() + "'", &status)
                  .find("properties Thumbs 50,60,"),
              std::string(log).find("properties Thumbs 50,60,"))
        << "the saved page reads back the same";
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

namespace {

// A screenshot as 8-bit RGBA.
struct Shot {
    int width = 0, height = 0;
    testing_support::Bytes rgba;
    COLORREF at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
        return RGB(rgba[i], rgba[i + 1], rgba[i + 2]);
    }
    // The bounding box of one colour's pixels; left > right when there are none.
    RECT boxOf(COLORREF colour) const {
        RECT box{width, height, -1, -1};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y) == colour)
                    box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                               std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
        return box;
    }
};

constexpr COLORREF kBlue = RGB(0x33, 0x66, 0x99);

testing_support::Bytes solidBmp(int width, int height) {
    testing_support::BmpSpec layout;
    layout.width = width;
    layout.height = height;
    layout.bitCount = 24;
    std::vector<std::vector<std::uint32_t>> rows(height,
                                                 std::vector<std::uint32_t>(width, 0x336699));
    layout.pixels = testing_support::packBmpRows(rows, 24);
    return testing_support::writeBmp(layout);
}

} // namespace

class QvHostPageTest : public QvHostTest {
protected:
    void file(const std::string& name, const testing_support::Bytes& bytes) {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    // Runs the page and reads its screenshot back.
    Shot runPage(const std::string& properties, const std::string& start, const std::string& name) {
        writePage(properties, start);
        std::ofstream(folder / "input.txt") << "";
        const fs::path shot = folder / name;
        int status = 0;
        const std::string log =
            qvhost("run '" + (folder / "page.lua").string() + "' --input '" +
                       (folder / "input.txt").string() + "' --screenshot '" + shot.string() + "'",
                   &status);
        EXPECT_EQ(status, 0) << log;
        Shot s;
        s.rgba = testing_support::decodePngRgba(testing_support::readWholeFile(shot.string()),
                                                false, &s.width, &s.height);
        return s;
    }
    static constexpr const char* kDefaults =
        "100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1";
};

TEST_F(QvHostPageTest, AGreyTgaThumbnailIsGrey) {
    // 200 x 100, grey without a colour map, dark on the left and light on the right.
    testing_support::TgaSpec tga;
    tga.imageType = 3;
    tga.width = 200;
    tga.height = 100;
    tga.pixelDepth = 8;
    for (int y = 0; y < tga.height; ++y)
        for (int x = 0; x < tga.width; ++x)
            tga.pixels.push_back(static_cast<std::uint8_t>(x * 255 / 199));
    file("ramp.tga", testing_support::writeTga(tga));
    const Shot shot =
        runPage(kDefaults, "Gallimo.AddFiles('Thumbs', {'ramp.tga'})", "grey-tga.png");
    ASSERT_GT(shot.width, 0);
    // The thumbnail is a run of greys rising step by step from dark to light along one row
    // (a black box beside the white fill would be one step).
    int steps = 0;
    for (int y = 0; y < shot.height; ++y) {
        int rising = 0, last = -1;
        for (int x = 0; x < shot.width; ++x) {
            const COLORREF c = shot.at(x, y);
            const int v = GetRValue(c);
            if (v != GetGValue(c) || v != GetBValue(c) || v < last) {
                rising = 0;
                last = -1;
                continue;
            }
            if (v > last) ++rising;
            last = v;
            steps = std::max(steps, rising);
        }
    }
    EXPECT_GE(steps, 60) << "a grey ramp across the thumbnail";
}

TEST_F(QvHostPageTest, CellSizesSetBeforeAddingFilesHoldTheFittedImage) {
    file("wide.bmp", solidBmp(300, 200));
    const Shot shot =
        runPage(kDefaults,
                "Gallimo.SetThumbWidth('Thumbs', 160); Gallimo.SetThumbHeight('Thumbs', 120);"
                "Gallimo.AddFiles('Thumbs', {'wide.bmp'})",
                "cell-first.png");
    const RECT box = shot.boxOf(kBlue);
    EXPECT_EQ(box.right - box.left, 150) << "152 x 112 inside the frame, fitted at 50 %";
    EXPECT_EQ(box.bottom - box.top, 100);
}

TEST_F(QvHostPageTest, APanoramaIsFittedInsideItsCell) {
    file("panorama.bmp", solidBmp(10000, 60));
    const Shot shot =
        runPage(kDefaults, "Gallimo.AddFiles('Thumbs', {'panorama.bmp'})", "panorama.png");
    const RECT box = shot.boxOf(kBlue);
    EXPECT_EQ(box.right - box.left, 92) << "as wide as the target inside the frame";
    EXPECT_EQ(box.bottom - box.top, 1);
    EXPECT_EQ(shot.at(box.left - 4, box.top), RGB(0, 0, 0)) << "the frame is drawn beside it";
}

TEST_F(QvHostPageTest, AutomaticColoursAreTheDefaults) {
    file("small.bmp", solidBmp(40, 30));
    const Shot shot =
        runPage("100,100,40,20,1,1,3,4278190080,4278190080,2,1,4278190080,1,1,0,1,1,1",
                "Gallimo.AddFiles('Thumbs', {'small.bmp'})", "automatic.png");
    const Shot expected =
        runPage(kDefaults, "Gallimo.AddFiles('Thumbs', {'small.bmp'})", "defaults.png");
    ASSERT_GT(shot.width, 0);
    EXPECT_EQ(shot.rgba, expected.rgba) << "drawn as the default property string draws";
    EXPECT_EQ(shot.at(400, 300), RGB(255, 255, 255)) << "the list's background";
    const RECT box = shot.boxOf(kBlue);
    EXPECT_EQ(shot.at(box.left - 2, box.top), RGB(255, 255, 255)) << "the fill";
    EXPECT_EQ(shot.at(box.left - 30, box.top), RGB(0, 0, 0))
        << "the frame, 30 pixels left of the image";
}

TEST_F(QvHostPageTest, ANameTooLongForAPathNamesNoFile) {
    // A PNG whose absolute path is exactly 259 characters: one more would not fit a path buffer,
    // and a cut name would name this file.
    testing_support::PngSpec png;
    png.width = 4;
    png.height = 4;
    png.rows.assign(testing_support::pngRowBytes(png) * 4, 0x80);
    fs::path inner = folder;
    while (inner.string().size() < 259 - 120)
        inner /= std::string(60, 'd');
    fs::create_directories(inner);
    const std::string name(259 - inner.string().size() - 1 - 4, 'n');
    const std::string path = (inner / (name + ".png")).string();
    ASSERT_EQ(path.size(), 259u);
    file(path.substr(folder.string().size() + 1), testing_support::encodePng(png));
    const std::string start = "local p = '" + path +
                              "'\n"
                              "print('added', Gallimo.AddFiles('Thumbs', {p .. 'x'}))\n"
                              "print('added', Gallimo.AddFiles('Thumbs', {p .. string.rep('x', "
                              "400)}, function(path) print('given', #path) end))\n"
                              "print('added', Gallimo.AddFiles('Thumbs', {p}))\n";
    writePage(kDefaults, start);
    std::ofstream(folder / "input.txt") << "";
    int status = 0;
    const std::string log = qvhost("run '" + (folder / "page.lua").string() + "' --input '" +
                                       (folder / "input.txt").string() + "'",
                                   &status);
    EXPECT_EQ(status, 0) << log;
    std::istringstream lines(log);
    std::string printed;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("added", 0) == 0 || line.rfind("given", 0) == 0) printed += line + "\n";
    EXPECT_EQ(printed, "added\t0\ngiven\t0\nadded\t0\nadded\t1\n") << log;
}
