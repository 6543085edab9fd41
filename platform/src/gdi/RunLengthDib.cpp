// Run-length DIBs (BI_RLE8, BI_RLE4) decoded to one colour index per pixel. The runs are read
// no further than the header's image size, and a run or delta that leaves the bitmap is cut
// where it leaves, so a hostile stream can neither read past its data nor write past a row.
#include "gdi/Dib.h"

#include <algorithm>

namespace winplat::gdi {
namespace {

// Escape codes that follow a zero count.
constexpr BYTE kEndOfLine = 0;
constexpr BYTE kEndOfBitmap = 1;
constexpr BYTE kDelta = 2;

// A few runs can describe a vast bitmap; each of its pixels costs a byte here.
constexpr std::size_t kPixelLimit = std::size_t{1} << 26;

class RunWriter {
public:
    explicit RunWriter(RleDib& dib) : m_dib(dib), m_y(dib.surface.height - 1) {}
    bool inside() const { return m_y >= 0; }
    void put(BYTE index) {
        const int w = m_dib.surface.width;
        if (m_y < 0 || m_x >= w) return;
        const std::size_t k = static_cast<std::size_t>(m_y) * w + m_x;
        m_dib.indices[k] = index;
        m_dib.written[k] = true;
        std::vector<RunRow>& rows = m_dib.rows;
        if (rows.empty() || rows.back().y != m_y) rows.push_back({m_y, m_x, m_x});
        rows.back().end = ++m_x;
    }
    void endLine() {
        m_x = 0;
        --m_y;
    }
    // Rows count up from the bottom, the bitmap being stored bottom-up.
    void move(int dx, int dy) {
        m_x = std::min(m_x + dx, m_dib.surface.width);
        m_y -= dy;
    }

private:
    RleDib& m_dib;
    int m_x = 0;
    int m_y;
};

void decodeRuns(const BYTE* in, std::size_t size, bool four, RleDib& dib) {
    RunWriter out(dib);
    std::size_t at = 0;
    // Each unit is a pixel of RLE8 or a pair of pixels of RLE4.
    const auto putUnit = [&](BYTE value, int& left) {
        if (!four) {
            out.put(value);
            --left;
            return;
        }
        out.put(static_cast<BYTE>(value >> 4));
        if (--left > 0) {
            out.put(static_cast<BYTE>(value & 0x0F));
            --left;
        }
    };
    while (at + 1 < size && out.inside()) {
        const BYTE count = in[at];
        const BYTE code = in[at + 1];
        at += 2;
        if (count > 0) {
            int left = count;
            while (left > 0)
                putUnit(code, left);
            continue;
        }
        if (code == kEndOfLine) {
            out.endLine();
        } else if (code == kEndOfBitmap) {
            return;
        } else if (code == kDelta) {
            if (at + 1 >= size) return;
            out.move(in[at], in[at + 1]);
            at += 2;
        } else {
            const std::size_t bytes = four ? (code + 1u) / 2 : code;
            if (bytes > size - at) return;
            int left = code;
            for (std::size_t i = 0; i < bytes; ++i)
                putUnit(in[at + i], left);
            at += (bytes + 1) & ~std::size_t{1}; // absolute runs end on a 16-bit boundary
        }
    }
}

} // namespace

bool decodeRleDib(const BITMAPINFO* info, const void* bits, RleDib& dib) {
    if (info == nullptr || bits == nullptr) return false;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const bool four = h.biCompression == BI_RLE4 && h.biBitCount == 4;
    const bool eight = h.biCompression == BI_RLE8 && h.biBitCount == 8;
    // Runs are stored bottom-up only.
    if ((!four && !eight) || h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > 0x10000 ||
        h.biWidth <= 0 || h.biHeight <= 0)
        return false;
    const std::size_t stride = dibStride(h.biWidth, h.biBitCount);
    const auto pixels = static_cast<std::size_t>(h.biWidth) * static_cast<std::size_t>(h.biHeight);
    if (stride == 0 || pixels > kPixelLimit) return false;
    // Without an image size the data is taken to be no longer than the same bitmap unpacked.
    const std::size_t size = h.biSizeImage != 0 ? h.biSizeImage : stride * h.biHeight;
    dib = RleDib{};
    dib.indices.assign(pixels, 0);
    dib.written.assign(pixels, false);
    Surface& s = dib.surface;
    s.width = h.biWidth;
    s.height = h.biHeight;
    s.bits = 8;
    s.top = dib.indices.data();
    s.step = h.biWidth;
    const DWORD full = 1u << h.biBitCount;
    s.tableSize = static_cast<int>(h.biClrUsed != 0 && h.biClrUsed < full ? h.biClrUsed : full);
    s.table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + h.biSize);
    decodeRuns(static_cast<const BYTE*>(bits), size, four, dib);
    // Runs go up the bitmap, never down, so the rows were met bottom row first.
    std::reverse(dib.rows.begin(), dib.rows.end());
    return true;
}

} // namespace winplat::gdi
