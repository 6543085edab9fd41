// Layered-image files ("8BPS", version 1): the merged image only, as 8-bit indices, 24-bit RGB,
// 32-bit CMYK or a packed DIB, and the size, resolution and palette queries.
#include "BlockBudget.h"
#include "CDibConverter.h"
#include "EntryFrame.h"
#include "ImageResources.h"
#include "MemoryBlock.h"
#include "Tables.h"
#include "Trace.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

constexpr int kResolutionResource = 1005;
constexpr int kFlagCmyk = 4;
constexpr std::uint32_t kPaletteBytes = 768;
// Raw planes are read this many bytes of each channel at a time: enough for the read to go
// from the file straight into its buffer, few enough for the pieces to stay in the cache.
constexpr std::uint32_t kPieceBytes = 64 * 1024;
constexpr int kMostChannels = 4;

enum Mode { kBitmap = 0, kGrey = 1, kIndexed = 2, kRgb = 3, kCmyk = 4, kDuotone = 8 };
enum Compression { kRaw = 0, kRle = 1 };

struct PsdHeader {
    int channels = 0;
    std::uint32_t height = 0;
    std::uint32_t width = 0;
    int depth = 0;
    int mode = 0;
};

bool isIndexedMode(int mode) {
    return mode == kBitmap || mode == kGrey || mode == kIndexed || mode == kDuotone;
}

// Raw planes write every byte of their block, zeros where the file ends, so only a block for
// PackBits rows, which may end early, is cleared first.
BYTE* allocateImage(Size size, int compression) {
    return compression == kRle ? allocateGlobal(size) : allocateUncleared(size);
}

// Pixel i takes sample i of every plane: its byte, or the high byte of a 16-bit sample.
template <int kChannels, int kSampleBytes>
void interleave(const BYTE* const* planes, std::size_t count, BYTE* out) {
    const BYTE* in[kChannels];
    for (int c = 0; c < kChannels; ++c)
        in[c] = planes[c];
    for (std::size_t i = 0; i < count; ++i, out += kChannels)
        for (int c = 0; c < kChannels; ++c)
            out[c] = in[c][i * kSampleBytes];
}

using Interleave = void (*)(const BYTE* const*, std::size_t, BYTE*);

// The readers take one, three or four channels.
Interleave interleaver(int channels, int sampleBytes) {
    const bool wide = sampleBytes == 2;
    switch (channels) {
    case 1:
        return wide ? interleave<1, 2> : interleave<1, 1>;
    case 3:
        return wide ? interleave<3, 2> : interleave<3, 1>;
    default:
        return wide ? interleave<4, 2> : interleave<4, 1>;
    }
}

// The PackBits byte count of every row, channel by channel.
struct RowCounts {
    ScratchBuffer<int> counts;
    int largest = 0;
};

// What a PackBits row decoder writes to: `pixels` outputs `step` bytes apart, at `offset`.
struct RowTarget {
    BYTE* start;
    int pixels;
    int step;
    int offset;
};

class PsdReader : public Operation {
public:
    explicit PsdReader(CImgIO& io) : m_io(io) {}

    int info(int* width, int* height, int* mode, ImgResolution* resolution);
    int palette(int* count, RGBQUAD* palette);
    BYTE* readIndexed(int* width, int* height, RGBQUAD* palette);
    BYTE* readColour(int* width, int* height, int flags);
    BYTE* readDib(int* width, int* height, int flags);

private:
    bool readU16(int* out);
    bool readU32(std::uint32_t* out);
    bool readHeader(PsdHeader& h);
    bool readColourModeData(const PsdHeader& h, RGBQUAD* palette);
    bool readResources();
    bool skipBytes(std::uint32_t n);
    std::uint32_t bytesLeft();
    bool open(PsdHeader& h, int* width, int* height, RGBQUAD* palette, bool traceLayers,
              int* compression);
    bool checkSamples(const PsdHeader& h, int compression, int channelsNeeded);
    bool justify(const PsdHeader& h, int compression, const RowCounts& rows, int channels);

    BYTE* readOneChannel(const PsdHeader& h, int compression);
    BYTE* readBitmapChannel(const PsdHeader& h, int compression);
    BYTE* readChannels(const PsdHeader& h, int compression, int channels);
    BYTE* indexToRgb(BYTE* bytes, const PsdHeader& h, const RGBQUAD* palette);
    BYTE* cmykToRgb(BYTE* cmyk, const PsdHeader& h);

    bool readRowCounts(const PsdHeader& h, RowCounts& rows);
    bool decodeRleRows(const PsdHeader& h, const RowCounts& rows, int channels, BYTE* pixels,
                       int step);
    bool decodePackBits(const BYTE* data, int length, const RowTarget& target);
    bool readRawRows(const PsdHeader& h, int channels, BYTE* pixels);

    CImgIO& m_io;
    // Bytes per pixel of the largest block the call will allocate, for the block budget.
    std::uint64_t m_blockPixelBytes = 1;
    std::uint32_t m_resourceLength = 0;
    ScratchBuffer<BYTE> m_resources;
};

bool PsdReader::readU16(int* out) {
    BYTE b[2];
    if (!m_io.readExact(b, 2)) return false;
    *out = b[0] << 8 | b[1];
    return true;
}

bool PsdReader::readU32(std::uint32_t* out) {
    BYTE b[4];
    if (!m_io.readExact(b, 4)) return false;
    *out = static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
           static_cast<std::uint32_t>(b[2]) << 8 | b[3];
    return true;
}

// False with status 46 for another kind of file; false with the status untouched when a field
// could not be read.
bool PsdReader::readHeader(PsdHeader& h) {
    BYTE signature[4] = {};
    const unsigned got = m_io.read(signature, 4);
    int version = 0;
    if (got != 4 || std::memcmp(signature, "8BPS", 4) != 0 || !readU16(&version) || version != 1)
        return fail(kNotPsd);
    BYTE reserved[6];
    return m_io.readExact(reserved, 6) && readU16(&h.channels) && readU32(&h.height) &&
           readU32(&h.width) && readU16(&h.depth) && readU16(&h.mode);
}

std::uint32_t PsdReader::bytesLeft() {
    return static_cast<std::uint32_t>(img::bytesLeft(m_io));
}

bool PsdReader::skipBytes(std::uint32_t n) {
    return m_io.seek(static_cast<long>(n), SEEK_CUR) ? true : fail(kReadFailed);
}

bool PsdReader::readColourModeData(const PsdHeader& h, RGBQUAD* palette) {
    std::uint32_t length = 0;
    if (!readU32(&length)) return fail(kReadFailed);
    if (h.mode == kBitmap) {
        std::memset(palette, 0, 256 * sizeof(RGBQUAD));
        palette[0] = {0xFF, 0xFF, 0xFF, 0};
    } else if (h.mode == kGrey || h.mode == kIndexed || h.mode == kDuotone) {
        for (int i = 0; i < 256; ++i) {
            const BYTE v = static_cast<BYTE>(i);
            palette[i] = {v, v, v, 0};
        }
    }
    // Only a table of 256 red, 256 green and 256 blue bytes is a palette; other lengths are
    // passed over so that the sections after them stay in place.
    if ((h.mode == kGrey || h.mode == kIndexed) && length == kPaletteBytes) {
        BYTE planes[kPaletteBytes];
        if (!m_io.readExact(planes, kPaletteBytes)) return fail(kReadFailed);
        for (int i = 0; i < 256; ++i)
            palette[i] = {planes[512 + i], planes[256 + i], planes[i], 0};
        return true;
    }
    return skipBytes(length);
}

bool PsdReader::readResources() {
    if (!readU32(&m_resourceLength)) return fail(kReadFailed);
    if (m_resourceLength == 0) return true;
    // A length past the end of the file is refused before it sizes a buffer.
    if (m_resourceLength > bytesLeft()) return fail(kReadFailed);
    if (m_resources.ensure(static_cast<int>(checkedProduct({m_resourceLength}).bytes())) == nullptr)
        return fail(kNoMemory);
    return m_io.readExact(m_resources.data(), m_resourceLength) ? true : fail(kReadFailed);
}

int PsdReader::info(int* width, int* height, int* mode, ImgResolution* resolution) {
    PsdHeader h;
    if (!readHeader(h)) return 0;
    *width = static_cast<int>(h.width);
    *height = static_cast<int>(h.height);
    *mode = h.mode;
    RGBQUAD unused[256];
    if (!readColourModeData(h, unused) || !readResources()) return 0;
    // A file without resources has nothing to walk and keeps the caller's record.
    if (resolution != nullptr && m_resourceLength != 0) {
        ImageResourceList resources;
        CImageResourceParser parser(&resources);
        parser.wantedIds.push_back(kResolutionResource);
        if (!parser.walk(m_resources.data(), m_resourceLength, 0)) status = parser.status;
        const CImageResource* r = parser.find(kResolutionResource);
        if (r != nullptr && r->dataSize() >= 16) {
            const BYTE* d = r->data();
            const int horizontalUnit = d[4] << 8 | d[5];
            const int verticalUnit = d[12] << 8 | d[13];
            resolution->x = d[0] << 8 | d[1];
            resolution->y = d[8] << 8 | d[9];
            if (horizontalUnit == 1) {
                resolution->unit = 1;
                if (verticalUnit == 2) resolution->y = static_cast<int>(resolution->y * 0.39370079);
            } else if (horizontalUnit == 2) {
                resolution->unit = 2;
                if (verticalUnit == 1) resolution->y = static_cast<int>(resolution->y * 2.54);
            } else {
                resolution->unit = 0;
            }
        }
    }
    return 1;
}

int PsdReader::palette(int* count, RGBQUAD* palette) {
    *count = 0;
    PsdHeader h;
    if (!readHeader(h)) {
        if (ok()) fail(kReadFailed);
        return 0;
    }
    if (palette == nullptr) return fail(kBadArgument);
    std::memset(palette, 0, 256 * sizeof(RGBQUAD));
    if (h.depth != 1 && h.depth != 8) return fail(kBadPsdMode);
    if (!isIndexedMode(h.mode)) return fail(kUnsupportedDepth);
    if (!readColourModeData(h, palette)) return 0;
    *count = 256;
    return 1;
}

bool PsdReader::open(PsdHeader& h, int* width, int* height, RGBQUAD* palette, bool traceLayers,
                     int* compression) {
    if (!readHeader(h)) {
        if (ok()) fail(kReadFailed);
        return false;
    }
    if (h.depth != 1 && h.depth != 8 && h.depth != 16) return fail(kBadPsdMode);
    // Sizes that no image can have are refused before anything is sized by them.
    if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFF || h.height > 0x7FFFFFFF ||
        h.channels == 0)
        return fail(kNotPsd);
    *width = static_cast<int>(h.width);
    *height = static_cast<int>(h.height);
    if (!readColourModeData(h, palette)) return false;
    std::uint32_t length = 0;
    // The merged image does not need the resources: they are passed over unread.
    if (!readU32(&length) || length > bytesLeft() || !skipBytes(length)) return fail(kReadFailed);
    if (!readU32(&length) || !skipBytes(length)) return fail(kReadFailed);
    if (traceLayers) {
        unsigned at = 0;
        m_io.position(&at);
        trace(kTraceInfo, "read %d. layersLen %d\n", static_cast<int>(at),
              static_cast<int>(length));
    }
    if (!readU16(compression) || (*compression != kRaw && *compression != kRle))
        return fail(kReadFailed);
    return true;
}

// Checks that come before the buffers: enough channels for the mode, PackBits only at 8 bits,
// raw samples of 8 or 16.
bool PsdReader::checkSamples(const PsdHeader& h, int compression, int channelsNeeded) {
    const bool depthOk = compression == kRle ? h.depth == 8 : h.depth == 8 || h.depth == 16;
    return depthOk && h.channels >= channelsNeeded ? true : fail(kBadPsdMode);
}

// The first `channels` channels must be in the file, raw or as the row table's PackBits
// bytes, before the call's largest block may pass the budget.
bool PsdReader::justify(const PsdHeader& h, int compression, const RowCounts& rows, int channels) {
    const std::uint64_t rowBytes =
        h.depth == 1 ? (std::uint64_t{h.width} + 7) / 8 : std::uint64_t{h.width} * h.depth / 8;
    const std::uint64_t units = rowBytes * h.height * static_cast<std::uint64_t>(channels);
    // The channels' own block comes first, so it must pass even when the final one is past
    // the block limit and left to the allocator.
    const std::uint64_t pixels = std::uint64_t{h.width} * h.height;
    const std::uint64_t block = pixels * static_cast<std::uint64_t>(channels);
    const std::uint64_t largest = pixels * std::max<std::uint64_t>(m_blockPixelBytes, channels);
    std::uint64_t source = bytesLeft();
    if (compression == kRle) {
        std::uint64_t counted = 0;
        for (std::uint64_t i = 0; i < std::uint64_t{h.height} * channels; ++i)
            counted += static_cast<std::uint64_t>(rows.counts[i]);
        source = std::min(source, counted);
    }
    const Encoding encoding = compression == kRle ? Encoding::PackBits : Encoding::RawRows;
    return blockJustified(encoding, block, pixels, units, source) &&
                   blockJustified(encoding, largest, pixels, units, source)
               ? true
               : fail(kReadFailed);
}

bool PsdReader::decodePackBits(const BYTE* data, int length, const RowTarget& target) {
    int in = 0;
    int pixel = 0;
    bool lastLiteral = true;
    auto put = [&](BYTE v) {
        if (pixel < target.pixels)
            target.start[static_cast<std::size_t>(pixel) * target.step + target.offset] = v;
        ++pixel;
    };
    while (pixel < target.pixels && in < length) {
        const int header = static_cast<signed char>(data[in++]);
        if (header >= 0) {
            const int run = header + 1;
            if (run > length - in) return false;
            for (int i = 0; i < run; ++i)
                put(data[in + i]);
            in += run;
            lastLiteral = true;
        } else if (header != -128) {
            if (in >= length) return false;
            const BYTE v = data[in++];
            for (int i = 0; i < 1 - header; ++i)
                put(v);
            lastLiteral = false;
        }
    }
    if (pixel >= target.pixels && in < length)
        trace(kTraceWarning, lastLiteral ? "RLE Row Size Mismatch in PSD decode [1].\n"
                                         : "RLE Row Size Mismatch in PSD decode [2].\n");
    return true;
}

bool PsdReader::readRowCounts(const PsdHeader& h, RowCounts& table) {
    ScratchBuffer<int>& counts = table.counts;
    int* largest = &table.largest;
    const std::uint32_t rows = checkedProduct({h.channels, h.height}).bytes();
    const std::uint32_t bytes = checkedProduct({rows, 2}).bytes();
    // The table must be in the file before it sizes anything.
    if (bytes == 0 || bytes > bytesLeft()) return fail(kReadFailed);
    ScratchBuffer<BYTE> raw(static_cast<int>(bytes));
    if (raw.data() == nullptr || counts.ensure(static_cast<int>(rows)) == nullptr)
        return fail(kNoMemory);
    if (!m_io.readExact(raw.data(), bytes)) return fail(kReadFailed);
    *largest = 0;
    for (std::uint32_t i = 0; i < rows; ++i) {
        // Counts are signed; a negative one is an empty row.
        const int n = static_cast<std::int16_t>(raw[2 * i] << 8 | raw[2 * i + 1]);
        counts[i] = n > 0 ? n : 0;
        *largest = std::max(*largest, counts[i]);
    }
    return true;
}

// Rows of the first `channels` channels, channel c into byte c of pixels `step` bytes wide.
bool PsdReader::decodeRleRows(const PsdHeader& h, const RowCounts& table, int channels,
                              BYTE* pixels, int step) {
    const ScratchBuffer<int>& counts = table.counts;
    ScratchBuffer<BYTE> row(std::max(table.largest, 1));
    if (row.data() == nullptr) return fail(kNoMemory);
    const std::size_t rowStride = static_cast<std::size_t>(h.width) * step;
    for (int c = 0; c < channels; ++c) {
        for (std::uint32_t y = 0; y < h.height; ++y) {
            const int n = counts[static_cast<std::size_t>(c) * h.height + y];
            if (!m_io.readExact(row.data(), static_cast<unsigned>(n))) return fail(kReadFailed);
            const RowTarget target{pixels + y * rowStride, static_cast<int>(h.width), step, c};
            if (!decodePackBits(row.data(), n, target)) return fail(kReadFailed);
        }
    }
    return true;
}

// The first `channels` planes into pixels of as many bytes. A piece of every plane is read in
// turn, so that each pixel is written once and in order. A plane cut short gives only its whole
// rows, as when rows were read one at a time; the planes after it are not in the file at all.
bool PsdReader::readRawRows(const PsdHeader& h, int channels, BYTE* pixels) {
    const int sampleBytes = h.depth / 8;
    const std::uint64_t rowBytes = std::uint64_t{h.width} * sampleBytes;
    const std::uint64_t planeBytes = rowBytes * h.height;
    const std::uint64_t samples = std::uint64_t{h.width} * h.height;
    const std::uint64_t total = samples * static_cast<std::uint64_t>(channels);
    ScratchBuffer<BYTE> buffer(kMostChannels * kPieceBytes);
    if (buffer.data() == nullptr) {
        std::memset(pixels, 0, total);
        return fail(kNoMemory);
    }
    const BYTE* planes[kMostChannels];
    for (int c = 0; c < channels; ++c)
        planes[c] = buffer.data() + static_cast<std::size_t>(c) * kPieceBytes;
    const Interleave store = interleaver(channels, sampleBytes);
    std::uint64_t at = 0; // where the stream is, from the start of the first plane
    int present = channels;
    for (std::uint64_t first = 0; first < samples && present != 0;) {
        const std::uint64_t count =
            std::min<std::uint64_t>(kPieceBytes / sampleBytes, samples - first);
        const std::uint64_t start = first * sampleBytes;
        const unsigned bytes = static_cast<unsigned>(count * sampleBytes);
        for (int c = 0; c < channels; ++c) {
            BYTE* piece = buffer.data() + static_cast<std::size_t>(c) * kPieceBytes;
            unsigned got = 0;
            if (c < present) {
                const std::uint64_t offset = static_cast<std::uint64_t>(c) * planeBytes + start;
                const auto step = static_cast<std::int64_t>(offset - at);
                // A seek that fails leaves the stream where it was.
                if (step == 0 || m_io.seek(static_cast<long>(step), SEEK_CUR)) {
                    got = m_io.read(piece, bytes);
                    at = offset + got;
                }
                if (got != bytes) {
                    const std::uint64_t whole = (start + got) / rowBytes * rowBytes;
                    got = whole > start ? static_cast<unsigned>(whole - start) : 0;
                    // A row wider than a piece may have begun in pieces already stored.
                    for (std::uint64_t i = whole / sampleBytes; i < first; ++i)
                        pixels[i * channels + c] = 0;
                    present = c;
                    fail(kReadFailed);
                }
            }
            std::memset(piece + got, 0, bytes - got);
        }
        store(planes, static_cast<std::size_t>(count), pixels + first * channels);
        first += count;
        if (present == 0) std::memset(pixels + first * channels, 0, total - first * channels);
    }
    // A plane cut short left the stream at the end of the file.
    if (!ok()) m_io.seek(0, SEEK_END);
    return ok();
}

BYTE* PsdReader::readOneChannel(const PsdHeader& h, int compression) {
    if (!checkSamples(h, compression, 1)) return nullptr;
    // The row table comes first in the file, and it must be there before the image is sized.
    RowCounts rows;
    if (compression == kRle && !readRowCounts(h, rows)) return nullptr;
    if (!justify(h, compression, rows, 1)) return nullptr;
    BYTE* pixels = allocateImage(checkedProduct({h.width, h.height}), compression);
    if (pixels == nullptr) return fail(kNoMemory);
    if (compression == kRle)
        decodeRleRows(h, rows, 1, pixels, 1);
    else
        readRawRows(h, 1, pixels);
    return pixels;
}

BYTE* PsdReader::readBitmapChannel(const PsdHeader& h, int compression) {
    RowCounts rows;
    if (compression == kRle && !readRowCounts(h, rows)) return nullptr;
    if (!justify(h, compression, rows, 1)) return nullptr;
    MemoryBlock block;
    if (!block.allocate(checkedProduct({h.width, h.height}))) return fail(kNoMemory);
    BYTE* pixels = block.data();
    const std::uint32_t packedBytes = (h.width + 7) / 8;
    CDibConverter spread;
    if (compression == kRle) {
        ScratchBuffer<BYTE> data(std::max(rows.largest, 1));
        ScratchBuffer<BYTE> row(static_cast<int>(h.width));
        if (data.data() == nullptr || row.data() == nullptr) {
            fail(kNoMemory);
            return pixels;
        }
        for (std::uint32_t y = 0; y < h.height; ++y) {
            std::memset(row.data(), 0, h.width);
            const int n = rows.counts[y];
            if (!m_io.readExact(data.data(), static_cast<unsigned>(n)) ||
                !decodePackBits(data.data(), n, {row.data(), static_cast<int>(h.width), 1, 0})) {
                fail(kReadFailed);
                break;
            }
            spread.unpackPixels(row.data(), static_cast<int>(h.width), 1, 1,
                                pixels + static_cast<std::size_t>(y) * h.width);
        }
        return pixels;
    }
    ScratchBuffer<BYTE> row(static_cast<int>(packedBytes));
    if (row.data() == nullptr) {
        fail(kNoMemory);
        return pixels;
    }
    for (std::uint32_t y = 0; y < h.height; ++y) {
        if (!m_io.readExact(row.data(), packedBytes)) {
            fail(kReadFailed);
            break;
        }
        spread.unpackPixels(row.data(), static_cast<int>(h.width), 1, 1,
                            pixels + static_cast<std::size_t>(y) * h.width);
    }
    return pixels;
}

BYTE* PsdReader::readChannels(const PsdHeader& h, int compression, int channels) {
    if (!checkSamples(h, compression, channels)) return nullptr;
    RowCounts rows;
    if (compression == kRle && !readRowCounts(h, rows)) return nullptr;
    if (!justify(h, compression, rows, channels)) return nullptr;
    BYTE* pixels = allocateImage(
        checkedProduct({h.width, h.height, static_cast<std::uint64_t>(channels)}), compression);
    if (pixels == nullptr) return fail(kNoMemory);
    if (compression == kRle)
        decodeRleRows(h, rows, channels, pixels, channels);
    else
        readRawRows(h, channels, pixels);
    return pixels;
}

BYTE* PsdReader::indexToRgb(BYTE* bytes, const PsdHeader& h, const RGBQUAD* palette) {
    MemoryBlock rgb;
    if (!rgb.allocate(checkedProduct({h.width, h.height, 3}))) {
        GlobalFree(bytes);
        return fail(kNoMemory);
    }
    CDibConverter convert;
    convert.paletteToRGB(bytes, rgb.data(), static_cast<int>(h.width), static_cast<int>(h.height),
                         static_cast<int>(h.width), static_cast<int>(h.width) * 3, palette);
    GlobalFree(bytes);
    return rgb.data();
}

// Shrinks the block to three bytes a pixel; if it cannot move, it keeps its size.
BYTE* PsdReader::cmykToRgb(BYTE* cmyk, const PsdHeader& h) {
    const std::size_t pixels = static_cast<std::size_t>(h.width) * h.height;
    BYTE* p = cmyk;
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned black = p[4 * i + 3];
        p[3 * i] = static_cast<BYTE>(p[4 * i] * black / 255);
        p[3 * i + 1] = static_cast<BYTE>(p[4 * i + 1] * black / 255);
        p[3 * i + 2] = static_cast<BYTE>(p[4 * i + 2] * black / 255);
    }
    HGLOBAL shrunk = globalReAllocLimited(cmyk, static_cast<unsigned>(pixels * 3));
    return shrunk != nullptr ? static_cast<BYTE*>(shrunk) : cmyk;
}

BYTE* PsdReader::readIndexed(int* width, int* height, RGBQUAD* palette) {
    PsdHeader h;
    int compression = 0;
    if (!open(h, width, height, palette, false, &compression)) return nullptr;
    if (h.mode == kBitmap) {
        std::memset(palette, 0, 256 * sizeof(RGBQUAD));
        palette[0] = {0xFF, 0xFF, 0xFF, 0xFF};
        return readBitmapChannel(h, compression);
    }
    if (!isIndexedMode(h.mode)) return fail(kBadPsdMode);
    return readOneChannel(h, compression);
}

BYTE* PsdReader::readColour(int* width, int* height, int flags) {
    PsdHeader h;
    int compression = 0;
    RGBQUAD palette[256];
    if (!open(h, width, height, palette, true, &compression)) return nullptr;
    m_blockPixelBytes = std::max<std::uint64_t>(m_blockPixelBytes, h.mode == kCmyk ? 4 : 3);
    switch (h.mode) {
    case kBitmap: {
        BYTE* bytes = readBitmapChannel(h, compression);
        if (bytes == nullptr) return nullptr;
        const RGBQUAD whiteBlack[256] = {{0xFF, 0xFF, 0xFF, 0}, {0, 0, 0, 0}};
        return indexToRgb(bytes, h, whiteBlack);
    }
    case kGrey:
    case kIndexed:
    case kDuotone: {
        BYTE* bytes = readOneChannel(h, compression);
        return bytes != nullptr ? indexToRgb(bytes, h, palette) : nullptr;
    }
    case kRgb:
        return readChannels(h, compression, 3);
    case kCmyk: {
        BYTE* cmyk = readChannels(h, compression, 4);
        if (cmyk == nullptr || (flags & kFlagCmyk) != 0) return cmyk;
        return cmykToRgb(cmyk, h);
    }
    default:
        return fail(kBadPsdMode);
    }
}

BYTE* PsdReader::readDib(int* width, int* height, int flags) {
    int mode = 0;
    ImgResolution ignored{};
    if (!info(width, height, &mode, &ignored)) {
        if (ok()) fail(kReadFailed);
        return nullptr;
    }
    // What the resource walk said does not concern the image.
    status = kOk;
    m_io.rewind();
    // A DIB row, padded to 32 bits, never takes more than 4 bytes a pixel.
    m_blockPixelBytes = 4;
    RGBQUAD palette[256] = {};
    BYTE* pixels = nullptr;
    int bits = 0;
    if (isIndexedMode(mode)) {
        pixels = readIndexed(width, height, palette);
        bits = 8;
    } else if (mode == kRgb || mode == kCmyk) {
        pixels = readColour(width, height, mode == kCmyk ? flags : 0);
        bits = mode == kCmyk && (flags & kFlagCmyk) != 0 ? 32 : 24;
    } else {
        return fail(kNotPsd);
    }
    if (pixels == nullptr) return nullptr;
    CDibConverter convert;
    const unsigned bytes = convert.dibByteSize(*width, *height, bits, bits == 8 ? 256 : 0);
    BYTE* dib = allocateGlobal(bytes);
    if (dib == nullptr) {
        GlobalFree(pixels);
        return fail(kNoMemory);
    }
    if (bits == 8)
        convert.indexedToDIB(pixels, *width, *height, palette, dib);
    else if (bits == 24)
        convert.rgbToDIB(pixels, *width, *height, dib);
    else
        convert.rgbaToDIB(pixels, *width, *height, dib);
    GlobalFree(pixels);
    // A short file keeps the reader's code: the DIB holds only what was read.
    if (ok()) status = convert.status;
    return dib;
}

} // namespace
} // namespace img

using img::PsdReader;

extern "C" int getPSDInfo(SourceHandle src, int* width, int* height, int* mode,
                          ImgResolution* resolution) {
    return img::frameR<PsdReader>(
        src, width != nullptr && height != nullptr && mode != nullptr,
        [&](PsdReader& r) { return r.info(width, height, mode, resolution); });
}

extern "C" int readPSDPalette(SourceHandle src, int* count, RGBQUAD* palette) {
    return img::frameR<PsdReader>(src, count != nullptr,
                                  [&](PsdReader& r) { return r.palette(count, palette); });
}

extern "C" BYTE* readPSD(SourceHandle src, int* width, int* height, int bitsPerPixel,
                         RGBQUAD* palette, int flags) {
    const bool dib = (flags & IMG_FLAG_DIB) != 0;
    const bool depthOk = dib || bitsPerPixel == 24 || bitsPerPixel == 32 ||
                         (bitsPerPixel == 8 && palette != nullptr);
    return img::frameR<PsdReader>(src, width != nullptr && height != nullptr && depthOk,
                                  [&](PsdReader& r) -> BYTE* {
                                      if (dib) return r.readDib(width, height, flags);
                                      if (bitsPerPixel == 8)
                                          return r.readIndexed(width, height, palette);
                                      return r.readColour(width, height, flags);
                                  });
}
