// Wireless bitmaps of type 0: a two-byte zero header, width and height as multi-byte
// integers, then one bit per pixel, rows top-down, 1 white and 0 black.
#include "BlockBudget.h"
#include "CDibConverter.h"
#include "CheckedSize.h"
#include "EntryFrame.h"
#include "MemoryBlock.h"

#include <climits>
#include <cstring>

namespace img {
namespace {

constexpr unsigned kWbmpDibHead = sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD);
constexpr RGBQUAD kWbmpPalette[2] = {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}};

class WbmpReader : public Operation {
public:
    explicit WbmpReader(CImgIO& io) : m_io(io) {}

    int size(int* width, int* height) {
        *width = 0;
        *height = 0;
        int w = 0, h = 0;
        if (!readHeader(w, h)) return 0;
        *width = w;
        *height = h;
        return 1;
    }

    BYTE* read(int* width, int* height, RGBQUAD* palette, int bitsPerPixel, int flags) {
        const bool dib = (flags & IMG_FLAG_DIB) != 0;
        if (!dib && palette == nullptr) return fail(kBadArgument);
        int w = 0, h = 0;
        if (!readHeader(w, h)) return nullptr;
        if (w == 0 || h == 0) return fail(kBadWbmpHeader);
        if (dib) bitsPerPixel = 1;

        const unsigned fileRowBytes = (static_cast<unsigned>(w) + 7) / 8;
        const unsigned rowBytes = dib ? paddedRowBytes(static_cast<unsigned>(w), 1).bytes()
                                  : bitsPerPixel == 1 ? fileRowBytes
                                                      : static_cast<unsigned>(w);
        const unsigned header = dib ? kWbmpDibHead : 0;
        const Size total = imageBlockSize(header, rowBytes, h);
        if (!blockJustified(Encoding::RawRows, total,
                            std::uint64_t{static_cast<unsigned>(w)} * static_cast<unsigned>(h),
                            std::uint64_t{fileRowBytes} * static_cast<unsigned>(h),
                            bytesLeft(m_io)))
            return fail(kReadFailed);
        MemoryBlock block;
        if (!block.allocate(total)) return fail(kNoMemory);
        BYTE* rows = block.data();
        if (dib) {
            writeDIBHeader(rows, w, h, 1, total.bytes() - header, 2, 0);
            std::memcpy(rows + sizeof(BITMAPINFOHEADER), kWbmpPalette, sizeof kWbmpPalette);
            rows += kWbmpDibHead;
        } else {
            palette[0] = kWbmpPalette[0];
            palette[1] = kWbmpPalette[1];
        }

        for (int y = 0; y < h && ok(); ++y) {
            BYTE* out = rows + static_cast<std::size_t>(dib ? h - 1 - y : y) * rowBytes;
            if (bitsPerPixel == 1) {
                if (!m_io.readExact(out, fileRowBytes)) fail(kReadFailed);
            } else {
                readBytePerPixelRow(out, w);
            }
        }
        *width = w;
        *height = h;
        return block.data();
    }

private:
    // Widths and heights past INT_MAX fit no image, so the integer is refused there.
    bool readNumber(int& value) {
        std::uint64_t v = 0;
        BYTE b;
        do {
            if (m_io.read(&b, 1) != 1) return false;
            v = v * 128 + (b & 0x7F);
            if (v > INT_MAX) return false;
        } while ((b & 0x80) != 0);
        value = static_cast<int>(v);
        return true;
    }

    bool readHeader(int& width, int& height) {
        BYTE head[2];
        if (!m_io.readExact(head, 2) || head[0] != 0 || head[1] != 0 || !readNumber(width) ||
            !readNumber(height))
            return fail(kBadWbmpHeader);
        return true;
    }

    void readBytePerPixelRow(BYTE* out, int width) {
        for (int x = 0; x < width; x += 8) {
            BYTE b;
            if (m_io.read(&b, 1) != 1) {
                fail(kReadFailed);
                return;
            }
            for (int bit = 0; bit < 8 && x + bit < width; ++bit)
                out[x + bit] = (b >> (7 - bit)) & 1;
        }
    }

    CImgIO& m_io;
};

} // namespace
} // namespace img

using namespace img;

extern "C" int getWBMPSize(SourceHandle src, int* width, int* height) {
    return frameR<WbmpReader>(src, width != nullptr && height != nullptr,
                              [&](WbmpReader& reader) { return reader.size(width, height); });
}

extern "C" BYTE* readWBMP(SourceHandle src, int* width, int* height, RGBQUAD* palette,
                          int bitsPerPixel, int flags) {
    return frameR<WbmpReader>(src, width != nullptr && height != nullptr, [&](WbmpReader& reader) {
        return reader.read(width, height, palette, bitsPerPixel, flags);
    });
}
