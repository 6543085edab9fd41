#include "PcxReader.h"
#include "BlockBudget.h"

#include "CDibConverter.h"
#include "Tables.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace img {
namespace {

constexpr long kImageDataOffset = 128;
constexpr unsigned kPaletteBytes = 256 * sizeof(RGBQUAD);
constexpr unsigned kDibHeaderBytes = sizeof(BITMAPINFOHEADER);

int pixelDepth(const PcxHeader& h) {
    return h.planes * h.bitsPerPixel;
}
WORD spanOf(WORD low, WORD high) {
    return static_cast<WORD>(high - low + 1);
}

// The 256-colour palette, or a grey ramp; files of fewer than 8 bits take their colours from
// the header instead, and every entry past those repeats entry 0.
void buildPalette(CImgIO& stream, const PcxHeader& h, RGBQUAD* palette) {
    if (!readPCXPalette256(stream, h, palette)) {
        for (int i = 0; i < 256; ++i) {
            const BYTE v = static_cast<BYTE>(i);
            palette[i] = {v, v, v, 0};
        }
    }
    const int depth = pixelDepth(h);
    if (depth >= 8) return;
    int entries = 2;
    if (depth == 1) {
        palette[0] = {0, 0, 0, 0};
        palette[1] = {255, 255, 255, 0};
    } else {
        entries = std::min(1 << depth, 16);
        const BYTE* rgb = h.egaPalette;
        for (int i = 0; i < entries; ++i)
            palette[i] = {rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0};
    }
    std::fill(palette + entries, palette + 256, palette[0]);
}

// The plane layouts that the row decoder turns into the requested depth. The others
// (two bits a pixel, three or five to seven 1-bit planes, several 4-bit planes, 16 or 32 bits)
// would come out as empty rows or spill past the row, so they are refused.
bool decodable(const PcxHeader& h, int requested) {
    const int bits = h.bitsPerPixel;
    const int planes = h.planes;
    if (bits == 8 && planes == 3) return true;
    if (bits == 1 && planes == 1) return true;
    const bool expandable =
        (bits == 1 && (planes == 4 || planes == 8)) || (planes == 1 && (bits == 4 || bits == 8));
    return expandable && (requested == 8 || requested == 24);
}

// One row of pixels of 1, 4 or 8 bits from the combined line, as indices or as colours; each
// byte's pixels start at its top bits.
bool expandRow(const PcxDecoder& d, BYTE* destination) {
    if (d.depth != 1 && d.depth != 4 && d.depth != 8) return true;
    if (d.requestedDepth != 8 && d.requestedDepth != 24) return false;
    const BYTE* source = d.expansion.data();
    const bool colours = d.requestedDepth == 24;
    int x = 0;
    for (const BYTE* byte = source; x < d.width; ++byte) {
        for (int shift = 8 - d.depth; shift >= 0 && x < d.width; shift -= d.depth, ++x) {
            const unsigned index = (*byte >> shift) & d.pixelMask;
            if (!colours) {
                destination[x] = static_cast<BYTE>(index);
                continue;
            }
            const RGBQUAD& c = d.palette[index];
            BYTE* out = destination + 3 * x;
            out[0] = c.rgbRed;
            out[1] = c.rgbGreen;
            out[2] = c.rgbBlue;
        }
    }
    return true;
}

} // namespace

int PcxReader::getInfo(int* width, int* height, int* bitsPerPixel, ImgResolution* resolution) {
    PcxHeader h{};
    if (!readPCXHeader(m_io, h)) return fail(kBadPcxHeader);
    *width = spanOf(h.xMin, h.xMax);
    *height = spanOf(h.yMin, h.yMax);
    *bitsPerPixel = pixelDepth(h);
    if (resolution != nullptr) *resolution = {h.hRes, h.vRes, 0};
    return 1;
}

int PcxReader::readPalette(int* count, RGBQUAD* palette) {
    PcxHeader h{};
    if (!readPCXHeader(m_io, h)) return fail(kBadPcxHeader);
    if (pixelDepth(h) > 8) return fail(kUnsupportedDepth);
    std::memset(palette, 0, kPaletteBytes);
    buildPalette(m_io, h, palette);
    *count = 256;
    return 1;
}

PcxDecoder* PcxReader::openPCXDecoder(CImgIO& stream, int* width, int* height, RGBQUAD* palette,
                                      int* depth, int flags) {
    *width = 0;
    *height = 0;
    status = kOk;
    void* memory = allocateGlobal(sizeof(PcxDecoder));
    if (memory == nullptr) return fail(kNoMemory);
    PcxDecoder* decoder = new (memory) PcxDecoder(stream);
    if (!prepareDecoder(*decoder, palette, depth, flags)) {
        closePCXDecoder(decoder);
        return nullptr;
    }
    *width = decoder->width;
    *height = decoder->height;
    return decoder;
}

bool PcxReader::prepareDecoder(PcxDecoder& d, RGBQUAD* palette, int* depth, int flags) {
    PcxHeader& h = d.header;
    if (!readPCXHeader(d.stream, h)) return fail(kBadPcxHeader);
    d.width = spanOf(h.xMin, h.xMax);
    d.height = spanOf(h.yMin, h.yMax);
    d.depth = pixelDepth(h);
    if (d.depth < 1 || d.depth > 32 || d.width == 0 || d.height == 0) return fail(kBadPcxHeader);
    // A plane line too short for its row would send the row decoder past the line.
    if (h.bytesPerLine < (d.width * h.bitsPerPixel + 7) / 8) return fail(kBadPcxHeader);

    const bool dib = (flags & IMG_FLAG_DIB) != 0;
    d.requestedDepth = dib ? d.depth : *depth;
    if (!dib && d.requestedDepth != 1 && d.requestedDepth != 8 && d.requestedDepth != 24)
        return fail(kBadArgument);
    if (d.requestedDepth < d.depth) return fail(kUnsupportedDepth);
    if (!decodable(h, d.requestedDepth)) return fail(kUnsupportedOptions);
    *depth = d.requestedDepth;

    buildPalette(d.stream, h, d.palette);
    if (d.requestedDepth <= 8) copyBytes(palette, d.palette, kPaletteBytes);

    const std::uint32_t lineBytes = checkedProduct({h.bytesPerLine, h.planes}).bytes();
    const std::uint32_t expansionBytes = checkedProduct({d.width, 3}).bytes();
    if (lineBytes == 0 || expansionBytes == 0 ||
        d.line.ensure(static_cast<int>(lineBytes)) == nullptr ||
        d.expansion.ensure(static_cast<int>(expansionBytes)) == nullptr)
        return fail(kNoMemory);
    if (!d.stream.seek(kImageDataOffset, SEEK_SET)) return fail(kNoMemory);
    d.currentRow = 0;
    d.pixelMask = d.depth == 1 || d.depth == 24 ? 1u : static_cast<unsigned>((1ull << d.depth) - 1);
    d.pixelsPerByte = d.depth <= 8 ? 8 / d.depth : 0;
    return true;
}

bool PcxReader::readPCXRow(PcxDecoder* d, BYTE* destination, int* rowIndex) {
    status = kOk;
    if (d == nullptr || destination == nullptr) return fail(kBadArgument);
    if (d->currentRow >= d->height) return fail(kAllRowsRead);
    if (decodePCXLine(d->stream, d->header, d->line.data(), &d->input) == 0)
        return fail(kReadFailed);
    if (d->requestedDepth < d->depth) return fail(kUnsupportedDepth);

    const auto rgbBytes = static_cast<unsigned>(d->expansion.count());
    if (d->depth == 24) {
        combinePCXPlanes(d->header, d->line.data(), destination, rgbBytes, true, 1);
    } else if (d->depth == 1 && d->requestedDepth == 1) {
        copyBytes(destination, d->line.data(), (d->width + 7u) >> 3);
    } else {
        combinePCXPlanes(d->header, d->line.data(), d->expansion.data(), rgbBytes, true, 1);
        if (!expandRow(*d, destination)) return fail(kUnsupportedOptions);
    }
    if (rowIndex != nullptr) *rowIndex = d->currentRow;
    ++d->currentRow;
    return true;
}

bool PcxReader::closePCXDecoder(PcxDecoder* decoder) {
    if (decoder == nullptr) return fail(kBadArgument);
    decoder->~PcxDecoder();
    GlobalFree(decoder);
    return true;
}

BYTE* PcxReader::read(int* width, int* height, int bitsPerPixel, RGBQUAD* palette, int flags) {
    status = kOk;
    const bool dib = (flags & IMG_FLAG_DIB) != 0;
    if (!dib && bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24)
        return fail(kBadArgument);
    RGBQUAD own[256] = {};
    int depth = bitsPerPixel;
    PcxDecoder* d = openPCXDecoder(m_io, width, height, dib ? own : palette, &depth, flags);
    if (d == nullptr) return nullptr;

    const unsigned w = d->width;
    const unsigned h = d->height;
    unsigned rowBytes = 0;
    unsigned header = 0;
    if (dib) {
        rowBytes = dibRowBytes(static_cast<int>(w), depth);
        header = depth == 1   ? kDibHeaderBytes + 8
                 : depth == 8 ? kDibHeaderBytes + kPaletteBytes
                              : kDibHeaderBytes;
    } else {
        rowBytes = depth == 1 ? (w + 7) >> 3
                              : checkedProduct({w, static_cast<unsigned>(depth) / 8}).bytes();
    }
    const Size total = imageBlockSize(header, rowBytes, h);
    const std::uint64_t lines = std::uint64_t{d->header.bytesPerLine} * d->header.planes * h;
    if (!blockJustified(Encoding::PcxRle, total, std::uint64_t{w} * h, lines,
                        bytesLeft(d->stream))) {
        closePCXDecoder(d);
        return fail(kReadFailed);
    }
    MemoryBlock block;
    if (!block.allocate(total)) {
        closePCXDecoder(d);
        return fail(kNoMemory);
    }
    BYTE* image = block.data();
    if (dib) {
        writeDIBHeader(image, static_cast<int>(w), static_cast<int>(h), depth,
                       total.bytes() - header, depth == 24 ? 0 : 1u << depth, 0);
        copyBytes(image + kDibHeaderBytes, own, header - kDibHeaderBytes);
    }

    CDibConverter converter;
    for (unsigned r = 0; r < h; ++r) {
        BYTE* row = image + header + static_cast<std::size_t>(dib ? h - 1 - r : r) * rowBytes;
        if (!readPCXRow(d, row, nullptr)) break;
        if (dib && depth == 24) converter.swapRedBlue24(row, static_cast<int>(w), 1);
    }
    closePCXDecoder(d);
    return image;
}

} // namespace img
