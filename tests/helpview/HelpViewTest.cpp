// Each build of the help viewer run as a program, alone in a folder, driven by scripted
// input; its screenshots are read back to see what the window showed.
#include "FileBytes.h"
#include "PngWriter.h"
#include "win32/types.h"

#include <array>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using testing_support::Bytes;

extern char** environ;

namespace {

struct Build {
    const char* exe;
    const char* name;
    const char* other;
    const char* caption;
    RECT label; // client pixels: twips / 15
};
const Build kOrmand{ORMAND_EXE, "Ormand", "Ketril", "Windows XP da  >>", {311, 349, 448, 366}};
const Build kKetril{KETRIL_EXE, "Ketril", "Ormand", "Windows 7 da  >>", {316, 348, 453, 365}};

struct Picture {
    int width = 0, height = 0;
    Bytes rgba;
    std::array<int, 3> at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2]};
    }
    // How many pixels of the rectangle have this colour.
    int count(const RECT& r, std::array<int, 3> colour) const {
        int n = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                n += at(x, y) == colour;
        return n;
    }
};

class HelpViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("gallimo-helpview-" + std::to_string(getpid()));
        fs::create_directories(folder / "bin");
    }
    void TearDown() override { fs::remove_all(folder); }

    // Runs the build alone in a folder of its own with the script; its exit status.
    int run(const Build& build, const std::string& script, std::string* trace = nullptr) {
        const fs::path alone = folder / build.name;
        fs::create_directories(alone);
        fs::copy_file(build.exe, alone / build.name, fs::copy_options::overwrite_existing);
        std::ofstream(folder / "script.txt") << script;
        const std::string out = (folder / "trace.txt").string();
        const std::string command = "cd '" + folder.string() + "' && PATH='" +
                                    (folder / "bin").string() + ":/usr/bin:/bin' HELPVIEW_INPUT='" +
                                    (folder / "script.txt").string() + "' '" +
                                    (alone / build.name).string() + "' > '" + out + "'";
        const int status = std::system(command.c_str());
        if (trace != nullptr) {
            std::ifstream in(out);
            *trace = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    Picture shot(const std::string& name) {
        Picture p;
        p.rgba = testing_support::decodePngRgba(
            testing_support::readWholeFile((folder / name).string()), false, &p.width, &p.height);
        return p;
    }
    std::string shotPath(const std::string& name) { return (folder / name).string(); }
    fs::path folder;
};

constexpr std::array<int, 3> kWhite{255, 255, 255};
constexpr std::array<int, 3> kBlue{0, 0, 255};
constexpr std::array<int, 3> kRed{255, 0, 0};
constexpr std::array<int, 3> kMagenta{255, 0, 255};

} // namespace

TEST_F(HelpViewTest, TheCloseBoxEndsTheProgramWithStatusZero) {
    EXPECT_EQ(run(kOrmand, "close\nscreenshot " + shotPath("after.png") + "\n"), 0);
    EXPECT_FALSE(fs::exists(folder / "after.png")) << "nothing runs after the window is gone";
}

TEST_F(HelpViewTest, TheLinkShowsOverTheLabelAndStaysRedAfterAPress) {
    for (const Build* b : {&kOrmand, &kKetril}) {
        const RECT& l = b->label;
        const std::string inside = std::to_string(l.left + 10) + " " + std::to_string(l.top + 8);
        const std::string script = "move 50 50\nscreenshot " + shotPath("plain.png") + "\nmove " +
                                   inside + "\nscreenshot " + shotPath("over.png") + "\ndown " +
                                   inside + "\nscreenshot " + shotPath("pressed.png") +
                                   "\nup 50 50\nmove 50 50\nscreenshot " + shotPath("hidden.png") +
                                   "\nmove " + inside + "\nscreenshot " + shotPath("again.png") +
                                   "\n";
        std::string trace;
        ASSERT_EQ(run(*b, script, &trace), 0) << b->name;
        const Picture plain = shot("plain.png"), over = shot("over.png"),
                      pressed = shot("pressed.png"), hidden = shot("hidden.png"),
                      again = shot("again.png");
        ASSERT_GT(plain.width, 0) << b->name;
        const int area = (l.right - l.left) * (l.bottom - l.top);
        // A blank caption still draws its underline, and nothing more.
        EXPECT_LT(plain.count(l, kBlue), 20) << b->name << ": no caption before the mouse comes";
        EXPECT_GT(over.count(l, kWhite), area / 2)
            << b->name << ": opaque, in the caption-text colour";
        EXPECT_GT(over.count(l, kBlue), 20) << b->name << ": the link caption in blue";
        EXPECT_GT(pressed.count(l, kMagenta), 20) << b->name;
        EXPECT_LT(hidden.count(l, kWhite), area / 2) << b->name << ": transparent again";
        EXPECT_LT(hidden.count(l, kRed), 20) << b->name << ": the caption a blank";
        EXPECT_GT(again.count(l, kRed), 20) << b->name << ": red ever after the first release";
        EXPECT_EQ(again.count(l, kBlue), 0) << b->name;
        EXPECT_NE(trace.find("Label1_MouseDown\n"), std::string::npos);
        EXPECT_NE(trace.find("Label1_MouseUp\n"), std::string::npos);
        EXPECT_EQ(trace.find("Label1_Click"), std::string::npos) << "released away from the label";
    }
}

TEST_F(HelpViewTest, ClickingTheLinkStartsTheOtherBuildAndCloses) {
    const fs::path recorder = folder / "bin" / "Ketril";
    // It records whether it was handed the script, which would have it start Ormand in turn.
    std::ofstream(recorder) << "#!/bin/sh\necho \"input=${HELPVIEW_INPUT-none}\" > '"
                            << (folder / "ketril-ran").string() << "'\n";
    fs::permissions(recorder, fs::perms::owner_all);
    const std::string at = "320 355";
    std::string trace;
    EXPECT_EQ(run(kOrmand, "click " + at + "\nscreenshot " + shotPath("after.png") + "\n", &trace),
              0);
    EXPECT_NE(trace.find("Label1_Click\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "after.png")) << "the window closed";
    for (int i = 0; i < 50 && !fs::exists(folder / "ketril-ran"); ++i)
        usleep(20000);
    EXPECT_TRUE(fs::exists(folder / "ketril-ran")) << "Ketril.exe found on the PATH as Ketril";
    for (int i = 0;
         i < 50 && testing_support::readWholeFile((folder / "ketril-ran").string()).empty(); ++i)
        usleep(20000);
    const Bytes recorded = testing_support::readWholeFile((folder / "ketril-ran").string());
    EXPECT_EQ(std::string(recorded.begin(), recorded.end()), "input=none\n")
        << "the started build does not inherit the script";

    fs::remove(recorder);
    EXPECT_EQ(run(kOrmand, "click " + at + "\n", &trace), 0)
        << "no other build anywhere: still closes";
}

TEST_F(HelpViewTest, EachBuildShowsItsOwnPicture) {
    ASSERT_EQ(run(kOrmand, "move 320 355\nscreenshot " + shotPath("ormand.png") + "\n"), 0);
    ASSERT_EQ(run(kKetril, "move 320 355\nscreenshot " + shotPath("ketril.png") + "\n"), 0);
    const Picture ormand = shot("ormand.png"), ketril = shot("ketril.png");
    EXPECT_EQ(ormand.width, 459);
    EXPECT_EQ(ormand.height, 372);
    EXPECT_EQ(ketril.width, 461);
    EXPECT_EQ(ketril.height, 374);
    EXPECT_NE(ormand.rgba.size(), 0u);
    const RECT title{0, 0, 300, 40};
    EXPECT_NE(ormand.count(title, kWhite), ketril.count(title, kWhite)) << "different help titles";
}

TEST_F(HelpViewTest, WhatThePictureLeavesShowsTheFormsBackground) {
    constexpr std::array<int, 3> kButtonFace{212, 208, 200};
    struct Case {
        const Build* build;
        RECT area;
        bool uncovered; // all of it the form's background, else none of it
    };
    // Ketril's client area is two columns wider than its picture; Ormand's is its picture's
    // width and two rows shorter.
    const Case cases[] = {
        {&kKetril, {459, 0, 461, 374}, true},
        {&kKetril, {458, 0, 459, 374}, false},
        {&kOrmand, {458, 0, 459, 372}, false},
        {&kOrmand, {0, 371, 459, 372}, false},
    };
    for (const Case& k : cases) {
        // Over the label and away again: the label's own transparent paint counts too.
        const std::string shotName = std::string(k.build->name) + ".png";
        ASSERT_EQ(
            run(*k.build, "move 320 355\nmove 50 50\nscreenshot " + shotPath(shotName) + "\n"), 0);
        const Picture p = shot(shotName);
        ASSERT_GE(p.width, k.area.right) << k.build->name;
        const int area = (k.area.right - k.area.left) * (k.area.bottom - k.area.top);
        EXPECT_EQ(p.count(k.area, kButtonFace), k.uncovered ? area : 0)
            << k.build->name << " at " << k.area.left << ", " << k.area.top;
    }
}
