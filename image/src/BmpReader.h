// Windows and OS/2 bitmap files: one reader record whose header stage every worker shares.
// The workers are split by encoding: plain rows in BmpReader.cpp, runs in BmpRle.cpp, the
// packed DIB in BmpPackedDib.cpp.
#pragma once

#include "CImgIO.h"
#include "Status.h"
#include "imgcore.h"

#include <cstdint>

namespace img {

inline constexpr DWORD kBmpWindowsHeader = 40;
inline constexpr DWORD kBmpOs2Header = 12;
inline constexpr unsigned kBmpFileHeader = 14;
// File header plus the Windows info header: where a table or the pixels would begin.
inline constexpr unsigned kBmpHeadersEnd = kBmpFileHeader + kBmpWindowsHeader;
// The colour readers' tables; entries the file does not give stay black.
inline constexpr unsigned kBmpTableEntries = 256;

struct BmpHeader {
    DWORD pixelOffset = 0;
    DWORD size = 0;
    LONG width = 0;
    LONG height = 0;
    WORD bitCount = 0;
    DWORD compression = 0;
    LONG xPelsPerMeter = 0;
    LONG yPelsPerMeter = 0;
    DWORD clrUsed = 0;
    BYTE raw[kBmpWindowsHeader] = {}; // the Windows header as read, for the packed DIB

    bool os2() const { return size == kBmpOs2Header; }
    // Colours used, or two to the depth when 0; 0 for depths whose count does not fit.
    std::uint64_t colourCount() const {
        if (clrUsed != 0) return clrUsed;
        return bitCount < 32 ? std::uint64_t{1} << bitCount : 0;
    }
    // Bytes of all the padded rows an uncompressed file stores, however many that is.
    std::uint64_t storedRowBytes() const {
        return (static_cast<std::uint64_t>(width < 0 ? 0 : width) * bitCount + 31) / 32 * 4 *
               rowCount();
    }
    std::uint64_t pixelCount() const {
        return static_cast<std::uint64_t>(width < 0 ? 0 : width) * rowCount();
    }
    // Rows stored in the file; a negative height only says they run top-down.
    std::uint64_t rowCount() const {
        return static_cast<std::uint64_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    }
};

class BmpReader : public Operation {
public:
    explicit BmpReader(CImgIO& io) : m_io(io) {}

    // getBMPInfo's worker; flags bit 0 asks for undivided pixels per metre (unit 2).
    int info(int* width, int* height, int* bitsPerPixel, ImgResolution* resolution, int flags);
    int readPalette(int* count, RGBQUAD* palette);
    BYTE* readIndexed(int* width, int* height, int bitsPerPixel, RGBQUAD* palette);
    BYTE* readColour(int* width, int* height, int bitsPerPixel);
    BYTE* decodeRle(int* width, int* height, int bitsPerPixel);
    BYTE* readPackedDib();

private:
    bool readHeader(BmpHeader& header);
    bool checkDimensions(const BmpHeader& header);
    bool skip(std::uint64_t bytes, int code);
    bool moveToPixels(const BmpHeader& header);
    // OS/2 tables: blue, green, red triples; the fourth byte of each entry is left alone.
    bool readTriples(int depth, RGBQUAD* entries);
    BYTE* readPackedDibOs2(const BmpHeader& header);
    template <class Convert>
    BYTE* readRows(const BmpHeader& header, unsigned outRowBytes, bool countedReads,
                   Convert convert);

    CImgIO& m_io;
};

// Out-parameters that a caller left null are not written.
inline void setOut(int* out, int value) {
    if (out != nullptr) *out = value;
}

} // namespace img
