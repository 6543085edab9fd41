// Every resizer on a 4000 x 3000 image to 400 x 300 and 100 x 75, and beside them the same
// resizes by Pillow (Debian's python3-pil), timed inside its own process.
#include "PillowProcess.h"
#include "VectorUnits.h"
#include "imgcore.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// GALLIMO_BENCH_PLAIN=1 times the plain loops, which processors without the vector unit run.
const bool g_plain = [] {
    const bool plain = std::getenv("GALLIMO_BENCH_PLAIN") != nullptr;
    if (plain) img::allowVectorUnits(false);
    return plain;
}();

// A photograph-like source: smooth gradients with fine noise on top.
const std::vector<BYTE>& rgbSource() {
    static const std::vector<BYTE> pixels = [] {
        std::vector<BYTE> p(static_cast<std::size_t>(kWidth) * kHeight * 3);
        std::uint32_t seed = 1;
        std::size_t i = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int n = static_cast<int>((seed >> 16) & 15) - 8;
                const int base[3] = {x * 255 / kWidth, y * 255 / kHeight, (x + y) * 255 / 7000};
                for (int b : base)
                    p[i++] = static_cast<BYTE>(std::min(255, std::max(0, b + n)));
            }
        }
        return p;
    }();
    return pixels;
}

const std::vector<BYTE>& indexedSource() {
    static const std::vector<BYTE> pixels = [] {
        const std::vector<BYTE>& rgb = rgbSource();
        std::vector<BYTE> p(static_cast<std::size_t>(kWidth) * kHeight);
        for (std::size_t i = 0; i < p.size(); ++i)
            p[i] = static_cast<BYTE>((rgb[3 * i] & 0xE0) | ((rgb[3 * i + 1] >> 3) & 0x1C) |
                                     (rgb[3 * i + 2] >> 6));
        return p;
    }();
    return pixels;
}

// The 3-3-2 palette of the indexed source.
const RGBQUAD* palette() {
    static const std::vector<RGBQUAD> entries = [] {
        std::vector<RGBQUAD> e(256);
        for (int i = 0; i < 256; ++i)
            e[i] = RGBQUAD{static_cast<BYTE>((i & 3) * 85), static_cast<BYTE>(((i >> 2) & 7) * 36),
                           static_cast<BYTE>((i >> 5) * 36), 0};
        return e;
    }();
    return entries.data();
}

constexpr int kOneBitRow = (kWidth + 7) / 8;

const std::vector<BYTE>& oneBitSource() {
    static const std::vector<BYTE> bits = [] {
        const std::vector<BYTE>& rgb = rgbSource();
        std::vector<BYTE> b(static_cast<std::size_t>(kOneBitRow) * kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3 + 1] & 1)
                    b[y * kOneBitRow + x / 8] |= static_cast<BYTE>(0x80 >> (x & 7));
        return b;
    }();
    return bits;
}

enum Method {
    kBilinear,
    kNearest,
    kBicubic,
    kBox,
    kArea,
    kPaletteBlend,
    kPaletteArea,
    kOneBit,
    kFilterTriangle,
    kFilterLanczos3,
    kFilterMitchell,
    kFilterCatmullRom,
};

int run(Method m, std::vector<BYTE>& dst, int w, int h) {
    const BYTE* rgb = rgbSource().data();
    const int rgbRow = kWidth * 3;
    switch (m) {
    case kBilinear:
        return resizeRGBVariantA(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3);
    case kNearest:
        return resizeRGBVariantB(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3);
    case kBicubic:
        return resizeRGBVariantC(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3);
    case kBox:
        return resizeRGBAreaAverage(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3, 0);
    case kArea:
        return resizeRGBAreaAverage(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3, 1);
    case kPaletteBlend:
        return resize8BitPalette(indexedSource().data(), kWidth, kHeight, kWidth, dst.data(), w, h,
                                 w, 256, palette());
    case kPaletteArea:
        return resize8BitAreaAverage(indexedSource().data(), kWidth, kHeight, kWidth, dst.data(), w,
                                     h, w, palette(), 256, 0);
    case kOneBit:
        return resize1Bit(oneBitSource().data(), kWidth, kHeight, kOneBitRow, dst.data(), w, h,
                          (w + 7) / 8);
    case kFilterTriangle:
        return resizeFiltered(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3, 1);
    case kFilterLanczos3:
        return resizeFiltered(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3, 8);
    case kFilterMitchell:
        return resizeFiltered(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3, 9);
    case kFilterCatmullRom:
        return resizeFiltered(rgb, kWidth, kHeight, rgbRow, dst.data(), w, h, w * 3, 3, 13);
    }
    return 0;
}

void resizeBenchmark(benchmark::State& state, Method m) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    std::vector<BYTE> dst(static_cast<std::size_t>(w) * h * 3);
    rgbSource();
    indexedSource();
    oneBitSource();
    state.SetLabel(g_plain ? "plain loops" : "");
    for (auto _ : state) {
        if (run(m, dst, w, h) != 1) {
            state.SkipWithError("resize failed");
            break;
        }
        benchmark::DoNotOptimize(dst.data());
    }
}

// The source as raw rows in a file, for Pillow to load.
std::string rawSourceFile() {
    const std::string raw = "/tmp/gallimo-bench-" + std::to_string(getpid()) + ".rgb";
    std::FILE* f = std::fopen(raw.c_str(), "wb");
    if (f != nullptr) {
        std::fwrite(rgbSource().data(), 1, rgbSource().size(), f);
        std::fclose(f);
    }
    return raw;
}

// One Python process for the whole run; it loads the source once and times each resize.
PillowProcess& pillow() {
    static const std::string raw = rawSourceFile();
    static PillowProcess process("pillow_resize.py",
                                 {raw, std::to_string(kWidth), std::to_string(kHeight)});
    static const int removed = std::remove(raw.c_str());
    static_cast<void>(removed);
    return process;
}

void pillowBenchmark(benchmark::State& state, const char* filter) {
    PillowProcess& process = pillow();
    if (!process.ready()) {
        state.SkipWithError("Pillow (/usr/bin/python3 with python3-pil) is not available");
        return;
    }
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    for (auto _ : state) {
        const double s = process.seconds(std::string(filter) + " " + std::to_string(w) + " " +
                                         std::to_string(h));
        if (s < 0) {
            state.SkipWithError("Pillow stopped answering");
            break;
        }
        state.SetIterationTime(s);
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({400, 300})->Args({100, 75})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK_CAPTURE(resizeBenchmark, bilinear, kBilinear)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, nearest, kNearest)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, bicubic, kBicubic)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, boxAverage, kBox)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, areaAverage, kArea)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, paletteBlend, kPaletteBlend)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, paletteAreaAverage, kPaletteArea)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, oneBit, kOneBit)->Apply(sizes);
BENCHMARK_CAPTURE(resizeBenchmark, filteredTriangle, kFilterTriangle)->Apply(sizes);
BENCHMARK_CAPTURE(pillowBenchmark, pillowBilinear, "bilinear")->Apply(sizes)->UseManualTime();
BENCHMARK_CAPTURE(resizeBenchmark, filteredCatmullRom, kFilterCatmullRom)->Apply(sizes);
BENCHMARK_CAPTURE(pillowBenchmark, pillowBicubic, "bicubic")->Apply(sizes)->UseManualTime();
BENCHMARK_CAPTURE(resizeBenchmark, filteredLanczos3, kFilterLanczos3)->Apply(sizes);
BENCHMARK_CAPTURE(pillowBenchmark, pillowLanczos3, "lanczos")->Apply(sizes)->UseManualTime();
BENCHMARK_CAPTURE(resizeBenchmark, filteredMitchell, kFilterMitchell)->Apply(sizes);
