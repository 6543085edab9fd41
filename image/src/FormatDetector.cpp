#include "FormatDetector.h"
#include "EntryFrame.h"

#include <cstring>
#include <strings.h>

namespace img {
namespace {

struct Signature {
    int format;
    unsigned offset;
    unsigned length;
    BYTE bytes[8];
};

// The first row that matches decides; a row of length 0 never matches.
constexpr Signature kSignatures[] = {
    {kFormatBmp, 0, 2, {0x42, 0x4D}},
    {kFormatPax, 0, 3, {0x50, 0x41, 0x58}},
    {kFormatGif, 0, 6, {0x47, 0x49, 0x46, 0x38, 0x39, 0x61}},
    {kFormatGif, 0, 6, {0x47, 0x49, 0x46, 0x38, 0x37, 0x61}},
    {kFormatJpeg, 0, 4, {0xFF, 0xD8, 0xFF, 0xE0}},
    {kFormatJpeg, 0, 3, {0xFF, 0xD8, 0xFF}},
    {kFormatPcx, 0, 2, {0x0A, 0x00}},
    {kFormatPcx, 0, 2, {0x0A, 0x02}},
    {kFormatPcx, 0, 2, {0x0A, 0x03}},
    {kFormatPcx, 0, 2, {0x0A, 0x05}},
    {kFormatTiff, 0, 2, {0x4D, 0x4D}},
    {kFormatTiff, 0, 2, {0x49, 0x49}},
    {kFormatPng, 0, 8, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}},
    {kFormatWmf, 0, 5, {0x01, 0x00, 0x09, 0x00, 0x00}},
    {kFormatWmf, 0, 4, {0xD7, 0xCD, 0xC6, 0x9A}},
    {kFormatEmf, 40, 4, {0x20, 0x45, 0x4D, 0x46}},
    {kFormatPsd, 0, 4, {0x38, 0x42, 0x50, 0x53}},
    {kFormatTla, 0, 4, {0x54, 0x4C, 0x41, 0x01}},
    {kFormatTlau, 0, 4, {0x54, 0x4C, 0x41, 0x55}},
    {kFormatPcdOverview, 0, 7, {0x50, 0x43, 0x44, 0x5F, 0x4F, 0x50, 0x41}},
    {kFormatJpeg2000, 4, 5, {0x6A, 0x50, 0x20, 0x20, 0x0D}},
    {kFormatJpeg2000, 0, 2, {0xFF, 0x4F}},
    {kFormatCodestreamAt4, 4, 2, {0xFF, 0x4F}},
    {kFormatWbmp, 0, 2, {0x00, 0x00}},
    {kFormatTga, 0, 0, {}},
    {kFormatOle, 0, 4, {0xD0, 0xCF, 0x11, 0xE0}},
};

constexpr unsigned kHeadBytes = 44;
constexpr char kTgaFooter[] = "TRUEVISION-XFILE.";
constexpr unsigned kTgaFooterBytes = 18;
constexpr long kPhotoCdPackOffset = 2048;

int matchSignature(const BYTE* head, unsigned got) {
    for (const Signature& row : kSignatures) {
        if (row.length == 0 || got < row.offset + row.length) continue;
        if (std::memcmp(head + row.offset, row.bytes, row.length) == 0) return row.format;
    }
    return kFormatUnknown;
}

} // namespace

int formatFromExtension(CImgIO& io) {
    const SourceRecord* record = io.record();
    if (record->kind != kSourceFileByName) return kFormatUnknown;
    const char* dot = std::strrchr(record->path, '.');
    if (dot == nullptr) return kFormatUnknown;
    const char* extension = dot + 1;
    if (strcasecmp(extension, "wbmp") == 0 || strcasecmp(extension, "wbm") == 0) return kFormatWbmp;
    if (strcasecmp(extension, "tga") == 0) return kFormatTga;
    return kFormatUnknown;
}

int FormatDetector::detectFormat(CImgIO& io) {
    BYTE head[kHeadBytes];
    const unsigned got = io.read(head, sizeof head);
    if (got == 0) return fail(kReadFailed);
    int result = matchSignature(head, got);
    if (result != kFormatUnknown && result != kFormatWbmp) return result;

    // Two zero bytes are a weak sign and TGA files have no signature at their start: the
    // name, then the TGA footer, decide.
    const int byName = formatFromExtension(io);
    if (byName != kFormatUnknown) {
        result = byName;
    } else {
        BYTE footer[kTgaFooterBytes];
        if (!io.seek(-static_cast<long>(kTgaFooterBytes), SEEK_END)) return fail(kReadFailed);
        const unsigned n = io.read(footer, sizeof footer);
        if (n == 0) return fail(kReadFailed);
        if (n >= sizeof kTgaFooter - 1 &&
            std::memcmp(footer, kTgaFooter, sizeof kTgaFooter - 1) == 0)
            result = kFormatTga;
    }
    if (result != kFormatUnknown) return result;

    if (!io.seek(kPhotoCdPackOffset, SEEK_SET)) return kFormatUnknown;
    BYTE pack[3];
    if (!io.readExact(pack, sizeof pack)) return fail(kReadFailed);
    return std::memcmp(pack, "PCD", 3) == 0 ? kFormatPcd : kFormatUnknown;
}

} // namespace img

using namespace img;

extern "C" int detectFileFormat(SourceHandle src) {
    return frameR<FormatDetector>(src, true, [](FormatDetector& detector) {
        return detector.detectFormat(detector.source());
    });
}
