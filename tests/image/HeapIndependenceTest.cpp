// Output never depends on what the heap held before a call: every read and conversion runs
// twice, fresh heap blocks filled first with 0x55 and then with 0xAA, and must give the same
// bytes, sizes, palette and code both times. The public suites are read in place, whole and
// cut short; the hostile files and the conversions' inputs are made here. Under the address
// sanitizer nothing is filled and the runs only look for reads out of bounds; under memcheck,
// --soname-synonyms=somalloc=NONE lets its malloc stand in for the fill, so that every use of
// an unwritten byte is reported where it happens.
#include "BmpWriter.h"
#include "CDibConverter.h"
#include "COverlay.h"
#include "FileBytes.h"
#include "HeapWatch.h"
#include "PcdWriter.h"
#include "PcxWriter.h"
#include "PngWriter.h"
#include "TestFiles.h"
#include "WbmpWriter.h"
#include "imgcore.h"
#include "winplat/screen.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Everything a call gives back. Out-parameters start from fixed values, so a field the call
// leaves alone compares equal.
struct Output {
    int status = -1;
    int width = -1;
    int height = -1;
    int extra = -1; // a query's result, a depth or a count
    bool returned = false;
    Bytes block;
    std::array<RGBQUAD, 256> palette{};
    ImgResolution resolution{-1, -1, -1};

    bool operator==(const Output& o) const {
        return status == o.status && width == o.width && height == o.height && extra == o.extra &&
               returned == o.returned && block == o.block &&
               std::memcmp(palette.data(), o.palette.data(), sizeof palette) == 0 &&
               std::memcmp(&resolution, &o.resolution, sizeof resolution) == 0;
    }
};

std::string difference(const Output& a, const Output& b) {
    std::ostringstream s;
    if (a.status != b.status) s << "code " << a.status << " / " << b.status << "; ";
    if (a.width != b.width || a.height != b.height)
        s << "size " << a.width << "x" << a.height << " / " << b.width << "x" << b.height << "; ";
    if (a.extra != b.extra) s << "result " << a.extra << " / " << b.extra << "; ";
    if (a.block.size() != b.block.size()) {
        s << "block " << a.block.size() << " / " << b.block.size() << " bytes; ";
    } else {
        const auto at = std::mismatch(a.block.begin(), a.block.end(), b.block.begin());
        if (at.first != a.block.end())
            s << "block byte " << (at.first - a.block.begin()) << " of " << a.block.size() << ": "
              << int(*at.first) << " / " << int(*at.second) << "; ";
    }
    if (std::memcmp(a.palette.data(), b.palette.data(), sizeof a.palette) != 0) s << "palette; ";
    if (std::memcmp(&a.resolution, &b.resolution, sizeof a.resolution) != 0) s << "resolution; ";
    return s.str();
}

void expectSameUnderTwoFills(const std::string& what, const std::function<Output()>& call) {
    const auto [first, second] = underTwoFills(call);
    EXPECT_TRUE(first == second) << what << ": " << difference(first, second);
}

// The caller's palette starts as a pattern of its own, so that entries a reader leaves are
// told apart from entries it clears.
void markPalette(Output& o) {
    for (std::size_t i = 0; i < o.palette.size(); ++i)
        o.palette[i] = {BYTE(i), BYTE(i ^ 0x5A), BYTE(255 - i), 0x33};
}

void takeBlock(Output& o, BYTE* image) {
    if (image == nullptr) return;
    o.returned = true;
    o.block.assign(image, image + GlobalSize(image));
    GlobalFree(image);
}

using SourceCall = std::function<BYTE*(SourceHandle, Output&)>;

Output throughSource(const std::string& path, const SourceCall& call) {
    Output o;
    markPalette(o);
    SourceHandle src = openFileSource(path.c_str());
    if (src == nullptr) {
        o.status = getLastError();
        return o;
    }
    BYTE* image = call(src, o);
    o.status = getLastError();
    takeBlock(o, image);
    closeSource(src);
    return o;
}

// One way of reading a file: a reader at one depth and flags, or one of its queries.
struct Form {
    std::string name;
    SourceCall call;
};

// A reader's packed DIB taken on as a caller takes it: to RGB, and into a device bitmap and
// back out. The block holds the DIB and both results; `extra` the converters' codes.
Form dibOnward(const std::string& name, SourceCall readDib) {
    return {name + " onward", [readDib](SourceHandle s, Output& o) -> BYTE* {
                BYTE* dib = readDib(s, o);
                if (dib == nullptr) return nullptr;
                const auto& h = *reinterpret_cast<const BITMAPINFOHEADER*>(dib);
                const std::uint64_t pixels =
                    std::uint64_t(h.biWidth > 0 ? h.biWidth : 0) *
                    std::uint64_t(h.biHeight < 0 ? -std::int64_t(h.biHeight) : h.biHeight);
                o.block.assign(dib, dib + GlobalSize(dib));
                img::CDibConverter c;
                o.extra = 0;
                if (pixels != 0 && pixels <= (std::uint64_t{16} << 20)) {
                    Bytes rgb(pixels * 3, 0x77);
                    o.extra = c.dibToRGB(dib, rgb.data()) * 1000 + c.status;
                    o.block.insert(o.block.end(), rgb.begin(), rgb.end());
                    HDC screen = GetDC(nullptr);
                    HBITMAP bitmap = c.DIBToHBITMAP(dib, nullptr, screen);
                    o.extra = o.extra * 100 + c.status;
                    if (bitmap != nullptr) {
                        std::fill(rgb.begin(), rgb.end(), 0x77);
                        o.extra = o.extra * 100 + c.bitmapToRGB(bitmap, screen, rgb.data());
                        o.block.insert(o.block.end(), rgb.begin(), rgb.end());
                        DeleteObject(bitmap);
                    }
                    ReleaseDC(nullptr, screen);
                }
                GlobalFree(dib);
                return nullptr;
            }};
}

std::vector<Form> bmpForms() {
    std::vector<Form> forms;
    for (int bits : {1, 8, 24, 32})
        forms.push_back({"readBMP " + std::to_string(bits), [bits](SourceHandle s, Output& o) {
                             return readBMP(s, &o.width, &o.height, bits, o.palette.data(), 0);
                         }});
    const SourceCall dib = [](SourceHandle s, Output& o) {
        return readBMP(s, &o.width, &o.height, 24, o.palette.data(), IMG_FLAG_DIB);
    };
    forms.push_back({"readBMP DIB", dib});
    forms.push_back(dibOnward("readBMP DIB", dib));
    forms.push_back({"getBMPInfo", [](SourceHandle s, Output& o) -> BYTE* {
                         o.extra = getBMPInfo(s, &o.width, &o.height, &o.extra, &o.resolution);
                         return nullptr;
                     }});
    forms.push_back({"readBMPPalette", [](SourceHandle s, Output& o) -> BYTE* {
                         int count = -1;
                         o.extra = readBMPPalette(s, &count, o.palette.data());
                         o.width = count;
                         return nullptr;
                     }});
    return forms;
}

std::vector<Form> pngForms() {
    struct Way {
        int bits, flags;
    };
    const Way ways[] = {{1, 0},  {8, 0},  {16, 0}, {16, 4}, {24, 0}, {24, 1}, {32, 0},
                        {32, 1}, {48, 0}, {64, 0}, {0, 2},  {0, 3},  {8, 1}};
    std::vector<Form> forms;
    for (const Way& w : ways)
        forms.push_back({"readPNG " + std::to_string(w.bits) + " flags " + std::to_string(w.flags),
                         [w](SourceHandle s, Output& o) {
                             return readPNG(s, &o.width, &o.height, w.bits, o.palette.data(),
                                            w.flags);
                         }});
    forms.push_back(dibOnward("readPNG DIB", [](SourceHandle s, Output& o) {
        return readPNG(s, &o.width, &o.height, 0, o.palette.data(), IMG_FLAG_DIB);
    }));
    forms.push_back({"getPNGInfo", [](SourceHandle s, Output& o) -> BYTE* {
                         int depth = -1, type = -1, interlace = -1;
                         o.extra = getPNGInfo(s, &o.width, &o.height, &depth, &type, &interlace,
                                              &o.resolution);
                         o.extra = o.extra * 1000000 + depth * 10000 + type * 100 + interlace;
                         return nullptr;
                     }});
    forms.push_back({"readPNGPalette", [](SourceHandle s, Output& o) -> BYTE* {
                         int count = -1;
                         o.extra = readPNGPalette(s, &count, o.palette.data());
                         o.width = count;
                         return nullptr;
                     }});
    return forms;
}

std::vector<Form> pcxForms() {
    std::vector<Form> forms;
    for (int bits : {1, 8, 24})
        forms.push_back({"readPCX " + std::to_string(bits), [bits](SourceHandle s, Output& o) {
                             return readPCX(s, &o.width, &o.height, bits, o.palette.data(), 0);
                         }});
    const SourceCall dib = [](SourceHandle s, Output& o) {
        return readPCX(s, &o.width, &o.height, 8, o.palette.data(), IMG_FLAG_DIB);
    };
    forms.push_back({"readPCX DIB", dib});
    forms.push_back(dibOnward("readPCX DIB", dib));
    forms.push_back({"getPCXInfo", [](SourceHandle s, Output& o) -> BYTE* {
                         int depth = -1;
                         o.extra = getPCXInfo(s, &o.width, &o.height, &depth) * 1000 + depth;
                         return nullptr;
                     }});
    forms.push_back({"readPCXPalette", [](SourceHandle s, Output& o) -> BYTE* {
                         int count = -1;
                         o.extra = readPCXPalette(s, &count, o.palette.data());
                         o.width = count;
                         return nullptr;
                     }});
    return forms;
}

std::vector<Form> wbmpForms() {
    std::vector<Form> forms;
    for (int bits : {1, 8})
        forms.push_back({"readWBMP " + std::to_string(bits), [bits](SourceHandle s, Output& o) {
                             return readWBMP(s, &o.width, &o.height, o.palette.data(), bits, 0);
                         }});
    const SourceCall dib = [](SourceHandle s, Output& o) {
        return readWBMP(s, &o.width, &o.height, nullptr, 1, IMG_FLAG_DIB);
    };
    forms.push_back({"readWBMP DIB", dib});
    forms.push_back(dibOnward("readWBMP DIB", dib));
    forms.push_back({"getWBMPSize", [](SourceHandle s, Output& o) -> BYTE* {
                         o.extra = getWBMPSize(s, &o.width, &o.height);
                         return nullptr;
                     }});
    return forms;
}

// Sub-image 6 is left out: it is the fifth doubled once more, through the same buffers, at four
// times the cost.
std::vector<Form> pcdForms() {
    std::vector<Form> forms;
    for (int sub = 1; sub <= 5; ++sub)
        for (int flags : {0, IMG_FLAG_DIB})
            forms.push_back({"readPCD " + std::to_string(sub) + (flags != 0 ? " DIB" : ""),
                             [sub, flags](SourceHandle s, Output& o) {
                                 return readPCD(s, &o.width, &o.height, sub, flags);
                             }});
    forms.push_back(dibOnward("readPCD 1 DIB", [](SourceHandle s, Output& o) {
        return readPCD(s, &o.width, &o.height, 1, IMG_FLAG_DIB);
    }));
    return forms;
}

struct Format {
    const char* name;
    std::vector<std::string> folders;
    std::string extension; // compared without regard to case
    std::vector<Form> forms;
};

void PrintTo(const Format& f, std::ostream* os) {
    *os << f.name;
}

const std::vector<Format>& formats() {
    static const std::vector<Format> all = {
        {"BMP", {"bmpsuite"}, ".bmp", bmpForms()},
        {"PNG", {"pngsuite", "imagetestsuite/png"}, ".png", pngForms()},
        {"PCX", {"samples/pcx"}, ".pcx", pcxForms()},
        {"WBMP", {"samples/wbmp"}, ".wbmp", wbmpForms()},
        {"PCD", {"samples/pcd"}, ".pcd", pcdForms()},
    };
    return all;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> suiteFilesOf(const Format& f) {
    std::vector<std::string> files;
    for (const std::string& folder : f.folders)
        for (const std::string& path : suiteFiles(folder))
            if (lower(std::filesystem::path(path).extension().string()) == f.extension)
                files.push_back(path);
    return files;
}

void expectEveryFormSame(const Format& f, const std::string& path, const std::string& label) {
    for (const Form& form : f.forms)
        expectSameUnderTwoFills(label + " " + form.name,
                                [&] { return throughSource(path, form.call); });
}

class HeapIndependence : public ::testing::TestWithParam<Format> {};

TEST_P(HeapIndependence, SuiteFilesReadAlikeUnderTwoFills) {
    const Format& f = GetParam();
    const std::vector<std::string> files = suiteFilesOf(f);
    if (files.empty()) GTEST_SKIP() << "public test suites not present";
    for (const std::string& path : files)
        expectEveryFormSame(f, path, path);
}

// Every third file, cut in its header, in its first rows, its middle and just before its end.
TEST_P(HeapIndependence, CutSuiteFilesReadAlikeUnderTwoFills) {
    const Format& f = GetParam();
    const std::vector<std::string> files = suiteFilesOf(f);
    if (files.empty()) GTEST_SKIP() << "public test suites not present";
    for (std::size_t i = 0; i < files.size(); i += 3) {
        const Bytes whole = readWholeFile(files[i]);
        if (whole.size() < 2) continue;
        const std::size_t n = whole.size();
        for (std::size_t cut :
             {std::size_t{20}, std::size_t{60}, std::size_t{200}, n / 4, n / 2, 3 * n / 4, n - 1}) {
            if (cut == 0 || cut >= n) continue;
            TempFile part(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)),
                          f.extension);
            expectEveryFormSame(f, part.path(), files[i] + " cut at " + std::to_string(cut));
        }
    }
}

std::string formatName(const ::testing::TestParamInfo<Format>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, HeapIndependence, ::testing::ValuesIn(formats()), formatName);

const Format& formatNamed(const std::string& name) {
    for (const Format& f : formats())
        if (name == f.name) return f;
    throw std::invalid_argument(name);
}

// Hostile files made here: rows that stop short, runs that end early, streams cut or damaged.
struct Hostile {
    std::string name;
    const char* format;
    Bytes file;
};

Bytes cutTo(Bytes b, std::size_t n) {
    b.resize(std::min(n, b.size()));
    return b;
}

std::vector<std::vector<std::uint32_t>> ramp(int width, int height, std::uint32_t modulo) {
    std::vector<std::vector<std::uint32_t>> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[static_cast<std::size_t>(y)].push_back(
                static_cast<std::uint32_t>((x * 2654435761u + y * 40503u) % modulo));
    return rows;
}

BmpSpec bmpOf(int width, int height, int bits, std::uint32_t modulo) {
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.bitCount = bits;
    if (bits <= 8) s.palette = greyPalette(1 << bits);
    s.pixels = packBmpRows(ramp(width, height < 0 ? -height : height, modulo), bits, height < 0);
    return s;
}

Bytes rleBmp(int width, int height, int bits, Bytes runs) {
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.bitCount = bits;
    s.compression = bits == 8 ? BI_RLE8 : BI_RLE4;
    s.palette = greyPalette(1 << bits);
    s.pixels = std::move(runs);
    return writeBmp(s);
}

std::vector<Hostile> hostileBmps() {
    BmpSpec bitFields = bmpOf(7, 5, 16, 0x10000);
    bitFields.compression = BI_BITFIELDS;
    bitFields.masks = {0xF800, 0x07E0, 0x001F};
    BmpSpec os2 = bmpOf(9, 4, 8, 256);
    os2.headerSize = 12;
    BmpSpec fewColours = bmpOf(11, 3, 8, 256);
    fewColours.clrUsed = 3;
    struct Shape {
        const char* name;
        BmpSpec layout;
        std::size_t pixelsAt;
        std::size_t rowBytes;
    };
    const Shape shapes[] = {
        {"24-bit", bmpOf(13, 7, 24, 0x1000000), 54, 40},
        {"top-down 24-bit", bmpOf(13, -7, 24, 0x1000000), 54, 40},
        {"32-bit", bmpOf(5, 9, 32, 0xFFFFFFFF), 54, 20},
        {"8-bit", bmpOf(13, 7, 8, 256), 54 + 1024, 16},
        {"4-bit", bmpOf(13, 7, 4, 16), 54 + 64, 8},
        {"1-bit", bmpOf(45, 7, 1, 2), 54 + 8, 8},
        {"16-bit bit fields", bitFields, 66, 16},
        {"OS/2 8-bit", os2, 26 + 768, 12},
        {"8-bit using three colours", fewColours, 54 + 12, 12},
    };
    std::vector<Hostile> cases;
    // Cut in the first row, whose buffer holds nothing read before, and in a later one.
    for (const Shape& s : shapes) {
        const Bytes whole = writeBmp(s.layout);
        for (std::size_t cut : {s.pixelsAt + 3, s.pixelsAt + 2 * s.rowBytes + s.rowBytes / 2})
            cases.push_back({std::string(s.name) + " rows cut at " + std::to_string(cut), "BMP",
                             cutTo(whole, cut)});
    }
    const Hostile runs[] = {
        {"RLE8 without end of bitmap", "BMP", rleBmp(13, 7, 8, {5, 1, 0, 3, 2, 3, 4, 0, 0, 3, 9})},
        {"RLE8 absolute run cut", "BMP", rleBmp(13, 7, 8, {3, 7, 0, 9, 1, 2, 3})},
        {"RLE8 delta past the top", "BMP", rleBmp(13, 7, 8, {2, 5, 0, 2, 3, 9, 4, 6, 0, 1})},
        {"RLE8 run past the row", "BMP", rleBmp(5, 3, 8, {200, 7, 0, 0, 9, 8, 0, 1})},
        {"RLE4 without end of bitmap", "BMP", rleBmp(13, 7, 4, {5, 0x12, 0, 5, 0x34, 0x56})},
        {"RLE4 odd absolute run then end", "BMP",
         rleBmp(13, 7, 4, {0, 3, 0x12, 0x30, 3, 0x45, 0, 0, 7, 0x67, 0, 1})},
        {"RLE header only", "BMP", cutTo(rleBmp(13, 7, 8, {0, 1}), 54 + 1024)},
    };
    cases.insert(cases.end(), std::begin(runs), std::end(runs));
    return cases;
}

PngSpec pngOf(int width, int height, int bits, int type, bool interlaced) {
    PngSpec s;
    s.width = width;
    s.height = height;
    s.bitDepth = bits;
    s.colourType = type;
    s.interlaced = interlaced;
    if (type == 3)
        for (int i = 0; i < (1 << bits); ++i)
            s.palette.push_back({BYTE(i * 37), BYTE(i * 91), BYTE(255 - i)});
    s.rows.resize(pngRowBytes(s) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < s.rows.size(); ++i)
        s.rows[i] = static_cast<BYTE>(i * 131 + 7);
    if (type == 3 && bits == 8)
        for (BYTE& b : s.rows)
            b = static_cast<BYTE>(b % 200);
    return s;
}

// The offset of the first IDAT chunk's data.
std::size_t idatData(const Bytes& png) {
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::size_t length = std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 |
                                   std::size_t(png[at + 2]) << 8 | png[at + 3];
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) return at + 8;
        at += length + 12;
    }
    return png.size();
}

Bytes badIdatCrc(Bytes png) {
    const std::size_t at = idatData(png);
    if (at + 4 < png.size()) png[at + 3] ^= 0x40;
    return png;
}

std::vector<Hostile> hostilePngs() {
    std::vector<Hostile> cases;
    struct Shape {
        const char* name;
        int bits, type;
        bool interlaced;
    };
    const Shape shapes[] = {
        {"RGB", 8, 2, false},           {"RGB interlaced", 8, 2, true},
        {"RGBA 16-bit", 16, 6, false},  {"grey 2-bit interlaced", 2, 0, true},
        {"palette 2-bit", 2, 3, false}, {"palette 8-bit interlaced", 8, 3, true},
        {"grey-alpha", 8, 4, true},     {"grey 1-bit", 1, 0, false},
    };
    for (const Shape& s : shapes) {
        const Bytes whole = encodePng(pngOf(13, 11, s.bits, s.type, s.interlaced));
        const std::size_t idat = idatData(whole);
        cases.push_back({std::string(s.name) + " with a bad IDAT CRC", "PNG", badIdatCrc(whole)});
        for (std::size_t cut : {idat + 2, idat + 9, (idat + whole.size()) / 2, whole.size() - 13})
            cases.push_back(
                {std::string(s.name) + " cut at " + std::to_string(cut), "PNG", cutTo(whole, cut)});
    }
    return cases;
}

PcxSpec pcxOf(int width, int height, int bits, int planes) {
    PcxSpec s;
    s.width = width;
    s.height = height;
    s.bitsPerPlane = bits;
    s.planes = planes;
    for (int i = 0; i < 48; ++i)
        s.egaPalette[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 5);
    const int line = pcxBytesPerLine(s) * planes;
    for (int y = 0; y < height; ++y) {
        Bytes l(static_cast<std::size_t>(line));
        for (int i = 0; i < line; ++i)
            l[static_cast<std::size_t>(i)] = static_cast<BYTE>((i * 7 + y * 13) & 0xFF);
        s.lines.push_back(l);
    }
    if (bits == 8 && planes == 1) {
        s.vgaPalette.resize(768);
        for (int i = 0; i < 768; ++i)
            s.vgaPalette[static_cast<std::size_t>(i)] = static_cast<BYTE>(i * 3);
    }
    return s;
}

std::vector<Hostile> hostilePcxs() {
    PcxSpec longRuns = pcxOf(9, 5, 8, 1);
    longRuns.coded = {0xFF, 3, 0xC5, 9, 0xC0, 0xC0, 1};
    PcxSpec noPalette = pcxOf(9, 5, 8, 1);
    noPalette.vgaPalette.clear();
    return {
        {"8-bit lines cut", "PCX", cutTo(writePcx(pcxOf(13, 7, 8, 1)), 128 + 30)},
        {"24-bit lines cut", "PCX", cutTo(writePcx(pcxOf(13, 7, 8, 3)), 128 + 50)},
        {"16-colour planes cut", "PCX", cutTo(writePcx(pcxOf(13, 7, 1, 4)), 128 + 11)},
        {"1-bit lines cut", "PCX", cutTo(writePcx(pcxOf(13, 7, 1, 1)), 128 + 3)},
        {"4-bit lines cut", "PCX", cutTo(writePcx(pcxOf(13, 7, 4, 1)), 128 + 9)},
        {"header only", "PCX", cutTo(writePcx(pcxOf(13, 7, 8, 1)), 128)},
        {"runs past the line and a short stream", "PCX", writePcx(longRuns)},
        {"8-bit without its palette", "PCX", writePcx(noPalette)},
    };
}

std::vector<Hostile> hostileWbmps() {
    Bytes rows(3 * 5);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<BYTE>(i * 29 + 1);
    const Bytes whole = writeWbmp(19, 5, rows);
    return {
        {"rows cut", "WBMP", cutTo(whole, whole.size() - 4)},
        {"rows cut within a row", "WBMP", cutTo(whole, whole.size() - 8)},
        {"header only", "WBMP", cutTo(whole, 4)},
    };
}

std::vector<Hostile> hostilePcds() {
    PcdFile plain;
    plain.fourBase =
        PcdCorrections{{pcdStepTable({3, -5, 9})}, {{0, 7, {3, -5, 9, 9, 0, 3}, "0110"}}, 1024};
    plain.sixteenBase =
        PcdCorrections{{pcdStepTable({1, -2}), pcdStepTable({4, -4}), pcdStepTable({-7, 7})},
                       {{0, 11, {1, -2, 1}, ""}, {2, 20, {4, 4, -4}, "1"}, {3, 2047, {7, -7}, "0"}},
                       2048};
    const Bytes whole = writePcd(plain);
    std::vector<Hostile> cases = {{"with corrections of both levels", "PCD", whole}};
    // Within the header, the first level, the third level and the corrections.
    for (std::size_t cut : {std::size_t{3000}, std::size_t{6144}, std::size_t{4 * 2048 + 5000},
                            std::size_t{96 * 2048 + 300000}, whole.size() - 100})
        cases.push_back({"cut at " + std::to_string(cut), "PCD", cutTo(whole, cut)});
    return cases;
}

TEST(HeapIndependenceMade, HostileFilesReadAlikeUnderTwoFills) {
    std::vector<Hostile> all;
    for (auto make : {hostileBmps, hostilePngs, hostilePcxs, hostileWbmps, hostilePcds})
        for (Hostile& h : make())
            all.push_back(std::move(h));
    for (const Hostile& h : all) {
        const Format& f = formatNamed(h.format);
        TempFile file(h.file, f.extension);
        expectEveryFormSame(f, file.path(), h.format + (" " + h.name));
    }
}

// Conversions, rotations, overlays and resizers on odd sizes. Inputs are patterns made inside
// the call and destinations start from a pattern, so only what the operation read from its own
// scratch memory can differ.
Bytes patterned(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<BYTE>((i * 2654435761u + seed * 97u) >> 5);
    return b;
}

std::vector<WORD> patternedWords(std::size_t n, unsigned seed) {
    std::vector<WORD> w(n);
    for (std::size_t i = 0; i < n; ++i)
        w[i] = static_cast<WORD>((i * 2654435761u + seed * 97u) >> 7);
    return w;
}

Bytes asBytes(const std::vector<WORD>& words) {
    Bytes b(words.size() * sizeof(WORD));
    std::memcpy(b.data(), words.data(), b.size());
    return b;
}

Output outcome(int code, int result, Bytes block) {
    Output o;
    o.status = code;
    o.extra = result;
    o.returned = true;
    o.block = std::move(block);
    return o;
}

struct Conversion {
    std::string name;
    std::function<Output()> run;
};

struct Size2 {
    int width, height;
};

const Size2 kOddSizes[] = {{1, 1}, {5, 3}, {13, 7}, {2, 9}};

// A packed DIB of `bits` with a table of `entries` (0: as many as the bits index), patterned
// rows padded to 32 bits.
Bytes patternedDib(int width, int height, int bits, unsigned entries) {
    const unsigned table = bits <= 8 ? (entries != 0 ? entries : 1u << bits) : 0;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const std::size_t rows = rowBytes * static_cast<std::size_t>(height < 0 ? -height : height);
    BITMAPINFOHEADER h{
        40, width, height,  1, static_cast<WORD>(bits), BI_RGB, static_cast<DWORD>(rows),
        0,  0,     entries, 0};
    Bytes dib(sizeof h);
    std::memcpy(dib.data(), &h, sizeof h);
    const Bytes colours = patterned(table * 4, 3);
    dib.insert(dib.end(), colours.begin(), colours.end());
    const Bytes pixels = patterned(rows, static_cast<unsigned>(bits));
    dib.insert(dib.end(), pixels.begin(), pixels.end());
    return dib;
}

std::vector<Conversion> dibConversions() {
    std::vector<Conversion> cases;
    for (const Size2 z : kOddSizes) {
        const std::string size = std::to_string(z.width) + "x" + std::to_string(z.height);
        for (int bits : {1, 4, 8, 16, 24, 32})
            for (int height : {z.height, -z.height})
                for (unsigned entries : {0u, 3u}) {
                    if (entries != 0 && bits > 8) continue;
                    cases.push_back(
                        {"dibToRGB " + std::to_string(bits) + " " + std::to_string(z.width) + "x" +
                             std::to_string(height) + " entries " + std::to_string(entries),
                         [=] {
                             const Bytes dib = patternedDib(z.width, height, bits, entries);
                             Bytes rgb(std::size_t(z.width) * z.height * 3, 0x77);
                             img::CDibConverter c;
                             const int r = c.dibToRGB(dib.data(), rgb.data());
                             return outcome(c.status, r, rgb);
                         }});
                }
        const std::size_t pixels = std::size_t(z.width) * z.height;
        // Each builder with a block of its own, then into a patterned destination.
        for (bool own : {true, false}) {
            const std::string where = own ? " own block" : " given block";
            const auto build = [own](std::size_t bytes,
                                     const std::function<BYTE*(img::CDibConverter&, BYTE*)>& make) {
                Bytes destination = patterned(bytes + 64, 9);
                img::CDibConverter c;
                BYTE* dib = make(c, own ? nullptr : destination.data());
                Output o = outcome(c.status, dib != nullptr, {});
                if (own)
                    takeBlock(o, dib);
                else
                    o.block = destination;
                return o;
            };
            const std::size_t row24 = (std::size_t(z.width) * 24 + 31) / 32 * 4;
            const std::size_t row8 = (std::size_t(z.width) * 8 + 31) / 32 * 4;
            const std::size_t row1 = (std::size_t(z.width) + 31) / 32 * 4;
            cases.push_back({"rgbToDIB " + size + where, [=] {
                                 const Bytes rgb = patterned(pixels * 3, 1);
                                 return build(40 + row24 * z.height, [&](auto& c, BYTE* d) {
                                     return c.rgbToDIB(rgb.data(), z.width, z.height, d);
                                 });
                             }});
            cases.push_back({"rgbaToDIB " + size + where, [=] {
                                 const Bytes rgba = patterned(pixels * 4, 2);
                                 return build(40 + pixels * 4, [&](auto& c, BYTE* d) {
                                     return c.rgbaToDIB(rgba.data(), z.width, z.height, d);
                                 });
                             }});
            cases.push_back({"indexedToDIB " + size + where, [=] {
                                 const Bytes indices = patterned(pixels, 3);
                                 const Bytes palette = patterned(1024, 4);
                                 return build(1064 + row8 * z.height, [&](auto& c, BYTE* d) {
                                     return c.indexedToDIB(
                                         indices.data(), z.width, z.height,
                                         reinterpret_cast<const RGBQUAD*>(palette.data()), d);
                                 });
                             }});
            cases.push_back({"oneBitToDIB " + size + where, [=] {
                                 const Bytes rows =
                                     patterned((std::size_t(z.width) + 7) / 8 * z.height, 5);
                                 const RGBQUAD two[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
                                 Bytes destination = patterned(48 + row1 * z.height + 64, 9);
                                 BYTE* dib = oneBitToDIB(rows.data(), z.width, z.height, two,
                                                         own ? nullptr : destination.data());
                                 Output o = outcome(getLastError(), dib != nullptr, {});
                                 if (own)
                                     takeBlock(o, dib);
                                 else
                                     o.block = destination;
                                 return o;
                             }});
        }
        for (int bits = 1; bits <= 8; ++bits)
            cases.push_back({"unpackPixels " + std::to_string(bits) + " " + size, [=] {
                                 const Bytes packed = patterned((pixels * bits + 7) / 8,
                                                                static_cast<unsigned>(bits));
                                 Bytes out(pixels, 0x77);
                                 img::CDibConverter c;
                                 const int r = c.unpackPixels(packed.data(), z.width, z.height,
                                                              bits, out.data());
                                 return outcome(c.status, r, out);
                             }});
        for (int kind : {2, 4})
            cases.push_back({"twoBitToFourBit " + std::to_string(kind) + " " + size, [=] {
                                 const Bytes in = patterned((pixels * kind + 7) / 8, 6);
                                 Bytes out((pixels + 1) / 2, 0x77);
                                 img::CDibConverter c;
                                 c.twoBitToFourBit(in.data(), out.data(), kind,
                                                   static_cast<int>(pixels));
                                 return outcome(c.status, 0, out);
                             }});
        cases.push_back({"paletteToRGB " + size, [=] {
                             const Bytes in = patterned(std::size_t(z.width + 3) * z.height, 7);
                             const Bytes palette = patterned(1024, 8);
                             Bytes out(std::size_t(z.width * 3 + 1) * z.height, 0x77);
                             img::CDibConverter c;
                             const int r = c.paletteToRGB(
                                 in.data(), out.data(), z.width, z.height, z.width + 3,
                                 z.width * 3 + 1, reinterpret_cast<const RGBQUAD*>(palette.data()));
                             return outcome(c.status, r, out);
                         }});
        cases.push_back({"rgbToRGBA " + size, [=] {
                             const Bytes in = patterned(std::size_t(z.width * 3 + 2) * z.height, 7);
                             Bytes out(std::size_t(z.width * 4 + 1) * z.height, 0x77);
                             img::CDibConverter c;
                             const int r =
                                 c.rgbToRGBA(in.data(), z.width, z.height, z.width * 3 + 2,
                                             z.width * 4 + 1, 200, out.data());
                             return outcome(c.status, r, out);
                         }});
        cases.push_back(
            {"row reshaping " + size, [=] {
                 const int stride = z.width * 3 + 5;
                 Bytes rows = patterned(std::size_t(stride) * z.height, 10);
                 std::vector<WORD> words =
                     patternedWords(std::size_t(z.width * 2 + 1) * z.height, 11);
                 Bytes copy(std::size_t(z.width * 2 + 3) * z.height, 0x77);
                 img::CDibConverter c;
                 int r = c.flipVertical(rows.data(), stride, z.height);
                 r += 2 * c.mirrorRows(rows.data(), z.width, z.height, 3, stride);
                 r += 4 * c.mirrorRows16(words.data(), z.width, z.height, 2, z.width * 2 + 1);
                 r += 8 * c.mirrorOneBitRows(rows.data(), z.width, z.height, stride);
                 c.swapRedBlue24(rows.data(), z.width, z.height);
                 c.swapRedBlue32(rows.data(), z.width / 2, z.height);
                 r += 16 * c.copyRows(rows.data(), stride, z.height, z.width * 2 + 3, copy.data());
                 Bytes all = rows;
                 const Bytes w = asBytes(words);
                 all.insert(all.end(), w.begin(), w.end());
                 all.insert(all.end(), copy.begin(), copy.end());
                 return outcome(c.status, r, all);
             }});
    }
    return cases;
}

std::vector<Conversion> rotations() {
    std::vector<Conversion> cases;
    const Size2 sizes[] = {{1, 1}, {10, 3}, {13, 7}, {3, 17}};
    for (const Size2 z : sizes) {
        const std::string size = std::to_string(z.width) + "x" + std::to_string(z.height);
        for (int flags : {0, 1, 2, 8, 9, 10})
            cases.push_back({"rotateOneBit " + std::to_string(flags) + " " + size, [=] {
                                 const int srcRow = (z.width + 7) / 8 + 1;
                                 const int dstRow = (std::max(z.width, z.height) + 7) / 8 + 2;
                                 const Bytes in = patterned(std::size_t(srcRow) * z.height, 12);
                                 Bytes out = patterned(
                                     std::size_t(dstRow) * std::max(z.width, z.height), 13);
                                 img::CDibConverter c;
                                 const int r = c.rotateOneBit(in.data(), out.data(), z.width,
                                                              z.height, flags, srcRow, dstRow);
                                 return outcome(c.status, r, out);
                             }});
        for (int direction : {0, 1, 2})
            for (int units : {1, 3, 4}) {
                const std::string name =
                    std::to_string(direction) + " by " + std::to_string(units) + " " + size;
                const int side = std::max(z.width, z.height);
                cases.push_back({"rotateBytes " + name, [=] {
                                     const int srcRow = z.width * units + 3;
                                     const int dstRow = side * units + 1;
                                     const Bytes in = patterned(std::size_t(srcRow) * z.height, 14);
                                     Bytes out(std::size_t(dstRow) * side, 0x77);
                                     img::CDibConverter c;
                                     const int r =
                                         c.rotateBytes(in.data(), z.width, z.height, srcRow,
                                                       out.data(), dstRow, direction, units);
                                     return outcome(c.status, r, out);
                                 }});
                cases.push_back({"rotateWords " + name, [=] {
                                     const int srcRow = z.width * units + 3;
                                     const int dstRow = side * units + 1;
                                     const std::vector<WORD> in =
                                         patternedWords(std::size_t(srcRow) * z.height, 15);
                                     std::vector<WORD> out(std::size_t(dstRow) * side, 0x7777);
                                     img::CDibConverter c;
                                     const int r =
                                         c.rotateWords(in.data(), z.width, z.height, srcRow,
                                                       out.data(), dstRow, direction, units);
                                     return outcome(c.status, r, asBytes(out));
                                 }});
                cases.push_back({"rotate in place " + name, [=] {
                                     Bytes bytes =
                                         patterned(std::size_t(z.width) * z.height * units, 16);
                                     std::vector<WORD> words = patternedWords(
                                         std::size_t(z.width) * z.height * units, 17);
                                     img::CDibConverter c;
                                     int r = c.rotateBytesInPlace(bytes.data(), z.width, z.height,
                                                                  direction, units);
                                     r += 2 * c.rotateWordsInPlace(words.data(), z.width, z.height,
                                                                   direction, units);
                                     const Bytes w = asBytes(words);
                                     bytes.insert(bytes.end(), w.begin(), w.end());
                                     return outcome(c.status, r, bytes);
                                 }});
            }
    }
    return cases;
}

std::vector<Conversion> overlays() {
    std::vector<Conversion> cases;
    const int dstW = 13, dstH = 7, srcW = 6, srcH = 4;
    for (int x : {-5, -3, 0, 3, 8, 11})
        for (int y : {-2, 0, 5}) {
            const std::string at = std::to_string(x) + "," + std::to_string(y);
            cases.push_back({"overlayRGBA at " + at, [=] {
                                 Bytes dst = patterned(std::size_t(dstW * 3 + 1) * dstH, 18);
                                 const Bytes src = patterned(std::size_t(srcW * 4 + 2) * srcH, 19);
                                 img::COverlay o;
                                 const int r =
                                     o.overlayRGBA(dst.data(), dstW, dstH, dstW * 3 + 1, src.data(),
                                                   srcW, srcH, srcW * 4 + 2, x, y);
                                 return outcome(o.status, r, dst);
                             }});
            for (int flags : {0, 8})
                cases.push_back({"overlayOneBit " + std::to_string(flags) + " at " + at, [=] {
                                     const int dstRow = 3, srcRow = 2;
                                     Bytes dst = patterned(std::size_t(dstRow) * dstH, 20);
                                     const Bytes src = patterned(std::size_t(srcRow) * srcH, 21);
                                     img::COverlay o;
                                     const int r = o.overlayOneBit(dst.data(), dstW + 4, dstH,
                                                                   dstRow, src.data(), srcW + 5,
                                                                   srcH, srcRow, x, y, flags);
                                     return outcome(o.status, r, dst);
                                 }});
            for (DWORD mode : {0u, 0x80000000u})
                cases.push_back({"overlay16 " + std::to_string(mode) + " at " + at, [=] {
                                     std::vector<WORD> dst =
                                         patternedWords(std::size_t(dstW * 3 + 1) * dstH, 22);
                                     const std::vector<WORD> src =
                                         patternedWords(std::size_t(srcW * 3 + 2) * srcH, 23);
                                     img::COverlay o;
                                     const int r = o.overlay16(dst.data(), dstW, dstH, src.data(),
                                                               srcW, srcH, x, y, 1.0, 3,
                                                               dstW * 3 + 1, srcW * 3 + 2, mode);
                                     return outcome(o.status, r, asBytes(dst));
                                 }});
        }
    return cases;
}

struct ResizeShape {
    Size2 from, to;
    int spare; // bytes past each row's pixels, in source and destination alike
};

// Rows without spare bytes end the buffers where their last pixel does.
const ResizeShape kResizeShapes[] = {
    {{5, 3}, {13, 7}, 3},  {{13, 7}, {5, 3}, 3},  {{1, 1}, {4, 4}, 3},
    {{31, 29}, {7, 5}, 3}, {{7, 2}, {3, 9}, 3},   {{9, 9}, {9, 9}, 3},
    {{5, 3}, {13, 7}, 0},  {{31, 29}, {7, 5}, 0}, {{9, 9}, {9, 9}, 0},
};

using ResizeCall = std::function<int(const BYTE*, int, int, int, BYTE*, int, int, int)>;

// Runs one resizer over a patterned source into a patterned destination.
Output resized(const ResizeShape& s, int bytesPerPixel, const ResizeCall& resize) {
    const int srcRow = s.from.width * bytesPerPixel + s.spare;
    const int dstRow = s.to.width * bytesPerPixel + s.spare;
    const Bytes src = patterned(std::size_t(srcRow) * s.from.height, 24);
    Bytes dst = patterned(std::size_t(dstRow) * s.to.height, 25);
    const int r = resize(src.data(), s.from.width, s.from.height, srcRow, dst.data(), s.to.width,
                         s.to.height, dstRow);
    return outcome(getLastError(), r, dst);
}

// 1-bit rows hold width / 8 bytes and more, whatever the bytes per pixel say.
Output resizedBits(const ResizeShape& s) {
    const int srcRow = (s.from.width + 7) / 8 + s.spare;
    const int dstRow = (s.to.width + 7) / 8 + s.spare;
    const Bytes src = patterned(std::size_t(srcRow) * s.from.height, 26);
    Bytes dst = patterned(std::size_t(dstRow) * s.to.height, 27);
    const int r = resize1Bit(src.data(), s.from.width, s.from.height, srcRow, dst.data(),
                             s.to.width, s.to.height, dstRow);
    return outcome(getLastError(), r, dst);
}

std::vector<Conversion> resizes() {
    std::vector<Conversion> cases;
    for (const ResizeShape& s : kResizeShapes) {
        const std::string shape = std::to_string(s.from.width) + "x" +
                                  std::to_string(s.from.height) + " to " +
                                  std::to_string(s.to.width) + "x" + std::to_string(s.to.height) +
                                  " spare " + std::to_string(s.spare);
        for (int bpp : {1, 2, 3, 4, 5}) {
            const std::string name = shape + " by " + std::to_string(bpp);
            const auto add = [&](const std::string& what, const ResizeCall& call) {
                cases.push_back({what + " " + name, [=] { return resized(s, bpp, call); }});
            };
            add("resizeRGBVariantA",
                [bpp](const BYTE* a, int b, int c, int d, BYTE* e, int f, int g, int h) {
                    return resizeRGBVariantA(a, b, c, d, e, f, g, h, bpp);
                });
            add("resizeRGBVariantB",
                [bpp](const BYTE* a, int b, int c, int d, BYTE* e, int f, int g, int h) {
                    return resizeRGBVariantB(a, b, c, d, e, f, g, h, bpp);
                });
            add("resizeRGBVariantC",
                [bpp](const BYTE* a, int b, int c, int d, BYTE* e, int f, int g, int h) {
                    return resizeRGBVariantC(a, b, c, d, e, f, g, h, bpp);
                });
            for (int flags : {0, 1})
                add("resizeRGBAreaAverage " + std::to_string(flags),
                    [bpp, flags](const BYTE* a, int b, int c, int d, BYTE* e, int f, int g, int h) {
                        return resizeRGBAreaAverage(a, b, c, d, e, f, g, h, bpp, flags);
                    });
            for (int filter = 0; filter < 14; ++filter)
                add("resizeFiltered " + std::to_string(filter),
                    [bpp, filter](const BYTE* a, int b, int c, int d, BYTE* e, int f, int g,
                                  int h) {
                        return resizeFiltered(a, b, c, d, e, f, g, h, bpp, filter);
                    });
        }
        for (int count : {256, 5}) {
            const std::string name = shape + " of " + std::to_string(count) + " colours";
            cases.push_back(
                {"resize8BitPalette " + name, [=] {
                     const Bytes palette = patterned(1024, 28);
                     const auto* entries = reinterpret_cast<const RGBQUAD*>(palette.data());
                     return resized(
                         s, 1,
                         [=](const BYTE* a, int b, int c, int d, BYTE* e, int f, int g, int h) {
                             return resize8BitPalette(a, b, c, d, e, f, g, h, count, entries);
                         });
                 }});
            cases.push_back({"resize8BitAreaAverage " + name, [=] {
                                 const Bytes palette = patterned(1024, 28);
                                 const auto* entries =
                                     reinterpret_cast<const RGBQUAD*>(palette.data());
                                 return resized(s, 1,
                                                [=](const BYTE* a, int b, int c, int d, BYTE* e,
                                                    int f, int g, int h) {
                                                    return resize8BitAreaAverage(
                                                        a, b, c, d, e, f, g, h, entries, count, 0);
                                                });
                             }});
        }
        cases.push_back({"resize1Bit " + shape, [=] { return resizedBits(s); }});
    }
    return cases;
}

TEST(HeapIndependenceMade, ConversionsGiveTheSameBytesUnderTwoFills) {
    for (auto make : {dibConversions, rotations, overlays, resizes})
        for (const Conversion& c : make())
            expectSameUnderTwoFills(c.name, c.run);
}

// Bitmaps of odd widths at every depth, patterned through SetDIBits, on the true-colour screen
// and on a palette device.
struct BitmapShape {
    int width, height, bits; // bits 0: compatible with the screen
};

const BitmapShape kBitmaps[] = {{13, 7, 0}, {5, 3, 1},   {13, 7, 4}, {7, 5, 8},
                                {9, 3, 16}, {11, 5, 24}, {3, 7, 32}};

HBITMAP patternedBitmap(HDC screen, const BitmapShape& b) {
    BITMAPINFO* info = nullptr;
    Bytes header(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    info = reinterpret_cast<BITMAPINFO*>(header.data());
    info->bmiHeader = {40,     b.width, b.height, 1, static_cast<WORD>(b.bits != 0 ? b.bits : 24),
                       BI_RGB, 0,       0,        0, 0,
                       0};
    const Bytes table = patterned(1024, 29);
    std::memcpy(info->bmiColors, table.data(), table.size());
    HBITMAP bitmap = nullptr;
    if (b.bits == 0) {
        bitmap = CreateCompatibleBitmap(screen, b.width, b.height);
    } else {
        void* bits = nullptr;
        bitmap = CreateDIBSection(screen, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    const int depth = b.bits != 0 ? b.bits : 24;
    info->bmiHeader.biBitCount = static_cast<WORD>(depth);
    const Bytes rows = patterned((std::size_t(b.width) * depth + 31) / 32 * 4 * b.height, 30);
    SetDIBits(screen, bitmap, 0, static_cast<UINT>(b.height), rows.data(), info, DIB_RGB_COLORS);
    return bitmap;
}

std::vector<Conversion> gdiConversions() {
    std::vector<Conversion> cases;
    for (const BitmapShape& b : kBitmaps) {
        const std::string name = std::to_string(b.width) + "x" + std::to_string(b.height) + " at " +
                                 std::to_string(b.bits) + " bits";
        cases.push_back({"bitmapToRGB " + name, [=] {
                             HDC screen = GetDC(nullptr);
                             HBITMAP bitmap = patternedBitmap(screen, b);
                             Bytes rgb(std::size_t(b.width) * b.height * 3, 0x77);
                             img::CDibConverter c;
                             const int r = c.bitmapToRGB(bitmap, screen, rgb.data());
                             DeleteObject(bitmap);
                             ReleaseDC(nullptr, screen);
                             return outcome(c.status, r, rgb);
                         }});
        cases.push_back({"bitmapToDIB " + name, [=] {
                             HDC screen = GetDC(nullptr);
                             HBITMAP bitmap = patternedBitmap(screen, b);
                             img::CDibConverter c;
                             BYTE* dib = c.bitmapToDIB(bitmap, nullptr);
                             Output o = outcome(c.status, dib != nullptr, {});
                             takeBlock(o, dib);
                             DeleteObject(bitmap);
                             ReleaseDC(nullptr, screen);
                             return o;
                         }});
    }
    const Size2 shapes[] = {{13, 7}, {1, 1}, {6, 5}};
    for (const Size2 z : shapes) {
        const std::string size = std::to_string(z.width) + "x" + std::to_string(z.height);
        for (int x : {0, 4, -3}) {
            cases.push_back({"copyDCToRGB " + size + " from " + std::to_string(x), [=] {
                                 HDC screen = GetDC(nullptr);
                                 HDC memory = CreateCompatibleDC(screen);
                                 HBITMAP bitmap = patternedBitmap(screen, {9, 8, 0});
                                 HGDIOBJ old = SelectObject(memory, bitmap);
                                 Bytes rgb(std::size_t(z.width) * z.height * 3, 0x77);
                                 const int r =
                                     copyDCToRGB(memory, x, x / 2, z.width, z.height, rgb.data());
                                 Output o = outcome(getLastError(), r, rgb);
                                 SelectObject(memory, old);
                                 DeleteObject(bitmap);
                                 DeleteDC(memory);
                                 ReleaseDC(nullptr, screen);
                                 return o;
                             }});
        }
        cases.push_back({"rgbToHBITMAP " + size, [=] {
                             const Bytes rgb = patterned(std::size_t(z.width) * z.height * 3, 31);
                             HBITMAP bitmap =
                                 rgbToHBITMAP(rgb.data(), z.width, z.height, nullptr, nullptr);
                             Output o = outcome(getLastError(), bitmap != nullptr, {});
                             HDC screen = GetDC(nullptr);
                             BITMAPINFO info{};
                             info.bmiHeader = {40, z.width, z.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
                             Bytes back((std::size_t(z.width) * 3 + 3) / 4 * 4 * z.height, 0x77);
                             if (bitmap != nullptr)
                                 GetDIBits(screen, bitmap, 0, static_cast<UINT>(z.height),
                                           back.data(), &info, DIB_RGB_COLORS);
                             o.block = back;
                             DeleteObject(bitmap);
                             ReleaseDC(nullptr, screen);
                             return o;
                         }});
    }
    return cases;
}

TEST(HeapIndependenceMade, GdiConversionsGiveTheSameBytesUnderTwoFills) {
    for (BOOL palette : {FALSE, TRUE}) {
        SCOPED_TRACE(palette ? "palette device" : "true-colour screen");
        winplatUsePaletteDevice(palette);
        for (const Conversion& c : gdiConversions())
            expectSameUnderTwoFills(c.name, c.run);
    }
    winplatResetScreen(RGB(0, 0, 0));
}

} // namespace
