// Run-length BMP pixels (RLE8 and RLE4), decoded into an 8-, 24- or 32-bit top-down image.
#include "BlockBudget.h"
#include "BmpReader.h"
#include "ByteSource.h"
#include "CDibConverter.h"
#include "CheckedSize.h"
#include "MemoryBlock.h"

#include <algorithm>
#include <cstring>

namespace img {
namespace {

// Where decoded pixels go. Runs are cut at the row's end and nothing lands outside the image,
// whatever the deltas and line ends say.
class RunWriter {
public:
    RunWriter(BYTE* image, int width, int height, int bytesPerPixel, int depth,
              const RGBQUAD* table)
        : m_image(image), m_width(width), m_bytesPerPixel(bytesPerPixel), m_depth(depth),
          m_table(table), m_row(height - 1) {}

    void put(const BYTE* run, int count) {
        if (m_row < 0) return;
        const int k = std::min(count, m_width - m_column);
        if (k <= 0) return;
        BYTE* out = m_image + (static_cast<std::size_t>(m_row) * m_width + m_column) *
                                  static_cast<std::size_t>(m_bytesPerPixel);
        if (m_bytesPerPixel == 1)
            m_converter.unpackRow(run, out, k, m_depth);
        else
            m_converter.dibRowToRGB(run, out, k, m_depth, m_table, kBmpTableEntries, nullptr,
                                    m_bytesPerPixel == 4, 255);
        m_column += k;
    }
    void endOfLine() {
        up(1);
        m_column = 0;
    }
    void right(int columns) { m_column = std::min(m_column + columns, m_width); }
    // Rows above the top take nothing; the cursor stays just past it.
    void up(int rows) { m_row = std::max(m_row - rows, -1); }

private:
    CDibConverter m_converter;
    BYTE* m_image;
    int m_width;
    int m_bytesPerPixel;
    int m_depth;
    const RGBQUAD* m_table;
    int m_row;
    int m_column = 0;
};

enum RleState { kCount, kRunValue, kEscapeZero, kEscapeCode, kAbsolute, kDeltaX, kDeltaY };

} // namespace

BYTE* BmpReader::decodeRle(int* width, int* height, int bitsPerPixel) {
    if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return fail(kUnsupportedDepth);
    BmpHeader h;
    if (!readHeader(h)) return nullptr;
    if (h.os2()) return fail(kBadHeader);
    const bool rle8 = h.compression == BI_RLE8 && h.bitCount == 8;
    const bool rle4 = h.compression == BI_RLE4 && h.bitCount == 4;
    if (!rle8 && !rle4) return fail(kCompressionMismatch);
    // Run-length rows are always stored bottom-up; a negative height is not a layout here.
    if (!checkDimensions(h)) return nullptr;
    if (h.height < 0) return fail(kBadHeader);

    const std::uint64_t count = h.colourCount();
    const unsigned kept = static_cast<unsigned>(std::min<std::uint64_t>(count, 256));
    RGBQUAD table[kBmpTableEntries] = {};
    if (!m_io.readExact(table, kept * sizeof(RGBQUAD))) return fail(kReadFailed);
    const std::int64_t gap = static_cast<std::int64_t>(h.pixelOffset) -
                             static_cast<std::int64_t>(count * sizeof(RGBQUAD)) - kBmpHeadersEnd;
    if (gap < 0) return fail(kBadHeader);
    if (!skip((count - kept) * sizeof(RGBQUAD) + static_cast<std::uint64_t>(gap), kBadHeader))
        return nullptr;

    setOut(width, h.width);
    setOut(height, h.height);
    const int bytesPerPixel = bitsPerPixel / 8;
    const std::uint32_t rowBytes = checkedProduct({h.width, bytesPerPixel}).bytes();
    const Size imageBytes = imageBlockSize(0, rowBytes, h.height);
    // Deltas and end-of-bitmap skip pixels, so runs have no least size: only the ceiling holds.
    if (!blockJustified(Encoding::Skipping, imageBytes, h.pixelCount(), 0, 0))
        return fail(kReadFailed);
    MemoryBlock image;
    if (!image.allocate(imageBytes)) return fail(kNoMemory);
    if (bytesPerPixel != 1) {
        const RGBQUAD& e = table[0];
        DWORD colour = static_cast<DWORD>(e.rgbBlue) << 16 | e.rgbGreen << 8 | e.rgbRed;
        if (bytesPerPixel == 4) colour |= 255u << 24;
        CDibConverter().fillRect(image.data(), h.width, h.height, static_cast<int>(rowBytes),
                                 colour, bytesPerPixel);
    }

    RunWriter out(image.data(), h.width, h.height, bytesPerPixel, h.bitCount, table);
    ByteSource bytes(m_io);
    // Data that ends before the end-of-bitmap escape leaves the image as decoded so far.
    auto cut = [&] {
        fail(kReadFailed);
        return image.data();
    };
    BYTE run[256];
    RleState state = kCount;
    int length = 0;
    bool pad = false;
    // Escapes are recognised only where a pair begins, that is at odd byte numbers.
    for (std::uint64_t number = 1;; ++number) {
        BYTE b;
        if (!bytes.next(b)) return cut();
        if (state == kCount && b == 0 && (number & 1) != 0) state = kEscapeZero;
        switch (state) {
        case kCount:
            if (b != 0) {
                length = b;
                state = kRunValue;
            }
            break;
        case kRunValue:
            std::memset(run, b, rle8 ? length : (length + 1) / 2);
            out.put(run, length);
            state = kCount;
            break;
        case kEscapeZero:
            state = kEscapeCode;
            break;
        case kEscapeCode:
            state = kCount;
            if (b == 0) {
                out.endOfLine();
            } else if (b == 1) {
                return image.data();
            } else if (b == 2) {
                state = kDeltaX;
            } else {
                length = b;
                pad = rle8 ? (b & 1) != 0 : (b % 4 == 1 || b % 4 == 2);
                state = kAbsolute;
            }
            break;
        case kAbsolute:
            run[0] = b;
            out.put(run, rle8 ? 1 : std::min(length, 2));
            length -= rle8 ? 1 : 2;
            if (length <= 0) {
                state = kCount;
                if (pad) {
                    pad = false;
                    if (!bytes.next(b)) return cut();
                    ++number;
                }
            }
            break;
        case kDeltaX:
            out.right(b);
            state = kDeltaY;
            break;
        case kDeltaY:
            out.up(b);
            state = kCount;
            break;
        }
    }
}

} // namespace img
