// Filled figures in pictures near the largest device bitmap, tall, wide and square: what
// loadMetafile holds beyond the device bitmap and the returned image stays small, however
// many rows the figures cover, and the figures land where they should.
#include "FigureBands.h"
#include "GdiCheck.h"
#include "HeapWatch.h"
#include "TestFiles.h"
#include "imgcore.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

using namespace testing_support;

namespace {

constexpr COLORREF kBackground = RGB(12, 34, 56);

class MetafileFigureCost : public GdiLeakCheckedTest {};

struct Outcome {
    int error = -1;
    int width = 0;
    int height = 0;
    std::size_t digest = 0;
    std::vector<COLORREF> probes; // at the places `probesOf` names
    bool operator==(const Outcome& o) const {
        return error == o.error && width == o.width && height == o.height && digest == o.digest &&
               probes == o.probes;
    }
};

// Where each band's brush shows, and the clear margins and corners around the figures.
std::vector<std::pair<POINT, COLORREF>> probesOf(const FigureBands& f) {
    std::vector<std::pair<POINT, COLORREF>> out;
    const LONG middle = f.across() / 2;
    const LONG gap = f.length() / 128;
    for (int band = 0; band < 4; ++band) {
        out.push_back(
            {f.at((f.first(band) + f.last(band)) / 2, middle), FigureBands::kBrushes[band]});
        out.push_back({f.at(f.first(band) - gap, middle), kBackground});
        out.push_back({f.at(f.last(band) + gap, middle), kBackground});
    }
    out.push_back({POINT{0, 0}, kBackground});
    out.push_back({POINT{f.width - 1, f.height - 1}, kBackground});
    return out;
}

Outcome render(const std::string& path, const FigureBands& f) {
    Outcome o;
    BYTE* image = loadMetafile(path.c_str(), &o.width, &o.height, 0, 0, kBackground, 0);
    o.error = getLastError();
    if (image == nullptr) return o;
    const std::size_t bytes = std::size_t(o.width) * std::size_t(o.height) * 3;
    o.digest = std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(image), bytes));
    if (o.width == f.width && o.height == f.height)
        for (const auto& [p, expected] : probesOf(f)) {
            const BYTE* px = image + (std::size_t(p.y) * std::size_t(o.width) + p.x) * 3;
            o.probes.push_back(RGB(px[0], px[1], px[2]));
        }
    GlobalFree(image);
    return o;
}

} // namespace

TEST_F(MetafileFigureCost, FiguresOverEveryRowCostNoMoreThanTheBitmapAndTheImage) {
    struct Case {
        const char* name;
        LONG width, height;
    };
    const Case cases[] = {
        {"one column of 67,000,000 rows", 1, 67000000},
        {"one row of 33,000,000 pixels", 33000000, 1},
        {"8191 x 8191", 8191, 8191},
    };
    for (const Case& c : cases) {
        const FigureBands figures(c.width, c.height);
        const TempFile file(figures.bytes(), ".emf");
        Outcome first, second;
        const HeapFigures heap = watchHeap([&] { first = render(file.path(), figures); }, 0x55);
        // Without the watch nothing fills fresh blocks, and a second run would show nothing.
        if (heapWatchAvailable()) watchHeap([&] { second = render(file.path(), figures); }, 0xAA);

        ASSERT_EQ(first.error, 0) << c.name;
        ASSERT_EQ(first.width, c.width) << c.name;
        ASSERT_EQ(first.height, c.height) << c.name;
        const auto probes = probesOf(figures);
        ASSERT_EQ(first.probes.size(), probes.size()) << c.name;
        for (std::size_t i = 0; i < probes.size(); ++i)
            EXPECT_EQ(first.probes[i], probes[i].second)
                << c.name << " at " << probes[i].first.x << "," << probes[i].first.y;
        if (heapWatchAvailable()) {
            EXPECT_TRUE(first == second) << c.name << ": the picture follows what the heap held";
            const std::uint64_t pixels = std::uint64_t(c.width) * std::uint64_t(c.height);
            EXPECT_LE(heap.peakLiveBytes, 4 * pixels + 3 * pixels + (std::uint64_t{48} << 20))
                << c.name;
        }
    }
}
