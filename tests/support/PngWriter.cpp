#include "PngWriter.h"

#include <algorithm>
#include <png.h>
#include <stdexcept>

namespace testing_support {
namespace {

[[noreturn]] void raise(png_structp, png_const_charp message) {
    throw std::runtime_error(message);
}
void quiet(png_structp, png_const_charp) {}

void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void noFlush(png_structp) {}

struct MemoryInput {
    const Bytes* file;
    std::size_t at;
};

void take(png_structp png, png_bytep data, png_size_t length) {
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (in->file->size() - in->at < length) png_error(png, "short");
    std::copy_n(in->file->data() + in->at, length, data);
    in->at += length;
}

int channelsOf(int colourType) {
    switch (colourType) {
    case 0:
    case 3:
        return 1;
    case 4:
        return 2;
    case 2:
        return 3;
    default:
        return 4;
    }
}

} // namespace

std::size_t pngRowBytes(const PngSpec& layout) {
    return (std::size_t(layout.width) * channelsOf(layout.colourType) * layout.bitDepth + 7) / 8;
}

Bytes encodePng(const PngSpec& layout) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, raise, quiet);
    png_infop info = png_create_info_struct(png);
    try {
        png_set_write_fn(png, &out, append, noFlush);
        png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
                     layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        std::vector<png_color> colours;
        for (const auto& c : layout.palette)
            colours.push_back({c[0], c[1], c[2]});
        if (!colours.empty())
            png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
        if (!layout.paletteAlphas.empty()) {
            png_set_tRNS(png, info, layout.paletteAlphas.data(),
                         static_cast<int>(layout.paletteAlphas.size()), nullptr);
        } else if (layout.transparent) {
            const auto& t = *layout.transparent;
            png_color_16 colour{0, t[0], t[1], t[2], t[0]};
            png_set_tRNS(png, info, nullptr, 1, &colour);
        }
        if (layout.background) {
            const auto& b = *layout.background;
            png_color_16 colour{static_cast<png_byte>(b[0]), b[1], b[2], b[3], b[0]};
            png_set_bKGD(png, info, &colour);
        }
        if (layout.gamma != 0) png_set_gAMA(png, info, layout.gamma);
        if (layout.srgbIntent >= 0) png_set_sRGB(png, info, layout.srgbIntent);
        if (layout.physical) {
            const auto& p = *layout.physical;
            png_set_pHYs(png, info, p[0], p[1], static_cast<int>(p[2]));
        }
        png_write_info(png, info);
        const std::size_t rowBytes = pngRowBytes(layout);
        Bytes rows = layout.rows;
        rows.resize(rowBytes * layout.height);
        std::vector<png_bytep> pointers;
        for (int y = 0; y < layout.height; ++y)
            pointers.push_back(rows.data() + y * rowBytes);
        png_write_image(png, pointers.data());
        png_write_end(png, nullptr);
    } catch (...) {
        png_destroy_write_struct(&png, &info);
        throw;
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes decodePngRgba(const Bytes& file, bool wide, int* width, int* height) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, raise, quiet);
    png_infop info = png_create_info_struct(png);
    MemoryInput in{&file, 0};
    Bytes out;
    try {
        png_set_read_fn(png, &in, take);
        int transforms = PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_GRAY_TO_RGB;
        transforms |= wide ? PNG_TRANSFORM_SWAP_ENDIAN : PNG_TRANSFORM_STRIP_16;
        png_read_png(png, info, transforms, nullptr);
        *width = static_cast<int>(png_get_image_width(png, info));
        *height = static_cast<int>(png_get_image_height(png, info));
        const int channels = png_get_channels(png, info);
        const std::size_t sample = wide ? 2 : 1;
        png_bytepp rows = png_get_rows(png, info);
        for (int y = 0; y < *height; ++y) {
            for (int x = 0; x < *width; ++x) {
                const png_bytep pixel = rows[y] + std::size_t(x) * channels * sample;
                out.insert(out.end(), pixel, pixel + channels * sample);
                if (channels == 3) out.insert(out.end(), sample, 0xFF);
            }
        }
    } catch (const std::exception&) {
        out.clear();
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}

} // namespace testing_support
