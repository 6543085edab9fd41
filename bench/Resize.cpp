// Every resizer on a 4000 x 3000 image to 400 x 300 and 100 x 75, and beside them the same
// resizes by Pillow (Debian's python3-pil), timed inside its own process.
#include "VectorUnits.h"
#include "imgcore.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

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

// One Python process for the whole run; it loads the source once and times each resize.
class Pillow {
public:
    static Pillow& instance() {
        static Pillow p;
        return p;
    }
    bool ready() const { return m_to != nullptr && m_from != nullptr && m_ready; }
    double seconds(const char* filter, int w, int h) {
        std::fprintf(m_to, "%s %d %d\n", filter, w, h);
        std::fflush(m_to);
        double s = -1;
        if (std::fscanf(m_from, "%lf", &s) != 1) return -1;
        return s;
    }

private:
    Pillow() {
        const std::string script = scriptPath();
        const std::string raw = "/tmp/gallimo-bench-" + std::to_string(getpid()) + ".rgb";
        std::FILE* f = std::fopen(raw.c_str(), "wb");
        if (f == nullptr) return;
        std::fwrite(rgbSource().data(), 1, rgbSource().size(), f);
        std::fclose(f);
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        const std::string w = std::to_string(kWidth), h = std::to_string(kHeight);
        const char* argv[] = {"/usr/bin/python3", script.c_str(), raw.c_str(),
                              w.c_str(),          h.c_str(),      nullptr};
        const int spawned =
            posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        if (spawned != 0) return;
        m_to = fdopen(toChild[1], "w");
        m_from = fdopen(fromChild[0], "r");
        char word[16] = {};
        m_ready = m_from != nullptr && std::fscanf(m_from, "%15s", word) == 1 &&
                  std::string(word) == "ready";
        std::remove(raw.c_str());
    }
    ~Pillow() {
        if (m_to != nullptr) std::fclose(m_to);
        if (m_from != nullptr) std::fclose(m_from);
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
    }
    static std::string scriptPath() {
        const std::string here = __FILE__;
        return here.substr(0, here.find_last_of('/') + 1) + "pillow_resize.py";
    }

    pid_t m_pid = 0;
    std::FILE* m_to = nullptr;
    std::FILE* m_from = nullptr;
    bool m_ready = false;
};

void pillowBenchmark(benchmark::State& state, const char* filter) {
    Pillow& pillow = Pillow::instance();
    if (!pillow.ready()) {
        state.SkipWithError("Pillow (/usr/bin/python3 with python3-pil) is not available");
        return;
    }
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    for (auto _ : state) {
        const double s = pillow.seconds(filter, w, h);
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
