#include "MetafileLoader.h"
#include "FileBytes.h"
#include "GdiCheck.h"
#include "HeapWatch.h"
#include "MetafileWriter.h"
#include "TestFiles.h"
#include "TraceCapture.h"
#include "imgcore.h"
#include "winplat/screen.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

using namespace testing_support;

namespace {

constexpr COLORREF kBackground = RGB(12, 34, 56);
constexpr COLORREF kRed = RGB(255, 0, 0);

class MetafileLoader : public GdiLeakCheckedTest {};

struct Loaded {
    BYTE* image = nullptr;
    int width = -1;
    int height = -1;
    int error = -1;
    ~Loaded() {
        if (image != nullptr) GlobalFree(image);
    }
    COLORREF at(int x, int y) const {
        const BYTE* p = image + (static_cast<std::size_t>(y) * width + x) * 3;
        return RGB(p[0], p[1], p[2]);
    }
};

void load(const std::string& path, Loaded& out, COLORREF background = kBackground) {
    out.image = loadMetafile(path.c_str(), &out.width, &out.height, 2000, 1000, background, 0);
    out.error = getLastError();
}

// A red block over the middle half of the picture, in each kind of file.
Bytes enhancedBlock(RECT frame = {0, 0, 1000, 500}) {
    EmfWriter w(frame);
    w.pen(1, PS_SOLID, 0, kRed).select(1).brush(2, BS_SOLID, kRed).select(2);
    w.rectangle(25, 12, 75, 37);
    return w.bytes();
}

WmfWriter oldStyleBlock() {
    WmfWriter w;
    w.window(0, 0, 200, 100).pen(PS_SOLID, 0, kRed).select(0).brush(BS_SOLID, kRed).select(1);
    w.rectangle(50, 25, 150, 75);
    return w;
}

// The size the loader gives a placeable picture: extents in hundredths of a millimetre from
// the box, then pixels at 96 dots per inch.
int placeablePixels(int from, int to, int unitsPerInch) {
    const std::uint32_t extent = static_cast<std::uint32_t>(to - from) * 2540u / unitsPerInch;
    return static_cast<int>(extent * 0.00039368528798078815 * 96);
}

int framePixels(LONG edge, LONG millimetres, LONG pixels) {
    if (millimetres <= 0) return 0;
    const float factor = 1.0f / (static_cast<float>(millimetres) * 100.0f);
    return static_cast<int>(static_cast<float>(edge) * factor * static_cast<float>(pixels));
}

// An enhanced picture of about `width` x `height` pixels (its reference device has one pixel per
// frame unit), red over the middle half of each side longer than a pixel and across the rest.
Bytes enhancedBlockOf(LONG width, LONG height) {
    EmfWriter w({0, 0, width, height}, {1000, 1000}, {10, 10});
    w.pen(1, PS_SOLID, 0, kRed).select(1).brush(2, BS_SOLID, kRed).select(2);
    const auto from = [](LONG side) { return side > 1 ? side / 4 : -10; };
    const auto to = [](LONG side) { return side > 1 ? side * 3 / 4 : side + 10; };
    w.rectangle(from(width), from(height), to(width), to(height));
    return w.bytes();
}

// The image red in its middle half along each side longer than a pixel, the background outside.
void expectMiddleHalfRed(const Loaded& r, const char* name) {
    const int w = r.width, h = r.height;
    EXPECT_EQ(r.at(w / 2, h / 2), kRed) << name;
    EXPECT_EQ(r.at(0, 0), kBackground) << name;
    EXPECT_EQ(r.at(w - 1, h - 1), kBackground) << name;
    if (w > 8) {
        EXPECT_EQ(r.at(w / 4 - 2, h / 2), kBackground) << name;
        EXPECT_EQ(r.at(w / 4 + 2, h / 2), kRed) << name;
        EXPECT_EQ(r.at(w * 3 / 4 - 2, h / 2), kRed) << name;
        EXPECT_EQ(r.at(w * 3 / 4 + 2, h / 2), kBackground) << name;
    }
    if (h > 8) {
        EXPECT_EQ(r.at(w / 2, h / 4 - 2), kBackground) << name;
        EXPECT_EQ(r.at(w / 2, h / 4 + 2), kRed) << name;
        EXPECT_EQ(r.at(w / 2, h * 3 / 4 - 2), kRed) << name;
        EXPECT_EQ(r.at(w / 2, h * 3 / 4 + 2), kBackground) << name;
    }
}

} // namespace

TEST_F(MetafileLoader, AMissingFileGivesNothing) {
    Loaded r;
    load("/no/such/picture.wmf", r);
    EXPECT_EQ(r.image, nullptr);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.height, 0);
    EXPECT_EQ(r.error, 2);
}

TEST_F(MetafileLoader, EveryFailureHasItsCode) {
    const TempFile enhanced(enhancedBlock());
    const TempFile oldStyle(oldStyleBlock().bytes());
    const TempFile neither(Bytes(300, 0x5A));
    const TempFile empty(Bytes{});
    const TempFile noUnits(oldStyleBlock().placeable(0, 0, 200, 100, 0));
    EmfWriter noMillimetres;
    const TempFile flat(noMillimetres.bytesWithHeader({1000, 1000}, {0, 100}));
    const TempFile huge(EmfWriter({0, 0, 10000000, 10000000}).bytes());
    struct Case {
        const char* name;
        std::string path;
        std::function<void()> arm;
        int code;
        bool image;
    };
    const auto gdi = [](int call) { return [call] { winplatFailGdiCallAt(call, 1); }; };
    const auto none = [] {};
    const Case cases[] = {
        {"neither kind of file", neither.path(), none, 41, false},
        {"no units per inch", noUnits.path(), none, 41, false},
        {"an empty file", empty.path(), none, 27, false},
        {"no millimetres", flat.path(), none, 27, false},
        {"too large a picture", huge.path(), none, 23, false},
        {"no screen DC", enhanced.path(), gdi(WINPLAT_CALL_GET_DC), 10, false},
        {"no screen DC to convert with", oldStyle.path(), gdi(WINPLAT_CALL_GET_DC), 10, false},
        {"no memory DC", enhanced.path(), gdi(WINPLAT_CALL_CREATE_COMPATIBLE_DC), 10, false},
        {"no bitmap", enhanced.path(), gdi(WINPLAT_CALL_CREATE_COMPATIBLE_BITMAP), 23, false},
        {"no selection", enhanced.path(), gdi(WINPLAT_CALL_SELECT_BITMAP), 37, false},
        {"no brush", enhanced.path(), gdi(WINPLAT_CALL_CREATE_BRUSH), 10, false},
        {"no image memory", enhanced.path(), [] { winplatFailGlobalAllocAt(1); }, 1, false},
        {"no memory to convert", enhanced.path(), [] { winplatFailGlobalAllocAt(2); }, 1, true},
        {"the bits not read back", enhanced.path(), gdi(WINPLAT_CALL_GET_DIBITS), 25, true},
    };
    for (const Case& c : cases) {
        winplatResetScreen(0);
        c.arm();
        Loaded r;
        load(c.path, r);
        winplatFailGlobalAllocAt(0);
        EXPECT_EQ(r.error, c.code) << c.name;
        EXPECT_EQ(r.image != nullptr, c.image) << c.name;
        EXPECT_EQ(r.width != 0, c.image) << c.name;
    }

    Loaded r;
    r.image = loadMetafile(nullptr, &r.width, &r.height, 100, 100, kBackground, 0);
    EXPECT_EQ(r.image, nullptr);
    EXPECT_EQ(getLastError(), 5);
    EXPECT_EQ(loadMetafile(enhanced.path().c_str(), nullptr, &r.height, 1, 1, 0, 0), nullptr);
    EXPECT_EQ(getLastError(), 5);
}

TEST_F(MetafileLoader, AFileThatCannotBeReadInFullGivesCode3) {
    // A kernel file claims a page of bytes and gives a few; a folder opens for reading here
    // yet is no file, so it is one that cannot be opened.
    const std::filesystem::path dir = std::filesystem::path(TempFile(Bytes{}).path()).parent_path();
    const std::string shortFile = dir / "a-short-file.wmf";
    const std::string folder = dir / "a-folder.wmf";
    std::filesystem::remove_all(shortFile);
    std::filesystem::create_directories(folder);
    std::error_code linked;
    std::filesystem::create_symlink("/sys/devices/system/cpu/online", shortFile, linked);
    struct stat info {};
    const bool claims = !linked && stat(shortFile.c_str(), &info) == 0 && info.st_size > 64;
    Loaded cut, dirLoaded;
    if (claims) load(shortFile, cut);
    load(folder, dirLoaded);
    std::filesystem::remove(shortFile, linked);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(dirLoaded.error, 2);
    EXPECT_EQ(dirLoaded.image, nullptr);
    if (!claims) GTEST_SKIP() << "no kernel file that claims more than it gives";
    EXPECT_EQ(cut.error, 3);
    EXPECT_EQ(cut.image, nullptr);
}

TEST_F(MetafileLoader, TheRefusalIsTraced) {
    TraceCapture trace;
    const TempFile neither(Bytes(300, 0x5A));
    Loaded r;
    load(neither.path(), r);
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_EQ(trace.lines()[0].second, "SetWinMetaFileBits failed GetLastError = 87\n");
}

TEST_F(MetafileLoader, APlaceableHeaderGivesTheExtentsAndTheSize) {
    struct Case {
        int left, top, right, bottom, unitsPerInch;
        LONG extentX, extentY;
        int width, height;
    };
    const Case cases[] = {
        {0, 0, 1440, 720, 1440, 2540, 1270, 95, 47},
        {-100, -50, 100, 50, 100, 5080, 2540, 191, 95},
        {0, 0, 200, 100, 192, 2645, 1322, 99, 49},
    };
    for (const Case& c : cases) {
        const TempFile file(
            oldStyleBlock().placeable(c.left, c.top, c.right, c.bottom, c.unitsPerInch));
        img::CMetafileLoader loader;
        int width = 0, height = 0;
        BYTE* image = loader.load(file.path().c_str(), &width, &height, 1, 1, kBackground);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(loader.status, 0);
        EXPECT_EQ(loader.placeableExtents().cx, c.extentX);
        EXPECT_EQ(loader.placeableExtents().cy, c.extentY);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        EXPECT_EQ(width, placeablePixels(c.left, c.right, c.unitsPerInch));
        EXPECT_EQ(std::memcmp(loader.placeableBytes(), "\xD7\xCD\xC6\x9A", 4), 0);
        GlobalFree(image);
    }
}

TEST_F(MetafileLoader, EachKindOfFileTakesItsSizeFromItsOwnRule) {
    const RECT frame{100, 200, 2640, 1470};
    EmfWriter screenLike(frame, {1024, 768}, {271, 203});
    struct Case {
        const char* name;
        Bytes contents;
        int width, height;
    };
    const Case cases[] = {
        {"enhanced: the frame in the reference device's pixels", screenLike.bytes(),
         framePixels(2640, 271, 1024) - framePixels(100, 271, 1024),
         framePixels(1470, 203, 768) - framePixels(200, 203, 768)},
        {"plain old-style: 1000 x 1000 hundredths of a millimetre", oldStyleBlock().bytes(), 37,
         37},
    };
    for (const Case& c : cases) {
        const TempFile file(c.contents);
        Loaded r;
        load(file.path(), r);
        ASSERT_NE(r.image, nullptr) << c.name;
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(r.width, c.width) << c.name;
        EXPECT_EQ(r.height, c.height) << c.name;
    }
    // Each edge is truncated on its own: 99 - 3, where the width alone would give 95.
    EXPECT_EQ(framePixels(2640, 271, 1024) - framePixels(100, 271, 1024), 99 - 3);
}

TEST_F(MetafileLoader, WhereNothingIsDrawnTheImageIsTheBackground) {
    const Bytes files[] = {EmfWriter().bytes(), WmfWriter().bytes(),
                           WmfWriter().placeable(0, 0, 100, 100, 100)};
    for (const Bytes& contents : files) {
        const TempFile file(contents);
        Loaded r;
        load(file.path(), r);
        ASSERT_NE(r.image, nullptr);
        ASSERT_GT(r.width, 0);
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                ASSERT_EQ(r.at(x, y), kBackground) << x << "," << y;
    }
}

TEST_F(MetafileLoader, TheDrawingLandsInTheTopDownRedFirstBuffer) {
    const Bytes files[] = {enhancedBlock(), oldStyleBlock().placeable(0, 0, 200, 100, 192),
                           oldStyleBlock().bytes()};
    for (const Bytes& contents : files) {
        const TempFile file(contents);
        Loaded r;
        load(file.path(), r, RGB(0, 0, 255));
        ASSERT_NE(r.image, nullptr);
        const int w = r.width, h = r.height;
        EXPECT_EQ(r.at(w / 2, h / 2), kRed) << w << "x" << h;
        EXPECT_EQ(r.at(w / 4 + 1, h / 4 + 1), kRed);
        EXPECT_EQ(r.at(w / 4 - 2, h / 2), RGB(0, 0, 255));
        EXPECT_EQ(r.at(w / 2, h / 4 - 2), RGB(0, 0, 255)) << "the top stays clear";
        EXPECT_EQ(r.at(w / 2, h * 3 / 4 + 2), RGB(0, 0, 255)) << "the bottom stays clear";
        EXPECT_EQ(r.at(0, 0), RGB(0, 0, 255));
    }
}

// The public samples render without a crash, at the size each kind of file has by its rules,
// or fail cleanly when that size is more than a bitmap may have.
TEST_F(MetafileLoader, PublicSamplesRenderAtTheSizeTheirHeadersGive) {
    std::vector<std::string> files = suiteFiles("samples/wmf");
    for (const std::string& f : suiteFiles("samples/emf"))
        files.push_back(f);
    if (files.empty()) GTEST_SKIP() << "the public test suites are not here";
    int rendered = 0;
    for (const std::string& path : files) {
        const std::string ext = path.substr(path.size() - 4);
        if (ext != ".wmf" && ext != ".emf") continue;
        const Bytes bytes = readWholeFile(path);
        ASSERT_GE(bytes.size(), 4u) << path;
        std::uint32_t key = 0;
        std::memcpy(&key, bytes.data(), 4);
        int width = 37, height = 37; // plain old-style files
        if (key == img::kPlaceableKey) {
            std::int16_t box[4];
            std::uint16_t units = 0;
            std::memcpy(box, bytes.data() + 6, sizeof box);
            std::memcpy(&units, bytes.data() + 14, 2);
            width = placeablePixels(box[0], box[2], units);
            height = placeablePixels(box[1], box[3], units);
        } else if (key == 1 && bytes.size() >= 88) {
            ENHMETAHEADER h{};
            std::memcpy(&h, bytes.data(), 88);
            const SIZEL mm = h.szlMillimeters, px = h.szlDevice;
            width = framePixels(h.rclFrame.right, mm.cx, px.cx) -
                    framePixels(h.rclFrame.left, mm.cx, px.cx);
            height = framePixels(h.rclFrame.bottom, mm.cy, px.cy) -
                     framePixels(h.rclFrame.top, mm.cy, px.cy);
        }
        Loaded r;
        load(path, r);
        const bool bad = path.find("/bad/") != std::string::npos;
        if (r.image == nullptr) {
            // Too large for a bitmap, or a corrupted header that no opening accepts.
            const bool tooLarge = static_cast<double>(width) * height * 4 > 256.0 * 1024 * 1024;
            EXPECT_TRUE((r.error == 23 && tooLarge) || (bad && (r.error == 41 || r.error == 27)))
                << path << " code " << r.error;
            continue;
        }
        ++rendered;
        EXPECT_EQ(r.error, 0) << path;
        EXPECT_EQ(r.width, width) << path;
        EXPECT_EQ(r.height, height) << path;
    }
    EXPECT_GT(rendered, 40);
}

TEST_F(MetafileLoader, APaletteDeviceRendersThroughItsPalette) {
    winplatUsePaletteDevice(TRUE);
    const TempFile file(enhancedBlock());
    Loaded r;
    load(file.path(), r, RGB(0, 0, 255));
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.at(0, 0), RGB(0, 0, 255)) << "a static colour stays what it is";
    EXPECT_EQ(r.at(r.width / 2, r.height / 2), kRed);
}

// Pictures of some 20 million pixels in every shape, where a second copy of the device bitmap
// would pass the allowance: the device bitmap and the returned image are all that the call
// holds at once, and the picture lands where it should.
TEST_F(MetafileLoader, ALargePictureHoldsOnlyItsBitmapAndItsImage) {
    struct Case {
        const char* name;
        Bytes contents;
        int sizeX, sizeY;
        int width, height;
        bool drawn; // red over the middle half, else all background
    };
    const auto frame = [](LONG edge) { return framePixels(edge, 10, 1000); };
    const Case cases[] = {
        {"placeable", oldStyleBlock().placeable(0, 0, 5001, 4001, 96), 100, 100,
         placeablePixels(0, 5001, 96), placeablePixels(0, 4001, 96), true},
        {"plain old-style", oldStyleBlock().bytes(), 300000, 300000, 37, 37, true},
        {"enhanced, an odd size", enhancedBlockOf(4099, 5003), 0, 0, frame(4099), frame(5003),
         true},
        {"enhanced, one row", enhancedBlockOf(20000000, 1), 2000, 1000, frame(20000000), 1, true},
        {"enhanced, one column", enhancedBlockOf(1, 20000000), 0, 0, 1, frame(20000000), true},
    };
    for (const Case& c : cases) {
        const TempFile file(c.contents);
        Loaded r;
        const HeapFigures heap = watchHeap([&] {
            r.image = loadMetafile(file.path().c_str(), &r.width, &r.height, c.sizeX, c.sizeY,
                                   kBackground, 0);
            r.error = getLastError();
        });
        ASSERT_NE(r.image, nullptr) << c.name << ": code " << r.error;
        EXPECT_EQ(r.error, 0) << c.name;
        ASSERT_EQ(r.width, c.width) << c.name;
        ASSERT_EQ(r.height, c.height) << c.name;
        if (c.drawn) {
            expectMiddleHalfRed(r, c.name);
        } else {
            for (const auto& [x, y] : {std::pair{0, 0}, std::pair{r.width / 2, r.height / 2},
                                       std::pair{r.width - 1, r.height - 1}})
                EXPECT_EQ(r.at(x, y), kBackground) << c.name;
        }
        const std::uint64_t pixels = std::uint64_t(r.width) * std::uint64_t(r.height);
        if (heapWatchAvailable()) {
            EXPECT_LE(heap.peakLiveBytes, 4 * pixels + 3 * pixels + (std::uint64_t{48} << 20))
                << c.name;
        }
    }
}

TEST_F(MetafileLoader, PublicSamplesDoNotDependOnWhatTheHeapHeld) {
    std::vector<std::string> files;
    for (const char* folder : {"samples/wmf", "samples/emf"}) {
        int taken = 0;
        for (const std::string& f : suiteFiles(folder)) {
            const std::string ext = f.substr(f.size() - 4);
            if ((ext == ".wmf" || ext == ".emf") && taken++ % 5 == 0) files.push_back(f);
        }
    }
    if (files.empty()) GTEST_SKIP() << "the public test suites are not here";
    for (const std::string& path : files) {
        const auto [first, second] = underTwoFills([&] {
            Loaded r;
            load(path, r);
            const std::size_t bytes = r.image != nullptr ? std::size_t(r.width) * r.height * 3 : 0;
            return std::make_tuple(r.error, r.width, r.height, Bytes(r.image, r.image + bytes));
        });
        EXPECT_TRUE(first == second) << path;
    }
}
