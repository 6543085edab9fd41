#include "PngReader.h"

#include "BlockBudget.h"
#include "CDibConverter.h"
#include "ImgException.h"
#include "ThreadState.h"
#include "Trace.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace img {
namespace {

constexpr unsigned kDibHeaderBytes = 40;
constexpr int kPaletteEntries = 256;

void onRead(png_structp png, png_bytep data, png_size_t length) {
    auto* io = static_cast<CImgIO*>(png_get_io_ptr(png));
    if (length > UINT_MAX || !io->readExact(data, static_cast<unsigned>(length)))
        png_error(png, "read Error");
}

[[noreturn]] void onError(png_structp, png_const_charp message) {
    trace(kTraceError, "%s\n", message);
    ImgCore::ImgException failure(message);
    throw failure;
}

void onWarning(png_structp, png_const_charp message) {
    trace(kTraceWarning, "%s\n", message);
}

void traceFailure(const ImgCore::ImgException& e) {
    trace(kTraceError, "ZORed PNG Error : %s\n", e.what());
}

// Entries as (blue, green, red, 255); the rest of the 256 repeat entry 0.
void fillPalette(RGBQUAD* palette, const png_color* colours, int count) {
    count = std::clamp(count, 0, kPaletteEntries);
    for (int i = 0; i < count; ++i)
        palette[i] = {colours[i].blue, colours[i].green, colours[i].red, 255};
    for (int i = count; i < kPaletteEntries; ++i)
        palette[i] = {palette[0].rgbBlue, palette[0].rgbGreen, palette[0].rgbRed, 255};
}

// The grey steps of a grey file of `bits` bits; more than 256 steps leave the palette alone.
void fillGreyPalette(RGBQUAD* palette, int bits) {
    if (bits > 8) return;
    png_color grey[kPaletteEntries];
    png_build_grayscale_palette(bits, grey);
    fillPalette(palette, grey, 1 << bits);
}

void applyTransparency(const PngSession& s, RGBQUAD* palette) {
    png_bytep alphas = nullptr;
    int count = 0;
    if (!png_get_tRNS(s.png, s.info, &alphas, &count, nullptr) || alphas == nullptr) return;
    for (int i = 0; i < std::min(count, kPaletteEntries); ++i)
        palette[i].rgbReserved = alphas[i];
}

ImgResolution physicalResolution(const PngSession& s) {
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (!png_get_pHYs(s.png, s.info, &x, &y, &unit)) return {};
    return {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), unit};
}

bool hasTransparency(const PngSession& s) {
    return png_get_valid(s.png, s.info, PNG_INFO_tRNS);
}

// The DIB depth a file reads at, 0 for a combination no valid file has.
int dibDepthOf(const PngSession& s) {
    const int bits = s.bitDepth, type = s.colourType;
    if (bits == 1 && (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_PALETTE)) return 1;
    if (type == PNG_COLOR_TYPE_PALETTE && (bits == 2 || bits == 4)) return 4;
    if (type == PNG_COLOR_TYPE_PALETTE && bits == 8) return 8;
    if (type == PNG_COLOR_TYPE_GRAY) return 8;
    if (type == PNG_COLOR_TYPE_RGB && (bits == 8 || bits == 16)) return 24;
    if (type == PNG_COLOR_TYPE_GRAY_ALPHA || type == PNG_COLOR_TYPE_RGB_ALPHA) return 32;
    return 0;
}

unsigned dibPaletteBytes(int depth) {
    return depth <= 8 ? (4u << depth) : 0;
}

} // namespace

PngSession::~PngSession() {
    if (png != nullptr) png_destroy_read_struct(&png, &info, nullptr);
}

bool PngReader::open(PngSession& s) {
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (s.png == nullptr) return fail(kPngStructures);
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) {
        png_destroy_read_struct(&s.png, nullptr, nullptr);
        return fail(kPngStructures);
    }
    // libpng would hold a text or metadata chunk whole, at whatever length the file claims;
    // only the chunks the reader uses are read, the rest are skipped in small pieces.
    static const png_byte kUsedChunks[] = "bKGD\0gAMA\0sRGB\0pHYs";
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_AS_DEFAULT, kUsedChunks, 4);
    png_set_read_fn(s.png, &m_io, onRead);
    // Sizes are bounded by what the file can hold: every row takes a filter byte and every
    // pixel a bit before deflate's greatest ratio (limits below the free block size never bite),
    // and no metadata chunk, compressed or not, inflates past that or past the free block size.
    const std::uint64_t inflated =
        std::max(greatestUnits(Encoding::Deflate, bytesLeft(m_io)), kFreeBlockBytes);
    const auto limit = [](std::uint64_t v) {
        return static_cast<png_uint_32>(std::min<std::uint64_t>(v, PNG_UINT_31_MAX));
    };
    png_set_user_limits(s.png, limit(inflated * 8), limit(inflated));
    png_set_chunk_malloc_max(
        s.png, static_cast<png_alloc_size_t>(std::min(
                   greatestUnits(Encoding::Deflate, bytesLeft(m_io)) + 4096, kFreeBlockBytes)));
    png_read_info(s.png, s.info);
    png_get_IHDR(s.png, s.info, &s.width, &s.height, &s.bitDepth, &s.colourType, &s.interlace,
                 nullptr, nullptr);
    return true;
}

template <class Body> BYTE* PngReader::guarded(int* width, int* height, Body&& body) {
    m_image.reset();
    m_width = width;
    m_height = height;
    PngSession s;
    try {
        if (open(s)) body(s);
    } catch (const ImgCore::ImgException& e) {
        traceFailure(e);
        status = kPngFailed;
    }
    return m_image.data();
}

bool PngReader::setUpPalette(PngSession& s, int depth, RGBQUAD* palette) {
    const int bits = s.bitDepth, type = s.colourType;
    if (depth < 24 && bits < depth / 8) return fail(kUnsupportedDepth);
    if (depth == 24) {
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_expand(s.png);
        if (type == PNG_COLOR_TYPE_GRAY && bits < 8) png_set_expand(s.png);
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(s.png);
        return true;
    }
    if (depth != 1 && depth != 4 && depth != 8) return true;
    if (palette == nullptr) return fail(kUnsupportedDepth);
    std::memset(palette, 0, kPaletteEntries * sizeof(RGBQUAD));
    if (depth == 8) png_set_packing(s.png);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colours = nullptr;
        int count = 0;
        if (png_get_PLTE(s.png, s.info, &colours, &count)) {
            fillPalette(palette, colours, count);
        } else {
            for (int i = 0; i < kPaletteEntries; ++i) {
                const auto v = static_cast<BYTE>(i);
                palette[i] = {v, v, v, 255};
            }
        }
    } else if (type == PNG_COLOR_TYPE_GRAY) {
        fillGreyPalette(palette, depth == 1 ? bits : std::min(bits, 8));
    } else {
        return fail(kUnsupportedDepth);
    }
    if (depth != 1) applyTransparency(s, palette);
    return true;
}

void PngReader::setUpBackground(PngSession& s) {
    png_color_16p fileColour = nullptr;
    if (png_get_bKGD(s.png, s.info, &fileColour)) {
        png_set_background(s.png, fileColour, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        return;
    }
    const PngColour16& c = getThreadState()->pngBackground;
    png_color_16 colour{c.index, c.red, c.green, c.blue, c.grey};
    png_set_background(s.png, &colour, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
}

void PngReader::setUpGamma(PngSession& s, int flags) {
    const double screen = getThreadState()->pngScreenGamma;
    double fileGamma = screen != 0 ? 1.0 / screen : 0.45455;
    int intent = 0;
    if (png_get_sRGB(s.png, s.info, &intent)) {
        png_set_sRGB(s.png, s.info, intent);
        return;
    }
    if (!(flags & kPngGamma)) return;
    png_get_gAMA(s.png, s.info, &fileGamma);
    png_set_gamma(s.png, screen, fileGamma);
}

template <class Header>
bool PngReader::readRows(PngSession& s, std::uint32_t rowBytes, unsigned headerBytes, bool dib,
                         Header&& writeHeader) {
    const int passes = png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    // A DIB row is padded, so libpng's row only has to fit; a pixel-buffer row must be exact.
    const png_size_t libpngRowBytes = png_get_rowbytes(s.png, s.info);
    if (rowBytes == 0 || (dib ? libpngRowBytes > rowBytes : libpngRowBytes != rowBytes))
        return fail(kUnsupportedOptions);
    const Size imageBytes = imageBlockSize(headerBytes, rowBytes, s.height);
    // Every stored pixel's bits pass through the compressed stream, interlaced or not.
    const int channels =
        ((s.colourType & PNG_COLOR_MASK_COLOR) != 0 && s.colourType != PNG_COLOR_TYPE_PALETTE ? 3
                                                                                              : 1) +
        ((s.colourType & PNG_COLOR_MASK_ALPHA) != 0 ? 1 : 0);
    const std::uint64_t stored =
        (std::uint64_t{s.width} * channels * s.bitDepth + 7) / 8 * s.height;
    if (!blockJustified(Encoding::Deflate, imageBytes, std::uint64_t{s.width} * s.height, stored,
                        bytesLeft(m_io)))
        return fail(kPngFailed);
    if (!m_image.allocate(imageBytes)) return fail(kNoMemory);
    ScratchBuffer<png_bytep> rows(static_cast<int>(s.height));
    if (rows.data() == nullptr) return fail(kNoMemory);
    *m_width = static_cast<int>(png_get_image_width(s.png, s.info));
    *m_height = static_cast<int>(png_get_image_height(s.png, s.info));
    writeHeader(m_image.data());

    BYTE* pixels = m_image.data() + headerBytes;
    for (png_uint_32 y = 0; y < s.height; ++y)
        rows[y] = pixels + std::size_t(dib ? s.height - 1 - y : y) * rowBytes;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < s.height; ++y)
            png_read_row(s.png, rows[y], nullptr);
    png_read_end(s.png, nullptr);
    return true;
}

BYTE* PngReader::readIndexedOrRgb(int* width, int* height, int depth, bool wideSamples,
                                  RGBQUAD* palette, int flags) {
    return guarded(width, height, [&](PngSession& s) {
        if (!setUpPalette(s, depth, palette)) return;
        if (s.bitDepth == 16) {
            if (!wideSamples) {
                png_set_strip_16(s.png);
            } else {
                png_set_swap(s.png);
                if (s.colourType != PNG_COLOR_TYPE_GRAY && s.colourType != PNG_COLOR_TYPE_RGB &&
                    s.colourType != PNG_COLOR_TYPE_RGB_ALPHA) {
                    fail(kUnsupportedDepth);
                    return;
                }
            }
        }
        setUpBackground(s);
        setUpGamma(s, flags);
        const std::uint32_t rowBytes =
            depth == 1 ? (s.width + 7) / 8 : checkedProduct({s.width, depth}).bytes() / 8;
        readRows(s, rowBytes, 0, false, [](BYTE*) {});
    });
}

BYTE* PngReader::readRgba(int* width, int* height, bool wideSamples, int flags) {
    return guarded(width, height, [&](PngSession& s) {
        const int type = s.colourType;
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_expand(s.png);
        if (type == PNG_COLOR_TYPE_GRAY && s.bitDepth < 8) png_set_expand(s.png);
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(s.png);
        if (s.bitDepth == 16) {
            if (wideSamples)
                png_set_swap(s.png);
            else
                png_set_strip_16(s.png);
        }
        if (!(type & PNG_COLOR_MASK_ALPHA)) {
            if (hasTransparency(s))
                png_set_expand(s.png);
            else
                png_set_filler(s.png, wideSamples ? 65535 : 255, PNG_FILLER_AFTER);
        }
        setUpGamma(s, flags);
        readRows(s, checkedProduct({s.width, wideSamples ? 8 : 4}).bytes(), 0, false, [](BYTE*) {});
    });
}

BYTE* PngReader::readGreyAlpha(int* width, int* height, int flags) {
    return guarded(width, height, [&](PngSession& s) {
        const int type = s.colourType;
        if (type == PNG_COLOR_TYPE_GRAY && s.bitDepth < 8) png_set_expand(s.png);
        if (type != PNG_COLOR_TYPE_GRAY && type != PNG_COLOR_TYPE_GRAY_ALPHA) {
            fail(kUnsupportedDepth);
            return;
        }
        if (s.bitDepth == 16) png_set_strip_16(s.png);
        if (type == PNG_COLOR_TYPE_GRAY) {
            if (hasTransparency(s))
                png_set_expand(s.png);
            else
                png_set_filler(s.png, 255, PNG_FILLER_AFTER);
        }
        setUpGamma(s, flags);
        readRows(s, checkedProduct({s.width, 2}).bytes(), 0, false, [](BYTE*) {});
    });
}

BYTE* PngReader::readDib(int* width, int* height, int flags) {
    return guarded(width, height, [&](PngSession& s) {
        const int depth = dibDepthOf(s);
        if (depth == 0) {
            fail(kUnsupportedDepth);
            return;
        }
        if (depth == 32) {
            if (s.colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(s.png);
            if (hasTransparency(s))
                png_set_expand(s.png);
            else
                png_set_filler(s.png, 255, PNG_FILLER_AFTER);
        }
        RGBQUAD palette[kPaletteEntries];
        if (!setUpPalette(s, depth, palette)) return;
        if (s.bitDepth == 16) png_set_strip_16(s.png);
        if (!(s.colourType & PNG_COLOR_MASK_ALPHA)) setUpBackground(s);
        setUpGamma(s, flags);
        png_set_bgr(s.png);

        const std::uint32_t rowBytes = dibRowBytes(static_cast<int>(s.width), depth);
        const unsigned headerBytes = kDibHeaderBytes + dibPaletteBytes(depth);
        const bool read = readRows(s, rowBytes, headerBytes, true, [&](BYTE* dib) {
            ImgResolution r = physicalResolution(s);
            CDibConverter().convertResolution(&r, 2, 4);
            writeDIBHeader(dib, static_cast<int>(s.width), static_cast<int>(s.height), depth,
                           rowBytes * s.height, depth <= 8 ? 1u << depth : 0, 0);
            auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib);
            header->biXPelsPerMeter = r.x;
            header->biYPelsPerMeter = r.y;
            std::memcpy(dib + kDibHeaderBytes, palette, dibPaletteBytes(depth));
        });
        if (read) finishDib(s, depth, rowBytes, headerBytes);
    });
}

// 2-bit palette rows come out of libpng as they are stored; a DIB has no 2-bit form, so each
// row is widened in place to 4 bits, the index becoming the nibble.
void PngReader::finishDib(PngSession& s, int depth, std::uint32_t rowBytes, unsigned headerBytes) {
    if (depth != 4 || png_get_bit_depth(s.png, s.info) != 2) return;
    ScratchBuffer<BYTE> scratch(static_cast<int>(rowBytes));
    if (scratch.data() == nullptr) {
        fail(kNoMemory);
        return;
    }
    CDibConverter widener;
    BYTE* row = m_image.data() + headerBytes;
    for (png_uint_32 y = 0; y < s.height; ++y, row += rowBytes) {
        std::memcpy(scratch.data(), row, rowBytes);
        widener.twoBitToFourBit(scratch.data(), row, 2, static_cast<int>(s.width));
    }
}

int PngReader::info(int* width, int* height, int* bitDepth, int* colourType, int* interlace,
                    ImgResolution* resolution, int* count, RGBQUAD* palette) {
    *width = *height = 0;
    if (resolution != nullptr) *resolution = {};
    PngSession s;
    try {
        if (!open(s)) return 0;
        *width = static_cast<int>(s.width);
        *height = static_cast<int>(s.height);
        *bitDepth = s.bitDepth;
        *colourType = s.colourType;
        *interlace = s.interlace;
        if (palette != nullptr) {
            std::memset(palette, 0, kPaletteEntries * sizeof(RGBQUAD));
            png_colorp colours = nullptr;
            int entries = 0;
            if (png_get_PLTE(s.png, s.info, &colours, &entries)) {
                *count = entries;
                if (entries <= kPaletteEntries && s.colourType == PNG_COLOR_TYPE_PALETTE)
                    fillPalette(palette, colours, entries);
            } else if (s.colourType == PNG_COLOR_TYPE_GRAY) {
                *count = 1 << s.bitDepth;
                fillGreyPalette(palette, s.bitDepth);
            }
            applyTransparency(s, palette);
        }
        if (resolution != nullptr) *resolution = physicalResolution(s);
    } catch (const ImgCore::ImgException& e) {
        traceFailure(e);
        return fail(kPngFailed);
    }
    return 1;
}

} // namespace img
