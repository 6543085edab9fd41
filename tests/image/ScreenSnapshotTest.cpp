#include "GdiCheck.h"
#include "GdiScene.h"
#include "imgcore.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <png.h>
#include <string>

using gdi_scene::Bytes;
using testing_support::GdiLeakCheckedTest;

namespace {

// The pixels of an 8-bit RGB PNG, read back with libpng.
Bytes readPng(const std::string& path, png_uint_32& width, png_uint_32& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return {};
    image.format = PNG_FORMAT_RGB;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) pixels.clear();
    width = image.width;
    height = image.height;
    png_image_free(&image);
    return pixels;
}

class ScreenSnapshot : public GdiLeakCheckedTest {};

} // namespace

TEST_F(ScreenSnapshot, SnapshotsHoldWhatWasDrawn) {
    const Bytes rgb = gdi_scene::patternRGB(7, 3);
    const std::string path = ::testing::TempDir() + "screen_snapshot.png";
    gdi_scene::MemoryCanvas canvas(7, 3, true);
    ASSERT_EQ(drawRGB(canvas.dc(), rgb.data(), 7, 3, 0, 0, 7, 3, nullptr), 1);
    ASSERT_TRUE(winplatSaveDCPng(canvas.dc(), path.c_str()));
    png_uint_32 width = 0, height = 0;
    EXPECT_EQ(readPng(path, width, height), rgb);
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(height, 3u);

    ASSERT_EQ(drawRGB(canvas.screen(), rgb.data(), 7, 3, 1017, 765, 7, 3, nullptr), 1);
    ASSERT_TRUE(winplatSaveScreenPng(path.c_str()));
    const Bytes screen = readPng(path, width, height);
    ASSERT_EQ(width, 1024u);
    ASSERT_EQ(height, 768u);
    const std::size_t last = screen.size() - 3;
    EXPECT_EQ(Bytes(screen.begin() + last, screen.end()), Bytes(rgb.end() - 3, rgb.end()));
    std::remove(path.c_str());
}
