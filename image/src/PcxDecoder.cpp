// The PCX file's own pieces: header, 256-colour palette, runs, lines and colour planes.
#include "PcxReader.h"

#include "ByteSource.h"
#include "Tables.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

constexpr unsigned kHeaderBytes = 128;
constexpr long kPalette256Bytes = 769;
constexpr BYTE kPalette256Marker = 12;
constexpr BYTE kRunMarker = 0xC0;

WORD le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

} // namespace

bool readPCXHeader(CImgIO& stream, PcxHeader& header) {
    BYTE b[kHeaderBytes];
    if (!stream.rewind() || !stream.readExact(b, sizeof b)) return false;
    header.manufacturer = b[0];
    header.version = b[1];
    header.encoding = b[2];
    header.bitsPerPixel = b[3];
    header.xMin = le16(b + 4);
    header.yMin = le16(b + 6);
    header.xMax = le16(b + 8);
    header.yMax = le16(b + 10);
    header.hRes = static_cast<std::int16_t>(le16(b + 12));
    header.vRes = static_cast<std::int16_t>(le16(b + 14));
    std::memcpy(header.egaPalette, b + 16, sizeof header.egaPalette);
    header.reserved = b[64];
    header.planes = b[65];
    header.bytesPerLine = le16(b + 66);
    header.paletteInfo = le16(b + 68);
    const int v = header.version;
    return header.manufacturer == 10 && (v == 0 || v == 2 || v == 3 || v == 5);
}

bool readPCXPalette256(CImgIO& stream, const PcxHeader& header, RGBQUAD* palette) {
    if (header.version != 5 || header.manufacturer != 10 ||
        header.planes * header.bitsPerPixel != 8)
        return false;
    BYTE marker = 0;
    BYTE triplets[768];
    if (!stream.seek(-kPalette256Bytes, SEEK_END) || !stream.readExact(&marker, 1) ||
        marker != kPalette256Marker || !stream.readExact(triplets, sizeof triplets))
        return false;
    for (int i = 0; i < 256; ++i)
        palette[i] = {triplets[3 * i + 2], triplets[3 * i + 1], triplets[3 * i], 0};
    return true;
}

namespace {

// One run from any source of bytes with `bool next(BYTE&)`.
template <class Bytes> BYTE readRun(Bytes& bytes, int* count, bool* failed) {
    BYTE code = 0;
    BYTE value = 0;
    bool ok = bytes.next(code);
    const bool run = ok && (code & kRunMarker) == kRunMarker;
    if (run)
        ok = bytes.next(value);
    else
        value = code;
    if (failed != nullptr) *failed = !ok;
    if (!ok) {
        *count = 1;
        return 0;
    }
    *count = run ? code & 0x3F : 1;
    return value;
}

struct StreamBytes {
    CImgIO& stream;
    bool next(BYTE& b) { return stream.readExact(&b, 1); }
};

} // namespace

BYTE readPCXRun(CImgIO& stream, int* count, bool* failed) {
    StreamBytes bytes{stream};
    return readRun(bytes, count, failed);
}

// Runs stop at the end of the line: the rest of a longer run is dropped, not carried over.
unsigned decodePCXLine(CImgIO& stream, const PcxHeader& header, BYTE* line, PcxInput* input) {
    const unsigned length = static_cast<unsigned>(header.bytesPerLine) * header.planes;
    if (*input != PcxInput::File) {
        // Every read fails from here on, and each failure is a run of one zero byte.
        if (*input == PcxInput::Ended) std::memset(line, 0, length);
        *input = PcxInput::Zero;
        return std::max(length, 1u);
    }
    // A line's coded bytes come in pieces; what it leaves goes back for the next line.
    ByteSource coded(stream);
    unsigned done = 0;
    do {
        int count = 0;
        bool failed = false;
        const BYTE value = readRun(coded, &count, &failed);
        if (failed) {
            const unsigned end = done < length ? length : done + 1;
            if (done < length) std::memset(line + done, 0, length - done);
            *input = done == 0 ? PcxInput::Zero : PcxInput::Ended;
            return end;
        }
        if (count == 1) {
            // Most bytes of a photograph stand for themselves.
            line[done++] = value;
            continue;
        }
        const unsigned n = std::min(static_cast<unsigned>(count), length - done);
        std::memset(line + done, value, n);
        done += static_cast<unsigned>(count);
    } while (done < length);
    return done;
}

bool combinePCXPlanes(const PcxHeader& header, const BYTE* line, BYTE* destination, unsigned length,
                      bool copyAllowed, int order) {
    if (order < 0 || order > 2) return false;
    const unsigned planes = header.planes;
    const unsigned planeBytes = header.bytesPerLine;
    const unsigned bits = header.bitsPerPixel;
    if (planes == 1) {
        if (copyAllowed) copyBytes(destination, line, std::min(length, planeBytes));
        return true;
    }
    std::memset(destination, 0, length);
    const unsigned depth = planes * bits;
    const unsigned width = static_cast<WORD>(header.xMax - header.xMin + 1);
    if ((bits == 1 || bits == 4) && depth != 0 && depth <= 8) {
        // Bit b of plane i is bit i of pixel b, the pixels packed from each byte's top bits.
        const unsigned perByte = 8 / depth;
        const unsigned pixels = std::min({planeBytes * 8, width, length * perByte});
        for (unsigned i = 0; i < planes; ++i) {
            const BYTE* plane = line + i * planeBytes;
            for (unsigned k = 0; k < pixels; ++k) {
                if (((plane[k >> 3] >> (7 - (k & 7))) & 1) == 0) continue;
                const unsigned offset = 8 - (k % perByte + 1) * depth;
                destination[k / perByte] |= static_cast<BYTE>(1u << (offset + i));
            }
        }
    } else if (bits == 8) {
        const unsigned pixelBytes = planes;
        const unsigned pixels = std::min({width, planeBytes, length / pixelBytes});
        for (unsigned i = 0; i < planes; ++i) {
            const BYTE* plane = line + i * planeBytes;
            const unsigned at = order == 2 ? planes - 1 - i : i;
            for (unsigned j = 0; j < pixels; ++j)
                destination[j * pixelBytes + at] = plane[j];
        }
    }
    return true;
}

} // namespace img
