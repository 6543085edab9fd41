// Filled figures in pictures near the largest device bitmap, tall, wide and square: what
// loadMetafile holds beyond the device bitmap and the returned image stays small, however
// many rows the figures cover, and the figures land where they should.
#include "FigureBands.h"
#include "GdiCheck.h"
#include "LargePictureCheck.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <vector>

using namespace testing_support;

namespace {

constexpr COLORREF kBackground = RGB(12, 34, 56);

class MetafileFigureCost : public GdiLeakCheckedTest {};

// Where each band's brush shows, and the clear margins and corners around the figures.
std::vector<Probe> probesOf(const FigureBands& f) {
    std::vector<Probe> out;
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
        expectHeldToItsBitmapAndImage(file.path(), c.name, c.width, c.height, kBackground,
                                      probesOf(figures));
    }
}
