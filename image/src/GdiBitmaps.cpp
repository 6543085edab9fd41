// Device-dependent bitmaps to packed DIBs and RGB buffers and back, and copies of what a
// device shows. Every GDI object and DC taken here is given back on every path, and palettes
// are selected out again before their DC goes.
#include "CDibConverter.h"
#include "EntryFrame.h"
#include "Trace.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace img {
namespace {

constexpr unsigned kHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr WORD kPaletteVersion = 0x300;
// The whole system palette: leaving out its last entry would turn white, the colour there,
// into the nearest one left.
constexpr UINT kSystemEntries = 256;

// Bytes of rows fetched from a bitmap at once on their way into an RGB buffer: few GetDIBits
// calls, and a small part of any large picture.
constexpr std::uint32_t kBandBytes = 1u << 20;

int rasterCaps(HDC dc) {
    return GetDeviceCaps(dc, RASTERCAPS);
}

// A logical palette in a zero-filled LOGPALETTE buffer of `count` entries; the buffer is null
// when its memory can't be had.
std::vector<BYTE> logPaletteBuffer(UINT count) {
    std::vector<BYTE> buffer;
    try {
        buffer.assign(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY), 0);
    } catch (const std::bad_alloc&) {
        buffer.clear();
    }
    if (!buffer.empty()) {
        auto* lp = reinterpret_cast<LOGPALETTE*>(buffer.data());
        lp->palVersion = kPaletteVersion;
        lp->palNumEntries = static_cast<WORD>(count);
    }
    return buffer;
}

PALETTEENTRY* entriesOf(std::vector<BYTE>& buffer) {
    return reinterpret_cast<LOGPALETTE*>(buffer.data())->palPalEntry;
}

// Colour-table entries of a DIB header: biClrUsed, or all that its bit count can index.
std::uint64_t tableEntries(const BITMAPINFOHEADER& h) {
    if (h.biClrUsed != 0) return h.biClrUsed;
    return h.biBitCount < 32 ? std::uint64_t{1} << h.biBitCount : std::uint64_t{1} << 32;
}

// The screen DC with a palette, or the stock one, selected and realized while it lives.
class ScreenWithPalette {
public:
    explicit ScreenWithPalette(HPALETTE palette) : m_dc(GetDC(nullptr)) {
        HPALETTE chosen =
            palette != nullptr ? palette : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
        m_previous = SelectPalette(m_dc, chosen, FALSE);
        RealizePalette(m_dc);
    }
    ~ScreenWithPalette() {
        if (m_previous != nullptr) SelectPalette(m_dc, m_previous, FALSE);
        ReleaseDC(nullptr, m_dc);
    }
    ScreenWithPalette(const ScreenWithPalette&) = delete;
    ScreenWithPalette& operator=(const ScreenWithPalette&) = delete;

    HDC dc() const { return m_dc; }

private:
    HDC m_dc;
    HPALETTE m_previous = nullptr;
};

// A zero-filled block with the header of a packed DIB of `bitmap` at its own depth and room
// for the colour table that GDI fills; false when the block can't be had.
bool beginDIB(HBITMAP bitmap, MemoryBlock& block, unsigned& tableBytes) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    const int bits = bm.bmPlanes * bm.bmBitsPixel;
    tableBytes = bits >= 1 && bits <= 8 ? (1u << bits) * sizeof(RGBQUAD) : 0;
    if (!block.allocate(kHeaderBytes + tableBytes)) return false;
    writeDIBHeader(block.data(), bm.bmWidth, bm.bmHeight, bits, 0, 0, 0);
    return true;
}

} // namespace

int CDibConverter::bitmapToRGB(HBITMAP bitmap, HDC dc, BYTE* rgb) {
    status = kOk;
    const int caps = rasterCaps(dc);
    if ((caps & RC_DI_BITMAP) == 0) return fail(kMissingRasterCaps);
    HPALETTE palette = nullptr;
    if ((caps & RC_PALETTE) != 0) {
        std::vector<BYTE> lp = logPaletteBuffer(kSystemEntries);
        if (lp.empty()) return fail(kNoMemory);
        GetSystemPaletteEntries(dc, 0, kSystemEntries, entriesOf(lp));
        palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(lp.data()));
    }
    const int converted = bitmapRowsToRGB(bitmap, palette, rgb);
    if (palette != nullptr) DeleteObject(palette);
    return converted;
}

// What bitmapToDIB and then dibToRGB would give, fetched a band of rows at a time: a picture
// as large as a device bitmap may be must not be held twice on its way into the caller's
// buffer.
int CDibConverter::bitmapRowsToRGB(HBITMAP bitmap, HPALETTE palette, BYTE* rgb) {
    ScreenWithPalette screen(palette);
    MemoryBlock header;
    unsigned tableBytes = 0;
    if (!beginDIB(bitmap, header, tableBytes)) return fail(kNoMemory);
    const int result = fetchRows(header, tableBytes, bitmap, screen.dc(), rgb);
    header.release();
    return result;
}

// GDI completes the header and the colour table, then the rows come over in bands.
int CDibConverter::fetchRows(MemoryBlock& header, unsigned tableBytes, HBITMAP bitmap, HDC screen,
                             BYTE* rgb) {
    auto* info = reinterpret_cast<BITMAPINFO*>(header.data());
    const auto lines = static_cast<UINT>(info->bmiHeader.biHeight);
    if (GetDIBits(screen, bitmap, 0, lines, nullptr, info, DIB_RGB_COLORS) == 0)
        return fail(kGetDIBitsFailed);
    DibRowLayout rows;
    if (!rowLayout(header.data(), tableBytes, rgb, rows)) return 0;
    if (rows.rowBytes > kBandBytes) return fetchRowPieces(bitmap, screen, rows, rgb);

    const int bandRows = static_cast<int>(std::min<std::uint64_t>(
        kBandBytes / rows.rowBytes, static_cast<std::uint64_t>(rows.height)));
    MemoryBlock band;
    if (!band.allocate(checkedProduct({rows.rowBytes, bandRows}))) return fail(kNoMemory);
    for (int first = 0; first < rows.height && ok(); first += bandRows) {
        const int count = std::min(bandRows, rows.height - first);
        if (GetDIBits(screen, bitmap, static_cast<UINT>(first), static_cast<UINT>(count),
                      band.data(), info, DIB_RGB_COLORS) != count) {
            fail(kGetDIBitsFailed);
            break;
        }
        for (int i = 0; i < count; ++i)
            dibRowToRGB(band.data() + static_cast<std::size_t>(i) * rows.rowBytes,
                        rows.outputRow(rgb, first + i), rows.width, rows.bits, rows.table,
                        rows.tableEntries, nullptr, false, 0);
    }
    band.release();
    return ok() ? 1 : 0;
}

// A row longer than a band goes over in pieces: each is copied into a one-row bitmap of the
// same format and fetched from there.
int CDibConverter::fetchRowPieces(HBITMAP bitmap, HDC screen, const DibRowLayout& rows, BYTE* rgb) {
    const int pieceWidth =
        static_cast<int>(kBandBytes * 8 / static_cast<unsigned>(rows.bits)) & ~31;
    HDC source = CreateCompatibleDC(screen);
    HDC target = source != nullptr ? CreateCompatibleDC(screen) : nullptr;
    HGDIOBJ sourceWas = target != nullptr ? SelectObject(source, bitmap) : nullptr;
    HBITMAP piece = sourceWas != nullptr ? CreateCompatibleBitmap(source, pieceWidth, 1) : nullptr;
    MemoryBlock info;
    MemoryBlock band;
    if (source == nullptr || target == nullptr) {
        fail(kNoDeviceContext);
    } else if (sourceWas == nullptr) {
        fail(kSelectFailed);
    } else if (piece == nullptr) {
        fail(kNoCompatibleBitmap);
    } else if (!info.allocate(kHeaderBytes + rows.tableBytes) ||
               !band.allocate(dibRowBytes(pieceWidth, rows.bits))) {
        fail(kNoMemory);
    } else {
        writeDIBHeader(info.data(), pieceWidth, 1, rows.bits, 0, 0, 0);
        auto* pieceInfo = reinterpret_cast<BITMAPINFO*>(info.data());
        for (int y = 0; y < rows.height && ok(); ++y)
            for (int x = 0; x < rows.width && ok(); x += pieceWidth) {
                const int count = std::min(pieceWidth, rows.width - x);
                if (!copyPiece(target, piece, source, x, y, count)) break;
                if (GetDIBits(screen, piece, 0, 1, band.data(), pieceInfo, DIB_RGB_COLORS) != 1) {
                    fail(kGetDIBitsFailed);
                    break;
                }
                dibRowToRGB(band.data(), rgb + (static_cast<std::size_t>(y) * rows.width + x) * 3,
                            count, rows.bits, pieceInfo->bmiColors, rows.tableEntries, nullptr,
                            false, 0);
            }
    }
    info.release();
    band.release();
    if (piece != nullptr) DeleteObject(piece);
    if (sourceWas != nullptr) SelectObject(source, sourceWas);
    if (target != nullptr) DeleteDC(target);
    if (source != nullptr) DeleteDC(source);
    return ok() ? 1 : 0;
}

// Pixels [x, x + count) of row y of the bitmap in `source` into the start of `piece`, which is
// left unselected again so that GDI will read it.
bool CDibConverter::copyPiece(HDC target, HBITMAP piece, HDC source, int x, int y, int count) {
    HGDIOBJ was = SelectObject(target, piece);
    if (was == nullptr) return fail(kSelectFailed);
    const BOOL copied = BitBlt(target, 0, 0, count, 1, source, x, y, SRCCOPY);
    SelectObject(target, was);
    return copied ? true : fail(kBitBltFailed);
}

BYTE* CDibConverter::bitmapToDIB(HBITMAP bitmap, HPALETTE palette) {
    status = kOk;
    ScreenWithPalette screen(palette);
    MemoryBlock block;
    unsigned tableBytes = 0;
    if (!beginDIB(bitmap, block, tableBytes)) return fail(kNoMemory);
    return fillDIBBits(block, bitmap, screen.dc(), tableBytes);
}

// The second half of bitmapToDIB: let GDI complete the header, grow the block, fetch the rows.
BYTE* CDibConverter::fillDIBBits(MemoryBlock& block, HBITMAP bitmap, HDC screen,
                                 unsigned tableBytes) {
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    const auto lines = static_cast<UINT>(info->bmiHeader.biHeight);
    if (GetDIBits(screen, bitmap, 0, lines, nullptr, info, DIB_RGB_COLORS) == 0) {
        block.release();
        return fail(kGetDIBitsFailed);
    }
    BITMAPINFOHEADER h;
    std::memcpy(&h, block.data(), sizeof h);
    // The rows GetDIBits writes, whatever size the header claims for them.
    const Size total =
        imageBlockSize(kHeaderBytes + tableBytes,
                       paddedRowBytes(static_cast<std::uint32_t>(h.biWidth), h.biBitCount),
                       static_cast<std::uint32_t>(h.biHeight));
    if (!total.ok() || !block.resize(total)) {
        block.release();
        return fail(kNoMemory);
    }
    info = reinterpret_cast<BITMAPINFO*>(block.data());
    if (GetDIBits(screen, bitmap, 0, lines, block.data() + kHeaderBytes + tableBytes, info,
                  DIB_RGB_COLORS) == 0) {
        block.release();
        return fail(kGetDIBitsFailed);
    }
    return block.data();
}

HBITMAP CDibConverter::DIBToHBITMAP(const BYTE* dib, HPALETTE palette, HDC dc) {
    status = kOk;
    if (dib == nullptr) return fail(kBadArgument);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    if (h.biSize != kHeaderBytes) return fail(kBadArgument);
    if (dc != nullptr) return deviceBitmap(dib, palette, dc);
    HDC screen = GetDC(nullptr);
    HBITMAP result = deviceBitmap(dib, palette, screen);
    ReleaseDC(nullptr, screen);
    return result;
}

// DIBToHBITMAP once the DC is settled.
HBITMAP CDibConverter::deviceBitmap(const BYTE* dib, HPALETTE palette, HDC dc) {
    const int caps = rasterCaps(dc);
    if ((caps & RC_DI_BITMAP) == 0) return fail(kMissingRasterCaps);
    const BYTE* bits = dibPixelData(dib);
    if (bits == nullptr) return nullptr;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);

    HPALETTE built = nullptr;
    const std::uint64_t entries = tableEntries(h);
    if (palette == nullptr && entries <= 256 && (caps & RC_PALETTE) != 0) {
        std::vector<BYTE> lp = logPaletteBuffer(static_cast<UINT>(entries));
        if (lp.empty()) return fail(kNoMemory);
        const auto* table = reinterpret_cast<const RGBQUAD*>(dib + kHeaderBytes);
        PALETTEENTRY* out = entriesOf(lp);
        for (std::uint64_t i = 0; i < entries; ++i)
            out[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
        built = CreatePalette(reinterpret_cast<LOGPALETTE*>(lp.data()));
    }
    HPALETTE chosen = palette != nullptr ? palette : built;
    HPALETTE previous = nullptr;
    if (chosen != nullptr) {
        previous = SelectPalette(dc, chosen, FALSE);
        RealizePalette(dc);
    }
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib);
    HBITMAP bitmap = CreateDIBitmap(dc, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
    if (bitmap == nullptr) {
        trace(kTraceError, "DIBToHBITMAP error: GetLastError = %d\n",
              static_cast<int>(GetLastError()));
        fail(kNoDeviceBitmap);
    }
    if (previous != nullptr) SelectPalette(dc, previous, FALSE);
    if (built != nullptr) DeleteObject(built);
    return bitmap;
}

HBITMAP CDibConverter::rgbToBitmap(const BYTE* rgb, int width, int height, HPALETTE palette,
                                   HDC dc) {
    status = kOk;
    if (rgb == nullptr) return fail(kBadArgument);
    BYTE* dib = rgbToDIB(rgb, width, height);
    if (dib == nullptr) return nullptr;
    HBITMAP bitmap = DIBToHBITMAP(dib, palette, dc);
    GlobalFree(dib);
    return bitmap;
}

int CDibConverter::dcToRGB(HDC dc, int x, int y, int width, int height, BYTE* rgb) {
    status = kOk;
    if (dc == nullptr || width <= 0 || height <= 0) return fail(kBadArgument);
    const int needed = RC_BITBLT | RC_BITMAP64;
    if ((rasterCaps(dc) & needed) != needed) return fail(kMissingRasterCaps);
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) return fail(kNoDeviceContext);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    if (bitmap == nullptr) {
        DeleteDC(memory);
        return fail(kNoCompatibleBitmap);
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (previous == nullptr) {
        DeleteObject(bitmap);
        DeleteDC(memory);
        return fail(kSelectFailed);
    }
    const BOOL copied = BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    SelectObject(memory, previous);
    const int result = copied ? bitmapToRGB(bitmap, dc, rgb) : fail(kBitBltFailed);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return result;
}

} // namespace img

extern "C" int copyDCToRGB(HDC dc, int x, int y, int width, int height, BYTE* rgb) {
    return img::frameW<img::CDibConverter>(
        [&](img::CDibConverter& c) { return c.dcToRGB(dc, x, y, width, height, rgb); });
}

extern "C" HBITMAP rgbToHBITMAP(const BYTE* rgb, int width, int height, HPALETTE palette, HDC dc) {
    return img::frameW<img::CDibConverter>(
        [&](img::CDibConverter& c) { return c.rgbToBitmap(rgb, width, height, palette, dc); });
}
