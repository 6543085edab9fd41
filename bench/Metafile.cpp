// loadMetafile of the largest public sample pictures: a few kilobytes of records that ask for
// pictures of some 36 million pixels, painted by the GDI stand-in.
#include "imgcore.h"

#include <benchmark/benchmark.h>

#include <string>
#include <sys/stat.h>

namespace {

void loadSample(benchmark::State& state, const char* name) {
    const std::string path = std::string(GALLIMO_TESTSUITES) + "/samples/emf/libemf2svg/" + name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        state.SkipWithError(("no sample at " + path).c_str());
        return;
    }
    int width = 0;
    int height = 0;
    for (auto _ : state) {
        BYTE* rgb = loadMetafile(path.c_str(), &width, &height, 0, 0, RGB(255, 255, 255), 0);
        if (rgb == nullptr) {
            state.SkipWithError("loadMetafile failed");
            return;
        }
        GlobalFree(rgb);
    }
    state.SetLabel(std::to_string(width) + " x " + std::to_string(height));
}

BENCHMARK_CAPTURE(loadSample, test183, "test-183.emf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadSample, test184, "test-184.emf")->Unit(benchmark::kMillisecond);

} // namespace
