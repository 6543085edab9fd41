#include "GallimoFixture.h"

using testing_support::GallimoFixture;

class ThumbnailTest : public GallimoFixture {
protected:
    // The cell of image-list entry `index` drawn on white, as 0xRRGGBB per pixel.
    std::vector<COLORREF> cell(int index) {
        const int w = object->m_properties.thumbWidth, h = object->m_properties.thumbHeight;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, w, h};
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(dc, &all, white);
        DeleteObject(white);
        ImageList_Draw(object->m_imageList.GetSafeHandle(), index, dc, 0, 0, ILD_NORMAL);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels.push_back(GetPixel(dc, x, y));
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return pixels;
    }
    // The bounding box of the pixels of one colour in a cell.
    RECT boxOf(const std::vector<COLORREF>& pixels, COLORREF colour) {
        const int w = object->m_properties.thumbWidth;
        RECT box{10000, 10000, -1, -1};
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] != colour) continue;
            const LONG x = static_cast<LONG>(i % w), y = static_cast<LONG>(i / w);
            box = RECT{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                       std::max(box.bottom, y + 1)};
        }
        return box;
    }
    void expectBox(const RECT& box, const RECT& expected, const std::string& what) {
        EXPECT_EQ(box.left, expected.left) << what;
        EXPECT_EQ(box.top, expected.top) << what;
        EXPECT_EQ(box.right, expected.right) << what;
        EXPECT_EQ(box.bottom, expected.bottom) << what;
    }
    void set(const char* properties) {
        std::string writable = properties;
        object->SetProperties(writable.data());
    }
};

TEST_F(ThumbnailTest, ScalePercentIsTheSmallerFactorTruncated) {
    struct Case {
        RECT source, target;
        int percent;
    };
    const Case cases[] = {
        {{0, 0, 300, 200}, {4, 4, 96, 96}, 30}, {{0, 0, 300, 200}, {0, 0, 100, 100}, 33},
        {{0, 0, 50, 40}, {4, 4, 96, 96}, 0},    {{0, 0, 92, 92}, {4, 4, 96, 96}, 0},
        {{0, 0, 93, 10}, {4, 4, 96, 96}, 98},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CGallimoObject::ComputeScalePercent(c.source, c.target), c.percent)
            << c.source.right << "x" << c.source.bottom;
}

TEST_F(ThumbnailTest, ImagesAreFittedAndCentredInTheirCells) {
    const COLORREF blue = RGB(0x33, 0x66, 0x99);
    placeAtRunTime(); // the image list comes with the first window
    struct Case {
        const char* properties;
        int width, height;
        RECT expected; // where the image lands in the cell
    };
    const Case cases[] = {
        // Default cell: frame, padding 3, a 92 x 92 target; maintain aspect.
        {"100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1", 300, 200, {5, 20, 95, 80}},
        // Stretch.
        {"100,100,40,20,1,1,3,16777215,16777215,2,1,0,0,1,0,1,1,1", 300, 200, {4, 4, 96, 96}},
        // Small image, never enlarged.
        {"100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1", 50, 40, {25, 30, 75, 70}},
        // Small image, enlarged by the width's factor 184.
        {"100,100,40,20,1,1,3,16777215,16777215,2,1,0,1,0,0,1,1,1", 50, 40, {3, 12, 96, 87}},
        // No frame: the whole cell is the target.
        {"100,100,40,20,1,1,3,16777215,16777215,2,0,0,1,1,0,1,1,1", 300, 200, {0, 17, 99, 83}},
    };
    int index = 0;
    for (const Case& c : cases) {
        set(c.properties);
        const std::string name = image("img" + std::to_string(index) + ".bmp", c.width, c.height);
        ASSERT_EQ(object->AddFile((folder / name).string().c_str()), 0) << c.properties;
        const RECT box = boxOf(cell(index), blue);
        EXPECT_EQ(box.left, c.expected.left) << c.properties << " " << c.width;
        EXPECT_EQ(box.top, c.expected.top) << c.properties << " " << c.width;
        EXPECT_EQ(box.right, c.expected.right) << c.properties << " " << c.width;
        EXPECT_EQ(box.bottom, c.expected.bottom) << c.properties << " " << c.width;
        ++index;
    }
    // The frame is drawn in the frame colour around the fill colour.
    const std::vector<COLORREF> framed = cell(0);
    EXPECT_EQ(framed[0], RGB(0, 0, 0));
    EXPECT_EQ(framed[1 * 100 + 1], RGB(255, 255, 255));
}

TEST_F(ThumbnailTest, FailuresAddNothingAndLabelsFollowTheMode) {
    EXPECT_EQ(object->AddFile((folder / "missing.bmp").string().c_str()), 1);
    std::ofstream(folder / "junk.bmp") << "not an image at all";
    EXPECT_EQ(object->AddFile((folder / "junk.bmp").string().c_str()), 2);
    EXPECT_TRUE(object->m_items.IsEmpty());

    struct Case {
        int mode;
        std::string expected;
    };
    const std::string path = (folder / image("Beach.Day.bmp", 8, 8)).string();
    const Case cases[] = {{0, ""}, {1, "Beach.Day.bmp"}, {2, path}, {3, "Beach.Day"}, {4, ""}};
    for (const Case& c : cases) {
        object->m_properties.labelMode = c.mode;
        ASSERT_EQ(object->AddFile(path.c_str()), 0);
        auto* item = static_cast<CThumbItem*>(object->m_items.GetTail());
        EXPECT_EQ(std::string(item->label), c.expected) << c.mode;
        EXPECT_EQ(std::string(item->fileName), "Beach.Day.bmp");
        EXPECT_EQ(item->imageWidth, 8u);
        EXPECT_EQ(item->imageBitsPerPixel, 24);
    }
}

TEST_F(ThumbnailTest, ResetKeepsAnImageListOfTheCellSizeAndRemakesAnother) {
    placeAtRunTime();
    ASSERT_EQ(object->AddFile((folder / image("a.bmp", 30, 30)).string().c_str()), 0);
    HIMAGELIST before = object->m_imageList.GetSafeHandle();
    object->ResetImageList();
    EXPECT_EQ(object->m_imageList.GetSafeHandle(), before);
    EXPECT_EQ(ImageList_GetImageCount(before), 0);
    ASSERT_EQ(object->AddFile((folder / "a.bmp").string().c_str()), 0);
    object->m_properties.thumbWidth = 60;
    object->ResetImageList();
    IMAGEINFO info{};
    ASSERT_TRUE(ImageList_GetImageInfo(object->m_imageList.GetSafeHandle(), 0, &info) ||
                ImageList_GetImageCount(object->m_imageList.GetSafeHandle()) == 0);
    ASSERT_EQ(object->AddFile((folder / "a.bmp").string().c_str()), 0);
    ASSERT_TRUE(ImageList_GetImageInfo(object->m_imageList.GetSafeHandle(), 0, &info));
    EXPECT_EQ(info.rcImage.right - info.rcImage.left, 60) << "remade at the new cell size";
}

TEST_F(ThumbnailTest, SizesSetBeforeAnyFileShapeTheCells) {
    const COLORREF blue = RGB(0x33, 0x66, 0x99);
    placeAtRunTime();
    image("wide.bmp", 300, 200);
    struct Case {
        const char* script;
        int width, height;
        RECT expected;
    };
    const Case cases[] = {
        // 152 x 112 inside the frame: p = 50.
        {"Gallimo.SetThumbWidth('Thumbs', 160); Gallimo.SetThumbHeight('Thumbs', 120)",
         160,
         120,
         {5, 10, 155, 110}},
        // A size the image list refuses, then a good one: the image list comes back.
        {"Gallimo.SetThumbWidth('Thumbs', 2147483647); Gallimo.SetThumbWidth('Thumbs', 100)",
         100,
         120,
         {5, 30, 95, 90}},
        {"Gallimo.SetThumbHeight('Thumbs', -2^31-1); Gallimo.SetThumbHeight('Thumbs', 100)",
         100,
         100,
         {5, 20, 95, 80}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(run("Gallimo.Clear('Thumbs')"), "");
        ASSERT_EQ(run(c.script), "") << c.script;
        ASSERT_EQ(number("Gallimo.AddFiles('Thumbs', {'wide.bmp'})"), 1) << c.script;
        int cx = 0, cy = 0;
        ASSERT_TRUE(ImageList_GetIconSize(object->m_imageList.GetSafeHandle(), &cx, &cy))
            << c.script;
        EXPECT_EQ(cx, c.width) << c.script;
        EXPECT_EQ(cy, c.height) << c.script;
        expectBox(boxOf(cell(0), blue), c.expected, c.script);
    }
}

TEST_F(ThumbnailTest, ImagesFarLargerThanTheirCellAreFittedByTheExactRatio) {
    const COLORREF blue = RGB(0x33, 0x66, 0x99);
    placeAtRunTime();
    struct Case {
        int cell, width, height;
        RECT expected;
    };
    const Case cases[] = {
        {100, 10000, 60, {4, 49, 96, 50}}, // 92 wide, and at least one row
        {100, 60, 10000, {49, 4, 50, 96}},
        {100, 9300, 200, {4, 49, 96, 50}}, // 92 / 9300 is under one percent
        {10, 300, 200, {4, 4, 6, 5}},      // a 2 x 2 target
        {100, 300, 200, {5, 20, 95, 80}},  // whole percentages stay where they are not 0
        {100, 60, 5000, {49, 25, 50, 75}}, // 1 % of 61 columns is still one column
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.cell);
        ASSERT_EQ(run(("Gallimo.Clear('Thumbs'); Gallimo.SetThumbWidth('Thumbs', " + size +
                       "); Gallimo.SetThumbHeight('Thumbs', " + size + ")")
                          .c_str()),
                  "");
        const std::string name = image("big" + std::to_string(index++) + ".bmp", c.width, c.height);
        ASSERT_EQ(object->AddFile((folder / name).string().c_str()), 0);
        expectBox(boxOf(cell(0), blue), c.expected,
                  std::to_string(c.width) + "x" + std::to_string(c.height));
    }
}

TEST_F(ThumbnailTest, AutomaticColoursAreDrawnAsTheDefaults) {
    placeAtRunTime();
    const std::string path = (folder / image("small.bmp", 20, 20)).string();
    struct Case {
        const char* properties;
        COLORREF corner, inside;
    };
    const Case cases[] = {
        // Frame and fill "Automatic": a black frame around white.
        {"100,100,40,20,1,1,3,4278190080,4278190080,2,1,4278190080,1,1,0,1,1,1", RGB(0, 0, 0),
         RGB(255, 255, 255)},
        // No frame, background "Automatic": white.
        {"100,100,40,20,1,1,3,4278190080,255,2,0,65280,1,1,0,1,1,1", RGB(255, 255, 255),
         RGB(255, 255, 255)},
        // Stored colours are drawn as they are.
        {"100,100,40,20,1,1,3,16711680,255,2,1,65280,1,1,0,1,1,1", RGB(0, 255, 0), RGB(255, 0, 0)},
    };
    int index = 0;
    for (const Case& c : cases) {
        set(c.properties);
        ASSERT_EQ(object->AddFile(path.c_str()), 0) << c.properties;
        const std::vector<COLORREF> pixels = cell(index++);
        EXPECT_EQ(pixels[0], c.corner) << c.properties;
        EXPECT_EQ(pixels[1 * 100 + 1], c.inside) << c.properties;
        char stored[1000];
        int length = sizeof stored;
        object->GetProperties(stored, &length);
        EXPECT_STREQ(stored, c.properties) << "kept as stored";
    }
    // The list's own background.
    set("100,100,40,20,1,1,3,4278190080,4278190080,2,1,4278190080,1,1,0,1,1,1");
    HWND list = object->m_listCtrl->GetSafeHwnd();
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(list, &client);
    POINT corner{client.right - 2, client.bottom - 2};
    ClientToScreen(list, &corner);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, corner.x, corner.y), RGB(255, 255, 255));
    ReleaseDC(nullptr, screen);
}

TEST_F(ThumbnailTest, ExtremePropertiesDrawWithoutOverflow) {
    const std::string path = (folder / image("any.bmp", 30, 20)).string();
    struct Case {
        const char* properties;
        int code;
    };
    const Case cases[] = {
        {"100,100,2147483647,2147483647,1,1,2147483647,16777215,16777215,2,1,0,1,1,0,1,1,1", 0},
        {"100,100,-2147483648,-2147483648,1,1,-2147483648,16777215,16777215,2,1,0,1,0,0,1,1,1", 0},
        {"100,100,40,20,1,1,-2147483648,16777215,16777215,2,1,0,1,1,0,1,1,1", 0},
        {"100,100,40,20,1,1,2147483647,16777215,16777215,2,1,0,0,1,0,1,1,1", 0},
        {"2147483647,2147483647,40,20,1,1,3,16777215,16777215,2,1,0,1,1,0,1,1,1", 8},
        {"-2147483648,100,40,20,1,1,3,16777215,16777215,2,0,0,1,0,0,1,1,1", 8},
    };
    for (const Case& c : cases) {
        object->DestroyObjectWindow();
        set(c.properties);
        placeAtRunTime(); // lays the list out with the spacings
        EXPECT_EQ(object->AddFile(path.c_str()), c.code) << c.properties;
        winplatPumpMessages();
    }
}
