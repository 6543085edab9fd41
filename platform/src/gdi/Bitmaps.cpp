// Bitmaps: device bitmaps compatible with a DC, DIB sections, and the two-way conversion
// between bitmaps and caller DIBs (GetDIBits, SetDIBits, CreateDIBitmap).
#include "gdi/Device.h"
#include "gdi/Dib.h"
#include "win32/kernel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace winplat::gdi {
namespace {

constexpr std::size_t kDibByteLimit = 0x7FFFFFFFu;

// Device bitmaps live in the display driver's memory, which holds no more than 256 MiB for one
// bitmap at the deepest device format (32 bits per pixel).
constexpr std::uint64_t kDeviceBitmapPixels = (std::uint64_t{256} << 20) / 4;

const RGBQUAD kMonoTable[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

RGBQUAD quadOf(const PALETTEENTRY& e) {
    return RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
}

// The sixteen colours of a 4-bit DIB made from a deeper bitmap.
std::vector<RGBQUAD> vgaTable() {
    const auto& s = staticColours();
    std::vector<RGBQUAD> t;
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15, 16, 17, 18, 19})
        t.push_back(quadOf(s[i]));
    return t;
}

// The statics at both ends, as in the system palette, with `middle` between them.
std::vector<RGBQUAD> withStatics(const std::vector<RGBQUAD>& middle) {
    const auto& s = staticColours();
    std::vector<RGBQUAD> t(256, RGBQUAD{0, 0, 0, 0});
    for (int i = 0; i < 10; ++i) {
        t[i] = quadOf(s[i]);
        t[246 + i] = quadOf(s[10 + i]);
    }
    for (std::size_t i = 0; i < middle.size() && i < 236; ++i)
        t[10 + i] = middle[i];
    return t;
}

std::vector<RGBQUAD> halftoneTable() {
    std::vector<RGBQUAD> middle;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                middle.push_back(RGBQUAD{static_cast<BYTE>(b * 51), static_cast<BYTE>(g * 51),
                                         static_cast<BYTE>(r * 51), 0});
    for (int i = 1; i <= 20; ++i) {
        const auto v = static_cast<BYTE>(i * 12);
        middle.push_back(RGBQUAD{v, v, v, 0});
    }
    return withStatics(middle);
}

// The colour table GetDIBits writes for an indexed DIB of `bits` made from `b` in `dc`.
std::vector<RGBQUAD> outputTable(const DeviceContext& dc, const Bitmap& b, int bits) {
    const Surface& s = b.surface;
    const bool deviceBitmap = s.table != nullptr && s.table == deviceTable();
    if (s.bits == bits && !deviceBitmap)
        return std::vector<RGBQUAD>(s.table, s.table + s.tableSize);
    if (bits == 1) return std::vector<RGBQUAD>(kMonoTable, kMonoTable + 2);
    if (bits == 4) return vgaTable();
    std::vector<RGBQUAD> t;
    if (!dc.palette->stock) {
        for (const PALETTEENTRY& e : dc.palette->entries)
            t.push_back(quadOf(e));
        t.resize(256, RGBQUAD{0, 0, 0, 0});
        return t;
    }
    return deviceBitmap ? withStatics({}) : halftoneTable();
}

// Copies rows of `from` into rows of `to`: raw values when the formats agree, else colours,
// which go through `logical` when `to` shows the system palette.
void convertRows(const Surface& from, int fromY, const Surface& to, int toY, int rows,
                 const Palette& logical) {
    const int width = from.width < to.width ? from.width : to.width;
    const bool raw = from.sameFormat(to);
    PaletteEncoder encoder(to, logical);
    // Whole bytes go at once; a last part-byte keeps the target's bits beyond the width.
    const int copied =
        raw && width > 0
            ? static_cast<int>(static_cast<long long>(width) * from.bits / 8 * 8 / from.bits)
            : 0;
    const std::size_t copiedBytes = static_cast<std::size_t>(copied) * from.bits / 8;
    bool haveLast = false;
    DWORD lastRaw = 0;
    DWORD lastValue = 0;
    for (int i = 0; i < rows; ++i) {
        if (copiedBytes != 0) std::memmove(to.row(toY + i), from.row(fromY + i), copiedBytes);
        for (int x = copied; x < width; ++x) {
            const DWORD v = from.raw(x, fromY + i);
            if (!raw && (!haveLast || v != lastRaw)) {
                lastValue = encoder.pixel(from.colourOf(v));
                lastRaw = v;
                haveLast = true;
            }
            to.setRaw(x, toY + i, raw ? v : lastValue);
        }
    }
}

const Palette& paletteOf(const DeviceContext* dc) {
    return dc != nullptr ? *dc->palette
                         : *static_cast<const Palette*>(stockObject(DEFAULT_PALETTE));
}

void fillWholeHeader(BITMAPINFOHEADER& h, const Surface& s) {
    const DWORD size = h.biSize;
    h = BITMAPINFOHEADER{};
    h.biSize = size;
    h.biWidth = s.width;
    h.biHeight = s.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(s.bits);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(dibStride(s.width, s.bits) * s.height);
}

bool validOutputBits(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Scan lines [start, start + lines) of the DIB described by `format` into `b`; `bits` holds
// scan `start` first.
int setScans(Bitmap& b, UINT start, UINT lines, const void* bits, const DibFormat& format,
             const Palette& logical) {
    if (start >= static_cast<UINT>(format.height)) return 0;
    const UINT available = static_cast<UINT>(format.height) - start;
    const int n = static_cast<int>(lines < available ? lines : available);
    Surface scans;
    scans.width = format.width;
    scans.height = n;
    scans.bits = format.bits;
    scans.top = static_cast<BYTE*>(const_cast<void*>(bits));
    scans.step = static_cast<std::ptrdiff_t>(format.stride);
    scans.table = format.table;
    scans.tableSize = format.tableSize;
    std::memcpy(scans.masks, format.masks, sizeof scans.masks);
    for (int i = 0; i < n; ++i) {
        const int scan = static_cast<int>(start) + i;
        const int y = format.bottomUp ? format.height - 1 - scan : scan;
        if (y >= 0 && y < b.surface.height) convertRows(scans, i, b.surface, y, 1, logical);
    }
    return n;
}

} // namespace

bool readDibFormat(const BITMAPINFO* info, DibFormat& f) {
    if (info == nullptr) return false;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > 0x10000 || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biHeight < -0x7FFFFFFF || !validOutputBits(h.biBitCount))
        return false;
    const bool fields =
        h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32);
    if (h.biCompression != BI_RGB && !fields) return false;
    f = DibFormat{};
    f.width = h.biWidth;
    f.height = h.biHeight > 0 ? h.biHeight : -h.biHeight;
    f.bits = h.biBitCount;
    f.bottomUp = h.biHeight > 0;
    f.stride = dibStride(f.width, f.bits);
    if (f.stride == 0 || f.stride > kDibByteLimit / static_cast<std::size_t>(f.height))
        return false;
    const BYTE* after = reinterpret_cast<const BYTE*>(info) + sizeof(BITMAPINFOHEADER);
    if (fields) std::memcpy(f.masks, after, sizeof f.masks);
    if (f.bits <= 8) {
        const DWORD full = 1u << f.bits;
        f.tableSize = static_cast<int>(h.biClrUsed != 0 && h.biClrUsed < full ? h.biClrUsed : full);
        f.table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + h.biSize);
    }
    return true;
}

Surface dibSurface(const DibFormat& f, const void* bits) {
    Surface s;
    s.width = f.width;
    s.height = f.height;
    s.bits = f.bits;
    auto* base = static_cast<BYTE*>(const_cast<void*>(bits));
    const auto stride = static_cast<std::ptrdiff_t>(f.stride);
    s.top = f.bottomUp ? base + (f.height - 1) * stride : base;
    s.step = f.bottomUp ? -stride : stride;
    s.table = f.table;
    s.tableSize = f.tableSize;
    std::memcpy(s.masks, f.masks, sizeof s.masks);
    return s;
}

Bitmap* compatibleBitmap(const DeviceContext* dc, int width, int height) {
    if (dc != nullptr && dc->kind == DcKind::Memory) {
        const Bitmap& held = *dc->bitmap;
        if (held.stock) return newBitmap(width, height, 1, kMonoTable, 2, true, false);
        const Surface& s = held.surface;
        const bool shared = s.table != nullptr && s.table == deviceTable();
        return newBitmap(width, height, s.bits, s.table, s.tableSize, s.monochrome, false,
                         shared ? s.table : nullptr);
    }
    return newBitmap(width, height, deviceBits(), nullptr, 0, false, false, deviceTable());
}

} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (dc == nullptr || width < 0 || height < 0) return nullptr;
    if (failNow(WINPLAT_CALL_CREATE_COMPATIBLE_BITMAP)) return nullptr;
    if (width == 0 || height == 0) return handleOf<HBITMAP>(stockBitmap());
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
        kDeviceBitmapPixels)
        return nullptr;
    return static_cast<HBITMAP>(adopt(compatibleBitmap(dc, width, height)));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    Guard guard(gdiLock());
    if (planes != 1 || width <= 0 || height <= 0) return nullptr;
    Bitmap* b = nullptr;
    if (bitsPerPixel == 1)
        b = newBitmap(width, height, 1, kMonoTable, 2, true, false);
    else if (static_cast<int>(bitsPerPixel) == deviceBits())
        b = compatibleBitmap(nullptr, width, height);
    else if (bitsPerPixel == 24 || bitsPerPixel == 32)
        b = newBitmap(width, height, static_cast<int>(bitsPerPixel), nullptr, 0, false, false);
    if (b == nullptr) return nullptr;
    if (bits != nullptr) {
        // Device bitmap rows are padded to 16 bits.
        const std::size_t wordRow = (static_cast<std::size_t>(width) * bitsPerPixel + 15) / 16 * 2;
        for (int y = 0; y < height; ++y)
            std::memcpy(b->surface.row(y), static_cast<const BYTE*>(bits) + y * wordRow, wordRow);
    }
    return static_cast<HBITMAP>(adopt(b));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD) {
    Guard guard(gdiLock());
    if (bits != nullptr) *bits = nullptr;
    DibFormat f;
    if (section != nullptr || usage != DIB_RGB_COLORS || !readDibFormat(info, f)) return nullptr;
    if (failNow(WINPLAT_CALL_CREATE_DIB_SECTION)) return nullptr;
    Bitmap* b = newBitmap(f.width, f.height, f.bits, f.table, f.tableSize, false, f.bottomUp);
    if (b == nullptr) return nullptr;
    b->dibSection = true;
    b->dibHeader = info->bmiHeader;
    b->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
    std::memcpy(b->surface.masks, f.masks, sizeof f.masks);
    if (bits != nullptr) *bits = b->storage;
    return static_cast<HBITMAP>(adopt(b));
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    if (header == nullptr || (hdc != nullptr && dc == nullptr) || header->biWidth <= 0 ||
        header->biHeight == 0 || header->biHeight < -0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (failNow(WINPLAT_CALL_CREATE_DIBITMAP)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const int height = header->biHeight > 0 ? header->biHeight : -header->biHeight;
    Bitmap* b = compatibleBitmap(dc, header->biWidth, height);
    if (b == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((init & CBM_INIT) != 0) {
        DibFormat f;
        if (bits == nullptr || usage != DIB_RGB_COLORS || !readDibFormat(info, f)) {
            delete b;
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        setScans(*b, 0, static_cast<UINT>(f.height), bits, f, paletteOf(dc));
    }
    return static_cast<HBITMAP>(adopt(b));
}

int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info,
              UINT usage) {
    Guard guard(gdiLock());
    DeviceContext* dc = lookupDC(hdc);
    Bitmap* b = lookupBitmap(bitmap);
    if (dc == nullptr || b == nullptr || info == nullptr || usage != DIB_RGB_COLORS ||
        info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    if (failNow(WINPLAT_CALL_GET_DIBITS) || b->selectedInto != nullptr) return 0;
    BITMAPINFOHEADER& h = info->bmiHeader;
    const Surface& s = b->surface;
    if (bits == nullptr && h.biBitCount == 0) {
        fillWholeHeader(h, s);
        return s.height;
    }
    if (h.biWidth <= 0 || h.biHeight == 0) {
        h.biWidth = s.width;
        h.biHeight = s.height;
    }
    if (h.biCompression != BI_RGB || !validOutputBits(h.biBitCount)) return 0;
    DibFormat f;
    if (!readDibFormat(info, f)) return 0;
    h.biSizeImage = static_cast<DWORD>(f.stride * f.height);
    const std::vector<RGBQUAD> table =
        f.bits <= 8 ? outputTable(*dc, *b, f.bits) : std::vector<RGBQUAD>{};
    if (!table.empty()) std::memcpy(info->bmiColors, table.data(), sizeof(RGBQUAD) << f.bits);
    if (bits == nullptr) return s.height;

    if (start >= static_cast<UINT>(f.height)) return 0;
    const UINT available = static_cast<UINT>(f.height) - start;
    const int n = static_cast<int>(lines < available ? lines : available);
    std::memset(bits, 0, f.stride * static_cast<std::size_t>(n));
    // The scans seen in the bitmap's own row order, so that one pass converts them all.
    const auto stride = static_cast<std::ptrdiff_t>(f.stride);
    Surface scans;
    scans.width = f.width;
    scans.height = n;
    scans.bits = f.bits;
    scans.top = static_cast<BYTE*>(bits) + (f.bottomUp ? (n - 1) * stride : 0);
    scans.step = f.bottomUp ? -stride : stride;
    scans.table = table.empty() ? nullptr : table.data();
    scans.tableSize = static_cast<int>(table.size());
    const int top = f.bottomUp ? f.height - static_cast<int>(start) - n : static_cast<int>(start);
    const int from = top > 0 ? top : 0;
    const int to = top + n < s.height ? top + n : s.height;
    if (from < to) convertRows(s, from, scans, from - top, to - from, *dc->palette);
    return n;
}

int SetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, const void* bits,
              const BITMAPINFO* info, UINT usage) {
    Guard guard(gdiLock());
    Bitmap* b = lookupBitmap(bitmap);
    DeviceContext* dc = lookupDC(hdc);
    DibFormat f;
    if ((hdc != nullptr && dc == nullptr) || b == nullptr || bits == nullptr ||
        usage != DIB_RGB_COLORS || !readDibFormat(info, f))
        return 0;
    return setScans(*b, start, lines, bits, f, paletteOf(dc));
}

} // extern "C"
