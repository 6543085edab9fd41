// loadMetafile of the largest public sample pictures: a few kilobytes of records that ask for
// pictures of some 36 million pixels, painted by the GDI stand-in; and of empty frames that ask
// for device bitmaps near the largest, in several shapes, where the cost is the bitmap's fill
// and its way into the returned image; and of the same frames with filled figures over them.
#include "FigureBands.h"
#include "MetafileWriter.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <benchmark/benchmark.h>

#include <string>
#include <sys/stat.h>

namespace {

void loadFile(benchmark::State& state, const std::string& path) {
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

void loadSample(benchmark::State& state, const char* name) {
    const std::string path = std::string(GALLIMO_TESTSUITES) + "/samples/emf/libemf2svg/" + name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        state.SkipWithError(("no sample at " + path).c_str());
        return;
    }
    loadFile(state, path);
}

// A reference device of one pixel per frame unit.
void loadEmptyFrame(benchmark::State& state, LONG width, LONG height) {
    using testing_support::EmfWriter;
    const testing_support::TempFile file(
        EmfWriter({0, 0, width, height}, {1000, 1000}, {10, 10}).bytes(), ".emf");
    loadFile(state, file.path());
}

// The same frames with a filled figure in each quarter of the longer side.
void loadFigures(benchmark::State& state, LONG width, LONG height) {
    const testing_support::TempFile file(testing_support::FigureBands(width, height).bytes(),
                                         ".emf");
    loadFile(state, file.path());
}

BENCHMARK_CAPTURE(loadSample, test183, "test-183.emf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadSample, test184, "test-184.emf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadEmptyFrame, square, 8191, 8191)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadEmptyFrame, oneRow, 33000000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadEmptyFrame, oneColumn, 1, 67000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadFigures, square, 8191, 8191)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadFigures, oneRow, 33000000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadFigures, oneColumn, 1, 67000000)->Unit(benchmark::kMillisecond);

} // namespace
