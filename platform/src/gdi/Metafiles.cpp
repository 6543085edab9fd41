// Metafile handles: opening files and bits, the header of an enhanced handle, converting
// old-style bits, playing and deleting.
#include "gdi/Device.h"
#include "gdi/Metafile.h"
#include "win32/kernel.h"
#include "winplat/paths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace winplat::gdi {
namespace {

constexpr DWORD kPlaceableKey = 0x9AC6CDD7u;
constexpr DWORD kHeaderRecord = 1;
constexpr std::size_t kSignatureAt = 40;
// A metafile file larger than this is refused rather than read.
constexpr long kMaxFileBytes = 256L << 20;

template <class T> T readAt(const BYTE* data, std::size_t offset) {
    T v{};
    std::memcpy(&v, data + offset, sizeof v);
    return v;
}

bool readWholeFile(LPCSTR path, std::vector<BYTE>& out) {
    if (path == nullptr || *path == '\0') return false;
    std::FILE* f = std::fopen(nativePath(path).c_str(), "rb");
    if (f == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && size <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize(static_cast<std::size_t>(size));
        ok = size == 0 || std::fread(out.data(), 1, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}

// How much of the header structure the header record really holds: the description and the
// pixel format may begin where the later fields would be.
UINT headerLength(const ENHMETAHEADER& h) {
    const auto clear = [&](DWORD end) {
        return h.nSize >= end && (h.offDescription == 0 || h.offDescription >= end) &&
               (h.offPixelFormat == 0 || h.offPixelFormat >= end);
    };
    if (clear(sizeof(ENHMETAHEADER))) return sizeof(ENHMETAHEADER);
    if (clear(100)) return 100;
    return kEnhancedHeaderMinimum;
}

HENHMETAFILE enhancedFrom(const BYTE* data, std::size_t size) {
    if (data == nullptr || !isEnhancedMetafile(data, size)) return nullptr;
    auto* m = new EnhMetafile;
    const DWORD recordSize = readAt<DWORD>(data, 4);
    std::memcpy(&m->header, data, std::min<std::size_t>(recordSize, sizeof m->header));
    m->headerBytes = headerLength(m->header);
    std::memset(reinterpret_cast<BYTE*>(&m->header) + m->headerBytes, 0,
                sizeof m->header - m->headerBytes);
    // The records end where the header says, unless the file is shorter.
    const std::size_t end =
        m->header.nBytes >= recordSize && m->header.nBytes < size ? m->header.nBytes : size;
    m->records.assign(data, data + end);
    return static_cast<HENHMETAFILE>(adopt(m));
}

// The reference device's size in pixels and millimetres.
void referenceDevice(HDC reference, SIZE& pixels, SIZE& millimetres) {
    HDC dc = reference != nullptr ? reference : GetDC(nullptr);
    pixels = {GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)};
    millimetres = {GetDeviceCaps(dc, HORZSIZE), GetDeviceCaps(dc, VERTSIZE)};
    if (reference == nullptr && dc != nullptr) ReleaseDC(nullptr, dc);
    if (pixels.cx <= 0 || pixels.cy <= 0 || millimetres.cx <= 0 || millimetres.cy <= 0) {
        pixels = {WINPLAT_SCREEN_WIDTH, WINPLAT_SCREEN_HEIGHT};
        millimetres = {(WINPLAT_SCREEN_WIDTH * 254 + 480) / 960,
                       (WINPLAT_SCREEN_HEIGHT * 254 + 480) / 960};
    }
}

DWORD countRecords(const BYTE* bits, std::size_t size) {
    DWORD n = 0;
    std::size_t at = kOldStyleHeaderBytes;
    while (size - at >= 6) {
        const std::uint64_t bytes = std::uint64_t{readAt<DWORD>(bits, at)} * 2;
        if (bytes < 6 || bytes > size - at) break;
        ++n;
        if (readAt<WORD>(bits, at + 4) == 0) break;
        at += static_cast<std::size_t>(bytes);
    }
    return n;
}

} // namespace

bool isEnhancedMetafile(const BYTE* data, std::size_t size) {
    if (size < kEnhancedHeaderMinimum) return false;
    const DWORD recordSize = readAt<DWORD>(data, 4);
    return readAt<DWORD>(data, 0) == kHeaderRecord && recordSize >= kEnhancedHeaderMinimum &&
           recordSize <= size && readAt<DWORD>(data, kSignatureAt) == ENHMETA_SIGNATURE;
}

bool isOldStyleMetafile(const BYTE* data, std::size_t size) {
    if (size < kOldStyleHeaderBytes) return false;
    const WORD type = readAt<WORD>(data, 0);
    const WORD words = readAt<WORD>(data, 2);
    const WORD version = readAt<WORD>(data, 4);
    return (type == 1 || type == 2) && words == kOldStyleHeaderBytes / 2 &&
           (version == 0x100 || version == 0x300);
}

} // namespace winplat::gdi

using namespace winplat::gdi;

extern "C" {

HENHMETAFILE GetEnhMetaFileA(LPCSTR path) {
    std::vector<BYTE> bytes;
    if (!readWholeFile(path, bytes)) return nullptr;
    Guard guard(gdiLock());
    return enhancedFrom(bytes.data(), bytes.size());
}

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* bits) {
    Guard guard(gdiLock());
    return enhancedFrom(bits, size);
}

HMETAFILE GetMetaFileA(LPCSTR path) {
    std::vector<BYTE> bytes;
    if (!readWholeFile(path, bytes)) return nullptr;
    if (bytes.size() >= 4 && readAt<DWORD>(bytes.data(), 0) == kPlaceableKey) return nullptr;
    if (!isOldStyleMetafile(bytes.data(), bytes.size())) return nullptr;
    Guard guard(gdiLock());
    auto* m = new WinMetafile;
    m->bits = std::move(bytes);
    return static_cast<HMETAFILE>(adopt(m));
}

UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID buffer) {
    Guard guard(gdiLock());
    const auto* m = lookupAs<WinMetafile>(metafile, OBJ_METAFILE);
    if (m == nullptr) return 0;
    const auto bytes = static_cast<UINT>(m->bits.size());
    if (buffer == nullptr) return bytes;
    if (size < bytes) return 0;
    std::memcpy(buffer, m->bits.data(), bytes);
    return bytes;
}

HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* bits, HDC reference,
                                const METAFILEPICT* picture) {
    Guard guard(gdiLock());
    if (bits == nullptr || !isOldStyleMetafile(bits, size) ||
        (reference != nullptr && lookupDC(reference) == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SIZE pixels{};
    SIZE millimetres{};
    referenceDevice(reference, pixels, millimetres);
    RECT frame{0, 0, millimetres.cx * 100, millimetres.cy * 100};
    if (picture != nullptr && picture->xExt > 0 && picture->yExt > 0)
        frame = {0, 0, picture->xExt, picture->yExt};

    auto* m = new EnhMetafile;
    m->oldStyle = true;
    m->pictureFrame = frame;
    m->records.assign(bits, bits + size);
    ENHMETAHEADER& h = m->header;
    h.iType = kHeaderRecord;
    h.nSize = sizeof h;
    const auto toPixels = [](LONG v, LONG px, LONG mm) {
        return static_cast<LONG>(static_cast<double>(v) * px / (mm * 100.0));
    };
    h.rclBounds = {0, 0, toPixels(frame.right, pixels.cx, millimetres.cx) - 1,
                   toPixels(frame.bottom, pixels.cy, millimetres.cy) - 1};
    h.rclFrame = frame;
    h.dSignature = ENHMETA_SIGNATURE;
    h.nVersion = 0x10000;
    h.nBytes =
        static_cast<DWORD>(std::min<std::uint64_t>(std::uint64_t{size} + sizeof h, 0xFFFFFFFFu));
    h.nRecords = countRecords(bits, size) + 1;
    h.nHandles = static_cast<WORD>(std::min<DWORD>(readAt<WORD>(bits, 10) + 1u, 0xFFFFu));
    h.szlDevice = pixels;
    h.szlMillimeters = millimetres;
    h.szlMicrometers = {millimetres.cx * 1000, millimetres.cy * 1000};
    m->headerBytes = sizeof h;
    return static_cast<HENHMETAFILE>(adopt(m));
}

UINT GetEnhMetaFileHeader(HENHMETAFILE metafile, UINT size, ENHMETAHEADER* header) {
    Guard guard(gdiLock());
    const auto* m = lookupAs<EnhMetafile>(metafile, OBJ_ENHMETAFILE);
    if (m == nullptr) return 0;
    if (header == nullptr) return m->headerBytes;
    const UINT n = std::min(size, m->headerBytes);
    std::memcpy(header, &m->header, n);
    return n;
}

BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect) {
    Guard guard(gdiLock());
    const auto* m = lookupAs<EnhMetafile>(metafile, OBJ_ENHMETAFILE);
    if (m == nullptr || rect == nullptr || lookupDC(dc) == nullptr) return FALSE;
    if (m->oldStyle)
        playOldStyleRecords(dc, m->records, m->pictureFrame, *rect);
    else
        playEnhancedRecords(dc, *m, *rect);
    return TRUE;
}

BOOL DeleteEnhMetaFile(HENHMETAFILE metafile) {
    Guard guard(gdiLock());
    GdiObject* m = lookupAs<EnhMetafile>(metafile, OBJ_ENHMETAFILE);
    if (m == nullptr) return FALSE;
    destroy(m);
    return TRUE;
}

BOOL DeleteMetaFile(HMETAFILE metafile) {
    Guard guard(gdiLock());
    GdiObject* m = lookupAs<WinMetafile>(metafile, OBJ_METAFILE);
    if (m == nullptr) return FALSE;
    destroy(m);
    return TRUE;
}

} // extern "C"
