#include "LargePictureCheck.h"

#include "HeapWatch.h"
#include "imgcore.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string_view>

namespace testing_support {

namespace {

// What a load gave: its code and size, a digest of its pixels, and the colours at the probes.
struct Outcome {
    int error = -1;
    int width = 0;
    int height = 0;
    std::size_t digest = 0;
    std::vector<COLORREF> colours;
    bool operator==(const Outcome& o) const {
        return error == o.error && width == o.width && height == o.height && digest == o.digest &&
               colours == o.colours;
    }
};

Outcome load(const std::string& path, LONG width, LONG height, COLORREF background,
             const std::vector<Probe>& probes) {
    Outcome o;
    BYTE* image = loadMetafile(path.c_str(), &o.width, &o.height, 0, 0, background, 0);
    o.error = getLastError();
    if (image == nullptr) return o;
    const std::size_t bytes = std::size_t(o.width) * std::size_t(o.height) * 3;
    o.digest = std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(image), bytes));
    if (o.width == width && o.height == height)
        for (const auto& [p, expected] : probes) {
            const BYTE* px = image + (std::size_t(p.y) * std::size_t(o.width) + p.x) * 3;
            o.colours.push_back(RGB(px[0], px[1], px[2]));
        }
    GlobalFree(image);
    return o;
}

} // namespace

void expectHeldToItsBitmapAndImage(const std::string& path, const std::string& name, LONG width,
                                   LONG height, COLORREF background,
                                   const std::vector<Probe>& probes) {
    Outcome first, second;
    const HeapFigures heap =
        watchHeap([&] { first = load(path, width, height, background, probes); }, 0x55);
    // Without the watch nothing fills fresh blocks, and a second run would show nothing.
    if (heapWatchAvailable())
        watchHeap([&] { second = load(path, width, height, background, probes); }, 0xAA);

    ASSERT_EQ(first.error, 0) << name;
    ASSERT_EQ(first.width, width) << name;
    ASSERT_EQ(first.height, height) << name;
    ASSERT_EQ(first.colours.size(), probes.size()) << name;
    for (std::size_t i = 0; i < probes.size(); ++i)
        EXPECT_EQ(first.colours[i], probes[i].second)
            << name << " at " << probes[i].first.x << "," << probes[i].first.y;
    if (heapWatchAvailable()) {
        EXPECT_TRUE(first == second) << name << ": the picture follows what the heap held";
        const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
        EXPECT_LE(heap.peakLiveBytes, 4 * pixels + 3 * pixels + (std::uint64_t{48} << 20)) << name;
    }
}

} // namespace testing_support
