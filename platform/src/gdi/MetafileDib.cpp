// DIBs carried by metafile records, checked against the bytes the record really holds, and
// the text conversion of the wide-character records.
#include "gdi/Dib.h"
#include "gdi/MetafilePlayer.h"

#include <array>
#include <cstring>

namespace winplat::gdi::meta {
namespace {

// Rows beyond this are a hostile header, not a picture.
constexpr std::uint64_t kMaxDibBytes = std::uint64_t{256} << 20;
constexpr std::size_t kCoreHeaderBytes = 12;
constexpr std::size_t kMaskBytes = 12;

bool validBits(WORD bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The header as a 40-byte one, from a core or an info header.
bool readHeader(const BYTE* info, std::size_t bytes, BITMAPINFOHEADER& h, std::size_t& tableAt,
                std::size_t& entryBytes) {
    DWORD size = 0;
    if (bytes < sizeof size) return false;
    std::memcpy(&size, info, sizeof size);
    h = BITMAPINFOHEADER{};
    if (size == kCoreHeaderBytes && bytes >= kCoreHeaderBytes) {
        WORD fields[4];
        std::memcpy(fields, info + 4, sizeof fields);
        h.biWidth = fields[0];
        h.biHeight = fields[1];
        h.biPlanes = fields[2];
        h.biBitCount = fields[3];
        h.biCompression = BI_RGB;
        tableAt = kCoreHeaderBytes;
        entryBytes = 3;
    } else if (size >= sizeof(BITMAPINFOHEADER) && size <= bytes) {
        std::memcpy(&h, info, sizeof h);
        tableAt = size;
        entryBytes = 4;
    } else {
        return false;
    }
    h.biSize = sizeof(BITMAPINFOHEADER);
    const bool fields =
        h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32);
    return h.biWidth > 0 && h.biHeight != 0 && h.biHeight > -0x7FFFFFFF &&
           validBits(h.biBitCount) && (h.biCompression == BI_RGB || fields);
}

std::size_t tableEntries(const BITMAPINFOHEADER& h) {
    if (h.biBitCount > 8) return 0;
    const DWORD full = 1u << h.biBitCount;
    return h.biClrUsed != 0 && h.biClrUsed < full ? h.biClrUsed : full;
}

std::uint64_t rowBytes(const BITMAPINFOHEADER& h) {
    return (static_cast<std::uint64_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
}

std::uint64_t rows(const BITMAPINFOHEADER& h) {
    return h.biHeight < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(h.biHeight))
                          : static_cast<std::uint64_t>(h.biHeight);
}

const std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

bool readDib(const BYTE* info, std::size_t infoBytes, const BYTE* bits, std::size_t bitsBytes,
             Dib& out) {
    BITMAPINFOHEADER h;
    std::size_t tableAt = 0;
    std::size_t entryBytes = 4;
    if (info == nullptr || !readHeader(info, infoBytes, h, tableAt, entryBytes)) return false;
    const std::uint64_t image = rowBytes(h) * rows(h);
    if (image > kMaxDibBytes || bits == nullptr || image > bitsBytes) return false;

    // Masks and table entries the record leaves out read as zeros.
    const std::size_t entries = tableEntries(h);
    std::vector<BYTE> assembled(sizeof h + kMaskBytes + entries * sizeof(RGBQUAD), 0);
    std::memcpy(assembled.data(), &h, sizeof h);
    if (h.biCompression == BI_BITFIELDS && tableAt == sizeof h)
        std::memcpy(assembled.data() + sizeof h, info + sizeof h,
                    std::min(kMaskBytes, infoBytes - sizeof h));
    // The table follows the header directly here; with bit fields there is none.
    BYTE* table = assembled.data() + sizeof h;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t at = tableAt + i * entryBytes;
        if (at + entryBytes > infoBytes) break;
        std::memcpy(table + i * sizeof(RGBQUAD), info + at, 3);
    }
    out.info.assign((assembled.size() + 3) / 4, 0);
    std::memcpy(out.info.data(), assembled.data(), assembled.size());
    out.bits.assign(static_cast<std::size_t>((image + 3) / 4), 0);
    std::memcpy(out.bits.data(), bits, static_cast<std::size_t>(image));
    return true;
}

bool readPackedDib(const BYTE* data, std::size_t bytes, Dib& out) {
    BITMAPINFOHEADER h;
    std::size_t tableAt = 0;
    std::size_t entryBytes = 4;
    if (data == nullptr || !readHeader(data, bytes, h, tableAt, entryBytes)) return false;
    std::uint64_t bitsAt = tableAt + tableEntries(h) * entryBytes;
    if (h.biCompression == BI_BITFIELDS && tableAt == sizeof h) bitsAt += kMaskBytes;
    if (bitsAt > bytes) return false;
    return readDib(data, static_cast<std::size_t>(bitsAt), data + bitsAt,
                   bytes - static_cast<std::size_t>(bitsAt), out);
}

COLORREF averageColour(const Dib& dib) {
    DibFormat f;
    if (!readDibFormat(dib.header(), f)) return RGB(128, 128, 128);
    const Surface s = dibSurface(f, dib.pixels());
    const std::uint64_t total = static_cast<std::uint64_t>(s.width) * s.height;
    const std::uint64_t step = total / 4096 + 1;
    std::uint64_t sum[3] = {0, 0, 0};
    std::uint64_t n = 0;
    for (std::uint64_t i = 0; i < total; i += step) {
        const COLORREF c = s.pixel(static_cast<int>(i % s.width), static_cast<int>(i / s.width));
        sum[0] += GetRValue(c);
        sum[1] += GetGValue(c);
        sum[2] += GetBValue(c);
        ++n;
    }
    return RGB(static_cast<BYTE>(sum[0] / n), static_cast<BYTE>(sum[1] / n),
               static_cast<BYTE>(sum[2] / n));
}

double setBitShare(const Dib& dib) {
    DibFormat f;
    if (!readDibFormat(dib.header(), f) || f.bits != 1) return -1;
    const Surface s = dibSurface(f, dib.pixels());
    const std::uint64_t total = static_cast<std::uint64_t>(s.width) * s.height;
    const std::uint64_t step = total / 4096 + 1;
    std::uint64_t set = 0;
    std::uint64_t n = 0;
    for (std::uint64_t i = 0; i < total; i += step, ++n)
        set += s.raw(static_cast<int>(i % s.width), static_cast<int>(i / s.width));
    return static_cast<double>(set) / static_cast<double>(n);
}

std::string narrowText(const BYTE* utf16, std::size_t chars) {
    std::string out;
    out.reserve(chars);
    for (std::size_t i = 0; i < chars; ++i) {
        const char16_t u = static_cast<char16_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
        char c = '?';
        if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
            c = static_cast<char>(u);
        } else {
            for (std::size_t k = 0; k < kCp1252High.size(); ++k)
                if (kCp1252High[k] == u) c = static_cast<char>(0x80 + k);
        }
        out.push_back(c);
    }
    return out;
}

} // namespace winplat::gdi::meta
