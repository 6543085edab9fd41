#include "ImgException.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <string>

using ImgCore::ImgException;

namespace {

TEST(ImgExceptionTest, NullTextGivesAnEmptyMessage) {
    ImgException e(nullptr);
    EXPECT_EQ(e.code, 0);
    ASSERT_NE(e.what(), nullptr);
    EXPECT_STREQ(e.what(), "");
}

TEST(ImgExceptionTest, CopyKeepsCodeAndMessage) {
    const ImgException original("Invalid JPG colorspace", 9);
    const ImgException copy(original);
    EXPECT_EQ(copy.code, 9);
    EXPECT_STREQ(copy.what(), "Invalid JPG colorspace");
}

// The readers rely on a throw from a callback unwinding through libpng's and libjpeg's own
// frames, as those libraries are built on this machine.
void throwingRead(png_structp, png_bytep, png_size_t) {
    throw ImgException("from the callback");
}

TEST(ImgExceptionTest, CrossesLibpngFrames) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, nullptr, throwingRead);
    std::string caught;
    try {
        png_read_info(png, info);
    } catch (const ImgException& e) {
        caught = e.what();
    }
    png_destroy_read_struct(&png, &info, nullptr);
    EXPECT_EQ(caught, "from the callback");
}

boolean throwingFill(j_decompress_ptr) {
    throw ImgException("from the source", 3);
}
void skipNothing(j_decompress_ptr, long) {}
void nothing(j_decompress_ptr) {}

TEST(ImgExceptionTest, CrossesLibjpegFrames) {
    jpeg_decompress_struct c{};
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&c);
    jpeg_source_mgr source{};
    source.init_source = nothing;
    source.fill_input_buffer = throwingFill;
    source.skip_input_data = skipNothing;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = nothing;
    c.src = &source;
    int code = 0;
    try {
        jpeg_read_header(&c, TRUE);
    } catch (const ImgException& e) {
        code = e.code;
    }
    jpeg_destroy_decompress(&c);
    EXPECT_EQ(code, 3);
}

} // namespace
