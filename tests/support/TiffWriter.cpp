#include "TiffWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <tiffio.h>
#include <unistd.h>

namespace testing_support {
namespace {

const TIFFFieldInfo kGeoPixelScale = {33550,
                                      TIFF_VARIABLE,
                                      TIFF_VARIABLE,
                                      TIFF_DOUBLE,
                                      FIELD_CUSTOM,
                                      1,
                                      1,
                                      const_cast<char*>("GeoPixelScale")};

std::size_t planes(const TiffPage& p) {
    return p.planar == PLANARCONFIG_SEPARATE ? p.samplesPerPixel : 1;
}

void setFields(TIFF* tif, const TiffPage& p) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, p.planar);
    if (p.photometric >= 0) TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
    if (p.orientation != 0) TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
    if (!p.colourMap.empty()) {
        const std::size_t n = p.colourMap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, p.colourMap.data(), p.colourMap.data() + n,
                     p.colourMap.data() + 2 * n);
    }
    if (!p.extraSamples.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(p.extraSamples.size()),
                     p.extraSamples.data());
    if (p.inkSet != 0) TIFFSetField(tif, TIFFTAG_INKSET, p.inkSet);
    if (p.resolutionUnit != 0) TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.resolutionUnit);
    if (p.xResolution != 0) TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xResolution);
    if (p.yResolution != 0) TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yResolution);
    if (!p.geoPixelScale.empty()) {
        if (TIFFFindField(tif, 33550, TIFF_ANY) == nullptr)
            TIFFMergeFieldInfo(tif, &kGeoPixelScale, 1);
        TIFFSetField(tif, 33550, static_cast<int>(p.geoPixelScale.size()), p.geoPixelScale.data());
    }
    if (p.tileWidth != 0 && p.tileLength != 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tileLength);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip != 0 ? p.rowsPerStrip : p.height);
    }
}

bool writeStrips(TIFF* tif, const TiffPage& p) {
    const std::size_t rowBytes = tiffRowBytes(p);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::size_t plane = 0; plane < planes(p); ++plane)
        for (std::uint32_t y = 0; y < p.height; ++y) {
            std::memcpy(row.data(), p.pixels.data() + (plane * p.height + y) * rowBytes, rowBytes);
            if (TIFFWriteScanline(tif, row.data(), y, static_cast<std::uint16_t>(plane)) < 0)
                return false;
        }
    return true;
}

// Tile widths are multiples of 16 pixels, so every tile starts on a byte of the stored row.
bool writeTiles(TIFF* tif, const TiffPage& p) {
    const std::size_t rowBytes = tiffRowBytes(p);
    const std::size_t bitsPerPixel =
        std::size_t{p.bitsPerSample} * (p.planar == PLANARCONFIG_SEPARATE ? 1 : p.samplesPerPixel);
    const std::size_t tileRowBytes = (p.tileWidth * bitsPerPixel + 7) / 8;
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tif)));
    for (std::size_t plane = 0; plane < planes(p); ++plane)
        for (std::uint32_t ty = 0; ty < p.height; ty += p.tileLength)
            for (std::uint32_t tx = 0; tx < p.width; tx += p.tileWidth) {
                std::fill(tile.begin(), tile.end(), 0);
                const std::size_t start = tx * bitsPerPixel / 8;
                for (std::uint32_t r = 0; r < p.tileLength && ty + r < p.height; ++r) {
                    const std::uint8_t* in =
                        p.pixels.data() + (plane * p.height + ty + r) * rowBytes;
                    const std::size_t n = std::min(tileRowBytes, rowBytes - start);
                    std::memcpy(tile.data() + r * tileRowBytes, in + start, n);
                }
                if (TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<std::uint16_t>(plane)) <
                    0)
                    return false;
            }
    return true;
}

} // namespace

std::size_t tiffRowBytes(const TiffPage& p) {
    const std::size_t samples = p.planar == PLANARCONFIG_SEPARATE ? 1 : p.samplesPerPixel;
    return (std::size_t{p.width} * p.bitsPerSample * samples + 7) / 8;
}

bool tiffHasTag(const Bytes& file, std::uint32_t tag) {
    TempFile f(file, ".tif");
    TIFF* tif = TIFFOpen(f.path().c_str(), "r");
    if (tif == nullptr) return false;
    const TIFFField* field = TIFFFindField(tif, tag, TIFF_ANY);
    bool present = false;
    if (field != nullptr) {
        // Every tag the fixtures leave out is a one-value short.
        std::uint16_t value = 0;
        present = TIFFGetField(tif, tag, &value) != 0;
    }
    TIFFClose(tif);
    return present;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> tiffStrips(const Bytes& file) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> strips;
    TempFile f(file, ".tif");
    TIFF* tif = TIFFOpen(f.path().c_str(), "r");
    if (tif == nullptr) return strips;
    for (std::uint32_t i = 0; i < TIFFNumberOfStrips(tif); ++i)
        strips.emplace_back(TIFFGetStrileOffset(tif, i), TIFFGetStrileByteCount(tif, i));
    TIFFClose(tif);
    return strips;
}

bool patchTiffTag(Bytes& file, std::uint16_t tag, std::uint32_t value) {
    // libtiff writes the machine's order, little-endian here.
    auto u16 = [&](std::size_t at) { return std::uint16_t(file[at] | file[at + 1] << 8); };
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(u16(at) | std::uint32_t(u16(at + 2)) << 16);
    };
    if (file.size() < 8 || file[0] != 'I') return false;
    const std::size_t ifd = u32(4);
    if (ifd + 2 > file.size()) return false;
    for (std::size_t i = 0, n = u16(ifd); i < n && ifd + 2 + 12 * (i + 1) <= file.size(); ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) != tag) continue;
        // Written as a LONG, which holds any value and which libtiff takes for a SHORT tag.
        file[entry + 2] = TIFF_LONG;
        file[entry + 3] = 0;
        for (int b = 0; b < 4; ++b)
            file[entry + 8 + b] = static_cast<std::uint8_t>(value >> (8 * b));
        return true;
    }
    return false;
}

bool setTiffStrips(Bytes& file,
                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& strips) {
    auto u16 = [&](std::size_t at) { return std::uint16_t(file[at] | file[at + 1] << 8); };
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(u16(at) | std::uint32_t(u16(at + 2)) << 16);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int b = 0; b < 4; ++b)
            file[at + b] = static_cast<std::uint8_t>(v >> (8 * b));
    };
    if (file.size() < 8 || file[0] != 'I' || strips.empty()) return false;
    const std::size_t ifd = u32(4);
    if (ifd + 2 > file.size()) return false;
    int found = 0;
    for (std::size_t i = 0, n = u16(ifd); i < n && ifd + 2 + 12 * (i + 1) <= file.size(); ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        const std::uint16_t tag = u16(entry);
        const bool offsets = tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS;
        if (!offsets && tag != TIFFTAG_STRIPBYTECOUNTS && tag != TIFFTAG_TILEBYTECOUNTS) continue;
        ++found;
        file[entry + 2] = TIFF_LONG;
        file[entry + 3] = 0;
        put32(entry + 4, static_cast<std::uint32_t>(strips.size()));
        auto value = [&](std::size_t k) { return offsets ? strips[k].first : strips[k].second; };
        if (strips.size() == 1) {
            put32(entry + 8, value(0));
            continue;
        }
        // The new array goes at the end of the file, on a word boundary.
        if (file.size() % 2 != 0) file.push_back(0);
        put32(entry + 8, static_cast<std::uint32_t>(file.size()));
        for (std::size_t k = 0; k < strips.size(); ++k) {
            file.resize(file.size() + 4);
            put32(file.size() - 4, value(k));
        }
    }
    return found == 2;
}

Bytes writeTiff(const std::vector<TiffPage>& pages) {
    char path[] = "/tmp/gallimo-tiff-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("no temporary file");
    close(fd);
    TIFF* tif = TIFFOpen(path, "w");
    if (tif == nullptr) throw std::runtime_error("libtiff cannot write");
    bool ok = true;
    for (const TiffPage& p : pages) {
        if (p.pixels.size() < tiffRowBytes(p) * p.height * planes(p)) ok = false;
        if (!ok) break;
        setFields(tif, p);
        ok = p.tileWidth != 0 && p.tileLength != 0 ? writeTiles(tif, p) : writeStrips(tif, p);
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    Bytes bytes;
    if (std::FILE* f = std::fopen(path, "rb")) {
        std::uint8_t buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    std::remove(path);
    if (!ok) throw std::runtime_error("libtiff refused the page");
    return bytes;
}

} // namespace testing_support
