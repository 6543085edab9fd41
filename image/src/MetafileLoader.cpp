// The metafile loader. GDI opens enhanced and plain old-style files by name; a file with a
// placeable header it will not open, so the library reads that one itself and hands GDI the
// records after the header, with the extents the header gives.
#include "MetafileLoader.h"
#include "CDibConverter.h"
#include "CImgIO.h"
#include "EntryFrame.h"
#include "Trace.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace img {
namespace {

// Extents that plain old-style files are given when GDI opens them by name.
constexpr LONG kOldStyleExtent = 1000;
// Hundredths of a millimetre to inches.
constexpr double kInchesPerExtent = 0.00039368528798078815;

// One edge of the frame in the reference device's pixels; false when the header's numbers
// give none.
bool frameEdge(LONG edge, LONG millimetres, LONG pixels, int& out) {
    if (millimetres <= 0) return false;
    const float factor = 1.0f / (static_cast<float>(millimetres) * 100.0f);
    const float value = static_cast<float>(edge) * factor * static_cast<float>(pixels);
    if (!std::isfinite(value) || std::abs(value) >= 2147483520.0f) return false;
    out = static_cast<int>(value);
    return true;
}

int truncated(double value) {
    if (!(std::abs(value) < std::numeric_limits<int>::max())) return 0;
    return static_cast<int>(value);
}

} // namespace

PlaceableHeader CMetafileLoader::placeableHeader() const {
    PlaceableHeader h{};
    std::memcpy(&h.key, m_placeable, 4);
    std::memcpy(&h.left, m_placeable + 6, 2);
    std::memcpy(&h.top, m_placeable + 8, 2);
    std::memcpy(&h.right, m_placeable + 10, 2);
    std::memcpy(&h.bottom, m_placeable + 12, 2);
    std::memcpy(&h.unitsPerInch, m_placeable + 14, 2);
    return h;
}

std::uint32_t CMetafileLoader::placeableExtent(std::int16_t from, std::int16_t to) const {
    const auto span = static_cast<std::uint32_t>(static_cast<std::int32_t>(to) - from);
    return span * 2540u / placeableHeader().unitsPerInch;
}

SIZE CMetafileLoader::placeableExtents() const {
    const PlaceableHeader h = placeableHeader();
    if (h.unitsPerInch == 0) return {0, 0};
    return {static_cast<LONG>(placeableExtent(h.left, h.right)),
            static_cast<LONG>(placeableExtent(h.top, h.bottom))};
}

BYTE* CMetafileLoader::load(const char* path, int* width, int* height, int extentX, int extentY,
                            COLORREF background) {
    if (width != nullptr) *width = 0;
    if (height != nullptr) *height = 0;
    if (path == nullptr || width == nullptr || height == nullptr) return fail(kBadArgument);
    if (_access(path, 0) != 0) return fail(kCannotOpen);
    HENHMETAFILE metafile = open(path, extentX, extentY);
    if (metafile == nullptr) return nullptr;
    BYTE* image = render(metafile, background, width, height);
    DeleteEnhMetaFile(metafile);
    return image;
}

HENHMETAFILE CMetafileLoader::open(const char* path, int extentX, int extentY) {
    if (HENHMETAFILE enhanced = GetEnhMetaFileA(path)) return enhanced;
    if (HMETAFILE oldStyle = GetMetaFileA(path)) {
        HENHMETAFILE converted = openOldStyle(oldStyle);
        DeleteMetaFile(oldStyle);
        return converted;
    }
    return openPlaceable(path, extentX, extentY);
}

HENHMETAFILE CMetafileLoader::openOldStyle(HMETAFILE metafile) {
    const UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
    if (size == 0) return fail(kMetafileConversion);
    ScratchBuffer<BYTE> bits;
    if (size > static_cast<UINT>(std::numeric_limits<int>::max()) ||
        bits.ensure(static_cast<int>(size)) == nullptr)
        return fail(kNoMemory);
    if (GetMetaFileBitsEx(metafile, size, bits.data()) == 0) return fail(kMetafileConversion);
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return fail(kNoDeviceContext);
    const METAFILEPICT picture{MM_ANISOTROPIC, kOldStyleExtent, kOldStyleExtent, nullptr};
    HENHMETAFILE converted = SetWinMetaFileBits(size, bits.data(), screen, &picture);
    ReleaseDC(nullptr, screen);
    return converted != nullptr ? converted : fail(kMetafileConversion);
}

HENHMETAFILE CMetafileLoader::openPlaceable(const char* path, int extentX, int extentY) {
    CImgIO io;
    if (!io.openByName(path)) return fail(kCannotOpen);
    HENHMETAFILE metafile = readPlaceable(io, extentX, extentY);
    io.close();
    return metafile;
}

HENHMETAFILE CMetafileLoader::readPlaceable(CImgIO& io, int extentX, int extentY) {
    unsigned size = 0;
    if (!io.size(&size) || size == 0) return fail(kMetafileConversion);
    ScratchBuffer<BYTE> file;
    if (size > static_cast<unsigned>(std::numeric_limits<int>::max()) ||
        file.ensure(static_cast<int>(size)) == nullptr)
        return fail(kNoMemory);
    if (!io.readExact(file.data(), size)) return fail(kReadFailed);

    std::memcpy(m_placeable, file.data(),
                size < kPlaceableHeaderBytes ? size : kPlaceableHeaderBytes);
    METAFILEPICT picture{MM_ANISOTROPIC, extentX, extentY, nullptr};
    unsigned skip = 0;
    if (holdsPlaceableHeader()) {
        const PlaceableHeader h = placeableHeader();
        // A header that gives no units per inch gives no size either.
        if (h.unitsPerInch == 0) return fail(kMetafileRefused);
        const SIZE extents = placeableExtents();
        picture.xExt = extents.cx;
        picture.yExt = extents.cy;
        skip = size < kPlaceableHeaderBytes ? size : kPlaceableHeaderBytes;
    }
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return fail(kNoDeviceContext);
    HENHMETAFILE metafile = SetWinMetaFileBits(size - skip, file.data() + skip, screen, &picture);
    ReleaseDC(nullptr, screen);
    if (metafile == nullptr) {
        trace(kTraceError, "SetWinMetaFileBits failed GetLastError = %d\n",
              static_cast<int>(GetLastError()));
        return fail(kMetafileRefused);
    }
    return metafile;
}

bool CMetafileLoader::pictureSize(HDC screen, const ENHMETAHEADER& h, int& width, int& height) {
    if (holdsPlaceableHeader()) {
        const PlaceableHeader p = placeableHeader();
        width = truncated(placeableExtent(p.left, p.right) * kInchesPerExtent *
                          GetDeviceCaps(screen, LOGPIXELSX));
        height = truncated(placeableExtent(p.top, p.bottom) * kInchesPerExtent *
                           GetDeviceCaps(screen, LOGPIXELSY));
        return true;
    }
    int left = 0, top = 0, right = 0, bottom = 0;
    const SIZEL mm = h.szlMillimeters;
    const SIZEL px = h.szlDevice;
    if (!frameEdge(h.rclFrame.left, mm.cx, px.cx, left) ||
        !frameEdge(h.rclFrame.right, mm.cx, px.cx, right) ||
        !frameEdge(h.rclFrame.top, mm.cy, px.cy, top) ||
        !frameEdge(h.rclFrame.bottom, mm.cy, px.cy, bottom))
        return false;
    width = static_cast<int>(static_cast<long long>(right) - left);
    height = static_cast<int>(static_cast<long long>(bottom) - top);
    return static_cast<long long>(right) - left == width &&
           static_cast<long long>(bottom) - top == height;
}

BYTE* CMetafileLoader::render(HENHMETAFILE metafile, COLORREF background, int* width, int* height) {
    ENHMETAHEADER header{};
    header.nSize = 100;
    if (GetEnhMetaFileHeader(metafile, 100, &header) == 0) return fail(kMetafileConversion);
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return fail(kNoDeviceContext);
    int w = 0;
    int h = 0;
    if (!pictureSize(screen, header, w, h)) {
        ReleaseDC(nullptr, screen);
        return fail(kMetafileConversion);
    }

    BYTE* image = nullptr;
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(screen, w, h) : nullptr;
    HGDIOBJ previous = bitmap != nullptr ? SelectObject(memory, bitmap) : nullptr;
    HBRUSH brush = previous != nullptr ? CreateSolidBrush(background) : nullptr;
    if (memory == nullptr) {
        fail(kNoDeviceContext);
    } else if (bitmap == nullptr) {
        fail(kNoCompatibleBitmap);
    } else if (previous == nullptr) {
        fail(kSelectFailed);
    } else if (brush == nullptr) {
        fail(kNoDeviceContext);
    } else {
        const RECT all{0, 0, w, h};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        PlayEnhMetaFile(memory, metafile, &all);
    }
    if (previous != nullptr) SelectObject(memory, previous);

    MemoryBlock block;
    if (ok() && !block.allocate(checkedProduct(
                    {static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h), 3}))) {
        fail(kNoMemory);
    } else if (ok()) {
        CDibConverter converter;
        converter.bitmapToRGB(bitmap, screen, block.data());
        status = converter.status;
        image = block.data();
        *width = w;
        *height = h;
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

} // namespace img

extern "C" BYTE* loadMetafile(const char* path, int* width, int* height, int sizeX, int sizeY,
                              COLORREF background, int) {
    return img::frameW<img::CMetafileLoader>([&](img::CMetafileLoader& loader) {
        return loader.load(path, width, height, sizeX, sizeY, background);
    });
}
