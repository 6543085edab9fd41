// JPEG images through libjpeg: a top-down pixel buffer of 8, 24 or 32 bits per pixel, or a
// packed DIB of 8 or 24. Failures inside libjpeg arrive as ImgCore::ImgException and become
// this reader's status; nothing of libjpeg survives the call.
#include "BlockBudget.h"
#include "CDibConverter.h"
#include "EntryFrame.h"
#include "ImgException.h"
#include "JpegBudget.h"
#include "JpegSource.h"
#include "Trace.h"

#include <algorithm>
#include <cstdarg>
#include <new>

namespace img {
namespace {

enum JpegFlags {
    kRawInk = 1,
    kKeepYCbCr = 4,
    kPaddedBgr = 8,
    kGiveBack = 16,
};

enum ColourKind { kKindNone, kKindGrey, kKindRgb, kKindCmyk, kKindYcck, kKindYCbCr };
enum OutputMode { kModeNone, kModeGrey, kModeColour, kModeCmyk, kModeYcck, kModeYCbCr };

constexpr unsigned kDibHeaderBytes = 40;
constexpr unsigned kGreyPaletteBytes = 256 * 4;

// One readJPEG call's decoding state, in global memory like every block the library makes.
struct JpegDecoding {
    jpeg_decompress_struct decompressor;
    jpeg_error_mgr errors;
    CImgIO* stream;
    ScratchBuffer<BYTE> conversionRow;
    ScanWatch scans;
    int colourKind;
    int outputMode;
    ImgResolution resolution;
};

void traceFailure(const ImgCore::ImgException& e) {
    trace(kTraceError, "ZORed JPG Error : %s\n", e.what());
}

[[noreturn]] void refuse(const char* text, int code) {
    ImgCore::ImgException failure(text, code);
    throw failure;
}

void release(JpegDecoding* d) {
    jpeg_destroy_decompress(&d->decompressor);
    delete d->stream;
    d->~JpegDecoding();
    GlobalFree(d);
}

int colourKindOf(const jpeg_decompress_struct& c, int flags) {
    switch (c.output_components) {
    case 1:
        return kKindGrey;
    case 3:
        return flags & kKeepYCbCr ? kKindYCbCr : kKindRgb;
    case 4:
        if (c.jpeg_color_space == JCS_CMYK) return kKindCmyk;
        if (c.jpeg_color_space == JCS_YCCK) return kKindYcck;
        return kKindNone;
    default:
        return kKindNone;
    }
}

// Throws for a depth the colour kind cannot be read at.
int outputModeOf(int kind, int bitsPerPixel, int flags) {
    const bool dib = flags & IMG_FLAG_DIB;
    switch (kind) {
    case kKindGrey:
        if (dib) bitsPerPixel = 8;
        if (bitsPerPixel == 8) return kModeGrey;
        if (bitsPerPixel == 24) return kModeColour;
        refuse("Invalid bit depth requested (can't read 8-bit to 32-bit)", kUnsupportedDepth);
    case kKindRgb:
        if (bitsPerPixel == 24) return kModeColour;
        refuse("Invalid bit depth requested (can't read RGB to any other bit depth)",
               kUnsupportedDepth);
    case kKindCmyk:
    case kKindYcck:
        if (dib) bitsPerPixel = 24;
        if (!(flags & kRawInk)) {
            if (bitsPerPixel == 24) return kModeColour;
            refuse("Invalid bit depth requested", kUnsupportedDepth);
        }
        if (bitsPerPixel == 32) return kind == kKindCmyk ? kModeCmyk : kModeYcck;
        refuse("Invalid bit depth requested (can only read CMYK/YCCK to 32bpp)", kUnsupportedDepth);
    case kKindYCbCr:
        if (bitsPerPixel == 24) return kModeYCbCr;
        refuse("Invalid bit depth requested (can't read YCbCr to any other bit depth)",
               kUnsupportedDepth);
    default:
        refuse("Invalid JPG colorspace", kJpegFailed);
    }
}

int bytesPerPixelOf(int mode) {
    switch (mode) {
    case kModeGrey:
        return 1;
    case kModeColour:
    case kModeYCbCr:
        return 3;
    case kModeCmyk:
    case kModeYcck:
        return 4;
    default:
        return 0;
    }
}

// JFIF counts density unit 1 per inch and 2 per centimetre; the resolution kind that JPEG
// values are read as numbers them the other way round.
ImgResolution densityForConversion(const ImgResolution& jfif) {
    ImgResolution r = jfif;
    if (r.unit == 1)
        r.unit = 2;
    else if (r.unit == 2)
        r.unit = 1;
    return r;
}

// The bytes of the image block for an output mode, and its row bytes.
Size imageBytesOf(const jpeg_decompress_struct& c, int mode, int flags, std::uint32_t* rowBytes) {
    const int bytesPerPixel = bytesPerPixelOf(mode);
    const bool dib = flags & IMG_FLAG_DIB;
    const Size row = dib || (flags & kPaddedBgr)
                         ? paddedRowBytes(c.output_width, 8u * bytesPerPixel)
                         : checkedProduct({c.output_width, bytesPerPixel});
    *rowBytes = row.bytes();
    const unsigned headerBytes =
        !dib ? 0 : kDibHeaderBytes + (mode == kModeGrey ? kGreyPaletteBytes : 0);
    return imageBlockSize(headerBytes, row, c.output_height);
}

// Before libjpeg sizes its buffers: 0 when the file justifies the image block and the buffers
// held beside it, with its scans watched; otherwise the code to refuse it with.
int weighCost(JpegDecoding& d, int flags) {
    jpeg_decompress_struct& c = d.decompressor;
    // A mode without pixels is refused later, by the read, with its own code.
    if (bytesPerPixelOf(d.outputMode) == 0) return kOk;
    std::uint32_t rowBytes = 0;
    const Size image = imageBytesOf(c, d.outputMode, flags, &rowBytes);
    const std::uint64_t sourceBytes = bytesLeft(*d.stream) + c.src->bytes_in_buffer;
    return costJustified(c, image, sourceBytes, &d.scans) ? kOk : kReadFailed;
}

class JpegReader : public Operation {
public:
    explicit JpegReader(CImgIO& io) : m_io(io) {}

    BYTE* read(int* width, int* height, int bitsPerPixel, int flags);
    int info(int* width, int* height, int* bitsPerPixel, ImgResolution* density, int* colourSpace,
             int* codingFlags);

private:
    JpegDecoding* open(int* width, int* height, int bitsPerPixel, int flags);
    bool readRow(JpegDecoding* d, BYTE* destination);
    int close(JpegDecoding* d);
    void writeDibHeader(BYTE* dib, const JpegDecoding& d, std::uint32_t rowBytes);

    CImgIO& m_io;
};

JpegDecoding* JpegReader::open(int* width, int* height, int bitsPerPixel, int flags) {
    void* block = allocateGlobal(sizeof(JpegDecoding));
    if (block == nullptr) return fail(kNoMemory);
    auto* d = new (block) JpegDecoding{};
    j_decompress_ptr c = &d->decompressor;
    try {
        c->err = installJpegErrors(&d->errors);
        jpeg_create_decompress(c);
        // Until the file has justified more, libjpeg works in the free block size.
        c->mem->max_memory_to_use = static_cast<long>(kFreeBlockBytes);
        d->stream = new CImgIO(m_io);
        installJpegSource(c, d->stream, flags & kGiveBack);
        jpeg_read_header(c, TRUE);
        c->scale_num = 1;
        c->scale_denom = 1;
        if (flags & kKeepYCbCr) c->out_color_space = JCS_YCbCr;
        jpeg_calc_output_dimensions(c);
        d->colourKind = colourKindOf(*c, flags);
        d->outputMode = outputModeOf(d->colourKind, bitsPerPixel, flags);
        const int refusal = weighCost(*d, flags);
        if (refusal != kOk) {
            release(d);
            return fail(refusal);
        }
        jpeg_start_decompress(c);
        const Size rowBytes = checkedProduct({c->output_width, c->output_components, 2});
        if (!rowBytes.ok() ||
            d->conversionRow.ensure(static_cast<int>(rowBytes.bytes())) == nullptr) {
            release(d);
            return fail(kNoMemory);
        }
    } catch (const ImgCore::ImgException& e) {
        traceFailure(e);
        const bool overworked = d->scans.refused;
        release(d);
        return fail(overworked ? kReadFailed : kJpegFailed);
    } catch (const std::bad_alloc&) {
        release(d);
        return fail(kNoMemory);
    }
    *width = static_cast<int>(c->output_width);
    *height = static_cast<int>(c->output_height);
    d->resolution = {c->X_density, c->Y_density, c->density_unit};
    return d;
}

bool JpegReader::readRow(JpegDecoding* d, BYTE* destination) {
    if (d == nullptr || destination == nullptr) return fail(kBadArgument);
    j_decompress_ptr c = &d->decompressor;
    if (c->output_scanline >= c->output_height) return fail(kAllRowsRead);
    const int components = c->output_components;
    const bool convert = d->outputMode == kModeColour && components != 3;
    JSAMPROW row = convert ? d->conversionRow.data() : destination;
    try {
        if (jpeg_read_scanlines(c, &row, 1) != 1) return fail(kReadFailed);
    } catch (const ImgCore::ImgException& e) {
        traceFailure(e);
        return fail(kReadFailed);
    }
    if (!convert) return true;
    const std::size_t pixels = c->output_width;
    if (components == 1) {
        for (std::size_t x = 0; x < pixels; ++x)
            destination[3 * x] = destination[3 * x + 1] = destination[3 * x + 2] = row[x];
    } else {
        for (std::size_t x = 0; x < pixels; ++x) {
            const unsigned k = row[4 * x + 3];
            for (int i = 0; i < 3; ++i)
                destination[3 * x + i] = static_cast<BYTE>(row[4 * x + i] * k / 255);
        }
    }
    return true;
}

int JpegReader::close(JpegDecoding* d) {
    if (d == nullptr) return fail(kBadArgument);
    status = kOk;
    int result = 1;
    try {
        jpeg_finish_decompress(&d->decompressor);
    } catch (const ImgCore::ImgException& e) {
        traceFailure(e);
        result = fail(kReadFailed);
    }
    release(d);
    return result;
}

void JpegReader::writeDibHeader(BYTE* dib, const JpegDecoding& d, std::uint32_t rowBytes) {
    const jpeg_decompress_struct& c = d.decompressor;
    const bool grey = d.outputMode == kModeGrey;
    const int bits = 8 * bytesPerPixelOf(d.outputMode);
    ImgResolution r = densityForConversion(d.resolution);
    CDibConverter().convertResolution(&r, 0, 4);
    writeDIBHeader(dib, static_cast<int>(c.output_width), static_cast<int>(c.output_height), bits,
                   rowBytes * c.output_height, grey ? 256 : 0, 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib);
    header->biXPelsPerMeter = r.x;
    header->biYPelsPerMeter = r.y;
    if (!grey) return;
    auto* palette = reinterpret_cast<RGBQUAD*>(dib + kDibHeaderBytes);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        palette[i] = {v, v, v, 255};
    }
}

BYTE* JpegReader::read(int* width, int* height, int bitsPerPixel, int flags) {
    JpegDecoding* d = open(width, height, bitsPerPixel, flags);
    if (d == nullptr) return nullptr;
    const int bytesPerPixel = bytesPerPixelOf(d->outputMode);
    if (bytesPerPixel == 0) {
        close(d);
        return fail(kUnsupportedOptions);
    }
    const bool dib = flags & IMG_FLAG_DIB;
    const std::uint32_t pixels = d->decompressor.output_width;
    const std::uint32_t rows = d->decompressor.output_height;
    std::uint32_t rowBytes = 0;
    const Size imageBytes = imageBytesOf(d->decompressor, d->outputMode, flags, &rowBytes);
    const unsigned headerBytes = imageBytes.bytes() - rowBytes * rows;
    BYTE* image = allocateGlobal(imageBytes);
    if (image == nullptr) {
        close(d);
        return fail(kNoMemory);
    }
    if (dib) writeDibHeader(image, *d, rowBytes);

    // Only three-byte pixels are swapped: a grey or ink row is no red, green, blue triple, and
    // walking it three bytes at a time would run past the row.
    const bool swap =
        bytesPerPixel == 3 && (flags & kPaddedBgr || (dib && d->outputMode == kModeColour));
    CDibConverter swapper;
    BYTE* row = dib ? image + headerBytes + std::size_t(rows - 1) * rowBytes : image;
    const std::ptrdiff_t step = dib ? -std::ptrdiff_t(rowBytes) : std::ptrdiff_t(rowBytes);
    for (std::uint32_t j = 0; j < rows && readRow(d, row); ++j, row += step)
        if (swap) swapper.swapRedBlue24(row, static_cast<int>(pixels), 1);

    const int rowStatus = status;
    close(d);
    if (rowStatus != kOk) status = rowStatus;
    return image;
}

int JpegReader::info(int* width, int* height, int* bitsPerPixel, ImgResolution* density,
                     int* colourSpace, int* codingFlags) {
    if (width == nullptr || height == nullptr) return fail(kBadArgument);
    *width = *height = 0;
    *density = {};
    *colourSpace = *codingFlags = 0;
    jpeg_decompress_struct c{};
    jpeg_error_mgr errors;
    c.err = installJpegErrors(&errors);
    try {
        jpeg_create_decompress(&c);
        installJpegSource(&c, &m_io, false);
        jpeg_read_header(&c, TRUE);
        jpeg_calc_output_dimensions(&c);
    } catch (const ImgCore::ImgException& e) {
        traceFailure(e);
        jpeg_destroy_decompress(&c);
        return fail(kJpegFailed);
    }
    *width = static_cast<int>(c.image_width);
    *height = static_cast<int>(c.image_height);
    if (bitsPerPixel != nullptr) *bitsPerPixel = 8 * c.out_color_components;
    *density = {c.X_density, c.Y_density, c.density_unit};
    *colourSpace = c.jpeg_color_space;
    *codingFlags = (c.progressive_mode ? 1 : 0) | (c.arith_code ? 2 : 0);
    jpeg_destroy_decompress(&c);
    return 1;
}

} // namespace
} // namespace img

using namespace img;

extern "C" BYTE* readJPEG(SourceHandle src, int* width, int* height, int bitsPerPixel, int flags) {
    return frameR<JpegReader>(src, true, [&](JpegReader& reader) -> BYTE* {
        if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
            return reader.fail(kBadArgument);
        int ignoredWidth = 0, ignoredHeight = 0;
        return reader.read(width != nullptr ? width : &ignoredWidth,
                           height != nullptr ? height : &ignoredHeight, bitsPerPixel, flags);
    });
}

extern "C" int getJPEGInfo(SourceHandle src, int* width, int* height, int* bitsPerPixel, ...) {
    va_list more;
    va_start(more, bitsPerPixel);
    auto* resolution = va_arg(more, ImgResolution*);
    va_end(more);
    return frameR<JpegReader>(src, width != nullptr && height != nullptr, [&](JpegReader& reader) {
        ImgResolution density{};
        int colourSpace = 0, codingFlags = 0;
        int result = reader.info(width, height, bitsPerPixel, &density, &colourSpace, &codingFlags);
        if (resolution != nullptr) *resolution = density;
        return result;
    });
}
