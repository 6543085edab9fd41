// Our readers on a 4000 x 3000 photograph against stb_image (Debian's libstb-dev) in this same
// process, libtiff's own TIFFReadRGBAImage for TIFF, and Pillow (Debian's python3-pil) in a
// process of its own. Pillow saves the files (the layered-image ones, which it cannot write,
// come from the tests' writer); each round times every side once, the order turning from
// round to round so that a busy machine weighs on all of them alike, and every ratio is the
// median of the rounds' ratios.
//
//     build-bench/bench/bench_Readers [rounds]   (5 by default)
#include "PillowProcess.h"
#include "PsdWriter.h"
#include "imgcore.h"

#include <stb/stb_image.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The layered-image files, written from the photograph's raw rows.
bool writePsd(const std::string& folder) {
    std::FILE* raw = std::fopen((folder + "/photo.rgb").c_str(), "rb");
    if (raw == nullptr) return false;
    std::vector<BYTE> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    const bool read = std::fread(rgb.data(), 1, rgb.size(), raw) == rgb.size();
    std::fclose(raw);
    if (!read) return false;
    testing_support::PsdImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.planes.assign(3, testing_support::Bytes(static_cast<std::size_t>(kWidth) * kHeight));
    for (std::size_t i = 0; i < image.planes[0].size(); ++i)
        for (int c = 0; c < 3; ++c)
            image.planes[c][i] = rgb[3 * i + c];
    for (int compression : {0, 1}) {
        image.compression = compression;
        const testing_support::Bytes file = testing_support::psdFile(image);
        const std::string path = folder + (compression ? "/rle.psd" : "/raw.psd");
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) return false;
        const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
        if (std::fclose(out) != 0 || !written) return false;
    }
    return true;
}

using Reader = std::function<bool(const char* path)>;

// One of our readers at the bit depth a thumbnail asks of it.
Reader ours(BYTE* (*read)(SourceHandle, int*, int*, int, RGBQUAD*, int), int bits) {
    return [read, bits](const char* path) {
        SourceHandle src = openFileSource(path);
        if (src == nullptr) return false;
        int w = 0, h = 0;
        RGBQUAD palette[256];
        BYTE* pixels = read(src, &w, &h, bits, palette, 0);
        closeSource(src);
        if (pixels == nullptr) return false;
        GlobalFree(pixels);
        return w == kWidth && h == kHeight;
    };
}

BYTE* readTiff24(SourceHandle src, int* w, int* h, int bits, RGBQUAD* palette, int flags) {
    return readTIFF(src, w, h, bits, palette, 0, flags);
}

BYTE* readGif8(SourceHandle src, int* w, int* h, int, RGBQUAD* palette, int flags) {
    int transparent = 0;
    return readGIF(src, w, h, &transparent, palette, flags);
}

Reader stb(int channels) {
    return [channels](const char* path) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load(path, &w, &h, &n, channels);
        if (pixels == nullptr) return false;
        stbi_image_free(pixels);
        return w == kWidth && h == kHeight;
    };
}

bool libtiffRgba(const char* path) {
    TIFF* tif = TIFFOpen(path, "r");
    if (tif == nullptr) return false;
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(kWidth) * kHeight);
    const bool read = TIFFReadRGBAImage(tif, kWidth, kHeight, raster.data(), 0) != 0;
    TIFFClose(tif);
    return read;
}

struct File {
    const char* label;
    const char* name;
    Reader ours;
    const char* otherName; // stb_image, or libtiff for TIFF; null for none
    Reader other;
};

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char folderTemplate[] = "/tmp/gallimo-readers-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) return 1;
    const std::string folder = folderTemplate;
    std::printf("making the files in %s\n", folder.c_str());
    std::fflush(stdout);
    // The Python process makes the files, then times Pillow's reads of them.
    PillowProcess pillow("pillow_readers.py", {folder});
    if (!pillow.ready() || !writePsd(folder)) {
        std::fprintf(stderr, "Pillow (/usr/bin/python3 with python3-pil) made no files\n");
        return 1;
    }
    TIFFSetWarningHandler(nullptr);
    const File files[] = {
        {"TGA 24-bit raw", "raw.tga", ours(readTGA, 24), "stb_image", stb(3)},
        {"TGA 24-bit RLE", "rle.tga", ours(readTGA, 24), "stb_image", stb(3)},
        {"PCX 24-bit (3 planes)", "planes.pcx", ours(readPCX, 24), nullptr, nullptr},
        {"BMP 24-bit", "24.bmp", ours(readBMP, 24), "stb_image", stb(3)},
        {"BMP 8-bit", "8.bmp", ours(readBMP, 8), "stb_image", stb(0)},
        {"GIF 256 colours", "256.gif", ours(readGif8, 8), "stb_image", stb(0)},
        {"PSD raw", "raw.psd", ours(readPSD, 24), "stb_image", stb(3)},
        {"PSD RLE", "rle.psd", ours(readPSD, 24), "stb_image", stb(3)},
        {"TIFF 24-bit raw", "raw.tif", ours(readTiff24, 24), "TIFFReadRGBAImage", libtiffRgba},
    };
    std::printf("\n%d rounds, medians; ratios are ours over theirs, round by round\n\n", rounds);
    std::printf(
        "| File | ours ms | other | other ms | ours / other | Pillow ms | ours / Pillow |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const File& f : files) {
        const std::string path = folder + "/" + f.name;
        std::vector<double> mine, theirs, pil, toTheirs, toPillow;
        for (int r = 0; r < rounds; ++r) {
            const auto timed = [&](const Reader& read) {
                const double start = now();
                if (!read(path.c_str())) ++failures;
                return now() - start;
            };
            double a = 0, b = 0;
            if (r % 2 == 0) {
                a = timed(f.ours);
                if (f.other) b = timed(f.other);
            } else {
                if (f.other) b = timed(f.other);
                a = timed(f.ours);
            }
            const double p = pillow.seconds(path);
            mine.push_back(a);
            pil.push_back(p);
            toPillow.push_back(a / p);
            if (f.other) {
                theirs.push_back(b);
                toTheirs.push_back(a / b);
            }
        }
        if (f.other)
            std::printf("| %s | %.1f | %s | %.1f | %.2f | %.1f | %.2f |\n", f.label,
                        median(mine) * 1e3, f.otherName, median(theirs) * 1e3, median(toTheirs),
                        median(pil) * 1e3, median(toPillow));
        else
            std::printf("| %s | %.1f | - | - | - | %.1f | %.2f |\n", f.label, median(mine) * 1e3,
                        median(pil) * 1e3, median(toPillow));
        std::fflush(stdout);
    }
    for (const File& f : files)
        std::remove((folder + "/" + f.name).c_str());
    std::remove((folder + "/photo.rgb").c_str());
    rmdir(folder.c_str());
    if (failures != 0) std::fprintf(stderr, "%d reads failed\n", failures);
    return failures == 0 ? 0 : 1;
}
